// The main window procedure and its window-wide handlers: creation, commands,
// close, destruction, painting and the labels' colours.
#include "app_state.h"
#include "main_window.h"
#include "service.h"
#include "sip.h"

#include <algorithm>
#include <chrono>

namespace {

const char *const CLOSE_CAPTION = "Dravik Tirn";

// How long the end of the program may wait for the SIP side's answers (the
// BYE's and the unregistration's), counted from its start: they arrive
// while the logout notice is sent.
const int SIP_ANSWERS_LIMIT_MS = 2000;
// The logout notice's limit when the program is told to end rather than
// asked: Windows gives a program a few seconds at the end of a session.
const long TOLD_TO_END_LOGOUT_LIMIT_MS = 3000;

} // namespace

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    return onCreate(window);
  case WM_COMMAND:
    return onCommand(window, wParam, lParam);
  case WM_CLOSE:
    return onClose(window);
  case WM_DESTROY:
    return onDestroy();
  case WM_PAINT:
    return onPaint(window);
  case WM_CTLCOLORSTATIC:
    return onCtlColorStatic(reinterpret_cast<HDC>(wParam));
  case WM_SIP_CHANGED:
    return onSipChanged(window);
  case WM_QUERYENDSESSION:
    return TRUE; // nothing to save: the session may always end
  case WM_ENDSESSION:
    return onEndSession(window, wParam);
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}

// Sent by the platform at creation and by the program itself at every
// rebuild of the window's contents.
LRESULT onCreate(HWND window) {
  ensureInstallKey();
  if (app.loggedIn)
    buildCallScreen(window);
  else
    buildLoginScreen(window);
  return 0;
}

LRESULT onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  if (HIWORD(wParam) == CBN_SELCHANGE)
    selectionChange(reinterpret_cast<HWND>(lParam));
  switch (LOWORD(wParam)) {
  case CMD_LOGIN:
    loginCommand(window);
    break;
  case CMD_SUBMIT:
    if (app.loggedIn)
      pressFocusedButton(window);
    else
      loginCommand(window);
    break;
  case CMD_NEXT_FIELD:
    if (app.loggedIn)
      nextCallControl();
    else
      nextFieldCommand();
    break;
  case CMD_CALL:
    callCommand(window);
    break;
  case CMD_HANGUP:
    hangUpCommand(window);
    break;
  case CMD_HELP:
    helpCommand(window);
    break;
  default:
    break;
  }
  return 0;
}

// The close box, the system menu or Alt+F4: refused during a call, else
// confirmed; an open service login is ended before the window goes.
LRESULT onClose(HWND window) {
  if (app.callInProgress) {
    MessageBoxA(window, "Chamada em Curso, termine antes de fechar", CLOSE_CAPTION, MB_OK);
    return 0;
  }
  if (MessageBoxA(window, "Sair ?", CLOSE_CAPTION, MB_OKCANCEL) != IDOK)
    return 0;
  endProgram(TRANSFER_LIMIT_MS);
  DestroyWindow(window);
  return 0;
}

// The session ends (Windows: log-off or shut-down; the Linux layer: a
// termination signal or the display gone). The user cannot be asked: the
// program ends as after a confirmed close, call or not, in the time the
// platform gives.
LRESULT onEndSession(HWND window, WPARAM ending) {
  if (!ending)
    return 0; // the end was called off
  app.sessionEnding = true;
  endProgram(TOLD_TO_END_LOGOUT_LIMIT_MS);
  removeSipRunFolder();
  DestroyWindow(window);
  return 0;
}

// Whatever ends the program: the call is hung up and the account
// unregistered at once, the service is told that the login ended while the
// SIP answers arrive, and then those answers are awaited, each step bounded.
// Another end inside this one (the session ending during the logout notice)
// goes through the steps again: the SIP side sends nothing twice, and a
// notice that has not finished is sent once more.
void endProgram(long logoutLimitMs) {
  static bool logoutDone = false;
  auto start = std::chrono::steady_clock::now();
  SetCursor(LoadCursorA(nullptr, IDC_WAIT)); // the window stays until the end
  shutdownSip(0);
  if (app.serviceLoginOpen && !logoutDone) {
    sendLogoutNotice(logoutLimitMs);
    logoutDone = true;
  }
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
                   .count();
  shutdownSip(static_cast<int>(std::max<long long>(0, SIP_ANSWERS_LIMIT_MS - spent)));
}

LRESULT onDestroy() {
  PostQuitMessage(0);
  return 0;
}

// The class brush paints the background and the controls paint themselves.
LRESULT onPaint(HWND window) {
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  EndPaint(window, &paint);
  return 0;
}

// The labels: black on near-white. One brush serves every paint.
LRESULT onCtlColorStatic(HDC dc) {
  static const HBRUSH labelBrush = CreateSolidBrush(RGB(249, 249, 249));
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, RGB(249, 249, 249));
  return reinterpret_cast<LRESULT>(labelBrush);
}

void createControl(HWND &field, HWND window, DWORD exStyle, const char *className, const char *text,
                   DWORD style, int x, int y, int width, int height, int id) {
  field = CreateWindowExA(exStyle, className, text, style, x, y, width, height, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageA(field, WM_SETFONT, reinterpret_cast<WPARAM>(app.labelFont), TRUE);
}
