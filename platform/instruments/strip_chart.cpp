#include "platform/instruments/strip_chart.h"

#include "platform/instruments/bag.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace platform::instruments {

namespace {

// Enough for the visible page and the one before it; older columns are forgotten.
constexpr size_t kMinKeptColumns = 4096;
// Updates drawn at the next paint rather than each at its own EndUpdate.
constexpr size_t kMaxUndrawnBatches = 64;
// Columns to compose before the next paint, as ranges; more than this and the whole plot is.
constexpr size_t kMaxUncomposedRanges = 256;
// The trace buffer is this many plots wide, so that the view moves over it a page before it moves.
constexpr int kBufferPages = 2;
// Columns composed together from this width on are composed by the painter. Narrower, a frame's
// strip of new columns, its set-up and its calls per row cost more than the pixels.
constexpr int kPainterComposeWidth = 64;

// Calls run(top, end) for each run of rows 0..count-1 where in(row) holds, end exclusive.
template <class In, class Run>
void ForEachRun(int count, In in, Run run)
{
    for (int y = 0; y < count;) {
        if (!in(y)) {
            ++y;
            continue;
        }
        const int top = y;
        while (y < count && in(y)) ++y;
        run(top, y);
    }
}

}  // namespace

StripChart::StripChart(QWidget* parent) : Instrument(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (int i = 0; i < kChannels; ++i) {
        m_channels[size_t(i)].name = QStringLiteral("ch%1").arg(i + 1);
        m_channels[size_t(i)].color = Qt::black;
        m_pens[size_t(i)] = QPen(Qt::black, 0);
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
    for (int i = 0; i < kChannels; ++i)
        m_pens[size_t(i)] = QPen(m_channels[size_t(i)].color, 0);  // cosmetic 1-pixel pens
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
    if (m_updateDepth == 0) RequestRepaint();
}

int32_t StripChart::AddColumn(double x)
{
    if (m_pageScroll && x >= m_viewStart + m_xMax) {
        // Jump by whole steps until x is inside; with no step size, by whole pages.
        const double step = m_step > 0.0 ? m_step : m_xMax;
        const double pages = std::floor((x - (m_viewStart + m_xMax)) / step) + 1.0;
        m_viewStart += pages * step;
        if (m_updateDepth == 0) RequestRepaint();
        if (m_xShow) InvalidateArt();
    }
    if (!m_columns.empty() && x < m_columns.back().x) m_xInOrder = false;
    m_columns.push_back(Column{x, {}, {}, 0});
    const size_t keep = std::max(kMinKeptColumns, size_t(2.0 * m_xMax) + 1);
    while (m_columns.size() > keep) {
        m_columns.pop_front();
        ++m_firstIndex;
    }
    if (m_touchedFrom >= 0 && m_touchedFrom < m_firstIndex) m_touchedFrom = m_firstIndex;
    return ColumnCount() - 1;
}

bool StripChart::SetChannelValue(int32_t channel, int32_t column, double value)
{
    if (channel < 0 || channel >= kChannels) return false;
    if (column < m_firstIndex || column >= ColumnCount()) return false;
    Column& c = m_columns[size_t(column - m_firstIndex)];
    c.value[size_t(channel)] = float(value);
    c.y[size_t(channel)] = int16_t(YPixel(c.value[size_t(channel)], m_yHeight));
    c.has |= uint8_t(1u << channel);
    if (m_touchedFrom < 0 || column < m_touchedFrom) m_touchedFrom = column;
    if (m_updateDepth == 0) RequestRepaint();
    return true;
}

bool StripChart::HasValue(int32_t channel, int32_t column) const
{
    if (channel < 0 || channel >= kChannels || column < m_firstIndex || column >= ColumnCount()) return false;
    return (m_columns[size_t(column - m_firstIndex)].has >> channel) & 1u;
}

void StripChart::RequestRepaint()
{
    const int w = PlotRect().width();
    if (m_touchedFrom >= 0) {
        const Batch batch{m_touchedFrom, ColumnCount(), m_viewStart};
        m_touchedFrom = -1;
        m_undrawn.push_back(batch);
        const auto [from, to] = PixelsOf(batch, w);
        m_unshownFrom = std::min(m_unshownFrom, from);
        m_unshownTo = std::max(m_unshownTo, to);
        MarkRows(m_unshownRows, batch.from, batch.end);
    }
    // A window that is not painted (hidden, minimised) still keeps its picture, not a backlog.
    if (m_undrawn.size() > kMaxUndrawnBatches) Flush();
    const bool scrolled = PixelOf(m_viewStart, w) != PixelOf(m_shownStart, w);
    if (m_unshownFrom > m_unshownTo && !scrolled) return;
    // An update that comes near the end of the frame interval is shown at once rather than by the
    // timer a little later: a steady stream then costs the window no wake-up of its own.
    const auto since = Clock::now() - m_lastFrame;
    if (since >= m_frameInterval - m_frameInterval / 8) {
        PresentFrame();
    } else if (!m_frameTimer.isActive()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_frameInterval - since);
        m_frameTimer.start(int(wait.count()), Qt::PreciseTimer, this);
    }
}

std::pair<int64_t, int64_t> StripChart::PixelsOf(const Batch& batch, int width) const
{
    // The point before the batch's first column is where its first segment starts; one pixel
    // either side covers the pen.
    int64_t from = std::numeric_limits<int64_t>::max();
    int64_t to = std::numeric_limits<int64_t>::min();
    for (int32_t i = std::max(m_firstIndex, batch.from - 1); i < std::min(batch.end, ColumnCount()); ++i) {
        const int64_t x = PixelOf(m_columns[size_t(i - m_firstIndex)].x, width);
        from = std::min(from, x - 1);
        to = std::max(to, x + 1);
    }
    return {from, to};
}

void StripChart::PresentFrame()
{
    m_frameTimer.stop();
    const QRect plot = PlotRect();
    const int w = plot.width();
    const int64_t origin = PixelOf(m_viewStart, w);
    if (origin != PixelOf(m_shownStart, w) && m_shownRows.size() != size_t(plot.height())) {
        update(plot);
    } else if (origin != PixelOf(m_shownStart, w)) {
        // A scroll moves the traces; rows that hold none before or after it show only the grid,
        // which stays where it is.
        std::vector<uint8_t> rows = TraceRows(m_viewStart);
        QRegion changed;
        ForEachRun(
            plot.height(), [&](int y) { return rows[size_t(y)] || m_shownRows[size_t(y)]; },
            [&](int top, int end) { changed += QRect(plot.left(), plot.top() + top, plot.width(), end - top); });
        update(changed);
        m_shownRows = std::move(rows);
    } else if (m_unshownFrom <= m_unshownTo) {
        const int64_t from = std::max<int64_t>(m_unshownFrom - origin, 0);
        const int64_t to = std::min<int64_t>(m_unshownTo - origin, w - 1);
        if (from <= to) update(QRect(plot.left() + int(from), plot.top(), int(to - from + 1), plot.height()));
        for (size_t y = 0; y < m_shownRows.size(); ++y) m_shownRows[y] |= m_unshownRows[y];
    }
    std::fill(m_unshownRows.begin(), m_unshownRows.end(), 0);
    m_shownStart = m_viewStart;
    m_unshownFrom = std::numeric_limits<int64_t>::max();
    m_unshownTo = std::numeric_limits<int64_t>::min();
    m_lastFrame = Clock::now();
}

void StripChart::MarkRows(std::vector<uint8_t>& rows, int32_t from, int32_t end) const
{
    const int height = int(rows.size());
    for (int32_t i = std::max(m_firstIndex, from); i < std::min(end, ColumnCount()); ++i) {
        const Column& col = m_columns[size_t(i - m_firstIndex)];
        const Column* before = i > m_firstIndex ? &m_columns[size_t(i - 1 - m_firstIndex)] : nullptr;
        for (int c = 0; c < kChannels; ++c) {
            if (!((col.has >> c) & 1u)) continue;
            int top = col.y[size_t(c)], bottom = top;
            if (before && ((before->has >> c) & 1u)) {
                top = std::min<int>(top, before->y[size_t(c)]);
                bottom = std::max<int>(bottom, before->y[size_t(c)]);
            }
            std::fill(rows.begin() + std::clamp(top - 1, 0, height), rows.begin() + std::clamp(bottom + 2, 0, height),
                      1);
        }
    }
}

std::vector<uint8_t> StripChart::TraceRows(double viewStart) const
{
    const int height = PlotRect().height();
    std::vector<uint8_t> rows(size_t(std::max(height, 0)), 1);
    if (!m_xInOrder || height != m_yHeight) return rows;
    std::fill(rows.begin(), rows.end(), 0);
    // From the first column within a pixel of the view's start (the segment into it included) to
    // the last column in view.
    const double pixel = m_xMax / std::max(1, PlotRect().width());
    const auto first = std::lower_bound(m_columns.begin(), m_columns.end(), viewStart - pixel,
                                        [](const Column& col, double x) { return col.x < x; });
    const auto last = std::lower_bound(first, m_columns.end(), viewStart + m_xMax,
                                       [](const Column& col, double x) { return col.x < x; });
    MarkRows(rows, m_firstIndex + int32_t(first - m_columns.begin()), m_firstIndex + int32_t(last - m_columns.begin()));
    return rows;
}

void StripChart::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_frameTimer.timerId()) PresentFrame();
    else Instrument::timerEvent(e);
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

void StripChart::Uncompose(int64_t from, int64_t to)
{
    if (from > to) return;
    if (m_uncomposed.size() == kMaxUncomposedRanges) {
        std::fill(m_staleRows.begin(), m_staleRows.end(), 1);
        m_uncomposed.clear();
        return;
    }
    m_uncomposed.push_back({from, to});
}

void StripChart::ScrollTo(double start)
{
    const int w = PlotRect().width();
    const int64_t from = PixelOf(m_imageStart, w);
    const int64_t to = PixelOf(start, w);
    m_imageStart = start;
    if (from == to || m_traces.isNull()) return;
    ++m_scrolls;
    // The view moves over the buffer; the buffer itself moves only when the view would leave it.
    if (to < m_bufferOrigin || to + w > m_bufferOrigin + m_traces.width()) MoveBuffer(to, from, w);
    // Columns coming into view start empty, as on a chart that moves its pixels.
    const int64_t enterFrom = to > from ? std::max(from + w, to) : to;
    const int64_t enterTo = to > from ? to + w - 1 : std::min(to + w, from) - 1;
    ClearTraces(enterFrom - m_bufferOrigin, enterTo - m_bufferOrigin);
    // The art stays where it is on the screen while the traces move under it.
    std::fill(m_staleRows.begin(), m_staleRows.end(), 1);
    m_uncomposed.clear();
}

void StripChart::MoveBuffer(int64_t viewStart, int64_t oldViewStart, int width)
{
    // The new view starts the buffer, leaving the rest of it for the columns still to come.
    const int64_t shift = viewStart - m_bufferOrigin;
    m_bufferOrigin = viewStart;
    // Only the old view's pixels that stay in sight are worth keeping.
    const int64_t keepFrom = std::max(oldViewStart, viewStart);
    const int64_t keepTo = std::min(oldViewStart, viewStart) + width;  // exclusive
    if (keepFrom >= keepTo) return;
    const size_t px = sizeof(uint32_t);
    const auto n = size_t(keepTo - keepFrom) * px;
    const int64_t dst = keepFrom - m_bufferOrigin;
    const int64_t src = dst + shift;
    // The composed plot is composed again after a scroll in any case.
    uchar* bits = m_traces.bits();
    for (int y = 0; y < m_traces.height(); ++y, bits += m_traces.bytesPerLine()) {
        auto* line = reinterpret_cast<uint32_t*>(bits);
        std::memmove(line + dst, line + src, n);
    }
}

void StripChart::ClearTraces(int64_t from, int64_t to)
{
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, m_traces.width() - 1);
    if (from > to) return;
    uchar* bits = m_traces.bits();
    for (int y = 0; y < m_traces.height(); ++y, bits += m_traces.bytesPerLine())
        std::memset(reinterpret_cast<uint32_t*>(bits) + from, 0, size_t(to - from + 1) * sizeof(uint32_t));
}

void StripChart::DrawColumns(QPainter& p, int32_t from, int32_t end, int width, int height, double viewStart,
                             double drawnAt, int offset) const
{
    end = std::min(end, ColumnCount());
    int32_t start = std::max(m_firstIndex, from - 1);
    if (start >= end) return;
    // Columns out of view when the update ended matter only as the left end of the first visible
    // segment; the segments start where they would have started then.
    while (start + 1 < end && m_columns[size_t(start + 1 - m_firstIndex)].x <= drawnAt) ++start;
    const int64_t origin = PixelOf(viewStart, width);
    QPolygon& run = m_run;
    for (int c = 0; c < kChannels; ++c) {
        const uint8_t bit = uint8_t(1u << c);
        p.setPen(m_pens[size_t(c)]);
        auto drawRun = [&] {
            if (run.size() == 1) p.drawPoint(run[0]);
            else if (run.size() > 1) p.drawPolyline(run);
            run.clear();
        };
        for (int32_t i = start; i < end; ++i) {
            const Column& col = m_columns[size_t(i - m_firstIndex)];
            if (!(col.has & bit)) {
                drawRun();
                continue;
            }
            const int64_t x = PixelOf(col.x, width) - origin;
            const int y = height == m_yHeight ? col.y[size_t(c)] : YPixel(col.value[size_t(c)], height);
            run.append(QPoint(int(std::clamp<int64_t>(x, -width, 2 * int64_t(width))) + offset, y));
        }
        drawRun();
    }
}

void StripChart::Flush()
{
    const int w = PlotRect().width();
    if (PixelOf(m_viewStart, w) != PixelOf(m_shownStart, w)) PresentFrame();
    DrawTo(m_shownStart);
}

void StripChart::DrawTo(double viewStart)
{
    const QRect plot = PlotRect();
    if (m_traces.height() != plot.height() || m_traces.width() != kBufferPages * plot.width()) RebuildTraces();
    ScrollTo(viewStart);
    const int w = plot.width();
    const int64_t view = PixelOf(m_imageStart, w);
    // Updates that ended after a scroll not yet shown wait for its frame.
    size_t due = 0;
    while (due < m_undrawn.size() && PixelOf(m_undrawn[due].viewStart, w) <= view) ++due;
    if (due == 0) return;
    const int offset = int(view - m_bufferOrigin);
    QPainter p(&m_traces);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Batch by batch, each clipped to the view as it stood when its update ended: joins, overlaps
    // and edges come out as if each update had been drawn the moment it ended.
    for (size_t i = 0; i < due; ++i) {
        const Batch& b = m_undrawn[i];
        const int64_t moved = std::clamp<int64_t>(view - PixelOf(b.viewStart, w), -w, w);
        const QRect clip = QRect(-int(moved), 0, w, plot.height()) & QRect(0, 0, w, plot.height());
        if (clip.isEmpty()) continue;
        p.setClipRect(clip.translated(offset, 0));
        DrawColumns(p, b.from, b.end, w, plot.height(), m_imageStart, b.viewStart, offset);
        const auto [from, to] = PixelsOf(b, w);
        Uncompose(from, to);
    }
    m_undrawn.erase(m_undrawn.begin(), m_undrawn.begin() + ptrdiff_t(due));
}

void StripChart::RebuildTraces()
{
    const QRect plot = PlotRect();
    m_traces = QImage(kBufferPages * plot.width(), plot.height(), QImage::Format_ARGB32_Premultiplied);
    m_traces.fill(Qt::transparent);
    m_plot = QImage();
    m_imageStart = m_viewStart;
    m_shownStart = m_viewStart;  // all of it is painted again
    m_bufferOrigin = PixelOf(m_viewStart, plot.width());
    m_uncomposed.clear();
    m_staleRows.assign(size_t(plot.height()), 1);
    m_undrawn.clear();
    if (!m_columns.empty()) m_undrawn.push_back({m_firstIndex, ColumnCount(), m_viewStart});
    if (m_yHeight != plot.height()) {
        m_yHeight = plot.height();
        for (Column& col : m_columns)
            for (int c = 0; c < kChannels; ++c) col.y[size_t(c)] = int16_t(YPixel(col.value[size_t(c)], m_yHeight));
    }
    // Until a scroll has measured them, every row may hold a trace.
    m_shownRows.assign(size_t(plot.height()), 1);
    m_unshownRows.assign(size_t(plot.height()), 0);
}

QImage StripChart::Traces()
{
    Flush();
    const QRect plot = PlotRect();
    return m_traces.copy(int(PixelOf(m_imageStart, plot.width()) - m_bufferOrigin), 0, plot.width(), plot.height());
}

void StripChart::RefreshPlotArt()
{
    if (m_plotArtOf == ArtRenderCount()) return;
    m_plotArtOf = ArtRenderCount();
    m_plotArt = StaticArt().toImage().copy(PlotRect()).convertToFormat(QImage::Format_RGB32);
    std::fill(m_staleRows.begin(), m_staleRows.end(), 1);
}

void StripChart::ComposeRect(QPainter& painter, const QRect& view)
{
    const int offset = int(PixelOf(m_imageStart, PlotRect().width()) - m_bufferOrigin);
    const QPoint at = view.topLeft() + QPoint(offset, 0);
    painter.drawImage(at, m_plotArt, view);
    painter.drawImage(at, m_traces, view.translated(offset, 0));
}

void StripChart::ComposeColumns(std::vector<std::pair<int, int>>& ranges)
{
    if (ranges.empty()) return;
    std::sort(ranges.begin(), ranges.end());
    size_t kept = 0;
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first <= ranges[kept].second + 1)
            ranges[kept].second = std::max(ranges[kept].second, ranges[i].second);
        else ranges[++kept] = ranges[i];
    }
    ranges.resize(kept + 1);
    const int offset = int(PixelOf(m_imageStart, PlotRect().width()) - m_bufferOrigin);
    const int height = m_plotArt.height();
    // Wide ranges go to the painter, whose blending is vectorised, a band of composed rows at a
    // time. Channel colours are opaque and the pens aliased, so a trace pixel is either fully
    // drawn or not drawn at all.
    std::vector<std::pair<int, int>> narrow;
    QPainter painter;
    for (const auto& [from, to] : ranges) {
        if (to - from + 1 < kPainterComposeWidth) {
            narrow.push_back({from, to});
            continue;
        }
        if (!painter.isActive()) painter.begin(&m_plot);
        ForEachRun(
            height, [&](int y) { return !m_staleRows[size_t(y)]; },
            [&](int top, int end) { ComposeRect(painter, QRect(from, top, to - from + 1, end - top)); });
    }
    if (narrow.empty()) return;
    const qsizetype artStride = m_plotArt.bytesPerLine(), traceStride = m_traces.bytesPerLine(),
                    plotStride = m_plot.bytesPerLine();
    const uchar* artBits = m_plotArt.constBits();
    const uchar* traceBits = m_traces.constBits();
    uchar* plotBits = m_plot.bits();
    // Row by row: each row of the three images is contiguous, a column of them is not.
    for (int y = 0; y < height; ++y) {
        if (m_staleRows[size_t(y)]) continue;
        const auto* art = reinterpret_cast<const uint32_t*>(artBits + y * artStride);
        const auto* trace = reinterpret_cast<const uint32_t*>(traceBits + y * traceStride) + offset;
        auto* plot = reinterpret_cast<uint32_t*>(plotBits + y * plotStride) + offset;
        for (const auto& [from, to] : narrow)
            for (int x = from; x <= to; ++x) plot[x] = (trace[x] >> 24) ? trace[x] : art[x];
    }
}

void StripChart::ComposePlot(const QRegion& region)
{
    RefreshPlotArt();
    const QRect plot = PlotRect();
    const int w = plot.width();
    const int height = m_plotArt.height();
    if (m_plot.size() != m_traces.size() || m_staleRows.size() != size_t(height)) {
        if (m_plot.size() != m_traces.size()) m_plot = QImage(m_traces.size(), QImage::Format_RGB32);
        m_staleRows.assign(size_t(height), 1);
        m_uncomposed.clear();
    }
    std::vector<std::pair<int, int>> ranges;
    const int64_t view = PixelOf(m_imageStart, w);
    for (const auto& [from, to] : m_uncomposed) {
        const int64_t a = std::max<int64_t>(from - view, 0);
        const int64_t b = std::min<int64_t>(to - view, w - 1);
        if (a <= b) ranges.push_back({int(a), int(b)});
    }
    ComposeColumns(ranges);
    m_uncomposed.clear();
    // The rows about to be painted that are not composed for the view: whole, a band at a time.
    std::vector<uint8_t> wanted(size_t(height), 0);
    for (const QRect& r : region) {
        const QRect in = r & plot;
        for (int y = in.top(); y <= in.bottom(); ++y) wanted[size_t(y - plot.top())] = 1;
    }
    QPainter painter;
    ForEachRun(
        height, [&](int y) { return wanted[size_t(y)] && m_staleRows[size_t(y)]; },
        [&](int top, int end) {
            if (!painter.isActive()) painter.begin(&m_plot);
            ComposeRect(painter, QRect(0, top, w, end - top));
            std::fill(m_staleRows.begin() + top, m_staleRows.begin() + end, 0);
        });
}

void StripChart::PaintAllTraces(QPainter& p, const QRect& plot) const
{
    p.save();
    p.translate(plot.topLeft());
    p.setClipRect(QRect(QPoint(0, 0), plot.size()));
    p.setRenderHint(QPainter::Antialiasing, false);
    DrawColumns(p, m_firstIndex, ColumnCount(), plot.width(), plot.height(), m_viewStart, m_viewStart, 0);
    p.restore();
}

void StripChart::resizeEvent(QResizeEvent*)
{
    // The first resize of a shown widget is often to the size it already had.
    const QRect plot = PlotRect();
    if (m_traces.height() != plot.height() || m_traces.width() != kBufferPages * plot.width()) RebuildTraces();
}

void StripChart::paintEvent(QPaintEvent* e)
{
    const QRect plot = PlotRect();
    // A paint between a scroll and its frame (an expose, or a frame's repaint served after the
    // next update) shows the view the rest of the screen shows; the scroll waits for its frame.
    DrawTo(m_shownStart);
    const QPixmap& art = StaticArt();
    const qreal ratio = art.devicePixelRatio();
    // At one pixel per pixel the plot is kept composed, art under traces, and painting it is a
    // copy; otherwise the art keeps its own resolution and the traces are blended over it.
    const bool composed = ratio == 1.0;
    if (composed) ComposePlot(e->region());
    const int view = int(PixelOf(m_imageStart, plot.width()) - m_bufferOrigin);
    QPainter p(this);
    const bool several = e->region().rectCount() > 1;
    // Only what the update asked for: a packet's strip costs its width, not the whole plot's.
    for (const QRect& r : e->region()) {
        // One rectangle at a time keeps the painter on its fast paths.
        if (several) p.setClipRect(r);
        const QRect inPlot = r & plot;
        if (!composed || inPlot != r)
            p.drawPixmap(QRectF(r), art, QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
        if (inPlot.isEmpty()) continue;
        const QRect source = inPlot.translated(view - plot.left(), -plot.top());
        p.drawImage(inPlot.topLeft(), composed ? m_plot : m_traces, source);
    }
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
            p.drawText(QRect(0, std::clamp(y - 6, 0, std::max(0, height() - 12)), plot.left() - 3, 12),
                       Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 6));
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
