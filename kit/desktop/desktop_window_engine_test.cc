// The desktop window on a real X server: what it shows equals kit's own
// render of the screen (a web view's page included, under a translucent
// native view), frames are drawn when something changes and not while
// nothing does, and input made through the display server (XTest) reaches
// what kit's hit testing finds: buttons, text fields (typing, composing,
// Backspace, Return, pasting), the page under the web view (its clicks,
// double clicks and, after a click into it, its keyboard), scroll views
// under the wheel. The desktop's clipboard gets what the client copies.
// Closing the window asks its close handler, and so does another program
// destroying it, which GTK's libraries take without a complaint. The
// window, framed, fits the work area a window manager's hints give. Skips
// itself without a display.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kit/desktop/desktop_window.h"
#include "kit/desktop/testing/private_display.h"
#include "kit/desktop/testing/window_manager_hints.h"
#include "kit/desktop/testing/window_waits.h"
#include "kit/desktop/testing/x_screenshot.h"
#include "kit/desktop/testing/x_windows.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/render.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/text_field.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/web_view.h"

// Last: X11's macros would rename kit's enumerators.
#include <gdk/gdkx.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// GTK opens the display of this program's first engine test and keeps it:
// every test here, runs on the private display.
const ::testing::Environment* const privateDisplay =
    ::testing::AddGlobalTestEnvironment(new kit::test::PrivateDisplayEnvironment);
// A window manager's hints on it, announced before GTK opens it.
kit::test::WindowManagerHints* const windowManager = static_cast<kit::test::WindowManagerHints*>(
    ::testing::AddGlobalTestEnvironment(new kit::test::WindowManagerHints));

const char* kPage = R"(<!DOCTYPE html><html><body style="margin:0; background:#204080">
<div style="position:absolute; left:20px; top:20px; width:100px; height:100px; background:#ff0000"></div>
<input id="name" style="position:absolute; left:150px; top:150px; width:150px; height:30px">
<script>
  var blurs = 0;
  document.getElementById('name').addEventListener('blur', function () { ++blurs; });
  var clicks = [], doubleClicks = 0;
  document.addEventListener('click', function (e) { clicks.push([e.clientX, e.clientY]); });
  document.addEventListener('dblclick', function () { ++doubleClicks; });
</script></body></html>)";

// One point is one pixel here, so that the window fits the virtual screen.
kit::DeviceProfile flatPhone() {
  kit::DeviceProfile profile = kit::DeviceProfile::phone375x667();
  profile.scale = 1;
  return profile;
}

// The display server as a person's mouse and keyboard and a screenshot tool.
class Display {
 public:
  ~Display() {
    if (display_) XCloseDisplay(display_);
  }
  Atom atom(const char* name) { return XInternAtom(display_, name, False); }
  // Opens the window's display and finds where the window's origin lies
  // on its screen.
  bool locate(const std::string& name, unsigned long window) {
    if (display_) XCloseDisplay(display_);
    display_ = XOpenDisplay(name.c_str());
    if (!display_) return false;
    ::Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x_, &y_, &child);
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
    return true;
  }
  void click(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x_ + x, y_ + y, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
  }
  void wheelDown(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x_ + x, y_ + y, CurrentTime);
    XTestFakeButtonEvent(display_, 5, True, CurrentTime);
    XTestFakeButtonEvent(display_, 5, False, CurrentTime);
    XSync(display_, False);
  }
  void key(KeySym symbol) {
    const KeyCode code = XKeysymToKeycode(display_, symbol);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
  }
  // Gives `symbol` a key of its own when the keyboard has none for it (as
  // an input method's characters have none) and types it.
  void type(KeySym symbol) {
    if (!XKeysymToKeycode(display_, symbol)) {
      int low = 0, high = 0, perCode = 0;
      XDisplayKeycodes(display_, &low, &high);
      KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(low), high - low + 1, &perCode);
      for (int code = high; code >= low; --code) {
        bool unused = true;
        for (int i = 0; i < perCode; ++i) unused = unused && map[(code - low) * perCode + i] == NoSymbol;
        if (!unused) continue;
        KeySym symbols[] = {symbol, symbol};
        XChangeKeyboardMapping(display_, code, 2, symbols, 1);
        break;
      }
      XFree(map);
      XSync(display_, False);
    }
    key(symbol);
  }
  // Types `symbol` with the modifier keys held.
  void chord(std::initializer_list<KeySym> modifiers, KeySym symbol) {
    for (KeySym modifier : modifiers)
      XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, modifier), True, CurrentTime);
    key(symbol);
    for (KeySym modifier : modifiers)
      XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, modifier), False, CurrentTime);
    XSync(display_, False);
  }
  // Composes a character from its code point with the input method's
  // Ctrl+Shift+U, as a person types one that no key gives.
  void compose(std::initializer_list<KeySym> hexDigits) {
    chord({XK_Control_L, XK_Shift_L}, XK_u);
    for (KeySym digit : hexDigits) key(digit);
    key(XK_space);
  }
  void close(unsigned long window) { kit::test::requestClose(display_, window); }
  // What another program does when it destroys the window (as `xdotool
  // windowclose` does).
  void destroy(unsigned long window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
  }
  // What another program gets when it asks for the desktop's clipboard as
  // UTF-8 text; nullopt when its owner gives none. Kit's run loop runs
  // meanwhile: the owner may be the client, which answers from it.
  std::optional<std::string> clipboardText() {
    const Atom property = XInternAtom(display_, "KIT_TEST_CLIPBOARD", False);
    const ::Window requestor = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(display_, atom("CLIPBOARD"), atom("UTF8_STRING"), property, requestor, CurrentTime);
    XFlush(display_);
    XEvent answer{};
    std::optional<std::string> text;
    auto answered = [&] {
      serveClipboard();  // when this connection holds the clipboard
      return XCheckTypedWindowEvent(display_, requestor, SelectionNotify, &answer);
    };
    if (kit::test::runUntil(answered) &&
        answer.xselection.property == property) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, left = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display_, requestor, property, 0, 1 << 16, True, AnyPropertyType, &type, &format, &count,
                             &left, &data) == Success &&
          data && format == 8)
        text = std::string(reinterpret_cast<char*>(data), count);
      if (data) XFree(data);
    }
    XDestroyWindow(display_, requestor);
    XSync(display_, False);
    return text;
  }
  // Takes the desktop's clipboard with `text`, as another program that
  // copies it; serveClipboard() then answers who asks for it.
  void copy(const std::string& text) {
    if (!owner_) owner_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    copied_ = text;
    XSetSelectionOwner(display_, atom("CLIPBOARD"), owner_, CurrentTime);
    XSync(display_, False);
  }
  bool ownsClipboard() { return owner_ && XGetSelectionOwner(display_, atom("CLIPBOARD")) == owner_; }
  // Whether someone asked for the clipboard copy() took and waits for its
  // answer (left for serveClipboard()).
  bool clipboardAsked() {
    XEvent event;
    if (!owner_ || !XCheckTypedWindowEvent(display_, owner_, SelectionRequest, &event)) return false;
    XPutBackEvent(display_, &event);
    return true;
  }
  // Answers the requests for the clipboard that came, with its text as
  // UTF-8 (and which types it has); always false, to be called from a wait.
  bool serveClipboard() {
    XEvent event;
    while (owner_ && XCheckTypedWindowEvent(display_, owner_, SelectionRequest, &event)) {
      const XSelectionRequestEvent& request = event.xselectionrequest;
      XEvent reply{};
      reply.xselection.type = SelectionNotify;
      reply.xselection.requestor = request.requestor;
      reply.xselection.selection = request.selection;
      reply.xselection.target = request.target;
      reply.xselection.time = request.time;
      reply.xselection.property = request.property;
      if (request.target == atom("TARGETS")) {
        Atom targets[] = {atom("TARGETS"), atom("UTF8_STRING")};
        XChangeProperty(display_, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(targets), 2);
      } else if (request.target == atom("UTF8_STRING")) {
        XChangeProperty(display_, request.requestor, request.property, request.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(copied_.data()), static_cast<int>(copied_.size()));
      } else {
        reply.xselection.property = None;
      }
      XSendEvent(display_, request.requestor, False, NoEventMask, &reply);
    }
    XFlush(display_);
    return false;
  }
  // The window's size in pixels, as the X server has it.
  std::pair<int, int> size(unsigned long window) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display_, window, &attributes);
    return {attributes.width, attributes.height};
  }
  // The window's pixels as the X server shows them.
  kit::Ref<kit::Bitmap> screenshot(unsigned long window, int width, int height) {
    return kit::test::screenshot(display_, window, width, height);
  }

 private:
  ::Display* display_ = nullptr;
  int x_ = 0, y_ = 0;
  // The window that holds the clipboard for copy(), and its text.
  ::Window owner_ = 0;
  std::string copied_;
};

// The warnings and criticals GLib's libraries log (GDK's, GTK's, GObject's),
// printed as before and kept for the tests that want none.
std::mutex complaintsLock;
std::vector<std::string> complaints;

GLogWriterOutput keepComplaints(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
  if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
    std::string domain, message;
    for (gsize i = 0; i < count; ++i) {
      if (fields[i].length >= 0) continue;  // not a string
      const std::string key = fields[i].key;
      if (key == "GLIB_DOMAIN") domain = static_cast<const char*>(fields[i].value);
      if (key == "MESSAGE") message = static_cast<const char*>(fields[i].value);
    }
    std::lock_guard lock(complaintsLock);
    complaints.push_back(domain + ": " + message);
  }
  return g_log_writer_default(level, fields, count, nullptr);
}

// What GLib's libraries complained of since `from` complaints.
std::vector<std::string> complaintsSince(size_t from) {
  static const bool kept = (g_log_set_writer_func(keepComplaints, nullptr, nullptr), true);
  (void)kept;
  std::lock_guard lock(complaintsLock);
  return {complaints.begin() + static_cast<std::ptrdiff_t>(std::min(from, complaints.size())), complaints.end()};
}

bool isRed(const kit::Pixel& p) { return p.r > 200 && p.g < 60 && p.b < 60; }

// The share of pixels whose channels differ by more than `tolerance`.
double differingShare(const kit::Bitmap& a, const kit::Bitmap& b, int tolerance) {
  if (a.width() != b.width() || a.height() != b.height()) return 1;
  size_t differing = 0;
  for (size_t y = 0; y < a.height(); ++y)
    for (size_t x = 0; x < a.width(); ++x) {
      const kit::Pixel p = a.pixelAt(x, y), q = b.pixelAt(x, y);
      if (std::abs(p.r - q.r) > tolerance || std::abs(p.g - q.g) > tolerance || std::abs(p.b - q.b) > tolerance)
        ++differing;
    }
  return static_cast<double>(differing) / static_cast<double>(a.width() * a.height());
}

class DesktopWindowTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::usePrivateDisplay();  // clicks of other tests stay on their displays
    kit::test::BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    window = kit::Window::make(kit::Rect{0, 0, 375, 667});
    window->setBackgroundColor(kit::Color::whiteColor());
    web = kit::WebView::make(kit::Rect{0, 300, 375, 367});
    window->addSubview(web);
    button = kit::Button::make(kit::Rect{20, 20, 150, 44});
    button->setBackgroundColor(kit::Color::hex(0x2060C0));
    button->setTitle("知道了");
    button->addAction(kit::ControlEvent::TouchUpInside, [this] { ++taps; });
    window->addSubview(button);
    field = kit::TextField::make(kit::Rect{20, 100, 300, 40});
    field->setBorderStyle(kit::TextBorderStyle::RoundedRect);
    window->addSubview(field);
    // A translucent native view above the page.
    veil = kit::View::make(kit::Rect{200, 320, 150, 100});
    veil->setBackgroundColor(kit::Color::rgba(0, 1, 0, 0.5));
    window->addSubview(veil);
    window->makeKeyAndVisible();
    struct Finish : kit::NavigationDelegate {
      bool done = false;
      void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { done = true; }
    };
    auto finish = std::make_shared<Finish>();
    web->setNavigationDelegate(finish);
    web->loadHTMLString(kPage, kit::URL::URLWithString("http://127.0.0.1/page.html"));
    ASSERT_TRUE(kit::test::runUntil([&] { return finish->done; }));
    desktop = kit::DesktopWindow::open("desktop test");
    ASSERT_TRUE(desktop);
    ASSERT_TRUE(display.locate(desktop->displayName(), desktop->xid()));
    // The page has painted: its red square shows (GTK's light grey, before
    // the first paint, is no red).
    ASSERT_TRUE(shows([&](const kit::Bitmap& frame) { return isRed(frame.pixelAt(70, 370)); }));
  }
  void TearDown() override {
    desktop.reset();
    if (window) window->setHidden(true);
    web.reset();
    window.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  }
  // Runs until the desktop window has drawn a frame that satisfies `test`.
  bool shows(const std::function<bool(const kit::Bitmap&)>& test) {
    return kit::test::runUntil([&] {
      auto frame = desktop->lastFrame();
      return frame && test(*frame);
    });
  }
  std::string evaluate(const std::string& script) { return kit::test::evaluate(*web, script); }

  // Lets the display link tick until a few ticks in a row draw no frame
  // (the window's first exposures and the page's first paints are over).
  bool settle() {
    for (int round = 0; round < 50; ++round) {
      const long drawn = desktop->framesDrawn();
      kit::test::runFrames(5);
      if (desktop->framesDrawn() == drawn) return true;
    }
    return false;
  }

  kit::DeviceProfileScope phone{flatPhone()};
  Display display;
  kit::Ref<kit::Window> window;
  kit::Ref<kit::WebView> web;
  kit::Ref<kit::Button> button;
  kit::Ref<kit::TextField> field;
  kit::Ref<kit::View> veil;
  int taps = 0;
  std::unique_ptr<kit::DesktopWindow> desktop;
};

TEST_F(DesktopWindowTest, AScreenshotOfTheWindowEqualsKitsRenderOfTheScreen) {
  EXPECT_EQ(desktop->scale(), 1);
  ASSERT_TRUE(settle());
  kit::Ref<kit::Bitmap> shot = display.screenshot(desktop->xid(), 375, 667);
  ASSERT_TRUE(shot);
  kit::Ref<kit::Bitmap> rendered = kit::renderScreen(1);
  EXPECT_LT(differingShare(*shot, *rendered, 6), 0.002);
  // The page is live under the translucent view: its red square, the veil
  // blended over the page's blue.
  EXPECT_TRUE(isRed(shot->pixelAt(70, 370)));
  const kit::Pixel veiled = shot->pixelAt(300, 400);
  EXPECT_GT(veiled.g, 100);
  EXPECT_GT(veiled.b, 40);
}

TEST_F(DesktopWindowTest, FramesAreDrawnWhenSomethingChangesAndNotWhileNothingDoes) {
  // The page repainting is a change.
  ASSERT_TRUE(settle());
  const long before = desktop->framesDrawn();
  evaluate("document.body.style.background = '#ffff00'; 1");
  EXPECT_TRUE(shows([](const kit::Bitmap& frame) {
    const kit::Pixel p = frame.pixelAt(10, 600);
    return p.r > 200 && p.g > 200 && p.b < 50;
  }));
  EXPECT_GT(desktop->framesDrawn(), before);

  // Without the page (whose engine may paint at any time), nothing changes
  // and nothing is drawn, until a view changes.
  web->removeFromSuperview();
  web.reset();
  ASSERT_TRUE(settle());
  const long idle = desktop->framesDrawn();
  kit::test::runFrames(10);
  EXPECT_EQ(desktop->framesDrawn(), idle);
  veil->setBackgroundColor(kit::Color::rgba(0, 0, 1, 1));
  EXPECT_TRUE(shows([](const kit::Bitmap& frame) { return frame.pixelAt(300, 330).b > 200; }));
  EXPECT_GT(desktop->framesDrawn(), idle);
}

TEST_F(DesktopWindowTest, ClicksAndKeysThroughTheDisplayServerReachWhatKitsHitTestingFinds) {
  display.click(60, 40);
  ASSERT_TRUE(kit::test::runUntil([&] { return taps == 1; }));

  display.click(100, 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  for (KeySym symbol : {XK_a, XK_d, XK_a, XK_m, XK_x}) display.key(symbol);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "adamx"; })) << field->text();
  display.key(XK_BackSpace);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "adam"; })) << field->text();
  EXPECT_TRUE(kit::Application::shared()->isKeyboardVisible());
  bool returned = false;
  field->addAction(kit::ControlEvent::EditingDidEndOnExit, [&] { returned = true; });
  display.key(XK_Return);
  ASSERT_TRUE(kit::test::runUntil([&] { return returned; }));

  // The page gets a click where no native view lies above it, at its own
  // point; a click on the veil does not reach it.
  display.click(50, 350);
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("clicks.length") == "1"; }));
  EXPECT_EQ(evaluate("clicks[0].join(',')"), "50,50");
  display.click(250, 350);
  display.click(60, 40);
  ASSERT_TRUE(kit::test::runUntil([&] { return taps == 2; }));
  EXPECT_EQ(evaluate("clicks.length"), "1");
}

TEST_F(DesktopWindowTest, AFieldShowsItsCaretWhichKeysMoveClicksPlaceAndTypingAndDeletingFollow) {
  auto text = [&] { return field->text(); };
  display.click(100, 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  for (KeySym symbol : {XK_a, XK_b, XK_c, XK_d}) display.key(symbol);
  ASSERT_TRUE(kit::test::runUntil([&] { return text() == "abcd"; })) << text();
  // The caret shows after the text, in the field's tint colour, in the
  // window's frames.
  const kit::Point origin = field->frame().origin;
  auto caretShown = [&](const kit::Bitmap& frame) {
    const kit::Rect caret = field->caretRect();
    const kit::Pixel p = frame.pixelAt(static_cast<size_t>(origin.x + caret.midX()),
                                       static_cast<size_t>(origin.y + caret.midY()));
    return p.b > 200 && p.r < 60;
  };
  EXPECT_TRUE(shows(caretShown));

  display.key(XK_Left);
  display.key(XK_Left);
  display.key(XK_x);
  ASSERT_TRUE(kit::test::runUntil([&] { return text() == "abxcd"; })) << text();
  display.key(XK_Home);
  display.key(XK_Delete);
  ASSERT_TRUE(kit::test::runUntil([&] { return text() == "bxcd"; })) << text();
  display.key(XK_End);
  display.key(XK_BackSpace);
  ASSERT_TRUE(kit::test::runUntil([&] { return text() == "bxc"; })) << text();
  display.key(XK_Right);  // at the end already
  display.key(XK_Left);
  display.key(XK_Left);
  display.key(XK_BackSpace);
  ASSERT_TRUE(kit::test::runUntil([&] { return text() == "xc"; })) << text();
  EXPECT_EQ(field->selectedRange(), (kit::Range{0, 0}));
  EXPECT_TRUE(shows(caretShown));

  // A click between the two characters puts the caret there.
  field->setSelectedRange({1, 0});
  const kit::Rect between = field->caretRect();
  field->setSelectedRange({2, 0});
  display.click(static_cast<int>(origin.x + between.midX()), 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->selectedRange() == kit::Range{1, 0}; }));
  display.key(XK_y);
  ASSERT_TRUE(kit::test::runUntil([&] { return text() == "xyc"; })) << text();

  // Editing over, the caret goes.
  ASSERT_TRUE(field->resignFirstResponder());
  EXPECT_TRUE(shows([&](const kit::Bitmap& frame) { return !caretShown(frame); }));
}

TEST_F(DesktopWindowTest, KeysTypeIntoThePagesFieldAfterATapOnItAndIntoTheClientsFocusedField) {
  auto pageText = [&] { return evaluate("document.getElementById('name').value"); };
  display.click(100, 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  display.type(XK_o);
  display.type(XK_k);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "ok"; })) << field->text();

  // A tap on the page's field gives the page the keyboard; the client's
  // field leaves editing.
  display.click(200, 465);
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("document.activeElement.id") == "name"; }));
  EXPECT_FALSE(field->isFirstResponder());
  for (KeySym symbol : {XK_h, XK_i, XK_x, XK_eacute, 0x1004F60 /* 你 */}) display.type(symbol);
  display.compose({XK_5, XK_9, XK_2, XK_7});  // 大
  ASSERT_TRUE(kit::test::runUntil([&] { return pageText() == "hixé你大"; })) << pageText();
  for (int i = 0; i < 4; ++i) display.type(XK_BackSpace);
  ASSERT_TRUE(kit::test::runUntil([&] { return pageText() == "hi"; })) << pageText();
  EXPECT_EQ(field->text(), "ok");
  EXPECT_EQ(evaluate("document.hasFocus()"), "1");  // the page shows its caret

  // A tap on the client's field takes the keyboard back; the page's field
  // loses the focus.
  display.click(100, 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  EXPECT_TRUE(kit::test::runUntil([&] { return evaluate("blurs") == "1"; }));
  display.type(XK_eacute);
  display.type(XK_BackSpace);
  display.type(XK_y);
  display.compose({XK_5, XK_9, XK_2, XK_7});
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "oky大"; })) << field->text();
  EXPECT_EQ(pageText(), "hi");
}

TEST_F(DesktopWindowTest, ControlVPastesTheDesktopClipboardIntoThePageOrIntoTheClientsField) {
  gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), "粘贴 ok", -1);
  auto pageText = [&] { return evaluate("document.getElementById('name').value"); };
  display.click(200, 465);
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("document.activeElement.id") == "name"; }));
  display.chord({XK_Control_L}, XK_v);
  ASSERT_TRUE(kit::test::runUntil([&] { return pageText() == "粘贴 ok"; })) << pageText();

  // A screen that focuses its own field takes the keyboard from the page.
  ASSERT_TRUE(field->becomeFirstResponder());
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("blurs") == "1"; }));
  display.chord({XK_Control_L}, XK_v);
  display.type(XK_y);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "粘贴 oky"; })) << field->text();
  EXPECT_EQ(pageText(), "粘贴 ok");
}

// A code copied in the client (as a copy button sets the general
// pasteboard) reaches the desktop's clipboard, for other programs and for
// Ctrl+V after another program copied and the client copied again; a paste
// of what another program copied leaves the clipboard with that program.
TEST_F(DesktopWindowTest, AStringTheClientCopiesIsOfferedOnTheDesktopsClipboardAndPastingLeavesItsOwnerBe) {
  kit::Pasteboard::general()->setString("礼包码 KT-1");
  EXPECT_EQ(display.clipboardText(), "礼包码 KT-1");

  // Another program copies: a paste takes its text, and it keeps the
  // clipboard (the client does not offer back what it read).
  display.copy("外部 text");
  ASSERT_TRUE(display.ownsClipboard());
  display.click(100, 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  display.chord({XK_Control_L}, XK_v);
  ASSERT_TRUE(kit::test::runUntil([&] { return display.serveClipboard() || field->text() == "外部 text"; }))
      << field->text();
  EXPECT_EQ(kit::Pasteboard::general()->string(), "外部 text");
  kit::test::runFrames(5);
  display.serveClipboard();
  EXPECT_TRUE(display.ownsClipboard());
  EXPECT_EQ(display.clipboardText(), "外部 text");

  // A copy made on another thread reaches the desktop too, and Ctrl+V
  // pastes it.
  std::thread([] { kit::Pasteboard::general()->setString("KT-2"); }).join();
  ASSERT_TRUE(kit::test::runUntil([&] { return !display.ownsClipboard(); }));
  EXPECT_EQ(display.clipboardText(), "KT-2");
  display.chord({XK_Control_L}, XK_v);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->text() == "外部 textKT-2"; })) << field->text();

  // With the window gone, the pasteboard is the client's own again.
  desktop.reset();
  display.copy("外部 again");
  kit::Pasteboard::general()->setString("KT-3");
  kit::test::runFrames(5);
  EXPECT_TRUE(display.ownsClipboard());
}

// Ctrl+V waits for the program that holds the clipboard: a window closed
// meanwhile takes no paste (its text still becomes the pasteboard's).
TEST_F(DesktopWindowTest, APasteWhoseWindowClosesBeforeTheClipboardAnswersIsDropped) {
  display.copy("外部 slow");
  display.click(100, 120);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  display.chord({XK_Control_L}, XK_v);
  ASSERT_TRUE(kit::test::runUntil([&] { return display.clipboardAsked(); }));
  desktop.reset();
  ASSERT_TRUE(kit::test::runUntil([&] {
    return display.serveClipboard() || kit::Pasteboard::general()->string() == "外部 slow";
  }));
  kit::test::runFrames(5);
  EXPECT_EQ(field->text(), "");
}

TEST_F(DesktopWindowTest, TwoQuickClicksReachThePageAsTwoClicksAndOneDoubleClick) {
  display.click(50, 350);
  display.click(50, 350);
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("clicks.length") == "2"; })) << evaluate("clicks.length");
  EXPECT_EQ(evaluate("doubleClicks"), "1");
}

TEST_F(DesktopWindowTest, TheWheelScrollsTheScrollViewUnderThePointer) {
  auto scroller = kit::ScrollView::make(kit::Rect{20, 160, 200, 100});
  scroller->setContentSize({200, 1000});
  window->addSubview(scroller);
  display.wheelDown(100, 200);
  ASSERT_TRUE(kit::test::runUntil([&] { return scroller->contentOffset().y > 0; }));
  EXPECT_EQ(scroller->contentOffset().y, 40);
}

TEST_F(DesktopWindowTest, ClosingTheWindowAsksItsCloseHandler) {
  bool closed = false;
  desktop->setCloseHandler([&] { closed = true; });
  display.close(desktop->xid());
  EXPECT_TRUE(kit::test::runUntil([&] { return closed; }));
}

TEST_F(DesktopWindowTest, AWindowAnotherProgramDestroysAsksItsCloseHandlerAndDrawsNoMore) {
  int closes = 0;
  desktop->setCloseHandler([&] { ++closes; });
  display.destroy(desktop->xid());
  // A request for the window sent before GTK heard of its end (as a
  // repaint's may be) fails on the server; that is no fault of the
  // program's, which goes on.
  ::Display* own = GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
  XClearWindow(own, desktop->xid());
  XSync(own, False);
  ASSERT_TRUE(kit::test::runUntil([&] { return closes == 1; }));
  // Changes after it draw nothing; the window goes with its owner.
  const long drawn = desktop->framesDrawn();
  veil->setBackgroundColor(kit::Color::rgba(0, 0, 1, 1));
  kit::test::runFrames(5);
  EXPECT_EQ(desktop->framesDrawn(), drawn);
  EXPECT_EQ(closes, 1);
  desktop.reset();
}

// Right after it opens, GTK still lays the window out and styles it on its
// frame clock's next frames: a window destroyed then ends as quietly as
// one destroyed later.
TEST_F(DesktopWindowTest, AWindowAnotherProgramDestroysRightAfterItOpensEndsQuietly) {
  const size_t before = complaintsSince(0).size();
  desktop.reset();
  desktop = kit::DesktopWindow::open("desktop test");
  ASSERT_TRUE(desktop);
  ASSERT_TRUE(display.locate(desktop->displayName(), desktop->xid()));
  int closes = 0;
  desktop->setCloseHandler([&] { ++closes; });
  const unsigned long xid = desktop->xid();
  display.destroy(xid);
  ASSERT_TRUE(kit::test::runUntil([&] { return closes == 1; }));
  // GDK hears of the end once the widgets let go of the window, and
  // forgets it: it keeps no window for an X window that is gone.
  EXPECT_TRUE(kit::test::runUntil([&] { return !gdk_x11_window_lookup_for_display(gdk_display_get_default(), xid); }))
      << "GDK still holds the destroyed window";
  kit::test::runFrames(5);
  desktop.reset();
  kit::test::runFrames(5);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(complaintsSince(before), std::vector<std::string>{});
}

// The window is drawn at the display's scale (one pixel per point on the
// virtual screen), not at the device's, and a screen that does not fit the
// monitor's work area (1280 x 1024 here) is shown smaller, its points kept.
TEST_F(DesktopWindowTest, TheWindowIsAtTheDisplaysScaleAndAScreenTooTallForTheMonitorIsShrunk) {
  desktop.reset();
  {
    kit::DeviceProfileScope phone(kit::DeviceProfile::phone375x667());  // scale 2
    desktop = kit::DesktopWindow::open("desktop test");
    ASSERT_TRUE(desktop);
    ASSERT_TRUE(display.locate(desktop->displayName(), desktop->xid()));
    EXPECT_EQ(desktop->scale(), 1);
    EXPECT_EQ(display.size(desktop->xid()), std::make_pair(375, 667));
    desktop.reset();
  }

  kit::DeviceProfile tall = flatPhone();
  tall.screenSize = {640, 2048};
  tall.scale = 2;
  kit::DeviceProfileScope tallScreen(tall);
  desktop = kit::DesktopWindow::open("desktop test");
  ASSERT_TRUE(desktop);
  ASSERT_TRUE(display.locate(desktop->displayName(), desktop->xid()));
  EXPECT_EQ(desktop->scale(), 0.5);
  ASSERT_EQ(display.size(desktop->xid()), std::make_pair(320, 1024));
  ASSERT_TRUE(settle());
  kit::Ref<kit::Bitmap> shot = display.screenshot(desktop->xid(), 320, 1024);
  ASSERT_TRUE(shot);
  EXPECT_LT(differingShare(*shot, *kit::renderScreen(0.5), 6), 0.002);
  // Clicks land on the points they show: the button at (20, 20) to
  // (170, 64), the field at (20, 100) to (320, 140).
  display.click(45, 21);
  ASSERT_TRUE(kit::test::runUntil([&] { return taps == 1; }));
  display.click(30, 55);
  ASSERT_TRUE(kit::test::runUntil([&] { return field->isFirstResponder(); }));
  EXPECT_EQ(taps, 1);
}

// Under a window manager, the window with its frame fits the work area:
// a screen too tall for the room a dock leaves is shown smaller, by as
// much as the title bar and borders take, once the window manager says
// how wide they are.
TEST_F(DesktopWindowTest, TheWindowWithItsFrameFitsTheWorkAreaADockLeaves) {
  const size_t before = complaintsSince(0).size();
  desktop.reset();
  struct WorkArea {
    WorkArea() { windowManager->setWorkArea({0, 0, 1280, 824}); }  // a 200-px dock at the bottom
    ~WorkArea() { windowManager->resetWorkArea(); }
  } dock;
  kit::DeviceProfile tall = flatPhone();
  tall.screenSize = {375, 1000};
  kit::DeviceProfileScope tallScreen(tall);
  desktop = kit::DesktopWindow::open("desktop test");
  ASSERT_TRUE(desktop);
  ASSERT_TRUE(display.locate(desktop->displayName(), desktop->xid()));
  EXPECT_EQ(display.size(desktop->xid()), std::make_pair(309, 824));

  // A 22-px title bar and 2-px borders leave 800 px of the work area's 824.
  windowManager->setFrameExtents(desktop->xid(), {2, 2, 22, 2});
  ASSERT_TRUE(kit::test::runUntil([&] { return display.size(desktop->xid()).second <= 800; }))
      << display.size(desktop->xid()).second;
  EXPECT_EQ(display.size(desktop->xid()), std::make_pair(300, 800));
  EXPECT_DOUBLE_EQ(desktop->scale(), 0.8);
  // Its frames are drawn at that size, and clicks land on the points they
  // show: the button at (20, 20) to (170, 64).
  ASSERT_TRUE(shows([](const kit::Bitmap& frame) { return frame.width() == 300 && frame.height() == 800; }));
  display.click(40, 40);
  ASSERT_TRUE(kit::test::runUntil([&] { return taps == 1; }));

  // Without a frame (the window manager took it away), the window has the
  // whole work area again.
  windowManager->setFrameExtents(desktop->xid(), {0, 0, 0, 0});
  ASSERT_TRUE(kit::test::runUntil([&] { return display.size(desktop->xid()).second == 824; }))
      << display.size(desktop->xid()).second;

  // Closed as it grows (a frame of its waits for the resize to be done),
  // the window leaves GTK as it found it: the next one opens and draws
  // without a complaint.
  desktop.reset();
  desktop = kit::DesktopWindow::open("desktop test");
  ASSERT_TRUE(desktop);
  ASSERT_TRUE(settle());
  EXPECT_EQ(complaintsSince(before), std::vector<std::string>{});
}

// A wide screen (a notched phone held landscape) beside a dock that leaves
// less than its width: the window with its side borders fits the room
// across, its height shrunk by as much.
TEST_F(DesktopWindowTest, AWideScreenWithItsSideBordersFitsTheWorkAreasWidth) {
  desktop.reset();
  struct WorkArea {
    WorkArea() { windowManager->setWorkArea({0, 0, 700, 1024}); }  // a 580-px dock at the right
    ~WorkArea() { windowManager->resetWorkArea(); }
  } dock;
  const auto wide = kit::deviceProfileNamed("notched812x375");
  ASSERT_TRUE(wide);
  kit::DeviceProfileScope wideScreen(*wide);
  desktop = kit::DesktopWindow::open("desktop test");
  ASSERT_TRUE(desktop);
  ASSERT_TRUE(display.locate(desktop->displayName(), desktop->xid()));
  EXPECT_NEAR(display.size(desktop->xid()).first, 700, 1);

  // Borders of 12 and 28 px at the sides leave 660 px across; the title
  // bar and the bottom border take height, not width.
  windowManager->setFrameExtents(desktop->xid(), {12, 28, 22, 2});
  ASSERT_TRUE(kit::test::runUntil([&] { return display.size(desktop->xid()).first < 690; }))
      << display.size(desktop->xid()).first;
  EXPECT_NEAR(display.size(desktop->xid()).first, 660, 1);
  EXPECT_NEAR(display.size(desktop->xid()).second, 375 * 660 / 812, 1);
  EXPECT_NEAR(desktop->scale(), 660.0 / 812, 0.002);
}

// A window destroyed between the listing of the display's tree and the
// search's look at it (as the windows of another program's engine processes
// come and go) is skipped, not an X error that ends the test's process.
TEST(XWindowSearch, AWindowDestroyedBeforeTheSearchLooksAtItIsSkipped) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
  ::Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const ::Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 200, 200, 0, 0, 0);
  XStoreName(display, window, "destroyed before the search");
  XMapWindow(display, window);
  XSync(display, False);
  EXPECT_EQ(kit::test::windowTitled(display, window, "destroyed before the search"), window);
  XDestroyWindow(display, window);
  XSync(display, False);
  EXPECT_EQ(kit::test::windowTitled(display, window, "destroyed before the search"), 0u);
  EXPECT_EQ(kit::test::windowTitled(display, DefaultRootWindow(display), "destroyed before the search"), 0u);
  XCloseDisplay(display);
}

}  // namespace
