// Message queue and dispatch (accelerators included): the Win32 functions of this area, for Linux.
// Part of <windows.h>; include that, not this file.
#pragma once

#include "types.h"

// Returns the next message: posted messages first, then the quit message,
// then input (keys, clicks, close box) in the order it happened, then
// WM_PAINT for windows that need painting. With FLTK it waits in Fl::wait()
// until input makes a message. Headless, with nothing left, it runs the
// test idle script (winapi_test.h) and aborts the process if that produced
// nothing, rather than wait for ever. Differences: no filtering (hwnd and
// the range must be NULL, 0, 0 or the call fails with -1); no timers;
// MSG::time counts messages, not milliseconds; MSG::pt is 0, 0.
BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);

// WM_KEYDOWN/WM_SYSKEYDOWN matching a virtual-key entry with exactly its
// Shift/Ctrl/Alt state sends (synchronously) WM_COMMAND(MAKEWPARAM(cmd, 1), 0)
// to hwnd and returns 1. Character (non-FVIRTKEY) entries match WM_CHAR.
// Difference: a disabled or minimised window still gets the command.
int WINAPI TranslateAcceleratorA(HWND hwnd, HACCEL accel, LPMSG msg);

// WM_KEYDOWN -> WM_CHAR (WM_SYSKEYDOWN -> WM_SYSCHAR) posted ahead of other
// messages, for keys that make a character. Difference: the character is
// carried in bits 16-23 of the key message's lParam (where Windows has the
// scan code), put there by whoever produced the key (FLTK or the test
// hooks); keys without one (arrows, Shift...) carry 0 there.
BOOL WINAPI TranslateMessage(const MSG *msg);

// Calls the window procedure of msg->hwnd and returns its result; messages
// for no window or a destroyed window are dropped (0).
LRESULT WINAPI DispatchMessageA(const MSG *msg);

// Makes the next GetMessageA (once no posted message is left) return 0 with
// the code in wParam.
void WINAPI PostQuitMessage(int exitCode);

// Queues a message for hwnd (NULL: for the thread). FALSE for a destroyed
// window. May be called from any thread (the one exception to the rule
// above); it wakes the loop waiting in GetMessageA. Difference: the message
// always goes to the queue of the one thread that owns the windows.
BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Takes the next message in GetMessageA's order whose number is in
// [filterMin, filterMax] (0, 0: any) without waiting; FALSE when there is
// none. PM_REMOVE removes it (a WM_PAINT stays until the window is painted,
// as on Windows); PM_NOREMOVE leaves it. What the toolkit has pending (an
// exposed window, input) is taken in first. Differences: hwnd must be NULL
// (otherwise FALSE); the PM_QS_* flags are not supported (FALSE).
BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);

// Calls the window procedure directly and returns its result; 0 for a
// destroyed window. Controls understand WM_SETTEXT, WM_GETTEXT,
// WM_GETTEXTLENGTH, WM_SETFONT, WM_GETFONT; edit fields EM_LIMITTEXT
// (EM_SETLIMITTEXT) and EM_GETLIMITTEXT; combo boxes CB_ADDSTRING,
// CB_DELETESTRING, CB_GETCOUNT, CB_GETCURSEL, CB_SETCURSEL, CB_GETLBTEXT,
// CB_GETLBTEXTLEN, CB_RESETCONTENT, CB_SHOWDROPDOWN, CB_GETDROPPEDSTATE.
// Difference: CBS_SORT is ignored.
LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Keys' state as of the message last returned by GetMessageA (Shift,
// Control, Menu only): high bit set while down.
SHORT WINAPI GetKeyState(int vk);
