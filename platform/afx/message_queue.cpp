// Posted and cross-thread sent messages. Any thread may queue; only the user-interface thread
// handles. The queue is guarded by our own mutex so that what a worker wrote before posting is
// visible to the handler (and ThreadSanitizer sees the hand-over); Qt is used only to wake the
// user-interface thread.
#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

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

struct Queue {
    std::mutex mutex;
    std::deque<Message> messages;
    bool wake_pending = false;
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
        size_t pending;
        {
            std::lock_guard lock(queue().mutex);
            queue().wake_pending = false;
            pending = queue().messages.size();
        }
        HandleQueued(pending);
        bool wake;
        {
            std::lock_guard lock(queue().mutex);
            wake = !queue().messages.empty() && NeedsWakeLocked(queue());
        }
        if (wake) Wake(queue());
        return true;
    }
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
        q.messages.push_back(std::move(m));
        wake = NeedsWakeLocked(q);
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
