// ixq.h: the store of one item in place that indexed assignment tries
// before it plans anything, inline for the VM, which tries it on the
// index items of its stack without making the path list.
//
// Names: ixqs = one integer into a vector; ixcs = the VM's entry; in ixqd
// its helpers (iat, ival, sdict).
#pragma once
#include "list/amend/ix.h"

namespace zk {
namespace ixqd {

ZK_INLINE bool iat(V q) { return tp(q) == tINTA || tp(q) == tLONGA; }
ZK_INLINE J ival(V q) { return heap(q) ? PL(q)[0] : (J)ip(q); }  // of an integer atom

// x a heap value of type t without an attribute, held by one reference;
// sm: its count may be shared (read as sole does), else plain.
ZK_INLINE bool own(V x, int t, bool sm) {
  return heap(x) && hd(x)->type == t && !hd(x)->attr && (sm ? sole(hd(x)) : hd(x)->rc == 1);
}

// The commonest amend: the integer i into a vector of the item's own kind
// (an integer that fits its width, a float), held only by its variable
// and without an attribute, stored where it is.  -1 when it does not apply.
// sm as own's.
ZK_INLINE I ixqs(V x, J i, V y, bool sm) {
  int t = tp(x), yt = tp(y);
  if (!own(x, t, sm)) return -1;
  if (t >= tBYTE && t <= tLONG && (yt == tINTA || yt == tLONGA)) {
    J v = ival(y);
    if (t != tLONG && tZ(v) > t) return -1;  // every integer fits a long
    if ((UJ)i >= (UJ)nx(x)) return 1;
    switch (t) {
      case tBYTE: P<int8_t>(x)[i] = (int8_t)v; break;
      case tSHORT: P<int16_t>(x)[i] = (int16_t)v; break;
      case tINT: PI(x)[i] = (I)v; break;
      default: PL(x)[i] = v;
    }
    return 0;
  }
  if (t == tFLT && yt == tFLTA) {
    if ((UJ)i >= (UJ)nx(x)) return 1;
    PF(x)[i] = PF(y)[0];
    return 0;
  }
  return -1;
}

// An unshared dict of symbol keys and a general list of values, neither
// with an attribute: the one whose value at a key ixqs may store into.
// Outside shared mode.
ZK_INLINE bool sdict(V x) {
  return own(x, tDICT, false) && tp(PA(x)[0]) == tSYM && own(PA(x)[1], tLIST, false);
}

// The vector that x[k;i]:y stores into at depth: x an unshared symbol-keyed
// dict (sdict) and k one of its keys, or an unshared general list and k an
// integer index into it; 0 otherwise.  Outside shared mode.
ZK_INLINE V ixcd(V x, V k) {
  if (tag(k) == tSYMA) {
    if (!sdict(x)) return 0;
    V ks = PA(x)[0];
    U n = nx(ks), j = 0;
    I s = ip(k);
    while (j < n && PI(ks)[j] != s) j++;
    return j == n ? 0 : PA(PA(x)[1])[j];
  }
  if (!iat(k) || !own(x, tLIST, false)) return 0;
  J i = ival(k);
  return (UJ)i >= (UJ)nx(x) ? 0 : PA(x)[i];
}

}  // namespace ixqd

// Plain x[i]:y, x[j;i]:y and x[`s;i]:y from the m index items q in path
// order (as they sit on the VM's stack), when the store is one item
// written in place: i an integer into an unshared vector, reached through
// an unshared general list or symbol-keyed dict (ixcd).  0 when done; -1
// when it does not apply (nothing changed: ixca then takes the whole
// amend), or 1 ('index) for a lone i outside x.  Every value stays the
// caller's.  sm: shared mode, as the caller has already read it (the VM
// keeps the thread block at hand; a read of its own would cost a call to
// the TLS resolver and the spills around it).
ZK_INLINE I ixcs(V *slot, const V *q, U m, V y, I glb, bool sm) {
  using namespace ixqd;
  // Shared mode (a global is refused there anyway) goes by the counts
  // that sole reads: the general route.
  if (sm || (glb && ixgs)) return -1;
  V x = *slot;
  if (!x || m - 1 > 1 || !iat(q[m - 1])) return -1;
  if (m == 2 && !(x = ixcd(x, q[0]))) return -1;
  I r = ixqs(x, ival(q[m - 1]), y, false);
  return m == 2 && r > 0 ? -1 : r;  // a failure at depth goes by the walk
}

}  // namespace zk
