// bin.cpp: binary search.  x bin y answers, for a vector x in ascending
// order and each value v of y, the index of the last item of x not greater
// than v, -1 below the first item (or for an empty x).  It is what data
// with each (x'y) does, and how indexing looks keys up in a step dict.
//
// Names: bin = the entry, by the type of x; binZ = integer and temporal x
// (and floats as their order keys); binF = floats; binS = symbols by text;
// bz8 / bz1 = the eight-at-once and one-at-a-time searches; bzw = their
// driver over a widened y.
//
// x is trusted to be sorted: nothing checks it, and unsorted x gets the
// answers of the same halving steps.  Items compare as signed 64-bit
// integers after widening with sign; floats by their order keys (every
// NaN lowest, -0 equal to 0); chars as unsigned codes; symbols by strcmp
// of their texts; booleans as the bytes 0 and 1.  Byte vectors never
// search: one histogram of the 256 possible values answers every probe
// (the two byte lambdas below).
//
// The answer vector has the narrowest integer type that holds #x-1 (-1
// fits every one of them); an empty x gives longs.
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/ari.h"
#include "num/num.h"
#include "order/order.h"
#include "order/radix.h"

namespace zk {

namespace {

// The answer type for a search in n items.
ZK_INLINE int rtype(J n) { return n ? tZ(n - 1) : tLONG; }

// Enough steps of the halving rule to settle any search in n items: the
// interval (lo, hi) starts n+1 wide and each step halves it.
ZK_INLINE int nsteps(J n) { return 65 - __builtin_clzll((UJ)n | 1); }

// One search: lo and hi bracket the answer, lo = -1 and hi = n at first;
// while they are apart, the midpoint (rounded down) moves lo up when v is
// not below the item there, else moves hi down.
template <class T> ZK_INLINE J bz1(const T *x, J n, J v) {
  J l = -1, h = n;
  while (l + 1 < h) {
    J m = (l + h) >> 1;
    if (v >= (J)x[m]) l = m;
    else h = m;
  }
  return l;
}

// Eight searches advanced together, the same number of steps each, with
// selects instead of branches: the loads of the eight are independent, so
// they wait on memory together and no branch depends on the data.  A
// settled search reads item 0 (harmless: even an empty vector has a slot
// there) and keeps its bracket.
template <class T> ZK_INLINE void bz8(const T *x, J n, const J *v, J *a, int steps) {
  J lo[8], hi[8];
  for (int k = 0; k < 8; k++) lo[k] = -1, hi[k] = n;
  for (int s = 0; s < steps; s++)
    for (int k = 0; k < 8; k++) {
      J l = lo[k], h = hi[k], m = (l + h) >> 1;
      bool on = l + 1 < h;
      bool ge = v[k] >= (J)x[on ? m : 0];
      lo[k] = (on & ge) ? m : l;
      hi[k] = (on & !ge) ? m : h;
    }
  for (int k = 0; k < 8; k++) a[k] = lo[k];
}

template <class S> void widen(const S *s, J *d, UJ m) {
  for (UJ i = 0; i < m; i++) d[i] = (J)s[i];
}

// Item j of y (bytes, shorts, ints, longs or chars) widened: integers with
// sign, chars as unsigned codes.
ZK_INLINE J yat(V y, int ty, UJ j) { return ty == tCHR ? (J)P(y)[j] : iti(y, ty, j); }

ZK_INLINE void put(V r, int tr, UJ j, J v) {
  switch (tr) {
    case tBYTE: P<int8_t>(r)[j] = (int8_t)v; break;
    case tSHORT: P<int16_t>(r)[j] = (int16_t)v; break;
    case tINT: PI(r)[j] = (I)v; break;
    default: PL(r)[j] = v;
  }
}

template <class D> void narrow(const J *a, D *d, UJ m) {
  for (UJ i = 0; i < m; i++) d[i] = (D)a[i];
}

// The search of every item of y in x (items of type T), into r.
template <class T> void bzw(const T *x, J n, V y, int ty, V r, int tr) {
  UJ m = nx(y);
  RMark mk;
  J *v = (J *)arena_alloc(m * 8), *a = (J *)arena_alloc(m * 8);
  if (!v || !a) {
    // Without scratch every value is searched alone, straight into r.
    mk.back();
    for (UJ j = 0; j < m; j++) put(r, tr, j, bz1(x, n, yat(y, ty, j)));
    return;
  }
  switch (ty) {
    case tBYTE: widen(P<int8_t>(y), v, m); break;
    case tSHORT: widen(P<int16_t>(y), v, m); break;
    case tINT: widen(PI(y), v, m); break;
    case tCHR: widen(P(y), v, m); break;
    default: memcpy(v, PL(y), m * 8);
  }
  int st = nsteps(n);
  UJ j = 0;
  for (; j + 8 <= m; j += 8) bz8(x, n, v + j, a + j, st);
  for (; j < m; j++) a[j] = bz1(x, n, v[j]);
  switch (tr) {
    case tBYTE: narrow(a, P<int8_t>(r), m); break;
    case tSHORT: narrow(a, P<int16_t>(r), m); break;
    case tINT: narrow(a, PI(r), m); break;
    default: memcpy(PL(r), a, m * 8);
  }
  mk.back();
}

ZK_INLINE bool fnv(int t) { return t >= tLAMBDA && t <= tNATIVE; }
ZK_INLINE bool mapped(int t) { return t == tLIST || t == tTABLE || t == tDICT; }

// f(x, y) for x borrowed and the new value x2 made from it (consumed);
// y consumed.
template <class Fn> V via(V x2, V y, Fn f) {
  if (!x2) return mr(y), (V)0;
  V r = f(x2, y);
  mr(x2);
  return r;
}

}  // namespace

V binZ(V x, V y) {
  int ty = tp(y);
  switch (ty) {
    case tLIST: case tTABLE: case tDICT: return r2f(bin, x, y);
    case tRANGE: return (y = gZ(y)) ? binZ(x, y) : 0;
    case tBOOL: return (y = ct(tBYTE, y)) ? binZ(x, y) : 0;
    case tFLT: return via(ct(tFLT, _r(x)), y, binF);
    case tINTA: case tLONGA: case tFLTA: case tCHRA: case tSYMA: {
      V r = binZ(x, enl(y));
      return r ? fir(r) : 0;
    }
    case tBYTE: case tSHORT: case tINT: case tLONG: case tCHR: break;
    default: return fnv(ty) ? ed(y) : et(y);
  }
  int tx = tp(x);
  if (tx == tRANGE) return via(gZ(_r(x)), y, binZ);
  if (tx == tBOOL) return via(ct(tBYTE, _r(x)), y, binZ);
  if (tx == tBYTE || tx == tCHR) {
    // Both 8-bit: a histogram of x by value (bucket 128 + v), its running
    // sum less one, read at 128 + each value of y.  A wider y is capped at
    // 127 and searched as chars, and values below -128 answer -1.
    static V kc_b8, kc_bw;
    if (Tw[ty] == 3) return k2(&kc_b8, "{(-1+\\@[&256;128+x;+;1])128+y}", x, y);
    return k2(&kc_bw, "{@[x'`c$127&y;&-128>y;:;-1]}", x, y);
  }
  J n = nx(x);
  int tr = rtype(n);
  V r = an(nx(y), tr);
  switch (Tw[tx]) {
    case 4: bzw(P<int16_t>(x), n, y, ty, r, tr); break;
    case 5: bzw(PI(x), n, y, ty, r, tr); break;
    default: bzw(PL(x), n, y, ty, r, tr);
  }
  mr(y);
  return r;
}

V binF(V x, V y) {
  int ty = tp(y);
  switch (ty) {
    case tLIST: case tTABLE: case tDICT: return r2f(binF, x, y);
    case tRANGE: case tBOOL: case tBYTE: case tSHORT: case tINT: case tLONG: case tCHR:
      return (y = ct(tFLT, y)) ? binF(x, y) : 0;
    case tFLT: {
      // Order keys turn the float order (NaN lowest, -0 = 0) into the
      // signed order of longs.
      V ky = of_(y, 1);
      return ky ? via(of_(_r(x), 1), ky, binZ) : 0;
    }
    case tINTA: case tLONGA: case tFLTA: case tCHRA: case tSYMA: {
      V r = binF(x, enl(y));
      if (!r) return 0;
      V a = io(r, 0);
      mr(r);
      return a;
    }
    default: return fnv(ty) ? ed(y) : et(y);
  }
}

V binS(V x, V y) {
  int ty = tp(y);
  if (mapped(ty)) return r2f(bin, x, y);
  if (ty == tSYMA) {
    V r = binS(x, enl(y));
    return r ? fir(r) : 0;
  }
  if (ty != tSYM) return et(y);
  J n = nx(x);
  UJ m = nx(y);
  int tr = rtype(n);
  V r = an((U)m, tr);
  const I *xs = PI(x), *ys = PI(y);
  char buf[8];
  for (UJ j = 0; j < m; j++) {
    // A short name's text sits in a ring slot that the texts of x's items
    // would overwrite: it is copied out first.  Pooled texts are read in place.
    const char *t = su(ys[j]);
    if (ys[j] >= 0) t = (const char *)memcpy(buf, t, sizeof buf);
    J l = -1, h = n;
    while (l + 1 < h) {
      J md = (l + h) >> 1;
      if (strcmp(t, su(xs[md])) < 0) h = md;
      else l = md;
    }
    put(r, tr, j, l);
  }
  mr(y);
  return r;
}

V bin(V x, V y) {
  int tx = tp(x), ty = tp(y);
  switch (tx) {
    case tSYM: return binS(x, y);
    case tFLT: return binF(x, y);
    case tCHR:
      if (ty == tLIST || ty == tDICT) return binZ(x, y);
      // Chars order as unsigned codes: both sides as their codes.
      if (ty == tCHR || ty == tCHRA) y = ucb(y);
      return via(ucb(_r(x)), y, binZ);
    case tRANGE: case tBOOL: case tBYTE: case tSHORT: case tINT: case tLONG: return binZ(x, y);
    case tDATE: case tTIME: case tTSTAMP: case tMINUTE: case tSECOND: case tMONTH: case tTSPAN:
      // Temporal values search only their own type, as their counts.  An
      // atom keeps its 32-bit null as stored, so that it lands where the
      // same atom does inside a vector.
      if (ty == tx) return (y = tqi(y)) ? binZ(x, y) : 0;
      if (ty == tx + 22) {
        J v = heap(y) ? PL(y)[0] : (J)ip(y);
        mr(y);
        return binZ(x, al(v));
      }
      return et(y);
    case tDICT: {
      V r = bin(PA(x)[1], y);
      return r ? _1(PA(x)[0], r) : 0;
    }
    default: return et(y);
  }
}

}  // namespace zk
