// Temporary directories for tests.
#include "kit/testing/temp_directory.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "kit/foundation/exception.h"

namespace kit::test {

TempDirectory::TempDirectory(std::string_view prefix) {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + std::string(prefix) + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    raise(InternalInconsistencyException,
          "cannot create a temporary directory from " + pattern + ": " + strerror(errno));
  }
  path_ = buffer.data();
}

TempDirectory::~TempDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDirectory::file(std::string_view name) const { return path_ + "/" + std::string(name); }

}  // namespace kit::test
