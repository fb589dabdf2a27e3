// plan_test.cpp: the planner's answers (levels, kinds, positions, guard
// bits) for representative paths, the validator's statuses, and the
// predicates they share.  The plans are tested by their answers: nothing
// here runs them.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/err.h"
#include "eval/eval.h"
#include "list/list.h"
#include "testutil.h"

using namespace zk;

namespace {

struct Plan : ::testing::Test {
  void SetUp() override { boot_once(); }
};

V ev(const char *s) { return evn(s, nullptr, 0); }

struct Want {
  const char *x, *path, *y;
  bool plain, glb;
  I answer;
  std::vector<int> kinds;  // the first levels' kinds
  std::vector<J> pos;      // and positions (as many as given)
};

TEST_F(Plan, AnswersForRepresentativePaths) {
  const Want cases[] = {
      // one level into a vector: kind 0 at the index
      {"1 2 3", ",1", "9", true, false, 1, {0}, {1}},
      {"1 2 3", ",5", "9", true, false, -1, {}, {}},
      {"1 2 3", ",-1", "9", true, false, -1, {}, {}},
      {"1 2 3", "(,0 1)", "1 2 3", true, false, -2, {}, {}},
      // an index vector at level 0: tested, no plan
      {"1 2 3", "(,0 2)", "7 8", true, false, 0, {}, {}},
      {"1 2 3", "(,0 3)", "7 8", true, false, -1, {}, {}},
      {"5", ",0", "1", true, false, -3, {}, {}},
      // nested lists: one kind 0 per level; a vector at depth ends with kind 3
      {"(1 2;3 4)", "1 0", "9", true, false, 2, {0, 0}, {1, 0}},
      {"(1 2;3 4)", "(1;0 1)", "8 9", true, false, 2, {0, 3}, {1, -1}},
      // dicts with symbol keys: existing and new keys
      {"`a`b!1 2", ",`b", "9", true, false, 1, {1}, {1}},
      {"`a`b!1 2", ",`c", "9", true, false, 1, {1}, {2}},
      {"`a`b!(1 2;3 4)", "(`b;1)", "9", true, false, 2, {1, 0}, {1, 1}},
      // a new key then an index: checked against the first value
      {"`a`b!(1 2;3 4)", "(`c;1)", "9", true, false, 2, {7, 0}, {2, 1}},
      {"`a`b!(1 2;3 4)", "(`c;5)", "9", true, false, -1, {}, {}},
      // a new key deeper than one level before the last: bit 8 for a global
      {"`a`b!((1 2;3 4);(5 6;7 8))", "(`c;0;1)", "9", true, true, 257, {4, 0, 0}, {2, 0, 1}},
      {"`a`b!((1 2;3 4);(5 6;7 8))", "(`c;0;1)", "9", true, false, 1, {4}, {2}},
      // through a name inside a global's value: bit 9
      {"(1;`b)", "1 0", "9", true, true, 514, {0, 3}, {1, -1}},
      {"(1;`b)", "1 0", "9", true, false, 2, {0, 3}, {1, -1}},
      {"`a`b!`n`m", "(`c;0)", "9", true, true, 512, {}, {}},
      {"`a`b!(`n;1)", "(`c;0)", "9", true, true, 512, {}, {}},
      // tables: a column by name, a cell, a new column
      {"+`a`b!(1 2 3;4 5 6)", ",`a", "0", true, false, 1, {2}, {0}},
      {"+`a`b!(1 2 3;4 5 6)", ",`a", "1 2", true, false, -2, {}, {}},
      {"+(,`a)!,1 2 3", ",`a", "1 2", true, false, 1, {2}, {0}},
      {"+`a`b!(1 2 3;4 5 6)", ",`a", "`x`y!1 2", true, false, -2, {}, {}},
      {"+`a`b!(1 2 3;4 5 6)", ",`c", "7 8 9", true, false, 1, {2}, {2}},
      {"+`a`b!(1 2 3;4 5 6)", "(2;`b)", "0", true, false, 1, {6, 0}, {2, 1}},
      {"+`a`b!(1 2 3;4 5 6)", "(3;`b)", "0", true, false, -1, {}, {}},
      {"+`a`b!(1 2 3;4 5 6)", "(`b;2)", "0", true, false, 2, {2, 0}, {1, 2}},
      {"+`a`b!(1 2 3;4 5 6)", "(`c;2)", "0", true, false, 1, {5}, {2}},
      {"+`a`b!(1 2 3;4 5 6)", "(`c;7)", "0", true, false, -1, {}, {}},
      // several names at an inner level: kind 9 with the search result
      {"`a`b!(1 2;3 4)", "(`a`b;1)", "9", true, false, 1, {9}, {}},
      {"`a`b!(1 2;3 4)", "(`a`b;2)", "9", true, false, -1, {}, {}},
      {"`a`b!(1 2;3 4)", "(`a`b;1)", "7 8 9", true, false, -2, {}, {}},
      // a char index of code 200 is a negative position
      {"1 2 3", "(,`c$200)", "9", true, false, -1, {}, {}},
      {"1 2 3", "(,`c$1)", "9", true, false, 0, {}, {}},
  };
  for (const Want &w : cases) {
    std::string ctx = std::string(w.x) + " @ " + w.path + " : " + w.y + (w.glb ? " (global)" : "");
    V x = ev(w.x), path = ev(w.path), y = ev(w.y);
    ASSERT_TRUE(x && path && y) << ctx << " " << zkt::etext();
    G k[8] = {};
    J p[8] = {};
    I c = ixwk(x, path, y, w.plain, w.glb, k, p);
    EXPECT_EQ(c, w.answer) << ctx;
    for (size_t l = 0; l < w.kinds.size(); l++) EXPECT_EQ(k[l], w.kinds[l]) << ctx << " level " << l;
    for (size_t l = 0; l < w.pos.size(); l++) EXPECT_EQ(p[l], w.pos[l]) << ctx << " level " << l;
    if (c > 0 && k[0] == 9) { EXPECT_EQ(tp((V)p[0]) < tINTA, true) << ctx; }
    if (c > 0) ixpf(c, k, p);
    mr(x), mr(path), mr(y);
  }
}

TEST_F(Plan, NineLevelsAreValidatedNotPlanned) {
  V x = ev("8{,x}/1 2 3");
  ASSERT_TRUE(x);
  V ok = ev("0 0 0 0 0 0 0 0 2"), bad = ev("0 0 0 0 0 0 0 0 3"), y = ai(9);
  G k[8];
  J p[8];
  EXPECT_EQ(ixwk(x, ok, y, true, false, k, p), 0);
  EXPECT_EQ(ixwk(x, bad, y, true, false, k, p), -1);
  EXPECT_EQ(ixck(x, ok, 0, y, true), 0);
  EXPECT_EQ(ixck(x, bad, 0, y, true), 1);
  mr(x), mr(ok), mr(bad);
}

TEST_F(Plan, ValidatorStatuses) {
  struct C {
    const char *x, *path, *y;
    bool plain;
    I st;
  } cases[] = {
      {"1 2 3", "(,0 1 2)", "1 2", true, 2},
      {"1 2 3", "(,(0;1 2))", "9", true, 0},
      {"1 2 3", "(,(0;5))", "9", true, 1},
      {"1 2 3", "(,1.5)", "9", true, 3},
      {"1 2 3", "(,`a)", "9", true, 3},
      {"1 2 3", "(,`c$200 1)", "9", true, 1},
      {"(1 2;3 4)", "(::;5)", "9", true, 1},
      {"(1 2;3 4)", "(::;1)", "(8;9)", true, 0},
      {"(1 2;3 4)", "(::;1)", "7 8 9", true, 2},
      {"+`a`b!(1 2 3;4 5 6)", "(0 1;`a)", "9", true, 0},
      {"+`a`b!(1 2 3;4 5 6)", "(0 5;`a)", "9", true, 1},
      {"+`a`b!(1 2 3;4 5 6)", "(0 1;`a)", "7 8 9", true, 2},
      {"+`a`b!(1 2 3;4 5 6)", "(,`a`b)", "(1 2;3 4)", true, 0},
      {"+`a`b!(1 2 3;4 5 6)", "(,`a`b)", "(1 2 3;3 4 5)", true, 0},
      {"+`a`b!(1 2 3;4 5 6)", "(,`a`b)", "(1 2;3 4 5)", true, 2},
      {"`a`b!1 2", "(,`a`b)", "1 2 3", true, 2},
      {"\"ab\"!1 2", "(,`a)", "1", true, 0},
      {"`a`b!(1 2;3 4)", "(`a`b;5)", "9", true, 1},
      {"`a`b!(1 2;3 4)", "(`a`c;0)", "9", true, 0},
  };
  for (const C &c : cases) {
    std::string ctx = std::string(c.x) + " @ " + c.path + " : " + c.y;
    V x = ev(c.x), path = ev(c.path), y = ev(c.y);
    ASSERT_TRUE(x && path && y) << ctx << " " << zkt::etext();
    EXPECT_EQ(ixck(x, path, 0, y, c.plain), c.st) << ctx;
    mr(x), mr(path), mr(y);
  }
}

TEST_F(Plan, Predicates) {
  // type fit: the vector type first
  EXPECT_TRUE(ixkf(tLONG, tINTA));
  EXPECT_TRUE(ixkf(tBYTE, tLONG));
  EXPECT_FALSE(ixkf(tLONG, tFLTA));
  EXPECT_TRUE(ixkf(tFLT, tFLTA));
  EXPECT_FALSE(ixkf(tFLT, tINTA));
  EXPECT_TRUE(ixkf(tCHR, tCHRA));
  EXPECT_TRUE(ixkf(tSYM, tSYMA));
  EXPECT_TRUE(ixkf(tDATE, tDATEA));
  EXPECT_FALSE(ixkf(tDATE, tTIMEA));
  EXPECT_TRUE(ixkf(tINTA, tLONGA));
  EXPECT_FALSE(ixkf(tFLTA, tINTA));
  EXPECT_TRUE(ixkf(tLIST, tFLTA));
  // count mismatch: atoms fit any count
  V v = ev("1 2 3"), d = ev("`a`b!1 2"), l = ev("(1;`a`b!1 2)");
  EXPECT_FALSE(ixzc(v, 3));
  EXPECT_TRUE(ixzc(v, 2));
  EXPECT_FALSE(ixzc(ai(1), 7));
  EXPECT_TRUE(ixzc(d, 3));
  EXPECT_TRUE(ixzd(l));
  V l2 = ev("(1;2 3)"), n = ev("1 -2 3"), r = ev("!5");
  EXPECT_FALSE(ixzd(l2));
  EXPECT_EQ(ixe(n, 1), -2);
  EXPECT_EQ(ixe(r, 4), 4);
  mr(v), mr(d), mr(l), mr(l2), mr(n), mr(r);
}

TEST_F(Plan, KeyedTableRowPlan) {
  V x = ev("(+(,`k)!,1 2 3)!+(,`v)!,10 20 30");
  ASSERT_TRUE(x) << zkt::etext();
  G k[8];
  J p[8];
  V at2 = ev(",2"), new9 = ev(",9");
  EXPECT_EQ(ixkm(x, at2, k, p), 1);
  EXPECT_EQ(k[0], 1);
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(ixkn(x, new9, k, p), 1);
  EXPECT_EQ(p[0], 3);
  V two = ev("1 2");
  EXPECT_EQ(ixkm(x, two, k, p), 0);
  mr(x), mr(at2), mr(new9), mr(two);
}

}  // namespace
