// Frames served per second to a GIF view: the animated GIF model's cached
// playback (every frame decoded once, then handed out from the cache) and
// its windowed playback (one frame cached, each decoded ahead on the
// model's queue and delivered to the main queue) against decoding every
// frame straight from kit::ImageSource, as a player without the model
// would. Ratios are printed at the end (time per frame, model over direct).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/data.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_source.h"
#include "ui/images/nuva_animated_gif.h"

namespace {

constexpr size_t kFrames = 12;
constexpr size_t kSide = 240;

// A 240x240 GIF of 12 frames: a moving gradient band over a flat ground,
// about what a pop-up banner plays.
const std::vector<uint8_t>& gifFile() {
  static const std::vector<uint8_t> file = [] {
    std::vector<kit::EncodeFrame> frames;
    for (size_t f = 0; f < kFrames; ++f) {
      std::vector<uint8_t> px(kSide * kSide * 4);
      for (size_t y = 0; y < kSide; ++y)
        for (size_t x = 0; x < kSide; ++x) {
          uint8_t* p = &px[(y * kSide + x) * 4];
          const bool band = (x + f * 20) % kSide < 60;
          p[0] = band ? static_cast<uint8_t>(x) : 30;
          p[1] = band ? static_cast<uint8_t>(y) : 60;
          p[2] = static_cast<uint8_t>(f * 20);
          p[3] = 255;
        }
      kit::EncodeFrame frame;
      frame.bitmap = kit::Bitmap::create(kSide, kSide, kit::PixelFormat::rgba8(), 0, std::move(px));
      frame.options.gifDelayTime = 0.1;
      frames.push_back(frame);
    }
    std::vector<uint8_t> out;
    std::string error;
    kit::writeGIF(frames, 0, out, error);
    return out;
  }();
  return file;
}

// Runs the main run loop until the model's queued frames have arrived.
void finishDecoding(const NUVAAnimatedGIF& gif) {
  kit::QueueActivityWatch watch;
  kit::RunLoop& loop = kit::RunLoop::main();
  if (gif.serialQueue()) {
    auto decoded = std::make_shared<std::atomic<bool>>(false);
    gif.serialQueue()->barrierAsync([decoded] { decoded->store(true); });
    loop.runUntil([&] { return decoded->load(); }, 30.0);
  }
  bool delivered = false;
  kit::Queue::main().async([&delivered] { delivered = true; });
  loop.runUntil([&] { return delivered; }, 30.0);
}

void BM_ModelCachedPlayback(benchmark::State& state) {
  auto gif = NUVAAnimatedGIF::animatedImageWithGIFData(kit::Data::make(gifFile()));
  gif->imageLazilyCachedAtIndex(1);
  finishDecoding(*gif);
  size_t index = 0;
  for (auto _ : state) {
    auto frame = gif->imageLazilyCachedAtIndex(index);
    if (!frame) state.SkipWithError("frame missing from a whole cache");
    benchmark::DoNotOptimize(frame);
    index = (index + 1) % kFrames;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ModelCachedPlayback);

// A one-frame cache: each step asks for the next frame and, when it is not
// there yet, runs the main run loop until the model's queue delivers it.
// The latency of one decode and two thread hops per frame, with and
// without predrawing.
void BM_ModelWindowedPlayback(benchmark::State& state) {
  auto gif = NUVAAnimatedGIF::initWithAnimatedGIFData(kit::Data::make(gifFile()), 0, state.range(0) != 0);
  gif->setFrameCacheSizeMax(1);
  kit::QueueActivityWatch watch;
  kit::RunLoop& loop = kit::RunLoop::main();
  size_t index = 1;
  for (auto _ : state) {
    kit::Ref<kit::Image> frame = gif->imageLazilyCachedAtIndex(index);
    if (!frame) loop.runUntil([&] { return (frame = gif->imageLazilyCachedAtIndex(index)) != nullptr; }, 30.0);
    benchmark::DoNotOptimize(frame);
    index = index + 1 == kFrames ? 1 : index + 1;  // frame 0 is the poster, always cached
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ModelWindowedPlayback)->ArgName("predraw")->Arg(1)->Arg(0)->UseRealTime();

void BM_ImageSourceDecodeEachFrame(benchmark::State& state) {
  kit::ImageSourceOptions options;
  options.shouldCache = false;
  auto source = kit::ImageSource::create(gifFile(), options);
  size_t index = 0;
  for (auto _ : state) {
    auto frame = kit::Image::withBitmap(source->createImageAtIndex(index));
    if (!frame) state.SkipWithError("frame did not decode");
    benchmark::DoNotOptimize(frame);
    index = (index + 1) % kFrames;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_ImageSourceDecodeEachFrame)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // Time per frame (the inverse of frames per second), ours over decoding
  // each frame directly. Goals: a cached frame is a hundred times cheaper
  // than a decode; a frame decoded ahead on the model's queue and handed
  // to the main thread costs at most half again a decode on the spot.
  auto secondsPerFrame = [&](const char* name) {
    const double rate = reporter.counter(name, "items_per_second");
    return rate > 0 ? 1 / rate : 0;
  };
  const double direct = secondsPerFrame("BM_ImageSourceDecodeEachFrame/real_time");
  bench::reportRatio("GIF_frame_cached/direct_decode", secondsPerFrame("BM_ModelCachedPlayback"), direct, 0.01);
  bench::reportRatio("GIF_frame_windowed/direct_decode",
                     secondsPerFrame("BM_ModelWindowedPlayback/predraw:1/real_time"), direct, 1.5);
  benchmark::Shutdown();
  return 0;
}
