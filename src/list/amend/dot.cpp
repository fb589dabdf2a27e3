// dot.cpp: `.` with three or four arguments (v8 slot 19): d8 picks the
// form: the protected application .[f; args; e], the amend of a global by
// name, or the amend at depth.
//
// The amend at depth walks the path one level per item: the first item
// indexes x through the `@` amend (a8), whose function is a projection of
// a recursion native over the rest of the path, so every selected item is
// amended by the levels after it.  Names: d3 / d4 = the amend at depth
// with three or four arguments; d3t / d4t = the same, never taking an item
// for a name; dt3 / dt4 = the natives the levels recurse through, which
// route an item by its type (an atom or function back to d8, a symbol
// vector to the t forms); ds3 / ds4 = the natives of the t forms; dd = the
// one body of all four amends, y 0 for the three-argument forms; dpj = the
// projection of a recursion native over the rest of a path.
//
// A (row; column; ...) path into a table of plain columns amends only that
// column (tci, tca in tbl.cpp); an empty table amended at every row by a
// function is returned as it is (tnr).
//
// Names at depth (a symbol atom met as an item, the global named by x)
// amend that global in its own cell (d8g, glob.cpp).
//
// Ownership, as for every n-adic verb: args[0] is consumed, the others
// borrowed (the caller releases them).  d3, d4, d3t, d4t consume x and
// borrow the rest; the natives consume every argument.
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"

namespace zk {

namespace {

ZK_INLINE V nat(void *p, U arity) {
  return (V)tNATIVE << 56 | (V)arity << 48 | ((V)(uintptr_t)p & 0xFFFFFFFFFFFFull);
}

// f applied to x (consumed) and y (borrowed, 0 for none) with the
// no-squeeze depth at 0.
V app2(V f, V x, V y) {
  V a[2] = {x, y ? _r(y) : 0};
  I d = tl.nsq;
  tl.nsq = 0;
  V r = _8(f, a, y ? 2 : 1);
  tl.nsq = d;
  return r;
}

}  // namespace

V dpj(V rest, bool y, bool t) {
  V g = y ? (t ? nat((void *)ds4, 4) : nat((void *)dt4, 4)) : t ? nat((void *)ds3, 3) : nat((void *)dt3, 3);
  V pa[2] = {GAP, rest};
  V pj = prj(g, pa, 2);
  if (pj) hd(pj)->valence = y ? 3 : 2;
  return pj;
}

namespace {

V dd(V x, V path, V f, V y, bool t) {
  int pt = tp(path);
  if (path == GNULL || (pt < tINTA && !_n(path))) return app2(f, x, y);
  if (pt >= tINTA || _n(path) == 1) {
    V i = pt >= tINTA ? _r(path) : io(path, 0);
    V a[4] = {x, i, f, y};
    V r = a8(a, y ? 4 : 3);
    mr(i);
    return r;
  }
  if (I k = tci(x, path)) {
    if (k > 0) return tca(x, path, f, y, k - 1);
    if (y && f == mp2(0)) return tcs(x, path, y);
  }
  if (tnr(x, path, f, y)) return x;
  V rest = drp(1, _r(path));
  if (!rest) return mr(x), (V)0;
  V pj = dpj(rest, y, t);
  if (!pj) return mr(x), (V)0;
  V i = ii(path, 0);
  V a[5] = {x, i, pj, f, y};
  V r = a8(a, y ? 5 : 4);
  mr(i), mr(pj);
  return r;
}

// Routes item x of a level: an atom or a function may be a handle or a
// name, so it goes back to d8; a symbol vector never names anything.
V route(V x, V path, V f, V y) {
  int t = tp(x);
  V r;
  if (t >= tINTA) {
    V a[4] = {x, path, f, y};
    r = d8(a, y ? 4 : 3);
  } else r = dd(x, path, f, y, t == tSYM);
  mr(path), mr(f);
  if (y) mr(y);
  return r;
}

V tform(V x, V path, V f, V y) {
  V r = dd(x, path, f, y, true);
  mr(path), mr(f);
  if (y) mr(y);
  return r;
}

}  // namespace

V d3(V x, V path, V f) { return dd(x, path, f, 0, false); }
V d4(V x, V path, V f, V y) { return dd(x, path, f, y, false); }
V d3t(V x, V path, V f) { return dd(x, path, f, 0, true); }
V d4t(V x, V path, V f, V y) { return dd(x, path, f, y, true); }
V dt3(V x, V path, V f) { return route(x, path, f, 0); }
V dt4(V x, V path, V f, V y) { return route(x, path, f, y); }
V ds3(V x, V path, V f) { return tform(x, path, f, 0); }
V ds4(V x, V path, V f, V y) { return tform(x, path, f, y); }

V d8(V *args, U n) {
  V x = args[0];
  int t = tp(x);
  if (t == tSYMA || t == tSYM) return d8g(args, n);  // amend of a global by name (glob.cpp)
  if (t >= tLAMBDA && t <= tNATIVE) {
    if (n != 3) return er(x);
    return try_(x, args[1], args[2]);
  }
  if (t == tINTA && n == 3 && tp(args[2]) > tSYMA) return try_(x, args[1], args[2]);
  if (n == 3) return d3(x, args[1], args[2]);
  if (n == 4) return d4(x, args[1], args[2], args[3]);
  return en(x);
}

}  // namespace zk
