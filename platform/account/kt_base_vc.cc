// The platform SDK's base page controller. See kt_base_vc.h.
#include "platform/account/kt_base_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/button.h"
#include "kit/ui/font.h"
#include "kit/ui/image_view.h"
#include "kit/ui/navigation_bar.h"
#include "kit/ui/navigation_controller.h"
#include "platform/base/ns_string_url_encode.h"

namespace {

// The title label.
const kit::Rect kTitleFrame{0, 0, 95, 30};
constexpr double TitleFontSize = 20;
// The back arrow: its container on the bar and the button inside.
const kit::Rect kLeftItemFrame{15, 0, 70, 30};
const kit::Rect kBackButtonFrame{0, 2, 30, 25};
constexpr const char* kBackImage = "KT_nav_back";
// The custom title view: the container, the label right of the image.
constexpr double TitleViewW = 120, TitleViewH = 30;
const kit::Rect kTitleViewLabelFrame{25, 0, 95, 30};
constexpr double TitleImageSide = 20;

kit::Ref<kit::Label> makeTitleLabel(const kit::Rect& frame) {
  auto label = kit::Label::make(frame);
  label->setTextAlignment(kit::TextAlignment::Center);
  label->setFont(kit::Font::boldSystemFont(TitleFontSize));
  label->setTextColor(kit::Color::blackColor());
  return label;
}

}  // namespace

void KTBaseVC::viewWillAppear(bool animated) {
  kit::ViewController::viewWillAppear(animated);
  titlelable_ = makeTitleLabel(kTitleFrame);
  view()->setNeedsUpdateConstraints();
  // Scroll views inside the page keep their own insets: kit controllers
  // never adjust them, so there is nothing to turn off.
}

void KTBaseVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  createLeftItem();
}

void KTBaseVC::hiddenNavBar(bool hidden) {
  KIT_CHECK_MAIN_THREAD();
  if (auto* nav = navigationController()) nav->setNavigationBarHidden(hidden);
}

void KTBaseVC::SetBarTitleViewWithTitle(const std::string& title, const kit::Ref<kit::Image>& image) {
  KIT_CHECK_MAIN_THREAD();
  auto container = kit::View::make(kit::Rect{0, 0, TitleViewW, TitleViewH});
  container->setTag(TitleViewTag);
  container->setBackgroundColor(kit::Color::clearColor());
  if (auto* nav = navigationController()) {
    const kit::Rect bar = nav->navigationBar()->frame();
    container->setCenter(kit::Point{bar.width() / 2, bar.height() / 2});
  }

  auto label = makeTitleLabel(kTitleViewLabelFrame);
  label->setText(title);
  container->addSubview(label);

  auto imageView = kit::ImageView::make(kit::Rect{0, 0, TitleImageSide, TitleImageSide});
  imageView->setImage(image);
  imageView->setCenter(kit::Point{imageView->center().x, label->center().y});
  container->addSubview(imageView);

  navigationItem().setTitleView(container);
}

void KTBaseVC::setTitle(const std::string& title) {
  KIT_CHECK_MAIN_THREAD();
  if (titlelable_) titlelable_->setText(title);
  navigationItem().setTitleView(titlelable_);
}

void KTBaseVC::createLeftItem() {
  KIT_CHECK_MAIN_THREAD();
  auto container = kit::View::make(kLeftItemFrame);
  container->setBackgroundColor(kit::Color::clearColor());
  auto back = kit::Button::make(kBackButtonFrame);
  back->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(kBackImage)), kit::ControlStateNormal);
  kit::Weak<KTBaseVC> weak = weakSelf<KTBaseVC>();
  back->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->popAction();
  });
  container->addSubview(back);
  navigationItem().setLeftBarButtonItem(kit::BarButtonItem::withCustomView(container));
}

void KTBaseVC::hiddenLeftBtn() {
  KIT_CHECK_MAIN_THREAD();
  navigationItem().setLeftBarButtonItem(kit::BarButtonItem::withCustomView(kit::View::make()));
}

void KTBaseVC::popAction() {
  KIT_CHECK_MAIN_THREAD();
  hiddenLeftBtn();
  auto* nav = navigationController();
  if (!nav) return;
  if (auto titleView = nav->navigationBar()->viewWithTag(TitleViewTag)) titleView->removeFromSuperview();
  if (nav->viewControllers().size() > 1) {
    nav->popViewController(true);
  } else {
    nav->dismissViewController(true);
  }
}

bool KTBaseVC::shouldChangeCharacters(kit::TextField& field, kit::Range, const std::string& replacement) {
  if (replacement == "\n") {
    field.resignFirstResponder();
    return false;
  }
  return true;
}

bool KTBaseVC::textFieldShouldBeginEditing(kit::TextField&) { return true; }

void KTBaseVC::touchesBegan(const kit::TouchSet&, const kit::Event*) {
  if (isViewLoaded()) view()->endEditing(true);
}
