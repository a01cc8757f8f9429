// The floating ball: its window, dragging, docking and the user centre's
// opening. The play-time countdown is in cxr_helper_btn_timer.cc. See
// cxr_helper_btn.h.
#include "platform/usercenter/cxr_helper_btn.h"

#include <cctype>
#include <cmath>
#include <mutex>

#include "config/client_configuration.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/crypto.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/application.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "kit/ui/touch.h"
#include "kit/ui/window.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "ui/images/kt_web_image_view.h"

namespace {

std::mutex sharedMutex;
kit::Ref<CXRHelperBtn>& sharedBall() {
  static kit::NoDestructor<kit::Ref<CXRHelperBtn>> ball;
  return *ball;
}

kit::Size screenSize() { return kit::Screen::main()->bounds().size; }

// A notched device: system 11 or later and a key window with a bottom
// safe-area inset.
bool isNotchedDevice() {
  if (kit::Device::current()->systemVersionNumber() < 11) return false;
  auto key = kit::Application::shared()->keyWindow();
  return key && key->windowSafeAreaInsets().bottom > 0;
}

float distance(kit::Point a, kit::Point b) {
  return static_cast<float>(std::hypot(a.x - b.x, a.y - b.y));
}

}  // namespace

void CXRSuspensionViewController::loadView() { setView(kit::View::make(kit::Screen::main()->bounds())); }

CXRHelperBtn::CXRHelperBtn() : kit::Button(kit::Rect{screenSize().width - Side / 2, 100, Side, Side}) {
  KIT_CHECK_MAIN_THREAD();
}

CXRHelperBtn::~CXRHelperBtn() {
  if (timer_) timer_->cancel();
}

kit::Ref<CXRHelperBtn> CXRHelperBtn::shared() {
  std::lock_guard lock(sharedMutex);
  auto& ball = sharedBall();
  if (!ball) {
    ball = kit::make<CXRHelperBtn>();
    // What needs the shared pointer: the icon's completion and the action
    // hold the ball weakly.
    kit::Weak<CXRHelperBtn> weak = ball;
    KT_setBackgroundImageWithURL(*ball, kit::str(iconURL()), kit::ControlStateNormal, nullptr,
                                 KTWebImageOptionNetworkIndicator,
                                 [weak](const kit::Ref<kit::Image>&, const kit::Ref<kit::URL>&, KTWebImageSource,
                                        KTWebImageStage, const kit::Ref<kit::Error>& error) {
                                   auto self = weak.lock();
                                   if (!self || !error) return;
                                   self->setBackgroundImage(
                                       kit::imageNamed(NSStringURLEncode::getImagePath(StopIcon)),
                                       kit::ControlStateNormal);
                                 });
    ball->setStatus(0);
    ball->addAction(kit::ControlEvent::TouchUpInside, [weak] {
      if (auto self = weak.lock()) self->endDo();
    });
    ball->addAction(kit::ControlEvent::TouchUpOutside, [weak] {
      if (auto self = weak.lock()) self->endDrag();
    });
    ball->addAction(kit::ControlEvent::TouchCancel, [weak] {
      if (auto self = weak.lock()) self->endDrag();
    });
    ball->recordScreenStatus();
  }
  return ball;
}

namespace {

// The port the application installs: every call goes to the shared ball,
// which is made on the first call that needs it (as the login code's first
// call made it), not when the port is installed.
class SharedBallPort : public CXRHelperBtnPort {
 public:
  bool isCreate() override { return CXRHelperBtn::isCreateBall(); }
  void create() override { CXRHelperBtn::shared()->create(); }
  void hide() override { CXRHelperBtn::hideBall(); }
  void show() override { CXRHelperBtn::showBall(); }
  void setFailedBlock(FailedBlock block) override { CXRHelperBtn::shared()->setFailedBlock(std::move(block)); }
  void setLoginData(const kit::Ref<LoginResult>& data) override { CXRHelperBtn::shared()->setLoginData(data); }
  void startTimer() override { CXRHelperBtn::shared()->startTimer(); }
  kit::Ref<kit::TimerSource> timer() override { return CXRHelperBtn::shared()->timer(); }
  void setTimer(const kit::Ref<kit::TimerSource>& timer) override { CXRHelperBtn::shared()->setTimer(timer); }
};

}  // namespace

std::shared_ptr<CXRHelperBtnPort> CXRHelperBtn::sharedPort() { return std::make_shared<SharedBallPort>(); }

bool CXRHelperBtn::hasShared() {
  std::lock_guard lock(sharedMutex);
  return sharedBall() != nullptr;
}

void CXRHelperBtn::resetShared() {
  kit::Ref<CXRHelperBtn> ball;
  {
    std::lock_guard lock(sharedMutex);
    ball = std::move(sharedBall());
  }
  if (!ball) return;
  ball->stopTimer();
  CXRWindowManager::destroyWindowForKey(ball->md5Key());
  ball->removeFromSuperview();
}

std::string CXRHelperBtn::iconURL() {
  const std::string host = kit::describe(ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost));
  return kit::formatString("%s%s?ag=%s&time+%s", host.c_str(), IconPath,
                           kit::describe(ShareVale::sharedInstance()->chanelid()).c_str(),
                           NSStringURLEncode::getNowTimeTimestamp().c_str());
}

void CXRHelperBtn::showBall() { CXRWindowManager::showWindowForKey(shared()->md5Key()); }
void CXRHelperBtn::hideBall() { CXRWindowManager::hideWindowForKey(shared()->md5Key()); }
void CXRHelperBtn::distory() { CXRWindowManager::destroyWindowForKey(shared()->md5Key()); }
bool CXRHelperBtn::isCreateBall() {
  return hasShared() && CXRWindowManager::windowForKey(shared()->md5Key()) != nullptr;
}

const std::string& CXRHelperBtn::md5Key() {
  if (md5Key_.empty()) md5Key_ = getCurrentMd5Key();
  return md5Key_;
}

std::string CXRHelperBtn::getCurrentMd5Key() const {
  std::string key = kit::md5Hex(description());
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

kit::Ref<kit::Window> CXRHelperBtn::ballWindow() { return CXRWindowManager::windowForKey(md5Key()); }

void CXRHelperBtn::create() {
  KIT_CHECK_MAIN_THREAD();
  const std::string key = md5Key();  // fixed before the frame changes
  auto window = kit::Window::make(frame());
  window->setWindowLevel(kit::WindowLevelAlert * 2);
  window->setRootViewController(kit::make<CXRSuspensionViewController>());
  window->setHidden(false);
  window->layer()->setMasksToBounds(true);
  setFrame({0, 0, frame().size.width, frame().size.height});
  window->addSubview(selfAs<CXRHelperBtn>());
  CXRWindowManager::saveWindow(window, key);
}

void CXRHelperBtn::setStatus(int status) {
  status_ = status;
  moveWhenTouchToChangesStatus();
}

void CXRHelperBtn::recordScreenStatus() {
  const kit::Size screen = screenSize();
  screenFlag_ = screen.height > screen.width ? 1 : 0;
  moveWhenTouchToChangesStatus();
}

void CXRHelperBtn::moveWhenTouchToChangesStatus() {
  if (status_ != 1) return;
  auto window = ballWindow();
  if (!window) return;
  const kit::Size screen = screenSize();
  if (window->center().x == 0) starMoveToCenter({ComeOut, window->center().y});
  if (window->center().x == screen.width) starMoveToCenter({screen.width - ComeOut, window->center().y});
  if (window->center().y == screen.height) starMoveToCenter({window->center().x, screen.height - ComeOut});
  if (window->center().y == 0) starMoveToCenter({window->center().x, ComeOut});
}

void CXRHelperBtn::starMoveToCenter(kit::Point point) {
  auto window = ballWindow();
  if (!window) return;
  const float length = distance(window->center(), point);
  kit::View::beginAnimations();
  kit::View::setAnimationDuration(length / Speed);
  window->setCenter(point);
  kit::View::commitAnimations();
}

void CXRHelperBtn::touchesMoved(const kit::TouchSet& touches, const kit::Event*) {
  if (touches.empty()) return;
  const auto& touch = touches.front();
  auto window = ballWindow();
  auto top = CXRWindowManager::topWindow();
  // The touch's location is in the space of the window it began in (the
  // ball's); the drag follows it in the top window's.
  kit::Point location = touch->windowLocation();
  if (auto own = touch->window()) location = {location.x + own->frame().origin.x, location.y + own->frame().origin.y};
  if (top) location = {location.x - top->frame().origin.x, location.y - top->frame().origin.y};
  if (touchCount_ == 0) {
    touchCount_ = 1;
    return;
  }
  if (touchCount_ == 1) {
    if (!window || distance(location, window->center()) < DeadZone) return;
    touchCount_ = 2;
  }
  if (touch->view().get() == this) {
    isMoving_ = true;
    btnAnimations_ = None;
    starMoveToCenter(location);
  }
}

void CXRHelperBtn::endDo() {
  touchCount_ = 0;
  recordScreenStatus();
  if (isMoving_) {
    isMoving_ = false;
    btnAnimations_ = checkingDirection();
    startAnimation(btnAnimations_);
  } else if (status_ == 1) {
    doShowHelperVC();
  } else {
    setStatus(1);
  }
}

void CXRHelperBtn::endDrag() {
  touchCount_ = 0;
  if (!isMoving_) return;
  recordScreenStatus();
  isMoving_ = false;
  btnAnimations_ = checkingDirection();
  startAnimation(btnAnimations_);
}

int CXRHelperBtn::checkingDirection() {
  auto window = ballWindow();
  if (!window) return None;
  const kit::Size screen = screenSize();
  const float x = static_cast<float>(window->center().x), y = static_cast<float>(window->center().y);
  const float right = static_cast<float>(screen.width) - x, bottom = static_cast<float>(screen.height) - y;
  if (right <= ComeOut) {
    if (bottom < right) return Bottom;
    if (y < right) return Top;
    return Right;
  }
  if (x <= ComeOut) {
    if (y < x) return Top;
    if (x > bottom) return Bottom;
    return Left;
  }
  if (bottom < ComeOut) return Bottom;
  if (y < ComeOut) return Top;
  return None;
}

void CXRHelperBtn::startAnimation(int direction) {
  if (direction == None) {
    setStatus(1);
    return;
  }
  setStatus(0);
  auto window = ballWindow();
  if (!window) return;
  const kit::Size screen = screenSize();
  const kit::Point c = window->center();
  bool wake = false;
  kit::Point to = c;
  switch (direction) {
    case Left:
      wake = isNotchedDevice() && screenFlag_ == 0;
      to = {wake ? ComeOut : 0, c.y};
      break;
    case Top:
      wake = screenFlag_ == 1;
      to = {c.x, wake ? ComeOut : 0};
      break;
    case Right: to = {screen.width, c.y}; break;
    case Bottom: to = {c.x, screen.height}; break;
    default: return;
  }
  kit::View::beginAnimations();
  kit::View::setAnimationDuration(DockDuration);
  window->setCenter(to);
  if (wake) {
    if (direction == Top) btnAnimations_ = None;
    setStatus(1);
  }
  kit::View::commitAnimations();
}

void CXRHelperBtn::doShowHelperVC() {
  KIT_CHECK_MAIN_THREAD();
  CXRWindowManager::hideWindowForKey(md5Key());
  KTSuspendVC::registerScene();
  auto storyboard = kit::Storyboard::named(KTSuspendVC::Storyboard);
  auto centre = storyboard ? std::dynamic_pointer_cast<KTSuspendVC>(
                                 storyboard->instantiateViewController(KTSuspendVC::Identifier))
                           : nullptr;
  auto top = CXRWindowManager::topWindow();
  auto root = top ? top->rootViewController() : nullptr;
  if (!centre || !root) {
    CXRWindowManager::showWindowForKey(md5Key());
    return;
  }
  centre->setModalPresentationStyle(kit::ModalPresentationStyle::Custom);
  centre->setModalTransitionStyle(kit::ModalTransitionStyle::CrossDissolve);
  kit::Weak<CXRHelperBtn> weak = selfAs<CXRHelperBtn>();
  centre->setLoginOutBlock([weak] {
    auto self = weak.lock();
    if (self && self->failedBlock_) self->failedBlock_(kit::str("注销"), kit::str("-9"));
  });
  kit::log("悬浮topwindow = %@", kit::Id(top));
  kit::log("悬浮 topwindow rootvc = %@", kit::Id(root));
  // A root controller that refuses (it already presents something) would
  // leave the ball hidden with nothing on screen: show it again.
  if (!root->presentViewController(centre, true)) CXRWindowManager::showWindowForKey(md5Key());
}
