// JPEG 2000 through image sources and destinations: lossless and lossy
// round trips in the JP2 format and as raw codestreams, partial data, and
// damaged or hostile headers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "kit/graphics/image_codecs.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {
namespace {

using test::decodeFirst;
using test::encodeImages;
using test::maxChannelError;
using test::patternBitmap;

std::vector<uint8_t> codestream(const Bitmap& bitmap, double quality = 1.0) {
  std::vector<uint8_t> out;
  std::string error;
  EncodeOptions options;
  options.quality = quality;
  EXPECT_TRUE(writeJPEG2000(bitmap, options, true, out, error)) << error;
  return out;
}

// The offset of the SIZ marker's Xsiz field.
size_t sizOffset(const std::vector<uint8_t>& file) {
  for (size_t i = 0; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0x51) return i + 6;
  }
  ADD_FAILURE() << "no SIZ marker";
  return 0;
}

void put32(std::vector<uint8_t>& file, size_t at, uint32_t v) {
  for (int b = 0; b < 4; ++b) file[at + b] = static_cast<uint8_t>(v >> (24 - 8 * b));
}

TEST(JPEG2000, LosslessRoundTripsAreIdentical) {
  std::vector<uint8_t> four = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 10, 20, 30, 128};
  auto tiny = Bitmap::create(2, 2, PixelFormat::rgba8(), 0, four);
  for (const auto& original : {tiny, patternBitmap(45, 31, true), patternBitmap(64, 9, false)}) {
    SCOPED_TRACE(std::to_string(original->width()) + "x" + std::to_string(original->height()));
    const auto jp2 = encodeImages({original}, UTType::JPEG2000);
    EXPECT_EQ(detectImageType(jp2.data(), jp2.size()), UTType::JPEG2000);
    auto source = ImageSource::create(jp2);
    ASSERT_EQ(source->count(), 1u) << source->lastError();
    const auto properties = *source->propertiesAtIndex(0);
    EXPECT_EQ(properties.pixelWidth, original->width());
    EXPECT_EQ(properties.hasAlpha, hasAlphaChannel(original->alphaInfo()));
    EXPECT_EQ(properties.depth, 8);
    auto decoded = source->createImageAtIndex(0);
    ASSERT_TRUE(decoded) << source->lastError();
    EXPECT_EQ(maxChannelError(*original, *decoded), 0);
    EXPECT_EQ(decoded->pixelAt(1, 1), original->pixelAt(1, 1));

    // The same picture as a bare codestream.
    const auto j2k = codestream(*original);
    EXPECT_EQ(detectImageType(j2k.data(), j2k.size()), UTType::JPEG2000);
    auto fromCodestream = decodeFirst(j2k);
    ASSERT_TRUE(fromCodestream);
    EXPECT_EQ(maxChannelError(*original, *fromCodestream), 0);
  }

  std::vector<uint8_t> gray = {0, 90, 180, 255, 3, 77};
  auto grayBitmap = Bitmap::create(3, 2, PixelFormat::gray8(), 0, gray);
  auto source = ImageSource::create(encodeImages({grayBitmap}, UTType::JPEG2000));
  EXPECT_EQ(source->propertiesAtIndex(0)->colorModel, ColorSpace::Model::Monochrome);
  auto decoded = source->createImageAtIndex(0);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelAt(1, 0), (Pixel{90, 90, 90, 255}));
  EXPECT_EQ(decoded->pixelAt(2, 1), (Pixel{77, 77, 77, 255}));
}

TEST(JPEG2000, LossyQualityTradesSizeForError) {
  auto original = test::photoBitmap(96, 64);
  EncodeOptions good, poor;
  good.quality = 0.9;
  poor.quality = 0.2;
  const auto lossless = encodeImages({original}, UTType::JPEG2000);
  const auto fine = encodeImages({original}, UTType::JPEG2000, good);
  const auto coarse = encodeImages({original}, UTType::JPEG2000, poor);
  EXPECT_LT(fine.size(), lossless.size());
  EXPECT_LT(coarse.size(), fine.size());
  auto fineDecoded = decodeFirst(fine);
  auto coarseDecoded = decodeFirst(coarse);
  ASSERT_TRUE(fineDecoded && coarseDecoded);
  const int fineError = maxChannelError(*original, *fineDecoded);
  EXPECT_LE(fineError, 12);
  EXPECT_GT(maxChannelError(*original, *coarseDecoded), fineError);
}

TEST(JPEG2000, PartialDataAndHostileHeaders) {
  auto original = patternBitmap(64, 64, false);
  const auto jp2 = encodeImages({original}, UTType::JPEG2000);

  // A download cut short decodes to a full-size picture of what arrived;
  // the same bytes given as the whole file are an error.
  const std::span<const uint8_t> half(jp2.data(), jp2.size() / 2);
  auto incremental = ImageSource::createIncremental();
  incremental->updateData(half, false);
  EXPECT_EQ(incremental->status(), ImageSourceStatus::Incomplete);
  auto partial = incremental->createImageAtIndex(0);
  ASSERT_TRUE(partial) << incremental->lastError();
  EXPECT_EQ(partial->width(), 64u);
  incremental->updateData(jp2, true);
  auto whole = incremental->createImageAtIndex(0);
  ASSERT_TRUE(whole);
  EXPECT_EQ(maxChannelError(*original, *whole), 0);

  // A prefix whose tile-part claims four gigabytes still decodes what it
  // holds (openjpeg would allocate the claimed length).
  std::vector<uint8_t> claiming(half.begin(), half.end());
  for (size_t i = sizOffset(claiming); i + 10 < claiming.size(); ++i) {
    if (claiming[i] == 0xFF && claiming[i + 1] == 0x90) {
      put32(claiming, i + 6, 0xF9000065);
      break;
    }
  }
  auto lyingPrefix = ImageSource::createIncremental();
  lyingPrefix->updateData(claiming, false);
  auto fromLying = lyingPrefix->createImageAtIndex(0);
  ASSERT_TRUE(fromLying) << lyingPrefix->lastError();
  EXPECT_EQ(fromLying->height(), 64u);

  auto truncated = ImageSource::create(half);
  ASSERT_EQ(truncated->count(), 1u);
  EXPECT_FALSE(truncated->createImageAtIndex(0));
  EXPECT_NE(truncated->lastError().find("JPEG 2000"), std::string::npos) << truncated->lastError();

  // Image size far beyond the limits, in both formats.
  for (auto file : {jp2, codestream(*original)}) {
    const size_t siz = sizOffset(file);
    put32(file, siz, 200000);
    put32(file, siz + 4, 200000);
    auto forged = ImageSource::create(file);
    EXPECT_EQ(forged->count(), 0u);
    EXPECT_EQ(forged->status(), ImageSourceStatus::InvalidData);
    EXPECT_NE(forged->lastError().find("limits"), std::string::npos) << forged->lastError();
  }

  // A small image cut into a tile per pixel: openjpeg would set up every
  // tile while reading the header.
  auto tiled = codestream(*original);
  const size_t siz = sizOffset(tiled);
  put32(tiled, siz, 4000);
  put32(tiled, siz + 4, 4000);
  put32(tiled, siz + 16, 1);
  put32(tiled, siz + 20, 1);
  auto tiles = ImageSource::create(tiled);
  EXPECT_EQ(tiles->count(), 0u);
  EXPECT_NE(tiles->lastError().find("tiles"), std::string::npos) << tiles->lastError();

  // Every prefix of both formats and a spray of damaged bytes: decode or fail.
  for (const auto& file : {jp2, codestream(*patternBitmap(20, 20, true), 0.5)}) {
    for (size_t n = 1; n < file.size(); n += 23) {
      auto source = ImageSource::create(std::span(file.data(), n));
      for (size_t i = 0; i < source->count(); ++i) source->createImageAtIndex(i);
    }
    for (size_t at = 0; at < file.size(); at += 19) {
      auto damaged = file;
      damaged[at] ^= 0xA5;
      auto source = ImageSource::create(damaged);
      for (size_t i = 0; i < source->count(); ++i) {
        if (!source->createImageAtIndex(i)) {
          EXPECT_FALSE(source->lastError().empty());
        }
      }
    }
  }
}

// A raw codestream whose main header holds a marker openjpeg does not know
// (it skips such a marker by searching for the next known one, not by its
// length) and then tile-parts claiming about four gigabytes. Both readers,
// under the limits the fuzz target uses, fail cleanly or decode the 8x4
// picture without allocating the claimed lengths.
TEST(JPEG2000, TilePartLengthsBeyondTheDataAreNotAllocated) {
  std::ifstream in(KIT_FUZZ_CORPUS_DIR "/image_jpeg2000/j2k-unknown-marker-long-tile-part", std::ios::binary);
  ASSERT_TRUE(in);
  auto bytes = makeBytes(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  ASSERT_EQ(bytes->size(), 516u);
  DecodeLimits limits;
  limits.maxPixels = size_t{1} << 20;
  limits.maxMemory = size_t{1} << 26;
  for (bool complete : {true, false}) {
    SCOPED_TRACE(complete ? "complete" : "partial");
    std::string error;
    auto reader = openJPEG2000Reader(bytes, complete, limits, error);
    if (!reader) {
      EXPECT_NE(error.find("JPEG 2000"), std::string::npos) << error;
      continue;
    }
    auto bitmap = reader->decode(0, error);
    if (bitmap) {
      EXPECT_EQ(bitmap->width(), 8u);
      EXPECT_EQ(bitmap->height(), 4u);
    } else {
      EXPECT_NE(error.find("JPEG 2000"), std::string::npos) << error;
      EXPECT_EQ(error.find("memory"), std::string::npos) << error;
    }
  }
}

}  // namespace
}  // namespace kit
