// The login exchange: the form POST with code, password, version and key,
// and what the service's JSON answer grants.
#include <json/json.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "code_page.h"
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

// A name that fits, with its number after it ("ATENDIMENTO 2"), cut with
// "..." when the number would not fit.
std::string numberedName(const std::string &name, int count) {
  std::string numbered = name + " " + std::to_string(count);
  return numbered.size() < QUEUE_NAME_CAP ? numbered : cutName(name, count);
}

// The queue is called by the name the list shows, so every name shown must
// be its own queue's. Names too long for the program's buffers are listed
// cut with "..." rather than left out; a name that fits keeps its text when
// it is the first of that text. Any other name (a cut one, a repeated one,
// one that the window's code page made equal to another) gets the first
// number that makes it unlike every other name, so that each entry still
// calls its own queue.
void makeNamesUnique(TextList &names) {
  // An embedded NUL would end a name early in the window's buffers.
  for (std::string &name : names)
    std::replace(name.begin(), name.end(), '\0', '?');
  std::vector<bool> keeps(names.size());
  for (size_t i = 0; i < names.size(); ++i)
    keeps[i] = names[i].size() < QUEUE_NAME_CAP &&
               std::find(names.begin(), names.begin() + i, names[i]) == names.begin() + i;
  for (size_t i = 0; i < names.size(); ++i) {
    if (keeps[i])
      continue;
    // Taken: a name kept anywhere in the list, or one given before this one.
    auto taken = [&](const std::string &name) {
      for (size_t j = 0; j < names.size(); ++j)
        if (j != i && (j < i || keeps[j]) && names[j] == name)
          return true;
      return false;
    };
    const std::string original = names[i];
    bool fits = original.size() < QUEUE_NAME_CAP;
    names[i] = fits ? original : cutName(original, 0);
    for (int count = 2; taken(names[i]); ++count)
      names[i] = fits ? numberedName(original, count) : cutName(original, count);
  }
}

// The JSON text of an answer: services saved with a UTF-8 byte-order mark
// send it first, which is no JSON; it goes, with the white space around it.
std::string withoutByteOrderMark(const std::string &body) {
  const char *const space = " \t\r\n";
  size_t start = body.find_first_not_of(space);
  if (start != std::string::npos && body.compare(start, 3, "\xEF\xBB\xBF") == 0)
    start = body.find_first_not_of(space, start + 3);
  return start == std::string::npos ? std::string() : body.substr(start);
}

// Comments allowed and any value at the top level, as the service's answers
// have always been read.
bool parseJson(const std::string &text, Json::Value &root) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &root, nullptr);
}

LoginAnswer readAnswer(const std::string &body, std::string &refusalText) {
  Json::Value root;
  if (!parseJson(withoutByteOrderMark(body), root))
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

  makeNamesUnique(names);

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
                     "&version=" PROGRAM_VERSION "&chave=" + formEncode(readInstallKey());
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
// The service's names are matched with their first space removed.
void dropFirstSpace(std::string &text) {
  size_t space = text.find(' ');
  if (space != std::string::npos)
    text.erase(space, 1);
}
} // namespace

void repairAccents(std::string &text) {
  text = utf8ToCp1252(text);
  dropFirstSpace(text);
}
