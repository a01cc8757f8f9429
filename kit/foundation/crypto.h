// Digests, message authentication and block ciphers in the platform's
// shapes, backed by mbed TLS: MD5, SHA-1 and SHA-256 (one-shot and
// incremental), HMAC over them, and AES (128/192/256) and triple DES in CBC
// or ECB mode with optional PKCS#7 padding through one crypt call that
// reports the platform's status codes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/data.h"

namespace kit {

// ---- Digests --------------------------------------------------------------

inline constexpr size_t MD5DigestLength = 16;
inline constexpr size_t SHA1DigestLength = 20;
inline constexpr size_t SHA256DigestLength = 32;

using MD5Digest = std::array<uint8_t, MD5DigestLength>;
using SHA1Digest = std::array<uint8_t, SHA1DigestLength>;
using SHA256Digest = std::array<uint8_t, SHA256DigestLength>;

MD5Digest md5(const void* bytes, size_t length);
inline MD5Digest md5(std::string_view bytes) { return md5(bytes.data(), bytes.size()); }
SHA1Digest sha1(const void* bytes, size_t length);
inline SHA1Digest sha1(std::string_view bytes) { return sha1(bytes.data(), bytes.size()); }
SHA256Digest sha256(const void* bytes, size_t length);
inline SHA256Digest sha256(std::string_view bytes) { return sha256(bytes.data(), bytes.size()); }

// Lower-case hexadecimal, two digits per byte.
std::string hexString(const void* bytes, size_t length);
template <size_t N>
std::string hexString(const std::array<uint8_t, N>& bytes) {
  return hexString(bytes.data(), N);
}
// The 32 lower-case hex digits of the MD5 of the bytes (a string's UTF-8).
inline std::string md5Hex(std::string_view bytes) { return hexString(md5(bytes)); }
inline std::string sha1Hex(std::string_view bytes) { return hexString(sha1(bytes)); }
inline std::string sha256Hex(std::string_view bytes) { return hexString(sha256(bytes)); }

enum class DigestAlgorithm { MD5, SHA1, SHA256 };
size_t digestLength(DigestAlgorithm algorithm);

// An incremental digest: update with pieces, then finish once.
class Digest {
 public:
  explicit Digest(DigestAlgorithm algorithm);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  void update(const void* bytes, size_t length);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // The digest. Later updates are ignored and later calls return the same
  // digest.
  std::vector<uint8_t> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- HMAC -----------------------------------------------------------------

enum class HmacAlgorithm { MD5, SHA1, SHA256 };

// Writes digestLength bytes of the MAC to `macOut` (the platform's shape).
void hmac(HmacAlgorithm algorithm, const void* key, size_t keyLength, const void* data, size_t dataLength,
          void* macOut);
std::vector<uint8_t> hmac(HmacAlgorithm algorithm, std::string_view key, std::string_view data);
inline std::string hmacHex(HmacAlgorithm algorithm, std::string_view key, std::string_view data) {
  auto mac = hmac(algorithm, key, data);
  return hexString(mac.data(), mac.size());
}

// ---- Block ciphers --------------------------------------------------------

// The platform's crypt status codes.
enum CryptStatus : int32_t {
  CryptSuccess = 0,
  CryptParamError = -4300,
  CryptBufferTooSmall = -4301,
  CryptMemoryFailure = -4302,
  CryptAlignmentError = -4303,
  CryptDecodeError = -4304,
  CryptUnimplemented = -4305,
};

enum CryptOperation : uint32_t { CryptEncrypt = 0, CryptDecrypt = 1 };
enum CryptAlgorithm : uint32_t { CryptAlgorithmAES = 0, CryptAlgorithmDES = 1, CryptAlgorithm3DES = 2 };
// Option flags: PKCS#7 padding, and ECB instead of CBC.
enum CryptOptions : uint32_t { CryptOptionPKCS7Padding = 1, CryptOptionECBMode = 2 };

inline constexpr size_t BlockSizeAES = 16;
inline constexpr size_t BlockSizeDES = 8;
inline constexpr size_t KeySizeAES128 = 16;
inline constexpr size_t KeySizeAES192 = 24;
inline constexpr size_t KeySizeAES256 = 32;
inline constexpr size_t KeySizeDES = 8;
inline constexpr size_t KeySize3DES = 24;

// Encrypts or decrypts `dataIn` into `dataOut` in one call. The key length
// must fit the algorithm (AES 16/24/32, DES 8, 3DES 24) or the result is
// CryptParamError; a nil `iv` is all zeros in CBC mode and unused in ECB.
// Without padding the input must be a whole number of blocks
// (CryptAlignmentError); a too-small output buffer gives
// CryptBufferTooSmall with *dataOutMoved set to the size needed; padding
// that does not check out when decrypting gives CryptDecodeError.
CryptStatus crypt(CryptOperation op, CryptAlgorithm algorithm, uint32_t options, const void* key, size_t keyLength,
                  const void* iv, const void* dataIn, size_t dataInLength, void* dataOut, size_t dataOutAvailable,
                  size_t* dataOutMoved);

// The same with byte strings: the output, or nil with the status in
// *status.
Ref<Data> cryptData(CryptOperation op, CryptAlgorithm algorithm, uint32_t options, std::string_view key,
                    std::string_view iv, std::string_view dataIn, CryptStatus* status = nullptr);

}  // namespace kit
