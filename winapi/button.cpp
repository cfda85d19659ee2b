// Controls: the "Button" class.
// Win32: the window procedure of push buttons: pressed by the left button or
// Space, BN_CLICKED to the parent when released over the button.
#include "controls.h"

namespace winapi {

LRESULT CALLBACK buttonProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window *w = find(h);
  if (!w)
    return 0;
  LRESULT result;
  if (commonControlMessage(*w, msg, wp, lp, &result))
    return result;
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
  return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi
