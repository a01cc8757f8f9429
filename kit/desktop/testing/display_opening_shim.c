// A library a test preloads into a program (LD_PRELOAD) to make the
// program's opening of its display go wrong at one chosen point, every
// time: right after the toolkit's connection to the display is made
// (XOpenDisplay returned it), while the toolkit still opens the display.
// KIT_TEST_DISPLAY_OPENING says how:
// - "cut": the connection is shut down, as when the X server drops it;
//   the toolkit's next request finds it gone.
// - "fault": the program faults (a write through a null pointer), the
//   display alive and answering.
// Later connections (a second XOpenDisplay) are left alone. Built without
// the sanitizers, as it runs inside programs built with or without them.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>

#include <X11/Xlib.h>

Display* XOpenDisplay(const char* name) {
  static int opened = 0;
  Display* (*open)(const char*) = (Display * (*)(const char*)) dlsym(RTLD_NEXT, "XOpenDisplay");
  Display* display = open(name);
  const char* how = getenv("KIT_TEST_DISPLAY_OPENING");
  if (!display || opened++ || !how) return display;
  if (strcmp(how, "cut") == 0) {
    shutdown(ConnectionNumber(display), SHUT_RDWR);
  } else if (strcmp(how, "fault") == 0) {
    *(volatile int*)NULL = 1;
  }
  return display;
}
