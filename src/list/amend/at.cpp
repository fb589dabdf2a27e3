// at.cpp: `@` with three or four arguments (v8 slot 18): a8q picks the
// form, a8t is the protected application @[f; x; e], a8 the amend core.
//
// a8 dispatches on the target: a function is applied to the other
// arguments; a list or vector is amended by a typed kernel (kern.cpp) when
// f is one of : + - * & | on integers or chars, at one position through
// set (store.cpp), or item by item through the n-adic over of `@`; a dict
// by its keys (absent keys appended, through dam); a keyed table through
// the cached lambda that appends absent keys; a table by columns, by whole
// rows (tbl.cpp) or through the list of its row dicts.
//
// The no-squeeze depth tl.nsq is raised around the item-by-item fold, so a
// general list is squeezed once at its end, and set to 0 around every
// application of f or of a function target.
//
// Ownership, as for every n-adic verb: args[0] is consumed, the others
// borrowed (the caller releases them).  args holds 3, 4 or 5 values: x, i,
// f, then y and z, the further arguments of f (five come from the `.`
// amend).
#include "core/err.h"
#include "core/sym.h"
#include "eval/adverb.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

namespace {

ZK_INLINE bool fnt(int t) { return t >= tLAMBDA && t <= tNATIVE; }
ZK_INLINE bool intv(int t) { return t >= tBOOL && t <= tLONG; }
const V AT = mp2(18);  // the dyadic `@`

// Whether @[x; i; f; y] runs in one typed kernel.
bool kern(V x, V i, V f, V y) {
  if (tp(f) != tDYAD || !((0xcfu >> (ip(f) & 31)) & 1) || (ip(f) & 31) > 7) return false;
  int t = tp(x), it = tp(i), yt = tp(y);
  if (!(it == tRANGE || intv(it) || it == tCHR)) return false;
  if (intv(t)) return yt == tINTA || yt == tLONGA || yt == tRANGE || intv(yt);
  return t == tCHR && (ip(f) & 31) == 0 && (yt == tCHRA || yt == tCHR);
}

// f applied to n values (consumed) with the no-squeeze depth at 0.
V app(V f, V *b, U n) {
  I d = tl.nsq;
  tl.nsq = 0;
  V r = _8(f, b, n);
  tl.nsq = d;
  return r;
}

// The n-adic over of `@` with x (consumed) as the seed: each item of every
// list argument in step, atoms and functions whole.
V over(V *args, U n) {
  V b[5];
  b[0] = args[0];
  for (U j = 1; j < n; j++) b[j] = _r(args[j]);
  return f8(AT, b, n);
}

// List amend: x a general list or a vector.
V lam(V *args, U n) {
  V x = args[0], i = args[1], f = args[2];
  int it = tp(i);
  if (i == GNULL) {
    V b[4];
    b[0] = _r(f), b[1] = x;
    for (U j = 3; j < n; j++) b[j - 1] = _r(args[j]);
    I d = tl.nsq;
    tl.nsq = 0;
    V r = e8(AT, b, n - 1);
    tl.nsq = d;
    return r;
  }
  if (it == tINTA || it == tLONGA || it == tCHRA) {
    J p = gl_(i);
    if ((UJ)p >= (UJ)_n(x)) return ei(x);
    x = mut(x);
    V b[3];
    b[0] = ii(x, p);
    for (U j = 3; j < n; j++) b[j - 2] = _r(args[j]);
    V r = app(f, b, n - 2);
    return r ? set(x, p, r) : (mr(x), (V)0);
  }
  if (n == 4 && kern(x, i, f, args[3])) {
    if (tp(x) != tCHR) return ara(x, i, f, args[3]);
    V r = ara(x, i, f, args[3]);
    return r && tp(r) != tCHR ? ct(tCHR, r) : r;
  }
  if (it >= tINTA) return et(x);
  ixpv(0, 0);  // a voucher for i that the kernel will not take is withdrawn
  tl.nsq++;
  V r = over(args, n);
  tl.nsq--;
  return r ? sqz(r) : 0;
}

// Keyed-table amend: keys and values both tables.
V kam(V *args, U n) {
  static V lam_ = 0;
  V x = args[0], i = args[1], f = args[2];
  V r = fnd(PA(x)[0], _r(i));
  if (!r) return mr(x), (V)0;
  bool one = tp(r) >= tINTA;
  if (!one && !(r = ct(tLONG, r))) return mr(x), (V)0;
  x = mut(x);
  bool absent = one ? gl_(r) == NJ : false;
  for (U k = 0, m = one ? 0 : nx(r); k < m && !absent; k++) absent = PL(r)[k] == NJ;
  if (absent) {
    I single = 0;
    V kc = tky(PA(x)[0], _r(i), &single);
    if (!kc) return mr(x), mr(r), (V)0;
    V a[4] = {PA(x)[0], PA(x)[1], one ? enl(r) : r, aM(_r(PA(PA(x)[0])[0]), kc)};
    PA(x)[0] = PA(x)[1] = GNULL;
    V z = k8(&lam_,
             "{[k;v;z;u]w:&^z;n:#k;u:u w;d:u?u;f:&d=!#u;(k,u f;v,v(#f)#0N;@[z;w;:;n+f?d])}", a,
             4);
    if (!z) return mr(x), (V)0;
    PA(x)[0] = _r(PA(z)[0]), PA(x)[1] = _r(PA(z)[1]);
    r = _r(PA(z)[2]);
    mr(z);
    if (one) r = fir(r);
    else if (!(r = ct(tLONG, r))) return mr(x), (V)0;
  }
  V y = n > 3 ? args[3] : 0, s = 0;
  if (n == 4 && f == mp2(0) && tp(y) != tDICT && tp(y) != tTABLE) {
    V names = PA(PA(x)[1])[0];
    if (tp(y) >= tINTA && !one) s = rsz(_n(r), _r(y));
    else if (!one) {
      s = flp(_r(y));
      if (s && _n(s) != _n(names)) mr(s), s = el0();
      if (s) s = aM(_r(names), s);
    } else {
      // One value per column: an atom repeated, a list of that count.
      V v = tp(y) >= tINTA ? rsz(_n(names), _r(y)) : _r(y);
      if (v && _n(v) != _n(names)) mr(v), v = el0();
      s = v ? am(_r(names), v) : 0;
    }
    if (!s) return mr(r), mr(x), (V)0;
  }
  V b[5] = {PA(x)[1], r, f, s ? s : y, n > 4 ? args[4] : 0};
  PA(x)[1] = GNULL;
  V v = a8(b, n);
  mr(r);
  if (s) mr(s);
  if (!v) return mr(x), (V)0;
  if (tp(v) != tTABLE) return mr(v), et(x);
  PA(x)[1] = v;
  return x;
}

// Dict amend: x a dict.
V dma(V *args, U n) {
  V x = args[0], i = args[1], f = args[2];
  if (i == GNULL) {
    V b[5] = {x, _r(PA(x)[0]), f, n > 3 ? args[3] : 0, n > 4 ? args[4] : 0};
    V r = a8(b, n);
    mr(b[1]);
    return r;
  }
  if (tp(PA(x)[0]) == tTABLE) return tp(PA(x)[1]) == tTABLE ? kam(args, n) : en(x);
  V r = fnd(PA(x)[0], _r(i));
  if (!r) return mr(x), (V)0;
  int rt = tp(r);
  if (rt >= tINTA) {
    x = mut(x);
    J p = gl(r);
    if (p == NJ) {
      p = _n(PA(x)[0]);
      V s = ie(f, PA(x)[1]);
      if (!s) return mr(x), (V)0;
      PA(x)[0] = psh(PA(x)[0], _r(i));
      PA(x)[1] = psh(PA(x)[1], s);
      if (!PA(x)[0] || !PA(x)[1]) {
        if (!PA(x)[0]) PA(x)[0] = GNULL;
        if (!PA(x)[1]) PA(x)[1] = GNULL;
        return mr(x), (V)0;
      }
    }
    V b[5] = {PA(x)[1], p == (J)(I)p ? ai((I)p) : al(p), f, n > 3 ? args[3] : 0, n > 4 ? args[4] : 0};
    PA(x)[1] = GNULL;
    V v = a8(b, n);
    mr(b[1]);
    if (!v) return mr(x), (V)0;
    PA(x)[1] = v;
    return x;
  }
  auto fits = [&](V v) { return tp(v) >= tINTA || (tp(v) < tTABLE && _n(v) == _n(r)); };
  bool go = rt >= tBYTE && rt <= tLONG &&
            (n == 3 || (n == 4 && fits(args[3])) || (n == 5 && tp(args[3]) >= tINTA && fits(args[4])));
  if (go) {
    if (!(r = ct(tLONG, r))) return mr(x), (V)0;
    return dam(x, i, r, args, n, 0);
  }
  mr(r);
  return over(args, n);
}

// Table amend: x a table.
V tam(V *args, U n) {
  V x = args[0], i = args[1], f = args[2];
  int it = tp(i);
  V names = PA(x)[0];
  if (it == tSYMA || it == tSYM) {
    J rows = _n(x);
    V b[5] = {flp(x), i, f, n > 3 ? args[3] : 0, n > 4 ? args[4] : 0};
    if (!b[0]) return 0;
    if (f != mp2(0)) return tcv(b, n, i, rows);
    V r = a8(b, n);
    return r ? tbk(r, rows) : 0;
  }
  if (n == 4 && f == mp2(0) && tp(names) == tSYM) {
    V y = args[3];
    int yt = tp(y);
    bool whole = i == GNULL && (yt >= tINTA || (yt == tDICT && tp(PA(y)[0]) != tTABLE));
    bool row = (it == tINTA || it == tLONGA) && yt >= tINTA;
    if (whole || row) return trw(x, i, y);
  }
  J rows = _n(x);
  V b[5] = {0, i, f, n > 3 ? args[3] : 0, n > 4 ? args[4] : 0};
  if (rows) {
    if (!(b[0] = blw(x))) return 0;
    V r = a8(b, n);
    return r ? sqz(r) : 0;
  }
  // An empty table: when the amend leaves an empty list of rows like its
  // own, the table itself is the answer, with its columns' types.
  if (!(b[0] = blw(_r(x)))) return mr(x), (V)0;
  V proto = _r(PA(b[0])[0]);
  V r = a8(b, n);
  if (!r) return mr(proto), mr(x), (V)0;
  if (tp(r) == tLIST && !nx(r) && tp(PA(r)[0]) == tDICT && mtc_(PA(r)[0], proto)) {
    mr(proto), mr(r);
    return x;
  }
  mr(proto), mr(x);
  return sqz(r);
}

}  // namespace

V a8t(V f, V *args) {
  V l = aA1(_r(args[1]));
  V r = try_(f, l, args[2]);
  mr(l);
  return r;
}

V a8(V *args, U n) {
  V x = args[0];
  int t = tp(x);
  if (fnt(t)) {
    V a[4];
    for (U i = 1; i < n; i++) a[i - 1] = _r(args[i]);
    V r = app(x, a, n - 1);
    mr(x);
    return r;
  }
  if (t == tRANGE) {
    if (!(x = gZ(x))) return 0;
    V b[5] = {x, args[1], args[2], n > 3 ? args[3] : 0, n > 4 ? args[4] : 0};
    return a8(b, n);
  }
  if (t == tLIST || (t >= tBOOL && t <= tTSPAN)) return lam(args, n);
  if (t == tDICT) return dma(args, n);
  if (t == tTABLE) return tam(args, n);
  return et(x);
}

V a8q(V *args, U n) {
  V x = args[0];
  int t = tp(x);
  if (n == 3 && t == tLAMBDA && hd(x)->valence == 1) return a8t(x, args);
  if (n == 3 && (t == tINTA || t == tLONGA) && tp(args[2]) > tSYMA) return a8t(x, args);
  if (n == 4 && t == tSYMA) {  // the global named x, through the `.` amend
    V b[4] = {x, aA1(_r(args[1])), args[2], args[3]};
    V r = d8(b, 4);
    mr(b[1]);
    return r;
  }
  return a8(args, n);
}

}  // namespace zk
