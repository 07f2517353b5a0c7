// A rotary switch: a pointer knob with its position labels round it. A click on a label, a drag
// of the knob or the arrow keys turn it; each turn by the user raises PositionChange (12) and then
// Change (1). Setting the position from code raises nothing. Positions count from 0.
// Bag: PositionLabels ("50, 100, 500"), Position, LabelColor, KnobColor.
#pragma once

#include "platform/instruments/instrument.h"

#include <QColor>
#include <QStringList>

#include <cstdint>

namespace platform::instruments {

inline constexpr DISPID kRotaryPositionChange = 12;
inline constexpr DISPID kRotaryChange = 1;

class RotarySwitch : public Instrument {
public:
    explicit RotarySwitch(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;
    int Position() const { return m_position; }
    int PositionCount() const { return int(m_labels.size()); }
    // False when `position` is not one of the switch's positions.
    bool SetPosition(int position);
    QStringList Labels() const { return m_labels; }
    void SetLabels(const QStringList& labels);
    QString CurrentLabel() const { return m_labels.value(m_position); }
    // The program's Redraw: repaints the switch. Each call is numbered process-wide, so tests can
    // tell how often and in which order switches were asked.
    void Redraw();
    int RedrawCount() const { return m_redraws; }
    uint64_t LastRedraw() const { return m_lastRedraw; }

    // Geometry, for hit tests and for tests that click a label.
    QPointF Centre() const;
    double KnobRadius() const;
    QRectF LabelRect(int position) const;
    double AngleOf(int position) const;  // degrees clockwise from straight up

protected:
    void paintEvent(QPaintEvent*) override;
    void PaintStaticArt(QPainter& p) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Turn(int position);  // a user's turn: raises the events when the position changes
    int NearestPosition(QPointF point) const;

    QStringList m_labels;
    int m_position = 0;
    bool m_dragging = false;
    QPointF m_pressAt;
    QColor m_labelColor = Qt::black;
    QColor m_knobColor = QColor(40, 40, 44);
    int m_redraws = 0;
    uint64_t m_lastRedraw = 0;
};

}  // namespace platform::instruments
