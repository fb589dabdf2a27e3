// amend.cpp: indexed assignment for the VM (ixca) and its error (ixer).
//
// least version: one index that is an int or long atom (or a one-item
// integer vector), into a general list or a vector, with or without a
// dyad (x[i]:y, x[i]+:y).  An integer item that does not fit its vector's
// width widens the vector; an item of another type is 'type.  Every other
// form (several indices, index vectors, dicts, tables) fails with 'nyi
// until the list primitives' amend engine replaces this file.
#include "core/err.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

ZK_INLINE bool intv(int t) { return t >= tBYTE && t <= tLONG; }

// Writes atom a (consumed) into item i of vector x; false when its type
// does not fit.  *px may be replaced by a wider vector.
bool put(V *px, J i, V a) {
  V x = *px;
  int t = tp(x), at = tp(a);
  if (intv(t) && (at == tINTA || at == tLONGA)) {
    J v = gl(a);
    int w = tZ(v);
    if (w > t) *px = x = cZ(w, x), t = w;
    switch (t) {
      case tBYTE: P<int8_t>(x)[i] = (int8_t)v; break;
      case tSHORT: P<int16_t>(x)[i] = (int16_t)v; break;
      case tINT: PI(x)[i] = (I)v; break;
      default: PL(x)[i] = v;
    }
    return true;
  }
  if (at < tINTA || TT[at] != t || t == tLIST) return mr(a), false;
  switch (Tw[t]) {
    case 3: P(x)[i] = (G)a; break;
    case 5: PI(x)[i] = ip(a); break;
    default: PL(x)[i] = PL(a)[0];
  }
  mr(a);
  return true;
}

}  // namespace

I ixca(V *slot, V cur, V idx, V y, I d) {
  if (_n(idx) != 1) return en0(), 4;
  V i0 = ii(idx, 0);
  int it = tp(i0);
  if (it != tINTA && it != tLONGA) return mr(i0), en0(), 4;
  J i = gl(i0);
  int t = tp(cur);
  if (t == tRANGE || t == tBOOL || t >= tTABLE) return en0(), 4;
  if (i < 0 || i >= _n(cur)) return 1;
  V v = _r(y);
  if (d) {
    V o = ii(cur, i);
    v = v2[d & 31](o, v);
    mr(o);
    if (!v) return 4;
  }
  *slot = mut(cur);
  if (t == tLIST) {
    mr(PA(*slot)[i]);
    PA(*slot)[i] = v;
    return 0;
  }
  return put(slot, i, v) ? 0 : 3;
}

V ixer(I st) {
  switch (st) {
    case 1: return ei0();
    case 2: return el0();
    case 3: return et0();
    default: return 0;
  }
}

}  // namespace zk
