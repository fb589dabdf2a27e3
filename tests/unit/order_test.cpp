// Tests of the total order (qA and its forms, the index sorts cis and
// cms), the order keys of floats (of_, of1LL, of0LL), match (mtc_) and the
// structural hash (hA), and of the walkers on deeply nested values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <pthread.h>
#include <random>
#include <vector>

#include "list/list.h"
#include "order/order.h"
#include "vmutil.h"

using namespace zk;
using zkt::bits;
using zkt::dbl;
using zkt::emptyl;
using zkt::mk;

namespace {

int sgn(J v) { return (v > 0) - (v < 0); }

// The hash's mixing step as its definition states it.
UJ mixd(UJ h) {
  UJ m = h * 0x9E3779B97F4A7C15ull;
  return m ^ (m >> 29);
}

V ev(const char *s) {
  V r = vmt::ev(s);
  EXPECT_TRUE(r) << s << ": " << zkt::etext();
  return r;
}

V fa(UJ b) { return af(dbl(b)); }
V fv(std::vector<F> d) { return aV(tFLT, (U)d.size(), d.data()); }
V tv(int t, std::vector<J> v) {  // a temporal vector of type t
  V x = an((U)v.size(), t);
  for (size_t i = 0; i < v.size(); i++)
    if (Tw[t] == 5) PI(x)[i] = (I)v[i];
    else PL(x)[i] = v[i];
  return x;
}
V bv(std::vector<int> b) {  // booleans; the bits past the count are set
  V x = an((U)b.size(), tBOOL);
  memset(P(x), 0xFF, 8);
  for (size_t i = 0; i < b.size(); i++)
    if (!b[i]) P(x)[i >> 3] &= (G) ~(1u << (i & 7));
  return x;
}
V sym(const char *s) { return as(us(s)); }

struct Pair {
  const char *what;
  V x, y;
  int want;
};

}  // namespace

TEST(Order, TotalOrderTable) {
  vmt::boot();
  V nat = imm(tNATIVE, 0x1234);
  std::vector<Pair> t = {
      {"empty list before char atom", ev("()"), ac('a'), -1},
      {"long vector before int atom", ev("1 2 3"), ai(0), -1},
      {"month vector before char atom", tv(tMONTH, {1}), ac(' '), -1},
      {"char vector before lambda", ev("\"zz\""), ev("{x}"), -1},
      {"table before dict", ev("+`a`b!(1 2;3 4)"), ev("`a`b!1 2"), -1},
      {"dict before lambda", ev("`a`b!1 2"), ev("{x}"), -1},
      {"float atom before int atom", af(100), ai(1), -1},
      {"int 3 = long 3", ai(3), al(3), 0},
      {"bytes 1 2 = ints 1 2", mk(tBYTE, {1, 2}), mk(tINT, {1, 2}), 0},
      {"booleans 1 0 = longs 1 0", ev("10b"), mk(tLONG, {1, 0}), 0},
      {"range = its longs", aE(5, 8), mk(tLONG, {5, 6, 7}), 0},
      {"range before longer range", aE(5, 8), aE(5, 9), -1},
      {"range by start", aE(5, 8), aE(4, 5), 1},
      {"range against bytes", aE(1, 3), mk(tBYTE, {1, 3}), -1},
      {"float vector before int vector", ev(",100.0"), ev(",1"), -1},
      {"timestamp vector before symbol vector", tv(tTSTAMP, {9}), ev(",`a"), -1},
      {"NaN below -0w", af(NAN), af(-INFINITY), -1},
      {"NaNs of other bits equal", fa(0x7FF8000000000001ull), fa(0xFFF8000000000000ull), 0},
      {"-0.0 = 0.0", af(-0.0), af(0.0), 0},
      {"float vectors: -0.0 = 0.0, NaN = NaN", fv({-0.0, NAN, 1}), fv({0.0, -NAN, 1}), 0},
      {"float vectors: NaN below 0", fv({1, NAN}), fv({1, 0}), -1},
      {"0N below every long", al(NJ), ai(-5), -1},
      {"ab before abc", ev("\"ab\""), ev("\"abc\""), -1},
      {"abc before abd", ev("\"abc\""), ev("\"abd\""), -1},
      {"byte 0x80 after ASCII", aCn("\x80", 1), aCz("z"), 1},
      {"empty lists by prototype", emptyl(_r(ce[tCHR])), emptyl(_r(ce[tLONG])), -1},
      {"empty lists with one prototype", emptyl(_r(ce[tLONG])), emptyl(mk(tINT, {})), 0},
      {"two empty int vectors", _r(ce[tINT]), an(0, tINT), 0},
      {"empty list before a list", ev("()"), ev("(1;`a)"), -1},
      {"lambdas by text", ev("{x+y}"), ev("{x-y}"), -1},
      {"equal lambdas", ev("{x+y}"), ev("{x+y}"), 0},
      {"ab before b", sym("ab"), sym("b"), -1},
      {"packed before pooled with it as prefix", sym("abcd"), sym("abcde"), -1},
      {"pooled before packed", sym("abcde"), sym("abce"), -1},
      {"pooled by the byte after 8", sym("abcdefghi"), sym("abcdefghj"), -1},
      {"8 bytes before 9 with them as prefix", sym("abcdefgh"), sym("abcdefgha"), -1},
      {"symbol of a parse tree", sym("ab") | (V)7 << 32, sym("ab"), 0},
      {"symbol vectors by text", ev("`b`ab"), ev("`b`b"), -1},
      {"char atoms by code", ac('a'), ac('b'), -1},
      {"primitives by slot", imm(tDYAD, 1), imm(tDYAD, 2), -1},
      {"date atoms: null lowest", imm(tDATEA, (U)NI), imm(tDATEA, 5), -1},
      {"natives by word", nat, nat + 1, -1},
      {"nested lists", ev("(1;(2;3))"), ev("(1;(2;4))"), -1},
      {"lists by count", ev("(1;`a)"), ev("(1;`a;2)"), -1},
      {"dicts by keys first", ev("`a`c!1 1"), ev("`b`a!0 0"), -1},
      {"dicts by values", ev("`a`b!1 2"), ev("`a`b!1 3"), -1},
      {"booleans by first differing bit", bv({1, 0, 1}), bv({1, 1}), -1},
      {"9 booleans by the ninth", bv({1, 1, 1, 1, 1, 1, 1, 1, 0}), bv({1, 1, 1, 1, 1, 1, 1, 1, 1}), -1},
      {"longs by value", mk(tLONG, {1, -5}), mk(tLONG, {1, 3}), -1},
      {"shorts against ints", mk(tSHORT, {1, -5}), mk(tINT, {1, 3}), -1},
  };
  for (auto &c : t) {
    EXPECT_EQ(sgn(qA(c.x, c.y)), c.want) << c.what;
    EXPECT_EQ(sgn(qA(c.y, c.x)), -c.want) << c.what << " (swapped)";
    EXPECT_EQ(sgn(qA(c.x, c.x)), 0) << c.what << " (itself)";
    mr(c.x), mr(c.y);
  }
  EXPECT_EQ(elen(), 0u);  // the order raises nothing
}

// Item-by-item reference: the items as atoms (ii) compared by qA, then
// the shorter first.
static int lexref(V x, V y) {
  J n = std::min(_n(x), _n(y));
  for (J i = 0; i < n; i++) {
    V a = ii(x, i), b = ii(y, i);
    int r = sgn(qA(a, b));
    mr(a), mr(b);
    if (r) return r;
  }
  return sgn(_n(x) - _n(y));
}

TEST(Order, SameTypedVectorsAgainstItems) {
  vmt::boot();
  std::mt19937_64 g(19);
  const int types[] = {tBOOL, tBYTE, tSHORT, tINT, tLONG, tFLT, tCHR, tSYM, tDATE, tTSTAMP};
  const UJ fl[] = {0, 0x8000000000000000ull, 0x7FF8000000000000ull, 0xFFF8000000000001ull,
                   0x7FF0000000000000ull, 0xFFF0000000000000ull, bits(1.5), bits(-1.5)};
  std::vector<I> ids;
  for (const char *s : {"", "a", "ab", "b", "abcd", "abcde", "abcdefgh", "abcdefghi", "zz", "\x80"})
    ids.push_back(us(s));
  for (int t : types)
    for (int k = 0; k < 300; k++) {
      U n = (U)(g() % 200), m = (U)(g() % 200), pre = (U)(g() % (std::min(n, m) + 1));
      V x = an(n, t), y = an(m, t);
      memset(P(x), 0, dbytes(n, t) + 8);
      memset(P(y), 0, dbytes(m, t) + 8);
      auto fill = [&](V v, U i) {
        UJ r = g();
        switch (t) {
          case tBOOL: P(v)[i >> 3] = (G)((P(v)[i >> 3] & ~(1u << (i & 7))) | (r & 1) << (i & 7)); break;
          case tFLT: P<UJ>(v)[i] = r % 3 ? fl[r % 8] : bits((F)(J)(r % 7) - 3); break;
          case tSYM: PI(v)[i] = ids[r % ids.size()]; break;
          case tCHR: P(v)[i] = (G)(r % 4 ? 'a' + r % 3 : r); break;
          default:
            if (Tw[t] == 3) P(v)[i] = (G)(r % 5 - 2);
            else if (Tw[t] == 4) P<int16_t>(v)[i] = (int16_t)(r % 5 - 2);
            else if (Tw[t] == 5) PI(v)[i] = (I)(r % 3 ? r % 5 - 2 : (UJ)NI);
            else PL(v)[i] = (J)(r % 3 ? r % 5 - 2 : (UJ)NJ);
        }
      };
      for (U i = 0; i < n; i++) fill(x, i);
      for (U i = 0; i < m; i++) fill(y, i);
      // a long shared prefix, copied item by item
      for (U i = 0; i < pre; i++)
        if (t == tBOOL) {
          G b = (P(x)[i >> 3] >> (i & 7)) & 1;
          P(y)[i >> 3] = (G)((P(y)[i >> 3] & ~(1u << (i & 7))) | b << (i & 7));
        } else memcpy(P(y) + (i << Tw[t] >> 3), P(x) + (i << Tw[t] >> 3), 1u << Tw[t] >> 3);
      int want = lexref(x, y);
      EXPECT_EQ(sgn(qV(x, y)), want) << "type " << t << " case " << k;
      EXPECT_EQ(sgn(qA(y, x)), -want) << "type " << t << " case " << k;
      mr(x), mr(y);
    }
}

// Random mixed items: atoms of several kinds, short vectors, nested lists
// and dicts, with repeats so that stability shows.
static V rnd(std::mt19937_64 &g, int depth) {
  UJ r = g();
  switch (r % (depth ? 9 : 7)) {
    case 0: return ai((I)(r >> 8) % 5);
    case 1: return al((J)(r >> 8) % 5);
    case 2: return af((r >> 8) % 4 ? (F)((r >> 10) % 3) : (r >> 12) % 2 ? NAN : -0.0);
    case 3: return ac((char)('a' + (r >> 8) % 3));
    case 4: return as(us((r >> 8) % 2 ? "ab" : "abcdefghi"));
    case 5: return mk(tBYTE + (int)((r >> 8) % 4), {(J)(r >> 12) % 2, (J)(r >> 14) % 2});
    case 6: return aCz((r >> 8) % 2 ? "ab" : "abc");
    case 7: return aA2(rnd(g, depth - 1), rnd(g, depth - 1));
    default: return am(mk(tLONG, {1, 2}), mk(tLONG, {(J)(r >> 8) % 2, 0}));
  }
}

TEST(Order, IndexSortsAreStableSorts) {
  vmt::boot();
  std::mt19937_64 g(6103);
  for (int k = 0; k < 200; k++) {
    U n = (U)(g() % 201);
    V l = an(n ? n : 1, tLIST);
    if (!n) hd(l)->count = 0, PA(l)[0] = _r(ce[tCHR]);
    for (U i = 0; i < n; i++) PA(l)[i] = rnd(g, 2);
    std::vector<I> want(n), src(n), dst(n);
    std::iota(want.begin(), want.end(), 0);
    std::shuffle(want.begin(), want.end(), g);
    src = want;
    std::stable_sort(want.begin(), want.end(), [&](I a, I b) { return qA(PA(l)[a], PA(l)[b]) < 0; });
    std::vector<I> s0 = src;
    cis(l, s0.data(), n, dst.data());
    EXPECT_EQ(dst, want) << "cis n " << n;
    s0 = src;
    cis(l, s0.data(), n, s0.data());  // in place
    EXPECT_EQ(s0, want) << "cis in place n " << n;
    if (n > 16) {
      s0 = src;
      cms(l, s0.data(), n, dst.data());
      EXPECT_EQ(dst, want) << "cms n " << n;
    }
    mr(l);
  }
}

TEST(Order, FloatKeys) {
  vmt::boot();
  struct {
    F d;
    UJ key;
  } fixed[] = {{0.0, 0x000FFFFFFFFFFFFEull}, {-0.0, 0x000FFFFFFFFFFFFEull},
               {INFINITY, 0x7FFFFFFFFFFFFFFEull}, {-INFINITY, 0x801FFFFFFFFFFFFDull},
               {NAN, 0x8007FFFFFFFFFFFEull}, {-NAN, 0x8007FFFFFFFFFFFEull}};
  for (auto &c : fixed) {
    V k = of_(af(c.d), 1);
    EXPECT_EQ(tp(k), tLONGA);
    EXPECT_EQ((UJ)PL(k)[0], c.key) << c.d;
    mr(k);
  }
  // Random bit patterns, with the special ones mixed in: there and back.
  std::mt19937_64 g(8);
  const UJ sp[] = {0, 0x8000000000000000ull, 0x7FF0000000000000ull, 0xFFF0000000000000ull,
                   0x7FF8000000000000ull, 0xFFF0000000000001ull, 0x7FFFFFFFFFFFFFFFull, 1,
                   0x8000000000000001ull, 0x7FEFFFFFFFFFFFFFull, 0xFFEFFFFFFFFFFFFFull};
  for (U n : {0u, 1u, 3u, 4u, 5u, 1000u, 1001u}) {
    V x = an(n, tFLT);
    for (U i = 0; i < n; i++) P<UJ>(x)[i] = g() % 3 ? g() : sp[g() % 11];
    hd(x)->attr = 1;
    std::vector<UJ> in(P<UJ>(x), P<UJ>(x) + n);
    V k = of_(x, 1);
    EXPECT_EQ(k, x) << "in place at a count of one";
    EXPECT_EQ(tp(k), tLONG);
    EXPECT_EQ(hd(k)->attr, 0);
    // Keys in signed order are the floats in order: NaN lowest, zeros one.
    for (U i = 0; i + 1 < n; i++) {
      F a = dbl(in[i]), b = dbl(in[i + 1]);
      int want = a != a ? (b != b ? 0 : -1) : b != b ? 1 : (a > b) - (a < b);
      EXPECT_EQ(sgn(PL(k)[i] < PL(k)[i + 1] ? -1 : PL(k)[i] > PL(k)[i + 1]), want) << a << " " << b;
    }
    V s = _r(k);  // shared: a new object comes back, the keys untouched
    V f = of_(s, 0);
    EXPECT_NE(f, k);
    EXPECT_EQ(tp(f), tFLT);
    for (U i = 0; i < n; i++) {
      F d = dbl(in[i]);
      UJ want = d != d ? 0x7FF8000000000000ull : d == 0 ? 0 : in[i];
      EXPECT_EQ(P<UJ>(f)[i], want) << std::hex << in[i];
    }
    EXPECT_EQ(tp(k), tLONG);
    mr(k), mr(f);
  }
}

TEST(Match, Table) {
  vmt::boot();
  V nat = imm(tNATIVE, 0x1234);
  V sorted = mk(tLONG, {1, 2, 3});
  hd(sorted)->attr = 1;
  std::vector<Pair> t = {
      {"bytes and longs", mk(tBYTE, {1, 2, 3}), mk(tLONG, {1, 2, 3}), 1},
      {"bytes and longs differing", mk(tBYTE, {1, 2, 3}), mk(tLONG, {1, 2, 4}), 0},
      {"shorts and ints of other counts", mk(tSHORT, {1, 2}), mk(tINT, {1, 2, 3}), 0},
      {"booleans and bytes", bv({1, 0, 1}), mk(tBYTE, {1, 0, 1}), 1},
      {"a range and its ints", aE(0, 4), mk(tINT, {0, 1, 2, 3}), 1},
      {"its ints and a range", mk(tINT, {0, 1, 2, 3}), aE(0, 4), 1},
      {"a range and other ints", aE(0, 4), mk(tINT, {0, 1, 2, 4}), 0},
      {"a range and booleans", aE(0, 2), bv({0, 1}), 1},
      {"a negative range and bytes", aE(-3, -1), mk(tBYTE, {-3, -2}), 1},
      {"two long ranges, no memory", aE(0, 4000000000ll), aE(0, 4000000000ll), 1},
      {"long ranges by start", aE(0, 4000000000ll), aE(1, 4000000001ll), 0},
      {"a range and floats", aE(0, 2), fv({0, 1}), 0},
      {"int and long atoms", ai(5), al(5), 1},
      {"int and long atoms differing", ai(5), al(6), 0},
      {"float vectors 0 -0 and 0 0", fv({0.0, -0.0}), fv({0.0, 0.0}), 1},
      {"NaN and NaN", fa(0x7FF8000000000000ull), fa(0xFFF8000000000123ull), 1},
      {"NaN and 0", af(NAN), af(0), 0},
      {"float atom and one-item vector", af(1), fv({1}), 0},
      {"char vector and symbol", ev("\"ab\""), sym("ab"), 0},
      {"char vectors of other lengths", ev("\"ab\""), ev("\"abc\""), 0},
      {"9 booleans differing past their count", bv({1, 0, 1, 1, 0, 0, 1, 0, 1}), ev("101100101b"), 1},
      {"9 booleans differing in the ninth", bv({1, 0, 1, 1, 0, 0, 1, 0, 1}), bv({1, 0, 1, 1, 0, 0, 1, 0, 0}), 0},
      {"attributes ignored", sorted, mk(tLONG, {1, 2, 3}), 1},
      {"prototypes differing", emptyl(_r(ce[tCHR])), emptyl(_r(ce[tLONG])), 0},
      {"prototypes alike", emptyl(mk(tLONG, {})), emptyl(_r(ce[tLONG])), 1},
      {"dicts in another order", ev("`a`b!1 2"), ev("`b`a!2 1"), 0},
      {"natives differing above bit 31", nat, nat | (V)1 << 40, 0},
      {"one native", nat, nat, 1},
      {"symbol of a parse tree", sym("ab") | (V)7 << 32, sym("ab"), 1},
      {"nested lists", ev("(1;(2;\"ab\");`c)"), ev("(1;(2;\"ab\");`c)"), 1},
      {"nested lists differing deep", ev("(1;(2;\"ab\");`c)"), ev("(1;(2;\"ac\");`c)"), 0},
      {"tables", ev("+`a`b!(1 2;3 4)"), ev("+`a`b!(1 2;3 4)"), 1},
      {"lambdas", ev("{x*y}"), ev("{x*y}"), 1},
      {"date atoms", imm(tDATEA, 3), imm(tDATEA, 3), 1},
      {"date and month atoms", imm(tDATEA, 3), imm(tMONTHA, 3), 0},
  };
  for (auto &c : t) {
    EXPECT_EQ(mtc_(c.x, c.y), (bool)c.want) << c.what;
    EXPECT_EQ(mtc_(c.y, c.x), (bool)c.want) << c.what << " (swapped)";
    V r = mtc(c.x, _r(c.y));
    EXPECT_EQ(r, ai(c.want)) << c.what << " (the verb)";
    // A range hashes item by item, as its vector would: seconds for the
    // long ones, which are there for match alone.
    if (c.want && _n(c.x) < 1000000) {
      G f = 0, f2 = 0;
      EXPECT_EQ(hA(c.x, &f), hA(c.y, &f2)) << c.what << " (hash)";
    }
    mr(c.x), mr(c.y);
  }
  V a = emptyl(_r(ce[tCHR])), b = emptyl(_r(ce[tLONG]));
  G f = 0;
  EXPECT_EQ(hA(a, &f), hA(b, &f)) << "prototypes do not count in the hash";
  EXPECT_EQ(f, 0);
  mr(a), mr(b);
}

TEST(Match, HashAgreesWithMatch) {
  vmt::boot();
  G f = 0;
  EXPECT_EQ(hA(ai(5), &f), mixd(5 ^ 0x69));
  V l5 = al(5);
  EXPECT_EQ(hA(l5, &f), mixd(5 ^ 0x69));
  mr(l5);
  EXPECT_EQ(hA(ai(-1), &f), mixd(~(UJ)0 ^ 0x69));  // sign-extended
  const UJ zh = 0x98C475F436450649ull, nh = 0x381C75F130850649ull;
  for (UJ b : {0x0ull, 0x8000000000000000ull}) {
    V z = fa(b);
    EXPECT_EQ(hA(z, &f), zh);
    mr(z);
  }
  for (UJ b : {0x7FF8000000000000ull, 0xFFF8000000000000ull, 0x7FF0000000000001ull}) {
    V z = fa(b);
    EXPECT_EQ(hA(z, &f), nh);
    mr(z);
  }
  EXPECT_EQ(f, 0);
  // Random integer vectors stored at two widths (booleans and ranges where
  // they fit), and float vectors with their zeros and NaNs spelled two ways.
  std::mt19937_64 g(6104);
  const int w[] = {tBYTE, tSHORT, tINT, tLONG};
  for (int k = 0; k < 400; k++) {
    U n = (U)(g() % 40);
    J lim = (J)1 << (g() % 4 * 8 + 6), a0 = (J)(g() % 200) - 100;
    bool bools = g() % 4 == 0, run = g() % 4 == 0;
    std::vector<J> v(n);
    for (U i = 0; i < n; i++) v[i] = run ? a0 + i : bools ? (J)(g() & 1) : (J)(g() % (UJ)lim) - lim / 2;
    V x, y = mk(tLONG, v);
    if (run && n) x = aE(a0, a0 + n);
    else if (bools) {
      std::vector<int> bi(v.begin(), v.end());
      x = bv(bi);
    } else {
      int t = tLONG;
      for (int c : w)
        if (Tw[c] < 6 && std::all_of(v.begin(), v.end(), [&](J e) { return e >= -(1ll << ((1 << (Tw[c] - 3)) * 8 - 1)) && e < (1ll << ((1 << (Tw[c] - 3)) * 8 - 1)); })) {
          t = c;
          break;
        }
      x = mk(t, v);
    }
    ASSERT_TRUE(mtc_(x, y)) << k;
    G f1 = 0, f2 = 0;
    EXPECT_EQ(hA(x, &f1), hA(y, &f2)) << "case " << k << " type " << tp(x);
    // The two as items of lists, and in dicts.
    V lx = aA2(_r(x), ai(1)), ly = aA2(_r(y), ai(1));
    EXPECT_TRUE(mtc_(lx, ly));
    EXPECT_EQ(hA(lx, &f1), hA(ly, &f2));
    V dx = am(_r(y), _r(x)), dy = am(_r(y), _r(y));
    EXPECT_TRUE(mtc_(dx, dy));
    EXPECT_EQ(hA(dx, &f1), hA(dy, &f2));
    EXPECT_FALSE(f1 | f2);
    mr(x), mr(y), mr(lx), mr(ly), mr(dx), mr(dy);
  }
  const UJ zs[] = {0, 0x8000000000000000ull}, ns[] = {0x7FF8000000000000ull, 0xFFF8000000000000ull, 0x7FF0000000000001ull, 0xFFFFFFFFFFFFFFFFull};
  for (int k = 0; k < 200; k++) {
    U n = (U)(g() % 20);
    V x = an(n, tFLT), y = an(n, tFLT);
    for (U i = 0; i < n; i++) {
      UJ r = g();
      switch (r % 3) {
        case 0: P<UJ>(x)[i] = zs[r >> 8 & 1], P<UJ>(y)[i] = zs[r >> 9 & 1]; break;
        case 1: P<UJ>(x)[i] = ns[r >> 8 & 3], P<UJ>(y)[i] = ns[r >> 10 & 3]; break;
        default: P<UJ>(x)[i] = P<UJ>(y)[i] = bits((F)(r >> 8 & 0xFF) / 7);
      }
    }
    EXPECT_TRUE(mtc_(x, y)) << k;
    G f1 = 0;
    EXPECT_EQ(hA(x, &f1), hA(y, &f1)) << k;
    mr(x), mr(y);
  }
}

TEST(Match, UnhashableFlag) {
  vmt::boot();
  struct {
    const char *what;
    V x;
    int flag;
  } t[] = {
      {"date atom", imm(tDATEA, 7), 0},
      {"list holding a date vector", aA2(ai(1), tv(tDATE, {1, 2})), 1},
      {"dict of date values", am(ev("`a`b"), tv(tDATE, {1, 2})), 1},
      {"lambda", ev("{x}"), 1},
      {"list holding a lambda deep", aA2(ai(1), aA2(ai(2), ev("{x}"))), 1},
      {"timestamp atom", tv(tTSTAMP, {1}), 1},
      {"primitive", imm(tDYAD, 3), 0},
      {"table", ev("+`a`b!(1 2;3 4)"), 0},
  };
  for (auto &c : t) {
    G f = 0;
    hA(c.x, &f);
    EXPECT_EQ(f, c.flag) << c.what;
    mr(c.x);
  }
}

// Values nested 100,000 deep walk on frames of their own: match, hash and
// order answer on a thread of 256 KiB of stack, where one C frame per level
// would not fit.
TEST(Order, DeepNesting) {
  vmt::boot();
  auto deep = [](V x) {
    for (int i = 0; i < 100000; i++) x = enl(x);
    return x;
  };
  // Layer by layer, so the release does not recurse either.
  auto drop = [](V x) {
    while (tp(x) == tLIST) {
      V in = _r(PA(x)[0]);
      mr(x);
      x = in;
    }
    mr(x);
  };
  struct R {
    V a, b, c;
    bool ab, ac;
    UJ ha, hb, hc;
    G f;
    I qab, qac, qca;
  } r{};
  r.a = deep(ai(1)), r.b = deep(ai(1)), r.c = deep(ai(2));
  auto walk = [](void *p) -> void * {
    R &r = *(R *)p;
    r.ab = mtc_(r.a, r.b), r.ac = mtc_(r.a, r.c);
    r.ha = hA(r.a, &r.f), r.hb = hA(r.b, &r.f), r.hc = hA(r.c, &r.f);
    r.qab = qA(r.a, r.b), r.qac = qA(r.a, r.c), r.qca = qA(r.c, r.a);
    return nullptr;
  };
  pthread_attr_t at;
  pthread_attr_init(&at);
  pthread_attr_setstacksize(&at, 256 << 10);
  pthread_t th;
  ASSERT_EQ(pthread_create(&th, &at, walk, &r), 0);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&at);
  EXPECT_TRUE(r.ab);
  EXPECT_FALSE(r.ac);
  EXPECT_EQ(r.ha, r.hb);
  EXPECT_NE(r.ha, r.hc);
  EXPECT_EQ(r.f, 0);
  EXPECT_EQ(r.qab, 0);
  EXPECT_LT(r.qac, 0);
  EXPECT_GT(r.qca, 0);
  drop(r.a), drop(r.b), drop(r.c);
}
