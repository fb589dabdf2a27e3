// Integer kernels: + - * & | with widening against exact 128-bit
// arithmetic at every width pair and at both register widths (16 bytes,
// and 32 where the processor has AVX2), width casts, comparisons, % and
// the modulus, the range shift, the complement, and thread-count
// independence of the parallel kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "core/pool.h"
#include "core/sym.h"
#include "num/int.h"
#include "testutil.h"

using namespace zk;

namespace {

typedef __int128 W;
typedef std::vector<J> Js;

struct Int : ::testing::Test {
  void SetUp() override { boot_once(); }
};

// Vectors of type t (4..7 integer, 9 char) from longs (truncated to the
// width), and items read back sign-extended.
V mk(int t, const Js &v) {
  V x = an((U)v.size(), t);
  for (size_t i = 0; i < v.size(); i++) switch (Tw[t]) {
      case 3: P<int8_t>(x)[i] = (int8_t)v[i]; break;
      case 4: P<int16_t>(x)[i] = (int16_t)v[i]; break;
      case 5: P<int32_t>(x)[i] = (int32_t)v[i]; break;
      default: PL(x)[i] = v[i];
    }
  return x;
}
J at(V x, U i) {
  switch (Tw[tp(x)]) {
    case 3: return P<int8_t>(x)[i];
    case 4: return P<int16_t>(x)[i];
    case 5: return P<int32_t>(x)[i];
    default: return PL(x)[i];
  }
}
Js items(V x) {
  Js r;
  for (U i = 0; i < nx(x); i++) r.push_back(at(x, i));
  return r;
}

constexpr J LO[4] = {INT8_MIN, INT16_MIN, INT32_MIN, INT64_MIN};
constexpr J HI[4] = {INT8_MAX, INT16_MAX, INT32_MAX, INT64_MAX};
bool fits(W v, int c) { return v >= LO[c] && v <= HI[c]; }

// Boundary values of width class c, and the value generator: a mix of the
// boundaries of c and of narrower widths with random values, so that some
// vectors overflow and others do not.
Js bounds(int c) {
  Js b;
  for (int k = 0; k <= c; k++) {
    b.push_back(HI[k]), b.push_back(LO[k]), b.push_back(HI[k] - 1), b.push_back(LO[k] + 1);
  }
  b.push_back(0), b.push_back(-1), b.push_back(1);
  return b;
}
std::mt19937_64 rng(12345);
J pick(int c, int mode) {
  static const Js bs[4] = {bounds(0), bounds(1), bounds(2), bounds(3)};
  const Js &b = bs[c];
  UJ r = rng();
  if (mode == 0) return (J)(r % 16) - 8;  // small: never overflows
  if (r % 4 == 0) return b[rng() % b.size()];
  J v = (J)rng();
  int k = (int)(rng() % (c + 1));  // random value of some width up to c
  int sh = 64 - (8 << k);
  return sh ? (v << sh) >> sh : v;
}
Js vec(int c, size_t n, int mode) {
  Js v(n);
  for (auto &e : v) e = pick(c, mode);
  return v;
}

// Expected result of + - * & | (op 1 2 3 6 7) under the widening rule: the
// width class of the result and its items (& and | keep the class w).
struct Exp {
  int c;
  Js v;
};
Exp expect(int op, int w, const Js &x, const Js &y) {
  if (op >= 6) {
    Exp r{w, {}};
    for (size_t i = 0; i < y.size(); i++)
      r.v.push_back(op == 6 ? std::min(x[i], y[i]) : std::max(x[i], y[i]));
    return r;
  }
  std::vector<W> ex(y.size());
  for (size_t i = 0; i < y.size(); i++)
    ex[i] = op == 1 ? (W)x[i] + y[i] : op == 2 ? (W)x[i] - y[i] : (W)x[i] * y[i];
  for (int c = w; c < 3; c++) {
    bool ok = true;
    for (W e : ex) ok &= fits(e, c);
    if (ok) {
      Exp r{c, {}};
      for (W e : ex) r.v.push_back((J)e);
      return r;
    }
  }
  Exp r{3, {}};
  for (size_t i = 0; i < y.size(); i++) {
    // Long: 0N in gives 0N out, else wrap.  Narrower inputs hold no null.
    bool nul = (w == 3) && (x[i] == NJ || y[i] == NJ);
    UJ a = (UJ)x[i], b = (UJ)y[i];
    r.v.push_back(nul ? NJ : (J)(op == 1 ? a + b : op == 2 ? a - b : a * b));
  }
  return r;
}

// The kernels' register width for one scope (32 falls back to 16 where
// the processor lacks AVX2, and both runs then test the same code).
struct Width {
  int old;
  explicit Width(int b) : old(izw(b)) {}
  ~Width() { izw(old); }
};

int cls_of(J a) { return tZ(a) - 4; }
int tyc(int c) { return 4 + c; }
const int VT[5] = {tBYTE, tSHORT, tINT, tLONG, tCHR};
int vcls(int t) { return wc(t); }

}  // namespace

// ---- + - * & | against exact arithmetic ----

TEST_F(Int, ArithVectorVectorEveryWidthPair) {
  for (int b : {16, 32}) {
    Width g(b);
    for (int op : {1, 2, 3, 6, 7})
      for (int tx : VT)
        for (int ty : VT)
          for (int it = 0; it < 60; it++) {
            size_t n = it < 40 ? rng() % 70 : rng() % 600;
            int mode = it % 3 == 0 ? 0 : 1;
            Js xs = vec(vcls(tx), n, mode), ys = vec(vcls(ty), n, mode);
            V x = mk(tx, xs), y = mk(ty, ys);
            xs = items(x), ys = items(y);  // as stored (chars are signed bytes)
            bool share = it % 4 == 1;
            if (share) _r(y);
            int w = std::max(vcls(tx), vcls(ty));
            V r = op == 1   ? addZZ(x, y)
                  : op == 2 ? subZZ(x, y)
                  : op == 3 ? mulZZ(x, y)
                            : mmmZZ(x, y, op);
            ASSERT_NE(r, 0u);
            Exp e = expect(op, w, xs, ys);
            ASSERT_EQ(tp(r), tyc(e.c)) << "op " << op << " types " << tx << " " << ty << " n " << n
                                       << " width " << b;
            ASSERT_EQ(items(r), e.v)
                << "op " << op << " types " << tx << " " << ty << " width " << b;
            EXPECT_EQ(hd(r)->attr, 0);
            EXPECT_EQ(items(x), xs);  // x is never written
            if (share) {
              EXPECT_NE(r, y);
              EXPECT_EQ(tp(y), ty);
              EXPECT_EQ(items(y), ys);  // a shared y is never changed
              mr(y);
            }
            mr(x), mr(r);
          }
  }
}

TEST_F(Int, ArithAtomVectorEveryWidth) {
  Js atoms;
  for (int c = 0; c < 4; c++)
    for (J b : bounds(c)) atoms.push_back(b);
  for (int k = 0; k < 40; k++) atoms.push_back(pick(3, 1));
  for (int b : {16, 32}) {
    Width g(b);
    for (int op : {1, 2, 3, 6, 7})
      for (int ty : VT)
        for (J a : atoms)
          for (int it = 0; it < 3; it++) {
            size_t n = rng() % 50;
            Js ys = vec(vcls(ty), n, it == 0 ? 0 : 1);
            V y = mk(ty, ys);
            ys = items(y);
            bool share = it == 2;
            if (share) _r(y);
            int w = std::max(cls_of(a), vcls(ty));
            V r = op == 1   ? addzZ(a, y)
                  : op == 2 ? subzZ(a, y)
                  : op == 3 ? mulzZ(a, y)
                            : mmmzZ(a, y, op);
            ASSERT_NE(r, 0u);
            Exp e = expect(op, w, Js(n, a), ys);
            ASSERT_EQ(tp(r), tyc(e.c)) << "op " << op << " a " << a << " type " << ty << " w " << b;
            ASSERT_EQ(items(r), e.v) << "op " << op << " a " << a << " type " << ty << " w " << b;
            if (share) {
              EXPECT_EQ(items(y), ys);
              mr(y);
            }
            mr(r);
          }
  }
}

// Casts between every pair of integer widths (and from chars) keep the low
// bits or sign-extend, at both register widths and at every tail length;
// the argument is released, or returned when it already has the type.
TEST_F(Int, CastEveryWidthPair) {
  for (int b : {16, 32}) {
    Width g(b);
    for (int s : VT)
      for (int t : {tBYTE, tSHORT, tINT, tLONG})
        for (size_t n : {0, 1, 7, 31, 33, 64, 100, 257}) {
          Js v = vec(3, n, 1);
          V x = mk(s, v);
          v = items(x);
          bool share = n % 2 == 1;
          if (share) _r(x);
          V r = cZ(t, x);
          ASSERT_EQ(tp(r), t);
          Js e;
          for (J i : v)
            e.push_back(t == tBYTE ? (int8_t)i : t == tSHORT ? (int16_t)i : t == tINT ? (I)i : i);
          ASSERT_EQ(items(r), e) << s << " to " << t << " n " << n << " width " << b;
          if (share) {
            EXPECT_EQ(items(x), v);
            mr(x);
          }
          mr(r);
        }
  }
}

// Unshared y is the result when nothing widens; when an overflow forces a
// retry after y was overwritten, y's items come back first.
TEST_F(Int, InPlaceAndRestore) {
  struct {
    int op;
    Js x, y;
    int rt;
    Js r;
  } rows[] = {
      {1, {100, 1, -5}, {27, 2, 5}, tBYTE, {127, 3, 0}},
      {1, {100, 1, -5}, {28, 2, 5}, tSHORT, {128, 3, 0}},
      {2, {-100, 7, 0}, {29, 2, -128}, tSHORT, {-129, 5, 128}},
      {2, {-100, 7, 0}, {28, 2, -127}, tBYTE, {-128, 5, 127}},
  };
  for (auto &w : rows) {
    V x = mk(tBYTE, w.x), y = mk(tBYTE, w.y);
    hd(y)->attr = 1;
    V r = w.op == 1 ? addZZ(x, y) : subZZ(x, y);
    EXPECT_EQ(tp(r), w.rt);
    EXPECT_EQ(items(r), w.r);
    EXPECT_EQ(hd(r)->attr, 0);
    if (w.rt == tBYTE) {
      EXPECT_EQ(r, y);  // written in place
    }
    mr(x), mr(r);
  }
  // the products never go into y
  V x = mk(tBYTE, {2, 3}), y = mk(tBYTE, {3, 4});
  V r = mulZZ(x, y);
  EXPECT_NE(r, y);
  EXPECT_EQ(items(r), (Js{6, 12}));
  mr(x), mr(r);
}

TEST_F(Int, WideningAndNullTable) {
  struct {
    const char *what;
    int op;
    J a;  // atom on the left
    int ty;
    Js y;
    int rt;
    Js r;
  } rows[] = {
      {"int max + 1", 1, 1, tINT, {2147483647}, tLONG, {2147483648LL}},
      {"long max + 1 wraps to 0N", 1, 1, tLONG, {INT64_MAX}, tLONG, {NJ}},
      {"0N + longs", 1, NJ, tLONG, {1, 2, NJ}, tLONG, {NJ, NJ, NJ}},
      {"0N + bytes", 1, NJ, tBYTE, {1, -1}, tLONG, {NJ, NJ}},
      {"0 * long with 0N", 3, 0, tLONG, {5, NJ, 7}, tLONG, {0, NJ, 0}},
      {"2 * bytes with 64", 3, 2, tBYTE, {1, 64, -3}, tSHORT, {2, 128, -6}},
      {"1000 * bytes", 3, 1000, tBYTE, {1, 2}, tSHORT, {1000, 2000}},
      {"1000 * bytes overflow short", 3, 1000, tBYTE, {100, 2}, tINT, {100000, 2000}},
      {"5 - byte -128", 2, 5, tBYTE, {-128, 0}, tSHORT, {133, 5}},
      {"char + 1 is byte", 1, 1, tCHR, {'a', -56}, tBYTE, {'b', -55}},
      {"max of 0N and longs", 7, NJ, tLONG, {-5, NJ}, tLONG, {-5, NJ}},
      {"min of 0N and longs", 6, NJ, tLONG, {-5, 3}, tLONG, {NJ, NJ}},
      {"min 300 bytes widens to short", 6, 300, tBYTE, {-5, 127}, tSHORT, {-5, 127}},
      {"min -1 chars is bytes", 6, -1, tCHR, {-56, 5}, tBYTE, {-56, -1}},
  };
  for (auto &w : rows) {
    V y = mk(w.ty, w.y);
    V r = w.op == 1 ? addzZ(w.a, y) : w.op == 2 ? subzZ(w.a, y) : w.op == 3 ? mulzZ(w.a, y) : mmmzZ(w.a, y, w.op);
    EXPECT_EQ(tp(r), w.rt) << w.what;
    EXPECT_EQ(items(r), w.r) << w.what;
    mr(r);
  }
  // a short vector & a byte vector is a short vector
  V x = mk(tSHORT, {300, -300}), y = mk(tBYTE, {5, 5});
  V r = mmmZZ(x, y, 6);
  EXPECT_EQ(tp(r), tSHORT);
  EXPECT_EQ(items(r), (Js{5, -300}));
  mr(x), mr(r);
}

// ---- the range shift ----
TEST_F(Int, RangeShift) {
  V r = addzE(5, aE(10, 20));
  ASSERT_EQ(tp(r), tRANGE);
  EXPECT_EQ(PL(r)[0], 15);
  EXPECT_EQ(PL(r)[1], 25);
  mr(r);
  r = addzE(-30, aE(10, 20));
  ASSERT_EQ(tp(r), tRANGE);
  EXPECT_EQ(PL(r)[0], -20);
  mr(r);
  V e = an(2, tRANGE);  // an empty range
  PL(e)[0] = PL(e)[1] = 7;
  r = addzE(5, e);
  EXPECT_EQ(r, ce[tBYTE]);
  mr(r);
  // past the largest long: materialised, widened to long and wrapped
  r = addzE(10, aE(INT64_MAX - 4, INT64_MAX - 1));
  ASSERT_EQ(tp(r), tLONG);
  EXPECT_EQ(items(r), (Js{(J)((UJ)INT64_MAX + 6), (J)((UJ)INT64_MAX + 7), (J)((UJ)INT64_MAX + 8)}));
  mr(r);
  r = addzE(-10, aE(INT64_MIN + 2, INT64_MIN + 4));
  ASSERT_EQ(tp(r), tLONG);
  EXPECT_EQ(items(r), (Js{(J)((UJ)INT64_MIN - 8), (J)((UJ)INT64_MIN - 7)}));
  mr(r);
  // A null shift gives nulls, as for a vector, never a shifted range of
  // ordinary numbers (0N + 3 would otherwise read as -9223372036854775805).
  for (J s : {0LL, 3LL, -2LL}) {
    r = addzE(NJ, aE(s, s + 4));
    ASSERT_EQ(tp(r), tLONG) << s;
    EXPECT_EQ(items(r), (Js{NJ, NJ, NJ, NJ})) << s;
    mr(r);
  }
  // a range starting at 0N holds a null item, which stays null
  r = addzE(1, aE(NJ, NJ + 2));
  ASSERT_EQ(tp(r), tLONG);
  EXPECT_EQ(items(r), (Js{NJ, NJ + 2}));
  mr(r);
}

TEST_F(Int, Complement) {
  for (int t : {tBYTE, tSHORT, tINT, tLONG}) {
    Js v = {0, -1, 5, LO[t - 4], HI[t - 4]};
    V x = mk(t, v);
    hd(x)->attr = 1;
    V r = inv(x);
    EXPECT_EQ(r, x);
    EXPECT_EQ(hd(r)->attr, 0);
    Js c;
    for (J e : v) c.push_back(~e);
    EXPECT_EQ(items(r), c);
    _r(r);  // shared now: the complement is a copy
    V s = inv(r);
    EXPECT_NE(s, r);
    EXPECT_EQ(items(s), v);
    EXPECT_EQ(items(r), c);
    mr(r), mr(s);
  }
}

// ---- comparisons ----
TEST_F(Int, CompareEveryWidthPair) {
  for (int op : {8, 9, 10})
    for (int tx : VT)
      for (int ty : VT)
        for (int it = 0; it < 20; it++) {
          size_t n = rng() % 100;
          Js xs = vec(vcls(tx), n, it & 1), ys = vec(vcls(ty), n, it & 1);
          if (it & 2)
            for (size_t i = 0; i < n; i += 2) ys[i] = xs[i];  // equal items too
          V x = mk(tx, xs), y = mk(ty, ys);
          xs = items(x), ys = items(y);
          V r = cmpZZ(x, y, op);
          ASSERT_EQ(tp(r), tBYTE);
          ASSERT_EQ(nx(r), n);
          for (size_t i = 0; i < n; i++) {
            int e = op == 8 ? xs[i] < ys[i] : op == 9 ? xs[i] > ys[i] : xs[i] == ys[i];
            ASSERT_EQ(P<G>(r)[i], e) << op << " " << tx << " " << ty << " " << xs[i] << " " << ys[i];
          }
          EXPECT_EQ(items(x), xs);
          mr(x), mr(r);
        }
}

TEST_F(Int, CompareAtomEveryWidth) {
  Js atoms;
  for (int c = 0; c < 4; c++)
    for (J b : bounds(c)) atoms.push_back(b);
  atoms.push_back(1000), atoms.push_back(-1000);
  for (int op : {8, 9, 10})
    for (int ty : VT)
      for (J a : atoms) {
        size_t n = rng() % 80;
        Js ys = vec(vcls(ty), n, 1);
        if (n) ys[0] = a;  // truncated to the width: equal when a fits
        V y = mk(ty, ys);
        ys = items(y);
        V r = cmpzZ(a, y, op);
        ASSERT_EQ(tp(r), tBYTE);
        ASSERT_EQ(nx(r), n);
        for (size_t i = 0; i < n; i++) {
          int e = op == 8 ? a < ys[i] : op == 9 ? a > ys[i] : a == ys[i];
          ASSERT_EQ(P<G>(r)[i], e) << op << " a " << a << " type " << ty << " item " << ys[i];
        }
        mr(r);
      }
}

TEST_F(Int, CompareTable) {
  struct {
    J a;
    int op, ty;
    Js y, r;
  } rows[] = {
      {2, 9, tBYTE, {1, 2, 3}, {1, 0, 0}},        // 1 2 3 < 2, atom first with > exchanged
      {1000, 8, tBYTE, {1, 2, 3}, {0, 0, 0}},     // 1 2 3 > 1000
      {-1000, 8, tBYTE, {1, 2, 3}, {1, 1, 1}},    // -1000 < every byte
      {1000, 10, tBYTE, {1, 2, 3}, {0, 0, 0}},
      {5, 9, tLONG, {NJ, 5, 6}, {1, 0, 0}},       // 0N < 5
      {-56, 10, tCHR, {-56, 97}, {1, 0}},         // chars as signed bytes
  };
  for (auto &w : rows) {
    V r = cmpzZ(w.a, mk(w.ty, w.y), w.op);
    EXPECT_EQ(items(r), w.r) << w.a << " " << w.op;
    mr(r);
  }
  V x = mk(tSHORT, {300, 100}), y = mk(tBYTE, {100, 100});
  V r = cmpZZ(x, y, 9);
  EXPECT_EQ(items(r), (Js{1, 0}));  // values, not low bytes
  mr(x), mr(r);
}

// ---- division ----
TEST_F(Int, DivideTable) {
  auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
  struct {
    int tx;
    Js x;
    int ty;
    Js y;
    std::vector<double> r;
  } rows[] = {
      {tBYTE, {1, 2, 3}, tBYTE, {2, 2, 2}, {0.5, 1, 1.5}},
      {tBYTE, {1, 1, -1, 0}, tSHORT, {0, 1, 0, 0}, {INFINITY, 1, -INFINITY, NAN}},
      {tINT, {7, 8}, tLONG, {NJ, 2}, {NAN, 4}},
      {tLONG, {NJ, -9}, tBYTE, {2, -2}, {NAN, 4.5}},
      {tCHR, {-56, 4}, tINT, {2, 8}, {-28, 0.5}},
  };
  for (auto &w : rows) {
    V x = mk(w.tx, w.x);
    V r = dvdZZ(x, mk(w.ty, w.y));
    ASSERT_EQ(tp(r), tFLT);
    for (size_t i = 0; i < w.r.size(); i++) EXPECT_TRUE(same(PF(r)[i], w.r[i])) << i << " " << PF(r)[i];
    mr(x), mr(r);
  }
  // atom / vector, the long y overwritten in place when unshared
  V y = mk(tLONG, {2, 0, NJ, -4});
  V r = dvdzZ(1, y);
  EXPECT_EQ(r, y);
  ASSERT_EQ(tp(r), tFLT);
  double e[] = {0.5, INFINITY, NAN, -0.25};
  for (int i = 0; i < 4; i++) EXPECT_TRUE(same(PF(r)[i], e[i])) << i;
  mr(r);
  r = dvdzZ(NJ, mk(tBYTE, {1, 2}));
  EXPECT_TRUE(std::isnan(PF(r)[0]) && std::isnan(PF(r)[1]));
  mr(r);
  // random pairs at every width against double arithmetic
  for (int tx : VT)
    for (int ty : VT) {
      size_t n = 77;
      Js xs = vec(vcls(tx), n, 1), ys = vec(vcls(ty), n, 1);
      V x = mk(tx, xs), yy = mk(ty, ys);
      xs = items(x), ys = items(yy);
      _r(yy);
      V q = dvdZZ(x, yy);
      for (size_t i = 0; i < n; i++) {
        double a = xs[i] == NJ && vcls(tx) == 3 ? NAN : (double)xs[i];
        double b = ys[i] == NJ && vcls(ty) == 3 ? NAN : (double)ys[i];
        EXPECT_TRUE(same(PF(q)[i], a / b));
      }
      EXPECT_EQ(items(yy), ys);  // shared y untouched
      mr(x), mr(yy), mr(q);
    }
}

// ---- modulus ----
TEST_F(Int, ModulusTable) {
  struct {
    J a;
    int ty;
    Js y;
    int rt;
    Js r;
  } rows[] = {
      {3, tLONG, {-7, -1, 0, 1, 7}, tBYTE, {2, 2, 0, 1, 1}},
      {3, tSHORT, {-7, -1, 0, 1, 7}, tBYTE, {2, 2, 0, 1, 1}},
      {8, tINT, {-7, -1, 0, 1, 7}, tBYTE, {1, 7, 0, 1, 7}},
      {-2, tBYTE, {-7, 7}, tBYTE, {-4, 3}},
      {-8, tLONG, {-7, 7}, tLONG, {-1, 0}},
      {-3, tSHORT, {-7, 7, -6}, tSHORT, {-3, 2, -2}},
      {3, tLONG, {5, NJ, 7}, tLONG, {2, NJ, 1}},
      {8, tLONG, {-7, NJ}, tLONG, {1, NJ}},
      {-2, tLONG, {NJ, 5}, tLONG, {NJ, 2}},
      {1000, tBYTE, {-5}, tSHORT, {995}},
      {256, tBYTE, {-5, 5}, tSHORT, {251, 5}},
      {1, tINT, {-5, 5}, tBYTE, {0, 0}},
      {0, tSHORT, {-5, 5}, tSHORT, {-5, 5}},
      {0, tCHR, {-56}, tBYTE, {-56}},
      {NJ, tBYTE, {1, 2}, tLONG, {NJ, NJ}},
      {3, tCHR, {-56}, tBYTE, {1}},
      {-1024, tBYTE, {-1, 100}, tBYTE, {-1, 0}},
      {-1000, tBYTE, {-1, 100, -128}, tBYTE, {-1, 0, -1}},
      {(J)1 << 40, tINT, {-1}, tLONG, {((J)1 << 40) - 1}},
      {5000000000LL, tINT, {-1, 7}, tLONG, {4999999999LL, 7}},
  };
  for (auto &w : rows) {
    V r = modzQ(w.a, mk(w.ty, w.y));
    ASSERT_NE(r, 0u);
    EXPECT_EQ(tp(r), w.rt) << w.a;
    EXPECT_EQ(items(r), w.r) << w.a;
    mr(r);
  }
}

TEST_F(Int, ModulusAgainstExact) {
  Js mods = {1, 2, 3, 7, 8, 100, 127, 128, 255, 256, 1000, 65536, 65537, 1LL << 31, (1LL << 31) + 3,
             1LL << 40, INT64_MAX, -1, -2, -3, -7, -8, -256, -1000, -(1LL << 31), -(1LL << 40),
             -INT64_MAX, INT64_MAX - 1};
  for (J a : mods)
    for (int ty : VT)
      for (int share = 0; share < 2; share++) {
        size_t n = rng() % 90;
        Js ys = vec(vcls(ty), n, 1);
        V y = mk(ty, ys);
        ys = items(y);
        if (share) _r(y);
        V r = modzQ(a, y);
        ASSERT_NE(r, 0u);
        bool nul = false;
        for (J v : ys) nul |= vcls(ty) == 3 && v == NJ;
        int want = nul ? tLONG : a < 0 ? (ty == tCHR ? tBYTE : ty) : a & (a - 1) ? tZ(a) : tZ(a - 1);
        ASSERT_EQ(tp(r), want) << a << " " << ty;
        for (size_t i = 0; i < n; i++) {
          W v = ys[i], e;
          if (nul && ys[i] == NJ) e = NJ;
          else if (a > 0) e = ((v % a) + a) % a;
          else {
            W g = -(W)a;
            e = v >= 0 ? v / g : -((-v + g - 1) / g);
          }
          ASSERT_EQ((W)at(r, (U)i), e) << "a " << a << " v " << ys[i];
        }
        if (share) {
          EXPECT_EQ(items(y), ys);
          mr(y);
        }
        mr(r);
      }
}

// ---- thread-count independence ----

TEST_F(Int, ParallelResultsIndependentOfThreads) {
  for (U n : {1048575u, 1048576u, 3000001u, 10000000u}) {
    // byte and long operands; every item checked against a plain loop
    V xb = an(n, tBYTE), yb = an(n, tBYTE), xl = an(n, tLONG), yl = an(n, tLONG);
    std::mt19937_64 g(n);
    for (U i = 0; i < n; i++) {
      UJ r = g();
      P<int8_t>(xb)[i] = (int8_t)r, P<int8_t>(yb)[i] = (int8_t)(r >> 8);
      PL(xl)[i] = (J)(r >> 16) % 1000 - 500, PL(yl)[i] = (J)(r >> 40) % 1000 - 500;
    }
    PL(yl)[n - 1] = NJ;
    // each result with 2, 3 and 8 threads against the one with 1
    std::vector<V> ref;
    for (const char *t : {"1", "2", "3", "8"}) {
      EnvThreads e(t);
      size_t k = 0;
      auto take = [&](V r) {
        ASSERT_NE(r, 0u);
        if (ref.size() < 6) return ref.push_back(r);
        V f = ref[k++];
        ASSERT_EQ(tp(r), tp(f));
        ASSERT_EQ(nx(r), nx(f));
        EXPECT_EQ(memcmp(P(r), P(f), dbytes(nx(r), tp(r))), 0)
            << "n " << n << " threads " << t << " result " << k;
        mr(r);
      };
      take(cmpZZ(xb, _r(yb), 8));
      take(cmpZZ(xl, _r(yl), 10));
      take(cmpzZ(3, _r(yb), 9));
      take(cmpzZ(-7, _r(yl), 8));
      take(dvdZZ(xl, _r(yl)));
      take(dvdzZ(7, _r(yb)));
    }
    for (V r : ref) mr(r);
    // and the bytes are right
    V r = cmpZZ(xb, _r(yb), 8);
    for (U i = 0; i < n; i++)
      if (P<G>(r)[i] != (P<int8_t>(xb)[i] < P<int8_t>(yb)[i])) FAIL() << i;
    mr(r);
    mr(xb), mr(yb), mr(xl), mr(yl);
  }
}

// Every element-wise arithmetic kernel over 1,048,575 items (serial),
// 1,048,576 (4 workers at 8 threads) and 10,000,000 gives the same type
// and bytes with 1, 2, 3 and 8 threads.  Where a row overflows, one item
// does, so it lies in a single worker's run (the first's, a middle one's
// or the last's): the widening retry hangs on that worker's flag, and with
// y unshared the other workers' runs must be restored before it.
TEST_F(Int, ParallelArithIndependentOfThreads) {
  struct Row {
    const char *what;
    int op;      // 1 + 2 - 3 * 6 & 7 |, 0 complement, 4 + t cast to type t
    bool atom;   // a op y; else x op y
    J a;
    int tx, ty;  // vector types
    J lo, hi;    // items drawn from lo..hi
    bool own;    // y unshared: written in place (and restored on overflow)
    int at;      // item that overflows: 0 none, 1 the 8th, 2 the middle, 3 the last
    J bx, by;    // its x and y
    int rt;      // result type
  } rows[] = {
      {"byte + byte, shared", 1, false, 0, tBYTE, tBYTE, -50, 50, false, 1, 100, 100, tSHORT},
      {"byte + byte, in place", 1, false, 0, tBYTE, tBYTE, -50, 50, true, 3, 100, 100, tSHORT},
      {"byte + short, in place", 1, false, 0, tBYTE, tSHORT, -50, 50, true, 0, 0, 0, tSHORT},
      {"short - short, in place", 2, false, 0, tSHORT, tSHORT, -999, 999, true, 2, -30000, 9999,
       tINT},
      {"short * short", 3, false, 0, tSHORT, tSHORT, -100, 100, false, 2, 300, 300, tINT},
      {"int * int", 3, false, 0, tINT, tINT, -1000, 1000, false, 3, 1 << 20, 1 << 20, tLONG},
      {"short & byte", 6, false, 0, tSHORT, tBYTE, -128, 127, true, 0, 0, 0, tSHORT},
      {"byte | byte", 7, false, 0, tBYTE, tBYTE, -128, 127, false, 0, 0, 0, tBYTE},
      {"5 + bytes, in place", 1, true, 5, 0, tBYTE, -50, 50, true, 2, 0, 125, tSHORT},
      {"-100 - bytes", 2, true, -100, 0, tBYTE, -20, 20, false, 3, 0, 100, tSHORT},
      {"3 * longs with nulls", 3, true, 3, 0, tLONG, NJ, WJ, false, 0, 0, 0, tLONG},
      {"-3 | ints", 7, true, -3, 0, tINT, -9, 9, true, 0, 0, 0, tINT},
      {"complement of ints", 0, false, 0, 0, tINT, -9, 9, true, 0, 0, 0, tINT},
      {"bytes to longs", 4 + tLONG, false, 0, 0, tBYTE, -128, 127, false, 0, 0, 0, tLONG},
      {"ints to bytes", 4 + tBYTE, false, 0, 0, tINT, INT32_MIN, INT32_MAX, false, 0, 0, 0, tBYTE},
  };
  // Items lo..hi (every 64-bit value when that is the whole range) from a
  // hash of the index: no chain from item to item, so 10M items fill fast.
  auto fill = [](int t, U n, J lo, J hi, UJ seed) {
    V v = an(n, t);
    UJ span = (UJ)hi - (UJ)lo + 1;  // at most 2^32, or 0 for all 64 bits
    auto gen = [&](auto *p) {
      for (U i = 0; i < n; i++) {
        UJ s = (i + seed) * 0x9E3779B97F4A7C15ull;
        s ^= s >> 29;
        J e = span ? lo + (J)(((s >> 32) * span) >> 32) : (J)s;
        p[i] = (std::remove_reference_t<decltype(*p)>)e;
      }
    };
    switch (t) {
      case tBYTE: gen(P<int8_t>(v)); break;
      case tSHORT: gen(P<int16_t>(v)); break;
      case tINT: gen(PI(v)); break;
      default: gen(PL(v));
    }
    return v;
  };
  auto put = [](V v, U i, J e) {
    switch (tp(v)) {
      case tBYTE: P<int8_t>(v)[i] = (int8_t)e; break;
      case tSHORT: P<int16_t>(v)[i] = (int16_t)e; break;
      case tINT: PI(v)[i] = (I)e; break;
      default: PL(v)[i] = e;
    }
  };
  auto copy = [](V v) { return aV(tp(v), nx(v), P(v)); };
  for (U n : {1048575u, 1048576u, 10000000u})
    for (auto &w : rows) {
      V x = w.tx ? fill(w.tx, n, w.lo, w.hi, 7 * n + 1) : 0;
      V y = fill(w.ty, n, w.lo, w.hi, 3 * n);
      U k = w.at == 1 ? 7 : w.at == 2 ? n / 2 + 1 : n - 1;
      if (w.at) {
        if (x) put(x, k, w.bx);
        put(y, k, w.by);
      }
      if (w.tx == 0 && w.ty == tLONG) put(y, 3, NJ), put(y, n - 2, NJ);
      V ref = 0;
      for (const char *t : {"1", "2", "3", "8"}) {
        EnvThreads e(t);
        V y1 = w.own ? copy(y) : _r(y);
        V r;
        if (w.op == 0) r = inv(y1);
        else if (w.op >= 4 + tBYTE) r = cZ(w.op - 4, y1);
        else if (w.atom)
          r = w.op == 1 ? addzZ(w.a, y1) : w.op == 2 ? subzZ(w.a, y1)
            : w.op == 3 ? mulzZ(w.a, y1) : mmmzZ(w.a, y1, w.op);
        else
          r = w.op == 1 ? addZZ(x, y1) : w.op == 2 ? subZZ(x, y1)
            : w.op == 3 ? mulZZ(x, y1) : mmmZZ(x, y1, w.op);
        ASSERT_NE(r, 0u);
        ASSERT_EQ(tp(r), w.rt) << w.what << " n " << n << " threads " << t;
        ASSERT_EQ(nx(r), n);
        if (w.own && w.op && w.op < 4) {
          EXPECT_EQ(r == y1, tp(r) == tp(y)) << w.what << ": in place unless widened";
        }
        if (!ref) {
          ref = r;
        } else {
          ASSERT_EQ(memcmp(P(r), P(ref), dbytes(n, w.rt)), 0)
              << w.what << " n " << n << " threads " << t;
          mr(r);
        }
      }
      if (w.at && w.op == 1) {  // the item that overflowed, at the wider width
        EXPECT_EQ(at(ref, k), (w.atom ? w.a : w.bx) + w.by) << w.what;
      }
      if (x) mr(x);
      mr(y), mr(ref);
    }
}
