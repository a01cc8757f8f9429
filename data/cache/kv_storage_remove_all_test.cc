// Removing every item of the key-value storage, at every step and on
// disks that refuse it something: a process killed at any step on a disk
// another program filled leaves each key with its newest value or with
// nothing, never an older one; the removal answers true exactly when every
// item is gone, also when the new database cannot be made yet; and where
// no empty data folder can be made, the items go one at a time with their
// files, which do not stay behind in the trash.
//
// The disks are the fault plan's counted space, a small tmpfs of the
// test's own where the system allows one, and a file system that refuses
// folders, with real files and real SQLite.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "data/cache/testing/kv_small_disk.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/values.h"
#include "kit/testing/own_process.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"

namespace {

const char* nameOf(KTKVStorageType type) { return type == KTKVStorageTypeSQLite ? "SQLite" : "Mixed"; }

// The regular files under `folder`, at any depth.
int filesUnder(const std::string& folder) {
  int count = 0;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + std::string(name);
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) continue;
    count += S_ISDIR(status.st_mode) ? filesUnder(path) : S_ISREG(status.st_mode);
  }
  ::closedir(dir);
  return count;
}

// ---- A kill at each step

constexpr int kKeys = 12;
// The store each kill removes holds fewer: the removal takes the same
// steps for any number of items, and these are of every kind (inline and
// in a file, saved again or not).
constexpr int kKeysKilled = 6;
// Keys saved again after the log was folded, and one saved only then.
constexpr int kSavedAgain = 3;
constexpr const char* kLateKey = "late";
// What a child that removed everything without being killed exits with,
// and one that found an older value where the kill before it left a store.
constexpr int kFinished = 42;
constexpr int kOlderValue = 43;

std::string keyOf(int n) { return "k" + std::to_string(n); }
std::string oldValueOf(int n) { return "old " + keyOf(n) + std::string(100 + n, 'o'); }
// Larger than the old values, so that folding them grows the database.
std::string newValueOf(std::string_view key) { return "new " + std::string(key) + std::string(3000, 'n'); }
bool inFile(KTKVStorageType type, int n) { return type == KTKVStorageTypeMixed && n % 3 == 2; }

// Ends a child with `code`, its output written.
[[noreturn]] void finish(int code) {
  std::fflush(stderr);
  ::_exit(code);
}

// In a child: saves the old values, opens the storage again (which folds
// them into the database), saves newer values that stay in the log, lets
// another program fill the disk (the counted one, or the real one with a
// DiskHog in `hogFolder`) and removes everything, killed at the `step`th
// call that changes the disk.
[[noreturn]] void removeAllKilledAt(const std::string& root, KTKVStorageType type, int step,
                                    const std::string& hogFolder) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  {
    kvtest::ScopedFaultyVFS vfs(plan);
    auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
    auto storage = KTKVStorage::initWithPath(kit::str(root), type, files);
    if (!storage) finish(2);
    for (int n = 0; n < kKeysKilled; ++n) {
      if (!storage->saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(oldValueOf(n)),
                                    inFile(type, n) ? kit::str(keyOf(n) + ".bin") : nullptr, nullptr)) {
        finish(3);
      }
    }
    storage.reset();
    storage = KTKVStorage::initWithPath(kit::str(root), type, files);
    if (!storage) finish(4);
    storage->setErrorLogsEnabled(false);
    for (int n = 0; n < kSavedAgain; ++n) {
      if (!storage->saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(newValueOf(keyOf(n))))) finish(5);
    }
    if (!storage->saveItemWithKey(kit::str(kLateKey), kit::Data::make(newValueOf(kLateKey)))) finish(5);
    std::optional<kvtest::DiskHog> hog;
    if (hogFolder.empty()) {
      plan->spaceLeft = 0;
    } else if (!hog.emplace(hogFolder).takeBytes()) {
      finish(6);
    }
    plan->action = [] { ::kill(::getpid(), SIGKILL); };
    plan->arm(step);
    storage->removeAllItems();
  }
  finish(kFinished);
}

// In a child: opens the storage as a killed one left it; every key must
// read its newest value or nothing, and the count must be what reads. The
// failures found, each told on stderr.
int olderValuesIn(const std::string& root, KTKVStorageType type) {
  // Syncs are left out: they matter for power cuts only.
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto storage = KTKVStorage::initWithPath(kit::str(root), type, std::make_shared<kvtest::FaultyFileSystem>(plan));
  if (!storage) {
    std::fprintf(stderr, "the storage did not open\n");
    return 1;
  }
  storage->setErrorLogsEnabled(false);
  int failures = 0;
  int reading = 0;
  auto expect = [&](const std::string& key, const std::string& newest) {
    auto value = storage->getItemValueForKey(kit::str(key));
    if (!value) return;
    ++reading;
    if (value->toString() == newest) return;
    std::fprintf(stderr, "%s reads an older value: %.12s...\n", key.c_str(), value->toString().c_str());
    ++failures;
  };
  for (int n = 0; n < kKeysKilled; ++n) expect(keyOf(n), n < kSavedAgain ? newValueOf(keyOf(n)) : oldValueOf(n));
  expect(kLateKey, newValueOf(kLateKey));
  if (storage->getItemsCount() != reading) {
    std::fprintf(stderr, "%lld items counted, %d read\n", static_cast<long long>(storage->getItemsCount()), reading);
    ++failures;
  }
  return failures;
}

// Kills at every step of removing everything, on a disk filled from
// outside at `disk`: counted by the fault plan when `hogFolder` is empty,
// else a real one that a DiskHog fills there. Forks are what the test
// spends its time on: each killed process first checks, with the disk
// given back, the store the kill before it left, and one more process
// checks the store of the removal that ran through.
void killAtEveryStep(const std::string& disk, const std::string& hogFolder) {
  auto ended = [](int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; };
  for (auto type : {KTKVStorageTypeSQLite, KTKVStorageTypeMixed}) {
    SCOPED_TRACE(nameOf(type));
    std::string left;  // the store the last kill left, not checked yet
    for (int step = 1;; ++step) {
      ASSERT_LT(step, 200) << "the removal never ran through";
      const std::string root = disk + "/" + nameOf(type) + std::to_string(step);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        if (!left.empty()) {
          if (olderValuesIn(left, type) > 0) finish(kOlderValue);
          // The check's open empties the trash the kill left, in the
          // background: it is done before the other program fills the disk,
          // whose space must then stay taken.
          if (!kit::test::runUntil([&] { return filesUnder(left + "/trash") == 0; })) finish(7);
        }
        removeAllKilledAt(root, type, step, hogFolder);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      // The other program gives the disk back.
      if (!hogFolder.empty()) kit::FileManager::defaultManager()->removeItemAtPath(hogFolder);
      ASSERT_FALSE(ended(status, kOlderValue))
          << "killed at call " << step - 1 << ", the store reads an older value or miscounts (see the output)";
      if (!left.empty()) kit::FileManager::defaultManager()->removeItemAtPath(left);
      left = root;
      if (ended(status, kFinished)) break;
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
          << "killed at call " << step << ", the child ended otherwise: status " << status;
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) finish(olderValuesIn(left, type) == 0 ? 0 : kOlderValue);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(ended(status, 0)) << "removed to the end, the store reads an older value or miscounts: status "
                                  << status << " (see the output)";
    kit::FileManager::defaultManager()->removeItemAtPath(left);
  }
}

TEST(KVStorageRemoveAllKill, AKillAtAnyStepOnAFilledDiskNeverServesAnOlderValue) {
  // The children are forked: no other test's threads here.
  if (!kit::test::inOwnProcess()) return;
  kit::test::TempDirectory dir("kv-remove-all-kill");
  // A small tmpfs of the test's own where the system allows one: the other
  // program fills it at every step, and a disk of 2 MiB, which holds the
  // two stores a child has at a time, is quicker to fill and to give back
  // than a larger one. The counted disk is on it too, away from the
  // journal of the temporary folder's.
  const std::string disk = dir.file("disk");
  std::string refusal = kvtest::enterOwnMountNamespace();
  if (refusal.empty()) refusal = kvtest::mountSmallDisk(disk, 2 << 20);
  kvtest::UnmountAtEnd unmount(disk);
  {
    SCOPED_TRACE("the counted disk");
    killAtEveryStep(refusal.empty() ? disk : dir.path(), "");
  }
  if (HasFailure()) return;
  if (!refusal.empty()) GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
  {
    SCOPED_TRACE("a tmpfs");
    killAtEveryStep(disk, disk + "/other");
  }
}

// ---- The new database cannot be made yet

// Another program takes every byte the old database gives back, and the
// room's too, as soon as they are free.
class DiskTakenBack : public kvtest::FaultyFileSystem {
 public:
  explicit DiskTakenBack(std::shared_ptr<kvtest::FaultPlan> plan) : FaultyFileSystem(plan), plan_(std::move(plan)) {}
  int unlink(const char* path) override {
    const int result = FaultyFileSystem::unlink(path);
    const std::string_view name(path);
    if (result == 0 && taking && (name.ends_with("/manifest.sqlite") || name.ends_with("/room"))) plan_->spaceLeft = 0;
    return result;
  }
  bool taking = false;

 private:
  std::shared_ptr<kvtest::FaultPlan> plan_;
};

TEST(KVStorageRemoveAll, IsTrueOnceTheOldDatabaseIsGoneThoughTheNewOneCannotBeMadeYet) {
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  auto files = std::make_shared<DiskTakenBack>(plan);
  kit::test::TempDirectory dir("kv-remove-all-taken");
  const std::string root = dir.file("kv");
  auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  storage->setErrorLogsEnabled(false);
  for (int n = 0; n < kKeys; ++n) {
    ASSERT_TRUE(storage->saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(oldValueOf(n)),
                                         inFile(KTKVStorageTypeMixed, n) ? kit::str(keyOf(n) + ".bin") : nullptr,
                                         nullptr));
  }
  files->taking = true;
  EXPECT_TRUE(storage->removeAllItems()) << "every item went, and the removal says it failed";
  files->taking = false;
  plan->spaceLeft = -1;
  // Opened again with the disk back: nothing of the old items, and saves
  // work.
  storage.reset();
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  EXPECT_EQ(storage->getItemsCount(), 0);
  for (int n = 0; n < kKeys; ++n) EXPECT_FALSE(storage->getItemValueForKey(kit::str(keyOf(n)))) << keyOf(n);
  EXPECT_TRUE(storage->saveItemWithKey(kit::str("fresh"), kit::Data::make("value"), kit::str("fresh.bin"), nullptr));
  EXPECT_EQ(storage->getItemsCount(), 1);
}

// ---- No empty data folder can be made

// A disk without a free inode for a folder (a file the storage still
// writes, a hole for its bytes).
class NoFolders : public KTKVFileSystem {
 public:
  int mkdir(const char* path, mode_t mode) override {
    if (refusing) {
      errno = ENOSPC;
      return -1;
    }
    return KTKVFileSystem::mkdir(path, mode);
  }
  bool refusing = false;
};

TEST(KVStorageRemoveAll, WithoutAFolderForTheDataTheFilesGoOneAtATimeAndNoneStaysInTheTrash) {
  auto files = std::make_shared<NoFolders>();
  kit::test::TempDirectory dir("kv-remove-all-no-folder");
  const std::string root = dir.file("kv");
  auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage);
  storage->setErrorLogsEnabled(false);
  // 2.4 MB in twelve value files, and three items inline.
  for (int n = 0; n < 15; ++n) {
    const bool file = n < 12;
    ASSERT_TRUE(storage->saveItemWithKey(kit::str(keyOf(n)), kit::Data::make(std::string(file ? 200'000 : 100, 'v')),
                                         file ? kit::str(keyOf(n) + ".bin") : nullptr, nullptr));
  }
  files->refusing = true;
  EXPECT_TRUE(storage->removeAllItems());
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_EQ(filesUnder(root + "/data"), 0) << "value files stayed in the data folder";
  EXPECT_EQ(filesUnder(root + "/trash"), 0) << "value files stayed in the trash";
  files->refusing = false;
  EXPECT_TRUE(storage->saveItemWithKey(kit::str("fresh"), kit::Data::make("value"), kit::str("fresh.bin"), nullptr));
  EXPECT_EQ(filesUnder(root + "/data"), 1);
}

}  // namespace
