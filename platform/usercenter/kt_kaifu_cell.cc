// The server-opening row and its scene. See kt_kaifu_cell.h.
#include "platform/usercenter/kt_kaifu_cell.h"

#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"

namespace {

// Three columns of 100 points; the texts keep 10 points above and below.
constexpr double RowW = 300, RowH = 44, ColumnW = 100, Inset = 10;

}  // namespace

kit::Ref<KTKaifuCell> KTKaifuCell::make() {
  auto cell = kit::make<KTKaifuCell>(kit::Rect{0, 0, RowW, RowH});
  cell->buildScene();
  return cell;
}

void KTKaifuCell::registerNib() {
  kit::SceneRegistry::shared().registerNib(SceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

void KTKaifuCell::buildScene() {
  setSelectionStyle(kit::TableViewCellSelectionStyle::None);
  auto column = [&](int index) {
    auto label = kit::Label::make(kit::Rect{ColumnW * index, Inset, ColumnW, RowH - 2 * Inset});
    label->setFont(kit::Font::systemFont(KTSuKaifuModel::NameFontSize));
    label->setTextColor(kit::Color::hex(0x333333));
    label->setTextAlignment(kit::TextAlignment::Center);
    label->setNumberOfLines(0);
    label->setAutoresizingMask(kit::AutoresizingFlexibleHeight);
    contentView()->addSubview(label);
    return label;
  };
  dayL_ = column(0);
  timeL_ = column(1);
  serverL_ = column(2);
}

void KTKaifuCell::setModel(const kit::Ref<KTSuKaifuModel>& model) {
  model_ = model;
  if (auto l = dayL()) l->setText(kit::shownText(model ? model->day() : nullptr));
  if (auto l = timeL()) l->setText(kit::shownText(model ? model->hour() : nullptr));
  if (auto l = serverL()) l->setText(kit::shownText(model ? model->servername() : nullptr));
}
