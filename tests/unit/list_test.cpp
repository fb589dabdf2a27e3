// list_test.cpp: what the language cases cannot reach of item access,
// indexing and join: every vector type read outside, empties built
// directly, fold identities by kind, the gather kernels against a plain
// model on random indexes of every width, the parallel and small-index
// paths against the general one, boolean joins at every bit offset, the
// cost of pushing, and the memory of failing joins.
#include <gtest/gtest.h>
#include <chrono>
#include <random>
#include <string>
#include <vector>
#include "core/err.h"
#include "core/pool.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "order/order.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct List : ::testing::Test {
  void SetUp() override { boot_once(); }
};

using zkt::ks;
V ev(const char *s) { return evn(s, nullptr, 0); }

// A vector of type t with n items of pseudo-random content (any bits).
V rnd(int t, U n, std::mt19937_64 &g) {
  V x = an(n, t);
  UJ b = dbytes(n, t);
  for (UJ i = 0; i < b; i++) P(x)[i] = (G)g();
  if (t == tFLT)
    for (U i = 0; i < n; i++) PF(x)[i] = (F)(J)(g() % 2001) / 8 - 100;
  return x;
}

// Item i of a flat vector as a 64-bit word (narrow items sign-extended).
J raw(V x, UJ i) {
  int t = tp(x);
  if (t == tBOOL) return (P(x)[i >> 3] >> (i & 7)) & 1;
  switch (Tw[t]) {
    case 3: return P<int8_t>(x)[i];
    case 4: return P<int16_t>(x)[i];
    case 5: return PI(x)[i];
    default: return PL(x)[i];
  }
}

// The null word of a result of type t.
J nullw(int t) {
  switch (t) {
    case tFLT: return (J)NF_BITS;
    case tCHR: return ' ';
    case tSYM: return 0;
    case tDATE: case tTIME: case tMINUTE: case tSECOND: case tMONTH: return NI;
    default: return NJ;
  }
}

}  // namespace

// Reading at the count, at -1 and at 2^32+1 fills with the null of the
// items, for every vector type, ranges and lists.
TEST_F(List, ReadingOutsideFillsEveryType) {
  std::mt19937_64 g(5);
  for (int t = tBOOL; t <= tTSPAN; t++) {
    V x = rnd(t, 3, g);
    for (J i : {(J)3, (J)-1, (J)4294967297ll}) {
      V r = io(x, i);
      EXPECT_TRUE(mtc_(r, cn[t])) << "type " << t << " at " << i << ": " << ks(_r(r));
      EXPECT_EQ(tp(r), tp(cn[t])) << t;
      mr(r);
    }
    mr(x);
  }
  V r = aE(5, 8);
  EXPECT_EQ(ks(io(r, 3)), "0N");
  EXPECT_EQ(ks(io(r, 2)), "7");
  mr(r);
  r = aE(2147483646, 2147483650);  // inside: ints, then boxed longs past 32 bits
  EXPECT_EQ(tp(io(r, 1)), tINTA);
  V b = io(r, 3);
  EXPECT_EQ(tp(b), tLONGA);
  mr(b), mr(r);
  V l = ev("(\"ab\";\"cd\")");
  EXPECT_EQ(ks(io(l, 2)), "\"\"");  // strings past the end: empty strings
  mr(l);
}

TEST_F(List, ItemsOfEachKind) {
  V b = an(10, tBOOL);
  memset(P(b), 0, 2);
  P(b)[1] = 2;  // item 9
  EXPECT_EQ(ii(b, 9), ai(1));
  EXPECT_EQ(ii(b, 8), ai(0));
  mr(b);
  V c = aCz("a\xff");
  EXPECT_EQ(ip(ii(c, 1)), -1);
  mr(c);
}

// First and last of empties: the prototype of a list, the null of a
// vector's items, a row of nulls for a rowless table.
TEST_F(List, FirstAndLastOfEmpties) {
  EXPECT_EQ(ks(fir(emp())), "\"\"");
  V e = aA0(0);
  mr(PA(e)[0]);
  PA(e)[0] = _r(ce[tLONG]);
  V f = fir(_r(e));
  EXPECT_EQ(f, ce[tLONG]);
  mr(f);
  EXPECT_EQ(las(e), ce[tLONG]);
  mr(ce[tLONG]);
  EXPECT_EQ(ks(las(ai(7))), "7");
  for (int t = tBOOL; t <= tTSPAN; t++) {
    V r = fir(_r(ce[t])), s = las(_r(ce[t]));
    EXPECT_TRUE(mtc_(r, cn[t]) && mtc_(s, cn[t])) << t;
    mr(r), mr(s);
  }
  // The rows are gone; a general-list column keeps its prototype (blanks
  // shaped like its first string).
  V t = ev("(+`a`b`c!(1 2;`x`y;(\"pp\";\"qq\")))()");
  ASSERT_TRUE(t) << etext();
  EXPECT_EQ(ks(fir(_r(t))), "`a`b`c!(0N;`;\"  \")");
  EXPECT_EQ(ks(las(t)), "`a`b`c!(0N;`;\"  \")");
  V k = ev("(+(,`k)!,1 2)!+(,`v)!,3 4");
  EXPECT_EQ(ks(fir(_r(k))), "(,`v)!,3");
  EXPECT_EQ(ks(las(k)), "(,`v)!,4");
  // A table without columns: names with an empty value list.
  V nt = aM(_r(ce[tSYM]), aA0(0));
  V row = fir(nt);
  ASSERT_EQ(tp(row), tDICT);
  EXPECT_EQ(PA(row)[1], ce[tCHR]);  // item 0 of the prototype "", a blank, enlisted and emptied
  mr(row);
}

// The identity of a verb for the kind of a value (iex), and the seed of a
// fold (ie), which only the first item decides.
TEST_F(List, FoldSeedsByKind) {
  struct {
    U slot;
    const char *y, *want;
  } cs[] = {
      {1, "1.5 2 3", "0.0 0.0 0.0"},
      {3, "1.5 2", "1.0 1.0"},
      {6, "1.5 2", "0w 0w"},
      {7, "1.5 2", "-0w -0w"},
      {6, "1 2", "9223372036854775807 9223372036854775807"},
      {9, "1 2", "9223372036854775807 9223372036854775807"},
      {8, "1 2", "-9223372036854775807 -9223372036854775807"},
      {10, "1 2", "0N 0N"},
      {0, "1.5 2", "0n 0n"},
      {2, "`a`b", "``"},
      {6, "`a`b", "``"},
      {1, "(1;2.5)", "(0;0.0)"},
      {1, "`a`b!1.5 2", "`a`b!0.0 0.0"},
  };
  for (auto &c : cs) EXPECT_EQ(ks(iex(mp2(c.slot), ev(c.y))), c.want) << c.slot << " " << c.y;
  struct {
    U slot;
    const char *x, *want;
  } fs[] = {
      {1, "(1 2 3 4;5)", "0 0 0 0"},
      {1, "1.5 2 3", "0.0"},
      {12, "1 2", "!0"},
      {12, "(1;`a)", "()"},
      {12, "+`a`b!(1 2;3 4)", "()"},
  };
  for (auto &c : fs) {
    V x = ev(c.x);
    EXPECT_EQ(ks(ie(mp2(c.slot), x)), c.want) << c.slot << " " << c.x;
    mr(x);
  }
  V d = ev("`a`b!1 2");
  V r = ie(mp2(12), d);
  EXPECT_EQ(r, ce[tDICT]);
  mr(r), mr(d);
  // Chars: a payload per class (| 0, ! 127, & and > all bits).
  struct {
    U slot;
    I pay;
  } ch[] = {{7, 0}, {8, 0}, {5, 127}, {6, -1}, {9, -1}, {1, 0}, {3, 1}, {10, ' '}, {0, ' '}};
  for (auto &c : ch) EXPECT_EQ(iex(mp2(c.slot), ac('x')), imm(tCHRA, (U)c.pay)) << c.slot;
  V y = iex(mp2(7), aCz("ab"));
  ASSERT_EQ(tp(y), tCHR);
  EXPECT_EQ(PC(y)[0], 0);
  EXPECT_EQ(PC(y)[1], 0);
  mr(y);
  // A lambda seeds with nulls; a temporal atom gets a plain integer.
  V l = ev("{x+y}");
  EXPECT_EQ(ks(iex(l, ai(3))), "0N");
  EXPECT_EQ(ks(iex(l, af(3))), "0n");
  mr(l);
  EXPECT_EQ(iex(mp2(1), imm(tDATEA, 5)), ai(0));
  EXPECT_EQ(iex(0, ai(4)), ai(4));
  // The null of a boolean vector's shape: long nulls.
  EXPECT_EQ(ks(mkn(ev("0101b"))), "0N 0N 0N 0N");
}

// Every typed gather equals the plain model (take plus a null mask) on
// random indexes of every width, inside, outside and negative.
TEST_F(List, GathersMatchTheModel) {
  std::mt19937_64 g(21);
  for (int t = tBOOL; t <= tTSPAN; t++) {
    for (U c : {0u, 1u, 37u, 300u}) {
      V x = rnd(t, c, g);
      for (int it : {tBYTE, tSHORT, tINT, tLONG}) {
        for (int outside : {0, 1}) {
          U n = 1 + (U)(g() % 700);
          std::vector<J> ix(n);
          for (U k = 0; k < n; k++) {
            J lim = it == tBYTE ? 127 : (J)c + 2;
            ix[k] = c && !outside ? (J)(g() % c) : (J)(g() % (UJ)(2 * lim + 1)) - lim;
            if (outside && it == tLONG && k % 5 == 0) ix[k] = (J)(g() >> 1) * (k % 2 ? 1 : -1);
          }
          if (it == tBYTE)
            for (J &v : ix) v = (int8_t)v;
          if (it == tSHORT)
            for (J &v : ix) v = (int16_t)v;
          V y = zkt::mk(it, ix);
          V r = i1(x, y);
          ASSERT_TRUE(r) << etext();
          bool anyout = false;
          for (J v : ix) anyout |= (UJ)v >= c;
          int want = t == tBOOL ? (anyout ? tLONG : tBYTE)
                     : t <= tINT ? (anyout ? tLONG : t)
                                 : t;
          ASSERT_EQ(tp(r), want) << "type " << t << " count " << c << " index " << it;
          ASSERT_EQ(nx(r), n);
          for (U k = 0; k < n; k++) {
            J e = (UJ)ix[k] < c ? raw(x, (UJ)ix[k]) : nullw(want);
            ASSERT_EQ(raw(r, k), e) << "type " << t << " count " << c << " index " << it << " item " << k
                                    << " at " << ix[k];
          }
          mr(r);
        }
      }
      mr(x);
    }
  }
}

// The small-index path (up to 256 byte or short indexes on the stack)
// equals the general path; parallel gathers equal serial ones whatever
// the thread count, on both sides of the parallel threshold.
TEST_F(List, SmallParallelAndGeneralPathsAgree) {
  std::mt19937_64 g(7);
  for (int t : {tBYTE, tSHORT, tINT, tLONG, tFLT, tCHR, tSYM, tDATE, tTSTAMP}) {
    V x = rnd(t, 200, g);
    std::vector<J> ix(256);
    for (J &v : ix) v = (J)(g() % 230) - 10;
    V a = i1(x, zkt::mk(tSHORT, ix)), b = i1(x, zkt::mk(tINT, ix));
    EXPECT_TRUE(mtc_(a, b)) << t;
    EXPECT_EQ(tp(a), tp(b));
    mr(a), mr(b), mr(x);
  }
  for (int t : {tBYTE, tINT, tLONG, tFLT, tCHR, tSYM, tDATE}) {
    V x = rnd(t, 100000, g);
    for (U n : {65535u, 65536u, 70000u, 1000000u}) {
      std::vector<J> ix(n);
      for (J &v : ix) v = (J)(g() % 100010);
      V ref = 0;
      for (const char *th : {"1", "2", "64"}) {
        EnvThreads e(th);
        V r = i1(x, zkt::mk(tLONG, ix));
        ASSERT_TRUE(r);
        if (!ref) ref = r;
        else {
          EXPECT_TRUE(mtc_(ref, r)) << t << " n " << n << " threads " << th;
          mr(r);
        }
      }
      for (U k = 0; k < n; k += 997) ASSERT_EQ(raw(ref, k), (UJ)ix[k] < 100000 ? raw(x, (UJ)ix[k]) : nullw(tp(ref)));
      mr(ref);
    }
    mr(x);
  }
}

// An atom is every item of itself; a char indexes by its code; the elided
// index gives the value itself.
TEST_F(List, AtomsCharsAndElidedIndexes) {
  EXPECT_EQ(i1(ai(5), ai(3)), ai(5));
  V f = af(2.5);
  V r = i1(f, aCz("ab"));
  EXPECT_EQ(r, f);
  mr(r), mr(f);
  V s = aCz("abc");
  EXPECT_EQ(i1(s, ac('\001')), ac('b'));
  EXPECT_EQ(i1(s, ac('b')), ac(' '));
  r = i1(s, GNULL);
  EXPECT_EQ(r, s);
  mr(r), mr(s);
  EXPECT_EQ(ks(i1(s = ev("10 20 30"), af(1))), "'type");
  mr(s);
}

// A sorted dict is a step function: the value of the last key not
// greater than the index, the null below the first key.
TEST_F(List, StepDicts) {
  V d = am(aV(tLONG, 3, std::vector<J>{10, 20, 30}.data()), ev("`a`b`c"));
  hd(d)->attr = 1;
  EXPECT_EQ(ks(i1(d, ai(25))), "`b");
  EXPECT_EQ(ks(i1(d, ai(5))), "`");
  EXPECT_EQ(ks(i1(d, ai(30))), "`c");
  EXPECT_EQ(ks(i1(d, ev("5 10 29 99"))), "``a`b`c");
  EXPECT_EQ(ks(i1(d, af(20.5))), "`b");
  // Joining a step dict gives a plain dict.
  V j = cat(d, ev("(,`d)!,`x"));
  ASSERT_TRUE(j) << etext();
  EXPECT_EQ(hd(j)->attr, 0);
  EXPECT_EQ(hd(d)->attr, 1);
  EXPECT_EQ(ks(i1(j, ai(25))), "`");  // no longer a step function
  EXPECT_EQ(ks(i1(j, as(us("d")))), "`x");
  mr(d);
}

// Booleans joined at every bit offset equal the bit model, owned (in
// place) or shared (copied), and the bits past the count stay clear.
TEST_F(List, BooleanJoinsAtEveryOffset) {
  std::mt19937_64 g(3);
  for (U n = 0; n <= 130; n++) {
    for (U m : {0u, 1u, 7u, 63u, 64u, 65u, 130u}) {
      V x = rnd(tBOOL, n, g), y = rnd(tBOOL, m, g);
      std::vector<int> want;
      for (U i = 0; i < n; i++) want.push_back((int)raw(x, i));
      for (U i = 0; i < m; i++) want.push_back((int)raw(y, i));
      V keep = n % 2 ? _r(x) : 0;  // odd n: shared, so the join copies
      V r = cat10(x, y);
      ASSERT_EQ(tp(r), tBOOL);
      ASSERT_EQ(nx(r), n + m);
      for (U i = 0; i < n + m; i++) ASSERT_EQ(raw(r, i), want[i]) << n << "+" << m << " bit " << i;
      if (n && m && ((n + m) & 7)) { EXPECT_EQ(P(r)[(n + m) >> 3] >> ((n + m) & 7), 0) << n << "+" << m; }
      if (keep) {
        EXPECT_EQ(nx(keep), n);
        mr(keep);
      }
      mr(r), mr(y);
    }
  }
}

// The verb `,` never changes its left argument, even when it is the sole
// owner with room to spare.
TEST_F(List, JoinLeavesItsLeftArgument) {
  V x = aV(tLONG, 3, std::vector<J>{1, 2, 3}.data());
  V r = cat(x, ev("4 5"));
  EXPECT_EQ(nx(x), 3u);
  EXPECT_EQ(ks(r), "1 2 3 4 5");
  r = cat(x, al(9));
  EXPECT_EQ(nx(x), 3u);
  mr(r);
  EXPECT_EQ(ks(_r(x)), "1 2 3");
  mr(x);
  // The shared empty list joined with a vector gives that vector itself.
  V c = aCz("abc");
  r = cat(ce[tLIST], _r(c));
  EXPECT_EQ(r, c);
  mr(r), mr(c);
}

TEST_F(List, PushWidensAndEnlists) {
  V b = ev("1 2 3");
  ASSERT_EQ(tp(b), tBYTE);
  b = psh(b, ai(200));
  EXPECT_EQ(tp(b), tSHORT);
  EXPECT_EQ(ks(b), "1 2 3 200");
  V t = an(3, tBOOL);
  P(t)[0] = 2;  // 010b
  t = psh(t, ai(1));
  EXPECT_EQ(tp(t), tBOOL);
  EXPECT_EQ(raw(t, 3), 1);
  t = psh(t, ai(2));
  EXPECT_EQ(tp(t), tBYTE);
  mr(t);
  t = an(2, tBOOL);
  P(t)[0] = 1;
  t = psh(t, al(1));  // a long atom is no bit: bytes
  EXPECT_EQ(tp(t), tBYTE);
  EXPECT_EQ(zkt::items(t), (std::vector<J>{1, 0, 1}));
  mr(t);
  V f = psh(_r(ce[tFLT]), ai(4));  // an empty float vector and an int: one int
  EXPECT_EQ(tp(f), tINT);
  mr(f);
  V d = psh(ev("1 2"), as(us("a")));
  EXPECT_EQ(ks(d), "(1;2;`a)");
}

// Pushing is amortised constant time: ten times the pushes cost about ten
// times as much, not a hundred.
// Pushes grow the vector geometrically: it moves a logarithmic number of
// times, so n pushes copy O(n) items in all.  Counted, not timed, so a busy
// machine cannot decide.
TEST_F(List, PushesTakeAmortisedConstantTime) {
  const U n = 10000000;
  V x = aV(tLONG, 1, std::vector<J>{0}.data());
  U moves = 0;
  for (U i = 1; i < n; i++) {
    V y = psh(x, ai((I)i));
    moves += y != x;
    x = y;
  }
  EXPECT_EQ(nx(x), n);
  EXPECT_EQ(PL(x)[n - 1], (J)(n - 1));
  EXPECT_LE(moves, 48u);
  mr(x);
}

// A join that fails gives back everything it took over.
TEST_F(List, FailingJoinsLeakNothing) {
  V setup = ev("t:+`a`b!(1 2;`x`y);k:(+(,`k)!,1 2)!+(,`v)!,3 4");
  ASSERT_TRUE(setup) << etext();
  mr(setup);
  fails_leak_nothing(ev, {"t,+`c`d!(,1;,2)", "k,t", "t,k", "(`a`b!1 2),k", "k,`a`b!1 2", "1 2 3@`a",
                        "(1 2 3)[0;1]", "k 1", "t 1.5", "t 1.5 2.5", "t[1.5;0]"});
}

// Opt-in (ZK_BIG=1): a byte vector of 2^31+10 items read through long
// indexes above 2^31, and the index 2^32-1 that is always outside.
TEST_F(List, IndexesAboveTwoToThe31) {
  if (!getenv("ZK_BIG")) GTEST_SKIP() << "set ZK_BIG=1 to run";
  UJ c = (1ull << 31) + 10;
  V x = an((U)c, tBYTE);
  memset(P(x), 1, c);
  P<int8_t>(x)[c - 1] = 7;
  V r = i1(x, aV(tLONG, 3, std::vector<J>{(J)c - 1, (J)(1ull << 31), (J)c}.data()));
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tLONG);
  EXPECT_EQ(PL(r)[0], 7);
  EXPECT_EQ(PL(r)[1], 1);
  EXPECT_EQ(PL(r)[2], NJ);
  mr(r);
  mr(x);
}
