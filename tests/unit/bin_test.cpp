// Tests of binary search (bin) against std::upper_bound over every item
// width of x and y, on both sides of the eight-at-once block and of the
// answer's width steps; and of the attribute checks (atok) that the
// decoders trust.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "vmutil.h"

using namespace zk;
using zkt::items;
using zkt::mk;

namespace {

J lo_of(int t) { return t == tBYTE ? -128 : t == tSHORT ? -32768 : t == tINT ? INT32_MIN : INT64_MIN; }
J hi_of(int t) { return t == tBYTE ? 127 : t == tSHORT ? 32767 : t == tINT ? INT32_MAX : INT64_MAX; }

// Values of type t: mostly from a narrow band, so that probes meet equal
// items, with the type's extremes among them.
std::vector<J> draw(std::mt19937_64 &g, int t, size_t n, J band) {
  std::vector<J> v(n);
  for (auto &e : v) {
    UJ r = g();
    if (r % 17 == 0) e = r % 2 ? lo_of(t) : hi_of(t);
    else e = std::clamp<J>((J)(r >> 8) % band - band / 2, lo_of(t), hi_of(t));
  }
  return v;
}

TEST(Bin, EqualsUpperBoundForEveryWidth) {
  vmt::boot();
  std::mt19937_64 g(7);
  const int ts[] = {tBYTE, tSHORT, tINT, tLONG};
  const size_t xs[] = {0, 1, 2, 9, 127, 128, 129, 1000, 40000};
  const size_t ys[] = {0, 1, 7, 8, 9, 1000};
  for (int tx : ts)
    for (int ty : ts)
      for (size_t n : xs)
        for (size_t m : ys) {
          J band = n > 500 ? 4 * (J)n : 64;
          std::vector<J> xv = draw(g, tx, n, band), yv = draw(g, ty, m, band);
          std::sort(xv.begin(), xv.end());
          V x = mk(tx, xv), r = bin(x, mk(ty, yv));
          ASSERT_TRUE(r) << zkt::etext();
          ASSERT_EQ(nx(r), m);
          // Byte x answers through the histogram lambda at its own width.
          if (tx != tBYTE && m) {
            EXPECT_EQ(tp(r), n ? tZ((J)n - 1) : tLONG) << n;
          }
          std::vector<J> got = items(r);
          for (size_t j = 0; j < m; j++) {
            // A byte x caps wider probes at 127 and answers -1 below -128.
            J v = yv[j];
            J want = tx == tBYTE && v < -128
                         ? -1
                         : (J)(std::upper_bound(xv.begin(), xv.end(), std::min<J>(v, tx == tBYTE ? 127 : v)) -
                               xv.begin()) - 1;
            ASSERT_EQ(got[j], want) << "x type " << tx << " y type " << ty << " n " << n << " j " << j;
          }
          mr(r);
          mr(x);
        }
}

TEST(Bin, FloatsFollowTheirOrderKeys) {
  vmt::boot();
  std::mt19937_64 g(11);
  const F NaN = zkt::dbl(NF_BITS);
  for (size_t n : {0, 1, 8, 300, 5000})
    for (size_t m : {0, 1, 7, 8, 9, 1000}) {
      std::vector<F> xv(n), yv(m);
      auto pick = [&](F &e) {
        UJ r = g();
        e = r % 13 == 0 ? NaN : r % 11 == 0 ? -0.0 : (F)((J)(r >> 12) % 2000 - 1000) / 8;
      };
      for (F &e : xv) pick(e);
      for (F &e : yv) pick(e);
      // The order: every NaN first, then by value with the zeros equal.
      auto key = [](F d) { return d != d ? -INFINITY : d == 0 ? 0.0 : d; };
      auto less = [&](F a, F b) { return (a != a && b == b) || (a == a && b == b && key(a) < key(b)); };
      std::stable_sort(xv.begin(), xv.end(), less);
      V x = aV(tFLT, (U)n, xv.data()), r = bin(x, aV(tFLT, (U)m, yv.data()));
      ASSERT_TRUE(r) << zkt::etext();
      std::vector<J> got = items(r);
      for (size_t j = 0; j < m; j++) {
        J want = (J)(std::upper_bound(xv.begin(), xv.end(), yv[j], less) - xv.begin()) - 1;
        ASSERT_EQ(got[j], want) << n << " " << j << " " << yv[j];
      }
      mr(r);
      mr(x);
    }
}

TEST(Bin, SymbolsByText) {
  vmt::boot();
  // Short names live in the thread's ring of text slots, long ones in the
  // pool: both kinds on both sides.
  std::vector<std::string> w = {"", "a", "ab", "abc", "abcd", "abcde", "b", "longer_name", "zz", "zzzzzzzz"};
  std::vector<std::string> xs = w;
  std::sort(xs.begin(), xs.end());
  V x = an((U)xs.size(), tSYM), y = an((U)w.size() + 2, tSYM);
  for (size_t i = 0; i < xs.size(); i++) PI(x)[i] = us(xs[i].c_str());
  std::vector<std::string> ys = w;
  ys.push_back("aa");
  ys.push_back("zzzzzzzzz");
  for (size_t i = 0; i < ys.size(); i++) PI(y)[i] = us(ys[i].c_str());
  V r = bin(x, y);
  ASSERT_TRUE(r);
  std::vector<J> got = items(r);
  for (size_t j = 0; j < ys.size(); j++)
    EXPECT_EQ(got[j], (J)(std::upper_bound(xs.begin(), xs.end(), ys[j]) - xs.begin()) - 1) << ys[j];
  mr(r);
  mr(x);
}

TEST(Bin, FailuresLeakNothing) {
  vmt::boot();
  fails_leak_nothing(vmt::ev, {"1000 2000' `a", "1000 2000' {x}", "2024.01.01 2024.01.02' 1 2",
                               "`a`b' 1 2", "1.5 2.5' `a", "(1;`a)' 1"});
  EXPECT_EQ(vmt::leak("1000 2000 3000' 1000 2500 0"), 0u);
  EXPECT_EQ(vmt::leak("1 2 3' -200 5 200"), 0u);
  EXPECT_EQ(vmt::leak("0.5 1.5' 1 0n"), 0u);
  EXPECT_EQ(vmt::leak("(`a`b!1000 2000)' 1500"), 0u);
}

// atok answers what the builtins would check, and raises nothing.
TEST(Attr, AtokChecksTheClaim) {
  vmt::boot();
  struct C {
    const char *x;
    int k;
    bool want;
  } cs[] = {
      {"1 2 2 3", 1, true},   {"1 3 2", 1, false},     {"0n 1 2.0", 1, true},
      {"2 0n 1.0", 1, false}, {"`a`b`c", 1, true},     {"`b`a", 1, false},
      {"1 2 3", 2, true},     {"1 2 2", 2, false},     {"0.0 -0.0", 2, false},
      {"1 1 2 2", 3, true},   {"1 2 1", 3, false},     {"0#1 2", 3, true},
      {"3 1 2", 4, true},     {"(1;`a)", 1, false},   {"1 2 3", 5, false},
      {"1 2 3", 0, false},    {"!3", 1, false},        {"2024.01.01 2024.01.02", 1, true},
  };
  for (auto &c : cs) {
    V x = vmt::ev(c.x);
    ASSERT_TRUE(x) << c.x;
    eclr();
    EXPECT_EQ(atok(x, c.k), c.want) << c.x << " " << c.k;
    EXPECT_EQ(elen(), 0u) << c.x;
    mr(x);
  }
}

}  // namespace
