// The sub-account row and its nib. See cxr_sub_name_cell.h.
#include "platform/account/cxr_sub_name_cell.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"

namespace {

// The nib: a 50-point row, the nickname 15 points in, dark grey system 15.
std::vector<kit::Id> buildNib(const kit::Id&) {
  auto cell = kit::make<CXRSubNameCell>(kit::Rect{0, 0, 320, 50});
  cell->setBackgroundColor(kit::Color::whiteColor());
  auto nickName = kit::Label::make({15, 0, 290, 50});
  nickName->setFont(kit::Font::systemFont(15));
  nickName->setTextColor(kit::Color::hex(0x333333));
  nickName->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  cell->contentView()->addSubview(nickName);
  cell->setNickNameL(nickName);
  return {kit::Id(cell)};
}

}  // namespace

CXRSubNameCell::CXRSubNameCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

void CXRSubNameCell::registerNib() {
  if (!kit::SceneRegistry::shared().hasNib(NibName)) kit::SceneRegistry::shared().registerNib(NibName, buildNib);
}

void CXRSubNameCell::setModel(kit::Ref<CXRSubNameModel> model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = std::move(model);
  if (auto label = nickNameL()) label->setText(model_ ? model_->rowName() : std::string());
}
