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
// dlt x gives x[0] and then each item minus the one before: integer
// vectors in their own width, one step wider when a difference overflows
// it; longs wrapping with 0N beside either operand giving 0N; chars as
// signed bytes into ints; a general list row by row; anything else by
// the generic form x - (0^0*1#x),-1_x (dlk0).
//
// Names: cvk the two passes over one pair of item types, cvr / wsr build
// the argument again with ranges materialised, wsj the long dot; dlw the deltas of one width (false on overflow),
// dlj the long deltas, dlr the row deltas, ars ari
// under an operator code.
#include <cmath>
#include <type_traits>

#include "core/err.h"
#include "core/simd.h"
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

// Two items from p as doubles, and the mask of those that are not null.
ZK_INLINE f64x2 ld2(const F *p) { return vld<f64x2>(p); }
ZK_INLINE f64x2 ld2(const J *p) { return f64x2{(F)p[0], (F)p[1]}; }
ZK_INLINE i64x2 ok2(const F *p) {
  f64x2 v = vld<f64x2>(p);
  return v == v;
}
ZK_INLINE i64x2 ok2(const J *p) { return vld<i64x2>(p) != vdup<i64x2>(NJ); }

// Both passes over pairs of items.  Partial k of a total is lane k of the
// registers (lo holds partials 0 and 1, hi 2 and 3) over the groups of 4,
// each lane adding its items in index order as the scalar rule does, and
// a skipped item adds +0.0 there too; the tail goes to partial 0.
template <class A, class B> V cvk(const A *a, const B *b, U n) {
  U n4 = n & ~3u, c = 0;
  const f64x2 z = {};
  f64x2 xl = z, xh = z, yl = z, yh = z;
  i64x2 cn = {};
  for (U i = 0; i < n4; i += 4) {
    i64x2 u0 = ok2(a + i) & ok2(b + i), u1 = ok2(a + i + 2) & ok2(b + i + 2);
    cn += u0 + u1;
    xl += vsel<f64x2>(u0, ld2(a + i), z);
    xh += vsel<f64x2>(u1, ld2(a + i + 2), z);
    yl += vsel<f64x2>(u0, ld2(b + i), z);
    yh += vsel<f64x2>(u1, ld2(b + i + 2), z);
  }
  c = (U)-(cn[0] + cn[1]);
  F sx[4] = {xl[0], xl[1], xh[0], xh[1]}, sy[4] = {yl[0], yl[1], yh[0], yh[1]};
  for (U i = n4; i < n; i++) {
    bool u = !nlo(a[i]) && !nlo(b[i]);
    c += u;
    sx[0] += u ? (F)a[i] : 0.0;
    sy[0] += u ? (F)b[i] : 0.0;
  }
  F mx = ((sx[0] + sx[1]) + (sx[2] + sx[3])) / (F)c,
    my = ((sy[0] + sy[1]) + (sy[2] + sy[3])) / (F)c;
  const f64x2 vx = vdup<f64x2>(mx), vy = vdup<f64x2>(my);
  f64x2 pl[3] = {z, z, z}, ph[3] = {z, z, z};  // xy, xx, yy
  auto step = [&](f64x2 *p, i64x2 u, const A *pa, const B *pb) __attribute__((always_inline)) {
    f64x2 dx = ld2(pa) - vx, dy = ld2(pb) - vy;
    p[0] += vsel<f64x2>(u, dx * dy, z);
    p[1] += vsel<f64x2>(u, dx * dx, z);
    p[2] += vsel<f64x2>(u, dy * dy, z);
  };
  for (U i = 0; i < n4; i += 4) {
    step(pl, ok2(a + i) & ok2(b + i), a + i, b + i);
    step(ph, ok2(a + i + 2) & ok2(b + i + 2), a + i + 2, b + i + 2);
  }
  F pxy[4] = {pl[0][0], pl[0][1], ph[0][0], ph[0][1]}, pxx[4] = {pl[1][0], pl[1][1], ph[1][0], ph[1][1]},
    pyy[4] = {pl[2][0], pl[2][1], ph[2][0], ph[2][1]};
  for (U i = n4; i < n; i++) {
    bool u = !nlo(a[i]) && !nlo(b[i]);
    F dx = (F)a[i] - mx, dy = (F)b[i] - my;
    F xy = dx * dy, xx = dx * dx, yy = dy * dy;
    pxy[0] += u ? xy : 0.0;
    pxx[0] += u ? xx : 0.0;
    pyy[0] += u ? yy : 0.0;
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
  int32_t nul;
  J s = simd_dot_i64(a, b, n, 0, &nul);
  return al(nul ? NJ : s);
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


namespace {

// 0^0*x, x consumed: the zero of x's shape.
V zro(V x) {
  V z = ario(3, ai(0), x);
  return z ? crt(ai(0), z) : 0;
}

// Deltas of n >= 1 items of one signed width T; false when an exact
// difference falls outside T's range (r is then not to be used).
template <class T> bool dlw(T *r, const T *x, U n) {
  using W = std::conditional_t<sizeof(T) == 1, int16_t, std::conditional_t<sizeof(T) == 2, int32_t, int64_t>>;
  bool ok = true;
  r[0] = x[0];
  for (U i = 1; i < n; i++) {
    W d = (W)x[i] - (W)x[i - 1];
    r[i] = (T)d;
    ok &= (W)r[i] == d;
  }
  return ok;
}

// Long deltas wrapping modulo 2^64; 0N beside either operand gives 0N.
void dlj(J *r, const J *x, U n) {
  r[0] = x[0];
  for (U i = 1; i < n; i++) {
    J d = (J)((UJ)x[i] - (UJ)x[i - 1]);
    r[i] = x[i] == NJ || x[i - 1] == NJ ? NJ : d;
  }
}

bool rowint(int t) { return t >= tBYTE && t <= tLONG; }

// Item j of the integer row a (types 4..7) sign-extended.
J rj(V a, U j) {
  switch (tp(a)) {
    case tBYTE: return P<int8_t>(a)[j];
    case tSHORT: return P<int16_t>(a)[j];
    case tINT: return PI(a)[j];
    default: return PL(a)[j];
  }
}

// Row k of a uniform list with a long row: wrapping, 0N from a long row's 0N.
V dlrl(V a, V b) {
  U n = nx(a);
  V r = an(n, tLONG);
  bool la = tp(a) == tLONG, lb = tp(b) == tLONG;
  for (U j = 0; j < n; j++) {
    J x = rj(a, j), y = rj(b, j);
    bool nl = (la && x == NJ) || (lb && y == NJ);
    PL(r)[j] = nl ? NJ : (J)((UJ)x - (UJ)y);
  }
  return r;
}

V dlr(V L) {
  U m = nx(L);
  V f = PA(L)[0];
  int tf = tp(f);
  int var = 2;  // 0 A uniform, 1 B, 2 C
  if (tf >= tRANGE && tf <= tLONG) {
    bool uni = true, fix = false;
    J c = _n(f);
    for (U i = 0; i < m; i++) {
      V a = PA(L)[i];
      int t = tp(a);
      uni &= rowint(t) && nx(a) == c;
      fix |= t == tRANGE || t == tBOOL;
    }
    if (!uni && fix) {
      V N = an(m, tLIST);
      for (U i = 0; i < m; i++) {
        V a = _r(PA(L)[i]);
        int t = tp(a);
        if (t == tRANGE) a = gZ(a);
        else if (t == tBOOL) a = ct(tBYTE, a);
        if (!a) {
          for (U j = i; j < m; j++) PA(N)[j] = ai(0);
          return mr(N), mr(L), (V)0;
        }
        PA(N)[i] = a;
      }
      mr(L);
      return dlr(N);
    }
    var = uni ? 0 : 1;
  }
  V R = an(m, tLIST);
  for (U k = 0; k < m; k++) {
    V a = PA(L)[k], r;
    if (!k) r = var < 2 ? ario(2, a, ai(0)) : ([&] {
      V z = zro(_r(a));
      return z ? ario(2, a, z) : (V)0;
    })();
    else if (!var && (tp(a) == tLONG || tp(PA(L)[k - 1]) == tLONG)) r = dlrl(a, PA(L)[k - 1]);
    else r = ario(2, a, _r(PA(L)[k - 1]));
    if (!r) {
      for (U j = k; j < m; j++) PA(R)[j] = ai(0);
      return mr(R), mr(L), (V)0;
    }
    PA(R)[k] = r;
  }
  mr(L);
  return var == 2 ? sqz(R) : R;
}

}  // namespace

V dlk0(V x) {
  int t = tp(x);
  V h;
  if (t >= tINTA) h = rsz(1, _r(x));
  else if (t >= tLIST && t <= tTSPAN) h = nx(x) ? slc(x, 0, 1) : enl(io(x, 0));
  else return en(x);
  V z = h ? zro(h) : 0;
  if (!z) return mr(x), (V)0;
  // Drop refuses atoms: an atom's previous items are those of its
  // one-item vector, none.
  V a = t >= tINTA ? rsz(1, _r(x)) : _r(x);
  V d = a ? drp(-1, a) : 0;
  if (!d) return mr(z), mr(x), (V)0;
  V p = cat(z, d);
  mr(z);
  if (!p) return mr(x), (V)0;
  V r = ario(2, x, p);
  mr(x);
  return r;
}

V dltC(V x) {
  int t = tp(x);
  if (t >= tINTA) return dlk0(x);
  if (t == tRANGE) return (x = gZ(x)) ? dltC(x) : 0;
  if (t == tBOOL) return (x = ct(tBYTE, x)) ? dltC(x) : 0;
  U n = nx(x);
  if (!n) return dlk0(x);
  if (t >= tBYTE && t <= tINT) {
    V r = an(n, t);
    bool ok = t == tBYTE ? dlw(P<int8_t>(r), P<int8_t>(x), n)
              : t == tSHORT ? dlw(P<int16_t>(r), P<int16_t>(x), n)
                            : dlw(PI(r), PI(x), n);
    if (ok) return mr(x), r;
    mr(r);
    return (x = ct(t + 1, x)) ? dltC(x) : 0;
  }
  if (t == tLONG) {
    V r = an(n, tLONG);
    dlj(PL(r), PL(x), n);
    return mr(x), r;
  }
  if (t == tCHR) {
    V r = an(n, tINT);
    const int8_t *c = P<int8_t>(x);
    PI(r)[0] = c[0];
    for (U i = 1; i < n; i++) PI(r)[i] = (I)c[i] - (I)c[i - 1];
    return mr(x), r;
  }
  if (t == tLIST) return dlr(x);
  return dlk0(x);
}

}  // namespace zk
