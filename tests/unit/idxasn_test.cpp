// idxasn_test.cpp: indexed assignment against the `.` amend on random
// nested values (lists, dicts, tables, keyed tables) and paths, plain and
// with an operator, on locals and globals: a success gives what `.` gives
// on a copy; a failure leaves the global as it was (deep compare,
// reference count, attribute byte) and every byte it took back on the
// free lists.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "eval/tables.h"
#include "list/amend/ix.h"
#include "list/list.h"
#include "order/order.h"
#include "vmutil.h"

using namespace zk;
using zk::vmt::ev;

namespace {

struct Gen {
  std::mt19937 g;
  explicit Gen(unsigned s) : g(s) {}
  int r(int n) { return (int)(g() % (unsigned)n); }
  std::string ivec(int n) {
    std::string s;
    for (int k = 0; k < n; k++) s += (k ? " " : "") + std::to_string(r(9));
    return n == 1 ? "," + s : s;
  }
  std::string atom() {
    switch (r(3)) {
      case 0: return std::to_string(r(9));
      case 1: return "`x";
      default: return "1.5";
    }
  }
  std::string val(int depth) {
    int k = depth ? r(6) : 0;
    switch (k) {
      case 0: return ivec(2 + r(3));
      case 1: {
        std::string s = "(";
        for (int j = 0, m = 2 + r(2); j < m; j++) s += (j ? ";" : "") + (r(4) ? val(depth - 1) : atom());
        return s + ")";
      }
      case 2: {
        int m = 2 + r(2);
        std::string s = std::string("`a`b`c").substr(0, 2 * m) + "!(";
        for (int j = 0; j < m; j++) s += (j ? ";" : "") + val(depth - 1);
        return s + ")";
      }
      case 3: return "+`a`b!(" + ivec(3) + ";" + (r(2) ? ivec(3) : "(1;`x;2.5)") + ")";
      case 4: return "(+(,`k)!,1 2 3)!+`a`b!(" + ivec(3) + ";" + ivec(3) + ")";
      default: return "(" + val(depth - 1) + ";" + val(depth - 1) + ")";
    }
  }
  std::string idx() {
    switch (r(7)) {
      case 0: case 1: return std::to_string(r(4));
      case 2: return "`a";
      case 3: return r(2) ? "`b" : "`z";
      case 4: return "0 1";
      case 5: return r(3) ? "::" : "-1";
      default: return "`a`b";
    }
  }
  std::string y() {
    switch (r(5)) {
      case 0: case 1: return std::to_string(r(9));
      case 2: return "7 8";
      case 3: return "7 8 9";
      default: return "`s";
    }
  }
};

U gslot(const char *nm) {
  I id = us(nm);
  V n = aV(tSYM, 1, &id);
  U s = gi(n);
  mr(n);
  return s;
}

TEST(IdxAsn, AgreesWithDotAmendAndFailsCleanly) {
  vmt::boot();
  Gen gen(29);
  U s = gslot("g");
  int ok = 0, failed = 0;
  for (int it = 0; it < 600; it++) {
    std::string x = gen.val(2), y = gen.y();
    int lv = 1 + gen.r(3);
    std::string ix, path = lv == 1 ? "(," : "(";
    for (int l = 0; l < lv; l++) {
      std::string i = gen.idx();
      if (lv == 1 && i == "::") i = "0";
      ix += (l ? ";" : "") + i;
      path += (l ? ";" : "") + i;
    }
    path += ")";
    bool op = gen.r(3) == 0;
    std::string as = op ? "+:" : ":", f = op ? "+" : ":";
    std::string stmt = "g[" + ix + "]" + as + y;
    std::string oracle = ".[" + x + ";" + path + ";" + f + ";" + y + "]";
    std::string ctx = "g:" + x + "; " + stmt + "  vs  " + oracle;
    V set = ev(("g:" + x).c_str());
    ASSERT_TRUE(set) << ctx << "\n" << vmt::etext();
    mr(set);
    V was = ev(x.c_str());
    G attr = hd(gv[s])->attr;
    V r = ev(stmt.c_str());
    V e = ev(oracle.c_str());
    if (r) {
      ok++;
      mr(r);
      EXPECT_TRUE(e) << ctx << "\n" << vmt::etext();
      if (e) { EXPECT_TRUE(mtc_(gv[s], e)) << ctx; }
      // the same on a local
      V l = ev(("{x[" + ix + "]" + as + y + ";x}[" + x + "]").c_str());
      EXPECT_TRUE(l && e && mtc_(l, e)) << "local: " << ctx;
      if (l) mr(l);
    } else {
      failed++;
      EXPECT_TRUE(mtc_(gv[s], was)) << ctx;
      EXPECT_EQ(hd(gv[s])->rc, 1u) << ctx;
      EXPECT_EQ(hd(gv[s])->attr, attr) << ctx;
      EXPECT_EQ(vmt::leak(("g:" + x + ";" + stmt).c_str()), 0u) << ctx;
      V l = ev(("{x[" + ix + "]" + as + y + ";x}[" + x + "]").c_str());
      EXPECT_FALSE(l && e && !mtc_(l, e)) << "local: " << ctx;
      if (l) mr(l);
    }
    if (e) mr(e);
    mr(was);
  }
  // both outcomes are exercised
  EXPECT_GT(ok, 100);
  EXPECT_GT(failed, 100);
}

// A verb that fails part-way through a deep amend of a global leaves the
// global as it was; a local's frame is released without a double free.
TEST(IdxAsn, FailingVerbLeavesTheGlobal) {
  vmt::boot();
  U s = gslot("gw");
  const char *cases[] = {
      "gw[0 1;0],:`a`b",  // succeeds: the reference run
      "gw[0 1;0]+:`a",
      "gw[::;1]+:(1;`a)",
      "gw[`q;0]+:`a",
  };
  for (const char *c : cases) {
    V set = ev("gw:(1 2;3 4)");
    ASSERT_TRUE(set);
    mr(set);
    V r = ev(c);
    if (c == cases[0]) {
      EXPECT_TRUE(r) << c << vmt::etext();
      if (r) mr(r);
      continue;
    }
    EXPECT_FALSE(r) << c;
    V was = ev("(1 2;3 4)");
    EXPECT_TRUE(mtc_(gv[s], was)) << c;
    EXPECT_EQ(hd(gv[s])->rc, 1u) << c;
    mr(was);
    EXPECT_EQ(vmt::leak((std::string("gw:(1 2;3 4);") + c).c_str()), 0u) << c;
  }
  EXPECT_EQ(vmt::leak("{a:(1 2;3 4);a[0 1;0]+:`a}[0]"), 0u);
  EXPECT_EQ(vmt::leak("{a:1 2 3;a[0 1]+:`a}[0]"), 0u);
}

// A global only its cell holds is changed where it is by a store that
// runs no code; one held twice is copied and the other holder keeps it.
TEST(IdxAsn, GlobalsChangeInPlaceWhenSafe) {
  vmt::boot();
  U s = gslot("gp");
  V set = ev("gp:!10");
  ASSERT_TRUE(set);
  mr(set);
  mr(ev("gp[0]:0"));  // the range becomes a vector once
  V at = gv[s];
  const char *stmts[] = {"gp[3]:7", "gp[1 2]:8 9", "gp[4]+:1"};
  for (const char *c : stmts) {
    V r = ev(c);
    ASSERT_TRUE(r) << c << vmt::etext();
    mr(r);
    EXPECT_EQ(gv[s], at) << c;
  }
  V want = ev("0 8 9 7 5 5 6 7 8 9");
  EXPECT_TRUE(mtc_(gv[s], want));
  mr(want);
  V h = ev("gp");
  mr(ev("gp[0]:100"));
  EXPECT_NE(gv[s], h);
  EXPECT_EQ(iti(h, tp(h), 0), 0);
  mr(h);
}

// A table with a sorted column does not take the column fast path, and
// the general route gives the same value.
TEST(IdxAsn, SortedColumnTakesTheGeneralRoute) {
  vmt::boot();
  V t = ev("+`a`c!(1 2 3 4;(5;6;7;8))"), path = ev("(2;`c)");
  ASSERT_TRUE(t && path);
  EXPECT_EQ(tci(t, path), 2);
  V u = ev("+`a`c!(1 2 3 4;(5;6;7;8))");
  hd(PA(PA(u)[1])[0])->attr = 1;  // column a sorted
  EXPECT_EQ(tci(u, path), 0);
  EXPECT_EQ(tcc(u, as(us("c"))), 0);
  V no = ev("(2;`d)");
  EXPECT_EQ(tci(t, no), -1);
  V r1 = d4(t, path, mp2(1), ai(1)), r2 = d4(u, path, mp2(1), ai(1));
  ASSERT_TRUE(r1 && r2) << vmt::etext();
  EXPECT_TRUE(mtc_(r1, r2));
  V want = ev("+`a`c!(1 2 3 4;5 6 8 8)");
  EXPECT_TRUE(mtc_(r1, want));
  EXPECT_EQ(tp(PA(PA(r1)[1])[1]), tp(PA(PA(want)[1])[1]));  // retyped from a general list
  mr(r1), mr(r2), mr(want), mr(path), mr(no);
}

// The planner's proof that an index vector lies in range spares the store
// kernel its own pass.  It covers only the vector it was made for and
// targets at least as long as the one it was checked against, and the
// vector is not held once the store ran or took another route.
TEST(IdxAsn, VouchedIndexesAreStillCheckedElsewhere) {
  vmt::boot();
  V i = ev("5000?5000"), y = ai(1);
  ASSERT_TRUE(i);
  struct {
    V vouch;
    UJ count;
    const char *target;
    const char *want;  // nullptr: 'index
  } cs[] = {
      {i, 5000, "100#0", nullptr},    // vouched for a longer target
      {0, 0, "4999#0", nullptr},      // no voucher: the kernel checks
      {i, 5000, "5000#0", "ok"},      // the voucher's own case
      {i, 4000, "5000#0", "ok"},      // a longer target than vouched for
  };
  for (auto &c : cs) {
    if (c.vouch) ixpv(c.vouch, c.count);
    V a[4] = {ev(c.target), i, mp2(0), y};
    V r = a8(a, 4);
    if (c.want) { EXPECT_TRUE(r) << c.target << vmt::etext(); }
    else EXPECT_EQ(vmt::ename(), "'index") << c.target;
    if (r) mr(r);
    EXPECT_EQ(hd(i)->rc, 1u) << c.target;  // the voucher is spent either way
  }
  // A voucher for one vector says nothing of another at the same count.
  V bad = ev("(4999#0),5000");
  ixpv(i, 5000);
  V a[4] = {ev("5000#0"), bad, mp2(0), y};
  EXPECT_FALSE(a8(a, 4));
  ixpv(0, 0);
  EXPECT_EQ(hd(i)->rc, 1u);
  // Through assignment: the plan vouches, the kernel or the item-by-item
  // route spends or withdraws it, and the global index is held once again.
  U si = gslot("gvi");
  mr(ev("gvi:5000?5000;gvx:5000#0"));
  for (const char *c : {"gvx[gvi]:7", "gvx[gvi]:1.5", "gvx[gvi]:`a"}) {
    V r = ev(c);
    EXPECT_TRUE(r) << c << vmt::etext();
    if (r) mr(r);
    EXPECT_EQ(hd(gv[si])->rc, 1u) << c;
  }
  mr(i), mr(bad), mr(y);
}

// The hazard walk through a table: a name inside a general-list or
// symbol column can lead the amend back to its own global, but only the
// cells the path selects below a (row; column) pair count, unless the
// path is too general to tell.
TEST(IdxAsn, HazardWalkThroughATable) {
  vmt::boot();
  U s = gslot("ht");
  mr(ev("ht:0;hu:`ht`x"));
  struct {
    const char *v, *path;
    bool deep;
    I want;
  } cs[] = {
      {"+`c`d!(`ht`u;1 2)", "(0;`c;0)", false, 1},      // the cell names the global
      {"+`c`d!(`u`ht;1 2)", "(0;`c;0)", false, 0},      // another row
      {"+`c`d!(`u`ht;1 2)", "(::;`c;0)", false, 1},     // every row
      {"+`c`d!(`u`ht;1 2)", "(0 1;`c;0)", false, 1},    // rows by a vector
      {"+`c`d!(`ht`u;1 2)", "(0;`d;0)", false, 0},      // another column
      {"+`c`d!(`ht`u;`ht`u)", "(0;`c`d;0)", false, 1},  // columns by name
      {"+`c`d!((`ht;2);1 2)", "(0;`c;0)", false, 1},    // a general-list column
      {"+`c`d!(`ht`u;1 2)", "(0;`c)", false, 0},        // two levels: the cell itself is replaced
      {"+`c`d!(1 2;3 4)", "(0;`c;0)", false, 0},        // no column can hold a name
      {"+`c`d!(`ht`u;1 2)", "(0;1;0)", false, 1},       // a column by position: too general
      {"+`c`d!(`u`u;1 2)", "(0;`c;0)", true, 1},        // deep: any name or function column
      {"+`c`d!(`hu`u;1 2)", "(0;`c;0)", false, 1},      // through another global
  };
  for (auto &c : cs) {
    V v = ev(c.v), path = ev(c.path);
    ASSERT_TRUE(v && path) << c.v << " " << c.path;
    EXPECT_EQ(ixhr(&gv[s], v, path, 0, _n(path), c.deep, false), c.want) << c.v << " at " << c.path;
    mr(v), mr(path);
  }
  // The amend reached through such a cell runs on a copy, as `.` does.
  mr(ev("ht:+`c`d!(`ht`u;1 2)"));
  V r = ev("ht[0;`c;0]:5");
  EXPECT_TRUE(r) << vmt::etext();
  if (r) mr(r);
  EXPECT_EQ(hd(gv[s])->rc, 1u);
  EXPECT_EQ(vmt::leak("ht:+`c`d!(`ht`u;1 2);ht[0;`c;0]:5"), 0u);
}

}  // namespace
