// KTAnimatedImageView: display-link ticks, the frame buffer and the fetch
// operations that fill it. See kt_animated_image_view.h.
#include "ui/images/kt_animated_image_view.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/memory_statistics.h"
#include "kit/foundation/notification_center.h"
#include "kit/ui/transaction.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_weak_proxy.h"

namespace {

constexpr size_t kBufferFloor = 10 * 1024 * 1024;
constexpr size_t kMaxBufferCount = 512;

std::mutex& randomMutex() {
  static std::mutex mutex;
  return mutex;
}

std::mt19937& randomEngine() {
  static std::mt19937 engine(std::random_device{}());
  return engine;
}

const KTAnimatedImage* asAnimated(const kit::Ref<kit::Image>& image) {
  return dynamic_cast<const KTAnimatedImage*>(image.get());
}

// Fills the buffer ahead of playback, off the main thread. It holds the
// view weakly (only to know it is still there) and the buffer strongly.
class KTAnimatedImageViewFetchOperation : public kit::Operation {
 public:
  KTAnimatedImageViewFetchOperation(kit::Weak<KTAnimatedImageView> view, std::shared_ptr<KTAnimatedImageView::Buffer> buffer,
                                    size_t nextIndex, kit::Ref<kit::Image> curImage)
      : view_(std::move(view)), buffer_(std::move(buffer)), nextIndex_(nextIndex), curImage_(std::move(curImage)) {}

  void main() override {
    const KTAnimatedImage* animated = asAnimated(curImage_);
    if (view_.expired() || isCancelled() || !animated) return;
    Buffer& buffer = *buffer_;
    long incr = ++buffer.incrBufferCount;
    if (incr == 0) {
      buffer.maxBufferCount = KTAnimatedImageView::bufferCountFor(animated->animatedImageBytesPerFrame(),
                                                                  buffer.maxBufferSize);
    }
    const long cap = static_cast<long>(buffer.maxBufferCount.load());
    if (incr > cap) {
      buffer.incrBufferCount = cap;
      incr = cap;
    }
    const size_t total = animated->animatedImageFrameCount();
    if (total == 0) return;
    size_t index = nextIndex_;
    const size_t visits = static_cast<size_t>(std::max(incr, 1L));
    for (size_t i = 0; i < visits; ++i, ++index) {
      if (index >= total) index = 0;
      if (isCancelled() || view_.expired()) break;
      bool missing;
      {
        std::lock_guard lock(buffer.lock);
        missing = buffer.frames.find(index) == buffer.frames.end();
      }
      if (!missing) continue;
      auto frame = animated->animatedImageFrameAtIndex(index);
      if (frame) frame = KT_imageByDecoded(frame);
      if (isCancelled()) break;
      std::lock_guard lock(buffer.lock);
      buffer.frames[index] = frame;
    }
  }

 private:
  using Buffer = KTAnimatedImageView::Buffer;
  kit::Weak<KTAnimatedImageView> view_;
  std::shared_ptr<Buffer> buffer_;
  size_t nextIndex_;
  kit::Ref<kit::Image> curImage_;
};

}  // namespace

KIT_DEFINE_CLASS(KTAnimatedImageView, kit::View) {}

KTAnimatedImageView::KTAnimatedImageView(const kit::Rect& frame)
    : kit::ImageView(frame), runloopMode_(kit::CommonRunLoopModes), buffer_(std::make_shared<Buffer>()) {}

kit::Ref<KTAnimatedImageView> KTAnimatedImageView::make(const kit::Rect& frame) {
  return kit::make<KTAnimatedImageView>(frame);
}

kit::Ref<KTAnimatedImageView> KTAnimatedImageView::withImage(kit::Ref<kit::Image> image,
                                                             kit::Ref<kit::Image> highlightedImage) {
  const kit::Ref<kit::Image>& sized = image ? image : highlightedImage;
  const kit::Size size = sized ? sized->size() : kit::Size{};
  auto view = make({0, 0, size.width, size.height});
  view->setImage(std::move(image));
  if (highlightedImage) view->setHighlightedImage(std::move(highlightedImage));
  return view;
}

KTAnimatedImageView::~KTAnimatedImageView() {
  if (requestQueue_) requestQueue_->cancelAllOperations();
  auto center = kit::NotificationCenter::defaultCenter();
  for (const auto& token : observers_) center->removeObserver(token);
  if (link_) link_->invalidate();
}

// ---- Image kinds --------------------------------------------------------------

KTAnimatedImageView::Kind KTAnimatedImageView::currentKind() const {
  if (isHighlighted()) {
    if (!highlightedAnimationImages_.empty()) return Kind::HighlightedImages;
    if (highlightedImage()) return Kind::HighlightedImage;
  }
  if (!animationImages().empty()) return Kind::Images;
  if (kit::ImageView::image()) return Kind::Image;
  return Kind::None;
}

kit::Ref<kit::Image> KTAnimatedImageView::imageForKind(Kind kind) const {
  switch (kind) {
    case Kind::Image: return kit::ImageView::image();
    case Kind::HighlightedImage: return highlightedImage();
    case Kind::Images: return animationImages().front();
    case Kind::HighlightedImages: return highlightedAnimationImages_.front();
    default: return nullptr;
  }
}

void KTAnimatedImageView::setImage(kit::Ref<kit::Image> image) {
  KIT_CHECK_MAIN_THREAD();
  if (image == kit::ImageView::image()) return;
  stopAnimating();
  if (link_) resetAnimated();
  curFrame_ = nullptr;
  kit::ImageView::setImage(std::move(image));
  imageChanged();
}

void KTAnimatedImageView::setHighlightedImage(kit::Ref<kit::Image> image) {
  KIT_CHECK_MAIN_THREAD();
  if (image == highlightedImage()) return;
  stopAnimating();
  if (link_) resetAnimated();
  curFrame_ = nullptr;
  kit::ImageView::setHighlightedImage(std::move(image));
  imageChanged();
}

void KTAnimatedImageView::setAnimationImages(std::vector<kit::Ref<kit::Image>> images) {
  KIT_CHECK_MAIN_THREAD();
  if (images == animationImages()) return;
  stopAnimating();
  if (link_) resetAnimated();
  curFrame_ = nullptr;
  kit::ImageView::setAnimationImages(std::move(images));
  imageChanged();
}

void KTAnimatedImageView::setHighlightedAnimationImages(std::vector<kit::Ref<kit::Image>> images) {
  KIT_CHECK_MAIN_THREAD();
  if (images == highlightedAnimationImages_) return;
  stopAnimating();
  if (link_) resetAnimated();
  curFrame_ = nullptr;
  highlightedAnimationImages_ = std::move(images);
  imageChanged();
}

void KTAnimatedImageView::setHighlighted(bool highlighted) {
  KIT_CHECK_MAIN_THREAD();
  const Kind before = currentKind();
  // A playing sequence goes on as the sequence of the new state.
  const bool playedSequence =
      currentIsPlayingAnimation_ && (before == Kind::Images || before == Kind::HighlightedImages);
  kit::ImageView::setHighlighted(highlighted);
  if (link_) resetAnimated();
  if (playedSequence) {
    kit::ImageView::stopAnimating();
    currentIsPlayingAnimation_ = false;
  }
  imageChanged();
  if (playedSequence && !currentIsPlayingAnimation_) startAnimating();
}

void KTAnimatedImageView::imageChanged() {
  const Kind kind = currentKind();
  kit::Ref<kit::Image> newImage = imageForKind(kind);
  const KTAnimatedImage* animated = asAnimated(newImage);
  const bool isAnimated = animated && animated->animatedImageFrameCount() > 1;
  if (isAnimated && animated->animatedImageContentsRectAtIndex(0)) {
    curImageHasContentsRect_ = true;
    setContentsRect(*animated->animatedImageContentsRectAtIndex(0), *newImage);
  } else if (curImageHasContentsRect_) {
    const kit::Rect unit{0, 0, 1, 1};
    if (!(layer()->contentsRect() == unit)) {
      kit::Transaction::setDisableActions(true);
      layer()->setContentsRect(unit);
      kit::Transaction::setDisableActions(false);
    }
    curImageHasContentsRect_ = false;
  }
  if (!isAnimated) {
    setNeedsDisplay();
    applyAutoPlay();
    return;
  }
  resetAnimated();
  curAnimatedImage_ = newImage;
  curAnimated_ = animated;
  curFrame_ = newImage;
  totalLoop_ = animated->animatedImageLoopCount();
  totalFrameCount_ = animated->animatedImageFrameCount();
  calcMaxBufferCount();
  setNeedsDisplay();
  applyAutoPlay();
}

// ---- Reset and the buffer's size ---------------------------------------------

void KTAnimatedImageView::resetAnimated() {
  if (!link_) {
    requestQueue_ = kit::OperationQueue::create("KTAnimatedImageView.fetch");
    requestQueue_->setMaxConcurrentOperationCount(1);
    proxy_ = KTImageWeakProxy::proxyWithTarget(self());
    link_ = kit::DisplayLink::make(proxy_->action(&KTAnimatedImageView::step));
    if (!runloopMode_.empty()) link_->addToRunLoop(kit::RunLoop::main(), runloopMode_);
    link_->setPaused(true);
    auto center = kit::NotificationCenter::defaultCenter();
    auto weak = weakSelf<KTAnimatedImageView>();
    observers_.push_back(center->addObserverForName(
        kit::ApplicationDidReceiveMemoryWarningNotification, nullptr, [weak](const kit::Ref<kit::Notification>&) {
          if (auto view = weak.lock()) view->didReceiveMemoryWarning();
        }));
    observers_.push_back(center->addObserverForName(
        kit::ApplicationDidEnterBackgroundNotification, nullptr, [weak](const kit::Ref<kit::Notification>&) {
          if (auto view = weak.lock()) view->didEnterBackground();
        }));
  }
  requestQueue_->cancelAllOperations();
  {
    std::lock_guard lock(buffer_->lock);
    if (!buffer_->frames.empty()) {
      // The old frames are released off the main thread.
      auto old = std::make_shared<std::map<size_t, kit::Ref<kit::Image>>>(std::move(buffer_->frames));
      buffer_->frames.clear();
      kit::Queue::global(kit::Queue::Priority::Background).async([old] { old->clear(); });
    }
  }
  link_->setPaused(true);
  time_ = 0;
  buffer_->curIndex = 0;
  curAnimatedImage_ = nullptr;
  curAnimated_ = nullptr;
  curFrame_ = nullptr;
  curLoop_ = 0;
  totalLoop_ = 0;
  totalFrameCount_ = 1;
  loopEnd_ = false;
  bufferMiss_ = false;
  buffer_->incrBufferCount = 0;
}

size_t KTAnimatedImageView::bufferCountFor(size_t bytesPerFrame, size_t maxBufferSize) {
  const kit::MemoryStatistics memory = kit::currentMemoryStatistics();
  // Signed arithmetic: unreadable free memory (-1) falls to the floor.
  long long budget = std::min(static_cast<long long>(memory.physicalBytes * 0.2),
                              static_cast<long long>(memory.freeBytes * 0.6));
  budget = std::max(budget, static_cast<long long>(kBufferFloor));
  if (maxBufferSize > 0 && budget >= static_cast<long long>(maxBufferSize)) budget = static_cast<long long>(maxBufferSize);
  const size_t perFrame = bytesPerFrame > 0 ? bytesPerFrame : 1024;
  const size_t count = static_cast<size_t>(budget) / perFrame;
  return std::clamp<size_t>(count, 1, kMaxBufferCount);
}

void KTAnimatedImageView::calcMaxBufferCount() {
  if (!curAnimated_) return;
  buffer_->maxBufferCount = bufferCountFor(curAnimated_->animatedImageBytesPerFrame(), buffer_->maxBufferSize);
}

void KTAnimatedImageView::setMemoryWarningRandomSeed(uint32_t seed) {
  std::lock_guard lock(randomMutex());
  randomEngine().seed(seed);
}

size_t KTAnimatedImageView::bufferedFrameCount() const {
  std::lock_guard lock(buffer_->lock);
  return buffer_->frames.size();
}

std::vector<size_t> KTAnimatedImageView::bufferedIndexes() const {
  std::lock_guard lock(buffer_->lock);
  std::vector<size_t> indexes;
  for (const auto& [index, frame] : buffer_->frames) indexes.push_back(index);
  return indexes;
}

// ---- Playing --------------------------------------------------------------------

void KTAnimatedImageView::applyAutoPlay() {
  if (!autoPlayAnimatedImage_) return;
  if (superview() && windowPointer()) startAnimating();
  else stopAnimating();
}

void KTAnimatedImageView::startAnimating() {
  KIT_CHECK_MAIN_THREAD();
  const Kind kind = currentKind();
  if (kind == Kind::Images || kind == Kind::HighlightedImages) {
    const auto& images = kind == Kind::Images ? animationImages() : highlightedAnimationImages_;
    if (!images.empty()) {
      // The image view plays the normal sequence; the highlighted one is
      // played here, so neither replaces the other.
      if (kind == Kind::Images) {
        kit::ImageView::startAnimating();
      } else {
        kit::ImageView::stopAnimating();
        highlightedStart_ = kit::Clock::now();
      }
      currentIsPlayingAnimation_ = true;
    }
    return;
  }
  if (curAnimatedImage_ && link_ && link_->isPaused()) {
    curLoop_ = 0;
    loopEnd_ = false;
    link_->setPaused(false);
    currentIsPlayingAnimation_ = true;
  }
}

void KTAnimatedImageView::stopAnimating() {
  KIT_CHECK_MAIN_THREAD();
  kit::ImageView::stopAnimating();
  if (requestQueue_) requestQueue_->cancelAllOperations();
  if (link_) link_->setPaused(true);
  currentIsPlayingAnimation_ = false;
}

bool KTAnimatedImageView::isAnimating() const { return currentIsPlayingAnimation_; }

kit::Ref<kit::Image> KTAnimatedImageView::displayedImage() const {
  if (curAnimatedImage_ && curFrame_) return curFrame_;
  if (currentIsPlayingAnimation_ && currentKind() == Kind::HighlightedImages) {
    if (auto frame = highlightedFrameNow()) return frame;
  }
  return kit::ImageView::displayedImage();
}

kit::Ref<kit::Image> KTAnimatedImageView::highlightedFrameNow() const {
  // The image view's timing: the cycle lasts animationDuration() (1/30 s a
  // frame when 0) and plays animationRepeatCount() times (0: without end).
  const auto& frames = highlightedAnimationImages_;
  if (frames.empty()) return nullptr;
  const double count = static_cast<double>(frames.size());
  const double cycle = animationDuration() > 0 ? animationDuration() : count / 30.0;
  const double elapsed = std::max(0.0, kit::Clock::now() - highlightedStart_);
  if (animationRepeatCount() > 0 && elapsed >= cycle * animationRepeatCount()) return nullptr;
  const double within = std::fmod(elapsed, cycle);
  const auto index = static_cast<size_t>(within / cycle * count);
  return frames[std::min(index, frames.size() - 1)];
}

void KTAnimatedImageView::didMoveToWindow() {
  kit::ImageView::didMoveToWindow();
  applyAutoPlay();
}

void KTAnimatedImageView::didMoveToSuperview() {
  kit::ImageView::didMoveToSuperview();
  applyAutoPlay();
}

void KTAnimatedImageView::setRunloopMode(const std::string& mode) {
  KIT_CHECK_MAIN_THREAD();
  if (mode == runloopMode_) return;
  if (link_) {
    // A link joins one mode; a new one takes the new mode, as paused as the old.
    const bool paused = link_->isPaused();
    link_->invalidate();
    link_ = kit::DisplayLink::make(proxy_->action(&KTAnimatedImageView::step));
    if (!mode.empty()) link_->addToRunLoop(kit::RunLoop::main(), mode);
    link_->setPaused(paused);
  }
  runloopMode_ = mode;
}

void KTAnimatedImageView::setContentsRect(const kit::Rect& rect, const kit::Image& forImage) {
  kit::Rect unit{0, 0, 1, 1};
  kit::Rect result = unit;
  const kit::Size size = forImage.size();
  if (size.width > 0.01 && size.height > 0.01) {
    const kit::Rect scaled{rect.origin.x / size.width, rect.origin.y / size.height, rect.size.width / size.width,
                           rect.size.height / size.height};
    result = scaled.intersection(unit);
    if (result.isEmpty()) result = unit;
  }
  kit::Transaction::setDisableActions(true);
  layer()->setContentsRect(result);
  kit::Transaction::setDisableActions(false);
}

void KTAnimatedImageView::queueFetch(size_t nextIndex) {
  requestQueue_->addOperation(kit::make<KTAnimatedImageViewFetchOperation>(weakSelf<KTAnimatedImageView>(), buffer_,
                                                                           nextIndex, curAnimatedImage_));
}

void KTAnimatedImageView::step(kit::DisplayLink& link) {
  KIT_CHECK_MAIN_THREAD();
  if (!curAnimated_) return;
  if (loopEnd_) {
    stopAnimating();
    return;
  }
  const size_t curIndex = buffer_->curIndex;
  size_t nextIndex = (curIndex + 1) % totalFrameCount_;
  if (!bufferMiss_) {
    time_ += link.duration() * link.frameInterval();
    double delay = curAnimated_->animatedImageDurationAtIndex(curIndex);
    if (time_ < delay) return;
    time_ -= delay;
    if (nextIndex == 0) {
      ++curLoop_;
      if (totalLoop_ != 0 && curLoop_ >= totalLoop_) {
        loopEnd_ = true;
        stopAnimating();
        setNeedsDisplay();
        return;
      }
    }
    delay = curAnimated_->animatedImageDurationAtIndex(nextIndex);
    if (time_ > delay) time_ = delay;
  }
  bool bufferIsFull = false;
  {
    std::lock_guard lock(buffer_->lock);
    auto found = buffer_->frames.find(nextIndex);
    if (found != buffer_->frames.end()) {
      kit::Ref<kit::Image> frame = found->second;
      const long incr = buffer_->incrBufferCount;
      if (incr >= 0 && static_cast<size_t>(incr) < totalFrameCount_) buffer_->frames.erase(found);
      buffer_->curIndex = nextIndex;
      if (frame) curFrame_ = frame;
      if (auto rect = curAnimated_->animatedImageContentsRectAtIndex(nextIndex)) {
        setContentsRect(*rect, *curAnimatedImage_);
      }
      nextIndex = (nextIndex + 1) % totalFrameCount_;
      bufferMiss_ = false;
      bufferIsFull = buffer_->frames.size() >= totalFrameCount_;
    } else {
      bufferMiss_ = true;
    }
  }
  if (!bufferMiss_) setNeedsDisplay();
  if (!bufferIsFull && requestQueue_->operationCount() == 0) queueFetch(nextIndex);
}

// ---- Jumps, memory warnings, the background ------------------------------------

void KTAnimatedImageView::setCurrentAnimatedImageIndex(size_t index) {
  if (!kit::RunLoop::isMainThread()) {
    kit::bindPost(kit::Queue::main(), weakSelf<KTAnimatedImageView>(),
                  [](KTAnimatedImageView& self, size_t i) { self.setCurrentAnimatedImageIndex(i); })(index);
    return;
  }
  if (!curAnimated_ || index >= curAnimated_->animatedImageFrameCount() || index == buffer_->curIndex) return;
  requestQueue_->cancelAllOperations();
  {
    std::lock_guard lock(buffer_->lock);
    buffer_->frames.clear();
  }
  buffer_->curIndex = index;
  auto frame = curAnimated_->animatedImageFrameAtIndex(index);
  curFrame_ = frame ? KT_imageByDecoded(frame) : nullptr;
  if (auto rect = curAnimated_->animatedImageContentsRectAtIndex(index)) setContentsRect(*rect, *curAnimatedImage_);
  time_ = 0;
  loopEnd_ = false;
  bufferMiss_ = false;
  setNeedsDisplay();
}

void KTAnimatedImageView::didReceiveMemoryWarning() {
  if (!requestQueue_) return;
  requestQueue_->cancelAllOperations();
  auto buffer = buffer_;
  const size_t total = totalFrameCount_;
  requestQueue_->addOperationWithBlock([buffer, total] {
    long draw;
    {
      std::lock_guard lock(randomMutex());
      draw = static_cast<long>(randomEngine()() % 120);
    }
    buffer->incrBufferCount = -60 - draw;
    // The current index is read now, when the operation runs.
    const size_t next = (buffer->curIndex + 1) % std::max<size_t>(total, 1);
    std::lock_guard lock(buffer->lock);
    for (auto it = buffer->frames.begin(); it != buffer->frames.end();) {
      it = it->first == next ? std::next(it) : buffer->frames.erase(it);
    }
  });
}

void KTAnimatedImageView::didEnterBackground() {
  if (!requestQueue_) return;
  requestQueue_->cancelAllOperations();
  const size_t next = (buffer_->curIndex + 1) % std::max<size_t>(totalFrameCount_, 1);
  std::lock_guard lock(buffer_->lock);
  for (auto it = buffer_->frames.begin(); it != buffer_->frames.end();) {
    it = it->first == next ? std::next(it) : buffer_->frames.erase(it);
  }
}

// ---- Archiving ------------------------------------------------------------------

void KTAnimatedImageView::encodeWithCoder(kit::KeyedArchiver& coder) const {
  coder.encodeObject(kit::String::make(runloopMode_), "runloopMode");
  coder.encodeBool(autoPlayAnimatedImage_, "autoPlayAnimatedImage");
  auto archivable = [](const kit::Ref<kit::Image>& image) -> kit::Id {
    const KTAnimatedImage* animated = asAnimated(image);
    if (!animated || animated->animatedImageFrameCount() < 2) return nullptr;
    return kit::KeyedArchiver::canArchiveObject(*image) ? kit::Id(image) : nullptr;
  };
  if (auto image = archivable(kit::ImageView::image())) coder.encodeObject(image, "KTAnimatedImage");
  if (auto image = archivable(highlightedImage())) coder.encodeObject(image, "KTHighlightedAnimatedImage");
}

bool KTAnimatedImageView::initWithCoder(kit::KeyedUnarchiver& coder) {
  auto mode = coder.decodeObjectOfClass<kit::String>("runloopMode");
  runloopMode_ = mode && !mode->utf8().empty() ? mode->utf8() : std::string(kit::CommonRunLoopModes);
  autoPlayAnimatedImage_ =
      coder.containsValueForKey("autoPlayAnimatedImage") ? coder.decodeBoolForKey("autoPlayAnimatedImage") : true;
  if (auto image = coder.decodeObjectOfClass<KTImage>("KTAnimatedImage")) setImage(image);
  if (auto image = coder.decodeObjectOfClass<KTImage>("KTHighlightedAnimatedImage")) setHighlightedImage(image);
  return true;
}
