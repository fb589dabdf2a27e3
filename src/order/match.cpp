// match.cpp: mtc_, deep match x~y as a truth value.
//
// least version: same type and content, with the equalities the language
// makes across storage: int and long atoms by value, integer vectors of
// different widths (and ranges) item by item, floats bitwise with every NaN
// equal to every NaN.  The ordering owner completes it (hashing, attributes).
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {

ZK_INLINE bool intv(int t) { return t >= tRANGE && t <= tLONG; }

ZK_INLINE bool feq(UJ a, UJ b) {
  F x, y;
  memcpy(&x, &a, 8);
  memcpy(&y, &b, 8);
  return a == b || (x != x && y != y);
}

bool ints(V x, int tx, V y, int ty) {
  J n = _n(x);
  if (n != _n(y)) return false;
  for (J i = 0; i < n; i++)
    if (iti(x, tx, (UJ)i) != iti(y, ty, (UJ)i)) return false;
  return true;
}

}  // namespace

bool mtc_(V x, V y) {
  if (x == y) return true;
  int tx = tp(x), ty = tp(y);
  if ((tx == tINTA || tx == tLONGA) && (ty == tINTA || ty == tLONGA)) return gl_(x) == gl_(y);
  if (tx != ty) return intv(tx) && intv(ty) && ints(x, tx, y, ty);
  if (!heap(x)) {
    // 32-bit payloads: parse trees keep a source column above bit 31 of a
    // name, which is not part of the value.
    if (tx >= tINTA && tx != tLAMBDA && (tx < tMONAD || tx > tNATIVE)) return (U)x == (U)y;
    return x == y;
  }
  Hdr *a = hd(x), *b = hd(y);
  switch (tx) {
    case tLONGA:
    case tTSTAMPA:
    case tTSPANA: return PL(x)[0] == PL(y)[0];
    case tFLTA: return feq(P<UJ>(x)[0], P<UJ>(y)[0]);
    case tRANGE: return PL(x)[0] == PL(y)[0] && PL(x)[1] == PL(y)[1];
    case tBOOL: return ints(x, tx, y, ty);
  }
  if (a->count != b->count) return false;
  U n = a->count;
  if (iscont(tx)) {
    // Only a derived verb's adverb byte means anything: other containers'
    // header bytes are left as allocation found them.
    if (tx == tDERIV && a->adverb != b->adverb) return false;
    for (U i = 0; i < n; i++)
      if (!mtc_(PA(x)[i], PA(y)[i])) return false;
    return true;
  }
  if (tx == tFLT) {
    for (U i = 0; i < n; i++)
      if (!feq(P<UJ>(x)[i], P<UJ>(y)[i])) return false;
    return true;
  }
  return !memcmp(P(x), P(y), dbytes(n, tx));
}

}  // namespace zk
