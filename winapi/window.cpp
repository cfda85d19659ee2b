// Windows and classes.
// Win32: RegisterClassExA, CreateWindowExA, ShowWindow, DestroyWindow,
// DefWindowProcA, IsWindow, GetParent, GetClientRect, GetWindowTextA,
// SetWindowTextA, GetFocus, SetFocus, GetCursor, SetCursor.
#include <algorithm>
#include <cstring>

#include "controls.h"
#include "message.h"
#include "presenter.h"

namespace winapi {
namespace {

void registerBuiltins() {
  State &s = st();
  if (!s.classes.empty())
    return;
  const struct {
    const char *name;
    WNDPROC proc;
    Kind kind;
  } builtins[] = {{"Static", staticProc, Kind::Static},
                  {"Edit", editProc, Kind::Edit},
                  {"Button", buttonProc, Kind::Button},
                  {"ComboBox", comboProc, Kind::Combo}};
  for (auto &b : builtins)
    s.classes[lower(b.name)] = ClassInfo{b.name, b.proc, b.kind, nullptr, nullptr};
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
  presenter()->destroy(*w);
  std::vector<HWND> &list = s.windows.count(reinterpret_cast<uintptr_t>(w->parent))
                                ? s.windows[reinterpret_cast<uintptr_t>(w->parent)]->children
                                : s.tops;
  list.erase(std::remove(list.begin(), list.end(), h), list.end());
  purgeQueued(h);
  if (s.active == h)
    s.active = nullptr;
  s.windows.erase(it);
}

} // namespace
} // namespace winapi

using namespace winapi;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA *wc) {
  registerBuiltins();
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpfnWndProc || !wc->lpszClassName ||
      IS_INTRESOURCE(wc->lpszClassName) || !*wc->lpszClassName)
    return 0;
  State &s = st();
  std::string key = lower(wc->lpszClassName);
  if (s.classes.count(key))
    return 0;
  // The small icon is not kept: the icon's group gives the window manager
  // every size it has.
  s.classes[key] =
      ClassInfo{wc->lpszClassName, wc->lpfnWndProc, Kind::Custom, wc->hbrBackground, wc->hIcon};
  return (ATOM)(0xC000 + s.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  registerBuiltins();
  State &s = st();
  if (!className || IS_INTRESOURCE(className))
    return nullptr;
  auto cls = s.classes.find(lower(className));
  if (cls == s.classes.end())
    return nullptr;
  Window *parentWindow = find(parent);
  if ((style & WS_CHILD) && !parentWindow)
    return nullptr;
  if (!(style & WS_CHILD) && !presenter()->canShow)
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
  w->text = windowName ? windowName : "";
  w->style = style;
  w->exStyle = exStyle;
  // An edit field asked for with a border gets the sunken client edge
  // instead, as Win32's edit control does when it is created.
  if (w->kind == Kind::Edit && (style & WS_BORDER)) {
    w->style &= ~WS_BORDER;
    w->exStyle |= WS_EX_CLIENTEDGE;
  }
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
  if (w->kind == Kind::Combo)
    w->combo = std::make_unique<ComboState>();
  s.windows.emplace(reinterpret_cast<uintptr_t>(h), std::move(owned));
  {
    std::lock_guard<std::mutex> lock(s.postLock);
    s.postable.insert(reinterpret_cast<uintptr_t>(h));
  }
  if (parentWindow)
    parentWindow->children.push_back(h);
  else
    s.tops.push_back(h);
  presenter()->create(*w);

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
    presenter()->show(*w);
  return was;
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

HWND WINAPI GetFocus(void) {
  State &s = st();
  if (s.boxKeyboard)
    return s.boxButton;
  return find(s.focus) ? s.focus : nullptr;
}

HWND WINAPI SetFocus(HWND hwnd) {
  State &s = st();
  HWND old = GetFocus();
  if (hwnd && !find(hwnd))
    return nullptr;
  if (hwnd == old)
    return old;
  s.boxKeyboard = false; // taken from an open box, whose button is no layer window
  s.focus = hwnd;
  if (Window *o = find(old))
    send(o, WM_KILLFOCUS, (WPARAM)hwnd, 0);
  if (s.focus != hwnd) // moved again meanwhile
    return old;
  presenter()->focus(find(hwnd));
  if (Window *n = find(hwnd))
    send(n, WM_SETFOCUS, (WPARAM)old, 0);
  return old;
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
  presenter()->cursor(!cursor                  ? Presenter::Hidden
                      : cursor == s.waitCursor ? Presenter::Wait
                                               : Presenter::Arrow);
  return old;
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window *w = find(hwnd);
  if (!w)
    return 0;
  switch (msg) {
  case WM_NCCREATE:
  case WM_QUERYENDSESSION: // the session may end
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
