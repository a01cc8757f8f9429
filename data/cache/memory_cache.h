// KTMemoryCache: a thread-safe in-memory key-value cache with least-recently-
// used eviction under a count limit, a total-cost limit and an age limit
// (seconds since last access, on the media clock).
//
// Entries are kept in a KTLinkedMap; eviction always takes the least
// recently used entry. The cache trims itself every autoTrimInterval seconds
// in the background and empties itself on a memory warning and when the
// application enters the background (both switchable). Entries it removes are
// destroyed away from the caller's thread by default (on a low-priority
// global queue, or on the main queue with releaseOnMainThread), and never
// while the cache's lock is held, so a value's destructor may use the cache.
//
//   auto cache = KTMemoryCache::make();
//   cache->setCountLimit(100);
//   cache->setObject(image, kit::str("avatar"), bytes);
//   kit::Id hit = cache->objectForKey(kit::str("avatar"));
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <string>

#include "data/cache/linked_map.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

class KTMemoryCache : public kit::Object {
  KIT_OBJECT(KTMemoryCache)
  struct Passkey {};

 public:
  using Callback = std::function<void(const kit::Ref<KTMemoryCache>& cache)>;

  // An empty cache with no limits that trims itself every 5 seconds and
  // observes the application's memory warnings and backgrounding.
  static kit::Ref<KTMemoryCache> make();
  explicit KTMemoryCache(Passkey);
  ~KTMemoryCache() override;

  kit::Ref<kit::String> name() const;
  void setName(const kit::Ref<kit::String>& name);

  uint64_t totalCount();
  uint64_t totalCost();

  uint64_t countLimit() const { return countLimit_.load(std::memory_order_relaxed); }
  void setCountLimit(uint64_t v) { countLimit_.store(v, std::memory_order_relaxed); }
  uint64_t costLimit() const { return costLimit_.load(std::memory_order_relaxed); }
  void setCostLimit(uint64_t v) { costLimit_.store(v, std::memory_order_relaxed); }
  double ageLimit() const { return ageLimit_.load(std::memory_order_relaxed); }
  void setAgeLimit(double v) { ageLimit_.store(v, std::memory_order_relaxed); }
  double autoTrimInterval() const { return autoTrimInterval_.load(std::memory_order_relaxed); }
  void setAutoTrimInterval(double v) { autoTrimInterval_.store(v, std::memory_order_relaxed); }

  bool shouldRemoveAllObjectsOnMemoryWarning() const { return removeOnMemoryWarning_.load(); }
  void setShouldRemoveAllObjectsOnMemoryWarning(bool v) { removeOnMemoryWarning_.store(v); }
  bool shouldRemoveAllObjectsWhenEnteringBackground() const { return removeOnBackground_.load(); }
  void setShouldRemoveAllObjectsWhenEnteringBackground(bool v) { removeOnBackground_.store(v); }
  Callback didReceiveMemoryWarningBlock() const;
  void setDidReceiveMemoryWarningBlock(Callback block);
  Callback didEnterBackgroundBlock() const;
  void setDidEnterBackgroundBlock(Callback block);

  // Where removed entries are destroyed (see the file comment).
  bool releaseOnMainThread();
  void setReleaseOnMainThread(bool v);
  bool releaseAsynchronously();
  void setReleaseAsynchronously(bool v);

  // Does not count as an access.
  bool containsObjectForKey(const kit::Id& key);
  // A hit becomes the most recently used entry.
  kit::Id objectForKey(const kit::Id& key);
  // A nil key does nothing; a nil object removes the key. A store that takes
  // the total cost over the limit returns at once and the cost is trimmed
  // shortly after on the cache's queue; one that exceeds the count limit
  // evicts the least recently used entry at once.
  void setObject(const kit::Id& object, const kit::Id& key) { setObject(object, key, 0); }
  void setObject(const kit::Id& object, const kit::Id& key, uint64_t cost);
  void removeObjectForKey(const kit::Id& key);
  void removeAllObjects();

  // Evict least recently used entries until the limit holds; they run on the
  // calling thread and take the lock for one entry at a time.
  void trimToCount(uint64_t count);
  void trimToCost(uint64_t cost);
  // Evicts every entry not accessed within `age` seconds (0 or less empties).
  void trimToAge(double age);

  std::string description() const override;

 private:
  void startObserving();
  void trimRecursively();
  void trimInBackground();
  // Evicts from the tail while `exceeded` holds for the map, one entry per
  // lock; `emptyAll` empties the map at once instead.
  void trimWhile(bool emptyAll, const std::function<bool(const KTLinkedMap&)>& exceeded);
  void appDidReceiveMemoryWarning();
  void appDidEnterBackground();
  // Destroys removed nodes as the release flags (read under the lock) say.
  static void release(KTLinkedMapNodes nodes, bool onMainThread, bool asynchronously);
  void releaseTrimmed(KTLinkedMapNodes nodes, bool onMainThread);

  std::mutex lock_;
  KTLinkedMap lru_;
  kit::Ref<kit::Queue> queue_;

  std::atomic<bool> removeOnMemoryWarning_{true};
  std::atomic<bool> removeOnBackground_{true};
  std::atomic<uint64_t> countLimit_{std::numeric_limits<uint64_t>::max()};
  std::atomic<uint64_t> costLimit_{std::numeric_limits<uint64_t>::max()};
  std::atomic<double> ageLimit_{std::numeric_limits<double>::max()};
  std::atomic<double> autoTrimInterval_{5.0};

  mutable std::mutex propertyLock_;  // name and the two callbacks
  kit::Ref<kit::String> name_;
  Callback memoryWarningBlock_;
  Callback enterBackgroundBlock_;
  kit::Id memoryWarningObserver_;
  kit::Id backgroundObserver_;
};
