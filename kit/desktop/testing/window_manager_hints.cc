// See window_manager_hints.h.

#include "kit/desktop/testing/window_manager_hints.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace kit::test {

namespace {

// The connection the hints were set through, held until the process exits:
// the check window lives as long as the connection that made it.
Display* held = nullptr;

void setCardinals(Display* display, Window window, const char* name, const long* values, int count) {
  XChangeProperty(display, window, XInternAtom(display, name, False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(values), count);
  XSync(display, False);
}

}  // namespace

void WindowManagerHints::SetUp() {
  if (held) return;
  held = XOpenDisplay(nullptr);
  if (!held) return;
  const Window root = DefaultRootWindow(held);
  screen_ = {0, 0, DisplayWidth(held, DefaultScreen(held)), DisplayHeight(held, DefaultScreen(held))};
  // The window manager's check window names itself, and the root names it.
  Window check = XCreateSimpleWindow(held, root, -1, -1, 1, 1, 0, 0, 0);
  const Atom checkAtom = XInternAtom(held, "_NET_SUPPORTING_WM_CHECK", False);
  for (Window on : {check, root})
    XChangeProperty(held, on, checkAtom, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&check), 1);
  XChangeProperty(held, check, XInternAtom(held, "_NET_WM_NAME", False),
                  XInternAtom(held, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>("test hints"), 10);
  Atom supported[] = {checkAtom, XInternAtom(held, "_NET_WORKAREA", False),
                      XInternAtom(held, "_NET_FRAME_EXTENTS", False)};
  XChangeProperty(held, root, XInternAtom(held, "_NET_SUPPORTED", False), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(supported), 3);
  resetWorkArea();
}

void WindowManagerHints::setWorkArea(Area area) {
  if (!held) return;
  const long values[] = {area.x, area.y, area.width, area.height};
  setCardinals(held, DefaultRootWindow(held), "_NET_WORKAREA", values, 4);
}

void WindowManagerHints::resetWorkArea() { setWorkArea(screen_); }

void WindowManagerHints::setFrameExtents(unsigned long window, Extents extents) {
  if (!held) return;
  const long values[] = {extents.left, extents.right, extents.top, extents.bottom};
  setCardinals(held, window, "_NET_FRAME_EXTENTS", values, 4);
}

}  // namespace kit::test
