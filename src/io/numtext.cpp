// numtext.cpp: decimal text of integers, doubles and temporal counts.
//
// Names: sW unsigned, sl signed, sf float, sfd its shortest digits; civ
// the civil date of a day count; sdt
// date, stm time, snp timestamp, smn minute, ssc second, smo month, ssp
// timespan; tqw the whole text of one temporal atom.  Digits are written
// right to left from the pair table dig2, eight at a time in 32-bit
// arithmetic, so no writer divides once per digit.
//
// The float writer finds shortest digits the Ryu way: scale the interval
// of reals that round to the double by a 125-bit approximation of a power
// of five, then drop decimal digits while the scaled bounds still differ.
// Its power tables are computed by the compiler (exact big-integer
// arithmetic in constexpr), so there is no first-call build and nothing to
// race on when worker threads format floats.
#include "io/numtext.h"

#include <bit>
#include <cstring>

namespace zk {

namespace {

using u128 = unsigned __int128;

// ---------------------------------------------------------------- digits

constexpr uint64_t p10[20] = {1ull,
                              10ull,
                              100ull,
                              1000ull,
                              10000ull,
                              100000ull,
                              1000000ull,
                              10000000ull,
                              100000000ull,
                              1000000000ull,
                              10000000000ull,
                              100000000000ull,
                              1000000000000ull,
                              10000000000000ull,
                              100000000000000ull,
                              1000000000000000ull,
                              10000000000000000ull,
                              100000000000000000ull,
                              1000000000000000000ull,
                              10000000000000000000ull};

// Number of decimal digits of v (1 for 0).  bits*1233>>12 is the digit
// count or one less; one compare against a power of ten settles it.
inline int ndig(uint64_t v) {
  v |= 1;  // same count for every v >= 1 (each p10[t > 0] is even)
  int t = ((64 - std::countl_zero(v)) * 1233) >> 12;
  return t + (v >= p10[t]);
}

inline void w2(char *p, uint32_t v) { std::memcpy(p, dig2 + 2 * v, 2); }

inline void w4(char *p, uint32_t v) {
  uint32_t h = v / 100;
  w2(p, h);
  w2(p + 2, v - 100 * h);
}

inline void w8(char *p, uint32_t v) {
  uint32_t h = v / 10000;
  w4(p, h);
  w4(p + 4, v - 10000 * h);
}

// All digits of v, the last one just before e.
inline void wr(char *e, uint64_t v) {
  while (v >= 100000000) {
    uint64_t q = v / 100000000;
    e -= 8;
    w8(e, (uint32_t)(v - q * 100000000));
    v = q;
  }
  uint32_t w = (uint32_t)v;
  while (w >= 100) {
    uint32_t q = w / 100;
    e -= 2;
    w2(e, w - 100 * q);
    w = q;
  }
  if (w >= 10)
    w2(e - 2, w);
  else
    e[-1] = char('0' + w);
}

// --------------------------------------------------- power-of-five tables
//
// fwd[i] is 5^i cut or widened to exactly 125 bits: floor(5^i / 2^(L-125))
// where L is the bit length of 5^i.  inv[i] is floor(2^(L-1+125) / 5^i) + 1,
// just above 2^(L-1+125) / 5^i.  Scaling by fwd underestimates and by inv
// overestimates, which is the direction the digit search is proved for.

struct w128 {
  uint64_t lo, hi;
};

constexpr int NFWD = 326;  // 5^325 scales the smallest subnormal
constexpr int NINV = 342;
constexpr int PBITS = 125;
constexpr int NLIMB = 15;  // 2^(L-1+125) for 5^341 (L = 793) has 918 bits

struct big {
  uint64_t w[NLIMB];
};

constexpr int blen(const big &b) {
  for (int i = NLIMB - 1; i >= 0; --i)
    if (b.w[i]) return 64 * i + 64 - std::countl_zero(b.w[i]);
  return 0;
}

constexpr void mul5(big &b) {
  uint64_t c = 0;
  for (int i = 0; i < NLIMB; ++i) {
    u128 t = (u128)b.w[i] * 5 + c;
    b.w[i] = (uint64_t)t;
    c = (uint64_t)(t >> 64);
  }
}

// b = floor(b / d) for a one-limb divisor.
constexpr void divw(big &b, uint64_t d) {
  u128 r = 0;
  for (int i = (blen(b) + 63) / 64 - 1; i >= 0; --i) {
    u128 x = (r << 64) | b.w[i];
    b.w[i] = (uint64_t)(x / d);
    r = x % d;
  }
}

constexpr bool bit(const big &b, int k) {
  return k >= 0 && k < 64 * NLIMB && ((b.w[k >> 6] >> (k & 63)) & 1);
}

// The 128 bits of b from bit s up (s < 0 shifts left).
constexpr w128 window(const big &b, int s) {
  u128 v = 0;
  for (int k = 127; k >= 0; --k) v = (v << 1) | (u128)bit(b, s + k);
  return {(uint64_t)v, (uint64_t)(v >> 64)};
}

template <int N> struct ptab {
  w128 e[N];
};

constexpr ptab<NFWD> mk_fwd() {
  ptab<NFWD> t{};
  big p{};
  p.w[0] = 1;
  for (int i = 0; i < NFWD; ++i) {
    if (i) mul5(p);
    t.e[i] = window(p, blen(p) - PBITS);
  }
  return t;
}

constexpr ptab<NINV> mk_inv() {
  ptab<NINV> t{};
  big p{};
  p.w[0] = 1;
  for (int i = 0; i < NINV; ++i) {
    if (i) mul5(p);
    const int j = blen(p) - 1 + PBITS;
    // floor(2^j / 5^i) by dividing by 5 repeatedly, 27 fives a limb (nested
    // floor divisions are exact): a 125- or 126-bit quotient.
    big x{};
    x.w[j >> 6] = 1ull << (j & 63);
    int n = i;
    for (; n >= 27; n -= 27) divw(x, 7450580596923828125ull);  // 5^27
    uint64_t d = 1;
    for (; n > 0; --n) d *= 5;
    divw(x, d);
    w128 q = window(x, 0);
    q.lo += 1;
    q.hi += q.lo == 0;
    t.e[i] = q;
  }
  return t;
}

constexpr ptab<NFWD> fwd = mk_fwd();
constexpr ptab<NINV> inv = mk_inv();

// 2^127/5 = 0x3333..33.3 and 5 << 122: hand-checked anchors of both tables.
static_assert(inv.e[1].hi == 1844674407370955161ull && inv.e[1].lo == 11068046444225730970ull);
static_assert(fwd.e[1].hi == 5ull << 58 && fwd.e[1].lo == 0);
static_assert(fwd.e[0].hi == 1ull << 60 && inv.e[0].lo == 1);

// ------------------------------------------------------- shortest digits

// Bit length of 5^e (ceil(log2 5^e), 1 for e = 0), for 0 <= e <= 3528.
inline int32_t pow5bits(int32_t e) { return (int32_t)(((uint32_t)e * 1217359) >> 19) + 1; }
// floor(log10 2^e), 0 <= e <= 1650.
inline uint32_t log10p2(int32_t e) { return ((uint32_t)e * 78913) >> 18; }
// floor(log10 5^e), 0 <= e <= 2620.
inline uint32_t log10p5(int32_t e) { return ((uint32_t)e * 732923) >> 20; }

inline uint32_t pow5fac(uint64_t v) {
  uint32_t n = 0;
  while (v % 5 == 0) v /= 5, ++n;
  return n;
}
inline bool mulp5(uint64_t v, uint32_t p) { return pow5fac(v) >= p; }
inline bool mulp2(uint64_t v, uint32_t p) { return (v & ((1ull << p) - 1)) == 0; }

// floor(m * mul / 2^j) for 64 < j < 128, m < 2^56, mul < 2^125: exact.
inline uint64_t msh(uint64_t m, const w128 &mul, int32_t j) {
  u128 b0 = (u128)m * mul.lo;
  u128 b2 = (u128)m * mul.hi;
  return (uint64_t)(((b0 >> 64) + b2) >> (j - 64));
}

sfd_t ryu(uint64_t f, uint32_t be) {
  // The double is m2 * 2^e2 / 4: the extra factor 4 leaves room for the
  // half-way bounds mv +- 2 (and mv - 1 below a power of two).
  int32_t e2;
  uint64_t m2;
  if (be == 0) {
    e2 = 1 - 1023 - 52 - 2;
    m2 = f;
  } else {
    e2 = (int32_t)be - 1023 - 52 - 2;
    m2 = (1ull << 52) | f;
  }
  // Round-half-even reading: a bound itself reads back to this double
  // exactly when the mantissa is even.
  const bool acc = (m2 & 1) == 0;
  const uint64_t mv = 4 * m2;
  // Below a power of two the gap to the next smaller double is half.
  const uint32_t mms = (f != 0 || be <= 1) ? 1 : 0;

  uint64_t vr, vp, vm;
  int32_t e10;
  bool vmtz = false, vrtz = false;  // all dropped digits of vm / vr were 0
  if (e2 >= 0) {
    // Keep one digit more than the bounds force (q one less) so the last
    // dropped digit is known for rounding.
    const uint32_t q = log10p2(e2) - (e2 > 3);
    e10 = (int32_t)q;
    const int32_t k = PBITS + pow5bits((int32_t)q) - 1;
    const int32_t i = -e2 + (int32_t)q + k;
    vr = msh(mv, inv.e[q], i);
    vp = msh(mv + 2, inv.e[q], i);
    vm = msh(mv - 1 - mms, inv.e[q], i);
    // Exact quotients need 5^q | (mv or a bound); 5^22 exceeds every mv.
    if (q <= 21) {
      if (mv % 5 == 0)
        vrtz = mulp5(mv, q);
      else if (acc)
        vmtz = mulp5(mv - 1 - mms, q);
      else
        vp -= mulp5(mv + 2, q);  // an excluded upper bound that is exact
    }
  } else {
    const uint32_t q = log10p5(-e2) - (-e2 > 1);
    e10 = (int32_t)q + e2;
    const int32_t i = -e2 - (int32_t)q;
    const int32_t k = pow5bits(i) - PBITS;
    const int32_t j = (int32_t)q - k;
    vr = msh(mv, fwd.e[i], j);
    vp = msh(mv + 2, fwd.e[i], j);
    vm = msh(mv - 1 - mms, fwd.e[i], j);
    // Here the quotients are x * 5^i / 2^q: exact iff 2^q | x.  mv has two
    // trailing zero bits, mv + 2 one, mv - 1 - mms one or none.
    if (q <= 1) {
      vrtz = true;
      if (acc)
        vmtz = mms == 1;
      else
        --vp;
    } else if (q < 63) {
      vrtz = mulp2(mv, q);
    }
  }

  int32_t rm = 0;  // digits removed
  uint64_t out;
  if (vmtz || vrtz) {
    // Rare: exact quotients, so ties and an exactly reachable lower bound
    // must be tracked digit by digit.
    uint32_t last = 0;
    while (vp / 10 > vm / 10) {
      vmtz &= vm % 10 == 0;
      vrtz &= last == 0;
      last = (uint32_t)(vr % 10);
      vr /= 10, vp /= 10, vm /= 10, ++rm;
    }
    if (vmtz) {
      while (vm % 10 == 0) {
        vrtz &= last == 0;
        last = (uint32_t)(vr % 10);
        vr /= 10, vp /= 10, vm /= 10, ++rm;
      }
    }
    if (vrtz && last == 5 && vr % 2 == 0) last = 4;  // exact tie: to even
    out = vr + ((vr == vm && (!acc || !vmtz)) || last >= 5);
  } else {
    // Common: no tie is possible, so only the last dropped digit matters.
    bool up = false;
    if (vp / 100 > vm / 100) {
      up = vr % 100 >= 50;
      vr /= 100, vp /= 100, vm /= 100, rm += 2;
    }
    while (vp / 10 > vm / 10) {
      up = vr % 10 >= 5;
      vr /= 10, vp /= 10, vm /= 10, ++rm;
    }
    out = vr + (vr == vm || up);
  }
  return {out, e10 + rm};
}

// Integers below 2^53 are their own shortest digits: any other decimal
// with fewer significant digits differs from them by at least one, more
// than half their gap.
inline bool small_int(uint64_t f, uint32_t be, sfd_t &r) {
  const int32_t e2 = (int32_t)be - 1075;
  if (e2 > 0 || e2 < -52) return false;
  const uint64_t m2 = (1ull << 52) | f;
  const uint32_t sh = (uint32_t)-e2;
  if (m2 & ((1ull << sh) - 1)) return false;
  uint64_t v = m2 >> sh;
  int32_t e = 0;
  for (;;) {
    uint64_t q = v / 10;
    if (v != q * 10) break;
    v = q, ++e;
  }
  r = {v, e};
  return true;
}

inline sfd_t digits(uint64_t f, uint32_t be) {
  sfd_t r;
  if (be != 0 && small_int(f, be, r)) return r;
  return ryu(f, be);
}

}  // namespace

// ------------------------------------------------------------ integers

char *sW(char *d, uint64_t u) {
  int n = ndig(u);
  wr(d + n, u);
  return d + n;
}

char *sl(char *d, int64_t i) {
  if (i >= 0) return sW(d, (uint64_t)i);
  if (i == INT64_MIN) {
    d[0] = '0', d[1] = 'N';
    return d + 2;
  }
  *d = '-';
  return sW(d + 1, 0 - (uint64_t)i);
}

// --------------------------------------------------------------- floats

sfd_t sfd(uint64_t bits) {
  return digits(bits & ((1ull << 52) - 1), (uint32_t)(bits >> 52) & 0x7ff);
}

char *sf(char *d, uint64_t bits) {
  const uint64_t f = bits & ((1ull << 52) - 1);
  const uint32_t be = (uint32_t)(bits >> 52) & 0x7ff;
  if (be == 0x7ff && f) {
    // The payload with its quiet bit flipped, so the default NaN is "0n".
    d = sW(d, f ^ (1ull << 51));
    *d = 'n';
    return d + 1;
  }
  if (bits >> 63) *d++ = '-';
  if (be == 0x7ff) {
    d[0] = '0', d[1] = 'w';
    return d + 2;
  }
  if (be == 0 && f == 0) {
    std::memcpy(d, "0.0", 3);
    return d + 3;
  }
  const sfd_t r = digits(f, be);
  const int32_t n = ndig(r.m);
  int32_t p = r.e + n - 1;  // decimal exponent of the first digit
  if (p >= 0 && p <= 15) {
    if (p >= n - 1) {  // integral: digits, zeros, ".0"
      wr(d + n, r.m);
      std::memset(d + n, '0', (size_t)(p + 1 - n));
      d += p + 1;
      d[0] = '.', d[1] = '0';
      return d + 2;
    }
    // Point inside the digits: write them one place right, then move the
    // integer part back over the gap.
    wr(d + 1 + n, r.m);
    std::memmove(d, d + 1, (size_t)p + 1);
    d[p + 1] = '.';
    return d + n + 1;
  }
  if (p < 0 && p >= -3) {  // 0.5, 0.25, 0.001
    d[0] = '0', d[1] = '.';
    if (p < -1) d[2] = '0';
    if (p < -2) d[3] = '0';
    d += 1 - p;
    wr(d + n, r.m);
    return d + n;
  }
  wr(d + 1 + n, r.m);
  d[0] = d[1];
  if (n > 1) {
    d[1] = '.';
    d += n + 1;
  } else {
    d += 1;
  }
  *d++ = 'e';
  if (p < 0) *d++ = '-', p = -p;
  if (p >= 100) {
    *d++ = char('0' + p / 100);
    w2(d, (uint32_t)(p % 100));
    return d + 2;
  }
  if (p >= 10) {
    w2(d, (uint32_t)p);
    return d + 2;
  }
  *d = char('0' + p);
  return d + 1;
}

// ------------------------------------------------------------- temporal

namespace {

// Floor division for a positive divisor.
inline int64_t fdiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return q - ((a % b) < 0);
}

// Three digits 000..999.
inline char *w3(char *d, uint32_t v) {
  uint32_t h = v / 100;
  d[0] = char('0' + h);
  w2(d + 1, v - 100 * h);
  return d + 3;
}

// Hours of a non-negative count, at least two digits ("0" + one digit
// below ten hours), never reduced modulo 24.
inline char *hrs(char *d, uint64_t h) {
  if (h < 10) *d++ = '0';
  return sW(d, h);
}

constexpr int64_t NSD = 86400000000000;  // nanoseconds per day

}  // namespace

void civ(int64_t days, int64_t *y, uint32_t *mo, uint32_t *dd) {
  // Count from 0000.03.01 so the leap day ends each year, then split into
  // 400-year eras of 146097 days.
  const int64_t z = days + 730425;
  const int64_t era = fdiv(z, 146097);
  const int64_t doe = z - era * 146097;                                  // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);           // [0, 365]
  const int64_t mp = (5 * doy + 2) / 153;                                // [0, 11], March = 0
  *dd = (uint32_t)(doy - (153 * mp + 2) / 5 + 1);
  *mo = (uint32_t)(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*mo <= 2);
}

char *sdt(char *d, int32_t days) {
  int64_t y;
  uint32_t mo, dd;
  civ(days, &y, &mo, &dd);
  if (y < 0) *d++ = '-';
  d = sW(d, y < 0 ? (uint64_t)-y : (uint64_t)y);
  d[0] = '.';
  w2(d + 1, mo);
  d[3] = '.';
  w2(d + 4, dd);
  return d + 6;
}

char *stm(char *d, int32_t ms) {
  uint64_t v = (uint64_t)(int64_t)ms;
  if (ms < 0) *d++ = '-', v = 0 - v;
  const uint64_t h = v / 3600000;
  const uint32_t r = (uint32_t)(v - h * 3600000);  // ms within the hour
  d = hrs(d, h);
  const uint32_t mi = r / 60000, s = r / 1000 % 60;
  d[0] = ':';
  w2(d + 1, mi);
  d[3] = ':';
  w2(d + 4, s);
  d[6] = '.';
  return w3(d + 7, r % 1000);
}

char *smn(char *d, int32_t m) {
  uint64_t v = (uint64_t)(int64_t)m;
  if (m < 0) *d++ = '-', v = 0 - v;
  d = hrs(d, v / 60);
  d[0] = ':';
  w2(d + 1, (uint32_t)(v % 60));
  return d + 3;
}

char *ssc(char *d, int32_t s) {
  uint64_t v = (uint64_t)(int64_t)s;
  if (s < 0) *d++ = '-', v = 0 - v;
  const uint64_t h = v / 3600;
  const uint32_t r = (uint32_t)(v - h * 3600);
  d = hrs(d, h);
  d[0] = ':';
  w2(d + 1, r / 60);
  d[3] = ':';
  w2(d + 4, r % 60);
  return d + 6;
}

char *smo(char *d, int32_t m) {
  const int64_t yq = fdiv(m, 12);
  const int64_t y = yq + 2000;
  const uint32_t mo = (uint32_t)(m - 12 * yq + 1);
  if (y < 0) *d++ = '-';
  d = sW(d, y < 0 ? (uint64_t)-y : (uint64_t)y);
  d[0] = '.';
  w2(d + 1, mo);
  return d + 3;
}

// Clock part shared by timestamps and timespans: r nanoseconds within a
// day as HH:MM:SS.nnnnnnnnn.
static char *sclk(char *d, uint64_t r) {
  const uint64_t ms = r / 1000000;
  d = stm(d, (int32_t)ms);
  const uint32_t sub = (uint32_t)(r - ms * 1000000);  // micro and nano digits
  const uint32_t a = sub / 10000, b = sub / 100 % 100, c = sub % 100;
  w2(d, a);
  w2(d + 2, b);
  w2(d + 4, c);
  return d + 6;
}

char *snp(char *d, int64_t ns) {
  if (ns == INT64_MIN) {
    d[0] = '0', d[1] = 'N';
    return d + 2;
  }
  // Floor, so instants before 2000 fall on the previous day with a
  // non-negative clock.
  // (days * NSD would overflow for the earliest instants.)
  int64_t days = ns / NSD, r = ns % NSD;
  if (r < 0) r += NSD, --days;
  d = sdt(d, (int32_t)days);  // |days| <= 106752
  *d++ = 'D';
  return sclk(d, (uint64_t)r);
}

char *ssp(char *d, int64_t ns) {
  // The null has no magnitude (its negation overflows); it prints as the
  // timestamp null does.
  if (ns == INT64_MIN) {
    d[0] = '0', d[1] = 'N';
    return d + 2;
  }
  uint64_t v = (uint64_t)ns;
  if (ns < 0) *d++ = '-', v = 0 - v;
  const uint64_t days = v / NSD;
  d = sW(d, days);
  *d++ = 'D';
  return sclk(d, v - days * NSD);
}

char *tqw(char *d, int t, int64_t v, int flags) {
  if (t < 33 || t > 39) return d;
  const bool wide = t == 35 || t == 39;
  if (v == (wide ? INT64_MIN : (int64_t)INT32_MIN)) {
    if (flags & 1) d[0] = '0', d[1] = 'N', d[2] = tnul[t - 33], d += 3;
    return d;
  }
  switch (t) {
    case 33: return sdt(d, (int32_t)v);
    case 34: return stm(d, (int32_t)v);
    case 35: return snp(d, v);
    case 36: return smn(d, (int32_t)v);
    case 37: return ssc(d, (int32_t)v);
    case 38:
      d = smo(d, (int32_t)v);
      if (flags & 1) *d++ = 'm';
      return d;
    default: return ssp(d, v);
  }
}

}  // namespace zk
