// Exact conversion of a decimal number the tokenizer has already read
// (its digits as one integer and a power of ten) to the nearest double, for
// the common shapes: up to 19 significant digits and a power of ten within
// ±19 (±22 for short mantissas). Everything else, and every out-of-range
// value, is left to the general conversion.
#pragma once

#include <cstdint>

// Sets `value` to the double nearest to mantissa × 10^exponent10 (ties to
// even) and returns true, or returns false when the shape is not one of
// those handled here.
bool jxDecimalToDouble(uint64_t mantissa, int exponent10, double& value);
