// err_test.cpp: the error text, the raisers and what they release, context
// blocks, the trap machinery, and the builtins err and trv.
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "core/diag.h"
#include "core/err.h"
#include "testutil.h"

using namespace zk;

namespace {

using zkt::etext;

// A fresh error state and quiet diagnostics for every test.
struct Err : ::testing::Test {
  I diag0 = 0;
  void SetUp() override {
    boot_once();
    eclr();
    diag0 = zkdiag;
    zkdiag = 0;
    zktrv = 0;
  }
  void TearDown() override {
    zkdiag = diag0;
    zktrv = 0;
    eclr();
  }
};

TEST_F(Err, Err0WritesApostropheNameNewline) {
  EXPECT_EQ(err0("type"), 0u);
  EXPECT_EQ(etext(), "'type\n");
  EXPECT_EQ(elen(), 6u);
  // A 40-byte name keeps its first 32 bytes.
  err0("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
  EXPECT_EQ(etext(), "'abcdefghijklmnopqrstuvwxyz012345\n");
  // A new error replaces the old one with its blocks and its shown flag.
  eQ("x", 1, 0);
  tl.zkdiagshown = 1;
  err0("rank");
  EXPECT_EQ(etext(), "'rank\n");
  EXPECT_EQ(tl.err_blocks, 0);
  EXPECT_EQ(tl.zkdiagshown, 0);
}

TEST_F(Err, EveryRaiserGivesItsClassAndReleasesItsArguments) {
  struct R0 {
    V (*f)();
    const char *t;
  } r0[] = {{ed0, "'domain\n"}, {ei0, "'index\n"}, {el0, "'length\n"}, {en0, "'nyi\n"},
            {eo0, "'io\n"},     {ep0, "'parse\n"}, {es0, "'stack\n"},  {et0, "'type\n"},
            {ez0, "'limit\n"},  {ec0, "'compile\n"}};
  for (auto &r : r0) {
    eclr();
    EXPECT_EQ(r.f(), 0u);
    EXPECT_EQ(etext(), r.t);
  }
  struct R1 {
    V (*f)(V);
    const char *t;
  } r1[] = {{ed, "'domain\n"}, {ei, "'index\n"}, {el, "'length\n"}, {en, "'nyi\n"},
            {eo, "'io\n"},     {ep, "'parse\n"}, {er, "'rank\n"},   {et, "'type\n"},
            {ev, "'value\n"},  {ez, "'limit\n"}};
  for (auto &r : r1) {
    V x = aL(3);
    _r(x);  // the raiser must drop exactly one of the two references
    EXPECT_EQ(r.f(x), 0u);
    EXPECT_EQ(etext(), r.t);
    EXPECT_EQ(hd(x)->rc, 1u) << r.t;
    mr(x);
    EXPECT_EQ(r.f(ai(7)), 0u);  // immediates are fine too
    EXPECT_EQ(etext(), r.t);
  }
  struct R8 {
    V (*f)(const V *, U);
    const char *t;
  } r8[] = {{ed8, "'domain\n"}, {el8, "'length\n"}, {en8, "'nyi\n"}, {er8, "'rank\n"},
            {es8, "'stack\n"},  {et8, "'type\n"},   {ez8, "'limit\n"}};
  for (auto &r : r8) {
    V xs[4] = {aL(1), aCz("ab"), ai(3), aA1(aL(2))};
    for (V x : xs) _r(x);
    V extra = _r(aL(5));  // one past n: not the raiser's
    EXPECT_EQ(r.f(xs, 4), 0u);
    EXPECT_EQ(etext(), r.t);
    for (V x : xs) {
      if (heap(x)) {
        EXPECT_EQ(hd(x)->rc, 1u) << r.t;
      }
    }
    EXPECT_EQ(hd(extra)->rc, 2u);
    mrn(4, xs);
    mr(extra), mr(extra);
  }
  V part[3] = {_r(aL(1)), 0, ai(2)};  // a partly built argument set
  EXPECT_EQ(et8(part, 3), 0u);
  EXPECT_EQ(hd(part[0])->rc, 1u);
  mr(part[0]);
  EXPECT_EQ(et(0), 0u);
  EXPECT_EQ(etext(), "'type\n");
  V x = _r(aL(2));
  EXPECT_EQ(err1(x, "noupdate"), 0u);
  EXPECT_EQ(etext(), "'noupdate\n");
  EXPECT_EQ(hd(x)->rc, 1u);
  mr(x);
}

// ---- context blocks ----

struct Blk {
  const char *src;
  U len, col;
  const char *block;
};

TEST_F(Err, ContextBlocks) {
  static const char nul[] = "ab\0cd+e";
  const Blk t[] = {
      {"a+b", 3, 2, " a+b\n   ^\n"},
      {"a+b", 3, 0, " a+b\n ^\n"},
      {"a+b", 3, 3, " a+b\n    ^\n"},        // column at the end: after the last byte
      {"ab\ncd", 5, 3, " cd\n ^\n"},         // a line starting at the column
      {"ab\ncd\nef", 8, 4, " cd\n  ^\n"},    // only the column's line
      {"ab\ncd\nef", 8, 2, " ab\n   ^\n"},     // column on a newline
      {nul, 7, 5, " cd+e\n   ^\n"},          // a NUL ends the window too
      {"x+y\nzz", 3, 1, " x+y\n  ^\n"},      // len bounds the window
      {"\xc3\xa9+x", 4, 3, " \xc3\xa9+x\n   ^\n"},      // after a 2-byte character
      {"\xe2\x82\xac\xe2\x82\xac!", 7, 6, " \xe2\x82\xac\xe2\x82\xac!\n   ^\n"},
  };
  for (auto &b : t) {
    err0("type");
    eQ(b.src, b.len, b.col);
    EXPECT_EQ(etext(), std::string("'type\n") + b.block) << b.src << " col " << b.col;
    EXPECT_EQ(tl.err_blocks, 1);
  }
}

TEST_F(Err, LongLineIsCutAtBothEnds) {
  std::string line;
  for (int i = 0; i < 300; i++) line += (char)('a' + i % 26);
  err0("length");
  eQ(line.data(), 300, 100);
  std::string w = ".." + line.substr(38, 125) + "..";
  EXPECT_EQ(w.size(), 129u);
  EXPECT_EQ(etext(), "'length\n " + w + "\n" + std::string(65, ' ') + "^\n");
  // Character under the caret is the one at the column.
  EXPECT_EQ(w[64], line[100]);
}

TEST_F(Err, FifthBlockIsTwoDotsAndLaterOnesNothing) {
  err0("stack");
  for (int i = 0; i < 4; i++) eQ("f x", 3, 2);
  std::string four = etext();
  std::string blk = " f x\n   ^\n";
  EXPECT_EQ(four, "'stack\n" + blk + blk + blk + blk);
  eQ("f x", 3, 2);
  EXPECT_EQ(etext(), four + " ..\n");
  eQ("f x", 3, 2);
  eQ("f x", 3, 2);
  EXPECT_EQ(etext(), four + " ..\n");
  EXPECT_EQ(tl.err_blocks, 7);
  // Worst case: four blocks of the widest window stay inside the buffer.
  std::string big(1000, 'q');
  err0("abcdefghijklmnopqrstuvwxyz0123456789ABCD");
  for (int i = 0; i < 9; i++) eQ(big.data(), 1000, 500);
  EXPECT_EQ(elen(), 34u + 4 * 198 + 4);
}

// Counts characters (lead bytes) in [b, e).
U nchars(const std::string &s, size_t b, size_t e) {
  U n = 0;
  for (size_t i = b; i < e; i++) n += ((G)s[i] & 0xC0) != 0x80;
  return n;
}
bool valid_utf8(const std::string &s) {
  for (size_t i = 0; i < s.size();) {
    G c = (G)s[i];
    size_t k = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (!k || i + k > s.size()) return false;
    for (size_t j = 1; j < k; j++)
      if (((G)s[i + j] & 0xC0) != 0x80) return false;
    i += k;
  }
  return true;
}

// Random lines of 1..4-byte characters with one marker 'X' at the column:
// the caret must stand under the marker, counting characters, and a cut
// window must never show half a character.
TEST_F(Err, CaretStandsUnderTheColumnCharacterInUtf8) {
  std::mt19937 rng(7);
  const char *pieces[] = {"a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", " "};
  for (int it = 0; it < 3000; it++) {
    std::string line;
    int nbefore = rng() % 90, nafter = rng() % 90;
    for (int i = 0; i < nbefore; i++) line += pieces[rng() % 5];
    U col = (U)line.size();
    line += "X";
    for (int i = 0; i < nafter; i++) line += pieces[rng() % 5];
    err0("t");
    eQ(line.data(), (U)line.size(), col);
    std::string txt = etext().substr(3);  // past "'t\n"
    size_t nl = txt.find('\n');
    std::string win = txt.substr(0, nl), car = txt.substr(nl + 1);
    ASSERT_EQ(car.back(), '\n');
    car.pop_back();
    ASSERT_EQ(car.back(), '^');
    size_t blanks = car.size() - 1;
    ASSERT_EQ(car.find_first_not_of(' '), blanks);
    size_t x = win.find('X');
    ASSERT_NE(x, std::string::npos) << line;
    EXPECT_EQ(nchars(win, 0, x), blanks) << line << " col " << col;
    EXPECT_TRUE(valid_utf8(win)) << line;
    EXPECT_LE(win.size(), 130u);
    // Cuts are marked, and only when the line goes on past the window.
    EXPECT_EQ(win.substr(1, 2) == "..", col >= 64);
    bool endcut = line.size() - col >= 65;
    EXPECT_EQ(win.size() >= 2 && win.substr(win.size() - 2) == "..", endcut) << line;
  }
}

// ---- traps ----

// Fake applications: the argument list is consumed, the function borrowed.
V g_seen;
I g_q, g_d;
V fail_app(V f, V x) {
  g_q = tl.zkdiagq, g_d = tl.zktd;
  return et(x);
}
V ok_app(V f, V x) {
  g_q = tl.zkdiagq, g_d = tl.zktd;
  return x;  // the argument list itself as the result
}
V keep_h(V h, V s) {
  if (g_seen) mr(g_seen);
  g_seen = s;
  return ai(42);
}
V fail_h(V h, V s) { return el(s); }
V nested_app(V f, V x) {
  I q = tl.zkdiagq, d = tl.zktd;
  V r = tryf(_r(f), x, ai(0), fail_app, keep_h);  // the inner trap consumes its own reference
  g_q = q * 10 + g_q, g_d = d * 10 + g_d;
  mr(x);
  return r;
}

TEST_F(Err, TrapSuccessReturnsResultAndRestoresState) {
  V f = aL(1), x = aA1(aL(9));
  tl.zkdiagq = 0;
  err0("old");  // a pending error is left alone on success
  V r = tryf(f, x, ai(0), ok_app, keep_h);
  EXPECT_EQ(r, x);
  EXPECT_EQ(hd(x)->rc, 2u);  // x borrowed: one reference is the result's
  EXPECT_EQ(g_q, 1);
  EXPECT_EQ(g_d, 1);
  EXPECT_EQ(tl.zktd, 0);
  EXPECT_EQ(tl.zkdiagq, 0);
  EXPECT_EQ(etext(), "'old\n");
  mr(r), mr(x);
}

TEST_F(Err, TrapFailureGivesHandlerOrItsApplication) {
  // f is consumed: its one reference goes in every outcome.
  V f = _r(aL(1)), x = aA1(ai(1));
  V h = aCz("fallback");
  V r = tryf(f, x, h, fail_app, keep_h);
  EXPECT_EQ(r, h);
  EXPECT_EQ(hd(h)->rc, 2u);
  EXPECT_EQ(hd(f)->rc, 1u);
  EXPECT_EQ(hd(x)->rc, 1u);
  EXPECT_EQ(elen(), 0u);
  EXPECT_EQ(tl.err_blocks, 0);
  mr(r);
  EXPECT_EQ(tryf(_r(f), x, ai(5), fail_app, keep_h), ai(5));

  // A function handler gets the error name alone.
  err0("x");
  tl.zkdiagshown = 1;
  V hf = imm(tNATIVE, 0x1234) | ((V)1 << 48);
  g_seen = 0;
  r = tryf(_r(f), x, hf, fail_app, keep_h);
  EXPECT_EQ(r, ai(42));
  ASSERT_NE(g_seen, 0u);
  EXPECT_EQ(std::string(PC(g_seen), nx(g_seen)), "type");
  EXPECT_EQ(elen(), 0u);
  EXPECT_EQ(tl.zkdiagshown, 0);
  mr(g_seen), g_seen = 0;
  // Heap functions are handlers too; data lists are not.
  V lam = an(0, tLAMBDA);
  PA(lam)[0] = GNULL;  // the prototype slot every empty container owns
  EXPECT_EQ(tryf(_r(f), x, lam, fail_app, keep_h), ai(42));
  mr(g_seen), g_seen = 0;
  mr(lam);
  V lst = aA1(ai(3));
  EXPECT_EQ(tryf(_r(f), x, lst, fail_app, keep_h), lst);
  EXPECT_EQ(hd(lst)->rc, 2u);
  mr(lst), mr(lst);
  mr(f), mr(x);
}

TEST_F(Err, FailingHandlerKeepsItsErrorText) {
  V x = aA1(ai(1));
  V hf = imm(tDYAD, 1);
  V r = tryf(aL(1), x, hf, fail_app, fail_h);
  EXPECT_EQ(tl.zkdiagq, 0);
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(etext(), "'length\n");  // not an empty text with a 0 result
  EXPECT_EQ(tl.zktd, 0);
  mr(x);
}

TEST_F(Err, TrapQuietsDiagnosticsUnlessTrvOnOutermost) {
  V x = aA1(ai(1));
  tl.zkdiagq = 0;
  // trv off: both levels quiet.
  tryf(aL(1), x, ai(0), nested_app, keep_h);
  EXPECT_EQ(g_q, 11);
  EXPECT_EQ(g_d, 12);
  // trv on: the outermost trap keeps the caller's setting, the inner is quiet.
  zktrv = 1;
  tryf(aL(1), x, ai(0), nested_app, keep_h);
  EXPECT_EQ(g_q, 1);
  EXPECT_EQ(g_d, 12);
  // A thread already quiet stays quiet.
  tl.zkdiagq = 1;
  tryf(aL(1), x, ai(0), fail_app, keep_h);
  EXPECT_EQ(g_q, 1);
  EXPECT_EQ(tl.zkdiagq, 1);
  tl.zkdiagq = 0;
  EXPECT_EQ(tl.zktd, 0);
  mr(x);
}

// ---- the trap through the evaluator's application ----

V nat(void *fn, U arity) {
  return ((V)tNATIVE << 56) | ((V)arity << 48) | ((V)(uintptr_t)fn & 0xFFFFFFFFFFFFull);
}
V n_inc(V x) {  // x + 1 for an int atom, else 'type
  return tp(x) == tINTA ? ai(ip(x) + 1) : et(x);
}
V n_sum2(V x, V y) { return ai(ip(x) + ip(y)); }
std::string g_hseen;
V n_handler(V s) {
  g_hseen.assign(PC(s), nx(s));
  mr(s);
  return ai(-1);
}
V n_handler_fails(V s) { return ed(s); }

TEST_F(Err, TryAppliesToTheArgumentList) {
  V inc = nat((void *)n_inc, 1), sum2 = nat((void *)n_sum2, 2);
  V hf = nat((void *)n_handler, 1), hbad = nat((void *)n_handler_fails, 1);
  V one = aA1(ai(41));
  EXPECT_EQ(try_(inc, one, ai(0)), ai(42));
  V two = aA2(ai(2), ai(3));
  EXPECT_EQ(try_(sum2, two, ai(0)), ai(5));
  EXPECT_EQ(hd(two)->rc, 1u);  // borrowed
  // An atom is an argument list of one.
  EXPECT_EQ(try_(inc, ai(9), ai(0)), ai(10));
  // Failure inside: the handler value, or the handler applied to the name.
  V bad = aA1(ac('x'));
  EXPECT_EQ(try_(inc, bad, ai(7)), ai(7));
  EXPECT_EQ(elen(), 0u);
  g_hseen.clear();
  EXPECT_EQ(try_(inc, bad, hf), ai(-1));
  EXPECT_EQ(g_hseen, "type");
  EXPECT_EQ(elen(), 0u);
  EXPECT_EQ(hd(bad)->rc, 1u);
  // The wrong count of arguments fails inside the trap too.
  EXPECT_EQ(try_(inc, two, hf), ai(-1));
  EXPECT_EQ(g_hseen, "rank");
  // A handler that fails passes its own error up.
  EXPECT_EQ(try_(inc, bad, hbad), 0u);
  EXPECT_EQ(etext(), "'domain\n");
  EXPECT_EQ(tl.zktd, 0);
  EXPECT_EQ(tl.zkdiagq, 0);
  mr(one), mr(two), mr(bad);
}

// ---- builtins ----

TEST_F(Err, ErrBuiltin) {
  V s = _r(aCz("oops"));
  EXPECT_EQ(errC(s), 0u);
  EXPECT_EQ(etext(), "'oops\n");
  EXPECT_EQ(hd(s)->rc, 1u);
  mr(s);
  V t = errC(GNULL);
  ASSERT_NE(t, 0u);
  EXPECT_EQ(tp(t), tCHR);
  EXPECT_EQ(std::string(PC(t), nx(t)), "'oops\n");
  mr(t);
  // Blocks are part of the text it returns.
  eQ("a b", 3, 2);
  t = errC(GNULL);
  EXPECT_EQ(std::string(PC(t), nx(t)), "'oops\n a b\n   ^\n");
  mr(t);
  // Cut at 32 bytes; a NUL ends the name.
  errC(aCz("0123456789012345678901234567890123456789"));
  EXPECT_EQ(etext(), "'01234567890123456789012345678901\n");
  errC(aCn("ab\0cd", 5));
  EXPECT_EQ(etext(), "'ab\n");
  errC(aCn("", 0));
  EXPECT_EQ(etext(), "'\n");
  // Anything else fails with "err" and is released.
  V l = _r(aL(2));
  EXPECT_EQ(errC(l), 0u);
  EXPECT_EQ(etext(), "'err\n");
  EXPECT_EQ(hd(l)->rc, 1u);
  mr(l);
  EXPECT_EQ(errC(ac('x')), 0u);
  EXPECT_EQ(etext(), "'err\n");
  // Cleared: an empty char vector.
  eclr();
  t = errC(GNULL);
  EXPECT_EQ(tp(t), tCHR);
  EXPECT_EQ(nx(t), 0u);
  mr(t);
}

TEST_F(Err, TrvBuiltin) {
  struct {
    V x;
    I want;
  } t[] = {{ai(1), 1}, {ai(0), 0}, {ai(-3), 1}, {al(0), 0}, {al((J)1 << 40), 1},
           {af(0.0), 0}, {af(-0.0), 1}, {ac('a'), 1}, {GNULL, 0}};
  for (auto &c : t) {
    zktrv = !c.want;
    EXPECT_EQ(trvC(c.x), GNULL);
    EXPECT_EQ(zktrv, c.want);
  }
  V l = _r(aL(1));
  PL(l)[0] = 7;
  trvC(l);
  EXPECT_EQ(hd(l)->rc, 1u);
  EXPECT_EQ(zktrv, 1);
  mr(l);
}

TEST_F(Err, EnameIsTheNameAlone) {
  err0("length");
  eQ("a b", 3, 1);
  V n = ename();
  EXPECT_EQ(std::string(PC(n), nx(n)), "length");
  mr(n);
  eclr();
  n = ename();
  EXPECT_EQ(nx(n), 0u);
  mr(n);
}

}  // namespace
