// Recording stand-ins for the store overlays. See recording_store_overlays.h.

#include "channel/testing/recording_store_overlays.h"

#include <algorithm>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/window.h"

namespace {

const char* hubClass(NUVAOverlayForm form) {
  return form == NUVAOverlayForm::Portrait ? "NUVAVerticalGMShopView" : "NUVAGMShopView";
}

const char* hallClass(NUVAOverlayForm form) {
  return form == NUVAOverlayForm::Portrait ? "NUVAVerResourceHallView" : "NUVAResourceHallView";
}

// The card of a placeholder: at most `wanted`, inside the window with a
// margin.
kit::Size fitted(kit::Size wanted, kit::Size window) {
  return {std::min(wanted.width, window.width - 40), std::min(wanted.height, window.height - 40)};
}

std::string joined(const kit::Ref<kit::MutableArray>& list) {
  std::string text;
  if (!list) return text;
  for (const auto& entry : *list) text += (text.empty() ? "" : " ") + kit::describe(entry);
  return text;
}

size_t countOf(const kit::Ref<kit::MutableArray>& list) { return list ? list->count() : 0; }

}  // namespace

// ---- The placeholder ---------------------------------------------------------------------------

void RecordingOverlayView::showPlaceholder(kit::Size cardSize, const std::string& detail) {
  shown_ = true;
  auto window = kit::Application::shared()->keyWindow();
  if (!window) return;
  auto bounds = window->bounds();
  setFrame(bounds);
  setBackgroundColor(kit::Color::rgba(0, 0, 0, 0.5));
  auto size = fitted(cardSize, bounds.size);
  auto card = kit::View::make({(bounds.size.width - size.width) / 2, (bounds.size.height - size.height) / 2,
                               size.width, size.height});
  card->setBackgroundColor(kit::Color::whiteColor());
  card->layer()->setCornerRadius(12);
  addSubview(card);

  titleLabel_ = kit::Label::make({10, 20, size.width - 20, 28});
  titleLabel_->setText(className_);
  titleLabel_->setFont(kit::Font::boldSystemFont(18));
  titleLabel_->setTextAlignment(kit::TextAlignment::Center);
  titleLabel_->setTextColor(kit::Color::rgba(246 / 255.0, 71 / 255.0, 32 / 255.0));
  card->addSubview(titleLabel_);

  detailLabel_ = kit::Label::make({16, 60, size.width - 32, std::min(120.0, size.height - 80)});
  detailLabel_->setText(detail);
  detailLabel_->setFont(kit::Font::systemFont(13));
  detailLabel_->setNumberOfLines(0);
  detailLabel_->setTextAlignment(kit::TextAlignment::Center);
  detailLabel_->setTextColor(kit::Color::darkGrayColor());
  card->addSubview(detailLabel_);

  window->addSubview(selfAs<kit::View>());
}

void RecordingOverlayView::leave() { removeFromSuperview(); }

// ---- The stand-ins -----------------------------------------------------------------------------

RecordingGMShopView::RecordingGMShopView(NUVAOverlayForm form) : RecordingOverlayView(hubClass(form)), form_(form) {}

void RecordingGMShopView::show() {
  std::string detail = "商城占位\n标签: " + joined(menuBtnArray) + "\n首个标签 shop_type: " + kit::describe(shop_type) +
                       "\nGM分类 " + std::to_string(countOf(responseArray)) + " · VIP分类 " +
                       std::to_string(countOf(VIPArray));
  kit::Size card = form_ == NUVAOverlayForm::Portrait ? kit::Size{330, 540} : kit::Size{575, 310};
  showPlaceholder(card, detail);
}

void RecordingGMShopView::close() {
  if (closeBlock) closeBlock();
  leave();
}

void RecordingGMShopView::recharge() {
  auto request = kit::JSONSerialization::dataWithJSONObject(kit::dict({{"event", "open_shop"}, {"ext1", ""}, {"ext2", ""}}));
  kit::Id text = kit::str(request ? request->toString() : "");
  // The hub closes itself before it passes the request on.
  close();
  if (rechargeBlock) rechargeBlock(text);
}

void RecordingLevelPopView::pressButton() {
  if (closeBlock) closeBlock();
  leave();
}

void RecordingLevelPopView::show() {
  showPlaceholder({300, 220}, "等级礼包占位\n" + kit::describe(items));
}

RecordingResourceHallView::RecordingResourceHallView(NUVAOverlayForm form)
    : RecordingOverlayView(hallClass(form)), form_(form) {}

void RecordingResourceHallView::show() {
  kit::Id answer = responseData;
  showPlaceholder(form_ == NUVAOverlayForm::Portrait ? kit::Size{330, 540} : kit::Size{575, 310},
                  "资源大厅占位\n" + kit::describe(answer["data"]["notice"]));
}

void RecordingNotOpenView::show() { showPlaceholder({280, 160}, "资源大厅暂未开放"); }

// ---- The factory -------------------------------------------------------------------------------

std::shared_ptr<RecordingStoreOverlays> RecordingStoreOverlays::install() {
  auto overlays = std::make_shared<RecordingStoreOverlays>();
  NUVAStoreOverlays::install(overlays);
  return overlays;
}

std::vector<kit::Ref<RecordingGMShopView>> RecordingStoreOverlays::hubs() const {
  std::lock_guard lock(mutex_);
  return hubs_;
}

std::vector<kit::Ref<RecordingLevelPopView>> RecordingStoreOverlays::levelPopUps() const {
  std::lock_guard lock(mutex_);
  return levelPopUps_;
}

std::vector<kit::Ref<RecordingResourceHallView>> RecordingStoreOverlays::halls() const {
  std::lock_guard lock(mutex_);
  return halls_;
}

std::vector<kit::Ref<RecordingNotOpenView>> RecordingStoreOverlays::notOpenViews() const {
  std::lock_guard lock(mutex_);
  return notOpenViews_;
}

std::shared_ptr<NUVAGMShopOverlay> RecordingStoreOverlays::makeGMShopView(NUVAOverlayForm form) {
  auto hub = kit::make<RecordingGMShopView>(form);
  std::lock_guard lock(mutex_);
  hubs_.push_back(hub);
  return hub;
}

std::shared_ptr<NUVALevelPopOverlay> RecordingStoreOverlays::makeLevelPopView() {
  auto popUp = kit::make<RecordingLevelPopView>();
  std::lock_guard lock(mutex_);
  levelPopUps_.push_back(popUp);
  return popUp;
}

std::shared_ptr<NUVAResourceHallOverlay> RecordingStoreOverlays::makeResourceHallView(NUVAOverlayForm form) {
  auto hall = kit::make<RecordingResourceHallView>(form);
  std::lock_guard lock(mutex_);
  halls_.push_back(hall);
  return hall;
}

std::shared_ptr<NUVANotOpenOverlay> RecordingStoreOverlays::makeNotOpenView() {
  auto view = kit::make<RecordingNotOpenView>();
  std::lock_guard lock(mutex_);
  notOpenViews_.push_back(view);
  return view;
}
