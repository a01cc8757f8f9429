// The key-value storage's manifest database on SQLite.

#include "data/cache/kv_manifest.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

#include "kit/foundation/date.h"
#include "kit/foundation/format.h"
#include "kit/foundation/values.h"

namespace {

// Free pages can go back to the disk (auto_vacuum takes effect in a new
// database only; an older one keeps its free pages for later rows). A
// removal does not write zeros over the pages it frees (as this system's
// SQLite does by default): that would cost as much log as the value
// removed, which a full disk does not have; the pages it frees at the end
// of the file go back to the disk, the others are written over by later
// rows.
constexpr const char* kSettings =
    "pragma auto_vacuum = incremental; pragma journal_mode = wal; pragma synchronous = normal; "
    "pragma secure_delete = fast;";
// The tables are made in one transaction: a database is never left with
// some of them (a manifest without its journal fails every save that
// names a file).
constexpr const char* kTables =
    "begin; create table if not exists manifest (key text, "
    "filename text, size integer, inline_data blob, modification_time integer, last_access_time integer, "
    "extended_data blob, primary key(key)); create index if not exists last_access_time_idx on "
    "manifest(last_access_time);"
    // The journal: value-file work that committed rows wait for, kept apart
    // so that the manifest table stays as every reader knows it.
    " create table if not exists manifest_journal (temporary text, filename text, obsolete text); commit;";

// The fewest pages the log holds before a commit folds it.
constexpr int kShortestLogPages = 32;

// Failed opens tolerated before the manifest stops retrying on its own, and
// the media time that must pass between two attempts.
constexpr unsigned kMaxOpenRetries = 8;
constexpr double kOpenRetryInterval = 2.0;

// What each failed step is called in its error's description.
constexpr const char* kQueryError = "sqlite query error";
constexpr const char* kUpdateError = "sqlite update error";
constexpr const char* kDeleteError = "sqlite delete error";
constexpr const char* kInsertError = "sqlite insert error";
constexpr const char* kSaveOperation = "-[KTKVStorage _dbSaveWithKey:value:fileName:extendedData:]";

kit::Unexpected manifestError(long code, const std::string& description, const char* operation, int line) {
  return kit::unexpected(kit::Error::make(KTKVManifestErrorDomain, code,
                                          kit::dict({{kit::LocalizedDescriptionKey, description},
                                                     {KTKVManifestOperationKey, operation},
                                                     {KTKVManifestLineKey, line}})));
}

// "sqlite insert error (5): database is locked", with the connection's
// message for its last failure.
kit::Unexpected stepError(sqlite3* db, const char* what, int code, const char* operation, int line) {
  const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return manifestError(code, kit::formatString("%s (%d): %s", what, code, message), operation, line);
}

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

// NULL for an empty text.
void bindOptionalText(sqlite3_stmt* stmt, int index, std::string_view text) {
  if (text.empty()) {
    sqlite3_bind_null(stmt, index);
  } else {
    bindText(stmt, index, text);
  }
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

// Runs a cached write statement to its end and resets it at once, which
// ends the write and releases the bound bytes.
kit::Expected<void> stepWrite(sqlite3* db, sqlite3_stmt* stmt, const char* what, const char* operation, int line) {
  int result = sqlite3_step(stmt);
  sqlite3_reset(stmt);
  if (result != SQLITE_DONE) return stepError(db, what, result, operation, line);
  return {};
}

// Runs an uncached statement to its end and finalises it.
kit::Expected<void> stepOnce(sqlite3* db, sqlite3_stmt* stmt, const char* what, const char* operation, int line) {
  int result = sqlite3_step(stmt);
  kit::Expected<void> outcome;
  if (result != SQLITE_DONE) outcome = stepError(db, what, result, operation, line);
  sqlite3_finalize(stmt);
  return outcome;
}

// The one row of a cached single-row query read by `read`, or `none` when
// there is no row.
template <class T, class Read>
kit::Expected<T> singleRow(sqlite3* db, sqlite3_stmt* stmt, T none, Read read, const char* operation, int line) {
  int result = sqlite3_step(stmt);
  kit::Expected<T> outcome = std::move(none);
  if (result == SQLITE_ROW) {
    outcome = read(stmt);
  } else if (result != SQLITE_DONE) {
    outcome = stepError(db, kQueryError, result, operation, line);
  }
  sqlite3_reset(stmt);
  return outcome;
}

// The first column of the first row of a count or sum.
kit::Expected<int64_t> scalar(sqlite3* db, sqlite3_stmt* stmt, const char* operation, int line) {
  int result = sqlite3_step(stmt);
  kit::Expected<int64_t> outcome = int64_t{-1};
  if (result == SQLITE_ROW) {
    outcome = static_cast<int64_t>(sqlite3_column_int64(stmt, 0));
  } else {
    outcome = stepError(db, kQueryError, result, operation, line);
  }
  sqlite3_reset(stmt);
  return outcome;
}

// The non-empty texts (file names, keys) in the first column of every row.
kit::Expected<std::vector<std::string>> filenamesFrom(sqlite3* db, sqlite3_stmt* stmt, const char* operation,
                                                      int line) {
  std::vector<std::string> names;
  int result;
  while ((result = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::string_view name = columnText(stmt, 0);
    if (!name.empty()) names.emplace_back(name);
  }
  if (result != SQLITE_DONE) return stepError(db, kQueryError, result, operation, line);
  return names;
}

kit::Ref<KTKVStorageItem> itemFromStatement(sqlite3_stmt* stmt, bool excludeInlineData) {
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

}  // namespace

KTKVManifest::KTKVManifest(std::string databasePath, SpaceProbe availableBytes)
    : databasePath_(std::move(databasePath)), availableBytes_(std::move(availableBytes)) {}

KTKVManifest::~KTKVManifest() { (void)close(); }

kit::Expected<void> KTKVManifest::open() {
  if (db_) return {};
  sqlite3* db = nullptr;
  // The owner serialises every call, so the connection needs no mutex.
  int result = sqlite3_open_v2(databasePath_.c_str(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (result != SQLITE_OK) {
    sqlite3_close(db);  // a failed open still hands out a handle to release
    statements_.clear();
    lastOpenErrorTime_ = kit::mediaTime();
    ++openErrorCount_;
    return manifestError(result, kit::formatString("sqlite open failed (%d).", result), "-[KTKVStorage _dbOpen]",
                         __LINE__);
  }
  db_ = db;
  filePages_ = 0;
  longLogPages_ = longLogPages();
  // The manifest's own rule replaces SQLite's automatic fold.
  sqlite3_wal_hook(db_, &KTKVManifest::logCommitted, this);
  statements_.clear();
  lastOpenErrorTime_ = 0;
  openErrorCount_ = 0;
  return {};
}

kit::Expected<void> KTKVManifest::close() {
  if (!db_) return {};
  // Closing folds the log into the database and removes it, unless the
  // disk cannot take the fold: the log then stays for the next open.
  if (!checkpoint(true)) sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
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
  db_ = nullptr;
  if (result != SQLITE_OK) {
    return manifestError(result, kit::formatString("sqlite close failed (%d).", result), "-[KTKVStorage _dbClose]",
                         __LINE__);
  }
  return {};
}

kit::Expected<void> KTKVManifest::check() {
  if (db_) return {};
  const bool givenUp = openErrorCount_ >= kMaxOpenRetries;
  const bool tooSoon = openErrorCount_ > 0 && kit::mediaTime() - lastOpenErrorTime_ <= kOpenRetryInterval;
  if (givenUp || tooSoon) {
    return manifestError(KTKVManifestUnavailable, "sqlite database unavailable", "-[KTKVStorage _dbCheck]", __LINE__);
  }
  return openWithSchema();
}

kit::Expected<void> KTKVManifest::initialize() {
  if (auto set = execute(kSettings); !set) return set;
  auto made = execute(kTables);
  // A failed statement may leave the transaction open (SQLite rolls some
  // back by itself).
  if (!made && db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "rollback;", nullptr, nullptr, nullptr);
  return made;
}

kit::Expected<void> KTKVManifest::openWithSchema() {
  if (db_) return {};
  if (auto opened = open(); !opened) return opened;
  auto made = initialize();
  if (made) return {};
  // A connection without its schema is of no use: it goes, without folding
  // anything into a database it could not set up, and counts as a failed
  // open, so that a later call opens it again.
  sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  statements_.clear();
  while (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr)) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
  db_ = nullptr;
  lastOpenErrorTime_ = kit::mediaTime();
  ++openErrorCount_;
  return made;
}

bool KTKVManifest::isDamaged(const kit::Error& error) {
  if (error.domain() != KTKVManifestErrorDomain) return false;
  const long code = error.code() & 0xff;
  return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

int64_t KTKVManifest::pageCount() {
  auto stmt = prepare("pragma page_count;");
  if (!stmt) return 0;
  const int64_t count = sqlite3_step(*stmt) == SQLITE_ROW ? sqlite3_column_int64(*stmt, 0) : 0;
  sqlite3_reset(*stmt);
  return count;
}

KTKVManifest::Pages KTKVManifest::pages() {
  Pages counted;
  if (!db_) return counted;
  for (auto [sql, out] :
       {std::pair{"pragma page_count;", &counted.inUse}, std::pair{"pragma freelist_count;", &counted.free}}) {
    auto stmt = prepare(sql);
    if (!stmt) return counted;
    if (sqlite3_step(*stmt) == SQLITE_ROW) *out = sqlite3_column_int64(*stmt, 0);
    sqlite3_reset(*stmt);
  }
  return counted;
}

int64_t KTKVManifest::growthFor(const Pages& counted) {
  // The file keeps the length it was last seen with until a fold (which
  // forgets it): while the database holds no more pages than that, there
  // is nothing to grow by and no need to look again.
  if (counted.inUse <= filePages_) return 0;
  struct stat status {};
  if (::stat(databasePath_.c_str(), &status) != 0) return 0;
  filePages_ = static_cast<int64_t>(status.st_size) / PageBytes;
  return std::max<int64_t>(0, (counted.inUse - filePages_) * PageBytes);
}

int64_t KTKVManifest::foldGrowth() { return growthFor(pages()); }

int64_t KTKVManifest::freePages() { return pages().free; }

bool KTKVManifest::fold(bool truncateLog) {
  // The fold writes the pages the database grows by and nothing else the
  // disk must find.
  const int64_t growth = foldGrowth();
  const int64_t available = availableBytes_ ? availableBytes_() : -1;
  if (available >= 0 && growth > available) return false;
  // On a disk with little space the log's own space goes back too.
  longLogPages_ = longLogPages();
  if (longLogPages_ <= kShortestLogPages) truncateLog = true;
  int logPages = 0, copied = 0;
  const int result = sqlite3_wal_checkpoint_v2(
      db_, nullptr, truncateLog ? SQLITE_CHECKPOINT_TRUNCATE : SQLITE_CHECKPOINT_PASSIVE, &logPages, &copied);
  filePages_ = 0;
  return result == SQLITE_OK && (truncateLog || copied == logPages);
}

bool KTKVManifest::checkpoint(bool truncateLog) {
  if (!check() || folding_) return false;
  folding_ = true;
  bool folded = fold(truncateLog);
  // Free pages beyond a few go back to the disk: the pages after them move
  // into their place (each move writes the page, its parent and a pointer
  // map page to the log) and the next fold cuts the database file short.
  // On a disk with little space left this goes a step at a time, as many
  // pages as the space lets, each fold giving back more.
  for (int step = 0; folded && step < 64; ++step) {
    int64_t pages = freePages();
    if (pages * PageBytes < LagBytes) break;
    const int64_t available = availableBytes_ ? availableBytes_() : -1;
    if (available >= 0) pages = std::min(pages, (available - LagBytes) / (3 * PageBytes));
    if (pages <= 0) break;
    const std::string vacuum = kit::formatString("pragma incremental_vacuum(%lld);", static_cast<long long>(pages));
    if (!execute(vacuum.c_str())) break;
    folded = fold(truncateLog);
  }
  folding_ = false;
  return folded;
}

int KTKVManifest::logCommitted(void* manifest, sqlite3*, const char*, int pages) {
  // Only the log's length is watched here: what the database lags it by
  // grows with saves alone, which hold it to their limit as they commit
  // (see saveRow()), and the pages removals free go back to the disk after
  // each removal (see KTKVStorage) and at every fold.
  auto* self = static_cast<KTKVManifest*>(manifest);
  if (!self->folding_ && pages >= self->longLogPages_) self->checkpoint();
  return SQLITE_OK;
}

int64_t KTKVManifest::longLogPages() const {
  // Each fold syncs the log and the database, so the log grows long (as
  // SQLite's own rule lets it, 1000 pages) where the disk has space to
  // spare, and stays a small share of the free space on a disk that has
  // little (where it also keeps what the disk gives back when items go).
  constexpr int64_t kLongest = 1000;
  const int64_t available = availableBytes_ ? availableBytes_() : -1;
  if (available < 0) return kLongest;
  return std::clamp<int64_t>(available / 64 / PageBytes, kShortestLogPages, kLongest);
}

kit::Expected<void> KTKVManifest::execute(const char* sql) {
  if (auto available = check(); !available) return available;
  char* message = nullptr;
  int result = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  kit::Expected<void> outcome;
  if (result != SQLITE_OK) {
    outcome = manifestError(result,
                            kit::formatString("sqlite exec error (%d): %s", result,
                                              message ? message : sqlite3_errstr(result)),
                            "-[KTKVStorage _dbExecute:]", __LINE__);
  }
  sqlite3_free(message);
  return outcome;
}

kit::Expected<sqlite3_stmt*> KTKVManifest::prepare(const char* sql) {
  if (auto available = check(); !available) return kit::unexpected(available.error());
  if (auto found = statements_.find(sql); found != statements_.end()) {
    sqlite3_reset(found->second);
    return found->second;
  }
  sqlite3_stmt* stmt = nullptr;
  int result = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
  if (result != SQLITE_OK) {
    return stepError(db_, "sqlite stmt prepare error", result, "-[KTKVStorage _dbPrepareStmt:]", __LINE__);
  }
  statements_.emplace(sql, stmt);
  return stmt;
}

kit::Expected<sqlite3_stmt*> KTKVManifest::prepareUncached(const std::string& sql, const char* operation, int line) {
  if (auto available = check(); !available) return kit::unexpected(available.error());
  sqlite3_stmt* stmt = nullptr;
  int result = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
  if (result != SQLITE_OK) return stepError(db_, "sqlite stmt prepare error", result, operation, line);
  return stmt;
}

size_t KTKVManifest::keysPerStatement() {
  // Stay below the connection's host-parameter limit (32766 by default).
  int limit = db_ ? sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1) : 999;
  return static_cast<size_t>(std::max(1, limit - 1));
}

// ---- Writes ----------------------------------------------------------------

bool KTKVManifest::isDiskFull(const kit::Error& error) {
  if (error.domain() == KTKVManifestErrorDomain) return (error.code() & 0xff) == SQLITE_FULL;
  return error.domain() == kit::POSIXErrorDomain && error.code() == ENOSPC;
}

template <class Body>
kit::Expected<void> KTKVManifest::transaction(const char* what, const char* operation, Body&& body) {
  auto begin = prepare("begin immediate;");
  if (!begin) return kit::unexpected(begin.error());
  if (auto begun = stepWrite(db_, *begin, what, operation, __LINE__); !begun) return begun;
  kit::Expected<void> done = body();
  if (done) {
    auto commit = prepare("commit;");
    done = commit ? stepWrite(db_, *commit, what, operation, __LINE__)
                  : kit::Expected<void>(kit::unexpected(commit.error()));
  }
  // SQLite rolls some failed transactions back by itself.
  if (!done && db_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "rollback;", nullptr, nullptr, nullptr);
  return done;
}

kit::Expected<void> KTKVManifest::writeRow(std::string_view key, const kit::Data* value, std::string_view filename,
                                           int64_t size, int64_t modTime, int64_t accessTime,
                                           const kit::Data* extendedData) {
  auto stmt = prepare(
      "insert or replace into manifest (key, filename, size, inline_data, modification_time, last_access_time, "
      "extended_data) values (?1, ?2, ?3, ?4, ?5, ?6, ?7);");
  if (!stmt) return kit::unexpected(stmt.error());
  bindText(*stmt, 1, key);
  bindOptionalText(*stmt, 2, filename);
  sqlite3_bind_int64(*stmt, 3, size);
  bindBlob(*stmt, 4, value);
  sqlite3_bind_int64(*stmt, 5, modTime);
  sqlite3_bind_int64(*stmt, 6, accessTime);
  bindBlob(*stmt, 7, extendedData);
  return stepWrite(db_, *stmt, kInsertError, kSaveOperation, __LINE__);
}

kit::Expected<void> KTKVManifest::saveRow(std::string_view key, const kit::Data& value, std::string_view filename,
                                          const kit::Data* extendedData, int64_t now, const JournalEntry& journal,
                                          int64_t mostLag) {
  bool foldNow = false;
  auto write = [&]() -> kit::Expected<void> {
    auto written = writeRow(key, filename.empty() ? &value : nullptr, filename, static_cast<int64_t>(value.length()),
                            now, now, extendedData);
    if (!written || mostLag < 0) return written;
    // The transaction's own count of the database's pages, against the
    // file's length: what a fold after this commit grows the file by.
    const int64_t growth = growthFor({pageCount(), 0});
    if (growth <= mostLag) return {};
    // More than that is folded at once, where the disk can take it: the
    // commit writes the pages to the log, and the fold copies them again.
    const int64_t available = availableBytes_ ? availableBytes_() : -1;
    foldNow = available < 0 || 2 * growth + LagBytes <= available;
    if (foldNow) return {};
    return manifestError(SQLITE_FULL, "sqlite insert error (13): the log would hold more than a full disk can fold",
                         kSaveOperation, __LINE__);
  };
  if (journal.empty() && mostLag < 0) return write();
  auto saved = transaction(kInsertError, kSaveOperation, [&]() -> kit::Expected<void> {
    if (!journal.empty()) {
      if (auto cleared = clearJournal(); !cleared) return cleared;
      if (auto added = addJournalEntry(journal); !added) return added;
    }
    return write();
  });
  if (saved && foldNow) checkpoint();
  // A save refused as a full disk (by the count above or by the disk) may
  // have spilled its pages into the log before it rolled back: the log's
  // space goes back to the disk, or it stays taken until the next fold
  // that gives it back.
  if (!saved && isDiskFull(*saved.error())) checkpoint(true);
  return saved;
}

kit::Expected<void> KTKVManifest::restoreRow(std::string_view key, const KTKVStorageItem* old) {
  return transaction(kInsertError, kSaveOperation, [&]() -> kit::Expected<void> {
    if (auto cleared = clearJournal(); !cleared) return cleared;
    if (!old) return deleteItem(key);
    return writeRow(key, old->value().get(), old->filename() ? std::string_view(old->filename()->utf8()) : "",
                    old->size(), old->modTime(), old->accessTime(), old->extendedData().get());
  });
}

kit::Expected<void> KTKVManifest::updateAccessTime(std::string_view key, int64_t now) {
  auto stmt = prepare("update manifest set last_access_time = ?1 where key = ?2;");
  if (!stmt) return kit::unexpected(stmt.error());
  sqlite3_bind_int64(*stmt, 1, now);
  bindText(*stmt, 2, key);
  return stepWrite(db_, *stmt, kUpdateError, "-[KTKVStorage _dbUpdateAccessTimeWithKey:]", __LINE__);
}

kit::Expected<void> KTKVManifest::updateAccessTimes(std::span<const std::string_view> keys, int64_t now) {
  constexpr const char* operation = "-[KTKVStorage _dbUpdateAccessTimeWithKeys:]";
  if (auto available = check(); !available) return available;
  const size_t chunk = keysPerStatement();
  for (size_t from = 0; from < keys.size(); from += chunk) {
    auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
    std::string sql = "update manifest set last_access_time = " + std::to_string(now) + " where key in (" +
                      joinedPlaceholders(part.size()) + ");";
    auto stmt = prepareUncached(sql, operation, __LINE__);
    if (!stmt) return kit::unexpected(stmt.error());
    bindKeys(*stmt, part, 1);
    if (auto done = stepOnce(db_, *stmt, kUpdateError, operation, __LINE__); !done) return done;
  }
  return {};
}

template <class Remove>
kit::Expected<void> KTKVManifest::removeRecording(std::span<const std::string> obsolete, const char* what,
                                                  const char* operation, Remove&& remove) {
  if (obsolete.empty()) return remove();
  return transaction(what, operation, [&]() -> kit::Expected<void> {
    if (auto cleared = clearJournal(); !cleared) return cleared;
    for (const auto& name : obsolete) {
      if (auto added = addJournalEntry({{}, {}, name}); !added) return added;
    }
    return remove();
  });
}

kit::Expected<void> KTKVManifest::deleteItem(std::string_view key, std::string_view obsolete) {
  constexpr const char* operation = "-[KTKVStorage _dbDeleteItemWithKey:]";
  constexpr const char* what = "db delete error";
  const std::string names[] = {std::string(obsolete)};
  return removeRecording(std::span(names, obsolete.empty() ? 0 : 1), what, operation, [&]() -> kit::Expected<void> {
    auto stmt = prepare("delete from manifest where key = ?1;");
    if (!stmt) return kit::unexpected(stmt.error());
    bindText(*stmt, 1, key);
    return stepWrite(db_, *stmt, what, operation, __LINE__);
  });
}

kit::Expected<void> KTKVManifest::deleteItems(std::span<const std::string_view> keys,
                                              std::span<const std::string> obsolete) {
  constexpr const char* operation = "-[KTKVStorage _dbDeleteItemWithKeys:]";
  if (auto available = check(); !available) return available;
  auto remove = [&]() -> kit::Expected<void> {
    const size_t chunk = keysPerStatement();
    for (size_t from = 0; from < keys.size(); from += chunk) {
      auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
      std::string sql =
          replacePlaceholders("delete from manifest where key in (%@);", joinedPlaceholders(part.size()));
      auto stmt = prepareUncached(sql, operation, __LINE__);
      if (!stmt) return kit::unexpected(stmt.error());
      bindKeys(*stmt, part, 1);
      // Only a finished statement deleted the rows; busy or locked did not.
      if (auto done = stepOnce(db_, *stmt, kDeleteError, operation, __LINE__); !done) return done;
    }
    return {};
  };
  if (obsolete.empty() && keys.size() <= keysPerStatement()) return remove();
  // Several statements, or files to remove after them: all or nothing.
  if (obsolete.empty()) return transaction(kDeleteError, operation, remove);
  return removeRecording(obsolete, kDeleteError, operation, remove);
}

kit::Expected<void> KTKVManifest::deleteAll() {
  constexpr const char* operation = "-[KTKVStorage _dbDeleteAllItems]";
  return transaction(kDeleteError, operation, [&]() -> kit::Expected<void> {
    if (auto cleared = clearJournal(); !cleared) return cleared;
    auto stmt = prepare("delete from manifest;");
    if (!stmt) return kit::unexpected(stmt.error());
    return stepWrite(db_, *stmt, kDeleteError, operation, __LINE__);
  });
}

kit::Expected<void> KTKVManifest::deleteItemsLargerThan(int64_t size, std::span<const std::string> obsolete) {
  return deleteWhere("delete from manifest where size > ?1;", size, obsolete,
                     "-[KTKVStorage _dbDeleteItemsWithSizeLargerThan:]");
}

kit::Expected<void> KTKVManifest::deleteItemsEarlierThan(int64_t time, std::span<const std::string> obsolete) {
  return deleteWhere("delete from manifest where last_access_time < ?1;", time, obsolete,
                     "-[KTKVStorage _dbDeleteItemsWithTimeEarlierThan:]");
}

kit::Expected<void> KTKVManifest::deleteWhere(const char* sql, int64_t bound, std::span<const std::string> obsolete,
                                              const char* operation) {
  return removeRecording(obsolete, kDeleteError, operation, [&]() -> kit::Expected<void> {
    auto stmt = prepare(sql);
    if (!stmt) return kit::unexpected(stmt.error());
    sqlite3_bind_int64(*stmt, 1, bound);
    return stepWrite(db_, *stmt, kDeleteError, operation, __LINE__);
  });
}

// ---- Reads -----------------------------------------------------------------

kit::Expected<kit::Ref<KTKVStorageItem>> KTKVManifest::getItem(std::string_view key, bool excludeInlineData) {
  auto stmt = prepare(excludeInlineData
                          ? "select key, filename, size, modification_time, last_access_time, "
                            "extended_data from manifest where key = ?1;"
                          : "select key, filename, size, inline_data, modification_time, last_access_time, "
                            "extended_data from manifest where key = ?1;");
  if (!stmt) return kit::unexpected(stmt.error());
  bindText(*stmt, 1, key);
  return singleRow<kit::Ref<KTKVStorageItem>>(
      db_, *stmt, nullptr, [&](sqlite3_stmt* row) { return itemFromStatement(row, excludeInlineData); },
      "-[KTKVStorage _dbGetItemWithKey:excludeInlineData:]", __LINE__);
}

kit::Expected<std::vector<kit::Ref<KTKVStorageItem>>> KTKVManifest::getItems(std::span<const std::string_view> keys,
                                                                             bool excludeInlineData) {
  constexpr const char* operation = "-[KTKVStorage _dbGetItemWithKeys:excludeInlineData:]";
  if (auto available = check(); !available) return kit::unexpected(available.error());
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
    auto stmt = prepareUncached(sql, operation, __LINE__);
    if (!stmt) return kit::unexpected(stmt.error());
    bindKeys(*stmt, part, 1);
    int result;
    while ((result = sqlite3_step(*stmt)) == SQLITE_ROW) items.push_back(itemFromStatement(*stmt, excludeInlineData));
    if (result != SQLITE_DONE) {
      auto failed = stepError(db_, kQueryError, result, operation, __LINE__);
      sqlite3_finalize(*stmt);
      return failed;
    }
    sqlite3_finalize(*stmt);
  }
  return items;
}

kit::Expected<kit::Ref<kit::Data>> KTKVManifest::getValue(std::string_view key) {
  auto stmt = prepare("select inline_data from manifest where key = ?1;");
  if (!stmt) return kit::unexpected(stmt.error());
  bindText(*stmt, 1, key);
  return singleRow<kit::Ref<kit::Data>>(
      db_, *stmt, nullptr, [](sqlite3_stmt* row) { return columnBlob(row, 0); }, "-[KTKVStorage _dbGetValueWithKey:]",
      __LINE__);
}

kit::Expected<std::string> KTKVManifest::getFilename(std::string_view key) {
  auto stmt = prepare("select filename from manifest where key = ?1;");
  if (!stmt) return kit::unexpected(stmt.error());
  bindText(*stmt, 1, key);
  return singleRow<std::string>(
      db_, *stmt, std::string(), [](sqlite3_stmt* row) { return std::string(columnText(row, 0)); },
      "-[KTKVStorage _dbGetFilenameWithKey:]", __LINE__);
}

kit::Expected<std::vector<std::string>> KTKVManifest::getFilenames(std::span<const std::string_view> keys) {
  constexpr const char* operation = "-[KTKVStorage _dbGetFilenameWithKeys:]";
  if (auto available = check(); !available) return kit::unexpected(available.error());
  std::vector<std::string> names;
  const size_t chunk = keysPerStatement();
  for (size_t from = 0; from < keys.size(); from += chunk) {
    auto part = keys.subspan(from, std::min(chunk, keys.size() - from));
    std::string sql =
        replacePlaceholders("select filename from manifest where key in (%@);", joinedPlaceholders(part.size()));
    auto stmt = prepareUncached(sql, operation, __LINE__);
    if (!stmt) return kit::unexpected(stmt.error());
    bindKeys(*stmt, part, 1);
    auto found = filenamesFrom(db_, *stmt, operation, __LINE__);
    sqlite3_finalize(*stmt);
    if (!found) return kit::unexpected(found.error());
    names.insert(names.end(), std::make_move_iterator(found->begin()), std::make_move_iterator(found->end()));
  }
  return names;
}

kit::Expected<std::vector<std::string>> KTKVManifest::getFilenamesLargerThan(int64_t size) {
  auto stmt = prepare("select filename from manifest where size > ?1 and filename is not null;");
  if (!stmt) return kit::unexpected(stmt.error());
  sqlite3_bind_int64(*stmt, 1, size);
  auto names = filenamesFrom(db_, *stmt, "-[KTKVStorage _dbGetFilenamesWithSizeLargerThan:]", __LINE__);
  sqlite3_reset(*stmt);
  return names;
}

kit::Expected<std::vector<std::string>> KTKVManifest::getFilenamesEarlierThan(int64_t time) {
  auto stmt = prepare("select filename from manifest where last_access_time < ?1 and filename is not null;");
  if (!stmt) return kit::unexpected(stmt.error());
  sqlite3_bind_int64(*stmt, 1, time);
  auto names = filenamesFrom(db_, *stmt, "-[KTKVStorage _dbGetFilenamesWithTimeEarlierThan:]", __LINE__);
  sqlite3_reset(*stmt);
  return names;
}

kit::Expected<std::vector<std::string>> KTKVManifest::getKeysLargerThan(int64_t size, int limit) {
  return keysWhere("select key from manifest where size > ?1 and key is not null limit ?2;", size, limit,
                   "-[KTKVStorage _dbGetKeysWithSizeLargerThan:]");
}

kit::Expected<std::vector<std::string>> KTKVManifest::getKeysEarlierThan(int64_t time, int limit) {
  return keysWhere("select key from manifest where last_access_time < ?1 and key is not null limit ?2;", time, limit,
                   "-[KTKVStorage _dbGetKeysWithTimeEarlierThan:]");
}

kit::Expected<std::vector<std::string>> KTKVManifest::keysWhere(const char* sql, int64_t bound, int limit,
                                                               const char* operation) {
  auto stmt = prepare(sql);
  if (!stmt) return kit::unexpected(stmt.error());
  sqlite3_bind_int64(*stmt, 1, bound);
  sqlite3_bind_int(*stmt, 2, limit);
  auto keys = filenamesFrom(db_, *stmt, operation, __LINE__);
  sqlite3_reset(*stmt);
  return keys;
}

kit::Expected<std::vector<kit::Ref<KTKVStorageItem>>> KTKVManifest::getItemSizeInfoOrderByTimeAsc(int limit) {
  auto stmt = prepare("select key, filename, size from manifest order by last_access_time asc limit ?1;");
  if (!stmt) return kit::unexpected(stmt.error());
  sqlite3_bind_int(*stmt, 1, limit);
  std::vector<kit::Ref<KTKVStorageItem>> items;
  int result;
  while ((result = sqlite3_step(*stmt)) == SQLITE_ROW) {
    if (sqlite3_column_type(*stmt, 0) == SQLITE_NULL) continue;
    auto item = kit::make<KTKVStorageItem>();
    item->setKey(kit::String::make(columnText(*stmt, 0)));
    std::string_view filename = columnText(*stmt, 1);
    if (!filename.empty()) item->setFilename(kit::String::make(filename));
    item->setSize(sqlite3_column_int64(*stmt, 2));
    items.push_back(std::move(item));
  }
  if (result != SQLITE_DONE) {
    auto failed = stepError(db_, kQueryError, result, "-[KTKVStorage _dbGetItemSizeInfoOrderByTimeAscWithLimit:]",
                            __LINE__);
    sqlite3_reset(*stmt);
    return failed;
  }
  sqlite3_reset(*stmt);
  return items;
}

kit::Expected<int64_t> KTKVManifest::getItemCount(std::string_view key) {
  auto stmt = prepare("select count(key) from manifest where key = ?1;");
  if (!stmt) return kit::unexpected(stmt.error());
  bindText(*stmt, 1, key);
  return scalar(db_, *stmt, "-[KTKVStorage _dbGetItemCountWithKey:]", __LINE__);
}

kit::Expected<int64_t> KTKVManifest::getTotalItemSize() {
  auto stmt = prepare("select sum(size) from manifest;");
  if (!stmt) return kit::unexpected(stmt.error());
  return scalar(db_, *stmt, "-[KTKVStorage _dbGetTotalItemSize]", __LINE__);
}

kit::Expected<int64_t> KTKVManifest::getTotalItemCount() {
  auto stmt = prepare("select count(*) from manifest;");
  if (!stmt) return kit::unexpected(stmt.error());
  return scalar(db_, *stmt, "-[KTKVStorage _dbGetTotalItemCount]", __LINE__);
}

// ---- Journal ---------------------------------------------------------------

kit::Expected<void> KTKVManifest::addJournalEntry(const JournalEntry& entry) {
  auto stmt = prepare("insert into manifest_journal (temporary, filename, obsolete) values (?1, ?2, ?3);");
  if (!stmt) return kit::unexpected(stmt.error());
  bindOptionalText(*stmt, 1, entry.temporary);
  bindOptionalText(*stmt, 2, entry.filename);
  bindOptionalText(*stmt, 3, entry.obsolete);
  return stepWrite(db_, *stmt, kInsertError, "-[KTKVStorage _dbAddJournalEntry]", __LINE__);
}

kit::Expected<void> KTKVManifest::clearJournal() {
  auto stmt = prepare("delete from manifest_journal;");
  if (!stmt) return kit::unexpected(stmt.error());
  return stepWrite(db_, *stmt, kDeleteError, "-[KTKVStorage _dbClearJournal]", __LINE__);
}

kit::Expected<std::vector<KTKVManifest::JournalEntry>> KTKVManifest::journalEntries() {
  auto stmt = prepare("select temporary, filename, obsolete from manifest_journal;");
  if (!stmt) return kit::unexpected(stmt.error());
  std::vector<JournalEntry> entries;
  int result;
  while ((result = sqlite3_step(*stmt)) == SQLITE_ROW) {
    entries.push_back({std::string(columnText(*stmt, 0)), std::string(columnText(*stmt, 1)),
                       std::string(columnText(*stmt, 2))});
  }
  kit::Expected<std::vector<JournalEntry>> outcome = std::move(entries);
  if (result != SQLITE_DONE) outcome = stepError(db_, kQueryError, result, "-[KTKVStorage _dbGetJournal]", __LINE__);
  sqlite3_reset(*stmt);
  return outcome;
}
