// Unit tests of normalisation: ranges to vectors, narrowing, lists of
// atoms to vectors, lists of dicts to tables, values to lists; and the few
// list, cast and match services they rest on.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include <vector>
#include "core/err.h"
#include "core/sym.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "testutil.h"

using namespace zk;

namespace {
struct Sqz : ::testing::Test {
  void SetUp() override { boot_once(); }
};

using zkt::emptyl;
using zkt::etext;

// Item i of an integer vector, widened.
J item(V x, U i) {
  switch (tp(x)) {
    case tBYTE: return P<int8_t>(x)[i];
    case tSHORT: return P<int16_t>(x)[i];
    case tINT: return PI(x)[i];
    default: return PL(x)[i];
  }
}

V longs(std::initializer_list<J> v) {
  V x = aL((U)v.size());
  U i = 0;
  for (J e : v) PL(x)[i++] = e;
  return x;
}

V list(std::initializer_list<V> v) {
  V x = an((U)v.size(), tLIST);
  U i = 0;
  for (V e : v) PA(x)[i++] = e;
  return x;
}

V dict(std::initializer_list<const char *> k, V vals) {
  V ks = an((U)k.size(), tSYM);
  U i = 0;
  for (const char *s : k) PI(ks)[i++] = us(s);
  return am(ks, vals);
}

V boxed(int t, J v) {
  V x = an(1, t);
  PL(x)[0] = v;
  return x;
}

}  // namespace

TEST_F(Sqz, RangesMaterialiseAtTheNarrowestWidth) {
  struct Row {
    J a, e;
    int t;
  } rows[] = {
      {0, 300, tSHORT},
      {0, 100, tBYTE},
      {100000, 100002, tINT},
      {-5, 5, tBYTE},  // built as longs, then narrowed
      {0, 128, tBYTE},
      {0, 129, tSHORT},
      {127, 129, tSHORT},
      {-200, -100, tSHORT},
      {-40000, 3, tINT},
      {32760, 32768, tSHORT},
      {32760, 32769, tINT},
      {2147483640, 2147483648, tINT},
      {2147483640, 2147483649, tLONG},
      {(J)1 << 40, ((J)1 << 40) + 67, tLONG},
      {-((J)1 << 40), -((J)1 << 40) + 5, tLONG},
      {INT64_MAX - 9, INT64_MAX, tLONG},
      {INT64_MIN, INT64_MIN + 3, tLONG},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.a);
    V v = gZ(aE(r.a, r.e));
    ASSERT_NE(v, 0u);
    EXPECT_EQ(tp(v), r.t);
    ASSERT_EQ((J)nx(v), r.e - r.a);
    for (U i = 0; i < nx(v); i++) ASSERT_EQ(item(v, i), r.a + (J)i);
    mr(v);
  }
  // Every length from 1 to 300 at each width, so the 32-byte block fill is
  // seen ending at every offset; the padding must stay inside the object.
  for (J base : {(J)0, (J)200, (J)40000, (J)3000000000LL})
    for (J n = 1; n <= 300; n++) {
      V v = gZ(aE(base, base + n));
      ASSERT_EQ((J)nx(v), n);
      for (U i = 0; i < nx(v); i++) ASSERT_EQ(item(v, i), base + (J)i);
      mr(v);
    }
}

TEST_F(Sqz, RangesOf2To32ItemsFailWithLimit) {
  // The count is 32 bits: such a range must not come out truncated.
  for (J a : {(J)0, (J)5, (J)-7})
    for (J n : {(J)1 << 32, ((J)1 << 32) + 3, (J)1 << 40}) {
      EXPECT_EQ(gZ(aE(a, a + n)), 0u);
      EXPECT_EQ(etext(), "'limit\n");
      EXPECT_EQ(blw(aE(a, a + n)), 0u);
      EXPECT_EQ(etext(), "'limit\n");
    }
}

TEST_F(Sqz, NarrowingIntegerVectors) {
  struct Row {
    V in;
    int t;
    bool same;  // the argument itself comes back
  } rows[] = {
      {longs({1, 2, 3}), tBYTE, false},
      {longs({1, 2, 40000}), tINT, false},
      {longs({1, 2, 3000000000LL}), tLONG, true},
      {longs({-128, 127}), tBYTE, false},
      {longs({-129, 5}), tSHORT, false},
      {longs({INT32_MIN, INT32_MAX}), tINT, false},
      {longs({(J)INT32_MIN - 1}), tLONG, true},
      {longs({NJ}), tLONG, true},
      {longs({}), tBYTE, false},  // empty narrows all the way
  };
  for (const Row &r : rows) {
    std::vector<J> want;
    for (U i = 0; i < nx(r.in); i++) want.push_back(PL(r.in)[i]);
    V in = r.in;
    V v = sqzZ(in);
    EXPECT_EQ(tp(v), r.t);
    if (r.same) {
      EXPECT_EQ(v, in);
    }
    ASSERT_EQ(nx(v), want.size());
    for (U i = 0; i < nx(v); i++) EXPECT_EQ(item(v, i), want[i]);
    mr(v);
  }
  // Non-integer vectors, and bytes, come back untouched.
  for (int t : {tBYTE, tBOOL, tFLT, tCHR, tSYM, tDATE}) {
    V x = an(3, t);
    memset(P(x), 0, 64);
    EXPECT_EQ(sqzZ(x), x);
    mr(x);
  }
  V s = an(2, tSHORT);
  P<int16_t>(s)[0] = -3, P<int16_t>(s)[1] = 100;
  V b = sqzZ(s);
  EXPECT_EQ(tp(b), tBYTE);
  EXPECT_EQ(item(b, 0), -3);
  mr(b);
}

TEST_F(Sqz, ListsOfAtoms) {
  I ab = us("ab");
  V dt = imm(tDATEA, 7), dtn = imm(tDATEA, 0x80000000u);
  struct Row {
    V in;
    int t;  // 0: the list itself comes back
  } rows[] = {
      {list({ai(1), ai(200)}), tSHORT},
      {list({ai(1), ai(2)}), tBYTE},
      {list({ai(-1), ai(127)}), tBYTE},
      {list({ai(-129), ai(0)}), tSHORT},
      {list({ai(32768)}), tINT},
      {list({ai(1), ai(2), al(3)}), tLONG},  // one boxed long: longs, not narrowed
      {list({al(1)}), tLONG},
      {list({af(1.5), af(NAN)}), tFLT},
      {list({ac('a'), ac((char)0xE9)}), tCHR},
      {list({as(ab), as(0)}), tSYM},
      {list({dt, dtn}), tDATE},
      {list({boxed(tTSTAMPA, 5), boxed(tTSTAMPA, NJ)}), tTSTAMP},
      {list({imm(tMONTHA, 3), imm(tMINUTEA, 3)}), 0},  // two temporal kinds
      {list({as(ab), ac('a')}), 0},
      {list({ai(1), af(2)}), 0},
      {list({af(2), ai(1)}), 0},
      {list({ai(1), GNULL}), 0},
      {list({GNULL, GNULL}), 0},  // functions never pack
      {list({aCz("ab"), aCz("cd")}), 0},
  };
  for (const Row &r : rows) {
    V l = _r(r.in);  // keep one reference to compare against
    V v = sqz(l);
    if (!r.t) {
      EXPECT_EQ(v, r.in);
      mr(v);
    } else {
      EXPECT_EQ(tp(v), r.t);
      ASSERT_EQ(nx(v), nx(r.in));
      for (U i = 0; i < nx(v); i++) {
        V a = ii(v, i), b = PA(r.in)[i];
        EXPECT_TRUE(mtc_(a, b)) << "item " << i;
        mr(a);
      }
      mr(v);
    }
    mr(r.in);
  }
}

TEST_F(Sqz, EmptyListsByPrototype) {
  struct Row {
    V proto;
    int t;  // 0: unchanged
  } rows[] = {
      {_r(cn[tFLTA]), tFLT},         {ac(' '), tCHR},          {as(0), tSYM},
      {ai(0), tBYTE},                {_r(cn[tLONGA]), tBYTE},  {imm(tDATEA, 0), tDATE},
      {_r(cn[tTSPANA]), tTSPAN},     {_r(ce[tCHR]), 0},        {GNULL, 0},
      {_r(ce[tDICT]), 0},
  };
  for (const Row &r : rows) {
    V l = emptyl(r.proto);
    V v = sqz(l);
    if (!r.t) { EXPECT_EQ(v, l); }
    else {
      EXPECT_EQ(tp(v), r.t);
      EXPECT_EQ(nx(v), 0u);
    }
    mr(v);
  }
}

TEST_F(Sqz, ListsOfDictsBecomeTables) {
  V d1 = dict({"a", "b"}, list({ai(1), as(us("x"))}));
  V d2 = dict({"a", "b"}, list({ai(300), as(us("y"))}));
  V t = sqz(list({d1, d2}));
  ASSERT_EQ(tp(t), tTABLE);
  EXPECT_EQ(_n(t), 2);
  V names = PA(t)[0], cols = PA(t)[1];
  ASSERT_EQ(nx(names), 2u);
  EXPECT_STREQ(su(PI(names)[0]), "a");
  EXPECT_STREQ(su(PI(names)[1]), "b");
  V a = PA(cols)[0], b = PA(cols)[1];
  EXPECT_TRUE(tp(a) >= tBYTE && tp(a) <= tLONG);
  EXPECT_EQ(item(a, 0), 1);
  EXPECT_EQ(item(a, 1), 300);
  ASSERT_EQ(tp(b), tSYM);
  EXPECT_STREQ(su(PI(b)[1]), "y");
  // Row 1 back as a dict equal to d2.
  V r1 = ii(t, 1);
  V d2b = dict({"a", "b"}, list({ai(300), as(us("y"))}));
  EXPECT_TRUE(mtc_(PA(r1)[0], PA(d2b)[0]));
  V rv = blw(_r(PA(r1)[1])), wv = PA(d2b)[1];
  EXPECT_TRUE(mtc_(rv, wv));
  mr(rv), mr(r1), mr(d2b), mr(t);

  // Values that are vectors make a column of lists.
  V e1 = dict({"k"}, list({longs({1, 2})})), e2 = dict({"k"}, list({longs({3})}));
  V u = sqz(list({e1, e2}));
  ASSERT_EQ(tp(u), tTABLE);
  V kc = PA(PA(u)[1])[0];
  EXPECT_EQ(tp(kc), tLIST);
  EXPECT_EQ(nx(kc), 2u);
  mr(u);

  // Lists that stay lists.
  struct Row {
    V in;
  } rows[] = {
      {list({dict({"a", "b"}, longs({1, 2})), dict({"a", "c"}, longs({1, 2}))})},  // other keys
      {list({dict({"a", "b"}, longs({1, 2})), dict({"b", "a"}, longs({1, 2}))})},  // other order
      {list({dict({"a"}, longs({1})), ai(3)})},
      {list({am(longs({1, 2}), longs({3, 4})), am(longs({1, 2}), longs({5, 6}))})},  // no names
      {list({_r(ce[tDICT]), _r(ce[tDICT])})},
  };
  for (const Row &r : rows) {
    V v = sqz(r.in);
    EXPECT_EQ(v, r.in);
    mr(v);
  }
}

TEST_F(Sqz, ValuesToLists) {
  // Empty vectors keep their kind in the prototype.
  struct Row {
    int t;
    V null;
  } empties[] = {
      {tFLT, cn[tFLTA]}, {tCHR, cn[tCHRA]}, {tSYM, cn[tSYMA]}, {tLONG, cn[tLONGA]},
      {tBYTE, cn[tLONGA]}, {tDATE, cn[tDATEA]}, {tTSTAMP, cn[tTSTAMPA]},
  };
  for (const Row &r : empties) {
    V l = blw(an(0, r.t));
    ASSERT_EQ(tp(l), tLIST);
    EXPECT_EQ(nx(l), 0u);
    EXPECT_TRUE(mtc_(PA(l)[0], r.null)) << r.t;
    V back = sqz(l);  // and the prototype brings the kind back
    EXPECT_EQ(tp(back) >= tBYTE && tp(back) <= tLONG ? tBYTE : tp(back),
              r.t >= tBYTE && r.t <= tLONG ? tBYTE : r.t);
    mr(back);
  }
  // Non-empty vectors round-trip through blw and sqz.
  V f = an(3, tFLT);
  PF(f)[0] = 1.5, PF(f)[1] = NAN, PF(f)[2] = -0.0;
  V ts = an(2, tTSTAMP);
  PL(ts)[0] = 1, PL(ts)[1] = NJ;
  V sy = an(2, tSYM);
  PI(sy)[0] = us("symtest_blw_long"), PI(sy)[1] = us("s");
  for (V x : {f, ts, sy, longs({5, -6, 70000}), gZ(aE(-3, 4)), aCz("hey")}) {
    V l = blw(_r(x));
    ASSERT_EQ(tp(l), tLIST);
    EXPECT_EQ(nx(l), nx(x));
    V back = sqz(l);
    EXPECT_TRUE(mtc_(back, x));
    mr(back), mr(x);
  }
  // Bits become int atoms; a range its consecutive integers.
  V bits = an(10, tBOOL);
  P(bits)[0] = 0x05, P(bits)[1] = 0x02;  // 1 0 1 0 0 0 0 0 0 1
  V bl = blw(bits);
  ASSERT_EQ(nx(bl), 10u);
  EXPECT_EQ(PA(bl)[0], ai(1));
  EXPECT_EQ(PA(bl)[1], ai(0));
  EXPECT_EQ(PA(bl)[9], ai(1));
  mr(bl);
  V rl = blw(aE(3, 7));
  ASSERT_EQ(nx(rl), 4u);
  EXPECT_EQ(PA(rl)[3], ai(6));
  mr(rl);
  // Atoms and functions become one-item lists; a list is itself.
  V one = blw(ai(4));
  EXPECT_EQ(nx(one), 1u);
  EXPECT_EQ(PA(one)[0], ai(4));
  mr(one);
  V l2 = list({ai(1), aCz("x")});
  EXPECT_EQ(blw(l2), l2);
  mr(l2);
  // A table gives its rows.
  V t = sqz(list({dict({"a"}, list({ai(1)})), dict({"a"}, list({ai(2)}))}));
  V rows = blw(t);
  ASSERT_EQ(nx(rows), 2u);
  EXPECT_EQ(tp(PA(rows)[1]), tDICT);
  mr(rows);
  // A dict has no list form.
  EXPECT_EQ(blw(dict({"a"}, longs({1}))), 0u);
  EXPECT_EQ(etext(), "'type\n");
}

TEST_F(Sqz, ServicesUnderneath) {
  // psh widens integer vectors instead of giving up on them.
  V v = sqzZ(longs({1, 2}));
  ASSERT_EQ(tp(v), tBYTE);
  v = psh(v, ai(1000));
  EXPECT_EQ(tp(v), tSHORT);
  v = psh(v, al(5000000000LL));
  EXPECT_EQ(tp(v), tLONG);
  EXPECT_EQ(item(v, 0), 1);
  EXPECT_EQ(item(v, 2), 1000);
  EXPECT_EQ(item(v, 3), 5000000000LL);
  v = psh(v, af(1.5));  // a float among integers: a general list
  EXPECT_EQ(tp(v), tLIST);
  EXPECT_EQ(nx(v), 5u);
  mr(v);
  // Appending to a shared vector leaves the original alone.
  V s = longs({1, 2});
  V s2 = psh(_r(s), al(3));
  EXPECT_NE(s2, s);
  EXPECT_EQ(nx(s), 2u);
  EXPECT_EQ(nx(s2), 3u);
  mr(s), mr(s2);
  // Bits: 0 and 1 stay bits, 2 widens.
  V b = an(1, tBOOL);
  P(b)[0] = 1;
  for (int i = 0; i < 9; i++) b = psh(b, ai(i & 1));
  EXPECT_EQ(tp(b), tBOOL);
  EXPECT_EQ(nx(b), 10u);
  EXPECT_EQ(P(b)[1] & 3, 1);  // items 8 and 9, least significant bit first
  b = psh(b, ai(2));
  EXPECT_EQ(tp(b), tBYTE);
  J want[11] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 2};
  for (U i = 0; i < 11; i++) EXPECT_EQ(item(b, i), want[i]);
  mr(b);

  // drp from either end; a list that ends up all atoms of one kind is squeezed.
  V l = list({aCz("x"), ai(1), ai(2)});
  V d = drp(1, l);
  EXPECT_EQ(tp(d), tBYTE);
  EXPECT_EQ(nx(d), 2u);
  mr(d);
  V l2 = list({aCz("x"), ai(1), ai(2)});
  V keep = _r(l2);  // shared: copied, and squeezed just the same
  d = drp(1, l2);
  EXPECT_EQ(tp(d), tBYTE);
  EXPECT_EQ(nx(keep), 3u);
  mr(d), mr(keep);
  V sy = an(3, tSYM);
  PI(sy)[0] = us("a"), PI(sy)[1] = us("b"), PI(sy)[2] = us("c");
  d = drp(-1, sy);
  EXPECT_EQ(nx(d), 2u);
  EXPECT_EQ(PI(d)[1], us("b"));
  d = drp(-5, d);
  EXPECT_EQ(tp(d), tSYM);
  EXPECT_EQ(nx(d), 0u);
  mr(d);

  // jc joins names with a character.
  V parts = list({aCz("ab"), aCz(""), aCz("c")});
  V j = jc('.', parts);
  EXPECT_EQ(std::string(PC(j), nx(j)), "ab..c");
  mr(j);
  j = jc('.', aA0(0));
  EXPECT_EQ(tp(j), tCHR);
  EXPECT_EQ(nx(j), 0u);
  mr(j);
  EXPECT_EQ(jc('.', list({aCz("a"), ai(1)})), 0u);
  EXPECT_EQ(etext(), "'type\n");

  // ct: a char vector to its symbol; narrowing keeps low bits.
  V sym = ct(tSYM, aCz("symtest_ct_name"));
  EXPECT_EQ(sym, as(us("symtest_ct_name")));
  V iv = an(2, tINT);
  PI(iv)[0] = 0x1234, PI(iv)[1] = -1;
  V cv = ct(tCHR, iv);
  EXPECT_EQ(tp(cv), tCHR);
  EXPECT_EQ((G)PC(cv)[0], 0x34);
  EXPECT_EQ((G)PC(cv)[1], 0xFF);
  mr(cv);
  V fl = ct(tFLT, longs({NJ, 3}));
  EXPECT_TRUE(std::isnan(PF(fl)[0]));
  EXPECT_EQ(PF(fl)[1], 3.0);
  mr(fl);
  fl = ct(tFLT, list({ai(1), al(NJ)}));  // item by item, collected as floats
  ASSERT_EQ(tp(fl), tFLT);
  EXPECT_EQ(PF(fl)[0], 1.0);
  EXPECT_TRUE(std::isnan(PF(fl)[1]));
  mr(fl);

  // mtc_: integers across widths, NaN equal to NaN, -0.0 equal to 0.0.
  V b8 = sqzZ(longs({1, 2}));
  V l8 = longs({1, 2});
  EXPECT_TRUE(mtc_(b8, l8));
  V r8 = aE(1, 3);
  EXPECT_TRUE(mtc_(r8, l8));
  V n1 = af(NAN), n2 = af(-NAN), z1 = af(0.0), z2 = af(-0.0), l5 = al(5), f1 = af(1);
  EXPECT_TRUE(mtc_(ai(5), l5));
  EXPECT_TRUE(mtc_(n1, n2));
  EXPECT_TRUE(mtc_(z1, z2));
  EXPECT_FALSE(mtc_(ai(1), f1));
  mr(l5), mr(f1);
  EXPECT_TRUE(mtc_(as(us("ab")) | (V)7 << 32, as(us("ab"))));  // a parse tree's column is not the value
  mr(b8), mr(l8), mr(r8), mr(n1), mr(n2), mr(z1), mr(z2);
}
