// Decode throughput of PNG and JPEG through kit image I/O against calling
// libpng and libjpeg directly on the same bytes, with ratios printed at the
// end (kit time / direct time); and a large PNG fed piece by piece to an
// incremental source against the same file decoded in one go.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "kit/graphics/image_destination.h"
#include "kit/graphics/image_source.h"
#include "kit/graphics/type_identifiers.h"

namespace {

// A 512x512 picture with smooth colour and some noise, like a photo.
kit::Ref<kit::Bitmap> picture() {
  const size_t w = 512, h = 512;
  std::vector<uint8_t> px(w * h * 4);
  uint32_t seed = 7;
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      seed = seed * 1664525 + 1013904223;
      uint8_t* p = &px[(y * w + x) * 4];
      p[0] = static_cast<uint8_t>(x / 2 + ((seed >> 24) & 15));
      p[1] = static_cast<uint8_t>(y / 2 + ((seed >> 16) & 15));
      p[2] = static_cast<uint8_t>((x + y) / 4);
      p[3] = 255;
    }
  return kit::Bitmap::create(w, h, kit::PixelFormat::rgba8(), 0, px);
}

const std::vector<uint8_t>& encoded(const char* type) {
  static std::map<std::string, std::vector<uint8_t>> files;
  auto& file = files[type];
  if (file.empty()) {
    auto destination = kit::ImageDestination::create(type, 1);
    kit::EncodeOptions options;
    options.quality = 0.9;
    destination->addImage(picture(), options);
    destination->finalize();
    file = destination->data();
  }
  return file;
}

void BM_KitDecodePNG(benchmark::State& state) {
  const auto& file = encoded(kit::UTType::PNG);
  for (auto _ : state) {
    auto source = kit::ImageSource::create(file);
    auto bitmap = source->createImageAtIndex(0);
    benchmark::DoNotOptimize(bitmap);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_KitDecodePNG);

void BM_LibpngDecodePNG(benchmark::State& state) {
  const auto& file = encoded(kit::UTType::PNG);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_memory(&image, file.data(), file.size());
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_LibpngDecodePNG);

void BM_KitDecodeJPEG(benchmark::State& state) {
  const auto& file = encoded(kit::UTType::JPEG);
  for (auto _ : state) {
    auto source = kit::ImageSource::create(file);
    auto bitmap = source->createImageAtIndex(0);
    benchmark::DoNotOptimize(bitmap);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_KitDecodeJPEG);

void BM_LibjpegDecodeJPEG(benchmark::State& state) {
  const auto& file = encoded(kit::UTType::JPEG);
  for (auto _ : state) {
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, file.data(), file.size());
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_EXT_RGBA;
    c.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&c);
    std::vector<uint8_t> pixels(size_t{c.output_width} * c.output_height * 4);
    while (c.output_scanline < c.output_height) {
      JSAMPROW row = pixels.data() + size_t{c.output_scanline} * c.output_width * 4;
      jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_LibjpegDecodeJPEG);

// A 2048x2048 PNG of noise over a gradient: a large download (about 12 MiB).
const std::vector<uint8_t>& largePNG() {
  static const std::vector<uint8_t> file = [] {
    const size_t w = 2048, h = 2048;
    std::vector<uint8_t> px(w * h * 4);
    uint32_t seed = 11;
    for (size_t i = 0; i < w * h; ++i) {
      seed = seed * 1664525 + 1013904223;
      px[i * 4 + 0] = static_cast<uint8_t>(i % w / 8);
      px[i * 4 + 1] = static_cast<uint8_t>(seed >> 24);
      px[i * 4 + 2] = static_cast<uint8_t>(seed >> 16);
      px[i * 4 + 3] = 255;
    }
    auto destination = kit::ImageDestination::create(kit::UTType::PNG, 1);
    destination->addImage(kit::Bitmap::create(w, h, kit::PixelFormat::rgba8(), 0, px));
    destination->finalize();
    return destination->data();
  }();
  return file;
}

void BM_KitDecodeLargePNG(benchmark::State& state) {
  const auto& file = largePNG();
  for (auto _ : state) {
    auto source = kit::ImageSource::create(file);
    auto bitmap = source->createImageAtIndex(0);
    benchmark::DoNotOptimize(bitmap);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_KitDecodeLargePNG)->Unit(benchmark::kMillisecond);

// The same file arriving as a download does, 16 KiB at a time, each piece
// given to an incremental source as the data so far, then decoded whole.
void BM_KitProgressiveLargePNG(benchmark::State& state) {
  const auto& file = largePNG();
  constexpr size_t kPiece = 16 << 10;
  for (auto _ : state) {
    auto source = kit::ImageSource::createIncremental();
    for (size_t given = 0; given < file.size();) {
      const size_t next = std::min(file.size(), given + kPiece);
      source->updateData(std::span(file.data(), next), given, next == file.size());
      given = next;
    }
    auto bitmap = source->createImageAtIndex(0);
    benchmark::DoNotOptimize(bitmap);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_KitProgressiveLargePNG)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Goal: kit decodes through the same libraries, so it may add little
  // (format detection, the bitmap it fills).
  constexpr double kGoal = 1.3;
  bench::reportRatio("PNG_decode/libpng", reporter.cpuTime("BM_KitDecodePNG"), reporter.cpuTime("BM_LibpngDecodePNG"),
                     kGoal);
  bench::reportRatio("JPEG_decode/libjpeg", reporter.cpuTime("BM_KitDecodeJPEG"),
                     reporter.cpuTime("BM_LibjpegDecodeJPEG"), kGoal);
  // Goal: taking the bytes as they arrive costs little beyond one decode
  // of the whole file: each byte is copied about once, whatever the pieces,
  // so the ratio stays put as files grow (copying the data so far on every
  // piece made it about 3.4 for this file, and quadratic in its size).
  bench::reportRatio("PNG_progressive/one_shot", reporter.cpuTime("BM_KitProgressiveLargePNG"),
                     reporter.cpuTime("BM_KitDecodeLargePNG"), 1.5);
  benchmark::Shutdown();
  return 0;
}
