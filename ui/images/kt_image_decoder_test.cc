// The image decoder over real files made here and the public PNG suites:
// data updates and type fixing, progressive JPEG and GIF downloads, GIF
// timing, ICO sizes, EXIF orientation, WebP, a feeding thread beside a
// reading one, and every suite file fed piece by piece.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <jpeglib.h>

#include "kit/graphics/image_codecs.h"
#include "kit/graphics/testing/image_test_support.h"
#include "kit/graphics/type_identifiers.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/own_process.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_decoder.h"

namespace {

namespace fs = std::filesystem;
using kit::Pixel;

kit::Ref<kit::Data> prefix(const std::vector<uint8_t>& bytes, size_t n) {
  return kit::Data::make(bytes.data(), std::min(n, bytes.size()));
}
kit::Ref<kit::Data> whole(const std::vector<uint8_t>& bytes) { return kit::Data::make(bytes); }

std::vector<uint8_t> pngFile(size_t w = 8, size_t h = 6) {
  return kit::test::encodeImages({kit::test::patternBitmap(w, h, true)}, kit::UTType::PNG);
}

kit::Ref<kit::Bitmap> solid(size_t w, size_t h, Pixel p) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < w * h; ++i) bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
  return kit::Bitmap::create(w, h, kit::PixelFormat::rgba8(), 0, std::move(bytes));
}

std::vector<uint8_t> gifFile(const std::vector<double>& delays, int loopCount, size_t side = 8) {
  const Pixel colours[] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
  std::vector<kit::EncodeFrame> frames;
  for (size_t i = 0; i < delays.size(); ++i) {
    kit::EncodeFrame frame;
    frame.bitmap = solid(side, side, colours[i % 3]);
    frame.options.gifDelayTime = delays[i];
    frames.push_back(frame);
  }
  std::vector<uint8_t> out;
  std::string error;
  EXPECT_TRUE(kit::writeGIF(frames, loopCount, out, error)) << error;
  return out;
}

// A progressive JPEG written by libjpeg: smooth colour, no alpha.
std::vector<uint8_t> progressiveJPEG(size_t w, size_t h) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(w * 3);
  uint32_t seed = 3;
  while (c.next_scanline < c.image_height) {
    for (size_t x = 0; x < w; ++x) {
      seed = seed * 1103515245 + 12345;
      row[x * 3] = static_cast<uint8_t>(x * 255 / w);
      row[x * 3 + 1] = static_cast<uint8_t>(c.next_scanline * 255 / h);
      row[x * 3 + 2] = static_cast<uint8_t>(seed >> 24);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&c);
  free(buffer);
  return out;
}

TEST(ImageDecoder, UpdatesFixTheTypeGrowOnlyAndStopAfterTheFinalOne) {
  const auto png = pngFile();
  auto decoder = KTImageDecoder::initWithScale(2);
  EXPECT_TRUE(decoder->updateData(prefix(png, 16), false));
  EXPECT_EQ(decoder->type(), KTImageTypeUnknown);
  EXPECT_EQ(decoder->frameCount(), 0u);
  EXPECT_TRUE(decoder->updateData(prefix(png, 17), false));
  EXPECT_EQ(decoder->type(), KTImageTypePNG);
  EXPECT_TRUE(decoder->updateData(prefix(png, 120), false));
  EXPECT_FALSE(decoder->updateData(prefix(png, 100), false));  // data only grows
  EXPECT_EQ(decoder->data()->length(), 120u);
  EXPECT_FALSE(decoder->isFinalized());
  EXPECT_TRUE(decoder->updateData(whole(png), true));
  EXPECT_TRUE(decoder->isFinalized());
  EXPECT_EQ(decoder->frameCount(), 1u);  // a PNG through the image source
  EXPECT_FALSE(decoder->updateData(whole(png), true));
  EXPECT_FALSE(decoder->updateData(whole(png), false));
  auto frame = decoder->frameAtIndex(0, true);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->image()->scale(), 2);
  EXPECT_TRUE(KT_isDecodedForDisplay(*frame->image()));
  EXPECT_EQ(frame->image()->bitmap()->alphaInfo(), kit::AlphaInfo::PremultipliedFirst);
  auto plain = decoder->frameAtIndex(0, false);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(KT_isDecodedForDisplay(*plain->image()));
  EXPECT_LE(kit::test::maxChannelError(*plain->image()->bitmap(), *kit::test::patternBitmap(8, 6, true)), 0);

  // The data changes type: refused, but the data and the final flag stay.
  auto changing = KTImageDecoder::initWithScale(1);
  EXPECT_TRUE(changing->updateData(prefix(png, 40), false));
  auto gif = gifFile({0.1}, 0);
  gif.resize(std::max(gif.size(), size_t{50}));
  EXPECT_FALSE(changing->updateData(prefix(gif, 50), true));
  EXPECT_EQ(changing->type(), KTImageTypePNG);
  EXPECT_EQ(changing->data()->length(), 50u);
  EXPECT_TRUE(changing->isFinalized());
  EXPECT_FALSE(changing->updateData(whole(gif), true));

  // A caller that keeps appending to its own data does not change ours.
  auto growing = kit::MutableData::make(std::vector<uint8_t>(png.begin(), png.begin() + 40));
  auto copying = KTImageDecoder::initWithScale(1);
  copying->updateData(growing, false);
  growing->appendBytes(png.data() + 40, 10);
  EXPECT_EQ(copying->data()->length(), 40u);

  // A download's buffer is taken as it is while unfinished, never copied;
  // its final data is copied like any other.
  auto download = KTImageDecoder::initWithScale(1);
  EXPECT_TRUE(download->updateGrowingData(growing));
  EXPECT_EQ(download->data(), growing);
  EXPECT_EQ(download->type(), KTImageTypePNG);
  growing->appendBytes(png.data() + 50, png.size() - 50);
  EXPECT_TRUE(download->updateGrowingData(growing));
  EXPECT_EQ(download->frameCount(), 1u);
  EXPECT_FALSE(download->updateGrowingData(kit::MutableData::make(std::vector<uint8_t>(png.begin(), png.begin() + 60))))
      << "data only grows";
  EXPECT_TRUE(download->updateData(growing, true));
  EXPECT_NE(download->data(), growing);
  EXPECT_TRUE(download->data()->isEqualToData(*growing));
  EXPECT_FALSE(download->updateGrowingData(growing)) << "nothing after the final data";
}

TEST(ImageDecoder, MadeFromDataIsNilForNothingDecodableAndKeepsAPositiveScale) {
  EXPECT_FALSE(KTImageDecoder::decoderWithData(nullptr, 1));
  EXPECT_FALSE(KTImageDecoder::decoderWithData(kit::Data::make(std::string(64, 'x')), 1));
  auto truncated = pngFile();
  truncated.resize(30);
  EXPECT_FALSE(KTImageDecoder::decoderWithData(whole(truncated), 1));
  EXPECT_EQ(KTImageDecoder::initWithScale(0)->scale(), 1.0);
  EXPECT_EQ(KTImageDecoder::initWithScale(-3)->scale(), 1.0);
  auto decoder = KTImageDecoder::decoderWithData(whole(pngFile()), 0);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->scale(), 1.0);
  EXPECT_EQ(decoder->width(), 8u);
  EXPECT_EQ(decoder->height(), 6u);
  EXPECT_GT(KTImageDecoder::make()->scale(), 0);
}

TEST(ImageDecoder, ProgressiveJPEGShowsOneGrowingFrameWhileItArrives) {
  const auto jpeg = progressiveJPEG(64, 48);
  auto decoder = KTImageDecoder::initWithScale(1);
  // Half of the first scan: the lower rows have not arrived.
  const uint8_t startOfScan[] = {0xFF, 0xDA};
  const auto scan = std::search(jpeg.begin(), jpeg.end(), std::begin(startOfScan), std::end(startOfScan));
  ASSERT_NE(scan, jpeg.end());
  const auto nextMarker = std::find(scan + 2 + 12, jpeg.end(), 0xFF);  // the scan header is 12 bytes
  const size_t firstScan = static_cast<size_t>((scan - jpeg.begin()) + (nextMarker - scan) / 2);
  ASSERT_TRUE(decoder->updateData(prefix(jpeg, firstScan), false));
  ASSERT_EQ(decoder->frameCount(), 1u);
  EXPECT_FALSE(decoder->frameAtIndex(1, false));
  auto early = decoder->frameAtIndex(0, true);
  ASSERT_TRUE(early);
  const auto& earlyBitmap = early->image()->bitmap();
  EXPECT_EQ(earlyBitmap->width(), 64u);
  EXPECT_EQ(earlyBitmap->height(), 48u);
  EXPECT_EQ(earlyBitmap->pixelAt(10, 47).a, 0);  // not decoded yet: transparent
  for (size_t n = firstScan; n < jpeg.size(); n += jpeg.size() / 40) {
    ASSERT_TRUE(decoder->updateData(prefix(jpeg, n), false));
    EXPECT_EQ(decoder->frameCount(), 1u);
    auto frame = decoder->frameAtIndex(0, false);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image()->bitmap()->width(), 64u);
    EXPECT_FALSE(decoder->frameAtIndex(1, false));
  }
  ASSERT_TRUE(decoder->updateData(whole(jpeg), true));
  EXPECT_EQ(decoder->frameCount(), 1u);
  EXPECT_FALSE(decoder->frameAtIndex(1, true));
  auto done = decoder->frameAtIndex(0, true);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->image()->bitmap()->pixelAt(10, 47).a, 255);
  EXPECT_EQ(done->image()->bitmap()->alphaInfo(), kit::AlphaInfo::NoneSkipFirst);
}

TEST(ImageDecoder, GIFShowsOnlyItsFirstFrameUntilTheFinalPiece) {
  const auto gif = gifFile({0.1, 0.1, 0.1}, 0, 16);
  auto decoder = KTImageDecoder::initWithScale(1);
  for (size_t n = 20; n < gif.size(); n += 7) {
    ASSERT_TRUE(decoder->updateData(prefix(gif, n), false));
    EXPECT_LE(decoder->frameCount(), 1u);
    EXPECT_FALSE(decoder->frameAtIndex(1, false)) << n;
  }
  ASSERT_TRUE(decoder->updateData(prefix(gif, gif.size() - 1), false));
  EXPECT_EQ(decoder->frameCount(), 1u);
  EXPECT_TRUE(decoder->frameAtIndex(0, false));
  ASSERT_TRUE(decoder->updateData(whole(gif), true));
  EXPECT_EQ(decoder->frameCount(), 3u);
  auto second = decoder->frameAtIndex(1, true);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->image()->bitmap()->pixelAt(3, 3), (Pixel{0, 255, 0, 255}));
}

TEST(ImageDecoder, GIFTimingAndLoopCountAsTheFileSays) {
  auto decoder = KTImageDecoder::decoderWithData(whole(gifFile({0.01, 0.05, 0.1}, 2)), 1);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->type(), KTImageTypeGIF);
  EXPECT_EQ(decoder->frameCount(), 3u);
  EXPECT_EQ(decoder->loopCount(), 2u);
  EXPECT_NEAR(decoder->frameDurationAtIndex(0), 0.01, 1e-9);  // no minimum here
  EXPECT_NEAR(decoder->frameDurationAtIndex(1), 0.05, 1e-9);
  EXPECT_NEAR(decoder->frameDurationAtIndex(2), 0.1, 1e-9);
  EXPECT_EQ(decoder->frameDurationAtIndex(3), 0);
  EXPECT_FALSE(decoder->frameAtIndex(3, false));
  EXPECT_FALSE(decoder->framePropertiesAtIndex(3));
  EXPECT_TRUE(decoder->framePropertiesAtIndex(2));
  EXPECT_FALSE(decoder->needsBlend());
  auto frame = decoder->frameAtIndex(2, false);
  ASSERT_TRUE(frame);
  EXPECT_NEAR(frame->duration(), 0.1, 1e-9);
  EXPECT_EQ(frame->index(), 2u);
}

TEST(ImageDecoder, ICOFramesKeepTheirOwnSizes) {
  std::vector<kit::EncodeFrame> entries(2);
  entries[0].bitmap = kit::test::patternBitmap(16, 16, true);
  entries[1].bitmap = kit::test::patternBitmap(32, 32, true);
  std::vector<uint8_t> ico;
  std::string error;
  ASSERT_TRUE(kit::writeICO(entries, ico, error)) << error;
  auto decoder = KTImageDecoder::decoderWithData(whole(ico), 1);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->type(), KTImageTypeICO);
  ASSERT_EQ(decoder->frameCount(), 2u);
  auto large = decoder->frameAtIndex(1, true);
  ASSERT_TRUE(large);
  EXPECT_EQ(large->image()->bitmap()->width(), 32u);
  EXPECT_EQ(large->image()->bitmap()->height(), 32u);
  EXPECT_TRUE(KT_isDecodedForDisplay(*large->image()));
  EXPECT_EQ(decoder->frameAtIndex(0, true)->image()->bitmap()->width(), 16u);
}

TEST(ImageDecoder, EXIFOrientationBecomesTheImageOrientation) {
  struct Case {
    int exif;
    kit::ImageOrientation orientation;
  };
  for (const Case& c : {Case{6, kit::ImageOrientation::Right}, Case{8, kit::ImageOrientation::Left},
                        Case{5, kit::ImageOrientation::LeftMirrored}, Case{3, kit::ImageOrientation::Down},
                        Case{0, kit::ImageOrientation::Up}, Case{9, kit::ImageOrientation::Up}}) {
    kit::EncodeOptions options;
    options.orientation = c.exif == 9 ? 6 : c.exif;
    auto jpeg = kit::test::encodeImages({kit::test::photoBitmap(12, 8)}, kit::UTType::JPEG, options);
    if (c.exif == 9) {
      // An orientation value no image has: rewrite the tag's value.
      const uint8_t tag[] = {0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6};
      auto at = std::search(jpeg.begin(), jpeg.end(), std::begin(tag), std::end(tag));
      ASSERT_NE(at, jpeg.end());
      at[9] = 9;
    }
    auto decoder = KTImageDecoder::decoderWithData(whole(jpeg), 1);
    ASSERT_TRUE(decoder) << c.exif;
    auto frame = decoder->frameAtIndex(0, true);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image()->orientation(), c.orientation) << c.exif;
    EXPECT_EQ(frame->image()->bitmap()->width(), 12u);  // the pixels stay as stored
  }
}

TEST(ImageDecoder, WebPIsRecognisedNotDecodedAndTheNoticeIsLoggedOnce) {
  // Once per process: counted in a process where no WebP was seen before.
  if (!kit::test::inOwnProcess()) return;
  kit::test::LogCapture log;
  std::vector<uint8_t> webp{'R', 'I', 'F', 'F', 40, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', ' '};
  webp.resize(48, 0);
  for (int i = 0; i < 2; ++i) {
    auto decoder = KTImageDecoder::initWithScale(1);
    EXPECT_TRUE(decoder->updateData(whole(webp), true));
    EXPECT_EQ(decoder->type(), KTImageTypeWebP);
    EXPECT_EQ(decoder->frameCount(), 0u);
    EXPECT_FALSE(decoder->frameAtIndex(0, true));
  }
  EXPECT_FALSE(KTImageDecoder::decoderWithData(whole(webp), 1));
  size_t notices = 0;
  for (const auto& message : log.messages()) notices += message.find("WebP") != std::string::npos;
  // Once a process: no other test decodes WebP, so the first run of this
  // test hears the notice and a repeated run does not.
  static bool firstRun = true;
  EXPECT_EQ(notices, firstRun ? 1u : 0u);
  firstRun = false;
}

TEST(ImageDecoder, ADownloadThreadAndADisplayThreadShareOneDecoder) {
  const auto gif = gifFile({0.1, 0.2, 0.3, 0.4}, 0, 24);
  auto decoder = KTImageDecoder::initWithScale(1);
  std::thread feeder([&] {
    for (size_t n = 17; n < gif.size(); n += 11) decoder->updateData(prefix(gif, n), false);
    decoder->updateData(whole(gif), true);
  });
  size_t frames = 0;
  while (!decoder->isFinalized() || frames < 4) {
    if (auto frame = decoder->frameAtIndex(frames % 4, true)) {
      EXPECT_EQ(frame->image()->bitmap()->width(), 24u);
    }
    decoder->frameDurationAtIndex(0);
    if (decoder->isFinalized()) ++frames;
  }
  feeder.join();
  EXPECT_EQ(decoder->frameCount(), 4u);
}

std::vector<uint8_t> readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Feeds a file in pieces, then whole, asking for every frame each time.
size_t feedInPieces(const std::vector<uint8_t>& file) {
  auto decoder = KTImageDecoder::initWithScale(1);
  const size_t step = std::max<size_t>(1, file.size() / 7);
  for (size_t n = 1; n < file.size(); n += step) {
    decoder->updateData(prefix(file, n), false);
    for (size_t i = 0; i <= decoder->frameCount(); ++i) {
      decoder->frameAtIndex(i, true);
      decoder->frameAtIndex(i, false);
    }
  }
  decoder->updateData(whole(file), true);
  size_t decoded = 0;
  for (size_t i = 0; i <= decoder->frameCount(); ++i) {
    decoded += decoder->frameAtIndex(i, true) != nullptr;
    decoder->frameAtIndex(i, false);
    decoder->framePropertiesAtIndex(i);
  }
  return decoded;
}

TEST(ImageDecoder, PublicPNGSuitesDecodeOrFailCleanlyPieceByPiece) {
  const fs::path png = fs::path(KIT_BENCH_DATA_DIR) / "png";
  if (!fs::is_directory(png / "pngsuite")) GTEST_SKIP() << "PNG suites not found under " << png;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(png / "pngsuite")) {
    if (entry.path().extension() != ".png") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++files;
    const auto file = readFile(entry.path());
    EXPECT_EQ(feedInPieces(file), 1u);
    auto decoder = KTImageDecoder::decoderWithData(whole(file), 1);
    ASSERT_TRUE(decoder);
    auto frame = decoder->frameAtIndex(0, true);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->image()->bitmap()->width(), 32u);
    EXPECT_EQ(frame->image()->bitmap()->height(), 32u);
  }
  EXPECT_GT(files, 40u);
  for (const auto& entry : fs::directory_iterator(png / "crashers")) {
    SCOPED_TRACE(entry.path().filename().string());
    feedInPieces(readFile(entry.path()));
  }
}

}  // namespace
