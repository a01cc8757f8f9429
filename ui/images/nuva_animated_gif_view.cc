// The animated GIF view: starting and pausing the display link with the
// view's visibility, and moving the playhead on each tick. See
// nuva_animated_gif_view.h.
#include "ui/images/nuva_animated_gif_view.h"

#include <cmath>
#include <limits>
#include <numeric>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/format.h"
#include "kit/foundation/process_info.h"
#include "ui/images/nuva_gif_weak_proxy.h"

namespace {

// Delays are compared in hundredths of a second (2.0 / the 0.02 s minimum
// delay gives 100 steps a second).
constexpr double kDelayStepsPerSecond = 2.0 / NUVAAnimatedGIF::kMinimumDelay;
// Sums of tick durations may land a rounding error short of a delay; this
// keeps such a frame from being held for a whole extra tick.
constexpr double kDelayTolerance = 1e-6;

template <class... Args>
void viewLog(NUVALogLevel level, std::string_view fmt, const Args&... args) {
  NUVAAnimatedGIF::logStringFromBlock([&] { return kit::formatString(fmt, args...); }, level);
}

}  // namespace

NUVAAnimatedGIFView::NUVAAnimatedGIFView(const kit::Rect& frame)
    : kit::ImageView(frame), runLoopMode_(defaultRunLoopMode()) {}

kit::Ref<NUVAAnimatedGIFView> NUVAAnimatedGIFView::withImage(kit::Ref<kit::Image> image,
                                                            kit::Ref<kit::Image> highlightedImage) {
  const kit::Size size = image ? image->size() : kit::Size{};
  auto view = make(kit::Rect{0, 0, size.width, size.height});
  view->setImage(std::move(image));
  if (highlightedImage) view->setHighlightedImage(std::move(highlightedImage));
  return view;
}

NUVAAnimatedGIFView::~NUVAAnimatedGIFView() {
  if (displayLink_) displayLink_->invalidate();
}

// ---- Run loop mode ------------------------------------------------------------

std::string NUVAAnimatedGIFView::defaultRunLoopMode() {
  return kit::ProcessInfo::processInfo()->activeProcessorCount() >= 2 ? kit::CommonRunLoopModes
                                                                        : kit::DefaultRunLoopMode;
}

void NUVAAnimatedGIFView::setRunLoopMode(const std::string& mode) {
  if (mode == kit::DefaultRunLoopMode || mode == kit::CommonRunLoopModes) runLoopMode_ = mode;
  else runLoopMode_ = defaultRunLoopMode();
}

// ---- The animated image -------------------------------------------------------

void NUVAAnimatedGIFView::setAnimatedImage(kit::Ref<NUVAAnimatedGIF> animatedImage) {
  if (animatedImage && animatedImage == animatedImage_) return;
  if (animatedImage) {
    // Drop the still image the base view holds, and its highlighting.
    if (kit::ImageView::image()) {
      kit::ImageView::setImage(animatedImage->posterImage());
      kit::ImageView::setImage(nullptr);
    }
    kit::ImageView::setHighlighted(false);
    invalidateIntrinsicContentSize();
  } else {
    stopAnimating();
  }
  animatedImage_ = std::move(animatedImage);
  currentFrame_ = animatedImage_ ? animatedImage_->posterImage() : nullptr;
  currentFrameIndex_ = 0;
  const size_t loopCount = animatedImage_ ? animatedImage_->loopCount() : 0;
  loopCountdown_ = loopCount > 0 ? loopCount : std::numeric_limits<size_t>::max();
  accumulator_ = 0;
  updateShouldAnimate();
  if (shouldAnimate_) startAnimating();
  setNeedsDisplay();
}

// ---- kit::ImageView ---------------------------------------------------------------

const kit::Ref<kit::Image>& NUVAAnimatedGIFView::image() const {
  return animatedImage_ ? currentFrame_ : kit::ImageView::image();
}

void NUVAAnimatedGIFView::setImage(kit::Ref<kit::Image> image) {
  if (image) setAnimatedImage(nullptr);
  kit::ImageView::setImage(std::move(image));
}

void NUVAAnimatedGIFView::setHighlighted(bool highlighted) {
  if (!animatedImage_) kit::ImageView::setHighlighted(highlighted);
}

kit::Ref<kit::Image> NUVAAnimatedGIFView::displayedImage() const {
  return animatedImage_ ? currentFrame_ : kit::ImageView::displayedImage();
}

kit::Size NUVAAnimatedGIFView::intrinsicContentSize() const {
  if (animatedImage_ && image()) return image()->size();
  return kit::ImageView::intrinsicContentSize();
}

void NUVAAnimatedGIFView::startAnimating() {
  if (!animatedImage_) {
    kit::ImageView::startAnimating();
    return;
  }
  if (!displayLink_) {
    if (!weakProxy_) weakProxy_ = NUVAGIFWeakProxy::weakProxyForObject(self());
    displayLink_ = kit::DisplayLink::make(weakProxy_->action(&NUVAAnimatedGIFView::displayDidRefresh));
    displayLink_->addToRunLoop(kit::RunLoop::main(), runLoopMode_);
  }
  // Tick as often as the delays need: every k display frames, where k
  // frames last the greatest common divisor of the delays.
  const double gcd = frameDelayGreatestCommonDivisor();
  const long steps = std::lround(gcd * kDelayStepsPerSecond);
  // Whole display frames in `steps` hundredths, counted exactly.
  const long frames = steps * static_cast<long>(kDisplayRefreshRate) / static_cast<long>(kDelayStepsPerSecond);
  displayLink_->setFrameInterval(static_cast<int>(std::max(1L, frames)));
  displayLink_->setPaused(false);
}

void NUVAAnimatedGIFView::stopAnimating() {
  if (!animatedImage_) {
    kit::ImageView::stopAnimating();
    return;
  }
  if (displayLink_) displayLink_->setPaused(true);
}

bool NUVAAnimatedGIFView::isAnimating() const {
  if (!animatedImage_) return kit::ImageView::isAnimating();
  return displayLink_ && !displayLink_->isPaused();
}

double NUVAAnimatedGIFView::frameDelayGreatestCommonDivisor() const {
  long divisor = 0;
  for (const auto& [index, delay] : animatedImage_->delayTimesForIndexes()) {
    (void)index;
    divisor = std::gcd(divisor, std::lround(static_cast<float>(delay) * kDelayStepsPerSecond));
  }
  return static_cast<double>(divisor) / kDelayStepsPerSecond;
}

// ---- Visibility -------------------------------------------------------------------

void NUVAAnimatedGIFView::updateShouldAnimate() {
  shouldAnimate_ = animatedImage_ && windowPointer() && superview() && !isHidden() && alpha() > 0.0;
}

void NUVAAnimatedGIFView::startOrStopForVisibility() {
  updateShouldAnimate();
  if (shouldAnimate_) startAnimating();
  else stopAnimating();
}

void NUVAAnimatedGIFView::didMoveToSuperview() {
  kit::ImageView::didMoveToSuperview();
  startOrStopForVisibility();
}

void NUVAAnimatedGIFView::didMoveToWindow() {
  kit::ImageView::didMoveToWindow();
  startOrStopForVisibility();
}

void NUVAAnimatedGIFView::setAlpha(double alpha) {
  kit::ImageView::setAlpha(alpha);
  startOrStopForVisibility();
}

void NUVAAnimatedGIFView::setHidden(bool hidden) {
  kit::ImageView::setHidden(hidden);
  startOrStopForVisibility();
}

// ---- Ticks ------------------------------------------------------------------------

void NUVAAnimatedGIFView::displayDidRefresh(kit::DisplayLink& displayLink) {
  if (!shouldAnimate_) {
    viewLog(NUVALogLevel::Warn, "Trying to animate image when we shouldn't: %@", self());
    return;
  }
  const size_t frameCount = animatedImage_->frameCount();
  if (currentFrameIndex_ >= frameCount && loopCountdown_ == 0) {
    // Every pass has played: the last frame stays.
    stopAnimating();
    return;
  }
  const auto& delays = animatedImage_->delayTimesForIndexes();
  auto found = delays.find(currentFrameIndex_);
  if (found == delays.end()) {
    // A frame that failed to decode has no delay and is passed over; past
    // the last frame that ends the pass like any other.
    ++currentFrameIndex_;
    if (currentFrameIndex_ >= frameCount) completePass();
    return;
  }
  const double delay = found->second;

  kit::Ref<kit::Image> image = animatedImage_->imageLazilyCachedAtIndex(currentFrameIndex_);
  if (!image) {
    viewLog(NUVALogLevel::Debug, "Waiting for frame %lu for animated image: %@", currentFrameIndex_, animatedImage_);
    return;
  }
  viewLog(NUVALogLevel::Verbose, "Showing frame %lu for animated image: %@", currentFrameIndex_, animatedImage_);
  currentFrame_ = image;
  if (needsDisplayWhenImageBecomesAvailable_) {
    setNeedsDisplay();
    needsDisplayWhenImageBecomesAvailable_ = false;
  }

  accumulator_ += displayLink.duration() * displayLink.frameInterval();
  while (accumulator_ >= delay - kDelayTolerance) {
    accumulator_ = std::max(0.0, accumulator_ - delay);
    ++currentFrameIndex_;
    if (currentFrameIndex_ >= frameCount && !completePass()) return;
    needsDisplayWhenImageBecomesAvailable_ = true;
  }
}

bool NUVAAnimatedGIFView::completePass() {
  --loopCountdown_;
  if (loopCompletionBlock_) loopCompletionBlock_(loopCountdown_);
  if (loopCountdown_ == 0) {
    stopAnimating();
    return false;
  }
  currentFrameIndex_ = 0;
  return true;
}
