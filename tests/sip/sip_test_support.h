// Fixture for the SIP tests: a fresh HOME per test (lacking the user's data
// folder), standard output captured to a file, and sipp peers on loopback.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "polling.h"
#include "temp_work_dir.h"

// The test runs in its own temporary working directory, where sipp runs too.
class SipTest : public ::testing::Test {
protected:
  TempWorkDir work;
  const std::string dir = work.path();
  pid_t sipp = -1;
  int savedStdout = -1;

  void SetUp() override {
    std::string home = dir + "/home";
    ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
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
    if (sipp > 0)
      finishPeer(0);
    if (HasFailure()) {
      size_t from = captured.size() > 4000 ? captured.size() - 4000 : 0;
      printf("--- end of the test's standard output ---\n%s\n", captured.c_str() + from);
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
  // (or the one at an absolute path)
  // and waits until it listens. It quits after `calls` calls (when above 0),
  // or fails after 40 s at the latest.
  bool startPeer(const std::string &scenario, const std::string &ip, int calls,
                 const std::vector<std::string> &extra = {}) {
    std::string path = scenario[0] == '/' ? scenario : SCENARIO_DIR "/" + scenario;
    std::string errors = dir + "/sipp-errors.log";
    std::vector<std::string> args = {"sipp",
                                     "-sf",
                                     path,
                                     "-i",
                                     ip,
                                     "-mi",
                                     ip,
                                     "-p",
                                     "5060",
                                     "-nostdin",
                                     "-timeout",
                                     "40s",
                                     "-timeout_error",
                                     "-trace_err",
                                     "-error_file",
                                     errors};
    if (calls > 0) {
      args.push_back("-m");
      args.push_back(std::to_string(calls));
    }
    args.insert(args.end(), extra.begin(), extra.end());
    std::string log = dir + "/sipp.log";
    // Everything the child needs is made before the fork.
    std::vector<char *> argv;
    for (auto &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    sipp = fork();
    if (sipp == 0) {
      int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(fd, 1);
      dup2(fd, 2);
      execvp("sipp", argv.data());
      _exit(127);
    }
    if (sipp < 0)
      return false;
    return waitUntil([&] {
             int status;
             return udpListening(ip) || waitpid(sipp, &status, WNOHANG) == sipp;
           }) &&
           udpListening(ip);
  }

  // sipp's exit code once it has ended by itself within `seconds`; -1 when it
  // had to be killed.
  int finishPeer(double seconds = 30) {
    int status = 0;
    pid_t pid = sipp;
    sipp = -1;
    bool ended =
        waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, int(seconds * 1000));
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};
