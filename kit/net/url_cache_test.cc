// Where the URL cache keeps its entries: the shared cache in the user's own
// cache folder, folders and entries only the user can read, and a folder
// another user could reach refused (the cache then keeps responses in
// memory only), so that nobody else can read or plant a cached page.

#include "kit/net/url_cache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "kit/foundation/search_paths.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/temp_directory.h"

namespace kit {
namespace {

namespace fs = std::filesystem;

Ref<URLRequest> request(const std::string& path) {
  return URLRequest::make(URL::URLWithString("http://cache.test" + path));
}

Ref<CachedURLResponse> page(const std::string& path, const std::string& body) {
  HTTPHeaderFields fields;
  fields.set("Content-Type", "text/html");
  fields.set("Cache-Control", "max-age=600");
  auto response = HTTPURLResponse::make(URL::URLWithString("http://cache.test" + path), 200, "HTTP/1.1", fields);
  return std::make_shared<CachedURLResponse>(response, Data::make(body));
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// Sets an environment variable for the scope, restoring it afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(URLCacheLocation, TheSharedCacheLivesInTheUsersCacheFolderOutOfEveryoneElsesReach) {
  test::TempDirectory home("kit-cache-home");
  ScopedVariable noAppHome("KIT_HOME", nullptr);
  ScopedVariable cacheHome("XDG_CACHE_HOME", home.path().c_str());
  URLCache::setSharedURLCache(nullptr);
  const mode_t mask = umask(022);  // the usual: new files readable by everyone unless asked otherwise

  Ref<URLCache> shared = URLCache::sharedURLCache();
  const std::string folder = home.path() + "/" + applicationFolderName() + "/URLCache";
  EXPECT_EQ(shared->diskPath(), folder);
  shared->storeCachedResponse(page("/index.html", "<p>game</p>"), request("/index.html"));
  umask(mask);
  URLCache::setSharedURLCache(nullptr);

  EXPECT_EQ(modeOf(folder), 0700u);
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    ++entries;
    EXPECT_EQ(modeOf(entry.path().string()), 0600u) << entry.path();
  }
  EXPECT_EQ(entries, 1u);
  auto reopened = URLCache::make(0, 1 << 20, folder);
  auto hit = reopened->cachedResponseForRequest(request("/index.html"));
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->data()->toString(), "<p>game</p>");
}

TEST(URLCacheLocation, AFolderOthersCanReachIsNotUsed) {
  test::TempDirectory base("kit-cache");
  // Made beforehand, open to everyone (as another user could make it), with
  // a page planted in it; and a link to a folder elsewhere.
  const std::string open = base.file("open");
  ASSERT_EQ(mkdir(open.c_str(), 0700), 0);
  {
    auto planter = URLCache::make(0, 1 << 20, open);
    planter->storeCachedResponse(page("/index.html", "planted"), request("/index.html"));
    ASSERT_GT(planter->currentDiskUsage(), 0u);
  }
  ASSERT_EQ(chmod(open.c_str(), 0777), 0);
  const std::string elsewhere = base.file("elsewhere");
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  const std::string link = base.file("link");
  ASSERT_EQ(symlink(elsewhere.c_str(), link.c_str()), 0);

  for (const std::string& folder : {open, link}) {
    test::LogCapture logs;
    auto cache = URLCache::make(0, 1 << 20, folder);
    EXPECT_FALSE(cache->cachedResponseForRequest(request("/index.html"))) << folder;
    cache->storeCachedResponse(page("/news.html", "news"), request("/news.html"));
    EXPECT_EQ(cache->currentDiskUsage(), 0u) << folder;
    EXPECT_TRUE(logs.contains("is not a folder of this user's alone")) << folder;
    EXPECT_EQ(logs.count(), 1u) << "one line per cache";
  }
  EXPECT_TRUE(fs::is_empty(elsewhere));

  // A folder of another user's, where the test may give one away.
  if (geteuid() == 0) {
    const std::string theirs = base.file("theirs");
    ASSERT_EQ(mkdir(theirs.c_str(), 0700), 0);
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    test::LogCapture logs;
    auto cache = URLCache::make(0, 1 << 20, theirs);
    cache->storeCachedResponse(page("/news.html", "news"), request("/news.html"));
    EXPECT_EQ(cache->currentDiskUsage(), 0u);
    EXPECT_TRUE(logs.contains("is not a folder of this user's alone"));
  }
}

}  // namespace
}  // namespace kit
