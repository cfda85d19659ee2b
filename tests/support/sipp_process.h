// A sipp peer owned by the test that starts it. The destructor stops it
// however the test ends (a failed assertion, an exception), and the kernel
// kills it when the test process dies first (a crash, a time-out kill), so
// no peer is ever left holding its fixed loopback address.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

class SippProcess {
public:
  SippProcess() = default;
  ~SippProcess() { stop(); }
  SippProcess(const SippProcess &) = delete;
  SippProcess &operator=(const SippProcess &) = delete;

  // Runs `sipp -i ip -mi ip -p 5060 args...` in workDir, its screen output
  // going to logFile, and waits until it listens on ip:5060. Fails at once,
  // naming the address, when something else already listens there or sipp
  // quits before it listens.
  ::testing::AssertionResult start(const std::string &ip, const std::vector<std::string> &args,
                                   const std::string &workDir, const std::string &logFile);
  // Runs sipp the same way as a client, to its end: its exit code; -1 when
  // it did not end within timeoutMs (it is then killed) or could not run.
  int run(const std::string &ip, const std::vector<std::string> &args, const std::string &workDir,
          const std::string &logFile, int timeoutMs);
  // sipp's exit code once it has ended by itself within timeoutMs; -1 when
  // it had to be killed or was not running.
  int finish(int timeoutMs);
  // Kills the peer and waits for it; nothing when it is not running.
  void stop();
  bool running() const { return pid > 0; }

private:
  bool spawn(const std::string &ip, const std::vector<std::string> &args,
             const std::string &workDir, const std::string &logFile);
  pid_t pid = -1;
};

// The messages a sipp peer received, whole and in order (a retransmission
// each time it came), from its -trace_msg file; lines end in "\r\n" as sent.
std::vector<std::string> sippReceived(const std::string &traceFile);
// The value of a SIP message's header, empty when it has none.
std::string sipHeader(const std::string &message, const std::string &name);

// Who holds UDP ip:5060 ("pid 123 (sipp)"), "something" when the holder
// cannot be seen, empty when nobody does.
std::string udpPortHolder(const std::string &ip);
