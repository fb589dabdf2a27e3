// drive.cpp: the drivers of indexed assignment and the process-wide list
// of globals under a guarded amend.
//
// Guard list: a node per guarded amend, pushed for its duration and living
// in its frame, so an amend of the same global started by code that the
// amend runs (f, a verb, a name met at depth) is refused or sent down the
// safe path.  Global assignment is refused in shared mode, so one thread
// at a time changes this list; it is never locked.
//
// Names: ixas = an amend along a plan or by the general amends; ixag = the
// same with a guard node pushed; ixcg = the guarded driver of globals;
// ixch / ixhr = the hazard test and its walk (can the amend reach its own
// variable again?); ixfd = a function value anywhere inside; ixfh = the
// safe path, on a copy; ixv2 = a dyadic verb on an old value; ixcv = the
// operator driver; ixcm = the step-dict driver, ixmk the step dict it is
// amending; ixkk = the keyed-table driver.
//
// Ownership: x is the slot's value, whose reference the driver takes over;
// path and y borrowed.  Answers: the amend statuses (0 done, 1 'index, 2
// 'length, 3 'type, 4 raised).  Every failure leaves a global's slot with
// its value as before and a local's with it or 0, never a released value.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"

namespace zk {

IxG *ixgs;

IxG *ixgf(V *slot) {
  for (IxG *g = ixgs; g; g = g->next)
    if (g->slot == slot) return g;
  return nullptr;
}

G ixgb() {
  G b = 0;
  for (IxG *g = ixgs; g; g = g->next) b |= g->flat;
  return b;
}

thread_local V ixmk;

bool ixfl1(V x, V f, V y) {
  int t = tp(x);
  bool flat = t <= tTSPAN || (t == tDICT && tp(PA(x)[0]) != tTABLE && tp(PA(x)[1]) <= tTSPAN);
  return flat && ixsa(x, f, y);
}

namespace {

ZK_INLINE bool fnv(V v) { return tp(v) >= tLAMBDA && tp(v) <= tNATIVE; }
ZK_INLINE bool reshape(I op) { return op == 14 || op == 15 || op == 18 || op == 19; }
ZK_INLINE J pcount(V path) { return path == GNULL ? 0 : tp(path) >= tINTA ? 1 : _n(path); }

// The slot gets r (consumed); what it held before is released.
void put(V *slot, V r) {
  V o = *slot;
  *slot = r;
  if (o && o != GNULL && o != r) mr(o);
}

// The items of v that the index q selects, walked by w; 1 as soon as one
// walk answers 1.  An index that does not pick items out selects them all.
template <class W>
I each(V v, V q, W w) {
  J m = _n(v);
  int qt = tp(q);
  if (qt == tINTA || qt == tLONGA) {
    J i = gl_(q);
    return (UJ)i < (UJ)m ? w(v, i) : 0;
  }
  if (qt >= tRANGE && qt <= tLONG) {
    for (J j = 0, c = _n(q); j < c; j++) {
      J i = iti(q, qt, (UJ)j);
      if ((UJ)i < (UJ)m && w(v, i)) return 1;
    }
    return 0;
  }
  for (J i = 0; i < m; i++)
    if (w(v, i)) return 1;
  return 0;
}

I hr(V *slot, V v, V path, J d, J n, bool deep, bool dotv, I names);

I hri(V *slot, V v, J i, V path, J d, J n, bool deep, bool dotv, I names) {
  V it = ii(v, i);
  I r = hr(slot, it, path, d, n, deep, dotv, names);
  mr(it);
  return r;
}

I hr(V *slot, V v, V path, J d, J n, bool deep, bool dotv, I names) {
  int t = tp(v);
  if (d >= n) {
    if (!deep) return t == tSYMA && names < 34 ? hr(slot, v, path, d, n + 1, deep, dotv, names) : 0;
    return dotv ? ixfd(v, 0) : fnv(v);
  }
  if (t == tSYMA) {
    U g = gi(v);
    if (gfull) return gfull = 0, 0;
    if (&gv[g] == slot) return 1;
    if (!gv[g]) return 0;
    if (names > 33) return 1;
    return hr(slot, gv[g], path, d, n, deep, dotv, names + 1);
  }
  if (t >= tINTA) return !deep && d == n - 1 ? 0 : fnv(v);
  V q = ixpi(path, (I)d);
  I r = 0;
  if (t == tTABLE) {
    V cols = PA(v)[1], nm = PA(v)[0];
    bool any = false;
    for (U c = 0, m = nx(cols); c < m; c++) any |= tp(PA(cols)[c]) == tLIST || tp(PA(cols)[c]) == tSYM;
    int qt = tp(q);
    if (!any || (!deep && n - d <= 2)) r = 0;
    else if (deep || tp(path) != tLIST || d + 1 >= n) r = 1;
    else {
      V c1 = PA(path)[d + 1];
      int ct = tp(c1);
      if ((ct != tSYMA && ct != tSYM) || !(q == GNULL || qt == tINTA || qt == tLONGA || (qt >= tRANGE && qt <= tLONG)))
        r = 1;
      else
        for (U c = 0, m = nx(cols); c < m && !r; c++) {
          V col = PA(cols)[c];
          if (tp(col) != tLIST && tp(col) != tSYM) continue;
          bool named = ct == tSYMA ? ip(c1) == PI(nm)[c] : false;
          for (U j = 0; ct == tSYM && j < nx(c1); j++) named |= PI(c1)[j] == PI(nm)[c];
          if (named)
            r = each(col, q, [&](V w, J i) { return hri(slot, w, i, path, d + 2, n, deep, dotv, names); });
        }
    }
  } else if (t == tDICT) {
    V ks = PA(v)[0], vs = PA(v)[1];
    int kt = tp(ks), vt = tp(vs);
    if (kt > tTSPAN || vt > tTSPAN) r = 1;
    else if (vt != tLIST && vt != tSYM) r = 0;
    else r = each(vs, GNULL, [&](V w, J i) { return hri(slot, w, i, path, d + 1, n, deep, dotv, names); });
  } else if (t == tLIST || t == tSYM) {
    r = each(v, q, [&](V w, J i) { return hri(slot, w, i, path, d + 1, n, deep, dotv, names); });
  }
  mr(q);
  return r;
}

}  // namespace

I ixfd(V v, I depth) {
  if (depth >= 65) return 1;
  int t = tp(v);
  if (fnv(v)) return 1;
  if (t == tLIST) {
    for (U j = 0, m = nx(v); j < m; j++)
      if (ixfd(PA(v)[j], depth + 1)) return 1;
    return 0;
  }
  if (t == tDICT || t == tTABLE) return ixfd(PA(v)[0], depth + 1) || ixfd(PA(v)[1], depth + 1);
  return 0;
}

I ixhr(V *slot, V v, V path, J d, J n, bool deep, bool dotv) { return hr(slot, v, path, d, n, deep, dotv, 0); }

V ixv2(I op, V old, V y) {
  I d = tl.nsq;
  tl.nsq = 0;
  V r = v2[op & 31](old, _r(y));
  tl.nsq = d;
  return r;
}

V ixas(V x, V path, V y, I op, G *k, J *p, I levels, V *rescue) {
  V f = op ? mp2((U)op) : 0;
  if (levels) return ixst(x, path, k, p, 0, levels, f, y, rescue);
  V g = mp2((U)op);
  if (ixn(path) != 1 || path == GNULL) return d4(x, path, g, y);
  V i = ixi(path, 0), r;
  if (rescue && tp(x) < tINTA) r = ixal(x, i, g, y, rescue);
  else {
    V a[4] = {x, i, g, y};
    r = a8(a, 4);
  }
  if (tp(path) < tINTA) mr(i);
  return r;
}

V ixag(V *slot, V x, V path, V y, I op, G *k, J *p, I levels, I deep, V *rescue) {
  IxG nd = {slot, ixgs, (G)(levels == 0), (G)deep};
  ixgs = &nd;
  V r = ixas(x, path, y, op, k, p, levels, rescue);
  ixgs = nd.next;
  return r;
}

I ixfh(V *slot, V x, V path, V y, I op, I deep) {
  V r = ixag(slot, _r(x), path, y, op, 0, 0, 0, deep, 0);
  if (!r) return 4;
  put(slot, r);
  return 0;
}

I ixch(V *slot, V x, V path, V y, I op, I flag) {
  bool deep = reshape(op);
  if (!deep && !(tp(path) == tSYMA || (tp(path) < tINTA && path != GNULL && _n(path) != 1))) return -1;
  J n = pcount(path);
  if (!ixhr(slot, x, path, 0, n, deep, op == 19)) return -1;
  return ixfh(slot, x, path, y, op, deep || !flag);
}

// The amend without a rescue cell of its own keeps the global's value by
// one more reference: copy-on-write copies what the amend changes.
I ixcg(V *slot, V x, V path, V y, I op, G *k, J *p, I c) {
  if (c >= 512) {
    I h = ixch(slot, x, path, y, op, 512);
    if (h >= 0) return ixpf(c, k, p), h;
  }
  if (c & 255) {
    V res = 0;
    *slot = GNULL;
    V r = ixag(slot, x, path, y, op, k, p, c & 255, 0, &res);
    if (r) return put(slot, r), 0;
    put(slot, res ? res : 0);
    return 4;
  }
  I h = ixch(slot, x, path, y, op, 0);
  if (h >= 0) return h;
  if (ixn(path) == 1 && path != GNULL && ixfl1(x, mp2((U)op), y)) {  // one level, in place
    V res = 0;
    *slot = GNULL;
    V r = ixag(slot, x, path, y, op, 0, 0, 0, 0, &res);
    if (r) return put(slot, r), 0;
    put(slot, res);
    return 4;
  }
  V r = ixag(slot, _r(x), path, y, op, 0, 0, 0, 0, 0);
  if (!r) return 4;
  put(slot, r);
  return 0;
}

I ixkk(V *slot, V x, V path, V y, I op, I flags, G *k, J *p) {
  (void)k, (void)p;
  if (flags & 1) {
    I h = ixch(slot, x, path, y, op, 0);
    if (h >= 0) return h;
  }
  V r = flags & 1 ? ixag(slot, _r(x), path, y, op, 0, 0, 0, 0, 0) : ixas(_r(x), path, y, op, 0, 0, 0, 0);
  if (!r) return 4;
  put(slot, r);
  return 0;
}

namespace {

ZK_INLINE bool glob(I flags) { return flags & 1; }
ZK_INLINE bool keyed(V x) { return tp(x) == tDICT && tp(PA(x)[0]) == tTABLE; }
ZK_INLINE bool stepd(V x) { return tp(x) == tDICT && heap(x) && hd(x)->attr == 1 && x != ixmk; }

// The slot during an amend that has taken its value over: a global shows
// `::` (code run meanwhile never meets a half-changed value), a local 0.
ZK_INLINE void take(V *slot, I flags) { *slot = glob(flags) ? GNULL : 0; }

// The result of an amend with a rescue cell into the slot: 0, or 4 with
// the rescued value (or, when none came back, 0) in the slot.
I done(V *slot, V r, V res) {
  if (r) return put(slot, r), 0;
  put(slot, res);
  return 4;
}

// The old value (consumed) turned into the new one by a reshaping verb.
// For a global the target is held by one more reference while the verb
// runs, so it cannot change it in place; a verb that stored something else
// in the global meanwhile loses it again when it succeeds.
V rsh(V *slot, V x, I op, V old, V y, I flags) {
  bool hold = glob(flags) && reshape(op);
  V hx = hold ? _r(x) : 0;
  V nv = ixv2(op, old, y);
  mr(old);
  if (hold) {
    if (*slot == x || !nv) mr(hx);
    else put(slot, hx);
  }
  return nv;
}

}  // namespace

I ixcv(V *slot, V x, V path, V y, I op, I flags, G *k, J *p, I c, I gb) {
  if (c < 0) return -c;
  I lv = c & 255;
  if (!lv && tp(x) == tDICT && !gb) {
    I kp = ixkn(x, path, k, p);
    if (kp < 0) return 4;
    if (kp > 0) lv = c = kp;
    if (stepd(x)) return ixcm(slot, x, path, y, op, flags, k, p, c, 1);
  }
  if (reshape(op) || (lv && k[lv - 1] == 3)) {
    I o = 0;
    V old = ixit(x, path, k, p, lv, &o);
    if (old) {
      V nv = rsh(slot, x, op, old, y, flags);
      if (!nv) return ixpf(lv, k, p), 4;
      V res = 0;
      take(slot, flags);
      V r = ixas(x, path, nv, 0, k, p, lv, &res);
      mr(nv);
      return done(slot, r, res);
    }
    int vt = tp(x) == tDICT ? tp(PA(x)[1]) : 0;
    if (vt >= tTABLE && vt != tTABLE) return ixpf(lv, k, p), 3;
    I s = ixck(x, path, 0, y, false);
    ixpf(lv, k, p);
    if (s) return s;
    c = lv = 0;
  }
  if (c >= 256 || (!lv && glob(flags))) {
    if (!lv && keyed(x)) return ixkk(slot, x, path, y, op, flags, k, p);
    return ixcg(slot, x, path, y, op, k, p, c);
  }
  if (!lv && keyed(x)) return ixkk(slot, x, path, y, op, flags, k, p);
  V res = 0, r;
  take(slot, flags);
  if (!lv && tp(x) < tINTA && tp(path) == tLIST && nx(path) == 1) r = ixal(x, PA(path)[0], mp2((U)op), y, &res);
  else r = ixas(x, path, y, op, k, p, lv, &res);
  return done(slot, r, res);
}

I ixcm(V *slot, V x, V path, V y, I op, I flags, G *k, J *p, I c, I from) {
  I lv = c & 255;
  if (!lv && !(c & 768)) {
    I kp = ixkn(x, path, k, p);
    if (kp < 0) return 4;
    if (kp > 0) lv = c = kp;
  }
  if (ixsq(x, path, k, p, lv)) return ixpf(lv, k, p), 4;
  V ks = _r(PA(x)[0]);
  bool sole0 = sole(hd(x));
  V mk = ixmk;
  ixmk = x;
  I r;
  if (op) r = ixcv(slot, x, path, y, op, flags, k, p, from && !lv ? 0 : c, 0);
  else if (lv && c < 256) {
    take(slot, flags);
    V res = 0;
    r = done(slot, ixas(x, path, y, 0, k, p, lv, &res), res);
  } else if (lv) r = ixcg(slot, x, path, y, 0, k, p, c);
  else if (keyed(x)) r = ixkk(slot, x, path, y, 0, flags, k, p);
  else if (glob(flags)) r = ixcg(slot, x, path, y, 0, k, p, 0);
  else {
    take(slot, flags);
    V res = 0;
    r = done(slot, ixas(x, path, y, 0, k, p, 0, &res), res);
  }
  ixmk = mk;
  V d = *slot;
  if (sole0 && d && tp(d) == tDICT && PA(d)[0] == ks && sole(hd(d))) hd(d)->attr = 1;
  mr(ks);
  return r;
}

}  // namespace zk
