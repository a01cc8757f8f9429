// The manifest database of the key-value storage: one SQLite table that
// records every item (key, file name, size, inline value, modification and
// access times, extended data), run in write-ahead-log mode with prepared
// statements cached per SQL text.
//
// The manifest takes no lock; its owner, KTKVStorage, is called one thread
// at a time. After a failed open it waits at least 2 seconds of media time
// before trying again, and after 8 failures in a row it stops trying until
// an open succeeds by another road (the owner's reset).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/cache/kv_storage_item.h"
#include "kit/foundation/data.h"

class KTKVManifest {
 public:
  explicit KTKVManifest(std::string databasePath);
  ~KTKVManifest();
  KTKVManifest(const KTKVManifest&) = delete;
  KTKVManifest& operator=(const KTKVManifest&) = delete;

  bool errorLogsEnabled() const { return errorLogsEnabled_; }
  void setErrorLogsEnabled(bool v) { errorLogsEnabled_ = v; }

  // Opens the database file (success when already open).
  bool open();
  // Closes the connection, finalising every statement; always succeeds.
  bool close();
  // Creates the table and index and sets the journal mode.
  bool initialize();
  // Whether the database can be used now, opening it when the retry rule
  // allows.
  bool check();
  // Folds the write-ahead log back into the database.
  void checkpoint();
  bool isOpen() const { return db_ != nullptr; }

  // Replaces the whole row; both times become `now`. With a non-empty file
  // name the value's bytes are not stored, only its length.
  bool saveRow(std::string_view key, const kit::Data& value, std::string_view filename,
               const kit::Data* extendedData, int64_t now);
  bool updateAccessTime(std::string_view key, int64_t now);
  bool updateAccessTimes(std::span<const std::string_view> keys, int64_t now);
  bool deleteItem(std::string_view key);
  bool deleteItems(std::span<const std::string_view> keys);
  bool deleteItemsLargerThan(int64_t size);
  bool deleteItemsEarlierThan(int64_t time);

  kit::Ref<KTKVStorageItem> getItem(std::string_view key, bool excludeInlineData);
  // nullopt when a query fails.
  std::optional<std::vector<kit::Ref<KTKVStorageItem>>> getItems(std::span<const std::string_view> keys,
                                                            bool excludeInlineData);
  kit::Ref<kit::Data> getValue(std::string_view key);
  // The recorded file name; empty when there is none or the query failed.
  std::string getFilename(std::string_view key);
  // nullopt when a query fails; empty names are left out.
  std::optional<std::vector<std::string>> getFilenames(std::span<const std::string_view> keys);
  std::optional<std::vector<std::string>> getFilenamesLargerThan(int64_t size);
  std::optional<std::vector<std::string>> getFilenamesEarlierThan(int64_t time);
  // The `limit` items with the oldest access (key, file name, size only).
  std::optional<std::vector<kit::Ref<KTKVStorageItem>>> getItemSizeInfoOrderByTimeAsc(int limit);
  // -1 on failure.
  int64_t getItemCount(std::string_view key);
  int64_t getTotalItemSize();
  int64_t getTotalItemCount();

 private:
  bool execute(const char* sql);
  sqlite3_stmt* prepare(const char* sql);
  // Prepares a statement for a list of keys, uncached.
  sqlite3_stmt* prepareUncached(const std::string& sql, const char* function, int line);
  // How many keys one statement may bind.
  size_t keysPerStatement();
  kit::Ref<KTKVStorageItem> itemFromStatement(sqlite3_stmt* stmt, bool excludeInlineData);
  std::optional<std::vector<std::string>> filenamesFrom(sqlite3_stmt* stmt, const char* function, int line);
  int64_t scalar(const char* sql, const char* function, int line);
  const char* errorMessage() const { return db_ ? sqlite3_errmsg(db_) : ""; }

  template <class... Args>
  void logError(std::string_view format, const Args&... args) const;

  const std::string databasePath_;
  sqlite3* db_ = nullptr;
  std::unordered_map<std::string_view, sqlite3_stmt*> statements_;  // keys are static SQL texts
  double lastOpenErrorTime_ = 0;
  unsigned openErrorCount_ = 0;
  bool errorLogsEnabled_ = true;
};
