// The desktop window draws a web view's new page by itself: once the page's
// first paint is known, the window's own next frame (drawn on a display-link
// tick, no render forced by the test) shows the new page, for both web
// views, even when the window got the page's pixels before the page's
// first paint was known (its frames slow to report). Skips itself without
// a display.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "kit/desktop/desktop_window.h"
#include "kit/desktop/testing/private_display.h"
#include "kit/desktop/testing/window_waits.h"
#include "kit/testing/run_until.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/window.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/legacy_web_view.h"
#include "kit/web/web_view.h"

namespace {

// A page of one colour.
std::string colourPage(const std::string& colour) {
  return "<!DOCTYPE html><html><body style=\"margin:0; background:" + colour + "\"></body></html>";
}

// A brown page whose first animation frames each take 150 ms of script:
// the window gets its first picture well before the page has rendered the
// frames after it, which its first paint waits for.
const char* kSlowFramesPage = R"(<!DOCTYPE html><html><body style="margin:0; background:#a04020"><script>
  var frames = 0;
  function slow() {
    var start = performance.now();
    while (performance.now() - start < 150) {}
    if (++frames < 12) requestAnimationFrame(slow);
  }
  requestAnimationFrame(slow);
</script></body></html>)";

bool isBlue(const kit::Pixel& p) { return p.r < 0x40 && p.g > 0x50 && p.g < 0x70 && p.b > 0x90 && p.b < 0xb0; }
bool isBrown(const kit::Pixel& p) { return p.r > 0x90 && p.r < 0xb0 && p.g > 0x30 && p.g < 0x50 && p.b < 0x30; }

// One point is one pixel here, so that the window fits the virtual screen.
kit::DeviceProfile flatPhone() {
  kit::DeviceProfile profile = kit::DeviceProfile::phone375x667();
  profile.scale = 1;
  return profile;
}

class DesktopWindowPaintTest : public kit::test::BrowserEngineTest {
 protected:
  void SetUp() override {
    kit::test::usePrivateDisplay();
    kit::test::BrowserEngineTest::SetUp();
    if (IsSkipped()) return;
    window = kit::Window::make(kit::Rect{0, 0, 375, 667});
    window->setBackgroundColor(kit::Color::whiteColor());
    window->makeKeyAndVisible();
    desktop = kit::DesktopWindow::open("paint test");
    ASSERT_TRUE(desktop);
  }
  void TearDown() override {
    desktop.reset();
    if (window) window->setHidden(true);
    window.reset();
    EXPECT_TRUE(kit::test::drain(kit::Queue::main()));
  }
  // Runs until the desktop window has drawn a frame whose pixel at the
  // page point (100, 300) satisfies `test`.
  bool shows(const std::function<bool(const kit::Pixel&)>& test) {
    return kit::test::runUntil(
        [&] {
          auto frame = desktop->lastFrame();
          return frame && test(frame->pixelAt(100, 300));
        },
        30);
  }
  // Lets the display link tick until a few ticks in a row draw no frame.
  bool settle() {
    for (int round = 0; round < 50; ++round) {
      const long drawn = desktop->framesDrawn();
      kit::test::runFrames(5);
      if (desktop->framesDrawn() == drawn) return true;
    }
    return false;
  }

  kit::DeviceProfileScope phone{flatPhone()};
  kit::Ref<kit::Window> window;
  std::unique_ptr<kit::DesktopWindow> desktop;
};

TEST_F(DesktopWindowPaintTest, TheWindowsNextFrameShowsAWebViewsNewPageOnceItHasPainted) {
  struct Finish : kit::NavigationDelegate {
    int finished = 0;
    void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { ++finished; }
  };
  auto finish = std::make_shared<Finish>();
  auto web = kit::WebView::make(kit::Rect{0, 0, 375, 667});
  web->setNavigationDelegate(finish);
  window->addSubview(web);
  web->loadHTMLString(colourPage("#2060a0"), kit::URL::URLWithString("http://127.0.0.1/blue.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return finish->finished == 1 && web->documentPainted(); }, 30));
  ASSERT_TRUE(shows(isBlue));
  ASSERT_TRUE(settle());

  web->loadHTMLString(kSlowFramesPage, kit::URL::URLWithString("http://127.0.0.1/brown.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return finish->finished == 2 && web->documentPainted(); }, 30));
  EXPECT_TRUE(shows(isBrown)) << "the window still shows the page before";
  web->removeFromSuperview();
}

TEST_F(DesktopWindowPaintTest, TheWindowsNextFrameShowsAnOlderWebViewsNewPageOnceItHasPainted) {
  struct Finish : kit::LegacyWebViewDelegate {
    int finished = 0;
    void webViewDidFinishLoad(kit::LegacyWebView&) override { ++finished; }
  };
  auto finish = std::make_shared<Finish>();
  auto web = kit::LegacyWebView::make(kit::Rect{0, 0, 375, 667});
  web->delegate = finish;
  window->addSubview(web);
  web->loadHTMLString(colourPage("#2060a0"), kit::URL::URLWithString("http://127.0.0.1/blue.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return finish->finished == 1 && web->documentPainted(); }, 30));
  ASSERT_TRUE(shows(isBlue));
  ASSERT_TRUE(settle());

  web->loadHTMLString(kSlowFramesPage, kit::URL::URLWithString("http://127.0.0.1/brown.html"));
  ASSERT_TRUE(kit::test::runUntil([&] { return finish->finished == 2 && web->documentPainted(); }, 30));
  EXPECT_TRUE(shows(isBrown)) << "the window still shows the page before";
  web->removeFromSuperview();
}

}  // namespace
