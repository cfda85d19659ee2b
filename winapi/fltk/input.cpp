// The FLTK presenter: input mapping. Turns FLTK events into queued Win32
// input: keys go to the message queue (so no Tab navigation, no editing
// behind the program's back), clicks become WM_LBUTTONDOWN/UP, the close
// box a close request; and lets other threads wake the waiting loop.
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <atomic>

#include "../message.h"
#include "fltk.h"

namespace winapi {
namespace fltk {
namespace {

std::atomic<bool> awakeReady{false};

void postMouseAt(Fl_Widget *wd, HWND h, UINT msg) {
  postMouse(h, msg, Fl::event_x() - wd->x(), Fl::event_y() - wd->y());
}

int virtualKey(int key) {
  if (key >= 'a' && key <= 'z')
    return key - 32;
  if ((key >= '0' && key <= '9') || key == ' ')
    return key;
  switch (key) {
  case FL_Tab:
    return VK_TAB;
  case FL_Enter:
  case FL_KP_Enter:
    return VK_RETURN;
  case FL_BackSpace:
    return VK_BACK;
  case FL_Escape:
    return VK_ESCAPE;
  case FL_Delete:
    return VK_DELETE;
  case FL_Insert:
    return VK_INSERT;
  case FL_Home:
    return VK_HOME;
  case FL_End:
    return VK_END;
  case FL_Page_Up:
    return VK_PRIOR;
  case FL_Page_Down:
    return VK_NEXT;
  case FL_Left:
    return VK_LEFT;
  case FL_Right:
    return VK_RIGHT;
  case FL_Up:
    return VK_UP;
  case FL_Down:
    return VK_DOWN;
  case FL_Shift_L:
  case FL_Shift_R:
    return VK_SHIFT;
  case FL_Control_L:
  case FL_Control_R:
    return VK_CONTROL;
  case FL_Alt_L:
  case FL_Alt_R:
    return VK_MENU;
  }
  if (key >= FL_F + 1 && key <= FL_F + 12)
    return 0x70 + key - (FL_F + 1);
  // The keypad's digits and operators (its digits are cursor keys without
  // Num Lock, which FLTK reports as such).
  if (key >= FL_KP + '0' && key <= FL_KP + '9')
    return VK_NUMPAD0 + key - (FL_KP + '0');
  switch (key) {
  case FL_KP + '*':
    return VK_MULTIPLY;
  case FL_KP + '+':
    return VK_ADD;
  case FL_KP + '-':
    return VK_SUBTRACT;
  case FL_KP + '/':
    return VK_DIVIDE;
  }
  return 0;
}

// Keys for our windows go to the message queue instead of FLTK's widgets.
int dispatchEvent(int event, Fl_Window *win) {
  if ((event == FL_KEYDOWN || event == FL_KEYUP || event == FL_SHORTCUT) &&
      dynamic_cast<Tag *>(win)) {
    if (event == FL_SHORTCUT)
      return 1;
    int state = Fl::event_state();
    int mods = ((state & FL_SHIFT) ? ModShift : 0) | ((state & FL_CTRL) ? ModCtrl : 0) |
               ((state & FL_ALT) ? ModAlt : 0);
    int key = Fl::event_key();
    int vk = virtualKey(key);
    unsigned char ch = 0;
    if (!(mods & (ModCtrl | ModAlt))) {
      ch = controlKeyChar(vk);
      if (!ch && Fl::event_length() > 0) {
        std::string l = utf8ToCp1252(std::string(Fl::event_text(), Fl::event_length()));
        if (l.size() == 1 && (unsigned char)l[0] >= 0x20)
          ch = (unsigned char)l[0];
      }
    }
    if (!vk && ch)
      vk = VK_PACKET;
    if (vk)
      postKey(event == FL_KEYDOWN, vk, ch, mods);
    return 1;
  }
  return Fl::handle_(event, win);
}

} // namespace

void hookEvents() {
  Fl::event_dispatch(dispatchEvent);
  // Lets other threads wake the loop (Fl::awake); the window thread holds
  // the toolkit's lock except while it waits.
  Fl::lock();
  awakeReady = true;
}

// Presses and releases reach the program as Win32 mouse messages; the
// toolkit's own handling of them (focus on click, dragging) does not run.
bool forwardMouse(Fl_Widget *wd, HWND h, int e) {
  if (e == FL_PUSH)
    postMouseAt(wd, h, WM_LBUTTONDOWN);
  else if (e == FL_RELEASE)
    postMouseAt(wd, h, WM_LBUTTONUP);
  return e == FL_PUSH || e == FL_RELEASE || e == FL_DRAG;
}

void waitForEvents() { Fl::wait(); }
void flushEvents() { Fl::check(); }
void wakeEvents() {
  if (awakeReady)
    Fl::awake();
}

} // namespace fltk

// FLTK would end the process when it cannot open the display; asked first,
// the layer can let window creation fail instead.
bool openDisplay() {
  Display *d = XOpenDisplay(nullptr);
  if (!d)
    return false;
  fl_open_display(d);
  fltk::watchForTheEnd();
  return true;
}

} // namespace winapi
