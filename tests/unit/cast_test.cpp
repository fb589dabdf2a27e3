// Casts: the atom rules of ct with result types the text form does not
// show, every vector pair against a scalar model (with a canary past each
// kernel's block) at every register width, thread-count independence of
// the parallel split and of the cache-bypassing paths for large results,
// in-place retypes, the letter casts, the `$` verb's parsers against
// strtod and Python's repr, a fuzz of both text parsers, and failing casts
// that give back every byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"
#include "testutil.h"

using namespace zk;
using namespace zkt;

namespace {

struct Cast : ::testing::Test {
  void SetUp() override { boot_once(); }
  void TearDown() override { mc(); }
};

V evs(const char *s) { return evn(s, nullptr, 0); }

// The source form of x (consumed), or the error's first line when x is 0.
std::string kt(V x) {
  if (!x) {
    std::string e = etext();
    eclr();
    return e.substr(0, e.find('\n'));
  }
  V s = kst(x);
  std::string r(PC(s), nx(s));
  mr(s);
  return r;
}

TEST_F(Cast, AtomsAndSmallValues) {
  struct C {
    int t;
    const char *src, *want;
    int rt;  // result type, 0 for a failure
  } cs[] = {
      {tLONG, "0n", "0N", tLONGA},
      {tLONG, "1e300", "9223372036854775807", tLONGA},
      {tLONG, "-1e300", "-9223372036854775807", tLONGA},
      {tLONG, "0w", "9223372036854775807", tLONGA},
      {tLONG, "-0w", "-9223372036854775807", tLONGA},
      {tLONG, "9223372036854775807.0", "9223372036854775807", tLONGA},
      {tLONG, "-9223372036854775808.0", "-9223372036854775807", tLONGA},
      {tLONG, "-9223372036854774784.0", "-9223372036854774784", tLONGA},
      {tINT, "-3.9", "-3", tINTA},
      {tINT, "3.9", "3", tINTA},
      {tBYTE, "300", "300", tINTA},
      {tBOOL, "2", "2", tINTA},
      {tSHORT, "70000", "70000", tINTA},
      {tINT, "1099511627776", "0", tINTA},  // 2^40: the low 32 bits
      {tINT, "4294967297", "1", tINTA},
      {tLONG, "5", "5", tLONGA},
      {tFLT, "0N", "0n", tFLTA},
      {tFLT, "5", "5.0", tFLTA},
      {tFLT, "\"a\"", "97.0", tFLTA},
      {tFLT, "0x" "c8", "-56.0", tFLTA},
      {tCHR, "97", "\"a\"", tCHRA},
      {tCHR, "353", "\"a\"", tCHRA},
      {tCHR, "-1.5", "0xff", tCHRA},
      {tINT, "0x" "c8", "-56", tINTA},
      {tSYM, "\"a\"", "`a", tSYMA},
      {tSYM, "5", "'type", 0},
      {tSYM, "5000000000", "'type", 0},
      {tSYM, "1.5", "'type", 0},
      {tINT, "2024.01.02", "2024.01.02", tDATEA},
      {tFLT, "2024.01.02", "'type", 0},
      {tLONG, "2024.01.02", "'type", 0},
      {tLONG, "2024.01.02D00:00:01", "2024.01.02D00:00:01.000000000", tTSTAMPA},
      {tINT, "2024.01.02D00:00:01", "'type", 0},
      {tSYM, "`a", "`a", tSYMA},
      {tINT, "`a", "'type", 0},
      {tFLT, "{x}", "'type", 0},
      {tLONG, "!5", "0 1 2 3 4", tRANGE},
      {tINT, "!5", "0 1 2 3 4", tINT},
      {tFLT, "!3", "0.0 1.0 2.0", tFLT},
      {tBOOL, "0 1 2 3", "0 1 0 1", tBOOL},
      {tBYTE, "300 1", "44 1", tBYTE},
      {tINT, "1099511627776 5", "0 5", tINT},
      {tINT, "1.5 -2.7 0n", "1 -2 0", tINT},
      {tLONG, "1.5 -2.7 0n 1e300 -1e300", "1 -2 0N 9223372036854775807 -9223372036854775807", tLONG},
      {tFLT, "0x" "c861", "-56.0 97.0", tFLT},
      {tBYTE, "0x" "c861", "-56 97", tBYTE},
      {tLONG, "0x" "c861", "-56 97", tLONG},
      {tSHORT, "0x" "c8", "-56", tINTA},
      {tSHORT, ",0x" "c8", ",-56", tSHORT},
      {tCHR, "97 98 353", "\"aba\"", tCHR},
      {tCHR, "97.9 98.1", "\"ab\"", tCHR},
      {tSYM, "\"ab c\"", "`\"ab c\"", tSYMA},
      {tSYM, "1 2", "'type", 0},
      {tSYM, "`a`b", "`a`b", tSYM},
      {tINT, "`a`b", "'type", 0},
      {tINT, "2024.01.02 2024.01.03", "8767 8768", tINT},
      {tLONG, "2024.01.02 2024.01.03", "8767 8768", tLONG},
      {tFLT, "12:00 12:01", "720.0 721.0", tFLT},
      {tFLT, "(1;2 3;`a`b!4 5)", "(1.0;2.0 3.0;`a`b!4.0 5.0)", tLIST},
      {tFLT, "(1;2)", "1.0 2.0", tFLT},
      {tFLT, "`a`b!1 2", "`a`b!1.0 2.0", tDICT},
      {tFLT, "(1;`a)", "'type", 0},
      {tLONG, "()", "!0", tLONG},
      {tFLT, "1 2 3f", "1.0 2.0 3.0", tFLT},
  };
  for (auto &c : cs) {
    V x = evs(c.src);
    ASSERT_NE(x, 0u) << c.src << " " << etext();
    V r = ct(c.t, x);
    int rt = r ? tp(r) : 0;
    EXPECT_EQ(kt(r), c.want) << c.t << " " << c.src;
    EXPECT_EQ(rt, c.rt) << c.t << " " << c.src;
  }
}

// ---- every pair against a scalar model ----

// Item i of a vector of type s (3..9) as a 64-bit integer (floats apart).
J itm(V x, int s, U i) {
  switch (s) {
    case tBOOL: return (P(x)[i >> 3] >> (i & 7)) & 1;
    case tBYTE: case tCHR: return P<int8_t>(x)[i];
    case tSHORT: return P<int16_t>(x)[i];
    case tINT: return PI(x)[i];
    default: return PL(x)[i];
  }
}
J satm(F d) { return d != d ? NJ : d >= 0x1p63 ? WJ : d <= -0x1p63 ? -WJ : (J)d; }

// Random items of type s: floats mix fractions, huge values, infinities,
// NaN and -0.0; longs include 0N.
V rnd(int s, U n, std::mt19937_64 &g) {
  V x = an(n, s);
  if (s == tBOOL) {
    for (UJ k = 0; k < dbytes(n, tBOOL); k++) P(x)[k] = (G)g();
    return x;
  }
  for (U i = 0; i < n; i++) {
    UJ r = g();
    switch (s) {
      case tBYTE: case tCHR: P(x)[i] = (G)r; break;
      case tSHORT: P<int16_t>(x)[i] = (int16_t)r; break;
      case tINT: PI(x)[i] = (I)r; break;
      case tLONG: {
        // ties and near-ties of the rounding to double, and the range ends
        static const J sp[] = {WJ,      -WJ,         (1ll << 53) + 1, (1ll << 53) + 3, -(1ll << 53) - 1,
                               (1ll << 53) - 1, (1ll << 54) + 2, (1ll << 62) + 512, -(1ll << 62) - 513,
                               WJ - 1024, WJ - 511, 0, -1};
        PL(x)[i] = r % 17 == 0 ? NJ : r % 7 == 0 ? sp[(r >> 8) % (sizeof sp / sizeof *sp)]
                 : r % 5 == 0 ? (J)(r >> 40) - (1 << 23) : (J)r;
        break;
      }
      default: {
        static const F sp[] = {NAN,     INFINITY, -INFINITY, 1e300,      -1e300,          -0.0,
                               0x1p63,  -0x1p63,  0x1p62,    -0.5,       0.99,            0x1p51,
                               -0x1p51, 0x1p51 - 0.5, -0x1p51 + 0.5, 0x1p53 + 2, -0x1p52 - 1.5,
                               0x1p63 - 1024, -0x1p63 + 1024, 0x1p64, -0x1p64, 0x1p53, -0x1p53 - 2,
                               0x1p52 + 0.5, -0x1p52 - 0.5, 4.9e-324, -4.9e-324, -0.9999999999999999,
                               -NAN};
        PF(x)[i] = r % 4 == 0 ? sp[(r >> 8) % (sizeof sp / sizeof *sp)] : r % 4 == 1 ? (F)(J)r : ((F)(J)(r >> 20) / 1024.0);
      }
    }
  }
  return x;
}

// The register widths the processor runs, widest first: the cases run at
// each, so the baseline kernels are checked where wider ones exist.
std::vector<int> widths() {
  std::vector<int> r;
  for (int w : {64, 32, 16})
    if (w <= simd_hw()) r.push_back(w);
  return r;
}
// Selects a register width for a scope.
struct Width {
  int was;
  explicit Width(int w) : was(simd_width(w)) {}
  ~Width() { simd_width(was); }
};

TEST_F(Cast, EveryPairAgainstTheModel) {
  std::mt19937_64 g(25);
  std::vector<U> ns;
  for (U n = 0; n <= 70; n++) ns.push_back(n);
  ns.push_back(1000);
  for (int wd : widths())
  for (int s = tBOOL; s <= tCHR; s++)
    for (int t = tBOOL; t <= tSYM; t++)
      for (U n : ns) {
        Width wg(wd);
        V x = rnd(s, n, g);
        V r = ct(t, _r(x));
        if (t == tSYM) {
          if (s == tCHR) { EXPECT_EQ(r, as(usn(PC(x), n))); }
          else EXPECT_FALSE(r) << s;
          eclr(), mr(x);
          continue;
        }
        ASSERT_NE(r, 0u) << s << " " << t << " " << n;
        ASSERT_EQ(tp(r), t);
        ASSERT_EQ(nx(r), n);
        for (U i = 0; i < n; i++) {
          bool fs = s == tFLT;
          F d = fs ? PF(x)[i] : 0;
          J v = fs ? satm(d) : itm(x, s, i);
          if (t == tFLT) {
            F w = fs ? d : s == tLONG && v == NJ ? NAN : (F)v;
            ASSERT_TRUE(same(PF(r)[i], w)) << s << " " << n << " " << i << " width " << wd;
            continue;
          }
          J w = t == tBOOL ? (v & 1) : t == tBYTE || t == tCHR ? (int8_t)v : t == tSHORT ? (int16_t)v
              : t == tINT ? (I)v : v;
          ASSERT_EQ(itm(r, t, i), w) << s << " -> " << t << " n " << n << " item " << i << " width " << wd;
        }
        mr(r), mr(x);
      }
}

// Each kernel writes nothing past the 64-byte multiple that holds its
// items (nor past 64 bytes when empty), and gives the model's items.
TEST_F(Cast, KernelsStayInsideTheirBlock) {
  struct K {
    void (*k)(void *, const void *, U);
    int t, s;
  } ks[] = {{cHG, tSHORT, tBYTE}, {cGH, tBYTE, tSHORT}, {cHI, tSHORT, tINT}, {cIH, tINT, tSHORT},
            {cGI, tBYTE, tINT},   {cIG, tINT, tBYTE},   {cHL, tSHORT, tLONG}, {cLI, tLONG, tINT},
            {cIL, tINT, tLONG},   {cGL, tBYTE, tLONG},  {cFG, tFLT, tBYTE},  {cFH, tFLT, tSHORT},
            {cFI, tFLT, tINT},    {cFL, tFLT, tLONG},   {cLF, tLONG, tFLT},  {cGB, tBYTE, tBOOL},
            {cBG, tBOOL, tBYTE}};
  std::mt19937_64 g(7);
  for (int wd : widths())
  for (auto &k : ks)
    for (U n = 0; n <= 200; n += n < 70 ? 1 : 43) {
      Width wg(wd);
      V x = rnd(k.s, n, g);
      UJ cap = (dbytes(n, k.t) + 63) / 64 * 64;
      if (!cap) cap = 64;
      std::vector<G> d(cap + 64, 0xA5);
      k.k(d.data(), P(x), n);
      for (UJ b = cap; b < cap + 64; b++) ASSERT_EQ(d[b], 0xA5) << k.t << " " << k.s << " n " << n << " w " << wd;
      V r = ct(k.t, _r(x));
      ASSERT_EQ(memcmp(d.data(), P(r), dbytes(n, k.t)), 0) << k.t << " " << k.s << " n " << n;
      mr(r), mr(x);
    }
}

TEST_F(Cast, SameBytesForEveryThreadCount) {
  U n = 2000000;
  std::mt19937_64 g(3);
  V l = rnd(tLONG, n, g), f = rnd(tFLT, n, g);
  std::vector<V> rl, rf;
  for (const char *th : {"1", "2", "7", "64"}) {
    EnvThreads e(th);
    rl.push_back(ct(tFLT, _r(l)));
    rf.push_back(ct(tLONG, _r(f)));
  }
  for (size_t k = 1; k < rl.size(); k++) {
    EXPECT_EQ(memcmp(P(rl[0]), P(rl[k]), (UJ)n * 8), 0) << k;
    EXPECT_EQ(memcmp(P(rf[0]), P(rf[k]), (UJ)n * 8), 0) << k;
  }
  for (U i = 0; i < n; i++) {
    ASSERT_TRUE(same(PF(rl[0])[i], PL(l)[i] == NJ ? NAN : (F)PL(l)[i])) << i;
    ASSERT_EQ(PL(rf[0])[i], satm(PF(f)[i])) << i;
  }
  for (V r : rl) mr(r);
  for (V r : rf) mr(r);
  mr(l), mr(f);
}

// Results of 16 MB and more bypass the caches: written by the kernels'
// non-temporal forms where the destination is 64-byte aligned, else
// through a cache-sized buffer.  Every register width, destination
// alignment and task count gives the bytes of the baseline kernel run
// straight into memory, through ct and through the split itself (also
// when one task runs alone), with an odd count so the last group is
// partial, and nothing written past the 64-byte line that holds the last
// item.
TEST_F(Cast, LargeResultsSameAsTheKernel) {
  U n = (1u << 22) + 7;
  std::mt19937_64 g(5);
  struct K {
    void (*k)(void *, const void *, U);
    int t, s;
  } ks[] = {{cLI, tLONG, tINT}, {cFL, tFLT, tLONG}, {cLF, tLONG, tFLT}, {cIL, tINT, tLONG}};
  for (auto &k : ks) {
    V x = rnd(k.s, n, g);
    UJ b = dbytes(n, k.t), cap = (b + 63) / 64 * 64;
    std::vector<G> w(cap + 64, 0xA5);
    {
      Width wg(16);
      k.k(w.data(), P(x), n);
    }
    std::vector<G> m(cap + 256);
    for (int wd : widths()) {
      Width wg(wd);
      for (int th : {1, 2, 7}) {
        EnvThreads e(std::to_string(th).c_str());
        V r = ct(k.t, _r(x));
        ASSERT_EQ(memcmp(w.data(), P(r), b), 0) << k.t << " from " << k.s << " threads " << th << " w " << wd;
        mr(r);
        for (UJ off : {0, 16, 8}) {  // the direct stores, the buffer, the plain kernel
          G *d = (G *)(((uintptr_t)m.data() + 63) & ~(uintptr_t)63) + off;
          for (bool one : {false, true}) {  // one task of th, alone, does the whole job
            memset(d, 0xA5, cap + 64);
            Cj j{k.k, (char *)d, PC(x), n, 1u << (Tw[k.t] - 3), 1u << (Tw[k.s] - 3), th};
            if (one) cjw(&j, th - 1);
            else par_run(th, cjw, &j);
            ASSERT_EQ(memcmp(w.data(), d, b), 0) << k.t << " from " << k.s << " tasks " << th << " w " << wd << " off " << off;
            for (UJ i = cap; i < cap + 64; i++) ASSERT_EQ(d[i], 0xA5) << k.t << " " << i << " w " << wd << " off " << off;
          }
        }
      }
    }
    mr(x);
  }
}

TEST_F(Cast, RetypesInPlaceWhenUnshared) {
  for (int s : {tBYTE, tCHR}) {
    V x = aCz("abc");
    hd(x)->type = (int8_t)s;
    hd(x)->attr = 1;
    int t = s == tBYTE ? tCHR : tBYTE;
    V r = ct(t, x);
    EXPECT_EQ(r, x);  // the same object, retyped
    EXPECT_EQ(tp(r), t);
    EXPECT_EQ(hd(r)->attr, 0);
    mr(r);
    x = aCz("abc");
    hd(x)->type = (int8_t)s;
    hd(x)->attr = 1;
    r = ct(t, _r(x));
    EXPECT_NE(r, x);  // shared: a copy, the original left as it was
    EXPECT_EQ(tp(x), s);
    EXPECT_EQ(hd(x)->attr, 1);
    EXPECT_EQ(tp(r), t);
    EXPECT_EQ(std::string(PC(r), 3), "abc");
    mr(r), mr(x);
  }
  // temporal vectors become their integers with the attribute kept
  V d = evs("2024.01.02 2024.01.03");
  hd(d)->attr = 1;
  V r = tqi(d);
  EXPECT_EQ(r, d);
  EXPECT_EQ(tp(r), tINT);
  EXPECT_EQ(hd(r)->attr, 1);
  mr(r);
  d = evs("2024.01.02D00:00:01 2024.01.03D00:00:01");
  hd(d)->attr = 1;
  r = tqi(_r(d));
  EXPECT_NE(r, d);
  EXPECT_EQ(tp(r), tLONG);
  EXPECT_EQ(hd(r)->attr, 1);
  EXPECT_EQ(tp(d), tTSTAMP);
  EXPECT_EQ(PL(r)[1], PL(d)[1]);
  mr(r), mr(d);
}

TEST_F(Cast, LetterCasts) {
  // cSb: trimmed texts, blanks are space, tab and CR but not LF
  struct S {
    V x;
    const char *want;
  } ss[] = {
      {aCz("  ab\t"), "`ab"}, {aCz("a b"), "`\"a b\""}, {aCz("\n"), "`\"\\n\""}, {ac(' '), "`"},
      {ac('q'), "`q"},        {aCz(""), "`"},           {aCz(" \r\t "), "`"},
      {aA0(0), "0#`"},
  };
  for (auto &c : ss) EXPECT_EQ(kt(cSb(c.x)), c.want);
  V l = evs("(\"ab\";\" c \";\"d\")");
  V r = cSb(l);
  ASSERT_EQ(tp(r), tSYM);
  EXPECT_EQ(kt(r), "`ab`c`d");
  std::string big(300, 'z');
  l = an(3, tLIST);
  PA(l)[0] = aCz("ab"), PA(l)[1] = aCz((" " + big + " ").c_str()), PA(l)[2] = aCz("d");
  r = cSb(l);  // item by item past 255 chars: the same symbols
  ASSERT_EQ(tp(r), tSYM);
  EXPECT_EQ(PI(r)[0], us("ab"));
  EXPECT_EQ(PI(r)[1], us(big.c_str()));
  EXPECT_EQ(PI(r)[2], us("d"));
  mr(r);
  r = cSb(evs("(\"ab\";`c)"));  // a non-string item: item by item
  EXPECT_EQ(kt(r), "`ab`c");
  EXPECT_EQ(kt(cSb(ai(1))), "'type");
  EXPECT_EQ(kt(cSb(evs("`a`b!(\" x\";\"y \")"))), "`a`b!`x`y");

  // csti: result types
  struct I_ {
    const char *src, *want;
    int rt;
  } is[] = {
      {"2.5e9", "2500000000", tLONGA}, {"2.5", "2", tINTA},       {"0n", "0N", tLONGA},
      {"-2.5e9", "-2500000000", tLONGA},
      {"12:00 0Nu", "720 0N", tLONG}, {"12:00 12:01", "720 721", tSHORT},
      {"2024.01.02", "8767", tINTA},  {"0Nd", "0N", tLONGA},
      {"2024.01.02D00:00:00", "757468800000000000", tLONGA},
      {"1.5 2.5", "1 2", tBYTE},      {"1e10 1", "10000000000 1", tLONG},
      {"\"ab\"", "97 98", tBYTE},     {"\"a\"", "97", tINTA},
      {"+", "1", tINTA},              {"`a", "'type", 0},
      {"`a`b", "'type", 0},           {"{x}", "'type", 0},
      {"!3", "0 1 2", tRANGE},
  };
  for (auto &c : is) {
    V x = evs(c.src);
    ASSERT_NE(x, 0u) << c.src;
    V r = csti(x);
    int rt = r ? tp(r) : 0;
    EXPECT_EQ(kt(r), c.want) << c.src;
    EXPECT_EQ(rt, c.rt) << c.src;
  }
  EXPECT_EQ(kt(csti(imm(tDYAD, 16))), "16");
  EXPECT_EQ(kt(csti(imm(tADV, 2))), "2");
  V b = an(3, tBOOL);
  P(b)[0] = 5;
  EXPECT_EQ(kt(csti(b)), "'type");
}

TEST_F(Cast, DollarResultTypes) {
  struct C {
    const char *src, *want;
    int rt;
  } cs[] = {
      {"`I$\"3000000000\"", "3000000000", tLONGA},
      {"`I$\"73\"", "73", tINTA},
      {"`I$\"x\"", "0N", tLONGA},
      {"`I$\"-2147483648\"", "-2147483648", tINTA},
      {"`I$\"2147483648\"", "2147483648", tLONGA},
      {"`I$\"a\"", "0N", tLONGA},
      {"`i$\"73\"", "55 51", tBYTE},
      {"`F$\"1.5\"", "1.5", tFLTA},
      {"`F$\"\"", "0n", tFLTA},
      {"`$\" ab\"", "`ab", tSYMA},
      {"5$\"ab\"", "\"ab   \"", tCHR},
      {"5$\"a\"", "\"a    \"", tCHR},
  };
  for (auto &c : cs) {
    V r = evs(c.src);
    int rt = r ? tp(r) : 0;
    EXPECT_EQ(kt(r), c.want) << c.src;
    EXPECT_EQ(rt, c.rt) << c.src;
  }
  // prsI of a char atom and a text with a NUL: read up to the NUL
  EXPECT_EQ(kt(prsI(ac('7'))), "7");
  EXPECT_EQ(kt(prsI(aCn("12\0" "34", 5))), "12");
  EXPECT_EQ(kt(prsF(aCn("1.5\0" "1", 5))), "0n");
  EXPECT_EQ(kt(prsF(ac('7'))), "7.0");
}

// Negative widths take the last chars, blanks before the start.
TEST_F(Cast, PadFromTheEnd) {
  struct C {
    const char *src, *want;
  } cs[] = {{"-5$\"ab\"", "\"   ab\""}, {"-1$\"abc\"", ",\"c\""}, {"-3$\"x\"", "\"  x\""},
            {"-2$(\"abc\";\"d\")", "(\"bc\";\" d\")"}};
  for (auto &c : cs) EXPECT_EQ(kt(evs(c.src)), c.want) << c.src;
}

// Lower-case m n u v go to the modules' cast; p t d parse.
TEST_F(Cast, ModuleCastGetsTheRest) {
  mr(evs("qcst:{qx::x;qy::y;`q}"));
  for (const char *s : {"\"m\"$\"2024.01\"", "\"n\"$\"1\"", "\"u\"$\"12:00\"", "\"v\"$\"12:00:00\"",
                        "`foo$\"1\"", "\"x\"$\"1\"", "`long$1", "`ii$\"1\""}) {
    mr(evs("qx:0"));
    V r = evs(s);
    EXPECT_EQ(kt(r), "`q") << s;
    V q = evs("qx");
    EXPECT_TRUE(tp(q) == tCHRA || tp(q) == tSYMA) << s;
    mr(q);
  }
  EXPECT_EQ(kt(evs("qy")), "\"1\"");
  EXPECT_EQ(kt(evs("\"p\"$\"2024.01.02D12:00:00\"")), "2024.01.02D12:00:00.000000000");
  EXPECT_EQ(kt(evs("\"t\"$\"12:00:00.000\"")), "12:00:00.000");
  EXPECT_EQ(kt(evs("\"d\"$\"2024.01.02\"")), "2024.01.02");
  EXPECT_EQ(kt(evs("\"D\"$\"2\"")), "0Nd");
  EXPECT_EQ(kt(evs("\"P\"$1 2")), "'type");
  EXPECT_EQ(kt(evs("`date$()")), "`date$()");
  EXPECT_EQ(kt(evs("\"D\"$(\"2024.01.02\";\"xy\")")), "2024.01.02 0N");
  mr(evs("qcst:0"));
}

// ---- the float parser against strtod and Python's repr ----

// The float of the text s as prsF reads it (0n as NaN).
F pfl(const std::string &s) {
  V r = prsF(aCn(s.data(), (U)s.size()));
  F d = PF(r)[0];
  mr(r);
  return d;
}
// The language writes exponents without '+'.
std::string noplus(std::string s) {
  size_t p = s.find("e+");
  if (p != std::string::npos) s.erase(p + 1, 1);
  return s;
}

TEST_F(Cast, FloatTextAgainstStrtod) {
  std::mt19937_64 g(11);
  char b[64];
  for (int i = 0; i < 200000; i++) {
    UJ r = g();
    F d = i % 3 == 0 ? dbl(r) : i % 3 == 1 ? (F)(J)(r >> 11) / (F)(1ull << (r & 31)) : (F)(J)r * 1e-9;
    if (d != d || std::isinf(d)) continue;
    const char *fmt[] = {"%.17g", "%.15g", "%.3f", "%.20e", "%g"};
    snprintf(b, sizeof b, fmt[i % 5], d);
    std::string t = noplus(b);
    F want = strtod(b, nullptr);
    ASSERT_EQ(bits(pfl(t)), bits(want)) << t;
    if (i % 5 == 0) { ASSERT_EQ(bits(pfl(t)), bits(d)) << t; }  // 17 digits round-trip
  }
}

TEST_F(Cast, FloatTextAgainstPythonRepr) {
  std::mt19937_64 g(12);
  std::vector<F> x;
  for (int i = 0; i < 100000; i++) {
    F d = i % 2 ? dbl(g()) : (F)(J)(g() >> 20) / 1000.0;
    if (d == d && !std::isinf(d)) x.push_back(d);
  }
  char in[] = "/tmp/zk_cast_inXXXXXX", res[] = "/tmp/zk_cast_outXXXXXX";
  int fi = mkstemp(in), fo = mkstemp(res);
  ASSERT_TRUE(fi >= 0 && fo >= 0);
  ASSERT_EQ(write(fi, x.data(), x.size() * 8), (ssize_t)(x.size() * 8));
  close(fi), close(fo);
  std::string sc = std::string(res) + ".py";
  FILE *f = fopen(sc.c_str(), "w");
  fputs("import sys, array\n"
        "a = array.array('d'); a.frombytes(open(sys.argv[1], 'rb').read())\n"
        "open(sys.argv[2], 'w').write('\\n'.join(repr(v) for v in a))\n",
        f);
  fclose(f);
  std::string cmd = "/usr/bin/python3 " + sc + " " + in + " " + res + " 2>/dev/null";
  bool ok = system(cmd.c_str()) == 0;
  std::vector<std::string> rs;
  if (FILE *h = fopen(res, "r")) {
    char line[64];
    while (fgets(line, sizeof line, h)) {
      std::string s = line;
      if (!s.empty() && s.back() == '\n') s.pop_back();
      rs.push_back(s);
    }
    fclose(h);
  }
  unlink(in), unlink(res), unlink(sc.c_str());
  if (!ok || rs.size() != x.size()) GTEST_SKIP() << "no python3";
  for (size_t i = 0; i < x.size(); i++) {
    ASSERT_EQ(bits(pfl(noplus(rs[i]))), bits(x[i])) << rs[i];
    ASSERT_TRUE(std::isnan(pfl(" " + rs[i]))) << rs[i];
  }
}

// Random texts: prsI against a model of its grammar; prsF never fails and
// agrees with strtod on every text of the plain literal form.
TEST_F(Cast, TextParsersFuzz) {
  std::mt19937_64 g(13);
  const char al[] = " \t\r\n+-0123456789.eEfnwNWx\0";
  for (int i = 0; i < 300000; i++) {
    int n = (int)(g() % 24);
    std::string t;
    for (int k = 0; k < n; k++) t += al[g() % (sizeof al - 1)];
    if (i % 4 == 0) t = std::string(g() % 3, ' ') + std::string(g() % 3, "+-"[g() % 2]) + std::to_string((J)g() >> (g() % 64)) + std::string(g() % 2, '\t');
    // model of the integer grammar
    J want = NJ;
    {
      std::string u = t.substr(0, t.find('\0'));
      size_t p = 0, e = u.size();
      auto bl = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
      while (p < e && bl(u[p])) p++;
      while (e > p && bl(u[e - 1])) e--;
      bool neg = false;
      while (p < e && (u[p] == '+' || u[p] == '-')) neg ^= u[p++] == '-';
      std::string d = u.substr(p, e - p);
      bool digits = !d.empty() && d.find_first_not_of("0123456789") == std::string::npos;
      if (digits) {
        size_t z = d.find_first_not_of('0');
        std::string s = z == std::string::npos ? "0" : d.substr(z);
        if (s.size() < 19 || (s.size() == 19 && s <= "9223372036854775807")) {
          J v = (J)strtoull(s.c_str(), nullptr, 10);
          want = neg ? -v : v;
        }
      }
    }
    V r = prsI(aCn(t.data(), (U)t.size()));
    ASSERT_NE(r, 0u);
    ASSERT_EQ(aval(r), want) << '"' << t << '"';
    ASSERT_EQ(tp(r), want == NJ || want != (I)want ? tLONGA : tINTA) << t;
    mr(r);
    F f = pfl(t);
    bool plain = !t.empty() && t.find_first_not_of("-0123456789.e") == std::string::npos;
    if (plain) {  // -?digits[.digits][e-?digits] exactly: strtod's value
      size_t p = t[0] == '-', q = p;
      while (q < t.size() && isdigit((unsigned char)t[q])) q++;
      bool ok = q > p;
      if (ok && q < t.size() && t[q] == '.') {
        size_t q0 = ++q;
        while (q < t.size() && isdigit((unsigned char)t[q])) q++;
        ok = q > q0;
      }
      if (ok && q < t.size() && t[q] == 'e') {
        size_t q0 = ++q;
        q += q < t.size() && t[q] == '-';
        size_t q1 = q;
        while (q < t.size() && isdigit((unsigned char)t[q])) q++;
        ok = q > q1 && q0;
      }
      if (ok && q == t.size()) { ASSERT_EQ(bits(f), bits(strtod(t.c_str(), nullptr))) << t; }
    }
    if (!t.empty() && (strchr(" \t\r\n", t[0]) || strchr(" \t\r\n", t.back()))) { ASSERT_TRUE(std::isnan(f)) << t; }
  }
}

// Failing casts release their argument: no byte goes missing.
V fe(const char *s) { return evs(s); }
TEST_F(Cast, FailuresLeakNothing) {
  fails_leak_nothing(fe, {"`i$`a`b", "`s$1 2", "\"D\"$`a`b", "1.5$\"ab\"", "(1 2)$\"ab\"", "2$1 2 3",
                          "`f$(1;2;`a)", "`I$(\"1\";`a)", "`F$(\"1\";1)", "`c$`a`b", "`i$(1 2;`a)",
                          "`f$`a`b!(1 2;`c)", "`s$(\"ab\";1)"});
  struct C {
    int t;
    const char *src;
  } cs[] = {{tSYM, "1 2 3"}, {tFLT, "2024.01.02"}, {tINT, "`a`b"}, {tFLT, "(1;`a)"}, {tLONG, "(1 2;`a`b)"},
            {tSYM, "1.5 2.5"}, {tINT, "{x}"}};
  for (auto &c : cs)
    for (int k = 0; k < 3; k++) {
      UJ a = freebytes();
      V x = evs(c.src);
      EXPECT_FALSE(ct(c.t, x)) << c.src;
      eclr();
      if (k == 2) { EXPECT_EQ(freebytes(), a) << c.src; }
    }
}

}  // namespace
