// Pixel operations: blur, colour matrices, alpha, warps and reflections.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <tuple>
#include <vector>
#include <algorithm>

#include "kit/graphics/pixel_buffer.h"

namespace kit {
namespace {

// 8-bit ARGB as the image effects use it (premultiplied alpha first, 32-bit little-endian).
const PixelFormat kARGB = PixelFormat::argb32();

Ref<Bitmap> solid(size_t w, size_t h, std::function<Pixel(size_t, size_t)> colour) {
  std::vector<uint8_t> px(w * h * 4);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      const Pixel p = colour(x, y);
      uint8_t* q = &px[(y * w + x) * 4];
      q[0] = p.r, q[1] = p.g, q[2] = p.b, q[3] = p.a;
    }
  return Bitmap::create(w, h, PixelFormat::rgba8(), 0, px);
}

// Three passes of a k x k box, alternating buffers, as the blur effect does.
PixelBuffer blur(PixelBuffer a, size_t k) {
  PixelBuffer b;
  EXPECT_EQ(initBuffer(b, a.height, a.width, 32), PixelNoError);
  EXPECT_GT(boxConvolveARGB8888(a, b, k, k, nullptr, PixelEdgeExtend | PixelGetTempBufferSize), 0);
  EXPECT_EQ(boxConvolveARGB8888(a, b, k, k, nullptr, PixelEdgeExtend), PixelNoError);
  EXPECT_EQ(boxConvolveARGB8888(b, a, k, k, nullptr, PixelEdgeExtend), PixelNoError);
  EXPECT_EQ(boxConvolveARGB8888(a, b, k, k, nullptr, PixelEdgeExtend), PixelNoError);
  return b;
}

TEST(PixelBuffer, BlurKeepsSizeAndOpacityAndFlattensACheckerboard) {
  // Radius 10 at scale 1, kernel as the blur effect computes it.
  const double r = 10;
  size_t k = static_cast<size_t>(std::floor((r * 3 * std::sqrt(2 * std::numbers::pi) / 4 + 0.5) / 2)) | 1;
  auto picture = solid(100, 100, [](size_t x, size_t y) { return Pixel{uint8_t(x * 2), uint8_t(y * 2), 90, 255}; });
  PixelBuffer buffer;
  ASSERT_EQ(bufferFromBitmap(buffer, *picture, kARGB), PixelNoError);
  PixelBuffer blurred = blur(std::move(buffer), k);
  auto result = bitmapFromBuffer(std::move(blurred), kARGB);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->width(), 100u);
  EXPECT_EQ(result->height(), 100u);
  for (size_t i = 0; i < 100; i += 9) EXPECT_EQ(result->pixelAt(i, 99 - i).a, 255);
  // A linear ramp stays a ramp in the interior.
  EXPECT_NEAR(result->pixelAt(50, 50).r, 100, 2);

  auto checker = solid(40, 40, [](size_t x, size_t y) {
    const uint8_t v = ((x + y) % 2) ? 255 : 0;
    return Pixel{v, v, v, 255};
  });
  PixelBuffer c;
  ASSERT_EQ(bufferFromBitmap(c, *checker, kARGB), PixelNoError);
  auto grey = bitmapFromBuffer(blur(std::move(c), 3), kARGB);
  int lo = 255, hi = 0;
  for (size_t y = 5; y < 35; ++y)
    for (size_t x = 5; x < 35; ++x) lo = std::min<int>(lo, grey->pixelAt(x, y).r), hi = std::max<int>(hi, grey->pixelAt(x, y).r);
  EXPECT_LE(hi - lo, 1);
  EXPECT_NEAR(lo, 127, 2);

  PixelBuffer small, out;
  initBuffer(small, 4, 4, 32);
  initBuffer(out, 4, 4, 32);
  EXPECT_EQ(boxConvolveARGB8888(small, out, 2, 3, nullptr, PixelEdgeExtend), PixelInvalidKernelSize);
  PixelBuffer other;
  initBuffer(other, 5, 4, 32);
  EXPECT_EQ(boxConvolveARGB8888(small, other, 3, 3, nullptr, PixelEdgeExtend), PixelBufferSizeMismatch);
}

// Every output channel is the rounded mean of its box, counted pixel by
// pixel: edge pixels repeated, or the background outside; kernels wider or
// taller than the picture, and a box large enough to need plain division.
TEST(PixelBuffer, BoxBlurIsTheRoundedMeanOfEachBox) {
  const uint8_t background[4] = {7, 200, 33, 255};
  for (const auto& [w, h, kh, kw, fill] : std::vector<std::tuple<size_t, size_t, size_t, size_t, bool>>{
           {13, 9, 3, 5, false}, {13, 9, 5, 3, true}, {6, 4, 9, 11, false}, {6, 4, 11, 9, true},
           {2, 1, 1025, 1025, false}, {1, 1, 3, 3, false}}) {
    PixelBuffer in, out;
    initBuffer(in, h, w, 32);
    initBuffer(out, h, w, 32);
    uint32_t seed = 12345;
    for (size_t y = 0; y < h; ++y)
      for (size_t i = 0; i < w * 4; ++i) in.row(y)[i] = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    ASSERT_EQ(boxConvolveARGB8888(in, out, kh, kw, fill ? background : nullptr,
                                  fill ? PixelBackgroundColorFill : PixelEdgeExtend),
              PixelNoError);
    const long rx = static_cast<long>(kw / 2), ry = static_cast<long>(kh / 2);
    for (long y = 0; y < static_cast<long>(h); ++y)
      for (long x = 0; x < static_cast<long>(w); ++x)
        for (int c = 0; c < 4; ++c) {
          uint64_t sum = 0;
          for (long dy = -ry; dy <= ry; ++dy)
            for (long dx = -rx; dx <= rx; ++dx) {
              const long sx = x + dx, sy = y + dy;
              const bool outside = sx < 0 || sy < 0 || sx >= static_cast<long>(w) || sy >= static_cast<long>(h);
              if (outside && fill) {
                sum += background[c];
                continue;
              }
              sum += in.row(std::clamp<long>(sy, 0, h - 1))[std::clamp<long>(sx, 0, w - 1) * 4 + c];
            }
          const uint64_t area = kw * kh;
          ASSERT_EQ(out.row(y)[x * 4 + c], (sum + area / 2) / area)
              << w << "x" << h << " kernel " << kh << "x" << kw << " at " << x << "," << y << " channel " << c;
        }
  }
}

TEST(PixelBuffer, ColourMatrixIdentityAndSaturation) {
  auto picture = solid(8, 8, [](size_t x, size_t y) { return Pixel{uint8_t(x * 30), uint8_t(y * 30), 200, 255}; });
  PixelBuffer a, b;
  ASSERT_EQ(bufferFromBitmap(a, *picture, kARGB), PixelNoError);
  initBuffer(b, 8, 8, 32);
  const int16_t identity[16] = {256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256, 0, 0, 0, 0, 256};
  ASSERT_EQ(matrixMultiplyARGB8888(a, b, identity, 256, nullptr, nullptr, 0), PixelNoError);
  for (size_t y = 0; y < 8; ++y) EXPECT_EQ(std::memcmp(a.row(y), b.row(y), 32), 0);

  // Saturation 0 in memory order B, G, R, A: every colour channel becomes
  // the luminance 0.0722 B + 0.7152 G + 0.2126 R.
  const double s = 0;
  const double m[16] = {0.0722 + 0.9278 * s, 0.0722 - 0.0722 * s, 0.0722 - 0.0722 * s, 0,
                        0.7152 - 0.7152 * s, 0.7152 + 0.2848 * s, 0.7152 - 0.7152 * s, 0,
                        0.2126 - 0.2126 * s, 0.2126 - 0.2126 * s, 0.2126 + 0.7873 * s, 0,
                        0,                   0,                   0,                   1};
  int16_t fixed[16];
  for (int i = 0; i < 16; ++i) fixed[i] = static_cast<int16_t>(std::lround(static_cast<float>(m[i] * 256)));
  ASSERT_EQ(matrixMultiplyARGB8888(a, b, fixed, 256, nullptr, nullptr, 0), PixelNoError);
  auto grey = bitmapFromBuffer(std::move(b), kARGB);
  const Pixel p = grey->pixelAt(3, 5);
  EXPECT_EQ(p.r, p.g);
  EXPECT_EQ(p.g, p.b);
  EXPECT_NEAR(p.r, 0.2126 * 90 + 0.7152 * 150 + 0.0722 * 200, 2);
  EXPECT_EQ(matrixMultiplyARGB8888(a, a, identity, 0, nullptr, nullptr, 0), PixelInvalidParameter);
}

TEST(PixelBuffer, AlphaWarpReflectAndConvert) {
  PixelBuffer a, b;
  initBuffer(a, 1, 2, 32);
  initBuffer(b, 1, 2, 32);
  const uint8_t px[8] = {128, 64, 32, 128, 0, 0, 0, 0};  // RGBA premultiplied, half alpha
  std::memcpy(a.row(0), px, 8);
  ASSERT_EQ(unpremultiplyRGBA8888(a, b), PixelNoError);
  EXPECT_EQ(b.row(0)[0], 255);
  EXPECT_EQ(b.row(0)[1], 128);
  EXPECT_EQ(b.row(0)[3], 128);
  ASSERT_EQ(premultiplyRGBA8888(b, a), PixelNoError);
  EXPECT_EQ(a.row(0)[0], 128);

  const uint8_t swap[4] = {3, 2, 1, 0};
  ASSERT_EQ(permuteChannelsARGB8888(a, b, swap), PixelNoError);
  EXPECT_EQ(b.row(0)[0], 128);
  EXPECT_EQ(b.row(0)[3], 128);

  // A 2x1 strip turned a quarter clockwise (y-up: rotate by -pi/2, then
  // move up) becomes a 1x2 column, the left pixel on top.
  auto strip = solid(2, 1, [](size_t x, size_t) { return x == 0 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255}; });
  PixelBuffer s, d;
  bufferFromBitmap(s, *strip, kARGB);
  initBuffer(d, 2, 1, 32);
  const AffineTransform turn = AffineTransform::makeRotation(-std::numbers::pi / 2).concat(AffineTransform::makeTranslation(0, 2));
  ASSERT_EQ(affineWarpARGB8888(s, d, turn, nullptr, PixelBackgroundColorFill), PixelNoError);
  auto column = bitmapFromBuffer(std::move(d), kARGB);
  EXPECT_EQ(column->pixelAt(0, 0), (Pixel{255, 0, 0, 255}));
  EXPECT_EQ(column->pixelAt(0, 1), (Pixel{0, 0, 255, 255}));
  // Uncovered pixels are transparent.
  PixelBuffer wide;
  initBuffer(wide, 1, 4, 32);
  ASSERT_EQ(affineWarpARGB8888(s, wide, AffineTransform(), nullptr, PixelBackgroundColorFill), PixelNoError);
  EXPECT_EQ(bitmapFromBuffer(std::move(wide), kARGB)->pixelAt(3, 0).a, 0);

  PixelBuffer r;
  initBuffer(r, 1, 2, 32);
  ASSERT_EQ(reflectHorizontalARGB8888(s, r), PixelNoError);
  EXPECT_EQ(bitmapFromBuffer(std::move(r), kARGB)->pixelAt(0, 0), (Pixel{0, 0, 255, 255}));

  PixelBuffer rgba;
  initBuffer(rgba, 1, 2, 32);
  ASSERT_EQ(convertBuffer(s, kARGB, rgba, PixelFormat::rgba8()), PixelNoError);
  EXPECT_EQ(rgba.row(0)[0], 255);  // R first in memory now
}

}  // namespace
}  // namespace kit
