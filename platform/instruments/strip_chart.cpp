#include "platform/instruments/strip_chart.h"

#include "platform/instruments/bag.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::instruments {

namespace {

// Enough for the visible page and the one before it; older columns are forgotten.
constexpr size_t kMinKeptColumns = 4096;

}  // namespace

StripChart::StripChart(QWidget* parent) : Instrument(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int i = 0; i < kChannels; ++i) {
        m_channels[size_t(i)].name = QStringLiteral("ch%1").arg(i + 1);
        m_channels[size_t(i)].color = Qt::black;
    }
}

void StripChart::LoadProperties(const com::PropertyBag& bag)
{
    if (auto d = BagDouble(bag, "XAxisMax"); d && *d > 0) m_xMax = *d;
    if (auto d = BagDouble(bag, "YAxisMax"); d && *d > 0) m_yMax = *d;
    if (auto b = BagBool(bag, "XAxisShow")) m_xShow = *b;
    if (auto b = BagBool(bag, "YAxisShow")) m_yShow = *b;
    if (auto s = BagString(bag, "AutoScrollType")) m_pageScroll = *s != "scrollNone";
    if (auto d = BagDouble(bag, "AutoScrollStepSize")) m_step = std::max(0.0, *d);
    if (auto b = BagBool(bag, "AutoScaleEnabled")) m_autoScale = *b;
    if (auto b = BagBool(bag, "ShowLegend")) m_legend = *b;
    if (auto b = BagBool(bag, "ShowToolBar")) m_toolBar = *b;
    if (auto i = BagInt(bag, "XAxisTickMajorCount")) m_xTicks = std::max(0, *i);
    if (auto i = BagInt(bag, "YAxisTickMajorCount")) m_yTicks = std::max(0, *i);
    if (auto s = BagString(bag, "GridLineStyle"))
        m_gridStyle = *s == "lineSolid" ? Qt::SolidLine : *s == "lineDash" ? Qt::DashLine : Qt::DotLine;
    if (auto c = BagColor(bag, "BackGroundColor")) m_background = *c;
    if (auto c = BagColor(bag, "GridBackGroundColor")) m_gridBackground = *c;
    if (auto c = BagColor(bag, "AxisGridColor")) m_gridColor = *c;
    if (auto s = BagString(bag, "Channels")) {
        const QStringList entries = QString::fromStdString(*s).split(';', Qt::SkipEmptyParts);
        for (int i = 0; i < std::min<int>(kChannels, int(entries.size())); ++i) {
            const QStringList f = entries[i].split(',');
            Channel& ch = m_channels[size_t(i)];
            if (f.size() > 0) ch.name = f[0].trimmed();
            if (f.size() > 1)
                if (auto c = ParseColor(f[1].trimmed().toStdString())) ch.color = *c;
            for (int k = 0; k < 2 && f.size() > 2 + k; ++k) ch.stored[size_t(k)] = f[2 + k].trimmed().toDouble();
        }
    }
    InvalidateArt();
    RebuildTraces();
}

QRect StripChart::PlotRect() const
{
    QRect r = rect().adjusted(3, 3, -3, -3);
    if (m_yShow) r.setLeft(r.left() + 48);
    if (m_xShow) r.setBottom(r.bottom() - 14);
    if (m_legend) r.setRight(r.right() - 56);
    return r.isValid() ? r : QRect(0, 0, 1, 1);
}

void StripChart::BeginUpdate()
{
    ++m_updateDepth;
}

void StripChart::EndUpdate()
{
    if (m_updateDepth > 0) --m_updateDepth;
    if (m_updateDepth == 0) {
        Flush();
        update(PlotRect());
    }
}

int32_t StripChart::AddColumn(double x)
{
    if (m_pageScroll && x >= m_viewStart + m_xMax) {
        // Jump by whole steps until x is inside; with no step size, by whole pages.
        const double step = m_step > 0.0 ? m_step : m_xMax;
        const double pages = std::floor((x - (m_viewStart + m_xMax)) / step) + 1.0;
        m_viewStart += pages * step;
        if (m_updateDepth == 0) update(PlotRect());
        if (m_xShow) InvalidateArt();
    }
    m_columns.push_back(Column{x, {}, 0});
    const size_t keep = std::max(kMinKeptColumns, size_t(2.0 * m_xMax) + 1);
    while (m_columns.size() > keep) {
        m_columns.pop_front();
        ++m_firstIndex;
    }
    if (m_pendingFrom >= 0 && m_pendingFrom < m_firstIndex) m_pendingFrom = m_firstIndex;
    return ColumnCount() - 1;
}

bool StripChart::SetChannelValue(int32_t channel, int32_t column, double value)
{
    if (channel < 0 || channel >= kChannels) return false;
    if (column < m_firstIndex || column >= ColumnCount()) return false;
    Column& c = m_columns[size_t(column - m_firstIndex)];
    c.value[size_t(channel)] = float(value);
    c.has |= uint8_t(1u << channel);
    if (m_pendingFrom < 0 || column < m_pendingFrom) m_pendingFrom = column;
    if (m_updateDepth == 0) {
        Flush();
        update(PlotRect());
    }
    return true;
}

bool StripChart::HasValue(int32_t channel, int32_t column) const
{
    if (channel < 0 || channel >= kChannels || column < m_firstIndex || column >= ColumnCount()) return false;
    return (m_columns[size_t(column - m_firstIndex)].has >> channel) & 1u;
}

int64_t StripChart::PixelOf(double x, int width) const
{
    return int64_t(std::floor(x * width / m_xMax));
}

int StripChart::YPixel(double value, int height) const
{
    const double f = std::clamp(value / m_yMax, 0.0, 1.0);
    return int(std::lround((1.0 - f) * (height - 1)));
}

void StripChart::ScrollTo(double start)
{
    const int w = m_traces.width();
    const int64_t shift = PixelOf(start, w) - PixelOf(m_imageStart, w);
    m_imageStart = start;
    if (shift == 0 || m_traces.isNull()) return;
    ++m_scrolls;
    if (std::llabs(shift) >= w) {
        m_traces.fill(Qt::transparent);
        return;
    }
    // Move what is drawn rather than redraw it: one memmove a scan line.
    const int s = int(shift);
    const size_t px = sizeof(uint32_t);
    for (int y = 0; y < m_traces.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(m_traces.scanLine(y));
        if (s > 0) {
            std::memmove(line, line + s, size_t(w - s) * px);
            std::memset(line + (w - s), 0, size_t(s) * px);
        } else {
            std::memmove(line - s, line, size_t(w + s) * px);
            std::memset(line, 0, size_t(-s) * px);
        }
    }
}

void StripChart::DrawColumns(QPainter& p, int32_t from, int width, int height, double viewStart) const
{
    if (m_columns.empty()) return;
    int32_t start = std::max(m_firstIndex, from - 1);
    // Columns scrolled out of view matter only as the left end of the first visible segment.
    while (start + 1 < ColumnCount() && m_columns[size_t(start + 1 - m_firstIndex)].x <= viewStart) ++start;
    const int64_t origin = PixelOf(viewStart, width);
    QPolygon run;
    run.reserve(int(m_columns.size()));
    for (int c = 0; c < kChannels; ++c) {
        const uint8_t bit = uint8_t(1u << c);
        QPen pen(m_channels[size_t(c)].color, 0);  // cosmetic 1-pixel pen
        p.setPen(pen);
        auto drawRun = [&] {
            if (run.size() == 1) p.drawPoint(run[0]);
            else if (run.size() > 1) p.drawPolyline(run);
            run.clear();
        };
        for (int32_t i = start; i < ColumnCount(); ++i) {
            const Column& col = m_columns[size_t(i - m_firstIndex)];
            if (!(col.has & bit)) {
                drawRun();
                continue;
            }
            const int64_t x = PixelOf(col.x, width) - origin;
            run.append(QPoint(int(std::clamp<int64_t>(x, -width, 2 * int64_t(width))), YPixel(col.value[size_t(c)], height)));
        }
        drawRun();
    }
}

void StripChart::Flush()
{
    const QRect plot = PlotRect();
    if (m_traces.size() != plot.size()) RebuildTraces();
    ScrollTo(m_viewStart);
    if (m_pendingFrom < 0) return;
    QPainter p(&m_traces);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setClipRect(m_traces.rect());
    DrawColumns(p, m_pendingFrom, m_traces.width(), m_traces.height(), m_imageStart);
    m_pendingFrom = -1;
}

void StripChart::RebuildTraces()
{
    m_traces = QImage(PlotRect().size(), QImage::Format_ARGB32_Premultiplied);
    m_traces.fill(Qt::transparent);
    m_imageStart = m_viewStart;
    m_pendingFrom = m_columns.empty() ? -1 : m_firstIndex;
}

void StripChart::PaintAllTraces(QPainter& p, const QRect& plot) const
{
    p.save();
    p.translate(plot.topLeft());
    p.setClipRect(QRect(QPoint(0, 0), plot.size()));
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawColumns(p, m_firstIndex, plot.width(), plot.height(), m_viewStart);
    p.restore();
}

void StripChart::resizeEvent(QResizeEvent*)
{
    RebuildTraces();
}

void StripChart::paintEvent(QPaintEvent* e)
{
    Flush();
    QPainter p(this);
    p.drawPixmap(0, 0, StaticArt());
    p.drawImage(PlotRect().topLeft(), m_traces);
}

void StripChart::PaintStaticArt(QPainter& p)
{
    p.fillRect(rect(), m_background);
    const QRect plot = PlotRect();
    // Sunken frame round the plot, as on a panel meter.
    p.setPen(m_background.darker(160));
    p.drawLine(plot.left() - 1, plot.top() - 1, plot.right() + 1, plot.top() - 1);
    p.drawLine(plot.left() - 1, plot.top() - 1, plot.left() - 1, plot.bottom() + 1);
    p.setPen(m_background.lighter(160));
    p.drawLine(plot.left() - 1, plot.bottom() + 1, plot.right() + 1, plot.bottom() + 1);
    p.drawLine(plot.right() + 1, plot.top() - 1, plot.right() + 1, plot.bottom() + 1);
    p.fillRect(plot, m_gridBackground);

    p.setPen(QPen(m_gridColor, 0, m_gridStyle));
    for (int i = 1; i + 1 < m_xTicks; ++i) {
        const int x = plot.left() + int(std::lround(double(i) * (plot.width() - 1) / (m_xTicks - 1)));
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    for (int i = 1; i + 1 < m_yTicks; ++i) {
        const int y = plot.top() + int(std::lround(double(i) * (plot.height() - 1) / (m_yTicks - 1)));
        p.drawLine(plot.left(), y, plot.right(), y);
    }
    p.setPen(QPen(m_gridColor, 0));
    p.drawRect(plot.adjusted(0, 0, -1, -1));

    QFont f = font();
    f.setPointSizeF(7);
    p.setFont(f);
    const QColor text = m_background.lightness() < 128 ? Qt::white : Qt::black;
    p.setPen(text);
    if (m_xShow && m_xTicks > 1) {
        for (int i = 0; i < m_xTicks; ++i) {
            const int x = plot.left() + int(std::lround(double(i) * (plot.width() - 1) / (m_xTicks - 1)));
            const double v = m_viewStart + m_xMax * i / (m_xTicks - 1);
            p.drawText(QRect(x - 30, plot.bottom() + 2, 60, 12), Qt::AlignCenter, QString::number(v, 'g', 6));
        }
    }
    if (m_yShow && m_yTicks > 1) {
        for (int i = 0; i < m_yTicks; ++i) {
            const int y = plot.top() + int(std::lround(double(i) * (plot.height() - 1) / (m_yTicks - 1)));
            const double v = m_yMax * (1.0 - double(i) / (m_yTicks - 1));
            p.drawText(QRect(0, std::clamp(y - 6, 0, std::max(0, height() - 12)), plot.left() - 3, 12), Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
        }
    }
    if (m_legend) {
        for (int c = 0; c < kChannels; ++c) {
            const int y = plot.top() + 4 + c * 13;
            p.fillRect(plot.right() + 8, y + 4, 10, 3, m_channels[size_t(c)].color);
            p.setPen(text);
            p.drawText(QPoint(plot.right() + 22, y + 9), m_channels[size_t(c)].name);
        }
    }
}

}  // namespace platform::instruments
