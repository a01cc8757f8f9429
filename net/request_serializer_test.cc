// Request serializers: default headers, tracked properties, the three body
// encodings, multipart requests and spooling a multipart body to a file.
#include "net/request_serializer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "kit/foundation/bundle.h"
#include "kit/foundation/device_description.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/values.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "net/networking_errors.h"

namespace {

std::string bodyText(const kit::Ref<kit::URLRequest>& request) {
  return request && request->HTTPBody() ? request->HTTPBody()->toString() : "<none>";
}

std::string header(const kit::Ref<kit::URLRequest>& request, std::string_view name) {
  return kit::describe(request->valueForHTTPHeaderField(name));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Points the main bundle at a folder with the given Info.plist for a test.
class ScopedMainBundle {
 public:
  explicit ScopedMainBundle(const kit::Ref<kit::Dictionary>& info) {
    kit::writePropertyListToFile(info, dir_.file("Info.plist"));
    kit::Bundle::setMainBundlePath(dir_.path());
  }
  ~ScopedMainBundle() { kit::Bundle::setMainBundlePath(""); }

 private:
  kit::test::TempDirectory dir_;
};

class ScopedLanguages {
 public:
  explicit ScopedLanguages(std::vector<std::string> languages) {
    kit::Bundle::setPreferredLanguages(std::move(languages));
  }
  ~ScopedLanguages() { kit::Bundle::setPreferredLanguages({}); }
};

TEST(RequestSerializer, PostWithoutParametersHasEmptyFormBody) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  auto request = serializer->requestWithMethod("POST", "http://127.0.0.1/x", nullptr, nullptr);
  ASSERT_TRUE(request);
  EXPECT_EQ(bodyText(request), "");
  EXPECT_EQ(header(request, "Content-Type"), "application/x-www-form-urlencoded");

  auto typed = kit::MutableURLRequest::make(kit::URL::URLWithString("http://127.0.0.1/x"));
  typed->setHTTPMethod("POST");
  typed->setValue("text/html", "Content-Type");
  auto serialized = serializer->requestBySerializingRequest(typed, nullptr, nullptr);
  EXPECT_EQ(header(serialized, "Content-Type"), "text/html");
  EXPECT_EQ(bodyText(serialized), "");
  EXPECT_EQ(bodyText(typed), "<none>") << "the request passed in is never changed";
}

TEST(RequestSerializer, PostParametersBecomeTheFormBody) {
  auto request = SDPHTTPRequestSerializer::serializer()->requestWithMethod(
      "post", "http://127.0.0.1/x", kit::dict({{"b", "x y"}, {"a", 1}}), nullptr);
  EXPECT_EQ(bodyText(request), "a=1&b=x%20y");
  EXPECT_EQ(request->URL()->absoluteText(), "http://127.0.0.1/x");
}

TEST(RequestSerializer, URIMethodsPutParametersInTheURL) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  EXPECT_EQ(serializer->requestWithMethod("GET", "http://h/p", kit::dict(), nullptr)->URL()->absoluteText(),
            "http://h/p?");
  EXPECT_EQ(serializer->requestWithMethod("GET", "http://h/p", nullptr, nullptr)->URL()->absoluteText(), "http://h/p");
  auto withQuery = serializer->requestWithMethod("get", "http://h/p?x=1", kit::dict({{"y", 2}}), nullptr);
  EXPECT_EQ(withQuery->URL()->absoluteText(), "http://h/p?x=1&y=2");
  EXPECT_EQ(bodyText(withQuery), "<none>");
  EXPECT_EQ(serializer->requestWithMethod("HEAD", "http://h/p", kit::dict({{"a", 1}}), nullptr)->URL()->absoluteText(),
            "http://h/p?a=1");
  auto json = SDPJSONRequestSerializer::serializer();
  auto deletion = json->requestWithMethod("DELETE", "http://h/p", kit::dict({{"id", 7}}), nullptr);
  EXPECT_EQ(deletion->URL()->absoluteText(), "http://h/p?id=7");
  EXPECT_EQ(bodyText(deletion), "<none>");
}

TEST(RequestSerializer, URLTextThatIsNotAURLGivesARequestWithoutURL) {
  auto request =
      SDPHTTPRequestSerializer::serializer()->requestWithMethod("GET", "http://h/a b", kit::dict({{"a", 1}}), nullptr);
  ASSERT_TRUE(request);
  EXPECT_FALSE(request->URL());
}

TEST(RequestSerializer, HeadersOnTheRequestWin) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  serializer->setValue(kit::str("from-serializer"), "X-Thing");
  serializer->setValue(kit::str("kept"), "X-Other");
  auto request = kit::MutableURLRequest::make(kit::URL::URLWithString("http://h/"));
  request->setValue("from-request", "x-thing");
  auto serialized = serializer->requestBySerializingRequest(request, nullptr, nullptr);
  EXPECT_EQ(header(serialized, "X-Thing"), "from-request");
  EXPECT_EQ(header(serialized, "X-Other"), "kept");
  serializer->setValue(nullptr, "X-Other");
  EXPECT_FALSE(serializer->valueForHTTPHeaderField("X-Other"));
  serializer->setAuthorizationHeaderFieldWithUsername("user", "pass");
  EXPECT_EQ(kit::describe(serializer->valueForHTTPHeaderField("Authorization")), "Basic dXNlcjpwYXNz");
  serializer->clearAuthorizationHeader();
  EXPECT_FALSE(serializer->HTTPRequestHeaders()->objectForKey("Authorization"));
}

TEST(RequestSerializer, AcceptLanguageWeighsAtMostSixLanguages) {
  {
    ScopedLanguages languages({"en", "fr"});
    EXPECT_EQ(kit::describe(SDPHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("Accept-Language")),
              "en;q=1, fr;q=0.9");
  }
  ScopedLanguages languages({"zh-Hans", "en", "fr", "de", "ja", "ko", "es", "it", "ru"});
  EXPECT_EQ(kit::describe(SDPHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("Accept-Language")),
            "zh-Hans;q=1, en;q=0.9, fr;q=0.8, de;q=0.7, ja;q=0.6, ko;q=0.5");
}

TEST(RequestSerializer, UserAgentNamesTheApplicationInASCII) {
  {
    ScopedMainBundle bundle(kit::dict({{"CFBundleExecutable", "Game"}, {"CFBundleShortVersionString", "2.1"}}));
    auto agent = [] {
      return kit::describe(SDPHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("User-Agent"));
    };
    EXPECT_EQ(agent(), "Game/2.1 (iPhone; iOS 12.4; Scale/2.00)");
    // The device is read from its description, below the screens.
    const kit::DeviceDescription previous = kit::DeviceDescription::current();
    kit::DeviceDescription tablet;
    tablet.model = "iPad";
    tablet.systemVersion = "13.1";
    tablet.scale = 3;
    kit::DeviceDescription::setCurrent(tablet);
    std::string tabletAgent = agent();
    kit::DeviceDescription::setCurrent(previous);
    EXPECT_EQ(tabletAgent, "Game/2.1 (iPad; iOS 13.1; Scale/3.00)");
  }
  {
    ScopedMainBundle bundle(kit::dict({{"CFBundleIdentifier", "com.example.game"}, {"CFBundleVersion", "77"}}));
    auto agent = kit::describe(SDPHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("User-Agent"));
    EXPECT_TRUE(agent.starts_with("com.example.game/77 (")) << agent;
  }
  ScopedMainBundle bundle(kit::dict({{"CFBundleExecutable", "游戏"}, {"CFBundleShortVersionString", "1"}}));
  auto agent = kit::describe(SDPHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("User-Agent"));
  for (unsigned char c : agent) EXPECT_LT(c, 0x80) << agent;
  EXPECT_TRUE(agent.starts_with("you xi/1 (")) << agent;
}

TEST(RequestSerializer, OnlyPropertiesThatWereSetReachTheRequest) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  auto plain = serializer->requestWithMethod("GET", "http://h/", nullptr, nullptr);
  EXPECT_EQ(plain->timeoutInterval(), 60);
  EXPECT_TRUE(plain->HTTPShouldHandleCookies());
  serializer->setTimeoutInterval(15);
  serializer->setCachePolicy(kit::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  auto set = serializer->requestWithMethod("GET", "http://h/", nullptr, nullptr);
  EXPECT_EQ(set->timeoutInterval(), 15);
  EXPECT_EQ(set->cachePolicy(), kit::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_TRUE(set->HTTPShouldHandleCookies()) << "cookies were never set on the serializer";
  EXPECT_EQ(serializer->observedChangedKeyPaths(), (std::set<std::string>{"cachePolicy", "timeoutInterval"}));
}

TEST(RequestSerializer, CustomQueryErrorStopsTheRequest) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  serializer->setQueryStringSerializationWithBlock(
      [](const kit::Ref<kit::URLRequest>&, const kit::Id&, kit::Ref<kit::Error>* error) {
        *error = kit::Error::make("test", 9, "no");
        return std::string("ignored");
      });
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(serializer->requestWithMethod("GET", "http://h/", kit::dict({{"a", 1}}), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 9);
  // Without parameters the callback is not asked.
  EXPECT_TRUE(serializer->requestWithMethod("GET", "http://h/", nullptr, nullptr));
  serializer->setQueryStringSerializationWithBlock(
      [](const kit::Ref<kit::URLRequest>&, const kit::Id& parameters, kit::Ref<kit::Error>*) {
        return "custom=" + kit::describe(parameters["a"]);
      });
  EXPECT_EQ(bodyText(serializer->requestWithMethod("POST", "http://h/", kit::dict({{"a", 5}}), nullptr)), "custom=5");
  serializer->setQueryStringSerializationWithStyle(SDPHTTPRequestQueryStringSerializationStyle::Default);
  EXPECT_EQ(bodyText(serializer->requestWithMethod("POST", "http://h/", kit::dict({{"a", 5}}), nullptr)), "a=5");
}

TEST(RequestSerializer, JSONAndPropertyListBodies) {
  auto json = SDPJSONRequestSerializer::serializer();
  auto request = json->requestWithMethod("POST", "http://h/", kit::dict({{"a", kit::array({1, "x"})}}), nullptr);
  EXPECT_EQ(header(request, "Content-Type"), "application/json");
  EXPECT_EQ(bodyText(request), "{\"a\":[1,\"x\"]}");
  auto none = json->requestWithMethod("POST", "http://h/", nullptr, nullptr);
  EXPECT_EQ(bodyText(none), "<none>");
  EXPECT_FALSE(none->valueForHTTPHeaderField("Content-Type"));

  kit::Ref<kit::Error> error;
  auto invalid = json->requestWithMethod("POST", "http://h/", kit::dict({{"d", kit::Data::make("x")}}), &error);
  ASSERT_TRUE(invalid) << "the request is still returned";
  EXPECT_EQ(bodyText(invalid), "<none>");
  EXPECT_TRUE(error);

  auto plist = SDPPropertyListRequestSerializer::serializer();
  auto plistRequest = plist->requestWithMethod("PUT", "http://h/", kit::dict({{"k", "v"}}), nullptr);
  EXPECT_EQ(header(plistRequest, "Content-Type"), "application/x-plist");
  kit::Id back = kit::PropertyListSerialization::propertyListWithData(plistRequest->HTTPBody());
  EXPECT_EQ(kit::describe(back["k"]), "v");
}

TEST(RequestSerializer, CopiesAndArchivesKeepHeadersAndOptions) {
  auto json = SDPJSONRequestSerializer::serializerWithWritingOptions(kit::JSONWritingSortedKeys);
  json->setValue(kit::str("1"), "X-Version");
  json->setTimeoutInterval(5);
  auto copy = kit::as<SDPJSONRequestSerializer>(json->copy());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->writingOptions, kit::JSONWritingSortedKeys);
  EXPECT_EQ(kit::describe(copy->valueForHTTPHeaderField("X-Version")), "1");
  EXPECT_TRUE(copy->observedChangedKeyPaths().empty()) << "request properties are not copied";

  auto restored = kit::as<SDPJSONRequestSerializer>(
      kit::KeyedUnarchiver::unarchiveObjectWithData(kit::KeyedArchiver::archivedDataWithRootObject(json)));
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->writingOptions, kit::JSONWritingSortedKeys);
  EXPECT_EQ(kit::describe(restored->valueForHTTPHeaderField("X-Version")), "1");
}

TEST(RequestSerializer, MultipartRequestCarriesParametersAsParts) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  bool constructed = false;
  auto request = serializer->multipartFormRequestWithMethod(
      "POST", "http://h/upload", kit::dict({{"a", 1}, {"n", kit::null()}, {"d", kit::Data::make("raw")}}),
      [&](SDPMultipartFormData& form) {
        constructed = true;
        form.appendPartWithFileData(kit::Data::make("PNG"), "img", "i.png", "image/png");
      },
      nullptr);
  ASSERT_TRUE(request);
  EXPECT_TRUE(constructed);
  auto stream = request->HTTPBodyStream();
  ASSERT_TRUE(stream);
  auto body = kit::as<SDPMultipartBodyStream>(stream);
  ASSERT_EQ(body->HTTPBodyParts().size(), 4u);
  stream->open();
  auto bytes = stream->readAll();
  std::string text = bytes->toString();
  EXPECT_NE(text.find("name=\"a\"\r\n\r\n1\r\n"), std::string::npos);
  EXPECT_NE(text.find("name=\"n\"\r\n\r\n\r\n"), std::string::npos) << "null becomes an empty part";
  EXPECT_NE(text.find("name=\"d\"\r\n\r\nraw\r\n"), std::string::npos);
  EXPECT_EQ(header(request, "Content-Length"), std::to_string(text.size()));
  EXPECT_TRUE(header(request, "Content-Type").starts_with("multipart/form-data; boundary=Boundary+"));
}

TEST(RequestSerializer, SpoolsAMultipartBodyToAFile) {
  kit::test::TempDirectory dir;
  std::string path = dir.file("body.bin");
  std::ofstream(path) << "old contents that are longer than nothing";
  auto serializer = SDPHTTPRequestSerializer::serializer();
  auto request = serializer->multipartFormRequestWithMethod(
      "POST", "http://h/upload", kit::dict({{"field", std::string(5000, 'v')}}), nullptr, nullptr);
  auto expected = kit::as<kit::InputStream>(request->HTTPBodyStream()->copy());
  expected->open();
  std::string expectedText = expected->readAll()->toString();

  bool done = false;
  kit::Ref<kit::Error> result = kit::Error::make("unset", 0);
  auto spooled = serializer->requestWithMultipartFormRequest(request, kit::URL::fileURLWithPath(path),
                                                             [&](kit::Ref<kit::Error> error) {
                                                               EXPECT_TRUE(kit::RunLoop::isMainThread());
                                                               result = error;
                                                               done = true;
                                                             });
  EXPECT_FALSE(spooled->HTTPBodyStream());
  EXPECT_EQ(header(spooled, "Content-Length"), std::to_string(expectedText.size()));
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_FALSE(result);
  EXPECT_EQ(readFile(path), expectedText);
}

TEST(RequestSerializer, SpoolingReportsAWriteFailure) {
  auto serializer = SDPHTTPRequestSerializer::serializer();
  auto request =
      serializer->multipartFormRequestWithMethod("POST", "http://h/upload", kit::dict({{"f", "v"}}), nullptr, nullptr);
  bool done = false;
  kit::Ref<kit::Error> result;
  serializer->requestWithMultipartFormRequest(request, kit::URL::fileURLWithPath("/dev/full"),
                                              [&](kit::Ref<kit::Error> error) {
                                                result = error;
                                                done = true;
                                              });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_TRUE(result);

  done = false;
  result = nullptr;
  serializer->requestWithMultipartFormRequest(request, kit::URL::fileURLWithPath("/nonexistent/dir/body"),
                                              [&](kit::Ref<kit::Error> error) {
                                                result = error;
                                                done = true;
                                              });
  ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
  EXPECT_TRUE(result);
}

}  // namespace
