// ari.cpp: the arithmetic and comparison verbs of the dyadic table
// (+ - * % & | < > =), the right verb `:` (dex) and the identity sam.
//
// least version: atoms only.  Two int or long atoms, or any mix with a
// float atom, are computed here; every other operand pair (vectors, lists,
// chars, temporals, symbols) fails with 'nyi until the dispatcher `ari`
// and its kernels replace this file.  Integer results follow the engine's
// atom rule: an int atom when the value fits 32 signed bits, else a long
// atom; long arithmetic wraps, and a long null in gives the long null out.
// Comparisons give the int atom 0 or 1; floats compare with every NaN
// equal to every NaN and below everything else, and -0.0 equal to 0.0.
#include <cmath>
#include "core/err.h"
#include "num/num.h"

namespace zk {

V sam(V x) { return x; }
V dex(V x, V y) { return y; }

namespace {

enum { kI, kF, kX };  // integer atom, float atom, anything else

ZK_INLINE int kind(V x) {
  int t = tp(x);
  return t == tINTA || t == tLONGA ? kI : t == tFLTA ? kF : kX;
}
ZK_INLINE J ival(V x) { return heap(x) ? PL(x)[0] : (J)ip(x); }
ZK_INLINE F fval(V x) {
  if (tp(x) == tFLTA) return PF(x)[0];
  J v = ival(x);
  return v == NJ ? NAN : (F)v;
}
// Order key of a float: NaN lowest, the two zeros one value.
ZK_INLINE F fkey(F a) { return a != a ? -INFINITY : a == 0 ? 0.0 : a; }
ZK_INLINE bool flt(F a, F b) {
  bool na = a != a, nb = b != b;
  if (na || nb) return na && !nb;
  return fkey(a) < fkey(b);
}
ZK_INLINE F z0(F a) { return a == 0 ? 0.0 : a; }  // -0.0 to 0.0
ZK_INLINE bool feq(F a, F b) { return (a != a && b != b) || a == b; }

template <int op> V ar(V x, V y) {
  int a = kind(x), b = kind(y);
  if (a == kX || b == kX) return en(y);
  V r;
  if (a == kI && b == kI) {
    J p = ival(x), q = ival(y);
    bool nul = p == NJ || q == NJ;
    switch (op) {
      case 1: r = nul ? al(NJ) : az((J)((UJ)p + (UJ)q)); break;
      case 2: r = nul ? al(NJ) : az((J)((UJ)p - (UJ)q)); break;
      case 3: r = nul ? al(NJ) : az((J)((UJ)p * (UJ)q)); break;
      case 4: r = af(fval(x) / fval(y)); break;
      case 6: r = az(p < q ? p : q); break;
      case 7: r = az(p > q ? p : q); break;
      case 8: r = ai(p < q); break;
      case 9: r = ai(p > q); break;
      default: r = ai(p == q); break;
    }
  } else {
    F p = fval(x), q = fval(y);
    switch (op) {
      case 1: r = af(p + q); break;
      case 2: r = af(p - q); break;
      case 3: r = af(p * q); break;
      case 4: r = af(p / q); break;
      case 6: r = af(z0(flt(q, p) ? q : p)); break;
      case 7: r = af(z0(flt(p, q) ? q : p)); break;
      case 8: r = ai(flt(p, q)); break;
      case 9: r = ai(flt(q, p)); break;
      default: r = ai(feq(p, q)); break;
    }
  }
  mr(y);
  return r;
}

}  // namespace

V add(V x, V y) { return ar<1>(x, y); }
V sub(V x, V y) { return ar<2>(x, y); }
V mul(V x, V y) { return ar<3>(x, y); }
V dvd(V x, V y) { return ar<4>(x, y); }
V mnu(V x, V y) { return ar<6>(x, y); }
V mxu(V x, V y) { return ar<7>(x, y); }
V ltu(V x, V y) { return ar<8>(x, y); }
V gtu(V x, V y) { return ar<9>(x, y); }
V eql(V x, V y) { return ar<10>(x, y); }

}  // namespace zk
