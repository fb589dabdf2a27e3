// Unit tests of the literal scanners: integer and float tokens (floats
// judged against the C library's strtod), number runs and their
// narrowing, strings, name tokens, dotted names, symbol lists, the hex
// decoder and the temporal entry points as far as they are built.
#include <gtest/gtest.h>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include "core/err.h"
#include "core/sym.h"
#include "eval/lit.h"
#include "io/hex.h"
#include "table/table.h"
#include "testutil.h"

using namespace zk;

namespace {

std::string eclass() {
  if (!tl.err_end || tl.err_end - tl.err_text < 2) return "";
  std::string e(tl.err_text, tl.err_end);
  return e.substr(1, e.find('\n') - 1);
}

struct Lit : ::testing::Test {
  Pz sv;
  void SetUp() override {
    boot_once();
    sv = pz;
    tl.err_end = tl.err_text;
  }
  void TearDown() override { pz = sv; }
  // Points the parser's cursor at text.
  void at(const char *t) { pz.s = pz.ts = t; }
};

UJ bits(double d) { return std::bit_cast<UJ>(d); }

TEST_F(Lit, IntegerTokens) {
  struct C {
    const char *t;
    J v;
    int adv;
    bool ovf;
  } cs[] = {
      {"0", 0, 1, false},
      {"42", 42, 2, false},
      {"-42", -42, 3, false},
      {"9223372036854775807", INT64_MAX, 19, false},
      {"0009223372036854775807", INT64_MAX, 22, false},
      {"9223372036854775808", 0, 19, true},
      {"-9223372036854775808", 0, 20, true},
      {"99999999999999999999", 0, 20, true},
      {"0N", NJ, 2, false},
      {"-0N", NJ, 3, false},
      {"0W", INT64_MAX, 2, false},
      {"-0W", -INT64_MAX, 3, false},
      {"00N", NJ, 3, false},
      {"5h", 5, 2, false},
      {"5i", 5, 2, false},
      {"5j", 5, 2, false},
      {"5jx", 5, 1, false},  // a suffix followed by a name character is not one
      {"0Nj", NJ, 3, false},
      {"12abc", 12, 2, false},
      {"-", NJ, 1, false},
      {"-x", NJ, 1, false},
  };
  for (const C &c : cs) {
    pz.ovf = 0;
    const char *p = c.t;
    J v = plN(&p);
    EXPECT_EQ(p - c.t, c.adv) << c.t;
    EXPECT_EQ(pz.ovf, c.ovf) << c.t;
    if (!c.ovf) { EXPECT_EQ(v, c.v) << c.t; }
  }
  pz.ovf = 0;
}

TEST_F(Lit, FloatTokensSpecial) {
  struct C {
    const char *t;
    UJ b;
    int adv;
  } cs[] = {
      {"0n", NF_BITS, 2},
      {"0nf", NF_BITS, 3},
      {"n", NF_BITS, 1},
      {"5n", NF_BITS | 5, 2},
      {"0N", NF_BITS, 2},
      {"0w", 0x7ff0000000000000ull, 2},
      {"-0w", 0xfff0000000000000ull, 3},
      {"w", 0x7ff0000000000000ull, 1},
      {"0W", 0x7ff0000000000000ull, 2},
      {"1e", bits(1.0), 2},
      {"1e+2", bits(1.0), 2},
      {"1e-", bits(1.0), 3},
      {"1e-2", bits(0.01), 4},
      {"1E2", bits(1.0), 1},
      {".5", bits(0.5), 2},
      {"-.5", bits(-0.5), 3},
      {"2.", bits(2.0), 2},
      {"2.5f", bits(2.5), 4},
      {"-0", bits(-0.0), 2},
      {"0.0", bits(0.0), 3},
      {"0.1", bits(0.1), 3},
      {"1.5x", bits(1.5), 3},
      {"1e400", 0x7ff0000000000000ull, 5},
      {"1e-400", 0, 6},
      {"-1e-400", 1ull << 63, 7},
      {"1e999999999999999999", 0x7ff0000000000000ull, 20},
      {"123456789012345678901234567890", bits(123456789012345678901234567890.0), 30},
      {"0.000000000000000000000000000001", bits(1e-30), 32},
      {"4.9406564584124654e-324", 1, 23},
      {"2.4703282292062328e-324", 1, 23},
      {"2.4703282292062327e-324", 0, 23},
      {"1.7976931348623157e308", 0x7fefffffffffffffull, 22},
      {"1.7976931348623159e308", 0x7ff0000000000000ull, 22},
      {"9007199254740993", bits(9007199254740992.0), 16},
      {"9007199254740995", bits(9007199254740996.0), 16},
  };
  for (const C &c : cs) {
    const char *p = c.t;
    UJ b = pf(&p);
    EXPECT_EQ(b, c.b) << c.t;
    EXPECT_EQ(p - c.t, c.adv) << c.t;
  }
}

// Digits near halfway points and long significands: every result must
// equal the C library's correctly rounded conversion, bit for bit.
TEST_F(Lit, FloatTokensAgainstStrtod) {
  std::mt19937_64 rng(20240611);
  char buf[400];
  for (int i = 0; i < 300000; i++) {
    int nd = 1 + (int)(rng() % (i % 4 == 0 ? 40 : 19));
    int pt = (int)(rng() % (nd + 1));
    int k = 0;
    if (rng() % 8 == 0) buf[k++] = '-';
    for (int d = 0; d < nd; d++) {
      if (d == pt && d) buf[k++] = '.';
      buf[k++] = (char)('0' + rng() % 10);
    }
    if (rng() % 2) {
      int e = (int)(rng() % 700) - 350;
      k += snprintf(buf + k, sizeof buf - k, "e%d", e);
    }
    buf[k] = 0;
    const char *p = buf;
    UJ b = pf(&p);
    ASSERT_EQ(p, buf + k) << buf;
    ASSERT_EQ(b, bits(strtod(buf, nullptr))) << buf;
  }
  // Shortest round-trip texts of random doubles (17 significant digits at
  // most) read back to the same double.
  for (int i = 0; i < 200000; i++) {
    double d = std::bit_cast<double>(rng() & 0x7fefffffffffffffull);
    auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    *r.ptr = 0;
    for (char *q = buf; *q; q++)
      if (*q == '+') memmove(q, q + 1, strlen(q));  // the engine's exponent takes no plus sign
    const char *p = buf;
    ASSERT_EQ(pf(&p), bits(d)) << buf;
  }
  // Ties at 20 and more digits, where the 19-digit bracket is ambiguous.
  const char *ties[] = {
      "9007199254740993.0000000000000000000001",
      "9007199254740992.9999999999999999999999",
      "1.00000000000000011102230246251565404236316680908203125",
      "1.000000000000000111022302462515654042363166809082031251",
      "1.000000000000000111022302462515654042363166809082031249",
      "2.2250738585072011e-308",
      "2.22507385850720113605740979670913197593481954635164564e-308",
      "7.4109846876186981626485318930233205854758970392148714663837852375101326090531312779794975454245398856969484704316857659638998506553390969459816219401617281718945106978546710679176872575177347315553307795408549809608457500958111373034747658096871009590975442271004757307809711118935784838675653998783503015228055934046593739791790738723868299395818481660169122019456499931289798411362062484498678713572180352209017023903285791732520220528974020802906854021606612375549983402671300035812486479041385743401875520901590172592547146296175134159774938718574737870961645638908718119841271673056017045493004705269590165763776884908267986972573366521765567941072508764337560846003984904972149117463085539556354188641513168478436313080237596295773983001708984375e-318",
  };
  for (const char *t : ties) {
    const char *p = t;
    EXPECT_EQ(pf(&p), bits(strtod(t, nullptr))) << t;
    EXPECT_EQ(*p, 0) << t;
  }
}

TEST_F(Lit, SlowPathDirect) {
  // 25 digits: the first 19 in m, the exponent counting the rest.
  const char *t = "1234567890123456789012345";
  EXPECT_EQ(pfs(t, t + 25, 1234567890123456789ull, 6, 0, 20), bits(strtod(t, nullptr)));
  EXPECT_EQ(pfs(t, t + 25, 1234567890123456789ull, 6, 1ull << 63, 20), bits(-strtod(t, nullptr)));
  EXPECT_EQ(pfs("1", nullptr, 1, -400, 0, 1), 0u);
}

// A run as the parser reads it, with the cursor left at its end.
std::string runs(const char *t, int type, const char **end = nullptr) {
  pz.s = pz.ts = t;
  V v = type == tFLT ? pV(tFLT, pf) : pZ();
  if (end) *end = pz.s;
  if (!v) return "ERR " + eclass();
  std::string s = "v" + std::to_string(tp(v)) + ":";
  for (U i = 0; i < nx(v); i++) {
    s += i ? " " : "";
    switch (tp(v)) {
      case tBOOL: s += std::to_string((P(v)[i >> 3] >> (i & 7)) & 1); break;
      case tBYTE: s += std::to_string(P<int8_t>(v)[i]); break;
      case tSHORT: s += std::to_string(P<int16_t>(v)[i]); break;
      case tINT: s += std::to_string(PI(v)[i]); break;
      case tLONG: s += std::to_string(PL(v)[i]); break;
      case tFLT: {
        char b[32];
        snprintf(b, sizeof b, "%g", PF(v)[i]);
        s += b;
      }
    }
  }
  mr(v);
  return s;
}

TEST_F(Lit, Runs) {
  struct C {
    const char *t;
    int type;
    const char *want;
    int adv;
  } cs[] = {
      {"1 2 3", tLONG, "v4:1 2 3", 5},
      {"1 2 300", tLONG, "v5:1 2 300", 7},
      {"1 2 70000", tLONG, "v6:1 2 70000", 9},
      {"1 -2 3", tLONG, "v4:1 -2 3", 6},
      {"1 - 2", tLONG, "v4:1", 1},
      {"1  \t2\r 3 x", tLONG, "v4:1 2 3", 8},
      {"1 2x", tLONG, "v4:1 2", 3},
      {"0101b", tLONG, "v4:0 1 0 1", 5},
      {"0101B", tLONG, "v3:0 1 0 1", 5},
      {"0101b2", tLONG, "v4:101", 4},
      {"1 01b 2", tLONG, "v4:1 0 1 2", 7},
      {"1 2 0N", tLONG, "v7:1 2 -9223372036854775808", 6},
      {"5 9223372036854775808", tLONG, "ERR limit", 21},
      {"1 2.5", tFLT, "v8:1 2.5", 5},
      {"1 0w -0w 0n", tFLT, "v8:1 inf -inf nan", 11},
      {"1.5 10b", tFLT, "v8:1.5 1 0", 7},
      {"1e", tFLT, "v8:1", 2},
  };
  for (const C &c : cs) {
    const char *e;
    EXPECT_EQ(runs(c.t, c.type, &e), c.want) << c.t;
    EXPECT_EQ(e - c.t, c.adv) << c.t;
  }
  // Runs longer than one 512-item chunk keep every item in order.
  std::string t;
  for (int i = 0; i < 1500; i++) t += std::to_string(i * 7) + " ";
  t.pop_back();
  pz.s = pz.ts = t.c_str();
  V v = pZ();
  ASSERT_EQ(tp(v), tSHORT);
  ASSERT_EQ(nx(v), 1500u);
  for (int i = 0; i < 1500; i++) ASSERT_EQ(P<int16_t>(v)[i], i * 7);
  mr(v);
  t.clear();
  for (int i = 0; i < 1100; i++) t += std::to_string(i) + ".5 ";
  pz.s = pz.ts = t.c_str();
  v = pV(tFLT, pf);
  ASSERT_EQ(nx(v), 1100u);
  for (int i = 0; i < 1100; i++) ASSERT_EQ(PF(v)[i], i + 0.5);
  mr(v);
}

TEST_F(Lit, Strings) {
  struct C {
    const char *t;
    std::string want;
    int adv;
  } cs[] = {
      {"\"\"", "", 2},
      {"\"abc\"x", "abc", 5},
      {"\"a\\nb\"", "a\nb", 6},
      {"\"\\0\\r\\t\\\\\\\"\\q\"", std::string("\0\r\t\\\"q", 6), 14},
      {"\"a;b)\"", "a;b)", 6},
      {"\"two\nlines\"", "two\nlines", 11},
  };
  for (const C &c : cs) {
    pz.s = pz.ts = c.t;
    V v = pC();
    ASSERT_TRUE(v) << c.t;
    EXPECT_EQ(tp(v), tCHR);
    EXPECT_EQ(std::string(PC(v), nx(v)), c.want) << c.t;
    EXPECT_EQ(pz.s - c.t, c.adv) << c.t;
    mr(v);
  }
  for (int n : {511, 512, 513, 600, 1500}) {
    std::string t = "\"";
    for (int i = 0; i < n; i++) t += (char)('a' + i % 26);
    t += "\"";
    pz.s = pz.ts = t.c_str();
    V v = pC();
    ASSERT_EQ(nx(v), (U)n);
    EXPECT_EQ(std::string(PC(v), nx(v)), t.substr(1, n));
    mr(v);
  }
  for (const char *t : {"\"abc", "\"ab\\", "\"", "\"\\\""}) {
    pz.s = pz.ts = t;
    EXPECT_EQ(pC(), 0u) << t;
    EXPECT_EQ(eclass(), "parse");
    EXPECT_EQ(pz.s, t);  // the caret goes under the opening quote
  }
  std::string big(1300, 'x');  // unterminated after whole chunks were made
  big = "\"" + big;
  pz.s = pz.ts = big.c_str();
  EXPECT_EQ(pC(), 0u);
}

TEST_F(Lit, NameTokens) {
  struct C {
    const char *t, *want;
    int adv;
  } cs[] = {
      {"abc1 x", "abc1", 4},
      {"a_b", "a", 1},
      {"a.b", "a", 1},
      {"\xd0\xb4\xd0\xb0x+", "\xd0\xb4\xd0\xb0x", 5},
      {"12ab:", "", 0},
      {"12ab", "12ab", 4},
      {"\xe2\x86\x92y", "\xe2\x86\x92", 3},
      {"\xe2\x86\x92:y", "\xe2\x86\x92:", 4},
      {":a/b.c-d_e:f g", ":a/b.c-d_e:f", 12},
      {"+", "", 0},
      {" a", "", 0},
  };
  for (const C &c : cs) {
    pz.s = pz.ts = c.t;
    V v = ps();
    EXPECT_EQ(std::string(PC(v), nx(v)), c.want) << c.t;
    EXPECT_EQ(pz.s - c.t, c.adv) << c.t;
    mr(v);
  }
}

std::string symtext(V v) {
  std::string s;
  for (U i = 0; i < nx(v); i++) s += (i ? "|" : "") + std::string(su(PI(v)[i]));
  return s;
}

TEST_F(Lit, DottedNames) {
  pz.s = pz.ts = "a.b.c.d.e.f.g.h+1";
  V v = pP();
  ASSERT_TRUE(v);
  EXPECT_EQ(symtext(v), "a|b|c|d|e|f|g|h");
  EXPECT_EQ(*pz.s, '+');
  mr(v);
  pz.s = pz.ts = "a.b.c.d.e.f.g.h.i";
  EXPECT_EQ(pP(), 0u);
  EXPECT_EQ(eclass(), "limit");
  pz.s = pz.ts = "averylongname.x.";
  v = pP();
  EXPECT_EQ(symtext(v), "averylongname|x");
  EXPECT_EQ(*pz.s, '.');
  mr(v);
}

TEST_F(Lit, SymbolLists) {
  struct C {
    const char *t;
    char sep;
    bool skip;
    const char *want;
    int adv;
  } cs[] = {
      {"`a", '`', false, "a", 2},
      {"`a`b", '`', false, "a|b", 4},
      {"`a `b", '`', false, "a|b", 5},
      {"`a ", '`', false, "a", 2},
      {"` ", '`', false, "", 1},
      {"`", '`', false, "", 1},
      {"``a", '`', false, "|a", 3},
      {"`a.b.c`d", '`', false, "a.b.c|d", 8},
      {"`.z.s", '`', false, ".z.s", 5},
      {"`.q", '`', false, ".q", 3},
      {"`a.", '`', false, "a", 2},
      {"`\"x y\"`z", '`', false, "x y|z", 8},
      {"`:f/g.txt", '`', false, ":f/g.txt", 9},
      {"[a; b ;c]", ';', true, "a|b|c", 8},
      {"[]", ';', true, "", 1},
  };
  for (const C &c : cs) {
    pz.s = pz.ts = c.t;
    V v = pSw(c.sep, c.skip);
    ASSERT_TRUE(v) << c.t;
    EXPECT_EQ(symtext(v), c.want) << c.t;
    EXPECT_EQ(pz.s - c.t, c.adv) << c.t;
    mr(v);
  }
  std::string t;
  for (int i = 0; i < 700; i++) t += "`s" + std::to_string(i);
  pz.s = pz.ts = t.c_str();
  V v = pSw('`', false);
  ASSERT_EQ(nx(v), 700u);
  for (int i = 0; i < 700; i++) ASSERT_EQ(std::string(su(PI(v)[i])), "s" + std::to_string(i));
  mr(v);
  pz.s = pz.ts = "`a`\"bc";
  EXPECT_EQ(pSw('`', false), 0u);
  EXPECT_EQ(eclass(), "parse");
}

TEST_F(Lit, Hex) {
  V t = aCz("00ff7Fa0");
  V v = unhC(t);
  ASSERT_TRUE(v);
  EXPECT_EQ(tp(v), tCHR);
  ASSERT_EQ(nx(v), 4u);
  EXPECT_EQ(P(v)[0], 0);
  EXPECT_EQ(P(v)[1], 0xff);
  EXPECT_EQ(P(v)[2], 0x7f);
  EXPECT_EQ(P(v)[3], 0xa0);
  EXPECT_EQ(nx(t), 8u);  // borrowed
  mr(v), mr(t);
  t = aCz("abc");
  EXPECT_EQ(unhC(t), 0u);
  EXPECT_EQ(eclass(), "length");
  mr(t);
  t = aCz("0g");
  EXPECT_EQ(unhC(t), 0u);
  EXPECT_EQ(eclass(), "domain");
  mr(t);
}

TEST_F(Lit, TemporalEntries) {
  // Bare months: Y.MM, month 1..12, not followed by a name character, a
  // colon or a full stop.
  struct C {
    const char *t;
    int ok;
    I m;
  } cs[] = {
      {"2000.01", 1, 0},       {"2000.12 x", 1, 11},   {"1999.12", 1, -1},  {"0.01", 1, -24000},
      {"178958970.08", 1, 2147483647},                 {"178958970.09", 0, 0},
      {"178958971.01", 0, 0},  {"2000.13", 0, 0},      {"2000.00", 0, 0},   {"2000.1", 0, 0},
      {"2000.011", 0, 0},      {"2000.01m", 0, 0},     {"2000.01.", 0, 0},  {"2000.01:", 0, 0},
      {"x2000.01", 0, 0},
  };
  for (const C &c : cs) {
    I m = 12345;
    EXPECT_EQ(pTy(c.t, &m), c.ok) << c.t;
    if (c.ok) { EXPECT_EQ(m, c.m) << c.t; }
  }
  // Text that is not temporal answers 0 with tbad clear and the cursor
  // unchanged; temporal shapes are routed to the temporal scanner.
  for (const char *t : {"1", "1.5", "12a", "0N", "0Nx", "0Ndx", "1D", "1D:30", "2000.01", "2000.01mx", "1.5.x"}) {
    tbad = 0;
    pz.s = pz.ts = t;
    EXPECT_EQ(pTmp(), 0u) << t;
    EXPECT_EQ(tbad, 0) << t;
    EXPECT_EQ(pz.s, t);
  }
  for (const char *t : {"-1", "-1.5", "-x", "-2000.01.01"}) {
    tbad = 0;
    pz.s = pz.ts = t;
    EXPECT_EQ(pTng(), 0u) << t;
    EXPECT_EQ(tbad, 0) << t;
    EXPECT_EQ(pz.s, t);
  }
  tbad = 0;
}

}  // namespace
