// The shared bitmap functions and the decoded-for-display operations:
// upright copies for every orientation, decoded copies and their layouts,
// pixel-buffer conversion with straight alpha, and the decoded flag.
#include <gtest/gtest.h>

#include "kit/graphics/testing/image_test_support.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_frame.h"
#include "ui/images/kt_image_utilities.h"

namespace {

using kit::AlphaInfo;
using kit::ImageOrientation;
using kit::Pixel;

const Pixel kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255};

kit::Ref<kit::Bitmap> twoColours() {
  return kit::Bitmap::create(2, 1, kit::PixelFormat::rgba8(), 0, {255, 0, 0, 255, 0, 0, 255, 255});
}

TEST(ImageUtilities, OrientedCopiesAreUpright) {
  const auto image = twoColours();
  const kit::BitmapInfo info = KTStandardBitmapInfo(true);
  // The stored red-blue row as each orientation shows it: the column
  // (top to bottom) or the row (left to right).
  struct Case {
    ImageOrientation orientation;
    size_t width, height;
    Pixel first, second;
  };
  for (const Case& c : {Case{ImageOrientation::Down, 2, 1, kBlue, kRed},
                        Case{ImageOrientation::Left, 1, 2, kBlue, kRed},
                        Case{ImageOrientation::Right, 1, 2, kRed, kBlue},
                        Case{ImageOrientation::UpMirrored, 2, 1, kBlue, kRed},
                        Case{ImageOrientation::DownMirrored, 2, 1, kRed, kBlue},
                        Case{ImageOrientation::LeftMirrored, 1, 2, kRed, kBlue},
                        Case{ImageOrientation::RightMirrored, 1, 2, kBlue, kRed}}) {
    SCOPED_TRACE(static_cast<int>(c.orientation));
    auto upright = KTOrientedImageCopy(image, c.orientation, info);
    ASSERT_TRUE(upright);
    ASSERT_EQ(upright->width(), c.width);
    ASSERT_EQ(upright->height(), c.height);
    EXPECT_EQ(upright->bitmapInfo(), info);
    EXPECT_EQ(upright->pixelAt(0, 0), c.first);
    EXPECT_EQ(c.width == 2 ? upright->pixelAt(1, 0) : upright->pixelAt(0, 1), c.second);
    // As kit itself turns an image of that orientation upright.
    auto kitUpright = kit::Image::withBitmap(image, 1, c.orientation)->uprightBitmap();
    EXPECT_EQ(kit::test::maxChannelError(*upright, *kitUpright), 0);
  }
  EXPECT_EQ(KTOrientedImageCopy(image, ImageOrientation::Up, info), image);
  EXPECT_EQ(KTOrientedImageCopy(image, static_cast<ImageOrientation>(8), info), image);
  EXPECT_EQ(KTOrientedImageCopy(image, static_cast<ImageOrientation>(-1), info), image);
  EXPECT_FALSE(KTOrientedImageCopy(nullptr, ImageOrientation::Down, info));
  // Other layouts on request.
  auto rgba = KTOrientedImageCopy(image, ImageOrientation::Down, kit::makeBitmapInfo(AlphaInfo::PremultipliedLast));
  ASSERT_TRUE(rgba);
  EXPECT_EQ(rgba->alphaInfo(), AlphaInfo::PremultipliedLast);
  EXPECT_EQ(rgba->pixelAt(0, 0), kBlue);
}

TEST(ImageUtilities, TransformedCopyFillsUncoveredPixelsAndRefusesEmptySizes) {
  const auto image = twoColours();
  const kit::BitmapInfo info = KTStandardBitmapInfo(true);
  auto shifted = KTTransformedImageCopy(image, kit::AffineTransform::makeTranslation(1, 0), 3.4, 1, info);
  ASSERT_TRUE(shifted);
  EXPECT_EQ(shifted->width(), 3u);
  EXPECT_EQ(shifted->pixelAt(0, 0).a, 0);
  EXPECT_EQ(shifted->pixelAt(1, 0), kRed);
  EXPECT_EQ(shifted->pixelAt(2, 0), kBlue);
  EXPECT_FALSE(KTTransformedImageCopy(image, {}, 0.4, 1, info));
  EXPECT_FALSE(KTTransformedImageCopy(image, {}, 2, 0, info));
  EXPECT_FALSE(KTTransformedImageCopy(image, {}, 1e12, 1e12, info));
  EXPECT_FALSE(KTTransformedImageCopy(nullptr, {}, 2, 1, info));
  // Straight ARGB in memory order comes back as it is made.
  auto argb = KTTransformedImageCopy(image, {}, 2, 1, kit::makeBitmapInfo(AlphaInfo::First));
  ASSERT_TRUE(argb);
  EXPECT_EQ(argb->alphaInfo(), AlphaInfo::First);
  EXPECT_EQ(argb->data()[0], 255);  // alpha first
  EXPECT_EQ(argb->data()[1], 255);  // then red
}

TEST(ImageUtilities, DecodedCopiesTakeTheStandardLayout) {
  EXPECT_FALSE(KTDecodedImageCopy(nullptr, true));
  EXPECT_FALSE(KTDecodedImageCopy(nullptr, false));
  const auto withAlpha = kit::test::patternBitmap(5, 3, true);
  auto decoded = KTDecodedImageCopy(withAlpha, true);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->bitmapInfo(), kit::makeBitmapInfo(AlphaInfo::PremultipliedFirst, kit::ByteOrder32Little));
  EXPECT_EQ(decoded->colorSpace(), KTDeviceRGBColorSpace());
  EXPECT_LE(kit::test::maxChannelError(*decoded, *withAlpha), 1);
  const auto opaque = kit::test::photoBitmap(5, 3);
  auto decodedOpaque = KTDecodedImageCopy(opaque, true);
  ASSERT_TRUE(decodedOpaque);
  EXPECT_EQ(decodedOpaque->bitmapInfo(), kit::makeBitmapInfo(AlphaInfo::NoneSkipFirst, kit::ByteOrder32Little));
  EXPECT_EQ(kit::test::maxChannelError(*decodedOpaque, *opaque), 0);
  // Without decoding for display: the same layout and bytes, in a copy.
  auto copy = KTDecodedImageCopy(withAlpha, false);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, withAlpha);
  EXPECT_EQ(copy->format(), withAlpha->format());
  EXPECT_TRUE(std::equal(copy->data().begin(), copy->data().end(), withAlpha->data().begin()));
  EXPECT_EQ(KTDeviceRGBColorSpace(), KTDeviceRGBColorSpace());
}

TEST(ImageUtilities, BitmapBufferLayoutsAndStraightAlpha) {
  // Straight colours at alpha 128, held premultiplied (decoded for display).
  std::vector<uint8_t> straight;
  for (int i = 0; i < 16; ++i) straight.insert(straight.end(), {uint8_t(i * 17), uint8_t(255 - i * 13), 77, 128});
  auto source = kit::Bitmap::create(4, 4, kit::PixelFormat::rgba8(), 0, straight);
  auto premultiplied = KTDecodedImageCopy(source, true);
  ASSERT_TRUE(premultiplied);

  struct Case {
    kit::BitmapInfo info;
    int alphaAt, redAt;  // byte positions within a pixel
  };
  for (const Case& c : {Case{kit::makeBitmapInfo(AlphaInfo::Last), 3, 0},
                        Case{kit::makeBitmapInfo(AlphaInfo::Last, kit::ByteOrder32Big), 3, 0},
                        Case{kit::makeBitmapInfo(AlphaInfo::First), 0, 1},
                        Case{kit::makeBitmapInfo(AlphaInfo::First, kit::ByteOrder32Little), 3, 2},
                        Case{kit::makeBitmapInfo(AlphaInfo::Last, kit::ByteOrder32Little), 0, 3}}) {
    SCOPED_TRACE(c.info);
    kit::PixelBuffer buffer;
    ASSERT_TRUE(KTImageToBitmapBuffer(premultiplied, buffer, c.info));
    ASSERT_EQ(buffer.width, 4u);
    ASSERT_EQ(buffer.height, 4u);
    for (size_t i = 0; i < 16; ++i) {
      const uint8_t* p = buffer.row(i / 4) + (i % 4) * 4;
      EXPECT_EQ(p[c.alphaAt], 128);
      EXPECT_NEAR(p[c.redAt], straight[i * 4], 1) << i;
    }
  }
  kit::PixelBuffer buffer;
  EXPECT_FALSE(
      KTImageToBitmapBuffer(premultiplied, buffer, kit::makeBitmapInfo(AlphaInfo::Last, kit::ByteOrder16Little)));
  EXPECT_TRUE(buffer.bytes.empty());
  EXPECT_FALSE(KTImageToBitmapBuffer(premultiplied, buffer, kit::makeBitmapInfo(AlphaInfo::Last, kit::ByteOrder16Big)));
  EXPECT_FALSE(KTImageToBitmapBuffer(premultiplied, buffer, kit::makeBitmapInfo(AlphaInfo::None)));
  EXPECT_FALSE(KTImageToBitmapBuffer(premultiplied, buffer, kit::makeBitmapInfo(AlphaInfo::Only)));
  EXPECT_FALSE(KTImageToBitmapBuffer(nullptr, buffer, kit::makeBitmapInfo(AlphaInfo::Last)));
  EXPECT_TRUE(KTImageToBitmapBuffer(premultiplied, buffer, kit::makeBitmapInfo(AlphaInfo::NoneSkipFirst)));
}

TEST(ImageCoder, DecodedForDisplayFlag) {
  auto image = kit::Image::withBitmap(kit::test::patternBitmap(6, 4, true), 3, ImageOrientation::Left);
  EXPECT_FALSE(KT_isDecodedForDisplay(*image));
  auto decoded = KT_imageByDecoded(image);
  ASSERT_TRUE(decoded);
  EXPECT_NE(decoded, image);
  EXPECT_TRUE(KT_isDecodedForDisplay(*decoded));
  EXPECT_FALSE(KT_isDecodedForDisplay(*image));
  EXPECT_EQ(decoded->scale(), 3);
  EXPECT_EQ(decoded->orientation(), ImageOrientation::Left);
  EXPECT_EQ(decoded->bitmap()->alphaInfo(), AlphaInfo::PremultipliedFirst);
  EXPECT_EQ(KT_imageByDecoded(decoded), decoded);  // already flagged: the same object

  setKT_isDecodedForDisplay(*image, true);
  EXPECT_EQ(KT_imageByDecoded(image), image);
  setKT_isDecodedForDisplay(*image, false);
  EXPECT_FALSE(KT_isDecodedForDisplay(*image));
  EXPECT_FALSE(KT_imageByDecoded(nullptr));

  auto frame = kit::Image::withBitmap(kit::test::patternBitmap(2, 2, false));
  EXPECT_TRUE(KT_isDecodedForDisplay(*kit::Image::animated({frame, frame}, 0.2)));
  EXPECT_FALSE(KT_isDecodedForDisplay(*kit::Image::animated({frame}, 0.2)));

  auto copied = KTImageFrame::frameWithImage(image);
  copied->setIndex(4);
  copied->setDispose(KTImageDisposePrevious);
  auto again = kit::as<KTImageFrame>(copied->copy());
  ASSERT_TRUE(again);
  EXPECT_NE(again, copied);
  EXPECT_EQ(again->index(), 4u);
  EXPECT_EQ(again->dispose(), KTImageDisposePrevious);
  EXPECT_EQ(again->image(), image);
}

}  // namespace
