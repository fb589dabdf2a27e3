// tbl.cpp: the helpers of the table amends.  A table is amended most
// cheaply through the dict of its columns, which is then flipped back.
//
// Names: tcv = amend of named columns with an f other than `:`; tcd = the
// test that such an amend left no usable table (a column became a dict, or
// the values a table); tfa = the table from a dict whose values are atoms,
// each repeated to the row count; tbk = a dict of columns back into a
// table, by flipping it or by tfa; trw = the whole-row write @[t; i; :; y];
// tci / tcc / tca / tcs = the column fast path of a (row; column) path,
// tnr = the no-op amend of an empty table.
//
// Plain column: a list, vector or table with attribute 0.  A table whose
// columns are all plain is amended through the one column a path names,
// in place when it is the sole owner; a sorted column would lose its
// attribute that way, so such tables take the general route.
//
// Ownership: tcv consumes args[0] (the dict of columns) and borrows the
// rest; tcd, tci, tcc and tnr borrow; tfa and tbk consume the dict; trw,
// tca and tcs consume t and borrow the rest.
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

J tcc(V t, V name) {
  V k = PA(t)[0], c = PA(t)[1];
  if (tp(k) != tSYM || tp(name) != tSYMA) return 0;
  J pos = -1;
  for (U j = 0, m = nx(k); j < m; j++) {
    V col = PA(c)[j];
    if (tp(col) > tTABLE || (heap(col) && hd(col)->attr)) return 0;
    if (pos < 0 && PI(k)[j] == ip(name)) pos = j;
  }
  return pos + 1;
}

I tci(V t, V path) {
  if (tp(t) != tTABLE || tp(path) != tLIST || nx(path) < 2) return 0;
  int rt = tp(PA(path)[0]);
  V name = PA(path)[1];
  if ((rt != tINTA && rt != tLONGA) || tp(name) != tSYMA || tp(PA(t)[0]) != tSYM) return 0;
  V k = PA(t)[0];
  bool has = false;
  for (U j = 0, m = nx(k); j < m && !has; j++) has = PI(k)[j] == ip(name);
  if (!has) return -1;
  return (I)tcc(t, name);
}

V tca(V t, V path, V f, V y, J k) {
  U m = nx(path);
  V r = an(m - 1, tLIST);
  PA(r)[0] = _r(PA(path)[0]);
  for (U j = 2; j < m; j++) PA(r)[j - 1] = _r(PA(path)[j]);
  t = mut(t);
  V cols = PA(t)[1] = mut(PA(t)[1]);
  V col = PA(cols)[k];
  PA(cols)[k] = GNULL;
  col = y ? d4(col, r, f, y) : d3(col, r, f);
  mr(r);
  if (!col) return mr(t), (V)0;
  PA(cols)[k] = col;
  // A general-list column of atoms of one kind is a typed vector again.
  for (U j = 0, nc = nx(cols); j < nc; j++)
    if (tp(PA(cols)[j]) == tLIST && nx(PA(cols)[j])) {
      V c = sqz(PA(cols)[j]);
      if (!c) return PA(cols)[j] = GNULL, mr(t), (V)0;
      PA(cols)[j] = c;
    }
  return t;
}

V tcs(V t, V path, V y) {
  U m = nx(path);
  V r = an(m, tLIST);
  for (U j = 0; j < m; j++) PA(r)[j] = _r(PA(path)[j < 2 ? 1 - j : j]);
  V z = d4(t, r, mp2(0), y);
  mr(r);
  return z;
}

I tnr(V t, V path, V f, V y) {
  if (tp(t) != tTABLE || _n(t) || tp(path) != tLIST || !nx(path) || PA(path)[0] != GNULL) return 0;
  bool fo = tp(f) >= tINTA || !_n(f);
  bool yo = !y || tp(y) >= tINTA || !_n(y);
  return fo && yo;
}

}  // namespace zk
