// Unit tests of the radix and counting grade and sort engines.  The judge
// is std::stable_sort: of indexes for grades (equal items in index order,
// NaNs all equal and first, the two zeros equal), of values for sorts
// (compared bit for bit in the one-to-one float order: -0.0 before 0.0,
// 0n and negative NaNs below -0w, positive signalling NaNs above 0w).
// Every key kind, sizes on both sides of the serial limit, thread counts 1
// to 64, and data that steers the engine into each of its strategies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <pthread.h>
#include <random>
#include <vector>

#include "core/pool.h"
#include "num/simdf.h"
#include "order/radix.h"
#include "testutil.h"

using namespace zk;
using zkt::bits;
using zkt::dbl;

namespace {

const int TYPES[] = {tBYTE, tSHORT, tINT, tLONG, tFLT, tDATE, tTIME, tTSTAMP,
                     tMINUTE, tSECOND, tMONTH, tTSPAN};
const UJ SIZES[] = {0, 1, 2, 100, 32767, 32768, 200000};
const char *THREADS[] = {"1", "2", "3", "64"};

int width(int t) { return 1 << (Tw[t] - 3); }  // bytes per item

// The float order of sorts, as defined: a one-to-one key of the bits.
UJ skey(UJ b) { return ((b ^ ((UJ)((J)b >> 63) >> 1)) + 0x000FFFFFFFFFFFFEull) ^ (1ull << 63); }
UJ sinv(UJ k) {
  UJ s = k + 0x7FF0000000000002ull;
  return s ^ ((UJ)((J)s >> 63) >> 1);
}

// Items are held as raw bits widened to 64 (integers sign-extended).
struct Items {
  int t;
  std::vector<UJ> v;
};

V mkv(const Items &d) {
  V x = an((U)d.v.size(), d.t);
  for (size_t i = 0; i < d.v.size(); i++) switch (width(d.t)) {
      case 1: P<int8_t>(x)[i] = (int8_t)d.v[i]; break;
      case 2: P<int16_t>(x)[i] = (int16_t)d.v[i]; break;
      case 4: PI(x)[i] = (I)d.v[i]; break;
      default: PL(x)[i] = (J)d.v[i];
    }
  return x;
}
UJ item(V x, UJ i) {
  switch (width(tp(x))) {
    case 1: return (UJ)(J)P<int8_t>(x)[i];
    case 2: return (UJ)(J)P<int16_t>(x)[i];
    case 4: return (UJ)(J)PI(x)[i];
    default: return (UJ)PL(x)[i];
  }
}

// Grade order: integers signed; floats by value with every NaN equal and
// first (so -0.0 and 0.0 tie).
bool gless(int t, UJ a, UJ b) {
  if (t != tFLT) return (J)a < (J)b;
  F x = dbl(a), y = dbl(b);
  if (x != x) return y == y;
  if (y != y) return false;
  return x < y;
}
bool sless(int t, UJ a, UJ b) { return t == tFLT ? skey(a) < skey(b) : (J)a < (J)b; }

std::vector<J> judge_grade(const Items &d) {
  std::vector<J> g(d.v.size());
  std::iota(g.begin(), g.end(), 0);
  std::stable_sort(g.begin(), g.end(), [&](J i, J j) { return gless(d.t, d.v[i], d.v[j]); });
  return g;
}
std::vector<UJ> judge_sort(const Items &d) {
  std::vector<UJ> s = d.v;
  std::stable_sort(s.begin(), s.end(), [&](UJ a, UJ b) { return sless(d.t, a, b); });
  return s;
}

// ---- data, built as unsigned keys of the item width and mapped back ----
enum Pat { RAND, FEW, EQUAL, ORDERED, REVERSED, LOWBYTE, HALF, HALF1 };
const char *PATN[] = {"random", "few", "equal", "ordered", "reversed", "lowbyte", "half", "half+1"};

UJ tovalue(int t, UJ k) {
  int w = width(t);
  if (t == tFLT) return sinv(k);
  UJ s = 1ull << (8 * w - 1);
  UJ v = k ^ s;
  return w == 8 ? v : (UJ)(((J)(v << (64 - 8 * w))) >> (64 - 8 * w));
}

Items gen(int t, UJ n, Pat p, uint32_t seed) {
  std::mt19937_64 r(seed);
  int w = width(t), sh = 8 * w - 8;
  UJ mask = w == 8 ? ~0ull : (1ull << (8 * w)) - 1, low = sh ? (1ull << sh) - 1 : 0;
  std::vector<UJ> k(n);
  UJ base = r() & mask & ~0xFFull;
  UJ few[5];
  for (auto &f : few) f = r() & mask;
  for (UJ i = 0; i < n; i++) switch (p) {
      case RAND: case ORDERED: case REVERSED: k[i] = r() & mask; break;
      case FEW: k[i] = few[r() % 5]; break;
      case EQUAL: k[i] = few[0]; break;
      case LOWBYTE: k[i] = base | (r() & 0xFF); break;
      case HALF: case HALF1: {
        // One top-byte bucket (0x80) of n/2 (or n/2+1) items; the others
        // spread over top bytes 0x10..0xEF, where no float is a NaN.
        UJ top = i < n / 2 + (p == HALF1) ? 0x80 : 0x10 + r() % 0xDF;
        if (top == 0x80 && i >= n / 2 + (p == HALF1)) top = 0x81;
        k[i] = (top << sh) | (r() & low);
      }
    }
  if (p == HALF || p == HALF1) std::shuffle(k.begin(), k.end(), r);
  Items d{t, std::vector<UJ>(n)};
  for (UJ i = 0; i < n; i++) d.v[i] = tovalue(t, k[i]);
  if (p == RAND && n > 8) {  // nulls, extremes and the float specials
    const UJ fs[] = {NF_BITS, bits(-INFINITY), bits(INFINITY), bits(-0.0), bits(0.0),
                     0xFFF8000000000000ull, 0x7FF0000000000001ull, bits(-1.5)};
    for (int j = 0; j < 8; j++) {
      UJ &v = d.v[r() % n];
      v = t == tFLT ? fs[j] : tovalue(t, j & 1 ? 0 : mask);
    }
  }
  if (p == ORDERED || p == REVERSED) {
    std::stable_sort(d.v.begin(), d.v.end(), [&](UJ a, UJ b) { return sless(t, a, b); });
    if (p == REVERSED) std::reverse(d.v.begin(), d.v.end());
  }
  return d;
}

// The arena is back where it was after every entry.
struct ArenaAt {
  UJ off = tl.a_off;
  void *chunk = tl.a_over;
  bool same() const { return tl.a_off == off && tl.a_over == chunk; }
};

void check_grade(V g, const std::vector<J> &want, bool wide, const char *what) {
  ASSERT_NE(g, 0u) << what;
  ASSERT_EQ(tp(g), wide ? tLONG : tINT) << what;
  ASSERT_EQ((UJ)nx(g), want.size()) << what;
  for (UJ i = 0; i < want.size(); i++) {
    J v = wide ? PL(g)[i] : PI(g)[i];
    ASSERT_EQ(v, want[i]) << what << " at " << i;
  }
}
void check_sort(V s, V x, const std::vector<UJ> &want, const char *what) {
  ASSERT_NE(s, 0u) << what;
  ASSERT_EQ(tp(s), tp(x)) << what;
  ASSERT_EQ(hd(s)->attr, 1) << what;
  ASSERT_EQ((UJ)nx(s), want.size()) << what;
  int w = width(tp(x));
  UJ m = w == 8 ? ~0ull : (1ull << (8 * w)) - 1;
  for (UJ i = 0; i < want.size(); i++) ASSERT_EQ(item(s, i) & m, want[i] & m) << what << " at " << i;
}

// Every type, size, pattern and thread count through rdxg and rdxsrt (and
// through the counting kernels whenever they accept).
void sweep(int t, bool wide) {
  zk::boot_once();
  UJ keep = rdx_wide;
  if (wide) rdx_wide = 0;
  // Sixty-four workers on a shared machine: let them sleep soon.
  int wsp = pl_wspin.exchange(500), ssp = pl_sspin.exchange(500);
  uint32_t seed = (uint32_t)t * 1000;
  for (UJ n : SIZES)
    for (int p = RAND; p <= HALF1; p++) {
      if (n < 2 && p != RAND) continue;
      if (wide && n > 32768 && p != RAND && p != HALF1) continue;
      Items d = gen(t, n, (Pat)p, seed++);
      auto wg = judge_grade(d);
      auto ws = judge_sort(d);
      V x = mkv(d);
      for (const char *th : THREADS) {
        EnvThreads e(th);
        char what[96];
        snprintf(what, sizeof what, "type %d n %llu %s threads %s", t, (unsigned long long)n,
                 PATN[p], th);
        ArenaAt a;
        rdx_how = 0;
        V g = rdxg(x);
        EXPECT_TRUE(a.same()) << what;
        check_grade(g, wg, wide && n > 0, what);
        mr(g);
        int T = atoi(th);
        if (n > 32767 && T >= 2 && width(t) > 1 && (p == HALF || p == HALF1 || p == LOWBYTE)) {
          EXPECT_EQ(rdx_how, p == HALF ? 2 : 3) << what;
        }
        U rc = hd(x)->rc;
        V s = rdxsrt(x);
        EXPECT_TRUE(a.same()) << what;
        if (n < 2) {
          EXPECT_EQ(s, 0u) << what;
        } else {
          check_sort(s, x, ws, what);
          bool inorder = p == ORDERED || p == EQUAL;
          if (inorder) {
            EXPECT_EQ(s, x) << what;
          }
          if (s == x) {
            EXPECT_EQ(hd(x)->rc, rc + 1) << what;
          }
          mr(s);
        }
        hd(x)->attr = 0;
        if (V c = cntgrd(x)) {
          EXPECT_TRUE(a.same()) << what;
          check_grade(c, wg, wide && n > 0, what);
          mr(c);
        }
        if (V c = cntsrt(x)) {
          check_sort(c, x, ws, what);
          mr(c);
        }
        EXPECT_TRUE(a.same()) << what;
        hd(x)->attr = 0;
        if (::testing::Test::HasFailure()) break;
      }
      mr(x);
      if (::testing::Test::HasFailure()) goto out;
    }
out:
  rdx_wide = keep;
  pl_wspin = wsp;
  pl_sspin = ssp;
}

struct Kinds : ::testing::TestWithParam<int> {};
TEST_P(Kinds, EverySizeAndThreadCountAgainstStableSort) { sweep(GetParam(), false); }
// Above rdx_wide items, grades carry 64-bit indexes and come back as long
// vectors; the hook lowers the limit so that path runs on small inputs.
TEST_P(Kinds, WideIndexesGiveTheSameGrades) { sweep(GetParam(), true); }
INSTANTIATE_TEST_SUITE_P(Radix, Kinds, ::testing::ValuesIn(TYPES));

V fv(std::vector<F> v) {
  V x = an((U)v.size(), tFLT);
  for (size_t i = 0; i < v.size(); i++) PF(x)[i] = v[i];
  return x;
}
std::vector<J> gradeof(V g) {
  std::vector<J> r;
  for (U i = 0; i < nx(g); i++) r.push_back(tp(g) == tLONG ? PL(g)[i] : PI(g)[i]);
  return r;
}

TEST(Radix, FloatPointCases) {
  zk::boot_once();
  const F NaN = dbl(NF_BITS), inf = INFINITY;
  // Grade: NaNs first in index order, the zeros tied in index order, 0w last.
  V x = fv({0.0, 2.5, NaN, inf, -0.0, -1.5, -inf, dbl(0xFFF8000000000000ull), 0.0});
  V g = rdxg(x);
  EXPECT_EQ(gradeof(g), (std::vector<J>{2, 7, 6, 5, 0, 4, 8, 1, 3}));
  mr(g);
  mr(x);
  // Sort: every bit pattern kept; -0.0 before 0.0; 0n below -0w; the
  // positive signalling NaN above 0w.
  x = fv({inf, 0.0, -0.0, NaN, -1.5, -inf, dbl(0x7FF0000000000001ull), -0.0});
  V s = rdxsrt(x);
  std::vector<UJ> want = {NF_BITS, bits(-inf), bits(-1.5), bits(-0.0), bits(-0.0), bits(0.0),
                          bits(inf), 0x7FF0000000000001ull};
  ASSERT_EQ(nx(s), want.size());
  for (U i = 0; i < nx(s); i++) EXPECT_EQ(bits(PF(s)[i]), want[i]) << i;
  EXPECT_EQ(hd(s)->attr, 1);
  mr(s);
  // 0.0 then -0.0 is in grade order but not in sort order.
  mr(x);
  x = fv({0.0, -0.0});
  s = rdxsrt(x);
  EXPECT_NE(s, x);
  EXPECT_EQ(bits(PF(s)[0]), bits(-0.0));
  mr(s);
  g = rdxg(x);
  EXPECT_EQ(gradeof(g), (std::vector<J>{0, 1}));
  mr(g);
  mr(x);
}

TEST(Radix, ShortsMinusOneAndZeroTakeOnePass) {
  zk::boot_once();
  // 0x7FFF and 0x8000 differ in both bytes but span 1: one byte after
  // rebasing.
  UJ k[2] = {0x8000, 0x7FFF};
  EXPECT_EQ(zknorm8(k, 2, 2), 1);
  EXPECT_EQ(k[0], 1u);
  EXPECT_EQ(k[1], 0u);
  UJ e[3] = {5, 5, 5};
  EXPECT_EQ(zknorm8(e, 3, 8), 0);
  UJ w[2] = {0, 0xFFFFFFFFFFFFFFFFull};
  EXPECT_EQ(zknorm8(w, 2, 8), 8);
  EXPECT_EQ(zknorm8(w, 1, 8), 0);
  V x = zkt::mk(tSHORT, {0, -1});
  V g = rdxg(x), s = rdxsrt(x);
  EXPECT_EQ(gradeof(g), (std::vector<J>{1, 0}));
  EXPECT_EQ(zkt::items(s), (std::vector<J>{-1, 0}));
  mr(g);
  mr(s);
  mr(x);
}

TEST(Radix, InOrderSortIsTheSameObject) {
  zk::boot_once();
  for (UJ n : {2ull, 100ull, 40000ull}) {
    EnvThreads e("4");
    V x = an((U)n, tDATE);
    for (UJ i = 0; i < n; i++) PI(x)[i] = (I)(i / 3) - 7;
    PI(x)[0] = NI;
    V s = rdxsrt(x);
    EXPECT_EQ(s, x);
    EXPECT_EQ(hd(x)->rc, 2u);
    EXPECT_EQ(hd(x)->attr, 1);
    mr(s);
    hd(x)->attr = 0;
    V c = cntsrt(x);  // in order: no span test
    EXPECT_EQ(c, x);
    mr(c);
    hd(x)->attr = 0;
    EXPECT_EQ(cntgrd(x), 0u);  // the null date puts the span far out
    V g = rdxg(x);
    for (UJ i = 0; i < n; i++) ASSERT_EQ(PI(g)[i], (I)i);
    mr(g);
    mr(x);
  }
}

// An ordered vector shared by several threads in shared mode (as under
// parallel each): every sort of it sets the same attribute byte and takes
// a reference, with no lost count and no data race.
struct Shared {
  V x;
  pthread_t caller;
};
void sorter(void *c, int) {
  auto *s = (Shared *)c;
  tl.rc_sync = 1;
  for (int k = 0; k < 200; k++) {
    V r = k & 1 ? rdxsrt(s->x) : cntsrt(s->x);
    if (r) mr(r);
  }
  tl.rc_sync = 0;
  if (!pthread_equal(pthread_self(), s->caller)) arena_free();
}
TEST(Radix, SharedInOrderSortsRaceOnNothing) {
  zk::boot_once();
  V x = zkt::mk(tLONG, {1, 2, 2, 3, 9});
  Shared s{x, pthread_self()};
  par_run_spawn(4, sorter, &s);
  EXPECT_EQ(hd(x)->rc, 1u);
  EXPECT_EQ(hd(x)->attr, 1);
  mr(x);
}

TEST(Radix, OtherTypesDecline) {
  zk::boot_once();
  eclr();  // an earlier test may leave its error text set
  V l = aA2(ai(1), ai(2)), b = an(4, tBOOL), sy = an(3, tSYM), c = aCz("zz"), r = aE(0, 10);
  memset(P(b), 1, 4);
  memset(P(sy), 0, 12);
  for (V x : {l, b, sy, r, ai(5), ac('a')}) {
    ArenaAt a;
    EXPECT_EQ(rdxg(x), 0u);
    EXPECT_EQ(rdxsrt(x), 0u);
    EXPECT_EQ(cntgrd(x), 0u);
    EXPECT_EQ(cntsrt(x), 0u);
    EXPECT_TRUE(a.same());
    EXPECT_EQ(elen(), 0);
  }
  for (V x : {l, b, sy, c, r}) mr(x);
}

TEST(Radix, EmptyAndOneItem) {
  zk::boot_once();
  V e = an(0, tLONG), o = zkt::mk(tINT, {42});
  V g = rdxg(e);
  EXPECT_EQ(tp(g), tINT);
  EXPECT_EQ(nx(g), 0u);
  mr(g);
  g = rdxg(o);
  EXPECT_EQ(gradeof(g), (std::vector<J>{0}));
  mr(g);
  for (V x : {e, o}) {
    EXPECT_EQ(rdxsrt(x), 0u);
    EXPECT_EQ(cntgrd(x), 0u);
    EXPECT_EQ(cntsrt(x), 0u);
  }
  mr(e);
  mr(o);
}

// The engines chain: a payload that is already a permutation stays in its
// order among equal keys, so sorting by the minor key and then the major
// one orders by both.
TEST(Radix, ChainedPassesOrderByTwoKeys) {
  zk::boot_once();
  for (UJ n : {1000ull, 100000ull}) {
    EnvThreads e("3");
    std::mt19937_64 r(7);
    std::vector<UJ> a(n), b(n);
    for (UJ i = 0; i < n; i++) a[i] = r() % 50, b[i] = r();
    std::vector<UJ> K(n), K2(n);
    std::vector<I> Pv(n), P2(n);
    for (UJ i = 0; i < n; i++) K[i] = b[i], Pv[i] = (I)i;
    I *p = zkrdx8(K.data(), Pv.data(), K2.data(), P2.data(), n, zknorm8(K.data(), n, 8));
    std::vector<I> q(p, p + n);
    for (UJ i = 0; i < n; i++) K[i] = a[q[i]];
    p = zkrdx8(K.data(), q.data(), K2.data(), P2.data(), n, zknorm8(K.data(), n, 8));
    std::vector<I> want(n);
    std::iota(want.begin(), want.end(), 0);
    std::stable_sort(want.begin(), want.end(), [&](I i, I j) {
      return a[i] != a[j] ? a[i] < a[j] : b[i] < b[j];
    });
    EXPECT_TRUE(std::equal(want.begin(), want.end(), p)) << n;
  }
}

// ---- counting ----
struct Cnt {
  const char *what;
  V x;
  bool counted;
};

V longs(UJ n, J lo, J step) {
  V x = an((U)n, tLONG);
  for (UJ i = 0; i < n; i++) PL(x)[i] = lo + (J)((i * 7919) % n) * step;
  return x;
}

TEST(Counting, SpanTestDecides) {
  zk::boot_once();
  V span3ffff = longs(0x20001, 0, 1), span40000 = longs(0x20001, 0, 1);
  PL(span3ffff)[5] = 0x3FFFF;
  PL(span40000)[5] = 0x40000;
  V over2000 = longs(1000, 0, 2);
  PL(over2000)[5] = 2000;
  V dates = zkt::mk(tDATE, {5, NI, 3, 5, NI, -2});
  V bynull = zkt::mk(tDATE, {NI + 5, NI, NI + 3, NI + 5, NI, NI + 2});
  V bytes = an(300, tBYTE);
  for (int i = 0; i < 300; i++) P<int8_t>(bytes)[i] = (int8_t)(i * 37);
  V nw = zkt::mk(tLONG, {WJ, NJ, 0});
  Cnt cs[] = {
      {"1000 longs over 0..999", longs(1000, 0, 1), true},
      {"1000 longs over 0..2000", over2000, false},
      {"span 0x3FFFF", span3ffff, true},
      {"span 0x40000", span40000, false},
      {"0N with 0W", nw, false},
      {"dates with nulls, span past 2^31", dates, false},
      {"dates beside the null", bynull, true},
      {"floats 3 1 2", fv({3, 1, 2}), true},
      {"floats 1.5 2", fv({2, 1.5}), false},
      {"floats -0.0", fv({2, -0.0, 1}), false},
      {"floats NaN", fv({2, dbl(NF_BITS), 1}), false},
      {"floats 2^53 span", fv({9007199254740992.0, 9007199254740991.0, 9007199254740990.0}), true},
      {"floats above 2^53", fv({9007199254740994.0, 9007199254740992.0, 9007199254740993.0}), false},
      {"one item", zkt::mk(tLONG, {3}), false},
      {"5 bytes over -128..127", zkt::mk(tBYTE, {-128, 127, 0, 5, -128}), false},
      {"300 bytes over -128..127", bytes, true},
      {"shorts", zkt::mk(tSHORT, {300, -300, 0, 1}), false},
  };
  for (auto &c : cs) {
    UJ n = nx(c.x);
    Items d{tp(c.x), std::vector<UJ>(n)};
    for (UJ i = 0; i < n; i++) d.v[i] = item(c.x, i);
    ArenaAt a;
    V g = cntgrd(c.x);
    EXPECT_TRUE(a.same()) << c.what;
    EXPECT_EQ(g != 0, c.counted) << c.what;
    if (g) {
      check_grade(g, judge_grade(d), false, c.what);
      mr(g);
    }
    V s = cntsrt(c.x);
    EXPECT_TRUE(a.same()) << c.what;
    EXPECT_EQ(s != 0, c.counted) << c.what;
    if (s) {
      EXPECT_NE(s, c.x) << c.what;
      check_sort(s, c.x, judge_sort(d), c.what);
      mr(s);
    }
    mr(c.x);
  }
}

TEST(Counting, OrderedFloatsNeedNoSpan) {
  zk::boot_once();
  V x = fv({1, 1e9});
  J lo, hi;
  EXPECT_EQ(cntrangeF(x, &lo, &hi), 2);
  V g = cntgrd(x);
  EXPECT_EQ(gradeof(g), (std::vector<J>{0, 1}));
  mr(g);
  V s = cntsrt(x);
  EXPECT_EQ(s, x);
  EXPECT_EQ(hd(x)->attr, 1);
  EXPECT_EQ(hd(x)->rc, 2u);
  mr(s);
  mr(x);
  x = fv({1e9, 1});
  EXPECT_EQ(cntrangeF(x, &lo, &hi), 0);
  EXPECT_EQ(cntgrd(x), 0u);
  mr(x);
  x = fv({3, -1, 2});
  EXPECT_EQ(cntrangeF(x, &lo, &hi), 1);
  EXPECT_EQ(lo, -1);
  EXPECT_EQ(hi, 3);
  mr(x);
}

TEST(Counting, CharsByCode) {
  zk::boot_once();
  V a = srtUC(aCz("banana"), 0);
  EXPECT_EQ(std::string(PC(a), nx(a)), "aaabnn");
  EXPECT_EQ(hd(a)->attr, 1);
  V d = srtUC(aCz("banana"), 1);
  EXPECT_EQ(std::string(PC(d), nx(d)), "nnbaaa");
  EXPECT_EQ(hd(d)->attr, 0);
  V h = srtUC(aCn("\xff\x01\x80z", 4), 0);  // unsigned code order
  EXPECT_EQ(std::string(PC(h), nx(h)), std::string("\x01z\x80\xff", 4));
  for (V v : {a, d, h}) mr(v);
}

// simd_frange0_f64 against a plain loop, at every length around the lanes.
TEST(Counting, FrangeMatchesScalar) {
  std::mt19937_64 r(3);
  const F sp[] = {dbl(NF_BITS), -0.0, 0.0, INFINITY, -INFINITY, 1.5};
  for (UJ n = 1; n < 40; n++)
    for (int rep = 0; rep < 60; rep++) {
      std::vector<F> v(n);
      for (auto &e : v) e = (F)(J)(r() % 21) - 10;
      if (rep % 3 == 0) std::sort(v.begin(), v.end());
      if (rep % 2) v[r() % n] = sp[r() % 6];
      F mn = v[0], mx = v[0];
      int32_t f = 0, ord = 1;
      for (UJ i = 0; i < n; i++) {
        if (v[i] < mn) mn = v[i];
        if (v[i] > mx) mx = v[i];
        f |= v[i] != v[i];
        f |= bits(v[i]) == bits(-0.0) ? 2 : 0;
        if (i && v[i - 1] > v[i]) ord = 0;
      }
      F gmn, gmx;
      int32_t gord, gf;
      EXPECT_EQ(simd_frange0_f64(v.data(), n, &gmn, &gmx, &gord, &gf), f);
      EXPECT_EQ(gf, f);
      EXPECT_EQ(gord, ord) << n;
      if (!(f & 1)) {
        EXPECT_EQ(gmn, mn);
        EXPECT_EQ(gmx, mx);
      }
    }
}

}  // namespace
