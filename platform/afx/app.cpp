// The application object, worker threads and the calls that have nothing to do here.
#include "platform/afx/testing.h"
#include "platform/afx/window_registry.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <condition_variable>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

namespace {
CWinApp* g_app = nullptr;
QEventLoop* g_appLoop = nullptr;
}  // namespace

// ---- threads ----

namespace platform::afx::detail {

struct ThreadRecord {
    std::unique_ptr<CWinThread> object;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::mutex gate_mutex;
    std::condition_variable gate_cv;
    bool released = true;  // false while CREATE_SUSPENDED holds the thread
};

namespace {

struct Threads {
    std::mutex mutex;
    std::list<std::unique_ptr<ThreadRecord>> live;
    DWORD next_id = 1;
};

Threads& threads()
{
    // Never destroyed: a process that ends through exit() with a thread still running must not
    // have the list's threads destroyed under it.
    static Threads* t = new Threads;
    return *t;
}

std::atomic<bool> g_refuseThreads{false};

// Joins the threads that have returned, so the list holds only running ones.
void ReapFinished()
{
    std::list<std::unique_ptr<ThreadRecord>> done;
    {
        std::lock_guard lock(threads().mutex);
        for (auto it = threads().live.begin(); it != threads().live.end();) {
            if ((*it)->finished.load(std::memory_order_acquire)) done.splice(done.end(), threads().live, it++);
            else ++it;
        }
    }
    for (auto& r : done) r->thread.join();
}

}  // namespace
}  // namespace platform::afx::detail

using namespace platform::afx::detail;

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

CWinThread::CWinThread() = default;
CWinThread::~CWinThread() = default;

DWORD CWinThread::ResumeThread()
{
    auto* rec = static_cast<ThreadRecord*>(m_pRecord);
    if (!rec) return DWORD(-1);
    std::lock_guard lock(rec->gate_mutex);
    DWORD previous = rec->released ? 0 : 1;
    rec->released = true;
    rec->gate_cv.notify_all();
    return previous;
}

BOOL CWinThread::InitInstance()
{
    return FALSE;
}

int CWinThread::ExitInstance()
{
    return 0;
}

CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int, UINT, DWORD dwCreateFlags,
                                  LPSECURITY_ATTRIBUTES)
{
    if (!pfnThreadProc) return nullptr;
    ReapFinished();
    if (g_refuseThreads.load()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto rec = std::make_unique<ThreadRecord>();
    ThreadRecord* r = rec.get();
    r->object = std::make_unique<CWinThread>();
    r->object->m_pRecord = r;
    r->released = !(dwCreateFlags & CREATE_SUSPENDED);
    CWinThread* object = r->object.get();
    {
        std::lock_guard lock(threads().mutex);
        object->m_nThreadID = threads().next_id++;
        threads().live.push_back(std::move(rec));
        // Started under the lock so that a reaper never sees a record without its thread.
        try {
            r->thread = std::thread([r, pfnThreadProc, pParam] {
                {
                    std::unique_lock gate(r->gate_mutex);
                    r->gate_cv.wait(gate, [r] { return r->released; });
                }
                pfnThreadProc(pParam);
                r->finished.store(true, std::memory_order_release);
            });
        } catch (const std::system_error&) {
            // The system refused a thread: as on Windows, no thread object and a null result.
            threads().live.pop_back();
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    return object;
}

namespace platform::afx::testing {

void RefuseThreadStarts(bool refuse)
{
    g_refuseThreads.store(refuse);
}

void JoinWorkerThreads()
{
    std::list<std::unique_ptr<ThreadRecord>> all;
    {
        std::lock_guard lock(threads().mutex);
        all.swap(threads().live);
    }
    for (auto& r : all) {
        // A suspended thread that nobody resumed would otherwise never end.
        r->object->ResumeThread();
        r->thread.join();
    }
}

}  // namespace platform::afx::testing

// ---- the application ----

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

CWinApp::CWinApp(LPCTSTR lpszAppName)
{
    if (lpszAppName) {
        m_appName = lpszAppName;
        m_pszAppName = m_appName.c_str();
    }
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

int CWinApp::Run()
{
    // The loop lasts as long as the main window.
    if (m_pMainWnd && m_pMainWnd->m_hWnd && QCoreApplication::instance()) {
        QEventLoop loop;
        g_appLoop = &loop;
        loop.exec();
        g_appLoop = nullptr;
    }
    return ExitInstance();
}

namespace platform::afx::detail {

void SetAppName(CWinApp& app, const std::string& name)
{
    if (app.m_pszAppName) return;
    static std::string stored;
    stored = name;
    app.m_pszAppName = stored.c_str();
    app.m_pszExeName = stored.c_str();
}

int RunApplication(CWinApp& app)
{
    int code = app.InitInstance() ? app.Run() : app.ExitInstance();
    platform::afx::testing::JoinWorkerThreads();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}

void MainWindowDestroyed(HWND hwnd)
{
    if (g_appLoop && g_app && g_app->m_pMainWnd && g_app->m_pMainWnd->m_hWnd == hwnd) g_appLoop->exit();
}

void ExitApplicationLoop()
{
    if (g_appLoop) g_appLoop->exit();
}

}  // namespace platform::afx::detail

CWinApp* AFXAPI AfxGetApp()
{
    return g_app;
}

CWnd* AFXAPI AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HINSTANCE AFXAPI AfxGetInstanceHandle()
{
    return g_app ? g_app->m_hInstance : nullptr;
}

HINSTANCE AFXAPI AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

BOOL AFXAPI AfxEnableControlContainer()
{
    return TRUE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce)
{
    if (!picce || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
