// An application bundle for a test: a fresh folder with an Info.plist
// (CFBundleIdentifier) and the channel's NUVAPLIST (game_id), made the main
// bundle while the object lives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class TestBundle {
 public:
  // A game id of nullopt leaves NUVAPLIST out.
  explicit TestBundle(std::optional<std::string> gameId = "1001",
                      std::string bundleIdentifier = "com.example.starfleet");
  ~TestBundle();
  TestBundle(const TestBundle&) = delete;
  TestBundle& operator=(const TestBundle&) = delete;

  const std::string& path() const { return path_; }
  // Writes a file into the bundle ("NUVALight.bundle/close.png"), making
  // the folders on the way; false when it cannot be written.
  bool addFile(const std::string& relativePath, std::span<const uint8_t> bytes) const;

 private:
  std::string path_;
};
