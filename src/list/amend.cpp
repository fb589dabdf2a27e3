// amend.cpp: indexed assignment for the VM (ixca) and its error (ixer).
//
// x[i;j;...]:y and x[i;j;...]op:y.  The whole path is tested first
// (ixwk, amend/plan.cpp): statuses 1 to 3 are answered before anything
// changes.  A planned path is then carried out by the executor along the
// plan (amend/exec.cpp), in place; the rest goes by the drivers of
// amend/drive.cpp: operators (ixcv), step dicts (ixcm), keyed tables
// (ixkk) and globals that an amend could reach again (ixcg and its hazard
// test), which alone are amended on a copy.
//
// The slot: a local's holds 0 while the driver has taken its value over,
// a global's `::`, so a failure never leaves it naming a released value;
// a rescued value goes back.  A global keeps its value whenever the amend
// fails.
//
// Names: ixca = the entry; ixq = one integer into a vector, stored where
// it is; ixer = the error of a status.
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/amend/ixq.h"
#include "list/list.h"

namespace zk {

namespace {

// ixqs with the one integer of an index path.
I ixq(V x, V path, V y) {
  int pt = tp(path);
  if (pt < tBYTE || pt > tLONG || nx(path) != 1) return -1;
  return ixqd::ixqs(x, ixe(path, 0), y, true);
}

}  // namespace

I ixca(V *slot, V x, V path, V y, I op, I flags) {
  bool glb = flags & 1, plain = !op;
  G k[IXL];
  J p[IXL];
  I c, gb = 0;
  if (glb && ixgs) {
    IxG *nd = ixgf(slot);
    if (nd && !nd->flat) return 3;  // a planned amend of this global is running
    gb = ixgb();
  }
  if (plain && !gb)
    if (I q = ixq(x, path, y); q >= 0) return q;
  if (gb) {
    int vt = tp(x) == tDICT ? tp(PA(x)[1]) : 0;
    if (vt >= tTABLE && vt != tTABLE) c = -3;
    else c = -ixck(x, path, 0, y, plain);
    if (plain && c < 0) return -c;
    if (!plain) return ixcv(slot, x, path, y, op, flags, k, p, c, gb);
  } else c = ixwk(x, path, y, plain, glb, k, p);
  bool step = tp(x) == tDICT && hd(x)->attr == 1 && x != ixmk;
  if (c > 0 && step) return ixcm(slot, x, path, y, op, flags, k, p, c, 0);
  if (!plain) return ixcv(slot, x, path, y, op, flags, k, p, c, gb);
  if (c < 0) return -c;
  if (c >= 256) return ixcg(slot, x, path, y, op, k, p, c);
  if (!c && tp(x) == tDICT && tp(PA(x)[0]) == tTABLE && !step) return ixkk(slot, x, path, y, op, flags, k, p);
  if (!c && step) return ixcm(slot, x, path, y, op, flags, k, p, c, 0);
  if (!c && glb) return ixcg(slot, x, path, y, op, k, p, 0);
  *slot = glb ? GNULL : 0;
  V res = 0;
  V r = ixas(x, path, y, op, k, p, c, &res);
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
