// Drives the whole program (WinMain and its message loop) without a display:
// scripted steps run whenever the loop has nothing left to do, against a
// loopback web service and, where calls are involved, a sipp peer.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "loopback_http.h"
#include "polling.h"
#include "sipp_process.h"
#include "temp_work_dir.h"
#include "test_sound.h"

// The service's login and logout endpoints.
const char *const LOGIN_PATH = "/appConsultoria/mirtavel.php";
const char *const LOGOUT_PATH = "/appConsultoria/remove_login.php";

// The demo's sipp peer playing registrar and queue on addr:5060, recording
// every SIP message it sees; stopped however the test ends.
class SippPeer {
public:
  // Fails at once, naming the address, when the peer cannot listen there.
  // scenario: the demo peer's by default; values fill a template's
  // placeholders (sipp checks status codes on loading, before its own keys).
  ::testing::AssertionResult
  start(const std::string &addr, const std::string &workDir,
        const std::string &scenario = DEMO_SIP_PEER,
        const std::vector<std::pair<std::string, std::string>> &values = {});
  // The received messages whose first line starts with start, e.g.
  // "INVITE sip:" or "BYE ".
  std::vector<std::string> received(const std::string &start) const;
  bool waitFor(const std::string &start, size_t count, int timeoutMs) const;
  // The same messages whole, their lines ending in "\r\n" as sent.
  std::vector<std::string> receivedWhole(const std::string &start) const;

private:
  SippProcess process;
  std::string traceFile;
};

// Queue of the login answer: display name and SIP user.
struct Queue {
  std::string name, user;
};
// An accepted login answer granting user@domain and the queues, all in one
// group (texts as UTF-8, as the service sends them).
std::string acceptedAnswer(const std::string &domain, const std::vector<Queue> &queues);
std::string refusedAnswer(const std::string &message);

// Runs WinMain; each time its loop finds no message, the next step runs
// (every step must leave something for the loop: input or a close). After
// the last step the window is closed. Returns WinMain's result.
int runProgram(const std::vector<std::function<void()>> &steps);
// The same after a first step that logs in as customer 1001.
int runLoggedIn(std::vector<std::function<void()>> steps);

HWND mainWindow();
// Live children of the main window of the given class ("BUTTON", ...).
std::vector<HWND> controlsOfClass(const char *className);
HWND buttonLabelled(const char *text); // nullptr when there is none
// The text the call screen's status line shows; empty without one.
std::string statusLine();
// Inside a step: handles what the program's loop has (the SIP side's posts
// above all) until pred holds or timeoutMs passes; returns pred's last value.
bool pumpUntil(const std::function<bool()> &pred, int timeoutMs = 20000);
bool pumpUntilStatus(const std::string &text, int timeoutMs = 20000);

const char *const ATTENTION = "Aten\xe7\xe3o"; // the caption of the program's warnings
// count boxes were shown so far, the last saying text; with that caption and
// type of buttons when they are given.
::testing::AssertionResult lastBoxSays(size_t count, const std::string &text,
                                       const char *caption = nullptr, UINT type = UINT(-1));

// Types code and password into the login fields and presses Enter.
void typeLogin(const std::string &code, const std::string &password);

// The requests the loopback service received on one path.
std::vector<RecordedRequest> requestsTo(const LoopbackHttp &http, const std::string &path);

// Each program test: its own working directory (key.txt), its own HOME (the
// SIP core's data folder) and its own loopback service; for calls a sipp
// peer and the sound card, stopped after the test.
class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override;
  // The service grants user@domain with queues, and takes the logout notice.
  void grant(const std::string &domain, const std::vector<Queue> &queues);
  enum Sound { ANY_SOUND, NULL_SINK };
  // The account granted on a sipp peer at domain (kept in `domain`): the
  // demo's registrar and queues, or scenario (a file of SIP_SCENARIO_DIR)
  // with its placeholders filled. With NULL_SINK a private sound server's
  // null sink is the sound card first.
  ::testing::AssertionResult
  grantOnPeer(const std::string &peerDomain, const std::vector<Queue> &queues,
              Sound soundCard = ANY_SOUND, const std::string &scenario = "",
              const std::vector<std::pair<std::string, std::string>> &values = {});
  TempWorkDir dir;
  LoopbackHttp http;
  TestSound sound;
  SippPeer peer;
  std::string domain;
};
