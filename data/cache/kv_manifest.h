// The manifest database of the key-value storage: one SQLite table that
// records every item (key, file name, size, inline value, modification and
// access times, extended data), run in write-ahead-log mode with prepared
// statements cached per SQL text, and beside it the journal of value-file
// work (renames and removals) that a saved row still waits for; see
// KTKVStorage for how the two are used together.
//
// Every operation that can fail returns kit::Expected and logs nothing: a
// failure is an error in KTKVManifestErrorDomain whose code is SQLite's
// result code and whose description reads "sqlite insert error (5): database
// is locked"; its user info names the storage operation and the source line
// that met it (KTKVManifestOperationKey, KTKVManifestLineKey). The owner
// decides what to log. A database that is closed and may not be opened again
// yet fails with KTKVManifestUnavailable, which repeats a failure reported
// already.
//
// The log is folded back into the database (checkpointed) by the manifest
// itself, never by SQLite's own rule: a fold copies the log's pages into
// the database, which grows by the pages it has not held yet, and a fold
// that the disk stops halfway leaves a database grown by all the free space
// beside a log that cannot be written from its start again, so that no
// later write, not even a removal, finds a byte. A fold is therefore made
// only when the free space the owner reports covers what the database grows
// by. Saves keep that small: one that would leave the database lagging its
// log by more than its limit is folded as it commits or refused (see
// saveRow()). Besides, a commit folds the log once it holds 1000 pages
// (fewer on a disk with little free space: a 64th of it, down to 32 pages,
// and then each fold gives the log's space back too). A new database keeps
// its free pages apart (incremental auto-vacuum), and each fold gives them
// back to the disk, as many as the free space lets it move. Closing folds
// the same way, and leaves the log for the next open when it cannot.
//
// The manifest takes no lock; its owner, KTKVStorage, is called one thread
// at a time. After a failed open it waits at least 2 seconds of media time
// before trying again, and after 8 failures in a row it stops trying until
// an open succeeds by another road (the owner's reset).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/cache/kv_storage_item.h"
#include "kit/foundation/data.h"
#include "kit/foundation/expected.h"

inline constexpr const char* KTKVManifestErrorDomain = "KTKVManifestErrorDomain";
inline constexpr const char* KTKVManifestOperationKey = "KTKVManifestOperation";
inline constexpr const char* KTKVManifestLineKey = "KTKVManifestLine";
// The code of "closed, and not to be opened again yet".
inline constexpr long KTKVManifestUnavailable = -1;

class KTKVManifest {
 public:
  // Whether `error` says the disk is full (from SQLite or from a system call).
  static bool isDiskFull(const kit::Error& error);

  // The log's margin, in bytes: what a removal's commit or the moving of
  // free pages may add to the log beside a fold, which saves leave free and
  // the room keeps; free pages beyond as many bytes go back to the disk.
  static constexpr int64_t LagBytes = 64 * 1024;
  // The database's page size (SQLite's default, which the manifest keeps).
  static constexpr int64_t PageBytes = 4096;
  // The free space on the disk of the database, in bytes; negative when it
  // is not known (a fold is then tried whatever it takes).
  using SpaceProbe = std::function<int64_t()>;

  explicit KTKVManifest(std::string databasePath, SpaceProbe availableBytes = {});
  ~KTKVManifest();
  KTKVManifest(const KTKVManifest&) = delete;
  KTKVManifest& operator=(const KTKVManifest&) = delete;

  // Whether `error` says the database file is damaged: not a database, or
  // a corrupt one. Only such a database is worth starting over.
  static bool isDamaged(const kit::Error& error);

  // Opens the database file (success when already open).
  kit::Expected<void> open();
  // Opens the database and makes its schema (success when already open).
  // A connection whose schema cannot be made is closed again and counts
  // as a failed open (see check()).
  kit::Expected<void> openWithSchema();
  // Closes the connection, finalising every statement. The connection is
  // gone afterwards whatever the result; an error tells what SQLite said.
  kit::Expected<void> close();
  // Sets the journal mode and creates the tables and index, these all in
  // one transaction.
  kit::Expected<void> initialize();
  // Whether the database can be used now, opening it (with its schema)
  // when the retry rule allows.
  kit::Expected<void> check();
  // Folds the write-ahead log back into the database when the free space
  // covers what the database grows by, and with `truncateLog` gives the
  // log's space back to the disk; true when the log was folded whole.
  bool checkpoint(bool truncateLog = false);
  // What folding the log would grow the database by, in bytes (0 when the
  // database holds every page already, or cannot say).
  int64_t foldGrowth();
  // The pages on the database's free list (0 when it cannot say), which
  // the folds give back to the disk.
  int64_t freePages();
  bool isOpen() const { return db_ != nullptr; }

  // ---- The journal of value-file work
  // One entry: rename data/<temporary> to data/<filename> when the
  // temporary file is still there, then remove data/<obsolete> unless it is
  // <filename>; any part may be empty. A write that records entries replaces
  // the ones recorded before, in the same transaction.
  struct JournalEntry {
    std::string temporary;
    std::string filename;
    std::string obsolete;
    bool empty() const { return temporary.empty() && obsolete.empty(); }
  };
  kit::Expected<std::vector<JournalEntry>> journalEntries();
  kit::Expected<void> clearJournal();

  // Replaces the whole row; both times become `now`. With a non-empty file
  // name the value's bytes are not stored, only its length. A non-empty
  // `journal` entry is recorded in the same transaction. With `mostLag` of
  // 0 or more, a save that would leave the database lagging its log by
  // more than that many bytes (see foldGrowth()) is folded as it commits
  // where the free space covers the fold, and otherwise refused as a full
  // disk refuses it (SQLITE_FULL).
  kit::Expected<void> saveRow(std::string_view key, const kit::Data& value, std::string_view filename,
                              const kit::Data* extendedData, int64_t now, const JournalEntry& journal = {},
                              int64_t mostLag = -1);
  // Puts back the row `old` read before a save (times included), or deletes
  // the key's row when there was none, and clears the journal: the undoing
  // of a save whose file could not be put in place.
  kit::Expected<void> restoreRow(std::string_view key, const KTKVStorageItem* old);
  kit::Expected<void> updateAccessTime(std::string_view key, int64_t now);
  kit::Expected<void> updateAccessTimes(std::span<const std::string_view> keys, int64_t now);
  // The file names in `obsolete` are recorded in the journal in the same
  // transaction, to be removed once the rows are gone.
  kit::Expected<void> deleteItem(std::string_view key, std::string_view obsolete = {});
  kit::Expected<void> deleteItems(std::span<const std::string_view> keys, std::span<const std::string> obsolete = {});
  // Every row and journal entry, in one transaction.
  kit::Expected<void> deleteAll();
  kit::Expected<void> deleteItemsLargerThan(int64_t size, std::span<const std::string> obsolete = {});
  kit::Expected<void> deleteItemsEarlierThan(int64_t time, std::span<const std::string> obsolete = {});

  // Reads give nil, an empty text or an empty list when there is no row.
  kit::Expected<kit::Ref<KTKVStorageItem>> getItem(std::string_view key, bool excludeInlineData);
  kit::Expected<std::vector<kit::Ref<KTKVStorageItem>>> getItems(std::span<const std::string_view> keys,
                                                                 bool excludeInlineData);
  kit::Expected<kit::Ref<kit::Data>> getValue(std::string_view key);
  // The recorded file name; empty when the item is inline.
  kit::Expected<std::string> getFilename(std::string_view key);
  // Empty names are left out.
  kit::Expected<std::vector<std::string>> getFilenames(std::span<const std::string_view> keys);
  kit::Expected<std::vector<std::string>> getFilenamesLargerThan(int64_t size);
  kit::Expected<std::vector<std::string>> getFilenamesEarlierThan(int64_t time);
  // Up to `limit` keys of the items larger than `size`, or last used before
  // `time`.
  kit::Expected<std::vector<std::string>> getKeysLargerThan(int64_t size, int limit);
  kit::Expected<std::vector<std::string>> getKeysEarlierThan(int64_t time, int limit);
  // The `limit` items with the oldest access (key, file name, size only).
  kit::Expected<std::vector<kit::Ref<KTKVStorageItem>>> getItemSizeInfoOrderByTimeAsc(int limit);
  kit::Expected<int64_t> getItemCount(std::string_view key);
  kit::Expected<int64_t> getTotalItemSize();
  kit::Expected<int64_t> getTotalItemCount();

 private:
  // Runs `body` in one transaction that takes the write lock at once; it is
  // committed when `body` succeeds and rolled back otherwise. A failed begin
  // or commit is reported as `what` of `operation`.
  template <class Body>
  kit::Expected<void> transaction(const char* what, const char* operation, Body&& body);
  kit::Expected<void> addJournalEntry(const JournalEntry& entry);
  // Deletes the rows a statement with `bound` as its ?1 matches, recording
  // `obsolete` as removeRecording() does.
  kit::Expected<void> deleteWhere(const char* sql, int64_t bound, std::span<const std::string> obsolete,
                                  const char* operation);
  // Runs `remove`; with file names in `obsolete`, in one transaction that
  // records them in the journal (in place of the entries before), to be
  // removed once the rows are gone.
  template <class Remove>
  kit::Expected<void> removeRecording(std::span<const std::string> obsolete, const char* what, const char* operation,
                                      Remove&& remove);
  kit::Expected<void> writeRow(std::string_view key, const kit::Data* value, std::string_view filename, int64_t size,
                               int64_t modTime, int64_t accessTime, const kit::Data* extendedData);
  kit::Expected<void> execute(const char* sql);
  kit::Expected<sqlite3_stmt*> prepare(const char* sql);
  // Prepares a statement for a list of keys, uncached.
  kit::Expected<sqlite3_stmt*> prepareUncached(const std::string& sql, const char* operation, int line);
  // How many keys one statement may bind.
  size_t keysPerStatement();

  // Called by SQLite after each commit: folds the log when it grew long.
  static int logCommitted(void* manifest, sqlite3* db, const char* name, int pages);
  // Up to `limit` keys a query of them finds, `bound` bound to its ?1 and
  // `limit` to its ?2.
  kit::Expected<std::vector<std::string>> keysWhere(const char* sql, int64_t bound, int limit,
                                                    const char* operation);
  // How many pages the log may hold before a commit folds it.
  int64_t longLogPages() const;
  // The database's pages as its newest commit counts them.
  struct Pages {
    int64_t inUse = 0;  // the database's length in pages, free ones included
    int64_t free = 0;
  };
  Pages pages();
  // The database's length in pages, free ones included, as the current
  // transaction counts it.
  int64_t pageCount();
  // What folding the log grows the database by, for `counted`.
  int64_t growthFor(const Pages& counted);
  // One fold, when the free space covers it.
  bool fold(bool truncateLog);

  const std::string databasePath_;
  const SpaceProbe availableBytes_;
  sqlite3* db_ = nullptr;
  bool folding_ = false;
  // The database file's length in pages when last looked at.
  int64_t filePages_ = 0;
  // longLogPages() at the last fold.
  int64_t longLogPages_ = 32;
  std::unordered_map<std::string_view, sqlite3_stmt*> statements_;  // keys are static SQL texts
  double lastOpenErrorTime_ = 0;
  unsigned openErrorCount_ = 0;
};
