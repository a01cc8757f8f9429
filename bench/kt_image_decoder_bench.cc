// Animated PNG playback through the image decoder against decoding the same
// frames alone: every frame of a 60-frame animated PNG asked from one
// decoder in order (one canvas step per frame) and in a shuffled order
// (rebuilds from each frame's blend origin), and every fifth frame twice of
// an animation whose frames all build on frame 0 (jumps that continue from
// the canvas), against decoding the 60 assembled stand-alone frame PNGs
// through kit's image source. Prints "RATIO <name> <ratio> goal <= <goal>
// <met|not met>" for each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "bench/bench_support.h"
#include "kit/graphics/image_source.h"
#include "ui/images/kt_apng.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/testing/apng_test_support.h"

namespace {

constexpr size_t kFrames = 60;
constexpr uint32_t kCanvas = 240;
constexpr size_t kKeyframeEvery = 10;

// A sprite moving over a backdrop: a full-size frame every ten frames, and
// between them a 96x96 patch drawn over the canvas, as animation tools
// write them.
kit::Ref<kit::Bitmap> picture(size_t w, size_t h, size_t seed) {
  std::vector<kit::Pixel> pixels(w * h);
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      const bool inside = (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < w * h / 5;
      pixels[y * w + x] = {uint8_t(x + seed * 9), uint8_t(y * 2 + seed), uint8_t((x ^ y) + seed * 3),
                           uint8_t(inside ? 255 : (x + y) % 3 == 0 ? 0 : 160)};
    }
  }
  return apngtest::bitmap(w, h, pixels);
}

const std::vector<uint8_t>& animation() {
  static const std::vector<uint8_t> file = [] {
    std::vector<apngtest::Frame> frames;
    for (size_t i = 0; i < kFrames; ++i) {
      apngtest::Frame f;
      if (i % kKeyframeEvery == 0) {
        f.pixels = picture(kCanvas, kCanvas, i);
      } else {
        f.pixels = picture(96, 96, i);
        f.x = static_cast<uint32_t>((i * 13) % (kCanvas - 96));
        f.y = static_cast<uint32_t>((i * 29) % (kCanvas - 96));
        f.blend = 1;
      }
      frames.push_back(f);
    }
    return apngtest::animatedPNG(kCanvas, kCanvas, frames);
  }();
  return file;
}

// The same sprite over one backdrop for the whole run: every frame's
// picture starts at frame 0, as long animations of small changes do.
const std::vector<uint8_t>& driftAnimation() {
  static const std::vector<uint8_t> file = [] {
    std::vector<apngtest::Frame> frames;
    for (size_t i = 0; i < kFrames; ++i) {
      apngtest::Frame f;
      if (i == 0) {
        f.pixels = picture(kCanvas, kCanvas, i);
      } else {
        f.pixels = picture(96, 96, i);
        f.x = static_cast<uint32_t>((i * 13) % (kCanvas - 96));
        f.y = static_cast<uint32_t>((i * 29) % (kCanvas - 96));
        f.blend = 1;
      }
      frames.push_back(f);
    }
    return apngtest::animatedPNG(kCanvas, kCanvas, frames);
  }();
  return file;
}

// The frames as stand-alone PNGs, as the decoder assembles them.
const std::vector<std::vector<uint8_t>>& framePNGs() {
  static const std::vector<std::vector<uint8_t>> pngs = [] {
    std::vector<std::vector<uint8_t>> out;
    auto info = KTAPNGReadChunks(animation());
    for (size_t i = 0; info && i < info->frames.size(); ++i) out.push_back(*KTAPNGCopyFrameData(animation(), *info, i));
    return out;
  }();
  return pngs;
}

void playThroughDecoder(benchmark::State& state, const std::vector<size_t>& order,
                        const std::vector<uint8_t>& file = animation()) {
  auto decoder = KTImageDecoder::decoderWithData(kit::Data::make(file), 1);
  if (!decoder || decoder->frameCount() != kFrames) {
    state.SkipWithError("the animation did not read as 60 frames");
    return;
  }
  for (auto _ : state) {
    for (size_t i : order) {
      auto frame = decoder->frameAtIndex(i, true);
      benchmark::DoNotOptimize(frame);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * order.size()));
}

void BM_DecoderInOrder(benchmark::State& state) {
  std::vector<size_t> order(kFrames);
  std::iota(order.begin(), order.end(), 0);
  playThroughDecoder(state, order);
}
BENCHMARK(BM_DecoderInOrder)->Unit(benchmark::kMillisecond);

void BM_DecoderShuffled(benchmark::State& state) {
  std::vector<size_t> order(kFrames);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(42));
  playThroughDecoder(state, order);
}
BENCHMARK(BM_DecoderShuffled)->Unit(benchmark::kMillisecond);

// A player skipping ahead through an animation whose frames all build on
// frame 0: every fifth frame, each shown twice (the jump, then the
// redisplay), one pass.
std::vector<size_t> jumpsAhead() {
  std::vector<size_t> order;
  for (size_t i = 0; i < kFrames; i += 5) order.insert(order.end(), {i, i});
  return order;
}

void BM_DecoderJumpsAhead(benchmark::State& state) { playThroughDecoder(state, jumpsAhead(), driftAnimation()); }
BENCHMARK(BM_DecoderJumpsAhead)->Unit(benchmark::kMillisecond);

void BM_FramePNGsAlone(benchmark::State& state) {
  const auto& pngs = framePNGs();
  if (pngs.size() != kFrames) {
    state.SkipWithError("the frames did not assemble");
    return;
  }
  for (auto _ : state) {
    for (const auto& png : pngs) {
      auto source = kit::ImageSource::create(png);
      auto bitmap = source->createImageAtIndex(0);
      benchmark::DoNotOptimize(bitmap);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pngs.size()));
}
BENCHMARK(BM_FramePNGsAlone)->Unit(benchmark::kMillisecond);

void printGoal(const char* name, double ours, double peer, double goal) {
  if (ours <= 0 || peer <= 0) return;
  const double ratio = ours / peer;
  std::printf("RATIO %s %.2f goal <= %.2f %s\n", name, ratio, goal, ratio <= goal ? "met" : "not met");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  animation();  // built before anything is timed
  driftAnimation();
  framePNGs();
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double alone = reporter.cpuTime("BM_FramePNGsAlone");
  // In order, each frame costs its own decoding plus its premultiplication,
  // one draw on the canvas and a snapshot of it.
  printGoal("apng_decoder_in_order_vs_frames_alone", reporter.cpuTime("BM_DecoderInOrder"), alone, 2.0);
  // Shuffled, a frame rebuilds the canvas from its blend origin, the last
  // keyframe: 5.5 frames decoded and drawn on average (rebuilding from
  // frame 0 would cost about 30).
  printGoal("apng_decoder_shuffled_vs_frames_alone", reporter.cpuTime("BM_DecoderShuffled"), alone, 10.0);
  // Jumping ahead by five continues from the canvas: five frames drawn per
  // jump and none for the redisplay, so the pass costs about the 60 frames
  // alone (rebuilding every request from frame 0 would cost about 12 times
  // as much).
  printGoal("apng_decoder_jumps_ahead_vs_frames_alone", reporter.cpuTime("BM_DecoderJumpsAhead"), alone, 2.5);
  benchmark::Shutdown();
  return 0;
}
