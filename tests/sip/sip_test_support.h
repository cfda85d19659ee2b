// Fixture for the SIP tests: a fresh HOME and temporary folder per test
// (lacking the user's data folder), standard output captured to a file, and
// sipp peers on loopback.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "polling.h"
#include "sipp_process.h"
#include "temp_work_dir.h"

// The test runs in its own temporary working directory, where sipp runs too.
class SipTest : public ::testing::Test {
protected:
  TempWorkDir work;
  const std::string dir = work.path();
  int savedStdout = -1;
  // Declared after the folder it runs in, so it is stopped before the folder
  // goes, also when SetUp or the test fails half-way.
  SippProcess peer;

  void SetUp() override {
    // The SIP account is set up once per process (a second set-up does
    // nothing), so a second test here would run against the first one's
    // core and peer and tell nothing.
    static int testsInThisProcess = 0;
    ASSERT_EQ(++testsInThisProcess, 1)
        << "the SIP tests need a process each: run them through ctest, or one at a time "
           "with --gtest_filter";
    std::string home = dir + "/home";
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    std::string temp = dir + "/tmp";
    ASSERT_EQ(mkdir(temp.c_str(), 0700), 0);
    setenv("TMPDIR", temp.c_str(), 1);
    fflush(stdout);
    savedStdout = dup(1);
    int out = open((dir + "/stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(out, 0);
    dup2(out, 1);
    close(out);
  }

  void TearDown() override {
    fflush(stdout);
    std::string captured = output();
    dup2(savedStdout, 1);
    close(savedStdout);
    peer.stop();
    if (HasFailure()) {
      size_t from = captured.size() > 4000 ? captured.size() - 4000 : 0;
      // Written whole: the library's log may hold a NUL byte, where %s would stop.
      printf("--- end of the test's standard output ---\n");
      fwrite(captured.data() + from, 1, captured.size() - from, stdout);
      printf("\n");
      std::string peerLog = readFile(dir + "/sipp.log");
      printf("--- sipp ---\n%s\n", peerLog.c_str());
    }
  }

  static std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string output() {
    fflush(stdout);
    return readFile(dir + "/stdout.txt");
  }

  // A scenario of tests/sip/scenarios with its placeholders filled in, written
  // to the test's folder; returns its path for startPeer.
  std::string fillScenario(const std::string &scenario,
                           const std::vector<std::pair<std::string, std::string>> &values) {
    std::string text = readFile(SCENARIO_DIR "/" + scenario);
    for (const auto &v : values)
      for (size_t at = text.find(v.first); at != std::string::npos; at = text.find(v.first, at))
        text.replace(at, v.first.size(), v.second);
    std::string path = dir + "/" + scenario;
    std::ofstream(path) << text;
    return path;
  }

  // Starts sipp as a server on `ip`:5060 with a scenario of tests/sip/scenarios
  // (or the one at an absolute path) and waits until it listens; fails at
  // once, naming the address, when it cannot. It quits after `calls` calls
  // when above 0.
  ::testing::AssertionResult startPeer(const std::string &scenario, const std::string &ip,
                                       int calls, const std::vector<std::string> &extra = {}) {
    std::string path = scenario[0] == '/' ? scenario : SCENARIO_DIR "/" + scenario;
    std::vector<std::string> args = {"-sf",        path,          "-nostdin",
                                     "-trace_err", "-error_file", dir + "/sipp-errors.log"};
    if (calls > 0) {
      args.push_back("-m");
      args.push_back(std::to_string(calls));
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return peer.start(ip, args, dir, dir + "/sipp.log");
  }

  // startPeer's extra arguments that have sipp write the messages it receives
  // and sends to a file, which requestsReceived reads.
  std::vector<std::string> traceMessages() {
    return {"-trace_msg", "-message_file", dir + "/messages.log"};
  }
  // The `method` requests the peer has received so far, each whole; a
  // request sent again (same Call-ID and CSeq) once.
  std::vector<std::string> requestsReceived(const std::string &method) {
    std::vector<std::string> found;
    std::set<std::string> seen;
    for (const std::string &message : sippReceived(dir + "/messages.log"))
      if (message.rfind(method + " sip:", 0) == 0 &&
          seen.insert(sipHeader(message, "Call-ID") + sipHeader(message, "CSeq")).second)
        found.push_back(message);
    return found;
  }
  int requestsSeen(const std::string &method) { return int(requestsReceived(method).size()); }

  // sipp's exit code once it has ended by itself within `seconds`; -1 when it
  // had to be killed.
  int finishPeer(double seconds = 30) { return peer.finish(int(seconds * 1000)); }
};
