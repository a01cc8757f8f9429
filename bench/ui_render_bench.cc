// Rendering a screen to PNG: a 375x667 window with 200 views (rounded,
// bordered, half of them translucent) and 50 labels of Chinese text, drawn
// through the view tree and encoded, against the same picture drawn
// directly with kit's graphics context and text drawing (no view tree),
// encoded the same way. Both run on one core at the screen scale of 2.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

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

void BM_DirectDrawingToPNG(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  const auto scene = boxes();
  kit::TextAttributes text;
  text.font = kit::Font::systemFont(16);
  for (auto _ : state) {
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
    std::vector<uint8_t> png;
    std::string error;
    kit::writePNG(*image->bitmap(), png, error);
    benchmark::DoNotOptimize(png);
  }
}
BENCHMARK(BM_DirectDrawingToPNG)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
