// The image effects' blur against a direct Gaussian: a radius-20 blur of a
// 1024x768 picture through the effect (three box passes over a
// premultiplied 8-bit buffer) against a separable Gaussian of the same
// radius (sigma 20, taps out to three sigma) written here in fixed point
// over the same buffer. Prints "RATIO <name> <ratio> goal <= <goal>
// <met|not met>".
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "bench/bench_support.h"
#include "kit/graphics/pixel_buffer.h"
#include "kit/graphics/testing/image_test_support.h"
#include "ui/images/kt_image_effects.h"

namespace {

constexpr size_t kWidth = 1024, kHeight = 768;
constexpr double kRadius = 20;

const kit::Ref<kit::Image>& picture() {
  static const kit::Ref<kit::Image> image = kit::Image::withBitmap(kit::test::photoBitmap(kWidth, kHeight), 1);
  return image;
}

// One pass of a 1-D kernel (weights summing to 65536) along rows or
// columns, with the edge pixels repeated.
void gaussianPass(const kit::PixelBuffer& in, kit::PixelBuffer& out, const std::vector<int32_t>& kernel,
                  bool horizontal) {
  const long half = static_cast<long>(kernel.size() / 2);
  const long w = static_cast<long>(in.width), h = static_cast<long>(in.height);
  for (long y = 0; y < h; ++y) {
    uint8_t* dst = out.row(y);
    for (long x = 0; x < w; ++x) {
      int64_t acc[4] = {0, 0, 0, 0};
      for (long k = -half; k <= half; ++k) {
        const long sx = horizontal ? std::clamp(x + k, 0L, w - 1) : x;
        const long sy = horizontal ? y : std::clamp(y + k, 0L, h - 1);
        const uint8_t* p = in.row(sy) + sx * 4;
        const int32_t weight = kernel[k + half];
        for (int c = 0; c < 4; ++c) acc[c] += p[c] * weight;
      }
      for (int c = 0; c < 4; ++c) dst[x * 4 + c] = static_cast<uint8_t>((acc[c] + 32768) >> 16);
    }
  }
}

std::vector<int32_t> gaussianKernel(double sigma) {
  const int half = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> weights(2 * half + 1);
  double sum = 0;
  for (int i = -half; i <= half; ++i) sum += weights[i + half] = std::exp(-(i * i) / (2 * sigma * sigma));
  std::vector<int32_t> kernel;
  for (double w : weights) kernel.push_back(static_cast<int32_t>(std::lround(w / sum * 65536)));
  return kernel;
}

void BM_EffectBlur(benchmark::State& state) {
  for (auto _ : state) {
    auto blurred = KT_imageByBlurRadius(picture(), kRadius, nullptr, 0, 1.0, nullptr);
    if (!blurred) {
      state.SkipWithError("the blur gave nil");
      return;
    }
    benchmark::DoNotOptimize(blurred);
  }
}
BENCHMARK(BM_EffectBlur)->Unit(benchmark::kMillisecond);

void BM_DirectGaussian(benchmark::State& state) {
  const auto kernel = gaussianKernel(kRadius);
  for (auto _ : state) {
    kit::PixelBuffer source, other;
    kit::bufferFromBitmap(source, *picture()->bitmap(), kit::PixelFormat::argb32());
    kit::initBuffer(other, source.height, source.width, 32);
    gaussianPass(source, other, kernel, true);
    gaussianPass(other, source, kernel, false);
    auto bitmap = kit::bitmapFromBuffer(std::move(source), kit::PixelFormat::argb32());
    auto image = kit::Image::withBitmap(bitmap, 1);
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BM_DirectGaussian)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  picture();
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Box passes cost the same for any radius; the direct kernel grows with
  // it (121 taps a pass here), so the effect should take a small fraction.
  bench::reportRatio("blur_radius20_box_passes_vs_direct_gaussian", reporter.cpuTime("BM_EffectBlur"),
                     reporter.cpuTime("BM_DirectGaussian"), 0.25);
  return 0;
}
