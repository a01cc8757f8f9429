// Writes a double as printf's "%.17g" does (17 significant digits, trailing
// zeros dropped, exponent form below 1e-4 and from 1e17), without printf.
// Values from 1e-6 to 1e17 are rounded exactly with 128-bit integer
// arithmetic; the rest go through std::to_chars with the same format.
#pragma once

// Writes the text of `value` (finite) at `out`, which has room for at least
// 40 bytes, and returns the end of the text (at most 25 bytes on).
char* writeDouble17g(double value, char* out);
