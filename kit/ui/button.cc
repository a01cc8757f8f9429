// Buttons: per-state content, layout of title and image, drawing.
#include "kit/ui/button.h"

#include <cmath>

#include "kit/ui/canvas_drawing.h"

namespace kit {

Ref<Button> Button::withType(ButtonType type) { return kit::make<Button>(Rect{}, type); }

Button::Button(const Rect& frame, ButtonType type) : Control(frame), type_(type) {}

template <class T>
T Button::lookup(const std::map<unsigned, T>& values, unsigned state) {
  auto it = values.find(state);
  if (it != values.end() && it->second) return it->second;
  // Highlighted while selected falls back to selected, then to normal.
  if ((state & ControlStateSelected) && (state & ControlStateHighlighted)) {
    it = values.find(ControlStateSelected);
    if (it != values.end() && it->second) return it->second;
  }
  it = values.find(ControlStateNormal);
  return it != values.end() ? it->second : T{};
}

void Button::setTitle(std::string_view title, unsigned state) {
  titles_[state] = std::string(title);
  refresh();
}

std::string Button::title(unsigned state) const {
  auto it = titles_.find(state);
  if (it != titles_.end() && !it->second.empty()) return it->second;
  it = titles_.find(ControlStateNormal);
  return it != titles_.end() ? it->second : std::string();
}

void Button::setTitleColor(Ref<Color> color, unsigned state) {
  titleColors_[state] = std::move(color);
  refresh();
}

Ref<Color> Button::titleColor(unsigned state) const {
  if (auto c = lookup(titleColors_, state)) return c;
  if (type_ == ButtonType::System) {
    if (state & ControlStateDisabled) return Color::white(0.56, 1);
    return const_cast<Button*>(this)->tintColor();
  }
  return Color::whiteColor();
}

void Button::setAttributedTitle(Ref<AttributedString> title, unsigned state) {
  attributedTitles_[state] = std::move(title);
  refresh();
}

Ref<AttributedString> Button::attributedTitle(unsigned state) const { return lookup(attributedTitles_, state); }

void Button::setImage(Ref<Image> image, unsigned state) {
  images_[state] = std::move(image);
  refresh();
}

Ref<Image> Button::image(unsigned state) const { return lookup(images_, state); }

void Button::setBackgroundImage(Ref<Image> image, unsigned state) {
  backgrounds_[state] = std::move(image);
  refresh();
}

Ref<Image> Button::backgroundImage(unsigned state) const { return lookup(backgrounds_, state); }

const Ref<Label>& Button::titleLabel() {
  if (!titleLabel_) {
    titleLabel_ = Label::make();
    titleLabel_->setFont(Font::systemFont(type_ == ButtonType::System ? 15 : 18));
    titleLabel_->setTextAlignment(TextAlignment::Center);
    refresh();
  }
  return titleLabel_;
}

const Ref<ImageView>& Button::imageView() {
  if (!imageView_) {
    imageView_ = ImageView::make();
    refresh();
  }
  return imageView_;
}

void Button::setContentEdgeInsets(const EdgeInsets& e) {
  contentInsets_ = e;
  setNeedsLayout();
}

void Button::setTitleEdgeInsets(const EdgeInsets& e) {
  titleInsets_ = e;
  setNeedsLayout();
}

void Button::setImageEdgeInsets(const EdgeInsets& e) {
  imageInsets_ = e;
  setNeedsLayout();
}

void Button::setContentHorizontalAlignment(ContentHorizontalAlignment a) {
  hAlign_ = a;
  setNeedsLayout();
}

void Button::setContentVerticalAlignment(ContentVerticalAlignment a) {
  vAlign_ = a;
  setNeedsLayout();
}

void Button::refresh() {
  const unsigned s = state();
  const std::string text = title(s);
  Ref<AttributedString> attributed = attributedTitle(s);
  if (!text.empty() || attributed) {
    if (!titleLabel_) {
      titleLabel();
      return;  // titleLabel() refreshes again
    }
    if (attributed) titleLabel_->setAttributedText(attributed);
    else titleLabel_->setText(text);
    titleLabel_->setTextColor(titleColor(s));
    if (titleLabel_->superview().get() != this) addSubview(titleLabel_);
  } else if (titleLabel_) {
    titleLabel_->removeFromSuperview();
  }
  Ref<Image> img = image(s);
  if (img) {
    if (!imageView_) {
      imageView();
      return;
    }
    imageView_->setImage(img);
    if (imageView_->superview().get() != this) insertSubviewAt(imageView_, 0);
  } else if (imageView_) {
    imageView_->setImage(nullptr);
    imageView_->removeFromSuperview();
  }
  setNeedsLayout();
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

Size Button::titleSize() const {
  if (!titleLabel_ || titleLabel_->superview().get() != this) return {};
  return titleLabel_->sizeThatFits({0, 0});
}

Size Button::imageSize() const {
  if (!imageView_ || !imageView_->image() || imageView_->superview().get() != this) return {};
  return imageView_->image()->size();
}

void Button::layoutSubviews() {
  Control::layoutSubviews();
  const Rect content = insetRect(bounds(), contentInsets_);
  const Size is = imageSize();
  Size ts = titleSize();
  const double maxTitle = content.size.width - is.width - titleInsets_.left - titleInsets_.right;
  if (ts.width > maxTitle && maxTitle > 0) ts.width = maxTitle;
  const double total = is.width + ts.width;
  double x;
  switch (hAlign_) {
    case ContentHorizontalAlignment::Left: x = content.minX(); break;
    case ContentHorizontalAlignment::Right: x = content.maxX() - total; break;
    default: x = content.minX() + (content.size.width - total) / 2; break;
  }
  auto yFor = [&](double h) {
    switch (vAlign_) {
      case ContentVerticalAlignment::Top: return content.minY();
      case ContentVerticalAlignment::Bottom: return content.maxY() - h;
      default: return content.minY() + (content.size.height - h) / 2;
    }
  };
  // Each part sits side by side, then moves by half of its insets'
  // difference, as the platform centres content within inset rectangles.
  auto shifted = [](Rect r, const EdgeInsets& e) {
    r.origin.x += (e.left - e.right) / 2;
    r.origin.y += (e.top - e.bottom) / 2;
    return r;
  };
  if (imageView_ && imageView_->superview().get() == this) {
    imageView_->setFrame(shifted({x, yFor(is.height), is.width, is.height}, imageInsets_));
  }
  if (titleLabel_ && titleLabel_->superview().get() == this) {
    titleLabel_->setFrame(shifted({x + is.width, yFor(ts.height), ts.width, ts.height}, titleInsets_));
  }
}

Size Button::sizeThatFits(Size) const {
  const Size is = imageSize(), ts = titleSize();
  Size s{is.width + ts.width + contentInsets_.left + contentInsets_.right,
         std::max(is.height, ts.height) + contentInsets_.top + contentInsets_.bottom};
  if (auto bg = backgroundImage(state())) {
    s.width = std::max(s.width, bg->size().width);
    s.height = std::max(s.height, bg->size().height);
  }
  if (type_ == ButtonType::System && s.height < 30) s.height = std::max(s.height, 30.0);
  return s;
}

Size Button::intrinsicContentSize() const { return sizeThatFits({}); }

bool Button::drawContent(Canvas& canvas) {
  Ref<Image> bg = backgroundImage(state());
  if (!bg) return false;
  Ref<Bitmap> bitmap = bg->uprightBitmap();
  if (!bitmap) return false;
  drawBitmap(canvas, *bitmap, bounds());
  return true;
}

}  // namespace kit
