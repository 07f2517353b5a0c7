#include "platform/instruments/toggle_switch.h"

#include "platform/instruments/bag.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace platform::instruments {

ToggleSwitch::ToggleSwitch(QWidget* parent) : Instrument(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ToggleSwitch::LoadProperties(const com::PropertyBag& bag)
{
    if (auto b = BagBool(bag, "Active")) m_active = *b;
    update();
}

void ToggleSwitch::SetActive(bool active)
{
    if (active == m_active) return;
    m_active = active;
    update();
}

void ToggleSwitch::Flip()
{
    m_active = !m_active;
    update();
    Raise(kToggleChange);
}

void ToggleSwitch::PaintStaticArt(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(width() / 2.0, height() / 2.0);
    const double r = std::min(width(), height()) * 0.42;
    // Mounting plate, then the hex nut the bat pivots in.
    QLinearGradient plate(0, 0, width(), height());
    plate.setColorAt(0, QColor(200, 200, 200));
    plate.setColorAt(1, QColor(120, 120, 120));
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    QPolygonF hex;
    for (int k = 0; k < 6; ++k) {
        const double a = (30.0 + 60.0 * k) * 3.14159265358979 / 180.0;
        hex << c + QPointF(r * std::cos(a), r * std::sin(a));
    }
    QRadialGradient nut(c - QPointF(r * 0.3, r * 0.3), r * 1.2);
    nut.setColorAt(0, QColor(245, 245, 245));
    nut.setColorAt(1, QColor(110, 110, 115));
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(nut);
    p.drawPolygon(hex);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(c, r * 0.45, r * 0.45);
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(width() / 2.0, height() / 2.0);
    const double tipR = std::max(2.0, width() * 0.2);
    const double len = height() / 2.0 - tipR - 1.0;
    const double base = std::max(2.0, width() * 0.14);
    const double dir = m_active ? -1.0 : 1.0;
    // The bat: a chrome lever widening from the pivot out to a ball tip.
    const QPointF tip = c + QPointF(0, dir * len);
    QPolygonF bat;
    bat << c + QPointF(-base, 0) << tip + QPointF(-tipR * 0.75, 0) << tip + QPointF(tipR * 0.75, 0)
        << c + QPointF(base, 0);
    QLinearGradient chrome(c.x() - tipR, 0, c.x() + tipR, 0);
    chrome.setColorAt(0, QColor(110, 110, 115));
    chrome.setColorAt(0.45, QColor(250, 250, 250));
    chrome.setColorAt(1, QColor(80, 80, 85));
    p.setPen(QPen(QColor(40, 40, 40), 0.8));
    p.setBrush(chrome);
    p.drawPolygon(bat);
    QRadialGradient ball(tip - QPointF(tipR * 0.35, tipR * 0.35), tipR * 1.3);
    ball.setColorAt(0, QColor(255, 255, 255));
    ball.setColorAt(1, QColor(100, 100, 105));
    p.setBrush(ball);
    p.drawEllipse(tip, tipR, tipR);
    if (hasFocus()) {
        p.setPen(QPen(QColor(40, 40, 40), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1.5, -1.5));
    }
}

void ToggleSwitch::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
        setFocus(Qt::MouseFocusReason);
        Flip();
    }
}

void ToggleSwitch::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        Flip();
        return;
    }
    Instrument::keyPressEvent(e);
}

}  // namespace platform::instruments
