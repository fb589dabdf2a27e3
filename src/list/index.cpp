// index.cpp: indexing by application: i1 (x@y, x[y]), i2 (x[i;j]) and i8
// (x[i;j;...]), and the gather kernels behind them.
//
// Indexing never fails for a position outside the value: it gives the
// null of the items (the null prototype of item 0 for a general list,
// nulls per column for a table).  Indexes are read as unsigned 32-bit
// numbers, so with counts below 2^32 the value 0xFFFFFFFF always lies
// outside; a long index that is not in 0 .. 2^32-2 becomes 0xFFFFFFFF.
//
// Gathers: a typed vector is gathered by one of ten kernels (the slot
// table below), chosen by the source type and by whether any index lies
// outside.  Byte, short and int storage has no null, so when the largest
// index (unsigned) is outside such a vector the kernel widens to longs and
// fills 0N.  Above 65,535 indexes the work is split over the pool in parts
// whose boundaries are multiples of 32 indexes (gat_w).
//
// Names: gkf = gather kernel (source data, source count, indexes, result
// data, n): iG iH iI unchecked 8/16/32-bit, oL oF checked longs and floats
// (one 64-bit kernel o8 with its fill), iC chars, iS symbols, oG oH oI
// narrow integers widened to longs; gks / gkg the small-index and general
// tables; gat = the gather of a typed vector; dget / tget / vget = i1 on a
// dict, a table, a vector or list; byv = indexing by a dict's values or a
// table's columns, keys kept; all = the elided index (`::` or a hole),
// which selects every item; deeper = the indices after the first.
#include "core/err.h"
#include "core/pool.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"

namespace zk {

namespace {

inline constexpr V GAPV = ((V)tDYAD << 56) | 26;
inline constexpr UJ NMAX = 0xFFFFFFFFull;
inline constexpr UJ PARN = 0xFFFF;  // gathers of more indexes go parallel
inline constexpr U SMALL = 256;     // byte and short indexes widened on the stack

ZK_INLINE bool all(V y) { return y == GAPV || y == GNULL; }
ZK_INLINE bool t32(int t) { return t >= tDATE && t <= tMONTH && t != tTSTAMP; }

// ---- gather kernels ----
using gkf = void (*)(const void *s, UJ c, const U *ix, void *d, UJ n);

// Inside is guaranteed by the caller (the largest index was checked).
template <class T> void gin(const void *s, UJ, const U *ix, void *d, UJ n) {
  const T *a = (const T *)s;
  T *o = (T *)d;
  for (UJ k = 0; k < n; k++) o[k] = a[ix[k]];
}

// Checked: an index not below c gives fill.  S is the source item, D the
// destination item (narrow integers are sign-extended into longs).
template <class S, class D> ZK_INLINE void gout(const void *s, UJ c, const U *ix, void *d, UJ n, D fill) {
  const S *a = (const S *)s;
  D *o = (D *)d;
  for (UJ k = 0; k < n; k++) {
    U i = ix[k];
    o[k] = i < c ? (D)a[i] : fill;
  }
}

void o8(const void *s, UJ c, const U *ix, void *d, UJ n, J fill) { gout<J, J>(s, c, ix, d, n, fill); }

void iG(const void *s, UJ c, const U *ix, void *d, UJ n) { gin<int8_t>(s, c, ix, d, n); }
void iH(const void *s, UJ c, const U *ix, void *d, UJ n) { gin<int16_t>(s, c, ix, d, n); }
void iI(const void *s, UJ c, const U *ix, void *d, UJ n) { gin<I>(s, c, ix, d, n); }
void oL(const void *s, UJ c, const U *ix, void *d, UJ n) { o8(s, c, ix, d, n, NJ); }
void oF(const void *s, UJ c, const U *ix, void *d, UJ n) { o8(s, c, ix, d, n, (J)NF_BITS); }
void iC(const void *s, UJ c, const U *ix, void *d, UJ n) {
  gout<char, char>(s, c, ix, d, n, ' ');
  memset((char *)d + n, ' ', (32 - (n & 31)) & 31);  // blanks to the end of the 32-byte block
}
void iS(const void *s, UJ c, const U *ix, void *d, UJ n) { gout<I, I>(s, c, ix, d, n, 0); }
void oG(const void *s, UJ c, const U *ix, void *d, UJ n) { gout<int8_t, J>(s, c, ix, d, n, NJ); }
void oH(const void *s, UJ c, const U *ix, void *d, UJ n) { gout<int16_t, J>(s, c, ix, d, n, NJ); }
void oI(const void *s, UJ c, const U *ix, void *d, UJ n) { gout<I, J>(s, c, ix, d, n, NJ); }

// The ten kernels by slot, and the width of their result items in bytes.
#define ZK_GK(X) X(iG, 1) X(iH, 2) X(iI, 4) X(oL, 8) X(oF, 8) X(iC, 1) X(iS, 4) X(oG, 8) X(oH, 8) X(oI, 8)
#define ZK_GKF(k, w) k,
#define ZK_GKW(k, w) w,
constexpr gkf gks[10] = {ZK_GK(ZK_GKF)};  // the small-index path
constexpr gkf gkg[10] = {ZK_GK(ZK_GKF)};  // the general path
constexpr G gkw[10] = {ZK_GK(ZK_GKW)};
#undef ZK_GKF
#undef ZK_GKW

}  // namespace

// One parallel gather: the kernel, its source, indexes and destination.
struct Gj {
  gkf k;
  const void *s;
  UJ c;
  const U *ix;
  G *d;
  UJ n;
  int parts, w;
};

void gat_w(void *job, int k) {
  const Gj *j = (const Gj *)job;
  UJ P = (UJ)j->parts;
  UJ a = ((UJ)k * j->n / P) & ~(UJ)31;
  UJ b = (UJ)k + 1 == P ? j->n : (((UJ)k + 1) * j->n / P) & ~(UJ)31;
  if (b > a) j->k(j->s, j->c, j->ix + a, j->d + a * (UJ)j->w, b - a);
}

namespace {

// Typed vector x (types 4..17, borrowed) at the n unsigned indexes ix.
// small: the indexes came from the stack; never parallel.
V gat(V x, const U *ix, UJ n, bool small) {
  int t = tp(x), s, rt = t;
  UJ c = nx(x);
  switch (t) {
    case tBYTE:
    case tSHORT:
    case tINT:
    case tDATE:
    case tTIME:
    case tMINUTE:
    case tSECOND:
    case tMONTH: {
      bool in = maxfU(ix, n) < c;
      int w = Tw[t] - 3;  // 0 byte, 1 short, 2 int and the 32-bit temporals
      s = in ? w : 7 + w;
      rt = in ? (t32(t) ? tINT : t) : tLONG;
      break;
    }
    case tLONG: s = 3; break;
    case tFLT: s = 4; break;
    case tCHR: s = 5; break;
    case tSYM: s = 6; break;
    default: s = 3, rt = tLONG;  // timestamps and timespans
  }
  V r = an((U)n, rt);
  int np = small || n <= PARN ? 1 : par_thread_count();
  if (np > 1) {
    Gj j = {gkg[s], P(x), c, ix, P(r), n, np, gkw[s]};
    par_run(np, gat_w, &j);
  } else if (n) {
    (small ? gks : gkg)[s](P(x), c, ix, P(r), n);
  }
  if (t < tDATE) return r;
  if (rt == tLONG && t32(t)) {  // back to 32 bits: 0N becomes the temporal null
    V q = an((U)n, t);
    for (UJ k = 0; k < n; k++) PI(q)[k] = PL(r)[k] == NJ ? NI : (I)PL(r)[k];
    mr(r);
    return q;
  }
  hd(r)->type = (int8_t)t;
  return r;
}

// x (a vector or general list, borrowed) at the n unsigned indexes ix.
V gather(V x, const U *ix, UJ n, bool small) {
  int t = tp(x);
  if (t == tLIST) {
    if (!n) {  // the empty result keeps the shape of x's item 0, in nulls
      V r = aA0(0);
      mr(PA(r)[0]);
      PA(r)[0] = mkn(io(x, 0));
      return r;
    }
    V r = an((U)n, tLIST);
    for (UJ k = 0; k < n; k++) PA(r)[k] = io(x, (J)ix[k]);
    return sqz(r);
  }
  if (t == tBOOL) {  // booleans gather as bytes of 0 and 1
    V b = ct(tBYTE, _r(x));
    if (!b) return 0;
    V r = gat(b, ix, n, small);
    mr(b);
    return r;
  }
  return gat(x, ix, n, small);
}

// x (a vector or list, borrowed) at the integer vector y (consumed).
V gatv(V x, V y) {
  int t = tp(x), ty = tp(y);
  UJ n = nx(y);
  if ((ty == tBYTE || ty == tSHORT) && n <= SMALL && t >= tBYTE && t <= tSYM) {
    U buf[SMALL];
    for (UJ k = 0; k < n; k++) buf[k] = (U)(ty == tBYTE ? (I)P<int8_t>(y)[k] : (I)P<int16_t>(y)[k]);
    mr(y);
    return gather(x, buf, n, true);
  }
  V h;
  if (ty == tINT) h = y;
  else if (ty == tLONG) {
    // Positions 0 .. 2^32-2 stay themselves (read unsigned); any other
    // long, 0N and negatives included, lies outside.
    h = an((U)n, tINT);
    const UJ *a = P<UJ>(y);
    U *o = P<U>(h);
    for (UJ k = 0; k < n; k++) o[k] = a[k] < NMAX ? (U)a[k] : (U)NMAX;
    mr(y);
  } else if (!(h = ct(tINT, y))) return 0;  // booleans by 0 and 1, chars by code
  V r = gather(x, P<U>(h), n, false);
  mr(h);
  return r;
}

V vget(V x, V y);

// x indexed by the values of the dict y or the columns of the table y,
// paired again with y's keys or names; x borrowed, y consumed.
V byv(V x, V y) {
  bool tab = tp(y) == tTABLE;
  if (tab && !(y = flp(y))) return 0;
  V k = y, v = kv(&k);
  V r = i1(x, v);
  if (!r) return mr(k), (V)0;
  r = am(k, r);
  return tab ? flp(r) : r;
}

// Position of y among the keys of the step dict x: the last key not
// greater than y, -1 below the first.
V step(V k, V y) {
  int tk = tp(k);
  if (tk >= tBOOL && tk <= tFLT) return bin(k, y);
  if (tk == tTABLE) return fnd(k, y);
  static V kc_step;
  return k2(&kc_step, "{[k;v]{[k;v]-1++/~v<k}[k]'v}", k, y);
}

// y (consumed) as rows of the key table k: a dict is one row, a table
// its rows; *one is set for a single row.  Other key forms need the key
// alignment of keyed tables: 'nyi until it is built.
V krow(V y, bool *one) {
  int ty = tp(y);
  *one = ty == tDICT;
  if (ty == tDICT && tp(PA(y)[0]) == tSYM) return enl(y);
  if (ty == tTABLE) return y;
  return en(y);
}

// Each item of the general list y (consumed) indexes x; an empty y gives
// x indexed by y's prototype, taken to 0 items.
V each(V x, V y) {
  if (nx(y)) return r2f(i1, x, y);
  V r = i1(x, io(y, 0));
  mr(y);
  return r ? rs0(r) : 0;
}

V dget(V x, V y) {
  V k = PA(x)[0];
  int tk = tp(k), ty = tp(y);
  bool one = false;
  if (tk == tTABLE) {
    if (!(y = krow(y, &one))) return 0;
  } else if (ty == tDICT || ty == tTABLE) return byv(x, y);
  else if (ty == tLIST && tk != tLIST) return each(x, y);  // keys are atoms: y key by key
  else if (tk == tLIST && ty != tLIST && ty < tTABLE) {      // y is one compound key
    y = aA1(y);
    one = true;
  }
  V p = hd(x)->attr == 1 ? step(k, y) : fnd(k, y);
  if (p && one && (p = fnw(p, 1))) {
    J v = PL(p)[0];
    mr(p);
    p = al(v);
  }
  return p ? i1(PA(x)[1], p) : 0;
}

V tget(V x, V y) {
  int ty = tp(y);
  if (ty == tSYMA || ty == tSYM) {  // columns by name: a missing one fills like item 0
    V d = flp(_r(x));
    if (!d) return mr(y), (V)0;
    V r = i1(d, y);
    mr(d);
    return r;
  }
  if (ty == tLIST) return each(x, y);
  if (ty == tDICT || ty == tTABLE) return byv(x, y);
  V nm = PA(x)[0], cs = PA(x)[1];
  U m = nx(cs);
  V r = m ? an(m, tLIST) : aA0(0);
  for (U j = 0; j < m; j++) {
    V s = i1(PA(cs)[j], _r(y));
    if (!s) return lfail(r, j), mr(y), (V)0;
    PA(r)[j] = s;
  }
  mr(y);
  if (ty >= tINTA) return am(_r(nm), sqz(r));  // one row as a dict
  return aM(_r(nm), r);
}

V vget(V x, V y) {
  int ty = tp(y);
  if (ty == tLIST) return each(x, y);
  if (ty == tRANGE) {
    J s = PL(y)[0], e = PL(y)[1];
    if (0 <= s && s < e && e < _n(x)) {  // inside: a slice, not a gather
      mr(y);
      return slc(x, (U)s, (U)e);
    }
    if (!(y = gZ(y))) return 0;
    ty = tp(y);
  }
  if ((ty >= tBOOL && ty <= tLONG) || ty == tCHR) return gatv(x, y);
  if (ty == tINTA || ty == tLONGA || ty == tCHRA) return io(x, gl(y));
  if (ty == tDICT || ty == tTABLE) return byv(x, y);
  return et(y);
}

// Does the index y select several items (so that the indices after it go
// to each of them)?
bool many(V y) {
  if (all(y)) return true;
  int ty = tp(y);
  return heap(y) && ty >= tLIST && ty <= tTSPAN;
}

// The indices after the first, for one selected item: data is indexed
// further and a function applied, but an atom holds nothing to index: an
// int atom met at depth is never taken for a handle (which could write to
// a descriptor), nor a symbol for a builtin.
V deeper(V r, V *a, U n) {
  int t = tp(r);
  if (t >= tLAMBDA && t <= tNATIVE) return _8(r, a, n);
  if (t >= tINTA) return et8(a, n);
  return i8(r, a, n);
}

}  // namespace

V i1(V x, V y) {
  if (all(y)) return _r(x);
  int t = tp(x);
  if (t >= tINTA) return mr(y), _r(x);  // an atom is every item of itself
  if (t == tRANGE) {
    V v = gZ(_r(x));
    if (!v) return mr(y), (V)0;
    V r = i1(v, y);
    mr(v);
    return r;
  }
  if (t == tDICT) return dget(x, y);
  if (t == tTABLE) return tget(x, y);
  return vget(x, y);
}

V i2(V x, V i, V j) {
  V a[2] = {_r(i), j};
  return i8(x, a, 2);
}

V i8(V x, V *a, U n) {
  if (!n) return _r(x);
  if (n == 1) return i1(x, a[0]);
  bool mny = many(a[0]);
  V r = i1(x, a[0]);
  if (!r) {
    mrn(n - 1, a + 1);
    return 0;
  }
  if (!mny) {
    V s = deeper(r, a + 1, n - 1);
    mr(r);
    return s;
  }
  J cm = _n(r);
  if (!cm || tp(r) >= tINTA) {
    mrn(n - 1, a + 1);
    return r;
  }
  U m = (U)cm;
  V o = an(m, tLIST);
  for (U i = 0; i < m; i++) {
    V b[8];
    for (U q = 1; q < n; q++) b[q - 1] = _r(a[q]);
    V it = ii(r, i);
    V s = deeper(it, b, n - 1);
    mr(it);
    if (!s) {
      lfail(o, i);
      mr(r);
      mrn(n - 1, a + 1);
      return 0;
    }
    PA(o)[i] = s;
  }
  mrn(n - 1, a + 1);
  // Every item of a dict keeps its key.
  V k = tp(r) == tDICT ? _r(PA(r)[0]) : 0;
  mr(r);
  o = sqz(o);
  return k ? am(k, o) : o;
}

}  // namespace zk
