// Posted and cross-thread sent messages. Any thread may queue; only the user-interface thread
// handles. The queue is guarded by our own mutex so that what a worker wrote before posting is
// visible to the handler (and ThreadSanitizer sees the hand-over); Qt is used only to wake the
// user-interface thread.
#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimerEvent>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <shared_mutex>

namespace platform::afx::detail {
namespace {

// A SendMessage from another thread waits on this until the user-interface thread has handled it.
struct SendWait {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    LRESULT result = 0;

    void Complete(LRESULT r)
    {
        std::lock_guard lock(mutex);
        result = r;
        done = true;
        done_cv.notify_all();
    }
};

struct Message {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<SendWait> wait;
};

class Pump;

// Once posted messages have come, later posts wait for the next round of handling, this long
// after the last, rather than each waking the user-interface thread: a stream's packets come
// much faster than the chart shows frames. A sent message wakes it at once, as does a post after
// a quiet round.
constexpr int kRoundMs = 50;

struct Queue {
    std::mutex mutex;
    std::deque<Message> messages;
    bool wake_pending = false;
    bool round_due = false;  // the pump's round timer runs: posts need not wake it
    size_t rounds = 0;
    // Lives on the user-interface thread; changed under both locks, read under either. Wakes are
    // posted under `pump_life` alone: posted under `mutex`, the woken thread would find it held.
    Pump* pump = nullptr;
    std::shared_mutex pump_life;
};

Queue& queue()
{
    static Queue q;
    return q;
}

const QEvent::Type kWakeEvent = QEvent::Type(QEvent::registerEventType());

// Handles the messages that were queued when it woke; later ones get a wake of their own, so a
// flood of posts cannot starve painting and input.
size_t HandleQueued(size_t limit)
{
    Queue& q = queue();
    size_t handled = 0;
    while (handled < limit) {
        Message m;
        {
            std::lock_guard lock(q.mutex);
            if (q.messages.empty()) break;
            m = std::move(q.messages.front());
            q.messages.pop_front();
        }
        LRESULT r = Deliver(m.hwnd, m.msg, m.wParam, m.lParam);
        if (m.wait) m.wait->Complete(r);
        ++handled;
    }
    return handled;
}

// True when the caller, once it has let go of the queue's mutex, must Wake the pump.
bool NeedsWakeLocked(Queue& q);
void Wake(Queue& q);

class Pump : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() != kWakeEvent) return QObject::event(e);
        {
            std::lock_guard lock(queue().mutex);
            queue().wake_pending = false;
        }
        Round();
        return true;
    }

protected:
    void timerEvent(QTimerEvent* e) override
    {
        if (e->timerId() != m_round.timerId()) return QObject::timerEvent(e);
        m_round.stop();
        {
            std::lock_guard lock(queue().mutex);
            queue().round_due = false;
        }
        Round();
    }

private:
    void Round()
    {
        Queue& q = queue();
        size_t pending;
        {
            std::lock_guard lock(q.mutex);
            pending = q.messages.size();
            ++q.rounds;
        }
        const size_t handled = HandleQueued(pending);
        bool wake, arm = false;
        {
            std::lock_guard lock(q.mutex);
            // Messages came: more are likely, and the next round takes them.
            if (handled > 0 && !q.round_due) q.round_due = arm = true;
            wake = !q.messages.empty() && !q.round_due && NeedsWakeLocked(q);
        }
        if (arm) m_round.start(kRoundMs, Qt::PreciseTimer, this);
        if (wake) Wake(q);
    }

    QBasicTimer m_round;
};

bool NeedsWakeLocked(Queue& q)
{
    if (q.wake_pending || !q.pump) return false;
    q.wake_pending = true;
    return true;
}

void Wake(Queue& q)
{
    std::shared_lock life(q.pump_life);
    if (q.pump) QCoreApplication::postEvent(q.pump, new QEvent(kWakeEvent));
}

void Enqueue(Message m)
{
    Queue& q = queue();
    bool wake;
    {
        std::lock_guard lock(q.mutex);
        // A sender waits for its answer: it never waits for the round.
        const bool now = m.wait || !q.round_due;
        q.messages.push_back(std::move(m));
        wake = now && NeedsWakeLocked(q);
    }
    if (wake) Wake(q);
}

}  // namespace

bool OnUiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void EnsurePump()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || !OnUiThread()) return;
    Queue& q = queue();
    bool wake;
    {
        std::lock_guard life(q.pump_life);
        std::lock_guard lock(q.mutex);
        if (q.pump) return;
        q.pump = new Pump;
        q.pump->setParent(app);
        QObject::connect(q.pump, &QObject::destroyed, [] {
            std::lock_guard life(queue().pump_life);
            std::lock_guard lock(queue().mutex);
            queue().pump = nullptr;
            queue().wake_pending = false;
            queue().round_due = false;
        });
        wake = !q.messages.empty() && NeedsWakeLocked(q);
    }
    if (wake) Wake(q);
}

void DropMessagesFor(HWND hwnd)
{
    std::vector<std::shared_ptr<SendWait>> waits;
    {
        std::lock_guard lock(queue().mutex);
        std::erase_if(queue().messages, [&](Message& m) {
            if (m.hwnd != hwnd) return false;
            if (m.wait) waits.push_back(m.wait);
            return true;
        });
    }
    for (auto& w : waits) w->Complete(0);
}

}  // namespace platform::afx::detail

using namespace platform::afx::detail;

BOOL PostMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!IsLiveWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Enqueue(Message{hWnd, msg, wParam, lParam, nullptr});
    return TRUE;
}

LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!IsLiveWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (OnUiThread()) return Deliver(hWnd, msg, wParam, lParam);
    auto wait = std::make_shared<SendWait>();
    Enqueue(Message{hWnd, msg, wParam, lParam, wait});
    std::unique_lock lock(wait->mutex);
    wait->done_cv.wait(lock, [&] { return wait->done; });
    return wait->result;
}

namespace platform::afx::testing {

size_t MessageRounds()
{
    std::lock_guard lock(queue().mutex);
    return queue().rounds;
}

void PumpMessages()
{
    EnsurePump();
    // Handlers may post more; a bounded number of rounds keeps a self-reposting handler from
    // hanging a test.
    for (int round = 0; round < 10000; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        size_t handled = HandleQueued(SIZE_MAX);
        bool empty;
        {
            std::lock_guard lock(queue().mutex);
            empty = queue().messages.empty();
        }
        if (empty && handled == 0) return;
    }
}

}  // namespace platform::afx::testing
