// Tests of the image effects: pixels of blurs, saturation, crops, insets,
// corners, rotation, tint and content-mode drawing, and the small GIF.
#include "ui/images/kt_image_effects.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kit/graphics/image_context.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/testing/log_capture.h"
#include "ui/images/testing/gif_test_support.h"

namespace {

kit::Ref<kit::Image> solidImage(size_t w, size_t h, kit::Pixel colour, double scale = 1) {
  return kit::Image::withBitmap(giftest::solid(w, h, colour), scale);
}

// A picture white on its left half and black on its right half.
kit::Ref<kit::Image> stepEdge(size_t w, size_t h) {
  std::vector<uint8_t> px(w * h * 4, 255);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = w / 2; x < w; ++x) px[(y * w + x) * 4] = px[(y * w + x) * 4 + 1] = px[(y * w + x) * 4 + 2] = 0;
  return kit::Image::withBitmap(kit::Bitmap::create(w, h, kit::PixelFormat::rgba8(), 0, std::move(px)), 1);
}

TEST(KTImageEffects, GrayscaleUsesLuminanceWeights) {
  const std::pair<kit::Pixel, int> cases[] = {{{255, 0, 0, 255}, 54}, {{0, 255, 0, 255}, 182}, {{0, 0, 255, 255}, 18}};
  for (const auto& [colour, grey] : cases) {
    auto gray = KT_imageByGrayscale(solidImage(4, 4, colour));
    ASSERT_TRUE(gray);
    const kit::Pixel p = gray->bitmap()->pixelAt(1, 1);
    EXPECT_NEAR(p.r, grey, 1);
    EXPECT_NEAR(p.g, grey, 1);
    EXPECT_NEAR(p.b, grey, 1);
    EXPECT_EQ(p.a, 255);
  }
  auto image = solidImage(4, 4, {1, 2, 3, 255}, 2);
  auto same = KT_imageByBlurRadius(image, 0, nullptr, 0, 1, nullptr);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->bitmap(), image->bitmap());
  EXPECT_EQ(same->scale(), 1);

  kit::test::LogCapture logs;
  EXPECT_FALSE(KT_imageByGrayscale(solidImage(1, 20, {0, 0, 0, 255}, 2)));  // 0.5 x 10 points
  ASSERT_EQ(logs.count(), 1u);
  EXPECT_EQ(logs.messages()[0].rfind("UIImage+KTAdd error: invalid size: (0.50 x 10.00).", 0), 0u);
}

TEST(KTImageEffects, BlurRunsBoxPassesOfTheRadius) {
  auto edge = stepEdge(200, 8);
  auto blurred = KT_imageByBlurRadius(edge, 20, nullptr, 0, 1, nullptr);
  ASSERT_TRUE(blurred);
  const auto& b = *blurred->bitmap();
  // Three 19-wide passes spread the edge over at most 3 * 18 = 54 columns,
  // symmetric about the edge between columns 99 and 100.
  size_t first = 200, last = 0;
  for (size_t x = 0; x < 200; ++x) {
    const int v = b.pixelAt(x, 4).r;
    if (v != 0 && v != 255) {
      first = std::min(first, x);
      last = std::max(last, x);
    }
  }
  ASSERT_LT(first, last);
  EXPECT_LE(last - first + 1, 54u);
  EXPECT_GE(last - first + 1, 40u);
  EXPECT_EQ(99 - first, last - 100);
  for (size_t d = 0; d < 27; ++d) EXPECT_NEAR(b.pixelAt(99 - d, 4).r + b.pixelAt(100 + d, 4).r, 255, 1) << d;

  auto light = KT_imageByBlurRadius(edge, 0.3, nullptr, 0, 1, nullptr);
  ASSERT_TRUE(light);
  const auto& l = *light->bitmap();
  EXPECT_EQ(l.pixelAt(97, 3).r, 255);
  EXPECT_EQ(l.pixelAt(98, 3).r, 255);
  EXPECT_EQ(l.pixelAt(99, 3).r, 170);
  EXPECT_EQ(l.pixelAt(100, 3).r, 85);
  EXPECT_EQ(l.pixelAt(101, 3).r, 0);
}

TEST(KTImageEffects, TintAndPresetsKeepTheSize) {
  auto image = solidImage(8, 6, {200, 100, 50, 255}, 2);
  auto tinted = KT_imageByBlurRadius(image, 2, kit::Color::rgba(0, 0, 1, 1), 0, 1, nullptr);
  ASSERT_TRUE(tinted);
  EXPECT_EQ(tinted->scale(), 2);
  EXPECT_EQ(tinted->size().width, 4);
  EXPECT_TRUE(kit::test::near(tinted->bitmap()->pixelAt(3, 3), {0, 0, 255, 255}, 1));
  for (auto preset : {KT_imageByBlurSoft, KT_imageByBlurLight, KT_imageByBlurExtraLight, KT_imageByBlurDark}) {
    auto out = preset(image);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size().width, 4);
    EXPECT_EQ(out->size().height, 3);
  }
  auto dark = KT_imageByBlurWithTint(image, kit::Color::rgba(0, 0, 0, 1));
  ASSERT_TRUE(dark);
  // 60 % black over the (inverted-saturation) picture: dark but not black.
  const kit::Pixel p = dark->bitmap()->pixelAt(4, 3);
  EXPECT_GT(p.r + p.g + p.b, 0);
  EXPECT_LT(p.r, 120);
}

TEST(KTImageEffects, CropInsetAndCorners) {
  std::vector<uint8_t> px(80 * 80 * 4);
  for (size_t i = 0; i < 80 * 80; ++i) {
    px[i * 4] = static_cast<uint8_t>(i % 80);
    px[i * 4 + 1] = static_cast<uint8_t>(i / 80);
    px[i * 4 + 3] = 255;
  }
  auto image = kit::Image::withBitmap(kit::Bitmap::create(80, 80, kit::PixelFormat::rgba8(), 0, std::move(px)), 2,
                                      kit::ImageOrientation::Down);
  auto crop = KT_imageByCropToRect(image, {10, 10, 20, 20});
  ASSERT_TRUE(crop);
  EXPECT_EQ(crop->bitmap()->width(), 40u);
  EXPECT_EQ(crop->scale(), 2);
  EXPECT_EQ(crop->orientation(), kit::ImageOrientation::Down);
  EXPECT_EQ(crop->bitmap()->pixelAt(0, 0).r, 20);
  EXPECT_EQ(crop->bitmap()->pixelAt(0, 0).g, 20);
  EXPECT_EQ(crop->bitmap()->pixelAt(39, 39).r, 59);
  EXPECT_FALSE(KT_imageByCropToRect(image, {10, 10, 0, 20}));

  auto red = solidImage(20, 20, {255, 0, 0, 255}, 1);
  auto framed = KT_imageByInsetEdge(red, {-5, -5, -5, -5}, kit::Color::rgba(0, 0, 1, 1));
  ASSERT_TRUE(framed);
  EXPECT_EQ(framed->size().width, 30);
  const auto& f = *framed->bitmap();
  const double s = framed->scale();
  EXPECT_TRUE(kit::test::near(f.pixelAt(size_t(2 * s), size_t(2 * s)), {0, 0, 255, 255}, 1));
  EXPECT_TRUE(kit::test::near(f.pixelAt(size_t(15 * s), size_t(15 * s)), {255, 0, 0, 255}, 1));
  EXPECT_TRUE(kit::test::near(f.pixelAt(size_t(28 * s), size_t(15 * s)), {0, 0, 255, 255}, 1));
  EXPECT_FALSE(KT_imageByInsetEdge(red, {11, 0, 11, 0}, nullptr));

  auto hidden = KT_imageByRoundCornerRadius(red, 4, 10, kit::Color::rgba(0, 1, 0, 1));
  ASSERT_TRUE(hidden);
  EXPECT_EQ(hidden->size().width, 20);
  for (size_t y = 0; y < hidden->bitmap()->height(); y += 3)
    for (size_t x = 0; x < hidden->bitmap()->width(); x += 3) ASSERT_EQ(hidden->bitmap()->pixelAt(x, y).a, 0);
  auto rounded = KT_imageByRoundCornerRadius(red, 8);
  ASSERT_TRUE(rounded);
  const double rs = rounded->scale();
  EXPECT_EQ(rounded->bitmap()->pixelAt(0, 0).a, 0);  // the corner is cut
  EXPECT_TRUE(kit::test::near(rounded->bitmap()->pixelAt(size_t(10 * rs), size_t(10 * rs)), {255, 0, 0, 255}, 1));
}

TEST(KTImageEffects, DrawingRotationTintAndColours) {
  auto wide = solidImage(100, 50, {255, 0, 0, 255}, 1);
  auto fit = KT_imageByResizeToSize(wide, {50, 50}, KTContentModeScaleAspectFit);
  ASSERT_TRUE(fit);
  const auto& b = *fit->bitmap();
  // 50x25 centred: rows 12.5 to 37.5 points are red, the rest clear.
  EXPECT_EQ(b.pixelAt(25, 5).a, 0);
  EXPECT_TRUE(kit::test::near(b.pixelAt(25, 14), {255, 0, 0, 255}, 1));
  EXPECT_TRUE(kit::test::near(b.pixelAt(25, 36), {255, 0, 0, 255}, 1));
  EXPECT_EQ(b.pixelAt(25, 45).a, 0);

  std::vector<uint8_t> two{255, 0, 0, 255, 0, 0, 255, 255};
  auto pair = kit::Image::withBitmap(kit::Bitmap::create(2, 1, kit::PixelFormat::rgba8(), 0, std::move(two)), 3);
  auto left = KT_imageByRotateLeft90(pair);
  ASSERT_TRUE(left);
  EXPECT_EQ(left->bitmap()->width(), 1u);
  EXPECT_EQ(left->bitmap()->height(), 2u);
  EXPECT_EQ(left->scale(), 3);
  // A quarter turn to the left puts the right-hand (blue) pixel on top.
  EXPECT_TRUE(kit::test::near(left->bitmap()->pixelAt(0, 0), {0, 0, 255, 255}, 1));
  auto flipped = KT_imageByFlipHorizontal(pair);
  ASSERT_TRUE(flipped);
  EXPECT_TRUE(kit::test::near(flipped->bitmap()->pixelAt(0, 0), {0, 0, 255, 255}, 0));

  std::vector<uint8_t> half{255, 0, 0, 255, 0, 0, 0, 0};
  auto shape = kit::Image::withBitmap(kit::Bitmap::create(2, 1, kit::PixelFormat::rgba8(), 0, std::move(half)), 1);
  auto tinted = KT_imageByTintColor(shape, kit::Color::rgba(0, 1, 0, 1));
  ASSERT_TRUE(tinted);
  const double ts = tinted->scale();
  EXPECT_TRUE(kit::test::near(tinted->bitmap()->pixelAt(0, 0), {0, 255, 0, 255}, 1));
  EXPECT_EQ(tinted->bitmap()->pixelAt(size_t(1 * ts), 0).a, 0);

  EXPECT_FALSE(KT_imageWithColor(nullptr, {2, 2}));
  EXPECT_FALSE(KT_imageWithColor(kit::Color::rgba(1, 0, 0, 1), {0, 2}));
  auto dot = KT_imageWithColor(kit::Color::rgba(1, 0, 0, 1));
  ASSERT_TRUE(dot);
  EXPECT_EQ(dot->scale(), kit::mainScreenScale());
  EXPECT_TRUE(KT_hasAlphaChannel(*dot));
  EXPECT_FALSE(KT_hasAlphaChannel(*kit::Image::withBitmap(giftest::solid(1, 1, {0, 0, 0, 255})->converted(
      kit::PixelFormat::xrgb32()))));
}

TEST(KTImageEffects, ARotationByNoNumberGivesNoImage) {
  auto image = solidImage(4, 2, {9, 8, 7, 255});
  for (double angle : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    EXPECT_FALSE(KT_imageByRotate(image, angle, true)) << angle;
    EXPECT_FALSE(KT_imageByRotate(image, angle, false)) << angle;
  }
  auto turned = KT_imageByRotate(image, 1e300, false);  // finite: turned, same size
  ASSERT_TRUE(turned);
  EXPECT_EQ(turned->bitmap()->width(), 4u);
}

TEST(KTImageEffects, SmallGIFRepeatsFramesForTheirDelays) {
  auto gif = KT_imageWithSmallGIFData(giftest::data(giftest::gifBytes({0.02, 0.04, 0.06})), 2);
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->images().size(), 6u);
  EXPECT_NEAR(gif->duration(), 0.12, 1e-9);
  EXPECT_EQ(gif->images()[0]->scale(), 2);
  EXPECT_EQ(gif->images()[1], gif->images()[2]);
  EXPECT_EQ(gif->images()[3], gif->images()[5]);
  EXPECT_TRUE(kit::test::near(gif->images()[5]->bitmap()->pixelAt(1, 1), giftest::palette()[2], 1));

  auto undelayed = KT_imageWithSmallGIFData(giftest::data(giftest::withoutDelay(giftest::gifBytes({0.1, 0.1}), 1)), 1);
  ASSERT_TRUE(undelayed);
  EXPECT_NEAR(undelayed->duration(), 0.2, 1e-9);

  auto still = KT_imageWithSmallGIFData(giftest::data(giftest::gifBytes({0.5})), 1);
  ASSERT_TRUE(still);
  EXPECT_TRUE(still->images().empty());
  EXPECT_FALSE(KT_imageWithSmallGIFData(kit::Data::make(std::string_view("GIF89a broken")), 1));
}

}  // namespace
