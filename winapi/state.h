// State and handle table: the one record of the layer's windows, classes,
// queues and GDI objects, and the handles that name them. Every area of the
// layer keeps its state here; the functions below are shared by all of them.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "winapi_test.h"

namespace winapi {

struct Presenter;

enum class Kind { Custom, Static, Edit, Button, Combo };

// Frame of a top-level window with caption and fixed border.
constexpr int kFrame = 3;
constexpr int kCaption = 19;
// Height a CBS_DROPDOWN combo box shows when its list is closed.
constexpr int kComboClosedHeight = 24;
// Width of its drop-down button at the right end, border included.
constexpr int kComboArrowWidth = 22;
// Where a single-line edit field's text cell starts: its border and a gap
// of one pixel, then the left margin (x); the border, the gap and the
// font's internal leading (y).
constexpr int kEditTextX = 6;
constexpr int kEditTextY = 3;
constexpr COLORREF kButtonFace = RGB(240, 240, 240);

struct Image {
  int w = 0, h = 0, depth = 3; // top-down rows, RGB or RGBA
  std::vector<unsigned char> pixels;
};

// What a combo box holds besides its edit part's text.
struct ComboState {
  std::vector<std::string> items;
  int sel = -1;
  bool dropped = false;      // the list is open
  int hot = -1;              // entry highlighted in the open list
  bool textSelected = false; // the edit part's text is selected
};

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Custom;
  std::string cls;
  WNDPROC proc = nullptr;
  HBRUSH background = nullptr;
  HICON icon = nullptr;
  HWND parent = nullptr;
  std::vector<HWND> children;
  std::string text; // code page 1252
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, w = 0, h = 0; // child: parent client coords; top-level: outer, screen
  int id = 0;
  HFONT font = nullptr;
  // Edit fields: the most characters typing may leave in the text (Win32's
  // default until EM_LIMITTEXT); WM_SETTEXT is not held to it.
  size_t textLimit = 0x7FFF;
  bool visible = false, minimized = false, needsPaint = false, needsErase = false;
  bool destroyed = false, pressed = false;
  bool disabled = false;             // owner of an open message box
  std::unique_ptr<ComboState> combo; // combo boxes only
  bool painted = false;
  COLORREF textColor = 0, backColor = 0, brushColor = 0; // last static paint
  void *view = nullptr;                                  // presenter's widget
};

struct FontData {
  int height = 0, weight = 0;
  bool italic = false;
  std::string face;
};

struct Queued {
  MSG msg;
  int mods;
  bool toFocus; // keyboard input: addressed when taken from the queue
};

enum class GdiType { Font, SolidBrush, PatternBrush, Bitmap, Icon, Cursor, Accel, DC };

struct Gdi {
  explicit Gdi(GdiType t) : type(t) {}
  GdiType type;
  FontData font;
  COLORREF color = 0;
  std::shared_ptr<Image> image;
  std::shared_ptr<std::vector<Image>> icons;
  std::vector<ACCEL> accel;
  COLORREF text = 0, back = RGB(255, 255, 255);
  HFONT selectedFont = nullptr; // a DC's font (SelectObject); none: the system font
};

struct ClassInfo {
  std::string name;
  WNDPROC proc;
  Kind kind;
  HBRUSH background;
  HICON icon;
};

struct Resource {
  const unsigned char *data;
  size_t size;
};

struct State {
  std::map<uintptr_t, std::unique_ptr<Window>> windows;
  std::vector<HWND> tops;
  std::map<std::string, ClassInfo> classes; // by lower-case name
  // Posted messages may come from any thread: the queue, and the handles
  // that may still receive them, are kept under postLock.
  std::mutex postLock;
  std::condition_variable postedCv;
  std::deque<Queued> posted;
  std::set<uintptr_t> postable;
  std::atomic<void (*)()> wake{nullptr};
  std::deque<Queued> input;
  bool quit = false;
  int quitCode = 0;
  int endSignal = 0; // the termination signal that ends the session, once one came
  HWND focus = nullptr, active = nullptr;
  // A message box's button has the keyboard: GetFocus answers boxButton,
  // and `focus` is where the keyboard returns when the box closes.
  bool boxKeyboard = false;
  HWND boxButton = reinterpret_cast<HWND>(uintptr_t{0x10000}); // never issued: `next` starts there
  int mods = 0;
  uintptr_t next = 0x10000;
  DWORD time = 0;
  std::map<uintptr_t, Gdi> gdi;
  std::map<std::pair<int, int>, Resource> resources;
  std::map<int, std::vector<ACCEL>> accelTables;
  std::map<int, HACCEL> loadedAccels;
  HBRUSH faceBrush = nullptr;
  HCURSOR arrow = nullptr, waitCursor = nullptr, cursor = nullptr;
  bool cursorSet = false; // before the first SetCursor, the arrow
  struct Answer {
    int answer;
    std::function<void()> meanwhile;
  };
  std::deque<Answer> answers;
  std::vector<winapi_test::BoxRecord> boxes;
  bool headless = false; // chosen by tests only
  const Presenter *presenter = nullptr;
  std::function<void()> idle;
  std::function<void(const winapi_test::BoxRecord &)> boxHook;
  std::vector<std::string> shell;
  bool shellFails = false; // chosen by tests only
};

State &st();
std::string lower(std::string s);
uintptr_t newHandle();

// GDI objects by handle.
template <typename H> H gdiHandle(Gdi g) {
  uintptr_t h = newHandle();
  st().gdi.emplace(h, std::move(g));
  return reinterpret_cast<H>(h);
}
Gdi *gdi(const void *h, GdiType type); // nullptr for another type or an unknown handle

// Window lookup; nullptr for a destroyed or unknown handle.
Window *find(HWND h);
Window *topLevelOf(Window *w);
bool isDescendant(HWND h, const Window &ancestor);
bool shownOnScreen(const Window &w); // it and every parent visible, none minimised
int clientWidth(const Window &w);
int clientHeight(const Window &w);
// Client area origin relative to the outer rectangle (0,0 for children).
int clientOffsetX(const Window &w);
int clientOffsetY(const Window &w);

// The presenter in use, chosen at the first call that needs one: headless
// when a test asked for it, FLTK when a display opens, else the one that
// can show nothing.
const Presenter *presenter();
void update(Window &w); // tells the presenter the window changed

// Calls a window's procedure (0 for none).
LRESULT send(Window *w, UINT msg, WPARAM wp, LPARAM lp);

} // namespace winapi
