// cmpcnt.cpp: counting compares and mask kernels, and the fast paths of
// fredC and fmsC that use them (see cmpcnt.h for names and contracts).
//
// A fast path here must give its mode's general route exactly: where its
// own arithmetic could differ (NaN or -0.0 among floats, where the verbs
// order through keys; mask bytes other than 0 and 1; integers a width or
// a double cannot hold) it returns 0 and fidiom.cpp runs the verbs.
//
// The counting compares are one kernel (cntk) over the operator, the
// register type and the operand shape (item by item, or against an atom),
// run on 32-byte registers where the processor has them (simd_avx2) and
// on the baseline's 16 otherwise; a count is the same either way.
#include "num/cmpcnt.h"

#include <limits>
#include <type_traits>

#include "core/simd.h"
#include "num/simdf.h"

namespace zk {

namespace {

// ---- counting compares on integers ----
template <int OP, class Vt> ZK_INLINE Mask<Vt> cmpv(Vt a, Vt b) {
  if constexpr (OP == 0) return a < b;
  else if constexpr (OP == 1) return a > b;
  else return a == b;
}
template <int OP, class T> ZK_INLINE bool cmp1(T a, T b) {
  return OP == 0 ? a < b : OP == 1 ? a > b : a == b;
}
ZK_INLINE bool sus1(F a) {
  UJ b;
  memcpy(&b, &a, 8);
  return a != a || b == 0x8000000000000000ull;
}

// Unsigned lanes of a mask's width count the hits (a hit's mask is all
// ones, so subtracting it adds one, wrapping as unsigned lanes may); the
// lanes summed.
template <class Mt> using Cnt = Vof<std::make_unsigned_t<Lane<Mt>>, sizeof(Mt)>;
template <class Ct> ZK_INLINE UJ hcnt(Ct a) {
  UJ c = 0;
  for (int k = 0; k < NL<Ct>; k++) c += a[k];
  return c;
}

// Steps of four vectors between flushes: no lane may count past its
// width's unsigned maximum.
template <class T> constexpr UJ FLUSH = sizeof(T) == 1 ? 255 : sizeof(T) == 2 ? 65535 : 1u << 30;

// Count of x[i] OP y[i] (VEC) or x[i] OP v over n items with registers
// Vt, in four independent accumulators of the compared width.  Floats
// also report suspect data: a NaN on either side, and with NZ -0.0 on
// either side.  Against a v other than 0.0 an item -0.0 counts as 0.0
// does in every order, so the caller leaves NZ off there.
// Against a v (no -0.0 screen) the NaN screen of the register steps is
// one compare on the sum of four registers: a NaN item makes it NaN, but so
// can infinities of both signs, so a hit there has the caller (cntg) count
// again with the exact screen.
template <int OP, class Vt, bool VEC, bool NZ, bool FAST = !VEC && !NZ>
ZK_INLINE UJ cntk(const Lane<Vt> *x, const Lane<Vt> *y, Lane<Vt> v, UJ n, int32_t *flag) {
  typedef Lane<Vt> T;
  typedef Mask<Vt> Mt;
  typedef Cnt<Mt> Ct;
  constexpr bool FL = std::is_floating_point_v<T>;
  constexpr UJ L = NL<Vt>;
  const Vt b = vdup<Vt>(v);
  Mt bad = {};
  auto one = [&](Ct &acc, UJ i, bool sc) __attribute__((always_inline)) {
    Vt p = vld<Vt>(x + i), q = VEC ? vld<Vt>(y + i) : b;
    acc -= (Ct)cmpv<OP>(p, q);
    if constexpr (FL) {
      if (sc) bad |= visnan(p);
      if (VEC) bad |= visnan(q);
      if (NZ) bad |= vnegz(p);
      if (VEC && NZ) bad |= vnegz(q);
    }
    return p;
  };
  UJ c = 0, i = 0;
  while (i + 4 * L <= n) {
    Ct a0 = {}, a1 = {}, a2 = {}, a3 = {};
    UJ e = (n - i) / (4 * L);
    if (e > FLUSH<T>) e = FLUSH<T>;
    for (UJ s = 0; s < e; s++, i += 4 * L) {
      Vt p0 = one(a0, i, !FAST), p1 = one(a1, i + L, !FAST);
      Vt p2 = one(a2, i + 2 * L, !FAST), p3 = one(a3, i + 3 * L, !FAST);
      if constexpr (FL && FAST) bad |= visnan((p0 + p1) + (p2 + p3));
    }
    c += hcnt(a0) + hcnt(a1) + hcnt(a2) + hcnt(a3);
  }
  Ct a0 = {};
  for (; i + L <= n; i += L) one(a0, i, true);
  c += hcnt(a0);
  int32_t f = 0;
  if constexpr (FL) f = vany(bad) | (!VEC && sus1(v));
  for (; i < n; i++) {
    T r = VEC ? y[i] : v;
    c += cmp1<OP>(x[i], r);
    if constexpr (FL) f |= NZ ? sus1(x[i]) | sus1(r) : (x[i] != x[i]) | (r != r);
  }
  if constexpr (FL) *flag = f;
  return c;
}

// The kernel on 32-byte registers, and on the baseline's 16.
template <int OP, class T, bool VEC, bool NZ, bool FAST>
ZK_AVX2 UJ cntw(const T *x, const T *y, T v, UJ n, int32_t *flag) {
  return cntk<OP, Vof<T, 32>, VEC, NZ, FAST>(x, y, v, n, flag);
}
template <int OP, class T, bool VEC, bool NZ, bool FAST>
UJ cntb(const T *x, const T *y, T v, UJ n, int32_t *flag) {
  return cntk<OP, Vof<T, 16>, VEC, NZ, FAST>(x, y, v, n, flag);
}

template <int OP, class T, bool VEC, bool NZ = VEC || !std::is_floating_point_v<T>>
ZK_INLINE UJ cnto(const T *x, const T *y, T v, UJ n, int32_t *flag) {
  constexpr bool F = std::is_floating_point_v<T> && !VEC && !NZ;
  bool w = simd_avx2();
  UJ c = w ? cntw<OP, T, VEC, NZ, F>(x, y, v, n, flag) : cntb<OP, T, VEC, NZ, F>(x, y, v, n, flag);
  if (F && *flag)  // maybe only infinities of both signs: screen exactly
    c = w ? cntw<OP, T, VEC, NZ, false>(x, y, v, n, flag) : cntb<OP, T, VEC, NZ, false>(x, y, v, n, flag);
  return c;
}

// y null: every item against v; else item by item against y.
template <class T>
UJ cntg(const T *x, const T *y, T v, UJ n, int32_t op, int32_t *flag) {
  if (y)
    return op == 0   ? cnto<0, T, true>(x, y, v, n, flag)
           : op == 1 ? cnto<1, T, true>(x, y, v, n, flag)
                     : cnto<2, T, true>(x, y, v, n, flag);
  if (std::is_floating_point_v<T> && v == 0)  // v is 0.0 or -0.0: items -0.0 are suspect
    return op == 0   ? cnto<0, T, false, true>(x, y, v, n, flag)
           : op == 1 ? cnto<1, T, false, true>(x, y, v, n, flag)
                     : cnto<2, T, false, true>(x, y, v, n, flag);
  return op == 0   ? cnto<0, T, false>(x, y, v, n, flag)
         : op == 1 ? cnto<1, T, false>(x, y, v, n, flag)
                   : cnto<2, T, false>(x, y, v, n, flag);
}

template <class T> UJ cnti(const T *x, const T *y, J v, UJ n, int32_t op) {
  int32_t f;
  return cntg<T>(x, y, (T)v, n, op, &f);
}

UJ cntfv(const F *x, const F *y, F v, UJ n, int32_t op, int32_t *flag) {
  return cntg<F>(x, y, v, n, op, flag);
}

// ---- the fixed float sum order, fed with whole groups of 8 ----
struct Acc {
  f64x2 a0 = {}, a1 = {}, a2 = {}, a3 = {};
};
ZK_INLINE void add8(Acc &A, const F *v, UJ g) {
  for (UJ k = 0; k < g; k++, v += 8) {
    A.a0 += vld<f64x2>(v);
    A.a1 += vld<f64x2>(v + 2);
    A.a2 += vld<f64x2>(v + 4);
    A.a3 += vld<f64x2>(v + 6);
  }
}
ZK_INLINE F fin(Acc A, const F *v, UJ r) {
  f64x2 S = A.a2 + A.a3;
  UJ i = 0;
  for (; i + 2 <= r; i += 2) A.a0 += vld<f64x2>(v + i);
  f64x2 W = (A.a1 + A.a0) + S;
  F s = W[1] + W[0];
  if (r & 1) s += v[i];
  return s;
}

constexpr UJ CH = 2048;

}  // namespace

uint64_t simd_cntcmps_i8(const int8_t *x, int64_t v, uint64_t n, int32_t op) {
  return cnti<int8_t>(x, nullptr, v, n, op);
}
uint64_t simd_cntcmps_i16(const int16_t *x, int64_t v, uint64_t n, int32_t op) {
  return cnti<int16_t>(x, nullptr, v, n, op);
}
uint64_t simd_cntcmps_i32(const int32_t *x, int64_t v, uint64_t n, int32_t op) {
  return cnti<int32_t>(x, nullptr, v, n, op);
}
uint64_t simd_cntcmps_i64(const int64_t *x, int64_t v, uint64_t n, int32_t op) {
  return cnti<int64_t>(x, nullptr, v, n, op);
}
uint64_t simd_cntcmpv(int t, const void *x, const void *y, uint64_t n, int32_t op) {
  switch (t) {
    case tBYTE: return cnti((const int8_t *)x, (const int8_t *)y, 0, n, op);
    case tCHR: return cnti((const uint8_t *)x, (const uint8_t *)y, 0, n, op);
    case tSHORT: return cnti((const int16_t *)x, (const int16_t *)y, 0, n, op);
    case tINT: return cnti((const int32_t *)x, (const int32_t *)y, 0, n, op);
    default: return cnti((const int64_t *)x, (const int64_t *)y, 0, n, op);
  }
}
uint64_t simd_cntcmpv_f64(const double *x, const double *y, uint64_t n, int32_t op, int32_t *flag) {
  return cntg<F>(x, y, 0, n, op, flag);
}
uint64_t simd_cntcmps_f64(const double *x, uint64_t n, int32_t op, int32_t *flag, double v) {
  return cntfv(x, nullptr, v, n, op, flag);
}

uint64_t zkb_compress_64_gen(const uint64_t *src, const uint8_t *mask, uint64_t *dst, uint64_t n,
                             int32_t *flag) {
  return cmpk(src, mask, dst, n, flag);
}

double masktree(const double *x, const double *y, const uint8_t *mask, uint64_t n, int32_t *flag,
                double s) {
  *flag = 0;
  if (!n) return 0.0;
  alignas(64) F buf[CH];
  alignas(64) F st[CH + 8];
  Acc A;
  UJ c = 0;  // values carried at the front of st
  for (UJ o = 0; o < n; o += CH) {
    UJ m = n - o < CH ? n - o : CH;
    const F *v = x + o;
    if (y) {
      f64x2 b = vdup<f64x2>(s);
      UJ i = 0;
      for (; i + 2 <= m; i += 2) vst(buf + i, b * vld<f64x2>(y + o + i) + vld<f64x2>(x + o + i));
      if (i < m) buf[i] = s * y[o + i] + x[o + i];
      v = buf;
    }
    int32_t f;
    c += zkb_compress_64_gen((const UJ *)v, mask + o, (UJ *)(st + c), m, &f);
    if (f) {
      *flag = 1;
      return 0.0;
    }
    add8(A, st, c >> 3);
    UJ r = c & 7;
    memmove(st, st + (c - r), r * 8);
    c = r;
  }
  return fin(A, st, c);
}

int32_t simd_fintegral_f64(const double *x, uint64_t n) {
  const F P52 = 4503599627370496.0, P53 = 9007199254740992.0;
  f64x2 p52 = vdup<f64x2>(P52), p53 = vdup<f64x2>(P53);
  i64x2 am = vdup<i64x2>(INT64_MAX), bad = {};
  auto chk = [&](f64x2 v) {
    f64x2 c = vand(v, (f64x2)am);
    i64x2 ok = (c <= p53) & ((c >= p52) | (((c + p52) - p52) == c));
    return ~ok;
  };
  UJ i = 0;
  for (; i + 4 <= n; i += 4) bad |= chk(vld<f64x2>(x + i)) | chk(vld<f64x2>(x + i + 2));
  for (; i + 2 <= n; i += 2) bad |= chk(vld<f64x2>(x + i));
  if (i < n) bad |= chk(f64x2{x[i], 0.0});
  return !vany(bad);
}

// ---------------------------------------------------------------------
// Fast paths of the idiom modes.
namespace {

ZK_INLINE bool ilat(int t) { return t == tINTA || t == tLONGA; }
ZK_INLINE bool narrow(int t) { return (t >= tBYTE && t <= tINT) || t == tCHR; }
// Item type of a narrow vector as an integer vector type (chars as bytes).
ZK_INLINE int nw(int t) { return t == tCHR ? tBYTE : t; }
ZK_INLINE int rev(int op) { return op == 0 ? 1 : op == 1 ? 0 : op; }

// Count of x (narrow, width type w) against v, which fits the width.
UJ cntn(int w, const void *x, J v, UJ n, int32_t op) {
  switch (w) {
    case tBYTE: return simd_cntcmps_i8((const int8_t *)x, v, n, op);
    case tSHORT: return simd_cntcmps_i16((const int16_t *)x, v, n, op);
    default: return simd_cntcmps_i32((const int32_t *)x, v, n, op);
  }
}

// Modes 8..10, the forms in the order tried; 0 means the general route.
V cnt(int32_t op, V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tFLT || ty == tFLT) {
    int32_t f = 1;
    UJ c = 0;
    if (tx == tFLT && ty == tFLT) {
      if (nx(x) == nx(y)) c = cntfv(PF(x), PF(y), 0, nx(x), op, &f);
    } else if (tx == tFLT && ty == tFLTA) {
      c = cntfv(PF(x), nullptr, PF(y)[0], nx(x), op, &f);
    } else if (tx == tFLTA && ty == tFLT) {
      c = cntfv(PF(y), nullptr, PF(x)[0], nx(y), rev(op), &f);
    }
    return f ? 0 : az((J)c);
  }
  if (tx == tLONG || ty == tLONG) {
    const J *p;
    J v = 0;
    UJ n;
    if (tx == tLONG && ty == tLONG) {
      if (nx(x) != nx(y)) return 0;
      return az((J)simd_cntcmpv(tLONG, PL(x), PL(y), nx(x), op));
    }
    if (tx == tLONG && ilat(ty)) p = PL(x), n = nx(x), v = gl_(y);
    else if (ilat(tx) && ty == tLONG) p = PL(y), n = nx(y), v = gl_(x), op = rev(op);
    else return 0;
    return az((J)simd_cntcmps_i64(p, v, n, op));
  }
  if (narrow(tx) && ilat(ty)) {
    J v = gl_(y);
    if (tZ(v) > nw(tx)) return 0;
    return az((J)cntn(nw(tx), P(x), v, nx(x), op));
  }
  if (tx >= tBYTE && tx <= tINT && ty == tCHRA)
    return az((J)cntn(tx, P(x), (int8_t)ip(y), nx(x), op));
  if (ilat(tx) && narrow(ty)) {
    J v = gl_(x);
    if (tZ(v) > nw(ty)) return 0;
    return az((J)cntn(nw(ty), P(y), v, nx(y), rev(op)));
  }
  if (tx == tCHRA && ty >= tBYTE && ty <= tINT)
    return az((J)cntn(ty, P(y), (int8_t)ip(x), nx(y), rev(op)));
  if (narrow(tx) && narrow(ty) && nw(tx) == nw(ty) && !(tx == tCHR && ty == tCHR)) {
    if (nx(x) != nx(y)) return 0;
    UJ n = nx(x);
    return az((J)simd_cntcmpv(nw(tx), P(x), P(y), n, op));
  }
  return 0;
}

// Mode 3.
V dot(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx != ty || (tx != tFLT && tx != tLONG) || nx(x) != nx(y)) return 0;
  UJ n = nx(x);
  if (tx == tFLT) return af(n <= 0xFFFFF ? simd_dot_f64(PF(x), PF(y), n) : pbs(PF(x), PF(y), n));
  int32_t nul;
  return az(simd_dot_i64(PL(x), PL(y), n, 1, &nul));
}

// Mode 18.
V msum(V x, V y) {
  if (!heap(x) || tp(y) != tBYTE) return 0;
  int tx = tp(x);
  if (tx != tFLT && tx != tLONG) return 0;
  UJ m = nx(y);
  if (!m || m > nx(x)) return 0;
  const G *k = (const G *)P(y);
  if (tx == tFLT) {
    int32_t f;
    F s = masktree(PF(x), nullptr, k, m, &f, 0.0);
    return f ? 0 : af(s);
  }
  const J *a = PL(x);
  UJ s = 0;
  G chk = 0;
  for (UJ i = 0; i < m; i++) {
    s += k[i] && a[i] != NJ ? (UJ)a[i] : 0;
    chk |= k[i];
  }
  return chk > 1 ? 0 : az((J)s);
}

// Mode 40: floor of x % d over an integer vector; 0 on an item the
// float route might not give exactly (the width's minimum, or a long of
// magnitude 2^53 or more).
template <class T> bool flrk(const T *x, J *r, UJ n, J d) {
  constexpr J lo = sizeof(T) == 8 ? -((J)1 << 53) : (J)std::numeric_limits<T>::min();
  bool bad = false;
  if (d > 0 && !(d & (d - 1))) {
    int sh = __builtin_ctzll((UJ)d);
    for (UJ i = 0; i < n; i++) {
      J a = x[i];
      bad |= sizeof(T) == 8 ? (a <= lo || a >= -lo) : a == lo;
      r[i] = a >> sh;
    }
    return !bad;
  }
  for (UJ i = 0; i < n; i++) {
    J a = x[i];
    bool b = sizeof(T) == 8 ? (a <= lo || a >= -lo) : a == lo;
    bad |= b;
    a = b ? 0 : a;  // 0N / -1 would trap; the result is dropped anyway
    J q = a / d;
    r[i] = q - ((a % d != 0) & ((a < 0) != (d < 0)));
  }
  return !bad;
}

V fdiv(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (!heap(x) || tx < tBYTE || tx > tLONG) return 0;
  J d;
  if (ty == tINTA) d = ip(y);
  else if (ty == tLONGA) d = PL(y)[0];
  else return 0;
  const J M = ((J)1 << 53) - 1;
  if (!d || d == NJ || d < -M || d > M) return 0;
  UJ n = nx(x);
  V r = an((U)n, tLONG);
  bool ok;
  switch (tx) {
    case tBYTE: ok = flrk((const int8_t *)P(x), PL(r), n, d); break;
    case tSHORT: ok = flrk((const int16_t *)P(x), PL(r), n, d); break;
    case tINT: ok = flrk(PI(x), PL(r), n, d); break;
    default: ok = flrk(PL(x), PL(r), n, d);
  }
  if (ok) return r;
  mr(r);
  return 0;
}

// Modes 108..110: the indices of the bytes that compare with v, each index
// written before its test so that the loop does not branch on the data.
template <int OP, class T> U whk(const int8_t *x, T *r, U n, int8_t v) {
  U w = 0;
  for (U i = 0; i < n; i++) {
    r[w] = (T)i;
    w += cmp1<OP>(x[i], v);
  }
  return w;
}
template <class T> U wht(const int8_t *x, T *r, U n, int8_t v, int32_t op) {
  return op == 0 ? whk<0>(x, r, n, v) : op == 1 ? whk<1>(x, r, n, v) : whk<2>(x, r, n, v);
}

V cwhr(int32_t op, V x, V y) {
  int tx = tp(x), ty = tp(y);
  if ((ilat(tx) || tx == tCHRA) && heap(y) && (ty == tBYTE || ty == tCHR)) {
    V t = x;
    x = y, y = t;
    tx = tp(x), ty = tp(y), op = rev(op);
  }
  if (!heap(x) || (tx != tBYTE && tx != tCHR)) return 0;
  J v;
  if (ilat(ty)) v = gl_(y);
  else if (ty == tCHRA && tx == tBYTE) v = (int8_t)ip(y);
  else return 0;
  if (v < -128 || v > 127) return 0;
  UJ n = nx(x);
  if (n > 0x80000000ull) return 0;
  int t = tZ((J)n - 1);
  V r = an((U)n, t);
  const int8_t *p = (const int8_t *)P(x);
  U w;
  switch (t) {
    case tBYTE: w = wht(p, (int8_t *)P(r), (U)n, (int8_t)v, op); break;
    case tSHORT: w = wht(p, (int16_t *)P(r), (U)n, (int8_t)v, op); break;
    case tINT: w = wht(p, PI(r), (U)n, (int8_t)v, op); break;
    default: w = wht(p, PL(r), (U)n, (int8_t)v, op);
  }
  hd(r)->count = w;
  return r;
}

}  // namespace

V fredF(J m, V x, V y) {
  switch (m) {
    case 3: return dot(x, y);
    case 8: case 9: case 10: return cnt((int32_t)(m - 8), x, y);
    case 18: return msum(x, y);
    case 40: return fdiv(x, y);
    case 108: case 109: case 110: return cwhr((int32_t)(m - 108), x, y);
    default: return 0;
  }
}

V fmsF(J b, V x, V s, V y, V k) {
  if (tp(x) != tFLT || tp(y) != tFLT || nx(x) != nx(y)) return 0;
  if (!heap(k) || tp(k) != tBYTE) return 0;
  F f;
  int ts = tp(s);
  if (ts == tFLTA) f = PF(s)[0];
  else if (ilat(ts)) f = (F)gl_(s);
  else return 0;
  UJ m = nx(k);
  if (!m || m > nx(x)) return 0;
  int32_t fl;
  F r = masktree(PF(x), PF(y), (const G *)P(k), m, &fl, b ? -f : f);
  return fl ? 0 : af(r);
}

}  // namespace zk
