// What the SIP side tells the window: the report behind the status line, and
// the far side's answers turned into what the status line says.
#include "sip_internal.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "app_state.h"

namespace {
// The report the status line is made from, written on any thread.
std::mutex reportMutex;
SipReport report = {REGISTRATION_PENDING, "", CALL_NONE, 0, false, false, false, false, "", ""};

// Records a change and tells the main window; posting is all this thread
// does with the window, so it never waits for the window thread.
template <typename Change> void publish(Change change) {
  {
    std::lock_guard<std::mutex> lock(reportMutex);
    change(report);
  }
  notifyWindow.load()();
}
} // namespace

void postSipChanged() {
  if (app.mainWindow)
    PostMessageA(app.mainWindow, WM_SIP_CHANGED, 0, 0);
}
std::atomic<void (*)()> notifyWindow{postSipChanged};

void publishRegistration(RegistrationState state, const char *reason) {
  publish([state, reason](SipReport &r) {
    if (r.registration == state && std::strcmp(r.registrationReason, reason) == 0)
      return; // a refresh that changed nothing
    r.registration = state;
    textCopy(r.registrationReason, reason);
    r.callNewer = false;
  });
}

void publishCall(CallState state, int code) {
  publish([state, code](SipReport &r) {
    r.call = state;
    r.callCode = code;
    r.callNewer = true;
  });
}

void publishSound(bool microphone, bool speaker) {
  publish([microphone, speaker](SipReport &r) {
    r.noMicrophone = !microphone;
    r.noSpeaker = !speaker;
  });
}

void publishFarSide(bool handedOn, const char *user, const char *name) {
  publish([handedOn, user, name](SipReport &r) {
    r.handedOn = handedOn;
    // Nothing too long for the report is shown cut.
    if (!textCopy(r.farUser, user))
      textCopy(r.farUser, "");
    if (!textCopy(r.farName, name))
      textCopy(r.farName, "");
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

// The registrar's refusal in the status line's words, its code kept: one row
// per answer the user can act on, the code alone for the others.
void registrarRefusal(int code, char (&out)[REASON_CAP]) {
  const char *words = nullptr;
  switch (code) {
  case 401:
  case 407:
    words = "credenciais recusadas";
    break;
  case 403:
    words = "acesso negado";
    break;
  case 404:
    words = "conta não encontrada";
    break;
  case 408:
  case 480:
  case 503:
  case 504:
    words = "servidor indisponível";
    break;
  case 423:
    words = "intervalo recusado";
    break;
  }
  if (words)
    std::snprintf(out, REASON_CAP, "%s (%d)", words, code);
  else
    std::snprintf(out, REASON_CAP, "recusado (código %d)", code);
}

namespace {

// The value of one parameter of a digest challenge ("Digest realm=\"x\",
// qop=\"auth-int\""), unquoted; empty when the challenge has none.
std::string digestParameter(const char *challenge, const char *name) {
  std::string text = challenge ? challenge : "";
  std::string lower = text;
  for (char &ch : lower)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  std::string key = std::string(name) + "=";
  for (size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 1)) {
    if (at > 0 && lower[at - 1] != ' ' && lower[at - 1] != ',')
      continue; // the end of a longer name
    size_t start = at + key.size();
    bool quoted = start < text.size() && text[start] == '"';
    if (quoted)
      ++start;
    size_t end = text.find(quoted ? "\"" : ",", start);
    return text.substr(start, end == std::string::npos ? end : end - start);
  }
  return "";
}

bool sameWord(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

} // namespace

// The stack answers a digest challenge only with its first quality of
// protection being "auth" (or none), in MD5 or SHA-256: asked for anything
// else it sends the request again without credentials, and the registrar's
// refusal then says nothing about the password.
bool unanswerableChallenge(const char *challenge) {
  if (!challenge)
    return false;
  std::string qop = digestParameter(challenge, "qop");
  qop = qop.substr(0, qop.find(','));
  qop.erase(0, qop.find_first_not_of(' '));
  qop.erase(qop.find_last_not_of(' ') + 1);
  std::string algorithm = digestParameter(challenge, "algorithm");
  return (!qop.empty() && !sameWord(qop, "auth")) ||
         (!algorithm.empty() && !sameWord(algorithm, "MD5") && !sameWord(algorithm, "SHA-256"));
}

void registrarReason(LinphoneProxyConfig *config, char (&out)[REASON_CAP]) {
  textCopy(out, "");
  const LinphoneErrorInfo *info = config ? linphone_proxy_config_get_error_info(config) : nullptr;
  int code = answerCode(info);
  // The library names a registrar's 503 as it names a connection that
  // failed (an I/O error, 503): only the registrar's own answer leaves its
  // headers behind, Via first among them.
  if (!code && info && linphone_proxy_config_get_custom_header(config, "Via")) {
    int answered = linphone_error_info_get_protocol_code(info);
    code = answered >= 300 ? answered : 0;
  }
  const char *challenge =
      code == 401   ? linphone_proxy_config_get_custom_header(config, "WWW-Authenticate")
      : code == 407 ? linphone_proxy_config_get_custom_header(config, "Proxy-Authenticate")
                    : nullptr;
  if (unanswerableChallenge(challenge))
    textCopy(out, "servidor pede autenticação não suportada");
  else if (code)
    registrarRefusal(code, out);
  // Over TLS the connection itself failed: a registrar whose certificate the
  // program refused, or none listening. Either way nothing secure was made.
  else if (info && sipOverTls() && linphone_error_info_get_reason(info) == LinphoneReasonIOError)
    textCopy(out, "sem conexão segura");
}
