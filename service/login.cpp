// The login exchange: the form POST with code, password, version and key,
// and what the service's JSON answer grants.
#include <json/json.h>

#include <algorithm>
#include <cstdint>

#include "service.h"
#include "service_internal.h"

namespace {

const char LOGIN_PATH[] = "/appConsultoria/mirtavel.php";
const char CAPTION[] = "Atenção";
const char FAILURE_TEXT[] = "Não foi possível falar com o serviço, ou ele respondeu de forma "
                            "inesperada. Tente novamente.";
const char UNUSABLE_ACCOUNT_TEXT[] =
    "O serviço respondeu com uma conta que este programa não pode usar.";

// Queues of the latest accepted answer that cannot be called.
int queuesLeftOut = 0;

bool objectOrNull(const Json::Value &v) { return v.isObject() || v.isNull(); }

// Values read with asString: anything but an array or an object.
bool scalar(const Json::Value &v) { return !v.isArray() && !v.isObject(); }

// A text that fits a buffer of this capacity whole; an embedded NUL would
// silently shorten it there, so such a text does not fit either.
bool fitsBuffer(const std::string &text, size_t capacity) {
  return text.size() < capacity && text.find('\0') == std::string::npos;
}

// As much of text as fits QUEUE_NAME_CAP with "..." after it (with a number
// before the dots when count is not 0).
std::string cutName(const std::string &text, int count) {
  std::string end = count ? " " + std::to_string(count) + "..." : "...";
  return text.substr(0, QUEUE_NAME_CAP - 1 - end.size()) + end;
}

// Names too long for the program's buffers are listed cut with "..." rather
// than left out. A cut name that is also the name of another queue (one
// listed before it, or one not cut) gets a number, so that every name still
// calls its own queue.
void shortenLongNames(TextList &names) {
  // An embedded NUL would end a name early in the window's buffers.
  for (std::string &name : names)
    std::replace(name.begin(), name.end(), '\0', '?');
  std::vector<bool> cut(names.size());
  for (size_t i = 0; i < names.size(); ++i)
    cut[i] = names[i].size() >= QUEUE_NAME_CAP;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!cut[i])
      continue;
    std::string whole = names[i];
    auto taken = [&](const std::string &name) {
      for (size_t j = 0; j < names.size(); ++j)
        if (j != i && (j < i || !cut[j]) && names[j] == name)
          return true;
      return false;
    };
    names[i] = cutName(whole, 0);
    for (int count = 2; taken(names[i]); ++count)
      names[i] = cutName(whole, count);
  }
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
  int leftOut = 0;
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
      // A queue whose user would have to be cut, or is not a plain SIP
      // user, is left out (and counted, for the user to be told), so that
      // no call ever dials a different user than the service gave.
      if (!fitsBuffer(queueUser, CALLEE_USER_CAP) || !validSipUser(queueUser)) {
        ++leftOut;
        continue;
      }
      names.push_back(name);
      users.push_back(queueUser);
    }
  }

  shortenLongNames(names);

  // Everything checked: only now is anything stored.
  textCopy(app.sipDomain, sipDomain.c_str());
  textCopy(app.sipUser, sipUser.c_str());
  textCopy(app.sipPassword, sipPassword.c_str());
  app.queueNames.insert(app.queueNames.end(), names.begin(), names.end());
  app.queueUsers.insert(app.queueUsers.end(), users.begin(), users.end());
  queuesLeftOut = leftOut;
  return ANSWER_ACCEPTED;
}

// A queue the service grants is never silently missing from the list.
std::string leftOutText(int count) {
  return count == 1 ? "O serviço enviou 1 fila que este programa não pode chamar; ela não "
                      "aparece na lista."
                    : "O serviço enviou " + std::to_string(count) +
                          " filas que este programa não pode chamar; elas não aparecem na "
                          "lista.";
}

LoginAnswer runExchange(std::string &refusalText) {
  ensureInstallKey();
  textCopy(app.savedLoginCode, app.loginCode);
  std::string body = "codigo=" + formEncode(app.loginCode) +
                     "&senha=" + formEncode(app.loginPassword) +
                     "&version=1.1&chave=" + formEncode(readInstallKey());
  std::string response;
  long status = 0;
  // From here the service may have the login, whatever happens next: an end
  // of the program during the exchange sends the logout notice.
  app.serviceLoginOpen = true;
  if (postForm(LOGIN_PATH, body, response, status, TRANSFER_LIMIT_MS, true) != TRANSFER_DONE ||
      status != 200)
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
  if (app.sessionEnding) {
    // Nobody is there to read a box: the end of the program follows.
    app.loginRunning = false;
    return false;
  }
  if (answer == ANSWER_REFUSED)
    MessageBoxA(nullptr, refusalText.c_str(), CAPTION, MB_OK);
  else if (answer == ANSWER_FAILED)
    MessageBoxA(nullptr, FAILURE_TEXT, CAPTION, MB_OK);
  else if (answer == ANSWER_UNUSABLE_ACCOUNT)
    MessageBoxA(nullptr, UNUSABLE_ACCOUNT_TEXT, CAPTION, MB_OK);
  else if (answer == ANSWER_ACCEPTED && queuesLeftOut > 0)
    MessageBoxA(nullptr, leftOutText(queuesLeftOut).c_str(), CAPTION, MB_OK);

  app.loginRunning = false;
  return answer == ANSWER_ACCEPTED;
}

namespace {

// The byte of code page 1252 (the window's 8-bit text) for a code point, or
// '?' when that code page has no such character. 1252 is Latin-1 except in
// 80..9F, where Latin-1's control characters give way to typographic ones.
char windows1252(uint32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
    return static_cast<char>(code);
  static const uint16_t upper[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    if (upper[i] && upper[i] == code)
      return static_cast<char>(0x80 + i);
  return '?';
}

// The length of the UTF-8 sequence that starts at text[i], with its code point
// in code; 0 when the bytes there are not one (a stray or cut byte, a longer
// form than needed).
size_t utf8Sequence(const std::string &text, size_t i, uint32_t &code) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = lead < 0x80                   ? 1
                  : lead >= 0xC2 && lead < 0xE0 ? 2
                  : lead >= 0xE0 && lead < 0xF0 ? 3
                  : lead >= 0xF0 && lead < 0xF5 ? 4
                                                : 0;
  if (length == 0 || i + length > text.size())
    return 0;
  code = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (next & 0x3F);
  }
  static const uint32_t shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
  return code >= shortest[length] && code <= 0x10FFFF ? length : 0;
}

} // namespace

void repairAccents(std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t code = 0;
    size_t length = utf8Sequence(text, i, code);
    // Bytes that are not UTF-8 are taken as the window's own text already.
    out += length ? windows1252(code) : text[i];
    i += length ? length : 1;
  }
  // The service's names are matched with their first space removed.
  size_t space = out.find(' ');
  if (space != std::string::npos)
    out.erase(space, 1);
  text.swap(out);
}
