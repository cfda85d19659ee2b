// The subset of the Win32 interface that the program calls, for Linux.
//
// Types, constants and signatures are Win32's, so the same program source
// builds against the real <windows.h> with MinGW. Windows, controls and the
// message queue are kept by this layer; a presenter shows them with FLTK 1.3,
// or, for tests that ask for it (winapi_test::setHeadless(true)), they exist
// only as layer state. Without a display nothing can be shown: creating a
// top-level window fails and message boxes write their text to standard
// error. Every call below notes where it differs from Win32.
//
// General differences:
// - One thread owns the windows; calls from other threads are not supported.
// - Handles are opaque numbers, never reused; a destroyed window's handle is
//   simply invalid afterwards, and calls given it fail as on Windows.
// - Texts are 8-bit Latin-1 (the "ANSI" code page 1252 restricted to Latin-1);
//   they are converted to and from UTF-8 only where FLTK sees them.
// - A top-level window is 390x350 when asked for 390x350: that is its outer
//   size. Its client area is smaller by a classic fixed frame: 3 pixels on
//   each side and a caption of 19 pixels, so 384x325 for the main window. On
//   screen the X window has that client size; the frame is the X window
//   manager's, whatever it draws.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define CONST const
#define VOID void

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD; // 32 bits, as on Windows (unsigned long is 64 bits here)
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef short SHORT;
typedef int INT;
typedef unsigned int UINT;
typedef char CHAR;
typedef WORD ATOM;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef DWORD COLORREF;

#define DECLARE_HANDLE(name)                                                                       \
  struct name##__;                                                                                 \
  typedef struct name##__ *name
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HACCEL);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void *HGDIOBJ;
typedef void *HANDLE;

#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT;

typedef struct tagWNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
} WNDCLASSEXA;

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

typedef struct tagPAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA;

typedef struct tagACCEL {
  BYTE fVirt;
  WORD key;
  WORD cmd;
} ACCEL;

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                             \
  ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define RGB(r, g, b)                                                                               \
  ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

// Resource types (as integer ids).
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_ACCELERATOR MAKEINTRESOURCEA(9)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define CW_USEDEFAULT ((int)0x80000000)

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORSTATIC 0x0138
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_PARENTNOTIFY 0x0210
#define WM_USER 0x0400
#define WM_APP 0x8000

#define SC_CLOSE 0xF060
#define SC_MINIMIZE 0xF020
#define SIZE_RESTORED 0
#define MK_LBUTTON 0x0001

// Window styles.
#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_MINIMIZE 0x20000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_MAXIMIZE 0x01000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_DLGFRAME 0x00400000u
#define WS_VSCROLL 0x00200000u
#define WS_HSCROLL 0x00100000u
#define WS_SYSMENU 0x00080000u
#define WS_THICKFRAME 0x00040000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define WS_MINIMIZEBOX 0x00020000u
#define WS_MAXIMIZEBOX 0x00010000u
#define WS_OVERLAPPEDWINDOW                                                                        \
  (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)

#define WS_EX_NOPARENTNOTIFY 0x00000004u
#define WS_EX_TOPMOST 0x00000008u
#define WS_EX_TOOLWINDOW 0x00000080u
#define WS_EX_WINDOWEDGE 0x00000100u
#define WS_EX_CLIENTEDGE 0x00000200u
#define WS_EX_OVERLAPPEDWINDOW (WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE)
#define WS_EX_PALETTEWINDOW (WS_EX_WINDOWEDGE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST)

#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u

// Control styles, messages and notifications.
#define SS_LEFT 0x00000000u
#define SS_ENDELLIPSIS 0x00004000u
#define BS_PUSHBUTTON 0x00000000u
#define BS_DEFPUSHBUTTON 0x00000001u
#define ES_LEFT 0x0000u
#define ES_CENTER 0x0001u
#define ES_RIGHT 0x0002u
#define ES_MULTILINE 0x0004u
#define ES_PASSWORD 0x0020u
#define ES_AUTOHSCROLL 0x0080u
#define ES_READONLY 0x0800u
#define ES_NUMBER 0x2000u
#define CBS_SIMPLE 0x0001u
#define CBS_DROPDOWN 0x0002u
#define CBS_DROPDOWNLIST 0x0003u
#define CBS_AUTOHSCROLL 0x0040u
#define CBS_SORT 0x0100u
#define CBS_HASSTRINGS 0x0200u

#define CB_OKAY 0
#define CB_ERR (-1)
#define CB_ERRSPACE (-2)
#define CB_ADDSTRING 0x0143
#define CB_DELETESTRING 0x0144
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_SHOWDROPDOWN 0x014F
#define CB_GETDROPPEDSTATE 0x0157

#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u
#define PM_NOYIELD 0x0002u

#define CBN_SELCHANGE 1
#define CBN_SETFOCUS 3
#define CBN_KILLFOCUS 4
#define CBN_EDITCHANGE 5
#define CBN_DROPDOWN 7
#define CBN_CLOSEUP 8
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300
#define BN_CLICKED 0

// Message boxes.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Keys and accelerators.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F4 0x73
#define VK_PACKET 0xE7

#define FVIRTKEY TRUE
#define FNOINVERT 0x02
#define FSHIFT 0x04
#define FCONTROL 0x08
#define FALT 0x10

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

// Fonts.
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DEFAULT_PITCH 0
#define FF_DONTCARE 0

#define COLOR_WINDOW 5
#define COLOR_BTNFACE 15

// ---- Entry point -----------------------------------------------------------
// Declared for the program to define; on Linux the program's own main()
// calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE prevInstance, LPSTR cmdLine, int showCmd);

// ---- USER32 ------------------------------------------------------------------

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
// Windows too); a combo box of CBS_DROPDOWN shows 24 pixels high when
// closed and is one window (no separate Edit child); a static control of
// SS_ENDELLIPSIS shows its text on one line, cut with "..." where it would
// pass the control's width as measured with Arial's advance widths.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);

// Shows or hides; showing a top-level window activates it and, when no
// window has the focus, gives it the focus (as activation does). Returns
// whether it was visible before. SW_MINIMIZE/SW_SHOWMINIMIZED iconify.
BOOL WINAPI ShowWindow(HWND hwnd, int cmd);

// Sends WM_PAINT at once when the window needs painting (not its children).
BOOL WINAPI UpdateWindow(HWND hwnd);

// Only IDC_ARROW and IDC_WAIT with no instance: stock cursor handles. Other
// cursors: NULL.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// Sets the pointer's shape (NULL hides it) and returns the previous one;
// GetCursor returns the current one (the arrow before the first SetCursor).
// Differences: the shape applies over all of the program's top-level
// windows and stays until the next SetCursor (there is no WM_SETCURSOR, so
// moving the pointer or a window's class cursor does not change it); an
// invalid handle changes nothing.
HCURSOR WINAPI SetCursor(HCURSOR cursor);
HCURSOR WINAPI GetCursor(void);

// Icon groups registered by id (winapi_resources.h), from the .ico file of
// the resource script; IDI_APPLICATION with no instance gives a stock icon.
// Difference: only integer ids; every call makes a new handle (Windows
// shares the one icon), harmless as icons are never released here.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name);

// Bitmaps registered by id: 24- or 32-bit uncompressed BMP. Other formats or
// unknown ids: NULL. The instance is not looked at.
HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name);

// Accelerator tables registered by id, generated from the resource script.
HACCEL WINAPI LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);

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

// Default handling: WM_CLOSE destroys the window; WM_SYSCOMMAND SC_CLOSE
// sends WM_CLOSE; Alt+F4 (WM_SYSKEYDOWN VK_F4) sends WM_SYSCOMMAND SC_CLOSE
// to the top-level window; WM_PAINT begins and ends painting; WM_ERASEBKGND
// paints the class brush and returns 1; WM_CTLCOLOR* answers black on the
// button face colour RGB(240, 240, 240); WM_SETTEXT/WM_GETTEXT/
// WM_GETTEXTLENGTH/WM_SETFONT/WM_GETFONT on the window's own text and
// font; WM_NCCREATE returns TRUE; anything else 0.
LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

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

// Begins painting: sends WM_ERASEBKGND when the background needs erasing,
// marks the window painted. Difference: the update rectangle is always the
// whole client area; drawing through the HDC is limited to the colour calls
// below (with FLTK the background is drawn by the presenter itself).
HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps);
BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT *ps);

// Marks the whole window as needing WM_PAINT (the rectangle is ignored).
BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase);

// Calls the window procedure directly and returns its result; 0 for a
// destroyed window. Controls understand WM_SETTEXT, WM_GETTEXT,
// WM_GETTEXTLENGTH, WM_SETFONT, WM_GETFONT and, combo boxes, CB_ADDSTRING,
// CB_DELETESTRING, CB_GETCOUNT, CB_GETCURSEL, CB_SETCURSEL, CB_GETLBTEXT,
// CB_GETLBTEXTLEN, CB_RESETCONTENT, CB_SHOWDROPDOWN, CB_GETDROPPEDSTATE.
// Difference: CBS_SORT is ignored.
LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

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
// button gives it the focus, as on Windows.
HWND WINAPI GetFocus(void);
HWND WINAPI SetFocus(HWND hwnd);

BOOL WINAPI IsWindow(HWND hwnd);
HWND WINAPI GetParent(HWND hwnd);
BOOL WINAPI GetClientRect(HWND hwnd, RECT *rect);

// Keys' state as of the message last returned by GetMessageA (Shift,
// Control, Menu only): high bit set while down.
SHORT WINAPI GetKeyState(int vk);

// Modal box with its own loop: it dispatches what arrives meanwhile, posted
// messages and input alike, without the program's accelerators. With an
// owner, the owner's top-level window is disabled while the box is open
// (input for it is dropped) and the box is centred on it; without one,
// every window stays usable and the box is centred on the screen. The box is
// as wide as its text (wrapped beyond four fifths of the screen) or its
// buttons, which are centred below the text and labelled as in Portuguese
// (Brazil): "OK", "Cancelar", "Sim", "Não" (and "Anular", "Repetir",
// "Ignorar"). Closing the box answers IDCANCEL when there is a Cancel
// button, IDOK for MB_OK, and is disabled for MB_YESNO and
// MB_ABORTRETRYIGNORE. Escape does the same as the close box, Enter presses
// the first button. A quit message ends the box with answer 0 and stays
// queued for the program's loop. Differences: icons are not shown; fonts
// and margins are the toolkit's. Headless or with answers queued by
// winapi_test, it shows nothing and answers from the queue (IDOK/IDYES when
// empty) after its loop has dispatched what is pending. Without a display
// it writes "caption: text" to standard error and returns 0.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

HMODULE WINAPI GetModuleHandleA(LPCSTR name);

// ---- GDI32 -------------------------------------------------------------------

// Records the request. With FLTK: "Arial" and other sans faces become FLTK's
// Helvetica (Xft picks the closest installed sans face); weight >= 600 is
// bold; a positive height is the cell height and gives an em size of
// height * 2048 / 2288 pixels (Arial's ascent+descent), a negative height
// is the em size. Width, angles, underline, strike-out and quality are ignored.
HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR face);

// A brush tiling the bitmap from the top-left of the client area it fills.
HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);

// Device contexts exist only during painting (BeginPaint and the ones given
// with WM_CTLCOLORSTATIC). Return the previous colour; CLR_INVALID for an
// unknown HDC.
#define CLR_INVALID 0xFFFFFFFFu
COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);

// Releases fonts, brushes and bitmaps. Difference: a brush made from a
// bitmap keeps the pixels, so deleting the bitmap afterwards is harmless.
BOOL WINAPI DeleteObject(HGDIOBJ object);
