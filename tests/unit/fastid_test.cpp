// fastid_test.cpp: the fast paths of the idiom operators against their
// general routes (value, type, float bits and error text) over tables of
// operand types and edge values, and the documented cases.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "eval/tables.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "vmutil.h"

namespace zk {
namespace {

using vmt::boot, vmt::ev, vmt::etext;
using zkt::bitm, zkt::mk;

// The operands: every vector type with its edge items, temporal vectors,
// ranges, lists, atoms, and vectors of 0 and 1 items.
std::vector<V> operands() {
  const char *src[] = {"0101b", "0x0180ff7f02", "0x807f807f", "1 3 6", "1 -3 300 -300 7h",
                       "-32768 32767 -32768 32767h", "1 -70000 70000 2 2",
                       "-2147483648 2147483647 -2147483648 0", "5 0N -9223372036854775807 9223372036854775807 1",
                       "1 3 2 5 4", "1 1 2 2 2", "1.5 0n -0.0 0.0 0w -2.5", "2 4 0f", "1 2 3f",
                       "-0w 1e308 -1e308 0w 3.5", "\"abca\"", "\"\\310d\\377\\000a\"",
                       "`b`a`ab`a`c`a", "`abcdefgh`abcdefg`abcdefgh`zz`abcdefgi", ",7", ",1.5",
                       "\"\"", "(1;2.5;`a)", "(1 2;3 4;5 6)", "7", "2.5", "\"a\"", "`a"};
  std::vector<V> v;
  for (const char *s : src) {
    V x = ev(s);
    EXPECT_TRUE(x) << s << etext();
    if (x) v.push_back(x);
  }
  v.push_back(aE(0, 5));
  v.push_back(aE(-3, -1));
  for (int t = tDATE; t <= tTSPAN; t++) {
    v.push_back(mk(t, {3, Tw[t] == 6 ? NJ : NI, -5, 7, 7, Tw[t] == 6 ? WJ : INT32_MAX}));
    v.push_back(mk(t, {1}));
  }
  std::mt19937_64 g(35);
  for (int t = tBYTE; t <= tLONG; t++) {
    std::vector<J> w;
    for (int i = 0; i < 97; i++) w.push_back((J)g());
    v.push_back(mk(t, w));
    for (auto &e : w) e = (J)(g() % 7) - 3;  // stays narrow: no widening
    v.push_back(mk(t, w));
  }
  return v;
}

std::string show(V x) {
  if (!x) return "0";
  return std::string("type ") + std::to_string(tp(x)) + (heap(x) ? " n " + std::to_string(nx(x)) : "");
}

// Every mode 200..399 over every operand equals shslow's value, type and
// error text.
TEST(FastShift, AgreesWithGeneralRoute) {
  boot();
  std::vector<V> xs = operands();
  for (V x : xs) {
    for (J m = 200; m <= 399; m++) {
      J base = m > 299 ? 300 : 200, b = m - base;
      V want = shslow((U)(b % 16), b > 15, base == 300, x);
      std::string we = want ? "" : etext();
      V got = shiftC(m, x);
      std::string ge = got ? "" : etext();
      ASSERT_EQ(!want, !got) << "mode " << m << " on " << show(x) << ": " << we << ge;
      if (!want) {
        EXPECT_EQ(we, ge) << "mode " << m << " on " << show(x);
        continue;
      }
      EXPECT_TRUE(bitm(want, got) && tp(want) == tp(got))
          << "mode " << m << " on " << show(x) << " want " << show(want) << " got " << show(got);
      mr(want), mr(got);
    }
  }
  for (V x : xs) mr(x);
}

// The documented cases, written out: (mode, operand, result type, items);
// an operand of type 0 is source text in src.
TEST(FastShift, Cases) {
  boot();
  struct C {
    J m;
    int t;
    std::vector<J> x;
    const char *src;
    int rt;
    std::vector<J> want;
  } cs[] = {
      {202, tBYTE, {100, -100}, 0, tSHORT, {-200}},
      {202, tBYTE, {1, 3, 6}, 0, tBYTE, {2, 3}},
      {218, tLONG, {1, 3, 6}, 0, tLONG, {-2, -3}},
      {203, tSHORT, {300, 300}, 0, tINT, {90000}},
      {201, tLONG, {1, NJ, 3}, 0, tLONG, {NJ, NJ}},
      {308, tLONG, {1, 3, 2, 5, 4}, 0, tINTA, {2}},
      {310, tLONG, {1, 1, 2, 2, 2}, 0, tINTA, {3}},
      {208, tCHR, {200 - 256, 100}, 0, tBYTE, {1}},
      {208, 0, {}, "1 2 3f", tBYTE, {0, 0}},
      {224, 0, {}, "`b`a`c", tBYTE, {0, 1}},
  };
  for (auto &c : cs) {
    V x = c.t ? mk(c.t, c.x) : ev(c.src);
    ASSERT_TRUE(x) << c.m << etext();
    V r = shiftC(c.m, x);
    ASSERT_TRUE(r) << c.m << etext();
    EXPECT_EQ(tp(r), c.rt) << c.m;
    if (c.rt == tINTA) EXPECT_EQ(ip(r), c.want[0]) << c.m;
    else EXPECT_EQ(zkt::items(r), c.want) << c.m;
    mr(x), mr(r);
  }
  // % on floats and on ints (the general route's float results)
  V x = ev("2 4 0f"), w = ev("2 0f");
  V r = shiftC(204, x);
  EXPECT_TRUE(bitm(r, w)) << show(r);
  mr(x), mr(w), mr(r);
  x = mk(tINT, {1, 2, 4}), w = ev("2 2f"), r = shiftC(204, x);
  EXPECT_TRUE(bitm(r, w) && tp(r) == tFLT) << show(r);
  mr(x), mr(w), mr(r);
}

// A counting comparison allocates nothing.
TEST(FastShift, CountAllocatesNothing) {
  boot();
  V x = ev("1 3 2 5 4 0 9");
  V r = shiftC(308, x);
  UJ f = freebytes();
  r = shiftC(308, x);
  EXPECT_EQ(f, freebytes());
  EXPECT_EQ(gl(r), 3);
  mr(x);
}

}  // namespace
}  // namespace zk
