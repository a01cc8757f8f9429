// The key-value storage's value files and trash.

#include "data/cache/kv_file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

kit::Expected<void> writeAll(int fd, const uint8_t* bytes, size_t length, const std::string& path) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return posixError(errno, "could not write", path);
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return {};
}

}  // namespace

KTKVFileStore::KTKVFileStore(std::string dataPath, std::string trashPath)
    : dataPath_(std::move(dataPath)),
      trashPath_(std::move(trashPath)),
      trashQueue_(kit::Queue::serial("kt.kvstorage.trash")) {}

bool KTKVFileStore::isValidName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos && !name.starts_with(TemporaryFilePrefix);
}

kit::Expected<void> KTKVFileStore::checkName(std::string_view name) {
  if (isValidName(name)) return {};
  std::string text(name);
  return kit::unexpected(kit::Error::make(
      KTKVStorageErrorDomain, KTKVStorageErrorInvalidFilename,
      kit::dict({{kit::LocalizedDescriptionKey, "refused the file name [" + text + "]"},
                 {KTKVStorageFilenameKey, text}})));
}

std::string KTKVFileStore::pathOf(std::string_view name) const { return joinPath(dataPath_, name); }

kit::Expected<std::string> KTKVFileStore::writeTemporary(const kit::Data& value) const {
  std::string temporary = pathOf(std::string(TemporaryFilePrefix) + kit::makeUUIDString());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return posixError(errno, "could not create", temporary);
  kit::Expected<void> written = writeAll(fd, value.bytes(), value.length(), temporary);
  if (::close(fd) != 0 && written) written = posixError(errno, "could not close", temporary);
  if (!written) {
    ::unlink(temporary.c_str());
    return kit::unexpected(written.error());
  }
  return temporary;
}

kit::Expected<void> KTKVFileStore::commit(const std::string& temporaryPath, std::string_view name) const {
  if (auto valid = checkName(name); !valid) {
    discard(temporaryPath);
    return valid;
  }
  std::string path = pathOf(name);
  if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
    auto failed = posixError(errno, "could not rename into", path);
    discard(temporaryPath);
    return failed;
  }
  return {};
}

void KTKVFileStore::discard(const std::string& temporaryPath) const { ::unlink(temporaryPath.c_str()); }

kit::Expected<kit::Ref<kit::Data>> KTKVFileStore::read(std::string_view name) const {
  if (auto valid = checkName(name); !valid) return kit::unexpected(valid.error());
  std::string path = pathOf(name);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return posixError(errno, "could not open", path);
  struct stat st{};
  const int statCode = ::fstat(fd, &st) != 0 ? errno : 0;
  if (statCode || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return posixError(statCode ? statCode : S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "could not read", path);
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  size_t filled = 0;
  uint8_t more[4096];  // a file that grew since fstat goes on here
  for (;;) {
    const bool full = filled == bytes.size();
    ssize_t n = full ? ::read(fd, more, sizeof more) : ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      auto failed = posixError(errno, "could not read", path);
      ::close(fd);
      return failed;
    }
    if (n == 0) break;
    if (full) bytes.insert(bytes.end(), more, more + n);
    filled += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(filled);
  return kit::Data::make(std::move(bytes));
}

kit::Expected<void> KTKVFileStore::remove(std::string_view name) const {
  if (auto valid = checkName(name); !valid) return valid;
  std::string path = pathOf(name);
  if (::unlink(path.c_str()) != 0) return posixError(errno, "could not remove", path);
  return {};
}

kit::Expected<void> KTKVFileStore::moveAllToTrash() const {
  auto files = kit::FileManager::defaultManager();
  kit::Ref<kit::Error> error;
  std::string destination = joinPath(trashPath_, kit::makeUUIDString());
  if (!files->moveItemAtPath(dataPath_, destination, &error) ||
      !files->createDirectoryAtPath(dataPath_, true, nullptr, &error)) {
    return kit::unexpected(error ? error : kit::Error::make(kit::CocoaErrorDomain, 0, "could not empty " + dataPath_));
  }
  return {};
}

void KTKVFileStore::emptyTrashInBackground() const {
  trashQueue_->async([trashPath = trashPath_] {
    auto files = kit::make<kit::FileManager>();
    auto entries = files->contentsOfDirectoryAtPath(trashPath);
    if (!entries) return;
    for (const kit::Id& entry : *entries) files->removeItemAtPath(joinPath(trashPath, kit::describe(entry)));
  });
}

void KTKVFileStore::removeStaleTemporaryFiles() const {
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
