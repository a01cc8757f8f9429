// KTImageCache: downloaded images at two levels, decoded images in memory
// (ready to draw) and their encoded bytes on disk, so that a picture fetched
// once shows again without the network and without decoding twice. The disk
// level stores the bytes exactly as given, with the image's scale beside
// them as extended data. The memory level keeps within a cost limit derived
// from the machine's memory and empties itself on memory warnings.
//
//   auto cache = KTImageCache::sharedCache();
//   cache->setImage(image, bytes, key, KTImageCacheTypeAll);
//   cache->getImageForKey(key, KTImageCacheTypeAll, [](auto image, auto type) { ... });  // main queue
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

#include "data/cache/disk_cache.h"
#include "data/cache/memory_cache.h"
#include "kit/foundation/data.h"
#include "kit/foundation/string.h"
#include "kit/graphics/image.h"

enum KTImageCacheType : unsigned long {
  KTImageCacheTypeNone = 0,
  KTImageCacheTypeMemory = 1 << 0,
  KTImageCacheTypeDisk = 1 << 1,
  KTImageCacheTypeAll = KTImageCacheTypeMemory | KTImageCacheTypeDisk,
};

class KTImageCache : public kit::Object {
  KIT_OBJECT(KTImageCache)
  struct Passkey {};

 public:
  using ImageBlock = std::function<void(const kit::Ref<kit::Image>& image, KTImageCacheType type)>;
  using DataBlock = std::function<void(const kit::Ref<kit::Data>& data)>;

  // The one shared cache, in Caches/KTImageKit/images.
  static kit::Ref<KTImageCache> sharedCache();
  // Raises "KTImageCache init error": a cache needs a path.
  static kit::Ref<KTImageCache> init();
  // nil when either level cannot be made.
  static kit::Ref<KTImageCache> initWithPath(const kit::Ref<kit::String>& path);
  KTImageCache(Passkey, kit::Ref<KTMemoryCache> memory, kit::Ref<KTDiskCache> disk);

  kit::Ref<kit::String> name() const;
  void setName(const kit::Ref<kit::String>& name);
  const kit::Ref<KTMemoryCache>& memoryCache() const { return memoryCache_; }
  const kit::Ref<KTDiskCache>& diskCache() const { return diskCache_; }
  bool allowAnimatedImage() const { return allowAnimatedImage_.load(); }
  void setAllowAnimatedImage(bool v) { allowAnimatedImage_.store(v); }
  bool decodeForDisplay() const { return decodeForDisplay_.load(); }
  void setDecodeForDisplay(bool v) { decodeForDisplay_.store(v); }

  // Height × bytes per row of the image's bitmap; 1 without a bitmap.
  static uint64_t imageCost(const kit::Ref<kit::Image>& image);
  // The memory level's cost limit on a machine with `physicalMemory` bytes:
  // a sixteenth of it, at least 16 MiB and at most 128 MiB, so that a few
  // huge pictures cannot hold the process's memory for the level's whole
  // age limit; the least recently used images go first.
  static uint64_t memoryCostLimit(uint64_t physicalMemory);
  // Decodes stored bytes at their stored scale (the main screen's when none
  // or a non-positive one was stored); nil when they do not decode.
  kit::Ref<kit::Image> imageFromData(const kit::Ref<kit::Data>& data);

  void setImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& key);
  // Undecoded images are decoded for memory, and images without data are
  // encoded for disk, on global queues; data goes to disk at once.
  void setImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Data>& imageData,
                const kit::Ref<kit::String>& key, KTImageCacheType type);
  void removeImageForKey(const kit::Ref<kit::String>& key);
  void removeImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type);
  bool containsImageForKey(const kit::Ref<kit::String>& key);
  bool containsImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type);
  kit::Ref<kit::Image> getImageForKey(const kit::Ref<kit::String>& key);
  // Synchronous; a disk hit fills memory only when the type has the memory bit.
  kit::Ref<kit::Image> getImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type);
  // On a global queue; the block runs on the main queue. A disk hit always
  // fills memory.
  void getImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type, ImageBlock block);
  kit::Ref<kit::Data> getImageDataForKey(const kit::Ref<kit::String>& key);
  void getImageDataForKey(const kit::Ref<kit::String>& key, DataBlock block);

 private:
  static void attachScale(const kit::Ref<kit::Data>& data, double scale);

  mutable std::mutex nameLock_;
  kit::Ref<kit::String> name_;
  const kit::Ref<KTMemoryCache> memoryCache_;
  const kit::Ref<KTDiskCache> diskCache_;
  std::atomic<bool> allowAnimatedImage_{true};
  std::atomic<bool> decodeForDisplay_{true};
};
