// Message queue and dispatch.
// Win32: GetMessageA, PeekMessageA, PostMessageA, SendMessageA,
// PostQuitMessage, TranslateMessage, DispatchMessageA, TranslateAcceleratorA,
// GetKeyState; and the loop of a message box.
// Posted messages come first, then the quit message, then input (keys,
// clicks, close requests) in the order it happened, then WM_PAINT.
#include "message.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "controls.h"
#include "presenter.h"

namespace winapi {
namespace {

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

bool inFilter(UINT msg, UINT filterMin, UINT filterMax) {
  return (filterMin == 0 && filterMax == 0) || (msg >= filterMin && msg <= filterMax);
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

} // namespace

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

namespace {
// The characters of the digit keys with Shift held, from '0' to '9' (the
// US layout).
const char SHIFTED_DIGITS[] = ")!@#$%^&*(";
} // namespace

// The 8-bit text (code page 1252) of a key, for the character message that
// follows it (the keypad's with Num Lock on).
unsigned char keyChar(int vk, int mods) {
  if (mods & (ModCtrl | ModAlt))
    return 0;
  bool shift = mods & ModShift;
  if (vk >= 'A' && vk <= 'Z')
    return (unsigned char)(shift ? vk : vk + 32);
  if (vk >= '0' && vk <= '9')
    return (unsigned char)(shift ? SHIFTED_DIGITS[vk - '0'] : vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)
    return (unsigned char)('0' + vk - VK_NUMPAD0);
  switch (vk) {
  case VK_MULTIPLY:
    return '*';
  case VK_ADD:
    return '+';
  case VK_SUBTRACT:
    return '-';
  case VK_DIVIDE:
    return '/';
  }
  return vk == VK_SPACE ? ' ' : controlKeyChar(vk);
}

// Virtual key (and Shift) that types a character of code page 1252.
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
  if (const char *shifted = c ? strchr(SHIFTED_DIGITS, c) : nullptr) {
    *mods = ModShift;
    return '0' + (int)(shifted - SHIFTED_DIGITS);
  }
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

// Takes (or, without remove, only looks at) the next message in Win32's
// order whose number is in the filter (0, 0: any); false when there is none.
bool takeMessage(MSG *out, UINT filterMin, UINT filterMax, bool remove) {
  State &s = st();
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

namespace {
std::vector<HWND> liveTopLevelWindows() {
  std::vector<HWND> live;
  for (HWND h : st().tops)
    if (find(h))
      live.push_back(h);
  return live;
}

bool endSessionPosted() {
  State &s = st();
  std::lock_guard<std::mutex> lock(s.postLock);
  for (const Queued &q : s.posted)
    if (q.msg.message == WM_ENDSESSION)
      return true;
  return false;
}
} // namespace

void endSessionBySignal(int signo) {
  State &s = st();
  if (s.endSignal)
    return;
  std::vector<HWND> windows = liveTopLevelWindows();
  if (windows.empty()) {
    signal(signo, SIG_DFL);
    raise(signo);
    return;
  }
  s.endSignal = signo;
  for (HWND h : windows)
    PostMessageA(h, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
}

void endSessionWithoutDisplay() {
  State &s = st();
  if (!s.headless)
    s.presenter = noDisplayPresenter();
  for (HWND h : liveTopLevelWindows())
    SendMessageA(h, WM_ENDSESSION, TRUE, ENDSESSION_CRITICAL);
}

} // namespace winapi

using namespace winapi;

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
  presenter()->flush();
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
    p->flush();
    if (takeMessage(msg))
      return msg->message != WM_QUIT;
    if (s.idle) {
      std::function<void()> step = s.idle; // the step may replace the script
      step();
      if (takeMessage(msg))
        return msg->message != WM_QUIT;
    }
    p->wait(); // headless, with nothing left, this ends the process
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
  LRESULT result = send(find(msg->hwnd), msg->message, msg->wParam, msg->lParam);
  // As Windows ends a process once its windows have handled the end of the
  // session, unless the program is quitting by itself.
  State &s = st();
  if (msg->message == WM_ENDSESSION && s.endSignal && !s.quit && !endSessionPosted()) {
    std::fflush(nullptr);
    std::exit(128 + s.endSignal);
  }
  return result;
}

SHORT WINAPI GetKeyState(int vk) {
  int mods = st().mods;
  bool down = (vk == VK_SHIFT && (mods & ModShift)) || (vk == VK_CONTROL && (mods & ModCtrl)) ||
              (vk == VK_MENU && (mods & ModAlt));
  return down ? (SHORT)0x8000 : 0;
}
