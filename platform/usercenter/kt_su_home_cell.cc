// The home page's news row and its scene. See kt_su_home_cell.h.
#include "platform/usercenter/kt_su_home_cell.h"

#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_home_msg_cell.h"

namespace {

constexpr double W = 300, RowH = 40;
const kit::Rect kTagFrame{10, 12, 34, 16};
const kit::Rect kContentFrame{52, 10, 238, 20};

}  // namespace

kit::Ref<KTSuHomeCell> KTSuHomeCell::make() {
  auto cell = kit::make<KTSuHomeCell>(kit::Rect{0, 0, W, RowH});
  cell->buildScene();
  return cell;
}

void KTSuHomeCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTSuHomeCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto tag = kit::Label::make(kTagFrame);
  tag->setFont(kit::Font::systemFont(10));
  tag->setTextColor(kit::Color::whiteColor());
  tag->setTextAlignment(kit::TextAlignment::Center);
  tag->layer()->setCornerRadius(3);
  tag->setClipsToBounds(true);
  auto content = kit::Label::make(kContentFrame);
  content->setFont(kit::Font::systemFont(13));
  content->setTextColor(kit::Color::hex(0x333333));
  contentView()->addSubview(tag);
  contentView()->addSubview(content);
  tagL_ = tag;
  contentL_ = content;
}

void KTSuHomeCell::setModel(const kit::Ref<KTSuHomeMsgModel>& model) {
  model_ = model;
  if (!model) return;
  if (auto tag = tagL()) {
    tag->setText(kit::readableText(model->tag()));
    const bool activity = model->tag() && model->tag()->isEqualToString(KTSuHomeMsgCell::ActivityTag);
    tag->setBackgroundColor(
        kit::Color::hex(activity ? KTSuHomeMsgCell::ActivityColour : KTSuHomeMsgCell::OtherColour));
  }
  if (auto l = contentL()) l->setText(kit::shownText(model->post_title()));
}
