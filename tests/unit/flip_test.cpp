// flip_test.cpp: what the language cases cannot show of where, flip and
// til: index widths, the mask and count paths against a plain model, the
// parallel mask path against the serial one on both sides of its
// threshold and at several thread counts, the memory and reference counts
// of failing calls, and (opt-in) inputs past 2^31 items.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "core/err.h"
#include "eval/eval.h"
#include "list/list.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct Flip : ::testing::Test {
  void SetUp() override { boot_once(); }
  // failures tested here leave no error text behind for later tests
  void TearDown() override { eclr(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

V bytes(const std::vector<int> &v) {
  V x = an((U)v.size(), tBYTE);
  for (size_t i = 0; i < v.size(); i++) P<int8_t>(x)[i] = (int8_t)v[i];
  return x;
}

std::vector<J> items(V x) {
  std::vector<J> r;
  for (U i = 0; i < nx(x); i++) r.push_back(iti(x, tp(x), i));
  return r;
}

// where by its definition: each position repeated by its count
std::vector<J> model(V x) {
  std::vector<J> r;
  for (U i = 0; i < nx(x); i++)
    for (J c = iti(x, tp(x), i); c > 0; c--) r.push_back(i);
  return r;
}

TEST_F(Flip, WhereWidths) {
  struct {
    V x;
    int t;
    std::vector<J> want;
  } cs[] = {
      {bytes({0, 1, 1, 0, 1}), tBYTE, {1, 2, 4}},
      {bytes({0, 1, 2}), tBYTE, {1, 2, 2}},
      {_r(ce[tBYTE]), tBYTE, {}},
      {aA0(0), tINT, {}},
      {ai(3), tBYTE, {0, 0, 0}},
      {aE(0, 3), tBYTE, {1, 2, 2}},
  };
  for (auto &c : cs) {
    V r = whr(c.x);
    ASSERT_TRUE(r) << etext();
    EXPECT_EQ(tp(r), c.t);
    EXPECT_EQ(items(r), c.want);
    EXPECT_EQ(hd(r)->attr, 0);
    mr(r);
  }
  // the narrowest width for n-1 on both paths
  for (U n : {128u, 129u, 200u, 32768u, 32769u}) {
    for (int cnt : {0, 1}) {
      std::vector<int> m(n, 0);
      m[n - 1] = 1, m[0] = cnt ? 2 : 1;
      V x = bytes(m), r = whr(_r(x));
      ASSERT_TRUE(r) << etext();
      EXPECT_EQ(tp(r), n <= 128 ? tBYTE : n <= 32768 ? tSHORT : tINT) << n;
      EXPECT_EQ(items(r), model(x)) << n;
      mr(r), mr(x);
    }
  }
  // bit-packed masks give 32-bit positions
  for (U n : {1u, 7u, 8u, 63u, 64u, 65u, 1000u}) {
    V x = an(n, tBOOL);
    memset(P(x), 0, dbytes(n, tBOOL));
    std::vector<J> want;
    for (U i = 0; i < n; i++)
      if (i % 3 == 0 || i == n - 1) P(x)[i >> 3] |= (G)(1 << (i & 7)), want.push_back(i);
    V r = whr(x);
    ASSERT_TRUE(r) << etext();
    EXPECT_EQ(tp(r), tINT);
    EXPECT_EQ(items(r), want) << n;
    mr(r);
  }
}

// Every word shape of the mask writer at every alignment: zero words,
// all-ones words, mixed words and the tail, against the model.
TEST_F(Flip, MaskPathAgreesWithTheModel) {
  std::mt19937_64 g(5);
  for (U n = 1; n < 300; n += 1 + n / 8)
    for (int dens : {0, 1, 7, 8}) {
      std::vector<int> m(n);
      for (U i = 0; i < n; i++) m[i] = dens == 8 ? 1 : (int)(g() % 8) < dens;
      V x = bytes(m), r = whr(_r(x));
      ASSERT_TRUE(r) << etext();
      EXPECT_EQ(items(r), model(x)) << n << " " << dens;
      mr(r), mr(x);
    }
  // counts of every width
  std::vector<J> want = {0, 2, 2, 2, 3};
  for (int t : {tBYTE, tSHORT, tINT, tLONG}) {
    V x = an(4, t);
    const J c[] = {1, 0, 3, 1};
    for (int i = 0; i < 4; i++) switch (t) {
        case tBYTE: P<int8_t>(x)[i] = (int8_t)c[i]; break;
        case tSHORT: P<int16_t>(x)[i] = (int16_t)c[i]; break;
        case tINT: PI(x)[i] = (I)c[i]; break;
        default: PL(x)[i] = c[i];
      }
    V r = whr(x);
    ASSERT_TRUE(r) << t << etext();
    EXPECT_EQ(tp(r), tBYTE);
    EXPECT_EQ(items(r), want) << t;
    mr(r);
  }
}

// The parallel mask path gives exactly the serial result, on both sides
// of its threshold, with a count byte sending it to the count path.
TEST_F(Flip, ParallelWhereEqualsSerial) {
  std::mt19937_64 g(9);
  for (U n : {1048575u, 1048576u, 2000000u})
    for (int two : {0, 1})
      for (int dens : {1, 50}) {
        V x = an(n, tBYTE);
        for (U i = 0; i < n; i++) P(x)[i] = (G)(g() % 100 < (UJ)dens);
        if (two) P(x)[n / 2 + 1] = 2;
        std::vector<J> want = model(x);
        for (const char *th : {"1", "2", "4", "64"}) {
          EnvThreads e(th);
          V r = whr(_r(x));
          ASSERT_TRUE(r) << etext();
          EXPECT_EQ(tp(r), tINT);
          ASSERT_EQ(nx(r), want.size()) << n << " threads " << th;
          EXPECT_TRUE(!memcmp(items(r).data(), want.data(), want.size() * 8)) << n << " threads " << th;
          mr(r);
        }
        mr(x);
      }
}

TEST_F(Flip, PwhrChunksAndFlag) {
  U n = 1 << 20;
  std::vector<G> m(n, 0);
  for (U i = 0; i < n; i += 7) m[i] = 1;
  std::vector<U> o(n);
  for (I k : {2, 3, 64}) {
    G f = 0;
    UJ c = pwhr(m.data(), o.data(), n, 2, k, &f);
    ASSERT_EQ(f, 0);
    ASSERT_EQ(c, (n + 6) / 7);
    for (UJ i = 0; i < c; i++) ASSERT_EQ(o[i], 7 * i) << k;
  }
  std::vector<uint16_t> h(40000);
  std::vector<G> s(40000, 1);
  G f = 0;
  EXPECT_EQ(pwhr(s.data(), h.data(), 40000, 1, 4, &f), 40000u);
  EXPECT_EQ(h[39999], (uint16_t)39999);
  s[123] = 3;
  EXPECT_EQ(pwhr(s.data(), h.data(), 40000, 1, 4, &f), 0u);
  EXPECT_EQ(f, 1);
}

TEST_F(Flip, FlipColumnsAreTyped) {
  V r = ev("+(1 2;3 4)"), row = ev("1 2");
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tLIST);
  EXPECT_EQ(tp(PA(r)[0]), tp(row)) << "columns keep the rows' type";
  mr(r), mr(row);
  r = ev("+(1 2;3 4000000000)");
  EXPECT_EQ(tp(PA(r)[0]), tLONG);
  EXPECT_EQ(PL(PA(r)[1])[1], 4000000000ll);
  mr(r);
  r = ev("+(101b;011b)");
  ASSERT_TRUE(r);
  for (int j = 0; j < 3; j++) EXPECT_EQ(tp(PA(r)[j]), tBYTE);
  mr(r);
  r = ev("+(\"ab\";\"cd\")");
  EXPECT_EQ(tp(PA(r)[1]), tCHR);
  EXPECT_EQ(PC(PA(r)[1])[1], 'd');
  mr(r);
  // til keeps ranges lazy
  r = ev("!5");
  EXPECT_EQ(tp(r), tRANGE);
  mr(r);
  for (const char *s : {"!0", "!0N"}) {
    r = ev(s);
    EXPECT_EQ(r, ce[tBYTE]) << s << ": the shared empty byte vector";
    mr(r);
  }
  r = ev("!-3");
  EXPECT_EQ(tp(r), tRANGE);
  EXPECT_EQ(PL(r)[0], -3);
  mr(r);
}

TEST_F(Flip, FailuresLeakNothing) {
  fails_leak_nothing(ev, {"&-1", "&1 -1 2", "&1.5", "&\"ab\"", "&([a:1 2]b:3 4)", "&4294967296",
                          "&9223372036854775807 9223372036854775807 2", "+(1 2;3 4 5)",
                          "+`a`b!(1 2;3 4 5)", "+([a:1 2]b:3 4)", "!4294967296", "!1.5",
                          "&`a`b!(1;1.5)"});
  // the argument's reference count is back where it was
  ASSERT_TRUE(ev("wv:0 1 -1;wl:(1 2;3 4 5);wd:`a`b!(1;-1)"));
  for (const char *s : {"&wv", "+wl", "&wd"}) {
    EXPECT_FALSE(ev(s)) << s;
    V n = as(us(s + 1)), v = gg(n);
    EXPECT_EQ(hd(v)->rc, 2u) << s << ": the global and this reference";
    mr(v);
  }
}

// Opt-in (ZK_BIG=1): past 2^31 items the positions are 64-bit.  The
// byte mask needs some 20 GB: its result has room for every position.
TEST_F(Flip, WhereAboveTwoToThe31) {
  if (!getenv("ZK_BIG")) GTEST_SKIP() << "set ZK_BIG=1";
  UJ n = (1ull << 31) + 10;
  V x = an((U)n, tBYTE);
  memset(P(x), 0, n);
  P(x)[5] = P(x)[n - 1] = 1;
  V r = whr(x);
  ASSERT_TRUE(r) << etext();
  EXPECT_EQ(tp(r), tLONG);
  ASSERT_EQ(nx(r), 2u);
  EXPECT_EQ(PL(r)[1], (J)n - 1);
  mr(r);
}

TEST_F(Flip, WhereOfBitsAboveTwoToThe31) {
  if (!getenv("ZK_BIG")) GTEST_SKIP() << "set ZK_BIG=1";
  UJ n = (1ull << 31) + 10;
  V r, b = an((U)n, tBOOL);
  memset(P(b), 0, dbytes(n, tBOOL));
  P(b)[0] = 2, P(b)[(n - 1) >> 3] |= (G)(1 << ((n - 1) & 7));
  r = whr(b);
  ASSERT_TRUE(r) << etext();
  EXPECT_EQ(tp(r), tLONG);
  ASSERT_EQ(nx(r), 2u);
  EXPECT_EQ(PL(r)[0], 1);
  EXPECT_EQ(PL(r)[1], (J)n - 1);
  mr(r);
}

}  // namespace
