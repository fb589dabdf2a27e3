// amend.cpp: indexed assignment for the VM (ixca) and its error (ixer).
//
// x[i;j;...]:y and x[i;j;...]op:y.  The whole path is tested first
// (ixwk, amend/plan.cpp): statuses 1 to 3 are answered before anything
// changes.  The amend then runs by the unplanned route: a one-level path
// through ixal (which rolls back through its rescue slot what can fail
// half-way), a deeper one through the amend at depth d4.
//
// Names: ixca = the entry; ixq = one integer into a vector, stored where
// it is; ixun = the unplanned route; ixcp = the same
// route on a target held by one more reference (copy-on-write then copies
// what it changes); ixkk = the keyed-table driver (always on a copy, so a
// failed upsert leaves the table whole); ixer = the error of a status.
//
// Where the change happens:
// - a local is changed in place: the driver takes its slot's reference
//   (the slot holds 0 meanwhile, so a failure never leaves it naming a
//   released value; a rescued value goes back);
// - a global is changed in place only when the amend cannot run language
//   code nor fail once it writes (one level into a list, vector or dict of
//   vectors, by the safe rule of ixal); otherwise the slot keeps the old
//   value while the amend works on a copy, so code that f runs never meets
//   it half-changed or freed, and a failure leaves it as it was;
// - a keyed table is always amended on a copy, so a failed upsert leaves
//   it whole; a dict with the sorted attribute is not amended here yet.
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"

namespace zk {

namespace {

// The route itself: x consumed, the restored value (if any) in *res.
V ixun(V x, V path, V f, V y, V *res) {
  if (ixn(path) != 1) return d4(x, path, f, y);
  V i = ixi(path, 0);
  V r = ixal(x, i, f, y, res);
  if (tp(path) < tINTA) mr(i);
  return r;
}

// The route on x held once more: the slot keeps its value throughout.
I ixcp(V *slot, V x, V path, V f, V y) {
  V res = 0;
  V r = ixun(_r(x), path, f, y, &res);
  if (res) mr(res);
  if (!r) return 4;
  V o = *slot;
  *slot = r;
  if (o) mr(o);
  return 0;
}

// The commonest amend: one integer into a vector of the item's own kind
// (an integer that fits its width, a float), held only by its variable
// and without an attribute, stored where it is.  -1 when it does not apply.
I ixq(V x, V path, V y) {
  int pt = tp(path), t = tp(x), yt = tp(y);
  if (pt < tBYTE || pt > tLONG || nx(path) != 1 || !heap(x) || hd(x)->attr || !sole(hd(x))) return -1;
  J i = ixe(path, 0);
  if (t >= tBYTE && t <= tLONG && (yt == tINTA || yt == tLONGA)) {
    J v = gl_(y);
    if (tZ(v) > t) return -1;
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

}  // namespace

I ixkk(V *slot, V x, V path, V y, I op) { return ixcp(slot, x, path, mp2((U)op), y); }

I ixca(V *slot, V x, V path, V y, I op, I flags) {
  bool glb = flags & 1, plain = !op;
  if (plain)
    if (I q = ixq(x, path, y); q >= 0) return q;
  G kinds[8];
  J pos[8];
  I c = ixwk(x, path, y, plain, glb, kinds, pos);
  if (c < 0) return -c;
  ixpf(c, kinds, pos);  // the plan is not run on this route
  V f = mp2((U)op);
  int t = tp(x);
  if (t == tDICT && tp(PA(x)[0]) == tTABLE) return ixkk(slot, x, path, y, op);
  if (t == tDICT && hd(x)->attr == 1) return en0(), 4;
  if (glb) {
    bool one = ixn(path) == 1 && path != GNULL;
    bool flat = t <= tTSPAN || (t == tDICT && tp(PA(x)[1]) <= tTSPAN);
    if (!one || !flat || !ixsa(x, f, y)) return ixcp(slot, x, path, f, y);
  }
  *slot = 0;
  V res = 0;
  V r = ixun(x, path, f, y, &res);
  *slot = r ? r : res;
  return r ? 0 : 4;
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
