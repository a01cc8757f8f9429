// The URL cache: responses with their bodies, kept in memory and on disk
// within capacities, keyed by the request's URL (GET only). A simple real
// cache: least recently used entries go first when a capacity is passed.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

enum class URLCacheStoragePolicy : unsigned long { Allowed = 0, AllowedInMemoryOnly = 1, NotAllowed = 2 };

class CachedURLResponse : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  CachedURLResponse(Ref<URLResponse> response, Ref<Data> data, Ref<Dictionary> userInfo = nullptr,
                    URLCacheStoragePolicy policy = URLCacheStoragePolicy::Allowed)
      : response_(std::move(response)), data_(data ? std::move(data) : Data::make()), userInfo_(std::move(userInfo)),
        policy_(policy) {}

  const Ref<URLResponse>& response() const { return response_; }
  const Ref<Data>& data() const { return data_; }
  const Ref<Dictionary>& userInfo() const { return userInfo_; }
  URLCacheStoragePolicy storagePolicy() const { return policy_; }
  // When the entry was stored (wall seconds); set by the cache.
  double storedAt = 0;

 private:
  Ref<URLResponse> response_;
  Ref<Data> data_;
  Ref<Dictionary> userInfo_;
  URLCacheStoragePolicy policy_;
};

class URLCache : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // `diskPath` empty: memory only. The folder is made when needed, with
  // mode 0700; one that is not a folder of this user's alone (a link, owned
  // by another user, open to group or others) is not used, with one log
  // line, and the cache keeps responses in memory only. Entries are files
  // of mode 0600.
  URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::string diskPath);
  static Ref<URLCache> make(uint64_t memoryCapacity, uint64_t diskCapacity, std::string diskPath) {
    return std::make_shared<URLCache>(memoryCapacity, diskCapacity, std::move(diskPath));
  }
  // The process-wide cache (4 MB memory, 20 MB disk in "URLCache" in the
  // application's caches folder: $XDG_CACHE_HOME or ~/.cache, then the
  // application's name; see search_paths.h), replaceable.
  static Ref<URLCache> sharedURLCache();
  static void setSharedURLCache(Ref<URLCache> cache);

  Ref<CachedURLResponse> cachedResponseForRequest(const Ref<URLRequest>& request);
  void storeCachedResponse(const Ref<CachedURLResponse>& cached, const Ref<URLRequest>& request);
  void removeCachedResponseForRequest(const Ref<URLRequest>& request);
  void removeAllCachedResponses();

  uint64_t memoryCapacity() const;
  uint64_t diskCapacity() const;
  void setMemoryCapacity(uint64_t bytes);
  void setDiskCapacity(uint64_t bytes);
  uint64_t currentMemoryUsage() const;
  uint64_t currentDiskUsage() const;
  const std::string& diskPath() const { return diskPath_; }

  // Whether a response to `request` may be stored at all (GET, a cacheable
  // status, no "no-store") and whether a stored one may be used without
  // asking the server (within max-age or Expires).
  static bool isCacheable(const Ref<URLRequest>& request, const Ref<URLResponse>& response);
  static bool isFresh(const CachedURLResponse& cached, double now);

  // The bytes of a disk entry for `key`, and back: nil for bytes that are
  // not an entry for `key` or whose body is longer than `maxBody`.
  static std::string encodeEntry(const std::string& key, const CachedURLResponse& cached);
  static Ref<CachedURLResponse> decodeEntry(std::string_view bytes, std::string_view key, uint64_t maxBody);

 private:
  struct Entry {
    Ref<CachedURLResponse> cached;
    uint64_t size = 0;
  };
  std::string keyFor(const Ref<URLRequest>& request) const;
  std::string fileFor(const std::string& key) const;
  void trimMemory();
  void trimDisk();
  void writeDisk(const std::string& key, const CachedURLResponse& cached);
  Ref<CachedURLResponse> readDisk(const std::string& key);
  void scanDisk();
  // Whether the disk folder may be used (checked, and made, once).
  bool diskUsable();

  mutable std::mutex mutex_;
  uint64_t memoryCapacity_, diskCapacity_;
  std::string diskPath_;
  std::list<std::string> lru_;  // most recent first
  std::map<std::string, Entry> memory_;
  std::map<std::string, uint64_t> disk_;  // key -> file size
  std::list<std::string> diskLru_;
  bool scanned_ = false;
  bool diskChecked_ = false, diskRefused_ = false;
};

}  // namespace kit
