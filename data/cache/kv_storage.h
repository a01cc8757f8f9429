// KTKVStorage: the persistent layer of the key-value cache. It keeps byte
// values under string keys in one folder:
//
//   manifest.sqlite (+ -shm, -wal)   one row per item (see KTKVManifest)
//   data/                            one file per file-backed item
//   trash/                           data folders moved away by a reset,
//                                    emptied on a queue of the storage's own
//
// Values live inline in the manifest or in files under "data", as the
// storage type and the caller's file name decide. Items are evicted by
// size, count and age, oldest access first, in small batches.
//
// Saves and removals are all or nothing: after a failure at any step, or a
// process killed at any moment, each key reads exactly its old value (bytes,
// size, extended data) or exactly its new one, never nothing and never a
// mix. The row and the value file cannot change together, so the row is the
// point of decision and the file work it implies is written down first:
//
//   save in a file   write data/.kvtmp-<uuid>, fsync it; commit the row and a
//                    journal entry "rename .kvtmp-<uuid> to <name>, remove
//                    <old name>" in one transaction; rename; remove the old
//                    file. Should the rename fail, the old row (read before)
//                    goes back in place of the new one.
//   save inline      commit the row with a journal entry for the old file,
//                    if the key had one; remove that file.
//   remove           delete the row with a journal entry for its file;
//                    remove the file.
//
// The journal is a table of its own beside the manifest table
// (manifest_journal), so the manifest keeps the columns stored files and
// other readers know; the next write that records entries replaces the
// ones before, and opening the storage replays what is left: a temporary
// file still there is renamed into place (its row is committed), obsolete
// files are removed, and only then are other temporary files removed as
// stale. Replaying entries whose work is done finds nothing to do, so the
// replay clears them only when the disk lets it (on a full disk the space
// kept for removals is not spent on it). Value files keep the names callers give them,
// which a scheme of fresh names per save would not.
//
// Durability: against a killed process the order above needs no fsync at
// all, since a finished write, rename or WAL commit lives in the kernel.
// The value file is synced once before its row commits, as a plain atomic
// file write (write, fsync, rename) is, so a power cut never leaves a
// recorded file empty or torn. The manifest keeps write-ahead logging with
// synchronous=normal: a power cut may roll back its newest commits (never
// corrupt it), and a file renamed after such a commit then holds the newer
// bytes under the older row; syncing the log at every save would close
// that window at the price of a second fsync per save, about twice the cost
// of the save, which a cache does not pay.
//
// A full disk, even one the storage filled itself, can always be freed,
// by one rule: removals never need disk space the storage has not kept
// for them. What it keeps is the room, a file of KTKVFileStore::RoomBytes,
// which is whole or counts as none (a short room, or the part of one a
// killed process left, is no room); every margin below follows from it:
//
//   - keeping: every open, and every removal or save that finds the room
//     not whole, folds the log, gives its space back and makes the room
//     again when the disk has the space. Until then nothing but removals
//     writes: saves fail as on a full disk, and reads leave access times
//     as they are (an access time a full disk refuses is no error);
//   - spending: a removal that finds the disk full gives the room up and
//     is recorded in its space, and the fold after it gives back the pages
//     it freed and the log's own space; so does one that leaves less than
//     LagBytes free for moving the pages it freed out of the database;
//   - covering: that fold writes into the database what the log holds
//     beyond it, so no save leaves more than the room less a removal's own
//     log (RoomBytes - LagBytes). The manifest counts what each save
//     leaves, folds it as the save commits where the disk takes twice its
//     pages and LagBytes besides (once in the log, once in the database),
//     and otherwise refuses the save as a full disk (giving back the log
//     space SQLite spilled its pages into); a refused save is tried once
//     more after folding what earlier saves left;
//   - an open that fails gives the room up for the database's shared
//     memory (and removing everything, for the new database's first
//     pages); a database that still cannot be opened keeps every item for
//     a later open, and is started over only when SQLite finds it damaged
//     (not a database, or corrupt), never for want of space, inodes,
//     permission or descriptors.
//
// Many rows that one statement cannot delete on a full disk go one at a
// time. Removing everything moves the value files to the trash, then
// replaces the database, which goes before its log (a log beside a missing
// database is stale), so that a kill between the two never brings back
// commits older than the log's; where no empty data folder can be made,
// the items go one at a time instead, each as a removal of one.
//
// File names are refused when they are ".", "..", contain "/" or NUL, or
// begin with the temporary-file prefix; names read back from the manifest
// pass the same test before a file is touched, and a value file that is a
// symbolic link reads as missing.
//
// Below this interface failures are values: the manifest and the file store
// return kit::Expected, and the public operations below are the edge that
// turns an error into the Boolean, nil or -1 they answer and into the log
// line it deserves (SQLite failures and refused file names, when
// errorLogsEnabled; the initialisation texts always).
//
// The storage takes no lock: call it from one thread at a time (the disk
// cache serialises every call). Times are seconds since 1970 on the wall
// clock; sizes, counts and times are 64-bit, and 2147483647 keeps its
// meaning of "no limit" where the operations below say so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "data/cache/kv_file_store.h"
#include "data/cache/kv_manifest.h"
#include "data/cache/kv_storage_item.h"
#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/expected.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"


class KTKVStorage : public kit::Object {
  KIT_OBJECT(KTKVStorage)
  struct Passkey {};

 public:
  // The limit value that means "no limit" for the size, count and time
  // operations.
  static constexpr int64_t NoLimit = 2147483647;
  // The longest root path accepted, in UTF-16 units.
  static constexpr size_t MaxPathLength = 960;
  // Names of value files being written begin with this.
  static constexpr std::string_view TemporaryFilePrefix = KTKVFileStore::TemporaryFilePrefix;

  // The storage in the folder at `path` (created when missing), or nil after
  // logging why: an empty path or one longer than 960 characters, a type
  // other than 0, 1 or 2, a folder that cannot be made, or a database that
  // cannot be opened even after a reset.
  static kit::Ref<KTKVStorage> initWithPath(const kit::Ref<kit::String>& path, KTKVStorageType type);
  // The same with every call on the value files made through `fileSystem`
  // (tests pass one that fails calls on demand).
  static kit::Ref<KTKVStorage> initWithPath(const kit::Ref<kit::String>& path, KTKVStorageType type,
                                            std::shared_ptr<KTKVFileSystem> fileSystem);
  // Raises "KTKVStorage init error": a path and a type are required.
  [[noreturn]] static kit::Ref<KTKVStorage> init();

  KTKVStorage(Passkey, std::string path, KTKVStorageType type, std::shared_ptr<KTKVFileSystem> fileSystem);
  ~KTKVStorage() override;

  const kit::Ref<kit::String>& path() const { return pathString_; }
  KTKVStorageType type() const { return type_; }
  bool errorLogsEnabled() const { return errorLogsEnabled_; }
  void setErrorLogsEnabled(bool enabled) { errorLogsEnabled_ = enabled; }

  // ---- Saving
  // Fails for an empty key or value, and for the file type without a file
  // name. With a file name (ignored by the SQLite type) the value goes to
  // data/<filename>, else inline; a file the key used before is deleted
  // once the new row is saved.
  bool saveItem(const kit::Ref<KTKVStorageItem>& item);
  bool saveItemWithKey(const kit::Ref<kit::String>& key, const kit::Ref<kit::Data>& value);
  bool saveItemWithKey(const kit::Ref<kit::String>& key, const kit::Ref<kit::Data>& value,
                       const kit::Ref<kit::String>& filename, const kit::Ref<kit::Data>& extendedData);

  // ---- Removing
  bool removeItemForKey(const kit::Ref<kit::String>& key);
  bool removeItemForKeys(const kit::Ref<kit::Array>& keys);
  // NoLimit does nothing; 0 or less removes everything.
  bool removeItemsLargerThanSize(int64_t size);
  // 0 or less does nothing; NoLimit removes everything.
  bool removeItemsEarlierThanTime(int64_t time);
  // Oldest access first until the total is at most the limit. NoLimit does
  // nothing; 0 or less removes everything.
  bool removeItemsToFitSize(int64_t maxSize);
  bool removeItemsToFitCount(int64_t maxCount);
  // Starts over with an empty database; the old files go to the trash.
  // A database that another program left no room for is made through the
  // room kept for removals. True when every item is gone, even where the
  // new database cannot be made yet (it is then made at a later open).
  bool removeAllItems();
  // Deletes row by row in batches of 32, oldest first, calling `progress`
  // (removed, total) after each batch and `end` (error) at the end, on the
  // calling thread.
  void removeAllItemsWithProgressBlock(const std::function<void(int64_t removed, int64_t total)>& progress,
                                       const std::function<void(bool error)>& end);

  // ---- Reading
  // The item with its value; refreshes its access time. An item whose file
  // is gone (missing, or no regular file) is deleted and reads as nil; one
  // whose file cannot be read for now (no descriptor left, no permission,
  // an I/O error) reads as nil, with a log line, and is kept.
  kit::Ref<KTKVStorageItem> getItemForKey(const kit::Ref<kit::String>& key);
  // The item without its value; does not count as an access.
  kit::Ref<KTKVStorageItem> getItemInfoForKey(const kit::Ref<kit::String>& key);
  kit::Ref<kit::Data> getItemValueForKey(const kit::Ref<kit::String>& key);
  // The items found (nil when none); refreshes the access time of every key
  // asked for.
  kit::Ref<kit::Array> getItemForKeys(const kit::Ref<kit::Array>& keys);
  kit::Ref<kit::Array> getItemInfoForKeys(const kit::Ref<kit::Array>& keys);
  // Key to value for the items found; nil when none.
  kit::Ref<kit::Dictionary> getItemValueForKeys(const kit::Ref<kit::Array>& keys);
  bool itemExistsForKey(const kit::Ref<kit::String>& key);
  // -1 when the database cannot answer.
  int64_t getItemsCount();
  int64_t getItemsSize();

 private:
  kit::Expected<void> openDatabase();
  // Removes the database files and moves the data to the trash.
  void reset();
  // Removes the database and then its journal, log and shared memory;
  // false when the database itself could not be removed.
  bool removeDatabaseFiles();

  // The edge: logs an error the way the storage reports it (when error logs
  // are on) and answers whether `result` succeeded, or its value or
  // `fallback`.
  void report(const kit::Ref<kit::Error>& error) const;
  template <class T>
  bool succeeded(const kit::Expected<T>& result) const {
    if (!result) report(result.error());
    return result.hasValue();
  }
  template <class T>
  T valueOr(kit::Expected<T>&& result, T fallback) const;

  // Saves a checked item (see the top of this file).
  kit::Expected<void> save(std::string_view key, const kit::Data& value, std::string_view filename,
                           const kit::Data* extendedData);
  // Commits a saved row (see KTKVManifest::saveRow) unless the database
  // would then lag its log by more than the room can fold; folds first and
  // tries again when it would.
  kit::Expected<void> saveRow(std::string_view key, const kit::Data& value, std::string_view name,
                              const kit::Data* extendedData, int64_t now, const KTKVManifest::JournalEntry& entry);
  // Does the file work the journal records and clears it.
  kit::Expected<void> replayJournal();
  // Finishes what a failed call left pending (undoing a save whose file
  // could not be put in place, replaying the journal); false while that
  // still fails, and then no other write may clear the journal.
  bool settle();
  // Runs a manifest write that removes something; when the disk is full it
  // gives up the room kept for this and runs the write once more. Once it
  // succeeded the value file `obsolete` (if any) is removed; either way the
  // room is made again after it (see regainRoom()).
  kit::Expected<void> withRoom(const std::function<kit::Expected<void>()>& write, std::string_view obsolete = {});
  // Keeps the rule at the top of this file after an open or a removal:
  // gives free pages back to the disk (lending the room for it on a disk
  // too full), and while the room is not whole folds the log, gives its
  // space back and makes the room again when there is space now.
  void regainRoom();
  // Writes an access time while the room is whole.
  void recordAccess(const std::function<kit::Expected<void>()>& write);
  // Reads a value file; nil when it cannot be read, with `gone` set when
  // it is gone for good (see KTKVFileStore::isGone) and the failure logged
  // when it is not.
  kit::Ref<kit::Data> readValueFile(std::string_view name, bool& gone) const;
  // Reads the file of a row, deleting the row when the file is gone for
  // good; any other failure keeps the row for a later read.
  kit::Ref<kit::Data> readFileOrDropRow(std::string_view key, std::string_view name);
  // Deletes the rows of items whose files are gone, as a removal does.
  void dropRows(std::span<const std::string_view> keys);
  // Removes a value file that the journal records as obsolete; a file gone
  // already is no failure here.
  void removeRecorded(std::string_view name);
  void deleteFiles(const std::vector<std::string>& names);

  // Removes one settled key's row and file.
  bool removeOne(std::string_view key);
  // Removes a row (and its file) that a list of the oldest items named.
  bool removeListed(const KTKVStorageItem& item);
  // Removes the items a query matches: `removeAll` deletes their rows and
  // records the files that `filenames` lists in the journal, and then those
  // files go; when a full disk refuses it, the items that `nextKeys` names
  // go one at a time, batch after batch until it names none.
  using ListQuery = std::function<kit::Expected<std::vector<std::string>>()>;
  bool removeMatching(const ListQuery& filenames,
                      const std::function<kit::Expected<void>(std::span<const std::string>)>& removeAll,
                      const ListQuery& nextKeys);
  // Deletes the rows (and files) of the oldest items until `total` is at
  // most `limit`; `weight` is what one item counts.
  bool removeOldestUntil(int64_t total, int64_t limit, const std::function<int64_t(const KTKVStorageItem&)>& weight);

  const std::string path_;
  const kit::Ref<kit::String> pathString_;
  const KTKVStorageType type_;
  const std::shared_ptr<KTKVFileSystem> fileSystem_;
  const KTKVFileStore files_;
  std::unique_ptr<KTKVManifest> manifest_;
  bool errorLogsEnabled_ = true;
  // A save whose row could not be put back after its rename failed.
  struct Undo {
    std::string key;
    kit::Ref<KTKVStorageItem> old;  // nil: the key had no row
    std::string temporary;
  };
  std::optional<Undo> undo_;
  bool journalPending_ = false;
  bool roomHeld_ = false;
  // The data folder went to the trash and none came back in its place.
  bool dataFolderMissing_ = false;
};
