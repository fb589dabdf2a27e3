// count_test.cpp: what the language cases cannot show of reverse, type,
// the null test of atoms, the extreme indexes, rank and the kind test:
// result widths and identities, attributes, every type code's letter, a
// property run of the extreme indexes against numpy, and lists nested far
// deeper than the C stack allows a recursive walk.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
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

struct Count : ::testing::Test {
  void SetUp() override { boot_once(); }
  // failures tested here leave no error text behind for later tests
  void TearDown() override { eclr(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

template <class T> V vec(int t, const std::vector<T> &v) { return aV(t, (U)v.size(), v.data()); }

J atomJ(V r) {
  J v = gl_(r);
  mr(r);
  return v;
}

TEST_F(Count, ReverseOfEveryWidthAgreesWithTheModel) {
  std::mt19937_64 g(3);
  for (int t : {tBYTE, tCHR, tSHORT, tINT, tSYM, tDATE, tLONG, tFLT, tTSTAMP})
    for (U n : {2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 1000u}) {
      V x = an(n, t);
      for (UJ i = 0; i < dbytes(n, t); i++) P(x)[i] = (G)g();
      V y = _r(x), r = rev(y);
      ASSERT_NE(r, x) << "a new vector, type " << t;
      ASSERT_EQ(tp(r), t);
      ASSERT_EQ(nx(r), n);
      UJ w = dbytes(1, t);
      for (U i = 0; i < n; i++)
        ASSERT_EQ(memcmp(P(r) + i * w, P(x) + (n - 1 - i) * w, w), 0) << t << " " << n << " " << i;
      EXPECT_EQ(hd(x)->rc, 1u);
      mr(r), mr(x);
    }
}

TEST_F(Count, ReverseOfBitsAndAttributes) {
  for (U n : {1u, 7u, 8u, 9u, 64u, 65u, 200u}) {
    V x = an(n, tBOOL);
    memset(P(x), 0, dbytes(n, tBOOL));
    for (U i = 0; i < n; i += 3) P(x)[i >> 3] |= (G)(1 << (i & 7));
    V r = rev(_r(x));
    ASSERT_TRUE(r) << etext();
    ASSERT_EQ(tp(r), tBOOL);
    for (U i = 0; i < n; i++) EXPECT_EQ(iti(r, tBOOL, i), iti(x, tBOOL, n - 1 - i)) << n << " " << i;
    mr(r), mr(x);
  }
  // fewer than two items: the same object, unless it carries an attribute
  V x = vec<J>(tLONG, {5});
  V r = rev(_r(x));
  EXPECT_EQ(r, x);
  mr(r);
  hd(x)->attr = 1;
  V y = _r(x);
  r = rev(y);
  EXPECT_NE(r, x) << "shared: copied";
  EXPECT_EQ(hd(r)->attr, 0);
  EXPECT_EQ(PL(r)[0], 5);
  EXPECT_EQ(hd(x)->attr, 1) << "the original keeps its attribute";
  mr(r);
  r = rev(x);  // sole owner: cleared in place
  EXPECT_EQ(hd(r)->attr, 0);
  mr(r);
  // a sorted vector reversed loses the attribute
  x = vec<J>(tLONG, {1, 2, 3});
  hd(x)->attr = 1;
  r = rev(x);
  EXPECT_EQ(hd(r)->attr, 0);
  EXPECT_EQ(PL(r)[0], 3);
  mr(r);
}

TEST_F(Count, ReverseOfAListInPlaceOnlyWhenUnshared) {
  V x = ev("(1;\"a\";`b)");
  V y = _r(x), r = rev(y);
  EXPECT_NE(r, x);
  EXPECT_EQ(tp(PA(x)[0]), tINTA) << "the shared original is untouched";
  EXPECT_EQ(tp(PA(r)[0]), tSYMA);
  mr(r);
  r = rev(x);
  EXPECT_EQ(r, x);
  mr(r);
}

TEST_F(Count, TypeLettersOfEveryTypeCode) {
  const int imms[] = {tINTA, tCHRA, tSYMA, tMONAD, tDYAD, tADV, tNATIVE, tDATEA, tTIMEA,
                      tMINUTEA, tSECONDA, tMONTHA};
  for (int t = 1; t < NT; t++) {
    bool im = std::find(std::begin(imms), std::end(imms), t) != std::end(imms);
    V x;
    if (im) x = imm(t, 0);
    else {
      // a container's slot 0 starts as `::`, so one item is safe to release
      x = an(1, t);
      if (!iscont(t)) memset(P(x), 0, 8);
    }
    V r = typ(x);
    EXPECT_EQ(r, as((I)(G)TS[t])) << "type " << t;
  }
}

TEST_F(Count, NullTestOfAtoms) {
  I f = tl.f;
  tl.f = 3;
  struct {
    V x;
    I want;
  } cs[] = {
      {al(NJ), 1}, {al(0), 0}, {al(NJ + 1), 0}, {ai(0), 0}, {ai(INT32_MIN), 0}, {ai(5), 0},
      {imm(tDATEA, 0x80000000u), 1}, {imm(tDATEA, 0), 0}, {imm(tMONTHA, 0x80000000u), 1},
      {af(std::numeric_limits<F>::quiet_NaN()), 1}, {af(0), 0}, {ac(' '), 1}, {ac('a'), 0},
      {as(0), 1}, {as(us("a")), 0},
  };
  for (auto &c : cs) {
    V r = nlt(c.x);
    ASSERT_TRUE(r) << etext();
    EXPECT_EQ(r, ai(c.want)) << std::hex << c.x;
  }
  V ts = an(1, tTSTAMPA), sp = an(1, tTSPANA);
  PL(ts)[0] = NJ, PL(sp)[0] = 7;
  EXPECT_EQ(nlt(ts), ai(1));
  EXPECT_EQ(nlt(sp), ai(0));
  EXPECT_EQ(tl.f, 3) << "the operator slot is restored";
  tl.f = f;
}

TEST_F(Count, ExtremeIndexCases) {
  EXPECT_EQ(imn(vec<J>(tLONG, {3, 1, 2, 1})), ai(1));
  EXPECT_EQ(imx(vec<J>(tLONG, {1, 3, 3, 2})), ai(1));
  EXPECT_EQ(imn(vec<int8_t>(tBYTE, {-128, 127, -128})), ai(0));
  EXPECT_EQ(imx(vec<int8_t>(tBYTE, {-128, 127, 127})), ai(1));
  EXPECT_EQ(imx(vec<J>(tLONG, {NJ, WJ, NJ})), ai(1));
  EXPECT_EQ(imn(vec<J>(tLONG, {WJ, NJ})), ai(1));
  for (int t : {tBYTE, tSHORT, tINT, tLONG, tFLT, tCHR}) {
    EXPECT_EQ(atomJ(imn(an(0, t))), NJ) << t;
    EXPECT_EQ(atomJ(imx(an(0, t))), NJ) << t;
  }
  EXPECT_EQ(imn(aE(5, 10)), ai(0));
  EXPECT_EQ(imx(aE(5, 10)), ai(4));
  EXPECT_EQ(atomJ(imn(_r(ce[tBYTE]))), NJ);
  EXPECT_EQ(imn(aCz("ba")), ai(1));
  EXPECT_EQ(imx(aCz("a\x80z")), ai(1)) << "a char above 0x7F is above every ASCII char";
  EXPECT_EQ(imn(aCz("\x80z")), ai(1));
  F nan = std::numeric_limits<F>::quiet_NaN(), inf = INFINITY;
  EXPECT_EQ(imn(vec<F>(tFLT, {1.0, nan, -inf, nan})), ai(1)) << "NaN lowest";
  EXPECT_EQ(imx(vec<F>(tFLT, {nan, -0.0, 0.0, nan})), ai(1)) << "the two zeros are one key";
  // the generic path waits for the grades
  V r = imn(ev("(1;\"a\")"));
  EXPECT_FALSE(r);
  EXPECT_EQ(etext().substr(0, 4), "'nyi");
}

// imn and imx against numpy's argmin and argmax (nanargmax for floats) on
// every integer width and on floats with NaNs, infinities and both zeros.
TEST_F(Count, ExtremeIndexesAgreeWithNumpy) {
  const char *script = R"(
import sys, numpy as np
a = np.fromfile(sys.argv[1], dtype=np.int64)
out = []
i = 0
while i < len(a):
    w, n = int(a[i]), int(a[i + 1])
    v = a[i + 2:i + 2 + n]
    i += 2 + n
    if w == 8:
        f = v.view(np.float64)
        out += [np.argmin(f), np.nanargmax(f)]
    else:
        x = v.astype([np.int8, np.int16, np.int32, np.int64][w])
        out += [np.argmin(x), np.argmax(x)]
np.array(out, dtype=np.float64).tofile(sys.argv[2])
)";
  std::mt19937_64 g(11);
  std::vector<V> xs;
  std::vector<F> in;
  auto put = [&](J v) {
    F d;
    memcpy(&d, &v, 8);
    in.push_back(d);
  };
  const int ts[] = {tBYTE, tSHORT, tINT, tLONG};
  for (int rep = 0; rep < 40; rep++)
    for (int w = 0; w <= 4; w++)
      for (U n : {1u, 2u, 15u, 16u, 17u, 33u, 100u, 1000u}) {
        int t = w < 4 ? ts[w] : tFLT;
        V x = an(n, t);
        bool narrow = rep & 1;  // few distinct values: many ties
        for (U i = 0; i < n; i++) {
          UJ r = g();
          if (t == tFLT) {
            static const F sp[] = {NAN, -0.0, 0.0, INFINITY, -INFINITY, 1.5, -2.5};
            PF(x)[i] = narrow || (r & 7) == 0 ? sp[(r >> 8) % 7] : (F)(J)(r >> 11) / 1e9;
          } else {
            J v = narrow ? (J)(r % 5) - 2 : (J)r;
            if ((r >> 60) == 0) v = (J)(r >> 59 & 1 ? WJ : NJ);  // the width's ends
            switch (t) {
              case tBYTE: P<int8_t>(x)[i] = (int8_t)v; break;
              case tSHORT: P<int16_t>(x)[i] = (int16_t)v; break;
              case tINT: PI(x)[i] = (I)v; break;
              default: PL(x)[i] = v;
            }
          }
        }
        if (t == tFLT) {  // nanargmax needs a number
          bool num = false;
          for (U i = 0; i < n; i++) num |= PF(x)[i] == PF(x)[i];
          if (!num) PF(x)[0] = 1.0;
        }
        put(w == 4 ? 8 : w), put(n);
        for (U i = 0; i < n; i++) put(t == tFLT ? (J)zkt::bits(PF(x)[i]) : iti(x, t, i));
        xs.push_back(x);
      }
  std::vector<F> out;
  if (!pyf(script, in, "", out)) GTEST_SKIP() << "no /usr/bin/python3 with numpy";
  ASSERT_EQ(out.size(), 2 * xs.size());
  for (size_t k = 0; k < xs.size(); k++) {
    V x = xs[k];
    V a = imn(_r(x)), b = imx(_r(x));
    ASSERT_TRUE(a && b) << etext();
    EXPECT_EQ(gl_(a), (J)out[2 * k]) << "imn, type " << tp(x) << " count " << nx(x);
    EXPECT_EQ(gl_(b), (J)out[2 * k + 1]) << "imx, type " << tp(x) << " count " << nx(x);
    EXPECT_EQ(hd(x)->rc, 1u) << "the shared argument is untouched";
    mr(a), mr(b), mr(x);
  }
}

TEST_F(Count, RankAndKind) {
  struct {
    const char *src;
    I rank;
    I text, num;
  } cs[] = {
      {"(1 2;3 4)", 2, 0, 1}, {"(1 2;3)", -1, 0, 1}, {"5", 0, 0, 1}, {"`a", 0, 0, 0},
      {"+`a`b!(1 2;3 4)", 2, 0, 1}, {"((1 2;3 4);(5 6;7 8))", 3, 0, 1},
      {"(`a;(`b;\"c\"))", -1, 1, 0}, {"`a`b!(`c;`d)", 1, 0, 0}, {"()", 2, 0, 0},
  };
  for (auto &c : cs) {
    V x = ev(c.src);
    ASSERT_TRUE(x) << c.src << " " << etext();
    EXPECT_EQ(rnk(x), c.rank) << c.src;
    EXPECT_EQ(fmx(x, 0), c.text) << c.src;
    EXPECT_EQ(fmx(x, 1), c.num) << c.src;
    mr(x);
  }
}

// A list nested 100,000 deep: rank fails with 'stack at its fixed depth,
// the kind test walks it whole, and nothing is left behind.
TEST_F(Count, DeeplyNestedLists) {
  auto deep = [](V leaf) {
    V x = leaf;
    for (int i = 0; i < 100000; i++) x = aA1(x);
    return x;
  };
  for (int k = 0; k < 2; k++) {
    UJ before = freebytes();
    V x = deep(aCz("ab"));
    EXPECT_EQ(rnk(x), -2);
    EXPECT_EQ(etext().substr(0, 6), "'stack");
    EXPECT_EQ(fmx(x, 0), 1);
    EXPECT_EQ(fmx(x, 1), 0);
    mr(x);
    if (k) { EXPECT_EQ(freebytes(), before); }
  }
  // the depth limit itself: exactly NDEPTH levels still measure
  V x = ai(1);
  for (int i = 0; i < NDEPTH; i++) x = aA1(x);
  EXPECT_EQ(rnk(x), NDEPTH);
  x = aA1(x);
  EXPECT_EQ(rnk(x), -2);
  mr(x);
}

// The valence of a list used as a function is its depth: a list nested
// too deep fails with 'stack wherever that is asked, and leaks nothing.
TEST_F(Count, DeepListAsAFunction) {
  ASSERT_TRUE(ev("dl:1;do[100000;dl:,dl];dl1:1;do[2000;dl1:,dl1]"));
  // Indexing past the end builds the null prototype of the first item,
  // which is as deep.
  fails_leak_nothing(ev, {"dl/1", "dl\\1", "1 dl/1 2", "1 dl\\1 2", "dl/[1;2;3]", "dl':1 2", "dl 5", "`hex dl"});
  for (const char *s : {"dl/1", "dl\\1", "1 dl/1 2", "dl/[1;2;3]", "dl':1 2", "dl 5", "`hex dl"}) {
    EXPECT_FALSE(ev(s));
    EXPECT_EQ(etext().substr(0, 6), "'stack") << s;
  }
  V r = ev("dl1/0");
  EXPECT_TRUE(r) << "2,001 levels measure: " << etext();
  mr(r);
  mr(ev("dl:0;dl1:0"));
}

}  // namespace
