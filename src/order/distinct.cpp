// distinct.cpp: distinct, the monadic ? (unq): the items of a value with
// every repeat removed, in order of first occurrence, the bits of each
// first occurrence kept.
//
// Methods by type: bytes and chars through a 256-flag table; symbols by
// parallel dictionary encoding (penc) above 65,535 items, else as their
// 32-bit ids; general lists through grouping's representative indices
// (frT, frH); floats that hold only whole numbers through a flag table or
// a hash set of their long values (unqF and its parts); integer and
// temporal vectors through a flag table (span up to 65,535), a bitmap (up
// to 67,108,863) or a hash set, and above 262,143 items through the pool
// (pdq_*).  Whatever those decline goes to one of three lambdas.
//
// Span: max - min taken as an unsigned 64-bit difference.  A signed one
// overflows when 0N sits beside items >= 0 and would pass every small-span
// test with a table far too small; the unsigned span is huge and such input
// takes the hash set.
//
// Hash set: open addressing over 64-bit keys v + 1 (0 marks an empty
// slot), slot = the top log2(capacity) bits of key * 0x9E3779B97F4A7C15,
// linear probing with wrap; -1, whose key would be 0, is tracked by a flag.
//
// Parallel path: T = par_thread_count() contiguous chunks (the last one to
// the end).  pdq_mm finds each chunk's extremes; then either every task
// records first positions in its own table over the span (pdq_lut) and
// pdq_lmin folds the tables into table 0 slice by slice, or every task
// builds a bounded hash set of first positions (pdq_hash) that the caller
// merges and sorts by position.  Tasks allocate only C heap memory, write
// only their own slots and tables, and raise nothing; memory that cannot be
// had, or a chunk with more than 65,536 keys, sends the work to the serial
// path.  Every scratch table is freed before return on every path.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/cmpcnt.h"
#include "num/num.h"
#include "num/simdf.h"
#include "order/order.h"

namespace zk {

int pdq_fh = 0;

namespace {

constexpr UJ GR = 0x9E3779B97F4A7C15ull;

// Zeroed scratch of b bytes, 64-byte aligned; 0 when it cannot be had.
void *zal(UJ b) {
  b = (b + 63) & ~(UJ)63;
  void *p = aligned_alloc(64, b ? b : 64);
  if (p) memset(p, 0, b);
  return p;
}

// Signed minimum and maximum of n >= 1 items, two registers of lanes at a
// time.
template <class T> void mnmx(const T *s, UJ n, J *mn, J *mx) {
  typedef Vof<T, 16> W;
  constexpr UJ L = NL<W>;
  T a = s[0], b = s[0];
  UJ i = 0;
  if (n >= 2 * L) {
    W lo = vld<W>(s), hi = lo, lo2 = lo, hi2 = lo;
    for (; i + 2 * L <= n; i += 2 * L) {
      W u = vld<W>(s + i), v = vld<W>(s + i + L);
      lo = vmin(lo, u), hi = vmax(hi, u), lo2 = vmin(lo2, v), hi2 = vmax(hi2, v);
    }
    lo = vmin(lo, lo2), hi = vmax(hi, hi2);
    for (UJ k = 0; k < L; k++) a = lo[k] < a ? lo[k] : a, b = hi[k] > b ? hi[k] : b;
  }
  for (; i < n; i++) a = s[i] < a ? s[i] : a, b = s[i] > b ? s[i] : b;
  *mn = a, *mx = b;
}

ZK_INLINE UJ hslot(UJ key, int lg) { return (key * GR) >> (64 - lg); }

// The kernels below append each new item of s (n items) to d and return
// the count, or -1 when their scratch memory cannot be had.  The item's
// key is its value as a long (the truncation of a whole float).

// Flag table over span1 possible values from mn; stops once all are seen.
template <class T> J uflag(const T *s, UJ n, J mn, UJ span1, T *d) {
  G *f = (G *)zal(span1);
  if (!f) return -1;
  UJ k = 0;
  for (UJ i = 0; i < n; i++) {
    UJ o = (UJ)(J)s[i] - (UJ)mn;
    if (!f[o]) {
      f[o] = 1, d[k++] = s[i];
      if (k == span1) break;
    }
  }
  free(f);
  return (J)k;
}

// Bitmap over span1 possible values from mn; stops once all are seen.
template <class T> J ubits(const T *s, UJ n, J mn, UJ span1, T *d) {
  UJ *w = (UJ *)zal(((span1 - 1) / 64 + 1) * 8);
  if (!w) return -1;
  UJ k = 0;
  for (UJ i = 0; i < n; i++) {
    UJ o = (UJ)(J)s[i] - (UJ)mn, b = 1ull << (o & 63);
    if (!(w[o >> 6] & b)) {
      w[o >> 6] |= b, d[k++] = s[i];
      if (k == span1) break;
    }
  }
  free(w);
  return (J)k;
}

// Hash set of keys v + 1, -1 by flag; doubled when half full.
template <class T> J uhash(const T *s, UJ n, T *d) {
  UJ cap = 1024, used = 0;
  int lg = 10;
  UJ *t = (UJ *)zal(cap * 8);
  if (!t) return -1;
  bool m1 = false;
  UJ k = 0;
  for (UJ i = 0; i < n; i++) {
    J v = (J)s[i];
    if (v == -1) {
      if (!m1) m1 = true, d[k++] = s[i];
      continue;
    }
    if (2 * used >= cap) {
      UJ *g = (UJ *)zal(cap * 16);
      if (!g) return free(t), -1;
      for (UJ j = 0; j < cap; j++)
        if (UJ key = t[j]) {
          UJ h = hslot(key, lg + 1);
          while (g[h]) h = (h + 1) & (2 * cap - 1);
          g[h] = key;
        }
      free(t);
      t = g, cap *= 2, lg++;
    }
    UJ key = (UJ)v + 1, h = hslot(key, lg);
    while (t[h] && t[h] != key) h = (h + 1) & (cap - 1);
    if (!t[h]) t[h] = key, used++, d[k++] = s[i];
  }
  free(t);
  return (J)k;
}

// The result r (allocated for n items) cut to k, or released when the
// kernel gave up (k < 0): 0 then.
V ucut(V r, J k) {
  if (k < 0) return mr(r), (V)0;
  hd(r)->count = (U)k;
  return r;
}

// ---- fallback lambdas ----
V ls1, ls2, ls3, lst_;
constexpr const char *LFIND = "{x@&(x?x)=!#x}";
constexpr const char *LFLT = "{x@i@<i@:&@[;0;:;1]@~=':y@i:<y}";
constexpr const char *LGEN = "{b:@[;0;:;1]@~~':x@i:<x;o:(#x)*-1++\\b;j:(|&\\|i+o)[w]-o w:&b;x@j@<j}";
constexpr const char *LTAB = "{$[#x;x@i@<i:&/'.=+.+x;x]}";

// x consumed.
V ufb(V x) {
  int t = tp(x);
  if (t != tLIST && dbytes(nx(x), t) < pg) return k1(&ls1, LFIND, x);
  if (t == tFLT) {
    V r = k2(&ls2, LFLT, x, fcan(x));
    mr(x);
    return r;
  }
  return k1(&ls3, LGEN, x);
}

// ---- the parallel integer path ----
struct Pdq {
  const void *src;
  U n;
  I w;  // width code: 1, 2 or 3
  I T;
  J min;
  J tmn[PL_MAX], tmx[PL_MAX];
  UJ span1;
  U *lut;  // T tables of span1 entries
  UJ *hk[PL_MAX];
  U *hp[PL_MAX];
  U hc[PL_MAX];
  U m1[PL_MAX];  // first position of -1, ~0u for none
  std::atomic<I> fail;
};

constexpr UJ HS = 0x20000;  // slots of a task's hash set
constexpr U HK = 0x10000;   // keys a task may hold

ZK_INLINE UJ pa(const Pdq &c, int k) { return (UJ)k * (c.n / (U)c.T); }
ZK_INLINE UJ pb(const Pdq &c, int k) { return k == c.T - 1 ? c.n : pa(c, k + 1); }

template <class T> void mm1(Pdq &c, int k) {
  UJ a = pa(c, k), b = pb(c, k);
  if (a < b) mnmx((const T *)c.src + a, b - a, c.tmn + k, c.tmx + k);
  else c.tmn[k] = WJ, c.tmx[k] = NJ;
}

template <class T> void lut1(Pdq &c, int k) {
  U *t = c.lut + (UJ)k * c.span1;
  memset(t, 0xFF, c.span1 * 4);
  const T *s = (const T *)c.src;
  UJ left = c.span1;
  for (UJ i = pa(c, k), b = pb(c, k); i < b; i++) {
    U &e = t[(UJ)(J)s[i] - (UJ)c.min];
    if (e == ~0u) {
      e = (U)i;
      if (!--left) break;
    }
  }
}

template <class T> void hash1(Pdq &c, int k) {
  UJ *keys = (UJ *)zal(HS * 8);
  U *pos = keys ? (U *)malloc(HS * 4) : 0;
  if (!pos) {
    free(keys);
    c.fail.store(1, std::memory_order_relaxed);
    return;
  }
  c.hk[k] = keys, c.hp[k] = pos;
  const T *s = (const T *)c.src;
  U cnt = 0;
  for (UJ i = pa(c, k), b = pb(c, k); i < b; i++) {
    J v = s[i];
    if (v == -1) {
      if (c.m1[k] == ~0u) c.m1[k] = (U)i;
      continue;
    }
    UJ key = (UJ)v + 1, h = hslot(key, 17);
    while (keys[h] && keys[h] != key) h = (h + 1) & (HS - 1);
    if (keys[h]) continue;
    if (cnt == HK || (!(cnt & 1023) && c.fail.load(std::memory_order_relaxed))) {
      c.fail.store(1, std::memory_order_relaxed);
      break;
    }
    keys[h] = key, pos[h] = (U)i, cnt++;
  }
  c.hc[k] = cnt;
}

// Reads the items of x at the positions p (k of them, ascending) into r.
template <class T> void pick(const void *src, const U *p, UJ k, void *r) {
  for (UJ i = 0; i < k; i++) ((T *)r)[i] = ((const T *)src)[p[i]];
}

// Reads the items of x at the set bits of the n-bit bitmap b into r; the count.
template <class T> UJ pickb(const T *s, const UJ *b, UJ n, T *d) {
  UJ k = 0;
  for (UJ w = 0; w < (n + 63) / 64; w++)
    for (UJ m = b[w]; m; m &= m - 1) d[k++] = s[w * 64 + __builtin_ctzll(m)];
  return k;
}

// A new vector of type t (width code w) of the n items at src whose bits
// are set in b, in position order.
V fromb(const void *src, int w, int t, const UJ *b, U n) {
  V r = an(n, t);
  UJ k;
  switch (w) {
    case 1: k = pickb((const int16_t *)src, b, n, P<int16_t>(r)); break;
    case 2: k = pickb((const I *)src, b, n, PI(r)); break;
    default: k = pickb((const J *)src, b, n, PL(r)); break;
  }
  hd(r)->count = (U)k;
  return r;
}

// Table variant, after pdq_lut and pdq_lmin: table 0 holds first positions.
V pdqL(Pdq &c, int t) {
  UJ *bm = (UJ *)zal(((UJ)c.n + 63) / 64 * 8);
  if (!bm) return 0;
  for (UJ i = 0; i < c.span1; i++)
    if (U p = c.lut[i]; p != ~0u) bm[p >> 6] |= 1ull << (p & 63);
  V r = fromb(c.src, c.w, t, bm, c.n);
  free(bm);
  return r;
}

struct Pr {
  U p;
  J v;
};

// Hash variant: the tasks' sets merged in task order, unsigned minimum of
// positions for a key seen by several, pairs sorted by position.
V pdqH(Pdq &c, int t) {
  UJ u = 1;
  for (int k = 0; k < c.T; k++) u += c.hc[k];
  UJ cap = 16;
  int lg = 4;
  while (cap < 2 * u) cap <<= 1, lg++;
  UJ *keys = (UJ *)zal(cap * 8);
  U *pos = keys ? (U *)malloc(cap * 4) : 0;
  Pr *pr = pos ? (Pr *)malloc(u * sizeof(Pr)) : 0;
  if (!pr) return free(keys), free(pos), (V)0;
  U m1 = ~0u;
  for (int k = 0; k < c.T; k++) {
    m1 = c.m1[k] < m1 ? c.m1[k] : m1;
    const UJ *hk = c.hk[k];
    for (UJ j = 0; j < HS; j++)
      if (UJ key = hk[j]) {
        UJ h = hslot(key, lg);
        while (keys[h] && keys[h] != key) h = (h + 1) & (cap - 1);
        U p = c.hp[k][j];
        if (!keys[h]) keys[h] = key, pos[h] = p;
        else if (p < pos[h]) pos[h] = p;
      }
  }
  UJ m = 0;
  for (UJ j = 0; j < cap; j++)
    if (keys[j]) pr[m++] = {pos[j], (J)(keys[j] - 1)};
  if (m1 != ~0u) pr[m++] = {m1, -1};
  free(keys), free(pos);
  qsort(pr, m, sizeof(Pr), pdq_cmp);
  V r = an((U)m, t);
  for (UJ i = 0; i < m; i++) switch (c.w) {
      case 1: P<int16_t>(r)[i] = (int16_t)pr[i].v; break;
      case 2: PI(r)[i] = (I)pr[i].v; break;
      default: PL(r)[i] = pr[i].v; break;
    }
  free(pr);
  return r;
}

// ---- partitioned variant, for chunks with more keys than a bounded set ----
// Items are scattered by the top bits of their key's hash into NP
// partitions, each task's items of a partition in position order after the
// previous task's, so every partition lists its positions ascending; each
// partition is then deduplicated alone and its first occurrences marked in
// a bitmap of n bits, from which the result is read in position order.
constexpr int NPB = 10;
constexpr UJ NP = 1u << NPB;

struct Ppx {
  const void *src;
  U n;
  I w, T;
  U *off;  // T x NP: counts, then each task's next slot in pos
  U *pos;  // n positions, partition-major
  U pst[NP + 1];
  std::atomic<UJ> *bm;
  std::atomic<I> fail;
};

ZK_INLINE UJ ppa(const Ppx &c, int k) { return (UJ)k * (c.n / (U)c.T); }
ZK_INLINE UJ ppb(const Ppx &c, int k) { return k == c.T - 1 ? c.n : ppa(c, k + 1); }
ZK_INLINE UJ ppart(J v) { return hslot((UJ)v, NPB); }

template <class T> void pph1(Ppx &c, int k) {
  const T *s = (const T *)c.src;
  U *h = c.off + (UJ)k * NP;
  for (UJ i = ppa(c, k), b = ppb(c, k); i < b; i++) h[ppart(s[i])]++;
}

template <class T> void pps1(Ppx &c, int k) {
  const T *s = (const T *)c.src;
  U *o = c.off + (UJ)k * NP;
  for (UJ i = ppa(c, k), b = ppb(c, k); i < b; i++) c.pos[o[ppart(s[i])]++] = (U)i;
}

// Partitions k, k+T, ...: a set of keys with their first positions, grown
// at half load; a new key's position is marked.
template <class T> void ppd1(Ppx &c, int k) {
  const T *s = (const T *)c.src;
  UJ cap = 0;
  J *ky = 0;
  U *ps = 0;
  for (UJ q = (UJ)k; q < NP; q += (UJ)c.T) {
    UJ a = c.pst[q], b = c.pst[q + 1], used = 0, want = 64;
    while (want < 2 * (b - a) && want < 4096) want <<= 1;
    int lg = __builtin_ctzll(want);
    if (want > cap) {
      free(ky), free(ps);
      ky = (J *)malloc(want * 8), ps = (U *)malloc(want * 4), cap = want;
      if (!ky || !ps) goto fail;
    }
    memset(ps, 0xFF, want * 4);
    for (UJ j = a; j < b; j++) {
      U p = c.pos[j];
      J v = s[p];
      if (2 * used >= want) {  // double: every stored key re-inserted
        J *k2 = (J *)malloc(want * 16);
        U *p2 = (U *)malloc(want * 8);
        if (!k2 || !p2) {
          free(k2), free(p2);
          goto fail;
        }
        memset(p2, 0xFF, want * 8);
        for (UJ e = 0; e < want; e++)
          if (ps[e] != ~0u) {
            UJ h = hslot((UJ)ky[e] * GR, lg + 1);
            while (p2[h] != ~0u) h = (h + 1) & (2 * want - 1);
            k2[h] = ky[e], p2[h] = ps[e];
          }
        free(ky), free(ps);
        ky = k2, ps = p2, want *= 2, cap = want, lg++;
      }
      // A second multiplier: the partition already fixed the top bits.
      UJ h = hslot((UJ)v * GR, lg);
      while (ps[h] != ~0u && ky[h] != v) h = (h + 1) & (want - 1);
      if (ps[h] == ~0u) {
        ky[h] = v, ps[h] = p, used++;
        c.bm[p >> 6].fetch_or(1ull << (p & 63), std::memory_order_relaxed);
      }
    }
  }
  free(ky), free(ps);
  return;
fail:
  free(ky), free(ps);
  c.fail.store(1, std::memory_order_relaxed);
}

template <class T> void ppx_run(void *ctx, int k, int phase) {
  Ppx &c = *(Ppx *)ctx;
  if (phase == 0) pph1<T>(c, k);
  else if (phase == 1) pps1<T>(c, k);
  else ppd1<T>(c, k);
}
template <int P> void ppxt(void *ctx, int k) {
  switch (((Ppx *)ctx)->w) {
    case 1: return ppx_run<int16_t>(ctx, k, P);
    case 2: return ppx_run<I>(ctx, k, P);
    default: return ppx_run<J>(ctx, k, P);
  }
}

// 0 (nothing raised) when memory runs short.
V ppx(V x, int T) {
  Ppx *c = (Ppx *)zal(sizeof(Ppx));
  if (!c) return 0;
  int t = tp(x);
  c->src = P(x), c->n = nx(x), c->w = Tw[t] - 3, c->T = T;
  c->off = (U *)zal((UJ)T * NP * 4);
  c->pos = c->off ? (U *)malloc((UJ)c->n * 4) : 0;
  c->bm = c->pos ? (std::atomic<UJ> *)zal(((UJ)c->n + 63) / 64 * 8) : 0;
  V r = 0;
  if (c->bm) {
    par_run(T, ppxt<0>, c);
    UJ at = 0;
    for (UJ q = 0; q < NP; q++) {
      c->pst[q] = (U)at;
      for (int k = 0; k < T; k++) {
        U m = c->off[(UJ)k * NP + q];
        c->off[(UJ)k * NP + q] = (U)at, at += m;
      }
    }
    c->pst[NP] = (U)at;
    par_run(T, ppxt<1>, c);
    par_run(T, ppxt<2>, c);
    if (!c->fail.load(std::memory_order_relaxed)) r = fromb(c->src, c->w, t, (const UJ *)c->bm, c->n);
  }
  free(c->off), free(c->pos), free((void *)c->bm), free(c);
  return r;
}

// The parallel path over T tasks; 0 (nothing raised) when it cannot finish.
V pdq(V x, int T) {
  Pdq *c = (Pdq *)zal(sizeof(Pdq));
  if (!c) return 0;
  int t = tp(x);
  c->src = P(x), c->n = nx(x), c->w = Tw[t] - 3, c->T = T;
  par_run(T, pdq_mm, c);
  J mn = WJ, mx = NJ;
  for (int k = 0; k < T; k++) mn = c->tmn[k] < mn ? c->tmn[k] : mn, mx = c->tmx[k] > mx ? c->tmx[k] : mx;
  UJ span = (UJ)mx - (UJ)mn;
  c->min = mn;
  V r = 0;
  if (!pdq_fh && span <= 0xFFFFF && (UJ)T * (span + 1) * 4 <= 0x4000000) {
    c->span1 = span + 1;
    if ((c->lut = (U *)aligned_alloc(64, ((UJ)T * c->span1 * 4 + 63) & ~(UJ)63))) {
      par_run(T, pdq_lut, c);
      par_run(T, pdq_lmin, c);
      r = pdqL(*c, t);
      free(c->lut);
    }
  } else {
    for (int k = 0; k < T; k++) c->m1[k] = ~0u;
    par_run(T, pdq_hash, c);
    bool full = c->fail.load(std::memory_order_relaxed);
    if (!full) r = pdqH(*c, t);
    for (int k = 0; k < T; k++) free(c->hk[k]), free(c->hp[k]);
    if (full && !pdq_fh) r = ppx(x, T);
  }
  free(c);
  return r;
}

// Integer and temporal vectors of at least 2 items, serial; 0 when a
// table cannot be had.
template <class T> V unqI(V x) {
  const T *s = (const T *)P(x);
  UJ n = nx(x);
  J mn, mx;
  mnmx(s, n, &mn, &mx);
  UJ span = (UJ)mx - (UJ)mn;
  V r = an((U)n, tp(x));
  T *d = (T *)P(r);
  J k = span <= 0xFFFF      ? uflag(s, n, mn, span + 1, d)
        : span <= 0x3FFFFFF ? ubits(s, n, mn, span + 1, d)
                            : uhash(s, n, d);
  return ucut(r, k);
}

V unqW(V x) {
  int w = Tw[tp(x)] - 3, T = nx(x) > 0x3FFFF ? par_thread_count() : 1;
  if (T > 1)
    if (V r = pdq(x, T)) return r;
  switch (w) {
    case 1: return unqI<int16_t>(x);
    case 2: return unqI<I>(x);
    default: return unqI<J>(x);
  }
}

V u256(V x) {
  U n = nx(x), k = 0;
  G f[256] = {};
  V r = an(n, tp(x));
  for (U i = 0; i < n && k < 256; i++) {
    G b = P(x)[i];
    if (!f[b]) f[b] = 1, P(r)[k++] = b;
  }
  hd(r)->count = k;
  mr(x);
  return r;
}

// x retyped to t: in place when unshared (attribute cleared), else a copy.
V rty(V x, int t) {
  if (sole(hd(x)) && hd(x)->cls) {
    hd(x)->type = (int8_t)t, hd(x)->attr = 0;
    return x;
  }
  V r = aV(t, nx(x), P(x));
  mr(x);
  return r;
}

V unqS(V x) {
  V v;
  if (nx(x) > 0xFFFF && !penc(x, par_thread_count(), &v, 0)) return mr(x), v;
  V r = unq(rty(x, tINT));
  return r ? rty(r, tSYM) : 0;
}

// General list of at least 2 items: the items that are their own
// representatives.
V unqL(V x) {
  V m = frT(x);
  if (!m) m = frH(x);
  if (!m) return ufb(x);
  U n = nx(m), k = 0;
  for (U i = 0; i < n; i++)
    if (PI(m)[i] == (I)i) PI(m)[k++] = (I)i;
  hd(m)->count = k;
  V r = i1(x, m);
  mr(x);
  return r;
}

}  // namespace

void pdq_mm(void *ctx, int k) {
  Pdq &c = *(Pdq *)ctx;
  switch (c.w) {
    case 1: return mm1<int16_t>(c, k);
    case 2: return mm1<I>(c, k);
    default: return mm1<J>(c, k);
  }
}

void pdq_lut(void *ctx, int k) {
  Pdq &c = *(Pdq *)ctx;
  switch (c.w) {
    case 1: return lut1<int16_t>(c, k);
    case 2: return lut1<I>(c, k);
    default: return lut1<J>(c, k);
  }
}

void pdq_lmin(void *ctx, int k) {
  Pdq &c = *(Pdq *)ctx;
  UJ q = c.span1 / (UJ)c.T, a = (UJ)k * q, b = k == c.T - 1 ? c.span1 : a + q;
  U *t0 = c.lut;
  for (int j = 1; j < c.T; j++) {
    const U *t = c.lut + (UJ)j * c.span1;
    for (UJ i = a; i < b; i++) t0[i] = t[i] < t0[i] ? t[i] : t0[i];
  }
}

void pdq_hash(void *ctx, int k) {
  Pdq &c = *(Pdq *)ctx;
  switch (c.w) {
    case 1: return hash1<int16_t>(c, k);
    case 2: return hash1<I>(c, k);
    default: return hash1<J>(c, k);
  }
}

int pdq_cmp(const void *a, const void *b) {
  U p = *(const U *)a, q = *(const U *)b;
  return (p > q) - (p < q);
}

V fcan(V x) {
  U n = nx(x);
  V r = an(n, tFLT);
  const UJ *s = (const UJ *)P(x);
  UJ *d = (UJ *)P(r);
  for (U i = 0; i < n; i++) {
    UJ b = s[i];
    d[i] = !(b << 1) ? 0 : (b << 1) > 0xFFE0000000000000ull ? NF_BITS : b;
  }
  return r;
}

I unqrangeF(V x, J *mn, J *span1) {
  UJ n = nx(x);
  if (n < 2 || !simd_fintegral_f64(PF(x), n)) return 0;
  F a, b;
  I ord, fl;
  simd_frange0_f64(PF(x), n, &a, &b, &ord, &fl);
  UJ s1 = (UJ)(J)b - (UJ)(J)a + 1;
  if (!s1) return 0;
  *mn = (J)a, *span1 = (J)s1;
  return 1;
}

V unqLUTF(V x, J mn, J span1) {
  V r = an(nx(x), tFLT);
  return ucut(r, uflag(PF(x), nx(x), mn, (UJ)span1, PF(r)));
}

V unqHASHF(V x) {
  V r = an(nx(x), tFLT);
  return ucut(r, uhash(PF(x), nx(x), PF(r)));
}

V unqF(V x) {
  J mn, s1;
  if (!unqrangeF(x, &mn, &s1)) return 0;
  return s1 <= 0x10000 ? unqLUTF(x, mn, s1) : unqHASHF(x);
}

V unq(V x) {
  int t = tp(x);
  switch (t) {
    case tRANGE: return x;
    case tBOOL:
      if (!(x = ct(tBYTE, x))) return 0;
      [[fallthrough]];
    case tBYTE:
    case tCHR: return u256(x);
    case tSYM: return unqS(x);
    case tTABLE: return k1(&lst_, LTAB, x);
    case tDICT: {
      V v = val(x);
      return v ? unq(v) : 0;
    }
    case tINTA:
    case tLONGA: return qrf(x);  // ?n: n random floats
    case tLIST:
    case tSHORT:
    case tINT:
    case tLONG:
    case tFLT:
    case tDATE:
    case tTIME:
    case tTSTAMP:
    case tMINUTE:
    case tSECOND:
    case tMONTH:
    case tTSPAN: break;
    default: return et(x);
  }
  if (nx(x) < 2) return x;
  V r;
  if (t == tLIST) return unqL(x);
  if (t == tFLT) r = unqF(x);
  else r = unqW(x);
  if (!r) return ufb(x);
  mr(x);
  return r;
}

}  // namespace zk
