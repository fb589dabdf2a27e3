// step.cpp: the services the amend drivers use along a plan: refusing new
// keys in a step dict (a dict with the sorted attribute maps every value to
// the last key not above it, so it cannot grow by assignment), reading the
// value that stands at the end of a plan (the operator forms compute the
// new value from it), and undoing or completing the growth of a dict or a
// table when an amend adds a key or a column.
//
// Names: ixsk = refuse a new key; ixsq = the refusal test along a plan;
// ixs8 = plan and refusal of the four-argument `.` amend of a dict; ixit
// = the old value along a plan; ixrr = the value reached from a table row;
// ixna = whether the last planned level adds a key; ixtr = roll a dict
// back; ixtn = a new column amended with rollback.
//
// None of ixit, ixrr and ixna raises: a path they cannot follow answers 0.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {

const V ASG = mp2(0);

ZK_INLINE bool ival(V v) { return tp(v) == tINTA || tp(v) == tLONGA; }
ZK_INLINE bool lst(int t) { return t >= tLIST && t <= tTSPAN; }

// The common item type of a general list of keys (0 when they differ).
int ktype(V ks) {
  int t = tp(ks);
  if (t != tLIST) return t;
  U m = nx(ks);
  if (!m) return 0;
  int e = tp(PA(ks)[0]);
  for (U j = 1; j < m; j++)
    if (tp(PA(ks)[j]) != e) return 0;
  return e >= tINTA ? TT[e] : e;
}

}  // namespace

I ixsk(V d, V index) {
  if (tp(d) != tDICT || hd(d)->attr != 1 || !sole(hd(d)) || index == GNULL) return 0;
  V key;
  int it = tp(index);
  if (it >= tINTA) key = _r(index);
  else if (it != tTABLE && it != tDICT && _n(index) == 1) key = ii(index, 0);
  else return 0;
  V ks = PA(d)[0];
  J c = _n(ks);
  int kt = tp(key);
  V r = fnd(ks, _r(key));
  if (!r) return mr(key), 0;
  bool fresh = false;
  if (tp(r) >= tINTA) fresh = gl_(r) == NJ || gl_(r) >= c;
  else
    for (J j = 0, m = _n(r); j < m && !fresh; j++) {
      V q = ii(r, j);
      fresh = !ival(q) || gl_(q) == NJ || gl_(q) >= c;
      mr(q);
    }
  mr(r), mr(key);
  if (!fresh) return 0;
  int vt = tp(ks) == tLIST ? ktype(ks) : tp(ks);
  if (vt && ixkf(vt, kt)) err0("step");
  else et0();
  return 1;
}

I ixsq(V d, V path, G *k, J *p, I n) {
  if (n == 1 && k[0] == 1 && tp(d) == tDICT && p[0] < _n(PA(d)[0]) && tp(PA(d)[0]) == tSYM) {
    int t = tp(path);
    if (t == tSYMA || t == tSYM || (t == tLIST && nx(path) && tp(PA(path)[0]) == tSYMA)) return 0;
  }
  return ixsk(d, path);
}

I ixs8(V d, V *args, U n, I nested, G *k, J *p, I levels) {
  (void)nested;
  V path = args[1];
  if (n == 4 && args[2] == ASG && !levels) {
    I c = ixkn(d, path, k, p);
    if (c > 0) levels = c;  // a search that raised counts as no plan
  }
  if (ixsq(d, path, k, p, levels)) {
    ixpf(levels, k, p);
    return -5;
  }
  return levels;
}

V ixrr(V t, V path, I from, I n) {
  if (tp(t) != tTABLE) return 0;
  V q = ixpi(path, from);
  if (!ival(q) || (UJ)gl_(q) >= (UJ)_n(t)) return mr(q), (V)0;
  V cur = iM(t, gl_(q));
  mr(q);
  for (I j = from + 1; j < n && cur; j++) {
    V ix = ixpi(path, j), nx_ = 0;
    int ct = tp(cur), xt = tp(ix);
    if (ival(ix) && lst(ct) && (UJ)gl_(ix) < (UJ)_n(cur)) nx_ = ii(cur, gl_(ix));
    else if (ival(ix) && ct == tTABLE && (UJ)gl_(ix) < (UJ)_n(cur)) nx_ = iM(cur, gl_(ix));
    else if (xt == tSYMA && (ct == tTABLE || ct == tDICT) && tp(PA(cur)[0]) == tSYM) {
      V ks = PA(cur)[0], vs = PA(cur)[1];
      if (ct == tTABLE || lst(tp(vs)) || tp(vs) == tTABLE)
        for (U c = 0, m = nx(ks); c < m; c++)
          if (PI(ks)[c] == ip(ix)) {
            nx_ = ii(vs, c);
            break;
          }
    }
    mr(ix), mr(cur);
    cur = nx_;
  }
  return cur;
}

V ixit(V x, V path, G *k, J *p, I n, I *owned) {
  *owned = 1;
  I pn = tp(path) >= tINTA ? 1 : (I)_n(path);
  bool gl = tp(path) == tLIST, ipath = tp(path) >= tRANGE && tp(path) <= tLONG;
  if (!n) {
    if (tp(x) == tTABLE && gl && pn > 1 && ival(PA(path)[0])) return ixrr(x, path, 0, pn);
    return 0;
  }
  V cur = _r(x);
  for (I L = 0; L < n && cur; L++) {
    J q = p[L];
    int ct = tp(cur);
    V nx_ = 0;
    switch (k[L]) {
      case 0:
        if (lst(ct) && (UJ)q < (UJ)_n(cur)) nx_ = ii(cur, q);
        break;
      case 1:
      case 2:
        if (ct == tDICT || ct == tTABLE) {
          V vs = PA(cur)[1];
          if (q < (J)_n(PA(cur)[0])) nx_ = ii(vs, q);
          else if (L == n - 1) nx_ = iex(ASG, io(vs, 0));
        }
        break;
      case 6:
        if (ct == tTABLE && L + 1 < pn) {
          V col = PA(PA(cur)[1])[p[L + 1]];
          nx_ = ii(col, q);
          L++;
        }
        break;
      case 3:
        if (ct == tTABLE && q >= 0) {
          V ix = ixpi(path, L);
          bool iv = ival(ix);
          mr(ix);
          if (L == pn - 1 && (iv || ipath) && q < _n(cur)) nx_ = iM(cur, q);
          else if (L == n - 1 && gl && iv) nx_ = ixrr(cur, path, L, pn);
        } else if (ct == tTABLE && L == n - 1 && gl && ival(PA(path)[L]))
          nx_ = ixrr(cur, path, L, pn);
        break;
      default:
        break;
    }
    mr(cur);
    cur = nx_;
  }
  return cur;
}

I ixna(V x, V path, G *k, J *p, I n) {
  if (n < 1) return 0;
  I o = 0;
  V v = n == 1 ? _r(x) : ixit(x, path, k, p, n - 1, &o);
  if (!v) return 0;
  int t = tp(v);
  I r = (t == tDICT || t == tTABLE) && p[n - 1] >= _n(PA(v)[0]);
  mr(v);
  return r;
}

V ixtr(V d, J n, int kt, G ka, int vt, G va, V sk, V sv) {
  if (sk || sv) {
    if (sk) mr(PA(d)[0]), PA(d)[0] = sk;
    if (sv) mr(PA(d)[1]), PA(d)[1] = sv;
    return d;
  }
  V ks = PA(d)[0], vs = PA(d)[1];
  PA(d)[0] = PA(d)[1] = GNULL;
  ks = trim(ks, n, kt, ka);
  vs = vs != GNULL ? trim(vs, n, vt, va) : 0;
  if (!ks || !vs) {
    if (ks) mr(ks);
    if (vs) mr(vs);
    mr(d);
    return 0;
  }
  PA(d)[0] = ks, PA(d)[1] = vs;
  return d;
}

V ixtn(V t, V path, G *k, J *p, I L, I n, V f, V y, V *rescue) { return ixgn(t, path, k, p, L, n, f, y, rescue, 1); }

}  // namespace zk
