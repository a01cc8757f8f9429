// File errors: errno to the platform's codes and descriptions.

#include "kit/foundation/file_error.h"

#include <cerrno>
#include <cstring>

#include "kit/foundation/values.h"

namespace kit {

namespace {

std::string lastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos || path.size() == 1 ? path : path.substr(slash + 1));
}

std::string parentName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return lastComponent(slash == 0 ? std::string_view("/") : path.substr(0, slash));
}

std::string quoted(std::string_view name) { return "\u201c" + std::string(name) + "\u201d"; }

bool isWriting(FileOperation op) {
  return op == FileOperation::Write || op == FileOperation::CreateDirectory || op == FileOperation::Move ||
         op == FileOperation::Copy || op == FileOperation::Link || op == FileOperation::Remove;
}

long codeFor(int errnum, FileOperation op) {
  switch (errnum) {
    case ENOENT:
    case ENOTDIR:
      return isWriting(op) ? FileNoSuchFileError : FileReadNoSuchFileError;
    case EACCES:
    case EPERM:
      return isWriting(op) ? FileWriteNoPermissionError : FileReadNoPermissionError;
    case EEXIST:
    case ENOTEMPTY:
      return isWriting(op) ? FileWriteFileExistsError : FileReadUnknownError;
    case ENOSPC:
    case EDQUOT:
      return isWriting(op) ? FileWriteOutOfSpaceError : FileReadUnknownError;
    case EROFS:
      return isWriting(op) ? FileWriteVolumeReadOnlyError : FileReadUnknownError;
    case ENAMETOOLONG:
      return isWriting(op) ? FileWriteInvalidFileNameError : FileReadInvalidFileNameError;
    case EFBIG:
    case EOVERFLOW:
      return isWriting(op) ? FileWriteUnknownError : FileReadTooLargeError;
    case ELOOP:
      return isWriting(op) ? FileWriteUnknownError : FileReadUnknownError;
    default:
      return isWriting(op) ? FileWriteUnknownError : FileReadUnknownError;
  }
}

std::string describeFailure(long code, int errnum, FileOperation op, std::string_view path,
                            std::string_view destination) {
  const std::string name = quoted(lastComponent(path));
  const std::string folder = quoted(parentName(destination.empty() ? path : destination));
  switch (op) {
    case FileOperation::Move:
    case FileOperation::Copy: {
      const std::string verb = op == FileOperation::Move ? "moved" : "copied";
      if (code == FileWriteFileExistsError) {
        return name + " couldn\u2019t be " + verb + " to " + folder +
               " because an item with the same name already exists.";
      }
      if (code == FileNoSuchFileError && errnum == ENOENT) {
        return "The file " + name + " couldn\u2019t be " + verb + " because there is no such file.";
      }
      if (code == FileWriteNoPermissionError) {
        return name + " couldn\u2019t be " + verb + " because you don\u2019t have permission to access " + folder + ".";
      }
      if (code == FileWriteOutOfSpaceError) {
        return name + " couldn\u2019t be " + verb + " to " + folder + " because there isn\u2019t enough space.";
      }
      return name + " couldn\u2019t be " + verb + " to " + folder + ": " + std::strerror(errnum) + ".";
    }
    case FileOperation::Remove:
      if (code == FileNoSuchFileError) return name + " couldn\u2019t be removed because it doesn\u2019t exist.";
      if (code == FileWriteNoPermissionError) {
        return name + " couldn\u2019t be removed because you don\u2019t have permission to access it.";
      }
      return name + " couldn\u2019t be removed: " + std::strerror(errnum) + ".";
    default:
      break;
  }
  switch (code) {
    case FileNoSuchFileError:
      return op == FileOperation::CreateDirectory || op == FileOperation::Write
                 ? "The folder " + folder + " doesn\u2019t exist."
                 : "The file " + name + " doesn\u2019t exist.";
    case FileReadNoSuchFileError:
      return "The file " + name + " couldn\u2019t be opened because there is no such file.";
    case FileReadNoPermissionError:
      return "The file " + name + " couldn\u2019t be opened because you don\u2019t have permission to view it.";
    case FileWriteNoPermissionError:
      return "You don\u2019t have permission to save the file " + name + " in the folder " + folder + ".";
    case FileWriteFileExistsError:
      return "The file " + name + " couldn\u2019t be saved because a file with the same name already exists.";
    case FileWriteOutOfSpaceError:
      return "The file " + name + " couldn\u2019t be saved because there isn\u2019t enough space.";
    case FileWriteVolumeReadOnlyError:
      return "The file " + name + " couldn\u2019t be saved because the volume is read only.";
    case FileReadInvalidFileNameError:
    case FileWriteInvalidFileNameError:
      return "The file name " + name + " is invalid.";
    case FileReadTooLargeError:
      return "The file " + name + " couldn\u2019t be opened because it is too large.";
    default:
      break;
  }
  return std::string(isWriting(op) ? "The file " + name + " couldn\u2019t be saved: "
                                   : "The file " + name + " couldn\u2019t be opened: ") +
         std::strerror(errnum) + ".";
}

}  // namespace

Ref<Error> posixError(int errnum) { return Error::make(POSIXErrorDomain, errnum, std::strerror(errnum)); }

Ref<Error> fileError(int errnum, FileOperation operation, std::string_view path, std::string_view destination) {
  const long code = codeFor(errnum, operation);
  auto info = mutableDict({
      {LocalizedDescriptionKey, describeFailure(code, errnum, operation, path, destination)},
      {FilePathErrorKey, std::string(path)},
      {UnderlyingErrorKey, Id(posixError(errnum))},
  });
  if (!destination.empty()) info->setObject(String::make(destination), DestinationFilePathErrorKey);
  return Error::make(CocoaErrorDomain, code, std::static_pointer_cast<Dictionary>(Id(info->copy())));
}

}  // namespace kit
