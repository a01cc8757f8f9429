// Digests, HMAC and ciphers against published test vectors, the crypt
// call's status codes, and the seedable random generator.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "kit/foundation/crypto.h"
#include "kit/foundation/random.h"

namespace kit {
namespace {

std::string unhex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

std::string hex(const Ref<Data>& d) { return d ? hexString(d->bytes(), d->length()) : "nil"; }

TEST(Digest, KnownVectors) {
  EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5Hex("The quick brown fox jumps over the lazy dog"), "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(md5Hex("领取成功"), hexString(md5("\xe9\xa2\x86\xe5\x8f\x96\xe6\x88\x90\xe5\x8a\x9f", 12)));
  EXPECT_EQ(md5(nullptr, 0), md5(""));
  EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digestLength(DigestAlgorithm::SHA1), 20u);

  // Pieces give the same digest as the whole.
  const std::string text(1000, 'x');
  Digest d(DigestAlgorithm::MD5);
  for (size_t i = 0; i < text.size(); i += 7) d.update(std::string_view(text).substr(i, 7));
  auto digest = d.finish();
  EXPECT_EQ(hexString(digest.data(), digest.size()), md5Hex(text));
  d.update("more");  // ignored once finished
  EXPECT_EQ(d.finish(), digest);
}

TEST(Hmac, KnownVectors) {
  EXPECT_EQ(hmacHex(HmacAlgorithm::SHA1, "Jefe", "what do ya want for nothing?"),
            "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
  EXPECT_EQ(hmacHex(HmacAlgorithm::SHA256, "Jefe", "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(hmacHex(HmacAlgorithm::MD5, "Jefe", "what do ya want for nothing?"), "750c783e6ab0b503eaa86e310a5db738");
  // A key longer than the block is hashed first (RFC 2202 case 6).
  EXPECT_EQ(hmacHex(HmacAlgorithm::SHA1, std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"),
            "aa4ae5e15272d00e95705637ce8a3b55ed402112");
  unsigned char mac[SHA1DigestLength];
  hmac(HmacAlgorithm::SHA1, "Jefe", 4, "what do ya want for nothing?", 28, mac);
  EXPECT_EQ(hexString(mac, sizeof mac), "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
}

TEST(Crypt, AESVectors) {
  const std::string block = unhex("00112233445566778899aabbccddeeff");
  const std::string key32 = unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  // FIPS-197 appendix C, one block in ECB for each key size.
  EXPECT_EQ(hex(cryptData(CryptEncrypt, CryptAlgorithmAES, CryptOptionECBMode, key32.substr(0, 16), {}, block)),
            "69c4e0d86a7b0430d8cdb78070b4c55a");
  EXPECT_EQ(hex(cryptData(CryptEncrypt, CryptAlgorithmAES, CryptOptionECBMode, key32.substr(0, 24), {}, block)),
            "dda97ca4864cdfe06eaf70a0ec0d7191");
  EXPECT_EQ(hex(cryptData(CryptEncrypt, CryptAlgorithmAES, CryptOptionECBMode, key32, {}, block)),
            "8ea2b7ca516745bfeafc49904b496089");
  // SP 800-38A F.2.1: CBC.
  EXPECT_EQ(hex(cryptData(CryptEncrypt, CryptAlgorithmAES, 0, unhex("2b7e151628aed2a6abf7158809cf4f3c"),
                          unhex("000102030405060708090a0b0c0d0e0f"), unhex("6bc1bee22e409f96e93d7e117393172a"))),
            "7649abac8119b246cee98e9b12e9197d");
  // CBC with PKCS#7 padding, and back.
  const std::string iv = unhex("0f0e0d0c0b0a09080706050403020100");
  auto sealed = cryptData(CryptEncrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key32, iv, "hello world, this is kit");
  EXPECT_EQ(hex(sealed), "5094d66aaf79919f64a7391eac48cf69b9abfa48c6277f79fba3862e2af925b5");
  auto opened = cryptData(CryptDecrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key32, iv, sealed->view());
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->toString(), "hello world, this is kit");
}

TEST(Crypt, TripleDESVectors) {
  const std::string key = unhex("0123456789abcdeffedcba987654321089abcdef01234567");
  EXPECT_EQ(hex(cryptData(CryptEncrypt, CryptAlgorithm3DES, CryptOptionECBMode, key, {},
                          "The quick brown fox jumps over t")),
            "5de3127f7a416b4db4d2e7fe238e09eb1fc955bfe20eb75c79b3875bc403c6ea");
  auto sealed = cryptData(CryptEncrypt, CryptAlgorithm3DES, CryptOptionPKCS7Padding, key, unhex("1234567890abcdef"), "hello");
  EXPECT_EQ(hex(sealed), "e614f3d33e56233f");
  EXPECT_EQ(cryptData(CryptDecrypt, CryptAlgorithm3DES, CryptOptionPKCS7Padding, key, unhex("1234567890abcdef"),
                      sealed->view())->toString(),
            "hello");
}

TEST(Crypt, StatusCodes) {
  const std::string key(16, 'k');
  unsigned char out[64];
  size_t moved = 99;
  // Key lengths that do not fit the algorithm.
  for (size_t length : {0u, 15u, 17u, 64u}) {
    std::string k(length, 'k');
    EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithmAES, 0, k.data(), k.size(), nullptr, "0123456789abcdef", 16, out,
                    sizeof out, &moved),
              CryptParamError);
  }
  EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithm3DES, 0, key.data(), 16, nullptr, "01234567", 8, out, sizeof out, &moved),
            CryptParamError);
  EXPECT_EQ(crypt(CryptEncrypt, static_cast<CryptAlgorithm>(9), 0, key.data(), 16, nullptr, "x", 1, out, sizeof out,
                  &moved),
            CryptParamError);
  EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithmAES, 0x80, key.data(), 16, nullptr, "x", 1, out, sizeof out, &moved),
            CryptParamError);
  // Without padding the input must be whole blocks.
  EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithmAES, 0, key.data(), 16, nullptr, "abc", 3, out, sizeof out, &moved),
            CryptAlignmentError);
  EXPECT_EQ(crypt(CryptDecrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key.data(), 16, nullptr, "abc", 3, out,
                  sizeof out, &moved),
            CryptAlignmentError);
  // A buffer too small reports the size needed.
  EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key.data(), 16, nullptr,
                  "0123456789abcdef", 16, out, 16, &moved),
            CryptBufferTooSmall);
  EXPECT_EQ(moved, 32u);
  // Padding that does not check out.
  auto garbage = cryptData(CryptEncrypt, CryptAlgorithmAES, 0, key, {}, std::string(16, 'z'));
  CryptStatus status = CryptSuccess;
  EXPECT_EQ(cryptData(CryptDecrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key, {}, garbage->view(), &status),
            nullptr);
  EXPECT_EQ(status, CryptDecodeError);
  EXPECT_EQ(cryptData(CryptDecrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key, {}, "", &status), nullptr);
  EXPECT_EQ(status, CryptDecodeError);
  // A short initialization vector is refused rather than over-read.
  EXPECT_EQ(cryptData(CryptEncrypt, CryptAlgorithmAES, 0, key, "short", std::string(16, 'a'), &status), nullptr);
  EXPECT_EQ(status, CryptParamError);
  // Empty input with padding is one block of padding.
  EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithmAES, CryptOptionPKCS7Padding, key.data(), 16, nullptr, nullptr, 0, out,
                  sizeof out, &moved),
            CryptSuccess);
  EXPECT_EQ(moved, 16u);
  // Encrypting in place works.
  unsigned char inPlace[32] = "in place, two blocks of text!!!";
  EXPECT_EQ(crypt(CryptEncrypt, CryptAlgorithmAES, 0, key.data(), 16, nullptr, inPlace, 32, inPlace, 32, &moved),
            CryptSuccess);
  EXPECT_EQ(crypt(CryptDecrypt, CryptAlgorithmAES, 0, key.data(), 16, nullptr, inPlace, 32, inPlace, 32, &moved),
            CryptSuccess);
  EXPECT_STREQ(reinterpret_cast<char*>(inPlace), "in place, two blocks of text!!!");
}

TEST(Crypt, RoundTripsEveryModeAndLength) {
  for (CryptAlgorithm algorithm : {CryptAlgorithmAES, CryptAlgorithm3DES, CryptAlgorithmDES}) {
    const std::string key(algorithm == CryptAlgorithmAES ? 32 : algorithm == CryptAlgorithm3DES ? 24 : 8, 'K');
    for (uint32_t mode : {0u, uint32_t{CryptOptionECBMode}}) {
      for (size_t length = 0; length < 40; ++length) {
        std::string text(length, 'a');
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + i % 26);
        auto sealed = cryptData(CryptEncrypt, algorithm, mode | CryptOptionPKCS7Padding, key, {}, text);
        ASSERT_TRUE(sealed);
        auto opened = cryptData(CryptDecrypt, algorithm, mode | CryptOptionPKCS7Padding, key, {}, sealed->view());
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->toString(), text);
      }
    }
  }
}

TEST(Random, SeededSequencesRepeat) {
  std::vector<uint32_t> first, second;
  {
    ScopedRandomSeed seed(42);
    for (int i = 0; i < 5; ++i) first.push_back(arc4random());
  }
  {
    ScopedRandomSeed seed(42);
    for (int i = 0; i < 5; ++i) second.push_back(arc4random());
    {
      ScopedRandomSeed other(43);
      EXPECT_NE(arc4random(), first[0]);
    }
    // The outer seed's sequence goes on where it was.
    std::vector<uint32_t> more;
    ScopedRandomSeed again(42);
    for (int i = 0; i < 5; ++i) more.push_back(arc4random());
    EXPECT_EQ(more, first);
  }
  EXPECT_EQ(first, second);
  // Unseeded, two draws of 128 bits do not repeat.
  unsigned char a[16], b[16];
  EXPECT_EQ(randomCopyBytes(a, sizeof a), 0);
  arc4random_buf(b, sizeof b);
  EXPECT_NE(std::string(reinterpret_cast<char*>(a), 16), std::string(reinterpret_cast<char*>(b), 16));
}

TEST(Random, UniformStaysInRangeAndSpreads) {
  ScopedRandomSeed seed(7);
  EXPECT_EQ(arc4random_uniform(0), 0u);
  EXPECT_EQ(arc4random_uniform(1), 0u);
  std::map<uint32_t, int> counts;
  for (int i = 0; i < 60000; ++i) ++counts[arc4random_uniform(6)];
  ASSERT_EQ(counts.size(), 6u);
  for (auto& [value, count] : counts) {
    EXPECT_LT(value, 6u);
    EXPECT_NEAR(count, 10000, 500) << value;
  }
  // A five-digit random text: 10000 plus a number below 90000.
  std::set<uint32_t> seen;
  for (int i = 0; i < 1000; ++i) {
    uint32_t r = arc4random() % 90000 + 10000;
    EXPECT_GE(r, 10000u);
    EXPECT_LE(r, 99999u);
    seen.insert(r);
  }
  EXPECT_GT(seen.size(), 900u);
}

}  // namespace
}  // namespace kit
