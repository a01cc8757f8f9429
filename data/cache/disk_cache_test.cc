// The disk cache over real storage: one cache per folder, inline and file
// values by threshold, archiving failures, extended data, asynchronous
// operations, the terminate notice and the periodic trims.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "data/cache/disk_cache.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/crypto.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

using kit::Ref;
using kit::str;

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  if (auto list = kit::FileManager::defaultManager()->contentsOfDirectoryAtPath(folder)) {
    for (const kit::Id& name : *list) names.insert(kit::describe(name));
  }
  return names;
}

// Stores Data objects as their own bytes, so that sizes are exact.
void storeBytesAsThey(KTDiskCache& cache) {
  cache.setCustomArchiveBlock([](const kit::Id& object) { return kit::as<kit::Data>(object); });
  cache.setCustomUnarchiveBlock([](const Ref<kit::Data>& data) -> kit::Id { return data; });
}

Ref<kit::Data> filled(size_t length) { return kit::Data::make(std::string(length, 'v')); }

// An object the keyed archiver refuses.
class Unarchivable : public kit::Object {};

class DiskCacheTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ASSERT_TRUE(kit::test::runUntil([&] { return filesIn(root() + "/trash").empty(); }));
  }
  std::string root() const { return dir_.file("cache"); }
  Ref<KTDiskCache> make(uint64_t threshold = KTDiskCache::DefaultInlineThreshold) {
    return KTDiskCache::initWithPath(str(root()), threshold);
  }
  kit::test::TempDirectory dir_{"disk-cache"};
};

// ---- One cache per folder --------------------------------------------------

TEST_F(DiskCacheTest, OneCachePerFolderEvenFromManyThreads) {
  std::vector<Ref<KTDiskCache>> made(8);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < made.size(); ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready < 8) std::this_thread::yield();
      made[i] = KTDiskCache::initWithPath(str(i % 2 ? root() + "/" : root()));
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(made[0]);
  for (const auto& cache : made) EXPECT_EQ(cache, made[0]);
  EXPECT_EQ(KTDiskCache::initWithPath(str(dir_.path() + "//cache//"), 0), made[0]);
  EXPECT_EQ(made[0]->inlineThreshold(), KTDiskCache::DefaultInlineThreshold);

  kit::Weak<KTDiskCache> first = made[0];
  made.clear();
  EXPECT_TRUE(first.expired());
  auto again = make(0);
  EXPECT_EQ(again->inlineThreshold(), 0u);
}

TEST_F(DiskCacheTest, CreationNeedsAPathAndAWorkingStorage) {
  try {
    KTDiskCache::init();
    FAIL() << "init must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "KTDiskCache init error");
    EXPECT_EQ(e.reason(),
              "KTDiskCache must be initialized with a path. Use 'initWithPath:' or 'initWithPath:inlineThreshold:' "
              "instead.");
  }
  kit::test::LogCapture logs;
  EXPECT_FALSE(KTDiskCache::initWithPath(str("")));
  EXPECT_FALSE(KTDiskCache::initWithPath(nullptr));
  EXPECT_TRUE(logs.contains("KTKVStorage init error: invalid path"));
  ASSERT_TRUE(kit::writeDataToFile(*kit::Data::make("x"), dir_.file("file"), false));
  EXPECT_FALSE(KTDiskCache::initWithPath(str(dir_.file("file") + "/cache")));

  auto cache = make();
  EXPECT_EQ(cache->description(), cache->defaultDescription() + " (" + root() + ")");
  cache->setName(str("images"));
  EXPECT_EQ(cache->description(), cache->defaultDescription() + " (images:" + root() + ")");
  EXPECT_TRUE(cache->errorLogsEnabled());
  cache->setErrorLogsEnabled(false);
  EXPECT_FALSE(cache->errorLogsEnabled());
}

// ---- Inline or file --------------------------------------------------------

TEST_F(DiskCacheTest, TheThresholdDecidesBetweenInlineAndAFileNamedByTheKeysDigest) {
  auto cache = make();
  storeBytesAsThey(*cache);
  cache->setObject(filled(20480), str("exactly"));
  EXPECT_TRUE(filesIn(root() + "/data").empty());
  cache->setObject(filled(20481), str("over"));
  EXPECT_EQ(filesIn(root() + "/data"), std::set<std::string>{kit::md5Hex("over")});
  EXPECT_EQ(kit::md5Hex("over").size(), 32u);
  EXPECT_EQ(kit::as<kit::Data>(cache->objectForKey(str("over")))->length(), 20481u);
  EXPECT_EQ(kit::as<kit::Data>(cache->objectForKey(str("exactly")))->length(), 20480u);
  EXPECT_EQ(cache->totalCost(), 40961);
  EXPECT_EQ(cache->totalCount(), 2);

  cache->setCustomFileNameBlock([](const Ref<kit::String>& key) { return str("named-" + key->utf8()); });
  cache->setObject(filled(30000), str("custom"));
  EXPECT_TRUE(filesIn(root() + "/data").count("named-custom"));
  // Shrinking below the threshold moves the value inline and the file goes.
  cache->setObject(filled(10), str("over"));
  EXPECT_FALSE(filesIn(root() + "/data").count(kit::md5Hex("over")));
}

TEST_F(DiskCacheTest, ThresholdZeroFilesEverythingAndTheLargestFilesNothing) {
  {
    auto cache = make(0);
    storeBytesAsThey(*cache);
    cache->setObject(filled(1), str("tiny"));
    EXPECT_EQ(filesIn(root() + "/data"), std::set<std::string>{kit::md5Hex("tiny")});
    cache->removeObjectForKey(str("tiny"));
    EXPECT_TRUE(filesIn(root() + "/data").empty());
  }
  auto cache = KTDiskCache::initWithPath(str(dir_.file("inline")), std::numeric_limits<uint64_t>::max());
  storeBytesAsThey(*cache);
  cache->setObject(filled(200000), str("huge"));
  EXPECT_TRUE(filesIn(dir_.file("inline") + "/data").empty());
  EXPECT_EQ(kit::as<kit::Data>(cache->objectForKey(str("huge")))->length(), 200000u);
}

// ---- Archiving -------------------------------------------------------------

TEST_F(DiskCacheTest, ObjectsGoThroughTheKeyedArchiver) {
  auto cache = make();
  auto value = kit::dict({{"name", "Ada"}, {"level", 7}, {"tags", kit::array({"a", "b"})}});
  cache->setObject(value, str("profile"));
  kit::Id back = cache->objectForKey(str("profile"));
  ASSERT_TRUE(back);
  EXPECT_NE(back, kit::Id(value));
  EXPECT_TRUE(kit::isEqual(back, value));
  EXPECT_TRUE(cache->containsObjectForKey(str("profile")));
  EXPECT_FALSE(cache->containsObjectForKey(str("nobody")));
  EXPECT_FALSE(cache->containsObjectForKey(nullptr));
  EXPECT_FALSE(cache->objectForKey(nullptr));
  cache->setObject(nullptr, str("profile"));
  EXPECT_FALSE(cache->containsObjectForKey(str("profile")));
}

TEST_F(DiskCacheTest, AnObjectThatCannotBeArchivedLeavesTheOldValue) {
  auto cache = make();
  cache->setObject(str("old"), str("k"));
  EXPECT_NO_THROW(cache->setObject(kit::make<Unarchivable>(), str("k")));
  EXPECT_EQ(kit::describe(cache->objectForKey(str("k"))), "old");

  cache->setCustomArchiveBlock([](const kit::Id&) -> Ref<kit::Data> { kit::raise("Boom", "cannot"); });
  EXPECT_NO_THROW(cache->setObject(str("new"), str("k")));
  cache->setCustomArchiveBlock([](const kit::Id&) -> Ref<kit::Data> { return nullptr; });
  cache->setObject(str("new"), str("k"));
  cache->setCustomArchiveBlock(nullptr);
  EXPECT_EQ(kit::describe(cache->objectForKey(str("k"))), "old");

  // Unreadable bytes read as nil and stay stored.
  cache->setCustomUnarchiveBlock([](const Ref<kit::Data>&) -> kit::Id { kit::raise("Boom", "cannot"); });
  EXPECT_FALSE(cache->objectForKey(str("k")));
  EXPECT_TRUE(cache->containsObjectForKey(str("k")));
  cache->setCustomUnarchiveBlock(nullptr);
  cache->setCustomArchiveBlock([](const kit::Id&) { return kit::Data::make("not an archive"); });
  cache->setObject(str("x"), str("garbage"));
  cache->setCustomArchiveBlock(nullptr);
  EXPECT_FALSE(cache->objectForKey(str("garbage")));
  EXPECT_TRUE(cache->containsObjectForKey(str("garbage")));
}

TEST_F(DiskCacheTest, ExtendedDataTravelsWithTheObject) {
  auto cache = make();
  auto object = kit::MutableString::make("payload");
  EXPECT_FALSE(KTDiskCache::getExtendedDataFromObject(object));
  KTDiskCache::setExtendedData(kit::Data::make("etag:42"), object);
  EXPECT_EQ(KTDiskCache::getExtendedDataFromObject(object)->toString(), "etag:42");
  cache->setObject(object, str("k"));
  kit::Id back = cache->objectForKey(str("k"));
  ASSERT_TRUE(back);
  EXPECT_NE(back, kit::Id(object));
  EXPECT_EQ(KTDiskCache::getExtendedDataFromObject(back)->toString(), "etag:42");

  KTDiskCache::setExtendedData(nullptr, object);
  EXPECT_FALSE(KTDiskCache::getExtendedDataFromObject(object));
  KTDiskCache::setExtendedData(kit::Data::make("x"), nullptr);
  EXPECT_FALSE(KTDiskCache::getExtendedDataFromObject(nullptr));
}

// ---- Asynchronous operations -----------------------------------------------

TEST_F(DiskCacheTest, AsynchronousOperationsCallBackOffTheMainThread) {
  auto cache = make();
  storeBytesAsThey(*cache);
  std::atomic<int> done{0};
  std::atomic<int> onMain{0};
  auto note = [&] {
    onMain += kit::RunLoop::isMainThread();
    ++done;
  };
  cache->setObject(filled(100), str("a"), note);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 1; }));

  std::atomic<bool> contains{false};
  std::atomic<int64_t> count{-2}, cost{-2};
  Ref<kit::Data> found;
  std::mutex foundMutex;
  cache->containsObjectForKey(str("a"), [&](const Ref<kit::String>& key, bool yes) {
    EXPECT_EQ(key->utf8(), "a");
    contains = yes;
    note();
  });
  cache->objectForKey(str("a"), [&](const Ref<kit::String>&, const kit::Id& object) {
    std::lock_guard lock(foundMutex);
    found = kit::as<kit::Data>(object);
    note();
  });
  cache->totalCountWithBlock([&](int64_t n) {
    count = n;
    note();
  });
  cache->totalCostWithBlock([&](int64_t n) {
    cost = n;
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 5; }));
  EXPECT_TRUE(contains);
  EXPECT_EQ(found->length(), 100u);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(cost, 100);

  // The queue is concurrent: each step waits for the one before.
  cache->setObject(filled(10), str("b"), nullptr);  // runs without a callback
  ASSERT_TRUE(kit::test::runUntil([&] { return cache->totalCount() == 2; }));
  cache->trimToAge(1e9, note);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 6; }));
  cache->trimToCost(1000, note);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 7; }));
  EXPECT_EQ(cache->totalCount(), 2);
  cache->trimToCount(1, note);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 8; }));
  EXPECT_EQ(cache->totalCount(), 1);
  cache->removeObjectForKey(str("b"), [&](const Ref<kit::String>& key) {
    EXPECT_EQ(key->utf8(), "b");
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 9; }));
  EXPECT_EQ(cache->totalCount(), 0);

  cache->setObject(filled(10), str("c"));
  EXPECT_EQ(cache->totalCount(), 1);
  std::vector<std::pair<int64_t, int64_t>> steps;
  std::atomic<int> ended{-1};
  cache->removeAllObjectsWithProgressBlock([&](int64_t removed, int64_t total) { steps.emplace_back(removed, total); },
                                           [&](bool error) {
                                             ended = error;
                                             note();
                                           });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 10; }));
  EXPECT_EQ(ended, 0);
  EXPECT_EQ(steps, (std::vector<std::pair<int64_t, int64_t>>{{1, 1}}));
  cache->setObject(filled(10), str("d"));
  cache->removeAllObjectsWithBlock(note);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 11; }));
  EXPECT_EQ(cache->totalCount(), 0);
  EXPECT_EQ(onMain, 0);
}

// Keeps every worker of the shared pool busy until released, so that work
// queued meanwhile starts only afterwards.
class BusyWorkers {
 public:
  explicit BusyWorkers(int workers) : workers_(workers) {
    for (int i = 0; i < workers; ++i) {
      kit::Queue::global(kit::Queue::Priority::High).async([this] {
        std::unique_lock lock(mutex_);
        ++started_;
        cv_.notify_all();
        cv_.wait(lock, [this] { return released_; });
        ++finished_;
        cv_.notify_all();
      });
    }
  }
  bool allBusy() {
    return kit::test::runUntil([&] {
      std::lock_guard lock(mutex_);
      return started_ == workers_;
    });
  }
  void release() {
    std::unique_lock lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }
  ~BusyWorkers() {
    release();
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return finished_ == started_; });
  }

 private:
  const int workers_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int started_ = 0, finished_ = 0;
  bool released_ = false;
};

TEST_F(DiskCacheTest, WorkForACacheReleasedMeanwhileGivesEmptyResults) {
  auto cache = make();
  cache->setObject(str("v"), str("k"));
  std::atomic<int> done{0};
  std::atomic<bool> contains{true}, ended{false}, errored{false}, stored{false};
  std::atomic<int64_t> count{-2};
  std::atomic<bool> gotObject{true};
  {
    BusyWorkers busy(64);  // the pool's thread limit
    ASSERT_TRUE(busy.allBusy()) << "the worker pool grew beyond 64 threads";
    cache->containsObjectForKey(str("k"), [&](const Ref<kit::String>&, bool yes) {
      contains = yes;
      ++done;
    });
    cache->objectForKey(str("k"), [&](const Ref<kit::String>&, const kit::Id& object) {
      gotObject = object != nullptr;
      ++done;
    });
    cache->totalCountWithBlock([&](int64_t n) {
      count = n;
      ++done;
    });
    cache->setObject(str("w"), str("k2"), [&] {
      stored = true;
      ++done;
    });
    cache->removeAllObjectsWithProgressBlock(nullptr, [&](bool error) {
      ended = true;
      errored = error;
      ++done;
    });
    cache.reset();
    busy.release();
    ASSERT_TRUE(kit::test::runUntil([&] { return done == 5; }));
  }
  EXPECT_FALSE(contains);
  EXPECT_FALSE(gotObject);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(stored);
  EXPECT_TRUE(ended && errored);
  // Nothing was written by the work that found the cache gone.
  auto reopened = make();
  EXPECT_EQ(reopened->totalCount(), 1);
  EXPECT_EQ(kit::describe(reopened->objectForKey(str("k"))), "v");
}

// ---- Termination -----------------------------------------------------------

TEST_F(DiskCacheTest, AfterTheTerminateNoticeEveryOperationIsEmpty) {
  auto cache = make();
  cache->setObject(str("v"), str("k"));
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationWillTerminateNotification);
  EXPECT_FALSE(cache->objectForKey(str("k")));
  EXPECT_FALSE(cache->containsObjectForKey(str("k")));
  EXPECT_EQ(cache->totalCount(), 0);
  EXPECT_EQ(cache->totalCost(), 0);
  EXPECT_FALSE(cache->errorLogsEnabled());
  cache->setObject(str("w"), str("k2"));
  cache->removeObjectForKey(str("k"));
  cache->removeAllObjects();
  cache->trimToCount(0);
  std::atomic<int> ended{-1};
  cache->removeAllObjectsWithProgressBlock(nullptr, [&](bool error) { ended = error; });
  ASSERT_TRUE(kit::test::runUntil([&] { return ended != -1; }));
  EXPECT_EQ(ended, 1);
  cache.reset();
  // The database was closed, not emptied.
  auto reopened = make();
  EXPECT_EQ(kit::describe(reopened->objectForKey(str("k"))), "v");
  EXPECT_FALSE(reopened->containsObjectForKey(str("k2")));
}

// ---- Trims -----------------------------------------------------------------

TEST_F(DiskCacheTest, ExplicitTrimsByCountCostAndAge) {
  auto cache = make(0);
  storeBytesAsThey(*cache);
  for (int i = 0; i < 10; ++i) cache->setObject(filled(100), str("k" + std::to_string(i)));
  cache->trimToCount(std::numeric_limits<uint64_t>::max());
  cache->trimToCost(std::numeric_limits<uint64_t>::max());
  cache->trimToAge(std::numeric_limits<double>::max());
  EXPECT_EQ(cache->totalCount(), 10);
  cache->trimToCount(6);
  EXPECT_EQ(cache->totalCount(), 6);
  cache->trimToCost(300);
  EXPECT_EQ(cache->totalCost(), 300);
  EXPECT_EQ(filesIn(root() + "/data").size(), 3u);
  cache->trimToAge(0);
  EXPECT_EQ(cache->totalCount(), 0);
}

class DiskCacheTrimTest : public kit::test::VirtualClockTest {
 protected:
  std::string root() const { return dir_.file("cache"); }
  kit::test::TempDirectory dir_{"disk-cache-trim"};
};

TEST_F(DiskCacheTrimTest, ThePeriodicTrimKeepsFreeSpaceOnTheCachesFileSystem) {
  auto cache = KTDiskCache::initWithPath(str(root()));
  storeBytesAsThey(*cache);
  for (int i = 0; i < 10; ++i) {
    cache->setObject(filled(1000), str("k" + std::to_string(i)));
    advance(1);  // distinct access times, oldest first
  }
  // The cache's folder reports 5000 bytes free; every other place its truth.
  const std::string folder = root();
  auto previous = kit::FileManager::setFileSystemFreeSizeHook(
      [folder](const std::string& path) -> std::optional<unsigned long long> {
        if (path.starts_with(folder)) return 5000;
        return std::nullopt;
      });
  cache->setFreeDiskSpaceLimit(8000);
  advance(60);
  ASSERT_TRUE(kit::test::runUntil([&] { return cache->totalCost() == 7000; }));
  kit::FileManager::setFileSystemFreeSizeHook(previous);
  EXPECT_FALSE(cache->containsObjectForKey(str("k2")));
  EXPECT_TRUE(cache->containsObjectForKey(str("k3")));
  advance(60);
  EXPECT_EQ(cache->totalCount(), 7);  // with the real free space nothing goes
}

TEST_F(DiskCacheTrimTest, ThePeriodicTrimAppliesLimitsWhoseDefaultsNeverTrim) {
  auto cache = KTDiskCache::initWithPath(str(root()));
  for (int i = 0; i < 20; ++i) cache->setObject(kit::num(i), str("k" + std::to_string(i)));
  advance(3600);
  EXPECT_EQ(cache->totalCount(), 20);
  cache->setCountLimit(15);
  advance(60);
  ASSERT_TRUE(kit::test::runUntil([&] { return cache->totalCount() == 15; }));
  EXPECT_TRUE(cache->containsObjectForKey(str("k19")));
}

TEST(DiskCacheAgeTrim, WorksAfter2038) {
  kit::VirtualClock clock(5'000'000'000.0);  // the year 2128
  kit::test::TempDirectory dir("disk-cache-age");
  auto cache = KTDiskCache::initWithPath(str(dir.file("cache")));
  cache->setObject(str("old"), str("old"));
  clock.advance(100);
  cache->setObject(str("new"), str("new"));
  cache->setAgeLimit(90);
  clock.advance(20);  // the trim at 60 s found nothing older than 90 s; at 120 s "old" is 120 s old
  ASSERT_TRUE(kit::test::runUntil([&] { return !cache->containsObjectForKey(str("old")); }));
  EXPECT_TRUE(cache->containsObjectForKey(str("new")));
}

}  // namespace
