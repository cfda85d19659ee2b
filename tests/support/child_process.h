// A helper program run by a test (stunnel, a TCP sipp): its output goes to a
// log file, and the kernel stops it should the test process die first.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// args[0] is looked up in PATH; it runs in workDir (the test's own by
// default). -1 when it could not be started.
pid_t spawnLogged(std::vector<std::string> args, const std::string &logFile,
                  const std::string &workDir = "");
// The child's exit code once it ended by itself within timeoutMs; -1 when it
// had to be killed (or was not running). pid is -1 afterwards.
int finishChild(pid_t &pid, int timeoutMs);
