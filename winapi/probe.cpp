// Test hook: dumps the layer's visible windows on SIGUSR1 in the format of
// the Windows window probe, so that the same session can be compared line
// for line with the program on a real Win32 implementation.
//
// Positions and sizes are those of the toolkit's widgets, i.e. what is on
// the screen. Message boxes are toolkit dialogs without a layer window; they
// are reported as the Win32 dialog they stand for (class "#32770", the text
// as a static control with id 0xFFFF, the buttons with their command ids).
// Built-in control classes are named as Win32 names them ("Static", "Edit",
// "Button", "ComboBox"), whatever case the program registered them in.
#include "winapi_probe.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "presenter.h"
#include "state.h"
#include "winapi_test.h"

namespace {

int wakePipe[2] = {-1, -1};
std::string dumpPath;

void onSignal(int) {
  char c = 1;
  ssize_t ignored = write(wakePipe[1], &c, 1);
  (void)ignored;
}

std::string quoted(const std::string &utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else
      out += c;
  }
  return out + "\"";
}

std::string fromCp1252(const std::string &text) { return quoted(cp1252ToUtf8(text)); }

std::string win32ClassName(const winapi::Window &w) {
  switch (w.kind) {
  case winapi::Kind::Static:
    return "Static";
  case winapi::Kind::Edit:
    return "Edit";
  case winapi::Kind::Button:
    return "Button";
  case winapi::Kind::Combo:
    return "ComboBox";
  case winapi::Kind::Custom:
    break;
  }
  return w.cls;
}

// The command ids of a box's buttons, in order, as Win32 gives them.
std::vector<int> boxIds(UINT type) {
  switch (type & 0xF) {
  case MB_OKCANCEL:
    return {IDOK, IDCANCEL};
  case MB_ABORTRETRYIGNORE:
    return {IDABORT, IDRETRY, IDIGNORE};
  case MB_YESNOCANCEL:
    return {IDYES, IDNO, IDCANCEL};
  case MB_YESNO:
    return {IDYES, IDNO};
  case MB_RETRYCANCEL:
    return {IDRETRY, IDCANCEL};
  default:
    return {IDOK};
  }
}

bool focusIn(const Fl_Widget *w) {
  for (Fl_Widget *f = Fl::focus(); f; f = f->parent())
    if (f == w)
      return true;
  return false;
}

void dumpControls(FILE *out, const winapi::Window &parent, int depth) {
  for (HWND h : parent.children) {
    const winapi::Window *c = winapi::find(h);
    if (!c)
      continue;
    const Fl_Widget *wd = static_cast<const Fl_Widget *>(c->view);
    int x = c->x, y = c->y, w = c->w, h2 = c->h;
    if (wd) { // widgets are placed relative to their window: the client area
      x = wd->x();
      y = wd->y();
      w = wd->w();
      h2 = wd->h();
    }
    std::fprintf(out, "%*scontrol id=%d class=%s text=%s rect=%d,%d,%d,%d style=0x%08lX focus=%d",
                 2 * depth, "", c->id, quoted(win32ClassName(*c)).c_str(),
                 fromCp1252(c->text).c_str(), x, y, w, h2, (unsigned long)c->style,
                 GetFocus() == h);
    if (c->kind == winapi::Kind::Combo && c->combo) {
      const winapi::ComboState &combo = *c->combo;
      std::fprintf(out, " items=%d sel=%d\n", (int)combo.items.size(), combo.sel);
      for (size_t i = 0; i < combo.items.size(); ++i)
        std::fprintf(out, "    item %d %s\n", (int)i, fromCp1252(combo.items[i]).c_str());
    } else {
      std::fputc('\n', out);
    }
    dumpControls(out, *c, depth + 1);
  }
}

void dumpBox(FILE *out, Fl_Window *win) {
  const auto &boxes = winapi_test::shownBoxes();
  std::vector<int> ids = boxes.empty() ? std::vector<int>{IDOK} : boxIds(boxes.back().type);
  std::fprintf(out,
               "window class=\"#32770\" text=%s rect=%d,%d,%d,%d client=%d,%d,%d,%d "
               "style=0x%08lX active=%d\n",
               quoted(win->label() ? win->label() : "").c_str(), win->x(), win->y(), win->w(),
               win->h(), win->x(), win->y(), win->w(), win->h(), 0ul, focusIn(win));
  size_t button = 0;
  for (int i = 0; i < win->children(); ++i) {
    Fl_Widget *wd = win->child(i);
    bool isButton = dynamic_cast<Fl_Button *>(wd) != nullptr;
    int id = isButton ? (button < ids.size() ? ids[button] : 0) : 0xFFFF;
    if (isButton)
      ++button;
    std::fprintf(out,
                 "  control id=%d class=\"%s\" text=%s rect=%d,%d,%d,%d style=0x%08lX focus=%d\n",
                 id, isButton ? "Button" : "Static", quoted(wd->label() ? wd->label() : "").c_str(),
                 wd->x(), wd->y(), wd->w(), wd->h(), 0ul, Fl::focus() == wd);
  }
}

void dump(FILE *out) {
  std::set<const void *> layerViews;
  // Message boxes (toolkit windows of no layer window) first: on top, as
  // Win32 lists them.
  for (HWND h : winapi_test::topLevelWindows())
    if (const winapi::Window *w = winapi::find(h))
      layerViews.insert(w->view);
  for (Fl_Window *win = Fl::first_window(); win; win = Fl::next_window(win))
    if (!layerViews.count(win) && win->shown() && win->visible() && !win->parent() &&
        !win->menu_window() && !win->tooltip_window())
      dumpBox(out, win);
  for (HWND h : winapi_test::topLevelWindows()) {
    const winapi::Window *w = winapi::find(h);
    if (!w || !winapi_test::isVisible(h))
      continue;
    const Fl_Window *win = static_cast<const Fl_Window *>(w->view);
    int cx = w->x + winapi::clientOffsetX(*w), cy = w->y + winapi::clientOffsetY(*w);
    int cw = winapi::clientWidth(*w), ch = winapi::clientHeight(*w);
    if (win) {
      cx = win->x();
      cy = win->y();
      cw = win->w();
      ch = win->h();
    }
    DWORD style = w->style | WS_VISIBLE | (w->disabled ? WS_DISABLED : 0);
    std::fprintf(out,
                 "window class=%s text=%s rect=%d,%d,%d,%d client=%d,%d,%d,%d "
                 "style=0x%08lX active=%d\n",
                 quoted(w->cls).c_str(), fromCp1252(w->text).c_str(),
                 cx - winapi::clientOffsetX(*w), cy - winapi::clientOffsetY(*w), w->w, w->h, cx, cy,
                 cw, ch, (unsigned long)style, win ? focusIn(win) : 0);
    dumpControls(out, *w, 1);
  }
}

void onWake(int fd, void *) {
  char buffer[64];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
  std::string temporary = dumpPath + ".part";
  FILE *out = std::fopen(temporary.c_str(), "w");
  if (!out)
    return;
  dump(out);
  std::fclose(out);
  std::rename(temporary.c_str(), dumpPath.c_str());
}

} // namespace

void winapiProbeInstallFromEnvironment() {
  const char *path = std::getenv("DRAVIK_WINAPI_PROBE");
  if (!path || !*path || wakePipe[0] >= 0)
    return;
  if (pipe(wakePipe) != 0)
    return;
  for (int fd : wakePipe)
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  dumpPath = path;
  // An empty answer at once: the driver's sign that the signal is handled.
  if (FILE *out = std::fopen(path, "w"))
    std::fclose(out);
  Fl::add_fd(wakePipe[0], FL_READ, onWake);
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &action, nullptr);
}
