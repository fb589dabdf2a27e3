// fidiom.cpp: the hidden n-adic verbs the compiler emits for idioms, and
// the general route each of their modes stands for.
//
// Names: fredC fused reduction (v8 slot 27), fmaC multiply-add and
// compress-where (slot 28), fmsC masked fused sum (slot 29), fcntC value
// counts (#'=x), shiftC / shslow a dyadic verb between neighbouring items
// (the shapes (1_x) v (-1_x) and (-1_x) v (1_x), and their sums).
//
// Every mode is defined by a composition of ordinary verbs: the routes here
// are those compositions, so an idiom gives exactly the value, the type and
// the error text of the expression it replaces.  Where, compress and group
// are reached through their verb-table slots (v1 6, v2 27, v1 10), so an
// idiom over a verb that is not built yet fails 'nyi like its expression.
//
// Ownership (the v8 convention): args[0], the mode, is consumed; the other
// arguments are borrowed.  Dyadic verbs borrow x and consume y, monadic
// verbs consume x, hence the _r before each hand-over below.
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"
#include "num/cmpcnt.h"
#include "num/fastid.h"
#include "num/num.h"

namespace zk {

namespace {

// The mode: an int atom's signed payload or a long atom's value; 0 in ok
// when it is neither.  Consumes m.
J mode(V m, bool &ok) {
  int t = tp(m);
  ok = t == tINTA || t == tLONGA;
  if (!ok) {
    mr(m);
    return 0;
  }
  return gl(m);
}

// +/ of r (consumed): the derived verb of the over adverb and `+`.
V sum(V r) {
  if (!r) return 0;
  V f = _1(imm(tADV, 1), mp2(1));
  if (!f) return mr(r), (V)0;
  V s = _1(f, r);
  mr(f);
  return s;
}

// v2[s](x, y), y borrowed.
ZK_INLINE V dy(U s, V x, V y) { return v2[s](x, _r(y)); }

// The body of fredC: (mode; x; y), mode consumed.
V fred(V *a) {
  bool ok;
  J m = mode(a[0], ok);
  if (!ok) return et0();
  V x = a[1], y = a[2];
  if (V r = fredF(m, x, y)) return r;
  if (m >= 200 && m <= 399) return shiftC(m, x);
  switch (m) {
    case 18: return sum(dy(27, x, y));
    case 19: return fcntC(x);
    case 40: {
      V q = dy(4, x, y);
      return q ? v1[15](q) : 0;
    }
    case 108: case 109: case 110: {
      V c = dy((U)(m - 100), x, y);
      return c ? v1[6](c) : 0;
    }
    default:
      // mode 3 is +/x*y, 8..10 the counted comparisons: both the last row
      if (m < 0 || m > 31) return en0();
      return sum(dy((U)m, x, y));
  }
}

ZK_INLINE bool intish(V x) { int t = tp(x); return t == tINTA || t == tLONGA || t == tCHRA; }
ZK_INLINE bool bytec(V x) { int t = tp(x); return t == tBYTE || t == tCHR; }

// r@&s c v by the verbs; an atom before a byte or char vector is moved to
// the right, the comparison reversed, as the fast paths see it.
V cwhere(U c, V r, V s, V v) {
  if (intish(s) && bytec(v)) {
    V t = s;
    s = v, v = t;
    c = c == 8 ? 9 : c == 9 ? 8 : c;
  }
  if (V z = cwfast(c, r, s, v)) return z;
  V k = dy(c, s, v);
  return k ? v2[27](r, k) : 0;
}

}  // namespace

V fredC(V *a, U n) {
  if (n != 3) return en(a[0]);
  return fred(a);
}

V fredB(V *a) { return fred(a); }

V fmaC(V *a, U n) {
  if (n != 4) return en(a[0]);
  bool ok;
  J m = mode(a[0], ok);
  if (!ok) return et0();
  V r = a[1], s = a[2], v = a[3];
  if (m >= 108 && m <= 110) return cwhere((U)(m - 100), r, s, v);
  if (V z = fmafast(m, r, s, v)) return z;
  // Int atoms whose product and result stay int: what the verbs give,
  // without their dispatch (the loop counters of scalar code).
  if (tp(r) == tINTA && tp(s) == tINTA && tp(v) == tINTA) {
    J q = (J)ip(s) * ip(v), z = m ? ip(r) - q : ip(r) + q;
    if (q == (I)q && z == (I)z) return ai((I)z);
  }
  V p = dy(3, s, v);
  return p ? v2[m ? 2 : 1](r, p) : 0;
}

V fmsC(V *a, U n) {
  if (n != 5) return en(a[0]);
  bool ok;
  J b = mode(a[0], ok);
  if (!ok) return et0();
  if (V r = fmsF(b, a[1], a[2], a[3], a[4])) return r;
  V f[4] = {b == (I)b ? ai((I)b) : al(b), a[1], a[2], a[3]};
  // fmaC writes into an unshared r or v; ours are only borrowed, and our
  // caller may read them again, so they are held shared across the call.
  _r(a[1]), _r(a[3]);
  V r = fmaC(f, 4);
  mr(a[1]), mr(a[3]);
  if (!r) return 0;
  V g[3] = {ai(18), r, a[4]};
  V s = fred(g);
  mr(r);
  return s;
}

V fcntC(V x) {
  if (V z = cntfast(x)) return z;
  V g = v1[10](_r(x));
  if (!g) return 0;
  V f = _1(imm(tADV, 0), mp1(14));
  if (!f) return mr(g), (V)0;
  V r = _1(f, g);
  mr(f);
  return r;
}

V shiftC(J m, V x) {
  if (V z = shfast(m, x)) return z;
  J base = m > 299 ? 300 : 200, b = m - base;
  return shslow((U)(b % 16), b > 15, base == 300, x);
}

V shslow(U verb, bool form, bool sum_, V x) {
  V a = drp(form ? 1 : -1, _r(x));
  if (!a) return 0;
  V d = drp(form ? -1 : 1, _r(x));
  if (!d) return mr(a), (V)0;
  V r = v2[verb](d, a);
  mr(d);
  return sum_ && r ? sum(r) : r;
}

}  // namespace zk
