// The key-value storage's manifest database on SQLite.

#include "data/cache/kv_manifest.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "kit/foundation/date.h"
#include "kit/foundation/log.h"

namespace {

constexpr const char* kSchema =
    "pragma journal_mode = wal; pragma synchronous = normal; create table if not exists manifest (key text, "
    "filename text, size integer, inline_data blob, modification_time integer, last_access_time integer, "
    "extended_data blob, primary key(key)); create index if not exists last_access_time_idx on "
    "manifest(last_access_time);";

// Failed opens tolerated before the manifest stops retrying on its own, and
// the media time that must pass between two attempts.
constexpr unsigned kMaxOpenRetries = 8;
constexpr double kOpenRetryInterval = 2.0;

std::string_view columnText(sqlite3_stmt* stmt, int column) {
  auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  if (!text) return {};
  return {text, static_cast<size_t>(sqlite3_column_bytes(stmt, column))};
}

kit::Ref<kit::Data> columnBlob(sqlite3_stmt* stmt, int column) {
  const void* bytes = sqlite3_column_blob(stmt, column);
  int length = sqlite3_column_bytes(stmt, column);
  if (!bytes || length <= 0) return nullptr;
  return kit::Data::make(bytes, static_cast<size_t>(length));
}

void bindText(sqlite3_stmt* stmt, int index, std::string_view text) {
  sqlite3_bind_text64(stmt, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
}

void bindBlob(sqlite3_stmt* stmt, int index, const kit::Data* data) {
  if (!data) {
    sqlite3_bind_null(stmt, index);
  } else {
    // A zero-length blob must still be a blob, not NULL: bind a valid pointer.
    static const uint8_t empty = 0;
    sqlite3_bind_blob64(stmt, index, data->length() ? data->bytes() : &empty, data->length(), SQLITE_STATIC);
  }
}

// "?,?,?" for `count` keys.
std::string joinedPlaceholders(size_t count) {
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    if (i) out += ',';
    out += '?';
  }
  return out;
}

void bindKeys(sqlite3_stmt* stmt, std::span<const std::string_view> keys, int fromIndex) {
  for (size_t i = 0; i < keys.size(); ++i) bindText(stmt, fromIndex + static_cast<int>(i), keys[i]);
}

std::string replacePlaceholders(std::string_view pattern, const std::string& joined) {
  std::string out(pattern);
  out.replace(out.find("%@"), 2, joined);
  return out;
}

}  // namespace

template <class... Args>
void KTKVManifest::logError(std::string_view format, const Args&... args) const {
  if (errorLogsEnabled_) kit::log(format, args...);
}

KTKVManifest::KTKVManifest(std::string databasePath) : databasePath_(std::move(databasePath)) {}

KTKVManifest::~KTKVManifest() { close(); }

bool KTKVManifest::open() {
  if (db_) return true;
  sqlite3* db = nullptr;
  // The owner serialises every call, so the connection needs no mutex.
  int result = sqlite3_open_v2(databasePath_.c_str(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (result != SQLITE_OK) {
    sqlite3_close(db);  // a failed open still hands out a handle to release
    statements_.clear();
    lastOpenErrorTime_ = kit::mediaTime();
    ++openErrorCount_;
    logError("%s line:%d sqlite open failed (%d).", "-[KTKVStorage _dbOpen]", __LINE__, result);
    return false;
  }
  db_ = db;
  statements_.clear();
  lastOpenErrorTime_ = 0;
  openErrorCount_ = 0;
  return true;
}

bool KTKVManifest::close() {
  if (!db_) return true;
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  statements_.clear();
  int result = sqlite3_close(db_);
  if (result == SQLITE_BUSY || result == SQLITE_LOCKED) {
    // Statements prepared elsewhere on the connection keep it open: finalise
    // them, and let SQLite finish the close once nothing uses the handle,
    // rather than dropping a connection that is still open.
    while (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr)) sqlite3_finalize(stmt);
    result = sqlite3_close_v2(db_);
  }
  if (result != SQLITE_OK) logError("%s line:%d sqlite close failed (%d).", "-[KTKVStorage _dbClose]", __LINE__, result);
  db_ = nullptr;
  return true;
}

bool KTKVManifest::check() {
  if (db_) return true;
  if (openErrorCount_ >= kMaxOpenRetries) return false;
  if (openErrorCount_ > 0 && kit::mediaTime() - lastOpenErrorTime_ <= kOpenRetryInterval) return false;
  return open() && initialize();
}

bool KTKVManifest::initialize() { return execute(kSchema); }

void KTKVManifest::checkpoint() {
  if (!check()) return;
  sqlite3_wal_checkpoint(db_, nullptr);
}

bool KTKVManifest::execute(const char* sql) {
  if (!sql || !*sql || !check()) return false;
  char* error = nullptr;
  int result = sqlite3_exec(db_, sql, nullptr, nullptr, &error);
  if (error) {
    logError("%s line:%d sqlite exec error (%d): %s", "-[KTKVStorage _dbExecute:]", __LINE__, result, error);
    sqlite3_free(error);
  }
  return result == SQLITE_OK;
}

sqlite3_stmt* KTKVManifest::prepare(const char* sql) {
  if (!sql || !*sql || !check()) return nullptr;
  if (auto found = statements_.find(sql); found != statements_.end()) {
    sqlite3_reset(found->second);
    return found->second;
  }
  sqlite3_stmt* stmt = nullptr;
  int result = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
  if (result != SQLITE_OK) {
    logError("%s line:%d sqlite stmt prepare error (%d): %s", "-[KTKVStorage _dbPrepareStmt:]", __LINE__, result,
             errorMessage());
    return nullptr;
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

sqlite3_stmt* KTKVManifest::prepareUncached(const std::string& sql, const char* function, int line) {
  if (!check()) return nullptr;
  sqlite3_stmt* stmt = nullptr;
  int result = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  if (result != SQLITE_OK) {
    logError("%s line:%d sqlite stmt prepare error (%d): %s", function, line, result, errorMessage());
    return nullptr;
  }
  return stmt;
}

size_t KTKVManifest::keysPerStatement() {
  // Stay below the connection's host-parameter limit (32766 by default).
  int limit = db_ ? sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1) : 999;
  return static_cast<size_t>(std::max(1, limit - 1));
}

// ---- Writes ----------------------------------------------------------------

bool KTKVManifest::saveRow(std::string_view key, const kit::Data& value, std::string_view filename,
                           const kit::Data* extendedData, int64_t now) {
  sqlite3_stmt* stmt = prepare(
      "insert or replace into manifest (key, filename, size, inline_data, modification_time, last_access_time, "
      "extended_data) values (?1, ?2, ?3, ?4, ?5, ?6, ?7);");
  if (!stmt) return false;
  bindText(stmt, 1, key);
  if (filename.empty()) {
    sqlite3_bind_null(stmt, 2);
    bindBlob(stmt, 4, &value);
  } else {
    bindText(stmt, 2, filename);
    sqlite3_bind_null(stmt, 4);
  }
  sqlite3_bind_int64(stmt, 3, static_cast<sqlite3_int64>(value.length()));
  sqlite3_bind_int64(stmt, 5, now);
  sqlite3_bind_int64(stmt, 6, now);
  bindBlob(stmt, 7, extendedData);
  int result = sqlite3_step(stmt);
  sqlite3_reset(stmt);  // ends the write at once and releases the bound bytes
  if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite insert error (%d): %s", "-[KTKVStorage _dbSaveWithKey:value:fileName:extendedData:]",
             __LINE__, result, errorMessage());
    return false;
  }
  return true;
}

bool KTKVManifest::updateAccessTime(std::string_view key, int64_t now) {
  sqlite3_stmt* stmt = prepare("update manifest set last_access_time = ?1 where key = ?2;");
  if (!stmt) return false;
  sqlite3_bind_int64(stmt, 1, now);
  bindText(stmt, 2, key);
  int result = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite update error (%d): %s", "-[KTKVStorage _dbUpdateAccessTimeWithKey:]", __LINE__, result,
             errorMessage());
    return false;
  }
  return true;
}

bool KTKVManifest::updateAccessTimes(std::span<const std::string_view> keys, int64_t now) {
  if (!check()) return false;
  const size_t chunk = keysPerStatement();
  for (size_t from = 0; from < keys.size(); from += chunk) {
    auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
    std::string sql = "update manifest set last_access_time = " + std::to_string(now) + " where key in (" +
                      joinedPlaceholders(part.size()) + ");";
    sqlite3_stmt* stmt = prepareUncached(sql, "-[KTKVStorage _dbUpdateAccessTimeWithKeys:]", __LINE__);
    if (!stmt) return false;
    bindKeys(stmt, part, 1);
    int result = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (result != SQLITE_DONE) {
      logError("%s line:%d sqlite update error (%d): %s", "-[KTKVStorage _dbUpdateAccessTimeWithKeys:]", __LINE__,
               result, errorMessage());
      return false;
    }
  }
  return true;
}

bool KTKVManifest::deleteItem(std::string_view key) {
  sqlite3_stmt* stmt = prepare("delete from manifest where key = ?1;");
  if (!stmt) return false;
  bindText(stmt, 1, key);
  int result = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (result != SQLITE_DONE) {
    logError("%s line:%d db delete error (%d): %s", "-[KTKVStorage _dbDeleteItemWithKey:]", __LINE__, result,
             errorMessage());
    return false;
  }
  return true;
}

bool KTKVManifest::deleteItems(std::span<const std::string_view> keys) {
  if (!check()) return false;
  const size_t chunk = keysPerStatement();
  for (size_t from = 0; from < keys.size(); from += chunk) {
    auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
    std::string sql = replacePlaceholders("delete from manifest where key in (%@);", joinedPlaceholders(part.size()));
    sqlite3_stmt* stmt = prepareUncached(sql, "-[KTKVStorage _dbDeleteItemWithKeys:]", __LINE__);
    if (!stmt) return false;
    bindKeys(stmt, part, 1);
    int result = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    // Only a finished statement deleted the rows; busy or locked did not.
    if (result != SQLITE_DONE) {
      logError("%s line:%d sqlite delete error (%d): %s", "-[KTKVStorage _dbDeleteItemWithKeys:]", __LINE__, result,
               errorMessage());
      return false;
    }
  }
  return true;
}

bool KTKVManifest::deleteItemsLargerThan(int64_t size) {
  sqlite3_stmt* stmt = prepare("delete from manifest where size > ?1;");
  if (!stmt) return false;
  sqlite3_bind_int64(stmt, 1, size);
  int result = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite delete error (%d): %s", "-[KTKVStorage _dbDeleteItemsWithSizeLargerThan:]", __LINE__,
             result, errorMessage());
    return false;
  }
  return true;
}

bool KTKVManifest::deleteItemsEarlierThan(int64_t time) {
  sqlite3_stmt* stmt = prepare("delete from manifest where last_access_time < ?1;");
  if (!stmt) return false;
  sqlite3_bind_int64(stmt, 1, time);
  int result = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite delete error (%d): %s", "-[KTKVStorage _dbDeleteItemsWithTimeEarlierThan:]",
             __LINE__, result, errorMessage());
    return false;
  }
  return true;
}

// ---- Reads -----------------------------------------------------------------

kit::Ref<KTKVStorageItem> KTKVManifest::itemFromStatement(sqlite3_stmt* stmt, bool excludeInlineData) {
  int column = 0;
  auto item = kit::make<KTKVStorageItem>();
  if (sqlite3_column_type(stmt, column) != SQLITE_NULL) item->setKey(kit::String::make(columnText(stmt, column)));
  ++column;
  std::string_view filename = columnText(stmt, column++);
  if (!filename.empty()) item->setFilename(kit::String::make(filename));
  item->setSize(sqlite3_column_int64(stmt, column++));
  if (!excludeInlineData) item->setValue(columnBlob(stmt, column++));
  item->setModTime(sqlite3_column_int64(stmt, column++));
  item->setAccessTime(sqlite3_column_int64(stmt, column++));
  item->setExtendedData(columnBlob(stmt, column++));
  return item;
}

kit::Ref<KTKVStorageItem> KTKVManifest::getItem(std::string_view key, bool excludeInlineData) {
  sqlite3_stmt* stmt = prepare(excludeInlineData
                                   ? "select key, filename, size, modification_time, last_access_time, "
                                     "extended_data from manifest where key = ?1;"
                                   : "select key, filename, size, inline_data, modification_time, last_access_time, "
                                     "extended_data from manifest where key = ?1;");
  if (!stmt) return nullptr;
  bindText(stmt, 1, key);
  kit::Ref<KTKVStorageItem> item;
  int result = sqlite3_step(stmt);
  if (result == SQLITE_ROW) {
    item = itemFromStatement(stmt, excludeInlineData);
  } else if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite query error (%d): %s", "-[KTKVStorage _dbGetItemWithKey:excludeInlineData:]",
             __LINE__, result, errorMessage());
  }
  sqlite3_reset(stmt);
  return item;
}

std::optional<std::vector<kit::Ref<KTKVStorageItem>>> KTKVManifest::getItems(std::span<const std::string_view> keys,
                                                                             bool excludeInlineData) {
  if (!check()) return std::nullopt;
  std::vector<kit::Ref<KTKVStorageItem>> items;
  const size_t chunk = keysPerStatement();
  for (size_t from = 0; from < keys.size(); from += chunk) {
    auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
    std::string sql = replacePlaceholders(
        excludeInlineData ? "select key, filename, size, modification_time, last_access_time, extended_data from "
                            "manifest where key in (%@);"
                          : "select key, filename, size, inline_data, modification_time, last_access_time, "
                            "extended_data from manifest where key in (%@)",
        joinedPlaceholders(part.size()));
    sqlite3_stmt* stmt = prepareUncached(sql, "-[KTKVStorage _dbGetItemWithKeys:excludeInlineData:]", __LINE__);
    if (!stmt) return std::nullopt;
    bindKeys(stmt, part, 1);
    int result;
    while ((result = sqlite3_step(stmt)) == SQLITE_ROW) items.push_back(itemFromStatement(stmt, excludeInlineData));
    sqlite3_finalize(stmt);
    if (result != SQLITE_DONE) {
      logError("%s line:%d sqlite query error (%d): %s", "-[KTKVStorage _dbGetItemWithKeys:excludeInlineData:]",
               __LINE__, result, errorMessage());
      return std::nullopt;
    }
  }
  return items;
}

kit::Ref<kit::Data> KTKVManifest::getValue(std::string_view key) {
  sqlite3_stmt* stmt = prepare("select inline_data from manifest where key = ?1;");
  if (!stmt) return nullptr;
  bindText(stmt, 1, key);
  kit::Ref<kit::Data> value;
  int result = sqlite3_step(stmt);
  if (result == SQLITE_ROW) {
    value = columnBlob(stmt, 0);
  } else if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite query error (%d): %s", "-[KTKVStorage _dbGetValueWithKey:]", __LINE__, result,
             errorMessage());
  }
  sqlite3_reset(stmt);
  return value;
}

std::string KTKVManifest::getFilename(std::string_view key) {
  sqlite3_stmt* stmt = prepare("select filename from manifest where key = ?1;");
  if (!stmt) return {};
  bindText(stmt, 1, key);
  std::string filename;
  int result = sqlite3_step(stmt);
  if (result == SQLITE_ROW) {
    filename = columnText(stmt, 0);
  } else if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite query error (%d): %s", "-[KTKVStorage _dbGetFilenameWithKey:]", __LINE__, result,
             errorMessage());
  }
  sqlite3_reset(stmt);
  return filename;
}

std::optional<std::vector<std::string>> KTKVManifest::filenamesFrom(sqlite3_stmt* stmt, const char* function,
                                                                    int line) {
  std::vector<std::string> names;
  int result;
  while ((result = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::string_view name = columnText(stmt, 0);
    if (!name.empty()) names.emplace_back(name);
  }
  if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite query error (%d): %s", function, line, result, errorMessage());
    return std::nullopt;
  }
  return names;
}

std::optional<std::vector<std::string>> KTKVManifest::getFilenames(std::span<const std::string_view> keys) {
  if (!check()) return std::nullopt;
  std::vector<std::string> names;
  const size_t chunk = keysPerStatement();
  for (size_t from = 0; from < keys.size(); from += chunk) {
    auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
    std::string sql =
        replacePlaceholders("select filename from manifest where key in (%@);", joinedPlaceholders(part.size()));
    sqlite3_stmt* stmt = prepareUncached(sql, "-[KTKVStorage _dbGetFilenameWithKeys:]", __LINE__);
    if (!stmt) return std::nullopt;
    bindKeys(stmt, part, 1);
    auto found = filenamesFrom(stmt, "-[KTKVStorage _dbGetFilenameWithKeys:]", __LINE__);
    sqlite3_finalize(stmt);
    if (!found) return std::nullopt;
    names.insert(names.end(), std::make_move_iterator(found->begin()), std::make_move_iterator(found->end()));
  }
  return names;
}

std::optional<std::vector<std::string>> KTKVManifest::getFilenamesLargerThan(int64_t size) {
  sqlite3_stmt* stmt = prepare("select filename from manifest where size > ?1 and filename is not null;");
  if (!stmt) return std::nullopt;
  sqlite3_bind_int64(stmt, 1, size);
  auto names = filenamesFrom(stmt, "-[KTKVStorage _dbGetFilenamesWithSizeLargerThan:]", __LINE__);
  sqlite3_reset(stmt);
  return names;
}

std::optional<std::vector<std::string>> KTKVManifest::getFilenamesEarlierThan(int64_t time) {
  sqlite3_stmt* stmt = prepare("select filename from manifest where last_access_time < ?1 and filename is not null;");
  if (!stmt) return std::nullopt;
  sqlite3_bind_int64(stmt, 1, time);
  auto names = filenamesFrom(stmt, "-[KTKVStorage _dbGetFilenamesWithTimeEarlierThan:]", __LINE__);
  sqlite3_reset(stmt);
  return names;
}

std::optional<std::vector<kit::Ref<KTKVStorageItem>>> KTKVManifest::getItemSizeInfoOrderByTimeAsc(int limit) {
  sqlite3_stmt* stmt = prepare("select key, filename, size from manifest order by last_access_time asc limit ?1;");
  if (!stmt) return std::nullopt;
  sqlite3_bind_int(stmt, 1, limit);
  std::vector<kit::Ref<KTKVStorageItem>> items;
  int result;
  while ((result = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (sqlite3_column_type(stmt, 0) == SQLITE_NULL) continue;
    auto item = kit::make<KTKVStorageItem>();
    item->setKey(kit::String::make(columnText(stmt, 0)));
    std::string_view filename = columnText(stmt, 1);
    if (!filename.empty()) item->setFilename(kit::String::make(filename));
    item->setSize(sqlite3_column_int64(stmt, 2));
    items.push_back(std::move(item));
  }
  sqlite3_reset(stmt);
  if (result != SQLITE_DONE) {
    logError("%s line:%d sqlite query error (%d): %s", "-[KTKVStorage _dbGetItemSizeInfoOrderByTimeAscWithLimit:]",
             __LINE__, result, errorMessage());
    return std::nullopt;
  }
  return items;
}

int64_t KTKVManifest::scalar(const char* sql, const char* function, int line) {
  sqlite3_stmt* stmt = prepare(sql);
  if (!stmt) return -1;
  int result = sqlite3_step(stmt);
  int64_t value = -1;
  if (result == SQLITE_ROW) {
    value = sqlite3_column_int64(stmt, 0);
  } else {
    logError("%s line:%d sqlite query error (%d): %s", function, line, result, errorMessage());
  }
  sqlite3_reset(stmt);
  return value;
}

int64_t KTKVManifest::getItemCount(std::string_view key) {
  sqlite3_stmt* stmt = prepare("select count(key) from manifest where key = ?1;");
  if (!stmt) return -1;
  bindText(stmt, 1, key);
  int result = sqlite3_step(stmt);
  int64_t count = -1;
  if (result == SQLITE_ROW) {
    count = sqlite3_column_int64(stmt, 0);
  } else {
    logError("%s line:%d sqlite query error (%d): %s", "-[KTKVStorage _dbGetItemCountWithKey:]", __LINE__, result,
             errorMessage());
  }
  sqlite3_reset(stmt);
  return count;
}

int64_t KTKVManifest::getTotalItemSize() {
  return scalar("select sum(size) from manifest;", "-[KTKVStorage _dbGetTotalItemSize]", __LINE__);
}

int64_t KTKVManifest::getTotalItemCount() {
  return scalar("select count(*) from manifest;", "-[KTKVStorage _dbGetTotalItemCount]", __LINE__);
}
