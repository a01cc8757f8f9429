// Decode throughput of PNG and JPEG through kit image I/O against calling
// libpng and libjpeg directly on the same bytes, with ratios printed at the
// end (kit time / direct time).
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include <png.h>

#include <cstdio>
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

// Prints kit time / direct time for each pair after the run.
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
  benchmark::Shutdown();
  return 0;
}
