// Tests of the animated images: KTImage from files, data and archives,
// frame lists and sprite sheets.
#include "ui/images/kt_image.h"

#include <gtest/gtest.h>

#include <fstream>

#include "kit/foundation/bundle.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/testing/temp_directory.h"
#include "ui/images/kt_frame_image.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_sprite_sheet_image.h"
#include "ui/images/testing/apng_test_support.h"
#include "ui/images/testing/gif_test_support.h"

namespace {

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::vector<uint8_t> pngOf(const kit::Ref<kit::Bitmap>& bitmap) {
  return kit::test::encodeImages({bitmap}, KTImageTypeToUTType(KTImageTypePNG));
}

kit::Pixel centre(const kit::Ref<kit::Image>& image) {
  const auto& b = image->bitmap();
  return b->pixelAt(b->width() / 2, b->height() / 2);
}

TEST(KTImageTest, ScaleFromFileName) {
  EXPECT_EQ(KTImageScaleFromPath("icon@2x.png"), 2);
  EXPECT_EQ(KTImageScaleFromPath("icon@1.5x.png"), 1.5);
  EXPECT_EQ(KTImageScaleFromPath("icon.png"), 1);
  EXPECT_EQ(KTImageScaleFromPath("ab@2x.png"), 1);  // "@" at index 2
  EXPECT_EQ(KTImageScaleFromPath("dir/"), 1);
  EXPECT_EQ(KTImageScaleFromPath(""), 1);
}

TEST(KTImageTest, NamedImagesPreferTheScreenScaleSuffixes) {
  kit::test::TempDirectory dir;
  writeBytes(dir.file("a.png"), pngOf(giftest::solid(2, 2, {255, 0, 0, 255})));
  writeBytes(dir.file("a@3x.jpg"),
             kit::test::encodeImages({giftest::solid(6, 6, {0, 0, 255, 255})}, KTImageTypeToUTType(KTImageTypeJPEG)));
  writeBytes(dir.file("b.gif"), giftest::gifBytes({0.1, 0.1}));
  writeBytes(dir.file("b.png"), pngOf(giftest::solid(2, 2, {255, 0, 0, 255})));
  kit::Bundle::setMainBundlePath(dir.path());
  ASSERT_EQ(kit::mainScreenScale(), 2);

  auto a = KTImage::imageNamed("a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->scale(), 3);  // @2x under every extension, then @3x, before the bare name
  EXPECT_EQ(a->animatedImageType(), KTImageTypeJPEG);
  auto b = KTImage::imageNamed("b.gif");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->animatedImageType(), KTImageTypeGIF);
  EXPECT_EQ(b->animatedImageFrameCount(), 2u);
  EXPECT_FALSE(KTImage::imageNamed(""));
  EXPECT_FALSE(KTImage::imageNamed("x/"));
  EXPECT_FALSE(KTImage::imageNamed("missing"));
  kit::Bundle::setMainBundlePath("");
}

TEST(KTImageTest, FrameDurationsFrameCountsAndMemory) {
  auto gif = KTImage::imageWithData(giftest::data(giftest::gifBytes({0.01, 0.5, 0.2}, 3, 8, 6)), 2);
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->animatedImageFrameCount(), 3u);
  EXPECT_EQ(gif->animatedImageLoopCount(), 3u);
  EXPECT_DOUBLE_EQ(gif->animatedImageDurationAtIndex(0), 0.1);  // played at the usual minimum
  EXPECT_NEAR(gif->animatedImageDurationAtIndex(1), 0.5, 1e-9);
  EXPECT_DOUBLE_EQ(gif->animatedImageDurationAtIndex(9), 0.1);
  EXPECT_EQ(gif->scale(), 2);
  EXPECT_TRUE(KT_isDecodedForDisplay(*gif));
  const auto& first = gif->bitmap();
  EXPECT_EQ(gif->animatedImageBytesPerFrame(), first->bytesPerRow() * first->height());
  EXPECT_EQ(gif->animatedImageMemorySize(), 3 * gif->animatedImageBytesPerFrame());
  EXPECT_TRUE(kit::test::near(centre(gif->animatedImageFrameAtIndex(2)), {0, 0, 255, 255}, 2));
  EXPECT_FALSE(gif->animatedImageFrameAtIndex(3));
  ASSERT_TRUE(gif->animatedImageData());
  EXPECT_EQ(gif->animatedImageData()->length(), giftest::gifBytes({0.01, 0.5, 0.2}, 3, 8, 6).size());

  apngtest::Frame f0{giftest::solid(4, 4, {255, 0, 0, 255})};
  apngtest::Frame f1{giftest::solid(4, 4, {0, 255, 0, 255})};
  f0.delayNumerator = 11;
  f0.delayDenominator = 1000;
  auto apng = KTImage::imageWithData(kit::Data::make(apngtest::animatedPNG(4, 4, {f0, f1})), 1);
  ASSERT_TRUE(apng);
  EXPECT_EQ(apng->animatedImageType(), KTImageTypePNG);
  EXPECT_NEAR(apng->animatedImageDurationAtIndex(0), 0.011, 1e-9);
  EXPECT_TRUE(kit::test::near(centre(apng->animatedImageFrameAtIndex(1)), {0, 255, 0, 255}, 1));

  auto still = KTImage::imageWithData(kit::Data::make(pngOf(giftest::solid(3, 3, {9, 9, 9, 255}))), 0);
  ASSERT_TRUE(still);
  EXPECT_EQ(still->scale(), kit::mainScreenScale());  // 0 takes the screen's
  EXPECT_EQ(still->animatedImageFrameCount(), 0u);
  EXPECT_EQ(still->animatedImageBytesPerFrame(), 0u);
  EXPECT_FALSE(still->animatedImageData());
  EXPECT_TRUE(KT_isDecodedForDisplay(*still));

  EXPECT_FALSE(KTImage::imageWithData(kit::Data::make(), 1));
  EXPECT_FALSE(KTImage::imageWithData(kit::Data::make(std::string_view("not an image at all, really")), 1));
}

TEST(KTImageTest, ArchivesKeepFramesAndScale) {
  auto gif = KTImage::imageWithData(giftest::data(giftest::gifBytes({0.1, 0.2, 0.3})), 3);
  ASSERT_TRUE(gif);
  auto archive = kit::KeyedArchiver::archivedDataWithRootObject(gif);
  kit::Ref<kit::Error> error;
  auto back = kit::KeyedUnarchiver::unarchivedObjectOfClass<KTImage>(archive, &error);
  ASSERT_TRUE(back) << (error ? error->localizedDescription() : std::string());
  EXPECT_EQ(back->animatedImageFrameCount(), 3u);
  EXPECT_EQ(back->scale(), 3);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(kit::test::near(centre(back->animatedImageFrameAtIndex(i)), giftest::palette()[i], 2)) << i;
  }

  auto still = KTImage::imageWithData(kit::Data::make(pngOf(giftest::solid(3, 3, {200, 10, 10, 255}))), 2);
  auto stillBack =
      kit::KeyedUnarchiver::unarchivedObjectOfClass<KTImage>(kit::KeyedArchiver::archivedDataWithRootObject(still), &error);
  ASSERT_TRUE(stillBack);
  EXPECT_EQ(stillBack->scale(), 2);
  EXPECT_EQ(stillBack->animatedImageFrameCount(), 0u);
  EXPECT_TRUE(kit::test::near(centre(stillBack), {200, 10, 10, 255}, 1));
}

TEST(KTImageTest, PreloadingBuildsAndDropsFrames) {
  auto gif = KTImage::imageWithData(giftest::data(giftest::gifBytes({0.1, 0.1, 0.1})), 1);
  ASSERT_TRUE(gif);
  auto lazy = gif->animatedImageFrameAtIndex(1);
  EXPECT_NE(gif->animatedImageFrameAtIndex(1), lazy);  // decoded again on each request
  gif->setPreloadAllAnimatedImageFrames(true);
  auto kept = gif->animatedImageFrameAtIndex(1);
  EXPECT_EQ(gif->animatedImageFrameAtIndex(1), kept);
  gif->setPreloadAllAnimatedImageFrames(true);  // same value: the list stays
  EXPECT_EQ(gif->animatedImageFrameAtIndex(1), kept);
  gif->setPreloadAllAnimatedImageFrames(false);
  EXPECT_NE(gif->animatedImageFrameAtIndex(1), kept);
}

TEST(KTFrameImageTest, PlaysFilesAndBlobs) {
  kit::test::TempDirectory dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 3; ++i) {
    paths.push_back(dir.file("f" + std::to_string(i) + "@2x.png"));
    writeBytes(paths.back(), pngOf(giftest::solid(4, 4, giftest::palette()[i])));
  }
  EXPECT_FALSE(KTFrameImage::withImagePaths(paths, std::vector<double>{0.1, 0.2}, 0));
  EXPECT_FALSE(KTFrameImage::withImagePaths({}, std::vector<double>{}, 0));
  auto image = KTFrameImage::withImagePaths(paths, 0.25, 4);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 2);
  EXPECT_EQ(image->animatedImageFrameCount(), 3u);
  EXPECT_EQ(image->animatedImageLoopCount(), 4u);
  EXPECT_EQ(image->animatedImageBytesPerFrame(), image->bitmap()->bytesPerRow() * 4);
  EXPECT_TRUE(kit::test::near(centre(image->animatedImageFrameAtIndex(2)), giftest::palette()[2], 0));
  EXPECT_FALSE(image->animatedImageFrameAtIndex(3));
  EXPECT_EQ(image->animatedImageDurationAtIndex(1), 0.25);
  EXPECT_EQ(image->animatedImageDurationAtIndex(3), 0);

  auto blobs = KTFrameImage::withImageDataArray(
      {kit::Data::make(pngOf(giftest::solid(2, 2, {1, 2, 3, 255}))), kit::Data::make(pngOf(giftest::solid(2, 2, {7, 8, 9, 255})))},
      std::vector<double>{0.1, 0.3}, 0);
  ASSERT_TRUE(blobs);
  EXPECT_EQ(blobs->scale(), kit::mainScreenScale());
  EXPECT_TRUE(kit::test::near(centre(blobs->animatedImageFrameAtIndex(1)), {7, 8, 9, 255}, 0));
}

TEST(KTSpriteSheetImageTest, ContentsRectangles) {
  auto sheet = kit::Image::withBitmap(giftest::solid(200, 100, {0, 0, 0, 255}), 2);
  EXPECT_FALSE(KTSpriteSheetImage::make(sheet, {{0, 0, 50, 50}}, {}, 0));
  EXPECT_FALSE(KTSpriteSheetImage::make(sheet, {{0, 0, 50, 50}}, {0.1, 0.2}, 0));
  auto sprites = KTSpriteSheetImage::make(sheet, {{0, 0, 50, 50}, {50, 0, 50, 50}}, {0.1, 0.2}, 1);
  ASSERT_TRUE(sprites);
  const kit::Rect r = sprites->contentsRectForCALayerAtIndex(1);
  EXPECT_DOUBLE_EQ(r.origin.x, 0.5);
  EXPECT_DOUBLE_EQ(r.origin.y, 0);
  EXPECT_DOUBLE_EQ(r.size.width, 0.5);
  EXPECT_DOUBLE_EQ(r.size.height, 1);
  const kit::Rect unit = sprites->contentsRectForCALayerAtIndex(5);
  EXPECT_EQ(unit.size.width, 1);
  EXPECT_EQ(unit.size.height, 1);
  EXPECT_EQ(sprites->animatedImageBytesPerFrame(), 0u);
  EXPECT_EQ(sprites->animatedImageFrameAtIndex(1).get(), sprites.get());
  EXPECT_EQ(sprites->animatedImageDurationAtIndex(2), 0);
  EXPECT_TRUE(KT_isDecodedForDisplay(*sprites));
}

}  // namespace
