// The memory cache: least-recently-used eviction, background trims and the
// release of removed entries.

#include "data/cache/memory_cache.h"

#include <chrono>
#include <thread>
#include <utility>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/date.h"
#include "kit/foundation/notification_center.h"

KIT_DEFINE_CLASS(KTMemoryCache, kit::Object) {}

kit::Ref<KTMemoryCache> KTMemoryCache::make() {
  auto cache = std::make_shared<KTMemoryCache>(Passkey{});
  cache->startObserving();
  cache->trimRecursively();
  return cache;
}

KTMemoryCache::KTMemoryCache(Passkey) : queue_(kit::Queue::serial("kt.memorycache")) {}

KTMemoryCache::~KTMemoryCache() {
  auto center = kit::NotificationCenter::defaultCenter();
  center->removeObserver(memoryWarningObserver_);
  center->removeObserver(backgroundObserver_);
  KTLinkedMapNodes nodes;
  bool onMain, async;
  {
    std::lock_guard lock(lock_);
    nodes = lru_.removeAll();
    onMain = lru_.releaseOnMainThread;
    async = lru_.releaseAsynchronously;
  }
  release(std::move(nodes), onMain, async);
}

void KTMemoryCache::startObserving() {
  auto center = kit::NotificationCenter::defaultCenter();
  kit::Weak<KTMemoryCache> weak = weakSelf<KTMemoryCache>();
  memoryWarningObserver_ = center->addObserverForName(
      kit::ApplicationDidReceiveMemoryWarningNotification, nullptr, [weak](const kit::Ref<kit::Notification>&) {
        if (auto self = weak.lock()) self->appDidReceiveMemoryWarning();
      });
  backgroundObserver_ = center->addObserverForName(
      kit::ApplicationDidEnterBackgroundNotification, nullptr, [weak](const kit::Ref<kit::Notification>&) {
        if (auto self = weak.lock()) self->appDidEnterBackground();
      });
}

// ---- Properties ------------------------------------------------------------

kit::Ref<kit::String> KTMemoryCache::name() const {
  std::lock_guard lock(propertyLock_);
  return name_;
}

void KTMemoryCache::setName(const kit::Ref<kit::String>& name) {
  auto copy = name ? kit::String::make(name->utf8()) : nullptr;
  std::lock_guard lock(propertyLock_);
  name_ = std::move(copy);
}

KTMemoryCache::Callback KTMemoryCache::didReceiveMemoryWarningBlock() const {
  std::lock_guard lock(propertyLock_);
  return memoryWarningBlock_;
}

void KTMemoryCache::setDidReceiveMemoryWarningBlock(Callback block) {
  std::lock_guard lock(propertyLock_);
  memoryWarningBlock_ = std::move(block);
}

KTMemoryCache::Callback KTMemoryCache::didEnterBackgroundBlock() const {
  std::lock_guard lock(propertyLock_);
  return enterBackgroundBlock_;
}

void KTMemoryCache::setDidEnterBackgroundBlock(Callback block) {
  std::lock_guard lock(propertyLock_);
  enterBackgroundBlock_ = std::move(block);
}

uint64_t KTMemoryCache::totalCount() {
  std::lock_guard lock(lock_);
  return lru_.totalCount();
}

uint64_t KTMemoryCache::totalCost() {
  std::lock_guard lock(lock_);
  return lru_.totalCost();
}

bool KTMemoryCache::releaseOnMainThread() {
  std::lock_guard lock(lock_);
  return lru_.releaseOnMainThread;
}

void KTMemoryCache::setReleaseOnMainThread(bool v) {
  std::lock_guard lock(lock_);
  lru_.releaseOnMainThread = v;
}

bool KTMemoryCache::releaseAsynchronously() {
  std::lock_guard lock(lock_);
  return lru_.releaseAsynchronously;
}

void KTMemoryCache::setReleaseAsynchronously(bool v) {
  std::lock_guard lock(lock_);
  lru_.releaseAsynchronously = v;
}

std::string KTMemoryCache::description() const {
  auto n = name();
  if (n) return defaultDescription() + " (" + n->utf8() + ")";
  return defaultDescription();
}

// ---- Access ----------------------------------------------------------------

bool KTMemoryCache::containsObjectForKey(const kit::Id& key) {
  if (!key) return false;
  std::lock_guard lock(lock_);
  return lru_.find(key) != nullptr;
}

kit::Id KTMemoryCache::objectForKey(const kit::Id& key) {
  if (!key) return nullptr;
  const double now = kit::coarseMediaTime();
  std::lock_guard lock(lock_);
  KTLinkedMapNode* node = lru_.find(key);
  if (!node) return nullptr;
  node->time = now;
  lru_.bringNodeToHead(node);
  return node->value;
}

void KTMemoryCache::setObject(const kit::Id& object, const kit::Id& key, uint64_t cost) {
  if (!key) return;
  if (!object) {
    removeObjectForKey(key);
    return;
  }
  const double now = kit::coarseMediaTime();
  kit::Id replaced;  // destroyed after the lock is released
  KTLinkedMapNodes evicted;
  bool overCost, onMain, async;
  {
    std::lock_guard lock(lock_);
    if (KTLinkedMapNode* node = lru_.find(key)) {
      lru_.changeCost(node, cost);
      node->time = now;
      replaced = std::exchange(node->value, object);
      lru_.bringNodeToHead(node);
    } else {
      auto fresh = std::make_unique<KTLinkedMapNode>();
      fresh->key = key;
      fresh->value = object;
      fresh->cost = cost;
      fresh->time = now;
      lru_.insertNodeAtHead(std::move(fresh));
    }
    overCost = lru_.totalCost() > costLimit();
    if (lru_.totalCount() > countLimit()) evicted.add(lru_.removeTailNode());
    onMain = lru_.releaseOnMainThread;
    async = lru_.releaseAsynchronously;
  }
  if (overCost) {
    queue_->async([weak = weakSelf<KTMemoryCache>()] {
      if (auto self = weak.lock()) self->trimToCost(self->costLimit());
    });
  }
  if (!evicted.empty()) release(std::move(evicted), onMain, async);
}

void KTMemoryCache::removeObjectForKey(const kit::Id& key) {
  if (!key) return;
  KTLinkedMapNodes removed;
  bool onMain, async;
  {
    std::lock_guard lock(lock_);
    if (KTLinkedMapNode* node = lru_.find(key)) removed.add(lru_.removeNode(node));
    onMain = lru_.releaseOnMainThread;
    async = lru_.releaseAsynchronously;
  }
  release(std::move(removed), onMain, async);
}

void KTMemoryCache::removeAllObjects() {
  KTLinkedMapNodes removed;
  bool onMain, async;
  {
    std::lock_guard lock(lock_);
    removed = lru_.removeAll();
    onMain = lru_.releaseOnMainThread;
    async = lru_.releaseAsynchronously;
  }
  release(std::move(removed), onMain, async);
}

void KTMemoryCache::release(KTLinkedMapNodes nodes, bool onMainThread, bool asynchronously) {
  if (nodes.empty()) return;
  auto post = [&](kit::Queue& queue) {
    auto box = std::make_shared<KTLinkedMapNodes>(std::move(nodes));
    queue.async([box] { box->clear(); });
  };
  if (asynchronously) {
    post(onMainThread ? kit::Queue::main() : kit::Queue::global(kit::Queue::Priority::Low));
  } else if (onMainThread && !kit::RunLoop::isMainThread()) {
    post(kit::Queue::main());
  } else {
    nodes.clear();
  }
}

// ---- Trimming --------------------------------------------------------------

void KTMemoryCache::releaseTrimmed(KTLinkedMapNodes nodes, bool onMainThread) {
  // Trimmed entries always go away on another queue.
  release(std::move(nodes), onMainThread, true);
}

void KTMemoryCache::trimWhile(bool emptyAll, const std::function<bool(const KTLinkedMap&)>& exceeded) {
  bool onMain, async;
  {
    std::lock_guard lock(lock_);
    onMain = lru_.releaseOnMainThread;
    async = lru_.releaseAsynchronously;
    if (!emptyAll && !exceeded(lru_)) return;
  }
  if (emptyAll) {
    KTLinkedMapNodes removed;
    {
      std::lock_guard lock(lock_);
      removed = lru_.removeAll();
    }
    release(std::move(removed), onMain, async);
    return;
  }
  // One entry per turn of the lock, so that callers are never held up for
  // more than one removal; a busy lock is retried after a short pause.
  KTLinkedMapNodes holder;
  for (bool finished = false; !finished;) {
    if (lock_.try_lock()) {
      if (exceeded(lru_)) {
        holder.add(lru_.removeTailNode());
      } else {
        finished = true;
      }
      onMain = lru_.releaseOnMainThread;
      lock_.unlock();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  releaseTrimmed(std::move(holder), onMain);
}

void KTMemoryCache::trimToCount(uint64_t count) {
  trimWhile(count == 0, [count](const KTLinkedMap& map) { return map.totalCount() > count; });
}

void KTMemoryCache::trimToCost(uint64_t cost) {
  trimWhile(cost == 0, [cost](const KTLinkedMap& map) { return map.totalCost() > cost; });
}

void KTMemoryCache::trimToAge(double age) {
  const double now = kit::coarseMediaTime();
  trimWhile(age <= 0, [now, age](const KTLinkedMap& map) { return map.tail() && now - map.tail()->time > age; });
}

void KTMemoryCache::trimRecursively() {
  kit::Queue::global(kit::Queue::Priority::Low).after(autoTrimInterval(), [weak = weakSelf<KTMemoryCache>()] {
    auto self = weak.lock();
    if (!self) return;
    self->trimInBackground();
    self->trimRecursively();
  });
}

void KTMemoryCache::trimInBackground() {
  queue_->async([weak = weakSelf<KTMemoryCache>()] {
    auto self = weak.lock();
    if (!self) return;
    self->trimToCost(self->costLimit());
    self->trimToCount(self->countLimit());
    self->trimToAge(self->ageLimit());
  });
}

// ---- Application events ----------------------------------------------------

void KTMemoryCache::appDidReceiveMemoryWarning() {
  if (auto block = didReceiveMemoryWarningBlock()) block(selfAs<KTMemoryCache>());
  if (shouldRemoveAllObjectsOnMemoryWarning()) removeAllObjects();
}

void KTMemoryCache::appDidEnterBackground() {
  if (auto block = didEnterBackgroundBlock()) block(selfAs<KTMemoryCache>());
  if (shouldRemoveAllObjectsWhenEnteringBackground()) removeAllObjects();
}
