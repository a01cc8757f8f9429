// The status HUD's views, box layout, positioning and notifications. The
// class operations and the show / dismiss flow are in nuva_progress_hud.cc.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/transaction.h"
#include "kit/ui/window.h"
#include "ui/widgets/nuva_indefinite_animated_view.h"
#include "ui/widgets/nuva_progress_animated_view.h"
#include "ui/widgets/nuva_progress_hud.h"
#include "ui/widgets/nuva_radial_gradient_layer.h"

namespace {

// Space between the box's edge and its content, and between content and
// label.
constexpr double kVerticalSpacing = 12;
constexpr double kHorizontalSpacing = 12;
constexpr double kLabelSpacing = 8;

// The height of a rectangle written as "{{x, y}, {w, h}}" (how keyboard
// frames travel in notifications); 0 when the text is not one.
double heightOfRectText(const std::string& text) {
  double x = 0, y = 0, w = 0, h = 0;
  if (std::sscanf(text.c_str(), "{{%lf, %lf}, {%lf, %lf}}", &x, &y, &w, &h) != 4) return 0;
  return std::fabs(h);
}

kit::Rect applicationWindowBounds() {
  auto delegate = kit::Application::shared()->delegate();
  if (delegate && delegate->window()) return delegate->window()->bounds();
  return kit::Screen::main()->bounds();
}

}  // namespace

// ---- Views -------------------------------------------------------------------------

kit::Ref<kit::Control> NUVAProgressHUD::controlView() {
  if (!controlView_) {
    auto control = kit::make<NUVAProgressHUDControlView>();
    controlView_ = control;
    controlView_->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
    controlView_->setBackgroundColor(kit::Color::clearColor());
    kit::Weak<NUVAProgressHUD> weak = weakSelf<NUVAProgressHUD>();
    control->onTouchDown = [weak](kit::Point windowLocation) {
      if (auto self = weak.lock()) self->controlViewDidReceiveTouchEvent(windowLocation);
    };
  }
  controlView_->setFrame(applicationWindowBounds());
  return controlView_;
}

kit::Ref<kit::View> NUVAProgressHUD::backgroundView() {
  if (!backgroundView_) {
    backgroundView_ = kit::View::make();
    backgroundView_->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  }
  if (!backgroundView_->superview() && hudView_) insertSubviewBelow(backgroundView_, hudView_.get());

  if (defaultMaskType_ == NUVAProgressHUDMaskType::Gradient) {
    if (!backgroundRadialGradientLayer_) backgroundRadialGradientLayer_ = NUVARadialGradientLayer::make();
    if (!backgroundRadialGradientLayer_->superlayer()) {
      backgroundView_->layer()->insertSublayerAt(backgroundRadialGradientLayer_, 0);
    }
    backgroundView_->setBackgroundColor(kit::Color::clearColor());
  } else {
    if (backgroundRadialGradientLayer_ && backgroundRadialGradientLayer_->superlayer()) {
      backgroundRadialGradientLayer_->removeFromSuperlayer();
    }
    if (defaultMaskType_ == NUVAProgressHUDMaskType::Black) {
      backgroundView_->setBackgroundColor(kit::Color::white(0, 0.4));
    } else if (defaultMaskType_ == NUVAProgressHUDMaskType::Custom) {
      backgroundView_->setBackgroundColor(backgroundLayerColor_);
    } else {
      backgroundView_->setBackgroundColor(kit::Color::clearColor());
    }
  }

  backgroundView_->setFrame(bounds());
  if (backgroundRadialGradientLayer_) {
    backgroundRadialGradientLayer_->setFrame(bounds());
    kit::Point center{bounds().midX(), (bounds().height() - visibleKeyboardHeight()) / 2};
    backgroundRadialGradientLayer_->setGradientCenter(center);
    backgroundRadialGradientLayer_->setNeedsDisplay();
  }
  return backgroundView_;
}

kit::Ref<kit::VisualEffectView> NUVAProgressHUD::hudView() {
  if (!hudView_) {
    hudView_ = kit::VisualEffectView::make(nullptr);
    hudView_->setClipsToBounds(true);
    hudView_->setAutoresizingMask(kit::AutoresizingFlexibleLeftMargin | kit::AutoresizingFlexibleRightMargin |
                                  kit::AutoresizingFlexibleTopMargin | kit::AutoresizingFlexibleBottomMargin);
  }
  if (!hudView_->superview()) addSubview(hudView_);
  hudView_->layer()->setCornerRadius(cornerRadius_);
  return hudView_;
}

kit::Ref<kit::Label> NUVAProgressHUD::statusLabel() {
  if (!statusLabel_) {
    statusLabel_ = kit::Label::make();
    statusLabel_->setBackgroundColor(kit::Color::clearColor());
    statusLabel_->setAdjustsFontSizeToFitWidth(true);
    statusLabel_->setTextAlignment(kit::TextAlignment::Center);
    statusLabel_->setBaselineAdjustment(kit::BaselineAdjustment::AlignCenters);
    statusLabel_->setNumberOfLines(0);
  }
  if (!statusLabel_->superview()) hudView()->contentView()->addSubview(statusLabel_);
  statusLabel_->setTextColor(foregroundColorForStyle());
  statusLabel_->setFont(font_);
  return statusLabel_;
}

kit::Ref<kit::ImageView> NUVAProgressHUD::imageView() {
  if (imageView_ && imageView_->bounds().size != imageViewSize_) {
    imageView_->removeFromSuperview();
    imageView_ = nullptr;
  }
  if (!imageView_) imageView_ = kit::ImageView::make({0, 0, imageViewSize_.width, imageViewSize_.height});
  if (!imageView_->superview()) hudView()->contentView()->addSubview(imageView_);
  return imageView_;
}

kit::Ref<kit::View> NUVAProgressHUD::indefiniteAnimatedView() {
  bool wantFlat = defaultAnimationType_ == NUVAProgressHUDAnimationType::Flat;
  bool haveFlat = kit::isKind<NUVAIndefiniteAnimatedView>(indefiniteAnimatedView_);
  if (indefiniteAnimatedView_ && wantFlat != haveFlat) {
    indefiniteAnimatedView_->removeFromSuperview();
    indefiniteAnimatedView_ = nullptr;
  }
  double radius = statusLabel_ && !statusLabel_->text().empty() ? ringRadius_ : ringNoTextRadius_;
  if (wantFlat) {
    auto spinner = kit::as<NUVAIndefiniteAnimatedView>(indefiniteAnimatedView_);
    if (!spinner) spinner = NUVAIndefiniteAnimatedView::make();
    spinner->setStrokeColor(foregroundColorForStyle());
    spinner->setStrokeThickness(ringThickness_);
    spinner->setRadius(radius);
    indefiniteAnimatedView_ = spinner;
  } else {
    auto spinner = kit::as<kit::ActivityIndicatorView>(indefiniteAnimatedView_);
    if (!spinner) spinner = kit::ActivityIndicatorView::make(kit::ActivityIndicatorStyle::WhiteLarge);
    spinner->setColor(foregroundColorForStyle());
    indefiniteAnimatedView_ = spinner;
  }
  indefiniteAnimatedView_->sizeToFit();
  return indefiniteAnimatedView_;
}

kit::Ref<NUVAProgressAnimatedView> NUVAProgressHUD::ringView() {
  if (!ringView_) ringView_ = NUVAProgressAnimatedView::make();
  ringView_->setStrokeColor(foregroundColorForStyle());
  ringView_->setStrokeThickness(ringThickness_);
  ringView_->setRadius(statusLabel_ && !statusLabel_->text().empty() ? ringRadius_ : ringNoTextRadius_);
  return ringView_;
}

kit::Ref<NUVAProgressAnimatedView> NUVAProgressHUD::backgroundRingView() {
  if (!backgroundRingView_) {
    backgroundRingView_ = NUVAProgressAnimatedView::make();
    backgroundRingView_->setStrokeEnd(1.0);
  }
  backgroundRingView_->setStrokeColor(foregroundColorForStyle()->withAlpha(0.1));
  backgroundRingView_->setStrokeThickness(ringThickness_);
  backgroundRingView_->setRadius(statusLabel_ && !statusLabel_->text().empty() ? ringRadius_ : ringNoTextRadius_);
  return backgroundRingView_;
}

kit::Ref<kit::NotificationFeedbackGenerator> NUVAProgressHUD::hapticGenerator() {
  if (!hapticsEnabled_) return nullptr;
  if (!hapticGenerator_) hapticGenerator_ = kit::NotificationFeedbackGenerator::make();
  return hapticGenerator_;
}

void NUVAProgressHUD::cancelRingLayerAnimation() {
  kit::Transaction::begin();
  kit::Transaction::setDisableActions(true);
  hudView()->layer()->removeAllAnimations();
  ringView()->setStrokeEnd(0);
  kit::Transaction::commit();
  ringView()->removeFromSuperview();
  backgroundRingView()->removeFromSuperview();
}

void NUVAProgressHUD::cancelIndefiniteAnimatedViewAnimation() {
  if (auto spinner = kit::as<kit::ActivityIndicatorView>(indefiniteAnimatedView_)) spinner->stopAnimating();
  if (indefiniteAnimatedView_) indefiniteAnimatedView_->removeFromSuperview();
}

kit::Ref<kit::Color> NUVAProgressHUD::foregroundColorForStyle() const {
  switch (defaultStyle_) {
    case NUVAProgressHUDStyle::Light: return kit::Color::blackColor();
    case NUVAProgressHUDStyle::Dark: return kit::Color::whiteColor();
    case NUVAProgressHUDStyle::Custom: break;
  }
  return foregroundColor_;
}

kit::Ref<kit::Color> NUVAProgressHUD::backgroundColorForStyle() const {
  switch (defaultStyle_) {
    case NUVAProgressHUDStyle::Light: return kit::Color::whiteColor();
    case NUVAProgressHUDStyle::Dark: return kit::Color::blackColor();
    case NUVAProgressHUDStyle::Custom: break;
  }
  return hudBackgroundColor_;
}

// ---- Hierarchy and layout ----------------------------------------------------------

kit::Ref<kit::Window> NUVAProgressHUD::frontWindow() const {
  auto windows = kit::Application::shared()->windows();
  auto mainScreen = kit::Screen::main();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    const auto& window = *it;
    bool onMainScreen = window->screen() == mainScreen;
    bool visible = !window->isHidden() && window->alpha() > 0;
    bool levelSupported =
        window->windowLevel() >= kit::WindowLevelNormal && window->windowLevel() <= maxSupportedWindowLevel_;
    if (onMainScreen && visible && levelSupported && window->isKeyWindow()) return window;
  }
  return nullptr;
}

void NUVAProgressHUD::updateViewHierarchy() {
  auto control = controlView();
  if (!control->superview()) {
    if (containerViewStrong_) {
      containerViewStrong_->addSubview(control);
    } else if (auto window = frontWindow()) {
      window->addSubview(control);
    }
  } else {
    control->superview()->bringSubviewToFront(control.get());
  }
  if (!superview()) control->addSubview(selfAs<NUVAProgressHUD>());
}

void NUVAProgressHUD::updateHUDFrame() {
  auto image = imageView();
  bool imageUsed = image->image() && !image->isHidden();
  bool progressUsed = image->isHidden();
  auto label = statusLabel();

  double labelWidth = 0, labelHeight = 0;
  kit::Rect labelRect;
  if (!label->text().empty()) {
    kit::TextAttributes attributes;
    attributes.font = label->font();
    labelRect = kit::boundingRectWithSize(
        label->text(), {200, 300},
        kit::StringDrawingUsesLineFragmentOrigin | kit::StringDrawingUsesFontLeading |
            kit::StringDrawingTruncatesLastVisibleLine,
        attributes);
    labelWidth = std::ceil(static_cast<float>(labelRect.width()));
    labelHeight = std::ceil(static_cast<float>(labelRect.height()));
    labelRect.size = {labelWidth, labelHeight};
  }

  double contentWidth = 0, contentHeight = 0;
  if (imageUsed || progressUsed) {
    kit::Rect content = imageUsed ? image->frame() : indefiniteAnimatedView()->frame();
    contentWidth = content.width();
    contentHeight = content.height();
  }

  double hudWidth = kHorizontalSpacing + std::max(labelWidth, contentWidth) + kHorizontalSpacing;
  double hudHeight = kVerticalSpacing + labelHeight + contentHeight + kVerticalSpacing;
  if (!label->text().empty() && (imageUsed || progressUsed)) hudHeight += kLabelSpacing;

  auto hud = hudView();
  hud->setBounds({0, 0, std::max(minimumSize_.width, hudWidth), std::max(minimumSize_.height, hudHeight)});

  kit::Transaction::begin();
  kit::Transaction::setDisableActions(true);
  double centerY;
  if (!label->text().empty()) {
    double yOffset = std::max(kVerticalSpacing, (minimumSize_.height - contentHeight - kLabelSpacing - labelHeight) / 2);
    centerY = yOffset + contentHeight / 2;
  } else {
    centerY = hud->bounds().midY();
  }
  kit::Point contentCenter{hud->bounds().midX(), centerY};
  indefiniteAnimatedView()->setCenter(contentCenter);
  if (progress_ != -1) {
    ringView()->setCenter(contentCenter);
    backgroundRingView()->setCenter(contentCenter);
  }
  image->setCenter(contentCenter);

  double labelCenterY;
  if (imageUsed || progressUsed) {
    kit::Rect above = imageUsed ? image->frame() : indefiniteAnimatedView()->frame();
    labelCenterY = above.maxY() + kLabelSpacing + labelHeight / 2;
  } else {
    labelCenterY = hud->bounds().midY();
  }
  label->setFrame(labelRect);
  label->setCenter({hud->bounds().midX(), labelCenterY});
  kit::Transaction::commit();
}

void NUVAProgressHUD::updateMotionEffectForOrientation(kit::InterfaceOrientation orientation) {
  bool portrait = orientation == kit::InterfaceOrientation::Portrait ||
                  orientation == kit::InterfaceOrientation::PortraitUpsideDown;
  using Kind = kit::MotionEffect::Kind;
  Kind xKind = portrait ? Kind::TiltAlongHorizontalAxis : Kind::TiltAlongVerticalAxis;
  Kind yKind = portrait ? Kind::TiltAlongVerticalAxis : Kind::TiltAlongHorizontalAxis;
  auto group = kit::make<kit::MotionEffect>();
  group->group = {kit::MotionEffect::interpolating("center.x", xKind, -10, 10),
                  kit::MotionEffect::interpolating("center.y", yKind, -10, 10)};
  auto hud = hudView();
  auto existing = hud->motionEffects();
  for (const auto& effect : existing) hud->removeMotionEffect(effect.get());
  hud->addMotionEffect(group);
}

void NUVAProgressHUD::positionHUD(const kit::Ref<kit::Notification>& notification) {
  setFrame(applicationWindowBounds());
  auto app = kit::Application::shared();
  double animationDuration = 0;
  if (notification) {
    const auto& name = notification->name();
    auto info = notification->userInfo();
    if (info) {
      if (auto number = kit::as<kit::Number>((*info)[kit::KeyboardAnimationDurationUserInfoKey])) {
        animationDuration = number->doubleValue();
      }
      if (name == kit::KeyboardWillShowNotification || name == kit::KeyboardDidShowNotification) {
        if (auto frame = (*info)[kit::KeyboardFrameEndUserInfoKey]) {
          keyboardHeight_ = heightOfRectText(kit::describe(frame));
        }
      }
    }
    if (name == kit::KeyboardWillHideNotification || name == kit::KeyboardDidHideNotification) keyboardHeight_ = 0;
  }
  updateMotionEffectForOrientation(app->statusBarOrientation());

  kit::Rect screen = kit::Screen::main()->bounds();
  kit::Point target{screen.midX(), screen.midY()};
  if (notification) {
    kit::Weak<NUVAProgressHUD> weak = weakSelf<NUVAProgressHUD>();
    kit::View::animate(animationDuration, 0,
                       kit::AnimationOptionAllowUserInteraction | kit::AnimationOptionBeginFromCurrentState,
                       [weak, target] {
                         if (auto self = weak.lock()) {
                           self->moveToPoint(target, 0);
                           self->hudView()->setNeedsDisplay();
                         }
                       });
  } else {
    moveToPoint(target, 0);
  }
}

void NUVAProgressHUD::moveToPoint(kit::Point point, double angle) {
  auto hud = hudView();
  hud->setTransform(kit::AffineTransform::makeRotation(angle));
  kit::Point base = point;
  if (containerViewStrong_) base = containerViewStrong_->center();
  hud->setCenter({base.x + offsetFromCenter_.horizontal, base.y + offsetFromCenter_.vertical});
}

double NUVAProgressHUD::visibleKeyboardHeight() const {
  return kit::Application::shared()->isKeyboardVisible() ? keyboardHeight_ : 0;
}

// ---- Notifications and touches -----------------------------------------------------

void NUVAProgressHUD::registerNotifications() {
  if (observing_) return;
  observing_ = true;
  auto center = kit::NotificationCenter::defaultCenter();
  auto self = selfAs<NUVAProgressHUD>();
  for (const char* name : {kit::ApplicationDidChangeStatusBarOrientationNotification, kit::KeyboardWillHideNotification,
                           kit::KeyboardDidHideNotification, kit::KeyboardWillShowNotification,
                           kit::KeyboardDidShowNotification, kit::ApplicationDidBecomeActiveNotification}) {
    center->addObserver(self, &NUVAProgressHUD::positionHUD, name);
  }
}

void NUVAProgressHUD::unregisterNotifications() {
  observing_ = false;
  kit::NotificationCenter::defaultCenter()->removeObserver(self());
}

kit::Ref<kit::Dictionary> NUVAProgressHUD::notificationUserInfo() {
  if (!statusLabel_ || statusLabel_->text().empty()) return nullptr;
  return kit::dict({{NUVAProgressHUDStatusUserInfoKey, statusLabel_->text()}});
}

void NUVAProgressHUD::controlViewDidReceiveTouchEvent(kit::Point windowLocation) {
  auto center = kit::NotificationCenter::defaultCenter();
  center->postNotificationName(NUVAProgressHUDDidReceiveTouchEventNotification, self(), notificationUserInfo());
  kit::Point inHUD = convertPointFromView(windowLocation, nullptr);
  if (hudView()->frame().contains(inHUD)) {
    center->postNotificationName(NUVAProgressHUDDidTouchDownInsideNotification, self(), notificationUserInfo());
  }
}

bool NUVAProgressHUDControlView::beginTracking(kit::Touch& touch, const kit::Event* event) {
  if (onTouchDown) onTouchDown(touch.locationInView(nullptr));
  return kit::Control::beginTracking(touch, event);
}
