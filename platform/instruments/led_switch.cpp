#include "platform/instruments/led_switch.h"

#include "platform/instruments/bag.h"

#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

namespace platform::instruments {

LedSwitch::LedSwitch(QWidget* parent) : Instrument(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void LedSwitch::LoadProperties(const com::PropertyBag& bag)
{
    if (auto s = BagString(bag, "Caption")) m_caption = QString::fromStdString(*s);
    if (auto b = BagBool(bag, "LedState")) m_led = *b;
    if (auto b = BagBool(bag, "Latching")) m_latching = *b;
    if (auto c = BagColor(bag, "LedColor")) m_ledColor = *c;
    if (auto c = BagColor(bag, "FontColor")) m_fontColor = *c;
    InvalidateArt();
}

void LedSwitch::SetCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

void LedSwitch::SetLedState(bool on)
{
    if (on == m_led) return;
    m_led = on;
    update();
}

void LedSwitch::Press()
{
    // A latching switch's LED follows the press, as the hardware's does; the handler may still
    // set it otherwise.
    if (m_latching) SetLedState(!m_led);
    Raise(kLedSwitchClick);
}

QRectF LedSwitch::LedRect() const
{
    const qreal d = qMax<qreal>(4.0, qMin<qreal>(height() * 0.42, width() * 0.25));
    return QRectF(4.0, (height() - d) / 2.0, d, d);
}

void LedSwitch::PaintStaticArt(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Bezel: a dark recess the button cap sits in.
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(70, 70, 70));
    p.drawRoundedRect(outer, 3, 3);
}

void LedSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF cap = QRectF(rect()).adjusted(2, 2, -2, -2).translated(m_pressed ? 1 : 0, m_pressed ? 1 : 0);
    QLinearGradient face(cap.topLeft(), cap.bottomLeft());
    face.setColorAt(0, m_pressed ? QColor(175, 175, 170) : QColor(236, 236, 230));
    face.setColorAt(1, m_pressed ? QColor(205, 205, 200) : QColor(170, 170, 165));
    p.setPen(QColor(110, 110, 110));
    p.setBrush(face);
    p.drawRoundedRect(cap, 2, 2);

    const QRectF led = LedRect().translated(m_pressed ? 1 : 0, m_pressed ? 1 : 0);
    QRadialGradient glow(led.center() - QPointF(led.width() * 0.15, led.height() * 0.15), led.width() * 0.6);
    const QColor on = m_led ? m_ledColor : m_ledColor.darker(330);
    glow.setColorAt(0, m_led ? on.lighter(170) : on.lighter(130));
    glow.setColorAt(1, on);
    p.setPen(QColor(30, 30, 30));
    p.setBrush(glow);
    p.drawEllipse(led);

    QFont f = font();
    f.setBold(true);
    f.setPointSizeF(qMax(5.0, qMin(8.0, height() * 0.33)));
    p.setFont(f);
    p.setPen(m_fontColor);
    const QRectF text = cap.adjusted(led.right() - cap.left() + 2, 0, -2, 0);
    // Captions keep their blanks (" STOP", "   2.00"): draw them as they come.
    p.drawText(text, Qt::AlignCenter | Qt::TextDontClip, m_caption);
    if (hasFocus()) {
        p.setPen(QPen(QColor(60, 60, 60), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(text.adjusted(0, 2, 0, -2));
    }
}

void LedSwitch::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    m_mouseDown = true;
    m_pressed = true;
    setFocus(Qt::MouseFocusReason);
    update();
}

void LedSwitch::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_mouseDown) return;
    const bool inside = rect().contains(e->position().toPoint());
    if (inside != m_pressed) {
        m_pressed = inside;
        update();
    }
}

void LedSwitch::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !m_mouseDown) return;
    m_mouseDown = false;
    m_pressed = false;
    update();
    if (rect().contains(e->position().toPoint())) Press();
}

void LedSwitch::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        m_pressed = true;
        update();
        return;
    }
    Instrument::keyPressEvent(e);
}

void LedSwitch::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat() && m_pressed) {
        m_pressed = false;
        update();
        Press();
        return;
    }
    Instrument::keyReleaseEvent(e);
}

}  // namespace platform::instruments
