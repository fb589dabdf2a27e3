// ixexec_test.cpp: the plan executor of indexed assignment and its step
// services, driven by plans written out by hand: every level kind, sole
// owned levels changed in place, the rollback of a new key or column when
// the amend fails, the refusal of new keys in a step dict and the old value
// read along a plan.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/amend/ix.h"
#include "list/list.h"
#include "order/order.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

struct Ix : ::testing::Test {
  void SetUp() override { boot_once(); }
};

// The value stays the caller's.
std::string ks(V x) { return zkt::ks(x ? _r(x) : 0); }
V ev(const char *s) { return evn(s, nullptr, 0); }

// One executor run: target and path texts, the plan, f (0 none) and y
// text (nullptr none).  The answer's text, or the error's and the rescued
// value's.
struct Out {
  std::string out, res;
  UJ addr = 0;  // data address of the answer's item a (see run)
};

Out exe(const char *x, const char *path, std::vector<G> k, std::vector<J> p, V f, const char *y,
        bool rescue = true) {
  V xv = ev(x), pv = ev(path), yv = y ? ev(y) : 0;
  EXPECT_TRUE(xv && pv && (!y || yv)) << x << " " << path;
  V res = 0;
  V r = ixst(xv, pv, k.data(), p.data(), 0, (I)k.size(), f, yv, rescue ? &res : 0);
  Out o;
  o.out = ks(r);
  if (res) o.res = ks(res), mr(res);
  if (r) mr(r);
  mr(pv);
  if (yv) mr(yv);
  return o;
}

}  // namespace

// Every kind of level against the value the general amend gives.
TEST_F(Ix, KindsGiveTheAmendedValue) {
  V add = mp2(1);
  struct {
    const char *x, *path;
    std::vector<G> k;
    std::vector<J> p;
    V f;
    const char *y, *want;
    const char *k9 = nullptr;  // kind 9: the search result, made afresh per run
  } cs[] = {
      {"(1 2 3;4 5 6)", "1 2", {0, 0}, {1, 2}, 0, "9", "(1 2 3;4 5 9)"},
      {"(1 2 3;4 5 6)", "1 2", {0, 0}, {1, 2}, add, "10", "(1 2 3;4 5 16)"},
      {"(1 2 3;4 5 6)", "1 2", {0, 0}, {1, 2}, 0, "`a", "(1 2 3;(4;5;`a))"},
      {"`a`b!(1 2;3 4)", "(`b;0)", {1, 0}, {1, 0}, add, "10", "`a`b!(1 2;13 4)"},
      {"`a`b!1 2", ",`c", {1}, {2}, add, "1", "`a`b`c!1 2 1"},
      {"`a`b!1 2", ",`c", {1}, {2}, 0, "`s", "`a`b`c!(1;2;`s)"},
      {"`a`b!(1 2 3;4 5 6)", "(`c;1)", {7, 0}, {2, 1}, 0, "9", "`a`b`c!(1 2 3;4 5 6;0N 9 0N)"},
      {"([]a:1 2 3;b:4 5 6)", ",`b", {2}, {1}, 0, "7 8 9", "+`a`b!(1 2 3;7 8 9)"},
      {"([]a:1 2 3;b:4 5 6)", ",`c", {2}, {2}, 0, "0", "+`a`b`c!(1 2 3;4 5 6;0 0 0)"},
      {"([]a:1 2 3;b:4 5 6)", ",`b", {2}, {1}, add, "1", "+`a`b!(1 2 3;5 6 7)"},
      {"([]a:1 2 3;b:4 5 6)", "(2;`a)", {6, 0}, {2, 0}, add, "1", "+`a`b!(1 2 4;4 5 6)"},
      {"([]a:1 2 3;b:4 5 6)", "(2;`a)", {6, 0}, {2, 0}, 0, "`z", "+`a`b!((1;2;`z);4 5 6)"},
      {"(1 2;3 4)", "(1;0 1)", {0, 3}, {1, -1}, add, "10", "(1 2;13 14)"},
      {"`a`b`c!(1 2;3 4;5 6)", "(`a`c;0)", {9}, {0}, 0, "9", "`a`b`c!(9 2;3 4;9 6)", "0 2"},
      {"`a`b`c!(1 2;3 4;5 6)", "(`c`a;1)", {9}, {0}, add, "7 8", "`a`b`c!(1 10;3 4;5 13)", "2 0"},
      {"`a`b!(1 2;3 4)", "(`z`a;0)", {9}, {0}, 0, "7 8", "`a`b`z!(8 2;3 4;7 0N)", "0N 0"},
      {"([]a:1 2 3;b:4 5 6)", "(`a`b;2)", {9}, {0}, add, "1", "+`a`b!(1 2 4;4 5 7)", "0 1"},
      {"([]a:1 2 3;b:4 5 6)", "(`b`c;0)", {9}, {0}, 0, "9", "+`a`b`c!(1 2 3;9 5 6;9 0N 0N)", "1 0N"},
      {"`a`b!([]c:1 2;e:3 4)", "(`z;`c)", {4}, {2}, 0, "5", "`a`b`z!+`c`e!(1 2 5;3 4 0N)"},
      {"`a`b!([]c:1 2;e:3 4)", "(`z;`e)", {4}, {2}, add, "1", "`a`b`z!+`c`e!(1 2 0N;3 4 0N)"},
  };
  for (auto &c : cs) {
    if (c.k9) c.p[0] = (J)ev(c.k9);
    Out o = exe(c.x, c.path, c.k, c.p, c.f, c.y);
    EXPECT_EQ(o.out, c.want) << c.x << " at " << c.path;
    EXPECT_EQ(tl.nsq, 0);
  }
}

// A sole-owned path changes in place: the inner vector keeps its address.
TEST_F(Ix, SoleLevelsChangeInPlace) {
  V x = ev("`a`b!(1 2 3;4 5 6)"), pv = ev("(`b;1)");
  V inner = PA(PA(x)[1])[1];
  G k[2] = {1, 0};
  J p[2] = {1, 1};
  V y = ai(50);
  V r = ixst(x, pv, k, p, 0, 2, 0, y, 0);
  ASSERT_TRUE(r);
  EXPECT_EQ(PA(PA(r)[1])[1], inner);
  EXPECT_EQ(ks(r), "`a`b!(1 2 3;4 50 6)");
  // A shared level is copied and the other holder keeps its value.
  V keep = _r(r);
  p[1] = 0;
  V r2 = ixst(r, pv, k, p, 0, 2, 0, y, 0);
  EXPECT_EQ(ks(r2), "`a`b!(1 2 3;50 50 6)");
  EXPECT_EQ(ks(keep), "`a`b!(1 2 3;4 50 6)");
  mr(r2), mr(keep), mr(pv);
}

// A failing f hands the value back whole through the rescue cell: a new
// key or column is trimmed away, counts, part types and attribute bytes as
// before, and nothing is leaked.
TEST_F(Ix, FailuresRollBack) {
  V bad = ev("{x+y+`a}");
  struct {
    const char *x, *path;
    std::vector<G> k;
    std::vector<J> p;
    const char *y;
    const char *k9 = nullptr;  // kind 9: the search result, made afresh per run
  } cs[] = {
      {"`a`b!(1 2 3;4 5 6)", "(`c;1)", {7, 0}, {2, 1}, "1"},
      {"`a`b!(1 2 3;4 5 6)", "(`b;1)", {1, 0}, {1, 1}, "1"},
      {"(1 2 3;4 5 6)", "1 2", {0, 0}, {1, 2}, "1"},
      {"([]a:1 2 3;b:4 5 6)", "(2;`a)", {6, 0}, {2, 0}, "1"},
      {"([]a:1 2 3;b:4 5 6)", ",`b", {2}, {1}, "1"},
      {"`a`b!(1 2 3;4 5 6)", "(`a`z;1)", {9}, {0}, "1", "0 0N"},
      {"`a`b!(1 2 3;4 5 6)", "(`b`a;::)", {9}, {0}, "1", "1 0"},
      {"([]a:1 2 3;b:4 5 6)", "(`a`c;0)", {9}, {0}, "1", "0 0N"},
      {"`a`b!([]c:1 2;e:3 4)", "(`z;`c)", {4}, {2}, "1"},
  };
  for (int pass = 0; pass < 2; pass++)
    for (auto &c : cs) {
      V want = ev(c.x);
      G wa = 0;
      int wt = tp(PA(want)[1]);
      UJ before = freebytes();
      if (c.k9) c.p[0] = (J)ev(c.k9);
      Out o = exe(c.x, c.path, c.k, c.p, bad, c.y);
      EXPECT_EQ(o.out, "'type") << c.x << " at " << c.path;
      V wk = kst(_r(want));
      EXPECT_EQ(o.res, std::string(PC(wk), nx(wk))) << c.x << " at " << c.path;
      mr(wk);
      (void)wa, (void)wt;
      if (pass) {
        EXPECT_EQ(freebytes(), before) << c.x << " at " << c.path;
      }
      mr(want);
    }
  mr(bad);
}

// After a new key was appended and the item amend failed, the dict has its
// old count, part types and attribute bytes again.
TEST_F(Ix, NewKeyTrimmedExactly) {
  V x = ev("`a`b!(1 2 3;4 5 6)"), pv = ev("(`c;1)"), bad = ev("{x+y+`a}");
  hd(PA(x)[0])->attr = 1;
  int kt = tp(PA(x)[0]), vt = tp(PA(x)[1]);
  G k[2] = {7, 0};
  J p[2] = {2, 1};
  V res = 0, y = ai(1);
  EXPECT_FALSE(ixst(x, pv, k, p, 0, 2, bad, y, &res));
  ASSERT_TRUE(res);
  EXPECT_EQ(_n(PA(res)[0]), 2);
  EXPECT_EQ(_n(PA(res)[1]), 2);
  EXPECT_EQ(tp(PA(res)[0]), kt);
  EXPECT_EQ(tp(PA(res)[1]), vt);
  EXPECT_EQ(hd(PA(res)[0])->attr, 1);
  mr(res), mr(pv), mr(bad);
}

// A new column of the wrong count: 'length and the table as it was.
TEST_F(Ix, NewColumnOfWrongCount) {
  Out o = exe("([]a:1 2 3;b:4 5 6)", ",`c", {2}, {2}, 0, "1 2");
  EXPECT_EQ(o.out, "'length");
  EXPECT_EQ(o.res, "+`a`b!(1 2 3;4 5 6)");
  o = exe("([]a:1 2 3;b:4 5 6)", ",`b", {2}, {1}, 0, "1 2");
  EXPECT_EQ(o.out, "'length");
  EXPECT_EQ(o.res, "+`a`b!(1 2 3;4 5 6)");
  o = exe("([]a:1 2 3;b:4 5 6)", ",`b", {2}, {1}, 0, "`a`b!1 2");
  EXPECT_EQ(o.out, "'length");
}

// A symbol met at depth names a global: that global is amended in its cell
// and the item becomes its new value.
TEST_F(Ix, NameAtDepthAmendsTheGlobal) {
  V g = ev("gixd:10 20 30");
  ASSERT_TRUE(g);
  mr(g);
  Out o = exe("(`gixd;5)", "(0;1)", {0, 3}, {0, -1}, mp2(1), "1");
  EXPECT_EQ(o.out, "(10 21 30;5)");
  V v = ev("gixd");
  EXPECT_EQ(ks(v), "10 21 30");
  mr(v);
}

// New keys of a step dict are refused: "step" for a key of the keys' type,
// "type" for another; existing keys pass, and so does a shared dict.
TEST_F(Ix, StepDictRefusesNewKeys) {
  V d = ev("1 5 9!`a`b`c");
  hd(d)->attr = 1;
  struct {
    const char *ix, *err;
  } cs[] = {{",5", nullptr}, {",7", "'step"}, {",`x", "'type"}, {",5 9", nullptr},
            {",5 7", "'step"}, {"(5;0)", nullptr}, {"::", nullptr}};
  for (auto &c : cs) {
    V ix = ev(c.ix);
    I r = ixsk(d, ix);
    EXPECT_EQ(r, c.err ? 1 : 0) << c.ix;
    if (c.err) {
      EXPECT_EQ(ks(0), c.err) << c.ix;
    }
    mr(ix);
  }
  V other = _r(d), ix = ev(",7");
  EXPECT_EQ(ixsk(d, ix), 0);
  mr(other), mr(ix);
  // A known symbol key of a planned level is taken without a search.
  V s = ev("`a`b`c!1 2 3"), sp = ev(",`b");
  hd(s)->attr = 1;
  G k[1] = {1};
  J p[1] = {1};
  EXPECT_EQ(ixsq(s, sp, k, p, 1), 0);
  p[0] = 3;
  mr(sp);
  sp = ev(",`d");
  EXPECT_EQ(ixsq(s, sp, k, p, 1), 1);
  EXPECT_EQ(ks(0), "'step");
  mr(sp), mr(s), mr(d);
}

// The old value along a plan: an item, a value by key, a cell, a row, and
// the typed null at a new key.
TEST_F(Ix, OldValueAlongAPlan) {
  struct {
    const char *x, *path;
    std::vector<G> k;
    std::vector<J> p;
    const char *want;
  } cs[] = {
      {"(1 2 3;4 5 6)", "1 2", {0, 0}, {1, 2}, "6"},
      {"`a`b!(1 2;3 4)", "(`b;0)", {1, 0}, {1, 0}, "3"},
      {"`a`b!1 2", ",`c", {1}, {2}, "0N"},
      {"`a`b!1.5 2", ",`c", {1}, {2}, "0n"},
      {"([]a:1 2 3;b:4 5 6)", "(2;`b)", {6, 0}, {2, 1}, "6"},
      {"([]a:1 2 3;b:4 5 6)", ",1", {3}, {1}, "`a`b!2 5"},
      {"([]a:1 2 3;b:(4 5;6 7;8 9))", "(1;`b;0)", {3}, {-1}, "6"},
      {"`a`b!1 2", "(`c;0)", {4, 0}, {2, 0}, nullptr},
  };
  for (auto &c : cs) {
    V x = ev(c.x), pv = ev(c.path);
    I o = 0;
    V r = ixit(x, pv, c.k.data(), c.p.data(), (I)c.k.size(), &o);
    if (c.want) {
      EXPECT_EQ(ks(r), c.want) << c.x << " at " << c.path;
    } else {
      EXPECT_FALSE(r) << c.x;
    }
    if (r) mr(r);
    mr(x), mr(pv);
  }
  V x = ev("`a`b!1 2"), pv = ev(",`c");
  G k[1] = {1};
  J p[1] = {2};
  EXPECT_EQ(ixna(x, pv, k, p, 1), 1);
  p[0] = 1;
  EXPECT_EQ(ixna(x, pv, k, p, 1), 0);
  mr(x), mr(pv);
}

// Kind 3 with more than one level left goes to the amend at depth, which
// cannot roll back: the executor works on the item held once more.
TEST_F(Ix, DeepRestThroughTheAmendAtDepth) {
  V probe = ev(".[((1 2;3 4);5);(0;1;1);+;1]");
  if (!probe) GTEST_SKIP() << "no amend at depth yet";
  mr(probe);
  Out o = exe("((1 2;3 4);5)", "(0;1;1)", {0, 3}, {0, -1}, mp2(1), "10");
  EXPECT_EQ(o.out, "((1 2;3 14);5)");
  V bad = ev("{x+y+`a}");
  o = exe("((1 2;3 4);5)", "(0;1;1)", {0, 3}, {0, -1}, bad, "1");
  EXPECT_EQ(o.out, "'type");
  EXPECT_EQ(o.res, "((1 2;3 4);5)");
  mr(bad);
}

// With the globals table full, the amend of a new name fails with 'limit
// (and clears the flag, so later code can tell), while an existing global
// is still amended.  The table never shrinks: the test fills it in a child.
TEST_F(Ix, FullGlobalsTableLimitsNewNamesOnly) {
  V g = ev("gfl:1 2 3");
  ASSERT_TRUE(g);
  mr(g);
  fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (!pid) {
    char nm[32];
    for (U i = 0; !gfull && i < NG; i++) {
      snprintf(nm, sizeof nm, "zzfill%u", i);
      gi(as(us(nm)));
    }
    if (!gfull) _exit(10);
    gfull = 0;
    V r = ev(".[`gflnew;();:;1]");
    if (r || ks(0) != "'limit" || gfull) _exit(11);
    r = ev(".[`gfl;1;+;10]");
    if (!r || ks(r) != "1 12 3") _exit(12);
    mr(r);
    _exit(0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  EXPECT_EQ(WEXITSTATUS(st), 0);
}

// Step dicts through the assignment: a new key is refused ("step", or
// "type" for a key that does not fit) and the dict is as before; an
// existing key keeps the sorted attribute; a dict also held elsewhere
// takes the new key on a copy and becomes plain; a two-level path is not
// refused and leaves a plain dict.
TEST_F(Ix, StepDictsThroughAssignment) {
  auto mk = [](const char *src) {
    V r = ev(src);
    EXPECT_TRUE(r) << src;
    if (r) mr(r);
    U g = gi(as(us("gsd")));
    hd(gv[g])->attr = 1;
    return g;
  };
  struct {
    const char *init, *stmt, *err, *after;
    G attr;
  } cs[] = {
      {"gsd:1 5 9!`a`b`c", "gsd[7]:`z", "'step", "1 5 9!`a`b`c", 1},
      {"gsd:1 5 9!`a`b`c", "gsd[`x]:`z", "'type", "1 5 9!`a`b`c", 1},
      {"gsd:1 5 9!`a`b`c", "gsd[5]:`z", nullptr, "1 5 9!`a`z`c", 1},
      {"gsd:1 5 9!`a`b`c", "gsd[5 7]:`z", "'step", "1 5 9!`a`b`c", 1},
      {"gsd:1 5 9!(1 2;3 4;5 6)", "gsd[7;0]:0", nullptr, "1 5 9 7!(1 2;3 4;5 6;0 0N)", 0},
      {"gsd:1 5 9!(1 2;3 4;5 6)", "gsd[5;0]:0", nullptr, "1 5 9!(1 2;0 4;5 6)", 1},
  };
  for (auto &c : cs) {
    U g = mk(c.init);
    V r = ev(c.stmt);
    if (c.err) {
      EXPECT_FALSE(r) << c.stmt;
      EXPECT_EQ(ks(0), c.err) << c.stmt;
    } else {
      EXPECT_TRUE(r) << c.stmt << " " << ks(0);
    }
    if (r) mr(r);
    EXPECT_EQ(ks(gv[g]), c.after) << c.stmt;
    EXPECT_EQ(hd(gv[g])->attr, c.attr) << c.stmt;
  }
  // Held by another variable: the new key goes in on a copy, plain.
  U g = mk("gsd:1 5 9!`a`b`c");
  V other = _r(gv[g]);
  V r = ev("gsd[7]:`z");
  ASSERT_TRUE(r) << ks(0);
  mr(r);
  EXPECT_EQ(ks(gv[g]), "1 5 9 7!`a`b`c`z");
  EXPECT_EQ(hd(gv[g])->attr, 0);
  EXPECT_EQ(hd(other)->attr, 1);
  mr(other);
}

// The amend of a global by name against the amend of a copy of its value:
// every target, path and function below, deep-compared; a failure leaves
// the global as it was, unshared, and releases what it took.
TEST_F(Ix, ByNameAgreesWithTheAmendOfACopy) {
  const char *xs[] = {"1 2 3", "(1 2;3 4;`a)", "`a`b!(1 2 3;4 5 6)", "`a`b!1 2", "([]a:1 2 3;b:4 5 6)",
                      "(`a`b!(1 2;3 4);5)", "1 5 9!(1 2;3 4;5 6)"};
  const char *ps[] = {",0",      ",5",      "(1;0)",       "(`b;1)",   "(`c;0)", ",`b",     ",`c",
                      "(0 1;0)", "(::;0)",  "(2;`a)",      "(0;`a;1)", ",0 1",   "(`a`b;0)", "(1;`z)"};
  const char *fs[] = {":", "+", "{x,y}", "{$[y>1;x+`a;x+y]}"};
  const char *ys[] = {"1", "7 8", "`s", "2"};
  U g = gi(as(us("gpn")));
  int ok = 0, bad = 0;
  for (int pass = 0; pass < 2; pass++)
    for (const char *x : xs)
      for (const char *p : ps)
        for (const char *f : fs)
          for (const char *y : ys) {
            std::string set = std::string("gpn:") + x;
            std::string byname = std::string(".[`gpn;") + p + ";" + f + ";" + y + "]";
            std::string oracle = std::string(".[") + x + ";" + p + ";" + f + ";" + y + "]";
            V s = ev(set.c_str());
            ASSERT_TRUE(s) << set;
            mr(s);
            V was = ev(x), e = ev(oracle.c_str());
            UJ before = freebytes();
            V r = ev(byname.c_str());
            std::string ctx = set + "; " + byname;
            if (r) {
              ok++;
              EXPECT_TRUE(e && mtc_(r, e)) << ctx << " gave " << ks(r);
              EXPECT_TRUE(e && mtc_(gv[g], e)) << ctx;
              mr(r);
            } else {
              bad++;
              ASSERT_TRUE(gv[g]) << ctx;
              EXPECT_TRUE(mtc_(gv[g], was)) << ctx << " left " << ks(gv[g]);
              EXPECT_EQ(hd(gv[g])->rc, 1u) << ctx;
              if (pass) {
                EXPECT_EQ(freebytes(), before) << ctx;
              }
            }
            if (e) mr(e);
            mr(was);
          }
  EXPECT_GT(ok, 100);
  EXPECT_GT(bad, 100);
}
