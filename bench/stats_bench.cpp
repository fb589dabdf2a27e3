// Statistics builtins over 10M items and the matrix inverse: wsm of
// floats (threads from ZELKO_THREADS), cvm of float pairs, dlt of ints,
// minv at n = 100 and 300.  numpy's figures for the same work come from
// bench/stats_peers.py, run in the same session for a ratio.
#include <benchmark/benchmark.h>

#include "core/core.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

V fdata(UJ seed, U n) {
  if (!kinit_done) kinit();
  V v = an(n, tFLT);
  UJ g = seed;
  for (U i = 0; i < n; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    PF(v)[i] = (F)(g >> 40) / 16777216.0 * 100.0;
  }
  return v;
}

void wsmb(benchmark::State &s) {
  V x = fdata(1, N), y = fdata(2, N);
  for (auto _ : s) {
    V r = wsmC(aA2(_r(x), _r(y)));
    benchmark::DoNotOptimize(PF(r)[0]);
    mr(r);
  }
  mr(x), mr(y);
}

void cvmb(benchmark::State &s) {
  V x = fdata(1, N), y = fdata(2, N);
  for (auto _ : s) {
    V r = cvmC(aA2(_r(x), _r(y)));
    benchmark::DoNotOptimize(PF(r)[0]);
    mr(r);
  }
  mr(x), mr(y);
}

void dltb(benchmark::State &s) {
  V f = fdata(3, N), x = an(N, tINT);
  for (U i = 0; i < N; i++) PI(x)[i] = (I)(PF(f)[i] * 1000);
  mr(f);
  for (auto _ : s) {
    V r = dltC(_r(x));
    benchmark::DoNotOptimize(PI(r)[N - 1]);
    mr(r);
  }
  mr(x);
}

void minvb(benchmark::State &s) {
  U n = (U)s.range(0);
  V m = an(n, tLIST);
  for (U i = 0; i < n; i++) {
    V r = fdata(i + 7, n);
    PF(r)[i] += 100.0 * n;
    PA(m)[i] = r;
  }
  for (auto _ : s) {
    V r = minvT(_r(m));
    benchmark::DoNotOptimize(PA(r)[0]);
    mr(r);
  }
  mr(m);
}

}  // namespace

BENCHMARK(wsmb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(cvmb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dltb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(minvb)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
