// The desktop window: a GTK drawing area showing kit's screen, fed by a
// display link on kit's main run loop, and GTK's input turned into kit's
// touches and text editing. See desktop_window.h.

#include "kit/desktop/desktop_window.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/composed_characters.h"
#include "kit/foundation/log.h"
#include "kit/foundation/string.h"
#include "kit/ui/application.h"
#include "kit/ui/display_link.h"
#include "kit/ui/layer.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/render.h"
#include "kit/ui/screen.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/text_field.h"
#include "kit/ui/text_view.h"
#include "kit/ui/touch.h"
#include "kit/ui/window.h"
#include "kit/web/browser/browser_runtime.h"
#include "kit/web/browser/glib_pump.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/web_view.h"
#include "kit/ui/main_loop.h"

// Last: X11's macros would rename kit's enumerators.
#include <gdk/gdkx.h>
#include <X11/Xatom.h>

namespace kit {

namespace {

// Pages drawn by the browser engine repaint their offscreen windows; GDK
// reports each repaint as a damage event. Counted here, for every desktop
// window, before GTK handles the event as usual.
uint64_t pageDamage = 0;

void noteEvents(GdkEvent* event, gpointer) {
  if (event->type == GDK_DAMAGE) ++pageDamage;
  gtk_main_do_event(event);
}

// GTK's own handling, as before the window was opened.
void handOnToGtk(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

// GDK follows the second and third press of a quick series with a double
// or triple press of its own, next in its queue. The browser engine counts
// clicks itself and skips a press that such an event follows (taking it for
// the first half of one), so the page would lose the second click of a
// double click: the window takes every press as a touch of its own and
// drops GDK's double and triple presses before the press is passed on.
void dropMultiplePresses() {
  while (GdkEvent* next = gdk_event_peek()) {
    const bool multiple = next->type == GDK_2BUTTON_PRESS || next->type == GDK_3BUTTON_PRESS;
    gdk_event_free(next);
    if (!multiple) return;
    gdk_event_free(gdk_event_get());
  }
}

bool treeAnimates(const Layer& layer) {
  if (layer.isHidden()) return false;
  if (layer.hasAnimations()) return true;
  for (const auto& sublayer : layer.sublayers())
    if (treeAnimates(*sublayer)) return true;
  return false;
}

// The editing keys of a text field or a text view: Backspace and Delete
// remove the selection, or the character before or after the caret; Left
// and Right move the caret by a character (collapsing a selection to its
// side), Home and End to either end of the text. Characters are composed
// sequences, positions UTF-16 units, as the inputs count them. False for
// any other key.
template <class Input>
bool editingKey(Input& input, guint key) {
  const Ref<String> text = String::make(input.text());
  const size_t length = text->length();
  const Range selection = input.selectedRange();
  auto before = [&](size_t at) -> size_t {
    return at == 0 ? 0 : rangeOfComposedCharacterSequenceAtIndex(*text, at - 1).location;
  };
  auto after = [&](size_t at) -> size_t {
    return at >= length ? length : rangeOfComposedCharacterSequenceAtIndex(*text, at).end();
  };
  switch (key) {
    case GDK_KEY_BackSpace:
      if constexpr (requires { input.deleteBackward(); }) {
        input.deleteBackward();
      } else if (selection.length > 0 || selection.location > 0) {
        const size_t from = selection.length > 0 ? selection.location : before(selection.location);
        input.replaceCharacters({from, selection.end() - from}, "");
      }
      return true;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete:
      if (selection.length > 0) input.replaceCharacters(selection, "");
      else if (selection.location < length)
        input.replaceCharacters({selection.location, after(selection.location) - selection.location}, "");
      return true;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
      input.setSelectedRange({selection.length > 0 ? selection.location : before(selection.location), 0});
      return true;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
      input.setSelectedRange({selection.length > 0 ? selection.end() : after(selection.location), 0});
      return true;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
      input.setSelectedRange({0, 0});
      return true;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
      input.setSelectedRange({length, 0});
      return true;
    default:
      return false;
  }
}

// The engine of the page `view` shows, when `view` is a web view whose
// engine draws its page (and so takes input); nil otherwise.
Ref<PageEngine> drawingEngineOf(View* view) {
  Ref<PageEngine> engine;
  if (auto* web = dynamic_cast<WebView*>(view)) engine = web->pageEngine();
  else if (auto* legacy = dynamic_cast<LegacyWebView*>(view)) engine = legacy->pageEngine();
  return engine && engine->drawsPage() ? engine : nullptr;
}

// The web view at or above `view` whose page takes input, if any.
Ref<View> pageViewOf(const Ref<View>& view) {
  for (Ref<View> at = view; at; at = at->superview())
    if (drawingEngineOf(at.get())) return at;
  return nullptr;
}

bool isTextInput(Responder* responder) {
  return dynamic_cast<TextField*>(responder) || dynamic_cast<TextView*>(responder);
}

// Another program may destroy the window at any moment: requests GDK sent
// for it before it heard then fail with BadWindow or BadDrawable, which
// GDK's handler would take for a bug and end the process on. Those errors
// are the destruction the window handles as a close. The requests of its
// repaints (the most frequent: a back buffer made, copied, freed) run
// inside an error trap of GDK's, which covers them whenever their errors
// arrive; the errors of any other request about the window that arrive
// outside GDK's own traps are taken by the handler below, which hands
// every other error on to GDK's.
//
// The X window of the open desktop window, and the error handler before
// the window's own.
unsigned long shownWindow = 0;
// The hidden group leader GDK made for the display's windows (every window
// of the program names it as its client leader, and it carries the
// program's name), while the window is open. Another program may destroy
// it too; that ends the window as its own destruction does. (The browser
// runtime drops the errors of requests about it.)
unsigned long leaderWindow = 0;
XErrorHandler errorHandlerBefore = nullptr;

int onXError(Display* display, XErrorEvent* error) {
  if (shownWindow && error->resourceid == shownWindow &&
      (error->error_code == BadWindow || error->error_code == BadDrawable))
    return 0;
  return errorHandlerBefore ? errorHandlerBefore(display, error) : 0;
}

// A string set on the general pasteboard while a desktop window is open
// is offered on the desktop's clipboard, where other programs (and a
// paste after the desktop's clipboard changed) find it. The desktop's
// clipboard read into the pasteboard by a paste is not offered back: the
// window would take the clipboard from the program that holds it, and two
// such programs pasting would hand it to and fro.
bool offering = false;
bool readingDesktopClipboard = false;

void offerOnDesktopClipboard(const std::string& text) {
  if (!offering || readingDesktopClipboard) return;
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(), static_cast<gint>(text.size()));
  GLibPump::shared().poke();
}

void generalPasteboardChanged(const std::vector<std::string>& strings) {
  if (strings.empty()) return;
  if (RunLoop::isMainThread()) offerOnDesktopClipboard(strings.front());
  else runOnMainSoon([text = strings.front()] { offerOnDesktopClipboard(text); });
}

// The monitor a new window opens on: the one under the pointer, where
// window managers place new windows.
GdkMonitor* monitorUnderPointer(GdkDisplay* display) {
  int x = 0, y = 0;
  if (GdkSeat* seat = gdk_display_get_default_seat(display))
    if (GdkDevice* pointer = gdk_seat_get_pointer(seat)) gdk_device_get_position(pointer, nullptr, &x, &y);
  GdkMonitor* monitor = gdk_display_get_monitor_at_point(display, x, y);
  if (!monitor) monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  return monitor;
}

}  // namespace

struct DesktopWindow::Native {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  GtkIMContext* input = nullptr;
  GdkFrameClock* clock = nullptr;
  Ref<DisplayLink> link;
  std::function<void()> closeHandler;
  // The window shows the screen at the display's scale, shrunk by `fit`
  // (GDK units per point, at most 1) where it would not fit, framed, the
  // work area of the monitor it is on: the screen in points it was fitted
  // for, and that monitor (compared, never used: the display owns it).
  double fit = 1;
  Size fittedPoints;
  const GdkMonitor* monitor = nullptr;
  // The frame the window manager drew around the window (left, right, top,
  // bottom, in the display's pixels): the framed window fits the work area.
  std::array<long, 4> frame{0, 0, 0, 0};
  // The X window was destroyed by another client.
  bool destroyed = false;
  // A frame is being painted (its error trap is pushed).
  bool painting = false;
  // Lets a clipboard answer that comes after the window closed know it.
  std::shared_ptr<Native*> alive = std::make_shared<Native*>(this);
  // What the shown frame was drawn from.
  uint64_t drawnChanges = 0;
  uint64_t drawnDamage = 0;
  bool drawnOnce = false;
  long frames = 0;
  Ref<Bitmap> lastFrame;
  // The window the mouse's touch went down in.
  Weak<Window> touched;
  Point touchOrigin;
  // The web view whose page the latest press went down in: the page has
  // the keyboard while no text input of kit's is the first responder.
  Weak<View> page;
  // The engine whose page was last given the keyboard.
  Weak<PageEngine> focusedPage;

  void fitTo(GdkMonitor* on);
  GdkMonitor* shownMonitor() const;
  bool readFrame();
  Point toPoints(double x, double y) const { return {x / fit, y / fit}; }
  void tick();
  void draw(cairo_t* cr);
  void press(Point screen);
  void touch(TouchPhase phase, Point screen);
  void scroll(Point screen, double dx, double dy);
  bool key(GdkEventKey* event);
  Ref<PageEngine> keyboardPage() const;
  void updatePageFocus();
  void insert(const std::string& text);
  void paste();

  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    static_cast<Native*>(self)->draw(cr);
    return TRUE;
  }
  static gboolean onButton(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
    const Point at = n.toPoints(event->x, event->y);
    if (event->type == GDK_BUTTON_PRESS) {
      dropMultiplePresses();
      n.press(at);
    }
    else if (event->type == GDK_BUTTON_RELEASE) n.touch(TouchPhase::Ended, at);
    GLibPump::shared().poke();
    return TRUE;
  }
  static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    if (event->state & GDK_BUTTON1_MASK) n.touch(TouchPhase::Moved, n.toPoints(event->x, event->y));
    return TRUE;
  }
  static gboolean onGrabBroken(GtkWidget*, GdkEvent*, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    n.touch(TouchPhase::Cancelled, n.touchOrigin);
    return FALSE;
  }
  static gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
    constexpr double Step = 40;  // points per wheel notch
    double dx = 0, dy = 0;
    switch (event->direction) {
      case GDK_SCROLL_UP: dy = -Step; break;
      case GDK_SCROLL_DOWN: dy = Step; break;
      case GDK_SCROLL_LEFT: dx = -Step; break;
      case GDK_SCROLL_RIGHT: dx = Step; break;
      case GDK_SCROLL_SMOOTH: dx = event->delta_x * Step; dy = event->delta_y * Step; break;
    }
    auto& n = *static_cast<Native*>(self);
    n.scroll(n.toPoints(event->x, event->y), dx, dy);
    return TRUE;
  }
  static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    const bool handled = static_cast<Native*>(self)->key(event);
    GLibPump::shared().poke();
    return handled;
  }
  static void onCommit(GtkIMContext*, const gchar* text, gpointer self) {
    static_cast<Native*>(self)->insert(text);
  }
  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    log("desktop: the window was closed");
    if (n.closeHandler) runOnMainSoon(n.closeHandler);
    return TRUE;  // the window stays until its owner destroys it
  }
  // Another client destroyed the X window (as `xdotool windowclose`
  // does): a close, with nothing left to draw in. GDK hears of it only
  // once the widgets let go of the window: on its own it would drop the
  // window's frame clock under GTK, whose widgets may still be waiting for
  // its next frame (to lay out or restyle the window, as they do for a
  // while after it opens) and would complain when they let go of it. The
  // widgets are unrealized first, as when they are destroyed, while the
  // clock is still there; their requests about the gone window fail on the
  // server and are dropped (see onXError). GDK then forgets the window it
  // already destroyed (and tells GTK nothing more).
  // The group leader destroyed is the same close, the window unrealized
  // alike; GDK does not hear of the leader's end, which it would warn of
  // (it never destroys its leader itself), and keeps it as it was.
  static GdkFilterReturn onXEvent(GdkXEvent* xevent, GdkEvent*, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    const XEvent& event = *static_cast<XEvent*>(xevent);
    if (event.type != DestroyNotify || !shownWindow) return GDK_FILTER_CONTINUE;
    const unsigned long gone = event.xdestroywindow.window;
    if (gone == leaderWindow) {
      n.endDestroyed();
      return GDK_FILTER_REMOVE;
    }
    if (gone == shownWindow) n.endDestroyed();
    return GDK_FILTER_CONTINUE;  // the widgets stay until their owner destroys them
  }
  void endDestroyed() {
    if (destroyed) return;
    destroyed = true;
    log("desktop: the window was destroyed by another program");
    gtk_widget_unrealize(window);
    endPaint();
    // Asked once the run loop runs: a window found destroyed as it opens
    // has its handler set after open() returns.
    runOnMainSoon([alive = std::weak_ptr<Native*>(alive)] {
      if (auto self = alive.lock(); self && (*self)->closeHandler) (*self)->closeHandler();
    });
  }
  // Whether the group leader is still there (another program may have
  // destroyed it before GDK asked to hear of its end).
  static bool leaderExists() {
    GdkDisplay* display = gdk_display_get_default();
    XWindowAttributes attributes;
    gdk_x11_display_error_trap_push(display);
    const Status found = XGetWindowAttributes(GDK_DISPLAY_XDISPLAY(display), leaderWindow, &attributes);
    return gdk_x11_display_error_trap_pop(display) == 0 && found;
  }
  // A repaint's requests run in an error trap (see onXError). A frame the
  // window goes in the middle of (its clock waits for a resize to be done,
  // then is gone) never ends: its trap ends with the window (endPaint), or
  // GDK would trap every error from then on, and warn of the error handler
  // the next window sets.
  static void onBeforePaint(GdkFrameClock*, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    if (n.painting) return;
    n.painting = true;
    gdk_x11_display_error_trap_push(gdk_display_get_default());
  }
  static void onAfterPaint(GdkFrameClock*, gpointer self) { static_cast<Native*>(self)->endPaint(); }
  void endPaint() {
    if (!painting) return;
    painting = false;
    gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default());
  }
  // The window manager framed the window, or framed it anew: the framed
  // window is fitted to the work area.
  static gboolean onProperty(GtkWidget*, GdkEventProperty* event, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    if (n.destroyed || event->atom != gdk_atom_intern_static_string("_NET_FRAME_EXTENTS")) return FALSE;
    if (n.readFrame()) n.fitTo(n.shownMonitor());
    return FALSE;
  }
  // The window went to another monitor: fitted to that one's work area.
  static gboolean onConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer self) {
    auto& n = *static_cast<Native*>(self);
    GdkWindow* window = gtk_widget_get_window(widget);
    if (!window || n.destroyed) return FALSE;
    GdkMonitor* on = gdk_display_get_monitor_at_window(gtk_widget_get_display(widget), window);
    if (on && on != n.monitor) n.fitTo(on);
    return FALSE;
  }
};

std::unique_ptr<DesktopWindow> DesktopWindow::open(const std::string& title) {
  KIT_CHECK_MAIN_THREAD();
  // The browser engine's runtime opens GTK on the display and gives GDK
  // the screen's scale.
  if (!browserEngineAvailable()) {
    log("desktop: no window (%s)", browserEngineUnavailableReason().c_str());
    return nullptr;
  }
  // Pages are drawn at the density the window shows them at: the
  // display's, not the device's.
  detail::holdDisplayScale(true);
  std::unique_ptr<DesktopWindow> desktop(new DesktopWindow());
  Native& n = *desktop->native_;
  // Both widgets are kept until the desktop window goes, whatever happens
  // to the X window meanwhile.
  n.window = GTK_WIDGET(g_object_ref(gtk_window_new(GTK_WINDOW_TOPLEVEL)));
  gtk_window_set_title(GTK_WINDOW(n.window), title.c_str());
  gtk_window_set_resizable(GTK_WINDOW(n.window), FALSE);
  n.area = GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new()));
  n.fitTo(monitorUnderPointer(gtk_widget_get_display(n.window)));
  gtk_widget_set_can_focus(n.area, TRUE);
  gtk_widget_add_events(n.area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_KEY_PRESS_MASK |
                                    GDK_KEY_RELEASE_MASK);
  gtk_container_add(GTK_CONTAINER(n.window), n.area);
  gtk_widget_add_events(n.window, GDK_PROPERTY_CHANGE_MASK);
  n.input = gtk_im_context_simple_new();
  g_signal_connect(n.input, "commit", G_CALLBACK(Native::onCommit), &n);
  g_signal_connect(n.area, "draw", G_CALLBACK(Native::onDraw), &n);
  g_signal_connect(n.area, "button-press-event", G_CALLBACK(Native::onButton), &n);
  g_signal_connect(n.area, "button-release-event", G_CALLBACK(Native::onButton), &n);
  g_signal_connect(n.area, "motion-notify-event", G_CALLBACK(Native::onMotion), &n);
  g_signal_connect(n.area, "grab-broken-event", G_CALLBACK(Native::onGrabBroken), &n);
  g_signal_connect(n.area, "scroll-event", G_CALLBACK(Native::onScroll), &n);
  g_signal_connect(n.area, "key-press-event", G_CALLBACK(Native::onKey), &n);
  g_signal_connect(n.area, "key-release-event", G_CALLBACK(Native::onKey), &n);
  g_signal_connect(n.window, "delete-event", G_CALLBACK(Native::onDelete), &n);
  g_signal_connect(n.window, "configure-event", G_CALLBACK(Native::onConfigure), &n);
  g_signal_connect(n.window, "property-notify-event", G_CALLBACK(Native::onProperty), &n);
  gtk_widget_show_all(n.window);
  shownWindow = GDK_WINDOW_XID(gtk_widget_get_window(n.window));
  errorHandlerBefore = XSetErrorHandler(onXError);
  gdk_window_add_filter(nullptr, Native::onXEvent, &n);
  leaderWindow = GDK_WINDOW_XID(gdk_display_get_default_group(gdk_display_get_default()));
  if (n.readFrame()) n.fitTo(n.shownMonitor());
  offering = true;
  Pasteboard::general()->setChangeObserver(generalPasteboardChanged);
  n.clock = GDK_FRAME_CLOCK(g_object_ref(gtk_widget_get_frame_clock(n.window)));
  g_signal_connect(n.clock, "before-paint", G_CALLBACK(Native::onBeforePaint), &n);
  g_signal_connect(n.clock, "after-paint", G_CALLBACK(Native::onAfterPaint), &n);
  gtk_widget_grab_focus(n.area);
  gtk_im_context_set_client_window(n.input, gtk_widget_get_window(n.area));
  gtk_im_context_focus_in(n.input);
  gdk_event_handler_set(noteEvents, nullptr, nullptr);
  n.link = DisplayLink::make([&n](DisplayLink&) { n.tick(); });
  n.link->addToRunLoop(RunLoop::main(), CommonRunLoopModes);
  if (!Native::leaderExists()) n.endDestroyed();
  GLibPump::shared().poke();
  return desktop;
}

DesktopWindow::DesktopWindow() : native_(std::make_unique<Native>()) {}

DesktopWindow::~DesktopWindow() {
  Native& n = *native_;
  n.link->invalidate();
  if (auto engine = n.focusedPage.lock()) engine->setKeyboardFocus(false);
  gdk_event_handler_set(handOnToGtk, nullptr, nullptr);
  gdk_window_remove_filter(nullptr, Native::onXEvent, &n);
  Pasteboard::general()->setChangeObserver(nullptr);
  offering = false;
  g_signal_handlers_disconnect_by_data(n.input, &n);
  g_signal_handlers_disconnect_by_data(n.area, &n);
  g_signal_handlers_disconnect_by_data(n.window, &n);
  g_signal_handlers_disconnect_by_data(n.clock, &n);
  n.endPaint();
  g_object_unref(n.clock);
  g_object_unref(n.input);
  gtk_widget_destroy(n.window);
  g_object_unref(n.area);
  g_object_unref(n.window);
  // Errors about the window still on their way are let through, then GDK
  // has its handler back.
  gdk_display_sync(gdk_display_get_default());
  XSetErrorHandler(errorHandlerBefore);
  shownWindow = 0;
  leaderWindow = 0;
  detail::holdDisplayScale(false);
  GLibPump::shared().poke();
}

void DesktopWindow::setCloseHandler(std::function<void()> handler) { native_->closeHandler = std::move(handler); }

unsigned long DesktopWindow::xid() const {
  GdkWindow* window = gtk_widget_get_window(native_->window);
  return window ? GDK_WINDOW_XID(window) : 0;
}

std::string DesktopWindow::displayName() const {
  return gdk_display_get_name(gtk_widget_get_display(native_->window));
}

double DesktopWindow::scale() const { return native_->fit * gtk_widget_get_scale_factor(native_->area); }
long DesktopWindow::framesDrawn() const { return native_->frames; }
Ref<Bitmap> DesktopWindow::lastFrame() const { return native_->lastFrame; }

void DesktopWindow::Native::fitTo(GdkMonitor* on) {
  monitor = on;
  fittedPoints = Screen::main()->bounds().size;
  GdkRectangle work{0, 0, 0, 0};
  if (on) gdk_monitor_get_workarea(on, &work);
  // The room the frame leaves inside the work area (GDK's units are
  // pixels at the display's scale).
  const double pixels = gtk_widget_get_scale_factor(window);
  const double width = work.width - static_cast<double>(frame[0] + frame[1]) / pixels;
  const double height = work.height - static_cast<double>(frame[2] + frame[3]) / pixels;
  fit = 1;
  if (width > 0 && height > 0 && fittedPoints.width > 0 && fittedPoints.height > 0)
    fit = std::min({1.0, width / fittedPoints.width, height / fittedPoints.height});
  gtk_widget_set_size_request(area, std::max(1, static_cast<int>(std::floor(fittedPoints.width * fit))),
                              std::max(1, static_cast<int>(std::floor(fittedPoints.height * fit))));
  drawnOnce = false;
}

GdkMonitor* DesktopWindow::Native::shownMonitor() const {
  GdkWindow* shown = gtk_widget_get_window(window);
  return shown ? gdk_display_get_monitor_at_window(gtk_widget_get_display(window), shown)
               : monitorUnderPointer(gtk_widget_get_display(window));
}

// The window manager's _NET_FRAME_EXTENTS of the window (none without one,
// or before it framed the window); true when they changed.
bool DesktopWindow::Native::readFrame() {
  GdkWindow* shown = gtk_widget_get_window(window);
  if (!shown) return false;
  GdkDisplay* display = gtk_widget_get_display(window);
  Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
  std::array<long, 4> read{0, 0, 0, 0};
  Atom type = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  gdk_x11_display_error_trap_push(display);
  const Atom extents = XInternAtom(xdisplay, "_NET_FRAME_EXTENTS", False);
  const int status = XGetWindowProperty(xdisplay, GDK_WINDOW_XID(shown), extents, 0, 4, False, XA_CARDINAL, &type,
                                        &format, &count, &left, &data);
  gdk_x11_display_error_trap_pop_ignored(display);
  if (status == Success && data && type == XA_CARDINAL && format == 32 && count == 4) {
    const long* values = reinterpret_cast<const long*>(data);  // Xlib's 32-bit items come as longs
    for (size_t i = 0; i < 4; ++i) read[i] = std::clamp(values[i], 0L, 10000L);
  }
  if (data) XFree(data);
  if (read == frame) return false;
  frame = read;
  return true;
}

void DesktopWindow::Native::tick() {
  if (destroyed) return;
  // A screen of another size (the device turned) is fitted again.
  if (Screen::main()->bounds().size != fittedPoints) fitTo(shownMonitor());
  updatePageFocus();
  bool animating = false;
  for (const auto& shown : Application::shared()->windows())
    if (treeAnimates(*shown->layer())) animating = true;
  if (drawnOnce && !animating && Layer::changeCount() == drawnChanges && pageDamage == drawnDamage) return;
  gtk_widget_queue_draw(area);
  GLibPump::shared().poke();
}

void DesktopWindow::Native::draw(cairo_t* cr) {
  drawnChanges = Layer::changeCount();
  drawnDamage = pageDamage;
  drawnOnce = true;
  // Pixels per GDK unit, and per point.
  const int scale = gtk_widget_get_scale_factor(area);
  Ref<Bitmap> frame = renderScreen(scale * fit);
  if (!frame) return;
  ++frames;
  lastFrame = frame;
  auto words = frame->premultipliedARGB();
  const int width = static_cast<int>(frame->width()), height = static_cast<int>(frame->height());
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(words.data())), CAIRO_FORMAT_ARGB32, width, height,
      width * 4);
  cairo_surface_set_device_scale(surface, scale, scale);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_paint(cr);
  cairo_surface_destroy(surface);
}

void DesktopWindow::Native::press(Point screen) {
  gtk_widget_grab_focus(area);
  if (auto previous = touched.lock()) previous->sendTouch(TouchPhase::Cancelled, touchOrigin);
  touched.reset();
  page.reset();
  // The topmost window whose hit test finds a view takes the touch.
  auto windows = Application::shared()->windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    const Point inWindow{screen.x - (*it)->frame().origin.x, screen.y - (*it)->frame().origin.y};
    if (Ref<View> hit = (*it)->hitTest(inWindow, nullptr)) {
      // Pressing the page leaves the text input of kit's being edited, as
      // clicking into a page does on a desktop: the keys go to the page.
      if (Ref<View> pageView = pageViewOf(hit)) {
        page = pageView;
        Ref<Responder> responder = Responder::currentFirstResponder();
        if (isTextInput(responder.get())) responder->resignFirstResponder();
      }
      updatePageFocus();
      touched = *it;
      touchOrigin = screen;
      (*it)->sendTouch(TouchPhase::Began, inWindow);
      return;
    }
  }
  updatePageFocus();
}

void DesktopWindow::Native::touch(TouchPhase phase, Point screen) {
  auto window = touched.lock();
  if (!window) return;
  if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) touched.reset();
  window->sendTouch(phase, {screen.x - window->frame().origin.x, screen.y - window->frame().origin.y});
}

void DesktopWindow::Native::scroll(Point screen, double dx, double dy) {
  auto windows = Application::shared()->windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    const Point inWindow{screen.x - (*it)->frame().origin.x, screen.y - (*it)->frame().origin.y};
    Ref<View> hit = (*it)->hitTest(inWindow, nullptr);
    if (!hit) continue;
    for (View* view = hit.get(); view; view = view->superview().get()) {
      auto* scroller = dynamic_cast<ScrollView*>(view);
      if (!scroller || !scroller->isScrollEnabled()) continue;
      const EdgeInsets inset = scroller->adjustedContentInset();
      const Size bounds = scroller->bounds().size, content = scroller->contentSize();
      auto clamp = [](double v, double low, double high) { return v < low ? low : (v > high ? high : v); };
      const Point offset = scroller->contentOffset();
      const double maxX = content.width + inset.right - bounds.width;
      const double maxY = content.height + inset.bottom - bounds.height;
      const Point next{clamp(offset.x + dx, -inset.left, std::max(-inset.left, maxX)),
                       clamp(offset.y + dy, -inset.top, std::max(-inset.top, maxY))};
      if (next != offset) {
        scroller->setContentOffset(next);
        return;
      }
    }
    return;
  }
}

Ref<PageEngine> DesktopWindow::Native::keyboardPage() const {
  Ref<View> view = page.lock();
  if (!view || !view->window() || isTextInput(Responder::currentFirstResponder().get())) return nullptr;
  return drawingEngineOf(view.get());
}

// The page that has the keyboard hears it first: it gains it on a press
// and loses it when the press goes elsewhere or a text input of kit's
// becomes the first responder (a screen focusing its field).
void DesktopWindow::Native::updatePageFocus() {
  Ref<PageEngine> wanted = keyboardPage();
  Ref<PageEngine> focused = focusedPage.lock();
  if (wanted == focused) return;
  if (focused) focused->setKeyboardFocus(false);
  if (wanted) wanted->setKeyboardFocus(true);
  focusedPage = wanted;
}

bool DesktopWindow::Native::key(GdkEventKey* event) {
  updatePageFocus();
  if (Ref<PageEngine> engine = keyboardPage()) {
    // The page's engine types with its own input method.
    gtk_im_context_reset(input);
    return engine->keyEvent({event->type == GDK_KEY_PRESS, event->keyval, event->hardware_keycode, event->state});
  }
  Ref<Responder> responder = Responder::currentFirstResponder();
  auto* field = dynamic_cast<TextField*>(responder.get());
  auto* textView = dynamic_cast<TextView*>(responder.get());
  if (!field && !textView) return false;
  // The input method sees every key first, releases too: it types text and
  // composes what no key gives (Ctrl+Shift+U and a code point), and leaves
  // the editing keys and the shortcuts, which give no text, to what follows.
  if (gtk_im_context_filter_keypress(input, event)) return true;
  if (event->type != GDK_KEY_PRESS) return false;
  const bool control = event->state & GDK_CONTROL_MASK;
  if (control && (event->keyval == GDK_KEY_v || event->keyval == GDK_KEY_V)) {
    paste();
    return true;
  }
  switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      if (field) field->pressReturn();
      else insert("\n");
      return true;
    default:
      return field ? editingKey(*field, event->keyval) : editingKey(*textView, event->keyval);
  }
}

void DesktopWindow::Native::insert(const std::string& text) {
  Ref<Responder> responder = Responder::currentFirstResponder();
  if (auto* field = dynamic_cast<TextField*>(responder.get())) {
    field->insertText(text);
  } else if (auto* textView = dynamic_cast<TextView*>(responder.get())) {
    textView->insertText(text);
  }
}

void DesktopWindow::Native::paste() {
  // The desktop's clipboard becomes the general pasteboard's string, which
  // the first responder takes, unless the window closed while the program
  // that holds the clipboard answered. (GTK answers every request once.)
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gtk_clipboard_request_text(
      clipboard,
      [](GtkClipboard*, const gchar* text, gpointer data) {
        std::unique_ptr<std::weak_ptr<Native*>> window(static_cast<std::weak_ptr<Native*>*>(data));
        if (text) {
          readingDesktopClipboard = true;
          Pasteboard::general()->setString(text);
          readingDesktopClipboard = false;
        }
        auto self = window->lock();
        if (auto pasted = Pasteboard::general()->string(); pasted && self) (*self)->insert(*pasted);
      },
      new std::weak_ptr<Native*>(alive));
  GLibPump::shared().poke();
}

std::optional<DeviceProfile> deviceProfileNamed(const std::string& name) {
  for (const DeviceProfile& profile : {DeviceProfile::phone375x667(), DeviceProfile::phone667x375(),
                                       DeviceProfile::notched812x375(), DeviceProfile::notched375x812()})
    if (profile.name == name) return profile;
  return std::nullopt;
}

void openOutsideURLsOnDesktop() {
  Application::shared()->setOutsideURLHandler([](const std::string& url) {
    log("desktop: opening %s with the desktop's handler", url.c_str());
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error)) {
      log("desktop: could not open %s: %s", url.c_str(), error ? error->message : "no handler");
      if (error) g_error_free(error);
    }
    GLibPump::shared().poke();
  });
}

}  // namespace kit
