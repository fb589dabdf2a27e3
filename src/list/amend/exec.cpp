// exec.cpp: the plan executor.  Once a path has been planned, ixst carries
// the amend out level by level: each level that is sole-owned is changed in
// place (mut copies only what another holder still sees), and nothing is
// searched again.
//
// Names: ixst = one level by its kind; ixsl = a list or vector level; ixtc
// = a table column by name; ixtv = one column amended by the general route
// and put back; ixtd = the general route on a whole value, on a reference
// of its own; ixdc = whether an operator amend of a new column must take
// the general route; ixdt = one level of the amend at depth (what the
// recursion does with an item); ixpi / ixrp = a path's item / rest; ixap =
// f applied with the no-squeeze depth at 0; gen, nkey, nrow, keys9 = the
// levels of kind 3, kinds 4 and 5, kind 4 into a dict of rows, kind 9.
//
// Rescue: every routine given a rescue cell writes, when it fails after
// taking x over, x as it was before the call (or its last consistent
// state, which equals it) there; without one it releases x.
//
// Ownership: x consumed, path, f and y borrowed.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

const V ASG = mp2(0);  // the verb `:`

ZK_INLINE void mz(V x) {
  if (x) mr(x);
}

// x written through the rescue cell, or released; 0.
ZK_INLINE V rsc(V *rescue, V x) {
  if (rescue) *rescue = x;
  else mz(x);
  return 0;
}

// Whether the new value is y itself (a plain assignment).
ZK_INLINE bool plain(V f, V y) { return !f || (f == ASG && y); }

ZK_INLINE bool lst(int t) { return t >= tLIST && t <= tTSPAN; }

// A general list of exactly m items whose last is `::`.
bool tailn(V path, I m) { return tp(path) == tLIST && nx(path) == (U)m && PA(path)[m - 1] == GNULL; }

// The count that a new column of a table of columns cols must have: that
// of another column (the first, or the second when p is 0); -1 for none.
J ccount(V cols, J p) {
  U m = nx(cols);
  if (m < 2 && p == 0) return -1;
  return _n(PA(cols)[p == 0 ? 1 : 0]);
}

}  // namespace

V ixap(V f, V a, V y) {
  if (!f) return mr(a), _r(y);
  I d = tl.nsq;
  tl.nsq = 0;
  V b[2] = {a, y ? _r(y) : 0};
  V r = _8(f, b, y ? 2 : 1);
  tl.nsq = d;
  return r;
}

V ixgw(V d, V key, V val) {
  V ks = PA(d)[0], vs = PA(d)[1];
  PA(d)[0] = PA(d)[1] = GNULL;
  ks = psh(ks, key);
  vs = val ? psh(vs, val) : (mr(vs), (V)0);
  if (!ks || !vs) return mz(ks), mz(vs), mr(d), (V)0;
  PA(d)[0] = ks, PA(d)[1] = vs;
  return d;
}

V ixpi(V path, I L) { return tp(path) >= tINTA ? _r(path) : ii(path, L); }

V ixrp(V path, I L) {
  if (!L || tp(path) >= tINTA) return _r(path);
  return drp(L, _r(path));
}

V ixdt(V x, V rest, V f, V y) {
  V g = f ? f : ASG;
  if (tp(x) == tSYM) return y ? d4t(x, rest, g, y) : d3t(x, rest, g);
  int t = tp(x);
  if (t >= tINTA || t == tRANGE) {  // immediates and functions: names and handles included
    V a[4] = {x, rest, g, y};
    return d8(a, y ? 4 : 3);
  }
  return y ? d4(x, rest, g, y) : d3(x, rest, g);
}

I ixdc(V f, V y, I flag) {
  if (!f || f == ASG) return 0;
  if (!y || tp(f) != tDYAD || (ip(f) & 31) == 5 || tp(y) == tDICT) return 1;
  if (!(flag & 1) || tp(y) == tTABLE) return flag;
  if (tp(y) == tLIST)
    for (U j = 0, m = nx(y); j < m; j++)
      if (tp(PA(y)[j]) == tDICT) return 1;
  return 0;
}

V ixtd(V x, V path, I L, V f, V y, V *rescue) {
  V rest = ixrp(path, L);
  I d = tl.nsq;
  tl.nsq = 0;
  V g = f ? f : ASG;
  V r = y ? d4(_r(x), rest, g, y) : d3(_r(x), rest, g);
  tl.nsq = d;
  mr(rest);
  if (!r) return rsc(rescue, x);
  mr(x);
  return r;
}

V ixtv(V t, V path, J *p, I L, V f, V y, V *rescue) {
  J rows = _n(t), c = p[L];
  V col = ii(PA(t)[1], c), rest = ixrp(path, L + 1);
  I d = tl.nsq;
  tl.nsq = 0;
  V g = f ? f : ASG;
  V r = y ? d4(col, rest, g, y) : d3(col, rest, g);
  tl.nsq = d;
  mr(rest);
  if (!r) return rsc(rescue, t);
  int rt = tp(r);
  if (rt >= tINTA && rt != tDICT) {
    if (!(r = rsz(rows, r))) return rsc(rescue, t);
  } else if (rt == tDICT || (_n(r) != rows && nx(PA(t)[1]) >= 2)) {
    mr(r);
    el0();
    return rsc(rescue, t);
  }
  t = mut(t);
  V cols = mut(PA(t)[1]);
  PA(t)[1] = cols;
  mr(PA(cols)[c]);
  PA(cols)[c] = r;
  return t;
}

V ixsl(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue) {
  int t = tp(x);
  if (t == tRANGE && !(x = gZ(x))) return 0;
  if (t == tTABLE) {  // through its rows as dicts, squeezed back
    V l = blw(x), res = 0;
    if (!l) return 0;
    V r = ixsl(l, path, k, p, L, n, f, y, rescue ? &res : 0);
    if (r) return sqz(r);
    if (res) rsc(rescue, sqz(res));
    return 0;
  }
  x = mut(x);
  J q = p[L];
  if (L == n - 1) {
    V nv = plain(f, y) ? _r(y) : ixap(f, ii(x, q), y);  // a plain store never reads the old item
    if (!nv) return rsc(rescue, x);
    if (k[L] == 2) {  // x is a table's column list
      int vt = tp(nv);
      J c = vt < tDICT ? ccount(x, q) : -1;
      if (vt == tDICT || (c >= 0 && _n(nv) != c)) return mr(nv), el0(), rsc(rescue, x);
    }
    return set(x, q, nv);
  }
  bool gl = tp(x) == tLIST;
  V it;
  if (gl) it = PA(x)[q], PA(x)[q] = GNULL;
  else it = ii(x, q);
  V res = 0;
  V r = ixst(it, path, k, p, L + 1, n, f, y, rescue ? &res : 0);
  if (!r) {
    if (gl) {
      if (!res) return mr(x), (V)0;  // nothing to put back: the level is gone
      PA(x)[q] = res;
    } else mz(res);
    return rsc(rescue, x);
  }
  return set(x, q, r);
}

V ixtc(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue) {
  J q = p[L];
  V cols0 = PA(x)[1];
  bool fresh = q >= (J)nx(cols0);
  if (f && f != ASG && ixdc(f, y, 0)) {
    if (L == n - 1 && fresh) return ixtn(x, path, k, p, L, n, f, y, rescue);
    if (tailn(path, L + 2)) return ixtv(x, path, p, L, f, y, rescue);
  }
  J rows = _n(x);
  V d = flp(x);
  if (!d) return 0;
  d = mut(d);
  if (fresh) {
    V cols = PA(d)[1];
    V nv = plain(f, y) ? _r(y) : ixap(f, ie(f, cols), y);
    if (!nv) return rsc(rescue, flp(d));
    int vt = tp(nv);
    if (nx(cols) && vt <= tDICT && _n(nv) != _n(PA(cols)[0])) return mr(nv), el0(), rsc(rescue, flp(d));
    if (!(d = ixgw(d, ixpi(path, L), nv))) return 0;
    return tbk(d, rows);
  }
  V cols = PA(d)[1], res = 0;
  PA(d)[1] = GNULL;
  V r = ixsl(cols, path, k, p, L, n, f, y, rescue ? &res : 0);
  if (!r) {
    if (!res) return mr(d), (V)0;
    PA(d)[1] = res;
    return rsc(rescue, flp(d));
  }
  PA(d)[1] = r;
  return tbk(d, rows);
}

// A new key (or column) followed by the rest of the plan: the key and a
// seed value are appended, then ixsl amends the new value; a failure trims
// both parts back to their old counts, types and attribute bytes.  For
// kinds 7 and 8 the seed is a null-filled value of the others' shape; for
// a new column amended by an operator (tn) the seed of f for the columns,
// and a table that grew to another row count fails with 'length.
V ixgn(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue, I tn) {
  bool tb = tp(x) == tTABLE;
  J rows = tb ? _n(x) : 0;
  V d = tb ? flp(x) : x;
  if (!d) return 0;
  d = mut(d);
  V ks = PA(d)[0], vs = PA(d)[1];
  J nk = _n(ks);
  int kt = tp(ks), vt = tp(vs);
  G ka = heap(ks) ? hd(ks)->attr : 0, va = heap(vs) ? hd(vs)->attr : 0;
  if (!(d = ixgw(d, ixpi(path, L), tn ? ie(f, vs) : iex(ASG, io(vs, 0))))) return 0;
  vs = PA(d)[1];
  PA(d)[1] = GNULL;
  V res = 0;
  V r = ixsl(vs, path, k, p, L, n, f, y, rescue ? &res : 0);
  if (tn && r && tp(r) == tLIST) {
    V last = PA(r)[nx(r) - 1];
    if (tp(last) == tTABLE && _n(last) != rows) res = r, r = 0, el0();
  }
  if (!r) {
    if (!res) return mr(d), (V)0;
    PA(d)[1] = res;
    if (!(d = ixtr(d, nk, kt, ka, vt, va, 0, 0))) return 0;
    return rsc(rescue, tb ? flp(d) : d);
  }
  PA(d)[1] = r;
  return tb ? tbk(d, rows) : d;
}

namespace {

// Kind 3: the rest of the path through the general amends.
V gen(V x, V path, G *k, J *p, I L, V f, V y, V *rescue) {
  V g = f ? f : ASG, rest = ixrp(path, L);
  int t = tp(x);
  I d = tl.nsq;
  tl.nsq = 0;
  V r;
  if (t == tDICT && rescue && g != ASG) {
    G k1[IXL];
    J p1[IXL];
    I c = ixkn(x, rest, k1, p1);
    if (c < 0) {
      tl.nsq = d;
      mr(rest);
      return rsc(rescue, x);
    }
    if (c > 0) {
      r = ixst(x, rest, k1, p1, 0, c, f, y, rescue);
      tl.nsq = d;
      mr(rest);
      return r;
    }
  }
  bool one = tp(rest) < tINTA && tp(rest) != tTABLE && tp(rest) != tDICT && _n(rest) == 1;
  if (rescue && one && (lst(t) || t == tDICT)) {
    V i = ii(rest, 0);
    r = ixal(x, i, g, y, rescue);
    mr(i);
  } else {
    // The amend at depth cannot roll back: with a rescue cell it works on
    // x held once more, which copy-on-write copies along the path only.
    V h = rescue && t < tINTA ? _r(x) : 0;
    if (t == tSYM) r = y ? d4t(x, rest, g, y) : d3t(x, rest, g);
    else {
      V a[4] = {x, rest, g, y};
      r = d8(a, y ? 4 : 3);
    }
    if (!r && rescue && (h || t == tSYMA)) *rescue = h ? h : x;
    else if (h) mr(h);
  }
  tl.nsq = d;
  mr(rest);
  return r;
}

// Kind 4 on a dict whose values are a table (a row per key): the key and
// a null row are appended, then the @ amend of the values changes the new
// row along the rest of the path.  The amend runs on the values held once
// more when there is a rescue cell, so a failure can trim the key and the
// row away again.
V nrow(V d, V path, I L, V f, V y, V *rescue) {
  V pj = dpj(ixrp(path, L + 1), y, false);
  if (!pj) return rsc(rescue, d);
  V ks = PA(d)[0], vs = PA(d)[1];
  J nk = _n(ks);
  int kt = tp(ks), vt = tp(vs);
  G ka = heap(ks) ? hd(ks)->attr : 0, va = heap(vs) ? hd(vs)->attr : 0;
  if (!(d = ixgw(d, ixpi(path, L), ie(pj, vs)))) return mr(pj), (V)0;
  vs = PA(d)[1];
  PA(d)[1] = GNULL;
  V at = al(nk), a[5] = {rescue ? _r(vs) : vs, at, pj, f ? f : ASG, y};
  V nv = a8(a, y ? 5 : 4);
  mr(at), mr(pj);
  if (nv) {
    if (rescue) mr(vs);
    PA(d)[1] = nv;
    return d;
  }
  if (!rescue) return mr(d), (V)0;
  PA(d)[1] = vs;
  if (!(d = ixtr(d, nk, kt, ka, vt, va, 0, 0))) return 0;
  return rsc(rescue, d);
}

// Kinds 4 and 5: a new key (or column) at an inner level, whose value is
// built from the null-filled seed by the rest of the path.
V nkey(V x, V path, I L, V f, V y, V *rescue) {
  bool tb = tp(x) == tTABLE;
  J rows = tb ? _n(x) : 0;
  V d = tb ? flp(x) : x;
  if (!d) return 0;
  d = mut(d);
  V vs = PA(d)[1];
  if (tp(vs) == tTABLE) return nrow(d, path, L, f, y, rescue);
  V rest = ixrp(path, L + 1);
  V nv = ixdt(iex(ASG, io(vs, 0)), rest, f, y);
  mr(rest);
  if (!nv) return rsc(rescue, tb ? flp(d) : d);
  if (!(d = ixgw(d, ixpi(path, L), nv))) return 0;
  return tb ? tbk(d, rows) : d;
}

// Kind 9: several keys or columns at once, each value amended by the rest
// of the path through its projection: dam when the search result and the
// arguments fit it (it appends absent keys and rolls back), else the @
// amend.  The search result is released here.
V keys9(V x, V path, J *p, I L, V f, V y, V *rescue) {
  V r = (V)p[L];
  p[L] = 0;
  V g = f ? f : ASG;
  J m = r && tp(r) < tINTA ? _n(r) : -1;
  auto each = [&](V v) { return tp(v) >= tINTA || (tp(v) <= tTSPAN && _n(v) == m); };
  bool fit = m >= 0 && tp(r) >= tBYTE && tp(r) <= tLONG && (y ? tp(g) >= tINTA && each(y) : each(g));
  if (!fit) return mz(r), ixtd(x, path, L, f, y, rescue);  // the @ amend of x, on the general route
  if (!(r = ct(tLONG, r))) return rsc(rescue, x);
  V pj = dpj(ixrp(path, L + 1), y, false);
  if (!pj) return mr(r), rsc(rescue, x);
  bool tb = tp(x) == tTABLE;
  J rows = tb ? _n(x) : 0;
  V d = tb ? flp(x) : x;
  if (!d) return mr(r), mr(pj), (V)0;
  V names = ixpi(path, L), res = 0;
  V a[5] = {d, names, pj, g, y};
  V out = dam(d, names, r, a, y ? 5 : 4, rescue ? &res : 0);
  mr(names), mr(pj);
  if (!out) return res ? rsc(rescue, tb ? flp(res) : res) : (V)0;
  return tb ? tbk(out, rows) : out;
}

}  // namespace

V ixst(V x, V path, G *k, J *p, I L, I n, V f, V y, V *rescue) {
  G kd = k[L];
  J q = p[L];
  if (f && f != ASG && (kd == 5 || (kd == 9 && tp(x) == tTABLE)) && tailn(path, L + 2) &&
      ixdc(f, y, kd == 9)) {
    ixpf(n - L, k + L, p + L);
    for (I j = L; j < n; j++)
      if (k[j] == 9) p[j] = 0;
    return ixtd(x, path, L, f, y, rescue);
  }
  switch (kd) {
    case 0:
      return ixsl(x, path, k, p, L, n, f, y, rescue);
    case 1: {
      x = mut(x);
      V vs = PA(x)[1];
      if (q < _n(PA(x)[0])) {
        V res = 0;
        PA(x)[1] = GNULL;
        V r = ixsl(vs, path, k, p, L, n, f, y, rescue ? &res : 0);
        if (!r) {
          if (!res) return mr(x), (V)0;
          PA(x)[1] = res;
          return rsc(rescue, x);
        }
        PA(x)[1] = r;
        return x;
      }
      // A new row of a keyed table is an upsert: the general route.
      if (tp(PA(x)[0]) == tTABLE) return ixtd(x, path, L, f, y, rescue);
      V nv = plain(f, y) ? _r(y) : ixap(f, ie(f, vs), y);
      if (!nv) return rsc(rescue, x);
      return ixgw(x, ixpi(path, L), nv);
    }
    case 2:
      return ixtc(x, path, k, p, L, n, f, y, rescue);
    case 3:
      return gen(x, path, k, p, L, f, y, rescue);
    case 4:
    case 5:
      return nkey(x, path, L, f, y, rescue);
    case 6: {
      x = mut(x);
      V cols = mut(PA(x)[1]);
      PA(x)[1] = cols;
      J c = p[L + 1];
      V col = PA(cols)[c], res = 0;
      PA(cols)[c] = GNULL;
      V r = ixsl(col, path, k, p, L, L + 1, f, y, rescue ? &res : 0);
      if (!r) {
        if (!res) return mr(x), (V)0;
        PA(cols)[c] = res;
        return rsc(rescue, x);
      }
      PA(cols)[c] = r;
      return x;
    }
    case 7:
    case 8:
      return ixgn(x, path, k, p, L, n, f, y, rescue, 0);
    case 9:
      return keys9(x, path, p, L, f, y, rescue);
  }
  return mr(x), et0();
}

}  // namespace zk
