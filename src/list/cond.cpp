// cond.cpp: ?[x;y;z] with three arguments (ins3): the vector conditional
// when x is a condition, the splice otherwise.  Names: ins3b = the pick
// by an atom flag, insL = the splice kernel, spl = the splice with its
// types brought together, tcnd = tables column by column.
//
// A condition is an atom flag of 0 or 1, a bit-packed vector, an empty
// integer vector, or an integer vector whose every item is 0 or 1; an
// integer vector holding anything else is a list to splice into.  Splice
// positions are indexes: they are compared with the count as unsigned
// numbers, so a negative position lies past the end and fails 'index
// rather than copying from before the data.
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "order/order.h"

namespace zk {

namespace {

inline constexpr UJ NMAX = 0xFFFFFFFFull;

V kvc;

ZK_INLINE bool intv(int t) { return t >= tBOOL && t <= tLONG; }
ZK_INLINE bool isv(V v) { return tp(v) < tTABLE; }  // a list or vector

// Every item of the integer vector x (types 4..7) is 0 or 1.
bool bin01(V x, int t) {
  for (U i = 0, n = nx(x); i < n; i++)
    if ((UJ)iti(x, t, i) > 1) return false;
  return true;
}

// The vector conditional: the items of a where c is 1, of b elsewhere;
// c consumed, a and b borrowed.
V vcnd(V c, V a, V b) {
  V args[3] = {c, _r(a), _r(b)};
  return k8(&kvc,
            "{[c;a;b]t:{(\"a\"<*$@x)&~`m=@x};b:$[t b;(#c)#b;b];$[(#c)=#b;;`err\"length\"];w:&c;"
            "@[b;w;:;$[t a;a;(#c)=#a;a w;`err\"length\"]]}",
            args, 3);
}

// The splice of z (consumed) into x (consumed) at the positions y
// (borrowed), once x and z share a type.
V spos(V x, V y, V z) {
  int t = tp(y);
  V r;
  if (t == tINTA || t == tLONGA) {
    J i = gl_(y);
    r = insL(x, i, i, z);
  } else if (t == tRANGE || (intv(t) && t != tBOOL)) {
    if (_n(y) != 2) return mr(z), el(x);
    r = insL(x, iti(y, t, 0), iti(y, t, 1), z);
  } else {
    return mr(z), et(x);
  }
  mr(z);
  return r;
}

// Splice: x consumed, y and z borrowed.
V spl(V x, V y, V z) {
  int tz = tp(z);
  z = isatom(tz) || tz == tDICT ? enl(_r(z)) : _r(z);
  if (!z) return mr(x), (V)0;
  if (tp(x) == tRANGE && !(x = gZ(x))) return mr(z), (V)0;
  if (tp(z) == tRANGE && !(z = gZ(z))) return mr(x), (V)0;
  int tx = tp(x);
  tz = tp(z);
  if (intv(tx) && intv(tz) && tx != tz) {
    if (!sup(&x, &z)) return 0;
  } else if (tx != tz) {
    if (!(x = blw(x))) return mr(z), (V)0;
    if (!(z = blw(z))) return mr(x), (V)0;
  }
  return spos(x, y, z);
}

// Tables: x consumed, z a table with the same column names; each column
// of x with the column of z at the same position.
V tcnd(V x, V y, V z) {
  if (tp(z) != tTABLE) return et(x);
  V nm = PA(x)[0], cx = PA(x)[1], cz = PA(z)[1];
  if (!mtc_(nm, PA(z)[0])) return ed(x);
  U n = nx(cx);
  V c = an(n ? n : 1, tLIST);
  hd(c)->count = n;
  for (U i = 0; i < n; i++) {
    V r = ins3(_r(PA(cx)[i]), y, PA(cz)[i]);
    if (!r) return lfail(c, i), mr(x), (V)0;
    PA(c)[i] = r;
  }
  V d = am(_r(nm), c);
  mr(x);
  return flp(d);
}

}  // namespace

V ins3b(V f, V a, V b) {
  int t = tp(f);
  if (t != tINTA && t != tLONGA) return 0;
  J v = gl_(f);
  if (v != 0 && v != 1) return 0;
  mr(f);
  return _r(v ? a : b);
}

V insL(V x, J i, J j, V z) {
  int t = tp(x);
  UJ nx_ = nx(x), nz = nx(z), a = (UJ)i, b = (UJ)j;
  if (a > b || b > nx_) return ei(x);
  UJ m = nx_ + nz - (b - a);
  if (m > NMAX) return ez(x);
  V r = an((U)m, t);
  if (t == tBOOL) {
    cpyB(P(r), 0, P(x), 0, a);
    cpyB(P(r), a, P(z), 0, nz);
    cpyB(P(r), a + nz, P(x), b, nx_ - b);
  } else {
    int w = Tw[t] - 3;  // log2 of the item's bytes
    char *d = PC(r);
    memcpy(d, PC(x), a << w);
    memcpy(d + (a << w), PC(z), nz << w);
    memcpy(d + ((a + nz) << w), PC(x) + (b << w), (nx_ - b) << w);
  }
  if (t != tLIST) return mr(x), r;
  for (UJ k = 0; k < nz; k++) _r(PA(z)[k]);
  if (sole(hd(x)) && nx_) {  // x's references move to r, but for those replaced
    for (UJ k = a; k < b; k++) mr(PA(x)[k]);
    hd(x)->type = tBYTE;
  } else {
    for (UJ k = 0; k < m; k++)
      if (k < a || k >= a + nz) _r(PA(r)[k]);
  }
  mr(x);
  if (!m) PA(r)[0] = _r(ce[tCHR]);
  return sqz(r);
}

V ins3(V x, V y, V z) {
  int tx = tp(x);
  if (tx == tINTA || tx == tLONGA) {
    V r = ins3b(x, y, z);
    return r ? r : et(x);
  }
  if (tx == tTABLE) return tcnd(x, y, z);
  if (tx >= tDICT) return et(x);
  if (intv(tx)) {
    U n = nx(x);
    bool hard = !n || tx == tBOOL, mis = false;
    for (V v : {y, z})
      if (!mis && isv(v) && _n(v) != n) {
        if (hard) return el(x);
        mis = true;
      }
    if (hard || bin01(x, tx)) return mis ? el(x) : vcnd(x, y, z);
  }
  return spl(x, y, z);
}

}  // namespace zk
