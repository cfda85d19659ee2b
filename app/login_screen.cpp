// The login screen: code and password fields, the "Logar" button, the login
// command and the Tab navigation between the fields.
#include "app_state.h"
#include "main_window.h"
#include "service.h"
#include "sip.h"

namespace {

// Reads an edit field into one of the login buffers: GetWindowTextA keeps at
// most the first 19 characters, what the buffer holds.
void readLoginField(HWND edit, char (&target)[LOGIN_FIELD_CAP]) {
  char text[LOGIN_FIELD_CAP] = "";
  GetWindowTextA(edit, text, LOGIN_FIELD_CAP);
  text[LOGIN_FIELD_CAP - 1] = '\0';
  textCopy(target, text);
}

void destroyLoginControls() {
  HWND *controls[] = {&app.loginButton, &app.codeLabel, &app.codeEdit, &app.passwordLabel,
                      &app.passwordEdit};
  for (HWND *control : controls) {
    DestroyWindow(*control);
    *control = nullptr;
  }
}

} // namespace

void buildLoginScreen(HWND window) {
  const DWORD child = WS_CHILD | WS_VISIBLE;
  createControl(app.codeLabel, window, 0, "STATIC", "Código:", child | WS_TABSTOP, 160, 90, 45, 16,
                0);
  createControl(app.codeEdit, window, WS_EX_PALETTEWINDOW, "Edit", nullptr, child | WS_BORDER, 160,
                110, 200, 26, 0);
  createControl(app.passwordLabel, window, 0, "STATIC", "Senha:", child, 160, 140, 42, 16, 0);
  createControl(app.passwordEdit, window, WS_EX_PALETTEWINDOW, "Edit", nullptr,
                child | WS_BORDER | ES_PASSWORD, 160, 160, 200, 26, 0);
  createControl(app.loginButton, window, 0, "BUTTON", "Logar", child | WS_BORDER, 260, 200, 100, 20,
                CMD_LOGIN);
  // The fields take no more than the login keeps, so nothing typed is
  // silently left out of it.
  for (HWND field : {app.codeEdit, app.passwordEdit})
    SendMessageA(field, EM_LIMITTEXT, LOGIN_FIELD_CAP - 1, 0);
  // No focus is set: after start the focus stays on the main window.
}

void loginCommand(HWND window) {
  // Tab and Enter still arrive on the call screen, where there is nothing to
  // log in; and a login whose exchange or message box is still open on this
  // thread is not started a second time inside it.
  if (app.loggedIn || app.loginRunning)
    return;

  readLoginField(app.codeEdit, app.loginCode);
  readLoginField(app.passwordEdit, app.loginPassword);
  if (app.loginCode[0] == '\0' || app.loginPassword[0] == '\0') {
    app.loginRunning = true; // the box runs its own message loop
    MessageBoxA(window, "Preencha todos os Campos.", "Atenção", MB_OK);
    app.loginRunning = false;
    return;
  }

  app.loggedIn = serviceLogin();
  if (!app.loggedIn)
    return; // the screen stays, with the typed texts

  app.mainWindow = window; // where the SIP side reports, from now on
  setupSipAccount(app.sipUser, app.sipPassword, app.sipDomain);
  destroyLoginControls();
  SendMessageA(window, WM_CREATE, 0, 1);
}

void nextFieldCommand() {
  if (app.loggedIn)
    return; // the login fields are gone
  HWND focus = GetFocus();
  if (focus == app.codeEdit)
    SetFocus(app.passwordEdit);
  else if (focus == app.passwordEdit)
    SetFocus(app.loginButton);
  else
    SetFocus(app.codeEdit);
}
