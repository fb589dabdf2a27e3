// Unit tests of the parser: source text against the tree it gives, printed
// in a compact text form, and bad input against its error class and caret.
//
// Tree text: a general list is "(" items joined by ";" ")", a one-item
// list (a quote) "(,x)", the empty list "()"; a name is its parts joined
// by "." and a quoted symbol vector "`a`b"; a dyadic primitive is its
// glyph, a monadic one its glyph and ":" ("::" for the generic null, "out"
// for slot 26); GAP is "gap", MKL "mkl"; adverbs are their glyphs, the
// loop markers "do" and "while"; int atoms print plainly, long atoms with
// "j", float atoms with "f" (0n, 0w, -0w), chars quoted, symbols "`s";
// vectors "v<type>[items]", char vectors quoted; temporal atoms their type
// letter and count; a compiled lambda is "L[params]" and its source text.
#include <gtest/gtest.h>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>
#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/lit.h"
#include "eval/parse.h"
#include "eval/tables.h"
#include "table/table.h"
#include "testutil.h"

using namespace zk;

namespace {

std::string fl(double d) {
  if (std::isnan(d)) return "0n";
  if (std::isinf(d)) return d > 0 ? "0w" : "-0w";
  char b[40];
  return std::string(b, std::to_chars(b, b + sizeof b, d).ptr);
}

std::string sym(I id) { return su(id); }

std::string pr(V x, bool quoted = false);

std::string vec(V x) {
  int t = tp(x);
  U n = nx(x);
  std::string s = "v" + std::to_string(t) + "[";
  for (U i = 0; i < n; i++) {
    if (i) s += " ";
    switch (t) {
      case tBOOL: s += std::to_string((P(x)[i >> 3] >> (i & 7)) & 1); break;
      case tBYTE: s += std::to_string(P<int8_t>(x)[i]); break;
      case tSHORT: s += std::to_string(P<int16_t>(x)[i]); break;
      case tINT: s += std::to_string(PI(x)[i]); break;
      case tLONG: s += PL(x)[i] == NJ ? "0N" : std::to_string(PL(x)[i]); break;
      case tFLT: s += fl(PF(x)[i]); break;
      default:
        if (Tw[t] == 5) s += std::to_string(PI(x)[i]);
        else s += std::to_string(PL(x)[i]);
    }
  }
  return s + "]";
}

std::string pr(V x, bool quoted) {
  if (x == GAP) return "gap";
  if (x == MKL) return "mkl";
  if (x == GNULL) return "::";
  int t = tp(x);
  switch (t) {
    case tINTA: return std::to_string(ip(x));
    case tLONGA: return (PL(x)[0] == NJ ? std::string("0N") : std::to_string(PL(x)[0])) + "j";
    case tFLTA: return fl(PF(x)[0]) + "f";
    case tCHRA: return std::string("\"") + (char)ip(x) + "\"";
    case tSYMA: return "`" + sym(ip(x));
    case tMONAD: return ip(x) == 26 ? "out" : std::string(vn1[ip(x)]) + ":";
    case tDYAD: return vn2[ip(x)];
    case tADV: {
      U c = (U)ip(x);
      if (c == 30) return "do";
      if (c == 31) return "while";
      static const char *g[6] = {"'", "/", "\\", "':", "/:", "\\:"};
      return c < 6 ? g[c] : "adv" + std::to_string(c);
    }
    case tCHR: return "\"" + std::string(PC(x), nx(x)) + "\"";
    case tSYM: {
      std::string s;
      for (U i = 0; i < nx(x); i++) s += (quoted ? "`" : i ? "." : "") + sym(PI(x)[i]);
      return s;
    }
    case tLAMBDA: {
      std::string s = "L[";
      V names = PA(x)[3];
      for (U i = 0; i < hd(x)->valence; i++) s += (i ? ";" : "") + sym(PI(names)[i]);
      return s + "]" + std::string(PC(PA(x)[0]), nx(PA(x)[0]));
    }
    case tLIST: {
      U n = nx(x);
      if (!n) return "()";
      if (n == 1) return "(," + pr(PA(x)[0], true) + ")";
      std::string s = "(";
      for (U i = 0; i < n; i++) s += (i ? ";" : "") + pr(PA(x)[i]);
      return s + ")";
    }
    default:
      if (t >= tBOOL && t <= tTSPAN) return vec(x);
      if (t >= tDATEA) return TS[t] + std::to_string(heap(x) ? PL(x)[0] : (J)ip(x));
      return "?" + std::to_string(t);
  }
}

using zkt::etext;

// The error class and the caret column of the first context block.
std::string eclass() {
  std::string e = etext();
  if (e.size() < 2) return "";
  return e.substr(1, e.find('\n') - 1);
}
int caret() {
  std::string e = etext();
  size_t c = e.find('^');
  if (c == std::string::npos) return -1;
  size_t ls = e.rfind('\n', c) + 1;
  return (int)(c - ls) - 1;  // the window starts after one blank
}

struct Parse : ::testing::Test {
  I q;
  void SetUp() override {
    boot_once();
    q = tl.zkdiagq;
    tl.zkdiagq = 1;  // no coded diagnostics on stderr
    tl.err_end = tl.err_text;
  }
  void TearDown() override { tl.zkdiagq = q; }
};

// Parses a whole text the way the builtin p does.
V parse(const std::string &src) {
  const char *c = src.c_str();
  return pk_(&c, 0);
}
std::string tree(const std::string &src) {
  V r = parse(src);
  if (!r) return "ERR " + eclass();
  std::string s = pr(r);
  mr(r);
  return s;
}

// Native functions of valence 2 stand in for dyadic lambdas.
using zkt::setg;
V native(int arity) { return ((V)tNATIVE << 56) | ((V)arity << 48) | 0x1000; }

struct Case {
  const char *src, *want;
};

TEST_F(Parse, Expressions) {
  setg("f2", native(2));
  setg("g1", native(1));
  const Case cs[] = {
      // statements
      {"x:1;y:2", "(gap;(:;x;1);(:;y;2))"},
      {"x:1", "(:;x;1)"},
      {"x:1\ny:2", "(gap;(:;x;1);(:;y;2))"},
      {"a;", "(gap;a;::)"},
      {"", "::"},
      {"\n", "::"},
      // right to left, verbs and nouns
      {"2+3*4", "(+;2;(*;3;4))"},
      {"f x", "(f;x)"},
      {"f g x", "(f;(g;x))"},
      {"x f2 y", "(f2;x;y)"},
      {"x g1 y", "(x;(g1;y))"},
      {"f2 y", "(f2;y)"},
      {"+", "+"},
      {"2+", "(+;2;gap)"},
      {"-x", "(-:;x)"},
      {"+/", "(/;+)"},
      {"+/x", "((/;+);x)"},
      {"x+/y", "((/;+);x;y)"},
      {"x-1", "(-;x;1)"},
      {"x -1", "(x;-1)"},
      {"x- 1", "(-;x;1)"},
      {"a[1]-1", "(-;(a;1);1)"},
      {"(x)-1", "(-;x;1)"},
      {"\"a\"-1", "(-;\"a\";1)"},
      {"1 -1", "v4[1 -1]"},
      {"1 - 1", "(-;1;1)"},
      // brackets
      {"f[]", "(f;::)"},
      {"f[;1]", "(f;gap;1)"},
      {"f[1;;2]", "(f;1;gap;2)"},
      {"f[1;2]", "(f;1;2)"},
      {"f [x]", "(f;x)"},
      {"f[x][y]", "((f;x);y)"},
      {"f[x;\ny]", "(f;x;y)"},
      {"f[x;\n\n y]", "(f;x;y)"},
      {"+[1]", "(+;1;gap)"},
      {"$[1]", "($:;1)"},
      {"$[c;a;b]", "($;c;a;b)"},
      {"[a;b]", "(gap;a;b)"},
      {"x[i]:3", "(:;(x;i);3)"},
      // assignment forms
      {"x+:1", "(+:;x;1)"},
      {"x::1", "(::;x;1)"},
      {"x:+", "(:;x;+)"},
      {"a.b:1", "(:;a.b;1)"},
      // adverbs on verbs and nouns, compositions
      {"f'x", "((';f);x)"},
      {"x,'y", "((';,);x;y)"},
      {"f/x", "((/;f);x)"},
      {"x/y", "((/;x);y)"},
      {"+\\x", "((\\;+);x)"},
      {"f':x", "((':;f);x)"},
      {"x,/:y", "((/:;,);x;y)"},
      {"x,\\:y", "((\\:;,);x;y)"},
      {"+//", "(/;(/;+))"},
      {"(/)", "/"},
      {"'", "Q.sig"},
      {"- +", "(';-:;+)"},
      {"2* -", "(';(*;2;gap);-)"},
      {"f g -", "(';f;(-;g;gap))"},
      {"x:-", "(:;x;-)"},
      {"(+)", "+"},
      {"(+) 1", "(+:;1)"},
      // pm of each: the operand becomes monadic too
      {"+'[x]", "((';+:);x)"},
      // parentheses and lists
      {"()", "()"},
      {"( )", "()"},
      {"(1)", "1"},
      {"(1;2)", "(mkl;1;2)"},
      {"(1;;2)", "(mkl;1;::;2)"},
      {"(1;2;)", "(mkl;1;2;::)"},
      {"(1\n;2)", "(mkl;1;2)"},
      {"(1;\n2)", "(mkl;1;2)"},
      {"(\n1\n\n2\n)", "(mkl;1;2)"},
      {"(\n)", "()"},
      {"((1;2);3)", "(mkl;(mkl;1;2);3)"},
      // numbers and literals
      {"1 2 3", "v4[1 2 3]"},
      {"1 2 300", "v5[1 2 300]"},
      {"1 2 100000", "v6[1 2 100000]"},
      {"1 2 10000000000", "v7[1 2 10000000000]"},
      {"1 2.5", "v8[1 2.5]"},
      {"1 2 0w", "v8[1 2 0w]"},
      {"1 0n 2", "v8[1 0n 2]"},
      {"1 0N 2.5", "v8[1 0n 2.5]"},
      {"5", "5"},
      {"5h", "5"},
      {"5i", "5"},
      {"5j", "5"},
      {"-5", "-5"},
      {"10000000000", "10000000000j"},
      {"0N", "0Nj"},
      {"0W", "9223372036854775807j"},
      {"-0W", "-9223372036854775807j"},
      {"1 0N", "v7[1 0N]"},
      {"0N 1", "v7[0N 1]"},
      {"0N 1.5", "v8[0n 1.5]"},
      {"2.5", "2.5f"},
      {"0n", "0nf"},
      {"0w", "0wf"},
      {"-0w", "-0wf"},
      {"1e-2", "0.01f"},
      {"1e+2", "(+;1f;2)"},
      {".5", "(.:;5)"},
      {"0101b", "v4[0 1 0 1]"},
      {"0101B", "v3[0 1 0 1]"},
      {"1b", "1"},
      {"1 0 1b 2", "v4[1 0 1 2]"},
      {"1.5 01b", "v8[1.5 0 1]"},
      {"0x0102ff", "\"\x01\x02\xff\""},
      {"0x41", "\"A\""},
      {"0x", "\"\""},
      {"\"a\"", "\"a\""},
      {"\"ab\"", "\"ab\""},
      {"\"\"", "\"\""},
      {"\"a\\nb\\t\\\\\\\"\"", "\"a\nb\t\\\"\""},
      {"`a", "`a"},
      {"`a`b", "(,`a`b)"},
      {"`a `b", "(,`a`b)"},
      {"` ", "`"},
      {"`", "`"},
      {"`a.b", "`a.b"},
      {"`.a.b`c", "(,`.a.b`c)"},
      {"`\"x y\"", "`x y"},
      {"`:a/b.csv", "`:a/b.csv"},
      {"`a`b 1", "((,`a`b);1)"},
      // names and special names
      {"a.b.c", "a.b.c"},
      {"a.b.c.d.e.f.g.h", "a.b.c.d.e.f.g.h"},
      {"a>=b", "(Q.ge;a;b)"},
      {"a<>b", "(Q.ne;a;b)"},
      {"a<=b", "(Q.le;a;b)"},
      {"a <= b", "(Q.le;a;b)"},
      {"(a)>=b", "(Q.ge;a;b)"},
      {"a<b", "(<;a;b)"},
      {">=b", "(>:;(=:;b))"},
      {"<>b", "(<:;(>:;b))"},
      {"'x", "(Q.sig;x)"},
      {"'[f;g]", "(Q.cmp;f;g)"},
      {"'[f]", "(Q.cmp;f)"},
      {"(';x)", "(mkl;Q.sig;x)"},
      {".z.p", "(z.p;::)"},
      {".z.P", "(z.P;::)"},
      {".z.pi", "z.pi"},
      {".z.p[1]", "(z.p;1)"},
      {".z.s", "o"},
      {".Q.x", "Q.x"},
      {".h.x", "h.x"},
      {".q.x", "(.:;q.x)"},
      {".a", "(.:;a)"},
      {"x in y", "(in;x;y)"},
      {"x within y", "(within;x;y)"},
      {"x xdesc y", "(xdesc;x;y)"},
      {"in x", "(in;x)"},
      {"x in:y", "(x;(:;in;y))"},
      // control words
      {"if[c;a;b]", "($;c;(gap;a;b);::)"},
      {"if[c]", "($;c;::;::)"},
      {"do[3;a;b]", "(do;3;a;b)"},
      {"do[3]", "(do;3;::)"},
      {"while[c]", "(while;c;::)"},
      {"while[c;a]", "(while;c;a)"},
      {"iff[c]", "(iff;c)"},
      // table and dict literals
      {"([] a:1 2; b:3 4)", "(+:;(!;(,`a`b);(mkl;v4[1 2];v4[3 4])))"},
      {"([k:1 2] v:3 4)", "(!;(+:;(!;(,`k);(mkl;v4[1 2])));(+:;(!;(,`v);(mkl;v4[3 4]))))"},
      {"([]\n a:1;\n b:2\n )", "(+:;(!;(,`a`b);(mkl;1;2)))"},
      {"([])", "(+:;(!;(,);()))"},
      // comments
      {"x /c", "x"},
      {"x / c", "x"},
      {"/c", "::"},
      {"x+ /c", "(+;x;gap)"},
      {"x:1 /c\ny:2", "(gap;(:;x;1);(:;y;2))"},
      {"x\n/\nskipped\n\\\ny", "(gap;x;y)"},
      {"/\n\\\nx", "x"},
      // file verbs, trace, unicode names
      {"0:x", "(0::;x)"},
      {"x 1: y", "(1:;x;y)"},
      {"1::x", "(1::;x)"},
      {"x \\y", "(x;(out;y))"},
      {"\\y", "(\\;y)"},
      {"x\xe2\x86\x92y", "(\xe2\x86\x92;x;y)"},
      {"\xe2\x86\x92y", "(\xe2\x86\x92:;y)"},
      {"\xd0\xb4\xd0\xb0 1", "(\xd0\xb4\xd0\xb0;1)"},
  };
  for (const Case &c : cs) {
    if (!*c.want) continue;
    EXPECT_EQ(tree(c.src), c.want) << "source: " << c.src;
  }
}

// Source columns: names carry their first character's, applications built
// for a verb the verb's, juxtaposition its argument's, bracket lists the
// bracket's; inside a lambda they count from the brace (tested with the
// compiler below).
TEST_F(Parse, Columns) {
  V r = parse("ab + cd");
  ASSERT_TRUE(r);
  EXPECT_EQ(hd(r)->column, 3);
  EXPECT_EQ(hd(PA(r)[1])->column, 0);
  EXPECT_EQ(hd(PA(r)[2])->column, 5);
  mr(r);
  r = parse("f  x");
  EXPECT_EQ(hd(r)->column, 3);
  EXPECT_EQ(hd(PA(r)[0])->column, 0);
  mr(r);
  r = parse("f[x]");
  EXPECT_EQ(hd(r)->column, 1);
  mr(r);
  r = parse("x;  y");  // each statement counts from the text start
  EXPECT_EQ(hd(PA(r)[2])->column, 4);
  mr(r);
  // Modulo 256.
  r = parse(std::string(300, ' ') + "x");
  EXPECT_EQ(hd(r)->column, 300 & 255);
  mr(r);
}

// The minus sign right after a lambda's parameter list always starts a
// literal; checked here at the expression level with the state a lambda
// sets up.
TEST_F(Parse, MinusAfterParameterList) {
  const char *src = "{[a]-1}";
  Pz sv = pz;
  pz.ts = src, pz.s = src + 4, pz.ppe = src + 4, pz.pd = 0, pz.pfrm = 0, pz.k = 1;
  G f = 0;
  V r = pe_(0, &f);
  ASSERT_TRUE(r);
  EXPECT_EQ(pr(r), "-1");
  mr(r);
  pz.s = src + 4, pz.ppe = 0;
  r = pe_(0, &f);
  EXPECT_EQ(pr(r), "(-:;1)");
  mr(r);
  pz = sv;
}

// A call by juxtaposition and the cursor: pk_ with the newline terminator
// reads one line and leaves the cursor after it.
TEST_F(Parse, OneLineAtATime) {
  const char *src = "a:1;b\nc\n";
  const char *c = src;
  V r = pk_(&c, '\n');
  EXPECT_EQ(pr(r), "(gap;(:;a;1);b)");
  EXPECT_EQ(c, src + 6);
  mr(r);
  r = pk_(&c, '\n');
  EXPECT_EQ(pr(r), "c");
  EXPECT_EQ(c, src + 8);
  mr(r);
  r = pk_(&c, '\n');  // at the end: nothing, the cursor stays on the NUL
  EXPECT_EQ(pr(r), "::");
  EXPECT_EQ(c, src + 8);
  mr(r);
  // Brackets and parentheses may span lines.
  src = "f[1;\n2]\nx";
  c = src;
  r = pk_(&c, '\n');
  EXPECT_EQ(pr(r), "(f;1;2)");
  EXPECT_EQ(*c, 'x');
  mr(r);
  // Blank lines inside a statement list of the whole text vanish.
  EXPECT_EQ(tree("a\n\n\nb"), "(gap;a;b)");
}

struct Bad {
  const char *src, *cls;
  int col;
};

TEST_F(Parse, Errors) {
  std::string deep = std::string(520, '(') + "1" + std::string(520, ')');
  std::string deepok = std::string(200, '(') + "1" + std::string(200, ')');
  std::string many = "1";
  for (int i = 0; i < 600; i++) many += "+1";
  std::string chain = "f";
  for (int i = 0; i < 600; i++) chain += "[1]";
  std::string cols = "([] ";
  for (int i = 0; i < 257; i++) cols += "c" + std::to_string(i) + ":1;";
  cols += ")";
  std::string cols256 = "([] ";
  for (int i = 0; i < 256; i++) cols256 += "c" + std::to_string(i) + ":1;";
  cols256 += ")";
  const Bad bs[] = {
      {"(1;2", "parse", 4},
      {"1)", "parse", 1},
      {"f[1;2)", "parse", 5},
      {"(1;2]", "parse", 4},
      {"{x", "parse", 2},
      {"\"abc", "parse", 0},
      {"x:\"ab\\", "parse", 2},
      {"9:x", "parse", 0},
      {"6:x", "parse", 0},
      {"x+:", "parse", 3},
      {"x::", "parse", 3},
      {"if[]", "parse", 4},
      {"while[\n]", "parse", 8},
      {"9223372036854775808", "limit", 19},
      {"1 9223372036854775808 2", "limit", 23},
      {"a.b.c.d.e.f.g.h.i", "limit", 16},
      {"/\nx", "parse", 0},
      {"([] a 1)", "parse", 5},
      {"([] 1:2)", "parse", 4},
      {"([] a:)", "parse", 6},
      {"([] a:1 2", "parse", 9},
      {"x\x01", "parse", 1},
      {"0x123", "length", 0},
      {"0xzz", "domain", 0},
      {"2001.02.29", "parse", 0},
      {"12:60", "parse", 0},
      {"596:31:23.648", "limit", 0},
      {"2000.13m", "parse", 0},
      {"106751D23:47:16.854775808", "limit", 0},
      {"x -1D12:60", "parse", 2},
      {"2000.01 2000.13m", "parse", 8},
      {"0N 5881610.07.12", "limit", 3},
      {deep.c_str(), "limit", 512},
      {many.c_str(), "limit", -2},
      {chain.c_str(), "limit", -2},
      {cols.c_str(), "limit", -2},
  };
  for (const Bad &b : bs) {
    tl.err_end = tl.err_text;
    const char *c = b.src;
    V r = pk_(&c, 0);
    EXPECT_EQ(r, 0u) << b.src;
    if (r) mr(r);
    EXPECT_EQ(eclass(), b.cls) << b.src;
    if (b.col >= 0) { EXPECT_EQ(c, b.src + b.col) << b.src; }
    // The caret counts from the line start when the window reaches it.
    if (b.col >= 0 && b.col < 64 && !memchr(b.src, '\n', b.col)) { EXPECT_EQ(caret(), b.col) << b.src; }
  }
  // Just inside the limits.
  EXPECT_EQ(tree(deepok), "1");
  V r = parse(cols256);
  ASSERT_TRUE(r);
  EXPECT_EQ(nx(PA(PA(PA(r)[1])[1])[0]), 256u);
  mr(r);
}

// The caret counts from the statement, and the error text holds the line.
TEST_F(Parse, ErrorContext) {
  const char *src = "a:1\nb:(2;3";
  const char *c = src;
  V r = pk_(&c, '\n');
  ASSERT_TRUE(r);
  mr(r);
  r = pk_(&c, '\n');
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(etext(), "'parse\n b:(2;3\n       ^\n");
}

TEST_F(Parse, BuiltinP) {
  V r = qp(aCz("1+2;x"));
  EXPECT_EQ(pr(r), "(gap;(+;1;2);x)");
  mr(r);
  r = qp(aCz("a\nb"));
  EXPECT_EQ(pr(r), "(gap;a;b)");
  mr(r);
  r = qp(_r(ce[tCHR]));
  EXPECT_EQ(pr(r), "::");
  mr(r);
  // A shared argument is left as it was.
  V s = aCz("x+1");
  _r(s);
  r = qp(s);
  EXPECT_EQ(pr(r), "(+;x;1)");
  EXPECT_EQ(nx(s), 3u);
  EXPECT_EQ(hd(s)->rc, 1u);
  mr(r);
  mr(s);
  EXPECT_EQ(qp(ai(1)), 0u);
  EXPECT_EQ(eclass(), "type");
  EXPECT_EQ(qp(aCz("(1")), 0u);
  EXPECT_EQ(eclass(), "parse");
}

// pm: the monadic form of a term.
TEST_F(Parse, MonadicForm) {
  EXPECT_EQ(pm(mp2(3)), mp1(3));
  EXPECT_EQ(pm(mp1(3)), mp1(3));
  I id = us("\xe2\x86\x92");
  V n = aV(tSYM, 1, &id);
  hd(n)->column = 7;
  V m = pm(n);
  EXPECT_EQ(pr(m), "\xe2\x86\x92:");
  EXPECT_EQ(hd(m)->column, 7);
  mr(m);
  // A shared derived verb is copied before its operand changes.
  V d = aA2(imm(tADV, 0), mp2(1));
  _r(d);
  V e = pm(d);
  EXPECT_NE(e, d);
  EXPECT_EQ(pr(d), "(';+)");
  EXPECT_EQ(pr(e), "(';+:)");
  mr(d), mr(e);
}

// Lambda literals compile while parsed.
TEST_F(Parse, Lambdas) {
  const Case cs[] = {
      {"{x+y}", "L[x;y]{x+y}"},
      {"{z}", "L[x;y;z]{z}"},
      {"{1}", "L[x]{1}"},
      {"{[a;b] a}", "L[a;b]{[a;b] a}"},
      {"{[] 1}", "L[]{[] 1}"},
      {"{[a]-1}", "L[a]{[a]-1}"},
      {"{a;}", "L[x]{a;}"},
      {"{\n a\n\n b\n}", "L[x]{\n a\n\n b\n}"},
      {"f:{x*y}", "(:;f;L[x;y]{x*y})"},
      {"{x}[1]", "(L[x]{x};1)"},
      {"{{y}x}", "L[x]{{y}x}"},
      {"{[if] if[1]}", "L[if]{[if] if[1]}"},
  };
  for (const Case &c : cs) EXPECT_EQ(tree(c.src), c.want) << "source: " << c.src;
  // A lambda's caret points into the statement, its parameters limited.
  const Bad bs[] = {
      {"{[a;b;c;d;e;f;g;h;i] 1}", "limit", 19},
      {"{[a;b}", "parse", 5},
      {"1+{x)}", "parse", 4},
  };
  for (const Bad &b : bs) {
    tl.err_end = tl.err_text;
    const char *c = b.src;
    EXPECT_EQ(pk_(&c, 0), 0u) << b.src;
    EXPECT_EQ(eclass(), b.cls) << b.src;
    EXPECT_EQ(caret(), b.col) << b.src;
  }
}

// Statement lists and bracket lists read directly: what a lambda body and
// an argument list are made of.
TEST_F(Parse, ListsDirect) {
  struct L {
    const char *src;
    char term;
    const char *want;
  } ls[] = {
      {"a;}", '}', "(gap;a;::)"},
      {"a\n\n b}", '}', "(gap;a;b)"},
      {"\n a;\n b\n}", '}', "(gap;a;b)"},
      {"}", '}', "(gap;::)"},
      {";}", '}', "(gap;::;::)"},
      {"a;;b]", ']', "(gap;a;gap;b)"},
      {"\na\n]", ']', "(gap;a)"},
      {"a;\n]", ']', "(gap;a)"},
      {"]", ']', "(gap;gap)"},
      {";]", ']', "(gap;gap;gap)"},
  };
  Pz sv = pz;
  for (const L &l : ls) {
    pz.s = pz.ts = l.src, pz.pd = 0, pz.pfrm = 0, pz.ppe = 0, pz.k = 1;
    V r = pb(GAP, l.term);
    ASSERT_TRUE(r) << l.src;
    EXPECT_EQ(pr(r), l.want) << l.src;
    EXPECT_EQ(pz.s, l.src + strlen(l.src)) << l.src;  // past the terminator
    mr(r);
  }
  pz = sv;
}

// Whether a name is used infix is decided at parse time by what its
// global holds, in the current namespace unless root mode is on.
TEST_F(Parse, NamesAsVerbs) {
  V l2 = parse("{x+y}"), l1 = parse("{x}");
  ASSERT_TRUE(l2 && l1);
  setg("add2", l2);
  setg("id1", l1);
  EXPECT_EQ(tree("1 add2 2"), "(add2;1;2)");
  EXPECT_EQ(tree("1 id1 2"), "(1;(id1;2))");
  EXPECT_EQ(tree("{[add2] 1 add2 2}"), "L[add2]{[add2] 1 add2 2}");
  EXPECT_EQ(tree("1 add2: 2"), "(1;(:;add2;2))");
  setg("dy30", mp2(30));
  setg("dy3", mp2(3));
  EXPECT_EQ(tree("1 dy30 2"), "(dy30;1;2)");
  EXPECT_EQ(tree("1 dy3 2"), "(1;(dy3;2))");
  // An infix word stays a verb unless its global holds something else.
  setg("like", ai(1));
  EXPECT_EQ(tree("x like y"), "(x;(like;y))");
  setg("like", native(2));
  EXPECT_EQ(tree("x like y"), "(like;x;y)");
  setg("like", 0);
  EXPECT_EQ(tree("x like y"), "(like;x;y)");
  // Namespaces: plain names are looked up in the current one.
  I ns = us("pns");
  gd = ns;
  setg("h2", native(2));
  EXPECT_EQ(tree("x h2 y"), "(h2;x;y)");
  tl.groot = 1;
  EXPECT_EQ(tree("x h2 y"), "(x;(h2;y))");
  tl.groot = 0;
  gd = 0;
  EXPECT_EQ(tree("x h2 y"), "(x;(h2;y))");
  EXPECT_EQ(tree("x pns.h2 y"), "(pns.h2;x;y)");
  // Longer than 63 bytes: never a verb.
  std::string lng(64, 'v');
  setg(lng.c_str(), native(2));
  EXPECT_EQ(tree("x " + lng + " y"), "(x;(" + lng + ";y))");
}

// Blocks on this thread's free lists, by size class: a parse and release
// repeated after a warm-up must hand back every block it took, on success
// and on every failure path.
std::vector<U> freeblocks() {
  std::vector<U> n(24);
  for (int k = 0; k < 24; k++)
    for (V d = tl.bkt[k]; d; d = hd(d)->link) n[k]++;
  return n;
}

TEST_F(Parse, NothingLeaks) {
  setg("f2", native(2));
  const char *srcs[] = {
      "x:1;y:2",           "f[1;;2]+g'[x]",    "{[a;b] a+b*c}[1]",   "([k:1 2] v:`a`b)",
      "1 2 3.5 0w",        "\"abc\" ,/: `x`y", "if[c;a;b];do[2;x]", "x f2 y;.z.p;'[f;g]",
      "- +",               "+'[x]",            "(1;(2;3);\"s\")",   "0x0102 0101B",
      // failures
      "(1;2",              "f[1;2)",           "{x",                 "\"abc",
      "x+:",               "if[]",             "9223372036854775808", "a.b.c.d.e.f.g.h.i",
      "([] a 1)",          "([] a:1;b:)",      "{[a;b;c;d;e;f;g;h;i] 1}", "1+{x)}",
      "0x123",             "2000.01.01",       "f[(1;{x+)]",         "`a`\"b",
  };
  for (const char *src : srcs) {
    for (int i = 0; i < 2; i++) {
      std::vector<U> before = freeblocks();
      V r = parse(src);
      if (r) mr(r);
      if (i) { EXPECT_EQ(freeblocks(), before) << src; }
    }
  }
}

// Threads in shared mode serialise on g_parse_mx: the process-wide parser
// state is never torn between two parses.
TEST_F(Parse, SharedModeThreadsSerialise) {
  const char *src = "f[x;{x+y}]+1 2 3;`a`b;([] c:\"xy\")";
  const std::string want = tree(src);
  ASSERT_EQ(want, "(gap;(+;(f;x;L[x;y]{x+y});v4[1 2 3]);(,`a`b);(+:;(!;(,`c);(mkl;\"xy\"))))");
  std::vector<std::thread> th;
  std::vector<int> bad(4);
  std::atomic<int> ready{0};
  for (int t = 0; t < 4; t++)
    th.emplace_back([&, t] {
      tl.rc_sync = 1;
      tl.zkdiagq = 1;
      for (ready++; ready < 4;) std::this_thread::yield();
      for (int i = 0; i < 3000; i++) {
        V r = qp(aCz(src));
        if (!r || pr(r) != want) bad[t]++;
        if (r) mr(r);
      }
      tl.rc_sync = 0;
    });
  for (auto &x : th) x.join();
  for (int t = 0; t < 4; t++) EXPECT_EQ(bad[t], 0) << t;
}

// Runs of temporal literals: one type per run, an untyped 0N is that
// type's null, bare months count only in a run fixed by an m item, and a
// literal of another type ends the run.
TEST_F(Parse, TemporalRuns) {
  const Case cs[] = {
      {"2000.01.02", "d1"},
      {"2000.01.01 2000.01.03", "v11[0 2]"},
      {"2000.01.01 0N 2000.01.02", "v11[0 -2147483648 1]"},
      {"0N 2000.01.01", "v11[-2147483648 0]"},
      {"0N 0N", "v7[0N 0N]"},
      {"2000.01 2000.02m", "v16[0 1]"},
      {"2000.02m 2000.01", "v16[1 0]"},
      {"12:30 12:31", "v14[750 751]"},
      {"-12:30", "h-750"},
      {"2000.01.01 12:30", "(d0;h750)"},
      {"2000.01 2000.02", "v8[2000.01 2000.02]"},
  };
  for (const Case &c : cs) EXPECT_EQ(tree(c.src), c.want) << "source: " << c.src;
}

}  // namespace
