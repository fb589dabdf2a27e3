// each.cpp: the each adverb (f'x, x f'y, f'[x;y;z]), each-left and
// each-right, and the atomic extension of primitive kernels over lists,
// dicts and tables.  Names are explained in each.h.
//
// "Atom" here is any value of type 20 or above, functions included: a
// function is applied or paired as a whole, never iterated.  Results are
// either written back into a sole-owned general list and normalised
// (sqz), or appended one by one (psh), which makes a typed vector of like
// atoms as it goes.
//
// Ownership on failure: every entry releases what it owns, including the
// items of a sole-owned list that were to be moved into later calls, and
// returns 0 with the applied function's error text intact.  A sole-owned
// list whose items were moved out is retyped to a byte vector before its
// release, so no item is released twice.
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"

namespace zk {

namespace {

ZK_INLINE bool atm(V x) { return tp(x) >= tINTA; }

// Each slot of the general list l replaced by fn(slot), in l itself when
// sole-owned (mut clears its attribute), else in a copy; the failing slot
// becomes `::` so that releasing l releases every other item once.
template <class Fn> V inplace(V l, Fn fn) {
  l = mut(l);
  U n = nx(l);
  for (U i = 0; i < n; i++) {
    V r = fn(PA(l)[i]);
    if (!r) {
      PA(l)[i] = GNULL;
      mr(l);
      return 0;
    }
    PA(l)[i] = r;
  }
  return sqz(l);
}

// A new dict pairing x's keys with fn of its values; x consumed.
template <class Fn> V mapv(V x, Fn fn) {
  V v = kv(&x);  // x now holds the keys
  V r = fn(v);
  if (!r) return mr(x), (V)0;
  return am(x, r);
}

// The container for n results, chosen by the first: a typed vector for an
// int, long, float, char or symbol atom, else a fresh list.
ZK_INLINE V room(V first, U n) {
  int t = tp(first);
  if (t >= tINTA && t <= tSYMA) {
    V r = an(n, TT[t]);
    hd(r)->count = 0;
    return r;
  }
  return aA0(n);
}

ZK_INLINE V nth(V x, J i) { return atm(x) ? _r(x) : ii(x, i); }

// A fresh list for n results; past the largest count it starts at one
// slot and psh grows it.
ZK_INLINE V lst(J n) { return aA0(n > 0xFFFFFFFFll ? 1 : (U)n); }

// The results fn(0)..fn(n-1) appended to l; o, the argument the caller
// owns, is released whether or not every call succeeds.
template <class Fn> V gath(V l, J n, V o, Fn fn) {
  for (J i = 0; i < n; i++) {
    V r = fn(i);
    if (!r || !(l = psh(l, r))) {
      if (!r) mr(l);
      mr(o);
      return 0;
    }
  }
  mr(o);
  return l;
}

// A sole-owned general list gives its items to the calls; moved lists are
// retyped afterwards.  Releases the items i..n-1 not yet used.
ZK_INLINE void unmove(V y, J i, J n) {
  for (; i < n; i++) mr(PA(y)[i]);
  hd(y)->type = tBYTE;
}

}  // namespace

V te0(V r) {
  int t = tp(r);
  if (t >= tINTA && TT[t] != tLIST) {
    mr(r);
    return _r(ce[TT[t]]);
  }
  return rs0(enl(r));
}

// ---- monadic each ----
V e1f(K1 fn, V x) {
  int t = tp(x);
  if (t >= tINTA) return fn(x);
  if (t == tDICT) return mapv(x, [fn](V v) { return e1f(fn, v); });
  J n = _n(x);
  if (!n) return o1f(fn, x);
  if (t == tLIST) return inplace(x, fn);
  if (t == tRANGE || (t >= tBYTE && t <= tLONG)) {
    if (n > 0xFFFFFFFFll) return ez(x);
    V l = an((U)n, tLIST);
    for (J i = 0; i < n; i++) {
      J v = t == tRANGE ? PL(x)[0] + i : t == tLONG ? PL(x)[i] : Tw[t] == 5 ? PI(x)[i]
            : t == tSHORT ? P<int16_t>(x)[i] : P<int8_t>(x)[i];
      V r = fn(az(v));
      if (!r) {
        hd(l)->count = (U)i;
        mr(l);
        mr(x);
        return 0;
      }
      PA(l)[i] = r;
    }
    mr(x);
    return sqz(l);
  }
  return gath(aA0((U)n), n, x, [&](J i) { return fn(ii(x, i)); });
}

V o1f(K1 fn, V x) {
  if (!nyi1(6) && fn == v1[6]) {  // where is not called: its empty is an empty list of ints
    mr(x);
    return _r(ce[tINT]);
  }
  V r = fn(io(x, 0));
  mr(x);
  return r ? te0(r) : 0;
}

V e1(V f, V x) {
  if (tp(f) == tMONAD) return e1f(v1[(U)f & 31], x);
  int t = tp(x);
  if (t == tDICT) return mapv(x, [f](V v) { return e1(f, v); });
  if (t >= tINTA) return _1(f, x);
  J n = _n(x);
  if (!n) return mr(x), emp();
  if (t == tLIST) return inplace(x, [f](V v) { return _1(f, v); });
  return gath(lst(n), n, x, [&](J i) { return _1(f, ii(x, i)); });
}

V ech2(V f, V y) {
  if (tp(f) == tLAMBDA && tp(y) == tLIST && nx(y) > 15) {
    // The modules offer vector equivalents of some lambdas through `qew`.
    // Without the modules that name is undefined: the plain each gives the
    // same value, so the lookup's error is dropped and the each runs.
    G g = tl.groot;
    tl.groot = 1;
    V q = gg(as(us("qew")));
    tl.groot = g;
    if (q) {
      mr(q);
      static V qe;
      return k2(&qe, "{$[(#qew)=i:qew?x;x'y;qewf[i;y]]}", f, y);
    }
    eclr();
  }
  return e1(f, y);
}

// ---- each-left and each-right ----
V l2f(K2 fn, V x, V y) {
  int t = tp(x);
  if (t == tDICT) {
    V r = l2f(fn, PA(x)[1], y);
    return r ? am(_r(PA(x)[0]), r) : 0;
  }
  if (t >= tINTA) return fn(x, y);
  J n = _n(x);
  if (!n) {
    V a = io(x, 0), r = fn(a, y);
    mr(a);
    return r ? te0(r) : 0;
  }
  return gath(lst(n), n, y, [&](J i) {
    V a = ii(x, i), r = fn(a, _r(y));
    mr(a);
    return r;
  });
}

V r2f(K2 fn, V x, V y) {
  int t = tp(y);
  if (t == tDICT) return mapv(y, [fn, x](V v) { return r2f(fn, x, v); });
  if (t >= tINTA) return fn(x, y);
  J n = _n(y);
  if (!n) {
    V r = fn(x, io(y, 0));
    mr(y);
    return r ? te0(r) : 0;
  }
  return gath(lst(n), n, y, [&](J i) { return fn(x, ii(y, i)); });
}

V l2(V f, V x, V y) {
  if (tp(f) == tDYAD) return l2f(v2[(U)f & 31], x, y);
  int t = tp(x);
  if (t >= tINTA) return _2(f, x, y);
  if (t == tDICT) {
    V a[2] = {GAP, y};
    V p = prj(f, a, 2);
    if (!p) return 0;
    V r = e1(p, _r(x));
    mr(p);
    return r;
  }
  J n = _n(x);
  if (!n) return mr(y), emp();
  return gath(lst(n), n, y, [&](J i) {
    V a = ii(x, i), r = _2(f, a, _r(y));
    mr(a);
    return r;
  });
}

V r2(V f, V x, V y) {
  if (tp(f) == tDYAD) return r2f(v2[(U)f & 31], x, y);
  int t = tp(y);
  if (t >= tINTA) return _2(f, x, y);
  if (t == tDICT) {
    V a[2] = {_r(x), GAP};
    V p = prj(f, a, 2);
    if (!p) return mr(y), (V)0;
    V r = e1(p, y);
    mr(p);
    return r;
  }
  J n = _n(y);
  if (!n) return mr(y), emp();
  return gath(lst(n), n, y, [&](J i) { return _2(f, x, ii(y, i)); });
}

// ---- atomic extension of a primitive ----
V e2f(K2 fn, V x, V y) {
  int a = tp(x), b = tp(y);
  J n;
  if (a >= tINTA) {
    if (b >= tINTA) return fn(x, y);
    if (b == tDICT) return mapv(y, [fn, x](V v) { return e2f(fn, x, v); });
    n = _n(y);
  } else if (a == tDICT) {
    if (b == tDICT) return dar(fn, x, y);
    V r = e2f(fn, PA(x)[1], y);
    return r ? am(_r(PA(x)[0]), r) : 0;
  } else if (b == tDICT) {
    return mapv(y, [fn, x](V v) { return e2f(fn, x, v); });
  } else {
    n = _n(x);
    if (b < tINTA && _n(y) != n) return el(y);
  }
  if (!n) {
    V p = io(x, 0), r = fn(p, io(y, 0));
    mr(p);
    mr(y);
    return r ? te0(r) : 0;
  }
  return gath(emp(), n, y, [&](J i) {
    V p = nth(x, i), r = fn(p, nth(y, i));
    mr(p);
    return r;
  });
}

// ---- dyadic each of any function ----
V e2(V f, V x, V y) {
  if (tp(f) == tDYAD) return e2f(v2[(U)f & 31], x, y);
  int a = tp(x), b = tp(y);
  if (a >= tINTA) return r2(f, x, y);
  if (b >= tINTA) return l2(f, x, y);
  if (a == tDICT || b == tDICT) {
    V g[2] = {_r(x), y};
    return em(f, g, 2);
  }
  J n = _n(x);
  if (_n(y) != n) return el(y);
  if (!n) return mr(y), emp();
  bool mv = b == tLIST && sole(hd(y));
  V l = 0;
  for (J i = 0; i < n; i++) {
    V p = ii(x, i), r = _2(f, p, mv ? PA(y)[i] : ii(y, i));
    mr(p);
    if (r && !l) l = room(r, (U)n);
    if (!r || !(l = psh(l, r))) {
      if (!r && l) mr(l);
      if (mv) unmove(y, i + 1, n);
      mr(y);
      return 0;
    }
  }
  if (mv) hd(y)->type = tBYTE;
  mr(y);
  return l;
}

// ---- n-adic each ----
J cfm(const V *a, U n) {
  J c = -1;
  for (U i = 0; i < n; i++) {
    if (atm(a[i])) continue;
    J k = _n(a[i]);
    if (c >= 0 && k != c) return -2;
    c = k;
  }
  return c;
}

V e8(V f, V *a, U n) {
  if (n == 1) return e1(f, a[0]);
  if (n == 2) {
    V r = e2(f, a[0], a[1]);
    mr(a[0]);
    return r;
  }
  if (n > 8) return er8(a, n);
  // 0 immediate atom, 1 boxed atom or function, 2 list moved, 3 items taken
  G k[8];
  for (U i = 0; i < n; i++) {
    V v = a[i];
    int t = tp(v);
    if (t == tDICT) return em(f, a, n);
    k[i] = t >= tINTA ? (heap(v) ? 1 : 0) : (t == tLIST && sole(hd(v))) ? 2 : 3;
  }
  J c = cfm(a, n);
  if (c == -2) return el8(a, n);
  if (c == -1) return _8(f, a, n);
  if (!c) {
    mrn(n, a);
    return f == mp1(14) ? _r(ce[tBYTE]) : emp();
  }
  V l = 0, b[8];
  for (J i = 0; i < c; i++) {
    for (U j = 0; j < n; j++)
      b[j] = k[j] == 0 ? a[j] : k[j] == 1 ? _r(a[j]) : k[j] == 2 ? PA(a[j])[i] : ii(a[j], i);
    V r = _8(f, b, n);
    if (r && !l) l = room(r, (U)c);
    if (!r || !(l = psh(l, r))) {
      if (!r && l) mr(l);
      for (U j = 0; j < n; j++)
        if (k[j] == 2) unmove(a[j], i + 1, c);
      mrn(n, a);
      return 0;
    }
  }
  for (U j = 0; j < n; j++)
    if (k[j] == 2) hd(a[j])->type = tBYTE;
  mrn(n, a);
  return l;
}

V ech8(V *a, U) { return er(a[0]); }

}  // namespace zk
