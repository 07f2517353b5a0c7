// A toggle switch: a bat handle on a mounting nut, up when Active. A click or space flips it and
// raises Change (1); setting Active from code raises nothing.
// Bag: Active (bool).
#pragma once

#include "platform/instruments/instrument.h"

namespace platform::instruments {

inline constexpr DISPID kToggleChange = 1;

class ToggleSwitch : public Instrument {
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;
    bool Active() const { return m_active; }
    void SetActive(bool active);

protected:
    void paintEvent(QPaintEvent*) override;
    void PaintStaticArt(QPainter& p) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Flip();

    bool m_active = false;
};

}  // namespace platform::instruments
