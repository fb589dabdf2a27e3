// stand.cpp: weak stand-ins for the path planner and the amend at depth,
// so that the executor and the drivers link and run before those land.
// The planner answers "no plan" and the validator "valid", which sends
// every amend down the unplanned routes with their rescue slots; the
// amend at depth covers the whole value and one level.  The real
// definitions replace these at link time.
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"

namespace zk {

#define ZK_WEAK __attribute__((weak))

ZK_WEAK I ixwk(V, V, V, bool, bool, G *, J *) { return 0; }
ZK_WEAK I ixck(V, V, J, V, bool) { return 0; }
ZK_WEAK I ixkn(V, V, G *, J *) { return 0; }

ZK_WEAK void ixpf(I c, const G *k, const J *p) {
  for (I j = 0; j < (c & 255); j++)
    if (k[j] == 9 && p[j]) mr((V)p[j]);
}

ZK_WEAK bool ixkf(int vt, int it) {
  if (vt == tLIST || vt >= tTABLE) return 1;
  if (vt >= tRANGE && vt <= tLONG) return it == tINTA || it == tLONGA || (it >= tRANGE && it <= tLONG);
  if (it >= tINTA) return TT[it] == vt;
  return it == vt;
}

static V dstep(V x, V path, V f, V y) {
  if (path == GNULL || !_n(path)) {
    V b[2] = {x, y ? _r(y) : 0};
    return _8(f, b, y ? 2 : 1);
  }
  if (tp(path) >= tINTA || _n(path) == 1) {
    V i = tp(path) >= tINTA ? _r(path) : io(path, 0);
    V a[4] = {x, i, f, y};
    V r = a8(a, y ? 4 : 3);
    mr(i);
    return r;
  }
  return en(x);
}

ZK_WEAK V d3(V x, V path, V f) { return dstep(x, path, f, 0); }
ZK_WEAK V d4(V x, V path, V f, V y) { return dstep(x, path, f, y); }
ZK_WEAK V d3t(V x, V path, V f) { return dstep(x, path, f, 0); }
ZK_WEAK V d4t(V x, V path, V f, V y) { return dstep(x, path, f, y); }

}  // namespace zk
