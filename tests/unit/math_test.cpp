// Monadic math: negate, square root and the math library builtins, not,
// the null test, floor, abs and rnd, over every numeric width with nulls,
// infinities and NaN; in-place updates of unshared arguments; the nearest
// integer against the C library's llround.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "core/err.h"
#include "core/sym.h"
#include "eval/tables.h"
#include "num/num.h"
#include "testutil.h"

using namespace zk;
using namespace zkt;

namespace {

typedef std::vector<J> Js;
typedef std::vector<F> Fs;

struct Math : ::testing::Test {
  void SetUp() override { boot_once(); }
  void TearDown() override {
    unsetenv("ZELKO_THREADS");
    mc();
  }
};

V mkf(const Fs &v) { return aV(tFLT, (U)v.size(), v.data()); }
V mkb(const char *bits) {  // "101" -> bool vector
  U n = (U)strlen(bits);
  V x = an(n, tBOOL);
  memset(P(x), 0, 64);
  for (U i = 0; i < n; i++)
    if (bits[i] == '1') P(x)[i >> 3] |= (G)(1 << (i & 7));
  return x;
}
std::string err() { return std::string(tl.err_text, elen()); }

const F NaN = NAN, INF = INFINITY;

// ---- negate ----
struct IntCase {
  int t;
  Js in;
  int rt;
  Js out;
};

TEST_F(Math, NegateWidensOnlyWhenTheSmallestValueIsPresent) {
  const IntCase cs[] = {
      {tBYTE, {-128, 5}, tSHORT, {128, -5}},
      {tBYTE, {127, -127, 0}, tBYTE, {-127, 127, 0}},
      {tSHORT, {-32768}, tINT, {32768}},
      {tSHORT, {32767, 1}, tSHORT, {-32767, -1}},
      {tINT, {INT32_MIN, 7}, tLONG, {2147483648LL, -7}},
      {tINT, {INT32_MAX}, tINT, {-INT32_MAX}},
      {tLONG, {NJ, WJ, -WJ, 5}, tLONG, {NJ, -WJ, WJ, -5}},
      {tBYTE, {}, tBYTE, {}},
  };
  for (const auto &c : cs) {
    V r = neg(mk(c.t, c.in));
    ASSERT_TRUE(r);
    EXPECT_EQ(tp(r), c.rt);
    EXPECT_EQ(items(r), c.out);
    mr(r);
  }
}

TEST_F(Math, NegateAndAbsWidenLongVectorsSplitOverThePool) {
  for (const char *th : {"1", "8"}) {
    setenv("ZELKO_THREADS", th, 1);
    Js v(2000000, 3);
    v[1999999] = -128;
    V r = neg(mk(tBYTE, v));
    EXPECT_EQ(tp(r), tSHORT);
    EXPECT_EQ(at(r, 0), -3);
    EXPECT_EQ(at(r, 1999999), 128);
    mr(r);
    r = kabs(mk(tBYTE, v));
    EXPECT_EQ(tp(r), tSHORT);
    EXPECT_EQ(at(r, 1999999), 128);
    mr(r);
  }
  unsetenv("ZELKO_THREADS");
}

TEST_F(Math, NegateWritesInPlaceOnlyWhenUnshared) {
  V x = mk(tINT, {1, 2, 3});
  hd(x)->attr = 1;
  V r = neg(x);
  EXPECT_EQ(r, x);
  EXPECT_EQ(hd(r)->attr, 0);
  EXPECT_EQ(items(r), (Js{-1, -2, -3}));
  _r(r);
  V s = neg(r);
  EXPECT_NE(s, r);
  EXPECT_EQ(items(r), (Js{-1, -2, -3}));
  EXPECT_EQ(items(s), (Js{1, 2, 3}));
  mr(r), mr(s);
  V f = mkf({1.5});
  _r(f);
  V g = neg(f);
  EXPECT_NE(g, f);
  EXPECT_EQ(PF(f)[0], 1.5);
  EXPECT_EQ(PF(g)[0], -1.5);
  mr(f), mr(g);
}

TEST_F(Math, NegateFloatsFlipsTheSignBit) {
  V r = neg(mkf({0.0, -0.0, NaN, INF, -2.5}));
  EXPECT_EQ(bits(PF(r)[0]), 0x8000000000000000ull);
  EXPECT_EQ(bits(PF(r)[1]), 0ull);
  EXPECT_TRUE(std::isnan(PF(r)[2]));
  EXPECT_EQ(PF(r)[3], -INF);
  EXPECT_EQ(PF(r)[4], 2.5);
  mr(r);
}

TEST_F(Math, NegateAtoms) {
  V r = neg(ai(INT32_MIN));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(aval(r), 2147483648LL);
  mr(r);
  r = neg(al(NJ));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(aval(r), NJ);
  mr(r);
  r = neg(al(-5000000000LL));
  EXPECT_EQ(aval(r), 5000000000LL);
  mr(r);
  r = neg(ac('a'));
  EXPECT_EQ(r, ai(-97));
  r = neg(ac((char)0xC8));  // a char counts as its signed byte
  EXPECT_EQ(r, ai(56));
  r = neg(af(0.0));
  EXPECT_EQ(bits(PF(r)[0]), 0x8000000000000000ull);
  mr(r);
  EXPECT_EQ(neg(imm(tTIMEA, 1000)), imm(tTIMEA, (U)-1000));
  EXPECT_EQ(neg(imm(tTIMEA, 0x80000000u)), imm(tTIMEA, 0x80000000u));
  V ts = an(1, tTSPANA);
  PL(ts)[0] = 77;
  r = neg(ts);
  EXPECT_EQ(tp(r), tTSPANA);
  EXPECT_EQ(PL(r)[0], -77);
  mr(r);
}

TEST_F(Math, NegateTemporalsAndTypeErrors) {
  V t = mk(tTIME, {5, NI, -7});
  _r(t);
  V r = neg(t);
  EXPECT_NE(r, t);  // temporals always go to a new vector
  EXPECT_EQ(tp(r), tTIME);
  EXPECT_EQ(items(r), (Js{-5, NI, 7}));
  mr(r), mr(t);
  r = neg(mk(tTSPAN, {NJ, 9}));
  EXPECT_EQ(items(r), (Js{NJ, -9}));
  mr(r);
  for (int ty : {tDATE, tTSTAMP, tMONTH}) {
    EXPECT_EQ(neg(mk(ty, {1})), 0u);
    EXPECT_EQ(err().substr(0, 5), "'type");
  }
  EXPECT_EQ(neg(imm(tDATEA, 3)), 0u);
  EXPECT_EQ(neg(as(us("abc"))), 0u);
  EXPECT_EQ(neg(mp1(2)), 0u);
}

TEST_F(Math, NegateBoolsRangesCharsAndNesting) {
  V r = neg(mkb("101"));
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (Js{-1, 0, -1}));
  mr(r);
  r = neg(aE(0, 4));
  EXPECT_EQ(items(r), (Js{0, -1, -2, -3}));
  mr(r);
  r = neg(aCz("a\x80"));
  EXPECT_EQ(tp(r), tSHORT);  // -(-128) needs 16 bits
  EXPECT_EQ(items(r), (Js{-97, 128}));
  mr(r);
  V l = aA2(ai(1), af(2.0));
  r = neg(l);
  ASSERT_EQ(tp(r), tLIST);
  EXPECT_EQ(PA(r)[0], ai(-1));
  EXPECT_EQ(PF(PA(r)[1])[0], -2.0);
  mr(r);
  V d = am(mk(tINT, {1, 2}), mk(tLONG, {3, NJ}));
  r = neg(d);
  ASSERT_EQ(tp(r), tDICT);
  EXPECT_EQ(items(PA(r)[0]), (Js{1, 2}));
  EXPECT_EQ(items(PA(r)[1]), (Js{-3, NJ}));
  mr(r);
  // A failing item fails the whole list and releases everything once.
  EXPECT_EQ(neg(aA2(ai(1), as(us("x")))), 0u);
}

// ---- abs ----
TEST_F(Math, AbsAtEveryWidth) {
  const IntCase cs[] = {
      {tBYTE, {-128, 0}, tSHORT, {128, 0}},
      {tBYTE, {-127, 3}, tBYTE, {127, 3}},
      {tSHORT, {-32768, -5}, tINT, {32768, 5}},
      {tINT, {INT32_MIN, -1}, tLONG, {2147483648LL, 1}},
      {tLONG, {NJ, -WJ, -3, WJ}, tLONG, {NJ, WJ, 3, WJ}},
  };
  for (const auto &c : cs) {
    V r = kabs(mk(c.t, c.in));
    EXPECT_EQ(tp(r), c.rt);
    EXPECT_EQ(items(r), c.out);
    mr(r);
  }
  V r = kabs(mkf({-0.0, -INF, NaN, -1.5, 2.0}));
  EXPECT_EQ(bits(PF(r)[0]), 0x8000000000000000ull);  // -0.0 is not below zero
  EXPECT_EQ(PF(r)[1], INF);
  EXPECT_TRUE(std::isnan(PF(r)[2]));
  EXPECT_EQ(PF(r)[3], 1.5);
  EXPECT_EQ(PF(r)[4], 2.0);
  mr(r);
  r = kabs(ai(INT32_MIN));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(aval(r), 2147483648LL);
  mr(r);
  r = kabs(al(NJ));
  EXPECT_EQ(aval(r), NJ);
  mr(r);
  r = kabs(af(-INF));
  EXPECT_EQ(PF(r)[0], INF);
  mr(r);
  r = kabs(mkb("10"));
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (Js{1, 0}));
  mr(r);
  r = kabs(aE(-2, 1));
  EXPECT_EQ(items(r), (Js{2, 1, 0}));
  mr(r);
  r = kabs(aCz("\x80"));
  EXPECT_EQ(tp(r), tSHORT);
  EXPECT_EQ(items(r), (Js{128}));
  mr(r);
}

// ---- square root and the math library ----
typedef V (*MF)(V);
struct LibCase {
  MF f;
  F (*ref)(F);
};
F rsqrt(F a) { return std::sqrt(a); }
F rsin(F a) { return std::sin(a); }
F rcos(F a) { return std::cos(a); }
F rexp(F a) { return std::exp(a); }
F rlog(F a) { return std::log(a); }
F rtan(F a) { return std::tan(a); }
F rasn(F a) { return std::asin(a); }
F racs(F a) { return std::acos(a); }
F ratn(F a) { return std::atan(a); }
const LibCase LIB[] = {{sqr, rsqrt}, {ksin, rsin}, {kcos, rcos}, {kexp, rexp}, {klog, rlog},
                       {ktan, rtan}, {kasn, rasn}, {kacs, racs}, {katn, ratn}};

TEST_F(Math, LibraryFunctionsMatchTheCLibraryAtEveryCount) {
  const Fs vals = {0.0,   -0.0, 1.0,  -1.0, 0.5, 4.0, 1e-300,
                   1e300, -7.25, INF, -INF, NaN, 3.141592653589793};
  for (const auto &c : LIB)
    for (size_t n = 0; n <= vals.size(); n++) {
      Fs in(vals.begin(), vals.begin() + n);
      V r = c.f(mkf(in));
      ASSERT_EQ(tp(r), tFLT);
      ASSERT_EQ(nx(r), n);
      for (size_t i = 0; i < n; i++) EXPECT_TRUE(same(PF(r)[i], c.ref(in[i]))) << in[i];
      mr(r);
    }
}

TEST_F(Math, LibraryFunctionsCastIntegersAndKeepUnsharedFloats) {
  V r = sqr(mk(tINT, {0, 1, 4}));
  ASSERT_EQ(tp(r), tFLT);
  EXPECT_EQ(PF(r)[0], 0.0);
  EXPECT_EQ(PF(r)[1], 1.0);
  EXPECT_EQ(PF(r)[2], 2.0);
  mr(r);
  r = ksin(mk(tLONG, {0, NJ}));
  EXPECT_EQ(PF(r)[0], 0.0);
  EXPECT_TRUE(std::isnan(PF(r)[1]));  // the long null is NaN as a float
  mr(r);
  r = sqr(ai(-1));
  EXPECT_EQ(tp(r), tFLTA);
  EXPECT_TRUE(std::isnan(PF(r)[0]));
  mr(r);
  r = klog(ai(0));
  EXPECT_EQ(PF(r)[0], -INF);
  mr(r);
  V x = mkf({9.0, 16.0});
  EXPECT_EQ(sqr(x), x);
  EXPECT_EQ(PF(x)[1], 4.0);
  _r(x);
  r = kexp(x);
  EXPECT_NE(r, x);
  EXPECT_EQ(PF(x)[0], 3.0);
  mr(x), mr(r);
  V a = af(2.0);
  _r(a);
  r = sqr(a);
  EXPECT_NE(r, a);
  EXPECT_EQ(PF(a)[0], 2.0);
  mr(a), mr(r);
}

// ---- not ----
TEST_F(Math, NotGivesZeroTestsAsBytes) {
  V r = not_(mk(tLONG, {0, 1, 2, NJ}));
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (Js{1, 0, 0, 0}));
  mr(r);
  r = not_(mkf({0.0, -0.0, NaN, 1.0}));
  EXPECT_EQ(items(r), (Js{1, 1, 0, 0}));
  mr(r);
  r = not_(aE(0, 3));
  EXPECT_EQ(items(r), (Js{1, 0, 0}));
  mr(r);
  EXPECT_EQ(not_(as(0)), ai(1));
  EXPECT_EQ(not_(as(us("a"))), ai(0));
  V s = an(3, tSYM);
  PI(s)[0] = us("a"), PI(s)[1] = 0, PI(s)[2] = us("averyveryverylongname");
  r = not_(s);
  EXPECT_EQ(items(r), (Js{0, 1, 0}));
  mr(r);
  EXPECT_EQ(not_(ai(0)), ai(1));
  EXPECT_EQ(not_(al(0)), ai(1));
  EXPECT_EQ(not_(al(NJ)), ai(0));
  EXPECT_EQ(not_(af(-0.0)), ai(1));
  EXPECT_EQ(not_(ac(0)), ai(1));
  EXPECT_EQ(not_(GNULL), ai(1));
  EXPECT_EQ(not_(mp1(2)), ai(0));
  EXPECT_EQ(not_(mp2(1)), ai(0));
  r = not_(aA2(ai(0), mk(tINT, {1, 0})));  // a list compares item by item
  ASSERT_EQ(tp(r), tLIST);
  EXPECT_EQ(PA(r)[0], ai(1));
  EXPECT_EQ(items(PA(r)[1]), (Js{0, 1}));
  mr(r);
}

TEST_F(Math, NotInvertsBoolsAndKeepsThePaddingClear) {
  V b = mkb("10");
  V r = not_(b);
  EXPECT_EQ(r, b);
  EXPECT_EQ(P(r)[0], 0x2);  // 01b, nothing set past the count
  for (int i = 1; i < 64; i++) EXPECT_EQ(P(r)[i], 0);
  mr(r);
  b = mkb("1111111110");
  _r(b);
  r = not_(b);
  EXPECT_NE(r, b);
  EXPECT_EQ(P(b)[0], 0xFF);
  EXPECT_EQ(P(r)[0], 0x00);
  EXPECT_EQ(P(r)[1], 0x02);
  mr(r), mr(b);
}

// ---- null test ----
TEST_F(Math, NullTestByType) {
  V r = nul(mkf({1.0, NaN, 2.0}));
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (Js{0, 1, 0}));
  mr(r);
  r = nul(mkb("101"));
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (Js{0, 0, 0}));
  mr(r);
  r = nul(mk(tLONG, {NJ, 0, WJ}));
  EXPECT_EQ(items(r), (Js{1, 0, 0}));
  mr(r);
  r = nul(mk(tBYTE, {-128, 0}));  // narrow storage has no null
  EXPECT_EQ(items(r), (Js{0, 0}));
  mr(r);
  r = nul(mk(tDATE, {NI, 0}));
  EXPECT_EQ(items(r), (Js{1, 0}));
  mr(r);
  r = nul(mk(tTSTAMP, {1, NJ}));
  EXPECT_EQ(items(r), (Js{0, 1}));
  mr(r);
  r = nul(aCz("a b"));
  EXPECT_EQ(items(r), (Js{0, 1, 0}));
  mr(r);
  V s = an(2, tSYM);
  PI(s)[0] = 0, PI(s)[1] = us("q");
  r = nul(s);
  EXPECT_EQ(items(r), (Js{1, 0}));
  mr(r);
  EXPECT_EQ(nul(af(NaN)), ai(1));
  EXPECT_EQ(nul(al(NJ)), ai(1));
  EXPECT_EQ(nul(ai(0)), ai(0));
  EXPECT_EQ(nul(ac(' ')), ai(1));
  EXPECT_EQ(nul(as(0)), ai(1));
  EXPECT_EQ(nul(imm(tDATEA, 0x80000000u)), ai(1));
  EXPECT_EQ(nul(GNULL), ai(1));
  EXPECT_EQ(nul(mp1(3)), ai(0));
  r = nul(aA2(af(NaN), ai(3)));
  EXPECT_EQ(tp(r), tBYTE);  // the list's results normalise to the narrowest vector
  EXPECT_EQ(items(r), (Js{1, 0}));
  mr(r);
}

TEST_F(Math, NullTestOfLargeFloatVectorsIsTheSameForAnyThreadCount) {
  const U n = 3000017;
  std::vector<F> v(n);
  std::mt19937_64 g(7);
  for (U i = 0; i < n; i++) v[i] = g() % 5 == 0 ? NaN : (F)(i & 1023);
  V want = 0;
  for (const char *th : {"1", "2", "3", "8"}) {
    setenv("ZELKO_THREADS", th, 1);
    V r = nul(mkf(v));
    if (!want) {
      for (U i = 0; i < n; i++) ASSERT_EQ(P(r)[i], v[i] != v[i]) << i;
      want = r;
    } else {
      EXPECT_EQ(memcmp(P(r), P(want), n), 0) << th;
      mr(r);
    }
  }
  mr(want);
  unsetenv("ZELKO_THREADS");
}

// ---- floor ----
TEST_F(Math, FloorOfFloats) {
  const struct {
    F in;
    J out;
  } cs[] = {{2.5, 2},   {-2.5, -3}, {NaN, NJ},   {INF, WJ},  {-INF, NJ}, {1e300, WJ}, {-1e300, NJ},
            {-0.0, 0},  {0.99, 0},  {-1e-300, -1}, {9223372036854774784.0, 9223372036854774784LL},
            {9223372036854775808.0, WJ}, {-9223372036854775808.0, NJ}};
  Fs in;
  for (auto &c : cs) in.push_back(c.in);
  V r = flr(mkf(in));
  ASSERT_EQ(tp(r), tLONG);
  for (size_t i = 0; i < in.size(); i++) EXPECT_EQ(PL(r)[i], cs[i].out) << in[i];
  mr(r);
  r = flr(af(3.7));
  EXPECT_EQ(tp(r), tLONGA);  // always boxed
  EXPECT_EQ(PL(r)[0], 3);
  mr(r);
}

TEST_F(Math, FloorOfIntegersTextAndSymbols) {
  V x = mk(tSHORT, {1, -2});
  EXPECT_EQ(flr(x), x);
  mr(x);
  EXPECT_EQ(flr(ai(5)), ai(5));
  V r = flr(aCz("ABz[@"));
  EXPECT_EQ(std::string(PC(r), nx(r)), "abz[@");
  mr(r);
  EXPECT_EQ(flr(ac('Q')), ac('q'));
  EXPECT_EQ(flr(as(us("ABC"))), as(us("abc")));
  EXPECT_EQ(flr(as(us("MixedCaseLongerName"))), as(us("mixedcaselongername")));
  V s = an(2, tSYM);
  PI(s)[0] = us("Hello_World"), PI(s)[1] = us("ok");
  r = flr(s);
  EXPECT_EQ(PI(r)[0], us("hello_world"));
  EXPECT_EQ(PI(r)[1], us("ok"));
  mr(r);
  EXPECT_EQ(flr(mk(tDATE, {1})), 0u);
  EXPECT_EQ(flr(imm(tMINUTEA, 1)), 0u);
  EXPECT_EQ(flr(mp1(1)), 0u);
}

// ---- rnd ----
TEST_F(Math, RoundHalvesAwayFromZeroExactly) {
  const F M = 0.49999999999999994;  // the largest double below 0.5
  const struct {
    F in;
    J out;
  } cs[] = {{2.5, 3},
            {-2.5, -3},
            {0.5, 1},
            {-0.5, -1},
            {1.5, 2},
            {M, 0},
            {-M, 0},
            {0.0, 0},
            {-0.0, 0},
            {4503599627370497.0, 4503599627370497LL},  // odd, above 2^52
            {-4503599627370497.0, -4503599627370497LL},
            {9007199254740991.0, 9007199254740991LL},
            {4503599627370495.5, 4503599627370496LL},
            {NaN, NJ},
            {INF, WJ},
            {-INF, NJ + 1},
            {1e19, WJ},
            {-1e19, NJ + 1}};
  Fs in;
  for (auto &c : cs) in.push_back(c.in);
  V r = rndT(mkf(in));
  ASSERT_EQ(tp(r), tLONG);
  for (size_t i = 0; i < in.size(); i++) EXPECT_EQ(PL(r)[i], cs[i].out) << in[i];
  mr(r);
}

TEST_F(Math, RoundAgreesWithTheCLibrary) {
  std::mt19937_64 g(3);
  Fs in;
  for (int i = 0; i < 20000; i++) {
    UJ b = g();
    F d = dbl(b);
    if (std::isfinite(d) && std::fabs(d) < 4e18) in.push_back(d);
    in.push_back((F)(J)(g() % 2000001 - 1000000) / 2.0);  // halves
    in.push_back(std::nextafter((F)(J)(g() % 1000) + 0.5, 0.0));
  }
  V r = rndT(mkf(in));
  for (size_t i = 0; i < in.size(); i++) ASSERT_EQ(PL(r)[i], std::llround(in[i])) << in[i];
  mr(r);
}

TEST_F(Math, RoundAtomsAndOtherTypes) {
  EXPECT_EQ(rndT(af(2.5)), ai(3));
  V r = rndT(af(1e10));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(PL(r)[0], 10000000000LL);
  mr(r);
  r = rndT(mk(tINT, {1, -2}));
  EXPECT_EQ(tp(r), tLONG);
  EXPECT_EQ(items(r), (Js{1, -2}));
  mr(r);
  r = rndT(aA2(af(2.5), af(-0.7)));  // a list rounds item by item
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (Js{3, -1}));
  mr(r);
}

}  // namespace
