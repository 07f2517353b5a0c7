#include "panel_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/link.h"

#include <algorithm>

namespace {

using Bytes = std::vector<uint8_t>;

// The window after start-up against an amplifier that sends only the packets a test queues.
class Stream : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        PlugScripted();
        OpenPanel();
        ClearLog();
    }

    // While packet 0 is being drawn, packets 1 to `more` arrive and are stored unannounced.
    void QueueMoreWhileTheFirstIsDrawn(int more)
    {
        m_chart->onBeginUpdate = [this, more, held = false]() mutable {
            if (held) return;
            held = true;
            for (int n = 1; n <= more; ++n) m_device->queue_in(SamplePacketBytes(uint16_t(n * 32)));
            while (g_packetsStored.load() < uint64_t(more + 1)) std::this_thread::yield();
        };
        m_device->queue_in(SamplePacketBytes(uint16_t(0)));
    }
};

TEST_F(Stream, StartSendsTenTwiceReadsAndStopSendsElevenOnce)
{
    StartStream();
    EXPECT_EQ(Caption(m_dlg->m_scrollSwitch), " STOP");
    EXPECT_FALSE(LedState(m_dlg->m_scrollSwitch));
    FeedPackets(0, 3);
    StopStream();
    EXPECT_EQ(Sequence({.reads = true}), "10; 10; in 68 x4; 11");
    EXPECT_EQ(Commands().back(), Bytes{11});
    EXPECT_EQ(Caption(m_dlg->m_scrollSwitch), "SCROLL");
    EXPECT_TRUE(LedState(m_dlg->m_scrollSwitch));
}

TEST_F(Stream, PowerIsRefusedWhileTheStreamRuns)
{
    StartStream();
    Click(IDC_POWER);
    EXPECT_EQ(m_boxes->texts(), std::vector<std::string>{"Stop SCROLL before turning power off."});
    EXPECT_EQ(Sequence(), "10; 10");
    EXPECT_EQ(m_dlg->m_bPowerOn, 1);
}

TEST_F(Stream, EachPacketBecomesFourColumnsOfSevenStackedTraces)
{
    StartStream();
    DrawPacket(SamplePacketBytes(std::vector<uint16_t>(SAMPLE_VALUE_COUNT, 0)));
    const double offsets[8] = {197602.0, 164835.0, 132068.0, 99301.0, -1, 66534.0, 33767.0, 1000.0};
    ASSERT_EQ(m_chart->columns.size(), 4u);
    for (int f = 0; f < 4; ++f) {
        const RecordingChart::Column& column = m_chart->columns[size_t(f)];
        EXPECT_EQ(column.x, double(f));
        EXPECT_EQ(column.values.size(), 7u);
        EXPECT_EQ(column.values.count(4), 0u);
        for (auto [channel, value] : column.values) EXPECT_EQ(value, offsets[channel]) << channel;
    }
    EXPECT_EQ(m_chart->updates, 1);

    // The calls in the order made: a column, the bracket, then channels 0 to 3 and 5 to 7 of each frame.
    using Call = RecordingChart::Call;
    std::vector<Call> expected{{'A', -1, 0, 0.0}, {'B', -1, -1, 0.0}};
    for (int f = 0; f < 4; ++f) {
        if (f > 0) expected.push_back({'A', -1, f, double(f)});
        for (LONG channel : {0, 1, 2, 3, 5, 6, 7}) expected.push_back({'S', channel, f, offsets[channel]});
    }
    expected.push_back({'E', -1, -1, 0.0});
    ASSERT_EQ(expected.size(), 34u);
    EXPECT_EQ(m_chart->calls, expected);
}

TEST_F(Stream, ValuesAreUnsignedAndComeFromTheirFrameAndChannel)
{
    StartStream();
    DrawPacket(SamplePacketBytes(uint16_t(0xFF00)));
    EXPECT_EQ(m_chart->columns[2].values[6], double(0xFF00 + 2 * 8 + 6) + 33767.0);
    EXPECT_EQ(m_chart->columns[3].values[0], double(0xFF00 + 24) + 197602.0);
}

TEST_F(Stream, RingWrapsAfter256AndThe257thPacketGoesToSlotZero)
{
    m_dlg->m_modeCode = 5;
    StartStream();
    FeedOneRing();
    EXPECT_EQ(g_ringReadIndex, 0);
    FeedPackets(256, 1);
    EXPECT_EQ(g_sampleRing[0][0].load(), LONG(Value(256, 0)));
    EXPECT_EQ(g_ringReadIndex, 1);
    ASSERT_EQ(m_chart->PacketsDrawn(), 257u);
    for (size_t n = 0; n < 257; ++n) {
        ASSERT_EQ(m_chart->columns[4 * n].x, double(4 * n));
        ASSERT_EQ(m_chart->columns[4 * n].values[0], Value(int(n), 0) + 197602.0) << "packet " << n;
    }
}

TEST_F(Stream, BarsRefreshOnThe21stUpdateInZtestThenEvery20th)
{
    TurnRotary(IDC_MODE, 2);
    // A level no packet carries, and packets whose values differ from update to update: a refresh
    // on any update but the 21st, 41st, ... shows.
    for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) bar.SetLevel(7.5);
    StartStream();
    FeedPackets(0, 20);
    for (CLedBarCtrl& bar : m_dlg->m_impedanceBars) EXPECT_NE(Level(bar), Value(19, 0));
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Level(m_dlg->m_impedanceBars[k]), 7.5) << k;
    FeedPackets(20, 1);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Level(m_dlg->m_impedanceBars[k]), Value(20, k)) << k;
    FeedPackets(21, 19);
    EXPECT_EQ(Level(m_dlg->m_impedanceBars[4]), Value(20, 4));
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Level(m_dlg->m_impedanceBars[k]), Value(20, k)) << k;
    FeedPackets(40, 1);
    EXPECT_EQ(Level(m_dlg->m_impedanceBars[4]), Value(40, 4));
    for (int k = 0; k < 5; ++k) EXPECT_EQ(Level(m_dlg->m_impedanceBars[k]), Value(40, k)) << k;
}

TEST_F(Stream, BarRefreshAtTheWrapShowsSlot255)
{
    m_dlg->m_modeCode = 5;
    StartStream();
    FeedOneRing(true);
    EXPECT_EQ(g_ringReadIndex, 0);
    EXPECT_EQ(Level(m_dlg->m_impedanceBars[0]), Value(255, 0));
}

TEST_F(Stream, RestartedStreamContinuesTheChartAtTheNextX)
{
    StartStream();
    FeedPackets(0, 2);
    StopStream();
    Pump();
    size_t drawn = m_chart->columns.size();
    StartStream();
    EXPECT_EQ(g_ringReadIndex, 0);
    FeedPackets(5, 1);
    ASSERT_EQ(m_chart->columns.size(), drawn + 4);
    EXPECT_EQ(m_chart->columns[drawn].x, double(drawn));
    EXPECT_EQ(m_chart->columns[drawn].values[1], Value(5, 1) + 164835.0);  // the new stream fills slot 0
}

TEST_F(Stream, RestartRightAfterStopWaitsForTheOldWorker)
{
    StartStream();
    FeedPackets(0, 1);
    Click(IDC_SCROLL);  // stop: the worker is still inside its read
    Click(IDC_SCROLL);  // start again at once
    PumpUntil([&] { return Commands().size() >= 5; });
    EXPECT_EQ(Sequence(), "10; 10; 11; 10; 10");
    FeedPackets(1, 1);
    StopStream();
    EXPECT_EQ(Sequence(), "10; 10; 11; 10; 10; 11");
}

class StreamBurst : public Stream, public testing::WithParamInterface<int> {};

// Up to 255 slots waiting, none has been overwritten: every one is drawn.
TEST_P(StreamBurst, BusyWindowCatchesUpDrawingEveryPacketOnceInOrder)
{
    const int more = GetParam();
    StartStream();
    QueueMoreWhileTheFirstIsDrawn(more);
    PumpUntil([&] { return m_chart->PacketsDrawn() == size_t(more + 1); });
    Pump();
    ASSERT_EQ(m_chart->PacketsDrawn(), size_t(more + 1));
    for (size_t n = 0; n <= size_t(more); ++n) {
        ASSERT_EQ(m_chart->columns[4 * n].values[0], Value(int(n), 0) + 197602.0) << n;
        ASSERT_EQ(m_chart->columns[4 * n + 3].values[7], Value(int(n), 31) + 1000.0) << n;
    }
    EXPECT_EQ(m_dlg->RingReader().skipped(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Waiting, StreamBurst, testing::Values(9, 128, 200, 254, 255));

class StreamOverrun : public Stream, public testing::WithParamInterface<int> {};

// 256 waiting: the oldest undrawn slot is the worker's next; beyond, slots are already overwritten.
TEST_P(StreamOverrun, WindowThatCannotKeepUpDropsToTheNewestPacket)
{
    const int behind = GetParam();
    StartStream();
    QueueMoreWhileTheFirstIsDrawn(behind);
    PumpUntil([&] { return m_chart->PacketsDrawn() == 2; });
    Pump();
    ASSERT_EQ(m_chart->PacketsDrawn(), 2u);
    EXPECT_EQ(m_chart->columns[4].values[0], Value(behind, 0) + 197602.0);
    EXPECT_EQ(m_dlg->RingReader().skipped(), uint64_t(behind - 1));
}

INSTANTIATE_TEST_SUITE_P(Waiting, StreamOverrun, testing::Values(256, 300));

// The Quorvex window counting the WM_SAMPLES_READY it receives.
class CountingQuorvexDlg : public CQuorvexDlg {
public:
    int samplesReady = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SAMPLES_READY) ++samplesReady;
        return CQuorvexDlg::WindowProc(message, wParam, lParam);
    }
};

class ShortRead : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        PlugScripted();
        auto dlg = std::make_unique<CountingQuorvexDlg>();
        m_counting = dlg.get();
        m_dlg = std::move(dlg);
        m_dlg->Create(IDD_MAIN);
        m_chart = new RecordingChart;
        m_dlg->m_chart = platform::com::ComPtr<IStripChart>(m_chart);
        ClearLog();
    }
    CountingQuorvexDlg* m_counting = nullptr;
};

TEST_F(ShortRead, A67ByteReadWhileStreamingStoresAndPostsNothing)
{
    StartStream();
    Pump();
    const int messages = m_counting->samplesReady;
    Bytes shortPacket = SamplePacketBytes(uint16_t(100));
    shortPacket.pop_back();
    ASSERT_EQ(shortPacket.size(), 67u);
    m_device->queue_in(shortPacket);
    // The worker has taken the short packet and waits in its next read.
    PumpUntil([&] { return Sequence({.reads = true}) == "10; 10; in 67" && m_device->pending_reads() == 1; });
    Pump();
    EXPECT_EQ(g_packetsStored.load(), 0u);
    EXPECT_EQ(m_counting->samplesReady, messages);
    EXPECT_TRUE(m_chart->calls.empty());
    for (int i = 0; i < SAMPLE_VALUE_COUNT; ++i) ASSERT_EQ(g_sampleRing[0][i].load(), 0) << i;

    // The next whole packet goes to slot 0: the write index did not move.
    DrawPacket(SamplePacketBytes(uint16_t(200)));
    EXPECT_EQ(g_packetsStored.load(), 1u);
    EXPECT_EQ(m_counting->samplesReady, messages + 1);
    EXPECT_EQ(g_sampleRing[0][0].load(), 200);
    EXPECT_EQ(g_sampleRing[0][31].load(), 231);
    EXPECT_EQ(g_sampleRing[1][0].load(), 0);
    EXPECT_EQ(m_chart->columns[0].values[0], 200.0 + 197602.0);
}

TEST_F(Stream, FailedChartCallSkipsTheRestButFreesTheWorker)
{
    StartStream();
    m_chart->failCall = 5;  // packet 0: AddColumn, BeginUpdate, then the fourth SetChannelValue
    m_device->queue_in(SamplePacketBytes(uint16_t(0)));
    PumpUntil([&] { return m_dlg->RingReader().drawn() == 1; });
    EXPECT_EQ(m_chart->columns.size(), 1u);
    EXPECT_EQ(g_chartBusy.load(), 0);
    EXPECT_EQ(m_chart->updates, 0);
    FeedPackets(1, 1);
    EXPECT_EQ(m_chart->updates, 1);
    EXPECT_EQ(m_chart->columns.back().values[7], Value(1, 31) + 1000.0);
}

TEST_F(Stream, MessageAfterTheStopStillDrawsItsSlot)
{
    StartStream();
    g_chartBusy.store(1);  // the window is busy: packets are stored, not announced
    m_device->queue_in(SamplePacketBytes(uint16_t(64)));
    PumpUntil([&] { return g_packetsStored.load() == 1; });
    g_chartBusy.store(0);
    Click(IDC_SCROLL);
    m_dlg->PostMessage(WM_SAMPLES_READY);
    Pump();
    EXPECT_EQ(m_chart->PacketsDrawn(), 1u);
}

// Against the amplifier model, which streams for as long as it is read.
class LiveStream : public StartedPanelTest {
protected:
    // SCROLL on, until the window has drawn a few packets.
    void StartDrawing()
    {
        Click(IDC_SCROLL);
        PumpUntil([&] { return m_chart->PacketsDrawn() >= 8; });
    }

    size_t IndexOf(const Bytes& command) const
    {
        auto commands = Commands();
        return size_t(std::find(commands.begin(), commands.end(), command) - commands.begin());
    }
};

TEST_F(LiveStream, ExitStopsTheWorkerBeforePowerOff)
{
    StartDrawing();
    ClickButton(IDOK);
    EXPECT_FALSE(StreamWorkerAlive());
    auto commands = Commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[commands.size() - 2], Bytes{11});
    EXPECT_EQ(commands.back(), Bytes{2});
    EXPECT_EQ(Waits(), (std::vector<uint32_t>{500, 500}));
    // The first wait comes before power-off; the worker's 11 may be logged either side of it.
    std::string sequence = Sequence();
    bool stopThenWait = sequence.ends_with("; 11; wait 500; 2; wait 500");
    bool waitThenStop = sequence.ends_with("; wait 500; 11; 2; wait 500");
    EXPECT_TRUE(stopThenWait || waitThenStop) << sequence;
    // A packet the amplifier was handing over while the read was aborted may be logged late;
    // of what the program did, the wait after power-off comes last.
    auto entries = m_device->log().entries();
    auto last = std::find_if(entries.rbegin(), entries.rend(),
                             [](const sim::WireEntry& e) { return e.kind != sim::WireEntry::Kind::in; });
    ASSERT_NE(last, entries.rend());
    EXPECT_EQ(last->kind, sim::WireEntry::Kind::wait);
    EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(m_dlg->m_nModalResult, IDOK);
    EXPECT_FALSE(m_amplifier->state().powered);
}

TEST_F(LiveStream, ExitWithAnAmplifierThatStoppedAnsweringDoesNotWaitForTheTimeLimit)
{
    // Far beyond the test's own time limit: only the abort can end the worker's read.
    g_device.load()->bulkInEndPoint->timeoutMs = 3600 * 1000;
    StartDrawing();
    m_amplifier->set_fault(sim::Fault::no_answer, true);
    PumpUntil([&] { return m_device->pending_reads() == 1; });
    ClickButton(IDOK);
    EXPECT_FALSE(StreamWorkerAlive());
    EXPECT_LT(IndexOf({11}), IndexOf({2}));
    EXPECT_EQ(Commands().back(), Bytes{2});
    EXPECT_EQ(m_device->pending_reads(), 0u);
}

TEST_F(LiveStream, EscStillStopsTheWorkerWhichSendsItsStop)
{
    StartDrawing();
    platform::afx::testing::PressKey(m_dlg.get(), VK_ESCAPE);
    Pump();
    m_dlg.reset();
    EXPECT_FALSE(StreamWorkerAlive());
    EXPECT_EQ(Commands().back(), Bytes{11});
}

}  // namespace
