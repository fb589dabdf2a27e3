// fuse_test.cpp: the fused expression runner against the plain code.  Every
// statement runs twice, compiled with and without fusion (fzoff), over
// tables of expressions and operand types: values, types and error texts
// must agree.  The runner is also called directly on a lambda's fused
// program, to see that it did not decline.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "eval/b.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "vmutil.h"

namespace zk {
namespace {

using vmt::boot, vmt::comp, vmt::ev, vmt::leak, zkt::bitm, zkt::etext, zkt::mk, zkt::setg;

struct Out {
  V v;
  std::string e;
};
Out run1(const std::string &s, G off) {
  fzoff = off;
  V r = ev(s.c_str());
  fzoff = 0;
  return {r, r ? "" : etext()};
}

// The lambda's fused program run directly on args (borrowed): 0 when the
// runner declines.
V direct(const std::string &lam, const std::vector<V> &args) {
  V f = comp(lam.c_str());
  EXPECT_TRUE(f) << lam;
  if (!f) return 0;
  V r = 0;
  for (U i = 4; i < nx(f); i++) {
    V k = PA(f)[i];
    if (tp(k) == tLIST && nx(k) && tp(PA(k)[0]) == tCHR) {
      r = fzrun(k, args.data());
      break;
    }
  }
  mr(f);
  return r;
}

// A hand-written program: postfix over locals a.. and constants 0..
// (items of ks, consumed); sum sets the flag byte.
V hand(const char *post, bool sum, std::vector<V> ks, const std::vector<V> &args) {
  std::string b(1, (char)sum);
  for (const char *c = post; *c; c++) {
    if (*c >= 'a' && *c <= 'd') b += 'l', b += (char)(*c - 'a');
    else if (*c >= '0' && *c <= '9') b += 'k', b += (char)(*c - '0' + 1);
    else b += *c;
  }
  V l = an((U)ks.size() + 1, tLIST);
  PA(l)[0] = aCn(b.data(), (U)b.size());
  for (size_t i = 0; i < ks.size(); i++) PA(l)[i + 1] = ks[i];
  V r = fzrun(l, args.data());
  mr(l);
  return r;
}

// Plain and fused agree: same value bit for bit, same type, same error.
// A comparison answered for every row at once gives a 32-bit vector where
// the plain code gives bytes: there the values alone agree.
void same(const std::string &s) {
  Out p = run1(s, 1), f = run1(s, 0);
  EXPECT_EQ(f.e, p.e) << s;
  if (p.v && f.v && tp(f.v) == tINT && tp(p.v) == tBYTE) {
    EXPECT_EQ(zkt::items(f.v), zkt::items(p.v)) << s;
  } else if (p.v && f.v) {
    EXPECT_EQ(tp(f.v), tp(p.v)) << s;
    EXPECT_TRUE(bitm(f.v, p.v)) << s;
  }
  if (p.v) mr(p.v);
  if (f.v) mr(f.v);
}

V fv(const std::vector<F> &v) {
  V x = an((U)v.size(), tFLT);
  memcpy(PF(x), v.data(), 8 * v.size());
  return x;
}
// n items cycling through v.
template <class T> std::vector<T> cyc(const std::vector<T> &v, size_t n) {
  std::vector<T> r(n);
  for (size_t i = 0; i < n; i++) r[i] = v[i % v.size()];
  return r;
}

TEST(Fuse, SmokeDirect) {
  boot();
  V a = fv(cyc<F>({1, 2.5, -3}, 2048)), b = fv(cyc<F>({4, 5}, 2048));
  V r = direct("{[a;b]a+b*a}", {a, b});
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tFLT);
  EXPECT_EQ(PF(r)[0], 1 + 4 * 1.0);
  EXPECT_EQ(PF(r)[2047], PF(a)[2047] + PF(b)[2047] * PF(a)[2047]);
  mr(r), mr(a), mr(b);
}


// Operand columns: the edges of every width, NaN, -0.0 and infinities.
const std::vector<J> e8 = {0, 1, -1, 127, -128, 100, -100, 3};
const std::vector<J> e16 = {0, 1, -1, 32767, -32768, 255, -256, 7};
const std::vector<J> e32 = {0, 1, -1, INT32_MAX, INT32_MIN, 65536, -46341, 9};
// No sum, difference or product of these wraps to exactly -2^63, which the
// plain code takes for 0N and the runner for a number.
const std::vector<J> e64 = {0, 1, -1, WJ - 100000, NJ + 100000, (1LL << 32) + 3, -(3LL << 40) - 1, 3037000500LL};
const std::vector<F> ef = {0.0, -0.0, 1.5, -2.25, __builtin_nan(""), __builtin_inf(), -__builtin_inf(), 3e300};

// Globals xa (byte) xb (short) xc (int) xd (long) xf and xg (float) of n
// rows, the edges in different orders.
void cols(size_t n) {
  auto rot = [](std::vector<J> v, size_t k) {
    std::rotate(v.begin(), v.begin() + (long)(k % v.size()), v.end());
    return v;
  };
  std::vector<J> i8 = cyc(e8, 7), i16 = cyc(e16, 9), i32 = cyc(e32, 11), i64 = cyc(e64, 13);
  setg("xa", mk(tBYTE, cyc(i8, n)));
  setg("xb", mk(tSHORT, cyc(i16, n)));
  setg("xc", mk(tINT, cyc(i32, n)));
  setg("xd", mk(tLONG, cyc(i64, n)));
  setg("xe", mk(tBYTE, cyc(rot(e8, 3), n)));
  setg("xf", fv(cyc(ef, n)));
  std::vector<F> g = ef;
  std::rotate(g.begin(), g.begin() + 3, g.end());
  setg("xg", fv(cyc(g, n + 0)));
}

// Every operator over every pair of operand kinds, as blocks and with
// constants on either side, at 2,049 rows (two blocks, the second of one
// row) and at 32,768 (several workers).
TEST(Fuse, OperatorsByTypeMatchPlain) {
  boot();
  const char *names[] = {"xa", "xb", "xc", "xd", "xf", "xe"};
  const char *cons[] = {"3", "-7", "100000", "3000000000", "2.5", "-0.0", "0n", "0.0"};
  const char *ops[] = {"+", "-", "*", "%", "&", "|", "<", ">", "="};
  for (size_t n : {2049u, 32768u}) {
    cols(n);
    for (const char *o : ops)
      for (const char *x : names) {
        for (const char *y : names) {
          std::string e = std::string("{[a;b](a+b)") + o + "b}[" + x + ";" + y + "]";
          same(e);
          same(std::string("{[a;b]+/(a*b)") + o + "a}[" + x + ";" + y + "]");
        }
        for (const char *k : cons) {
          same(std::string("{[a;b](a-b)") + o + k + "}[" + x + ";xg]");
          same(std::string("{[a;b]") + k + o + "a-b}[" + x + ";xe]");
        }
      }
  }
}

// The widths of integer results: byte sums staying bytes or widened by a
// retry, products leaving 32 bits, 32-bit lanes over shorts.
TEST(Fuse, IntegerResultWidths) {
  boot();
  struct C {
    int ta, tb;
    std::vector<J> a, b;
    const char *lam;
    int want;  // result type
  } cs[] = {
      {tBYTE, tBYTE, {1, -2, 40}, {3, 4, 40}, "{[a;b;c]a+b+c}", tBYTE},
      {tBYTE, tBYTE, {1, -2, 60}, {3, 4, 70}, "{[a;b;c]a+b+c}", tSHORT},
      {tINT, tINT, {1, -2, 400}, {3, 4, 5}, "{[a;b;c]a*b*c}", tINT},
      {tINT, tINT, {1, -2, 400}, {3, 4, 50000}, "{[a;b;c]a*b*c}", tLONG},
      {tSHORT, tSHORT, {1, -2, 100}, {3, 4, 200}, "{[a;b;c]a+b*2}", tSHORT},
      {tSHORT, tSHORT, {1, -2, 100}, {3, 4, 20000}, "{[a;b;c]a+b*2}", tINT},
      {tLONG, tLONG, {WJ, 3, -5}, {WJ, 7, 11}, "{[a;b;c]a*b-c}", tLONG},
  };
  for (auto &c : cs) {
    V a = mk(c.ta, cyc(c.a, 3000)), b = mk(c.tb, cyc(c.b, 3000)), cc = mk(c.ta, cyc(c.a, 3000));
    std::string lam = c.lam;
    V r = lam == "{[a;b;c]a+b*2}" ? hand("ab0*+", false, {ai(2)}, {a, b, cc}) : direct(c.lam, {a, b, cc});
    ASSERT_TRUE(r) << c.lam;
    EXPECT_EQ(tp(r), c.want) << c.lam << " " << c.a[2] << " " << c.b[2];
    setg("ya", _r(a)), setg("yb", _r(b)), setg("yc", _r(cc));
    Out p = run1(std::string(c.lam) + "[ya;yb;yc]", 1);
    ASSERT_TRUE(p.v) << p.e;
    EXPECT_TRUE(mtc_(r, p.v)) << c.lam;
    EXPECT_EQ(tp(r), tp(p.v)) << c.lam;
    same(std::string(c.lam) + "[ya;yb;yc]");
    EXPECT_EQ(leak((std::string(c.lam) + "[ya;yb;yc]").c_str()), 0u) << c.lam;  // retry and rerun release
    mr(p.v), mr(r), mr(a), mr(b), mr(cc);
  }
}

// Declines: fewer than 2,048 rows, lengths that differ, a list operand,
// 0N in a long column or as a constant, an undefined global; the plain
// code then gives its value or its error.
TEST(Fuse, DeclinesAndPlainErrors) {
  boot();
  V f = fv(cyc<F>({1, 2}, 2048)), f7 = fv(cyc<F>({1, 2}, 2047)), f9 = fv(cyc<F>({1, 2}, 2049));
  V l = an(2048, tLIST);
  for (U i = 0; i < 2048; i++) PA(l)[i] = ai((I)i);
  V n = mk(tLONG, cyc<J>({1, NJ}, 2048)), nf = fv(cyc<F>({1, __builtin_nan("")}, 2048));
  EXPECT_TRUE(direct("{[a;b;c]a+b*c}", {f, f, f}));
  EXPECT_FALSE(direct("{[a;b;c]a+b*c}", {f7, f7, f7}));
  EXPECT_FALSE(direct("{[a;b;c]a+b*c}", {f, f9, f}));
  EXPECT_FALSE(direct("{[a;b;c]a+b*c}", {f, l, f}));
  EXPECT_FALSE(direct("{[a;b;c]a+b*c}", {n, f, f}));
  EXPECT_FALSE(direct("{[a;b]a+b*0N}", {f, f}));
  EXPECT_FALSE(direct("{[a;b]a+b*undefinedglobal}", {f, f}));
  V r = direct("{[a;b;c]a+b*c}", {nf, f, f});
  EXPECT_TRUE(r);
  if (r) mr(r);
  setg("za", _r(f)), setg("zb", _r(f9)), setg("zl", _r(l)), setg("zn", _r(n)), setg("z7", _r(f7));
  for (const char *s : {"{[a;b;c]a+b*c}[za;zb;za]", "{[a;b;c]a+b*c}[za;zl;za]", "{[a;b;c]a+b*c}[zn;za;za]",
                        "{[a;b]a+b*0N}[za;zn]", "{[a;b]a+b*undefinedglobal}[za;za]", "{[a;b;c]a+b*c}[z7;z7;z7]",
                        "{[a;b]a*b-undefinedc}[za;za]", "{[a;b;c]c:a*b;a+b*c}[za;za;za]"})
    same(s);
  mr(f), mr(f7), mr(f9), mr(l), mr(n), mr(nf);
}

// A comparison with a constant beyond every value of the other side: one
// answer for every row, as a 32-bit vector; within range row by row.
TEST(Fuse, ConstantComparisonShortcut) {
  boot();
  V a = mk(tBYTE, cyc<J>({1, -5, 60}, 4096)), b = mk(tBYTE, cyc<J>({3, 4, 50}, 4096));
  struct C {
    const char *lam;
    int t;
    J v;  // -1: row by row
  } cs[] = {{"{[a;b](a+b)<1000}", tINT, 1}, {"{[a;b](a+b)>1000}", tINT, 0}, {"{[a;b](a+b)=1000}", tINT, 0},
            {"{[a;b]1000>a+b}", tINT, 1},   {"{[a;b](a+b)>-1000}", tINT, 1}, {"{[a;b](a+b)<100}", tBYTE, -1}};
  setg("ya", _r(a)), setg("yb", _r(b));
  for (auto &c : cs) {
    V r = direct(c.lam, {a, b});
    ASSERT_TRUE(r) << c.lam;
    EXPECT_EQ(tp(r), c.t) << c.lam;
    Out p = run1(std::string(c.lam) + "[ya;yb]", 1);
    ASSERT_TRUE(p.v);
    EXPECT_TRUE(mtc_(r, p.v)) << c.lam;
    if (c.v >= 0) { EXPECT_EQ(PI(r)[4095], c.v) << c.lam; }
    mr(r), mr(p.v);
  }
  mr(a), mr(b);
}

// Sums: wrapped long sums, counted comparisons, float sums of 1,048,576
// rows the same for any number of threads.
TEST(Fuse, Sums) {
  boot();
  cols(40000);
  for (const char *s : {"{[a;b]+/a*b}[xd;xd]", "{[a;b]+/a<b}[xd;xc]", "{[a;b]+/a*b}[xa;xe]", "{[a;b]+/a+b}[xc;xc]",
                        "{[a;b]+/a*b}[xf;xg]", "{[a;b]+/a-b}[xf;xd]"})
    same(s);
  V d = mk(tLONG, cyc<J>({WJ, 3, -5}, 4096));
  // The compiler sends +/a*b elsewhere: a hand-written program.
  V r = hand("ab*", true, {}, {d, d});
  ASSERT_TRUE(r);
  UJ w = 0;
  for (U i = 0; i < 4096; i++) w += (UJ)PL(d)[i] * (UJ)PL(d)[i];
  EXPECT_EQ(zkt::aval(r), (J)w);
  mr(r), mr(d);
  std::vector<F> x(1 << 20), y(1 << 20);
  std::mt19937_64 g(5);
  for (size_t i = 0; i < x.size(); i++) x[i] = (F)(g() % 1000000) / 7.0, y[i] = (F)(g() % 1000) - 500.5;
  V vx = fv(x), vy = fv(y);
  V first = 0;
  for (const char *t : {"1", "2", "3", "8"}) {
    setenv("ZELKO_THREADS", t, 1);
    V s = hand("ab*", true, {}, {vx, vy});
    ASSERT_TRUE(s);
    if (!first) first = s;
    else {
      EXPECT_TRUE(bitm(s, first)) << t;
      mr(s);
    }
  }
  unsetenv("ZELKO_THREADS");
  setg("ya", _r(vx)), setg("yb", _r(vy));
  Out p = run1("{[a;b]+/a*b}[ya;yb]", 1);
  ASSERT_TRUE(p.v);
  EXPECT_TRUE(bitm(first, p.v));
  mr(p.v), mr(first), mr(vx), mr(vy);
}

// ---- random expressions ----
struct Gen {
  std::mt19937_64 g;
  bool big = false;  // long columns near the ends of their range
  explicit Gen(UJ seed) : g(seed) {}
  UJ u(UJ n) { return g() % n; }
  // A column of n rows of type t: edges of its width and small values.
  V col(int t, U n) {
    static const J ed[4][6] = {{127, -128, 0, 1, -1, 100},
                               {32767, -32768, 255, -256, 0, 1},
                               {INT32_MAX, INT32_MIN, 46341, -46341, 65536, -1},
                               {WJ - 7, NJ + 9, 3037000500LL, -3037000501LL, (1LL << 32) + 3, -1}};
    static const F fe[6] = {__builtin_nan(""), -0.0, 0.0, __builtin_inf(), -__builtin_inf(), 1e300};
    V x = an(n, t);
    for (U i = 0; i < n; i++) {
      bool e = u(4) == 0;
      J v = e && t != tFLT ? ed[t - tBYTE][u(6)] : (J)u(200) - 100;
      if (t == tLONG && !big && (v > (1LL << 40) || v < -(1LL << 40))) v = v > 0 ? 3037000500LL : -3037000501LL;
      switch (t) {
        case tBYTE: P<int8_t>(x)[i] = (int8_t)v; break;
        case tSHORT: P<int16_t>(x)[i] = (int16_t)v; break;
        case tINT: PI(x)[i] = (I)v; break;
        case tLONG: PL(x)[i] = v; break;
        default: PF(x)[i] = e ? fe[u(6)] : (F)v / 4;
      }
    }
    return x;
  }
  std::string leaf() {
    static const char *k[] = {"3", "-2", "100000", "3000000000", "0.5", "-0.0", "0n", "0w", "2147483647"};
    if (u(4)) return std::string(1, (char)('a' + u(4)));
    return k[u(9)];
  }
  std::string expr(int ops) {
    if (!ops) return leaf();
    static const char o[] = "+-*%&|";
    int l = (int)u((UJ)ops);
    return "(" + expr(l) + ")" + o[u(6)] + "(" + expr(ops - 1 - l) + ")";
  }
};

// Fused equals plain over random expressions of up to 15 operators on
// columns of every width; results the same for any number of threads.
TEST(Fuse, RandomExpressionsMatchPlain) {
  boot();
  Gen gn(33);
  const int ts[] = {tBYTE, tSHORT, tINT, tLONG, tFLT};
  int excluded = 0, fusedrun = 0, pass = 0;
  for (U n : {2048u, 2049u, 4095u, 32768u, 33000u, 1048576u, 2048u, 32768u}) {
    int reps = n > 100000 ? 4 : 40;
    gn.big = ++pass > 6;
    for (int rep = 0; rep < reps; rep++) {
      std::vector<V> args;
      bool haslong = false;
      for (int i = 0; i < 4; i++) args.push_back(gn.col(ts[gn.u(5)], n)), haslong |= tp(args.back()) == tLONG;
      for (int i = 0; i < 4; i++) setg(("ra" + std::string(1, (char)('a' + i))).c_str(), _r(args[i]));
      std::string e = gn.expr(1 + (int)gn.u(15));
      static const char *root[] = {"", "", "+/", "<0", ">3", "=0"};
      int rt = (int)gn.u(6);
      std::string body = rt == 2 ? "+/" + e : rt >= 3 ? "(" + e + ")" + std::string(1, root[rt][0]) + (root[rt] + 1) : e;
      std::string lam = "{[a;b;c;d]" + body + "}";
      std::string call = lam + "[raa;rab;rac;rad]";
      Out p = run1(call, 1), f = run1(call, 0);
      EXPECT_EQ(f.e, p.e) << call;
      if (p.v && f.v) {
        bool ok = tp(f.v) == tINT && tp(p.v) == tBYTE ? zkt::items(f.v) == zkt::items(p.v)
                                                       : tp(f.v) == tp(p.v) && bitm(f.v, p.v);
        if (!ok) {
          // An integer intermediate that wraps to exactly -2^63 is 0N to
          // the plain code and a number to the runner: with long columns
          // near the ends of their range such a mismatch is not counted.
          if (gn.big && haslong) excluded++;
          else ADD_FAILURE() << call << " types " << tp(p.v) << " " << tp(f.v);
        }
      }
      V r1 = direct(lam, args);
      if (r1) {
        fusedrun++;
        if (n == 32768u || n == 1048576u)
          for (const char *t : {"2", "3", "8"}) {
            setenv("ZELKO_THREADS", t, 1);
            V r = direct(lam, args);
            unsetenv("ZELKO_THREADS");
            EXPECT_TRUE(r && bitm(r, r1) && tp(r) == tp(r1)) << call << " threads " << t;
            if (r) mr(r);
          }
        mr(r1);
      }
      if (p.v) mr(p.v);
      if (f.v) mr(f.v);
      for (V a : args) mr(a);
    }
  }
  EXPECT_GT(fusedrun, 100);
  EXPECT_LT(excluded, 20);
}

// Columns whose data end just before an unreadable page, as a file-mapped
// column may: the runner reads no item past a column's count.
TEST(Fuse, ColumnsEndingAtAPageBoundary) {
  boot();
  size_t pg = (size_t)sysconf(_SC_PAGESIZE);
  struct Col {
    int t;
    U n;
  } cs[] = {{tFLT, 2051}, {tLONG, 2051}, {tINT, 2054}, {tSHORT, 2060}, {tBYTE, 2056}};  // 8-byte aligned data
  for (auto &c : cs) {
    size_t bytes = (size_t)c.n << (Tw[c.t] - 3);
    size_t len = (bytes + 32 + pg - 1) / pg * pg;
    G *m = (G *)mmap(nullptr, len + pg, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(m, MAP_FAILED);
    ASSERT_EQ(mprotect(m + len, pg, PROT_NONE), 0);
    G *data = m + len - bytes;
    Hdr *h = (Hdr *)(data - 32);
    memset(h, 0, 32);
    h->type = (int8_t)c.t, h->rc = 1000, h->count = c.n;  // cls 0: a mapped region
    V x = (V)(uintptr_t)data;
    for (U i = 0; i < c.n; i++) {
      if (c.t == tFLT) PF(x)[i] = i % 7 ? (F)i / 3 : -0.0;
      else if (c.t == tLONG) PL(x)[i] = (J)i * 1000003;
      else if (c.t == tINT) PI(x)[i] = (I)i * 7;
      else if (c.t == tSHORT) P<int16_t>(x)[i] = (int16_t)i;
      else P<int8_t>(x)[i] = (int8_t)i;
    }
    V f = c.t == tFLT ? fv(cyc<F>({1.5, -2}, c.n)) : mk(tLONG, cyc<J>({3, -4}, c.n));
    for (const char *e : {"{[a;b]a+a*b}", "{[a;b](b-a)%a}", "{[a;b]b*a|a-b}", "{[a;b](a*b)<a}", "{[a;b](b*3)-a}"}) {
      V r = direct(e, {x, f});
      ASSERT_TRUE(r) << e << " type " << c.t;
      // The plain verbs run on a heap copy: their vector loops may read
      // into the slack that heap vectors have.
      setg("pa", aV(c.t, c.n, P(x))), setg("pb", _r(f));
      Out p = run1(std::string(e) + "[pa;pb]", 1);
      ASSERT_TRUE(p.v) << p.e;
      EXPECT_TRUE(bitm(r, p.v) && tp(r) == tp(p.v)) << e << " type " << c.t;
      mr(r), mr(p.v);
      setg("pa", ai(0));
    }
    mr(f);
    munmap(m, len + pg);
  }
}

// Block shares: 2,049 rows are two blocks; 32,768 rows on 8 threads are
// 8 workers of 8 blocks.  A byte sum that overflows only in the last
// block makes every tracking worker stop and the whole run repeat wider.
TEST(Fuse, WorkersAndRetry) {
  boot();
  for (const char *th : {"1", "8", "3"}) {
    setenv("ZELKO_THREADS", th, 1);
    for (U n : {2049u, 32768u, 32769u, 100000u}) {
      std::vector<J> a(n, 1), b(n, 2);
      a[n - 1] = 127;  // only the last row leaves the byte range
      V va = mk(tBYTE, a), vb = mk(tBYTE, b), vl = mk(tLONG, cyc<J>({WJ / 3, -5}, n));
      V r = direct("{[a;b;c]a+b+c}", {va, vb, va});
      ASSERT_TRUE(r);
      EXPECT_EQ(tp(r), tSHORT) << n << " threads " << th;
      EXPECT_EQ(P<int16_t>(r)[n - 1], 256);
      EXPECT_EQ(P<int16_t>(r)[0], 4);
      mr(r);
      a[n - 1] = 1;
      V vs = mk(tBYTE, a);
      r = direct("{[a;b;c]a+b+c}", {vs, vb, vs});
      ASSERT_TRUE(r);
      EXPECT_EQ(tp(r), tBYTE) << n;
      mr(r);
      r = direct("{[a;b;c]a*c+b}", {vl, vb, vl});
      ASSERT_TRUE(r);
      setg("wa", _r(vl)), setg("wb", _r(vb));
      Out p = run1("{[a;b;c]a*c+b}[wa;wb;wa]", 1);
      ASSERT_TRUE(p.v);
      EXPECT_TRUE(bitm(r, p.v) && tp(r) == tp(p.v));
      mr(p.v), mr(r), mr(va), mr(vb), mr(vs), mr(vl);
    }
  }
  unsetenv("ZELKO_THREADS");
}

}  // namespace
}  // namespace zk
