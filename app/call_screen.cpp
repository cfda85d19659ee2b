// The call screen (queue list, "Ligar", help, "Desligar") and its
// commands: call, hang up and the help page.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app_state.h"
#include "commands.h"
#include "service.h"
#include "sip.h"

namespace {

// All-or-nothing: a prompt that does not fit is not shown at all, so the
// user is never asked about a name other than the one that would be called.
bool composePrompt(const char *first, const char *second = "", const char *third = "") {
  return textJoin(app.promptText, first, second, third);
}

bool askYesNo(HWND window) { return MessageBoxA(window, app.promptText, "", MB_YESNO) == IDYES; }

// What calls go out without, indexed by the report's noMicrophone + 2 *
// noSpeaker: said instead of "Pronto para ligar", so that nobody calls a
// queue unaware of it, and after the queue's name during a call.
const char *const READY_TEXTS[] = {"Pronto para ligar", "Sem microfone", "Sem alto-falante",
                                   "Sem microfone e alto-falante"};
const char *const IN_CALL_NOTES[] = {"", " (sem microfone)", " (sem alto-falante)",
                                     " (sem microfone e alto-falante)"};

void destroyCallControls() {
  HWND *controls[] = {&app.queueCombo, &app.callButton, &app.helpButton, &app.hangUpButton,
                      &app.statusLabel};
  for (HWND *control : controls) {
    if (*control)
      DestroyWindow(*control);
    *control = nullptr;
  }
}

} // namespace

void buildCallScreen(HWND window) {
  const DWORD child = WS_CHILD | WS_VISIBLE;
  createControl(app.queueCombo, window, 0, "ComboBox", "",
                child | WS_VSCROLL | CBS_DROPDOWN | CBS_HASSTRINGS, 160, 110, 210, 200, 0);
  app.shownQueueNames = copyQueueNames();
  app.shownQueueUsers = copyQueueUsers();
  for (const std::string &name : app.shownQueueNames)
    SendMessageA(app.queueCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  // The entry shown selected is the queue the call names and dials: when the
  // chosen queue is not in the list, the first entry, shown selected, becomes
  // the chosen one.
  int index = findQueueIndex();
  if (static_cast<size_t>(index) < app.shownQueueNames.size() &&
      app.shownQueueNames[index] != app.selectedQueue)
    textCopy(app.selectedQueue, app.shownQueueNames[index].c_str());
  SendMessageA(app.queueCombo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);

  createControl(app.callButton, window, 0, "BUTTON", "Ligar", child | WS_BORDER, 264, 140, 100, 20,
                CMD_CALL);
  createControl(app.helpButton, window, 0, "BUTTON", "Ajuda áreas Consultoria", child | WS_BORDER,
                185, 170, 160, 20, CMD_HELP);
  if (app.callInProgress)
    createControl(app.hangUpButton, window, 0, "BUTTON", "Desligar", child | WS_BORDER, 160, 140,
                  100, 20, CMD_HANGUP);
  // The status line: below the help button, from the combo box's left edge
  // to its right one, inside the white panel; a long text ends in "...".
  composeStatus(app.statusText);
  createControl(app.statusLabel, window, 0, "STATIC", app.statusText,
                child | SS_LEFT | SS_ENDELLIPSIS, 160, 200, 210, 18, 0);
}

// The buffer holds the longest status (a queue name fills at most 255 of its
// 279 characters); should a text not fit, the line is left empty, not cut.
void composeStatus(char (&text)[STATUS_CAP]) {
  SipReport report = sipReport();
  int missingSound = report.noMicrophone + 2 * report.noSpeaker;
  if (report.registration == REGISTRATION_UNAVAILABLE) {
    if (report.registrationReason[0])
      textJoin(text, "Telefone indisponível (", report.registrationReason, ")");
    else
      textJoin(text, "Telefone indisponível");
    return;
  }
  bool callShown = report.call == CALL_CALLING || report.call == CALL_CONNECTED ||
                   (report.call != CALL_NONE && report.callNewer);
  if (callShown) {
    char code[16];
    snprintf(code, sizeof code, "%d", report.callCode);
    switch (report.call) {
    case CALL_CALLING:
      textJoin(text, "Chamando ", app.calledQueue, "...");
      return;
    case CALL_CONNECTED:
      // Only a queue name too long to leave room for it drops the note.
      if (!textJoin(text, "Em ligação com ", app.calledQueue, IN_CALL_NOTES[missingSound]))
        textJoin(text, "Em ligação com ", app.calledQueue);
      return;
    case CALL_ENDED:
      textJoin(text, "Ligação encerrada");
      return;
    case CALL_LOST:
      textJoin(text, "Ligação encerrada (conexão perdida)");
      return;
    case CALL_NOT_SECURE:
      textJoin(text, "Ligação recusada (fila sem criptografia)");
      return;
    case CALL_BUSY:
      textJoin(text, "Fila ocupada");
      return;
    case CALL_DECLINED:
      textJoin(text, "Chamada recusada");
      return;
    case CALL_FAILED:
      textJoin(text, "Ligação não completada (", report.callCode ? code : "sem resposta", ")");
      return;
    case CALL_NOT_PLACED:
      textJoin(text, "Ligação não completada (endereço inválido)");
      return;
    case CALL_NO_COMMON_AUDIO:
      textJoin(text, "Ligação encerrada (sem áudio em comum com a fila)");
      return;
    case CALL_NONE:
      break;
    }
  }
  switch (report.registration) {
  case REGISTRATION_OK:
    textJoin(text, READY_TEXTS[missingSound]);
    break;
  case REGISTRATION_FAILED:
    textJoin(text, "Falha no registro: ",
             report.registrationReason[0] ? report.registrationReason : "sem resposta");
    break;
  default:
    textJoin(text, "Registrando conta...");
    break;
  }
}

// Only the label's text changes, so an open queue list stays open.
void updateStatusLine() {
  char text[STATUS_CAP];
  composeStatus(text);
  if (!app.statusLabel || strcmp(text, app.statusText) == 0)
    return;
  textCopy(app.statusText, text);
  SetWindowTextA(app.statusLabel, app.statusText);
}

// The SIP side changed something. The call screen is rebuilt when the call
// came or went since it was built, so that "Desligar" follows the call; any
// other change touches the status line alone. The SIP side changes the flag
// before it posts, so the flag read here is never older than the news.
LRESULT onSipChanged(HWND window) {
  if (!app.loggedIn || !app.queueCombo)
    return 0;
  bool inCall = app.callInProgress;
  if ((app.hangUpButton != nullptr) != inCall)
    rebuildCallScreen(window);
  else
    updateStatusLine();
  return 0;
}

// A pick in the queue list. Accelerator commands carry the same
// notification code but no control, and other controls are not the list.
void selectionChange(HWND control) {
  if (!control || control != app.queueCombo)
    return;
  LRESULT index = SendMessageA(control, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR)
    return;
  LRESULT length = SendMessageA(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR || length < 0)
    return;
  std::string name(static_cast<size_t>(length) + 1, '\0');
  if (SendMessageA(control, CB_GETLBTEXT, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&name[0])) == CB_ERR)
    return;
  // The directory lists only names that fit; should one not, the previous
  // choice stays rather than a cut name that could match another queue.
  textCopy(app.selectedQueue, name.c_str());
}

void callCommand(HWND window) {
  if (app.shownQueueNames.empty()) {
    MessageBoxA(window, "Nenhuma fila disponível para ligar.", "Atenção", MB_OK);
    return;
  }
  if (!composePrompt("Ligar para fila de ", app.selectedQueue, "?"))
    return;
  // The queue's SIP user is resolved before the user answers. A user that
  // would not fit is not cut into another one: no call is offered then.
  if (!textCopy(app.calleeUser, lookupQueueUser()))
    return;
  if (!askYesNo(window))
    return;

  if (!app.registered) {
    MessageBoxA(window,
                "A conta SIP ainda não está registrada. Aguarde alguns instantes ou verifique "
                "a conexão.",
                "Atenção", MB_OK);
  } else if (app.callInProgress) {
    MessageBoxA(window, "Ligação em Curso", "Atenção", MB_OK);
  } else {
    textCopy(app.calledQueue, app.selectedQueue);
    placeCall(app.sipDomain);
  }
  rebuildCallScreen(window);
}

void hangUpCommand(HWND window) {
  if (!composePrompt("Deseja Desligar ?") || !askYesNo(window))
    return;
  terminateCall();
  rebuildCallScreen(window);
}

void helpCommand() {
  std::string page = std::string(serviceBaseUrl()) + "/?url=/areas_assuntos.php";
  ShellExecuteA(nullptr, nullptr, page.c_str(), nullptr, nullptr, SW_SHOW);
}

// Rebuilt after every confirmed command so that "Desligar" follows the call.
void rebuildCallScreen(HWND window) {
  destroyCallControls();
  SendMessageA(window, WM_CREATE, 0, 1);
}
