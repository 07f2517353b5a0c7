// Messages posted from another thread reach their handler on the user-interface thread, in
// order, with everything the poster wrote before posting visible to the handler; worker threads
// started by the framework are joined by it.
#include "platform/afx/afxwin.h"
#include "platform/afx/testing.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

using namespace platform::afx;
namespace afxt = platform::afx::testing;

namespace {

constexpr UINT kTemplate = 530;
constexpr UINT WM_SAMPLES_READY = WM_USER + 10;
constexpr UINT WM_QUESTION = WM_USER + 11;

// Written by the worker without a lock, read by the handler: the post is the hand-over.
std::array<int32_t, 68> g_slot;
std::thread::id g_uiThread;

const DialogTemplate& Template()
{
    static const DialogTemplate t = [] {
        DialogTemplate d;
        d.caption = "Posted";
        d.cx = 50;
        d.cy = 20;
        return d;
    }();
    return t;
}

class CReceiverDlg : public CDialog {
public:
    CReceiverDlg() : CDialog(kTemplate) {}
    std::vector<LPARAM> m_seen;
    std::vector<int32_t> m_firstValues;
    bool m_onUiThread = true;

    afx_msg LRESULT OnSamplesReady(WPARAM, LPARAM lParam)
    {
        m_onUiThread = m_onUiThread && std::this_thread::get_id() == g_uiThread;
        m_seen.push_back(lParam);
        m_firstValues.push_back(g_slot[0]);
        return 0;
    }
    afx_msg LRESULT OnQuestion(WPARAM w, LPARAM)
    {
        m_onUiThread = m_onUiThread && std::this_thread::get_id() == g_uiThread;
        return LRESULT(w * 2);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CReceiverDlg, CDialog)
ON_MESSAGE(WM_SAMPLES_READY, &CReceiverDlg::OnSamplesReady)
ON_MESSAGE(WM_QUESTION, &CReceiverDlg::OnQuestion)
END_MESSAGE_MAP()

struct WorkerArgs {
    HWND target;
};

UINT PostOneSlot(LPVOID p)
{
    auto* args = static_cast<WorkerArgs*>(p);
    for (size_t i = 0; i < g_slot.size(); ++i) g_slot[i] = int32_t(1000 + i);
    ::PostMessage(args->target, WM_SAMPLES_READY, 0, 1);
    return 0;
}

class PostedMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_uiThread = std::this_thread::get_id();
        AfxRegisterDialogTemplate(kTemplate, &Template());
        ASSERT_TRUE(m_dlg.Create(kTemplate));
    }
    void TearDown() override { afxt::JoinWorkerThreads(); }
    CReceiverDlg m_dlg;
};

TEST_F(PostedMessageTest, PostFromAWorkerCarriesWhatWasWrittenBeforeIt)
{
    WorkerArgs args{m_dlg.m_hWnd};
    ASSERT_NE(AfxBeginThread(PostOneSlot, &args), nullptr);
    afxt::JoinWorkerThreads();
    EXPECT_TRUE(m_dlg.m_seen.empty());  // nothing runs before the UI thread takes its messages
    afxt::PumpMessages();
    ASSERT_EQ(m_dlg.m_seen.size(), 1u);
    EXPECT_EQ(m_dlg.m_firstValues[0], 1000);
    EXPECT_TRUE(m_dlg.m_onUiThread);
}

TEST_F(PostedMessageTest, HandOverIsOrderedWhileTheUiThreadRuns)
{
    // The worker waits for each message to be handled before it rewrites the slot, as the
    // streaming worker's busy flag makes it do; ThreadSanitizer checks the ordering.
    struct Shared {
        HWND target;
        std::atomic<int> handled{0};
    } shared{m_dlg.m_hWnd};
    constexpr int kRounds = 50;
    std::thread worker([&] {
        for (int i = 0; i < kRounds; ++i) {
            while (shared.handled.load(std::memory_order_acquire) < i) std::this_thread::yield();
            g_slot[0] = 5000 + i;
            ::PostMessage(shared.target, WM_SAMPLES_READY, 0, i);
        }
    });
    while (int(m_dlg.m_seen.size()) < kRounds) {
        afxt::PumpMessages();
        shared.handled.store(int(m_dlg.m_seen.size()), std::memory_order_release);
    }
    worker.join();
    for (int i = 0; i < kRounds; ++i) {
        EXPECT_EQ(m_dlg.m_seen[size_t(i)], i);
        EXPECT_EQ(m_dlg.m_firstValues[size_t(i)], 5000 + i);
    }
}

TEST_F(PostedMessageTest, SendFromAnotherThreadWaitsForTheHandlersResult)
{
    std::atomic<LRESULT> answer{0};
    std::atomic<bool> done{false};
    std::thread asker([&] {
        answer = ::SendMessage(m_dlg.m_hWnd, WM_QUESTION, 21, 0);
        done = true;
    });
    while (!done) afxt::PumpMessages();
    asker.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_TRUE(m_dlg.m_onUiThread);
}

TEST_F(PostedMessageTest, AStreamOfPostsIsHandledInRoundsInOrderWhileASendIsAnswered)
{
    afxt::PumpMessages();
    constexpr int kPosts = 40;
    std::atomic<LRESULT> answer{0};
    std::thread worker([&] {
        for (int i = 0; i < kPosts; ++i) {
            ::PostMessage(m_dlg.m_hWnd, WM_SAMPLES_READY, 0, i);
            if (i == kPosts / 2) answer = ::SendMessage(m_dlg.m_hWnd, WM_QUESTION, 21, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const size_t roundsBefore = afxt::MessageRounds();
    QEventLoop loop;
    QTimer check;
    check.callOnTimeout([&] {
        if (m_dlg.m_seen.size() == size_t(kPosts)) loop.quit();
    });
    check.start(5);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    ASSERT_EQ(m_dlg.m_seen.size(), size_t(kPosts));
    for (int i = 0; i < kPosts; ++i) EXPECT_EQ(m_dlg.m_seen[size_t(i)], i);
    EXPECT_EQ(answer.load(), 42);
    EXPECT_TRUE(m_dlg.m_onUiThread);
    // Each post waking the thread on its own would make a round per post.
    EXPECT_LT(afxt::MessageRounds() - roundsBefore, size_t(kPosts / 2));
}

TEST_F(PostedMessageTest, PostToAWindowThatIsGoneFails)
{
    HWND gone = m_dlg.m_hWnd;
    EXPECT_TRUE(::PostMessage(gone, WM_SAMPLES_READY, 0, 9));
    m_dlg.DestroyWindow();
    afxt::PumpMessages();
    EXPECT_TRUE(m_dlg.m_seen.empty());  // queued before the window went: dropped with it
    SetLastError(0);
    EXPECT_FALSE(::PostMessage(gone, WM_SAMPLES_READY, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(IsWindow(gone));
}

UINT WaitForGate(LPVOID p)
{
    static_cast<std::atomic<int>*>(p)->fetch_add(1);
    return 0;
}

TEST_F(PostedMessageTest, SuspendedThreadRunsOnlyWhenResumed)
{
    std::atomic<int> ran{0};
    CWinThread* t = AfxBeginThread(WaitForGate, &ran, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(ran.load(), 0);
    t->ResumeThread();
    afxt::JoinWorkerThreads();
    EXPECT_EQ(ran.load(), 1);
}

TEST_F(PostedMessageTest, JoinEndsEveryWorkerStillAlive)
{
    std::atomic<int> ran{0};
    for (int i = 0; i < 4; ++i) AfxBeginThread(WaitForGate, &ran);
    afxt::JoinWorkerThreads();
    EXPECT_EQ(ran.load(), 4);
}

}  // namespace
