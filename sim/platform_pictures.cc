// The platform web host's pictures. See platform_pictures.h.
#include "sim/platform_pictures.h"

#include <cmath>
#include <vector>

#include "kit/graphics/color.h"
#include "kit/graphics/color_space.h"
#include "kit/graphics/gradient.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/path.h"
#include "kit/ui/font.h"
#include "kit/ui/text_measure.h"

namespace sim {

namespace {

using kit::Color;
using kit::Rect;

constexpr double kScale = 2;

kit::Ref<Color> rgb(unsigned hex, double alpha = 1) { return Color::hex(hex, alpha); }

// Draws into a clear picture of `size` points and returns its PNG bytes.
template <class Draw>
std::string drawPNG(kit::Size size, Draw draw) {
  if (!kit::beginImageContext(size, false, kScale)) return {};
  draw(*kit::currentContext());
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  if (!image) return {};
  const std::vector<uint8_t> bytes = image->pngData();
  return std::string(bytes.begin(), bytes.end());
}

void fillGradient(kit::GraphicsContext& ctx, const kit::Path& shape, const Rect& box, unsigned top, unsigned bottom) {
  ctx.saveGState();
  ctx.beginPath();
  ctx.addPath(shape);
  ctx.clip();
  auto gradient = kit::Gradient::create(kit::ColorSpace::deviceRGB(), {rgb(top), rgb(bottom)});
  ctx.drawLinearGradient(*gradient, {box.midX(), box.minY()}, {box.midX(), box.maxY()}, 0);
  ctx.restoreGState();
}

// A game pad centred on `c`, `w` wide: the body, the cross on the left and
// two buttons on the right, cut out in `cut`.
void gamePad(kit::GraphicsContext& ctx, kit::Point c, double w, const kit::Ref<Color>& body,
             const kit::Ref<Color>& cut) {
  const double h = w * 0.58;
  ctx.setFillColor(body);
  ctx.beginPath();
  ctx.addPath(*kit::Path::withRoundedRect({c.x - w / 2, c.y - h / 2, w, h}, h * 0.45));
  ctx.fillPath();
  ctx.setFillColor(cut);
  const double arm = w * 0.09, span = w * 0.3, left = c.x - w * 0.24;
  ctx.fillRect({left - span / 2, c.y - arm / 2, span, arm});
  ctx.fillRect({left - arm / 2, c.y - span / 2, arm, span});
  const double dot = w * 0.12;
  ctx.fillEllipseInRect({c.x + w * 0.13, c.y - dot * 0.2 - dot / 2, dot, dot});
  ctx.fillEllipseInRect({c.x + w * 0.27, c.y - dot * 0.9, dot, dot});
}

std::string drawBall() {
  constexpr double S = PlatformPictures::kBallSide;
  return drawPNG({S, S}, [](kit::GraphicsContext& ctx) {
    // A soft shadow ring, the ball with its light from above, a white rim.
    ctx.setFillColor(rgb(0x000000, 0.18));
    ctx.fillEllipseInRect({2, 3, S - 4, S - 4});
    const Rect ball{3, 2, S - 6, S - 6};
    fillGradient(ctx, *kit::Path::withEllipse(ball), ball, 0xFFA640, 0xF26A00);
    ctx.setStrokeColor(rgb(0xFFFFFF, 0.9));
    ctx.setLineWidth(2);
    ctx.strokeEllipseInRect(ball.insetBy(3, 3));
    // The shine over the upper half.
    ctx.setFillColor(rgb(0xFFFFFF, 0.22));
    ctx.fillEllipseInRect({ball.minX() + 9, ball.minY() + 5, ball.width() - 18, ball.height() * 0.38});
    gamePad(ctx, {S / 2, S / 2 + 1}, S * 0.5, rgb(0xFFFFFF), rgb(0xF27A10));
  });
}

// One line of text, its left edge at x, centred on y.
void line(const std::string& words, double x, double y, double size, const kit::Ref<Color>& color, bool bold) {
  kit::TextAttributes attributes;
  attributes.font = bold ? kit::Font::boldSystemFont(size) : kit::Font::systemFont(size);
  attributes.foregroundColor = color;
  const kit::Size measured = kit::sizeWithAttributes(words, attributes);
  kit::drawText(words, Rect{x, y - measured.height / 2, std::ceil(measured.width) + 2, std::ceil(measured.height) + 2},
                attributes);
}

std::string drawLogo() {
  constexpr double W = PlatformPictures::kLogoWidth, H = PlatformPictures::kLogoHeight;
  return drawPNG({W, H}, [](kit::GraphicsContext& ctx) {
    // The mark: a rounded square with the ball's game pad.
    const Rect mark{6, 3, H - 6, H - 6};
    fillGradient(ctx, *kit::Path::withRoundedRect(mark, 8), mark, 0xFFA640, 0xF26A00);
    gamePad(ctx, {mark.midX(), mark.midY()}, mark.width() * 0.68, rgb(0xFFFFFF), rgb(0xF27A10));
    // The word mark and its line.
    const double x = mark.maxX() + 8;
    line("TOLMIX", x, H * 0.36, 17, rgb(0x2B2B2B), true);
    line("游戏中心 · 畅玩无限", x + 1, H * 0.76, 8.5, rgb(0xF27A10), false);
  });
}

}  // namespace

const std::string& PlatformPictures::floatIconPNG() {
  static const std::string png = drawBall();
  return png;
}

const std::string& PlatformPictures::logoPNG() {
  static const std::string png = drawLogo();
  return png;
}

}  // namespace sim
