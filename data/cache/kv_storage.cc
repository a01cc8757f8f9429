// The key-value storage: saving, reading and evicting items across the
// manifest and the value files.

#include "data/cache/kv_storage.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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
#include "kit/foundation/uuid.h"

KIT_DEFINE_CLASS(KTKVStorageItem, kit::Object) {}
KIT_DEFINE_CLASS(KTKVStorage, kit::Object) {}

namespace {

constexpr int kFitBatchSize = 16;
constexpr int kRemoveAllBatchSize = 32;

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

bool writeAll(int fd, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool KTKVStorageIsValidFilename(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos && !name.starts_with(KTKVStorage::TemporaryFilePrefix);
}

// ---- Creation --------------------------------------------------------------

kit::Ref<KTKVStorage> KTKVStorage::init() {
  kit::raise("KTKVStorage init error", "Please use the designated initializer and pass the 'path' and 'type'.");
}

KTKVStorage::KTKVStorage(Passkey, std::string path, KTKVStorageType type)
    : path_(std::move(path)),
      pathString_(kit::String::make(path_)),
      dataPath_(joinPath(path_, "data")),
      trashPath_(joinPath(path_, "trash")),
      type_(type),
      trashQueue_(kit::Queue::serial("kt.kvstorage.trash")),
      manifest_(std::make_unique<KTKVManifest>(joinPath(path_, "manifest.sqlite"))) {}

kit::Ref<KTKVStorage> KTKVStorage::initWithPath(const kit::Ref<kit::String>& path, KTKVStorageType type) {
  if (isEmpty(path) || path->length() > MaxPathLength) {
    kit::log("KTKVStorage init error: invalid path: [%@].", path);
    return nullptr;
  }
  if (type > KTKVStorageTypeMixed) {
    kit::log("KTKVStorage init error: invalid type: %lu.", static_cast<unsigned long>(type));
    return nullptr;
  }
  auto storage = std::make_shared<KTKVStorage>(Passkey{}, path->utf8(), type);

  auto files = kit::FileManager::defaultManager();
  kit::Ref<kit::Error> error;
  if (!files->createDirectoryAtPath(storage->path_, true, nullptr, &error) ||
      !files->createDirectoryAtPath(storage->dataPath_, true, nullptr, &error) ||
      !files->createDirectoryAtPath(storage->trashPath_, true, nullptr, &error)) {
    kit::log("KTKVStorage init error:%@", error);
    return nullptr;
  }
  storage->removeStaleTemporaryFiles();

  if (!storage->openDatabase()) {
    storage->manifest_->close();
    storage->reset();
    if (!storage->openDatabase()) {
      storage->manifest_->close();
      kit::log("KTKVStorage init error: fail to open sqlite db.");
      return nullptr;
    }
  }
  storage->emptyTrashInBackground();
  return storage;
}

KTKVStorage::~KTKVStorage() {
  // Closing checkpoints the write-ahead log; ask for the time to finish it
  // should the application be leaving the foreground.
  kit::BackgroundTaskId task = kit::beginBackgroundTask([] {});
  manifest_->close();
  kit::endBackgroundTask(task);
}

bool KTKVStorage::errorLogsEnabled() const { return manifest_->errorLogsEnabled(); }
void KTKVStorage::setErrorLogsEnabled(bool enabled) { manifest_->setErrorLogsEnabled(enabled); }

bool KTKVStorage::openDatabase() { return manifest_->open() && manifest_->initialize(); }

void KTKVStorage::reset() {
  for (const char* name : {"manifest.sqlite", "manifest.sqlite-shm", "manifest.sqlite-wal"}) {
    ::unlink(joinPath(path_, name).c_str());
  }
  moveAllToTrash();
  emptyTrashInBackground();
}

// ---- Files -----------------------------------------------------------------

std::string KTKVStorage::dataFilePath(std::string_view name) const { return joinPath(dataPath_, name); }

bool KTKVStorage::refuseFilename(std::string_view name) const {
  if (KTKVStorageIsValidFilename(name)) return false;
  if (manifest_->errorLogsEnabled()) kit::log("KTKVStorage refused the file name [%s].", std::string(name));
  return true;
}

std::string KTKVStorage::writeTemporaryFile(const kit::Data& value) const {
  std::string temporary = dataFilePath(std::string(TemporaryFilePrefix) + kit::makeUUIDString());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return {};
  bool written = writeAll(fd, value.bytes(), value.length());
  if (::close(fd) != 0) written = false;
  if (!written) {
    ::unlink(temporary.c_str());
    return {};
  }
  return temporary;
}

kit::Ref<kit::Data> KTKVStorage::readFile(std::string_view name) const {
  int fd = ::open(dataFilePath(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t filled = 0;
  uint8_t more[4096];  // a file that grew since fstat goes on here
  for (;;) {
    const bool full = filled == bytes.size();
    ssize_t n = full ? ::read(fd, more, sizeof more) : ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return nullptr;
    }
    if (n == 0) break;
    if (full) bytes.insert(bytes.end(), more, more + n);
    filled += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(filled);
  return kit::Data::make(std::move(bytes));
}

bool KTKVStorage::deleteFile(std::string_view name) const {
  if (refuseFilename(name)) return false;
  return ::unlink(dataFilePath(name).c_str()) == 0;
}

bool KTKVStorage::moveAllToTrash() const {
  auto files = kit::FileManager::defaultManager();
  std::string destination = joinPath(trashPath_, kit::makeUUIDString());
  if (!files->moveItemAtPath(dataPath_, destination)) return false;
  return files->createDirectoryAtPath(dataPath_, true);
}

void KTKVStorage::emptyTrashInBackground() const {
  trashQueue_->async([trashPath = trashPath_] {
    auto files = kit::make<kit::FileManager>();
    auto entries = files->contentsOfDirectoryAtPath(trashPath);
    if (!entries) return;
    for (const kit::Id& entry : *entries) files->removeItemAtPath(joinPath(trashPath, kit::describe(entry)));
  });
}

void KTKVStorage::removeStaleTemporaryFiles() const {
  // Only a killed process leaves these behind: a finished save renames its
  // file and a failed one removes it.
  DIR* dir = ::opendir(dataPath_.c_str());
  if (!dir) return;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.starts_with(TemporaryFilePrefix)) ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

kit::Ref<kit::Data> KTKVStorage::readFileOrDropRow(std::string_view key, std::string_view name) {
  kit::Ref<kit::Data> value = refuseFilename(name) ? nullptr : readFile(name);
  if (!value) manifest_->deleteItem(key);
  return value;
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
  if (!name.empty() && refuseFilename(name)) return false;

  // The file the key uses now, to delete once the new row is in place.
  std::string oldName = type_ == KTKVStorageTypeSQLite ? std::string() : manifest_->getFilename(key->utf8());
  const int64_t now = wallSeconds();

  if (!name.empty()) {
    std::string temporary = writeTemporaryFile(*value);
    if (temporary.empty()) return false;
    if (!manifest_->saveRow(key->utf8(), *value, name, extendedData.get(), now)) {
      ::unlink(temporary.c_str());
      return false;
    }
    if (::rename(temporary.c_str(), dataFilePath(name).c_str()) != 0) {
      ::unlink(temporary.c_str());
      return false;
    }
  } else if (!manifest_->saveRow(key->utf8(), *value, {}, extendedData.get(), now)) {
    return false;
  }
  if (!oldName.empty() && oldName != name) deleteFile(oldName);
  return true;
}

// ---- Removing --------------------------------------------------------------

bool KTKVStorage::removeItemForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return false;
  if (type_ != KTKVStorageTypeSQLite) {
    std::string name = manifest_->getFilename(key->utf8());
    if (!name.empty()) deleteFile(name);
  }
  return manifest_->deleteItem(key->utf8());
}

bool KTKVStorage::removeItemForKeys(const kit::Ref<kit::Array>& keys) {
  KeyList list(keys);
  if (list.views.empty()) return false;
  if (type_ != KTKVStorageTypeSQLite) {
    if (auto names = manifest_->getFilenames(list.views)) {
      for (const auto& name : *names) deleteFile(name);
    }
  }
  return manifest_->deleteItems(list.views);
}

bool KTKVStorage::removeItemsLargerThanSize(int64_t size) {
  if (size == NoLimit) return true;
  if (size <= 0) return removeAllItems();
  if (type_ != KTKVStorageTypeSQLite) {
    if (auto names = manifest_->getFilenamesLargerThan(size)) {
      for (const auto& name : *names) deleteFile(name);
    }
  }
  if (!manifest_->deleteItemsLargerThan(size)) return false;
  manifest_->checkpoint();
  return true;
}

bool KTKVStorage::removeItemsEarlierThanTime(int64_t time) {
  if (time <= 0) return true;
  if (time == NoLimit) return removeAllItems();
  if (type_ != KTKVStorageTypeSQLite) {
    if (auto names = manifest_->getFilenamesEarlierThan(time)) {
      for (const auto& name : *names) deleteFile(name);
    }
  }
  if (!manifest_->deleteItemsEarlierThan(time)) return false;
  manifest_->checkpoint();
  return true;
}

bool KTKVStorage::removeOldestUntil(int64_t total, int64_t limit,
                                    const std::function<int64_t(const KTKVStorageItem&)>& weight) {
  bool deleted = false;
  size_t fetched = 0;
  do {
    auto items = manifest_->getItemSizeInfoOrderByTimeAsc(kFitBatchSize);
    fetched = items ? items->size() : 0;
    if (!items) break;
    for (const auto& item : *items) {
      if (total <= limit) break;
      if (item->filename()) deleteFile(item->filename()->utf8());
      deleted = manifest_->deleteItem(item->key()->utf8());
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
  int64_t total = manifest_->getTotalItemSize();
  if (total < 0) return false;
  if (total <= maxSize) return true;
  return removeOldestUntil(total, maxSize, [](const KTKVStorageItem& item) { return item.size(); });
}

bool KTKVStorage::removeItemsToFitCount(int64_t maxCount) {
  if (maxCount == NoLimit) return true;
  if (maxCount <= 0) return removeAllItems();
  int64_t total = manifest_->getTotalItemCount();
  if (total < 0) return false;
  if (total <= maxCount) return true;
  return removeOldestUntil(total, maxCount, [](const KTKVStorageItem&) { return int64_t{1}; });
}

bool KTKVStorage::removeAllItems() {
  if (!manifest_->close()) return false;
  reset();
  return openDatabase();
}

void KTKVStorage::removeAllItemsWithProgressBlock(const std::function<void(int64_t, int64_t)>& progress,
                                                  const std::function<void(bool)>& end) {
  const int64_t total = manifest_->getTotalItemCount();
  if (total <= 0) {
    if (end) end(total < 0);
    return;
  }
  int64_t left = total;
  bool deleted = false;
  size_t fetched = 0;
  do {
    auto items = manifest_->getItemSizeInfoOrderByTimeAsc(kRemoveAllBatchSize);
    fetched = items ? items->size() : 0;
    if (items) {
      for (const auto& item : *items) {
        if (left <= 0) break;
        if (item->filename()) deleteFile(item->filename()->utf8());
        deleted = manifest_->deleteItem(item->key()->utf8());
        --left;
        if (!deleted) break;
      }
    }
    if (progress) progress(total - left, total);
  } while (left > 0 && fetched > 0 && deleted);
  if (deleted) manifest_->checkpoint();
  if (end) end(!deleted);
}

// ---- Reading ---------------------------------------------------------------

kit::Ref<KTKVStorageItem> KTKVStorage::getItemForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return nullptr;
  auto item = manifest_->getItem(key->utf8(), false);
  if (!item) return nullptr;
  manifest_->updateAccessTime(key->utf8(), wallSeconds());
  if (item->filename()) {
    item->setValue(readFileOrDropRow(key->utf8(), item->filename()->utf8()));
    if (!item->value()) return nullptr;
  }
  return item;
}

kit::Ref<KTKVStorageItem> KTKVStorage::getItemInfoForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return nullptr;
  return manifest_->getItem(key->utf8(), true);
}

kit::Ref<kit::Data> KTKVStorage::getItemValueForKey(const kit::Ref<kit::String>& key) {
  if (isEmpty(key)) return nullptr;
  kit::Ref<kit::Data> value;
  if (type_ == KTKVStorageTypeSQLite) {
    value = manifest_->getValue(key->utf8());
  } else {
    std::string name = manifest_->getFilename(key->utf8());
    if (!name.empty()) {
      value = readFileOrDropRow(key->utf8(), name);
    } else if (type_ == KTKVStorageTypeMixed) {
      value = manifest_->getValue(key->utf8());
    }
  }
  if (value) manifest_->updateAccessTime(key->utf8(), wallSeconds());
  return value;
}

kit::Ref<kit::Array> KTKVStorage::getItemForKeys(const kit::Ref<kit::Array>& keys) {
  KeyList list(keys);
  if (list.views.empty()) return nullptr;
  auto items = manifest_->getItems(list.views, false);
  if (!items) return nullptr;
  std::vector<kit::Id> found;
  found.reserve(items->size());
  for (auto& item : *items) {
    if (type_ != KTKVStorageTypeSQLite && item->filename()) {
      std::string_view key = item->key() ? std::string_view(item->key()->utf8()) : std::string_view();
      item->setValue(readFileOrDropRow(key, item->filename()->utf8()));
      if (!item->value()) continue;
    }
    found.push_back(std::move(item));
  }
  if (found.empty()) return nullptr;
  manifest_->updateAccessTimes(list.views, wallSeconds());
  return kit::Array::make(std::move(found));
}

kit::Ref<kit::Array> KTKVStorage::getItemInfoForKeys(const kit::Ref<kit::Array>& keys) {
  KeyList list(keys);
  if (list.views.empty()) return nullptr;
  auto items = manifest_->getItems(list.views, true);
  if (!items) return nullptr;
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
  return manifest_->getItemCount(key->utf8()) > 0;
}

int64_t KTKVStorage::getItemsCount() { return manifest_->getTotalItemCount(); }

int64_t KTKVStorage::getItemsSize() { return manifest_->getTotalItemSize(); }
