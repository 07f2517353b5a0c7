#include "platform/instruments/seven_segment.h"

#include "platform/instruments/bag.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace platform::instruments {

namespace {

// Segments a..g as bits 0..6.
constexpr uint8_t kDigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr uint8_t kMinus = 0x40;
constexpr uint8_t kAll = 0x7F;

uint8_t SegmentsOf(QChar c)
{
    if (c.isDigit()) return kDigitSegments[c.digitValue()];
    if (c == '-') return kMinus;
    return 0;
}

}  // namespace

SevenSegment::SevenSegment(QWidget* parent) : Instrument(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SevenSegment::LoadProperties(const com::PropertyBag& bag)
{
    if (auto i = BagInt(bag, "DigitCount")) m_digits = std::clamp(*i, 1, 12);
    if (auto i = BagInt(bag, "DecimalPlaces")) m_decimals = std::clamp(*i, 0, 6);
    if (auto b = BagBool(bag, "ShowSign")) m_showSign = *b;
    if (auto d = BagDouble(bag, "Value")) m_value = *d;
    if (auto c = BagColor(bag, "OnColor")) m_on = *c;
    if (auto c = BagColor(bag, "OffColor")) m_off = *c;
    if (auto c = BagColor(bag, "BackGroundColor")) m_background = *c;
    m_decimals = std::min(m_decimals, m_digits - 1);
    InvalidateArt();
}

void SevenSegment::SetValue(double value)
{
    if (value == m_value) return;
    m_value = value;
    update();
}

void SevenSegment::SetDigitCount(int digits)
{
    m_digits = std::clamp(digits, 1, 12);
    m_decimals = std::min(m_decimals, m_digits - 1);
    InvalidateArt();
}

QString SevenSegment::Text() const
{
    const bool negative = m_value < 0 && std::round(std::abs(m_value) * std::pow(10, m_decimals)) != 0;
    QString digits = QString::number(std::abs(m_value), 'f', m_decimals);
    const int pointAt = int(digits.indexOf('.'));
    QString plain = digits;
    plain.remove('.');
    QString cells = plain.rightJustified(m_digits, ' ');
    bool overflow = !std::isfinite(m_value) || plain.size() > m_digits;
    if (negative && !m_showSign) {
        // Without a sign digit the minus takes the first blank on the left, if there is one.
        if (cells[0] != ' ') overflow = true;
        else cells[int(cells.lastIndexOf(' '))] = '-';
    }
    if (m_showSign) cells.prepend(negative ? '-' : ' ');
    if (overflow) return QString(Cells(), '-');
    if (pointAt < 0) return cells;
    return cells.insert(cells.size() - m_decimals, '.');
}

void SevenSegment::PaintCell(QPainter& p, int cell, uint8_t segments, bool point, const QColor& colour) const
{
    const double cw = double(width()) / Cells();
    const double h = height() * 0.78;
    const double w = std::min(cw * 0.62, h * 0.55);
    const double t = std::max(1.5, w * 0.17);
    const double x0 = cell * cw + (cw - w) / 2.0 - cw * 0.06;
    const double y0 = (height() - h) / 2.0;
    const double slant = 0.08;  // the italic lean of LED digits
    auto pt = [&](double x, double y) { return QPointF(x0 + x + (h - y) * slant, y0 + y); };
    auto horizontal = [&](double y) {
        return QPolygonF{pt(t * 0.6, y),     pt(t * 1.1, y - t / 2),     pt(w - t * 1.1, y - t / 2),
                         pt(w - t * 0.6, y), pt(w - t * 1.1, y + t / 2), pt(t * 1.1, y + t / 2)};
    };
    auto vertical = [&](double x, double top, double bottom) {
        return QPolygonF{pt(x, top + t * 0.6),    pt(x + t / 2, top + t * 1.1),    pt(x + t / 2, bottom - t * 1.1),
                         pt(x, bottom - t * 0.6), pt(x - t / 2, bottom - t * 1.1), pt(x - t / 2, top + t * 1.1)};
    };
    const double mid = h / 2.0;
    const QPolygonF shapes[7] = {
        horizontal(t / 2),                    // a
        vertical(w - t / 2, t / 2, mid),      // b
        vertical(w - t / 2, mid, h - t / 2),  // c
        horizontal(h - t / 2),                // d
        vertical(t / 2, mid, h - t / 2),      // e
        vertical(t / 2, t / 2, mid),          // f
        horizontal(mid),                      // g
    };
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (int s = 0; s < 7; ++s)
        if (segments & (1u << s)) p.drawPolygon(shapes[s]);
    if (point) p.drawEllipse(pt(w + t * 0.9, h - t / 2), t * 0.55, t * 0.55);
}

void SevenSegment::PaintStaticArt(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(50, 50, 50));
    p.fillRect(rect().adjusted(2, 2, -2, -2), m_background);
    p.setPen(QColor(120, 120, 120));
    p.drawLine(2, height() - 2, width() - 2, height() - 2);
    p.drawLine(width() - 2, 2, width() - 2, height() - 2);
    for (int cell = 0; cell < Cells(); ++cell) PaintCell(p, cell, kAll, true, m_off);
}

void SevenSegment::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
    p.setRenderHint(QPainter::Antialiasing);
    const QString text = Text();
    int cell = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '.') continue;
        const bool point = i + 1 < text.size() && text[i + 1] == '.';
        PaintCell(p, cell++, SegmentsOf(text[i]), point, m_on);
    }
}

}  // namespace platform::instruments
