// Standard folders under KIT_HOME or the XDG base directories.

#include "kit/foundation/search_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "kit/foundation/no_destructor.h"
#include "kit/foundation/process_info.h"

namespace kit {

namespace {

struct PathState {
  std::mutex mutex;
  std::string folderName;
  std::string temporaryBase;  // the TMPDIR the temporary folder was made in
  std::string temporary;      // made once per base and name
};

PathState& state() {
  static NoDestructor<PathState> s;  // lives for the process
  return *s;
}

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : "";
}

std::string userHome() {
  std::string home = env("HOME");
  if (!home.empty()) return home;
  struct passwd pw{};
  struct passwd* result = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &result) == 0 && result && result->pw_dir) return result->pw_dir;
  return "/";
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The application's home: KIT_HOME, or its XDG data folder.
std::string appHome() {
  std::string home = env("KIT_HOME");
  if (!home.empty()) return withoutTrailingSlash(home);
  std::string data = env("XDG_DATA_HOME");
  if (data.empty()) data = userHome() + "/.local/share";
  return withoutTrailingSlash(data) + "/" + applicationFolderName();
}

std::string cachesFolder() {
  if (!env("KIT_HOME").empty()) return appHome() + "/Library/Caches";
  std::string cache = env("XDG_CACHE_HOME");
  if (cache.empty()) cache = userHome() + "/.cache";
  return withoutTrailingSlash(cache) + "/" + applicationFolderName();
}

// A folder only this user can use: made with mode 0700, or already there,
// a real folder and ours.
bool isPrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
         (st.st_mode & 077) == 0;
}

}  // namespace

std::string applicationFolderName() {
  {
    std::lock_guard lock(state().mutex);
    if (!state().folderName.empty()) return state().folderName;
  }
  std::string name = ProcessInfo::processInfo()->processName();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = "app";
  return name;
}

void setApplicationFolderName(std::string name) {
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  if (name == "." || name == "..") name = "app";
  std::lock_guard lock(state().mutex);
  state().folderName = std::move(name);
  state().temporary.clear();
}

Ref<String> homeDirectory() { return String::make(appHome()); }

Ref<String> temporaryDirectory() {
  if (!env("KIT_HOME").empty()) {
    const std::string tmp = appHome() + "/tmp";
    ::mkdir(appHome().c_str(), 0700);
    ::mkdir(tmp.c_str(), 0700);
    return String::make(tmp + "/");
  }
  const std::string name = applicationFolderName();
  std::string base = env("TMPDIR");
  if (base.empty()) base = "/tmp";
  base = withoutTrailingSlash(base);
  std::lock_guard lock(state().mutex);
  if (state().temporary.empty() || state().temporaryBase != base) {
    state().temporaryBase = base;
    std::string folder = base + "/" + name + "-" + std::to_string(getuid());
    if (!isPrivateFolder(folder)) {
      // Someone else holds that name: take a fresh one instead.
      std::string pattern = folder + "-XXXXXX";
      folder = mkdtemp(pattern.data()) ? pattern : base;
    }
    state().temporary = folder + "/";
  }
  return String::make(state().temporary);
}

Ref<Array> searchPathForDirectoriesInDomains(SearchPathDirectory directory, unsigned domainMask, bool expandTilde) {
  if (!(domainMask & UserDomainMask)) return Array::make();
  std::string path;
  switch (directory) {
    case LibraryDirectory: path = appHome() + "/Library"; break;
    case DocumentDirectory: path = appHome() + "/Documents"; break;
    case CachesDirectory: path = cachesFolder(); break;
    case ApplicationSupportDirectory:
      path = env("KIT_HOME").empty() ? appHome() : appHome() + "/Library/Application Support";
      break;
    default: return Array::make();
  }
  if (!expandTilde) {
    const std::string home = withoutTrailingSlash(userHome());
    if (home != "/" && path.rfind(home + "/", 0) == 0) path = "~" + path.substr(home.size());
  }
  return Array::make({String::make(path)});
}

}  // namespace kit
