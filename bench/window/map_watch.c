/* Runs a command (a keystroke sent by xdotool) and prints the milliseconds until the next top-level
   window is mapped on the X display, with its title: the time from a key to the box it opens. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Milliseconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: map_watch command [arguments...]\n");
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) return 2;
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  alarm(10); /* no box in ten seconds: the keystroke went nowhere */
  const double start = Milliseconds();
  if (fork() == 0) {
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    /* Menus and tool tips are override-redirect popups; a dialog is not. */
    if (event.type != MapNotify || event.xmap.override_redirect) continue;
    const double elapsed = Milliseconds() - start;
    char* title = NULL;
    XFetchName(display, event.xmap.window, &title);
    printf("%.1f ms  %s\n", elapsed, title ? title : "(untitled)");
    if (title) XFree(title);
    break;
  }
  wait(NULL);
  XCloseDisplay(display);
  return 0;
}
