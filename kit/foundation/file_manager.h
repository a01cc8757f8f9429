// The file manager: existence checks, directories, files, moving, copying,
// removing, listing, attributes and file-system figures, on POSIX calls.
// Failures return NO / nil and, when the caller passes an error slot, a
// Cocoa-domain kit::Error (see file_error.h).
//
// The free space that attributesOfFileSystemForPath reports can be replaced
// for tests (ScopedFileSystemFreeSize), so that code reacting to a full
// disk can be exercised without filling one.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/data.h"
#include "kit/foundation/date.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/file_error.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

namespace kit {

// A path argument: text in any of the forms product code holds it. A nil
// String is the empty path, which no operation accepts.
class PathArg {
 public:
  PathArg(std::string_view path) : path_(path) {}
  PathArg(const char* path) : path_(path ? path : "") {}
  PathArg(const std::string& path) : path_(path) {}
  PathArg(const Ref<String>& path) : path_(path ? std::string_view(path->utf8()) : std::string_view()) {}
  PathArg(const Ref<MutableString>& path) : path_(path ? std::string_view(path->utf8()) : std::string_view()) {}

  std::string_view view() const { return path_; }
  std::string str() const { return std::string(path_); }
  bool empty() const { return path_.empty(); }

 private:
  std::string_view path_;
};

// Attribute keys and values, as the platform names them.
inline constexpr const char* FileType = "NSFileType";
inline constexpr const char* FileTypeRegular = "NSFileTypeRegular";
inline constexpr const char* FileTypeDirectory = "NSFileTypeDirectory";
inline constexpr const char* FileTypeSymbolicLink = "NSFileTypeSymbolicLink";
inline constexpr const char* FileTypeCharacterSpecial = "NSFileTypeCharacterSpecial";
inline constexpr const char* FileTypeBlockSpecial = "NSFileTypeBlockSpecial";
inline constexpr const char* FileTypeSocket = "NSFileTypeSocket";
inline constexpr const char* FileTypeUnknown = "NSFileTypeUnknown";
inline constexpr const char* FileSize = "NSFileSize";
inline constexpr const char* FileModificationDate = "NSFileModificationDate";
inline constexpr const char* FilePosixPermissions = "NSFilePosixPermissions";
inline constexpr const char* FileReferenceCount = "NSFileReferenceCount";
inline constexpr const char* FileOwnerAccountID = "NSFileOwnerAccountID";
inline constexpr const char* FileGroupOwnerAccountID = "NSFileGroupOwnerAccountID";
inline constexpr const char* FileSystemNumber = "NSFileSystemNumber";
inline constexpr const char* FileSystemFileNumber = "NSFileSystemFileNumber";
inline constexpr const char* FileSystemSize = "NSFileSystemSize";
inline constexpr const char* FileSystemFreeSize = "NSFileSystemFreeSize";
inline constexpr const char* FileSystemNodes = "NSFileSystemNodes";
inline constexpr const char* FileSystemFreeNodes = "NSFileSystemFreeNodes";

// Readers for an attribute dictionary (0 / nil / "" when absent).
unsigned long long fileSize(const Ref<Dictionary>& attributes);
Ref<Date> fileModificationDate(const Ref<Dictionary>& attributes);
std::string fileType(const Ref<Dictionary>& attributes);

// Walks a directory tree depth first, in name order, giving paths relative
// to the start. Symbolic links to directories are listed, not followed;
// folders that cannot be read are skipped.
class DirectoryEnumerator : public Object {
 public:
  explicit DirectoryEnumerator(std::string root);
  ~DirectoryEnumerator() override;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // The next relative path, or nil at the end.
  Ref<String> nextObject();
  // Do not descend into the directory nextObject just returned.
  void skipDescendants() { descend_ = false; }
  // Depth of the path nextObject just returned (1 for the start's entries).
  size_t level() const { return level_; }
  // The attributes of the path nextObject just returned.
  Ref<Dictionary> fileAttributes() const;
  Ref<Array> allObjects();

 private:
  struct Frame {
    std::string relative;           // prefix of this folder's entries
    std::vector<std::string> names; // sorted
    size_t next = 0;
  };
  bool push(const std::string& relative);

  std::string root_;
  std::vector<Frame> stack_;
  std::string current_;       // relative path last returned
  bool currentIsDirectory_ = false;
  bool descend_ = false;
  size_t level_ = 0;
};

class FileManager : public Object {
 public:
  FileManager() = default;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<FileManager> defaultManager();

  // Follows symbolic links: a link to nothing does not exist.
  bool fileExistsAtPath(PathArg path, bool* isDirectory = nullptr) const;
  bool isReadableFileAtPath(PathArg path) const;
  bool isWritableFileAtPath(PathArg path) const;
  bool isExecutableFileAtPath(PathArg path) const;
  // True when the folder holding the item lets us remove it.
  bool isDeletableFileAtPath(PathArg path) const;

  // With intermediates, missing parents are made and an existing directory
  // is success; without, the parent must exist and the path must not.
  // FilePosixPermissions in `attributes` sets the new folder's mode.
  bool createDirectoryAtPath(PathArg path, bool withIntermediateDirectories, const Ref<Dictionary>& attributes = nullptr,
                             Ref<Error>* error = nullptr) const;
  // Writes the file atomically, replacing an existing one; nil contents
  // make an empty file.
  bool createFileAtPath(PathArg path, const Ref<Data>& contents, const Ref<Dictionary>& attributes = nullptr) const;
  // nil when the path is not a readable file.
  Ref<Data> contentsAtPath(PathArg path) const;
  bool contentsEqualAtPath(PathArg path1, PathArg path2) const;

  // Removes a file, a link (not its target) or a whole folder.
  bool removeItemAtPath(PathArg path, Ref<Error>* error = nullptr) const;
  // Fails when something exists at the destination; works across file
  // systems by copying.
  bool moveItemAtPath(PathArg source, PathArg destination, Ref<Error>* error = nullptr) const;
  // Copies a file, a link or a whole folder, keeping permissions and
  // modification dates; fails when the destination exists. A failed copy
  // leaves nothing behind.
  bool copyItemAtPath(PathArg source, PathArg destination, Ref<Error>* error = nullptr) const;
  bool createSymbolicLinkAtPath(PathArg path, PathArg destination, Ref<Error>* error = nullptr) const;
  Ref<String> destinationOfSymbolicLinkAtPath(PathArg path, Ref<Error>* error = nullptr) const;

  // Names in the folder, in name order (no "." or "..").
  Ref<Array> contentsOfDirectoryAtPath(PathArg path, Ref<Error>* error = nullptr) const;
  // Every path below the folder, relative to it, depth first in name order.
  Ref<Array> subpathsOfDirectoryAtPath(PathArg path, Ref<Error>* error = nullptr) const;
  // nil when the path is not a folder.
  Ref<DirectoryEnumerator> enumeratorAtPath(PathArg path) const;

  // Type, size, modification date, permissions, owner, link count, file
  // and file-system numbers; a link's own attributes, not its target's.
  Ref<Dictionary> attributesOfItemAtPath(PathArg path, Ref<Error>* error = nullptr) const;
  // Sets FileModificationDate and FilePosixPermissions.
  bool setAttributes(const Ref<Dictionary>& attributes, PathArg path, Ref<Error>* error = nullptr) const;
  // Size, free size, nodes and free nodes of the file system holding path.
  Ref<Dictionary> attributesOfFileSystemForPath(PathArg path, Ref<Error>* error = nullptr) const;

  Ref<String> currentDirectoryPath() const;
  // The per-application temporary folder (see search_paths.h).
  Ref<String> temporaryDirectory() const;

  // Replaces the free size reported for a path: the hook returns the size,
  // or nullopt to report the real figure. An empty function removes it.
  using FreeSizeHook = std::function<std::optional<unsigned long long>(const std::string& path)>;
  static FreeSizeHook setFileSystemFreeSizeHook(FreeSizeHook hook);
};

// Reports a fixed free size for every path for the lifetime of the object.
class ScopedFileSystemFreeSize {
 public:
  explicit ScopedFileSystemFreeSize(unsigned long long bytes);
  ~ScopedFileSystemFreeSize();
  ScopedFileSystemFreeSize(const ScopedFileSystemFreeSize&) = delete;
  ScopedFileSystemFreeSize& operator=(const ScopedFileSystemFreeSize&) = delete;

 private:
  FileManager::FreeSizeHook previous_;
};

}  // namespace kit
