// The FLTK presenter: what its widgets, its input mapping and its message
// box share.
#pragma once

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>

#include <string>
#include <vector>

#include "../presenter.h"

namespace winapi {
namespace fltk {

// Every widget of ours knows its window handle; the core says whether it is alive.
struct Tag {
  HWND hwnd;
};

inline Fl_Color flColor(COLORREF c) {
  return fl_rgb_color(GetRValue(c), GetGValue(c), GetBValue(c));
}
const Fl_Color kFace = fl_rgb_color(240, 240, 240);

// Widgets.
void create(Window &w);
void destroy(Window &w);
void show(Window &w);
void update(Window &w);
void focus(Window *w);
void setCursor(Presenter::Cursor c);
// Writes a window's 8-bit name again where X expects its STRING encoding.
void setLegacyName(Fl_Window *win, const std::string &text);

// Input mapping.
// Routes the toolkit's keys to the message queue and lets other threads
// wake the loop; once, before the first window.
void hookEvents();
// Presses and releases reach the program as Win32 mouse messages; true for
// the mouse events the widget must not handle itself.
bool forwardMouse(Fl_Widget *wd, HWND h, int e);
void waitForEvents();
void flushEvents();
void wakeEvents();
// Termination signals and the loss of the display end the session (see
// endSessionBySignal and endSessionWithoutDisplay); once, with the display.
void watchForTheEnd();

// Message box.
int messageBox(HWND owner, const std::string &text, const std::string &caption, UINT type,
               const std::vector<std::string> &buttons, const std::vector<int> &answers,
               int closeAnswer, bool (*loopTurn)());

} // namespace fltk
} // namespace winapi
