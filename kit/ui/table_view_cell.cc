// Table cells and section header/footer views: built-in subviews, their
// placement by style, highlighting and selection, and touches that select.
#include "kit/ui/table_view_cell.h"

#include <algorithm>

#include "kit/ui/table_view.h"

namespace kit {

namespace {

constexpr double kMargin = 15;
constexpr double kAccessoryWidth = 33;

}  // namespace

TableViewCell::TableViewCell(TableViewCellStyle style, std::string reuseIdentifier)
    : View(Rect{0, 0, 320, 44}), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
  setBackgroundColor(Color::whiteColor());
  contentView_ = View::make(bounds());
  contentView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  addSubview(contentView_);
  separator_ = View::make(Rect{kMargin, 43.5, 305, 0.5});
  separator_->setBackgroundColor(Color::rgba(200 / 255.0, 199 / 255.0, 204 / 255.0, 1));
  separator_->setUserInteractionEnabled(false);
  addSubview(separator_);
}

TableViewCell::TableViewCell(const Rect& frame) : TableViewCell(TableViewCellStyle::Default, "") {
  setFrame(frame);
}

const Ref<Label>& TableViewCell::textLabel() {
  if (!textLabel_) {
    textLabel_ = Label::make();
    textLabel_->setFont(Font::systemFont(17));
    contentView_->addSubview(textLabel_);
    setNeedsLayout();
  }
  return textLabel_;
}

Ref<Label> TableViewCell::detailTextLabel() {
  if (style_ == TableViewCellStyle::Default) return nullptr;
  if (!detailTextLabel_) {
    detailTextLabel_ = Label::make();
    const bool subtitle = style_ == TableViewCellStyle::Subtitle;
    detailTextLabel_->setFont(Font::systemFont(subtitle ? 12 : 17));
    detailTextLabel_->setTextColor(subtitle ? Color::blackColor() : Color::white(0.56));
    if (style_ == TableViewCellStyle::Value1) detailTextLabel_->setTextAlignment(TextAlignment::Right);
    contentView_->addSubview(detailTextLabel_);
    setNeedsLayout();
  }
  return detailTextLabel_;
}

const Ref<ImageView>& TableViewCell::imageView() {
  if (!imageView_) {
    imageView_ = ImageView::make();
    contentView_->addSubview(imageView_);
    setNeedsLayout();
  }
  return imageView_;
}

void TableViewCell::setAccessoryType(TableViewCellAccessoryType t) {
  accessoryType_ = t;
  if (accessoryMark_) {
    accessoryMark_->removeFromSuperview();
    accessoryMark_.reset();
  }
  if (t != TableViewCellAccessoryType::None) {
    auto mark = Label::make(Rect{0, 0, 20, 20});
    mark->setTextAlignment(TextAlignment::Center);
    mark->setText(t == TableViewCellAccessoryType::Checkmark ? "\u2713" : "\u203A");
    mark->setTextColor(t == TableViewCellAccessoryType::Checkmark ? tintColor() : Color::white(0.78));
    accessoryMark_ = mark;
    addSubview(accessoryMark_);
  }
  setNeedsLayout();
}

void TableViewCell::setAccessoryView(Ref<View> view) {
  if (accessoryView_) accessoryView_->removeFromSuperview();
  accessoryView_ = std::move(view);
  if (accessoryView_) addSubview(accessoryView_);
  setNeedsLayout();
}

void TableViewCell::setBackgroundView(Ref<View> view) {
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = std::move(view);
  if (backgroundView_) {
    backgroundView_->setFrame(bounds());
    backgroundView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
    insertSubviewAt(backgroundView_, 0);
  }
}

const Ref<View>& TableViewCell::selectedBackgroundView() {
  if (!selectedBackgroundView_) {
    selectedBackgroundView_ = View::make(bounds());
    selectedBackgroundView_->setBackgroundColor(Color::white(0.85));
  }
  return selectedBackgroundView_;
}

void TableViewCell::setSelectedBackgroundView(Ref<View> view) {
  if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
  selectedBackgroundView_ = std::move(view);
  showSelectionBackground();
}

void TableViewCell::showSelectionBackground() {
  const bool show = (selected_ || highlighted_) && selectionStyle_ != TableViewCellSelectionStyle::None;
  if (!show) {
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    if (textLabel_) textLabel_->setHighlighted(false);
    return;
  }
  const Ref<View>& selectedView = selectedBackgroundView();
  selectedView->setFrame(bounds());
  selectedView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  insertSubviewBelow(selectedView, contentView_.get());
  if (textLabel_) textLabel_->setHighlighted(true);
}

void TableViewCell::setSelected(bool selected, bool) {
  selected_ = selected;
  showSelectionBackground();
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
  highlighted_ = highlighted;
  showSelectionBackground();
}

void TableViewCell::layoutSubviews() {
  View::layoutSubviews();
  const Rect b = bounds();
  double contentWidth = b.width();
  Ref<View> accessory = accessoryView_ ? accessoryView_ : accessoryMark_;
  if (accessory) {
    const Size s = accessory->frame().size;
    accessory->setFrame(Rect{b.width() - kMargin - s.width, (b.height() - s.height) / 2, s.width, s.height});
    contentWidth = std::max(0.0, b.width() - kAccessoryWidth - (accessoryView_ ? s.width - 20 : 0));
  }
  contentView_->setFrame(Rect{0, 0, contentWidth, b.height()});
  separator_->setFrame(Rect{separatorInset_.left, b.height() - 0.5,
                            std::max(0.0, b.width() - separatorInset_.left - separatorInset_.right), 0.5});
  bringSubviewToFront(separator_.get());

  double x = kMargin;
  const double h = b.height();
  if (imageView_ && imageView_->image()) {
    const Size s = imageView_->image()->size();
    const double side = std::min(s.height, h);
    const double width = s.height > 0 ? s.width * side / s.height : 0;
    imageView_->setFrame(Rect{kMargin, (h - side) / 2, width, side});
    x = kMargin + width + kMargin;
  } else if (imageView_) {
    imageView_->setFrame(Rect{kMargin, 0, 0, 0});
  }
  const double right = contentWidth - kMargin;
  const double width = std::max(0.0, right - x);
  switch (style_) {
    case TableViewCellStyle::Default:
      if (textLabel_) textLabel_->setFrame(Rect{x, 0, width, h});
      break;
    case TableViewCellStyle::Subtitle: {
      const double lineH = h / 2;
      if (textLabel_) textLabel_->setFrame(Rect{x, h / 2 - lineH + 2, width, lineH - 2});
      if (detailTextLabel_) detailTextLabel_->setFrame(Rect{x, h / 2, width, lineH - 4});
      break;
    }
    case TableViewCellStyle::Value1:
      if (textLabel_) textLabel_->setFrame(Rect{x, 0, width / 2, h});
      if (detailTextLabel_) detailTextLabel_->setFrame(Rect{x + width / 2, 0, width / 2, h});
      break;
    case TableViewCellStyle::Value2:
      if (textLabel_) {
        textLabel_->setTextAlignment(TextAlignment::Right);
        textLabel_->setFrame(Rect{x, 0, 76, h});
      }
      if (detailTextLabel_) detailTextLabel_->setFrame(Rect{x + 82, 0, std::max(0.0, width - 82), h});
      break;
  }
}

TableView* TableViewCell::table() const {
  for (View* v = superview().get(); v; v = v->superview().get())
    if (auto table = dynamic_cast<TableView*>(v)) return table;
  return nullptr;
}

void TableViewCell::touchesBegan(const TouchSet&, const Event*) {
  if (TableView* t = table()) t->cellTouchDown(*this);
}

void TableViewCell::touchesEnded(const TouchSet&, const Event*) {
  if (TableView* t = table()) t->cellTouchUp(*this, true);
}

void TableViewCell::touchesCancelled(const TouchSet&, const Event*) {
  if (TableView* t = table()) t->cellTouchUp(*this, false);
}

// ---- Header and footer views ---------------------------------------------------

TableViewHeaderFooterView::TableViewHeaderFooterView(std::string reuseIdentifier)
    : View(Rect{0, 0, 320, 28}), reuseIdentifier_(std::move(reuseIdentifier)) {
  setBackgroundColor(Color::white(0.97));
  contentView_ = View::make(bounds());
  contentView_->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  addSubview(contentView_);
}

const Ref<Label>& TableViewHeaderFooterView::textLabel() {
  if (!textLabel_) {
    textLabel_ = Label::make();
    textLabel_->setFont(Font::systemFont(13));
    textLabel_->setTextColor(Color::white(0.43));
    contentView_->addSubview(textLabel_);
    setNeedsLayout();
  }
  return textLabel_;
}

const Ref<Label>& TableViewHeaderFooterView::detailTextLabel() {
  if (!detailTextLabel_) {
    detailTextLabel_ = Label::make();
    detailTextLabel_->setFont(Font::systemFont(12));
    contentView_->addSubview(detailTextLabel_);
    setNeedsLayout();
  }
  return detailTextLabel_;
}

void TableViewHeaderFooterView::layoutSubviews() {
  View::layoutSubviews();
  const Rect b = bounds();
  contentView_->setFrame(b);
  const double width = std::max(0.0, b.width() - 2 * kMargin);
  if (textLabel_) textLabel_->setFrame(Rect{kMargin, 0, width, detailTextLabel_ ? b.height() / 2 : b.height()});
  if (detailTextLabel_) detailTextLabel_->setFrame(Rect{kMargin, b.height() / 2, width, b.height() / 2});
}

}  // namespace kit
