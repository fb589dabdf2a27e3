// dec.h: decimal text to IEEE binary64, correctly rounded (nearest, ties to
// even), without the C library in the common cases.
//
//   csv_p10     exact doubles 10^0..10^22 (the Clinger fast path's factors)
//   csv_p5      normalised 128-bit powers of five for 10^-342..10^308,
//               row q+342 = {high word, low word}
//   fast_float  quick, signed, exact-only parse of a byte range; null when
//               the text needs anything beyond the fast path
//   csv_elf     nearest double to w * 10^q (64-bit w); never fails
//   csv_long    a significand of more than 19 digits, decided by bracketing
//               its first 19 digits; 0 when the bracket straddles a boundary
//   csv_float   any unsigned decimal text; never fails
//
// w is a decimal significand, q a decimal exponent, E the exponent of the
// value read as 0.d1d2d3... * 10^E.  Only fast_float reads a sign; the
// other callers convert the magnitude and apply the sign themselves.
#pragma once
#include <cstdint>

namespace zk {

extern const double csv_p10[23];
extern const uint64_t csv_p5[651][2];

// Parses [text, end): optional sign, digits, optional '.', digits, optional
// e/E, sign and one to four digits.  Stores the value through out and
// returns the position of the first byte not taken, or returns null when
// the text is not a number this path converts exactly (more than 19
// significant digits, significand above 2^53, exponent outside -22..22,
// malformed exponent, no digits).  A zero significand is always handled.
const char *fast_float(const char *text, const char *end, double *out);

// Nearest positive double to w * 10^q; +0.0 for w = 0.
double csv_elf(uint64_t w, int64_t q);

// digits: a run of n decimal digits; more: the digits that continue the
// significand (after the point).  Requires at least 19 digits in the two
// runs together (callers use it for 20 or more).  Returns 1 and stores the
// value when the first 19 digits decide it, 0 otherwise (use csv_float).
int csv_long(const char *digits, int64_t n, const char *more, int64_t E, double *out);

// Nearest positive double to the unsigned decimal text [text, end): digits,
// an optional point, an optional exponent part.  Syntax is the caller's
// business; bytes after the number are ignored.
double csv_float(const char *text, const char *end);

}  // namespace zk
