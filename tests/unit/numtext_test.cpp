// Unit tests of the raw number and temporal text writers: tables of inputs
// and exact expected texts, with the C++ library's integer and float
// conversions as outside judges where one exists.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/numtext.h"

using namespace zk;

namespace {

constexpr char SENT = '\x7f';

// Runs a writer into a sentinel-filled buffer and returns its text; fails
// the test when the writer touches a byte past its returned end or writes
// more than `room` bytes.
template <class W> std::string run(W w, size_t room) {
  char buf[96];
  std::memset(buf, SENT, sizeof buf);
  char *e = w(buf + 8);
  EXPECT_GE(e, buf + 8);
  EXPECT_LE((size_t)(e - (buf + 8)), room);
  for (char *p = buf; p < buf + 8; ++p) EXPECT_EQ(*p, SENT) << "write before dst";
  for (char *p = e; p < buf + sizeof buf; ++p)
    if (*p != SENT) {
      ADD_FAILURE() << "write past end at +" << (p - e);
      break;
    }
  return std::string(buf + 8, e);
}

uint64_t bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return u;
}

std::string W(uint64_t u) { return run([&](char *d) { return sW(d, u); }, 20); }
std::string L(int64_t i) { return run([&](char *d) { return sl(d, i); }, 20); }
std::string Fb(uint64_t u) { return run([&](char *d) { return sf(d, u); }, 24); }
std::string Fx(double x) { return Fb(bits(x)); }
std::string Dt(int32_t v) { return run([&](char *d) { return sdt(d, v); }, 14); }
std::string Tm(int32_t v) { return run([&](char *d) { return stm(d, v); }, 14); }
std::string Np(int64_t v) { return run([&](char *d) { return snp(d, v); }, 29); }
std::string Mn(int32_t v) { return run([&](char *d) { return smn(d, v); }, 12); }
std::string Sc(int32_t v) { return run([&](char *d) { return ssc(d, v); }, 14); }
std::string Mo(int32_t v) { return run([&](char *d) { return smo(d, v); }, 13); }
std::string Sp(int64_t v) { return run([&](char *d) { return ssp(d, v); }, 26); }
std::string Tq(int t, int64_t v, int fl) {
  return run([&](char *d) { return tqw(d, t, v, fl); }, 40);
}

std::string lib_dec(uint64_t u) {
  char b[32];
  return std::string(b, std::to_chars(b, b + 32, u).ptr);
}
std::string lib_dec(int64_t i) {
  char b[32];
  return std::string(b, std::to_chars(b, b + 32, i).ptr);
}

constexpr int64_t NSD = 86400000000000;

}  // namespace

// ------------------------------------------------------------- integers

TEST(NumText, UnsignedDigits) {
  struct {
    uint64_t in;
    const char *out;
  } t[] = {
      {0, "0"},
      {7, "7"},
      {10, "10"},
      {99, "99"},
      {100, "100"},
      {99999999, "99999999"},
      {100000000, "100000000"},
      {9999999999999999ull, "9999999999999999"},
      {10000000000000000ull, "10000000000000000"},
      {10000000000000000000ull, "10000000000000000000"},
      {UINT64_MAX, "18446744073709551615"},
  };
  for (auto &c : t) EXPECT_EQ(W(c.in), c.out) << c.in;
  // Every digit-count boundary, and a spread of random widths.
  for (uint64_t p = 1, k = 0; k < 20; ++k, p *= 10) {
    EXPECT_EQ(W(p), lib_dec(p));
    EXPECT_EQ(W(p - 1), lib_dec(p - 1));
    EXPECT_EQ(W(p + 1), lib_dec(p + 1));
  }
  std::mt19937_64 g(7);
  for (int i = 0; i < 200000; ++i) {
    uint64_t u = g() >> (g() % 64);
    ASSERT_EQ(W(u), lib_dec(u));
  }
}

TEST(NumText, SignedDigits) {
  struct {
    int64_t in;
    const char *out;
  } t[] = {
      {0, "0"},
      {-1, "-1"},
      {INT64_MIN, "0N"},                         // the long null
      {INT64_MAX, "9223372036854775807"},        // 0W prints as digits
      {INT64_MIN + 1, "-9223372036854775807"},   // -0W likewise
      {-100000000, "-100000000"},
      {2147483647, "2147483647"},
      {-2147483648LL, "-2147483648"},
  };
  for (auto &c : t) EXPECT_EQ(L(c.in), c.out) << c.in;
  std::mt19937_64 g(8);
  for (int i = 0; i < 200000; ++i) {
    int64_t v = (int64_t)(g() >> (g() % 64));
    if (g() & 1) v = -v;
    if (v == INT64_MIN) continue;
    ASSERT_EQ(L(v), lib_dec(v));
  }
}

// --------------------------------------------------------------- floats

TEST(NumText, FloatSpecials) {
  struct {
    uint64_t in;
    const char *out;
  } t[] = {
      {0x0000000000000000ull, "0.0"},
      {0x8000000000000000ull, "-0.0"},
      {0x7ff0000000000000ull, "0w"},
      {0xfff0000000000000ull, "-0w"},
      {0x7ff8000000000000ull, "0n"},  // the default quiet NaN
      {0xfff8000000000000ull, "0n"},  // a NaN's sign is not printed
      {0x7ff8000000000005ull, "5n"},  // payload digits before the n
      {0x7ff0000000000001ull, "2251799813685249n"},  // signalling: quiet bit flipped on
      {0x7fffffffffffffffull, "2251799813685247n"},
      {0xfff4000000000000ull, "3377699720527872n"},
  };
  for (auto &c : t) EXPECT_EQ(Fb(c.in), c.out) << std::hex << c.in;
  EXPECT_EQ(Fx(std::nan("")), "0n");
  EXPECT_EQ(Fx(HUGE_VAL), "0w");
}

TEST(NumText, FloatLayout) {
  struct {
    double in;
    const char *out;
  } t[] = {
      // fixed form, first digit at 10^0 .. 10^15; integral values end ".0"
      {1.0, "1.0"},
      {-1.0, "-1.0"},
      {1.5, "1.5"},
      {123.45, "123.45"},
      {-123.45, "-123.45"},
      {100.0, "100.0"},
      {100.5, "100.5"},
      {4.35, "4.35"},
      {1234567.0, "1234567.0"},
      {1e15, "1000000000000000.0"},
      {999999999999999.9, "999999999999999.9"},
      {9007199254740992.0, "9007199254740992.0"},  // 2^53
      {9007199254740993.0, "9007199254740992.0"},  // rounds to 2^53 on reading
      {9999999999999998.0, "9999999999999998.0"},
      {1.1 * 1.1, "1.2100000000000002"},
      {100 * 1.1, "110.00000000000001"},
      // "0." form for first digits at 10^-1 .. 10^-3
      {0.1, "0.1"},
      {0.3, "0.3"},
      {0.1 + 0.2, "0.30000000000000004"},
      {0.5, "0.5"},
      {0.25, "0.25"},
      {0.001, "0.001"},
      {0.0015, "0.0015"},
      {-0.0015, "-0.0015"},
      {0.0012, "0.0012"},
      {1.0 / 3, "0.3333333333333333"},
      {2.0 / 3, "0.6666666666666666"},
      {0.009999999999999998, "0.009999999999999998"},
      // scientific: one leading digit, no "+", no exponent padding
      {0.0001, "1e-4"},
      {9.99e-4, "9.99e-4"},
      {-9.99e-4, "-9.99e-4"},
      {1.5e-7, "1.5e-7"},
      {1e16, "1e16"},
      {1.5e16, "1.5e16"},
      {123456789012345678.0, "1.2345678901234568e17"},
      {9223372036854775808.0, "9.223372036854776e18"},  // 2^63
      {1e21, "1e21"},
      {1e22, "1e22"},
      {1e23, "1e23"},
      {1e100, "1e100"},
      {1e-100, "1e-100"},
      {-1.25e-10, "-1.25e-10"},
      {5e-324, "5e-324"},  // smallest subnormal
      {-5e-324, "-5e-324"},
      {1e-323, "1e-323"},
      {2.225073858507201e-308, "2.225073858507201e-308"},    // largest subnormal
      {2.2250738585072014e-308, "2.2250738585072014e-308"},  // smallest normal
      {-2.2250738585072014e-308, "-2.2250738585072014e-308"},  // 24 bytes
      {DBL_MAX, "1.7976931348623157e308"},
      {-DBL_MAX, "-1.7976931348623157e308"},
      {5e-310, "5e-310"},
      {1.7976931348623155e308, "1.7976931348623155e308"},
      // exact ties between two shortest candidates go to the even digit
      {1125899906842624.25, "1125899906842624.2"},
      {1125899906842624.75, "1125899906842624.8"},
      {1125899906842625.25, "1125899906842625.2"},
      {1125899906842625.75, "1125899906842625.8"},
      // no tie: nearest wins
      {562949953421312.125, "562949953421312.1"},
      {562949953421312.375, "562949953421312.4"},
  };
  for (auto &c : t) EXPECT_EQ(Fx(c.in), c.out) << std::hexfloat << c.in;
}

// Powers of two across the whole range: the lower neighbour is half as far
// as the upper one, the case where the interval is lopsided.
TEST(NumText, FloatPowersOfTwoAgainstLibrary) {
  for (int e = -1074; e <= 1023; ++e) {
    double x = std::ldexp(1.0, e);
    char b[64];
    auto r = std::to_chars(b, b + 64, x, std::chars_format::scientific);
    std::string lib(b, r.ptr);
    // Pull digits and exponent out of both and compare those.
    std::string mine = Fx(x);
    ASSERT_EQ(std::strtod(mine.c_str(), nullptr), x) << mine;
    std::string ld = lib.substr(0, lib.find('e'));
    ld.erase(std::remove(ld.begin(), ld.end(), '.'), ld.end());
    int le = std::atoi(lib.c_str() + lib.find('e') + 1);
    sfd_t d = sfd(bits(x));
    std::string md = std::to_string(d.m);
    ASSERT_EQ(md, ld) << e;
    ASSERT_EQ(d.e + (int)md.size() - 1, le) << e;
  }
}

TEST(NumText, ShortestDigits) {
  struct {
    double in;
    uint64_t m;
    int32_t e;
  } t[] = {
      {1.0, 1, 0},       {100.0, 1, 2},   {0.1, 1, -1},          {123.45, 12345, -2},
      {5e-324, 5, -324}, {1e23, 1, 23},   {-2.5, 25, -1},        {DBL_MAX, 17976931348623157ull, 292},
      {0.3, 3, -1},      {1e15, 1, 15},   {9007199254740991.0, 9007199254740991ull, 0},
  };
  for (auto &c : t) {
    sfd_t r = sfd(bits(c.in));
    EXPECT_EQ(r.m, c.m) << c.in;
    EXPECT_EQ(r.e, c.e) << c.in;
  }
}

// Formatting from several threads at once gives the same texts as one
// thread: nothing inside the float writer is built on first use.
TEST(NumText, FloatFromManyThreads) {
  std::vector<uint64_t> in;
  std::mt19937_64 g(11);
  for (int i = 0; i < 4000; ++i) in.push_back(g());
  std::vector<std::string> want;
  for (uint64_t u : in) {
    char b[32];
    want.emplace_back(b, sf(b, u));
  }
  std::vector<int> bad(8, 0);
  std::vector<std::thread> th;
  for (int k = 0; k < 8; ++k)
    th.emplace_back([&, k] {
      for (size_t i = 0; i < in.size(); ++i) {
        char b[32];
        if (std::string(b, sf(b, in[i])) != want[i]) ++bad[k];
      }
    });
  for (auto &x : th) x.join();
  for (int k = 0; k < 8; ++k) EXPECT_EQ(bad[k], 0);
}

// ------------------------------------------------------------- temporal

TEST(NumText, Dates) {
  struct {
    int32_t in;
    const char *out;
  } t[] = {
      {0, "2000.01.01"},
      {-1, "1999.12.31"},
      {1, "2000.01.02"},
      {59, "2000.02.29"},  // 2000 is a leap year
      {60, "2000.03.01"},
      {10956, "2029.12.30"},
      {-36525, "1899.12.31"},
      {-146097, "1600.01.01"},
      {146097, "2400.01.01"},
      {-730119, "1.01.01"},
      {-730120, "0.12.31"},  // year 0 exists, unpadded
      {-730425, "0.03.01"},
      {-730426, "0.02.29"},  // year 0 is a leap year
      {-730485, "0.01.01"},
      {-730486, "-1.12.31"},
      {2932897, "10029.12.31"},
      {3652424, "11999.12.31"},
      {INT32_MAX, "5881610.07.11"},
      {INT32_MIN + 1, "-5877611.06.23"},
      {INT32_MIN, "-5877611.06.22"},  // the null's count; callers test for it
  };
  for (auto &c : t) EXPECT_EQ(Dt(c.in), c.out) << c.in;
}

// Walks the calendar a day at a time, both ways from 2000.01.01, with
// month lengths from the leap-year rule, and compares every date.
TEST(NumText, DatesAgainstCalendarWalk) {
  auto leap = [](int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
  auto mlen = [&](int64_t y, int m) {
    static const int n[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : n[m - 1];
  };
  auto txt = [](int64_t y, int m, int d) {
    char b[40];
    std::snprintf(b, sizeof b, "%s%lld.%02d.%02d", y < 0 ? "-" : "", (long long)(y < 0 ? -y : y), m,
                  d);
    return std::string(b);
  };
  int64_t y = 2000;
  int m = 1, d = 1;
  for (int32_t k = 0; k < 900000; ++k) {
    ASSERT_EQ(Dt(k), txt(y, m, d)) << k;
    if (++d > mlen(y, m)) d = 1, ++m;
    if (m > 12) m = 1, ++y;
  }
  y = 2000, m = 1, d = 1;
  for (int32_t k = 0; k > -1500000; --k) {
    ASSERT_EQ(Dt(k), txt(y, m, d)) << k;
    if (--d < 1) {
      if (--m < 1) m = 12, --y;
      d = mlen(y, m);
    }
  }
}

// The calendar repeats every 146097 days (400 years): far dates must show
// the same month and day with the year moved by 400.
TEST(NumText, FarDatesRepeatEvery400Years) {
  std::mt19937 g(5);
  for (int i = 0; i < 100000; ++i) {
    int32_t d = (int32_t)(g() % 4294967296ull - 2147483648ll);
    if (d > INT32_MAX - 146097) d -= 146097;
    std::string a = Dt(d), b = Dt(d + 146097);
    auto year = [](const std::string &s) {
      return std::stoll(s.substr(0, s.find('.', 1)));
    };
    ASSERT_EQ(a.substr(a.find('.', 1)), b.substr(b.find('.', 1))) << d;
    ASSERT_EQ(year(a) + 400, year(b)) << d;
  }
}

TEST(NumText, Months) {
  struct {
    int32_t in;
    const char *out;
  } t[] = {
      {0, "2000.01"},      {-1, "1999.12"},     {11, "2000.12"},
      {12, "2001.01"},     {-12, "1999.01"},    {-13, "1998.12"},
      {-24000, "0.01"},    {-23989, "0.12"},    {-24001, "-1.12"},
      {-24012, "-1.01"},   {-24013, "-2.12"},   {96000, "10000.01"},
      {INT32_MAX, "178958970.08"},               {INT32_MIN, "-178954971.05"},
  };
  for (auto &c : t) EXPECT_EQ(Mo(c.in), c.out) << c.in;
}

TEST(NumText, Times) {
  struct {
    int32_t in;
    const char *out;
  } t[] = {
      {0, "00:00:00.000"},
      {-1, "-00:00:00.001"},
      {1, "00:00:00.001"},
      {45296789, "12:34:56.789"},
      {-45296789, "-12:34:56.789"},
      {35999999, "09:59:59.999"},
      {36000000, "10:00:00.000"},
      {86399999, "23:59:59.999"},
      {90000000, "25:00:00.000"},  // no wrap at midnight
      {359999999, "99:59:59.999"},
      {360000000, "100:00:00.000"},
      {INT32_MAX, "596:31:23.647"},
      {INT32_MIN, "-596:31:23.648"},
  };
  for (auto &c : t) EXPECT_EQ(Tm(c.in), c.out) << c.in;
}

TEST(NumText, Minutes) {
  struct {
    int32_t in;
    const char *out;
  } t[] = {
      {0, "00:00"},          {-1, "-00:01"},           {59, "00:59"},       {599, "09:59"},
      {600, "10:00"},        {1439, "23:59"},          {1500, "25:00"},     {6000, "100:00"},
      {-754, "-12:34"},      {INT32_MAX, "35791394:07"}, {INT32_MIN, "-35791394:08"},
  };
  for (auto &c : t) EXPECT_EQ(Mn(c.in), c.out) << c.in;
}

TEST(NumText, Seconds) {
  struct {
    int32_t in;
    const char *out;
  } t[] = {
      {0, "00:00:00"},        {-1, "-00:00:01"},       {45296, "12:34:56"},
      {35999, "09:59:59"},    {36000, "10:00:00"},     {90000, "25:00:00"},
      {360000, "100:00:00"},  {-45296, "-12:34:56"},   {INT32_MAX, "596523:14:07"},
      {INT32_MIN, "-596523:14:08"},
  };
  for (auto &c : t) EXPECT_EQ(Sc(c.in), c.out) << c.in;
}

TEST(NumText, Timestamps) {
  struct {
    int64_t in;
    const char *out;
  } t[] = {
      {INT64_MIN, "0N"},
      {0, "2000.01.01D00:00:00.000000000"},
      {1, "2000.01.01D00:00:00.000000001"},
      {-1, "1999.12.31D23:59:59.999999999"},  // floor: previous day, clock forward
      {-NSD, "1999.12.31D00:00:00.000000000"},
      {-NSD - 1, "1999.12.30D23:59:59.999999999"},
      {NSD - 1, "2000.01.01D23:59:59.999999999"},
      {45296123456789, "2000.01.01D12:34:56.123456789"},
      {1700000000123456789, "2053.11.13D22:13:20.123456789"},
      {INT64_MAX, "2292.04.10D23:47:16.854775807"},
      {INT64_MIN + 1, "1707.09.22D00:12:43.145224193"},
      {-631152000000000000, "1980.01.01D00:00:00.000000000"},
  };
  for (auto &c : t) EXPECT_EQ(Np(c.in), c.out) << c.in;
}

TEST(NumText, Timespans) {
  struct {
    int64_t in;
    const char *out;
  } t[] = {
      {0, "0D00:00:00.000000000"},
      {1, "0D00:00:00.000000001"},
      {-1, "-0D00:00:00.000000001"},
      {93784005006007, "1D02:03:04.005006007"},
      {-93784005006007, "-1D02:03:04.005006007"},
      {-1000000000, "-0D00:00:01.000000000"},
      {100 * NSD + 1, "100D00:00:00.000000001"},
      {NSD - 1, "0D23:59:59.999999999"},
      {INT64_MAX, "106751D23:47:16.854775807"},
      {INT64_MIN + 1, "-106751D23:47:16.854775807"},
      {INT64_MIN, "0N"},  // the null has no magnitude to negate
  };
  for (auto &c : t) EXPECT_EQ(Sp(c.in), c.out) << c.in;
}

// A timestamp one day later is the same clock on the next date; a
// timespan's negative prints as the positive with a minus.
TEST(NumText, TimestampAndTimespanConsistency) {
  std::mt19937_64 g(3);
  for (int i = 0; i < 100000; ++i) {
    int64_t ns = (int64_t)(g() % 18000000000000000000ull - 9000000000000000000ull);
    std::string a = Np(ns), b = Np(ns + NSD);
    ASSERT_EQ(a.substr(a.find('D')), b.substr(b.find('D'))) << ns;
    if (ns > 0) {
      ASSERT_EQ(Sp(-ns), "-" + Sp(ns)) << ns;
    }
  }
}

TEST(NumText, TemporalAtomText) {
  struct {
    int t;
    int64_t v;
    int flags;
    const char *out;
  } t[] = {
      {33, INT32_MIN, 0, ""},    {33, INT32_MIN, 1, "0Nd"}, {34, INT32_MIN, 1, "0Nt"},
      {35, INT64_MIN, 1, "0Np"}, {36, INT32_MIN, 1, "0Nu"}, {37, INT32_MIN, 1, "0Nv"},
      {38, INT32_MIN, 1, "0Nm"}, {39, INT64_MIN, 1, "0Nn"}, {35, INT64_MIN, 0, ""},
      {39, INT64_MIN, 0, ""},    {38, INT32_MIN, 0, ""},
      {33, 0, 0, "2000.01.01"},  {33, 8780, 1, "2024.01.15"},
      {38, 0, 1, "2000.01m"},    {38, 0, 0, "2000.01"},     {38, -1, 1, "1999.12m"},
      {34, 34200000, 0, "09:30:00.000"},
      {35, 0, 0, "2000.01.01D00:00:00.000000000"},
      {36, 570, 1, "09:30"},     {37, -1, 0, "-00:00:01"},
      {39, 1000000000, 0, "0D00:00:01.000000000"},
      // not a temporal atom type: nothing
      {32, 0, 1, ""},            {40, 0, 1, ""},
  };
  for (auto &c : t) EXPECT_EQ(Tq(c.t, c.v, c.flags), c.out) << c.t << " " << c.v;
  EXPECT_STREQ(tnul, "dtpuvmn");
}
