// The memory cache: eviction order under count, cost and age limits, trims,
// application events, the thread that destroys removed values, and many
// threads at once.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "data/cache/memory_cache.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

using kit::Ref;
using kit::str;

// A value that reports the thread its destructor ran on.
struct Death {
  std::atomic<bool> happened{false};
  std::atomic<bool> onMainThread{false};
  std::thread::id thread;
  std::mutex mutex;
};

class Tracked : public kit::Object {
 public:
  explicit Tracked(std::shared_ptr<Death> death, std::function<void()> last = {})
      : death_(std::move(death)), last_(std::move(last)) {}
  ~Tracked() override {
    if (last_) last_();
    std::lock_guard lock(death_->mutex);
    death_->thread = std::this_thread::get_id();
    death_->onMainThread = kit::RunLoop::isMainThread();
    death_->happened = true;
  }

 private:
  std::shared_ptr<Death> death_;
  std::function<void()> last_;
};

bool has(KTMemoryCache& cache, const char* key) { return cache.containsObjectForKey(str(key)); }

TEST(MemoryCache, CountLimitEvictsTheLeastRecentlyUsed) {
  auto cache = KTMemoryCache::make();
  cache->setCountLimit(2);
  cache->setObject(kit::num(1), str("a"));
  cache->setObject(kit::num(2), str("b"));
  cache->setObject(kit::num(3), str("c"));
  EXPECT_FALSE(has(*cache, "a"));
  EXPECT_TRUE(has(*cache, "b") && has(*cache, "c"));
  EXPECT_EQ(cache->totalCount(), 2u);

  cache->removeAllObjects();
  cache->setObject(kit::num(1), str("a"));
  cache->setObject(kit::num(2), str("b"));
  EXPECT_EQ(kit::describe(cache->objectForKey(str("a"))), "1");  // a is now the newest
  cache->setObject(kit::num(3), str("c"));
  EXPECT_TRUE(has(*cache, "a"));
  EXPECT_FALSE(has(*cache, "b"));

  // Asking whether a key is there is not an access.
  cache->removeAllObjects();
  cache->setObject(kit::num(1), str("a"));
  cache->setObject(kit::num(2), str("b"));
  EXPECT_TRUE(has(*cache, "a"));
  cache->setObject(kit::num(3), str("c"));
  EXPECT_FALSE(has(*cache, "a"));
  EXPECT_TRUE(has(*cache, "b"));
}

TEST(MemoryCache, CostsAddUpAndReplacingAdjustsThem) {
  auto cache = KTMemoryCache::make();
  cache->setObject(kit::num(1), str("a"), 10);
  cache->setObject(kit::num(2), str("b"), 5);
  EXPECT_EQ(cache->totalCost(), 15u);
  cache->setObject(kit::num(3), str("a"), 4);
  EXPECT_EQ(cache->totalCost(), 9u);
  EXPECT_EQ(cache->totalCount(), 2u);
  EXPECT_EQ(kit::describe(cache->objectForKey(str("a"))), "3");
  cache->setObject(kit::num(4), str("b"));  // cost 0
  EXPECT_EQ(cache->totalCost(), 4u);
  cache->removeObjectForKey(str("a"));
  EXPECT_EQ(cache->totalCost(), 0u);
  EXPECT_EQ(cache->totalCount(), 1u);
}

TEST(MemoryCache, NilKeysAreIgnoredAndNilObjectsRemove) {
  auto cache = KTMemoryCache::make();
  cache->setObject(kit::num(1), str("a"));
  cache->setObject(kit::num(2), nullptr);
  cache->removeObjectForKey(nullptr);
  EXPECT_FALSE(cache->objectForKey(nullptr));
  EXPECT_FALSE(cache->containsObjectForKey(nullptr));
  EXPECT_EQ(cache->totalCount(), 1u);
  cache->setObject(nullptr, str("a"));
  EXPECT_FALSE(has(*cache, "a"));
  EXPECT_EQ(cache->totalCount(), 0u);
}

TEST(MemoryCache, TrimsKeepTheNewestAndZeroEmpties) {
  auto cache = KTMemoryCache::make();
  for (int i = 0; i < 10; ++i) cache->setObject(kit::num(i), kit::num(i), 1);
  cache->trimToCount(4);
  EXPECT_EQ(cache->totalCount(), 4u);
  EXPECT_TRUE(cache->containsObjectForKey(kit::num(6)));
  EXPECT_FALSE(cache->containsObjectForKey(kit::num(5)));
  cache->trimToCost(2);
  EXPECT_EQ(cache->totalCost(), 2u);
  EXPECT_TRUE(cache->containsObjectForKey(kit::num(9)));
  cache->trimToAge(1000);  // nothing is that old
  EXPECT_EQ(cache->totalCount(), 2u);

  for (auto trim : std::vector<std::function<void()>>{[&] { cache->trimToCount(0); }, [&] { cache->trimToCost(0); },
                                                      [&] { cache->trimToAge(0); }, [&] { cache->trimToAge(-1); }}) {
    cache->setObject(kit::num(1), str("x"), 1);
    trim();
    EXPECT_EQ(cache->totalCount(), 0u);
    EXPECT_EQ(cache->totalCost(), 0u);
  }
}

TEST(MemoryCache, GoingOverTheCostLimitTrimsSoonAfter) {
  auto cache = KTMemoryCache::make();
  cache->setCostLimit(10);
  cache->setObject(kit::num(1), str("a"), 6);
  cache->setObject(kit::num(2), str("b"), 6);
  ASSERT_TRUE(kit::test::runUntil([&] { return cache->totalCost() <= 10; }));
  EXPECT_FALSE(has(*cache, "a"));
  EXPECT_TRUE(has(*cache, "b"));
}

TEST(MemoryCache, DescriptionShowsTheName) {
  auto cache = KTMemoryCache::make();
  EXPECT_EQ(cache->description(), cache->defaultDescription());
  EXPECT_TRUE(cache->description().starts_with("<KTMemoryCache: 0x"));
  cache->setName(str("avatars"));
  EXPECT_EQ(cache->description(), cache->defaultDescription() + " (avatars)");
  EXPECT_EQ(kit::describe(cache->name()), "avatars");
}

// ---- Application events ----------------------------------------------------

TEST(MemoryCache, EnteringTheBackgroundCallsTheCallbackThenEmpties) {
  auto cache = KTMemoryCache::make();
  cache->setObject(kit::num(1), str("a"));
  std::optional<uint64_t> countDuringCallback;
  cache->setDidEnterBackgroundBlock([&](const Ref<KTMemoryCache>& c) {
    EXPECT_EQ(c, cache);
    countDuringCallback = c->totalCount();
  });
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidEnterBackgroundNotification);
  EXPECT_EQ(countDuringCallback, 1u);
  EXPECT_EQ(cache->totalCount(), 0u);

  cache->setShouldRemoveAllObjectsWhenEnteringBackground(false);
  cache->setObject(kit::num(1), str("a"));
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidEnterBackgroundNotification);
  EXPECT_EQ(cache->totalCount(), 1u);
}

TEST(MemoryCache, MemoryWarningsEmptyTheCacheUnlessSwitchedOff) {
  auto cache = KTMemoryCache::make();
  int warnings = 0;
  cache->setDidReceiveMemoryWarningBlock([&](const Ref<KTMemoryCache>&) { ++warnings; });
  cache->setShouldRemoveAllObjectsOnMemoryWarning(false);
  for (int i = 0; i < 3; ++i) cache->setObject(kit::num(i), kit::num(i));
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(cache->totalCount(), 3u);

  cache->setShouldRemoveAllObjectsOnMemoryWarning(true);
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
  EXPECT_EQ(warnings, 2);
  EXPECT_EQ(cache->totalCount(), 0u);

  // A cache that is gone no longer listens.
  cache.reset();
  kit::NotificationCenter::defaultCenter()->postNotificationName(kit::ApplicationDidReceiveMemoryWarningNotification);
  EXPECT_EQ(warnings, 2);
}

// ---- Where removed values die ----------------------------------------------

TEST(MemoryCache, EvictedValuesDieOffTheCallersThreadByDefault) {
  auto cache = KTMemoryCache::make();
  cache->setCountLimit(1);
  auto death = std::make_shared<Death>();
  cache->setObject(kit::make<Tracked>(death), str("a"));
  cache->setObject(kit::num(2), str("b"));
  ASSERT_TRUE(kit::test::runUntil([&] { return death->happened.load(); }));
  std::lock_guard lock(death->mutex);
  EXPECT_NE(death->thread, std::this_thread::get_id());
  EXPECT_FALSE(death->onMainThread);
}

TEST(MemoryCache, ReleaseOnMainThreadDestroysOnTheMainQueue) {
  auto cache = KTMemoryCache::make();
  cache->setReleaseOnMainThread(true);
  EXPECT_TRUE(cache->releaseOnMainThread());
  for (bool asynchronously : {true, false}) {
    cache->setReleaseAsynchronously(asynchronously);
    auto death = std::make_shared<Death>();
    std::thread worker([&] {
      cache->setObject(kit::make<Tracked>(death), str("a"));
      cache->removeObjectForKey(str("a"));
    });
    worker.join();
    ASSERT_TRUE(kit::test::runUntil([&] { return death->happened.load(); }));
    EXPECT_TRUE(death->onMainThread) << "asynchronously " << asynchronously;
  }
}

TEST(MemoryCache, SynchronousReleaseHappensAfterTheLockIsLetGo) {
  // A value whose destructor uses the cache: destroyed under the cache's
  // lock it would deadlock.
  auto cache = KTMemoryCache::make();
  cache->setReleaseAsynchronously(false);
  EXPECT_FALSE(cache->releaseAsynchronously());
  cache->setCountLimit(1);
  auto death = std::make_shared<Death>();
  KTMemoryCache* raw = cache.get();
  std::optional<uint64_t> seen;
  cache->setObject(kit::make<Tracked>(death, [&] { seen = raw->totalCount(); }), str("a"));
  cache->setObject(kit::num(2), str("b"));  // evicts a, in place
  EXPECT_TRUE(death->happened);
  EXPECT_EQ(seen, 1u);

  auto replacedDeath = std::make_shared<Death>();
  cache->setObject(kit::make<Tracked>(replacedDeath, [&] { raw->containsObjectForKey(str("b")); }), str("b"));
  cache->setObject(kit::num(3), str("b"));  // replaces the value
  EXPECT_TRUE(replacedDeath->happened);
  cache->setObject(kit::make<Tracked>(std::make_shared<Death>(), [&] { raw->totalCost(); }), str("b"));
  cache->removeAllObjects();
  EXPECT_EQ(cache->totalCount(), 0u);
}

TEST(MemoryCache, ManyThreadsKeepTheTotalsConsistent) {
  auto cache = KTMemoryCache::make();
  cache->setCountLimit(64);
  std::vector<Ref<kit::Number>> keys;
  for (int i = 0; i < 200; ++i) keys.push_back(kit::num(i));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(t);
      for (int i = 0; i < 20000; ++i) {
        const auto& key = keys[random() % keys.size()];
        switch (random() % 8) {
          case 0: cache->removeObjectForKey(key); break;
          case 1: cache->setObject(nullptr, key); break;
          case 2: cache->trimToCount(32); break;
          case 3: case 4: cache->setObject(key, key, 1); break;
          default: {
            kit::Id value = cache->objectForKey(key);
            if (value) {
              ASSERT_TRUE(kit::isEqual(value, key));
            }
          }
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_LE(cache->totalCount(), 64u);
  EXPECT_EQ(cache->totalCost(), cache->totalCount());
  uint64_t present = 0;
  for (const auto& key : keys) present += cache->containsObjectForKey(key);
  EXPECT_EQ(present, cache->totalCount());
}

// ---- The periodic trim -----------------------------------------------------

class MemoryCacheTrimTest : public kit::test::VirtualClockTest {};

TEST_F(MemoryCacheTrimTest, TheFiveSecondTrimEnforcesTheAgeLimit) {
  auto cache = KTMemoryCache::make();
  cache->setAgeLimit(10);
  cache->setObject(kit::num(1), str("old"));
  advance(6);
  cache->setObject(kit::num(2), str("young"));
  advance(4);  // trim at 5 and 10: "old" is exactly 10 s old, not older
  EXPECT_TRUE(has(*cache, "old"));
  advance(5);  // trim at 15
  ASSERT_TRUE(kit::test::runUntil([&] { return !has(*cache, "old"); }));
  EXPECT_TRUE(has(*cache, "young"));
  EXPECT_EQ(kit::describe(cache->objectForKey(str("young"))), "2");  // read at 15
  advance(10);  // trim at 20 and 25: read 10 s ago
  EXPECT_TRUE(has(*cache, "young"));
  advance(5);
  ASSERT_TRUE(kit::test::runUntil([&] { return !has(*cache, "young"); }));
}

TEST_F(MemoryCacheTrimTest, WithoutLimitsThePeriodicTrimKeepsEverything) {
  auto cache = KTMemoryCache::make();
  for (int i = 0; i < 100; ++i) cache->setObject(kit::num(i), kit::num(i), 1u << 20);
  advance(3600);
  EXPECT_EQ(cache->totalCount(), 100u);

  // Limits set later are applied by the next trim.
  cache->setCountLimit(10);
  cache->setAutoTrimInterval(1);  // read when the next trim is scheduled
  advance(5);
  ASSERT_TRUE(kit::test::runUntil([&] { return cache->totalCount() == 10; }));
  EXPECT_TRUE(cache->containsObjectForKey(kit::num(99)));
}

}  // namespace
