// A temporary application bundle and user-defaults file for the platform
// SDK's tests: a fresh folder made the main bundle, with "KT.plist" (app id
// "10001", game id "1001", app key "k1", agent "agent7") and the resource
// bundle "VIROV.bundle" holding the back arrow "KT_nav_back.png" (a 20 x 20
// picture, one colour), and a user-defaults file of its own. ShareVale's
// instance is dropped on the way in and out, so no test sees another's
// cached values. Everything is removed and restored when the object goes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kit/foundation/dictionary.h"

class PlatformTestBundle {
 public:
  struct Options {
    bool ktPlist = true;         // write KT.plist
    bool resourceBundle = true;  // make VIROV.bundle with KT_nav_back.png
  };
  PlatformTestBundle() : PlatformTestBundle(Options{}) {}
  explicit PlatformTestBundle(Options options);
  ~PlatformTestBundle();
  PlatformTestBundle(const PlatformTestBundle&) = delete;
  PlatformTestBundle& operator=(const PlatformTestBundle&) = delete;

  const std::string& path() const { return path_; }
  // The file of the standard user defaults while the object lives.
  std::string defaultsPath() const { return path_ + ".defaults.plist"; }

  // Writes KT.plist with these contents (replacing it); removes it.
  void writeKTPlist(const kit::Ref<kit::Dictionary>& contents) const;
  void removeKTPlist() const;
  // Makes the folder "KTAppInfo/Channel" (empty), and a file named `entry`
  // inside it.
  void makeChannelFolder() const;
  void addChannelEntry(const std::string& entry) const;
  // Writes a file into the bundle, making the folders on the way.
  bool addFile(const std::string& relativePath, std::span<const uint8_t> bytes) const;
  // A PNG of one colour, `width` x `height` pixels.
  static std::vector<uint8_t> solidPNG(size_t width, size_t height, uint8_t r, uint8_t g, uint8_t b);
  // The colour of KT_nav_back.png.
  static constexpr uint8_t kArrowRed = 40, kArrowGreen = 120, kArrowBlue = 220;

  // Drops the in-memory user defaults, so the next read comes from disk
  // (what a restart sees).
  static void reloadUserDefaults();

 private:
  std::string path_;
};
