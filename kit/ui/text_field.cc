// Text fields: editing through the delegate, the keyboard, the clear button
// and side views, and drawing.
#include "kit/ui/text_field.h"

#include <cairo.h>

#include "kit/ui/button.h"
#include "kit/ui/canvas.h"
#include "kit/ui/canvas_drawing.h"
#include "kit/ui/text_engine.h"

namespace kit {

namespace {

constexpr double kClearButtonSize = 19;
constexpr double kSideGap = 5;

}  // namespace

TextField::TextField(const Rect& frame)
    : Control(frame), font_(Font::systemFont(Font::LabelFontSize)), textColor_(Color::blackColor()) {}

void TextField::setText(std::string_view text) {
  text_ = std::string(text);
  updateSideViews();
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
  Keyboard::inputDidBegin();
  updateSideViews();
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
  Keyboard::inputDidEnd();
  updateSideViews();
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
  units.replace(range.location, range.length, utf8ToUTF16(replacement));
  text_ = utf16ToUTF8(units);
  updateSideViews();
  setNeedsDisplay();
  sendActions(ControlEvent::EditingChanged);
  return true;
}

bool TextField::insertText(const std::string& text) {
  return replaceCharacters({utf8ToUTF16(text_).size(), 0}, text);
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
  updateSideViews();
  setNeedsDisplay();
  sendActions(ControlEvent::EditingChanged);
  return true;
}

void TextField::touchesEnded(const TouchSet& touches, const Event* event) {
  Control::touchesEnded(touches, event);
  if (isEnabled()) becomeFirstResponder();
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
  if (empty && placeholder_.empty()) return border_ != TextBorderStyle::None;
  Ref<AttributedString> text;
  if (empty && attributedPlaceholder_) {
    text = attributedPlaceholder_;
  } else {
    std::string shown = empty ? placeholder_ : text_;
    if (!empty && secure_) {
      shown.clear();
      for (size_t i = 0; i < utf8ToUTF16(text_).size(); ++i) shown += "\u2022";
    }
    text = AttributedString::make(shown);
  }
  TextLayoutRequest request;
  request.text = text.get();
  request.defaults.font = font_;
  request.defaults.foregroundColor = empty ? Color::white(0.7) : textColor_;
  request.alignment = alignment_;
  const Rect box = textRectForBounds(b);
  const double height = TextEngine::shared().measure(request).size.height;
  cairo_save(cr);
  cairo_rectangle(cr, box.minX(), box.minY(), box.width(), box.height());
  cairo_clip(cr);
  TextEngine::shared().draw(cr, request, {box.minX(), box.midY() - height / 2}, box.width());
  cairo_restore(cr);
  return true;
}

}  // namespace kit
