// Statistics builtins and the matrix inverse: result types that the text
// form does not show (dlt's widening by one step, its char and bool
// paths), reference counts on failing paths, thread-count independence of
// wsm's blocked sum, and float results against numpy (cov with bias times
// n, dot, linalg.inv) when Debian's python3 has it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <type_traits>
#include <unistd.h>
#include <vector>

#include "core/err.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "testutil.h"

using namespace zk;
using namespace zkt;

namespace {

typedef std::vector<F> Fs;

struct Stats : ::testing::Test {
  void SetUp() override { boot_once(); }
  void TearDown() override { mc(); }
};

V mkf(const Fs &v) {
  V x = an((U)v.size(), tFLT);
  if (!v.empty()) memcpy(PF(x), v.data(), v.size() * 8);
  return x;
}

// Runs script after numpy is imported and x read from argv[1]; false, or
// no output, when python3 or numpy is missing.
bool py(const std::string &script, const Fs &x, Fs &out) {
  return pyf("import sys, numpy as np\nx = np.fromfile(sys.argv[1])\n" + script, x, "", out) && !out.empty();
}

TEST_F(Stats, DltTypes) {
  struct C {
    int t;
    std::vector<J> x;
    int rt;
    std::vector<J> r;
  } cs[] = {
      {tBYTE, {1, 3, 6, 10}, tBYTE, {1, 2, 3, 4}},
      {tBYTE, {100, -100}, tSHORT, {100, -200}},
      {tSHORT, {-30000, 30000}, tINT, {-30000, 60000}},
      {tINT, {2000000000, -2000000000}, tLONG, {2000000000, -4000000000}},
      {tLONG, {5, NJ, 7}, tLONG, {5, NJ, NJ}},
      {tLONG, {WJ, -WJ}, tLONG, {WJ, 2}},
      {tBYTE, {-7}, tBYTE, {-7}},
      {tSHORT, {-7}, tSHORT, {-7}},
      {tINT, {-7}, tINT, {-7}},
      {tLONG, {-7}, tLONG, {-7}},
      {tINT, {1, 2, 4, 8, 16, 32, 64, 128, 256, -5}, tINT, {1, 1, 2, 4, 8, 16, 32, 64, 128, -261}},
  };
  for (auto &c : cs) {
    V r = dltC(mk(c.t, c.x));
    ASSERT_NE(r, 0u);
    EXPECT_EQ(tp(r), c.rt) << c.x[0];
    EXPECT_EQ(items(r), c.r) << c.x[0];
    mr(r);
  }
  V r = dltC(aCz("abc"));
  EXPECT_EQ(tp(r), tINT);
  EXPECT_EQ(items(r), (std::vector<J>{97, 1, 1}));
  mr(r);
  r = dltC(aCn("\xff\x01", 2));  // codes read as signed bytes
  EXPECT_EQ(items(r), (std::vector<J>{-1, 2}));
  mr(r);
  V b = an(3, tBOOL);
  memset(P(b), 0, 8);
  P(b)[0] = 0b101;
  r = dltC(b);
  ASSERT_NE(r, 0u);
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(items(r), (std::vector<J>{1, -1, 1}));
  mr(r);
  r = dltC(aE(3, 7));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(items(r), (std::vector<J>{3, 1, 1, 1}));
  mr(r);
}

TEST_F(Stats, DltFloatsAndRows) {
  V r = dltC(mkf({NAN, 1.5, 4}));
  ASSERT_NE(r, 0u);
  ASSERT_EQ(tp(r), tFLT);
  EXPECT_TRUE(std::isnan(PF(r)[0]) && std::isnan(PF(r)[1]));
  EXPECT_EQ(PF(r)[2], 2.5);
  mr(r);
  // a long row with a range row: the range as its integers
  r = dltC(aA2(mk(tLONG, {1, 2, 3}), aE(4, 7)));
  ASSERT_NE(r, 0u);
  ASSERT_EQ(tp(r), tLIST);
  EXPECT_EQ(items(PA(r)[1]), (std::vector<J>{3, 3, 3}));
  mr(r);
  // uniform rows, one long, one int: long deltas, 0N only from the long row
  r = dltC(aA2(mk(tINT, {1, 2}), mk(tLONG, {NJ, 5})));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(tp(PA(r)[0]), tINT);
  EXPECT_EQ(tp(PA(r)[1]), tLONG);
  EXPECT_EQ(items(PA(r)[1]), (std::vector<J>{NJ, 3}));
  mr(r);
  // a failing row leaks nothing: the free lists hold as much as before
  // the argument was built
  for (int k = 0; k < 3; k++) {
    UJ f0 = freebytes();
    V x = k == 0   ? aA2(mk(tLONG, {1, 2, 3}), aE(0, 1))
          : k == 1 ? aA2(mk(tLONG, {1, 2}), mk(tLONG, {1, 2, 3}))
                   : aA2(aA2(mk(tLONG, {1}), mk(tLONG, {2})), aA2(mk(tLONG, {1}), aCz("ab")));
    EXPECT_EQ(dltC(x), 0u) << k;
    EXPECT_EQ(freebytes(), f0) << "leak in case " << k;
  }
}

TEST_F(Stats, CvmAgainstNumpy) {
  std::mt19937_64 g(7);
  std::normal_distribution<F> d(3, 10);
  U n = 10007;
  Fs xy(2 * n);
  for (auto &v : xy) v = d(g);
  xy[5] = NAN, xy[n + 9] = NAN;
  Fs want;
  if (!py("n = len(x)//2; a, b = x[:n], x[n:]; u = ~(np.isnan(a) | np.isnan(b)); a, b = a[u], b[u]\n"
          "c = np.cov(a, b, bias=True) * len(a)\n"
          "np.array([c[0,1], c[0,0], c[1,1], len(a)], dtype='d').tofile(sys.argv[2])\n",
          xy, want))
    GTEST_SKIP() << "no numpy";
  V a = mkf(Fs(xy.begin(), xy.begin() + n)), b = mkf(Fs(xy.begin() + n, xy.end()));
  V r = cvmC(aA2(_r(a), _r(b)));
  V r2 = cvmC(aA2(a, b));
  ASSERT_NE(r, 0u);
  for (int i = 0; i < 4; i++) {
    EXPECT_NEAR(PF(r)[i], want[i], 1e-12 * std::fabs(want[i])) << i;
    EXPECT_EQ(bits(PF(r)[i]), bits(PF(r2)[i]));
  }
  mr(r), mr(r2);
  // bytes with floats, a range with longs
  r = cvmC(aA2(mk(tBYTE, {1, 2, 3}), mkf({2, 4, 6})));
  EXPECT_EQ(std::vector<F>(PF(r), PF(r) + 4), (Fs{4, 2, 8, 3}));
  mr(r);
  r = cvmC(aA2(aE(1, 4), mk(tLONG, {2, 4, 6})));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(std::vector<F>(PF(r), PF(r) + 4), (Fs{4, 2, 8, 3}));
  mr(r);
}

// The scalar rule of cvm's sums: partial i mod 4 for the first 4*floor(n/4)
// items, partial 0 for the rest, a skipped pair adding +0.0.
template <class A, class B> Fs cvref(const A *a, const B *b, U n) {
  auto nl = [](auto v) { return std::is_same_v<decltype(v), F> ? v != v : (J)v == NJ; };
  U n4 = n & ~3u, c = 0;
  F sx[4] = {0, 0, 0, 0}, sy[4] = {0, 0, 0, 0};
  for (U i = 0; i < n; i++) {
    bool u = !nl(a[i]) && !nl(b[i]);
    U k = i < n4 ? (i & 3) : 0;
    c += u;
    sx[k] += u ? (F)a[i] : 0.0;
    sy[k] += u ? (F)b[i] : 0.0;
  }
  F mx = ((sx[0] + sx[1]) + (sx[2] + sx[3])) / (F)c, my = ((sy[0] + sy[1]) + (sy[2] + sy[3])) / (F)c;
  F p[3][4] = {};
  for (U i = 0; i < n; i++) {
    bool u = !nl(a[i]) && !nl(b[i]);
    U k = i < n4 ? (i & 3) : 0;
    F dx = (F)a[i] - mx, dy = (F)b[i] - my;
    F xy = dx * dy, xx = dx * dx, yy = dy * dy;
    p[0][k] += u ? xy : 0.0;
    p[1][k] += u ? xx : 0.0;
    p[2][k] += u ? yy : 0.0;
  }
  Fs r;
  for (auto &q : p) r.push_back((q[0] + q[1]) + (q[2] + q[3]));
  r.push_back((F)c);
  return r;
}

// The vector passes give the scalar rule's bits: float and long operands in
// every pairing, nulls on either side, -0.0 sums, sizes around the groups.
TEST_F(Stats, CvmBitsEqualTheScalarRule) {
  std::mt19937_64 g(24);
  for (U n : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 31u, 1001u, 10007u})
    for (int ta : {tFLT, tLONG})
      for (int tb : {tFLT, tLONG}) {
        V a = an(n, ta), b = an(n, tb);
        for (U i = 0; i < n; i++) {
          int k = (int)(g() % 16);
          J v = (J)(g() % 2001) - 1000;
          if (ta == tFLT) PF(a)[i] = k == 0 ? NAN : k == 1 ? -0.0 : (F)v * 0.37;
          else PL(a)[i] = k == 0 ? NJ : v;
          v = (J)(g() % 2001) - 1000;
          k = (int)(g() % 16);
          if (tb == tFLT) PF(b)[i] = k == 0 ? NAN : k == 1 ? -0.0 : (F)v * 1e-3;
          else PL(b)[i] = k == 0 ? NJ : v;
        }
        Fs want = ta == tFLT ? (tb == tFLT ? cvref(PF(a), PF(b), n) : cvref(PF(a), PL(b), n))
                             : (tb == tFLT ? cvref(PL(a), PF(b), n) : cvref(PL(a), PL(b), n));
        V r = cvmC(aA2(a, b));
        ASSERT_NE(r, 0u);
        for (int i = 0; i < 4; i++)
          EXPECT_TRUE(same(PF(r)[i], want[i])) << "n " << n << " types " << ta << " " << tb << " sum " << i;
        mr(r);
      }
  // all skipped but -0.0 items: the partials stay +0.0 as the rule adds +0.0
  V r = cvmC(aA2(mkf({-0.0, NAN, -0.0, NAN, -0.0}), mkf({NAN, 1, NAN, 2, NAN})));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(PF(r)[3], 0.0);
  mr(r);
}

TEST_F(Stats, WsmTypesAndThreads) {
  V r = wsmC(aA2(mk(tBYTE, {1, 2, 3}), mk(tBYTE, {4, 5, 6})));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(aval(r), 32);
  mr(r);
  r = wsmC(aA2(mk(tLONG, {}), mk(tLONG, {})));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(aval(r), 0);
  mr(r);
  r = wsmC(aA2(mk(tINT, {1, 2}), mk(tLONG, {3, 4})));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(aval(r), 11);
  mr(r);
  r = wsmC(aA2(aE(0, 3), mk(tLONG, {3, 4, 5})));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(aval(r), 14);
  mr(r);
  // counts before types
  EXPECT_EQ(wsmC(aA2(mkf({1, 2}), as(0))), 0u);
  EXPECT_EQ(etext(), "'length\n");
  std::mt19937_64 g(3);
  std::uniform_real_distribution<F> d(-1, 1);
  for (U n : {1048575u, 1048576u}) {
    Fs a(n), b(n);
    for (U i = 0; i < n; i++) a[i] = d(g), b[i] = d(g);
    V x = mkf(a), y = mkf(b);
    UJ bt[2];
    int k = 0;
    for (const char *t : {"1", "8"}) {
      EnvThreads e(t);
      V s = wsmC(aA2(_r(x), _r(y)));
      bt[k++] = bits(PF(s)[0]);
      mr(s);
    }
    EXPECT_EQ(bt[0], bt[1]) << n;
    mr(x), mr(y);
  }
}

TEST_F(Stats, MinvAgainstNumpy) {
  std::mt19937_64 g(11);
  std::uniform_real_distribution<F> d(-1, 1);
  U n = 50;
  Fs a(n * n);
  for (U i = 0; i < n; i++)
    for (U j = 0; j < n; j++) a[i * n + j] = d(g) + (i == j ? n : 0);
  V m = an(n, tLIST);
  for (U i = 0; i < n; i++) PA(m)[i] = mkf(Fs(a.begin() + i * n, a.begin() + (i + 1) * n));
  V r = minvT(m);
  ASSERT_NE(r, 0u);
  ASSERT_EQ(nx(r), n);
  for (U i = 0; i < n; i++)
    for (U j = 0; j < n; j++) {
      F s = 0;
      for (U k = 0; k < n; k++) s += a[i * n + k] * PF(PA(r)[k])[j];
      EXPECT_NEAR(s, i == j, 1e-9);
    }
  Fs want;
  if (py("n = int(round(len(x) ** 0.5)); np.linalg.inv(x.reshape(n, n)).tofile(sys.argv[2])\n", a,
         want)) {
    for (U i = 0; i < n; i++)
      for (U j = 0; j < n; j++) EXPECT_NEAR(PF(PA(r)[i])[j], want[i * n + j], 1e-12);
  }
  mr(r);
  // a fixed matrix with row exchanges: the bits of its inverse
  m = aA2(mkf({1, 2, 3}), mkf({4, 5, 6}));
  m = psh(m, mkf({7, 8, 10}));
  r = minvT(m);
  ASSERT_NE(r, 0u);
  UJ h = 0;
  for (U i = 0; i < 3; i++)
    for (U j = 0; j < 3; j++) h = h * 1000003 ^ bits(PF(PA(r)[i])[j]);
  EXPECT_EQ(h, 0xdf9f23a1999bfdcbull);
  mr(r);
}

}  // namespace

namespace {

V texts(const std::vector<std::string> &v) {
  V x = an((U)v.size(), tLIST);
  for (size_t i = 0; i < v.size(); i++) PA(x)[i] = aCn(v[i].data(), (U)v.size() ? (U)v[i].size() : 0);
  return x;
}

TEST_F(Stats, PrsILTable) {
  std::vector<std::string> s = {" 42 ", "-7", "+-+3", "--3", "007", "0", "", " ", "-", "12a",
                                "1 2", "4\n", "9223372036854775808", "9223372036854775807",
                                "-9223372036854775807", "-9223372036854775808", "\t\r 5\t",
                                "00000000000000000000009", "-+", "+5", "1e3"};
  std::vector<J> w = {42, -7, -3, 3, 7, 0, NJ, NJ, NJ, NJ, NJ, NJ, NJ, WJ, -WJ, NJ, 5, 9, NJ, 5, NJ};
  V r = prsIL(texts(s));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(tp(r), tLONG);
  EXPECT_EQ(items(r), w);
  mr(r);
  // a one-char text and a char atom; a number fails
  r = prsIL(aA2(aCz("5"), ac('6')));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(items(r), (std::vector<J>{5, 6}));
  mr(r);
  EXPECT_EQ(prsIL(aA2(aCz("5"), ai(3))), 0u);
  EXPECT_EQ(etext(), "'type\n");
  r = prsI(aCz(" -12 "));
  EXPECT_EQ(tp(r), tINTA);
  EXPECT_EQ(aval(r), -12);
  r = prsI(aCz("5000000000"));
  EXPECT_EQ(tp(r), tLONGA);
  EXPECT_EQ(aval(r), 5000000000);
  mr(r);
}

// Random ASCII texts against a small Python model of the grammar.
TEST_F(Stats, PrsILFuzz) {
  std::mt19937_64 g(5);
  const char al[] = "0000123456789+-  \t\r\nxa.9";
  std::vector<std::string> s;
  for (int i = 0; i < 20000; i++) {
    std::string t;
    int n = (int)(g() % 24);
    if (i % 5 == 0)  // near the 19-digit limits
      t = std::string(g() % 3, ' ') + std::string(g() % 2, '-') + std::string(g() % 3, '0') +
          (g() % 2 ? "922337203685477580" : "999999999999999999") + char('0' + g() % 10);
    else
      for (int k = 0; k < n; k++) t += al[g() % (sizeof al - 1)];
    s.push_back(t);
  }
  char in[] = "/tmp/zk_st_tiXXXXXX", res[] = "/tmp/zk_st_toXXXXXX";
  int fi = mkstemp(in), fo = mkstemp(res);
  ASSERT_TRUE(fi >= 0 && fo >= 0);
  std::string all;
  for (auto &t : s) all += t + '\0';
  ASSERT_EQ(write(fi, all.data(), all.size()), (ssize_t)all.size());
  close(fi), close(fo);
  std::string sc = std::string(res) + ".py";
  FILE *f = fopen(sc.c_str(), "w");
  fputs("import sys, re, array\n"
        "ts = open(sys.argv[1], 'rb').read().split(b'\\0')[:-1]\n"
        "def m(t):\n"
        "  g = re.fullmatch(rb'[ \\t\\r]*([+-]*)([0-9]+)[ \\t\\r]*', t)\n"
        "  if not g: return -2**63\n"
        "  v = int(g.group(2)); v = -v if g.group(1).count(b'-') % 2 else v\n"
        "  return v if -2**63 <= v < 2**63 else -2**63\n"
        "open(sys.argv[2], 'wb').write(array.array('q', [m(t) for t in ts]).tobytes())\n",
        f);
  fclose(f);
  std::string cmd = std::string("/usr/bin/python3 ") + sc + " " + in + " " + res + " 2>/dev/null";
  bool ok = system(cmd.c_str()) == 0;
  std::vector<J> want(s.size());
  FILE *h = fopen(res, "rb");
  ok = ok && h && fread(want.data(), 8, want.size(), h) == want.size();
  if (h) fclose(h);
  unlink(in), unlink(res), unlink(sc.c_str());
  if (!ok) GTEST_SKIP() << "no python3";
  V r = prsIL(texts(s));
  ASSERT_NE(r, 0u);
  for (size_t i = 0; i < s.size(); i++) EXPECT_EQ(PL(r)[i], want[i]) << '"' << s[i] << '"';
  mr(r);
}

V evs(const char *s) { return evn(s, nullptr, 0); }

TEST_F(Stats, Dlrq) {
  EXPECT_EQ(tqnm(as(us("timespan"))), 39);
  EXPECT_EQ(tqnm(as(us("date"))), 33);
  EXPECT_EQ(tqnm(as(us("dates"))), 0);
  V r = dlrq(as(us("timespan")), aA0(0));
  EXPECT_EQ(r, ce[tTSPAN]);
  mr(r);
  // the stand-in qcst records its arguments
  mr(evs("qcst:{qx::x;qy::y;99}"));
  r = dlrq(as(us("timespan")), aA1(aCz("1")));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(aval(r), 99);
  mr(r);
  r = dlrq(ac('x'), aCz("ab"));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(aval(r), 99);
  mr(r);
  r = evs("qy");
  EXPECT_EQ(tp(r), tCHR);
  mr(r);
  r = evs("qx");
  EXPECT_EQ(r, ac('x'));
  r = dlrq(ac('D'), aA2(aCz("2024.01.02"), aCz("2024.03.04")));
  ASSERT_NE(r, 0u);
  EXPECT_EQ(tp(r), tDATE);
  EXPECT_EQ(nx(r), 2u);
  mr(r);
  EXPECT_EQ(dlrq(ac('D'), an(0, tSYM)), 0u);
  EXPECT_EQ(etext(), "'type\n");
}

}  // namespace
