// The body codec and gzip layer against vectors worked out by hand from the
// wire format (the key table applied to the base64 text), and against
// hostile reply bodies.
#include "net/body_codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "net/gzip_utility.h"
#include "sim/platform_body_codec.h"

namespace {

// gzip (or zlib, with windowBits 15) written with zlib directly, so the tests
// do not lean on the code under test to make their input.
std::string deflateText(std::string_view text, int windowBits = 31, int level = Z_BEST_COMPRESSION, int memLevel = 9) {
  z_stream s{};
  deflateInit2(&s, level, Z_DEFLATED, windowBits, memLevel, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, text.size()), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  s.avail_in = static_cast<uInt>(text.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

std::string inflateText(const kit::Ref<kit::Data>& data) {
  auto plain = cxrLFCGzipUtillity::uncompressZippedData(data);
  return plain ? plain->toString() : std::string("<nil>");
}

kit::Ref<kit::Data> gz(std::string_view text) { return kit::Data::make(deflateText(text)); }

// {"a":1} -> "eyJhIjoxfQ==" with key entries 0-11 added.
constexpr const char* kShortRequest = "x211_209_25177_180_145_228_149_187_147_24146_116_111y";

// A 100-byte JSON text: 136 base64 characters in three lines. Positions 64
// and 65 are CR (13 + 'n' = 123) and LF (10 + 'X' = 98); position 130 wraps
// to key entry 2 again.
constexpr const char* kLongRequest =
    "x211_209_25177_125_169_209_119_172_124_24170_128_170_186_141_162_123_186_191_139_215_171_195_136_182_178_139_"
    "155_200_143_148_215_180_145_193_185_141_170_186_200_228_125_29677_159_234_156_224_133_152_143_37435_186_126_200_"
    "132_141_23593_178_166_226_221_135_207_170_184_123_98_25200_163_153_227_117_172_118_24116_133_171_182_188_170_181_"
    "186_198_156_150_150_190_133_169_155_197_146_133_143_161_193_197_137_154_188_141_187_167_204_228_125_29729_179_"
    "235_148_150_131_190_135_37438_176_183_210_97_157_23600_208_110_205_201_127_229_173_188_217_209_25116_86_150_189_"
    "112_124y";

// {"code":"1","msg":"成功","data":{"z":[1,2.5,null]}} scrambled with its
// base64 on one line, as a reply carries it.
constexpr const char* kReply =
    "x211_209_25177_182_170_172_120_175_118_24171_166_155_186_156_170_186_181_195_115_222_188_206_127_118_154_206_"
    "166_156_177_121_191_150_166_227_184_150_153_224_196_223_148_29680_159_218_158_212_167_208_166_37434_160_128_208_"
    "171_137_23593_182_162_178_166_113_191_137_131_208_159_25223_176_174_210_86_128y";

// The same document with the base64 broken after 64 characters.
constexpr const char* kReplyWithLineBreak =
    "x211_209_25177_182_170_172_120_175_118_24171_166_155_186_156_170_186_181_195_115_222_188_206_127_118_154_206_"
    "166_156_177_121_191_150_166_227_184_150_153_224_196_223_148_29680_159_218_158_212_167_208_166_37434_160_128_208_"
    "171_137_23593_182_162_178_166_113_191_137_131_123_98_25201_147_192_222_140_155_93_24126y";

TEST(BodyCodecEncode, ShortParametersGiveOneScrambledLine) {
  auto body = DecodeGzipBase64::codingJSON(kit::dict({{"a", 1}}));
  ASSERT_TRUE(body);
  EXPECT_EQ(body->vector()[0], 0x1f);  // a gzip member
  EXPECT_EQ(body->vector()[1], 0x8b);
  EXPECT_EQ(inflateText(body), kShortRequest);
}

TEST(BodyCodecEncode, LongParametersBreakTheBase64WithScrambledCRLF) {
  auto params = kit::dict({{"uid", "10086"},
                           {"token", "abcdef0123456789"},
                           {"game_id", "77"},
                           {"sign", "e3b0c44298fc1c149afbf4c8996fb924"}});
  auto json = kit::JSONSerialization::dataWithJSONObject(params);
  ASSERT_GT(json->length(), 48u);
  auto body = DecodeGzipBase64::codingJSON(params);
  ASSERT_TRUE(body);
  EXPECT_EQ(inflateText(body), kLongRequest);
}

TEST(BodyCodecEncode, ObjectWithoutJSONFormIsAnErrorNotACrash) {
  kit::test::LogCapture logs;
  kit::Ref<kit::Error> error;
  auto body = DecodeGzipBase64::codingJSON(kit::dict({{"when", kit::Data::make("x")}}), &error);
  EXPECT_FALSE(body);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), kit::CocoaErrorDomain);
  EXPECT_TRUE(logs.contains("JSON序列化失败----"));
}

TEST(BodyCodecDecode, ScrambledReplyGivesTheObjectWithMutableStrings) {
  kit::Id reply = DecodeGzipBase64::decodingJSON(gz(kReply));
  ASSERT_TRUE(reply);
  EXPECT_EQ(kit::describe(reply["code"]), "1");
  EXPECT_EQ(kit::describe(reply["msg"]), "成功");
  EXPECT_TRUE(kit::isKind<kit::MutableString>(reply["msg"]));
  EXPECT_EQ(kit::describe(reply["data"]["z"][1]), "2.5");
  EXPECT_TRUE(kit::isKind<kit::Null>(reply["data"]["z"][2]));
}

TEST(BodyCodecDecode, ZlibWrappedReplyDecodesToo) {
  kit::Id reply = DecodeGzipBase64::decodingJSON(kit::Data::make(deflateText(kReply, 15)));
  ASSERT_TRUE(reply);
  EXPECT_EQ(kit::describe(reply["msg"]), "成功");
}

TEST(BodyCodecDecode, BytesAfterTheFirstMemberAreIgnored) {
  kit::Id reply = DecodeGzipBase64::decodingJSON(kit::Data::make(deflateText(kReply) + "trailing junk"));
  ASSERT_TRUE(reply);
}

TEST(BodyCodecDecode, MalformedRepliesGiveNilAndNameTheStepTheyFailed) {
  struct Case {
    const char* what;
    kit::Ref<kit::Data> body;
    const char* domain;
    long code;
  };
  const char* codec = SDPBodyCodecErrorDomain;
  const Case cases[] = {
      {"CR LF fail strict base64", gz(kReplyWithLineBreak), codec, SDPBodyCodecErrorNotBase64},
      {"one empty piece, value 0", gz("xy"), codec, SDPBodyCodecErrorNotBase64},
      {"fewer than two framing characters", gz("x"), codec, SDPBodyCodecErrorNoFraming},
      {"one character", gz("q"), codec, SDPBodyCodecErrorNoFraming},
      {"pieces beyond ASCII", gz("xa1_b2y"), codec, SDPBodyCodecErrorNotBase64},
      {"saturated pieces", gz("x99999999999999999999_-99999999999999999999y"), codec, SDPBodyCodecErrorNotBase64},
      {"empty pieces", gz("x____y"), codec, SDPBodyCodecErrorNotBase64},
      {"not UTF-8 text", gz("\xff\xfe"), codec, SDPBodyCodecErrorNotText},
      // "//57fQ==" is FF FE 7B 7D: valid base64, not UTF-8.
      {"base64 of invalid UTF-8", gz("x157_135_25156_174_160_203_99_128y"), codec, SDPBodyCodecErrorNotText},
      {"data after the padding", gz(sim::PlatformBodyCodec::scramble("Zm8=Zm8=")), codec, SDPBodyCodecErrorNotBase64},
      {"padding missing", gz(sim::PlatformBodyCodec::scramble("eyJhIjoxfQ")), codec, SDPBodyCodecErrorNotBase64},
      {"padding too short", gz(sim::PlatformBodyCodec::scramble("eyJhIjoxfQ=")), codec, SDPBodyCodecErrorNotBase64},
      {"empty body", kit::Data::make(), codec, SDPBodyCodecErrorEmptyReply},
      {"no body", nullptr, codec, SDPBodyCodecErrorEmptyReply},
      {"compressed nothing", gz(""), codec, SDPBodyCodecErrorEmptyReply},
      {"not compressed", kit::Data::make("not compressed at all"), SDPZlibErrorDomain, Z_DATA_ERROR},
      {"cut off", kit::Data::make(deflateText(kReply).substr(0, 30)), SDPZlibErrorDomain, Z_BUF_ERROR},
  };
  kit::test::LogCapture logs;
  for (const Case& c : cases) {
    EXPECT_FALSE(DecodeGzipBase64::decodingJSON(c.body)) << c.what;
    auto decoded = DecodeGzipBase64::decodeScrambledReply(c.body);
    ASSERT_FALSE(decoded) << c.what;
    EXPECT_EQ(decoded.error()->domain(), c.domain) << c.what;
    EXPECT_EQ(decoded.error()->code(), c.code) << c.what << ": " << decoded.error()->localizedDescription();
  }
  EXPECT_EQ(logs.count(), 0u) << "only JSON parse errors are logged";
}

TEST(BodyCodecDecode, RepliesOfEverySizeAndPaddingDecodeToTheirObject) {
  // Texts of every length modulo 3 (no, one and two padding characters),
  // past the 64-entry key many times over, and replies whose text is far
  // beyond the first output buffer: one without a stated size (zlib-wrapped)
  // and one that is megabytes long.
  std::vector<size_t> lengths;
  for (size_t n = 0; n < 80; ++n) lengths.push_back(n);
  for (size_t n : {1000u, 30001u, 400002u}) lengths.push_back(n);
  for (size_t n : lengths) {
    std::string value;
    for (size_t i = 0; i < n; ++i) value += i % 5 == 4 ? "玩" : std::string(1, static_cast<char>('a' + i % 26));
    kit::Id object = kit::dict({{"code", "1"}, {"v", value}, {"n", static_cast<long long>(n)}});
    kit::Id gzipped = DecodeGzipBase64::decodingJSON(kit::Data::make(sim::PlatformBodyCodec::encodeReply(object)));
    ASSERT_TRUE(gzipped) << n;
    EXPECT_TRUE(kit::isEqual(gzipped, object)) << n;
    if (n % 20 == 1 || n > 80) {
      const std::string json = kit::JSONSerialization::dataWithJSONObject(object)->toString();
      const std::string text = sim::PlatformBodyCodec::scramble(sim::PlatformBodyCodec::base64(json));
      kit::Id wrapped = DecodeGzipBase64::decodingJSON(kit::Data::make(deflateText(text, 15)));
      EXPECT_TRUE(kit::isEqual(wrapped, object)) << n;
    }
  }
}

TEST(BodyCodecDecode, PiecesInLenientFormsReadAsThePlatformReadsThem) {
  // The platform's reader takes white space and a sign before the digits,
  // leading zeros and any framing characters; a reply written so means what
  // its plain form means.
  const std::string plain = kReply;
  kit::Id expected = DecodeGzipBase64::decodingJSON(gz(plain));
  ASSERT_TRUE(expected);
  const std::string inner = plain.substr(1, plain.size() - 2);
  const std::string variants[] = {
      "x0000000000211" + plain.substr(4),                        // twelve digits and more
      "x+211_ \t209" + plain.substr(8),                          // a sign, white space
      "x" + inner + "7",                                         // a digit as the last character
      "x" + inner + "_",                                         // a separator as the last character
      "玩" + inner + "家",                                       // framing beyond ASCII
      "\x01" + inner + "\x7f",                                   // control characters
  };
  for (const std::string& text : variants) {
    kit::Id reply = DecodeGzipBase64::decodingJSON(gz(text));
    EXPECT_TRUE(kit::isEqual(reply, expected)) << text.substr(0, 20);
  }
}

TEST(BodyCodecDecode, TruncatedJSONIsLoggedOnceWithTheParsersErrorAndGivesNil) {
  // {"a":1 without its closing brace.
  auto body = gz("x211_209_25177_180_145_228_149_187y");
  auto decoded = DecodeGzipBase64::decodeScrambledReply(body);
  ASSERT_FALSE(decoded);
  EXPECT_EQ(decoded.error()->domain(), SDPBodyCodecErrorDomain);
  EXPECT_EQ(decoded.error()->code(), SDPBodyCodecErrorNotJSON);
  auto parserError = decoded.error()->underlyingError();
  ASSERT_TRUE(parserError);
  EXPECT_EQ(parserError->domain(), kit::CocoaErrorDomain);
  EXPECT_EQ(decoded.error()->localizedDescription(), "The reply is not JSON: " + parserError->localizedDescription());

  kit::test::LogCapture logs;
  EXPECT_FALSE(DecodeGzipBase64::decodingJSON(body));
  EXPECT_EQ(logs.messages(), std::vector<std::string>{"JSON序列化失败----" + parserError->description()});
}

TEST(BodyCodecDecode, RequestBodyRoundTripsOnlyWhenItFitsOneLine) {
  auto shortBody = DecodeGzipBase64::codingJSON(kit::dict({{"a", 1}}));
  kit::Id back = DecodeGzipBase64::decodingJSON(shortBody);
  ASSERT_TRUE(back);
  EXPECT_EQ(kit::describe(back["a"]), "1");
  auto longBody = DecodeGzipBase64::codingJSON(kit::dict({{"k", std::string(60, 'v')}}));
  EXPECT_FALSE(DecodeGzipBase64::decodingJSON(longBody));
}

TEST(BodyCodecPlainReply, GzipJSONDecodes) {
  kit::Id reply = DecodeGzipBase64::cxr_decodingJSON(gz("{\"z\":\"ok\"}"));
  ASSERT_TRUE(reply);
  EXPECT_EQ(kit::describe(reply["z"]), "ok");
  EXPECT_TRUE(kit::isKind<kit::MutableString>(reply["z"]));
}

TEST(BodyCodecPlainReply, EmptyAndBrokenBodiesGiveNil) {
  kit::test::LogCapture logs;
  EXPECT_FALSE(DecodeGzipBase64::cxr_decodingJSON(kit::Data::make()));
  EXPECT_TRUE(logs.contains("JSON序列化失败----")) << "empty input reaches the parser";
  EXPECT_EQ(DecodeGzipBase64::decodePlainReply(kit::Data::make()).error()->code(), SDPBodyCodecErrorNotJSON);
  logs.clear();
  EXPECT_FALSE(DecodeGzipBase64::cxr_decodingJSON(kit::Data::make("{\"z\":1}")));  // not compressed
  EXPECT_FALSE(DecodeGzipBase64::cxr_decodingJSON(nullptr));
  EXPECT_EQ(logs.count(), 0u);
  EXPECT_EQ(DecodeGzipBase64::decodePlainReply(kit::Data::make("{\"z\":1}")).error()->domain(), SDPZlibErrorDomain);
  EXPECT_EQ(DecodeGzipBase64::decodePlainReply(nullptr).error()->code(), SDPBodyCodecErrorEmptyReply);
  EXPECT_FALSE(DecodeGzipBase64::cxr_decodingJSON(gz("\"just a string\"")));
  EXPECT_EQ(DecodeGzipBase64::decodePlainReply(gz("\"just a string\"")).error()->code(), SDPBodyCodecErrorNotJSON);
}

TEST(BodyCodecKey, TableHasSixtyFourOneUnitEntriesInAFreshArray) {
  auto a = DecodeGzipBase64::getArray();
  auto b = DecodeGzipBase64::getArray();
  ASSERT_EQ(a->count(), 64u);
  EXPECT_NE(a.get(), b.get());
  for (size_t i = 0; i < 64; ++i) {
    auto entry = kit::as<kit::String>(a->objectAtIndex(i));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->length(), 1u);
    EXPECT_TRUE(entry->isEqual(*b->objectAtIndex(i)));
  }
}

TEST(BodyCodecKey, TextSplitsIntoUTF16Units) {
  auto parts = DecodeGzipBase64::getArrayFromStr(kit::str("a\r\n玩😀"));
  ASSERT_EQ(parts->count(), 6u);  // the emoji is two units
  EXPECT_EQ(kit::describe(parts->objectAtIndex(1)), "\r");
  EXPECT_EQ(kit::describe(parts->objectAtIndex(3)), "玩");
  EXPECT_EQ(kit::as<kit::String>(parts->objectAtIndex(4))->characterAtIndex(0), 0xD83D);
  EXPECT_EQ(kit::as<kit::String>(parts->objectAtIndex(5))->characterAtIndex(0), 0xDE00);
  EXPECT_EQ(DecodeGzipBase64::getArrayFromStr(kit::str(""))->count(), 0u);
}

TEST(Gzip, EmptyInputIsLoggedAndGivesNil) {
  kit::test::LogCapture logs;
  EXPECT_FALSE(cxrLFCGzipUtillity::gzipData(kit::Data::make()));
  EXPECT_FALSE(cxrLFCGzipUtillity::gzipData(nullptr));
  EXPECT_TRUE(logs.contains("+[cxrLFCGzipUtillity gzipData:]: Error: Can't compress an empty or nil NSData object"));
  EXPECT_EQ(logs.count(), 2u);
  // The same refusal as a value, logged by nobody.
  logs.clear();
  auto refused = cxrLFCGzipUtillity::compress(kit::Data::make());
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error()->domain(), SDPZlibErrorDomain);
  EXPECT_EQ(refused.error()->code(), Z_BUF_ERROR);
  EXPECT_EQ(logs.count(), 0u);
}

TEST(Gzip, IncompressibleInputStillCompressesAndRoundTrips) {
  // 100 random bytes need more than 1.01 x 100 + 21 bytes of gzip.
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(100);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  auto input = kit::Data::make(bytes);
  auto packed = cxrLFCGzipUtillity::gzipData(input);
  ASSERT_TRUE(packed);
  EXPECT_GT(packed->length(), 122u);
  auto back = cxrLFCGzipUtillity::uncompressZippedData(packed);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->isEqualToData(*input));
}

TEST(Gzip, EachBodyComesOutAsFromAFreshStream) {
  // The deflate stream is kept between bodies: nothing of one body (its
  // window, its hash chains, its length) may show in the next, one after
  // another or from several threads at once.
  std::string repetitive;
  for (int i = 0; i < 3000; ++i) repetitive += "order " + std::to_string(i % 13) + ";";
  std::mt19937 random(11);
  std::string noise(5000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::vector<std::string> bodies = {repetitive, "{\"a\":1}", noise, repetitive.substr(0, 700), "{\"a\":1}"};
  std::vector<std::string> expected;
  for (const auto& body : bodies) expected.push_back(deflateText(body, 31, Z_DEFAULT_COMPRESSION, 8));

  auto compressAll = [&](size_t rounds) {
    size_t mismatches = 0;
    for (size_t round = 0; round < rounds; ++round) {
      for (size_t i = 0; i < bodies.size(); ++i) {
        auto packed = cxrLFCGzipUtillity::gzipData(kit::Data::make(bodies[i]));
        if (!packed || packed->toString() != expected[i]) ++mismatches;
      }
    }
    return mismatches;
  };
  EXPECT_EQ(compressAll(2), 0u);
  std::vector<std::thread> threads;
  std::vector<size_t> mismatches(4);
  for (size_t t = 0; t < mismatches.size(); ++t) threads.emplace_back([&, t] { mismatches[t] = compressAll(20); });
  for (auto& thread : threads) thread.join();
  for (size_t m : mismatches) EXPECT_EQ(m, 0u);
  // A refused body leaves the kept stream as it was.
  EXPECT_FALSE(cxrLFCGzipUtillity::compress(kit::Data::make()));
  EXPECT_EQ(compressAll(1), 0u);
}

TEST(Gzip, OutputBeyondTheFirstBufferGuessComesOutWhole) {
  // A gzip member states its size at its end; a zlib stream does not, and
  // bytes after a member state a wrong size (here far too small and far too
  // large). Each time the buffer has to grow, or the guess is bounded, and
  // the output is the same.
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i % 7) + "\n";
  auto packed = cxrLFCGzipUtillity::gzipData(kit::Data::make(text));
  ASSERT_TRUE(packed);
  EXPECT_EQ(inflateText(packed), text);
  EXPECT_EQ(inflateText(kit::Data::make(deflateText(text, 15))), text);
  EXPECT_EQ(inflateText(kit::Data::make(packed->toString() + std::string("\x01\0\0\0", 4))), text);
  EXPECT_EQ(inflateText(kit::Data::make(packed->toString() + "\xff\xff\xff\x7f")), text);
}

TEST(Gzip, EmptyInputToUncompressComesBackItself) {
  auto empty = kit::Data::make();
  EXPECT_EQ(cxrLFCGzipUtillity::uncompressZippedData(empty).get(), empty.get());
  EXPECT_FALSE(cxrLFCGzipUtillity::uncompressZippedData(nullptr));
}

TEST(Gzip, TinyAndBrokenInputsGiveNilAndZlibsReason) {
  for (std::string cut : {std::string("\x1f"), std::string("\x1f\x8b\x08\x00", 4)}) {
    EXPECT_FALSE(cxrLFCGzipUtillity::uncompressZippedData(kit::Data::make(cut)));
    auto failed = cxrLFCGzipUtillity::decompress(kit::Data::make(cut));
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error()->domain(), SDPZlibErrorDomain);
    EXPECT_EQ(failed.error()->code(), Z_BUF_ERROR);
    EXPECT_EQ(failed.error()->localizedDescription(), "The compressed data ends before the stream does.");
  }
  std::string corrupt = deflateText("hello hello hello hello");
  corrupt[12] ^= 0x55;
  EXPECT_FALSE(cxrLFCGzipUtillity::uncompressZippedData(kit::Data::make(corrupt)));
  auto failed = cxrLFCGzipUtillity::decompress(kit::Data::make(corrupt));
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error()->code(), Z_DATA_ERROR);
  EXPECT_EQ(kit::describe(failed.error()->userInfo()->objectForKey(kit::str(SDPZlibFunctionKey))), "inflate");
  EXPECT_FALSE(kit::describe(failed.error()->userInfo()->objectForKey(kit::str(SDPZlibMessageKey))).empty());
}

TEST(Gzip, OutputBeyondTheLimitIsRefused) {
  std::string zeros(cxrLFCGzipUtillity::kMaximumUncompressedLength + 1, '\0');
  auto bomb = kit::Data::make(deflateText(zeros));
  EXPECT_LT(bomb->length(), 200000u);
  EXPECT_FALSE(cxrLFCGzipUtillity::uncompressZippedData(bomb));
  EXPECT_EQ(cxrLFCGzipUtillity::decompress(bomb).error()->localizedDescription(),
            "The uncompressed data is larger than 64 MiB.");
  std::string atLimit(cxrLFCGzipUtillity::kMaximumUncompressedLength, '\0');
  auto fits = cxrLFCGzipUtillity::uncompressZippedData(kit::Data::make(deflateText(atLimit)));
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->length(), atLimit.size());
}

}  // namespace
