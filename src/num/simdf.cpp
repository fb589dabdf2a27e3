// simdf.cpp: vector kernels on doubles and the blocked parallel float
// reductions (see simdf.h for names and contracts).
//
// Float sum order (simd_sum_f64; simd_dot_f64 with x[i]*y[i], each product
// rounded before it is added).  Every float sum of the engine reproduces it,
// so it is fixed here lane by lane, independent of the vector width:
//   1. four two-lane accumulators A0..A3 start at +0.0;
//   2. for each whole group of 8 items from i: A0 += (x[i], x[i+1]),
//      A1 += (x[i+2], x[i+3]), A2 += (x[i+4], x[i+5]), A3 += (x[i+6], x[i+7]);
//   3. S = A2 + A3;
//   4. the up to three remaining whole pairs are added to A0;
//   5. V = (A1 + A0) + S; result = V[1] + V[0], plus the last item when n
//      is odd.
// Which NaN payload survives an operation on two NaNs is the hardware's
// choice; a single NaN propagates with its payload (quieted).
//
// Minimum and maximum do not use the min/max instructions, whose NaN and
// signed-zero rules differ: an item replaces a lane only when it compares
// strictly smaller (greater), so NaNs never win and among equal values
// (0.0 and -0.0) the first in scan order stays.
#include "num/simdf.h"

#include <atomic>
#include <cstdlib>

#include "core/pool.h"
#include "core/simd.h"

namespace zk {

namespace {

// ---- element-wise ----
template <class Op>
__attribute__((always_inline)) inline void ew(const double *a, const double *b, double *d,
                                              uint64_t n, Op op) {
  uint64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    f64x2 a0 = vld<f64x2>(a + i), a1 = vld<f64x2>(a + i + 2);
    f64x2 b0 = vld<f64x2>(b + i), b1 = vld<f64x2>(b + i + 2);
    vst(d + i, op(a0, b0));
    vst(d + i + 2, op(a1, b1));
  }
  if (i + 2 <= n) {
    vst(d + i, op(vld<f64x2>(a + i), vld<f64x2>(b + i)));
    i += 2;
  }
  if (i < n) d[i] = op(a[i], b[i]);
}

// ---- the fixed sum order, split so that a stream of items can be fed in
// whole groups of 8 and finished with the last fewer-than-8 ----
struct Acc {
  f64x2 a0, a1, a2, a3;
};

template <bool DOT>
__attribute__((always_inline)) inline f64x2 it2(const double *x, const double *y, uint64_t i) {
  if constexpr (DOT) return vld<f64x2>(x + i) * vld<f64x2>(y + i);
  else return vld<f64x2>(x + i);
}

// Step 2 over g whole groups of 8 items.
template <bool DOT> void sum8(Acc &A, const double *x, const double *y, uint64_t g) {
  f64x2 a0 = A.a0, a1 = A.a1, a2 = A.a2, a3 = A.a3;
  for (uint64_t k = 0, i = 0; k < g; k++, i += 8) {
    a0 += it2<DOT>(x, y, i);
    a1 += it2<DOT>(x, y, i + 2);
    a2 += it2<DOT>(x, y, i + 4);
    a3 += it2<DOT>(x, y, i + 6);
  }
  A = {a0, a1, a2, a3};
}

// Steps 3 to 5 over the last r < 8 items.
template <bool DOT> double sumfin(const Acc &A, const double *x, const double *y, uint64_t r) {
  f64x2 S = A.a2 + A.a3, a0 = A.a0;
  uint64_t i = 0;
  for (; i + 2 <= r; i += 2) a0 += it2<DOT>(x, y, i);
  f64x2 V = (A.a1 + a0) + S;
  double s = V[1] + V[0];
  if (r & 1) s += DOT ? x[i] * y[i] : x[i];
  return s;
}

template <bool DOT> double sumk(const double *x, const double *y, uint64_t n) {
  Acc A = {};
  sum8<DOT>(A, x, y, n >> 3);
  uint64_t o = n & ~(uint64_t)7;
  return sumfin<DOT>(A, x + o, DOT ? y + o : y, n & 7);
}

// ---- minimum and maximum ----
template <bool MX> __attribute__((always_inline)) inline bool beats(double v, double r) {
  return MX ? v > r : v < r;
}

template <bool MX> double mmk(const double *x, uint64_t n, int32_t *rep) {
  if (!n) {
    *rep = 1;
    return __builtin_nan("");
  }
  f64x2 acc[8];
  for (int j = 0; j < 8; j++) acc[j] = vdup<f64x2>(x[0]);
  i64x2 bad = {};
  uint64_t i = 0;
  for (; i + 16 <= n; i += 16)
    for (int j = 0; j < 8; j++) {
      f64x2 v = vld<f64x2>(x + i + 2 * j);
      acc[j] = vsel<f64x2>(MX ? v > acc[j] : v < acc[j], v, acc[j]);
      bad |= visnan(v);
    }
  double r = acc[0][0];
  for (int j = 0; j < 8; j++)
    for (int k = 0; k < 2; k++)
      if (beats<MX>(acc[j][k], r)) r = acc[j][k];
  int32_t nan = vany(bad);
  for (; i < n; i++) {
    if (beats<MX>(x[i], r)) r = x[i];
    nan |= x[i] != x[i];
  }
  *rep = nan;
  return r;
}

// ---- comparisons into bytes ----
__attribute__((always_inline)) inline i64x2 suspect(f64x2 v) { return visnan(v) | vnegz(v); }
inline bool suspect1(double v) {
  uint64_t b;
  __builtin_memcpy(&b, &v, 8);
  return v != v || b == 0x8000000000000000ull;
}

// x against y (VEC) or against the broadcast s, "less" (GT false) or
// "greater"; returns the suspect flag of the items.
template <bool VEC, bool GT>
int32_t cmpk(const double *x, const double *y, double s, uint8_t *d, uint64_t n) {
  f64x2 sv = vdup<f64x2>(s);
  i64x2 bad = {};
  auto cmp = [&](uint64_t i) {
    f64x2 a = vld<f64x2>(x + i), b = VEC ? vld<f64x2>(y + i) : sv;
    bad |= suspect(a);
    if (VEC) bad |= suspect(b);
    return GT ? a > b : a < b;
  };
  uint64_t i = 0;
  for (; i + 16 <= n; i += 16) {
    i64x2 m[8];
    for (int j = 0; j < 8; j++) m[j] = cmp(i + 2 * j);
    vstb(d + i, m);
  }
  for (; i + 2 <= n; i += 2) {
    int b = vbits(cmp(i));
    d[i] = b & 1;
    d[i + 1] = b >> 1;
  }
  int32_t f = vany(bad);
  if (i < n) {
    double a = x[i], b = VEC ? y[i] : s;
    d[i] = GT ? a > b : a < b;
    f |= suspect1(a) || (VEC && suspect1(b));
  }
  return f;
}

// ---- parallel block drivers ----
struct PbsJob {
  const double *x, *y;
  uint64_t n, nb;
  double *res;
  std::atomic<uint64_t> next;
};

struct PmmJob {
  const double *x;
  uint64_t n, nb;
  double *res;
  int32_t is_max;
  std::atomic<int32_t> nan;
  std::atomic<uint64_t> next;
};

inline uint64_t blen(uint64_t n, uint64_t b) {
  uint64_t lo = b * PBS_BLOCK;
  return n - lo < PBS_BLOCK ? n - lo : PBS_BLOCK;
}

inline double blk(const double *x, const double *y, uint64_t n, uint64_t b) {
  uint64_t lo = b * PBS_BLOCK, m = blen(n, b);
  return y ? sumk<true>(x + lo, y + lo, m) : sumk<false>(x + lo, nullptr, m);
}

// Pool task: claim blocks until none is left.
void pbs_job(void *c, int) {
  PbsJob *j = (PbsJob *)c;
  for (uint64_t b; (b = j->next.fetch_add(1, std::memory_order_relaxed)) < j->nb;)
    j->res[b] = blk(j->x, j->y, j->n, b);
}

void pmm_job(void *c, int) {
  PmmJob *j = (PmmJob *)c;
  for (uint64_t b; (b = j->next.fetch_add(1, std::memory_order_relaxed)) < j->nb;) {
    int32_t rep = 0;
    const double *p = j->x + b * PBS_BLOCK;
    j->res[b] = j->is_max ? mmk<true>(p, blen(j->n, b), &rep) : mmk<false>(p, blen(j->n, b), &rep);
    if (rep) j->nan.store(1, std::memory_order_relaxed);
  }
}

constexpr uint64_t STK_BLOCKS = 512;  // block results kept on the stack

}  // namespace

void simd_add_f64(const double *a, const double *b, double *dst, uint64_t n) {
  ew(a, b, dst, n, [](auto p, auto q) { return p + q; });
}
// Subtract and divide take odd counts too: writing the last item costs
// nothing and leaves no caller with a silently unwritten result.
void simd_sub_f64(const double *a, const double *b, double *dst, uint64_t n) {
  ew(a, b, dst, n, [](auto p, auto q) { return p - q; });
}
void simd_mul_f64(const double *a, const double *b, double *dst, uint64_t n) {
  ew(a, b, dst, n, [](auto p, auto q) { return p * q; });
}
void simd_div_f64(const double *a, const double *b, double *dst, uint64_t n) {
  ew(a, b, dst, n, [](auto p, auto q) { return p / q; });
}

double simd_sum_f64(const double *x, uint64_t n) { return sumk<false>(x, nullptr, n); }
double simd_dot_f64(const double *x, const double *y, uint64_t n) { return sumk<true>(x, y, n); }

int64_t simd_sum_i64(const int64_t *x, uint64_t n) {
  u64x2 a0 = {}, a1 = {}, a2 = {}, a3 = {};
  uint64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    a0 += vld<u64x2>(x + i);
    a1 += vld<u64x2>(x + i + 2);
    a2 += vld<u64x2>(x + i + 4);
    a3 += vld<u64x2>(x + i + 6);
  }
  for (; i + 2 <= n; i += 2) a0 += vld<u64x2>(x + i);
  uint64_t s = vhadd((a0 + a1) + (a2 + a3));
  if (i < n) s += (uint64_t)x[i];
  return (int64_t)s;
}

namespace {

// The wrapping long dot on registers V (u64x2 or u64x4), four of them a
// step; lanes add in any order, as sums modulo 2^64 do not depend on it.
template <class V, bool SKIP>
__attribute__((always_inline)) inline uint64_t dotj(const int64_t *a, const int64_t *b, uint64_t n,
                                                    int32_t *nul) {
  typedef Mask<V> M;
  constexpr uint64_t L = NL<V>;
  const V nj = vdup<V>((uint64_t)INT64_MIN);
  V s[4] = {}, m = {};
  uint64_t i = 0;
  for (; i + 4 * L <= n; i += 4 * L)
    for (uint64_t k = 0; k < 4; k++) {
      V x = vld<V>(a + i + k * L), y = vld<V>(b + i + k * L), p = x * y;
      V z = (V)((M)(x == nj) | (M)(y == nj));
      if (SKIP) s[k] += vandn(p, vor(z, (V)(M)(p == nj)));
      else s[k] += p, m |= z;
    }
  uint64_t r = vhadd((s[0] + s[1]) + (s[2] + s[3]));
  int32_t f = vany((M)m);
  for (; i < n; i++) {
    uint64_t x = (uint64_t)a[i], y = (uint64_t)b[i], p = x * y;
    bool z = x == (uint64_t)INT64_MIN || y == (uint64_t)INT64_MIN;
    if (SKIP) r += z || p == (uint64_t)INT64_MIN ? 0 : p;
    else r += p, f |= z;
  }
  *nul = f;
  return r;
}

template <bool SKIP>
ZK_AVX2 uint64_t dotjw(const int64_t *a, const int64_t *b, uint64_t n, int32_t *nul) {
  return dotj<u64x4, SKIP>(a, b, n, nul);
}
template <bool SKIP> uint64_t dotjb(const int64_t *a, const int64_t *b, uint64_t n, int32_t *nul) {
  return dotj<u64x2, SKIP>(a, b, n, nul);
}

}  // namespace

int64_t simd_dot_i64(const int64_t *a, const int64_t *b, uint64_t n, int32_t skip, int32_t *nul) {
  bool w = simd_avx2();
  uint64_t r = skip ? (w ? dotjw<true> : dotjb<true>)(a, b, n, nul)
                    : (w ? dotjw<false> : dotjb<false>)(a, b, n, nul);
  return (int64_t)r;
}

double simd_max_f64(const double *x, uint64_t n, int32_t *report) { return mmk<true>(x, n, report); }
double simd_min_f64(const double *x, uint64_t n, int32_t *report) { return mmk<false>(x, n, report); }

void simd_cmps_f64(const double *x, uint8_t *dst, uint64_t n, int32_t dir, int32_t *flag, double s) {
  int32_t f = dir ? cmpk<false, true>(x, nullptr, s, dst, n) : cmpk<false, false>(x, nullptr, s, dst, n);
  *flag = f | suspect1(s);
}

void simd_cmpv_f64(const double *x, const double *y, uint8_t *dst, uint64_t n, int32_t dir,
                   int32_t *flag) {
  *flag = dir ? cmpk<true, true>(x, y, 0, dst, n) : cmpk<true, false>(x, y, 0, dst, n);
}

int32_t simd_mulnan_f64(const double *a, const double *b, double *dst, uint64_t n) {
  i64x2 bad = {};
  uint64_t i = 0;
  for (; i + 2 <= n; i += 2) {
    f64x2 p = vld<f64x2>(a + i) * vld<f64x2>(b + i);
    vst(dst + i, p);
    bad |= visnan(p);
  }
  int32_t r = vany(bad);
  if (i < n) {
    double p = a[i] * b[i];
    dst[i] = p;
    r |= p != p;
  }
  return r;
}

// One pass over n >= 1 doubles for the counting kernels: the extremes by
// strict comparison (NaNs never win), any adjacent descent, any NaN (flag
// bit 0) and any -0.0 (bit 1).  The previous item of each lane pair is an
// unaligned load one item back.
int32_t simd_frange0_f64(const double *v, uint64_t n, double *min, double *max, int32_t *ordered,
                         int32_t *flags) {
  f64x2 lo = vdup<f64x2>(v[0]), hi = lo;
  i64x2 bad = {}, neg = {}, dsc = {};
  uint64_t i = 1;
  for (; i + 2 <= n; i += 2) {
    f64x2 a = vld<f64x2>(v + i), p = vld<f64x2>(v + i - 1);
    lo = vsel<f64x2>(a < lo, a, lo);
    hi = vsel<f64x2>(a > hi, a, hi);
    bad |= visnan(a);
    neg |= vnegz(a);
    dsc |= p > a;
  }
  double mn = lo[0], mx = hi[0];
  if (lo[1] < mn) mn = lo[1];
  if (hi[1] > mx) mx = hi[1];
  auto fl = [](double a) { return (int32_t)(a != a) | (suspect1(a) && a == a ? 2 : 0); };
  int32_t f = (int32_t)vany(bad) | (vany(neg) ? 2 : 0) | fl(v[0]);
  int32_t d = vany(dsc);
  for (; i < n; i++) {
    double a = v[i];
    if (a < mn) mn = a;
    if (a > mx) mx = a;
    f |= fl(a);
    d |= v[i - 1] > a;
  }
  *min = mn;
  *max = mx;
  *ordered = !d;
  *flags = f;
  return f;
}

double pbs_stream(const double *x, const double *y, uint64_t n) {
  uint64_t nb = (n + PBS_BLOCK - 1) / PBS_BLOCK;
  double buf[STK_BLOCKS];
  Acc A = {};
  for (uint64_t cb = 0;; cb += STK_BLOCKS) {
    uint64_t m = nb - cb < STK_BLOCKS ? nb - cb : STK_BLOCKS;
    for (uint64_t k = 0; k < m; k++) buf[k] = blk(x, y, n, cb + k);
    sum8<false>(A, buf, nullptr, m >> 3);
    if (cb + m == nb) return sumfin<false>(A, buf + (m & ~(uint64_t)7), nullptr, m & 7);
  }
}

double pbs(const double *x, const double *y, uint64_t n) {
  uint64_t nb = (n + PBS_BLOCK - 1) / PBS_BLOCK;
  double stk[STK_BLOCKS];
  double *res = nb <= STK_BLOCKS ? stk : (double *)malloc(nb * sizeof(double));
  if (!res) return pbs_stream(x, y, n);
  PbsJob j{x, y, n, nb, res, {0}};
  uint64_t t = (uint64_t)par_thread_count();
  if (t == 1 || nb < 2) pbs_job(&j, 0);
  else par_run((int)(nb < t ? nb : t), pbs_job, &j);
  double r = simd_sum_f64(res, nb);
  if (res != stk) free(res);
  return r;
}

double par_mm_f64(const double *x, uint64_t n, int32_t is_max, int32_t *nan_seen) {
  auto serial = [&] { return is_max ? simd_max_f64(x, n, nan_seen) : simd_min_f64(x, n, nan_seen); };
  if (n <= 0xFFFFF) return serial();
  uint64_t t = (uint64_t)par_thread_count();
  if (t == 1) return serial();
  uint64_t nb = (n + PBS_BLOCK - 1) / PBS_BLOCK;
  double stk[STK_BLOCKS];
  double *res = nb <= STK_BLOCKS ? stk : (double *)malloc(nb * sizeof(double));
  if (!res) return serial();
  PmmJob j{x, n, nb, res, is_max, {0}, {0}};
  par_run((int)(nb < t ? nb : t), pmm_job, &j);
  double r = res[0];
  for (uint64_t b = 1; b < nb; b++)
    if (is_max ? res[b] > r : res[b] < r) r = res[b];
  if (res != stk) free(res);
  // A zero may be either sign depending on which block held which zero;
  // the serial kernel decides it, as it does any NaN.
  if (j.nan.load(std::memory_order_relaxed) || r == 0.0) return serial();
  *nan_seen = 0;
  return r;
}

}  // namespace zk
