// The session managers as runtime classes: each answers its own name, and
// archiving keeps it. A decoded manager has the class, base URL,
// configuration, serializers and policy of the one archived and works
// against a real server; a configuration the archiver cannot keep travels
// as its background identifier; plain, corrupt and hostile archives give
// nil without a crash and without leaving a session behind.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "net/cxr_sdp_net_tool.h"
#include "net/http_session_manager.h"
#include "net/network_manager.h"

namespace {

using kit::test::TestResponse;
using kit::test::TestServer;

// A configuration of a class the runtime does not know: the archiver
// cannot keep it, so a manager over it archives only its identifier.
class UnregisteredConfiguration : public kit::URLSessionConfiguration {
 public:
  static kit::Ref<UnregisteredConfiguration> background(const std::string& identifier) {
    auto config = kit::make<UnregisteredConfiguration>();
    config->takeSettings(*backgroundSessionConfigurationWithIdentifier(identifier));
    config->timeoutIntervalForRequest = 7;
    return config;
  }
  kit::Id copy() const override {
    auto config = kit::make<UnregisteredConfiguration>();
    config->takeSettings(*this);
    return config;
  }
};

class SessionManagerArchivingTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& manager : managers) {
      std::atomic<bool> invalid{false};  // set on the thread that posts it
      auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
          SDPManagerSessionInvalidatedNotification, manager->session(),
          [&](const kit::Ref<kit::Notification>&) { invalid = true; });
      manager->invalidateSessionCancelingTasks(true);
      EXPECT_TRUE(kit::test::runUntil([&] { return invalid.load(); }));
      kit::NotificationCenter::defaultCenter()->removeObserver(token);
    }
  }
  template <class T>
  kit::Ref<T> keep(kit::Ref<T> manager) {
    if (manager) managers.push_back(manager);
    return manager;
  }
  template <class T>
  kit::Ref<T> decode(const kit::Ref<kit::Data>& bytes) {
    kit::Ref<kit::Error> error;
    auto manager = keep(kit::KeyedUnarchiver::unarchivedObjectOfClass<T>(bytes, &error));
    EXPECT_FALSE(error) << kit::describe(error);
    return manager;
  }

  std::vector<kit::Ref<SDPURLSessionManager>> managers;
};

TEST_F(SessionManagerArchivingTest, TheManagersAnswerTheirOwnNames) {
  std::vector<kit::Ref<SDPURLSessionManager>> all = {
      keep(SDPURLSessionManager::make()), keep(SDPHTTPSessionManager::manager()),
      keep(kit::as<SDPURLSessionManager>(NetWorkManager::sharedInstance()->copy())),
      keep(kit::as<SDPURLSessionManager>(CXRSdpNetTool::sharedTool()->copy()))};
  std::vector<std::pair<std::string, std::string>> expected = {{"SDPURLSessionManager", "NSObject"},
                                                               {"SDPHTTPSessionManager", "SDPURLSessionManager"},
                                                               {"NetWorkManager", "SDPURLSessionManager"},
                                                               {"CXRSdpNetTool", "SDPHTTPSessionManager"}};
  for (size_t i = 0; i < all.size(); ++i) {
    const auto& [name, super] = expected[i];
    ASSERT_TRUE(all[i]);
    EXPECT_EQ(all[i]->className(), name);
    EXPECT_TRUE(all[i]->description().starts_with("<" + name + ": 0x")) << all[i]->description();
    const kit::Class* cls = kit::Class::named(name);
    ASSERT_TRUE(cls);
    EXPECT_EQ(&all[i]->objectClass(), cls);
    EXPECT_EQ(cls->superclass()->name(), super);
    EXPECT_TRUE(all[i]->isKindOfClass(SDPURLSessionManager::staticClass()));
  }
  EXPECT_TRUE(all[3]->isKindOfClass(SDPHTTPSessionManager::staticClass()));
  EXPECT_FALSE(all[2]->isKindOfClass(SDPHTTPSessionManager::staticClass()));
}

TEST_F(SessionManagerArchivingTest, HTTPManagerComesBackWithEverythingAndWorks) {
  auto server = TestServer::startHTTP();
  auto reply = TestResponse::text(R"({"role":"knight","gone":null})");
  reply.contentType = "text/html";
  server->route("GET", "/api/role", reply);
  auto config = kit::URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier("com.example.roles");
  config->timeoutIntervalForRequest = 20;
  auto manager = keep(SDPHTTPSessionManager::managerWithBaseURL(kit::URL::URLWithString(server->url("/api")), config));
  auto request = SDPJSONRequestSerializer::serializer();
  request->setValue(kit::str("game"), "X-Client");
  manager->setRequestSerializer(request);
  auto response = SDPJSONResponseSerializer::serializer();
  response->removesKeysWithNullValues = true;
  response->setAcceptableContentTypes(kit::Set::make({kit::str("text/html")}));
  manager->setResponseSerializer(response);
  auto policy = SDPSecurityPolicy::defaultPolicy();
  policy->allowInvalidCertificates = true;
  manager->setSecurityPolicy(policy);

  auto back = decode<SDPHTTPSessionManager>(kit::KeyedArchiver::archivedDataWithRootObject(manager));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->className(), "SDPHTTPSessionManager");
  EXPECT_NE(back, manager);
  EXPECT_EQ(back->baseURL()->absoluteText(), server->url("/api/"));
  auto backConfig = back->session()->configuration();
  EXPECT_EQ(backConfig->identifier(), std::optional<std::string>("com.example.roles"));
  EXPECT_EQ(backConfig->timeoutIntervalForRequest, 20);
  ASSERT_TRUE(kit::isKind<SDPJSONRequestSerializer>(back->requestSerializer()));
  EXPECT_EQ(kit::describe(back->requestSerializer()->valueForHTTPHeaderField("X-Client")), "game");
  auto backResponse = kit::as<SDPJSONResponseSerializer>(back->responseSerializer());
  ASSERT_TRUE(backResponse);
  EXPECT_TRUE(backResponse->removesKeysWithNullValues);
  EXPECT_NE(back->securityPolicy(), policy);
  EXPECT_TRUE(back->securityPolicy()->allowInvalidCertificates);

  // The decoded manager talks to the server with what it decoded.
  kit::Id object;
  bool done = false;
  back->GET(
      "role", nullptr, [&](const auto&, const kit::Id& o) { object = o, done = true; },
      [&](const auto&, const auto&) { done = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_EQ(kit::describe(object), "{\n    role = knight;\n}");
  ASSERT_EQ(server->requests().size(), 1u);
  EXPECT_EQ(server->requests()[0].header("X-Client"), "game");
  server->stop();
}

TEST_F(SessionManagerArchivingTest, AnUnkeepableConfigurationTravelsAsItsBackgroundIdentifier) {
  auto manager = keep(SDPHTTPSessionManager::managerWithBaseURL(nullptr, UnregisteredConfiguration::background("ids")));
  auto bytes = kit::KeyedArchiver::archivedDataWithRootObject(manager);
  EXPECT_EQ(bytes->toString().find("sessionConfiguration"), std::string::npos);

  auto back = decode<SDPHTTPSessionManager>(bytes);
  ASSERT_TRUE(back);
  auto config = back->session()->configuration();
  EXPECT_EQ(config->identifier(), std::optional<std::string>("ids"));
  EXPECT_EQ(config->timeoutIntervalForRequest, kit::DefaultRequestTimeout);  // a fresh background configuration
  EXPECT_FALSE(back->baseURL());

  // Without an identifier either, the manager gets the default configuration.
  auto plain = kit::make<UnregisteredConfiguration>();
  auto noIdentifier = keep(SDPHTTPSessionManager::managerWithBaseURL(nullptr, plain));
  auto fallback = decode<SDPHTTPSessionManager>(kit::KeyedArchiver::archivedDataWithRootObject(noIdentifier));
  ASSERT_TRUE(fallback);
  EXPECT_FALSE(fallback->session()->configuration()->identifier());
}

TEST_F(SessionManagerArchivingTest, SubclassesKeepTheirClassAndSetUp) {
  auto base = keep(SDPURLSessionManager::make(kit::URLSessionConfiguration::ephemeralSessionConfiguration()));
  auto baseBack = decode<SDPURLSessionManager>(kit::KeyedArchiver::archivedDataWithRootObject(base));
  ASSERT_TRUE(baseBack);
  EXPECT_EQ(baseBack->className(), "SDPURLSessionManager");
  EXPECT_TRUE(baseBack->session()->configuration()->isEphemeral());
  EXPECT_TRUE(kit::isKind<SDPJSONResponseSerializer>(baseBack->responseSerializer()));

  // The platform client's raw serializer and its five types come from its
  // own set-up, which the archive does not carry.
  auto network = keep(kit::as<NetWorkManager>(NetWorkManager::sharedInstance()->copy()));
  ASSERT_TRUE(network);
  auto networkBack = decode<SDPURLSessionManager>(kit::KeyedArchiver::archivedDataWithRootObject(network));
  ASSERT_TRUE(kit::isKind<NetWorkManager>(networkBack));
  EXPECT_EQ(networkBack->className(), "NetWorkManager");
  EXPECT_EQ(networkBack->responseSerializer()->className(), "SDPHTTPResponseSerializer");
  EXPECT_EQ(networkBack->responseSerializer()->acceptableContentTypes()->count(), 5u);

  auto tool = keep(kit::as<CXRSdpNetTool>(CXRSdpNetTool::sharedTool()->copy()));
  ASSERT_TRUE(tool);
  auto toolBack = decode<SDPHTTPSessionManager>(kit::KeyedArchiver::archivedDataWithRootObject(tool));
  ASSERT_TRUE(kit::isKind<CXRSdpNetTool>(toolBack));
  EXPECT_TRUE(toolBack->responseSerializer()->acceptableContentTypes()->containsObject(kit::str("text/html")));

  // Asking for the HTTP manager refuses the plain URL session manager.
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPHTTPSessionManager>(
      kit::KeyedArchiver::archivedDataWithRootObject(base), &error));
  EXPECT_TRUE(error);
}

TEST_F(SessionManagerArchivingTest, PlainCorruptAndHostileArchivesGiveNil) {
  auto manager = keep(SDPHTTPSessionManager::managerWithBaseURL(kit::URL::URLWithString("http://127.0.0.1:9/x")));
  auto good = kit::KeyedArchiver::archivedDataWithRootObject(manager);

  // Plain decoding makes no manager (and so no session).
  EXPECT_EQ(kit::KeyedUnarchiver::unarchiveObjectWithData(good), nullptr);

  // A manager where a serializer belongs is never made.
  auto hostile = kit::as<SDPHTTPSessionManager>(manager->copy());
  keep(hostile);
  auto compound = SDPCompoundResponseSerializer::compoundSerializerWithResponseSerializers({});
  hostile->setResponseSerializer(compound);
  std::string bytes = kit::KeyedArchiver::archivedDataWithRootObject(hostile)->toString();
  // Point an empty array inside (the compound's members, or the policy's
  // pinned certificates) at the root manager. The archive's last byte is
  // the root reference; an empty immutable array is the entry "\x08\x00".
  size_t emptyArray = bytes.find(std::string("\x02\x08\x00", 3));
  ASSERT_NE(emptyArray, std::string::npos);
  std::string rootRef = bytes.substr(bytes.size() - 1);
  std::string tampered = bytes.substr(0, emptyArray) + std::string("\x03\x08\x01", 3) + rootRef +
                         bytes.substr(emptyArray + 3);
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPHTTPSessionManager>(kit::Data::make(tampered), &error));
  ASSERT_TRUE(error);
  EXPECT_NE(error->localizedDescription().find("was not asked for"), std::string::npos);

  // Every truncation and a bit flip in every byte: nil or a manager, never
  // a crash; whatever comes back is invalidated by the fixture.
  std::string text = good->toString();
  for (size_t n = 0; n < text.size(); ++n) {
    EXPECT_FALSE(kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPHTTPSessionManager>(
        kit::Data::make(text.substr(0, n)), nullptr));
  }
  for (size_t i = 0; i < text.size(); ++i) {
    std::string bad = text;
    bad[i] = static_cast<char>(bad[i] ^ (1 << (i % 8)));
    keep(kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPHTTPSessionManager>(kit::Data::make(bad), nullptr));
  }
}

// The threads of this process.
size_t liveThreads() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
  return count;
}

// Each manager runs a session with a thread of its own: 8 managers decoded
// 5 times would leave 40 threads behind. (Other threads of the process may
// come and go meanwhile, hence the margin.)
TEST(SessionManagerSecureDecoding, AnArrayOfManagersWhereAManagerIsAskedForBuildsNone) {
  auto managers = kit::MutableArray::make();
  for (int i = 0; i < 8; ++i) managers->addObject(SDPHTTPSessionManager::manager());
  auto bytes = kit::KeyedArchiver::archivedDataWithRootObject(managers);
  for (const kit::Id& manager : managers->objects()) {
    kit::as<SDPHTTPSessionManager>(manager)->invalidateSessionCancelingTasks(true);
  }
  managers = nullptr;

  const size_t threads = liveThreads();
  for (int attempt = 0; attempt < 5; ++attempt) {
    kit::Ref<kit::Error> error;
    EXPECT_FALSE(kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPHTTPSessionManager>(bytes, &error));
    ASSERT_TRUE(error);
    EXPECT_NE(error->localizedDescription().find("was not asked for"), std::string::npos)
        << error->localizedDescription();
  }
  EXPECT_LT(liveThreads(), threads + 8) << "a refused archive started sessions";
}

}  // namespace
