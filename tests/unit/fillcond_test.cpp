// Fill, except, compress and the splice against outside judges: numpy's
// boolean indexing, Python's list filter and slice assignment; the in-place
// fill; the kernels' own shortcuts (lazy ranges, direct fill calls); and
// failure paths that must give back every byte.
#include <gtest/gtest.h>
#include <cmath>
#include <random>
#include <string>
#include <vector>
#include "core/err.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;
using zkt::setg;

namespace {

V ev(const char *s) { return evn(s, nullptr, 0); }

// A Python script's frame: the doubles of argv[1] as a, a loop over the
// cases in a (the body follows), and the doubles of o written to argv[2].
const char *PYIN =
    "import sys, struct\n"
    "b = open(sys.argv[1], 'rb').read(); a = struct.unpack('%dd' % (len(b) // 8), b)\n"
    "o = []; p = 0\n"
    "while p < len(a):\n";
const char *PYOUT = "open(sys.argv[2], 'wb').write(struct.pack('%dd' % len(o), *o))\n";

std::mt19937_64 R(38);

// Item i of a vector of any fixed width as a double (floats as they are,
// integers and ids by value).
F itemf(V x, U i) {
  switch (Tw[tp(x)]) {
    case 3: return tp(x) == tCHR ? (F)(uint8_t)PC(x)[i] : (F)P<int8_t>(x)[i];
    case 4: return (F)P<int16_t>(x)[i];
    case 5: return (F)PI(x)[i];
    default: return tp(x) == tFLT ? PF(x)[i] : (F)PL(x)[i];
  }
}

// A vector of type t with n random items in its width's range.
V rvec(int t, U n) {
  V x = an(n, t);
  for (U i = 0; i < n; i++) {
    UJ r = R();
    switch (Tw[t]) {
      case 3: P<uint8_t>(x)[i] = (uint8_t)r; break;
      case 4: P<int16_t>(x)[i] = (int16_t)r; break;
      case 5: PI(x)[i] = t == tSYM ? (I)(r % 3) : (I)r; break;
      default:
        if (t == tFLT) PF(x)[i] = r % 17 ? (F)(J)(r >> 11) / 1024.0 : NAN;
        else PL(x)[i] = (J)(r >> 12) - (1ll << 51);
    }
  }
  return x;
}

}  // namespace

// Every width and kind of the fast path, at counts around multiples of 8,
// with masks of all-zero, all-one and mixed words, against numpy.
TEST(Compress, AgreesWithNumpy) {
  boot_once();
  std::vector<F> in, out;
  std::vector<V> got;
  for (int t : {tBYTE, tSHORT, tINT, tLONG, tFLT, tCHR, tSYM, tDATE, tTSTAMP, tTSPAN})
    for (U n : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 1000u})
      for (int shape = 0; shape < 3; shape++) {
        V x = rvec(t, n + 3), m = an(n, tBYTE);  // x longer than the mask
        for (U i = 0; i < n; i++)
          P(m)[i] = shape == 0 ? (G)(R() & 1) : shape == 1 ? (G)((i / 8) & 1) : (G)(i % 8 != 3);
        in.push_back(n);
        for (U i = 0; i < n; i++) in.push_back(itemf(x, i));
        for (U i = 0; i < n; i++) in.push_back(P(m)[i]);
        V r = cmprC(x, m);
        ASSERT_TRUE(r);
        EXPECT_EQ(tp(r), t);
        got.push_back(r);
        mr(x);
      }
  const char *py =
      "import sys, numpy as np\n"
      "a = np.fromfile(sys.argv[1], dtype=np.float64); o = []; p = 0\n"
      "while p < len(a):\n"
      "  n = int(a[p]); x = a[p+1:p+1+n]; m = a[p+1+n:p+1+2*n]; p += 1 + 2*n\n"
      "  k = x[m.astype(bool)]; o.append([len(k)]); o.append(k)\n"
      "np.concatenate(o).astype(np.float64).tofile(sys.argv[2])\n";
  if (!pyf(py, in, "", out)) GTEST_SKIP() << "no numpy";
  size_t p = 0;
  for (V r : got) {
    ASSERT_LT(p, out.size());
    U k = (U)out[p++];
    EXPECT_EQ(nx(r), k) << tp(r);
    for (U i = 0; i < k && i < nx(r); i++) {
      F a = itemf(r, i), b = out[p + i];
      EXPECT_TRUE(a == b || (a != a && b != b)) << tp(r) << " item " << i;
    }
    p += k;
    mr(r);
  }
}

// A byte above 1 counts, as the route x@&y does; atoms, lists and bits go
// the route too.
TEST(Compress, GeneralRoute) {
  boot_once();
  struct C { const char *src, *want; };
  for (C c : std::vector<C>{{"x:10 20 30 40;m:1 0 2 1;x@&m", "10 30 30 40"},
                            {"x:`a`b`c;m:(1 0 1)>0;x@&m", "`a`c"},
                            {"x:(1;`a;\"b\");m:(0 1 1)>0;x@&m", "(`a;\"b\")"},
                            {"x:1 0 1=1;m:(1 1 0)>0;x@&m", "1 0"}}) {
    V r = ev(c.src);
    ASSERT_TRUE(r) << c.src << etext();
    V s = kst(r);
    EXPECT_EQ(std::string(PC(s), nx(s)), c.want) << c.src;
    mr(s);
  }
  V x = zkt::mk(tLONG, {5, 6, 7}), m = an(3, tBYTE);
  P(m)[0] = 0, P(m)[1] = 3, P(m)[2] = 1;
  V r = cmprC(x, m);
  EXPECT_EQ(zkt::items(r), (std::vector<J>{6, 6, 6, 7}));
  mr(r), mr(x);
}

// Except of ints and symbols against Python's filter by `not in set(y)`.
TEST(Except, AgreesWithPython) {
  boot_once();
  std::vector<F> in, out;
  std::vector<V> got;
  for (int t : {tLONG, tINT, tSYM})
    for (int c = 0; c < 40; c++) {
      U n = (U)(R() % 50), m = (U)(R() % 20);
      if (m == n) m++;  // equal counts fill instead
      V x = an(n, t), y = an(m, t);
      for (U i = 0; i < n; i++) t == tLONG ? (void)(PL(x)[i] = (J)(R() % 30)) : (void)(PI(x)[i] = (I)(R() % 30));
      for (U i = 0; i < m; i++) t == tLONG ? (void)(PL(y)[i] = (J)(R() % 30)) : (void)(PI(y)[i] = (I)(R() % 30));
      if (t == tSYM)  // ids of one-letter names
        for (V v : {x, y})
          for (U i = 0; i < nx(v); i++) PI(v)[i] = 'a' + PI(v)[i];
      in.push_back(n), in.push_back(m);
      for (U i = 0; i < n; i++) in.push_back(itemf(x, i));
      for (U i = 0; i < m; i++) in.push_back(itemf(y, i));
      V r = crt(x, y);
      ASSERT_TRUE(r) << etext();
      got.push_back(r);
      mr(x);
    }
  std::string py = std::string(PYIN) +
      "  n = int(a[p]); m = int(a[p+1]); x = a[p+2:p+2+n]; y = set(a[p+2+n:p+2+n+m]); p += 2 + n + m\n"
      "  k = [v for v in x if v not in y]; o.append(len(k)); o.extend(k)\n"
      + PYOUT;
  if (!pyf(py, in, "", out)) GTEST_SKIP() << "no python";
  size_t p = 0;
  for (V r : got) {
    U k = (U)out[p++];
    ASSERT_EQ(_n(r), (J)k);
    for (U i = 0; i < k; i++) {
      V e = ii(r, i);
      F a = tp(e) == tSYMA ? (F)ip(e) : (F)zkt::aval(e);
      EXPECT_EQ(a, out[p + i]);
      mr(e);
    }
    p += k;
    mr(r);
  }
}

// Range except range: one run stays a range; two runs are a vector.
TEST(Except, RangesStayLazy) {
  boot_once();
  struct C { J a, b, c, d, s, e; bool lazy; };
  for (C c : std::vector<C>{{0, 10, 5, 20, 0, 5, true},
                            {5, 15, 0, 8, 8, 15, true},
                            {0, 10, 20, 35, 0, 10, true},
                            {3, 6, 0, 10, 0, 0, true},
                            {0, 10, 3, 5, 0, 0, false}}) {
    V x = aE(c.a, c.b), y = aE(c.c, c.d);
    V r = crt(x, y);
    ASSERT_TRUE(r);
    if (c.lazy && c.e > c.s) {
      ASSERT_EQ(tp(r), tRANGE) << c.a << " " << c.b;
      EXPECT_EQ(PL(r)[0], c.s);
      EXPECT_EQ(PL(r)[1], c.e);
    } else if (c.lazy) {
      EXPECT_EQ(r, ce[tBYTE]);
    } else {
      EXPECT_NE(tp(r), tRANGE);
      EXPECT_EQ(zkt::items(r), (std::vector<J>{0, 1, 2, 5, 6, 7, 8, 9}));
    }
    mr(r), mr(x);
  }
}

// An unshared float y is filled where it lies; a shared one is copied and
// left as it was.
TEST(Fill, FloatsInPlace) {
  boot_once();
  for (U n : {0u, 5u, 8u, 9u, 100u}) {
    V y = an(n, tFLT);
    for (U i = 0; i < n; i++) PF(y)[i] = i % 3 ? (F)i : NAN;
    V r = crt(ai(0), y);
    EXPECT_EQ(r, y);
    for (U i = 0; i < n; i++) EXPECT_EQ(PF(r)[i], i % 3 ? (F)i : 0.0);
    _r(r);
    V s = crt(af(-1.5), r);  // shared: a new vector
    EXPECT_NE(s, r);
    for (U i = 0; i < n; i++) EXPECT_EQ(PF(s)[i], i % 3 ? (F)i : 0.0);
    mr(s), mr(r);
  }
  V t = an(4, tTSTAMP);
  PL(t)[0] = 1, PL(t)[1] = NJ, PL(t)[2] = 3, PL(t)[3] = NJ;
  V r = crt(ai(9), t);
  EXPECT_EQ(r, t);
  EXPECT_EQ(PL(r)[1], 9);
  EXPECT_EQ(PL(r)[3], 9);
  mr(r);
}

// fil called directly (as key lookups and dict arithmetic do): a temporal
// vector from one of another count fails, as lists of another count do.
TEST(Fill, DirectCounts) {
  boot_once();
  V x = an(2, tDATE), y = an(3, tDATE);
  PI(x)[0] = PI(x)[1] = 1;
  PI(y)[0] = NI, PI(y)[1] = 2, PI(y)[2] = NI;
  UJ a = freebytes();
  EXPECT_FALSE(fil(x, _r(y)));
  EXPECT_EQ(etext().substr(0, 7), "'length");
  EXPECT_EQ(freebytes(), a);
  V z = an(3, tDATE);
  PI(z)[0] = 7, PI(z)[1] = 8, PI(z)[2] = 9;
  V r = fil(z, y);
  ASSERT_TRUE(r);
  EXPECT_EQ(PI(r)[0], 7);
  EXPECT_EQ(PI(r)[1], 2);
  EXPECT_EQ(PI(r)[2], 9);
  mr(r), mr(z), mr(x);
}

// Splices of random lists against Python's slice assignment x[i:j] = z.
TEST(Splice, AgreesWithPython) {
  boot_once();
  std::vector<F> in, out;
  std::vector<V> got;
  for (int c = 0; c < 200; c++) {
    U n = 1 + (U)(R() % 12), m = (U)(R() % 5);
    U i = (U)(R() % (n + 1)), j = i + (U)(R() % (n + 1 - i));
    std::vector<J> xv, zv;
    for (U k = 0; k < n; k++) xv.push_back((J)(R() % 1000) + 2);  // never a condition
    for (U k = 0; k < m; k++) zv.push_back((J)(R() % 100000));
    V x = zkt::mk(tLONG, xv), z = zkt::mk(c % 2 ? tINT : tLONG, zv);
    V y = c % 3 ? zkt::mk(tLONG, {(J)i, (J)j}) : ai((I)i);
    if (!(c % 3)) j = i;
    in.push_back(n), in.push_back(m), in.push_back(i), in.push_back(j);
    for (J v : xv) in.push_back((F)v);
    for (J v : zv) in.push_back((F)v);
    V r = ins3(x, y, z);
    ASSERT_TRUE(r) << etext();
    got.push_back(r);
    mr(y), mr(z);
  }
  std::string py = std::string(PYIN) +
      "  n, m, i, j = (int(v) for v in a[p:p+4]); p += 4\n"
      "  x = list(a[p:p+n]); z = list(a[p+n:p+n+m]); p += n + m\n"
      "  x[i:j] = z; o.append(len(x)); o.extend(x)\n"
      + PYOUT;
  if (!pyf(py, in, "", out)) GTEST_SKIP() << "no python";
  size_t p = 0;
  for (V r : got) {
    U k = (U)out[p++];
    std::vector<J> want;
    for (U i = 0; i < k; i++) want.push_back((J)out[p + i]);
    p += k;
    EXPECT_EQ(_n(r) ? zkt::items(r) : std::vector<J>{}, want);
    mr(r);
  }
}

// General lists: an unshared x hands its items over, a shared one keeps
// them; z's items are retained either way.
TEST(Splice, ListReferences) {
  boot_once();
  V a = ev("\"abc\""), b = ev("`x`y"), c = ev("1.5 2.5");
  for (bool shared : {false, true}) {
    V x = an(3, tLIST), z = an(1, tLIST);
    PA(x)[0] = _r(a), PA(x)[1] = _r(b), PA(x)[2] = _r(c), PA(z)[0] = _r(b);
    if (shared) _r(x);
    U ra = hd(a)->rc, rb = hd(b)->rc;
    V r = insL(x, 0, 1, z);  // replaces "abc" by `x`y
    ASSERT_TRUE(r) << etext();
    EXPECT_EQ(nx(r), 3u);
    EXPECT_EQ(PA(r)[0], b);
    EXPECT_EQ(hd(a)->rc, shared ? ra : ra - 1);
    EXPECT_EQ(hd(b)->rc, rb + (shared ? 2 : 1));  // z's item, and x's item 1 when kept shared
    mr(r), mr(z);
    if (shared) mr(x);
  }
  mr(a), mr(b), mr(c);
}

TEST(FillCond, FailuresLeakNothing) {
  boot_once();
  setg("fcx", ev("1 2 3"));
  zkt::fails_leak_nothing(ev, {"(`a`b!1 2)^3", "(+`a`b!(1 2;3 4))^5", "5000000000^2024.01.01 0Nd",
                               "2024.02.02^`a", "?[1 0 1;1 2;7]", "?[1 0 1=1;1 2;7]", "?[2;10;20]",
                               "?[fcx;-1;9]", "?[fcx;(-1;1);9]", "?[fcx;(0;1;2);9]", "?[fcx;`a;9]",
                               "?[fcx;4;\"ab\"]", "?[+`a`b!(1 2;3 4);1;+`a`c!(,5;,6)]",
                               "\",\"/(\"ab\";1)", "x:10 20 30;m:-1 1 0;x@&m"});
}
