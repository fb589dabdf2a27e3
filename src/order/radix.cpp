// radix.cpp: the radix grade and value sort, and the counting kernels
// (see radix.h for the entries' contracts).
//
// One engine serves every grade and sort: eng<K, Pl> over the key width K
// (32 or 64 bits) and the payload Pl (32-bit or 64-bit indexes for grades,
// NoP for value sorts, which move keys alone).  It orders the low nb bytes
// of the keys, stably, by one of three strategies:
//   - serial LSD passes (up to 32,767 items, or one thread): one counting
//     sweep for every byte position into 8 x 256 counters on the stack,
//     then a scatter per varying position; nothing is allocated;
//   - the bucket strategy (first choice on the pool): one parallel scatter
//     by the highest varying byte into 256 buckets, then tasks claim the
//     buckets one at a time (a relaxed fetch-and-add on one counter) and
//     finish each with private LSD passes on the lower varying bytes; it
//     declines when one bucket would hold more than half the items;
//   - parallel LSD passes: per pass, each task counts its slice and then
//     scatters it to write positions laid out bucket-major, task-minor, so
//     task 0's items of a byte value precede task 1's and the pass is as
//     stable as the serial one.
// Histograms of the pool strategies come from malloc; when it fails the
// engine falls back (bucket -> parallel passes -> serial) with the same
// answer.  Byte positions whose value never varies are never scattered,
// and a grade's last pass moves payloads only.
//
// Tasks own the items floor(a*n/T) .. floor((a+1)*n/T) and write only
// their slice of a target, their own counters and their own flag byte;
// they allocate nothing and raise nothing.  T is par_thread_count(), read
// afresh by every entry and engine call.
//
// Entries take an arena mark first and rewind to it on every way out.
// Names of the job functions: *_key converts a slice to keys (rdxk_w,
// rsk_w), *_out writes a slice of the result (rdxc_w, rsu_w); j_all,
// j_hist, j_scat are the LSD phases (zkrdx4_all .. zkrdxk8_ps); j_mh, j_ms,
// j_mw the bucket phases (zkrdx4_mh .. zkrdxk8_kw); bsort a bucket's own
// passes (zkrdx4_mb .. zkrdxk8_kb).
#include "order/radix.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/pool.h"
#include "core/simd.h"
#include "num/simdf.h"

namespace zk {

UJ rdx_wide = 0x7FFFFFFF;
thread_local G rdx_how;

namespace {

constexpr UJ SER_MAX = 0x7FFF;  // inputs up to this never touch the pool

struct NoP {};
template <class Pl> inline constexpr bool HP = !std::is_same_v<Pl, NoP>;

typedef UJ H1[256];
typedef UJ H8[8][256];

ZK_INLINE UJ slo(UJ n, int T, int a) { return n * (UJ)a / (UJ)T; }
template <class K> ZK_INLINE unsigned byt(K k, int j) { return (unsigned)(k >> (8 * j)) & 255; }

using Mark = RMark;

// ---- min, max and OR of k[0]^k[i], four 32-bit or two 64-bit lanes ----
template <class K> void mmo(const K *k, UJ n, K *mn, K *mx, K *d) {
  typedef std::conditional_t<sizeof(K) == 4, u32x4, u64x2> Vk;
  constexpr UJ L = 16 / sizeof(K);
  K f = k[0], a = f, b = f, o = 0;
  UJ i = 0;
  if (n >= L) {
    Vk va = vld<Vk>(k), vb = va, vo = {}, vf = vdup<Vk>(f);
    for (i = L; i + L <= n; i += L) {
      Vk v = vld<Vk>(k + i);
      va = vmin(va, v);
      vb = vmax(vb, v);
      vo |= v ^ vf;
    }
    vo |= va ^ vf;
    vo |= vb ^ vf;
    for (UJ j = 0; j < L; j++) {
      a = std::min<K>(a, va[j]);
      b = std::max<K>(b, vb[j]);
      o |= vo[j];
    }
  }
  for (; i < n; i++) {
    a = std::min(a, k[i]);
    b = std::max(b, k[i]);
    o |= k[i] ^ f;
  }
  *mn = a;
  *mx = b;
  *d = o;
}

// Range reduction (both widths): see zknorm8 in radix.h.  *off receives
// the minimum when the keys were rebased, else 0.
template <class K> int nrm(K *k, UJ n, int b, K *off) {
  *off = 0;
  if (n < 2) return 0;
  K mn, mx, d;
  mmo(k, n, &mn, &mx, &d);
  if (!d) return 0;
  int v = 0;
  for (int j = 0; j < b; j++) v += byt(d, j) != 0;
  K s = mx - mn;
  int r = 1;
  while (r < (int)sizeof(K) && (s >> (8 * r))) r++;
  if (v <= r) return b;
  if (mn) for (UJ i = 0; i < n; i++) k[i] -= mn;
  *off = mn;
  return r;
}

// ---- counting every byte position 0..NB-1 in one sweep ----
template <class K, int NB> void cntk(const K *k, UJ n, H8 &h) {
  for (UJ i = 0; i < n; i++) {
    K x = k[i];
    for (int j = 0; j < NB; j++) h[j][byt(x, j)]++;
  }
}
template <class K> void cnt(const K *k, UJ n, int nb, H8 &h) {
  switch (nb) {
    case 1: return cntk<K, 1>(k, n, h);
    case 2: return cntk<K, 2>(k, n, h);
    case 3: return cntk<K, 3>(k, n, h);
    case 4: return cntk<K, 4>(k, n, h);
    case 5: if constexpr (sizeof(K) == 8) return cntk<K, 5>(k, n, h); break;
    case 6: if constexpr (sizeof(K) == 8) return cntk<K, 6>(k, n, h); break;
    case 7: if constexpr (sizeof(K) == 8) return cntk<K, 7>(k, n, h); break;
    case 8: if constexpr (sizeof(K) == 8) return cntk<K, 8>(k, n, h); break;
  }
}
template <class K> ZK_INLINE void cnt1(const K *k, UJ lo, UJ hi, int j, UJ *h) {
  for (UJ i = lo; i < hi; i++) h[byt(k[i], j)]++;
}

// Exclusive prefix sums from base.
ZK_INLINE void pfx(UJ *h, UJ base) {
  for (int v = 0; v < 256; v++) {
    UJ c = h[v];
    h[v] = base;
    base += c;
  }
}
// Write positions of T per-task histograms, bucket-major and task-minor;
// st (when given) receives the bucket starts and st[256] = total.
inline void pfxT(H1 *h, int T, UJ *st) {
  UJ run = 0;
  for (int v = 0; v < 256; v++) {
    if (st) st[v] = run;
    for (int a = 0; a < T; a++) {
      UJ c = h[a][v];
      h[a][v] = run;
      run += c;
    }
  }
  if (st) st[256] = run;
}

// Stable scatter of items lo..hi-1 by byte j to the positions in st; with
// only_p the keys stay behind (a grade's last pass).
template <class K, class Pl>
ZK_INLINE void sct(const K *ks, K *kt, const Pl *ps, Pl *pt, UJ lo, UJ hi, int j, UJ *st,
                   bool only_p) {
  if constexpr (HP<Pl>) {
    if (only_p) {
      for (UJ i = lo; i < hi; i++) pt[st[byt(ks[i], j)]++] = ps[i];
      return;
    }
  }
  for (UJ i = lo; i < hi; i++) {
    K x = ks[i];
    UJ d = st[byt(x, j)]++;
    kt[d] = x;
    if constexpr (HP<Pl>) pt[d] = ps[i];
  }
}

// The buffer holding the result: the payloads, or the keys of a value sort.
template <class K, class Pl> ZK_INLINE void *res(K *k, Pl *p) {
  if constexpr (HP<Pl>) return p;
  else return k;
}

// ---- serial passes ----
template <class K, class Pl> void *ser(K *k, Pl *p, K *k2, Pl *p2, UJ n, int nb) {
  H8 h;
  memset(h, 0, sizeof(H1) * nb);
  cnt(k, n, nb, h);
  int pl[8], m = 0;
  for (int j = 0; j < nb; j++)
    if (h[j][byt(k[0], j)] != n) pl[m++] = j;
  for (int u = 0; u < m; u++) {
    pfx(h[pl[u]], 0);
    sct(k, k2, p, p2, 0, n, pl[u], h[pl[u]], u == m - 1);
    std::swap(k, k2);
    std::swap(p, p2);
  }
  rdx_how = 1;
  return res(k, p);
}

// ---- parallel passes ----
template <class K, class Pl> struct Pc {
  K *ks, *kt;
  Pl *ps, *pt;  // swapped with the keys after every pass
  UJ n;
  I T, pos, last, nb;
  H1 *h1;
  H8 *h8;
};

template <class K, class Pl> void j_all(void *c, int a) {
  auto *x = (Pc<K, Pl> *)c;
  UJ lo = slo(x->n, x->T, a), hi = slo(x->n, x->T, a + 1);
  memset(x->h8[a], 0, sizeof(H1) * x->nb);
  cnt(x->ks + lo, hi - lo, x->nb, x->h8[a]);
}
template <class K, class Pl> void j_hist(void *c, int a) {
  auto *x = (Pc<K, Pl> *)c;
  memset(x->h1[a], 0, sizeof(H1));
  cnt1(x->ks, slo(x->n, x->T, a), slo(x->n, x->T, a + 1), x->pos, x->h1[a]);
}
template <class K, class Pl> void j_scat(void *c, int a) {
  auto *x = (Pc<K, Pl> *)c;
  sct(x->ks, x->kt, x->ps, x->pt, slo(x->n, x->T, a), slo(x->n, x->T, a + 1), x->pos, x->h1[a],
      x->last);
}

template <class K, class Pl> void *par(K *k, Pl *p, K *k2, Pl *p2, UJ n, int nb, int T) {
  H1 *h1 = (H1 *)malloc(sizeof(H1) * T);
  H8 *h8 = (H8 *)malloc(sizeof(H8) * T);
  if (!h1 || !h8) {
    free(h1);
    free(h8);
    return ser(k, p, k2, p2, n, nb);
  }
  Pc<K, Pl> c{k, k2, p, p2, n, T, 0, 0, nb, h1, h8};
  par_run(T, j_all<K, Pl>, &c);
  int pl[8], m = 0;
  for (int j = 0; j < nb; j++) {
    UJ s = 0;
    for (int a = 0; a < T; a++) s += h8[a][j][byt(k[0], j)];
    if (s != n) pl[m++] = j;
  }
  for (int u = 0; u < m; u++) {
    c.pos = pl[u];
    c.last = u == m - 1;
    // The first pass sees the slices the all-byte sweep counted.
    if (u == 0)
      for (int a = 0; a < T; a++) memcpy(h1[a], h8[a][pl[0]], sizeof(H1));
    else par_run(T, j_hist<K, Pl>, &c);
    pfxT(h1, T, nullptr);
    par_run(T, j_scat<K, Pl>, &c);
    std::swap(c.ks, c.kt);
    std::swap(c.ps, c.pt);
  }
  free(h1);
  free(h8);
  rdx_how = 3;
  return res(c.ks, c.ps);
}

// ---- bucket strategy ----
template <class K, class Pl> struct Bc {
  K *ks, *kt;  // K and K2: keys are scattered from ks into kt
  Pl *ps, *pt;
  UJ n;
  I T, top, m;
  I lo[8];  // the lower varying byte positions, ascending
  H1 *h1;
  UJ st[257];
  U next;  // bucket counter, claimed by relaxed fetch-and-add
};

template <class K, class Pl> void j_mh(void *c, int a) {
  auto *x = (Bc<K, Pl> *)c;
  memset(x->h1[a], 0, sizeof(H1));
  cnt1(x->ks, slo(x->n, x->T, a), slo(x->n, x->T, a + 1), x->top, x->h1[a]);
}
template <class K, class Pl> void j_ms(void *c, int a) {
  auto *x = (Bc<K, Pl> *)c;
  sct(x->ks, x->kt, x->ps, x->pt, slo(x->n, x->T, a), slo(x->n, x->T, a + 1), x->top, x->h1[a],
      false);
}

// One bucket [b, e), in kt/pt on entry and on return: LSD passes on the
// lower positions at which some key differs from the bucket's first.  The
// counts of a byte position do not depend on the order of the keys, so one
// sweep counts every lower position before the passes move them.
template <class K, class Pl> void bsort(Bc<K, Pl> *x, UJ b, UJ e) {
  K *ka = x->kt, *kb = x->ks;
  Pl *pa = x->pt, *pb = x->ps;
  K f = ka[b], d = 0;
  H8 h;
  for (int u = 0; u < x->m; u++) memset(h[x->lo[u]], 0, sizeof(H1));
  for (UJ i = b; i < e; i++) {
    K k = ka[i];
    d |= k ^ f;
    for (int u = 0; u < x->m; u++) h[x->lo[u]][byt(k, x->lo[u])]++;
  }
  int pl[8], m = 0;
  for (int u = 0; u < x->m; u++)
    if (byt(d, x->lo[u])) pl[m++] = x->lo[u];
  for (int u = 0; u < m; u++) {
    pfx(h[pl[u]], b);
    sct(ka, kb, pa, pb, b, e, pl[u], h[pl[u]], u == m - 1);
    std::swap(ka, kb);
    std::swap(pa, pb);
  }
  if constexpr (HP<Pl>) {
    if (pa != x->pt) memcpy(x->pt + b, pa + b, (e - b) * sizeof(Pl));
  } else if (ka != x->kt) {
    memcpy(x->kt + b, ka + b, (e - b) * sizeof(K));
  }
}

template <class K, class Pl> void j_mw(void *c, int) {
  auto *x = (Bc<K, Pl> *)c;
  for (;;) {
    U v = at_add_relaxed(x->next, 1u);
    if (v > 255) return;
    UJ b = x->st[v], e = x->st[v + 1];
    if (e - b >= 2 && x->m) bsort(x, b, e);
  }
}

// Null when the strategy declines (no memory, one varying byte at most at
// position 0, or a bucket above half the items).
template <class K, class Pl> void *bkt(K *k, Pl *p, K *k2, Pl *p2, UJ n, int nb, int T) {
  H1 *h1 = (H1 *)malloc(sizeof(H1) * T);
  if (!h1) return nullptr;
  K mn, mx, d;
  mmo(k, n, &mn, &mx, &d);
  int top = -1;
  for (int j = nb - 1; j >= 0 && top < 0; j--)
    if (byt(d, j)) top = j;
  if (top <= 0) {
    free(h1);
    return nullptr;
  }
  Bc<K, Pl> c{k, k2, p, p2, n, T, top, 0, {}, h1, {}, 0};
  for (int j = 0; j < top; j++)
    if (byt(d, j)) c.lo[c.m++] = j;
  par_run(T, j_mh<K, Pl>, &c);
  pfxT(h1, T, c.st);
  UJ big = 0;
  for (int v = 0; v < 256; v++) big = std::max(big, c.st[v + 1] - c.st[v]);
  if (big > n >> 1) {
    free(h1);
    return nullptr;
  }
  par_run(T, j_ms<K, Pl>, &c);
  par_run(T, j_mw<K, Pl>, &c);
  free(h1);
  rdx_how = 2;
  return res(k2, p2);
}

template <class K, class Pl> void *eng(K *k, Pl *p, K *k2, Pl *p2, UJ n, int nb) {
  if (n <= SER_MAX) return ser(k, p, k2, p2, n, nb);
  int T = par_thread_count();
  if (T < 2) return ser(k, p, k2, p2, n, nb);
  if (void *r = bkt(k, p, k2, p2, n, nb, T)) return r;
  return par(k, p, k2, p2, n, nb, T);
}

// ---- key kinds: item type, key width, significant bytes, the key of an
// item and the item of a key ----
// Signed integers of type T_ in keys K_: the sign bit flipped.
template <class T_, class K_> struct Ki {
  typedef T_ T;
  typedef K_ K;
  typedef std::make_unsigned_t<T> UT;
  static constexpr int NB = sizeof(T);
  static constexpr K S = (K)1 << (8 * sizeof(T) - 1);
  static K key(T v) { return (K)(UT)v ^ S; }
  static T inv(K k) { return (T)(UT)(k ^ S); }
};
template <int KK> struct Kt;
template <> struct Kt<4> : Ki<int8_t, U> {};
template <> struct Kt<5> : Ki<int16_t, U> {};
template <> struct Kt<6> : Ki<int32_t, U> {};
template <> struct Kt<7> : Ki<int64_t, UJ> {};
// Floats as their bits.  key is the one-to-one sort key; gkey the grade
// key, which ties the two zeros and all NaNs (the NaN key lies below -0w).
template <> struct Kt<8> {
  typedef uint64_t T;
  typedef UJ K;
  static constexpr int NB = 8;
  static K key(T b) { return ((b ^ ((UJ)((J)b >> 63) >> 1)) + 0x000FFFFFFFFFFFFEull) ^ (1ull << 63); }
  static K gkey(T b) {
    UJ s = b << 1;
    if (!s) return 0x800FFFFFFFFFFFFEull;
    if (s > 0xFFE0000000000000ull) return 0x0007FFFFFFFFFFFEull;
    return key(b);
  }
  static T inv(K k) {
    UJ s = k + 0x7FF0000000000002ull;
    return s ^ ((UJ)((J)s >> 63) >> 1);
  }
};
template <class Q, bool GR> ZK_INLINE typename Q::K qkey(typename Q::T v) {
  if constexpr (GR && std::is_same_v<Q, Kt<8>>) return Q::gkey(v);
  else return Q::key(v);
}

// Type code to key kind: 0 outside the key table.
int kind(int t) {
  switch (t) {
    case tBYTE: return 4;
    case tSHORT: return 5;
    case tINT: case tDATE: case tTIME: case tMINUTE: case tSECOND: case tMONTH: return 6;
    case tLONG: case tTSTAMP: case tTSPAN: return 7;
    case tFLT: return 8;
  }
  return 0;
}

// Slice job record of the entries.  fl: one in-order flag per task.
template <class Q, class Pl> struct Sj {
  const typename Q::T *x;
  typename Q::K *k;
  Pl *p;
  UJ n;
  I T;
  G fl[64];
  void *r;        // the result's data
  const void *s;  // grade: the payloads to copy; sort: the sorted keys
  typename Q::K off;
};

// rdxk_w / rsk_w: keys (and identity payloads) of a slice, and whether the
// slice is in order.
template <class Q, class Pl, bool GR> void j_key(void *c, int a) {
  auto *s = (Sj<Q, Pl> *)c;
  UJ lo = slo(s->n, s->T, a), hi = slo(s->n, s->T, a + 1);
  typedef typename Q::K K;
  K *k = s->k, prev = lo < hi ? qkey<Q, GR>(s->x[lo]) : 0;
  bool ok = true;
  for (UJ i = lo; i < hi; i++) {
    K v = qkey<Q, GR>(s->x[i]);
    k[i] = v;
    if constexpr (HP<Pl>) s->p[i] = (Pl)i;
    ok &= v >= prev;
    prev = v;
  }
  s->fl[a] = ok;
}
// rdxc_w: a slice of the payloads into the result.
template <class Q, class Pl> void j_cpy(void *c, int a) {
  auto *s = (Sj<Q, Pl> *)c;
  UJ lo = slo(s->n, s->T, a), hi = slo(s->n, s->T, a + 1);
  memcpy((Pl *)s->r + lo, (const Pl *)s->s + lo, (hi - lo) * sizeof(Pl));
}
// rsu_w: a slice of the sorted keys back into items.
template <class Q> void j_out(void *c, int a) {
  auto *s = (Sj<Q, NoP> *)c;
  UJ lo = slo(s->n, s->T, a), hi = slo(s->n, s->T, a + 1);
  auto *r = (typename Q::T *)s->r;
  auto *k = (const typename Q::K *)s->s;
  for (UJ i = lo; i < hi; i++) r[i] = Q::inv(k[i] + s->off);
}

// Keys of all n items on T tasks (T = 1: the calling thread); true when
// they are non-decreasing.
template <class Q, class Pl, bool GR> bool keys(Sj<Q, Pl> &s) {
  if (s.T < 2) {
    j_key<Q, Pl, GR>(&s, 0);
    return s.fl[0];
  }
  par_run(s.T, j_key<Q, Pl, GR>, &s);
  for (int a = 0; a < s.T; a++)
    if (!s.fl[a]) return false;
  for (int j = 1; j < s.T; j++) {
    UJ b = slo(s.n, s.T, j);
    if (b && b < s.n && s.k[b] < s.k[b - 1]) return false;
  }
  return true;
}

template <class K, class Pl> ZK_INLINE Pl *engp(K *k, Pl *p, K *k2, Pl *p2, UJ n, int nb) {
  return (Pl *)eng<K, Pl>(k, p, k2, p2, n, nb);
}

template <class Q, class Pl> V grd(V x, V r, UJ n) {
  typedef typename Q::K K;
  Mark mk;
  K *k = (K *)arena_alloc(n * sizeof(K)), *k2 = (K *)arena_alloc(n * sizeof(K));
  Pl *p = (Pl *)arena_alloc(n * sizeof(Pl)), *p2 = (Pl *)arena_alloc(n * sizeof(Pl));
  if (!k || !k2 || !p || !p2) {
    mk.back();
    mr(r);
    return 0;
  }
  Sj<Q, Pl> s{P<typename Q::T>(x), k, p, n, n > SER_MAX ? par_thread_count() : 1, {}, P(r), 0, 0};
  Pl *o = P<Pl>(r);
  if (keys<Q, Pl, true>(s)) {
    for (UJ i = 0; i < n; i++) o[i] = (Pl)i;
    mk.back();
    return r;
  }
  K off;
  int nb = nrm(k, n, Q::NB, &off);
  s.s = engp(k, p, k2, p2, n, nb);
  if (s.T < 2) memcpy(o, s.s, n * sizeof(Pl));
  else par_run(s.T, j_cpy<Q, Pl>, &s);
  mk.back();
  return r;
}

V same_sorted(V x);

template <class Q> V srt(V x, UJ n) {
  typedef typename Q::K K;
  Mark mk;
  K *k = (K *)arena_alloc(n * sizeof(K)), *k2 = (K *)arena_alloc(n * sizeof(K));
  if (!k || !k2) {
    mk.back();
    return 0;
  }
  Sj<Q, NoP> s{P<typename Q::T>(x), k, nullptr, n, n > SER_MAX ? par_thread_count() : 1, {},
               nullptr, nullptr, 0};
  if (keys<Q, NoP, false>(s)) {
    mk.back();
    return same_sorted(x);
  }
  V r = an((U)n, tp(x));
  int nb = nrm(k, n, Q::NB, &s.off);
  s.r = P(r);
  s.s = eng<K, NoP>(k, nullptr, k2, nullptr, n, nb);
  if (s.T < 2) j_out<Q>(&s, 0);
  else par_run(s.T, j_out<Q>, &s);
  mk.back();
  hd(r)->attr = 1;
  return r;
}

template <class Pl> V grdk(V x, V r, UJ n) {
  switch (kind(tp(x))) {
    case 4: return grd<Kt<4>, Pl>(x, r, n);
    case 5: return grd<Kt<5>, Pl>(x, r, n);
    case 6: return grd<Kt<6>, Pl>(x, r, n);
    case 7: return grd<Kt<7>, Pl>(x, r, n);
    default: return grd<Kt<8>, Pl>(x, r, n);
  }
}

// ---- counting ----
template <class T> struct Vt;
template <> struct Vt<int8_t> { typedef i8x16 V; };
template <> struct Vt<int16_t> { typedef i16x8 V; };
template <> struct Vt<int32_t> { typedef i32x4 V; };
template <> struct Vt<int64_t> { typedef i64x2 V; };

// Minimum, maximum and order of n >= 1 signed items in one pass on vector
// lanes; the previous items are an unaligned load one item back.
template <class T> void mmi(const T *x, UJ n, J *lo, J *hi, bool *ord) {
  typedef typename Vt<T>::V W;
  constexpr UJ L = 16 / sizeof(T);
  T a = x[0], b = x[0];
  bool d = false;
  UJ i = 1;
  if (n > L) {
    W va = vdup<W>(a), vb = va;
    Mask<W> vd = {};
    for (; i + L <= n; i += L) {
      W v = vld<W>(x + i), pv = vld<W>(x + i - 1);
      va = vmin(va, v);
      vb = vmax(vb, v);
      vd |= pv > v;
    }
    for (UJ j = 0; j < L; j++) {
      a = std::min<T>(a, va[j]);
      b = std::max<T>(b, vb[j]);
    }
    d = vany(vd);
  }
  for (; i < n; i++) {
    a = std::min(a, x[i]);
    b = std::max(b, x[i]);
    d |= x[i - 1] > x[i];
  }
  *lo = a;
  *hi = b;
  *ord = !d;
}

// Fewer than about two buckets per item, and at most 0x40000 buckets.  A
// span past 64 bits wraps to a huge unsigned number and fails.
ZK_INLINE bool spanok(J lo, J hi, UJ n) {
  UJ s = (UJ)hi - (UJ)lo;
  return s < 0x40000 && (s + 1) / 2 < n;
}

// The integer value of an item; floats are known integral when read.
template <class T> ZK_INLINE J ival(T v) { return (J)v; }

// Counts of every value lo .. lo+span in the arena, or null (the caller
// rewinds) when the arena cannot supply them or a float is not integral.
template <class T> UJ *bkts(const T *x, UJ n, J lo, UJ span) {
  UJ *b = (UJ *)arena_alloc((span + 1) * sizeof(UJ));
  if (!b) return nullptr;
  memset(b, 0, (span + 1) * sizeof(UJ));
  for (UJ i = 0; i < n; i++) {
    if constexpr (std::is_floating_point_v<T>) {
      if ((F)(J)x[i] != x[i]) return nullptr;
    }
    b[(UJ)ival(x[i]) - (UJ)lo]++;
  }
  return b;
}

template <class Pl> V iota(UJ n, int t) {
  V r = an((U)n, t);
  for (UJ i = 0; i < n; i++) P<Pl>(r)[i] = (Pl)i;
  return r;
}

template <class T, class Pl> V cgrd(const T *x, UJ n, J lo, J hi, int rt) {
  if (!spanok(lo, hi, n)) return 0;
  Mark mk;
  UJ sp = (UJ)hi - (UJ)lo, *b = bkts(x, n, lo, sp);
  if (!b) {
    mk.back();
    return 0;
  }
  UJ run = 0;
  for (UJ k = 0; k <= sp; k++) {
    UJ c = b[k];
    b[k] = run;
    run += c;
  }
  V r = an((U)n, rt);
  Pl *o = P<Pl>(r);
  for (UJ i = 0; i < n; i++) o[b[(UJ)ival(x[i]) - (UJ)lo]++] = (Pl)i;
  mk.back();
  return r;
}

template <class Pl> V cgrdk(V x, UJ n, int rt) {
  J lo, hi;
  bool ord;
  switch (kind(tp(x))) {
    case 4: mmi(P<int8_t>(x), n, &lo, &hi, &ord); return cgrd<int8_t, Pl>(P<int8_t>(x), n, lo, hi, rt);
    case 5: mmi(P<int16_t>(x), n, &lo, &hi, &ord); return cgrd<int16_t, Pl>(P<int16_t>(x), n, lo, hi, rt);
    case 6: mmi(PI(x), n, &lo, &hi, &ord); return cgrd<I, Pl>(PI(x), n, lo, hi, rt);
    case 7: mmi(PL(x), n, &lo, &hi, &ord); return cgrd<J, Pl>(PL(x), n, lo, hi, rt);
  }
  switch (cntrangeF(x, &lo, &hi)) {
    case 0: return 0;
    case 2: return iota<Pl>(n, rt);
  }
  return cgrd<F, Pl>(PF(x), n, lo, hi, rt);
}

// x in order: the sorted attribute (x may be shared, so the byte is stored
// atomically) and one more reference (atomic in shared mode).
V same_sorted(V x) {
  std::atomic_ref<G>(hd(x)->attr).store(1, std::memory_order_relaxed);
  return _r(x);
}

template <class T> V csrt(V x, UJ n, J lo, J hi) {
  if (!spanok(lo, hi, n)) return 0;
  Mark mk;
  UJ sp = (UJ)hi - (UJ)lo, *b = bkts(P<T>(x), n, lo, sp);
  if (!b) {
    mk.back();
    return 0;
  }
  V r = an((U)n, tp(x));
  T *o = P<T>(r);
  for (UJ k = 0, at = 0; k <= sp; k++) {
    std::fill_n(o + at, b[k], (T)(lo + (J)k));
    at += b[k];
  }
  mk.back();
  hd(r)->attr = 1;
  return r;
}

template <class T> V csrti(V x, UJ n) {
  J lo, hi;
  bool ord;
  mmi(P<T>(x), n, &lo, &hi, &ord);
  return ord ? same_sorted(x) : csrt<T>(x, n, lo, hi);
}

}  // namespace

int zknorm8(UJ *keys, UJ n, int b) {
  UJ off;
  return nrm(keys, n, b, &off);
}

I *zkrdx4(U *K, I *P, U *K2, I *P2, UJ n, int nb) { return engp(K, P, K2, P2, n, nb); }
I *zkrdx8(UJ *K, I *P, UJ *K2, I *P2, UJ n, int nb) { return engp(K, P, K2, P2, n, nb); }
U *zkrdxk4(U *K, U *K2, UJ n, int nb) { return (U *)eng<U, NoP>(K, nullptr, K2, nullptr, n, nb); }
UJ *zkrdxk8(UJ *K, UJ *K2, UJ n, int nb) { return (UJ *)eng<UJ, NoP>(K, nullptr, K2, nullptr, n, nb); }

V rdxg(V x) {
  if (!heap(x) || !kind(tp(x))) return 0;
  UJ n = nx(x);
  bool wide = n > rdx_wide;
  V r = an((U)n, wide ? tLONG : tINT);
  if (n < 2) {
    if (n) wide ? (void)(PL(r)[0] = 0) : (void)(PI(r)[0] = 0);
    return r;
  }
  return wide ? grdk<J>(x, r, n) : grdk<I>(x, r, n);
}

V rdxsrt(V x) {
  if (!heap(x)) return 0;
  UJ n = nx(x);
  int kk = kind(tp(x));
  if (!kk || n < 2) return 0;
  switch (kk) {
    case 4: return srt<Kt<4>>(x, n);
    case 5: return srt<Kt<5>>(x, n);
    case 6: return srt<Kt<6>>(x, n);
    case 7: return srt<Kt<7>>(x, n);
    default: return srt<Kt<8>>(x, n);
  }
}

I cntrangeF(V x, J *lo, J *hi) {
  if (!heap(x) || tp(x) != tFLT || nx(x) < 2) return 0;
  F mn, mx;
  int32_t ord, fl;
  simd_frange0_f64(PF(x), nx(x), &mn, &mx, &ord, &fl);
  if (fl) return 0;
  if (ord) return 2;
  if (mn < -9007199254740992.0 || mx > 9007199254740992.0) return 0;
  *lo = (J)mn;
  *hi = (J)mx;
  return (UJ)(*hi - *lo) < 0x40000 ? 1 : 0;
}

V cntgrd(V x) {
  if (!heap(x) || !kind(tp(x)) || nx(x) < 2) return 0;
  UJ n = nx(x);
  return n > rdx_wide ? cgrdk<J>(x, n, tLONG) : cgrdk<I>(x, n, tINT);
}

V cntsrt(V x) {
  if (!heap(x) || !kind(tp(x)) || nx(x) < 2) return 0;
  UJ n = nx(x);
  J lo, hi;
  switch (kind(tp(x))) {
    case 4: return csrti<int8_t>(x, n);
    case 5: return csrti<int16_t>(x, n);
    case 6: return csrti<I>(x, n);
    case 7: return csrti<J>(x, n);
  }
  switch (cntrangeF(x, &lo, &hi)) {
    case 0: return 0;
    case 2: return same_sorted(x);
  }
  return csrt<F>(x, n, lo, hi);
}

V srtUC(V x, I desc) {
  UJ n = nx(x), c[256] = {};
  const G *s = P(x);
  for (UJ i = 0; i < n; i++) c[s[i]]++;
  V r = an((U)n, tCHR);
  G *o = P(r);
  UJ at = 0;
  for (int v = 0; v < 256; v++) {
    int u = desc ? 255 - v : v;
    memset(o + at, u, c[u]);
    at += c[u];
  }
  hd(r)->attr = desc ? 0 : 1;
  mr(x);
  return r;
}

}  // namespace zk
