// KTAnimatedImageView: an image view that plays any image answering
// KTAnimatedImage. A display link on the main run loop (aimed at the view
// through a weak proxy) advances the frames; a background operation queue,
// one fetch at a time, decodes frames ahead of playback into a buffer whose
// size comes from the device's memory, so no frame is decoded on the main
// thread while playing. Memory warnings and entering the background shrink
// the buffer to the next frame. Plain images and animation-image arrays
// behave as in kit::ImageView.
//
//   auto view = KTAnimatedImageView::withImage(KTImage::imageWithData(gif));
//   window->addSubview(view);   // auto-play starts it
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kit/dispatch/operation_queue.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/ui/display_link.h"
#include "kit/ui/image_view.h"
#include "ui/images/kt_image.h"

class KTImageWeakProxy;

class KTAnimatedImageView : public kit::ImageView, public kit::Coding {
  KIT_OBJECT(KTAnimatedImageView)

 public:
  // What the fetch operations share with the view: the frame buffer and the
  // counts both sides write.
  struct Buffer {
    std::mutex lock;
    // A nil image stands for a frame that could not be had.
    std::map<size_t, kit::Ref<kit::Image>> frames;
    std::atomic<long> incrBufferCount{0};
    std::atomic<size_t> maxBufferCount{1};
    std::atomic<size_t> maxBufferSize{0};
    std::atomic<size_t> curIndex{0};
  };

  static kit::Ref<KTAnimatedImageView> make(const kit::Rect& frame = {});
  // A view the size of the image (or of the highlighted image without one).
  static kit::Ref<KTAnimatedImageView> withImage(kit::Ref<kit::Image> image,
                                                 kit::Ref<kit::Image> highlightedImage = nullptr);
  explicit KTAnimatedImageView(const kit::Rect& frame = {});
  ~KTAnimatedImageView() override;

  // Start and stop with the view's presence in a window (default true).
  bool autoPlayAnimatedImage() const { return autoPlayAnimatedImage_; }
  void setAutoPlayAnimatedImage(bool v) { autoPlayAnimatedImage_ = v; }
  size_t currentAnimatedImageIndex() const { return buffer_->curIndex; }
  // Shows that frame at once (decoded here); ignored without an animated
  // image, at or beyond its frame count, or for the current index.
  void setCurrentAnimatedImageIndex(size_t index);
  bool currentIsPlayingAnimation() const { return currentIsPlayingAnimation_; }
  const std::string& runloopMode() const { return runloopMode_; }
  void setRunloopMode(const std::string& mode);
  // Bytes; 0 sizes the buffer from the device's memory.
  size_t maxBufferSize() const { return buffer_->maxBufferSize; }
  void setMaxBufferSize(size_t bytes) { buffer_->maxBufferSize = bytes; }

  // ---- kit::ImageView
  void setImage(kit::Ref<kit::Image> image) override;
  void setHighlightedImage(kit::Ref<kit::Image> image);
  void setAnimationImages(std::vector<kit::Ref<kit::Image>> images);
  const std::vector<kit::Ref<kit::Image>>& highlightedAnimationImages() const { return highlightedAnimationImages_; }
  void setHighlightedAnimationImages(std::vector<kit::Ref<kit::Image>> images);
  void setHighlighted(bool highlighted) override;
  void startAnimating() override;
  void stopAnimating() override;
  bool isAnimating() const override;
  kit::Ref<kit::Image> displayedImage() const override;
  void didMoveToWindow() override;
  void didMoveToSuperview() override;

  // Keys "runloopMode", "autoPlayAnimatedImage", "KTAnimatedImage" and
  // "KTHighlightedAnimatedImage".
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

  // One tick of the display link.
  void step(kit::DisplayLink& link);

  // ---- For tests and tools
  // The frame now shown.
  const kit::Ref<kit::Image>& currentFrame() const { return curFrame_; }
  const kit::Ref<kit::DisplayLink>& displayLink() const { return link_; }
  const kit::Ref<kit::OperationQueue>& requestQueue() const { return requestQueue_; }
  size_t maxBufferCount() const { return buffer_->maxBufferCount; }
  size_t bufferedFrameCount() const;
  std::vector<size_t> bufferedIndexes() const;
  // The budget in frames for an image of `bytesPerFrame` under the memory
  // statistics kit reports now (1 to 512).
  static size_t bufferCountFor(size_t bytesPerFrame, size_t maxBufferSize);
  // Seeds the random shrink of the fetch count after memory warnings.
  static void setMemoryWarningRandomSeed(uint32_t seed);

 private:
  enum class Kind { None = 0, Image, HighlightedImage, Images, HighlightedImages };
  Kind currentKind() const;
  kit::Ref<kit::Image> imageForKind(Kind kind) const;
  void imageChanged();
  void resetAnimated();
  void calcMaxBufferCount();
  void applyAutoPlay();
  void setContentsRect(const kit::Rect& rect, const kit::Image& forImage);
  void didReceiveMemoryWarning();
  void didEnterBackground();
  void queueFetch(size_t nextIndex);

  bool autoPlayAnimatedImage_ = true;
  bool currentIsPlayingAnimation_ = false;
  std::string runloopMode_;
  // The highlighted sequence plays here, apart from the image view's own
  // (normal) sequence: when it started, and the frame due now.
  std::vector<kit::Ref<kit::Image>> highlightedAnimationImages_;
  double highlightedStart_ = 0;
  kit::Ref<kit::Image> highlightedFrameNow() const;

  kit::Ref<kit::Image> curAnimatedImage_;
  const KTAnimatedImage* curAnimated_ = nullptr;  // curAnimatedImage_ as an animated image
  std::shared_ptr<Buffer> buffer_;
  kit::Ref<kit::OperationQueue> requestQueue_;
  kit::Ref<kit::DisplayLink> link_;
  kit::Ref<KTImageWeakProxy> proxy_;
  std::vector<kit::Id> observers_;
  double time_ = 0;
  kit::Ref<kit::Image> curFrame_;
  size_t totalFrameCount_ = 1;
  bool loopEnd_ = false;
  size_t curLoop_ = 0, totalLoop_ = 0;
  bool bufferMiss_ = false;
  bool curImageHasContentsRect_ = false;
};
