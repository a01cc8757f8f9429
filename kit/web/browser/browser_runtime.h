// The browser engine's place in the process: GTK opened on a display (X11;
// tests, CI and the main job run under Xvfb with Mesa's software GL), the
// screen's scale given to GDK, WebKit's shared context with its data and
// cache folders under the application's own, and the default engine of new
// web views. Where no display can be had (no DISPLAY, or GTK cannot open
// it), the browser engine is unavailable: one log line says so, once, and
// web views run the page driver instead. Losing the display (the X server
// ends, or the connection breaks) at any moment, GTK's opening of it
// included, is logged and ends the application through its terminate path
// and the process with status 0, where the toolkit found the connection
// gone. Another program destroying the windows GDK makes as it opens the
// display (the hidden group leader of the program's windows) is no fault
// of the program's: the failed requests about them are not taken for one.
// All of it on the main thread.
#pragma once

#include <string>

typedef struct _WebKitWebContext WebKitWebContext;

namespace kit {

// True when GTK runs on a display (opening it on the first call).
bool browserEngineAvailable();
// Why the browser engine is unavailable ("" when it is available).
std::string browserEngineUnavailableReason();
// New web views (without an engine factory in their configuration) run the
// browser engine, or the page driver where it is unavailable.
void useBrowserEngine();

namespace detail {
// WebKit's context shared by every browser engine (nil when unavailable).
WebKitWebContext* browserWebContext();
// Gives GDK the scale of the screen the views are drawn for (the
// display's own while it is held).
void setBrowserDisplayScale(double scale);
// While held, GDK keeps the display's own scale whatever the screen's: a
// desktop window shows the pages at the density they are drawn at.
void holdDisplayScale(bool held);
}  // namespace detail

}  // namespace kit
