// The manifest's failures as values: a write that finds another writer
// holding the database, a table gone behind its back and a database that
// cannot be opened each come back as an error with SQLite's code, a
// description and the storage operation that met it, and nothing is logged
// on the way. Rows and the journal entries written with them commit
// together or not at all.

#include "data/cache/kv_manifest.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

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
