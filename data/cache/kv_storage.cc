// The key-value storage: saving, reading and evicting items across the
// manifest and the value files, and the one place that turns their errors
// into the storage's answers and log lines.

#include "data/cache/kv_storage.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <vector>

#include "data/cache/kv_manifest.h"
#include "kit/foundation/app_notifications.h"
#include "kit/foundation/date.h"
#include "kit/foundation/error.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/log.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

KIT_DEFINE_CLASS(KTKVStorageItem, kit::Object) {}
KIT_DEFINE_CLASS(KTKVStorage, kit::Object) {}

namespace {

constexpr int kFitBatchSize = 16;
constexpr int kRemoveAllBatchSize = 32;
// How far a save may leave the database lagging its log: a full disk gives
// the room up for a removal, which adds some pages of log, and the fold
// after it must still fit in what is left.
constexpr int64_t kMostLagBytes = static_cast<int64_t>(KTKVFileStore::RoomBytes) - KTKVManifest::LagBytes;

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

int64_t wallSeconds() { return static_cast<int64_t>(std::floor(kit::wallClockNow())); }

bool isEmpty(const kit::Ref<kit::String>& s) { return !s || s->empty(); }
bool isEmpty(const kit::Ref<kit::Data>& d) { return !d || d->empty(); }

// The string keys of an array (other elements are skipped), kept alive with
// views onto them for binding.
struct KeyList {
  explicit KeyList(const kit::Ref<kit::Array>& array) {
    if (!array) return;
    for (const kit::Id& element : *array) {
      if (auto key = kit::as<kit::String>(element)) strings.push_back(std::move(key));
    }
    views.reserve(strings.size());
    for (const auto& s : strings) views.emplace_back(s->utf8());
  }
  std::vector<kit::Ref<kit::String>> strings;
  std::vector<std::string_view> views;
};

std::string userInfoText(const kit::Error& error, const char* key) {
  return kit::describe(error.userInfo()->objectForKey(kit::str(key)));
}

}  // namespace

// ---- Creation --------------------------------------------------------------

kit::Ref<KTKVStorage> KTKVStorage::init() {
  kit::raise("KTKVStorage init error", "Please use the designated initializer and pass the 'path' and 'type'.");
}

KTKVStorage::KTKVStorage(Passkey, std::string path, KTKVStorageType type, std::shared_ptr<KTKVFileSystem> fileSystem)
    : path_(std::move(path)),
      pathString_(kit::String::make(path_)),
      type_(type),
      fileSystem_(fileSystem ? std::move(fileSystem) : KTKVFileSystem::system()),
      files_(joinPath(path_, "data"), joinPath(path_, "trash"), fileSystem_, joinPath(path_, "room")),
      manifest_(std::make_unique<KTKVManifest>(joinPath(path_, "manifest.sqlite"),
                                               [this] { return files_.availableBytes(); })) {}

kit::Ref<KTKVStorage> KTKVStorage::initWithPath(const kit::Ref<kit::String>& path, KTKVStorageType type) {
  return initWithPath(path, type, KTKVFileSystem::system());
}

kit::Ref<KTKVStorage> KTKVStorage::initWithPath(const kit::Ref<kit::String>& path, KTKVStorageType type,
                                                std::shared_ptr<KTKVFileSystem> fileSystem) {
  if (isEmpty(path) || path->length() > MaxPathLength) {
    kit::log("KTKVStorage init error: invalid path: [%@].", path);
    return nullptr;
  }
  if (type > KTKVStorageTypeMixed) {
    kit::log("KTKVStorage init error: invalid type: %lu.", static_cast<unsigned long>(type));
    return nullptr;
  }
  auto storage = std::make_shared<KTKVStorage>(Passkey{}, path->utf8(), type, std::move(fileSystem));

  auto files = kit::FileManager::defaultManager();
  kit::Ref<kit::Error> error;
  if (!files->createDirectoryAtPath(storage->path_, true, nullptr, &error) ||
      !files->createDirectoryAtPath(joinPath(storage->path_, "data"), true, nullptr, &error) ||
      !files->createDirectoryAtPath(joinPath(storage->path_, "trash"), true, nullptr, &error)) {
    kit::log("KTKVStorage init error:%@", error);
    return nullptr;
  }

  auto opened = storage->openDatabase();
  if (!opened && KTKVManifest::isDamaged(*opened.error())) {
    // Only a database that SQLite finds damaged is started over. Any other
    // failure (no space, no inodes, no permission, no descriptor left)
    // says nothing about the items, and the next open may find them all.
    storage->report(opened.error());
    storage->reset();
    opened = storage->openDatabase();
  }
  if (!opened) {
    storage->report(opened.error());
    // The room the open gave up goes back where it was, when it can.
    storage->files_.keepRoom();
    kit::log("KTKVStorage init error: fail to open sqlite db.");
    return nullptr;
  }
  // Finish the file work of saves and removals that a killed process left
  // half done; only then are the temporary files left over stale.
  if (storage->succeeded(storage->replayJournal())) storage->files_.removeStaleTemporaryFiles();
  // An open starts as a removal on a full disk ends: the log a killed
  // process (or a close on a full disk) left behind is folded and its space
  // given back, so that every open reads no more log than one run writes,
  // and the room is made whole (or, on a disk without the space, made at
  // the first removal or save that finds it).
  storage->regainRoom();
  storage->files_.emptyTrashInBackground();
  return storage;
}

KTKVStorage::~KTKVStorage() {
  // Closing checkpoints the write-ahead log; ask for the time to finish it
  // should the application be leaving the foreground.
  kit::BackgroundTaskId task = kit::beginBackgroundTask([] {});
  if (undo_) settle();  // a failed save is undone now, or finished by the journal at the next open
  succeeded(manifest_->close());
  kit::endBackgroundTask(task);
}

kit::Expected<void> KTKVStorage::openDatabase() {
  auto opened = manifest_->openWithSchema();
  if (!opened && files_.releaseRoom()) {
    // The disk may be full: the database's shared memory and log (and a
    // new database's first pages) need a little space. The room gives it,
    // and is made again, whole, once there is space for it.
    roomHeld_ = false;
    opened = manifest_->openWithSchema();
  }
  return opened;
}

bool KTKVStorage::removeDatabaseFiles() {
  // The database goes first, and with it every row: a log, a rollback
  // journal or a shared memory left beside a missing (or empty) database is
  // stale, and SQLite drops it when it opens one there. The other order can
  // bring back an older state: a process killed after the log went, or
  // whose removal of the database failed, would find the database without
  // its newest commits, which a disk too full to fold them at the close
  // left in the log.
  const std::string database = joinPath(path_, "manifest.sqlite");
  if (fileSystem_->unlink(database.c_str()) != 0 && errno != ENOENT) return false;
  for (const char* suffix : {"-journal", "-wal", "-shm"}) fileSystem_->unlink((database + suffix).c_str());
  return true;
}

void KTKVStorage::reset() {
  removeDatabaseFiles();
  succeeded(files_.moveAllToTrash());
  files_.emptyTrashInBackground();
}

// ---- Reporting -------------------------------------------------------------

void KTKVStorage::report(const kit::Ref<kit::Error>& error) const {
  if (!error || !errorLogsEnabled_) return;
  if (error->domain() == KTKVManifestErrorDomain) {
    // A closed database that may not be opened yet repeats the failed open,
    // which was reported when it happened.
    if (error->code() == KTKVManifestUnavailable) return;
    kit::log("%s line:%s %s", userInfoText(*error, KTKVManifestOperationKey),
             userInfoText(*error, KTKVManifestLineKey), error->localizedDescription());
  } else if (error->domain() == KTKVStorageErrorDomain && error->code() == KTKVStorageErrorInvalidFilename) {
    kit::log("KTKVStorage refused the file name [%s].", userInfoText(*error, KTKVStorageFilenameKey));
  }
  // A value file that is missing or cannot be written shows in the result
  // alone: the caller's item is gone or not saved, and nothing else is hurt.
}

template <class T>
T KTKVStorage::valueOr(kit::Expected<T>&& result, T fallback) const {
  if (result) return std::move(result).value();
  report(result.error());
  return fallback;
}

// ---- Files -----------------------------------------------------------------

kit::Expected<void> KTKVStorage::withRoom(const std::function<kit::Expected<void>()>& write,
                                          std::string_view obsolete) {
  auto result = write();
  if (!result && KTKVManifest::isDiskFull(*result.error()) && files_.releaseRoom()) {
    roomHeld_ = false;
    result = write();
  }
  if (result && !obsolete.empty()) removeRecorded(obsolete);
  regainRoom();
  return result;
}

void KTKVStorage::regainRoom() {
  // Pages freed inside the database go back to the disk as the log folds,
  // once the pages after them have moved into their place, which takes log
  // space of its own: the fold moves pages only with LagBytes to spare
  // (see KTKVManifest::checkpoint). On a disk with less the room lends the
  // space and is made again from what comes back. (The space looked at here
  // is less the removal's log, which the fold gives back before it moves a
  // page: more than the three pages that moving one takes.)
  if (roomHeld_ && manifest_->freePages() * KTKVManifest::PageBytes >= KTKVManifest::LagBytes) {
    if (files_.availableBytes() >= KTKVManifest::LagBytes) {
      manifest_->checkpoint();
    } else if (files_.releaseRoom()) {
      roomHeld_ = false;
    }
  }
  if (roomHeld_) return;
  // The disk was full. Removals of inline values free pages inside the
  // database only, and every removal adds pages to the log: folding the log
  // into the database (which the manifest does only when the disk can take
  // what the database grows by, as the room can) and giving the log's space
  // back is what frees the disk, and the writes to come start the log
  // again. Then the room is made again, once there is space for it.
  manifest_->checkpoint(true);
  roomHeld_ = files_.keepRoom();
}

void KTKVStorage::recordAccess(const std::function<kit::Expected<void>()>& write) {
  // A read spends nothing the removals need: while the room is not whole
  // the access time is skipped, as a cache may, and a write that finds the
  // disk full is no failure of the read (it adds nothing the fold must
  // grow the database by, so with the room whole it cannot hurt).
  if (!roomHeld_) return;
  auto written = write();
  if (!written && !KTKVManifest::isDiskFull(*written.error())) report(written.error());
}

kit::Ref<kit::Data> KTKVStorage::readValueFile(std::string_view name, bool& gone) const {
  auto value = files_.read(name);
  gone = !value && KTKVFileStore::isGone(*value.error());
  if (value) return *value;
  if (gone) {
    report(value.error());  // a refused name is logged; a missing file shows in the result
  } else if (errorLogsEnabled_) {
    // No descriptor left, no permission for a moment, an I/O error: the
    // file may be whole, and a later read may find it.
    kit::log("KTKVStorage could not read a value file: %s", value.error()->localizedDescription());
  }
  return nullptr;
}

kit::Ref<kit::Data> KTKVStorage::readFileOrDropRow(std::string_view key, std::string_view name) {
  bool gone = false;
  auto value = readValueFile(name, gone);
  if (gone) dropRows({&key, 1});
  return value;
}

void KTKVStorage::dropRows(std::span<const std::string_view> keys) {
  // The rows go as any removal goes, through the room on a full disk, so
  // that no count or lookup finds them after; many rows that one statement
  // cannot delete on a full disk go one at a time.
  auto dropped = withRoom([&] { return manifest_->deleteItems(keys); });
  if (!dropped && KTKVManifest::isDiskFull(*dropped.error()) && keys.size() > 1) {
    for (std::string_view key : keys) {
      if (!succeeded(withRoom([&] { return manifest_->deleteItem(key); }))) return;
    }
    return;
  }
  succeeded(dropped);
}

void KTKVStorage::removeRecorded(std::string_view name) {
  auto removed = files_.remove(name);
  if (removed) return;
  // A file gone already is what was wanted. Any other failure leaves the
  // file where only the journal names it: it is replayed before the next
  // write, which would otherwise record its own entries in place of these.
  const kit::Error& error = *removed.error();
  if (error.domain() == kit::POSIXErrorDomain && error.code() == ENOENT) return;
  report(removed.error());
  journalPending_ = true;
}

void KTKVStorage::deleteFiles(const std::vector<std::string>& names) {
  for (const auto& name : names) removeRecorded(name);
}

// ---- Saving ----------------------------------------------------------------

bool KTKVStorage::saveItem(const kit::Ref<KTKVStorageItem>& item) {
  if (!item) return false;
  return saveItemWithKey(item->key(), item->value(), item->filename(), item->extendedData());
}

bool KTKVStorage::saveItemWithKey(const kit::Ref<kit::String>& key, const kit::Ref<kit::Data>& value) {
  return saveItemWithKey(key, value, nullptr, nullptr);
}

bool KTKVStorage::saveItemWithKey(const kit::Ref<kit::String>& key, const kit::Ref<kit::Data>& value,
                                  const kit::Ref<kit::String>& filename, const kit::Ref<kit::Data>& extendedData) {
  if (isEmpty(key) || isEmpty(value)) return false;
  // The SQLite type keeps every value inline, whatever the caller names.
  std::string_view name = (type_ == KTKVStorageTypeSQLite || !filename) ? std::string_view() : filename->utf8();
  if (type_ == KTKVStorageTypeFile && name.empty()) return false;
  if (!name.empty() && !succeeded(KTKVFileStore::checkName(name))) return false;
  if (!settle()) return false;
  // Nothing is saved while the room is not whole: the disk is full, and
  // its space is for the removals that free it.
  if (!roomHeld_) regainRoom();
  if (!roomHeld_) return false;
  return succeeded(save(key->utf8(), *value, name, extendedData.get()));
}

kit::Expected<void> KTKVStorage::saveRow(std::string_view key, const kit::Data& value, std::string_view name,
                                         const kit::Data* extendedData, int64_t now,
                                         const KTKVManifest::JournalEntry& entry) {
  // The manifest counts what the save leaves to fold, and folds it as it
  // commits or refuses the save as a full disk would.
  auto saved = manifest_->saveRow(key, value, name, extendedData, now, entry, kMostLagBytes);
  // What it counted may be mostly what earlier saves left: folded first,
  // the save may fit. Once is enough: a second refusal is this save's own.
  if (!saved && KTKVManifest::isDiskFull(*saved.error()) && manifest_->checkpoint()) {
    saved = manifest_->saveRow(key, value, name, extendedData, now, entry, kMostLagBytes);
  }
  return saved;
}

kit::Expected<void> KTKVStorage::save(std::string_view key, const kit::Data& value, std::string_view name,
                                      const kit::Data* extendedData) {
  const int64_t now = wallSeconds();
  if (name.empty()) {
    // Inline: the row is the whole value. A file the key used before is
    // recorded for removal in the same transaction and removed after it.
    std::string oldName;
    if (type_ != KTKVStorageTypeSQLite) {
      auto found = manifest_->getFilename(key);
      if (!found) return kit::unexpected(found.error());
      oldName = std::move(*found);
    }
    if (auto saved = saveRow(key, value, {}, extendedData, now, {{}, {}, oldName}); !saved) return saved;
    if (!oldName.empty()) removeRecorded(oldName);
    return {};
  }

  // In a file: the value is written and synced under a temporary name; the
  // row and the journal entry naming that file commit together; then the
  // file is renamed over its name. Should the rename fail, the old row goes
  // back and the key reads its old value.
  auto old = manifest_->getItem(key, false);
  if (!old) return kit::unexpected(old.error());
  const std::string oldName = *old && (*old)->filename() ? (*old)->filename()->utf8() : std::string();
  auto temporary = files_.writeTemporary(value);
  if (!temporary) return kit::unexpected(temporary.error());
  KTKVManifest::JournalEntry entry{*temporary, std::string(name), oldName != name ? oldName : std::string()};
  if (auto saved = saveRow(key, value, name, extendedData, now, entry); !saved) {
    files_.discard(*temporary);
    return saved;
  }
  if (auto committed = files_.commit(*temporary, name); !committed) {
    if (succeeded(manifest_->restoreRow(key, old->get()))) {
      files_.discard(*temporary);
    } else {
      // The new row stays for now: the undoing is tried again before the
      // next operation. (Should the process end first, the journal finishes
      // the save instead when the storage opens again.)
      undo_ = Undo{std::string(key), *old, *temporary};
    }
    return committed;
  }
  if (!entry.obsolete.empty()) removeRecorded(entry.obsolete);
  return {};
}

kit::Expected<void> KTKVStorage::replayJournal() {
  auto entries = manifest_->journalEntries();
  if (!entries) {
    journalPending_ = true;
    return kit::unexpected(entries.error());
  }
  for (const auto& entry : *entries) {
    // An entry naming files the storage would not have written is skipped.
    if (KTKVFileStore::isTemporaryName(entry.temporary) && KTKVFileStore::isValidName(entry.filename)) {
      auto committed = files_.commit(entry.temporary, entry.filename);
      // No temporary file: it was renamed before.
      const bool renamedBefore = !committed && committed.error()->domain() == kit::POSIXErrorDomain &&
                                 committed.error()->code() == ENOENT;
      if (!committed && !renamedBefore) {
        journalPending_ = true;
        return committed;
      }
    }
    if (!entry.obsolete.empty() && entry.obsolete != entry.filename) succeeded(files_.remove(entry.obsolete));
  }
  journalPending_ = false;
  // The file work is done. Clearing the entries only spares the next open
  // from doing it again, which finds nothing left to do: every write that
  // makes a value file records entries in place of the ones before, so
  // these are the newest, their temporary file is gone, and no file can
  // have taken an obsolete name since. A full disk may refuse the clear;
  // the room kept for removals is not spent on it, and the entries stay.
  if (!entries->empty()) succeeded(manifest_->clearJournal());
  return {};
}

bool KTKVStorage::settle() {
  if (dataFolderMissing_) {
    dataFolderMissing_ = fileSystem_->mkdir(joinPath(path_, "data").c_str(), 0755) != 0 && errno != EEXIST;
  }
  if (undo_) {
    if (!succeeded(withRoom([&] { return manifest_->restoreRow(undo_->key, undo_->old.get()); }))) return false;
    files_.discard(undo_->temporary);
    undo_.reset();
  }
  return !journalPending_ || succeeded(replayJournal());
}

// ---- Removing --------------------------------------------------------------

bool KTKVStorage::removeItemForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return false;
  if (!settle()) return false;
  return removeOne(key->utf8());
}

bool KTKVStorage::removeOne(std::string_view key) {
  // The row goes first, with its file recorded in the journal; the file is
  // removed after, so a failed removal leaves the item whole.
  std::string name;
  if (type_ != KTKVStorageTypeSQLite) {
    auto found = manifest_->getFilename(key);
    if (!succeeded(found)) return false;
    name = std::move(*found);
  }
  return succeeded(withRoom([&] { return manifest_->deleteItem(key, name); }, name));
}

bool KTKVStorage::removeListed(const KTKVStorageItem& item) {
  // As removeOne, with the file name the list read.
  const std::string name = item.filename() ? item.filename()->utf8() : std::string();
  return succeeded(withRoom([&] { return manifest_->deleteItem(item.key()->utf8(), name); }, name));
}

bool KTKVStorage::removeItemForKeys(const kit::Ref<kit::Array>& keys) {
  KeyList list(keys);
  if (list.views.empty()) return false;
  if (!settle()) return false;
  std::vector<std::string> names;
  if (type_ != KTKVStorageTypeSQLite) {
    auto found = manifest_->getFilenames(list.views);
    if (!succeeded(found)) return false;
    names = std::move(*found);
  }
  auto removed = manifest_->deleteItems(list.views, names);
  if (!removed && KTKVManifest::isDiskFull(*removed.error())) {
    // On a full disk the keys go one at a time (see removeMatching);
    // a failure leaves those before it removed.
    for (std::string_view key : list.views) {
      if (!settle() || !removeOne(key)) return false;
    }
    return true;
  }
  if (!succeeded(removed)) return false;
  deleteFiles(names);
  regainRoom();
  return true;
}

bool KTKVStorage::removeItemsLargerThanSize(int64_t size) {
  if (size == NoLimit) return true;
  if (size <= 0) return removeAllItems();
  return removeMatching([&] { return manifest_->getFilenamesLargerThan(size); },
                        [&](std::span<const std::string> names) { return manifest_->deleteItemsLargerThan(size, names); },
                        [&] { return manifest_->getKeysLargerThan(size, kFitBatchSize); });
}

bool KTKVStorage::removeItemsEarlierThanTime(int64_t time) {
  if (time <= 0) return true;
  if (time == NoLimit) return removeAllItems();
  return removeMatching([&] { return manifest_->getFilenamesEarlierThan(time); },
                        [&](std::span<const std::string> names) { return manifest_->deleteItemsEarlierThan(time, names); },
                        [&] { return manifest_->getKeysEarlierThan(time, kFitBatchSize); });
}

bool KTKVStorage::removeMatching(const ListQuery& filenames,
                                 const std::function<kit::Expected<void>(std::span<const std::string>)>& removeAll,
                                 const ListQuery& nextKeys) {
  if (!settle()) return false;
  std::vector<std::string> names;
  if (type_ != KTKVStorageTypeSQLite) {
    auto found = filenames();
    if (!succeeded(found)) return false;
    names = std::move(*found);
  }
  // The rows go first, with their files recorded in the journal; the files
  // are removed after. One statement that deletes many rows may need more
  // log than a full disk and the room give: on a full disk they go row by
  // row, each with its file, and each deletion's log folds back (and gives
  // back what it freed) before the next.
  auto removed = removeAll(names);
  if (removed) {
    deleteFiles(names);
  } else if (!KTKVManifest::isDiskFull(*removed.error())) {
    return succeeded(removed);
  } else {
    for (;;) {
      auto keys = nextKeys();
      if (!succeeded(keys)) return false;
      if (keys->empty()) break;
      for (const auto& key : *keys) {
        if (!settle() || !removeOne(key)) return false;
      }
    }
  }
  manifest_->checkpoint();
  regainRoom();
  return true;
}

bool KTKVStorage::removeOldestUntil(int64_t total, int64_t limit,
                                    const std::function<int64_t(const KTKVStorageItem&)>& weight) {
  bool deleted = false;
  size_t fetched = 0;
  do {
    auto items = manifest_->getItemSizeInfoOrderByTimeAsc(kFitBatchSize);
    if (!items) {
      report(items.error());
      break;
    }
    fetched = items->size();
    for (const auto& item : *items) {
      if (total <= limit) break;
      deleted = settle() && removeListed(*item);
      total -= weight(*item);
      if (!deleted) break;
    }
  } while (total > limit && fetched > 0 && deleted);
  if (deleted) manifest_->checkpoint();
  return deleted;
}

bool KTKVStorage::removeItemsToFitSize(int64_t maxSize) {
  if (maxSize == NoLimit) return true;
  if (maxSize <= 0) return removeAllItems();
  if (!settle()) return false;
  int64_t total = valueOr(manifest_->getTotalItemSize(), int64_t{-1});
  if (total < 0) return false;
  if (total <= maxSize) return true;
  return removeOldestUntil(total, maxSize, [](const KTKVStorageItem& item) { return item.size(); });
}

bool KTKVStorage::removeItemsToFitCount(int64_t maxCount) {
  if (maxCount == NoLimit) return true;
  if (maxCount <= 0) return removeAllItems();
  if (!settle()) return false;
  int64_t total = valueOr(manifest_->getTotalItemCount(), int64_t{-1});
  if (total < 0) return false;
  if (total <= maxCount) return true;
  return removeOldestUntil(total, maxCount, [](const KTKVStorageItem&) { return int64_t{1}; });
}

bool KTKVStorage::removeAllItems() {
  succeeded(manifest_->close());  // the connection is gone whatever SQLite says
  // The value files go first, all at once, into the trash: should the
  // process end before the database goes, a row whose file went reads as
  // gone. Where no empty data folder can be made (a disk without a free
  // inode), the items go one at a time instead, each with its file.
  if (!succeeded(files_.moveAllToTrash())) {
    // Should the folder not even have come back, it is made again before
    // the next save or removal.
    dataFolderMissing_ = ::access(joinPath(path_, "data").c_str(), F_OK) != 0;
    if (!succeeded(openDatabase()) || !settle()) {
      regainRoom();
      return false;
    }
    const int64_t total = valueOr(manifest_->getTotalItemCount(), int64_t{-1});
    const bool done =
        total == 0 || (total > 0 && removeOldestUntil(total, 0, [](const KTKVStorageItem&) { return int64_t{1}; }));
    regainRoom();
    return done;
  }
  files_.emptyTrashInBackground();
  // The journal's files went with the data, its rows go with the database.
  journalPending_ = false;
  undo_.reset();
  const bool removed = removeDatabaseFiles();
  // What the old database took is free again, but on a disk that another
  // program filled it may be less than a new one needs: the new database
  // is made through the room, like every removal. A database that could
  // not be removed loses its rows instead.
  auto emptied = openDatabase();
  if (!emptied) {
    // On a disk that another program filled, what the trash holds (the
    // folder moved there, if not the files in it) may be what the new
    // database needs: it goes now rather than in the background.
    files_.emptyTrash();
    emptied = manifest_->openWithSchema();
  }
  if (emptied && !removed) emptied = withRoom([&] { return manifest_->deleteAll(); });
  // With the old database gone every item is: a new one that cannot be
  // made yet is opened later, as after any failed open.
  const bool done = succeeded(emptied) || removed;
  regainRoom();
  return done;
}

void KTKVStorage::removeAllItemsWithProgressBlock(const std::function<void(int64_t, int64_t)>& progress,
                                                  const std::function<void(bool)>& end) {
  if (!settle()) {
    if (end) end(true);
    return;
  }
  const int64_t total = valueOr(manifest_->getTotalItemCount(), int64_t{-1});
  if (total <= 0) {
    if (end) end(total < 0);
    return;
  }
  int64_t left = total;
  bool deleted = false;
  size_t fetched = 0;
  do {
    auto items = manifest_->getItemSizeInfoOrderByTimeAsc(kRemoveAllBatchSize);
    fetched = 0;
    if (items) {
      fetched = items->size();
      for (const auto& item : *items) {
        if (left <= 0) break;
        deleted = settle() && removeListed(*item);
        --left;
        if (!deleted) break;
      }
    } else {
      report(items.error());
    }
    if (progress) progress(total - left, total);
  } while (left > 0 && fetched > 0 && deleted);
  if (deleted) manifest_->checkpoint();
  if (end) end(!deleted);
}

// ---- Reading ---------------------------------------------------------------

kit::Ref<KTKVStorageItem> KTKVStorage::getItemForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return nullptr;
  settle();
  auto item = valueOr(manifest_->getItem(key->utf8(), false), kit::Ref<KTKVStorageItem>());
  if (!item) return nullptr;
  recordAccess([&] { return manifest_->updateAccessTime(key->utf8(), wallSeconds()); });
  if (item->filename()) {
    item->setValue(readFileOrDropRow(key->utf8(), item->filename()->utf8()));
    if (!item->value()) return nullptr;
  }
  return item;
}

kit::Ref<KTKVStorageItem> KTKVStorage::getItemInfoForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return nullptr;
  settle();
  return valueOr(manifest_->getItem(key->utf8(), true), kit::Ref<KTKVStorageItem>());
}

kit::Ref<kit::Data> KTKVStorage::getItemValueForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return nullptr;
  settle();
  kit::Ref<kit::Data> value;
  if (type_ == KTKVStorageTypeSQLite) {
    value = valueOr(manifest_->getValue(key->utf8()), kit::Ref<kit::Data>());
  } else {
    std::string name = valueOr(manifest_->getFilename(key->utf8()), std::string());
    if (!name.empty()) {
      value = readFileOrDropRow(key->utf8(), name);
    } else if (type_ == KTKVStorageTypeMixed) {
      value = valueOr(manifest_->getValue(key->utf8()), kit::Ref<kit::Data>());
    }
  }
  if (value) recordAccess([&] { return manifest_->updateAccessTime(key->utf8(), wallSeconds()); });
  return value;
}

kit::Ref<kit::Array> KTKVStorage::getItemForKeys(const kit::Ref<kit::Array>& keys) {
  KeyList list(keys);
  if (list.views.empty()) return nullptr;
  settle();
  auto items = manifest_->getItems(list.views, false);
  if (!items) {
    report(items.error());
    return nullptr;
  }
  std::vector<kit::Id> found;
  found.reserve(items->size());
  std::vector<std::string_view> gone;
  for (auto& item : *items) {
    if (type_ != KTKVStorageTypeSQLite && item->filename()) {
      bool fileGone = false;
      item->setValue(readValueFile(item->filename()->utf8(), fileGone));
      if (fileGone && item->key()) gone.emplace_back(item->key()->utf8());
      if (!item->value()) continue;
    }
    found.push_back(std::move(item));
  }
  if (!gone.empty()) dropRows(gone);
  if (found.empty()) return nullptr;
  recordAccess([&] { return manifest_->updateAccessTimes(list.views, wallSeconds()); });
  return kit::Array::make(std::move(found));
}

kit::Ref<kit::Array> KTKVStorage::getItemInfoForKeys(const kit::Ref<kit::Array>& keys) {
  KeyList list(keys);
  if (list.views.empty()) return nullptr;
  settle();
  auto items = manifest_->getItems(list.views, true);
  if (!items) {
    report(items.error());
    return nullptr;
  }
  return kit::Array::make(std::vector<kit::Id>(items->begin(), items->end()));
}

kit::Ref<kit::Dictionary> KTKVStorage::getItemValueForKeys(const kit::Ref<kit::Array>& keys) {
  auto items = getItemForKeys(keys);
  if (!items) return nullptr;
  auto values = kit::MutableDictionary::make();
  for (const kit::Id& element : *items) {
    auto item = kit::as<KTKVStorageItem>(element);
    if (item && item->key() && item->value()) values->setObject(item->value(), item->key());
  }
  if (values->count() == 0) return nullptr;
  return values;
}

bool KTKVStorage::itemExistsForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return false;
  settle();
  return valueOr(manifest_->getItemCount(key->utf8()), int64_t{-1}) > 0;
}

int64_t KTKVStorage::getItemsCount() { return valueOr(manifest_->getTotalItemCount(), int64_t{-1}); }

int64_t KTKVStorage::getItemsSize() { return valueOr(manifest_->getTotalItemSize(), int64_t{-1}); }
