// What the system and other programs can refuse the key-value storage, and
// what the storage keeps then. An open that finds no free inode, no free
// byte, no permission or no descriptor left fails with its log lines and
// keeps every item, which the next open finds; only a database that SQLite
// reports damaged (not a database, or corrupt) is started over. Removing
// everything on a disk that another program filled succeeds through the
// room kept for removals, and saves with files work after it.
//
// The disks are real tmpfs mounts with few bytes or inodes, in a mount
// namespace of the test's own process, where the system allows it; the
// fault plan's counted space stands in for a full disk everywhere else.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "data/cache/testing/kv_small_disk.h"
#include "data/cache/testing/kv_system_refusals.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/own_process.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"

namespace {

const char* nameOf(KTKVStorageType type) {
  switch (type) {
    case KTKVStorageTypeFile: return "File";
    case KTKVStorageTypeSQLite: return "SQLite";
    default: return "Mixed";
  }
}

kit::Ref<KTKVStorage> open(const std::string& root, KTKVStorageType type,
                           std::shared_ptr<KTKVFileSystem> files = KTKVFileSystem::system()) {
  auto storage = KTKVStorage::initWithPath(kit::str(root), type, std::move(files));
  if (storage) storage->setErrorLogsEnabled(false);
  return storage;
}

std::string keyOf(int n) { return "k" + std::to_string(n); }
std::string valueOf(int n, size_t size) { return keyOf(n) + "|" + std::string(size, static_cast<char>('a' + n % 26)); }

// A store as the type keeps it: 4,997 values of 500 bytes inline (SQLite),
// 250 files of 2,000 bytes (File), or 250 of these in turn inline and in
// files (Mixed).
struct Filled {
  int count;
  size_t size;
};

Filled fillingOf(KTKVStorageType type) {
  return type == KTKVStorageTypeSQLite ? Filled{4997, 500} : Filled{250, 2000};
}

void fill(KTKVStorage& storage, KTKVStorageType type) {
  const Filled f = fillingOf(type);
  for (int n = 0; n < f.count; ++n) {
    const bool inFile = type == KTKVStorageTypeFile || (type == KTKVStorageTypeMixed && n % 2 == 1);
    ASSERT_TRUE(storage.saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(valueOf(n, f.size)),
                                        inFile ? kit::str(keyOf(n) + ".bin") : nullptr, nullptr))
        << "saving " << keyOf(n);
  }
}

// Every item `fill` saved reads back.
void expectEveryItem(KTKVStorage& storage, KTKVStorageType type) {
  const Filled f = fillingOf(type);
  EXPECT_EQ(storage.getItemsCount(), f.count) << "items lost";
  std::vector<kit::Id> keys;
  for (int n = 0; n < f.count; ++n) keys.push_back(kit::str(keyOf(n)));
  auto values = storage.getItemValueForKeys(kit::Array::make(std::move(keys)));
  ASSERT_TRUE(values);
  int read = 0;
  for (int n = 0; n < f.count; ++n) {
    auto value = kit::as<kit::Data>(values->objectForKey(kit::str(keyOf(n))));
    read += value && value->toString() == valueOf(n, f.size);
  }
  EXPECT_EQ(read, f.count) << "of " << f.count << " items read back";
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
  }
  return names;
}

off_t roomSize(const std::string& root) {
  struct stat status {};
  return ::stat((root + "/room").c_str(), &status) == 0 ? status.st_size : -1;
}

// ---- A disk whose inodes or bytes another program took

// The other program takes the space the room gives back as soon as it is
// free, as a program filling the disk at that moment would.
class RoomTaker : public KTKVFileSystem {
 public:
  explicit RoomTaker(kvtest::DiskHog& hog) : hog_(hog) {}
  int unlink(const char* path) override {
    const int result = KTKVFileSystem::unlink(path);
    if (result == 0 && std::string_view(path).ends_with("/room")) hog_.takeBytes();
    return result;
  }

 private:
  kvtest::DiskHog& hog_;
};

enum class Taken { Inodes, Bytes };

// Fills a store of `type` on a fresh 16 MiB disk with 300 inodes, closes
// it, lets the other program take the disk's free inodes or bytes, opens
// it again (which fails and keeps every item), gives them back and opens
// it once more: every item is there.
void openOnATakenDisk(KTKVStorageType type, Taken taken, const std::string& disk) {
  SCOPED_TRACE(std::string(nameOf(type)) + (taken == Taken::Inodes ? ", inodes taken" : ", bytes taken"));
  if (std::string refusal = kvtest::mountSmallDisk(disk, 16 << 20, 300); !refusal.empty()) {
    GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
  }
  kvtest::UnmountAtEnd unmount(disk);
  const std::string root = disk + "/kv";
  {
    auto storage = open(root, type);
    ASSERT_TRUE(storage);
    fill(*storage, type);
  }
  kvtest::DiskHog hog(disk + "/other");
  if (taken == Taken::Inodes) {
    ASSERT_TRUE(hog.takeInodes());
    ASSERT_GT(kvtest::freeBytesAt(disk), 4 << 20) << "bytes are free, inodes are not";
  } else {
    ASSERT_TRUE(hog.takeBytes());
  }
  {
    kit::test::LogCapture logs;
    // The room's one inode is not the two the database needs; its bytes
    // would be enough, and are taken too.
    std::shared_ptr<KTKVFileSystem> files = KTKVFileSystem::system();
    if (taken == Taken::Bytes) files = std::make_shared<RoomTaker>(hog);
    auto refused = open(root, type, files);
    EXPECT_FALSE(refused) << "opened without " << (taken == Taken::Inodes ? "an inode" : "a byte");
    EXPECT_TRUE(logs.contains("KTKVStorage init error: fail to open sqlite db."));
    EXPECT_TRUE(logs.contains(taken == Taken::Inodes ? "(14)" : "(10)"));
  }
  hog.release();
  auto storage = open(root, type);
  ASSERT_TRUE(storage);
  expectEveryItem(*storage, type);
}

TEST(KVStorageTakenDisk, AnOpenWithoutAFreeInodeOrByteFailsAndKeepsEveryItem) {
  if (!kit::test::inOwnProcess()) return;
  if (std::string refusal = kvtest::enterOwnMountNamespace(); !refusal.empty()) {
    GTEST_SKIP() << "no mount namespace of our own here (" << refusal << ")";
  }
  kit::test::TempDirectory dir("kv-taken-open");
  int number = 0;
  for (Taken taken : {Taken::Inodes, Taken::Bytes}) {
    for (auto type : {KTKVStorageTypeSQLite, KTKVStorageTypeFile, KTKVStorageTypeMixed}) {
      openOnATakenDisk(type, taken, dir.file("disk" + std::to_string(number++)));
      if (HasFailure() || IsSkipped()) return;
    }
  }
}

// ---- Removing everything on a disk another program filled

struct RemovalOfAll {
  const char* name;
  std::function<bool(KTKVStorage&)> run;
};

std::vector<RemovalOfAll> removalsOfAll() {
  return {
      {"removeAllItems", [](KTKVStorage& s) { return s.removeAllItems(); }},
      {"removeItemsToFitSize(0)", [](KTKVStorage& s) { return s.removeItemsToFitSize(0); }},
      {"removeItemsToFitCount(0)", [](KTKVStorage& s) { return s.removeItemsToFitCount(0); }},
      {"removeItemsLargerThanSize(0)", [](KTKVStorage& s) { return s.removeItemsLargerThanSize(0); }},
      {"removeItemsEarlierThanTime(NoLimit)",
       [](KTKVStorage& s) { return s.removeItemsEarlierThanTime(KTKVStorage::NoLimit); }},
  };
}

// A nearly empty store (three small values inline, one in a file), the
// disk then filled by `takeAll`; the removal succeeds, and once `giveBack`
// frees the disk a save with a file works, in this run and the next.
void removeAllOnAFilledDisk(const RemovalOfAll& removal, const std::string& root,
                            const std::shared_ptr<KTKVFileSystem>& files, const std::function<void()>& takeAll,
                            const std::function<void()>& giveBack) {
  SCOPED_TRACE(removal.name);
  auto storage = open(root, KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  for (int n = 0; n < 3; ++n) ASSERT_TRUE(storage->saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(valueOf(n, 200))));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str(keyOf(3)), kit::Data::make(valueOf(3, 2000)), kit::str("k3.bin"),
                                       nullptr));
  // Opened again, the log folded away: removing the old database frees
  // little more than its few pages and its shared memory.
  storage.reset();
  storage = open(root, KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  takeAll();
  EXPECT_TRUE(removal.run(*storage)) << "on a disk filled from outside";
  EXPECT_EQ(storage->getItemsCount(), 0);
  for (int n = 0; n < 4; ++n) EXPECT_FALSE(storage->getItemValueForKey(kit::str(keyOf(n)))) << keyOf(n);
  giveBack();
  const std::string fresh = valueOf(9, 3000);
  EXPECT_TRUE(storage->saveItemWithKey(kit::str("fresh"), kit::Data::make(fresh), kit::str("fresh.bin"), nullptr));
  auto read = storage->getItemValueForKey(kit::str("fresh"));
  EXPECT_EQ(read ? read->toString() : "(none)", fresh);
  storage.reset();
  storage = open(root, KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  EXPECT_EQ(storage->getItemsCount(), 1);
  read = storage->getItemValueForKey(kit::str("fresh"));
  EXPECT_EQ(read ? read->toString() : "(none)", fresh);
}

TEST(KVStorageTakenDisk, RemovingEverythingOnADiskFilledFromOutsideSucceeds) {
  if (!kit::test::inOwnProcess()) return;
  if (std::string refusal = kvtest::enterOwnMountNamespace(); !refusal.empty()) {
    GTEST_SKIP() << "no mount namespace of our own here (" << refusal << ")";
  }
  kit::test::TempDirectory dir("kv-taken-remove");
  int number = 0;
  for (Taken taken : {Taken::Bytes, Taken::Inodes}) {
    SCOPED_TRACE(taken == Taken::Inodes ? "inodes taken" : "bytes taken");
    for (const RemovalOfAll& removal : removalsOfAll()) {
      const std::string disk = dir.file("disk" + std::to_string(number++));
      if (std::string refusal = kvtest::mountSmallDisk(disk, kvtest::SmallDiskBytes, 300); !refusal.empty()) {
        GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
      }
      kvtest::UnmountAtEnd unmount(disk);
      kvtest::DiskHog hog(disk + "/other");
      removeAllOnAFilledDisk(
          removal, disk + "/kv", KTKVFileSystem::system(),
          [&] { ASSERT_TRUE(taken == Taken::Inodes ? hog.takeInodes() : hog.takeBytes()); }, [&] { hog.release(); });
      ASSERT_TRUE(kit::test::runUntil([&] { return kvtest::freeInodesAt(disk) > 0 && kvtest::freeBytesAt(disk) > 0; }));
      if (HasFailure()) return;
    }
  }
}

// The same on the fault plan's counted disk, filled to the byte.
class KVStorageFilledSeamDisk : public ::testing::TestWithParam<int> {};

TEST_P(KVStorageFilledSeamDisk, RemovingEverythingSucceeds) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-filled-seam");
  plan->spaceLeft = kvtest::SmallDiskBytes;
  removeAllOnAFilledDisk(
      removalsOfAll()[GetParam()], dir.file("kv"), files, [&] { plan->spaceLeft = 0; },
      [&] { plan->spaceLeft = 1 << 20; });
  plan->spaceLeft = -1;
}

INSTANTIATE_TEST_SUITE_P(EachWay, KVStorageFilledSeamDisk, ::testing::Range(0, 5),
                         [](const auto& info) {
                           std::string name = removalsOfAll()[info.param].name;
                           std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
                           return name;
                         });

// ---- No permission, no descriptor

TEST(KVStorageOpenFailure, WithoutPermissionTheOpenFailsAndKeepsEveryItem) {
  kit::test::TempDirectory dir("kv-no-permission");
  const std::string root = dir.file("kv");
  {
    auto storage = open(root, KTKVStorageTypeMixed);
    ASSERT_TRUE(storage);
    fill(*storage, KTKVStorageTypeMixed);
  }
  // The database that may not be read or written, then the folder in
  // which its log may not be made.
  struct Denial {
    const char* what;
    std::string path;
    mode_t denied, allowed;
    const char* code;  // cannot open; a database opened read-only
  };
  for (const Denial& denial : {Denial{"the database", root + "/manifest.sqlite", 0, 0644, "(14)"},
                               Denial{"the folder", root, 0500, 0755, "(8)"}}) {
    SCOPED_TRACE(denial.what);
    ASSERT_EQ(::chmod(denial.path.c_str(), denial.denied), 0);
    {
      kvtest::FileModesHold modes;
      if (!modes.holding()) {
        ::chmod(denial.path.c_str(), denial.allowed);
        GTEST_SKIP() << "root here cannot give up its permission override";
      }
      kit::test::LogCapture logs;
      EXPECT_FALSE(open(root, KTKVStorageTypeMixed)) << "opened without permission";
      EXPECT_TRUE(logs.contains("KTKVStorage init error: fail to open sqlite db."));
      EXPECT_TRUE(logs.contains(denial.code));
    }
    // The room the open gave up for nothing is back.
    EXPECT_EQ(roomSize(root), static_cast<off_t>(KTKVFileStore::RoomBytes));
    ASSERT_EQ(::chmod(denial.path.c_str(), denial.allowed), 0);
    auto storage = open(root, KTKVStorageTypeMixed);
    ASSERT_TRUE(storage);
    expectEveryItem(*storage, KTKVStorageTypeMixed);
  }
}

TEST(KVStorageOpenFailure, WithoutADescriptorTheOpenFailsAndKeepsEveryItem) {
  // The limit holds for the whole process: no other test's threads here.
  if (!kit::test::inOwnProcess()) return;
  kit::test::TempDirectory dir("kv-no-descriptor");
  const std::string root = dir.file("kv");
  {
    auto storage = open(root, KTKVStorageTypeMixed);
    ASSERT_TRUE(storage);
    fill(*storage, KTKVStorageTypeMixed);
  }
  // The sanitizers look at memory through a pipe the first time they meet
  // a type, which they could not make without a descriptor: an open that
  // fails as this one will (a folder where the database should be) shows
  // them the types first.
  {
    kit::test::TempDirectory other("kv-no-descriptor-other");
    ASSERT_EQ(::mkdir(other.file("kv").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(other.file("kv/manifest.sqlite").c_str(), 0700), 0);
    kit::test::LogCapture logs;
    ASSERT_FALSE(open(other.file("kv"), KTKVStorageTypeMixed));
  }
  {
    kit::test::LogCapture logs;
    kvtest::DescriptorsTaken taken;
    EXPECT_FALSE(open(root, KTKVStorageTypeMixed)) << "opened without a descriptor";
    EXPECT_TRUE(logs.contains("KTKVStorage init error: fail to open sqlite db."));
  }
  auto storage = open(root, KTKVStorageTypeMixed);
  ASSERT_TRUE(storage);
  expectEveryItem(*storage, KTKVStorageTypeMixed);
}

// ---- A damaged database

TEST(KVStorageOpenFailure, OnlyADamagedDatabaseIsStartedOver) {
  kit::test::TempDirectory dir("kv-damaged");
  struct Damage {
    const char* what;
    const char* code;
    std::function<void(std::string&)> apply;
  };
  const Damage damages[] = {
      {"not a database", "(26)", [](std::string& bytes) { bytes.assign(8192, 'x'); }},
      // The first page's tree after its header.
      {"corrupt", "(11)", [](std::string& bytes) { std::fill(bytes.begin() + 100, bytes.begin() + 4096, '\xa5'); }},
  };
  int number = 0;
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.what);
    const std::string root = dir.file("kv" + std::to_string(number++));
    {
      auto storage = open(root, KTKVStorageTypeMixed);
      ASSERT_TRUE(storage);
      fill(*storage, KTKVStorageTypeMixed);
    }
    const std::string database = root + "/manifest.sqlite";
    auto bytes = kit::dataWithContentsOfFile(database);
    ASSERT_TRUE(bytes);
    std::string text = bytes->toString();
    ASSERT_GE(text.size(), 4096u);
    damage.apply(text);
    ASSERT_TRUE(kit::writeDataToFile(*kit::Data::make(text), database, false));

    kit::test::LogCapture logs;
    auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed);
    ASSERT_TRUE(storage) << "a damaged database is started over";
    EXPECT_TRUE(logs.contains(damage.code));
    EXPECT_EQ(storage->getItemsCount(), 0);
    EXPECT_TRUE(storage->saveItemWithKey(kit::str("after"), kit::Data::make("again"), kit::str("after.bin"), nullptr));
    // The old files went to the trash, and the trash empties.
    EXPECT_EQ(namesIn(root + "/data"), std::vector<std::string>{"after.bin"});
    EXPECT_TRUE(kit::test::runUntil([&] { return namesIn(root + "/trash").empty(); }));
  }
}

}  // namespace
