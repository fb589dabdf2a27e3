// flip.cpp: flip (flp, monadic +) and til (til, monadic !).
//
// Flip turns a table into the dict of its columns and such a dict back
// into a table (the parts are shared, not copied), and transposes a list
// of rows of one count into a list of columns: rows of one type are copied
// at their item width, bit-packed rows become byte columns (flB), rows of
// mixed kinds go item by item (ii) and are squeezed.  An empty list is
// flipped through its prototype; atoms are enlisted twice, other vectors
// once.
//
// Til gives the lazy range of a count, the odometer of a shape, the cross
// product of a list of lists (tld / tlm first turn dict items into their
// values), the keys of a dict or table, the names of a namespace (every
// slot of the globals table whose namespace half matches, defined or not)
// and, for a lambda, what monadic `.` gives.
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {
// n copies of the atom a as a vector (or list) of its kind; a consumed.
V fill(V a, J n) {
  V l = an((U)n ? (U)n : 1, tLIST);
  hd(l)->count = (U)n;
  if (!n) PA(l)[0] = _r(ce[tCHR]);
  for (J i = 0; i < n; i++) PA(l)[i] = _r(a);
  mr(a);
  return n ? sqz(l) : l;
}

// The table of keys k and values v (both consumed).
V dict2table(V k, V v) {
  int tv = tp(v);
  if (tv == tLIST) {
    U c = nx(v);
    if (!c) return aM(k, v);
    J m = cfm(PA(v), c);
    if (m == -2 || (m == -1 && c > 1)) return mr(k), el(v);
    if (m == -1) {  // a single atom value: one column of one row
      v = mut(v);
      PA(v)[0] = enl(PA(v)[0]);
      return aM(k, v);
    }
    if (m > 0xFFFFFFFFll) return mr(k), ez(v);
    v = mut(v);
    for (U i = 0; i < c; i++)
      if (tp(PA(v)[i]) >= 20) PA(v)[i] = fill(PA(v)[i], m);
    return aM(k, v);
  }
  if (tv >= tRANGE && tv <= tTSPAN) return aM(k, e1f(enl, v));  // one row
  mr(k);
  return en(v);
}

// An empty flip: the one column built becomes the prototype of an empty
// list of columns.
V fl0(V r) {
  PA(r)[0] = mkn(PA(r)[0]);
  hd(r)->count = 0;
  return r;
}

// Item j of each of the c rows of x, copied at the rows' item width T.
template <class T> void fcp(const V *x, U c, U j, T *d) {
  for (U l = 0; l < c; l++) d[l] = P<T>(x[l])[j];
}

// Column j of c general-list rows (or, with mixed rows, of any kind): a
// squeezed list; an empty one holds the null of the prototype's item.
V fcl(V x, U c, U j, bool mixed) {
  if (!c) {
    V l = aA0(0);
    PA(l)[0] = mkn(io(PA(x)[0], j));
    return l;
  }
  V l = an(c, tLIST);
  for (U q = 0; q < c; q++) PA(l)[q] = mixed ? io(PA(x)[q], j) : _r(PA(PA(x)[q])[j]);
  return sqz(l);
}

// A list of rows whose counts agree (b each, c rows) into b columns.
V flpL(V x, U c, J b) {
  V *a = PA(x);
  int e = tp(a[0]);
  bool uni = e == tLIST || (e >= tBOOL && e <= tTSPAN);
  for (U q = 1; uni && q < c; q++) uni = tp(a[q]) == e;
  U nb = b ? (U)b : 1;
  V r = an(nb, tLIST);
  if (uni && e == tBOOL) return flB(x, r, c, (U)b);
  for (U j = 0; j < nb; j++) {
    V col;
    if (!uni || e == tLIST) {
      if (!(col = fcl(x, c, j, !uni))) return mr(x), lfail(r, j);
    } else {
      col = an(c, e);
      switch (Tw[e]) {
        case 3: fcp(a, c, j, P<uint8_t>(col)); break;
        case 4: fcp(a, c, j, P<uint16_t>(col)); break;
        case 5: fcp(a, c, j, P<U>(col)); break;
        default: fcp(a, c, j, P<UJ>(col));
      }
    }
    PA(r)[j] = col;
  }
  mr(x);
  return b ? r : fl0(r);
}
}  // namespace

V flB(V rows, V out, U c, U b) {
  U nb = b ? b : 1;
  for (U j = 0; j < nb; j++) {
    V col = an(c, tBYTE);
    G *d = P(col);
    if (!b) memset(d, 0, c);
    else
      for (U l = 0; l < c; l++) d[l] = (P(PA(rows)[l])[j >> 3] >> (j & 7)) & 1;
    PA(out)[j] = col;
  }
  mr(rows);
  return b ? out : fl0(out);
}

V flp(V x) {
  int t = tp(x);
  if (t == tTABLE) {
    V names = x, cols = kv(&names);
    return am(names, cols);
  }
  if (t == tDICT) {
    if (tp(PA(x)[1]) == tTABLE) return en(x);  // keyed tables
    V k = x, v = kv(&k);
    return dict2table(k, v);
  }
  if (t >= tINTA) return enl(enl(x));
  if (t == tBOOL) return (x = ct(tBYTE, x)) ? flp(x) : 0;
  if (t != tLIST) return enl(x);
  U c = nx(x);
  // an empty list is measured through its prototype
  J b = cfm(PA(x), c ? c : 1);
  if (b == -1) return enl(x);
  if (b < -1) return el(x);
  if (b > 0xFFFFFFFFll) return ez(x);
  return flpL(x, c, b);
}

// ---- til ----

V tlm(V x) {
  x = mut(x);
  for (U i = 0, n = nx(x); i < n; i++) {
    V d = PA(x)[i];
    if (tp(d) != tDICT) continue;
    PA(x)[i] = _r(PA(d)[1]);
    mr(d);
  }
  return x;
}

V tld(V x) {
  for (U i = 0, n = nx(x); i < n; i++)
    if (tp(PA(x)[i]) == tDICT) return tlm(x);
  return x;
}

namespace {

// The names defined in namespace ns, in table order, undefined ones too.
V tns(I ns) {
  U n = at_load_acq(gn), c = 0, i = 0;
  const U h = (U)ns;
  // four keys a step: the namespace halves compared without branches
  for (; i + 4 <= n; i += 4)
    c += ((U)(gk[i] >> 32) == h) + ((U)(gk[i + 1] >> 32) == h) + ((U)(gk[i + 2] >> 32) == h) +
         ((U)(gk[i + 3] >> 32) == h);
  for (; i < n; i++) c += (U)(gk[i] >> 32) == h;
  V r = an(c, tSYM);
  I *d = PI(r);
  for (U q = 0, k = 0; q < n && k < c; q++)
    if ((U)(gk[q] >> 32) == h) d[k++] = (I)(U)gk[q];
  return r;
}

V kc_odo, kc_crs;

}  // namespace

V til(V x) {
  int t = tp(x);
  switch (t) {
    case tINTA: case tLONGA: {
      J v = gl(x);
      if (v == NJ || !v) return _r(ce[tBYTE]);
      if (v >= 0x100000000ll || v <= -0x100000000ll) return ez0();
      return v > 0 ? aE(0, v) : aE(v, 0);
    }
    case tRANGE: case tBOOL: case tBYTE: case tSHORT: case tINT: case tLONG:
      return k1(&kc_odo, "{(*a)#'&'x#'1_a:|*\\|x,1}", x);
    case tLIST: return k1(&kc_crs, "{x@'!#'x}", tld(x));
    case tDICT: case tTABLE: {
      V k = _r(PA(x)[0]);
      mr(x);
      return k;
    }
    case tSYM: {
      V s = str(x);
      if (!s || !(s = jc('.', s)) || !(s = ct(tSYM, s))) return 0;
      return til(s);
    }
    case tSYMA: return tns(ip(x));
    case tLAMBDA: return val(x);
    default: return et(x);
  }
}

}  // namespace zk
