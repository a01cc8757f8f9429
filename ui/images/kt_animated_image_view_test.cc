// Tests of the animated image view on the virtual clock: loops, the frame
// buffer and its budget, memory warnings, jumps, auto-play and release.
#include "ui/images/kt_animated_image_view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/memory_statistics.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/window.h"
#include "ui/images/testing/gif_test_support.h"

namespace {

// An animation of solid frames whose red channel is the frame's index; it
// counts decodes and those made on the main thread.
class CountingAnimation : public kit::Image, public KTAnimatedImage {
 public:
  CountingAnimation(size_t frames, size_t loops, double duration, size_t bytesPerFrame)
      : kit::Image(giftest::solid(2, 2, {0, 0, 0, 255}), 1, kit::ImageOrientation::Up),
        frames_(frames), loops_(loops), duration_(duration), bytes_(bytesPerFrame) {}

  size_t animatedImageFrameCount() const override { return frames_; }
  size_t animatedImageLoopCount() const override { return loops_; }
  size_t animatedImageBytesPerFrame() const override { return bytes_; }
  kit::Ref<kit::Image> animatedImageFrameAtIndex(size_t index) const override {
    ++decodes;
    if (kit::RunLoop::isMainThread()) ++mainThreadDecodes;
    return kit::Image::withBitmap(giftest::solid(2, 2, {uint8_t(index), 0, 0, 255}), 1);
  }
  double animatedImageDurationAtIndex(size_t) const override { return duration_; }

  mutable std::atomic<int> decodes{0};
  mutable std::atomic<int> mainThreadDecodes{0};

 private:
  size_t frames_, loops_;
  double duration_;
  size_t bytes_;
};

class AnimatedViewTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    kit::setMemoryStatisticsSource([] { return kit::MemoryStatistics{2'000'000'000, 1'000'000'000}; });
  }
  void TearDown() override {
    kit::setMemoryStatisticsSource(nullptr);
    VirtualClockTest::TearDown();
  }

  static kit::Ref<CountingAnimation> animation(size_t frames, size_t loops = 0, size_t bytesPerFrame = 4'000'000) {
    return kit::make<CountingAnimation>(frames, loops, 0.05, bytesPerFrame);
  }
  // One display frame, then the fetch it queued runs to its end.
  void tick() {
    advance(1.0 / 60);
    if (view->requestQueue()) {
      ASSERT_TRUE(kit::test::runUntil([&] { return view->requestQueue()->operationCount() == 0; }));
    }
  }
  int shownFrame() const { return view->displayedImage()->bitmap()->pixelAt(0, 0).r; }

  kit::Ref<kit::Window> window = kit::Window::make(kit::Rect{0, 0, 40, 40});
  kit::Ref<KTAnimatedImageView> view = KTAnimatedImageView::make(kit::Rect{0, 0, 20, 20});
};

TEST_F(AnimatedViewTest, LoopCountStopsOnTheLastFrame) {
  auto image = animation(3, 2);
  view->setImage(image);
  EXPECT_FALSE(view->isAnimating());  // not in a window yet
  window->addSubview(view);
  ASSERT_TRUE(view->isAnimating());
  std::vector<int> shown;
  for (int i = 0; i < 200 && view->isAnimating(); ++i) {
    tick();
    if (view->currentFrame() != image && (shown.empty() || shown.back() != shownFrame())) shown.push_back(shownFrame());
  }
  EXPECT_EQ(shown, (std::vector<int>{1, 2, 0, 1, 2}));
  EXPECT_FALSE(view->isAnimating());
  EXPECT_TRUE(view->displayLink()->isPaused());
  EXPECT_EQ(view->currentAnimatedImageIndex(), 2u);
  for (int i = 0; i < 20; ++i) tick();
  EXPECT_EQ(shownFrame(), 2);

  auto endless = animation(3, 0);
  view->setImage(endless);
  for (int i = 0; i < 200; ++i) tick();
  EXPECT_TRUE(view->isAnimating());

  auto still = KTImage::imageWithData(giftest::data(giftest::gifBytes({0.1})), 1);
  ASSERT_TRUE(still);
  auto plain = KTAnimatedImageView::withImage(still);
  window->addSubview(plain);
  EXPECT_FALSE(plain->displayLink());
  EXPECT_FALSE(plain->isAnimating());
  EXPECT_EQ(plain->displayedImage(), still);
}

TEST_F(AnimatedViewTest, BufferBudgetFromMemory) {
  EXPECT_EQ(KTAnimatedImageView::bufferCountFor(4'000'000, 0), 100u);  // 20 % of 2 GB
  EXPECT_EQ(KTAnimatedImageView::bufferCountFor(4'000'000, 40'000'000), 10u);
  kit::setMemoryStatisticsSource([] { return kit::MemoryStatistics{1000, 1000}; });
  EXPECT_EQ(KTAnimatedImageView::bufferCountFor(0, 0), 512u);  // 10 MiB of 1 KiB frames, capped
  kit::setMemoryStatisticsSource([] { return kit::MemoryStatistics{2'000'000'000, -1}; });
  EXPECT_EQ(KTAnimatedImageView::bufferCountFor(1024 * 1024, 0), 10u);  // the 10 MiB floor
}

TEST_F(AnimatedViewTest, BufferStaysInItsBudgetAndOffTheMainThread) {
  auto image = animation(100);
  view->setMaxBufferSize(40'000'000);
  view->setImage(image);
  EXPECT_EQ(view->maxBufferCount(), 10u);
  window->addSubview(view);
  size_t most = 0;
  for (int i = 0; i < 600; ++i) {
    tick();
    most = std::max(most, view->bufferedFrameCount());
  }
  EXPECT_LE(most, 11u);
  EXPECT_GT(image->decodes.load(), 50);
  EXPECT_EQ(image->mainThreadDecodes.load(), 0);

  auto small = animation(5);
  view->setMaxBufferSize(0);
  view->setImage(small);
  for (int i = 0; i < 5 * 3 * 3 * 4; ++i) tick();  // four loops
  EXPECT_EQ(view->bufferedFrameCount(), 5u);
  const int decodes = small->decodes;
  for (int i = 0; i < 5 * 3 * 2; ++i) tick();
  EXPECT_EQ(small->decodes.load(), decodes);  // nothing fetched again
  EXPECT_EQ(view->requestQueue()->operationCount(), 0u);
}

TEST_F(AnimatedViewTest, MemoryWarningsAndJumps) {
  KTAnimatedImageView::setMemoryWarningRandomSeed(7);
  auto image = animation(6);
  view->setImage(image);
  window->addSubview(view);
  for (int i = 0; i < 6 * 3 * 5; ++i) tick();
  ASSERT_EQ(view->bufferedFrameCount(), 6u);
  kit::Application::shared()->receiveMemoryWarning();
  ASSERT_TRUE(kit::test::runUntil([&] { return view->bufferedFrameCount() == 1; }));
  EXPECT_EQ(view->bufferedIndexes(), std::vector<size_t>{(view->currentAnimatedImageIndex() + 1) % 6});
  // Playing on refetches one frame at a time and never decodes on the main thread.
  for (int i = 0; i < 30; ++i) tick();
  EXPECT_EQ(image->mainThreadDecodes.load(), 0);

  view->stopAnimating();
  const size_t index = view->currentAnimatedImageIndex();
  view->setCurrentAnimatedImageIndex(6);
  view->setCurrentAnimatedImageIndex(60);
  EXPECT_EQ(view->currentAnimatedImageIndex(), index);
  const size_t target = (index + 3) % 6;
  view->setCurrentAnimatedImageIndex(target);
  EXPECT_EQ(view->currentAnimatedImageIndex(), target);
  EXPECT_EQ(shownFrame(), static_cast<int>(target));
}

TEST_F(AnimatedViewTest, HighlightedAndNormalSequencesStayApart) {
  auto frame = [](uint8_t red) { return kit::Image::withBitmap(giftest::solid(2, 2, {red, 0, 0, 255})); };
  const std::vector<kit::Ref<kit::Image>> normal = {frame(1), frame(2)}, highlighted = {frame(11), frame(12)};
  view->setAnimationImages(normal);
  view->setHighlightedAnimationImages(highlighted);
  view->setAnimationDuration(1.0);
  window->addSubview(view);
  ASSERT_TRUE(view->isAnimating());
  EXPECT_EQ(shownFrame(), 1);
  advance(0.6);
  EXPECT_EQ(shownFrame(), 2);

  view->setHighlighted(true);
  EXPECT_TRUE(view->isAnimating());
  EXPECT_EQ(shownFrame(), 11);
  advance(0.6);
  EXPECT_EQ(shownFrame(), 12);
  EXPECT_EQ(view->animationImages(), normal);
  EXPECT_EQ(view->highlightedAnimationImages(), highlighted);

  // Highlighting ends: the normal sequence plays again.
  view->setHighlighted(false);
  EXPECT_TRUE(view->isAnimating());
  EXPECT_EQ(shownFrame(), 1);
  advance(0.6);
  EXPECT_EQ(shownFrame(), 2);

  // The same without auto-play: a playing sequence follows the state.
  view->setAutoPlayAnimatedImage(false);
  view->setHighlighted(true);
  EXPECT_EQ(shownFrame(), 11);
  view->setHighlighted(false);
  EXPECT_EQ(shownFrame(), 1);
  view->stopAnimating();
  view->setHighlighted(true);
  EXPECT_FALSE(view->isAnimating());
}

TEST_F(AnimatedViewTest, PlayingAManyFrameImageHoldsNoMoreThanItsBuffer) {
  // 100 frames of 256 x 256 from about 2 KB of GIF: 25 MB if every decoded
  // frame were kept, 2.5 MB in the view's budget.
  constexpr size_t kFrameBytes = 256 * 256 * 4;
  const size_t before = kit::Bitmap::liveBytes();
  auto gif = KTImage::imageWithData(giftest::data(giftest::sparseGIF(256, 256, 100)), 1);
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->animatedImageFrameCount(), 100u);
  view->setMaxBufferSize(10 * kFrameBytes);
  view->setImage(gif);
  ASSERT_EQ(view->maxBufferCount(), 10u);
  window->addSubview(view);
  ASSERT_TRUE(view->isAnimating());
  size_t most = 0;
  std::set<size_t> shown;
  for (int i = 0; i < 6 * 130; ++i) {  // a loop and a third
    tick();
    shown.insert(view->currentAnimatedImageIndex());
    most = std::max(most, kit::Bitmap::liveBytes() - before);
  }
  EXPECT_EQ(shown.size(), 100u);
  // The buffer, the image's own first frame, the frame shown and one being
  // decoded (with its copy for display).
  EXPECT_LE(most, 14 * kFrameBytes) << most / kFrameBytes << " frames held";
}

TEST_F(AnimatedViewTest, ArraysAutoPlayReleaseAndArchives) {
  view->setAnimationImages({kit::Image::withBitmap(giftest::solid(2, 2, {1, 0, 0, 255})),
                            kit::Image::withBitmap(giftest::solid(2, 2, {2, 0, 0, 255}))});
  window->addSubview(view);
  EXPECT_TRUE(view->isAnimating());
  EXPECT_TRUE(view->kit::ImageView::isAnimating());  // the image view's own animation
  EXPECT_FALSE(view->displayLink());
  view->removeFromSuperview();
  EXPECT_FALSE(view->isAnimating());

  auto gif = KTImage::imageWithData(giftest::data(giftest::gifBytes({0.1, 0.1, 0.1})), 1);
  auto playing = KTAnimatedImageView::withImage(gif);
  window->addSubview(playing);
  ASSERT_TRUE(playing->isAnimating());
  kit::Weak<KTAnimatedImageView> weak = playing;
  auto link = playing->displayLink();
  playing->removeFromSuperview();
  playing.reset();
  EXPECT_TRUE(weak.expired());
  advance(0.5);  // the next ticks find nothing
  EXPECT_FALSE(link->isValid());

  auto archived = KTAnimatedImageView::withImage(gif);
  archived->setRunloopMode("");
  archived->setAutoPlayAnimatedImage(false);
  auto back = kit::as<KTAnimatedImageView>(
      kit::KeyedUnarchiver::unarchiveObjectWithData(kit::KeyedArchiver::archivedDataWithRootObject(archived)));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->runloopMode(), kit::CommonRunLoopModes);
  EXPECT_FALSE(back->autoPlayAnimatedImage());
  auto restored = kit::as<KTImage>(back->image());
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->animatedImageFrameCount(), 3u);
}

}  // namespace
