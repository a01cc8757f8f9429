// KTCache: one memory cache and one disk cache under one name, so that
// callers read through memory to disk and write to both.
//
// The facade holds no lock: the two caches are thread-safe on their own and
// are updated one after the other, not atomically together. Callbacks run on
// a global queue or on the disk cache's queue, never on the main queue.
//
//   auto cache = KTCache::cacheWithName(kit::str("profiles"));
//   cache->setObject(profile, kit::str("user-42"));
//   kit::Id again = cache->objectForKey(kit::str("user-42"));
#pragma once

#include <functional>

#include "data/cache/disk_cache.h"
#include "data/cache/memory_cache.h"
#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

class KTCache : public kit::Object {
  KIT_OBJECT(KTCache)
  struct Passkey {};

 public:
  // Logs that a name or path is required and gives nil.
  static kit::Ref<KTCache> init();
  // The cache in the user's caches folder under `name`; nil for an empty name.
  static kit::Ref<KTCache> initWithName(const kit::Ref<kit::String>& name);
  // The cache in the folder at `path`, named after its last component; nil
  // for an empty path or when the disk cache cannot be created.
  static kit::Ref<KTCache> initWithPath(const kit::Ref<kit::String>& path);
  static kit::Ref<KTCache> cacheWithName(const kit::Ref<kit::String>& name) { return initWithName(name); }
  static kit::Ref<KTCache> cacheWithPath(const kit::Ref<kit::String>& path) { return initWithPath(path); }

  KTCache(Passkey, kit::Ref<kit::String> name, kit::Ref<KTMemoryCache> memoryCache, kit::Ref<KTDiskCache> diskCache);

  const kit::Ref<kit::String>& name() const { return name_; }
  const kit::Ref<KTMemoryCache>& memoryCache() const { return memoryCache_; }
  const kit::Ref<KTDiskCache>& diskCache() const { return diskCache_; }

  bool containsObjectForKey(const kit::Ref<kit::String>& key);
  // An object found only on disk is put into the memory cache as well.
  kit::Id objectForKey(const kit::Ref<kit::String>& key);
  void setObject(const kit::Id& object, const kit::Ref<kit::String>& key);
  void removeObjectForKey(const kit::Ref<kit::String>& key);
  void removeAllObjects();

  void containsObjectForKey(const kit::Ref<kit::String>& key,
                            std::function<void(const kit::Ref<kit::String>& key, bool contains)> block);
  void objectForKey(const kit::Ref<kit::String>& key,
                    std::function<void(const kit::Ref<kit::String>& key, const kit::Id& object)> block);
  void setObject(const kit::Id& object, const kit::Ref<kit::String>& key, std::function<void()> block);
  void removeObjectForKey(const kit::Ref<kit::String>& key,
                          std::function<void(const kit::Ref<kit::String>& key)> block);
  void removeAllObjectsWithBlock(std::function<void()> block);
  void removeAllObjectsWithProgressBlock(std::function<void(int64_t removed, int64_t total)> progress,
                                         std::function<void(bool error)> end);

  std::string description() const override;

 private:
  const kit::Ref<kit::String> name_;
  const kit::Ref<KTMemoryCache> memoryCache_;
  const kit::Ref<KTDiskCache> diskCache_;
};
