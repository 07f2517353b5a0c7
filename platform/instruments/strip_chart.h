// The strip chart: eight channels of traces over an x axis that scrolls by pages. Traces are kept
// in a persistent image; only new columns are drawn into it, a scroll moves it, and painting only
// blits it over the cached grid. Columns are addressed by the index AddColumn returns.
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

#include <QColor>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <deque>

namespace platform::instruments {

class StripChart : public Instrument {
public:
    static constexpr int kChannels = 8;

    struct Channel {
        QString name;
        QColor color;
        std::array<double, 2> stored{0.0, 0.0};
    };

    explicit StripChart(QWidget* parent = nullptr);

    void LoadProperties(const com::PropertyBag& bag) override;

    // Updates between BeginUpdate and EndUpdate are drawn together; EndUpdate asks for one repaint.
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

    // Draws pending columns into the trace image; painting does this too.
    void Flush();
    // The persistent trace image, transparent where nothing was drawn, the size of PlotRect().
    const QImage& Traces() { Flush(); return m_traces; }
    int ScrollCount() const { return m_scrolls; }
    // Draws every kept column from scratch: used after a resize, and by benchmarks as the naive way.
    void PaintAllTraces(QPainter& p, const QRect& plot) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void PaintStaticArt(QPainter& p) override;

private:
    struct Column {
        double x = 0.0;
        std::array<float, kChannels> value{};
        uint8_t has = 0;
    };

    int64_t PixelOf(double x, int width) const;
    int YPixel(double value, int height) const;
    void ScrollTo(double start);
    void RebuildTraces();
    void DrawColumns(QPainter& p, int32_t from, int width, int height, double viewStart) const;

    std::array<Channel, kChannels> m_channels;
    std::deque<Column> m_columns;
    int32_t m_firstIndex = 0;
    int32_t m_pendingFrom = -1;  // first column not yet drawn into m_traces, -1 when none
    int m_updateDepth = 0;

    QImage m_traces;
    double m_viewStart = 0.0;
    double m_imageStart = 0.0;  // view start the trace image was drawn for
    int m_scrolls = 0;

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
