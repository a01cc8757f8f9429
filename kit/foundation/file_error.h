// File errors as the platform reports them: a Cocoa-domain error with the
// file-operation code that fits the failure, a readable description naming
// the file, the path under NSFilePath, and the system's own error (a
// POSIX-domain error with errno and its text) under NSUnderlyingError.
#pragma once

#include <string_view>

#include "kit/foundation/error.h"

namespace kit {

inline constexpr const char* DestinationFilePathErrorKey = "NSDestinationFilePath";
inline constexpr const char* StringEncodingErrorKey = "NSStringEncodingErrorKey";

// The platform's Cocoa error codes for files.
enum CocoaFileError : long {
  FileNoSuchFileError = 4,
  FileLockingError = 255,
  FileReadUnknownError = 256,
  FileReadNoPermissionError = 257,
  FileReadInvalidFileNameError = 258,
  FileReadCorruptFileError = 259,
  FileReadNoSuchFileError = 260,
  FileReadInapplicableStringEncodingError = 261,
  FileReadUnsupportedSchemeError = 262,
  FileReadTooLargeError = 263,
  FileWriteUnknownError = 512,
  FileWriteNoPermissionError = 513,
  FileWriteInvalidFileNameError = 514,
  FileWriteFileExistsError = 516,
  FileWriteInapplicableStringEncodingError = 517,
  FileWriteOutOfSpaceError = 640,
  FileWriteVolumeReadOnlyError = 642,
};

// What was being done when the system call failed; it picks the code and
// the wording.
enum class FileOperation { Read, Write, CreateDirectory, Remove, Move, Copy, List, Attributes, Link };

// The error for `errnum` during `operation` on `path` (and `destination` for
// moves, copies and links).
Ref<Error> fileError(int errnum, FileOperation operation, std::string_view path,
                     std::string_view destination = {});
// A POSIX-domain error for errnum, described by the system's text.
Ref<Error> posixError(int errnum);

}  // namespace kit
