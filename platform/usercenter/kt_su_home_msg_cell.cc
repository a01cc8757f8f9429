// The message row and its scene. See kt_su_home_msg_cell.h.
#include "platform/usercenter/kt_su_home_msg_cell.h"

#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "ui/images/kt_web_image_view.h"

namespace {

constexpr double W = 300, RowH = 80, Margin = 10, PictureH = 60, TagW = 34, TagH = 16;

}  // namespace

kit::Ref<KTSuHomeMsgCell> KTSuHomeMsgCell::make() {
  auto cell = kit::make<KTSuHomeMsgCell>(kit::Rect{0, 0, W, RowH});
  cell->buildScene();
  return cell;
}

void KTSuHomeMsgCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTSuHomeMsgCell::buildScene() {
  using A = kit::LayoutAttribute;
  using R = kit::LayoutRelation;
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto& content = contentView();
  // The picture on the left; its width constraint folds it away.
  auto icon = kit::ImageView::make();
  icon->setClipsToBounds(true);
  icon->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->addSubview(icon);
  auto width = kit::LayoutConstraint::make(icon, A::Width, R::Equal, PictureW);
  content->addConstraints({kit::LayoutConstraint::make(icon, A::Left, R::Equal, content, A::Left, 1, Margin),
                           kit::LayoutConstraint::make(icon, A::Top, R::Equal, content, A::Top, 1, Margin),
                           kit::LayoutConstraint::make(icon, A::Height, R::Equal, PictureH), width});
  // The title beside the picture, the tag over its first spaces, the date
  // under it.
  auto title = kit::Label::make();
  title->setFont(kit::Font::systemFont(14));
  title->setTextColor(kit::Color::hex(0x333333));
  title->setNumberOfLines(2);
  title->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->addSubview(title);
  content->addConstraints({kit::LayoutConstraint::make(title, A::Left, R::Equal, icon, A::Right, 1, Margin),
                           kit::LayoutConstraint::make(title, A::Right, R::Equal, content, A::Right, 1, -Margin),
                           kit::LayoutConstraint::make(title, A::Top, R::Equal, content, A::Top, 1, Margin),
                           kit::LayoutConstraint::make(title, A::Height, R::Equal, 36)});
  auto tag = kit::Label::make();
  tag->setFont(kit::Font::systemFont(10));
  tag->setTextColor(kit::Color::whiteColor());
  tag->setTextAlignment(kit::TextAlignment::Center);
  tag->layer()->setCornerRadius(3);
  tag->setClipsToBounds(true);
  tag->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->addSubview(tag);
  content->addConstraints({kit::LayoutConstraint::make(tag, A::Left, R::Equal, title, A::Left),
                           kit::LayoutConstraint::make(tag, A::Top, R::Equal, title, A::Top, 1, 1),
                           kit::LayoutConstraint::make(tag, A::Width, R::Equal, TagW),
                           kit::LayoutConstraint::make(tag, A::Height, R::Equal, TagH)});
  auto time = kit::Label::make();
  time->setFont(kit::Font::systemFont(11));
  time->setTextColor(kit::Color::hex(0x999999));
  time->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->addSubview(time);
  content->addConstraints({kit::LayoutConstraint::make(time, A::Left, R::Equal, title, A::Left),
                           kit::LayoutConstraint::make(time, A::Right, R::Equal, title, A::Right),
                           kit::LayoutConstraint::make(time, A::Bottom, R::Equal, content, A::Bottom, 1, -Margin),
                           kit::LayoutConstraint::make(time, A::Height, R::Equal, 14)});
  iconView_ = icon;
  imageW_ = width;
  contentL_ = title;
  tagL_ = tag;
  timeL_ = time;
}

void KTSuHomeMsgCell::setModel(const kit::Ref<KTSuHomeMsgModel>& model) {
  model_ = model;
  if (!model) return;
  if (auto tag = tagL()) {
    tag->setText(kit::readableText(model->tag()));
    const bool activity = model->tag() && model->tag()->isEqualToString(ActivityTag);
    tag->setBackgroundColor(kit::Color::hex(activity ? ActivityColour : OtherColour));
  }
  auto icon = iconView();
  auto width = imageW();
  if (icon && width) {
    if (model->pic() && model->pic()->length() > 0) {
      width->setConstant(PictureW);
      icon->setHidden(false);
      KT_setImageWithURL(*icon, model->pic(), nullptr);
    } else {
      width->setConstant(0);
      icon->setHidden(true);
    }
  }
  if (auto l = contentL()) l->setText("           " + kit::shownText(model->post_title()));
  if (auto l = timeL()) l->setText(kit::shownText(model->time()));
}
