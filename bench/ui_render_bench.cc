// Rendering a screen: a 375x667 window with 200 views (rounded, bordered,
// half of them translucent) and 50 labels of Chinese text, drawn through
// the view tree, against two peers drawing the same picture: plain Cairo
// with Pango for the text (no kit at all; translucent views painted as
// groups, as the window must), and kit's graphics context and text drawing
// (no view tree). All run on one core at the screen scale of 2: the picture
// alone (a first frame of a fresh window), the window after ten labels
// changed their text, an unchanged window drawn again (against its first
// frame), the window drawn again after one view moved, the changed picture
// encoded to PNG, and two windows drawn in turn (each keeps its own picture);
// and a frame of the window under a full-screen blurred cover (a dimming
// view holding a dark blur effect view at alpha 0.4, as the channel's
// pop-ups lay over the game page) against the same frame without it.

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
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
#include "kit/ui/visual_effect_view.h"
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

// Label i's text; odd rounds of changes add a mark.
std::string labelText(int i, int round) {
  return "第" + std::to_string(i) + "行 知道了" + (round % 2 ? "!" : "");
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
    label->setText(labelText(i, 0));
    label->setFont(kit::Font::systemFont(16));
    window->addSubview(label);
  }
  window->layoutIfNeeded();
  return window;
}

// The window drawn and encoded after one view moved, so that every
// iteration draws a new picture (an unchanged window would give its kept
// picture and time the encoder alone).
void BM_RenderWindowToPNG(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  auto moved = window->subviews().front();
  size_t bytes = 0;
  double x = 0;
  for (auto _ : state) {
    x = x > 100 ? 0 : x + 1;
    moved->setFrame({x, 0, 40, 40});
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

// The peer with no kit in it: the same scene with Cairo paths and Pango
// layouts made for each picture, translucent views painted as groups.
std::vector<uint8_t> drawWithCairo(const std::vector<Scene>& scene) {
  constexpr int kScale = 2, kWidth = 375 * kScale, kHeight = 667 * kScale;
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(pixels.data(), CAIRO_FORMAT_ARGB32, kWidth, kHeight, kWidth * 4);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, kScale, kScale);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  auto roundedRect = [cr](const kit::Rect& r, double radius) {
    if (radius <= 0) {
      cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
      return;
    }
    const double x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
  };
  for (const auto& b : scene) {
    const bool group = b.alpha < 1;
    if (group) {
      // The group only as large as the view (and its border).
      cairo_save(cr);
      cairo_rectangle(cr, b.frame.origin.x, b.frame.origin.y, b.frame.size.width, b.frame.size.height);
      cairo_clip(cr);
      cairo_push_group(cr);
    }
    const kit::RGBA c = b.color->rgbaComponents();
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
    roundedRect(b.frame, b.radius);
    cairo_fill(cr);
    if (b.radius > 0) {
      cairo_set_source_rgb(cr, 0, 0, 0);
      cairo_set_line_width(cr, 1);
      roundedRect(b.frame.insetBy(0.5, 0.5), b.radius - 0.5);
      cairo_stroke(cr);
    }
    if (group) {
      cairo_pop_group_to_source(cr);
      cairo_paint_with_alpha(cr, b.alpha);
      cairo_restore(cr);
    }
  }
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, "WenQuanYi Micro Hei");
  pango_font_description_set_absolute_size(font, 16 * PANGO_SCALE);
  cairo_set_source_rgb(cr, 0, 0, 0);
  PangoContext* context = pango_cairo_create_context(cr);
  for (int i = 0; i < 50; ++i) {
    const kit::Rect r = labelFrame(i);
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, font);
    const std::string text = labelText(i, 0);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    pango_layout_set_width(layout, static_cast<int>(r.size.width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    cairo_move_to(cr, r.origin.x, r.origin.y + (r.size.height - h / double(PANGO_SCALE)) / 2);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
  }
  g_object_unref(context);
  pango_font_description_free(font);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return pixels;
}

void BM_PlainCairoDrawing(benchmark::State& state) {
  const auto scene = boxes();
  for (auto _ : state) benchmark::DoNotOptimize(drawWithCairo(scene));
}
BENCHMARK(BM_PlainCairoDrawing)->Unit(benchmark::kMillisecond);

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

// A built window's next frame after ten of its labels changed their text:
// the labels are laid out again, the rest drawn as before.
void BM_RenderWindowTenLabelsChanged(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  std::vector<kit::Ref<kit::Label>> labels;
  for (const auto& v : window->subviews())
    if (auto label = std::dynamic_pointer_cast<kit::Label>(v)) labels.push_back(label);
  benchmark::DoNotOptimize(kit::render(*window, 2));
  int round = 0;
  for (auto _ : state) {
    ++round;
    for (int i = 0; i < 10; ++i) {
      const size_t j = static_cast<size_t>(round * 10 + i) % labels.size();
      labels[j]->setText(labelText(static_cast<int>(j), round));
    }
    benchmark::DoNotOptimize(kit::render(*window, 2));
  }
}
BENCHMARK(BM_RenderWindowTenLabelsChanged)->Unit(benchmark::kMillisecond);

// Two unchanged windows drawn in turn: each frame comes from the window's
// own kept picture, whatever was drawn in between.
void BM_RenderTwoWindowsInTurn(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto first = buildWindow();
  auto second = buildWindow();
  benchmark::DoNotOptimize(kit::render(*first, 2));
  benchmark::DoNotOptimize(kit::render(*second, 2));
  for (auto _ : state) {
    benchmark::DoNotOptimize(kit::render(*first, 2));
    benchmark::DoNotOptimize(kit::render(*second, 2));
  }
}
BENCHMARK(BM_RenderTwoWindowsInTurn)->Unit(benchmark::kMillisecond);

// Draws the window once, then for every iteration moves its first view
// and draws it again: every frame is a new picture.
void drawWithOneViewMoving(benchmark::State& state, kit::Window& window) {
  auto moved = window.subviews().front();
  benchmark::DoNotOptimize(kit::render(window, 2));
  double x = 0;
  for (auto _ : state) {
    x = x > 100 ? 0 : x + 1;
    moved->setFrame({x, 0, 40, 40});
    benchmark::DoNotOptimize(kit::render(window, 2));
  }
}

// The same window drawn again after one view moved: every layer is drawn,
// the labels' kept text copied in.
void BM_RenderWindowOneViewMoved(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  drawWithOneViewMoving(state, *window);
}
BENCHMARK(BM_RenderWindowOneViewMoved)->Unit(benchmark::kMillisecond);

// The window drawn again after one view moved, under a full-screen cover
// that blurs it: the frame above plus the blur of the whole picture.
void BM_RenderWindowUnderBlurCover(benchmark::State& state) {
  kit::DeviceProfileScope profile(kit::DeviceProfile::phone375x667());
  auto window = buildWindow();
  auto cover = kit::View::make(window->bounds());
  cover->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur = kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), cover->bounds());
  blur->setAlpha(0.4);
  cover->addSubview(blur);
  window->addSubview(cover);
  drawWithOneViewMoving(state, *window);
}
BENCHMARK(BM_RenderWindowUnderBlurCover)->Unit(benchmark::kMillisecond);

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
  // Goals: a window costs at most twice the picture drawn with plain Cairo
  // and Pango (and with kit's graphics context), a frame after ten label
  // changes at most 1.2 times it, and an unchanged window redrawn at most
  // half its first frame, whichever other window was drawn in between.
  bench::reportRatio("render_window/plain_cairo", reporter.cpuTime("BM_RenderWindowFirstFrame"),
                     reporter.cpuTime("BM_PlainCairoDrawing"), 2.0);
  bench::reportRatio("render_ten_labels_changed/plain_cairo", reporter.cpuTime("BM_RenderWindowTenLabelsChanged"),
                     reporter.cpuTime("BM_PlainCairoDrawing"), 1.2);
  bench::reportRatio("render_window/direct_drawing", reporter.cpuTime("BM_RenderWindowFirstFrame"),
                     reporter.cpuTime("BM_DirectDrawing"), 2.0);
  bench::reportRatio("render_two_windows_unchanged/first_frame", reporter.cpuTime("BM_RenderTwoWindowsInTurn") / 2,
                     reporter.cpuTime("BM_RenderWindowFirstFrame"), 0.5);
  bench::reportRatio("render_unchanged_frame/first_frame", reporter.cpuTime("BM_RenderWindowUnchangedFrame"),
                     reporter.cpuTime("BM_RenderWindowFirstFrame"), 0.5);
  bench::reportRatio("render_window_to_PNG/direct_drawing_to_PNG", reporter.cpuTime("BM_RenderWindowToPNG"),
                     reporter.cpuTime("BM_DirectDrawingToPNG"), 2.0);
  // A frame under a full-screen blurred cover (the dimming, the tint drawn
  // through its group, and the blur) costs at most twice the plain frame.
  bench::reportRatio("render_blur_cover/one_view_moved", reporter.cpuTime("BM_RenderWindowUnderBlurCover"),
                     reporter.cpuTime("BM_RenderWindowOneViewMoved"), 2.0);
  // Without a goal: what keeping the labels' text saves when the picture
  // must be drawn again.
  bench::printRatio("one view moved", "window/direct drawing", reporter.cpuTime("BM_RenderWindowOneViewMoved"),
                    reporter.cpuTime("BM_DirectDrawing"));
  return 0;
}
