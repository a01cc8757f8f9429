// The channel's value helpers and log texts: blank tests, URL component
// encoding, the three-byte test, the signature parts, JSON text parsing, the
// size of a served image, and readable collection texts.

#include "channel/core/nuva_data_format.h"

#include <gtest/gtest.h>

#include "channel/core/nuva_log.h"
#include "kit/foundation/number.h"
#include "kit/foundation/random.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/image_destination.h"
#include "kit/graphics/pixel_format.h"
#include "kit/graphics/type_identifiers.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/temp_directory.h"

namespace {

TEST(DataFormat, BlankTestsFollowTheChannelsRules) {
  for (const char* blank : {"", "   \n", "NULL", "(null)", "\t \r\n"}) {
    EXPECT_TRUE(NUVADataFormat::isBlankString(kit::Id(kit::str(blank)))) << blank;
  }
  for (const char* set : {"null", "0", " a ", "Null"}) {
    EXPECT_FALSE(NUVADataFormat::isBlankString(kit::Id(kit::str(set)))) << set;
  }
  EXPECT_TRUE(NUVADataFormat::isBlankString(kit::Id()));
  EXPECT_TRUE(NUVADataFormat::isBlankString(kit::Id(kit::null())));
  EXPECT_FALSE(NUVADataFormat::isBlankString(kit::Id(kit::num(0))));  // "0"

  EXPECT_TRUE(NUVADataFormat::isBlankDictionary(kit::array()));
  EXPECT_TRUE(NUVADataFormat::isBlankDictionary(kit::dict()));
  EXPECT_FALSE(NUVADataFormat::isBlankDictionary(kit::dict({{"a", 1}})));
  EXPECT_TRUE(NUVADataFormat::isBlankArr(kit::dict({{"a", 1}})));
  EXPECT_TRUE(NUVADataFormat::isBlankArr(kit::null()));
  EXPECT_FALSE(NUVADataFormat::isBlankArr(kit::array({1})));
}

TEST(DataFormat, ValueTextsReadJSONNullAsUnset) {
  kit::Id message = kit::dict({{"a", kit::null()}, {"b", 7}, {"c", "x"}});
  EXPECT_EQ(NUVADataFormat::textOfValue(message["a"])->utf8(), "(null)");
  EXPECT_EQ(NUVADataFormat::textOfValue(message["b"])->utf8(), "7");
  EXPECT_EQ(NUVADataFormat::textOfValue(message["missing"])->utf8(), "(null)");
  EXPECT_FALSE(kit::isSet(NUVADataFormat::textOfValue(message["a"])));

  // A prize caption is made of what is set, never of "(null)".
  EXPECT_EQ(NUVADataFormat::prizeCaption(message["c"], message["b"]), "x*7");
  EXPECT_EQ(NUVADataFormat::prizeCaption(message["c"], message["missing"]), "x");
  EXPECT_EQ(NUVADataFormat::prizeCaption(message["a"], message["b"]), "*7");
  EXPECT_EQ(NUVADataFormat::prizeCaption(message["missing"], message["a"]), "");

  // An amount that draws nothing leaves out its "*": no lone "*" on a
  // tile, nor a name followed by one.
  for (const char* blank : {" ", "\u3000", "\u200b", "\n", "\t "}) {
    EXPECT_EQ(NUVADataFormat::prizeCaption(message["missing"], kit::str(blank)), "") << blank;
    EXPECT_EQ(NUVADataFormat::prizeCaption(message["c"], kit::str(blank)), "x") << blank;
  }
  for (const char* none : {"NAN", "-Inf", "\u00a0nan(0x8000)"}) {
    EXPECT_EQ(NUVADataFormat::prizeCaption(message["c"], kit::str(none)), "x") << none;
  }
}

TEST(DataFormat, URLComponentEncodingEscapesReservedAndNonASCII) {
  EXPECT_EQ(NUVADataFormat::urlEncodeStr("a b/中-~")->utf8(), "a%20b%2F%E4%B8%AD-~");
  EXPECT_EQ(NUVADataFormat::urlEncodeStr("?!@#$^&%*+,:;='\"`<>()[]{}/\\| ")->utf8(),
            "%3F%21%40%23%24%5E%26%25%2A%2B%2C%3A%3B%3D%27%22%60%3C%3E%28%29%5B%5D%7B%7D%2F%5C%7C%20");
  EXPECT_EQ(NUVADataFormat::urlEncodeStr("Az09._-~")->utf8(), "Az09._-~");
}

TEST(DataFormat, ThreeByteTestMatchesU0800ToUFFFF) {
  EXPECT_TRUE(NUVADataFormat::isHasChineseChar(kit::str("price €")));
  EXPECT_TRUE(NUVADataFormat::isHasChineseChar(kit::str("中")));
  EXPECT_FALSE(NUVADataFormat::isHasChineseChar(kit::str("café")));
  EXPECT_FALSE(NUVADataFormat::isHasChineseChar(kit::str("plain")));
  EXPECT_FALSE(NUVADataFormat::isHasChineseChar(kit::str("")));
  EXPECT_FALSE(NUVADataFormat::isHasChineseChar(kit::str("😀")));  // surrogate halves do not count
}

TEST(DataFormat, RandomTextIsAlwaysFiveDigits) {
  kit::ScopedRandomSeed seed(20240601);
  for (int i = 0; i < 20000; ++i) {
    auto text = NUVADataFormat::NUVAMD5GetRandomStr()->utf8();
    ASSERT_EQ(text.size(), 5u) << text;
    int value = std::stoi(text);
    ASSERT_GE(value, 10000);
    ASSERT_LE(value, 99999);
  }
}

TEST(DataFormat, MD5IsLowerCaseHexOfTheTextUpToAZeroByte) {
  EXPECT_EQ(NUVADataFormat::NUVAMD5WithNSString("")->utf8(), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(NUVADataFormat::NUVAMD5WithNSString("abc")->utf8(), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(NUVADataFormat::NUVAMD5WithNSString(std::string_view("abc\0def", 7))->utf8(),
            "900150983cd24fb0d6963f7d28e17f72");
  // The role report's signature over its fields and the signing key.
  EXPECT_EQ(NUVADataFormat::NUVAMD5WithNSString("991001312345" "5e0c7a9d13f2b84e6a1d0c3f9b7e2a64")->utf8(),
            "64a44318df130076b4a8760c34f0fecf");
}

TEST(DataFormat, JSONTextParsesIntoMutableContainersOrLogsAndGivesNil) {
  kit::test::LogCapture logs;
  auto parsed = NUVADataFormat::dictionaryWithJsonString(kit::str(R"({"a":[1,2],"b":null})"));
  ASSERT_TRUE(kit::isKind<kit::MutableDictionary>(parsed));
  EXPECT_TRUE(kit::isKind<kit::MutableArray>(parsed["a"]));
  auto empty = NUVADataFormat::dictionaryWithJsonString(kit::str("[]"));  // any kind comes back as it is
  ASSERT_TRUE(kit::isKind<kit::MutableArray>(empty));
  EXPECT_EQ(kit::as<kit::Array>(empty)->count(), 0u);

  EXPECT_EQ(NUVADataFormat::arrayWithJsonString(kit::str("{broken")), nullptr);
  EXPECT_EQ(logs.count(), 1u);
  EXPECT_TRUE(logs.contains("json解析失败："));
  EXPECT_EQ(NUVADataFormat::arrayWithJsonString(nullptr), nullptr);
}

TEST(DataFormat, ImageSizeOfAServedJPEGFollowsItsOrientation) {
  auto bitmap = kit::Bitmap::create(40, 30, kit::PixelFormat::rgba8(), 0, std::vector<uint8_t>(40 * 30 * 4, 200));
  ASSERT_TRUE(bitmap);
  auto encode = [&](int orientation) {
    auto destination = kit::ImageDestination::create(kit::UTType::JPEG, 1);
    kit::EncodeOptions options;
    options.orientation = orientation;
    destination->addImage(bitmap, options);
    EXPECT_TRUE(destination->finalize());
    return std::string(destination->data().begin(), destination->data().end());
  };
  auto server = kit::test::TestServer::startHTTP();
  kit::test::TestResponse turned;
  turned.contentType = "image/jpeg";
  turned.body = encode(6);
  server->route("GET", "/turned.jpg", turned);
  kit::test::TestResponse upright = turned;
  upright.body = encode(1);
  server->route("GET", "/upright.jpg", upright);

  auto size = NUVADataFormat::getImageSizeWithURL(kit::str(server->url("/turned.jpg")));
  EXPECT_EQ(size, (kit::Size{30, 40}));
  size = NUVADataFormat::getImageSizeWithURL(kit::URL::URLWithString(server->url("/upright.jpg")));
  EXPECT_EQ(size, (kit::Size{40, 30}));
  EXPECT_EQ(NUVADataFormat::getImageSizeWithURL(kit::str(server->url("/missing.jpg"))), (kit::Size{0, 0}));
  EXPECT_EQ(NUVADataFormat::getImageSizeWithURL(kit::num(3)), (kit::Size{0, 0}));
  EXPECT_EQ(NUVADataFormat::getImageSizeWithURL(nullptr), (kit::Size{0, 0}));
}

TEST(LogTexts, CollectionsPrintOneElementPerLineWithTextsAsTheyAre) {
  EXPECT_EQ(NUVALog::describe(kit::array()), "(\n)");
  EXPECT_EQ(NUVALog::describe(kit::dict()), "{\n}\n");
  EXPECT_EQ(NUVALog::describe(kit::array({"领取成功", 2})), "(\n\t领取成功,\n\t2,\n)");
  EXPECT_EQ(NUVALog::describe(kit::dict({{"code", "200"}, {"msg", "角色 \"甲\""}})),
            "{\n\tcode = 200;\n\tmsg = 角色 \"甲\";\n}\n");
  // Nested containers are written through their own readable text.
  EXPECT_EQ(NUVALog::describe(kit::dict({{"data", kit::array({1})}})), "{\n\tdata = (\n\t1,\n);\n}\n");
  // Tokens and passwords read "***", under their keys and inside texts.
  EXPECT_EQ(NUVALog::describe(kit::dict({{"data", kit::dict({{"token", "t1"}})}, {"note", "pwd=t2"}})),
            "{\n\tdata = {\n\ttoken = ***;\n}\n;\n\tnote = pwd=***;\n}\n");
}

}  // namespace
