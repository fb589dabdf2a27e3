// take.cpp: take, reshape, drop, cut, slice, remove and filter; the dyadic
// verbs # (hsh) and _ (und) that reach them.  Names: rs0 = 0#x (the empty
// value of x's kind), rsz = n#x, rsh = reshape to a shape vector, chp =
// cut into pieces of n, drp = drop, slc = slice, rmv = remove one item,
// cutC = cut at ascending indices, flt = filter by a predicate, cpyB =
// copy a run of bits.
//
// Every kernel consumes the value it cuts up (slc and cutC's indices are
// borrowed).  Counts come in as signed 64 bits; results hold at most
// 4,294,967,295 items.  Overtake fills by doubling byte copies (log2 of
// the ratio copies), and bit-packed vectors are cut and repeated at bit
// granularity, never widened to bytes.
//
// A dropped general list is squeezed (its remaining items may all be atoms
// of one kind), whether it was shortened in place or copied, so the result
// never depends on how many owners the argument had.
#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

// Each item of the general list l (borrowed) through f (consuming), into a
// new general list.
static V each(V l, V (*f)(V)) {
  U m = nx(l);
  V r = m ? an(m, tLIST) : aA0(0);
  for (U j = 0; j < m; j++) PA(r)[j] = f(_r(PA(l)[j]));
  return r;
}

// A count as a language atom: int when it fits 32 bits, else a boxed long.
static V cnt(J n) { return n == (I)n ? ai((I)n) : al(n); }

// The empty general list whose prototype is the null of the same shape as
// x's first item (x borrowed, a general list).
static V lst0(V x) {
  V r = aA0(0);
  mr(PA(r)[0]);
  PA(r)[0] = nx(x) ? mkn(ii(x, 0)) : _r(PA(x)[0]);
  return r;
}

// Source bits are read a whole aligned word at a time; a word is read only
// when it holds a bit below the end e of the source run, so no read passes
// the last word the source occupies.
static ZK_INLINE UJ ldw(const G *s, UJ w) {
  UJ v;
  __builtin_memcpy(&v, s + w * 8, 8);
  return v;
}
static ZK_INLINE UJ rdb(const G *s, UJ p, UJ e) {
  UJ w = p >> 6, o = p & 63, v = ldw(s, w) >> o;
  if (o && ((w + 1) << 6) < e) v |= ldw(s, w + 1) << (64 - o);
  return v;
}
static ZK_INLINE void stw(G *d, UJ w, UJ v) { __builtin_memcpy(d + w * 8, &v, 8); }

void cpyB(G *dst, UJ a, const G *src, UJ b, UJ c) {
  if (!c) return;
  if (!(a & 63) && !(b & 63)) {
    memcpy(dst + (a >> 3), src + (b >> 3), (c + 7) >> 3);
    if (c & 7) dst[(a + c) >> 3] &= (G)((1u << (c & 7)) - 1);
    return;
  }
  UJ e = b + c, w = a >> 6, o = a & 63, i = 0;
  if (o) {  // the first word keeps its bits below the offset
    UJ k = c < 64 - o ? c : 64 - o, lo = (1ull << o) - 1;
    UJ v = (ldw(dst, w) & lo) | (rdb(src, b, e) << o);
    if (o + k < 64) v &= (1ull << (o + k)) - 1;
    stw(dst, w, v);
    w++, i = k;
  }
  for (; i + 64 <= c; i += 64) stw(dst, w++, rdb(src, b + i, e));
  // the last word is written whole; bits past the run are left 0
  if (i < c) stw(dst, w, rdb(src, b + i, e) & ((1ull << (c - i)) - 1));
}

V rs0(V x) {
  int t = tp(x);
  V r;
  if (t >= tINTA) r = _r(ce[TT[t]]);
  else if (t == tRANGE) r = _r(ce[tBYTE]);
  else if (t == tTABLE) r = aM(_r(PA(x)[0]), each(PA(x)[1], rs0));
  else if (t == tDICT) r = am(rs0(_r(PA(x)[0])), rs0(_r(PA(x)[1])));
  else if (!nx(x)) return x;
  else if (t == tLIST) r = aA0(0);  // the engine's empty list: prototype ""
  else r = _r(ce[t]);
  mr(x);
  return r;
}

// Fills items k.. of the m-item result r from its first k items, doubling
// the filled prefix until more than half is done, then the tail.
static void dbl(V r, UJ k, UJ m) {
  int t = tp(r);
  if (t == tBOOL) {
    for (; k <= m / 2; k *= 2) cpyB(P(r), k, P(r), 0, k);
    cpyB(P(r), k, P(r), 0, m - k);
    return;
  }
  UJ w = (UJ)1 << Tw[t] >> 3;
  for (; k <= m / 2; k *= 2) memcpy(P(r) + k * w, P(r), k * w);
  memcpy(P(r) + k * w, P(r), (m - k) * w);
}

// Copies items a .. a+k-1 of x to items o.. of r (same type, not a range).
static void cpi(V r, UJ o, V x, UJ a, UJ k) {
  int t = tp(x);
  if (t == tBOOL) return cpyB(P(r), o, P(x), a, k);
  UJ w = (UJ)1 << Tw[t] >> 3;
  memcpy(P(r) + o * w, P(x) + a * w, k * w);
}

// Take of a vector or list of c > 0 items, |n| > c.
static V over(J n, V x, U c) {
  UJ m = n < 0 ? -(UJ)n : (UJ)n;
  int t = tp(x);
  V r = an((U)m, t);
  UJ q = n < 0 ? m % c : 0;  // negative takes end on x's last item
  cpi(r, 0, x, c - q, q);
  cpi(r, q, x, 0, c - q);
  dbl(r, c, m);
  if (t != tLIST) return mr(x), r;
  for (UJ i = 0; i < m; i++) _r(PA(r)[i]);
  mr(x);
  return sqz(r);
}

static V hsh1(V n, V y) { return hsh(n, y); }

V rsz(J n, V x) {
  int t = tp(x);
  V r0;
  if (t == tDICT) {
    V k = rsz(n, _r(PA(x)[0]));
    V v = k ? rsz(n, _r(PA(x)[1])) : 0;
    if (!v) return mr(k), mr(x), (V)0;
    mr(x);
    return am(k, v);
  }
  if (t == tTABLE) {
    V a = cnt(n), c = r2f(hsh1, a, _r(PA(x)[1]));
    mr(a);
    V r = c ? aM(_r(PA(x)[0]), c) : 0;
    mr(x);
    return r;
  }
  if (t >= tINTA) x = enl(x), t = tp(x);
  // 0# of a list keeps the shape of its first item, in nulls
  if (!n) return t == tLIST && nx(x) ? (r0 = lst0(x), mr(x), r0) : rs0(x);
  if (t == tRANGE) {
    J s = PL(x)[0], e = PL(x)[1], c = e - s;
    if (n != NJ && -c <= n && n <= c) {
      mr(x);
      return n > 0 ? aE(s, s + n) : aE(e + n, e);
    }
    x = gZ(x), t = tp(x);
  }
  U c = nx(x);
  if (n == NJ || n == (J)c || n == -(J)c) return x;
  if (!c) return rsz(n, enl(fir(x)));
  if (n > 0xFFFFFFFFll || n < -0xFFFFFFFFll) return ez(x);
  if (n > -(J)c && n < (J)c) {
    V r = n > 0 ? slc(x, 0, (U)n) : slc(x, (U)(c + n), c);
    mr(x);
    return r;
  }
  return over(n, x, c);
}

// Splits y at the floors of its count times i/m, or into m equal rows.
static V split;
static const char SPLIT[] = "{$[(0<x)&~x!#y;(x;`fdv(#y;x))#y;(`fdv((#y)*!x;x))_y]}";

V rsh(V s, V y) {
  V sh = tp(s) == tRANGE ? gZ(_r(s)) : _r(s);
  if (tp(y) == tRANGE) y = gZ(y);
  int t = tp(y);
  if (t == tDICT || t == tTABLE) return mr(sh), en(y);
  if (t >= tINTA) y = enl(y);
  U k = nx(sh);
  if (!k) {
    mr(sh);
    V r = io(y, 0);
    mr(y);
    return r;
  }
  if (k > 256) return mr(sh), ez(y);
  sh = ct(tLONG, sh);
  if (!sh) return mr(y), (V)0;
  J d[256];
  memcpy(d, PL(sh), (UJ)k * 8);
  mr(sh);
  if (k == 2 && d[0] == NJ) return chp(d[1], y);
  if (k == 2 && d[1] == NJ) {
    V m = cnt(d[0]), r = k2(&split, SPLIT, m, y);
    mr(m);
    return r;
  }
  if (k == 1 && d[0] == NJ) return y;
  if (!_n(y)) {
    V f = io(y, 0);
    mr(y);
    y = enl(f);
  }
  UJ p = 1;
  for (U i = k; i--;) {
    if (d[i] < 0) return ed(y);
    if (__builtin_mul_overflow(p, (UJ)(d[i] ? d[i] : 1), &p) || p > 0xFFFFFFFFull)
      return ez(y);
  }
  y = rsz((J)p, y);
  for (U i = k; y && --i;) {
    if (d[i]) y = chp(d[i], y);
    else if ((y = chp(1, y))) y = e1f(rs0, y);
  }
  return y ? rsz(d[0], y) : 0;
}

V chp(J n, V y) {
  if (n < 0) return ed(y);
  int t = tp(y);
  if (t == tDICT || t == tTABLE) return en(y);
  if (t >= tINTA) y = enl(y);
  else if (t == tRANGE) y = gZ(y);
  UJ c = nx(y), m = n ? (c + (UJ)n - 1) / (UJ)n : 0;
  if (!m) {
    V p = slc(y, 0, 0), r = aA0(0);
    mr(PA(r)[0]);
    PA(r)[0] = mkn(p);
    mr(y);
    return r;
  }
  V r = an((U)m, tLIST);
  for (UJ i = 0; i < m; i++) {
    UJ a = i * (UJ)n, b = a + (UJ)n < c ? a + (UJ)n : c;
    PA(r)[i] = slc(y, (U)a, (U)b);
  }
  mr(y);
  return r;
}

V slc(V x, U a, U b) {
  int t = tp(x);
  U k = b - a;
  if (t == tBOOL) {
    V r = an(k, tBOOL);
    cpyB(P(r), 0, P(x), a, k);
    return r;
  }
  if (t != tLIST) return aV(t, k, P(x) + ((UJ)a << Tw[t] >> 3));
  if (!k) return lst0(x);
  V r = an(k, tLIST);
  for (U i = 0; i < k; i++) PA(r)[i] = _r(PA(x)[a + i]);
  return sqz(r);
}

V drp(J n, V x) {
  int t = tp(x);
  if (t >= tINTA) return er(x);
  if (!n) return x;
  if (t == tDICT || t == tTABLE) {
    V a = PA(x)[0], b = PA(x)[1];
    V r;
    if (t == tDICT) r = am(drp(n, _r(a)), drp(n, _r(b)));
    else {
      U m = nx(b);
      V c = m ? an(m, tLIST) : aA0(0);
      for (U j = 0; j < m; j++) PA(c)[j] = drp(n, _r(PA(b)[j]));
      r = aM(_r(a), c);
    }
    mr(x);
    return r;
  }
  J c = _n(x);
  if (!c && t != tRANGE) return x;
  UJ a = n < 0 ? -(UJ)n : (UJ)n;
  if (a >= (UJ)c) return rs0(x);
  U k = (U)(c - (J)a), off = n > 0 ? (U)a : 0;
  if (t == tRANGE) {
    J s = PL(x)[0], e = PL(x)[1];
    mr(x);
    return n > 0 ? aE(s + n, e) : aE(s, e + n);
  }
  Hdr *h = hd(x);
  // dropping from the end of an unshared value lowers its count in place
  if (n < 0 && sole(h) && (h->cls || t == tLIST)) {
    if (t == tLIST)
      for (U i = 0; i < (U)a; i++) mr(PA(x)[k + i]);
    h->count = k;
    h->attr = 0;
    if (t == tBOOL && (k & 7)) P(x)[k >> 3] &= (G)((1u << (k & 7)) - 1);
    return t == tLIST ? sqz(x) : x;
  }
  V r = slc(x, off, off + k);
  mr(x);
  return r;
}

}  // namespace zk

namespace zk {

V rmv(V x, J i) {
  int t = tp(x);
  if (t == tRANGE) x = gZ(x), t = tp(x);
  if (t == tTABLE) {
    V a = cnt(i), c = l2f(und, PA(x)[1], a);
    V r = c ? aM(_r(PA(x)[0]), c) : 0;
    mr(x);
    return r;
  }
  if (t == tDICT || t >= tINTA) return et(x);
  U c = nx(x);
  if ((UJ)i >= c) return x;  // a negative i compares as past the end
  U j = (U)i;
  if (t == tLIST) {
    if (c == 1) {
      V r = lst0(x);
      return mr(x), r;
    }
    V r = an(c - 1, tLIST);
    for (U q = 0, o = 0; q < c; q++)
      if (q != j) PA(r)[o++] = _r(PA(x)[q]);
    mr(x);
    return sqz(r);
  }
  // bit-packed items move as bits, never widened to bytes
  V r = an(c - 1, t);
  cpi(r, 0, x, 0, j);
  cpi(r, j, x, j + 1, c - 1 - j);
  mr(x);
  return r;
}

V cutC(V idx, V y) {
  int t = tp(y);
  if (t < tBYTE || t > tSYM) return 0;
  V ix = ct(tLONG, tp(idx) == tRANGE ? gZ(_r(idx)) : _r(idx));
  if (!ix) return 0;
  U m = nx(ix), c = nx(y);
  const J *p = PL(ix);
  for (U j = 0; j < m; j++)
    if (p[j] < 0 || p[j] > (j + 1 < m ? p[j + 1] : (J)c)) return mr(ix), (V)0;
  V r = m ? an(m, tLIST) : emp();
  UJ w = (UJ)1 << Tw[t] >> 3;
  for (U j = 0; j < m; j++) {
    J a = p[j], b = j + 1 < m ? p[j + 1] : (J)c;
    PA(r)[j] = aV(t, (U)(b - a), P(y) + (UJ)a * w);
  }
  mr(ix);
  mr(y);
  return r;
}

// The dict filter: keeps the entries whose predicate result matches keep.
static V dflt;
static const char DFLT[] = "{(!y)[i]!(.y)i:&z~/:x@.y}";

V flt(V f, V y, I keep) {
  int tf = tp(f);
  I k = (tf >= tLAMBDA && tf <= tNATIVE) || tf == tLIST ? _K(f) : 0;
  if (k < -1) return mr(y), (V)0;  // a list nested too deep
  if (k != 1) return er(y);
  if (tp(y) == tDICT) {
    V a[3] = {_r(f), y, ai(keep)};
    return k8(&dflt, DFLT, a, 3);
  }
  V m = _1(f, _r(y));
  if (!m) return mr(y), (V)0;
  if (!heap(m) || tp(m) >= tINTA) m = enl(m), m = ct(tLONG, m), m = m ? fir(m) : 0;
  else if (!_n(m)) mr(m), m = _r(ce[tBYTE]);
  else m = ct(tLONG, m);
  if (!m) return mr(y), (V)0;
  bool at = tp(m) >= tINTA;
  J c = _n(y);
  if (!at && _n(m) != c) return mr(m), el(y);
  int ty = tp(y);
  V r = rs0(_r(y));
  for (J i = 0; r && i < c; i++) {
    J k = at ? gl_(m) : tp(m) == tLONG ? PL(m)[i] : 0;
    UJ n = keep ? (UJ)k : !k;
    if (keep && (k < 0 || k > 0xFFFFFFFFll)) {
      mr(r), r = ed(m), m = 0;
      break;
    }
    if (!n) continue;
    V it = ty == tTABLE ? iM(y, i) : ty >= tINTA ? _r(y) : ii(y, i);
    for (UJ q = 1; q < n; q++) r = psh(r, _r(it));
    r = psh(r, it);
  }
  if (m) mr(m);
  mr(y);
  return r;
}

// The cut at indices, general form; the removal of keys from a dict.
static V cutl, rmk, ovr;
static const char CUTL[] = "{y$[|/0<':x,#y;`err\"domain\";x+!'1_-':x,#y]}";
static const char RMK[] = "{$[#x;((!y)@&(#(),x)=((),x)?!y)#y;y]}";

// Whether v is numeric for the key rules: types 2..8 or atoms 20..22.
static bool numk(int t) { return (t >= tRANGE && t <= tFLT) || (t >= tINTA && t <= tFLTA); }

// The dict x (borrowed) without the entries of the keys y (consumed).
static V rmd(V x, V y) {
  V k = PA(x)[0];
  V p = fnd(k, _r(y));
  if (!p) {
    int tk = tp(k), ty = tp(y);
    bool atoms = ty == tLIST;
    for (U i = 0; atoms && i < nx(y); i++) atoms = tp(PA(y)[i]) >= tINTA;
    bool gone = tk != tLIST && tk != tTABLE &&
                (((ty == tCHRA || ty == tCHR) && numk(tk)) || (numk(ty) && (tk == tCHR || tk == tCHRA)) ||
                 atoms);
    if (!gone) return mr(y), (V)0;
    eclr();
    if (ty == tLIST) return k2(&ovr, "_/", x, y);
    return mr(y), _r(x);
  }
  int tp_ = tp(p);
  if (tp_ == tINTA || tp_ == tLONGA) {
    // an absent key's 0N compares as past the end: x comes back unchanged
    J i = gl(p);
    mr(y);
    V a = rmv(_r(k), i), b = a ? rmv(_r(PA(x)[1]), i) : 0;
    if (!b) return mr(a), (V)0;
    return am(a, b);
  }
  if (tp_ >= tBOOL && tp_ <= tLONG) return mr(p), k2(&ovr, "_/", x, y);
  mr(p);
  return en(y);
}

static bool ivec(int t) { return t >= tRANGE && t <= tLONG; }

V und(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tINTA || tx == tLONGA) return drp(gl_(x), y);
  if (tx >= tLAMBDA && tx <= tNATIVE) return flt(x, y, 0);
  if (tx == tDICT) return rmd(x, y);
  bool ia = ty == tINTA || ty == tLONGA;
  if (ivec(tx)) {
    if (ia) {
      J i = gl(y);
      return rmv(_r(x), i);
    }
    if (ty >= tBYTE && ty <= tSYM) {
      V r = cutC(x, y);
      // a declined cut (or a failed cast, which the lambda meets again)
      return r ? r : k2(&cutl, CUTL, x, y);
    }
    if (ty == tDICT) return k2(&rmk, RMK, x, y);
    if (heap(y) && ty >= tLIST && ty <= tTABLE) return k2(&cutl, CUTL, x, y);
    return et(y);
  }
  if (heap(x) && tx >= tLIST && tx <= tTABLE && ia) {
    J i = gl(y);
    return rmv(_r(x), i);
  }
  if (ty == tDICT) return k2(&rmk, RMK, x, y);
  if (ty == tTABLE) {
    V d = flp(y);
    d = d ? und(x, d) : 0;
    return d ? flp(d) : 0;
  }
  return et(y);
}

// The attribute forms of #: x a symbol atom.
static V hat(V x, V y) {
  I s = ip(x);
  int ty = tp(y);
  if (!s) {
    if (ty == tRANGE) return y;
    if (ty >= tINTA) return et(y);
    y = mut(y);
    if (y) hd(y)->attr = 0;
    return y;
  }
  bool one = !(s & ~0xFF) && (s == 'g' || s == 'p' || s == 's' || s == 'u');
  if (!one) return et(y);
  // Rows and keys take only the sorted attribute.
  if ((ty == tDICT || ty == tTABLE) && s != 's') return et(y);
  if (ty == tDICT) {  // the keys verified sorted: a step dict
    V k = atkeys(_r(PA(y)[0]), 1);
    V r = k ? am(k, _r(PA(y)[1])) : 0;
    if (r) hd(r)->attr = 1;
    return mr(y), r;
  }
  if (ty == tTABLE) return atkeys(y, 1);
  if (heap(y) && ty < tTABLE) return atlist(x, y);
  return et(y);
}

V hsh(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (tx == tSYMA) return hat(x, y);
  if (tx == tINTA || tx == tLONGA) return rsz(gl_(x), y);
  if (tx >= tLAMBDA && tx <= tNATIVE) return flt(x, y, 1);
  if (heap(x) && tx >= tLIST && tx <= tTSPAN) {
    if (ty == tDICT) {
      V k = PA(y)[0];
      int tk = tp(k);
      if (tk == tTABLE) return en(y);
      V p = fnd(k, _r(x));
      if (!p) return mr(y), (V)0;
      if (tk == tLIST && nx(k) && tp(p) >= tINTA) return mr(p), en(y);
      V v = i1(PA(y)[1], p);
      mr(y);
      return v ? am(_r(x), v) : 0;
    }
    if (tx == tSYM && ty == tTABLE) {
      V c = i1(y, _r(x));
      return c ? aM(_r(x), c) : 0;
    }
    if (ivec(tx)) return rsh(x, y);
  }
  return et(y);
}

}  // namespace zk
