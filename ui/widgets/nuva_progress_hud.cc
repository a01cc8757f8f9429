// The status HUD's class operations, settings and show / dismiss flow. The
// views, layout and positioning are in nuva_progress_hud_views.cc.

#include "ui/widgets/nuva_progress_hud.h"

#include <algorithm>
#include <atomic>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/number.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/transaction.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"
#include "ui/widgets/nuva_indefinite_animated_view.h"
#include "ui/widgets/nuva_progress_animated_view.h"

namespace {

bool hasText(const kit::Ref<kit::String>& text) { return text && !text->empty(); }

}  // namespace

// ---- The shared instance -----------------------------------------------------

kit::Ref<NUVAProgressHUD> NUVAProgressHUD::sharedView() {
  // Kept for the whole process; never destroyed, so no exit-time teardown
  // races the run loop. The HUD is a view, so it is made on the main thread:
  // a first call from another thread waits for the main thread to make it.
  static std::atomic<kit::Ref<NUVAProgressHUD>*> instance{nullptr};
  if (auto* made = instance.load(std::memory_order_acquire)) return *made;
  auto build = [] {
    if (instance.load(std::memory_order_acquire)) return;
    kit::Rect frame = kit::Screen::main()->bounds();
    auto delegate = kit::Application::shared()->delegate();
    if (delegate && delegate->window()) frame = delegate->window()->bounds();
    instance.store(new kit::Ref<NUVAProgressHUD>(kit::make<NUVAProgressHUD>(frame)), std::memory_order_release);
  };
  if (kit::RunLoop::isMainThread()) {
    build();
  } else {
    kit::Queue::main().sync(build);
  }
  return *instance.load(std::memory_order_acquire);
}

NUVAProgressHUD::NUVAProgressHUD(const kit::Rect& frame) : kit::View(frame) {
  isInitializing_ = true;
  setUserInteractionEnabled(false);
  activityCount_ = 0;
  font_ = kit::Font::preferredFont(kit::TextStyleSubheadline);
  hudBackgroundColor_ = kit::Color::whiteColor();
  foregroundColor_ = kit::Color::blackColor();
  backgroundLayerColor_ = kit::Color::white(0, 0.4);
  backgroundView()->setAlpha(0);
  imageView()->setAlpha(0);
  statusLabel()->setAlpha(0);
  indefiniteAnimatedView()->setAlpha(0);
  ringView()->setAlpha(0);
  backgroundRingView()->setAlpha(0);
  setAccessibilityIdentifier("NUVAProgressHUD");
  setIsAccessibilityElement(true);
  isInitializing_ = false;
}

// ---- Settings ------------------------------------------------------------------
// Settings made while the shared HUD builds itself are ignored, so that its
// own defaults are not taken for the caller's.

template <class T, class V>
void NUVAProgressHUD::applySetting(T NUVAProgressHUD::*field, V&& value) {
  auto hud = sharedView();
  if (!hud->isInitializing_) (*hud).*field = std::forward<V>(value);
}

void NUVAProgressHUD::setStatus(const kit::Ref<kit::String>& status) { sharedView()->updateStatus(status); }

void NUVAProgressHUD::setDefaultStyle(NUVAProgressHUDStyle style) {
  applySetting(&NUVAProgressHUD::defaultStyle_, style);
}

void NUVAProgressHUD::setDefaultMaskType(NUVAProgressHUDMaskType maskType) {
  applySetting(&NUVAProgressHUD::defaultMaskType_, maskType);
}

void NUVAProgressHUD::setDefaultAnimationType(NUVAProgressHUDAnimationType type) {
  applySetting(&NUVAProgressHUD::defaultAnimationType_, type);
}

void NUVAProgressHUD::setContainerView(kit::Ref<kit::View> containerView) {
  applySetting(&NUVAProgressHUD::containerViewStrong_, std::move(containerView));
}

void NUVAProgressHUD::setMinimumSize(kit::Size size) { applySetting(&NUVAProgressHUD::minimumSize_, size); }

void NUVAProgressHUD::setRingThickness(double thickness) { applySetting(&NUVAProgressHUD::ringThickness_, thickness); }

void NUVAProgressHUD::setRingRadius(double radius) { applySetting(&NUVAProgressHUD::ringRadius_, radius); }

void NUVAProgressHUD::setRingNoTextRadius(double radius) { applySetting(&NUVAProgressHUD::ringNoTextRadius_, radius); }

void NUVAProgressHUD::setCornerRadius(double radius) { applySetting(&NUVAProgressHUD::cornerRadius_, radius); }

void NUVAProgressHUD::setBorderColor(kit::Ref<kit::Color> color) {
  sharedView()->hudView()->layer()->setBorderColor(std::move(color));
}

void NUVAProgressHUD::setBorderWidth(double width) { sharedView()->hudView()->layer()->setBorderWidth(width); }

void NUVAProgressHUD::setFont(kit::Ref<kit::Font> font) { applySetting(&NUVAProgressHUD::font_, std::move(font)); }

void NUVAProgressHUD::setForegroundColor(kit::Ref<kit::Color> color) {
  auto hud = sharedView();
  if (hud->isInitializing_) return;
  hud->foregroundColor_ = std::move(color);
  setDefaultStyle(NUVAProgressHUDStyle::Custom);
}

void NUVAProgressHUD::setHudBackgroundColor(kit::Ref<kit::Color> color) {
  auto hud = sharedView();
  if (hud->isInitializing_) return;
  hud->hudBackgroundColor_ = std::move(color);
  setDefaultStyle(NUVAProgressHUDStyle::Custom);
}

void NUVAProgressHUD::setBackgroundLayerColor(kit::Ref<kit::Color> color) {
  applySetting(&NUVAProgressHUD::backgroundLayerColor_, std::move(color));
}

void NUVAProgressHUD::setImageViewSize(kit::Size size) { sharedView()->imageViewSize_ = size; }

void NUVAProgressHUD::setShouldTintImages(bool tint) { applySetting(&NUVAProgressHUD::shouldTintImages_, tint); }

void NUVAProgressHUD::setInfoImage(kit::Ref<kit::Image> image) {
  applySetting(&NUVAProgressHUD::infoImage_, std::move(image));
}

void NUVAProgressHUD::setSuccessImage(kit::Ref<kit::Image> image) {
  applySetting(&NUVAProgressHUD::successImage_, std::move(image));
}

void NUVAProgressHUD::setErrorImage(kit::Ref<kit::Image> image) {
  applySetting(&NUVAProgressHUD::errorImage_, std::move(image));
}

void NUVAProgressHUD::setViewForExtension(kit::Ref<kit::View> view) {
  applySetting(&NUVAProgressHUD::viewForExtension_, std::move(view));
}

void NUVAProgressHUD::setGraceTimeInterval(double seconds) { sharedView()->graceTimeInterval_ = seconds; }

void NUVAProgressHUD::setMinimumDismissTimeInterval(double seconds) {
  applySetting(&NUVAProgressHUD::minimumDismissTimeInterval_, seconds);
}

void NUVAProgressHUD::setMaximumDismissTimeInterval(double seconds) {
  sharedView()->maximumDismissTimeInterval_ = seconds;
}

void NUVAProgressHUD::setFadeInAnimationDuration(double seconds) {
  applySetting(&NUVAProgressHUD::fadeInAnimationDuration_, seconds);
}

void NUVAProgressHUD::setFadeOutAnimationDuration(double seconds) {
  applySetting(&NUVAProgressHUD::fadeOutAnimationDuration_, seconds);
}

void NUVAProgressHUD::setMaxSupportedWindowLevel(kit::WindowLevel level) {
  applySetting(&NUVAProgressHUD::maxSupportedWindowLevel_, level);
}

void NUVAProgressHUD::setHapticsEnabled(bool enabled) {
  auto hud = sharedView();
  hud->hapticsEnabled_ = enabled;
  if (!enabled) hud->hapticGenerator_ = nullptr;
}

void NUVAProgressHUD::setOffsetFromCenter(NUVAProgressHUDOffset offset) {
  applySetting(&NUVAProgressHUD::offsetFromCenter_, offset);
}

void NUVAProgressHUD::resetOffsetFromCenter() { setOffsetFromCenter({0, 0}); }

// ---- Showing ---------------------------------------------------------------------

void NUVAProgressHUD::withMaskType(NUVAProgressHUDMaskType maskType, const std::function<void()>& body) {
  auto hud = sharedView();
  NUVAProgressHUDMaskType remembered = hud->defaultMaskType_;
  setDefaultMaskType(maskType);
  body();
  setDefaultMaskType(remembered);
}

void NUVAProgressHUD::show() { showWithStatus(nullptr); }

void NUVAProgressHUD::showWithMaskType(NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [] { show(); });
}

void NUVAProgressHUD::showWithStatus(const kit::Ref<kit::String>& status) { showProgress(-1, status); }

void NUVAProgressHUD::showWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showWithStatus(status); });
}

void NUVAProgressHUD::showProgress(float progress) { showProgress(progress, kit::Ref<kit::String>()); }

void NUVAProgressHUD::showProgress(float progress, NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showProgress(progress); });
}

void NUVAProgressHUD::showProgress(float progress, const kit::Ref<kit::String>& status) {
  sharedView()->showProgressNow(progress, status);
}

void NUVAProgressHUD::showProgress(float progress, const kit::Ref<kit::String>& status,
                                   NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showProgress(progress, status); });
}

void NUVAProgressHUD::showInfoWithStatus(const kit::Ref<kit::String>& status) {
  showImage(sharedView()->infoImage_, status);
  hapticOccurred(kit::NotificationFeedbackType::Warning);
}

void NUVAProgressHUD::showInfoWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showInfoWithStatus(status); });
}

void NUVAProgressHUD::showSuccessWithStatus(const kit::Ref<kit::String>& status) {
  showImage(sharedView()->successImage_, status);
  hapticOccurred(kit::NotificationFeedbackType::Success);
}

void NUVAProgressHUD::showSuccessWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showSuccessWithStatus(status); });
  hapticOccurred(kit::NotificationFeedbackType::Success);
}

void NUVAProgressHUD::showErrorWithStatus(const kit::Ref<kit::String>& status) {
  kit::Queue::main().async([status] {
    auto hud = sharedView();
    hud->dismissNow(0, nullptr);
    showImage(hud->errorImage_, status);
    hapticOccurred(kit::NotificationFeedbackType::Error);
  });
}

void NUVAProgressHUD::showErrorWithStatus(const kit::Ref<kit::String>& status, NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showErrorWithStatus(status); });
  hapticOccurred(kit::NotificationFeedbackType::Error);
}

void NUVAProgressHUD::showImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status) {
  sharedView()->showImageNow(image, status, displayDurationForString(status));
}

void NUVAProgressHUD::showImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status,
                                NUVAProgressHUDMaskType maskType) {
  withMaskType(maskType, [&] { showImage(image, status); });
}

void NUVAProgressHUD::hapticOccurred(kit::NotificationFeedbackType type) {
  kit::Queue::main().async([type] {
    if (auto generator = sharedView()->hapticGenerator()) generator->notificationOccurred(type);
  });
}

// ---- Dismissing --------------------------------------------------------------------

void NUVAProgressHUD::popActivity() {
  auto hud = sharedView();
  if (hud->activityCount_ > 0) hud->activityCount_--;
  if (hud->activityCount_ == 0) hud->dismissNow(0, nullptr);
}

void NUVAProgressHUD::dismiss() { dismissWithDelay(0, nullptr); }

void NUVAProgressHUD::dismissWithCompletion(Completion completion) { dismissWithDelay(0, std::move(completion)); }

void NUVAProgressHUD::dismissWithDelay(double delay) { dismissWithDelay(delay, nullptr); }

void NUVAProgressHUD::dismissWithDelay(double delay, Completion completion) {
  sharedView()->dismissNow(delay, std::move(completion));
}

bool NUVAProgressHUD::iNUVAisible() { return sharedView()->backgroundView()->alpha() > 0; }

double NUVAProgressHUD::displayDurationForString(const kit::Ref<kit::String>& text) {
  double length = text ? static_cast<double>(text->length()) : 0;
  double duration = std::max(length * 0.06 + 0.5, sharedView()->minimumDismissTimeInterval_);
  return std::min(duration, sharedView()->maximumDismissTimeInterval_);
}

// ---- The instance's steps, on the main operation queue -------------------------

void NUVAProgressHUD::updateStatus(const kit::Ref<kit::String>& status) {
  statusLabel()->setHidden(!hasText(status));
  statusLabel()->setText(status ? status->utf8() : "");
  updateHUDFrame();
}

void NUVAProgressHUD::showProgressNow(float progress, const kit::Ref<kit::String>& status) {
  kit::bindPost(kit::OperationQueue::main(), weakSelf<NUVAProgressHUD>(),
                [progress, status](NUVAProgressHUD& hud) { hud.showProgressStep(progress, status); })();
}

void NUVAProgressHUD::showProgressStep(float progress, const kit::Ref<kit::String>& status) {
  if (fadeOutTimer_ && fadeOutTimer_->isValid()) activityCount_ = 0;
  setFadeOutTimer(nullptr);
  setGraceTimer(nullptr);
  updateViewHierarchy();

  imageView()->setHidden(true);
  imageView()->setImage(nullptr);
  statusLabel()->setHidden(!hasText(status));
  statusLabel()->setText(status ? status->utf8() : "");
  progress_ = progress;

  auto content = hudView()->contentView();
  if (progress >= 0) {
    cancelIndefiniteAnimatedViewAnimation();
    if (!ringView()->superview()) content->addSubview(ringView());
    if (!backgroundRingView()->superview()) content->addSubview(backgroundRingView());
    kit::Transaction::begin();
    kit::Transaction::setDisableActions(true);
    ringView()->setStrokeEnd(progress);
    kit::Transaction::commit();
  } else {
    cancelRingLayerAnimation();
    content->addSubview(indefiniteAnimatedView());
    if (auto spinner = kit::as<kit::ActivityIndicatorView>(indefiniteAnimatedView())) spinner->startAnimating();
  }
  if (progress <= 0) activityCount_++;

  if (graceTimeInterval_ > 0 && backgroundView()->alpha() == 0) {
    setGraceTimer(scheduleOneShot(graceTimeInterval_, [](NUVAProgressHUD& hud) {
      hud.fadeIn(nullptr);
    }));
  } else {
    fadeIn(nullptr);
  }
  if (auto generator = hapticGenerator()) generator->prepare();
}

void NUVAProgressHUD::showImageNow(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status,
                                   double duration) {
  kit::bindPost(kit::OperationQueue::main(), weakSelf<NUVAProgressHUD>(),
                [image, status, duration](NUVAProgressHUD& hud) { hud.showImageStep(image, status, duration); })();
}

void NUVAProgressHUD::showImageStep(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& status,
                                    double duration) {
  setFadeOutTimer(nullptr);
  setGraceTimer(nullptr);
  updateViewHierarchy();
  progress_ = -1;
  cancelRingLayerAnimation();
  cancelIndefiniteAnimatedViewAnimation();

  if (shouldTintImages_) {
    if (image && image->renderingMode() != kit::ImageRenderingMode::AlwaysTemplate) {
      imageView()->setImage(image->withRenderingMode(kit::ImageRenderingMode::AlwaysTemplate));
    } else {
      imageView()->setImage(image);
    }
    imageView()->setTintColor(foregroundColorForStyle());
  } else {
    imageView()->setImage(image);
  }
  imageView()->setHidden(false);
  statusLabel()->setHidden(!hasText(status));
  statusLabel()->setText(status ? status->utf8() : "");

  kit::Id durationValue = kit::Number::fromDouble(duration);
  if (graceTimeInterval_ > 0 && backgroundView()->alpha() == 0) {
    auto timer = scheduleOneShot(graceTimeInterval_, [durationValue](NUVAProgressHUD& hud) {
      hud.fadeIn(durationValue);
    });
    timer->setUserInfo(durationValue);
    setGraceTimer(timer);
  } else {
    fadeIn(durationValue);
  }
}

void NUVAProgressHUD::fadeIn(const kit::Id& data) {
  updateHUDFrame();
  positionHUD(nullptr);

  std::string label = statusLabel()->text();
  if (defaultMaskType_ != NUVAProgressHUDMaskType::None) {
    controlView()->setUserInteractionEnabled(true);
    setAccessibilityLabel(!label.empty() ? label : kit::localizedString("Loading")->utf8());
    setIsAccessibilityElement(true);
    controlView()->setAccessibilityViewIsModal(true);
  } else {
    controlView()->setUserInteractionEnabled(false);
    hudView()->setAccessibilityLabel(!label.empty() ? label : kit::localizedString("Loading")->utf8());
    hudView()->setIsAccessibilityElement(true);
    controlView()->setAccessibilityViewIsModal(false);
  }

  std::optional<double> duration;
  if (auto number = kit::as<kit::Number>(data)) duration = number->doubleValue();
  if (auto timer = kit::as<kit::Timer>(data)) {
    if (auto number = kit::as<kit::Number>(timer->userInfo())) duration = number->doubleValue();
  }

  auto armDismissTimer = [this, duration] {
    if (!duration) return;
    setFadeOutTimer(scheduleOneShot(*duration, [](NUVAProgressHUD& hud) { hud.dismissNow(0, nullptr); }));
  };

  if (backgroundView()->alpha() != 1) {
    kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAProgressHUDWillAppearNotification, self(),
                                                                  notificationUserInfo());
    float shrink = 1 / 1.5f;
    hudView()->setTransform(hudView()->transform().scaled(shrink, shrink));

    kit::Weak<NUVAProgressHUD> weak = weakSelf<NUVAProgressHUD>();
    auto animations = [weak] {
      if (auto self = weak.lock()) {
        self->hudView()->setTransform(kit::AffineTransform::identity());
        self->fadeInEffects();
      }
    };
    auto completion = [weak, duration](bool) {
      auto self = weak.lock();
      if (!self || self->backgroundView()->alpha() != 1) return;
      self->registerNotifications();
      kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAProgressHUDDidAppearNotification,
                                                                    self->self(), self->notificationUserInfo());
      if (duration) {
        self->setFadeOutTimer(
            self->scheduleOneShot(*duration, [](NUVAProgressHUD& hud) { hud.dismissNow(0, nullptr); }));
      }
    };
    if (fadeInAnimationDuration_ > 0) {
      kit::View::animate(fadeInAnimationDuration_, 0,
                         kit::AnimationOptionLayoutSubviews | kit::AnimationOptionAllowUserInteraction |
                             kit::AnimationOptionBeginFromCurrentState,
                         animations, completion);
    } else {
      animations();
      completion(true);
    }
    setNeedsDisplay();
  } else {
    armDismissTimer();
  }
}

void NUVAProgressHUD::dismissNow(double delay, Completion completion) {
  kit::bindPost(kit::OperationQueue::main(), weakSelf<NUVAProgressHUD>(),
                [delay, completion](NUVAProgressHUD& hud) { hud.dismissStep(delay, completion); })();
}

void NUVAProgressHUD::dismissStep(double delay, const Completion& completion) {
  setGraceTimer(nullptr);
  kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAProgressHUDWillDisappearNotification, nullptr,
                                                                notificationUserInfo());
  activityCount_ = 0;

  kit::Weak<NUVAProgressHUD> weak = weakSelf<NUVAProgressHUD>();
  auto fadeOut = [weak, completion] {
    auto self = weak.lock();
    if (!self) return;
    auto animations = [weak] {
      if (auto self = weak.lock()) {
        float shrink = 1 / 1.3f;
        self->hudView()->setTransform(self->hudView()->transform().scaled(shrink, shrink));
        self->fadeOutEffects();
      }
    };
    auto finished = [weak, completion](bool) {
      auto self = weak.lock();
      if (!self || self->backgroundView()->alpha() != 0) return;
      self->controlView()->removeFromSuperview();
      self->backgroundView()->removeFromSuperview();
      self->hudView()->removeFromSuperview();
      self->removeFromSuperview();
      self->progress_ = -1;
      self->cancelRingLayerAnimation();
      self->cancelIndefiniteAnimatedViewAnimation();
      self->unregisterNotifications();
      kit::NotificationCenter::defaultCenter()->postNotificationName(NUVAProgressHUDDidDisappearNotification,
                                                                    self->self(), self->notificationUserInfo());
      if (auto key = kit::Application::shared()->keyWindow()) {
        if (auto root = key->rootViewController()) root->setNeedsStatusBarAppearanceUpdate();
      }
      if (completion) completion();
    };
    if (self->fadeOutAnimationDuration_ > 0) {
      kit::View::animate(self->fadeOutAnimationDuration_, 0,
                         kit::AnimationOptionAllowUserInteraction | kit::AnimationOptionBeginFromCurrentState,
                         animations, finished);
    } else {
      animations();
      finished(true);
    }
    self->setNeedsDisplay();
  };
  // A dismiss followed at once by a show relies on this step running
  // before the show: a zero delay goes straight onto the main queue.
  if (delay > 0) {
    kit::Queue::main().after(delay, fadeOut);
  } else {
    kit::Queue::main().async(fadeOut);
  }
}

void NUVAProgressHUD::fadeInEffects() {
  if (defaultStyle_ != NUVAProgressHUDStyle::Custom) {
    auto style = defaultStyle_ == NUVAProgressHUDStyle::Dark ? kit::BlurEffectStyle::Dark : kit::BlurEffectStyle::Light;
    hudView()->setEffect(kit::BlurEffect::withStyle(style));
    hudView()->setBackgroundColor(backgroundColorForStyle()->withAlpha(0.6));
  } else {
    hudView()->setBackgroundColor(backgroundColorForStyle());
  }
  backgroundView()->setAlpha(1);
  imageView()->setAlpha(1);
  statusLabel()->setAlpha(1);
  indefiniteAnimatedView()->setAlpha(1);
  ringView()->setAlpha(1);
  backgroundRingView()->setAlpha(1);
}

void NUVAProgressHUD::fadeOutEffects() {
  if (defaultStyle_ != NUVAProgressHUDStyle::Custom) hudView()->setEffect(nullptr);
  hudView()->setBackgroundColor(kit::Color::clearColor());
  backgroundView()->setAlpha(0);
  imageView()->setAlpha(0);
  statusLabel()->setAlpha(0);
  indefiniteAnimatedView()->setAlpha(0);
  ringView()->setAlpha(0);
  backgroundRingView()->setAlpha(0);
}

// ---- Timers ----------------------------------------------------------------------

kit::Ref<kit::Timer> NUVAProgressHUD::scheduleOneShot(double delay, std::function<void(NUVAProgressHUD&)> fire) {
  kit::Weak<NUVAProgressHUD> weak = weakSelf<NUVAProgressHUD>();
  auto timer = kit::Timer::create(delay, false, [weak, fire = std::move(fire)](kit::Timer&) {
    if (auto self = weak.lock()) fire(*self);
  });
  kit::RunLoop::main().addTimer(timer, kit::CommonRunLoopModes);
  return timer;
}

void NUVAProgressHUD::setGraceTimer(kit::Ref<kit::Timer> timer) {
  if (graceTimer_) graceTimer_->invalidate();
  graceTimer_ = std::move(timer);
}

void NUVAProgressHUD::setFadeOutTimer(kit::Ref<kit::Timer> timer) {
  if (fadeOutTimer_) fadeOutTimer_->invalidate();
  fadeOutTimer_ = std::move(timer);
}
