// Decimal to double without the general conversion, exact by construction:
//   - a mantissa of at most 53 bits times or over an exactly representable
//     power of ten (10^0 to 10^22) is one correctly rounded IEEE operation;
//   - otherwise, for powers 10^1 to 10^19, the product mantissa × 10^k is
//     formed exactly in 128 bits, or the quotient (mantissa × 2^s) / 10^k
//     with its remainder by a 128-by-64-bit division (s is chosen so that
//     the quotient has 63 or 64 bits), and the top bits are rounded to 53
//     with the remainder and the dropped bits as the sticky bit.
// The results lie between 1e-19 and 2e38, far from subnormals and overflow.

#include "data/json/jx_decimal.h"

#include <bit>
#include <cstring>

namespace {

using u128 = unsigned __int128;

constexpr uint64_t kPow10[20] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

// Powers of ten that doubles hold exactly.
constexpr double kExactPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

int bitLength(u128 v) {
  const auto high = static_cast<uint64_t>(v >> 64);
  return high ? 128 - std::countl_zero(high) : 64 - std::countl_zero(static_cast<uint64_t>(v));
}
int bitLength(uint64_t v) { return 64 - std::countl_zero(v); }

// A power of ten as a divisor for division by multiplication (Möller and
// Granlund, "Improved division by invariant integers"): shifted so that its
// top bit is set, and its reciprocal floor((2^128 - 1) / divisor) - 2^64.
struct Divisor {
  uint64_t normalized;
  int bits;  // of the power itself
  uint64_t reciprocal;
};

constexpr Divisor makeDivisor(uint64_t d) {
  const uint64_t normalized = d << std::countl_zero(d);
  return {normalized, 64 - std::countl_zero(d), static_cast<uint64_t>(~u128{0} / normalized - (u128{1} << 64))};
}

constexpr Divisor kPow10Divisors[20] = {
    makeDivisor(kPow10[0]),  makeDivisor(kPow10[1]),  makeDivisor(kPow10[2]),  makeDivisor(kPow10[3]),
    makeDivisor(kPow10[4]),  makeDivisor(kPow10[5]),  makeDivisor(kPow10[6]),  makeDivisor(kPow10[7]),
    makeDivisor(kPow10[8]),  makeDivisor(kPow10[9]),  makeDivisor(kPow10[10]), makeDivisor(kPow10[11]),
    makeDivisor(kPow10[12]), makeDivisor(kPow10[13]), makeDivisor(kPow10[14]), makeDivisor(kPow10[15]),
    makeDivisor(kPow10[16]), makeDivisor(kPow10[17]), makeDivisor(kPow10[18]), makeDivisor(kPow10[19]),
};

// (n1 × 2^64 + n0) / normalized divisor and whether it leaves a remainder,
// for n1 below the divisor: two multiplications and at most two
// corrections, the first (as likely as not) without a branch.
inline uint64_t divide(uint64_t n1, uint64_t n0, const Divisor& divisor, bool& remainder) {
  const u128 estimate = u128{divisor.reciprocal} * n1 + ((u128{n1} << 64) | n0);
  uint64_t q = static_cast<uint64_t>(estimate >> 64) + 1;
  uint64_t r = n0 - q * divisor.normalized;
  const uint64_t over = -static_cast<uint64_t>(r > static_cast<uint64_t>(estimate));
  q += over;  // one less when over
  r += divisor.normalized & over;
  if (r >= divisor.normalized) {
    ++q;
    r -= divisor.normalized;
  }
  remainder = r != 0;
  return q;
}

// The double nearest to (q + a fraction) × 2^e2, ties to even, for q of more
// than 53 bits; `sticky`: the fraction is not zero.
template <class Bits>
double roundToDouble(Bits q, int e2, bool sticky) {
  const int shift = bitLength(q) - 54;
  uint64_t mantissa = static_cast<uint64_t>(q >> shift);  // 54 bits: 53 and the rounding bit
  const uint64_t dropped = (q & ((Bits{1} << shift) - 1)) != 0;
  const uint64_t roundBit = mantissa & 1;
  mantissa >>= 1;
  // mantissa × 2^exponent with mantissa in [2^52, 2^53); rounding up adds
  // one to the bits, and a mantissa that overflows carries into the exponent
  // as it should. (No branches: which way a number rounds is unpredictable.)
  const int exponent = e2 + shift + 1;
  const uint64_t biased = static_cast<uint64_t>(exponent + 52 + 1023);
  const uint64_t roundUp = roundBit & (static_cast<uint64_t>(sticky) | dropped | (mantissa & 1));
  const uint64_t bits = ((biased << 52) | (mantissa & ((uint64_t{1} << 52) - 1))) + roundUp;
  return std::bit_cast<double>(bits);
}

}  // namespace

bool jxDecimalToDouble(uint64_t mantissa, int exponent10, double& value) {
  if (mantissa == 0) {
    value = 0;
    return true;
  }
  if (mantissa <= (uint64_t{1} << 53) && exponent10 >= -22 && exponent10 <= 22) {
    const double m = static_cast<double>(mantissa);
    value = exponent10 >= 0 ? m * kExactPow10[exponent10] : m / kExactPow10[-exponent10];
    return true;
  }
  if (exponent10 == 0) {
    value = static_cast<double>(mantissa);  // a correctly rounded conversion
    return true;
  }
  if (exponent10 > 0 && exponent10 <= 19) {
    const u128 product = u128{mantissa} * kPow10[exponent10];
    value = roundToDouble(product, 0, false);  // more than 53 bits: the mantissa alone has 54
    return true;
  }
  if (exponent10 < 0 && exponent10 >= -19) {
    // The quotient of (mantissa × 2^s) / 10^k for s = 63 + bits(10^k) -
    // bits(mantissa): the dividend is below 10^k × 2^64 and the quotient at
    // least 2^62. Divided by the normalized power, the dividend is
    // normalized mantissa × 2^63, two words without a variable shift.
    const Divisor& divisor = kPow10Divisors[-exponent10];
    const int leading = std::countl_zero(mantissa);
    const uint64_t normalized = mantissa << leading;
    const int shift = 63 + divisor.bits - (64 - leading);
    bool remainder = false;
    const uint64_t quotient = divide(normalized >> 1, normalized << 63, divisor, remainder);
    value = roundToDouble(quotient, -shift, remainder);
    return true;
  }
  return false;
}
