// join.cpp: enl (enlist), psh (append one item), cat10 (the join core
// x,y) and jc (join strings with one character).
//
// least version: covers what the runtime core needs (building lists item
// by item, tables row by row, dotted names); cases it does not cover fail
// with 'nyi.  The list primitives' owner completes it.
//
// Integers are one logical type stored at the narrowest width (bits,
// bytes, shorts, ints, longs), so appending an integer that does not fit
// widens the vector instead of turning it into a general list.
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

inline constexpr U NMAX = 0xFFFFFFFFu;

ZK_INLINE bool intv(int t) { return t >= tBOOL && t <= tLONG; }

// Writes integer v at item i of the integer vector x (types 3..7).
ZK_INLINE void puti(V x, int t, UJ i, J v) {
  switch (t) {
    case tBOOL:
      if (v & 1) P(x)[i >> 3] |= (G)(1u << (i & 7));
      else P(x)[i >> 3] &= (G) ~(1u << (i & 7));
      break;
    case tBYTE: P<int8_t>(x)[i] = (int8_t)v; break;
    case tSHORT: P<int16_t>(x)[i] = (int16_t)v; break;
    case tINT: PI(x)[i] = (I)v; break;
    default: PL(x)[i] = v;
  }
}

// Writes the payload of atom a at item i of x, whose item type is a's;
// releases a.
ZK_INLINE void puta(V x, UJ i, V a) {
  int t = tp(x);
  if (intv(t)) return puti(x, t, i, gl(a));
  switch (Tw[t]) {
    case 3: P(x)[i] = (G)a; break;
    case 5: PI(x)[i] = ip(a); break;
    default: PL(x)[i] = gl(a);
  }
}

// Width (type 3..7) an integer vector of type t needs to also hold v.
ZK_INLINE int wfor(int t, J v) {
  int need = t == tBOOL && (UJ)v <= 1 ? tBOOL : tZ(v);
  return need > t ? need : t;
}

// Appends dict d as a row of table x; both consumed.  The row's keys must
// be the table's column names in order.
V prow(V x, V d) {
  if (!mtc_(PA(x)[0], PA(d)[0])) {  // least version: no alignment by name yet
    mr(d);
    return en(x);
  }
  x = mut(x);
  V c = PA(x)[1] = mut(PA(x)[1]), vs = PA(d)[1];
  for (U j = 0, m = nx(c); j < m; j++) {
    V col = psh(PA(c)[j], ii(vs, j));
    if (!col) {
      PA(c)[j] = _r(ce[tLIST]);  // keep x releasable
      mr(d);
      mr(x);
      return 0;
    }
    PA(c)[j] = col;
  }
  mr(d);
  return x;
}

}  // namespace

V enl(V x) {
  int t = tp(x);
  if (t >= tINTA && (t < tLAMBDA || t > tNATIVE)) {
    V r = an(1, TT[t]);
    puta(r, 0, x);
    return r;
  }
  if (t == tDICT && tp(PA(x)[0]) == tSYM) {  // a dict with names is a one-row table
    V k = PA(x)[0], v = PA(x)[1];
    U m = nx(k);
    V c = m ? an(m, tLIST) : aA0(0);
    for (U j = 0; j < m; j++) PA(c)[j] = enl(ii(v, j));
    V r = aM(_r(k), c);
    mr(x);
    return r;
  }
  return aA1(x);
}

V psh(V x, V y) {
  int t = tp(x);
  if (t == tRANGE) {
    if (!(x = gZ(x))) return mr(y), 0;
    t = tp(x);
  }
  if (t == tTABLE) {
    if (tp(y) == tDICT) return prow(x, y);
    if (!(x = blw(x))) return mr(y), 0;
    t = tLIST;
  } else if (t > tTABLE) {  // atoms, functions, dicts: the dict fails 'type
    if (!(x = blw(x))) return mr(y), 0;
    t = tLIST;
  }
  U n = nx(x);
  if (!n) {
    mr(x);
    return enl(y);
  }
  if (n == NMAX) {
    mr(y);
    return ez(x);
  }
  int yt = tp(y);
  if (t != tLIST) {
    if (intv(t) && (yt == tINTA || yt == tLONGA)) {
      J v = gl(y);
      int w = wfor(t, v);
      if (w != t && !(x = ct(w, x))) return 0;
      x = aa(n + 1, x);
      puti(x, w, n, v);
      return x;
    }
    if (yt >= tINTA && TT[yt] == t) {
      x = aa(n + 1, x);
      puta(x, n, y);
      return x;
    }
    x = blw(x);  // any other mismatch: a general list
  }
  x = aa(n + 1, x);
  PA(x)[n] = y;
  return x;
}

V cat10(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tRANGE) {
    if (!(x = gZ(x))) return 0;
    tx = tp(x);
  }
  if (ty == tRANGE || ty >= tINTA) {  // a range joins as its vector, an atom as one item
    V y1 = ty == tRANGE ? gZ(_r(y)) : enl(_r(y));
    if (!y1) return mr(x), 0;
    V r = cat10(x, y1);
    mr(y1);
    return r;
  }
  if (tx >= tINTA) {
    x = enl(x);
    tx = tp(x);
  }
  if (tx == tTABLE || tx == tDICT || ty == tTABLE || ty == tDICT) return en(x);  // least version
  UJ n = nx(x), m = nx(y);
  if (n + m > NMAX) return ez(x);
  bool ints = intv(tx) && intv(ty);
  if (tx != ty && !ints && (!n || !m)) return en(x);  // least version: empty mixed joins
  if (!m) return x;
  if ((tx == ty && tx != tLIST) || ints) {
    int w = tx > ty ? tx : ty;
    if (tx != w && !(x = ct(w, x))) return 0;
    V y1 = ty != w ? ct(w, _r(y)) : y;
    if (!y1) return mr(x), 0;
    x = aa((U)(n + m), x);
    if (w == tBOOL)
      for (UJ i = 0; i < m; i++) puti(x, w, n + i, (P(y1)[i >> 3] >> (i & 7)) & 1);
    else
      memcpy(P(x) + (n << Tw[w] >> 3), P(y1), dbytes((U)m, w));
    if (y1 != y) mr(y1);
    return x;
  }
  if (!(x = blw(x))) return 0;
  x = aa((U)(n + m), x);
  for (UJ i = 0; i < m; i++) PA(x)[n + i] = ii(y, (J)i);
  return x;
}

V jc(char c, V l) {
  int t = tp(l);
  if (t != tLIST) return t >= tINTA ? et(l) : en(l);
  U n = nx(l);
  UJ len = n ? n - 1 : 0;
  for (U i = 0; i < n; i++) {
    V s = PA(l)[i];
    if (tp(s) != tCHR) return et(l);
    len += nx(s);
  }
  if (len > NMAX) return ez(l);
  V r = an((U)len, tCHR);
  char *p = PC(r);
  for (U i = 0; i < n; i++) {
    V s = PA(l)[i];
    if (i) *p++ = c;
    memcpy(p, PC(s), nx(s));
    p += nx(s);
  }
  mr(l);
  return r;
}

}  // namespace zk
