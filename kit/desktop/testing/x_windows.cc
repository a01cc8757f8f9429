// Finding and closing a program's top-level windows on an X display.
#include "kit/desktop/testing/x_windows.h"

#include <X11/Xlib.h>

namespace kit::test {

namespace {

int ignoreError(Display*, XErrorEvent*) { return 0; }

unsigned long search(Display* display, unsigned long under, const std::string& title, bool shownOnly) {
  char* name = nullptr;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, under, &attributes) &&
      (shownOnly ? attributes.map_state == IsViewable : attributes.width > 100) &&
      XFetchName(display, under, &name) && name) {
    const bool match = title == name;
    XFree(name);
    if (match) return under;
  }
  ::Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, under, &root, &parent, &children, &count)) return 0;
  unsigned long found = 0;
  for (unsigned i = 0; i < count && !found; ++i) found = search(display, children[i], title, shownOnly);
  if (children) XFree(children);
  return found;
}

}  // namespace

unsigned long windowTitled(Display* display, unsigned long under, const std::string& title, bool shownOnly) {
  // Other programs' windows (the client's, its engine processes') come and
  // go while the tree is walked: one destroyed between its listing and the
  // look at it is skipped, not an error that ends the test's process.
  XSync(display, False);
  auto* const previous = XSetErrorHandler(ignoreError);
  const unsigned long found = search(display, under, title, shownOnly);
  XSync(display, False);
  XSetErrorHandler(previous);
  return found;
}

void requestClose(Display* display, unsigned long window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

}  // namespace kit::test
