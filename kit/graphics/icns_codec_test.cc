// ICNS through image sources: a container built here from known pictures in
// every coding kit reads (embedded PNG and JPEG 2000, classic run-length
// icons with and without masks, uncompressed classic data, ARGB), frame
// order, and damaged or hostile containers.
#include <gtest/gtest.h>

#include <cstring>

#include "kit/graphics/image.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {
namespace {

using test::encodeImages;
using test::patternBitmap;

// The icon format's run-length coding of one plane (every `stride`-th byte
// from `first`): runs of 3 to 130 equal bytes, literals of 1 to 128.
void packPlane(const std::vector<uint8_t>& rgba, size_t first, std::vector<uint8_t>& out) {
  std::vector<uint8_t> v;
  for (size_t i = first; i < rgba.size(); i += 4) v.push_back(rgba[i]);
  size_t i = 0;
  while (i < v.size()) {
    size_t run = 1;
    while (i + run < v.size() && run < 130 && v[i + run] == v[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(run + 125));
      out.push_back(v[i]);
      i += run;
      continue;
    }
    size_t literal = 0;
    while (i + literal < v.size() && literal < 128 &&
           !(i + literal + 2 < v.size() && v[i + literal] == v[i + literal + 1] && v[i + literal] == v[i + literal + 2])) {
      ++literal;
    }
    out.push_back(static_cast<uint8_t>(literal - 1));
    out.insert(out.end(), v.begin() + static_cast<long>(i), v.begin() + static_cast<long>(i + literal));
    i += literal;
  }
}

// Straight RGBA of a bitmap with runs of equal pixels, so runs get coded.
std::vector<uint8_t> blockyRGBA(size_t side, bool alpha) {
  std::vector<uint8_t> px(side * side * 4);
  for (size_t y = 0; y < side; ++y) {
    for (size_t x = 0; x < side; ++x) {
      uint8_t* p = &px[(y * side + x) * 4];
      p[0] = static_cast<uint8_t>((x / 4) * 40);
      p[1] = static_cast<uint8_t>(y * 255 / (side - 1));
      p[2] = static_cast<uint8_t>((x * 7 + y * 3) & 0xff);
      p[3] = alpha ? static_cast<uint8_t>(x < side / 2 ? 255 : (y * 8) & 0xff) : 255;
    }
  }
  return px;
}

struct Container {
  std::vector<uint8_t> bytes = {'i', 'c', 'n', 's', 0, 0, 0, 8};

  void add(const char* type, const std::vector<uint8_t>& data) {
    const uint32_t length = static_cast<uint32_t>(data.size() + 8);
    bytes.insert(bytes.end(), type, type + 4);
    for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(length >> (24 - 8 * b)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    const uint32_t total = static_cast<uint32_t>(bytes.size());
    for (int b = 0; b < 4; ++b) bytes[4 + b] = static_cast<uint8_t>(total >> (24 - 8 * b));
  }
};

std::vector<uint8_t> classicEntry(const std::vector<uint8_t>& rgba, bool leadingZeros) {
  std::vector<uint8_t> out;
  if (leadingZeros) out.assign(4, 0);
  for (size_t c = 0; c < 3; ++c) packPlane(rgba, c, out);
  return out;
}

std::vector<uint8_t> maskEntry(const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> out;
  for (size_t i = 3; i < rgba.size(); i += 4) out.push_back(rgba[i]);
  return out;
}

Ref<Bitmap> straight(size_t side, std::vector<uint8_t> rgba) {
  return Bitmap::create(side, side, PixelFormat::rgba8(), 0, std::move(rgba));
}

struct Sample {
  Container icns;
  std::vector<Ref<Bitmap>> expected;  // largest first, as the frames come
};

Sample sampleIcons() {
  Sample s;
  const auto big = blockyRGBA(128, true), small = blockyRGBA(16, true), medium = blockyRGBA(32, false),
             argb = blockyRGBA(16, true);
  auto png = patternBitmap(64, 64, true), jp2 = patternBitmap(32, 32, true);
  s.icns.add("TOC ", {0, 0, 0, 0});
  s.icns.add("is32", classicEntry(small, false));
  s.icns.add("s8mk", maskEntry(small));
  s.icns.add("ic12", encodeImages({png}, UTType::PNG));
  s.icns.add("ic11", encodeImages({jp2}, UTType::JPEG2000));
  // Uncompressed classic data: an unused byte, then red, green, blue.
  std::vector<uint8_t> raw;
  for (size_t i = 0; i < medium.size(); i += 4) raw.insert(raw.end(), {0, medium[i], medium[i + 1], medium[i + 2]});
  s.icns.add("il32", raw);
  s.icns.add("it32", classicEntry(big, true));
  s.icns.add("t8mk", maskEntry(big));
  std::vector<uint8_t> argbEntry = {'A', 'R', 'G', 'B'};
  packPlane(argb, 3, argbEntry);
  for (size_t c = 0; c < 3; ++c) packPlane(argb, c, argbEntry);
  s.icns.add("ic04", argbEntry);
  s.icns.add("icnV", {0x42, 0, 0, 0});
  s.expected = {straight(128, big), png, jp2, straight(32, medium), straight(16, small), straight(16, argb)};
  return s;
}

TEST(ICNS, EveryIconIsAFrameLargestFirst) {
  const Sample sample = sampleIcons();
  auto source = ImageSource::create(sample.icns.bytes);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->type(), UTType::ICNS);
  ASSERT_EQ(source->count(), sample.expected.size()) << source->lastError();
  for (size_t i = 0; i < sample.expected.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    const auto properties = *source->propertiesAtIndex(i);
    EXPECT_EQ(properties.pixelWidth, sample.expected[i]->width());
    EXPECT_EQ(properties.pixelHeight, sample.expected[i]->height());
    auto frame = source->createImageAtIndex(i);
    ASSERT_TRUE(frame) << source->lastError();
    EXPECT_EQ(test::maxChannelError(*sample.expected[i], *frame), 0);
  }
  // The classic 32-pixel icon has no mask: opaque.
  EXPECT_FALSE(source->propertiesAtIndex(3)->hasAlpha);
  EXPECT_EQ(source->createImageAtIndex(3)->alphaInfo(), AlphaInfo::NoneSkipLast);
  // An image from the file shows the largest icon.
  auto image = Image::withData(sample.icns.bytes);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), Size(128, 128));
}

TEST(ICNS, WrittenIconFamiliesReadBackIconForIcon) {
  // The images in a mixed order, with and without alpha.
  const std::vector<Ref<Bitmap>> images = {patternBitmap(32, 32, true), patternBitmap(256, 256, false),
                                           patternBitmap(16, 16, true), patternBitmap(1024, 1024, true)};
  auto destination = ImageDestination::create(UTType::ICNS, images.size());
  ASSERT_TRUE(destination);
  for (const auto& image : images) destination->addImage(image, {});
  ASSERT_TRUE(destination->finalize()) << destination->lastError();
  const std::vector<uint8_t> file = destination->data();
  ASSERT_GT(file.size(), 8u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "icns");
  EXPECT_EQ((uint32_t(file[4]) << 24) | (uint32_t(file[5]) << 16) | (uint32_t(file[6]) << 8) | file[7], file.size());
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "icp5");  // the first image's entry

  auto source = ImageSource::create(file);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->type(), UTType::ICNS);
  ASSERT_EQ(source->count(), images.size()) << source->lastError();
  // Read back largest first, each exactly.
  const std::vector<size_t> order = {3, 1, 0, 2};
  for (size_t i = 0; i < order.size(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    auto frame = source->createImageAtIndex(i);
    ASSERT_TRUE(frame) << source->lastError();
    EXPECT_EQ(test::maxChannelError(*images[order[i]], *frame), 0);
  }

  // Sizes the format has no entry for, and a size given twice, are refused.
  for (const auto& wrong : std::vector<std::vector<Ref<Bitmap>>>{{patternBitmap(48, 48, true)},
                                                                 {patternBitmap(32, 16, true)},
                                                                 {patternBitmap(2048, 2048, false)},
                                                                 {patternBitmap(16, 16, true), patternBitmap(16, 16, false)}}) {
    auto refused = ImageDestination::create(UTType::ICNS, wrong.size());
    for (const auto& image : wrong) refused->addImage(image, {});
    EXPECT_FALSE(refused->finalize());
    EXPECT_FALSE(refused->lastError().empty());
    EXPECT_TRUE(refused->data().empty());
  }
}

TEST(ICNS, DamagedAndHostileContainersFailCleanly) {
  const Sample sample = sampleIcons();
  const auto& bytes = sample.icns.bytes;

  // Cut inside the 128-pixel entry: it and everything after it are gone,
  // the icons before it remain, largest first.
  size_t it32 = 0;
  for (size_t i = 8; i + 4 < bytes.size(); ++i) {
    if (std::memcmp(&bytes[i], "it32", 4) == 0) it32 = i;
  }
  ASSERT_GT(it32, 0u);
  auto cut = ImageSource::create(std::span(bytes.data(), it32 + 100));
  ASSERT_EQ(cut->count(), 4u) << cut->lastError();
  EXPECT_EQ(cut->propertiesAtIndex(0)->pixelWidth, 64u);

  // Run-length data that stops short of the icon.
  Container damaged;
  const auto rgba = blockyRGBA(16, false);
  auto coded = classicEntry(rgba, false);
  coded.resize(coded.size() / 2);
  damaged.add("is32", coded);
  auto source = ImageSource::create(damaged.bytes);
  ASSERT_EQ(source->count(), 1u);
  EXPECT_FALSE(source->createImageAtIndex(0));
  EXPECT_NE(source->lastError().find("damaged"), std::string::npos) << source->lastError();

  // An embedded PNG claiming 100000 x 100000 pixels is left out; alone, it
  // leaves nothing to read and says why.
  auto png = encodeImages({patternBitmap(4, 4, false)}, UTType::PNG);
  png[16] = 0x00, png[17] = 0x01, png[18] = 0x86, png[19] = 0xA0;
  png[20] = 0x00, png[21] = 0x01, png[22] = 0x86, png[23] = 0xA0;
  Container hostile;
  hostile.add("ic10", png);
  auto refused = ImageSource::create(hostile.bytes);
  EXPECT_EQ(refused->count(), 0u);
  EXPECT_EQ(refused->status(), ImageSourceStatus::InvalidData);
  EXPECT_NE(refused->lastError().find("limits"), std::string::npos) << refused->lastError();
  Container mixed = hostile;
  mixed.add("is32", classicEntry(rgba, false));
  EXPECT_EQ(ImageSource::create(mixed.bytes)->count(), 1u);

  // An entry whose length runs past the file, and one shorter than its header.
  Container lying;
  lying.add("is32", classicEntry(rgba, false));
  lying.bytes[8 + 7] = 0xff;
  EXPECT_EQ(ImageSource::create(lying.bytes)->count(), 0u);
  lying.bytes[8 + 4] = lying.bytes[8 + 5] = lying.bytes[8 + 6] = 0, lying.bytes[8 + 7] = 3;
  EXPECT_EQ(ImageSource::create(lying.bytes)->count(), 0u);

  // Every prefix and a spray of damaged bytes: decode or fail, never crash.
  for (size_t n = 1; n < bytes.size(); n += 211) {
    auto s = ImageSource::create(std::span(bytes.data(), n));
    for (size_t i = 0; i < s->count(); ++i) s->createImageAtIndex(i);
  }
  for (size_t at = 0; at < bytes.size(); at += 157) {
    auto copy = bytes;
    copy[at] ^= 0xC3;
    auto s = ImageSource::create(copy);
    for (size_t i = 0; i < s->count(); ++i) {
      if (!s->createImageAtIndex(i)) {
        EXPECT_FALSE(s->lastError().empty());
      }
    }
  }
}

}  // namespace
}  // namespace kit
