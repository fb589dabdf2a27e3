// vmfuse_test.cpp: the VM's fast paths against the slow ones.  Integer
// atoms under + - * & | < > = are computed inside the VM, fused with the
// instructions around them (operands, BRANCH, SETLOC, the do-loop test),
// long atoms a local alone holds are updated in place, and lambdas called
// from bytecode run in the caller's exec.  Every result here is checked
// against the verb table itself (v2, the oracle), over the edges of the
// int and long ranges, in every code shape that reaches a different path;
// then the sharing rules of in-place updates, loop fusion, and calls run
// inline: errors, depth, reassignment during the call, leaks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/diag.h"
#include "core/err.h"
#include "eval/eval.h"
#include "eval/parse.h"
#include "eval/tables.h"
#include "order/order.h"
#include "vmutil.h"

namespace zk {
namespace {

using vmt::boot, vmt::comp, vmt::ename, vmt::etext, vmt::ev, vmt::evi, vmt::leak;

// ---- operands ----
const J edges[] = {0, 1, -1, 7, -7, 46341, 65536, INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1};
const J wide[] = {2147483648LL, -2147483649LL, 4294967296LL, 3037000500LL, INT64_MAX, INT64_MIN + 1, NJ};

// Arguments: every edge as an int atom and again as a long atom, the wide
// values as long atoms, and atoms that are not integers at all.
std::vector<V> args() {
  std::vector<V> v;
  for (J e : edges) v.push_back(ai((I)e)), v.push_back(al(e));
  for (J e : wide) v.push_back(al(e));
  v.push_back(af(2.5));
  v.push_back(af(-0.0));
  v.push_back(ac('a'));
  return v;
}

// Constants as source text.
std::string lit(J e) {
  if (e == NJ) return "0N";
  if (e == INT64_MAX) return "0W";
  if (e == INT64_MIN + 1) return "-0W";
  return std::to_string(e);
}
std::vector<std::string> lits() {
  std::vector<std::string> v;
  for (J e : edges) v.push_back(lit(e));
  for (J e : wide) v.push_back(lit(e));
  v.push_back("2.5");
  v.push_back("\"a\"");
  return v;
}

struct Op {
  const char *s;
  U slot;
};
const Op ops[] = {{"+", 1}, {"-", 2}, {"*", 3}, {"&", 6}, {"|", 7}, {"<", 8}, {">", 9}, {"=", 10}};

// x op y as the verb gives it; x and y borrowed.
V oracle(U slot, V x, V y) { return v2[slot](x, _r(y)); }

std::string show(V x) {
  if (!x) return "error " + ename();
  char b[64];
  if (tp(x) == tINTA || tp(x) == tLONGA) snprintf(b, sizeof b, "%c %lld", TS[tp(x)], (long long)gl_(x));
  else if (tp(x) == tFLTA) snprintf(b, sizeof b, "f %g", PF(x)[0]);
  else snprintf(b, sizeof b, "type %d", tp(x));
  return b;
}

// Same type and value, or both failures with the same error name.
void same(V got, std::string gerr, V want, std::string werr, const std::string &what) {
  if (!want || !got) {
    EXPECT_EQ(got ? show(got) : "error " + gerr, want ? show(want) : "error " + werr) << what;
  } else {
    EXPECT_TRUE(tp(got) == tp(want) && zkt::bitm(got, want)) << what << ": " << show(got) << " want " << show(want);
  }
  if (got) mr(got);
  if (want) mr(want);
}

// Runs f on x and y (both borrowed).
V call2(V f, V x, V y) {
  V a[2] = {_r(x), _r(y)};
  return run(f, a, 2);
}

// Shapes of x op y on two arguments, each reaching other fused paths:
// moved operands, two reads then the dyad, the dyad on results on the
// stack, a store by SETLOC, a store inside a loop, a modify-assign; and
// the dyad tested by the BRANCH that follows it (those give the truth).
const char *shapes2[] = {
    "{x%sy}",
    "{a:x;b:y;r:a%sb;a;b;r}",
    "{l:(x;y);(l[0])%s(l[1])}",
    "{a:x;b:y;r:0;do[2;r:a%sb];r}",
    "{a:x;a%s:y;a}",
    "{a:x;do[1;a%s:y];a}",
    "{$[x%sy;1;0]}",
    "{a:x;b:y;$[a%sb;1;0]}",
};

TEST(VmFuse, IntegerDyadsMatchTheVerbs) {
  boot();
  std::vector<V> vs = args();
  for (const Op &o : ops)
    for (const char *sh : shapes2) {
      bool modify = strstr(sh, "%s:") != nullptr, truth = sh[1] == '$' || strstr(sh, ";$[");
      if (modify && o.slot >= 8) continue;  // < > = are not modify-assignment heads
      char src[128];
      snprintf(src, sizeof src, sh, o.s);
      V f = comp(src);
      ASSERT_TRUE(f) << src << etext();
      for (V x : vs)
        for (V y : vs) {
          V got = call2(f, x, y);
          std::string gerr = got ? "" : ename();
          V want = oracle(o.slot, x, y);
          std::string werr = want ? "" : ename();
          if (truth && want) want = ai(tru(want));  // tru consumes its argument
          same(got, gerr, want, werr, std::string(src) + " on " + show(x) + ", " + show(y));
        }
      mr(f);
    }
  for (V x : vs) mr(x);
}

// Constants on either side: CONST then an operand, CONSTDYAD after an
// operand, CONSTDYAD on a result, the test of a conditional, the constant
// addend of x+:c, and a local against a constant tested by a BRANCH (the
// shape of a recursion's base case: the last two shapes give the truth).
TEST(VmFuse, ConstantOperandsMatchTheVerbs) {
  boot();
  std::vector<V> vs = args();
  std::vector<std::string> ks = lits();
  const char *shapes[] = {"{x%s%s}",        "{a:x;r:a%s%s;a;r}", "{%s%sx}",
                          "{a:x;r:%s%sa;a;r}", "{%s%s(x;0)[0]}",  "{a:x;a%s:%s;a}",
                          "{$[x%s%s;1;0]}", "{$[%s%sx;1;0]}"};
  for (const Op &o : ops)
    for (int s = 0; s < 8; s++)
      for (const std::string &k : ks) {
        if (s == 5 && o.slot >= 8) continue;
        bool kleft = s == 2 || s == 3 || s == 4 || s == 7, truth = s >= 6;
        char src[96];
        if (kleft) snprintf(src, sizeof src, shapes[s], k.c_str(), o.s);
        else snprintf(src, sizeof src, shapes[s], o.s, k.c_str());
        V f = comp(src);
        ASSERT_TRUE(f) << src << etext();
        V kv = ev(k.c_str());
        ASSERT_TRUE(kv) << k;
        for (V x : vs) {
          V a[1] = {_r(x)};
          V got = run(f, a, 1);
          std::string gerr = got ? "" : ename();
          V want = kleft ? oracle(o.slot, kv, x) : oracle(o.slot, x, kv);
          std::string werr = want ? "" : ename();
          if (truth && want) want = ai(tru(want));  // tru consumes its argument
          same(got, gerr, want, werr, std::string(src) + " on " + show(x));
        }
        mr(kv);
        mr(f);
      }
  for (V x : vs) mr(x);
}

// A fused dyad that meets a value it does not compute fails exactly where
// the plain instructions fail, with the same text.
TEST(VmFuse, FailuresKeepTheirColumns) {
  boot();
  struct {
    const char *src, *want;
  } cases[] = {
      {"{a:1;b:`s;a+b}[0]", "'type\n {a:1;b:`s;a+b}\n            ^\n {a:1;b:`s;a+b}[0]\n               ^\n"},
      {"{a:`s;a<3}[0]", "'type\n {a:`s;a<3}\n        ^\n {a:`s;a<3}[0]\n           ^\n"},
      {"{a:`s;3<a}[0]", "'type\n {a:`s;3<a}\n        ^\n {a:`s;3<a}[0]\n           ^\n"},
      {"{a:`s;a+:1;a}[0]", "'type\n {a:`s;a+:1;a}\n        ^\n {a:`s;a+:1;a}[0]\n              ^\n"},
  };
  for (auto &c : cases) {
    V r = ev(c.src);
    EXPECT_FALSE(r) << c.src;
    if (r) mr(r);
    EXPECT_EQ(etext(), c.want) << c.src;
  }
  // A local read before it was set: the dyad after it must not swallow
  // the failure of the read.
  V r = ev("{$[x;a:1;0];b:2;a+b}[0]");
  EXPECT_FALSE(r);
  EXPECT_EQ(ename(), "'a");
  EXPECT_EQ(tl.cdp, 0);
}

// A long atom is rewritten in place only when the local alone holds it.
TEST(VmFuse, InPlaceLongsAreNeverShared) {
  boot();
  const J big = 5000000000LL;
  const char *keeps[] = {
      "{a:x;b:a;a:a+1;b}", "{a:x;b:a;a+:1;b}", "{a:x;b:a;do[3;a+:1];b}",
      "{a:x;b:a;do[3;a:a+1];b}", "{a:x;b:(a;0);a+:1;b[0]}",
  };
  for (const char *s : keeps) {
    V f = comp(s);
    ASSERT_TRUE(f) << s;
    V x = al(big);
    V a[1] = {_r(x)};
    V r = run(f, a, 1);
    ASSERT_TRUE(r) << s << etext();
    EXPECT_EQ(gl(r), big) << s;
    EXPECT_EQ(PL(x)[0], big) << s << ": the caller's argument changed";
    mr(x);
    mr(f);
  }
  // The updated local itself ends right.
  EXPECT_EQ(evi("{a:x;do[3;a+:1];a}[5000000000]"), big + 3);
  EXPECT_EQ(evi("{a:x;do[3;a:a+1];a}[5000000000]"), big + 3);
  EXPECT_EQ(evi("{a:x;a:a-5000000000;a}[5000000000]"), 0);
  // A long constant held by the lambda stays what it was, run after run.
  V f = comp("{a:5000000000;a:a+1;a:a+1;a}");
  ASSERT_TRUE(f);
  for (int i = 0; i < 3; i++) {
    V z = ai(0);
    V r = run(f, &z, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(gl(r), big + 2);
  }
  mr(f);
  // A global read into a local is not touched by updates of the local.
  ASSERT_TRUE(ev("gbig:5000000000"));
  EXPECT_EQ(evi("{a:gbig;do[4;a+:1];a}[0]"), big + 4);
  EXPECT_EQ(evi("gbig"), big);
  EXPECT_EQ(leak("{a:x;b:a;do[100;a:a+b];a}[5000000000]"), 0u);
}

// The step and test of a do loop taken together, and the loops that only
// look like one.
TEST(VmFuse, LoopTests) {
  boot();
  struct {
    const char *src;
    J want;
  } cases[] = {
      {"{n:0;do[x;n+:1];n}[0]", 0},
      {"{n:0;do[x;n+:1];n}[1]", 1},
      {"{n:0;do[x;n+:1];n}[-5]", 0},
      {"{n:0;do[x;n+:1];n}[1000]", 1000},
      {"{n:0;do[2.5;n+:1];n}[0]", 3},               // a float count: the verbs decide
      {"{n:0;do[x;do[x;do[2;n+:1]]];n}[5]", 50},    // nested counters
      {"{i:x;n:0;while[0<i;n+:1;i:i-1];n}[7]", 7},  // a while loop of the same shape
      {"{i:x;j:x;n:0;while[0<i;n+:1;i:i-1;j:j-1];n}[6]", 6},  // another local last
      {"{i:x;n:0;while[0<i;n+:1;i:i-2];n}[7]", 4},
      {"{i:x;n:0;while[i>0;n+:1;i:i-1];n}[7]", 7},
      {"{i:0;n:0;while[i<10;n+:1;i:i+1];n}[0]", 10},       // against a constant
      {"{i:0;n:0;while[i=0;n+:1;i:i+1];n}[0]", 1},
      {"{i:0;m:x;c:0;while[i<m;c+:1;m:m-1;i:i+1];c}[10]", 5},  // the other side moves
      {"{i:0;c:0;while[i<x;c+:1;i:i+0.5];c}[3]", 6},      // a float step: the verbs decide
      {"{i:0;c:0;while[i<x;c+:1;i:i+1];c}[2.5]", 3},      // a float bound
      {"{n:0;do[x;if[n>4;:n];n+:1];-1}[10]", 5},   // return from inside
  };
  for (auto &c : cases) EXPECT_EQ(evi(c.src), c.want) << c.src;
  // A long count: the counter starts as a long atom and steps down.
  V f = comp("{n:0;do[x;n+:1];n}");
  ASSERT_TRUE(f);
  V a[1] = {al(1000)};
  V r = run(f, a, 1);
  ASSERT_TRUE(r);
  EXPECT_EQ(gl(r), 1000);
  mr(f);
  // The same loop in two lambdas calling each other: what one remembers of
  // its loop start never leaks into the other.
  ASSERT_TRUE(ev("lp1:{n:0;do[x;n+:1];n};lp2:{m:0;do[3;m+:lp1 x];m}"));
  EXPECT_EQ(evi("lp2 4"), 12);
  EXPECT_EQ(evi("{s:0;do[x;s+:lp2 2];s}[3]"), 18);
}

// Lambdas called from bytecode run in the caller's exec, in frames of the
// thread's region; errors, depth, releases and reentry stay as they were.
TEST(VmFuse, InlineCalls) {
  boot();
  ASSERT_TRUE(ev("fa:{$[x<1;0;1+fb x-1]};fb:{$[x<1;0;2+fa x-1]}"));
  EXPECT_EQ(evi("fa 10"), 15);
  EXPECT_EQ(evi("fa 1500"), 2250);  // deeper than the region holds
  EXPECT_EQ(tl.cdp, 0);
  // The running lambda's global is replaced while it runs.
  ASSERT_TRUE(ev("gr:{gr::{x};x+1}"));
  EXPECT_EQ(evi("gr 5"), 6);
  EXPECT_EQ(evi("gr 5"), 5);
  // Calls through the adverbs from inside an inline frame.
  ASSERT_TRUE(ev("fe:{+/{x*2}'x};fh:{1+fe x}"));
  EXPECT_EQ(evi("fh 1 2 3"), 13);
  EXPECT_EQ(evi("{fh x}[1 2 3]"), 13);
  // A failure several inline frames down: one context block per frame up
  // to the limit, every frame released, the depth back to 0.
  ASSERT_TRUE(ev("ff:{$[x;1+ff x-1;`a+1]}"));
  V r = ev("ff 2");
  EXPECT_FALSE(r);
  EXPECT_EQ(etext(),
            "'type\n {$[x;1+ff x-1;`a+1]}\n                 ^\n"
            " {$[x;1+ff x-1;`a+1]}\n           ^\n"
            " {$[x;1+ff x-1;`a+1]}\n           ^\n"
            " ff 2\n    ^\n");
  EXPECT_EQ(tl.cdp, 0);
  EXPECT_EQ(leak("ff 30"), 0u);
  EXPECT_EQ(leak("fa 50"), 0u);
  EXPECT_EQ(leak("fh 1 2 3"), 0u);
  // Tail calls inside an inline frame, and an inline call of a lambda whose
  // frame is larger than what called it.
  ASSERT_TRUE(ev("ft2:{$[x;ft2 x-1;7]};fw:{a:1;b:2;c:3;d:4;e:5;ft2[x]+a+b+c+d+e}"));
  EXPECT_EQ(evi("{fw x}[100000]"), 22);
  EXPECT_EQ(tl.vrg, nullptr);  // no region outside a run
}

}  // namespace
}  // namespace zk
