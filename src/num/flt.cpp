// flt.cpp: float element-wise kernels and the parallel element-wise runner
// (names and ownership in flt.h).
//
// All arithmetic is plain IEEE double arithmetic: NaN (the float null)
// propagates and the infinities combine by the IEEE rules; no kernel tests
// for nulls.  Every kernel computes item i from items i alone, with the
// same instruction whichever vector step or scalar tail reaches it (the
// tail goes through the vector code on a broadcast pair), so a result
// never depends on where a worker's run starts or ends.
//
// The float order of < > & |: every NaN is one value below -0w and the two
// zeros are one value.  The kernels here give exactly what comparing the
// order keys gives, without making the keys: a < b is IEEE a < b, or a NaN
// while b is not; a minimum or maximum is the IEEE winner with a zero made
// +0.0 and any NaN made the canonical 0x7FF8000000000000.
#include "num/flt.h"

#include <algorithm>
#include <type_traits>

#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "num/simdf.h"

namespace zk {

namespace {

// ---- vector helpers ----
ZK_INLINE f64x2 ld(const F *p) { return vld<f64x2>(p); }
ZK_INLINE f64x2 dup(F x) { return vdup<f64x2>(x); }
ZK_INLINE i64x2 nan2(f64x2 v) { return visnan(v); }
ZK_INLINE f64x2 qnan() { return (f64x2)vdup<i64x2>(0x7FF8000000000000ll); }
ZK_INLINE bool negz(F x) {
  UJ b;
  memcpy(&b, &x, 8);
  return b == 0x8000000000000000ull;
}

// Doubles to doubles, one input array: eight items a step, then pairs,
// then the odd last item through the same vector code.
template <class Op> ZK_INLINE void f1(const F *s, F *d, UJ n, Op op) {
  UJ i = 0;
  for (; i + 8 <= n; i += 8) {
    f64x2 a0 = ld(s + i), a1 = ld(s + i + 2), a2 = ld(s + i + 4), a3 = ld(s + i + 6);
    vst(d + i, op(a0));
    vst(d + i + 2, op(a1));
    vst(d + i + 4, op(a2));
    vst(d + i + 6, op(a3));
  }
  for (; i + 2 <= n; i += 2) vst(d + i, op(ld(s + i)));
  if (i < n) d[i] = op(dup(s[i]))[0];
}

// Doubles to doubles, two input arrays.
template <class Op> ZK_INLINE void f2(const F *a, const F *b, F *d, UJ n, Op op) {
  UJ i = 0;
  for (; i + 8 <= n; i += 8) {
    f64x2 a0 = ld(a + i), a1 = ld(a + i + 2), a2 = ld(a + i + 4), a3 = ld(a + i + 6);
    f64x2 b0 = ld(b + i), b1 = ld(b + i + 2), b2 = ld(b + i + 4), b3 = ld(b + i + 6);
    vst(d + i, op(a0, b0));
    vst(d + i + 2, op(a1, b1));
    vst(d + i + 4, op(a2, b2));
    vst(d + i + 6, op(a3, b3));
  }
  for (; i + 2 <= n; i += 2) vst(d + i, op(ld(a + i), ld(b + i)));
  if (i < n) d[i] = op(dup(a[i]), dup(b[i]))[0];
}

ZK_INLINE bool olap(const void *a, UJ na, const void *b, UJ nb) {
  uintptr_t p = (uintptr_t)a, q = (uintptr_t)b;
  return na && nb && p < q + nb && q < p + na;
}

// Doubles to bytes by a lane-mask test c(a[i], b[i]) (TWO) or c(a[i], -):
// sixteen items a step, then one at a time; one at a time throughout when
// the bytes would overwrite items not yet read.
template <bool TWO, class Cmp> ZK_INLINE void g2(const F *a, const F *b, G *d, UJ n, Cmp c) {
  auto lb = [b](UJ i) { return TWO ? ld(b + i) : dup(0); };
  UJ i = 0;
  if (!olap(a, 8 * n, d, n) && !(TWO && olap(b, 8 * n, d, n)))
    for (; i + 16 <= n; i += 16) {
      i64x2 m[8];
      for (int k = 0; k < 8; k++) m[k] = c(ld(a + i + 2 * k), lb(i + 2 * k));
      vstb(d + i, m);
    }
  for (; i < n; i++) d[i] = (G)(c(dup(a[i]), TWO ? dup(b[i]) : dup(0))[0] & 1);
}

// ---- the order rule ----
ZK_INLINE i64x2 lto(f64x2 a, f64x2 b) { return (a < b) | vandn(nan2(a), nan2(b)); }
ZK_INLINE f64x2 mno(f64x2 a, f64x2 b) {
  f64x2 r = vsel<f64x2>((a < b) | nan2(a), a, b) + 0.0;  // + 0.0: -0.0 becomes 0.0
  return vsel<f64x2>(nan2(r), qnan(), r);
}
ZK_INLINE f64x2 mxo(f64x2 a, f64x2 b) {
  f64x2 r = vsel<f64x2>((a > b) | nan2(b), a, b) + 0.0;
  return vsel<f64x2>(nan2(r), qnan(), r);
}
ZK_INLINE i64x2 eqf(f64x2 a, f64x2 b) { return (a == b) | (nan2(a) & nan2(b)); }

// x - v[i] with the item count of a worker's run.
void subs(const F *s, F *d, UJ n, F x) {
  f64x2 X = dup(x);
  f1(s, d, n, [X](f64x2 v) { return X - v; });
}

// ---- the driver's end of a job ----
void post(pew_job &j) { par_run(j.nworkers, pew_w, &j); }

// A job of `kind` over n items in granules of 32 on w workers.
ZK_INLINE void job0(pew_job &j, int kind, U n, int w) {
  memset((void *)&j, 0, sizeof j);
  j.kind = kind;
  j.nitems = n;
  j.granule = 32;
  j.nworkers = w;
}

I orflags(const pew_job &j) {
  I f = 0;
  for (int k = 0; k < j.nworkers; k++) f |= j.flags[k];
  return f;
}

// A consumed float vector as its own destination when unshared, else a
// new float vector of its count; fin releases the argument when it was not
// reused.
ZK_INLINE V fdst(V y) {
  Hdr *h = hd(y);
  if (h->rc == 1) {
    h->attr = 0;
    return y;
  }
  return an(h->count, tFLT);
}
ZK_INLINE V fin(V r, V y) {
  if (r != y) mr(y);
  return r;
}

}  // namespace

// ---- runner ----
int pew_t(UJ n) {
  if (n <= PEW_SERIAL) return 1;
  UJ t = (UJ)par_thread_count();  // ZELKO_THREADS, else the processors (4 when unknown)
  return (int)std::min<UJ>({t, n >> PEW_SHIFT, (UJ)PL_MAX});
}

void pew_w(void *job, int i) {
  const pew_job &j = *(const pew_job *)job;
  UJ n = j.nitems, gr = j.granule ? j.granule : 1, w = j.nworkers > 0 ? (UJ)j.nworkers : 1;
  UJ g = (n + gr - 1) / gr;
  UJ s = gr * ((UJ)i * g / w), e = std::min(n, gr * (((UJ)i + 1) * g / w));
  if (e <= s) return;
  UJ m = e - s;
  const G *a = (const G *)j.src1, *b = (const G *)j.src2;
  G *d = (G *)j.dst;
  switch (j.kind) {
    case 0:
      if (j.g3_) j.kernel.g3(a + s * j.size1, b + s * j.size2, d + s * j.size_dst, m);
      else j.kernel.k3(a + s * j.size1, b + s * j.size2, d + s * j.size_dst, m);
      break;
    case 1: j.kernel.k1((J)j.scalar, a + s * j.size1, d + s * j.size_dst, m); break;
    case 2: j.kernel.kf((const F *)a + s, (F *)d + s, m, j.fscalar); break;
    case 3:
      simd_cmpv_f64((const F *)a + s, (const F *)b + s, d + s, m, (I)(U)j.scalar,
                    (int32_t *)&j.flags[i]);
      break;
    case 4:
      simd_cmps_f64((const F *)a + s, d + s, m, (I)(U)j.scalar, (int32_t *)&j.flags[i], j.fscalar);
      break;
    case 5: subs((const F *)a + s, (F *)d + s, m, j.fscalar); break;
    case 6: j.kernel.kg((const F *)a + s, d + s, m, j.fscalar); break;
    default: break;
  }
}

// Both kernel forms of kind 0 share one driver; a byte-result kernel is
// marked so the workers call it through kernel.g3.
namespace {
template <class K, class D>
void pk3t(K kernel, const void *src1, const void *src2, D *dst, U nitems, U granule, U size1,
          U size2, U size_dst, UJ n) {
  int w = pew_t(n);
  // Items narrower in the destination than in a source: a worker's results
  // would land on a neighbour's unread items.
  if (w > 1 && ((size_dst != size1 && olap(dst, (UJ)nitems * size_dst, src1, (UJ)nitems * size1)) ||
                (size_dst != size2 && olap(dst, (UJ)nitems * size_dst, src2, (UJ)nitems * size2))))
    w = 1;
  if (w <= 1) return kernel(src1, src2, dst, nitems);
  pew_job j;
  job0(j, 0, nitems, w);
  if constexpr (std::is_same_v<K, k3g>) {
    j.kernel.g3 = kernel;
    j.g3_ = 1;
  } else {
    j.kernel.k3 = kernel;
  }
  j.src1 = src1, j.src2 = src2, j.dst = dst;
  j.granule = granule, j.size1 = size1, j.size2 = size2, j.size_dst = size_dst;
  post(j);
}
}  // namespace

void pk3(k3f kernel, const void *src1, const void *src2, void *dst, U nitems, U granule, U size1,
         U size2, U size_dst, UJ n) {
  pk3t(kernel, src1, src2, dst, nitems, granule, size1, size2, size_dst, n);
}

void pk3(k3g kernel, const void *src1, const void *src2, G *dst, U nitems, U granule, U size1,
         U size2, U size_dst, UJ n) {
  pk3t(kernel, src1, src2, dst, nitems, granule, size1, size2, size_dst, n);
}

void pk1(k1f kernel, J a, const void *src, G *dst, U n, U size1) {
  int w = pew_t(n);
  if (w > 1 && size1 != 1 && olap(dst, n, src, (UJ)n * size1)) w = 1;
  if (w <= 1) return kernel(a, src, dst, n);
  pew_job j;
  job0(j, 1, n, w);
  j.kernel.k1 = kernel;
  j.scalar = (UJ)a;
  j.src1 = src, j.dst = dst;
  j.size1 = size1, j.size_dst = 1;
  post(j);
}

void pkf(kff kernel, const F *src, F *dst, U n, F x) {
  int w = pew_t(n);
  if (w <= 1) return kernel(src, dst, n, x);
  pew_job j;
  job0(j, 2, n, w);
  j.kernel.kf = kernel;
  j.src1 = src, j.dst = dst, j.fscalar = x;
  post(j);
}

void psubs(const F *src, F *dst, U n, F x) {
  int w = pew_t(n);
  if (w <= 1) return subs(src, dst, n, x);
  pew_job j;
  job0(j, 5, n, w);
  j.src1 = src, j.dst = dst, j.fscalar = x;
  post(j);
}

void pkg(kfg kernel, const F *src, G *dst, U n, F x) {
  int w = pew_t(n);
  if (w <= 1 || olap(src, 8ull * n, dst, n)) return kernel(src, dst, n, x);
  pew_job j;
  job0(j, 6, n, w);
  j.kernel.kg = kernel;
  j.src1 = src, j.dst = dst, j.fscalar = x;
  post(j);
}

void pkfg(const F *v, G *out, U n, F x) { pkg(eqsvk, v, out, n, x); }

void pcmpv(const F *a, const F *b, G *out, U n, I greater, I *flag) {
  int w = pew_t(n);
  if (w <= 1 || olap(a, 8ull * n, out, n) || olap(b, 8ull * n, out, n))
    return simd_cmpv_f64(a, b, out, n, greater != 0, (int32_t *)flag);
  pew_job j;
  job0(j, 3, n, w);
  j.src1 = a, j.src2 = b, j.dst = out, j.scalar = (U)(greater != 0);
  post(j);
  *flag = orflags(j);
}

void pcmps(const F *v, G *out, U n, I greater, I *flag, F x) {
  int w = pew_t(n);
  if (w <= 1 || olap(v, 8ull * n, out, n))
    return simd_cmps_f64(v, out, n, greater != 0, (int32_t *)flag, x);
  pew_job j;
  job0(j, 4, n, w);
  j.src1 = v, j.dst = out, j.scalar = (U)(greater != 0), j.fscalar = x;
  post(j);
  // A worker whose run is empty leaves its slot 0, so the atom's own
  // suspicion is added here too.
  *flag = orflags(j) | (x != x) | negz(x);
}

// ---- scalar kernels ----
void fzadd(const F *src, F *dst, UJ n, F x) {
  f64x2 X = dup(x);
  f1(src, dst, n, [X](f64x2 v) { return v + X; });
}
void fzmul(const F *src, F *dst, UJ n, F x) {
  f64x2 X = dup(x);
  f1(src, dst, n, [X](f64x2 v) { return v * X; });
}
void fzdvl(const F *src, F *dst, UJ n, F x) {
  f64x2 X = dup(x);
  f1(src, dst, n, [X](f64x2 v) { return X / v; });
}
void fzdvr(const F *src, F *dst, UJ n, F x) {
  f64x2 X = dup(x);
  f1(src, dst, n, [X](f64x2 v) { return v / X; });
}

// ---- block kernels ----
void aFF(const void *a, const void *b, void *out, UJ blocks) {
  simd_add_f64((const F *)a, (const F *)b, (F *)out, 4 * blocks);
}
void sFF(const void *a, const void *b, void *out, UJ blocks) {
  simd_sub_f64((const F *)a, (const F *)b, (F *)out, 4 * blocks);
}
void mFF(const void *a, const void *b, void *out, UJ blocks) {
  simd_mul_f64((const F *)a, (const F *)b, (F *)out, 4 * blocks);
}
void dFF(const void *a, const void *b, void *out, UJ blocks) {
  simd_div_f64((const F *)a, (const F *)b, (F *)out, 4 * blocks);
}
const k3f ff_k[4] = {aFF, sFF, mFF, dFF};

// ---- comparisons into bytes ----
void eqvvk(const void *a, const void *b, void *out, UJ n) {
  g2<true>((const F *)a, (const F *)b, (G *)out, n, [](f64x2 p, f64x2 q) { return eqf(p, q); });
}
void eqsvk(const F *a, G *out, UJ n, F x) {
  f64x2 X = dup(x);
  if (x != x) g2<false>(a, nullptr, out, n, [](f64x2 v, f64x2) { return nan2(v); });
  else g2<false>(a, nullptr, out, n, [X](f64x2 v, f64x2) { return (i64x2)(v == X); });
}
void ltoFF(const void *a, const void *b, void *out, UJ n) {
  g2<true>((const F *)a, (const F *)b, (G *)out, n, [](f64x2 p, f64x2 q) { return lto(p, q); });
}
void gtoFF(const void *a, const void *b, void *out, UJ n) {
  g2<true>((const F *)a, (const F *)b, (G *)out, n, [](f64x2 p, f64x2 q) { return lto(q, p); });
}
void ltoFf(const F *v, G *out, UJ n, F x) {
  f64x2 X = dup(x);
  g2<false>(v, nullptr, out, n, [X](f64x2 p, f64x2) { return lto(p, X); });
}
void gtoFf(const F *v, G *out, UJ n, F x) {
  f64x2 X = dup(x);
  g2<false>(v, nullptr, out, n, [X](f64x2 p, f64x2) { return lto(X, p); });
}

// ---- order minimum and maximum ----
void mnoFF(const void *a, const void *b, void *out, UJ n) {
  f2((const F *)a, (const F *)b, (F *)out, n, [](f64x2 p, f64x2 q) { return mno(p, q); });
}
void mxoFF(const void *a, const void *b, void *out, UJ n) {
  f2((const F *)a, (const F *)b, (F *)out, n, [](f64x2 p, f64x2 q) { return mxo(p, q); });
}
void mnoFf(const F *v, F *out, UJ n, F x) {
  f64x2 X = dup(x);
  f1(v, out, n, [X](f64x2 p) { return mno(p, X); });
}
void mxoFf(const F *v, F *out, UJ n, F x) {
  f64x2 X = dup(x);
  f1(v, out, n, [X](f64x2 p) { return mxo(p, X); });
}

// ---- value level ----
V addfF(V y, F x) {
  V r = fdst(y);
  pkf(fzadd, PF(y), PF(r), nx(y), x);
  return fin(r, y);
}

V mulfF(V y, F x) {
  V r = fdst(y);
  pkf(fzmul, PF(y), PF(r), nx(y), x);
  return fin(r, y);
}

V subfF(V y, F x) {
  V r = fdst(y);
  psubs(PF(y), PF(r), nx(y), x);
  return fin(r, y);
}

V dvdfF(V y, F x) {
  V r = fdst(y);
  pkf(fzdvl, PF(y), PF(r), nx(y), x);
  return fin(r, y);
}

V subFf(V x, F y) {
  V r = an(nx(x), tFLT);
  pkf(fzadd, PF(x), PF(r), nx(x), -y);
  return r;
}

V dvdFf(V x, F y) {
  V r = an(nx(x), tFLT);
  pkf(fzdvr, PF(x), PF(r), nx(x), y);
  return r;
}

// The item kernels behind ff_k, for the last n mod 4 items.
void (*const ff_s[4])(const F *, const F *, F *, UJ) = {simd_add_f64, simd_sub_f64, simd_mul_f64,
                                                        simd_div_f64};

// Whole blocks of four go to the job; the last n mod 4 items are done here
// by the same kernel, so nothing is read or written past the count.
V amdFF(V x, V y, I op) {
  U n = nx(x);
  if (n != nx(y)) return el(y);
  V r = fdst(y);
  const F *a = PF(x), *b = PF(y);
  F *d = PF(r);
  U q = n >> 2, o = q << 2;
  pk3(ff_k[op - 1], a, b, d, q, 8, 32, 32, 32, n);
  if (o < n) ff_s[op - 1](a + o, b + o, d + o, n - o);
  return fin(r, y);
}

V mmmFF(V x, V y, I op) {
  U n = nx(x);
  if (n != nx(y)) return el(y);
  V r = fdst(y);
  pk3(op == 6 ? mnoFF : mxoFF, PF(x), PF(y), PF(r), n, 32, 8, 8, 8, n);
  return fin(r, y);
}

V mmmfF(F a, V y, I op) {
  V r = fdst(y);
  pkf(op == 6 ? mnoFf : mxoFf, PF(y), PF(r), nx(y), a);
  return fin(r, y);
}

// Above 1,999,999 items < and > try the plain IEEE comparison first, which
// reports any NaN or -0.0; only then do the bytes need the order rule.
V cmpFF(V x, V y, I op) {
  U n = nx(x);
  if (n != nx(y)) return el(y);
  V r = an(n, tBYTE);
  const F *a = PF(x), *b = PF(y);
  G *d = P(r);
  if (op == 10) pk3(eqvvk, a, b, d, n, 32, 8, 8, 1, n);
  else {
    I flag = 1;
    if (n > 1999999) pcmpv(a, b, d, n, op == 9, &flag);
    if (flag) pk3(op == 8 ? ltoFF : gtoFF, a, b, d, n, 32, 8, 8, 1, n);
  }
  mr(y);
  return r;
}

V cmpfF(F a, V y, I op) {
  U n = nx(y);
  V r = an(n, tBYTE);
  const F *v = PF(y);
  G *d = P(r);
  if (op == 10) pkfg(v, d, n, a);
  else {
    // a < y[i] is y[i] > a
    I flag = 1;
    if (n > 1999999) pcmps(v, d, n, op == 8, &flag, a);
    if (flag) pkg(op == 8 ? gtoFf : ltoFf, v, d, n, a);
  }
  mr(y);
  return r;
}

}  // namespace zk
