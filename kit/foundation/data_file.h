// Reading and writing whole files as Data or text. An atomic write goes to
// a temporary file in the same folder that is flushed to disk and then
// renamed over the destination, so a reader sees the old contents or the
// new ones, never a torn file; a failed write leaves the old file alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/string.h"

namespace kit {

// Opens `path` for reading when it names a regular file (through symbolic
// links). Anything else is refused before it is opened for reading, so a
// FIFO or a device in a file's place never blocks the reader: -1 with errno
// set (EISDIR for a folder, EINVAL for the rest; the open's own otherwise).
int openRegularFileForReading(const std::string& path);

// Only regular files are read (see openRegularFileForReading). Files larger
// than `maxBytes` fail with a file-too-large error instead of
// being read into memory.
Ref<Data> dataWithContentsOfFile(PathArg path, Ref<Error>* error = nullptr, size_t maxBytes = SIZE_MAX);
bool writeDataToFile(const Data& data, PathArg path, bool atomically, Ref<Error>* error = nullptr);
// Strict UTF-8: other bytes fail with FileReadInapplicableStringEncodingError.
Ref<String> stringWithContentsOfFile(PathArg path, Ref<Error>* error = nullptr);
bool writeStringToFile(std::string_view text, PathArg path, bool atomically, Ref<Error>* error = nullptr);

}  // namespace kit
