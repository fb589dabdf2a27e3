// kcl.cpp: kcl, the columns of one table put in another's column order,
// so that two keyed tables can be combined row by row; tky, a lookup value
// turned into the key columns of a key table, in its column order.
#include <vector>
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

V kcl(V x, V y) {
  V nx_ = PA(x)[0], ny = PA(y)[0];
  if (tp(nx_) != tSYM || tp(ny) != tSYM || nx(nx_) != nx(ny)) return ed0();
  U n = nx(nx_);
  const I *a = PI(nx_), *b = PI(ny);
  std::vector<U> at(n);
  std::vector<G> used(n);
  bool same = true;
  for (U i = 0; i < n; i++) {
    U j = 0;
    while (j < n && (used[j] || b[j] != a[i])) j++;
    if (j == n) return ed0();  // a name y lacks, or has fewer times
    used[j] = 1;
    at[i] = j;
    same &= j == i;
  }
  if (same) return _r(y);
  V c = an(n, tLIST), yc = PA(y)[1];
  for (U i = 0; i < n; i++) PA(c)[i] = _r(PA(yc)[at[i]]);
  return aM(_r(nx_), c);
}

namespace {


}  // namespace

V tky(V kt, V y, I *single) {
  V kn = PA(kt)[0], kc = PA(kt)[1];
  U nk = nx(kn);
  int t = tp(y);
  *single = t != tTABLE;
  V c;
  if (t == tTABLE || t == tDICT) {
    V yn = y, yc = kv(&yn);
    bool same = mtc_(yn, kn);
    if (!same && (tp(yn) != tSYM || nx(yn) != nk)) return mr(yn), mr(yc), ed0();
    c = an(nk ? nk : 1, tLIST);
    hd(c)->count = nk;
    for (U j = 0; j < nk; j++) {
      U p = j;
      if (!same)
        for (p = 0; p < nk && PI(yn)[p] != PI(kn)[j]; p++) {}
      if (p == nk) return lfail(c, j), mr(yn), mr(yc), ed0();
      PA(c)[j] = ii(yc, p);
    }
    mr(yn), mr(yc);
  } else {
    I dk = 1 + (nk ? dep(PA(kc)[0]) : 0), dy = dep(y);
    if (dy < dk - 1 && nk == 1) y = enl(y), dy = dk - 1;
    if (dy == dk) {
      if (!(y = flp(y))) return 0;
      *single = 0;
    } else if (dy != dk - 1) return el(y);
    if (!(c = blw(y))) return 0;
  }
  if (nx(c) != nk) return el(c);
  if (*single) {
    c = mut(c);
    for (U j = 0; j < nk; j++)
      if (!(PA(c)[j] = enl(PA(c)[j]))) return PA(c)[j] = GNULL, mr(c), (V)0;
  }
  return c;
}

}  // namespace zk
