// numb_test.cpp: the numeric builtins beyond their language cases: the
// prime sieve against a plain sieve (counts to 10^8, every segment border),
// the SIMD scans of sumn, prn, hnl and wtn against scalar models at every
// length and null position, wmul for every integer width and thread count,
// and the memory of failing calls.
#include <gtest/gtest.h>
#include <cmath>
#include <random>
#include <vector>
#include "capi/capi.h"
#include "core/err.h"
#include "eval/eval.h"
#include "num/num.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct Numb : ::testing::Test {
  void SetUp() override { boot_once(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

// The primes below n by the plain sieve of every number.
std::vector<I> plain(J n) {
  std::vector<char> c(n > 2 ? n : 2, 1);
  std::vector<I> r;
  for (J i = 2; i < n; i++) {
    if (!c[i]) continue;
    r.push_back((I)i);
    for (J j = i * i; j < n; j += i) c[j] = 0;
  }
  return r;
}

std::vector<I> pri(J n) {
  V r = qpri(al(n));
  EXPECT_TRUE(r) << etext();
  if (!r) return {};
  EXPECT_EQ(tp(r), tINT);
  std::vector<I> v(PI(r), PI(r) + nx(r));
  mr(r);
  return v;
}

TEST_F(Numb, PrimeCounts) {
  struct { J n; size_t c; } cases[] = {{1000000, 78498}, {10000000, 664579}, {100000000, 5761455}};
  for (auto &k : cases) EXPECT_EQ(pri(k.n).size(), k.c) << k.n;
}

// Around the borders of the 131,072-number segments and of the table of
// small primes, and below every capacity bound.
TEST_F(Numb, PrimesAgainstAPlainSieve) {
  const J top = 399 + 131072 * 6 + 10;
  std::vector<I> all = plain(top);
  auto below = [&](J n) { return std::vector<I>(all.begin(), std::lower_bound(all.begin(), all.end(), (I)n)); };
  std::vector<J> ns;
  for (J n = 0; n < 420; n++) ns.push_back(n);
  for (J k = 1; k <= 6; k++)
    for (J d = -3; d <= 3; d++) ns.push_back(399 + 131072 * k + d);
  for (J b : {19, 89, 263, 659, 1571, 3607, 8087, 17783, 38791, 83911, 180391, 385991})
    for (J d = -1; d <= 2; d++) ns.push_back(b + d);
  for (J n : ns) EXPECT_EQ(pri(n), below(n)) << n;
}

// Opt-in (ZK_BIG=1): the largest argument, 2^31 - 1 (itself prime).
TEST_F(Numb, PrimesBelowTwoToThe31) {
  if (!getenv("ZK_BIG")) GTEST_SKIP() << "set ZK_BIG=1";
  V r = qpri(al(2147483647));
  ASSERT_TRUE(r);
  EXPECT_EQ(nx(r), 105097564u);
  EXPECT_EQ(PI(r)[nx(r) - 1], 2147483629);
  mr(r);
}

// v cut to the signed width of integer type t.
J wid(int t, J v) {
  int b = 1 << Tw[t];
  return b == 64 ? v : (J)((UJ)v << (64 - b)) >> (64 - b);
}

V lvec(const std::vector<J> &v) { return zkt::mk(tLONG, v); }

TEST_F(Numb, SumProductAndNullScansAgainstScalarModels) {
  std::mt19937_64 g(7);
  for (U n = 0; n < 40; n++)
    for (int rep = 0; rep < 4; rep++) {
      std::vector<J> v(n);
      UJ s = 0, p = 1;
      bool nl = false;
      for (U i = 0; i < n; i++) {
        v[i] = g() % 5 == 0 ? NJ : (J)(g() % 2001) - 1000 + (rep == 3 ? (J)1 << 40 : 0);
        if (v[i] == NJ) nl = true;
        else s += (UJ)v[i], p *= (UJ)v[i];
      }
      V r = sumnT(lvec(v));
      EXPECT_EQ(zkt::aval(r), (J)s) << n;
      EXPECT_EQ(tp(r), (J)s == (I)(J)s ? tINTA : tLONGA);
      mr(r);
      r = prnT(lvec(v));
      EXPECT_EQ(zkt::aval(r), (J)p) << n;
      mr(r);
      EXPECT_EQ(hnlT(lvec(v)), ai(nl)) << n;
    }
  // One null at each position, in long and float vectors.
  for (U n = 1; n < 600; n += n < 40 ? 1 : 97)
    for (U at = 0; at < n; at++) {
      V l = an(n, tLONG), f = an(n, tFLT);
      for (U i = 0; i < n; i++) PL(l)[i] = i, PF(f)[i] = i;
      PL(l)[at] = NJ, PF(f)[at] = NAN;
      EXPECT_EQ(hnlT(l), ai(1)) << n << " " << at;
      EXPECT_EQ(hnlT(f), ai(1)) << n << " " << at;
    }
}

// wtn for every integer width on random data and bounds, against the scalar
// rule; lengths across the 16-item steps.
TEST_F(Numb, WithinForEveryWidth) {
  std::mt19937_64 g(11);
  J bounds[][2] = {{-5, 5}, {-200, 100}, {0, 0}, {3, -3}, {-40000, 40000}, {NJ, 7}, {-3000000000LL, 3000000000LL},
                   {200, 300}, {-300, -200}};
  for (int t : {tBYTE, tSHORT, tINT, tLONG})
    for (U n : {0u, 1u, 15u, 16u, 17u, 33u, 100u})
      for (auto &b : bounds)
        for (int bt : {tBYTE, tSHORT, tINT, tLONG}) {
          if (tZ(b[0]) > bt || tZ(b[1]) > bt) continue;  // the bounds must fit their vector
          std::vector<J> x(n);
          for (U i = 0; i < n; i++) x[i] = wid(t, (J)g() >> (g() % 64));
          V xv = zkt::mk(t, x);
          V r = wtnT(aA2(xv, zkt::mk(bt, {b[0], b[1]})));
          ASSERT_EQ(tp(r), tBYTE);
          ASSERT_EQ(nx(r), n);
          for (U i = 0; i < n; i++)
            EXPECT_EQ(P(r)[i], b[0] <= x[i] && x[i] <= b[1]) << t << " " << n << " " << b[0] << " " << b[1] << " " << i;
          mr(r);
        }
}

// wmul: every width of the integer side on either side, 100,000 items so
// the pool splits them, the same bits for 1 and 8 threads; NaN reports.
TEST_F(Numb, WmulEveryWidthAndThreadCount) {
  const U n = 100000;
  std::mt19937_64 g(3);
  V f = an(n, tFLT);
  for (U i = 0; i < n; i++) PF(f)[i] = (F)(g() % 1000) / 7 - 50;
  for (int t : {tBYTE, tSHORT, tINT, tLONG, tFLT})
    for (bool nan : {false, true})
      for (bool left : {false, true}) {
        std::vector<J> iv(n);
        for (U i = 0; i < n; i++) iv[i] = (J)(g() % 200) - 100;
        V y = t == tFLT ? an(n, tFLT) : zkt::mk(t, iv);
        if (t == tFLT)
          for (U i = 0; i < n; i++) PF(y)[i] = (F)iv[i];
        if (nan) {
          if (t == tFLT) PF(y)[n - 1] = NAN;
          else if (t == tLONG) PL(y)[n - 1] = NJ;
          else PF(f)[n - 1] = NAN;
        }
        V out[2];
        for (int k = 0; k < 2; k++) {
          zkt::EnvThreads e(k ? "8" : "1");
          out[k] = left ? wmulT(aA2(_r(y), _r(f))) : wmulT(aA2(_r(f), _r(y)));
          ASSERT_EQ(tp(out[k]), tLIST);
          EXPECT_EQ(PA(out[k])[1], ai(nan)) << t << " " << nan;
        }
        V p0 = PA(out[0])[0], p1 = PA(out[1])[0];
        ASSERT_EQ(nx(p0), n);
        EXPECT_EQ(memcmp(P(p0), P(p1), n * 8), 0) << t;
        for (U i = 0; i < n; i++) {
          F yi = t == tFLT ? PF(y)[i] : t == tLONG && PL(y)[i] == NJ ? (F)NAN : (F)zkt::at(y, i);
          EXPECT_TRUE(zkt::same(PF(p0)[i], PF(f)[i] * yi)) << t << " " << i;
        }
        mr(out[0]), mr(out[1]), mr(y);
        PF(f)[n - 1] = 1.0;
      }
  mr(f);
}

TEST_F(Numb, FailuresLeakNothing) {
  zk::fails_leak_nothing(ev, {"`pri -1", "`pri 2.5", "`pri 1099511627776", "`pri 2147483648", "`wmul 1.5 2.0",
                              "`wmul (1;2;3)", "`sumn (1;`a)", "`prn (1;`a)"});
}

}  // namespace
