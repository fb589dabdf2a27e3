// prior.cpp: each-prior (f':) of the eleven primitive dyadic verbs on
// whole vectors: the dispatcher arp and the kernel table prior_k.
//
// Item i of f':x is f[x[i]; x[i-1]], item 0 is f[x[0]; seed].  Names:
// dexp = prior of x (x shifted one place right behind the seed), also
// the each-prior of `:`; p___ (the engine's ___p) = + - * % as the verb
// applied to x and its prior; modp = `!`; mxmp/mnmp = `|`/`&`; cmpp =
// `<` `>` `=`; fprp = + - * % & | of a float vector in one pass.  Every
// table entry takes (verb, seed, x): x a non-empty vector, borrowed; the
// seed consumed (0 = none); a new reference or 0 with the error text set.
//
// Fused kernels: + - * on integer vectors, | & and the comparisons, and
// the float arithmetic and extremes read x and x one item back in one pass
// instead of building the prior.  Integer + - * run at x's width and give
// up when any item leaves it; the whole-vector verb then redoes the work
// and widens exactly as `+` `-` `*` do, so the fused answer is always the
// one the verb would give.  Above 1,048,575 items the pass is split over
// the pool in runs of whole 64-item granules.
#include <type_traits>

#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

ZK_INLINE I slot(V verb) { return ip(verb); }
ZK_INLINE bool intv(int t) { return t >= tBYTE && t <= tLONG; }
// An int, long or char atom as its integer value (chars as signed bytes).
ZK_INLINE bool zseed(V s) { return s && (tp(s) == tINTA || tp(s) == tLONGA || tp(s) == tCHRA); }

// The prior of no items is x itself; the seed has nothing to meet.
ZK_INLINE V pe0(V seed, V x) {
  if (seed) mr(seed);
  return _r(x);
}

constexpr J LO[4] = {INT8_MIN, INT16_MIN, INT32_MIN, INT64_MIN};
constexpr J HI[4] = {INT8_MAX, INT16_MAX, INT32_MAX, INT64_MAX};

void put(V x, UJ i, J v) {
  switch (Tw[tp(x)]) {
    case 3: P<int8_t>(x)[i] = (int8_t)v; break;
    case 4: P<int16_t>(x)[i] = (int16_t)v; break;
    case 5: PI(x)[i] = (I)v; break;
    default: PL(x)[i] = v;
  }
}

// ---- one-pass kernels over items lo..hi-1 (lo >= 1) ----
// r[i] = x[i] op x[i-1]; true when an item left T (never for long, which
// wraps and keeps 0N).
template <class T, int OP> bool ark(const void *px, void *pr, UJ lo, UJ hi) {
  typedef std::make_unsigned_t<T> TU;
  const T *x = (const T *)px;
  T *r = (T *)pr;
  UJ i = lo;
  if constexpr (sizeof(T) == 8) {
    if constexpr (OP != 3) {
      const i64x2 nn = vdup<i64x2>(NJ);
      for (; i + 2 <= hi; i += 2) {
        i64x2 p = vld<i64x2>(x + i), q = vld<i64x2>(x + i - 1);
        u64x2 s = OP == 1 ? (u64x2)p + (u64x2)q : (u64x2)p - (u64x2)q;
        vst(r + i, vsel<i64x2>((p == nn) | (q == nn), nn, (i64x2)s));
      }
    }
    for (; i < hi; i++) {
      TU p = (TU)x[i], q = (TU)x[i - 1];
      TU s = OP == 1 ? p + q : OP == 2 ? p - q : p * q;
      r[i] = ((T)p == NJ || (T)q == NJ) ? NJ : (T)s;
    }
    return false;
  } else if constexpr (OP != 3) {
    typedef typename std::conditional_t<sizeof(T) == 1, u8x16,
                                        std::conditional_t<sizeof(T) == 2, u16x8, u32x4>> VU;
    constexpr UJ L = 16 / sizeof(T);
    VU acc = {};
    for (; i + L <= hi; i += L) {
      VU p = vld<VU>(x + i), q = vld<VU>(x + i - 1);
      VU s = OP == 1 ? p + q : p - q;
      vst(r + i, s);
      acc |= OP == 1 ? (s ^ p) & (s ^ q) : (p ^ q) & (p ^ s);
    }
    TU o = 0;
    for (; i < hi; i++) {
      TU p = (TU)x[i], q = (TU)x[i - 1];
      TU s = (TU)(OP == 1 ? p + q : p - q);
      r[i] = (T)s;
      o |= (TU)(OP == 1 ? (s ^ p) & (s ^ q) : (p ^ q) & (p ^ s));
    }
    const TU sb = (TU)((TU)1 << (8 * sizeof(T) - 1));
    return (o & sb) || vany(acc & vdup<VU>(sb));
  } else {
    bool o = false;
    for (; i < hi; i++) {
      J p = (J)x[i] * (J)x[i - 1];
      r[i] = (T)p;
      o |= p != (J)(T)p;
    }
    return o;
  }
}

// r[i] = max (MX) or min of x[i] and x[i-1].
template <class T, bool MX> bool mmk(const void *px, void *pr, UJ lo, UJ hi) {
  typedef std::conditional_t<sizeof(T) == 1, i8x16,
                             std::conditional_t<sizeof(T) == 2, i16x8,
                                                std::conditional_t<sizeof(T) == 4, i32x4, i64x2>>>
      VS;
  constexpr UJ L = 16 / sizeof(T);
  const T *x = (const T *)px;
  T *r = (T *)pr;
  UJ i = lo;
  for (; i + 2 * L <= hi; i += 2 * L) {
    VS a0 = vld<VS>(x + i), b0 = vld<VS>(x + i - 1);
    VS a1 = vld<VS>(x + i + L), b1 = vld<VS>(x + i + L - 1);
    vst(r + i, MX ? vmax(a0, b0) : vmin(a0, b0));
    vst(r + i + L, MX ? vmax(a1, b1) : vmin(a1, b1));
  }
  for (; i < hi; i++) r[i] = MX ? (x[i] > x[i - 1] ? x[i] : x[i - 1]) : (x[i] < x[i - 1] ? x[i] : x[i - 1]);
  return false;
}

// r[i] = x[i] op x[i-1] as a byte 0 or 1, op 8 <, 9 >, 10 =; eight items
// gathered into one word per step.
template <class T, int OP> bool cmk(const void *px, void *pr, UJ lo, UJ hi) {
  const T *x = (const T *)px;
  G *r = (G *)pr;
  UJ i = lo;
  for (; i + 8 <= hi; i += 8) {
    UJ w = 0;
    for (int k = 0; k < 8; k++) {
      T a = x[i + k], b = x[i + k - 1];
      UJ bit = OP == 8 ? a < b : OP == 9 ? a > b : a == b;
      w |= bit << (8 * k);
    }
    memcpy(r + i, &w, 8);
  }
  for (; i < hi; i++) r[i] = OP == 8 ? x[i] < x[i - 1] : OP == 9 ? x[i] > x[i - 1] : x[i] == x[i - 1];
  return false;
}

// Floats: r[i] = x[i] op x[i-1] by the very kernels the float verbs run
// (+ - * % on whole 4-item blocks and the same IEEE step for the rest; the
// float-order minimum and maximum), so the bits are the verb's.
template <int OP> bool fpk(const void *px, void *pr, UJ lo, UJ hi) {
  const F *x = (const F *)px;
  F *r = (F *)pr;
  UJ m = hi - lo;
  if constexpr (OP == 6) mnoFF(x + lo, x + lo - 1, r + lo, m);
  else if constexpr (OP == 7) mxoFF(x + lo, x + lo - 1, r + lo, m);
  else {
    UJ q = m >> 2;
    if (q) ff_k[OP - 1](x + lo, x + lo - 1, r + lo, q);
    for (UJ i = lo + (q << 2); i < hi; i++) {
      F a = x[i], b = x[i - 1];
      r[i] = OP == 1 ? a + b : OP == 2 ? a - b : OP == 3 ? a * b : a / b;
    }
  }
  return false;
}

typedef bool (*pk)(const void *x, void *r, UJ lo, UJ hi);
const pk fpk_t[8] = {nullptr, fpk<1>, fpk<2>, fpk<3>, fpk<4>, nullptr, fpk<6>, fpk<7>};
#define ZK_W4(F, ...) {F<int8_t, __VA_ARGS__>, F<int16_t, __VA_ARGS__>, F<int32_t, __VA_ARGS__>, F<int64_t, __VA_ARGS__>}
const pk ark_t[3][4] = {ZK_W4(ark, 1), ZK_W4(ark, 2), ZK_W4(ark, 3)};
const pk mmk_t[2][4] = {ZK_W4(mmk, false), ZK_W4(mmk, true)};
const pk cmk_t[3][4] = {ZK_W4(cmk, 8), ZK_W4(cmk, 9), ZK_W4(cmk, 10)};
#undef ZK_W4

// ---- the pass over items 1..n-1, serial or on the pool ----
inline constexpr UJ GRAN = 64;
struct Pj {
  pk k;
  const void *x;
  void *r;
  UJ n, per;
  I o[64];
};
void pj_run(void *c, int w) {
  Pj *j = (Pj *)c;
  UJ lo = (UJ)w * j->per, hi = lo + j->per;
  if (lo < 1) lo = 1;
  if (hi > j->n) hi = j->n;
  j->o[w] = lo < hi && j->k(j->x, j->r, lo, hi);
}
// True when any item overflowed.
bool pass(pk k, const void *x, void *r, UJ n) {
  int w = pew_t(n);
  if (w <= 1) return n > 1 && k(x, r, 1, n);
  Pj j{k, x, r, n, ((n + w - 1) / w + GRAN - 1) / GRAN * GRAN, {}};
  par_run(w, pj_run, &j);
  for (int i = 0; i < w; i++)
    if (j.o[i]) return true;
  return false;
}

// The whole-vector route: the verb of the slot applied to x and its prior.
V whole(V verb, V seed, V x) {
  V p = dexp(verb, seed, x);
  return p ? v2[slot(verb) & 31](x, p) : 0;
}

// Item i modulo by the rule of `!` with an integer left operand a applied
// to y: y mod a in [0, a) for a > 0, floor(y / -a) for a < 0, y for a = 0;
// a long null on either side gives 0N.
J md(J a, J y) {
  if (a == NJ || y == NJ) return NJ;
  if (a > 0) {
    J q = y % a;
    return q < 0 ? q + a : q;
  }
  if (a < 0) {
    UJ g = -(UJ)a;
    return y >= 0 ? (J)((UJ)y / g) : ~(J)((UJ)~y / g);
  }
  return y;
}

}  // namespace

// ---- prior ----

V dexp(V verb, V seed, V x) {
  int t = tp(x);
  U n = nx(x);
  if (!n) return pe0(seed, x);
  int st = seed ? tp(seed) : 0;
  // The seed fits x's own storage: one allocation and one block move.
  bool fits = intv(t) ? (st == tINTA || st == tLONGA) && tZ(gl_(seed)) <= t
                      : t >= tFLT && t <= tTSPAN && st >= tINTA && TT[st] == t;
  if (!fits) {
    V d = drp(-1, _r(x));
    if (!d) {
      if (seed) mr(seed);
      return 0;
    }
    V r = cat10(seed ? seed : _r(cn[t]), d);
    mr(d);
    return r;
  }
  V r = an(n, t);
  UJ w = (UJ)1 << Tw[t] >> 3;
  if (intv(t)) put(r, 0, gl_(seed));
  else if (heap(seed)) memcpy(P(r), P(seed), 8);
  else if (w == 1) P(r)[0] = (G)seed;
  else PI(r)[0] = ip(seed);
  memcpy(P(r) + w, P(x), (n - 1) * w);
  mr(seed);
  return r;
}

// ---- + - * % ----

V p___(V verb, V seed, V x) {
  I op = slot(verb);
  int t = tp(x);
  U n = nx(x);
  if (!n) return pe0(seed, x);
  if (op >= 1 && op <= 3 && intv(t) && zseed(seed)) {
    J s = gl_(seed);
    int c = t - tBYTE;
    if (s >= LO[c] && s <= HI[c]) {
      V r = an(n, t);
      J a = iat(x, 0), v;
      bool o;
      if (c == 3) {
        v = a == NJ || s == NJ ? NJ
            : op == 1      ? (J)((UJ)a + (UJ)s)
            : op == 2      ? (J)((UJ)a - (UJ)s)
                           : (J)((UJ)a * (UJ)s);
        o = false;
      } else {
        v = op == 1 ? a + s : op == 2 ? a - s : a * s;
        o = v < LO[c] || v > HI[c];
      }
      if (!o) {
        put(r, 0, v);
        o = pass(ark_t[op - 1][c], P(x), P(r), n);
      }
      if (!o) {
        mr(seed);
        return r;
      }
      mr(r);  // an item left the width: the verb widens
    }
  }
  return whole(verb, seed, x);
}

// ---- ! ----

V modp(V verb, V seed, V x) {
  int t = tp(x);
  U n = nx(x);
  if (!n) return pe0(seed, x);
  if (!intv(t) || !zseed(seed)) return whole(verb, seed, x);
  J y = gl(seed);
  // Results are int atoms where they fit 32 bits: an int vector, widened
  // to long only when some result needs it.
  V r = an(n, tLONG);
  J *o = PL(r);
  bool wide = false;
  for (U i = 0; i < n; i++) {
    J a = iat(x, i), v = md(a, y);
    o[i] = v;
    wide |= v != (J)(I)v;
    y = a;
  }
  return wide ? r : cZ(tINT, r);
}

// ---- | & ----

static V mmp(bool mx, V verb, V seed, V x) {
  int t = tp(x);
  U n = nx(x);
  if (!n) return pe0(seed, x);
  if (!intv(t) || (seed && !zseed(seed))) return whole(verb, seed, x);
  int c = t - tBYTE;
  J s = seed ? gl(seed) : iat(x, 0);
  // A seed beyond the far end of the width cannot be stored there: the
  // items are widened to long.  One beyond the near end never wins.
  if (mx ? s > HI[c] : s < LO[c]) {
    V y = ct(tLONG, _r(x));
    if (!y) return 0;
    V r = mmp(mx, verb, al(s), y);
    mr(y);
    return r;
  }
  if (mx ? s < LO[c] : s > HI[c]) s = mx ? LO[c] : HI[c];
  V r = an(n, t);
  J a = iat(x, 0);
  put(r, 0, mx ? (a > s ? a : s) : (a < s ? a : s));
  pass(mmk_t[mx][c], P(x), P(r), n);
  return r;
}
V mxmp(V verb, V seed, V x) { return mmp(true, verb, seed, x); }
V mnmp(V verb, V seed, V x) { return mmp(false, verb, seed, x); }

// ---- < > = ----

V cmpp(V verb, V seed, V x) {
  I op = slot(verb);
  int t = tp(x);
  U n = nx(x);
  if (!n) return pe0(seed, x);
  if (!intv(t) || !zseed(seed)) return whole(verb, seed, x);
  J s = gl(seed), a = iat(x, 0);
  V r = an(n, tBYTE);
  P(r)[0] = op == 8 ? a < s : op == 9 ? a > s : a == s;
  pass(cmk_t[op - 8][t - tBYTE], P(x), P(r), n);
  return r;
}

// ---- floats: + - * % & | in one pass ----

V fprp(I op, F s, V x) {
  U n = nx(x);
  V r = an(n, tFLT);
  if (!n) return r;
  const F *p = PF(x);
  F *o = PF(r);
  // Item 0 meets the seed through the same kernel as every other item.
  F a[2] = {p[0], s};
  if (op == 6) mnoFF(a, a + 1, o, 1);
  else if (op == 7) mxoFF(a, a + 1, o, 1);
  else o[0] = op == 1 ? a[0] + s : op == 2 ? a[0] - s : op == 3 ? a[0] * s : a[0] / s;
  pass(fpk_t[op], p, o, n);
  return r;
}

const ovk prior_k[11] = {dexp, p___, p___, p___, p___, modp, mnmp, mxmp, cmpp, cmpp, cmpp};

V arp(V verb, V seed, V x) {
  I op = slot(verb);
  int t = tp(x);
  if (t == tRANGE || t == tBOOL || (t == tCHR && op >= 1 && op <= 5) || (t == tCHR && op == 10) ||
      (t == tCHR && zseed(seed) && tp(seed) == tCHRA && (op == 8 || op == 9))) {
    V y;
    if (t == tRANGE) y = gZ(_r(x));
    else if (t == tBOOL || (op != 8 && op != 9)) y = ct(tBYTE, _r(x));  // arithmetic and = read chars as signed bytes
    else {
      // Two chars order by their unsigned codes.
      U n = nx(x);
      y = an(n, tSHORT);
      for (U i = 0; i < n; i++) P<int16_t>(y)[i] = (G)PC(x)[i];
      seed = ai((G)ip(seed));
    }
    return ontmp(arp, verb, seed, y);
  }
  // A char seed counts as its signed byte against integers, also on the
  // whole-vector route; only the prior itself keeps the char.
  if (op && intv(t) && seed && tp(seed) == tCHRA) seed = ai(ip(seed));
  if (op < 0 || op > 10) return whole(verb, seed, x);
  return prior_k[op](verb, seed, x);
}

}  // namespace zk
