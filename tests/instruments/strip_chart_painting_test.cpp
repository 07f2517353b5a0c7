// What the strip chart puts on the screen while a stream runs: the strips and frames it repaints
// against a fresh paint of the whole chart, the composed plot against the grid with the traces
// over it, and updates drawn together at a paint against updates drawn one by one as they end.
#include "tests/instruments/instrument_fixture.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <chrono>
#include <cmath>
#include <string>

namespace platform::instruments::test {
namespace {

using namespace std::chrono_literals;

const char* const kChannels =
    "ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;ch5,255,0,0;ch6,16711680,0,0;ch7,16711680,0,0;ch8,16711680,0,0";

// The two panels' charts: the Quorvex's jumps by 128 columns, the Pellion's moves column by column.
struct ChartSetup {
    const char* name;
    double step;
    double yMax;
    QSize size;
};
const ChartSetup kQuorvexChart{"quorvex", 128.0, 270000.0, QSize(811, 300)};
const ChartSetup kPellionChart{"pellion", 1.0, 263500.0, QSize(825, 252)};

class Streamed {
public:
    explicit Streamed(const ChartSetup& setup)
        : host({{"XAxisMax", 1024.0},
                {"YAxisMax", setup.yMax},
                {"AutoScrollType", std::string("scrollPage")},
                {"AutoScrollStepSize", setup.step},
                {"XAxisTickMajorCount", int32_t(9)},
                {"YAxisTickMajorCount", int32_t(2)},
                {"GridLineStyle", std::string("lineDot")},
                {"BackGroundColor", int32_t(7346457)},
                {"GridBackGroundColor", int32_t(14474460)},
                {"AxisGridColor", int32_t(11829830)},
                {"Channels", std::string(kChannels)}},
               setup.size)
    {
    }

    StripChart& chart() { return *host.widget; }

    // Packet n as the main window draws it: four columns of seven traces in one update. Wavy
    // values make traces cross and run steep and flat; stepped ones keep to a few rows for a
    // while, then jump to others.
    void Packet(int n, bool stepped = false)
    {
        chart().BeginUpdate();
        for (int f = 0; f < 4; ++f) {
            const double t = n * 4 + f;
            const int32_t col = chart().AddColumn(t);
            for (int c : {0, 1, 2, 3, 5, 6, 7}) {
                const double wave = stepped
                                        ? ((n / 150 + c) % 3) * 9000.0 + 300.0 * std::sin(t)
                                        : 30000.0 * std::sin(t * (0.02 + 0.007 * c)) + 9000.0 * std::sin(t * 0.9 + c);
                chart().SetChannelValue(c, col, 32767.0 + wave + 33000.0 * (7 - c));
            }
        }
        chart().EndUpdate();
    }

    // What the window system was last given for the chart's window.
    QImage Screen()
    {
        Pump();
        return QGuiApplication::primaryScreen()
            ->grabWindow(chart().winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    // The whole chart painted now, from scratch.
    QImage FreshPaint() { return chart().grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // What the chart should look like: the grid of a chart with no columns, the traces over it.
    QImage Expected(const ChartSetup& setup)
    {
        Streamed empty(setup);
        QImage picture = empty.FreshPaint();
        QPainter p(&picture);
        p.drawImage(chart().PlotRect().topLeft(), chart().Traces());
        return picture;
    }

    // Repaints asked for while a paint runs come round on the loop's next pass.
    static void Pump()
    {
        for (int pass = 0; pass < 2; ++pass) QCoreApplication::processEvents();
    }

    Hosted<StripChart> host;
};

int PixelsApart(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) ++n;
    return n;
}

int DrawnPixels(const QImage& traces)
{
    int n = 0;
    for (int y = 0; y < traces.height(); ++y)
        for (int x = 0; x < traces.width(); ++x)
            if (qAlpha(traces.pixel(x, y)) != 0) ++n;
    return n;
}

struct StreamCase {
    const ChartSetup& setup;
    int packets;
    int pumpEvery;  // packets between two passes of the event loop; 0: none until the end
    bool stepped = false;
};

TEST(ChartScreen, StripsAndFramesAddUpToTheGridWithTheTracesOverIt)
{
    // Enough packets for the view to move over the trace buffer and the buffer to move, twice.
    const StreamCase cases[] = {
        {kQuorvexChart, 1500, 1},       {kQuorvexChart, 1500, 5}, {kPellionChart, 1500, 1},
        {kPellionChart, 1500, 3},       {kPellionChart, 600, 0},  {kPellionChart, 1500, 1, true},
        {kQuorvexChart, 1500, 2, true},
    };
    for (const StreamCase& c : cases) {
        Streamed s(c.setup);
        s.chart().SetFrameInterval(0ms);
        s.chart().show();
        s.Pump();
        for (int n = 0; n < c.packets; ++n) {
            s.Packet(n, c.stepped);
            if (c.pumpEvery > 0 && n % c.pumpEvery == 0) s.Pump();
        }
        const std::string what = std::string(c.setup.name) + (c.stepped ? ", stepped" : ", wavy") + ", events every " +
                                 std::to_string(c.pumpEvery);
        EXPECT_EQ(PixelsApart(s.Screen(), s.Expected(c.setup)), 0) << what;
        EXPECT_EQ(PixelsApart(s.FreshPaint(), s.Expected(c.setup)), 0) << what;
    }
}

TEST(ChartScreen, ALeapAwayLeavesNoTraceOfThePageBefore)
{
    // Traces kept to a few rows; they move to others at packet 450, between two scrolls (448 and
    // 480), and a few packets later the view leaps many pages.
    Streamed s(kQuorvexChart);
    s.chart().SetFrameInterval(0ms);
    s.chart().show();
    s.Pump();
    for (int n = 0; n < 456; ++n) {
        s.Packet(n, true);
        s.Pump();
    }
    s.chart().BeginUpdate();
    const int32_t col = s.chart().AddColumn(100000.0);
    s.chart().SetChannelValue(0, col, 100000.0);
    s.chart().EndUpdate();
    EXPECT_EQ(PixelsApart(s.Screen(), s.Expected(kQuorvexChart)), 0);
}

TEST(ChartScreen, AChartNeverShownPaintsTheGridWithTheTracesOverIt)
{
    for (const ChartSetup* setup : {&kQuorvexChart, &kPellionChart}) {
        Streamed s(*setup);
        for (int n = 0; n < 700; ++n) s.Packet(n);
        EXPECT_EQ(PixelsApart(s.FreshPaint(), s.Expected(*setup)), 0) << setup->name;
    }
}

TEST(ChartScreen, UpdatesDrawnTogetherAtAPaintComeOutAsIfDrawnAsEachEnded)
{
    for (const StreamCase& c :
         {StreamCase{kQuorvexChart, 1500, 7}, StreamCase{kPellionChart, 1500, 7}, StreamCase{kPellionChart, 1500, 0}}) {
        Streamed together(c.setup), oneByOne(c.setup);
        together.chart().show();
        for (int n = 0; n < c.packets; ++n) {
            together.Packet(n);
            if (c.pumpEvery > 0 && n % c.pumpEvery == 0) together.Pump();
            oneByOne.Packet(n);
            oneByOne.chart().Flush();
        }
        EXPECT_GT(oneByOne.chart().ScrollCount(), 30) << c.setup.name;
        // Seven traces run across most of the view, pages after the first.
        EXPECT_GT(DrawnPixels(together.chart().Traces()), 4 * c.setup.size.width()) << c.setup.name;
        EXPECT_EQ(PixelsApart(together.chart().Traces(), oneByOne.chart().Traces()), 0) << c.setup.name;
    }
}

TEST(ChartFrames, UpdatesInsideAFrameIntervalAreShownTogetherAtItsEnd)
{
    Streamed s(kQuorvexChart);
    s.chart().SetFrameInterval(1h);
    s.chart().show();
    s.Pump();
    s.Packet(0);
    EXPECT_EQ(PixelsApart(s.Screen(), s.FreshPaint()), 0) << "the first update after a quiet spell is shown at once";
    for (int n = 1; n < 10; ++n) s.Packet(n);
    EXPECT_GT(PixelsApart(s.Screen(), s.FreshPaint()), 0) << "the rest waits for the frame";
    s.chart().PresentFrame();
    EXPECT_EQ(PixelsApart(s.Screen(), s.FreshPaint()), 0);
}

TEST(ChartFrames, APaintBetweenAScrollAndItsFrameShowsWhatTheRestOfTheScreenShows)
{
    Streamed s(kPellionChart);
    s.chart().SetFrameInterval(1h);
    s.chart().show();
    s.Pump();
    for (int n = 0; n < 300; ++n) s.Packet(n);  // past the first page: every packet scrolls
    s.chart().PresentFrame();
    s.Pump();
    s.Packet(300);
    s.Packet(301);
    s.chart().repaint(QRect(40, 40, 30, 30));  // an expose, say, before the scroll's frame
    EXPECT_EQ(PixelsApart(s.Screen(), s.FreshPaint()), 0);
    s.chart().PresentFrame();
    EXPECT_EQ(PixelsApart(s.Screen(), s.Expected(kPellionChart)), 0) << "then the frame shows the scroll";
}

}  // namespace
}  // namespace platform::instruments::test
