// apply_test.cpp: what the language cases cannot reach of application and
// evaluation: dicts, tables and ranges indexed by application, natives and
// host verbs, handle writes to the standard descriptors, the statement
// loop's memory (arena marks, free lists) and its failure rule, the cached
// lambdas under several threads, and the trap state.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include "capi/capi.h"
#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "testutil.h"

using namespace zk;

namespace {

using zkt::etext;
std::string ename1() {
  std::string e = etext();
  return e.substr(0, e.find('\n'));
}

// Source form of a value (consumed), or the error's first line for 0.
std::string ks(V x) {
  if (!x) return ename1();
  V s = kst(x);
  if (!s) return "<k failed>";
  std::string t(PC(s), nx(s));
  mr(s);
  return t;
}

V ev(const char *s) { return evn(s, nullptr, 0); }
std::string evs(const char *s) { return ks(ev(s)); }

using zkt::setg;

V syms(std::initializer_list<const char *> names) {
  std::vector<I> ids;
  for (const char *s : names) ids.push_back(us(s));
  return aV(tSYM, (U)ids.size(), ids.data());
}
V longs(std::initializer_list<J> v) { return aV(tLONG, (U)v.size(), v.begin()); }

// Blocks on this thread's free lists by class: a path that forgets to
// release something, or releases too much, leaves them changed.
std::vector<U> freeblocks() {
  std::vector<U> n(24);
  for (int k = 0; k < 24; k++)
    for (V d = tl.bkt[k]; d; d = hd(d)->link) n[k]++;
  return n;
}

struct Apply : ::testing::Test {
  I diag0 = 0;
  void SetUp() override {
    boot_once();
    diag0 = zkdiag;
    zkdiag = 0;  // no rendered diagnostics on the test's stderr
  }
  void TearDown() override {
    zkdiag = diag0;
    eclr();
  }
};

// ---- data indexed by application ----

TEST_F(Apply, DictsLookKeysUp) {
  setg("dk", am(syms({"a", "b", "c"}), longs({10, 20, 30})));
  setg("dl", am(syms({"a", "b"}), ev("(1 2;\"xy\")")));
  setg("dc", am(ev("(1 2;3 4)"), syms({"p", "q"})));  // compound keys
  setg("di", am(ev("1 2 3"), ev("\"xyz\"")));
  struct {
    const char *src, *want;
  } cs[] = {
      {"dk`b", "20"},
      {"dk`c`a", "30 10"},
      {"dk`z", "0N"},
      {"dk`a`z", "10 0N"},
      {"dk(`a;`b`c)", "(10;20 30)"},
      {"dk 1", "0N"},  // a key lookup, never a position
      {"dk[`b]", "20"},
      {"dl`b", "\"xy\""},
      {"dl[`a;1]", "2"},
      {"dl[`a`b;0]", "(1;\"x\")"},
      {"dl[;1]", "`a`b!(2;\"y\")"},
      {"dc 3 4", "`q"},
      {"dc (1 2;3 4)", "`p`q"},
      {"dc 5 6", "`"},
      {"di 2", "\"y\""},
      {"di 3 1 7", "\"zx \""},
  };
  for (auto &c : cs) EXPECT_EQ(evs(c.src), c.want) << c.src;
  // A dict index keeps its keys: the values are looked up.
  EXPECT_EQ(ks(_1(gv[gi(as(us("dk")))], am(syms({"x", "y"}), syms({"c", "a"})))), "`x`y!30 10");
  // Values that are a table give its rows.
  V dt = am(syms({"p", "q"}), aM(syms({"v"}), aA1(longs({5, 6}))));
  EXPECT_EQ(ks(_1(dt, as(us("q")))), "(,`v)!,6");
  V rows = _1(dt, syms({"q", "z"}));
  ASSERT_EQ(tp(rows), tTABLE);
  EXPECT_EQ(ks(_r(PA(rows)[1])), ",6 0N");
  mr(rows), mr(dt);
  // A keyed table (keys that are a table) is looked up by rows; a bare key
  // needs the key alignment that is not built yet.
  V kt = am(aM(syms({"k"}), aA1(longs({1, 2}))), aM(syms({"v"}), aA1(longs({3, 4}))));
  EXPECT_FALSE(_1(kt, ai(1)));
  EXPECT_EQ(ename1(), "'nyi");
  mr(kt);
}

TEST_F(Apply, TablesGiveRowsAndColumns) {
  setg("tb", aM(syms({"a", "b"}), aA2(longs({1, 2, 3}), ev("`x`y`z"))));
  struct {
    const char *src, *want;
  } cs[] = {
      {"tb 1", "`a`b!(2;`y)"},
      {"tb 5", "`a`b!(0N;`)"},
      {"tb`b", "`x`y`z"},
      {"tb`b`a", "(`x`y`z;1 2 3)"},
      {"tb[1;`a]", "2"},
      {"tb[0 2;`b]", "`x`z"},
      {"tb[;`a]", "1 2 3"},
      {"tb`q", "!0"},  // no such column: an empty vector typed like the first
  };
  for (auto &c : cs) EXPECT_EQ(evs(c.src), c.want) << c.src;
  V r = ev("tb 2 0");
  ASSERT_TRUE(r) << etext();
  ASSERT_EQ(tp(r), tTABLE);
  EXPECT_EQ(ks(_r(PA(r)[1])), "(3 1;`z`x)");
  mr(r);
}

TEST_F(Apply, RangesAndWideningByIndex) {
  V r = aE(5, 10);  // 5 6 7 8 9, never materialised
  EXPECT_EQ(ks(_1(r, ai(2))), "7");
  EXPECT_EQ(ks(_1(r, longs({4, 0, 5}))), "9 5 0N");
  EXPECT_EQ(ks(_1(ev("10 20 30"), _r(r))), "0N 0N 0N 0N 0N");
  EXPECT_EQ(ks(_1(ev("10 20 30 40 50 60 70"), aE(4, 6))), "50 60");
  // A byte vector needing a null widens to longs instead of inventing one.
  V b = ev("1 2 3");
  ASSERT_EQ(tp(b), tBYTE);
  V g = _1(b, longs({0, 3}));
  EXPECT_EQ(tp(g), tLONG);
  EXPECT_EQ(ks(g), "1 0N");
  // In range, the width is kept.
  g = _1(b, longs({2, 2}));
  EXPECT_EQ(tp(g), tBYTE);
  mr(g), mr(b), mr(r);
}

TEST_F(Apply, IndexingLeaksNothing) {
  setg("lk", am(syms({"a", "b"}), ev("(1 2;\"xy\")")));
  const char *srcs[] = {"lk`a`b`z",     "lk[`a`b;0]", "(1 2;3 4)[;1]", "(1 2;3 4)[0 1;5]",
                        "1 2 3 (0 1;9)", "\"abc\" 5 1", "(1 2;3 4)[1;`x]", "1 2 3 1.5"};
  for (const char *s : srcs)
    for (int i = 0; i < 3; i++) {
      std::vector<U> before = freeblocks();
      V r = ev(s);
      if (r) mr(r);
      if (i) { EXPECT_EQ(freeblocks(), before) << s; }
    }
}

// ---- natives and host verbs ----

V n1(V x) { return az(gl(x) * 10); }
V n2(V x, V y) { return az(gl(x) - gl(y)); }
V n3(V x, V y, V z) { return az(gl(x) * 100 + gl(y) * 10 + gl(z)); }
V n4(V a, V b, V c, V d) { return az(gl(a) + gl(b) + gl(c) + gl(d)); }
V nsilent(V x) { return mr(x), (V)0; }
V nloud(V x) { return err1(x, "mine"); }
V native(void *f, U arity) { return ((V)tNATIVE << 56) | ((V)arity << 48) | (V)(uintptr_t)f; }

TEST_F(Apply, NativesFromLanguage) {
  setg("nf1", native((void *)n1, 1));
  setg("nf2", native((void *)n2, 2));
  setg("nf3", native((void *)n3, 3));
  setg("nf4", native((void *)n4, 4));
  setg("nf5", native((void *)n4, 5));
  setg("nf0", native((void *)n1, 0));  // arity 0 takes its one argument
  struct {
    const char *src, *want;
  } cs[] = {
      {"nf1 4", "40"},         {"nf2[10;3]", "7"},      {"nf2[10] 3", "7"},
      {"nf2[;3] 10", "7"},     {"nf3[1;2;3]", "123"},   {"nf3[1][2][3]", "123"},
      {"nf3[;2;][1;3]", "123"}, {"nf4[1;2;3;4]", "10"}, {"nf2[1;2;3]", "'rank"},
      {"nf5[1;2;3;4;5]", "'nyi"}, {"{x 5}[nf1]", "50"},
      {"nf0 4", "40"},         {"nf0[4]", "40"},        {"{x 6}[nf0]", "60"},
      {"nf0[1;2]", "'rank"},   {"nf0[1;2;3]", "'rank"}, {"nf5[1;2;3;4]", "???[1;2;3;4]"},
      {"nf5[1;2;3;4][5]", "'nyi"},
  };
  for (auto &c : cs) EXPECT_EQ(evs(c.src), c.want) << c.src;
}

TEST_F(Apply, NativeFailuresAlwaysCarryAnError) {
  setg("nsil", native((void *)nsilent, 1));
  setg("nlou", native((void *)nloud, 1));
  // A native that fails without a word gets 'domain, not a stale text.
  err0("stale");
  EXPECT_EQ(evs("nsil 1"), "'domain");
  EXPECT_EQ(evs("nlou 1"), "'mine");
  // A success leaves the earlier error as it was.
  err0("earlier");
  EXPECT_EQ(ks(_1(native((void *)n1, 1), ai(2))), "20");
  EXPECT_EQ(etext(), "'earlier\n");
}

V hverb(V x) { return aA2(_r(x), x); }
V hsin(V x) { return mr(x), ai(4242); }

TEST_F(Apply, HostVerbsComeBeforeBuiltins) {
  ASSERT_EQ(zk_ext_verb("dbl", hverb), 0);
  EXPECT_EQ(evs("`dbl 5"), "(5;5)");
  EXPECT_EQ(evs("`dbl[`a]"), "(`a;`a)");
  // A host verb named like a builtin is called instead of the builtin.
  EXPECT_EQ(evs("`sin 0.0"), "0.0");  // the builtin
  ASSERT_EQ(zk_ext_verb("sin", hsin), 0);
  EXPECT_EQ(evs("`sin 1"), "4242");
  EXPECT_EQ(evs("`sin[1]"), "4242");
  // Other names still reach the builtins.
  EXPECT_EQ(evs("`err \"xy\""), "'xy");
  EXPECT_EQ(evs("`nosuch 1"), "'domain");
}

// ---- handles ----

// Collects what is written to descriptor fd while it lives.
struct Capture {
  int fd, saved, p[2];
  explicit Capture(int d) : fd(d) {
    EXPECT_EQ(pipe(p), 0);
    saved = dup(fd);
    dup2(p[1], fd);
    close(p[1]);
  }
  std::string take() {
    dup2(saved, fd);
    close(saved);
    std::string r;
    char b[256];
    ssize_t n;
    while ((n = read(p[0], b, sizeof b)) > 0) r.append(b, (size_t)n);
    close(p[0]);
    return r;
  }
};

TEST_F(Apply, HandlesWriteText) {
  struct {
    int fd;
    const char *src, *want, *out;
  } cs[] = {
      {1, "1 \"abc\"", "1", "abc"},
      {1, "-1 \"abc\"", "-1", "abc\n"},
      {1, "1 \"a\"", "1", "a"},
      {1, "-1 \"a\"", "-1", "a\n"},
      {1, "1 (\"ab\";\"cd\")", "1", "abcd"},
      {1, "-1 (\"ab\";\"\";\"cd\")", "-1", "ab\n\ncd\n"},
      {1, "1 ()", "1", ""},
      {1, "-1 ()", "-1", "\n"},
      {1, "-1 \"\"", "-1", "\n"},
      {1, "1 \"\"", "1", ""},
      {1, "-1 (1 2 ())", "-1", "\n"},
      {2, "2 \"to err\"", "2", "to err"},
      {2, "-2 \"e\"", "-2", "e\n"},
      {1, "1 (1 2)", "'type", ""},
      {1, "-1 `a", "'type", ""},
      {1, "-1 (\"ab\";1;\"cd\")", "'type", "ab\n"},  // nothing after the bad item
      {1, "1 {x}", "'type", ""},
  };
  for (auto &c : cs) {
    Capture cap(c.fd);
    std::string got = evs(c.src);
    EXPECT_EQ(cap.take(), c.out) << c.src;
    EXPECT_EQ(got, c.want) << c.src;
  }
  // A write that fails is 'io: a descriptor open only for reading.
  int ro = open("/dev/null", O_RDONLY);
  ASSERT_GE(ro, 0);
  int saved = dup(2);
  dup2(ro, 2);
  std::string got = evs("2 \"x\"");
  dup2(saved, 2);
  close(saved);
  close(ro);
  EXPECT_EQ(got, "'io");
}

// ---- the statement loop ----

TEST_F(Apply, TextIsEvaluatedStatementByStatement) {
  EXPECT_EQ(ev(""), GNULL);
  EXPECT_EQ(evs("1\n2\n3"), "3");
  EXPECT_EQ(evs("sa:1\nsa+10"), "11");
  // A failing statement stops the text: the one after it never runs.
  EXPECT_FALSE(ev("sb:1\nsb:2;`err \"halt\"\nsb:3"));
  EXPECT_EQ(ename1(), "'halt");
  EXPECT_EQ(evs("sb"), "2");
  EXPECT_FALSE(ev("sb:4\n1+\"a\n"));
  EXPECT_EQ(evs("sb"), "4");
  // Printing mode: every value on standard output, the result `::`; a
  // failure is printed on standard error and stops the text.
  Capture out(1);
  V r = evn("1 2\n`a\nsc:5\n\"s\"", nullptr, 1);
  EXPECT_EQ(out.take(), "1 2\n`a\n\"s\"\n");
  EXPECT_EQ(r, GNULL);
  Capture o2(1), e2(2);
  r = evn("7\n`err \"printed\"\n8", nullptr, 1);
  EXPECT_EQ(o2.take(), "7\n");
  EXPECT_NE(e2.take().find("'printed"), std::string::npos);
  EXPECT_FALSE(r);
  // A counted end stops the evaluation even before the NUL.
  const char t[] = "1\n2\n3";
  EXPECT_EQ(ks(evn(t, t + 3, 0)), "2");
}

// A host verb that uses scratch memory the way kernels do: 1 MiB of the
// base block and a 20 MiB overflow chunk.  It notes the arena offset it
// finds, which must be the same for every statement.
std::vector<UJ> g_offs;
V scratch(V x) {
  g_offs.push_back(tl.a_off);
  char *a = (char *)arena_alloc(1 << 20), *b = (char *)arena_alloc(20 << 20);
  if (!a || !b) return ed(x);
  a[0] = b[(20 << 20) - 1] = 1;
  return x;
}
// Scratch that must survive an evaluation nested inside its statement.
V nested(V x) {
  char *a = (char *)arena_alloc(4096);
  memset(a, 0x5a, 4096);
  V r = ev("`scr 1\n`scr 2");
  bool kept = true;
  for (int i = 0; i < 4096; i++) kept &= a[i] == 0x5a;
  bool above = a + 4096 <= tl.a_base + tl.a_off;  // the inner rewind stopped at its own mark
  if (r) mr(r);
  mr(x);
  return kept && above ? ai(1) : ai(0);
}

TEST_F(Apply, EachStatementRewindsTheArena) {
  ASSERT_EQ(zk_ext_verb("scr", scratch), 0);
  ASSERT_EQ(zk_ext_verb("nest", nested), 0);
  UJ off = tl.a_off, ovf = tl.a_ovf;
  void *chunk = tl.a_over;
  g_offs.clear();
  EXPECT_EQ(evs("`scr 1\n`scr 2\n`scr 3\n`scr 4"), "4");
  ASSERT_EQ(g_offs.size(), 4u);
  for (UJ o : g_offs) EXPECT_EQ(o, g_offs[0]);
  EXPECT_EQ(tl.a_off, off);
  EXPECT_EQ(tl.a_ovf, ovf);
  EXPECT_EQ(tl.a_over, chunk);
  // A failing statement rewinds as well.
  EXPECT_FALSE(ev("`scr 1\n`scr 2;`err \"x\""));
  EXPECT_EQ(tl.a_off, off);
  EXPECT_EQ(tl.a_ovf, ovf);
  // A nested evaluation rewinds only to its own mark.
  EXPECT_EQ(evs("`nest 1\n`nest 2"), "1");
  EXPECT_EQ(tl.a_off, off);
  EXPECT_EQ(tl.a_over, chunk);
}

TEST_F(Apply, MillionStatementsKeepMemoryFlat) {
  // Ten statements a round: two that allocate lists, lambdas and globals,
  // eight plain ones.
  std::string one = "ms:(1;`a;\"c\";2.5)\nmt:{x+1}ms 0\n1\n2\n3\n4\n5\n6\n7\n8\n", small, big;
  for (int i = 0; i < 100; i++) small += one;
  big.reserve(one.size() * 100000 + 8);
  for (int i = 0; i < 100000; i++) big += one;
  big += "mt*7";  // statement 1,000,001
  V r = ev(small.c_str());  // settles lazily made symbols, slots and splits
  ASSERT_TRUE(r) << etext();
  mr(r);
  std::vector<U> before = freeblocks();
  UJ off = tl.a_off, ovf = tl.a_ovf, peak = tl.a_peak;
  U regions = nreg;
  r = ev(big.c_str());
  ASSERT_TRUE(r) << etext();
  EXPECT_EQ(ks(r), "14");  // the last statement's value
  EXPECT_EQ(freeblocks(), before);
  EXPECT_EQ(tl.a_off, off);
  EXPECT_EQ(tl.a_ovf, ovf);
  EXPECT_EQ(tl.a_peak, peak);
  EXPECT_EQ(nreg, regions);
}

// ---- monadic and dyadic `.` ----

TEST_F(Apply, ValueOfEachKind) {
  EXPECT_EQ(ks(val(mp2(14))), "14");
  EXPECT_EQ(ks(val(mp1(3))), "3");
  EXPECT_EQ(ks(val(imm(tADV, 2))), "2");
  EXPECT_EQ(evs(".(+/)"), "(+;/)");
  EXPECT_EQ(evs(".({x-y}[;1])"), "({x-y};;1)");  // the hole stays a hole
  EXPECT_EQ(ks(val(aE(3, 6))), "3 4 5");
  V d = am(syms({"a"}), longs({7}));
  EXPECT_EQ(ks(val(d)), ",7");
  V l = ev("{x+y}");
  V items = val(_r(l));
  ASSERT_EQ(tp(items), tLIST);
  EXPECT_EQ(ks(_r(PA(items)[0])), "\"{x+y}\"");
  EXPECT_EQ(tp(l), tLAMBDA);  // a shared lambda is copied, not changed
  mr(items), mr(l);
  // A char vector evaluated by `.` is not changed when it is shared.
  V s = aCz("2*3");
  _r(s);
  EXPECT_EQ(ks(val(s)), "6");
  EXPECT_EQ(nx(s), 3u);
  EXPECT_EQ(std::string(PC(s), 3), "2*3");
  mr(s);
  // A shared list applied by `.` keeps its items.
  V fl = ev("({x-y};10;3)");
  _r(fl);
  EXPECT_EQ(ks(val(fl)), "7");
  EXPECT_EQ(ks(fl), "({x-y};10;3)");
  // dot: a dict argument list is 'type; more than 8 arguments 'limit.
  EXPECT_FALSE(dot(mp2(1), am(syms({"a"}), longs({1}))));
  EXPECT_EQ(ename1(), "'type");
  EXPECT_FALSE(dot(mp2(1), ev("1 2 3 4 5 6 7 8 9")));
  EXPECT_EQ(ename1(), "'limit");
  EXPECT_EQ(ks(dot(ev("{x+y}"), aE(3, 5))), "7");  // a range is its items
}

// ---- cached lambdas ----

TEST_F(Apply, CachedLambdasCompileOnce) {
  static V slot;
  U pinned = nx(cns);
  V a = ki(&slot, "{x*y}");
  ASSERT_TRUE(a);
  EXPECT_EQ(ki(&slot, "{x*y}"), a);
  EXPECT_EQ(nx(cns), pinned + 1);
  EXPECT_EQ(ks(k2(&slot, "{x*y}", ai(6), ai(7))), "42");
  V args[2] = {ai(3), ai(5)};
  EXPECT_EQ(ks(k8(&slot, "{x*y}", args, 2)), "15");
  EXPECT_EQ(nx(cns), pinned + 1);
  EXPECT_EQ(ks(k1(&slot, "{x*y}", ai(2))), "{x*y}[2;]");
  // A text that fails leaves the slot empty, releases the arguments and
  // reports the failure each time it is asked.
  static V bad;
  V x = aCz("arg");
  for (int i = 0; i < 2; i++) {
    _r(x);
    EXPECT_FALSE(k1(&bad, "{x+", x));
    EXPECT_EQ(ename1(), "'parse");
    EXPECT_EQ(bad, 0u);
  }
  EXPECT_EQ(hd(x)->rc, 1u);
  mr(x);
  EXPECT_EQ(nx(cns), pinned + 1);
  // Global names in library text are the root's, whatever namespace runs.
  static V rootslot;
  setg("kqroot", ai(11));
  EXPECT_EQ(ks(k1(&rootslot, "{x+kqroot}", ai(1))), "12");
}

TEST_F(Apply, CachedLambdaFromManyThreadsCompilesOnce) {
  static V slot;
  U pinned = nx(cns);
  constexpr int T = 8;
  std::atomic<int> ready{0};
  V got[T] = {};
  V res[T] = {};
  std::vector<std::thread> th;
  for (int i = 0; i < T; i++)
    th.emplace_back([&, i] {
      tl.rc_sync = 1;  // as the workers of parallel each run
      ready++;
      while (ready.load() < T) {
      }
      got[i] = ki(&slot, "{x+100}");
      res[i] = k1(&slot, "{x+100}", ai(i));
    });
  for (auto &t : th) t.join();
  for (int i = 0; i < T; i++) {
    EXPECT_EQ(got[i], got[0]);
    EXPECT_EQ(ks(res[i]), std::to_string(100 + i));
  }
  EXPECT_NE(got[0], 0u);
  EXPECT_EQ(nx(cns), pinned + 1);
}

// ---- traps ----

TEST_F(Apply, TrapsRestoreTheirState) {
  tl.zkdiagq = 0;
  tl.zktd = 0;
  struct {
    const char *src, *want;
  } cs[] = {
      {"@[{x+1};`a;{x}]", "\"type\""},
      {".[{x+y};(1;`a);{x}]", "\"type\""},
      {"@[{x+1};`a;{`err \"boom\"}]", "'boom"},
      {"@[{@[{x+1};x;{`err \"inner\"}]};`a;{x}]", "\"inner\""},
      {"@[{x};`a;{x}]", "`a"},
  };
  for (auto &c : cs) {
    EXPECT_EQ(evs(c.src), c.want) << c.src;
    EXPECT_EQ(tl.zktd, 0) << c.src;
    EXPECT_EQ(tl.zkdiagq, 0) << c.src;
  }
  // A swallowed error leaves no text; a failing handler leaves its own.
  EXPECT_TRUE(ev("@[{x+1};`a;0]"));
  EXPECT_EQ(elen(), 0u);
  EXPECT_FALSE(ev("@[{x+1};`a;{`err \"hh\"}]"));
  EXPECT_EQ(ename1(), "'hh");
  // The protected application releases what it was given.
  setg("tq", aCz("kept"));
  for (int i = 0; i < 3; i++) {
    std::vector<U> before = freeblocks();
    V r = ev("@[{x+`a};tq;{x}]");
    if (r) mr(r);
    r = ev(".[{x+y};(tq;1);tq]");
    if (r) mr(r);
    if (i) { EXPECT_EQ(freeblocks(), before); }
  }
}

// ---- valence and the n-adic verb slots ----

// A general list takes as many indices as it is deep; other data none.
TEST_F(Apply, ValenceOfLists) {
  struct {
    const char *src;
    I want;
  } cs[] = {{"1 2 3", 0}, {"(1 2;3 4)", 2}, {"(1;2 3)", -1}, {"((1 2;3 4);(5 6;7 8))", 3}};
  for (auto &c : cs) {
    V x = ev(c.src);
    EXPECT_EQ(_K(x), c.want) << c.src;
    mr(x);
  }
  EXPECT_EQ(_K(native((void *)n3, 3)), 3);
  V d = am(syms({"a"}), ev("(1 2;3 4)"));
  EXPECT_EQ(_K(d), 0);
  mr(d);
}

}  // namespace
