// Controls: what the window procedures of all built-in classes share.
// Win32: the handling of WM_SETFONT, WM_GETFONT, WM_SETTEXT, WM_ERASEBKGND
// and WM_PAINT common to "Static", "Edit", "Button" and "ComboBox".
#include "controls.h"

namespace winapi {

void notifyParent(Window &w, int code) {
  if (Window *parent = find(w.parent))
    SendMessageA(parent->handle, WM_COMMAND, MAKEWPARAM(w.id, code), (LPARAM)w.handle);
}

void setText(Window &w, std::string text, bool notify) {
  if (text == w.text)
    return;
  w.text = std::move(text);
  w.needsPaint = true;
  update(w);
  if (notify)
    notifyParent(w, w.kind == Kind::Combo ? CBN_EDITCHANGE : EN_CHANGE);
}

bool commonControlMessage(Window &w, UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) {
  *result = 0;
  switch (msg) {
  case WM_SETFONT:
    w.font = (HFONT)wp;
    if (LOWORD(lp))
      w.needsPaint = true;
    update(w);
    return true;
  case WM_GETFONT:
    *result = (LRESULT)w.font;
    return true;
  case WM_PAINT: {
    PAINTSTRUCT ps;
    BeginPaint(w.handle, &ps);
    EndPaint(w.handle, &ps);
    return true;
  }
  case WM_ERASEBKGND:
    *result = 1;
    return true;
  case WM_SETTEXT:
    setText(w, lp ? (const char *)lp : "", false);
    *result = TRUE;
    return true;
  }
  return false;
}

} // namespace winapi
