// Reading and writing whole files, with failures reported as the platform's
// Cocoa file errors (the POSIX error underneath). Writing atomically goes
// through a temporary file in the same directory, flushed to disk and then
// renamed over the target, so a reader sees the old or the new contents and
// never a torn file.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/error.h"

namespace kit {

// The platform's file error codes (Cocoa domain).
enum FileErrorCode : long {
  FileReadUnknownError = 256,
  FileReadNoPermissionError = 257,
  FileReadNoSuchFileError = 260,
  FileReadTooLargeError = 263,
  FileWriteUnknownError = 512,
  FileWriteNoPermissionError = 513,
  FileWriteOutOfSpaceError = 640,
  FileWriteVolumeReadOnlyError = 642,
};

// Reads the whole file into `out`. Files larger than `maxBytes` are refused.
bool readFileContents(const std::string& path, std::string& out, Ref<Error>* error = nullptr,
                      size_t maxBytes = size_t(1) << 30);

// Replaces the file's contents with `bytes`.
bool writeFileContents(const std::string& path, std::string_view bytes, bool atomically = true,
                       Ref<Error>* error = nullptr);

// A Cocoa file error for a failed POSIX call (errno value `posixError`).
Ref<Error> fileError(bool writing, int posixError, const std::string& path);

}  // namespace kit
