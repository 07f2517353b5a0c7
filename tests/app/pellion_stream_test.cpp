#include "pellion_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/link.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The powered window against a Pellion that sends only the packets a test queues.
class PellionStream : public PellionTest {
protected:
    void SetUp() override
    {
        PellionTest::SetUp();
        PlugScriptedPellion();
        m_device->queue_in(VersionReplyBytes(11, 23, 0, 0));
        OpenPellion();
        ClickWithMouse(IDC_POWER);
        ClearLog();
    }
};

TEST_F(PellionStream, StartSendsTenTwiceAndStopSendsElevenAsOneByte)
{
    StartStream();
    FeedPackets(0, 2);
    StopStream();
    EXPECT_EQ(Sequence({.reads = true}), "10; 10; in 68 x3; 11");
    EXPECT_EQ(Commands().back(), Bytes{11});
}

TEST_F(PellionStream, StartFillsEveryValueOfTheRingWithNine)
{
    g_sampleRing[17][3].store(1234);
    StartStream();
    for (int slot : {0, 17, 255})
        for (int i : {0, 3, 31}) EXPECT_EQ(g_sampleRing[slot][i].load(), 9) << slot << "/" << i;
    StopStream();
}

TEST_F(PellionStream, EachPacketBecomesFourColumnsOfFourTracesInTheirOrder)
{
    StartStream();
    DrawPacket(SamplePacketBytes(uint16_t(0xFF00)));
    const std::map<LONG, double> offsets = {{0, 195605.0}, {1, 130070.0}, {5, 64535.0}, {6, 1000.0}};
    ASSERT_EQ(m_chart->columns.size(), 4u);
    for (int f = 0; f < 4; ++f) {
        const RecordingChart::Column& column = m_chart->columns[size_t(f)];
        EXPECT_EQ(column.x, double(f));
        ASSERT_EQ(column.values.size(), 4u);
        for (auto [channel, offset] : offsets)
            EXPECT_EQ(column.values.at(channel), double(0xFF00 + 8 * f + channel) + offset) << f << "/" << channel;
    }
    EXPECT_EQ(m_chart->updates, 1);

    // The calls in the order made: a column, the bracket, then channels 0, 5, 1 and 6 of each frame.
    using Call = RecordingChart::Call;
    const std::pair<LONG, double> traces[] = {{0, 195605.0}, {5, 64535.0}, {1, 130070.0}, {6, 1000.0}};
    std::vector<Call> expected{{'A', -1, 0, 0.0}, {'B', -1, -1, 0.0}};
    for (int f = 0; f < 4; ++f) {
        if (f > 0) expected.push_back({'A', -1, f, double(f)});
        for (auto [channel, offset] : traces)
            expected.push_back({'S', channel, f, double(0xFF00 + 8 * f + channel) + offset});
    }
    expected.push_back({'E', -1, -1, 0.0});
    ASSERT_EQ(expected.size(), 22u);
    EXPECT_EQ(m_chart->calls, expected);
    StopStream();
}

TEST_F(PellionStream, RingWrapsAndTheBarsThenShowChannelsZeroToThreeOfSlot255)
{
    TurnRotary(IDC_MODE, 2);
    StartStream();
    FeedOneRing(true);
    EXPECT_EQ(g_ringReadIndex, 0);
    for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k)
        EXPECT_EQ(Level(m_pellion->m_impedanceBars[k]), Value(255, k)) << k;
    FeedPackets(256, 1);
    EXPECT_EQ(g_sampleRing[0][0].load(), LONG(Value(256, 0)));
    EXPECT_EQ(g_ringReadIndex, 1);
    StopStream();
}

TEST_F(PellionStream, BarsRefreshOnThe21stUpdateInZtest)
{
    TurnRotary(IDC_MODE, 2);
    EXPECT_EQ(Level(m_pellion->m_impedanceBars[0]), 0.0);
    // A level no packet carries: the bars must keep it for 20 updates (packet 0's channel 0 is
    // 0, the level the mode change leaves, so it alone would not tell).
    for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) m_pellion->m_impedanceBars[k].SetLevel(7.5);
    StartStream();
    FeedPackets(0, 20);
    for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) EXPECT_EQ(Level(m_pellion->m_impedanceBars[k]), 7.5) << k;
    FeedPackets(20, 1);
    for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) EXPECT_EQ(Level(m_pellion->m_impedanceBars[k]), Value(20, k)) << k;
    FeedPackets(21, 19);
    for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) EXPECT_EQ(Level(m_pellion->m_impedanceBars[k]), Value(20, k)) << k;
    FeedPackets(40, 1);
    for (int k = 0; k < PELLION_IMPEDANCE_BARS; ++k) EXPECT_EQ(Level(m_pellion->m_impedanceBars[k]), Value(40, k)) << k;
    StopStream();
}

TEST_F(PellionStream, PowerClickWhileStreamingIsRefused)
{
    StartStream();
    ClearLog();
    ASSERT_TRUE(LedState(m_pellion->m_powerSwitch));
    ClickWithMouse(IDC_POWER);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Stop SCROLL before turning power off."});
    EXPECT_EQ(m_pellion->m_bPowerOn, 1);
    EXPECT_TRUE(LedState(m_pellion->m_powerSwitch)) << "the power is still on";
    StopStream();
    EXPECT_EQ(Sequence(), "11");
}

TEST_F(PellionStream, ExitWhileStreamingWaitsOneSecondAndTheWorkerStopsBeforePowerOff)
{
    StartStream();
    FeedPackets(0, 1);
    ClearLog();
    ClickButton(IDOK);
    EXPECT_FALSE(StreamWorkerAlive());
    EXPECT_EQ(Sequence(), "wait 1000; 11; 2");
    EXPECT_EQ(m_pellion->m_nModalResult, IDOK);
}

}  // namespace
