// An application bundle for a test: a fresh folder with an Info.plist
// (CFBundleIdentifier) and the channel's NUVAPLIST (game_id), made the main
// bundle while the object lives.
#pragma once

#include <optional>
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

 private:
  std::string path_;
};
