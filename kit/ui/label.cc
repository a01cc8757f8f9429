// Labels: text, measurement and drawing with the text engine.
#include "kit/ui/label.h"

#include <cmath>

#include "kit/ui/canvas.h"
#include "kit/ui/text_engine.h"

namespace kit {

Label::Label(const Rect& frame)
    : View(frame), font_(Font::systemFont(Font::LabelFontSize)), textColor_(Color::blackColor()) {
  setUserInteractionEnabled(false);
}

void Label::changed() {
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void Label::setText(std::string_view text) {
  text_ = std::string(text);
  attributed_.reset();
  changed();
}

Ref<AttributedString> Label::attributedText() const {
  if (attributed_) return attributed_;
  if (text_.empty()) return nullptr;
  TextAttributes a;
  a.font = font_;
  a.foregroundColor = textColor_;
  return AttributedString::make(text_, a);
}

void Label::setAttributedText(Ref<AttributedString> text) {
  attributed_ = text ? as<AttributedString>(text->copy()) : nullptr;
  text_ = attributed_ ? attributed_->string() : std::string();
  changed();
}

void Label::setFont(Ref<Font> font) {
  font_ = font ? std::move(font) : Font::systemFont(Font::LabelFontSize);
  changed();
}

void Label::setTextColor(Ref<Color> color) {
  textColor_ = color ? std::move(color) : Color::blackColor();
  setNeedsDisplay();
}

void Label::setTextAlignment(TextAlignment a) {
  alignment_ = a;
  setNeedsDisplay();
}

void Label::setMinimumScaleFactor(double f) {
  minimumScale_ = f;
  if (adjusts_) setNeedsDisplay();
}

void Label::setEnabled(bool v) {
  enabled_ = v;
  setNeedsDisplay();
}

void Label::setHighlightedTextColor(Ref<Color> c) {
  highlightedTextColor_ = std::move(c);
  if (highlighted_) setNeedsDisplay();
}

void Label::setHighlighted(bool v) {
  highlighted_ = v;
  setNeedsDisplay();
}

void Label::setNumberOfLines(int n) {
  lines_ = std::max(0, n);
  changed();
}

void Label::setLineBreakMode(LineBreakMode m) {
  lineBreak_ = m;
  changed();
}

void Label::setAdjustsFontSizeToFitWidth(bool v) {
  adjusts_ = v;
  changed();
}

void Label::setPreferredMaxLayoutWidth(double w) {
  preferredMaxWidth_ = w;
  changed();
}

Ref<AttributedString> Label::content() const {
  if (attributed_) return attributed_;
  if (text_.empty()) return nullptr;
  return AttributedString::make(text_);
}

Size Label::measure(double width, const Ref<Font>& font) const {
  Ref<AttributedString> text = content();
  if (!text) return {};
  TextLayoutRequest request;
  request.text = text.get();
  request.defaults.font = font;
  request.defaults.foregroundColor = textColor_;
  request.width = lines_ == 1 ? 0 : width;
  request.maxLines = lines_;
  request.lineBreakMode = lines_ == 1 ? LineBreakMode::ByClipping : lineBreak_;
  request.alignment = alignment_;
  return TextEngine::shared().measure(request).size;
}

Size Label::sizeThatFits(Size size) const {
  const double width = size.width > 0 ? size.width : 0;
  const Size s = measure(width, font_);
  double w = std::ceil(s.width), h = std::ceil(s.height);
  if (lines_ == 1 && width > 0 && w > width && lineBreak_ != LineBreakMode::ByClipping) w = width;
  return {w, h};
}

Size Label::intrinsicContentSize() const {
  const double width = preferredMaxWidth_ > 0 ? preferredMaxWidth_ : (lines_ != 1 ? bounds().size.width : 0);
  const Size s = measure(width, font_);
  return {std::ceil(s.width), std::ceil(s.height)};
}

Ref<Font> Label::fontForDrawing() const {
  if (!adjusts_ || lines_ != 1) return font_;
  const double available = bounds().size.width;
  const Size natural = measure(0, font_);
  if (natural.width <= available || natural.width <= 0) return font_;
  const double minimum = minimumScale_ > 0 ? font_->pointSize() * minimumScale_ : 1;
  const double size = std::max(minimum, std::floor(font_->pointSize() * available / natural.width * 10) / 10);
  return font_->withSize(size);
}

Rect Label::textRectForBounds(const Rect& bounds, int numberOfLines) const {
  const Ref<Font> font = fontForDrawing();
  Size s = measure(numberOfLines == 1 ? 0 : bounds.size.width, font);
  s.height = std::min(s.height, std::max(bounds.size.height, font->lineHeight()));
  // Vertically centred, as the platform places label text.
  return {bounds.origin.x, bounds.origin.y + (bounds.size.height - s.height) / 2, bounds.size.width, s.height};
}

bool Label::drawContent(Canvas& canvas) {
  Ref<AttributedString> text = content();
  if (!text) return false;
  const Rect box = textRectForBounds(bounds(), lines_);
  TextLayoutRequest request;
  request.text = text.get();
  request.defaults.font = fontForDrawing();
  request.defaults.foregroundColor = highlighted_ && highlightedTextColor_ ? highlightedTextColor_ : textColor_;
  if (!enabled_) request.defaults.foregroundColor = Color::grayColor();
  request.maxLines = lines_;
  request.alignment = alignment_;
  if (lines_ == 1) {
    // One line: truncated (or clipped) at the label's width.
    request.width = lineBreak_ == LineBreakMode::ByClipping || lineBreak_ == LineBreakMode::ByWordWrapping ||
                         lineBreak_ == LineBreakMode::ByCharWrapping
                     ? 0
                     : bounds().size.width;
    request.lineBreakMode = lineBreak_;
    if (request.width > 0 && measure(0, request.defaults.font).width <= request.width) request.width = 0;
  } else {
    request.width = bounds().size.width;
    request.lineBreakMode = lineBreak_;
  }
  TextEngine::shared().draw(canvas.cairo(), request, box.origin, box.size.width);
  return true;
}

}  // namespace kit
