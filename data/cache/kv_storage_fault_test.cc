// I/O errors during the key-value storage's saves and removals, the way
// storage engines test them: every operation is run again and again with
// its Nth call failing (N = 1, 2, ... until it runs through), once with
// that one call failing and once with every call from the Nth on failing.
// The calls counted are those that change the disk, in the value files
// (create, write, fsync, close, rename, remove) and in the manifest
// (SQLite's writes, syncs, truncations and removals) alike.
//
// Each time, every key must read exactly its old value (bytes, size,
// extended data, file) when the operation failed and exactly its new one
// when it succeeded, in the same process and after opening the storage
// again; and then the data folder holds the files of the stored items and
// nothing else.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"

namespace {

// What one key holds: its bytes, its file (empty for inline) and its
// extended data (empty for none).
struct Value {
  std::string bytes;
  std::string filename;
  std::string extended;
};
using State = std::map<std::string, std::optional<Value>>;

struct Scenario {
  const char* name;
  State before;
  std::function<bool(KTKVStorage&)> operation;
  State after;  // keys not named keep their state
};

bool save(KTKVStorage& storage, const std::string& key, const Value& v) {
  return storage.saveItemWithKey(kit::str(key), kit::Data::make(v.bytes),
                                 v.filename.empty() ? nullptr : kit::str(v.filename),
                                 v.extended.empty() ? nullptr : kit::Data::make(v.extended));
}

Value inlineValue(char c, size_t size, const char* ext) { return {std::string(size, c), "", ext}; }
Value fileValue(char c, size_t size, const char* file, const char* ext) { return {std::string(size, c), file, ext}; }

std::vector<Scenario> scenarios() {
  const Value oldInline = inlineValue('a', 300, "old ext");
  const Value newInline = inlineValue('b', 500, "new ext");
  const Value oldFile = fileValue('c', 9000, "k.bin", "old ext");
  const Value newFile = fileValue('d', 12000, "k.bin", "");
  auto saving = [](Value v) { return [v](KTKVStorage& s) { return save(s, "k", v); }; };
  auto removing = [](KTKVStorage& s) { return s.removeItemForKey(kit::str("k")); };
  return {
      {"inline over inline", {{"k", oldInline}}, saving(newInline), {{"k", newInline}}},
      {"new inline key", {}, saving(newInline), {{"k", newInline}}},
      {"file over the same file", {{"k", oldFile}}, saving(newFile), {{"k", newFile}}},
      {"file under a new name", {{"k", oldFile}}, saving(fileValue('e', 7000, "k2.bin", "x")),
       {{"k", fileValue('e', 7000, "k2.bin", "x")}}},
      {"inline to file", {{"k", oldInline}}, saving(newFile), {{"k", newFile}}},
      {"file to inline", {{"k", oldFile}}, saving(newInline), {{"k", newInline}}},
      {"new file key", {}, saving(newFile), {{"k", newFile}}},
      {"remove a file", {{"k", oldFile}}, removing, {{"k", std::nullopt}}},
      {"remove inline", {{"k", oldInline}}, removing, {{"k", std::nullopt}}},
      {"remove several",
       {{"k", oldFile}, {"j", oldInline}},
       [](KTKVStorage& s) {
         return s.removeItemForKeys(kit::Array::make(std::vector<kit::Id>{kit::str("k"), kit::str("j")}));
       },
       {{"k", std::nullopt}, {"j", std::nullopt}}},
  };
}

// Every key reads as `expected` says, through the full and the value reads.
void expectState(KTKVStorage& storage, const State& expected, const std::string& where) {
  for (const auto& [key, value] : expected) {
    SCOPED_TRACE(where + ", key " + key);
    auto item = storage.getItemForKey(kit::str(key));
    if (!value) {
      EXPECT_FALSE(item) << "a removed key still reads";
      continue;
    }
    ASSERT_TRUE(item) << "the key reads nothing";
    ASSERT_TRUE(item->value());
    EXPECT_EQ(item->value()->toString(), value->bytes) << "of " << item->value()->length() << " bytes";
    EXPECT_EQ(item->size(), static_cast<int64_t>(value->bytes.size()));
    EXPECT_EQ(item->filename() ? item->filename()->utf8() : "", value->filename);
    EXPECT_EQ(item->extendedData() ? item->extendedData()->toString() : "", value->extended);
    auto bytes = storage.getItemValueForKey(kit::str(key));
    EXPECT_EQ(bytes ? bytes->toString() : "(none)", value->bytes);
  }
}

std::set<std::string> filesOf(const State& state) {
  std::set<std::string> names;
  for (const auto& [key, value] : state) {
    if (value && !value->filename.empty()) names.insert(value->filename);
  }
  return names;
}

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  if (auto list = kit::FileManager::defaultManager()->contentsOfDirectoryAtPath(folder)) {
    for (const kit::Id& name : *list) names.insert(kit::describe(name));
  }
  return names;
}

class KVStorageFaultTest : public ::testing::TestWithParam<bool> {
 protected:
  std::shared_ptr<kvtest::FaultPlan> plan = std::make_shared<kvtest::FaultPlan>();
  kvtest::ScopedFaultyVFS vfs{plan};
  std::shared_ptr<KTKVFileSystem> files = std::make_shared<kvtest::FaultyFileSystem>(plan);
};

TEST_P(KVStorageFaultTest, EveryFailedCallLeavesTheOldValueAndEverySuccessTheNewOne) {
  const bool sticky = GetParam();
  plan->skipSync = true;
  kit::test::TempDirectory dir("kv-fault");
  int folders = 0;
  for (const Scenario& scenario : scenarios()) {
    SCOPED_TRACE(scenario.name);
    // A key that no operation names, in a file of its own.
    State before = scenario.before;
    before["other"] = fileValue('o', 5000, "other.bin", "other ext");
    State after = before;
    for (const auto& [key, value] : scenario.after) after[key] = value;

    int failures = 0;
    for (int64_t n = 1;; ++n) {
      const std::string where = std::string(scenario.name) + ", call " + std::to_string(n) + " failing";
      const std::string root = dir.file("kv" + std::to_string(folders++));
      plan->disarm();
      auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
      ASSERT_TRUE(storage);
      storage->setErrorLogsEnabled(false);
      for (const auto& [key, value] : before) {
        if (value) {
          ASSERT_TRUE(save(*storage, key, *value));
        }
      }

      plan->arm(n, sticky);
      const bool succeeded = scenario.operation(*storage);
      const bool fired = plan->fired;
      plan->disarm();
      failures += !succeeded;
      const State& expected = succeeded ? after : before;
      expectState(*storage, expected, where);

      storage.reset();
      storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
      ASSERT_TRUE(storage) << where;
      storage->setErrorLogsEnabled(false);
      expectState(*storage, expected, where + ", opened again");
      EXPECT_EQ(filesIn(root + "/data"), filesOf(expected)) << where;
      if (::testing::Test::HasFailure()) return;
      if (!fired) {
        EXPECT_TRUE(succeeded) << where << ": no call failed, yet the operation did";
        break;
      }
      ASSERT_LT(n, 200) << "the operation never ran through";
    }
    EXPECT_GT(failures, 0) << "no failed call made the operation fail";
  }
}

INSTANTIATE_TEST_SUITE_P(OneCallOrAllFromIt, KVStorageFaultTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "FromTheNthOn" : "TheNthAlone"; });

// Each key reads its value in `saved` or nothing (removed), and the data
// folder holds the files of the keys that read.
void expectSavedOrGone(KTKVStorage& storage, const State& saved, const std::string& root, const std::string& where,
                       State* reading = nullptr) {
  State now;
  for (const auto& [key, value] : saved) {
    if (!value || !storage.getItemForKey(kit::str(key))) {
      now[key] = std::nullopt;
      continue;
    }
    now[key] = value;
  }
  expectState(storage, now, where);
  EXPECT_EQ(filesIn(root + "/data"), filesOf(now)) << where;
  if (reading) *reading = now;
}

// A full disk: once saves fail for want of space, removing items still
// works and frees the space (the manifest records a removal before its
// file goes, and that needs room too), and every key reads its old value
// or none, in this process and after opening the storage again. The
// storage may be opened again on a disk with no byte left before the
// removals: the room lends the open what the database needs and keeps the
// rest, and the open finishes the last write's file work without it.
class KVStorageFullDisk : public ::testing::TestWithParam<bool> {};

TEST_P(KVStorageFullDisk, RemovingFreesSpaceOnAFullDisk) {
  const bool reopen = GetParam();
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-full");
  const std::string root = dir.file("kv");
  auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  storage->setErrorLogsEnabled(false);

  // Two megabytes free, filled with values of 20 KB in files and some
  // inline until a save fails.
  plan->spaceLeft = 2 << 20;
  State saved;
  for (int n = 0;; ++n) {
    ASSERT_LT(n, 1000) << "the disk never filled";
    const std::string key = "k" + std::to_string(n);
    const char c = static_cast<char>('a' + n % 26);
    Value value = n % 4 == 3 ? inlineValue(c, 3000, "") : fileValue(c, 20000, (key + ".bin").c_str(), "ext");
    if (!save(*storage, key, value)) break;
    saved[key] = value;
  }
  ASSERT_GT(saved.size(), 20u);
  // Full: no room for another value beside the log page its row takes.
  EXPECT_LT(plan->spaceLeft, 20000 + KTKVManifest::PageBytes);
  State full;
  expectSavedOrGone(*storage, saved, root, "full", &full);
  if (reopen) {
    // Closed while some space was free (the log folds into the database
    // and goes, with the shared memory); then another program takes every
    // byte left.
    const int64_t count = storage->getItemsCount();
    plan->spaceLeft += 1 << 20;
    storage.reset();
    plan->spaceLeft = 0;
    storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
    ASSERT_TRUE(storage);
    storage->setErrorLogsEnabled(false);
    // Nothing was thrown away to open it, and reads that cannot record
    // their access spend nothing the removals need.
    EXPECT_EQ(storage->getItemsCount(), count);
    expectState(*storage, full, "full, opened again");
    EXPECT_EQ(filesIn(root + "/data"), filesOf(full));
  }

  // One key, then several: each removal succeeds and frees its file.
  const int64_t fullCount = storage->getItemsCount();
  EXPECT_TRUE(storage->removeItemForKey(kit::str("k0")));
  EXPECT_TRUE(storage->removeItemForKeys(kit::Array::make(std::vector<kit::Id>{kit::str("k1"), kit::str("k2")})));
  for (const char* key : {"k0", "k1", "k2"}) saved[key] = std::nullopt;
  EXPECT_EQ(storage->getItemsCount(), fullCount - 3);
  expectSavedOrGone(*storage, saved, root, "after removals");

  // Evicting to a size frees the rest it needs.
  const int64_t half = storage->getItemsSize() / 2;
  EXPECT_TRUE(storage->removeItemsToFitSize(half));
  EXPECT_LE(storage->getItemsSize(), half);
  State reading;
  expectSavedOrGone(*storage, saved, root, "after fitting the size", &reading);
  // There is room to save again.
  EXPECT_TRUE(save(*storage, "fresh", fileValue('z', 20000, "fresh.bin", "")));
  reading["fresh"] = fileValue('z', 20000, "fresh.bin", "");

  storage.reset();
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  storage->setErrorLogsEnabled(false);
  expectState(*storage, reading, "opened again");
  EXPECT_EQ(filesIn(root + "/data"), filesOf(reading));
  plan->spaceLeft = -1;
}

INSTANTIATE_TEST_SUITE_P(InOneRunOrOpenedAgain, KVStorageFullDisk, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "AfterAReopen" : "InOneRun"; });

}  // namespace

// ---- Removals of many items, and of everything
//
// Each trim and the removal with progress, run again and again with its
// Nth call failing (that one alone, or every call from it on): an item
// goes whole or stays whole, so that a key with a row always reads its
// value, never a row whose file went first; and once the storage is opened
// again, the data folder holds the files of the keys that read and nothing
// else.

struct BulkRemoval {
  const char* name;
  std::function<bool(KTKVStorage&)> run;
  std::set<std::string> left;  // once it succeeded
};

// Six items: four in files of 5,000 to 8,000 bytes, two inline, saved one
// second apart from second 1000.
const std::map<std::string, Value>& bulkItems() {
  static const std::map<std::string, Value> items = {
      {"a", fileValue('a', 5000, "a.bin", "ea")}, {"b", inlineValue('b', 600, "eb")},
      {"c", fileValue('c', 6000, "c.bin", "")},   {"d", fileValue('d', 7000, "d.bin", "ed")},
      {"e", inlineValue('e', 700, "")},           {"f", fileValue('f', 8000, "f.bin", "ef")},
  };
  return items;
}

std::vector<BulkRemoval> bulkRemovals() {
  return {
      {"larger than a size", [](KTKVStorage& s) { return s.removeItemsLargerThanSize(5500); }, {"a", "b", "e"}},
      {"earlier than a time", [](KTKVStorage& s) { return s.removeItemsEarlierThanTime(1004); }, {"e", "f"}},
      {"to fit a size", [](KTKVStorage& s) { return s.removeItemsToFitSize(9000); }, {"e", "f"}},
      {"to fit a count", [](KTKVStorage& s) { return s.removeItemsToFitCount(1); }, {"f"}},
      {"all with progress",
       [](KTKVStorage& s) {
         bool error = true;
         s.removeAllItemsWithProgressBlock(nullptr, [&](bool e) { error = e; });
         return !error;
       },
       {}},
  };
}

std::set<std::string> keysOf(const State& state) {
  std::set<std::string> keys;
  for (const auto& [key, value] : state) keys.insert(key);
  return keys;
}

// Each key reads its value whole or nothing; the keys that read. Unless
// `filesGoFirst`, a key with a row reads its value.
State wholeOrGone(KTKVStorage& storage, const std::string& where, bool filesGoFirst = false) {
  State now;
  for (const auto& [key, value] : bulkItems()) {
    const bool hasRow = storage.getItemInfoForKey(kit::str(key)) != nullptr;
    auto item = storage.getItemForKey(kit::str(key));
    if (!filesGoFirst) EXPECT_EQ(item != nullptr, hasRow) << where << ": the row of " << key << " outlived its file";
    if (!item) continue;
    EXPECT_EQ(item->value() ? item->value()->toString() : "", value.bytes) << where << ", key " << key;
    now[key] = value;
  }
  return now;
}

TEST_P(KVStorageFaultTest, EachItemOfABulkRemovalGoesWholeOrStaysWhole) {
  const bool sticky = GetParam();
  plan->skipSync = true;
  kit::test::TempDirectory dir("kv-fault-bulk");
  double wall = 1000;
  kit::ScopedWallClock clock([&] { return wall; });
  int folders = 0;
  for (const BulkRemoval& removal : bulkRemovals()) {
    SCOPED_TRACE(removal.name);
    int failures = 0;
    for (int64_t n = 1;; ++n) {
      const std::string where = std::string(removal.name) + ", call " + std::to_string(n) + " failing";
      const std::string root = dir.file("kv" + std::to_string(folders++));
      plan->disarm();
      auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
      ASSERT_TRUE(storage);
      storage->setErrorLogsEnabled(false);
      wall = 1000;
      for (const auto& [key, value] : bulkItems()) {
        ASSERT_TRUE(save(*storage, key, value));
        wall += 1;
      }

      plan->arm(n, sticky);
      const bool succeeded = removal.run(*storage);
      const bool fired = plan->fired;
      plan->disarm();
      failures += !succeeded;
      const State left = wholeOrGone(*storage, where);
      if (succeeded) EXPECT_EQ(keysOf(left), removal.left) << where;

      storage.reset();
      storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
      ASSERT_TRUE(storage) << where;
      storage->setErrorLogsEnabled(false);
      EXPECT_EQ(keysOf(wholeOrGone(*storage, where + ", opened again")), keysOf(left)) << where;
      EXPECT_EQ(filesIn(root + "/data"), filesOf(left)) << where;
      if (::testing::Test::HasFailure()) return;
      if (!fired) {
        EXPECT_TRUE(succeeded) << where << ": no call failed, yet the removal did";
        break;
      }
      ASSERT_LT(n, 300) << "the removal never ran through";
    }
    EXPECT_GT(failures, 0) << "no failed call made the removal fail";
  }
}

std::string valueOf(KTKVStorage& storage, const char* key) {
  auto value = storage.getItemValueForKey(kit::str(key));
  return value ? value->toString() : "(none)";
}

// Removing everything with its Nth call failing: each item reads whole or
// reads as gone, and the storage saves with files again at its next call
// once a failed open may be retried (2 seconds later), in this process and
// after opening again. A database whose tables were made in part would
// refuse every save with a file.
TEST_P(KVStorageFaultTest, RemovingEverythingLeavesAStorageThatSavesWithFilesAgain) {
  const bool sticky = GetParam();
  plan->skipSync = true;
  kit::test::TempDirectory dir("kv-fault-all");
  double media = 100;
  kit::ScopedMediaTime clock([&] { return media; });
  const Value fresh = fileValue('z', 3000, "z.bin", "ez");
  int failures = 0;
  for (int64_t n = 1;; ++n) {
    const std::string where = "call " + std::to_string(n) + " failing";
    const std::string root = dir.file("kv" + std::to_string(n));
    plan->disarm();
    auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
    ASSERT_TRUE(storage);
    storage->setErrorLogsEnabled(false);
    for (const auto& [key, value] : bulkItems()) ASSERT_TRUE(save(*storage, key, value));

    plan->arm(n, sticky);
    const bool succeeded = storage->removeAllItems();
    const bool fired = plan->fired;
    plan->disarm();
    failures += !succeeded;
    media += 2.5;
    // The files go to the trash at once, before the database: a failure
    // after that may leave rows that read as gone.
    const std::set<std::string> left = keysOf(wholeOrGone(*storage, where, true));
    if (succeeded) EXPECT_TRUE(left.empty()) << where;
    EXPECT_TRUE(save(*storage, "z", fresh)) << where << ": no save with a file after removing everything";
    EXPECT_EQ(valueOf(*storage, "z"), fresh.bytes) << where;

    storage.reset();
    storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
    ASSERT_TRUE(storage) << where;
    storage->setErrorLogsEnabled(false);
    EXPECT_EQ(keysOf(wholeOrGone(*storage, where + ", opened again")), left) << where;
    EXPECT_EQ(valueOf(*storage, "z"), fresh.bytes) << where;
    std::set<std::string> names{"z.bin"};
    for (const std::string& key : left) {
      if (!bulkItems().at(key).filename.empty()) names.insert(bulkItems().at(key).filename);
    }
    EXPECT_EQ(filesIn(root + "/data"), names) << where;
    if (::testing::Test::HasFailure()) return;
    if (!fired) {
      EXPECT_TRUE(succeeded) << where << ": no call failed, yet the removal did";
      break;
    }
    ASSERT_LT(n, 300) << "the removal never ran through";
  }
  // One failed call is made up for (the room, a retry); every call failing
  // from one on is not.
  if (sticky) EXPECT_GT(failures, 0) << "no failed call made the removal fail";
}
