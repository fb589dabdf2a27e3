// tbl.cpp: the helpers of the table amends.  A table is amended most
// cheaply through the dict of its columns, which is then flipped back.
//
// Names: tcv = amend of named columns with an f other than `:`; tcd = the
// test that such an amend left no usable table (a column became a dict, or
// the values a table); tfa = the table from a dict whose values are atoms,
// each repeated to the row count; tbk = a dict of columns back into a
// table, by flipping it or by tfa; trw = the whole-row write @[t; i; :; y].
//
// Ownership: tcv consumes args[0] (the dict of columns) and borrows the
// rest; tcd borrows; tfa and tbk consume the dict; trw consumes t,
// borrows i and y.
#include "core/err.h"
#include "core/sym.h"
#include "eval/tables.h"
#include "list/list.h"

namespace zk {

V tbk(V d, J rows) {
  V v = PA(d)[1];
  bool vec = false;
  if (tp(v) == tLIST)
    for (U j = 0, m = nx(v); j < m && !vec; j++) vec = tp(PA(v)[j]) < tINTA;
  return vec ? flp(d) : tfa(d, rows);
}

V tcv(V *args, U n, V names, J rows) {
  V r = a8(args, n);
  if (!r) return 0;
  if (tcd(r, names)) return mr(r), el0();
  return tbk(r, rows);
}

I tcd(V d, V names) {
  V k = PA(d)[0], v = PA(d)[1];
  if (tp(v) == tTABLE) return 1;
  if (tp(v) != tLIST || tp(k) != tSYM) return 0;
  J m = _n(names);
  for (J j = 0; j < m; j++) {
    I s = tp(names) == tSYMA ? ip(names) : PI(names)[j];
    for (U c = 0, nk = nx(k); c < nk; c++)
      if (PI(k)[c] == s && tp(PA(v)[c]) == tDICT) return 1;
  }
  return 0;
}

V tfa(V d, J rows) {
  d = mut(d);
  V v = PA(d)[1];
  J m = _n(v);
  V c = an((U)m, tLIST);
  for (J j = 0; j < m; j++)
    if (!(PA(c)[j] = rsz(rows, ii(v, j)))) return lfail(c, (U)j), mr(d), (V)0;
  mr(v);
  PA(d)[1] = c;
  return flp(d);
}

V trw(V t, V i, V y) {
  V names = PA(t)[0];
  V row = tp(y) == tDICT ? _r(y) : am(_r(names), rsz(_n(names), _r(y)));
  if (!row) return mr(t), (V)0;
  if (i != GNULL) {
    V a[4] = {t, i, mp2(0), row};
    V r = a8(a, 4);
    mr(row);
    return r;
  }
  J rows = _n(t);
  V all = rsz(rows, enl(row)), ix = aE(0, rows);
  if (!all) return mr(ix), mr(t), (V)0;
  V a[4] = {t, ix, mp2(0), all};
  V r = a8(a, 4);
  mr(all), mr(ix);
  return r;
}

}  // namespace zk
