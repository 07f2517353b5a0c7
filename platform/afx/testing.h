// What tests of whole windows need from the framework: create a dialog without blocking, pump
// posted messages, act inside a modal loop, raise a control's event, and reach the Qt widgets.
#pragma once

#include "platform/afx/afxwin.h"

#include <functional>

class QWidget;

namespace platform::afx::testing {

// Handles every queued posted message and Qt event, repeating until none is left (messages
// posted by handlers are handled too). UI thread only.
void PumpMessages();
// Rounds of handling queued messages that the running event loop has made so far.
size_t MessageRounds();

// Runs `fn` once inside the next modal loop that starts (a DoModal, or a default message box),
// after OnInitDialog and before the operator could act. Calls queue up: each loop takes the
// oldest. Inside, use ActiveModalDialog() and EndModalLoop().
void RunInNextModalLoop(std::function<void()> fn);
// The dialog whose modal loop is innermost, or null (also null for a message box).
CDialog* ActiveModalDialog();
// Ends the innermost modal loop (EndDialog(result) for a dialog). FALSE when none runs.
BOOL EndModalLoop(int result);
// How many modal loops are running now.
int ModalDepth();

// Raises event `dispid` of control `nCtlID` through the sink the dialog advised to it, as the
// control's widget would. FALSE when there is no such control.
BOOL RaiseControlEvent(CWnd* pDialog, UINT nCtlID, DISPID dispid);

// Presses a key on the dialog as the operator would: VK_RETURN or VK_ESCAPE.
void PressKey(CWnd* pDialog, UINT vk);
// Clicks the close box; FALSE (and nothing happens) when the window has none.
BOOL ClickCloseBox(CWnd* pDialog);
// Clicks a push button by id.
BOOL ClickButton(CWnd* pDialog, UINT nID);

// Paints the window now, as an expose would (WM_PAINT runs inside a real paint event, with
// the children drawn after it). FALSE for a window that is gone.
BOOL PaintWindow(CWnd* pWnd);

QWidget* WidgetOf(HWND hWnd);
HWND WindowOf(QWidget* widget);

// DrawIcon calls made since the last Clear, in order.
struct DrawnIcon {
    HWND hWnd;
    int x, y;
    HICON hIcon;
};
const std::vector<DrawnIcon>& DrawnIcons();
void ClearDrawnIcons();

// Joins every worker thread started by AfxBeginThread that is still alive.
void JoinWorkerThreads();
// While set, AfxBeginThread fails as it does when the system refuses a thread.
void RefuseThreadStarts(bool refuse);

// Does what a broken display connection does, except that `processEnd` is handed the exit
// status where the process would end.
void BreakDisplayConnection(std::function<void(int status)> processEnd);

}  // namespace platform::afx::testing
