// Windows and classes: the Win32 functions of this area, for Linux.
// Part of <windows.h>; include that, not this file.
#pragma once

#include "types.h"

// Registers classes by name (case-insensitive). Differences: cbClsExtra and
// cbWndExtra are ignored; lpszMenuName is ignored; the instance plays no part
// in looking a class up. Fails (0) without a name or procedure, or when the
// name is taken (also by the built-in "STATIC", "Edit", "BUTTON", "ComboBox").
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc);

// Creates a window of a registered class or one of the four controls; a
// top-level window fails (NULL) when no display can be opened. Sends
// WM_NCCREATE, WM_CREATE (synchronously, before it returns), then WM_SIZE
// and WM_MOVE; a child's parent then gets WM_PARENTNOTIFY unless
// WS_EX_NOPARENTNOTIFY. WM_CREATE answering -1 (or WM_NCCREATE FALSE)
// destroys the window and returns NULL. lParam of both points to a
// CREATESTRUCTA.
// Differences: WM_GETMINMAXINFO and WM_NCCALCSIZE are not sent; a top-level
// window at CW_USEDEFAULT is placed at (100, 100); WS_EX_* styles are
// recorded but have no effect (WS_EX_TOPMOST on a child is meaningless on
// Windows too), except that an "Edit" asked for with WS_BORDER gets
// WS_EX_CLIENTEDGE instead (a sunken edge), as on Windows; a combo box of CBS_DROPDOWN shows 24
// pixels high when closed and is one window (no separate Edit child); a static control of
// SS_ENDELLIPSIS shows its text on one line, cut with "..." where it would
// pass the control's width as measured with Arial's advance widths; without
// it, the text is broken between words into the lines its height holds.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);

// Shows or hides; showing a top-level window activates it and, when no
// window has the focus, gives it the focus (as activation does). Returns
// whether it was visible before. SW_MINIMIZE/SW_SHOWMINIMIZED iconify.
BOOL WINAPI ShowWindow(HWND hwnd, int cmd);

// Sets the pointer's shape (NULL hides it) and returns the previous one;
// GetCursor returns the current one (the arrow before the first SetCursor).
// Differences: the shape applies over all of the program's top-level
// windows and stays until the next SetCursor (there is no WM_SETCURSOR, so
// moving the pointer or a window's class cursor does not change it); an
// invalid handle changes nothing.
HCURSOR WINAPI SetCursor(HCURSOR cursor);
HCURSOR WINAPI GetCursor(void);

// Default handling: WM_CLOSE destroys the window; WM_SYSCOMMAND SC_CLOSE
// sends WM_CLOSE; Alt+F4 (WM_SYSKEYDOWN VK_F4) sends WM_SYSCOMMAND SC_CLOSE
// to the top-level window; WM_PAINT begins and ends painting; WM_ERASEBKGND
// paints the class brush and returns 1; WM_CTLCOLOR* answers black on the
// button face colour RGB(240, 240, 240); WM_SETTEXT/WM_GETTEXT/
// WM_GETTEXTLENGTH/WM_SETFONT/WM_GETFONT on the window's own text and
// font; WM_NCCREATE returns TRUE; anything else 0.
LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Destroys the window and its children at once: WM_DESTROY to the window,
// then to its children, then WM_NCDESTROY; queued messages for them are
// dropped. The focus, if it was inside, goes to the parent (none for a
// top-level window).
BOOL WINAPI DestroyWindow(HWND hwnd);

// Copies at most maxCount-1 characters and a NUL; returns the count copied.
// A destroyed window gives 0 and an empty string.
int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int maxCount);
BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text);

// Keyboard focus; SetFocus sends WM_KILLFOCUS/WM_SETFOCUS (and the controls'
// EN_/CBN_ focus notifications) and returns the previous focus, or NULL
// (focus unchanged) for a destroyed window. The toolkit never moves the
// focus on its own (no Tab navigation); a click on an edit, combo box or
// button gives it the focus, as on Windows. While a message box is open its
// button has the keyboard: GetFocus answers a handle of no program window
// (Differences: not a window IsWindow knows) until the box closes, when the
// control that had the focus has it again, or until the program or a click
// gives the focus to a control of a window the box leaves usable.
HWND WINAPI GetFocus(void);
HWND WINAPI SetFocus(HWND hwnd);

BOOL WINAPI IsWindow(HWND hwnd);
HWND WINAPI GetParent(HWND hwnd);
BOOL WINAPI GetClientRect(HWND hwnd, RECT *rect);
