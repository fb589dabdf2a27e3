// index.cpp: indexing by application: i1 (x@y), i2 (x[i;j]) and i8
// (x[i;j;...]).
//
// least version: the indexing the application entries need.  Vectors,
// ranges and general lists are indexed by integer atoms, integer vectors,
// ranges and nested lists of those, with null fill; dicts look keys up
// (a missing key gives the null of the values' items); tables give a row
// for an integer, rows for an integer vector, a column for a name and a
// list of columns for a name vector.  Keyed tables, float or char indices
// of tables and columns that do not exist fail with 'nyi until the list
// primitives' owner completes them; an index of a non-integer type on a
// vector fails with 'type.
//
// Names: gat = gather a vector at integer positions, fnd1 = position of one
// key (the count when missing; several keys are found by hashing, fnd),
// dget / tget = dict and table lookups, all = the elided index (`::` or a
// hole), which selects every item, deeper = the indices after the first.
//
// Null fill: positions outside 0..count-1 (0N among them) give the null of
// the items.  Bits and 8/16/32-bit integers have no null of their own, so a
// gather that needs one widens to longs first rather than invent a value.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

inline constexpr V GAPV = ((V)tDYAD << 56) | 26;
inline constexpr UJ NMAX = 0xFFFFFFFFull;

ZK_INLINE bool intv(int t) { return t >= tRANGE && t <= tLONG; }
ZK_INLINE bool all(V y) { return y == GAPV || y == GNULL; }

template <class T> void gatw(T *o, const T *s, V y, int ty, U m, UJ n, T nul) {
  for (U i = 0; i < m; i++) {
    UJ k = (UJ)iti(y, ty, i);
    o[i] = k < n ? s[k] : nul;
  }
}

// x (a vector, range or general list) at the positions of y (an integer
// vector or range); both borrowed.
V gat(V x, V y) {
  int t = tp(x), ty = tp(y);
  J cm = _n(y);
  if (cm < 0) return ed0();
  if ((UJ)cm > NMAX) return ez0();
  U m = (U)cm;
  UJ n = (UJ)_n(x);
  if (!m) return rs0(_r(x));
  bool out = false;
  for (U i = 0; i < m && !out; i++) out = (UJ)iti(y, ty, i) >= n;
  if (t == tLIST) {
    V r = an(m, tLIST);
    for (U i = 0; i < m; i++) PA(r)[i] = io(x, iti(y, ty, i));
    return sqz(r);
  }
  if (t == tRANGE) {
    V r = an(m, tLONG);
    for (U i = 0; i < m; i++) {
      UJ k = (UJ)iti(y, ty, i);
      PL(r)[i] = k < n ? PL(x)[0] + (J)k : NJ;
    }
    return sqzZ(r);
  }
  if (out && t < tLONG) {  // no null at this width: widen first
    V w = ct(tLONG, _r(x));
    if (!w) return 0;
    V r = gat(w, y);
    mr(w);
    return r;
  }
  V r = an(m, t);
  switch (Tw[t]) {
    case 0: {
      memset(P(r), 0, ((UJ)m + 7) >> 3);
      for (U i = 0; i < m; i++) {
        UJ k = (UJ)iti(y, ty, i);
        P(r)[i >> 3] |= (G)(((P(x)[k >> 3] >> (k & 7)) & 1) << (i & 7));
      }
      break;
    }
    case 3: gatw<G>(P(r), P(x), y, ty, m, n, ' '); break;
    case 4: gatw<int16_t>(P<int16_t>(r), P<int16_t>(x), y, ty, m, n, 0); break;
    case 5: gatw<I>(PI(r), PI(x), y, ty, m, n, t == tSYM ? 0 : NI); break;
    default: gatw<J>(PL(r), PL(x), y, ty, m, n, t == tFLT ? (J)NF_BITS : NJ);
  }
  return r;
}

// Each item of the list y (consumed) used as an index by fn on x.
V each(V x, V y, V (*fn)(V, V)) {
  U m = nx(y);
  if (!m) {
    mr(y);
    return rs0(_r(x));
  }
  V r = an(m, tLIST);
  for (U i = 0; i < m; i++) {
    V s = fn(x, _r(PA(y)[i]));
    if (!s) {
      hd(r)->count = i;
      mr(r);
      mr(y);
      return 0;
    }
    PA(r)[i] = s;
  }
  mr(y);
  return sqz(r);
}

// Position of the key y among the keys k, both borrowed; the count of k
// when it is missing.  Same-kind keys compare their payloads directly.
J fnd1(V k, V y) {
  int tk = tp(k), ty = tp(y);
  J n = _n(k);
  if (intv(tk)) {
    if (ty != tINTA && ty != tLONGA) return n;
    J v = gl_(y);
    for (J j = 0; j < n; j++)
      if (iti(k, tk, (UJ)j) == v) return j;
    return n;
  }
  if (tk != tLIST && !heap(y)) {
    if (TT[ty] != tk || ty < tINTA) return n;
    if (Tw[tk] == 3) {
      for (J j = 0; j < n; j++)
        if ((G)P(k)[j] == (G)y) return j;
      return n;
    }
    for (J j = 0; j < n; j++)
      if (PI(k)[j] == ip(y)) return j;
    return n;
  }
  for (J j = 0; j < n; j++) {
    V kj = ii(k, j);
    bool e = mtc_(kj, y);
    mr(kj);
    if (e) return j;
  }
  return n;
}

V dget(V d, V y);

// One key of a dict d: its value, or the null of the values' items.
V dget1(V d, V y) {
  V r = io(PA(d)[1], fnd1(PA(d)[0], y));
  mr(y);
  return r;
}

V dget(V d, V y) {
  V k = PA(d)[0], v = PA(d)[1];
  int tk = tp(k), ty = tp(y);
  if (tk == tTABLE) return en(y);  // keyed tables: not built here
  if (ty == tDICT) {
    V r = dget(d, _r(PA(y)[1]));
    V yk = _r(PA(y)[0]);
    mr(y);
    return r ? am(yk, r) : (mr(yk), (V)0);
  }
  if (tk == tLIST) {  // compound keys: y as one key first
    J p = fnd1(k, y);
    if (p < _n(k) || ty != tLIST) {
      V r = io(v, p);
      mr(y);
      return r;
    }
    return each(d, y, dget);
  }
  if (ty == tLIST) return each(d, y, dget);
  if (ty >= tINTA || ty == tTABLE) return dget1(d, y);
  // Positions by hashing, 0N for a missing key, which the gather fills with
  // the null; the values may be a table, whose rows are gathered then.
  V p = fnd(k, y);
  return p ? i1(v, p) : 0;
}

// The column named id of table x, borrowed; 0 when there is none.
V col(V x, I id) {
  V nm = PA(x)[0];
  for (U j = 0, c = nx(nm); j < c; j++)
    if (PI(nm)[j] == id) return PA(PA(x)[1])[j];
  return 0;
}

V tget(V x, V y) {
  int ty = tp(y);
  V nm = PA(x)[0], cs = PA(x)[1];
  U c = nx(cs);
  if (ty == tINTA || ty == tLONGA) {
    J i = gl(y);
    V r = c ? an(c, tLIST) : aA0(0);
    for (U j = 0; j < c; j++) PA(r)[j] = io(PA(cs)[j], i);
    return am(_r(nm), sqz(r));
  }
  if (intv(ty)) {
    V r = c ? an(c, tLIST) : aA0(0);
    for (U j = 0; j < c; j++) {
      V s = gat(PA(cs)[j], y);
      if (!s) {
        hd(r)->count = j;
        mr(r);
        return mr(y), (V)0;
      }
      PA(r)[j] = s;
    }
    mr(y);
    return aM(_r(nm), r);
  }
  if (ty == tSYMA) {
    V s = col(x, ip(y));
    return s ? (mr(y), _r(s)) : en(y);
  }
  if (ty == tSYM) {
    U m = nx(y);
    V r = m ? an(m, tLIST) : aA0(0);
    for (U i = 0; i < m; i++) {
      V s = col(x, PI(y)[i]);
      if (!s) {
        hd(r)->count = i;
        mr(r);
        return en(y);
      }
      PA(r)[i] = _r(s);
    }
    mr(y);
    return r;
  }
  if (ty == tLIST) return each(x, y, tget);
  return en(y);
}

// Does the index y select several items of x (so that the indices after
// it go to each of them)?
bool many(V x, V y) {
  if (all(y)) return true;
  int ty = tp(y);
  if (ty < tRANGE && ty != tLIST) return false;
  if (ty > tTSPAN) return false;
  if (tp(x) == tDICT && tp(PA(x)[0]) == tLIST) return fnd1(PA(x)[0], y) == _n(PA(x)[0]);
  return true;
}

// The indices after the first, for one selected item: data is indexed
// further and a function applied, but an atom holds nothing to index: an
// int atom met at depth is never taken for a handle (which could write to
// a descriptor), nor a symbol for a builtin.
V deeper(V r, V *a, U n) {
  int t = tp(r);
  if (t >= tLAMBDA && t <= tNATIVE) return _8(r, a, n);
  if (t >= tINTA) return et8(a, n);
  return i8(r, a, n);
}

}  // namespace

V i1(V x, V y) {
  if (all(y)) return _r(x);
  int t = tp(x), ty = tp(y);
  if (t == tDICT) return dget(x, y);
  if (t == tTABLE) return tget(x, y);
  if (t >= tINTA) return et(y);  // atoms hold no items to index
  if (ty == tINTA || ty == tLONGA) return io(x, gl(y));
  if (intv(ty)) {
    V r = gat(x, y);
    mr(y);
    return r;
  }
  if (ty == tLIST) return each(x, y, i1);
  if (ty == tDICT) {
    V r = i1(x, _r(PA(y)[1]));
    V yk = _r(PA(y)[0]);
    mr(y);
    return r ? am(yk, r) : (mr(yk), (V)0);
  }
  if (ty == tTABLE) return en(y);
  return et(y);
}

V i2(V x, V i, V j) {
  V a[2] = {_r(i), j};
  return i8(x, a, 2);
}

V i8(V x, V *a, U n) {
  if (!n) return _r(x);
  if (n == 1) return i1(x, a[0]);
  bool mny = many(x, a[0]);
  V r = i1(x, a[0]);
  if (!r) {
    mrn(n - 1, a + 1);
    return 0;
  }
  if (!mny) {
    V s = deeper(r, a + 1, n - 1);
    mr(r);
    return s;
  }
  J cm = _n(r);
  if (!cm || tp(r) >= tINTA) {
    mrn(n - 1, a + 1);
    return r;
  }
  U m = (U)cm;
  V o = an(m, tLIST);
  for (U i = 0; i < m; i++) {
    V b[8];
    for (U q = 1; q < n; q++) b[q - 1] = _r(a[q]);
    V it = ii(r, i);
    V s = deeper(it, b, n - 1);
    mr(it);
    if (!s) {
      hd(o)->count = i;
      mr(o);
      mr(r);
      mrn(n - 1, a + 1);
      return 0;
    }
    PA(o)[i] = s;
  }
  mrn(n - 1, a + 1);
  // Every item of a dict keeps its key.
  V k = tp(r) == tDICT ? _r(PA(r)[0]) : 0;
  mr(r);
  o = sqz(o);
  return k ? am(k, o) : o;
}

}  // namespace zk
