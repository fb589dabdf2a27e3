// Unit tests of parallel each (`pe`) and its morsel pool: the morsel size
// and the thread count from the engine's environment list, which items run
// in shared mode, the lowest failing item's error, releases on every path,
// the fallback without a result array, the workers' random states, a fork
// child, and a function doing real shared work (the race checker's case).
// Native functions stand in for f where a test needs to sleep, fail in a
// chosen way or look at the running thread.  Language-level cases are in
// tests/lang/peach.cases.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>
#include <random>
#include <string>
#include <vector>

#include "capi/capi.h"
#include "core/pool.h"
#include "eval/each.h"
#include "io/io.h"
#include "list/list.h"
#include "vmutil.h"

using namespace zk;
using zkt::etext;

namespace {

#if defined(__SANITIZE_THREAD__)
constexpr int SLOW = 5;  // the race checker runs threads many times slower
#else
constexpr int SLOW = 1;
#endif

// A native function value of one argument.
V nat(V (*fn)(V)) { return ((V)tNATIVE << 56) | (1ull << 48) | (UJ)(uintptr_t)fn; }

// pe (f; d), both consumed.
V pe(V f, V d) { return peachC(aA2(f, d)); }

// The long vector 0 .. n-1.
V iota(U n) {
  V x = an(n, tLONG);
  for (U i = 0; i < n; i++) PL(x)[i] = i;
  return x;
}

// The engine's environment list holding one entry (none for nullptr) for
// one scope.
struct Env {
  const char **old = zk_env;
  const char *e[3] = {};
  explicit Env(const char *a, const char *b = nullptr) {
    e[0] = a, e[1] = b;
    zk_env = e;
  }
  ~Env() { zk_env = old; }
};

// A sleep of 0 .. us microseconds, drawn per thread.
void nap(unsigned us) {
  thread_local std::minstd_rand g((unsigned)(uintptr_t)pthread_self());
  usleep(g() % (us + 1));
}

// Whether the thread runs in shared mode.
V shm(V x) {
  mr(x);
  nap(50);
  return ai(shared_mode());
}

// Fails items 5 and 9 with their own errors, item 5 mostly later than 9.
V slp(V x) {
  J i = gl(x);
  nap(i == 5 ? 2000 : 200);
  if (i == 5) return err0("e5");
  if (i == 9) return err0("e9");
  return ai((I)i);
}

// Item 3 fails with no error text at all.
V nil(V x) {
  J i = gl(x);
  if (i == 3) {
    eclr();
    return 0;
  }
  return ai((I)i);
}

// A shared heap object that every successful item returns a reference of.
V keep;
V ref(V x) {
  J i = gl(x);
  nap(100);
  if (i == 7) return err0("seven");
  return _r(keep);
}

pthread_t main_th;
// (worker?; colour counter; output index; the 16 state words)
V rst(V x) {
  mr(x);
  nap(300);
  V r = an(19, tLONG);
  PL(r)[0] = !pthread_equal(pthread_self(), main_th);
  PL(r)[1] = tl.acn;
  PL(r)[2] = tl.pst.ix;
  for (int k = 0; k < 16; k++) PL(r)[3 + k] = (J)tl.pst.s[k];
  return r;
}

// A new symbol per item (interned in shared mode).
V nsy(V x) {
  std::string s = "pz" + std::to_string(gl(x));
  return as(us(s.c_str()));
}

// A list made by the item's thread: (x; "ab").
V mk(V x) { return aA2(al(gl(x)), aCz("ab")); }

// Objects an earlier job made, which every item of the next takes and drops
// references to: 64 items of them from x on, and their items.
V made;
V use(V x) {
  U n = nx(made), i0 = (U)gl(x);
  for (int rep = 0; rep < 4; rep++)
    for (U k = 0; k < 64; k++) {
      V y = ii(made, (J)((i0 + k) % n));
      V a = ii(y, 0), b = ii(y, 1);
      mr(a), mr(b), mr(y);
    }
  return ai(0);
}

// Stores a list made here in the memo table (slot 11, key x mod 4), then
// reads every key back while holding its own reference to what it stored.
V memo(V x) {
  J i = gl(x);
  V v = aA2(al(i), aCz("cd"));
  V l = an(3, tLIST);
  PA(l)[0] = ai(11), PA(l)[1] = ai((I)(i % 4)), PA(l)[2] = _r(v);
  mr(qmcT(l));
  for (int rep = 0; rep < 64; rep++) {
    V g[4];
    for (I k = 0; k < 4; k++) g[k] = qmcT(aA2(ai(11), ai(k)));
    for (int j = 0; j < 16; j++) mr(_r(v));
    mrn(4, g);
  }
  mr(v);
  return ai(0);
}

// A float made on the item's thread, after about a microsecond of work so
// that the workers take part even in a short job.
V flt(V x) {
  volatile J s = gl(x);
  for (int i = 0; i < 300; i++) s = s + 0;
  return af((F)s + 0.5);
}

// flt that also marks the worker running it (bit tl.pix) and naps, so a
// job leaves no worker idle.
std::atomic<UJ> ran;
V flw(V x) {
  ran.fetch_or(1ull << tl.pix, std::memory_order_relaxed);
  nap(20);
  return flt(x);
}

// Resident bytes of the process.
long rss() {
  long pages = 0, res = 0;
  FILE *f = fopen("/proc/self/statm", "r");
  if (f && fscanf(f, "%ld %ld", &pages, &res) != 2) res = 0;
  if (f) fclose(f);
  return res * sysconf(_SC_PAGESIZE);
}

}  // namespace

TEST(Peach, MorselSize) {
  struct { U n; I T; U want; } cases[] = {
      {100, 16, 1},     {100000, 16, 1024}, {1000, 4, 62}, {15, 4, 1},       {16, 4, 1},
      {31, 4, 1},       {32, 4, 2},         {8, 1, 2},     {4096, 1, 1024},  {5000, 1, 1024},
      {0xFFFFFFFFu, 64, 1024}, {255, 64, 1}, {256, 64, 1}, {511, 64, 1}, {512, 64, 2}};
  for (auto &c : cases) EXPECT_EQ(pe_morsel(c.n, c.T), c.want) << c.n << " items, " << c.T << " threads";
}

TEST(Peach, ThreadsFromTheEnvironmentList) {
  EnvThreads pe_ignores("3");  // the process environment is not read
  I cpu = par_count(nullptr);
  struct { const char *a, *b; I want; } cases[] = {
      {nullptr, nullptr, cpu},
      {"ZELKO_THREADS=3", nullptr, 3},
      {"HOME=/tmp", "ZELKO_THREADS=1", 1},
      {"ZELKO_THREADS=0", nullptr, cpu},
      {"ZELKO_THREADS=", nullptr, cpu},
      {"ZELKO_THREADS=x2", nullptr, cpu},
      {"ZELKO_THREADS=-2", nullptr, cpu},
      {"ZELKO_THREADS=12abc", nullptr, 12},
      {"ZELKO_THREADS=64", nullptr, 64},
      {"ZELKO_THREADS=65", nullptr, 64},
      {"ZELKO_THREADS=99999999999999999999", nullptr, 64},
      {"ZELKO_THREADS=2", "ZELKO_THREADS=5", 2},  // the first entry decides
      {"ZELKO_THREADSX=3", nullptr, cpu},
      {"zelko_threads=3", nullptr, cpu},
  };
  for (auto &c : cases) {
    Env e(c.a, c.b);
    EXPECT_EQ(pe_threads(), c.want) << (c.a ? c.a : "(none)") << " " << (c.b ? c.b : "");
  }
}

// Shared mode is on for every item of a parallel run, off for a serial one
// and off again on the caller afterwards.
TEST(Peach, SerialAndParallelRuns) {
  vmt::boot();
  Watchdog w(60 * SLOW, "SerialAndParallelRuns");
  struct { const char *env; U n; bool shared; } cases[] = {
      {"ZELKO_THREADS=1", 32, false}, {"ZELKO_THREADS=4", 32, true}, {"ZELKO_THREADS=4", 1, false},
      {"ZELKO_THREADS=4", 2, true},   {"ZELKO_THREADS=0", 40, par_count(nullptr) > 1},
      {"ZELKO_THREADS=3", 0, false}};
  for (auto &c : cases) {
    Env e(c.env);
    V r = pe(nat(shm), iota(c.n));
    ASSERT_TRUE(r) << etext();
    EXPECT_FALSE(shared_mode());
    if (c.n) {
      // typed: int atoms make an integer vector (of the narrowest width)
      EXPECT_TRUE(tp(r) >= tBYTE && tp(r) <= tLONG) << c.env << " " << c.n << " type " << tp(r);
      for (U i = 0; i < nx(r); i++) EXPECT_EQ(zkt::at(r, i), (J)c.shared) << c.env << " " << c.n << " item " << i;
    }
    EXPECT_EQ(nx(r), c.n);
    mr(r);
  }
}

// Results come back in item order whatever thread ran them, typed.
TEST(Peach, ItemOrderAndTypes) {
  vmt::boot();
  Env e("ZELKO_THREADS=8");
  V f = vmt::ev("{x*x}");
  ASSERT_TRUE(f);
  for (U n : {2u, 3u, 31u, 32u, 33u, 1000u, 100000u}) {
    V r = pe(_r(f), iota(n));
    ASSERT_TRUE(r) << etext();
    ASSERT_TRUE(tp(r) >= tBYTE && tp(r) <= tLONG) << n;
    ASSERT_EQ(nx(r), n);
    for (U i = 0; i < n; i++) ASSERT_EQ(zkt::at(r, i), (J)i * i) << n << " item " << i;
    mr(r);
  }
  mr(f);
}

// Globals can be read but not assigned in parallel; serially they can.
// A pe inside a pe runs serially and gives what each gives.
TEST(Peach, SharedModeRules) {
  vmt::boot();
  Env e("ZELKO_THREADS=4");
  zkt::setg("gpr", al(10));
  struct { const char *src, *want; } cases[] = {
      {"`pe ({gpa::x};1 2 3)", "'noupdate"},
      {"`pe ({gpa+:x};1 2 3)", "'noupdate"},
      {"`pe ({gpa[0]:x};1 2 3)", "'noupdate"},
      {"`pe ({.[`gpr;();:;x]};1 2 3)", "'noupdate"},
      {"`pe ({@[`gpr;0;+;x]};1 2 3)", "'noupdate"},
      {"gpr", "10"},
      {"`pe ({l:1 2 3; l[0]:x; l};4 5)", "(4 2 3;5 2 3)"},
      {"`pe ({gpa::x;x};,7)", ",7"},
      {"gpa", "7"},
      {"`pe ({x+gpr};1 2 3)", "11 12 13"},
      {"`pe ({`pe ({x*y}[x];1 2 3 4)};1 2 3 4)", "(1 2 3 4;2 4 6 8;3 6 9 12;4 8 12 16)"},
  };
  for (auto &c : cases) {
    V r = vmt::ev(c.src);
    std::string got = r ? "" : vmt::ename();
    if (r) {
      V s = kst(r);
      got = s ? std::string((const char *)PC(s), nx(s)) : "<k failed>";
      if (s) mr(s);
    }
    EXPECT_EQ(got, c.want) << c.src;
  }
}

// Items 5 and 9 fail, 5 mostly after 9: the error is always item 5's.
TEST(Peach, LowestFailingItemWins) {
  vmt::boot();
  Watchdog w(120 * SLOW, "LowestFailingItemWins");
  Env e("ZELKO_THREADS=8");
  for (int run = 0; run < 200 / SLOW; run++) {
    ASSERT_EQ(pe(nat(slp), iota(16)), 0u);
    ASSERT_EQ(etext(), "'e5\n") << "run " << run;
  }
}

// A failing item with no error text gives the pool's own error; serially
// the (empty) text of the function stays.
TEST(Peach, FailureWithoutText) {
  vmt::boot();
  {
    Env e("ZELKO_THREADS=4");
    EXPECT_EQ(pe(nat(nil), iota(8)), 0u);
    EXPECT_EQ(etext(), "'worker error in peach\n");
  }
  Env e("ZELKO_THREADS=1");
  EXPECT_EQ(pe(nat(nil), iota(8)), 0u);
  EXPECT_EQ(etext(), "");
}

// Every path releases what it took: the items handed to f, the results
// computed before and after a failure, f and the data.
TEST(Peach, ReleasesOnEveryPath) {
  vmt::boot();
  Watchdog w(60 * SLOW, "ReleasesOnEveryPath");
  keep = af(2.5);
  V d = an(32, tLIST);
  for (U i = 0; i < 32; i++) PA(d)[i] = al(i);
  V f = vmt::ev("{x}");
  for (const char *env : {"ZELKO_THREADS=1", "ZELKO_THREADS=4", "ZELKO_THREADS=8"}) {
    Env e(env);
    for (U n : {8u, 32u}) {  // item 7 fails: with 8 items it is the last
      V dn = n < 32 ? an(n, tLIST) : _r(d);
      if (n < 32)
        for (U i = 0; i < n; i++) PA(dn)[i] = _r(PA(d)[i]);
      EXPECT_EQ(pe(nat(ref), dn), 0u) << env;
      EXPECT_EQ(etext(), "'seven\n") << env;
      EXPECT_EQ(hd(keep)->rc, 1u) << env << " " << n;
      V ok = pe(_r(f), _r(d));  // a lambda over boxed longs: succeeds
      ASSERT_TRUE(ok) << etext();
      mr(ok);
    }
    EXPECT_EQ(hd(d)->rc, 1u) << env;
    for (U i = 0; i < 32; i++) EXPECT_EQ(hd(PA(d)[i])->rc, 1u) << env << " item " << i;
    EXPECT_EQ(hd(f)->rc, 1u) << env;
  }
  mr(d), mr(f), mr(keep);
}

// Without a result array the items run serially on the caller, out of
// shared mode, and a failure reads as the pool's error.  One thread
// throughout, so the free lists show any leak.
TEST(Peach, FallbackWithoutResultArray) {
  vmt::boot();
  Env e("ZELKO_THREADS=4");
  pe_calloc = [](size_t, size_t) -> void * { return nullptr; };
  auto once = [] {
    V r = pe(nat(shm), iota(16));
    EXPECT_TRUE(r) << etext();
    if (r) {
      EXPECT_TRUE(tp(r) >= tBYTE && tp(r) <= tLONG);
      for (U i = 0; i < nx(r); i++) EXPECT_EQ(zkt::at(r, i), 0);
      mr(r);
    }
    EXPECT_EQ(pe(nat(slp), iota(16)), 0u);
    EXPECT_EQ(etext(), "'worker error in peach\n");
  };
  once(), once();
  UJ before = freebytes();
  once();
  EXPECT_EQ(freebytes(), before);
  pe_calloc = calloc;
}

// Worker i starts from the default state XOR the first 16 SplitMix64
// outputs from i + 1, its output index 0; the caller's state is untouched.
TEST(Peach, WorkerRandomStates) {
  vmt::boot();
  Watchdog w(60 * SLOW, "WorkerRandomStates");
  const UJ dflt[16] = {0xd5a986ae75c9a33bull, 0x9c57a73dcd5e41b7ull, 0x3fe497b4dd1be68dull,
                       0x3f57adc392affdefull, 0x1016d8e3483a8f0full, 0xcb0c33c0e78feedeull,
                       0x7b5dda788f9f577dull, 0xf1e01f806161118aull, 0x81f9e6260eb8e5dfull,
                       0x5943e008d9222efaull, 0x8f514f6e6fb18ba4ull, 0x6dacfe2135f9599eull,
                       0xfa9b718d8d0769bfull, 0x4d46d3d50833e8c9ull, 0x696678daaa7b4cc6ull,
                       0x3cb5c708d53cc982ull};
  auto want = [&](UJ i, int k) {
    UJ s = i + 1, z = 0;
    for (int j = 0; j <= k; j++) {
      z = (s += 0x9e3779b97f4a7c15ull);
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
      z ^= z >> 31;
    }
    return dflt[k] ^ z;
  };
  Rst mine = tl.pst;
  main_th = pthread_self();
  pool_shutdown();  // fresh workers, whose colour counters still name them
  Env e("ZELKO_THREADS=4");
  std::vector<bool> seen(3);
  for (int run = 0; run < 20 && !(seen[0] && seen[1] && seen[2]); run++) {
    V r = pe(nat(rst), iota(24));
    ASSERT_TRUE(r) << etext();
    ASSERT_EQ(pe_workers(), 3);
    for (U j = 0; j < nx(r); j++) {
      V row = PA(r)[j];
      if (!PL(row)[0]) continue;
      J a = PL(row)[1];
      ASSERT_TRUE(a >= 1 && a <= 3) << "colour counter " << a;
      seen[a - 1] = true;
      EXPECT_EQ(PL(row)[2], 0) << "worker " << a - 1;
      for (int k = 0; k < 16; k++) EXPECT_EQ((UJ)PL(row)[3 + k], want(a - 1, k)) << "worker " << a - 1 << " word " << k;
    }
    mr(r);
  }
  EXPECT_TRUE(seen[0] || seen[1] || seen[2]);
  EXPECT_EQ(memcmp(&mine, &tl.pst, sizeof mine), 0);
  for (int k = 0; k < 16; k++) EXPECT_EQ(tl.pst.s[k], dflt[k]);  // the default state at thread start
}

// A child forked after the parent used pe has none of the workers: its pe
// builds a fresh pool, and its exit joins only threads it has.
TEST(Peach, ForkChild) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the race checker does not follow a threaded fork";
#else
  vmt::boot();
  Watchdog w(60, "ForkChild");
  Env e("ZELKO_THREADS=4");
  V f = vmt::ev("{x+1}");
  V r = pe(_r(f), iota(100));
  ASSERT_TRUE(r);
  mr(r);
  ASSERT_EQ(pe_workers(), 3);
  for (bool use : {true, false}) {
    fflush(nullptr);
    pid_t p = fork();
    ASSERT_GE(p, 0);
    if (p == 0) {
      alarm(20);  // a hang ends the child with SIGALRM
      bool ok = true;
      if (use) {
        ok = pe_workers() == 0;
        for (int k = 0; k < 3 && ok; k++) {
          V c = pe(_r(f), iota(100));
          ok = c && nx(c) == 100 && zkt::at(c, 99) == 100 && pe_workers() == 3;
          if (c) mr(c);
        }
      }
      exit(ok ? 0 : 1);  // the exit handler stops the child's pool
    }
    int st = 0;
    ASSERT_EQ(waitpid(p, &st, 0), p);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0)
        << (use ? "pe in the child" : "no pe in the child") << ": status " << st;
  }
  mr(f);
#endif
}

// A function that allocates, interns new symbols, reads globals and sums
// 2M floats (a pooled kernel run from inside a worker) gives what each
// gives.  Under the race checker this is the case that matters.
TEST(Peach, SharedWork) {
  vmt::boot();
  Watchdog w(120 * SLOW, "SharedWork");
  Env e("ZELKO_THREADS=8");
  U m = 2000000;
  V g = an(m, tFLT);
  for (U i = 0; i < m; i++) PF(g)[i] = (F)(i % 1000) * 0.25;
  zkt::setg("gpf", g);
  zkt::setg("nsy", nat(nsy));
  zkt::setg("gpk", al(3));
  const char *f = "{s:nsy x; v:(x;s;2.5;\"ab\"); (+/gpf)+x*gpk}";
  for (int rep = 0; rep < 3; rep++) {
    std::string ds = "(" + std::to_string(16 * rep + 100);
    for (int i = 1; i < 16; i++) ds += ";" + std::to_string(16 * rep + 100 + i);
    ds += ")";
    V a = vmt::ev(("`pe (" + std::string(f) + ";" + ds + ")").c_str());
    ASSERT_TRUE(a) << etext();
    V b = vmt::ev((std::string(f) + "'" + ds).c_str());
    ASSERT_TRUE(b) << etext();
    ASSERT_EQ(tp(a), tFLT);
    ASSERT_EQ(tp(b), tFLT);
    ASSERT_EQ(nx(a), 16u);
    EXPECT_EQ(memcmp(PF(a), PF(b), 16 * sizeof(F)), 0);
    mr(a), mr(b);
  }
  for (int i = 100; i < 148; i++) {
    std::string s = "pz" + std::to_string(i);
    V v = nsy(ai(i));
    EXPECT_EQ(v, as(us(s.c_str())));  // one id per name, whichever thread interned it
  }
}

// Objects a worker made in one job are read by every thread of the next,
// also when the pool was rebuilt in between (its generations start over):
// no thread of a later job takes them for its own, so no count is lost.
TEST(Peach, CountsOfAnEarlierJobsObjects) {
  vmt::boot();
  Watchdog w(120 * SLOW, "CountsOfAnEarlierJobsObjects");
  Env e("ZELKO_THREADS=8");
  U n = 4000;
  made = pe(nat(mk), iota(n));
  ASSERT_TRUE(made) << etext();
  ASSERT_EQ(tp(made), tLIST);
  for (int round = 0; round < 3; round++) {
    if (round == 1) pool_shutdown();
    V r = pe(nat(use), iota(n));
    ASSERT_TRUE(r) << etext();
    mr(r);
    for (U i = 0; i < n; i++) {
      V y = PA(made)[i];
      ASSERT_EQ(hd(y)->rc, 1u) << "round " << round << " item " << i;
      ASSERT_EQ(hd(PA(y)[0])->rc, 1u) << "round " << round << " item " << i;
      ASSERT_EQ(hd(PA(y)[1])->rc, 1u) << "round " << round << " item " << i;
    }
  }
  mr(made);
}

// What one thread of a job stores in the memo table, the others read at
// once: it is published, so every thread changes its counts atomically.
TEST(Peach, PublishedValuesKeepTheirCounts) {
  vmt::boot();
  Watchdog w(120 * SLOW, "PublishedValuesKeepTheirCounts");
  Env e("ZELKO_THREADS=8");
  V r = pe(nat(memo), iota(2000));
  ASSERT_TRUE(r) << etext();
  mr(r);
  for (I k = 0; k < 4; k++) {
    V g = qmcT(aA2(ai(11), ai(k)));
    ASSERT_EQ(tp(g), tLIST);
    ASSERT_EQ(nx(g), 1u);
    V v = PA(g)[0];
    EXPECT_EQ(hd(v)->rc, 2u) << k;  // the table's and g's
    EXPECT_EQ(hd(PA(v)[0])->rc, 1u) << k;
    EXPECT_EQ(gl_(PA(v)[0]) % 4, k);
    mr(g);
  }
}

// A job's results are made on the workers and released by the caller.
// Their blocks go back to the workers that made them, so a host calling pe
// in a loop keeps its size instead of growing by every job's results
// (without the return, 300 jobs here add about 90 MB).
TEST(Peach, WorkersGetTheirBlocksBack) {
  vmt::boot();
  Watchdog w(120 * SLOW, "WorkersGetTheirBlocksBack");
  Env e("ZELKO_THREADS=4");
  U n = 4096;
  auto job = [&] {
    V r = pe(nat(flt), iota(n));
    ASSERT_TRUE(r) << etext();
    ASSERT_EQ(tp(r), tFLT);
    EXPECT_EQ(PF(r)[n - 1], (F)(n - 1) + 0.5);
    mr(r);
  };
  // A worker's first results split its region down, touching a huge page
  // per size class: every worker runs items before the count starts, or a
  // late first-timer (a loaded machine, a pool made by an earlier test)
  // reads as growth.
  ran = 0;
  for (int i = 0; i < 2000; i++) {
    V r = pe(nat(flw), iota(n));
    ASSERT_TRUE(r) << etext();
    mr(r);
    UJ all = ((1ull << pe_workers()) - 1) << 2;  // pix 2 .. workers + 1
    if ((ran.load() & all) == all) break;
  }
  ASSERT_EQ(ran.load() >> 2, (1ull << pe_workers()) - 1);
  for (int i = 0; i < 20; i++) job();
  long before = rss();
  for (int i = 0; i < 300; i++) job();
  EXPECT_LT(rss() - before, 24l << 20);
}
