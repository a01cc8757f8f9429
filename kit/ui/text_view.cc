// Text views: layout and content size from the text engine, positions and
// attributes under points, editing through the delegate, link taps.
#include "kit/ui/text_view.h"

#include <algorithm>
#include <cmath>

#include "kit/ui/application.h"
#include "kit/ui/canvas.h"
#include "kit/ui/text_engine.h"
#include "kit/ui/touch.h"

namespace kit {

TextView::TextView(const Rect& frame)
    : ScrollView(frame),
      storage_(AttributedString::make("")),
      font_(Font::systemFont(12)),
      textColor_(Color::blackColor()) {
  setBackgroundColor(Color::whiteColor());
  setShowsHorizontalScrollIndicator(false);
  relayout();
}

void TextView::setDelegate(Weak<TextViewDelegate> delegate) {
  textDelegate_ = delegate;
  ScrollView::setDelegate(Weak<ScrollViewDelegate>(delegate.lock()));
}

// ---- Text ------------------------------------------------------------------------

void TextView::setText(std::string_view text) {
  storage_ = AttributedString::make(text);
  attributed_ = false;
  selection_ = {storage_->length(), 0};
  relayout();
}

Ref<AttributedString> TextView::attributedText() const { return displayed(); }

void TextView::setAttributedText(Ref<AttributedString> text) {
  storage_ = text ? as<AttributedString>(text->copy()) : AttributedString::make("");
  attributed_ = static_cast<bool>(text);
  // The first run's font and colour become the view's, as on the platform.
  if (attributed_ && storage_->length() > 0) {
    const TextAttributes first = storage_->attributesAt(0);
    if (first.font) font_ = first.font;
    if (first.foregroundColor) textColor_ = first.foregroundColor;
  }
  selection_ = {storage_->length(), 0};
  relayout();
}

void TextView::setFont(Ref<Font> font) {
  font_ = font ? std::move(font) : Font::systemFont(12);
  // A font set on the view applies to all of the text.
  if (attributed_) {
    TextAttributes a;
    a.font = font_;
    storage_->addAttributes(a, {0, storage_->length()});
  }
  relayout();
}

void TextView::setTextColor(Ref<Color> color) {
  textColor_ = color ? std::move(color) : Color::blackColor();
  if (attributed_) {
    TextAttributes a;
    a.foregroundColor = textColor_;
    storage_->addAttributes(a, {0, storage_->length()});
  }
  setNeedsDisplay();
}

void TextView::setTextAlignment(TextAlignment a) {
  alignment_ = a;
  relayout();
}

void TextView::setLinkTextColor(Ref<Color> c) {
  linkColor_ = std::move(c);
  setNeedsDisplay();
}

void TextView::setTextContainerInset(const EdgeInsets& e) {
  containerInset_ = e;
  relayout();
}

void TextView::setLineFragmentPadding(double p) {
  padding_ = p;
  relayout();
}

void TextView::setEditable(bool v) {
  editable_ = v;
  if (!v && isFirstResponder()) resignFirstResponder();
}

void TextView::setSelectedRange(Range r) {
  const size_t length = storage_->length();
  r.location = std::min(r.location, length);
  r.length = std::min(r.length, length - r.location);
  if (r.location == selection_.location && r.length == selection_.length) return;
  selection_ = r;
  if (auto d = delegate()) d->textViewDidChangeSelection(*this);
}

Ref<AttributedString> TextView::displayed() const {
  auto shown = as<AttributedString>(storage_->copy());
  if (linkColor_) {
    for (const auto& run : storage_->runs()) {
      if (run.attributes.link.empty() || run.attributes.foregroundColor) continue;
      TextAttributes look;
      look.foregroundColor = linkColor_;
      shown->addAttributes(look, run.range);
    }
  }
  return shown;
}

// ---- Layout ----------------------------------------------------------------------

double TextView::containerWidth() const {
  return std::max(0.0, bounds().width() - containerInset_.left - containerInset_.right - 2 * padding_);
}

void TextView::relayout() {
  Ref<AttributedString> shown = displayed();
  TextLayoutRequest request;
  request.text = shown.get();
  request.defaults.font = font_;
  request.defaults.foregroundColor = textColor_;
  request.width = containerWidth();
  request.alignment = alignment_;
  const double lineHeight = font_->lineHeight();
  textHeight_ = shown->length() ? std::ceil(TextEngine::shared().measure(request).size.height) : lineHeight;
  setContentSize({bounds().width(), textHeight_ + containerInset_.top + containerInset_.bottom});
  setNeedsDisplay();
}

void TextView::boundsSizeDidChange(Size old) {
  ScrollView::boundsSizeDidChange(old);
  if (old.width != bounds().width()) relayout();
}

Size TextView::sizeThatFits(Size size) const {
  Ref<AttributedString> shown = displayed();
  TextLayoutRequest request;
  request.text = shown.get();
  request.defaults.font = font_;
  request.width = std::max(0.0, size.width - containerInset_.left - containerInset_.right - 2 * padding_);
  const double height = shown->length() ? std::ceil(TextEngine::shared().measure(request).size.height)
                                        : font_->lineHeight();
  return {size.width, height + containerInset_.top + containerInset_.bottom};
}

TextPosition TextView::closestPositionToPoint(Point point) const {
  Ref<AttributedString> shown = displayed();
  TextLayoutRequest request;
  request.text = shown.get();
  request.defaults.font = font_;
  request.width = containerWidth();
  request.alignment = alignment_;
  const Point origin = textOrigin();
  return {TextEngine::shared().characterIndexAtPoint(request, {point.x - origin.x, point.y - origin.y})};
}

TextAttributes TextView::textStylingAtPosition(TextPosition position, TextStorageDirection direction) const {
  const size_t length = storage_->length();
  if (length == 0) return {};
  size_t index = position.offset;
  if (direction == TextStorageDirection::Backward) index = index == 0 ? 0 : index - 1;
  if (index >= length) index = length - 1;
  TextAttributes a = storage_->attributesAt(index);
  if (!a.font) a.font = font_;
  if (!a.foregroundColor) a.foregroundColor = a.link.empty() || !linkColor_ ? textColor_ : linkColor_;
  return a;
}

Rect TextView::firstRectForRange(Range range) const {
  Ref<AttributedString> shown = displayed();
  TextLayoutRequest request;
  request.text = shown.get();
  request.defaults.font = font_;
  request.width = containerWidth();
  request.alignment = alignment_;
  const Rect r = TextEngine::shared().characterRect(request, std::min(range.location, shown->length()));
  const Point origin = textOrigin();
  return r.offsetBy(origin.x, origin.y);
}

std::optional<std::pair<Range, std::string>> TextView::linkAtPoint(Point point) const {
  const TextPosition position = closestPositionToPoint(point);
  if (storage_->length() == 0) return std::nullopt;
  const size_t index = std::min(position.offset, storage_->length() - 1);
  // The character under the point: the one whose box holds it.
  for (size_t candidate : {index, index > 0 ? index - 1 : index}) {
    Range effective{0, 0};
    const TextAttributes a = storage_->attributesAt(candidate, &effective);
    if (a.link.empty()) continue;
    const Rect box = firstRectForRange({candidate, 1});
    if (box.insetBy(-2, -2).contains(point)) return std::make_pair(effective, a.link);
  }
  return std::nullopt;
}

// ---- Editing ---------------------------------------------------------------------

bool TextView::replaceCharacters(Range range, const std::string& replacement) {
  if (!editable_) return false;
  const size_t length = storage_->length();
  if (range.location > length) return false;
  range.length = std::min(range.length, length - range.location);
  Ref<Object> keep = weak_from_this().lock();
  if (auto d = delegate(); d && !d->shouldChangeTextInRange(*this, range, replacement)) return false;
  storage_->replaceCharacters(range, replacement);
  selection_ = {range.location + utf8ToUTF16(replacement).size(), 0};
  relayout();
  if (auto d = delegate()) d->textViewDidChange(*this);
  return true;
}

bool TextView::insertText(const std::string& text) { return replaceCharacters(selection_, text); }

bool TextView::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!editable_) return false;
  if (auto d = delegate(); d && !d->textViewShouldBeginEditing(*this)) return false;
  if (!ScrollView::becomeFirstResponder()) return false;
  Ref<Object> keep = weak_from_this().lock();
  Keyboard::inputDidBegin();
  if (auto d = delegate()) d->textViewDidBeginEditing(*this);
  return true;
}

bool TextView::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  if (auto d = delegate(); d && !d->textViewShouldEndEditing(*this)) return false;
  if (!ScrollView::resignFirstResponder()) return false;
  Ref<Object> keep = weak_from_this().lock();
  Keyboard::inputDidEnd();
  if (auto d = delegate()) d->textViewDidEndEditing(*this);
  return true;
}

void TextView::touchesEnded(const TouchSet& touches, const Event* event) {
  ScrollView::touchesEnded(touches, event);
  if (touches.empty()) return;
  if (editable_) {
    becomeFirstResponder();
    return;
  }
  if (!selectable_) return;
  const Point p = touches.front()->locationInView(this);
  auto link = linkAtPoint(p);
  if (!link) return;
  Ref<Object> keep = weak_from_this().lock();
  std::optional<bool> allowed;
  if (auto d = delegate()) allowed = d->shouldInteractWithURL(*this, link->second, link->first);
  if (allowed.value_or(true)) Application::shared()->openURL(link->second);
}

// ---- Drawing ---------------------------------------------------------------------

bool TextView::drawContent(Canvas& canvas) {
  Ref<AttributedString> shown = displayed();
  if (shown->length() == 0) return false;
  TextLayoutRequest request;
  request.text = shown.get();
  request.defaults.font = font_;
  request.defaults.foregroundColor = textColor_;
  request.width = containerWidth();
  request.alignment = alignment_;
  TextEngine::shared().draw(canvas.cairo(), request, textOrigin(), containerWidth());
  return true;
}

}  // namespace kit
