// Randomized sequences against a model (see testing/kv_model.h), on a disk
// of 8 MiB that the sequences fill again and again, and that another
// program fills too at random points: the fault plan's counted space (the
// seam every value-file call and SQLite's writes go through; the other
// program takes bytes there) and a real tmpfs of few inodes, mounted in a
// mount namespace of the test's own process where the system allows it
// (the other program takes bytes or inodes there). After every step each
// key holds exactly its last saved value or nothing because it was
// removed, every removal and trim succeeds, and at the end, with
// everything removed from a disk filled by both, the disk has its space
// back less at most the room the storage keeps. All three storage types
// run.
//
// The seeds are fixed; KV_MODEL_SEQUENCES and KV_MODEL_STEPS run other
// sequences (from KV_MODEL_FIRST_SEED) or longer ones.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "data/cache/testing/kv_model.h"
#include "kit/testing/own_process.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"

namespace {

int steps() { return kvtest::fromEnvironment("KV_MODEL_STEPS", 150); }

// The seeds of the sequences: fixed ones (the last once found a save that
// left more to fold than the room holds), or KV_MODEL_SEQUENCES of them
// from KV_MODEL_FIRST_SEED.
std::vector<uint64_t> seeds() {
  const int count = kvtest::fromEnvironment("KV_MODEL_SEQUENCES", 0);
  if (count <= 0) return {100, 101, 102, 135};
  std::vector<uint64_t> out;
  const auto first = static_cast<uint64_t>(kvtest::fromEnvironment("KV_MODEL_FIRST_SEED", 1));
  for (int n = 0; n < count; ++n) out.push_back(first + static_cast<uint64_t>(n));
  return out;
}

// The bytes the files under `path` take on the disk.
int64_t bytesUnder(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return 0;
  int64_t total = static_cast<int64_t>(status.st_blocks) * 512;
  if (!S_ISDIR(status.st_mode)) return total;
  if (DIR* dir = ::opendir(path.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") total += bytesUnder(path + "/" + name);
    }
    ::closedir(dir);
  }
  return total;
}

// Runs one sequence of `seed` on the storage at `root`; `beforeStep` runs
// before every step (the seam's plan counts the disk again there).
const char* nameOf(KTKVStorageType type) {
  switch (type) {
    case KTKVStorageTypeFile: return "File";
    case KTKVStorageTypeSQLite: return "SQLite";
    default: return "Mixed";
  }
}

void runSequence(uint64_t seed, KTKVStorageType type, const std::string& root,
                 const std::shared_ptr<KTKVFileSystem>& files, const kvtest::ModelRun::FreeSpace& freeSpace,
                 const kvtest::OutsideProgram& outside, const std::function<void()>& beforeStep) {
  const std::string trace = std::string(nameOf(type)) + " sequence of seed " + std::to_string(seed);
  SCOPED_TRACE(trace);
  kvtest::ModelRun run(root, type, files, freeSpace, [](const std::string& text) { ADD_FAILURE() << text; });
  run.seed = seed;
  run.outside = outside;
  if (beforeStep) beforeStep();
  ASSERT_TRUE(run.open());
  for (int index = 0; index < steps(); ++index) {
    if (beforeStep) beforeStep();
    if (!run.run(index)) return;
  }
  if (beforeStep) beforeStep();
  // Each way of removing everything, across the seeds and types.
  run.emptyAndCheckSpace(
      seed + type, [&] { EXPECT_TRUE(kit::test::runUntil([&] { return kvtest::folderIsEmpty(root + "/trash"); })); });
  // The storage saves again, in this run and the next.
  EXPECT_TRUE(run.storage()->saveItemWithKey(kit::str("again"), kit::Data::make(std::string(150000, 'z')),
                                             kit::str("again.bin"), nullptr));
  run.close();
  ASSERT_TRUE(run.open());
  EXPECT_EQ(run.storage()->getItemsCount(), 1);
}

class KVStorageModel : public ::testing::TestWithParam<KTKVStorageType> {};

TEST_P(KVStorageModel, RandomSequencesOnAFullSeamDiskKeepEveryKeyAsTheModelSays) {
  for (uint64_t seed : seeds()) {
    auto plan = std::make_shared<kvtest::FaultPlan>();
    plan->skipSync = true;
    kvtest::ScopedFaultyVFS vfs(plan);
    auto files = std::make_shared<kvtest::FaultyFileSystem>(plan);
    kit::test::TempDirectory dir("kv-model");
    const std::string root = dir.file("kv");
    // What the folder takes, counted again before each step: files the
    // trash queue removes go past the seam.
    int64_t outsideBytes = 0;
    auto count = [&] {
      plan->spaceLeft = std::max<int64_t>(0, kvtest::SmallDiskBytes - bytesUnder(root) - outsideBytes);
    };
    kvtest::OutsideProgram outside;
    outside.take = [&](bool, int64_t leave) {
      count();
      outsideBytes += std::max<int64_t>(0, plan->spaceLeft - leave);
      count();
    };
    outside.giveBack = [&] {
      outsideBytes = 0;
      count();
    };
    runSequence(
        seed, GetParam(), root, files,
        [&] {
          count();
          return plan->spaceLeft;
        },
        outside, count);
    plan->spaceLeft = -1;
    if (HasFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryType, KVStorageModel,
                         ::testing::Values(KTKVStorageTypeSQLite, KTKVStorageTypeMixed, KTKVStorageTypeFile),
                         [](const auto& info) { return nameOf(info.param); });

TEST(KVStorageModelTmpfs, RandomSequencesOnAFullSmallDiskKeepEveryKeyAsTheModelSays) {
  if (!kit::test::inOwnProcess()) return;
  if (std::string refusal = kvtest::enterOwnMountNamespace(); !refusal.empty()) {
    GTEST_SKIP() << "no mount namespace of our own here (" << refusal << ")";
  }
  kit::test::TempDirectory dir("kv-model-tmpfs");
  int number = 0;
  for (auto type : {KTKVStorageTypeSQLite, KTKVStorageTypeMixed, KTKVStorageTypeFile}) {
    for (uint64_t seed : seeds()) {
      const std::string disk = dir.file("disk" + std::to_string(number++));
      // Inodes enough for the storage's files and a trash of as many; the
      // other program takes the rest.
      if (std::string refusal = kvtest::mountSmallDisk(disk, kvtest::SmallDiskBytes, 512); !refusal.empty()) {
        GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
      }
      {
        kvtest::DiskHog hog(disk + "/other");
        kvtest::OutsideProgram outside;
        outside.inodes = true;
        outside.take = [&](bool inodes, int64_t leave) { inodes ? hog.takeInodes(leave) : hog.takeBytes(leave); };
        outside.giveBack = [&] { hog.release(); };
        runSequence(
            seed + 1000, type, disk + "/kv", KTKVFileSystem::system(),
            [&] { return KTKVFileSystem::system()->availableBytes(disk.c_str()); }, outside, nullptr);
      }
      ::umount2(disk.c_str(), MNT_DETACH);
      if (HasFailure()) return;
    }
  }
}

}  // namespace
