// The animated GIF model: reading the GIF at creation, the frame cache and
// its decoding ahead, memory warnings and the class-wide log sink. See
// nuva_animated_gif.h.
#include "ui/images/nuva_animated_gif.h"

#include <algorithm>
#include <cfloat>
#include <mutex>
#include <vector>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/once.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/graphics/color_space.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image_io_objects.h"
#include "kit/graphics/type_identifiers.h"
#include "ui/images/nuva_gif_weak_proxy.h"

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;
// Decoded sizes up to which the whole GIF is cached, and up to which a
// window of kDefaultCacheFrames is; beyond that, kLowMemoryCacheFrames.
constexpr double kCacheEverythingMegabytes = 10;
constexpr double kDefaultCacheMegabytes = 75;
constexpr size_t kDefaultCacheFrames = 5;
constexpr size_t kLowMemoryCacheFrames = 1;
constexpr size_t kGrowthCacheFrames = 2;
constexpr double kGrowDelay = 2.0;
constexpr double kResetDelay = 3.0;
// Memory warnings after which the cache may grow back.
constexpr size_t kGrowthAttempts = 3;

constexpr const char* kGrowSelector = "growFrameCacheSizeAfterMemoryWarning:";
constexpr const char* kResetSelector = "resetFrameCacheSizeMaxInternal";

// The log sink shared by every instance.
struct LogSink {
  std::mutex mutex;
  NUVAAnimatedGIF::LogBlock block;
  NUVALogLevel level = NUVALogLevel::None;
};
LogSink& logSink() {
  static kit::NoDestructor<LogSink> sink;
  return *sink;
}

// Every live instance, held weakly, for memory warnings.
struct InstanceTable {
  std::mutex mutex;
  std::vector<kit::Weak<NUVAAnimatedGIF>> instances;
};
InstanceTable& instanceTable() {
  static kit::NoDestructor<InstanceTable> table;
  return *table;
}

template <class... Args>
void gifLog(NUVALogLevel level, std::string_view fmt, const Args&... args) {
  NUVAAnimatedGIF::logStringFromBlock([&] { return kit::formatString(fmt, args...); }, level);
}

}  // namespace

// ---- Creation ---------------------------------------------------------------

NUVAAnimatedGIF::NUVAAnimatedGIF(kit::Ref<kit::Data> data, bool predrawingEnabled)
    : data_(std::move(data)), predrawingEnabled_(predrawingEnabled) {}

NUVAAnimatedGIF::~NUVAAnimatedGIF() {
  if (weakProxy_) kit::RunLoop::main().cancelPreviousPerformRequests(weakProxy_.get());
}

kit::Ref<NUVAAnimatedGIF> NUVAAnimatedGIF::make() {
  auto gif = initWithAnimatedGIFData(nullptr);
  gifLog(NUVALogLevel::Error, "Use `initWithAnimatedGIFData` and supply the animated GIF data as an argument");
  return gif;
}

kit::Ref<NUVAAnimatedGIF> NUVAAnimatedGIF::animatedImageWithGIFData(const kit::Ref<kit::Data>& data) {
  return initWithAnimatedGIFData(data);
}

kit::Ref<NUVAAnimatedGIF> NUVAAnimatedGIF::initWithAnimatedGIFData(const kit::Ref<kit::Data>& data) {
  return initWithAnimatedGIFData(data, 0, true);
}

kit::Ref<NUVAAnimatedGIF> NUVAAnimatedGIF::initWithAnimatedGIFData(const kit::Ref<kit::Data>& data,
                                                                 size_t optimalFrameCacheSize,
                                                                 bool predrawingEnabled) {
  if (!data || data->empty()) {
    gifLog(NUVALogLevel::Error, "No animated GIF data supplied.");
    return nullptr;
  }
  auto gif = kit::make<NUVAAnimatedGIF>(data, predrawingEnabled);
  if (!gif->load(optimalFrameCacheSize)) return nullptr;
  registerForMemoryWarnings();
  InstanceTable& table = instanceTable();
  std::lock_guard lock(table.mutex);
  std::erase_if(table.instances, [](const kit::Weak<NUVAAnimatedGIF>& w) { return w.expired(); });
  table.instances.push_back(gif);
  return gif;
}

bool NUVAAnimatedGIF::load(size_t optimalFrameCacheSize) {
  kit::ImageSourceOptions options;
  options.shouldCache = false;
  imageSource_ = kit::ImageSource::create(data_->span(), options);
  if (!imageSource_) {
    gifLog(NUVALogLevel::Error, "Failed to create an image source for animated GIF data %@", data_);
    return false;
  }
  const std::string type = imageSource_->type();
  if (!kit::typeConformsTo(type, kit::UTType::GIF)) {
    gifLog(NUVALogLevel::Error, "Supplied data is of type %@ and doesn't seem to be GIF data %@", type, data_);
    return false;
  }
  const kit::FileProperties fileProperties = imageSource_->properties();
  loopCount_ = static_cast<size_t>(std::max(0, fileProperties.gifLoopCount.value_or(0)));

  // The frame table gives every frame's delay without decoding it; only the
  // poster (the first frame that decodes) is decoded here. The others are
  // decoded when the playhead nears them, and one that fails then stays
  // requested.
  const size_t count = imageSource_->count();
  size_t skipped = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!posterImage_) {
      kit::Ref<kit::Bitmap> bitmap = imageSource_->createImageAtIndex(i);
      if (!bitmap) {
        ++skipped;
        gifLog(NUVALogLevel::Info, "Dropping frame %lu because failed to decode it with image source %@ (%@)", i,
               imageSource_, imageSource_->lastError());
        continue;
      }
      kit::Ref<kit::Image> image = kit::Image::withBitmap(bitmap);
      if (!image) {
        ++skipped;
        gifLog(NUVALogLevel::Info, "Dropping frame %lu because valid bitmap %@ did result in nil image.", i, bitmap);
        continue;
      }
      posterImage_ = image;
      size_ = image->size();
      posterImageFrameIndex_ = i;
      cachedFramesForIndexes_[i] = image;
      cachedFrameIndexes_.insert(i);
    }

    const std::optional<kit::ImageProperties> properties = imageSource_->propertiesAtIndex(i);
    std::optional<double> delay;
    if (properties) delay = properties->gifUnclampedDelayTime ? properties->gifUnclampedDelayTime : properties->gifDelayTime;
    if (!delay) {
      const kit::Id propertiesText = properties ? kit::Id(kit::toDictionary(*properties)) : nullptr;
      if (i == 0) {
        gifLog(NUVALogLevel::Info, "Falling back to default delay time for first frame %@ because none found in GIF properties %@",
               posterImage_, propertiesText);
        delay = kDefaultDelay;
      } else {
        gifLog(NUVALogLevel::Info,
               "Falling back to preceding delay time for frame %lu because none found in GIF properties %@", i,
               propertiesText);
        // A skipped predecessor has no delay: that reads as 0, raised below.
        auto previous = delayTimesForIndexes_.find(i - 1);
        delay = previous == delayTimesForIndexes_.end() ? 0.0 : previous->second;
      }
    }
    if (static_cast<float>(*delay) < static_cast<float>(kMinimumDelay) - FLT_EPSILON) {
      gifLog(NUVALogLevel::Info, "Rounding frame %lu's `delayTime` from %f up to default %f (minimum supported: %f).", i,
             *delay, kDefaultDelay, kMinimumDelay);
      delay = kDefaultDelay;
    }
    delayTimesForIndexes_[i] = *delay;
  }
  frameCount_ = count;

  if (frameCount_ == 0 || !posterImage_) {
    // Also when frames exist but none decoded: there is nothing to show.
    gifLog(NUVALogLevel::Info, "Failed to create any valid frames for GIF with properties %@",
           kit::toDictionary(fileProperties));
    return false;
  }
  if (frameCount_ == 1) {
    gifLog(NUVALogLevel::Info, "Created valid GIF but with only a single frame. Image properties: %@",
           kit::toDictionary(fileProperties));
  }

  if (optimalFrameCacheSize == 0) {
    const kit::Bitmap& poster = *posterImage_->bitmap();
    const double megabytes = static_cast<double>(poster.bytesPerRow()) * static_cast<double>(poster.height()) *
                             static_cast<double>(frameCount_ - skipped) / kMegabyte;
    if (megabytes <= kCacheEverythingMegabytes) optimalFrameCacheSize = frameCount_;
    else if (megabytes <= kDefaultCacheMegabytes) optimalFrameCacheSize = kDefaultCacheFrames;
    else optimalFrameCacheSize = kLowMemoryCacheFrames;
  }
  frameCacheSizeOptimal_ = std::min(optimalFrameCacheSize, frameCount_);
  weakProxy_ = NUVAGIFWeakProxy::weakProxyForObject(self());
  return true;
}

// ---- The cache --------------------------------------------------------------

size_t NUVAAnimatedGIF::frameCacheSizeCurrent() const {
  size_t size = frameCacheSizeOptimal_;
  if (frameCacheSizeMax_ > 0) size = std::min(size, frameCacheSizeMax_);
  if (frameCacheSizeMaxInternal_ > 0) size = std::min(size, frameCacheSizeMaxInternal_);
  return size;
}

void NUVAAnimatedGIF::setFrameCacheSizeMax(size_t size) {
  if (size == frameCacheSizeMax_) return;
  const bool willShrink = size < frameCacheSizeCurrent();
  frameCacheSizeMax_ = size;
  if (willShrink) purgeFrameCacheIfNeeded();
}

void NUVAAnimatedGIF::setFrameCacheSizeMaxInternal(size_t size) {
  if (size == frameCacheSizeMaxInternal_) return;
  const bool willShrink = size < frameCacheSizeCurrent();
  frameCacheSizeMaxInternal_ = size;
  if (willShrink) purgeFrameCacheIfNeeded();
}

kit::Ref<kit::Image> NUVAAnimatedGIF::imageLazilyCachedAtIndex(size_t index) {
  if (index >= frameCount_) {
    gifLog(NUVALogLevel::Warn, "Skipping requested frame %lu beyond bounds (total frame count: %lu) for animated image: %@",
           index, frameCount_, self());
    return nullptr;
  }
  requestedFrameIndex_ = index;
  if (cachedFrameIndexes_.size() < frameCount_) {
    std::set<size_t> wanted = frameIndexesToCache();
    std::erase_if(wanted, [this](size_t i) {
      return cachedFrameIndexes_.contains(i) || requestedFrameIndexes_.contains(i) || i == posterImageFrameIndex_;
    });
    if (!wanted.empty()) addFrameIndexesToCache(wanted);
  }
  kit::Ref<kit::Image> image;
  if (auto it = cachedFramesForIndexes_.find(index); it != cachedFramesForIndexes_.end()) image = it->second;
  purgeFrameCacheIfNeeded();
  return image;
}

std::set<size_t> NUVAAnimatedGIF::frameIndexesToCache() const {
  std::set<size_t> indexes;
  const size_t size = frameCacheSizeCurrent();
  if (size == frameCount_) {
    for (size_t i = 0; i < frameCount_; ++i) indexes.insert(i);
    return indexes;
  }
  // A window of `size` frames from the playhead, wrapping past the end.
  const size_t ahead = std::min(size, frameCount_ - requestedFrameIndex_);
  for (size_t i = 0; i < ahead; ++i) indexes.insert(requestedFrameIndex_ + i);
  for (size_t i = 0; i < size - ahead; ++i) indexes.insert(i);
  indexes.insert(posterImageFrameIndex_);
  return indexes;
}

void NUVAAnimatedGIF::addFrameIndexesToCache(const std::set<size_t>& indexes) {
  requestedFrameIndexes_.insert(indexes.begin(), indexes.end());
  if (!serialQueue_) serialQueue_ = kit::Queue::serial("NUVAAnimatedGIF.framecachingqueue");
  // The frames from the playhead to the end first, then those before it.
  std::vector<size_t> order;
  for (size_t i : indexes)
    if (i >= requestedFrameIndex_) order.push_back(i);
  for (size_t i : indexes)
    if (i < requestedFrameIndex_) order.push_back(i);
  // Decoded frames go into the cache on the main queue, while the image lives.
  auto keep = kit::bindPost(kit::Queue::main(), weakSelf<NUVAAnimatedGIF>(),
                            [](NUVAAnimatedGIF& self, size_t index, const kit::Ref<kit::Image>& image) {
                              self.cachedFramesForIndexes_[index] = image;
                              self.cachedFrameIndexes_.insert(index);
                              self.requestedFrameIndexes_.erase(index);
                            });
  serialQueue_->async([weak = weakSelf<NUVAAnimatedGIF>(), keep, source = imageSource_,
                       predraw = predrawingEnabled_, order = std::move(order)] {
    for (size_t index : order) {
      if (weak.expired()) return;
      kit::Ref<kit::Image> image = imageAtIndex(*source, index, predraw);
      if (image) keep(index, image);
    }
  });
}

kit::Ref<kit::Image> NUVAAnimatedGIF::imageAtIndex(kit::ImageSource& source, size_t index, bool predraw) {
  kit::Ref<kit::Image> image = kit::Image::withBitmap(source.createImageAtIndex(index));
  if (image && predraw) {
    image = predrawnImageFromImage(image);
    // Drawing reads the bitmap in this layout; convert here rather than on
    // the main thread.
    if (image) image->bitmap()->premultipliedARGB();
  }
  return image;
}

void NUVAAnimatedGIF::purgeFrameCacheIfNeeded() {
  if (cachedFrameIndexes_.size() <= frameCacheSizeCurrent()) return;
  const std::set<size_t> keep = frameIndexesToCache();
  for (auto it = cachedFrameIndexes_.begin(); it != cachedFrameIndexes_.end();) {
    if (!keep.contains(*it) && *it != posterImageFrameIndex_) {
      cachedFramesForIndexes_.erase(*it);
      it = cachedFrameIndexes_.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- Memory warnings --------------------------------------------------------

void NUVAAnimatedGIF::registerForMemoryWarnings() {
  static kit::OnceToken token;
  kit::once(token, [] {
    kit::NotificationCenter::defaultCenter()->addObserverForName(
        kit::ApplicationDidReceiveMemoryWarningNotification, nullptr, [](const kit::Ref<kit::Notification>& note) {
          auto deliver = [note] {
            std::vector<kit::Ref<NUVAAnimatedGIF>> live;
            {
              InstanceTable& table = instanceTable();
              std::lock_guard lock(table.mutex);
              for (const auto& weak : table.instances)
                if (auto gif = weak.lock()) live.push_back(std::move(gif));
            }
            for (const auto& gif : live) gif->didReceiveMemoryWarning(note);
          };
          // The cache belongs to the main thread.
          if (kit::RunLoop::isMainThread()) deliver();
          else kit::Queue::main().async(deliver);
        });
  });
}

void NUVAAnimatedGIF::didReceiveMemoryWarning(const kit::Ref<kit::Notification>&) {
  ++memoryWarningCount_;
  kit::RunLoop& loop = kit::RunLoop::main();
  loop.cancelPreviousPerformRequests(weakProxy_.get(), kGrowSelector, kit::num(kGrowthCacheFrames));
  loop.cancelPreviousPerformRequests(weakProxy_.get(), kResetSelector, nullptr);
  gifLog(NUVALogLevel::Debug,
         "Attempt setting frame cache size max to %lu (previous was %lu) after memory warning #%lu for animated image: %@",
         kLowMemoryCacheFrames, frameCacheSizeMaxInternal_, memoryWarningCount_, self());
  setFrameCacheSizeMaxInternal(kLowMemoryCacheFrames);
  if (memoryWarningCount_ - 1 < kGrowthAttempts) {
    kit::Weak<NUVAGIFWeakProxy> proxy = weakProxy_;
    loop.performAfter(weakProxy_.get(), kGrowSelector, kit::num(kGrowthCacheFrames), kGrowDelay, [proxy] {
      if (auto p = proxy.lock())
        p->forward<NUVAAnimatedGIF>([](NUVAAnimatedGIF& gif) { gif.growFrameCacheSizeAfterMemoryWarning(kGrowthCacheFrames); });
    });
  }
}

void NUVAAnimatedGIF::growFrameCacheSizeAfterMemoryWarning(size_t size) {
  setFrameCacheSizeMaxInternal(size);
  gifLog(NUVALogLevel::Debug, "Grew frame cache size max to %lu after memory warning for animated image: %@", size, self());
  kit::Weak<NUVAGIFWeakProxy> proxy = weakProxy_;
  kit::RunLoop::main().performAfter(weakProxy_.get(), kResetSelector, nullptr, kResetDelay, [proxy] {
    if (auto p = proxy.lock()) p->forward<NUVAAnimatedGIF>([](NUVAAnimatedGIF& gif) { gif.resetFrameCacheSizeMaxInternal(); });
  });
}

void NUVAAnimatedGIF::resetFrameCacheSizeMaxInternal() {
  setFrameCacheSizeMaxInternal(0);
  gifLog(NUVALogLevel::Debug, "Reset frame cache size max (current frame cache size: %lu) for animated image: %@",
         frameCacheSizeCurrent(), self());
}

// ---- Class operations -------------------------------------------------------

kit::Size NUVAAnimatedGIF::sizeForImage(const kit::Id& image) {
  if (!image) return {};
  if (auto still = kit::as<kit::Image>(image)) return still->size();
  if (auto gif = kit::as<NUVAAnimatedGIF>(image)) return gif->size();
  gifLog(NUVALogLevel::Error, "`image` isn't of expected types still image or `NUVAAnimatedGIF`: %@", image);
  return {};
}

kit::Ref<kit::Image> NUVAAnimatedGIF::predrawnImageFromImage(const kit::Ref<kit::Image>& image) {
  if (!image || !image->bitmap()) return image;
  const kit::Bitmap& bitmap = *image->bitmap();
  kit::Ref<kit::ColorSpace> space = kit::ColorSpace::deviceRGB();
  if (!space) {
    gifLog(NUVALogLevel::Error, "Failed to create a device RGB colour space for image %@", image);
    return image;
  }
  const size_t width = bitmap.width(), height = bitmap.height();
  const size_t bitsPerComponent = 8;
  const size_t bytesPerRow = width * 4;  // the colour space's three components plus alpha, one byte each
  // The layout kit draws from without converting: premultiplied alpha first
  // in 32-bit little-endian words, or the same with the alpha byte skipped
  // for pictures without colour alpha.
  const kit::AlphaInfo alpha =
      kit::hasAlphaChannel(bitmap.alphaInfo()) ? kit::AlphaInfo::PremultipliedFirst : kit::AlphaInfo::NoneSkipFirst;
  auto context = kit::GraphicsContext::createBitmap(width, height, bitsPerComponent, bytesPerRow, space,
                                                    kit::makeBitmapInfo(alpha, kit::ByteOrder32Little));
  if (!context) {
    gifLog(NUVALogLevel::Error,
           "Failed to create a bitmap context with color space %@ and parameters (width: %lu height: %lu "
           "bitsPerComponent: %lu bytesPerRow: %lu) for image %@",
           space, width, height, bitsPerComponent, bytesPerRow, image);
    return image;
  }
  context->drawImage(kit::Rect(0, 0, static_cast<double>(width), static_cast<double>(height)), bitmap);
  kit::Ref<kit::Image> predrawn = kit::Image::withBitmap(context->makeImage(), image->scale(), image->orientation());
  if (!predrawn) {
    gifLog(NUVALogLevel::Error,
           "Failed to make an image from bitmap context %@ with color space %@ (scale: %f orientation: %ld) for image %@",
           context, space, image->scale(), static_cast<long>(image->orientation()), image);
    return image;
  }
  return predrawn;
}

void NUVAAnimatedGIF::setLogBlock(LogBlock block, NUVALogLevel level) {
  LogSink& sink = logSink();
  std::lock_guard lock(sink.mutex);
  sink.block = std::move(block);
  sink.level = level;
}

void NUVAAnimatedGIF::logStringFromBlock(const std::function<std::string()>& stringBlock, NUVALogLevel level) {
  LogBlock block;
  {
    LogSink& sink = logSink();
    std::lock_guard lock(sink.mutex);
    if (!sink.block || level > sink.level) return;
    block = sink.block;
  }
  block(stringBlock(), level);
}

std::string NUVAAnimatedGIF::description() const {
  return defaultDescription() + " size=" + kit::toString(size_) + kit::formatString(" frameCount=%lu", frameCount_);
}
