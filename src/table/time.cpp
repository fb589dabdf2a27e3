// time.cpp: the temporal representation and the builtins that work on it
// directly.  Every temporal value is a signed count of one unit from one
// origin (days and nanoseconds from 2000.01.01, months from 2000.01,
// milliseconds, minutes, seconds; see table.h); the 32-bit types' null is
// 0x80000000 and the 64-bit types' INT64_MIN.
//
// Calendar: proleptic Gregorian with a year 0, computed with floor
// division on 400-year eras of 146,097 days (dcv civil to days, dmo1 days
// to months, mlen the length of a month).  Constructors: mkqv (an integer
// vector to a temporal vector) and the builtins mkd mkt mkp mku mkv mkm mkn
// (mkdt mktm mknp mkmn mksc mkmo mksp).  Conversions: mod (modC, month to
// its first day), dmo (dmoC, day or timestamp to month).  Fields: hh mm sec
// (hhC mmC secC) on millisecond counts, with the per-count kernels
// hhd/mmd/secd and the per-vector hhL/mmL/secL.  Join support: tjk (the
// temporal type of a time column) and tjn (its counts as longs).  tzo
// (qtzo) is the local offset from UTC.
//
// The widening and narrowing loops work on whole registers of the vector
// layer with a scalar tail; narrowing collects "did not fit" in one mask
// tested after the loop.
#include <ctime>
#include <cmath>
#include <type_traits>
#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"
#include "num/num.h"
#include "table/table.h"

namespace zk {

namespace {
constexpr J NSD = 86400000000000ll;
ZK_INLINE J fdiv(J a, J b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }
ZK_INLINE bool intv(int t) { return t >= tRANGE && t <= tLONG; }
ZK_INLINE bool wide(int t) { return t == tTSTAMPA || t == tTSPANA; }
ZK_INLINE V box(int t, J v) {
  V r = an(1, t);
  PL(r)[0] = v;
  return r;
}
}  // namespace

// ---- calendar ----
bool leap(J y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int mlen(J y, int m) {
  static const G ml[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 ? 28 + leap(y) : ml[m];
}

// Days from 2000.01.01 to the civil date y.m.d (m 1..12); 730,425 is the
// day count of 2000.01.01 from 0000.03.01.
J dcv(J y, int m, int d) {
  y -= m <= 2;
  J era = fdiv(y, 400), yoe = y - era * 400;
  J doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 730425;
}

I dmo1(J d) {
  J z = d + 730425, era = fdiv(z, 146097), doe = z - era * 146097;
  J yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  J doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  J mp = (5 * doy + 2) / 153, m = mp < 10 ? mp + 3 : mp - 9;
  J y = yoe + era * 400 + (m <= 2);
  return (I)((y - 2000) * 12 + m - 1);
}

// First day of the month count k, as 64 bits (the caller tests the fit).
J mday(J k) { return dcv(2000 + fdiv(k, 12), (int)(k - 12 * fdiv(k, 12)) + 1, 1); }

// ---- constructors ----
namespace {

// Stores the lanes of v sign-extended to D, halving the register until
// its lanes are D wide.
template <class D, class VS> ZK_INLINE void wst(D *d, VS v) {
  if constexpr (sizeof(Lane<VS>) == sizeof(D)) {
    vst(d, v);
  } else {
    wst(d, vwlo(v));
    wst(d + NL<VS> / 2, vwhi(v));
  }
}

// Sign-extends n items of S into D (both integer types), a register of S
// at a time.
template <class S, class D> void widen(const S *s, D *d, U n) {
  typedef std::conditional_t<sizeof(S) == 1, i8x16, std::conditional_t<sizeof(S) == 2, i16x8, i32x4>> VS;
  U i = 0;
  for (; i + NL<VS> <= n; i += NL<VS>) wst(d + i, vld<VS>(s + i));
  for (; i < n; i++) d[i] = (D)s[i];
}

// Longs to 32-bit counts: INT64_MIN to the null, others truncated; answers
// whether every other item fitted.
bool nrw(const J *s, I *d, U n) {
  U i = 0;
  i64x2 bad = vzero<i64x2>();
  const i64x2 lo = vdup<i64x2>(INT32_MIN), hi = vdup<i64x2>(INT32_MAX), nj = vdup<i64x2>(NJ);
  for (; i + 4 <= n; i += 4) {
    i64x2 a = vld<i64x2>(s + i), b = vld<i64x2>(s + i + 2);
    i64x2 na = a == nj, nb = b == nj;
    bad |= vandn<i64x2>((i64x2)((a < lo) | (a > hi)), na);
    bad |= vandn<i64x2>((i64x2)((b < lo) | (b > hi)), nb);
    vst(d + i, vnarrow(vsel<i64x2>(na, vdup<i64x2>(NI), a), vsel<i64x2>(nb, vdup<i64x2>(NI), b)));
  }
  bool ok = !vany(bad);
  for (; i < n; i++) {
    J v = s[i];
    if (v == NJ) d[i] = NI;
    else {
      ok &= v == (I)v;
      d[i] = (I)v;
    }
  }
  return ok;
}

}  // namespace

V mkqv(I t, V x) {
  int xt = tp(x);
  if (xt == tRANGE && !(x = gZ(x))) return 0;
  if (xt == tBOOL && !(x = ct(tBYTE, x))) return 0;
  U n = nx(x);
  V r = an(n, t - 22);
  const void *s = P(x);
  bool ok = true;
  if (wide(t)) {
    J *d = PL(r);
    switch (tp(x)) {
      case tBYTE: widen((const int8_t *)s, d, n); break;
      case tSHORT: widen((const int16_t *)s, d, n); break;
      case tINT: widen((const I *)s, d, n); break;
      default: memcpy(d, s, (size_t)n * 8);
    }
  } else {
    I *d = PI(r);
    switch (tp(x)) {
      case tBYTE: widen((const int8_t *)s, d, n); break;
      case tSHORT: widen((const int16_t *)s, d, n); break;
      case tINT: memcpy(d, s, (size_t)n * 4); break;
      default: ok = nrw((const J *)s, d, n);
    }
  }
  mr(x);
  if (!ok) return mr(r), ez0();
  return r;
}

namespace {

V mk32(I t, V x) {
  int xt = tp(x);
  if (xt == tINTA) return imm(t, (U)ip(x));
  if (xt == tLONGA) {
    J v = PL(x)[0];
    mr(x);
    if (v == NJ) return cn[t];
    if (v != (I)v) return ez0();
    return imm(t, (U)v);
  }
  if (intv(xt)) return mkqv(t, x);
  return et(x);
}

V mk64(I t, V x) {
  int xt = tp(x);
  if (xt == tINTA) return box(t, ip(x));
  if (xt == tLONGA) {
    J v = PL(x)[0];
    mr(x);
    return box(t, v);
  }
  if (intv(xt)) return mkqv(t, x);
  return et(x);
}

}  // namespace

V mkdt(V x) { return mk32(tDATEA, x); }
V mktm(V x) { return mk32(tTIMEA, x); }
V mkmn(V x) { return mk32(tMINUTEA, x); }
V mksc(V x) { return mk32(tSECONDA, x); }
V mkmo(V x) { return mk32(tMONTHA, x); }
V mknp(V x) { return mk64(tTSTAMPA, x); }
V mksp(V x) { return mk64(tTSPANA, x); }

// ---- month and day ----
V modC(V x) {
  int xt = tp(x);
  if (xt == tMONTHA) {
    I k = ip(x);
    if (k == NI) return cn[tDATEA];
    J d = mday(k);
    // A first day on 0x80000000 would read back as the null.
    if (d != (I)d || d == NI) return ez0();
    return imm(tDATEA, (U)d);
  }
  if (xt != tMONTH) return et(x);
  U n = nx(x);
  V r = an(n, tDATE);
  const I *s = PI(x);
  I *d = PI(r);
  bool ok = true;
  for (U i = 0; i < n; i++) {
    if (s[i] == NI) {
      d[i] = NI;
      continue;
    }
    J v = mday(s[i]);
    ok &= v == (I)v && v != NI;
    d[i] = (I)v;
  }
  mr(x);
  if (!ok) return mr(r), ez0();
  return r;
}

V dmoC(V x) {
  int xt = tp(x);
  if (xt == tDATEA) return imm(tMONTHA, (U)(ip(x) == NI ? NI : dmo1(ip(x))));
  if (xt == tTSTAMPA) {
    J v = PL(x)[0];
    mr(x);
    return imm(tMONTHA, (U)(v == NJ ? NI : dmo1(fdiv(v, NSD))));
  }
  if (xt != tDATE && xt != tTSTAMP) return et(x);
  U n = nx(x);
  V r = an(n, tMONTH);
  I *d = PI(r);
  if (xt == tDATE)
    for (U i = 0; i < n; i++) {
      I v = PI(x)[i];
      d[i] = v == NI ? NI : dmo1(v);
    }
  else
    for (U i = 0; i < n; i++) {
      J v = PL(x)[i];
      d[i] = v == NJ ? NI : dmo1(fdiv(v, NSD));
    }
  mr(x);
  return r;
}

// ---- fields of a millisecond count ----
namespace {
constexpr J FD[3] = {3600000, 60000, 1000}, FM[3] = {24, 60, 60};

// One count: in 32-bit arithmetic inside that range, else in doubles.
template <int K> ZK_INLINE J fld(J v) {
  if (v == (I)v) return (J)(((I)v / (I)FD[K]) % (I)FM[K]);
  return (J)std::trunc((F)v / (F)FD[K]) % FM[K];
}

// Int items: (v div D) rem M in 32 bits.  A quotient of two doubles is
// exact enough here: for |v| < 2^31 the true quotient is never within
// 2^-22 of the next integer above it, far beyond double rounding.
template <int K> void fldI(const I *s, J *d, U n) {
  U i = 0;
  const f64x2 dd = vdup<f64x2>((F)FD[K]);
  for (; i + 4 <= n; i += 4) {
    i32x4 a = vld<i32x4>(s + i);
    f64x2 q0 = vf64(a) / dd, q1 = vf64((i32x4)_mm_unpackhi_epi64((__m128i)a, (__m128i)a)) / dd;
    i64x2 k0 = __builtin_convertvector(q0, i64x2), k1 = __builtin_convertvector(q1, i64x2);
    // rem M by multiply: k - M * trunc(k / M), again in doubles
    f64x2 m = vdup<f64x2>((F)FM[K]);
    i64x2 t0 = __builtin_convertvector(__builtin_convertvector(k0, f64x2) / m, i64x2);
    i64x2 t1 = __builtin_convertvector(__builtin_convertvector(k1, f64x2) / m, i64x2);
    vst(d + i, k0 - t0 * (J)FM[K]);
    vst(d + i + 2, k1 - t1 * (J)FM[K]);
  }
  for (; i < n; i++) d[i] = (s[i] / (I)FD[K]) % (I)FM[K];
}

// Long items; answers whether any lay outside the 32-bit range (those are
// done again in doubles).
template <int K> bool fldL(const J *s, J *d, U n) {
  bool far = false;
  for (U i = 0; i < n; i++) {
    J v = s[i];
    bool in = v == (I)v;
    far |= !in;
    d[i] = in ? (J)(((I)v / (I)FD[K]) % (I)FM[K]) : 0;
  }
  if (far)
    for (U i = 0; i < n; i++)
      if (s[i] != (I)s[i]) d[i] = s[i] == NJ ? NJ : fld<K>(s[i]);
  return far;
}

template <int K> V fldC(V x) {
  int xt = tp(x);
  if (xt == tTIMEA) {
    I v = ip(x);
    return v == NI ? al(NJ) : ai((v / (I)FD[K]) % (I)FM[K]);
  }
  if (xt == tINTA) return ai((I)fld<K>(ip(x)));
  if (xt == tLONGA) {
    J v = PL(x)[0];
    mr(x);
    return v == NJ ? al(NJ) : ai((I)fld<K>(v));
  }
  if (!intv(xt)) return et(x);
  if (xt == tRANGE && !(x = gZ(x))) return 0;
  xt = tp(x);
  if (xt == tBOOL || xt == tBYTE || xt == tSHORT) {
    if (!(x = ct(tLONG, x))) return 0;
    xt = tLONG;
  }
  U n = nx(x);
  V r = an(n, tLONG);
  if (xt == tINT) fldI<K>(PI(x), PL(r), n);
  else fldL<K>(PL(x), PL(r), n);
  mr(x);
  return r;
}

}  // namespace

J hhd(J v) { return fld<0>(v); }
J mmd(J v) { return fld<1>(v); }
J secd(J v) { return fld<2>(v); }
bool hhL(const J *s, J *d, U n) { return fldL<0>(s, d, n); }
bool mmL(const J *s, J *d, U n) { return fldL<1>(s, d, n); }
bool secL(const J *s, J *d, U n) { return fldL<2>(s, d, n); }
void hhI(const I *s, J *d, U n) { fldI<0>(s, d, n); }
void mmI(const I *s, J *d, U n) { fldI<1>(s, d, n); }
void secI(const I *s, J *d, U n) { fldI<2>(s, d, n); }
V hhC(V x) { return fldC<0>(x); }
V mmC(V x) { return fldC<1>(x); }
V secC(V x) { return fldC<2>(x); }

// ---- time columns ----
I tjk(V x) {
  int t = tp(x);
  if (t >= tDATE && t <= tTSPAN) return t + 22;
  if (t != tLIST) return 0;
  U n = nx(x);
  if (!n) return 1;
  const V *a = PA(x);
  int t0 = tp(a[0]);
  bool same = true, any = false;
  for (U i = 0; i < n; i++) {
    int u = tp(a[i]);
    same &= u == t0;
    any |= u >= tDATEA;
  }
  if (same && t0 >= tDATEA) return t0;
  return any ? -1 : 0;
}

// 32-bit counts to longs, the null to INT64_MIN.
void tjw(const I *s, J *d, U n) {
  U i = 0;
  const i32x4 ni = vdup<i32x4>(NI);
  for (; i + 4 <= n; i += 4) {
    i32x4 a = vld<i32x4>(s + i);
    i32x4 m = a == ni;
    i64x2 lo = vwlo(a), hi = vwhi(a);
    i64x2 ml = vwlo(m), mh = vwhi(m);
    vst(d + i, vsel<i64x2>(ml, vdup<i64x2>(NJ), lo));
    vst(d + i + 2, vsel<i64x2>(mh, vdup<i64x2>(NJ), hi));
  }
  for (; i < n; i++) d[i] = s[i] == NI ? NJ : s[i];
}

V tjn(V x) {
  int t = tp(x);
  if (t == tTSTAMP || t == tTSPAN) {
    U n = nx(x);
    V r = an(n, tLONG);
    memcpy(PL(r), PL(x), (size_t)n * 8);
    hd(r)->attr = hd(x)->attr;
    return r;
  }
  if (t >= tDATE && t <= tMONTH) {
    U n = nx(x);
    V r = an(n, tLONG);
    tjw(PI(x), PL(r), n);
    return r;
  }
  I k = tjk(x);
  if (k == 1) return _r(ce[tLONG]);
  if (k < tDATEA) return _r(x);
  U n = nx(x);
  V r = an(n, tLONG);
  for (U i = 0; i < n; i++) {
    V a = PA(x)[i];
    J v = heap(a) ? PL(a)[0] : ip(a);
    PL(r)[i] = !heap(a) && v == NI ? NJ : v;
  }
  return r;
}

V tjnC(V x) {
  V r = tjn(x);
  mr(x);
  return r;
}

V qtzo(V x) {
  mr(x);
  time_t now = time(0);
  struct tm b;
  if (!localtime_r(&now, &b)) return ai(0);
  return az(b.tm_gmtoff);
}

}  // namespace zk
