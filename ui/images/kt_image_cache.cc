// The two-level image cache. See kt_image_cache.h.
#include "ui/images/kt_image_cache.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kit/dispatch/queue.h"
#include "kit/foundation/array.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/process_info.h"
#include "kit/foundation/search_paths.h"
#include "kit/ui/screen.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/kt_image_encoder.h"

KIT_DEFINE_CLASS(KTImageCache, kit::Object) {}

namespace {

constexpr double kMemoryAgeLimit = 12 * 60 * 60;
constexpr uint64_t kMinMemoryCostLimit = uint64_t{16} << 20;
constexpr uint64_t kMaxMemoryCostLimit = uint64_t{128} << 20;

double mainScreenScale() { return kit::Screen::main()->scale(); }

}  // namespace

kit::Ref<KTImageCache> KTImageCache::sharedCache() {
  static const kit::NoDestructor<kit::Ref<KTImageCache>> shared([] {
    auto caches = kit::searchPathForDirectoriesInDomains(kit::SearchPathDirectory::CachesDirectory);
    auto root = caches && caches->count() > 0 ? kit::as<kit::String>(caches->objectAtIndex(0)) : nullptr;
    if (!root) root = kit::temporaryDirectory();
    auto path = root->stringByAppendingPathComponent("KTImageKit")->stringByAppendingPathComponent("images");
    return initWithPath(path);
  }());
  return *shared;
}

kit::Ref<KTImageCache> KTImageCache::init() {
  kit::raise("KTImageCache init error",
             "KTImageCache must be initialized with a path. Use 'initWithPath:' instead.");
}

kit::Ref<KTImageCache> KTImageCache::initWithPath(const kit::Ref<kit::String>& path) {
  auto memory = KTMemoryCache::make();
  memory->setShouldRemoveAllObjectsOnMemoryWarning(true);
  memory->setShouldRemoveAllObjectsWhenEnteringBackground(true);
  memory->setCountLimit(std::numeric_limits<uint64_t>::max());
  memory->setCostLimit(memoryCostLimit(kit::ProcessInfo::processInfo()->physicalMemory()));
  memory->setAgeLimit(kMemoryAgeLimit);
  auto disk = path ? KTDiskCache::initWithPath(path) : nullptr;
  if (!memory || !disk) return nullptr;
  // The disk level keeps the encoded bytes themselves, not an archive of them.
  disk->setCustomArchiveBlock([](const kit::Id& object) { return kit::as<kit::Data>(object); });
  disk->setCustomUnarchiveBlock([](const kit::Ref<kit::Data>& data) -> kit::Id { return data; });
  return std::make_shared<KTImageCache>(Passkey{}, std::move(memory), std::move(disk));
}

KTImageCache::KTImageCache(Passkey, kit::Ref<KTMemoryCache> memory, kit::Ref<KTDiskCache> disk)
    : memoryCache_(std::move(memory)), diskCache_(std::move(disk)) {}

kit::Ref<kit::String> KTImageCache::name() const {
  std::lock_guard lock(nameLock_);
  return name_;
}

void KTImageCache::setName(const kit::Ref<kit::String>& name) {
  std::lock_guard lock(nameLock_);
  name_ = name ? kit::String::make(name->utf8()) : nullptr;
}

uint64_t KTImageCache::imageCost(const kit::Ref<kit::Image>& image) {
  if (!image || !image->bitmap()) return 1;
  double bytes = static_cast<double>(image->bitmap()->height()) * static_cast<double>(image->bitmap()->bytesPerRow());
  auto cost = static_cast<uint64_t>(bytes);
  return cost == 0 ? 1 : cost;
}

uint64_t KTImageCache::memoryCostLimit(uint64_t physicalMemory) {
  return std::clamp(physicalMemory / 16, kMinMemoryCostLimit, kMaxMemoryCostLimit);
}

void KTImageCache::attachScale(const kit::Ref<kit::Data>& data, double scale) {
  KTDiskCache::setExtendedData(kit::KeyedArchiver::archivedDataWithRootObject(kit::num(scale)), data);
}

kit::Ref<kit::Image> KTImageCache::imageFromData(const kit::Ref<kit::Data>& data) {
  if (!data || data->length() == 0) return nullptr;
  double scale = 0;
  if (auto extended = KTDiskCache::getExtendedDataFromObject(data)) {
    kit::Id value;
    try {
      value = kit::KeyedUnarchiver::unarchiveObjectWithData(extended);
    } catch (const kit::Exception&) {
    }
    if (auto number = kit::as<kit::Number>(value)) scale = number->doubleValue();
  }
  if (!(scale > 0) || !std::isfinite(scale)) scale = mainScreenScale();
  if (allowAnimatedImage()) {
    kit::Ref<kit::Image> image = KTImage::imageWithData(data, scale);
    if (image && decodeForDisplay()) image = KT_imageByDecoded(image);
    return image;
  }
  auto decoder = KTImageDecoder::decoderWithData(data, scale);
  auto frame = decoder ? decoder->frameAtIndex(0, decodeForDisplay()) : nullptr;
  return frame ? frame->image() : nullptr;
}

void KTImageCache::setImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::String>& key) {
  setImage(image, nullptr, key, KTImageCacheTypeAll);
}

void KTImageCache::setImage(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Data>& imageData,
                            const kit::Ref<kit::String>& key, KTImageCacheType type) {
  if (!key || (!image && (!imageData || imageData->length() == 0))) return;
  kit::Weak<KTImageCache> weak = std::static_pointer_cast<KTImageCache>(self());
  if (type & KTImageCacheTypeMemory) {
    if (image && KT_isDecodedForDisplay(*image)) {
      memoryCache_->setObject(image, key, imageCost(image));
    } else if (image) {
      kit::Queue::global(kit::Queue::Priority::Low).async([weak, image, key] {
        auto cache = weak.lock();
        if (!cache) return;
        cache->memoryCache_->setObject(KT_imageByDecoded(image), key, imageCost(image));
      });
    } else {
      kit::Queue::global(kit::Queue::Priority::Low).async([weak, imageData, key] {
        auto cache = weak.lock();
        if (!cache) return;
        if (auto decoded = cache->imageFromData(imageData)) {
          cache->memoryCache_->setObject(decoded, key, imageCost(decoded));
        }
      });
    }
  }
  if (type & KTImageCacheTypeDisk) {
    if (imageData && imageData->length() > 0) {
      if (image) attachScale(imageData, image->scale());
      diskCache_->setObject(imageData, key);
    } else if (image) {
      kit::Queue::global(kit::Queue::Priority::Default).async([weak, image, key] {
        auto cache = weak.lock();
        if (!cache) return;
        auto data = KT_imageDataRepresentation(image);
        if (!data || data->length() == 0) return;
        attachScale(data, image->scale());
        cache->diskCache_->setObject(data, key);
      });
    }
  }
}

void KTImageCache::removeImageForKey(const kit::Ref<kit::String>& key) { removeImageForKey(key, KTImageCacheTypeAll); }

void KTImageCache::removeImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type) {
  if (!key) return;
  if (type & KTImageCacheTypeMemory) memoryCache_->removeObjectForKey(key);
  if (type & KTImageCacheTypeDisk) diskCache_->removeObjectForKey(key);
}

bool KTImageCache::containsImageForKey(const kit::Ref<kit::String>& key) {
  return containsImageForKey(key, KTImageCacheTypeAll);
}

bool KTImageCache::containsImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type) {
  if (!key) return false;
  if ((type & KTImageCacheTypeMemory) && memoryCache_->containsObjectForKey(key)) return true;
  if ((type & KTImageCacheTypeDisk) && diskCache_->containsObjectForKey(key)) return true;
  return false;
}

kit::Ref<kit::Image> KTImageCache::getImageForKey(const kit::Ref<kit::String>& key) {
  return getImageForKey(key, KTImageCacheTypeAll);
}

kit::Ref<kit::Image> KTImageCache::getImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type) {
  if (!key) return nullptr;
  if (type & KTImageCacheTypeMemory) {
    if (auto image = kit::as<kit::Image>(memoryCache_->objectForKey(key))) return image;
  }
  if (type & KTImageCacheTypeDisk) {
    auto image = imageFromData(kit::as<kit::Data>(diskCache_->objectForKey(key)));
    if (image && (type & KTImageCacheTypeMemory)) memoryCache_->setObject(image, key, imageCost(image));
    return image;
  }
  return nullptr;
}

void KTImageCache::getImageForKey(const kit::Ref<kit::String>& key, KTImageCacheType type, ImageBlock block) {
  if (!block) return;
  kit::Weak<KTImageCache> weak = std::static_pointer_cast<KTImageCache>(self());
  kit::Queue::global(kit::Queue::Priority::Default).async([weak, key, type, block = std::move(block)] {
    auto cache = weak.lock();
    kit::Ref<kit::Image> image;
    KTImageCacheType found = KTImageCacheTypeNone;
    if (cache && key && (type & KTImageCacheTypeMemory)) {
      image = kit::as<kit::Image>(cache->memoryCache_->objectForKey(key));
      if (image) found = KTImageCacheTypeMemory;
    }
    if (cache && key && !image && (type & KTImageCacheTypeDisk)) {
      image = cache->imageFromData(kit::as<kit::Data>(cache->diskCache_->objectForKey(key)));
      if (image) {
        // At its cost, or the memory level's cost limit could not see it.
        cache->memoryCache_->setObject(image, key, imageCost(image));
        found = KTImageCacheTypeDisk;
      }
    }
    kit::Queue::main().async([block, image, found] { block(image, found); });
  });
}

kit::Ref<kit::Data> KTImageCache::getImageDataForKey(const kit::Ref<kit::String>& key) {
  if (!key) return nullptr;
  return kit::as<kit::Data>(diskCache_->objectForKey(key));
}

void KTImageCache::getImageDataForKey(const kit::Ref<kit::String>& key, DataBlock block) {
  if (!block) return;
  kit::Weak<KTImageCache> weak = std::static_pointer_cast<KTImageCache>(self());
  kit::Queue::global(kit::Queue::Priority::Default).async([weak, key, block = std::move(block)] {
    auto cache = weak.lock();
    auto data = cache ? cache->getImageDataForKey(key) : nullptr;
    kit::Queue::main().async([block, data] { block(data); });
  });
}
