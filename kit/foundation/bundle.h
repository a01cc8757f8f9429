// Bundles: a directory of resources with an Info.plist at its top and
// localized resources in "<language>.lproj" folders.
//
// The main bundle's directory is, in order: the path given to
// Bundle::setMainBundlePath, the KIT_MAIN_BUNDLE environment variable, or
// the "resources" folder next to the executable.
//
// Localized strings come from "<language>.lproj/<table>.strings" for the
// bundle's localizations in the user's order of preference (then the
// development region and "Base"), then from "<table>.strings" at the top;
// a key found nowhere gives the value passed in, or the key itself.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"
#include "kit/foundation/url.h"

namespace kit {

class Bundle : public Object {
 public:
  explicit Bundle(std::string path) : path_(std::move(path)) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // The application's bundle. Never nil, even when its folder is missing.
  static Ref<Bundle> main();
  // Points the main bundle at a folder (tests, tools); empty restores the
  // default lookup.
  static void setMainBundlePath(const std::string& path);
  // The bundle at a directory (the same object each time), or nil when the
  // path is not a directory.
  static Ref<Bundle> bundleWithPath(const std::string& path);

  // The user's preferred languages, most preferred first, as language tags
  // ("zh-Hans", "en"). From setPreferredLanguages, else KIT_LANGUAGES
  // (comma-separated), else LANGUAGE / LC_ALL / LC_MESSAGES / LANG, else "en".
  static std::vector<std::string> preferredLanguages();
  // Overrides the preferred languages; empty restores the environment's.
  static void setPreferredLanguages(std::vector<std::string> languages);

  const std::string& bundlePath() const { return path_; }
  Ref<String> resourcePath() const { return String::make(path_); }
  Ref<URL> bundleURL() const { return URL::fileURLWithPath(path_, true); }

  // The path of "<name>.<type>" (type may be empty when the name has the
  // extension, and the name may be empty to take the first file of that
  // type), looked up at the top, then in the preferred .lproj folders. Nil
  // when there is none, or when a part would leave the bundle ("..").
  Ref<String> pathForResource(std::string_view name, std::string_view type) const;
  Ref<String> pathForResource(std::string_view name, std::string_view type, std::string_view directory) const;
  // The same as a file URL.
  Ref<URL> URLForResource(std::string_view name, std::string_view extension, std::string_view directory = {}) const;
  // Every resource with that extension in the directory, sorted by name.
  Ref<Array> pathsForResourcesOfType(std::string_view type, std::string_view directory = {}) const;

  // The Info.plist contents; an empty dictionary when there is none or it
  // cannot be read.
  Ref<Dictionary> infoDictionary() const;
  Id objectForInfoDictionaryKey(std::string_view key) const;
  Ref<String> bundleIdentifier() const;
  Ref<String> developmentLocalization() const;

  // Localizations the bundle has (its .lproj folders), sorted.
  Ref<Array> localizations() const;
  // The bundle's localizations in the order strings and resources are
  // looked up.
  Ref<Array> preferredLocalizations() const;

  // The localized text of `key` from `table` ("Localizable" when empty).
  Ref<String> localizedStringForKey(std::string_view key, std::string_view value = {},
                                    std::string_view table = {}) const;

  std::string description() const override;

 private:
  Ref<Dictionary> stringsTable(const std::string& path) const;
  std::string resolve(std::string_view name, std::string_view type, std::string_view directory) const;

  std::string path_;
  mutable std::mutex mutex_;
  mutable Ref<Dictionary> info_;
  mutable std::map<std::string, Ref<Dictionary>> tables_;
};

// The main bundle's localized text for `key` (the platform's
// NSLocalizedString).
Ref<String> localizedString(std::string_view key);

}  // namespace kit
