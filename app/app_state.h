// The one process-wide record that every part of the program shares.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "text_buffer.h"

// liblinphone's handles, declared opaquely: the window code never includes
// the library's headers (they do not build for Windows with MinGW).
struct _LinphoneCore;
struct _LinphoneCoreVTable;
struct _LinphoneProxyConfig;
struct _LinphoneAddress;
struct _LinphoneAuthInfo;
struct _LinphoneCall;

typedef std::vector<std::string> TextList;

// Posted by the SIP side to the main window whenever registration or call
// state changed (from whichever thread is inside the SIP library).
enum { WM_SIP_CHANGED = WM_APP + 1 };

// Capacities of the text buffers, terminator included.
enum {
  LOGIN_FIELD_CAP = 20,
  SAVED_CODE_CAP = 100,
  INSTALL_KEY_CAP = 21,
  SIP_DOMAIN_CAP = 200,
  SIP_USER_CAP = 40,
  SIP_PASSWORD_CAP = 100,
  SELECTED_QUEUE_CAP = 256,
  // Room for the SIP user of any queue the directory keeps (queue users that
  // do not fit are left out of the directory, never cut).
  CALLEE_USER_CAP = 40,
  // "Ligar para fila de " + a queue name of up to 199 characters + "?".
  PROMPT_CAP = 220,
  URI_CAP = 200,
  QUEUE_NAME_CAP = 200,
  // "Em ligação com " + a queue name of up to 255 characters.
  STATUS_CAP = 280,
  // The digits typed in the call, as the status line shows them: the last
  // ones when there were more, as many as fit the line's width.
  SENT_DIGITS_CAP = 17,
};

struct AppState {
  // Flags. The SIP worker thread writes the two atomics.
  bool loggedIn = false;
  bool serviceLoginOpen = false;
  std::atomic<bool> registered{false};
  std::atomic<bool> callInProgress{false};
  // Set while a login exchange (or its message box) runs on the window
  // thread, so that a second login command cannot start inside it.
  bool loginRunning = false;
  // Set once the session ends (the program is told to end rather than
  // asked): a login exchange still under way stops at once.
  bool sessionEnding = false;

  char loginCode[LOGIN_FIELD_CAP] = "";
  char loginPassword[LOGIN_FIELD_CAP] = "";
  char savedLoginCode[SAVED_CODE_CAP] = "";
  char installKey[INSTALL_KEY_CAP] = "";
  char sipDomain[SIP_DOMAIN_CAP] = "";
  char sipUser[SIP_USER_CAP] = "";
  char sipPassword[SIP_PASSWORD_CAP] = "";
  char selectedQueue[SELECTED_QUEUE_CAP] = "ATENDIMENTO";
  char calleeUser[CALLEE_USER_CAP] = "";
  char promptText[PROMPT_CAP] = "";
  char identityUri[URI_CAP] = "";
  char calleeUri[URI_CAP] = "";
  // The queue of the call placed last, as the status line names it.
  char calledQueue[SELECTED_QUEUE_CAP] = "";
  char statusText[STATUS_CAP] = "";
  // Window thread only: the digits sent in the call placed last (earlier
  // ones dropped when there were more than fit: sentDigitsCut), and whether
  // a digit was typed before the queue answered, when none can be sent.
  char sentDigits[SENT_DIGITS_CAP] = "";
  bool sentDigitsCut = false;
  bool digitBeforeAnswer = false;

  TextList queueNames;
  TextList queueUsers;
  TextList shownQueueNames;
  TextList shownQueueUsers;

  // SIP library handles (owned by sip/, never released).
  _LinphoneCore *core = nullptr;
  _LinphoneCoreVTable *coreVTable = nullptr;
  _LinphoneProxyConfig *proxyConfig = nullptr;
  _LinphoneAddress *identityAddress = nullptr;
  _LinphoneAuthInfo *authInfo = nullptr;
  const char *proxyDomain = nullptr;
  _LinphoneAddress *calleeAddress = nullptr;
  _LinphoneCall *currentCall = nullptr;

  void *httpHandle = nullptr; // CURL easy handle of the request in progress

  HFONT labelFont = nullptr;
  HINSTANCE appInstance = nullptr;
  // Set before the SIP worker starts; the worker only posts to it.
  HWND mainWindow = nullptr;
  HWND codeLabel = nullptr, codeEdit = nullptr, passwordLabel = nullptr, passwordEdit = nullptr,
       loginButton = nullptr;
  HWND queueCombo = nullptr, callButton = nullptr, helpButton = nullptr, hangUpButton = nullptr,
       statusLabel = nullptr;
};

extern AppState app;
