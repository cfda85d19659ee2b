// What the SIP side tells the window: the report behind the status line, and
// the far side's answers turned into what the status line says.
#include "sip_internal.h"

#include <cstdio>
#include <cstring>

#include "app_state.h"

namespace {
// The report the status line is made from, written on any thread.
std::mutex reportMutex;
SipReport report = {REGISTRATION_PENDING, "", CALL_NONE, 0, false};

// Records a change and tells the main window; posting is all this thread
// does with the window, so it never waits for the window thread.
template <typename Change> void publish(Change change) {
  {
    std::lock_guard<std::mutex> lock(reportMutex);
    change(report);
  }
  if (app.mainWindow)
    PostMessageA(app.mainWindow, WM_SIP_CHANGED, 0, 0);
}
} // namespace

void publishRegistration(RegistrationView view, const char *reason) {
  publish([view, reason](SipReport &r) {
    if (r.registration == view && std::strcmp(r.registrationReason, reason) == 0)
      return; // a refresh that changed nothing
    r.registration = view;
    textCopy(r.registrationReason, reason);
    r.callNewer = false;
  });
}

void publishCall(CallView view, int code) {
  publish([view, code](SipReport &r) {
    r.call = view;
    r.callCode = code;
    r.callNewer = true;
  });
}

SipReport sipReport() {
  std::lock_guard<std::mutex> lock(reportMutex);
  return report;
}

int answerCode(const LinphoneErrorInfo *info) {
  if (!info)
    return 0;
  switch (linphone_error_info_get_reason(info)) {
  case LinphoneReasonNoResponse:
  case LinphoneReasonIOError:
  case LinphoneReasonNotAnswered:
    return 0;
  default:
    break;
  }
  int code = linphone_error_info_get_protocol_code(info);
  return code >= 300 ? code : 0;
}

void registrarReason(LinphoneProxyConfig *config, char (&out)[REASON_CAP]) {
  textCopy(out, "");
  const LinphoneErrorInfo *info = config ? linphone_proxy_config_get_error_info(config) : nullptr;
  int code = answerCode(info);
  if (!code)
    return;
  // A registrar that refuses even the interval it asked for: the library
  // tells this from its second refusal on, and keeps trying, ever slower.
  if (code == 423) {
    std::snprintf(out, REASON_CAP, "intervalo recusado (%d)", code);
    return;
  }
  const char *phrase = linphone_error_info_get_phrase(info);
  std::snprintf(out, REASON_CAP, "%d %s", code, phrase ? phrase : "");
}
