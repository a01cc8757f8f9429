// The platform progress HUD. See ph_progress_hud.h.
#include "ui/widgets/ph_progress_hud.h"

#include <algorithm>
#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/number.h"
#include "kit/ui/application.h"

namespace {

constexpr double kContentCompression = 998;

bool sameColor(const kit::Ref<kit::Color>& a, const kit::Ref<kit::Color>& b) {
  if (!a || !b) return a == b;
  return kit::isEqual(a, b);
}

// The bezel: a background view whose layout passes (a label's text or a
// view's size changed inside it) lay the HUD's bezel out again.
class PHBezelView : public PHBackgroundView {
 public:
  using PHBackgroundView::PHBackgroundView;
  void layoutSubviews() override {
    PHBackgroundView::layoutSubviews();
    if (auto hud = std::dynamic_pointer_cast<PHProgressHUD>(superview())) hud->layoutBezel();
  }
};

// A view's natural size: its intrinsic size, its frame size on an axis
// without one.
kit::Size naturalSize(const kit::View& view) {
  kit::Size size = view.intrinsicContentSize();
  if (size.width == kit::NoIntrinsicMetric) size.width = view.frame().size.width;
  if (size.height == kit::NoIntrinsicMetric) size.height = view.frame().size.height;
  return size;
}

bool showsSomething(const kit::View& view) {
  const kit::Size size = view.intrinsicContentSize();
  return !view.isHidden() && !(size.width == 0 && size.height == 0);
}

}  // namespace

// ---- Class operations ------------------------------------------------------

kit::Ref<PHProgressHUD> PHProgressHUD::showHUDAddedTo(const kit::Ref<kit::View>& view, bool animated) {
  KIT_CHECK_MAIN_THREAD();
  auto hud = initWithView(view);
  hud->setRemoveFromSuperViewOnHide(true);
  if (view) view->addSubview(hud);
  hud->showAnimated(animated);
  return hud;
}

bool PHProgressHUD::hideHUDForView(const kit::Ref<kit::View>& view, bool animated) {
  auto hud = HUDForView(view);
  if (!hud) return false;
  hud->setRemoveFromSuperViewOnHide(true);
  hud->hideAnimated(animated);
  return true;
}

kit::Ref<PHProgressHUD> PHProgressHUD::HUDForView(const kit::Ref<kit::View>& view) {
  if (!view) return nullptr;
  const auto& subviews = view->subviews();
  for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
    auto hud = std::dynamic_pointer_cast<PHProgressHUD>(*it);
    if (hud && !hud->hasFinished()) return hud;
  }
  return nullptr;
}

std::vector<kit::Ref<PHProgressHUD>> PHProgressHUD::allHUDsForView(const kit::Ref<kit::View>& view) {
  std::vector<kit::Ref<PHProgressHUD>> huds;
  if (!view) return huds;
  for (const auto& subview : view->subviews()) {
    if (auto hud = std::dynamic_pointer_cast<PHProgressHUD>(subview)) huds.push_back(hud);
  }
  return huds;
}

size_t PHProgressHUD::hideAllHUDsForView(const kit::Ref<kit::View>& view, bool animated) {
  auto huds = allHUDsForView(view);
  for (const auto& hud : huds) {
    hud->setRemoveFromSuperViewOnHide(true);
    hud->hideAnimated(animated);
  }
  return huds.size();
}

// ---- Making one ------------------------------------------------------------

kit::Ref<PHProgressHUD> PHProgressHUD::initWithView(const kit::Ref<kit::View>& view) {
  return make(view ? view->bounds() : kit::Rect{});
}

PHProgressHUD::PHProgressHUD(const kit::Rect& frame)
    : kit::View(frame), contentColor_(kit::Color::white(0.0, 0.7)) {
  setOpaque(false);
  setBackgroundColor(kit::Color::clearColor());
  setAlpha(0.0);
  setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  layer()->setAllowsGroupOpacity(false);
  setupViews();
  updateIndicators();
}

PHProgressHUD::~PHProgressHUD() {
  for (auto* timer : {&graceTimer_, &minShowTimer_, &hideDelayTimer_}) {
    if (auto t = timer->lock()) t->invalidate();
  }
  if (displayLink_) displayLink_->invalidate();
  if (orientationObserver_) kit::NotificationCenter::defaultCenter()->removeObserver(orientationObserver_);
}

void PHProgressHUD::setupViews() {
  backgroundView_ = PHBackgroundView::make(bounds());
  backgroundView_->setStyle(PHProgressHUDBackgroundStyleSolidColor);
  backgroundView_->setBackgroundColor(kit::Color::clearColor());
  backgroundView_->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  backgroundView_->setAlpha(0.0);
  addSubview(backgroundView_);

  bezelView_ = kit::make<PHBezelView>(kit::Rect{});
  bezelView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  bezelView_->layer()->setCornerRadius(5.0);
  bezelView_->setAlpha(0.0);
  addSubview(bezelView_);
  updateBezelMotionEffects();

  label_ = kit::Label::make();
  label_->setAdjustsFontSizeToFitWidth(false);
  label_->setTextAlignment(kit::TextAlignment::Center);
  label_->setTextColor(contentColor_);
  label_->setFont(kit::Font::boldSystemFont(16));
  label_->setOpaque(false);
  label_->setBackgroundColor(kit::Color::clearColor());

  detailsLabel_ = kit::Label::make();
  detailsLabel_->setAdjustsFontSizeToFitWidth(false);
  detailsLabel_->setTextAlignment(kit::TextAlignment::Center);
  detailsLabel_->setTextColor(contentColor_);
  detailsLabel_->setNumberOfLines(0);
  detailsLabel_->setFont(kit::Font::boldSystemFont(12));
  detailsLabel_->setOpaque(false);
  detailsLabel_->setBackgroundColor(kit::Color::clearColor());

  button_ = PHProgressHUDRoundedButton::make();
  button_->titleLabel()->setTextAlignment(kit::TextAlignment::Center);
  button_->titleLabel()->setFont(kit::Font::boldSystemFont(12));
  button_->setTitleColor(contentColor_, kit::ControlStateNormal);

  for (const kit::Ref<kit::View>& view : {kit::Ref<kit::View>(label_), kit::Ref<kit::View>(detailsLabel_),
                                          kit::Ref<kit::View>(button_)}) {
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    view->setContentCompressionResistancePriority(kContentCompression, 0);
    view->setContentCompressionResistancePriority(kContentCompression, 1);
    bezelView_->addSubview(view);
  }

  topSpacer_ = kit::View::make();
  topSpacer_->setTranslatesAutoresizingMaskIntoConstraints(false);
  topSpacer_->setHidden(true);
  bezelView_->addSubview(topSpacer_);
  bottomSpacer_ = kit::View::make();
  bottomSpacer_->setTranslatesAutoresizingMaskIntoConstraints(false);
  bottomSpacer_->setHidden(true);
  bezelView_->addSubview(bottomSpacer_);
}

// ---- Showing and hiding ----------------------------------------------------

kit::Ref<kit::Timer> PHProgressHUD::schedule(double seconds, std::function<void(PHProgressHUD&)> fire) {
  kit::Weak<PHProgressHUD> weak = weakSelf<PHProgressHUD>();
  auto timer = kit::Timer::create(seconds, false, [weak, fire = std::move(fire)](kit::Timer&) {
    if (auto self = weak.lock()) fire(*self);
  });
  kit::RunLoop::current().addTimer(timer, kit::CommonRunLoopModes);
  return timer;
}

void PHProgressHUD::showAnimated(bool animated) {
  KIT_CHECK_MAIN_THREAD();
  if (auto timer = minShowTimer_.lock()) timer->invalidate();
  useAnimation_ = animated;
  finished_ = false;
  if (graceTime_ > 0.0) {
    graceTimer_ = schedule(graceTime_, [](PHProgressHUD& hud) {
      if (!hud.finished_) hud.showUsingAnimation(hud.useAnimation_);
    });
    return;
  }
  showUsingAnimation(useAnimation_);
}

void PHProgressHUD::hideAnimated(bool animated) {
  KIT_CHECK_MAIN_THREAD();
  if (auto timer = graceTimer_.lock()) timer->invalidate();
  useAnimation_ = animated;
  finished_ = true;
  if (minShowTime_ > 0.0 && showStarted_) {
    const double shown = kit::Clock::now() - *showStarted_;
    if (shown < minShowTime_) {
      minShowTimer_ = schedule(minShowTime_ - shown, [](PHProgressHUD& hud) {
        hud.hideUsingAnimation(hud.useAnimation_);
      });
      return;
    }
  }
  hideUsingAnimation(useAnimation_);
}

void PHProgressHUD::hideAnimated(bool animated, double delay) {
  KIT_CHECK_MAIN_THREAD();
  if (auto timer = hideDelayTimer_.lock()) timer->invalidate();
  auto timer = schedule(delay, [](PHProgressHUD& hud) {
    auto timer = hud.hideDelayTimer_.lock();
    auto flag = timer ? kit::as<kit::Number>(timer->userInfo()) : nullptr;
    hud.hideAnimated(flag && flag->boolValue());
  });
  timer->setUserInfo(kit::num(animated));
  hideDelayTimer_ = timer;
}

void PHProgressHUD::showAnimated(bool animated, std::function<void()> work, kit::Queue& queue,
                                 CompletionBlock completion) {
  KIT_CHECK_MAIN_THREAD();
  taskInProgress_ = true;
  completionBlock = std::move(completion);
  // The work keeps the HUD until its clean-up has run on the main queue,
  // where the last reference is let go.
  queue.async([self = selfAs<PHProgressHUD>(), work = std::move(work)]() mutable {
    if (work) work();
    kit::Queue::main().async([self = std::move(self)] {
      self->taskInProgress_ = false;
      self->hideAnimated(self->useAnimation_);
    });
  });
  showAnimated(animated);
}

void PHProgressHUD::showAnimated(bool animated, std::function<void()> work, CompletionBlock completion) {
  showAnimated(animated, std::move(work), kit::Queue::global(kit::Queue::Priority::Default), std::move(completion));
}

void PHProgressHUD::showUsingAnimation(bool animated) {
  bezelView_->layer()->removeAllAnimations();
  backgroundView_->layer()->removeAllAnimations();
  if (auto timer = hideDelayTimer_.lock()) timer->invalidate();
  showStarted_ = kit::Clock::now();
  setAlpha(1.0);
  setProgressDisplayLinkEnabled(true);
  if (animated) {
    animateIn(true, animationType_, {});
  } else {
    bezelView_->setAlpha(opacity_);
    backgroundView_->setAlpha(1.0);
  }
}

void PHProgressHUD::hideUsingAnimation(bool animated) {
  if (animated && showStarted_) {
    showStarted_.reset();
    kit::Ref<PHProgressHUD> self = selfAs<PHProgressHUD>();
    animateIn(false, animationType_, [self](bool) { self->done(); });
  } else {
    showStarted_.reset();
    bezelView_->setAlpha(0.0);
    backgroundView_->setAlpha(1.0);
    done();
  }
}

void PHProgressHUD::animateIn(bool animatingIn, long type, std::function<void(bool)> completion) {
  if (type == PHProgressHUDAnimationZoom) {
    type = animatingIn ? PHProgressHUDAnimationZoomIn : PHProgressHUDAnimationZoomOut;
  }
  const kit::AffineTransform small = kit::AffineTransform::makeScale(0.5, 0.5);
  const kit::AffineTransform large = kit::AffineTransform::makeScale(1.5, 1.5);
  if (animatingIn && bezelView_->alpha() == 0.0) {
    if (type == PHProgressHUDAnimationZoomIn) bezelView_->setTransform(small);
    if (type == PHProgressHUDAnimationZoomOut) bezelView_->setTransform(large);
  }
  auto bezel = bezelView_;
  auto background = backgroundView_;
  const double opacity = opacity_;
  auto animations = [=] {
    if (animatingIn) {
      bezel->setTransform(kit::AffineTransform::identity());
    } else if (type == PHProgressHUDAnimationZoomIn) {
      bezel->setTransform(large);
    } else if (type == PHProgressHUDAnimationZoomOut) {
      bezel->setTransform(small);
    }
    bezel->setAlpha(animatingIn ? opacity : 0.0);
    background->setAlpha(animatingIn ? 1.0 : 0.0);
  };
  kit::View::animateSpring(AnimationDuration, 0.0, 1.0, 0.0, kit::AnimationOptionBeginFromCurrentState, animations,
                           std::move(completion));
}

void PHProgressHUD::done() {
  // Leaving the superview may let go of the last reference.
  kit::Ref<PHProgressHUD> keep = selfAs<PHProgressHUD>();
  if (auto timer = hideDelayTimer_.lock()) timer->invalidate();
  setProgressDisplayLinkEnabled(false);
  if (finished_) {
    setAlpha(0.0);
    if (removeFromSuperViewOnHide_) removeFromSuperview();
  }
  if (completionBlock) {
    CompletionBlock block = completionBlock;
    block();
  }
  if (auto listener = delegate.lock()) listener->hudWasHidden(*this);
}

// ---- Indicator and colours -------------------------------------------------

void PHProgressHUD::setMode(long mode) {
  KIT_CHECK_MAIN_THREAD();
  if (mode == mode_) return;
  mode_ = mode;
  updateIndicators();
}

void PHProgressHUD::setCustomView(kit::Ref<kit::View> view) {
  KIT_CHECK_MAIN_THREAD();
  if (view == customView_) return;
  customView_ = std::move(view);
  if (mode_ == PHProgressHUDModeCustomView) updateIndicators();
}

void PHProgressHUD::updateIndicators() {
  kit::Ref<kit::View> indicator = indicator_;
  const bool isSpinner = static_cast<bool>(std::dynamic_pointer_cast<kit::ActivityIndicatorView>(indicator));
  const bool isRound = static_cast<bool>(std::dynamic_pointer_cast<PHRoundProgressView>(indicator));
  auto replace = [&](kit::Ref<kit::View> next) {
    if (indicator) indicator->removeFromSuperview();
    indicator = std::move(next);
    if (indicator) bezelView_->addSubview(indicator);
  };

  switch (mode_) {
    case PHProgressHUDModeIndeterminate:
      if (!isSpinner) {
        auto spinner = kit::ActivityIndicatorView::make(kit::ActivityIndicatorStyle::WhiteLarge);
        spinner->startAnimating();
        replace(spinner);
      }
      break;
    case PHProgressHUDModeDeterminateHorizontalBar:
      replace(PHBarProgressView::make());
      break;
    case PHProgressHUDModeDeterminate:
    case PHProgressHUDModeAnnularDeterminate:
      if (!isRound) replace(PHRoundProgressView::make());
      // Both ways: a ring going back to a pie is drawn as a pie again.
      std::static_pointer_cast<PHRoundProgressView>(indicator)->setAnnular(mode_ ==
                                                                           PHProgressHUDModeAnnularDeterminate);
      break;
    case PHProgressHUDModeCustomView:
      if (customView_ != indicator) replace(customView_);
      break;
    case PHProgressHUDModeText:
      replace(nullptr);
      break;
    default:
      break;
  }
  indicator_ = indicator;

  if (indicator_) {
    indicator_->setTranslatesAutoresizingMaskIntoConstraints(false);
    if (auto round = std::dynamic_pointer_cast<PHRoundProgressView>(indicator_)) round->setProgress(progress_);
    if (auto bar = std::dynamic_pointer_cast<PHBarProgressView>(indicator_)) bar->setProgress(progress_);
    indicator_->setContentCompressionResistancePriority(kContentCompression, 0);
    indicator_->setContentCompressionResistancePriority(kContentCompression, 1);
  }
  updateViewsForColor(contentColor_);
  setNeedsLayout();
}

void PHProgressHUD::setContentColor(kit::Ref<kit::Color> color) {
  KIT_CHECK_MAIN_THREAD();
  if (sameColor(color, contentColor_)) return;
  contentColor_ = std::move(color);
  updateViewsForColor(contentColor_);
}

void PHProgressHUD::setActivityIndicatorColor(kit::Ref<kit::Color> color) {
  KIT_CHECK_MAIN_THREAD();
  if (sameColor(color, activityIndicatorColor_)) return;
  activityIndicatorColor_ = std::move(color);
  if (auto spinner = std::dynamic_pointer_cast<kit::ActivityIndicatorView>(indicator_)) {
    spinner->setColor(activityIndicatorColor_);
  }
}

void PHProgressHUD::updateViewsForColor(const kit::Ref<kit::Color>& contentColor) {
  if (!contentColor) return;
  label_->setTextColor(contentColor);
  detailsLabel_->setTextColor(contentColor);
  button_->setTitleColor(contentColor, kit::ControlStateNormal);

  const kit::Ref<kit::Color> color = activityIndicatorColor_ ? activityIndicatorColor_ : contentColor;
  if (auto spinner = std::dynamic_pointer_cast<kit::ActivityIndicatorView>(indicator_)) {
    spinner->setColor(color);
  } else if (auto round = std::dynamic_pointer_cast<PHRoundProgressView>(indicator_)) {
    round->setProgressTintColor(color);
    round->setBackgroundTintColor(color->withAlpha(0.1));
  } else if (auto bar = std::dynamic_pointer_cast<PHBarProgressView>(indicator_)) {
    bar->setProgressColor(color);
    bar->setLineColor(color);
  } else if (indicator_) {
    indicator_->setTintColor(color);
  }
}

void PHProgressHUD::setDefaultMotionEffectsEnabled(bool enabled) {
  KIT_CHECK_MAIN_THREAD();
  if (enabled == motionEffectsEnabled_) return;
  motionEffectsEnabled_ = enabled;
  updateBezelMotionEffects();
}

void PHProgressHUD::updateBezelMotionEffects() {
  if (motionEffectsEnabled_) {
    auto group = kit::make<kit::MotionEffect>();
    group->group = {
        kit::MotionEffect::interpolating("center.x", kit::MotionEffect::Kind::TiltAlongHorizontalAxis, -10, 10),
        kit::MotionEffect::interpolating("center.y", kit::MotionEffect::Kind::TiltAlongVerticalAxis, -10, 10)};
    bezelView_->addMotionEffect(group);
  } else {
    for (const auto& effect : std::vector<kit::Ref<kit::MotionEffect>>(bezelView_->motionEffects())) {
      bezelView_->removeMotionEffect(effect.get());
    }
  }
}

// ---- Progress --------------------------------------------------------------

void PHProgressHUD::setProgress(float progress) {
  KIT_CHECK_MAIN_THREAD();
  if (progress == progress_) return;
  progress_ = progress;
  if (auto round = std::dynamic_pointer_cast<PHRoundProgressView>(indicator_)) round->setProgress(progress_);
  if (auto bar = std::dynamic_pointer_cast<PHBarProgressView>(indicator_)) bar->setProgress(progress_);
}

void PHProgressHUD::setProgressObject(kit::Ref<kit::Progress> progress) {
  KIT_CHECK_MAIN_THREAD();
  if (progress == progressObject_) return;
  progressObject_ = std::move(progress);
  setProgressDisplayLinkEnabled(true);
}

void PHProgressHUD::setProgressDisplayLinkEnabled(bool enabled) {
  if (enabled && progressObject_) {
    if (displayLink_) return;
    kit::Weak<PHProgressHUD> weak = weakSelf<PHProgressHUD>();
    displayLink_ = kit::DisplayLink::make([weak](kit::DisplayLink&) {
      if (auto self = weak.lock()) self->followProgressObject();
    });
    displayLink_->addToRunLoop(kit::RunLoop::main(), kit::DefaultRunLoopMode);
  } else if (displayLink_) {
    displayLink_->invalidate();
    displayLink_ = nullptr;
  }
}

void PHProgressHUD::followProgressObject() {
  if (progressObject_) setProgress(static_cast<float>(progressObject_->fractionCompleted()));
}

// ---- Older property forms and the default background ------------------------

void PHProgressHUD::setLabelText(std::string_view text) {
  label_->setText(text);
  setNeedsLayout();
}

void PHProgressHUD::setLabelFont(kit::Ref<kit::Font> font) {
  label_->setFont(std::move(font));
  setNeedsLayout();
}

void PHProgressHUD::setDetailsLabelText(std::string_view text) {
  detailsLabel_->setText(text);
  setNeedsLayout();
}

void PHProgressHUD::setDetailsLabelFont(kit::Ref<kit::Font> font) {
  detailsLabel_->setFont(std::move(font));
  setNeedsLayout();
}

bool PHProgressHUD::isDefaultBackground() const {
  return backgroundView_->style() == PHProgressHUDBackgroundStyleSolidColor &&
         sameColor(backgroundView_->color(), kit::Color::white(0.0, 0.2));
}

void PHProgressHUD::setIsDefaultBackground(bool v) {
  KIT_CHECK_MAIN_THREAD();
  backgroundView_->setStyle(PHProgressHUDBackgroundStyleSolidColor);
  backgroundView_->setColor(v ? kit::Color::white(0.0, 0.2) : kit::Color::clearColor());
}

// ---- Layout ----------------------------------------------------------------

void PHProgressHUD::setOffset(kit::Point offset) {
  KIT_CHECK_MAIN_THREAD();
  if (offset.x == offset_.x && offset.y == offset_.y) return;
  offset_ = offset;
  setNeedsLayout();
}

void PHProgressHUD::setMargin(double margin) {
  KIT_CHECK_MAIN_THREAD();
  if (margin == margin_) return;
  margin_ = margin;
  setNeedsLayout();
}

void PHProgressHUD::setMinSize(kit::Size size) {
  KIT_CHECK_MAIN_THREAD();
  if (size.width == minSize_.width && size.height == minSize_.height) return;
  minSize_ = size;
  setNeedsLayout();
}

void PHProgressHUD::setSquare(bool square) {
  KIT_CHECK_MAIN_THREAD();
  if (square == square_) return;
  square_ = square;
  setNeedsLayout();
}

void PHProgressHUD::layoutSubviews() {
  kit::View::layoutSubviews();
  layoutBezel();
}

void PHProgressHUD::layoutBezel() {
  KIT_CHECK_MAIN_THREAD();
  const kit::Rect area = bounds();
  const double m = margin_;
  const kit::Size most{std::max(0.0, area.width() - 2 * m), std::max(0.0, area.height() - 2 * m)};
  const double widest = std::max(0.0, most.width - 2 * m);

  // The stack between the spacers, each view at its natural size.
  std::vector<kit::Ref<kit::View>> stack;
  if (indicator_) stack.push_back(indicator_);
  stack.push_back(label_);
  stack.push_back(detailsLabel_);
  stack.push_back(button_);
  std::vector<kit::Size> sizes;
  for (const auto& view : stack) {
    kit::Size size = view == detailsLabel_ ? detailsLabel_->sizeThatFits({widest, 0}) : naturalSize(*view);
    if (view == detailsLabel_ && detailsLabel_->text().empty()) size = {0, 0};
    sizes.push_back({std::ceil(size.width), std::ceil(size.height)});
  }
  // 4 points above each view that shows something under another one that
  // does (the spacers never show anything).
  std::vector<double> above(stack.size(), 0.0);
  bool shownAbove = false;
  for (size_t i = 0; i < stack.size(); ++i) {
    const bool shows = showsSomething(*stack[i]);
    if (shows && shownAbove) above[i] = Padding;
    shownAbove = shownAbove || shows;
  }

  double contentWidth = 0, contentHeight = 0;
  for (size_t i = 0; i < stack.size(); ++i) {
    contentWidth = std::max(contentWidth, sizes[i].width);
    contentHeight += above[i] + sizes[i].height;
  }
  kit::Size bezel{contentWidth + 2 * m, contentHeight + 2 * m};
  if (minSize_.width != 0 || minSize_.height != 0) {
    bezel.width = std::max(bezel.width, minSize_.width);
    bezel.height = std::max(bezel.height, minSize_.height);
  }
  if (square_) bezel.width = bezel.height = std::max(bezel.width, bezel.height);
  bezel.width = std::min(bezel.width, most.width);
  bezel.height = std::min(bezel.height, most.height);

  kit::Point center{area.midX() + offset_.x, area.midY() + offset_.y};
  center.x = std::clamp(center.x, area.minX() + m + bezel.width / 2, std::max(area.minX() + m + bezel.width / 2,
                                                                              area.maxX() - m - bezel.width / 2));
  center.y = std::clamp(center.y, area.minY() + m + bezel.height / 2, std::max(area.minY() + m + bezel.height / 2,
                                                                               area.maxY() - m - bezel.height / 2));
  if (bezelView_->bounds().size.width != bezel.width || bezelView_->bounds().size.height != bezel.height) {
    bezelView_->setBounds({0, 0, bezel.width, bezel.height});
  }
  if (bezelView_->center().x != center.x || bezelView_->center().y != center.y) bezelView_->setCenter(center);

  // The spacers share what the stack leaves of the height.
  const double spacer = std::max(m, (bezel.height - contentHeight) / 2);
  topSpacer_->setFrame({bezel.width / 2, 0, 0, spacer});
  double y = spacer;
  for (size_t i = 0; i < stack.size(); ++i) {
    y += above[i];
    const double width = std::min(sizes[i].width, std::max(0.0, bezel.width - 2 * m));
    stack[i]->setFrame({(bezel.width - width) / 2, y, width, sizes[i].height});
    y += sizes[i].height;
  }
  bottomSpacer_->setFrame({bezel.width / 2, y, 0, std::max(0.0, bezel.height - y)});
}

// ---- Superview and orientation ---------------------------------------------

void PHProgressHUD::didMoveToSuperview() {
  kit::View::didMoveToSuperview();
  if (!orientationObserver_ && superview()) {
    kit::Weak<PHProgressHUD> weak = weakSelf<PHProgressHUD>();
    orientationObserver_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
        kit::ApplicationDidChangeStatusBarOrientationNotification, nullptr,
        [weak](const kit::Ref<kit::Notification>&) {
          if (auto self = weak.lock()) self->updateForCurrentOrientation();
        });
  }
  updateForCurrentOrientation();
}

void PHProgressHUD::updateForCurrentOrientation() {
  if (auto parent = superview()) setFrame(parent->bounds());
}
