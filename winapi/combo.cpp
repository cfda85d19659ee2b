// Controls: the "ComboBox" class (CBS_DROPDOWN: an edit part and a list
// that drops down), with its own state record.
// Win32: the window procedure of combo boxes: CB_ADDSTRING, CB_DELETESTRING,
// CB_GETCOUNT, CB_GETCURSEL, CB_SETCURSEL, CB_GETLBTEXT, CB_GETLBTEXTLEN,
// CB_RESETCONTENT, CB_SHOWDROPDOWN, CB_GETDROPPEDSTATE; the list opened by
// its button, F4 or Alt+Down/Up; CBN_SELCHANGE, CBN_EDITCHANGE,
// CBN_DROPDOWN, CBN_CLOSEUP, CBN_SETFOCUS, CBN_KILLFOCUS to the parent.
// Typed text selects nothing while the list is closed; the open list
// highlights the first entry it begins (any case), as Win32's does.
#include <algorithm>
#include <cstring>

#include "controls.h"
#include "gdi.h"

namespace winapi {
namespace {

ComboState &c(Window &w) { return *w.combo; }
const ComboState &c(const Window &w) { return *w.combo; }

void selectItem(Window &w, int index, bool notify) {
  if (index < 0 || index >= (int)c(w).items.size())
    return;
  c(w).sel = index;
  HWND h = w.handle;
  if (notify)
    notifyParent(w, CBN_SELCHANGE);
  // The edit part shows the choice once the list has reported it, selected
  // while the box has the focus.
  if (Window *still = find(h)) {
    c(*still).textSelected = GetFocus() == h;
    setText(*still, c(*still).items[index], false);
    update(*still);
  }
}

// The edit part's text is selected whenever the box takes the focus, and
// only while it has it.
void selectComboText(Window &w, bool on) {
  if (c(w).textSelected == on)
    return;
  c(w).textSelected = on;
  update(w);
}

// The first entry that begins with text, in any case; -1 for none or for an
// empty text.
int prefixMatch(const Window &w, const std::string &text) {
  for (size_t i = 0; i < c(w).items.size() && !text.empty(); ++i)
    if (lower(c(w).items[i]).compare(0, text.size(), lower(text)) == 0)
      return (int)i;
  return -1;
}

// The drop-down list opens on the entry that the edit part's text begins,
// which becomes the selection and fills the edit part (nothing is reported:
// the choice is not made yet); without one nothing is selected.
void openList(Window &w) {
  if (c(w).dropped)
    return;
  HWND h = w.handle;
  notifyParent(w, CBN_DROPDOWN);
  Window *still = find(h);
  if (!still)
    return;
  int match = prefixMatch(*still, still->text);
  c(*still).sel = c(*still).hot = match;
  c(*still).dropped = true;
  if (match >= 0) {
    c(*still).textSelected = GetFocus() == h;
    setText(*still, c(*still).items[match], false);
  }
  update(*still);
}

// Closes the list; with choose, its highlighted entry becomes the selection
// (CBN_SELCHANGE), otherwise nothing changes.
void closeList(Window &w, bool choose) {
  if (!c(w).dropped)
    return;
  c(w).dropped = false;
  int hot = c(w).hot;
  HWND h = w.handle;
  update(w);
  notifyParent(w, CBN_CLOSEUP);
  Window *still = find(h);
  if (choose && still && hot >= 0)
    selectItem(*still, hot, true);
}

// Keys of a combo box. Closed: Down/Up step the selection, PageUp/PageDown
// move it a page, each move reported. Open: Down/Up, PageUp/PageDown,
// Home/End move the highlight, Enter closes choosing it when the keys moved
// it, Escape closes without change. F4 (and Alt+Down/Up, sent as system
// keys) open the list or close it the way Enter does.
// The entry the key leads to from `from` (none: -1) in a list of n entries
// of which a page shows `page`; -1 when the key leads nowhere new.
int stepped(int from, WPARAM vk, int n, int page) {
  int next = -1;
  switch (vk) {
  case VK_DOWN:
    next = from < 0 ? 0 : from + 1;
    break;
  case VK_UP:
    next = from < 0 ? 0 : from - 1;
    break;
  case VK_NEXT:
    next = std::min(n - 1, std::max(from, 0) + page - 1);
    break;
  case VK_PRIOR:
    next = std::max(0, std::max(from, 0) - page + 1);
    break;
  case VK_HOME:
    next = 0;
    break;
  case VK_END:
    next = n - 1;
    break;
  }
  return next >= 0 && next < n && next != from ? next : -1;
}

void comboKey(Window &w, WPARAM vk) {
  int n = (int)c(w).items.size(), page = comboListRows(w), next;
  bool moved = c(w).hot != c(w).sel;
  bool inList = vk == VK_DOWN || vk == VK_UP || vk == VK_PRIOR || vk == VK_NEXT;
  if (vk == VK_F4) {
    if (c(w).dropped)
      closeList(w, moved);
    else
      openList(w);
  } else if (c(w).dropped) {
    if (vk == VK_RETURN) {
      closeList(w, moved);
    } else if (vk == VK_ESCAPE) {
      closeList(w, false);
    } else if ((inList || vk == VK_HOME || vk == VK_END) &&
               (next = stepped(c(w).hot, vk, n, page)) >= 0) {
      c(w).hot = next;
      update(w);
    }
  } else if (inList && (next = stepped(c(w).sel, vk, n, page)) >= 0) {
    selectItem(w, next, true);
  }
}

LRESULT comboMessage(Window &w, UINT msg, WPARAM wp, LPARAM lp) {
  int n = (int)c(w).items.size();
  switch (msg) {
  case CB_ADDSTRING:
    c(w).items.push_back(lp ? (const char *)lp : "");
    update(w);
    return n;
  case CB_DELETESTRING:
    if ((int)wp < 0 || (int)wp >= n)
      return CB_ERR;
    c(w).items.erase(c(w).items.begin() + (int)wp);
    for (int *i : {&c(w).sel, &c(w).hot})
      if (*i == (int)wp)
        *i = -1;
      else if (*i > (int)wp)
        --*i;
    update(w);
    return n - 1;
  case CB_GETCOUNT:
    return n;
  case CB_GETCURSEL:
    return c(w).sel;
  case CB_SETCURSEL:
    if ((int)wp < 0 || (int)wp >= n) {
      c(w).sel = -1;
      setText(w, "", false);
      return CB_ERR;
    }
    selectItem(w, (int)wp, false);
    return (int)wp;
  case CB_GETLBTEXT:
    if ((int)wp < 0 || (int)wp >= n || !lp)
      return CB_ERR;
    std::memcpy((char *)lp, c(w).items[wp].c_str(), c(w).items[wp].size() + 1);
    return (LRESULT)c(w).items[wp].size();
  case CB_GETLBTEXTLEN:
    if ((int)wp < 0 || (int)wp >= n)
      return CB_ERR;
    return (LRESULT)c(w).items[wp].size();
  case CB_RESETCONTENT:
    c(w).items.clear();
    c(w).sel = c(w).hot = -1;
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
    return c(w).dropped ? TRUE : FALSE;
  }
  return 0;
}

// A character typed into the edit part: it replaces a selected text
// (Backspace only deletes it). Nothing is selected any more; an open list
// highlights (and selects) the entry the text begins. The parent is told of
// the new text only.
void typeChar(Window &w, unsigned char ch) {
  std::string t = w.text;
  if (c(w).textSelected) {
    c(w).textSelected = false;
    t.clear();
    if (ch == 8) {
      setText(w, t, true);
      update(w);
      return;
    }
  }
  if (!typedText(w, t, ch, &t))
    return;
  c(w).sel = c(w).dropped ? prefixMatch(w, t) : -1;
  c(w).hot = c(w).sel;
  setText(w, t, true);
}

} // namespace

int comboListRows(const Window &w) {
  int n = (int)c(w).items.size();
  int fit = std::max(1, (w.h - kComboClosedHeight - 2) / fontCellHeight(w.font));
  return std::max(1, std::min(n, fit));
}

void closeComboList(Window &w) {
  if (w.combo)
    closeList(w, false);
}

LRESULT CALLBACK comboProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window *w = find(h);
  if (!w)
    return 0;
  LRESULT result;
  if (commonControlMessage(*w, msg, wp, lp, &result))
    return result;
  switch (msg) {
  case WM_LBUTTONDOWN:
    SetFocus(h);
    // The drop-down button opens the list; a click on the box closes it.
    if ((w = find(h))) {
      bool onButton = (short)LOWORD(lp) >= w->w - kComboArrowWidth;
      if (!onButton)
        selectComboText(*w, false); // the caret goes where the click was
      if (c(*w).dropped)
        closeList(*w, false);
      else if (onButton)
        openList(*w);
    }
    return 0;
  case WM_SETFOCUS:
    selectComboText(*w, true);
    notifyParent(*w, CBN_SETFOCUS);
    return 0;
  case WM_KILLFOCUS:
    selectComboText(*w, false);
    closeList(*w, false);
    if ((w = find(h)))
      notifyParent(*w, CBN_KILLFOCUS);
    return 0;
  case WM_CHAR:
    typeChar(*w, (unsigned char)wp);
    return 0;
  case WM_KEYDOWN:
    comboKey(*w, wp);
    return 0;
  case WM_SYSKEYDOWN:
    if (wp == VK_DOWN || wp == VK_UP) {
      comboKey(*w, VK_F4);
      return 0;
    }
    break;
  case kChooseItem:
    if (c(*w).dropped) {
      c(*w).hot = (int)wp;
      closeList(*w, true);
    } else {
      selectItem(*w, (int)wp, true);
    }
    return 0;
  case kDismissList:
    closeList(*w, false);
    return 0;
  }
  if (msg >= CB_ADDSTRING && msg <= CB_GETDROPPEDSTATE)
    return comboMessage(*w, msg, wp, lp);
  return DefWindowProcA(h, msg, wp, lp);
}

} // namespace winapi
