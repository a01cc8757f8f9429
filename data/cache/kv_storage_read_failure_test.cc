// Reads of value files that fail, and what the key-value storage keeps
// then. A file that cannot be read for now (every descriptor taken, no
// permission for a moment, an I/O error or no memory in its open, its
// status or its bytes) keeps its item: the read answers nil with a log
// line, and the next read, once the system allows it, finds the value.
// Only a file that is gone for good (missing, a link, a folder) drops its
// row, and that row goes through the room like any removal, so that on a
// full disk no count or lookup finds the items whose files went after.
//
// Each case reads through every read that may drop a row: the item, the
// value, and the items and values of many keys; on a full disk the single
// reads also alone, with no bulk read after them to drop a row they left.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "data/cache/testing/kv_small_disk.h"
#include "data/cache/testing/kv_system_refusals.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/own_process.h"
#include "kit/testing/temp_directory.h"

namespace {

constexpr int kItems = 20;

const char* nameOf(KTKVStorageType type) { return type == KTKVStorageTypeFile ? "File" : "Mixed"; }

std::string keyOf(int n) { return "k" + std::to_string(n); }
std::string valueOf(int n) { return keyOf(n) + "|" + std::string(3000 + n, static_cast<char>('a' + n)); }
// All items of the File type are in files; every other one of the Mixed.
bool inFile(KTKVStorageType type, int n) { return type == KTKVStorageTypeFile || n % 2 == 0; }
int filesOf(KTKVStorageType type) { return type == KTKVStorageTypeFile ? kItems : kItems / 2; }

kit::Ref<kit::Array> allKeys() {
  std::vector<kit::Id> keys;
  for (int n = 0; n < kItems; ++n) keys.push_back(kit::str(keyOf(n)));
  return kit::Array::make(std::move(keys));
}

void fill(KTKVStorage& storage, KTKVStorageType type) {
  for (int n = 0; n < kItems; ++n) {
    ASSERT_TRUE(storage.saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(valueOf(n)),
                                        inFile(type, n) ? kit::str(keyOf(n) + ".bin") : nullptr, nullptr));
  }
}

// How many items read back whole through each read; the least of them.
int itemsRead(KTKVStorage& storage) {
  int single = 0, value = 0, bulk = 0, values = 0;
  for (int n = 0; n < kItems; ++n) {
    auto item = storage.getItemForKey(kit::str(keyOf(n)));
    single += item && item->value() && item->value()->toString() == valueOf(n);
    auto bytes = storage.getItemValueForKey(kit::str(keyOf(n)));
    value += bytes && bytes->toString() == valueOf(n);
  }
  if (auto items = storage.getItemForKeys(allKeys())) {
    for (const kit::Id& element : *items) {
      auto item = kit::as<KTKVStorageItem>(element);
      bulk += item && item->value() && item->value()->toString().starts_with(item->key()->utf8() + "|");
    }
  }
  if (auto found = storage.getItemValueForKeys(allKeys())) {
    for (int n = 0; n < kItems; ++n) {
      auto bytes = kit::as<kit::Data>(found->objectForKey(kit::str(keyOf(n))));
      values += bytes && bytes->toString() == valueOf(n);
    }
  }
  return std::min({single, value, bulk, values});
}

int valueFilesIn(const std::string& folder) {
  int count = 0;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) count += std::string_view(entry->d_name).ends_with(".bin");
    ::closedir(dir);
  }
  return count;
}

// With every descriptor taken, a read finds only the inline items and
// logs why; with the descriptors back, every item reads again.
void readWithoutDescriptors(KTKVStorageType type, const std::string& root) {
  SCOPED_TRACE(nameOf(type));
  auto storage = KTKVStorage::initWithPath(kit::str(root), type);
  ASSERT_TRUE(storage);
  fill(*storage, type);
  // Every read once, and one of a file that may not be read, logged, so
  // that nothing below meets a type for the first time: the sanitizers
  // open a pipe to look at memory then.
  ASSERT_EQ(itemsRead(*storage), kItems);
  const std::string first = root + "/data/" + keyOf(0) + ".bin";
  ASSERT_EQ(::chmod(first.c_str(), 0), 0);
  {
    kit::test::LogCapture logs;
    kvtest::FileModesHold modes;
    EXPECT_FALSE(storage->getItemForKey(kit::str(keyOf(0))));
  }
  ASSERT_EQ(::chmod(first.c_str(), 0644), 0);
  {
    kit::test::LogCapture logs;
    kvtest::DescriptorsTaken taken;
    EXPECT_EQ(itemsRead(*storage), type == KTKVStorageTypeFile ? 0 : kItems - filesOf(type));
    EXPECT_TRUE(logs.contains("could not read a value file")) << "the failed reads were not logged";
  }
  EXPECT_EQ(storage->getItemsCount(), kItems) << "rows were dropped";
  EXPECT_EQ(itemsRead(*storage), kItems) << "items were lost";
  EXPECT_EQ(valueFilesIn(root + "/data"), filesOf(type));
}

TEST(KVStorageReadFailure, ReadsWithoutADescriptorKeepEveryItemForTheNextRead) {
  // The limit holds for the whole process: no other test's threads here.
  if (!kit::test::inOwnProcess()) return;
  kit::test::TempDirectory dir("kv-read-descriptors");
  // On a tmpfs of the test's own where the system allows one, else in the
  // temporary folder.
  std::string disk = dir.file("disk");
  const bool mounted =
      kvtest::enterOwnMountNamespace().empty() && kvtest::mountSmallDisk(disk, kvtest::SmallDiskBytes).empty();
  if (!mounted) disk = dir.path();
  int number = 0;
  for (auto type : {KTKVStorageTypeFile, KTKVStorageTypeMixed}) {
    readWithoutDescriptors(type, disk + "/kv" + std::to_string(number++));
    if (HasFailure()) break;
  }
  if (mounted) ::umount2(disk.c_str(), MNT_DETACH);
}

TEST(KVStorageReadFailure, ReadsWithoutPermissionKeepTheItemsForTheNextRead) {
  kit::test::TempDirectory dir("kv-read-permission");
  int number = 0;
  for (auto type : {KTKVStorageTypeFile, KTKVStorageTypeMixed}) {
    SCOPED_TRACE(nameOf(type));
    const std::string root = dir.file("kv" + std::to_string(number++));
    auto storage = KTKVStorage::initWithPath(kit::str(root), type);
    ASSERT_TRUE(storage);
    storage->setErrorLogsEnabled(false);
    fill(*storage, type);
    // Read permission taken from five value files for a moment.
    const std::vector<int> denied{0, 4, 8, 12, 16};
    for (int n : denied) ASSERT_EQ(::chmod((root + "/data/" + keyOf(n) + ".bin").c_str(), 0), 0);
    {
      kvtest::FileModesHold modes;
      if (!modes.holding()) {
        for (int n : denied) ::chmod((root + "/data/" + keyOf(n) + ".bin").c_str(), 0644);
        GTEST_SKIP() << "root here cannot give up its permission override";
      }
      for (int n = 0; n < kItems; ++n) {
        const bool readable = std::find(denied.begin(), denied.end(), n) == denied.end();
        EXPECT_EQ(static_cast<bool>(storage->getItemForKey(kit::str(keyOf(n)))), readable) << keyOf(n);
        EXPECT_EQ(static_cast<bool>(storage->getItemValueForKey(kit::str(keyOf(n)))), readable) << keyOf(n);
      }
      auto items = storage->getItemForKeys(allKeys());
      EXPECT_EQ(items ? items->count() : 0u, static_cast<size_t>(kItems) - denied.size());
      for (int n : denied) EXPECT_TRUE(storage->itemExistsForKey(kit::str(keyOf(n)))) << keyOf(n) << " was dropped";
    }
    for (int n : denied) ASSERT_EQ(::chmod((root + "/data/" + keyOf(n) + ".bin").c_str(), 0644), 0);
    EXPECT_EQ(storage->getItemsCount(), kItems);
    EXPECT_EQ(itemsRead(*storage), kItems) << "items were lost";
  }
}

// Value files whose reading fails inside: the open, the status or the
// bytes, through the file-system seam, with the errno of a disk that fails
// for a moment or a kernel short of memory.
class FailingValueReads : public KTKVFileSystem {
 public:
  enum Call { None, Open, Status, Bytes };
  int open(const char* path, int flags, mode_t mode) override {
    return failing == Open && !(flags & O_CREAT) ? fail() : KTKVFileSystem::open(path, flags, mode);
  }
  int fstat(int fd, struct stat* status) override {
    return failing == Status ? fail() : KTKVFileSystem::fstat(fd, status);
  }
  ssize_t read(int fd, void* bytes, size_t length) override {
    return failing == Bytes ? fail() : KTKVFileSystem::read(fd, bytes, length);
  }
  Call failing = None;
  int code = 0;

 private:
  int fail() const {
    errno = code;
    return -1;
  }
};

TEST(KVStorageReadFailure, ReadsThatFailInsideAValueFileKeepTheItemsForTheNextRead) {
  const struct {
    FailingValueReads::Call call;
    int code;
    const char* what;
  } failures[] = {
      {FailingValueReads::Open, EIO, "open: EIO"},
      {FailingValueReads::Status, EIO, "fstat: EIO"},
      {FailingValueReads::Status, ENOMEM, "fstat: ENOMEM"},
      {FailingValueReads::Bytes, EIO, "read: EIO"},
  };
  kit::test::TempDirectory dir("kv-read-inside");
  int number = 0;
  for (auto type : {KTKVStorageTypeFile, KTKVStorageTypeMixed}) {
    auto files = std::make_shared<FailingValueReads>();
    const std::string root = dir.file("kv" + std::to_string(number++));
    auto storage = KTKVStorage::initWithPath(kit::str(root), type, files);
    ASSERT_TRUE(storage);
    fill(*storage, type);
    for (const auto& failure : failures) {
      SCOPED_TRACE(std::string(nameOf(type)) + ", " + failure.what);
      {
        kit::test::LogCapture logs;
        files->failing = failure.call;
        files->code = failure.code;
        EXPECT_EQ(itemsRead(*storage), kItems - filesOf(type));
        files->failing = FailingValueReads::None;
        EXPECT_TRUE(logs.contains("could not read a value file")) << "the failed reads were not logged";
      }
      EXPECT_EQ(storage->getItemsCount(), kItems) << "rows were dropped";
      EXPECT_EQ(itemsRead(*storage), kItems) << "items were lost";
      EXPECT_EQ(valueFilesIn(root + "/data"), filesOf(type));
      if (HasFailure()) return;
    }
  }
}

// A process killed while it removed everything left the rows of items
// whose files went to the trash, and the disk is full: each read drops
// the rows of the files gone (and of a link and a folder in place of a
// file) through the room, so that no count or lookup finds them after,
// while the inline items stay.
TEST(KVStorageReadFailure, RowsOfFilesGoneGoOnAFullDiskToo) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-read-gone");
  const std::string root = dir.file("kv");
  auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  fill(*storage, KTKVStorageTypeMixed);
  // Opened again, the log folded away: each removal must grow it.
  storage.reset();
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  storage->setErrorLogsEnabled(false);
  ASSERT_EQ(::rename((root + "/data").c_str(), (root + "/trash/moved").c_str()), 0);
  ASSERT_EQ(::mkdir((root + "/data").c_str(), 0755), 0);
  ASSERT_EQ(::symlink((root + "/trash/moved/k0.bin").c_str(), (root + "/data/k0.bin").c_str()), 0);
  ASSERT_EQ(::mkdir((root + "/data/k2.bin").c_str(), 0755), 0);
  plan->spaceLeft = 0;

  // One read of each kind drops some of the rows, the bulk reads the rest.
  for (int n : {0, 2}) EXPECT_FALSE(storage->getItemForKey(kit::str(keyOf(n)))) << keyOf(n);
  for (int n : {4, 6}) EXPECT_FALSE(storage->getItemValueForKey(kit::str(keyOf(n)))) << keyOf(n);
  auto items = storage->getItemForKeys(allKeys());
  EXPECT_EQ(items ? items->count() : 0u, static_cast<size_t>(kItems / 2));
  EXPECT_EQ(storage->getItemsCount(), kItems / 2) << "rows of files gone are still counted";
  for (int n = 0; n < kItems; n += 2) EXPECT_FALSE(storage->itemExistsForKey(kit::str(keyOf(n)))) << keyOf(n);
  for (int n = 1; n < kItems; n += 2) {
    auto value = storage->getItemValueForKey(kit::str(keyOf(n)));
    EXPECT_EQ(value ? value->toString() : "(none)", valueOf(n));
  }
  storage.reset();
  plan->spaceLeft = -1;
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  EXPECT_EQ(storage->getItemsCount(), kItems / 2);
}

// The same for a single read alone: each read of an item or a value whose
// file went drops its row through the room at once, on a full disk too, so
// that the count and the lookups that follow it no longer find the item.
TEST(KVStorageReadFailure, ASingleReadOnAFullDiskDropsTheRowOfAFileGoneAtOnce) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir("kv-read-gone-single");
  const std::string root = dir.file("kv");
  auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeFile, files);
  ASSERT_TRUE(storage);
  fill(*storage, KTKVStorageTypeFile);
  // Opened again, the log folded away: each removal must grow it.
  storage.reset();
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeFile, files);
  ASSERT_TRUE(storage);
  storage->setErrorLogsEnabled(false);
  for (int n : {3, 7}) ASSERT_EQ(::unlink((root + "/data/" + keyOf(n) + ".bin").c_str()), 0);
  plan->spaceLeft = 0;

  EXPECT_FALSE(storage->getItemForKey(kit::str(keyOf(3))));
  EXPECT_EQ(storage->getItemsCount(), kItems - 1) << "the item read stayed counted";
  EXPECT_FALSE(storage->itemExistsForKey(kit::str(keyOf(3))));
  EXPECT_FALSE(storage->getItemValueForKey(kit::str(keyOf(7))));
  EXPECT_EQ(storage->getItemsCount(), kItems - 2) << "the value read stayed counted";
  EXPECT_FALSE(storage->itemExistsForKey(kit::str(keyOf(7))));
  storage.reset();
  plan->spaceLeft = -1;
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeFile, files);
  ASSERT_TRUE(storage);
  EXPECT_EQ(storage->getItemsCount(), kItems - 2);
  for (int n = 0; n < kItems; ++n) {
    if (n == 3 || n == 7) continue;
    auto value = storage->getItemValueForKey(kit::str(keyOf(n)));
    EXPECT_EQ(value ? value->toString() : "(none)", valueOf(n));
  }
}

}  // namespace
