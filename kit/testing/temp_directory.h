// A fresh directory for a test, removed with everything in it when the
// object goes.
//
//   kit::test::TempDirectory dir;
//   writeFile(dir.file("settings.plist"));
#pragma once

#include <string>
#include <string_view>

namespace kit::test {

class TempDirectory {
 public:
  // Made under $TMPDIR (or /tmp) with a unique name starting with `prefix`.
  explicit TempDirectory(std::string_view prefix = "kit-test");
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string file(std::string_view name) const;

 private:
  std::string path_;
};

}  // namespace kit::test
