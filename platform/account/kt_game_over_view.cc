// The play-time overlay. See kt_game_over_view.h.
#include "platform/account/kt_game_over_view.h"

#include "kit/ui/font.h"

namespace {

constexpr double S = 300;  // the box's side
constexpr double TitleTop = 15;
const kit::Rect kMessageFrame{25, 100, 250, 100};

}  // namespace

KTGameOverView::KTGameOverView(const kit::Rect& frame) : kit::View(frame) { _initUI(); }

void KTGameOverView::_initUI() {
  setBackgroundColor(kit::Color::white(0, 0.2));

  box_ = kit::View::make({0, 0, S, S});
  box_->setCenter({bounds().midX(), bounds().midY()});
  box_->setBackgroundColor(kit::Color::whiteColor());
  box_->layer()->setCornerRadius(8);
  box_->setClipsToBounds(true);
  addSubview(box_);

  titleLabel_ = kit::Label::make();
  titleLabel_->setText(Title);
  titleLabel_->setFont(kit::Font::systemFont(18));
  titleLabel_->setTextColor(kit::Color::blackColor());
  titleLabel_->sizeToFit();
  titleLabel_->setCenter({S / 2, TitleTop + titleLabel_->frame().size.height / 2});
  box_->addSubview(titleLabel_);

  messageLabel_ = kit::Label::make(kMessageFrame);
  messageLabel_->setText(Message);
  messageLabel_->setNumberOfLines(0);
  messageLabel_->setTextAlignment(kit::TextAlignment::Center);
  messageLabel_->setFont(kit::Font::systemFont(16));
  messageLabel_->setTextColor(kit::Color::redColor());
  box_->addSubview(messageLabel_);
}
