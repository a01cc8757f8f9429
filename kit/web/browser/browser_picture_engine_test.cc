// The browser engine's pictures and pointers: a canvas page's snapshot has
// the drawn colours at the expected pixels (at the screen's scale), the
// window renderer composes the page under the native views above it, and a
// touch on the web view reaches the page as a pointer at that point. Skips
// itself without a display.

#include <gtest/gtest.h>

#include <string>

#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/render.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
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

}  // namespace
