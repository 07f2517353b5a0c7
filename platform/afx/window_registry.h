// Inside the framework: what a window handle stands for, and the table of live windows that
// posted messages are checked against from any thread.
#pragma once

#include "platform/afx/afxwin.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

namespace platform::afx::detail {

enum class WindowKind { Plain, Dialog, PushButton, GroupBox, Static, Control };

struct WindowRecord {
    HWND hwnd = nullptr;
    WindowKind kind = WindowKind::Plain;
    QPointer<QWidget> widget;
    CWnd* attached = nullptr;        // the object messages go to
    CWnd* creator = nullptr;         // the object whose destruction destroys the window
    std::unique_ptr<CWnd> stand_in;  // answers GetDlgItem for controls nobody bound
    HWND parent = nullptr;           // parent of a child, owner of a dialog
    std::vector<HWND> children;
    UINT id = 0;
    DWORD style = 0;
    bool default_button = false;
    platform::com::ComPtr<IPanelControl> control;
    std::function<void(DISPID)> sink;  // what the control was advised with
    HICON big_icon = nullptr;
    HICON small_icon = nullptr;
    int dispatch_depth = 0;  // messages being handled for this window right now
};

// UI thread: creates a record with a fresh handle. The record lives until DestroyRecord.
WindowRecord& CreateRecord(WindowKind kind, QWidget* widget, HWND parent);
// Null for a handle that is not (or no longer) a window.
WindowRecord* FindRecord(HWND hwnd);
HWND HandleOfWidget(const QWidget* widget);
// Destroys the record, its children first, detaching every object bound to them.
void DestroyRecord(HWND hwnd);
bool IsLiveWindow(HWND hwnd);  // any thread
// Creates, fills and places an embedded control as child `id` of `parent`; px in parent pixels.
HWND HostControl(HWND parent, UINT id, platform::com::ComPtr<IPanelControl> control,
                 const platform::com::PropertyBag& bag, const RECT& px, DWORD style);

CWnd* TargetOf(const WindowRecord& rec);  // attached object or stand-in

// Message delivery on the UI thread: WindowProc of the target object; 0 for a dead window.
LRESULT Deliver(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
bool OnUiThread();
// Wakes the UI thread's queue handling (created on first use there).
void EnsurePump();
void DropMessagesFor(HWND hwnd);

// Modal loops, innermost last.
struct ModalFrame {
    CDialog* dialog = nullptr;
    std::function<void(int)> end;  // ends the loop with a result
    std::function<bool()> ended;   // the loop has been told to end
};
void PushModal(ModalFrame frame);
void PopModal();
// Ends every modal loop still running, innermost first, each that has not been ended already.
void EndModalLoops(int result);
void RunModalHooks();  // queued RunInNextModalLoop calls: the oldest, inside the loop now starting

// Icons.
QIcon IconOf(HICON hIcon);

// Paint target of the paint event running now (null outside one).
QWidget* CurrentPaintWidget();
void SetCurrentPaintWidget(QWidget* w);
// The bounding rectangle of what that paint event repaints, in the widget's coordinates.
QRect CurrentPaintRect();
void SetCurrentPaintRect(const QRect& rect);
void RecordDrawnIcon(HWND hwnd, int x, int y, HICON hIcon);

// The program entry's side of the application object.
void SetAppName(CWinApp& app, const std::string& name);  // unless the program gave one
int RunApplication(CWinApp& app);                        // InitInstance, Run or ExitInstance, then joins workers
void MainWindowDestroyed(HWND hwnd);
void ExitApplicationLoop();  // CWinApp::Run's loop, if it runs

}  // namespace platform::afx::detail
