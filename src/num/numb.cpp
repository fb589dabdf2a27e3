// numb.cpp: numeric builtins.  Names: fdvC = fdv, floor division of x by
// a positive integer n, from the pair (x; n).
//
// fdv leans on the modulus operator of the arithmetic dispatcher: with a
// negative integer -n on the left, x ! y divides y by n rounding toward
// minus infinity, for every integer width and for lists item by item.
#include "core/err.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

V fdvC(V a) {
  int t = tp(a);
  if (t > tTSPAN || t == tRANGE || nx(a) != 2) return et(a);
  V x = ii(a, 0), n = ii(a, 1);
  mr(a);
  int tn = tp(n);
  if ((tn != tINTA && tn != tLONGA) || gl_(n) <= 0) return mr(n), et(x);
  J v = -gl(n);
  V d = v == (I)v ? ai((I)v) : al(v);
  I f = tl.f;
  tl.f = 5;
  V r = ari(d, x);
  tl.f = f;
  mr(d);
  return r;
}

}  // namespace zk
