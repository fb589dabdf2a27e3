// dec_test.cpp: decimal-to-double conversion (io/dec.h) on hard cases,
// judged bit for bit by the C library's strtod (glibc rounds correctly).
// The power-of-five table is recomputed here with an independent
// big-integer long division.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/dec.h"

using namespace zk;

namespace {

uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }
uint64_t sref(const std::string &s) { return bits(std::strtod(s.c_str(), nullptr)); }
double cf(const std::string &s) { return csv_float(s.data(), s.data() + s.size()); }

// Exact decimal text of the point halfway between d and the next double up
// (it has at most 767 significant digits; long double holds it exactly).
std::string mid(double d) {
  long double u = d == DBL_MAX ? 2.0L * d - std::nextafter(d, 0.0) : std::nextafter(d, INFINITY);
  long double m = ((long double)d + u) / 2;  // past DBL_MAX the spacing stays 2^971
  std::vector<char> b(1200);
  std::snprintf(b.data(), b.size(), "%.900Le", m);
  std::string s = b.data();
  size_t e = s.find('e');
  size_t z = e;
  while (s[z - 1] == '0') --z;
  if (s[z - 1] == '.') --z;
  return s.substr(0, z) + s.substr(e);
}

// ---- a little big-integer arithmetic, 32-bit limbs, least significant first
using Big = std::vector<uint32_t>;
void trim(Big &a) { while (!a.empty() && !a.back()) a.pop_back(); }
Big pow5(int k) {
  Big a{1};
  for (int i = 0; i < k; ++i) {
    uint64_t c = 0;
    for (auto &l : a) c += uint64_t(l) * 5, l = uint32_t(c), c >>= 32;
    if (c) a.push_back(uint32_t(c));
  }
  return a;
}
int blen(const Big &a) { return a.empty() ? 0 : int(a.size() * 32 - std::countl_zero(a.back())); }
bool bit(const Big &a, int i) { return size_t(i / 32) < a.size() && (a[i / 32] >> (i % 32) & 1); }
void setbit(Big &a, int i) {
  if (a.size() <= size_t(i / 32)) a.resize(i / 32 + 1);
  a[i / 32] |= 1u << (i % 32);
}
int cmp(const Big &a, const Big &b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = a.size(); i--;)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}
void sub(Big &a, const Big &b) {  // a -= b, a >= b
  int64_t c = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    c += int64_t(a[i]) - (i < b.size() ? b[i] : 0);
    a[i] = uint32_t(c);
    c = c < 0 ? -1 : 0;
  }
  trim(a);
}
void shl1(Big &a, bool in) {
  uint32_t c = in;
  for (auto &l : a) {
    uint32_t n = l >> 31;
    l = l << 1 | c;
    c = n;
  }
  if (c) a.push_back(c);
}
// floor(2^b / d) by restoring binary division.
Big divpow2(int b, const Big &d) {
  Big q, r;
  for (int i = b; i >= 0; --i) {
    shl1(r, i == b);
    if (cmp(r, d) >= 0) sub(r, d), setbit(q, i);
  }
  return q;
}
void inc(Big &a) {
  for (auto &l : a)
    if (++l) return;
  a.push_back(1);
}
// The top 128 bits of a (shifted left or right), as {high, low}.
std::pair<uint64_t, uint64_t> top128(const Big &a) {
  int n = blen(a);
  auto at = [&](int i) { return i >= 0 && bit(a, i); };
  uint64_t h = 0, l = 0;
  for (int k = 0; k < 64; ++k) h = h << 1 | at(n - 1 - k);
  for (int k = 64; k < 128; ++k) l = l << 1 | at(n - 1 - k);
  return {h, l};
}

}  // namespace

TEST(Dec, PowerTablesMatchTheirDefinition) {
  double p = 1;
  for (int i = 0; i <= 22; ++i, p *= 10) EXPECT_EQ(csv_p10[i], p) << i;  // all exact
  EXPECT_EQ(csv_p5[342][0], 0x8000000000000000ull);
  EXPECT_EQ(csv_p5[342][1], 0ull);
  EXPECT_EQ(csv_p5[341][0], 0xccccccccccccccccull);
  EXPECT_EQ(csv_p5[341][1], 0xcccccccccccccccdull);
  for (int q = -342; q <= 308; ++q) {
    std::pair<uint64_t, uint64_t> want;
    if (q >= 0) {
      want = top128(pow5(q));  // truncation: bits below the 128 dropped
    } else {
      Big d = pow5(-q);
      int z = blen(d);
      Big v = divpow2(q >= -27 ? z + 127 : 2 * z + 128, d);
      inc(v);
      ASSERT_GE(blen(v), 128) << q;
      want = top128(v);  // halving until below 2^128 keeps the top 128 bits
    }
    ASSERT_EQ(csv_p5[q + 342][0], want.first) << q;
    ASSERT_EQ(csv_p5[q + 342][1], want.second) << q;
  }
}

TEST(Dec, FastFloatHandledTexts) {
  struct C { const char *s; double v; size_t stop; };  // stop: bytes consumed
  const C cs[] = {
      {"1.e3", 1000, 4},        {"+.5", 0.5, 3},         {"5.", 5, 2},
      {"-0", -0.0, 2},          {"-0.0", -0.0, 4},       {"0", 0.0, 1},
      {"9007199254740992", 9007199254740992.0, 16},    {"1e22", 1e22, 4},
      {"00000000000000000000000001", 1, 26},            {"1,5", 1, 1},
      {"0.1", 0.1, 3},          {"-123.4567", -123.4567, 9},
      {"1e-22", 1e-22, 5},      {"1E+0005", 1e5, 7},     {"0e9999", 0.0, 6},
      {"-0e-9999", -0.0, 8},    {"0.000000000000000000000000000000", 0.0, 32},
      {"0.0000000000000000000001", 1e-22, 24},          {"1.5x", 1.5, 3},
      {"2.5e3\n", 2500, 5},     {"1e5e", 1e5, 3},        {"12.34.5", 12.34, 5},
  };
  for (const C &c : cs) {
    std::string s = c.s;
    double v = -1;
    const char *r = fast_float(s.data(), s.data() + s.size(), &v);
    ASSERT_NE(r, nullptr) << s;
    EXPECT_EQ(size_t(r - s.data()), c.stop) << s;
    EXPECT_EQ(bits(v), bits(c.v)) << s;
    EXPECT_EQ(bits(v), bits(std::strtod(std::string(s, 0, c.stop).c_str(), nullptr))) << s;
  }
  double z = 1;
  const char *m0 = "-0";
  ASSERT_EQ(fast_float(m0, m0 + 2, &z), m0 + 2);
  EXPECT_EQ(bits(z), 0x8000000000000000ull);
}

TEST(Dec, FastFloatDeclines) {
  const char *no[] = {"",      ".",   "-",   "+",   "e5",  "1e",  "1e+", "1e-", "-.",
                      "+e1",   "1ex", "1e+x", "9007199254740993", "1e23", "1e-23",
                      "0e99999", "0e999999", "1234567890123456789", "12345678901234567890",
                      "0.12345678901234567890", "1.0000000000000000000", ".e1",
                      "1234567890123456789e-3", "18446744073709551617" /* wraps to 1 in 64 bits */};
  for (const char *c : no) {
    std::string s = c;
    double v = 7;
    EXPECT_EQ(fast_float(s.data(), s.data() + s.size(), &v), nullptr) << '"' << s << '"';
    EXPECT_EQ(v, 7) << s;  // nothing stored
  }
}

TEST(Dec, ElfPairs) {
  struct C { uint64_t w; int64_t q; uint64_t b; };
  const C given[] = {
      {1, 309, 0x7ff0000000000000ull}, {49, -325, 1}, {25, -325, 1}, {5, -324, 1},
      {1, -324, 0},  {1, -343, 0},  {0, 5, 0},  {1, 400000, 0x7ff0000000000000ull},
      {~0ull, -100000, 0}, {1, INT64_MIN, 0}, {1, INT64_MAX, 0x7ff0000000000000ull},
  };
  for (const C &c : given) EXPECT_EQ(bits(csv_elf(c.w, c.q)), c.b) << c.w << "e" << c.q;
  EXPECT_EQ(csv_elf(1, 308), 1e308);
  const uint64_t ws[] = {1, 2, 3, 5, 7, 9, 10, 17, 49, 2470328229206232721ull,
                         9007199254740993ull, 9007199254740992ull, 9007199254740995ull,
                         4503599627370497ull, 18014398509481985ull, 18014398509481986ull,
                         17976931348623157ull, 17976931348623158ull, 17976931348623159ull,
                         22250738585072011ull, 22250738585072014ull, 9999999999999999999ull,
                         10000000000000000000ull, 18446744073709551615ull, 18446744073709551614ull,
                         12345678901234567890ull, 4940656458412465442ull, 7450580596923828125ull};
  const int64_t qs[] = {-343, -342, -341, -340, -330, -326, -325, -324, -323, -320, -310,
                        -309, -308, -307, -300, -100, -28, -27, -23, -22, -5, -4, -3, -2,
                        -1, 0, 1, 2, 3, 4, 22, 23, 24, 27, 28, 100, 280, 288, 289, 290,
                        291, 292, 300, 305, 307, 308, 309};
  char b[64];
  for (uint64_t w : ws)
    for (int64_t q : qs) {
      std::snprintf(b, sizeof b, "%llue%lld", (unsigned long long)w, (long long)q);
      EXPECT_EQ(bits(csv_elf(w, q)), sref(b)) << b;
    }
  // Exact ties: w * 10^q = (odd 54-bit number) * 2^k, possible only for q in
  // -4..23, must go to even; w - 1 and w + 1 go to the nearer neighbour.
  for (int q = -4; q <= 23; ++q) {
    unsigned __int128 p5 = 1;
    for (int i = 0; i < (q < 0 ? -q : q); ++i) p5 *= 5;
    std::vector<uint64_t> ws2;
    for (uint64_t t : {(1ull << 53) + 1, (1ull << 53) + 3, (1ull << 54) - 1, 6004799503160661ull * 2 + 1}) {
      if (q >= 0) {
        uint64_t s = uint64_t(t / p5) | 1;  // s * 5^q is odd; keep it in [2^53, 2^54)
        while (s * p5 < (unsigned __int128)1 << 53) s += 2;
        if (s * p5 >= (unsigned __int128)1 << 54) continue;
        for (int j : {0, 1, 7}) ws2.push_back(s << j);
      } else {
        for (int j : {0, 1, 3}) {
          unsigned __int128 w = t * p5 << j;
          if (!(w >> 64)) ws2.push_back(uint64_t(w));
        }
      }
    }
    ASSERT_FALSE(ws2.empty()) << q;
    for (uint64_t w0 : ws2)
      for (uint64_t w : {w0 - 1, w0, w0 + 1}) {
        std::snprintf(b, sizeof b, "%llue%d", (unsigned long long)w, q);
        EXPECT_EQ(bits(csv_elf(w, q)), sref(b)) << b;
      }
  }
}

TEST(Dec, FloatHardCases) {
  const char *cs[] = {
      "0", "0.0e5", "000", "", ".", "0.000000", "0e999999999999999999999", ".5", "5.",
      "9007199254740993", "9007199254740992", "9007199254740994", "9007199254740995",
      "9007199254740993.0000000000000000000000001", "9007199254740992.9999999999999999999999",
      "2.2250738585072011e-308", "2.2250738585072014e-308", "2.2250738585072012e-308",
      "4.9e-324", "5e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
      "2.4703282292062327208828439643411068618252990130716238221279284125033775364e-324",
      "1e-320", "1.7976931348623157e308", "1.7976931348623158e308", "1.7976931348623159e308",
      "1e309", "1e-400", "1e400", "123e-400", "0.0000001e400", "1e-99999999999999999999999",
      "1e99999999999999999999999", "0.00000000000000000000000000000000001e35",
      "1000000000000000000000000000000000000e-36", "4.4501477170144023e-308",
      "1e23", "8.589973e9", "7.1e-10", "3.0e-44", "123.4567", "0.1", "0.3", "1.1",
      "1.00000000000000011102230246251565404236316680908203125",
      "1.00000000000000011102230246251565404236316680908203124",
      "1.00000000000000011102230246251565404236316680908203126",
      "1.000000000000000111022302462515654042363166809082031250000000000000000001",
      "9999999999999999999", "99999999999999999999", "99999999999999999999e289",
      "9999999999999999999.5e289", "18446744073709551615", "18446744073709551616",
      "12345678901234567890123", "1234567890123456789012345678901234567890e-20",
      "0.000000000000000000000000000000000000000000000001234567890123456789012",
      "1e+308", "1e-308", "1E5", "1e", "1e+", "1e-", "12e0000000000000000000001",
      "2.225073858507201136057409796709131975934819546351645648023426109724822222021076945516529523908135087914149158913039621106870086438694594645527657207407820621743379988141063267329253552286881372149012981122451451889849057222307285255133155755015914397476397983411801999323962548289017107081850690630666655994938275772572015763062690663332647565300009245888316433037779791869612049497390377829704905051080609940730262937128958950003583799967207254304360284078895771796150945516748243471030702609144621572289880258182545180325707018860872113128079512233426288368622321503775666622503982534335974568884423900265498198385487948292206894721689831099698365846814022854243330660339850886445804001034933970427567186443383770486037861622771738545623065874679014086723327636718751234e-308",
  };
  for (const char *c : cs) {
    std::string s = c;
    EXPECT_EQ(bits(cf(s)), sref(s)) << '"' << s << '"';
  }
  EXPECT_EQ(bits(cf("2.4703282292062327e-324")), 0ull);
  EXPECT_EQ(bits(cf("4.9e-324")), 1ull);
  EXPECT_EQ(cf("1.7976931348623157e308"), DBL_MAX);
  EXPECT_EQ(bits(cf("1e309")), 0x7ff0000000000000ull);
  // Bytes after the number are ignored.
  EXPECT_EQ(cf("1.5,2"), 1.5);
  EXPECT_EQ(cf("25e-1x"), 2.5);
}

// Exact midpoints between neighbouring doubles (up to 767 digits), and the
// same texts nudged by a digit far beyond the 780 kept by the fallback.
TEST(Dec, FloatMidpointsAndLongTexts) {
  const double ds[] = {0.0, 4.9406564584124654e-324, 1e-320, 2.2250738585072009e-308,
                       2.2250738585072014e-308, 1.0, 9007199254740992.0, 1e23, 1e300,
                       1.7976931348623155e308, DBL_MAX};
  for (double d : ds) {
    std::string m = mid(d);
    size_t e = m.find('e');
    std::string man = m.substr(0, e), ex = m.substr(e);
    if (man.find('.') == std::string::npos) man += ".";
    std::vector<std::string> v = {
        m,
        man + std::string(3000, '0') + ex,             // still exactly the midpoint
        man + std::string(3000, '0') + "1" + ex,       // a hair above
        man + std::string(900, '0') + "1" + ex,
    };
    // all digits before the point: the fallback's integer branch
    std::string D = man;
    D.erase(D.find('.'), 1);
    long x = std::strtol(ex.c_str() + 1, nullptr, 10) - long(D.size() - 1);
    v.push_back(D + "e" + std::to_string(x));
    v.push_back(D + std::string(2000, '0') + "1e" + std::to_string(x - 2001));
    // behind a thousand zeros after the point (they are not significant)
    v.push_back("0." + std::string(1000, '0') + D + "e" + std::to_string(x + 1000 + long(D.size())));
    v.push_back("0." + std::string(1000, '0') + D + "1e" + std::to_string(x + 1001 + long(D.size())));
    // a hair below: decrement the last digit, then a long tail of nines
    std::string lo = man;
    size_t k = lo.size() - 1;
    while (lo[k] == '0' || lo[k] == '.') {
      if (lo[k] == '0') lo[k] = '9';
      --k;
    }
    lo[k]--;
    v.push_back(lo + std::string(2000, '9') + ex);
    for (const std::string &s : v) EXPECT_EQ(bits(cf(s)), sref(s)) << s.substr(0, 40) << "..." << s.size();
  }
  // Thousands of digits before and after the point.
  std::string one = "1" + std::string(5000, '0');
  EXPECT_EQ(bits(cf(one + "e-5000")), bits(1.0));
  EXPECT_EQ(bits(cf(one + "e-4700")), sref(one + "e-4700"));
  EXPECT_EQ(bits(cf(one)), 0x7ff0000000000000ull);
  std::string frac = "0." + std::string(4000, '0') + "17976931348623157";
  EXPECT_EQ(bits(cf(frac + "e4309")), bits(DBL_MAX));
  // A long run of zeros balanced by a long exponent.
  EXPECT_EQ(cf("0." + std::string(20000, '0') + "1e20005"), 1e4);
  EXPECT_EQ(cf("0." + std::string(20000, '0') + "12345678901234567890123e20005"), 12345.678901234567890123);
  std::string digits;
  for (int i = 0; i < 4000; ++i) digits += char('0' + (i * 7 + 3) % 10);
  for (const char *x : {"e-4000", "e-3700", "e-4300", "e-4330", "e-3900", ""}) {
    std::string s = digits + x, t = "0." + digits + x;
    EXPECT_EQ(bits(cf(s)), sref(s)) << x;
    EXPECT_EQ(bits(cf(t)), sref(t)) << x;
  }
}

TEST(Dec, LongBracketing) {
  struct C { const char *i, *f; };  // integer run, fraction run
  const C cs[] = {
      {"99999999999999999995", ""},   {"9999999999999999999", "5"},
      {"12345678901234567890123", ""}, {"1", "2345678901234567890123"},
      {"", "12345678901234567890123"}, {"1234567890", "123456789012345"},
      {"17976931348623157081452742373170435679807056752584499659891747680315726078002853876"
       "058955863276687817154045895351438246423432132688946418276846754670353751698604991057655"
       "128207624549009038932894407586850845513394230458323690322294816580855933212334827479782"
       "620414472316873817718091929988125040402618412485836",
       ""},
  };
  for (const C &c : cs) {
    std::string i = c.i, f = c.f;
    for (int64_t shift : {int64_t(0), int64_t(-300), int64_t(-330), int64_t(-340), int64_t(289),
                          int64_t(300), int64_t(-350)}) {
      int64_t E = int64_t(i.size()) + shift;
      double v = -1;
      int ok = csv_long(i.data(), int64_t(i.size()), f.data(), E, &v);
      char e[32];
      std::snprintf(e, sizeof e, "e%lld", (long long)shift);
      std::string s = (i.empty() ? "0" : i) + "." + f + e;
      if (ok) {
        EXPECT_EQ(bits(v), sref(s)) << s;
      } else {
        EXPECT_EQ(v, -1) << s;
      }
      EXPECT_EQ(bits(cf(s)), sref(s)) << s;
    }
  }
  // Nineteen nines: the upper bound is 10^19 * 10^q, i.e. 10^18 * 10^(q+1).
  const char *n9 = "99999999999999999999";
  double v = 0;
  ASSERT_EQ(csv_long(n9, 20, "", 20, &v), 1);
  EXPECT_EQ(v, 1e20);
  ASSERT_EQ(csv_long(n9, 20, "", 328, &v), 1);  // lower bound 9.99e326 is inf already
  EXPECT_EQ(bits(v), 0x7ff0000000000000ull);
  ASSERT_EQ(csv_long(n9, 20, "", 309, &v), 1);  // 9.99...e308 rounds past DBL_MAX
  EXPECT_EQ(bits(v), sref("9.9999999999999999999e308"));
  ASSERT_EQ(csv_long(n9, 20, "", -323, &v), 1);
  EXPECT_EQ(bits(v), sref("0.99999999999999999999e-323"));
  ASSERT_EQ(csv_long(n9, 20, "", -400000, &v), 1);
  EXPECT_EQ(bits(v), 0ull);
  // A tie in the first 19 digits with something after: the bounds straddle.
  EXPECT_EQ(csv_long("90071992547409930001", 20, "", 16, &v), 0);
  EXPECT_EQ(cf("9007199254740993.0001"), 9007199254740994.0);
  EXPECT_EQ(cf("9007199254740993.0000"), 9007199254740992.0);
  // Leading zeros in the runs, or none significant at all.
  EXPECT_EQ(csv_long("0000000000000000000000", 22, "", 1, &v), 0);
}
