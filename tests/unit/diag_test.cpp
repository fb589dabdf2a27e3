// diag_test.cpp: coded diagnostics (golden renderings with and without
// colour, the switch, quieting inside traps), the output ring and the
// plain error printer.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "core/diag.h"
#include "core/err.h"
#include "shell/ring.h"
#include "testutil.h"

using namespace zk;

namespace {

using zkt::etext;

// Everything written to file descriptor 2 (stdio's stderr included) while
// it lives.
struct Cap {
  FILE *f;
  int save;
  Cap() {
    fflush(stderr);
    f = tmpfile();
    save = dup(2);
    dup2(fileno(f), 2);
  }
  std::string end() {
    fflush(stderr);
    dup2(save, 2);
    close(save);
    std::string s;
    rewind(f);
    char b[4096];
    size_t n;
    while ((n = fread(b, 1, sizeof b, f)) > 0) s.append(b, n);
    fclose(f);
    return s;
  }
};

std::string strip(const std::string &s) {
  std::string o;
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\033') {
      while (i < s.size() && s[i] != 'm') i++;
      continue;
    }
    o += s[i];
  }
  return o;
}

// eD of the error name en against src at col, as written on stderr.
std::string render(const char *en, const std::string &src, U col) {
  err0(en);
  Cap c;
  eD(src.data(), (U)src.size(), col);
  return c.end();
}

struct Diag : ::testing::Test {
  I diag0 = 0;
  std::string env0;
  bool had_env = false;
  void SetUp() override {
    boot_once();
    if (const char *e = getenv("ZELKO_DIAG")) had_env = true, env0 = e;
    diag0 = zkdiag;
    zkdiag = 1;
    zktrv = 0;
    tl.zkdiagq = 0;
    eclr();
  }
  void TearDown() override {
    if (had_env) setenv("ZELKO_DIAG", env0.c_str(), 1);
    else unsetenv("ZELKO_DIAG");
    zkdiag = diag0;
    zktrv = 0;
    tl.zkdiagq = 0;
    g_sb_capture = 0;
    rclr();
    eclr();
  }
};

#define H "\033[1;38;2;255;95;87m"
#define T "\033[1;38;2;232;226;214m"
#define G "\033[38;2;150;142;130m"
#define L "\033[1;38;2;255;176;0m"
#define R "\033[0m"

TEST_F(Diag, ColouredLengthMismatchIsExact) {
  std::string src = "a:1 2 3\n  prices + sizes";
  std::string want =
      H "error[E0103]" R T ": Vector length mismatch" R "\n"
      " " G "--> " R "<zelko>:2:3\n"
      "  " G "|" R "\n"
      G "2" R " " G "|" R "   prices + sizes\n"
      "  " G "|" R "   " H "^^^^^^" R " " L "operands have different counts" R "\n"
      "  " G "|" R "\n"
      "  " L "= help: Conforming operations require vectors of matching lengths or atom-vector "
      "pairs." R "\n";
  EXPECT_EQ(render("length", src, 10), want);
  EXPECT_EQ(tl.zkdiagshown, 1);
}

TEST_F(Diag, ColouredUndefinedVariableOnLineTwelve) {
  std::string src = "\n\n\n\n\n\n\n\n\n\n\nx:1+foo.bar";
  std::string want =
      H "error[E0101]" R T ": Undefined variable `foo.bar`" R "\n"
      "  " G "--> " R "<zelko>:12:5\n"
      "   " G "|" R "\n"
      G "12" R " " G "|" R " x:1+foo.bar\n"
      "   " G "|" R "     " H "^^^^^^^" R " " L "not found in this scope" R "\n"
      "   " G "|" R "\n"
      "   " L "= help: Verify that the variable is defined in the current scope or check for "
      "typos." R "\n";
  EXPECT_EQ(render("foo.bar", src, 11 + 6), want);
}

struct Gold {
  const char *name, *src;
  U col;
  const char *plain;
};

const Gold gold[] = {
    {"length", "a:1 2 3\n  prices + sizes", 10,
     "error[E0103]: Vector length mismatch\n"
     " --> <zelko>:2:3\n"
     "  |\n"
     "2 |   prices + sizes\n"
     "  |   ^^^^^^ operands have different counts\n"
     "  |\n"
     "  = help: Conforming operations require vectors of matching lengths or atom-vector pairs.\n"},
    // An undefined global: the error name is the variable's own name.
    {"foo", "x+foo", 3,
     "error[E0101]: Undefined variable `foo`\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | x+foo\n"
     "  |   ^^^ not found in this scope\n"
     "  |\n"
     "  = help: Verify that the variable is defined in the current scope or check for typos.\n"},
    {"value", "x+foo", 4,
     "error[E0101]: Undefined variable `foo`\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | x+foo\n"
     "  |   ^^^ not found in this scope\n"
     "  |\n"
     "  = help: Verify that the variable is defined in the current scope or check for typos.\n"},
    // "value" on a token that is not an identifier keeps the row's title.
    {"value", "x+(y)", 2,
     "error[E0101]: Undefined variable or value\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | x+(y)\n"
     "  |   ^ not found in this scope\n"
     "  |\n"
     "  = help: Verify that the variable is defined in the current scope or check for typos.\n"},
    {"oops", "1+2", 1,
     "error[E0100]: Evaluation error\n"
     " --> <zelko>:1:2\n"
     "  |\n"
     "1 | 1+2\n"
     "  |  ^ here\n"
     "  |\n"
     "  = help: Run \\ast <expr> to inspect how this expression parses.\n"},
    // The middle of an identifier underlines all of it from its first column.
    {"type", "abc+defgh", 6,
     "error[E0102]: Type mismatch or invalid operand type\n"
     " --> <zelko>:1:5\n"
     "  |\n"
     "1 | abc+defgh\n"
     "  |     ^^^^^ wrong type for this operation\n"
     "  |\n"
     "  = help: Check operand types using `type or `@. Primitive operations require compatible "
     "types.\n"},
    {"domain", "1+a.b.c", 5,
     "error[E0104]: Out of domain operation\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | 1+a.b.c\n"
     "  |   ^^^^^ outside this operation's domain\n"
     "  |\n"
     "  = help: The input value falls outside the mathematical or logical domain of this function "
     "(e.g. division by zero, log of negative number).\n"},
    {"index", "x@123", 3,
     "error[E0106]: Index out of bounds\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | x@123\n"
     "  |   ^^^ index is outside the vector\n"
     "  |\n"
     "  = help: Ensure the index is non-negative and strictly less than the length of the "
     "vector/table.\n"},
    // A string literal with an escaped quote, quote to quote.
    {"parse", "x,\"a\\\"b\",1", 2,
     "error[E0105]: Syntax or parse error\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | x,\"a\\\"b\",1\n"
     "  |   ^^^^^^ unexpected token here\n"
     "  |\n"
     "  = help: Check for unbalanced brackets (), [], {}, unterminated strings, or invalid "
     "syntax.\n"},
    // An unterminated string runs to the end.
    {"parse", "x,\"ab", 2,
     "error[E0105]: Syntax or parse error\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | x,\"ab\n"
     "  |   ^^^ unexpected token here\n"
     "  |\n"
     "  = help: Check for unbalanced brackets (), [], {}, unterminated strings, or invalid "
     "syntax.\n"},
    // Past the end: the column after the last byte, one caret.
    {"rank", "f[1;2]", 40,
     "error[E0107]: Function rank mismatch\n"
     " --> <zelko>:1:7\n"
     "  |\n"
     "1 | f[1;2]\n"
     "  |       ^ wrong number of arguments\n"
     "  |\n"
     "  = help: Function called with the wrong number of arguments for its defined rank.\n"},
    {"limit", "a\nb\nc", 5,
     "error[E0108]: Resource or allocation limit exceeded\n"
     " --> <zelko>:3:2\n"
     "  |\n"
     "3 | c\n"
     "  |  ^ exceeded a limit here\n"
     "  |\n"
     "  = help: The evaluation exceeded maximum allowable vector sizes, recursion depths, or "
     "memory limits.\n"},
    {"io", "`:x 0: y", 3,
     "error[E0109]: Input/output failure\n"
     " --> <zelko>:1:4\n"
     "  |\n"
     "1 | `:x 0: y\n"
     "  |    ^ this operation failed\n"
     "  |\n"
     "  = help: Check that the target file path or network address exists and has appropriate "
     "permissions.\n"},
    {"stack", "f:{f x}", 3,
     "error[E0110]: Call stack depth exceeded\n"
     " --> <zelko>:1:4\n"
     "  |\n"
     "1 | f:{f x}\n"
     "  |    ^ recursion continues here\n"
     "  |\n"
     "  = help: A function recursed deeper than the interpreter's call stack allows -- check for a "
     "missing base case.\n"},
    {"compile", "1:2", 1,
     "error[E0111]: Expression could not be compiled\n"
     " --> <zelko>:1:2\n"
     "  |\n"
     "1 | 1:2\n"
     "  |  ^ could not be compiled\n"
     "  |\n"
     "  = help: The expression parses but cannot be compiled; check argument counts, reserved "
     "names and assignment targets.\n"},
    {"nyi", "2:x", 0,
     "error[E0112]: Operation not implemented for these types\n"
     " --> <zelko>:1:1\n"
     "  |\n"
     "1 | 2:x\n"
     "  | ^ unsupported for these types\n"
     "  |\n"
     "  = help: This primitive has no implementation for the given operand types yet -- see "
     "docs/MISSING.md.\n"},
    {"noupdate", "a::1", 1,
     "error[E0113]: Global assignment inside a parallel worker\n"
     " --> <zelko>:1:2\n"
     "  |\n"
     "1 | a::1\n"
     "  |  ^ cannot set a global here\n"
     "  |\n"
     "  = help: peach workers run in parallel: they may read globals but not assign them. Return "
     "the values instead, or use ' (each).\n"},
    {"s-fail", "`s#3 1", 4,
     "error[E0114]: The data is not sorted\n"
     " --> <zelko>:1:5\n"
     "  |\n"
     "1 | `s#3 1\n"
     "  |     ^ `sa needs ascending data\n"
     "  |\n"
     "  = help: The sorted attribute makes find binary-search, so it is only set on data that is in "
     "ascending order. Sort first (x@<x), which sets it for you.\n"},
    {"u-fail", "`u#1 1", 2,
     "error[E0114]: The data is not unique\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | `u#1 1\n"
     "  |   ^ `ua needs distinct values\n"
     "  |\n"
     "  = help: The unique attribute is only set on a vector with no repeated value; ?x removes "
     "repeats.\n"},
    {"p-fail", "`p#1 2 1", 2,
     "error[E0114]: The data is not parted\n"
     " --> <zelko>:1:3\n"
     "  |\n"
     "1 | `p#1 2 1\n"
     "  |   ^ `pa needs each value in one contiguous run\n"
     "  |\n"
     "  = help: The parted attribute promises that equal values sit together. Sort or group the "
     "data first.\n"},
    // Columns and underlines count bytes: two bytes of é shift the caret.
    {"type", "\xc3\xa9+abc", 3,
     "error[E0102]: Type mismatch or invalid operand type\n"
     " --> <zelko>:1:4\n"
     "  |\n"
     "1 | \xc3\xa9+abc\n"
     "  |    ^^^ wrong type for this operation\n"
     "  |\n"
     "  = help: Check operand types using `type or `@. Primitive operations require compatible "
     "types.\n"},
    // An empty source: line 1, column 1, one caret after nothing.
    {"type", "", 0,
     "error[E0102]: Type mismatch or invalid operand type\n"
     " --> <zelko>:1:1\n"
     "  |\n"
     "1 | \n"
     "  | ^ wrong type for this operation\n"
     "  |\n"
     "  = help: Check operand types using `type or `@. Primitive operations require compatible "
     "types.\n"},
};

TEST_F(Diag, GoldenRenderingsPlainAndColoured) {
  for (const Gold &g : gold) {
    std::string out = render(g.name, g.src, g.col);
    EXPECT_EQ(strip(out), g.plain) << g.name << " / " << g.src;
    // The plain layout is the coloured one without its escapes, and every
    // line that has colour ends it.
    char buf[4096];
    U n = dfmt(buf, sizeof buf, g.name, (U)strlen(g.name), g.src, (U)strlen(g.src), g.col, false);
    EXPECT_EQ(std::string(buf, n), g.plain);
    n = dfmt(buf, sizeof buf, g.name, (U)strlen(g.name), g.src, (U)strlen(g.src), g.col, true);
    EXPECT_EQ(std::string(buf, n), out);
    EXPECT_EQ(out.find('\033'), 0u);
    EXPECT_EQ(tl.zkdiagshown, 1);
  }
}

TEST_F(Diag, ErrorNameIsReadFromTheText) {
  // The name ends at a blank, and only the first 31 bytes count.
  err0("length extra");
  Cap c;
  eD("a", 1, 0);
  EXPECT_EQ(strip(c.end()).substr(0, 13), "error[E0103]:");
  // A 32-byte name that starts with a row's name is no row.
  std::string in = render("typeaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "x", 0);
  EXPECT_EQ(strip(in).substr(0, 30), "error[E0100]: Evaluation error");
  // No apostrophe (a text the C interface left), or an empty text: no name.
  eclr();
  Cap c2;
  eD("(", 1, 0);
  EXPECT_EQ(strip(c2.end()).substr(0, 30), "error[E0100]: Evaluation error");
}

TEST_F(Diag, LongSourceIsCutTo1023Bytes) {
  std::string src(2000, 'a');
  src[1500] = '+';
  std::string out = strip(render("type", src, 1500));
  // Column beyond the copy: after its last byte, one caret.
  EXPECT_NE(out.find(" --> <zelko>:1:1024\n"), std::string::npos);
  EXPECT_NE(out.find("1 | " + std::string(1023, 'a') + "\n"), std::string::npos);
  // A token that long is underlined whole.
  out = render("type", src, 10);
  EXPECT_LE(out.size(), 4095u);
  EXPECT_NE(out.find(std::string(1000, '^')), std::string::npos);
}

TEST_F(Diag, SwitchAndQuieting) {
  // Off: nothing written, nothing marked shown.
  zkdiag = 0;
  EXPECT_EQ(render("type", "x", 0), "");
  EXPECT_EQ(tl.zkdiagshown, 0);
  zkdiag = 1;
  tl.zkdiagq = 1;
  EXPECT_EQ(render("type", "x", 0), "");
  EXPECT_EQ(tl.zkdiagshown, 0);
  tl.zkdiagq = 0;
  // Undecided: decided from ZELKO_DIAG on first use.
  struct {
    const char *env;
    I on;
  } envs[] = {{"0", 0}, {"01", 0}, {"1", 1}, {"", 1}, {"no", 1}, {nullptr, 1}};
  for (auto &e : envs) {
    if (e.env) setenv("ZELKO_DIAG", e.env, 1);
    else unsetenv("ZELKO_DIAG");
    zkdiag = -1;
    EXPECT_EQ(render("type", "x", 0).empty(), !e.on) << (e.env ? e.env : "unset");
    EXPECT_EQ(zkdiag, e.on);
  }
  unsetenv("ZELKO_DIAG");
}

TEST_F(Diag, DiagBuiltin) {
  setenv("ZELKO_DIAG", "0", 1);
  zkdiag = -1;
  EXPECT_EQ(diagC(GNULL), ai(0));  // decided first, unchanged
  EXPECT_EQ(zkdiag, 0);
  EXPECT_EQ(diagC(ai(5)), ai(0));
  EXPECT_EQ(zkdiag, 1);
  EXPECT_EQ(diagC(ai(0)), ai(1));
  EXPECT_EQ(zkdiag, 0);
  V l = al(2);
  _r(l);
  EXPECT_EQ(diagC(l), ai(0));
  EXPECT_EQ(zkdiag, 1);
  EXPECT_EQ(hd(l)->rc, 1u);
  mr(l);
  EXPECT_EQ(diagC(al(0)), ai(1));
  EXPECT_EQ(zkdiag, 0);
  V s = _r(aCz("1"));
  EXPECT_EQ(diagC(s), ai(0));  // other types change nothing
  EXPECT_EQ(zkdiag, 0);
  EXPECT_EQ(hd(s)->rc, 1u);
  mr(s);
  unsetenv("ZELKO_DIAG");
}

V quiet_app(V f, V x) {
  eD("x", 1, 0);
  return et(x);
}
V nested_quiet(V f, V x) {
  eD("y", 1, 0);  // the outermost trap with trv on renders
  V r = tryf(_r(f), x, ai(1), quiet_app, nullptr);
  mr(x);
  return r ? et0() : 0;
}

TEST_F(Diag, TrapsRenderNothingUnlessTrvAndOutermost) {
  V x = aA1(ai(1));
  Cap c;
  tryf(aL(1), x, ai(0), quiet_app, nullptr);
  EXPECT_EQ(c.end(), "");
  zktrv = 1;
  Cap c2;
  tryf(aL(1), x, ai(0), nested_quiet, nullptr);
  std::string out = strip(c2.end());
  EXPECT_EQ(out.find("error["), 0u);
  EXPECT_EQ(out.find("error[", 1), std::string::npos);  // the inner trap stayed quiet
  EXPECT_NE(out.find("1 | y\n"), std::string::npos);
  mr(x);
}

TEST_F(Diag, ESRendersThenAppendsTheBlock) {
  V src = aCz("a+`b");
  err0("type");
  Cap c;
  eS(src, 2);
  std::string out = strip(c.end());
  EXPECT_EQ(out.substr(0, 14), "error[E0102]: ");
  EXPECT_EQ(etext(), "'type\n a+`b\n   ^\n");
  EXPECT_EQ(hd(src)->rc, 1u);  // borrowed
  // A column past the text is taken as its end.
  zkdiag = 0;
  eS(src, 99);
  EXPECT_EQ(etext(), "'type\n a+`b\n   ^\n a+`b\n     ^\n");
  mr(src);
}

// ---- output ring and error printer ----

TEST_F(Diag, RingKeepsTheNewest5000Lines) {
  rclr();
  for (int i = 1; i <= 6000; i++) {
    std::string l = "line " + std::to_string(i) + "\n";
    rfeed(l.data(), l.size());
  }
  EXPECT_EQ(g_ring_n, 5000);
  EXPECT_STREQ(rget(0), "line 1001");
  EXPECT_STREQ(rget(4999), "line 6000");
  EXPECT_EQ(g_ring_head, 1000);
  rclr();
  EXPECT_EQ(g_ring_n, 0);
  EXPECT_EQ(g_ring_head, 0);
}

TEST_F(Diag, RingFeedingRule) {
  rclr();
  struct {
    const char *in;
    const char *lines[4];
    const char *part;
  } t[] = {
      {"abc\rxyz\n", {"xyz"}, ""},
      {"a\nb", {"a"}, "b"},
      {"\n\n", {"", ""}, ""},
      {"p\r\nq\r", {""}, ""},  // CR LF gives an empty line
      {"\x1b[1mred\x1b[0m\n", {"\x1b[1mred\x1b[0m"}, ""},
  };
  for (auto &c : t) {
    rclr();
    rfeed(c.in, strlen(c.in));
    I n = 0;
    while (n < 4 && c.lines[n]) n++;
    ASSERT_EQ(g_ring_n, n) << c.in;
    for (I i = 0; i < n; i++) EXPECT_STREQ(rget(i), c.lines[i]) << c.in;
    EXPECT_EQ(std::string(g_ring_part, g_ring_plen), c.part) << c.in;
  }
  // A 20000-byte line keeps its first 16383 bytes.
  rclr();
  std::string big;
  for (int i = 0; i < 20000; i++) big += (char)('a' + i % 26);
  rfeed(big.data(), big.size());
  EXPECT_EQ(g_ring_plen, 16383);
  rfeed("\n", 1);
  EXPECT_EQ(std::string(rget(0)), big.substr(0, 16383));
  // A whole line leaves the partial line alone.
  rclr();
  rfeed("part", 4);
  rline("echo");
  EXPECT_STREQ(rget(0), "echo");
  EXPECT_EQ(std::string(g_ring_part, g_ring_plen), "part");
  rfeed("ial\n", 4);
  EXPECT_STREQ(rget(1), "partial");
}

TEST_F(Diag, EprPrintsClearsAndFeedsTheRing) {
  rclr();
  err0("type");
  eQ("a+b", 3, 1);
  g_sb_capture = 1;
  Cap c;
  epr();
  EXPECT_EQ(c.end(), "'type\n a+b\n  ^\n");
  EXPECT_EQ(elen(), 0u);
  ASSERT_EQ(g_ring_n, 3);
  EXPECT_STREQ(rget(0), "'type");
  EXPECT_STREQ(rget(2), "  ^");
  // Nothing pending: nothing written.
  Cap c2;
  epr();
  EXPECT_EQ(c2.end(), "");
  EXPECT_EQ(g_ring_n, 3);
}

TEST_F(Diag, EprAfterADiagnosticWritesNothing) {
  rclr();
  g_sb_capture = 1;
  err0("length");
  Cap c;
  eD("x,y", 3, 1);
  std::string shown = c.end();
  EXPECT_FALSE(shown.empty());
  // The diagnostic went into the ring, line by line, colours kept.
  EXPECT_EQ(g_ring_n, 7);
  EXPECT_EQ(std::string(rget(0)).find(H "error[E0103]"), 0u);
  Cap c2;
  epr();
  EXPECT_EQ(c2.end(), "");
  EXPECT_EQ(elen(), 0u);
  EXPECT_EQ(tl.zkdiagshown, 0);
  EXPECT_EQ(g_ring_n, 7);
  // Capture off: the ring is left alone.
  g_sb_capture = 0;
  err0("io");
  Cap c3;
  epr();
  EXPECT_EQ(c3.end(), "'io\n");
  EXPECT_EQ(g_ring_n, 7);
}

}  // namespace
