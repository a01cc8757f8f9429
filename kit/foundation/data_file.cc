// Whole-file reads and (atomic) writes.

#include "kit/foundation/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "kit/foundation/values.h"

namespace kit {

namespace {

void setError(Ref<Error>* error, Ref<Error> value) {
  if (error) *error = std::move(value);
}

// The process's file-creation mask, read without changing it.
mode_t currentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
  }
  return 022;
}

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

bool writeAtomically(const Data& data, const std::string& path, Ref<Error>* error) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) {
    setError(error, fileError(EISDIR, FileOperation::Write, path));
    return false;
  }
  std::string temp = folder + "/." + name + ".XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    setError(error, fileError(errno, FileOperation::Write, path));
    return false;
  }
  // Keep the mode of the file being replaced; a new file gets the usual one.
  struct stat existing{};
  const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : (0666 & ~currentUmask());
  bool ok = writeAll(fd, data.bytes(), data.length()) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    setError(error, fileError(savedErrno, FileOperation::Write, path));
    return false;
  }
  // Make the rename itself durable.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

int openRegularFileForReading(const std::string& path) {
  auto refuse = [](const struct stat& st) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
  };
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return refuse(st);
  // Something else may take the file's place between the check and the
  // open: opened without blocking, it is refused by the second check.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int savedErrno = errno;
    ::close(fd);
    if (!S_ISREG(st.st_mode)) return refuse(st);
    errno = savedErrno;
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

Ref<Data> dataWithContentsOfFile(PathArg path, Ref<Error>* error, size_t maxBytes) {
  const std::string p = path.str();
  if (p.empty()) {
    setError(error, fileError(ENOENT, FileOperation::Read, p));
    return nullptr;
  }
  int fd = openRegularFileForReading(p);
  if (fd < 0) {
    setError(error, fileError(errno, FileOperation::Read, p));
    return nullptr;
  }
  struct stat st{};
  fstat(fd, &st);
  if (st.st_size > 0 && static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    setError(error, fileError(EFBIG, FileOperation::Read, p));
    return nullptr;
  }
  std::vector<uint8_t> bytes;
  if (st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  uint8_t buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int savedErrno = errno;
      ::close(fd);
      setError(error, fileError(savedErrno, FileOperation::Read, p));
      return nullptr;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > maxBytes) {  // the file grew while being read
      ::close(fd);
      setError(error, fileError(EFBIG, FileOperation::Read, p));
      return nullptr;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  return Data::make(std::move(bytes));
}

bool writeDataToFile(const Data& data, PathArg path, bool atomically, Ref<Error>* error) {
  const std::string p = path.str();
  if (p.empty()) {
    setError(error, fileError(ENOENT, FileOperation::Write, p));
    return false;
  }
  if (atomically) return writeAtomically(data, p, error);
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    setError(error, fileError(errno, FileOperation::Write, p));
    return false;
  }
  bool ok = writeAll(fd, data.bytes(), data.length());
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) setError(error, fileError(savedErrno, FileOperation::Write, p));
  return ok;
}

Ref<String> stringWithContentsOfFile(PathArg path, Ref<Error>* error) {
  Ref<Data> data = dataWithContentsOfFile(path, error);
  if (!data) return nullptr;
  Ref<String> text = String::fromUTF8Bytes(data->view());
  if (!text) {
    const std::string name = String(path.str()).lastPathComponent()->utf8();
    setError(error, Error::make(CocoaErrorDomain, FileReadInapplicableStringEncodingError,
                                dict({{LocalizedDescriptionKey, "The file \u201c" + name +
                                                                    "\u201d couldn\u2019t be opened using text "
                                                                    "encoding Unicode (UTF-8)."},
                                      {FilePathErrorKey, path.str()},
                                      {StringEncodingErrorKey, 4}})));
    return nullptr;
  }
  return text;
}

bool writeStringToFile(std::string_view text, PathArg path, bool atomically, Ref<Error>* error) {
  return writeDataToFile(*Data::make(text), path, atomically, error);
}

}  // namespace kit
