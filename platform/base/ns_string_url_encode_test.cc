// The platform SDK's text utilities: digests and encodings, blank tests,
// validators, resource paths, the signed web-page arguments on a virtual
// wall clock, order numbers, device names, the query-value encoder and
// the notched-landscape test.
#include "platform/base/ns_string_url_encode.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/random.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/window.h"
#include "platform/base/deveice_platform.h"
#include "platform/base/kt_notched_landscape.h"
#include "platform/base/share_vale.h"
#include "platform/base/testing/platform_test_bundle.h"
#include "platform/base/url_query_value.h"

namespace {

using S = NSStringURLEncode;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The query's arguments in order, split at "&" after the leading "?".
std::vector<std::string> arguments(const std::string& query) {
  std::vector<std::string> out;
  size_t start = 1;
  while (start <= query.size()) {
    const size_t end = std::min(query.find('&', start), query.size());
    out.push_back(query.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

TEST(TextDigest, MD5StopsAtTheFirstZeroByteAndHexOfBytes) {
  EXPECT_EQ(S::md5String("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(S::md5String(std::string("ab\0cd", 5)), S::md5String("ab"));
  EXPECT_EQ(S::md5String(""), "d41d8cd98f00b204e9800998ecf8427e");
  const uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff};
  EXPECT_EQ(S::stringFromBytes(bytes, 4), "000fa0ff");
  EXPECT_EQ(S::stringFromBytes(bytes, 0), "");
  EXPECT_EQ(S::stringFromBytes(bytes, -1), "");
}

TEST(TextEncoding, OlderPercentEncodingWithGB18030) {
  EXPECT_EQ(lower(S::URLEncodedString("a b&中-._~")), lower("a%20b%26%D6%D0-._%7E"));
  // Every listed character is escaped, letters and digits are not.
  EXPECT_EQ(S::URLEncodedString(":/?#[]@!$&'()*+,;=\"<>%{}|\\^`"),
            "%3A%2F%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%22%3C%3E%25%7B%7D%7C%5C%5E%60");
  EXPECT_EQ(S::URLEncodedString("Az09"), "Az09");
  EXPECT_EQ(S::URLEncodedString(""), "");
  // Bytes that are no character are escaped one by one; the characters
  // around them keep their GB 18030 escapes and the escape set.
  EXPECT_EQ(S::URLEncodedString("中~()\xFF"), "%D6%D0%7E%28%29%FF");
  EXPECT_EQ(S::URLEncodedString("a\xED\xA0\x80中 b"), "a%ED%A0%80%D6%D0%20b");
  EXPECT_EQ(S::URLEncodedString("\xE4\xB8"), "%E4%B8");  // a character cut short
  EXPECT_EQ(S::URLEncodedString("\xC0\xAF/"), "%C0%AF%2F");
  // A run the GB 18030 conversion refuses (here for its NUL bytes) keeps
  // the escape set over its UTF-8 bytes.
  const std::string refused("t5\xEE\x9E\x91\x01\x00\x00~\x9E\x91" "e", 12);
  const std::string older = S::URLEncodedString(refused);
  EXPECT_EQ(older.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._%"),
            std::string::npos)
      << older;
  EXPECT_NE(older.find("%7E%9E%91e"), std::string::npos) << older;
}

TEST(TextBlanks, WhitespaceTestsAndTrimming) {
  EXPECT_TRUE(S::isEmptyOrWhitespace(""));
  EXPECT_TRUE(S::isEmptyOrWhitespace(" \t"));
  EXPECT_FALSE(S::isEmptyOrWhitespace("\n"));
  EXPECT_FALSE(S::isEmptyOrWhitespace(" a "));
  EXPECT_EQ(S::trimmedWhitespaceString(" \ta\n "), "a\n");
  EXPECT_EQ(S::trimmedWhitespaceAndNewlineString(" \ta\n "), "a");
  EXPECT_EQ(S::trimmedWhitespaceAndNewlineString(" 玩 家 \r\n"), "玩 家");
}

TEST(TextValidators, NumbersPasswordsPhonesAndAddresses) {
  EXPECT_TRUE(S::isNumber("12"));
  EXPECT_TRUE(S::isNumber("1.2.3"));
  EXPECT_TRUE(S::isNumber("."));
  EXPECT_FALSE(S::isNumber(kit::Ref<kit::String>{}));
  EXPECT_FALSE(S::isNumber(""));
  EXPECT_FALSE(S::isNumber("1,0"));
  EXPECT_FALSE(S::isNumber("-1"));
  EXPECT_FALSE(S::isNumber(" 1"));
  EXPECT_TRUE(S::isNumber(kit::str("30.5")));

  EXPECT_TRUE(S::isWeakPswd("abc123"));
  EXPECT_TRUE(S::isWeakPswd("a1b2c3d4e5f6g7h8i9j0"));  // 20
  EXPECT_FALSE(S::isWeakPswd("abcdef"));
  EXPECT_FALSE(S::isWeakPswd("123456"));
  EXPECT_FALSE(S::isWeakPswd("a1b2c3d4e5f6g7h8i9j0k"));  // 21
  EXPECT_FALSE(S::isWeakPswd("ab12"));
  EXPECT_FALSE(S::isWeakPswd("abc123\n")) << "the whole text must match";

  EXPECT_TRUE(S::isTelephone("13800138000"));
  EXPECT_TRUE(S::isTelephone("01012345678"));
  EXPECT_TRUE(S::isTelephone("13490001234"));  // carrier A's 1349 range
  EXPECT_FALSE(S::isTelephone("12345678901"));
  EXPECT_FALSE(S::isTelephone("1380013800"));
  EXPECT_FALSE(S::isTelephone("13800138000\n"));
  EXPECT_FALSE(S::isTelephone(""));

  EXPECT_TRUE(S::isEmail("Player.One@Example.cn"));
  EXPECT_TRUE(S::isEmail("x@[127.0.0.1]"));
  EXPECT_TRUE(S::isEmail("\"a..b\"@c.cn"));
  EXPECT_FALSE(S::isEmail("player"));
  EXPECT_FALSE(S::isEmail("a b@c.cn"));
  EXPECT_FALSE(S::isEmail("a@b"));
  EXPECT_FALSE(S::isEmail("x@[300.0.0.1]"));
  // A long hostile input answers (no runaway matching).
  EXPECT_FALSE(S::isEmail(std::string(5000, 'a') + "@" + std::string(5000, '.') + "!"));
}

TEST(TextValidators, LoginSign) {
  const std::string sign = "59772625318bf49f091dd22e23e60210";  // username=u1&appkey=k1&logintime=1700000000
  EXPECT_TRUE(S::isSignWithUserName(sign, kit::str("u1"), kit::str("k1"), kit::str("1700000000")));
  EXPECT_FALSE(S::isSignWithUserName(sign, kit::str("u1"), kit::str("k2"), kit::str("1700000000")));
  EXPECT_FALSE(S::isSignWithUserName(sign, nullptr, kit::str("k1"), kit::str("1700000000")));
}

TEST(ResourceBundle, PathsWithAndWithoutTheBundle) {
  {
    PlatformTestBundle bundle;
    EXPECT_EQ(S::getImagePath("KT_nav_back"), "VIROV.bundle/KT_nav_back");
    EXPECT_EQ(std::filesystem::path(S::getBundlePath()), std::filesystem::path(bundle.path()) / "VIROV.bundle");
  }
  {
    PlatformTestBundle bundle({.resourceBundle = false});
    EXPECT_EQ(S::getImagePath("KT_nav_back"), "KT_nav_back");
    EXPECT_EQ(std::filesystem::path(S::getBundlePath()), std::filesystem::path(bundle.path()));
  }
}

TEST(WebPageArguments, SignedArgumentsOnTheVirtualWallClock) {
  PlatformTestBundle bundle;
  kit::VirtualClock clock(1700000000.6);
  auto share = ShareVale::sharedInstance();
  share->setSid(kit::str("s1"));
  share->setUserName(kit::str("u1"));
  EXPECT_EQ(S::getNowTimeTimestamp(), "1700000001");
  EXPECT_EQ(S::getWebViewURLArgument(),
            "?gid=1001&gameid=1001&sid=s1&username=u1&logintime=1700000001"
            "&sign=07331a74ed4618508ba877b0fe3f10b9&device=ios");
  clock.advance(0.5);
  EXPECT_EQ(S::getNowTimeTimestamp(), "1700000001");
  clock.advance(0.5);
  EXPECT_EQ(S::getNowTimeTimestamp(), "1700000002");
}

TEST(WebPageArguments, MissingNameSignsAndSendsNull) {
  PlatformTestBundle bundle;
  kit::VirtualClock clock(1700000000.6);
  ShareVale::sharedInstance()->setSid(kit::str("s1"));
  const std::string query = S::getWebViewURLArgument();
  EXPECT_EQ(query,
            "?gid=1001&gameid=1001&sid=s1&username=(null)&logintime=1700000001"
            "&sign=802472627f070c91a93d3bbc4d769d47&device=ios");
}

TEST(WebPageArguments, ValuesAreEncodedAndTheSignCoversTheRawName) {
  PlatformTestBundle bundle;
  kit::VirtualClock clock(1700000000.6);
  auto share = ShareVale::sharedInstance();
  share->setSid(kit::str("s=1#x"));
  share->setUserName(kit::str("a&b c"));
  const std::string query = S::getWebViewURLArgument();
  const auto args = arguments(query);
  ASSERT_EQ(args.size(), 7u) << query;
  EXPECT_EQ(args[2], "sid=s%3D1%23x");
  EXPECT_EQ(args[3], "username=a%26b%20c");
  EXPECT_EQ(args[5], "sign=9ad53c66bcf7278dbfc7b9d39af7a076");
  EXPECT_EQ(args[6], "device=ios");

  // Chinese names and every reserved character stay inside their argument.
  share->setUserName(kit::str("玩家+1=?/%"));
  const auto encoded = arguments(S::getWebViewURLArgument());
  ASSERT_EQ(encoded.size(), 7u);
  const std::string name = encoded[3].substr(std::string("username=").size());
  EXPECT_EQ(kit::describe(kit::stringByRemovingPercentEncoding(name)), "玩家+1=?/%");
  EXPECT_EQ(name.find_first_of("+=?/#& "), std::string::npos);
}

TEST(OrderNumbers, TimeInMillisecondsThenTheRandomTail) {
  EXPECT_EQ(S::orderNumberWith(1700000000125.0, 6), "17000000001251006");
  EXPECT_EQ(S::orderNumberWith(1700000000125.0, 8999), "17000000001259999");
  EXPECT_EQ(S::orderNumberWith(1700000000125.0, 4294967295u), "1700000000125999");
  EXPECT_EQ(S::orderNumberWith(1700000000125.0, 4294966303u), "17000000001257");
  EXPECT_EQ(S::orderNumberWith(1700000000124.6, 0), "17000000001251000");

  // The real call reads kit's clock and random source.
  kit::VirtualClock clock(1700000000.125);
  uint32_t draw = 0;
  {
    kit::ScopedRandomSeed seed(42);
    draw = kit::arc4random();
  }
  kit::ScopedRandomSeed seed(42);
  EXPECT_EQ(S::getOrderNumber(), S::orderNumberWith(1700000000125.0, draw));
  EXPECT_NE(S::getOrderNumber(), S::getOrderNumber()) << "the random tail moves on";
}

TEST(DeviceNames, IdentifiersToModelNames) {
  EXPECT_EQ(DeveicePlatform::platformForMachine("iPhone3,3"), "iPhone 4");
  EXPECT_EQ(DeveicePlatform::platformForMachine("iPhone6,2"), "iPhone 5S");
  EXPECT_EQ(DeveicePlatform::platformForMachine("iPhone7,1"), "iPhone 6 Plus");
  EXPECT_EQ(DeveicePlatform::platformForMachine("x86_64"), "Simulator");
  EXPECT_EQ(DeveicePlatform::platformForMachine("iPad4,1"), "iPad4,1");
  EXPECT_EQ(DeveicePlatform::platformForMachine(""), "");

  struct utsname names {};
  ASSERT_EQ(uname(&names), 0);
  EXPECT_EQ(DeveicePlatform::platform(), DeveicePlatform::platformForMachine(names.machine));
}

TEST(QueryValues, TheOneSetOfCharactersAQueryValueKeeps) {
  EXPECT_EQ(URLQueryValue::encode("AZaz09-._~()"), "AZaz09-._~()");
  EXPECT_EQ(URLQueryValue::encode("(null)"), "(null)");
  EXPECT_EQ(URLQueryValue::encode("a&b=c#d e+f%g/h?i"), "a%26b%3Dc%23d%20e%2Bf%25g%2Fh%3Fi");
  EXPECT_EQ(URLQueryValue::encode("玩家"), "%E7%8E%A9%E5%AE%B6");
  EXPECT_EQ(URLQueryValue::encode(std::string("\0\xff", 2)), "%00%FF");
  // The same set through kit's encoder, and back.
  const std::string text = "名字 a&b=(1)~";
  auto encoded = kit::stringByAddingPercentEncodingWithAllowedCharacters(text, *URLQueryValue::allowedCharacters());
  ASSERT_TRUE(encoded);
  EXPECT_EQ(encoded->utf8(), URLQueryValue::encode(text));
  EXPECT_EQ(kit::describe(kit::stringByRemovingPercentEncoding(*encoded)), text);
}

TEST(NotchedLandscape, WiderScreenNewSystemAndABottomInset) {
  kit::Application::shared()->reset();
  {
    kit::DeviceProfileScope profile{kit::DeviceProfile::notched812x375()};
    EXPECT_FALSE(KTIsNotchedLandscape()) << "no key window";
    auto window = kit::Window::make();
    window->makeKeyAndVisible();
    EXPECT_TRUE(KTIsNotchedLandscape());
    kit::DeviceProfile old = kit::DeviceProfile::notched812x375();
    old.systemVersion = "10.3";
    kit::DeviceProfileScope older{old};
    EXPECT_FALSE(KTIsNotchedLandscape());
  }
  for (const auto& device : {kit::DeviceProfile::phone667x375(), kit::DeviceProfile::notched375x812()}) {
    kit::DeviceProfileScope profile{device};
    auto window = kit::Window::make();
    window->makeKeyAndVisible();
    EXPECT_FALSE(KTIsNotchedLandscape()) << device.name;
  }
  kit::Application::shared()->reset();
}

TEST(ShippedBundle, ConfigurationChannelAndBackArrow) {
  const std::string resources = PLATFORM_RESOURCES_DIR;
  auto plist = kit::dictionaryWithContentsOfFile(resources + "/KT.plist");
  ASSERT_TRUE(plist);
  for (const char* key : {"TOLMIX_APPID", "TOLMIX_GAMEID", "TOLMIX_APPKEY", "TOLMIX_AGENT"}) {
    EXPECT_TRUE(kit::isSet(plist->objectForKey(key))) << key;
  }
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(resources + "/KTAppInfo/Channel")) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
  auto arrow = kit::Image::withContentsOfFile(resources + "/VIROV.bundle/KT_nav_back.png");
  ASSERT_TRUE(arrow);
  EXPECT_GT(arrow->size().width, 0);
}

}  // namespace
