// bin.cpp: bin, binary search of a sorted numeric vector.
//
// least version: what step dicts with numeric keys need (boolean, integer
// and float keys; integer, long and float atoms or vectors to look up);
// the ordering owner completes it.  Keys and items compare as doubles when
// either side is float, else as 64-bit integers.
#include "core/err.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE F fat(V x, int t, UJ i) { return t == tFLT ? PF(x)[i] : (F)iti(x, t, i); }

// The last index of x whose item is not greater than item j of y.
J bin1(V x, int tx, J n, V y, int ty, UJ j) {
  bool fl = tx == tFLT || ty == tFLT;
  J lo = 0, hi = n;  // answer in lo-1 .. hi-1
  while (lo < hi) {
    J m = lo + (hi - lo) / 2;
    bool le = fl ? fat(x, tx, (UJ)m) <= fat(y, ty, j) : iti(x, tx, (UJ)m) <= iti(y, ty, j);
    if (le) lo = m + 1;
    else hi = m;
  }
  return lo - 1;
}

}  // namespace

V bin(V x, V y) {
  int tx = tp(x), ty = tp(y);
  J n = _n(x);
  if (ty == tINTA || ty == tLONGA || ty == tFLTA) {
    V v = enl(y);
    V r = bin(x, v);
    if (!r) return 0;
    J p = PL(r)[0];
    mr(r);
    return al(p);
  }
  if (!((ty >= tBOOL && ty <= tFLT) || ty == tRANGE)) return et(y);
  UJ m = (UJ)_n(y);
  V r = aL((U)m);
  for (UJ j = 0; j < m; j++) PL(r)[j] = bin1(x, tx, n, y, ty, j);
  mr(y);
  return r;
}

}  // namespace zk
