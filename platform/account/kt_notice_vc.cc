// The notice page and its storyboard scene. See kt_notice_vc.h.
#include "platform/account/kt_notice_vc.h"

#include <algorithm>

#include "kit/dispatch/thread_check.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"

namespace {

// The card: at most 300 x 340, centred, with the title, the text and the
// close button stacked inside.
constexpr double CardW = 300, CardH = 340;
constexpr double TitleH = 44, ButtonH = 40, Inset = 15;

}  // namespace

void KTNoticeVC::registerScene() {
  kit::SceneRegistry::shared().registerController(Storyboard, Identifier, [] { return kit::make<KTNoticeVC>(); });
}

kit::Ref<KTNoticeVC> KTNoticeVC::instantiate() {
  registerScene();
  return std::dynamic_pointer_cast<KTNoticeVC>(kit::SceneRegistry::shared().instantiate(Storyboard, Identifier));
}

void KTNoticeVC::loadView() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  auto root = kit::View::make(screen);
  root->setBackgroundColor(kit::Color::white(0, 0.4));
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);

  const double w = std::min(CardW, screen.size.width - 2 * Inset);
  const double h = std::min(CardH, screen.size.height - 2 * Inset);
  auto card = kit::View::make({(screen.size.width - w) / 2, (screen.size.height - h) / 2, w, h});
  card->setBackgroundColor(kit::Color::whiteColor());
  card->layer()->setCornerRadius(8);
  card->setClipsToBounds(true);
  card->setAutoresizingMask(kit::AutoresizingFlexibleLeftMargin | kit::AutoresizingFlexibleRightMargin |
                            kit::AutoresizingFlexibleTopMargin | kit::AutoresizingFlexibleBottomMargin);
  root->addSubview(card);

  auto title = kit::Label::make({0, 0, w, TitleH});
  title->setText("公告");
  title->setFont(kit::Font::boldSystemFont(17));
  title->setTextAlignment(kit::TextAlignment::Center);
  card->addSubview(title);

  auto text = kit::TextView::make({Inset, TitleH, w - 2 * Inset, h - TitleH - ButtonH - 2 * Inset});
  text->setFont(kit::Font::systemFont(14));
  text->setTextColor(kit::Color::hex(0x333333));
  card->addSubview(text);

  auto close = kit::Button::make({Inset, h - Inset - ButtonH, w - 2 * Inset, ButtonH});
  close->setTitle("知道了", kit::ControlStateNormal);
  close->setTitleColor(kit::Color::whiteColor(), kit::ControlStateNormal);
  close->setBackgroundColor(kit::Color::hex(0xF64720));
  close->layer()->setCornerRadius(5);
  kit::Weak<KTNoticeVC> weak = weakSelf<KTNoticeVC>();
  close->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->doCloseBtnClick();
  });
  card->addSubview(close);

  textView_ = text;
  closeBtn_ = close;
  setView(root);
}

void KTNoticeVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  if (auto text = textView()) text->setEditable(false);
}

void KTNoticeVC::doCloseBtnClick() {
  KIT_CHECK_MAIN_THREAD();
  if (noticeHiddenBlock) {
    HiddenBlock block = noticeHiddenBlock;
    block(selfAs<KTNoticeVC>());
  }
}
