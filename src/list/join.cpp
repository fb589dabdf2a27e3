// join.cpp: enl (enlist), psh (append one item), cat (the verb x,y),
// cat10 and cat11 (the join core), jc / jC (join strings with one
// character or a separator text) and sc / scn (split a text at one
// character or a separator text).
//
// Growth: every append goes through aa, which grows in place when the
// caller owns the vector and its block has room (blocks come in powers of
// two, so n pushes cost amortised constant time) and copies otherwise.
// The verb `,` never changes its left argument: it joins a new reference.
// Counts are unsigned 32-bit: a result past 4,294,967,295 items is 'limit.
//
// Integers are one logical type stored at the narrowest width (bits,
// bytes, shorts, ints, longs), so joining or pushing integers of another
// width widens instead of making a general list; any other mix of kinds
// gives a general list.  Tables join by column, dicts merge by key, and a
// dict pushed onto a table is a row when its keys are the column names in
// order.
#include <cstring>

#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

namespace {

inline constexpr UJ NMAX = 0xFFFFFFFFull;

ZK_INLINE bool intv(int t) { return t >= tBOOL && t <= tLONG; }
ZK_INLINE bool lst(int t) { return t >= tLIST && t <= tTSPAN; }  // lists and vectors

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

// Width (type 3..7) an integer vector of type t needs to also hold v;
// only an int atom 0 or 1 is a bit (a long atom widens booleans to bytes).
ZK_INLINE int wfor(int t, J v, bool bit) {
  int need = t == tBOOL && bit && (UJ)v <= 1 ? tBOOL : tZ(v);
  return need > t ? need : t;
}

// The bits of y (m of them) after the first n bits of x, which already
// has room for n + m: whole 64-bit words, each shifted across two words
// when n is not a multiple of 64.  Bits past n + m in the last word are
// cleared.
void bput(V x, UJ n, V y, UJ m) {
  UJ *d = P<UJ>(x);
  const UJ *s = P<UJ>(y);
  UJ w = n >> 6, sh = n & 63, yw = (m + 63) >> 6, tw = (n + m + 63) >> 6;
  if (!sh) memcpy(d + w, s, yw * 8);
  else {
    d[w] &= ((UJ)1 << sh) - 1;
    for (UJ i = 0; i < yw; i++) {
      d[w + i] |= s[i] << sh;
      if (w + i + 1 < tw) d[w + i + 1] = s[i] >> (64 - sh);
    }
  }
  if ((n + m) & 63) d[tw - 1] &= ((UJ)1 << ((n + m) & 63)) - 1;
}

// Appends dict d as a row of table x; both consumed.  The row's keys are
// the table's column names in order (the caller checked).
V prow(V x, V d) {
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

// Two lists or vectors, neither empty; x consumed, y borrowed.
V lcat(V x, V y) {
  int tx = tp(x), ty = tp(y);
  UJ n = nx(x), m = nx(y);
  if (n + m > NMAX) return ez(x);
  if (tx != ty && intv(tx) && intv(ty)) {  // one integer width for both
    int w = tx > ty ? tx : ty;
    if (tx != w && !(x = ct(w, x))) return 0;
    V y1 = ty != w ? ct(w, _r(y)) : _r(y);
    if (!y1) return mr(x), (V)0;
    return cat11(x, y1);
  }
  if (tx != ty) {  // any other mix: general lists
    if (tx != tLIST && !(x = blw(x))) return 0;
    if (ty == tLIST) return cat10(x, y);
    V y1 = blw(_r(y));
    return y1 ? cat11(x, y1) : (mr(x), (V)0);
  }
  x = aa((U)(n + m), x);
  if (tx == tBOOL) bput(x, n, y, m);
  else if (tx == tLIST)
    for (UJ i = 0; i < m; i++) PA(x)[n + i] = _r(PA(y)[i]);
  else memcpy(P(x) + (n << Tw[tx] >> 3), P(y), dbytes((U)m, tx));
  return x;
}

// x a dict (consumed) joined with y (borrowed).
V dcat(V x, V y) {
  V k = PA(x)[0];
  int ty = tp(y);
  bool kt = tp(k) == tTABLE;
  if (ty == tDICT) {
    V yk = PA(y)[0];
    if (kt) {  // keyed tables: upsert by key
      if (tp(PA(x)[1]) != tTABLE) return en(x);
      if (tp(yk) != tTABLE) return et(x);
      V a[3] = {x, kcl(k, yk), 0};
      if (!a[1]) return mr(x), (V)0;
      if (!(a[2] = kcl(PA(x)[1], PA(y)[1]))) return mr(a[1]), mr(x), (V)0;
      static V kc_ups;
      return k8(&kc_ups, "{[x;k;v]i:(!x)?k;w:&i=#!x;f:&i<#!x;((!x),k w)!@[.x;i f;:;v f],v w}", a, 3);
    }
    if (tp(yk) == tTABLE) return et(x);
    V a[4] = {x, yk, mp2(0), PA(y)[1]};
    return a8(a, 4);
  }
  if (kt) {
    if (ty == tTABLE) return et(x);
    if (ty == tLIST && !nx(y)) return x;
    if (ty < tTABLE && !_n(y)) return et(x);
  }
  if (ty == tTABLE && !mtc_(PA(y)[0], k)) {  // rows with other names: a list of row dicts
    if (!_n(y)) return enl(x);
    V r = blw(_r(y));
    return r ? cat11(aA1(x), r) : (mr(x), (V)0);
  }
  return cat10(enl(x), y);
}

}  // namespace

V enl(V x) {
  int t = tp(x);
  if (t >= tINTA && (t < tLAMBDA || t > tNATIVE)) {
    V r = an(1, TT[t]);
    puta(r, 0, x);
    return r;
  }
  // A dict with names is a one-row table; without keys it stays a dict in
  // a list, as a table with no columns would have no rows to hold it.
  if (t == tDICT && tp(PA(x)[0]) == tSYM && nx(PA(x)[0])) {
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
    if (!(x = gZ(x))) return mr(y), (V)0;
    t = tp(x);
  }
  if (t > tTABLE) {  // atoms, functions, dicts: the dict fails 'type
    if (!(x = blw(x))) return mr(y), (V)0;
    t = tLIST;
  }
  J n = _n(x);
  if (!n) {
    mr(x);
    return enl(y);
  }
  if ((UJ)n >= NMAX) {
    mr(y);
    return ez(x);
  }
  int yt = tp(y);
  if (t == tTABLE) {
    if (yt == tDICT && mtc_(PA(x)[0], PA(y)[0])) return prow(x, y);
    if (!(x = blw(x))) return mr(y), (V)0;  // other names: a list of row dicts
    t = tLIST;
  }
  if (t != tLIST) {
    if (intv(t) && (yt == tINTA || yt == tLONGA)) {
      J v = gl(y);
      int w = wfor(t, v, yt == tINTA);
      if (w != t && !(x = ct(w, x))) return 0;
      x = aa((U)n + 1, x);
      puti(x, w, (UJ)n, v);
      return x;
    }
    if (yt >= tINTA && TT[yt] == t) {
      x = aa((U)n + 1, x);
      puta(x, (UJ)n, y);
      return x;
    }
    if (!(x = blw(x))) return mr(y), (V)0;  // any other mismatch: a general list
  }
  x = aa((U)n + 1, x);
  PA(x)[n] = y;
  return x;
}

V cat10(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tRANGE) {
    if (!(x = gZ(x))) return 0;
    tx = tp(x);
  }
  if (ty == tRANGE) {
    V v = gZ(_r(y));
    return v ? cat11(x, v) : (mr(x), (V)0);
  }
  if (tx == tDICT) return dcat(x, y);
  if (tx == tTABLE && ty == tDICT) return tp(PA(y)[0]) == tTABLE ? et(x) : psh(x, _r(y));
  if (tx >= tINTA) return cat10(enl(x), y);
  if (lst(tx) && lst(ty)) {
    if (!nx(y)) return x;
    if (!nx(x)) return mr(x), _r(y);
    return lcat(x, y);
  }
  if (ty >= tINTA) return psh(x, _r(y));
  if (tx == tTABLE && ty == tTABLE) {  // by column, names equal and in order
    if (!mtc_(PA(x)[0], PA(y)[0])) return ed(x);
    V cx = PA(x)[1], cy = PA(y)[1];
    U m = nx(cx);
    V c = m ? an(m, tLIST) : aA0(0);
    for (U j = 0; j < m; j++) {
      V s = cat(PA(cx)[j], _r(PA(cy)[j]));
      if (!s) return lfail(c, j), mr(x), (V)0;
      PA(c)[j] = s;
    }
    V r = aM(_r(PA(x)[0]), c);
    mr(x);
    return r;
  }
  if (ty == tDICT) {  // tx a list or vector
    if (tp(PA(y)[0]) == tTABLE && !_n(x)) return tx == tLIST ? (mr(x), _r(y)) : et(x);
    return psh(x, _r(y));
  }
  // One table and one list or vector: lists of rows.
  if (!_n(y)) return x;
  if (!_n(x)) return mr(x), _r(y);
  if (!(x = blw(x))) return 0;
  V y1 = blw(_r(y));
  return y1 ? cat11(x, y1) : (mr(x), (V)0);
}

V cat11(V x, V y) {
  V r = cat10(x, y);
  mr(y);
  return r;
}

V cat(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tDICT && hd(x)->attr == 1) {  // a step dict: joined as a plain copy
    V c = am(_r(PA(x)[0]), _r(PA(x)[1]));
    return cat11(c, y);
  }
  if (tx == tLIST && !nx(x) && tp(PA(x)[0]) == tCHR && !nx(PA(x)[0]) && lst(ty)) {
    if (ty == tLIST && !nx(y) && hd(y)->attr != hd(x)->attr) {
      y = mut(y);
      hd(y)->attr = hd(x)->attr;
    }
    return y;
  }
  return cat11(_r(x), y);
}

// The strings of l joined with the m bytes at sep.  A plain string is
// joined as the list of its characters; a char atom item counts as one
// character.
V jC(const char *sep, U m, V l) {
  int t = tp(l);
  if (t == tCHR) {  // its characters with sep between them
    U n = nx(l);
    UJ len = n ? n + (UJ)(n - 1) * m : 0;
    if (len > NMAX) return ez(l);
    V r = an((U)len, tCHR);
    char *p = PC(r);
    for (U i = 0; i < n; i++) {
      if (i) memcpy(p, sep, m), p += m;
      *p++ = PC(l)[i];
    }
    mr(l);
    return r;
  }
  if (t != tLIST) return et(l);
  U n = nx(l);
  UJ len = n ? (UJ)(n - 1) * m : 0;
  for (U i = 0; i < n && len <= NMAX; i++) {
    int ti = tp(PA(l)[i]);
    if (ti != tCHR && ti != tCHRA) return et(l);
    len += ti == tCHR ? nx(PA(l)[i]) : 1;
  }
  if (len > NMAX) return ez(l);
  V r = an((U)len, tCHR);
  char *p = PC(r);
  for (U i = 0; i < n; i++) {
    V s = PA(l)[i];
    if (i) memcpy(p, sep, m), p += m;
    if (tp(s) == tCHRA) *p++ = (char)ip(s);
    else memcpy(p, PC(s), nx(s)), p += nx(s);
  }
  mr(l);
  return r;
}

V jc(char c, V l) { return jC(&c, 1, l); }

// The pieces of x between occurrences of the m >= 1 bytes at s, left to
// right, without overlaps.  The piece after the last occurrence is kept
// when it is not empty, or when a piece came before it and nl is false:
// a text ending in a newline has no empty last line, while a list ending
// in another separator has an empty last item.  An empty x gives ().
V scn(const char *s, U m, V x, bool nl) {
  V r = emp();
  const char *p = PC(x), *e = p + nx(x);
  for (;;) {
    UJ left = (UJ)(e - p);
    const char *q = m > left ? nullptr
                    : m == 1 ? (const char *)memchr(p, *s, left)
                             : (const char *)memmem(p, left, s, m);
    if (!q) break;
    if (!(r = psh(r, aCn(p, (U)(q - p))))) return mr(x), (V)0;
    p = q + m;
  }
  if (p < e || (!nl && nx(r))) r = psh(r, aCn(p, (U)(e - p)));
  mr(x);
  return r;
}

V sc(char c, V x) { return scn(&c, 1, x, c == '\n'); }

}  // namespace zk
