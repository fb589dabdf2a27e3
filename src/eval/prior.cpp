// prior.cpp: the each-prior adverb and sliding windows.  p2 applies a
// dyadic function between each item and the one before it (the seed
// standing before item 0); stn applies a monadic function to every window
// of n consecutive items; ste is x f':y with a monadic f, x the width.
// See adverb.h for ownership.
//
// Each-prior of a primitive over a typed vector never applies the verb item
// by item: integer vectors go to the each-prior kernels (arp); float
// vectors take one pass that gives the bits of the verb applied to y and
// its prior (the comparisons apply the verb to the two whole vectors).
// Windows are cut from y's storage by block copies.
#include "core/err.h"
#include "core/sym.h"
#include "eval/adverb.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

ZK_INLINE I opn(V f) { return tp(f) == tDYAD ? ip(f) : -1; }
ZK_INLINE bool zvec(int t) { return t >= tRANGE && t <= tLONG; }  // ranges, booleans, integers

// A window of no width needs a prototype, which would hold as many nulls
// as the width: beyond this many no such value is made.
inline constexpr J NPROTO = (J)1 << 27;

V kc_chr = 0;

// n bits of s from bit o into d from bit 0; the bits of d's last byte past
// n are cleared.  Reads no byte of s past bit o + n - 1.
void cpb(G *d, const G *s, UJ o, UJ n) {
  UJ b = o >> 3, sh = o & 7, nb = (n + 7) >> 3;
  if (!sh) memcpy(d, s + b, nb);
  else {
    UJ last = (o + n - 1) >> 3;  // last source byte needed
    for (UJ j = 0; j < nb; j++) {
      UJ k = b + j;
      G lo = (G)(s[k] >> sh), hi = k + 1 <= last ? (G)(s[k + 1] << (8 - sh)) : 0;
      d[j] = lo | hi;
    }
  }
  if (n & 7) d[nb - 1] &= (G)((1u << (n & 7)) - 1);
}

// Items i .. i+n-1 of y (a vector or list) as a value of y's own type.
V win(V y, int t, J i, J n) {
  if (t == tBOOL) {
    V r = an((U)n, tBOOL);
    if (n) cpb(P(r), P(y), (UJ)i, (UJ)n);
    return r;
  }
  if (t != tLIST) return aV(t, (U)n, P(y) + ((UJ)i << Tw[t] >> 3));
  if (!n) {
    V r = aA0(0);
    mr(PA(r)[0]);
    PA(r)[0] = mkn(ii(y, 0));
    return r;
  }
  V r = an((U)n, tLIST);
  for (J j = 0; j < n; j++) PA(r)[j] = _r(PA(y)[i + j]);
  return sqz(r);
}

// The empty result when no window fits: its prototype is a window of n
// nulls of y's items.
V none(V y, int t, J n) {
  if (n > NPROTO) return ez0();
  V p;
  if (t != tLIST) p = mkn(an((U)n, t));
  else {
    V l = an((U)n, tLIST), a = io(y, 0);  // n >= 1: y's count + 1 at least
    for (J j = 0; j < n; j++) PA(l)[j] = _r(a);
    mr(a);
    p = mkn(sqz(l));
  }
  V r = aA0(0);
  mr(PA(r)[0]);
  PA(r)[0] = p;
  return r;
}

// f[y_i; y_(i-1)] item by item, x before item 0; consumes x.
V gen(V f, V x, V y, J n) {
  V r = aA0((U)n), p = x;
  for (J i = 0; i < n; i++) {
    V yi = ii(y, i), v = _2(f, yi, p);
    if (!v) return mr(yi), mr(r), (V)0;
    if (!(r = psh(r, v))) return mr(yi), (V)0;
    p = yi;
  }
  mr(p);
  return r;
}

}  // namespace

V p2(V f, V x, V y) {
  int yt = tp(y);
  if (yt >= tINTA) return er(x);
  if (yt == tDICT) {
    V r = p2(f, x, PA(y)[1]);
    return r ? am(_r(PA(y)[0]), r) : 0;
  }
  J n = _n(y);
  if (!n) return mr(x), _r(y);
  I op = opn(f);
  if (op < 0 || op > 10) return gen(f, x, y, n);
  int xt = tp(x);
  if ((op == 6 || op == 7) && xt == tCHRA) {
    if (yt == tCHR) {
      // Two chars order by their unsigned codes; chars come back.
      V a = ucb(x), b = ucb(_r(y));
      V r = a && b ? p2(f, a, b) : (a ? mr(a) : (void)0, (V)0);
      if (b) mr(b);
      return r ? cub(r) : 0;
    }
    if (zvec(yt)) return arp(f, x, y);
    return gen(f, x, y, n);
  }
  if (yt == tCHR && op >= 6 && op <= 9) {
    if (op >= 8 && xt == tCHRA) return arp(f, x, y);
    if (n >= 2 && (xt == tINTA || xt == tLONGA || xt == tFLTA)) {
      // Item 0 meets the numeric seed, the rest compare char with char.
      V a[3] = {f, x, _r(y)};
      return k8(&kc_chr, "{[f;y;z]@[f':[*z;z];0;:;*f':[y;1#z]]}", a, 3);
    }
    return gen(f, x, y, n);
  }
  if (xt == tINTA || xt == tLONGA || xt == tCHRA) {
    if (zvec(yt) || (yt == tCHR && (op <= 5 || op == 10))) return arp(f, x, y);
  }
  if (yt == tFLT && op >= 1 && op != 5 && (xt == tFLTA || xt == tINTA || xt == tLONGA)) {
    V s = ct(tFLT, x);
    if (s && op != 8 && op != 9 && op != 10) {
      F d = PF(s)[0];
      mr(s);
      return fprp(op, d, y);
    }
    V sh = s ? dexp(f, s, y) : 0;
    return sh ? v2[op](y, sh) : 0;
  }
  return gen(f, x, y, n);
}

V stn(V f, J n, V y) {
  if (n < 0 || n > INT32_MAX) return ed0();
  int t = tp(y);
  if (t == tRANGE) {
    V z = gZ(_r(y));
    if (!z) return 0;
    V r = stn(f, n, z);
    mr(z);
    return r;
  }
  if (t >= tTABLE) return et0();
  J w = _n(y) - n + 1;
  if (w <= 0) return none(y, t, n);
  V r = aA0((U)w);
  for (J i = 0; i < w; i++) {
    V v = win(y, t, i, n);
    if (f != GNULL && !(v = _1(f, v))) return mr(r), (V)0;
    if (!(r = psh(r, v))) return 0;
  }
  return r;
}

V ste(V f, V x, V y) {
  int t = tp(x);
  if (t != tINTA && t != tLONGA) return et(x);
  return stn(f, gl(x), y);
}

}  // namespace zk
