// GTK on a display, WebKit's shared context and the default engine. See
// browser_runtime.h.
#include "kit/web/browser/browser_runtime.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/user_defaults.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/web/browser/browser_engine.h"
#include "kit/web/browser/glib_pump.h"

// Last: X11's headers define macros (None, True, Status) that kit's names
// would collide with.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>
#include <gdk/gdkx.h>
#include <X11/Xlib.h>

namespace kit {

namespace {

struct Runtime {
  bool started = false;
  bool available = false;
  std::string reason;
  WebKitWebContext* context = nullptr;
  // The display's own scale, before kit gave GDK another.
  int displayScale = 1;
  // While a desktop window shows the pages, GDK keeps the display's scale.
  bool displayScaleHeld = false;
};

Runtime& runtime() {
  static NoDestructor<Runtime> r;
  return *r;
}

std::string folderUnder(SearchPathDirectory directory, const char* name) {
  auto paths = searchPathForDirectoriesInDomains(directory);
  auto first = paths ? as<String>(paths->firstObject()) : nullptr;
  if (!first) return {};
  std::string path = first->utf8();
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

WebKitWebContext* makeContext() {
  // The page's storage (local storage, IndexedDB, cookies) and WebKit's
  // caches live in the application's own folders.
  const std::string data = folderUnder(LibraryDirectory, "WebKit");
  const std::string cache = folderUnder(CachesDirectory, "WebKit");
  WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
      "base-data-directory", data.empty() ? nullptr : data.c_str(), "base-cache-directory",
      cache.empty() ? nullptr : cache.c_str(), nullptr);
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(manager);
  g_object_unref(manager);
  // One page at a time is shown: keep WebKit's memory caches small.
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  return context;
}

// The name of the display GTK runs on ("" before it opens one).
std::string& gtkDisplayName() {
  static NoDestructor<std::string> name;
  return *name;
}

// Ends the application through its terminate path (the delegate hears
// willTerminate, the will-terminate notification goes out) and the process
// with status 0, as after its run loop. The process's exit handlers and
// the libraries' finalizers are not run: the toolkit stopped in the middle
// of a call on the dead connection, and theirs would go on with it. What
// kit's own exit handler writes, the user defaults, is written here.
// Main thread.
[[noreturn]] void terminateForLostDisplay() {
  Application::shared()->terminate();
  UserDefaults::resetStandardUserDefaults();
  std::fflush(nullptr);
  std::_Exit(0);
}

// Losing the display (the X server ended, or its connection broke) is
// logged once and ends the application through its terminate path, right
// where Xlib found the connection gone: the toolkit's code that made the
// failing call, and the libraries under it, would go on with a dead
// connection and abort or crash (GDK's keyboard map, GLX, atoms), so the
// handler never returns into them. A thread other than the main thread
// hands the ending to the main thread and waits for the process to end.
// Connections of the process to other displays keep Xlib's own ending;
// a process already exiting (whose display may end before the libraries'
// finalizers are through with it) goes on exiting.
std::atomic<bool> processExiting{false};

int displayLost(Display* connection) {
  const char* name = connection ? DisplayString(connection) : nullptr;
  if (!name || gtkDisplayName() != name || processExiting) return 0;
  static std::atomic<bool> logged{false};
  if (!logged.exchange(true)) log("kit: lost the connection to the display %s; terminating", name);
  if (!RunLoop::isMainThread()) {
    Queue::main().async([] { terminateForLostDisplay(); });
    for (;;) pause();
  }
  terminateForLostDisplay();
}

// While GTK opens the display (gtk_init_check), the connection is GDK's
// alone: GDK sets Xlib's I/O error handler itself as it opens it, and the
// connection lost in its first round trips ends the process in one of
// three ways, each caught here and turned into the ending for a lost
// display (logged, the terminate path, status 0), which ends the process
// where it is, as in displayLost(): the toolkit is in the middle of a call
// on the dead connection.
// - GDK's I/O error handler calls _exit(1), which runs no exit handler:
//   while GTK opens the display, the handler GDK sets is not set (see
//   XSetIOErrorHandler below) and kit's stays.
// - A failing exit() of the main thread (Xlib's own ending): an exit
//   handler of kit's, registered as the opening starts, runs before those
//   registered before it.
// - The OpenGL library GDK probes the display's GL with talks to the
//   server through its own calls, which do not report the broken
//   connection to Xlib, and reads the replies it did not get: a fault.
//   The fault during the opening, with the display no longer answering
//   (a new connection to it is refused), is the display's loss; any other
//   fault goes to the handler there was before (the default, or the
//   sanitizer's).
std::atomic<bool> openingDisplay{false};
struct sigaction faultsBefore[2];
constexpr int kFaults[2] = {SIGSEGV, SIGBUS};

[[noreturn]] void lostWhileOpening() {
  openingDisplay = false;
  const char* name = std::getenv("DISPLAY");
  log("kit: lost the connection to the display %s; terminating", name ? name : "");
  terminateForLostDisplay();
}

void endIfTheDisplayWasLostWhileOpening(int status, void*) {
  if (status == 0 || !openingDisplay || !RunLoop::isMainThread()) return;
  lostWhileOpening();
}

// Set for the opening, it stays until the connection is watched.
int ioErrorWhileOpening(Display*) {
  if (RunLoop::isMainThread()) lostWhileOpening();
  return 0;
}

// The windows GDK makes while it opens the display: its hidden group
// leader, which carries the program's name, and the leader's focus window.
// Another program may destroy the leader from the moment it is named, GTK
// still opening the display too: GDK's requests about the two windows
// then fail with BadWindow (or BadDrawable), which GDK's error handler
// would take for the program's own fault and end the process on with
// status 1. Those errors are dropped, for the life of the process; every
// other error goes to the handler set (see XSetErrorHandler below). What
// the leader's end means to the program is the desktop window's to say.
constexpr int kOpeningWindows = 8;
std::atomic<unsigned long> windowsMadeWhileOpening[kOpeningWindows];
std::atomic<int> openingWindowCount{0};
std::atomic<XErrorHandler> errorHandlerSet{nullptr};

bool madeWhileOpening(unsigned long window) {
  const int count = std::min(openingWindowCount.load(), kOpeningWindows);
  for (int i = 0; i < count; ++i)
    if (window && windowsMadeWhileOpening[i] == window) return true;
  return false;
}

int onXError(Display* display, XErrorEvent* error) {
  if ((error->error_code == BadWindow || error->error_code == BadDrawable) && madeWhileOpening(error->resourceid))
    return 0;
  const XErrorHandler handler = errorHandlerSet;
  return handler ? handler(display, error) : 0;
}

void restoreFaultHandlers() {
  for (int i = 0; i < 2; ++i) sigaction(kFaults[i], &faultsBefore[i], nullptr);
}

void faultWhileOpening(int, siginfo_t*, void*) {
  if (openingDisplay && RunLoop::isMainThread()) {
    Display* probe = XOpenDisplay(nullptr);
    if (!probe) lostWhileOpening();
    XCloseDisplay(probe);
  }
  // Not the display's loss: the fault happens again, under the handler
  // there was before.
  restoreFaultHandlers();
}

void watchDisplayConnection() {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return;
  gtkDisplayName() = DisplayString(GDK_DISPLAY_XDISPLAY(display));
  XSetIOErrorHandler(displayLost);
  // Exiting, the dead connection answers nothing instead of ending the
  // process again.
  XSetIOErrorExitHandler(GDK_DISPLAY_XDISPLAY(display), [](Display*, void*) {}, nullptr);
  std::atexit([] { processExiting = true; });
}

// Opens the display for GTK (false when it cannot be opened) and, once it
// is open, watches its connection. Once, from start().
bool openDisplay() {
  on_exit(endIfTheDisplayWasLostWhileOpening, nullptr);
  struct sigaction fault {};
  fault.sa_sigaction = faultWhileOpening;
  fault.sa_flags = SA_SIGINFO;
  sigemptyset(&fault.sa_mask);
  for (int i = 0; i < 2; ++i) sigaction(kFaults[i], &fault, &faultsBefore[i]);
  XSetIOErrorHandler(ioErrorWhileOpening);
  openingDisplay = true;
  const bool opened = gtk_init_check(nullptr, nullptr);
  openingDisplay = false;
  restoreFaultHandlers();
  if (opened) {
    watchDisplayConnection();
  } else {
    XSetIOErrorHandler(nullptr);
  }
  return opened;
}

// The scale GDK gives windows by itself (from GDK_SCALE or the desktop's
// settings), read before kit forces one.
int naturalDisplayScale() {
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  return monitor ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1;
}

void start() {
  Runtime& r = runtime();
  if (r.started) return;
  r.started = true;
  // The offscreen windows and the display scale are X11's; no window is
  // shown to assistive technologies (the accessibility bus stays closed).
  gdk_set_allowed_backends("x11");
  g_setenv("NO_AT_BRIDGE", "1", FALSE);
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    r.reason = "DISPLAY is not set (run under xvfb-run -a)";
  } else if (!openDisplay()) {
    r.reason = std::string("GTK cannot open the display ") + display;
  } else {
    r.available = true;
    r.displayScale = naturalDisplayScale();
    GLibPump::shared();
    r.context = makeContext();
    GLibPump::shared().poke();
  }
  if (!r.available) log("kit: no browser engine: %s; web views use the page driver", r.reason.c_str());
}

}  // namespace

bool browserEngineAvailable() {
  KIT_CHECK_MAIN_THREAD();
  start();
  return runtime().available;
}

std::string browserEngineUnavailableReason() {
  KIT_CHECK_MAIN_THREAD();
  start();
  return runtime().reason;
}

void useBrowserEngine() {
  setDefaultPageEngineFactory([]() -> Ref<PageEngine> { return BrowserEngine::make(); });
}

namespace detail {

WebKitWebContext* browserWebContext() {
  start();
  return runtime().context;
}

void setBrowserDisplayScale(double scale) {
  if (!browserEngineAvailable()) return;
  GdkDisplay* display = gdk_display_get_default();
  const Runtime& r = runtime();
  const int wanted = r.displayScaleHeld ? r.displayScale : std::max(1, static_cast<int>(std::lround(scale)));
  if (GDK_IS_X11_DISPLAY(display)) gdk_x11_display_set_window_scale(display, wanted);
}

void holdDisplayScale(bool held) {
  KIT_CHECK_MAIN_THREAD();
  runtime().displayScaleHeld = held;
  setBrowserDisplayScale(Screen::main()->scale());
}

}  // namespace detail

}  // namespace kit

// Xlib's XCreateWindow, as every library of the process calls it; the
// windows made while GTK opens the display are noted (see onXError).
extern "C" Window XCreateWindow(Display* display, Window parent, int x, int y, unsigned width, unsigned height,
                                unsigned borderWidth, int depth, unsigned windowClass, Visual* visual,
                                unsigned long valueMask, XSetWindowAttributes* attributes) {
  using Create = Window (*)(Display*, Window, int, int, unsigned, unsigned, unsigned, int, unsigned, Visual*,
                            unsigned long, XSetWindowAttributes*);
  static const auto xlibs = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "XCreateWindow"));
  const Window made =
      xlibs(display, parent, x, y, width, height, borderWidth, depth, windowClass, visual, valueMask, attributes);
  if (kit::openingDisplay && kit::RunLoop::isMainThread()) {
    const int at = kit::openingWindowCount.load();
    if (at < kit::kOpeningWindows) {
      kit::windowsMadeWhileOpening[at] = made;
      kit::openingWindowCount = at + 1;
    }
  }
  return made;
}

// Xlib's XSetErrorHandler, as every library of the process calls it: the
// handler set is called for every error but those about the windows made
// while GTK opened the display (see onXError), and what it answers is the
// handler set before, as Xlib's would.
extern "C" XErrorHandler XSetErrorHandler(XErrorHandler handler) {
  using Setter = XErrorHandler (*)(XErrorHandler);
  static const auto xlibs = reinterpret_cast<Setter>(dlsym(RTLD_NEXT, "XSetErrorHandler"));
  // Without a handler, Xlib's own (which ends the process) takes every
  // error.
  const XErrorHandler before = xlibs(handler ? kit::onXError : nullptr);
  const XErrorHandler previous = before == kit::onXError ? kit::errorHandlerSet.load() : before;
  kit::errorHandlerSet = handler;
  return previous;
}

// Xlib's XSetIOErrorHandler, as every library of the process calls it,
// except that while GTK opens the display the handler of kit's set for the
// opening stays: GDK's would end the process with _exit(1), unlogged.
extern "C" XIOErrorHandler XSetIOErrorHandler(XIOErrorHandler handler) {
  using Setter = XIOErrorHandler (*)(XIOErrorHandler);
  static const auto xlibs = reinterpret_cast<Setter>(dlsym(RTLD_NEXT, "XSetIOErrorHandler"));
  if (kit::openingDisplay && handler != kit::ioErrorWhileOpening) return kit::ioErrorWhileOpening;
  return xlibs(handler);
}
