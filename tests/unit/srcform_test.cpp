// srcform_test.cpp: the source form (kst), `$` (str), tqs, qst and the
// printer out.  Tables of values built with the core constructors against
// the exact text; ownership (arguments consumed, nothing leaked); the
// printer against what reaches descriptor 1; and a round trip: the source
// form parsed, compiled and run gives a value that matches the original.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/parse.h"
#include "eval/tables.h"
#include "io/io.h"
#include "list/list.h"
#include "order/order.h"
#include "vmutil.h"

namespace zk {
namespace {

using vmt::boot;
using zkt::etext;

// Text of a char vector, consumed; "<fail: error>" for 0.
std::string txt(V s) {
  if (!s) {
    std::string e = "<fail: " + etext() + ">";
    eclr();
    return e;
  }
  EXPECT_EQ(tp(s), tCHR);
  std::string r = tp(s) == tCHR ? std::string(PC(s), nx(s)) : "<type " + std::to_string(tp(s)) + ">";
  mr(s);
  return r;
}

std::string ks(V x) { return txt(kst(x)); }

// ---- constructors ----
// aV copies from a C array; an empty std::vector may have no array.
template <class T> V vec(int t, const std::vector<T> &a) {
  static const J none = 0;
  return aV(t, (U)a.size(), a.empty() ? (const void *)&none : (const void *)a.data());
}
V lv(std::vector<J> a) { return vec(tLONG, a); }
V iv(std::vector<I> a) { return vec(tINT, a); }
V bv(std::vector<int8_t> a) { return vec(tBYTE, a); }
V hv(std::vector<int16_t> a) { return vec(tSHORT, a); }
V fv(std::vector<F> a) { return vec(tFLT, a); }
V cz(const std::string &s) { return aCn(s.data(), (U)s.size()); }
V sy(const char *s) { return as(us(s)); }
V sv(std::vector<const char *> a) {
  std::vector<I> ids;
  for (auto s : a) ids.push_back(us(s));
  return vec(tSYM, ids);
}
V bools(std::vector<int> a) {
  V r = an((U)a.size(), tBOOL);
  memset(P(r), 0, 8);
  for (size_t i = 0; i < a.size(); i++)
    if (a[i]) P(r)[i >> 3] |= (G)(1u << (i & 7));
  return r;
}
// 32-bit temporal vector of type t (11, 12, 14, 15, 16) and 64-bit (13, 17).
V tv(int t, std::vector<I> a) { return vec(t, a); }
V tw(int t, std::vector<J> a) { return vec(t, a); }
V ta(int t, I v) { return imm(t, (U)v); }  // 32-bit temporal atom
V tj(int t, J v) {                          // timestamp or timespan atom
  V r = an(1, t);
  PL(r)[0] = v;
  return r;
}
V list(std::vector<V> a) {
  if (a.empty()) return aA0(0);
  return aV(tLIST, (U)a.size(), a.data());
}
V dict(V k, V v) { return am(k, v); }
V table(V names, std::vector<V> cols) { return aM(names, list(cols)); }
// A stand-in lambda: what the printer reads of one is its source text.
V lam(const char *src, int valence) {
  V r = an(1, tLAMBDA);
  PA(r)[0] = aCz(src);
  hd(r)->valence = (G)valence;
  return r;
}
V proj(std::vector<V> parts, int valence) {
  V r = list(parts);
  hd(r)->type = tPROJ;
  hd(r)->valence = (G)valence;
  return r;
}
V deriv(V f, int adv) {
  V r = an(1, tDERIV);
  PA(r)[0] = f;
  hd(r)->adverb = (G)adv;
  hd(r)->valence = 1;
  return r;
}
V comp(V f, V g) {
  V r = aA2(f, g);
  hd(r)->type = tCOMP;
  hd(r)->valence = 1;
  return r;
}

const F NaN = std::nan("");
const F INF = HUGE_VAL;
constexpr I D2024 = 8766;  // 2024.01.01 in days since 2000.01.01
constexpr I M2024 = 288;   // 2024.01 in months since 2000.01

struct Row {
  std::function<V()> make;
  const char *want;
};

void check(const std::vector<Row> &rows, V (*fn)(V)) {
  for (size_t i = 0; i < rows.size(); i++) EXPECT_EQ(txt(fn(rows[i].make())), rows[i].want) << "row " << i;
}

// ---------------------------------------------------------------- atoms

TEST(Srcform, Atoms) {
  boot();
  std::vector<Row> rows = {
      {[] { return ai(5); }, "5"},
      {[] { return ai(-1); }, "-1"},
      {[] { return al(NJ); }, "0N"},
      {[] { return al(WJ); }, "9223372036854775807"},
      {[] { return al(-WJ); }, "-9223372036854775807"},
      {[] { return al(3000000000LL); }, "3000000000"},
      {[] { return af(1.5); }, "1.5"},
      {[] { return af(1.0); }, "1.0"},
      {[] { return af(-0.0); }, "-0.0"},
      {[] { return af(NaN); }, "0n"},
      {[] { return af(INF); }, "0w"},
      {[] { return af(-INF); }, "-0w"},
      {[] { return af(1e16); }, "1e16"},
      {[] { return ac('a'); }, "\"a\""},
      {[] { return ac('"'); }, "\"\\\"\""},
      {[] { return ac('\\'); }, "\"\\\\\""},
      {[] { return ac('\n'); }, "\"\\n\""},
      {[] { return ac(0); }, "\"\\0\""},
      {[] { return ac(1); }, "0x01"},
      {[] { return ac((char)0xE9); }, "0xe9"},
      {[] { return GNULL; }, "::"},
  };
  check(rows, kst);
}

TEST(Srcform, Symbols) {
  boot();
  std::vector<Row> rows = {
      {[] { return sy("abc"); }, "`abc"},
      {[] { return sy("x1"); }, "`x1"},
      {[] { return sy(""); }, "`"},
      {[] { return sy("a b"); }, "`\"a b\""},
      {[] { return sy("a.b"); }, "`\"a.b\""},
      {[] { return sy("1x"); }, "`\"1x\""},
      {[] { return sy("a_b"); }, "`\"a_b\""},
      {[] { return sy("a\"b"); }, "`\"a\\\"b\""},
      {[] { return sy("a\tb"); }, "`\"a\\tb\""},
      {[] { return sy("a\x01"); }, "`\"a\x01\""},  // symbol mode copies control bytes
      {[] { return sy("averyveryverylongname"); }, "`averyveryverylongname"},
      // Cyrillic letters are name characters; other UTF-8 letters are not.
      {[] { return sy("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"); },
       "`\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
      {[] { return sy("a\xD1\x8F" "1"); }, "`a\xD1\x8F" "1"},
      {[] { return sy("\xC3\xA9"); }, "`\"\xC3\xA9\""},
      {[] { return sy("a\xD0"); }, "`\"a\xD0\""},  // a lead byte alone is no letter
      {[] { return sv({"a", "b"}); }, "`a`b"},
      {[] { return sv({"a"}); }, ",`a"},
      {[] { return sv({"a b"}); }, ",`\"a b\""},
      {[] { return sv({}); }, "0#`"},
      {[] { return sv({"a", "", "b c", ""}); }, "`a``\"b c\"`"},
      {[] { return sv({"", ""}); }, "``"},
  };
  check(rows, kst);
}

TEST(Srcform, Temporal) {
  boot();
  std::vector<Row> rows = {
      {[] { return ta(tDATEA, 0); }, "2000.01.01"},
      {[] { return ta(tDATEA, D2024); }, "2024.01.01"},
      {[] { return ta(tDATEA, NI); }, "0Nd"},
      {[] { return ta(tTIMEA, -1); }, "-00:00:00.001"},
      {[] { return ta(tTIMEA, NI); }, "0Nt"},
      {[] { return ta(tMINUTEA, 61); }, "01:01"},
      {[] { return ta(tMINUTEA, NI); }, "0Nu"},
      {[] { return ta(tSECONDA, 3661); }, "01:01:01"},
      {[] { return ta(tSECONDA, NI); }, "0Nv"},
      {[] { return ta(tMONTHA, 0); }, "2000.01m"},
      {[] { return ta(tMONTHA, -1); }, "1999.12m"},
      {[] { return ta(tMONTHA, NI); }, "0Nm"},
      {[] { return tj(tTSTAMPA, -1); }, "1999.12.31D23:59:59.999999999"},
      {[] { return tj(tTSTAMPA, NJ); }, "0Np"},
      {[] { return tj(tTSPANA, 0); }, "0D00:00:00.000000000"},
      {[] { return tj(tTSPANA, -1000000000); }, "-0D00:00:01.000000000"},
      {[] { return tj(tTSPANA, NJ); }, "0Nn"},
      // vectors of two or more
      {[] { return tv(tDATE, {D2024, NI}); }, "2024.01.01 0N"},
      {[] { return tv(tDATE, {NI, NI}); }, "0N 0Nd"},
      {[] { return tv(tMONTH, {M2024, M2024 + 1}); }, "2024.01 2024.02m"},
      {[] { return tv(tMONTH, {M2024, NI}); }, "2024.01 0Nm"},
      {[] { return tv(tMONTH, {NI, NI}); }, "0N 0Nm"},
      {[] { return tv(tTIME, {0, 90000000, NI}); }, "00:00:00.000 25:00:00.000 0N"},
      {[] { return tv(tTIME, {NI, NI}); }, "0N 0Nt"},
      {[] { return tv(tMINUTE, {0, -1}); }, "00:00 -00:01"},
      {[] { return tv(tMINUTE, {NI, NI}); }, "0N 0Nu"},
      {[] { return tv(tSECOND, {59, NI}); }, "00:00:59 0N"},
      {[] { return tv(tSECOND, {NI, NI}); }, "0N 0Nv"},
      {[] { return tw(tTSTAMP, {0, NJ}); }, "2000.01.01D00:00:00.000000000 0N"},
      {[] { return tw(tTSTAMP, {NJ, NJ}); }, "0N 0Np"},
      {[] { return tw(tTSPAN, {1, 86400000000000LL}); }, "0D00:00:00.000000001 1D00:00:00.000000000"},
      {[] { return tw(tTSPAN, {NJ, NJ}); }, "0N 0Nn"},
      // one item: the one-item form of the atom, with its null letter or m
      {[] { return tv(tDATE, {D2024}); }, ",2024.01.01"},
      {[] { return tv(tDATE, {NI}); }, ",0Nd"},
      {[] { return tv(tMONTH, {M2024}); }, ",2024.01m"},
      {[] { return tw(tTSPAN, {NJ}); }, ",0Nn"},
      // empties name their type
      {[] { return tv(tDATE, {}); }, "`date$()"},
      {[] { return tv(tTIME, {}); }, "`time$()"},
      {[] { return tw(tTSTAMP, {}); }, "`timestamp$()"},
      {[] { return tv(tMINUTE, {}); }, "`minute$()"},
      {[] { return tv(tSECOND, {}); }, "`second$()"},
      {[] { return tv(tMONTH, {}); }, "`month$()"},
      {[] { return tw(tTSPAN, {}); }, "`timespan$()"},
      // a general list of temporal atoms of one type reads as their vector
      {[] { return list({ta(tDATEA, D2024), ta(tDATEA, D2024 + 1)}); }, "2024.01.01 2024.01.02"},
      {[] { return list({ta(tMONTHA, M2024), ta(tMONTHA, M2024 + 1)}); }, "2024.01m 2024.02m"},
      {[] { return list({ta(tDATEA, D2024), ta(tMONTHA, M2024)}); }, "(2024.01.01;2024.01m)"},
      {[] { return list({ta(tDATEA, D2024)}); }, ",2024.01.01"},
  };
  check(rows, kst);
}

TEST(Srcform, NumericVectors) {
  boot();
  std::vector<Row> rows = {
      {[] { return lv({1, 2, 3}); }, "1 2 3"},
      {[] { return lv({1}); }, ",1"},
      {[] { return lv({}); }, "!0"},
      {[] { return lv({NJ, 5, WJ, -WJ}); }, "0N 5 9223372036854775807 -9223372036854775807"},
      {[] { return iv({-7, 8}); }, "-7 8"},
      {[] { return iv({}); }, "!0"},
      {[] { return hv({300, -300}); }, "300 -300"},
      {[] { return bv({-128, 127}); }, "-128 127"},
      {[] { return bv({}); }, "!0"},
      {[] { return bools({1, 0, 1}); }, "1 0 1"},
      {[] { return bools({0}); }, ",0"},
      {[] { return bools({}); }, "!0"},
      {[] { return aE(3, 6); }, "3 4 5"},
      {[] { return aE(-2, -1); }, ",-2"},
      {[] { return fv({1.0, 2.0}); }, "1.0 2.0"},
      {[] { return fv({1.5, 2.0, NaN, INF}); }, "1.5 2.0 0n 0w"},
      {[] { return fv({-INF, 0.1, 1e-4}); }, "-0w 0.1 1e-4"},
      {[] { return fv({1.5}); }, ",1.5"},
      {[] { return fv({NaN}); }, ",0n"},
      {[] { return fv({}); }, "0#0n"},
  };
  check(rows, kst);
}

V ev(const std::string &src);

// Strings and the text each prints as.  A byte of 127 or above, or a
// control byte without an escape, turns the whole string into 0x and its
// hex digits.
struct Str {
  std::string s;
  const char *want;
};
std::string every_byte() {
  std::string s;
  for (int c = 0; c < 256; c++) s += (char)c;
  return s;
}
const std::vector<Str> &strs() {
  static const std::vector<Str> t = {
      {"abc", "\"abc\""},
      {"", "\"\""},
      {"a", ",\"a\""},
      {"a\tb", "\"a\\tb\""},
      {std::string("x\0y", 3), "\"x\\0y\""},
      {"\"q\"\\\r\n", "\"\\\"q\\\"\\\\\\r\\n\""},
      {"a\tb\\\"\r\n", "\"a\\tb\\\\\\\"\\r\\n\""},
      // UTF-8 text
      {"h\xC3\xA9", "0x68c3a9"},
      {"\xC3\xA9", "0xc3a9"},
      {"\xD0\x9F\xD1\x80\xD0\xB8", "0xd09fd180d0b8"},
      // control bytes without an escape, and DEL
      {"a\x01", "0x6101"},
      {"a\x01\x7f", "0x61017f"},
      {"\x7f\x80", "0x7f80"},
      {"\x1b", ",0x1b"},
      {"\xff", ",0xff"},
      {std::string("\x1b\0", 2), "0x1b00"},
      {every_byte(), nullptr},
  };
  return t;
}

TEST(Srcform, Strings) {
  boot();
  for (auto &c : strs()) {
    if (!c.want) continue;
    EXPECT_EQ(ks(cz(c.s)), c.want) << c.s;
  }
  std::string all = ks(cz(every_byte()));
  EXPECT_EQ(all.size(), 514u);
  EXPECT_EQ(all.substr(0, 8), "0x000102");
  EXPECT_EQ(all.substr(506), "fcfdfeff");
}

// Every string of the table, as a string and as each of its chars, reads
// back equal from its source form.
TEST(Srcform, StringsRoundTrip) {
  boot();
  for (auto &c : strs()) {
    std::vector<V> xs = {cz(c.s)};
    for (unsigned char ch : c.s) xs.push_back(ac((char)ch));
    for (V x : xs) {
      std::string src = ks(_r(x));
      V y = ev(src);
      if (!y) {
        ADD_FAILURE() << src << " failed: " << etext();
        eclr();
      } else {
        EXPECT_EQ(tp(y), tp(x)) << src;
        EXPECT_TRUE(mtc_(x, y)) << src << " read back as " << ks(_r(y));
        mr(y);
      }
      mr(x);
    }
  }
}

TEST(Srcform, Lists) {
  boot();
  std::vector<Row> rows = {
      {[] { return list({ai(1), sy("a"), ac('b')}); }, "(1;`a;\"b\")"},
      {[] { return list({lv({1, 2}), lv({3, 4})}); }, "(1 2;3 4)"},
      {[] { return list({lv({1, 2})}); }, ",1 2"},
      {[] { return list({ai(1)}); }, ",1"},
      {[] { return list({list({ai(1)})}); }, ",,1"},
      {[] { return list({cz("ab"), cz("c"), cz("")}); }, "(\"ab\";,\"c\";\"\")"},
      {[] { return list({list({ai(1), lv({})}), fv({})}); }, "((1;!0);0#0n)"},
      {[] { return list({mp2(1), deriv(mp2(1), 1)}); }, "(+;+/)"},
      {[] { return list({deriv(mp2(1), 1)}); }, ",(+/)"},
      {[] { return list({GNULL, GNULL}); }, "(::;::)"},
      {[] { return list({dict(sv({"a"}), lv({1}))}); }, ",(,`a)!,1"},
      // empty lists: by prototype
      {[] { return aA0(0); }, "()"},
      {[] {
         V r = aA0(0);
         mr(PA(r)[0]);
         PA(r)[0] = GNULL;
         return r;
       },
       "0#,(::)"},
      {[] {
         V r = aA0(0);
         mr(PA(r)[0]);
         PA(r)[0] = lv({1, 2});
         return r;
       },
       "0#,1 2"},
      {[] {
         V r = aA0(0);
         mr(PA(r)[0]);
         PA(r)[0] = deriv(mp2(1), 1);
         return r;
       },
       "0#,(+/)"},
  };
  check(rows, kst);
}

TEST(Srcform, DictsAndTables) {
  boot();
  std::vector<Row> rows = {
      {[] { return dict(sv({"a", "b"}), lv({1, 2})); }, "`a`b!1 2"},
      {[] { return dict(sv({"a"}), lv({1})); }, "(,`a)!,1"},
      {[] { return dict(lv({1, 2}), sv({"x", "y"})); }, "1 2!`x`y"},
      {[] { return dict(cz("a"), lv({1})); }, "(,\"a\")!,1"},
      {[] { return dict(cz("ab"), lv({1, 2})); }, "\"ab\"!1 2"},
      {[] { return dict(list({ai(1), sy("a")}), lv({1, 2})); }, "(1;`a)!1 2"},
      {[] { return dict(sv({}), aA0(0)); }, "(0#`)!()"},
      {[] { return dict(sv({"f"}), list({deriv(mp2(1), 1)})); }, "(,`f)!,(+/)"},
      {[] { return dict(sv({"a", "b"}), list({mp2(1), mp2(2)})); }, "`a`b!(+;-)"},
      {[] { return dict(sy("a"), ai(1)); }, "`a!1"},
      {[] { return table(sv({"a", "b"}), {lv({1, 2}), lv({3, 4})}); }, "+`a`b!(1 2;3 4)"},
      {[] { return table(sv({"a"}), {lv({1, 2})}); }, "+(,`a)!,1 2"},
      {[] { return table(sv({"s", "p"}), {sv({"x", "y"}), fv({1.5, 2.0})}); }, "+`s`p!(`x`y;1.5 2.0)"},
      {[] { return table(sv({"d"}), {tv(tDATE, {})}); }, "+(,`d)!,`date$()"},
      {[] {
         V k = table(sv({"k"}), {lv({1, 2})});
         V v = table(sv({"v"}), {lv({3, 4})});
         return dict(k, v);
       },
       "(+(,`k)!,1 2)!+(,`v)!,3 4"},
      // a dict as a dict's key or value is parenthesised
      {[] { return dict(dict(sv({"a"}), lv({1})), lv({2})); }, "((,`a)!,1)!,2"},
  };
  check(rows, kst);
}

TEST(Srcform, Functions) {
  boot();
  std::vector<Row> rows = {
      {[] { return lam("{x+y+z}", 3); }, "{x+y+z}"},
      {[] { return mp1(2); }, "-:"},
      {[] { return mp1(12); }, ",:"},
      {[] { return mp1(20); }, "0::"},
      {[] { return mp2(1); }, "+"},
      {[] { return mp2(0); }, ":"},
      {[] { return mp2(19); }, "."},
      {[] { return mp2(21); }, "1:"},
      {[] { return GAP; }, ""},
      {[] { return mp2(30); }, "insert"},
      {[] { return mp2(31); }, "each"},
      {[] { return imm(tADV, 0); }, "'"},
      {[] { return imm(tADV, 2); }, "\\"},
      {[] { return imm(tADV, 3); }, "':"},
      {[] { return imm(tADV, 4); }, "/:"},
      {[] { return imm(tADV, 5); }, "\\:"},
      {[] { return imm(tADV, 30); }, "do"},
      {[] { return imm(tADV, 31); }, "while"},
      {[] { return ((V)tNATIVE << 56) | ((V)1 << 48) | 0x1234; }, "???"},
      {[] { return deriv(mp2(1), 1); }, "+/"},
      {[] { return deriv(mp2(12), 3); }, ",':"},
      {[] { return deriv(lv({1}), 1); }, "(,1)/"},
      {[] { return deriv(lv({1, 2}), 1); }, "1 2/"},
      {[] { return deriv(lam("{x}", 1), 0); }, "{x}'"},
      {[] { return deriv(proj({mp2(1), ai(2), GAP}, 1), 0); }, "(2+)'"},
      {[] { return proj({lam("{x+y+z}", 3), ai(1), GAP, ai(3)}, 1); }, "{x+y+z}[1;;3]"},
      {[] { return proj({mp2(1), ai(2), GAP}, 1); }, "2+"},
      {[] { return proj({mp2(2), ai(2), GAP}, 1); }, "-[2;]"},
      {[] { return proj({mp2(30), sy("t"), GAP}, 1); }, "insert[`t;]"},
      {[] { return proj({mp2(1), lv({1}), GAP}, 1); }, "(,1)+"},
      {[] { return proj({deriv(mp2(1), 1), lv({1, 2}), GAP}, 1); }, "1 2+/"},
      {[] { return proj({mp2(1), GAP, ai(2)}, 1); }, "+[;2]"},
      {[] { return proj({mp2(0), ai(2), GAP}, 1); }, ":[2;]"},
      {[] { return comp(mp1(2), mp1(4)); }, "-:%:"},
  };
  check(rows, kst);
}

// The forms of kp, kl and kT1 on their own.
TEST(Srcform, Parenthesising) {
  boot();
  EXPECT_EQ(txt(kp(lv({1}), "", "I", "")), "(,1)");
  EXPECT_EQ(txt(kp(lv({1, 2}), "", "I", "")), "1 2");
  EXPECT_EQ(txt(kp(lv({}), "", "I", "")), "(!0)");
  EXPECT_EQ(txt(kp(mp2(1), "", "", "v")), "(+)");
  EXPECT_EQ(txt(kp(aE(0, 1), "I", "", "")), "(,0)");
  EXPECT_EQ(txt(kl(lv({1}))), "(,1)");
  EXPECT_EQ(txt(kl(cz("ab"))), "\"ab\"");
  EXPECT_EQ(txt(kl(cz("a"))), "(,\"a\")");
  EXPECT_EQ(txt(kl(aA0(0))), "()");
  EXPECT_EQ(txt(kl(dict(sv({"a"}), lv({1})))), "((,`a)!,1)");
  EXPECT_EQ(txt(kT1(lv({7}))), ",7");
  EXPECT_EQ(txt(kT1(list({mp2(1)}))), ",(+)");
  EXPECT_EQ(txt(kss_(cz("a\"b"), 0)), "\"a\\\"b\"");
  EXPECT_EQ(txt(kss_(cz("a\x01"), 1)), "\"a\x01\"");
  EXPECT_EQ(txt(kss_(cz("a\x01"), 0)), "0x6101");
  EXPECT_EQ(txt(kss_(cz("h\xC3\xA9"), 1)), "\"h\xC3\xA9\"");
  V l = list({ta(tDATEA, 1), ta(tDATEA, 2)});
  EXPECT_TRUE(tqh(l));
  mr(l);
  l = list({ta(tDATEA, 1)});
  EXPECT_FALSE(tqh(l));
  mr(l);
  l = list({ta(tDATEA, 1), ta(tTIMEA, 2)});
  EXPECT_FALSE(tqh(l));
  mr(l);
  l = tv(tDATE, {1, 2});
  EXPECT_FALSE(tqh(l));
  mr(l);
}

// ---------------------------------------------------------------- `$`

TEST(Str, Atoms) {
  boot();
  std::vector<Row> rows = {
      {[] { return ai(-42); }, "-42"},
      {[] { return al(NJ); }, "0N"},
      {[] { return al(WJ); }, "9223372036854775807"},
      {[] { return af(NaN); }, "0n"},
      {[] { return af(2.0); }, "2.0"},
      {[] { return af(-INF); }, "-0w"},
      {[] { return ac('a'); }, "a"},
      {[] { return sy("abc"); }, "abc"},
      {[] { return sy("a b"); }, "a b"},
      {[] { return sy(""); }, ""},
      {[] { return ta(tDATEA, NI); }, ""},
      {[] { return ta(tDATEA, 0); }, "2000.01.01"},
      {[] { return ta(tMONTHA, 0); }, "2000.01"},
      {[] { return tj(tTSTAMPA, NJ); }, ""},
      {[] { return tj(tTSPANA, 1); }, "0D00:00:00.000000001"},
      {[] { return lam("{x}", 1); }, "{x}"},
      {[] { return GNULL; }, "::"},
      {[] { return mp2(1); }, "+"},
      {[] { return deriv(mp2(1), 1); }, "+/"},
      {[] { return proj({mp2(1), ai(2), GAP}, 1); }, "2+"},
  };
  check(rows, str);
}

// Item texts of a general list result, "|"-separated; "<type t>" when the
// result is no list of strings.
std::string items(V r) {
  if (!r) return txt(r);
  if (tp(r) != tLIST) {
    int t = tp(r);
    mr(r);
    return "<type " + std::to_string(t) + ">";
  }
  std::string s;
  for (U i = 0; i < nx(r); i++) {
    if (i) s += "|";
    V it = PA(r)[i];
    s += tp(it) == tCHR ? std::string(PC(it), nx(it)) : "<" + std::to_string(tp(it)) + ">";
  }
  mr(r);
  return s;
}

TEST(Str, Vectors) {
  boot();
  EXPECT_EQ(items(str(lv({1, NJ, -3}))), "1|0N|-3");
  EXPECT_EQ(items(str(bv({1, -2}))), "1|-2");
  EXPECT_EQ(items(str(bools({1, 0}))), "1|0");
  EXPECT_EQ(items(str(aE(5, 7))), "5|6");
  EXPECT_EQ(items(str(fv({1.5, NaN, 3.0}))), "1.5|0n|3.0");
  EXPECT_EQ(items(str(cz("ab"))), "a|b");
  EXPECT_EQ(items(str(sv({"a", "bc", ""}))), "a|bc|");
  EXPECT_EQ(items(str(tv(tDATE, {0, NI}))), "2000.01.01|");
  EXPECT_EQ(items(str(tv(tMONTH, {1}))), "2000.02");
  EXPECT_EQ(items(str(tw(tTSTAMP, {NJ, 0}))), "|2000.01.01D00:00:00.000000000");
  EXPECT_EQ(items(str(list({ai(1), sy("a"), ac('c'), cz("xy")}))), "1|a|c|<1>");
  // nested lists keep their shape
  V r = str(list({lv({1, 2}), ai(3)}));
  ASSERT_TRUE(r);
  ASSERT_EQ(tp(r), tLIST);
  EXPECT_EQ(items(_r(PA(r)[0])), "1|2");
  EXPECT_EQ(txt(_r(PA(r)[1])), "3");
  mr(r);
  // empty arguments give an empty list
  for (V e : {lv({}), fv({}), cz(""), sv({}), tv(tDATE, {}), aA0(0)}) {
    V s = str(e);
    ASSERT_TRUE(s);
    EXPECT_EQ(tp(s), tLIST);
    EXPECT_EQ(nx(s), 0u);
    mr(s);
  }
}

TEST(Str, DictsAndTables) {
  boot();
  V r = str(dict(sv({"a", "b"}), lv({1, 2})));
  ASSERT_TRUE(r);
  ASSERT_EQ(tp(r), tDICT);
  V k = sv({"a", "b"});
  EXPECT_TRUE(mtc_(PA(r)[0], k));
  mr(k);
  EXPECT_EQ(items(_r(PA(r)[1])), "1|2");
  mr(r);
  // a table maps its rows: a list of dicts of strings
  r = str(table(sv({"a"}), {lv({7, 8})}));
  ASSERT_TRUE(r);
  ASSERT_EQ(tp(r), tLIST);
  ASSERT_EQ(nx(r), 2u);
  ASSERT_EQ(tp(PA(r)[1]), tDICT);
  EXPECT_EQ(items(_r(PA(PA(r)[1])[1])), "8");
  mr(r);
}

TEST(Str, Tqs) {
  boot();
  EXPECT_EQ(txt(tqs(ta(tDATEA, NI), 0)), "");
  EXPECT_EQ(txt(tqs(ta(tDATEA, NI), 1)), "0Nd");
  EXPECT_EQ(txt(tqs(ta(tMONTHA, 0), 0)), "2000.01");
  EXPECT_EQ(txt(tqs(ta(tMONTHA, 0), 1)), "2000.01m");
  EXPECT_EQ(txt(tqs(tj(tTSPANA, NJ), 1)), "0Nn");
  EXPECT_EQ(txt(tqs(tj(tTSTAMPA, -1), 0)), "1999.12.31D23:59:59.999999999");
  EXPECT_EQ(txt(tqs(ai(1), 0)), "<fail: 'type\n>");
}

TEST(Str, Qst) {
  boot();
  EXPECT_EQ(txt(qstT(af(NaN))), "");
  EXPECT_EQ(txt(qstT(af(1.5))), "1.5");
  EXPECT_EQ(txt(qstT(af(12345678.0))), "1.234568e+07");
  EXPECT_EQ(txt(qstT(af(INF))), "0w");
  EXPECT_EQ(txt(qstT(af(-INF))), "-0w");
  EXPECT_EQ(txt(qstT(al(WJ))), "0W");
  EXPECT_EQ(txt(qstT(al(NJ + 1))), "-0W");
  EXPECT_EQ(txt(qstT(al(NJ))), "");
  EXPECT_EQ(txt(qstT(ai(-5))), "-5");
  EXPECT_EQ(items(qstT(lv({1, 2, 3}))), "1|2|3");
  EXPECT_EQ(items(qstT(lv({1, NJ, 3}))), "1||3");
  EXPECT_EQ(items(qstT(lv({1, WJ}))), "1|0W");
  EXPECT_EQ(items(qstT(fv({1.5, NaN}))), "1.5|");
  EXPECT_EQ(items(qstT(bv({1, 2}))), "1|2");
  EXPECT_EQ(items(qstT(lv({}))), "");
  EXPECT_EQ(txt(qstT(sy("ab"))), "ab");
}

// ---------------------------------------------------------------- ownership

// Every entry consumes its argument exactly once, on success and failure.
TEST(Srcform, ConsumesArgument) {
  boot();
  std::vector<std::function<V()>> makers = {
      [] { return lv({1, 2}); },
      [] { return list({ai(1), sy("a"), cz("ab")}); },
      [] { return table(sv({"a"}), {lv({1, 2})}); },
      [] { return dict(sv({"a", "b"}), lv({1, 2})); },
      [] { return proj({lam("{x+y}", 2), ai(1), GAP}, 1); },
      [] { return tw(tTSTAMP, {1, 2}); },
      [] { return tj(tTSPANA, 5); },
      [] { return aA0(0); },
  };
  for (size_t i = 0; i < makers.size(); i++) {
    for (int fn = 0; fn < 2; fn++) {
      V x = makers[i]();
      _r(x);
      U before = hd(x)->rc;
      V r = fn ? str(x) : kst(x);
      ASSERT_TRUE(r) << i;
      EXPECT_EQ(hd(x)->rc, before - 1) << "row " << i << " fn " << fn;
      mr(r);
      mr(x);
    }
  }
}

// Free bytes on this thread's free lists: a value a path forgot to release
// shows as fewer free bytes after the path than before.
// Nothing a form builds outlives it, on success or failure: each maker is
// run through each form twice to settle block splits, then measured.
TEST(Srcform, NoLeaks) {
  boot();
  auto deep = [] {
    V x = ai(1);
    for (int i = 0; i < 3000; i++) x = aA1(x);
    return list({lv({1, 2}), cz("ab"), x, sy("a")});
  };
  std::vector<std::function<V()>> makers = {
      [] { return list({ai(1), sy("a b"), cz("a\x01"), fv({1.5, NaN})}); },
      [] { return table(sv({"a", "b"}), {lv({1, 2}), tv(tDATE, {1, NI})}); },
      [] { return dict(table(sv({"k"}), {lv({1})}), table(sv({"v"}), {cz("x")})); },
      [] { return proj({mp2(2), lv({1, 2}), GAP}, 1); },
      [] { return proj({lam("{x+y+z}", 3), GAP, cz("s"), GAP}, 2); },
      [] { return deriv(proj({mp2(1), ai(2), GAP}, 1), 0); },
      [] { return tw(tTSTAMP, {1, NJ}); },
      [] { return lv({}); },
      [] { return aA0(0); },
      [] { return aE(0, 1000); },
      deep,
  };
  V (*fns[])(V) = {kst, str, qstT, kT1};
  for (size_t i = 0; i < makers.size(); i++)
    for (int f = 0; f < 4; f++) {
      if (f == 3 && (i == 7 || i == 8)) continue;  // kT1 needs an item
      UJ before = 0;
      for (int k = 0; k < 3; k++) {
        if (k == 2) before = freebytes();
        V r = fns[f](makers[i]());
        if (r) mr(r);
        else eclr();
      }
      EXPECT_EQ(freebytes(), before) << "maker " << i << " form " << f;
    }
}

// A value nested deeper than the walker goes fails with 'stack instead of
// exhausting the C stack, and releases everything.
TEST(Srcform, DeepNesting) {
  boot();
  V x = ai(1);
  for (int i = 0; i < 100000; i++) x = aA2(x, ai(2));
  _r(x);
  EXPECT_EQ(txt(kst(x)), "<fail: 'stack\n>");
  EXPECT_EQ(hd(x)->rc, 1u);
  _r(x);
  EXPECT_EQ(txt(str(x)), "<fail: 'stack\n>");
  EXPECT_EQ(hd(x)->rc, 1u);
  // str updated the unshared copy of nothing: x is intact
  V y = x;
  int depth = 0;
  while (tp(y) == tLIST) y = PA(y)[0], depth++;
  EXPECT_EQ(depth, 100000);
  // releasing a chain this deep recursively is the allocator's business
  // and would itself recurse; unlink it level by level
  while (tp(x) == tLIST) {
    V in = PA(x)[0];
    PA(x)[0] = ai(0);
    mr(x);
    x = in;
  }
}

// A range whose text could never fit in a char vector fails at once.
TEST(Srcform, HugeRangeLimit) {
  boot();
  EXPECT_EQ(txt(kst(aE(0, 5000000000LL))), "<fail: 'limit\n>");
}

// Large values go through the doubling buffer intact.
TEST(Srcform, LargeVectors) {
  boot();
  std::vector<J> a(100000);
  std::string want;
  for (size_t i = 0; i < a.size(); i++) {
    a[i] = (J)(i * 7919) - 50000;
    if (i) want += " ";
    want += std::to_string(a[i]);
  }
  EXPECT_EQ(ks(lv(a)), want);
  // Shortest float text is judged by reading it back with strtod.
  std::vector<F> f(20000);
  for (size_t i = 0; i < f.size(); i++) f[i] = 1.0 / (F)(i + 1) * (i & 1 ? -1e-300 : 1e300);
  V s = kst(fv(f));
  ASSERT_TRUE(s);
  std::string t(PC(s), nx(s));
  mr(s);
  size_t p = 0;
  for (size_t i = 0; i < f.size(); i++) {
    size_t e = t.find(' ', p);
    std::string tok = t.substr(p, e == std::string::npos ? std::string::npos : e - p);
    EXPECT_EQ(strtod(tok.c_str(), nullptr), f[i]) << tok;
    p = e + 1;
  }
}

// ---------------------------------------------------------------- out

// Runs out(x) with descriptor 1 sent to a file; the bytes written.
std::string printed(V x, V *res) {
  fflush(stdout);
  char path[] = "/tmp/zk_out_XXXXXX";
  int fd = mkstemp(path);
  int save = dup(1);
  dup2(fd, 1);
  *res = out(x);
  dup2(save, 1);
  close(save);
  std::string s;
  char b[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, b, sizeof b)) > 0;) s.append(b, (size_t)n);
  close(fd);
  unlink(path);
  return s;
}

TEST(Out, Prints) {
  boot();
  V r;
  EXPECT_EQ(printed(GNULL, &r), "");
  EXPECT_EQ(r, GNULL);
  V l = list({ai(1), sy("a")});
  EXPECT_EQ(printed(l, &r), "(1\n `a)\n");
  EXPECT_EQ(r, l);
  EXPECT_EQ(hd(l)->rc, 1u);
  mr(r);
  V s = cz("abc");
  EXPECT_EQ(printed(s, &r), "\"abc\"\n");
  EXPECT_EQ(r, s);
  EXPECT_EQ(hd(s)->rc, 1u);
  mr(r);
  EXPECT_EQ(printed(lv({1, 2}), &r), "1 2\n");
  mr(r);
  EXPECT_EQ(printed(list({ta(tDATEA, 0), ta(tDATEA, 1)}), &r), "2000.01.01 2000.01.02\n");
  mr(r);
  EXPECT_EQ(printed(list({lv({1, 2}), list({ai(3), ai(4)})}), &r), "(1 2\n (3;4))\n");
  mr(r);
  EXPECT_EQ(printed(list({ai(1)}), &r), ",1\n");
  mr(r);
}

// A value whose text cannot be made: the error goes to standard error,
// nothing to standard output, and the value comes back.
TEST(Out, ErrorPrintedValueReturned) {
  boot();
  V x = ai(1);
  for (int i = 0; i < 5000; i++) x = aA1(x);
  V r;
  fflush(stderr);
  int save = dup(2), nul = open("/dev/null", O_WRONLY);
  dup2(nul, 2);
  std::string o = printed(x, &r);
  dup2(save, 2);
  close(save);
  close(nul);
  EXPECT_EQ(o, "");
  EXPECT_EQ(r, x);
  EXPECT_EQ(elen(), 0u);  // printed and cleared
  mr(r);
}

// ---------------------------------------------------------------- round trip

// Parse, compile and run source text.
V ev(const std::string &src) {
  const char *c = src.c_str();
  V t = pk_(&c, 0);
  if (!t) return 0;
  if (tp(t) == tLAMBDA) return t;
  V f = cpl_(aCz(src.c_str()), t, 0);
  if (!f) return 0;
  V r = run(f, nullptr, 0);
  mr(f);
  return r;
}

// The source form of every value reads back as a value that matches it.
// Rows whose text needs a verb or literal scanner that is not built yet
// ('nyi) are listed, not failed; any other failure or mismatch fails.
TEST(Srcform, RoundTrip) {
  boot();
  std::vector<std::function<V()>> rows = {
      [] { return ai(5); },
      [] { return ai(-5); },
      [] { return al(NJ); },
      [] { return al(WJ); },
      [] { return al(-WJ); },
      [] { return af(1.5); },
      [] { return af(-0.0); },
      [] { return af(0.1); },
      [] { return af(1e16); },
      [] { return af(5e-324); },
      [] { return af(1.7976931348623157e308); },
      [] { return af(NaN); },
      [] { return af(INF); },
      [] { return af(-INF); },
      [] { return ac('a'); },
      [] { return ac('"'); },
      [] { return ac('\n'); },
      [] { return ac(0); },
      [] { return ac(1); },
      [] { return sy("abc"); },
      [] { return sy(""); },
      [] { return sy("a b"); },
      [] { return sy("a.b"); },
      [] { return sy("\xD0\x9F\xD1\x80"); },
      [] { return sy("\xC3\xA9"); },
      [] { return lv({1, 2, 3}); },
      [] { return lv({NJ, 5, WJ, -WJ}); },
      [] { return lv({7}); },
      [] { return lv({}); },
      [] { return bools({1, 0, 1}); },
      [] { return fv({1.5, 2.0, NaN, INF, -INF}); },
      [] { return fv({1.0, 2.0}); },
      [] { return fv({0.5}); },
      [] { return fv({}); },
      [] { return cz("abc"); },
      [] { return cz(""); },
      [] { return cz("a"); },
      [] { return cz("a\tb\\\"\r\n"); },
      [] { return cz(std::string("x\0y", 3)); },
      [] { return cz("h\xC3\xA9"); },
      [] { return cz("a\x01\x7f"); },
      [] { return sv({"a", "b"}); },
      [] { return sv({"a"}); },
      [] { return sv({"a", "", "b c"}); },
      [] { return sv({}); },
      [] { return list({ai(1), sy("a"), ac('b')}); },
      [] { return list({lv({1, 2}), lv({3, 4})}); },
      [] { return list({lv({1, 2})}); },
      [] { return list({cz("ab"), cz("c")}); },
      [] { return list({list({ai(1), sy("a")}), fv({})}); },
      [] { return aA0(0); },
      [] { return ta(tDATEA, D2024); },
      [] { return ta(tDATEA, NI); },
      [] { return ta(tTIMEA, -1); },
      [] { return ta(tMINUTEA, 61); },
      [] { return ta(tSECONDA, NI); },
      [] { return ta(tMONTHA, M2024); },
      [] { return tj(tTSTAMPA, -1); },
      [] { return tj(tTSPANA, 86400000000001LL); },
      [] { return tv(tDATE, {D2024, NI}); },
      [] { return tv(tDATE, {NI, NI}); },
      [] { return tv(tDATE, {NI, D2024}); },
      [] { return tv(tMONTH, {M2024, M2024 + 1}); },
      [] { return tv(tTIME, {0, NI}); },
      [] { return tv(tMINUTE, {1, 2}); },
      [] { return tv(tSECOND, {1, 2}); },
      [] { return tw(tTSTAMP, {0, NJ}); },
      [] { return tw(tTSPAN, {1, -1}); },
      [] { return tv(tDATE, {D2024}); },
      [] { return tv(tDATE, {}); },
      [] { return tw(tTSPAN, {}); },
      [] { return dict(sv({"a", "b"}), lv({1, 2})); },
      [] { return dict(sv({"a"}), lv({1})); },
      [] { return table(sv({"a", "b"}), {lv({1, 2}), lv({3, 4})}); },
      [] { return table(sv({"a"}), {lv({1, 2})}); },
      [] { return dict(table(sv({"k"}), {lv({1, 2})}), table(sv({"v"}), {lv({3, 4})})); },
      [] { return GNULL; },
      [] { return mp2(1); },
  };
  int ok = 0;
  std::string pending;
  for (size_t i = 0; i < rows.size(); i++) {
    V x = rows[i]();
    V s = kst(_r(x));
    ASSERT_TRUE(s) << i;
    std::string src(PC(s), nx(s));
    mr(s);
    V y = ev(src);
    if (!y) {
      std::string e = etext();
      eclr();
      if (e.rfind("'nyi\n", 0) == 0) pending += "  " + src + "\n";
      else ADD_FAILURE() << "row " << i << ": " << src << " failed: " << e;
    } else {
      EXPECT_TRUE(mtc_(x, y)) << "row " << i << ": " << src << " read back as " << ks(_r(y)) << " type "
                              << tp(y) << " (header valence " << (int)hd(x)->valence << "/"
                              << (int)hd(y)->valence << ", adverb " << (int)hd(x)->adverb << "/"
                              << (int)hd(y)->adverb << ")";
      ok++;
      mr(y);
    }
    mr(x);
  }
  if (!pending.empty())
    printf("round trip: %d rows read back; waiting on unbuilt verbs or scanners:\n%s", ok, pending.c_str());
  // Every row reads back but the empty temporal vectors, which wait for
  // the casts; empty vectors and lists written with 0# and !0 read back
  // through take and til.
  EXPECT_GE(ok, 76);
  EXPECT_EQ(pending.find("0#"), std::string::npos) << pending;
  EXPECT_EQ(pending.find("!0"), std::string::npos) << pending;
}

}  // namespace
}  // namespace zk

namespace zk {
namespace {

// A list nested far deeper than any walker's limit: every walker either
// iterates or gives 'stack at its fixed depth, and nothing touches the C
// stack in proportion to the depth.
TEST(Deep, WalkersGiveAValueOrStack) {
  boot();
  UJ before = freebytes();
  V x = aA0(0);
  for (U i = 0; i < 100000; i++) x = aA1(x);
  for (V (*f)(V) : {kst, str}) {
    V r = f(_r(x));
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(etext().substr(0, 6), "'stack");
  }
  V c = mut(_r(x));  // a copy is one level deep
  EXPECT_NE(c, x);
  EXPECT_TRUE(mtc_(c, x));
  G flag = 0;
  EXPECT_EQ(hA(c, &flag), hA(x, &flag));
  mr(c);
  mr(x);
  EXPECT_EQ(freebytes(), before);
}

}  // namespace
}  // namespace zk
