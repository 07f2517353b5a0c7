// An LED push-switch: a panel push button with a caption and a round LED. It raises Click (5)
// when the mouse is released inside it or on space; setting the LED raises nothing, because the
// programs set it from inside their own click handlers.
// A latching switch (Latching True) turns its LED over on every press before raising Click.
// Bag: Caption, LedState (bool), Latching (bool), LedColor, FontColor.
#pragma once

#include "platform/instruments/instrument.h"

#include <QColor>
#include <QString>

namespace platform::instruments {

inline constexpr DISPID kLedSwitchClick = 5;

class LedSwitch : public Instrument {
public:
    explicit LedSwitch(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);
    bool LedState() const { return m_led; }
    void SetLedState(bool on);
    bool IsPressed() const { return m_pressed; }

protected:
    void paintEvent(QPaintEvent*) override;
    void PaintStaticArt(QPainter& p) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    QRectF LedRect() const;
    void Press();

    QString m_caption;
    QColor m_ledColor = QColor(40, 230, 40);
    QColor m_fontColor = Qt::black;
    bool m_led = false;
    bool m_latching = false;
    bool m_pressed = false;
    bool m_mouseDown = false;
};

}  // namespace platform::instruments
