// The browser engine's pictures and pointers: a canvas page's snapshot has
// the drawn colours at the expected pixels (at the screen's scale), the
// window renderer composes the page under the native views above it, a
// touch on the web view reaches the page as a pointer at that point, and a
// web view shows its own background or the page before until a new
// document's first paint, never the engine's empty window. Skips itself
// without a display.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/testing/web_test_support.h"
#include "kit/web/web_view.h"

namespace {

// A black page with a 200 x 200 canvas at (40, 60) in four coloured
// quarters, and a log of the clicks it gets.
const char* kCanvasPage = R"(<!DOCTYPE html><html><head><title>画布</title></head>
<body style="margin:0; background:#000">
<canvas id="c" width="200" height="200" style="position:absolute; left:40px; top:60px"></canvas>
<script>
  var g = document.getElementById('c').getContext('2d');
  g.fillStyle = '#ff0000'; g.fillRect(0, 0, 100, 100);
  g.fillStyle = '#00ff00'; g.fillRect(100, 0, 100, 100);
  g.fillStyle = '#0000ff'; g.fillRect(0, 100, 100, 100);
  g.fillStyle = '#ffff00'; g.fillRect(100, 100, 100, 100);
  var clicks = [];
  document.addEventListener('click', function (e) { clicks.push([e.clientX, e.clientY]); });
  document.addEventListener('pointerdown', function (e) { window.pointerType = e.pointerType; });
</script></body></html>)";

bool near(const kit::Pixel& p, int r, int g, int b) {
  auto close = [](int a, int b) { return a >= b - 8 && a <= b + 8; };
  return close(p.r, r) && close(p.g, g) && close(p.b, b);
}

class BrowserPictureTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    window = kit::Window::make(kit::Rect{0, 0, 375, 667});
    web = kit::WebView::make(kit::Rect{0, 0, 375, 667});
    window->addSubview(web);
    window->makeKeyAndVisible();
    struct Finish : kit::NavigationDelegate {
      bool done = false;
      void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { done = true; }
    };
    auto finish = std::make_shared<Finish>();
    web->setNavigationDelegate(finish);
    web->loadHTMLString(kCanvasPage, kit::URL::URLWithString("http://127.0.0.1/canvas.html"));
    ASSERT_TRUE(kit::test::runUntil([&] { return finish->done; }));
  }
  void TearDown() override {
    if (window) window->setHidden(true);
    web.reset();
    window.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  }
  kit::Ref<kit::Bitmap> snapshot() {
    kit::Ref<kit::Bitmap> picture;
    bool done = false;
    web->pageEngine()->takeSnapshot([&](kit::Ref<kit::Bitmap> p, kit::Ref<kit::Error>) {
      picture = p;
      done = true;
    });
    EXPECT_TRUE(kit::test::runUntil([&] { return done; }));
    return picture;
  }
  std::string evaluate(const std::string& script) { return kit::test::evaluate(*web, script); }

  kit::DeviceProfileScope phone{kit::DeviceProfile::phone375x667()};
  kit::Ref<kit::Window> window;
  kit::Ref<kit::WebView> web;
};

TEST_F(BrowserPictureTest, ACanvasSnapshotHasTheDrawnColoursAtTheScreensScale) {
  kit::Ref<kit::Bitmap> picture = snapshot();
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width(), 750u);
  EXPECT_EQ(picture->height(), 1334u);
  // Page point (x, y) is pixel (2x, 2y).
  EXPECT_TRUE(near(picture->pixelAt(2 * 90, 2 * 110), 255, 0, 0));
  EXPECT_TRUE(near(picture->pixelAt(2 * 190, 2 * 110), 0, 255, 0));
  EXPECT_TRUE(near(picture->pixelAt(2 * 90, 2 * 210), 0, 0, 255));
  EXPECT_TRUE(near(picture->pixelAt(2 * 190, 2 * 210), 255, 255, 0));
  EXPECT_TRUE(near(picture->pixelAt(2 * 20, 2 * 20), 0, 0, 0));
  EXPECT_TRUE(near(picture->pixelAt(2 * 300, 2 * 500), 0, 0, 0));
}

TEST_F(BrowserPictureTest, TheWindowRendererComposesThePageUnderNativeViews) {
  auto overlay = kit::View::make(kit::Rect{100, 400, 100, 100});
  overlay->setBackgroundColor(kit::Color::whiteColor());
  window->addSubview(overlay);
  // The shown picture follows the page's drawing.
  kit::Ref<kit::Bitmap> shown;
  ASSERT_TRUE(kit::test::runUntil([&] {
    shown = kit::render(*window);
    return shown && near(shown->pixelAt(2 * 90, 2 * 110), 255, 0, 0);
  }));
  EXPECT_EQ(shown->width(), 750u);
  EXPECT_TRUE(near(shown->pixelAt(2 * 190, 2 * 210), 255, 255, 0));
  EXPECT_TRUE(near(shown->pixelAt(2 * 150, 2 * 450), 255, 255, 255)) << "the native view is above the page";
  EXPECT_TRUE(near(shown->pixelAt(2 * 300, 2 * 450), 0, 0, 0));
  EXPECT_FALSE(web->scrollView()->subviews().empty());
}

TEST_F(BrowserPictureTest, ATouchOnTheViewReachesThePageAsAPointerAtThatPoint) {
  ASSERT_TRUE(kit::test::tapAt(*window, {123, 234}));
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("clicks.length") == "1"; }));
  EXPECT_EQ(evaluate("clicks[0].join(',')"), "123,234");
  EXPECT_EQ(evaluate("window.pointerType"), "mouse");

  // A view moved within its window gets the point in its own space.
  web->setFrame(kit::Rect{0, 100, 375, 567});
  ASSERT_TRUE(kit::test::tapAt(*window, {50, 150}));
  ASSERT_TRUE(kit::test::runUntil([&] { return evaluate("clicks.length") == "2"; }));
  EXPECT_EQ(evaluate("clicks[1].join(',')"), "50,50");
}

// A page of one colour.
std::string colourPage(const std::string& colour) {
  return "<!DOCTYPE html><html><body style=\"margin:0; background:" + colour + "\"></body></html>";
}

// What the screen shows of a web view at `frame` from a load until the view
// says its new document has painted: each picture at every pass has only
// the colours allowed then (sampled over the view), never the engine's
// empty window; once painted, only the new page's colour. The allowed
// colours are straight RGB.
struct PaintWatch {
  using Colour = std::array<int, 3>;
  PaintWatch(kit::Window& w, kit::Rect f, std::vector<Colour> before, Colour painted)
      : window(w), frame(f), allowed(std::move(before)), page(painted) {}
  kit::Window& window;
  kit::Rect frame;
  std::vector<Colour> allowed;
  Colour page;
  int pictures = 0;
  std::string seen;  // the first colour that was not allowed, and when

  bool only(const kit::Ref<kit::Bitmap>& shown, const std::vector<std::array<int, 3>>& colours, const char* when) {
    for (double y = frame.minY() + 4; y < frame.maxY() - 4; y += 12)
      for (double x = frame.minX() + 4; x < frame.maxX() - 4; x += 12) {
        const kit::Pixel p = shown->pixelAt(static_cast<size_t>(2 * x), static_cast<size_t>(2 * y));
        if (std::any_of(colours.begin(), colours.end(), [&](auto& c) { return near(p, c[0], c[1], c[2]); })) continue;
        char text[96];
        std::snprintf(text, sizeof text, "#%02x%02x%02x at (%.0f, %.0f) %s", p.r, p.g, p.b, x, y, when);
        seen = text;
        return false;
      }
    return true;
  }
  // Watches until `painted` holds; false when a picture showed another
  // colour.
  bool until(const std::function<bool()>& painted) {
    bool clean = true;
    const bool done = kit::test::runUntil([&] {
      const bool now = painted();
      kit::Ref<kit::Bitmap> shown = kit::render(window);
      ++pictures;
      clean = clean && only(shown, now ? std::vector<std::array<int, 3>>{page} : allowed,
                            now ? "once painted" : "before the first paint");
      return !clean || now;
    });
    EXPECT_TRUE(done) << "the view never said its document painted";
    return clean && done;
  }
};

TEST_F(BrowserPictureTest, UntilANewDocumentPaintsTheViewShowsItsBackgroundOrThePageBefore) {
  const std::array<int, 3> white{255, 255, 255}, blue{0x20, 0x60, 0xa0}, brown{0xa0, 0x40, 0x20};
  const kit::Rect frame{0, 0, 375, 667};
  struct Finish : kit::NavigationDelegate {
    int finished = 0;
    void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
  };
  auto finish = std::make_shared<Finish>();
  auto fresh = kit::WebView::make(frame);
  fresh->setNavigationDelegate(finish);
  window->addSubview(fresh);
  EXPECT_FALSE(fresh->documentPainted());

  // A new view: its own background until the page paints.
  PaintWatch first{*window, frame, {white, blue}, blue};
  fresh->loadHTMLString(colourPage("#2060a0"), kit::URL::URLWithString("http://127.0.0.1/blue.html"));
  EXPECT_TRUE(first.until([&] { return finish->finished == 1 && fresh->documentPainted(); })) << first.seen;
  EXPECT_GT(first.pictures, 1);

  // The next page in the same view: the page before until it paints (the
  // address is another site's, which WebKit may load in another process).
  PaintWatch next{*window, frame, {blue, brown}, brown};
  fresh->loadHTMLString(colourPage("#a04020"), kit::URL::URLWithString("http://localhost/brown.html"));
  EXPECT_TRUE(next.until([&] { return finish->finished == 2 && fresh->documentPainted(); })) << next.seen;
  fresh->removeFromSuperview();

  // The older view the same.
  struct LegacyFinish : kit::LegacyWebViewDelegate {
    int finished = 0;
    void webViewDidFinishLoad(kit::LegacyWebView&) override { ++finished; }
  };
  auto legacyFinish = std::make_shared<LegacyFinish>();
  auto legacy = kit::LegacyWebView::make(frame);
  legacy->delegate = legacyFinish;
  window->addSubview(legacy);
  PaintWatch older{*window, frame, {white, brown}, brown};
  legacy->loadHTMLString(colourPage("#a04020"), kit::URL::URLWithString("http://127.0.0.1/brown.html"));
  EXPECT_TRUE(older.until([&] { return legacyFinish->finished == 1 && legacy->documentPainted(); })) << older.seen;
  legacy->removeFromSuperview();
}

}  // namespace
