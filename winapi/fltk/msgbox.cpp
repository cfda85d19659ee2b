// The FLTK presenter: the message box window, laid out as Windows lays it
// out, run by the box's own loop.
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>

#include "fltk.h"

namespace winapi {
namespace fltk {

// A message box as Windows lays it out: as wide as its text (wrapped only
// beyond four fifths of the screen) or its row of buttons, whichever is
// wider; the buttons centred below the text; the box centred on the screen.
int messageBox(HWND owner, const std::string &text, const std::string &caption, UINT,
               const std::vector<std::string> &buttons, const std::vector<int> &answers,
               int closeAnswer, bool (*loopTurn)()) {
  const int margin = 12, bw = 75, bh = 23, gap = 6, textSize = 14;
  std::string utf8 = cp1252ToUtf8(text);
  int sx, sy, sw, sh;
  Fl::screen_xywh(sx, sy, sw, sh, 0);
  fl_font(FL_HELVETICA, textSize);
  int tw = 0, th = 0;
  fl_measure(utf8.c_str(), tw, th, 0);
  if (tw > sw * 4 / 5) {
    tw = sw * 4 / 5;
    th = 0;
    fl_measure(utf8.c_str(), tw, th, 0);
  }
  int buttonsW = (int)buttons.size() * (bw + gap) - gap;
  int W = std::max(tw, buttonsW) + 2 * margin, H = margin + th + 2 * margin + bh + margin;
  Fl_Group::current(nullptr);
  Fl_Double_Window win(W, H);
  win.copy_label(cp1252ToUtf8(caption).c_str());
  // FLTK insets a left-aligned label by 3 px on each side: the box is that
  // much wider, so the text wraps where it was measured (one line stays one).
  Fl_Box *msg = new Fl_Box(margin - 3, margin, W - 2 * margin + 6, th); // the window deletes it
  msg->copy_label(utf8.c_str());
  msg->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  msg->labelsize(textSize);
  int result = 0;
  struct Pick {
    int *result;
    int answer;
    Fl_Window *win;
  };
  std::vector<Pick> picks(buttons.size());
  Fl_Button *first = nullptr;
  int x = (W - buttonsW) / 2;
  for (size_t i = 0; i < buttons.size(); ++i, x += bw + gap) {
    Fl_Button *b = i == 0 ? new Fl_Return_Button(x, H - margin - bh, bw, bh)
                          : new Fl_Button(x, H - margin - bh, bw, bh);
    b->copy_label(cp1252ToUtf8(buttons[i]).c_str());
    picks[i] = Pick{&result, answers[i], &win};
    b->callback(
        [](Fl_Widget *, void *p) {
          Pick *pick = static_cast<Pick *>(p);
          *pick->result = pick->answer;
          pick->win->hide();
        },
        &picks[i]);
    if (!first)
      first = b;
  }
  win.end();
  Pick closePick{&result, closeAnswer, &win};
  win.callback(
      [](Fl_Widget *, void *p) {
        Pick *pick = static_cast<Pick *>(p);
        if (pick->answer) { // closing is disabled without an answer for it
          *pick->result = pick->answer;
          pick->win->hide();
        }
      },
      &closePick);
  // Centred on the screen, the owner's screen when it has one, as Win32
  // places its message boxes (not over the owner).
  Window *o = find(owner);
  Fl_Widget *ow = o ? static_cast<Fl_Widget *>(topLevelOf(o)->view) : nullptr;
  bool owned = ow && ow->as_window() && ow->as_window()->shown();
  if (owned)
    Fl::screen_xywh(sx, sy, sw, sh, ow->x() + ow->w() / 2, ow->y() + ow->h() / 2);
  win.position(sx + (sw - W) / 2, sy + (sh - H) / 2);
  if (owned)
    win.set_modal(); // its owner is disabled meanwhile
  else
    win.set_non_modal(); // every window stays usable
  win.show();
  setLegacyName(&win, caption);
  first->take_focus();
  while (win.shown()) {
    Fl::wait();
    if (!loopTurn()) {
      win.hide();
      return 0;
    }
  }
  return result ? result : answers.front();
}

} // namespace fltk
} // namespace winapi
