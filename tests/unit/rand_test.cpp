// rand_test.cpp: the random state and its draws against an independent
// Python model of four xoshiro256+ lanes (single draws, bulk fills, rolls
// and deals, the state after each), a new thread's state, seeding,
// restoring, the result types and errors of roll and deal, a chi-square
// check, the streams of parallel-each workers and the memory of failures.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <map>
#include <pthread.h>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include "capi/capi.h"
#include "core/err.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "list/list.h"
#include "num/num.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct Rand : ::testing::Test {
  void SetUp() override { boot_once(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

const UJ dflt[16] = {0xd5a986ae75c9a33bull, 0x9c57a73dcd5e41b7ull, 0x3fe497b4dd1be68dull,
                     0x3f57adc392affdefull, 0x1016d8e3483a8f0full, 0xcb0c33c0e78feedeull,
                     0x7b5dda788f9f577dull, 0xf1e01f806161118aull, 0x81f9e6260eb8e5dfull,
                     0x5943e008d9222efaull, 0x8f514f6e6fb18ba4ull, 0x6dacfe2135f9599eull,
                     0xfa9b718d8d0769bfull, 0x4d46d3d50833e8c9ull, 0x696678daaa7b4cc6ull,
                     0x3cb5c708d53cc982ull};

// The model: the 16 state words come in; "draw n" gives n lane-3 outputs of
// n steps, "bulk n" the four outputs of each of n steps, "roll c n" and
// "deal k n" the items of those (a deal as the textbook Fisher-Yates over a
// dict of displaced positions); the final 16 words follow the items.
const char *MODEL = R"(import sys, struct
M = (1 << 64) - 1
st = list(struct.unpack('<16Q', open(sys.argv[1], 'rb').read()[:128]))
s = [st[0:4], st[4:8], st[8:12], st[12:16]]
def step():
    o = []
    for l in range(4):
        s0, s1, s2, s3 = s[0][l], s[1][l], s[2][l], s[3][l]
        o.append((s0 + s3) & M)
        t = (s1 << 17) & M
        s2 ^= s0; s3 ^= s1; s1 ^= s2; s0 ^= s3; s2 ^= t
        s3 = ((s3 << 45) | (s3 >> 19)) & M
        s[0][l], s[1][l], s[2][l], s[3][l] = s0, s1, s2, s3
    return o
def draw(): return step()[3]
op, a = sys.argv[3], int(sys.argv[4])
b = int(sys.argv[5]) if len(sys.argv) > 5 else 0
out = []
if op == 'draw': out = [draw() for _ in range(a)]
elif op == 'bulk':
    for _ in range(a): out += step()
elif op == 'roll':
    for _ in range(a):
        d = draw()
        out.append((b * (d & 0xffffffff)) >> 32 if b <= 1 << 31 else d % b)
elif op == 'deal':
    p = {}
    for i in range(a):
        d, m = draw(), b - i
        j = i + (d % m if m >> 32 else (m * (d & 0xffffffff)) >> 32)
        p[i], p[j] = p.get(j, j), p.get(i, i)
    out = [p.get(i, i) for i in range(a)]
out += s[0] + s[1] + s[2] + s[3]
open(sys.argv[2], 'wb').write(struct.pack('<%dQ' % len(out), *out))
)";

// The model's items and final state from the state w; false without python.
bool model(const UJ *w, const std::string &args, std::vector<UJ> &items, std::vector<UJ> &fin) {
  std::vector<F> in(16), out;
  memcpy(in.data(), w, 128);
  if (!pyf(MODEL, in, args, out) || out.size() < 16) return false;
  std::vector<UJ> u(out.size());
  memcpy(u.data(), out.data(), out.size() * 8);
  items.assign(u.begin(), u.end() - 16);
  fin.assign(u.end() - 16, u.end());
  return true;
}

std::vector<UJ> state() { return std::vector<UJ>(tl.pst.s, tl.pst.s + 16); }

// Seeds the calling thread with s through the builtin.
void seed(J s) { ASSERT_EQ(prng(al(s)), GNULL); }

std::vector<J> lv(V x) { return zkt::items(x); }

TEST_F(Rand, DefaultStateSingleDrawsAndBulkFillsMatchTheModel) {
  std::vector<UJ> d1, d2, st1, bulk, st2;
  std::thread([&] {
    for (int i = 0; i < 3; i++) EXPECT_EQ(tl.pst.s[i], dflt[i]);
    EXPECT_EQ(tl.pst.ix, 0);
    for (int i = 0; i < 20; i++) d1.push_back(r1());
    EXPECT_EQ(tl.pst.ix, 3);
    st1 = state();
    UJ b[16];
    rbk(b, 100);  // rounded up to four steps of 32 bytes
    bulk.assign(b, b + 16);
    EXPECT_EQ(tl.pst.ix, 0);
    st2 = state();
  }).join();
  std::thread([&] {  // a second new thread starts where the first did
    for (int i = 0; i < 20; i++) d2.push_back(r1());
  }).join();
  EXPECT_EQ(d1, d2);
  std::vector<UJ> m, f;
  if (!model(dflt, "draw 20", m, f)) GTEST_SKIP() << "no python3";
  EXPECT_EQ(d1, m);
  EXPECT_EQ(st1, f);
  ASSERT_TRUE(model(st1.data(), "bulk 4", m, f));
  EXPECT_EQ(bulk, m);
  EXPECT_EQ(st2, f);
}

TEST_F(Rand, SeedReadRestore) {
  // The same seed twice repeats; an int and a long seed agree.
  seed(12345);
  std::vector<UJ> a = {r1(), r1(), r1()};
  ASSERT_EQ(prng(ai(12345)), GNULL);
  std::vector<UJ> b = {r1(), r1(), r1()};
  EXPECT_EQ(a, b);
  // Reading right after seeding gives the 16 values of the seed sequence.
  seed(7);
  V r = prng(GNULL);
  ASSERT_EQ(tp(r), tLONG);
  ASSERT_EQ(nx(r), 16u);
  UJ s = 7;
  for (int i = 0; i < 16; i++) {
    s = s * 0x5851f42d4c957f2dull + 0x14057b7ef767814full;
    EXPECT_EQ((UJ)PL(r)[i], s) << i;
  }
  // Save, draw, restore: the draws after the restore repeat exactly,
  // whether the restore follows single draws or a bulk fill.
  V sv = prng(_r(r));
  EXPECT_EQ(sv, GNULL);
  std::vector<UJ> c = {r1(), r1()};
  UJ junk[8];
  rbk(junk, 64);
  r1();
  ASSERT_EQ(prng(_r(r)), GNULL);
  EXPECT_EQ(tl.pst.ix, 0);
  std::vector<UJ> d = {r1(), r1()};
  EXPECT_EQ(c, d);
  mr(r);
  // The seed 0 takes the clock: two such seeds microseconds apart differ.
  seed(0);
  std::vector<UJ> e = state();
  usleep(5);
  seed(0);
  EXPECT_NE(e, state());
}

// Restore vectors of other integer widths, and a range, are widened to longs.
TEST_F(Rand, RestoreFromNarrowVectors) {
  for (int t : {tBYTE, tSHORT, tINT}) {
    std::vector<J> w;
    for (int i = 0; i < 16; i++) w.push_back(i * 3 - 20);
    ASSERT_EQ(prng(zkt::mk(t, w)), GNULL) << t;
    for (int i = 0; i < 16; i++) EXPECT_EQ((J)tl.pst.s[i], w[i]) << t;
  }
  ASSERT_EQ(prng(aE(100, 116)), GNULL);
  for (int i = 0; i < 16; i++) EXPECT_EQ(tl.pst.s[i], 100u + i);
}

TEST_F(Rand, RollsMatchTheModel) {
  struct { J c, n; } cases[] = {{5, 10}, {40, 1000}, {30, 3}, {25, 100000}, {20, (J)1 << 31 | 1}, {20, 1000000000000LL}, {17, 2147483647}};
  for (auto &k : cases) {
    seed(99 + k.n);
    std::vector<UJ> w = state();
    V r = rd(k.c, k.n);
    ASSERT_TRUE(r) << etext();
    ASSERT_EQ(nx(r), (U)k.c);
    EXPECT_EQ(tp(r), tZ(k.n - 1)) << k.n;
    std::vector<UJ> m, f;
    if (!model(w.data(), "roll " + std::to_string(k.c) + " " + std::to_string(k.n), m, f)) GTEST_SKIP();
    std::vector<J> got = lv(r);
    for (J i = 0; i < k.c; i++) EXPECT_EQ((UJ)got[i], m[i]) << k.n << " item " << i;
    // c items took exactly c steps: the state is the model's after c draws.
    EXPECT_EQ(state(), f) << k.n;
    EXPECT_EQ(tl.pst.ix, 3);
    mr(r);
  }
}

// A step that no draw has used yet (the index at 4) gives the next draw,
// in a single draw and in the loops of roll and deal alike.
TEST_F(Rand, APendingStepGivesTheNextDraw) {
  for (int form = 0; form < 3; form++) {
    seed(9);
    r4();
    UJ o3 = tl.pst.o[3];
    std::vector<UJ> s = state();
    UJ got;
    if (form == 0) got = r1();
    else {
      V r = form == 1 ? rd(1, 1000) : rd(-1, 1000);
      got = (UJ)zkt::at(r, 0);
      mr(r);
      o3 = (1000 * (o3 & 0xffffffff)) >> 32;
    }
    EXPECT_EQ(got, o3) << form;
    EXPECT_EQ(state(), s) << form;
    EXPECT_EQ(tl.pst.ix, 3);
  }
}

// Powers of two and the raw ranges come from a bulk fill of the result.
TEST_F(Rand, RollsFromBulkFills) {
  struct { J n; int t; UJ mask; } cases[] = {
      {128, tBYTE, 127}, {8, tBYTE, 7}, {1, tBYTE, 0}, {256, tSHORT, 255}, {65536, tINT, 65535},
      {(J)1 << 31, tINT, 0x7fffffff}, {(J)1 << 40, tLONG, ((UJ)1 << 40) - 1},
      {-1, tBYTE, 0xff}, {-128, tBYTE, 0xff}, {-129, tSHORT, 0xffff}, {-40000, tINT, 0xffffffff}, {0, tLONG, ~0ull}, {-5000000000LL, tLONG, ~0ull}};
  for (auto &k : cases) {
    seed(5);
    V r = rd(37, k.n);
    ASSERT_TRUE(r);
    ASSERT_EQ(tp(r), k.t) << k.n;
    ASSERT_EQ(nx(r), 37u);
    EXPECT_EQ(tl.pst.ix, 0);
    std::vector<UJ> after = state();
    int w = 1 << (Tw[k.t] - 3);
    seed(5);
    UJ raw[40];
    rbk(raw, 37 * w);
    EXPECT_EQ(after, state()) << k.n;  // the same number of steps
    for (U i = 0; i < 37; i++) {
      UJ v = 0;
      memcpy(&v, (G *)raw + i * w, w);
      EXPECT_EQ((UJ)zkt::at(r, i) & (w == 8 ? ~0ull : (1ull << 8 * w) - 1), v & k.mask) << k.n << " item " << i;
    }
    mr(r);
  }
  // Range -1: bytes over all of -128..127.
  V r = rd(100000, -1);
  std::set<int> seen;
  for (U i = 0; i < nx(r); i++) seen.insert(P<int8_t>(r)[i]);
  EXPECT_EQ(seen.size(), 256u);
  mr(r);
}

TEST_F(Rand, DealsMatchTheModel) {
  // k, n: the dense side (n < 2^31 and n/16 < k + 64) and the sparse side,
  // next to the switch; the modulo form once the remaining range passes 2^32.
  struct { J k, n; bool dense; } cases[] = {
      {5, 128, true},      {100, 2623, true},      {100, 2624, false}, {1, 1040, false},
      {1, 1039, true},     {200, 200, true},       {50, 100000, false}, {300, (J)1 << 31, false},
      {40, 10000000000000LL, false}, {0, 5, true}, {0, 100000, false}};
  for (auto &k : cases) {
    EXPECT_EQ(k.n < ((J)1 << 31) && k.n / 16 < k.k + 64, k.dense) << k.n;
    seed(3 + k.k);
    std::vector<UJ> w = state();
    V r = rd(-k.k, k.n);
    ASSERT_TRUE(r) << etext();
    ASSERT_EQ(nx(r), (U)k.k);
    EXPECT_EQ(tp(r), tZ(k.n)) << k.n;
    std::vector<J> got = lv(r);
    std::set<J> d(got.begin(), got.end());
    EXPECT_EQ(d.size(), got.size()) << k.n;
    for (J v : got) EXPECT_TRUE(v >= 0 && v < k.n);
    std::vector<UJ> m, f;
    if (!model(w.data(), "deal " + std::to_string(k.k) + " " + std::to_string(k.n), m, f)) GTEST_SKIP();
    for (J i = 0; i < k.k; i++) EXPECT_EQ((UJ)got[i], m[i]) << k.n << " item " << i;
    EXPECT_EQ(state(), f) << k.n;
    mr(r);
  }
}

TEST_F(Rand, PermutationsAndErrors) {
  V r = rd(NJ, 1000);
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tSHORT);
  std::vector<J> v = lv(r);
  std::sort(v.begin(), v.end());
  for (J i = 0; i < 1000; i++) EXPECT_EQ(v[i], i);
  mr(r);
  r = rd(-1000, 1000000000000LL);  // sparse: distinct, and the table follows k
  ASSERT_TRUE(r);
  std::set<J> d;
  for (J x : lv(r)) d.insert(x);
  EXPECT_EQ(d.size(), 1000u);
  EXPECT_LT(*d.rbegin(), 1000000000000LL);
  mr(r);
  r = rd(0, 10);
  ASSERT_TRUE(r);
  EXPECT_EQ(nx(r), 0u);
  mr(r);
  struct { J c, n; const char *e; } bad[] = {
      {-3, 2, "length"}, {-1, 0, "length"}, {-2, -5, "domain"}, {NJ, -5, "domain"},
      {(J)1 << 32, 10, "limit"}, {-((J)1 << 32), (J)1 << 40, "limit"}, {(J)1 << 32, -1, "limit"},
      {NJ, (J)1 << 32, "limit"}};
  UJ fb = zk::freebytes();
  for (auto &b : bad) {
    EXPECT_EQ(rd(b.c, b.n), 0u) << b.c << " " << b.n;
    EXPECT_EQ(etext().substr(1, strlen(b.e)), b.e) << b.c << " " << b.n;
  }
  EXPECT_EQ(zk::freebytes(), fb);
  zk::fails_leak_nothing(ev, {"`prng 1 2 3", "`prng 1.5", "`prng (1;2)", "`prng[!3]", "`prng 1 2 3h"});
}

// 10^6 rolls below 10 from the default state: chi-square with 9 degrees of
// freedom below its 0.1% point.
TEST_F(Rand, ChiSquareOfRollsBelowTen) {
  V r = 0;
  std::thread([&] { r = rd(1000000, 10); }).join();
  ASSERT_EQ(tp(r), tBYTE);
  UJ c[10] = {};
  for (U i = 0; i < nx(r); i++) {
    ASSERT_LT((unsigned)P<int8_t>(r)[i], 10u);
    c[P<int8_t>(r)[i]]++;
  }
  mr(r);
  F x2 = 0;
  for (UJ k : c) x2 += (k - 1e5) * (k - 1e5) / 1e5;
  EXPECT_LT(x2, 27.88);
}

// Workers of parallel each draw from their own streams: no draw of one
// thread appears in another's.
V drw(V x) {
  mr(x);
  V r = an(2, tLONG);
  PL(r)[0] = (J)(uintptr_t)pthread_self();
  PL(r)[1] = (J)r1();
  usleep(200);
  return r;
}

TEST_F(Rand, ParallelEachWorkersDrawDifferentStreams) {
  const char **old = zk_env;
  const char *e[2] = {"ZELKO_THREADS=4", nullptr};
  zk_env = e;
  V d = an(64, tLONG);
  for (U i = 0; i < 64; i++) PL(d)[i] = i;
  V f = ((V)tNATIVE << 56) | (1ull << 48) | (UJ)(uintptr_t)drw;
  V r = peachC(aA2(f, d));
  zk_env = old;
  ASSERT_TRUE(r) << etext();
  std::map<J, std::set<UJ>> by;
  for (U i = 0; i < nx(r); i++) by[PL(PA(r)[i])[0]].insert((UJ)PL(PA(r)[i])[1]);
  mr(r);
  EXPECT_GE(by.size(), 2u);
  std::set<UJ> all;
  size_t n = 0;
  for (auto &[t, s] : by) all.insert(s.begin(), s.end()), n += s.size();
  EXPECT_EQ(all.size(), n);
  EXPECT_EQ(n, 64u);
}

}  // namespace
