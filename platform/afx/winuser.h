// The user32, comctl32 and window-style part of the Windows API the programs call, for the dialog
// framework's windows. Types and message numbers come from platform/win32/windows.h; this adds the
// functions and the style values, with Windows semantics, implemented over Qt 6 Widgets.
#pragma once

#include "platform/win32/windows.h"

#ifndef _WIN32

typedef WCHAR* BSTR;

// Window and dialog styles (the values Windows uses, so templates read as they would there).
#ifndef WS_POPUP
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_STATICEDGE 0x00020000L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_SHELLFONT (DS_SETFONT | 0x8L)
#define DS_CENTER 0x0800L
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_GROUPBOX 0x00000007L
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#endif

#ifndef SW_HIDE
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9
#endif

#ifndef MB_OKCANCEL
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_ICONEXCLAMATION MB_ICONWARNING
#define MB_ICONSTOP MB_ICONERROR
#define IDYES 6
#define IDNO 7
#endif

#ifndef SC_CLOSE
#define SC_CLOSE 0xF060
#endif
#ifndef WM_KEYDOWN
#define WM_KEYDOWN 0x0100
#endif
#ifndef WM_MOVE
#define WM_MOVE 0x0003
#endif
#ifndef SIZE_RESTORED
#define SIZE_RESTORED 0
#define SIZE_MINIMIZED 1
#define SIZE_MAXIMIZED 2
#endif
#ifndef VK_RETURN
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#endif

#ifndef THREAD_PRIORITY_NORMAL
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#endif
#ifndef CREATE_SUSPENDED
#define CREATE_SUSPENDED 0x00000004
#endif

extern "C++" {
// Callable from any thread: the message is queued and handled on the user-interface thread
// through the window's message map. FALSE (ERROR_INVALID_WINDOW_HANDLE) for a window that is gone.
BOOL PostMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Handled at once on the user-interface thread; from another thread it waits for the handling.
LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND hWnd);
BOOL IsIconic(HWND hWnd);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL GetClientRect(HWND hWnd, LPRECT rect);
BOOL InvalidateRect(HWND hWnd, const RECT* rect, BOOL erase);
// Inside the window's WM_PAINT: the bounding rectangle of what this paint repaints, TRUE unless
// it is empty. Elsewhere (a WM_PAINT sent by hand included) an empty rectangle and FALSE.
BOOL GetUpdateRect(HWND hWnd, LPRECT rect, BOOL erase);
BOOL ScreenToClient(HWND hWnd, LPPOINT point);
HWND GetDlgItem(HWND hDlg, int id);
BOOL EndDialog(HWND hDlg, INT_PTR result);
int GetSystemMetrics(int index);
BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon);
// Answered by the message-box provider (platform/afx/message_box.h).
int MessageBoxA(HWND hWnd, LPCSTR text, LPCSTR caption, UINT type);
// Only checks dwSize: the standard controls need no set-up here.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
}

#define PostMessage PostMessageA
#define SendMessage SendMessageA
#define MessageBox MessageBoxA

#endif  // _WIN32
