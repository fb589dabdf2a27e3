// Arithmetic and comparison dispatch, each and atomic extension, and
// dictionary arithmetic.  Values are built with the core constructors and
// results compared by their source form (kst) and, where storage matters,
// by type code.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/err.h"
#include "core/sym.h"
#include "eval/each.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "table/table.h"
#include "testutil.h"

using namespace zk;

namespace {

// ---- builders ----
template <class T> V vec(int t, std::initializer_list<T> l) {
  V r = an((U)l.size(), t);
  U i = 0;
  for (T v : l) {
    switch (Tw[t]) {
      case 3: P<int8_t>(r)[i++] = (int8_t)v; break;
      case 4: P<int16_t>(r)[i++] = (int16_t)v; break;
      case 5: PI(r)[i++] = (I)v; break;
      default: PL(r)[i++] = (J)v;
    }
  }
  return r;
}
V G8(std::initializer_list<J> l) { return vec(tBYTE, l); }
V H16(std::initializer_list<J> l) { return vec(tSHORT, l); }
V I32(std::initializer_list<J> l) { return vec(tINT, l); }
V L64(std::initializer_list<J> l) { return vec(tLONG, l); }
V Fv(std::initializer_list<F> l) {
  V r = an((U)l.size(), tFLT);
  U i = 0;
  for (F v : l) PF(r)[i++] = v;
  return r;
}
V Cv(const char *s) { return aCz(s); }
V Sv(std::initializer_list<const char *> l) {
  V r = an((U)l.size(), tSYM);
  U i = 0;
  for (const char *s : l) PI(r)[i++] = us(s);
  return r;
}
V S(const char *s) { return as(us(s)); }
V Bv(std::initializer_list<int> l) {
  V r = an((U)l.size(), tBOOL);
  memset(P(r), 0, 8);
  U i = 0;
  for (int v : l) P(r)[i >> 3] |= (G)((v & 1) << (i & 7)), i++;
  return r;
}
V Lst(std::initializer_list<V> l) {
  if (!l.size()) return aA0(0);
  V r = an((U)l.size(), tLIST);
  U i = 0;
  for (V v : l) PA(r)[i++] = v;
  return r;
}
V D(V k, V v) { return am(k, v); }
V T1(const char *name, V col) { return aM(Sv({name}), aA1(col)); }
V bx(int t, J v) {
  V r = an(1, t);
  PL(r)[0] = v;
  return r;
}
V dt(I d) { return imm(tDATEA, (U)d); }
V sp(J ns) { return bx(tTSPANA, ns); }
V ts(J ns) { return bx(tTSTAMPA, ns); }
V Z(J v) { return az(v); }
V Fl(F d) { return af(d); }
V nul() { return al(NJ); }

std::string etext() {
  std::string e(tl.err_text, elen());
  return e.substr(0, e.find('\n'));
}

// Source form of r (consumed), or the error's first line.
std::string ks(V r) {
  if (!r) return etext();
  V s = kst(r);
  if (!s) return "<kst: " + etext() + ">";
  std::string t(PC(s), nx(s));
  mr(s);
  return t;
}

struct Case {
  V x;
  int op;
  V y;
  const char *want;
  int type;  // expected type code, 0: not checked
};

// Runs each case through the verb of its operator code (x released after).
void runs(std::vector<Case> cs) {
  for (size_t i = 0; i < cs.size(); i++) {
    Case &c = cs[i];
    std::string xs = ks(_r(c.x));
    V r = ariv[c.op](c.x, c.y);
    int t = r ? tp(r) : -1;
    std::string got = ks(r);
    EXPECT_EQ(got, c.want) << "case " << i << ": " << xs << " op " << c.op;
    if (c.type && r) {
      EXPECT_EQ(t, c.type) << "case " << i << ": " << xs << " op " << c.op;
    }
    mr(c.x);
  }
}

enum { ADD = 1, SUB, MUL, DVD, MOD, MIN, MAX, LT, GT, EQ };

struct Ari : ::testing::Test {
  void SetUp() override { boot_once(); }
};

TEST_F(Ari, IntegerAtoms) {
  runs({
      {Z(2), ADD, Z(3), "5", tINTA},
      {Z(2000000000), ADD, Z(2000000000), "4000000000", tLONGA},
      {al(5), SUB, al(7), "-2", tINTA},  // long atoms that fit give int atoms
      {Z(3), DVD, Z(2), "1.5", tFLTA},
      {Z(7), DVD, Z(0), "0w", tFLTA},
      {Z(0), DVD, Z(0), "0n", tFLTA},
      {nul(), DVD, Z(2), "0n", tFLTA},
      {al(WJ), ADD, Z(1), "0N", tLONGA},  // wraps at 64 bits
      {nul(), ADD, Z(1), "0N", tLONGA},
      {Z(3), MUL, nul(), "0N", tLONGA},
      {Z(3), MOD, Z(7), "1", tINTA},
      {Z(3), MOD, Z(-7), "2", tINTA},
      {Z(-2), MOD, Z(7), "3", tINTA},
      {Z(-2), MOD, Z(-7), "-4", tINTA},
      {Z(0), MOD, Z(5), "5", tINTA},
      {nul(), MOD, Z(5), "0N", tLONGA},
      {Z(3), MOD, nul(), "0N", tLONGA},
      {Z(1), LT, Z(2), "1", tINTA},
      {nul(), LT, Z(0), "1", tINTA},
      {nul(), MIN, Z(5), "0N", tLONGA},
      {nul(), MAX, Z(5), "5", tINTA},
      {Z(4), EQ, al(4), "1", tINTA},
  });
}

TEST_F(Ari, IntegerVectors) {
  runs({
      {L64({1, 2, 3}), LT, Z(2), "1 0 0", tBYTE},
      {Z(2), GT, L64({1, 2, 3}), "1 0 0", tBYTE},
      {L64({1, 2, 3}), EQ, G8({1, 2, 4}), "1 1 0", tBYTE},
      {L64({1, 2, 3}), ADD, L64({1, 2}), "'length", 0},
      {L64({1, 2, 3}), ADD, S("a"), "'type", 0},
      {G8({100, 100}), ADD, Z(100), "200 200", tSHORT},  // widened one step
      {G8({1, 2}), ADD, H16({1000, 2}), "1001 4", tSHORT},
      {I32({1, 2, 3}), SUB, Z(1), "0 1 2", tINT},
      {L64({NJ, 5}), SUB, Z(1), "0N 4", tLONG},
      {Z(10), SUB, G8({1, 2}), "9 8", tBYTE},
      {L64({1, 2}), DVD, Z(2), "0.5 1.0", tFLT},
      {Z(1), DVD, L64({2, NJ}), "0.5 0n", tFLT},
      {G8({1, 2}), DVD, I32({4, 0}), "0.25 0w", tFLT},
      {G8({5, -5}), MIN, L64({1, 7}), "1 -5", tLONG},
      {I32({3, 9}), MAX, Z(5), "5 9", tINT},
      {L64({1, 5}), LT, G8({2, 2}), "1 0", tBYTE},
      {L64({1, 5}), GT, Z(2), "0 1", tBYTE},
      {Z(3), MOD, L64({7, -7, NJ}), "1 2 0N", tLONG},
  });
}

// Every pair of integer widths, as vector with vector, atom with vector and
// vector with atom, against 64-bit arithmetic on the values: + - * wrap
// only at 64 bits (narrower results widen), & | < > = are signed.
J itemz(V r, U i) {
  switch (tp(r)) {
    case tBYTE: return P<int8_t>(r)[i];
    case tSHORT: return P<int16_t>(r)[i];
    case tINT: return PI(r)[i];
    default: return PL(r)[i];
  }
}
J want(int op, J a, J b) {
  switch (op) {
    case ADD: return (J)((UJ)a + (UJ)b);
    case SUB: return (J)((UJ)a - (UJ)b);
    case MUL: return (J)((UJ)a * (UJ)b);
    case MIN: return a < b ? a : b;
    case MAX: return a > b ? a : b;
    case LT: return a < b;
    case GT: return a > b;
    default: return a == b;
  }
}

V mkw(int w, const std::vector<J> &v, U rep, bool outer) {
  U m = (U)v.size(), n = m * rep;
  V x = an(n, tBYTE + w);
  for (U i = 0; i < n; i++) {
    J p = outer ? v[i / rep] : v[i % m];
    switch (w) {
      case 0: P<int8_t>(x)[i] = (int8_t)p; break;
      case 1: P<int16_t>(x)[i] = (int16_t)p; break;
      case 2: PI(x)[i] = (I)p; break;
      default: PL(x)[i] = p;
    }
  }
  return x;
}

TEST_F(Ari, IntegerWidthPairs) {
  const std::vector<J> vals[4] = {{-128, -1, 0, 1, 127},
                                  {-32768, -1, 0, 1, 32767},
                                  {INT32_MIN, -1, 0, 1, INT32_MAX},
                                  {NJ + 1, -1, 0, 1, WJ}};
  for (int wx = 0; wx < 4; wx++)
    for (int wy = 0; wy < 4; wy++) {
      const std::vector<J> &a = vals[wx], &b = vals[wy];
      U m = (U)a.size();
      for (int op : {ADD, SUB, MUL, MIN, MAX, LT, GT, EQ}) {
        // Every pair of items: x holds each a m times, y the b's m times over.
        V x = mkw(wx, a, m, true);
        V r = ariv[op](x, mkw(wy, b, m, false));
        ASSERT_TRUE(r) << wx << wy << " op " << op;
        if (op >= LT) {
          EXPECT_EQ(tp(r), tBYTE);
        }
        for (U i = 0; i < m * m; i++)
          ASSERT_EQ(itemz(r, i), want(op, a[i / m], b[i % m]))
              << "widths " << wx << "," << wy << " op " << op << " item " << i;
        mr(r), mr(x);
        // An atom of x's values with a vector of y's, on either side.
        for (U k = 0; k < m; k++) {
          V p = az(a[k]), q = mkw(wy, b, 1, false);
          V r1 = ariv[op](p, _r(q)), r2 = ariv[op](q, _r(p));
          ASSERT_TRUE(r1 && r2);
          for (U i = 0; i < m; i++) {
            ASSERT_EQ(itemz(r1, i), want(op, a[k], b[i])) << wx << wy << " op " << op;
            ASSERT_EQ(itemz(r2, i), want(op, b[i], a[k])) << wx << wy << " op " << op;
          }
          mr(r1), mr(r2), mr(p), mr(q);
        }
      }
    }
}

TEST_F(Ari, Chars) {
  V hi = ac((char)200);
  runs({
      {ac('a'), LT, ac('b'), "1", tINTA},
      {_r(hi), GT, ac('a'), "1", tINTA},  // unsigned between two chars
      {_r(hi), LT, Z(97), "1", tINTA},    // a signed byte against an integer
      {Cv("abc"), MIN, Cv("abd"), "\"abc\"", tCHR},
      {Cv("a"), MAX, aCn("\xc8", 1), ",0xc8", tCHR},
      {_r(hi), MIN, ac('a'), "\"a\"", tCHRA},
      {ac('a'), ADD, Z(1), "98", tINTA},
      {Cv("ab"), ADD, Z(1), "98 99", tBYTE},
      {Cv("ab"), EQ, Cv("ac"), "1 0", tBYTE},
      {ac('a'), EQ, Cv("bab"), "0 1 0", tBYTE},
      {Cv("a\xc8"), LT, ac('b'), "1 0", tBYTE},
      {Cv("a\xc8"), LT, Z(98), "1 1", tBYTE},
  });
  mr(hi);
}

TEST_F(Ari, FloatAtoms) {
  runs({
      {Fl(NAN), EQ, Fl(NAN), "1", tINTA},
      {Fl(-0.0), EQ, Fl(0.0), "1", tINTA},
      {Fl(NAN), LT, Fl(-INFINITY), "1", tINTA},
      {Fl(-0.0), LT, Fl(0.0), "0", tINTA},
      {Fl(NAN), MIN, Fl(1.0), "0n", tFLTA},
      {Fl(NAN), MAX, Fl(1.0), "1.0", tFLTA},
      {Z(1), EQ, Fl(1.0), "1", tINTA},
      {nul(), EQ, Fl(NAN), "1", tINTA},
      {Fl(1.5), ADD, Z(2), "3.5", tFLTA},
      {Z(1), DVD, Fl(-0.0), "-0w", tFLTA},
      {ac('a'), ADD, Fl(0.5), "97.5", tFLTA},
      {Cv("a\xff"), DVD, Fl(2), "48.5 -0.5", tFLT},
      {Cv("ab"), DVD, ac('b'), "0.9897959183673469 1.0", tFLT},
      {Fv({1, 2}), LT, Cv("ab"), "1 1", tBYTE},
      {S("a"), ADD, Fl(0.5), "'type", 0},
      {Fl(0.5), LT, S("a"), "'type", 0},
  });
  // Both zeros give +0.0 under & and |.
  for (int op : {MIN, MAX})
    for (bool flip : {false, true}) {
      V a = Fl(flip ? 0.0 : -0.0), b = Fl(flip ? -0.0 : 0.0);
      V r = ariv[op](a, b);
      ASSERT_TRUE(r);
      EXPECT_EQ(std::bit_cast<UJ>(PF(r)[0]), 0u);
      mr(a), mr(r);
    }
}

TEST_F(Ari, FloatModulus) {
  runs({
      {Z(2), MOD, Fl(-7.5), "0.5", tFLTA},
      {Z(2), MOD, Fl(-4.0), "0.0", tFLTA},
      {Z(2), MOD, Fl(-0.0), "-0.0", tFLTA},
      {Fl(2.5), MOD, Fl(7.5), "'type", 0},
      {Z(-2), MOD, Fl(7.5), "'nyi", 0},
      {Z(0), MOD, Fl(7.5), "7.5", tFLTA},
      {Z(2), MOD, Fl(INFINITY), "0n", tFLTA},
      {Z(3), MOD, Fv({-7.5, 3.0, -0.0, NAN}), "1.5 0.0 -0.0 0n", tFLT},
      {L64({2}), MOD, Fl(1.5), "'type", 0},
  });
  // -4.0 gives +0.0, not -0.0.
  V r = mod(ai(2), af(-4.0));
  EXPECT_EQ(std::bit_cast<UJ>(PF(r)[0]), 0u);
  mr(r);
}

TEST_F(Ari, FloatVectors) {
  runs({
      {Fv({1, -1, 0}), DVD, Fl(0.0), "0w -0w 0n", tFLT},
      {Fl(1), ADD, Fv({NAN, 2}), "0n 3.0", tFLT},
      {Fv({INFINITY, 1}), SUB, Fv({INFINITY, 1}), "0n 0.0", tFLT},
      {Fv({1, 2}), ADD, Fv({1, 2, 3}), "'length", 0},
      {Fv({NAN, 1, -0.0}), LT, Fl(0.0), "1 0 0", tBYTE},
      {Fv({NAN, 1, -0.0}), GT, Fl(-INFINITY), "0 1 1", tBYTE},
      {Fl(-INFINITY), LT, Fv({NAN, 1, -0.0}), "0 1 1", tBYTE},
      {Fv({NAN, 1.0}), MIN, Fv({1.0, NAN}), "0n 0n", tFLT},
      {Fv({NAN, 1.0}), MAX, Fv({1.0, NAN}), "1.0 1.0", tFLT},
      {Fv({NAN, -0.0, 1}), EQ, Fv({NAN, 0.0, 2}), "1 1 0", tBYTE},
      {Fv({NAN, -0.0, 1}), EQ, Fl(NAN), "1 0 0", tBYTE},
      {Fl(0.0), EQ, Fv({NAN, -0.0, 1}), "0 1 0", tBYTE},
      {L64({1, 2, 3}), LT, Fl(2.5), "1 1 0", tBYTE},
      {Fl(1.0), SUB, L64({1, 2}), "0.0 -1.0", tFLT},
      {Fv({1, 2}), SUB, Fl(1), "0.0 1.0", tFLT},
      {Fl(2), DVD, Fv({1, 2}), "2.0 1.0", tFLT},
      {Fv({1, 2}), DVD, Fl(2), "0.5 1.0", tFLT},
      {Fv({1, 2}), MUL, Fl(2), "2.0 4.0", tFLT},
      {Fv({1, 5}), MIN, Fl(2), "1.0 2.0", tFLT},
      {Fv({1, 2}), ADD, Fv({}), "'length", 0},
      {Fv({1, 2}), EQ, Fv({1}), "'length", 0},
  });
}

// x < y and x > y under the float order, item by item.
G lto(F a, F b) { return a < b || (a != a && b == b); }

// The direct comparison above 1,999,999 items must agree with the order
// rule below it, with and without NaNs and negative zeros.
TEST_F(Ari, FloatThreshold) {
  for (U n : {1999999u, 2000000u, 2000001u})
    for (int v = 0; v < 3; v++) {
      V a = an(n, tFLT), b = an(n, tFLT);
      for (U i = 0; i < n; i++) {
        PF(a)[i] = (F)((i * 7919u) % 1000) - 500;
        PF(b)[i] = (F)((i * 104729u) % 1000) - 500;
      }
      if (v == 1) PF(a)[n - 1] = NAN, PF(b)[n / 2] = NAN;
      if (v == 2) PF(a)[n / 3] = -0.0, PF(b)[n / 3] = 0.0;
      for (int op : {LT, GT}) {
        V r = ariv[op](a, _r(b));
        ASSERT_TRUE(r);
        ASSERT_EQ(tp(r), tBYTE);
        U bad = 0;
        for (U i = 0; i < n; i++) {
          F p = PF(a)[i], q = PF(b)[i];
          bad += P(r)[i] != (op == LT ? lto(p, q) : lto(q, p));
        }
        EXPECT_EQ(bad, 0u) << n << " variant " << v << " op " << op;
        mr(r);
        // A vector against an atom, and the atom on either side.
        for (F s : {0.0, -0.0, (F)NAN, 100.5}) {
          V r1 = ariv[op](a, af(s));
          V r2 = ariv[op == LT ? GT : LT](af(s), _r(a));
          ASSERT_TRUE(r1 && r2);
          U bad1 = 0;
          for (U i = 0; i < n; i++) {
            G e = op == LT ? lto(PF(a)[i], s) : lto(s, PF(a)[i]);
            bad1 += (P(r1)[i] != e) + (P(r2)[i] != e);
          }
          EXPECT_EQ(bad1, 0u) << n << " variant " << v << " op " << op << " atom " << s;
          mr(r1), mr(r2);
        }
      }
      mr(a), mr(b);
    }
}

TEST_F(Ari, BooleansAndRanges) {
  runs({
      {Bv({1, 0}), ADD, Z(1), "2 1", tBYTE},
      {Bv({1, 0, 1}), MIN, Bv({1, 1, 0}), "1 0 0", tBYTE},
      {Z(1), ADD, Bv({1, 0}), "2 1", tBYTE},
      {Bv({1, 0}), LT, Fl(0.5), "0 1", tBYTE},
      {aE(0, 3), ADD, Z(5), "5 6 7", tRANGE},  // still a range
      {aE(0, 3), SUB, Z(1), "-1 0 1", tRANGE},
      {Z(5), ADD, aE(0, 3), "5 6 7", tRANGE},
      {Z(5), SUB, aE(0, 3), "5 4 3", tBYTE},  // materialised
      {aE(0, 3), MUL, Z(2), "0 2 4", tBYTE},
      {aE(0, 3), LT, Z(2), "1 1 0", tBYTE},
      {aE(0, 3), ADD, aE(10, 13), "10 12 14", tBYTE},
      {aE(0, 3), ADD, nul(), "0N 0N 0N", tLONG},
  });
}

TEST_F(Ari, Symbols) {
  runs({
      {S("a"), EQ, Sv({"a", "b"}), "1 0", tBYTE},
      {Sv({"a", "b"}), EQ, Sv({"a", "c"}), "1 0", tBYTE},
      {S("b"), LT, Sv({"a", "c"}), "0 1", tBYTE},
      {Sv({"b", "zebra"}), GT, S("alphabetical"), "1 1", tBYTE},
      {S("alphabet"), LT, S("alphabetical"), "1", tINTA},
      {S("b"), GT, S("a"), "1", tINTA},
      {S("a"), EQ, S("a"), "1", tINTA},
      {S("a"), LT, Z(1), "'type", 0},
      {S("a"), ADD, S("b"), "'type", 0},
      {Sv({"a"}), EQ, L64({1}), "'type", 0},
      {Sv({"a", "b"}), LT, Sv({"a"}), "'length", 0},
  });
}

TEST_F(Ari, Lists) {
  runs({
      {Lst({Z(1), Fl(2.5)}), ADD, Z(1), "(2;3.5)", tLIST},
      {Lst({L64({1, 2}), Z(3)}), ADD, Z(10), "(11 12;13)", tLIST},
      {Lst({Z(1), Z(2)}), ADD, Lst({L64({1, 2}), Z(3)}), "(2 3;5)", tLIST},
      {Lst({Z(1), Z(2)}), ADD, Lst({Z(1), Z(2), Z(3)}), "'length", 0},
      {Lst({Z(1), Fl(2.5)}), LT, Z(2), "1 0", tBYTE},
      {Lst({Z(1), S("a")}), ADD, Z(1), "'type", 0},
      {L64({1, 2}), ADD, Lst({Z(1), Fl(2.5)}), "(2;4.5)", tLIST},
      {emp(), ADD, Z(1), "()", tLIST},
  });
}

TEST_F(Ari, Dicts) {
  auto d1 = [] { return D(Sv({"a", "b"}), L64({1, 2})); };
  auto d2 = [] { return D(Sv({"b", "c"}), L64({10, 20})); };
  V ued = am(aA0(0), aA0(0));
  runs({
      {d1(), ADD, d2(), "`a`b`c!1 12 20", tDICT},
      {d1(), SUB, d2(), "`a`b`c!1 -8 -20", tDICT},
      {d1(), MUL, d2(), "`a`b`c!1 20 20", tDICT},
      {d1(), MIN, d2(), "`a`b`c!1 2 20", tDICT},
      {d1(), LT, d2(), "`a`b`c!0 1 1", tDICT},  // missing values are nulls
      {d1(), EQ, d2(), "`a`b`c!0 0 0", tDICT},
      {d1(), ADD, d1(), "`a`b!2 4", tDICT},
      {d1(), ADD, Z(1), "`a`b!2 3", tDICT},
      {Z(10), SUB, d1(), "`a`b!9 8", tDICT},
      {d1(), ADD, L64({10, 20}), "`a`b!11 22", tDICT},
      {L64({10, 20}), LT, d1(), "`a`b!0 0", tDICT},
      {D(Sv({"a", "a", "b"}), L64({1, 2, 3})), ADD, D(Sv({"a", "c"}), L64({10, 20})),
       "`a`a`b`c!11 2 3 20", tDICT},
      {D(Sv({"b"}), L64({5})), SUB, D(Sv({"c", "c"}), L64({1, 2})), "`b`c`c!5 -1 -2", tDICT},
      {d1(), DVD, d2(), "`a`b`c!(1;0.2;20)", tDICT},
      {D(Lst({Sv({"a", "b"}), S("c")}), L64({1, 2})), ADD, d1(), "'domain", 0},
      {_r(ued), ADD, d1(), "`a`b!1 2", tDICT},
      {d1(), ADD, _r(ued), "`a`b!1 2", tDICT},
      {D(Sv({"a", "b"}), Lst({L64({1, 2}), Z(3)})), ADD, D(Sv({"b"}), Lst({Z(1)})),
       "`a`b!(1 2;4)", tDICT},
  });
  mr(ued);
  // Each value combined with the matching value by key, key order kept.
  V r = add(d2(), d1());
  EXPECT_EQ(ks(r), "`b`c`a!12 20 1");
}

TEST_F(Ari, KeyedTables) {
  auto kt = [](std::initializer_list<const char *> k, std::initializer_list<J> v) {
    return am(T1("k", Sv(k)), T1("v", vec(tLONG, v)));
  };
  runs({
      {kt({"a", "b"}, {1, 2}), ADD, kt({"b", "c"}, {10, 20}),
       "(+(,`k)!,`a`b`c)!+(,`v)!,1 12 20", tDICT},
      {kt({"a", "b"}, {1, 2}), SUB, kt({"b", "c"}, {10, 20}),
       "(+(,`k)!,`a`b`c)!+(,`v)!,1 -8 -20", tDICT},
      {kt({"a", "b"}, {1, 2}), MUL, kt({"b", "c"}, {10, 20}),
       "(+(,`k)!,`a`b`c)!+(,`v)!,1 20 20", tDICT},
      {kt({"a", "b"}, {1, 2}), MAX, kt({"b", "c"}, {10, 20}),
       "(+(,`k)!,`a`b`c)!+(,`v)!,1 10 20", tDICT},
      {kt({"a", "b"}, {1, 2}), ADD, kt({"a", "b"}, {10, 20}),
       "(+(,`k)!,`a`b)!+(,`v)!,11 22", tDICT},
      {kt({"a", "b"}, {1, 2}), LT, kt({"a", "b"}, {10, 0}),
       "(+(,`k)!,`a`b)!+(,`v)!,1 0", tDICT},
      // One side keyed by a table, the other's values not a table.
      {kt({"a"}, {1}), ADD, am(T1("k", Sv({"a"})), L64({1})), "'type", 0},
      // Keys of different depth.
      {kt({"a"}, {1}), ADD, D(Sv({"a"}), L64({1})), "'domain", 0},
      // Table keys against plain keys of the same depth: no keyed rule.
      {D(Lst({Sv({"a"})}), L64({1})), ADD, kt({"a"}, {1}), "'nyi", 0},
      {kt({"a"}, {1}), ADD, D(Lst({Sv({"a"})}), T1("v", L64({1}))), "'nyi", 0},
      // Keyed comparison with keys on one side only.
      {kt({"a"}, {1}), LT, kt({"b"}, {1}), "'nyi", 0},
  });
  // Key columns in another order are aligned by name first.
  V k2 = aM(Sv({"p", "q"}), Lst({Sv({"a", "b"}), L64({1, 2})}));
  V k3 = aM(Sv({"q", "p"}), Lst({L64({2, 9}), Sv({"b", "z"})}));
  V x = am(k2, T1("v", L64({1, 2}))), y = am(k3, T1("v", L64({10, 20})));
  EXPECT_EQ(ks(add(x, y)), "(+`p`q!(`a`b`z;1 2 9))!+(,`v)!,1 12 20");
  mr(x);
  // Different key names: 'domain.
  x = am(T1("k", Sv({"a"})), T1("v", L64({1})));
  y = am(T1("j", Sv({"a"})), T1("v", L64({1})));
  EXPECT_EQ(ks(add(x, y)), "'domain");
  mr(x);
}

TEST_F(Ari, Tables) {
  runs({
      {T1("v", L64({1, 2})), ADD, Z(1), "+(,`v)!,2 3", tTABLE},
      {T1("v", L64({1, 2})), ADD, T1("v", L64({10, 20})), "+(,`v)!,11 22", tTABLE},
      {T1("v", L64({1, 2})), ADD, T1("v", L64({10})), "'length", 0},
  });
}

TEST_F(Ari, Temporal) {
  runs({
      {dt(0), ADD, Z(1), "2000.01.02", tDATEA},
      {Z(1), SUB, dt(1), "2000.01.01", tDATEA},
      {Z(1), SUB, dt(2), "1999.12.31", tDATEA},
      {dt(5), SUB, Z(2), "2000.01.04", tDATEA},
      {dt(0), ADD, Fl(1.5), "'type", 0},
      {dt(0), MUL, Z(2), "'type", 0},
      {sp(1000000000), MUL, Z(2), "0D00:00:02.000000000", tTSPANA},
      {dt(2147483647), ADD, Z(1), "'limit", 0},
      {dt(3), SUB, dt(1), "2", tINTA},
      {ts(10), SUB, ts(4), "0D00:00:00.000000006", tTSPANA},
      {dt(1), ADD, sp(5), "2000.01.02D00:00:00.000000005", tTSTAMPA},
      {dt(1), ADD, imm(tTIMEA, 1000), "2000.01.02D00:00:01.000000000", tTSTAMPA},
      {cn[tDATEA], ADD, Z(1), "0Nd", tDATEA},
      {dt(0), ADD, nul(), "0Nd", tDATEA},
      {dt(1), LT, dt(2), "1", tINTA},
      {dt(1), EQ, Z(1), "1", tINTA},
      {dt(1), GT, ac('\x01'), "0", tINTA},
      {dt(1), LT, S("a"), "'type", 0},
      {dt(1), MIN, dt(0), "2000.01.01", tDATEA},
      {dt(1), MAX, cn[tDATEA], "2000.01.02", tDATEA},
      {dt(1), MIN, Z(0), "'type", 0},
      {dt(1), MIN, sp(0), "'type", 0},
      {dt(1), MOD, Z(2), "'type", 0},
      {sp(5), DVD, Z(2), "2.5", tFLTA},
      {cn[tDATEA], DVD, Z(2), "0n", tFLTA},
      {dt(1), EQ, ts(86400000000000ll), "1", tINTA},
      {dt(1), LT, ts(86400000000001ll), "1", tINTA},
      {dt(1), LT, sp(1), "'type", 0},
      {imm(tSECONDA, 60), EQ, imm(tMINUTEA, 1), "1", tINTA},
      {dt(1), EQ, Fl(1.0), "1", tINTA},
      {Fl(0.2), LT, dt(1), "1", tINTA},
  });
  // Temporal vectors: the rules item by item.
  V d = an(3, tDATE);
  PI(d)[0] = 0, PI(d)[1] = 1, PI(d)[2] = NI;
  runs({
      {_r(d), ADD, Z(1), "2000.01.02 2000.01.03 0N", tDATE},
      {_r(d), LT, dt(1), "1 0 1", tBYTE},
      {dt(1), EQ, _r(d), "0 1 0", tBYTE},
      {_r(d), ADD, Fl(1.5), "'type", 0},
      {_r(d), ADD, L64({1, 2}), "'length", 0},
      {_r(d), SUB, _r(d), "0 0 0N", 0},
      {an(0, tDATE), ADD, Z(1), "`date$()", tDATE},
      {_r(d), ADD, Lst({Z(1), L64({1, 2}), Z(0)}), "(2000.01.02;2000.01.03 2000.01.04;0Nd)", tLIST},
  });
  mr(d);
}

// The operator code is the caller's again after every call, failed or not,
// including calls that go item by item through the verbs.
TEST_F(Ari, OperatorCodeRestored) {
  tl.f = 77;
  V x = Lst({Z(1), L64({1, 2})});
  for (int op = 1; op <= 10; op++) {
    if (op == MOD) continue;
    V r = ariv[op](x, Z(3));
    EXPECT_TRUE(r) << op;
    EXPECT_EQ(tl.f, 77) << op;
    if (r) mr(r);
    r = ariv[op](x, S("a"));
    EXPECT_FALSE(r);
    EXPECT_EQ(tl.f, 77) << op;
  }
  V r = mod(Z(3), Z(7));
  EXPECT_EQ(tl.f, 77);
  mr(r), mr(x);
  tl.f = 0;
}

// A shared y is never written; an unshared one may be reused.
TEST_F(Ari, SharedOperandsUnchanged) {
  for (int op : {ADD, SUB, MIN, MAX}) {
    V y = L64({1, 2, 3});
    V r = ariv[op](Z(1), _r(y));
    EXPECT_EQ(ks(_r(y)), "1 2 3");
    mr(r), mr(y);
    V yf = Fv({1, 2});
    r = ariv[op](Fl(1), _r(yf));
    EXPECT_EQ(ks(_r(yf)), "1.0 2.0");
    mr(r), mr(yf);
  }
  V x = L64({1, 2});
  V r = add(x, Z(1));
  EXPECT_EQ(ks(_r(x)), "1 2");  // x is only read
  mr(r), mr(x);
}

TEST_F(Ari, Conversions) {
  EXPECT_EQ(ks(ucb(ac((char)200))), "200");
  V u = ucb(Cv("a\xc8"));
  EXPECT_EQ(tp(u), tSHORT);
  EXPECT_EQ(ks(u), "97 200");
  EXPECT_EQ(ks(cub(ai(0x161))), "\"a\"");
  V c = cub(I32({97, 0x162}));
  EXPECT_EQ(tp(c), tCHR);
  EXPECT_EQ(ks(c), "\"ab\"");
  EXPECT_EQ(ks(cub(Lst({I32({97, 98}), Z(0x163)}))), "(\"ab\";\"c\")");
  V z = fzn(Fv({NAN, -0.0, 1}));
  EXPECT_EQ(P<UJ>(z)[0], NF_BITS);
  EXPECT_EQ(P<UJ>(z)[1], 0u);
  mr(z);
  V a = fzn(af(-0.0));
  EXPECT_EQ(P<UJ>(a)[0], 0u);
  mr(a);
  // Order keys: their signed order is the float order.
  V k = of_(Fv({NAN, -INFINITY, -1, -0.0, 0.0, 1, INFINITY}), 1);
  ASSERT_EQ(tp(k), tLONG);
  for (U i = 0; i + 1 < 7; i++) {
    if (i == 3) {
      EXPECT_EQ(PL(k)[i], PL(k)[i + 1]);
    } else {
      EXPECT_LT(PL(k)[i], PL(k)[i + 1]) << i;
    }
  }
  V f = of_(k, 0);
  EXPECT_EQ(ks(f), "0n -0w -1.0 0.0 0.0 1.0 0w");
}

// ---- each ----
V inc(V x) {
  V r = add(x, ai(1));
  mr(x);
  return r;
}
V bad(V x) {  // fails on the symbol a
  if (tp(x) == tSYMA) return et(x);
  return inc(x);
}

struct Each : Ari {};

TEST_F(Each, Monadic) {
  EXPECT_EQ(ks(e1f(inc, Lst({Z(1), Fl(2.5)}))), "(2;3.5)");
  EXPECT_EQ(ks(e1f(inc, Lst({Z(1), Z(2)}))), "2 3");  // squeezed
  EXPECT_EQ(ks(e1f(inc, aE(0, 3))), "1 2 3");
  V big = e1f(inc, L64({WJ - 1, 1}));
  EXPECT_EQ(ks(big), "9223372036854775807 2");
  EXPECT_EQ(ks(e1f(inc, D(Sv({"a", "b"}), L64({1, 2})))), "`a`b!2 3");
  EXPECT_EQ(ks(e1f(inc, T1("v", L64({1, 2})))), "+(,`v)!,2 3");
  EXPECT_EQ(ks(e1f(inc, Fv({1, 2}))), "2.0 3.0");
  EXPECT_EQ(ks(e1f(inc, Z(1))), "2");
  // Empty arguments: the typed empty of the function's result.
  V e = e1f(inc, an(0, tLONG));
  EXPECT_EQ(tp(e), tLONG);
  EXPECT_EQ(nx(e), 0u);
  mr(e);
  e = e1f(inc, an(0, tFLT));
  EXPECT_EQ(tp(e), tFLT);
  mr(e);
  EXPECT_EQ(ks(e1f(inc, aA0(0))), "()");
  // A failure half way releases what was built.
  EXPECT_EQ(ks(e1f(bad, Lst({Z(1), S("a"), Z(3)}))), "'type");
  V l = Lst({Z(1), S("a"), L64({1})});
  EXPECT_EQ(ks(e1f(bad, _r(l))), "'type");
  EXPECT_EQ(ks(l), "(1;`a;,1)");  // a shared list is not written
}

TEST_F(Each, AnyFunction) {
  V f = evn("{x*2}", nullptr, 0);
  ASSERT_TRUE(f) << etext();
  EXPECT_EQ(ks(e1(f, Lst({Z(1), Fl(1.5)}))), "(2;3.0)");
  EXPECT_EQ(ks(e1(f, aE(0, 3))), "0 2 4");
  EXPECT_EQ(ks(e1(f, aA0(0))), "()");  // never called
  EXPECT_EQ(ks(e1(f, an(0, tLONG))), "()");
  EXPECT_EQ(ks(e1(f, D(Sv({"a"}), L64({4})))), "(,`a)!,8");
  EXPECT_EQ(ks(e1(mp1(12), L64({1, 2}))), "(,1;,2)");  // a primitive through its slot
  // Each of a lambda over more than 15 items of a general list: without
  // the modules `qew` is undefined and the plain each runs.
  for (U n : {15u, 16u, 40u}) {
    V y = an(n, tLIST);
    for (U i = 0; i < n; i++) PA(y)[i] = i & 1 ? af((F)i) : ai((I)i);
    eclr();
    V r = ech2(f, y);
    ASSERT_TRUE(r) << n << " " << etext();
    EXPECT_EQ(nx(r), n);
    EXPECT_EQ(ks(ii(r, n - 1)), n & 1 ? std::to_string(2 * (n - 1)) : std::to_string(2 * (n - 1)) + ".0");
    EXPECT_EQ(elen(), 0u);
    mr(r);
  }
  mr(f);
}

TEST_F(Each, Dyadic) {
  V f = evn("{x+y}", nullptr, 0);
  ASSERT_TRUE(f) << etext();
  EXPECT_EQ(ks(e2(f, L64({1, 2}), L64({10, 20}))), "11 22");
  EXPECT_EQ(ks(e2(f, L64({1, 2}), L64({10}))), "'length");
  EXPECT_EQ(ks(e2(f, Z(1), L64({10, 20}))), "11 21");
  EXPECT_EQ(ks(e2(f, L64({1, 2}), Z(5))), "6 7");
  EXPECT_EQ(ks(e2(f, an(0, tLONG), an(0, tLONG))), "()");
  EXPECT_EQ(ks(e2(f, Lst({Z(1), L64({1, 2})}), Lst({Fl(0.5), Z(1)}))), "(1.5;2 3)");
  // A sole-owned y whose items move into the calls, failing half way.
  V x = L64({1, 2, 3});
  EXPECT_EQ(ks(e2(f, x, Lst({Z(1), S("a"), L64({1, 2, 3})}))), "'type");
  EXPECT_EQ(ks(e2(f, x, Lst({Z(1), L64({1}), Fl(2)}))), "(2;,3;5.0)");
  mr(x);
  // Each-left and each-right.
  EXPECT_EQ(ks(l2(f, L64({1, 2}), L64({10, 20}))), "(11 21;12 22)");
  EXPECT_EQ(ks(r2(f, L64({1, 2}), L64({10, 20}))), "(11 12;21 22)");
  EXPECT_EQ(ks(l2(f, D(Sv({"a", "b"}), L64({1, 2})), Z(10))), "`a`b!11 12");
  EXPECT_EQ(ks(r2(f, Z(10), D(Sv({"a", "b"}), L64({1, 2})))), "`a`b!11 12");
  EXPECT_EQ(ks(l2(f, an(0, tLONG), Z(10))), "()");
  EXPECT_EQ(ks(l2f(add, L64({1, 2}), L64({10, 20}))), "(11 21;12 22)");
  EXPECT_EQ(ks(r2f(add, L64({1, 2}), L64({10, 20}))), "(11 12;21 22)");
  EXPECT_EQ(ks(l2f(add, Lst({}), Z(1))), "()");
  V e = r2f(add, Z(1), an(0, tLONG));
  EXPECT_EQ(tp(e), tLONG);
  mr(e);
  // A dyadic primitive goes through its kernel.
  EXPECT_EQ(ks(e2(mp2(1), L64({1, 2}), L64({10, 20}))), "11 22");
  mr(f);
}

TEST_F(Each, Nadic) {
  V f = evn("{x+y+z}", nullptr, 0);
  ASSERT_TRUE(f) << etext();
  V a[3] = {Z(1), Z(2), Z(3)};
  EXPECT_EQ(ks(e8(f, a, 3)), "6");
  V b[3] = {L64({1, 2}), Lst({Z(10), Fl(20)}), al(100)};
  EXPECT_EQ(ks(e8(f, b, 3)), "(111;122.0)");
  V c[3] = {L64({1, 2}), L64({1}), Z(0)};
  EXPECT_EQ(ks(e8(f, c, 3)), "'length");
  V d[3] = {an(0, tLONG), aA0(0), Z(0)};
  EXPECT_EQ(ks(e8(f, d, 3)), "()");
  V g[3] = {an(0, tLONG), aA0(0), Z(0)};
  V r = e8(mp1(14), g, 3);
  EXPECT_EQ(tp(r), tBYTE);
  EXPECT_EQ(nx(r), 0u);
  mr(r);
  V h[3] = {Lst({Z(1), Z(2)}), Lst({S("a"), Z(2)}), Z(0)};
  EXPECT_EQ(ks(e8(f, h, 3)), "'type");
  V w[3] = {Z(1), L64({1, 2}), aE(0, 3)};
  EXPECT_EQ(cfm(w, 3), -2);
  EXPECT_EQ(cfm(w, 1), -1);
  EXPECT_EQ(cfm(w + 1, 1), 2);
  mrn(3, w);
  mr(f);
}

TEST_F(Each, AtomicExtension) {
  EXPECT_EQ(ks(e2f(add, Z(1), Lst({Z(1), L64({1, 2})}))), "(2;2 3)");
  EXPECT_EQ(ks(e2f(add, Lst({}), Lst({}))), "()");
  EXPECT_EQ(ks(e2f(add, an(0, tLONG), an(0, tLONG))), "!0");
  EXPECT_EQ(ks(e2f(add, L64({1}), L64({1, 2}))), "'length");
  EXPECT_EQ(ks(e2f(add, D(Sv({"a"}), L64({1})), Lst({Z(1)}))), "(,`a)!,2");
}

// Each with dict arguments unites the keys; a missing key takes the seed.
TEST_F(Each, DictArguments) {
  auto d1 = [] { return D(Sv({"a", "b"}), L64({1, 2})); };
  auto d2 = [] { return D(Sv({"b", "c"}), L64({10, 20})); };
  V a[2] = {d1(), d2()};
  EXPECT_EQ(ks(em(mp2(1), a, 2)), "`a`b`c!1 12 20");
  V f = evn("{x+y}", nullptr, 0);
  ASSERT_TRUE(f) << etext();
  V x = d1();
  EXPECT_EQ(ks(e2(f, x, d1())), "`a`b!2 4");
  V b[2] = {d1(), D(L64({1}), L64({1}))};
  EXPECT_EQ(ks(em(f, b, 2)), "'domain");
  V c[3] = {d1(), Z(1), d1()};
  V g = evn("{x+y*z}", nullptr, 0);
  EXPECT_EQ(ks(e8(g, c, 3)), "`a`b!2 4");
  mr(x), mr(f), mr(g);
}

// Free bytes on this thread's free lists: a forgotten release shows as
// fewer, a double release as more.
// Every path, succeeding or failing half way, releases exactly what it owns.
TEST_F(Each, NothingLeaks) {
  V f = evn("{x+y}", nullptr, 0), g = evn("{x+y+z}", nullptr, 0);
  ASSERT_TRUE(f && g);
  auto kt = [](std::initializer_list<const char *> k, std::initializer_list<J> v) {
    return am(T1("k", Sv(k)), T1("v", vec(tLONG, v)));
  };
  std::vector<std::function<void()>> paths = {
      [] { V x = L64({1, 2}); mr(add(x, Fv({1, 2}))); mr(x); },
      [] { V x = G8({1, 2}); mr(ltu(x, Fv({1, 0}))); mr(x); },
      [] { V x = L64({1, 2}); ks(add(x, L64({1}))); mr(x); },
      [] { V x = Fv({1, 2}); ks(mnu(x, S("a"))); mr(x); },
      [] { V x = D(Sv({"a", "b"}), L64({1, 2})); mr(sub(x, D(Sv({"b", "c"}), L64({1, 2})))); mr(x); },
      [] { V x = D(Sv({"a", "b"}), L64({1, 2})); mr(ltu(x, D(Sv({"b", "c"}), L64({1, 2})))); mr(x); },
      [] { V x = D(Sv({"a", "b"}), L64({1, 2})); ks(add(x, D(Sv({"b"}), Lst({S("q")})))); mr(x); },
      [kt] { V x = kt({"a", "b"}, {1, 2}); mr(add(x, kt({"b", "c"}, {1, 2}))); mr(x); },
      [kt] { V x = kt({"a", "b"}, {1, 2}); ks(ltu(x, kt({"b", "c"}, {1, 2}))); mr(x); },
      [] { V x = Lst({Z(1), L64({1, 2})}); mr(mul(x, Lst({Fl(2), Z(3)}))); mr(x); },
      [] { V x = Lst({Z(1), S("a"), Z(3)}); ks(add(x, Z(1))); mr(x); },
      [] { V x = Sv({"a", "b"}); mr(ltu(x, S("b"))); mr(x); },
      [] { V x = an(2, tDATE); PI(x)[0] = 1, PI(x)[1] = 2; mr(add(x, Z(1))); ks(add(x, Fl(1))); mr(x); },
      [] { ks(e1f(bad, Lst({Z(1), S("a"), L64({3})}))); },
      [f] { V x = L64({1, 2, 3}); ks(e2(f, x, Lst({Z(1), S("a"), L64({1, 2, 3})}))); mr(x); },
      [f] { V x = L64({1, 2, 3}); mr(e2(f, x, Lst({Z(1), Fl(2), L64({1, 2, 3})}))); mr(x); },
      [g] { V a[3] = {Lst({Z(1), Z(2)}), Lst({S("a"), Z(2)}), L64({1, 2})}; ks(e8(g, a, 3)); },
      [g] { V a[3] = {Lst({Z(1), Z(2)}), Fl(1), L64({1, 2})}; mr(e8(g, a, 3)); },
      [f] { V a[2] = {D(Sv({"a", "b"}), L64({1, 2})), D(Sv({"a", "b"}), L64({3, 4}))}; mr(em(f, a, 2)); },
      [] { V a[2] = {D(Sv({"a", "b"}), L64({1, 2})), D(Sv({"c"}), L64({3}))}; mr(em(mp2(1), a, 2)); },
      [] { V a[2] = {D(Sv({"a"}), L64({1})), D(L64({1}), L64({3}))}; ks(em(mp2(1), a, 2)); },
      [f] { V x = L64({1, 2}); mr(l2(f, x, L64({1, 2}))); mr(r2(f, x, L64({1, 2}))); mr(x); },
  };
  for (size_t i = 0; i < paths.size(); i++) {
    paths[i]();
    paths[i]();
    UJ a = freebytes();
    paths[i]();
    EXPECT_EQ(freebytes(), a) << "path " << i;
  }
  mr(f), mr(g);
}

TEST(Ari_, Services) {
  boot_once();
  EXPECT_EQ(ks(unq(L64({3, 1, 3, 2, 1}))), "3 1 2");
  EXPECT_EQ(ks(unq(Lst({L64({1}), Z(1), L64({1})}))), "(,1;1)");
  V k = Sv({"a", "b", "c"});
  EXPECT_EQ(ks(fnd(k, Sv({"c", "z", "a"}))), "2 0N 0");
  mr(k);
  V l = G8({5, 6});
  EXPECT_EQ(ks(fnd(l, L64({6, 7}))), "1 0N");
  mr(l);
  V dd = D(Sv({"a", "b"}), L64({1, 2}));
  EXPECT_EQ(ks(i1(dd, Sv({"b", "q"}))), "2 0N");
  EXPECT_EQ(ks(i1(dd, S("a"))), "1");
  mr(dd);
  V v = G8({5, 6});
  EXPECT_EQ(ks(i1(v, L64({1, 5, 0}))), "6 0N 5");
  mr(v);
  V a = as(us("alpha")), b = as(us("beta"));
  EXPECT_LT(qA(a, b), 0);
  EXPECT_GT(qA(b, a), 0);
  EXPECT_EQ(qA(a, a), 0);
  // Temporal result types and atoms.
  EXPECT_EQ(trk(tDATEA, tDATEA, 2), tINTA);
  EXPECT_EQ(trk(tTSTAMPA, tTSTAMPA, 2), tTSPANA);
  EXPECT_EQ(trk(tDATEA, tTSPANA, 1), tTSTAMPA);
  EXPECT_EQ(trk(tTIMEA, tTSPANA, 1), tTSPANA);
  EXPECT_EQ(trk(tDATEA, tTIMEA, 6), 0);
  EXPECT_EQ(ks(tmk(tDATEA, NJ)), "0Nd");
  EXPECT_EQ(ks(tmk(tDATEA, (J)1 << 31)), "'limit");
  EXPECT_EQ(ks(tmk(tINTA, (J)1 << 40)), "1099511627776");
}

}  // namespace
