// Presenters that show nothing: the headless one, which tests choose, keeps
// windows as layer state only and answers message boxes at once; the one
// used when no display can be opened lets top-level windows fail and writes
// message boxes to standard error, so the program can tell the user.
#include <cstdio>
#include <cstdlib>

#include "msgbox.h"
#include "presenter.h"

namespace winapi {
namespace {

void nothing(Window &) {}
void noFocus(Window *) {}
void noEvents() {}
void noCursor(Presenter::Cursor) {}

// Nothing can ever arrive: waiting would hang the test for ever.
void endWait() {
  std::fprintf(stderr, "winapi: GetMessageA has nothing to return and no display to wait on "
                       "(headless; the idle script queued no input)\n");
  std::abort();
}

// The box's loop runs once over what is pending; then the first button.
int answerAtOnce(HWND, const std::string &, const std::string &, UINT,
                 const std::vector<std::string> &, const std::vector<int> &answers, int,
                 bool (*loopTurn)()) {
  return loopTurn() ? answers.front() : 0;
}

// Nowhere to show the box: its words go to standard error, and it fails as
// a box that cannot be created does.
int writeToStderr(HWND, const std::string &text, const std::string &caption, UINT,
                  const std::vector<std::string> &, const std::vector<int> &, int, bool (*)()) {
  std::fprintf(stderr, "%s%s%s\n", cp1252ToUtf8(caption).c_str(), caption.empty() ? "" : ": ",
               cp1252ToUtf8(text).c_str());
  return 0;
}

bool recordOnly(const char *) { return true; }

const Presenter kHeadless = {true,    nothing,  nothing,  nothing,  nothing,      noFocus,
                             endWait, noEvents, noEvents, noCursor, answerAtOnce, recordOnly};
const Presenter kNoDisplay = {false,   nothing,  nothing,  nothing,  nothing,       noFocus,
                              endWait, noEvents, noEvents, noCursor, writeToStderr, recordOnly};

} // namespace

const Presenter *headlessPresenter() { return &kHeadless; }
const Presenter *noDisplayPresenter() { return &kNoDisplay; }

} // namespace winapi
