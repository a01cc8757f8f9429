// Whole-file reads and atomic writes.

#include "kit/foundation/file_contents.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kit/foundation/values.h"

namespace kit {
namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

Ref<Error> fileError(bool writing, int posixError, const std::string& path) {
  long code;
  switch (posixError) {
    case ENOENT:
    case ENOTDIR: code = writing ? FileWriteUnknownError : FileReadNoSuchFileError; break;
    case EACCES:
    case EPERM: code = writing ? FileWriteNoPermissionError : FileReadNoPermissionError; break;
    case EFBIG: code = writing ? FileWriteOutOfSpaceError : FileReadTooLargeError; break;
    case ENOSPC:
    case EDQUOT: code = writing ? FileWriteOutOfSpaceError : FileReadUnknownError; break;
    case EROFS: code = writing ? FileWriteVolumeReadOnlyError : FileReadUnknownError; break;
    default: code = writing ? FileWriteUnknownError : FileReadUnknownError;
  }
  std::string text = std::string(writing ? "The file couldn\u2019t be saved: " : "The file couldn\u2019t be opened: ") +
                     std::strerror(posixError) + " (" + path + ")";
  return Error::make(CocoaErrorDomain, code,
                     dict({{LocalizedDescriptionKey, text},
                           {FilePathErrorKey, path},
                           {UnderlyingErrorKey, Error::make(POSIXErrorDomain, posixError, std::strerror(posixError))}}));
}

bool readFileContents(const std::string& path, std::string& out, Ref<Error>* error, size_t maxBytes) {
  auto fail = [&](int err) {
    if (error) *error = fileError(false, err, path);
    return false;
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    return fail(err);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(fd);
    return fail(EISDIR);
  }
  std::string bytes;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      return fail(err);
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
      ::close(fd);
      return fail(EFBIG);
    }
    bytes.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  out = std::move(bytes);
  return true;
}

bool writeFileContents(const std::string& path, std::string_view bytes, bool atomically, Ref<Error>* error) {
  auto fail = [&](int err) {
    if (error) *error = fileError(true, err, path);
    return false;
  };
  if (!atomically) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return fail(errno);
    bool ok = writeAll(fd, bytes);
    int err = errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    return ok ? true : fail(err);
  }

  std::string temp = directoryOf(path) + "/." + path.substr(path.rfind('/') + 1) + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(errno);
  bool ok = ::fchmod(fd, 0644) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    return fail(err);
  }
  // Make the rename itself durable.
  int dir = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace kit
