// ie.cpp: ie(f, x), the seed of a fold of f over x: the empty value of x's
// type for join, else the identity element of f for the type of x's first
// item.
//
// least version: join, and + - * over integer and float items; every
// other function or item type fails with 'nyi.  The list primitives'
// owner completes it.
#include "core/err.h"
#include "eval/tables.h"
#include "list/list.h"

namespace zk {

V ie(V f, V x) {
  int t = tp(x);
  if (f == mp2(12)) return _r(ce[t == tRANGE ? tBYTE : t < tINTA ? t : TT[t]]);
  int s = tp(f) == tDYAD ? (int)((U)f & 31) : -1;
  if (s < 1 || s > 3) return en0();
  V it = io(x, 0);
  int a = tp(it);
  if (a < tINTA && a != tLIST && a != tTABLE && a != tDICT) {  // a vector item: its items' type
    V i0 = io(it, 0);
    a = tp(i0);
    mr(i0);
  }
  mr(it);
  if (a == tINTA || a == tLONGA) return ai(s == 3);
  if (a == tFLTA) return af(s == 3 ? 1.0 : 0.0);
  return en0();
}

}  // namespace zk
