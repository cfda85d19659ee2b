// Message boxes and the shell.
// Win32: MessageBoxA, ShellExecuteA.
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "controls.h"
#include "message.h"
#include "msgbox.h"
#include "presenter.h"
#include "shellapi.h"

extern char **environ;

namespace winapi {

// Button texts as Win32 has them: '&' marks the mnemonic (Alt+S answers
// "&Sim"); "OK" and "Cancelar" have none.
std::vector<std::string> buttonsFor(UINT type, std::vector<int> *answers, int *closeAnswer) {
  std::vector<std::string> labels;
  std::vector<int> ids;
  switch (type & MB_TYPEMASK) {
  case MB_OKCANCEL:
    labels = {"OK", "Cancelar"}, ids = {IDOK, IDCANCEL};
    break;
  case MB_ABORTRETRYIGNORE:
    labels = {"&Anular", "&Repetir", "&Ignorar"}, ids = {IDABORT, IDRETRY, IDIGNORE};
    break;
  case MB_YESNOCANCEL:
    labels = {"&Sim", "&N\xe3o", "Cancelar"}, ids = {IDYES, IDNO, IDCANCEL};
    break;
  case MB_YESNO:
    labels = {"&Sim", "&N\xe3o"}, ids = {IDYES, IDNO};
    break;
  case MB_RETRYCANCEL:
    labels = {"&Repetir", "Cancelar"}, ids = {IDRETRY, IDCANCEL};
    break;
  default:
    labels = {"OK"}, ids = {IDOK};
  }
  int close = 0; // closing disabled
  for (int id : ids)
    if (id == IDCANCEL)
      close = IDCANCEL;
  if (ids.size() == 1)
    close = IDOK;
  if (answers)
    *answers = ids;
  if (closeAnswer)
    *closeAnswer = close;
  return labels;
}

// The shell starts xdg-open in the background and ends at once, so the
// browser is not our child and nothing waits for it.
bool startDesktopOpen(const char *file) {
  const char *argv[] = {"sh", "-c", "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &",
                        "sh", file, nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
    return false;
  int status;
  waitpid(pid, &status, 0);
  return true;
}

} // namespace winapi

using namespace winapi;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  State &s = st();
  std::vector<int> ids;
  int closeAnswer = 0;
  std::vector<std::string> labels = buttonsFor(type, &ids, &closeAnswer);
  std::string t = text ? text : "", c = caption ? caption : "";
  s.boxes.push_back({owner, t, c, type, labels});
  if (s.boxHook) {
    auto hook = s.boxHook;                         // the hook may replace itself
    winapi_test::BoxRecord shown = s.boxes.back(); // or show a box of its own
    hook(shown);
  }
  // The box takes the keyboard: an open drop-down list closes first.
  if (Window *f = find(s.focus))
    closeComboList(*f);
  // The owner (its top-level window) is disabled while the box is open; a
  // box without one leaves every window usable, and its loop dispatches
  // what the user does there at once.
  Window *ownerTop = topLevelOf(find(owner));
  HWND disabled = ownerTop && !ownerTop->disabled ? ownerTop->handle : nullptr;
  if (disabled)
    ownerTop->disabled = true;
  // The box's button has the keyboard until the box closes or the user
  // moves it into a window the box leaves usable.
  bool hadKeyboard = s.boxKeyboard;
  s.boxKeyboard = true;
  int answer;
  const Presenter *p = presenter();
  if (!s.answers.empty()) {
    State::Answer a = s.answers.front();
    s.answers.pop_front();
    if (a.meanwhile)
      a.meanwhile();
    answer = runBoxLoop() ? a.answer : 0;
  } else {
    answer = p->messageBox(owner, t, c, type, labels, ids, closeAnswer, runBoxLoop);
  }
  if (Window *o = find(disabled))
    o->disabled = false;
  s.boxKeyboard = hadKeyboard;
  if (!hadKeyboard)
    p->focus(find(s.focus)); // the keyboard returns to where it was
  return answer;
}

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
  if (!file || !*file)
    return reinterpret_cast<HINSTANCE>(2);
  if (verb && std::strcmp(verb, "open") != 0)
    return reinterpret_cast<HINSTANCE>(31);
  st().shell.push_back(file);
  return reinterpret_cast<HINSTANCE>(presenter()->openDocument(file) ? 42 : 31);
}
