// numb.cpp: numeric builtins.  Names: fdvC = fdv, floor division of x by
// a positive integer n, from the pair (x; n); qpri = pri, the primes below
// n, with sieve its segmented sieve; sumnT / prnT = sum / product of a long
// vector without its nulls; hnlT = has a null; wtnT = within bounds as
// bytes (wtk / wtf its integer / float kernels); wmulT = products and a NaN
// report, with wm1 its pool task.
//
// The sieve works on odd numbers only, in segments of 131,072 numbers
// whose 8 KB bit array stays in the first-level cache; multiples of 3, 5,
// 7 and 11 come marked by copying a pre-sieved pattern, and the result is
// sized up front from a table of bounds so it is never grown.
//
// fdv leans on the modulus operator of the arithmetic dispatcher: with a
// negative integer -n on the left, x ! y divides y by n rounding toward
// minus infinity, for every integer width and for lists item by item.
#include "core/err.h"
#include "list/list.h"
#include "num/num.h"
#include "core/pool.h"
#include "core/simd.h"
#include "eval/eval.h"
#include "num/simdf.h"
#include <cmath>
#include <limits>

namespace zk {

V fdvC(V a) {
  int t = tp(a);
  if (t > tTSPAN || t == tRANGE || nx(a) != 2) return et(a);
  V x = ii(a, 0), n = ii(a, 1);
  mr(a);
  int tn = tp(n);
  if ((tn != tINTA && tn != tLONGA) || gl_(n) <= 0) return mr(n), et(x);
  J v = -gl(n);
  V d = v == (I)v ? ai((I)v) : al(v);
  I f = tl.f;
  tl.f = 5;
  V r = ari(d, x);
  tl.f = f;
  mr(d);
  return r;
}

// ---- primes ----

// The first 78 primes, 2 through 397.
static const I s0[78] = {
    2,   3,   5,   7,   11,  13,  17,  19,  23,  29,  31,  37,  41,  43,  47,  53,  59,  61,  67,  71,
    73,  79,  83,  89,  97,  101, 103, 107, 109, 113, 127, 131, 137, 139, 149, 151, 157, 163, 167, 173,
    179, 181, 191, 193, 197, 199, 211, 223, 227, 229, 233, 239, 241, 251, 257, 263, 269, 271, 277, 281,
    283, 293, 307, 311, 313, 317, 331, 337, 347, 349, 353, 359, 367, 373, 379, 383, 389, 397};

// Bound i holds the primes below it in (16 << i) - 8 ints: the room that
// pri sizes its result by, so the sieve never has to grow it.
static const J h1[24] = {19,       89,       263,       659,       1571,      3607,
                         8087,     17783,    38791,     83911,     180391,    385991,
                         821479,   1742443,  3681017,   7753909,   16289947,  34135883,
                         71378467, 148948021, 310248149, 645155087, 1339483993, 2147483647};

// Odd numbers 2e + 1 that 3, 5, 7 or 11 divide, bit e.  The period is
// 1,155 bits, so 1,155 bytes (eight periods) repeat bytewise; stored twice,
// any 1,155-byte window starting in the first copy can be copied.
struct Pre {
  G b[2310];
  constexpr Pre() : b() {
    for (U e = 0; e < 2310 * 8; e++) {
      U v = 2 * e + 1;
      if (!(v % 3) || !(v % 5) || !(v % 7) || !(v % 11)) b[e >> 3] |= (G)(1u << (e & 7));
    }
  }
};
static constexpr Pre pre;

// Segments of 131,072 numbers: 65,536 odd numbers, one bit each.
enum : U { SGB = 65536, SGW = SGB / 32 };

U sieve(I *dst, J n) {
  if (n <= 397) {
    I c = 78;
    while (c >= 4 && s0[c - 4] >= n) c -= 4;
    while (c && s0[c - 1] >= n) c--;
    memcpy(dst, s0, (UJ)c * 4);
    return (U)c;
  }
  memcpy(dst, s0, sizeof s0);
  U c = 78;
  alignas(16) U sg[SGW];
  G *sb = (G *)sg;
  for (J h = 399; h < n; h += 2 * SGB) {
    J e = h + 2 * SGB < n ? h + 2 * SGB : n;
    // 722 is 8's inverse mod 1,155: byte o of the pattern starts at bit h div 2.
    U o = (U)(((UJ)(h / 2) * 722) % 1155);
    for (U b = 0; b < SGB / 8; b += 1155) memcpy(sb + b, pre.b + o, b + 1155 <= SGB / 8 ? 1155 : SGB / 8 - b);
    for (U i = 5; i < c; i++) {
      J p = dst[i];
      if (p * p >= e) break;
      J m = (h + p - 1) / p * p;
      if (m < p * p) m = p * p;
      if (!(m & 1)) m += p;
      for (UJ q = (UJ)(m - h) >> 1; q < SGB; q += (UJ)p) sg[q >> 5] |= 1u << (q & 31);
    }
    // Odd numbers from e on are not ours.
    U l = (U)((e - h + 1) >> 1);
    if (l < SGB) {
      if (l & 31) sg[l >> 5] |= ~0u << (l & 31);
      for (U w = (l + 31) >> 5; w < SGW; w++) sg[w] = ~0u;
    }
    I *d = dst + c;
    for (U w = 0, we = (l + 31) >> 5; w < we; w++)
      for (U m = ~sg[w]; m; m &= m - 1) *d++ = (I)(h + 2 * (J)(32 * w + __builtin_ctz(m)));
    c = (U)(d - dst);
  }
  return c;
}

V qpri(V x) {
  int t = tp(x);
  if (t != tINTA && t != tLONGA) return et(x);
  J n = gl(x);
  if (n != (I)n) return ez0();
  if (n < 0) return ed0();
  U room = 8;
  if (n >= 20) {
    int i = 1;
    while (n > h1[i]) i++;
    room = (16u << i) - 8;
  }
  V r = an(room, tINT);
  hd(r)->count = sieve(PI(r), n);
  return r;
}

// ---- sums, products and null tests of long vectors ----

V sumnT(V x) {
  static V k;
  if (tp(x) != tLONG) return k1(&k, "{+/x}", x);
  const J *a = PL(x);
  U n = nx(x), i = 0;
  const i64x2 nn = vdup<i64x2>(NJ);
  u64x2 s = {};
  for (; i + 2 <= n; i += 2) {
    i64x2 v = vld<i64x2>(a + i);
    s += (u64x2)vandn(v, v == nn);
  }
  UJ r = s[0] + s[1];
  if (i < n && a[i] != NJ) r += (UJ)a[i];
  mr(x);
  return az((J)r);
}

V prnT(V x) {
  static V k;
  if (tp(x) != tLONG) return k1(&k, "{*/x}", x);
  const J *a = PL(x);
  U n = nx(x), i = 0;
  UJ p[4] = {1, 1, 1, 1};
  for (; i + 4 <= n; i += 4)
    for (int j = 0; j < 4; j++) p[j] *= a[i + j] == NJ ? 1 : (UJ)a[i + j];
  for (; i < n; i++) p[0] *= a[i] == NJ ? 1 : (UJ)a[i];
  mr(x);
  return az((J)(p[0] * p[1] * p[2] * p[3]));
}

// Any 0N (NaN), four items a step; the block check lets a null near the
// front end the scan early.
template <class T> static bool hnk(const T *a, U n) {
  U i = 0;
  while (i + 4 <= n) {
    i64x2 m = {};
    for (U e = i + 256 < n ? i + 256 : n & ~3u; i < e; i += 4) {
      if constexpr (sizeof(T) == 8 && T(0.5) != 0) {
        f64x2 u = vld<f64x2>(a + i), v = vld<f64x2>(a + i + 2);
        m |= visnan(u) | visnan(v);
      } else {
        i64x2 u = vld<i64x2>(a + i), v = vld<i64x2>(a + i + 2), nn = vdup<i64x2>(NJ);
        m |= (u == nn) | (v == nn);
      }
    }
    if (vany(m)) return true;
  }
  for (; i < n; i++)
    if constexpr (T(0.5) != 0) {
      if (a[i] != a[i]) return true;
    } else if (a[i] == NJ)
      return true;
  return false;
}

V hnlT(V x) {
  int t = tp(x);
  bool r = t == tLONG ? hnk(PL(x), nx(x)) : t == tFLT ? hnk(PF(x), nx(x)) : false;
  mr(x);
  return ai(r);
}

// ---- wtn: lo <= x <= hi as bytes ----

// Sixteen items of x compared with [lo, hi] in their own width: 0 or 1 each.
template <class T> ZK_INLINE u8x16 wtv(const T *x, T lo, T hi) {
  if constexpr (sizeof(T) == 1) {
    i8x16 v = vld<i8x16>(x);
    return (u8x16)((v >= vdup<i8x16>(lo)) & (v <= vdup<i8x16>(hi))) & vdup<u8x16>(1);
  } else if constexpr (sizeof(T) == 2) {
    i16x8 l = vdup<i16x8>(lo), h = vdup<i16x8>(hi), a = vld<i16x8>(x), b = vld<i16x8>(x + 8);
    return (u8x16)vnarrow((a >= l) & (a <= h), (b >= l) & (b <= h)) & vdup<u8x16>(1);
  } else if constexpr (sizeof(T) == 4) {
    i32x4 l = vdup<i32x4>(lo), h = vdup<i32x4>(hi), m[4];
    for (int j = 0; j < 4; j++) {
      i32x4 v = vld<i32x4>(x + 4 * j);
      m[j] = (v >= l) & (v <= h);
    }
    return (u8x16)vnarrow(vnarrow(m[0], m[1]), vnarrow(m[2], m[3])) & vdup<u8x16>(1);
  } else {
    i64x2 l = vdup<i64x2>(lo), h = vdup<i64x2>(hi), m[8];
    for (int j = 0; j < 8; j++) {
      i64x2 v = vld<i64x2>(x + 2 * j);
      m[j] = (v >= l) & (v <= h);
    }
    u8x16 r;
    vstb((G *)&r, m);
    return r;
  }
}

template <class T> static void wtk(const T *x, G *r, U n, J lo, J hi) {
  const J tl0 = std::numeric_limits<T>::min(), th0 = std::numeric_limits<T>::max();
  if (lo > hi || lo > th0 || hi < tl0) return (void)memset(r, 0, n);
  T l = (T)(lo < tl0 ? tl0 : lo), h = (T)(hi > th0 ? th0 : hi);
  U i = 0;
  for (; i + 16 <= n; i += 16) vst(r + i, wtv(x + i, l, h));
  for (; i < n; i++) r[i] = l <= x[i] && x[i] <= h;
}

static void wtf(const F *x, G *r, U n, F lo, F hi) {
  f64x2 l = vdup<f64x2>(lo), h = vdup<f64x2>(hi);
  U i = 0;
  for (; i + 16 <= n; i += 16) {
    i64x2 m[8];
    for (int j = 0; j < 8; j++) {
      f64x2 v = vld<f64x2>(x + i + 2 * j);
      m[j] = (v >= l) & (v <= h);
    }
    vstb(r + i, m);
  }
  for (; i < n; i++) r[i] = lo <= x[i] && x[i] <= hi;
}

// A bound as a float: a long 0N is NaN, as in the float cast.
static F wbf(V b, int t, U i) {
  if (t == tFLT) return PF(b)[i];
  J v = iti(b, t, i);
  return t == tLONG && v == NJ ? (F)NAN : (F)v;
}

static V wtn2(V x, V b) {
  int tx = tp(x), tb = tp(b);
  if (isatom(tx) || tx < tRANGE || tx > tFLT || tx == tBOOL || isatom(tb) || tb < tBYTE ||
      tb > tFLT || nx(b) != 2)
    return 0;
  if (tx == tFLT) {
    F lo = wbf(b, tb, 0), hi = wbf(b, tb, 1);
    if (lo != lo || hi != hi) return 0;
    V r = an(nx(x), tBYTE);
    wtf(PF(x), P(r), nx(x), lo, hi);
    return r;
  }
  if (tb == tFLT) return 0;
  J lo = iti(b, tb, 0), hi = iti(b, tb, 1);
  if (tx == tRANGE) {
    J s = PL(x)[0];
    U n = (U)_n(x);
    V r = an(n, tBYTE);
    // Items a .. e-1 of the range lie in [lo, hi]; unsigned offsets from
    // the start keep huge bounds from overflowing.
    UJ a = lo <= s ? 0 : (UJ)lo - (UJ)s, e = hi < s ? 0 : (UJ)hi - (UJ)s + 1;
    if (a > n) a = n;
    if (e > n || (e == 0 && hi >= s)) e = n;
    if (e < a) e = a;
    memset(P(r), 0, a), memset(P(r) + a, 1, e - a), memset(P(r) + e, 0, n - e);
    return r;
  }
  U n = nx(x);
  V r = an(n, tBYTE);
  switch (tx) {
    case tBYTE: wtk(P<int8_t>(x), P(r), n, lo, hi); break;
    case tSHORT: wtk(P<int16_t>(x), P(r), n, lo, hi); break;
    case tINT: wtk(PI(x), P(r), n, lo, hi); break;
    default: wtk(PL(x), P(r), n, lo, hi);
  }
  return r;
}

V wtnT(V a) {
  V r = tp(a) == tLIST && nx(a) == 2 ? wtn2(PA(a)[0], PA(a)[1]) : 0;
  mr(a);
  return r ? r : al(NJ);
}

// ---- wmul: products with a NaN report ----

namespace {
struct Wm {
  const void *x, *y;  // the operands; the float one is read directly
  F *d;
  UJ n;
  int tx, ty;
  I T;
  I nan[64];
};
}  // namespace

// Items a .. a+n of an integer vector of type t as doubles (a long 0N as NaN).
static void wcv(const void *s, int t, UJ a, UJ n, F *o) {
  switch (t) {
    case tBYTE: for (UJ i = 0; i < n; i++) o[i] = ((const int8_t *)s)[a + i]; break;
    case tSHORT: for (UJ i = 0; i < n; i++) o[i] = ((const int16_t *)s)[a + i]; break;
    case tINT: for (UJ i = 0; i < n; i++) o[i] = ((const I *)s)[a + i]; break;
    default:
      for (UJ i = 0; i < n; i++) {
        J v = ((const J *)s)[a + i];
        o[i] = v == NJ ? (F)NAN : (F)v;
      }
  }
}

void wm1(void *job, int k) {
  Wm &w = *(Wm *)job;
  UJ a = (UJ)k * w.n / (UJ)w.T, e = (UJ)(k + 1) * w.n / (UJ)w.T;
  I f = 0;
  if (w.tx == tFLT && w.ty == tFLT)
    f = simd_mulnan_f64((const F *)w.x + a, (const F *)w.y + a, w.d + a, e - a);
  else {
    // The integer side in 2,048-item chunks on the stack; the operand
    // order stays x times y.
    F buf[2048];
    bool xi = w.tx != tFLT;
    const F *fl = (const F *)(xi ? w.y : w.x);
    for (UJ i = a; i < e; i += 2048) {
      UJ m = e - i < 2048 ? e - i : 2048;
      wcv(xi ? w.x : w.y, xi ? w.tx : w.ty, i, m, buf);
      f |= xi ? simd_mulnan_f64(buf, fl + i, w.d + i, m) : simd_mulnan_f64(fl + i, buf, w.d + i, m);
    }
  }
  w.nan[k] = f;
}

V wmulT(V a) {
  if (tp(a) != tLIST || nx(a) != 2) return et(a);
  V x = PA(a)[0], y = PA(a)[1];
  int tx = tp(x), ty = tp(y);
  auto num = [](int t) { return t >= tBYTE && t <= tFLT; };
  if (!num(tx) || !num(ty) || (tx != tFLT && ty != tFLT) || nx(x) != nx(y)) return mr(a), emp();
  Wm w;
  w.x = P(x), w.y = P(y), w.n = nx(x), w.tx = tx, w.ty = ty;
  V r = an(nx(x), tFLT);
  w.d = PF(r);
  w.T = w.n < 32768 ? 1 : par_thread_count();
  if (w.T > 1) par_run(w.T, wm1, &w);
  else wm1(&w, 0);
  I f = 0;
  for (I k = 0; k < w.T; k++) f |= w.nan[k];
  mr(a);
  return aA2(r, ai(f));
}

}  // namespace zk
