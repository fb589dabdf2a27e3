// Tests of distinct (unq) and group (grp) against first-occurrence models:
// every type on both sides of the kernels' thresholds, the serial and the
// parallel integer paths at several thread counts, the hash variant forced
// and its fallback, spans that overflow a signed difference, symbols on
// both sides of the encoding threshold, representatives by hash with
// forced collisions, wide index lists, and the bucket tables on a thread
// with a small stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/pool.h"
#include "eval/eval.h"
#include "list/list.h"
#include "order/order.h"
#include "io/io.h"
#include "vmutil.h"

using namespace zk;

namespace {

V ev(const char *s) {
  V r = vmt::ev(s);
  EXPECT_TRUE(r) << s << ": " << zkt::etext();
  return r;
}

std::string src(V r) {
  if (!r) return vmt::ename();
  V s = kst(r);
  std::string t(PC(s), nx(s));
  mr(s);
  return t;
}

// Item i of a flat vector as a key that equal items share: its stored bits,
// floats with one zero and one NaN.
UJ key(V x, U i) {
  switch (tp(x)) {
    case tFLT: {
      UJ b = zkt::bits(PF(x)[i]);
      return !(b << 1) ? 0 : PF(x)[i] != PF(x)[i] ? NF_BITS : b;
    }
    default:
      switch (Tw[tp(x)]) {
        case 3: return P<G>(x)[i];
        case 4: return P<uint16_t>(x)[i];
        case 5: return PI(x)[i];
        default: return PL(x)[i];
      }
  }
}

// Positions of the first occurrences.
std::vector<U> firsts(V x) {
  std::unordered_map<UJ, U> seen;
  std::vector<U> f;
  for (U i = 0; i < nx(x); i++)
    if (seen.emplace(key(x, i), i).second) f.push_back(i);
  return f;
}

// unq of x (borrowed) against the model: the items at the first
// positions, bit for bit, in x's type.
void chkU(V x, const std::string &m, const std::vector<U> *pf = nullptr) {
  std::vector<U> f = pf ? *pf : firsts(x);
  V r = unq(_r(x));
  ASSERT_TRUE(r) << m << zkt::etext();
  EXPECT_EQ(tp(r), tp(x)) << m;
  ASSERT_EQ(nx(r), f.size()) << m;
  UJ w = 1u << Tw[tp(x)] >> 3;
  bool ok = true;
  for (size_t j = 0; j < f.size() && ok; j++) ok = !memcmp(P(r) + j * w, P(x) + f[j] * w, w);
  EXPECT_TRUE(ok) << m;
  EXPECT_EQ(hd(r)->attr, 0) << m;
  mr(r);
}

// grp of x (borrowed) against a map of index lists.
void chkG(V x, const std::string &m) {
  std::unordered_map<UJ, size_t> at;
  std::vector<U> f;
  std::vector<std::vector<J>> g;
  for (U i = 0; i < nx(x); i++) {
    auto [it, nw] = at.emplace(key(x, i), g.size());
    if (nw) f.push_back(i), g.emplace_back();
    g[it->second].push_back(i);
  }
  V r = grp(_r(x));
  ASSERT_TRUE(r) << m << zkt::etext();
  ASSERT_EQ(tp(r), tDICT) << m;
  V k = PA(r)[0], v = PA(r)[1];
  EXPECT_EQ(tp(k), tp(x)) << m;
  ASSERT_EQ(nx(k), f.size()) << m;
  ASSERT_EQ(nx(v), f.size()) << m;
  UJ w = 1u << Tw[tp(x)] >> 3;
  bool ok = true;
  for (size_t j = 0; j < f.size() && ok; j++) {
    ok = !memcmp(P(k) + j * w, P(x) + f[j] * w, w);
    V l = PA(v)[j];
    ok = ok && tp(l) >= tBYTE && tp(l) <= tLONG && zkt::items(l) == g[j];
  }
  EXPECT_TRUE(ok) << m;
  mr(r);
}

// A vector of type t, n items drawn from d distinct values spread by s
// (the value is a draw below d times s, plus off).
V draw(int t, U n, J d, J s, J off, std::mt19937_64 &g) {
  V x = an(n, t);
  for (U i = 0; i < n; i++) {
    J v = (J)(g() % (UJ)d) * s + off;
    switch (t) {
      case tFLT: PF(x)[i] = (F)v; break;
      default:
        switch (Tw[t]) {
          case 3: P<int8_t>(x)[i] = (int8_t)v; break;
          case 4: P<int16_t>(x)[i] = (int16_t)v; break;
          case 5: PI(x)[i] = (I)v; break;
          default: PL(x)[i] = v;
        }
    }
  }
  return x;
}

TEST(Distinct, EveryTypeAgainstModel) {
  vmt::boot();
  std::mt19937_64 g(32);
  for (int t : {tBYTE, tCHR, tSHORT, tINT, tLONG, tFLT, tDATE, tTIME, tTSTAMP, tMINUTE, tSECOND, tMONTH,
                tTSPAN}) {
    for (U n : {2u, 3u, 100u, 5000u, 70000u}) {
      // small and large spans, a few and many values, negatives
      for (auto [d, s, off] : {std::tuple<J, J, J>{5, 1, -2}, {1000, 1, 0}, {60000, 1, -30000},
                               {3000, 40000, -7}, {100000, 1000003, 5}}) {
        if (Tw[t] == 3 && s > 1) continue;
        V x = draw(t, n, d, s, off, g);
        std::string m = std::to_string(t) + " n " + std::to_string(n) + " d " + std::to_string(d) +
                        " s " + std::to_string(s);
        chkU(x, m);
        chkG(x, "group " + m);
        mr(x);
      }
    }
  }
}

TEST(Distinct, EdgeItems) {
  vmt::boot();
  struct C {
    const char *x, *want;
  } cs[] = {
      {"?0101b", "0 1"},
      {"@?0101b", "`I"},
      {"?0N 5 0N 7", "0N 5 7"},
      {"?-1 2 -1 3", "-1 2 3"},
      {"?0 -0.0 1 0", "0.0 1.0"},
      {"?!0", "!0"},
      {"?`a`b`c!1 2 1", "1 2"},
      {"?2.5", "'type"},
      {"?0#+`a`b!(!0;!0)", "+`a`b!(!0;!0)"},
  };
  for (auto &c : cs) EXPECT_EQ(src(vmt::ev(c.x)), c.want) << c.x;
  // 0 or 1 item: the same object back, attribute kept; bytes and chars copied
  for (V x : {an(0, tINT), zkt::mk(tINT, {5}), an(0, tFLT), ev(",1.5"), ev(",2024.01.01"), ev("()"),
              ev(",1 2")}) {
    std::string s = src(_r(x));
    if (heap(x)) hd(x)->attr = 1;
    V r = unq(_r(x));
    EXPECT_EQ(r, x) << s << " type " << tp(x);
    if (heap(x)) {
      EXPECT_EQ(hd(x)->attr, 1) << s;
    }
    mr(r), mr(x);
  }
  for (const char *s : {"\"\"", ",\"a\"", "0#0x01", ",0x03"}) {
    V x = vmt::ev(s);
    if (!x) continue;
    V r = unq(_r(x));
    EXPECT_NE(r, x) << s;
    EXPECT_TRUE(mtc_(r, x) && tp(r) == tp(x)) << s;
    mr(r), mr(x);
  }
  // The sign of the first zero survives, NaN once, -1 once on the hash path.
  V x = an(4, tFLT);
  PF(x)[0] = -0.0, PF(x)[1] = 0.0, PF(x)[2] = 3, PF(x)[3] = -0.0;
  V r = unq(_r(x));
  ASSERT_EQ(nx(r), 2u);
  EXPECT_TRUE(std::signbit(PF(r)[0]));
  mr(r), mr(x);
  x = an(600, tFLT);  // past a page: the sorting lambda
  for (U i = 0; i < 600; i++) PF(x)[i] = i % 3 == 0 ? NAN : i % 3 == 1 ? (i & 4 ? -0.0 : 0.0) : 0.5;
  PF(x)[0] = 0.5, PF(x)[1] = -0.0;
  chkU(x, "nan and zeros");
  mr(x);
  x = an(200000, tLONG);
  for (U i = 0; i < 200000; i++) PL(x)[i] = i % 7 == 3 ? -1 : (J)i * 1000000007;
  chkU(x, "minus one by hash");
  mr(x);
}

// 0N beside items >= 0: the signed span overflows; the unsigned one sends
// the input to the hash set, serial and parallel.
TEST(Distinct, NullSpanTakesTheHash) {
  vmt::boot();
  for (U n : {4u, 1000u, 300000u}) {
    for (int t : {tLONG, tINT, tSHORT}) {
      V x = an(n, t);
      for (U i = 0; i < n; i++) {
        J v = i % 2 ? (J)(i % 9) : NJ;
        switch (Tw[t]) {
          case 4: P<int16_t>(x)[i] = v == NJ ? INT16_MIN : (int16_t)v; break;
          case 5: PI(x)[i] = v == NJ ? NI : (I)v; break;
          default: PL(x)[i] = v;
        }
      }
      chkU(x, "null span " + std::to_string(t) + " " + std::to_string(n));
      mr(x);
    }
  }
  EXPECT_EQ(src(vmt::ev("?0N 5 0N 7 0W")), "0N 5 7 9223372036854775807");
}

TEST(Distinct, ParallelMatchesSerial) {
  vmt::boot();
  std::mt19937_64 g(7);
  std::vector<V> xs;
  xs.push_back(draw(tLONG, 400000, 1000, 1, -500, g));      // table variant
  xs.push_back(draw(tINT, 300000, 70000, 13, 0, g));        // wide span: hash variant
  xs.push_back(draw(tSHORT, 262144, 65536, 1, -32768, g));  // every short
  xs.push_back(draw(tLONG, 600000, 500000, 1, 0, g));       // over 65,536 keys a chunk: partitions
  xs.push_back(draw(tINT, 600007, 400000, 3, -1000000, g));  // partitions of ints, a ragged last word
  V all = an(400000, tLONG);  // every item new: first positions even, not front-loaded
  for (U i = 0; i < 400000; i++) PL(all)[i] = (J)(400000 - i) * 2654435761;
  xs.push_back(all);
  xs.push_back(draw(tTSTAMP, 300000, 9, 1LL << 40, -(1LL << 42), g));
  V one = an(300000, tLONG);
  for (U i = 0; i < 300000; i++) PL(one)[i] = 42;
  xs.push_back(one);
  V mix = draw(tLONG, 500000, 300000, 1000000007, -5, g);  // 0N and -1 among many keys
  for (U i = 0; i < 500000; i += 997) PL(mix)[i] = i % 2 ? NJ : -1;
  xs.push_back(mix);
  std::vector<std::vector<U>> fs;
  for (V x : xs) fs.push_back(firsts(x));
  for (int fh : {0, 1}) {
    pdq_fh = fh;
    for (const char *th : {"1", "2", "3", "8", "64"}) {
      zk::EnvThreads e(th);
      for (size_t i = 0; i < xs.size(); i++)
        chkU(xs[i], "x" + std::to_string(i) + " threads " + th + " hash " + std::to_string(fh), &fs[i]);
    }
  }
  pdq_fh = 0;
  for (V x : xs) mr(x);
}

// Symbols at 65,535 items take the 32-bit route and at 65,536 the
// encoding; both agree with the model, shared or not.
TEST(Distinct, SymbolsBothRoutes) {
  vmt::boot();
  std::vector<I> ids;
  for (int i = 0; i < 3000; i++) ids.push_back((I)us(("dq" + std::to_string(i * 7919 % 3001)).c_str()));
  std::mt19937_64 g(3);
  for (U n : {65535u, 65536u, 200000u}) {
    V x = an(n, tSYM);
    for (U i = 0; i < n; i++) PI(x)[i] = ids[g() % ids.size()];
    chkU(x, "sym " + std::to_string(n));
    chkG(x, "group sym " + std::to_string(n));
    V y = _r(x);
    V r = unq(y);  // shared: x keeps its type and items
    EXPECT_EQ(tp(x), tSYM);
    V s = unq(aV(tSYM, n, P(x)));  // unshared: retyped in place and back
    EXPECT_TRUE(mtc_(r, s) && tp(s) == tSYM);
    mr(r), mr(s), mr(x);
  }
}

TEST(Distinct, ListsAndTables) {
  vmt::boot();
  struct C {
    const char *x, *want;
  } cs[] = {
      {"?(1 2;`a;1 2;`a;\"x\")", "(1 2;`a;\"x\")"},
      {"?(2024.01.01;1;2024.01.01;1.0;1)", "(2024.01.01;1;1.0)"},
      {"?(`a`b!1 2;`a`b!3 4;`a`b!1 2)", "+`a`b!(1 3;2 4)"},
      {"?+`a`b!(1 2 1;3 4 3)", "+`a`b!(1 2;3 4)"},
  };
  for (auto &c : cs) EXPECT_EQ(src(vmt::ev(c.x)), c.want) << c.x;
}

TEST(Group, Cases) {
  vmt::boot();
  struct C {
    const char *x, *want;
  } cs[] = {
      {"=3 1 3 2 1", "3 1 2!(0 2;1 4;,3)"},
      {"@!=0101b", "`I"},
      {"=0 -0.0 1 0n 0n", "0.0 1.0 0n!(0 1;,2;3 4)"},
      {"=`b`a`b", "`b`a!(0 2;,1)"},
      {"=`a`b`c!1 2 1", "1 2!(`a`c;,`b)"},
      {"=3", "(1 0 0;0 1 0;0 0 1)"},
      {"=2.5", "'type"},
      {"=2024.01.02 0Nd 2024.01.02 0Nd 2024.01.01", "2024.01.02 0N 2024.01.01!(0 2;1 3;,4)"},
      {"=0Nd 0Nd", "(,0Nd)!,0 1"},
      {"=(2024.01.01;1;2024.01.01;1.0;1)", "(2024.01.01;1;1.0)!(0 2;1 4;,3)"},
      {"=\"\"", "\"\"!0#,!0"},
      {"=0#1 2i", "(!0)!0#,!0"},
  };
  for (auto &c : cs) EXPECT_EQ(src(vmt::ev(c.x)), c.want) << c.x;
  // Booleans give byte keys.
  V r = vmt::ev("=0101b");
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(PA(r)[0]), tBYTE);
  mr(r);
}

// The keys' attribute from x's: sorted stays sorted, parted gives none,
// unique and grouped give unique.
TEST(Group, KeyAttribute) {
  vmt::boot();
  struct C {
    const char *x;
    G a, want;
  } cs[] = {{"1 1 2 3", 1, 1}, {"2 2 1 3", 3, 0}, {"3 1 2", 2, 2}, {"3 1 3", 4, 2},
            {"`a`b`b", 1, 1}, {"1 1 2 3j", 1, 1},  {"\"aab\"", 1, 1}};
  for (auto &c : cs) {
    V x = ev(c.x);
    hd(x)->attr = c.a;
    V r = grp(x);
    ASSERT_TRUE(r) << c.x;
    EXPECT_EQ(hd(PA(r)[0])->attr, c.want) << c.x;
    mr(r);
  }
}

TEST(Group, RunGroupAndWideLists) {
  vmt::boot();
  V x = ev("0 10000000 5 0i");
  V r = grpI(x);
  EXPECT_EQ(r, 0u);  // too wide a range for the buckets
  r = grp(_r(x));
  EXPECT_EQ(src(r), "0 10000000 5!(0 3;,1;,2)");
  mr(x);
  UJ w = grp_wide;
  grp_wide = 3;  // index lists past 3 items are 64-bit
  for (V y : {zkt::mk(tSHORT, {3, 1, 3, 2, 1}), ev("\"abacb\"")}) {
    std::string s = src(_r(y));
    r = grp(y);
    ASSERT_TRUE(r) << s;
    EXPECT_EQ(tp(PA(PA(r)[1])[0]), tLONG) << s;
    EXPECT_EQ(zkt::items(PA(PA(r)[1])[0]), (std::vector<J>{0, 2})) << s;
    mr(r);
  }
  grp_wide = w;
}

// Every kind beyond 65,536 items against the model.
TEST(Group, LargeEveryType) {
  vmt::boot();
  std::mt19937_64 g(11);
  for (int t : {tBYTE, tCHR, tSHORT, tINT, tLONG, tFLT, tDATE, tMONTH, tTSTAMP, tTSPAN})
    for (auto [d, s] : {std::pair<J, J>{50, 1}, {30000, 1}, {5000, 100003}}) {
      if (Tw[t] == 3 && s > 1) continue;
      V x = draw(t, 70001, d, s, -3, g);
      chkG(x, "group " + std::to_string(t) + " d " + std::to_string(d));
      mr(x);
    }
  // floats with both zeros and NaNs, grouped by the sorting lambda
  V x = an(70000, tFLT);
  for (U i = 0; i < 70000; i++) PF(x)[i] = i % 5 == 0 ? NAN : i % 5 == 1 ? -0.0 : (F)(g() % 100) / 4;
  chkG(x, "group floats");
  mr(x);
}

// Every dict hashes to one folded value: match still tells two apart, and
// a ninth in one run sends the list to the sorting lambda, same answer.
UJ one(V, G *) { return 77; }
TEST(Group, ForcedHashCollisions) {
  vmt::boot();
  const char *two = "(`a`b!1 2;(,`c)!,3;`a`b!1 2;(,`c)!,3)";
  const char *nine = "{(,x)!,1}'`a`b`c`d`e`f`g`h`i`a`b";
  std::string w2 = src(vmt::ev((std::string("=") + two).c_str()));
  std::string w9 = src(vmt::ev((std::string("=") + nine).c_str()));
  auto h = frh_hash;
  frh_hash = one;
  V l = ev(two), m = frH(l);
  ASSERT_TRUE(m);
  EXPECT_EQ(zkt::items(m), (std::vector<J>{0, 1, 0, 1}));
  mr(m), mr(l);
  l = ev(nine);
  EXPECT_EQ(frH(l), 0u);
  mr(l);
  EXPECT_EQ(src(vmt::ev((std::string("=") + two).c_str())), w2);
  EXPECT_EQ(src(vmt::ev((std::string("=") + nine).c_str())), w9);
  EXPECT_EQ(src(vmt::ev((std::string("?") + nine).c_str())), src(vmt::ev((std::string("?") + nine).c_str())));
  frh_hash = h;
  EXPECT_EQ(w2, "(`a`b!1 2;(,`c)!,3)!(0 2;1 3)");
}

// The bucket tables are heap memory: a thread with a 256 KiB stack groups
// every short.
TEST(Group, SmallStackThread) {
  vmt::boot();
  struct R {
    V x, r;
  } r{};
  r.x = an(65536, tSHORT);
  for (U i = 0; i < 65536; i++) P<int16_t>(r.x)[i] = (int16_t)(i * 40503u);
  auto run = [](void *p) -> void * {
    R &q = *(R *)p;
    q.r = grp(_r(q.x));
    return nullptr;
  };
  pthread_attr_t at;
  pthread_attr_init(&at);
  pthread_attr_setstacksize(&at, 256 << 10);
  pthread_t th;
  ASSERT_EQ(pthread_create(&th, &at, run, &r), 0);
  pthread_join(th, nullptr);
  pthread_attr_destroy(&at);
  ASSERT_TRUE(r.r);
  EXPECT_EQ(nx(PA(r.r)[0]), 65536u);
  mr(r.r);
  chkG(r.x, "every short");
  mr(r.x);
}

TEST(Group, FailuresLeakNothing) {
  vmt::boot();
  zk::fails_leak_nothing(vmt::ev, {"=2.5", "?2.5", "?`a", "=\"a\"", "={x}"});
}

}  // namespace
