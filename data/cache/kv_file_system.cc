// The key-value storage's file-system calls, made by the system.

#include "data/cache/kv_file_system.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <stdio.h>
#include <unistd.h>

#include "kit/foundation/no_destructor.h"

const std::shared_ptr<KTKVFileSystem>& KTKVFileSystem::system() {
  static const kit::NoDestructor<std::shared_ptr<KTKVFileSystem>> shared(std::make_shared<KTKVFileSystem>());
  return *shared;
}

int KTKVFileSystem::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
ssize_t KTKVFileSystem::read(int fd, void* bytes, size_t length) { return ::read(fd, bytes, length); }
ssize_t KTKVFileSystem::write(int fd, const void* bytes, size_t length) { return ::write(fd, bytes, length); }
int KTKVFileSystem::fstat(int fd, struct stat* status) { return ::fstat(fd, status); }
int KTKVFileSystem::fsync(int fd) { return ::fsync(fd); }
int KTKVFileSystem::close(int fd) { return ::close(fd); }
int KTKVFileSystem::rename(const char* from, const char* to) { return ::rename(from, to); }
int KTKVFileSystem::unlink(const char* path) { return ::unlink(path); }
int KTKVFileSystem::mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
DIR* KTKVFileSystem::opendir(const char* path) { return ::opendir(path); }
int KTKVFileSystem::closedir(DIR* dir) { return ::closedir(dir); }
int64_t KTKVFileSystem::availableBytes(const char* path) {
  struct statvfs status {};
  if (::statvfs(path, &status) != 0) return -1;
  return static_cast<int64_t>(status.f_bavail) * static_cast<int64_t>(status.f_frsize);
}
