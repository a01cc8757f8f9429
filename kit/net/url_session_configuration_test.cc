// Session configurations through the keyed archiver: every kind and setting
// comes back, the cache follows the kind, and settings that would not make
// a working session decode as nil.

#include "kit/net/url_session_configuration.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "kit/foundation/values.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_session.h"

namespace kit {
namespace {

Ref<URLSessionConfiguration> roundTrip(const Ref<URLSessionConfiguration>& config) {
  Ref<Error> error;
  auto back = KeyedUnarchiver::unarchivedObjectOfClass<URLSessionConfiguration>(
      KeyedArchiver::archivedDataWithRootObject(config), &error);
  EXPECT_FALSE(error) << describe(error);
  return back;
}

TEST(URLSessionConfigurationArchiving, EveryKindAndSettingComesBack) {
  auto background = URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("com.example.upload");
  background->timeoutIntervalForRequest = 12.5;
  background->timeoutIntervalForResource = 300;
  background->HTTPMaximumConnectionsPerHost = 2;
  background->requestCachePolicy = URLRequestCachePolicy::ReturnCacheDataElseLoad;
  background->networkServiceType = URLRequestNetworkServiceType::Background;
  background->allowsCellularAccess = false;
  background->HTTPShouldUsePipelining = true;
  background->HTTPShouldSetCookies = false;
  background->waitsForConnectivity = true;
  background->discretionary = true;
  background->sessionSendsLaunchEvents = false;
  background->HTTPAdditionalHeaders = dict({{"X-Client", "game"}, {"Accept", "application/json"}});
  background->sharedContainerIdentifier = "group.example";
  background->setMaximumInMemoryBodyLength(int64_t{3} << 20);

  auto back = roundTrip(background);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->identifier(), std::optional<std::string>("com.example.upload"));
  EXPECT_FALSE(back->isEphemeral());
  EXPECT_EQ(back->timeoutIntervalForRequest, 12.5);
  EXPECT_EQ(back->timeoutIntervalForResource, 300);
  EXPECT_EQ(back->HTTPMaximumConnectionsPerHost, 2);
  EXPECT_EQ(back->requestCachePolicy, URLRequestCachePolicy::ReturnCacheDataElseLoad);
  EXPECT_EQ(back->networkServiceType, URLRequestNetworkServiceType::Background);
  EXPECT_FALSE(back->allowsCellularAccess);
  EXPECT_TRUE(back->HTTPShouldUsePipelining);
  EXPECT_FALSE(back->HTTPShouldSetCookies);
  EXPECT_TRUE(back->waitsForConnectivity);
  EXPECT_TRUE(back->discretionary);
  EXPECT_FALSE(back->sessionSendsLaunchEvents);
  EXPECT_TRUE(isEqual(back->HTTPAdditionalHeaders, background->HTTPAdditionalHeaders));
  EXPECT_EQ(back->sharedContainerIdentifier, std::optional<std::string>("group.example"));
  EXPECT_EQ(back->URLCache, URLCache::sharedURLCache());
  EXPECT_EQ(back->maximumInMemoryBodyLength(), int64_t{3} << 20);
  EXPECT_EQ(std::static_pointer_cast<URLSessionConfiguration>(background->copy())->maximumInMemoryBodyLength(),
            int64_t{3} << 20);

  // The defaults of the default kind survive untouched.
  auto plain = roundTrip(URLSessionConfiguration::defaultSessionConfiguration());
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->identifier());
  EXPECT_EQ(plain->timeoutIntervalForRequest, DefaultRequestTimeout);
  EXPECT_EQ(plain->HTTPMaximumConnectionsPerHost, 6);
  EXPECT_TRUE(plain->HTTPShouldSetCookies);
  EXPECT_FALSE(plain->HTTPAdditionalHeaders);
  EXPECT_EQ(plain->maximumInMemoryBodyLength(), URLSessionDefaultMaximumInMemoryBodyLength);

  // An ephemeral configuration gets a fresh in-memory cache, never the
  // shared one; a configuration without a cache stays without.
  auto ephemeral = roundTrip(URLSessionConfiguration::ephemeralSessionConfiguration());
  ASSERT_TRUE(ephemeral);
  EXPECT_TRUE(ephemeral->isEphemeral());
  ASSERT_TRUE(ephemeral->URLCache);
  EXPECT_NE(ephemeral->URLCache, URLCache::sharedURLCache());
  auto uncached = URLSessionConfiguration::defaultSessionConfiguration();
  uncached->URLCache = nullptr;
  auto uncachedBack = roundTrip(uncached);
  ASSERT_TRUE(uncachedBack);
  EXPECT_FALSE(uncachedBack->URLCache);
}

TEST(URLSessionConfigurationArchiving, SettingsThatMakeNoWorkingSessionDecodeAsNil) {
  auto archiveOf = [](auto change) {
    auto config = URLSessionConfiguration::defaultSessionConfiguration();
    change(*config);
    return KeyedArchiver::archivedDataWithRootObject(config);
  };
  std::vector<Ref<Data>> hostile = {
      archiveOf([](URLSessionConfiguration& c) { c.timeoutIntervalForRequest = std::nan(""); }),
      archiveOf([](URLSessionConfiguration& c) { c.timeoutIntervalForResource = -1; }),
      archiveOf([](URLSessionConfiguration& c) { c.timeoutIntervalForRequest = INFINITY; }),
      archiveOf([](URLSessionConfiguration& c) { c.HTTPMaximumConnectionsPerHost = 0; }),
      archiveOf([](URLSessionConfiguration& c) {
        c.HTTPMaximumConnectionsPerHost = URLSessionMaximumConnectionsPerHost + 1;
      }),
      archiveOf([](URLSessionConfiguration& c) { c.HTTPMaximumConnectionsPerHost = LONG_MAX; }),
      archiveOf([](URLSessionConfiguration& c) { c.requestCachePolicy = static_cast<URLRequestCachePolicy>(77); }),
      archiveOf([](URLSessionConfiguration& c) {
        c.networkServiceType = static_cast<URLRequestNetworkServiceType>(7);
      }),
      archiveOf([](URLSessionConfiguration& c) { c.HTTPAdditionalHeaders = dict({{"X-Count", 3}}); }),
      archiveOf([](URLSessionConfiguration& c) { c.setMaximumInMemoryBodyLength(0); }),
  };
  for (const auto& bytes : hostile) {
    Ref<Error> error;
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<URLSessionConfiguration>(bytes, &error));
    EXPECT_FALSE(error);  // well-formed bytes, refused values: nil without an error
  }
  // The largest number allowed comes back as it was.
  auto most = URLSessionConfiguration::defaultSessionConfiguration();
  most->HTTPMaximumConnectionsPerHost = URLSessionMaximumConnectionsPerHost;
  ASSERT_TRUE(roundTrip(most));
  EXPECT_EQ(roundTrip(most)->HTTPMaximumConnectionsPerHost, URLSessionMaximumConnectionsPerHost);
  // A string where the configuration belongs is the wrong class.
  Ref<Error> error;
  EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<URLSessionConfiguration>(
      KeyedArchiver::archivedDataWithRootObject(str("default")), &error));
  EXPECT_TRUE(error);
}

// A number set in code beyond what a session opens is held to it, not
// computed with.
TEST(URLSessionConfigurationArchiving, ASessionWithAnyConnectionCountLoads) {
  auto server = test::TestServer::startHTTP();
  server->route("GET", "/ok", test::TestResponse::text("ok"));
  for (long connections : {-5L, 1L, URLSessionMaximumConnectionsPerHost, LONG_MAX}) {
    auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
    config->HTTPMaximumConnectionsPerHost = connections;
    auto session = URLSession::sessionWithConfiguration(config);
    test::Latch done;
    Ref<Data> body;
    session->dataTaskWithURL(URL::URLWithString(server->url("/ok")), [&](Ref<Data> d, Ref<URLResponse>, Ref<Error>) {
      body = d;
      done.open();
    })->resume();
    ASSERT_TRUE(done.wait());
    ASSERT_TRUE(body) << connections;
    EXPECT_EQ(body->toString(), "ok");
    session->invalidateAndCancel();
  }
}

}  // namespace
}  // namespace kit
