// attr.cpp: attributes, the promise a value's header byte makes about the
// arrangement of its items (1 sorted, 2 unique, 3 parted, 4 grouped).
//
// Names: qsa qua qpa qga qat = the builtins sa ua pa ga at; atchk = set the
// attribute of a letter on a typed vector; atlist = the attribute form of
// take (`s#x) for a list or vector; atkeys = the sorted attribute of a
// table's rows (and the parted or sorted one of its first column); atok =
// does a value keep the promise of an attribute (the decoders' check).
//
// Every check is a composition of verbs the engine already has: sorted is
// the fused count of neighbours out of order (idiom 308, +/(1_x)<-1_x),
// unique compares the count of the distinct items with the count, parted
// compares the number of runs (n minus idiom 310, +/(1_x)=-1_x) with it.
// So an attribute agrees with what `<`, `=` and `?` say about the items,
// floats included (NaN lowest, NaN equal to NaN, -0 equal to 0).
//
// The byte is written only on a value the caller owns alone: mut copies a
// shared value first, so another holder never sees an attribute appear.
// mut also clears the byte, and every change in place goes through it,
// which is why an attribute survives only on values nobody has changed.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

namespace {

// Heap vectors of types 4..17: the only values the checks look into.
ZK_INLINE bool tvec(V x) {
  if (!heap(x)) return false;
  int t = tp(x);
  return t >= tBYTE && t <= tTSPAN;
}

// The attribute code of a letter: p 3, s 1, u 2, any other 4.
ZK_INLINE G acode(I c) { return c == 'p' ? 3 : c == 's' ? 1 : c == 'u' ? 2 : 4; }

// x (consumed) with attribute a, written in place or on a private copy.
V aset(V x, G a) {
  x = mut(x);
  if (x) hd(x)->attr = a;
  return x;
}

// The fused count of idiom m over x's neighbours (x borrowed); -1 with the
// error raised when it fails.
J ncnt(J m, V x) {
  V a[3] = {ai((I)m), x, GNULL};
  V r = fredB(a);
  if (!r) return -1;
  int t = tp(r);
  J c = t == tINTA || t == tLONGA ? gl_(r) : -1;
  mr(r);
  if (c < 0) et0();
  return c;
}

// The count of the distinct items of x (borrowed); -1 with the error raised.
J dcnt(V x) {
  V u = unq(_r(x));
  if (!u) return -1;
  J d = _n(u);
  mr(u);
  return d;
}

// The failure of a check: x released, the named error raised.
V afail(V x, const char *e) { return err1(x, e); }

// Whether the answer of a check lambda (consumed) is true: -1 when it is
// not an atom of 0 or 1.
int truth(V r) {
  int t = tp(r);
  J v = t == tINTA || t == tLONGA ? gl_(r) : -1;
  mr(r);
  return v == 0 || v == 1 ? (int)v : -1;
}

}  // namespace

// ---- the builtins sa ua pa ga at ----

V qsa(V x) {
  if (!tvec(x) || hd(x)->attr == 1) return x;
  J c = ncnt(308, x);
  if (c < 0) return mr(x), (V)0;
  return c ? afail(x, "s-fail") : aset(x, 1);
}

V qua(V x) {
  if (!tvec(x) || hd(x)->attr == 2) return x;
  J d = dcnt(x);
  if (d < 0) return mr(x), (V)0;
  return d != (J)nx(x) ? afail(x, "u-fail") : aset(x, 2);
}

V qpa(V x) {
  if (!tvec(x) || hd(x)->attr == 3) return x;
  J b = ncnt(310, x);
  if (b < 0) return mr(x), (V)0;
  J d = dcnt(x), n = nx(x);
  if (d < 0) return mr(x), (V)0;
  return n && n - b != d ? afail(x, "p-fail") : aset(x, 3);
}

V qga(V x) { return tvec(x) && hd(x)->attr != 4 ? aset(x, 4) : x; }

V qat(V x) {
  int t = tp(x);
  G a = heap(x) && t != tRANGE && t <= tDICT ? hd(x)->attr : 0;
  mr(x);
  static const char L[] = "\0supg";
  return as(a <= 4 ? (I)(G)L[a] : 0);
}

// ---- the take form ----

V atchk(I c, V x) {
  switch (c) {
    case 'g': return qga(x);
    case 'p': return qpa(x);
    case 's': return qsa(x);
    case 'u': return qua(x);
    default: return x;
  }
}

// A list or vector of another kind checked on the typed vector v (a new
// value, consumed) and given the letter's code itself.
static V atvia(I c, V x, V v) {
  if (!v) return mr(x), (V)0;
  v = atchk(c, v);
  if (!v) return mr(x), (V)0;
  mr(v);
  return aset(x, acode(c));
}

V atlist(V s, V x) {
  I c = ip(s);
  while (tp(x) == tRANGE)
    if (!(x = gZ(x))) return 0;
  int t = tp(x);
  if (t >= tBYTE && t <= tTSPAN) return atchk(c, x);
  if (t == tBOOL) return atvia(c, x, ct(tBYTE, _r(x)));
  if (t != tLIST) return et(x);
  // A list of temporal atoms of one type is checked as their counts.
  if (tjk(x) >= tDATEA) return atvia(c, x, tjn(x));
  if (c == 'p') return et(x);
  if (c == 's') {
    static V kc_srt;
    V r = k1(&kc_srt, "{(!#x)~<x}", _r(x));
    if (!r) return mr(x), (V)0;
    int b = truth(r);
    if (b < 0) return et(x);
    if (!b) return afail(x, "s-fail");
  } else if (c == 'u') {
    J d = dcnt(x);
    if (d < 0) return mr(x), (V)0;
    if (d != (J)nx(x)) return afail(x, "u-fail");
  }
  return aset(x, acode(c));
}

V atkeys(V x, I parted) {
  if (tp(x) != tTABLE) return atlist(as('s'), x);
  static V kc_rows;
  V f = ki(&kc_rows, "{v:. +x;o:`xs(v;0b);o:$[#o;o;<x];o~!#x}");
  if (!f) return mr(x), (V)0;
  V r = _1(f, _r(x));
  if (!r) return mr(x), (V)0;
  int b = truth(r);
  if (b < 0) return et(x);
  if (!b) return afail(x, "s-fail");
  V cols = PA(x)[1];
  U m = nx(cols);
  if (!m) return aset(x, 1);
  V c = PA(cols)[0];
  bool gl = tp(c) == tLIST;
  I a;
  if (m == 1) {
    if (_n(c) < 2) return aset(x, 1);
    a = parted || gl ? 's' : 'p';
  } else {
    if (gl && _n(c) < 2) return aset(x, 1);
    a = gl ? 's' : 'p';
  }
  V c1 = atlist(as(a), _r(c));
  if (!c1) return mr(x), (V)0;
  V nc = an(m, tLIST);
  PA(nc)[0] = c1;
  for (U j = 1; j < m; j++) PA(nc)[j] = _r(PA(cols)[j]);
  V r2 = aM(_r(PA(x)[0]), nc);
  hd(r2)->attr = 1;
  mr(x);
  return r2;
}

// ---- the decoders' check ----

bool atok(V x, int k) {
  if (k == 4) return true;
  if (k < 1 || k > 3 || !tvec(x)) return false;
  J n = nx(x), c = 0, d = n;
  if (k != 2) c = ncnt(k == 1 ? 308 : 310, x);
  if (k != 1 && c >= 0) d = dcnt(x);
  // A check that could not run only means the attribute is not kept.
  if (c < 0 || d < 0) return eclr(), false;
  return k == 1 ? c == 0 : k == 2 ? d == n : n - c == d;
}

}  // namespace zk
