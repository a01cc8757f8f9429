// The file-system calls the key-value storage's value files go through: one
// seam, so that tests can fail the Nth write, fsync, rename or removal (or
// kill the process there) and check what the storage leaves behind, the way
// storage engines test their I/O-error and crash paths.
//
// Each call has the meaning, the arguments and the result of the POSIX call
// of its name: -1 (or a null directory) with errno set on failure. The
// default object makes the system calls themselves; a test overrides the
// calls it wants to fail and passes the object to KTKVStorage::initWithPath.
// Calls come from the storage's one thread at a time.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>

class KTKVFileSystem {
 public:
  virtual ~KTKVFileSystem() = default;

  // The calls made by the system itself, shared by every storage.
  static const std::shared_ptr<KTKVFileSystem>& system();

  virtual int open(const char* path, int flags, mode_t mode);
  virtual ssize_t read(int fd, void* bytes, size_t length);
  virtual ssize_t write(int fd, const void* bytes, size_t length);
  virtual int fstat(int fd, struct stat* status);
  virtual int fsync(int fd);
  virtual int close(int fd);
  virtual int rename(const char* from, const char* to);
  virtual int unlink(const char* path);
  virtual int mkdir(const char* path, mode_t mode);
  virtual DIR* opendir(const char* path);
  virtual int closedir(DIR* dir);
  // The bytes free for this process on the file system holding `path` (as
  // statvfs counts them), or -1 when that cannot be told.
  virtual int64_t availableBytes(const char* path);
};
