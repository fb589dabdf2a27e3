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
// merges and sorts by position; a chunk with more than 65,536 keys sends
// the work to the partitioned variant (ppx).  Large tables are vectors the
// caller takes from the engine's blocks, which a repeat finds already
// faulted in.  Tasks allocate only C heap memory, write only their own
// slots and tables, and raise nothing; memory that cannot be had sends the
// work to the serial path.  Every scratch table is freed before return on
// every path.
#include <emmintrin.h>
#include <algorithm>
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
  UJ *keys = c.hk[k];
  U *pos = c.hp[k];
  memset(keys, 0, HS * 8);
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
// partitions: every task writes its items of partition q, keys beside
// positions, into its own segment of q, so a partition read segment by
// segment lists its positions ascending.  A task stages PW items a
// partition before writing them out whole lines at a time, past the cache:
// 2,048 open streams of single items would each cost a line read.  Each
// partition is then deduplicated alone in a set small enough for the
// core's cache, its first positions written over its positions; last,
// position ranges holding about equal numbers of first positions are
// marked in a bitmap and read out in order, each range to its place in the
// result.
constexpr int NPB = 10;
constexpr UJ NP = 1u << NPB;
constexpr U PW = 16;  // items staged a partition: 2 lines of keys, 1 of positions

struct Ppx {
  const void *src;
  U n;
  I w, T;
  U *cnt;  // T x NP: task k's items of partition q
  U *seg;  // T x NP: where they start in key and pos, a multiple of PW
  J *key;  // keys, partition-major, task-major within a partition
  U *pos;  // their positions; later a partition's first positions
  U fc[NP];         // first positions found in partition q
  U fs[NP];         // where they start in pos
  U ra[PL_MAX + 1];  // read-out ranges, multiples of 64 but the last
  U rc[PL_MAX];      // first positions in each
  UJ *bm;            // n bits
  void *out;         // the result's items
  std::atomic<I> fail;
};

ZK_INLINE UJ ppa(const Ppx &c, int k) { return (UJ)k * (c.n / (U)c.T); }
ZK_INLINE UJ ppb(const Ppx &c, int k) { return k == c.T - 1 ? c.n : ppa(c, k + 1); }
ZK_INLINE UJ ppart(J v) { return hslot((UJ)v, NPB); }

template <class T> void pph1(Ppx &c, int k) {
  const T *s = (const T *)c.src;
  U *h = c.cnt + (UJ)k * NP;
  for (UJ i = ppa(c, k), b = ppb(c, k); i < b; i++) h[ppart(s[i])]++;
}

// n bytes from s to the aligned d, past the cache.
ZK_INLINE void ntcp(void *d, const void *s, UJ n) {
  for (UJ i = 0; i < n; i += 16)
    _mm_stream_si128((__m128i *)((char *)d + i), _mm_load_si128((const __m128i *)((const char *)s + i)));
}

template <class T> void pps1(Ppx &c, int k) {
  const T *s = (const T *)c.src;
  J *bk = (J *)aligned_alloc(64, NP * PW * 8);
  U *bp = (U *)aligned_alloc(64, NP * PW * 4);
  U *fl = (U *)calloc(NP, 4);
  U *o = (U *)malloc(NP * 4);
  if (!bk || !bp || !fl || !o) {
    free(bk), free(bp), free(fl), free(o);
    c.fail.store(1, std::memory_order_relaxed);
    return;
  }
  memcpy(o, c.seg + (UJ)k * NP, NP * 4);
  for (UJ i = ppa(c, k), b = ppb(c, k); i < b; i++) {
    J v = s[i];
    UJ q = ppart(v);
    U f = fl[q];
    bk[q * PW + f] = v, bp[q * PW + f] = (U)i;
    if (++f == PW) {
      ntcp(c.key + o[q], bk + q * PW, PW * 8), ntcp(c.pos + o[q], bp + q * PW, PW * 4);
      o[q] += PW, f = 0;
    }
    fl[q] = f;
  }
  for (UJ q = 0; q < NP; q++) memcpy(c.key + o[q], bk + q * PW, fl[q] * 8), memcpy(c.pos + o[q], bp + q * PW, fl[q] * 4);
  _mm_sfence();
  free(bk), free(bp), free(fl), free(o);
}

// Partitions k, k+T, ...: a set of keys v + 1 (-1 by flag), slots from
// the hash bits below the partition's, first sized for twice the keys the
// task's previous partition held (partitions are alike) and doubled at
// half load; a new key's position goes to the partition's list of first
// positions.
void ppd1(Ppx &c, int k) {
  UJ cap = 0, prev = 512;
  UJ *t = 0;
  const J *ks = c.key;
  const U *ps = c.pos;
  for (UJ q = (UJ)k; q < NP; q += (UJ)c.T) {
    UJ want = 1024, m = 0, items = 0;
    for (int j = 0; j < c.T; j++) items += c.cnt[(UJ)j * NP + q];
    while (want < 2 * items && want < 2 * prev + prev / 2) want <<= 1;
    int lg = __builtin_ctzll(want);
    if (want > cap) {
      free(t);
      if (!(t = (UJ *)malloc(want * 8))) return c.fail.store(1, std::memory_order_relaxed);
      cap = want;
    }
    memset(t, 0, want * 8);
    bool m1 = false;
    U *fp = c.pos + c.seg[q];  // first positions overwrite positions already read
    for (int j = 0; j < c.T; j++) {
      UJ a = c.seg[(UJ)j * NP + q], e = a + c.cnt[(UJ)j * NP + q];
      for (UJ i = a; i < e; i++) {
        J v = ks[i];
        UJ key = (UJ)v + 1, h = ((UJ)v * GR) << NPB >> (64 - lg);
        if (ZK_UNLIKELY(!key)) {
          if (!m1) m1 = true, fp[m++] = ps[i];
          continue;
        }
        while (t[h] && t[h] != key) h = (h + 1) & (want - 1);
        if (t[h]) continue;
        t[h] = key, fp[m++] = ps[i];
        if (ZK_UNLIKELY(2 * m >= want)) {  // double: every stored key re-inserted
          UJ *g = (UJ *)calloc(want * 2, 8);
          if (!g) return free(t), c.fail.store(1, std::memory_order_relaxed);
          for (UJ e2 = 0; e2 < want; e2++)
            if (UJ y = t[e2]) {
              UJ h2 = ((y - 1) * GR) << NPB >> (63 - lg);
              while (g[h2]) h2 = (h2 + 1) & (2 * want - 1);
              g[h2] = y;
            }
          free(t);
          t = g, want *= 2, cap = want, lg++;
        }
      }
    }
    c.fc[q] = (U)m, c.fs[q] = c.seg[q], prev = m;
  }
  free(t);
}

// First index of p[0..n) not below v (p ascending).
ZK_INLINE UJ lbnd(const U *p, UJ n, U v) {
  UJ a = 0;
  while (n) {
    UJ h = n / 2;
    if (p[a + h] < v) a += h + 1, n -= h + 1;
    else n = h;
  }
  return a;
}

// Range k: its bitmap words cleared, then the bits of its first positions
// set, from every partition's list.
void ppm1(Ppx &c, int k) {
  U a = c.ra[k], b = c.ra[k + 1];
  UJ wa = a / 64, wb = ((UJ)b + 63) / 64;
  memset(c.bm + wa, 0, (wb - wa) * 8);
  U m = 0;
  for (UJ q = 0; q < NP; q++) {
    const U *p = c.pos + c.fs[q];
    UJ i = lbnd(p, c.fc[q], a), e = i + lbnd(p + i, c.fc[q] - i, b);
    for (m += (U)(e - i); i < e; i++) c.bm[p[i] >> 6] |= 1ull << (p[i] & 63);
  }
  c.rc[k] = m;
}

// Range k read out in position order to its place in the result.
template <class T> void ppo1(Ppx &c, int k) {
  U o = 0;
  for (int j = 0; j < k; j++) o += c.rc[j];
  UJ wa = c.ra[k] / 64, wb = ((UJ)c.ra[k + 1] + 63) / 64;
  pickb((const T *)c.src + wa * 64, c.bm + wa, (wb - wa) * 64, (T *)c.out + o);
}

template <class T> void ppx_run(void *ctx, int k, int phase) {
  Ppx &c = *(Ppx *)ctx;
  switch (phase) {
    case 0: return pph1<T>(c, k);
    case 1: return pps1<T>(c, k);
    case 2: return ppd1(c, k);
    case 3: return ppm1(c, k);
    default: return ppo1<T>(c, k);
  }
}
template <int P> void ppxt(void *ctx, int k) {
  switch (((Ppx *)ctx)->w) {
    case 1: return ppx_run<int16_t>(ctx, k, P);
    case 2: return ppx_run<I>(ctx, k, P);
    default: return ppx_run<J>(ctx, k, P);
  }
}

// Read-out ranges by the first positions of the first partitions, a
// sample of all: cut at its quantiles, rounded down to whole words.
void pprange(Ppx &c) {
  UJ m = 0, q = 0;
  while (q < NP && m < 8192) m += c.fc[q++];
  U *smp = (U *)malloc((m + 1) * 4);
  c.ra[0] = 0, c.ra[c.T] = c.n;
  for (int k = 1; k < c.T; k++) c.ra[k] = (U)((UJ)k * c.n / (U)c.T) & ~63u;
  if (smp && m) {
    UJ j = 0;
    for (UJ p = 0; p < q; p++) memcpy(smp + j, c.pos + c.fs[p], c.fc[p] * 4), j += c.fc[p];
    std::sort(smp, smp + m);
    for (int k = 1; k < c.T; k++) c.ra[k] = smp[(UJ)k * m / (U)c.T] & ~63u;
  }
  for (int k = 1; k < c.T; k++) c.ra[k] = c.ra[k] < c.ra[k - 1] ? c.ra[k - 1] : c.ra[k];
  free(smp);
}

// 0 (nothing raised) when memory runs short.
V ppx(V x, int T) {
  Ppx *c = (Ppx *)zal(sizeof(Ppx));
  if (!c) return 0;
  int t = tp(x);
  c->src = P(x), c->n = nx(x), c->w = Tw[t] - 3, c->T = T;
  c->cnt = (U *)zal((UJ)T * NP * 4), c->seg = (U *)malloc((UJ)T * NP * 4);
  V r = 0;
  if (c->cnt && c->seg) {
    par_run(T, ppxt<0>, c);
    UJ at = 0;  // segments padded to whole stagings
    for (UJ q = 0; q < NP; q++)
      for (int k = 0; k < T; k++) c->seg[(UJ)k * NP + q] = (U)at, at += (c->cnt[(UJ)k * NP + q] + PW - 1) & ~(UJ)(PW - 1);
    V kv = 0, pv = 0, bv = 0;
    if (at <= 0xFFFFFFFFu) {
      kv = an((U)at, tLONG), pv = an((U)at, tINT), bv = an((U)(((UJ)c->n + 63) / 64), tLONG);
      c->key = PL(kv), c->pos = (U *)PI(pv), c->bm = (UJ *)PL(bv);
    }
    if (kv) {
      par_run(T, ppxt<1>, c);
      if (!c->fail.load(std::memory_order_relaxed)) par_run(T, ppxt<2>, c);
      if (!c->fail.load(std::memory_order_relaxed)) {
        pprange(*c);
        par_run(T, ppxt<3>, c);
        U m = 0;
        for (int k = 0; k < T; k++) m += c->rc[k];
        r = an(m, t);
        c->out = P(r);
        par_run(T, ppxt<4>, c);
      }
    }
    if (kv) mr(kv), mr(pv), mr(bv);
  }
  free(c->cnt), free(c->seg), free(c);
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
    V lv = an((U)((UJ)T * c->span1), tINT);
    c->lut = (U *)PI(lv);
    par_run(T, pdq_lut, c);
    par_run(T, pdq_lmin, c);
    r = pdqL(*c, t);
    mr(lv);
  } else {
    V kv = an((U)((UJ)T * HS), tLONG), pv = an((U)((UJ)T * HS), tINT);
    for (int k = 0; k < T; k++) c->m1[k] = ~0u, c->hk[k] = (UJ *)PL(kv) + (UJ)k * HS, c->hp[k] = (U *)PI(pv) + (UJ)k * HS;
    par_run(T, pdq_hash, c);
    bool full = c->fail.load(std::memory_order_relaxed);
    if (!full) r = pdqH(*c, t);
    mr(kv), mr(pv);
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
