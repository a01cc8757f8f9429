// The pay notice and its interface scene. See kt_pay_notice_view.h.
#include "platform/account/kt_pay_notice_view.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "platform/base/ns_string_url_encode.h"
#include "ui/widgets/ui_button_helpers.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

using N = KTPayNoticeView;

// The scene, in notice points: the icon, the status, the two buttons side
// by side at the bottom.
constexpr double Icon = 40, IconTop = 16;
const kit::Rect kStatusFrame{20, 64, N::W - 40, 44};
constexpr double ButtonW = 110, ButtonH = 40, ButtonTop = 122, ButtonSide = 20;
constexpr double CornerRadius = 5;
constexpr const char* kIconImage = "KT_pay_notice";

kit::Ref<kit::Color> rgb(int r, int g, int b) { return kit::Color::rgba(r / 255.0, g / 255.0, b / 255.0, 1); }

kit::Ref<kit::Button> sceneButton(const kit::Rect& frame, const char* title, bool filled) {
  auto button = kit::Button::make(frame);
  button->setTitle(title);
  button->titleLabel()->setFont(kit::Font::systemFont(15));
  button->setTitleColor(filled ? kit::Color::whiteColor() : rgb(48, 146, 246));
  UIButtonFillColor::setBackgroundColor(*button, filled ? rgb(48, 146, 246) : kit::Color::whiteColor(),
                                        kit::ControlStateNormal);
  UIViewExtension::setLayerBorderWidth(*button, 1, rgb(48, 146, 246));
  UIViewExtension::setLayerCornerRadius(*button, ButtonH / 2);
  return button;
}

}  // namespace

void KTPayNoticeView::registerNib() {
  kit::SceneRegistry::shared().registerNib(kSceneName, [](const kit::Id&) { return std::vector<kit::Id>{make()}; });
}

kit::Ref<KTPayNoticeView> KTPayNoticeView::make() {
  auto notice = kit::make<KTPayNoticeView>(kit::Rect{0, 0, W, H});
  notice->buildScene();
  return notice;
}

void KTPayNoticeView::buildScene() {
  setBackgroundColor(kit::Color::whiteColor());

  auto icon = kit::ImageView::make(kit::Rect{(W - Icon) / 2, IconTop, Icon, Icon});
  icon->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(kIconImage)));
  addSubview(icon);

  auto status = kit::Label::make(kStatusFrame);
  status->setFont(kit::Font::boldSystemFont(17));
  status->setTextColor(rgb(51, 51, 51));
  status->setTextAlignment(kit::TextAlignment::Center);
  status->setNumberOfLines(2);
  addSubview(status);
  statusL_ = status;

  auto game = sceneButton(kit::Rect{ButtonSide, ButtonTop, ButtonW, ButtonH}, kGoToGameTitle, false);
  auto apply = sceneButton(kit::Rect{W - ButtonSide - ButtonW, ButtonTop, ButtonW, ButtonH}, kGoToApplyTitle, true);
  kit::Weak<KTPayNoticeView> weak = weakSelf<KTPayNoticeView>();
  game->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->doCancel();
  });
  apply->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->doGo();
  });
  addSubview(game);
  addSubview(apply);
  gameButton_ = game;
  applyButton_ = apply;
}

void KTPayNoticeView::awakeFromNib() {
  kit::View::awakeFromNib();
  UIViewExtension::setLayerCornerRadius(*this, CornerRadius);
}

void KTPayNoticeView::doCancel() {
  KIT_CHECK_MAIN_THREAD();
  if (!goToGameBlock_) return;
  // Held: taking the notice away may release it, and the block with it.
  auto self = weakSelf<KTPayNoticeView>().lock();
  Block block = goToGameBlock_;
  removeFromSuperview();
  block(payError_, payStatus_);
}

void KTPayNoticeView::doGo() {
  KIT_CHECK_MAIN_THREAD();
  if (!goToApplyBlock_) return;
  Block block = goToApplyBlock_;
  block(payError_, payStatus_);
}
