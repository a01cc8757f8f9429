// "%.17g" formatting of doubles: exact decimal rounding by integer
// arithmetic for the common range, std::to_chars for the rest.

#include "data/json/double_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

using u128 = unsigned __int128;

constexpr int kDigits = 17;

struct PowersOfTen {
  u128 of[23];
  constexpr PowersOfTen() : of() {
    u128 p = 1;
    for (int i = 0; i < 23; ++i, p *= 10) of[i] = p;
  }
};
constexpr PowersOfTen kPow10;
constexpr uint64_t kLow = 10000000000000000ULL;    // 10^16
constexpr uint64_t kHigh = 100000000000000000ULL;  // 10^17

// The eight decimal digits of v (< 10^8) as ASCII, first digit in the
// lowest byte, computed in one register (no table, no stores).
uint64_t eightDigits(uint32_t v) {
  const uint64_t merged = (v / 10000) | (static_cast<uint64_t>(v % 10000) << 32);
  const uint64_t hundreds = ((merged * 10486) >> 20) & ((0x7FULL << 32) | 0x7FULL);
  const uint64_t tens = hundreds | ((merged - hundreds * 100) << 16);
  const uint64_t ones = ((tens * 103) >> 10) & ((0xFULL << 48) | (0xFULL << 32) | (0xFULL << 16) | 0xFULL);
  return (ones | ((tens - 10 * ones) << 8)) + 0x3030303030303030ULL;
}

void store(char* out, u128 v) { std::memcpy(out, &v, sizeof v); }

char* fallback(double value, char* out) {
  return std::to_chars(out, out + 32, value, std::chars_format::general, kDigits).ptr;
}

// The 17 significant digits of |value| as an integer in [10^16, 10^17) and
// the decimal exponent of the first digit; false when out of range.
bool roundTo17Digits(double value, uint64_t& digits, int& exponent) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0 || biased == 0x7FF) return false;  // subnormal, infinite or NaN
  const uint64_t mantissa = (bits & ((1ULL << 52) - 1)) | (1ULL << 52);
  const int shift = biased - 1075;  // |value| = mantissa × 2^shift
  // A first guess at floor(log10 |value|): floor(binary exponent × log10 2),
  // at most one below the true value.
  int k = ((biased - 1023) * 78913) >> 18;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const int p = kDigits - 1 - k;
    if (p < 0 || p > 22) return false;
    const u128 scaled = static_cast<u128>(mantissa) * kPow10.of[p];
    u128 n;
    if (shift >= 0) {
      if (shift > 8) return false;
      n = scaled << shift;
    } else {
      const int s = -shift;
      if (s >= 127) return false;
      n = scaled >> s;
      const u128 rest = scaled & ((static_cast<u128>(1) << s) - 1);
      const u128 half = static_cast<u128>(1) << (s - 1);
      if (rest > half || (rest == half && (n & 1))) ++n;  // to nearest, ties to even
    }
    if (n >= kHigh) {
      ++k;
    } else if (n < kLow) {
      --k;
    } else {
      digits = static_cast<uint64_t>(n);
      exponent = k;
      return true;
    }
  }
  return false;
}

}  // namespace

char* writeDouble17g(double value, char* out) {
  if (value == 0) {
    if (std::signbit(value)) *out++ = '-';
    *out++ = '0';
    return out;
  }
  uint64_t n;
  int exponent;
  if (!roundTo17Digits(value, n, exponent)) return fallback(value, out);

  // The first digit, and the other sixteen as ASCII in one 128-bit value
  // (second digit in the lowest byte). Everything below only stores.
  const uint64_t top = n / 100000000;  // the first nine digits
  const char first = static_cast<char>('0' + top / 100000000);
  const u128 rest = eightDigits(static_cast<uint32_t>(top % 100000000)) |
                    (static_cast<u128>(eightDigits(static_cast<uint32_t>(n % 100000000))) << 64);
  // Significant digits: %g drops trailing zeros.
  const u128 nonZero = rest ^ ((static_cast<u128>(0x3030303030303030ULL) << 64) | 0x3030303030303030ULL);
  const auto high = static_cast<uint64_t>(nonZero >> 64), low = static_cast<uint64_t>(nonZero);
  const int count = 1 + (high ? 16 - __builtin_clzll(high) / 8 : low ? 8 - __builtin_clzll(low) / 8 : 0);

  if (value < 0) *out++ = '-';
  if (exponent < -4 || exponent >= kDigits) {
    out[0] = first;
    out[1] = '.';
    store(out + 2, rest);
    out += count > 1 ? count + 1 : 1;
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude >= 100) *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
    return out;
  }
  if (exponent < 0) {
    // 0.000ddd: at most four zeros after the point.
    std::memcpy(out, "0.0000", 6);
    out += 1 - exponent;
    out[0] = first;
    store(out + 1, rest);
    return out + count;
  }
  const int integerDigits = exponent + 1;
  out[0] = first;
  store(out + 1, rest);
  if (count <= integerDigits) return out + integerDigits;
  out[integerDigits] = '.';
  store(out + integerDigits + 1, rest >> (8 * (integerDigits - 1)));
  return out + count + 1;
}
