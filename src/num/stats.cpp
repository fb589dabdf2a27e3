// stats.cpp: the statistics builtins cvm (cvmC), wsm (wsmC) and dlt
// (dltC, with its generic form dlk0).
//
// cvm (x; y) gives the centred co-moment sums (Sxy; Sxx; Syy; n) over the
// pairs where neither item is null, dividing nothing, so callers form
// population or sample statistics themselves.  Two passes, each keeping
// four partial sums per total in a fixed arrangement (item i of the first
// 4*floor(N/4) in partial i mod 4, the rest in partial 0, totals
// (p0+p1)+(p2+p3)), so the bits never depend on anything but the data.
//
// wsm (x; y) gives +/x*y without building x*y: floats by the SIMD dot (the
// parallel blocked sum above 1,048,575 items, whose value does not depend
// on the thread count), longs by a wrapping 64-bit dot, narrower integers
// through the language itself.
//
// Names: cvk the two passes over one pair of item types, cvr / wsr build
// the argument again with ranges materialised, wsj the long dot.
#include <cmath>

#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "num/simdf.h"

namespace zk {

namespace {

// Item access of the two kinds cvm works on: a long item is null at 0N, a
// float item at any NaN.
ZK_INLINE bool nlo(J v) { return v == NJ; }
ZK_INLINE bool nlo(F v) { return v != v; }

// The four-partial sum of f(i) over the n items, f giving 0 for skipped items.
template <class A, class B> V cvk(const A *a, const B *b, U n) {
  U n4 = n & ~3u, c = 0;
  F sx[4] = {0, 0, 0, 0}, sy[4] = {0, 0, 0, 0};
  for (U i = 0; i < n; i++) {
    bool u = !nlo(a[i]) && !nlo(b[i]);
    U k = i < n4 ? (i & 3) : 0;
    c += u;
    sx[k] += u ? (F)a[i] : 0.0;
    sy[k] += u ? (F)b[i] : 0.0;
  }
  F mx = ((sx[0] + sx[1]) + (sx[2] + sx[3])) / (F)c,
    my = ((sy[0] + sy[1]) + (sy[2] + sy[3])) / (F)c;
  F pxy[4] = {0, 0, 0, 0}, pxx[4] = {0, 0, 0, 0}, pyy[4] = {0, 0, 0, 0};
  for (U i = 0; i < n; i++) {
    bool u = !nlo(a[i]) && !nlo(b[i]);
    U k = i < n4 ? (i & 3) : 0;
    F dx = (F)a[i] - mx, dy = (F)b[i] - my;
    F xy = dx * dy, xx = dx * dx, yy = dy * dy;
    pxy[k] += u ? xy : 0.0;
    pxx[k] += u ? xx : 0.0;
    pyy[k] += u ? yy : 0.0;
  }
  V r = an(4, tFLT);
  F *o = PF(r);
  o[0] = (pxy[0] + pxy[1]) + (pxy[2] + pxy[3]);
  o[1] = (pxx[0] + pxx[1]) + (pxx[2] + pxx[3]);
  o[2] = (pyy[0] + pyy[1]) + (pyy[2] + pyy[3]);
  o[3] = (F)c;
  return r;
}

// A new pair (x; y) with range items materialised; x released.
V mzr(V x) {
  V a = _r(PA(x)[0]), b = _r(PA(x)[1]);
  mr(x);
  if (tp(a) == tRANGE && !(a = gZ(a))) return mr(b), 0;
  if (tp(b) == tRANGE && !(b = gZ(b))) return mr(a), 0;
  return aA2(a, b);
}

void mrz(V x) {
  if (x) mr(x);
}

bool isrange(V x) { return tp(x) == tRANGE; }
bool isnum(int t) { return t >= tBOOL && t <= tFLT; }
bool isint(int t) { return t >= tBOOL && t <= tLONG; }

// Dot of two long vectors wrapping modulo 2^64; 0N when any item is 0N.
V wsj(const J *a, const J *b, U n) {
  UJ s0 = 0, s1 = 0;
  J m = 0;
  U i = 0;
  for (; i + 2 <= n; i += 2) {
    s0 += (UJ)a[i] * (UJ)b[i];
    s1 += (UJ)a[i + 1] * (UJ)b[i + 1];
    m |= (J)(a[i] == NJ) | (J)(b[i] == NJ) | (J)(a[i + 1] == NJ) | (J)(b[i + 1] == NJ);
  }
  if (i < n) {
    s0 += (UJ)a[i] * (UJ)b[i];
    m |= (J)(a[i] == NJ) | (J)(b[i] == NJ);
  }
  return al(m ? NJ : (J)(s0 + s1));
}

}  // namespace

V cvmC(V x) {
  if (!heap(x) || tp(x) != tLIST || nx(x) != 2) return et(x);
  V a = PA(x)[0], b = PA(x)[1];
  if (isrange(a) || isrange(b)) {
    V y = mzr(x);
    return y ? cvmC(y) : 0;
  }
  int ta = tp(a), tb = tp(b);
  if (!isnum(ta) || !isnum(tb)) return et(x);
  if (nx(a) != nx(b)) return el(x);
  a = ta == tFLT || ta == tLONG ? _r(a) : ct(tLONG, _r(a));
  b = tb == tFLT || tb == tLONG ? _r(b) : ct(tLONG, _r(b));
  mr(x);
  if (!a || !b) return mrz(a), mrz(b), 0;
  U n = nx(a);
  bool fa = tp(a) == tFLT, fb = tp(b) == tFLT;
  V r = fa ? (fb ? cvk(PF(a), PF(b), n) : cvk(PF(a), PL(b), n))
           : (fb ? cvk(PL(a), PF(b), n) : cvk(PL(a), PL(b), n));
  mr(a), mr(b);
  return r;
}

V wsmC(V x) {
  if (!heap(x) || tp(x) != tLIST || nx(x) != 2) return et(x);
  V a = PA(x)[0], b = PA(x)[1];
  int ta = tp(a), tb = tp(b);
  bool rg = ta == tRANGE || tb == tRANGE;
  if (_n(a) != _n(b)) {
    if (!rg) return el(x);
    V y = mzr(x);
    return y ? wsmC(y) : 0;
  }
  if (ta == tFLT && tb == tFLT) {
    U n = nx(a);
    F d = n > 0xFFFFF ? pbs(PF(a), PF(b), n) : simd_dot_f64(PF(a), PF(b), n);
    mr(x);
    return af(d);
  }
  if (ta == tFLT || tb == tFLT || isint(ta) || isint(tb)) {
    if (!(isint(ta) && isint(tb))) {
      if (!rg) return et(x);
      V y = mzr(x);
      return y ? wsmC(y) : 0;
    }
    if (ta != tLONG && tb != tLONG) {
      static V k;
      V r = k2(&k, "{+/x*y}", a, _r(b));
      mr(x);
      return r;
    }
    a = ta == tLONG ? _r(a) : ct(tLONG, _r(a));
    b = tb == tLONG ? _r(b) : ct(tLONG, _r(b));
    mr(x);
    if (!a || !b) return mrz(a), mrz(b), 0;
    V r = wsj(PL(a), PL(b), nx(a));
    mr(a), mr(b);
    return r;
  }
  return et(x);
}

}  // namespace zk
