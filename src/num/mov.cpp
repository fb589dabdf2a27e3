// mov.cpp: trailing moving-window aggregates (builtin mw, mwC) and the
// exponential moving average (builtin ema, emaC).
//
// mw takes (code; w; x): code 0 sum, 1 average, 2 variance, 3 standard
// deviation, 4 minimum, 5 maximum, 6 count; result j covers the items
// x[j-w+1] .. x[j] that exist.  It is a fast kernel: whatever it does not
// cover gets the shared empty general list (emp), never an error, and the
// language-level caller falls back to generic code.
//
// Every aggregate is one pass with running state, so the work does not
// grow with w (above 4,096 the float sums are one serial chain, held to the
// latency of two additions an item):
// - count and integer sums keep an exact running count or a wrapping
//   64-bit sum (nulls contribute nothing);
// - the float codes keep the window's sum, number and sum of squares of
//   its non-NaN items.  Add-and-subtract drifts, so with w <= 4,096 the
//   state restarts at every block of 4,096 results from a fresh in-order
//   sum of that result's window; four blocks run interleaved for
//   independent dependency chains (their results are what one block at a
//   time would give).  A state that turned non-finite stays so (inf - inf
//   is NaN), so a block whose state did is not trusted: see fguard;
// - minimum and maximum combine each block of w items' running prefix with
//   the previous block's suffix (scratch: two suffixes of min(w, n) + 1).
//   A float maximum over data holding NaNs is taken with a monotonic
//   queue, as the block method cannot skip NaNs there.
//
// Names: fwin float codes 0..3, fst one block's running state, frs/fst4
// run one or four blocks, fguard the infinity guard; mmw the minimum and
// maximum by blocks, qmx the queue maximum; isum/icnt integer sum and
// count; wid widens integer items to doubles.
//
// Float arithmetic is plain IEEE with every product and sum rounded on its
// own (the build forbids contraction), so results are reproducible.
#include <cmath>
#include <limits>

#include "core/err.h"
#include "core/simd.h"
#include "core/sym.h"
#include "num/num.h"

namespace zk {

namespace {

constexpr UJ MWB = 4096;  // results per block of the float running state

// ---- integer items widened to doubles (long 0N to NaN) ----
ZK_INLINE void wd4(i32x4 v, F *d) {
  vst(d, vf64(v));
  vst(d + 2, vf64((i32x4)_mm_unpackhi_epi64((__m128i)v, (__m128i)v)));
}
template <class T> void wid(const T *s, F *d, UJ n) {
  UJ i = 0;
  if constexpr (sizeof(T) == 1)
    for (; i + 16 <= n; i += 16) {
      i8x16 v = vld<i8x16>(s + i);
      i16x8 lo = vwlo(v), hi = vwhi(v);
      wd4(vwlo(lo), d + i), wd4(vwhi(lo), d + i + 4);
      wd4(vwlo(hi), d + i + 8), wd4(vwhi(hi), d + i + 12);
    }
  else if constexpr (sizeof(T) == 2)
    for (; i + 8 <= n; i += 8) {
      i16x8 v = vld<i16x8>(s + i);
      wd4(vwlo(v), d + i), wd4(vwhi(v), d + i + 4);
    }
  else if constexpr (sizeof(T) == 4)
    for (; i + 4 <= n; i += 4) wd4(vld<i32x4>(s + i), d + i);
  for (; i < n; i++) d[i] = sizeof(T) == 8 && s[i] == (T)NJ ? (F)NAN : (F)s[i];
}

// ---- count (6) and integer sum (0) ----
template <class T> ZK_INLINE J ok(T v) {
  if constexpr (std::is_floating_point_v<T>) return v == v;
  else if constexpr (sizeof(T) == 8) return v != (T)NJ;
  else return 1;
}
template <class T> void icnt(const T *x, UJ n, UJ w, J *r) {
  UJ m = w < n ? w : n, j = 0;
  J c = 0;
  for (; j < m; j++) r[j] = c += ok(x[j]);
  for (; j < n; j++) r[j] = c += ok(x[j]) - ok(x[j - w]);
}
// Sign-extended items summed mod 2^64; 0N adds nothing.
template <class T> ZK_INLINE UJ iv(T v) {
  if constexpr (sizeof(T) == 8) return v == (T)NJ ? 0 : (UJ)v;
  else return (UJ)(J)v;
}
template <class T> void isum(const T *x, UJ n, UJ w, J *r) {
  UJ m = w < n ? w : n, j = 0, s = 0;
  for (; j < m; j++) r[j] = (J)(s += iv(x[j]));
  for (; j < n; j++) r[j] = (J)(s = s + iv(x[j]) - iv(x[j - w]));
}

// ---- float codes 0..3 ----
// Running state of one window: sum, number and sum of squares of its
// non-NaN items, as doubles (T = F) or for two blocks side by side (T =
// f64x2, one block a lane; every lane computes exactly what a double
// would).  A NaN enters and leaves as +0.0, which changes nothing: a sum
// started at +0.0 is never -0.0, so adding or subtracting +0.0 is exact.
template <class T> struct fst {
  T s, q, c;
};
ZK_INLINE F kp(F e) { return e == e ? e : 0.0; }  // the item, or +0.0 for NaN
ZK_INLINE F on(F e) { return e == e ? 1.0 : 0.0; }
ZK_INLINE f64x2 kp(f64x2 e) { return vand(e, (f64x2)(e == e)); }
ZK_INLINE f64x2 on(f64x2 e) { return vand(vdup<f64x2>(1.0), (f64x2)(e == e)); }
template <int C, class T> ZK_INLINE void fin(fst<T> &t, T e) {
  T v = kp(e);
  t.s = t.s + v, t.c = t.c + on(e);
  if constexpr (C >= 2) t.q = t.q + v * v;
}
template <int C, class T> ZK_INLINE void fout(fst<T> &t, T l) {
  T v = kp(l);
  t.s = t.s - v, t.c = t.c - on(l);
  if constexpr (C >= 2) t.q = t.q - v * v;
}
// Results of two states: sum; average; population variance (a negative
// value is rounding: 0); its square root; NaN where the number is 0.
template <int C> ZK_INLINE f64x2 fresv(f64x2 s, f64x2 q, f64x2 c) {
  if constexpr (C == 0) return s;
  f64x2 m = s / c, v = m;
  if constexpr (C >= 2) {
    v = q / c - m * m;
    v = vsel<f64x2>(v < 0, vzero<f64x2>(), v);
    if constexpr (C == 3) v = (f64x2)_mm_sqrt_pd((__m128d)v);
  }
  return vsel<f64x2>(c == 0, vdup<f64x2>(NAN), v);
}
template <int C> ZK_INLINE F fres(const fst<F> &t) {
  return fresv<C>(vdup<f64x2>(t.s), vdup<f64x2>(t.q), vdup<f64x2>(t.c))[0];
}
// The state of result j's window summed afresh in index order.
template <int C> fst<F> ffresh(const F *x, UJ j, UJ w) {
  fst<F> t = {0.0, 0.0, 0.0};
  for (UJ i = j + 1 > w ? j + 1 - w : 0; i <= j; i++) fin<C>(t, x[i]);
  return t;
}
// Results a .. b-1 of one block, its state carried from result a - 1.  The
// chain of running sums is serial; the results are computed from saved
// states in pairs, a chunk at a time, off that chain.
template <int C> void frs(const F *x, UJ a, UJ b, UJ w, fst<F> &t, F *r) {
  constexpr UJ K = 256;
  F S[K], Q[K], N[K];
  for (UJ j = a; j < b;) {
    UJ m = b - j < K ? b - j : K, k = 0;
    F *o = r + j;
    for (; k < m && j < w; k++, j++) fin<C>(t, x[j]), S[k] = t.s, Q[k] = t.q, N[k] = t.c;
    for (; k < m; k++, j++) fin<C>(t, x[j]), fout<C>(t, x[j - w]), S[k] = t.s, Q[k] = t.q, N[k] = t.c;
    for (k = 0; k + 2 <= m; k += 2)
      vst(o + k, fresv<C>(vld<f64x2>(S + k), vld<f64x2>(Q + k), vld<f64x2>(N + k)));
    if (k < m) o[k] = fres<C>({S[k], Q[k], N[k]});
  }
}
ZK_INLINE f64x2 ld2(const F *a, const F *b) { return (f64x2){*a, *b}; }
// Four whole blocks from result s on, none with a partial window (s >= w),
// as two pairs of lanes; t receives their final states.
template <int C> void fst4(const F *x, UJ s, UJ w, fst<F> *t, F *r) {
  for (int k = 0; k < 4; k++) t[k] = ffresh<C>(x, s + k * MWB, w), r[s + k * MWB] = fres<C>(t[k]);
  fst<f64x2> a = {{t[0].s, t[1].s}, {t[0].q, t[1].q}, {t[0].c, t[1].c}};
  fst<f64x2> b = {{t[2].s, t[3].s}, {t[2].q, t[3].q}, {t[2].c, t[3].c}};
  const F *x0 = x + s, *x1 = x0 + MWB, *x2 = x1 + MWB, *x3 = x2 + MWB;
  F *r0 = r + s, *r1 = r0 + MWB, *r2 = r1 + MWB, *r3 = r2 + MWB;
  for (UJ j = 1; j < MWB; j++) {
    fin<C>(a, ld2(x0 + j, x1 + j)), fin<C>(b, ld2(x2 + j, x3 + j));
    fout<C>(a, ld2(x0 + j - w, x1 + j - w)), fout<C>(b, ld2(x2 + j - w, x3 + j - w));
    f64x2 u = fresv<C>(a.s, a.q, a.c), v = fresv<C>(b.s, b.q, b.c);
    r0[j] = u[0], r1[j] = u[1], r2[j] = v[0], r3[j] = v[1];
  }
  t[0] = {a.s[0], a.q[0], a.c[0]}, t[1] = {a.s[1], a.q[1], a.c[1]};
  t[2] = {b.s[0], b.q[0], b.c[0]}, t[3] = {b.s[1], b.q[1], b.c[1]};
}

ZK_INLINE bool fin_(F v) { return v - v == 0; }  // finite
template <int C> ZK_INLINE bool sok(const fst<F> &t) { return fin_(t.s) && (C < 2 || fin_(t.q)); }

// The infinity guard of the block of results b .. e-1: when its last
// result is not finite, an infinity among the inputs from just after its
// last finite result to its end (from item max(0, b - w) when none is
// finite) means the running state passed it, and the result is not ours
// to give.
bool fguard(const F *x, const F *r, UJ b, UJ e, UJ w) {
  if (fin_(r[e - 1])) return true;
  UJ j = e - 1;
  while (j > b && !fin_(r[j - 1])) j--;
  UJ i = j > b ? j : b > w ? b - w : 0;
  for (; i < e; i++)
    if (std::isinf(x[i])) return false;
  return true;
}

// Codes 0..3 of the floats x into r; false when the result is not covered.
// Besides the infinity guard, a block whose running state ended non-finite
// though no infinity came in overflowed (a sum or a square beyond the
// largest double): every later result of the block would stay infinite or
// NaN, so it is declined too.
template <int C> bool fwin(const F *x, UJ n, UJ w, F *r) {
  if (w > MWB) {
    fst<F> t = {0.0, 0.0, 0.0};
    frs<C>(x, 0, n, w, t, r);
    return sok<C>(t) && fguard(x, r, 0, n, w);
  }
  UJ nb = (n + MWB - 1) / MWB, k = 0;
  fst<F> t[4];
  bool good = true;
  auto one = [&](UJ b) {
    UJ s = b * MWB, e = s + MWB < n ? s + MWB : n;
    t[0] = ffresh<C>(x, s, w), r[s] = fres<C>(t[0]);
    frs<C>(x, s + 1, e, w, t[0], r);
    good = good && sok<C>(t[0]);
  };
  one(k++);  // block 0 holds the partial windows
  for (; k + 4 <= nb && (k + 4) * MWB <= n; k += 4) {
    fst4<C>(x, k * MWB, w, t, r);
    for (int i = 0; i < 4; i++) good = good && sok<C>(t[i]);
  }
  for (; k < nb; k++) one(k);
  for (UJ b = 0; good && b < n; b += MWB) good = fguard(x, r, b, b + MWB < n ? b + MWB : n, w);
  return good;
}

typedef bool (*fwk)(const F *, UJ, UJ, F *);
constexpr fwk fw_k[4] = {fwin<0>, fwin<1>, fwin<2>, fwin<3>};

// ---- minimum (4) and maximum (5) ----
// Orders by K: 0 minimum, 1 maximum, plainly (0N is the smallest long, so
// it wins a minimum and never a maximum; a float maximum is only used on
// data without NaN); 2 the float minimum that lets NaN win, for data with
// NaNs (kept apart: its select costs more than the plain compare).
template <class T, int K> ZK_INLINE T mm(T a, T b) {
  if constexpr (K == 1) return a > b ? a : b;
  else if constexpr (K == 0) return a < b ? a : b;
  else {
    f64x2 u = vdup<f64x2>(a), v = vdup<f64x2>(b);
    return vsel<f64x2>((u < v) | (u != u), u, v)[0];
  }
}
// Blocks of w items: result j = extreme(previous block's suffix from
// j - w + 1, current block's prefix to j).  A block's prefix runs forward
// while its own suffix runs backward in the same loop (two independent
// chains), so the scratch sf holds two suffixes of bw + 1 slots, the
// previous block's and the one being built, used in turn.  Slots 0..w-1
// of the first start as id, what a partial window sees for its missing
// items; slot w, read by the result that ends a block (a window of
// exactly that block), holds ne, the true neutral.  They differ only for
// the long maximum: a partial window of nulls gives -0W, a whole one 0N.
template <class T, int K> void mmw(const T *x, UJ n, UJ w, T *r, T *sf, T id, T ne) {
  UJ bw = w < n ? w : n;
  T *so = sf, *sn = sf + bw + 1;
  for (UJ i = 0; i < bw; i++) so[i] = id;
  so[bw] = sn[bw] = bw == w ? ne : id;
  for (UJ s = 0; s < n; s += bw) {
    T p = x[s];
    r[s] = mm<T, K>(so[1], p);
    if (s + bw >= n) {  // the last block: no suffix needed
      for (UJ i = s + 1; i < n; i++) p = mm<T, K>(p, x[i]), r[i] = mm<T, K>(so[i - s + 1], p);
      break;
    }
    const T *e = x + s + bw - 1;
    T q = *e;
    sn[bw - 1] = q;
    for (UJ i = 1; i < bw; i++) {
      p = mm<T, K>(p, x[s + i]), r[s + i] = mm<T, K>(so[i + 1], p);
      q = mm<T, K>(e[-(J)i], q), sn[bw - 1 - i] = q;
    }
    T *z = so;
    so = sn, sn = z;
  }
}
// Float maximum over data holding NaN: a monotonic queue of indices (qi,
// n slots) whose values decrease from the front; NaNs never enter.  An
// empty queue means a window of NaNs only: NaN, or -inf for a partial one.
void qmx(const F *x, UJ n, UJ w, F *r, U *qi) {
  UJ h = 0, t = 0;
  for (UJ j = 0; j < n; j++) {
    F v = x[j];
    if (v == v) {
      while (t > h && !(x[qi[t - 1]] > v)) t--;
      qi[t++] = (U)j;
    }
    while (t > h && qi[h] + w <= j) h++;
    r[j] = t > h ? x[qi[h]] : j + 1 < w ? -INFINITY : NAN;
  }
}

template <class T> V mmv(V x, UJ n, UJ w, bool mx) {
  typedef std::numeric_limits<T> L;
  int t = tp(x);
  V r = an((U)n, t), s = an((U)(2 * ((w < n ? w : n) + 1)), t);
  const T *p = P<T>(x);
  T *o = P<T>(r), *sf = P<T>(s);
  if constexpr (std::is_floating_point_v<T>) {
    UJ i = 0;
    while (i < n && p[i] == p[i]) i++;
    T inf = L::infinity();
    if (i < n && mx) {
      V q = an((U)n, tINT);
      qmx(p, n, w, o, P<U>(q));
      mr(q);
    } else if (i < n) mmw<T, 2>(p, n, w, o, sf, inf, inf);
    else if (mx) mmw<T, 1>(p, n, w, o, sf, -inf, -inf);
    else mmw<T, 0>(p, n, w, o, sf, inf, inf);
  } else if (!mx) mmw<T, 0>(p, n, w, o, sf, L::max(), L::max());
  else mmw<T, 1>(p, n, w, o, sf, sizeof(T) == 8 ? -L::max() : L::min(), L::min());
  mr(s);
  return r;
}

// ---- the builtin ----
// An int or long atom's value into *v.
bool iat(V a, J *v) {
  int t = tp(a);
  if (t != tINTA && t != tLONGA) return false;
  *v = gl_(a);
  return true;
}

// Type of the result of code c over items of type t.
int rtype(J c, int t) {
  if (c == 6 || (c == 0 && t != tFLT)) return tLONG;
  return c <= 3 ? tFLT : t;
}

template <class T> V mwT(J c, UJ w, V x) {
  UJ n = nx(x);
  const T *p = P<T>(x);
  if (c == 4 || c == 5) return mmv<T>(x, n, w, c == 5);
  if (c == 6 || (c == 0 && !std::is_floating_point_v<T>)) {
    V r = an((U)n, tLONG);
    if (c == 6) icnt(p, n, w, PL(r));
    else isum(p, n, w, PL(r));
    return r;
  }
  V r = an((U)n, tFLT), f = x;
  if constexpr (!std::is_floating_point_v<T>) wid(p, PF(f = an((U)n, tFLT)), n);
  bool good = fw_k[c](PF(f), n, w, PF(r));
  if (f != x) mr(f);
  if (good) return r;
  mr(r);
  return emp();
}

V mwx(J c, UJ w, V x) {
  switch (tp(x)) {
    case tBYTE: return mwT<int8_t>(c, w, x);
    case tSHORT: return mwT<int16_t>(c, w, x);
    case tINT: return mwT<int32_t>(c, w, x);
    case tLONG: return mwT<J>(c, w, x);
    default: return mwT<F>(c, w, x);
  }
}

}  // namespace

V mwC(V a) {
  J c, w;
  if (!heap(a) || tp(a) != tLIST || nx(a) != 3 || !iat(PA(a)[0], &c) || !iat(PA(a)[1], &w) ||
      w < 1 || c < 0 || c > 6)
    return mr(a), emp();
  V x = _r(PA(a)[2]);
  mr(a);
  int t = tp(x);
  if (t == tRANGE && !(x = gZ(x))) return eclr(), emp();
  t = tp(x);
  bool num = t >= tBYTE && t <= tFLT;
  if (!num && !(t == tBOOL && !nx(x))) return mr(x), emp();
  if (!nx(x)) return mr(x), _r(ce[rtype(c, t)]);
  V r = mwx(c, (UJ)w, x);
  mr(x);
  return r;
}

// alpha: an int, long or float atom read as a float.  Any other value has
// no float to read ('type).
V emaC(V a) {
  if (!heap(a) || tp(a) != tLIST || nx(a) != 2) return et(a);
  V al_ = PA(a)[0];
  int at_ = tp(al_);
  if (at_ != tINTA && at_ != tLONGA && at_ != tFLTA) return et(a);
  F al = at_ == tFLTA ? PF(al_)[0] : at_ == tLONGA && gl_(al_) == NJ ? (F)NAN : (F)gl_(al_);
  V x = ct(tFLT, _r(PA(a)[1]));
  mr(a);
  if (!x) return 0;
  if (tp(x) != tFLT) return et(x);
  U n = nx(x);
  if (!n) return mr(x), _r(ce[tFLT]);
  V r = an(n, tFLT);
  const F *p = PF(x);
  F *o = PF(r), b = 1 - al, v = o[0] = p[0];
  for (U i = 1; i < n; i++) o[i] = v = al * p[i] + b * v;
  mr(x);
  return r;
}

}  // namespace zk
