// NUVAAnimatedGIF: one animated GIF, built from its bytes, that hands out
// decoded frames on demand to the view that plays it.
//
// At creation it reads every frame's delay and the loop count from the
// file's frame table and decodes one frame: the first that decodes (the
// poster image, always kept). So creating it costs about one frame,
// whatever the frame count. Afterwards
// imageLazilyCachedAtIndex answers from a bounded cache of decoded frames
// and, as a side effect, queues the frames just ahead of the playhead for
// decoding on a private serial queue; each decoded frame is handed to the
// main queue and put in the cache there. GIFs of 10 MB or less decoded are
// cached whole, larger ones as a window of 5 (up to 75 MB) or 1 frames.
//
// Memory warnings (kit::ApplicationDidReceiveMemoryWarningNotification)
// shrink the cache of every live instance to 1 frame; for the first three
// warnings it grows back to 2 frames after 2 s and loses the cap 3 s later.
// Those delayed calls go through a weak proxy, so they never keep the
// object alive, and the object cancels them when it goes.
//
// Everything but decoding runs on the main thread: creation, requests,
// cache changes and memory warnings (a warning posted elsewhere is handed
// to the main queue). Logging goes to a class-wide block, off by default.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

#include "kit/dispatch/queue.h"
#include "kit/foundation/data.h"
#include "kit/foundation/notification_center.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_source.h"

class NUVAGIFWeakProxy;

// How much the GIF classes log: a message is passed to the log block when
// its level is at most the installed level.
enum class NUVALogLevel : unsigned long { None = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Verbose = 5 };

class NUVAAnimatedGIF : public kit::Object {
 public:
  using LogBlock = std::function<void(const std::string& message, NUVALogLevel level)>;

  // Frames delayed less than this (as single precision, so below
  // 0.019999881) get the default delay.
  static constexpr double kMinimumDelay = 0.02;
  static constexpr double kDefaultDelay = 0.1;

  // ---- Creation: nil for missing or empty data, data that image I/O
  // cannot read, data that is not a GIF, or a GIF without frames.
  // An optimal cache size of 0 chooses the size from the decoded size.
  static kit::Ref<NUVAAnimatedGIF> initWithAnimatedGIFData(const kit::Ref<kit::Data>& data,
                                                          size_t optimalFrameCacheSize, bool predrawingEnabled);
  // The same with a chosen cache size and predrawing on.
  static kit::Ref<NUVAAnimatedGIF> initWithAnimatedGIFData(const kit::Ref<kit::Data>& data);
  static kit::Ref<NUVAAnimatedGIF> animatedImageWithGIFData(const kit::Ref<kit::Data>& data);
  // The plain initialiser: there is no GIF without data, so it gives nil
  // and logs (Error) that initWithAnimatedGIFData is the one to use.
  static kit::Ref<NUVAAnimatedGIF> make();

  ~NUVAAnimatedGIF() override;

  // ---- What creation found
  const kit::Ref<kit::Data>& data() const { return data_; }
  const kit::Ref<kit::Image>& posterImage() const { return posterImage_; }
  size_t posterImageFrameIndex() const { return posterImageFrameIndex_; }
  kit::Size size() const { return size_; }
  // 0 loops forever.
  size_t loopCount() const { return loopCount_; }
  // Seconds per frame; frames before the poster that failed to decode have
  // no entry.
  const std::map<size_t, double>& delayTimesForIndexes() const { return delayTimesForIndexes_; }
  // Frames in the file, failed ones included.
  size_t frameCount() const { return frameCount_; }
  size_t frameCacheSizeOptimal() const { return frameCacheSizeOptimal_; }
  bool isPredrawingEnabled() const { return predrawingEnabled_; }

  // ---- The cache
  // The size in force: the optimal size, lowered by the caller's maximum
  // and by the memory-warning maximum when they are set (non-zero).
  size_t frameCacheSizeCurrent() const;
  // A cap the caller may set; 0 is none. Lowering it purges at once.
  size_t frameCacheSizeMax() const { return frameCacheSizeMax_; }
  void setFrameCacheSizeMax(size_t size);

  // The decoded frame at `index` when it is cached, else nil; queues the
  // frames around it for decoding and purges what is no longer needed.
  // Main thread; the view calls it once per tick.
  kit::Ref<kit::Image> imageLazilyCachedAtIndex(size_t index);

  // Frames in the cache, and frames queued for decoding that have not
  // arrived (a frame that fails to decode stays queued). Main thread.
  const std::set<size_t>& cachedFrameIndexes() const { return cachedFrameIndexes_; }
  const std::set<size_t>& requestedFrameIndexes() const { return requestedFrameIndexes_; }
  // The decoding queue; nil until the first frame is queued.
  const kit::Ref<kit::Queue>& serialQueue() const { return serialQueue_; }

  // ---- Class operations
  // The size of a still image or of an animated GIF; zero for nil, and
  // zero with a logged complaint (Error) for anything else.
  static kit::Size sizeForImage(const kit::Id& image);
  // The image redrawn into a fresh device-RGB bitmap in the layout drawing
  // reads (premultiplied alpha first, or no alpha, in 32-bit little-endian
  // words), so that showing it needs no conversion; the image itself when
  // that fails.
  static kit::Ref<kit::Image> predrawnImageFromImage(const kit::Ref<kit::Image>& image);
  // Installs the log sink for every instance; an empty block logs nothing.
  static void setLogBlock(LogBlock block, NUVALogLevel level);
  // Makes the message and passes it on only when a sink takes that level.
  static void logStringFromBlock(const std::function<std::string()>& stringBlock, NUVALogLevel level);

  // Shrinks the cache after a memory warning (see the file comment).
  void didReceiveMemoryWarning(const kit::Ref<kit::Notification>& notification);

  // The base description, " size={w, h}" and " frameCount=n".
  std::string description() const override;

  // Use the factories; public for make.
  NUVAAnimatedGIF(kit::Ref<kit::Data> data, bool predrawingEnabled);

 private:
  bool load(size_t optimalFrameCacheSize);
  void setFrameCacheSizeMaxInternal(size_t size);
  std::set<size_t> frameIndexesToCache() const;
  void addFrameIndexesToCache(const std::set<size_t>& indexes);
  void purgeFrameCacheIfNeeded();
  void growFrameCacheSizeAfterMemoryWarning(size_t size);
  void resetFrameCacheSizeMaxInternal();
  // Decodes one frame (on any thread): the frame wrapped as an image,
  // predrawn when asked; nil when it fails.
  static kit::Ref<kit::Image> imageAtIndex(kit::ImageSource& source, size_t index, bool predraw);
  static void registerForMemoryWarnings();

  kit::Ref<kit::Data> data_;
  bool predrawingEnabled_ = true;
  kit::Ref<kit::ImageSource> imageSource_;
  kit::Ref<kit::Image> posterImage_;
  size_t posterImageFrameIndex_ = 0;
  kit::Size size_;
  size_t loopCount_ = 0;
  std::map<size_t, double> delayTimesForIndexes_;
  size_t frameCount_ = 0;
  size_t frameCacheSizeOptimal_ = 0;
  size_t frameCacheSizeMax_ = 0;
  size_t frameCacheSizeMaxInternal_ = 0;
  size_t requestedFrameIndex_ = 0;
  std::map<size_t, kit::Ref<kit::Image>> cachedFramesForIndexes_;
  std::set<size_t> cachedFrameIndexes_;
  std::set<size_t> requestedFrameIndexes_;
  size_t memoryWarningCount_ = 0;
  kit::Ref<kit::Queue> serialQueue_;
  kit::Ref<NUVAGIFWeakProxy> weakProxy_;
};
