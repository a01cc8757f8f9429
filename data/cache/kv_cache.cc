// The cache facade: reads through memory to disk, writes to both.

#include "data/cache/kv_cache.h"

#include <utility>

#include "kit/dispatch/queue.h"
#include "kit/foundation/log.h"
#include "kit/foundation/search_paths.h"

KIT_DEFINE_CLASS(KTCache, kit::Object) {}

kit::Ref<KTCache> KTCache::init() {
  kit::log("Use \"initWithName\" or \"initWithPath\" to create KTCache instance.");
  return initWithPath(kit::str(""));
}

kit::Ref<KTCache> KTCache::initWithName(const kit::Ref<kit::String>& name) {
  if (!name || name->empty()) return nullptr;
  auto folders = kit::searchPathForDirectoriesInDomains(kit::CachesDirectory, kit::UserDomainMask, true);
  auto caches = folders ? kit::as<kit::String>(folders->firstObject()) : nullptr;
  if (!caches) return nullptr;
  return initWithPath(caches->stringByAppendingPathComponent(name->utf8()));
}

kit::Ref<KTCache> KTCache::initWithPath(const kit::Ref<kit::String>& path) {
  if (!path || path->empty()) return nullptr;
  auto diskCache = KTDiskCache::initWithPath(path);
  if (!diskCache) return nullptr;
  auto name = path->lastPathComponent();
  auto memoryCache = KTMemoryCache::make();
  memoryCache->setName(name);
  return std::make_shared<KTCache>(Passkey{}, std::move(name), std::move(memoryCache), std::move(diskCache));
}

KTCache::KTCache(Passkey, kit::Ref<kit::String> name, kit::Ref<KTMemoryCache> memoryCache,
                 kit::Ref<KTDiskCache> diskCache)
    : name_(std::move(name)), memoryCache_(std::move(memoryCache)), diskCache_(std::move(diskCache)) {}

std::string KTCache::description() const {
  if (name_) return defaultDescription() + " (" + name_->utf8() + ")";
  return defaultDescription();
}

// ---- Synchronous operations ------------------------------------------------

bool KTCache::containsObjectForKey(const kit::Ref<kit::String>& key) {
  return memoryCache_->containsObjectForKey(key) || diskCache_->containsObjectForKey(key);
}

kit::Id KTCache::objectForKey(const kit::Ref<kit::String>& key) {
  kit::Id object = memoryCache_->objectForKey(key);
  if (!object) {
    object = diskCache_->objectForKey(key);
    if (object) memoryCache_->setObject(object, key);
  }
  return object;
}

void KTCache::setObject(const kit::Id& object, const kit::Ref<kit::String>& key) {
  memoryCache_->setObject(object, key);
  diskCache_->setObject(object, key);
}

void KTCache::removeObjectForKey(const kit::Ref<kit::String>& key) {
  memoryCache_->removeObjectForKey(key);
  diskCache_->removeObjectForKey(key);
}

void KTCache::removeAllObjects() {
  memoryCache_->removeAllObjects();
  diskCache_->removeAllObjects();
}

// ---- Asynchronous operations -----------------------------------------------

void KTCache::containsObjectForKey(const kit::Ref<kit::String>& key,
                                   std::function<void(const kit::Ref<kit::String>&, bool)> block) {
  if (!block) return;
  if (memoryCache_->containsObjectForKey(key)) {
    kit::Queue::global().async([key, block = std::move(block)] { block(key, true); });
  } else {
    diskCache_->containsObjectForKey(key, std::move(block));
  }
}

void KTCache::objectForKey(const kit::Ref<kit::String>& key,
                           std::function<void(const kit::Ref<kit::String>&, const kit::Id&)> block) {
  if (!block) return;
  if (kit::Id object = memoryCache_->objectForKey(key)) {
    kit::Queue::global().async([key, object, block = std::move(block)] { block(key, object); });
    return;
  }
  diskCache_->objectForKey(key, [memory = memoryCache_, block = std::move(block)](const kit::Ref<kit::String>& found,
                                                                                  const kit::Id& object) {
    if (object && !memory->containsObjectForKey(found)) memory->setObject(object, found);
    block(found, object);
  });
}

void KTCache::setObject(const kit::Id& object, const kit::Ref<kit::String>& key, std::function<void()> block) {
  memoryCache_->setObject(object, key);
  diskCache_->setObject(object, key, std::move(block));
}

void KTCache::removeObjectForKey(const kit::Ref<kit::String>& key,
                                 std::function<void(const kit::Ref<kit::String>&)> block) {
  memoryCache_->removeObjectForKey(key);
  diskCache_->removeObjectForKey(key, std::move(block));
}

void KTCache::removeAllObjectsWithBlock(std::function<void()> block) {
  memoryCache_->removeAllObjects();
  diskCache_->removeAllObjectsWithBlock(std::move(block));
}

void KTCache::removeAllObjectsWithProgressBlock(std::function<void(int64_t, int64_t)> progress,
                                                std::function<void(bool)> end) {
  memoryCache_->removeAllObjects();
  diskCache_->removeAllObjectsWithProgressBlock(std::move(progress), std::move(end));
}
