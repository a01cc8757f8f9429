// Animated PNG through the chunk reader, frame assembly and the decoder:
// files that must read as still images, exact assembled frames, frame
// records, compositing against a reference compositor in every request
// order, the writer read back, delay fractions and hostile files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>

#include "kit/graphics/image_source.h"
#include "kit/graphics/testing/image_test_support.h"
#include "ui/images/kt_apng.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/testing/apng_test_support.h"

namespace {

using apngtest::Chunk;
using apngtest::Frame;
using kit::Pixel;

kit::Ref<kit::Data> dataOf(const std::vector<uint8_t>& bytes) { return kit::Data::make(bytes); }

// A w x h frame picture of one colour per frame number, with a transparent
// and a half-transparent pixel among opaque ones when `holes` is set.
kit::Ref<kit::Bitmap> picture(size_t w, size_t h, int seed, bool holes = true) {
  std::vector<Pixel> pixels;
  for (size_t i = 0; i < w * h; ++i) {
    Pixel p{uint8_t(40 * seed + 17 * i), uint8_t(200 - 30 * seed), uint8_t(90 + 50 * (i % 3)), 255};
    if (holes && i % 5 == 1) p.a = 0, p.r = p.g = p.b = 0;
    if (holes && i % 5 == 3) p.a = 128;
    pixels.push_back(p);
  }
  return apngtest::bitmap(w, h, pixels);
}

// Frame 0 of a 3-frame 4x4 animation as the default image, for the files
// that break one rule each.
std::vector<Chunk> threeFrames() {
  return apngtest::animation(4, 4, {{picture(4, 4, 0)}, {picture(2, 2, 1), 1, 1}, {picture(4, 4, 2)}});
}

size_t indexOf(const std::vector<Chunk>& chunks, const std::string& type, size_t nth = 0) {
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].type == type && nth-- == 0) return i;
  }
  return chunks.size();
}

// Reads as a still PNG: no frames in the reader, one frame from the image
// source in the decoder, with its properties.
void expectStillPNG(const std::vector<uint8_t>& file, const char* what) {
  SCOPED_TRACE(what);
  auto info = KTAPNGReadChunks(file);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->frames.empty());
  auto decoder = KTImageDecoder::decoderWithData(dataOf(file), 1);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->frameCount(), 1u);
  EXPECT_TRUE(decoder->framePropertiesAtIndex(0));
  auto frame = decoder->frameAtIndex(0, true);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->image()->bitmap()->width(), 4u);
}

TEST(APNGReader, FilesThatBreakTheRulesReadAsStillPNG) {
  // The well-formed file first, so that each case below is one change away.
  const auto good = apngtest::serialize(threeFrames());
  auto info = KTAPNGReadChunks(good);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frames.size(), 3u);
  EXPECT_TRUE(info->firstFrameIsCover);

  auto chunks = threeFrames();
  for (auto& c : chunks) {
    if (c.type == "fcTL" || c.type == "fdAT") c.data[3] += 1;  // sequence numbers from 1
  }
  expectStillPNG(apngtest::serialize(chunks), "first fcTL with sequence number 1");

  chunks = threeFrames();
  chunks.erase(chunks.begin() + static_cast<long>(indexOf(chunks, "fcTL", 2)),
               chunks.begin() + static_cast<long>(indexOf(chunks, "IEND")));
  expectStillPNG(apngtest::serialize(chunks), "acTL announcing 3 frames with 2 fcTL");

  chunks = threeFrames();
  chunks[1] = apngtest::actl(4, 0);
  chunks.insert(chunks.end() - 1, apngtest::fctl(5, 4, 4, 0, 0, 1, 10, 0, 0));
  expectStillPNG(apngtest::serialize(chunks), "fcTL followed directly by IEND");

  chunks = threeFrames();
  for (auto& c : chunks) {
    if ((c.type == "fcTL" || c.type == "fdAT") && c.data[3] >= 1) c.data[3] += 1;
  }
  chunks.insert(chunks.begin() + static_cast<long>(indexOf(chunks, "IDAT") + 1),
                apngtest::fdat(1, apngtest::imageData(*picture(4, 4, 3))));
  expectStillPNG(apngtest::serialize(chunks), "fdAT right after an IDAT");

  chunks = threeFrames();
  chunks[indexOf(chunks, "fcTL", 1)] = apngtest::fctl(1, 2, 2, 3, 1, 1, 10, 0, 0);
  expectStillPNG(apngtest::serialize(chunks), "fcTL rectangle past the canvas's right edge");

  chunks = threeFrames();
  chunks[indexOf(chunks, "fcTL", 1)] = apngtest::fctl(1, 2, 2, 1, 0xFFFFFFFF, 1, 10, 0, 0);
  expectStillPNG(apngtest::serialize(chunks), "fcTL y offset that wraps past the bottom");

  chunks = threeFrames();
  chunks[indexOf(chunks, "fcTL", 1)] = apngtest::fctl(1, 0, 2, 1, 1, 1, 10, 0, 0);
  expectStillPNG(apngtest::serialize(chunks), "fcTL of zero width");
}

TEST(APNGReader, OneFrameThatIsTheDefaultImageStaysOnTheImageSource) {
  const auto file = apngtest::animatedPNG(4, 4, {{picture(4, 4, 0)}});
  auto info = KTAPNGReadChunks(file);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frames.size(), 1u);
  EXPECT_TRUE(info->firstFrameIsCover);
  auto decoder = KTImageDecoder::decoderWithData(dataOf(file), 1);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->frameCount(), 1u);
  EXPECT_TRUE(decoder->framePropertiesAtIndex(0));
  EXPECT_TRUE(decoder->imageProperties());
}

TEST(APNGReader, FrameAssemblyOfTwoFdATChunksAndADefaultImageOutsideTheAnimation) {
  // 10x36 RGBA in stored blocks: 36 rows of 41 bytes, plus one empty block,
  // is 1492 bytes of image data, split 996 + 496 (fdAT data 1000 and 500).
  const auto framePixels = picture(10, 36, 1, false);
  const auto data = apngtest::imageData(*framePixels, true, 1492);
  ASSERT_EQ(data.size(), 1492u);
  const auto pieces = apngtest::split(data, {996, 496});
  const auto defaultPixels = picture(10, 36, 5, false);
  const auto defaultData = apngtest::imageData(*defaultPixels, true);
  const auto secondPixels = picture(10, 36, 2, false);
  const std::vector<Chunk> chunks{apngtest::ihdr(10, 36),
                                  apngtest::actl(2, 0),
                                  apngtest::Chunk{"tEXt", {'k', 0, 'v'}},
                                  apngtest::idat(defaultData),
                                  apngtest::fctl(0, 10, 36, 0, 0, 1, 10, 0, 0),
                                  apngtest::fdat(1, pieces[0]),
                                  apngtest::fdat(2, pieces[1]),
                                  apngtest::fctl(3, 10, 36, 0, 0, 1, 10, 0, 0),
                                  apngtest::fdat(4, apngtest::imageData(*secondPixels)),
                                  apngtest::iend()};
  const auto file = apngtest::serialize(chunks);
  auto info = KTAPNGReadChunks(file);
  ASSERT_TRUE(info);
  ASSERT_EQ(info->frames.size(), 2u);
  EXPECT_FALSE(info->firstFrameIsCover);
  EXPECT_EQ(info->frames[0].chunkCount, 2u);
  EXPECT_EQ(info->frames[0].chunkBytes, 1524u);

  for (size_t k = 0; k < 2; ++k) {
    auto png = KTAPNGCopyFrameData(file, *info, k);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->size(), info->sharedChunkBytes + info->frames[k].chunkBytes - 4 * info->frames[k].chunkCount + 8);
    // The default image is in no frame.
    EXPECT_EQ(std::search(png->begin(), png->end(), defaultData.begin(), defaultData.begin() + 64), png->end());
    const auto read = apngtest::parse(*png);
    ASSERT_FALSE(read.empty());
    ASSERT_EQ(read[0].type, "IHDR");
    EXPECT_EQ(apngtest::get32(&read[0].data[0]), 10u);
    EXPECT_EQ(apngtest::get32(&read[0].data[4]), 36u);
    // The rewritten header's CRC is right (the bytes after the 13 data bytes).
    std::vector<uint8_t> typed{'I', 'H', 'D', 'R'};
    typed.insert(typed.end(), read[0].data.begin(), read[0].data.end());
    EXPECT_EQ(apngtest::get32(png->data() + 8 + 8 + 13), crc32(0, typed.data(), static_cast<uInt>(typed.size())));
    auto decoded = kit::test::decodeFirst(*png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(kit::test::maxChannelError(*decoded, k == 0 ? *framePixels : *secondPixels), 0);
  }
  EXPECT_EQ(KTAPNGCopyFrameData(file, *info, 0)->size(), info->sharedChunkBytes + 1524);
  EXPECT_FALSE(KTAPNGCopyFrameData(file, *info, 2));

  auto decoder = KTImageDecoder::decoderWithData(dataOf(file), 1);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->frameCount(), 2u);
  EXPECT_FALSE(decoder->framePropertiesAtIndex(0));  // no image source once the animation is read
  auto frame0 = decoder->frameAtIndex(0, false);
  ASSERT_TRUE(frame0);
  EXPECT_EQ(kit::test::maxChannelError(*frame0->image()->bitmap(), *framePixels), 0);
}

TEST(APNGReader, FrameRecordsOffsetsDelaysAndBlendOrigins) {
  // A default image outside the animation lets frame 0 be any rectangle.
  const std::vector<Frame> frames{
      {picture(10, 10, 0), 0, 0, 3, 0, 0, 0},  // full size, source, dispose none
      {picture(1, 1, 1), 2, 3, 1, 10, 0, 1},   // partial, over
      {picture(10, 10, 2), 0, 0, 1, 10, 1, 1},  // full size, over, dispose background
      {picture(3, 2, 3), 4, 5, 1, 10, 0, 1},   // partial, over
  };
  apngtest::Options options;
  options.defaultImage = picture(10, 10, 6);
  options.plays = 7;
  auto decoder = KTImageDecoder::decoderWithData(dataOf(apngtest::animatedPNG(10, 10, frames, options)), 2);
  ASSERT_TRUE(decoder);
  ASSERT_EQ(decoder->frameCount(), 4u);
  EXPECT_EQ(decoder->loopCount(), 7u);
  EXPECT_EQ(decoder->width(), 10u);
  EXPECT_EQ(decoder->height(), 10u);
  EXPECT_TRUE(decoder->needsBlend());
  EXPECT_DOUBLE_EQ(decoder->frameDurationAtIndex(0), 0.03);  // 3/0 counts as 3/100
  EXPECT_DOUBLE_EQ(decoder->frameDurationAtIndex(1), 0.1);
  EXPECT_EQ(decoder->frameDurationAtIndex(4), 0);
  const size_t blendFrom[] = {0, 0, 0, 3};
  for (size_t i = 0; i < 4; ++i) {
    auto frame = kit::as<KTImageDecoderFrame>(decoder->frameAtIndex(i, false));
    ASSERT_TRUE(frame) << i;
    EXPECT_EQ(frame->blendFromIndex(), blendFrom[i]) << i;
    EXPECT_EQ(frame->image()->scale(), 2);
  }
  auto small = decoder->frameAtIndex(1, false);
  EXPECT_EQ(small->offsetX(), 2u);
  EXPECT_EQ(small->offsetY(), 6u);  // 10 - 3 - 1, from the lower-left corner
  EXPECT_EQ(small->blend(), KTImageBlendOver);
  EXPECT_EQ(decoder->frameAtIndex(2, false)->dispose(), KTImageDisposeBackground);
  EXPECT_FALSE(decoder->frameAtIndex(4, false));
}

// Plays `frames` on a 4x4 canvas and checks every frame against the
// reference, in order and in orders that force rebuilds and single steps.
void expectComposedLikeTheFormat(const std::vector<Frame>& frames, const char* what) {
  SCOPED_TRACE(what);
  const auto file = apngtest::animatedPNG(4, 4, frames);
  const auto expected = apngtest::compose(4, 4, frames);
  const size_t last = frames.size() - 1;
  std::vector<std::vector<size_t>> orders;
  std::vector<size_t> inOrder;
  for (size_t i = 0; i <= last; ++i) inOrder.push_back(i);
  orders.push_back(inOrder);
  for (size_t k = 1; k + 1 <= last; ++k) orders.push_back({k, k + 1, 0, 1, last, k - 1});
  for (bool display : {false, true}) {
    auto decoder = KTImageDecoder::decoderWithData(dataOf(file), 1);
    ASSERT_TRUE(decoder);
    ASSERT_EQ(decoder->frameCount(), frames.size());
    for (const auto& order : orders) {
      for (size_t i : order) {
        auto frame = decoder->frameAtIndex(i, display);
        ASSERT_TRUE(frame) << "frame " << i;
        EXPECT_LE(apngtest::difference(*frame->image()->bitmap(), expected[i], 4, 4), 1)
            << "frame " << i << (display ? " for display" : "");
        if (display) {
          EXPECT_EQ(frame->width(), 4u);
          EXPECT_EQ(frame->height(), 4u);
          EXPECT_EQ(frame->offsetX(), 0u);
          EXPECT_EQ(frame->offsetY(), 0u);
          EXPECT_EQ(frame->dispose(), KTImageDisposeNone);
          EXPECT_EQ(frame->blend(), KTImageBlendNone);
        }
      }
    }
  }
}

TEST(APNGCompositing, FramesMatchTheFormatsRulesInEveryRequestOrder) {
  // Frame fields: pixels, x, y, delay, dispose (0 none, 1 background,
  // 2 previous), blend (0 source, 1 over).
  expectComposedLikeTheFormat(
      {
          {picture(4, 4, 0), 0, 0, 1, 10, 0, 0},
          {picture(2, 2, 1), 1, 1, 1, 10, 1, 1},
          {picture(3, 2, 2), 0, 2, 1, 10, 2, 0},
          {picture(4, 4, 3), 0, 0, 1, 10, 0, 1},
          {picture(1, 3, 4), 3, 0, 1, 10, 2, 1},
          {picture(4, 4, 5), 0, 0, 1, 10, 1, 0},
          {picture(2, 3, 6), 2, 1, 1, 10, 0, 1},
          {picture(3, 3, 7), 1, 0, 1, 10, 0, 0},
      },
      "dispose none, background and previous with source and over");
  expectComposedLikeTheFormat(
      {
          {picture(4, 4, 0), 0, 0, 1, 10, 2, 0},
          {picture(2, 2, 1), 2, 2, 1, 10, 0, 1},
          {picture(3, 1, 2), 0, 0, 1, 10, 0, 1},
          {picture(4, 4, 3), 0, 0, 1, 10, 2, 1},
          {picture(2, 2, 4), 0, 1, 1, 10, 1, 1},
      },
      "first frame disposed to the previous picture");
  expectComposedLikeTheFormat(
      {
          {picture(4, 4, 0), 0, 0, 1, 10, 0, 0},
          {picture(2, 2, 1), 0, 0, 1, 10, 0, 1},
          {picture(4, 4, 2), 0, 0, 1, 10, 2, 0},  // full size, source, dispose previous
          {picture(2, 1, 3), 1, 3, 1, 10, 0, 1},
          {picture(4, 4, 4), 0, 0, 1, 10, 1, 1},
          {picture(1, 1, 5), 3, 3, 1, 10, 0, 0},
      },
      "a full-size source frame disposed to the previous picture later on");
}

TEST(APNGCompositing, AFrameAgainAndALaterFrameContinueFromTheCanvas) {
  // Twelve frames drawn over the first: every frame's picture starts at 0.
  std::vector<Frame> frames = {{picture(4, 4, 0), 0, 0, 1, 10, 0, 0}};
  for (int i = 1; i < 12; ++i) frames.push_back({picture(2, 2, i), uint32_t(i % 3), uint32_t(i % 2), 1, 10, 0, 1});
  const auto expected = apngtest::compose(4, 4, frames);
  auto decoder = KTImageDecoder::decoderWithData(dataOf(apngtest::animatedPNG(4, 4, frames)), 1);
  ASSERT_TRUE(decoder);
  auto frame = [&](size_t i) {
    auto made = decoder->frameAtIndex(i, true);
    EXPECT_LE(apngtest::difference(*made->image()->bitmap(), expected[i], 4, 4), 1) << "frame " << i;
    return made;
  };
  auto third = frame(3);
  EXPECT_EQ(decoder->framesDecoded(), 4u);  // 0 to 3
  // The same frame again is the picture just made.
  EXPECT_EQ(frame(3)->image()->bitmap(), third->image()->bitmap());
  EXPECT_EQ(decoder->framesDecoded(), 4u);
  // A jump ahead draws only the frames between, not the run from frame 0.
  frame(9);
  EXPECT_EQ(decoder->framesDecoded(), 10u);
  frame(10);
  EXPECT_EQ(decoder->framesDecoded(), 11u);
  // Back is a rebuild from the picture's start.
  frame(2);
  EXPECT_EQ(decoder->framesDecoded(), 14u);
}

TEST(APNGWriter, TwoImagesOfDifferentSizesReadBack) {
  const auto withAlpha = kit::test::patternBitmap(10, 10, true);
  const auto opaque = kit::test::photoBitmap(20, 5);
  auto written = KTAPNGWrite({withAlpha, opaque}, {0.1, 0.04}, 3);
  ASSERT_TRUE(written);
  const auto chunks = apngtest::parse(written->vector());
  ASSERT_GE(chunks.size(), 6u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(apngtest::get32(&chunks[0].data[0]), 20u);
  EXPECT_EQ(apngtest::get32(&chunks[0].data[4]), 10u);
  EXPECT_EQ(chunks.back().type, "IEND");

  std::vector<const Chunk*> controls;
  uint32_t nextSequence = 0;
  for (const Chunk& c : chunks) {
    if (c.type == "acTL") {
      EXPECT_EQ(apngtest::get32(&c.data[0]), 2u);
      EXPECT_EQ(apngtest::get32(&c.data[4]), 3u);
    }
    if (c.type == "fcTL" || c.type == "fdAT") {
      EXPECT_EQ(apngtest::get32(&c.data[0]), nextSequence++);
    }
    if (c.type == "fcTL") controls.push_back(&c);
  }
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(apngtest::get32(&controls[0]->data[4]), 20u);
  EXPECT_EQ(apngtest::get32(&controls[0]->data[8]), 10u);
  EXPECT_EQ(apngtest::get32(&controls[1]->data[4]), 20u);
  EXPECT_EQ(apngtest::get32(&controls[1]->data[8]), 5u);
  for (const Chunk* c : controls) {
    EXPECT_EQ(c->data[24], 1);  // dispose to the background
    EXPECT_EQ(c->data[25], 0);  // blend as source
  }
  EXPECT_EQ(controls[1]->data[21], 1);  // 0.04 s is 1/25
  EXPECT_EQ(controls[1]->data[23], 25);

  auto decoder = KTImageDecoder::decoderWithData(written, 1);
  ASSERT_TRUE(decoder);
  ASSERT_EQ(decoder->frameCount(), 2u);
  EXPECT_EQ(decoder->loopCount(), 3u);
  EXPECT_DOUBLE_EQ(decoder->frameDurationAtIndex(0), 0.1);
  auto second = decoder->frameAtIndex(1, true);
  ASSERT_TRUE(second);
  const auto& canvas = second->image()->bitmap();
  ASSERT_EQ(canvas->width(), 20u);
  ASSERT_EQ(canvas->height(), 10u);
  for (size_t y = 0; y < 10; ++y) {
    for (size_t x = 0; x < 20; ++x) {
      if (y < 5) EXPECT_EQ(canvas->pixelAt(x, y), opaque->pixelAt(x, y)) << x << "," << y;
      else EXPECT_EQ(canvas->pixelAt(x, y).a, 0) << x << "," << y;
    }
  }
  auto first = decoder->frameAtIndex(0, true);
  ASSERT_TRUE(first);
  auto top = first->image()->bitmap()->cropping(kit::Rect(0, 0, 10, 10));
  EXPECT_LE(kit::test::maxChannelError(*top, *withAlpha), 1);
  EXPECT_EQ(first->image()->bitmap()->pixelAt(15, 2).a, 0);

  EXPECT_FALSE(KTAPNGWrite({withAlpha, nullptr}, {0, 0}, 0));
  EXPECT_FALSE(KTAPNGWrite({}, {}, 0));
}

TEST(APNGWriter, DelayFractions) {
  struct Case {
    double seconds;
    uint16_t numerator, denominator;
  };
  for (const Case& c : {Case{0.1, 1, 10}, Case{0.04, 1, 25}, Case{300, 255, 1}, Case{255, 255, 1},
                        Case{0.001, 1, 255}, Case{1.5, 3, 2}, Case{0.0333, 1, 30}, Case{2, 2, 1}}) {
    uint16_t n = 0, d = 0;
    KTAPNGDelayFraction(c.seconds, n, d);
    EXPECT_EQ(n, c.numerator) << c.seconds;
    EXPECT_EQ(d, c.denominator) << c.seconds;
  }
}

TEST(APNGReader, HostileLengthsAndSizesGiveStillImagesOrNothing) {
  // A chunk length that runs past the data, and one whose 32-bit end
  // "offset + length + 12" would wrap around to a small number.
  auto file = apngtest::serialize(threeFrames());
  const size_t second = 8 + 25;  // the chunk after "IHDR"
  for (uint32_t length : {0x7FFFFFF0u, 0xFFFFFFFFu - static_cast<uint32_t>(second) - 11u, 0xFFFFFFFFu}) {
    auto bad = file;
    bad[second] = uint8_t(length >> 24), bad[second + 1] = uint8_t(length >> 16);
    bad[second + 2] = uint8_t(length >> 8), bad[second + 3] = uint8_t(length);
    EXPECT_FALSE(KTAPNGReadChunks(bad)) << length;
    auto decoder = KTImageDecoder::decoderWithData(dataOf(bad), 1);
    if (decoder) {
      EXPECT_EQ(decoder->frameCount(), 1u);
    }
  }
  EXPECT_FALSE(KTAPNGReadChunks(std::span<const uint8_t>(file.data(), 31)));
  auto wrongSignature = file;
  wrongSignature[1] = 'Q';
  EXPECT_FALSE(KTAPNGReadChunks(wrongSignature));

  // A canvas of (2^31 - 1) squared with a 1x1 frame: nothing that size is
  // made, and no frame comes out.
  auto huge = threeFrames();
  huge[0] = apngtest::ihdr(0x7FFFFFFF, 0x7FFFFFFF);
  const auto hugeFile = apngtest::serialize(huge);
  auto info = KTAPNGReadChunks(hugeFile);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->frames.size(), 3u);  // the chunks themselves are well formed
  EXPECT_FALSE(KTImageDecoder::decoderWithData(dataOf(hugeFile), 1));
  auto decoder = KTImageDecoder::initWithScale(1);
  EXPECT_TRUE(decoder->updateData(dataOf(hugeFile), true));
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_FALSE(decoder->frameAtIndex(i, true));
    EXPECT_FALSE(decoder->frameAtIndex(i, false));
  }
}

}  // namespace
