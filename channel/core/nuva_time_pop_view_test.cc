// The time-store banner: its parts and where they sit, the application's
// banner GIF playing frame by frame, the close image's tap, and a bundle
// without the artwork.
#include "channel/core/nuva_time_pop_view.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "channel/testing/test_bundle.h"
#include "kit/foundation/bundle.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/pixel_format.h"
#include "kit/graphics/type_identifiers.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace {

kit::Ref<kit::Bitmap> solid(size_t width, size_t height, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> pixels;
  for (size_t i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {r, g, b, 255});
  return kit::Bitmap::create(width, height, kit::PixelFormat::rgba8(), 0, std::move(pixels));
}

// Puts a three-frame banner GIF and a close picture into the test bundle.
void addArtwork(const TestBundle& bundle) {
  std::vector<kit::EncodeFrame> frames;
  const uint8_t shades[3][3] = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}};
  for (const auto& shade : shades) {
    kit::EncodeFrame frame;
    frame.bitmap = solid(60, 15, shade[0], shade[1], shade[2]);
    frame.options.gifDelayTime = 0.2;
    frames.push_back(frame);
  }
  std::vector<uint8_t> gif;
  std::string error;
  ASSERT_TRUE(kit::writeGIF(frames, 0, gif, error)) << error;
  ASSERT_TRUE(bundle.addFile("NUVALight.bundle/timepopbg.gif", gif));
  auto png = kit::ImageDestination::create(kit::UTType::PNG, 1);
  png->addImage(solid(25, 25, 255, 255, 255));
  ASSERT_TRUE(png->finalize());
  ASSERT_TRUE(bundle.addFile("NUVALight.bundle/close.png", png->data()));
}

class TimePopViewTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    kit::test::VirtualClockTest::SetUp();
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    window.reset();
    kit::test::VirtualClockTest::TearDown();
  }

  // The banner at the top left of a 375x667 window.
  kit::Ref<NUVATimePopView> showBanner() {
    auto banner = NUVATimePopView::make();
    banner->setFrame(kit::Rect{0, 0, 300, 75});
    window->addSubview(banner);
    return banner;
  }

  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
  TestBundle bundle;
  kit::Ref<kit::Window> window = kit::Window::make();
};

TEST_F(TimePopViewTest, BuildsItsPartsWhereTheLayoutPutsThem) {
  addArtwork(bundle);
  auto banner = showBanner();
  auto background = banner->popBg();
  EXPECT_EQ(background->superview().get(), banner.get());
  EXPECT_EQ(background->frame(), (kit::Rect{0, 0, 300, 75}));
  EXPECT_EQ(background->contentMode(), kit::ContentMode::ScaleAspectFill);
  EXPECT_TRUE(background->isUserInteractionEnabled());
  ASSERT_TRUE(background->animatedImage());
  EXPECT_EQ(background->animatedImage()->frameCount(), 3u);

  auto label = banner->lastTimeLabel();
  EXPECT_EQ(label->superview().get(), background.get());
  EXPECT_EQ(label->frame(), (kit::Rect{200, 50, 75, 15}));
  EXPECT_EQ(label->text(), "5秒后自动关闭");
  EXPECT_DOUBLE_EQ(label->font()->pointSize(), 10);
  EXPECT_TRUE(label->font()->isBold());
  EXPECT_EQ(label->textAlignment(), kit::TextAlignment::Right);
  const auto& rgb = label->textColor()->components();
  ASSERT_EQ(rgb.size(), 4u);
  EXPECT_NEAR(rgb[0] * 255, 17, 0.01);
  EXPECT_NEAR(rgb[1] * 255, 204, 0.01);
  EXPECT_NEAR(rgb[2] * 255, 177, 0.01);

  auto close = banner->closeImage();
  EXPECT_EQ(close->superview().get(), background.get());
  EXPECT_EQ(close->frame(), (kit::Rect{275, 5, 25, 25}));
  EXPECT_TRUE(close->isUserInteractionEnabled());
  ASSERT_TRUE(close->image());
  EXPECT_EQ(close->image()->size(), (kit::Size{25, 25}));
  // The parts are made once.
  EXPECT_EQ(banner->popBg(), background);
  EXPECT_EQ(banner->closeImage(), close);
}

TEST_F(TimePopViewTest, PlaysTheApplicationsBannerGIFFrameByFrame) {
  kit::Bundle::setMainBundlePath(CHANNEL_RESOURCES_DIR);
  auto banner = showBanner();
  auto background = banner->popBg();
  auto gif = background->animatedImage();
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->frameCount(), 3u);
  EXPECT_EQ(gif->size(), (kit::Size{300, 75}));
  const std::map<size_t, double> delays{{0, 0.6}, {1, 0.3}, {2, 0.3}};
  ASSERT_EQ(gif->delayTimesForIndexes(), delays);
  EXPECT_TRUE(banner->closeImage()->image());
  // Ticks every 0.3 s: the first frame stays two ticks, the others one, and
  // each tick shows the frame the playhead reached on the tick before.
  std::vector<size_t> playhead;
  std::vector<kit::Ref<kit::Image>> shown;
  const double start = clock().now();
  for (int tick = 1; tick <= 5; ++tick) {
    clock().advanceTo(start + tick * 0.3 + 1e-6);
    playhead.push_back(background->currentFrameIndex());
    shown.push_back(background->image());
  }
  EXPECT_EQ(playhead, (std::vector<size_t>{0, 1, 2, 0, 0}));
  EXPECT_EQ(shown[0], gif->posterImage());
  EXPECT_EQ(shown[1], shown[0]);
  EXPECT_NE(shown[2], shown[1]);
  EXPECT_NE(shown[3], shown[2]);
  EXPECT_NE(shown[4], shown[3]);
  banner->removeFromSuperview();
  EXPECT_FALSE(background->isAnimating());
  kit::Bundle::setMainBundlePath(bundle.path());
}

TEST_F(TimePopViewTest, CloseImageTapCallsCloseBlockOncePerTap) {
  addArtwork(bundle);
  auto banner = showBanner();
  // The owner's own recognizer on the whole banner.
  int bannerTaps = 0;
  banner->addGestureRecognizer(kit::TapGestureRecognizer::make([&](kit::GestureRecognizer&) { ++bannerTaps; }));
  ASSERT_TRUE(kit::test::tap(banner->closeImage())) << "no close block yet: nothing happens";
  int closes = 0;
  banner->setCloseBlock([&] { ++closes; });
  ASSERT_TRUE(kit::test::tap(banner->closeImage()));
  EXPECT_EQ(closes, 1);
  ASSERT_TRUE(kit::test::tap(banner->closeImage()));
  EXPECT_EQ(closes, 2);
  EXPECT_EQ(bannerTaps, 0) << "the close image keeps its taps";
  ASSERT_TRUE(kit::test::tapAt(*window, {100, 40}));
  ASSERT_TRUE(kit::test::tap(banner->lastTimeLabel()));
  EXPECT_EQ(closes, 2) << "a tap elsewhere on the banner is the owner's";
  EXPECT_EQ(bannerTaps, 2);
}

TEST_F(TimePopViewTest, MissingArtworkLeavesAnEmptyButTappableBanner) {
  auto banner = showBanner();
  EXPECT_FALSE(banner->popBg()->animatedImage());
  EXPECT_FALSE(banner->popBg()->image());
  EXPECT_FALSE(banner->closeImage()->image());
  EXPECT_EQ(banner->lastTimeLabel()->text(), "5秒后自动关闭");
  int closes = 0;
  banner->setCloseBlock([&] { ++closes; });
  ASSERT_TRUE(kit::test::tapAt(*window, {287, 17}));
  EXPECT_EQ(closes, 1);
}

TEST_F(TimePopViewTest, NothingKeepsARemovedBannerAlive) {
  addArtwork(bundle);
  kit::Weak<NUVATimePopView> weak;
  {
    auto banner = showBanner();
    banner->setCloseBlock([] {});
    weak = banner;
    advance(1.0);
    banner->removeFromSuperview();
  }
  EXPECT_TRUE(weak.expired());
}

}  // namespace
