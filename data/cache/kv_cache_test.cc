// The cache facade: reading through memory to disk, writing to both, and the
// caches it shares with other facades of the same folder.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>

#include "data/cache/kv_cache.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"

namespace {

using kit::Ref;
using kit::str;

class KVCacheTest : public ::testing::Test {
 protected:
  std::string root() const { return dir_.file("profiles"); }
  kit::test::TempDirectory dir_{"kv-cache"};
};

TEST_F(KVCacheTest, CreationByPathAndByName) {
  kit::test::LogCapture logs;
  EXPECT_FALSE(KTCache::init());
  EXPECT_TRUE(logs.contains("Use \"initWithName\" or \"initWithPath\" to create KTCache instance."));
  EXPECT_FALSE(KTCache::initWithName(str("")));
  EXPECT_FALSE(KTCache::initWithName(nullptr));
  EXPECT_FALSE(KTCache::initWithPath(str("")));

  auto cache = KTCache::cacheWithPath(str(root()));
  ASSERT_TRUE(cache);
  EXPECT_EQ(cache->name()->utf8(), "profiles");
  EXPECT_EQ(kit::describe(cache->memoryCache()->name()), "profiles");
  EXPECT_EQ(cache->diskCache()->path()->utf8(), root());
  EXPECT_EQ(cache->diskCache()->inlineThreshold(), 20480u);
  EXPECT_EQ(cache->description(), cache->defaultDescription() + " (profiles)");

  const char* previous = getenv("KIT_HOME");
  std::string saved = previous ? previous : "";
  setenv("KIT_HOME", dir_.file("home").c_str(), 1);
  auto named = KTCache::cacheWithName(str("avatars"));
  if (previous) {
    setenv("KIT_HOME", saved.c_str(), 1);
  } else {
    unsetenv("KIT_HOME");
  }
  ASSERT_TRUE(named);
  EXPECT_EQ(named->diskCache()->path()->utf8(), dir_.file("home") + "/Library/Caches/avatars");
}

TEST_F(KVCacheTest, TwoFacadesOfOneFolderShareTheDiskButNotTheMemory) {
  auto first = KTCache::initWithPath(str(root()));
  auto second = KTCache::initWithPath(str(root()));
  EXPECT_NE(first, second);
  EXPECT_EQ(first->diskCache(), second->diskCache());
  EXPECT_NE(first->memoryCache(), second->memoryCache());

  first->setObject(str("Ada"), str("user"));
  EXPECT_TRUE(first->memoryCache()->containsObjectForKey(str("user")));
  EXPECT_FALSE(second->memoryCache()->containsObjectForKey(str("user")));
  EXPECT_TRUE(second->containsObjectForKey(str("user")));

  // Found only on disk, then kept in memory too.
  EXPECT_EQ(kit::describe(second->objectForKey(str("user"))), "Ada");
  EXPECT_TRUE(second->memoryCache()->containsObjectForKey(str("user")));

  second->removeObjectForKey(str("user"));
  EXPECT_FALSE(second->memoryCache()->containsObjectForKey(str("user")));
  EXPECT_FALSE(first->diskCache()->containsObjectForKey(str("user")));
  EXPECT_TRUE(first->containsObjectForKey(str("user")));  // first's memory still has it

  first->setObject(str("Bob"), str("other"));
  first->removeAllObjects();
  EXPECT_FALSE(first->containsObjectForKey(str("other")));
  EXPECT_FALSE(first->objectForKey(str("other")));
}

TEST_F(KVCacheTest, CallbacksComeOffTheMainThreadAndFillTheMemory) {
  auto cache = KTCache::initWithPath(str(root()));
  std::atomic<int> done{0}, onMain{0};
  std::mutex mutex;
  kit::Id seen;
  auto note = [&] {
    onMain += kit::RunLoop::isMainThread();
    ++done;
  };

  cache->setObject(str("value"), str("k"), note);
  EXPECT_TRUE(cache->memoryCache()->containsObjectForKey(str("k")));  // at once
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 1; }));

  // A memory hit, then a disk hit that lands in memory before the callback.
  std::atomic<bool> inMemoryAtCallback{false};
  cache->containsObjectForKey(str("k"), [&](const Ref<kit::String>&, bool yes) {
    EXPECT_TRUE(yes);
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 2; }));
  cache->memoryCache()->removeAllObjects();
  cache->objectForKey(str("k"), [&](const Ref<kit::String>& key, const kit::Id& object) {
    std::lock_guard lock(mutex);
    seen = object;
    inMemoryAtCallback = cache->memoryCache()->containsObjectForKey(key);
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 3; }));
  EXPECT_EQ(kit::describe(seen), "value");
  EXPECT_TRUE(inMemoryAtCallback);
  cache->objectForKey(str("k"), [&](const Ref<kit::String>&, const kit::Id& object) {
    std::lock_guard lock(mutex);
    seen = object;
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 4; }));
  EXPECT_EQ(kit::describe(seen), "value");
  cache->containsObjectForKey(str("missing"), [&](const Ref<kit::String>&, bool yes) {
    EXPECT_FALSE(yes);
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 5; }));

  cache->removeObjectForKey(str("k"), [&](const Ref<kit::String>&) { note(); });
  EXPECT_FALSE(cache->memoryCache()->containsObjectForKey(str("k")));
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 6; }));
  EXPECT_FALSE(cache->containsObjectForKey(str("k")));

  cache->setObject(str("a"), str("a"));
  cache->removeAllObjectsWithBlock(note);
  EXPECT_EQ(cache->memoryCache()->totalCount(), 0u);
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 7; }));
  EXPECT_EQ(cache->diskCache()->totalCount(), 0);

  cache->setObject(str("b"), str("b"));
  std::atomic<int> ended{-1};
  cache->removeAllObjectsWithProgressBlock(nullptr, [&](bool error) {
    ended = error;
    note();
  });
  ASSERT_TRUE(kit::test::runUntil([&] { return done == 8; }));
  EXPECT_EQ(ended, 0);
  EXPECT_EQ(onMain, 0);
  ASSERT_TRUE(kit::test::runUntil([&] {
    auto trash = kit::FileManager::defaultManager()->contentsOfDirectoryAtPath(root() + "/trash");
    return trash && trash->count() == 0;
  }));
}

}  // namespace
