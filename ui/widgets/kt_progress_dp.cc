// The login view's progress dialog. See kt_progress_dp.h.
#include "ui/widgets/kt_progress_dp.h"

#include <limits>
#include <numbers>

#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/ui/animation.h"
#include "kit/ui/font.h"

KTProgressDP::KTProgressDP(const kit::Rect& frame) : kit::View(frame) { initLoadView(); }

KTProgressDP::~KTProgressDP() {
  // The run loop holds the timer; its callback only holds this view weakly.
  if (auto timer = timer_.lock()) timer->invalidate();
}

void KTProgressDP::initLoadView() {
  const kit::Rect bounds = this->bounds();

  auto dot = kit::Layer::make();
  dot->setBounds({0, 0, DotSize, DotSize});
  dot->setPosition({bounds.size.width / 2, DotTop});
  dot->setCornerRadius(DotSize / 2);
  dot->setMasksToBounds(true);
  dot->setBackgroundColor(kit::Color::grayColor());
  dot->setTransform(kit::Transform3D::makeScale(0, 0, 0));
  dotLayer_ = dot;

  auto ring = kit::ReplicatorLayer::make();
  ring->setFrame(bounds);
  ring->setInstanceCount(DotCount);
  ring->setInstanceTransform(kit::Transform3D::makeRotation(2 * std::numbers::pi / DotCount, 0, 0, 1));
  // The delay is worked out in single precision, as the pulse's duration.
  ring->setInstanceDelay(PulseDuration / static_cast<float>(DotCount));
  ring->addSublayer(dot);
  layer()->addSublayer(ring);
  replayer_ = ring;
}

void KTProgressDP::showLoadView() {
  auto dot = dotLayer_.lock();
  if (!dot) return;
  auto pulse = kit::BasicAnimation::withKeyPath("transform.scale");
  pulse->setFromValue(1.0);
  pulse->setToValue(0.0);
  pulse->setDuration(PulseDuration);
  pulse->setTimingFunction(kit::TimingEaseInEaseOut);
  pulse->setRepeatCount(std::numeric_limits<float>::max());
  dot->addAnimation(pulse);
}

void KTProgressDP::show() {
  KIT_CHECK_MAIN_THREAD();
  showLoadView();
}

void KTProgressDP::showWithTitle(std::string_view title) {
  KIT_CHECK_MAIN_THREAD();
  title_ = std::string(title);
  show();

  auto ring = replayer_.lock();
  const kit::Rect ringFrame = ring ? ring->frame() : bounds();
  auto caption = kit::Label::make();
  caption->setTextColor(kit::Color::grayColor());
  caption->setFrame({0, ringFrame.maxY() + CaptionGap, 0, 0});
  caption->setText(title_ + "...");
  caption->setFont(kit::Font::systemFont(CaptionFontSize));
  caption->sizeToFit();
  caption->setCenter({ringFrame.size.width / 2, caption->center().y});
  addSubview(caption);
  label_ = caption;
  caption->setTag(0);

  if (auto old = timer_.lock()) old->invalidate();
  kit::Weak<KTProgressDP> weak = weakSelf<KTProgressDP>();
  timer_ = kit::Timer::scheduled(CaptionTick, true, [weak](kit::Timer&) {
    if (auto self = weak.lock()) self->changeLable();
  });
}

void KTProgressDP::changeLable() {
  KIT_CHECK_MAIN_THREAD();
  auto caption = label_.lock();
  if (!caption) return;
  switch (caption->tag()) {
    case 0:
      caption->setText(title_ + "...");
      caption->setTag(1);
      break;
    case 1:
      caption->setText(title_ + "..");
      caption->setTag(2);
      break;
    case 2:
      caption->setText(title_ + ".");
      caption->setTag(0);
      break;
    default:
      break;
  }
}

void KTProgressDP::dimssLoadView() {
  if (auto dot = dotLayer_.lock()) dot->removeAllAnimations();
  if (auto ring = replayer_.lock()) ring->removeFromSuperlayer();
}

void KTProgressDP::dismiss() {
  KIT_CHECK_MAIN_THREAD();
  dimssLoadView();
  if (auto caption = label_.lock()) caption->removeFromSuperview();
  if (auto timer = timer_.lock()) timer->invalidate();
  timer_.reset();
}
