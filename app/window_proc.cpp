// The main window procedure and its window-wide handlers: creation, commands,
// close, destruction, painting and the labels' colours.
#include "app_state.h"
#include "commands.h"
#include "service.h"
#include "sip.h"

namespace {

const char *const CLOSE_CAPTION = "Dravik Tirn";

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
  case CMD_SUBMIT:
    loginCommand(window);
    break;
  case CMD_NEXT_FIELD:
    nextFieldCommand();
    break;
  case CMD_CALL:
    callCommand(window);
    break;
  case CMD_HANGUP:
    hangUpCommand(window);
    break;
  case CMD_HELP:
    helpCommand();
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
  if (app.serviceLoginOpen) {
    sendLogoutNotice();
    terminateCall();
  }
  DestroyWindow(window);
  return 0;
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
