// Unit tests of the float element-wise kernels and the parallel runner:
// the worker count and the division into whole granules; every kernel
// bit-identical to a plain scalar loop for ZELKO_THREADS 1, 2, 3 and 8 at
// sizes around the parallel threshold and at 10M; IEEE edge data (NaN
// payloads, signed zeros, infinities, subnormals) on every pair of
// special values, with the float order checked against the order keys
// built independently here; in place versus copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/err.h"
#include "core/pool.h"
#include "num/flt.h"
#include "testutil.h"

using namespace zk;
using zkt::bits;
using zkt::dbl;

namespace {

bool isn(F d) { return d != d; }

// ZELKO_THREADS for the life of the guard, restored afterwards.
struct Threads {
  bool had;
  std::string old;
  Threads() {
    const char *o = getenv("ZELKO_THREADS");
    had = o != nullptr;
    if (had) old = o;
  }
  ~Threads() {
    if (had) setenv("ZELKO_THREADS", old.c_str(), 1);
    else unsetenv("ZELKO_THREADS");
  }
  void set(const char *v) { setenv("ZELKO_THREADS", v, 1); }
};

// ---- the float order, spelled out with the order keys ----
J key(F x) {
  if (isn(x)) return (J)0x8007FFFFFFFFFFFEull;
  if (x == 0) return (J)0x000FFFFFFFFFFFFEull;
  UJ b = bits(x);
  if ((J)b < 0) b ^= 0x7FFFFFFFFFFFFFFFull;
  return (J)(b + 0x000FFFFFFFFFFFFEull);
}
F unkey(J k) {
  if (k == (J)0x8007FFFFFFFFFFFEull) return dbl(0x7FF8000000000000ull);
  J b = (J)((UJ)k - 0x000FFFFFFFFFFFFEull);
  if (b < 0) b ^= 0x7FFFFFFFFFFFFFFFll;
  return dbl((UJ)b);
}
F rmin(F a, F b) { return unkey(std::min(key(a), key(b))); }
F rmax(F a, F b) { return unkey(std::max(key(a), key(b))); }
G rlt(F a, F b) { return key(a) < key(b); }
G req(F a, F b) { return (isn(a) && isn(b)) || a == b; }

// Special values: signed zeros, infinities, NaNs with payloads and both
// signs (one signalling), subnormals, the extremes and ordinary numbers.
const UJ SPECIAL[] = {
    0x0000000000000000ull, 0x8000000000000000ull,  // 0.0, -0.0
    0x7FF0000000000000ull, 0xFFF0000000000000ull,  // 0w, -0w
    0x7FF8000000000000ull, 0xFFF8000000000000ull,  // quiet NaNs
    0x7FF8DEADBEEF0001ull, 0x7FF0000000000001ull,  // payload, signalling
    0x0000000000000001ull, 0x8000000000000001ull,  // smallest subnormals
    0x000FFFFFFFFFFFFFull, 0x0010000000000000ull,  // largest subnormal, DBL_MIN
    0x7FEFFFFFFFFFFFFFull, 0xFFEFFFFFFFFFFFFFull,  // +-DBL_MAX
    0x3FF0000000000000ull, 0xBFF0000000000000ull,  // 1, -1
    0x3FB999999999999Aull, 0x4008000000000000ull,  // 0.1, 3
    0x3CB0000000000000ull, 0x7FE0000000000000ull,  // 2^-52, 2^1023
};
constexpr int NS = sizeof SPECIAL / sizeof SPECIAL[0];

// Equal bits; a result of two NaN operands need only be a NaN, since
// which payload survives is the hardware's choice.
::testing::AssertionResult same(F want, F got, bool two_nans = false) {
  if (bits(want) == bits(got) || (two_nans && isn(want) && isn(got)))
    return ::testing::AssertionSuccess();
  char m[96];
  snprintf(m, sizeof m, "want %016llx got %016llx", (unsigned long long)bits(want),
           (unsigned long long)bits(got));
  return ::testing::AssertionFailure() << m;
}

V fv(const std::vector<F> &a) {
  V v = an((U)a.size(), tFLT);
  if (!a.empty()) memcpy(PF(v), a.data(), 8 * a.size());
  return v;
}

// A cheap generator (splitmix64): the large cases fill tens of millions
// of items.
struct Rng {
  UJ s;
  UJ operator()() {
    UJ z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  F unit(UJ z) { return (F)(z >> 11) * 0x1p-53 * 2000.0 - 1000.0; }  // [-1000, 1000)
};

// Mixed data: ordinary numbers with about one item in 64 special.
std::vector<F> mixed(UJ n, unsigned seed) {
  Rng r{seed};
  std::vector<F> v(n);
  for (UJ i = 0; i < n; i++) {
    UJ z = r();
    v[i] = (z & 63) == 0 ? dbl(SPECIAL[(z >> 8) % NS]) : r.unit(z);
  }
  return v;
}
// Clean data: no NaN and no -0.0.
std::vector<F> clean(UJ n, unsigned seed) {
  Rng r{seed + 1000};
  std::vector<F> v(n);
  for (UJ i = 0; i < n; i++) v[i] = r.unit(r());
  return v;
}

// ---- worker count and division of the work ----

TEST(FltRunner, WorkerCount) {
  Threads t;
  int np = (int)std::min<long>(sysconf(_SC_NPROCESSORS_ONLN), 64);
  struct {
    const char *env;
    UJ n;
    int want;
  } tab[] = {
      {"8", 0, 1},          {"8", 1048575, 1},        {"8", 1048576, 4},
      {"8", 2000000, 7},    {"8", 16777216, 8},       {"8", 10000000, 8},
      {"3", 10000000, 3},   {"1", 100000000, 1},      {"100", 4000000000ull, 64},
      {"2", 1048576, 2},    {"64", 1u << 30, 64},     {"16abc", 16777216, 16},
  };
  for (auto &c : tab) {
    t.set(c.env);
    EXPECT_EQ(pew_t(c.n), c.want) << c.env << " " << c.n;
  }
  // Zero, or text that does not start with a digit: the processor count.
  for (const char *e : {"0", "abc", "", "-3"}) {
    t.set(e);
    EXPECT_EQ(pew_t(1u << 30), np) << e;
    EXPECT_EQ(pew_t(1048576), std::min(np, 4)) << e;
  }
}

// A kind-0 kernel that records where each call starts and how much it does.
struct Rec {
  UJ s1, s2, sd, m;
};
const G *rbase;
std::atomic<int> rn;
Rec rec[64];
void record(const void *a, const void *b, void *d, UJ m) {
  int k = rn.fetch_add(1);
  rec[k] = {(UJ)((const G *)a - rbase), (UJ)((const G *)b - rbase), (UJ)((G *)d - rbase), m};
}

TEST(FltRunner, RunsAreWholeGranulesTilingTheItems) {
  static G buf[1 << 22];
  rbase = buf;
  struct {
    U n, gr;
    int w;
  } tab[] = {{1000, 32, 7},  {1024, 32, 4},    {33, 32, 8},     {31, 32, 3},  {0, 32, 4},
             {100000, 8, 64}, {262145, 32, 5}, {65, 32, 64},    {1, 1, 2},    {999983, 32, 63}};
  for (auto &c : tab)
    for (int pool = 0; pool < 2; pool++) {
      pew_job j;
      memset((void *)&j, 0, sizeof j);
      j.kind = 0;
      j.kernel.k3 = record;
      j.src1 = buf, j.src2 = buf, j.dst = buf;
      j.nitems = c.n, j.granule = c.gr, j.nworkers = c.w;
      j.size1 = 1, j.size2 = 2, j.size_dst = 3;  // offsets show which multiplier was used
      rn = 0;
      if (pool) par_run(c.w, pew_w, &j);
      else
        for (int i = 0; i < c.w; i++) pew_w(&j, i);
      int k = rn.load();
      std::sort(rec, rec + k, [](const Rec &x, const Rec &y) { return x.s1 < y.s1; });
      UJ at = 0;
      for (int i = 0; i < k; i++) {
        EXPECT_EQ(rec[i].s1, at) << c.n << " " << c.gr << " " << c.w;
        EXPECT_EQ(rec[i].s1 % c.gr, 0u);
        EXPECT_EQ(rec[i].s2, 2 * rec[i].s1);
        EXPECT_EQ(rec[i].sd, 3 * rec[i].s1);
        EXPECT_GT(rec[i].m, 0u);
        at += rec[i].m;
        if (i + 1 < k) {
          EXPECT_EQ(at % c.gr, 0u) << "only the last run may end off a granule";
        }
      }
      EXPECT_EQ(at, c.n);
      EXPECT_LE(k, c.w);
    }
}

// ---- bit-identical for any thread count ----

void lt64(J a, const void *v, G *out, UJ n) {  // a < v[i], a kind-1 kernel
  for (UJ i = 0; i < n; i++) out[i] = a < ((const J *)v)[i];
}
void eq32(const void *a, const void *b, G *out, UJ n) {  // a byte-result kind-0 kernel
  for (UJ i = 0; i < n; i++) out[i] = ((const I *)a)[i] == ((const I *)b)[i];
}

struct Case {
  const char *name;
  std::function<void()> ref;  // fills the reference bytes
  int wflag;                  // reference flag, -1 when the case has none
  std::function<bool(I *flag, const G *want)> run;
};

// Doubles equal bit for bit, except that two NaNs always match: when both
// operands of + or * are NaN, which payload survives depends on the order
// the compiler gives the operands of the machine instruction.
static bool fsame(const F *got, const G *want, UJ n) {
  const UJ *g = (const UJ *)got, *w = (const UJ *)want;
  for (UJ i = 0; i < n; i++)
    if (g[i] != w[i] && !(std::isnan(got[i]) && std::isnan(((const F *)want)[i]))) return false;
  return true;
}

TEST(FltRunner, SameBytesForEveryThreadCount) {
  boot_once();
  Threads t;
  // Buffers for the largest size, used by prefix for the smaller ones.
  const UJ NMAX = 10000000ull;
  std::vector<F> a = mixed(NMAX, 1), b = mixed(NMAX, 2), c = clean(NMAX, 3), d = clean(NMAX, 4);
  std::vector<F> rf(NMAX), of(NMAX);  // reference, and the drivers' destination
  std::vector<G> rg(NMAX), og(NMAX);
  for (UJ n : {(UJ)1048575, (UJ)1048576, NMAX}) {
    b[n / 2] = 0.0;  // a divisor of zero somewhere in the middle
    V xa = fv(std::vector<F>(a.begin(), a.begin() + n)), xb = fv(std::vector<F>(b.begin(), b.begin() + n));
    F *pof = of.data();
    G *pog = og.data();
    std::vector<Case> cases;
    std::vector<const G *> wants;
    // One reference at a time: made when its case comes up.
    auto fcase = [&](const char *nm, auto ref, auto run) {
      cases.push_back({nm, [&rf, ref, n] { for (UJ i = 0; i < n; i++) rf[i] = ref(i); }, -1, run});
      wants.push_back((const G *)rf.data());
    };
    auto gcase = [&](const char *nm, auto ref, auto run, int flag = -1) {
      cases.push_back({nm, [&rg, ref, n] { for (UJ i = 0; i < n; i++) rg[i] = ref(i); }, flag, run});
      wants.push_back(rg.data());
    };
    // The destination is poisoned before every run, so a skipped item shows.
    auto drv = [&](auto go) {  // a driver writing doubles
      return [go, n, pof](I *, const G *w) {
        memset((void *)pof, 0xAB, 8 * n);
        go(pof);
        return fsame(pof, w, n);
      };
    };
    auto drg = [&](auto go) {  // a driver writing bytes
      return [go, n, pog](I *f, const G *w) {
        memset(pog, 0xAB, n);
        go(pog, f);
        return memcmp(pog, w, n) == 0;
      };
    };
    auto val = [&](auto go) {  // a value-level entry; its result's bytes
      return [go, n](I *, const G *w) {
        V r = go();
        UJ nb = n * (tp(r) == tFLT ? 8 : 1);
        bool ok = nx(r) == n && (tp(r) == tFLT ? fsame(PF(r), w, n) : memcmp(P(r), w, nb) == 0);
        memset(P(r), 0xAB, nb);  // the next result may reuse this block
        mr(r);
        return ok;
      };
    };
    const F *pa = a.data(), *pb = b.data(), *pc = c.data(), *pd = d.data();
    U m = (U)n;
    fcase("fzadd", [&](UJ i) { return a[i] + 0.5; }, drv([=](F *o) { pkf(fzadd, pa, o, m, 0.5); }));
    fcase("fzmul", [&](UJ i) { return a[i] * -3.0; }, drv([=](F *o) { pkf(fzmul, pa, o, m, -3.0); }));
    fcase("fzdvl", [&](UJ i) { return 7.0 / b[i]; }, drv([=](F *o) { pkf(fzdvl, pb, o, m, 7.0); }));
    fcase("fzdvr", [&](UJ i) { return a[i] / 3.0; }, drv([=](F *o) { pkf(fzdvr, pa, o, m, 3.0); }));
    fcase("psubs", [&](UJ i) { return 2.0 - a[i]; }, drv([=](F *o) { psubs(pa, o, m, 2.0); }));
    fcase("mnoFf", [&](UJ i) { return rmin(a[i], 0.25); }, drv([=](F *o) { pkf(mnoFf, pa, o, m, 0.25); }));
    fcase("add", [&](UJ i) { return a[i] + b[i]; }, val([=] { return amdFF(xa, _r(xb), 1); }));
    fcase("sub", [&](UJ i) { return a[i] - b[i]; }, val([=] { return amdFF(xa, _r(xb), 2); }));
    fcase("mul", [&](UJ i) { return a[i] * b[i]; }, val([=] { return amdFF(xa, _r(xb), 3); }));
    fcase("div", [&](UJ i) { return a[i] / b[i]; }, val([=] { return amdFF(xa, _r(xb), 4); }));
    fcase("min", [&](UJ i) { return rmin(a[i], b[i]); }, val([=] { return mmmFF(xa, _r(xb), 6); }));
    fcase("max", [&](UJ i) { return rmax(a[i], b[i]); }, val([=] { return mmmFF(xa, _r(xb), 7); }));
    fcase("mmmfF", [&](UJ i) { return rmax(-1.5, b[i]); }, val([=] { return mmmfF(-1.5, _r(xb), 7); }));
    fcase("subFf", [&](UJ i) { return a[i] + -0.75; }, val([=] { return subFf(xa, 0.75); }));
    fcase("dvdFf", [&](UJ i) { return a[i] / -4.0; }, val([=] { return dvdFf(xa, -4.0); }));
    fcase("addfF", [&](UJ i) { return b[i] + 1e300; }, val([=] { return addfF(_r(xb), 1e300); }));
    gcase("pkfg", [&](UJ i) { return req(a[i], 0.0); }, drg([=](G *o, I *) { pkfg(pa, o, m, 0.0); }));
    gcase("pkfg nan", [&](UJ i) { return G(isn(a[i])); }, drg([=](G *o, I *) { pkfg(pa, o, m, NAN); }));
    gcase("eqvvk", [&](UJ i) { return req(a[i], b[i]); },
          drg([=](G *o, I *) { pk3(eqvvk, pa, pb, o, m, 32, 8, 8, 1, m); }));
    gcase("pcmpv <", [&](UJ i) { return G(a[i] < b[i]); },
          drg([=](G *o, I *f) { pcmpv(pa, pb, o, m, 0, f); }), 1);
    gcase("pcmpv > clean", [&](UJ i) { return G(c[i] > d[i]); },
          drg([=](G *o, I *f) { pcmpv(pc, pd, o, m, 1, f); }), 0);
    gcase("pcmps >", [&](UJ i) { return G(a[i] > 1.0); },
          drg([=](G *o, I *f) { pcmps(pa, o, m, 1, f, 1.0); }), 1);
    gcase("pcmps < clean", [&](UJ i) { return G(c[i] < 1.0); },
          drg([=](G *o, I *f) { pcmps(pc, o, m, 0, f, 1.0); }), 0);
    gcase("pcmps -0.0", [&](UJ i) { return G(c[i] < -0.0); },
          drg([=](G *o, I *f) { pcmps(pc, o, m, 0, f, -0.0); }), 1);
    gcase("cmpFF <", [&](UJ i) { return rlt(a[i], b[i]); }, val([=] { return cmpFF(xa, _r(xb), 8); }));
    gcase("cmpFF >", [&](UJ i) { return rlt(b[i], a[i]); }, val([=] { return cmpFF(xa, _r(xb), 9); }));
    gcase("cmpFF =", [&](UJ i) { return req(a[i], b[i]); }, val([=] { return cmpFF(xa, _r(xb), 10); }));
    gcase("cmpfF <", [&](UJ i) { return rlt(0.5, b[i]); }, val([=] { return cmpfF(0.5, _r(xb), 8); }));
    gcase("cmpfF >", [&](UJ i) { return rlt(b[i], NAN); }, val([=] { return cmpfF(NAN, _r(xb), 9); }));
    gcase("pk1", [&](UJ i) { return G(3 < (J)bits(a[i])); },
          drg([=](G *o, I *) { pk1(lt64, 3, pa, o, m, 8); }));
    gcase("pk3 bytes", [&](UJ i) { return G(((const I *)pa)[i] == ((const I *)pb)[i]); },
          drg([=](G *o, I *) { pk3(eq32, pa, pb, o, m, 32, 4, 4, 1, m); }));
    for (UJ ci = 0; ci < cases.size(); ci++) {
      Case &k = cases[ci];
      k.ref();
      for (const char *th : {"1", "2", "3", "8"}) {
        t.set(th);
        I flag = -1;
        EXPECT_TRUE(k.run(&flag, wants[ci])) << k.name << " n=" << n << " ZELKO_THREADS=" << th;
        if (k.wflag >= 0) {
          EXPECT_EQ(flag, k.wflag) << k.name << " n=" << n << " T=" << th;
        }
      }
    }
    EXPECT_EQ(hd(xb)->rc, 1u);  // every shared use gave its reference back
    mr(xa), mr(xb);
  }
}

// The flag of a vector-with-scalar comparison is set whichever worker met
// the one suspect item.
TEST(FltRunner, SuspectItemFlagsFromAnyWorker) {
  Threads t;
  t.set("8");
  const U n = 4000000;
  std::vector<F> v = clean(n, 9);
  std::vector<G> o(n);
  for (UJ at : {0ull, 524287ull, 1999999ull, 3999999ull})
    for (UJ bad : {0x8000000000000000ull, 0x7FF8000000000000ull}) {
      F keep = v[at];
      v[at] = dbl(bad);
      I f = 0;
      pcmps(v.data(), o.data(), n, 0, &f, 5.0);
      EXPECT_EQ(f, 1) << at;
      f = 0;
      pcmpv(v.data(), v.data(), o.data(), n, 1, &f);
      EXPECT_EQ(f, 1) << at;
      v[at] = keep;
    }
  I f = 1;
  pcmps(v.data(), o.data(), n, 0, &f, 5.0);
  EXPECT_EQ(f, 0);
}

// ---- IEEE edge data: every pair of special values ----

TEST(FltKernels, EveryPairOfSpecialValues) {
  boot_once();
  std::vector<F> a, b;
  for (int i = 0; i < NS; i++)
    for (int j = 0; j < NS; j++) a.push_back(dbl(SPECIAL[i])), b.push_back(dbl(SPECIAL[j]));
  UJ n = a.size();
  V x = fv(a), y = fv(b);
  struct Ar {
    const char *nm;
    I op;
    F (*ref)(F, F);
  } ar[] = {{"+", 1, [](F p, F q) { return p + q; }}, {"-", 2, [](F p, F q) { return p - q; }},
            {"*", 3, [](F p, F q) { return p * q; }}, {"%", 4, [](F p, F q) { return p / q; }}};
  for (auto &o : ar) {
    V r = amdFF(x, _r(y), o.op);
    for (UJ i = 0; i < n; i++)
      EXPECT_TRUE(same(o.ref(a[i], b[i]), PF(r)[i], isn(a[i]) && isn(b[i])))
          << a[i] << " " << o.nm << " " << b[i];
    mr(r);
  }
  for (I op : {6, 7}) {
    V r = mmmFF(x, _r(y), op);
    for (UJ i = 0; i < n; i++)
      EXPECT_TRUE(same(op == 6 ? rmin(a[i], b[i]) : rmax(a[i], b[i]), PF(r)[i])) << a[i] << " " << b[i];
    mr(r);
  }
  for (I op : {8, 9, 10}) {
    V r = cmpFF(x, _r(y), op);
    EXPECT_EQ(tp(r), tBYTE);
    for (UJ i = 0; i < n; i++) {
      G w = op == 8 ? rlt(a[i], b[i]) : op == 9 ? rlt(b[i], a[i]) : req(a[i], b[i]);
      EXPECT_EQ(P(r)[i], w) << a[i] << " op" << op << " " << b[i];
    }
    mr(r);
  }
  // Each special value as the atom, against the vector of all of them.
  std::vector<F> s;
  for (int i = 0; i < NS; i++) s.push_back(dbl(SPECIAL[i]));
  V z = fv(s);
  for (int k = 0; k < NS; k++) {
    F e = s[k];
    struct {
      V r;
      F (*ref)(F, F);  // ref(atom, item)
    } fr[] = {
        {addfF(_r(z), e), [](F p, F q) { return q + p; }},
        {mulfF(_r(z), e), [](F p, F q) { return q * p; }},
        {subfF(_r(z), e), [](F p, F q) { return p - q; }},
        {dvdfF(_r(z), e), [](F p, F q) { return p / q; }},
        {subFf(z, e), [](F p, F q) {
           volatile F m = -p;  // the sign of a NaN atom flips; keep q + -p from becoming q - p
           return q + m;
         }},
        {dvdFf(z, e), [](F p, F q) { return q / p; }},
        {mmmfF(e, _r(z), 6), rmin},
        {mmmfF(e, _r(z), 7), rmax},
    };
    for (auto &f : fr) {
      for (int i = 0; i < NS; i++)
        EXPECT_TRUE(same(f.ref(e, s[i]), PF(f.r)[i], isn(e) && isn(s[i]))) << e << " with " << s[i];
      mr(f.r);
    }
    for (I op : {8, 9, 10}) {
      V r = cmpfF(e, _r(z), op);
      for (int i = 0; i < NS; i++) {
        G w = op == 8 ? rlt(e, s[i]) : op == 9 ? rlt(s[i], e) : req(e, s[i]);
        EXPECT_EQ(P(r)[i], w) << e << " op" << op << " " << s[i];
      }
      mr(r);
    }
  }
  EXPECT_EQ(hd(z)->rc, 1u);
  mr(x), mr(y), mr(z);
}

// Every count around the vector steps (pairs, eight, sixteen) and the
// block tail: nothing is written past the count.
TEST(FltKernels, EveryCountAroundTheSteps) {
  for (UJ n = 0; n <= 40; n++) {
    std::vector<F> a = mixed(n + 8, (unsigned)n), b = mixed(n + 8, (unsigned)n + 100);
    std::vector<F> o(n + 8, 42.0);
    std::vector<G> g(n + 8, 7);
    auto tailok = [&](const char *k) {
      for (UJ i = n; i < n + 8; i++) {
        EXPECT_EQ(bits(o[i]), bits(42.0)) << k << " n=" << n;
        EXPECT_EQ(g[i], 7) << k << " n=" << n;
      }
    };
    fzdvl(a.data(), o.data(), n, 2.5);
    for (UJ i = 0; i < n; i++) EXPECT_TRUE(same(2.5 / a[i], o[i]));
    tailok("fzdvl");
    mnoFF(a.data(), b.data(), o.data(), n);
    for (UJ i = 0; i < n; i++) EXPECT_TRUE(same(rmin(a[i], b[i]), o[i]));
    tailok("mnoFF");
    eqsvk(a.data(), g.data(), n, a[n / 2]);
    for (UJ i = 0; i < n; i++) EXPECT_EQ(g[i], req(a[i], a[n / 2]));
    tailok("eqsvk");
    gtoFF(a.data(), b.data(), g.data(), n);
    for (UJ i = 0; i < n; i++) EXPECT_EQ(g[i], rlt(b[i], a[i]));
    tailok("gtoFF");
    ltoFf(a.data(), g.data(), n, -0.0);
    for (UJ i = 0; i < n; i++) EXPECT_EQ(g[i], rlt(a[i], 0.0));
    tailok("ltoFf");
  }
}

// Bytes written over the doubles they come from: the one-at-a-time path.
TEST(FltKernels, EqualityIntoItsOwnSource) {
  std::vector<F> a = mixed(100, 5);
  a[3] = 1.0, a[50] = -0.0;
  std::vector<G> want(100);
  for (int i = 0; i < 100; i++) want[i] = req(a[i], 0.0);
  pkfg(a.data(), (G *)a.data(), 100, 0.0);
  EXPECT_EQ(memcmp(a.data(), want.data(), 100), 0);
}

// ---- the language's cases ----

TEST(FltValues, LanguageCases) {
  boot_once();
  auto F3 = [](V r, std::vector<UJ> w) {
    ASSERT_EQ(tp(r), tFLT);
    ASSERT_EQ(nx(r), w.size());
    for (UJ i = 0; i < w.size(); i++) EXPECT_EQ(bits(PF(r)[i]), w[i]) << i;
    mr(r);
  };
  // 1 -1 0 % 0.0 is 0w -0w 0n
  V r = dvdFf(fv({1, -1, 0}), 0.0);
  ASSERT_EQ(nx(r), 3u);
  EXPECT_EQ(PF(r)[0], INFINITY);
  EXPECT_EQ(PF(r)[1], -INFINITY);
  EXPECT_TRUE(isn(PF(r)[2]));
  mr(r);
  // 1 + 0n 2 is 0n 3 (the NaN's bits kept)
  F3(addfF(fv({dbl(0x7FF8000000000000ull), 2}), 1.0), {0x7FF8000000000000ull, bits(3.0)});
  // 0w 1 - 0w 1 is 0n 0
  V p = fv({INFINITY, 1});
  r = amdFF(p, fv({INFINITY, 1}), 2);
  EXPECT_TRUE(isn(PF(r)[0]));
  EXPECT_EQ(bits(PF(r)[1]), 0u);
  mr(r), mr(p);
  // 0n & 1.0 is 0n, 0n | 1.0 is 1.0, -0.0 & 0.0 and -0.0 | 0.0 are 0.0
  F3(mmmfF(1.0, fv({NAN, -0.0, 2}), 6), {0x7FF8000000000000ull, 0, bits(1.0)});
  F3(mmmfF(1.0, fv({dbl(0xFFF8000000000001ull), -0.0, 2}), 7), {bits(1.0), bits(1.0), bits(2.0)});
  F3(mmmfF(0.0, fv({-0.0}), 6), {0});
  F3(mmmfF(-0.0, fv({-0.0}), 7), {0});
  F3(mmmfF(NAN, fv({NAN, -INFINITY}), 7), {0x7FF8000000000000ull, bits(-INFINITY)});
  // 0n < -0w is 1; -0.0 < 0.0 is 0; 0n = 0n is 1; -0.0 = 0.0 is 1
  r = cmpfF(NAN, fv({-INFINITY, NAN, 0}), 8);
  EXPECT_EQ(std::vector<G>(P(r), P(r) + 3), (std::vector<G>{1, 0, 1}));
  mr(r);
  p = fv({-0.0, NAN, 1});
  r = cmpFF(p, fv({0.0, dbl(0xFFF8000000000123ull), 1}), 8);
  EXPECT_EQ(std::vector<G>(P(r), P(r) + 3), (std::vector<G>{0, 0, 0}));
  mr(r);
  r = cmpFF(p, fv({0.0, dbl(0xFFF8000000000123ull), 1}), 10);
  EXPECT_EQ(std::vector<G>(P(r), P(r) + 3), (std::vector<G>{1, 1, 1}));
  mr(r), mr(p);
}

TEST(FltValues, LengthErrorReleasesY) {
  boot_once();
  V x = fv({1, 2, 3}), y = fv({1, 2});
  _r(y);
  for (I op : {1, 6, 8}) {
    V r = op < 6 ? amdFF(x, _r(y), op) : op < 8 ? mmmFF(x, _r(y), op) : cmpFF(x, _r(y), op);
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(strncmp(tl.err_text, "'length", 7), 0);
    EXPECT_EQ(hd(y)->rc, 2u);
    eclr();
  }
  mr(y), mr(y), mr(x);
}

TEST(FltValues, EmptyWithAtom) {
  boot_once();
  for (int k = 0; k < 6; k++) {
    V e = an(0, tFLT);
    V r = k == 0 ? addfF(e, 1) : k == 1 ? mulfF(e, 2) : k == 2 ? subfF(e, 3)
        : k == 3 ? dvdfF(e, 4) : k == 4 ? mmmfF(1, e, 6) : cmpfF(1, e, 8);
    EXPECT_EQ(nx(r), 0u);
    EXPECT_EQ(tp(r), k == 5 ? tBYTE : tFLT);
    mr(r);
  }
}

// Unshared: the result is the same object, its attribute cleared.  Shared:
// the input is unchanged and a new vector comes back.
TEST(FltValues, InPlaceWhenUnsharedCopyWhenShared) {
  boot_once();
  Threads t;
  for (const char *th : {"1", "8"}) {
    t.set(th);
    for (U n : {5u, 1048576u}) {
      std::vector<F> a = mixed(n, 11), b = mixed(n, 12);
      V x = fv(a);
      using Fn = V (*)(V x, V y);
      Fn fns[] = {
          [](V, V y) { return addfF(y, 2.0); },     [](V, V y) { return mulfF(y, 2.0); },
          [](V, V y) { return subfF(y, 2.0); },     [](V, V y) { return dvdfF(y, 2.0); },
          [](V x, V y) { return amdFF(x, y, 1); },  [](V x, V y) { return amdFF(x, y, 4); },
          [](V x, V y) { return mmmFF(x, y, 7); },  [](V, V y) { return mmmfF(2.0, y, 6); },
      };
      for (Fn f : fns) {
        V y = fv(b);
        hd(y)->attr = 1;  // sorted, as far as the kernel knows
        V r = f(x, y);
        EXPECT_EQ(r, y);
        EXPECT_EQ(hd(r)->attr, 0);
        std::vector<F> in_place(PF(r), PF(r) + n);
        mr(r);
        y = fv(b);
        hd(y)->attr = 1;
        _r(y);
        r = f(x, y);
        EXPECT_NE(r, y);
        EXPECT_EQ(hd(r)->attr, 0);
        EXPECT_EQ(hd(y)->rc, 1u);
        EXPECT_EQ(memcmp(PF(y), b.data(), 8 * n), 0) << "a shared argument is never changed";
        EXPECT_EQ(memcmp(PF(r), in_place.data(), 8 * n), 0);
        mr(r), mr(y);
      }
      EXPECT_EQ(memcmp(PF(x), a.data(), 8 * n), 0) << "x is only read";
      mr(x);
    }
  }
}

// Above 1,999,999 items a NaN or -0.0 makes the IEEE bytes unusable; the
// order rule gives the answer.
TEST(FltValues, LargeComparisonFallsBackOnSuspectData) {
  boot_once();
  Threads t;
  t.set("8");
  const U n = 2100000;
  std::vector<F> a = clean(n, 21), b = clean(n, 22);
  a[17] = NAN, b[2000000] = -0.0, a[2000000] = 0.0, b[5] = NAN;
  V x = fv(a);
  for (I op : {8, 9}) {
    V r = cmpFF(x, fv(b), op);
    for (UJ i = 0; i < n; i++)
      if (P(r)[i] != (op == 8 ? rlt(a[i], b[i]) : rlt(b[i], a[i]))) {
        ADD_FAILURE() << "item " << i;
        break;
      }
    EXPECT_EQ(P(r)[17], op == 8);
    EXPECT_EQ(P(r)[2000000], 0);
    mr(r);
    r = cmpfF(-INFINITY, _r(x), op);
    EXPECT_EQ(P(r)[17], op == 9);  // 0n < -0w
    mr(r);
  }
  mr(x);
}

}  // namespace
