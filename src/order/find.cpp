// find.cpp: find (fnd: for each item of y the position of its first
// occurrence among the items of x, 0N when absent), membership (membC:
// whether each item of x is in y, through a bitmap or a hash set of y) and
// the dyadic ? verb (que: find with fqm mapping 0N to the count of x,
// random draws, the text decoders).
//
// Names: fGL fHL fIL fLL = linear search kernels of 8, 16, 32, 64-bit
// items, bGL .. bLL their binary (lower bound) forms for sorted x, fFL the
// float kernel; fk = the kernel table, row 0 linear, row 1 binary, by
// width code (log2 item bits - 3).  fndGx / fndGxW = the byte-table
// searches, fndL_lut / fndL_hash = the pool tasks of the vectorised path,
// fndVy its form hashing y (xscan reads x against it, ylook answers,
// kfill copies y's keys beside the slots),
// fndM / fndD = find of a general list, dict or table y.
//
// Paths by x: bytes and chars through the 256-entry byte table in the
// thread's block (tl.fbt, rebuilt per search); general lists by deep match
// at the depth that fits y; typed vectors per item (kernels) or, for many
// lookups, through a position table (span of x at most 65,535) or a hash
// table of x, probed on the pool above 32,767 items of y (of y instead,
// when x is at least twice as long, x then read on the pool); tables by key
// columns; dicts through their values.
//
// Positions inside the vectorised tables are 32-bit with the sign meaning
// empty, so that path takes x of at most 2^31-1 items; larger x search
// item by item.  Answers there come out at the narrowest integer width
// holding #x-1, widened to longs with 0N when any item is missing.
#include <atomic>
#include <type_traits>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include "core/err.h"
#include "core/pool.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "num/ari.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"

namespace zk {

namespace {

using FK = J (*)(const void *, UJ, J);

// Whether k is a value of T's width.
template <class T> ZK_INLINE bool fits(J k) { return k == (J)(T)k; }

template <class T> J fL(const void *d, UJ n, J k) {
  if (!fits<T>(k)) return NJ;
  const T *p = (const T *)d, v = (T)k;
  for (UJ i = 0; i < n; i++)
    if (p[i] == v) return (J)i;
  return NJ;
}

// Lower bound over ascending items: among equal items the first.
template <class T> J bL(const void *d, UJ n, J k) {
  if (!fits<T>(k)) return NJ;
  const T *p = (const T *)d, v = (T)k;
  UJ lo = 0, hi = n;
  while (lo < hi) {
    UJ m = (lo + hi) / 2;
    if (p[m] < v) lo = m + 1;
    else hi = m;
  }
  return lo < n && p[lo] == v ? (J)lo : NJ;
}

constexpr FK fGL = fL<int8_t>, fHL = fL<int16_t>, fIL = fL<int32_t>, fLL = fL<J>;
constexpr FK bGL = bL<int8_t>, bHL = bL<int16_t>, bIL = bL<int32_t>, bLL = bL<J>;
constexpr FK fk[2][4] = {{fGL, fHL, fIL, fLL}, {bGL, bHL, bIL, bLL}};

ZK_INLINE bool nanb(UJ b) { return (b << 1) > 0xFFE0000000000000ull; }

// A NaN key finds any NaN, either zero finds either zero, else the bits.
J fFL(const void *d, UJ n, J k) {
  const UJ *p = (const UJ *)d, b = (UJ)k;
  if (nanb(b)) {
    for (UJ i = 0; i < n; i++)
      if (nanb(p[i])) return (J)i;
  } else if (!(b << 1)) {
    for (UJ i = 0; i < n; i++)
      if (!(p[i] << 1)) return (J)i;
  } else
    for (UJ i = 0; i < n; i++)
      if (p[i] == b) return (J)i;
  return NJ;
}

// 0N for an atom y, else #y nulls; y consumed.
V miss(V y) {
  V r = tp(y) >= tINTA ? al(NJ) : rsz(_n(y), al(NJ));
  mr(y);
  return r;
}

// ---- byte and char x ----

// Item i of an integer vector of width code w, sign-extended.
ZK_INLINE J rdw(const void *d, int w, UJ i) {
  switch (w) {
    case 0: return ((const int8_t *)d)[i];
    case 1: return ((const int16_t *)d)[i];
    case 2: return ((const I *)d)[i];
    default: return ((const J *)d)[i];
  }
}

// The byte table packed to T (the sign bit for not found), looked up per
// item; 0 when an item is not found.
template <class T> V gpack(V y) {
  T tb[256];
  for (int i = 0; i < 256; i++) tb[i] = tl.fbt[i] == NJ ? (T)(1ull << (8 * sizeof(T) - 1)) : (T)tl.fbt[i];
  U n = nx(y);
  V r = an(n, sizeof(T) == 1 ? tBYTE : tSHORT);
  T *o = P<T>(r), any = 0;
  const G *s = P(y);
  for (U i = 0; i < n; i++) any |= o[i] = tb[s[i]];
  if (any < 0) return mr(r), (V)0;
  return r;
}

}  // namespace

V fndGxW(V y) {
  int t = tp(y), w = t == tCHR ? 0 : Tw[t] - 3;
  U n = nx(y);
  V r = an(n, tLONG);
  for (U i = 0; i < n; i++) {
    J v = rdw(P(y), w, i);
    PL(r)[i] = fits<int8_t>(v) ? tl.fbt[(G)v] : NJ;
  }
  mr(y);
  return sqzZ(r);
}

V fndGx(V y) {
  int t = tp(y);
  switch (t) {
    case tLIST: case tDICT: case tTABLE: return e1f(fndGx, y);
    case tRANGE: return (y = gZ(y)) ? fndGx(y) : 0;
    case tBOOL: return (y = ct(tBYTE, y)) ? fndGx(y) : 0;
    case tBYTE: case tCHR: {
      J c = -1;
      for (int i = 0; i < 256; i++)
        if (tl.fbt[i] > c) c = tl.fbt[i];
      V r = c <= 127 ? gpack<int8_t>(y) : c <= 32767 ? gpack<int16_t>(y) : 0;
      if (r) return mr(y), r;
      return fndGxW(y);
    }
    case tSHORT: case tINT: case tLONG: return fndGxW(y);
    case tINTA: case tLONGA: case tCHRA: {
      J v = t == tLONGA ? PL(y)[0] : ip(y);
      mr(y);
      return az(fits<int8_t>(v) ? tl.fbt[(G)v] : NJ);
    }
    default: return miss(y);
  }
}

namespace {

// Byte or char x (borrowed): the table from the last item to the first,
// so that each entry ends at the first position of its byte.
V fndG(V x, V y) {
  if (fmx(y, tp(x) == tBYTE ? 0 : 1)) return et(y);
  if (tp(y) == tBOOL && !(y = ct(tBYTE, y))) return 0;
  for (J &e : tl.fbt) e = NJ;
  const G *p = P(x);
  for (UJ i = nx(x); i--;) tl.fbt[p[i]] = (J)i;
  return fndGx(y);
}

// ---- general list x ----

J mfirst(V x, V y) {
  for (U i = 0, n = nx(x); i < n; i++)
    if (mtc_(PA(x)[i], y)) return i;
  return NJ;
}

V fndA(V x, V y) {
  I dx = dep(x), dy = dep(y);
  U n = nx(x);
  if (dx - dy != 1 && n) {
    J p = mfirst(x, y);
    if (p != NJ) return mr(y), az(p);
  }
  if (dy + 1 > dx) return r2f(fnd, x, y);
  if (dy + 1 < dx) return n ? er(y) : miss(y);
  J p = mfirst(x, y);
  mr(y);
  return az(p);
}

// ---- typed x: the vectorised path ----

// Job of the parallel lookups: y read at width code wy, answers written at
// width code wr (-1 for missing), a missing flag per task.  The hash
// holds positions only: a slot's key is x's item at its position, which
// never changes, so slots can be claimed concurrently while it is built.
struct FJob {
  const void *y;
  void *r;
  U m;
  int wy, wr, wx, T;
  const U *pt;  // position table ...
  J min;
  UJ span1;
  const void *x;  // ... or x and the hash's positions (-1 empty)
  I *hp;
  int sh;
  UJ mask, cap, n;
  const void *xs;  // the y-side search: x scanned (width code wxs, nxs
  int wxs;         // items) against the hash of y, with y's key of each
  UJ nxs;          // filled slot in kt and the least position of x found
  J *kt;           // for it in fst
  I *fst;
  I mf[PL_MAX];
};

ZK_INLINE UJ hslot(J k, int sh) { return ((UJ)k * 0x9E3779B97F4A7C15ull) >> sh; }

ZK_INLINE void chunk(const FJob &j, UJ n, int k, UJ *a, UJ *b) {
  *a = (UJ)k * n / (UJ)j.T, *b = (UJ)(k + 1) * n / (UJ)j.T;
}

template <class Tx, class Ty, class Tr> bool hlook(const FJob &j, UJ a, UJ b) {
  const Ty *y = (const Ty *)j.y;
  const Tx *x = (const Tx *)j.x;
  Tr *r = (Tr *)j.r;
  bool any = false;
  for (UJ i = a; i < b; i++) {
    J v = y[i];
    UJ h = hslot(v, j.sh);
    I p;
    while ((p = j.hp[h]) >= 0 && x[p] != v) h = (h + 1) & j.mask;
    r[i] = (Tr)p;
    any |= p < 0;
  }
  return any;
}

template <class Ty, class Tr> bool tlook(const FJob &j, UJ a, UJ b) {
  const Ty *y = (const Ty *)j.y;
  Tr *r = (Tr *)j.r;
  bool any = false;
  for (UJ i = a; i < b; i++) {
    UJ o = (UJ)(J)y[i] - (UJ)j.min;
    I p = o < j.span1 ? (I)j.pt[o] : -1;
    r[i] = (Tr)p;
    any |= p < 0;
  }
  return any;
}

// Lookup kernels by x's width code (1..3, 0 for the position table), y's
// and the result's.
using LK = bool (*)(const FJob &, UJ, UJ);
template <class Tx, class Ty> constexpr LK lrow[4] = {hlook<Tx, Ty, int8_t>, hlook<Tx, Ty, int16_t>,
                                                     hlook<Tx, Ty, I>, hlook<Tx, Ty, J>};
template <class Ty> constexpr LK trow[4] = {tlook<Ty, int8_t>, tlook<Ty, int16_t>, tlook<Ty, I>,
                                           tlook<Ty, J>};
template <class Tx> constexpr const LK *lcol[4] = {lrow<Tx, int8_t>, lrow<Tx, int16_t>, lrow<Tx, I>,
                                                  lrow<Tx, J>};
constexpr const LK *tcol[4] = {trow<int8_t>, trow<int16_t>, trow<I>, trow<J>};
constexpr const LK *const *ltab[4] = {tcol, lcol<int16_t>, lcol<I>, lcol<J>};

void fndL(void *c, int k, bool h) {
  FJob &j = *(FJob *)c;
  UJ a, b;
  chunk(j, j.m, k, &a, &b);
  j.mf[k] = ltab[h ? j.wx : 0][j.wy][j.wr](j, a, b);
}

// Building the hash: task k empties its share of the slots, then (after
// the run) inserts its chunk of x from its last item to its first.  A
// slot is claimed by a compare-and-swap from -1; an item whose key holds
// a slot already leaves there the smaller position, so the table ends
// with the first position of every key whatever the interleaving.
void hclr(void *c, int k) {
  FJob &j = *(FJob *)c;
  UJ a, b;
  chunk(j, j.cap, k, &a, &b);
  memset(j.hp + a, 0xFF, (b - a) * 4);
}

template <class Tx> void hins(FJob &j, int k) {
  const Tx *x = (const Tx *)j.x;
  UJ a, b;
  chunk(j, j.n, k, &a, &b);
  for (UJ i = b; i-- > a;) {
    Tx v = x[i];
    UJ h = hslot(v, j.sh);
    I p = __atomic_load_n(j.hp + h, __ATOMIC_RELAXED);
    for (;;) {
      if (p < 0) {
        if (__atomic_compare_exchange_n(j.hp + h, &p, (I)i, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) break;
        continue;  // p now holds the claimer's position: look at it
      }
      if (x[p] == v) {
        while ((I)i < p &&
               !__atomic_compare_exchange_n(j.hp + h, &p, (I)i, true, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
        }
        break;
      }
      h = (h + 1) & j.mask;
      p = __atomic_load_n(j.hp + h, __ATOMIC_RELAXED);
    }
  }
}

void hfill(void *c, int k) {
  FJob &j = *(FJob *)c;
  switch (j.wx) {
    case 0: hins<int8_t>(j, k); break;
    case 1: hins<int16_t>(j, k); break;
    case 2: hins<I>(j, k); break;
    default: hins<J>(j, k); break;
  }
}

// The y-side search, for x much longer than y: the hash holds the first
// position of each key of y (j.x, j.n are y's there), x is read once in
// chunks, and each key keeps the least x position met.  Chunks end in any
// order, so that least is kept by an atomic minimum; keys met are few
// against the items of x, so the compare-and-swap is rare.
// Each probe reads the slot's position and its key (kt) side by side, so
// a miss costs one wait, not a wait for the slot and then for y's item;
// and the slots of the item 16 ahead are asked for before each probe, so
// that the waits of many items overlap.
template <class Tx> void xscan(const FJob &j, int k) {
  const Tx *x = (const Tx *)j.xs;
  UJ a, b;
  chunk(j, j.nxs, k, &a, &b);
  constexpr UJ D = 16;
  UJ hs[D];
  for (UJ i = a; i < a + D && i < b; i++) {
    UJ h = hs[i & (D - 1)] = hslot(x[i], j.sh);
    __builtin_prefetch(j.hp + h), __builtin_prefetch(j.kt + h), __builtin_prefetch(j.fst + h);
  }
  for (UJ i = a; i < b; i++) {
    J v = x[i];
    UJ h = hs[i & (D - 1)];
    if (i + D < b) {
      UJ g = hs[i & (D - 1)] = hslot(x[i + D], j.sh);
      __builtin_prefetch(j.hp + g), __builtin_prefetch(j.kt + g), __builtin_prefetch(j.fst + g);
    }
    for (I p; (p = j.hp[h]) >= 0; h = (h + 1) & j.mask)
      if (j.kt[h] == v) {
        I c = __atomic_load_n(j.fst + h, __ATOMIC_RELAXED);
        while ((I)i < c && !__atomic_compare_exchange_n(j.fst + h, &c, (I)i, true, __ATOMIC_RELAXED,
                                                        __ATOMIC_RELAXED)) {
        }
        break;
      }
  }
}

// Copies y's key into each filled slot of its share of the hash, and
// marks its least x position as none yet.
void kfill(void *c, int k) {
  FJob &j = *(FJob *)c;
  UJ a, b;
  chunk(j, j.cap, k, &a, &b);
  for (UJ h = a; h < b; h++) {
    I p = j.hp[h];
    j.kt[h] = p >= 0 ? rdw(j.x, j.wx, (UJ)p) : 0;
    j.fst[h] = 0x7FFFFFFF;
  }
}

// Each item of y takes the least x position of its key's first position
// (always in the hash), -1 for none.
template <class Ty, class Tr> bool ylook(const FJob &j, UJ a, UJ b) {
  const Ty *y = (const Ty *)j.x;
  Tr *r = (Tr *)j.r;
  bool any = false;
  for (UJ i = a; i < b; i++) {
    J v = y[i];
    UJ h = hslot(v, j.sh);
    while (j.hp[h] < 0 || j.kt[h] != v) h = (h + 1) & j.mask;
    I f = j.fst[h];
    r[i] = (Tr)(f == 0x7FFFFFFF ? -1 : f);
    any |= f == 0x7FFFFFFF;
  }
  return any;
}

using XK = void (*)(const FJob &, int);
constexpr XK xtab[3] = {xscan<int16_t>, xscan<I>, xscan<J>};
template <class Ty> constexpr LK yrow[4] = {ylook<Ty, int8_t>, ylook<Ty, int16_t>, ylook<Ty, I>,
                                           ylook<Ty, J>};
constexpr const LK *ytab[4] = {yrow<int8_t>, yrow<int16_t>, yrow<I>, yrow<J>};

void fscan(void *c, int k) {
  FJob &j = *(FJob *)c;
  xtab[j.wxs - 1](j, k);
}

void fndY(void *c, int k) {
  FJob &j = *(FJob *)c;
  UJ a, b;
  chunk(j, j.m, k, &a, &b);
  j.mf[k] = ytab[j.wx][j.wr](j, a, b);
}

}  // namespace

void fndL_lut(void *job, int k) { fndL(job, k, false); }
void fndL_hash(void *job, int k) { fndL(job, k, true); }

namespace {

// Scratch tables, 64-byte aligned; large ones on 2 MiB boundaries with
// huge pages asked for, so that filling them faults a few pages, not
// tens of thousands.
void *amem(UJ b) {
  if (b < (4u << 20)) return aligned_alloc(64, (b + 63) & ~(UJ)63);
  UJ h = 2u << 20;
  void *p = aligned_alloc(h, (b + h - 1) & ~(h - 1));
  if (p) madvise(p, (b + h - 1) & ~(h - 1), MADV_HUGEPAGE);
  return p;
}

template <class T> void mnmx(const T *x, UJ n, J *mn, J *mx) {
  T a = x[0], b = x[0];
  for (UJ i = 1; i < n; i++) {
    a = x[i] < a ? x[i] : a;
    b = x[i] > b ? x[i] : b;
  }
  *mn = a, *mx = b;
}

// Runs fn on T tasks, inline for one.
ZK_INLINE void prun(int T, pfn fn, void *c) {
  if (T < 2) fn(c, 0);
  else par_run(T, fn, c);
}

// The answers r, narrow with -1 for missing, widened to longs with 0N
// when any task met a missing item.
V fwide(V r, const FJob &j) {
  bool any = false;
  for (int k = 0; k < j.T; k++) any |= j.mf[k];
  if (!any) return r;
  U m = nx(r);
  V l = an(m, tLONG);
  for (UJ i = 0; i < m; i++) {
    J v = rdw(P(r), j.wr, i);
    PL(l)[i] = v < 0 ? NJ : v;
  }
  mr(r);
  return l;
}

// Builds into j the hash of the c items of width code w at d; false when
// its table cannot be had.
bool hbuild(FJob &j, const void *d, int w, UJ c) {
  UJ cap = 16;
  int lg = 4;
  while (cap < 2 * c) cap <<= 1, lg++;
  if (!(j.hp = (I *)amem(cap * 4))) return false;
  j.x = d, j.wx = w, j.n = c;
  j.sh = 64 - lg, j.mask = cap - 1, j.cap = cap;
  j.T = c <= 65535 ? 1 : par_thread_count();
  prun(j.T, hclr, &j);
  prun(j.T, hfill, &j);
  return true;
}

// The search with the hash over y (consumed; see fndV); 0 with y untouched
// when its tables cannot be had.
V fndVy(V x, V y, FJob &j) {
  UJ n = nx(x), m = nx(y);
  int wx = j.wx;
  if (!hbuild(j, P(y), Tw[tp(y)] - 3, m)) return 0;
  j.kt = (J *)amem(j.cap * 8), j.fst = (I *)amem(j.cap * 4);
  if (!j.kt || !j.fst) return free(j.hp), free(j.kt), free(j.fst), (V)0;
  prun(j.T, kfill, &j);
  j.xs = P(x), j.wxs = wx, j.nxs = n;
  j.T = n <= 65535 ? 1 : par_thread_count();
  prun(j.T, fscan, &j);
  int rt = tZ((J)n - 1);
  V r = an((U)m, rt);
  j.r = P(r), j.m = (U)m, j.wr = Tw[rt] - 3;
  j.T = m <= 32767 ? 1 : par_thread_count();
  prun(j.T, fndY, &j);
  free(j.hp), free(j.kt), free(j.fst);
  mr(y);
  return fwide(r, j);
}

// The vectorised search of the vector y (consumed, a fitting integer-kind
// vector) in x (borrowed); 0 with nothing raised when its tables cannot be
// had (y untouched) or when the per-item path is cheaper.
V fndV(V x, V y) {
  int wx = Tw[tp(x)] - 3;
  UJ n = nx(x), m = nx(y);
  J mn, mx;
  switch (wx) {
    case 1: mnmx(P<int16_t>(x), n, &mn, &mx); break;
    case 2: mnmx(PI(x), n, &mn, &mx); break;
    default: mnmx(PL(x), n, &mn, &mx); break;
  }
  // The span as an unsigned difference: a signed one overflows for a long
  // x holding 0N beside items >= 0 and would pass for a small span.
  UJ span = (UJ)mx - (UJ)mn;
  FJob j{};
  j.wx = wx, j.x = P(x), j.n = n;
  void *tb;
  if (span <= 65535 && n * m > span + 1 + 2 * (n + m)) {
    U *pt = (U *)amem((span + 1) * 4);
    if (!pt) return 0;
    memset(pt, 0xFF, (span + 1) * 4);
    for (UJ i = n; i--;) pt[(UJ)rdw(P(x), wx, i) - (UJ)mn] = (U)i;
    tb = pt, j.pt = pt, j.min = mn, j.span1 = span + 1;
  } else if (n * m > 8 * (n + m)) {
    // The hash goes over the shorter side: y's when x is at least twice
    // as long, so that the long side is read once in order and the
    // random probes land in a table that stays in cache.
    if (2 * m <= n) return fndVy(x, y, j);
    if (!hbuild(j, P(x), wx, n)) return 0;
    tb = j.hp;
  } else
    return 0;
  int rt = tZ((J)n - 1);
  V r = an((U)m, rt);
  j.y = P(y), j.r = P(r), j.m = (U)m, j.wy = Tw[tp(y)] - 3, j.wr = Tw[rt] - 3;
  j.T = m <= 32767 ? 1 : par_thread_count();
  prun(j.T, j.hp ? fndL_hash : fndL_lut, &j);
  free(tb);
  mr(y);
  return fwide(r, j);
}


ZK_INLINE bool intw(int t) { return t >= tSHORT && t <= tLONG; }

// Typed x: short, int, long, float, symbol or temporal vectors.
V fndT(V x, V y) {
  int tx = tp(x), ty = tp(y);
  if (ty == tLIST) return nx(y) ? fndM(x, y) : fndG(ce[tBYTE], y);
  if ((ty == tCHR || ty == tCHRA) && tx != tSYM) return et(y);
  if (ty == tDICT || ty == tTABLE) return fndM(x, y);
  if (ty == tRANGE && !(y = gZ(y))) return 0;
  if (ty == tBOOL && !(y = ct(tBYTE, y))) return 0;
  ty = tp(y);
  bool fit = TT[ty] == tx || (intw(tx) && ((ty >= tBYTE && ty <= tLONG) || ty == tINTA || ty == tLONGA));
  if (!fit) return miss(y);
  int w = Tw[tx] - 3;
  bool srt = hd(x)->attr == 1 && tx != tSYM && tx != tFLT;
  FK f = tx == tFLT ? fFL : tx == tSYM ? fIL : fk[srt][w];
  UJ n = nx(x);
  if (ty >= tINTA) {
    J k = heap(y) ? PL(y)[0] : (J)ip(y);
    mr(y);
    return az(f(P(x), n, k));
  }
  UJ m = nx(y);
  if (tx != tFLT && !srt && n && m && n <= 0x7FFFFFFF)
    if (V r = fndV(x, y)) return r;
  int wy = Tw[ty] - 3;
  V r = an((U)m, tLONG);
  bool none = true;
  for (UJ i = 0; i < m; i++) none &= (PL(r)[i] = f(P(x), n, rdw(P(y), wy, i))) != NJ;
  mr(y);
  // Symbols answer at the narrowest width holding #x-1 when all are found.
  return tx == tSYM && none && m ? ct(tZ((J)n - 1), r) : r;
}

// ---- table x ----

// The answer of the key lambda, whose missing rows hold n (the row count
// of x), with 0N for them.
V tnull(V r, J n) {
  int t = tp(r);
  if (t == tINTA || t == tLONGA) {
    J v = gl(r);
    return v == n ? al(NJ) : az(v);
  }
  if (t >= tBYTE && t <= tINT && !(r = ct(tLONG, r))) return 0;
  if (tp(r) != tLONG) return r;
  if (!(r = mut(r))) return 0;
  for (U i = 0, c = nx(r); i < c; i++)
    if (PL(r)[i] == n) PL(r)[i] = NJ;
  return r;
}

V fndTb(V x, V y) {
  if (tp(y) == tLIST && !nx(y)) return mr(y), _r(ce[tLONG]);
  I one = 0;
  V kc = tky(x, y, &one);
  if (!kc) return 0;
  V cs = PA(x)[1];
  if (nx(cs) > 1) {
    static V kt;
    V r = k2(&kt,
             "{[a;b]n:1+#*a;({[a;b;n;s;i]c:a i;u:(n*s 0)+c?c;(u?u;u?(n*(n-1)^s 1)+(n-1)^c?b i)}"
             "[a;b;n]/[((*a)?*a;(*a)?*b);1_!#a])1}",
             cs, kc);
    if (!r) return 0;
    if (one) r = fir(r);
    return r ? tnull(r, _n(x)) : 0;
  }
  V c = PA(cs)[0], k = _r(PA(kc)[0]);
  mr(kc);
  if (!one) return fnd(c, k);
  V v = fir(k);
  if (!v) return 0;
  return dep(v) + 1 >= dep(c) ? fnd(c, v) : (mr(v), al(NJ));
}

}  // namespace

V fndD(V x, V y) {
  bool tab = tp(y) == tTABLE;
  V k = y, v = kv(&k);
  V r = fnd(x, v);
  if (!r) return mr(k), (V)0;
  return tab ? aM(k, r) : am(k, r);
}

V fndM(V x, V y) {
  int t = tp(y);
  if ((t == tDICT || t == tTABLE) && !_n(y)) return fndD(x, y);
  return r2f(fnd, x, y);
}

V fnd(V x, V y) {
  int tx = tp(x);
  switch (tx) {
    case tRANGE: case tBOOL: {
      V m = tx == tRANGE ? gZ(_r(x)) : ct(tBYTE, _r(x));
      if (!m) return mr(y), (V)0;
      V r = fnd(m, y);
      mr(m);
      return r;
    }
    case tBYTE: case tCHR: return fndG(x, y);
    case tLIST: return fndA(x, y);
    case tTABLE: return fndTb(x, y);
    case tDICT: {
      V p = fnd(PA(x)[1], y);
      return p ? i1(PA(x)[0], p) : 0;
    }
    default:
      if (tx >= tSHORT && tx <= tTSPAN) return fndT(x, y);
      return et(y);
  }
}

I dep(V v) {
  for (I d = 0;;) {
    int t = tp(v);
    if (t == tDICT || t == tTABLE) v = PA(v)[1];
    else if (t == tLIST) d++, v = PA(v)[0];
    else return d + (t >= tRANGE && t <= tTSPAN);
  }
}

V fnw(V r, J n) {
  if (!r) return 0;
  int t = tp(r);
  if (t == tINTA || t == tLONGA) {
    J v = gl(r);
    (r = an(1, tLONG)), PL(r)[0] = v;
  } else if (t == tLIST) {
    V l = an(nx(r), tLONG);
    for (U i = 0; i < nx(r); i++) {
      V a = PA(r)[i];
      int u = tp(a);
      if (u != tINTA && u != tLONGA) return mr(l), et(r);
      PL(l)[i] = gl_(a);
    }
    mr(r), r = l;
  } else if (t >= tBYTE && t <= tINT) {
    if (!(r = ct(tLONG, r))) return 0;
  } else if (t != tLONG)
    return et(r);
  if ((J)nx(r) != n) return el(r);
  return mut(r);
}

// ---- membership ----

namespace {

// The record of membership's pool tasks.  x is read at width code wx (an
// atom as one 64-bit word); the answers are bytes.  The set of y is
// either a bitmap over y's range (bit v - min) or a hash of the keys v + 1
// (0 empty; -1, whose key would be 0, only sets neg1).  y is read at
// width code wy while the set is built.
struct MJob {
  const void *x;
  G *r;
  U n;
  int wx, T;
  UJ *bm;  // bitmap ...
  J min;
  UJ span1;
  UJ *hk;  // ... or hash keys
  int sh;
  UJ mask;
  G neg1;
  const void *y;
  UJ m;
  int wy;
  J mn[PL_MAX], mx[PL_MAX];
};

ZK_INLINE void mchunk(const MJob &j, UJ n, int k, UJ *a, UJ *b) {
  *a = (UJ)k * n / (UJ)j.T, *b = (UJ)(k + 1) * n / (UJ)j.T;
}

// Items probed this far ahead have their slot fetched while earlier ones
// are looked at: a large set then costs bandwidth, not latency.
enum : UJ { MB = 16 };

template <class T> void mlbm(const MJob &j, UJ a, UJ b) {
  const T *x = (const T *)j.x;
  for (UJ i = a; i < b; i++) {
    UJ o = (UJ)(J)x[i] - (UJ)j.min;
    j.r[i] = o < j.span1 && (j.bm[o >> 6] >> (o & 63) & 1);
  }
}

template <class T> void mlhash(const MJob &j, UJ a, UJ b) {
  const T *x = (const T *)j.x;
  UJ s[MB];
  for (UJ i = a; i < b; i += MB) {
    UJ e = b - i < MB ? b - i : MB;
    for (UJ q = 0; q < e; q++) {
      s[q] = hslot((J)((UJ)(J)x[i + q] + 1), j.sh);
      __builtin_prefetch(j.hk + s[q]);
    }
    for (UJ q = 0; q < e; q++) {
      J v = x[i + q];
      UJ k = (UJ)v + 1, h = s[q], c;
      while ((c = j.hk[h]) && c != k) h = (h + 1) & j.mask;
      j.r[i + q] = v == -1 ? j.neg1 : c == k;
    }
  }
}

template <class F> ZK_INLINE void mbyw(int w, F &&f) {
  switch (w) {
    case 1: f((const int16_t *)0); break;
    case 2: f((const I *)0); break;
    default: f((const J *)0);
  }
}

// Task k of the set's building: y's minimum and maximum over its chunk.
void mbmm(void *c, int k) {
  MJob &j = *(MJob *)c;
  UJ a, b;
  mchunk(j, j.m, k, &a, &b);
  J mn = WJ, mx = NJ;
  if (a < b) mbyw(j.wy, [&](auto p) { mnmx((decltype(p))j.y + a, b - a, &mn, &mx); });
  j.mn[k] = mn, j.mx[k] = mx;
}

// Task k: its chunk of y into the set.  Bits are set by an atomic or, keys
// claimed from 0 by a compare-and-swap, so tasks may share words and
// slots; the set ends the same whatever the interleaving.
template <class T> void mput(MJob &j, UJ a, UJ b) {
  const T *y = (const T *)j.y;
  if (j.bm) {
    for (UJ i = a; i < b; i++) {
      UJ o = (UJ)(J)y[i] - (UJ)j.min;
      __atomic_fetch_or(j.bm + (o >> 6), 1ull << (o & 63), __ATOMIC_RELAXED);
    }
    return;
  }
  UJ s[MB];
  for (UJ i = a; i < b; i += MB) {
    UJ e = b - i < MB ? b - i : MB;
    for (UJ q = 0; q < e; q++) {
      s[q] = hslot((J)((UJ)(J)y[i + q] + 1), j.sh);
      __builtin_prefetch(j.hk + s[q], 1);
    }
    for (UJ q = 0; q < e; q++) {
      J v = y[i + q];
      if (v == -1) {
        __atomic_store_n(&j.neg1, 1, __ATOMIC_RELAXED);
        continue;
      }
      UJ k = (UJ)v + 1, h = s[q];
      for (;;) {
        UJ c = __atomic_load_n(j.hk + h, __ATOMIC_RELAXED);
        if (c == k) break;
        if (!c) {
          if (__atomic_compare_exchange_n(j.hk + h, &c, k, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED)) break;
          if (c == k) break;
        }
        h = (h + 1) & j.mask;
      }
    }
  }
}

// Task k: its share of the hash slots emptied (first touches of a large
// table spread over the pool).
void mbclr(void *c, int k) {
  MJob &j = *(MJob *)c;
  UJ a, b;
  mchunk(j, j.mask + 1, k, &a, &b);
  memset(j.hk + a, 0, (b - a) * 8);
}

void mbput(void *c, int k) {
  MJob &j = *(MJob *)c;
  UJ a, b;
  mchunk(j, j.m, k, &a, &b);
  mbyw(j.wy, [&](auto p) { mput<std::remove_cv_t<std::remove_pointer_t<decltype(p)>>>(j, a, b); });
}

// Width code of a membership operand: 1 short, 2 int or symbol, 3 long
// (and the atoms); 0 when the kind is not covered.
int mwid(int t, bool atom) {
  switch (t) {
    case tSHORT: return 1;
    case tINT: case tSYM: return 2;
    case tLONG: return 3;
    case tINTA: case tLONGA: return atom ? 3 : 0;
    default: return 0;
  }
}

}  // namespace

void memb_bm(void *job, int k) {
  MJob &j = *(MJob *)job;
  UJ a, b;
  mchunk(j, j.n, k, &a, &b);
  mbyw(j.wx, [&](auto p) { mlbm<std::remove_cv_t<std::remove_pointer_t<decltype(p)>>>(j, a, b); });
}

void memb_hash(void *job, int k) {
  MJob &j = *(MJob *)job;
  UJ a, b;
  mchunk(j, j.n, k, &a, &b);
  mbyw(j.wx, [&](auto p) { mlhash<std::remove_cv_t<std::remove_pointer_t<decltype(p)>>>(j, a, b); });
}

V membC(V a) {
  if (tp(a) != tLIST || nx(a) != 2) return et(a);
  V x = PA(a)[0], y = PA(a)[1];
  int tx = tp(x), ty = tp(y), wx = mwid(tx, true), wy = mwid(ty, false);
  // Symbols meet symbols and integers integers; everything else is the
  // caller's generic path, told so by the empty list.
  if (!wx || !wy || (tx == tSYM) != (ty == tSYM)) return mr(a), emp();
  bool atom = tx >= tINTA;
  J xa = atom ? gl_(x) : 0;
  MJob j{};
  j.x = atom ? (const void *)&xa : P(x), j.n = atom ? 1 : nx(x), j.wx = wx;
  j.y = P(y), j.m = nx(y), j.wy = wy;
  V r = an(j.n, tBYTE);
  j.r = P(r);
  void *tb = 0;
  if (!j.m) memset(j.r, 0, j.n);
  else {
    // The set is built on the pool for a large y, its answers looked up on
    // it for a large x.
    j.T = j.m <= 32767 ? 1 : par_thread_count();
    prun(j.T, mbmm, &j);
    J mn = WJ, mx = NJ;
    for (int k = 0; k < j.T; k++) mn = j.mn[k] < mn ? j.mn[k] : mn, mx = j.mx[k] > mx ? j.mx[k] : mx;
    // The span as an unsigned difference: 0N beside items >= 0 overflows a
    // signed one into a small-looking span, and the bits would be written
    // outside the map.
    UJ span = (UJ)mx - (UJ)mn;
    if (span <= 0x3FFFFFF) {
      UJ w = span / 64 + 1;
      if ((tb = j.bm = (UJ *)amem(w * 8))) memset(j.bm, 0, w * 8);
      j.min = mn, j.span1 = span + 1;
    } else {
      UJ cap = 16;
      int lg = 4;
      while (cap < 2 * j.m) cap <<= 1, lg++;
      j.sh = 64 - lg, j.mask = cap - 1;
      if ((tb = j.hk = (UJ *)amem(cap * 8))) prun(j.T, mbclr, &j);
    }
    if (!tb) return mr(r), mr(a), emp();
    prun(j.T, mbput, &j);
    j.T = j.n <= 32767 ? 1 : par_thread_count();
    prun(j.T, j.bm ? memb_bm : memb_hash, &j);
    free(tb);
  }
  mr(a);
  if (!atom) return r;
  I b = j.r[0];
  mr(r);
  return ai(b);
}

V fqm(V r, J n) {
  if (!r || !heap(r)) return r;
  int t = tp(r);
  if (t == tLONGA) return PL(r)[0] == NJ ? (mr(r), az(n)) : r;
  if (t == tDICT) {
    V k = r, v = kv(&k);
    return am(k, fqm(v, n));
  }
  if (t == tLIST) {
    r = mut(r);
    for (U i = 0, c = nx(r); i < c; i++) PA(r)[i] = fqm(PA(r)[i], n);
    return r;
  }
  if (t != tLONG) return r;
  U c = nx(r), i = 0;
  while (i < c && PL(r)[i] != NJ) i++;
  if (i == c) return r;
  r = mut(r);
  hd(r)->attr = 0;
  for (; i < c; i++)
    if (PL(r)[i] == NJ) PL(r)[i] = n;
  return sqzZ(r);
}

namespace {

// n?y for a count n: draws from what y describes; y consumed.
V qdraw(J n, V y) {
  int ty = tp(y);
  switch (ty) {
    case tFLTA: {
      // n floats uniform in [0, y)
      V v = rfl(n);
      V r = v ? ario(3, y, v) : 0;
      mr(y);
      return r;
    }
    case tCHRA: {
      char c = (char)ip(y);
      if (c == 'a' || c == 'A') {
        V d = rd(n, 26);
        V r = d ? ario(1, y, d) : 0;
        return r ? ct(tCHR, r) : 0;
      }
      // Raw bytes, whole steps of 32; the next draw starts a fresh step.
      if (n == NJ) return _r(ce[tCHR]);
      if (n < 0) return ed0();
      if (n > INT32_MAX) return ez0();
      V r = an((U)n, tCHR);
      rbk(P(r), (UJ)n);
      return r;
    }
    case tINTA: case tLONGA: return rd(n, gl(y));
    default:
      if (ty >= tLIST && ty <= tTABLE) {
        V p = rd(n, _n(y));
        V r = p ? _1(y, p) : 0;
        mr(y);
        return r;
      }
      return et(y);
  }
}

}  // namespace

V que(V x, V y) {
  int tx = tp(x);
  if ((tx >= tLIST && tx <= tTABLE) || tx == tRANGE) {
    V r = fnd(x, y);
    return fqm(r, _n(x));
  }
  if (tx == tDICT) return fnd(x, y);
  if (tx == tINTA || tx == tLONGA) return qdraw(gl_(x), y);
  if (tx == tSYMA) switch (ip(x)) {
      case 'k': return val(y);
      case pk4("hex"): return unh(y);
      case 'j': return js0(y);
      default: return ed(y);
    }
  return et(y);
}

}  // namespace zk
