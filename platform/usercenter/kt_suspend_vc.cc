// The user centre's container. See kt_suspend_vc.h.
#include "platform/usercenter/kt_suspend_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"
#include "kit/foundation/set.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/application.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"
#include "net/network_manager.h"
#include "net/response_serializer.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/cxr_helper_btn.h"
#include "platform/usercenter/kt_su_pages.h"
#include "ui/widgets/ui_button_helpers.h"

namespace {

// The panel's place and the bar's height per screen form.
struct PanelLayout {
  double top, left, width, bottomH;
  const char* log;
};
constexpr PanelLayout PortraitX{44, 0, 300, 83, "X 竖屏 "};
constexpr PanelLayout Portrait{22, 0, 300, 49, "其他 竖屏 "};
constexpr PanelLayout LandscapeX{0, 44, 344, 83, "X 横屏 "};
constexpr PanelLayout Landscape{0, 0, 300, 49, "其他 横屏 "};

constexpr double RedSide = 8;
constexpr unsigned Accent = 0xFF7F00;

kit::Ref<kit::Image> bundleImage(const char* name) {
  return kit::imageNamed(NSStringURLEncode::getImagePath(name));
}

kit::Ref<kit::LayoutConstraint> pin(const kit::Ref<kit::View>& view, kit::LayoutAttribute attribute,
                                    const kit::Ref<kit::View>& to, kit::LayoutAttribute toAttribute,
                                    double constant = 0) {
  return kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, to, toAttribute, 1, constant);
}

kit::Ref<kit::LayoutConstraint> fixed(const kit::Ref<kit::View>& view, kit::LayoutAttribute attribute, double value) {
  return kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, value);
}

}  // namespace

void KTSuspendVC::registerScene() {
  kit::SceneRegistry::shared().registerController(Storyboard, Identifier, [] { return kit::make<KTSuspendVC>(); });
  KTSuRegisterPages();
}

KTSuspendVC::~KTSuspendVC() {
  if (manager_) manager_->invalidateSessionCancelingTasks(true);
}

const kit::Ref<SDPHTTPSessionManager>& KTSuspendVC::manager() {
  if (!manager_) {
    manager_ = SDPHTTPSessionManager::manager();
    auto serializer = manager_->responseSerializer();
    auto types = serializer->acceptableContentTypes();
    serializer->setAcceptableContentTypes(types ? types->setByAddingObject(kit::str("text/html"))
                                                : kit::Set::make({kit::str("text/html")}));
  }
  return manager_;
}

void KTSuspendVC::loadView() {
  using A = kit::LayoutAttribute;
  const kit::Rect screen = kit::Screen::main()->bounds();
  auto root = kit::View::make(screen);
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->setBackgroundColor(kit::Color::hex(0x000000, 0.3));

  // Everything right of the panel closes the user centre.
  auto close = kit::Button::make(screen);
  close->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->addSubview(close);

  auto panel = kit::View::make();
  panel->setTag(SlideAreaTag);
  panel->setBackgroundColor(kit::Color::whiteColor());
  panel->layer()->setMasksToBounds(true);
  root->addSubview(panel);

  auto temp = kit::View::make();
  temp->setBackgroundColor(kit::Color::hex(0xF5F5F5));
  panel->addSubview(temp);
  auto bar = kit::View::make();
  bar->setBackgroundColor(kit::Color::whiteColor());
  panel->addSubview(bar);

  for (const auto& laidOut : {panel, temp, bar}) laidOut->setTranslatesAutoresizingMaskIntoConstraints(false);
  auto top = pin(panel, A::Top, root, A::Top, Portrait.top);
  auto left = pin(panel, A::Left, root, A::Left, Portrait.left);
  auto width = fixed(panel, A::Width, Portrait.width);
  auto barH = fixed(bar, A::Height, Portrait.bottomH);
  root->addConstraints({top, left, width, pin(panel, A::Bottom, root, A::Bottom)});
  panel->addConstraints({pin(temp, A::Top, panel, A::Top), pin(temp, A::Left, panel, A::Left),
                         pin(temp, A::Right, panel, A::Right), pin(temp, A::Bottom, bar, A::Top),
                         pin(bar, A::Left, panel, A::Left), pin(bar, A::Right, panel, A::Right),
                         pin(bar, A::Bottom, panel, A::Bottom), barH});

  // The bar: five equal buttons, image above title.
  kit::Weak<KTSuspendVC> weak = weakSelf<KTSuspendVC>();
  kit::Ref<kit::View> previous;
  for (size_t i = 0; i < PageIdentifiers.size(); ++i) {
    auto button = kit::Button::make();
    button->setTag(FirstTag + static_cast<long>(i));
    button->setTitle(PageTitles[i]);
    button->setTitleColor(kit::Color::hex(0x666666), kit::ControlStateNormal);
    button->setTitleColor(kit::Color::hex(Accent), kit::ControlStateDisabled);
    button->titleLabel()->setFont(kit::Font::systemFont(11));
    button->setImage(bundleImage(PageIcons[i]));
    button->setTranslatesAutoresizingMaskIntoConstraints(false);
    bar->addSubview(button);
    bar->addConstraints({pin(button, A::Top, bar, A::Top), fixed(button, A::Height, Portrait.bottomH),
                         kit::LayoutConstraint::make(button, A::Width, kit::LayoutRelation::Equal, bar, A::Width,
                                                     1.0 / static_cast<double>(PageIdentifiers.size()), 0),
                         previous ? pin(button, A::Left, previous, A::Right) : pin(button, A::Left, bar, A::Left)});
    kit::Weak<kit::Button> weakButton = button;
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, weakButton] {
      auto self = weak.lock();
      auto sender = weakButton.lock();
      if (self && sender) self->btnClick(sender);
    });
    if (i == 0) homeBtn_ = button;
    if (i == 0 || i == 2) {
      auto red = kit::ImageView::withImage(bundleImage(RedDotIcon));
      red->setHidden(true);
      red->setTranslatesAutoresizingMaskIntoConstraints(false);
      bar->addSubview(red);
      bar->addConstraints({pin(red, A::Top, button, A::Top, 6), pin(red, A::CenterX, button, A::CenterX, 12),
                           fixed(red, A::Width, RedSide), fixed(red, A::Height, RedSide)});
      (i == 0 ? homeRed_ : welfareRed_) = red;
    }
    previous = button;
  }

  close->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goBackGameVC();
  });

  top_ = top;
  left_ = left;
  width_ = width;
  bottomH_ = barH;
  tempView_ = temp;
  bottomView_ = bar;
  closeBtn_ = close;
  setView(root);
}

void KTSuspendVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto key = kit::Application::shared()->keyWindow();
  isX_ = kit::Device::current()->systemVersionNumber() >= 11 && key && key->windowSafeAreaInsets().bottom > 0;
  recordScreenStatus();
  showRedCount();
  // The spacing reads the icon's and the title's laid-out sizes: the bar
  // takes its frames first.
  view()->layoutIfNeeded();
  for (long tag = FirstTag; tag < FirstTag + static_cast<long>(PageIdentifiers.size()); ++tag) {
    if (auto button = barButton(tag)) UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(*button, 0, ImageTitleSpace);
  }
  addChildVcs();
  chooseBtn_ = homeBtn();
  if (chooseBtn_) chooseBtn_->setEnabled(false);
}

kit::Ref<kit::Button> KTSuspendVC::barButton(long tag) const {
  auto bar = bottomView();
  return bar ? std::dynamic_pointer_cast<kit::Button>(bar->viewWithTag(tag)) : nullptr;
}

void KTSuspendVC::addChildVcs() {
  auto& scenes = kit::SceneRegistry::shared();
  std::vector<kit::Ref<kit::ViewController>> pages;
  for (const char* identifier : PageIdentifiers) {
    auto page = scenes.instantiate(Storyboard, identifier);
    if (!page) {
      // A page that is not built into this program stays blank rather than
      // taking the game down with it.
      kit::log("用户中心缺少页面 %s", identifier);
      page = kit::ViewController::make();
    }
    pages.push_back(page);
  }
  auto& home = pages.front();
  if (auto switcher = std::dynamic_pointer_cast<KTSuLoginOutPage>(home)) {
    kit::Weak<KTSuspendVC> weak = weakSelf<KTSuspendVC>();
    switcher->setLoginOutBlock([weak] {
      auto self = weak.lock();
      if (!self || !self->loginOutBlock_) return;
      self->loginOutBlock_();
      self->dismissViewController(true);
    });
  }
  if (auto temp = tempView()) {
    home->view()->setFrame(temp->bounds());
    home->view()->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
    temp->addSubview(home->view());
  }
  for (auto& page : pages) addChildViewController(page);
}

void KTSuspendVC::recordScreenStatus() {
  const kit::Size screen = kit::Screen::main()->bounds().size;
  setScreenFlag(screen.height > screen.width ? 1 : 0);
}

void KTSuspendVC::setScreenFlag(int flag) {
  screenFlag_ = flag;
  const PanelLayout& layout = flag == 1 ? (isX_ ? PortraitX : Portrait) : (isX_ ? LandscapeX : Landscape);
  if (auto c = top()) c->setConstant(layout.top);
  if (auto c = left()) c->setConstant(layout.left);
  if (auto c = width()) c->setConstant(layout.width);
  if (auto c = bottomH()) c->setConstant(layout.bottomH);
  if (auto bar = bottomView()) {
    for (long tag = FirstTag; tag < FirstTag + static_cast<long>(PageIdentifiers.size()); ++tag) {
      for (auto& c : bar->constraints()) {
        if (c->firstItem() == kit::Id(barButton(tag)) && c->firstAttribute() == kit::LayoutAttribute::Height) {
          c->setConstant(layout.bottomH);
        }
      }
    }
  }
  kit::log("%s", layout.log);
  if (auto root = viewIfLoaded()) root->setNeedsLayout();
}

void KTSuspendVC::viewWillTransitionToSize(kit::Size size) { setScreenFlag(size.width > size.height ? 0 : 1); }

void KTSuspendVC::btnClick(const kit::Ref<kit::Button>& sender) {
  KIT_CHECK_MAIN_THREAD();
  if (!sender || sender == chooseBtn_) return;
  const long index = sender->tag() - FirstTag;
  if (index < 0 || index >= static_cast<long>(childViewControllers().size())) return;
  sender->setEnabled(false);
  auto page = childViewControllers()[static_cast<size_t>(index)];
  auto temp = tempView();
  if (temp) page->view()->setFrame(temp->bounds());
  if (chooseBtn_) chooseBtn_->setEnabled(true);
  chooseBtn_ = sender;

  auto share = ShareVale::sharedInstance();
  auto welfare = welfareRed();
  auto home = homeRed();
  if (sender->tag() == FirstTag + 2 && welfare && !welfare->isHidden()) {
    share->setSuGiftCount(suGiftCount_);
    share->setSuCouponCount(suCouponCount_);
    welfare->setHidden(true);
  } else if (sender->tag() == FirstTag && home && !home->isHidden()) {
    share->setSuHomeCount(suHomeCount_);
    home->setHidden(true);
  }

  if (page->view() != addView_) {
    if (addView_) addView_->removeFromSuperview();
    addView_ = page->view();
    if (temp) temp->addSubview(addView_);
  }
}

void KTSuspendVC::goBackGameVC() { hiddenHelperVC(); }

void KTSuspendVC::hiddenHelperVC() {
  CXRHelperBtn::showBall();
  dismissViewController(true);
}

void KTSuspendVC::showRedCount() {
  auto share = ShareVale::sharedInstance();
  auto parameters = kit::dict({{"username", kit::Id(share->userName())}, {"gid", kit::Id(share->gameID())}});
  kit::Weak<KTSuspendVC> weak = weakSelf<KTSuspendVC>();
  manager()->POST(
      SDPPlatformAPIBaseURL() + RedCountPath, parameters, nullptr,
      [weak](const kit::Ref<kit::URLSessionDataTask>&, const kit::Id& reply) {
        if (auto self = weak.lock()) {
          ++self->redCountAnswers_;
          self->applyRedCounts(reply);
        }
      },
      [weak](const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Error>&) {
        if (auto self = weak.lock()) ++self->redCountAnswers_;
      });
}

void KTSuspendVC::applyRedCounts(const kit::Id& reply) {
  auto counts = KTSuRedCounts::fromReply(reply);
  if (!counts) return;
  suHomeCount_ = counts->home;
  suGiftCount_ = counts->gift;
  suCouponCount_ = counts->coupon;
  auto share = ShareVale::sharedInstance();
  if (auto home = homeRed()) home->setHidden(suHomeCount_ <= share->suHomeCount());
  if (auto welfare = welfareRed()) {
    welfare->setHidden(suGiftCount_ <= share->suGiftCount());
    if (welfare->isHidden()) welfare->setHidden(suCouponCount_ <= share->suCouponCount());
  }
}
