// The user centre's stand-in pages. See user_centre_stand_in_pages.h.
#include "platform/usercenter/testing/user_centre_stand_in_pages.h"

#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"

void KTSuStandInPage::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto label = kit::Label::make(kit::Rect{20, 20, 200, 30});
  label->setText(title_);
  view()->addSubview(label);
}

void KTSuStandInHomePage::viewDidLoad() {
  KTSuStandInPage::viewDidLoad();
  auto button = kit::Button::make(kit::Rect{20, 80, 120, 40});
  button->setTitle(SwitchTitle);
  kit::Weak<KTSuStandInHomePage> weak = weakSelf<KTSuStandInHomePage>();
  button->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    auto self = weak.lock();
    if (self && self->loginOutBlock_) self->loginOutBlock_();
  });
  view()->addSubview(button);
}

void registerUserCentreStandInPages() {
  auto& scenes = kit::SceneRegistry::shared();
  auto add = [&](const char* identifier, std::function<kit::Ref<kit::ViewController>()> factory) {
    if (!scenes.instantiate(KTSuspendVC::Storyboard, identifier)) {
      scenes.registerController(KTSuspendVC::Storyboard, identifier, std::move(factory));
    }
  };
  add("KTSuHomeVC", [] { return kit::make<KTSuStandInHomePage>(); });
  add("KTSuKaiFuVC", [] { return kit::make<KTSuStandInPage>("开服"); });
  add("KTSuWelfareVC", [] { return kit::make<KTSuStandInPage>("福利"); });
  add("KTSuTradeVC", [] { return kit::make<KTSuStandInPage>("交易"); });
}
