// The URL cache: an LRU in memory and one file per entry on disk.
#include "kit/net/url_cache.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "kit/dispatch/clock.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/string.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(CachedURLResponse, Object, "NSCachedURLResponse") {}
KIT_DEFINE_CLASS_NAMED(URLCache, Object, "NSURLCache") {}

namespace {

constexpr std::string_view kDiskMagic = "kit-url-cache 1";

double wallSeconds() { return Clock::wallNow(); }

uint64_t sizeOf(const CachedURLResponse& cached) {
  uint64_t size = cached.data()->length() + 256;
  if (auto http = as<HTTPURLResponse>(cached.response())) {
    for (const auto& [n, v] : http->headerFields().entries()) size += n.size() + v.size() + 4;
  }
  return size;
}

void makeDirectories(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i < path.size(); ++i) {
    partial += path[i];
    if ((path[i] == '/' && i > 0) || i + 1 == path.size()) mkdir(partial.c_str(), 0700);
  }
}

// A folder only this user can use: a real folder (not a link), owned by the
// user, closed to group and others.
bool isPrivateFolder(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::mutex sharedMutex;
Ref<URLCache>& sharedSlot() {
  static NoDestructor<Ref<URLCache>> slot;
  return *slot;
}

}  // namespace

URLCache::URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::string diskPath)
    : memoryCapacity_(memoryCapacity), diskCapacity_(diskCapacity), diskPath_(std::move(diskPath)) {}

Ref<URLCache> URLCache::sharedURLCache() {
  std::lock_guard lock(sharedMutex);
  auto& slot = sharedSlot();
  if (!slot) {
    // In the application's own caches folder, never in a shared one.
    auto caches = searchPathForDirectoriesInDomains(CachesDirectory);
    auto folder = caches ? as<String>(caches->firstObject()) : nullptr;
    slot = make(4 * 1024 * 1024, 20 * 1024 * 1024, folder ? folder->utf8() + "/URLCache" : std::string());
  }
  return slot;
}

void URLCache::setSharedURLCache(Ref<URLCache> cache) {
  std::lock_guard lock(sharedMutex);
  sharedSlot() = std::move(cache);
}

std::string URLCache::keyFor(const Ref<URLRequest>& request) const {
  return request && request->URL() ? netdetail::urlString(request->URL()) : std::string();
}

std::string URLCache::fileFor(const std::string& key) const {
  char name[32];
  snprintf(name, sizeof name, "%016zx.entry", std::hash<std::string>()(key));
  return diskPath_ + "/" + name;
}

Ref<CachedURLResponse> URLCache::cachedResponseForRequest(const Ref<URLRequest>& request) {
  std::string key = keyFor(request);
  if (key.empty()) return nullptr;
  std::lock_guard lock(mutex_);
  if (auto it = memory_.find(key); it != memory_.end()) {
    lru_.remove(key);
    lru_.push_front(key);
    return it->second.cached;
  }
  if (diskPath_.empty() || diskCapacity_ == 0) return nullptr;
  scanDisk();
  if (!disk_.count(key)) return nullptr;
  auto cached = readDisk(key);
  if (!cached) {
    unlink(fileFor(key).c_str());
    disk_.erase(key);
    diskLru_.remove(key);
    return nullptr;
  }
  diskLru_.remove(key);
  diskLru_.push_front(key);
  return cached;
}

void URLCache::storeCachedResponse(const Ref<CachedURLResponse>& cached, const Ref<URLRequest>& request) {
  std::string key = keyFor(request);
  if (key.empty() || !cached || cached->storagePolicy() == URLCacheStoragePolicy::NotAllowed) return;
  cached->storedAt = wallSeconds();
  uint64_t size = sizeOf(*cached);
  std::lock_guard lock(mutex_);
  if (size <= memoryCapacity_) {
    memory_[key] = Entry{cached, size};
    lru_.remove(key);
    lru_.push_front(key);
    trimMemory();
  }
  if (cached->storagePolicy() == URLCacheStoragePolicy::Allowed && !diskPath_.empty() && size <= diskCapacity_) {
    scanDisk();
    writeDisk(key, *cached);
  }
}

void URLCache::removeCachedResponseForRequest(const Ref<URLRequest>& request) {
  std::string key = keyFor(request);
  std::lock_guard lock(mutex_);
  memory_.erase(key);
  lru_.remove(key);
  if (!diskPath_.empty()) {
    scanDisk();
    if (disk_.erase(key)) unlink(fileFor(key).c_str());
    diskLru_.remove(key);
  }
}

void URLCache::removeAllCachedResponses() {
  std::lock_guard lock(mutex_);
  memory_.clear();
  lru_.clear();
  if (!diskPath_.empty()) {
    scanDisk();
    for (const auto& [key, size] : disk_) unlink(fileFor(key).c_str());
    disk_.clear();
    diskLru_.clear();
  }
}

uint64_t URLCache::memoryCapacity() const {
  std::lock_guard lock(mutex_);
  return memoryCapacity_;
}

uint64_t URLCache::diskCapacity() const {
  std::lock_guard lock(mutex_);
  return diskCapacity_;
}

void URLCache::setMemoryCapacity(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  memoryCapacity_ = bytes;
  trimMemory();
}

void URLCache::setDiskCapacity(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  diskCapacity_ = bytes;
  if (!diskPath_.empty()) {
    scanDisk();
    trimDisk();
  }
}

uint64_t URLCache::currentMemoryUsage() const {
  std::lock_guard lock(mutex_);
  uint64_t total = 0;
  for (const auto& [key, entry] : memory_) total += entry.size;
  return total;
}

uint64_t URLCache::currentDiskUsage() const {
  std::lock_guard lock(mutex_);
  uint64_t total = 0;
  for (const auto& [key, size] : disk_) total += size;
  return total;
}

void URLCache::trimMemory() {
  uint64_t total = 0;
  for (const auto& [key, entry] : memory_) total += entry.size;
  while (total > memoryCapacity_ && !lru_.empty()) {
    std::string victim = lru_.back();
    lru_.pop_back();
    auto it = memory_.find(victim);
    if (it == memory_.end()) continue;
    total -= it->second.size;
    memory_.erase(it);
  }
}

void URLCache::trimDisk() {
  uint64_t total = 0;
  for (const auto& [key, size] : disk_) total += size;
  while (total > diskCapacity_ && !diskLru_.empty()) {
    std::string victim = diskLru_.back();
    diskLru_.pop_back();
    auto it = disk_.find(victim);
    if (it == disk_.end()) continue;
    total -= it->second;
    unlink(fileFor(victim).c_str());
    disk_.erase(it);
  }
}

// Entry file: a text head (magic, URL, stored time, status, version, header
// count, then one "name\tvalue" line per header, body length) and the body.
std::string URLCache::encodeEntry(const std::string& key, const CachedURLResponse& cached) {
  std::ostringstream head;
  head << kDiskMagic << "\n" << key << "\n" << std::to_string(cached.storedAt) << "\n";
  auto http = as<HTTPURLResponse>(cached.response());
  head << (http ? http->statusCode() : 0) << "\n" << (http ? http->HTTPVersion() : "") << "\n";
  std::vector<HTTPHeaderFields::Entry> fields =
      http ? http->headerFields().entries() : std::vector<HTTPHeaderFields::Entry>{};
  head << fields.size() << "\n";
  for (const auto& [n, v] : fields) head << n << "\t" << v << "\n";
  head << cached.data()->length() << "\n";
  std::string out = head.str();
  out.append(cached.data()->view());
  return out;
}

Ref<CachedURLResponse> URLCache::decodeEntry(std::string_view bytes, std::string_view key, uint64_t maxBody) {
  auto line = [&bytes](std::string& out) {
    size_t end = bytes.find('\n');
    if (end == std::string_view::npos) return false;
    out.assign(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
    return true;
  };
  std::string magic, url, stored, status, version, count;
  if (!line(magic) || magic != kDiskMagic) return nullptr;
  if (!line(url) || url != key) return nullptr;
  if (!line(stored) || !line(status) || !line(version) || !line(count)) return nullptr;
  auto number = [](const std::string& text, long long limit) -> std::optional<long long> {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    long long v = std::stoll(text);
    if (v > limit) return std::nullopt;
    return v;
  };
  auto code = number(status, 999);
  auto n = number(count, 1000);
  if (!code || !n) return nullptr;
  HTTPHeaderFields fields;
  for (long long i = 0; i < *n; ++i) {
    std::string field;
    if (!line(field)) return nullptr;
    size_t tab = field.find('\t');
    if (tab == std::string::npos) return nullptr;
    fields.add(field.substr(0, tab), field.substr(tab + 1));
  }
  std::string lengthText;
  if (!line(lengthText)) return nullptr;
  auto length = number(lengthText, static_cast<long long>(std::min<uint64_t>(maxBody, INT64_MAX)));
  if (!length || static_cast<size_t>(*length) != bytes.size()) return nullptr;
  auto response = HTTPURLResponse::make(URL::URLWithString(url), static_cast<int>(*code), version, fields);
  if (!response) return nullptr;
  auto cached = std::make_shared<CachedURLResponse>(response, Data::make(bytes));
  char* end = nullptr;
  cached->storedAt = std::strtod(stored.c_str(), &end);
  if (end == stored.c_str()) return nullptr;
  return cached;
}

bool URLCache::diskUsable() {
  if (diskPath_.empty() || diskRefused_) return false;
  if (diskChecked_) return true;
  makeDirectories(diskPath_);
  if (!isPrivateFolder(diskPath_)) {
    // Someone else could read the entries there, or plant their own.
    diskRefused_ = true;
    log("URLCache: %s is not a folder of this user's alone; responses are kept in memory only", diskPath_.c_str());
    return false;
  }
  diskChecked_ = true;
  return true;
}

void URLCache::writeDisk(const std::string& key, const CachedURLResponse& cached) {
  if (!diskUsable()) return;
  std::string path = fileFor(key);
  std::string tmp = path + ".tmp";
  {
    unlink(tmp.c_str());
    const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const bool written = writeAll(fd, encodeEntry(key, cached));
    if (close(fd) != 0 || !written) {
      unlink(tmp.c_str());
      return;
    }
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return;
  }
  struct stat st {};
  stat(path.c_str(), &st);
  disk_[key] = static_cast<uint64_t>(st.st_size);
  diskLru_.remove(key);
  diskLru_.push_front(key);
  trimDisk();
}

Ref<CachedURLResponse> URLCache::readDisk(const std::string& key) {
  auto bytes = dataWithContentsOfFile(fileFor(key));
  if (!bytes) return nullptr;
  return decodeEntry(std::string(bytes->view()), key, diskCapacity_);
}

void URLCache::scanDisk() {
  if (scanned_ || !diskUsable()) return;
  scanned_ = true;
  DIR* dir = opendir(diskPath_.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (!name.ends_with(".entry")) continue;
    std::string path = diskPath_ + "/" + name;
    // The entry's first two lines: the magic and its URL.
    std::string magic, url;
    const int fd = openRegularFileForReading(path);
    if (FILE* in = fd >= 0 ? fdopen(fd, "rb") : nullptr) {
      auto line = [in](std::string& into) {
        for (int c; (c = fgetc(in)) != EOF && c != '\n';) into.push_back(static_cast<char>(c));
        return !ferror(in);
      };
      if (!line(magic) || !line(url)) magic.clear();
      fclose(in);
    } else if (fd >= 0) {
      close(fd);
    }
    if (magic != kDiskMagic || fileFor(url) != path) {
      unlink(path.c_str());
      continue;
    }
    struct stat st {};
    stat(path.c_str(), &st);
    disk_[url] = static_cast<uint64_t>(st.st_size);
    diskLru_.push_back(url);
  }
  closedir(dir);
}

bool URLCache::isCacheable(const Ref<URLRequest>& request, const Ref<URLResponse>& response) {
  if (!request || request->HTTPMethod() != "GET") return false;
  auto http = as<HTTPURLResponse>(response);
  if (!http) return false;
  long code = http->statusCode();
  if (code != 200 && code != 203 && code != 300 && code != 301 && code != 410) return false;
  auto noStore = [](const std::optional<std::string>& v) {
    return v && String(*v).lowercaseString()->containsString("no-store");
  };
  return !noStore(http->headerFields().value("Cache-Control")) && !noStore(request->headerFields().value("Cache-Control"));
}

bool URLCache::isFresh(const CachedURLResponse& cached, double now) {
  auto http = as<HTTPURLResponse>(cached.response());
  if (!http) return true;
  if (auto control = http->headerFields().value("Cache-Control")) {
    std::string lower = String(*control).lowercaseString()->utf8();
    if (lower.find("no-cache") != std::string::npos) return false;
    size_t pos = lower.find("max-age=");
    if (pos != std::string::npos) {
      double maxAge = std::strtod(lower.c_str() + pos + 8, nullptr);
      return now < cached.storedAt + maxAge;
    }
  }
  if (auto expires = http->headerFields().value("Expires")) {
    time_t when = curl_getdate(expires->c_str(), nullptr);
    return when > 0 && now < static_cast<double>(when);
  }
  return false;
}

}  // namespace kit
