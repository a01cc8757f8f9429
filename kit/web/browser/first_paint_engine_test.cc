// The first-paint watch of the browser engine on a WebKit view of its own,
// driven as the engine drives it (a document handed over, loaded, its
// first paint awaited) with a paint wait far beyond the tests' time: a
// document counts as painted only when the window shows it. A new page
// of the same size as the one before is painted once the window shows it;
// the page before, the frames of a page that animates on, and the late
// answer of an older document's frame probe never count as the new
// document's paint. Nor does a document never loaded, whatever the page
// before draws, nor one whose frames the window has not painted yet. A
// document that shows nothing new counts as painted when the paint wait
// ends, not before; the watch, gone, leaves nothing on the window or its
// frame clock. The watch looks at the window only once the page has
// rendered the frames its probe waits for. Skips itself without a display.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kit/testing/run_until.h"
#include "kit/web/browser/browser_runtime.h"
#include "kit/web/browser/first_paint.h"
#include "kit/web/browser/glib_pump.h"
#include "kit/web/browser/testing/browser_test_support.h"

namespace {

// A paint wait no test here lives to see.
constexpr double kNoPaintWait = 3600;

// A page of one colour, and one whose colour flips on every frame (red and
// green) as long as it is shown.
std::string colourPage(const std::string& colour) {
  return "<!DOCTYPE html><html><body style=\"margin:0; background:" + colour + "\"></body></html>";
}
const char* kFlickeringPage = R"(<!DOCTYPE html><html><body style="margin:0"><script>
  var red = false;
  function flip() {
    red = !red;
    document.body.style.background = red ? '#c00000' : '#00c000';
    requestAnimationFrame(flip);
  }
  flip();
</script></body></html>)";

enum class Shade { None, Blue, Brown, Red, Green, Other };

Shade shadeOf(const kit::Ref<kit::Bitmap>& picture) {
  if (!picture || picture->width() == 0 || picture->height() == 0) return Shade::None;
  const kit::Pixel p = picture->pixelAt(picture->width() / 2, picture->height() / 2);
  auto near = [](int a, int b) { return a >= b - 8 && a <= b + 8; };
  auto is = [&](int r, int g, int b) { return near(p.r, r) && near(p.g, g) && near(p.b, b); };
  if (is(0x20, 0x60, 0xa0)) return Shade::Blue;
  if (is(0xa0, 0x40, 0x20)) return Shade::Brown;
  if (is(0xc0, 0, 0)) return Shade::Red;
  if (is(0, 0xc0, 0)) return Shade::Green;
  return Shade::Other;
}

// A WebKit view in an offscreen window watched by a first-paint watch, as
// the browser engine keeps them.
class Stage {
 public:
  explicit Stage(double paintWaitSeconds = kNoPaintWait) {
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", kit::detail::browserWebContext(), nullptr));
    g_object_ref_sink(view_);
    cancellable_ = g_cancellable_new();
    window_ = gtk_offscreen_window_new();
    watch_ = std::make_unique<kit::detail::FirstPaint>(window_, view_, cancellable_, paintWaitSeconds,
                                                       [this] { ++paintedCalls; });
    // After the watch's own handler: a damage counted here has been seen
    // by the watch.
    g_signal_connect(window_, "damage-event", G_CALLBACK(onDamage), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    gtk_widget_set_size_request(GTK_WIDGET(view_), 200, 150);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_show_all(window_);
    // Before any handler of the watch's: every paint of the window reaches
    // the stage first.
    clock_ = gdk_window_get_frame_clock(gtk_widget_get_window(window_));
    if (clock_) g_signal_connect(clock_, "after-paint", G_CALLBACK(onAfterPaint), this);
    kit::GLibPump::shared().poke();
  }
  ~Stage() {
    g_cancellable_cancel(cancellable_);
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(window_, this);
    if (clock_) g_signal_handlers_disconnect_by_data(clock_, this);
    watch_.reset();
    gtk_widget_destroy(window_);
    g_object_unref(view_);
    g_object_unref(cancellable_);
    kit::GLibPump::shared().poke();
  }
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

  kit::detail::FirstPaint& watch() { return *watch_; }

  // A new document is handed over; it loads in WebKit once loadHandedOver
  // is called (until then the page before stays, as while the new one's
  // commit is on its way).
  void handOver(const std::string& html) {
    watch_->documentHandedOver(false);
    html_ = html;
  }
  // Loads the document handed over and, once it has loaded, awaits its
  // first paint, as the engine does.
  bool loadHandedOver() {
    if (!loadOnly()) return false;
    watch_->awaitFirstPaint();
    return true;
  }
  bool load(const std::string& html) {
    handOver(html);
    return loadHandedOver();
  }
  // Loads the document handed over without awaiting its first paint.
  bool loadOnly() {
    const int before = loadsFinished_;
    webkit_web_view_load_html(view_, html_.c_str(), "http://127.0.0.1/page.html");
    kit::GLibPump::shared().poke();
    return kit::test::runUntil([&] { return loadsFinished_ > before; });
  }
  // Waits until the window has been damaged `count` more times.
  bool damagedAgain(int count) {
    const int target = damages + count;
    return kit::test::runUntil([&] { return damages >= target; });
  }
  // Waits until the page has rendered as many more animation frames as
  // the watch's probe waits for (in a world of its own, as the probe):
  // a probe the watch asked before has answered then.
  bool probeFramesLater() {
    bool done = false;
    const std::string script = kit::detail::FirstPaint::framesScript(kit::detail::FirstPaint::ProbeFrames);
    webkit_web_view_call_async_javascript_function(view_, script.c_str(), -1, nullptr, "first-paint-test", nullptr,
                                                   cancellable_, onFrames, &done);
    kit::GLibPump::shared().poke();
    return kit::test::runUntil([&] { return done; });
  }
  // Runs `body` (a function body) in the tests' own world of the page;
  // `answered` is called with its result once it has one (false when the
  // call failed).
  void runInTestWorld(const std::string& body, std::function<void(bool)> answered) {
    webkit_web_view_call_async_javascript_function(view_, body.c_str(), -1, nullptr, "first-paint-test", nullptr,
                                                   cancellable_, onAnswer,
                                                   new std::function<void(bool)>(std::move(answered)));
    kit::GLibPump::shared().poke();
  }

  // The window's frame clock (nil where the window has none).
  GdkFrameClock* frameClock() const { return clock_; }
  // While held, the watch hears of no paint of the window: its handlers on
  // the frame clock are blocked as they come, before they run, as if the
  // window's next paint were late. Released, they run at the next paint.
  void holdWindowPaints() { holding_ = true; }
  void releaseWindowPaints() {
    holding_ = false;
    for (gulong id : held_)
      if (g_signal_handler_is_connected(clock_, id)) g_signal_handler_unblock(clock_, id);
    held_.clear();
    if (clock_) gdk_frame_clock_request_phase(clock_, GDK_FRAME_CLOCK_PHASE_PAINT);
    kit::GLibPump::shared().poke();
  }
  // How many handlers the watch has on the frame clock: one while it waits
  // for the window's paint.
  int watchHandlersOnTheClock() const {
    const guint count = g_signal_handlers_block_matched(clock_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, watch_.get());
    g_signal_handlers_unblock_matched(clock_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, watch_.get());
    return static_cast<int>(count);
  }
  // Destroys the watch; the number of its handlers it left on the window
  // and its frame clock (taken away here, before they could run on it).
  int dropWatch() {
    void* gone = watch_.get();
    watch_.reset();
    held_.clear();
    return static_cast<int>(
        g_signal_handlers_disconnect_matched(clock_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, gone) +
        g_signal_handlers_disconnect_matched(window_, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, gone));
  }

  int paintedCalls = 0;
  int damages = 0;

 private:
  static gboolean onDamage(GtkWidget*, GdkEvent*, Stage* self) {
    ++self->damages;
    return FALSE;
  }
  static void onAfterPaint(GdkFrameClock* clock, Stage* self) {
    if (!self->holding_ || !self->watch_) return;
    const auto unblocked = static_cast<GSignalMatchType>(G_SIGNAL_MATCH_DATA | G_SIGNAL_MATCH_UNBLOCKED);
    while (gulong id = g_signal_handler_find(clock, unblocked, 0, 0, nullptr, nullptr, self->watch_.get())) {
      g_signal_handler_block(clock, id);
      self->held_.push_back(id);
    }
  }
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, Stage* self) {
    if (event == WEBKIT_LOAD_FINISHED) ++self->loadsFinished_;
  }
  static void onAnswer(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::function<void(bool)>> answered(static_cast<std::function<void(bool)>*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    const bool yes = value && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
    if (value) g_object_unref(value);
    if (error) g_error_free(error);
    if (!cancelled) (*answered)(yes);
  }
  static void onFrames(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (value) g_object_unref(value);
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (error) g_error_free(error);
    if (!cancelled) *static_cast<bool*>(data) = true;
  }

  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  std::unique_ptr<kit::detail::FirstPaint> watch_;
  std::string html_;
  int loadsFinished_ = 0;
  GdkFrameClock* clock_ = nullptr;
  bool holding_ = false;
  std::vector<gulong> held_;
};

class FirstPaintTest : public kit::test::BrowserEngineTest {};

TEST_F(FirstPaintTest, ANewPageOfTheSameSizeIsPaintedOnceTheWindowShowsIt) {
  Stage stage;
  EXPECT_FALSE(stage.watch().painted());
  EXPECT_FALSE(stage.watch().picture()) << "no page was shown before the first";
  ASSERT_TRUE(stage.load(colourPage("#2060a0")));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
  EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Blue);
  EXPECT_EQ(stage.paintedCalls, 1);

  // The next page, as large as the one before: painted when the window
  // shows it, not when the wait for a page that shows nothing new ends.
  stage.handOver(colourPage("#a04020"));
  EXPECT_FALSE(stage.watch().painted());
  EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Blue) << "the page before shows until the next one paints";
  ASSERT_TRUE(stage.loadHandedOver());
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30))
      << "a page that differs from the one before only in its pixels never counted as painted";
  EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Brown);
  EXPECT_EQ(stage.paintedCalls, 2);
}

TEST_F(FirstPaintTest, ANewDocumentWhoseFramesTheWindowHasNotGotIsNotPaintedWhileThePageBeforeShows) {
  Stage stage;
  ASSERT_TRUE(stage.load(colourPage("#2060a0")));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));

  // The next document's frames are rendered (the probe answers: here in
  // the page before, which WebKit still shows), yet the window shows the
  // page before: not painted.
  stage.handOver(colourPage("#a04020"));
  stage.watch().awaitFirstPaint();
  ASSERT_TRUE(stage.probeFramesLater());
  ASSERT_TRUE(stage.probeFramesLater());
  EXPECT_FALSE(stage.watch().painted()) << "the page before was taken for the new document";
  EXPECT_EQ(stage.paintedCalls, 1);
  EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Blue);
}

TEST_F(FirstPaintTest, APageThatAnimatesOnIsNotTakenForTheNextDocumentsFirstPaint) {
  Stage stage;
  // The window gets the last frames of the page before and the first of
  // the next document in a race of their own: round after round, the next
  // document counts as painted only once the window shows it.
  for (int round = 0; round < 8; ++round) {
    ASSERT_TRUE(stage.load(kFlickeringPage)) << round;
    ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30)) << round;
    ASSERT_TRUE(stage.damagedAgain(2)) << "the page does not animate";
    const int painted = stage.paintedCalls;

    // The next document is handed over; until it loads, the page before
    // goes on drawing new frames into the window.
    stage.handOver(colourPage("#2060a0"));
    const Shade before = shadeOf(stage.watch().picture());
    EXPECT_TRUE(before == Shade::Red || before == Shade::Green) << round;
    ASSERT_TRUE(stage.damagedAgain(round == 0 ? 6 : round % 3)) << round;
    EXPECT_FALSE(stage.watch().painted()) << "a frame of the page before was taken for the new document's";
    EXPECT_EQ(stage.paintedCalls, painted) << round;
    EXPECT_EQ(shadeOf(stage.watch().picture()), before) << "the picture kept is the one of the hand-over";

    // Loaded, the new document paints: the window shows it then.
    ASSERT_TRUE(stage.loadHandedOver()) << round;
    ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30)) << round;
    EXPECT_EQ(stage.paintedCalls, painted + 1) << round;
    EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Blue) << "painted in round " << round
                                                             << " while the window showed the page before";
  }
}

TEST_F(FirstPaintTest, TheLateFrameProbeOfAnOlderDocumentDoesNotCountForTheNewOne) {
  Stage stage;
  // The page loads and its first paint is awaited; the next document is
  // handed over before the probe of the first has answered.
  ASSERT_TRUE(stage.load(kFlickeringPage));
  stage.handOver(colourPage("#2060a0"));
  // The first page's probe answers meanwhile (a probe asked later has),
  // and the page goes on drawing new frames into the window.
  ASSERT_TRUE(stage.probeFramesLater());
  ASSERT_TRUE(stage.damagedAgain(6)) << "the page does not animate";
  EXPECT_FALSE(stage.watch().painted()) << "the older document's probe counted for the new one";
  EXPECT_EQ(stage.paintedCalls, 0);

  ASSERT_TRUE(stage.loadHandedOver());
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
  EXPECT_EQ(stage.paintedCalls, 1);
  EXPECT_TRUE(kit::test::runUntil([&] { return shadeOf(stage.watch().picture()) == Shade::Blue; }));
}

// The page before animates on while the watch waits for the window to
// paint its first frames; a new document handed over meanwhile, and never
// loaded, is not painted by whatever the page before draws next.
TEST_F(FirstPaintTest, ADocumentHandedOverWhileTheWindowsPaintIsAwaitedIsNotPaintedByThePageBefore) {
  Stage stage;
  ASSERT_TRUE(stage.frameClock()) << "the offscreen window has no frame clock";
  stage.holdWindowPaints();
  ASSERT_TRUE(stage.load(kFlickeringPage));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watchHandlersOnTheClock() > 0; }))
      << "the page's frames were never shown";
  stage.handOver(colourPage("#2060a0"));
  stage.releaseWindowPaints();
  ASSERT_TRUE(stage.damagedAgain(6)) << "the page does not animate";
  EXPECT_FALSE(stage.watch().painted()) << "the page before counted as the new document's first paint";
  EXPECT_EQ(stage.paintedCalls, 0);

  ASSERT_TRUE(stage.loadHandedOver());
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
  EXPECT_EQ(stage.paintedCalls, 1);
  EXPECT_TRUE(kit::test::runUntil([&] { return shadeOf(stage.watch().picture()) == Shade::Blue; }));
}

// The document's frames were rendered, and the window shows new pictures
// of it, yet it has not painted since: not painted until it has.
TEST_F(FirstPaintTest, ANewDocumentIsNotPaintedBeforeTheWindowHasPaintedItsFrames) {
  Stage stage;
  ASSERT_TRUE(stage.frameClock()) << "the offscreen window has no frame clock";
  ASSERT_TRUE(stage.load(colourPage("#a04020")));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));

  stage.holdWindowPaints();
  ASSERT_TRUE(stage.load(kFlickeringPage));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watchHandlersOnTheClock() > 0; }))
      << "the page's frames were never shown";
  ASSERT_TRUE(stage.damagedAgain(4)) << "the page does not animate";
  EXPECT_FALSE(stage.watch().painted()) << "painted before the window painted the document's frames";
  EXPECT_EQ(stage.paintedCalls, 1);

  stage.releaseWindowPaints();
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
  EXPECT_EQ(stage.paintedCalls, 2);
  const Shade shown = shadeOf(stage.watch().picture());
  EXPECT_TRUE(shown == Shade::Red || shown == Shade::Green);
}

// A document whose first paint is awaited twice (its frames probed twice
// before the window painted) waits for the window's paint once, and the
// watch, painted and gone, leaves nothing behind.
TEST_F(FirstPaintTest, ADocumentAwaitedTwiceWaitsForTheWindowsPaintOnce) {
  Stage stage;
  ASSERT_TRUE(stage.frameClock()) << "the offscreen window has no frame clock";
  stage.holdWindowPaints();
  ASSERT_TRUE(stage.load(colourPage("#2060a0")));
  stage.watch().awaitFirstPaint();
  // Both probes have answered once a probe asked after them has.
  ASSERT_TRUE(stage.probeFramesLater());
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watchHandlersOnTheClock() > 0; }));
  EXPECT_EQ(stage.watchHandlersOnTheClock(), 1);
  EXPECT_FALSE(stage.watch().painted());

  stage.releaseWindowPaints();
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
  EXPECT_EQ(stage.paintedCalls, 1);
  EXPECT_EQ(stage.dropWatch(), 0) << "handlers of the watch were left on the frame clock";
}

// The watch destroyed while it waits for the window's paint takes its
// handler off the frame clock: the window's next paint reaches nothing of
// it.
TEST_F(FirstPaintTest, AWatchGoneWhileItAwaitsTheWindowsPaintLeavesNothingOnTheFrameClock) {
  Stage stage;
  ASSERT_TRUE(stage.frameClock()) << "the offscreen window has no frame clock";
  stage.holdWindowPaints();
  ASSERT_TRUE(stage.load(colourPage("#2060a0")));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watchHandlersOnTheClock() > 0; }))
      << "the page's frames were never shown";
  EXPECT_EQ(stage.dropWatch(), 0) << "the watch's handler was left on the frame clock";
  stage.releaseWindowPaints();
  EXPECT_TRUE(stage.probeFramesLater());
}

// The watch looks at the window only once the page has rendered as many
// animation frames after its load as the watch's probe asks for: of two
// frame counts of the test's own, started right after the watch's probe,
// the one of a frame fewer ends before the watch has heard its probe, the
// one of as many frames after. The counts are the test's own script, not
// the watch's. The shorter count starts between the same two frames of the
// page as the watch's probe: a mark set before the probe has seen no frame
// when the count starts, or the round is played again on a new stage.
TEST_F(FirstPaintTest, TheWatchLooksAtTheWindowOnlyAfterItsProbesFrames) {
  constexpr int kProbe = kit::detail::FirstPaint::ProbeFrames;
  // A frame count of the test's world; answers whether no frame had come
  // since the mark when it started.
  auto count = [](int frames) {
    return "var unmoved = window.frameSinceMark === false; var left = " + std::to_string(frames) +
           "; await new Promise(function (done) {"
           " function frame() { if (--left > 0) requestAnimationFrame(frame); else done(); }"
           " requestAnimationFrame(frame); });"
           " return unmoved;";
  };
  const std::string mark =
      "window.frameSinceMark = false; requestAnimationFrame(function () { window.frameSinceMark = true; });"
      " return true;";
  bool measured = false;
  for (int round = 0; round < 10 && !measured; ++round) {
    Stage stage;
    ASSERT_TRUE(stage.frameClock()) << "the offscreen window has no frame clock";
    stage.holdWindowPaints();
    stage.handOver(colourPage("#2060a0"));
    ASSERT_TRUE(stage.loadOnly());
    struct Heard {
      bool answered = false, unmoved = false;
      int watchHandlers = -1;  // the watch's handlers on the frame clock then
    } fewer, asMany;
    auto hear = [&stage](Heard& heard) {
      return [&stage, &heard](bool unmoved) {
        heard.answered = true;
        heard.unmoved = unmoved;
        heard.watchHandlers = stage.watchHandlersOnTheClock();
      };
    };
    stage.runInTestWorld(mark, [](bool) {});
    stage.watch().awaitFirstPaint();
    stage.runInTestWorld(count(kProbe - 1), hear(fewer));
    stage.runInTestWorld(count(kProbe), hear(asMany));
    ASSERT_TRUE(kit::test::runUntil([&] { return fewer.answered && asMany.answered; })) << round;
    if (!fewer.unmoved) continue;  // a frame came between the mark and the shorter count's start
    measured = true;
    EXPECT_EQ(fewer.watchHandlers, 0) << "the watch heard its probe " << kProbe - 1 << " frames after the load";
    EXPECT_EQ(asMany.watchHandlers, 1) << "the watch had not heard its probe " << kProbe << " frames after the load";
    EXPECT_FALSE(stage.watch().painted());
    stage.releaseWindowPaints();
    ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
    EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Blue);
  }
  EXPECT_TRUE(measured) << "every round had a frame between the starts of the probes";
}

// A document that shows nothing new (the very picture of the page before)
// counts as painted once the paint wait after its load is over: not
// before.
TEST_F(FirstPaintTest, ADocumentThatShowsNothingNewIsPaintedWhenThePaintWaitEnds) {
  constexpr double kPaintWait = 3;
  Stage stage(kPaintWait);
  ASSERT_TRUE(stage.load(colourPage("#2060a0")));
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));

  stage.handOver(colourPage("#2060a0"));
  const auto handedOver = std::chrono::steady_clock::now();
  ASSERT_TRUE(stage.loadHandedOver());
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30 + kPaintWait));
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - handedOver;
  // GLib counts the wait from the start of its loop's pass: a little less
  // than the wait may pass, never a tenth of it.
  EXPECT_GE(waited.count(), kPaintWait / 2) << "painted before the paint wait was over";
  EXPECT_EQ(stage.paintedCalls, 2);
  EXPECT_EQ(shadeOf(stage.watch().picture()), Shade::Blue);
}

}  // namespace
