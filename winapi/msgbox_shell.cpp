// Message boxes and the shell.
// Win32: MessageBoxA, ShellExecuteA.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

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

// xdg-open hands the address to the desktop's browser and ends, or ends
// with an error at once when it finds none; missing, it cannot be started.
// Where it runs the browser itself and waits for it, it is still running
// after a moment: that counts as opened, and it is left to end by itself.
bool startDesktopOpen(const char *file) {
  const char *argv[] = {"xdg-open", file, nullptr};
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int failed = posix_spawnp(&pid, "xdg-open", &quiet, nullptr, const_cast<char **>(argv), environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (failed)
    return false;
  const int kSettleMs = 3000, kStepMs = 20;
  for (int waited = 0; waited < kSettleMs; waited += kStepMs) {
    int status;
    pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid)
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (ended < 0)
      return true;        // reaped elsewhere: nothing says it failed
    presenter()->flush(); // the windows keep being drawn meanwhile
    usleep(kStepMs * 1000);
  }
  std::thread([pid] {
    int status;
    waitpid(pid, &status, 0);
  }).detach();
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
  if (st().shellFails)
    return reinterpret_cast<HINSTANCE>(31);
  return reinterpret_cast<HINSTANCE>(presenter()->openDocument(file) ? 42 : 31);
}
