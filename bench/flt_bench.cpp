// Float element-wise work on 10M items: vector + vector and vector *
// vector (into a new vector, and in place into the unshared right
// argument), vector * atom, and vector < vector into bytes; against a
// memcpy of one argument's bytes (80 MB), serial and split over the pool
// the same way, as the memory-bandwidth reference.  The argument of every
// benchmark is the thread count (ZELKO_THREADS).  numpy's figures on the
// same data come from bench/flt_numpy.py.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "core/core.h"
#include "core/pool.h"
#include "num/flt.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

void boot() {
  if (!kinit_done) kinit();
}

void threads(benchmark::State &s) {
  setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1);
}

// Items in [lo, hi), the same for every benchmark; no NaN and no -0.0,
// so comparisons take the direct route.
V fill(U n, unsigned seed, F lo, F hi) {
  V v = an(n, tFLT);
  UJ z = seed;
  for (U i = 0; i < n; i++) {
    z = z * 6364136223846793005ull + 1442695040888963407ull;
    PF(v)[i] = lo + (hi - lo) * (F)(z >> 11) * 0x1p-53;
  }
  return v;
}

// Bytes touched per call: two sources read, one result written.
void bytes3(benchmark::State &s, UJ itembytes_out) {
  s.SetBytesProcessed((int64_t)s.iterations() * N * (16 + itembytes_out));
}

void vv_new(benchmark::State &s, I op) {
  boot();
  threads(s);
  V x = fill(N, 1, 0.9, 1.1), y = fill(N, 2, 0.9, 1.1);
  for (auto _ : s) {
    V r = amdFF(x, _r(y), op);
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  bytes3(s, 8);
  mr(x), mr(y);
}

// Repeated products of factors in [0.9, 1.1) wander slowly and stay far
// from overflow and subnormals over a benchmark's iterations.
void vv_inplace(benchmark::State &s, I op) {
  boot();
  threads(s);
  V x = fill(N, 1, 0.9, 1.1), y = fill(N, 2, 0.9, 1.1);
  for (auto _ : s) {
    y = amdFF(x, y, op);
    benchmark::DoNotOptimize(P(y));
  }
  bytes3(s, 8);
  mr(x), mr(y);
}

void BM_add_new(benchmark::State &s) { vv_new(s, 1); }
void BM_add_inplace(benchmark::State &s) { vv_inplace(s, 1); }
void BM_mul_new(benchmark::State &s) { vv_new(s, 3); }
void BM_mul_inplace(benchmark::State &s) { vv_inplace(s, 3); }

void BM_mul_atom_new(benchmark::State &s) {
  boot();
  threads(s);
  V y = fill(N, 2, 0.9, 1.1);
  for (auto _ : s) {
    V r = mulfF(_r(y), 1.0001);
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * 16);
  mr(y);
}

void BM_lt_new(benchmark::State &s) {
  boot();
  threads(s);
  V x = fill(N, 1, -1, 1), y = fill(N, 2, -1, 1);
  for (auto _ : s) {
    V r = cmpFF(x, _r(y), 8);
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  bytes3(s, 1);
  mr(x), mr(y);
}

// The comparison with the result buffer reused, to separate the kernel
// from the allocation of the byte vector.
void BM_lt_pcmpv(benchmark::State &s) {
  boot();
  threads(s);
  V x = fill(N, 1, -1, 1), y = fill(N, 2, -1, 1), r = an(N, tBYTE);
  for (auto _ : s) {
    I f = 0;
    pcmpv(PF(x), PF(y), P(r), N, 0, &f);
    benchmark::DoNotOptimize(f);
  }
  bytes3(s, 1);
  mr(x), mr(y), mr(r);
}

struct Cp {
  G *d;
  const G *s;
  UJ n;
  int w;
};
void cp_task(void *c, int i) {
  Cp *p = (Cp *)c;
  UJ a = p->n * i / p->w, b = p->n * (i + 1) / p->w;
  memcpy(p->d + a, p->s + a, b - a);
}

// memcpy of one argument's 80 MB, on as many threads as the kernels would
// use for 10M items.
void BM_memcpy(benchmark::State &s) {
  boot();
  threads(s);
  V x = fill(N, 1, 0.9, 1.1), y = an(N, tFLT);
  int w = pew_t(N);
  Cp c{P(y), P(x), (UJ)N * 8, w};
  for (auto _ : s) {
    par_run(w, cp_task, &c);
    benchmark::DoNotOptimize(P(y));
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * 16);
  mr(x), mr(y);
}

#define TH ->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_add_new) TH;
BENCHMARK(BM_add_inplace) TH;
BENCHMARK(BM_mul_new) TH;
BENCHMARK(BM_mul_inplace) TH;
BENCHMARK(BM_mul_atom_new) TH;
BENCHMARK(BM_lt_new) TH;
BENCHMARK(BM_lt_pcmpv) TH;
BENCHMARK(BM_memcpy) TH;

}  // namespace

BENCHMARK_MAIN();
