// Presenters: what shows the layer's windows. The FLTK presenter draws them
// and reports the user's input; the headless one (chosen by tests) keeps
// windows as layer state only; without a display, one that shows nothing
// and lets top-level windows fail.
#pragma once

#include <string>
#include <vector>

#include "code_page.h"
#include "state.h"

namespace winapi {

struct Presenter {
  enum Cursor { Arrow, Wait, Hidden };
  bool canShow; // false: top-level windows cannot be created
  void (*create)(Window &w);
  void (*destroy)(Window &w);
  void (*show)(Window &w);
  void (*update)(Window &w); // text, font, items, selection, pressed state, colours
  void (*focus)(Window *w);  // nullptr: no control focused
  void (*wait)();            // block until the toolkit has something
  void (*flush)();           // handle what the toolkit has, without blocking
  void (*wake)();            // from any thread: end a wait() in progress
  void (*cursor)(Cursor c);  // over every top-level window
  // Shows a box until it is answered, calling loopTurn after each wait for
  // toolkit events; when loopTurn answers false the box ends with answer 0.
  int (*messageBox)(HWND owner, const std::string &text, const std::string &caption, UINT type,
                    const std::vector<std::string> &buttons, const std::vector<int> &answers,
                    int closeAnswer, bool (*loopTurn)());
  // Opens a document or address with the desktop's handler; false when that
  // cannot be started.
  bool (*openDocument)(const char *file);
};

const Presenter *fltkPresenter();
const Presenter *headlessPresenter();
const Presenter *noDisplayPresenter();
// Opens the X display for the FLTK presenter; false when none can be opened.
bool openDisplay();

} // namespace winapi
