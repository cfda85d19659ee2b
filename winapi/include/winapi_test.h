// Test hooks of the Linux window layer: headless mode, input through the same
// paths real input takes, a driver for the program's own message loop, and
// inspection of windows and message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace winapi_test {

struct BoxRecord {
  HWND owner;
  std::string text;    // as the program passed it (code page 1252)
  std::string caption; // as the program passed it (code page 1252)
  UINT type;
  std::vector<std::string> buttons; // Win32 texts in order, code page 1252 ("&Sim", "&N\xe3o")
};

// Every following MessageBoxA answers from this queue, in order, without
// showing anything (also with FLTK); with the queue empty it answers IDOK
// (or IDYES for MB_YESNO) when headless, and shows a real box otherwise.
// `meanwhile` runs while the box is open, as the user acting then: what it
// posts is dispatched by the box's own loop (no accelerators; input for the
// box's owner dropped) before the box answers. A quit message ends the box
// with answer 0.
void queueBoxAnswer(int answer, std::function<void()> meanwhile = nullptr);
const std::vector<BoxRecord> &shownBoxes();
void resetBoxes();
// Button labels MessageBoxA uses for a type (code page 1252).
std::vector<std::string> boxButtons(UINT type);

// No toolkit at all: windows exist only as layer state. Only tests choose
// it (default off: without a display, top-level windows cannot be created);
// call before creating windows.
void setHeadless(bool on);
bool isHeadless();

// Input. Each posts to the input queue what the toolkit would post for it;
// keys are addressed to the window that has the focus when GetMessageA
// takes them, as on Windows.
// A click into the control (WM_LBUTTONDOWN/UP, which gives it the focus),
// then WM_KEYDOWN/WM_KEYUP for each character (WM_CHAR follows through
// TranslateMessage). Characters the field has no room for are refused as the
// control refuses them.
void typeText(HWND control, const std::string &text);
// WM_LBUTTONDOWN/UP on the control; a button then sends WM_COMMAND
// (MAKEWPARAM(id, BN_CLICKED), button) to its parent when dispatched.
void click(HWND button);
// As choosing an entry in the open drop-down list: the selection changes and
// the combo box sends WM_COMMAND(MAKEWPARAM(id, CBN_SELCHANGE), combo).
void chooseComboItem(HWND combo, int index);
// WM_KEYDOWN then WM_KEYUP (WM_SYSKEYDOWN/UP with Alt) for a virtual key,
// with the given modifiers held.
void pressKey(int vk, bool shift = false, bool ctrl = false, bool alt = false);
// The close box of a top-level window: WM_CLOSE.
void closeWindow(HWND topLevel);

// Called by GetMessageA when it finds nothing to return in headless mode
// (and, with FLTK, before it waits). If nothing is queued after the step,
// headless GetMessageA aborts the process with a message.
void setIdleScript(std::function<void()> step);
// Waits up to timeoutMs for a posted message (from any thread) to be
// pending; true when one is.
bool waitForPosted(int timeoutMs);
// Called with each message box as it opens, before it is answered (also
// headless or from the answer queue): a test can let other threads act
// while the box is open. Empty function: none.
void setBoxHook(std::function<void(const BoxRecord &)> hook);
// Runs everything pending as WinMain's loop would (TranslateAcceleratorA,
// TranslateMessage, DispatchMessageA) until nothing is left; stops at a quit
// message, leaving it for the next GetMessageA. Returns the count dispatched.
int pump(HWND mainWindow, HACCEL accel);
// Whether a quit message is pending and its code.
bool quitPosted(int *code = nullptr);

// Inspection.
std::vector<HWND> children(HWND parent); // live children, in creation order
std::vector<HWND> topLevelWindows();     // live top-level windows, in creation order
std::string className(HWND w);           // as registered ("STATIC", "Edit", ...)
std::string windowText(HWND w);          // code page 1252
std::string shownText(HWND w);           // as a static shows it (SS_ENDELLIPSIS cut, lines by '\n')
int controlId(HWND w);
struct Rect {
  int x, y, w, h;
};
// Children: client coordinates of the parent. Top-level windows: outer
// rectangle on the screen.
Rect geometry(HWND w);
Rect clientRect(HWND w); // client area in window-relative outer coordinates
DWORD style(HWND w);
DWORD exStyle(HWND w);
HFONT font(HWND w);
bool isAlive(HWND w);
bool isVisible(HWND w);
std::vector<std::string> comboItems(HWND combo);
int comboSelection(HWND combo);
bool comboTextSelected(HWND combo); // the edit part's whole text is selected
// Colours a "STATIC" control was last painted with, as its parent answered
// WM_CTLCOLORSTATIC; painted false before its first WM_PAINT.
struct StaticColors {
  bool painted;
  COLORREF text, back, brush;
};
StaticColors staticColors(HWND label);
struct FontInfo {
  int height, weight;
  bool italic;
  std::string face;
  int pixelSize; // em size in pixels as the presenter uses it
};
FontInfo fontInfo(HFONT f);
std::vector<std::string> shellExecuted(); // addresses ShellExecuteA was given
// ShellExecuteA finds nothing to open addresses with (no browser): it still
// records the address, and fails.
void setShellFails(bool fails);

// Destroy everything, clear queue, classes, boxes, hooks, focus, shell
// record and key state. Registered resources stay.
void reset();

} // namespace winapi_test
