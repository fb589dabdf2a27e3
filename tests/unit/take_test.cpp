// take_test.cpp: what the language cases cannot show of take, drop,
// slice, cut into pieces and remove: bit-packed results against a plain
// bit-list model at every offset, ranges kept lazy, the same object or an
// in-place shortening where no copy is due, rank, and the memory of
// failing calls.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "core/err.h"
#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct Take : ::testing::Test {
  void SetUp() override { boot_once(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

using Bits = std::vector<int>;

V bits(const Bits &b) {
  V x = an((U)b.size(), tBOOL);
  memset(P(x), 0, dbytes(b.size(), tBOOL));
  for (size_t i = 0; i < b.size(); i++) P(x)[i >> 3] |= (G)(b[i] << (i & 7));
  return x;
}

// The bits of x, and a check that the bits after the last item are 0.
Bits unbits(V x) {
  EXPECT_EQ(tp(x), tBOOL);
  Bits b;
  U n = nx(x);
  for (U i = 0; i < n; i++) b.push_back((P(x)[i >> 3] >> (i & 7)) & 1);
  if (n & 7) { EXPECT_EQ(P(x)[n >> 3] >> (n & 7), 0) << "bits past the end, count " << n; }
  return b;
}

Bits model_take(const Bits &x, J n) {
  Bits r;
  J c = (J)x.size(), m = n < 0 ? -n : n;
  for (J i = 0; i < m; i++) r.push_back(n >= 0 ? x[i % c] : x[((c - m % c) % c + i) % c]);
  return r;
}

TEST_F(Take, BitPackedAgreesWithTheBitListModel) {
  std::mt19937_64 g(7);
  for (U c : {1u, 3u, 7u, 8u, 63u, 64u, 65u, 127u, 200u}) {
    Bits x;
    for (U i = 0; i < c; i++) x.push_back((int)(g() & 1));
    for (J n : {1ll, 5ll, 63ll, 64ll, 65ll, 129ll, 1000ll, -1ll, -5ll, -65ll, -129ll, -1000ll}) {
      if (n > -(J)c && n < (J)c && n != 0 && (J)c < (n < 0 ? -n : n)) continue;
      V r = rsz(n, bits(x));
      ASSERT_TRUE(r) << etext();
      EXPECT_EQ(unbits(r), model_take(x, n)) << c << " take " << n;
      mr(r);
    }
    for (U a = 0; a <= c; a += 1 + a / 3)
      for (U b = a; b <= c; b += 1 + (b - a) / 2) {
        V v = bits(x), r = slc(v, a, b);
        EXPECT_EQ(unbits(r), Bits(x.begin() + a, x.begin() + b)) << c << " slice " << a << " " << b;
        mr(r), mr(v);
      }
    for (U i : {0u, 1u, c / 2, c - 1, c}) {
      V r = rmv(bits(x), i);
      Bits w = x;
      if (i < c) w.erase(w.begin() + i);
      EXPECT_EQ(unbits(r), w) << c << " remove " << i;
      mr(r);
    }
    for (J k : {1ll, 3ll, 8ll, 63ll, 64ll, 65ll}) {
      V r = chp(k, bits(x));
      ASSERT_EQ(nx(r), (c + k - 1) / k);
      for (U p = 0; p < nx(r); p++) {
        U a = p * (U)k, b = std::min<U>(a + (U)k, c);
        EXPECT_EQ(unbits(PA(r)[p]), Bits(x.begin() + a, x.begin() + b)) << c << " cut " << k << " piece " << p;
      }
      mr(r);
    }
    for (J k : {1ll, 9ll, -1ll, -9ll}) {
      V v = bits(x), keep = k > 0 ? 0 : _r(v);  // shared: copied, never shortened
      V r = drp(k, v);
      J a = k < 0 ? -k : k;
      Bits w = a >= (J)c ? Bits() : k > 0 ? Bits(x.begin() + a, x.end()) : Bits(x.begin(), x.end() - a);
      EXPECT_EQ(unbits(r), w) << c << " drop " << k;
      if (keep) {
        EXPECT_EQ(nx(keep), c);
        mr(keep);
      }
      mr(r);
    }
  }
}

TEST_F(Take, RangesStayLazyAndFullTakesKeepTheObject) {
  V r = rsz(5, aE(0, 10));
  EXPECT_EQ(tp(r), tRANGE);
  EXPECT_EQ(PL(r)[0], 0);
  EXPECT_EQ(PL(r)[1], 5);
  mr(r);
  r = rsz(-3, aE(0, 10));
  EXPECT_EQ(tp(r), tRANGE);
  EXPECT_EQ(PL(r)[0], 7);
  EXPECT_EQ(PL(r)[1], 10);
  mr(r);
  r = drp(3, aE(0, 10));
  EXPECT_EQ(tp(r), tRANGE);
  EXPECT_EQ(PL(r)[0], 3);
  EXPECT_EQ(PL(r)[1], 10);
  mr(r);
  r = rsz(15, aE(0, 10));
  EXPECT_NE(tp(r), tRANGE);
  EXPECT_EQ(nx(r), 15u);
  mr(r);
  V x = ev("1 2 3");
  EXPECT_EQ(rsz(3, _r(x)), x);
  mr(x);
  EXPECT_EQ(rsz(-3, _r(x)), x);
  mr(x);
  EXPECT_EQ(rsz(NJ, _r(x)), x);
  mr(x);
  // an unshared vector loses its last item in place
  EXPECT_EQ(drp(-1, x), x);
  EXPECT_EQ(nx(x), 2u);
  mr(x);
}

TEST_F(Take, Rank) {
  struct {
    const char *s;
    I r;
  } cs[] = {{"5", 0}, {"1 2 3", 1}, {"!5", 1}, {"(1 2;3 4)", 2}, {"(1 2;3)", -1}, {"((1 2;3 4);(5 6;7 8))", 3},
            {"((1 2;3 4);(5 6;7))", -1}, {"+`a`b!(1 2;3 4)", 2}, {"`a`b!1 2", 1}, {"()", 2}, {"(1;`a)", 1}};
  for (auto &c : cs) {
    V x = ev(c.s);
    ASSERT_TRUE(x) << c.s << etext();
    EXPECT_EQ(rnk(x), c.r) << c.s;
    mr(x);
  }
}

// Opt-in (ZK_BIG=1): a count above 2^31 is a boxed long.
TEST_F(Take, CountAboveTwoToThe31) {
  if (!getenv("ZK_BIG")) GTEST_SKIP() << "set ZK_BIG=1";
  V x = an(3000000000u, tBYTE), r = len(x);
  ASSERT_EQ(tp(r), tLONGA);
  EXPECT_EQ(gl(r), 3000000000ll);
}

TEST_F(Take, FailuresLeakNothing) {
  fails_leak_nothing(ev, {"4294967296#1 2", "2 -1#1 2 3", "(257#1)#1 2", "65536 65536#1", "2_5", "-1 2_1 2 3",
                        "2 0_0 1 2 3", "{-1}#1 2", "{x+y}#1 2", "{1 2}#1 2 3", "(1 2 3)_`a",
                        "`zz#1 2", "2 2#+`a`b!(1 2;3 4)"});
}

}  // namespace
