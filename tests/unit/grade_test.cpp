// grade_test.cpp: the grade and sort verbs, the symbol ranking and the
// multi-column sort against a stable sort of indexes, on both sides of the
// counting, radix, 31/32-symbol and packed/unpacked choices; result widths,
// the sorted attribute and identities, handle closing, and failure paths
// that must give back every byte they took.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <numeric>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>
#include "core/err.h"
#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"
#include "order/radix.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct Grade : ::testing::Test {
  void SetUp() override { boot_once(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

// Items of any integer vector (or range) as longs.
std::vector<J> ints(V r) {
  std::vector<J> o;
  for (J i = 0, n = _n(r); i < n; i++) o.push_back(iti(r, tp(r), (UJ)i));
  return o;
}

// Stable index sort by less; descending keeps ties in index order.
template <class L> std::vector<J> model(UJ n, L less, bool desc) {
  std::vector<J> p(n);
  std::iota(p.begin(), p.end(), 0);
  std::stable_sort(p.begin(), p.end(), [&](J a, J b) { return desc ? less(b, a) : less(a, b); });
  return p;
}

J fkey(F f) {
  UJ b;
  memcpy(&b, &f, 8);
  if (!(b << 1)) return 0x000FFFFFFFFFFFFEll;
  if ((b << 1) > 0xFFE0000000000000ull) return (J)0x8007FFFFFFFFFFFEull;
  return (J)((b ^ (b >> 63 ? 0x7FFFFFFFFFFFFFFFull : 0)) + 0x000FFFFFFFFFFFFEull);
}

// Item i of a typed vector as an order key.
J okey(V x, UJ i) {
  switch (tp(x)) {
    case tBYTE: return P<int8_t>(x)[i];
    case tSHORT: return P<int16_t>(x)[i];
    case tCHR: return P<G>(x)[i];
    case tFLT: return fkey(PF(x)[i]);
    case tLONG: case tTSTAMP: case tTSPAN: return PL(x)[i];
    default: return PI(x)[i];
  }
}

V rnd(int t, UJ n, std::mt19937_64 &g, UJ span) {
  V x = an((U)n, t);
  for (UJ i = 0; i < n; i++) {
    J v = span ? (J)(g() % span) - (J)(span / 2) : (J)g();
    switch (t) {
      case tBYTE: case tCHR: P<int8_t>(x)[i] = (int8_t)v; break;
      case tSHORT: P<int16_t>(x)[i] = (int16_t)v; break;
      case tFLT: {
        F f = span ? (F)v : (F)v / 1e9;
        if (g() % 17 == 0) f = g() & 1 ? NAN : -0.0;
        PF(x)[i] = f;
        break;
      }
      case tLONG: case tTSTAMP: case tTSPAN: PL(x)[i] = v; break;
      default: PI(x)[i] = (I)v;
    }
  }
  return x;
}

TEST_F(Grade, EveryTypedVectorAgainstAStableSort) {
  std::mt19937_64 g(27);
  for (int t : {tBYTE, tCHR, tSHORT, tINT, tLONG, tFLT, tDATE, tTIME, tTSTAMP, tMINUTE, tSECOND,
                tMONTH, tTSPAN})
    for (UJ n : {2ull, 3ull, 31ull, 128ull, 129ull, 1000ull, 40000ull})
      for (UJ span : {0ull, 7ull, 300000ull}) {
        V x = rnd(t, n, g, span);
        auto less = [&](J a, J b) { return okey(x, a) < okey(x, b); };
        for (bool d : {false, true}) {
          V r = (d ? dsc : asc)(_r(x));
          ASSERT_TRUE(r) << etext();
          EXPECT_EQ(tp(r), d ? tp(r) : tZ((J)n - 1)) << t << " " << n;
          ASSERT_EQ(ints(r), model(n, less, d)) << "type " << t << " n " << n << " span " << span
                                                << " desc " << d;
          mr(r);
        }
        mr(x);
      }
}

TEST_F(Grade, WidthsFollowTheCount) {
  for (UJ n : {1ull, 128ull, 129ull, 32768ull, 32769ull}) {
    V x = an((U)n, tLONG);
    for (UJ i = 0; i < n; i++) PL(x)[i] = (J)(n - i) * 1000003;
    V r = asc(x);
    EXPECT_EQ(tp(r), tZ((J)n - 1)) << n;
    EXPECT_EQ(ints(r)[0], (J)n - 1);
    mr(r);
    V b = an((U)n, tBYTE);
    memset(P(b), 5, n);
    r = asc(b);
    EXPECT_EQ(tp(r), tZ((J)n - 1)) << n;
    mr(r);
  }
  V r = asc(_r(ce[tBYTE]));
  EXPECT_EQ(r, ce[tBYTE]);
  mr(r);
  int8_t b3[] = {-1, 0, -128};
  r = asc(aV(tBYTE, 3, b3));
  EXPECT_EQ(ints(r), (std::vector<J>{2, 0, 1}));
  mr(r);
}

TEST_F(Grade, BooleansGoThroughTheBytePasses) {
  V x = an(70, tBOOL);
  memset(P(x), 0, 16);
  std::vector<int> bit(70);
  for (int i = 0; i < 70; i++)
    if (i % 3 == 1) P(x)[i >> 3] |= (G)(1 << (i & 7)), bit[i] = 1;
  for (bool d : {false, true}) {
    V r = (d ? dsc : asc)(_r(x));
    ASSERT_TRUE(r) << etext();
    EXPECT_EQ(ints(r), model(70, [&](J a, J b) { return bit[a] < bit[b]; }, d));
    mr(r);
  }
  mr(x);
}

std::string txt(std::mt19937_64 &g) {
  static const char *pre[] = {"", "a", "abcdefgh", "abcdefg", "abcdefghzz", "zz", "\xe9t"};
  std::string s = pre[g() % 7];
  for (UJ k = g() % 4; k; k--) s += (char)('a' + g() % 3);
  return s;
}

TEST_F(Grade, SymbolsByTextOnBothSidesOf32) {
  std::mt19937_64 g(5);
  for (UJ n : {10ull, 31ull, 32ull, 40ull, 2000ull}) {
    std::vector<std::string> s(n);
    V x = an((U)n, tSYM);
    for (UJ i = 0; i < n; i++) {
      s[i] = txt(g);
      PI(x)[i] = us(s[i].c_str());
    }
    auto less = [&](J a, J b) { return s[a] < s[b]; };  // unsigned bytes, proper prefix first
    for (bool d : {false, true}) {
      V r = (d ? dsc : asc)(_r(x));
      ASSERT_TRUE(r) << etext();
      if (!d) { EXPECT_EQ(tp(r), n > 31 ? tZ((J)n - 1) : tINT) << n; }
      ASSERT_EQ(ints(r), model(n, less, d)) << n << " " << d;
      mr(r);
    }
    mr(x);
  }
}

TEST_F(Grade, RanksOfTextsWithLongSharedPrefixes) {
  std::vector<std::string> s = {"abcdefghb", "abcdefgh", "abcdefgha", "abcdefgh", "b", "",
                                "abcdefghab", "abcdefgh\xff", "abcdefg", "ab"};
  V t = aA0(0);
  for (auto &e : s) t = psh(t, aCn(e.data(), (U)e.size()));
  V r = srnk(t);
  ASSERT_TRUE(r);
  auto p = model(s.size(), [&](J a, J b) { return s[a] < s[b]; }, false);
  for (UJ k = 0; k < p.size(); k++) EXPECT_EQ(PI(r)[p[k]], (I)k) << s[p[k]];
  mr(r);
  t = psh(t, ai(1));
  EXPECT_FALSE(srnk(t));
  mr(t);
}

TEST_F(Grade, MixedListsAgainstTheTotalOrder) {
  std::mt19937_64 g(9);
  for (UJ n : {2ull, 16ull, 17ull, 100ull, 1000ull})
    for (int mix = 0; mix < 3; mix++) {
      V x = an((U)n, tLIST);
      for (UJ i = 0; i < n; i++) {
        J v = (J)(g() % 20) - 10;
        int k = (int)(g() % (mix ? 5 : 3));
        V a = k == 0 ? ai((I)v) : k == 1 ? af((F)v / 2) : k == 2 ? al(v) : k == 3 ? imm(tDATEA, (U)v)
                                                                                 : imm(tTIMEA, (U)v);
        if (mix == 2 && k == 4) a = as(us(std::to_string(v).c_str()));
        PA(x)[i] = a;
      }
      auto less = [&](J a, J b) { return qA(PA(x)[a], PA(x)[b]) < 0; };
      for (bool d : {false, true}) {
        V r = (d ? dsc : asc)(_r(x));
        ASSERT_TRUE(r) << etext();
        ASSERT_EQ(ints(r), model(n, less, d)) << n << " mix " << mix << " desc " << d;
        mr(r);
      }
      mr(x);
    }
}

TEST_F(Grade, SortVerbsAndTheCompiledIdiom) {
  V x = ev("x:1 2 2 5");
  mr(x);
  x = an(4, tLONG);
  for (J i = 0; i < 4; i++) PL(x)[i] = i * i;
  hd(x)->attr = 1;
  V r = srtC(_r(x));
  EXPECT_EQ(r, x);
  mr(r);
  r = srtdC(_r(x));
  ASSERT_NE(r, x);
  EXPECT_EQ(hd(r)->attr, 0);
  EXPECT_EQ(ints(r), (std::vector<J>{9, 4, 1, 0}));
  mr(r), mr(x);
  // x@<x and x@>x compile to the sort slots; they must match indexing by
  // the grade for every kind.
  for (const char *s : {"3 1 2 1", "3.5 0n -0.0 0 1", "`c`a`b`aa", "(1;`a;2.5;\"x\")", "\"hello\"",
                        "(2024.01.02;3;2024.01.01)", "`a`b`c!3 1 2", "0#0", "([]a:2 1 2;b:3 4 1)"}) {
    std::string d = std::string("x:") + s + ";i:<x;(x@<x)~x@i";
    std::string e = std::string("x:") + s + ";i:>x;(x@>x)~x@i";
    for (auto &q : {d, e}) {
      V v = ev(q.c_str());
      ASSERT_TRUE(v) << q << " " << etext();
      EXPECT_EQ(gl_(v), 1) << q;
      mr(v);
    }
  }
}

TEST_F(Grade, CloseClearsTheHandleTable) {
  int fd = open("/dev/null", O_RDONLY);
  ASSERT_GT(fd, 2);
  qhk[fd] = 1;
  V r = dsc(ai(fd));
  EXPECT_EQ(r, GNULL) << etext();
  EXPECT_EQ(qhk[fd], 0);
  EXPECT_FALSE(dsc(ai(fd)));
  EXPECT_EQ(etext().substr(0, 3), "'io");
  for (J h : {0ll, 1ll, 2ll, 1ll << 33}) {
    EXPECT_FALSE(dsc(al(h)));
    EXPECT_EQ(etext().substr(0, 7), "'domain") << h;
  }
}

TEST_F(Grade, FailuresGiveBackEveryByte) {
  fails_leak_nothing(ev, {"<1.5", "<{x}", ">1.5", "srt:{x@<x};srt{x}"});
}

// (columns; flag) with the stable tuple sort as the model.
void xscheck(std::vector<V> cols, bool desc, const char *what) {
  UJ n = (UJ)_n(cols[0]);
  auto less = [&](J a, J b) {
    for (V c : cols) {
      I q = 0;
      V u = ii(c, a), v = ii(c, b);
      q = qA(u, v);
      mr(u), mr(v);
      if (q) return desc ? q > 0 : q < 0;
    }
    return false;
  };
  auto m = model(n, less, false);
  V l = aA0(0);
  for (V c : cols) l = psh(l, c);
  V r = xsC(aA2(l, ai(desc)));
  ASSERT_TRUE(r);
  ASSERT_NE(tp(r), tLIST) << what;
  EXPECT_EQ(tp(r), tZ((J)n - 1));
  ASSERT_EQ(ints(r), m) << what << " desc " << desc;
  mr(r);
}

TEST_F(Grade, MultiColumnAgainstATupleSort) {
  std::mt19937_64 g(11);
  for (UJ n : {1ull, 2ull, 100ull, 5000ull, 70000ull})
    for (bool d : {false, true}) {
      // Packed: narrow columns.
      xscheck({rnd(tBYTE, n, g, 3), rnd(tINT, n, g, 1000), rnd(tCHR, n, g, 0)}, d, "packed");
      // Unpacked: wide longs, floats with NaN and -0, then a short.
      xscheck({rnd(tLONG, n, g, 0), rnd(tFLT, n, g, 0), rnd(tSHORT, n, g, 0)}, d, "wide");
      xscheck({rnd(tLONG, n, g, 4), rnd(tFLT, n, g, 0), rnd(tSHORT, n, g, 3)}, d, "mixed");
      xscheck({rnd(tFLT, n, g, 9), rnd(tLONG, n, g, 0)}, d, "integral floats");
      V s = an((U)n, tSYM);
      for (UJ i = 0; i < n; i++) PI(s)[i] = us(txt(g).c_str());
      xscheck({s, rnd(tLONG, n, g, 5)}, d, "symbols");
    }
}

TEST_F(Grade, MultiColumnNotHandled) {
  for (const char *s : {"`xs ((2024.01.01 2024.01.02;1 2);0)", "`xs ((!3;1 2 3);0)", "`xs ((1 2;1 2 3);0)",
                        "`xs ((0#0;0#0);0)", "`xs (33#,1 2;0)", "`xs ((1;2);0)", "`xs 1 2",
                        "`xs (((1;2.5);(3;4));0)", "`xs ((,`a)!,1 2;0)",
                        "`xs ((31#,1 2),,(2024.01.01;1);0)"}) {
    V r = ev(s);
    ASSERT_TRUE(r) << s << " " << etext();
    EXPECT_EQ(tp(r), tLIST) << s;
    EXPECT_EQ(nx(r), 0u) << s;
    mr(r);
  }
  V b = an(3, tBOOL);
  P(b)[0] = 5;
  J l3[] = {1, 2, 3};
  V r = xsC(aA2(aA2(b, aV(tLONG, 3, l3)), ai(0)));
  EXPECT_EQ(tp(r), tLIST);
  mr(r);
}

TEST_F(Grade, WideCountsNeverWrap) {
  UJ keep = rdx_wide;
  rdx_wide = 100;
  V x = ev("(200#(1;2.5))");
  V r = asc(x);
  EXPECT_FALSE(r);
  EXPECT_EQ(etext().substr(0, 6), "'limit");
  r = ev("`xs ((200#1 2);0)");
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tLIST);
  mr(r);
  r = ev("<200#3 1 2");
  ASSERT_TRUE(r) << etext();
  EXPECT_EQ(ints(r)[0], 1);
  EXPECT_EQ(ints(r)[199], 198);
  mr(r);
  // Mixed keys and counted chars keep 64-bit permutations until narrowed.
  for (const char *s : {"<200#(2024.01.01;1)", "<200#\"ba\"", ">200#\"ba\""}) {
    r = ev(s);
    ASSERT_TRUE(r) << s << " " << etext();
    auto v = ints(r);
    J ev0 = s[0] == '>' || s[5] == '(';  // the even positions come first
    EXPECT_EQ(v[0], 1 - ev0) << s;
    EXPECT_EQ(v[99], 199 - ev0) << s;
    EXPECT_EQ(v[100], ev0) << s;
    mr(r);
  }
  rdx_wide = keep;
}

}  // namespace
