// Base64: line options, the strict decoder and the lenient decoder.

#include "kit/foundation/base64.h"

#include <gtest/gtest.h>

#include <random>

namespace kit {
namespace {

std::string decodeText(std::string_view text, unsigned options = 0) {
  auto bytes = base64Decode(text, options);
  EXPECT_TRUE(bytes.has_value()) << text;
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<failed>");
}

TEST(Base64, StandardVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (auto [plain, encoded] : vectors) {
    EXPECT_EQ(base64Encode(std::string_view(plain)), encoded);
    EXPECT_EQ(decodeText(encoded), plain);
  }
  EXPECT_EQ(base64Encode(std::string_view("\xff\xfe\xfd\x00", 4)), "//79AA==");
}

TEST(Base64, SixtyFourCharacterLinesWithCRLFAndStrictDecoderRejectsThem) {
  std::string bytes(49, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  std::string single = base64Encode(bytes);
  ASSERT_EQ(single.size(), 68u);

  std::string lined = base64Encode(bytes, Base64Encoding64CharacterLineLength);
  ASSERT_EQ(lined.size(), 70u);
  EXPECT_EQ(lined.substr(0, 64), single.substr(0, 64));
  EXPECT_EQ(lined.substr(64, 2), "\r\n");
  EXPECT_EQ(lined.substr(66), single.substr(64));

  EXPECT_FALSE(base64Decode(lined).has_value());
  EXPECT_EQ(decodeText(single), bytes);
  EXPECT_EQ(decodeText(lined, Base64DecodingIgnoreUnknownCharacters), bytes);

  // 48 bytes fill exactly one line: no line ending at all.
  EXPECT_EQ(base64Encode(bytes.substr(0, 48), Base64Encoding64CharacterLineLength).size(), 64u);
}

TEST(Base64, LineEndingChoicesAnd76CharacterLines) {
  std::string bytes(200, 'x');
  std::string lf = base64Encode(bytes, Base64Encoding76CharacterLineLength | Base64EncodingEndLineWithLineFeed);
  EXPECT_EQ(lf.find('\r'), std::string::npos);
  EXPECT_EQ(lf.find('\n'), 76u);
  EXPECT_EQ(lf.find('\n', 77), 153u);
  EXPECT_NE(lf.back(), '\n');

  std::string cr = base64Encode(bytes, Base64Encoding64CharacterLineLength | Base64EncodingEndLineWithCarriageReturn);
  EXPECT_EQ(cr.find('\r'), 64u);
  EXPECT_EQ(cr.find('\n'), std::string::npos);

  std::string both = base64Encode(bytes, Base64Encoding64CharacterLineLength | Base64EncodingEndLineWithCarriageReturn |
                                             Base64EncodingEndLineWithLineFeed);
  EXPECT_EQ(both.substr(64, 2), "\r\n");

  // A line-ending option without a line length changes nothing.
  EXPECT_EQ(base64Encode(bytes, Base64EncodingEndLineWithLineFeed), base64Encode(bytes));
}

TEST(Base64, StrictDecoderRefusesAnythingOffTheAlphabetAndBadPadding) {
  const char* bad[] = {
      "Zg",        // missing padding
      "Zm8",       // missing padding
      "Z===",      // three padding characters
      "Zg=",       // short padding
      "=Zg=",      // padding first
      "Zg==Zg==",  // data after padding
      "Zm9v Zg==", // space
      "Zm9v\nZg==",
      "Zm9v-_8=",  // URL-safe alphabet is not the platform's
      "Zm9vYmFy=", // padding after a full group
      "Zg===",
      "====",
      "Z",
  };
  for (const char* text : bad) EXPECT_FALSE(base64Decode(text).has_value()) << text;
}

TEST(Base64, LenientDecoderSkipsUnknownCharactersButStillNeedsPadding) {
  EXPECT_EQ(decodeText(" Zm9v\r\nYmFy\t", Base64DecodingIgnoreUnknownCharacters), "foobar");
  EXPECT_EQ(decodeText("Z*m*9*v*Y*g*=*=", Base64DecodingIgnoreUnknownCharacters), "foob");
  EXPECT_EQ(decodeText("Zm9vYg==\r\n", Base64DecodingIgnoreUnknownCharacters), "foob");
  EXPECT_FALSE(base64Decode("Zm9vYg", Base64DecodingIgnoreUnknownCharacters).has_value());
  EXPECT_FALSE(base64Decode("Zg==Zg==", Base64DecodingIgnoreUnknownCharacters).has_value());
}

TEST(Base64, RoundTripsEveryLengthAndOption) {
  std::mt19937 rng(7);
  const unsigned encodings[] = {0, Base64Encoding64CharacterLineLength, Base64Encoding76CharacterLineLength,
                                Base64Encoding76CharacterLineLength | Base64EncodingEndLineWithLineFeed};
  for (size_t length = 0; length < 300; ++length) {
    std::string bytes(length, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng());
    for (unsigned options : encodings) {
      std::string text = base64Encode(bytes, options);
      EXPECT_EQ(decodeText(text, Base64DecodingIgnoreUnknownCharacters), bytes);
      if (options == 0) {
        EXPECT_EQ(decodeText(text), bytes);
      }
    }
  }
}

TEST(Base64, DataAndStringSpellings) {
  auto data = Data::make("hello");
  EXPECT_EQ(base64EncodedString(*data)->utf8(), "aGVsbG8=");
  EXPECT_EQ(base64EncodedData(*data)->toString(), "aGVsbG8=");
  auto back = dataWithBase64EncodedString(*str("aGVsbG8="));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isEqualToData(*data));
  EXPECT_EQ(dataWithBase64EncodedString("aGVsbG8"), nullptr);
  EXPECT_EQ(dataWithBase64EncodedData(*Data::make("aGVs\nbG8=")), nullptr);
  ASSERT_TRUE(dataWithBase64EncodedData(*Data::make("aGVs\nbG8="), Base64DecodingIgnoreUnknownCharacters));
  // Empty text is valid and gives empty data.
  auto empty = dataWithBase64EncodedString("");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->length(), 0u);
}

}  // namespace
}  // namespace kit
