// Moving windows over 10M floats: sum, average, deviation, minimum and
// maximum with w = 10 and 10,000 (the time should not depend on w), and
// the exponential average.  The peers' figures (pandas rolling and ewm,
// Polars rolling on one thread) come from bench/mov_peers.py and
// bench/mov_polars.mjs; bench/mov_run.sh runs all three in one go.
#include <benchmark/benchmark.h>

#include "core/core.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

V data() {
  if (!kinit_done) kinit();
  V v = an(N, tFLT);
  UJ g = 1;
  for (U i = 0; i < N; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    PF(v)[i] = (F)(g >> 40) / 16777216.0 * 100.0;
  }
  return v;
}

void mwb(benchmark::State &s) {
  V x = data();
  for (auto _ : s) {
    V a = an(3, tLIST);
    PA(a)[0] = ai((I)s.range(0)), PA(a)[1] = ai((I)s.range(1)), PA(a)[2] = _r(x);
    V r = mwC(a);
    benchmark::DoNotOptimize(PF(r)[N - 1]);
    mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x);
  mc();
}

void emab(benchmark::State &s) {
  V x = data();
  for (auto _ : s) {
    V r = emaC(aA2(af(0.1), _r(x)));
    benchmark::DoNotOptimize(PF(r)[N - 1]);
    mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x);
  mc();
}

}  // namespace

// Args: code (0 sum, 1 average, 3 deviation, 4 minimum, 5 maximum), w.
BENCHMARK(mwb)
    ->ArgsProduct({{0, 1, 3, 4, 5}, {10, 10000}})
    ->ArgNames({"code", "w"})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK(emab)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK_MAIN();
