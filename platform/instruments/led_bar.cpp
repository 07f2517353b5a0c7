#include "platform/instruments/led_bar.h"

#include "platform/instruments/bag.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <string>

namespace platform::instruments {

namespace {

const QColor kDefaultSection(30, 220, 30);
constexpr int kBorder = 2;

}  // namespace

LedBar::LedBar(QWidget* parent) : Instrument(parent)
{
    // The bezel covers every pixel: nothing behind the bar needs painting when it changes.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_sections.push_back({m_max, kDefaultSection});
}

void LedBar::LoadProperties(const com::PropertyBag& bag)
{
    if (auto d = BagDouble(bag, "PositionMax"); d && *d > 0) m_max = *d;
    if (auto i = BagInt(bag, "SegmentSize"); i && *i > 0) m_segmentSize = *i;
    if (auto i = BagInt(bag, "SegmentSpacing"); i && *i >= 0) m_segmentSpacing = *i;
    if (auto c = BagColor(bag, "BackGroundColor")) m_background = *c;
    const int count = std::clamp(BagInt(bag, "SectionCount").value_or(1), 1, 16);
    m_sections.clear();
    for (int k = 1; k <= count; ++k) {
        const double end = k == count ? m_max : BagDouble(bag, "SectionEnd" + std::to_string(k)).value_or(m_max);
        m_sections.push_back({end, BagColor(bag, "SectionColor" + std::to_string(k)).value_or(kDefaultSection)});
    }
    if (auto d = BagDouble(bag, "Level")) m_level = *d;
    InvalidateArt();
}

void LedBar::SetLevel(double level)
{
    if (level == m_level) return;
    const int lit = LitSegments();
    m_level = level;
    // The picture is the count of lit segments; a level that moves within a segment changes nothing.
    if (LitSegments() != lit) update();
}

void LedBar::SetPositionMax(double max)
{
    if (max <= 0) return;
    m_max = max;
    if (!m_sections.empty()) m_sections.back().end = max;
    InvalidateArt();
}

int LedBar::SegmentCount() const
{
    const int length = (Vertical() ? height() : width()) - 2 * kBorder;
    return std::max(1, (length + m_segmentSpacing) / (m_segmentSize + m_segmentSpacing));
}

int LedBar::LitSegments() const
{
    const int n = SegmentCount();
    return int(std::clamp<double>(std::round(m_level / m_max * n), 0, n));
}

QColor LedBar::SegmentColor(int segment) const
{
    const double value = (segment + 0.5) * m_max / SegmentCount();
    for (const Section& s : m_sections)
        if (value <= s.end) return s.color;
    return m_sections.empty() ? kDefaultSection : m_sections.back().color;
}

QRect LedBar::SegmentRect(int segment) const
{
    const int pitch = m_segmentSize + m_segmentSpacing;
    if (Vertical()) {
        const int bottom = height() - kBorder;
        return QRect(kBorder, bottom - (segment + 1) * pitch + m_segmentSpacing, width() - 2 * kBorder, m_segmentSize);
    }
    return QRect(kBorder + segment * pitch, kBorder, m_segmentSize, height() - 2 * kBorder);
}

void LedBar::PaintStaticArt(QPainter& p)
{
    // Bezel and every segment unlit; painting lights segments over it.
    p.fillRect(rect(), m_background);
    p.setPen(QColor(90, 90, 90));
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
    p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    p.setPen(QColor(0, 0, 0));
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    for (int i = 0; i < SegmentCount(); ++i) p.fillRect(SegmentRect(i), SegmentColor(i).darker(420));
}

void LedBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
    const int lit = LitSegments();
    for (int i = 0; i < lit; ++i) {
        const QRect r = SegmentRect(i);
        const QColor c = SegmentColor(i);
        p.fillRect(r, c);
        // A lighter top edge makes each segment read as a lens rather than a flat block.
        p.fillRect(Vertical() ? QRect(r.left(), r.top(), r.width(), 1) : QRect(r.left(), r.top(), 1, r.height()),
                   c.lighter(150));
    }
}

}  // namespace platform::instruments
