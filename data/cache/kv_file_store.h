// The value files of the key-value storage: one file per file-backed item in
// the "data" folder, written under a temporary name, synced and renamed into
// place, and a "trash" folder that whole data folders are moved into and
// that is emptied on a queue of its own. Every call on the data folder goes
// through a KTKVFileSystem, the seam tests fail calls at.
//
// Failures are values: a refused file name is KTKVStorageErrorInvalidFilename
// in KTKVStorageErrorDomain (the name in KTKVStorageFilenameKey); a failed
// system call is a POSIX error with its errno, the path in
// kit::FilePathErrorKey and a description naming the step ("could not write
// <path>: No space left on device"). Nothing here logs.
//
// Names are refused when they are empty, ".", "..", contain "/" or NUL, or
// begin with the temporary-file prefix, before any file is touched. Value
// files are opened without following a symbolic link and without waiting
// for a writer: a link, a pipe or any other file that is not a regular one
// in "data" reads as a file that is gone. Like its owner, the store takes no lock;
// only the trash queue runs beside it.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>

#include "data/cache/kv_file_system.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/data.h"
#include "kit/foundation/expected.h"

inline constexpr const char* KTKVStorageErrorDomain = "KTKVStorageErrorDomain";
inline constexpr const char* KTKVStorageFilenameKey = "KTKVStorageFilename";
enum KTKVStorageErrorCode : long {
  KTKVStorageErrorInvalidFilename = 1,
  // A value file that is neither a regular file nor a folder (a pipe, a
  // socket, a device).
  KTKVStorageErrorNotAFile = 2,
};

class KTKVFileStore {
 public:
  // Names of value files being written begin with this.
  static constexpr std::string_view TemporaryFilePrefix = ".kvtmp-";

  // The store over `dataPath` and `trashPath`; the folders are made by the
  // owner. Without a room path the store keeps no room.
  KTKVFileStore(std::string dataPath, std::string trashPath,
                std::shared_ptr<KTKVFileSystem> fileSystem = KTKVFileSystem::system(), std::string roomPath = {});

  // The room kept free for a full disk: a file of RoomBytes zeros at the
  // room path, given up when the disk is full so that a removal can still
  // be recorded and free what it removes, and made again, whole, once there
  // is space.
  static constexpr size_t RoomBytes = 256 * 1024;
  // Makes the room when it is missing or short; true when it is whole.
  bool keepRoom() const;
  // Gives up the room (and a part of one being made); true when there was
  // one.
  bool releaseRoom() const;
  // The bytes free on the disk of the data folder; -1 when unknown.
  int64_t availableBytes() const;

  // True for a name the store accepts for a value file.
  static bool isValidName(std::string_view name);
  // Success for a valid name, else the refusal.
  static kit::Expected<void> checkName(std::string_view name);
  // True for the name of a temporary file.
  static bool isTemporaryName(std::string_view name);

  // Writes the value to a file under a fresh temporary name, syncs it to the
  // disk and returns the name. Nothing is left behind when it fails.
  kit::Expected<std::string> writeTemporary(const kit::Data& value) const;
  // Renames a temporary file over the file `name`. The temporary file is
  // left as it is when that fails; ENOENT says it was renamed before.
  kit::Expected<void> commit(std::string_view temporaryName, std::string_view name) const;
  // Removes a temporary file that will not be committed; errors are ignored
  // (a file left over goes at the next open).
  void discard(std::string_view temporaryName) const;

  kit::Expected<kit::Ref<kit::Data>> read(std::string_view name) const;
  // Whether a failed read says the value is gone for good: no file of that
  // name, or one that is no value file (a link, a folder, a pipe...), or a
  // refused name. Any other failure (no descriptor left, no permission, an
  // I/O error) says nothing about the value, which a later read may find.
  static bool isGone(const kit::Error& readError);
  kit::Expected<void> remove(std::string_view name) const;

  // Moves the data folder into the trash under a fresh UUID name and makes
  // an empty one; when no empty one can be made, the old one stays.
  kit::Expected<void> moveAllToTrash() const;
  // Removes everything in the trash on the trash queue; errors are ignored.
  void emptyTrashInBackground() const;
  // The same, here and now.
  void emptyTrash() const;
  // Removes temporary files a killed process left in the data folder.
  void removeStaleTemporaryFiles() const;

 private:
  std::string pathOf(std::string_view name) const;
  // The room file's size, -1 when there is none.
  off_t roomSize() const;
  // Writes a whole room in place of the old one.
  bool makeRoom() const;

  const std::string dataPath_;
  const std::string trashPath_;
  const std::string roomPath_;
  const std::shared_ptr<KTKVFileSystem> fs_;
  const kit::Ref<kit::Queue> trashQueue_;
};
