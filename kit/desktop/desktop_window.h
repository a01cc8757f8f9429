// kit::DesktopWindow: kit's screen shown in a window of a Linux desktop
// (GTK 3 on X11), for a person to use the client.
//
// The window is the size of the current device profile's screen in points,
// at the display's scale (not the device's: the pages are drawn at the
// display's too), and fits the work area of the monitor it opens on: a
// screen that would not fit is shown smaller, its points kept (the mouse's
// positions are turned back into points). It shows every visible kit
// window, lowest level first, exactly as kit renders them, web views
// included: a browser engine's page is drawn from its own window, so kit's
// overlays lie above it with their transparency. A frame is drawn on a
// display-link tick when something changed since the last one: a layer was
// changed or marked for display, an animation runs, or a page repainted.
//
// Input goes where kit's hit testing says: a mouse press, its moves and its
// release are one touch through the touched window's touch dispatcher (a
// web view passes it on to its page; every press is a click of its own, so
// the page counts double clicks itself); the wheel scrolls the scroll view
// under the pointer. Keys go to kit's first responder when it is a text
// field or text view: typed text at the caret (through GTK's input method,
// composing included), Backspace and Delete at the caret, Left, Right, Home
// and End, which move it, Return, and Ctrl+V, which pastes the desktop
// clipboard's text through kit's general pasteboard (a click into a field
// puts its caret there). A string set on kit's general pasteboard (a copy
// button's code) is offered on the desktop's clipboard while the window is
// open. A press on a page that its engine draws gives the page the
// keyboard (and ends the editing of kit's text input, as clicking into a
// page does on a desktop): until a press lands elsewhere or a text input of
// kit's becomes the first responder, every key goes to the page's engine,
// whose own input method and editing type, compose and paste.
//
//   auto desktop = kit::DesktopWindow::open("gameclient");   // nil: no display
//   desktop->setCloseHandler([] { kit::Application::shared()->terminate(); });
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "kit/graphics/bitmap.h"
#include "kit/ui/device_profile.h"

namespace kit {

class DesktopWindow {
 public:
  // Opens the window on the display; nil (with a log line) when GTK cannot
  // open one. Main thread.
  static std::unique_ptr<DesktopWindow> open(const std::string& title);
  ~DesktopWindow();
  DesktopWindow(const DesktopWindow&) = delete;
  DesktopWindow& operator=(const DesktopWindow&) = delete;

  // What closing the window does, or another program destroying it or the
  // hidden group leader of the program's windows (the default does
  // nothing; the window stays until it is destroyed). Losing
  // the display ends the application through the browser runtime instead.
  void setCloseHandler(std::function<void()> handler);

  // The X11 window and the name of its display (for a test's
  // display-server input and screenshots).
  unsigned long xid() const;
  std::string displayName() const;
  // The window's pixels per point: the display's scale, times the share
  // the screen was shrunk by to fit the monitor.
  double scale() const;
  // Frames drawn so far, and the picture of the latest.
  long framesDrawn() const;
  Ref<Bitmap> lastFrame() const;

  struct Native;

 private:
  DesktopWindow();
  std::unique_ptr<Native> native_;
};

// The device profiles a program may run as, by name ("phone375x667",
// "phone667x375", "notched812x375", "notched375x812").
std::optional<DeviceProfile> deviceProfileNamed(const std::string& name);

// Opens URLs that no installed application takes (the desktop's handler for
// http(s) and other schemes), each after a log line.
void openOutsideURLsOnDesktop();

}  // namespace kit
