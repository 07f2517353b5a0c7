// Told to end from outside (a signal, the display gone) the program ends as EXIT ends it: the
// worker's stop before power-off, the waits, the device closed, no worker left.
#include "panel_fixture.h"

#include "acquisition/stream_worker.h"
#include "amp/commands.h"
#include "amp/link.h"
#include "platform/afx/session_end.h"
#include "ui/about_dlg.h"

#include <csignal>

namespace {

using Bytes = std::vector<uint8_t>;

class SessionEnd : public StartedPanelTest {
protected:
    void SetUp() override
    {
        StartedPanelTest::SetUp();
        // As a program started from a terminal has them, whatever the test runner left.
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) std::signal(sig, SIG_DFL);
        platform::afx::WatchForSessionEnd([this] { ++m_atEndRuns; });
        AfxGetApp()->m_pMainWnd = m_dlg.get();
    }
    void TearDown() override
    {
        AfxGetApp()->m_pMainWnd = nullptr;
        platform::afx::StopWatchingForSessionEnd();
        StartedPanelTest::TearDown();
    }

    void StartDrawing()
    {
        Click(IDC_SCROLL);
        PumpUntil([&] { return m_chart->PacketsDrawn() >= 4; });
    }

    // What EXIT while streaming leaves on the wire and in the window.
    void ExpectEndedAsExitDoes()
    {
        EXPECT_FALSE(StreamWorkerAlive());
        auto commands = Commands();
        ASSERT_GE(commands.size(), 4u);
        EXPECT_EQ(commands[commands.size() - 2], Bytes{0x0b});
        EXPECT_EQ(commands.back(), Bytes{0x02});
        EXPECT_EQ(Waits(), (std::vector<uint32_t>{500, 500}));
        EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(m_dlg->m_nModalResult, IDOK);
        EXPECT_FALSE(m_amplifier->state().powered);
    }

    int m_atEndRuns = 0;
};

class SessionEndBySignal : public SessionEnd, public testing::WithParamInterface<int> {};

TEST_P(SessionEndBySignal, WhileStreamingStopsTheWorkerThenPowersOffAndEnds)
{
    StartDrawing();
    std::raise(GetParam());
    PumpUntil([&] { return m_dlg->m_nModalResult == IDOK; });
    ExpectEndedAsExitDoes();
    EXPECT_EQ(m_atEndRuns, 0) << "only a lost display ends the process by itself";
}

INSTANTIATE_TEST_SUITE_P(TermIntHup, SessionEndBySignal, testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST_F(SessionEnd, ASecondSignalDoesNotShutDownTwice)
{
    std::raise(SIGTERM);
    std::raise(SIGTERM);
    PumpUntil([&] { return m_dlg->m_nModalResult == IDOK; });
    Pump();
    EXPECT_EQ(Sequence(), "2; wait 500");
}

TEST_F(SessionEnd, SignalWhileTheAboutBoxIsOpenEndsTheBoxAndTheProgram)
{
    bool boxWasOpen = false;
    platform::afx::testing::RunInNextModalLoop([&] {
        boxWasOpen = dynamic_cast<CAbout*>(platform::afx::testing::ActiveModalDialog()) != nullptr;
        std::raise(SIGTERM);
    });
    ClickButton(IDC_ABOUT);
    EXPECT_TRUE(boxWasOpen);
    EXPECT_EQ(platform::afx::testing::ModalDepth(), 0);
    EXPECT_EQ(m_dlg->m_nModalResult, IDOK);
    EXPECT_EQ(Sequence(), "21; 2; wait 500");
}

TEST_F(SessionEnd, LostDisplayWhileStreamingEndsInOrderThenTheProcessWithStatusZero)
{
    StartDrawing();
    std::vector<int> statuses;
    platform::afx::testing::BreakDisplayConnection([&](int status) {
        // Where the process ends: everything is done by then.
        EXPECT_FALSE(StreamWorkerAlive());
        EXPECT_EQ(Commands().back(), Bytes{0x02});
        statuses.push_back(status);
    });
    EXPECT_EQ(statuses, std::vector<int>{0});
    EXPECT_EQ(m_atEndRuns, 1);
    ExpectEndedAsExitDoes();
}

TEST_F(SessionEnd, LostDisplayWhileIdleSendsPowerOffAndCloses)
{
    int status = -1;
    platform::afx::testing::BreakDisplayConnection([&](int s) { status = s; });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Sequence(), "2; wait 500");
    EXPECT_EQ(g_device.load()->driverHandle, INVALID_HANDLE_VALUE);
}

TEST_F(SessionEnd, EscStillEndsWithoutShutdown)
{
    platform::afx::testing::PressKey(m_dlg.get(), VK_ESCAPE);
    Pump();
    EXPECT_EQ(m_dlg->m_nModalResult, IDCANCEL);
    EXPECT_EQ(Sequence(), "");
}

}  // namespace
