// The web pages' loading line. See kt_web_progress_layer.h.
#include "ui/widgets/kt_web_progress_layer.h"

#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/graphics/color.h"
#include "kit/graphics/path.h"
#include "kit/ui/screen.h"
#include "kit/ui/transaction.h"
#include "ui/widgets/ns_timer_kt_addition.h"

namespace {

// The line: 2 points thick, orange, along y = 2 of the layer.
constexpr double LineWidth = 2, LineY = 2;

// Sets the stroke end with implicit animations off.
void setStrokeEndAtOnce(kit::ShapeLayer& layer, double end) {
  kit::Transaction::begin();
  kit::Transaction::setDisableActions(true);
  layer.setStrokeEnd(end);
  kit::Transaction::commit();
}

}  // namespace

kit::Ref<KTWebProgressLayer> KTWebProgressLayer::layerWithFrame(const kit::Rect& frame) {
  auto layer = kit::make<KTWebProgressLayer>();
  layer->makeTimer();
  layer->setFrame(frame);
  return layer;
}

KTWebProgressLayer::KTWebProgressLayer() {
  setAnchorPoint(kit::Point{0, 0.5});
  setLineWidth(LineWidth);
  setStrokeColor(kit::Color::rgba(1.0, 127 / 255.0, 0.0, 1.0));
  auto path = kit::Path::create();
  path->moveTo(kit::Point{0, LineY});
  path->lineTo(kit::Point{kit::Screen::main()->bounds().width(), LineY});
  setPath(path);
  setStrokeEnd(0);
}

KTWebProgressLayer::~KTWebProgressLayer() { closeTimer(); }

void KTWebProgressLayer::makeTimer() {
  if (timer_ || timerClosed_) return;
  kit::Weak<KTWebProgressLayer> weak = weakSelf<KTWebProgressLayer>();
  timer_ = NSTimerKTAddition::wy_scheduledTimerWithTimeInterval(TickInterval, true, [weak](kit::Timer&) {
    if (auto self = weak.lock()) self->pathChanged();
  });
  NSTimerKTAddition::pause(*timer_);
}

void KTWebProgressLayer::pathChanged() {
  KIT_CHECK_MAIN_THREAD();
  if (strokeEnd() >= WaitAt) {
    if (timer_) NSTimerKTAddition::pause(*timer_);
    return;
  }
  setStrokeEndAtOnce(*this, strokeEnd() + plusWidth_);
  if (strokeEnd() > SlowFrom) plusWidth_ = SlowStep;
}

void KTWebProgressLayer::startLoad() {
  KIT_CHECK_MAIN_THREAD();
  makeTimer();
  if (timer_) NSTimerKTAddition::resumeWithTimeInterval(*timer_, TickInterval);
}

void KTWebProgressLayer::finishedLoad() {
  KIT_CHECK_MAIN_THREAD();
  closeTimer();
  setStrokeEndAtOnce(*this, 1.0);
  // The layer stays until its last moment on screen, as the page expects.
  kit::Queue::main().after(HideDelay, [self = selfAs<KTWebProgressLayer>()] {
    self->setHidden(true);
    self->removeFromSuperlayer();
  });
}

void KTWebProgressLayer::closeTimer() {
  timerClosed_ = true;
  if (!timer_) return;
  timer_->invalidate();
  timer_.reset();
}
