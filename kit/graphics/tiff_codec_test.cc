// TIFF through image sources and destinations: round trips, pages written
// by libtiff itself (palette, 16-bit, tiled gray with alpha, orientation),
// and damaged or hostile files.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>

#include "kit/graphics/image.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/graphics/type_identifiers.h"
#include "kit/testing/temp_directory.h"

namespace kit {
namespace {

using test::decodeFirst;
using test::encodeImages;
using test::maxChannelError;
using test::patternBitmap;

// Rewrites a tag of the first directory of a little-endian file as a LONG.
void setTag(std::vector<uint8_t>& tiff, uint16_t tag, uint32_t value) {
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(tiff[at] | (tiff[at + 1] << 8)); };
  const size_t ifd = tiff[4] | (tiff[5] << 8) | (tiff[6] << 16) | (size_t{tiff[7]} << 24);
  ASSERT_LT(ifd + 2, tiff.size());
  for (size_t i = 0; i < u16(ifd); ++i) {
    const size_t entry = ifd + 2 + i * 12;
    if (u16(entry) != tag) continue;
    tiff[entry + 2] = 4, tiff[entry + 3] = 0;                       // LONG
    tiff[entry + 4] = 1, tiff[entry + 5] = tiff[entry + 6] = tiff[entry + 7] = 0;  // one value
    for (int b = 0; b < 4; ++b) tiff[entry + 8 + b] = static_cast<uint8_t>(value >> (8 * b));
    return;
  }
  FAIL() << "tag " << tag << " not found";
}

TEST(TIFF, RoundTripsAreExact) {
  // Opaque colour, then alpha from fully clear to opaque.
  for (bool alpha : {false, true}) {
    SCOPED_TRACE(alpha ? "RGBA" : "RGB");
    auto original = patternBitmap(37, 23, alpha);
    const auto tiff = encodeImages({original}, UTType::TIFF);
    EXPECT_EQ(detectImageType(tiff.data(), tiff.size()), UTType::TIFF);
    auto source = ImageSource::create(tiff);
    ASSERT_EQ(source->count(), 1u) << source->lastError();
    EXPECT_EQ(source->propertiesAtIndex(0)->hasAlpha, alpha);
    EXPECT_EQ(source->propertiesAtIndex(0)->orientation, 0);
    auto decoded = source->createImageAtIndex(0);
    ASSERT_TRUE(decoded) << source->lastError();
    // Alpha is kept exactly; colour as it shows, within the rounding of
    // libtiff's premultiplication.
    EXPECT_LE(maxChannelError(*original, *decoded), alpha ? 1 : 0);
    EXPECT_EQ(decoded->pixelAt(36, 22), original->pixelAt(36, 22));
    EXPECT_EQ(decoded->pixelAt(0, 0).a, alpha ? 0 : 255);
  }

  // Gray stays gray; the orientation is recorded and reported, not applied.
  std::vector<uint8_t> gray = {0, 60, 120, 250, 7, 9};
  auto grayBitmap = Bitmap::create(3, 2, PixelFormat::gray8(), 0, gray);
  EncodeOptions turned;
  turned.orientation = 6;
  const auto grayTIFF = encodeImages({grayBitmap}, UTType::TIFF, turned);
  auto source = ImageSource::create(grayTIFF);
  ASSERT_EQ(source->count(), 1u);
  const auto properties = *source->propertiesAtIndex(0);
  EXPECT_EQ(properties.colorModel, ColorSpace::Model::Monochrome);
  EXPECT_EQ(properties.orientation, 6);
  EXPECT_EQ(properties.pixelWidth, 3u);
  EXPECT_EQ(properties.pixelHeight, 2u);
  EXPECT_DOUBLE_EQ(properties.dpiWidth.value_or(0), 72);
  auto decoded = source->createImageAtIndex(0);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->pixelAt(1, 0), (Pixel{60, 60, 60, 255}));
  EXPECT_EQ(decoded->pixelAt(2, 1), (Pixel{9, 9, 9, 255}));
  // An image made from it is turned for display.
  auto image = Image::withData(grayTIFF);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->orientation(), ImageOrientation::Right);
  EXPECT_EQ(image->size(), Size(2, 3));
}

TEST(TIFF, MultiPageFilesHaveOneFramePerPage) {
  auto small = patternBitmap(5, 4, false), wide = patternBitmap(40, 3, true), tall = patternBitmap(2, 30, false);
  const auto tiff = encodeImages({small, wide, tall}, UTType::TIFF);
  auto source = ImageSource::create(tiff);
  ASSERT_EQ(source->count(), 3u) << source->lastError();
  EXPECT_EQ(source->propertiesAtIndex(1)->pixelWidth, 40u);
  EXPECT_EQ(source->propertiesAtIndex(2)->pixelHeight, 30u);
  EXPECT_FALSE(source->propertiesAtIndex(3));
  // Out of order, and again from the cache.
  for (size_t index : {2u, 0u, 1u, 2u}) {
    auto frame = source->createImageAtIndex(index);
    ASSERT_TRUE(frame) << source->lastError();
    const auto& expected = index == 0 ? small : index == 1 ? wide : tall;
    EXPECT_LE(maxChannelError(*expected, *frame), 1) << "page " << index;
  }
  EXPECT_FALSE(source->createImageAtIndex(3));
  EXPECT_EQ(source->lastError(), "frame index out of range");
}

// A file written by libtiff itself with layouts kit's writer does not use:
// an 8-bit palette page, a 16-bit RGB page with orientation 8, and a tiled
// gray page with unassociated alpha. (The tiles fit the page exactly:
// libtiff 4.5 misplaces gray-with-alpha pixels of tiles that overhang it.)
void writeVariedTIFF(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_TRUE(tif);
  // Page 0: palette, 4x2, indices 0..7.
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 2);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  std::vector<uint16_t> red(256), green(256), blue(256);
  for (int i = 0; i < 8; ++i) red[i] = static_cast<uint16_t>(i * 30 * 257), green[i] = 200 * 257, blue[i] = static_cast<uint16_t>((255 - i) * 257);
  TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  for (uint32_t y = 0; y < 2; ++y) {
    uint8_t row[4] = {static_cast<uint8_t>(y * 4), static_cast<uint8_t>(y * 4 + 1), static_cast<uint8_t>(y * 4 + 2),
                      static_cast<uint8_t>(y * 4 + 3)};
    TIFFWriteScanline(tif, row, y, 0);
  }
  TIFFWriteDirectory(tif);
  // Page 1: 16-bit RGB, 3x3, orientation 8, Deflate.
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 3);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_LEFTBOT);
  for (uint32_t y = 0; y < 3; ++y) {
    uint16_t row[9];
    for (uint32_t x = 0; x < 3; ++x) {
      row[x * 3] = static_cast<uint16_t>((x * 100) * 257);
      row[x * 3 + 1] = static_cast<uint16_t>((y * 100) * 257);
      row[x * 3 + 2] = 77 * 257;
    }
    TIFFWriteScanline(tif, row, y, 0);
  }
  TIFFWriteDirectory(tif);
  // Page 2: gray + alpha, 32x32 in 16x16 tiles.
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 32);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 32);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 2);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
  TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
  for (uint32_t ty = 0; ty < 32; ty += 16) {
    for (uint32_t tx = 0; tx < 32; tx += 16) {
      std::vector<uint8_t> tile(16 * 16 * 2, 0);
      for (uint32_t y = 0; y < 16; ++y) {
        for (uint32_t x = 0; x < 16; ++x) {
          tile[(y * 16 + x) * 2] = static_cast<uint8_t>((tx + x) * 8);
          tile[(y * 16 + x) * 2 + 1] = static_cast<uint8_t>((ty + y) * 8);
        }
      }
      TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
    }
  }
  TIFFWriteDirectory(tif);
  TIFFClose(tif);
}

TEST(TIFF, PagesWrittenByLibtiffDecodeInTheirStoredOrder) {
  test::TempDirectory dir;
  const std::string path = dir.file("varied.tif");
  writeVariedTIFF(path);
  auto source = ImageSource::createWithFile(path);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->type(), UTType::TIFF);
  ASSERT_EQ(source->count(), 3u) << source->lastError();

  auto palette = source->createImageAtIndex(0);
  ASSERT_TRUE(palette) << source->lastError();
  EXPECT_EQ(palette->pixelAt(0, 0), (Pixel{0, 200, 255, 255}));
  EXPECT_EQ(palette->pixelAt(3, 1), (Pixel{210, 200, 248, 255}));

  const auto deep = *source->propertiesAtIndex(1);
  EXPECT_EQ(deep.depth, 16);
  EXPECT_EQ(deep.orientation, 8);
  auto rgb16 = source->createImageAtIndex(1);
  ASSERT_TRUE(rgb16) << source->lastError();
  // Rows as stored: row 0 is the first written, whatever the orientation.
  EXPECT_EQ(rgb16->pixelAt(2, 0), (Pixel{200, 0, 77, 255}));
  EXPECT_EQ(rgb16->pixelAt(0, 2), (Pixel{0, 200, 77, 255}));

  const auto grayAlpha = *source->propertiesAtIndex(2);
  EXPECT_TRUE(grayAlpha.hasAlpha);
  EXPECT_EQ(grayAlpha.colorModel, ColorSpace::Model::Monochrome);
  auto tiled = source->createImageAtIndex(2);
  ASSERT_TRUE(tiled) << source->lastError();
  EXPECT_EQ(tiled->pixelAt(0, 0).a, 0);
  EXPECT_EQ(tiled->pixelAt(31, 31), (Pixel{248, 248, 248, 248}));
  // Straight colour read back through 8-bit premultiplication.
  EXPECT_TRUE(test::near(tiled->pixelAt(17, 5), Pixel{136, 136, 136, 40}, 3));
  EXPECT_TRUE(test::near(tiled->pixelAt(3, 20), Pixel{24, 24, 24, 160}, 1));
}

TEST(TIFF, DamagedAndHostileFilesFailCleanly) {
  const auto tiff = encodeImages({patternBitmap(16, 16, false)}, UTType::TIFF);

  // Dimensions far beyond the limits are refused before anything is allocated.
  auto huge = tiff;
  setTag(huge, TIFFTAG_IMAGEWIDTH, 1000000);
  setTag(huge, TIFFTAG_IMAGELENGTH, 1000000);
  auto forged = ImageSource::create(huge);
  EXPECT_EQ(forged->count(), 0u);
  EXPECT_EQ(forged->status(), ImageSourceStatus::InvalidData);
  EXPECT_NE(forged->lastError().find("limits"), std::string::npos) << forged->lastError();

  // Within the dimension limit but beyond a source's pixel budget.
  ImageSourceOptions tight;
  tight.limits.maxPixels = 100;
  auto limited = ImageSource::create(tiff, tight);
  EXPECT_EQ(limited->count(), 0u);
  EXPECT_NE(limited->lastError().find("limits"), std::string::npos);

  // Strips that point past the end of the file.
  auto lying = tiff;
  setTag(lying, TIFFTAG_STRIPOFFSETS, 0x7fff0000);
  auto lyingSource = ImageSource::create(lying);
  ASSERT_EQ(lyingSource->count(), 1u) << lyingSource->lastError();
  EXPECT_FALSE(lyingSource->createImageAtIndex(0));
  EXPECT_NE(lyingSource->lastError().find("TIFF"), std::string::npos) << lyingSource->lastError();

  // A sample layout libtiff's RGBA interface does not handle (32-bit float).
  auto floats = tiff;
  setTag(floats, TIFFTAG_BITSPERSAMPLE, 32);
  auto floatSource = ImageSource::create(floats);
  ASSERT_EQ(floatSource->count(), 1u) << floatSource->lastError();
  EXPECT_FALSE(floatSource->createImageAtIndex(0));
  EXPECT_NE(floatSource->lastError().find("32-bit"), std::string::npos) << floatSource->lastError();

  // The directory is written last, so a cut file has no header to read.
  auto cut = ImageSource::create(std::span(tiff.data(), tiff.size() / 2));
  EXPECT_EQ(cut->count(), 0u);
  EXPECT_EQ(cut->status(), ImageSourceStatus::InvalidData);
  EXPECT_NE(cut->lastError().find("TIFF"), std::string::npos);

  // A directory that links back to itself ends the page list.
  auto loop = tiff;
  const size_t ifd = loop[4] | (loop[5] << 8) | (loop[6] << 16) | (size_t{loop[7]} << 24);
  const size_t entries = loop[ifd] | (loop[ifd + 1] << 8);
  std::memcpy(&loop[ifd + 2 + entries * 12], &loop[4], 4);
  auto looping = ImageSource::create(loop);
  EXPECT_EQ(looping->count(), 1u);

  // Every prefix and a spray of corrupted bytes: decode or fail, never crash.
  for (size_t n = 1; n < tiff.size(); n += 5) {
    auto source = ImageSource::create(std::span(tiff.data(), n));
    for (size_t i = 0; i < source->count(); ++i) source->createImageAtIndex(i);
  }
  for (size_t at = 0; at < tiff.size(); at += 3) {
    auto damaged = tiff;
    damaged[at] ^= 0x5a;
    auto source = ImageSource::create(damaged);
    for (size_t i = 0; i < source->count(); ++i) {
      if (!source->createImageAtIndex(i)) {
        EXPECT_FALSE(source->lastError().empty());
      }
    }
  }
}

}  // namespace
}  // namespace kit
