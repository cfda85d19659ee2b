// The call screen (queue list, "Ligar", help, "Desligar") and its
// commands: call, hang up and the help page.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "app_state.h"
#include "code_page.h"
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
// The same, for a status line that has no room for the whole note.
const char *const SHORT_IN_CALL_NOTES[] = {"", " (sem mic.)", " (sem alto-fal.)", " (sem áudio)"};

// The control that takes the keyboard when the screen is built: the queue
// list after the login; after a rebuild the one that had it (the list when
// it was on the window itself), none when the program did not have the
// keyboard, so that a rebuild never takes it from another program.
HWND AppState::*focusAfterBuild = &AppState::queueCombo;

HWND AppState::*const CALL_CONTROLS[] = {&AppState::queueCombo, &AppState::callButton,
                                         &AppState::hangUpButton, &AppState::helpButton};

// The call-screen control that has the keyboard: the list when its edit part
// has it (Windows gives the focus to that child of the combo box).
HWND AppState::*focusedCallControl() {
  HWND focus = GetFocus();
  if (!focus)
    return nullptr;
  for (HWND AppState::*control : CALL_CONTROLS)
    if (app.*control && (focus == app.*control || GetParent(focus) == app.*control))
      return control;
  return nullptr;
}

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
  if (focusAfterBuild)
    SetFocus(app.*focusAfterBuild ? app.*focusAfterBuild : app.queueCombo);
}

namespace {

// Which of the sound devices the phone lacks: an index of READY_TEXTS and
// IN_CALL_NOTES.
int missingSound(const SipReport &report) { return report.noMicrophone + 2 * report.noSpeaker; }

// How the queue is named in a status: its name, or its name cut with "..."
// (cut), and the sound note in its short form (shortNote), so that the
// status fits its line.
struct QueueWords {
  const char *queue;
  bool cut;
  bool shortNote;
};

// Whether the status line tells of the call rather than of the registration:
// a call going on, or a call's outcome newer than the registration's news.
bool callShown(const SipReport &report) {
  return report.call == CALL_CALLING || report.call == CALL_CONNECTED || report.call == CALL_HELD ||
         report.call == CALL_TRANSFERRING || (report.call != CALL_NONE && report.callNewer);
}

// What the status line says about the call the SIP side reported, naming the
// queue called; false (and text empty) when it does not fit the buffer. One
// case per state of the call.
bool callWords(const SipReport &report, const QueueWords &name, char (&text)[STATUS_CAP]) {
  const char *queue = name.queue;
  char code[16];
  snprintf(code, sizeof code, "%d", report.callCode);
  switch (report.call) {
  case CALL_CALLING:
    // A cut name ends in dots of its own.
    return textJoin(text, "Chamando ", queue, name.cut ? "" : "...");
  case CALL_CONNECTED:
    // The call waits for the network to come back. That news comes first,
    // on the status line's first line; the queue's name after it.
    if (report.registration == REGISTRATION_NO_NETWORK)
      return textJoin(text, "Sem conexão de rede, em ligação com ", queue);
    return textJoin(text, "Em ligação com ", queue,
                    (name.shortNote ? SHORT_IN_CALL_NOTES : IN_CALL_NOTES)[missingSound(report)]);
  case CALL_HELD:
    return textJoin(text, "Em espera com ", queue);
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
  case CALL_TRANSFERRING:
    return textJoin(text, "Transferindo...");
  case CALL_REDIRECT_LOOP:
    return textJoin(text, "Ligação não completada (redirecionamento em laço)");
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

namespace {

// The status words for the queue named so; false when they do not fit the
// buffer.
bool statusWords(const SipReport &report, const QueueWords &name, char (&text)[STATUS_CAP]) {
  if (report.registration != REGISTRATION_UNAVAILABLE && callShown(report))
    return callWords(report, name, text);
  registrationWords(report, text);
  return true;
}

// The status line's size, as buildCallScreen creates it.
const int STATUS_WIDTH = 210, STATUS_HEIGHT = 32;

int textWidth(HDC dc, const std::string &text) {
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

// Lays text out as the status line breaks it: between words, where the next
// word would pass the line's width. A word wider than what is left of its
// line is broken inside, with a line break of the text's own, which the
// line keeps (the label itself would cut such a word at its edge). Gives the
// number of lines; laidOut receives the text with those breaks.
int layOutStatus(HDC dc, const std::string &text, std::string &laidOut) {
  laidOut.clear();
  std::string line;
  int lines = 1;
  size_t from = 0;
  for (bool first = true;; first = false) {
    size_t space = text.find(' ', from);
    std::string word = text.substr(from, space == std::string::npos ? space : space - from);
    std::string joined = first ? word : line + " " + word;
    if (textWidth(dc, joined) <= STATUS_WIDTH) {
      line = joined;
      laidOut += (first ? "" : " ") + word;
    } else if (!first && textWidth(dc, word) <= STATUS_WIDTH) {
      ++lines; // the label breaks at the space
      line = word;
      laidOut += " " + word;
    } else {
      if (!first)
        line += " ", laidOut += " ";
      for (char ch : word) {
        if (!line.empty() && textWidth(dc, line + ch) > STATUS_WIDTH) {
          ++lines;
          line.clear();
          laidOut += '\n';
        }
        line += ch;
        laidOut += ch;
      }
    }
    if (space == std::string::npos)
      return lines;
    from = space + 1;
  }
}

} // namespace

// A phone that cannot work says so whatever the call did; otherwise the
// call's news, when newer, comes before the registration's. Every status is
// shown whole on the status line's two lines: a note about the sound is
// shortened first, then the queue's name is cut (with "...") as little as
// needed.
void statusText(const SipReport &report, const char *queue, char (&text)[STATUS_CAP],
                const char *prefix) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ previousFont = dc ? SelectObject(dc, app.labelFont) : nullptr;
  SIZE cell = {0, 0};
  if (dc)
    GetTextExtentPoint32A(dc, "X", 1, &cell);
  int maxLines = cell.cy > 0 ? std::max(1, STATUS_HEIGHT / static_cast<int>(cell.cy)) : 2;
  std::string whole = queue, cutName, laidOut;
  auto fits = [&](const QueueWords &name) {
    char words[STATUS_CAP];
    if (!statusWords(report, name, words) || !textJoin(text, prefix, words))
      return false;
    laidOut = text;
    return !dc || layOutStatus(dc, text, laidOut) <= maxLines;
  };
  if (!fits({queue, false, false}) && !fits({queue, false, true})) {
    // The longest cut of the name that fits (a longer one may fit where a
    // shorter does not, as the words fall on the lines).
    for (size_t keep = whole.size(); keep-- > 0;) {
      cutName = whole.substr(0, keep) + "...";
      if (fits({cutName.c_str(), true, true}))
        break;
    }
  }
  if (dc) {
    textCopy(text, laidOut.c_str());
    if (previousFont)
      SelectObject(dc, previousFont);
    ReleaseDC(nullptr, dc);
  }
}

// Whom the customer talks to once the queue handed the call on: the queue
// whose SIP user that is, else the far side's display name, else its user.
std::string farSideName(const SipReport &report, const TextList &queueNames,
                        const TextList &queueUsers) {
  if (report.farUser[0])
    for (size_t i = 0; i < queueUsers.size() && i < queueNames.size(); ++i)
      if (queueUsers[i] == report.farUser)
        return queueNames[i];
  // The display name comes in UTF-8; the window shows code page 1252.
  std::string name = utf8ToCp1252(report.farName);
  if (name.empty())
    name = report.farUser;
  // A name that would not fit the status line is left out whole.
  return name.size() < SELECTED_QUEUE_CAP ? name : "";
}

// During the call the status line also shows the digits sent in it, or
// that a digit typed while the queue rings cannot be sent yet: first, so
// that a queue name that takes both lines never hides them.
void composeStatus(char (&text)[STATUS_CAP]) {
  SipReport report = sipReport();
  char prefix[STATUS_CAP] = "";
  if (report.registration == REGISTRATION_UNAVAILABLE)
    ; // the phone's failure alone
  else if (report.call == CALL_CONNECTED && app.sentDigits[0])
    textJoin(prefix, "Teclas ", app.sentDigitsCut ? "..." : "", app.sentDigits) &&
        textAppend(prefix, " - ");
  else if (report.call == CALL_CALLING && app.digitBeforeAnswer)
    textJoin(prefix, "Tecle após o atendimento - ");
  // Once the queue handed the call on, the status names whom it went to.
  std::string farSide;
  if (report.handedOn) {
    farSide = farSideName(report, app.shownQueueNames, app.shownQueueUsers);
    if (farSide.empty())
      farSide = "?";
  }
  statusText(report, report.handedOn ? farSide.c_str() : app.calledQueue, text, prefix);
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

// The queue called is the one picked from the list (selectedQueue), which the
// prompt names: text typed into the list's edit part picks nothing.
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
    textCopy(app.sentDigits, "");
    app.sentDigitsCut = false;
    app.digitBeforeAnswer = false;
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
  focusAfterBuild = focusedCallControl();
  if (!focusAfterBuild && GetFocus() == window)
    focusAfterBuild = &AppState::queueCombo;
  destroyCallControls();
  SendMessageA(window, WM_CREATE, 0, 1);
}

void nextCallControl() {
  HWND AppState::*focused = focusedCallControl();
  size_t count = sizeof CALL_CONTROLS / sizeof CALL_CONTROLS[0];
  size_t next = 0; // from anywhere else: the list
  for (size_t i = 0; i < count; ++i)
    if (CALL_CONTROLS[i] == focused)
      next = i + 1;
  for (; next < count; ++next) // "Desligar" only while it is shown
    if (app.*CALL_CONTROLS[next])
      break;
  SetFocus(next < count ? app.*CALL_CONTROLS[next] : app.queueCombo);
}

void pressFocusedButton(HWND window) {
  HWND AppState::*focused = focusedCallControl();
  if (focused == &AppState::hangUpButton) {
    hangUpCommand(window);
  } else if (focused == &AppState::helpButton) {
    helpCommand(window);
  } else if (focused == &AppState::callButton) {
    callCommand(window);
  } else if (focused == &AppState::queueCombo) {
    // In the open list Enter picks the entry: the list has the key.
    if (!SendMessageA(app.queueCombo, CB_GETDROPPEDSTATE, 0, 0))
      callCommand(window);
  }
}

namespace {

bool insideWindow(HWND control, HWND window) {
  for (HWND h = control; h; h = GetParent(h))
    if (h == window)
      return true;
  return false;
}

// The digit is sent while the call is answered; before the answer it cannot
// be, and the status line says so. Either way it never reaches the list.
void typeDigit(char digit) {
  if (sendDigit(digit)) {
    size_t length = strlen(app.sentDigits);
    if (length + 1 >= SENT_DIGITS_CAP) { // the oldest make room
      memmove(app.sentDigits, app.sentDigits + 1, length);
      app.sentDigitsCut = true;
      --length;
    }
    app.sentDigits[length] = digit;
    app.sentDigits[length + 1] = '\0';
  } else {
    app.digitBeforeAnswer = true;
  }
  updateStatusLine();
}

} // namespace

// Keys held down repeat their character: only the first press sends a digit.
bool callKeyTaken(HWND window, const MSG &message) {
  if (message.message != WM_CHAR || !app.loggedIn || !app.callInProgress)
    return false;
  char digit = static_cast<char>(message.wParam);
  if (!digit || !strchr("0123456789*#", digit) || !insideWindow(message.hwnd, window))
    return false;
  bool repeated = (static_cast<DWORD>(message.lParam) >> 30) & 1;
  if (!repeated)
    typeDigit(digit);
  return true;
}
