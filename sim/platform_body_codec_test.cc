// The simulator's codec against vectors worked out by hand from the wire
// format, and against the client's codec in both directions.
#include "sim/platform_body_codec.h"

#include <gtest/gtest.h>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "net/body_codec.h"

namespace sim {
namespace {

// {"a":1} -> "eyJhIjoxfQ==" with key entries 0-11 added.
constexpr const char* kShortRequest = "x211_209_25177_180_145_228_149_187_147_24146_116_111y";

// A 100-byte JSON text whose base64 the client breaks after 64 characters.
constexpr const char* kLongRequest =
    "x211_209_25177_125_169_209_119_172_124_24170_128_170_186_141_162_123_186_191_139_215_171_195_136_182_178_139_"
    "155_200_143_148_215_180_145_193_185_141_170_186_200_228_125_29677_159_234_156_224_133_152_143_37435_186_126_200_"
    "132_141_23593_178_166_226_221_135_207_170_184_123_98_25200_163_153_227_117_172_118_24116_133_171_182_188_170_181_"
    "186_198_156_150_150_190_133_169_155_197_146_133_143_161_193_197_137_154_188_141_187_167_204_228_125_29729_179_"
    "235_148_150_131_190_135_37438_176_183_210_97_157_23600_208_110_205_201_127_229_173_188_217_209_25116_86_150_189_"
    "112_124y";

// {"code":"1","msg":"成功","data":{"z":[1,2.5,null]}} with its base64 on one
// line.
constexpr const char* kReply =
    "x211_209_25177_182_170_172_120_175_118_24171_166_155_186_156_170_186_181_195_115_222_188_206_127_118_154_206_"
    "166_156_177_121_191_150_166_227_184_150_153_224_196_223_148_29680_159_218_158_212_167_208_166_37434_160_128_208_"
    "171_137_23593_182_162_178_166_113_191_137_131_208_159_25223_176_174_210_86_128y";

kit::Id replyObject() {
  return kit::dict(
      {{"code", "1"}, {"msg", "成功"}, {"data", kit::dict({{"z", kit::array({1, 2.5, kit::Null::null()})}})}});
}

TEST(SimBodyCodec, ScramblesAndUnscramblesTheHandVectors) {
  EXPECT_EQ(PlatformBodyCodec::scramble("eyJhIjoxfQ=="), kShortRequest);
  EXPECT_EQ(PlatformBodyCodec::unscramble(kShortRequest), "eyJhIjoxfQ==");
  auto longText = PlatformBodyCodec::unscramble(kLongRequest);
  ASSERT_TRUE(longText);
  EXPECT_EQ(longText->substr(64, 2), "\r\n");
  EXPECT_EQ(longText->size(), 136u);
}

TEST(SimBodyCodec, ReadsTheRequestWithLineBreaks) {
  kit::Id params = PlatformBodyCodec::decodeRequest(PlatformBodyCodec::gzip(kLongRequest));
  ASSERT_TRUE(params);
  EXPECT_EQ(kit::describe(params["uid"]), "10086");
  EXPECT_EQ(kit::describe(params["sign"]), "e3b0c44298fc1c149afbf4c8996fb924");
}

TEST(SimBodyCodec, WritesRepliesOnOneLine) {
  auto body = PlatformBodyCodec::encodeReply(replyObject());
  EXPECT_EQ(PlatformBodyCodec::gunzip(body), kReply);
}

TEST(SimBodyCodec, OwnBase64MatchesTheStandardAlphabetAndPadding) {
  EXPECT_EQ(PlatformBodyCodec::base64(""), "");
  EXPECT_EQ(PlatformBodyCodec::base64("f"), "Zg==");
  EXPECT_EQ(PlatformBodyCodec::base64("fo"), "Zm8=");
  EXPECT_EQ(PlatformBodyCodec::base64("\xff\xfe\xfd"), "//79");
  EXPECT_EQ(PlatformBodyCodec::unbase64("Zm8="), "fo");
  EXPECT_EQ(PlatformBodyCodec::unbase64("Zm9v\r\nYmFy"), "foobar");
  EXPECT_FALSE(PlatformBodyCodec::unbase64("Zm8"));
  EXPECT_FALSE(PlatformBodyCodec::unbase64("Z=8="));
  EXPECT_FALSE(PlatformBodyCodec::unbase64("Zm8=Zm8="));
  EXPECT_FALSE(PlatformBodyCodec::unbase64("Zm9v\nYmFy"));
}

TEST(SimBodyCodec, RefusesWhatTheRealServerWouldRefuse) {
  PlatformBodyCodec::Failure failure;
  EXPECT_FALSE(PlatformBodyCodec::unscramble("xy", &failure));
  EXPECT_FALSE(failure.reason.empty());
  EXPECT_FALSE(PlatformBodyCodec::unscramble("211_209y"));
  EXPECT_FALSE(PlatformBodyCodec::unscramble("x0211y"));
  EXPECT_FALSE(PlatformBodyCodec::unscramble("x+211y"));
  EXPECT_FALSE(PlatformBodyCodec::unscramble("x211__209y"));
  EXPECT_FALSE(PlatformBodyCodec::unscramble("x5y"));  // below the key entry
  EXPECT_FALSE(PlatformBodyCodec::decodeRequest("not gzip", &failure));
  EXPECT_EQ(failure.reason, "body is not gzip");
  EXPECT_FALSE(PlatformBodyCodec::gunzip(PlatformBodyCodec::gzip(std::string(100, 'a')).substr(0, 10)));
  EXPECT_FALSE(PlatformBodyCodec::gunzip(PlatformBodyCodec::gzip(std::string(5000, 'a')), 1000));
}

TEST(SimBodyCodec, AgreesWithTheClientCodecBothWays) {
  auto params = kit::dict({{"uid", "10086"},
                           {"name", "玩家 \"one\" / two"},
                           {"list", kit::array({1, 2, 3})},
                           {"long", std::string(300, 'z')}});
  kit::Id decoded = PlatformBodyCodec::decodeRequest(DecodeGzipBase64::codingJSON(params)->view());
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(kit::isEqual(decoded, params));

  kit::Id reply = DecodeGzipBase64::decodingJSON(kit::Data::make(PlatformBodyCodec::encodeReply(params)));
  ASSERT_TRUE(reply);
  EXPECT_TRUE(kit::isEqual(reply, params));

  kit::Id plain = DecodeGzipBase64::cxr_decodingJSON(kit::Data::make(PlatformBodyCodec::encodePlainReply(params)));
  EXPECT_TRUE(kit::isEqual(plain, params));
}

}  // namespace
}  // namespace sim
