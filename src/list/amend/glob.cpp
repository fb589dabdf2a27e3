// glob.cpp: the amend of a global variable by name, .[`g; i; f; y] and
// @[`g; i; f; y] (which comes here through `.`), and a symbol met at depth
// by the amend of a value.
//
// The amend runs in the global's own cell: while it works the cell holds
// `::`, so the value it took out is referenced only by the amend and
// changes in place.  Every route keeps the global's previous value when
// the amend fails: the plan executor and the item routines hand it back
// through a rescue cell, and the routes that cannot (the amend at depth,
// keyed tables) work on the value held by one more reference, which
// copy-on-write copies only along the path.  A name that was undefined
// stays undefined when its amend fails.
//
// Names: d8g = the amend of a global by name; d8q = get-apply-store for a
// global whose amend was not planned.
//
// Ownership, as for every n-adic verb: args[0] is consumed, the others
// borrowed (the caller releases them).
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"

namespace zk {

namespace {

const V ASG = mp2(0);

// Raises the error of a planning status; 0.
V pst(I s) { return s >= 1 && s <= 3 ? ixer(s) : (V)0; }

// The one index of a one-item path list, or 0.
V one(V path) {
  int t = tp(path);
  if (t >= tINTA || t == tTABLE || t == tDICT || path == GNULL || _n(path) != 1) return 0;
  return t == tLIST ? _r(PA(path)[0]) : ii(path, 0);
}

// The amend without a plan of v (consumed) at path; *res receives v as it
// was when a route that can roll back fails, *held the extra reference of
// a route that cannot.
V unplanned(V v, V path, V f, V y, U n, V *res, V *held) {
  int t = tp(v);
  V i = one(path), r;
  if (i && (ixfl1(v, f, y) || (t <= tTSPAN && tp(i) >= tINTA))) {
    r = ixfl1(v, f, y) ? ixal(v, i, f, y, res) : ixfl(v, i, f, y, res);
    mr(i);
    return r;
  }
  *held = _r(v);
  if (i) {
    V a[4] = {v, i, f, y};
    r = a8(a, n);
    mr(i);
    return r;
  }
  return n == 4 ? d4(v, path, f, y) : d3(v, path, f);
}

}  // namespace

V d8q(V *cell, V value, V *args, U n, G *k, J *p, I *handled) {
  V path = args[1], f = args[2], y = n == 4 ? args[3] : 0;
  *handled = 0;
  if (ixgf(cell)) return 0;
  I c = 0;
  if (ixgb()) {
    c = ixwk(value, path, y, 0, 1, k, p);
    if (c < 0) return 0;
    c &= 255;
    if (c && (k[c - 1] == 1 || k[c - 1] == 2) && ixna(value, path, k, p, c)) return ixpf(c, k, p), (V)0;
  } else if (tp(value) != tTABLE) return 0;
  if (!c) k[0] = 3, p[0] = -1, c = 1;
  I o = 0;
  V it = ixit(value, path, k, p, c, &o);
  if (!it) return ixpf(c, k, p), (V)0;
  *handled = 1;
  V nv = ixap(f, it, y);
  if (!nv) {
    ixpf(c, k, p);
    if (*cell == GNULL) *cell = value;
    else mr(value);
    return 0;
  }
  if (*cell && *cell != GNULL) mr(*cell);
  *cell = GNULL;
  V res = 0, r = ixst(value, path, k, p, 0, c, ASG, nv, &res);
  mr(nv);
  if (!r) {
    *cell = res;
    return 0;
  }
  *cell = _r(r);
  return r;
}

// The guard node of the global under amend, for the duration of a scope.
struct Guard {
  IxG nd;
  Guard(V *cell, bool flat) : nd{cell, ixgs, (G)flat, 0} { ixgs = &nd; }
  ~Guard() { ixgs = nd.next; }
};

V d8g(V *args, U n) {
  V x = args[0];
  if (shared_mode()) return mr(x), err0("noupdate");
  U g = gi(x);
  mr(x);
  if (gfull) {
    gfull = 0;
    return err0("limit");
  }
  V *cell = &gv[g];
  IxG *nd = ixgf(cell);
  if (nd && !nd->deep) return et0();
  if (n > 4) return en0();
  V path = args[1], f = args[2], y = n == 4 ? args[3] : 0;
  bool pl = n == 4 && f == ASG, und = !*cell;
  V v = und ? GNULL : *cell;
  G k[IXL];
  J p[IXL];
  I c = 0;
  if (ixgb() || nd) {
    I s = ixck(v, path, 0, y ? y : GNULL, pl);
    if (s) return pst(s);
  } else {
    c = ixwk(v, path, y, pl, 1, k, p);
    if (c < 0) return pst(-c);
    c &= 255;
    if (tp(v) == tDICT && (tp(PA(v)[1]) == tDICT || tp(PA(v)[1]) >= tINTA)) return ixpf(c, k, p), et0();
    if (!c && tp(v) == tDICT && f != ASG && (c = ixkn(v, path, k, p)) < 0) return pst(-c);
    if (tp(v) == tDICT && hd(v)->attr == 1 && (c = ixs8(v, args, n, 0, k, p, c)) < 0) return 0;
  }
  // While the amend runs, code it calls meets the cell under amend: `::`
  // as its value, and 'type for another amend of it by name.
  *cell = GNULL;
  V res = 0, held = 0, r;
  if (!c && f != ASG) {
    I h = 1;
    r = d8q(cell, v, args, n, k, p, &h);
    if (h) {
      if (!r && und && *cell == GNULL) *cell = 0;
      return r;
    }
  }
  Guard gd(cell, !c);
  if (c) {
    I o = 0;
    V it = f != ASG && k[c - 1] == 3 ? ixit(v, path, k, p, c, &o) : 0;
    if (it) {
      V nv = ixap(f, it, y);
      if (!nv) {
        ixpf(c, k, p);
        if (*cell == GNULL) *cell = und ? 0 : v;
        else mr(v);
        return 0;
      }
      r = ixst(v, path, k, p, 0, c, ASG, nv, &res);
      mr(nv);
    } else r = ixst(v, path, k, p, 0, c, f, y, &res);
  } else r = unplanned(v, path, f, y, n, &res, &held);
  V w = *cell;
  if (r) {
    if (held) mr(held);
    if (w && w != GNULL) mr(w);
    *cell = _r(r);
    return r;
  }
  V back = res ? res : held;
  if (back && held && res) mr(held);
  if (back && back != GNULL) {
    if (w && w != GNULL) mr(w);
    *cell = back;
  } else if (w == GNULL) *cell = und || !back ? 0 : back;
  return 0;
}

}  // namespace zk
