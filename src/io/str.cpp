// str.cpp: the plain text of values: monadic `$` (str), the text of one
// temporal atom (tqs) and the display text of numbers (qstT, builtin
// `qst`).
//
// `$` of an atom is its text; of anything else it is `$` of each item, by
// the rules of the monadic each with a primitive: lists are updated in
// place and squeezed, integer vectors and ranges feed integer atoms, a dict
// keeps its keys, other vectors and tables feed their items (a table its
// rows) into a list kept as built, and an empty argument gives the typed
// empty of `$` of its null item.
//
// Names: snum/sflt = text of an integer/float, ech = `$` of each item,
// o1 = the empty case of ech, sdep = nesting of ech on this thread.
#include <cfloat>
#include <cstdio>
#include "core/err.h"
#include "core/sym.h"
#include "io/io.h"
#include "io/numtext.h"
#include "list/list.h"

namespace zk {

namespace {

// Lists nested deeper than this fail with 'stack instead of exhausting
// the C stack.
inline constexpr int SDEPTH = 2048;
constinit thread_local int sdep = 0;

V snum(J v) {
  V r = an(24, tCHR);
  hd(r)->count = (U)(sl(PC(r), v) - PC(r));
  return r;
}

V sflt(UJ bits) {
  V r = an(24, tCHR);
  hd(r)->count = (U)(sf(PC(r), bits) - PC(r));
  return r;
}

V o1(V x) {
  V s = io(x, 0);
  mr(x);
  V r = str(s);
  return r ? rs0(enl(r)) : 0;
}

V ech(V x) {
  int t = tp(x);
  if (t == tDICT) {
    V v = kv(&x);  // x now holds the keys
    V r = ech(v);
    if (!r) return mr(x), (V)0;
    return am(x, r);
  }
  J n = _n(x);
  if (!n) return o1(x);
  if (n > (J)0xFFFFFFFF) return ez(x);
  if (t == tLIST) {
    x = mut(x);
    for (U i = 0; i < (U)n; i++) {
      V r = str(PA(x)[i]);
      if (!r) {
        PA(x)[i] = GNULL;  // the failed call consumed the item
        mr(x);
        return 0;
      }
      PA(x)[i] = r;
    }
    return sqz(x);
  }
  V l = an((U)n, tLIST);
  if (t == tRANGE || (t >= tBYTE && t <= tLONG)) {  // the text of an integer never fails
    for (U i = 0; i < (U)n; i++) PA(l)[i] = snum(iti(x, t, i));
    mr(x);
    return sqz(l);
  }
  if (t == tSYM) {
    for (U i = 0; i < (U)n; i++) PA(l)[i] = aCz(su(PI(x)[i]));
    mr(x);
    return l;
  }
  for (U i = 0; i < (U)n; i++) {
    V r = str(ii(x, i));
    if (!r) {
      hd(l)->count = i;
      mr(l);
      mr(x);
      return 0;
    }
    PA(l)[i] = r;
  }
  mr(x);
  return l;
}

// Display text of an integer: nulls empty, the infinities 0W and -0W.
V qsn(J v) {
  char b[32];
  if (v == NJ) return an(0, tCHR);
  if (v == WJ) return aCz("0W");
  if (v == NJ + 1) return aCz("-0W");
  snprintf(b, sizeof b, "%lld", (long long)v);
  return aCz(b);
}

V qsf(F d) {
  char b[32];
  if (d != d) return an(0, tCHR);
  if (d > DBL_MAX) return aCz("0w");
  if (d < -DBL_MAX) return aCz("-0w");
  snprintf(b, sizeof b, "%.7g", d);
  return aCz(b);
}

}  // namespace

V str(V x) {
  int t = tp(x);
  switch (t) {
    case tINTA: return snum(ip(x));
    case tLONGA: return snum(gl(x));
    case tFLTA: {
      UJ bits = P<UJ>(x)[0];
      mr(x);
      return sflt(bits);
    }
    case tCHRA: {
      char c = (char)x;
      return aCn(&c, 1);
    }
    case tSYMA: return aCz(su(ip(x)));
    case tLAMBDA: case tPROJ: case tCOMP: case tDERIV: case tMONAD: case tDYAD: case tADV: case tNATIVE:
      return kst(x);
    case tDATEA: case tTIMEA: case tTSTAMPA: case tMINUTEA: case tSECONDA: case tMONTHA: case tTSPANA:
      return tqs(x, 0);
    default: {
      if (sdep >= SDEPTH) return mr(x), es0();
      sdep++;
      V r = ech(x);
      sdep--;
      return r;
    }
  }
}

V tqs(V x, int flags) {
  int t = tp(x);
  if (t < tDATEA) return et(x);
  J v = t == tTSTAMPA || t == tTSPANA ? PL(x)[0] : (J)ip(x);
  mr(x);
  if (v == (t == tTSTAMPA || t == tTSPANA ? NJ : (J)NI)) {
    if (!(flags & 1)) return an(0, tCHR);
    char s[3] = {'0', 'N', tnul[t - tDATEA]};
    return aCn(s, 3);
  }
  V r = an(40, tCHR);
  hd(r)->count = (U)(tqw(PC(r), t, v, flags) - PC(r));
  return r;
}

V qstT(V x) {
  int t = tp(x);
  if (t == tFLTA) {
    F d = PF(x)[0];
    mr(x);
    return qsf(d);
  }
  if (t == tINTA || t == tLONGA) return qsn(gl(x));
  bool iv = t >= tRANGE && t <= tLONG;
  if (iv && _n(x)) {
    // The usual case, no null and no infinity: the plain digits of `$`.
    J lo = WJ, hi = NJ, n = _n(x);
    for (J i = 0; i < n; i++) {
      J v = iti(x, t, (UJ)i);
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
    if (lo >= NJ + 2 && hi != WJ) return str(x);
  }
  if (iv || t == tFLT) {
    J n = _n(x);
    if (!n) return mr(x), emp();
    if (n > (J)0xFFFFFFFF) return ez(x);
    V l = an((U)n, tLIST);
    for (J i = 0; i < n; i++) {
      if (t == tFLT) PA(l)[i] = qsf(PF(x)[i]);
      else PA(l)[i] = qsn(iti(x, t, (UJ)i));
    }
    mr(x);
    return l;
  }
  return str(x);
}

}  // namespace zk
