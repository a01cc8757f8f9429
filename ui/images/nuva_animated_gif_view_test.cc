// The animated GIF view on the virtual clock: frames in order for their
// delays while in a window, the tick rate from the delays, loop counting,
// pausing with visibility, waiting for a frame that is not decoded, still
// images, drawing, and that nothing keeps the view alive.
#include "ui/images/nuva_animated_gif_view.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/render.h"
#include "kit/ui/window.h"
#include "ui/images/testing/gif_test_support.h"

namespace {

using giftest::frameNumber;

class GIFViewTest : public kit::test::VirtualClockTest {
 protected:
  static kit::Ref<NUVAAnimatedGIF> gif(const std::vector<double>& delays, int loopCount = 0) {
    return NUVAAnimatedGIF::animatedImageWithGIFData(giftest::data(giftest::gifBytes(delays, loopCount)));
  }

  // Puts the view in the window; ticks are counted from here.
  void show() {
    window->addSubview(view);
    shownAt = clock().now();
  }
  // Runs the clock to just after the n-th tick since show() (ticks of
  // `interval` seconds).
  void tickTo(int n, double interval = 0.1) { clock().advanceTo(shownAt + n * interval + 1e-6); }
  // The frame on screen after each of the next ticks.
  std::vector<int> framesAtTicks(int from, int to, double interval = 0.1) {
    std::vector<int> shown;
    for (int n = from; n <= to; ++n) {
      tickTo(n, interval);
      shown.push_back(frameNumber(view->image()));
    }
    return shown;
  }

  kit::Ref<kit::Window> window = kit::Window::make(kit::Rect{0, 0, 40, 40});
  kit::Ref<NUVAAnimatedGIFView> view = NUVAAnimatedGIFView::make(kit::Rect{0, 0, 20, 20});
  double shownAt = 0;
};

TEST_F(GIFViewTest, PlaysFramesInOrderForTheirDelaysOnlyWhileInAWindow) {
  view->setAnimatedImage(gif({0.1, 0.2, 0.3}));
  EXPECT_EQ(frameNumber(view->image()), 0) << "the poster shows at once";
  advance(1.0);
  EXPECT_FALSE(view->isAnimating());
  EXPECT_FALSE(view->displayLink()) << "no ticker before the view is on screen";

  show();
  EXPECT_TRUE(view->isAnimating());
  ASSERT_TRUE(view->displayLink());
  EXPECT_EQ(view->displayLink()->frameInterval(), 6);
  // One tick every 0.1 s; each frame stays delay / 0.1 ticks, and the
  // playhead wraps after the last one.
  EXPECT_EQ(framesAtTicks(1, 8), (std::vector<int>{0, 1, 1, 2, 2, 2, 0, 1}));

  view->removeFromSuperview();
  EXPECT_FALSE(view->isAnimating());
  const size_t index = view->currentFrameIndex();
  tickTo(30);
  EXPECT_EQ(view->currentFrameIndex(), index);
  EXPECT_EQ(frameNumber(view->image()), 1);
}

TEST_F(GIFViewTest, TickRateIsTheGreatestCommonDivisorOfTheDelays) {
  view->setAnimatedImage(gif({0.1, 0.1, 0.2}));
  show();
  EXPECT_EQ(view->displayLink()->frameInterval(), 6);
  EXPECT_EQ(framesAtTicks(1, 8), (std::vector<int>{0, 1, 2, 2, 0, 1, 2, 2})) << "the third frame stays two ticks";

  auto halves = NUVAAnimatedGIFView::make(kit::Rect{0, 0, 10, 10});
  halves->setAnimatedImage(gif({0.1, 0.05}));
  window->addSubview(halves);
  EXPECT_EQ(halves->displayLink()->frameInterval(), 3);
}

TEST_F(GIFViewTest, MissingFirstDelayAndTooShortDelayPlayForATenthOfASecond) {
  // Frame 0 without a delay, frame 1 asking for 0.01 s, frame 2 0.05 s.
  auto bytes = giftest::withoutDelay(giftest::gifBytes({0.5, 0.01, 0.05}), 0);
  view->setAnimatedImage(NUVAAnimatedGIF::animatedImageWithGIFData(giftest::data(bytes)));
  show();
  EXPECT_EQ(view->displayLink()->frameInterval(), 3);
  EXPECT_EQ(framesAtTicks(1, 7, 0.05), (std::vector<int>{0, 0, 1, 1, 2, 0, 0}));
}

TEST_F(GIFViewTest, LoopCountOfTwoStopsOnTheLastFrameOfTheSecondPass) {
  std::vector<std::pair<size_t, double>> passes;
  view->setLoopCompletionBlock([&](size_t remaining) { passes.emplace_back(remaining, elapsed()); });
  view->setAnimatedImage(gif({0.1, 0.1, 0.1}, 2));
  EXPECT_EQ(view->loopCountdown(), 2u);
  show();
  const double start = elapsed();
  tickTo(20);
  ASSERT_EQ(passes.size(), 2u);
  EXPECT_EQ(passes[0].first, 1u);
  EXPECT_NEAR(passes[0].second - start, 0.3, 1e-5);
  EXPECT_EQ(passes[1].first, 0u);
  EXPECT_NEAR(passes[1].second - start, 0.6, 1e-5);
  EXPECT_FALSE(view->isAnimating());
  EXPECT_EQ(view->currentFrameIndex(), 3u) << "the playhead is not wrapped after the last pass";
  EXPECT_EQ(frameNumber(view->image()), 2);

  // Showing it again does not replay or report another pass.
  view->setHidden(true);
  view->setHidden(false);
  tickTo(30);
  EXPECT_EQ(passes.size(), 2u);
  EXPECT_FALSE(view->isAnimating());
  EXPECT_EQ(frameNumber(view->image()), 2);

  // Set anew, it plays from the poster with the full count.
  auto again = view->animatedImage();
  view->setAnimatedImage(nullptr);
  view->setAnimatedImage(again);
  EXPECT_EQ(view->currentFrameIndex(), 0u);
  EXPECT_EQ(view->loopCountdown(), 2u);
  EXPECT_EQ(frameNumber(view->image()), 0);
  EXPECT_TRUE(view->isAnimating());
}

TEST_F(GIFViewTest, HiddenOrTransparentViewPausesAndResumesOnTheSameFrame) {
  view->setAnimatedImage(gif({0.1, 0.1, 0.1, 0.1}));
  show();
  tickTo(2);
  EXPECT_EQ(frameNumber(view->image()), 1);
  EXPECT_EQ(view->currentFrameIndex(), 2u);

  view->setHidden(true);
  EXPECT_FALSE(view->isAnimating());
  tickTo(12);
  EXPECT_EQ(view->currentFrameIndex(), 2u);
  EXPECT_EQ(frameNumber(view->image()), 1);
  view->setHidden(false);
  EXPECT_TRUE(view->isAnimating());
  tickTo(13);
  EXPECT_EQ(frameNumber(view->image()), 2);

  view->setAlpha(0.0);
  EXPECT_FALSE(view->isAnimating());
  tickTo(20);
  EXPECT_EQ(frameNumber(view->image()), 2);
  EXPECT_EQ(view->currentFrameIndex(), 3u);
  view->setAlpha(0.5);
  EXPECT_TRUE(view->isAnimating()) << "partly transparent still plays";
  tickTo(21);
  EXPECT_EQ(frameNumber(view->image()), 3);

  // A view without an animated image never starts a ticker.
  auto plain = NUVAAnimatedGIFView::make();
  window->addSubview(plain);
  EXPECT_FALSE(plain->isAnimating());
  EXPECT_FALSE(plain->displayLink());
}

TEST_F(GIFViewTest, FrameNotYetDecodedHoldsThePlayheadWithoutLosingTime) {
  auto image = gif({0.1, 0.2, 0.1});
  image->setFrameCacheSizeMax(1);  // each frame is decoded only when the playhead asks for it
  view->setAnimatedImage(image);
  giftest::LogRecorder logs(NUVALogLevel::Debug);
  show();
  tickTo(1);
  EXPECT_EQ(view->currentFrameIndex(), 1u);
  tickTo(2);  // frame 1 is asked for, and only decoded now
  EXPECT_EQ(view->currentFrameIndex(), 1u);
  EXPECT_EQ(frameNumber(view->image()), 0);
  EXPECT_TRUE(logs.contains("Waiting for frame 1 for animated image", NUVALogLevel::Debug));
  // Once there it stays its full 0.2 s.
  EXPECT_EQ(framesAtTicks(3, 8), (std::vector<int>{1, 1, 1, 2, 0, 0}));
  EXPECT_LE(image->cachedFrameIndexes().size(), 2u);
}

TEST_F(GIFViewTest, StillImageReplacesTheAnimatedImageAndStopsTheTicker) {
  view->setAnimatedImage(gif({0.1, 0.1}));
  show();
  tickTo(1);
  ASSERT_TRUE(view->isAnimating());
  auto link = view->displayLink();

  view->setImage(nullptr);
  EXPECT_TRUE(view->animatedImage()) << "nil leaves the animated image";

  auto still = kit::Image::withBitmap(giftest::solid(4, 4, giftest::palette()[5]));
  view->setImage(still);
  EXPECT_FALSE(view->animatedImage());
  EXPECT_TRUE(link->isPaused());
  EXPECT_FALSE(view->isAnimating());
  EXPECT_EQ(view->image(), still);
  EXPECT_EQ(view->displayedImage(), still);
  EXPECT_EQ(view->intrinsicContentSize(), (kit::Size{4, 4}));
  tickTo(10);
  EXPECT_EQ(view->image(), still);

  // Back to a GIF: the still image goes, highlighting is ignored.
  view->setHighlighted(true);
  EXPECT_TRUE(view->isHighlighted());
  auto second = gif({0.1, 0.1});
  view->setAnimatedImage(second);
  EXPECT_FALSE(view->kit::ImageView::image());
  EXPECT_FALSE(view->isHighlighted());
  view->setHighlighted(true);
  EXPECT_FALSE(view->isHighlighted());
  EXPECT_EQ(frameNumber(view->image()), 0);
  // The same image again changes nothing.
  tickTo(11);
  const size_t index = view->currentFrameIndex();
  view->setAnimatedImage(second);
  EXPECT_EQ(view->currentFrameIndex(), index);
}

TEST_F(GIFViewTest, DrawsTheCurrentFrame) {
  view->setAnimatedImage(gif({0.1, 0.1}));
  show();
  EXPECT_EQ(kit::render(*window)->pixelAt(10, 10), giftest::palette()[0]);
  tickTo(2);
  EXPECT_EQ(kit::render(*window)->pixelAt(10, 10), giftest::palette()[1]);
  EXPECT_EQ(view->intrinsicContentSize(), (kit::Size{4, 4}));
}

TEST_F(GIFViewTest, RunLoopModeIsDefaultOrCommon) {
  EXPECT_EQ(view->runLoopMode(), NUVAAnimatedGIFView::defaultRunLoopMode());
  view->setRunLoopMode(kit::TrackingRunLoopMode);
  EXPECT_EQ(view->runLoopMode(), NUVAAnimatedGIFView::defaultRunLoopMode());
  view->setRunLoopMode(kit::DefaultRunLoopMode);
  EXPECT_EQ(view->runLoopMode(), kit::DefaultRunLoopMode);
  view->setRunLoopMode(kit::CommonRunLoopModes);
  EXPECT_EQ(view->runLoopMode(), kit::CommonRunLoopModes);
}

TEST_F(GIFViewTest, NothingKeepsAViewThatLeftTheScreen) {
  kit::Weak<NUVAAnimatedGIFView> weakView = view;
  kit::Weak<NUVAAnimatedGIF> weakGIF;
  kit::Ref<kit::DisplayLink> link;
  {
    auto image = gif({0.1, 0.1, 0.1});
    weakGIF = image;
    view->setAnimatedImage(image);
    show();
    tickTo(3);
    link = view->displayLink();
  }
  view->removeFromSuperview();
  view.reset();
  EXPECT_TRUE(weakView.expired()) << "the ticker does not hold the view";
  EXPECT_TRUE(weakGIF.expired());
  EXPECT_FALSE(link->isValid()) << "the view's destruction ends its ticker";
  tickTo(10);
}

}  // namespace
