// Tests of find (fnd) with its answers before the ? verb maps them: widths,
// nulls, the kernels, and every search path against a first-position
// model; and of parallel dictionary encoding (penc, senc).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "core/pool.h"
#include "eval/eval.h"
#include "list/list.h"
#include "order/order.h"
#include "io/io.h"
#include "vmutil.h"

using namespace zk;
using zkt::aval;
using zkt::items;
using zkt::mk;

namespace {

V ev(const char *s) {
  V r = vmt::ev(s);
  EXPECT_TRUE(r) << s << ": " << zkt::etext();
  return r;
}

// The source form of fnd(x, y) for two source texts, or the error's name.
std::string fs(const char *x, const char *y) {
  V a = ev(x), b = ev(y);
  if (!a || !b) return "?";
  V r = fnd(a, b);
  mr(a);
  if (!r) return vmt::ename();
  V s = kst(r);
  std::string t(PC(s), nx(s));
  mr(s);
  return t;
}

TEST(Find, AnswersBeforeMapping) {
  vmt::boot();
  struct C {
    const char *x, *y, *want;
  } cs[] = {
      {"1 2 3", "2", "1"},
      {"1 2 3", "5", "0N"},
      {"1 2 3", "2 9 1", "1 0N 0"},
      {"0N 5 7", "5", "1"},
      {"0N 5 7", "0N 7 8", "0 2 0N"},
      {"0.0 1 0n", "-0.0", "0"},
      {"0.0 1 0n 2", "0n", "2"},
      {"-0.0 1", "0.0", "0"},
      {"1.5 2.5", "2", "0N"},
      {"`a`b`c", "\"ab\"", "0N 0N"},
      {"1 2 3", "\"ab\"", "'type"},
      {"1 2 3", "\"a\"", "'type"},
      {"\"ab\"", "1 2", "'type"},
      {"\"ab\"", "(\"a\";1)", "'type"},
      {"\"abc\"", "`a", "0N"},
      {"\"abc\"", "\"cz\"", "2 0N"},
      {"\"abc\"", "\"c\"", "2"},
      {"(\"ab\";\"cd\")", "\"cd\"", "1"},
      {"(\"ab\";\"cd\")", "(\"cd\";\"ab\")", "1 0"},
      {"(\"ab\";\"cd\")", "\"c\"", "'rank"},
      {"(1;`a;\"xy\")", "`b", "0N"},
      {"(1 2;3 4)", "(3 4;5 6)", "1 0N"},
      {"`a`b`c!10 20 10", "10", "`a"},
      {"`a`b`c!10 20 10", "10 30", "`a`"},
      {"1 2 3", "`a`b!(2;5)", "`a`b!1 0N"},
      {"+`a`b!(1 2 3;4 5 6)", "(2;5)", "1"},
      {"+`a`b!(1 2 3;4 5 6)", "(2;6)", "0N"},
      {"+`a`b!(1 2 3;4 5 6)", "+`a`b!(3 2 1;6 5 5)", "2 1 0N"},
      {"+`a`b!(1 2 3;4 5 6)", "`b`a!(6;3)", "2"},
      {"+(,`k)!,`x`y`z", "`z", "2"},
      {"+(,`k)!,`x`y`z", "`q", "0N"},
      {"+(,`k)!,`x`y`z", "+(,`k)!,`z`q", "2 0N"},
      {"1 2 3", "+`a`b!(,2;,5)", "+`a`b!(,1;,0N)"},
  };
  for (auto &c : cs) EXPECT_EQ(fs(c.x, c.y), c.want) << c.x << " ? " << c.y;
}

// Answer types: an int atom for a found atom, the narrowest width for a
// vector with everything found, longs once something is missing.
TEST(Find, Widths) {
  vmt::boot();
  V x = mk(tINT, {5, 6, 7});
  V r = fnd(x, ai(6));
  EXPECT_EQ(r, ai(1));
  r = fnd(x, ai(9));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(PL(r)[0], NJ);
  mr(r), mr(x);
  // 100,000 longs searched for 50,000 keys.
  std::vector<J> xs(100000), ys(50000);
  for (J i = 0; i < 100000; i++) xs[i] = i * 7919 % 100003;
  for (J i = 0; i < 50000; i++) ys[i] = xs[99999 - 2 * i];
  x = mk(tLONG, xs);
  r = fnd(x, mk(tLONG, ys));
  EXPECT_EQ(tp(r), tINT);
  for (J i = 0; i < 50000; i++) ASSERT_EQ(PI(r)[i], 99999 - 2 * i);
  mr(r);
  ys[123] = -5;
  r = fnd(x, mk(tLONG, ys));
  EXPECT_EQ(tp(r), tLONG);
  EXPECT_EQ(PL(r)[123], NJ);
  EXPECT_EQ(PL(r)[124], 99999 - 248);
  mr(r), mr(x);
  // A byte x whose last new byte first stands at position 199: shorts,
  // though every item searched for lies early in x.
  std::vector<J> bs(200, 1);
  bs[0] = 2, bs[1] = 3, bs[199] = 4;
  x = mk(tBYTE, bs);
  r = fnd(x, mk(tBYTE, {3, 2, 1}));
  EXPECT_EQ(tp(r), tSHORT);
  EXPECT_EQ(items(r), (std::vector<J>{1, 0, 2}));
  mr(r);
  bs[199] = 1;  // the largest position is now 2: bytes
  mr(x), x = mk(tBYTE, bs);
  r = fnd(x, mk(tBYTE, {3, 2, 1}));
  EXPECT_EQ(tp(r), tBYTE);
  mr(r);
  r = fnd(x, mk(tBYTE, {3, 9}));  // a missing byte: longs with 0N
  EXPECT_EQ(tp(r), tLONG);
  EXPECT_EQ(items(r), (std::vector<J>{1, NJ}));
  mr(r);
  r = fnd(x, mk(tLONG, {3, 300}));  // 300 is no byte
  EXPECT_EQ(items(r), (std::vector<J>{1, NJ}));
  mr(r);
  EXPECT_FALSE(fnd(x, ac('a')));  // text in a byte vector
  EXPECT_EQ(vmt::ename(), "'type");
  mr(x);
}

// Binary search of a sorted x answers the first of equal items.
TEST(Find, SortedFirstOfEqual) {
  vmt::boot();
  for (int t : {tSHORT, tINT, tLONG}) {
    V x = mk(t, {1, 3, 3, 3, 5, 5, 9});
    hd(x)->attr = 1;
    V r = fnd(x, mk(tLONG, {3, 5, 9, 1, 4, 0, 10, 100000}));
    EXPECT_EQ(items(r), (std::vector<J>{1, 4, 6, 0, NJ, NJ, NJ, NJ})) << t;
    mr(r);
    r = fnd(x, ai(5));
    EXPECT_EQ(r, ai(4));
    mr(x);
  }
}

// The first position of each item of y in x by a map filled from the last
// item of x, so that the first position wins.
std::vector<J> model(const std::vector<J> &x, const std::vector<J> &y) {
  std::map<J, J> m;
  for (size_t i = x.size(); i--;) m[x[i]] = (J)i;
  std::vector<J> r;
  for (J v : y) r.push_back(m.count(v) ? m[v] : NJ);
  return r;
}

V vec(int t, const std::vector<J> &v) {
  if (t == tSYM || t == tDATE || t == tTSTAMP) {
    V x = mk(Tw[t] == 5 ? tINT : tLONG, v);
    hd(x)->type = (int8_t)t;
    return x;
  }
  return mk(t, v);
}

// Every path (per item, position table, hash, parallel lookups) against
// the model, for every width and for thread counts 1, 2 and 64.
TEST(Find, PathsMatchModel) {
  vmt::boot();
  std::mt19937_64 g(28);
  struct S {
    int tx, ty;
    U n, m;
    J lo, span;
  } ss[] = {
      {tSHORT, tSHORT, 20, 5, -10, 30},         // per item
      {tSHORT, tLONG, 300, 400, -100, 200},     // position table
      {tINT, tBYTE, 500, 600, -60, 120},        // position table, byte y
      {tINT, tINT, 900, 900, -1000000, 3000000},  // hash
      {tLONG, tLONG, 5000, 70000, -(1ll << 40), 1ll << 41},  // hash, parallel
      {tLONG, tINT, 3000, 80000, -2000, 30000},  // position table, parallel
      {tSYM, tSYM, 2000, 50000, 0, 5000},      // symbols
      {tDATE, tDATE, 3000, 40000, -400, 900},
      {tTSTAMP, tTSTAMP, 4000, 40000, -(1ll << 50), 1ll << 51},
      {tLONG, tLONG, 40, 100000, INT64_MIN, 0},  // 0N beside small items
      // hashes built in parallel, many equal keys racing for one slot
      {tLONG, tLONG, 300000, 100000, -50000, 100000},
      {tINT, tSHORT, 200000, 40000, -30000, 60000},
      {tSHORT, tSHORT, 100000, 50, -32768, 65535},
      // x at least twice as long as y: the hash over y, x read in chunks
      // whose first positions of a key race (many equal items)
      {tLONG, tLONG, 400000, 1000, -(1ll << 40), 1ll << 41},
      {tLONG, tBYTE, 200000, 3000, -100, 100000},
      {tINT, tINT, 300000, 20, -5000000, 10000000},
      {tINT, tSHORT, 150000, 70000, -40000, 80000},
      {tSYM, tSYM, 200000, 5000, 0, 100000},
  };
  for (auto &s : ss)
    for (const char *T : {"1", "2", "64"}) {
      EnvThreads e(T);
      std::vector<J> xs(s.n), ys(s.m);
      for (auto &v : xs) v = s.lo + (J)(g() % (UJ)(s.span + 1));
      if (s.lo == INT64_MIN)
        for (U i = 0; i < s.n; i++) xs[i] = i % 3 ? (J)(g() % 50) : NJ;
      for (auto &v : ys) v = g() % 3 ? xs[g() % s.n] : s.lo + (J)(g() % (UJ)(s.span + 1)) + (g() % 2) * s.span;
      for (auto &v : ys)  // y's items as its width stores them
        v = Tw[s.ty] == 4 ? (int16_t)v : Tw[s.ty] == 5 ? (I)v : Tw[s.ty] == 3 ? (int8_t)v : v;
      std::vector<J> want = model(xs, ys);
      V x = vec(s.tx, xs);
      V r = fnd(x, vec(s.ty, ys));
      ASSERT_TRUE(r);
      EXPECT_EQ(items(r), want) << s.tx << " " << s.n << " " << s.m << " T=" << T;
      bool miss = false;
      for (J v : want) miss |= v == NJ;
      if (!miss) { EXPECT_EQ(tp(r), tZ((J)s.n - 1)); }
      else EXPECT_EQ(tp(r), tLONG);
      mr(r), mr(x);
    }
}

// The dyadic ? maps 0N to the count of x and narrows.
TEST(Find, CountMapping) {
  vmt::boot();
  V r = fqm(al(NJ), 3);
  EXPECT_EQ(r, ai(3));
  r = fqm(mk(tLONG, {1, NJ, 0}), 3);
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (std::vector<J>{1, 3, 0}));
  mr(r);
  r = fqm(ai(1), 3);
  EXPECT_EQ(r, ai(1));
  V x = mk(tLONG, {10, 20, 30});
  r = que(x, mk(tLONG, {40, 20}));
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (std::vector<J>{3, 1}));
  mr(r), mr(x);
}

// Failures release what they were given.
TEST(Find, FailuresLeakNothing) {
  vmt::boot();
  fails_leak_nothing(vmt::ev, {"1 2 3?\"ab\"", "(\"ab\";\"cd\")?\"c\"", "0x01?\"a\"",
                               "(+`a`b!(1 2;3 4))?`a`c!(1;3)", "(+`a`b!(1 2;3 4))?(1;2;3)",
                               "2.5?1", "`j?1"});
}

// ---- dictionary encoding ----

TEST(Penc, FirstOccurrenceForEveryThreadCount) {
  vmt::boot();
  std::mt19937_64 g(7);
  U n = 100000;
  std::vector<J> xs(n);
  for (auto &v : xs) v = (J)(g() % 997) - 400;
  xs[0] = 123456;  // chunk 0, and again in chunk 3 of 7
  xs[3 * n / 7 + 5] = 123456;
  std::vector<J> dist;
  std::map<J, J> seen;
  for (J v : xs)
    if (!seen.count(v)) seen[v] = (J)dist.size(), dist.push_back(v);
  for (int t : {tLONG, tSYM}) {
    V x = vec(t, xs);
    for (int T : {1, 2, 3, 7, 64}) {
      V u, i;
      ASSERT_EQ(penc(x, T, &u, &i), 0);
      EXPECT_EQ(tp(u), t);
      EXPECT_EQ(items(u), dist) << T;
      EXPECT_EQ(PI(i)[3 * n / 7 + 5], 0);
      bool ok = nx(i) == n;
      for (U k = 0; ok && k < n; k++) ok = dist[PI(i)[k]] == xs[k];
      EXPECT_TRUE(ok) << "u@i is x, T=" << T;
      mr(u), mr(i);
      ASSERT_EQ(penc(x, T, &u, nullptr), 0);  // no ids
      EXPECT_EQ(items(u), dist);
      mr(u);
    }
    mr(x);
  }
}

TEST(Penc, AllEqual) {
  vmt::boot();
  V x = vec(tSYM, std::vector<J>(70000, 42)), u, i;
  ASSERT_EQ(penc(x, 5, &u, &i), 0);
  EXPECT_EQ(items(u), (std::vector<J>{42}));
  bool zero = true;
  for (U k = 0; k < nx(i); k++) zero &= PI(i)[k] == 0;
  EXPECT_TRUE(zero);
  mr(u), mr(i), mr(x);
}

TEST(Penc, Senc) {
  vmt::boot();
  {
    EnvThreads e("4");
    V r = ev("x:70000#`a`b`c`d`e`f`g;`senc[x]");
    ASSERT_EQ(tp(r), tLIST);
    ASSERT_EQ(nx(r), 2u);
    V s = ev("x~(`senc[x])[0]@(`senc[x])[1]");
    EXPECT_EQ(s, ai(1));
    mr(r);
    for (const char *c : {"`senc[65535#`a`b]", "`senc[70000#1 2]", "`senc[`a]", "`senc[1]"}) {
      r = ev(c);
      EXPECT_EQ(tp(r), tLIST) << c;
      EXPECT_EQ(nx(r), 0u) << c;
      mr(r);
    }
  }
  EnvThreads e("1");
  V r = ev("`senc[70000#`a`b]");
  EXPECT_EQ(nx(r), 0u);
  mr(r);
}

}  // namespace
