// Bundles: resource lookup, Info.plist and localized strings.

#include "kit/foundation/bundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "kit/foundation/data_file.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/strings_file.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Bundle, Object, "NSBundle") {}

namespace {

// Strings files larger than this are ignored rather than read.
constexpr size_t kMaxStringsFileBytes = size_t(16) << 20;

namespace fs = std::filesystem;

struct Registry {
  std::mutex mutex;
  std::map<std::string, Ref<Bundle>> bundles;
  std::string mainPath;  // set by setMainBundlePath
  std::vector<std::string> languages;  // set by setPreferredLanguages
};

Registry& registry() {
  static NoDestructor<Registry> r;  // lives for the whole process
  return *r;
}

std::string normalize(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) p = path;
  std::string out = p.lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string join(std::string_view a, std::string_view b) {
  if (b.empty()) return std::string(a);
  if (a.empty()) return std::string(b);
  std::string out(a);
  if (out.back() != '/') out += '/';
  out += b;
  return out;
}

// True when a resource name or folder stays inside the bundle.
bool staysInside(std::string_view part) {
  if (part.starts_with('/')) return false;
  size_t start = 0;
  while (start <= part.size()) {
    size_t end = part.find('/', start);
    if (end == std::string_view::npos) end = part.size();
    if (part.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

std::string executableDirectory() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "." : exe.substr(0, slash);
}

std::string lowercase(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// "zh_CN.UTF-8" → "zh-CN"; "C" and "POSIX" are no language.
std::string languageTag(std::string locale) {
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return "";
  std::replace(locale.begin(), locale.end(), '_', '-');
  return locale;
}

// The folder names a language tag may have, most specific first:
// "zh-Hans-CN" → zh-Hans-CN, zh-Hans, zh; "zh-CN" also → zh-Hans.
std::vector<std::string> candidatesFor(const std::string& tag) {
  std::vector<std::string> forms;
  std::string t = tag;
  for (;;) {
    forms.push_back(t);
    size_t dash = t.rfind('-');
    if (dash == std::string::npos) break;
    t = t.substr(0, dash);
  }
  std::string lower = lowercase(tag);
  if (lower.starts_with("zh-") && lower.find("-hans") == std::string::npos && lower.find("-hant") == std::string::npos) {
    bool traditional = lower.ends_with("-tw") || lower.ends_with("-hk") || lower.ends_with("-mo");
    forms.insert(forms.begin() + 1, traditional ? "zh-Hant" : "zh-Hans");
  }
  std::vector<std::string> out;
  for (const std::string& f : forms) {
    out.push_back(f);
    std::string underscored = f;
    std::replace(underscored.begin(), underscored.end(), '-', '_');
    if (underscored != f) out.push_back(underscored);
  }
  return out;
}

}  // namespace

// ---- Finding bundles ------------------------------------------------------

Ref<Bundle> Bundle::bundleWithPath(const std::string& path) {
  if (path.empty()) return nullptr;
  std::string key = normalize(path);
  if (!isDirectory(key)) return nullptr;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  Ref<Bundle>& bundle = r.bundles[key];
  if (!bundle) bundle = std::make_shared<Bundle>(key);
  return bundle;
}

Ref<Bundle> Bundle::main() {
  std::string path;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    path = r.mainPath;
  }
  if (path.empty()) {
    const char* env = std::getenv("KIT_MAIN_BUNDLE");
    path = env && *env ? env : join(executableDirectory(), "resources");
  }
  if (Ref<Bundle> bundle = bundleWithPath(path)) return bundle;
  // A missing folder still makes a main bundle: it just has no resources.
  static NoDestructor<Ref<Bundle>> missing;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::string key = normalize(path);
  if (!*missing || (*missing)->path_ != key) *missing = std::make_shared<Bundle>(key);
  return *missing;
}

void Bundle::setMainBundlePath(const std::string& path) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.mainPath = path;
}

std::vector<std::string> Bundle::preferredLanguages() {
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.languages.empty()) return r.languages;
  }
  std::vector<std::string> out;
  auto add = [&](const std::string& list, char separator) {
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(separator, start);
      if (end == std::string::npos) end = list.size();
      std::string tag = languageTag(list.substr(start, end - start));
      if (!tag.empty() && std::find(out.begin(), out.end(), tag) == out.end()) out.push_back(tag);
      start = end + 1;
    }
  };
  if (const char* v = std::getenv("KIT_LANGUAGES"); v && *v) {
    add(v, ',');
  } else {
    if (const char* v = std::getenv("LANGUAGE"); v && *v) add(v, ':');
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      if (const char* v = std::getenv(name); v && *v) {
        add(v, ':');
        break;
      }
    }
  }
  if (out.empty()) out.push_back("en");
  return out;
}

void Bundle::setPreferredLanguages(std::vector<std::string> languages) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.languages = std::move(languages);
}

// ---- Info.plist -----------------------------------------------------------

Ref<Dictionary> Bundle::infoDictionary() const {
  std::lock_guard lock(mutex_);
  if (!info_) {
    std::string path = join(path_, "Info.plist");
    if (exists(path)) {
      Ref<Error> error;
      info_ = as<Dictionary>(propertyListWithContentsOfFile(path, 0, &error));
      if (!info_) log("Bundle: %s is not a dictionary property list: %@", path, error);
    }
    if (!info_) info_ = Dictionary::make();
  }
  return info_;
}

Id Bundle::objectForInfoDictionaryKey(std::string_view key) const { return infoDictionary()->objectForKey(key); }

Ref<String> Bundle::bundleIdentifier() const { return as<String>(objectForInfoDictionaryKey("CFBundleIdentifier")); }

Ref<String> Bundle::developmentLocalization() const {
  return as<String>(objectForInfoDictionaryKey("CFBundleDevelopmentRegion"));
}

// ---- Localizations --------------------------------------------------------

Ref<Array> Bundle::localizations() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(path_, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() > 6 && name.ends_with(".lproj") && entry.is_directory(ec)) names.push_back(name.substr(0, name.size() - 6));
  }
  std::sort(names.begin(), names.end());
  std::vector<Id> out;
  for (const std::string& n : names) out.push_back(String::make(n));
  return Array::make(std::move(out));
}

Ref<Array> Bundle::preferredLocalizations() const {
  std::vector<std::string> available;
  Ref<Array> all = localizations();
  for (const Id& l : *all) available.push_back(as<String>(l)->utf8());
  std::vector<std::string> order;
  auto take = [&](const std::string& wanted) {
    for (const std::string& have : available) {
      if (lowercase(have) == lowercase(wanted)) {
        if (std::find(order.begin(), order.end(), have) == order.end()) order.push_back(have);
        return true;
      }
    }
    return false;
  };
  for (const std::string& language : preferredLanguages()) {
    for (const std::string& candidate : candidatesFor(language)) {
      if (take(candidate)) break;
    }
  }
  if (Ref<String> development = developmentLocalization()) {
    for (const std::string& candidate : candidatesFor(development->utf8())) {
      if (take(candidate)) break;
    }
  }
  take("Base");
  std::vector<Id> out;
  for (const std::string& l : order) out.push_back(String::make(l));
  return Array::make(std::move(out));
}

// ---- Resources ------------------------------------------------------------

std::string Bundle::resolve(std::string_view name, std::string_view type, std::string_view directory) const {
  if (type.starts_with('.')) type.remove_prefix(1);
  if ((name.empty() && type.empty()) || !staysInside(name) || !staysInside(type) || !staysInside(directory)) return "";
  std::vector<std::string> folders{join(path_, directory)};
  Ref<Array> preferred = preferredLocalizations();
  for (const Id& l : *preferred) {
    folders.push_back(join(join(path_, as<String>(l)->utf8() + ".lproj"), directory));
  }
  for (const std::string& folder : folders) {
    if (!name.empty()) {
      std::string file = type.empty() ? std::string(name) : std::string(name) + "." + std::string(type);
      std::string candidate = join(folder, file);
      if (exists(candidate)) return candidate;
      continue;
    }
    std::vector<std::string> matches;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      std::string file = entry.path().filename().string();
      if (file.size() > type.size() + 1 && file.ends_with("." + std::string(type))) matches.push_back(file);
    }
    if (!matches.empty()) return join(folder, *std::min_element(matches.begin(), matches.end()));
  }
  return "";
}

Ref<URL> Bundle::URLForResource(std::string_view name, std::string_view extension, std::string_view directory) const {
  std::string path = resolve(name, extension, directory);
  return path.empty() ? nullptr : URL::fileURLWithPath(path);
}

Ref<String> Bundle::pathForResource(std::string_view name, std::string_view type) const {
  return pathForResource(name, type, {});
}

Ref<String> Bundle::pathForResource(std::string_view name, std::string_view type, std::string_view directory) const {
  std::string path = resolve(name, type, directory);
  return path.empty() ? nullptr : String::make(path);
}

Ref<Array> Bundle::pathsForResourcesOfType(std::string_view type, std::string_view directory) const {
  if (type.starts_with('.')) type.remove_prefix(1);
  std::vector<Id> out;
  if (!staysInside(type) || !staysInside(directory)) return Array::make();
  std::vector<std::string> folders{join(path_, directory)};
  Ref<Array> preferred = preferredLocalizations();
  for (const Id& l : *preferred) {
    folders.push_back(join(join(path_, as<String>(l)->utf8() + ".lproj"), directory));
  }
  for (const std::string& folder : folders) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      std::string file = entry.path().filename().string();
      if (type.empty() || (file.size() > type.size() + 1 && file.ends_with("." + std::string(type)))) files.push_back(file);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) out.push_back(String::make(join(folder, f)));
  }
  return Array::make(std::move(out));
}

// ---- Localized strings ----------------------------------------------------

Ref<Dictionary> Bundle::stringsTable(const std::string& path) const {
  {
    std::lock_guard lock(mutex_);
    if (auto it = tables_.find(path); it != tables_.end()) return it->second;
  }
  Ref<Dictionary> table;
  if (Ref<Data> bytes = dataWithContentsOfFile(path, nullptr, kMaxStringsFileBytes)) {
    Ref<Error> error;
    table = StringsFile::parse(bytes, &error);
    if (!table) log("Bundle: ignoring %s: %@", path, error->userInfo()->objectForKey(std::string_view("NSDebugDescription")));
  }
  if (!table) table = Dictionary::make();  // missing or malformed: no entries
  std::lock_guard lock(mutex_);
  return tables_.emplace(path, table).first->second;
}

Ref<String> Bundle::localizedStringForKey(std::string_view key, std::string_view value, std::string_view table) const {
  std::string file = std::string(table.empty() ? "Localizable" : table) + ".strings";
  if (staysInside(file)) {
    Ref<Array> preferred = preferredLocalizations();
    for (const Id& l : *preferred) {
      if (Ref<String> found = as<String>(stringsTable(join(join(path_, as<String>(l)->utf8() + ".lproj"), file))->objectForKey(key))) {
        return found;
      }
    }
    if (Ref<String> found = as<String>(stringsTable(join(path_, file))->objectForKey(key))) return found;
  }
  return String::make(value.empty() ? key : value);
}

std::string Bundle::description() const { return "NSBundle <" + path_ + ">"; }

Ref<String> localizedString(std::string_view key) { return Bundle::main()->localizedStringForKey(key); }

}  // namespace kit
