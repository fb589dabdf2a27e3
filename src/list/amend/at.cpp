// at.cpp: `@` with three or four arguments (v8 slot 18): a8q picks the
// form, a8t is the protected application @[f; x; e], a8 the amend core.
//
// least version: the protected application, a8's first row (a function
// in the first place is applied to the other arguments) and its dict row
// with `:` (what joining two dicts needs: existing keys take the new
// values, new keys are appended in order).  The other amends of lists,
// dicts, tables and globals by name fail with 'nyi until the list
// primitives' owner builds the amend engine here.
//
// Ownership, as for every n-adic verb: args[0] is consumed, the others
// borrowed (the caller releases them).
#include <vector>
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {
ZK_INLINE bool fnt(int t) { return t >= tLAMBDA && t <= tNATIVE; }

// @[x; k; :; v] for a dict x (consumed) whose keys are not a table, the
// keys k a vector or list and v their values (both borrowed).
V dset(V x, V k, V v) {
  J m = _n(k), n = _n(x);
  V p = fnw(fnd(PA(x)[0], _r(k)), m);
  if (!p) return mr(x), (V)0;
  V q = fnw(fnd(k, _r(k)), m);  // first occurrence of each key among k
  if (!q) return mr(p), mr(x), (V)0;
  int vt = tp(PA(x)[1]);
  V vs = blw(_r(PA(x)[1])), nk = _r(PA(x)[0]);
  std::vector<J> slot((size_t)m);
  for (J j = 0; j < m && vs && nk; j++) {
    J at = PL(p)[j], f = PL(q)[j];
    if (at == NJ) at = f < j ? slot[(size_t)f] : -1;
    V val = ii(v, j);
    if (at < 0) {  // a new key
      slot[(size_t)j] = n++;
      nk = psh(nk, ii(k, j));
      if (!nk) mr(val);
      else vs = psh(vs, val);
    } else {
      slot[(size_t)j] = at;
      vs = mut(vs);
      mr(PA(vs)[at]);
      PA(vs)[at] = val;
    }
  }
  mr(p), mr(q), mr(x);
  if (!vs || !nk) {
    if (vs) mr(vs);
    if (nk) mr(nk);
    return 0;
  }
  return am(nk, vt == tLIST ? vs : sqz(vs));
}
}  // namespace

V a8t(V f, V *args) {
  V l = aA1(_r(args[1]));
  V r = try_(f, l, args[2]);
  mr(l);
  return r;
}

V a8(V *args, U n) {
  V x = args[0];
  if (fnt(tp(x))) {
    // Code that f runs starts at no-squeeze depth 0, whatever the amend
    // around it is doing.
    V a[8];
    for (U i = 1; i < n; i++) a[i - 1] = _r(args[i]);
    I d = tl.nsq;
    tl.nsq = 0;
    V r = _8(x, a, n - 1);
    tl.nsq = d;
    mr(x);
    return r;
  }
  if (tp(x) == tDICT && n == 4 && args[2] == mp2(0) && tp(PA(x)[0]) != tTABLE &&
      tp(args[1]) < tTABLE && _n(args[1]) == _n(args[3]))
    return dset(x, args[1], args[3]);
  return en(x);
}

V a8q(V *args, U n) {
  V x = args[0];
  int t = tp(x);
  if (n == 3 && t == tLAMBDA && hd(x)->valence == 1) return a8t(x, args);
  if (n == 3 && (t == tINTA || t == tLONGA) && tp(args[2]) > tSYMA) return a8t(x, args);
  if (n == 4 && t == tSYMA) return en(x);  // amend of a global by name
  return a8(args, n);
}

}  // namespace zk
