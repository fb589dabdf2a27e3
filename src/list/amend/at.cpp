// at.cpp: `@` with three or four arguments (v8 slot 18): a8q picks the
// form, a8t is the protected application @[f; x; e], a8 the amend core.
//
// least version: the protected application, and a8's first row (a
// function in the first place is applied to the other arguments).  The
// amends of lists, dicts, tables and globals by name fail with 'nyi until
// the list primitives' owner builds the amend engine here.
//
// Ownership, as for every n-adic verb: args[0] is consumed, the others
// borrowed (the caller releases them).
#include "core/err.h"
#include "eval/eval.h"
#include "list/list.h"

namespace zk {

namespace {
ZK_INLINE bool fnt(int t) { return t >= tLAMBDA && t <= tNATIVE; }
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
