// The manifest's failures as values: a write that finds another writer
// holding the database, a table gone behind its back and a database that
// cannot be opened each come back as an error with SQLite's code, a
// description and the storage operation that met it, and nothing is logged
// on the way. Rows and the journal entries written with them commit
// together or not at all, a save never leaves the database lagging its
// log by more than it is allowed, and the log folds at a length that
// follows the free space.

#include "data/cache/kv_manifest.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "data/cache/testing/kv_fault_injection.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/temp_directory.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

std::string infoText(const kit::Ref<kit::Error>& error, const char* key) {
  return kit::describe(error->userInfo()->objectForKey(kit::str(key)));
}

class KVManifestTest : public kit::test::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    ASSERT_TRUE(manifest.open());
    ASSERT_TRUE(manifest.initialize());
    ASSERT_TRUE(manifest.saveRow("a", *kit::Data::make("A"), {}, nullptr, 100));
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  }
  void TearDown() override {
    sqlite3_close(other);
    VirtualClockTest::TearDown();
  }
  int otherExec(const char* sql) { return sqlite3_exec(other, sql, nullptr, nullptr, nullptr); }

  kit::test::TempDirectory dir{"kv-manifest"};
  std::string path = dir.file("manifest.sqlite");
  KTKVManifest manifest{path};
  sqlite3* other = nullptr;
  kit::test::LogCapture logs;
};

TEST_F(KVManifestTest, WritesBlockedByAnotherWriterFailWithSQLitesCodeAndTheirOperation) {
  ASSERT_EQ(otherExec("begin immediate;"), SQLITE_OK);

  auto saved = manifest.saveRow("b", *kit::Data::make("B"), {}, nullptr, 200);
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.error()->domain(), KTKVManifestErrorDomain);
  EXPECT_EQ(saved.error()->code(), SQLITE_BUSY);
  EXPECT_EQ(saved.error()->localizedDescription(), "sqlite insert error (5): database is locked");
  EXPECT_EQ(infoText(saved.error(), KTKVManifestOperationKey),
            "-[KTKVStorage _dbSaveWithKey:value:fileName:extendedData:]");
  EXPECT_GT(std::stol(infoText(saved.error(), KTKVManifestLineKey)), 0);

  std::vector<std::string_view> keys{"a"};
  auto deleted = manifest.deleteItems(keys);
  ASSERT_FALSE(deleted);
  EXPECT_EQ(deleted.error()->code(), SQLITE_BUSY);
  EXPECT_EQ(infoText(deleted.error(), KTKVManifestOperationKey), "-[KTKVStorage _dbDeleteItemWithKeys:]");
  EXPECT_EQ(manifest.deleteItem("a").error()->localizedDescription(), "db delete error (5): database is locked");
  EXPECT_EQ(manifest.updateAccessTime("a", 300).error()->code(), SQLITE_BUSY);

  // Reads go on under the write-ahead log, and the failed writes changed nothing.
  auto count = manifest.getTotalItemCount();
  ASSERT_TRUE(count);
  EXPECT_EQ(*count, 1);
  auto item = manifest.getItem("a", false);
  ASSERT_TRUE(item && *item);
  EXPECT_EQ((*item)->accessTime(), 100);
  EXPECT_EQ((*manifest.getItem("missing", false)), nullptr);  // no row is no failure
  EXPECT_EQ(logs.count(), 0u);

  ASSERT_EQ(otherExec("rollback;"), SQLITE_OK);
  EXPECT_TRUE(manifest.saveRow("b", *kit::Data::make("B"), {}, nullptr, 200));
}

std::vector<std::string> journalText(KTKVManifest& manifest) {
  std::vector<std::string> out;
  auto entries = manifest.journalEntries();
  if (!entries) return {"(failed)"};
  for (const auto& e : *entries) out.push_back(e.temporary + ">" + e.filename + "-" + e.obsolete);
  return out;
}

TEST_F(KVManifestTest, RowsAndTheirJournalEntriesCommitTogetherOrNotAtAll) {
  auto value = kit::Data::make("value");
  ASSERT_TRUE(manifest.saveRow("f", *value, "f.bin", nullptr, 200, {".kvtmp-1", "f.bin", ""}));
  EXPECT_EQ(journalText(manifest), std::vector<std::string>{".kvtmp-1>f.bin-"});
  // The next entry replaces the ones before.
  ASSERT_TRUE(manifest.saveRow("g", *value, "g.bin", value.get(), 300, {".kvtmp-2", "g.bin", "old.bin"}));
  EXPECT_EQ(journalText(manifest), std::vector<std::string>{".kvtmp-2>g.bin-old.bin"});
  std::vector<std::string_view> keys{"a", "f"};
  std::vector<std::string> names{"f.bin"};
  ASSERT_TRUE(manifest.deleteItems(keys, names));
  EXPECT_EQ(journalText(manifest), std::vector<std::string>{">-f.bin"});
  EXPECT_EQ(*manifest.getTotalItemCount(), 1);

  // Another writer holds the database: neither the row nor the entry is written.
  auto before = *manifest.getItem("g", false);
  ASSERT_EQ(otherExec("begin immediate;"), SQLITE_OK);
  auto saved = manifest.saveRow("g", *kit::Data::make("new"), {}, nullptr, 400, {{}, {}, "g.bin"});
  ASSERT_FALSE(saved);
  EXPECT_EQ(saved.error()->localizedDescription(), "sqlite insert error (5): database is locked");
  EXPECT_EQ(infoText(saved.error(), KTKVManifestOperationKey),
            "-[KTKVStorage _dbSaveWithKey:value:fileName:extendedData:]");
  EXPECT_EQ(manifest.deleteItem("g", "g.bin").error()->localizedDescription(),
            "db delete error (5): database is locked");
  ASSERT_EQ(otherExec("rollback;"), SQLITE_OK);
  EXPECT_EQ(journalText(manifest), std::vector<std::string>{">-f.bin"});
  EXPECT_EQ((*manifest.getItem("g", false))->filename()->utf8(), "g.bin");

  // Undoing a save puts the row back as it was, times included, and clears
  // the journal; with no row before, the key goes.
  ASSERT_TRUE(manifest.saveRow("g", *kit::Data::make("newer"), "g.bin", nullptr, 500, {".kvtmp-3", "g.bin", ""}));
  ASSERT_TRUE(manifest.restoreRow("g", before.get()));
  auto restored = *manifest.getItem("g", false);
  EXPECT_EQ(restored->size(), 5);
  EXPECT_EQ(restored->modTime(), 300);
  EXPECT_EQ(restored->extendedData()->toString(), "value");
  EXPECT_TRUE(journalText(manifest).empty());
  ASSERT_TRUE(manifest.restoreRow("g", nullptr));
  EXPECT_EQ(*manifest.getTotalItemCount(), 0);
}

TEST_F(KVManifestTest, ATableDroppedBehindItsBackFailsQueriesWithSQLitesMessage) {
  ASSERT_EQ(otherExec("drop table manifest;"), SQLITE_OK);

  std::vector<std::string_view> keys{"a", "b"};
  auto items = manifest.getItems(keys, false);
  ASSERT_FALSE(items);
  EXPECT_EQ(items.error()->code(), SQLITE_ERROR);
  EXPECT_EQ(items.error()->localizedDescription(), "sqlite query error (1): no such table: manifest");
  EXPECT_EQ(infoText(items.error(), KTKVManifestOperationKey), "-[KTKVStorage _dbGetItemWithKeys:excludeInlineData:]");

  auto size = manifest.getTotalItemSize();
  ASSERT_FALSE(size);
  EXPECT_EQ(size.error()->code(), SQLITE_ERROR);
  EXPECT_NE(size.error()->localizedDescription().find("no such table: manifest"), std::string::npos);
  EXPECT_FALSE(manifest.getFilename("a"));
  EXPECT_EQ(logs.count(), 0u);

  // The schema comes back with the next initialisation.
  ASSERT_TRUE(manifest.initialize());
  EXPECT_EQ(*manifest.getTotalItemCount(), 0);
}

TEST_F(KVManifestTest, AFailedOpenIsReportedOnceAndThenTheDatabaseIsUnavailableUntilTheRetryTime) {
  // A plain file where the folder should be: the database cannot be made.
  ASSERT_TRUE(kit::writeDataToFile(*kit::Data::make("not a folder"), dir.file("file"), false));
  KTKVManifest blocked(dir.file("file") + "/manifest.sqlite");

  auto opened = blocked.check();
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error()->domain(), KTKVManifestErrorDomain);
  EXPECT_EQ(opened.error()->code(), SQLITE_CANTOPEN);
  EXPECT_EQ(opened.error()->localizedDescription(), "sqlite open failed (14).");
  EXPECT_EQ(infoText(opened.error(), KTKVManifestOperationKey), "-[KTKVStorage _dbOpen]");

  auto soon = blocked.getTotalItemCount();
  ASSERT_FALSE(soon);
  EXPECT_EQ(soon.error()->code(), KTKVManifestUnavailable);
  advance(2.5);
  EXPECT_EQ(blocked.getTotalItemCount().error()->code(), SQLITE_CANTOPEN);  // tried again
  EXPECT_FALSE(blocked.isOpen());
  EXPECT_TRUE(blocked.close());  // nothing open, nothing to fail
  EXPECT_EQ(logs.count(), 0u);
}


// ---- Saves that would leave the database lagging its log
//
// A save with a limit on the lag either leaves the database lagging its
// log by no more than the limit (folded as it commits) or is refused as a
// full disk refuses it, with nothing written. Folding at once takes the
// disk twice the pages the database grows by (once in the log, once in the
// database) and the log's own pages besides: with that much free the save
// is taken, with less it must not be taken unfolded.

class KVManifestFoldTest : public ::testing::Test {
 protected:
  void SetUp() override { plan->skipSync = true; }
  void TearDown() override { plan->spaceLeft = -1; }

  // A new database in a folder of its own, holding one small row, its log
  // folded; the free space it is told is `probe`'s.
  std::unique_ptr<KTKVManifest> fresh(KTKVManifest::SpaceProbe probe) {
    folder = dir.file("db" + std::to_string(++made));
    EXPECT_EQ(::mkdir(folder.c_str(), 0700), 0);
    auto manifest = std::make_unique<KTKVManifest>(folder + "/manifest.sqlite", std::move(probe));
    EXPECT_TRUE(manifest->open());
    EXPECT_TRUE(manifest->initialize());
    EXPECT_TRUE(manifest->saveRow("small", *kit::Data::make("s"), {}, nullptr, 100));
    EXPECT_TRUE(manifest->checkpoint(true));
    EXPECT_EQ(manifest->foldGrowth(), 0);
    return manifest;
  }
  // What saving `value` grows the database by once folded: the same save
  // on a database told there is no space to fold, which then lags by it.
  int64_t growthOf(const kit::Data& value) {
    int64_t space = -1;
    auto manifest = fresh([&] { return space; });
    space = 0;
    EXPECT_TRUE(manifest->saveRow("big", value, {}, nullptr, 200));
    return manifest->foldGrowth();
  }

  std::shared_ptr<kvtest::FaultPlan> plan = std::make_shared<kvtest::FaultPlan>();
  kvtest::ScopedFaultyVFS vfs{plan};
  kit::test::TempDirectory dir{"kv-manifest-fold"};
  int made = 0;
  std::string folder;  // the newest database's
};

TEST_F(KVManifestFoldTest, ASaveIsFoldedAsItCommitsOrRefusedAsAFullDisk) {
  auto value = kit::Data::make(std::string(400000, 'v'));
  const int64_t growth = growthOf(*value);
  ASSERT_GT(growth, 300000);
  const int64_t enough = 2 * growth + KTKVManifest::LagBytes;
  // The free space, in steps of a quarter of the log's margin, from less
  // than one copy of the pages to more than enough.
  for (int64_t available = growth - KTKVManifest::LagBytes; available <= enough + KTKVManifest::LagBytes;
       available += KTKVManifest::LagBytes / 4) {
    SCOPED_TRACE(std::to_string(available) + " bytes free for a save growing the database by " +
                 std::to_string(growth));
    auto manifest = fresh([&] { return plan->spaceLeft; });
    plan->spaceLeft = available;
    auto saved = manifest->saveRow("big", *value, {}, nullptr, 200, {}, 0);
    if (saved) {
      EXPECT_EQ(manifest->foldGrowth(), 0) << "taken, and not folded";
      EXPECT_EQ(*manifest->getTotalItemCount(), 2);
    } else {
      EXPECT_EQ(saved.error()->domain(), KTKVManifestErrorDomain);
      EXPECT_EQ(saved.error()->code(), SQLITE_FULL);
      EXPECT_TRUE(KTKVManifest::isDiskFull(*saved.error()));
      EXPECT_EQ(*manifest->getTotalItemCount(), 1) << "refused, and written";
    }
    if (available >= enough) EXPECT_TRUE(saved) << "refused with enough space to fold";
    plan->spaceLeft = -1;
    ASSERT_TRUE(manifest->close());
    if (HasFailure()) return;
  }
}

TEST_F(KVManifestFoldTest, ASaveOnADiskWhoseFreeSpaceIsUnknownIsFoldedAsItCommits) {
  auto manifest = fresh([] { return int64_t{-1}; });
  ASSERT_TRUE(manifest->saveRow("big", *kit::Data::make(std::string(400000, 'v')), {}, nullptr, 200, {}, 0));
  EXPECT_EQ(manifest->foldGrowth(), 0);
  EXPECT_EQ(*manifest->getTotalItemCount(), 2);
}

// A fold grows the database by the pages it has not held yet; one that the
// disk stopped halfway would leave it grown by all the free space. A fold
// the free space does not cover is not begun: the database keeps its
// length, the disk its space, and the log its pages, to be folded once
// there is space.
TEST_F(KVManifestFoldTest, AFoldTheFreeSpaceDoesNotCoverIsNotBegun) {
  int64_t told = -1;
  auto manifest = fresh([&] { return told; });
  told = 0;  // nothing to fold into as the save commits
  ASSERT_TRUE(manifest->saveRow("big", *kit::Data::make(std::string(400000, 'v')), {}, nullptr, 200));
  const int64_t growth = manifest->foldGrowth();
  ASSERT_GT(growth, 300000);
  const int64_t database = kvtest::sizeOf((folder + "/manifest.sqlite").c_str());

  told = plan->spaceLeft = growth - KTKVManifest::PageBytes;  // a page short
  EXPECT_FALSE(manifest->checkpoint(true));
  EXPECT_EQ(plan->spaceLeft, growth - KTKVManifest::PageBytes) << "a fold took the space it could not finish in";
  EXPECT_EQ(kvtest::sizeOf((folder + "/manifest.sqlite").c_str()), database);
  EXPECT_EQ(manifest->foldGrowth(), growth);

  told = plan->spaceLeft = growth;
  EXPECT_TRUE(manifest->checkpoint(true));
  EXPECT_EQ(manifest->foldGrowth(), 0);
  EXPECT_EQ(*manifest->getTotalItemCount(), 2);
}

// ---- The log's length
//
// Each fold syncs the log and the database, so the log grows long (1000
// pages, as SQLite's own rule lets it) where the disk has space to spare;
// where it has less, the log is held to a 64th of the free space, but no
// fewer than 32 pages, and on a disk that small every fold gives the log's
// space back as well.

struct LogLength {
  int64_t longestPages = 0;  // the most pages the log held
  bool givenBack = false;    // whether the log's file was emptied after a fold
};

class KVManifestLogLengthTest : public KVManifestFoldTest {
 protected:
  // Commits `commits` writes of two pages each (an access time: the row's
  // page and the index's), none of which grows the database or frees a
  // page, on a disk with `space` bytes free.
  LogLength run(int64_t space, int commits) {
    auto manifest = fresh([space] { return space; });
    const std::string log = folder + "/manifest.sqlite-wal";
    constexpr int64_t kHeaderBytes = 32, kFrameBytes = 24 + KTKVManifest::PageBytes;
    LogLength length;
    for (int n = 0; n < commits; ++n) {
      EXPECT_TRUE(manifest->updateAccessTime("small", 200 + n));
      const int64_t bytes = kvtest::sizeOf(log.c_str());
      if (bytes == 0) length.givenBack = true;
      length.longestPages = std::max(length.longestPages, (bytes - kHeaderBytes) / kFrameBytes);
    }
    return length;
  }
};

TEST_F(KVManifestLogLengthTest, TheLogGrowsToAThousandPagesWhereTheDiskHasSpaceToSpare) {
  const LogLength length = run(int64_t{1} << 30, 1200);
  EXPECT_GE(length.longestPages, 1000) << "folded before its length";
  EXPECT_LE(length.longestPages, 1002) << "not folded at its length";
  EXPECT_FALSE(length.givenBack);
}

TEST_F(KVManifestLogLengthTest, TheLogIsASixtyFourthOfTheFreeSpaceWhereThatIsShorter) {
  const LogLength length = run(16 << 20, 200);  // 64 pages
  EXPECT_GE(length.longestPages, 64) << "folded before its length";
  EXPECT_LE(length.longestPages, 66) << "not folded at its length";
  EXPECT_FALSE(length.givenBack);
}

TEST_F(KVManifestLogLengthTest, OnALittleFreeSpaceTheLogHoldsThirtyTwoPagesAndGivesItsSpaceBack) {
  const LogLength length = run(1 << 20, 100);  // a 64th is 4 pages
  // The commit that brings the log to its length is folded and its space
  // given back before the length can be seen: the one before is.
  EXPECT_GE(length.longestPages, 30) << "folded before its length";
  EXPECT_LE(length.longestPages, 32) << "not folded at its length";
  EXPECT_TRUE(length.givenBack) << "the folds kept the log's space";
}

// A new database's schema with its Nth write failing (that one alone, or
// every one from it on): the tables and the index are all there or none
// is, and a connection whose schema could not be made is closed, so that
// the next open makes it whole.
TEST(KVManifestSchema, IsMadeWholeOrNotAtAll) {
  kit::test::TempDirectory dir("kv-manifest-schema");
  auto plan = std::make_shared<kvtest::FaultPlan>();
  plan->skipSync = true;
  kvtest::ScopedFaultyVFS vfs(plan);
  kit::ScopedMediaTime media(0.0);
  for (bool sticky : {false, true}) {
    int failures = 0;
    for (int64_t n = 1;; ++n) {
      SCOPED_TRACE((sticky ? "from write " : "write ") + std::to_string(n) + " failing");
      const std::string path = dir.file(std::string(sticky ? "s" : "o") + std::to_string(n) + ".sqlite");
      KTKVManifest manifest(path);
      plan->arm(n, sticky);
      const bool made = manifest.openWithSchema().hasValue();
      const bool fired = plan->fired;
      plan->disarm();
      failures += !made;
      EXPECT_EQ(manifest.isOpen(), made);

      sqlite3* peek = nullptr;
      ASSERT_EQ(sqlite3_open_v2(path.c_str(), &peek, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
      sqlite3_stmt* stmt = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(peek,
                                   "select count(*) from sqlite_master where name in ('manifest', "
                                   "'manifest_journal', 'last_access_time_idx');",
                                   -1, &stmt, nullptr),
                SQLITE_OK);
      const int found = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : -1;
      sqlite3_finalize(stmt);
      sqlite3_close(peek);
      EXPECT_TRUE(found == 0 || found == 3) << found << " of the three";
      if (made) EXPECT_EQ(found, 3);

      // The next open makes what is missing.
      ASSERT_TRUE(manifest.openWithSchema());
      EXPECT_TRUE(manifest.saveRow("f", *kit::Data::make("v"), "f.bin", nullptr, 1, {".kvtmp-1", "f.bin", ""}));
      if (::testing::Test::HasFailure() || !fired) break;
      ASSERT_LT(n, 100);
    }
    EXPECT_GT(failures, 0);
  }
}

}  // namespace
