// Digests, HMAC and block ciphers on mbed TLS.

#include "kit/foundation/crypto.h"

#include <mbedtls/aes.h>
#include <mbedtls/des.h>
#include <mbedtls/md.h>
#include <mbedtls/platform_util.h>

#include <cstring>
#include <new>

namespace kit {

// ---- Digests --------------------------------------------------------------

namespace {

const mbedtls_md_info_t* mdInfo(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::MD5: return mbedtls_md_info_from_type(MBEDTLS_MD_MD5);
    case DigestAlgorithm::SHA1: return mbedtls_md_info_from_type(MBEDTLS_MD_SHA1);
    case DigestAlgorithm::SHA256: return mbedtls_md_info_from_type(MBEDTLS_MD_SHA256);
  }
  return nullptr;
}

const mbedtls_md_info_t* mdInfo(HmacAlgorithm algorithm) {
  switch (algorithm) {
    case HmacAlgorithm::MD5: return mdInfo(DigestAlgorithm::MD5);
    case HmacAlgorithm::SHA1: return mdInfo(DigestAlgorithm::SHA1);
    case HmacAlgorithm::SHA256: return mdInfo(DigestAlgorithm::SHA256);
  }
  return nullptr;
}

// An empty input may come with a null pointer; mbed TLS wants a valid one.
const unsigned char* bytesOrEmpty(const void* bytes) {
  static const unsigned char empty = 0;
  return bytes ? static_cast<const unsigned char*>(bytes) : &empty;
}

template <size_t N>
std::array<uint8_t, N> oneShot(DigestAlgorithm algorithm, const void* bytes, size_t length) {
  std::array<uint8_t, N> out{};
  mbedtls_md(mdInfo(algorithm), bytesOrEmpty(bytes), length, out.data());
  return out;
}

}  // namespace

MD5Digest md5(const void* bytes, size_t length) {
  return oneShot<MD5DigestLength>(DigestAlgorithm::MD5, bytes, length);
}

SHA1Digest sha1(const void* bytes, size_t length) {
  return oneShot<SHA1DigestLength>(DigestAlgorithm::SHA1, bytes, length);
}

SHA256Digest sha256(const void* bytes, size_t length) {
  return oneShot<SHA256DigestLength>(DigestAlgorithm::SHA256, bytes, length);
}

std::string hexString(const void* bytes, size_t length) {
  static const char* digits = "0123456789abcdef";
  auto* p = static_cast<const uint8_t*>(bytes);
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

size_t digestLength(DigestAlgorithm algorithm) { return mbedtls_md_get_size(mdInfo(algorithm)); }

struct Digest::State {
  mbedtls_md_context_t context;
  size_t size = 0;
  bool finished = false;
  std::vector<uint8_t> result;
};

Digest::Digest(DigestAlgorithm algorithm) : state_(std::make_unique<State>()) {
  mbedtls_md_init(&state_->context);
  if (mbedtls_md_setup(&state_->context, mdInfo(algorithm), 0) != 0) throw std::bad_alloc();
  state_->size = mbedtls_md_get_size(mdInfo(algorithm));
  mbedtls_md_starts(&state_->context);
}

Digest::~Digest() { mbedtls_md_free(&state_->context); }

void Digest::update(const void* bytes, size_t length) {
  if (state_->finished || length == 0) return;
  mbedtls_md_update(&state_->context, static_cast<const unsigned char*>(bytes), length);
}

std::vector<uint8_t> Digest::finish() {
  if (!state_->finished) {
    state_->result.resize(state_->size);
    mbedtls_md_finish(&state_->context, state_->result.data());
    state_->finished = true;
  }
  return state_->result;
}

// ---- HMAC -----------------------------------------------------------------

void hmac(HmacAlgorithm algorithm, const void* key, size_t keyLength, const void* data, size_t dataLength,
          void* macOut) {
  mbedtls_md_hmac(mdInfo(algorithm), bytesOrEmpty(key), keyLength, bytesOrEmpty(data), dataLength,
                  static_cast<unsigned char*>(macOut));
}

std::vector<uint8_t> hmac(HmacAlgorithm algorithm, std::string_view key, std::string_view data) {
  std::vector<uint8_t> out(mbedtls_md_get_size(mdInfo(algorithm)));
  hmac(algorithm, key.data(), key.size(), data.data(), data.size(), out.data());
  return out;
}

// ---- Block ciphers --------------------------------------------------------

namespace {

// One keyed block cipher, encrypting or decrypting whole blocks in ECB or
// CBC mode.
class BlockCipher {
 public:
  BlockCipher(CryptAlgorithm algorithm, CryptOperation op, const uint8_t* key, size_t keyLength)
      : algorithm_(algorithm), decrypt_(op == CryptDecrypt) {
    switch (algorithm_) {
      case CryptAlgorithmAES:
        mbedtls_aes_init(&aes_);
        ok_ = (decrypt_ ? mbedtls_aes_setkey_dec(&aes_, key, static_cast<unsigned>(keyLength * 8))
                        : mbedtls_aes_setkey_enc(&aes_, key, static_cast<unsigned>(keyLength * 8))) == 0;
        break;
      case CryptAlgorithmDES:
        mbedtls_des_init(&des_);
        ok_ = (decrypt_ ? mbedtls_des_setkey_dec(&des_, key) : mbedtls_des_setkey_enc(&des_, key)) == 0;
        break;
      case CryptAlgorithm3DES:
        mbedtls_des3_init(&des3_);
        ok_ = (decrypt_ ? mbedtls_des3_set3key_dec(&des3_, key) : mbedtls_des3_set3key_enc(&des3_, key)) == 0;
        break;
    }
  }
  ~BlockCipher() {
    switch (algorithm_) {
      case CryptAlgorithmAES: mbedtls_aes_free(&aes_); break;
      case CryptAlgorithmDES: mbedtls_des_free(&des_); break;
      case CryptAlgorithm3DES: mbedtls_des3_free(&des3_); break;
    }
  }
  BlockCipher(const BlockCipher&) = delete;
  BlockCipher& operator=(const BlockCipher&) = delete;

  bool ok() const { return ok_; }

  // `length` is a whole number of blocks; `iv` is updated in CBC mode.
  bool run(bool ecb, uint8_t* iv, const uint8_t* in, uint8_t* out, size_t length) {
    const size_t block = algorithm_ == CryptAlgorithmAES ? BlockSizeAES : BlockSizeDES;
    if (!ecb) {
      switch (algorithm_) {
        case CryptAlgorithmAES:
          return mbedtls_aes_crypt_cbc(&aes_, decrypt_ ? MBEDTLS_AES_DECRYPT : MBEDTLS_AES_ENCRYPT, length, iv, in,
                                       out) == 0;
        case CryptAlgorithmDES:
          return mbedtls_des_crypt_cbc(&des_, decrypt_ ? MBEDTLS_DES_DECRYPT : MBEDTLS_DES_ENCRYPT, length, iv, in,
                                       out) == 0;
        case CryptAlgorithm3DES:
          return mbedtls_des3_crypt_cbc(&des3_, decrypt_ ? MBEDTLS_DES_DECRYPT : MBEDTLS_DES_ENCRYPT, length, iv, in,
                                        out) == 0;
      }
    }
    for (size_t i = 0; i < length; i += block) {
      int rc = 0;
      switch (algorithm_) {
        case CryptAlgorithmAES:
          rc = mbedtls_aes_crypt_ecb(&aes_, decrypt_ ? MBEDTLS_AES_DECRYPT : MBEDTLS_AES_ENCRYPT, in + i, out + i);
          break;
        case CryptAlgorithmDES: rc = mbedtls_des_crypt_ecb(&des_, in + i, out + i); break;
        case CryptAlgorithm3DES: rc = mbedtls_des3_crypt_ecb(&des3_, in + i, out + i); break;
      }
      if (rc != 0) return false;
    }
    return true;
  }

 private:
  CryptAlgorithm algorithm_;
  bool decrypt_;
  bool ok_ = false;
  union {
    mbedtls_aes_context aes_;
    mbedtls_des_context des_;
    mbedtls_des3_context des3_;
  };
};

bool keyLengthFits(CryptAlgorithm algorithm, size_t keyLength) {
  switch (algorithm) {
    case CryptAlgorithmAES:
      return keyLength == KeySizeAES128 || keyLength == KeySizeAES192 || keyLength == KeySizeAES256;
    case CryptAlgorithmDES: return keyLength == KeySizeDES;
    case CryptAlgorithm3DES: return keyLength == KeySize3DES;
  }
  return false;
}

}  // namespace

CryptStatus crypt(CryptOperation op, CryptAlgorithm algorithm, uint32_t options, const void* key, size_t keyLength,
                  const void* iv, const void* dataIn, size_t dataInLength, void* dataOut, size_t dataOutAvailable,
                  size_t* dataOutMoved) {
  if (dataOutMoved) *dataOutMoved = 0;
  if (op != CryptEncrypt && op != CryptDecrypt) return CryptParamError;
  if (algorithm != CryptAlgorithmAES && algorithm != CryptAlgorithmDES && algorithm != CryptAlgorithm3DES) {
    return CryptParamError;
  }
  if ((options & ~uint32_t{CryptOptionPKCS7Padding | CryptOptionECBMode}) != 0) return CryptParamError;
  if (!key || !keyLengthFits(algorithm, keyLength)) return CryptParamError;
  if (!dataIn && dataInLength > 0) return CryptParamError;

  const size_t block = algorithm == CryptAlgorithmAES ? BlockSizeAES : BlockSizeDES;
  const bool padding = options & CryptOptionPKCS7Padding;
  const bool ecb = options & CryptOptionECBMode;
  auto* in = static_cast<const uint8_t*>(dataIn);

  if (dataInLength % block != 0 && (op == CryptDecrypt || !padding)) return CryptAlignmentError;
  if (op == CryptDecrypt && padding && dataInLength == 0) return CryptDecodeError;
  const size_t needed = op == CryptEncrypt && padding ? (dataInLength / block + 1) * block : dataInLength;
  if (!dataOut && needed > 0) return CryptParamError;
  if (dataOutAvailable < needed) {
    if (dataOutMoved) *dataOutMoved = needed;
    return CryptBufferTooSmall;
  }

  BlockCipher cipher(algorithm, op, static_cast<const uint8_t*>(key), keyLength);
  if (!cipher.ok()) return CryptParamError;
  uint8_t chain[BlockSizeAES] = {};
  if (iv && !ecb) std::memcpy(chain, iv, block);

  // Work in a buffer of our own so that input and output may overlap.
  std::vector<uint8_t> work(in, in + dataInLength);
  if (op == CryptEncrypt && padding) work.resize(needed, static_cast<uint8_t>(needed - dataInLength));
  std::vector<uint8_t> result(work.size());
  if (!work.empty() && !cipher.run(ecb, chain, work.data(), result.data(), work.size())) return CryptParamError;

  size_t produced = result.size();
  if (op == CryptDecrypt && padding) {
    const uint8_t pad = result.back();
    bool valid = pad >= 1 && pad <= block;
    for (size_t i = 0; valid && i < pad; ++i) valid = result[result.size() - 1 - i] == pad;
    if (!valid) {
      mbedtls_platform_zeroize(result.data(), result.size());
      return CryptDecodeError;
    }
    produced -= pad;
  }
  if (produced) std::memcpy(dataOut, result.data(), produced);
  mbedtls_platform_zeroize(work.data(), work.size());
  mbedtls_platform_zeroize(result.data(), result.size());
  if (dataOutMoved) *dataOutMoved = produced;
  return CryptSuccess;
}

Ref<Data> cryptData(CryptOperation op, CryptAlgorithm algorithm, uint32_t options, std::string_view key,
                    std::string_view iv, std::string_view dataIn, CryptStatus* status) {
  const size_t block = algorithm == CryptAlgorithmAES ? BlockSizeAES : BlockSizeDES;
  // A short initialization vector would be read past its end.
  if (!iv.empty() && iv.size() < block) {
    if (status) *status = CryptParamError;
    return nullptr;
  }
  std::vector<uint8_t> out(dataIn.size() + block);
  size_t moved = 0;
  CryptStatus rc = crypt(op, algorithm, options, key.data(), key.size(), iv.empty() ? nullptr : iv.data(),
                         dataIn.data(), dataIn.size(), out.data(), out.size(), &moved);
  if (status) *status = rc;
  if (rc != CryptSuccess) return nullptr;
  out.resize(moved);
  return Data::make(std::move(out));
}

}  // namespace kit
