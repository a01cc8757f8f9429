// The web-image manager: the request it builds, keys and headers, starting
// without a queue, credentials, and the network activity indicator.
#include "ui/images/kt_web_image_manager.h"

#include <gtest/gtest.h>

#include "kit/foundation/exception.h"
#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "ui/images/testing/web_image_recorder.h"
#include "ui/images/testing/web_image_test_support.h"

namespace {

using webimagetest::ImageServer;
using webimagetest::Recorder;

kit::Ref<kit::URL> url(const std::string& text) { return kit::URL::URLWithString(text); }

class WebImageManagerTest : public ::testing::Test {
 protected:
  kit::test::TempDirectory dir_{"web-image-manager"};
  ImageServer server_;
  kit::Ref<KTWebImageManager> manager_ =
      KTWebImageManager::initWithCache(KTImageCache::initWithPath(kit::String::make(dir_.path())), nullptr);
};

TEST_F(WebImageManagerTest, BuildsTheImageRequest) {
  try {
    KTWebImageManager::init();
    FAIL() << "init must raise";
  } catch (const kit::Exception& e) {
    EXPECT_EQ(e.name(), "KTWebImageManager init error");
    EXPECT_EQ(e.reason(), "Use the designated initializer to init.");
  }
  Recorder plain, urlCache;
  auto op = manager_->requestImageWithURL(url(server_.url("/baseline.jpg")), KTWebImageOptions{}, nullptr, nullptr,
                                          plain.completion());
  ASSERT_TRUE(op);
  // Without a queue it starts on the calling thread.
  EXPECT_TRUE(op->isExecuting());
  EXPECT_EQ(op->request()->timeoutInterval(), 15);
  EXPECT_TRUE(op->request()->HTTPShouldUsePipelining());
  EXPECT_FALSE(op->request()->HTTPShouldHandleCookies());
  EXPECT_EQ(op->request()->cachePolicy(), kit::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_EQ(op->cacheKey()->utf8(), server_.url("/baseline.jpg"));
  ASSERT_TRUE(plain.waitForEnd());
  auto headers = server_.lastHeaders("/baseline.jpg");
  ASSERT_TRUE(headers);
  EXPECT_EQ(headers->value("Accept").value_or(""), "image/*;q=0.8");

  auto cached = manager_->requestImageWithURL(url(server_.url("/plain.png")),
                                              KTWebImageOptionUseURLCache | KTWebImageOptionHandleCookies, nullptr,
                                              nullptr, urlCache.completion());
  EXPECT_EQ(cached->request()->cachePolicy(), kit::URLRequestCachePolicy::UseProtocolCachePolicy);
  EXPECT_TRUE(cached->request()->HTTPShouldHandleCookies());
  ASSERT_TRUE(urlCache.waitForEnd());
}

TEST_F(WebImageManagerTest, CookiesTravelOnlyWithTheCookieOption) {
  manager_->setCache(nullptr);
  for (auto options : {KTWebImageOptionHandleCookies, KTWebImageOptions{}}) {
    Recorder set, next;
    // Without a queue the caller keeps the operation alive.
    auto first = manager_->requestImageWithURL(url(server_.url("/cookie/set.jpg")), options, nullptr, nullptr,
                                               set.completion());
    ASSERT_TRUE(set.waitForEnd());
    auto second = manager_->requestImageWithURL(url(server_.url("/cookie/next.jpg")), options, nullptr, nullptr,
                                                next.completion());
    ASSERT_TRUE(next.waitForEnd());
    EXPECT_TRUE(next.last().image) << kit::describe(next.last().error) << kit::describe(set.last().error);
    auto headers = server_.lastHeaders("/cookie/next.jpg");
    ASSERT_TRUE(headers);
    EXPECT_EQ(headers->value("Cookie").has_value(), options == KTWebImageOptionHandleCookies);
  }
}

TEST_F(WebImageManagerTest, KeysHeadersAndCredentialsFollowTheSettings) {
  EXPECT_FALSE(manager_->headersForURL(nullptr));
  EXPECT_FALSE(manager_->cacheKeyForURL(nullptr));
  EXPECT_FALSE(manager_->requestImageWithURL(nullptr, KTWebImageOptions{}, nullptr, nullptr, nullptr));
  auto address = url(server_.url("/img/a.jpg?size=2"));
  EXPECT_EQ(manager_->cacheKeyForURL(address)->utf8(), server_.url("/img/a.jpg?size=2"));
  manager_->setCacheKeyFilter([](const kit::Ref<kit::URL>& u) { return kit::String::make("key:" + u->path()->utf8()); });
  EXPECT_EQ(manager_->cacheKeyForURL(address)->utf8(), "key:/img/a.jpg");
  manager_->setHeadersFilter([](const kit::Ref<kit::URL>&, const kit::Ref<kit::Dictionary>&) {
    return kit::dict({{"Accept", "image/png"}, {"X-Client", "test"}});
  });
  EXPECT_EQ(kit::describe(manager_->headersForURL(address)->objectForKey("X-Client")), "test");

  Recorder r1, r2, r3;
  auto queue = kit::OperationQueue::create("test");
  manager_->setQueue(queue);
  manager_->setUsername(kit::String::make("ann"));
  auto userOnly = manager_->requestImageWithURL(address, KTWebImageOptions{}, nullptr, nullptr, r1.completion());
  EXPECT_FALSE(userOnly->credential());
  manager_->setUsername(nullptr);
  manager_->setPassword(kit::String::make("secret"));
  auto passwordOnly = manager_->requestImageWithURL(address, KTWebImageOptions{}, nullptr, nullptr, r2.completion());
  EXPECT_FALSE(passwordOnly->credential());
  manager_->setUsername(kit::String::make("ann"));
  auto both = manager_->requestImageWithURL(address, KTWebImageOptions{}, nullptr, nullptr, r3.completion());
  ASSERT_TRUE(both->credential());
  EXPECT_EQ(both->credential()->user(), "ann");
  EXPECT_EQ(both->credential()->persistence(), kit::URLCredentialPersistence::ForSession);
  ASSERT_TRUE(r1.waitForEnd() && r2.waitForEnd() && r3.waitForEnd());
  // The filtered key keyed the cache, and the filtered headers went out.
  EXPECT_TRUE(manager_->cache()->containsImageForKey(kit::String::make("key:/img/a.jpg")) ||
              kit::test::runUntil([&] { return manager_->cache()->containsImageForKey(kit::String::make("key:/img/a.jpg")); }));
  EXPECT_EQ(server_.lastHeaders("/img/a.jpg")->value("X-Client").value_or(""), "test");
}

class NetworkIndicatorTest : public kit::test::VirtualClockTest {};

TEST_F(NetworkIndicatorTest, TheIndicatorFollowsTheCountAThirtiethOfASecondLater) {
  auto app = kit::Application::shared();
  app->setNetworkActivityIndicatorVisible(false);
  const long base = KTWebImageManager::currentNetworkActivityCount();
  KTWebImageManager::incrementNetworkActivityCount();
  EXPECT_EQ(KTWebImageManager::currentNetworkActivityCount(), base + 1);
  advance(0.01);
  KTWebImageManager::decrementNetworkActivityCount();
  advance(0.1);
  EXPECT_FALSE(app->isNetworkActivityIndicatorVisible()) << "a raise and a lower within 1/30 s change nothing";

  KTWebImageManager::incrementNetworkActivityCount();
  advance(0.02);
  EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
  advance(0.02);
  EXPECT_TRUE(app->isNetworkActivityIndicatorVisible());
  KTWebImageManager::decrementNetworkActivityCount();
  advance(0.05);
  EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
  EXPECT_EQ(KTWebImageManager::currentNetworkActivityCount(), base);

  // A download with the indicator option raises it while its connection is
  // open and lowers it when the connection ends.
  kit::test::TempDirectory dir("indicator");
  ImageServer server;
  auto manager = KTWebImageManager::initWithCache(nullptr, nullptr);
  std::vector<Recorder> recorders(3);
  std::vector<kit::Ref<KTWebImageOperation>> running;
  for (auto& recorder : recorders) {
    running.push_back(manager->requestImageWithURL(url(server.url("/baseline.jpg")), KTWebImageOptionNetworkIndicator, nullptr, nullptr,
                                 recorder.completion()));
  }
  ASSERT_TRUE(kit::test::runUntil([&] {
    for (auto& r : recorders) {
      if (!r.ends()) return false;
    }
    return KTWebImageManager::currentNetworkActivityCount() == base;
  }));
  advance(0.05);
  EXPECT_FALSE(app->isNetworkActivityIndicatorVisible());
  for (auto& r : recorders) EXPECT_TRUE(r.last().image) << kit::describe(r.last().error);
}

}  // namespace
