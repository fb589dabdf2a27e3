// flip.cpp: flip (monadic +), between tables and dicts of columns.
//
// least version: tables and dicts are complete (a table gives the dict of
// its columns; a dict gives the table of its keys and column values, atoms
// repeated to the common count); flipping lists of vectors fails with
// 'nyi until the list primitives are built.
//
// til (monadic !), least version: an int or long atom n >= 0 gives the
// range 0..n-1, a dict or table its keys (a table's column names); the
// rest fails with 'nyi.
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "list/list.h"

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
}  // namespace

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
  return en(x);
}

V til(V x) {
  int t = tp(x);
  if ((t == tINTA || t == tLONGA) && gl_(x) >= 0) return aE(0, gl(x));
  if (t == tDICT || t == tTABLE) {
    V k = _r(PA(x)[0]);
    mr(x);
    return k;
  }
  return en(x);
}

}  // namespace zk
