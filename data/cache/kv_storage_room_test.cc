// The room the key-value storage keeps for a full disk, and the limit its
// saves keep to so that the room can always fold the log: an open folds
// the log left behind and makes the room; while the room is not whole
// nothing but removals writes (saves are refused, reads leave access times
// as they are) until there is space to make it again; an access time that
// a full disk refuses is no error; a save is taken only where what it
// leaves in the log can still be folded, by the room beside a removal's
// own log, after folding what earlier saves left, and one that cannot fit
// is refused once and gives back the log space it spilled into; removals
// on a disk kept nearly full lend the room to give their pages back; and
// a part of a room that a killed process left is given up like a room
// when the disk is full.
//
// The disk is the fault plan's counted space (the seam every value-file
// call and SQLite's writes go through), with real files and real SQLite.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_fault_injection.h"
#include "kit/foundation/date.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/temp_directory.h"

namespace {

constexpr int64_t kRoom = static_cast<int64_t>(KTKVFileStore::RoomBytes);

int64_t sizeAt(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

kit::Ref<kit::Data> filled(size_t length, char c) { return kit::Data::make(std::string(length, c)); }

class KVStorageRoomTest : public ::testing::Test {
 protected:
  void SetUp() override { plan->skipSync = true; }
  void TearDown() override {
    storage.reset();
    plan->spaceLeft = -1;
  }

  // Opens the storage again (closing the one open).
  void reopen(KTKVStorageType type = KTKVStorageTypeMixed) {
    storage.reset();
    storage = KTKVStorage::initWithPath(kit::str(root), type, files);
    ASSERT_TRUE(storage);
    storage->setErrorLogsEnabled(false);
  }
  bool save(const std::string& key, size_t length, const char* filename = nullptr) {
    return storage->saveItemWithKey(kit::str(key), filled(length, key[0]), filename ? kit::str(filename) : nullptr,
                                    nullptr);
  }
  int64_t accessTimeOf(const std::string& key) {
    auto info = storage->getItemInfoForKey(kit::str(key));
    return info ? info->accessTime() : -1;
  }

  std::shared_ptr<kvtest::FaultPlan> plan = std::make_shared<kvtest::FaultPlan>();
  kvtest::ScopedFaultyVFS vfs{plan};
  std::shared_ptr<kvtest::FaultyFileSystem> files = std::make_shared<kvtest::FaultyFileSystem>(plan);
  kit::test::TempDirectory dir{"kv-room"};
  std::string root = dir.file("kv");
  double wallNow = 1'700'000'000;
  kit::ScopedWallClock wall{[this] { return wallNow; }};
  kit::Ref<KTKVStorage> storage;
};

TEST_F(KVStorageRoomTest, AnOpenFoldsTheLogLeftBehindAndMakesTheRoom) {
  reopen();
  ASSERT_TRUE(save("a", 1000));
  storage.reset();
  // Another program wrote 200 KB to the log and left it unfolded, and the
  // room went.
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((root + "/manifest.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "insert into manifest (key, size, inline_data) values ('b', 200000, zeroblob(200000));",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db);
  }
  ASSERT_EQ(::unlink((root + "/room").c_str()), 0);
  const int64_t database = sizeAt(root + "/manifest.sqlite");
  ASSERT_GT(sizeAt(root + "/manifest.sqlite-wal"), 200000);

  reopen();
  EXPECT_GE(sizeAt(root + "/manifest.sqlite"), database + 200000) << "the log was not folded";
  EXPECT_LE(sizeAt(root + "/manifest.sqlite-wal"), 0) << "the log's space was not given back";
  EXPECT_EQ(sizeAt(root + "/room"), kRoom);
  EXPECT_EQ(storage->getItemsCount(), 2);
}

TEST_F(KVStorageRoomTest, WhileTheRoomIsNotWholeSavesAreRefusedAndReadsLeaveAccessTimes) {
  reopen();
  ASSERT_TRUE(save("inline", 3000));
  ASSERT_TRUE(save("file", 20000, "file.bin"));
  storage.reset();
  // The room gone, and less space than it takes.
  ASSERT_EQ(::unlink((root + "/room").c_str()), 0);
  plan->spaceLeft = kRoom / 2;
  reopen();
  ASSERT_EQ(sizeAt(root + "/room"), -1);

  wallNow += 100;
  EXPECT_FALSE(save("new", 100)) << "a save took the space the room is to have";
  EXPECT_FALSE(save("inline", 100)) << "a save took the space the room is to have";
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("new")));
  EXPECT_TRUE(storage->getItemValueForKey(kit::str("inline")));
  EXPECT_TRUE(storage->getItemForKey(kit::str("file")));
  EXPECT_TRUE(storage->getItemForKeys(kit::Array::make(std::vector<kit::Id>{kit::str("inline"), kit::str("file")})));
  EXPECT_EQ(accessTimeOf("inline"), 1'700'000'000) << "a read wrote its access time";
  EXPECT_EQ(accessTimeOf("file"), 1'700'000'000) << "a read wrote its access time";

  // Once there is space, the next save makes the room and is taken.
  plan->spaceLeft = 4 * kRoom;
  EXPECT_TRUE(save("new", 100));
  EXPECT_EQ(sizeAt(root + "/room"), kRoom);
  EXPECT_TRUE(storage->getItemValueForKey(kit::str("inline")));
  EXPECT_EQ(accessTimeOf("inline"), 1'700'000'100);
}

TEST_F(KVStorageRoomTest, AnAccessTimeTheFullDiskRefusesIsNoError) {
  reopen();
  ASSERT_TRUE(save("k", 3000));
  reopen();  // the log folded and emptied: the next write must grow it
  storage->setErrorLogsEnabled(true);
  kit::test::LogCapture logs;
  plan->spaceLeft = 0;
  wallNow += 100;
  auto value = storage->getItemValueForKey(kit::str("k"));
  ASSERT_TRUE(value);
  EXPECT_EQ(value->length(), 3000u);
  EXPECT_EQ(accessTimeOf("k"), 1'700'000'000);
  EXPECT_EQ(logs.count(), 0u) << (logs.count() ? logs.messages().front() : "");
  EXPECT_TRUE(storage->removeItemForKey(kit::str("k")));
}

// With 4.6 MB free, a value of 1.7 MB inline would leave the log holding
// more than the room can fold: it is folded as it commits (the disk takes
// it twice and a log's margin besides), and once it is removed the disk
// has all its space back.
TEST_F(KVStorageRoomTest, ALargeSaveLeavesNothingTheRemovalsCannotFold) {
  reopen(KTKVStorageTypeSQLite);
  ASSERT_TRUE(save("small", 2000));
  const int64_t before = 4'600'000;
  plan->spaceLeft = before;
  ASSERT_TRUE(save("large", 1'700'000));
  EXPECT_GE(sizeAt(root + "/manifest.sqlite"), 1'700'000) << "the save was not folded as it committed";
  EXPECT_TRUE(storage->removeItemForKey(kit::str("large")));
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("large")));
  // The next save folds what the log holds and gives its space back.
  EXPECT_TRUE(save("again", 100000));
  EXPECT_TRUE(storage->removeItemForKey(kit::str("again")));
  EXPECT_GE(plan->spaceLeft, before - KTKVManifest::LagBytes) << "the space did not come back";
}

// Saves of up to a room's worth inline on a disk with too little space to
// fold them at once, then another program takes the rest: what a save
// that is taken left in the log must fit in the room beside the removal's
// own log, so that removing it folds the log and makes the room whole
// again. The smaller ones are taken; a larger one may be refused.
TEST_F(KVStorageRoomTest, ASaveLeavesNoMoreToFoldThanTheRoomCoversBesideARemoval) {
  int taken = 0;
  for (size_t size : {120'000, 150'000, 170'000, 185'000, 200'000, 220'000, 248'000}) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    root = dir.file("kv" + std::to_string(size));
    plan->spaceLeft = -1;
    reopen(KTKVStorageTypeSQLite);
    plan->spaceLeft = 400'000;
    const bool saved = save("big", size);
    if (size <= 150'000) ASSERT_TRUE(saved) << "a save the room can fold was refused";
    if (!saved) continue;
    ++taken;
    plan->spaceLeft = 0;
    EXPECT_TRUE(storage->removeItemForKey(kit::str("big")));
    EXPECT_EQ(storage->getItemsCount(), 0);
    EXPECT_EQ(sizeAt(root + "/room"), kRoom) << "the room was not made again";
    EXPECT_LE(sizeAt(root + "/manifest.sqlite-wal"), 0) << "the log was not folded";
  }
  EXPECT_GE(taken, 2);
}

// An earlier save left the database lagging its log by less than a fold's
// worth; a save that would add to it more than the room can fold fits once
// that is folded.
TEST_F(KVStorageRoomTest, ASaveThatFitsOnceTheLogIsFoldedIsTaken) {
  reopen(KTKVStorageTypeSQLite);
  plan->spaceLeft = 500'000;
  ASSERT_TRUE(save("a", 48'000));
  EXPECT_TRUE(save("b", 180'000)) << "refused with the log before it unfolded";
  EXPECT_EQ(storage->getItemsCount(), 2);
  EXPECT_TRUE(storage->removeItemForKey(kit::str("b")));
  EXPECT_TRUE(storage->removeItemForKey(kit::str("a")));
  EXPECT_GE(plan->spaceLeft, 500'000 - KTKVManifest::LagBytes);
}

// On a full disk the items larger than a size go one at a time, batch
// after batch, each with its file: all of them, down to a last batch of
// one, while the smaller ones stay.
TEST_F(KVStorageRoomTest, RemovingTheItemsLargerThanASizeOnAFullDiskLeavesNoneOfThem) {
  for (int larger : {1, 17}) {
    SCOPED_TRACE(std::to_string(larger) + " larger items");
    root = dir.file("kv-larger" + std::to_string(larger));
    plan->spaceLeft = -1;
    reopen();
    for (int n = 0; n < 4; ++n) ASSERT_TRUE(save("s" + std::to_string(n), 1000));
    for (int n = 0; n < larger; ++n) {
      const std::string key = "L" + std::to_string(n);
      ASSERT_TRUE(save(key, 30'000, n % 2 == 0 ? (key + ".bin").c_str() : nullptr));
    }
    reopen();  // the log folded away: each removal must grow it
    plan->spaceLeft = 0;
    EXPECT_TRUE(storage->removeItemsLargerThanSize(10'000));
    for (int n = 0; n < larger; ++n) {
      EXPECT_FALSE(storage->getItemValueForKey(kit::str("L" + std::to_string(n)))) << "L" << n << " still reads";
    }
    for (int n = 0; n < 4; ++n) EXPECT_TRUE(storage->getItemValueForKey(kit::str("s" + std::to_string(n))));
    EXPECT_EQ(storage->getItemsCount(), 4);
    EXPECT_EQ(sizeAt(root + "/data/L0.bin"), -1) << "the file of a removed item stayed";
  }
}

// The free space as the storage asks for it, counted: a save that asks
// without end is stopped by giving it space.
class CountingFileSystem : public kvtest::FaultyFileSystem {
 public:
  explicit CountingFileSystem(std::shared_ptr<kvtest::FaultPlan> plan) : FaultyFileSystem(plan), plan_(plan) {}
  int64_t availableBytes(const char* path) override {
    if (++asked == kEndless) plan_->spaceLeft = -1;
    return FaultyFileSystem::availableBytes(path);
  }
  static constexpr int kEndless = 1000;
  int asked = 0;

 private:
  std::shared_ptr<kvtest::FaultPlan> plan_;
};

TEST_F(KVStorageRoomTest, ASaveThatCannotFitIsRefusedOnce) {
  auto counting = std::make_shared<CountingFileSystem>(plan);
  files = counting;
  reopen(KTKVStorageTypeSQLite);
  plan->spaceLeft = 500'000;
  counting->asked = 0;
  EXPECT_FALSE(save("big", 300'000));
  EXPECT_LT(counting->asked, CountingFileSystem::kEndless) << "the save was tried again and again";
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_TRUE(save("small", 3000));
}

TEST_F(KVStorageRoomTest, APartOfARoomIsGivenUpForAnOpenOnAFullDisk) {
  reopen();
  for (int n = 0; n < 5; ++n) ASSERT_TRUE(save("k" + std::to_string(n), 20000, ("k" + std::to_string(n)).c_str()));
  storage.reset();
  // A process killed while it made the room again left a part of it; then
  // another program took every byte.
  ASSERT_EQ(::rename((root + "/room").c_str(), (root + "/room.new").c_str()), 0);
  ASSERT_EQ(::truncate((root + "/room.new").c_str(), 200'000), 0);
  plan->spaceLeft = 0;
  storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed, files);
  ASSERT_TRUE(storage) << "not opened on the full disk";
  storage->setErrorLogsEnabled(false);
  EXPECT_EQ(sizeAt(root + "/room.new"), -1);
  EXPECT_EQ(storage->getItemsCount(), 5);
  for (int n = 0; n < 5; ++n) EXPECT_TRUE(storage->removeItemForKey(kit::str("k" + std::to_string(n))));
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_EQ(sizeAt(root + "/room"), kRoom);
}

}  // namespace

// A save too large to fold is refused after SQLite has spilled part of it
// into the log; the log gives that space back at once, or the disk reads
// that much fuller than it is until a later fold truncates the log.
TEST_F(KVStorageRoomTest, ARefusedSaveGivesBackTheLogSpaceItSpilledInto) {
  reopen(KTKVStorageTypeSQLite);
  ASSERT_TRUE(save("small", 2000));
  const int64_t before = 4'600'000;
  plan->spaceLeft = before;
  ASSERT_FALSE(save("large", 3 << 20)) << "a save that cannot be folded was taken";
  EXPECT_LE(sizeAt(root + "/manifest.sqlite-wal"), KTKVManifest::LagBytes) << "the spilled log stayed";
  EXPECT_GE(plan->spaceLeft, before - KTKVManifest::LagBytes) << "the space did not come back";
  // Twice this value and a log's margin fit in the space before the
  // refusal, not in what the spilled log would leave of it.
  EXPECT_TRUE(save("fits", 1'700'000)) << "refused for the space the refused save took";
  EXPECT_EQ(storage->getItemsCount(), 2);
}

// Another program keeps the disk nearly full: less free than the log's
// margin, or not much more, but enough for each removal's own log.
// Removals of inline values free pages inside the database only; with too
// little space to move the pages after them into their place, the room
// lends it, so that the space comes back to the disk as the items go.
TEST_F(KVStorageRoomTest, RemovalsOnADiskKeptNearlyFullGiveTheirPagesBackToTheDisk) {
  constexpr int kItems = 8;
  constexpr int64_t kValueBytes = 100'000;
  for (int64_t before : {40'000, 100'000}) {
    SCOPED_TRACE(std::to_string(before) + " bytes free");
    root = dir.file("kv" + std::to_string(before));
    plan->spaceLeft = -1;
    reopen(KTKVStorageTypeSQLite);
    for (int n = 0; n < kItems; ++n) ASSERT_TRUE(save("k" + std::to_string(n), kValueBytes));
    reopen(KTKVStorageTypeSQLite);
    plan->spaceLeft = before;
    for (int n = 0; n < kItems; ++n) {
      EXPECT_TRUE(storage->removeItemForKey(kit::str("k" + std::to_string(n))));
      EXPECT_GE(plan->spaceLeft, before + (n + 1) * kValueBytes - KTKVManifest::LagBytes)
          << "the pages of " << n + 1 << " removed items stayed in the database";
    }
    EXPECT_EQ(storage->getItemsCount(), 0);
    EXPECT_EQ(sizeAt(root + "/room"), kRoom);
  }
}
