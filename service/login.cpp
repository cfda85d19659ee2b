// The login exchange: the form POST with code, password, version and key,
// and what the service's JSON answer grants.
#include <json/json.h>

#include "service.h"
#include "service_internal.h"

namespace {

const char LOGIN_PATH[] = "/appConsultoria/mirtavel.php";
const char CAPTION[] = "Atenção";
const char FAILURE_TEXT[] = "Não foi possível falar com o serviço, ou ele respondeu de forma "
                            "inesperada. Tente novamente.";
const char UNUSABLE_ACCOUNT_TEXT[] =
    "O serviço respondeu com uma conta que este programa não pode usar.";

bool objectOrNull(const Json::Value &v) { return v.isObject() || v.isNull(); }

// Values read with asString: anything but an array or an object.
bool scalar(const Json::Value &v) { return !v.isArray() && !v.isObject(); }

// A text that fits a buffer of this capacity whole; an embedded NUL would
// silently shorten it there, so such a text does not fit either.
bool fitsBuffer(const std::string &text, size_t capacity) {
  return text.size() < capacity && text.find('\0') == std::string::npos;
}

LoginAnswer readAnswer(const std::string &body, std::string &refusalText) {
  Json::Reader reader;
  Json::Value root;
  if (!reader.parse(body, root))
    return ANSWER_FAILED;
  if (!objectOrNull(root))
    return ANSWER_FAILED;
  const Json::Value resposta = root["resposta"];
  if (!objectOrNull(resposta))
    return ANSWER_FAILED;

  const Json::Value &status = resposta["status"];
  if (!scalar(status) || status.isString())
    return ANSWER_FAILED;
  if (!status.asBool()) {
    const Json::Value message = resposta.get("mensagem", "UTF-8");
    if (!scalar(message))
      return ANSWER_FAILED;
    refusalText = message.asString();
    repairAccents(refusalText);
    return ANSWER_REFUSED;
  }

  const Json::Value &domain = resposta["dominio"];
  const Json::Value &user = resposta["user"];
  const Json::Value &password = resposta["pass"];
  if (!domain.isString() || !user.isString() || !password.isString())
    return ANSWER_FAILED;
  std::string sipDomain = domain.asString(), sipUser = user.asString(),
              sipPassword = password.asString();
  // The account is registered exactly as granted, or not at all.
  if (!fitsBuffer(sipDomain, SIP_DOMAIN_CAP) || !fitsBuffer(sipUser, SIP_USER_CAP) ||
      !fitsBuffer(sipPassword, SIP_PASSWORD_CAP))
    return ANSWER_UNUSABLE_ACCOUNT;
  // Values that are not plainly a SIP host, user and password would be read
  // by the SIP library as something else (another host, a transport, a
  // password in the address): such an answer is not used at all.
  if (!validSipDomain(sipDomain) || sipUser.empty() || !validSipUser(sipUser) ||
      !validSipPassword(sipPassword))
    return ANSWER_UNUSABLE_ACCOUNT;

  TextList names, users;
  for (const Json::Value &group : root["filas"]) {
    if (!objectOrNull(group))
      return ANSWER_FAILED;
    for (const Json::Value &queue : group["info"]) {
      if (!objectOrNull(queue))
        return ANSWER_FAILED;
      const Json::Value nameValue = queue.get("nome", "UTF-8");
      const Json::Value &info = queue["info"];
      if (!scalar(nameValue) || !objectOrNull(info) || !scalar(info["user"]))
        return ANSWER_FAILED;
      std::string name = nameValue.asString();
      std::string queueUser = info["user"].asString();
      repairAccents(name);
      // A queue whose name or user would have to be cut is left out, so
      // that no call ever dials a different user than the service gave.
      if (!fitsBuffer(name, QUEUE_NAME_CAP) || !fitsBuffer(queueUser, CALLEE_USER_CAP))
        continue;
      // Likewise a queue whose user is not a plain SIP user.
      if (!validSipUser(queueUser))
        continue;
      names.push_back(name);
      users.push_back(queueUser);
    }
  }

  // Everything checked: only now is anything stored.
  textCopy(app.sipDomain, sipDomain.c_str());
  textCopy(app.sipUser, sipUser.c_str());
  textCopy(app.sipPassword, sipPassword.c_str());
  app.queueNames.insert(app.queueNames.end(), names.begin(), names.end());
  app.queueUsers.insert(app.queueUsers.end(), users.begin(), users.end());
  return ANSWER_ACCEPTED;
}

LoginAnswer runExchange(std::string &refusalText) {
  ensureInstallKey();
  textCopy(app.savedLoginCode, app.loginCode);
  std::string body = "codigo=" + formEncode(app.loginCode) +
                     "&senha=" + formEncode(app.loginPassword) +
                     "&version=1.1&chave=" + formEncode(readInstallKey());
  std::string response;
  long status = 0;
  if (postForm(LOGIN_PATH, body, response, status) != TRANSFER_DONE || status != 200)
    return ANSWER_FAILED;
  return applyLoginAnswer(response, refusalText);
}

} // namespace

LoginAnswer applyLoginAnswer(const std::string &body, std::string &refusalText) {
  try {
    return readAnswer(body, refusalText);
  } catch (...) { // JsonCpp's type errors and its nesting limit
    return ANSWER_FAILED;
  }
}

bool serviceLogin() {
  if (app.loginRunning)
    return false;
  app.loginRunning = true;

  LoginAnswer answer = ANSWER_FAILED;
  std::string refusalText;
  try {
    answer = runExchange(refusalText);
  } catch (...) {
    answer = ANSWER_FAILED;
  }

  // The service keeps a login open unless it refused it, so the logout
  // notice goes out at exit even after a failed exchange.
  app.serviceLoginOpen = answer != ANSWER_REFUSED;
  if (answer == ANSWER_REFUSED)
    MessageBoxA(nullptr, refusalText.c_str(), CAPTION, MB_OK);
  else if (answer == ANSWER_FAILED)
    MessageBoxA(nullptr, FAILURE_TEXT, CAPTION, MB_OK);
  else if (answer == ANSWER_UNUSABLE_ACCOUNT)
    MessageBoxA(nullptr, UNUSABLE_ACCOUNT_TEXT, CAPTION, MB_OK);

  app.loginRunning = false;
  return answer == ANSWER_ACCEPTED;
}

void repairAccents(std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    // C2 xx and C3 xx encode U+0080..U+00FF, which is Latin-1 byte for byte.
    if ((c == 0xC2 || c == 0xC3) && (next & 0xC0) == 0x80) {
      out += static_cast<char>(((c & 0x03) << 6) | (next & 0x3F));
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  // The service's names are matched with their first space removed.
  size_t space = out.find(' ');
  if (space != std::string::npos)
    out.erase(space, 1);
  text.swap(out);
}
