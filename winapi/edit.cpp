// Controls: the "Edit" class.
// Win32: the window procedure of single-line edit fields (ES_PASSWORD,
// ES_READONLY, ES_AUTOHSCROLL): typing at the end of the text, Backspace,
// EM_LIMITTEXT, EM_GETLIMITTEXT, EN_SETFOCUS, EN_KILLFOCUS and EN_CHANGE to
// the parent.
#include "controls.h"
#include "gdi.h"

namespace winapi {

bool typedText(const Window &w, std::string t, unsigned char c, std::string *out) {
  if (w.style & ES_READONLY)
    return false;
  if (c == 8) {
    if (t.empty())
      return false;
    t.pop_back();
  } else if (c >= 0x20 && c != 0x7F) {
    if (w.kind == Kind::Edit && t.size() >= w.textLimit)
      return false; // refused, as the control beeps
    t += (char)c;
    bool autoScroll =
        w.kind == Kind::Combo ? (w.style & CBS_AUTOHSCROLL) : (w.style & ES_AUTOHSCROLL);
    std::string shown =
        (w.style & ES_PASSWORD) && w.kind == Kind::Edit ? std::string(t.size(), '*') : t;
    if (!autoScroll && textWidth(shown, w.font) > editTextRoom(w))
      return false; // refused, as the control beeps
  } else {
    return false;
  }
  *out = std::move(t);
  return true;
}

int editTextRoom(const Window &w) {
  if (w.kind == Kind::Combo) // 3D border, drop-down button, margins
    return w.w - 2 * 3 - 17 - 2 * 3;
  return w.w - 2 * kEditTextX; // border, gap and margin on each side, as drawn
}

LRESULT CALLBACK editProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window *w = find(h);
  if (!w)
    return 0;
  LRESULT result;
  if (commonControlMessage(*w, msg, wp, lp, &result))
    return result;
  switch (msg) {
  case WM_LBUTTONDOWN:
    SetFocus(h);
    return 0;
  case WM_SETFOCUS:
    notifyParent(*w, EN_SETFOCUS);
    return 0;
  case WM_KILLFOCUS:
    notifyParent(*w, EN_KILLFOCUS);
    return 0;
  case WM_CHAR: {
    std::string t;
    if (typedText(*w, w->text, (unsigned char)wp, &t))
      setText(*w, t, true);
    return 0;
  }
  case WM_KEYDOWN:
    return 0;
  case EM_LIMITTEXT: // 0: as much as a single-line field may hold
    w->textLimit = wp ? (size_t)wp : 0x7FFFFFFE;
    return 0;
  case EM_GETLIMITTEXT:
    return (LRESULT)w->textLimit;
  }
  return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi
