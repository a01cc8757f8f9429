// The platform SDK's navigation controller. See kt_base_nav.h.
#include "platform/account/kt_base_nav.h"

#include "kit/dispatch/once.h"
#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/ui/navigation_bar.h"

kit::Ref<KTBaseNav> KTBaseNav::withRoot(const kit::Ref<kit::ViewController>& root) {
  auto nav = kit::make<KTBaseNav>();
  if (root) nav->setViewControllers({root}, false);
  return nav;
}

void KTBaseNav::viewDidLoad() {
  kit::NavigationController::viewDidLoad();
  initView();
}

void KTBaseNav::initView() {
  KIT_CHECK_MAIN_THREAD();
  // The bar's items take their title colour from the bar's tint.
  navigationBar()->setTintColor(kit::Color::blackColor());
  navigationBar()->setBarTintColor(kit::Color::whiteColor());
}

void KTBaseNav::overrideGesture() {
  KIT_CHECK_MAIN_THREAD();
  static kit::OnceToken token;
  kit::once(token, [this] {
    const kit::Ref<kit::GestureRecognizer>& pop = interactivePopGestureRecognizer();
    pop->setEnabled(false);
    auto pan = kit::PanGestureRecognizer::make();
    pan->maximumNumberOfTouches = 1;
    pan->delegate = selfAs<KTBaseNav>();
    // The pop gesture's first target and action, run by the new pan.
    if (!pop->actions().empty()) pan->addAction(pop->actions().front());
    if (auto view = pop->view()) view->addGestureRecognizer(pan);
  });
}

bool KTBaseNav::gestureRecognizerShouldBegin(kit::GestureRecognizer&) {
  if (viewControllers().size() == 1) return false;
  return !isTransitioning();
}
