// The first-paint watch of the browser engine on a WebKit view of its own,
// driven as the engine drives it (a document handed over, loaded, its
// first paint awaited) with a paint wait far beyond the tests' time: a
// document counts as painted only when the window shows it. A new page
// of the same size as the one before is painted once the window shows it;
// the page before, the frames of a page that animates on, and the late
// answer of an older document's frame probe never count as the new
// document's paint. Skips itself without a display.

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>

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
  Stage() {
    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", kit::detail::browserWebContext(), nullptr));
    g_object_ref_sink(view_);
    cancellable_ = g_cancellable_new();
    window_ = gtk_offscreen_window_new();
    watch_ = std::make_unique<kit::detail::FirstPaint>(window_, view_, cancellable_, kNoPaintWait,
                                                       [this] { ++paintedCalls; });
    // After the watch's own handler: a damage counted here has been seen
    // by the watch.
    g_signal_connect(window_, "damage-event", G_CALLBACK(onDamage), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    gtk_widget_set_size_request(GTK_WIDGET(view_), 200, 150);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_show_all(window_);
    kit::GLibPump::shared().poke();
  }
  ~Stage() {
    g_cancellable_cancel(cancellable_);
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(window_, this);
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
    const int before = loadsFinished_;
    webkit_web_view_load_html(view_, html_.c_str(), "http://127.0.0.1/page.html");
    kit::GLibPump::shared().poke();
    if (!kit::test::runUntil([&] { return loadsFinished_ > before; })) return false;
    watch_->awaitFirstPaint();
    return true;
  }
  bool load(const std::string& html) {
    handOver(html);
    return loadHandedOver();
  }
  // Waits until the window has been damaged `count` more times.
  bool damagedAgain(int count) {
    const int target = damages + count;
    return kit::test::runUntil([&] { return damages >= target; });
  }
  // Waits until the page has rendered two more animation frames (in a
  // world of its own, as the watch's probe).
  bool twoFramesLater() {
    bool done = false;
    webkit_web_view_call_async_javascript_function(
        view_,
        "await new Promise(function (done) {"
        " requestAnimationFrame(function () { requestAnimationFrame(function () { done(true); }); }); });"
        " return true;",
        -1, nullptr, "first-paint-test", nullptr, cancellable_, onFrames, &done);
    kit::GLibPump::shared().poke();
    return kit::test::runUntil([&] { return done; });
  }

  int paintedCalls = 0;
  int damages = 0;

 private:
  static gboolean onDamage(GtkWidget*, GdkEvent*, Stage* self) {
    ++self->damages;
    return FALSE;
  }
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, Stage* self) {
    if (event == WEBKIT_LOAD_FINISHED) ++self->loadsFinished_;
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
  ASSERT_TRUE(stage.twoFramesLater());
  ASSERT_TRUE(stage.twoFramesLater());
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
  ASSERT_TRUE(stage.twoFramesLater());
  ASSERT_TRUE(stage.damagedAgain(6)) << "the page does not animate";
  EXPECT_FALSE(stage.watch().painted()) << "the older document's probe counted for the new one";
  EXPECT_EQ(stage.paintedCalls, 0);

  ASSERT_TRUE(stage.loadHandedOver());
  ASSERT_TRUE(kit::test::runUntil([&] { return stage.watch().painted(); }, 30));
  EXPECT_EQ(stage.paintedCalls, 1);
  EXPECT_TRUE(kit::test::runUntil([&] { return shadeOf(stage.watch().picture()) == Shade::Blue; }));
}

}  // namespace
