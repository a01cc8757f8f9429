// The key-value storage against real SQLite and real files: creation,
// saving in the three storage types, reads that find files gone, eviction,
// resets, open retries, long key lists and names that must not be used.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/cache/kv_storage.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/date.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

using kit::Ref;

Ref<kit::Data> bytes(std::string_view text) { return kit::Data::make(text); }
Ref<kit::Data> filled(size_t length, char c) { return kit::Data::make(std::string(length, c)); }

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  auto list = kit::FileManager::defaultManager()->contentsOfDirectoryAtPath(folder);
  if (list) {
    for (const kit::Id& name : *list) names.insert(kit::describe(name));
  }
  return names;
}

bool exists(const std::string& path) { return kit::FileManager::defaultManager()->fileExistsAtPath(path); }

Ref<kit::Array> keyArray(std::initializer_list<const char*> keys) {
  std::vector<kit::Id> list;
  for (const char* k : keys) list.push_back(kit::str(k));
  return kit::Array::make(std::move(list));
}

// A second connection to the manifest, for looking behind the storage's back.
class ManifestPeek {
 public:
  explicit ManifestPeek(const std::string& folder) {
    sqlite3_open((folder + "/manifest.sqlite").c_str(), &db_);
  }
  ~ManifestPeek() { sqlite3_close(db_); }
  std::string text(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
      if (auto* t = sqlite3_column_text(stmt, 0)) out = reinterpret_cast<const char*>(t);
    }
    sqlite3_finalize(stmt);
    return out;
  }
  int exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

 private:
  sqlite3* db_ = nullptr;
};

class KVStorageTest : public ::testing::Test {
 protected:
  Ref<KTKVStorage> open(KTKVStorageType type) { return KTKVStorage::initWithPath(kit::str(root()), type); }
  std::string root() const { return dir_.file("kv"); }
  std::string data() const { return root() + "/data"; }
  std::string trash() const { return root() + "/trash"; }
  void waitForEmptyTrash() {
    ASSERT_TRUE(kit::test::runUntil([&] { return filesIn(trash()).empty(); }));
  }
  // A wall clock the test moves by hand.
  void setWall(double seconds) { wallNow_ = seconds; }
  void TearDown() override { waitForEmptyTrash(); }

  kit::test::TempDirectory dir_{"kv-storage"};
  double wallNow_ = 1'700'000'000;
  kit::ScopedWallClock wall_{[this] { return wallNow_; }};
};

// ---- Creation --------------------------------------------------------------

TEST_F(KVStorageTest, CreationMakesTheFolderLayoutInWriteAheadLogMode) {
  auto storage = open(KTKVStorageTypeMixed);
  ASSERT_TRUE(storage);
  EXPECT_EQ(storage->path()->utf8(), root());
  EXPECT_EQ(storage->type(), KTKVStorageTypeMixed);
  EXPECT_TRUE(storage->errorLogsEnabled());
  EXPECT_TRUE(exists(root() + "/manifest.sqlite"));
  bool isDirectory = false;
  EXPECT_TRUE(kit::FileManager::defaultManager()->fileExistsAtPath(data(), &isDirectory) && isDirectory);
  EXPECT_TRUE(kit::FileManager::defaultManager()->fileExistsAtPath(trash(), &isDirectory) && isDirectory);
  ManifestPeek peek(root());
  EXPECT_EQ(peek.text("pragma journal_mode;"), "wal");
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_EQ(storage->getItemsSize(), 0);
}

TEST_F(KVStorageTest, CreationRefusesBadPathsAndTypesWithTheirLogs) {
  kit::test::LogCapture logs;
  EXPECT_FALSE(KTKVStorage::initWithPath(kit::str(""), KTKVStorageTypeFile));
  EXPECT_FALSE(KTKVStorage::initWithPath(nullptr, KTKVStorageTypeFile));
  EXPECT_FALSE(KTKVStorage::initWithPath(kit::str("/" + std::string(960, 'p')), KTKVStorageTypeFile));
  EXPECT_EQ(logs.count(), 3u);
  EXPECT_TRUE(logs.contains("KTKVStorage init error: invalid path: [].")) << logs.messages()[0];
  EXPECT_TRUE(logs.contains("KTKVStorage init error: invalid path: [/ppp"));

  logs.clear();
  EXPECT_FALSE(open(static_cast<KTKVStorageType>(3)));
  EXPECT_EQ(logs.messages(), std::vector<std::string>{"KTKVStorage init error: invalid type: 3."});
  EXPECT_FALSE(exists(root()));

  try {
    KTKVStorage::init();
    FAIL() << "init must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "KTKVStorage init error");
    EXPECT_EQ(e.reason(), "Please use the designated initializer and pass the 'path' and 'type'.");
  }
}

TEST_F(KVStorageTest, APathWithinTheLimitThatSQLiteCannotOpenFailsCleanly) {
  // 960 characters are accepted as a path, but the system's SQLite opens
  // only shorter ones: the folders are made, the open fails and is logged.
  std::string path = dir_.path();
  while (path.size() < 960) path += "/" + std::string(std::min<size_t>(200, 959 - path.size()), 'd');
  ASSERT_EQ(path.size(), 960u);
  kit::test::LogCapture logs;
  auto storage = KTKVStorage::initWithPath(kit::str(path), KTKVStorageTypeMixed);
  if (storage) GTEST_SKIP() << "this SQLite opens 960-character paths";
  EXPECT_FALSE(logs.contains("invalid path"));
  EXPECT_TRUE(logs.contains("-[KTKVStorage _dbOpen] line:"));
  EXPECT_TRUE(logs.contains("sqlite open failed (14)."));
  EXPECT_TRUE(logs.contains("KTKVStorage init error: fail to open sqlite db."));
  EXPECT_TRUE(exists(path + "/data"));
}

// ---- Saving ----------------------------------------------------------------

TEST_F(KVStorageTest, RefusedSavesChangeNothing) {
  auto storage = open(KTKVStorageTypeMixed);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("old")));
  kit::test::LogCapture logs;
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("k"), kit::Data::make()));
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("k"), nullptr));
  EXPECT_FALSE(storage->saveItemWithKey(kit::str(""), bytes("v")));
  EXPECT_FALSE(storage->saveItemWithKey(nullptr, bytes("v")));
  for (const std::string& bad : std::vector<std::string>{".", "..", "a/b", "/abs", std::string("nul\0name", 8), ".kvtmp-x"}) {
    EXPECT_FALSE(storage->saveItemWithKey(kit::str("k"), bytes("new"), kit::str(bad), nullptr)) << bad;
  }
  EXPECT_TRUE(logs.contains("KTKVStorage refused the file name [..]."));
  EXPECT_EQ(kit::describe(storage->getItemValueForKey(kit::str("k"))), kit::describe(bytes("old")));
  EXPECT_EQ(storage->getItemsCount(), 1);
  EXPECT_TRUE(filesIn(data()).empty());
  EXPECT_FALSE(exists(root() + "/b"));

  storage.reset();
  auto files = open(KTKVStorageTypeFile);
  EXPECT_FALSE(files->saveItemWithKey(kit::str("f"), bytes("v")));
  EXPECT_FALSE(files->saveItemWithKey(kit::str("f"), bytes("v"), kit::str(""), nullptr));
  EXPECT_FALSE(files->itemExistsForKey(kit::str("f")));
  EXPECT_TRUE(files->saveItemWithKey(kit::str("f"), bytes("v"), kit::str("f.bin"), nullptr));
  EXPECT_EQ(filesIn(data()), std::set<std::string>{"f.bin"});
}

TEST_F(KVStorageTest, MixedTypeMovesValuesBetweenFilesAndInlineWithoutLeavingFiles) {
  auto storage = open(KTKVStorageTypeMixed);
  auto ext = bytes("extra");
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("in a file"), kit::str("k.bin"), ext));
  EXPECT_EQ(filesIn(data()), std::set<std::string>{"k.bin"});
  auto info = storage->getItemInfoForKey(kit::str("k"));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->filename()->utf8(), "k.bin");
  EXPECT_EQ(info->size(), 9);
  EXPECT_FALSE(info->value());
  EXPECT_EQ(info->extendedData()->toString(), "extra");

  // Renamed file: the new one is written, the old one deleted.
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("moved"), kit::str("k2.bin"), nullptr));
  EXPECT_EQ(filesIn(data()), std::set<std::string>{"k2.bin"});
  EXPECT_FALSE(storage->getItemInfoForKey(kit::str("k"))->extendedData());

  // Inline now: the file goes.
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("inline")));
  EXPECT_TRUE(filesIn(data()).empty());
  auto item = storage->getItemForKey(kit::str("k"));
  ASSERT_TRUE(item);
  EXPECT_FALSE(item->filename());
  EXPECT_EQ(item->value()->toString(), "inline");

  // Several keys at once, files and inline alike.
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("f"), bytes("file"), kit::str("f.bin"), nullptr));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("g"), bytes("gg")));
  auto values = storage->getItemValueForKeys(keyArray({"k", "f", "g", "none"}));
  ASSERT_TRUE(values);
  EXPECT_EQ(values->count(), 3u);
  EXPECT_EQ(kit::describe((*values)["f"]), kit::describe(bytes("file")));
  EXPECT_TRUE(storage->removeItemForKeys(keyArray({"k", "f"})));
  EXPECT_TRUE(filesIn(data()).empty());
  EXPECT_EQ(storage->getItemsCount(), 1);
  EXPECT_TRUE(storage->removeItemForKey(kit::str("g")));
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("g")));
  EXPECT_FALSE(storage->removeItemForKeys(kit::Array::make()));
}

TEST_F(KVStorageTest, SQLiteTypeKeepsEveryValueInlineEvenWhenAFileIsNamed) {
  auto storage = open(KTKVStorageTypeSQLite);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), filled(100000, 'x'), kit::str("k.bin"), nullptr));
  EXPECT_TRUE(filesIn(data()).empty());
  auto info = storage->getItemInfoForKey(kit::str("k"));
  EXPECT_FALSE(info->filename());
  EXPECT_EQ(info->size(), 100000);
  EXPECT_EQ(storage->getItemValueForKey(kit::str("k"))->length(), 100000u);
  EXPECT_EQ(storage->getItemsSize(), 100000);
}

TEST_F(KVStorageTest, InfoReadsLeaveTheAccessTimeWhileValueReadsRefreshIt) {
  auto storage = open(KTKVStorageTypeMixed);
  setWall(1000.7);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("a"), bytes("1")));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("b"), bytes("2"), kit::str("b.bin"), nullptr));
  setWall(2000);
  auto info = storage->getItemInfoForKey(kit::str("a"));
  EXPECT_EQ(info->modTime(), 1000);
  EXPECT_EQ(info->accessTime(), 1000);
  EXPECT_EQ(storage->getItemInfoForKeys(keyArray({"a", "b"}))->count(), 2u);
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("b"))->accessTime(), 1000);

  EXPECT_EQ(storage->getItemForKey(kit::str("a"))->value()->toString(), "1");
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("a"))->accessTime(), 2000);
  setWall(3000);
  EXPECT_EQ(storage->getItemValueForKey(kit::str("b"))->toString(), "2");
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("b"))->accessTime(), 3000);
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("b"))->modTime(), 1000);

  // Removing "earlier than 0" is no removal at all.
  EXPECT_TRUE(storage->removeItemsEarlierThanTime(0));
  EXPECT_TRUE(storage->removeItemsEarlierThanTime(-5));
  EXPECT_EQ(storage->getItemsCount(), 2);
}

TEST_F(KVStorageTest, TimesBeyond2038AreKeptAndCompared) {
  auto storage = open(KTKVStorageTypeMixed);
  setWall(5'000'000'000.0);  // 2128
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("old"), bytes("1"), kit::str("old.bin"), nullptr));
  setWall(5'000'000'100.0);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("new"), bytes("2")));
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("old"))->modTime(), 5'000'000'000);
  EXPECT_TRUE(storage->removeItemsEarlierThanTime(5'000'000'050));
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("old")));
  EXPECT_TRUE(storage->itemExistsForKey(kit::str("new")));
  EXPECT_TRUE(filesIn(data()).empty());
  // The sentinel still means "everything".
  EXPECT_TRUE(storage->removeItemsEarlierThanTime(KTKVStorage::NoLimit));
  EXPECT_EQ(storage->getItemsCount(), 0);
}

// ---- Files that went away --------------------------------------------------

TEST_F(KVStorageTest, AnItemWhoseFileWasDeletedReadsAsNilAndLosesItsRow) {
  auto storage = open(KTKVStorageTypeMixed);
  for (const char* key : {"a", "b", "c", "d"}) {
    ASSERT_TRUE(storage->saveItemWithKey(kit::str(key), bytes(key), kit::str(std::string(key) + ".bin"), nullptr));
  }
  for (const char* key : {"a", "b", "c"}) ::unlink((data() + "/" + key + ".bin").c_str());

  EXPECT_FALSE(storage->getItemForKey(kit::str("a")));
  EXPECT_FALSE(storage->getItemInfoForKey(kit::str("a")));
  EXPECT_FALSE(storage->getItemValueForKey(kit::str("b")));
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("b")));
  auto items = storage->getItemForKeys(keyArray({"c", "d"}));
  ASSERT_TRUE(items);
  ASSERT_EQ(items->count(), 1u);
  EXPECT_EQ(kit::as<KTKVStorageItem>(items->firstObject())->key()->utf8(), "d");
  EXPECT_EQ(storage->getItemsCount(), 1);
}

TEST_F(KVStorageTest, GetItemsForKeysReturnsTheFoundAndRefreshesAllTheirTimes) {
  auto storage = open(KTKVStorageTypeMixed);
  setWall(100);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("a"), bytes("A")));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("b"), bytes("B"), kit::str("b"), nullptr));
  setWall(200);
  auto items = storage->getItemForKeys(keyArray({"a", "missing", "b"}));
  ASSERT_TRUE(items);
  ASSERT_EQ(items->count(), 2u);
  std::set<std::string> values;
  for (const kit::Id& element : *items) values.insert(kit::as<KTKVStorageItem>(element)->value()->toString());
  EXPECT_EQ(values, (std::set<std::string>{"A", "B"}));
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("a"))->accessTime(), 200);
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("b"))->accessTime(), 200);
  EXPECT_FALSE(storage->getItemForKeys(keyArray({"missing"})));
  EXPECT_FALSE(storage->getItemForKeys(kit::Array::make()));
  EXPECT_FALSE(storage->getItemValueForKeys(keyArray({"missing"})));
}

TEST_F(KVStorageTest, KeyListsLongerThanOneStatementCanBindAreSplit) {
  auto storage = open(KTKVStorageTypeMixed);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k0"), bytes("first")));
  // One key more than this SQLite binds in one statement.
  sqlite3* probe = nullptr;
  sqlite3_open(":memory:", &probe);
  const int count = sqlite3_limit(probe, SQLITE_LIMIT_VARIABLE_NUMBER, -1) + 1;
  sqlite3_close(probe);
  const std::string lastKey = "k" + std::to_string(count - 1);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str(lastKey), bytes("last"), kit::str("last.bin"), nullptr));
  std::vector<kit::Id> keys;
  for (int i = 0; i < count; ++i) keys.push_back(kit::str("k" + std::to_string(i)));
  auto all = kit::Array::make(std::move(keys));

  auto items = storage->getItemForKeys(all);
  ASSERT_TRUE(items);
  EXPECT_EQ(items->count(), 2u);
  EXPECT_TRUE(storage->removeItemForKeys(all));
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_TRUE(filesIn(data()).empty());
}

// ---- Eviction --------------------------------------------------------------

class KVStorageEvictionTest : public KVStorageTest {
 protected:
  // Items i0..i{n-1}, each 100 bytes, accessed one second apart (i0 oldest);
  // every third one in a file.
  void fill(KTKVStorage& storage, int n) {
    for (int i = 0; i < n; ++i) {
      setWall(10'000 + i);
      auto key = kit::str("i" + std::to_string(i));
      auto name = i % 3 == 0 ? kit::str("f" + std::to_string(i)) : nullptr;
      ASSERT_TRUE(storage.saveItemWithKey(key, filled(100, 'a' + i % 26), name, nullptr));
    }
  }
  std::set<int> present(KTKVStorage& storage, int n) {
    std::set<int> out;
    for (int i = 0; i < n; ++i) {
      if (storage.itemExistsForKey(kit::str("i" + std::to_string(i)))) out.insert(i);
    }
    return out;
  }
  static std::set<int> range(int from, int to) {
    std::set<int> out;
    for (int i = from; i < to; ++i) out.insert(i);
    return out;
  }
};

TEST_F(KVStorageEvictionTest, FitToSizeRemovesOldestAccessFirst) {
  auto storage = open(KTKVStorageTypeMixed);
  fill(*storage, 40);
  // Reading i0 makes it the newest.
  setWall(20'000);
  ASSERT_TRUE(storage->getItemForKey(kit::str("i0")));

  EXPECT_TRUE(storage->removeItemsToFitSize(2500));
  std::set<int> expected = range(16, 40);
  expected.insert(0);
  EXPECT_EQ(present(*storage, 40), expected);
  EXPECT_EQ(storage->getItemsSize(), 2500);

  EXPECT_TRUE(storage->removeItemsToFitSize(450));  // across two more batches
  EXPECT_EQ(present(*storage, 40), (std::set<int>{0, 37, 38, 39}));
  EXPECT_EQ(filesIn(data()), (std::set<std::string>{"f0", "f39"}));

  EXPECT_TRUE(storage->removeItemsToFitSize(KTKVStorage::NoLimit));
  EXPECT_TRUE(storage->removeItemsToFitSize(10'000));
  EXPECT_EQ(storage->getItemsCount(), 4);
  EXPECT_TRUE(storage->removeItemsToFitSize(0));
  EXPECT_EQ(storage->getItemsCount(), 0);
}

TEST_F(KVStorageEvictionTest, FitToCountAndLargerThanSize) {
  auto storage = open(KTKVStorageTypeMixed);
  fill(*storage, 40);
  EXPECT_TRUE(storage->removeItemsToFitCount(KTKVStorage::NoLimit));
  EXPECT_TRUE(storage->removeItemsToFitCount(40));
  EXPECT_EQ(storage->getItemsCount(), 40);
  EXPECT_TRUE(storage->removeItemsToFitCount(3));
  EXPECT_EQ(present(*storage, 40), range(37, 40));

  ASSERT_TRUE(storage->saveItemWithKey(kit::str("big"), filled(5000, 'b'), kit::str("big"), nullptr));
  EXPECT_TRUE(storage->removeItemsLargerThanSize(KTKVStorage::NoLimit));
  EXPECT_TRUE(storage->removeItemsLargerThanSize(1000));
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("big")));
  EXPECT_FALSE(exists(data() + "/big"));
  EXPECT_EQ(storage->getItemsCount(), 3);

  EXPECT_TRUE(storage->removeItemsToFitCount(0));
  EXPECT_EQ(storage->getItemsCount(), 0);
}

TEST_F(KVStorageEvictionTest, RemoveAllWithProgressReportsEveryBatch) {
  auto storage = open(KTKVStorageTypeMixed);
  std::vector<std::pair<int64_t, int64_t>> steps;
  std::vector<bool> ends;
  auto progress = [&](int64_t removed, int64_t total) { steps.emplace_back(removed, total); };
  auto end = [&](bool error) { ends.push_back(error); };

  storage->removeAllItemsWithProgressBlock(progress, end);
  EXPECT_TRUE(steps.empty());
  EXPECT_EQ(ends, std::vector<bool>{false});

  fill(*storage, 70);
  ends.clear();
  storage->removeAllItemsWithProgressBlock(progress, end);
  EXPECT_EQ(steps, (std::vector<std::pair<int64_t, int64_t>>{{32, 70}, {64, 70}, {70, 70}}));
  EXPECT_EQ(ends, std::vector<bool>{false});
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_TRUE(filesIn(data()).empty());
  storage->removeAllItemsWithProgressBlock(nullptr, nullptr);  // no callbacks is fine
}

TEST_F(KVStorageEvictionTest, RemoveAllMovesTheDataToTheTrashAndEmptiesIt) {
  auto storage = open(KTKVStorageTypeMixed);
  fill(*storage, 10);
  ASSERT_EQ(filesIn(data()).size(), 4u);
  EXPECT_TRUE(storage->removeAllItems());
  EXPECT_TRUE(filesIn(data()).empty());
  EXPECT_EQ(storage->getItemsCount(), 0);
  waitForEmptyTrash();
  // The storage goes on working.
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("after"), bytes("x"), kit::str("after"), nullptr));
  EXPECT_EQ(storage->getItemValueForKey(kit::str("after"))->toString(), "x");
}

// ---- Faults from outside ---------------------------------------------------

TEST_F(KVStorageTest, ValueFilesOutsideTheDataFolderAreNeverReadNorRemoved) {
  auto storage = open(KTKVStorageTypeMixed);
  ASSERT_TRUE(kit::writeDataToFile(*bytes("precious"), root() + "/victim", false));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("a"), bytes("A"), kit::str("a"), nullptr));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("b"), bytes("B"), kit::str("b"), nullptr));
  {
    ManifestPeek peek(root());
    ASSERT_EQ(peek.exec("update manifest set filename = '../victim';"), SQLITE_OK);
  }
  storage->setErrorLogsEnabled(false);
  EXPECT_FALSE(storage->getItemForKey(kit::str("a")));  // not the victim's bytes
  EXPECT_FALSE(storage->itemExistsForKey(kit::str("a")));
  EXPECT_TRUE(storage->removeItemForKey(kit::str("b")));
  EXPECT_EQ(kit::dataWithContentsOfFile(root() + "/victim")->toString(), "precious");

  // Value files that are links to the victim read as missing files, by
  // every read, and lose their rows.
  for (const char* key : {"c", "d", "e"}) {
    ASSERT_TRUE(storage->saveItemWithKey(kit::str(key), bytes("value"), kit::str(key), nullptr));
    ASSERT_EQ(::unlink((data() + "/" + key).c_str()), 0);
    ASSERT_EQ(::symlink((root() + "/victim").c_str(), (data() + "/" + key).c_str()), 0);
  }
  EXPECT_FALSE(storage->getItemForKey(kit::str("c")));
  EXPECT_FALSE(storage->getItemValueForKey(kit::str("d")));
  EXPECT_FALSE(storage->getItemForKeys(keyArray({"e"})));
  for (const char* key : {"c", "d", "e"}) EXPECT_FALSE(storage->itemExistsForKey(kit::str(key))) << key;
  EXPECT_EQ(kit::dataWithContentsOfFile(root() + "/victim")->toString(), "precious");

  // A journal naming files outside is not followed when the storage opens.
  storage.reset();
  ASSERT_TRUE(kit::writeDataToFile(*bytes("temporary"), data() + "/.kvtmp-1", false));
  {
    ManifestPeek peek(root());
    ASSERT_EQ(peek.exec("insert into manifest_journal values ('../victim', 'x', '../victim'), "
                        "('.kvtmp-1', '../moved', NULL), (NULL, NULL, '/victim'), (NULL, NULL, '..');"),
              SQLITE_OK);
  }
  storage = open(KTKVStorageTypeMixed);
  ASSERT_TRUE(storage);
  EXPECT_EQ(kit::dataWithContentsOfFile(root() + "/victim")->toString(), "precious");
  EXPECT_FALSE(exists(root() + "/moved"));
  EXPECT_TRUE(exists(data()));
}

TEST_F(KVStorageTest, WritesThatFindTheDatabaseBusyFailAndKeepTheOldValues) {
  auto storage = open(KTKVStorageTypeMixed);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("a"), bytes("A")));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("b"), bytes("B")));
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("f"), bytes("old file"), kit::str("f.bin"), nullptr));
  ManifestPeek peek(root());
  ASSERT_EQ(peek.exec("begin immediate;"), SQLITE_OK);  // another writer holds the lock
  kit::test::LogCapture logs;
  EXPECT_FALSE(storage->removeItemForKeys(keyArray({"a", "b"})));
  EXPECT_TRUE(logs.contains("sqlite delete error (5)"));
  EXPECT_FALSE(storage->removeItemForKey(kit::str("a")));
  // A save whose row cannot be written leaves the old file and no other.
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("f"), bytes("new file"), kit::str("f.bin"), nullptr));
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("f"), bytes("now inline")));
  // Each failure is logged once, with the operation that met it and SQLite's message.
  EXPECT_TRUE(logs.contains("-[KTKVStorage _dbSaveWithKey:value:fileName:extendedData:] line:"));
  EXPECT_TRUE(logs.contains("sqlite insert error (5): database is locked"));
  size_t inserts = 0;
  for (const auto& m : logs.messages()) inserts += m.find("sqlite insert error") != std::string::npos;
  EXPECT_EQ(inserts, 2u);
  EXPECT_EQ(filesIn(data()), std::set<std::string>{"f.bin"});
  ASSERT_EQ(peek.exec("rollback;"), SQLITE_OK);

  EXPECT_EQ(storage->getItemsCount(), 3);
  EXPECT_EQ(storage->getItemValueForKey(kit::str("f"))->toString(), "old file");
  EXPECT_TRUE(storage->removeItemForKeys(keyArray({"a", "b"})));
  EXPECT_EQ(storage->getItemsCount(), 1);
}

TEST_F(KVStorageTest, AValueFileThatCannotBeWrittenFailsTheSaveAndKeepsTheOldValue) {
  auto storage = open(KTKVStorageTypeMixed);
  setWall(1000);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("old"), kit::str("k.bin"), nullptr));
  // The data folder goes away behind the storage's back.
  ASSERT_EQ(::rename(data().c_str(), (root() + "/aside").c_str()), 0);
  setWall(2000);
  kit::test::LogCapture logs;
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("k"), bytes("new"), kit::str("k.bin"), nullptr));
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("n"), bytes("new"), kit::str("n.bin"), nullptr));
  EXPECT_EQ(logs.count(), 0u);  // the answer says it; the database is fine
  ASSERT_EQ(::rename((root() + "/aside").c_str(), data().c_str()), 0);

  EXPECT_EQ(storage->getItemsCount(), 1);
  EXPECT_EQ(storage->getItemInfoForKey(kit::str("k"))->modTime(), 1000);
  EXPECT_EQ(storage->getItemValueForKey(kit::str("k"))->toString(), "old");
  EXPECT_EQ(filesIn(data()), std::set<std::string>{"k.bin"});
}

TEST_F(KVStorageTest, StaleTemporaryFilesAreRemovedOnOpen) {
  {
    auto storage = open(KTKVStorageTypeMixed);
    ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("kept"), kit::str("k"), nullptr));
  }
  ASSERT_TRUE(kit::writeDataToFile(*bytes("half a val"), data() + "/.kvtmp-1234", false));
  auto storage = open(KTKVStorageTypeMixed);
  EXPECT_EQ(filesIn(data()), std::set<std::string>{"k"});
  EXPECT_EQ(storage->getItemValueForKey(kit::str("k"))->toString(), "kept");
}

// ---- Open retries on the media clock ---------------------------------------

class KVStorageRetryTest : public kit::test::VirtualClockTest {
 protected:
  kit::test::TempDirectory dir_{"kv-retry"};
};

TEST_F(KVStorageRetryTest, FailedOpensAreRetriedTwoSecondsApartAndAtMostEightTimes) {
  const std::string root = dir_.file("kv"), aside = dir_.file("aside");
  auto storage = KTKVStorage::initWithPath(kit::str(root), KTKVStorageTypeMixed);
  ASSERT_TRUE(storage);
  ASSERT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("v")));

  // Put a plain file where the folder was: every open now fails.
  ASSERT_EQ(::rename(root.c_str(), aside.c_str()), 0);
  ASSERT_TRUE(kit::writeDataToFile(*bytes("not a folder"), root, false));
  kit::test::LogCapture logs;
  auto opens = [&] {
    size_t n = 0;
    for (const auto& m : logs.messages()) n += m.find("sqlite open failed") != std::string::npos;
    return n;
  };
  EXPECT_FALSE(storage->removeAllItems());
  EXPECT_EQ(opens(), 1u);

  EXPECT_EQ(storage->getItemsCount(), -1);
  advance(2.0);
  EXPECT_FALSE(storage->saveItemWithKey(kit::str("k"), bytes("v")));
  EXPECT_EQ(opens(), 1u);  // not more than 2 s apart yet
  for (size_t attempt = 2; attempt <= 8; ++attempt) {
    advance(0.5);
    EXPECT_EQ(storage->getItemsCount(), -1);
    EXPECT_EQ(opens(), attempt);
    EXPECT_EQ(storage->getItemsCount(), -1);  // at once again: no attempt
    advance(1.6);
  }
  advance(60);
  EXPECT_EQ(storage->getItemsCount(), -1);
  EXPECT_FALSE(storage->getItemForKey(kit::str("k")));
  EXPECT_EQ(opens(), 8u);

  // Logs follow errorLogsEnabled: the failing reset logs nothing now.
  storage->setErrorLogsEnabled(false);
  EXPECT_FALSE(storage->removeAllItems());
  EXPECT_EQ(opens(), 8u);
  storage->setErrorLogsEnabled(true);

  // Only an open by another road brings it back; then it works as before.
  ASSERT_EQ(::unlink(root.c_str()), 0);
  ASSERT_EQ(::rename(aside.c_str(), root.c_str()), 0);
  EXPECT_EQ(storage->getItemsCount(), -1);
  EXPECT_TRUE(storage->removeAllItems());
  EXPECT_EQ(storage->getItemsCount(), 0);
  EXPECT_TRUE(storage->saveItemWithKey(kit::str("k"), bytes("again")));
  EXPECT_EQ(storage->getItemValueForKey(kit::str("k"))->toString(), "again");
  ASSERT_TRUE(kit::test::runUntil([&] { return filesIn(root + "/trash").empty(); }));
}

}  // namespace
