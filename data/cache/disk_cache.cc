// The disk cache: archiving, the inline threshold, the per-folder registry,
// asynchronous operations and the periodic trims.

#include "data/cache/disk_cache.h"

#include <cmath>
#include <unordered_map>
#include <utility>

#include "kit/foundation/app_notifications.h"
#include "kit/foundation/crypto.h"
#include "kit/foundation/date.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/number.h"

KIT_DEFINE_CLASS(KTDiskCache, kit::Object) {}

namespace {

// The live caches by folder, held weakly so that a released cache drops out.
struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, kit::Weak<KTDiskCache>> caches;
};

Registry& registry() {
  static kit::NoDestructor<Registry> r;
  return *r;
}

// One spelling per folder: no repeated or trailing slashes.
std::string folderKey(std::string_view path) {
  std::string key;
  key.reserve(path.size());
  for (char c : path) {
    if (c == '/' && !key.empty() && key.back() == '/') continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

// The process-wide key of the extended data attached to objects.
const char kExtendedDataKey = 0;

kit::Ref<kit::Data> archive(const kit::Id& object, const KTDiskCache::ArchiveBlock& custom) {
  try {
    return custom ? custom(object) : kit::KeyedArchiver::archivedDataWithRootObject(object);
  } catch (const std::exception&) {
    return nullptr;  // not archivable: nothing is stored
  }
}

kit::Id unarchive(const kit::Ref<kit::Data>& data, const KTDiskCache::UnarchiveBlock& custom) {
  try {
    return custom ? custom(data) : kit::KeyedUnarchiver::unarchiveObjectWithData(data);
  } catch (const std::exception&) {
    return nullptr;  // unreadable bytes read as nothing; the item stays
  }
}

}  // namespace

// ---- Creation --------------------------------------------------------------

kit::Ref<KTDiskCache> KTDiskCache::init() {
  kit::raise("KTDiskCache init error",
             "KTDiskCache must be initialized with a path. Use 'initWithPath:' or "
             "'initWithPath:inlineThreshold:' instead.");
}

kit::Ref<KTDiskCache> KTDiskCache::initWithPath(const kit::Ref<kit::String>& path) {
  return initWithPath(path, DefaultInlineThreshold);
}

kit::Ref<KTDiskCache> KTDiskCache::initWithPath(const kit::Ref<kit::String>& path, uint64_t inlineThreshold) {
  KTKVStorageType type = KTKVStorageTypeMixed;
  if (inlineThreshold == 0) type = KTKVStorageTypeFile;
  if (inlineThreshold == std::numeric_limits<uint64_t>::max()) type = KTKVStorageTypeSQLite;
  if (!path || path->empty()) {
    KTKVStorage::initWithPath(path, type);  // refuses the path and logs why
    return nullptr;
  }

  // Lookup, creation and registration under one lock, so that threads
  // racing to create the cache of one folder all get the same one.
  Registry& live = registry();
  const std::string key = folderKey(path->utf8());
  kit::Ref<KTDiskCache> cache;
  {
    std::lock_guard lock(live.mutex);
    if (auto found = live.caches.find(key); found != live.caches.end()) {
      if (auto existing = found->second.lock()) return existing;
    }
    auto storage = KTKVStorage::initWithPath(path, type);
    if (!storage) return nullptr;
    cache = std::make_shared<KTDiskCache>(Passkey{}, std::move(storage), kit::String::make(path->utf8()),
                                          inlineThreshold);
    std::erase_if(live.caches, [](const auto& entry) { return entry.second.expired(); });
    live.caches[key] = cache;
  }
  cache->trimRecursively();
  cache->startObserving();
  return cache;
}

KTDiskCache::KTDiskCache(Passkey, kit::Ref<KTKVStorage> storage, kit::Ref<kit::String> path,
                         uint64_t inlineThreshold)
    : kv_(std::move(storage)),
      storageType_(kv_->type()),
      path_(std::move(path)),
      inlineThreshold_(inlineThreshold),
      queue_(kit::Queue::concurrent("kt.diskcache")) {}

KTDiskCache::~KTDiskCache() { kit::NotificationCenter::defaultCenter()->removeObserver(terminateObserver_); }

void KTDiskCache::startObserving() {
  terminateObserver_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
      kit::ApplicationWillTerminateNotification, nullptr,
      [weak = weakSelf<KTDiskCache>()](const kit::Ref<kit::Notification>&) {
        if (auto self = weak.lock()) self->appWillBeTerminated();
      });
}

void KTDiskCache::appWillBeTerminated() {
  std::lock_guard lock(lock_);
  kv_.reset();  // closes the database
}

// ---- Properties ------------------------------------------------------------

kit::Ref<kit::String> KTDiskCache::name() const {
  std::lock_guard lock(propertyLock_);
  return name_;
}

void KTDiskCache::setName(const kit::Ref<kit::String>& name) {
  auto copy = name ? kit::String::make(name->utf8()) : nullptr;
  std::lock_guard lock(propertyLock_);
  name_ = std::move(copy);
}

KTDiskCache::ArchiveBlock KTDiskCache::customArchiveBlock() const {
  std::lock_guard lock(propertyLock_);
  return archiveBlock_;
}

void KTDiskCache::setCustomArchiveBlock(ArchiveBlock block) {
  std::lock_guard lock(propertyLock_);
  archiveBlock_ = std::move(block);
}

KTDiskCache::UnarchiveBlock KTDiskCache::customUnarchiveBlock() const {
  std::lock_guard lock(propertyLock_);
  return unarchiveBlock_;
}

void KTDiskCache::setCustomUnarchiveBlock(UnarchiveBlock block) {
  std::lock_guard lock(propertyLock_);
  unarchiveBlock_ = std::move(block);
}

KTDiskCache::FileNameBlock KTDiskCache::customFileNameBlock() const {
  std::lock_guard lock(propertyLock_);
  return fileNameBlock_;
}

void KTDiskCache::setCustomFileNameBlock(FileNameBlock block) {
  std::lock_guard lock(propertyLock_);
  fileNameBlock_ = std::move(block);
}

bool KTDiskCache::errorLogsEnabled() {
  std::lock_guard lock(lock_);
  return kv_ && kv_->errorLogsEnabled();
}

void KTDiskCache::setErrorLogsEnabled(bool enabled) {
  std::lock_guard lock(lock_);
  if (kv_) kv_->setErrorLogsEnabled(enabled);
}

std::string KTDiskCache::description() const {
  auto n = name();
  if (n) return defaultDescription() + " (" + n->utf8() + ":" + path_->utf8() + ")";
  return defaultDescription() + " (" + path_->utf8() + ")";
}

kit::Ref<kit::Data> KTDiskCache::getExtendedDataFromObject(const kit::Id& object) {
  if (!object) return nullptr;
  return kit::as<kit::Data>(object->associated(&kExtendedDataKey));
}

void KTDiskCache::setExtendedData(const kit::Ref<kit::Data>& extendedData, const kit::Id& object) {
  if (!object) return;
  object->setAssociated(&kExtendedDataKey, extendedData, kit::Association::Strong);
}

kit::Ref<kit::String> KTDiskCache::filenameForKey(const kit::Ref<kit::String>& key) const {
  if (!key) return nullptr;
  if (auto custom = customFileNameBlock()) {
    if (auto name = custom(key); name && !name->empty()) return name;
  }
  return kit::String::make(kit::md5Hex(key->utf8()));
}

// ---- Synchronous operations ------------------------------------------------

bool KTDiskCache::containsObjectForKey(const kit::Ref<kit::String>& key) {
  if (!key) return false;
  std::lock_guard lock(lock_);
  return kv_ && kv_->itemExistsForKey(key);
}

kit::Id KTDiskCache::objectForKey(const kit::Ref<kit::String>& key) {
  if (!key) return nullptr;
  kit::Ref<KTKVStorageItem> item;
  {
    std::lock_guard lock(lock_);
    if (kv_) item = kv_->getItemForKey(key);
  }
  if (!item || !item->value()) return nullptr;
  kit::Id object = unarchive(item->value(), customUnarchiveBlock());
  if (object && item->extendedData()) setExtendedData(item->extendedData(), object);
  return object;
}

void KTDiskCache::setObject(const kit::Id& object, const kit::Ref<kit::String>& key) {
  if (!key) return;
  if (!object) {
    removeObjectForKey(key);
    return;
  }
  kit::Ref<kit::Data> extendedData = getExtendedDataFromObject(object);
  kit::Ref<kit::Data> value = archive(object, customArchiveBlock());
  if (!value) return;
  kit::Ref<kit::String> filename;
  if (storageType_ != KTKVStorageTypeSQLite && value->length() > inlineThreshold_) filename = filenameForKey(key);
  std::lock_guard lock(lock_);
  if (kv_) kv_->saveItemWithKey(key, value, filename, extendedData);
}

void KTDiskCache::removeObjectForKey(const kit::Ref<kit::String>& key) {
  if (!key) return;
  std::lock_guard lock(lock_);
  if (kv_) kv_->removeItemForKey(key);
}

void KTDiskCache::removeAllObjects() {
  std::lock_guard lock(lock_);
  if (kv_) kv_->removeAllItems();
}

int64_t KTDiskCache::totalCount() {
  std::lock_guard lock(lock_);
  return kv_ ? kv_->getItemsCount() : 0;
}

int64_t KTDiskCache::totalCost() {
  std::lock_guard lock(lock_);
  return kv_ ? kv_->getItemsSize() : 0;
}

void KTDiskCache::trimToCount(uint64_t count) {
  std::lock_guard lock(lock_);
  trimToCountLocked(count);
}

void KTDiskCache::trimToCost(uint64_t cost) {
  std::lock_guard lock(lock_);
  trimToCostLocked(cost);
}

void KTDiskCache::trimToAge(double age) {
  std::lock_guard lock(lock_);
  trimToAgeLocked(age);
}

// ---- Asynchronous operations -----------------------------------------------

void KTDiskCache::async(std::function<void(KTDiskCache* self)> work) {
  queue_->async([weak = weakSelf<KTDiskCache>(), work = std::move(work)] {
    auto self = weak.lock();
    work(self.get());
  });
}

void KTDiskCache::containsObjectForKey(const kit::Ref<kit::String>& key,
                                       std::function<void(const kit::Ref<kit::String>&, bool)> block) {
  if (!block) return;
  async([key, block = std::move(block)](KTDiskCache* self) {
    bool contains = self && self->containsObjectForKey(key);
    block(key, contains);
  });
}

void KTDiskCache::objectForKey(const kit::Ref<kit::String>& key,
                               std::function<void(const kit::Ref<kit::String>&, const kit::Id&)> block) {
  if (!block) return;
  async([key, block = std::move(block)](KTDiskCache* self) {
    kit::Id object = self ? self->objectForKey(key) : nullptr;
    block(key, object);
  });
}

void KTDiskCache::setObject(const kit::Id& object, const kit::Ref<kit::String>& key, std::function<void()> block) {
  async([object, key, block = std::move(block)](KTDiskCache* self) {
    if (self) self->setObject(object, key);
    if (block) block();
  });
}

void KTDiskCache::removeObjectForKey(const kit::Ref<kit::String>& key,
                                     std::function<void(const kit::Ref<kit::String>&)> block) {
  async([key, block = std::move(block)](KTDiskCache* self) {
    if (self) self->removeObjectForKey(key);
    if (block) block(key);
  });
}

void KTDiskCache::removeAllObjectsWithBlock(std::function<void()> block) {
  async([block = std::move(block)](KTDiskCache* self) {
    if (self) self->removeAllObjects();
    if (block) block();
  });
}

void KTDiskCache::removeAllObjectsWithProgressBlock(std::function<void(int64_t, int64_t)> progress,
                                                    std::function<void(bool)> end) {
  async([progress = std::move(progress), end = std::move(end)](KTDiskCache* self) {
    if (!self) {
      if (end) end(true);
      return;
    }
    std::lock_guard lock(self->lock_);
    if (self->kv_) {
      self->kv_->removeAllItemsWithProgressBlock(progress, end);
    } else if (end) {
      end(true);
    }
  });
}

void KTDiskCache::totalCountWithBlock(std::function<void(int64_t)> block) {
  if (!block) return;
  async([block = std::move(block)](KTDiskCache* self) { block(self ? self->totalCount() : 0); });
}

void KTDiskCache::totalCostWithBlock(std::function<void(int64_t)> block) {
  if (!block) return;
  async([block = std::move(block)](KTDiskCache* self) { block(self ? self->totalCost() : 0); });
}

void KTDiskCache::trimToCount(uint64_t count, std::function<void()> block) {
  async([count, block = std::move(block)](KTDiskCache* self) {
    if (self) self->trimToCount(count);
    if (block) block();
  });
}

void KTDiskCache::trimToCost(uint64_t cost, std::function<void()> block) {
  async([cost, block = std::move(block)](KTDiskCache* self) {
    if (self) self->trimToCost(cost);
    if (block) block();
  });
}

void KTDiskCache::trimToAge(double age, std::function<void()> block) {
  async([age, block = std::move(block)](KTDiskCache* self) {
    if (self) self->trimToAge(age);
    if (block) block();
  });
}

// ---- Trimming --------------------------------------------------------------

void KTDiskCache::trimToCostLocked(uint64_t cost) {
  // The default limit (the largest value) never trims.
  if (!kv_ || cost >= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return;
  kv_->removeItemsToFitSize(static_cast<int64_t>(cost));
}

void KTDiskCache::trimToCountLocked(uint64_t count) {
  if (!kv_ || count >= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return;
  kv_->removeItemsToFitCount(static_cast<int64_t>(count));
}

void KTDiskCache::trimToAgeLocked(double age) {
  if (!kv_) return;
  if (age <= 0) {
    kv_->removeAllItems();
    return;
  }
  const double now = std::floor(kit::wallClockNow());
  if (now <= age) return;  // the default limit never trims
  auto cutoff = static_cast<int64_t>(now - age);
  // The storage reads 2147483647 as "everything"; one second less keeps
  // what is exactly that old, to go at the next trim.
  if (cutoff == KTKVStorage::NoLimit) --cutoff;
  kv_->removeItemsEarlierThanTime(cutoff);
}

void KTDiskCache::trimToFreeDiskSpaceLocked(uint64_t target) {
  if (!kv_ || target == 0) return;
  const int64_t total = kv_->getItemsSize();
  if (total <= 0) return;
  // The file system that holds the cache, which is where trimming frees space.
  auto attributes = kit::FileManager::defaultManager()->attributesOfFileSystemForPath(path_);
  auto free = attributes ? kit::as<kit::Number>(attributes->objectForKey(kit::FileSystemFreeSize)) : nullptr;
  if (!free) return;
  const uint64_t freeBytes = free->unsignedLongLongValue();
  if (freeBytes >= target) return;
  const uint64_t shortfall = target - freeBytes;
  const uint64_t stored = static_cast<uint64_t>(total);
  trimToCostLocked(stored > shortfall ? stored - shortfall : 0);
}

void KTDiskCache::trimRecursively() {
  kit::Queue::global(kit::Queue::Priority::Low).after(autoTrimInterval(), [weak = weakSelf<KTDiskCache>()] {
    auto self = weak.lock();
    if (!self) return;
    self->trimInBackground();
    self->trimRecursively();
  });
}

void KTDiskCache::trimInBackground() {
  async([](KTDiskCache* self) {
    if (!self) return;
    std::lock_guard lock(self->lock_);
    self->trimToCostLocked(self->costLimit());
    self->trimToCountLocked(self->countLimit());
    self->trimToAgeLocked(self->ageLimit());
    self->trimToFreeDiskSpaceLocked(self->freeDiskSpaceLimit());
  });
}
