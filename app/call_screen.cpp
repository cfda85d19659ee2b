// The call screen (queue list, "Ligar", help, "Desligar") and its
// commands: call, hang up and the help page.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app_state.h"
#include "main_window.h"
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
  // to its right one, two lines down to the white panel's end, so that a
  // queue's name is shown whole, wrapped between words when it must.
  composeStatus(app.statusText);
  createControl(app.statusLabel, window, 0, "STATIC", app.statusText, child | SS_LEFT, 160, 200,
                210, 32, 0);
}

namespace {

// Which of the sound devices the phone lacks: an index of READY_TEXTS and
// IN_CALL_NOTES.
int missingSound(const SipReport &report) { return report.noMicrophone + 2 * report.noSpeaker; }

// What the status line says about the call the SIP side reported, naming the
// queue called; false when the registration is what it should say. One case
// per state of the call.
bool callWords(const SipReport &report, const char *queue, char (&text)[STATUS_CAP]) {
  bool shown = report.call == CALL_CALLING || report.call == CALL_CONNECTED ||
               (report.call != CALL_NONE && report.callNewer);
  if (!shown)
    return false;
  char code[16];
  snprintf(code, sizeof code, "%d", report.callCode);
  switch (report.call) {
  case CALL_CALLING:
    return textJoin(text, "Chamando ", queue, "...");
  case CALL_CONNECTED:
    // The call waits for the network to come back. That news comes first,
    // on the status line's first line; the queue's name after it, when it
    // fits.
    if (report.registration == REGISTRATION_NO_NETWORK)
      return textJoin(text, "Sem conexão de rede, em ligação com ", queue) ||
             textJoin(text, "Sem conexão de rede");
    // Only a queue name too long to leave room for it drops the note.
    return textJoin(text, "Em ligação com ", queue, IN_CALL_NOTES[missingSound(report)]) ||
           textJoin(text, "Em ligação com ", queue);
  case CALL_ENDED:
    return textJoin(text, "Ligação encerrada");
  case CALL_LOST:
    return textJoin(text, "Ligação encerrada (conexão perdida)");
  case CALL_NOT_SECURE:
    return textJoin(text, "Ligação recusada (fila sem criptografia)");
  case CALL_BUSY:
    return textJoin(text, "Fila ocupada");
  case CALL_DECLINED:
    return textJoin(text, "Chamada recusada");
  case CALL_FAILED:
    return textJoin(text, "Ligação não completada (", report.callCode ? code : "sem resposta", ")");
  case CALL_NOT_PLACED:
    return textJoin(text, "Ligação não completada (endereço inválido)");
  case CALL_NO_COMMON_AUDIO:
    return textJoin(text, "Ligação encerrada (sem áudio em comum com a fila)");
  case CALL_NONE:
    break;
  }
  return false;
}

// What the status line says about the registration. One case per state.
void registrationWords(const SipReport &report, char (&text)[STATUS_CAP]) {
  const char *reason = report.registrationReason;
  switch (report.registration) {
  case REGISTRATION_UNAVAILABLE:
    if (reason[0])
      textJoin(text, "Telefone indisponível (", reason, ")");
    else
      textJoin(text, "Telefone indisponível");
    break;
  case REGISTRATION_OK:
    textJoin(text, READY_TEXTS[missingSound(report)]);
    break;
  case REGISTRATION_NO_NETWORK:
    textJoin(text, "Sem conexão de rede");
    break;
  case REGISTRATION_FAILED:
    textJoin(text, "Falha no registro: ", reason[0] ? reason : "sem resposta");
    break;
  case REGISTRATION_PENDING:
    textJoin(text, "Registrando conta...");
    break;
  }
}

} // namespace

// A phone that cannot work says so whatever the call did; otherwise the
// call's news, when newer, comes before the registration's. The buffer holds
// the longest status (a queue name fills at most 255 of its 279 characters);
// nothing is ever cut.
void statusText(const SipReport &report, const char *queue, char (&text)[STATUS_CAP]) {
  if (report.registration == REGISTRATION_UNAVAILABLE || !callWords(report, queue, text))
    registrationWords(report, text);
}

void composeStatus(char (&text)[STATUS_CAP]) { statusText(sipReport(), app.calledQueue, text); }

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

namespace {

// The queue called is the queue the list shows. Its edit part may hold typed
// text (or a name the open list filled in) that no pick reported: a queue
// named exactly so becomes the chosen one; any other text is not guessed at,
// the user is asked to pick from the list. False when nothing may be called.
bool takeShownQueue(HWND window) {
  char shown[2 * SELECTED_QUEUE_CAP] = "";
  if (app.queueCombo)
    GetWindowTextA(app.queueCombo, shown, sizeof shown);
  if (strcmp(shown, app.selectedQueue) == 0)
    return true;
  for (const std::string &name : app.shownQueueNames)
    if (name == shown)
      return textCopy(app.selectedQueue, shown);
  std::string text = shown[0] ? std::string("Não há fila chamada \"") + shown + "\". " : "";
  text += "Escolha uma fila da lista.";
  MessageBoxA(window, text.c_str(), "Atenção", MB_OK);
  return false;
}

} // namespace

void callCommand(HWND window) {
  if (app.shownQueueNames.empty()) {
    MessageBoxA(window, "Nenhuma fila disponível para ligar.", "Atenção", MB_OK);
    return;
  }
  if (!takeShownQueue(window))
    return;
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

// Without a browser to show the page, the user is told, with the address.
void helpCommand(HWND window) {
  std::string page = std::string(serviceBaseUrl()) + "/?url=/areas_assuntos.php";
  HINSTANCE opened = ShellExecuteA(nullptr, nullptr, page.c_str(), nullptr, nullptr, SW_SHOW);
  if (reinterpret_cast<INT_PTR>(opened) <= 32) {
    std::string text = "Não foi possível abrir o navegador para mostrar a ajuda.\n"
                       "Abra este endereço em um navegador:\n" +
                       page;
    MessageBoxA(window, text.c_str(), "Atenção", MB_OK);
  }
}

// Rebuilt after every confirmed command so that "Desligar" follows the call.
void rebuildCallScreen(HWND window) {
  destroyCallControls();
  SendMessageA(window, WM_CREATE, 0, 1);
}
