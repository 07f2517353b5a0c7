// The strip chart: eight channels of traces over an x axis that scrolls by pages. Traces are kept
// in a persistent image; only new columns are drawn into it, and only when a frame is painted. The
// plot is kept composed (grid under traces), so painting it is a copy, and a repaint asks for the
// strip of new columns alone unless the view scrolled. Repaints come at most once a frame
// interval, whatever the rate of updates. Columns are addressed by the index AddColumn returns.
//
// Bag: XAxisMax, YAxisMax, XAxisShow, YAxisShow, AutoScrollType ("scrollPage" or "scrollNone"),
// AutoScrollStepSize, AutoScaleEnabled, ShowLegend, ShowToolBar, XAxisTickMajorCount,
// YAxisTickMajorCount (ticks counted with both ends, so 9 gives 8 divisions), GridLineStyle
// ("lineDot", "lineDash" or "lineSolid"), BackGroundColor, GridBackGroundColor, AxisGridColor, and
// Channels: up to eight entries separated by ';', each "name,colour,a,b" where colour is 0x00BBGGRR
// as a decimal int (or a name like clRed) and a, b are the two numbers the template keeps per
// channel; they are stored and reported unchanged and do not alter drawing.
// Example: "ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;ch5,255,0,0;ch6,16711680,0,0;...".
#pragma once

#include "platform/instruments/instrument.h"

#include <QBasicTimer>
#include <QColor>
#include <QImage>
#include <QPen>
#include <QPolygon>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <limits>
#include <utility>
#include <vector>

namespace platform::instruments {

class StripChart : public Instrument {
public:
    static constexpr int kChannels = 8;
    // 20 frames a second: a trace moves on in steps of a few pixels, and under a real display
    // server every frame of a scrolling chart sends all its trace rows again.
    static constexpr std::chrono::milliseconds kDefaultFrameInterval{50};

    struct Channel {
        QString name;
        QColor color;
        std::array<double, 2> stored{0.0, 0.0};
    };

    explicit StripChart(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;

    // Updates between BeginUpdate and EndUpdate are drawn together; EndUpdate asks for a repaint
    // of the pixel columns they touched (of the whole plot after a scroll), at the latest at the
    // end of the current frame interval.
    void BeginUpdate();
    void EndUpdate();
    // Returns the new column's index.
    int32_t AddColumn(double x);
    // False for a channel outside 0-7 or a column the chart does not have (never added or dropped).
    bool SetChannelValue(int32_t channel, int32_t column, double value);

    int32_t ColumnCount() const { return m_firstIndex + int32_t(m_columns.size()); }
    int32_t FirstKeptColumn() const { return m_firstIndex; }
    bool HasValue(int32_t channel, int32_t column) const;
    double ViewStart() const { return m_viewStart; }
    double XAxisMax() const { return m_xMax; }
    double YAxisMax() const { return m_yMax; }
    double ScrollStep() const { return m_step; }
    bool PageScroll() const { return m_pageScroll; }
    const Channel& ChannelAt(int i) const { return m_channels[size_t(i)]; }
    QRect PlotRect() const;

    // Shows the current view and draws every ended update into the trace image; painting draws
    // the updates of the view it shows.
    void Flush();
    // The traces in view, transparent where nothing was drawn, the size of PlotRect().
    QImage Traces();
    int ScrollCount() const { return m_scrolls; }
    // Zero asks for a repaint at every update.
    void SetFrameInterval(std::chrono::milliseconds interval) { m_frameInterval = interval; }
    // Asks now, rather than at the end of the frame interval, for the repaint of what is not shown.
    void PresentFrame();
    // Draws every kept column from scratch: used after a resize, and by benchmarks as the naive way.
    void PaintAllTraces(QPainter& p, const QRect& plot) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void timerEvent(QTimerEvent*) override;
    void PaintStaticArt(QPainter& p) override;
    bool ArtIsOpaque() const override { return true; }

private:
    struct Column {
        double x = 0.0;
        std::array<float, kChannels> value{};
        std::array<int16_t, kChannels> y{};  // plot row of each value, for a plot m_yHeight high
        uint8_t has = 0;
    };

    // Columns changed by one update: from the first changed to the last added when it ended.
    struct Batch {
        int32_t from;
        int32_t end;
        double viewStart;  // when the update ended
    };

    // Pixels are counted from x = 0 unless said otherwise; the view starts at PixelOf(viewStart).
    int64_t PixelOf(double x, int width) const;
    int YPixel(double value, int height) const;
    // The pixels a batch's segments may touch, from and to included.
    std::pair<int64_t, int64_t> PixelsOf(const Batch& batch, int width) const;
    void RequestRepaint();
    void RebuildTraces();
    // Brings the trace image to the view at viewStart and draws the updates that ended in it.
    void DrawTo(double viewStart);
    void ScrollTo(double start);
    void MoveBuffer(int64_t viewStart, int64_t oldViewStart, int width);
    void ClearTraces(int64_t from, int64_t to);  // buffer columns
    // Draws columns from-1 to end-1 (the segment into `from` included) at x relative to viewStart
    // plus offset, as an update that ended with the view at drawnAt draws them.
    void DrawColumns(QPainter& p, int32_t from, int32_t end, int width, int height, double viewStart, double drawnAt,
                     int offset) const;
    // Marks the rows that the segments into columns from to end-1 may touch, one row either side.
    void MarkRows(std::vector<uint8_t>& rows, int32_t from, int32_t end) const;
    // The rows any trace may touch in the view that starts at viewStart.
    std::vector<uint8_t> TraceRows(double viewStart) const;
    void Uncompose(int64_t from, int64_t to);
    void RefreshPlotArt();
    // Brings the plot rows that `region` (widget coordinates) paints up to date.
    void ComposePlot(const QRegion& region);
    // Columns of the view, from and to included, in the rows composed for the view; the ranges
    // are sorted and merged on the way.
    void ComposeColumns(std::vector<std::pair<int, int>>& ranges);
    // A rectangle of the view: art under traces.
    void ComposeRect(QPainter& painter, const QRect& view);

    std::array<Channel, kChannels> m_channels;
    std::array<QPen, kChannels> m_pens;
    mutable QPolygon m_run;  // the points of one polyline, kept to save an allocation a line
    std::deque<Column> m_columns;
    int32_t m_firstIndex = 0;
    int32_t m_touchedFrom = -1;    // first column changed since the last update ended, -1 when none
    std::vector<Batch> m_undrawn;  // ended updates not yet drawn into m_traces
    int m_updateDepth = 0;

    using Clock = std::chrono::steady_clock;
    // Pixels drawn or to be drawn but not yet asked to be painted; none when from > to.
    int64_t m_unshownFrom = std::numeric_limits<int64_t>::max();
    int64_t m_unshownTo = std::numeric_limits<int64_t>::min();
    double m_shownStart = 0.0;  // view start of what was last asked to be painted
    // Plot rows with trace pixels on the screen, and in updates not yet shown: a scroll changes
    // only the rows that hold a trace before or after it, the rest is grid that stays.
    std::vector<uint8_t> m_shownRows;
    std::vector<uint8_t> m_unshownRows;
    int m_yHeight = 0;       // plot height the columns' rows are for
    bool m_xInOrder = true;  // columns were added with growing x
    QBasicTimer m_frameTimer;
    Clock::time_point m_lastFrame;
    std::chrono::milliseconds m_frameInterval{kDefaultFrameInterval};

    // The traces are kept in a buffer wider than the plot: a scroll moves the view over it, and
    // only when the view reaches the buffer's end does the buffer move, about once a page.
    QImage m_traces;             // transparent where nothing was drawn
    int64_t m_bufferOrigin = 0;  // pixel of the buffer's first column
    double m_viewStart = 0.0;
    double m_imageStart = 0.0;  // view start the buffer was last brought to
    int m_scrolls = 0;
    // The view's columns composed, art under traces, so that painting the plot is a copy.
    QImage m_plot;                                          // the buffer's geometry
    QImage m_plotArt;                                       // the plot's part of the static art
    int m_plotArtOf = -1;                                   // the art render it was taken from
    std::vector<std::pair<int64_t, int64_t>> m_uncomposed;  // pixels to compose again
    // Rows not composed for the view: a scroll moves the traces under a grid that stays put.
    // Each is composed whole when it is next painted; a row of grid alone may never be.
    std::vector<uint8_t> m_staleRows;

    double m_xMax = 1024.0;
    double m_yMax = 100.0;
    double m_step = 0.0;
    bool m_pageScroll = true;
    bool m_xShow = false;
    bool m_yShow = false;
    bool m_autoScale = false;
    bool m_legend = false;
    bool m_toolBar = false;
    int m_xTicks = 9;
    int m_yTicks = 2;
    Qt::PenStyle m_gridStyle = Qt::DotLine;
    QColor m_background = QColor(0x19, 0x19, 0x70);
    QColor m_gridBackground = QColor(0xDC, 0xDC, 0xDC);
    QColor m_gridColor = QColor(0x46, 0x82, 0xB4);
};

}  // namespace platform::instruments
