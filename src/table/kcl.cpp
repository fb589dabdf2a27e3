// kcl.cpp: kcl, the columns of one table put in another's column order,
// so that two keyed tables can be combined row by row.
#include <vector>
#include "core/err.h"
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

}  // namespace zk
