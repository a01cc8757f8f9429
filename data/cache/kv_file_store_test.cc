// The value files' failures as values: a missing folder, a missing file, a
// folder or a link where a file should be and a refused name each come back
// as an error with its domain, code and path, and only these (and a pipe)
// say the value is gone; a failed write leaves no
// temporary file behind, and a failed rename leaves it to its caller. The
// free space is what a process without privileges may use. The room kept
// for a full disk is whole or not kept at all.

#include "data/cache/kv_file_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "data/cache/testing/kv_fault_injection.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"

namespace {

std::string infoText(const kit::Ref<kit::Error>& error, const char* key) {
  return kit::describe(error->userInfo()->objectForKey(kit::str(key)));
}

size_t entriesIn(const std::string& folder) {
  auto list = kit::FileManager::defaultManager()->contentsOfDirectoryAtPath(folder);
  return list ? list->count() : 0;
}

class KVFileStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(trash.c_str(), 0755), 0);
  }

  kit::test::TempDirectory dir{"kv-files"};
  std::string data = dir.file("data");
  std::string trash = dir.file("trash");
  KTKVFileStore store{data, trash};
};

TEST_F(KVFileStoreTest, WritesReadsAndRemovesThroughATemporaryName) {
  auto temporary = store.writeTemporary(*kit::Data::make("value"));
  ASSERT_TRUE(temporary) << temporary.error()->localizedDescription();
  EXPECT_TRUE(temporary->starts_with(KTKVFileStore::TemporaryFilePrefix)) << *temporary;
  EXPECT_EQ(entriesIn(data), 1u);
  ASSERT_TRUE(store.commit(*temporary, "v.bin"));
  // Renamed once: a second rename finds no temporary file.
  EXPECT_EQ(store.commit(*temporary, "v.bin").error()->code(), ENOENT);
  auto read = store.read("v.bin");
  ASSERT_TRUE(read);
  EXPECT_EQ((*read)->toString(), "value");
  ASSERT_TRUE(store.remove("v.bin"));
  EXPECT_EQ(entriesIn(data), 0u);
}

TEST_F(KVFileStoreTest, SystemFailuresCarryErrnoAndThePath) {
  auto missing = store.read("gone.bin");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error()->domain(), kit::POSIXErrorDomain);
  EXPECT_EQ(missing.error()->code(), ENOENT);
  EXPECT_EQ(infoText(missing.error(), kit::FilePathErrorKey), data + "/gone.bin");
  EXPECT_EQ(missing.error()->localizedDescription(), "could not open " + data + "/gone.bin: No such file or directory");
  EXPECT_EQ(store.remove("gone.bin").error()->code(), ENOENT);

  ASSERT_EQ(::mkdir((data + "/folder").c_str(), 0755), 0);
  EXPECT_EQ(store.read("folder").error()->code(), EISDIR);
  // A link is no value file, wherever it leads.
  ASSERT_EQ(::symlink("folder", (data + "/link").c_str()), 0);
  EXPECT_EQ(store.read("link").error()->code(), ELOOP);
  ASSERT_TRUE(store.remove("link"));

  // A file cannot be renamed over a folder: the temporary file stays until
  // it is discarded.
  auto temporary = store.writeTemporary(*kit::Data::make("value"));
  ASSERT_TRUE(temporary);
  auto committed = store.commit(*temporary, "folder");
  ASSERT_FALSE(committed);
  EXPECT_EQ(committed.error()->domain(), kit::POSIXErrorDomain);
  EXPECT_EQ(committed.error()->code(), EISDIR);
  EXPECT_EQ(entriesIn(data), 2u);
  store.discard(*temporary);
  EXPECT_EQ(entriesIn(data), 1u);  // the folder alone

  // The data folder gone: the write fails before anything exists.
  ASSERT_TRUE(kit::FileManager::defaultManager()->removeItemAtPath(data));
  auto unwritten = store.writeTemporary(*kit::Data::make("value"));
  ASSERT_FALSE(unwritten);
  EXPECT_EQ(unwritten.error()->code(), ENOENT);
  EXPECT_EQ(unwritten.error()->localizedDescription().rfind("could not create " + data + "/", 0), 0u);
}

TEST_F(KVFileStoreTest, RefusedNamesFailBeforeAnyFileIsTouched) {
  ASSERT_EQ(::mkdir((dir.file("outside")).c_str(), 0755), 0);
  const std::vector<std::string> names{"", ".", "..", "../outside", "a/b", std::string("nul\0x", 5), ".kvtmp-1"};
  for (const std::string& bad : names) {
    auto refused = store.remove(bad);
    ASSERT_FALSE(refused) << bad;
    EXPECT_EQ(refused.error()->domain(), KTKVStorageErrorDomain);
    EXPECT_EQ(refused.error()->code(), KTKVStorageErrorInvalidFilename);
    EXPECT_EQ(infoText(refused.error(), KTKVStorageFilenameKey), bad);
    EXPECT_EQ(store.read(bad).error()->code(), KTKVStorageErrorInvalidFilename);
  }
  auto temporary = store.writeTemporary(*kit::Data::make("value"));
  ASSERT_TRUE(temporary);
  EXPECT_EQ(store.commit(*temporary, "../escape").error()->code(), KTKVStorageErrorInvalidFilename);
  EXPECT_EQ(store.commit("../" + *temporary, "name").error()->code(), KTKVStorageErrorInvalidFilename);
  EXPECT_EQ(store.commit("name", "other").error()->code(), KTKVStorageErrorInvalidFilename);  // not a temporary
  store.discard("../outside");  // only temporary files are discarded
  store.discard(*temporary);
  EXPECT_EQ(entriesIn(data), 0u);
  EXPECT_FALSE(kit::FileManager::defaultManager()->fileExistsAtPath(dir.file("escape")));
  EXPECT_TRUE(kit::FileManager::defaultManager()->fileExistsAtPath(dir.file("outside")));
}

// Which failed reads say a value is gone for good: no file, a link, a
// folder, a pipe (opened without waiting for a writer) or a refused name;
// a file that may not be read for now is not gone.
TEST_F(KVFileStoreTest, OnlyAMissingFileOrOneThatIsNoRegularFileReadsAsGone) {
  ASSERT_EQ(::mkdir((data + "/folder").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("folder", (data + "/link").c_str()), 0);
  ASSERT_EQ(::mkfifo((data + "/pipe").c_str(), 0644), 0);
  // The pipe is read on a thread of its own: should the open wait for a
  // writer, the test opens one after its time-out, so that it still ends.
  std::atomic<bool> pipeRead{false};
  kit::Ref<kit::Error> pipeError;
  std::thread reader([&] {
    auto read = store.read("pipe");
    if (!read) pipeError = read.error();
    pipeRead = true;
  });
  const bool waited = kit::test::runUntil([&] { return pipeRead.load(); });
  if (!waited) ::close(::open((data + "/pipe").c_str(), O_WRONLY | O_NONBLOCK));
  reader.join();
  EXPECT_TRUE(waited) << "the read of a pipe waited for a writer";
  ASSERT_TRUE(pipeError) << "a pipe read as a value";
  EXPECT_EQ(pipeError->domain(), KTKVStorageErrorDomain);
  EXPECT_EQ(pipeError->code(), KTKVStorageErrorNotAFile);
  EXPECT_TRUE(KTKVFileStore::isGone(*pipeError));
  for (const char* name : {"missing", "folder", "link", "../outside"}) {
    auto read = store.read(name);
    ASSERT_FALSE(read) << name;
    EXPECT_TRUE(KTKVFileStore::isGone(*read.error())) << name << ": " << read.error()->localizedDescription();
  }
  for (int code : {EMFILE, ENFILE, EACCES, EIO, ENOMEM, EINTR}) {
    EXPECT_FALSE(KTKVFileStore::isGone(*kit::Error::make(kit::POSIXErrorDomain, code, "a failed read"))) << code;
  }
}

// The free space the storage plans with is what a process without the
// superuser's privilege may write: a file system that keeps blocks for the
// superuser (as ext4 does) counts them as free, and a storage that counted
// them too would begin folds a full disk cannot finish.
TEST_F(KVFileStoreTest, FreeSpaceLeavesOutTheBlocksKeptForTheSuperuser) {
  struct statvfs status {};
  ASSERT_EQ(::statvfs(data.c_str(), &status), 0);
  const int64_t unit = static_cast<int64_t>(status.f_frsize);
  const int64_t forAnyone = static_cast<int64_t>(status.f_bavail) * unit;
  const int64_t kept = (static_cast<int64_t>(status.f_bfree) - static_cast<int64_t>(status.f_bavail)) * unit;
  if (kept == 0) GTEST_SKIP() << "this file system keeps no blocks for the superuser";
  // Other programs write meanwhile: nearer the one figure than the other.
  EXPECT_LT(std::llabs(store.availableBytes() - forAnyone), kept / 2);
}

// ---- The room kept for a full disk
//
// The room is either whole or, for every purpose, not there: a room that
// could not be made, one cut short, or the part of one a killed process
// was writing never counts as kept, and giving the room up gives back
// whatever part of it is on the disk.

class KVFileStoreRoomTest : public KVFileStoreTest {
 protected:
  void SetUp() override {
    KVFileStoreTest::SetUp();
    plan->skipSync = true;
  }
  int64_t sizeAt(const std::string& path) const {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
  }
  void writeZeros(const std::string& path, size_t length) {
    ASSERT_TRUE(kit::writeDataToFile(*kit::Data::make(std::string(length, '\0')), path, false));
  }

  std::shared_ptr<kvtest::FaultPlan> plan = std::make_shared<kvtest::FaultPlan>();
  std::string room = dir.file("room");
  KTKVFileStore roomy{data, trash, std::make_shared<kvtest::FaultyFileSystem>(plan), room};
  static constexpr int64_t kRoom = static_cast<int64_t>(KTKVFileStore::RoomBytes);
};

TEST_F(KVFileStoreRoomTest, ARoomThatCouldNotBeMadeIsNotKept) {
  // Each call of the making failing in turn (create, writes, close,
  // rename): the room is not kept, and nothing of it stays on the disk.
  int64_t at = 1;
  for (;; ++at) {
    ASSERT_LT(at, 20) << "the room was never made";
    SCOPED_TRACE("call " + std::to_string(at) + " failing");
    plan->arm(at);
    const bool kept = roomy.keepRoom();
    plan->disarm();
    if (!plan->fired) {
      EXPECT_TRUE(kept);
      break;
    }
    EXPECT_FALSE(kept);
    EXPECT_EQ(sizeAt(room), -1);
    EXPECT_EQ(sizeAt(room + ".new"), -1);
  }
  EXPECT_GE(at, 4) << "the making took fewer calls than a create, a write, a close and a rename";
  EXPECT_EQ(sizeAt(room), kRoom);

  // A disk that cannot take it whole.
  ASSERT_TRUE(roomy.releaseRoom());
  plan->spaceLeft = kRoom - 1;
  EXPECT_FALSE(roomy.keepRoom());
  EXPECT_EQ(sizeAt(room), -1);
  EXPECT_EQ(sizeAt(room + ".new"), -1);
  EXPECT_EQ(plan->spaceLeft, kRoom - 1) << "the part written was not given back";
  plan->spaceLeft = kRoom;
  EXPECT_TRUE(roomy.keepRoom());
  EXPECT_EQ(plan->spaceLeft, 0);
}

TEST_F(KVFileStoreRoomTest, AShortRoomIsMadeWholeOrNotKept) {
  writeZeros(room, 4096);
  // No space for a whole room beside the short one.
  plan->spaceLeft = kRoom - 1;
  EXPECT_FALSE(roomy.keepRoom()) << "a room of 4096 bytes counted as kept";
  plan->spaceLeft = kRoom;
  EXPECT_TRUE(roomy.keepRoom());
  EXPECT_EQ(sizeAt(room), kRoom);
  EXPECT_EQ(sizeAt(room + ".new"), -1);
}

TEST_F(KVFileStoreRoomTest, GivingTheRoomUpGivesBackAPartAKilledProcessLeft) {
  EXPECT_FALSE(roomy.releaseRoom()) << "there was no room to give up";
  // A process killed while it made the room left a part of it, and no room.
  writeZeros(room + ".new", 100000);
  EXPECT_TRUE(roomy.releaseRoom()) << "the part was not given up";
  EXPECT_EQ(sizeAt(room + ".new"), -1);
  // Both a room and a part.
  writeZeros(room, KTKVFileStore::RoomBytes);
  writeZeros(room + ".new", 100000);
  EXPECT_TRUE(roomy.releaseRoom());
  EXPECT_EQ(sizeAt(room), -1);
  EXPECT_EQ(sizeAt(room + ".new"), -1);
  EXPECT_FALSE(roomy.releaseRoom());
}

}  // namespace
