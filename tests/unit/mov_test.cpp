// Moving windows (mw) and the exponential average (ema): every code on
// bytes, shorts, ints, longs with 0N, floats with NaN and ranges, checked
// three ways: bit for bit against a plain one-block-at-a-time rendering of
// the running-state algorithm (catches the four-block interleave and the
// restarts), against per-window recomputation (exact for integers, count,
// minimum and maximum; floats within a tolerance scaled to the data), and,
// where a Python with pandas is at hand, against pandas' rolling and ewm.
// Sizes straddle the 4,096-result blocks; windows 1, 2, 4,095, 4,096,
// 4,097 and beyond n.  Also the infinity guard, overflow, the answers for
// what is not covered, and that failing paths leak nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/err.h"
#include "num/num.h"
#include "testutil.h"

using namespace zk;
using namespace zkt;

namespace {

typedef std::vector<J> Js;
typedef std::vector<F> Fs;
typedef long double LD;
constexpr UJ B = 4096;

struct Mov : ::testing::Test {
  void SetUp() override { boot_once(); }
  void TearDown() override { mc(); }
};

V mkf(const Fs &v) { return aV(tFLT, (U)v.size(), v.data()); }
V mw(J c, J w, V x) {
  V a = an(3, tLIST);
  PA(a)[0] = ai((I)c), PA(a)[1] = al(w), PA(a)[2] = x;
  return mwC(a);
}
bool isemp(V r) { return r == ce[tLIST]; }
Fs fitems(V x) { return Fs(PF(x), PF(x) + nx(x)); }

// ---- references ----
// The running-state algorithm as plainly as it can be said: one block of
// 4,096 results at a time (the whole vector when w > 4,096), each started
// from an in-order sum of its first window; NaNs skipped by branches.
// False when the result is declined (infinity guard, or a state that
// ended non-finite).
bool plainF(int c, const Fs &x, UJ w, Fs &r) {
  UJ n = x.size(), bl = w <= B ? B : n;
  r.assign(n, 0);
  bool good = true;
  for (UJ b = 0; b < n; b += bl) {
    UJ e = std::min(b + bl, n);
    F s = 0, q = 0;
    J k = 0;
    auto add = [&](F v, int sg) {
      if (v != v) return;
      if (sg > 0) s += v, q += v * v, k++;
      else s -= v, q -= v * v, k--;
    };
    auto out = [&]() -> F {
      if (c == 0) return s;
      if (!k) return NAN;
      F m = s / k, v = q / k - m * m;
      if (v < 0) v = 0;
      return c == 1 ? m : c == 2 ? v : std::sqrt(v);
    };
    for (UJ i = b + 1 > w ? b + 1 - w : 0; i <= b; i++) add(x[i], 1);
    r[b] = out();
    for (UJ j = b + 1; j < e; j++) {
      add(x[j], 1);
      if (j >= w) add(x[j - w], -1);
      r[j] = out();
    }
    if (!std::isfinite(s) || (c >= 2 && !std::isfinite(q))) good = false;
    if (!std::isfinite(r[e - 1])) {
      UJ j = e - 1;
      while (j > b && !std::isfinite(r[j - 1])) j--;
      UJ from = j > b ? j : b > w ? b - w : 0;
      for (UJ i = from; i < e; i++)
        if (std::isinf(x[i])) good = false;
    }
  }
  return good;
}

// Per-window values from prefix sums in long double: sum, number, sum of
// squares of the non-NaN items of each window.
struct Pre {
  std::vector<LD> s, q;
  Js k;
  explicit Pre(const Fs &x) : s(x.size() + 1), q(x.size() + 1), k(x.size() + 1) {
    for (size_t i = 0; i < x.size(); i++) {
      bool ok = x[i] == x[i];
      s[i + 1] = s[i] + (ok ? x[i] : 0), q[i + 1] = q[i] + (ok ? (LD)x[i] * x[i] : 0);
      k[i + 1] = k[i] + ok;
    }
  }
};

// Checks the float codes of r against the windows of x within a tolerance
// scaled to the data: M the largest magnitude, W the window length.
void nearF(int c, const Fs &x, UJ w, const Fs &r, const char *what) {
  Pre p(x);
  F M = 1;
  for (F v : x)
    if (v == v) M = std::max(M, std::fabs(v));
  UJ n = x.size(), W = std::min(w, n);
  int bad = 0;
  for (UJ j = 0; j < n && bad < 5; j++) {
    UJ lo = j + 1 > w ? j + 1 - w : 0;
    LD s = p.s[j + 1] - p.s[lo], q = p.q[j + 1] - p.q[lo];
    J k = p.k[j + 1] - p.k[lo];
    F tol = 1e-10 * M * W, want;
    if (c == 0) want = (F)s;
    else if (!k) want = NAN;
    else {
      LD m = s / k, v = q / k - m * m;
      if (v < 0) v = 0;
      tol /= k;
      if (c == 1) want = (F)m;
      else if (c == 2) want = (F)v, tol *= 4 * M;
      else want = (F)std::sqrt(v), tol = std::sqrt(tol * 4 * M);
    }
    bool ok = want != want ? r[j] != r[j] : std::fabs(r[j] - want) <= tol;
    if (!ok) bad++;
    EXPECT_TRUE(ok) << what << " code " << c << " w " << w << " j " << j << ": " << r[j]
                    << " want " << want << " tol " << tol;
  }
}

// Extreme of every window by a monotonic queue over the non-null items,
// then the null rules: a null wins a long or float minimum; a window of
// nulls gives the partial identity (-0W, -inf) to a maximum while partial
// and the null once whole.
template <class T> std::vector<T> dqmm(const std::vector<T> &x, UJ w, bool mx, bool nul(T)) {
  UJ n = x.size();
  std::vector<T> r(n);
  std::deque<UJ> d;
  J lastnul = -1;
  for (UJ j = 0; j < n; j++) {
    if (nul(x[j])) lastnul = (J)j;
    else {
      while (!d.empty() && (mx ? x[d.back()] <= x[j] : x[d.back()] >= x[j])) d.pop_back();
      d.push_back(j);
    }
    while (!d.empty() && d.front() + w <= j) d.pop_front();
    bool hasnul = lastnul >= 0 && (UJ)lastnul + w > j, partial = j + 1 < w;
    T part = std::is_floating_point_v<T> ? (T)-INFINITY : (T)-WJ;
    T null = std::is_floating_point_v<T> ? (T)NAN : (T)NJ;
    if (!mx && hasnul) r[j] = null;
    else if (!d.empty()) r[j] = x[d.front()];
    else r[j] = partial ? part : null;
  }
  return r;
}
template <class T> bool nonul(T) { return false; }
bool jnul(J v) { return v == NJ; }
bool fnul(F v) { return v != v; }

// ---- data ----
std::mt19937_64 rng(20261210);

Js idata(int t, UJ n) {
  Js v(n);
  for (UJ i = 0; i < n; i++) switch (t) {
      case tBYTE: v[i] = (int8_t)rng(); break;
      case tSHORT: v[i] = (int16_t)rng(); break;
      case tINT: v[i] = (int32_t)rng(); break;
      default: {
        UJ u = rng();
        v[i] = u % 10 == 0 ? NJ : u % 37 == 0 ? (J)(u >> 1) : (J)(u % 2000000001) - 1000000000;
      }
    }
  if (t == tLONG) {  // null runs: at the start, and one longer than most windows
    for (UJ i = 0; i < std::min<UJ>(3, n); i++) v[i] = NJ;
    for (UJ i = n / 3; i < std::min(n, n / 3 + 5000); i++) v[i] = NJ;
  }
  return v;
}
Fs fdata(UJ n, bool nans) {
  Fs v(n);
  std::uniform_real_distribution<F> u(-1000, 1000);
  for (UJ i = 0; i < n; i++) v[i] = u(rng);
  for (UJ i = 0; i < n; i += 97) v[i] = -0.0;
  if (nans) {
    for (UJ i = 0; i < n; i++)
      if (rng() % 10 == 0) v[i] = NAN;
    for (UJ i = 0; i < std::min<UJ>(3, n); i++) v[i] = NAN;
    for (UJ i = n / 3; i < std::min(n, n / 3 + 5000); i++) v[i] = NAN;
  }
  return v;
}

// Every code of x (borrowed) against the references.
void allcodes(V x, UJ w, const char *what) {
  int t = tp(x);
  UJ n = nx(x);
  Js xi;
  Fs xf;
  if (t == tFLT) xf = fitems(x);
  else {
    xi = items(x);
    for (J v : xi) xf.push_back(t == tLONG && v == NJ ? NAN : (F)v);
  }
  for (int c = 0; c < 7; c++) {
    V r = mw(c, (J)w, _r(x));
    ASSERT_TRUE(r) << what;
    if (c == 6 || (c == 0 && t != tFLT)) {  // exact, from wrapping prefix sums
      ASSERT_EQ(tp(r), tLONG) << what;
      UJ lo, s = 0;
      std::vector<UJ> ps(n + 1), pk(n + 1);
      for (UJ i = 0; i < n; i++) {
        bool nul = t == tLONG ? xi[i] == NJ : t == tFLT && xf[i] != xf[i];
        ps[i + 1] = ps[i] + (nul || t == tFLT ? 0 : (UJ)xi[i]), pk[i + 1] = pk[i] + !nul;
      }
      int bad = 0;
      for (UJ j = 0; j < n && bad < 5; j++) {
        lo = j + 1 > w ? j + 1 - w : 0;
        s = c == 6 ? pk[j + 1] - pk[lo] : ps[j + 1] - ps[lo];
        if ((UJ)PL(r)[j] != s) bad++;
        EXPECT_EQ((UJ)PL(r)[j], s) << what << " code " << c << " w " << w << " j " << j;
      }
    } else if (c <= 3) {
      ASSERT_EQ(tp(r), tFLT) << what << " code " << c << " w " << w;
      Fs want;
      ASSERT_TRUE(plainF(c, xf, w, want));
      Fs got = fitems(r);
      int bad = 0;
      for (UJ j = 0; j < n && bad < 5; j++)
        if (!same(got[j], want[j])) {
          bad++;
          ADD_FAILURE() << what << " code " << c << " w " << w << " j " << j << ": " << got[j]
                        << " plain " << want[j];
        }
      nearF(c, xf, w, got, what);
    } else {
      ASSERT_EQ(tp(r), t) << what;
      bool mx = c == 5;
      if (t == tFLT) {
        Fs want = dqmm<F>(xf, w, mx, fnul), got = fitems(r);
        for (UJ j = 0; j < n; j++)
          ASSERT_TRUE(want[j] != want[j] ? got[j] != got[j] : got[j] == want[j])
              << what << " code " << c << " w " << w << " j " << j << ": " << got[j] << " want "
              << want[j];
      } else {
        Js want = dqmm<J>(xi, w, mx, t == tLONG ? jnul : nonul<J>);
        ASSERT_EQ(items(r), want) << what << " code " << c << " w " << w;
      }
    }
    mr(r);
  }
}

TEST_F(Mov, EveryCodeAndTypeAgainstReferences) {
  for (UJ n : {B, (UJ)4100, 5 * B, 8 * B + 37})
    for (UJ w : {(UJ)1, (UJ)2, B - 1, B, B + 1, n + 5}) {
      for (int t : {tBYTE, tSHORT, tINT, tLONG}) {
        V x = mk(t, idata(t, n));
        allcodes(x, w, TS[t] == 'I' ? (t == tLONG ? "long" : "narrow int") : "?");
        mr(x);
      }
      for (bool nans : {true, false}) {
        V x = mkf(fdata(n, nans));
        allcodes(x, w, nans ? "float with NaN" : "float");
        mr(x);
      }
    }
}

// The null rules of the extremes, as the long and float texts show them.
TEST_F(Mov, ExtremesOfNulls) {
  struct C {
    int c;
    J w;
    Js x, want;
  } cs[] = {
      {5, 3, {NJ, NJ, 5, NJ, NJ, NJ}, {-WJ, -WJ, 5, 5, 5, NJ}},
      {5, 9, {NJ, NJ}, {-WJ, -WJ}},
      {5, 1, {NJ, 2}, {NJ, 2}},
      {4, 2, {1, NJ, 2}, {1, NJ, NJ}},
      {4, 3, {NJ, WJ, WJ, WJ}, {NJ, NJ, NJ, WJ}},
      {5, 2, {WJ, -WJ, NJ, NJ}, {WJ, WJ, -WJ, NJ}},
  };
  for (const C &k : cs) {
    V r = mw(k.c, k.w, mk(tLONG, k.x));
    EXPECT_EQ(tp(r), tLONG);
    EXPECT_EQ(items(r), k.want) << k.c << " " << k.w;
    mr(r);
  }
  const F N = NAN, I = INFINITY;
  struct D {
    int c;
    J w;
    Fs x, want;
  } ds[] = {
      {4, 2, {1, N, 2, 3}, {1, N, N, 2}},
      {5, 2, {1, N, 2, 3}, {1, 1, 2, 3}},
      {5, 3, {N, N, 1, N, N, N}, {-I, -I, 1, 1, 1, N}},
      {5, 2, {-I, N, -I}, {-I, -I, -I}},
      {4, 3, {I, I, N}, {I, I, N}},
  };
  for (const D &k : ds) {
    V r = mw(k.c, k.w, mkf(k.x));
    Fs got = fitems(r);
    for (size_t j = 0; j < got.size(); j++) EXPECT_TRUE(same(got[j], k.want[j])) << k.c << " " << j;
    mr(r);
  }
}

TEST_F(Mov, RangeIsMaterialised) {
  for (int c = 0; c < 7; c++) {
    V a = mw(c, 3, aE(-5, 1000)), v = gZ(aE(-5, 1000));
    V b = mw(c, 3, v);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(tp(a), tp(b));
    EXPECT_EQ(0, memcmp(P(a), P(b), dbytes(nx(a), tp(a)))) << "code " << c;
    mr(a), mr(b);
  }
}

TEST_F(Mov, BlockRestartsOverAMillionFloats) {
  UJ n = 1000000;
  Fs xf = fdata(n, false);
  V x = mkf(xf);
  for (UJ w : {B, B + 1})
    for (int c = 0; c < 4; c++) {
      V r = mw(c, (J)w, _r(x));
      ASSERT_EQ(tp(r), tFLT);
      Fs want, got = fitems(r);
      ASSERT_TRUE(plainF(c, xf, w, want));
      EXPECT_EQ(0, memcmp(got.data(), want.data(), n * 8)) << "code " << c << " w " << w;
      nearF(c, xf, w, got, "million");
      mr(r);
    }
  mr(x);
}

TEST_F(Mov, InfinityGuardAndOverflow) {
  struct C {
    int c;
    J w;
    Fs x;
    bool declined;
  } cs[] = {
      {0, 2, {1, INFINITY, 3, 4}, true},   // inf - inf in the running sum
      {1, 2, {1, 2, 3, -INFINITY}, true},  // the last window holds -inf
      {0, 9, {1, INFINITY, 3}, true},      // partial windows only
      {4, 2, {1, INFINITY, 3}, false},     // extremes are not running sums
      {0, 2, {1, NAN, NAN, 2}, false},     // NaN-only windows are finite sums
      {1, 2, {1, 2, NAN, NAN}, false},     // ... and NaN averages, not infinities
      {0, 2, {1e308, 1e308, 1, 1, 1}, true},   // the running sum overflowed
      {2, 2, {1e200, 1e200, 1, 1, 1}, true},   // so did the sum of squares
      {1, 2, {1e200, 1e200, 1, 1, 1}, false},  // ... which the average does not keep
      {0, 2, {1e308, -1e308, 1e308}, false},
  };
  for (const C &k : cs) {
    V r = mw(k.c, k.w, mkf(k.x));
    SCOPED_TRACE(testing::Message() << "code " << k.c << " first " << k.x[0]);
    EXPECT_EQ(isemp(r), k.declined);
    if (k.c == 4) { EXPECT_EQ(fitems(r), (Fs{1, 1, 3})); }
    else if (!k.declined) {
      Fs want;
      EXPECT_TRUE(plainF(k.c, k.x, (UJ)k.w, want));
      Fs got = fitems(r);
      for (size_t j = 0; j < got.size(); j++) EXPECT_TRUE(same(got[j], want[j]));
    }
    mr(r);
  }
  // An infinity in a later block of a long vector declines the whole result.
  Fs v = fdata(3 * B, false);
  v[2 * B + 5] = INFINITY;
  V r = mw(0, 10, mkf(v));
  EXPECT_TRUE(isemp(r));
  mr(r);
  // Beyond 4,096 one state covers everything: the guard looks at the end.
  v[2 * B + 5] = 1;
  v[3 * B - 1] = -INFINITY;
  r = mw(0, B + 1, mkf(v));
  EXPECT_TRUE(isemp(r));
  mr(r);
}

TEST_F(Mov, ConstantWindowsHaveVarianceExactlyZero) {
  for (F c : {2.0, 0.5, -3.25, 1e6}) {
    Fs x(B + 500, c);
    for (J w : {3, 100, 5000}) {
      V r = mw(2, w, mkf(x));
      for (U j = 0; j < nx(r); j++) ASSERT_EQ(bits(PF(r)[j]), bits(0.0)) << c << " " << w << " " << j;
      mr(r);
    }
  }
  // Inexact constants give no negative variance.
  V r = mw(2, 7, mkf(Fs(9000, 0.1)));
  for (U j = 0; j < nx(r); j++) ASSERT_GE(PF(r)[j], 0.0);
  mr(r);
}

TEST_F(Mov, NotCoveredAndFailingPathsLeakNothing) {
  std::vector<std::function<V()>> paths = {
      [] { return mw(7, 2, mk(tLONG, {1, 2})); },
      [] { return mw(0, 0, mk(tLONG, {1, 2})); },
      [] { return mw(0, NJ, mk(tLONG, {1, 2})); },
      [] { return mw(0, 2, al(5)); },
      [] { return mw(0, 2, aCz("ab")); },
      [] { return mw(0, 2, aA2(al(1), al(2))); },
      [] { return mw(0, 2, mkf({1, INFINITY, 2})); },
      [] { return mw(1, B + 9, mkf(Fs(3 * B, INFINITY))); },
      [] { return mwC(aA2(ai(0), ai(2))); },
      [] { return mwC(mk(tLONG, {0, 2, 3})); },
      [] { V a = an(3, tLIST); PA(a)[0] = af(0), PA(a)[1] = ai(2), PA(a)[2] = mk(tLONG, {1}); return mwC(a); },
      [] { return emaC(aA2(as(us("a")), mkf({1, 2}))); },
      [] { return emaC(aA2(ai(1), al(3))); },
      [] { return emaC(mkf({0.5, 1})); },
      [] { V a = an(3, tLIST); PA(a)[0] = af(.5), PA(a)[1] = mkf({1}), PA(a)[2] = ai(1); return emaC(a); },
      [] { V s = an(2, tSYM); PI(s)[0] = PI(s)[1] = us("ab"); return emaC(aA2(af(.5), s)); },  // symbols have no floats
  };
  for (size_t i = 0; i < paths.size(); i++) {
    for (int k = 0; k < 3; k++) {
      UJ a = freebytes();
      V r = paths[i]();
      if (i < 11) {
        EXPECT_TRUE(isemp(r)) << "path " << i;
      } else {
        EXPECT_FALSE(r) << "path " << i;
      }
      if (r) mr(r);
      eclr();
      if (k == 2) {
        EXPECT_EQ(freebytes(), a) << "path " << i;
      }
    }
  }
  EXPECT_EQ(etext(), "");
  // Shared data keep their count whether the answer is a result, the
  // empty list or a failure.
  V x = mkf({1, INFINITY, 3}), y = mk(tLONG, {1, 2, 3});
  for (int c = 0; c < 7; c++) mr(mw(c, 2, _r(x))), mr(mw(c, 2, _r(y)));
  mr(emaC(aA2(af(.5), _r(x)))), mr(emaC(aA2(af(.5), _r(y))));
  EXPECT_FALSE(emaC(aA2(as(us("a")), _r(x))));
  EXPECT_EQ(hd(x)->rc, 1u);
  EXPECT_EQ(hd(y)->rc, 1u);
  mr(x), mr(y);
  EXPECT_FALSE(emaC(aA2(as(us("a")), mkf({1, 2}))));
  EXPECT_EQ(etext().substr(0, 6), "'type\n");
  eclr();
}

TEST_F(Mov, EmptyDataTypedByCode) {
  struct C {
    int c, xt, rt;
  } cs[] = {{0, tBYTE, tLONG}, {0, tFLT, tFLT}, {0, tBOOL, tLONG}, {6, tFLT, tLONG},
            {1, tLONG, tFLT},  {3, tBOOL, tFLT}, {4, tSHORT, tSHORT}, {5, tBOOL, tBOOL},
            {5, tFLT, tFLT}};
  for (const C &k : cs) {
    V r = mw(k.c, 3, an(0, k.xt));
    ASSERT_TRUE(r);
    EXPECT_EQ(tp(r), k.rt) << k.c << " " << k.xt;
    EXPECT_EQ(nx(r), 0u);
    mr(r);
  }
  V r = mw(0, 3, an(1, tBOOL));  // a non-empty bool vector is not covered
  EXPECT_TRUE(isemp(r));
  mr(r);
}

// ---- ema ----
V ema(V a, V x) { return emaC(aA2(a, x)); }
Fs emaref(F a, const Fs &x) {
  Fs r(x.size());
  if (x.empty()) return r;
  F b = 1 - a;
  r[0] = x[0];
  for (size_t i = 1; i < x.size(); i++) {
    F p = a * x[i], q = b * r[i - 1];
    r[i] = p + q;
  }
  return r;
}

TEST_F(Mov, EmaRecurrence) {
  V r = ema(af(0.5), mk(tLONG, {1, 2, 3}));
  EXPECT_EQ(fitems(r), (Fs{1, 1.5, 2.25}));
  mr(r);
  Fs x = fdata(10000, true);
  for (V a : {ai(1), al(1), af(1.0), af(0.1), af(0.73), ai(0)}) {
    F al_ = tp(a) == tFLTA ? PF(a)[0] : (F)gl_(a);
    r = ema(a, mkf(x));
    Fs want = emaref(al_, x), got = fitems(r);
    EXPECT_EQ(0, memcmp(want.data(), got.data(), x.size() * 8)) << al_;
    mr(r);
  }
  // Integer data go through the float cast; empty data give empty floats.
  r = ema(af(0.25), mk(tBYTE, {4, -8, 0}));
  EXPECT_EQ(fitems(r), emaref(0.25, {4, -8, 0}));
  mr(r);
  r = ema(af(0.25), an(0, tINT));
  EXPECT_EQ(tp(r), tFLT);
  EXPECT_EQ(nx(r), 0u);
  mr(r);
}

// ---- against Python: a plain loop, and pandas when it is there ----
const char *PYHEAD =
    "import sys, array\n"
    "x = array.array('d'); x.frombytes(open(sys.argv[1], 'rb').read())\n"
    "def put(r): open(sys.argv[2], 'wb').write(array.array('d', r).tobytes())\n";

TEST_F(Mov, EmaAgainstPython) {
  Fs x = fdata(50000, true), got;
  if (!pyf(std::string(PYHEAD) +
              "a = float(sys.argv[3]); r = [x[0]]\n"
              "for v in x[1:]: r.append(a * v + (1 - a) * r[-1])\n"
              "put(r)\n",
          x, "0.37", got))
    GTEST_SKIP() << "no python3";
  V r = ema(af(0.37), mkf(x));
  ASSERT_EQ(got.size(), x.size());
  EXPECT_EQ(0, memcmp(got.data(), PF(r), x.size() * 8));
  mr(r);
  x = fdata(50000, false);
  if (!pyf(std::string(PYHEAD) +
              "import pandas\n"
              "put(pandas.Series(x).ewm(alpha=float(sys.argv[3]), adjust=False).mean().tolist())\n",
          x, "0.37", got))
    GTEST_SKIP() << "no pandas";
  r = ema(af(0.37), mkf(x));
  for (size_t i = 0; i < x.size(); i++)
    ASSERT_LE(std::fabs(PF(r)[i] - got[i]), 1e-12 * std::max(1.0, std::fabs(got[i]))) << i;
  mr(r);
}

TEST_F(Mov, AgainstPandasRolling) {
  Fs x = fdata(3 * B + 11, false), got;
  const UJ ws[] = {1, 7, B, B + 1, 5 * B};
  // One run: every window, every code, one after the other.
  if (!pyf(std::string(PYHEAD) +
              "import pandas\n"
              "s = pandas.Series(x); out = []\n"
              "for w in (1, 7, 4096, 4097, 20480):\n"
              "  r = s.rolling(w, min_periods=1)\n"
              "  for v in (r.sum(), r.mean(), r.var(ddof=0), r.std(ddof=0), r.min(), r.max(), r.count()):\n"
              "    out += v.astype(float).tolist()\n"
              "put(out)\n",
          x, "", got))
    GTEST_SKIP() << "no pandas";
  UJ n = x.size();
  ASSERT_EQ(got.size(), 5 * 7 * n);
  const F *g = got.data();
  for (UJ w : ws)
    for (int c = 0; c < 7; c++, g += n) {
      V r = mw(c, (J)w, mkf(x));
      for (UJ j = 0; j < n; j++) {
        F v = tp(r) == tLONG ? (F)PL(r)[j] : PF(r)[j];
        // Near-zero deviations carry the square root of the variance's error.
        F tol = c >= 4 ? 0 : c == 2 ? 1e-3 : c == 3 ? 0.03 : 1e-9 * 1000 * std::min<UJ>(w, j + 1);
        ASSERT_LE(std::fabs(v - g[j]), tol) << "code " << c << " w " << w << " j " << j;
      }
      mr(r);
    }
}

}  // namespace
