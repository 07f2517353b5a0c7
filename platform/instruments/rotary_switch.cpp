#include "platform/instruments/rotary_switch.h"

#include "platform/instruments/bag.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::instruments {

namespace {

constexpr double kMaxSweep = 270.0;
constexpr double kMaxStep = 50.0;

QPointF Polar(QPointF centre, double radius, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    return centre + QPointF(radius * std::sin(a), -radius * std::cos(a));
}

}  // namespace

RotarySwitch::RotarySwitch(QWidget* parent) : Instrument(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_TranslucentBackground);
}

void RotarySwitch::LoadProperties(const com::PropertyBag& bag)
{
    if (auto s = BagString(bag, "PositionLabels")) {
        QStringList labels;
        for (const QString& part : QString::fromStdString(*s).split(',')) labels << part.trimmed();
        SetLabels(labels);
    }
    if (auto i = BagInt(bag, "Position")) SetPosition(std::clamp(*i, 0, std::max(0, PositionCount() - 1)));
    if (auto c = BagColor(bag, "LabelColor")) m_labelColor = *c;
    if (auto c = BagColor(bag, "KnobColor")) m_knobColor = *c;
    InvalidateArt();
}

void RotarySwitch::SetLabels(const QStringList& labels)
{
    m_labels = labels;
    m_position = std::clamp(m_position, 0, std::max(0, PositionCount() - 1));
    InvalidateArt();
}

bool RotarySwitch::SetPosition(int position)
{
    if (position < 0 || position >= std::max(1, PositionCount())) return false;
    if (position != m_position) {
        m_position = position;
        update();
    }
    return true;
}

void RotarySwitch::Redraw()
{
    static uint64_t serial = 0;  // widgets live on the UI thread
    ++m_redraws;
    m_lastRedraw = ++serial;
    update();
}

void RotarySwitch::Turn(int position)
{
    if (position < 0 || position >= PositionCount() || position == m_position) return;
    m_position = position;
    update();
    Raise(kRotaryPositionChange);
    Raise(kRotaryChange);
}

QPointF RotarySwitch::Centre() const
{
    return QPointF(width() / 2.0, height() * 0.55);
}

double RotarySwitch::KnobRadius() const
{
    return std::max(6.0, std::min(width(), height()) * 0.24);
}

double RotarySwitch::AngleOf(int position) const
{
    const int n = PositionCount();
    if (n <= 1) return 0.0;
    const double step = std::min(kMaxStep, kMaxSweep / (n - 1));
    return -step * (n - 1) / 2.0 + step * position;
}

QRectF RotarySwitch::LabelRect(int position) const
{
    QFontMetricsF fm(font());
    const QString text = m_labels.value(position);
    const QSizeF size(fm.horizontalAdvance(text) + 4, fm.height());
    const double r = KnobRadius() + 7 + std::max(size.width(), size.height()) * 0.45;
    const QPointF at = Polar(Centre(), r, AngleOf(position));
    return QRectF(at - QPointF(size.width() / 2, size.height() / 2), size);
}

int RotarySwitch::NearestPosition(QPointF point) const
{
    const QPointF d = point - Centre();
    const double angle = std::atan2(d.x(), -d.y()) * 180.0 / std::numbers::pi;
    int best = m_position;
    double bestGap = 1e9;
    for (int i = 0; i < PositionCount(); ++i) {
        const double gap = std::abs(AngleOf(i) - angle);
        if (gap < bestGap) {
            bestGap = gap;
            best = i;
        }
    }
    return best;
}

void RotarySwitch::PaintStaticArt(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QPointF c = Centre();
    const double r = KnobRadius();
    // Scale: a tick at each position and the labels beyond them.
    p.setPen(QPen(QColor(30, 30, 30), 1.2));
    for (int i = 0; i < PositionCount(); ++i) {
        p.drawLine(Polar(c, r + 2, AngleOf(i)), Polar(c, r + 6, AngleOf(i)));
        p.setPen(m_labelColor);
        p.drawText(LabelRect(i), Qt::AlignCenter, m_labels[i]);
        p.setPen(QPen(QColor(30, 30, 30), 1.2));
    }
    // Skirt of the knob: a knurled ring.
    QRadialGradient skirt(c, r + 1);
    skirt.setColorAt(0.0, m_knobColor.lighter(160));
    skirt.setColorAt(1.0, m_knobColor.darker(140));
    p.setPen(QPen(QColor(10, 10, 10), 1));
    p.setBrush(skirt);
    p.drawEllipse(c, r, r);
    p.setPen(QPen(m_knobColor.lighter(220), 1));
    for (int k = 0; k < 24; ++k) p.drawLine(Polar(c, r * 0.82, k * 15.0), Polar(c, r * 0.97, k * 15.0));
    QLinearGradient cap(c - QPointF(r, r), c + QPointF(r, r));
    cap.setColorAt(0, m_knobColor.lighter(250));
    cap.setColorAt(1, m_knobColor);
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(cap);
    p.drawEllipse(c, r * 0.74, r * 0.74);
}

void RotarySwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = Centre();
    const double r = KnobRadius();
    const double a = AngleOf(m_position);
    // The pointer: a white line on the cap and its tip on the skirt.
    p.setPen(QPen(QColor(250, 250, 250), std::max(1.5, r * 0.14), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(Polar(c, r * 0.15, a), Polar(c, r * 0.95, a));
    if (hasFocus()) {
        p.setPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(LabelRect(m_position));
    }
}

void RotarySwitch::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPointF at = e->position();
    for (int i = 0; i < PositionCount(); ++i) {
        if (LabelRect(i).adjusted(-2, -2, 2, 2).contains(at)) {
            Turn(i);
            return;
        }
    }
    const QPointF d = at - Centre();
    if (std::hypot(d.x(), d.y()) <= KnobRadius() + 6) {
        m_dragging = true;
        m_pressAt = at;
    }
}

void RotarySwitch::mouseMoveEvent(QMouseEvent* e)
{
    // A click on the knob without moving it must not turn it to wherever the cursor happens to be.
    const QPointF moved = e->position() - m_pressAt;
    if (m_dragging && std::hypot(moved.x(), moved.y()) >= 3.0) Turn(NearestPosition(e->position()));
}

void RotarySwitch::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) m_dragging = false;
}

void RotarySwitch::keyPressEvent(QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up: Turn(m_position + 1); return;
    case Qt::Key_Left:
    case Qt::Key_Down: Turn(m_position - 1); return;
    default: Instrument::keyPressEvent(e);
    }
}

}  // namespace platform::instruments
