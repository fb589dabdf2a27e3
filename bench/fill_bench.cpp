// Compress of 10^8 longs and of 10^8 floats by a mask of half ones at
// random (one thread: the kernel is serial), and the fill 0^x of 10^8
// floats with a tenth NaN, unshared so it runs in place (the NaN items are
// put back between runs, outside the timing).  numpy's figures (boolean
// indexing, np.where(np.isnan(x), 0, x), np.nan_to_num(x, copy=False)) come
// from bench/fill_numpy.py on the same shapes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>

#include "core/core.h"
#include "list/list.h"

using namespace zk;

namespace {

constexpr U N = 100000000;

void boot() {
  if (!kinit_done) kinit();
}

void compress(benchmark::State &s, int t) {
  boot();
  V x = an(N, t), m = an(N, tBYTE);
  std::mt19937_64 g(1);
  for (U i = 0; i < N; i++) {
    if (t == tFLT) PF(x)[i] = (F)i;
    else PL(x)[i] = (J)i;
    P(m)[i] = (G)(g() & 1);
  }
  for (auto _ : s) {
    V r = cmprC(x, _r(m));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(m);
  mc();
}
void compress_i64(benchmark::State &s) { compress(s, tLONG); }
void compress_f64(benchmark::State &s) { compress(s, tFLT); }

void fill_f64(benchmark::State &s) {
  boot();
  V x = an(N, tFLT), src = an(N, tFLT);
  std::mt19937_64 g(2);
  for (U i = 0; i < N; i++) PF(src)[i] = g() % 10 ? (F)i : NAN;
  for (auto _ : s) {
    s.PauseTiming();
    memcpy(PF(x), PF(src), (UJ)N * 8);
    s.ResumeTiming();
    x = crt(ai(0), x);  // unshared: filled where it lies
    benchmark::DoNotOptimize(PF(x)[0]);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(src);
  mc();
}

}  // namespace

BENCHMARK(compress_i64)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(compress_f64)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(fill_f64)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
