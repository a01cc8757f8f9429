// A disk the key-value storage filled itself: values of 8,000 bytes inline
// and of 150,000 bytes in files, saved in turn until saves fail, leave the
// database's write-ahead log holding what the database file has not taken
// yet. On such a disk every removal and every trim must succeed and free
// its space, whatever the order of the item kinds, in the same run and
// after the storage is opened again, for both storage types that keep
// values inline; and once the items are gone the disk is as free as it was
// before (less at most the room kept for a full disk, which is made again).
//
// The disk is the fault plan's counted space (the seam every storage call
// and SQLite's writes go through) and a real tmpfs of 8 MiB, mounted in a
// mount namespace of the test's own process where the system allows it.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "data/cache/testing/kv_small_disk.h"
#include "kit/foundation/values.h"
#include "kit/testing/own_process.h"
#include "kit/testing/temp_directory.h"

namespace {

constexpr int64_t kDiskBytes = kvtest::SmallDiskBytes;
constexpr size_t kInlineBytes = 8000;
constexpr size_t kFileBytes = 150000;

enum class Order { InlineFirst, FilesFirst, AsSaved, Trims };

struct Case {
  KTKVStorageType type;
  Order order;
  bool reopen;
};

std::string nameOf(const Case& c) {
  std::string name = c.type == KTKVStorageTypeSQLite ? "SQLite" : "Mixed";
  switch (c.order) {
    case Order::InlineFirst: name += "InlineFirst"; break;
    case Order::FilesFirst: name += "FilesFirst"; break;
    case Order::AsSaved: name += "AsSaved"; break;
    case Order::Trims: name += "Trims"; break;
  }
  return name + (c.reopen ? "Reopened" : "");
}

void PrintTo(const Case& c, std::ostream* out) { *out << nameOf(c); }

std::vector<Case> allCases() {
  std::vector<Case> cases;
  for (auto type : {KTKVStorageTypeMixed, KTKVStorageTypeSQLite}) {
    for (auto order : {Order::InlineFirst, Order::FilesFirst, Order::AsSaved, Order::Trims}) {
      for (bool reopen : {false, true}) cases.push_back({type, order, reopen});
    }
  }
  return cases;
}

struct Saved {
  std::string key;
  bool small;
};

// The free space on the disk the storage at `root` is on.
using FreeSpace = std::function<int64_t()>;

kit::Ref<KTKVStorage> open(const std::string& root, KTKVStorageType type,
                           const std::shared_ptr<KTKVFileSystem>& files) {
  auto storage = KTKVStorage::initWithPath(kit::str(root), type, files);
  if (storage) storage->setErrorLogsEnabled(false);
  return storage;
}

bool removeOne(KTKVStorage& storage, const Saved& item) {
  return storage.removeItemForKey(kit::str(item.key)) && !storage.itemExistsForKey(kit::str(item.key));
}

// Fills the disk, then removes every item in the order of `c`, checking
// each step; `root` is an empty folder on a disk of kDiskBytes.
void fillThenFree(const Case& c, const std::string& root, const std::shared_ptr<KTKVFileSystem>& files,
                  const FreeSpace& freeSpace) {
  SCOPED_TRACE(nameOf(c));
  auto storage = open(root, c.type, files);
  ASSERT_TRUE(storage);
  const int64_t before = freeSpace();

  std::vector<Saved> saved;
  int failedInARow = 0;
  for (int n = 0; failedInARow < 2; ++n) {
    ASSERT_LT(n, 1000) << "the disk never filled";
    const bool small = n % 2 == 0;
    const std::string key = "k" + std::to_string(n);
    auto value = kit::Data::make(std::string(small ? kInlineBytes : kFileBytes, static_cast<char>('a' + n % 26)));
    if (storage->saveItemWithKey(kit::str(key), value, small ? nullptr : kit::str(key + ".bin"), nullptr)) {
      saved.push_back({key, small});
      failedInARow = 0;
    } else {
      ++failedInARow;
    }
  }
  ASSERT_GT(saved.size(), 20u);
  EXPECT_LT(freeSpace(), static_cast<int64_t>(kFileBytes)) << "the storage filled the disk";
  if (c.reopen) {
    storage.reset();
    storage = open(root, c.type, files);
    ASSERT_TRUE(storage) << "opened on the full disk";
    EXPECT_EQ(storage->getItemsCount(), static_cast<int64_t>(saved.size()));
  }

  // Inline items free pages in the database only; the files free their
  // bytes. Neither may be stuck behind the other.
  std::vector<Saved> order;
  for (int pass = 0; pass < 2; ++pass) {
    for (const Saved& item : saved) {
      const bool wanted = c.order == Order::InlineFirst ? item.small == (pass == 0)
                          : c.order == Order::FilesFirst ? item.small == (pass == 1)
                                                         : pass == 0;
      if (wanted) order.push_back(item);
    }
  }
  if (c.order == Order::Trims) {
    EXPECT_TRUE(storage->removeItemsLargerThanSize(static_cast<int64_t>(kInlineBytes)));
    EXPECT_EQ(storage->getItemsSize(), storage->getItemsCount() * static_cast<int64_t>(kInlineBytes));
    EXPECT_TRUE(storage->removeItemsToFitSize(storage->getItemsSize() / 2));
    EXPECT_TRUE(storage->removeItemsToFitCount(3));
    EXPECT_EQ(storage->getItemsCount(), 3);
    std::vector<kit::Id> keys;
    for (const Saved& item : saved) keys.push_back(kit::str(item.key));
    EXPECT_TRUE(storage->removeItemForKeys(kit::Array::make(std::move(keys))));
  } else {
    for (const Saved& item : order) {
      EXPECT_TRUE(removeOne(*storage, item)) << "removing " << item.key << (item.small ? " (inline)" : " (file)")
                                             << " with " << freeSpace() << " bytes free";
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_EQ(storage->getItemsCount(), 0);
  // The log folded into the database and gave its space back; the room is
  // kept again.
  EXPECT_GE(freeSpace(), before - static_cast<int64_t>(KTKVFileStore::RoomBytes));
  struct stat room {};
  EXPECT_EQ(::stat((root + "/room").c_str(), &room), 0);
  EXPECT_EQ(room.st_size, static_cast<off_t>(KTKVFileStore::RoomBytes));

  // And it saves again, in this run and the next.
  EXPECT_TRUE(storage->saveItemWithKey(kit::str("again"), kit::Data::make(std::string(kFileBytes, 'z')),
                                       kit::str("again.bin"), nullptr));
  storage.reset();
  storage = open(root, c.type, files);
  ASSERT_TRUE(storage);
  EXPECT_EQ(storage->getItemsCount(), 1);
  auto again = storage->getItemValueForKey(kit::str("again"));
  EXPECT_EQ(again ? again->length() : 0, kFileBytes);
}

class KVStorageSelfFilledDisk : public ::testing::TestWithParam<Case> {};

// The disk as the fault plan counts it.
TEST_P(KVStorageSelfFilledDisk, EveryRemovalSucceedsAndTheSpaceComesBack) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-self-filled");
  plan->spaceLeft = kDiskBytes;
  fillThenFree(GetParam(), dir.file("kv"), files, [&] { return plan->spaceLeft; });
  plan->spaceLeft = -1;
}

INSTANTIATE_TEST_SUITE_P(KindsAndOrders, KVStorageSelfFilledDisk, ::testing::ValuesIn(allCases()),
                         [](const auto& info) { return nameOf(info.param); });

// A real file system of 8 MiB, every case on a fresh one.
TEST(KVStorageSelfFilledTmpfs, EveryRemovalSucceedsAndTheSpaceComesBack) {
  if (!kit::test::inOwnProcess()) return;
  if (std::string refusal = kvtest::enterOwnMountNamespace(); !refusal.empty()) {
    GTEST_SKIP() << "no mount namespace of our own here (" << refusal << ")";
  }
  kit::test::TempDirectory dir("kv-tmpfs");
  int number = 0;
  for (const Case& c : allCases()) {
    const std::string disk = dir.file("disk" + std::to_string(number++));
    if (std::string refusal = kvtest::mountSmallDisk(disk); !refusal.empty()) {
      GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
    }
    const std::string root = disk + "/kv";
    fillThenFree(c, root, KTKVFileSystem::system(), [&] {
      return KTKVFileSystem::system()->availableBytes(disk.c_str());
    });
    ::umount2(disk.c_str(), MNT_DETACH);
    if (::testing::Test::HasFailure()) return;
  }
}


// ---- Opened again on the full disk, then read or saved to
//
// The disk filled as above, all values inline (8,000 and 150,000 bytes in
// turn), the storage closed and opened again on the full disk; then every
// value read once (each read refreshes an access time) or a few small
// values saved, which take what little space is left. Every removal must
// still succeed, no item may be lost (in this run and after opening again),
// and with everything removed the disk has its space back but the room.

enum class Then { ReadEveryValue, SaveSmallValues };

struct Reopened {
  KTKVStorageType type;
  Then then;
};

std::string nameOf(const Reopened& c) {
  return std::string(c.type == KTKVStorageTypeSQLite ? "SQLite" : "Mixed") +
         (c.then == Then::ReadEveryValue ? "ReadEveryValue" : "SaveSmallValues");
}

void PrintTo(const Reopened& c, std::ostream* out) { *out << nameOf(c); }

void fillReopenThenFree(const Reopened& c, const std::string& root, const std::shared_ptr<KTKVFileSystem>& files,
                        const FreeSpace& freeSpace) {
  SCOPED_TRACE(nameOf(c));
  auto storage = open(root, c.type, files);
  ASSERT_TRUE(storage);
  const int64_t before = freeSpace();
  std::vector<std::string> saved;
  for (int n = 0, refused = 0; refused < 2; ++n) {
    ASSERT_LT(n, 1000) << "the disk never filled";
    const std::string key = "k" + std::to_string(n);
    auto value = kit::Data::make(std::string(n % 2 == 0 ? kInlineBytes : kFileBytes, static_cast<char>('a' + n % 26)));
    if (storage->saveItemWithKey(kit::str(key), value)) {
      saved.push_back(key);
      refused = 0;
    } else {
      ++refused;
    }
  }
  EXPECT_LT(freeSpace(), static_cast<int64_t>(kFileBytes)) << "the storage filled the disk";
  storage.reset();
  storage = open(root, c.type, files);
  ASSERT_TRUE(storage) << "opened on the full disk";
  ASSERT_EQ(storage->getItemsCount(), static_cast<int64_t>(saved.size()));
  if (c.then == Then::ReadEveryValue) {
    for (const std::string& key : saved) EXPECT_TRUE(storage->getItemValueForKey(kit::str(key))) << key;
  } else {
    for (int n = 0; n < 4; ++n) {
      const std::string key = "small" + std::to_string(n);
      if (storage->saveItemWithKey(kit::str(key), kit::Data::make(std::string(n % 2 ? 4000 : 200, 's')))) {
        saved.push_back(key);
      }
    }
  }
  ASSERT_EQ(storage->getItemsCount(), static_cast<int64_t>(saved.size())) << "items lost";

  // Half removed here, the rest after opening again.
  const size_t half = saved.size() / 2;
  for (size_t i = 0; i < half; ++i) {
    ASSERT_TRUE(storage->removeItemForKey(kit::str(saved[i]))) << "removing " << saved[i] << " of " << saved.size()
                                                                << " with " << freeSpace() << " bytes free";
  }
  storage.reset();
  storage = open(root, c.type, files);
  ASSERT_TRUE(storage);
  ASSERT_EQ(storage->getItemsCount(), static_cast<int64_t>(saved.size() - half)) << "items lost";
  for (size_t i = half; i < saved.size(); ++i) {
    ASSERT_TRUE(storage->removeItemForKey(kit::str(saved[i]))) << "removing " << saved[i] << " of " << saved.size()
                                                                << " with " << freeSpace() << " bytes free";
  }
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_GE(freeSpace(), before - static_cast<int64_t>(KTKVFileStore::RoomBytes));
  struct stat room {};
  EXPECT_EQ(::stat((root + "/room").c_str(), &room), 0);
  EXPECT_EQ(room.st_size, static_cast<off_t>(KTKVFileStore::RoomBytes));
}

std::vector<Reopened> reopenedCases() {
  std::vector<Reopened> cases;
  for (auto type : {KTKVStorageTypeSQLite, KTKVStorageTypeMixed}) {
    for (auto then : {Then::ReadEveryValue, Then::SaveSmallValues}) cases.push_back({type, then});
  }
  return cases;
}

class KVStorageReopenedFullDisk : public ::testing::TestWithParam<Reopened> {};

TEST_P(KVStorageReopenedFullDisk, EveryRemovalSucceedsAndNoItemIsLost) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-reopened-full");
  plan->spaceLeft = kDiskBytes;
  fillReopenThenFree(GetParam(), dir.file("kv"), files, [&] { return plan->spaceLeft; });
  plan->spaceLeft = -1;
}

INSTANTIATE_TEST_SUITE_P(ReadOrSaved, KVStorageReopenedFullDisk, ::testing::ValuesIn(reopenedCases()),
                         [](const auto& info) { return nameOf(info.param); });

TEST(KVStorageReopenedFullTmpfs, EveryRemovalSucceedsAndNoItemIsLost) {
  if (!kit::test::inOwnProcess()) return;
  if (std::string refusal = kvtest::enterOwnMountNamespace(); !refusal.empty()) {
    GTEST_SKIP() << "no mount namespace of our own here (" << refusal << ")";
  }
  kit::test::TempDirectory dir("kv-reopened-tmpfs");
  int number = 0;
  for (const Reopened& c : reopenedCases()) {
    const std::string disk = dir.file("disk" + std::to_string(number++));
    if (std::string refusal = kvtest::mountSmallDisk(disk); !refusal.empty()) {
      GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
    }
    fillReopenThenFree(c, disk + "/kv", KTKVFileSystem::system(),
                       [&] { return KTKVFileSystem::system()->availableBytes(disk.c_str()); });
    ::umount2(disk.c_str(), MNT_DETACH);
    if (::testing::Test::HasFailure()) return;
  }
}

// ---- Inline values larger than the room
//
// Values of 180,000 and 250,000 bytes inline, each read back as it is
// saved, until the disk is full: no save may leave the database lagging its
// log by more than the room can fold, so that after opening again in a new
// run every removal succeeds.

void fillWithLargeInlineValues(size_t bytes, const std::string& root, const std::shared_ptr<KTKVFileSystem>& files,
                               const FreeSpace& freeSpace) {
  SCOPED_TRACE(std::to_string(bytes) + " bytes inline");
  auto storage = open(root, KTKVStorageTypeSQLite, files);
  ASSERT_TRUE(storage);
  const int64_t before = freeSpace();
  std::vector<std::string> saved;
  for (int n = 0, refused = 0; refused < 2; ++n) {
    ASSERT_LT(n, 200) << "the disk never filled";
    const std::string key = "big" + std::to_string(n);
    if (storage->saveItemWithKey(kit::str(key), kit::Data::make(std::string(bytes, static_cast<char>('a' + n % 26))))) {
      saved.push_back(key);
      refused = 0;
      for (const std::string& each : saved) EXPECT_TRUE(storage->getItemValueForKey(kit::str(each)));
    } else {
      ++refused;
    }
  }
  ASSERT_GT(saved.size(), 10u);
  storage.reset();
  storage = open(root, KTKVStorageTypeSQLite, files);
  ASSERT_TRUE(storage);
  ASSERT_EQ(storage->getItemsCount(), static_cast<int64_t>(saved.size())) << "items lost";
  for (const std::string& key : saved) {
    ASSERT_TRUE(storage->removeItemForKey(kit::str(key))) << "removing " << key << " with " << freeSpace()
                                                           << " bytes free";
  }
  EXPECT_GE(freeSpace(), before - static_cast<int64_t>(KTKVFileStore::RoomBytes));
}

class KVStorageLargeInlineValues : public ::testing::TestWithParam<size_t> {};

TEST_P(KVStorageLargeInlineValues, FillTheDiskAndAreAllRemovedAfterOpeningAgain) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-large-inline");
  plan->spaceLeft = kDiskBytes;
  fillWithLargeInlineValues(GetParam(), dir.file("kv"), files, [&] { return plan->spaceLeft; });
  plan->spaceLeft = -1;
}

INSTANTIATE_TEST_SUITE_P(Sizes, KVStorageLargeInlineValues, ::testing::Values(size_t{180000}, size_t{250000}));

}  // namespace
