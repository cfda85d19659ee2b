// State and handle table.
// Implements no Win32 function itself; every area reaches the layer's state
// and its handles through it: windows by HWND, GDI objects by handle, and
// the presenter that shows them.
#include "state.h"

#include <cctype>

#include "presenter.h"

namespace winapi {

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

// Handles are never reused.
uintptr_t newHandle() {
  State &s = st();
  s.next += 4;
  return s.next;
}

Gdi *gdi(const void *h, GdiType type) {
  auto it = st().gdi.find(reinterpret_cast<uintptr_t>(h));
  if (it == st().gdi.end() || it->second.type != type)
    return nullptr;
  return &it->second;
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

static bool hasFrame(const Window &w) { return !(w.style & WS_CHILD) && (w.style & WS_CAPTION); }
int clientOffsetX(const Window &w) { return hasFrame(w) ? kFrame : 0; }
int clientOffsetY(const Window &w) { return hasFrame(w) ? kFrame + kCaption : 0; }
int clientWidth(const Window &w) { return w.w - (hasFrame(w) ? 2 * kFrame : 0); }
int clientHeight(const Window &w) { return w.h - (hasFrame(w) ? 2 * kFrame + kCaption : 0); }

const Presenter *presenter() {
  State &s = st();
  if (s.headless)
    return headlessPresenter();
  if (!s.presenter) {
    // The display is opened at the first call that needs it; without one,
    // nothing can be shown and top-level windows cannot be created.
    s.presenter = openDisplay() ? fltkPresenter() : noDisplayPresenter();
    s.wake = s.presenter->wake;
  }
  return s.presenter;
}

void update(Window &w) { presenter()->update(w); }

LRESULT send(Window *w, UINT msg, WPARAM wp, LPARAM lp) {
  return w ? w->proc(w->handle, msg, wp, lp) : 0;
}

} // namespace winapi
