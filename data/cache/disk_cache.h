// KTDiskCache: a thread-safe persistent object cache on a KTKVStorage.
//
// Objects become bytes through a caller's archive callback or the keyed
// archiver. Bytes up to the inline threshold (20480 by default) stay inline
// in the manifest; longer ones go to a file named by the MD5 hex of the key
// (or by the caller's file-name callback). One lock serialises every call
// into the storage, while archiving runs outside it. Every operation has a
// form that runs on the cache's own concurrent queue and calls back there,
// never on the main queue. The cache trims itself every 60 seconds by
// count, total size, age and the free space left on the file system that
// holds it.
//
// There is at most one live disk cache per folder in the process: creating
// one for a folder that already has one returns that one ("/p" and "/p/"
// are the same folder). On the application's terminate notification the
// cache closes its database, and from then on every operation gives the
// empty result (NO, nil, 0) without touching the disk.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <string>

#include "data/cache/kv_storage.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/data.h"
#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

class KTDiskCache : public kit::Object {
  KIT_OBJECT(KTDiskCache)
  struct Passkey {};

 public:
  using ArchiveBlock = std::function<kit::Ref<kit::Data>(const kit::Id& object)>;
  using UnarchiveBlock = std::function<kit::Id(const kit::Ref<kit::Data>& data)>;
  using FileNameBlock = std::function<kit::Ref<kit::String>(const kit::Ref<kit::String>& key)>;

  static constexpr uint64_t DefaultInlineThreshold = 20480;

  // The cache for the folder (the live one when there is one; the threshold
  // is then ignored), or nil when its storage cannot be created. A threshold
  // of 0 puts every value in a file, the largest value none.
  static kit::Ref<KTDiskCache> initWithPath(const kit::Ref<kit::String>& path);
  static kit::Ref<KTDiskCache> initWithPath(const kit::Ref<kit::String>& path, uint64_t inlineThreshold);
  // Raises "KTDiskCache init error": a path is required.
  [[noreturn]] static kit::Ref<KTDiskCache> init();

  KTDiskCache(Passkey, kit::Ref<KTKVStorage> storage, kit::Ref<kit::String> path, uint64_t inlineThreshold);
  ~KTDiskCache() override;

  kit::Ref<kit::String> name() const;
  void setName(const kit::Ref<kit::String>& name);
  const kit::Ref<kit::String>& path() const { return path_; }
  uint64_t inlineThreshold() const { return inlineThreshold_; }

  ArchiveBlock customArchiveBlock() const;
  void setCustomArchiveBlock(ArchiveBlock block);
  UnarchiveBlock customUnarchiveBlock() const;
  void setCustomUnarchiveBlock(UnarchiveBlock block);
  FileNameBlock customFileNameBlock() const;
  void setCustomFileNameBlock(FileNameBlock block);

  uint64_t countLimit() const { return countLimit_.load(std::memory_order_relaxed); }
  void setCountLimit(uint64_t v) { countLimit_.store(v, std::memory_order_relaxed); }
  uint64_t costLimit() const { return costLimit_.load(std::memory_order_relaxed); }
  void setCostLimit(uint64_t v) { costLimit_.store(v, std::memory_order_relaxed); }
  double ageLimit() const { return ageLimit_.load(std::memory_order_relaxed); }
  void setAgeLimit(double v) { ageLimit_.store(v, std::memory_order_relaxed); }
  // Free space, in bytes, to keep on the cache's file system (0: off).
  uint64_t freeDiskSpaceLimit() const { return freeDiskSpaceLimit_.load(std::memory_order_relaxed); }
  void setFreeDiskSpaceLimit(uint64_t v) { freeDiskSpaceLimit_.store(v, std::memory_order_relaxed); }
  double autoTrimInterval() const { return autoTrimInterval_.load(std::memory_order_relaxed); }
  void setAutoTrimInterval(double v) { autoTrimInterval_.store(v, std::memory_order_relaxed); }

  bool errorLogsEnabled();
  void setErrorLogsEnabled(bool enabled);

  // ---- Synchronous operations
  bool containsObjectForKey(const kit::Ref<kit::String>& key);
  kit::Id objectForKey(const kit::Ref<kit::String>& key);
  // A nil object removes the key. An object that cannot be archived is not
  // stored, and the value stored before stays.
  void setObject(const kit::Id& object, const kit::Ref<kit::String>& key);
  void removeObjectForKey(const kit::Ref<kit::String>& key);
  void removeAllObjects();
  // -1 when the storage cannot answer.
  int64_t totalCount();
  int64_t totalCost();
  void trimToCount(uint64_t count);
  void trimToCost(uint64_t cost);
  void trimToAge(double age);

  // ---- The same on the cache's queue, calling back there. A cache released
  // before the work runs gives the empty result (end: error YES).
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
  void totalCountWithBlock(std::function<void(int64_t count)> block);
  void totalCostWithBlock(std::function<void(int64_t cost)> block);
  void trimToCount(uint64_t count, std::function<void()> block);
  void trimToCost(uint64_t cost, std::function<void()> block);
  void trimToAge(double age, std::function<void()> block);

  std::string description() const override;

  // Extended data travels with an object: attached before setObject, it is
  // stored beside the object's bytes and attached to what objectForKey
  // returns. nil data detaches it; a nil object does nothing.
  static kit::Ref<kit::Data> getExtendedDataFromObject(const kit::Id& object);
  static void setExtendedData(const kit::Ref<kit::Data>& extendedData, const kit::Id& object);

 private:
  void startObserving();
  void trimRecursively();
  void trimInBackground();
  // Called with the lock held.
  void trimToCostLocked(uint64_t cost);
  void trimToCountLocked(uint64_t count);
  void trimToAgeLocked(double age);
  void trimToFreeDiskSpaceLocked(uint64_t target);
  kit::Ref<kit::String> filenameForKey(const kit::Ref<kit::String>& key) const;
  void appWillBeTerminated();
  // Runs `work` on the queue with the cache if it still lives.
  void async(std::function<void(KTDiskCache* self)> work);

  std::mutex lock_;  // guards kv_ and every call into it
  kit::Ref<KTKVStorage> kv_;
  const KTKVStorageType storageType_;
  const kit::Ref<kit::String> path_;
  const uint64_t inlineThreshold_;
  kit::Ref<kit::Queue> queue_;

  std::atomic<uint64_t> countLimit_{std::numeric_limits<uint64_t>::max()};
  std::atomic<uint64_t> costLimit_{std::numeric_limits<uint64_t>::max()};
  std::atomic<double> ageLimit_{std::numeric_limits<double>::max()};
  std::atomic<uint64_t> freeDiskSpaceLimit_{0};
  std::atomic<double> autoTrimInterval_{60.0};

  mutable std::mutex propertyLock_;  // name and the three callbacks
  kit::Ref<kit::String> name_;
  ArchiveBlock archiveBlock_;
  UnarchiveBlock unarchiveBlock_;
  FileNameBlock fileNameBlock_;
  kit::Id terminateObserver_;
};
