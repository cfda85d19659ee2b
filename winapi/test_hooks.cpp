// Test hooks: the only part of the layer that exists for tests (winapi_test.h).
// Headless mode, input through the paths real input takes, a driver of the
// program's loop, and inspection of windows and message boxes.
#include <cstdio>
#include <cstdlib>

#include "controls.h"
#include "gdi.h"
#include "message.h"
#include "msgbox.h"
#include "presenter.h"
#include "winapi_test.h"

using namespace winapi;

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

void setHeadless(bool on) { st().headless = on; }
bool isHeadless() { return st().headless; }

void typeText(HWND control, const std::string &text) {
  Window *w = find(control);
  if (!w)
    return;
  postMouse(control, WM_LBUTTONDOWN, 2, 2);
  postMouse(control, WM_LBUTTONUP, 2, 2);
  for (unsigned char c : text) {
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
    presenter()->flush();
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
  Window *w = find(combo);
  return w && w->combo ? w->combo->items : std::vector<std::string>{};
}
int comboSelection(HWND combo) {
  Window *w = find(combo);
  return w && w->combo ? w->combo->sel : CB_ERR;
}
bool comboTextSelected(HWND combo) {
  Window *w = find(combo);
  return w && w->combo && w->combo->textSelected;
}
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
void setShellFails(bool fails) { st().shellFails = fails; }

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
  s.shellFails = false;
  s.endSignal = 0;
  s.cursor = nullptr;
  s.cursorSet = false;
}

} // namespace winapi_test
