// Rendering a screen: a 375x667 window with 200 views (rounded, bordered,
// half of them translucent) and 50 labels of Chinese text, drawn through
// the view tree, against the same picture drawn directly with kit's
// graphics context and text drawing (no view tree, straight onto Cairo).
// Both run on one core at the screen scale of 2: the picture alone (a first
// frame of a fresh window), an unchanged window drawn again (against its
// first frame), the window drawn again after one view moved, and the
// picture encoded to PNG.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_codecs.h"
#include "kit/graphics/image_context.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/label.h"
#include "kit/ui/render.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/window.h"

namespace {

struct Scene {
  kit::Rect frame;
  kit::Ref<kit::Color> color;
  double radius;
  double alpha;
};

std::vector<Scene> boxes() {
  std::vector<Scene> out;
  for (int i = 0; i < 200; ++i) {
    const double x = (i * 37) % 335, y = (i * 53) % 627;
    out.push_back({{x, y, 40, 40},
                   kit::Color::rgba((i % 7) / 7.0, (i % 5) / 5.0, (i % 3) / 3.0, 1),
                   i % 2 ? 8.0 : 0.0,
                   i % 2 ? 0.5 : 1.0});
  }
  return out;
}

kit::Rect labelFrame(int i) { return {static_cast<double>((i * 29) % 255), static_cast<double>(i * 13), 120, 22}; }

kit::Ref<kit::Window> buildWindow() {
  auto window = kit::Window::make();
  window->setBackgroundColor(kit::Color::whiteColor());
  for (const auto& b : boxes()) {
    auto v = kit::View::make(b.frame);
    v->setBackgroundColor(b.color);
    v->layer()->setCornerRadius(b.radius);
    v->layer()->setBorderWidth(b.radius > 0 ? 1 : 0);
    v->setAlpha(b.alpha);
    window->addSubview(v);
  }
  for (int i = 0; i < 50; ++i) {
    auto label = kit::Label::make(labelFrame(i));
    label->setText("第" + std::to_string(i) + "行 知道了");
    label->setFont(kit::Font::systemFont(16));
    window->addSubview(label);
  }
  window->layoutIfNeeded();
  return window;
}

void BM_RenderWindowToPNG(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  size_t bytes = 0;
  for (auto _ : state) {
    auto picture = kit::render(*window, 2);
    std::vector<uint8_t> png;
    std::string error;
    kit::writePNG(*picture, png, error);
    bytes = png.size();
    benchmark::DoNotOptimize(png);
  }
  state.counters["png_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RenderWindowToPNG)->Unit(benchmark::kMillisecond);

// The picture drawn straight onto an image context, as the window shows it.
kit::Ref<kit::Image> drawDirectly(const std::vector<Scene>& scene) {
  kit::TextAttributes text;
  text.font = kit::Font::systemFont(16);
  kit::beginImageContext({375, 667}, false, 2);
  auto ctx = kit::currentContext();
  ctx->setFillColor(kit::Color::whiteColor());
  ctx->fillRect({0, 0, 375, 667});
  for (const auto& b : scene) {
    ctx->setAlpha(b.alpha);
    ctx->setFillColor(b.color);
    ctx->addPath(*kit::Path::withRoundedRect(b.frame, b.radius));
    ctx->fillPath();
    if (b.radius > 0) {
      ctx->setStrokeColor(kit::Color::blackColor());
      ctx->setLineWidth(1);
      ctx->addPath(*kit::Path::withRoundedRect(b.frame.insetBy(0.5, 0.5), b.radius - 0.5));
      ctx->strokePath();
    }
  }
  ctx->setAlpha(1);
  for (int i = 0; i < 50; ++i) kit::drawText("第" + std::to_string(i) + "行 知道了", labelFrame(i), text);
  auto image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

void BM_DirectDrawingToPNG(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  const auto scene = boxes();
  for (auto _ : state) {
    auto image = drawDirectly(scene);
    std::vector<uint8_t> png;
    std::string error;
    kit::writePNG(*image->bitmap(), png, error);
    benchmark::DoNotOptimize(png);
  }
}
BENCHMARK(BM_DirectDrawingToPNG)->Unit(benchmark::kMillisecond);

// The first frame of a window: each iteration builds a fresh window (not
// timed) and draws it.
void BM_RenderWindowFirstFrame(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  for (auto _ : state) {
    state.PauseTiming();
    auto window = buildWindow();
    state.ResumeTiming();
    benchmark::DoNotOptimize(kit::render(*window, 2));
    state.PauseTiming();
    window = nullptr;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RenderWindowFirstFrame)->Unit(benchmark::kMillisecond);

// The same window drawn again with nothing changed since its last frame.
void BM_RenderWindowUnchangedFrame(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  benchmark::DoNotOptimize(kit::render(*window, 2));
  for (auto _ : state) benchmark::DoNotOptimize(kit::render(*window, 2));
}
BENCHMARK(BM_RenderWindowUnchangedFrame)->Unit(benchmark::kMillisecond);

// The same window drawn again after one view moved: every layer is drawn,
// the labels' kept text copied in.
void BM_RenderWindowOneViewMoved(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  auto moved = window->subviews().front();
  benchmark::DoNotOptimize(kit::render(*window, 2));
  double x = 0;
  for (auto _ : state) {
    x = x > 100 ? 0 : x + 1;
    moved->setFrame({x, 0, 40, 40});
    benchmark::DoNotOptimize(kit::render(*window, 2));
  }
}
BENCHMARK(BM_RenderWindowOneViewMoved)->Unit(benchmark::kMillisecond);

void BM_DirectDrawing(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  const auto scene = boxes();
  for (auto _ : state) benchmark::DoNotOptimize(drawDirectly(scene));
}
BENCHMARK(BM_DirectDrawing)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  // Goals: a window costs at most twice the picture drawn directly, and an
  // unchanged window redrawn at most half its first frame.
  bench::reportRatio("render_window/direct_drawing", reporter.cpuTime("BM_RenderWindowFirstFrame"),
                     reporter.cpuTime("BM_DirectDrawing"), 2.0);
  bench::reportRatio("render_unchanged_frame/first_frame", reporter.cpuTime("BM_RenderWindowUnchangedFrame"),
                     reporter.cpuTime("BM_RenderWindowFirstFrame"), 0.5);
  bench::reportRatio("render_window_to_PNG/direct_drawing_to_PNG", reporter.cpuTime("BM_RenderWindowToPNG"),
                     reporter.cpuTime("BM_DirectDrawingToPNG"), 2.0);
  // Without a goal: what keeping the labels' text saves when the picture
  // must be drawn again.
  bench::printRatio("one view moved", "window/direct drawing", reporter.cpuTime("BM_RenderWindowOneViewMoved"),
                    reporter.cpuTime("BM_DirectDrawing"));
  return 0;
}
