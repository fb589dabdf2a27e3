// Unit tests of the vector layer and the float kernels: each kernel against
// a plain scalar loop that spells out the same lane and accumulator order,
// on IEEE edge data (NaN payloads, signed zeros, infinities, subnormals) and
// on every count around the vector steps; the parallel sums bit-identical
// across thread counts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/pool.h"
#include "core/simd.h"
#include "num/simdf.h"
#include "testutil.h"

using namespace zk;
using zkt::bits;
using zkt::dbl;

namespace {

bool isnan_(double d) { return d != d; }

// Equal bits; two NaNs count as equal, since which payload survives an
// operation on two NaNs is the hardware's choice.
::testing::AssertionResult same(double want, double got) {
  if (bits(want) == bits(got) || (isnan_(want) && isnan_(got))) return ::testing::AssertionSuccess();
  char m[96];
  snprintf(m, sizeof m, "want %a (%016llx) got %a (%016llx)", want, (unsigned long long)bits(want),
           got, (unsigned long long)bits(got));
  return ::testing::AssertionFailure() << m;
}

const uint64_t SIGNAN = 0x7ff0000000000123ull;  // signalling, payload 0x123
const double SPECIAL[] = {
    dbl(0x7ff8000000000001ull), dbl(SIGNAN), dbl(0xfff8000000000abcull),  // NaNs with payloads
    -0.0, 0.0, INFINITY, -INFINITY,
    4.9406564584124654e-324, -2.2250738585072009e-308, 1e-310,  // subnormals
    2.2250738585072014e-308, 1.7976931348623157e308, -1.7976931348623157e308,
    1.0, -1.5, 3.0, 1e16, -1e16, 0.1,
};
constexpr int NSPECIAL = sizeof SPECIAL / sizeof SPECIAL[0];

// Random doubles over many magnitudes (so the order of additions shows in
// the result), with a share of special values when special > 0.
std::vector<double> gen(size_t n, uint32_t seed, int special_pct = 0) {
  std::mt19937_64 r(seed);
  std::vector<double> v(n);
  for (auto &x : v) {
    if (special_pct && (int)(r() % 100) < special_pct) x = SPECIAL[r() % NSPECIAL];
    else x = std::ldexp((double)(int64_t)(r() >> 11) / 9007199254740992.0, (int)(r() % 80) - 40);
  }
  return v;
}

// Finite, no -0.0: data whose comparisons are all trustworthy.
std::vector<double> plain(size_t n, uint32_t seed) { return gen(n, seed, 0); }

// ---- scalar references, lane by lane ----
double ref_sum(const double *x, const double *y, uint64_t n) {
  auto it = [&](uint64_t k) { return y ? x[k] * y[k] : x[k]; };
  double A[4][2] = {};
  uint64_t i = 0;
  for (; i + 8 <= n; i += 8)
    for (int j = 0; j < 4; j++)
      for (int l = 0; l < 2; l++) A[j][l] += it(i + 2 * j + l);
  double S[2] = {A[2][0] + A[3][0], A[2][1] + A[3][1]};
  for (; i + 2 <= n; i += 2)
    for (int l = 0; l < 2; l++) A[0][l] += it(i + l);
  double V[2];
  for (int l = 0; l < 2; l++) V[l] = (A[1][l] + A[0][l]) + S[l];
  double r = V[1] + V[0];
  if (n & 1) r += it(n - 1);
  return r;
}

double ref_mm(const double *x, uint64_t n, bool mx, int32_t *rep) {
  auto beats = [mx](double v, double r) { return mx ? v > r : v < r; };
  double acc[16];
  for (auto &a : acc) a = x[0];
  int32_t nan = 0;
  uint64_t i = 0;
  for (; i + 16 <= n; i += 16)
    for (int k = 0; k < 16; k++) {
      if (beats(x[i + k], acc[k])) acc[k] = x[i + k];
      nan |= isnan_(x[i + k]);
    }
  double r = acc[0];
  for (int k = 1; k < 16; k++)
    if (beats(acc[k], r)) r = acc[k];
  for (; i < n; i++) {
    if (beats(x[i], r)) r = x[i];
    nan |= isnan_(x[i]);
  }
  *rep = nan;
  return r;
}

bool suspect(double d) { return isnan_(d) || bits(d) == 0x8000000000000000ull; }

// Blocked sum exactly as the parallel driver defines it.
double ref_pbs(const double *x, const double *y, uint64_t n) {
  std::vector<double> blocks;
  for (uint64_t lo = 0; lo < n; lo += 65536) {
    uint64_t m = n - lo < 65536 ? n - lo : 65536;
    blocks.push_back(ref_sum(x + lo, y ? y + lo : nullptr, m));
  }
  return ref_sum(blocks.data(), nullptr, blocks.size());
}

const uint64_t COUNTS[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 18, 23, 24, 31, 32, 33, 47, 100, 1001};

}  // namespace

// ---- the vector layer: lane order and the helpers' contracts ----
TEST(Simd, LaneOrderAndHelpers) {
  double d[2] = {1.5, -2.0};
  f64x2 v = vld<f64x2>(d);
  EXPECT_EQ(v[0], 1.5);  // lane 0 is the lowest address
  EXPECT_EQ(vbits(v < vdup<f64x2>(0.0)), 2);  // lane k -> bit k
  EXPECT_EQ(vbits(visnan((f64x2){NAN, 0.0})), 1);
  EXPECT_EQ(vbits(vnegz((f64x2){0.0, -0.0})), 2);
  f64x2 s = vsel<f64x2>((i64x2){-1, 0}, vdup<f64x2>(7.0), vdup<f64x2>(9.0));
  EXPECT_EQ(s[0], 7.0);
  EXPECT_EQ(s[1], 9.0);
  EXPECT_EQ(vhadd(vand(vdup<f64x2>(-3.0), vdup<f64x2>(-0.0))), -0.0);  // sign bits only
  EXPECT_EQ(bits(vandn(vdup<f64x2>(-3.0), vdup<f64x2>(-0.0))[0]), bits(3.0));
  EXPECT_TRUE(vany((i64x2){0, -1}));
  EXPECT_FALSE(vany((i64x2){0, 0}));
  EXPECT_TRUE(vall((i32x4){-1, -1, -1, -1}));
  EXPECT_FALSE(vall((i32x4){-1, 0, -1, -1}));

  int8_t b[16];
  for (int k = 0; k < 16; k++) b[k] = (int8_t)(k * 17 - 128);
  i8x16 bv = vld<i8x16>(b);
  EXPECT_EQ(vbits(bv < vdup<i8x16>(0)), 0x00FF);
  i16x8 lo = vwlo(bv), hi = vwhi(bv);
  u16x8 ulo = vwlo((u8x16)bv);
  for (int k = 0; k < 8; k++) {
    EXPECT_EQ(lo[k], b[k]);           // sign extension
    EXPECT_EQ(hi[k], b[k + 8]);
    EXPECT_EQ(ulo[k], (uint8_t)b[k]); // zero extension
  }
  EXPECT_EQ(vbits((i16x8){-1, 0, 0, -1, 0, 0, 0, -1}), 0x89);
  i8x16 nb = vnarrow(lo, hi);
  for (int k = 0; k < 16; k++) EXPECT_EQ(nb[k], b[k]);
  i32x4 n32 = vnarrow((i64x2){0x100000005ll, -7}, (i64x2){8, -1});
  EXPECT_EQ(n32[0], 5);
  EXPECT_EQ(n32[1], -7);
  EXPECT_EQ(n32[3], -1);
  i64x2 w = vwhi((i32x4){1, 2, -3, 4});
  EXPECT_EQ(w[0], -3);
  EXPECT_EQ(vhadd((i64x2){INT64_MAX, 1}), INT64_MIN);  // integer folds wrap
  EXPECT_EQ(vhadd((i8x16){127, 1}), -128);
  i64x2 mn = vmin((i64x2){INT64_MIN, 5}, (i64x2){0, -5});
  EXPECT_EQ(mn[0], INT64_MIN);
  EXPECT_EQ(mn[1], -5);
  EXPECT_EQ(vhmax((u32x4){1, 0xFFFFFFFFu, 3, 4}), 0xFFFFFFFFu);  // unsigned lanes compare unsigned
  EXPECT_EQ(vhmin((i32x4){1, -9, 3, 4}), -9);
  f64x2 c = vf64((i64x2){-3, INT64_MIN});
  EXPECT_EQ(c[0], -3.0);
  EXPECT_EQ(c[1], -9223372036854775808.0);
  EXPECT_EQ(vf64((i32x4){-2, 6, 0, 0})[1], 6.0);
}

// ---- element-wise ----
TEST(SimdF, ElementWiseMatchesScalar) {
  typedef void (*K)(const double *, const double *, double *, uint64_t);
  struct {
    const char *name;
    K k;
    double (*op)(double, double);
  } ks[] = {
      {"add", simd_add_f64, [](double a, double b) { return a + b; }},
      {"sub", simd_sub_f64, [](double a, double b) { return a - b; }},
      {"mul", simd_mul_f64, [](double a, double b) { return a * b; }},
      {"div", simd_div_f64, [](double a, double b) { return a / b; }},
  };
  const double GUARD = dbl(0x7ff4deadbeef0000ull);
  for (auto &k : ks)
    for (uint64_t n : COUNTS)
      for (uint32_t seed : {1u, 2u, 3u}) {
        std::vector<double> a = gen(n + 3, seed, 40), b = gen(n + 3, seed + 100, 40);
        std::vector<double> out(n + 3, GUARD);
        k.k(a.data(), b.data(), out.data(), n);
        for (uint64_t i = 0; i < n; i++) ASSERT_TRUE(same(k.op(a[i], b[i]), out[i])) << k.name << " n=" << n << " i=" << i;
        for (uint64_t i = n; i < n + 3; i++) ASSERT_EQ(bits(out[i]), bits(GUARD)) << k.name << " wrote past n=" << n;
        // in place, into either source
        std::vector<double> a2 = a, b2 = b;
        k.k(a2.data(), b.data(), a2.data(), n);
        k.k(a.data(), b2.data(), b2.data(), n);
        for (uint64_t i = 0; i < n; i++) {
          ASSERT_EQ(bits(a2[i]), bits(out[i])) << k.name << " in place (a) n=" << n;
          ASSERT_EQ(bits(b2[i]), bits(out[i])) << k.name << " in place (b) n=" << n;
        }
      }
}

// Exactly one NaN operand: its payload comes through, quieted.
TEST(SimdF, ElementWiseKeepsNaNPayload) {
  for (uint64_t n : {1, 2, 3, 5}) {
    std::vector<double> a(n, 2.0), b(n, 0.5), out(n);
    a[n - 1] = dbl(SIGNAN);
    b[0] = n > 1 ? dbl(0xfff8000000000abcull) : b[0];
    simd_mul_f64(a.data(), b.data(), out.data(), n);
    EXPECT_EQ(bits(out[n - 1]), SIGNAN | 0x0008000000000000ull) << n;
    if (n > 1) {
      EXPECT_EQ(bits(out[0]), 0xfff8000000000abcull) << n;
    }
  }
  double a[] = {INFINITY, 0.0, -0.0, -INFINITY}, b[] = {-INFINITY, 0.0, 0.0, INFINITY}, out[4];
  simd_add_f64(a, b, out, 4);
  EXPECT_TRUE(isnan_(out[0]));
  EXPECT_EQ(bits(out[1]), bits(0.0));
  EXPECT_EQ(bits(out[2]), bits(0.0));  // -0 + 0 = +0
  simd_sub_f64(b, a, out, 4);
  EXPECT_EQ(bits(out[2]), bits(0.0));
  simd_div_f64(a + 1, b + 1, out, 2);  // 0/0, -0/0
  EXPECT_TRUE(isnan_(out[0]) && isnan_(out[1]));
}

// ---- sums ----
TEST(SimdF, SumFollowsTheFixedOrder) {
  double four[] = {1e16, 1.0, -1e16, 1.0};  // lane 0 cancels, lane 1 keeps both ones
  EXPECT_EQ(simd_sum_f64(four, 4), 2.0);
  double seven[] = {1e16, 1.0, -1e16, 1.0, 1.0, 1.0, 0.5};  // three pairs into A0, then the 7th
  EXPECT_EQ(simd_sum_f64(seven, 7), ref_sum(seven, nullptr, 7));
  EXPECT_EQ(simd_sum_f64(seven, 7), 4.5);
  for (uint64_t n : COUNTS)
    for (uint32_t seed = 0; seed < 8; seed++) {
      std::vector<double> x = gen(n, seed, seed < 4 ? 0 : 25);
      ASSERT_TRUE(same(ref_sum(x.data(), nullptr, n), simd_sum_f64(x.data(), n))) << n << " " << seed;
    }
  // the order shows: the same items summed left to right differ
  std::vector<double> x = gen(1001, 9);
  double lr = 0;
  for (double d : x) lr += d;
  EXPECT_NE(bits(lr), bits(simd_sum_f64(x.data(), x.size())));
}

TEST(SimdF, SumEdgeValues) {
  for (uint64_t n : COUNTS) {
    if (!n) continue;
    std::vector<double> z(n, -0.0);
    EXPECT_EQ(bits(simd_sum_f64(z.data(), n)), bits(0.0)) << n;  // accumulators start at +0.0
    std::vector<double> sub(n, 4.9406564584124654e-324);  // subnormals add exactly
    EXPECT_EQ(simd_sum_f64(sub.data(), n), (double)n * 4.9406564584124654e-324) << n;
    for (uint64_t p = 0; p < n; p++) {
      std::vector<double> x = plain(n, (uint32_t)p);
      x[p] = dbl(SIGNAN);  // a single NaN anywhere comes out with its payload
      ASSERT_EQ(bits(simd_sum_f64(x.data(), n)), SIGNAN | 0x0008000000000000ull) << n << " at " << p;
      x[p] = INFINITY;
      ASSERT_EQ(simd_sum_f64(x.data(), n), INFINITY);
      if (n > 1) {
        x[(p + 1) % n] = -INFINITY;
        ASSERT_TRUE(isnan_(simd_sum_f64(x.data(), n)));
      }
    }
  }
  double big[] = {1.7976931348623157e308, 1.7976931348623157e308};
  EXPECT_EQ(simd_sum_f64(big, 2), INFINITY);
}

TEST(SimdF, DotRoundsEveryProduct) {
  for (uint64_t n : COUNTS)
    for (uint32_t seed = 0; seed < 6; seed++) {
      std::vector<double> x = gen(n, seed, seed < 3 ? 0 : 20), y = gen(n, seed + 50, seed < 3 ? 0 : 20);
      ASSERT_TRUE(same(ref_sum(x.data(), y.data(), n), simd_dot_f64(x.data(), y.data(), n))) << n;
    }
  // (1+e)(1-e) = 1 - e^2: a fused multiply-add would keep the -e^2 term
  double e = std::ldexp(1.0, -30);
  double x[] = {1 + e, 1.0}, y[] = {1 - e, -1.0};
  EXPECT_EQ(simd_dot_f64(x, y, 2), 0.0);
}

TEST(SimdF, LongSumWraps) {
  int64_t a[] = {INT64_MIN, 1};
  EXPECT_EQ(simd_sum_i64(a, 2), INT64_MIN + 1);
  int64_t b[] = {INT64_MAX, 1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(simd_sum_i64(b, 9), INT64_MIN);
  EXPECT_EQ(simd_sum_i64(b, 0), 0);
  std::mt19937_64 r(5);
  for (uint64_t n : COUNTS) {
    std::vector<int64_t> v(n);
    uint64_t s = 0;
    for (auto &x : v) s += (uint64_t)(x = (int64_t)r());
    ASSERT_EQ(simd_sum_i64(v.data(), n), (int64_t)s) << n;
  }
}

// ---- minimum and maximum ----
TEST(SimdF, MaxMinCases) {
  struct {
    std::vector<double> x;
    double max, min;
    int32_t rep;
  } cases[] = {
      {{1.0, NAN, 3.0}, 3.0, 1.0, 1},
      {{5.0}, 5.0, 5.0, 0},
      {{-INFINITY}, -INFINITY, -INFINITY, 0},
      {{0.0, -0.0}, 0.0, 0.0, 0},   // the first of equals stays
      {{-0.0, 0.0}, -0.0, -0.0, 0},
      {{1e-310, -1e-310, 4.9406564584124654e-324}, 1e-310, -1e-310, 0},
      {{INFINITY, 1.0, -INFINITY}, INFINITY, -INFINITY, 0},
  };
  for (auto &k : cases) {
    int32_t rep = 9;
    EXPECT_EQ(bits(simd_max_f64(k.x.data(), k.x.size(), &rep)), bits(k.max));
    EXPECT_EQ(rep, k.rep);
    rep = 9;
    EXPECT_EQ(bits(simd_min_f64(k.x.data(), k.x.size(), &rep)), bits(k.min));
    EXPECT_EQ(rep, k.rep);
  }
  double one_nan = NAN;
  int32_t rep = 0;
  EXPECT_TRUE(isnan_(simd_max_f64(&one_nan, 1, &rep)));
  EXPECT_EQ(rep, 1);
  rep = 0;
  simd_min_f64(nullptr, 0, &rep);  // nothing to read: reported unusable
  EXPECT_EQ(rep, 1);
}

TEST(SimdF, MaxMinMatchScalar) {
  for (uint64_t n : COUNTS) {
    if (!n) continue;
    for (uint32_t seed = 0; seed < 10; seed++) {
      std::vector<double> x = gen(n, seed, seed < 3 ? 0 : seed < 6 ? 10 : 60);
      if (seed == 9)  // both zeros in every lane: the first met must stay
        for (uint64_t i = 0; i < n; i++) x[i] = (i * 7) % 5 ? -1.0 : ((i / 16) % 2 ? -0.0 : 0.0);
      for (bool mx : {false, true}) {
        int32_t r1, r2;
        double want = ref_mm(x.data(), n, mx, &r1);
        double got = mx ? simd_max_f64(x.data(), n, &r2) : simd_min_f64(x.data(), n, &r2);
        ASSERT_TRUE(same(want, got)) << n << " " << seed << " max=" << mx;
        ASSERT_EQ(r1, r2) << n << " " << seed;
      }
    }
  }
}

// ---- comparisons ----
TEST(SimdF, CompareMatchesScalar) {
  for (uint64_t n : COUNTS)
    for (uint32_t seed = 0; seed < 6; seed++) {
      // mostly plain data so the flag is often 0, with specials in some runs
      std::vector<double> x = gen(n + 2, seed, seed < 2 ? 0 : 15), y = gen(n + 2, seed + 9, seed < 2 ? 0 : 15);
      for (int n2 = 0; n2 < (int)n; n2 += 3) y[n2] = x[n2];  // ties
      for (int dir : {0, 1, 7}) {
        std::vector<uint8_t> d(n + 2, 0xAA);
        int32_t f = 9;
        simd_cmpv_f64(x.data(), y.data(), d.data(), n, dir, &f);
        int32_t wf = 0;
        for (uint64_t i = 0; i < n; i++) {
          ASSERT_EQ(d[i], dir ? x[i] > y[i] : x[i] < y[i]) << "cmpv n=" << n << " i=" << i;
          wf |= suspect(x[i]) || suspect(y[i]);
        }
        ASSERT_EQ(f, wf) << "cmpv flag n=" << n;
        ASSERT_EQ(d[n], 0xAA);
        for (double s : {0.25, -0.0, 0.0, (double)NAN, (double)INFINITY, x.empty() ? 1.0 : x[0]}) {
          std::fill(d.begin(), d.end(), 0xAA);
          f = 9;
          simd_cmps_f64(x.data(), d.data(), n, dir, &f, s);
          wf = suspect(s);
          for (uint64_t i = 0; i < n; i++) {
            ASSERT_EQ(d[i], dir ? x[i] > s : x[i] < s) << "cmps n=" << n << " i=" << i << " s=" << s;
            wf |= suspect(x[i]);
          }
          ASSERT_EQ(f, wf) << "cmps flag n=" << n << " s=" << s;
          ASSERT_EQ(d[n], 0xAA);
        }
      }
    }
}

// A single suspect item is seen wherever it sits: in a 16-item step, a
// pair step or the odd last item; +0.0 is not suspect.
TEST(SimdF, CompareFlagEveryPosition) {
  for (uint64_t n : {1, 2, 3, 17, 19, 35}) {
    for (uint64_t p = 0; p < n; p++)
      for (double bad : {-0.0, (double)NAN, dbl(SIGNAN), 0.0}) {
        std::vector<double> x = plain(n, 3), y = plain(n, 4);
        std::vector<uint8_t> d(n);
        int32_t want = bad == 0.0 && !std::signbit(bad) ? 0 : 1, f;
        x[p] = bad;
        simd_cmps_f64(x.data(), d.data(), n, 1, &f, 2.0);
        ASSERT_EQ(f, want) << "cmps n=" << n << " p=" << p;
        simd_cmpv_f64(x.data(), y.data(), d.data(), n, 0, &f);
        ASSERT_EQ(f, want) << "cmpv x n=" << n << " p=" << p;
        simd_cmpv_f64(y.data(), x.data(), d.data(), n, 0, &f);
        ASSERT_EQ(f, want) << "cmpv y n=" << n << " p=" << p;
      }
  }
  double one = 1.0;
  uint8_t d;
  int32_t f;
  simd_cmps_f64(&one, &d, 1, 0, &f, -0.0);  // the scalar alone sets the flag
  EXPECT_EQ(f, 1);
  simd_cmps_f64(&one, &d, 0, 0, &f, 0.0);
  EXPECT_EQ(f, 0);
}

TEST(SimdF, MulNaNReport) {
  for (uint64_t n : {1, 2, 3, 4, 5, 9}) {
    for (uint64_t p = 0; p < n; p++) {
      std::vector<double> a = plain(n, 1), b = plain(n, 2), out(n);
      EXPECT_EQ(simd_mulnan_f64(a.data(), b.data(), out.data(), n), 0);
      a[p] = 0.0;
      b[p] = -INFINITY;  // 0 x inf
      EXPECT_EQ(simd_mulnan_f64(a.data(), b.data(), out.data(), n), 1) << n << " " << p;
      for (uint64_t i = 0; i < n; i++) ASSERT_TRUE(same(a[i] * b[i], out[i]));
      a[p] = dbl(SIGNAN);
      b[p] = 1.0;
      EXPECT_EQ(simd_mulnan_f64(a.data(), b.data(), out.data(), n), 1);
      EXPECT_EQ(bits(out[p]), SIGNAN | 0x0008000000000000ull);
    }
  }
}

// ---- parallel drivers ----
TEST(SimdF, BlockedSumSameForEveryThreadCount) {
  const uint64_t sizes[] = {0, 1, 65536, 65537, 200000, 1048575, 1048576, 10000000};
  std::vector<double> x = gen(10000000, 77);
  for (uint64_t n : sizes) {
    double want = ref_pbs(x.data(), nullptr, n);
    EXPECT_TRUE(same(want, pbs_stream(x.data(), nullptr, n))) << n;
    for (const char *t : {"1", "2", "3", "8", "64"}) {
      if (t[1] && n > 200000) continue;  // 64 tasks would leave 63 workers behind
      EnvThreads e(t);
      ASSERT_EQ(bits(pbs(x.data(), nullptr, n)), bits(want)) << n << " items, " << t << " threads";
    }
  }
  // the blocks matter: the plain kernel over the same items gives another double
  EXPECT_NE(bits(pbs(x.data(), nullptr, 10000000)), bits(simd_sum_f64(x.data(), 10000000)));
}

TEST(SimdF, BlockedDotSameForEveryThreadCount) {
  std::vector<double> x = gen(3000001, 5), y = gen(3000001, 6);
  for (uint64_t n : {1048575ull, 1048576ull, 3000001ull}) {
    double want = ref_pbs(x.data(), y.data(), n);
    EXPECT_EQ(bits(pbs_stream(x.data(), y.data(), n)), bits(want));
    for (const char *t : {"1", "2", "3", "8"}) {
      EnvThreads e(t);
      ASSERT_EQ(bits(pbs(x.data(), y.data(), n)), bits(want)) << n << " items, " << t << " threads";
    }
  }
}

TEST(SimdF, ParallelMinMax) {
  const uint64_t N = 2000000;
  std::vector<double> x = gen(N, 11);
  for (uint64_t n : {(uint64_t)1048575, (uint64_t)1048576, N})
    for (int mx : {0, 1}) {
      int32_t r0;
      double want = ref_mm(x.data(), n, mx, &r0);
      ASSERT_EQ(r0, 0);
      for (const char *t : {"1", "2", "3", "8"}) {
        EnvThreads e(t);
        int32_t f = 9;
        ASSERT_EQ(bits(par_mm_f64(x.data(), n, mx, &f)), bits(want)) << n << " " << t;
        ASSERT_EQ(f, 0);
      }
    }
  // a NaN anywhere: the flag is set
  std::vector<double> y = x;
  y[N - 5] = NAN;
  for (const char *t : {"1", "8"}) {
    EnvThreads e(t);
    int32_t f = 0;
    par_mm_f64(y.data(), N, 1, &f);
    EXPECT_EQ(f, 1) << t;
  }
  // A zero result is the serial kernel's, which takes the first zero of
  // its lane order: here -0.0 (lane 0, block 5), where the block order
  // would give the +0.0 of block 0 (lane 1).
  std::vector<double> z(N, -1.0);
  z[1] = 0.0;
  z[5 * 65536 + 16] = -0.0;
  z[1900000] = 0.0;
  for (const char *t : {"1", "2", "3", "8"}) {
    EnvThreads e(t);
    int32_t f = 9, r;
    double want = simd_max_f64(z.data(), N, &r);
    EXPECT_EQ(bits(want), bits(-0.0));
    EXPECT_EQ(bits(par_mm_f64(z.data(), N, 1, &f)), bits(want)) << t;
    EXPECT_EQ(f, 0);
  }
}
