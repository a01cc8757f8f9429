// The file manager on POSIX calls.

#include "kit/foundation/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "kit/foundation/data_file.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/number.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/values.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(FileManager, Object, "NSFileManager") {}
KIT_DEFINE_CLASS_NAMED(DirectoryEnumerator, Object, "NSDirectoryEnumerator") {}

namespace {

void setError(Ref<Error>* error, Ref<Error> value) {
  if (error) *error = std::move(value);
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

const char* typeName(mode_t mode) {
  if (S_ISREG(mode)) return FileTypeRegular;
  if (S_ISDIR(mode)) return FileTypeDirectory;
  if (S_ISLNK(mode)) return FileTypeSymbolicLink;
  if (S_ISCHR(mode)) return FileTypeCharacterSpecial;
  if (S_ISBLK(mode)) return FileTypeBlockSpecial;
  if (S_ISSOCK(mode)) return FileTypeSocket;
  return FileTypeUnknown;
}

Ref<Date> dateOf(const timespec& t) {
  return Date::dateWithTimeIntervalSince1970(static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9);
}

Ref<Dictionary> attributesOf(const struct stat& st) {
  return dict({
      {FileType, typeName(st.st_mode)},
      {FileSize, static_cast<unsigned long long>(st.st_size)},
      {FileModificationDate, Id(dateOf(st.st_mtim))},
      {FilePosixPermissions, static_cast<unsigned long long>(st.st_mode & 07777)},
      {FileReferenceCount, static_cast<unsigned long long>(st.st_nlink)},
      {FileOwnerAccountID, static_cast<unsigned long long>(st.st_uid)},
      {FileGroupOwnerAccountID, static_cast<unsigned long long>(st.st_gid)},
      {FileSystemNumber, static_cast<unsigned long long>(st.st_dev)},
      {FileSystemFileNumber, static_cast<unsigned long long>(st.st_ino)},
  });
}

// The names in a folder, sorted; errno in *err on failure.
std::optional<std::vector<std::string>> listNames(const std::string& path, int* err) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) {
    *err = errno;
    return std::nullopt;
  }
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const int readErrno = errno;
  ::closedir(dir);
  if (readErrno != 0) {
    *err = readErrno;
    return std::nullopt;
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool removeTree(const std::string& path, int* err) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) {
    *err = errno;
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    auto names = listNames(path, err);
    if (!names) return false;
    for (const std::string& name : *names) {
      if (!removeTree(join(path, name), err)) return false;
    }
    if (::rmdir(path.c_str()) != 0) {
      *err = errno;
      return false;
    }
    return true;
  }
  if (::unlink(path.c_str()) != 0) {
    *err = errno;
    return false;
  }
  return true;
}

bool copyFileContents(const std::string& source, const std::string& destination, const struct stat& st, int* err) {
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *err = errno;
    return false;
  }
  int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) {
    *err = errno;
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) {
        *err = errno;
        ok = false;
      }
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        *err = errno;
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (ok && (::fchmod(out, st.st_mode & 07777) != 0 || ::futimens(out, times) != 0)) {
    *err = errno;
    ok = false;
  }
  if (::close(out) != 0 && ok) {
    *err = errno;
    ok = false;
  }
  ::close(in);
  return ok;
}

bool copyTree(const std::string& source, const std::string& destination, int* err) {
  struct stat st{};
  if (::lstat(source.c_str(), &st) != 0) {
    *err = errno;
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlink(source.c_str(), target.data(), target.size());
    if (n < 0) {
      *err = errno;
      return false;
    }
    target.resize(static_cast<size_t>(n));
    if (::symlink(target.c_str(), destination.c_str()) != 0) {
      *err = errno;
      return false;
    }
    return true;
  }
  if (S_ISREG(st.st_mode)) return copyFileContents(source, destination, st, err);
  if (!S_ISDIR(st.st_mode)) {
    *err = ENOTSUP;
    return false;
  }
  if (::mkdir(destination.c_str(), 0700) != 0) {
    *err = errno;
    return false;
  }
  auto names = listNames(source, err);
  if (!names) return false;
  for (const std::string& name : *names) {
    if (!copyTree(join(source, name), join(destination, name), err)) return false;
  }
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (::chmod(destination.c_str(), st.st_mode & 07777) != 0 ||
      ::utimensat(AT_FDCWD, destination.c_str(), times, 0) != 0) {
    *err = errno;
    return false;
  }
  return true;
}

bool sameContents(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  if (::lstat(a.c_str(), &sa) != 0 || ::lstat(b.c_str(), &sb) != 0) return false;
  if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT)) return false;
  if (S_ISREG(sa.st_mode)) {
    if (sa.st_size != sb.st_size) return false;
    auto da = dataWithContentsOfFile(a), db = dataWithContentsOfFile(b);
    return da && db && da->isEqualToData(*db);
  }
  if (S_ISLNK(sa.st_mode)) {
    char ta[4096], tb[4096];
    ssize_t na = ::readlink(a.c_str(), ta, sizeof ta), nb = ::readlink(b.c_str(), tb, sizeof tb);
    return na >= 0 && na == nb && std::equal(ta, ta + na, tb);
  }
  if (S_ISDIR(sa.st_mode)) {
    int err = 0;
    auto na = listNames(a, &err), nb = listNames(b, &err);
    if (!na || !nb || *na != *nb) return false;
    for (const std::string& name : *na) {
      if (!sameContents(join(a, name), join(b, name))) return false;
    }
    return true;
  }
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

struct HookState {
  std::mutex mutex;
  FileManager::FreeSizeHook hook;
};

HookState& hookState() {
  static NoDestructor<HookState> s;  // lives for the process
  return *s;
}

std::optional<unsigned long long> permissionsIn(const Ref<Dictionary>& attributes) {
  if (!attributes) return std::nullopt;
  auto n = as<Number>(attributes->objectForKey(std::string_view(FilePosixPermissions)));
  if (!n) return std::nullopt;
  return n->unsignedLongLongValue() & 07777;
}

}  // namespace

// ---- Attribute readers ----------------------------------------------------

unsigned long long fileSize(const Ref<Dictionary>& attributes) {
  auto n = attributes ? as<Number>(attributes->objectForKey(std::string_view(FileSize))) : nullptr;
  return n ? n->unsignedLongLongValue() : 0;
}

Ref<Date> fileModificationDate(const Ref<Dictionary>& attributes) {
  return attributes ? as<Date>(attributes->objectForKey(std::string_view(FileModificationDate))) : nullptr;
}

std::string fileType(const Ref<Dictionary>& attributes) {
  auto s = attributes ? as<String>(attributes->objectForKey(std::string_view(FileType))) : nullptr;
  return s ? s->utf8() : "";
}

// ---- DirectoryEnumerator --------------------------------------------------

DirectoryEnumerator::DirectoryEnumerator(std::string root) : root_(std::move(root)) { push(""); }

DirectoryEnumerator::~DirectoryEnumerator() = default;

bool DirectoryEnumerator::push(const std::string& relative) {
  int err = 0;
  auto names = listNames(relative.empty() ? root_ : join(root_, relative), &err);
  if (!names) return false;
  stack_.push_back(Frame{relative, std::move(*names), 0});
  return true;
}

Ref<String> DirectoryEnumerator::nextObject() {
  if (currentIsDirectory_ && descend_) push(current_);
  currentIsDirectory_ = false;
  while (!stack_.empty()) {
    Frame& top = stack_.back();
    if (top.next == top.names.size()) {
      stack_.pop_back();
      continue;
    }
    current_ = top.relative.empty() ? top.names[top.next] : join(top.relative, top.names[top.next]);
    ++top.next;
    level_ = stack_.size();
    struct stat st{};
    currentIsDirectory_ = ::lstat(join(root_, current_).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    descend_ = true;
    return String::make(current_);
  }
  level_ = 0;
  return nullptr;
}

Ref<Dictionary> DirectoryEnumerator::fileAttributes() const {
  struct stat st{};
  if (current_.empty() || ::lstat(join(root_, current_).c_str(), &st) != 0) return nullptr;
  return attributesOf(st);
}

Ref<Array> DirectoryEnumerator::allObjects() {
  std::vector<Id> out;
  while (Ref<String> next = nextObject()) out.push_back(next);
  return Array::make(std::move(out));
}

// ---- FileManager ----------------------------------------------------------

Ref<FileManager> FileManager::defaultManager() {
  static NoDestructor<Ref<FileManager>> manager(std::make_shared<FileManager>());  // lives for the process
  return *manager;
}

bool FileManager::fileExistsAtPath(PathArg path, bool* isDirectory) const {
  struct stat st{};
  if (path.empty() || ::stat(path.str().c_str(), &st) != 0) return false;
  if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
  return true;
}

bool FileManager::isReadableFileAtPath(PathArg path) const {
  return !path.empty() && ::access(path.str().c_str(), R_OK) == 0;
}

bool FileManager::isWritableFileAtPath(PathArg path) const {
  return !path.empty() && ::access(path.str().c_str(), W_OK) == 0;
}

bool FileManager::isExecutableFileAtPath(PathArg path) const {
  return !path.empty() && ::access(path.str().c_str(), X_OK) == 0;
}

bool FileManager::isDeletableFileAtPath(PathArg path) const {
  struct stat st{};
  if (path.empty() || ::lstat(path.str().c_str(), &st) != 0) return false;
  std::string parent = String(path.str()).stringByDeletingLastPathComponent()->utf8();
  if (parent.empty()) parent = ".";
  return ::access(parent.c_str(), W_OK | X_OK) == 0;
}

bool FileManager::createDirectoryAtPath(PathArg path, bool withIntermediateDirectories,
                                        const Ref<Dictionary>& attributes, Ref<Error>* error) const {
  const std::string p = path.str();
  if (p.empty()) {
    setError(error, fileError(ENOENT, FileOperation::CreateDirectory, p));
    return false;
  }
  auto madeFolder = [&](const std::string& folder) {
    if (::mkdir(folder.c_str(), 0777) == 0) return true;
    const int err = errno;
    struct stat st{};
    if (err == EEXIST && withIntermediateDirectories && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      return true;
    }
    setError(error, fileError(err, FileOperation::CreateDirectory, folder));
    return false;
  };
  if (withIntermediateDirectories) {
    for (size_t slash = p.find('/', 1); slash != std::string::npos; slash = p.find('/', slash + 1)) {
      if (p[slash - 1] == '/') continue;
      if (!madeFolder(p.substr(0, slash))) return false;
    }
  }
  if (!madeFolder(p)) return false;
  if (auto mode = permissionsIn(attributes)) {
    if (::chmod(p.c_str(), static_cast<mode_t>(*mode)) != 0) {
      setError(error, fileError(errno, FileOperation::CreateDirectory, p));
      return false;
    }
  }
  return true;
}

bool FileManager::createFileAtPath(PathArg path, const Ref<Data>& contents, const Ref<Dictionary>& attributes) const {
  if (!writeDataToFile(contents ? *contents : *Data::make(), path, true)) return false;
  return !attributes || setAttributes(attributes, path);
}

Ref<Data> FileManager::contentsAtPath(PathArg path) const { return dataWithContentsOfFile(path); }

bool FileManager::contentsEqualAtPath(PathArg path1, PathArg path2) const {
  return !path1.empty() && !path2.empty() && sameContents(path1.str(), path2.str());
}

bool FileManager::removeItemAtPath(PathArg path, Ref<Error>* error) const {
  int err = ENOENT;
  if (!path.empty() && removeTree(path.str(), &err)) return true;
  setError(error, fileError(err, FileOperation::Remove, path.view()));
  return false;
}

bool FileManager::moveItemAtPath(PathArg source, PathArg destination, Ref<Error>* error) const {
  const std::string from = source.str(), to = destination.str();
  auto fail = [&](int err) {
    setError(error, fileError(err, FileOperation::Move, from, to));
    return false;
  };
  struct stat st{};
  if (from.empty() || to.empty() || ::lstat(from.c_str(), &st) != 0) return fail(from.empty() || to.empty() ? ENOENT : errno);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // The file system cannot refuse to replace: check, then rename.
    struct stat existing{};
    if (::lstat(to.c_str(), &existing) == 0) return fail(EEXIST);
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    err = errno;
  }
  if (err != EXDEV) return fail(err);
  // Across file systems: copy, then remove the original.
  if (!copyTree(from, to, &err)) {
    int ignored = 0;
    if (err != EEXIST) removeTree(to, &ignored);
    return fail(err);
  }
  if (!removeTree(from, &err)) return fail(err);
  return true;
}

bool FileManager::copyItemAtPath(PathArg source, PathArg destination, Ref<Error>* error) const {
  const std::string from = source.str(), to = destination.str();
  auto fail = [&](int err) {
    setError(error, fileError(err, FileOperation::Copy, from, to));
    return false;
  };
  struct stat st{};
  if (from.empty() || to.empty() || ::lstat(from.c_str(), &st) != 0) return fail(from.empty() || to.empty() ? ENOENT : errno);
  if (::lstat(to.c_str(), &st) == 0) return fail(EEXIST);
  int err = 0;
  if (!copyTree(from, to, &err)) {
    // Remove what this copy made, but never something that was there.
    int ignored = 0;
    if (err != EEXIST) removeTree(to, &ignored);
    return fail(err);
  }
  return true;
}

bool FileManager::createSymbolicLinkAtPath(PathArg path, PathArg destination, Ref<Error>* error) const {
  if (!path.empty() && !destination.empty() && ::symlink(destination.str().c_str(), path.str().c_str()) == 0) {
    return true;
  }
  setError(error, fileError(path.empty() || destination.empty() ? ENOENT : errno, FileOperation::Link, path.view(),
                            destination.view()));
  return false;
}

Ref<String> FileManager::destinationOfSymbolicLinkAtPath(PathArg path, Ref<Error>* error) const {
  char target[4096];
  ssize_t n = path.empty() ? -1 : ::readlink(path.str().c_str(), target, sizeof target);
  if (n < 0 || static_cast<size_t>(n) == sizeof target) {
    setError(error, fileError(n < 0 && !path.empty() ? errno : ENAMETOOLONG, FileOperation::Read, path.view()));
    return nullptr;
  }
  return String::make(std::string_view(target, static_cast<size_t>(n)));
}

Ref<Array> FileManager::contentsOfDirectoryAtPath(PathArg path, Ref<Error>* error) const {
  int err = ENOENT;
  auto names = path.empty() ? std::nullopt : listNames(path.str(), &err);
  if (!names) {
    setError(error, fileError(err, FileOperation::List, path.view()));
    return nullptr;
  }
  std::vector<Id> out;
  for (const std::string& name : *names) out.push_back(String::make(name));
  return Array::make(std::move(out));
}

Ref<Array> FileManager::subpathsOfDirectoryAtPath(PathArg path, Ref<Error>* error) const {
  int err = ENOENT;
  if (path.empty() || !listNames(path.str(), &err)) {
    setError(error, fileError(err, FileOperation::List, path.view()));
    return nullptr;
  }
  return DirectoryEnumerator(path.str()).allObjects();
}

Ref<DirectoryEnumerator> FileManager::enumeratorAtPath(PathArg path) const {
  bool isDirectory = false;
  if (!fileExistsAtPath(path, &isDirectory) || !isDirectory) return nullptr;
  return std::make_shared<DirectoryEnumerator>(path.str());
}

Ref<Dictionary> FileManager::attributesOfItemAtPath(PathArg path, Ref<Error>* error) const {
  struct stat st{};
  if (path.empty() || ::lstat(path.str().c_str(), &st) != 0) {
    setError(error, fileError(path.empty() ? ENOENT : errno, FileOperation::Attributes, path.view()));
    return nullptr;
  }
  return attributesOf(st);
}

bool FileManager::setAttributes(const Ref<Dictionary>& attributes, PathArg path, Ref<Error>* error) const {
  const std::string p = path.str();
  if (p.empty()) {
    setError(error, fileError(ENOENT, FileOperation::Write, p));
    return false;
  }
  if (!attributes) return true;
  if (auto mode = permissionsIn(attributes)) {
    if (::chmod(p.c_str(), static_cast<mode_t>(*mode)) != 0) {
      setError(error, fileError(errno, FileOperation::Write, p));
      return false;
    }
  }
  if (auto date = as<Date>(attributes->objectForKey(std::string_view(FileModificationDate)))) {
    const double t = date->timeIntervalSince1970();
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    const double whole = std::floor(std::clamp(t, -1e15, 1e15));
    times[1].tv_sec = static_cast<time_t>(whole);
    times[1].tv_nsec = static_cast<long>(std::clamp((t - whole) * 1e9, 0.0, 999999999.0));
    if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) {
      setError(error, fileError(errno, FileOperation::Write, p));
      return false;
    }
  }
  return true;
}

Ref<Dictionary> FileManager::attributesOfFileSystemForPath(PathArg path, Ref<Error>* error) const {
  const std::string p = path.str();
  struct statvfs vfs{};
  struct stat st{};
  if (p.empty() || ::statvfs(p.c_str(), &vfs) != 0 || ::stat(p.c_str(), &st) != 0) {
    setError(error, fileError(p.empty() ? ENOENT : errno, FileOperation::Attributes, p));
    return nullptr;
  }
  unsigned long long freeSize = static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
  FreeSizeHook hook;
  {
    std::lock_guard lock(hookState().mutex);
    hook = hookState().hook;
  }
  if (hook) {
    if (auto replaced = hook(p)) freeSize = *replaced;
  }
  return dict({
      {FileSystemSize, static_cast<unsigned long long>(vfs.f_blocks) * vfs.f_frsize},
      {FileSystemFreeSize, freeSize},
      {FileSystemNodes, static_cast<unsigned long long>(vfs.f_files)},
      {FileSystemFreeNodes, static_cast<unsigned long long>(vfs.f_ffree)},
      {FileSystemNumber, static_cast<unsigned long long>(st.st_dev)},
  });
}

Ref<String> FileManager::currentDirectoryPath() const {
  std::string buffer(4096, '\0');
  if (!::getcwd(buffer.data(), buffer.size())) return String::make("");
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return String::make(buffer);
}

Ref<String> FileManager::temporaryDirectory() const { return kit::temporaryDirectory(); }

FileManager::FreeSizeHook FileManager::setFileSystemFreeSizeHook(FreeSizeHook hook) {
  std::lock_guard lock(hookState().mutex);
  return std::exchange(hookState().hook, std::move(hook));
}

ScopedFileSystemFreeSize::ScopedFileSystemFreeSize(unsigned long long bytes)
    : previous_(FileManager::setFileSystemFreeSizeHook(
          [bytes](const std::string&) -> std::optional<unsigned long long> { return bytes; })) {}

ScopedFileSystemFreeSize::~ScopedFileSystemFreeSize() { FileManager::setFileSystemFreeSizeHook(std::move(previous_)); }

}  // namespace kit
