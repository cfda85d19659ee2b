/* Starts a program and prints the milliseconds until it maps a top-level X
 * window of the given name (the window is on screen), then ends it.
 * Usage: map-timer WINDOW-NAME PROGRAM [ARGUMENTS...] */
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double nowMs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s WINDOW-NAME PROGRAM [ARGUMENTS...]\n", argv[0]);
    return 2;
  }
  Display *display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "map-timer: cannot open the display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  double start = nowMs();
  pid_t child = fork();
  if (child == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int found = 0;
  double limit = start + 20000;
  while (!found && nowMs() < limit) {
    while (!found && XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != MapNotify)
        continue;
      char *name = NULL;
      if (XFetchName(display, event.xmap.window, &name) && name) {
        found = strcmp(name, argv[1]) == 0;
        XFree(name);
      }
    }
    if (!found)
      usleep(200);
  }
  double elapsed = nowMs() - start;
  kill(child, SIGTERM);
  waitpid(child, NULL, 0);
  XCloseDisplay(display);
  if (!found) {
    fprintf(stderr, "map-timer: no window named \"%s\" appeared\n", argv[1]);
    return 1;
  }
  printf("%.1f\n", elapsed);
  return 0;
}
