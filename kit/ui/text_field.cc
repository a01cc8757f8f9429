// Text fields: editing through the delegate, and drawing.
#include "kit/ui/text_field.h"

#include <cairo.h>

#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"
#include "kit/ui/text_engine.h"

namespace kit {

TextField::TextField(const Rect& frame)
    : Control(frame), font_(Font::systemFont(Font::LabelFontSize)), textColor_(Color::blackColor()) {}

void TextField::setText(std::string_view text) {
  text_ = std::string(text);
  setNeedsDisplay();
}

void TextField::setPlaceholder(std::string_view p) {
  placeholder_ = std::string(p);
  setNeedsDisplay();
}

void TextField::setFont(Ref<Font> f) {
  font_ = f ? std::move(f) : Font::systemFont(Font::LabelFontSize);
  setNeedsDisplay();
}

void TextField::setTextColor(Ref<Color> c) {
  textColor_ = c ? std::move(c) : Color::blackColor();
  setNeedsDisplay();
}

bool TextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (auto d = delegate.lock(); d && !d->textFieldShouldBeginEditing(*this)) return false;
  if (!Control::becomeFirstResponder()) return false;
  editing_ = true;
  if (auto d = delegate.lock()) d->textFieldDidBeginEditing(*this);
  sendActions(ControlEvent::EditingDidBegin);
  return true;
}

bool TextField::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  if (auto d = delegate.lock(); d && !d->textFieldShouldEndEditing(*this)) return false;
  if (!Control::resignFirstResponder()) return false;
  editing_ = false;
  if (auto d = delegate.lock()) d->textFieldDidEndEditing(*this);
  sendActions(ControlEvent::EditingDidEnd);
  return true;
}

bool TextField::replaceCharacters(Range range, const std::string& replacement) {
  std::u16string units = utf8ToUTF16(text_);
  if (range.location > units.size()) return false;
  range.length = std::min(range.length, units.size() - range.location);
  if (auto d = delegate.lock(); d && !d->shouldChangeCharacters(*this, range, replacement)) return false;
  units.replace(range.location, range.length, utf8ToUTF16(replacement));
  text_ = utf16ToUTF8(units);
  setNeedsDisplay();
  sendActions(ControlEvent::EditingChanged);
  return true;
}

bool TextField::insertText(const std::string& text) {
  return replaceCharacters({utf8ToUTF16(text_).size(), 0}, text);
}

void TextField::pressReturn() {
  bool proceed = true;
  if (auto d = delegate.lock()) proceed = d->textFieldShouldReturn(*this);
  if (proceed) sendActions(ControlEvent::EditingDidEndOnExit);
}

void TextField::touchesEnded(const TouchSet& touches, const Event* event) {
  Control::touchesEnded(touches, event);
  if (isEnabled()) becomeFirstResponder();
}

bool TextField::drawContent(Canvas& canvas) {
  cairo_t* cr = canvas.cairo();
  const Rect b = bounds();
  if (border_ == TextBorderStyle::RoundedRect || border_ == TextBorderStyle::Line ||
      border_ == TextBorderStyle::Bezel) {
    addRoundedRect(canvas, b.insetBy(0.5, 0.5), border_ == TextBorderStyle::RoundedRect ? 5 : 0);
    setSourceColor(canvas, *Color::white(0.8));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  const bool empty = text_.empty();
  if (empty && placeholder_.empty()) return border_ != TextBorderStyle::None;
  std::string shown = empty ? placeholder_ : text_;
  if (!empty && secure_) {
    shown.clear();
    for (size_t i = 0; i < utf8ToUTF16(text_).size(); ++i) shown += "\u2022";
  }
  auto text = AttributedString::make(shown);
  TextLayoutRequest request;
  request.text = text.get();
  request.defaults.font = font_;
  request.defaults.foregroundColor = empty ? Color::white(0.7) : textColor_;
  request.alignment = alignment_;
  const double inset = border_ == TextBorderStyle::None ? 0 : 7;
  const double height = TextEngine::shared().measure(request).size.height;
  TextEngine::shared().draw(cr, request, {b.minX() + inset, b.midY() - height / 2}, b.width() - 2 * inset);
  return true;
}

}  // namespace kit
