// Toolkit-neutral part of the window layer: handles, classes, windows and
// controls, the message queue and dispatch, focus, accelerators, GDI objects,
// resources and message boxes. The presenter (FLTK) only shows this state and
// reports input back through postKey/postMouse/postComboChoice/postClose.
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "internal.h"
#include "shellapi.h"
#include "winapi_resources.h"
#include "winapi_test.h"

extern char **environ;

namespace winapi {
namespace {

// Private messages of the combo box class: an entry clicked in its open
// list, and a click outside the open list.
constexpr UINT kChooseItem = 0x7FF0;
constexpr UINT kDismissList = 0x7FF1;
constexpr COLORREF kButtonFace = RGB(240, 240, 240);

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
};

struct ClassInfo {
  std::string name;
  WNDPROC proc;
  Kind kind;
  HBRUSH background;
  HICON icon, iconSm;
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
  HWND focus = nullptr, active = nullptr;
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
  bool headless = false;  // chosen by tests only
  bool noDisplay = false; // no display could be opened: nothing can be shown
  const Presenter *presenter = nullptr;
  std::function<void()> idle;
  std::function<void(const winapi_test::BoxRecord &)> boxHook;
  std::vector<std::string> shell;
};

// Created on first use and never destroyed: the program calls CreateFontA
// during static initialisation, and its worker thread may outlive main().
State &st() {
  static State *s = new State;
  return *s;
}

std::string lower(std::string s) {
  for (char &c : s)
    c = (char)std::tolower((unsigned char)c);
  return s;
}

uintptr_t newHandle() {
  State &s = st();
  s.next += 4;
  return s.next;
}

template <typename H> H gdiHandle(Gdi g) {
  uintptr_t h = newHandle();
  st().gdi.emplace(h, std::move(g));
  return reinterpret_cast<H>(h);
}

Gdi *gdi(const void *h, GdiType type) {
  auto it = st().gdi.find(reinterpret_cast<uintptr_t>(h));
  if (it == st().gdi.end() || it->second.type != type)
    return nullptr;
  return &it->second;
}

// The display is opened at the first call that needs it; without one,
// nothing can be shown and top-level windows cannot be created.
void ensureMode() {
  State &s = st();
  if (s.headless || s.presenter || s.noDisplay)
    return;
  if (openDisplay()) {
    s.presenter = fltkPresenter();
    s.wake = s.presenter->wake;
  } else {
    s.noDisplay = true;
  }
}

const Presenter *presenter() {
  ensureMode();
  return st().headless ? nullptr : st().presenter;
}

void update(Window &w) {
  if (const Presenter *p = presenter())
    p->update(w);
}

LRESULT send(Window *w, UINT msg, WPARAM wp, LPARAM lp) {
  return w ? w->proc(w->handle, msg, wp, lp) : 0;
}

void notifyParent(Window &w, int code) {
  if (Window *parent = find(w.parent))
    SendMessageA(parent->handle, WM_COMMAND, MAKEWPARAM(w.id, code), (LPARAM)w.handle);
}

bool isDescendant(HWND h, const Window &ancestor) {
  for (Window *w = find(h); w; w = find(w->parent))
    if (w == &ancestor)
      return true;
  return false;
}

bool shownOnScreen(const Window &w) {
  for (const Window *p = &w; p; p = find(p->parent))
    if (!p->visible || p->minimized)
      return false;
  return true;
}

// Latin-1 text of a key, for the character message that follows it.
unsigned char keyChar(int vk, int mods) {
  if (mods & (ModCtrl | ModAlt))
    return 0;
  bool shift = mods & ModShift;
  if (vk >= 'A' && vk <= 'Z')
    return (unsigned char)(shift ? vk : vk + 32);
  if (vk >= '0' && vk <= '9' && !shift)
    return (unsigned char)vk;
  return vk == VK_SPACE ? ' ' : controlKeyChar(vk);
}

// Virtual key (and Shift) that types a Latin-1 character.
int charKey(unsigned char c, int *mods) {
  *mods = 0;
  if (c >= 'a' && c <= 'z')
    return c - 32;
  if (c >= 'A' && c <= 'Z') {
    *mods = ModShift;
    return c;
  }
  if (c >= '0' && c <= '9')
    return c;
  switch (c) {
  case ' ':
    return VK_SPACE;
  case '\t':
    return VK_TAB;
  case '\r':
  case '\n':
    return VK_RETURN;
  case 8:
    return VK_BACK;
  case 0x1B:
    return VK_ESCAPE;
  }
  return VK_PACKET; // as the system reports typed characters without a key of their own
}

Queued queued(HWND h, UINT msg, WPARAM wp, LPARAM lp, int mods, bool toFocus) {
  MSG m{};
  m.hwnd = h;
  m.message = msg;
  m.wParam = wp;
  m.lParam = lp;
  return {m, mods, toFocus};
}

void queueInput(HWND h, UINT msg, WPARAM wp, LPARAM lp, int mods, bool toFocus) {
  st().input.push_back(queued(h, msg, wp, lp, mods, toFocus));
}

// ---- Arial metrics -------------------------------------------------------

// Advance widths in 1/1000 em, characters 32..126.
const short kWidths[95] = {
    278, 278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333,  278, 278, 556, 556, 556,
    556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556, 1015, 667, 667, 722, 722, 667,
    611, 778, 722, 278, 500, 667, 556, 833, 722, 778, 667, 778, 722, 667,  611, 722, 667, 944, 667,
    667, 611, 278, 278, 278, 469, 556, 333, 556, 556, 500, 556, 556, 278,  556, 556, 222, 222, 500,
    222, 833, 556, 556, 556, 556, 333, 500, 278, 556, 500, 722, 500, 500,  500, 334, 260, 334, 584};

int charWidth1000(unsigned char c) {
  if (c >= 32 && c <= 126)
    return kWidths[c - 32];
  if (c < 0xC0)
    return c == 0xA0 ? 278 : 556;
  // Accented letters take the width of their base letter.
  static const char base[] = "AAAAAA?CEEEEIIIIDNOOOOO?OUUUUY??aaaaaa?ceeeeiiiidnooooo?ouuuuy?y";
  char b = base[c - 0xC0];
  if (b != '?')
    return charWidth1000((unsigned char)b);
  switch (c) {
  case 0xC6:
    return 1000;
  case 0xD7:
  case 0xF7:
    return 584;
  case 0xDF:
    return 611;
  case 0xE6:
    return 889;
  default:
    return 667;
  }
}

double emPixels(HFONT f) {
  const FontData *d = fontData(f);
  if (!d)
    return 13.0; // the system font when none was set
  if (d->height > 0)
    return d->height * 2048.0 / 2288.0;
  if (d->height < 0)
    return -d->height;
  return 13.0;
}

} // namespace

// ---- Shared helpers ------------------------------------------------------

unsigned char controlKeyChar(int vk) {
  switch (vk) {
  case VK_TAB:
    return '\t';
  case VK_RETURN:
    return '\r';
  case VK_BACK:
    return 8;
  case VK_ESCAPE:
    return 0x1B;
  }
  return 0;
}

Window *find(HWND h) {
  if (!h)
    return nullptr;
  auto &ws = st().windows;
  auto it = ws.find(reinterpret_cast<uintptr_t>(h));
  if (it == ws.end() || it->second->destroyed)
    return nullptr;
  return it->second.get();
}

Window *topLevelOf(Window *w) {
  while (w && find(w->parent))
    w = find(w->parent);
  return w;
}

bool hasFrame(const Window &w) { return !(w.style & WS_CHILD) && (w.style & WS_CAPTION); }
int clientOffsetX(const Window &w) { return hasFrame(w) ? kFrame : 0; }
int clientOffsetY(const Window &w) { return hasFrame(w) ? kFrame + kCaption : 0; }
int clientWidth(const Window &w) { return w.w - (hasFrame(w) ? 2 * kFrame : 0); }
int clientHeight(const Window &w) { return w.h - (hasFrame(w) ? 2 * kFrame + kCaption : 0); }

const FontData *fontData(HFONT f) {
  Gdi *g = gdi(f, GdiType::Font);
  return g ? &g->font : nullptr;
}

int fontPixelSize(HFONT f) { return (int)std::lround(emPixels(f)); }

// Ascent plus descent: Arial's 2288 units per 2048 of the em.
int fontCellHeight(HFONT f) { return (int)std::lround(emPixels(f) * 2288.0 / 2048.0); }

const Image *brushImage(HBRUSH b) {
  Gdi *g = gdi(b, GdiType::PatternBrush);
  return g ? g->image.get() : nullptr;
}

bool brushColor(HBRUSH b, COLORREF *color) {
  Gdi *g = gdi(b, GdiType::SolidBrush);
  if (g)
    *color = g->color;
  return g != nullptr;
}

const std::vector<Image> *iconImages(HICON i) {
  Gdi *g = gdi(i, GdiType::Icon);
  return g && g->icons ? g->icons.get() : nullptr;
}

int textWidth(const std::string &latin1, HFONT font) {
  double em = emPixels(font);
  int total = 0;
  for (unsigned char c : latin1) // GDI rounds each advance to whole pixels
    total += (int)std::lround(charWidth1000(c) * em / 1000.0);
  return total;
}

int editTextRoom(const Window &w) {
  if (w.kind == Kind::Combo) // 3D border, drop-down button, margins
    return w.w - 2 * 3 - 17 - 2 * 3;
  int border = (w.style & WS_BORDER) ? 1 : 0;
  if (w.exStyle & WS_EX_CLIENTEDGE)
    border = 2;
  return w.w - 2 * border - 2 * 3;
}

std::string staticShownText(const Window &w) {
  if (w.kind != Kind::Static || !(w.style & SS_ENDELLIPSIS) || textWidth(w.text, w.font) <= w.w)
    return w.text;
  std::string cut = w.text;
  while (!cut.empty() && textWidth(cut + "...", w.font) > w.w)
    cut.pop_back();
  return cut + "...";
}

void paintStatic(Window &w) {
  Gdi fresh(GdiType::DC);
  fresh.back = kButtonFace;
  HDC dc = gdiHandle<HDC>(fresh);
  Window *parent = find(w.parent);
  HBRUSH brush =
      (HBRUSH)(parent
                   ? SendMessageA(parent->handle, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)w.handle)
                   : DefWindowProcA(w.handle, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)w.handle));
  Gdi *g = gdi(dc, GdiType::DC);
  COLORREF fill = g->back;
  if (!brushColor(brush, &fill) && !brushImage(brush))
    fill = kButtonFace; // no usable brush: the face colour shows
  bool changed =
      !w.painted || w.textColor != g->text || w.backColor != g->back || w.brushColor != fill;
  w.painted = true;
  w.textColor = g->text;
  w.backColor = g->back;
  w.brushColor = fill;
  st().gdi.erase(reinterpret_cast<uintptr_t>(dc));
  if (changed && find(w.handle))
    update(w);
}

void postKey(bool down, int vk, unsigned char ch, int mods) {
  bool sys = (mods & ModAlt) && !(mods & ModCtrl);
  UINT msg = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  DWORD lp = 1u | ((DWORD)ch << 16) | ((mods & ModAlt) ? 1u << 29 : 0) | (down ? 0 : 3u << 30);
  queueInput(nullptr, msg, (WPARAM)vk, (LPARAM)lp, mods, true);
}

void postMouse(HWND w, UINT msg, int x, int y) {
  queueInput(w, msg, msg == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y), st().mods, false);
}

void postComboChoice(HWND combo, int index) {
  queueInput(combo, kChooseItem, (WPARAM)index, 0, st().mods, false);
}

void postListDismissed(HWND combo) { queueInput(combo, kDismissList, 0, 0, st().mods, false); }

void postClose(HWND topLevel) {
  queueInput(topLevel, WM_SYSCOMMAND, SC_CLOSE, 0, st().mods, false);
}

bool postedPending() {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.postLock);
  return !s.posted.empty();
}

bool inputPending() {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.postLock);
  return !s.posted.empty() || !s.input.empty() || s.quit;
}

// ---- Controls ------------------------------------------------------------

namespace {

void setText(Window &w, std::string text, bool notify) {
  if (text == w.text)
    return;
  w.text = std::move(text);
  w.needsPaint = true;
  update(w);
  if (notify)
    notifyParent(w, w.kind == Kind::Combo ? CBN_EDITCHANGE : EN_CHANGE);
}

// A character typed into an edit field or a combo box's edit part. Without
// ES_AUTOHSCROLL the field takes only what fits its visible width.
void typeChar(Window &w, unsigned char c) {
  if (w.style & ES_READONLY)
    return;
  std::string t = w.text;
  if (w.kind == Kind::Combo && w.textSelected) {
    // A key replaces the selected text; Backspace only deletes it.
    w.textSelected = false;
    t.clear();
    if (c == 8) {
      setText(w, t, true);
      update(w);
      return;
    }
  }
  if (c == 8) {
    if (t.empty())
      return;
    t.pop_back();
  } else if (c >= 0x20 && c != 0x7F) {
    t += (char)c;
    bool autoScroll =
        w.kind == Kind::Combo ? (w.style & CBS_AUTOHSCROLL) : (w.style & ES_AUTOHSCROLL);
    std::string shown =
        (w.style & ES_PASSWORD) && w.kind == Kind::Edit ? std::string(t.size(), '*') : t;
    if (!autoScroll && textWidth(shown, w.font) > editTextRoom(w))
      return; // refused, as the control beeps
  } else {
    return;
  }
  if (w.kind == Kind::Combo) {
    // The list follows what is typed, without telling the parent.
    w.sel = -1;
    for (size_t i = 0; i < w.items.size() && !t.empty(); ++i)
      if (lower(w.items[i]).compare(0, t.size(), lower(t)) == 0) {
        w.sel = (int)i;
        break;
      }
    if (w.dropped)
      w.hot = w.sel;
  }
  setText(w, t, true);
}

void selectItem(Window &w, int index, bool notify) {
  if (index < 0 || index >= (int)w.items.size())
    return;
  w.sel = index;
  HWND h = w.handle;
  if (notify)
    notifyParent(w, CBN_SELCHANGE);
  // The edit part shows the choice once the list has reported it, selected
  // while the box has the focus.
  if (Window *still = find(h)) {
    still->textSelected = GetFocus() == h;
    setText(*still, still->items[index], false);
    update(*still);
  }
}

// The edit part's text is selected whenever the box takes the focus, and
// only while it has it.
void selectComboText(Window &w, bool on) {
  if (w.textSelected == on)
    return;
  w.textSelected = on;
  update(w);
}

// The drop-down list opens with the selection highlighted.
void openList(Window &w) {
  if (w.dropped)
    return;
  HWND h = w.handle;
  notifyParent(w, CBN_DROPDOWN);
  if (Window *still = find(h)) {
    still->dropped = true;
    still->hot = still->sel;
    update(*still);
  }
}

// Closes the list; with choose, its highlighted entry becomes the selection
// (CBN_SELCHANGE), otherwise nothing changes.
void closeList(Window &w, bool choose) {
  if (!w.dropped)
    return;
  w.dropped = false;
  int hot = w.hot;
  HWND h = w.handle;
  update(w);
  notifyParent(w, CBN_CLOSEUP);
  Window *still = find(h);
  if (choose && still && hot >= 0)
    selectItem(*still, hot, true);
}

// Keys of a combo box. Closed: Down/Up step the selection, each step
// reported. Open: Down/Up move the highlight, Enter chooses, Escape closes
// without change. F4 (and Alt+Down/Up, sent as system keys) open the list or
// close it choosing.
// The entry after (Down) or before (Up) `from`, the first when there is
// none; -1 when that leaves the list.
int stepped(int from, WPARAM vk, int n) {
  int next = from < 0 ? 0 : from + (vk == VK_DOWN ? 1 : -1);
  return next >= 0 && next < n && next != from ? next : -1;
}

void comboKey(Window &w, WPARAM vk) {
  bool arrow = vk == VK_DOWN || vk == VK_UP;
  int next;
  if (vk == VK_F4) {
    if (w.dropped)
      closeList(w, true);
    else
      openList(w);
  } else if (w.dropped) {
    if (vk == VK_RETURN) {
      closeList(w, true);
    } else if (vk == VK_ESCAPE) {
      closeList(w, false);
    } else if (arrow && (next = stepped(w.hot, vk, (int)w.items.size())) >= 0) {
      w.hot = next;
      update(w);
    }
  } else if (arrow && (next = stepped(w.sel, vk, (int)w.items.size())) >= 0) {
    selectItem(w, next, true);
  }
}

LRESULT comboMessage(Window &w, UINT msg, WPARAM wp, LPARAM lp) {
  int n = (int)w.items.size();
  switch (msg) {
  case CB_ADDSTRING:
    w.items.push_back(lp ? (const char *)lp : "");
    update(w);
    return n;
  case CB_DELETESTRING:
    if ((int)wp < 0 || (int)wp >= n)
      return CB_ERR;
    w.items.erase(w.items.begin() + (int)wp);
    for (int *i : {&w.sel, &w.hot})
      if (*i == (int)wp)
        *i = -1;
      else if (*i > (int)wp)
        --*i;
    update(w);
    return n - 1;
  case CB_GETCOUNT:
    return n;
  case CB_GETCURSEL:
    return w.sel;
  case CB_SETCURSEL:
    if ((int)wp < 0 || (int)wp >= n) {
      w.sel = -1;
      setText(w, "", false);
      return CB_ERR;
    }
    selectItem(w, (int)wp, false);
    return (int)wp;
  case CB_GETLBTEXT:
    if ((int)wp < 0 || (int)wp >= n || !lp)
      return CB_ERR;
    std::memcpy((char *)lp, w.items[wp].c_str(), w.items[wp].size() + 1);
    return (LRESULT)w.items[wp].size();
  case CB_GETLBTEXTLEN:
    if ((int)wp < 0 || (int)wp >= n)
      return CB_ERR;
    return (LRESULT)w.items[wp].size();
  case CB_RESETCONTENT:
    w.items.clear();
    w.sel = w.hot = -1;
    setText(w, "", false);
    update(w);
    return CB_OKAY;
  case CB_SHOWDROPDOWN:
    if (wp)
      openList(w);
    else
      closeList(w, false);
    return TRUE;
  case CB_GETDROPPEDSTATE:
    return w.dropped ? TRUE : FALSE;
  }
  return 0;
}

LRESULT CALLBACK controlProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window *w = find(h);
  if (!w)
    return 0;
  switch (msg) {
  case WM_SETFONT:
    w->font = (HFONT)wp;
    if (LOWORD(lp))
      w->needsPaint = true;
    update(*w);
    return 0;
  case WM_GETFONT:
    return (LRESULT)w->font;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(h, &ps);
    if (w->kind == Kind::Static)
      paintStatic(*w);
    EndPaint(h, &ps);
    return 0;
  }
  case WM_ERASEBKGND:
    return 1;
  case WM_SETTEXT:
    setText(*w, lp ? (const char *)lp : "", false);
    return TRUE;
  }
  switch (w->kind) {
  case Kind::Edit:
  case Kind::Combo: {
    bool combo = w->kind == Kind::Combo;
    switch (msg) {
    case WM_LBUTTONDOWN:
      SetFocus(h);
      // The drop-down button opens the list; a click on the box closes it.
      if (combo && (w = find(h))) {
        bool onButton = (short)LOWORD(lp) >= w->w - kComboArrowWidth;
        if (!onButton)
          selectComboText(*w, false); // the caret goes where the click was
        if (w->dropped)
          closeList(*w, false);
        else if (onButton)
          openList(*w);
      }
      return 0;
    case WM_SETFOCUS:
      if (combo)
        selectComboText(*w, true);
      notifyParent(*w, combo ? CBN_SETFOCUS : EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      if (combo) {
        selectComboText(*w, false);
        closeList(*w, false);
      }
      if ((w = find(h)))
        notifyParent(*w, combo ? CBN_KILLFOCUS : EN_KILLFOCUS);
      return 0;
    case WM_CHAR:
      typeChar(*w, (unsigned char)wp);
      return 0;
    case WM_KEYDOWN:
      if (combo)
        comboKey(*w, wp);
      return 0;
    case WM_SYSKEYDOWN:
      if (combo && (wp == VK_DOWN || wp == VK_UP)) {
        comboKey(*w, VK_F4);
        return 0;
      }
      break;
    case kChooseItem:
      if (combo && w->dropped) {
        w->hot = (int)wp;
        closeList(*w, true);
      } else if (combo) {
        selectItem(*w, (int)wp, true);
      }
      return 0;
    case kDismissList:
      if (combo)
        closeList(*w, false);
      return 0;
    }
    if (combo && msg >= CB_ADDSTRING && msg <= CB_GETDROPPEDSTATE)
      return comboMessage(*w, msg, wp, lp);
    break;
  }
  case Kind::Button:
    switch (msg) {
    case WM_LBUTTONDOWN:
      SetFocus(h);
      if ((w = find(h))) {
        w->pressed = true;
        update(*w);
      }
      return 0;
    case WM_LBUTTONUP: {
      if (!w->pressed)
        return 0;
      w->pressed = false;
      update(*w);
      int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
      if (x >= 0 && y >= 0 && x < w->w && y < w->h)
        notifyParent(*w, BN_CLICKED);
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_SPACE) {
        w->pressed = true;
        update(*w);
      }
      return 0;
    case WM_KEYUP:
      if (wp == VK_SPACE && w->pressed) {
        w->pressed = false;
        update(*w);
        notifyParent(*w, BN_CLICKED);
      }
      return 0;
    case WM_KILLFOCUS:
      if (w->pressed) {
        w->pressed = false;
        update(*w);
      }
      return 0;
    }
    break;
  default:
    break;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

void registerBuiltins() {
  State &s = st();
  if (!s.classes.empty())
    return;
  const std::pair<const char *, Kind> builtins[] = {{"Static", Kind::Static},
                                                    {"Edit", Kind::Edit},
                                                    {"Button", Kind::Button},
                                                    {"ComboBox", Kind::Combo}};
  for (auto &b : builtins)
    s.classes[lower(b.first)] =
        ClassInfo{b.first, controlProc, b.second, nullptr, nullptr, nullptr};
}

// The first window needing WM_PAINT in the tree under h: parents before
// children, in creation order.
Window *firstDirty(HWND h) {
  Window *w = find(h);
  if (!w || !w->visible || w->minimized)
    return nullptr;
  if (w->needsPaint)
    return w;
  for (HWND c : w->children)
    if (Window *d = firstDirty(c))
      return d;
  return nullptr;
}

bool inFilter(UINT msg, UINT filterMin, UINT filterMax) {
  return (filterMin == 0 && filterMax == 0) || (msg >= filterMin && msg <= filterMax);
}

// Takes (or, without remove, only looks at) the next message in Win32's
// order whose number is in the filter (0, 0: any); false when there is none.
bool takeMessage(MSG *out, UINT filterMin = 0, UINT filterMax = 0, bool remove = true) {
  State &s = st();
  ensureMode();
  {
    std::lock_guard<std::mutex> lock(s.postLock);
    for (auto it = s.posted.begin(); it != s.posted.end(); ++it)
      if (inFilter(it->msg.message, filterMin, filterMax)) {
        *out = it->msg;
        if (remove)
          s.posted.erase(it);
        out->time = ++s.time;
        return true;
      }
  }
  if (s.quit && inFilter(WM_QUIT, filterMin, filterMax)) {
    if (remove)
      s.quit = false;
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = (WPARAM)s.quitCode;
    out->time = ++s.time;
    return true;
  }
  for (auto it = s.input.begin(); it != s.input.end();) {
    if (!inFilter(it->msg.message, filterMin, filterMax)) {
      ++it;
      continue;
    }
    Queued q = *it;
    if (q.toFocus)
      q.msg.hwnd = s.focus ? s.focus : (find(s.active) ? s.active : nullptr);
    Window *target = find(q.msg.hwnd);
    // No window to take it, or the owner of an open message box, which is
    // disabled.
    if (!target || topLevelOf(target)->disabled) {
      it = remove ? s.input.erase(it) : it + 1;
      continue;
    }
    if (remove) {
      s.input.erase(it);
      s.mods = q.mods;
    }
    *out = q.msg;
    out->time = ++s.time;
    return true;
  }
  // Paint last.
  if (!inFilter(WM_PAINT, filterMin, filterMax))
    return false;
  Window *w = nullptr;
  for (HWND t : s.tops)
    if ((w = firstDirty(t)))
      break;
  if (!w)
    return false;
  *out = MSG{};
  out->hwnd = w->handle;
  out->message = WM_PAINT;
  out->time = ++s.time;
  return true;
}

void purgeQueued(HWND h) {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.postLock);
  s.postable.erase(reinterpret_cast<uintptr_t>(h));
  for (auto *q : {&s.posted, &s.input})
    for (auto it = q->begin(); it != q->end();)
      it = (it->msg.hwnd == h) ? q->erase(it) : it + 1;
}

void sendDestroy(HWND h) {
  Window *w = find(h);
  if (!w)
    return;
  send(w, WM_DESTROY, 0, 0);
  if ((w = find(h)))
    for (HWND c : std::vector<HWND>(w->children))
      sendDestroy(c);
}

// Marks the whole tree gone before WM_NCDESTROY, so nothing reaches it.
void markDestroyed(HWND h) {
  auto it = st().windows.find(reinterpret_cast<uintptr_t>(h));
  if (it == st().windows.end())
    return;
  it->second->destroyed = true;
  {
    std::lock_guard<std::mutex> lock(st().postLock);
    st().postable.erase(reinterpret_cast<uintptr_t>(h));
  }
  for (HWND c : it->second->children)
    markDestroyed(c);
}

void finishDestroy(HWND h) {
  State &s = st();
  auto it = s.windows.find(reinterpret_cast<uintptr_t>(h));
  if (it == s.windows.end())
    return;
  Window *w = it->second.get();
  for (HWND c : std::vector<HWND>(w->children))
    finishDestroy(c);
  w->proc(h, WM_NCDESTROY, 0, 0);
  if (const Presenter *p = presenter())
    p->destroy(*w);
  std::vector<HWND> &list = s.windows.count(reinterpret_cast<uintptr_t>(w->parent))
                                ? s.windows[reinterpret_cast<uintptr_t>(w->parent)]->children
                                : s.tops;
  list.erase(std::remove(list.begin(), list.end(), h), list.end());
  purgeQueued(h);
  if (s.active == h)
    s.active = nullptr;
  s.windows.erase(it);
}

std::vector<std::string> buttonsFor(UINT type, std::vector<int> *answers, int *closeAnswer) {
  std::vector<std::string> labels;
  std::vector<int> ids;
  switch (type & MB_TYPEMASK) {
  case MB_OKCANCEL:
    labels = {"OK", "Cancelar"}, ids = {IDOK, IDCANCEL};
    break;
  case MB_ABORTRETRYIGNORE:
    labels = {"Anular", "Repetir", "Ignorar"}, ids = {IDABORT, IDRETRY, IDIGNORE};
    break;
  case MB_YESNOCANCEL:
    labels = {"Sim", "N\xe3o", "Cancelar"}, ids = {IDYES, IDNO, IDCANCEL};
    break;
  case MB_YESNO:
    labels = {"Sim", "N\xe3o"}, ids = {IDYES, IDNO};
    break;
  case MB_RETRYCANCEL:
    labels = {"Repetir", "Cancelar"}, ids = {IDRETRY, IDCANCEL};
    break;
  default:
    labels = {"OK"}, ids = {IDOK};
  }
  int close = 0; // closing disabled
  for (int id : ids)
    if (id == IDCANCEL)
      close = IDCANCEL;
  if (ids.size() == 1)
    close = IDOK;
  if (answers)
    *answers = ids;
  if (closeAnswer)
    *closeAnswer = close;
  return labels;
}

} // namespace
} // namespace winapi

using namespace winapi;

// ---- Resources -----------------------------------------------------------

void winapiRegisterResource(int id, int type, const unsigned char *data, size_t size) {
  st().resources[{type, id}] = Resource{data, size};
}

void winapiRegisterAccelerators(int id, const ACCEL *entries, int count) {
  st().accelTables[id] = std::vector<ACCEL>(entries, entries + (count > 0 ? count : 0));
}

static const Resource *findResource(int type, LPCSTR name) {
  if (!IS_INTRESOURCE(name))
    return nullptr;
  auto it = st().resources.find({type, (int)(uintptr_t)name});
  return it == st().resources.end() ? nullptr : &it->second;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  State &s = st();
  HCURSOR *stock = name == IDC_ARROW ? &s.arrow : name == IDC_WAIT ? &s.waitCursor : nullptr;
  if (instance || !stock)
    return nullptr;
  if (!*stock)
    *stock = gdiHandle<HCURSOR>(Gdi(GdiType::Cursor));
  return *stock;
}

HCURSOR WINAPI GetCursor(void) {
  State &s = st();
  return s.cursorSet ? s.cursor : LoadCursorA(nullptr, IDC_ARROW);
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  State &s = st();
  HCURSOR old = GetCursor();
  if (cursor && !gdi(cursor, GdiType::Cursor))
    return old;
  s.cursor = cursor;
  s.cursorSet = true;
  if (const Presenter *p = presenter())
    p->cursor(!cursor                  ? Presenter::Hidden
              : cursor == s.waitCursor ? Presenter::Wait
                                       : Presenter::Arrow);
  return old;
}

// A registered image resource, decoded; nullptr when missing or damaged.
template <typename T>
static std::shared_ptr<T> decodeResource(int type, LPCSTR name,
                                         bool (*decode)(const unsigned char *, size_t, T *)) {
  const Resource *r = findResource(type, name);
  auto out = std::make_shared<T>();
  return r && decode(r->data, r->size, out.get()) ? out : nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  Gdi g(GdiType::Icon);
  if (!instance && name == IDI_APPLICATION)
    return gdiHandle<HICON>(g);
  if (!(g.icons = decodeResource(14, name, decodeIco)))
    return nullptr;
  return gdiHandle<HICON>(g);
}

HBITMAP WINAPI LoadBitmapA(HINSTANCE, LPCSTR name) {
  Gdi g(GdiType::Bitmap);
  if (!(g.image = decodeResource(2, name, decodeBmp)))
    return nullptr;
  return gdiHandle<HBITMAP>(g);
}

HACCEL WINAPI LoadAcceleratorsA(HINSTANCE, LPCSTR name) {
  if (!IS_INTRESOURCE(name))
    return nullptr;
  State &s = st();
  int id = (int)(uintptr_t)name;
  auto it = s.accelTables.find(id);
  if (it == s.accelTables.end())
    return nullptr;
  HACCEL &h = s.loadedAccels[id];
  if (!gdi(h, GdiType::Accel)) {
    Gdi g(GdiType::Accel);
    g.accel = it->second;
    h = gdiHandle<HACCEL>(g);
  }
  return h;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  return name ? nullptr : reinterpret_cast<HMODULE>(0x400000);
}

// ---- GDI -----------------------------------------------------------------

HFONT WINAPI CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD,
                         DWORD, DWORD, DWORD, DWORD, LPCSTR face) {
  Gdi g(GdiType::Font);
  g.font.height = height;
  g.font.weight = weight;
  g.font.italic = italic != 0;
  g.font.face = face ? face : "";
  return gdiHandle<HFONT>(g);
}

HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap) {
  Gdi *b = gdi(bitmap, GdiType::Bitmap);
  if (!b)
    return nullptr;
  Gdi g(GdiType::PatternBrush);
  g.image = b->image;
  return gdiHandle<HBRUSH>(g);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  Gdi g(GdiType::SolidBrush);
  g.color = color & 0xFFFFFF;
  return gdiHandle<HBRUSH>(g);
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
  Gdi *g = gdi(dc, GdiType::DC);
  if (!g)
    return CLR_INVALID;
  COLORREF old = g->text;
  g->text = color & 0xFFFFFF;
  return old;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color) {
  Gdi *g = gdi(dc, GdiType::DC);
  if (!g)
    return CLR_INVALID;
  COLORREF old = g->back;
  g->back = color & 0xFFFFFF;
  return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  auto &m = st().gdi;
  auto it = m.find(reinterpret_cast<uintptr_t>(object));
  if (it == m.end() || it->second.type == GdiType::DC || it->second.type == GdiType::Accel)
    return FALSE;
  m.erase(it);
  return TRUE;
}

// ---- Windows -------------------------------------------------------------

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc) {
  registerBuiltins();
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpfnWndProc || !wc->lpszClassName ||
      IS_INTRESOURCE(wc->lpszClassName) || !*wc->lpszClassName)
    return 0;
  State &s = st();
  std::string key = lower(wc->lpszClassName);
  if (s.classes.count(key))
    return 0;
  s.classes[key] = ClassInfo{wc->lpszClassName, wc->lpfnWndProc, Kind::Custom,
                             wc->hbrBackground, wc->hIcon,       wc->hIconSm};
  return (ATOM)(0xC000 + s.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  registerBuiltins();
  ensureMode();
  State &s = st();
  if (!className || IS_INTRESOURCE(className))
    return nullptr;
  auto cls = s.classes.find(lower(className));
  if (cls == s.classes.end())
    return nullptr;
  Window *parentWindow = find(parent);
  if ((style & WS_CHILD) && !parentWindow)
    return nullptr;
  if (!(style & WS_CHILD) && !s.headless && s.noDisplay)
    return nullptr; // nowhere to show it
  auto owned = std::make_unique<Window>();
  Window *w = owned.get();
  HWND h = reinterpret_cast<HWND>(newHandle());
  w->handle = h;
  w->kind = cls->second.kind;
  w->cls = className;
  w->proc = cls->second.proc;
  w->background = cls->second.background;
  w->icon = cls->second.icon;
  w->iconSm = cls->second.iconSm;
  w->text = windowName ? windowName : "";
  w->style = style;
  w->exStyle = exStyle;
  if (style & WS_CHILD) {
    w->parent = parent;
    w->id = (int)(intptr_t)menu;
  }
  if (!(style & WS_CHILD) && x == CW_USEDEFAULT)
    x = y = 100;
  if (!(style & WS_CHILD) && width == CW_USEDEFAULT)
    width = 400, height = 300;
  w->x = x, w->y = y, w->w = width, w->h = height;
  w->visible = (style & WS_CHILD) && (style & WS_VISIBLE);
  w->needsPaint = w->needsErase = w->visible;
  s.windows.emplace(reinterpret_cast<uintptr_t>(h), std::move(owned));
  {
    std::lock_guard<std::mutex> lock(s.postLock);
    s.postable.insert(reinterpret_cast<uintptr_t>(h));
  }
  if (parentWindow)
    parentWindow->children.push_back(h);
  else
    s.tops.push_back(h);
  if (const Presenter *p = presenter())
    p->create(*w);

  CREATESTRUCTA cs{param, instance, menu,        parent,     height,    width,
                   y,     x,        (LONG)style, windowName, className, exStyle};
  if (!w->proc(h, WM_NCCREATE, 0, (LPARAM)&cs) || !find(h)) {
    DestroyWindow(h);
    return nullptr;
  }
  if (w->proc(h, WM_CREATE, 0, (LPARAM)&cs) == -1 || !find(h)) {
    DestroyWindow(h);
    return nullptr;
  }
  w->proc(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth(*w), clientHeight(*w)));
  if (!find(h))
    return nullptr;
  w->proc(h, WM_MOVE, 0, MAKELPARAM(w->x + clientOffsetX(*w), w->y + clientOffsetY(*w)));
  if (!find(h))
    return nullptr;
  if (parentWindow && !(exStyle & WS_EX_NOPARENTNOTIFY) && find(parent))
    SendMessageA(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, w->id), (LPARAM)h);
  if (!find(h))
    return nullptr;
  if (!(style & WS_CHILD) && (style & WS_VISIBLE))
    ShowWindow(h, SW_SHOW);
  return h;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
  Window *w = find(hwnd);
  if (!w)
    return FALSE;
  BOOL was = w->visible;
  bool minimize = cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED;
  if (cmd == SW_HIDE) {
    w->visible = false;
  } else {
    w->visible = true;
    w->minimized = minimize;
  }
  if (w->visible && !was) {
    w->needsPaint = w->needsErase = true;
    send(w, WM_SHOWWINDOW, TRUE, 0);
  }
  if ((w = find(hwnd)) && !(w->style & WS_CHILD) && w->visible && !minimize) {
    st().active = hwnd;
    send(w, WM_ACTIVATE, 1, 0);
  }
  if ((w = find(hwnd)))
    if (const Presenter *p = presenter())
      p->show(*w);
  return was;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
  Window *w = find(hwnd);
  if (!w)
    return FALSE;
  if (w->needsPaint && w->visible)
    send(w, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *, BOOL erase) {
  Window *w = find(hwnd);
  if (!w)
    return FALSE;
  w->needsPaint = true;
  w->needsErase = w->needsErase || erase;
  update(*w);
  return TRUE;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  Window *w = find(hwnd);
  if (!w)
    return FALSE;
  State &s = st();
  if (w->parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
    SendMessageA(w->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, w->id), (LPARAM)hwnd);
  if (!(w = find(hwnd)))
    return FALSE;
  if (s.focus && isDescendant(s.focus, *w))
    SetFocus(w->parent && find(w->parent) ? w->parent : nullptr);
  if (!(w = find(hwnd)))
    return FALSE;
  w->visible = false;
  sendDestroy(hwnd);
  if (!find(hwnd))
    return TRUE;
  markDestroyed(hwnd);
  finishDestroy(hwnd);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) { return find(hwnd) != nullptr; }

HWND WINAPI GetParent(HWND hwnd) {
  Window *w = find(hwnd);
  return w && find(w->parent) ? w->parent : nullptr;
}

BOOL WINAPI GetClientRect(HWND hwnd, RECT *rect) {
  Window *w = find(hwnd);
  if (!w || !rect)
    return FALSE;
  *rect = RECT{0, 0, clientWidth(*w), clientHeight(*w)};
  return TRUE;
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR text, int maxCount) {
  if (!text || maxCount <= 0)
    return 0;
  text[0] = 0;
  if (!find(hwnd))
    return 0;
  return (int)SendMessageA(hwnd, WM_GETTEXT, (WPARAM)maxCount, (LPARAM)text);
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
  return find(hwnd) ? (BOOL)SendMessageA(hwnd, WM_SETTEXT, 0, (LPARAM)text) : FALSE;
}

HWND WINAPI GetFocus(void) { return find(st().focus) ? st().focus : nullptr; }

HWND WINAPI SetFocus(HWND hwnd) {
  State &s = st();
  HWND old = GetFocus();
  if (hwnd && !find(hwnd))
    return nullptr;
  if (hwnd == old)
    return old;
  s.focus = hwnd;
  if (Window *o = find(old))
    send(o, WM_KILLFOCUS, (WPARAM)hwnd, 0);
  if (s.focus != hwnd) // moved again meanwhile
    return old;
  if (const Presenter *p = presenter())
    p->focus(find(hwnd));
  if (Window *n = find(hwnd))
    send(n, WM_SETFOCUS, (WPARAM)old, 0);
  return old;
}

SHORT WINAPI GetKeyState(int vk) {
  int mods = st().mods;
  bool down = (vk == VK_SHIFT && (mods & ModShift)) || (vk == VK_CONTROL && (mods & ModCtrl)) ||
              (vk == VK_MENU && (mods & ModAlt));
  return down ? (SHORT)0x8000 : 0;
}

// ---- Messages ------------------------------------------------------------

LRESULT WINAPI SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return send(find(hwnd), msg, wParam, lParam);
}

// Callable from any thread: only the queue and the set of live handles are
// touched, under their lock; then the toolkit's wait is woken.
BOOL WINAPI PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  State &s = st();
  {
    std::lock_guard<std::mutex> lock(s.postLock);
    if (hwnd && !s.postable.count(reinterpret_cast<uintptr_t>(hwnd)))
      return FALSE;
    s.posted.push_back(queued(hwnd, msg, wParam, lParam, 0, false));
  }
  s.postedCv.notify_all();
  if (void (*wake)() = s.wake.load())
    wake();
  return TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg || hwnd || (removeMsg & ~PM_NOYIELD) > PM_REMOVE)
    return FALSE;
  // What the toolkit has (exposed windows, input) becomes messages first.
  if (const Presenter *p = presenter())
    p->flush();
  return takeMessage(msg, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int exitCode) {
  st().quit = true;
  st().quitCode = exitCode;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg || hwnd || filterMin || filterMax)
    return -1;
  State &s = st();
  while (true) {
    const Presenter *p = presenter();
    if (p)
      p->flush();
    if (takeMessage(msg))
      return msg->message != WM_QUIT;
    if (s.idle) {
      std::function<void()> step = s.idle; // the step may replace the script
      step();
      if (takeMessage(msg))
        return msg->message != WM_QUIT;
    }
    if (!p) {
      std::fprintf(stderr, "winapi: GetMessageA has nothing to return and no display to wait on "
                           "(headless; the idle script queued no input)\n");
      std::abort();
    }
    p->wait();
  }
}

int WINAPI TranslateAcceleratorA(HWND hwnd, HACCEL accel, LPMSG msg) {
  Gdi *table = gdi(accel, GdiType::Accel);
  if (!table || !msg || !find(hwnd))
    return 0;
  bool key = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
  bool chr = msg->message == WM_CHAR || msg->message == WM_SYSCHAR;
  if (!key && !chr)
    return 0;
  int mods = st().mods;
  for (const ACCEL &a : table->accel) {
    bool virt = a.fVirt & FVIRTKEY;
    if (virt != key || a.key != msg->wParam)
      continue;
    if (virt && (((a.fVirt & FSHIFT) != 0) != ((mods & ModShift) != 0) ||
                 ((a.fVirt & FCONTROL) != 0) != ((mods & ModCtrl) != 0)))
      continue;
    if (((a.fVirt & FALT) != 0) != ((mods & ModAlt) != 0))
      continue;
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
    return 1;
  }
  return 0;
}

BOOL WINAPI TranslateMessage(const MSG *msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
    return FALSE;
  unsigned char ch = (unsigned char)(((DWORD)msg->lParam >> 16) & 0xFF);
  if (ch) {
    MSG m = *msg;
    m.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    m.wParam = ch;
    std::lock_guard<std::mutex> lock(st().postLock);
    st().posted.push_front({m, st().mods, false});
  }
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *msg) {
  if (!msg)
    return 0;
  return send(find(msg->hwnd), msg->message, msg->wParam, msg->lParam);
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  Window *w = find(hwnd);
  if (!w || !ps)
    return nullptr;
  HDC dc = gdiHandle<HDC>(Gdi(GdiType::DC));
  *ps = PAINTSTRUCT{};
  ps->hdc = dc;
  ps->rcPaint = RECT{0, 0, clientWidth(*w), clientHeight(*w)};
  w->needsPaint = false;
  if (w->needsErase) {
    w->needsErase = false;
    ps->fErase = send(w, WM_ERASEBKGND, (WPARAM)dc, 0) == 0;
  }
  return dc;
}

BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT *ps) {
  if (!ps)
    return FALSE;
  st().gdi.erase(reinterpret_cast<uintptr_t>(ps->hdc));
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = find(hwnd);
  if (!w)
    return 0;
  switch (msg) {
  case WM_NCCREATE:
    return TRUE;
  case WM_CLOSE:
    DestroyWindow(hwnd);
    return 0;
  case WM_SYSCOMMAND:
    if ((wParam & 0xFFF0) == SC_CLOSE)
      SendMessageA(hwnd, WM_CLOSE, 0, 0);
    else if ((wParam & 0xFFF0) == SC_MINIMIZE)
      ShowWindow(hwnd, SW_MINIMIZE);
    return 0;
  case WM_SYSKEYDOWN:
    if (wParam == VK_F4 && (lParam & (1 << 29)))
      SendMessageA(topLevelOf(w)->handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  case WM_ACTIVATE:
    if (LOWORD(wParam) && !(st().focus && isDescendant(st().focus, *w)))
      SetFocus(hwnd);
    return 0;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
  }
  case WM_ERASEBKGND:
    // The presenter fills the class brush when it draws the window.
    return w->background ? 1 : 0;
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORBTN: {
    SetTextColor((HDC)wParam, RGB(0, 0, 0));
    SetBkColor((HDC)wParam, kButtonFace);
    State &s = st();
    if (!gdi(s.faceBrush, GdiType::SolidBrush))
      s.faceBrush = CreateSolidBrush(kButtonFace);
    return (LRESULT)s.faceBrush;
  }
  case WM_SETTEXT:
    w->text = lParam ? (const char *)lParam : "";
    update(*w);
    return TRUE;
  case WM_GETTEXT: {
    if (!lParam || wParam == 0)
      return 0;
    size_t n = std::min(w->text.size(), (size_t)wParam - 1);
    std::memcpy((char *)lParam, w->text.data(), n);
    ((char *)lParam)[n] = 0;
    return (LRESULT)n;
  }
  case WM_GETTEXTLENGTH:
    return (LRESULT)w->text.size();
  }
  return 0;
}

// ---- Message box and shell -------------------------------------------------

namespace winapi {

// One turn of a message box's own loop: what is queued is dispatched as the
// program's loop would, but without its accelerators; input for the box's
// disabled owner is dropped. False once a quit message is pending: the box
// ends and leaves it for the program's loop.
bool runBoxLoop() {
  State &s = st();
  MSG m;
  while (!s.quit || postedPending()) {
    if (!takeMessage(&m))
      return true;
    if (m.message == WM_QUIT) { // taken ahead of the posted ones: keep it
      s.quit = true;
      s.quitCode = (int)m.wParam;
      return false;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return false;
}

} // namespace winapi

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  State &s = st();
  std::vector<int> ids;
  int closeAnswer = 0;
  std::vector<std::string> labels = buttonsFor(type, &ids, &closeAnswer);
  std::string t = text ? text : "", c = caption ? caption : "";
  s.boxes.push_back({owner, t, c, type, labels});
  if (s.boxHook) {
    auto hook = s.boxHook;                         // the hook may replace itself
    winapi_test::BoxRecord shown = s.boxes.back(); // or show a box of its own
    hook(shown);
  }
  // The box takes the keyboard: an open drop-down list closes first.
  if (Window *f = find(s.focus))
    if (f->kind == Kind::Combo)
      closeList(*f, false);
  if (!s.headless && s.noDisplay) {
    // Nowhere to show the box: its words go to standard error, and the
    // box fails as one that cannot be created does.
    std::fprintf(stderr, "%s%s%s\n", latin1ToUtf8(c).c_str(), c.empty() ? "" : ": ",
                 latin1ToUtf8(t).c_str());
    return 0;
  }
  // The owner (its top-level window) is disabled while the box is open; a
  // box without one leaves every window usable, and its loop dispatches
  // what the user does there at once.
  Window *ownerTop = topLevelOf(find(owner));
  HWND disabled = ownerTop && !ownerTop->disabled ? ownerTop->handle : nullptr;
  if (disabled)
    ownerTop->disabled = true;
  int answer;
  const Presenter *p = presenter();
  if (!s.answers.empty() || !p) {
    State::Answer a = s.answers.empty() ? State::Answer{ids.front(), nullptr} : s.answers.front();
    if (!s.answers.empty())
      s.answers.pop_front();
    if (a.meanwhile)
      a.meanwhile();
    answer = runBoxLoop() ? a.answer : 0;
  } else {
    answer = p->messageBox(owner, t, c, type, labels, ids, closeAnswer, runBoxLoop);
  }
  if (Window *o = find(disabled))
    o->disabled = false;
  if (p)
    p->focus(find(s.focus)); // the keyboard returns to where it was
  return answer;
}

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
  if (!file || !*file)
    return reinterpret_cast<HINSTANCE>(2);
  if (verb && std::strcmp(verb, "open") != 0)
    return reinterpret_cast<HINSTANCE>(31);
  st().shell.push_back(file);
  if (!presenter())
    return reinterpret_cast<HINSTANCE>(42);
  // The shell starts xdg-open in the background and ends at once, so the
  // browser is not our child and nothing waits for it.
  const char *argv[] = {"sh", "-c", "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &",
                        "sh", file, nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
    return reinterpret_cast<HINSTANCE>(31);
  int status;
  waitpid(pid, &status, 0);
  return reinterpret_cast<HINSTANCE>(42);
}

// ---- Test hooks ----------------------------------------------------------

namespace winapi_test {

void queueBoxAnswer(int answer, std::function<void()> meanwhile) {
  st().answers.push_back({answer, std::move(meanwhile)});
}
const std::vector<BoxRecord> &shownBoxes() { return st().boxes; }
void resetBoxes() {
  st().answers.clear();
  st().boxes.clear();
}
std::vector<std::string> boxButtons(UINT type) { return buttonsFor(type, nullptr, nullptr); }

void setHeadless(bool on) {
  st().headless = on;
  ensureMode();
}
bool isHeadless() { return st().headless; }

void typeText(HWND control, const std::string &latin1) {
  Window *w = find(control);
  if (!w)
    return;
  postMouse(control, WM_LBUTTONDOWN, 2, 2);
  postMouse(control, WM_LBUTTONUP, 2, 2);
  for (unsigned char c : latin1) {
    int mods;
    int vk = charKey(c, &mods);
    postKey(true, vk, c, mods);
    postKey(false, vk, c, mods);
  }
}

void click(HWND button) {
  Window *w = find(button);
  if (!w)
    return;
  postMouse(button, WM_LBUTTONDOWN, w->w / 2, w->h / 2);
  postMouse(button, WM_LBUTTONUP, w->w / 2, w->h / 2);
}

void chooseComboItem(HWND combo, int index) {
  Window *w = find(combo);
  if (!w)
    return;
  postMouse(combo, WM_LBUTTONDOWN, w->w - 8, kComboClosedHeight / 2);
  postMouse(combo, WM_LBUTTONUP, w->w - 8, kComboClosedHeight / 2);
  postComboChoice(combo, index);
}

void pressKey(int vk, bool shift, bool ctrl, bool alt) {
  int mods = (shift ? ModShift : 0) | (ctrl ? ModCtrl : 0) | (alt ? ModAlt : 0);
  unsigned char ch = keyChar(vk, mods);
  postKey(true, vk, ch, mods);
  postKey(false, vk, ch, mods);
}

void closeWindow(HWND topLevel) {
  if (find(topLevel))
    postClose(topLevel);
}

void setIdleScript(std::function<void()> step) { st().idle = std::move(step); }

bool waitForPosted(int timeoutMs) {
  State &s = st();
  std::unique_lock<std::mutex> lock(s.postLock);
  return s.postedCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&s] { return !s.posted.empty(); });
}

void setBoxHook(std::function<void(const BoxRecord &)> hook) { st().boxHook = std::move(hook); }

int pump(HWND mainWindow, HACCEL accel) {
  State &s = st();
  int count = 0;
  while (true) {
    if (const Presenter *p = presenter())
      p->flush();
    if (s.quit && !postedPending())
      return count;
    MSG m;
    if (!takeMessage(&m))
      return count;
    TranslateAcceleratorA(mainWindow, accel, &m);
    TranslateMessage(&m);
    DispatchMessageA(&m);
    if (++count > 1000000) {
      std::fprintf(stderr, "winapi: pump found no end of messages\n");
      std::abort();
    }
  }
}

bool quitPosted(int *code) {
  if (code && st().quit)
    *code = st().quitCode;
  return st().quit;
}

std::vector<HWND> children(HWND parent) {
  Window *w = find(parent);
  return w ? w->children : std::vector<HWND>{};
}
std::vector<HWND> topLevelWindows() { return st().tops; }
std::string className(HWND w) { return find(w) ? find(w)->cls : ""; }
std::string windowText(HWND w) { return find(w) ? find(w)->text : ""; }
std::string shownText(HWND w) { return find(w) ? staticShownText(*find(w)) : ""; }
int controlId(HWND w) { return find(w) ? find(w)->id : 0; }
Rect geometry(HWND h) {
  Window *w = find(h);
  return w ? Rect{w->x, w->y, w->w, w->h} : Rect{0, 0, 0, 0};
}
Rect clientRect(HWND h) {
  Window *w = find(h);
  return w ? Rect{clientOffsetX(*w), clientOffsetY(*w), clientWidth(*w), clientHeight(*w)}
           : Rect{0, 0, 0, 0};
}
DWORD style(HWND w) { return find(w) ? find(w)->style : 0; }
DWORD exStyle(HWND w) { return find(w) ? find(w)->exStyle : 0; }
HFONT font(HWND w) { return find(w) ? find(w)->font : nullptr; }
bool isAlive(HWND w) { return find(w) != nullptr; }
bool isVisible(HWND w) { return find(w) && shownOnScreen(*find(w)); }
std::vector<std::string> comboItems(HWND combo) {
  return find(combo) ? find(combo)->items : std::vector<std::string>{};
}
int comboSelection(HWND combo) { return find(combo) ? find(combo)->sel : CB_ERR; }
bool comboTextSelected(HWND combo) { return find(combo) && find(combo)->textSelected; }
StaticColors staticColors(HWND label) {
  Window *w = find(label);
  if (!w)
    return {false, 0, 0, 0};
  return {w->painted, w->textColor, w->backColor, w->brushColor};
}
FontInfo fontInfo(HFONT f) {
  const FontData *d = fontData(f);
  if (!d)
    return {0, 0, false, "", 0};
  return {d->height, d->weight, d->italic, d->face, fontPixelSize(f)};
}
std::vector<std::string> shellExecuted() { return st().shell; }

void reset() {
  State &s = st();
  for (HWND h : std::vector<HWND>(s.tops))
    DestroyWindow(h);
  s.tops.clear();
  {
    std::lock_guard<std::mutex> lock(s.postLock);
    s.posted.clear();
  }
  s.input.clear();
  s.quit = false;
  s.quitCode = 0;
  s.focus = s.active = nullptr;
  s.mods = 0;
  s.classes.clear();
  s.answers.clear();
  s.boxes.clear();
  s.idle = nullptr;
  s.boxHook = nullptr;
  s.shell.clear();
  s.cursor = nullptr;
  s.cursorSet = false;
}

} // namespace winapi_test
