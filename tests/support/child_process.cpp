#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "polling.h"

pid_t spawnLogged(std::vector<std::string> args, const std::string &logFile,
                  const std::string &workDir) {
  // Everything the child needs is made before the fork.
  std::vector<char *> argv;
  for (std::string &a : args)
    argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // Killed with the thread that started it, should the test die first.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
      _exit(127);
    int fd = open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || (!workDir.empty() && chdir(workDir.c_str()) != 0))
      _exit(127);
    dup2(fd, 1);
    dup2(fd, 2);
    // Nothing of the test's: above all not the lock file that the test runs
    // under, which a child outliving it would otherwise hold for ever.
    close_range(3, ~0U, 0);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int finishChild(pid_t &pid, int timeoutMs) {
  int status = 0;
  bool ended =
      pid > 0 && waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
  if (!ended && pid > 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid = -1;
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
