#include "program_driver.h"

#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

#include "main_window.h"
#include "service.h"
#include "winapi_test.h"

namespace {

std::string jsonText(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + "\"";
}

} // namespace

::testing::AssertionResult
SippPeer::start(const std::string &addr, const std::string &workDir, const std::string &scenario,
                const std::vector<std::pair<std::string, std::string>> &values) {
  traceFile = workDir + "/sipp-" + addr + ".msg";
  std::string scenarioFile = scenario;
  if (!values.empty()) {
    std::ifstream in(scenario);
    std::stringstream text;
    text << in.rdbuf();
    std::string filled = text.str();
    for (const auto &v : values)
      for (size_t at = filled.find(v.first); at != std::string::npos; at = filled.find(v.first, at))
        filled.replace(at, v.first.size(), v.second);
    scenarioFile = workDir + "/scenario-" + addr + ".xml";
    std::ofstream(scenarioFile) << filled;
  }
  // The queues' waiting music, which the peer reads from its working
  // directory: a second of A-law silence.
  std::ofstream(workDir + "/queue-audio.al", std::ios::binary) << std::string(8000, '\xd5');
  return process.start(addr,
                       {"-sf", scenarioFile, "-nostdin", "-trace_msg", "-message_file", traceFile,
                        "-trace_err", "-error_file", workDir + "/sipp-errors.log"},
                       workDir, workDir + "/sipp-screen.log");
}

std::vector<std::string> SippPeer::received(const std::string &start) const {
  std::vector<std::string> found = receivedWhole(start);
  for (std::string &message : found)
    message.erase(message.find('\n'));
  return found;
}

std::vector<std::string> SippPeer::receivedWhole(const std::string &start) const {
  std::vector<std::string> found;
  for (const std::string &message : sippReceived(traceFile))
    if (message.compare(0, start.size(), start) == 0)
      found.push_back(message);
  return found;
}

bool SippPeer::waitFor(const std::string &start, size_t count, int timeoutMs) const {
  return waitUntil([&] { return received(start).size() >= count; }, timeoutMs);
}

std::string acceptedAnswer(const std::string &domain, const std::vector<Queue> &queues) {
  std::string filas;
  for (const Queue &q : queues) {
    if (!filas.empty())
      filas += ",";
    filas += "{\"nome\":" + jsonText(q.name) + ",\"info\":{\"user\":" + jsonText(q.user) + "}}";
  }
  return "{\"resposta\":{\"status\":true,\"mensagem\":\"\",\"dominio\":" + jsonText(domain) +
         ",\"user\":\"cliente7\",\"pass\":\"segredo\"},\"filas\":[{\"nome\":\"Consultoria\","
         "\"info\":[" +
         filas + "]}]}";
}

std::string refusedAnswer(const std::string &message) {
  return "{\"resposta\":{\"status\":false,\"mensagem\":" + jsonText(message) + "}}";
}

int runProgram(const std::vector<std::function<void()>> &steps) {
  winapi_test::setHeadless(true);
  std::deque<std::function<void()>> pending(steps.begin(), steps.end());
  winapi_test::setIdleScript([&pending] {
    if (pending.empty()) {
      if (HWND w = mainWindow())
        winapi_test::closeWindow(w);
      return;
    }
    std::function<void()> step = pending.front();
    pending.pop_front();
    step();
  });
  char commandLine[] = "";
  int result = WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
  winapi_test::setIdleScript(nullptr);
  return result;
}

int runLoggedIn(std::vector<std::function<void()>> steps) {
  steps.insert(steps.begin(), [] { typeLogin("1001", "demo123"); });
  return runProgram(steps);
}

HWND mainWindow() {
  for (HWND w : winapi_test::topLevelWindows())
    if (winapi_test::windowText(w) == "Dravik Tirn 1.1")
      return w;
  return nullptr;
}

std::vector<HWND> controlsOfClass(const char *className) {
  std::vector<HWND> found;
  HWND main = mainWindow();
  if (!main)
    return found;
  for (HWND c : winapi_test::children(main))
    if (strcasecmp(winapi_test::className(c).c_str(), className) == 0)
      found.push_back(c);
  return found;
}

HWND buttonLabelled(const char *text) {
  for (HWND b : controlsOfClass("BUTTON"))
    if (winapi_test::windowText(b) == text)
      return b;
  return nullptr;
}

std::string statusLine() { return app.statusLabel ? winapi_test::windowText(app.statusLabel) : ""; }

bool pumpUntil(const std::function<bool()> &pred, int timeoutMs) {
  return waitUntil(
      [&] {
        winapi_test::pump(mainWindow(), nullptr);
        return pred();
      },
      timeoutMs);
}

bool pumpUntilStatus(const std::string &text, int timeoutMs) {
  bool seen = pumpUntil([&] { return statusLine() == text; }, timeoutMs);
  EXPECT_EQ(statusLine(), text);
  return seen;
}

::testing::AssertionResult lastBoxSays(size_t count, const std::string &text, const char *caption,
                                       UINT type) {
  const std::vector<winapi_test::BoxRecord> &boxes = winapi_test::shownBoxes();
  if (boxes.size() != count)
    return ::testing::AssertionFailure()
           << boxes.size() << " boxes shown, not " << count
           << (boxes.empty() ? "" : "; the last says \"" + boxes.back().text + "\"");
  const winapi_test::BoxRecord &box = boxes.back();
  if (box.text != text || (caption && box.caption != caption) ||
      (type != UINT(-1) && box.type != type))
    return ::testing::AssertionFailure() << "the last box says \"" << box.text << "\" under \""
                                         << box.caption << "\" with buttons " << box.type;
  return ::testing::AssertionSuccess();
}

void typeLogin(const std::string &code, const std::string &password) {
  std::vector<HWND> edits = controlsOfClass("Edit");
  if (edits.size() != 2)
    return;
  winapi_test::typeText(edits[0], code);
  winapi_test::typeText(edits[1], password);
  winapi_test::pressKey(VK_RETURN);
}

std::vector<RecordedRequest> requestsTo(const LoopbackHttp &http, const std::string &path) {
  std::vector<RecordedRequest> found;
  for (const RecordedRequest &r : http.requests())
    if (r.path == path)
      found.push_back(r);
  return found;
}

void ProgramTest::SetUp() {
  setServiceHostForTests(http.hostPort().c_str());
  setenv("HOME", dir.path().c_str(), 1);
}

void ProgramTest::grant(const std::string &domain, const std::vector<Queue> &queues) {
  http.setAnswer(LOGIN_PATH, 200, acceptedAnswer(domain, queues));
  http.setAnswer(LOGOUT_PATH, 200, "ok", "text/plain");
}

::testing::AssertionResult
ProgramTest::grantOnPeer(const std::string &peerDomain, const std::vector<Queue> &queues,
                         Sound soundCard, const std::string &scenario,
                         const std::vector<std::pair<std::string, std::string>> &values) {
  if (soundCard == NULL_SINK) {
    ::testing::AssertionResult started = sound.startNullSink(dir.path());
    if (!started)
      return started;
  }
  domain = peerDomain;
  grant(domain, queues);
  return peer.start(domain, dir.path(),
                    scenario.empty() ? DEMO_SIP_PEER : SIP_SCENARIO_DIR "/" + scenario, values);
}
