// rand.cpp: random numbers.  Every thread owns its state (tl.pst, drawn in
// core/value.h): four xoshiro256+ lanes stepped together, their last
// outputs and the index of the next output to hand out.  Nothing here
// locks: a thread only ever touches its own state.
//
// Names: r4 = one step of the four lanes; r1 = one draw (lane 3 of a fresh
// step, the index left at 3); rbk = bulk fill of raw bytes (32 bytes a
// step, the index left at 0); rbp = bounded integer in the product form;
// r01 = float in [0, 1); rfl = n of them (?n, qrf); prng = the builtin
// that reads, restores and seeds the state; rd = roll and deal for the
// verb ?.
//
// The lanes step as two pairs of 64-bit SIMD lanes.  Loops keep the state
// in registers (Rg) and store it back once at the end.
#include <sys/mman.h>
#include <sys/time.h>
#include "core/err.h"
#include "core/simd.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

namespace {

// The state in registers: a pair holds lanes 0-1 (p = 0) or 2-3 (p = 1) of
// one state word; o the outputs of the last step; f set while lane 3 of a
// step that no draw has used yet is waiting (the index at 4).
struct Rg {
  u64x2 s0[2], s1[2], s2[2], s3[2], o[2];
  bool f;
};

ZK_INLINE u64x2 rol45(u64x2 x) { return (x << 45) | (x >> 19); }

ZK_INLINE Rg rgld() {
  const UJ *s = tl.pst.s;
  Rg g;
  for (int p = 0; p < 2; p++) {
    g.s0[p] = vld<u64x2>(s + 2 * p);
    g.s1[p] = vld<u64x2>(s + 4 + 2 * p);
    g.s2[p] = vld<u64x2>(s + 8 + 2 * p);
    g.s3[p] = vld<u64x2>(s + 12 + 2 * p);
    g.o[p] = vld<u64x2>(tl.pst.o + 2 * p);
  }
  g.f = tl.pst.ix > 3;
  return g;
}

ZK_INLINE void rgst(const Rg &g, I ix) {
  UJ *s = tl.pst.s;
  for (int p = 0; p < 2; p++) {
    vst(s + 2 * p, g.s0[p]);
    vst(s + 4 + 2 * p, g.s1[p]);
    vst(s + 8 + 2 * p, g.s2[p]);
    vst(s + 12 + 2 * p, g.s3[p]);
    vst(tl.pst.o + 2 * p, g.o[p]);
  }
  tl.pst.ix = ix;
}

ZK_INLINE void step(Rg &g) {
  for (int p = 0; p < 2; p++) {
    g.o[p] = g.s0[p] + g.s3[p];
    u64x2 t = g.s1[p] << 17;
    g.s2[p] ^= g.s0[p];
    g.s3[p] ^= g.s1[p];
    g.s1[p] ^= g.s2[p];
    g.s0[p] ^= g.s3[p];
    g.s2[p] ^= t;
    g.s3[p] = rol45(g.s3[p]);
  }
}

// One draw from a state that a loop holds, as r1 takes it: lane 3 of a
// fresh step (after the first draw the index is at 3, so every draw steps).
ZK_INLINE UJ gdr(Rg &g) {
  if (ZK_UNLIKELY(g.f)) g.f = false;
  else step(g);
  return g.o[1][1];
}

ZK_INLINE UJ prod(UJ m, UJ d) { return (m * (d & 0xffffffffu)) >> 32; }

// Bulk fill of b bytes at d (a multiple of 32 is written: the caller's
// block has room for it).
void rbkg(Rg &g, void *d, UJ b) {
  G *q = (G *)d;
  for (UJ i = 0; i < b; i += 32) {
    step(g);
    vst(q + i, g.o[0]);
    vst(q + i + 16, g.o[1]);
  }
}

}  // namespace

void r4() {
  Rg g = rgld();
  step(g);
  rgst(g, 4);
}

UJ r1() {
  Rst &r = tl.pst;
  if (r.ix <= 3) r4();
  return r.o[--r.ix];
}

void rbk(void *d, UJ b) {
  Rg g = rgld();
  rbkg(g, d, b);
  rgst(g, 0);
}

UJ rbp(UJ m) { return prod(m, r1()); }

// A draw as a float in [0, 1): its low 52 bits as the fraction of a
// number in [1, 2), less one.
ZK_INLINE F u01(UJ r) {
  UJ b = (r & 0xfffffffffffffull) | 0x3ff0000000000000ull;
  F d;
  memcpy(&d, &b, 8);
  return d - 1.0;
}

F r01() { return u01(r1()); }

V rfl(J n) {
  if (n < 0) return ed0();
  if ((UJ)n > 0xffffffffull) return ez0();
  V r = an((U)n, tFLT);
  if (!n) return r;
  Rg g = rgld();
  F *d = PF(r);
  for (J i = 0; i < n; i++) d[i] = u01(gdr(g));
  rgst(g, 3);
  return r;
}

V qrf(V x) {
  J n = gl(x);
  return rfl(n);
}

// ---- prng ----

static V rdst() {
  V r = aL(16);
  memcpy(P(r), tl.pst.s, 128);
  return r;
}

static void rset(const UJ *w) {
  memcpy(tl.pst.s, w, 128);
  tl.pst.ix = 0;
}

V prng(V x) {
  int t = tp(x);
  if (t == tMONAD) return mr(x), rdst();
  if (t == tINTA || t == tLONGA) {
    UJ s = (UJ)gl(x), w[16];
    if (!s) {
      timeval tv;
      gettimeofday(&tv, 0);
      s = (UJ)tv.tv_sec * 1000000u + (UJ)tv.tv_usec;
    }
    for (int i = 0; i < 16; i++) w[i] = s = s * 0x5851f42d4c957f2dull + 0x14057b7ef767814full;
    rset(w);
    return GNULL;
  }
  // A restore vector: longs, or bytes, shorts, ints or a range widened.
  if (t == tRANGE || (t >= tBYTE && t <= tLONG)) {
    if (_n(x) != 16) return el(x);
    UJ w[16];
    for (int i = 0; i < 16; i++) w[i] = (UJ)iti(x, t, i);
    mr(x);
    rset(w);
    return GNULL;
  }
  return et(x);
}

// ---- roll and deal ----

// Raw bits masked with m (a range that is a power of two), and bounded
// draws below n up to 2^31, in the result's own width.
template <class T> static void msk(T *a, UJ c, UJ m) {
  for (UJ i = 0; i < c; i++) a[i] &= (T)m;
}
template <class T> static void rlb(T *a, UJ c, UJ n, Rg &g) {
  for (UJ i = 0; i < c; i++) a[i] = (T)prod(n, gdr(g));
}

// Roll: c items of 0..n-1 with repetition (n = 0: raw longs).
static V roll(UJ c, J n) {
  if (!n) {
    V r = aL((U)c);
    rbk(P(r), c * 8);
    return r;
  }
  UJ m = (UJ)n - 1;
  int t = tZ((J)m);
  V r = an((U)c, t);
  if (!(n & m)) {  // a power of two: raw bits masked
    rbk(P(r), dbytes(c, t));
    switch (t) {
      case tBYTE: msk(P<uint8_t>(r), c, m); break;
      case tSHORT: msk(P<uint16_t>(r), c, m); break;
      case tINT: msk(P<U>(r), c, m); break;
      default: msk(P<UJ>(r), c, m);
    }
    return r;
  }
  if (!c) return r;
  Rg g = rgld();
  switch (t) {
    case tBYTE: rlb(P<int8_t>(r), c, n, g); break;
    case tSHORT: rlb(P<int16_t>(r), c, n, g); break;
    case tINT: rlb(PI(r), c, n, g); break;
    default:
      for (UJ i = 0; i < c; i++) PL(r)[i] = (J)(gdr(g) % (UJ)n);
  }
  rgst(g, 3);
  return r;
}

// Position i + a bounded integer below the remaining range n - i: the
// product form while that range fits 32 bits, else the modulo form.
ZK_INLINE UJ pick(Rg &g, UJ i, UJ n) {
  UJ m = n - i, d = gdr(g);
  return i + (m >> 32 ? d % m : prod(m, d));
}

// The swap partners of a deal depend on the draws alone, never on the data,
// so they are drawn PD positions ahead (in the same order, so the state
// ends the same) and the memory they will touch is fetched meanwhile: a
// deal from a large range is then bound by bandwidth, not by latency.
enum : UJ { PD = 16 };
struct Pq {
  Rg g;
  UJ n, k, j[PD];
};

template <class F> ZK_INLINE void pqrun(Pq &q, F &&touch, UJ i) {
  UJ a = i + PD;
  if (a < q.k) {
    UJ j = pick(q.g, a, q.n);
    q.j[a % PD] = j;
    touch(j);
  }
}

template <class F> ZK_INLINE void pqfill(Pq &q, F &&touch) {
  for (UJ a = 0; a < PD && a < q.k; a++) {
    q.j[a] = pick(q.g, a, q.n);
    touch(q.j[a]);
  }
}

// Dense deal: the whole range shuffled in its narrowest type, the first k kept.
template <class T> static void dsh(T *a, UJ k, UJ n) {
  for (UJ i = 0; i < n; i++) a[i] = (T)i;
  if (!k) return;
  Pq q;
  q.g = rgld(), q.n = n, q.k = k;
  auto touch = [&](UJ j) { __builtin_prefetch(a + j, 1); };
  pqfill(q, touch);
  for (UJ i = 0; i < k; i++) {
    UJ j = q.j[i % PD];
    pqrun(q, touch, i);
    T v = a[i];
    a[i] = a[j];
    a[j] = v;
  }
  rgst(q.g, 3);
}

static V dense(UJ k, UJ n) {
  int t = tZ((J)n);
  V r = an((U)n, t);
  switch (t) {
    case tBYTE: dsh(P<int8_t>(r), k, n); break;
    case tSHORT: dsh(P<int16_t>(r), k, n); break;
    default: dsh(PI(r), k, n);
  }
  return rsz((J)k, r);
}

// Zeroed memory for the sparse table; large tables are mapped (zero pages
// on demand) and asked for huge pages, as their probes land anywhere.
static UJ *tbl(UJ b) {
  if (b < (2ull << 20)) {
    UJ *h = (UJ *)calloc(b, 1);
    if (!h) die("OOM");
    return h;
  }
  void *h = mmap(0, b, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (h == MAP_FAILED) die("OOM");
  madvise(h, b, MADV_HUGEPAGE);
  return (UJ *)h;
}
static void tblfree(UJ *h, UJ b) {
  if (b < (2ull << 20)) free(h);
  else munmap(h, b);
}

// Sparse deal: positions below k live in the result, the displaced ones
// above it in an open-addressed table of (key, value) pairs, so memory
// follows k and not n.  Keys are positions >= k >= 1: 0 marks a free pair.
static V sparse(UJ k, UJ n) {
  if (!k) return ct(tZ((J)n), aL(0));
  int b = 64 - __builtin_clzll(k);
  UJ np = 2ull << b, mk = np - 1, tb = np * 16;
  UJ *h = tbl(tb);
  V r = aL((U)k);
  J *a = PL(r);
  for (UJ i = 0; i < k; i++) a[i] = (J)i;
  Pq q;
  q.g = rgld(), q.n = n, q.k = k;
  auto touch = [&](UJ j) { __builtin_prefetch(j < k ? (const void *)(a + j) : (const void *)(h + 2 * (j & mk)), 1); };
  pqfill(q, touch);
  for (UJ i = 0; i < k; i++) {
    UJ j = q.j[i % PD];
    pqrun(q, touch, i);
    if (j < k) {
      J v = a[i];
      a[i] = a[j];
      a[j] = v;
      continue;
    }
    UJ s = j & mk;
    while (h[2 * s] && h[2 * s] != j) s = (s + 1) & mk;
    if (!h[2 * s]) {
      h[2 * s] = j;
      h[2 * s + 1] = (UJ)a[i];
      a[i] = (J)j;
    } else {
      J v = a[i];
      a[i] = (J)h[2 * s + 1];
      h[2 * s + 1] = (UJ)v;
    }
  }
  rgst(q.g, 3);
  tblfree(h, tb);
  return ct(tZ((J)n), r);
}

V rd(J c, J n) {
  const UJ L = 0xffffffffull;
  if (n < 0) {
    if (c < 0) return ed0();
    if ((UJ)c > L) return ez0();
    int t = tZ(n);
    V r = an((U)c, t);
    rbk(P(r), dbytes((UJ)c, t));
    return r;
  }
  if (c == NJ) c = -n;
  if ((c < 0 ? 0 - (UJ)c : (UJ)c) > L) return ez0();
  if (c >= 0) return roll((UJ)c, n);
  UJ k = 0 - (UJ)c;
  if (k > (UJ)n) return el0();
  if (n < (J)1 << 31 && (UJ)n / 16 < k + 64) return dense(k, (UJ)n);
  return sparse(k, (UJ)n);
}

}  // namespace zk
