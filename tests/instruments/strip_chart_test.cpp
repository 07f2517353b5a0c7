#include "tests/instruments/instrument_fixture.h"

namespace platform::instruments::test {
namespace {

const char* const kChannels =
    "ch1,64,0,1;ch2,0,0,1;ch3,0,0,1;ch4,0,0,1;ch5,255,0,0;ch6,16711680,0,0;ch7,16711680,0,0;ch8,16711680,0,0";

const double kOffsets[8] = {197602.0, 164835.0, 132068.0, 99301.0, 0.0, 66534.0, 33767.0, 1000.0};

class ChartTest : public ::testing::Test {
protected:
    com::PropertyBag bag = {{"XAxisMax", 1024.0},
                            {"YAxisMax", 270000.0},
                            {"AutoScrollType", std::string("scrollPage")},
                            {"AutoScrollStepSize", 128.0},
                            {"Channels", std::string(kChannels)}};
    Hosted<StripChart> host{bag, QSize(811, 300)};
    IStripChart* chart = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(host.dispatch->QueryInterface(IID_IStripChart, reinterpret_cast<void**>(&chart)), S_OK);
    }
    void TearDown() override
    {
        if (chart) chart->Release();
    }
    LONG Add(double x)
    {
        LONG index = 0;
        EXPECT_EQ(chart->AddColumn(x, &index), S_OK);
        return index;
    }
    // One packet as the main window draws it: seven traces, trace 4 left out.
    void Packet(double& x, double value)
    {
        chart->BeginUpdate();
        for (int f = 0; f < 4; ++f) {
            const LONG col = Add(x);
            for (int c : {0, 1, 2, 3, 5, 6, 7}) EXPECT_EQ(chart->SetChannelValue(c, col, value + kOffsets[c]), S_OK);
            x += 1.0;
        }
        chart->EndUpdate();
    }
    int PixelsOf(QColor colour)
    {
        const QImage& img = host.widget->Traces();
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) == colour) ++n;
        return n;
    }
};

TEST_F(ChartTest, ColumnsAreNumberedFromZeroInTheOrderAdded)
{
    EXPECT_EQ(Add(0.0), 0);
    EXPECT_EQ(Add(1.0), 1);
    EXPECT_EQ(Add(2.0), 2);
    EXPECT_EQ(chart->SetChannelValue(7, 1, 5.0), S_OK);
    EXPECT_TRUE(host.widget->HasValue(7, 1));
    EXPECT_FALSE(host.widget->HasValue(7, 0));
}

TEST_F(ChartTest, BadChannelsAndColumnsFailWithANegativeResult)
{
    const LONG col = Add(0.0);
    EXPECT_LT(chart->SetChannelValue(-1, col, 1.0), 0);
    EXPECT_LT(chart->SetChannelValue(8, col, 1.0), 0);
    EXPECT_LT(chart->SetChannelValue(0, col + 1, 1.0), 0);  // not added yet
    EXPECT_LT(chart->SetChannelValue(0, -1, 1.0), 0);
    EXPECT_LT(chart->AddColumn(1.0, nullptr), 0);
    EXPECT_EQ(chart->SetChannelValue(0, col, 1.0), S_OK);
}

TEST_F(ChartTest, ColumnsLongScrolledAwayAreForgotten)
{
    for (int i = 0; i < 5000; ++i) Add(double(i));
    EXPECT_GT(host.widget->FirstKeptColumn(), 0);
    EXPECT_LT(chart->SetChannelValue(0, 0, 1.0), 0);
    EXPECT_EQ(chart->SetChannelValue(0, 4999, 1.0), S_OK);
}

TEST_F(ChartTest, PassingTheRightEdgeJumpsByTheStepSize)
{
    for (int i = 0; i < 1024; ++i) Add(double(i));
    EXPECT_EQ(host.widget->ViewStart(), 0.0);
    Add(1024.0);
    EXPECT_EQ(host.widget->ViewStart(), 128.0);
    Add(1151.0);
    EXPECT_EQ(host.widget->ViewStart(), 128.0);
    Add(1152.0);
    EXPECT_EQ(host.widget->ViewStart(), 256.0);
    Add(1700.0);  // a leap: as many steps as it takes
    EXPECT_EQ(host.widget->ViewStart(), 768.0);
}

struct ScrollCase {
    const char* type;
    double step;
    double x;
    double viewStart;
};

TEST(ChartScrolling, TheStepSizeAndScrollTypeDecideTheJump)
{
    const ScrollCase cases[] = {
        {"scrollPage", 128.0, 1023.0, 0.0}, {"scrollPage", 128.0, 1024.0, 128.0},
        {"scrollPage", 1.0, 1030.5, 7.0},   {"scrollPage", 0.0, 1024.0, 1024.0},  // no step: a whole page
        {"scrollNone", 128.0, 5000.0, 0.0},
    };
    for (const ScrollCase& c : cases) {
        Hosted<StripChart> host(
            {{"XAxisMax", 1024.0}, {"AutoScrollType", std::string(c.type)}, {"AutoScrollStepSize", c.step}},
            QSize(300, 100));
        host.widget->AddColumn(c.x);
        EXPECT_EQ(host.widget->ViewStart(), c.viewStart) << c.type << " step " << c.step << " x " << c.x;
    }
}

TEST_F(ChartTest, AScrollMovesTheDrawnTracesLeft)
{
    double x = 1000.0;
    Add(0.0);
    Packet(x, 0.0);  // x 1000 to 1003, near the right edge
    const QImage before = host.widget->Traces().copy();
    const int scrollsBefore = host.widget->ScrollCount();
    LONG col = Add(1024.0);  // one step of 128 to the left
    chart->SetChannelValue(0, col, 0.0);
    const QImage& after = host.widget->Traces();
    EXPECT_EQ(host.widget->ScrollCount(), scrollsBefore + 1);
    const int shift = int(128.0 * before.width() / 1024.0);
    int moved = 0;
    for (int yy = 0; yy < before.height(); ++yy)
        for (int xx = shift; xx < before.width() - 8; ++xx)
            if (before.pixelColor(xx, yy).alpha() && after.pixelColor(xx - shift, yy) == before.pixelColor(xx, yy))
                ++moved;
    EXPECT_GT(moved, 7 * 2);
}

TEST_F(ChartTest, AllZeroPacketLiesOnTheOffsetsAndTraceFourStaysEmpty)
{
    double x = 0.0;
    Packet(x, 0.0);
    EXPECT_EQ(host.widget->ColumnCount(), 4);
    for (int col = 0; col < 4; ++col) EXPECT_FALSE(host.widget->HasValue(4, col));
    EXPECT_EQ(PixelsOf(QColor(255, 0, 0)), 0) << "ch5 is red and was never given a value";
    const QImage& img = host.widget->Traces();
    const int row = int(std::lround((1.0 - 1000.0 / 270000.0) * (img.height() - 1)));
    EXPECT_EQ(img.pixelColor(1, row), QColor(0, 0, 255)) << "ch8, the bottom trace, at its offset";
    const int top = int(std::lround((1.0 - 197602.0 / 270000.0) * (img.height() - 1)));
    EXPECT_EQ(img.pixelColor(1, top), QColor(64, 0, 0)) << "ch1, the top trace";
}

TEST_F(ChartTest, UpdatesAreDrawnAtEndUpdateOnly)
{
    chart->BeginUpdate();
    const LONG col = Add(10.0);
    chart->SetChannelValue(0, col, 100000.0);
    chart->SetChannelValue(0, Add(11.0), 100000.0);
    chart->EndUpdate();
    EXPECT_GT(PixelsOf(QColor(64, 0, 0)), 0);
}

TEST_F(ChartTest, RepaintsReuseTheCachedGrid)
{
    double x = 0.0;
    Packet(x, 5.0);
    QImage target(host.widget->size(), QImage::Format_ARGB32_Premultiplied);
    host.widget->render(&target);
    const int renders = host.widget->ArtRenderCount();
    for (int i = 0; i < 5; ++i) {
        Packet(x, 5.0);
        host.widget->render(&target);
    }
    EXPECT_EQ(host.widget->ArtRenderCount(), renders);
}

}  // namespace
}  // namespace platform::instruments::test
