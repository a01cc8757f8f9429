// channel_artwork: draws the channel pop-ups' artwork of the resource
// bundle "NUVALight.bundle" (the lucky-player cards and their buttons, the
// custom luck pictures, the time-store banner's animated background, the
// close image, and the store's pictures: the time store's backdrops, the
// prop tile's empty slot, the pack row's badge, buttons, plus sign and
// arrow, the level-reached pop-up's panel, logo, picture frame, item
// background and buttons, the hub's tabs, description panels, claim button,
// amount plate and claimed stamp, the free video's play and close icons,
// and the resource hall's tabs, panels, cards, wheel, progress bar, draw
// pop-ups and not-open placard) with kit graphics and kit text, and writes it as
// PNG and GIF files. The files are committed under resources/, so the bundle exists
// without running this; run it again only to change the pictures.
//
//   channel_artwork <resources folder>     (writes <folder>/NUVALight.bundle/...)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kit/graphics/color_space.h"
#include "kit/graphics/gradient.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/path.h"
#include "kit/graphics/type_identifiers.h"
#include "kit/ui/font.h"
#include "kit/ui/text_measure.h"

namespace {

using kit::Color;
using kit::Rect;
using kit::Ref;

// The look of one reward kind: background colours, accent and texts.
struct Theme {
  Ref<Color> top, bottom;  // the card's gradient
  Ref<Color> accent;       // stars, ribbons and the button
  Ref<Color> accentDark;
  std::string name;        // the kind's name, drawn on the card
  std::string button;      // the button's text
};

Ref<Color> rgb(unsigned hex, double alpha = 1) { return Color::hex(hex, alpha); }

Theme luckTheme() {
  return {rgb(0xB3261E), rgb(0xF06A2A), rgb(0xFFD34D), rgb(0xC77800), "幸运玩家", "立即领取"};
}
Theme dayTheme() {
  return {rgb(0x145A8C), rgb(0x2BB3C8), rgb(0x7CF3E0), rgb(0x108A7A), "每日福利", "去使用"};
}
Theme activeTheme() {
  return {rgb(0x4B1E8C), rgb(0xB04FD8), rgb(0xFFB3F0), rgb(0x9A2C9A), "活跃奖励", "领取奖励"};
}

// ---- Drawing helpers (the image context's space runs top-down, in points)

kit::GraphicsContext& context() { return *kit::currentContext(); }

void fillRounded(const Rect& rect, double radius, const Ref<Color>& color) {
  context().setFillColor(color);
  context().beginPath();
  context().addPath(*kit::Path::withRoundedRect(rect, radius));
  context().fillPath();
}

void gradientRounded(const Rect& rect, double radius, const Ref<Color>& top, const Ref<Color>& bottom) {
  auto& ctx = context();
  ctx.saveGState();
  ctx.beginPath();
  ctx.addPath(*kit::Path::withRoundedRect(rect, radius));
  ctx.clip();
  auto gradient = kit::Gradient::create(kit::ColorSpace::deviceRGB(), {top, bottom});
  ctx.drawLinearGradient(*gradient, {rect.midX(), rect.minY()}, {rect.midX(), rect.maxY()}, 0);
  ctx.restoreGState();
}

void strokeRounded(const Rect& rect, double radius, const Ref<Color>& color, double width) {
  context().setStrokeColor(color);
  context().setLineWidth(width);
  context().beginPath();
  context().addPath(*kit::Path::withRoundedRect(rect, radius));
  context().strokePath();
}

// A five-pointed star.
void star(kit::Point centre, double radius, const Ref<Color>& color) {
  auto& ctx = context();
  ctx.setFillColor(color);
  ctx.beginPath();
  for (int i = 0; i < 10; ++i) {
    const double r = i % 2 ? radius * 0.45 : radius;
    const double angle = -M_PI / 2 + i * M_PI / 5;
    const double x = centre.x + r * std::cos(angle), y = centre.y + r * std::sin(angle);
    if (i == 0) {
      ctx.moveTo(x, y);
    } else {
      ctx.addLineTo(x, y);
    }
  }
  ctx.closePath();
  ctx.fillPath();
}

enum class Align { Left, Centre };

// One line of text in `box`, centred vertically.
void text(const std::string& words, const Rect& box, double size, const Ref<Color>& color, bool bold = true,
          Align align = Align::Centre) {
  kit::TextAttributes attributes;
  attributes.font = bold ? kit::Font::boldSystemFont(size) : kit::Font::systemFont(size);
  attributes.foregroundColor = color;
  const kit::Size measured = kit::sizeWithAttributes(words, attributes);
  const double x = align == Align::Centre ? box.midX() - measured.width / 2 : box.minX();
  const double y = box.midY() - measured.height / 2;
  kit::drawText(words, Rect{x, y, std::ceil(measured.width) + 2, std::ceil(measured.height) + 2}, attributes);
}

// A gift box: body, lid and ribbon.
void giftBox(const Rect& body, const Ref<Color>& box, const Ref<Color>& ribbon) {
  const double lid = body.height() * 0.28;
  fillRounded({body.minX(), body.minY() + lid, body.width(), body.height() - lid}, 6, box);
  fillRounded({body.minX() - 6, body.minY(), body.width() + 12, lid + 4}, 6, box);
  context().setFillColor(rgb(0x000000, 0.12));
  context().fillRect({body.minX(), body.minY() + lid + 4, body.width(), 4});
  const double band = body.width() * 0.16;
  context().setFillColor(ribbon);
  context().fillRect({body.midX() - band / 2, body.minY(), band, body.height()});
  context().setFillColor(ribbon);
  context().fillEllipseInRect({body.midX() - band * 2.2, body.minY() - band * 1.4, band * 2.2, band * 1.6});
  context().fillEllipseInRect({body.midX(), body.minY() - band * 1.4, band * 2.2, band * 1.6});
}

// ---- Pictures -----------------------------------------------------------------------

using Painter = void (*)(const Theme&, kit::Size);

Ref<kit::Image> paint(kit::Size size, const Theme& theme, Painter painter) {
  if (!kit::beginImageContext(size, false, 1)) return nullptr;
  painter(theme, size);
  Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The button of a card: a pill with the kind's words.
void button(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, rgb(0xFFF3B0), theme.accent);
  strokeRounded(all.insetBy(1, 1), size.height / 2 - 1, theme.accentDark, 2);
  text(theme.button, all, size.height * 0.46, theme.accentDark);
}

void sparkles(const Theme& theme, kit::Size size) {
  const kit::Point spots[] = {{0.05, 0.06}, {0.95, 0.05}, {0.93, 0.9}, {0.04, 0.94}, {0.5, 0.03}};
  for (const auto& spot : spots) star({spot.x * size.width, spot.y * size.height}, 9, theme.accent);
}

// A landscape card (575 x 310): title row at the top, the reward row at
// y 112 to 197 on a lighter panel, the button at the lower left, the kind's
// name at the lower right.
void landscapeCard(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  // Square corners: the landscape card lies on a white view.
  gradientRounded(all, 0, theme.top, theme.bottom);
  strokeRounded(all.insetBy(4, 4), 15, theme.accent, 3);
  fillRounded({20, 100, size.width - 40, 110}, 12, rgb(0xFFFFFF, 0.18));
  sparkles(theme, size);
  text(theme.name, {250, 245, 300, 40}, 28, theme.accent);
}

// A portrait card (330 x 540): title at the top, rewards at the left
// (x 35 to 220, y 170 to 355), the kind's name down the right side, the
// button below.
void portraitCard(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, 18, theme.top, theme.bottom);
  strokeRounded(all.insetBy(4, 4), 15, theme.accent, 3);
  fillRounded({20, 155, 215, 215}, 12, rgb(0xFFFFFF, 0.18));
  fillRounded({250, 150, 56, 225}, 28, rgb(0x000000, 0.18));
  // The name, one character a line (UTF-8 CJK characters are 3 bytes).
  for (size_t i = 0; i + 3 <= theme.name.size(); i += 3) {
    text(theme.name.substr(i, 3), {250, 165 + static_cast<double>(i / 3) * 50, 56, 44}, 30, theme.accent);
  }
  sparkles(theme, size);
}

// The custom luck picture, portrait (330 x 540; its button goes at
// 110, 490, 110 x 35).
void customPortrait(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, 20, theme.top, theme.bottom);
  strokeRounded(all.insetBy(5, 5), 16, theme.accent, 4);
  sparkles(theme, size);
  text("恭喜成为", {0, 50, size.width, 40}, 30, rgb(0xFFFFFF));
  text(theme.name, {0, 95, size.width, 56}, 46, theme.accent);
  context().setFillColor(rgb(0xFFFFFF, 0.2));
  context().fillEllipseInRect({65, 180, 200, 200});
  giftBox({115, 235, 100, 100}, rgb(0xFFD34D), rgb(0xD0021B));
  text("神秘大礼已为您备好", {0, 400, size.width, 30}, 18, rgb(0xFFFFFF), false);
  text("点击下方按钮领取", {0, 435, size.width, 24}, 14, rgb(0xFFF3B0), false);
}

// The custom luck picture, landscape (575 x 310; its button goes at
// 241, 265, 92 x 32).
void customLandscape(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, 20, theme.top, theme.bottom);
  strokeRounded(all.insetBy(5, 5), 16, theme.accent, 4);
  sparkles(theme, size);
  context().setFillColor(rgb(0xFFFFFF, 0.2));
  context().fillEllipseInRect({45, 55, 190, 190});
  giftBox({95, 105, 90, 90}, rgb(0xFFD34D), rgb(0xD0021B));
  text("恭喜成为", {250, 50, 300, 40}, 28, rgb(0xFFFFFF));
  text(theme.name, {250, 95, 300, 56}, 44, theme.accent);
  text("神秘大礼已为您备好", {250, 170, 300, 30}, 18, rgb(0xFFFFFF), false);
  text("点击下方按钮领取", {250, 205, 300, 24}, 14, rgb(0xFFF3B0), false);
}

// The banner's close image: a dark disc with a white cross.
void closeImage(const Theme&, kit::Size size) {
  auto& ctx = context();
  ctx.setFillColor(rgb(0x000000, 0.45));
  ctx.fillEllipseInRect({1, 1, size.width - 2, size.height - 2});
  ctx.setStrokeColor(rgb(0xFFFFFF));
  ctx.setLineWidth(size.width * 0.09);
  ctx.setLineCap(kit::LineCap::Round);
  const double a = size.width * 0.32, b = size.width * 0.68;
  ctx.beginPath();
  ctx.moveTo(a, a);
  ctx.addLineTo(b, b);
  ctx.moveTo(b, a);
  ctx.addLineTo(a, b);
  ctx.strokePath();
}

// One frame of the time-store banner (300 x 75): a warm strip with a gift,
// "限时特惠" and a line of small print, with a light band that slides
// from left to right over the frames. The upper right (close image) and
// lower right (countdown text) stay plain.
Ref<kit::Image> bannerFrame(int frame) {
  const kit::Size size{300, 75};
  if (!kit::beginImageContext(size, false, 1)) return nullptr;
  auto& ctx = context();
  ctx.setFillColor(rgb(0x8E1B1B));
  ctx.fillRect({0, 0, size.width, size.height});
  ctx.setFillColor(rgb(0xC8361F));
  ctx.fillRect({0, 0, size.width, 50});
  ctx.setFillColor(rgb(0xFFD34D));
  ctx.fillRect({0, 50, size.width, 2});
  giftBox({16, 18, 40, 40}, rgb(0xFFD34D), rgb(0x8E1B1B));
  text("限时特惠", {70, 6, 150, 36}, 26, rgb(0xFFF3B0), true, Align::Left);
  text("超值礼包 限时开抢", {70, 54, 130, 18}, 11, rgb(0xFFFFFF), false, Align::Left);
  // The sliding highlight: a slanted band.
  const double x = 40 + frame * 90;
  ctx.setFillColor(rgb(0xFFFFFF, 0.28));
  ctx.beginPath();
  ctx.moveTo(x, 0);
  ctx.addLineTo(x + 26, 0);
  ctx.addLineTo(x + 6, 50);
  ctx.addLineTo(x - 20, 50);
  ctx.closePath();
  ctx.fillPath();
  Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// ---- The store's pictures ----------------------------------------------------------------

// The store's accent and its pale and dark companions.
Theme storeTheme() {
  return {rgb(0xE8FBF7), rgb(0xBFEFE6), rgb(0x11CCB1), rgb(0x0B8F7C), "限时礼包", "购买"};
}

// A time store backdrop: a pale panel with an accent frame, a header band
// for the collection's name and a lighter well for the pack list.
void storeBackdrop(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, 14, rgb(0xFFFFFF), theme.bottom);
  strokeRounded(all.insetBy(2, 2), 12, theme.accent, 3);
  fillRounded({8, 6, size.width - 16, 28}, 10, rgb(0x11CCB1, 0.18));
  const double well = size.height > size.width ? 64 : 38;
  fillRounded({12, well, size.width - 24, size.height - well - 12}, 10, rgb(0xFFFFFF, 0.7));
  star({22, 20}, 7, theme.accent);
  star({size.width - 22, 20}, 7, theme.accent);
}

// The prop tile's empty slot: a dashed rounded square with a question mark.
void emptySlot(const Theme& theme, kit::Size size) {
  auto& ctx = context();
  const Rect inner = Rect{0, 0, size.width, size.height}.insetBy(6, 6);
  fillRounded(inner, 10, rgb(0xFFFFFF));
  ctx.saveGState();
  ctx.setLineDash(0, {8, 6});
  strokeRounded(inner, 10, theme.accent, 3);
  ctx.restoreGState();
  text("?", inner, size.height * 0.5, theme.accent);
}

// The "私人定制" badge: a ribbon whose right end is notched (the row writes
// the words on it).
void badge(const Theme& theme, kit::Size size) {
  auto& ctx = context();
  ctx.setFillColor(rgb(0xFF7A45));
  ctx.beginPath();
  ctx.moveTo(0, 0);
  ctx.addLineTo(size.width, 0);
  ctx.addLineTo(size.width - size.height * 0.4, size.height / 2);
  ctx.addLineTo(size.width, size.height);
  ctx.addLineTo(0, size.height);
  ctx.closePath();
  ctx.fillPath();
  ctx.setFillColor(rgb(0xFFFFFF, 0.25));
  ctx.fillRect({0, 0, size.width, size.height * 0.35});
  (void)theme;
}

// A buy button: an accent pill with "购买", or a grey one with "已购买".
void buyButton(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, rgb(0x4BE3CB), theme.accent);
  text(theme.button, all, size.height * 0.46, rgb(0xFFFFFF));
}
void boughtButton(const Theme&, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, rgb(0xD0D0D0), rgb(0xA8A8A8));
  text("已购买", all, size.height * 0.42, rgb(0xFFFFFF));
}

// The plus sign between a custom pack's fixed items and its slots.
void plusSign(const Theme& theme, kit::Size size) {
  auto& ctx = context();
  ctx.setFillColor(theme.accent);
  ctx.fillEllipseInRect({0, 0, size.width, size.height});
  ctx.setStrokeColor(rgb(0xFFFFFF));
  ctx.setLineWidth(size.width * 0.12);
  ctx.setLineCap(kit::LineCap::Round);
  const double a = size.width * 0.28, b = size.width * 0.72, m = size.width / 2;
  ctx.beginPath();
  ctx.moveTo(a, m);
  ctx.addLineTo(b, m);
  ctx.moveTo(m, a);
  ctx.addLineTo(m, b);
  ctx.strokePath();
}

// The arrow after a row's name: a chevron pointing right.
void chevron(const Theme& theme, kit::Size size) {
  auto& ctx = context();
  ctx.setStrokeColor(theme.accent);
  ctx.setLineWidth(size.width * 0.3);
  ctx.setLineCap(kit::LineCap::Round);
  ctx.setLineJoin(kit::LineJoin::Round);
  ctx.beginPath();
  ctx.moveTo(size.width * 0.25, size.height * 0.15);
  ctx.addLineTo(size.width * 0.75, size.height * 0.5);
  ctx.addLineTo(size.width * 0.25, size.height * 0.85);
  ctx.strokePath();
}

// The level pop-up's panel (300 x 230): the logo covers its top edge, the
// picture frame sits at (20, 26), the reward tiles from y 160.
void levelPanel(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, 18, rgb(0xFFF6E0), rgb(0xFFD98A));
  strokeRounded(all.insetBy(3, 3), 15, rgb(0xE39B1B), 3);
  fillRounded({10, 154, size.width - 20, 70}, 10, rgb(0xFFFFFF, 0.55));
  sparkles(Theme{theme.top, theme.bottom, rgb(0xE39B1B), theme.accentDark, theme.name, theme.button}, size);
}

// The level pop-up's logo (220 x 50): a ribbon with "等级礼包".
void levelLogo(const Theme&, kit::Size size) {
  auto& ctx = context();
  ctx.setFillColor(rgb(0xB3261E));
  ctx.beginPath();
  ctx.moveTo(0, size.height * 0.2);
  ctx.addLineTo(size.width * 0.12, size.height * 0.2);
  ctx.addLineTo(size.width * 0.12, size.height);
  ctx.addLineTo(size.width * 0.05, size.height * 0.85);
  ctx.closePath();
  ctx.moveTo(size.width, size.height * 0.2);
  ctx.addLineTo(size.width * 0.88, size.height * 0.2);
  ctx.addLineTo(size.width * 0.88, size.height);
  ctx.addLineTo(size.width * 0.95, size.height * 0.85);
  ctx.closePath();
  ctx.fillPath();
  gradientRounded({size.width * 0.08, 0, size.width * 0.84, size.height * 0.85}, 8, rgb(0xF0532B), rgb(0xC8361F));
  text("等级礼包", {0, 0, size.width, size.height * 0.85}, size.height * 0.48, rgb(0xFFF3B0));
}

// The frame of the advertising picture (260 x 136).
void pictureFrame(const Theme&, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  fillRounded(all, 8, rgb(0xE39B1B));
  fillRounded(all.insetBy(4, 4), 5, rgb(0x3A2A1A));
  text("精彩活动", all.insetBy(4, 4), 18, rgb(0xFFFFFF, 0.35), false);
}

// The reward item's background (46 x 46).
void itemBackground(const Theme&, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.width * 0.18, rgb(0x8C5A2B), rgb(0x5A3518));
  strokeRounded(all.insetBy(2, 2), size.width * 0.16, rgb(0xFFD34D), 3);
}

// The level pop-up's go button (100 x 30; the button writes "前往").
void goButton(const Theme&, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, rgb(0xFFB347), rgb(0xF06A2A));
  strokeRounded(all.insetBy(2, 2), size.height / 2 - 2, rgb(0xFFF3B0), 2);
}

// ---- The resource hall ----------------------------------------------------------------
// Deep violet panels with gold trim; the theme's name is the picture's word.

Theme hallTheme() {
  return {rgb(0x2A1459), rgb(0x5B2A9E), rgb(0xFFD34D), rgb(0xB8860B), "资源大厅", ""};
}

// A panel: the theme's gradient with a gold frame and the theme's name.
void hallPanel(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  const double radius = std::min(size.width, size.height) * 0.08;
  gradientRounded(all, radius, theme.top, theme.bottom);
  strokeRounded(all.insetBy(3, 3), radius, theme.accent, 4);
  if (!theme.name.empty()) {
    text(theme.name, {0, 6, size.width, std::min(60.0, size.height * 0.2)}, std::min(36.0, size.height * 0.1),
         theme.accent);
  }
}

// The not-open placard, stretched over the screen: the panel with the
// message on a plaque in the middle. The placard lays its logo over the
// top 15 to 89 points (to 126 on a notched phone in portrait, where the
// picture is stretched to 780 points) and its close button in the upper
// right of that band, so the message keeps to the middle, well below both.
void placard(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  const double radius = std::min(size.width, size.height) * 0.08;
  gradientRounded(all, radius, theme.top, theme.bottom);
  strokeRounded(all.insetBy(3, 3), radius, theme.accent, 4);
  const double fontSize = 32;
  const Rect plaque{size.width / 2 - 160, size.height * 0.55 - 40, 320, 80};
  fillRounded(plaque, 20, rgb(0x000000, 0.25));
  strokeRounded(plaque.insetBy(2, 2), 18, theme.accentDark, 2);
  text(theme.name, plaque, fontSize, theme.accent);
}

// A pill button with the theme's word (its colours from the theme).
void hallPill(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, theme.top, theme.bottom);
  strokeRounded(all.insetBy(2, 2), size.height / 2 - 2, theme.accentDark, 3);
  if (!theme.button.empty()) text(theme.button, all, size.height * 0.42, theme.accentDark);
}

// The hall's logo: a gold ribbon with the title.
void hallLogo(const Theme& theme, kit::Size size) {
  const Rect ribbon{size.width * 0.2, size.height * 0.12, size.width * 0.6, size.height * 0.76};
  gradientRounded(ribbon, ribbon.height() / 2, rgb(0xFFF3B0), theme.accent);
  strokeRounded(ribbon.insetBy(3, 3), ribbon.height() / 2 - 3, theme.accentDark, 4);
  text(theme.name, ribbon, ribbon.height() * 0.5, rgb(0x5A2D00));
  star({ribbon.minX() - size.height * 0.3, size.height / 2}, size.height * 0.25, theme.accent);
  star({ribbon.maxX() + size.height * 0.3, size.height / 2}, size.height * 0.25, theme.accent);
}

// The wheel's disc: eight alternating sectors, a gold rim and a hub.
void wheelDisc(const Theme& theme, kit::Size size) {
  auto& ctx = context();
  const kit::Point c{size.width / 2, size.height / 2};
  const double r = size.width / 2 - 6;
  ctx.setFillColor(theme.accent);
  ctx.fillEllipseInRect({0, 0, size.width, size.height});
  for (int i = 0; i < 8; ++i) {
    const double a0 = -M_PI / 2 + i * M_PI / 4, a1 = a0 + M_PI / 4;
    ctx.setFillColor(i % 2 ? theme.top : theme.bottom);
    ctx.beginPath();
    ctx.moveTo(c.x, c.y);
    for (int k = 0; k <= 16; ++k) {
      const double a = a0 + (a1 - a0) * k / 16;
      ctx.addLineTo(c.x + r * std::cos(a), c.y + r * std::sin(a));
    }
    ctx.closePath();
    ctx.fillPath();
  }
  for (int i = 0; i < 16; ++i) {
    const double a = i * M_PI / 8;
    star({c.x + (r + 1) * std::cos(a), c.y + (r + 1) * std::sin(a)}, 5, rgb(0xFFFFFF));
  }
  ctx.setFillColor(theme.accentDark);
  ctx.fillEllipseInRect({c.x - r * 0.26, c.y - r * 0.26, r * 0.52, r * 0.52});
}

// The progress bar's track and fill, along the longer side.
void barTrack(const Theme&, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  const double radius = std::min(size.width, size.height) / 2;
  fillRounded(all, radius, rgb(0x1A0B36));
  strokeRounded(all.insetBy(2, 2), radius - 2, rgb(0xFFD34D), 3);
}
void barFill(const Theme&, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  const bool wide = size.width > size.height;
  auto& ctx = context();
  ctx.saveGState();
  ctx.beginPath();
  ctx.addPath(*kit::Path::withRoundedRect(all.insetBy(8, 8), std::min(size.width, size.height) / 2 - 8));
  ctx.clip();
  auto gradient = kit::Gradient::create(kit::ColorSpace::deviceRGB(), {rgb(0xFFF3B0), rgb(0xFF8C1A)});
  if (wide) {
    ctx.drawLinearGradient(*gradient, {0, 0}, {size.width, 0}, 0);
  } else {
    ctx.drawLinearGradient(*gradient, {0, 0}, {0, size.height}, 0);
  }
  ctx.restoreGState();
}

// The highlight round a prize cell.
void cellHighlight(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  strokeRounded(all.insetBy(4, 4), 18, theme.accent, 8);
  strokeRounded(all.insetBy(12, 12), 12, rgb(0xFFFFFF, 0.7), 3);
}

// The spin-count plate (78 x 32 points, drawn at two pixels a point): a
// light pill with "次" in its right end. The hall writes the count
// right-aligned in the plate's first 67 points, so the glyph sits between
// that and the frame, small enough to clear the round end's inner edge.
void countPlate(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  const double frame = 2;  // the frame's width, drawn inside the pill
  gradientRounded(all, size.height / 2, rgb(0xFFF3B0), theme.accent);
  strokeRounded(all.insetBy(1 + frame / 2, 1 + frame / 2), size.height / 2 - 1 - frame / 2, theme.accentDark, frame);
  const double countEnd = size.width * 67 / 78;
  const double glyph = size.height * 0.25;
  text("次", {countEnd + 2, 0, glyph, size.height}, glyph, theme.accentDark);
}

// The icon's frame in the one-draw pop-up.
void iconFrame(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.width * 0.18, rgb(0x7A4FC0), theme.top);
  strokeRounded(all.insetBy(3, 3), size.width * 0.16, theme.accent, 4);
}

bool writePNG(const std::filesystem::path& path, const Ref<kit::Image>& image);

void hallPictures(const std::filesystem::path& bundle, bool& ok) {
  const Theme hall = hallTheme();
  auto with = [&](std::string name, std::string button, unsigned top, unsigned bottom, unsigned dark) {
    Theme theme = hall;
    theme.name = std::move(name);
    theme.button = std::move(button);
    theme.top = rgb(top);
    theme.bottom = rgb(bottom);
    theme.accentDark = rgb(dark);
    return theme;
  };
  const Theme plain = with("", "", 0x2A1459, 0x5B2A9E, 0xB8860B);
  ok &= writePNG(bundle / "resourcelogo.png", paint({1350, 148}, hall, hallLogo));
  ok &= writePNG(bundle / "verresourcelogo.png", paint({750, 148}, hall, hallLogo));
  ok &= writePNG(bundle / "reclose.png", paint({64, 64}, hall, closeImage));
  const char* tabs[] = {"资源", "福利转盘", "超级转盘"};
  for (int i = 0; i < 3; ++i) {
    const std::string stem = "rebtn" + std::to_string(i + 1);
    ok &= writePNG(bundle / (stem + ".png"), paint({200, 72}, with("", tabs[i], 0x3B2370, 0x23124A, 0xD9C7FF), hallPill));
    ok &= writePNG(bundle / (stem + "sel.png"), paint({200, 72}, with("", tabs[i], 0xFFF3B0, 0xFFB347, 0x5A2D00), hallPill));
  }
  ok &= writePNG(bundle / "redesc.png", paint({200, 300}, with("", "", 0x241048, 0x3A1D6E, 0xB8860B), hallPanel));
  ok &= writePNG(bundle / "verredesc.png", paint({730, 150}, with("", "", 0x241048, 0x3A1D6E, 0xB8860B), hallPanel));
  ok &= writePNG(bundle / "noopen.png", paint({667, 375}, with("资源大厅暂未开放", "", 0x2A1459, 0x5B2A9E, 0xB8860B), placard));
  ok &= writePNG(bundle / "vernoopen.png", paint({375, 667}, with("资源大厅暂未开放", "", 0x2A1459, 0x5B2A9E, 0xB8860B), placard));
  ok &= writePNG(bundle / "rehallitembg.png", paint({280, 580}, with("", "", 0x4A2790, 0x2A1459, 0xB8860B), hallPanel));
  ok &= writePNG(bundle / "verrehallitembg.png", paint({324, 488}, with("", "", 0x4A2790, 0x2A1459, 0xB8860B), hallPanel));
  ok &= writePNG(bundle / "rehallbtn.png", paint({210, 44}, with("", "", 0xFFF3B0, 0xFFB347, 0xB8860B), hallPill));
  ok &= writePNG(bundle / "rehallbtnalget.png", paint({210, 44}, with("", "", 0xD0D0D0, 0x8A8A8A, 0x5A5A5A), hallPill));
  ok &= writePNG(bundle / "turntablenum.png", paint({156, 64}, hall, countPlate));
  ok &= writePNG(bundle / "turntable.png", paint({532, 532}, hall, wheelDisc));
  ok &= writePNG(bundle / "turnclickone.png", paint({224, 68}, with("", "抽一次", 0xFFF3B0, 0xFFB347, 0x5A2D00), hallPill));
  ok &= writePNG(bundle / "turnclickten.png", paint({224, 68}, with("", "抽五次", 0xFFB3F0, 0xD84FA8, 0x5A0D3A), hallPill));
  ok &= writePNG(bundle / "turnprocessbg.png", paint({412, 80}, plain, barTrack));
  ok &= writePNG(bundle / "veturnprocessbg.png", paint({80, 412}, plain, barTrack));
  // Three pixels a point: the bar is cut from these at that factor.
  ok &= writePNG(bundle / "turnprocess.png", paint({618, 120}, plain, barFill));
  ok &= writePNG(bundle / "veturnprocess.png", paint({120, 618}, plain, barFill));
  ok &= writePNG(bundle / "turnablechoose.png", paint({170, 150}, hall, cellHighlight));
  ok &= writePNG(bundle / "onegiftbg.png", paint({456, 400}, with("恭喜获得", "", 0x4A2790, 0x2A1459, 0xB8860B), hallPanel));
  ok &= writePNG(bundle / "onegiftclose.png", paint({64, 64}, hall, closeImage));
  ok &= writePNG(bundle / "onegiftget.png", paint({312, 104}, with("", "收下", 0xFFF3B0, 0xFFB347, 0x5A2D00), hallPill));
  ok &= writePNG(bundle / "onegifticonbg.png", paint({124, 124}, hall, iconFrame));
  ok &= writePNG(bundle / "fivegiftbg.png", paint({956, 550}, with("恭喜获得", "", 0x4A2790, 0x2A1459, 0xB8860B), hallPanel));
  ok &= writePNG(bundle / "vefivegiftbg.png", paint({652, 632}, with("恭喜获得", "", 0x4A2790, 0x2A1459, 0xB8860B), hallPanel));
}

// ---- The store hub's pictures -------------------------------------------------------------

// A tab of the hub's bar with the tab's name (the theme's): white with an
// accent frame, or filled with the accent once chosen.
void tabButton(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  fillRounded(all.insetBy(1, 1), size.height / 2 - 1, rgb(0xFFFFFF));
  strokeRounded(all.insetBy(2, 2), size.height / 2 - 2, theme.accent, 3);
  text(theme.name, all, size.height * 0.46, theme.accent);
}
void tabButtonChosen(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, rgb(0x4BE3CB), theme.accent);
  text(theme.name, all, size.height * 0.46, rgb(0xFFFFFF));
}

// The description panels' background: pale with a thin accent frame.
void descPanel(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  fillRounded(all, 8, rgb(0xF5FCFA));
  strokeRounded(all.insetBy(1.5, 1.5), 7, theme.accent, 2);
}

// The claim button: an accent pill with "领取".
void claimButton(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, rgb(0xFFB347), rgb(0xF06A2A));
  strokeRounded(all.insetBy(1.5, 1.5), size.height / 2 - 1.5, rgb(0xFFF3B0), 2);
  text("领取", all, size.height * 0.5, rgb(0xFFFFFF));
  (void)theme;
}

// The plate under the recharged amount (the button writes the amount).
void moneyPlate(const Theme& theme, kit::Size size) {
  const Rect all{0, 0, size.width, size.height};
  gradientRounded(all, size.height / 2, theme.accent, theme.accentDark);
  star({size.height * 0.5, size.height * 0.5}, size.height * 0.28, rgb(0xFFD34D));
}

// The claimed stamp: a tilted red frame with "已领取".
void claimedStamp(const Theme&, kit::Size size) {
  auto& ctx = context();
  ctx.saveGState();
  ctx.translateCTM(size.width / 2, size.height / 2);
  ctx.rotateCTM(-0.18);
  const Rect inner{-size.width * 0.42, -size.height * 0.34, size.width * 0.84, size.height * 0.68};
  fillRounded(inner, 6, rgb(0xFFFFFF, 0.85));
  strokeRounded(inner, 6, rgb(0xE0393E), 3);
  text("已领取", inner, size.height * 0.36, rgb(0xE0393E));
  ctx.restoreGState();
}

// The free video's play icon: a white ring with a triangle.
void playIcon(const Theme& theme, kit::Size size) {
  auto& ctx = context();
  ctx.setFillColor(rgb(0x000000, 0.35));
  ctx.fillEllipseInRect({2, 2, size.width - 4, size.height - 4});
  ctx.setStrokeColor(rgb(0xFFFFFF));
  ctx.setLineWidth(size.width * 0.06);
  ctx.strokeEllipseInRect({size.width * 0.06, size.height * 0.06, size.width * 0.88, size.height * 0.88});
  ctx.setFillColor(theme.accent);
  ctx.beginPath();
  ctx.moveTo(size.width * 0.4, size.height * 0.3);
  ctx.addLineTo(size.width * 0.72, size.height * 0.5);
  ctx.addLineTo(size.width * 0.4, size.height * 0.7);
  ctx.closePath();
  ctx.fillPath();
}

// The video's close icon: a grey disc with a white cross.
void videoClose(const Theme&, kit::Size size) {
  auto& ctx = context();
  ctx.setFillColor(rgb(0x6B7785, 0.9));
  ctx.fillEllipseInRect({1, 1, size.width - 2, size.height - 2});
  ctx.setStrokeColor(rgb(0xFFFFFF));
  ctx.setLineWidth(size.width * 0.1);
  ctx.setLineCap(kit::LineCap::Round);
  const double a = size.width * 0.33, b = size.width * 0.67;
  ctx.beginPath();
  ctx.moveTo(a, a);
  ctx.addLineTo(b, b);
  ctx.moveTo(b, a);
  ctx.addLineTo(a, b);
  ctx.strokePath();
}

// ---- Writing ---------------------------------------------------------------------------

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "channel_artwork: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%6zu bytes  %s\n", bytes.size(), path.c_str());
  return true;
}

bool writePNG(const std::filesystem::path& path, const Ref<kit::Image>& image) {
  if (!image) {
    std::fprintf(stderr, "channel_artwork: nothing drawn for %s\n", path.c_str());
    return false;
  }
  return writeFile(path, image->pngData());
}

// The banner: three frames with their delays, looping without end.
bool writeBanner(const std::filesystem::path& path) {
  const double delays[] = {0.6, 0.3, 0.3};
  auto gif = kit::ImageDestination::create(kit::UTType::GIF, 3);
  gif->setProperties({.gifLoopCount = 0});
  for (int i = 0; i < 3; ++i) {
    auto frame = bannerFrame(i);
    if (!frame) return false;
    kit::EncodeOptions options;
    options.gifDelayTime = delays[i];
    gif->addImage(frame->uprightBitmap(), options);
  }
  if (!gif->finalize()) {
    std::fprintf(stderr, "channel_artwork: %s\n", gif->lastError().c_str());
    return false;
  }
  return writeFile(path, gif->data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: channel_artwork <resources folder>\n");
    return 2;
  }
  const std::filesystem::path bundle = std::filesystem::path(argv[1]) / "NUVALight.bundle";
  const kit::Size landscape{575, 310}, portrait{330, 540}, cardButton{110, 35};
  const Theme luck = luckTheme(), day = dayTheme(), active = activeTheme();

  bool ok = true;
  ok &= writePNG(bundle / "img_luckbg.png", paint(landscape, luck, landscapeCard));
  ok &= writePNG(bundle / "img_veluckbg.png", paint(portrait, luck, portraitCard));
  ok &= writePNG(bundle / "img_luckbtn.png", paint(cardButton, luck, button));
  ok &= writePNG(bundle / "day/img_daybg.png", paint(landscape, day, landscapeCard));
  ok &= writePNG(bundle / "day/img_vedaybg.png", paint(portrait, day, portraitCard));
  ok &= writePNG(bundle / "day/img_daybtn.png", paint(cardButton, day, button));
  ok &= writePNG(bundle / "img_activebg.png", paint(landscape, active, landscapeCard));
  ok &= writePNG(bundle / "img_veactivebg.png", paint(portrait, active, portraitCard));
  ok &= writePNG(bundle / "img_activebtn.png", paint(cardButton, active, button));
  ok &= writePNG(bundle / "luck/luckygifttwver.png", paint(portrait, luck, customPortrait));
  ok &= writePNG(bundle / "luck/luckygiftverbtn.png", paint(cardButton, luck, button));
  ok &= writePNG(bundle / "luck/luckygifttw.png", paint(landscape, luck, customLandscape));
  ok &= writePNG(bundle / "luck/luckygifttwbtn.png", paint({92, 32}, luck, button));
  ok &= writePNG(bundle / "close.png", paint({50, 50}, luck, closeImage));
  ok &= writeBanner(bundle / "timepopbg.gif");

  // The store: time store, pack rows and prop tiles, level pop-up.
  const Theme store = storeTheme();
  ok &= writePNG(bundle / "timestorebg.png", paint({587, 290}, store, storeBackdrop));
  ok &= writePNG(bundle / "timestorebgver.png", paint({295, 527}, store, storeBackdrop));
  ok &= writePNG(bundle / "fixbtnbg.png", paint({90, 90}, store, emptySlot));
  ok &= writePNG(bundle / "fixbg.png", paint({80, 24}, store, badge));
  ok &= writePNG(bundle / "tobuy.png", paint({140, 50}, store, buyButton));
  ok &= writePNG(bundle / "giftget.png", paint({140, 50}, store, boughtButton));
  ok &= writePNG(bundle / "plusimg.png", paint({40, 40}, store, plusSign));
  ok &= writePNG(bundle / "arrow.png", paint({16, 30}, store, chevron));
  ok &= writePNG(bundle / "levelpopbg.png", paint({300, 230}, luck, levelPanel));
  ok &= writePNG(bundle / "levelpoplogo.png", paint({220, 50}, luck, levelLogo));
  ok &= writePNG(bundle / "levelpopimg.png", paint({260, 136}, luck, pictureFrame));
  ok &= writePNG(bundle / "levelpopclose.png", paint({60, 60}, luck, closeImage));
  ok &= writePNG(bundle / "levelpopbtn.png", paint({200, 60}, luck, goButton));
  ok &= writePNG(bundle / "levelpopitembg.png", paint({92, 92}, luck, itemBackground));

  // The store hub: its tabs, the GM and VIP panes, the free video.
  const struct {
    const char* normal;
    const char* chosen;
    const char* name;
  } tabs[] = {{"gmbtn", "gmbtnsel", "GM礼包"},
              {"vipgiftbtn", "vipgiftbtnsel", "VIP礼包"},
              {"xianshibtn", "xianshibtnsel", "限时礼包"},
              {"128btn", "128btnsel", "代金券"},
              {"xggift", "xggiftsel", "等级礼包"}};
  for (const auto& tab : tabs) {
    Theme named = store;
    named.name = tab.name;
    ok &= writePNG(bundle / (std::string(tab.normal) + ".png"), paint({200, 50}, named, tabButton));
    ok &= writePNG(bundle / (std::string(tab.chosen) + ".png"), paint({200, 50}, named, tabButtonChosen));
  }
  ok &= writePNG(bundle / "desc.png", paint({300, 150}, store, descPanel));
  ok &= writePNG(bundle / "getbtn.png", paint({140, 54}, store, claimButton));
  ok &= writePNG(bundle / "totalmoneybg.png", paint({290, 54}, store, moneyPlate));
  ok &= writePNG(bundle / "albuy.png", paint({90, 56}, store, claimedStamp));
  ok &= writePNG(bundle / "vediobtn.png", paint({156, 156}, store, playIcon));
  ok &= writePNG(bundle / "vedioclose.png", paint({80, 80}, store, videoClose));

  // The resource hall: its tabs and panels, goods cards, wheels, progress
  // bar, draw pop-ups and the not-open placard.
  hallPictures(bundle, ok);
  return ok ? 0 : 1;
}
