// URL connections asking their delegate: authentication challenges (HTTP
// basic with the previous-failure count, server trust) and the proposal to
// cache a response, each answered on the connection's run loop.
#include <gtest/gtest.h>

#include <algorithm>

#include "kit/dispatch/runloop.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_connection.h"
#include "kit/testing/run_until.h"

namespace kit {
namespace {

using test::TestResponse;
using test::TestServer;

enum class Answer { Credential, Without, Default, WrongPassword };

struct Outcome {
  std::vector<std::string> methods;
  std::vector<long> failureCounts;
  int status = 0;
  Ref<Error> error;
  bool done = false;
  bool challengedOnMain = true;
};

class ChallengeDelegate : public URLConnectionDelegate {
 public:
  // The n-th challenge takes answers[n], the last answer once they run out.
  ChallengeDelegate(std::shared_ptr<Outcome> outcome, std::vector<Answer> answers, bool keepCache = true)
      : outcome_(std::move(outcome)), answers_(std::move(answers)), keepCache_(keepCache) {}
  void connectionWillSendRequestForAuthenticationChallenge(
      URLConnection&, const Ref<URLAuthenticationChallenge>& challenge,
      const Ref<URLAuthenticationChallengeSender>& sender) override {
    auto space = challenge->protectionSpace();
    outcome_->methods.push_back(space->authenticationMethod());
    outcome_->failureCounts.push_back(challenge->previousFailureCount());
    if (!RunLoop::isMainThread()) outcome_->challengedOnMain = false;
    bool trust = space->authenticationMethod() == URLAuthenticationMethodServerTrust;
    Answer answer = answers_[std::min(outcome_->methods.size() - 1, answers_.size() - 1)];
    switch (answer) {
      case Answer::Credential:
        return sender->useCredential(trust ? URLCredential::credentialForTrust(space->serverTrust())
                                           : URLCredential::credentialWithUser("ann", "secret",
                                                                               URLCredentialPersistence::None));
      case Answer::WrongPassword:
        return sender->useCredential(URLCredential::credentialWithUser("ann", "wrong", URLCredentialPersistence::None));
      case Answer::Without:
        return sender->continueWithoutCredential();
      case Answer::Default:
        return sender->performDefaultHandling();
    }
  }
  Ref<CachedURLResponse> connectionWillCacheResponse(URLConnection&, const Ref<CachedURLResponse>& proposed) override {
    return keepCache_ ? proposed : nullptr;
  }
  void connectionDidReceiveResponse(URLConnection&, const Ref<URLResponse>& response) override {
    if (auto http = as<HTTPURLResponse>(response)) outcome_->status = static_cast<int>(http->statusCode());
  }
  void connectionDidFinishLoading(URLConnection&) override { outcome_->done = true; }
  void connectionDidFailWithError(URLConnection&, const Ref<Error>& error) override {
    outcome_->error = error;
    outcome_->done = true;
  }

 private:
  std::shared_ptr<Outcome> outcome_;
  std::vector<Answer> answers_;
  bool keepCache_;
};

std::shared_ptr<Outcome> load(const std::string& address, std::vector<Answer> answers, bool keepCache = true) {
  auto outcome = std::make_shared<Outcome>();
  auto connection = URLConnection::connectionWithRequest(URLRequest::make(URL::URLWithString(address)),
                                                         std::make_shared<ChallengeDelegate>(outcome, std::move(answers), keepCache));
  EXPECT_TRUE(test::runUntil([&] { return outcome->done; }));
  return outcome;
}

TestResponse basicAuthRoute(const test::RecordedRequest& request) {
  // "ann:secret"
  if (request.header("Authorization").value_or("") == "Basic YW5uOnNlY3JldA==") return TestResponse::text("in");
  auto refused = TestResponse::text("who?", 401);
  refused.headers.set("WWW-Authenticate", "Basic realm=\"images\"");
  return refused;
}

TEST(URLConnectionChallenge, HTTPBasicCarriesTheFailureCountAndEachAnswer) {
  auto server = TestServer::startHTTP();
  server->route("GET", "/private", basicAuthRoute);

  auto granted = load(server->url("/private"), {Answer::Credential});
  EXPECT_FALSE(granted->error);
  EXPECT_EQ(granted->status, 200);
  EXPECT_EQ(granted->methods, std::vector<std::string>{URLAuthenticationMethodHTTPBasic});
  EXPECT_EQ(granted->failureCounts, std::vector<long>{0});
  EXPECT_TRUE(granted->challengedOnMain);

  // A refused credential brings the challenge back with one failure counted.
  auto wrong = load(server->url("/private"), {Answer::WrongPassword, Answer::Without});
  EXPECT_EQ(wrong->failureCounts, (std::vector<long>{0, 1}));
  EXPECT_EQ(wrong->status, 401);

  auto without = load(server->url("/private"), {Answer::Without});
  EXPECT_FALSE(without->error);
  EXPECT_EQ(without->status, 401);
  auto byDefault = load(server->url("/private"), {Answer::Default});
  EXPECT_EQ(byDefault->status, 401);
}

TEST(URLConnectionChallenge, ServerTrustIsRefusedByDefaultAndAcceptedWithACredentialForIt) {
  auto server = TestServer::startHTTPS(test::TestCertificates::shared().selfSigned);
  ASSERT_TRUE(server);
  server->route("GET", "/", TestResponse::text("trusted"));

  auto refused = load(server->url("/"), {Answer::Default});
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->methods, std::vector<std::string>{URLAuthenticationMethodServerTrust});
  auto stillRefused = load(server->url("/"), {Answer::Without});
  EXPECT_TRUE(stillRefused->error);
  auto accepted = load(server->url("/"), {Answer::Credential});
  EXPECT_FALSE(accepted->error);
  EXPECT_EQ(accepted->status, 200);
}

TEST(URLConnectionChallenge, TheDelegateDecidesWhatTheURLCacheKeeps) {
  auto server = TestServer::startHTTP();
  auto cacheable = TestResponse::text("kept");
  cacheable.headers.set("Cache-Control", "max-age=600");
  server->route("GET", "/*", cacheable);
  auto cache = URLCache::sharedURLCache();
  auto requestFor = [&](const char* path) { return URLRequest::make(URL::URLWithString(server->url(path))); };

  load(server->url("/refused"), {Answer::Default}, false);
  EXPECT_FALSE(cache->cachedResponseForRequest(requestFor("/refused")));
  load(server->url("/kept"), {Answer::Default}, true);
  auto kept = cache->cachedResponseForRequest(requestFor("/kept"));
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->data()->toString(), "kept");
  cache->removeCachedResponseForRequest(requestFor("/kept"));
}

TEST(URLConnectionChallenge, ConnectionsCacheInTheSharedCacheAsItIsWhenTheyStart) {
  auto server = TestServer::startHTTP();
  auto cacheable = TestResponse::text("kept");
  cacheable.headers.set("Cache-Control", "max-age=600");
  server->route("GET", "/*", cacheable);
  auto requestFor = [&](const char* path) { return URLRequest::make(URL::URLWithString(server->url(path))); };
  auto before = URLCache::sharedURLCache();
  load(server->url("/first"), {Answer::Default}, true);
  EXPECT_TRUE(before->cachedResponseForRequest(requestFor("/first")));
  before->removeCachedResponseForRequest(requestFor("/first"));

  // A cache set in its place takes the next connection's response.
  auto replacement = URLCache::make(1 << 20, 0, "");
  URLCache::setSharedURLCache(replacement);
  load(server->url("/second"), {Answer::Default}, true);
  auto kept = replacement->cachedResponseForRequest(requestFor("/second"));
  URLCache::setSharedURLCache(before);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->data()->toString(), "kept");
  EXPECT_FALSE(before->cachedResponseForRequest(requestFor("/second")));
}

}  // namespace
}  // namespace kit
