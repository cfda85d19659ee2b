// The FLTK presenter: how the layer learns that the session ends. A
// termination signal (SIGTERM, SIGINT, SIGHUP) only writes its number into a
// pipe, which the toolkit's loop watches on the window thread; the display
// going away is reported by Xlib's I/O error hook, on the window thread too
// (no other thread talks to the X server).
#include <FL/Fl.H>
#include <FL/x.H>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "../message.h"
#include "fltk.h"

namespace winapi {
namespace fltk {
namespace {

int signalPipe[2] = {-1, -1};
const int kEndSignals[] = {SIGTERM, SIGINT, SIGHUP};

// All a handler may safely do: write to the pipe.
void onEndSignal(int signo) {
  int saved = errno;
  unsigned char number = static_cast<unsigned char>(signo);
  ssize_t ignored = write(signalPipe[1], &number, 1);
  (void)ignored;
  errno = saved;
}

void onSignalPiped(int fd, void *) {
  unsigned char number = 0, last = 0;
  while (read(fd, &number, 1) == 1)
    last = number;
  if (last)
    endSessionBySignal(last);
}

// Xlib ends the process when this returns, so it does not: the windows are
// told, then the process ends. A second loss (an X call made on the way
// out) ends it at once.
int onDisplayLost(Display *) {
  static bool lost = false;
  if (lost)
    _exit(1);
  lost = true;
  endSessionWithoutDisplay();
  std::exit(1);
}

} // namespace

void watchForTheEnd() {
  if (signalPipe[0] >= 0 || pipe(signalPipe) != 0)
    return;
  for (int fd : signalPipe) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC); // not inherited by the browser the help opens
  }
  Fl::add_fd(signalPipe[0], FL_READ, onSignalPiped);
  struct sigaction action = {};
  action.sa_handler = onEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signo : kEndSignals)
    sigaction(signo, &action, nullptr);
  // After FLTK's own, which would end the process at once.
  XSetIOErrorHandler(onDisplayLost);
}

} // namespace fltk
} // namespace winapi
