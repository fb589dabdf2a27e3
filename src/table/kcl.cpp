// kcl.cpp: kcl, the columns of one table put in another's column order,
// so that two keyed tables can be combined row by row; tky, a lookup value
// turned into the key columns of a key table.
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

// The n rows of the list y (consumed) as nk columns: 'length when a row
// has another count.
V kflip(V y, U nk) {
  J n = _n(y);
  V c = an(nk, tLIST);
  for (U j = 0; j < nk; j++) PA(c)[j] = GNULL;
  for (J i = 0; i < n; i++)
    if (_n(PA(y)[i]) != nk || tp(PA(y)[i]) >= tINTA) return mr(c), el(y);
  for (U j = 0; j < nk; j++) {
    V l = an((U)n ? (U)n : 1, tLIST);
    hd(l)->count = (U)n;
    if (!n) PA(l)[0] = GNULL;
    for (J i = 0; i < n; i++) PA(l)[i] = ii(PA(y)[i], j);
    PA(c)[j] = sqz(l);
  }
  mr(y);
  return c;
}

}  // namespace

V tky(V kt, V y, bool *single) {
  V kn = PA(kt)[0];
  U nk = nx(PA(kt)[1]);
  int ty = tp(y);
  *single = ty != tTABLE;
  V c;
  if (ty == tTABLE || ty == tDICT) {
    V nm = y, vs = kv(&nm);
    if (mtc_(nm, kn)) c = vs;
    else if (tp(nm) == tSYM && nx(nm) == nk) {
      V p = fnd(nm, _r(kn));
      bool bad = !p || tp(p) == tLONG;  // a name of kt that y lacks
      if (bad) {
        if (p) mr(p);
        mr(nm), mr(vs);
        return ed0();
      }
      c = i1(vs, p);
      mr(vs);
      if (!c) return mr(nm), (V)0;
    } else
      return mr(nm), mr(vs), ed0();
    mr(nm);
    if (tp(c) != tLIST) c = blw(c);
  } else {
    I dk = dep(PA(kt)[1]), dy = dep(y);
    if (dy < dk - 1 && nk == 1) y = enl(y), dy++;
    if (dy == dk && ty == tLIST) {
      *single = false;
      if (!(c = kflip(y, nk))) return 0;
    } else if (dy == dk - 1)
      c = tp(y) == tLIST ? y : blw(y);
    else
      return el(y);
  }
  if (!c) return 0;
  if (nx(c) != nk) return el(c);
  if (*single) {
    c = mut(c);
    for (U j = 0; j < nk; j++) PA(c)[j] = enl(PA(c)[j]);
  }
  return c;
}

}  // namespace zk
