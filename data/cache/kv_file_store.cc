// The key-value storage's value files and trash.

#include "data/cache/kv_file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "kit/foundation/file_manager.h"
#include "kit/foundation/uuid.h"
#include "kit/foundation/values.h"

namespace {

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty() || out.back() != '/') out += '/';
  out += name;
  return out;
}

// The failed system call's errno as an error naming the step and the path.
kit::Unexpected posixError(int code, std::string_view step, const std::string& path) {
  std::string description = std::string(step) + " " + path + ": " + std::strerror(code);
  return kit::unexpected(kit::Error::make(
      kit::POSIXErrorDomain, code,
      kit::dict({{kit::LocalizedDescriptionKey, description}, {kit::FilePathErrorKey, path}})));
}

kit::Expected<void> writeAll(KTKVFileSystem& fs, int fd, const uint8_t* bytes, size_t length,
                             const std::string& path) {
  while (length > 0) {
    ssize_t n = fs.write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return posixError(errno, "could not write", path);
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return {};
}

// The refusal of a file name.
kit::Unexpected refusal(std::string_view name) {
  std::string text(name);
  return kit::unexpected(kit::Error::make(
      KTKVStorageErrorDomain, KTKVStorageErrorInvalidFilename,
      kit::dict({{kit::LocalizedDescriptionKey, "refused the file name [" + text + "]"},
                 {KTKVStorageFilenameKey, text}})));
}

// Removes each entry of `folder` (files and folders alike); errors are
// ignored.
void removeEverythingIn(const std::string& folder) {
  auto files = kit::make<kit::FileManager>();
  auto entries = files->contentsOfDirectoryAtPath(folder);
  if (!entries) return;
  for (const kit::Id& entry : *entries) files->removeItemAtPath(joinPath(folder, kit::describe(entry)));
}

}  // namespace

KTKVFileStore::KTKVFileStore(std::string dataPath, std::string trashPath, std::shared_ptr<KTKVFileSystem> fileSystem,
                             std::string roomPath)
    : dataPath_(std::move(dataPath)),
      trashPath_(std::move(trashPath)),
      roomPath_(std::move(roomPath)),
      fs_(fileSystem ? std::move(fileSystem) : KTKVFileSystem::system()),
      trashQueue_(kit::Queue::serial("kt.kvstorage.trash")) {}

bool KTKVFileStore::isValidName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos && !isTemporaryName(name);
}

bool KTKVFileStore::isTemporaryName(std::string_view name) {
  return name.starts_with(TemporaryFilePrefix) && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

kit::Expected<void> KTKVFileStore::checkName(std::string_view name) {
  if (isValidName(name)) return {};
  return refusal(name);
}

std::string KTKVFileStore::pathOf(std::string_view name) const { return joinPath(dataPath_, name); }

off_t KTKVFileStore::roomSize() const {
  off_t size = -1;
  if (int fd = fs_->open(roomPath_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0); fd >= 0) {
    struct stat st{};
    if (fs_->fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size = st.st_size;
    fs_->close(fd);
  }
  return size;
}

bool KTKVFileStore::makeRoom() const {
  // Written beside it and renamed into place, so that a room cut short by a
  // full disk is never taken for a whole one.
  const std::string partial = roomPath_ + ".new";
  int fd = fs_->open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  static const std::vector<uint8_t> zeros(RoomBytes, 0);
  const bool written = writeAll(*fs_, fd, zeros.data(), zeros.size(), partial).hasValue();
  const bool closed = fs_->close(fd) == 0;
  if (written && closed && fs_->rename(partial.c_str(), roomPath_.c_str()) == 0) return true;
  fs_->unlink(partial.c_str());
  return false;
}

bool KTKVFileStore::keepRoom() const {
  if (roomPath_.empty()) return false;
  // A short room counts for nothing: what a full disk needs is all of it.
  return roomSize() == static_cast<off_t>(RoomBytes) || makeRoom();
}

int64_t KTKVFileStore::availableBytes() const { return fs_->availableBytes(dataPath_.c_str()); }

bool KTKVFileStore::releaseRoom() const {
  if (roomPath_.empty()) return false;
  // A part left by a process killed while making the room goes too.
  const bool partial = fs_->unlink((roomPath_ + ".new").c_str()) == 0;
  return fs_->unlink(roomPath_.c_str()) == 0 || partial;
}

kit::Expected<std::string> KTKVFileStore::writeTemporary(const kit::Data& value) const {
  std::string name = std::string(TemporaryFilePrefix) + kit::makeUUIDString();
  std::string path = pathOf(name);
  int fd = fs_->open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return posixError(errno, "could not create", path);
  kit::Expected<void> written = writeAll(*fs_, fd, value.bytes(), value.length(), path);
  // Synced before any row names it, so that a power cut never leaves a
  // recorded value file empty or torn.
  if (written && fs_->fsync(fd) != 0) written = posixError(errno, "could not sync", path);
  if (fs_->close(fd) != 0 && written) written = posixError(errno, "could not close", path);
  if (!written) {
    fs_->unlink(path.c_str());
    return kit::unexpected(written.error());
  }
  return name;
}

kit::Expected<void> KTKVFileStore::commit(std::string_view temporaryName, std::string_view name) const {
  if (auto valid = checkName(name); !valid) return valid;
  if (!isTemporaryName(temporaryName)) return refusal(temporaryName);
  std::string path = pathOf(name);
  if (fs_->rename(pathOf(temporaryName).c_str(), path.c_str()) != 0) {
    return posixError(errno, "could not rename into", path);
  }
  return {};
}

void KTKVFileStore::discard(std::string_view temporaryName) const {
  if (isTemporaryName(temporaryName)) fs_->unlink(pathOf(temporaryName).c_str());
}

kit::Expected<kit::Ref<kit::Data>> KTKVFileStore::read(std::string_view name) const {
  if (auto valid = checkName(name); !valid) return kit::unexpected(valid.error());
  std::string path = pathOf(name);
  // A link could name any file on the machine: it is no value file. Nor is
  // a pipe, which an open would otherwise wait on for a writer.
  int fd = fs_->open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0) return posixError(errno, "could not open", path);
  struct stat st{};
  const int statCode = fs_->fstat(fd, &st) != 0 ? errno : 0;
  if (statCode || !S_ISREG(st.st_mode)) {
    fs_->close(fd);
    if (statCode) return posixError(statCode, "could not read", path);
    if (S_ISDIR(st.st_mode)) return posixError(EISDIR, "could not read", path);
    return kit::unexpected(kit::Error::make(
        KTKVStorageErrorDomain, KTKVStorageErrorNotAFile,
        kit::dict({{kit::LocalizedDescriptionKey, "not a regular file: " + path}, {kit::FilePathErrorKey, path}})));
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t filled = 0;
  uint8_t more[4096];  // a file that grew since fstat goes on here
  for (;;) {
    const bool full = filled == bytes.size();
    ssize_t n = full ? fs_->read(fd, more, sizeof more) : fs_->read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      auto failed = posixError(errno, "could not read", path);
      fs_->close(fd);
      return failed;
    }
    if (n == 0) break;
    if (full) bytes.insert(bytes.end(), more, more + n);
    filled += static_cast<size_t>(n);
  }
  fs_->close(fd);
  bytes.resize(filled);
  return kit::Data::make(std::move(bytes));
}

bool KTKVFileStore::isGone(const kit::Error& readError) {
  if (readError.domain() == KTKVStorageErrorDomain) return true;
  if (readError.domain() != kit::POSIXErrorDomain) return false;
  // ELOOP: the name is a link, which O_NOFOLLOW does not open.
  const long code = readError.code();
  return code == ENOENT || code == ELOOP || code == EISDIR;
}

kit::Expected<void> KTKVFileStore::remove(std::string_view name) const {
  if (auto valid = checkName(name); !valid) return valid;
  std::string path = pathOf(name);
  if (fs_->unlink(path.c_str()) != 0) return posixError(errno, "could not remove", path);
  return {};
}

kit::Expected<void> KTKVFileStore::moveAllToTrash() const {
  std::string destination = joinPath(trashPath_, kit::makeUUIDString());
  if (fs_->rename(dataPath_.c_str(), destination.c_str()) != 0) {
    return posixError(errno, "could not move to the trash", dataPath_);
  }
  if (fs_->mkdir(dataPath_.c_str(), 0755) != 0) {
    // No empty folder in its place (a disk without a free inode): the old
    // one comes back rather than leave no folder at all.
    auto failed = posixError(errno, "could not create", dataPath_);
    fs_->rename(destination.c_str(), dataPath_.c_str());
    return failed;
  }
  return {};
}

void KTKVFileStore::emptyTrashInBackground() const {
  // Nothing to do most of the time: look before waking a worker.
  if (DIR* dir = ::opendir(trashPath_.c_str())) {
    bool empty = true;
    while (dirent* entry = ::readdir(dir)) {
      std::string_view name = entry->d_name;
      if (name != "." && name != "..") {
        empty = false;
        break;
      }
    }
    ::closedir(dir);
    if (empty) return;
  }
  trashQueue_->async([trashPath = trashPath_] { removeEverythingIn(trashPath); });
}

void KTKVFileStore::emptyTrash() const { removeEverythingIn(trashPath_); }

void KTKVFileStore::removeStaleTemporaryFiles() const {
  // Only a killed process leaves these behind: a finished save renames its
  // file and a failed one removes it. The owner replays its journal first,
  // which renames the temporary files of saves already recorded.
  DIR* dir = fs_->opendir(dataPath_.c_str());
  if (!dir) return;
  std::vector<std::string> stale;
  while (dirent* entry = ::readdir(dir)) {
    if (isTemporaryName(entry->d_name)) stale.emplace_back(entry->d_name);
  }
  fs_->closedir(dir);
  for (const auto& name : stale) fs_->unlink(pathOf(name).c_str());
}
