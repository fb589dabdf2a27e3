// Tests of membership (membC) against a set model over the bitmap and
// hash paths, serial and on the pool; and of the random draws of ? and ?n
// against the generator's own float draw.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include <algorithm>
#include <cstring>

#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "vmutil.h"

using namespace zk;
using zkt::mk;

namespace {

V memb2(V x, V y) { return membC(aA2(x, y)); }

// Values of type t from the band [c - w, c + w], with -1 and the type's
// extremes mixed in.
std::vector<J> draw(std::mt19937_64 &g, int t, size_t n, J c, J w) {
  J lo = t == tSHORT ? -32768 : t == tINT ? INT32_MIN : INT64_MIN;
  J hi = t == tSHORT ? 32767 : t == tINT ? INT32_MAX : INT64_MAX;
  std::vector<J> v(n);
  for (auto &e : v) {
    UJ r = g();
    if (r % 29 == 0) e = r % 3 == 0 ? lo : r % 3 == 1 ? hi : -1;
    else e = std::clamp<J>(c + (J)((r >> 8) % (UJ)(2 * w + 1)) - w, lo, hi);
  }
  return v;
}

TEST(Memb, AgreesWithASetModel) {
  vmt::boot();
  std::mt19937_64 g(5);
  const int ts[] = {tSHORT, tINT, tLONG};
  // Narrow bands take the bitmap, the wide one (over 2^26 values) the hash.
  const J bands[] = {100, 40000, (J)1 << 40};
  for (const char *th : {"1", "8"}) {
    EnvThreads e(th);
    for (int tx : ts)
      for (int ty : ts)
        for (J w : bands)
          for (size_t n : {0, 1, 32767, 32768, 40000})
            for (size_t m : {1, 7, 30000, 40000}) {
              if (n > 1 && m > 1 && (n + m) % 3) continue;  // a spread of the sizes suffices
              std::vector<J> xv = draw(g, tx, n, 0, w), yv = draw(g, ty, m, 0, w);
              std::set<J> s(yv.begin(), yv.end());
              V r = memb2(mk(tx, xv), mk(ty, yv));
              ASSERT_TRUE(r) << zkt::etext();
              ASSERT_EQ(tp(r), tBYTE);
              ASSERT_EQ(nx(r), n);
              for (size_t i = 0; i < n; i++)
                ASSERT_EQ(P(r)[i], (G)s.count(xv[i])) << th << " " << tx << " " << ty << " " << w << " " << i;
              mr(r);
            }
  }
}

TEST(Memb, EdgesAndKinds) {
  vmt::boot();
  struct C {
    const char *src, *want;
  } cs[] = {
      {"`memb (1000 2000 3000;2000 5000)", "0 1 0"},
      {"`memb (2000;2000 5000)", "1"},
      {"`memb (2001;2000 5000)", "0"},
      {"@`memb (2000;2000 5000)", "`i"},
      {"`memb (1000 2000 3000;0#2000 5000)", "0 0 0"},
      {"`memb (1000;0#2000 5000)", "0"},
      {"`memb (-1 1000 5;(-1;100000000000))", "1 0 0"},
      {"`memb (-1 1000 5;(0;100000000000))", "0 0 0"},
      {"`memb (0N 5 6 -5;0N 5)", "1 1 0 0"},
      {"`memb (0N 0W -0W;0N 0W)", "1 1 0"},
      {"`memb (`a`b`c;`b`d)", "0 1 0"},
      {"`memb (`a`b`c;1000 2000)", "()"},
      {"`memb (1000 2000;`a`b)", "()"},
      {"`memb (1 2 3;1000 2000)", "()"},
      {"`memb (1000 2000;1.5 2)", "()"},
      {"`memb (\"ab\";\"a\")", "()"},
      {"`memb (1000 2000;2000)", "()"},
      {"`memb (`a;`a`b)", "()"},
      {"`memb ()", "'type"},
      {"`memb 1000 2000", "'type"},
      {"`memb (1000;2000;3000)", "'type"},
  };
  for (auto &c : cs) {
    V r = vmt::ev(c.src);
    std::string got = vmt::ename();
    if (r) {
      r = kst(r);
      got.assign(PC(r), nx(r));
      mr(r);
    }
    EXPECT_EQ(got, c.want) << c.src;
  }
  EXPECT_EQ(vmt::leak("`memb (!40000;100000000000+!40000)"), 0u);
  EXPECT_EQ(vmt::leak("`memb (!40000;1000+!40000)"), 0u);
  fails_leak_nothing(vmt::ev, {"`memb 1000 2000", "`memb (1000;2000;3000)"});
}

// ?n takes the generator's float draws one after another, and n?f is the
// same draws times f.
TEST(Draw, FloatsAreTheGeneratorsDraws) {
  vmt::boot();
  Rst s0 = tl.pst;
  std::vector<F> want;
  for (int i = 0; i < 9; i++) want.push_back(r01());
  Rst s1 = tl.pst;
  tl.pst = s0;
  V r = unq(ai(9));
  ASSERT_TRUE(r);
  ASSERT_EQ(tp(r), tFLT);
  for (int i = 0; i < 9; i++) EXPECT_EQ(zkt::bits(PF(r)[i]), zkt::bits(want[i])) << i;
  EXPECT_EQ(memcmp(&tl.pst, &s1, sizeof s1), 0);
  mr(r);
  tl.pst = s0;
  V f = af(2.5);
  r = que(ai(9), f);
  ASSERT_TRUE(r);
  for (int i = 0; i < 9; i++) EXPECT_EQ(PF(r)[i], want[i] * 2.5) << i;
  mr(r);
  struct C {
    V n;
    const char *err;
  } bad[] = {{ai(-1), "'domain"}, {al(4294967296), "'limit"}};
  for (auto &c : bad) {
    EXPECT_FALSE(unq(c.n));
    EXPECT_EQ(vmt::ename(), c.err);
  }
  r = unq(ai(0));
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tFLT);
  EXPECT_EQ(nx(r), 0u);
  mr(r);
  r = unq(al(3));
  ASSERT_TRUE(r);
  EXPECT_EQ(nx(r), 3u);
  mr(r);
}

}  // namespace
