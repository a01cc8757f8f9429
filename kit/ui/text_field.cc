// Text fields: editing through the delegate, the keyboard, the clear button
// and side views, and drawing.
#include "kit/ui/text_field.h"

#include <cairo.h>

#include <algorithm>

#include "kit/foundation/composed_characters.h"
#include "kit/ui/button.h"
#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"
#include "kit/ui/text_engine.h"
#include "kit/ui/touch.h"

namespace kit {

namespace {

constexpr double kClearButtonSize = 19;
constexpr double kSideGap = 5;
constexpr double kCaretWidth = 2;

size_t unitCount(const std::string& text) { return utf8ToUTF16(text).size(); }

// A line of text as the field lays it out, in its font.
struct FieldLine {
  FieldLine(const std::string& shown, const Ref<Font>& font) : text(AttributedString::make(shown)) {
    request.text = text.get();
    request.defaults.font = font;
  }
  double width() { return TextEngine::shared().measure(request).size.width; }
  double x(size_t position) {
    return text->length() ? TextEngine::shared().characterRect(request, position).minX() : 0;
  }

  Ref<AttributedString> text;
  TextLayoutRequest request;
};

}  // namespace

TextField::TextField(const Rect& frame)
    : Control(frame), font_(Font::systemFont(Font::LabelFontSize)), textColor_(Color::blackColor()) {}

void TextField::setText(std::string_view text) {
  text_ = std::string(text);
  selection_ = {unitCount(text_), 0};
  updateSideViews();
  revealCaret();
  setNeedsDisplay();
}

void TextField::setPlaceholder(std::string_view p) {
  placeholder_ = std::string(p);
  attributedPlaceholder_.reset();
  setNeedsDisplay();
}

void TextField::setAttributedPlaceholder(Ref<AttributedString> p) {
  attributedPlaceholder_ = std::move(p);
  placeholder_ = attributedPlaceholder_ ? attributedPlaceholder_->string() : std::string();
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

// ---- Editing ---------------------------------------------------------------------

bool TextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (auto d = delegate.lock(); d && !d->textFieldShouldBeginEditing(*this)) return false;
  if (!Control::becomeFirstResponder()) return false;
  Ref<Object> keep = weak_from_this().lock();
  editing_ = true;
  if (clearsOnBegin_ && !text_.empty()) text_.clear();
  selection_ = {unitCount(text_), 0};
  Keyboard::inputDidBegin();
  updateSideViews();
  revealCaret();
  setNeedsDisplay();
  if (auto d = delegate.lock()) d->textFieldDidBeginEditing(*this);
  sendActions(ControlEvent::EditingDidBegin);
  return true;
}

bool TextField::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  if (auto d = delegate.lock(); d && !d->textFieldShouldEndEditing(*this)) return false;
  if (!Control::resignFirstResponder()) return false;
  Ref<Object> keep = weak_from_this().lock();
  editing_ = false;
  scrollX_ = 0;
  Keyboard::inputDidEnd();
  updateSideViews();
  setNeedsDisplay();
  if (auto d = delegate.lock()) d->textFieldDidEndEditing(*this);
  sendActions(ControlEvent::EditingDidEnd);
  return true;
}

bool TextField::replaceCharacters(Range range, const std::string& replacement) {
  std::u16string units = utf8ToUTF16(text_);
  if (range.location > units.size()) return false;
  range.length = std::min(range.length, units.size() - range.location);
  Ref<Object> keep = weak_from_this().lock();
  if (auto d = delegate.lock(); d && !d->shouldChangeCharacters(*this, range, replacement)) return false;
  const std::u16string inserted = utf8ToUTF16(replacement);
  units.replace(range.location, range.length, inserted);
  text_ = utf16ToUTF8(units);
  selection_ = {range.location + inserted.size(), 0};
  updateSideViews();
  revealCaret();
  setNeedsDisplay();
  sendActions(ControlEvent::EditingChanged);
  return true;
}

bool TextField::insertText(const std::string& text) { return replaceCharacters(selection_, text); }

bool TextField::deleteBackward() {
  if (selection_.length > 0) return replaceCharacters(selection_, "");
  // At the start there is nothing to remove; the delegate still hears the
  // key, as a keyboard sends it.
  if (selection_.location == 0) return replaceCharacters({0, 0}, "");
  return replaceCharacters(rangeOfComposedCharacterSequenceAtIndex(*String::make(text_), selection_.location - 1),
                           "");
}

void TextField::setSelectedRange(Range range) {
  const size_t length = unitCount(text_);
  range.location = std::min(range.location, length);
  range.length = std::min(range.length, length - range.location);
  if (range == selection_) return;
  selection_ = range;
  revealCaret();
  setNeedsDisplay();
}

void TextField::pressReturn() {
  Ref<Object> keep = weak_from_this().lock();
  bool proceed = true;
  if (auto d = delegate.lock()) proceed = d->textFieldShouldReturn(*this);
  if (proceed) sendActions(ControlEvent::EditingDidEndOnExit);
}

bool TextField::clear() {
  Ref<Object> keep = weak_from_this().lock();
  if (auto d = delegate.lock(); d && !d->textFieldShouldClear(*this)) return false;
  if (text_.empty()) return true;
  text_.clear();
  selection_ = {0, 0};
  scrollX_ = 0;
  updateSideViews();
  setNeedsDisplay();
  sendActions(ControlEvent::EditingChanged);
  return true;
}

void TextField::touchesEnded(const TouchSet& touches, const Event* event) {
  Control::touchesEnded(touches, event);
  if (!isEnabled() || !becomeFirstResponder() || touches.empty()) return;
  // The caret goes where the tap was.
  setSelectedRange({closestPositionToPoint(touches.front()->locationInView(this)), 0});
}

// ---- Caret ------------------------------------------------------------------------

std::string TextField::shownText() const {
  if (!secure_) return text_;
  std::string dots;
  for (size_t i = 0; i < unitCount(text_); ++i) dots += "\u2022";
  return dots;
}

double TextField::textOriginX() const {
  const Rect box = textRectForBounds(bounds());
  const double width = FieldLine(shownText(), font_).width();
  if (editing_ && !text_.empty() && width + kCaretWidth > box.width()) return box.minX() - scrollX_;
  const double room = box.width() - width;
  if (alignment_ == TextAlignment::Center) return box.minX() + room / 2;
  if (alignment_ == TextAlignment::Right) return box.minX() + room;
  return box.minX();
}

double TextField::positionX(size_t position) const {
  if (text_.empty()) return 0;
  return FieldLine(shownText(), font_).x(position);
}

size_t TextField::closestPositionToPoint(Point point) const {
  if (text_.empty()) return 0;
  FieldLine line(shownText(), font_);
  const double height = TextEngine::shared().measure(line.request).size.height;
  const size_t index = TextEngine::shared().characterIndexAtPoint(line.request, {point.x - textOriginX(), height / 2});
  return std::min(index, unitCount(text_));
}

Rect TextField::caretRect() const {
  const Rect box = textRectForBounds(bounds());
  const double height = TextEngine::shared().metrics(*font_).height;
  double x = textOriginX() + positionX(selection_.end());
  x = std::max(box.minX(), std::min(x, box.maxX() - kCaretWidth));
  return {x, box.midY() - height / 2, kCaretWidth, height};
}

void TextField::revealCaret() {
  if (!editing_ || text_.empty()) {
    scrollX_ = 0;
    return;
  }
  const Rect box = textRectForBounds(bounds());
  FieldLine line(shownText(), font_);
  const double width = line.width();
  if (width + kCaretWidth <= box.width()) {
    scrollX_ = 0;
    return;
  }
  // The least scroll that shows the caret, within the text's ends.
  const double caret = line.x(selection_.end());
  if (caret - scrollX_ > box.width() - kCaretWidth) scrollX_ = caret - (box.width() - kCaretWidth);
  if (caret < scrollX_) scrollX_ = caret;
  scrollX_ = std::max(0.0, std::min(scrollX_, width + kCaretWidth - box.width()));
}

// ---- Clear button and side views -----------------------------------------------------

bool TextField::shows(TextFieldViewMode mode) const {
  switch (mode) {
    case TextFieldViewMode::Never: return false;
    case TextFieldViewMode::WhileEditing: return editing_;
    case TextFieldViewMode::UnlessEditing: return !editing_;
    case TextFieldViewMode::Always: return true;
  }
  return false;
}

void TextField::setClearButtonMode(TextFieldViewMode m) {
  clearMode_ = m;
  updateSideViews();
}

Ref<Button> TextField::clearButtonShown() const {
  return clearButton_ && clearButton_->superview().get() == this && !clearButton_->isHidden() ? clearButton_
                                                                                            : nullptr;
}

void TextField::setLeftView(Ref<View> v) {
  if (leftView_) leftView_->removeFromSuperview();
  leftView_ = std::move(v);
  updateSideViews();
}

void TextField::setLeftViewMode(TextFieldViewMode m) {
  leftMode_ = m;
  updateSideViews();
}

void TextField::setRightView(Ref<View> v) {
  if (rightView_) rightView_->removeFromSuperview();
  rightView_ = std::move(v);
  updateSideViews();
}

void TextField::setRightViewMode(TextFieldViewMode m) {
  rightMode_ = m;
  updateSideViews();
}

void TextField::updateSideViews() {
  // The clear button shows only over some text.
  const bool showClear = shows(clearMode_) && !text_.empty();
  if (showClear && !clearButton_) {
    clearButton_ = Button::make(Rect{0, 0, kClearButtonSize, kClearButtonSize});
    clearButton_->setTitle("\u2297");
    clearButton_->setTitleColor(Color::white(0.7));
    Weak<TextField> weak = std::static_pointer_cast<TextField>(weak_from_this().lock());
    clearButton_->addAction(ControlEvent::TouchUpInside, [weak] {
      if (auto self = weak.lock()) self->clear();
    });
  }
  if (clearButton_) {
    if (showClear && clearButton_->superview().get() != this) addSubview(clearButton_);
    if (!showClear) clearButton_->removeFromSuperview();
  }
  for (auto [view, mode] : {std::pair{leftView_, leftMode_}, std::pair{rightView_, rightMode_}}) {
    if (!view) continue;
    if (shows(mode) && view->superview().get() != this) addSubview(view);
    if (!shows(mode)) view->removeFromSuperview();
  }
  setNeedsLayout();
  layoutSubviews();
}

Rect TextField::textRectForBounds(const Rect& b) const {
  const double inset = border_ == TextBorderStyle::None ? 0 : 7;
  double left = b.minX() + inset, right = b.maxX() - inset;
  if (leftView_ && leftView_->superview().get() == this) left = leftView_->frame().maxX();
  if (rightView_ && rightView_->superview().get() == this) right = rightView_->frame().minX();
  if (clearButtonShown()) right = clearButton_->frame().minX() - kSideGap;
  return {left, b.minY(), std::max(0.0, right - left), b.height()};
}

void TextField::layoutSubviews() {
  Control::layoutSubviews();
  const Rect b = bounds();
  if (leftView_ && leftView_->superview().get() == this) {
    const Size s = leftView_->frame().size;
    leftView_->setFrame(Rect{0, (b.height() - s.height) / 2, s.width, s.height});
  }
  double right = b.width();
  if (rightView_ && rightView_->superview().get() == this) {
    const Size s = rightView_->frame().size;
    rightView_->setFrame(Rect{b.width() - s.width, (b.height() - s.height) / 2, s.width, s.height});
    right = b.width() - s.width;
  }
  if (clearButtonShown())
    clearButton_->setFrame(Rect{right - kClearButtonSize - kSideGap, (b.height() - kClearButtonSize) / 2,
                                kClearButtonSize, kClearButtonSize});
}

// ---- Drawing ---------------------------------------------------------------------

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
  const Rect box = textRectForBounds(b);
  if (editing_) {
    // Where the caret shows, after whatever changed the field's width.
    revealCaret();
    setSourceColor(canvas, *tintColor());
    const Rect caret = caretRect();
    cairo_rectangle(cr, caret.minX(), caret.minY(), caret.width(), caret.height());
    cairo_fill(cr);
  }
  if (empty && placeholder_.empty()) return editing_ || border_ != TextBorderStyle::None;
  Ref<AttributedString> text = empty && attributedPlaceholder_
                                   ? attributedPlaceholder_
                                   : AttributedString::make(empty ? placeholder_ : shownText());
  TextLayoutRequest request;
  request.text = text.get();
  request.defaults.font = font_;
  request.defaults.foregroundColor = empty ? Color::white(0.7) : textColor_;
  request.alignment = alignment_;
  const double height = TextEngine::shared().measure(request).size.height;
  cairo_save(cr);
  cairo_rectangle(cr, box.minX(), box.minY(), box.width(), box.height());
  cairo_clip(cr);
  // The text where the caret's positions are (aligned, or scrolled while
  // editing); a placeholder aligned in the box.
  if (empty) TextEngine::shared().draw(cr, request, {box.minX(), box.midY() - height / 2}, box.width());
  else TextEngine::shared().draw(cr, request, {textOriginX(), box.midY() - height / 2});
  cairo_restore(cr);
  return true;
}

}  // namespace kit
