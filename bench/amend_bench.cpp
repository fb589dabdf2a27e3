// @[x; i; +; 1] with 10^7 random indexes into 10^6 longs, amended in
// place (x is the sole owner), through the amend verb's entry.  numpy's
// figures for the same work (np.add.at and the buffered x[i] += 1) come
// from bench/amend_numpy.py; run both in one session to compare.
#include <benchmark/benchmark.h>

#include <random>

#include "core/core.h"
#include "eval/tables.h"
#include "list/list.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

void addat(benchmark::State &s) {
  boot();
  const U n = 1000000, m = 10000000;
  V x = an(n, tLONG), i = an(m, tINT);
  for (U k = 0; k < n; k++) PL(x)[k] = k;
  std::mt19937 g(26);
  for (U k = 0; k < m; k++) PI(i)[k] = (I)(g() % n);
  for (auto _ : s) {
    V a[4] = {x, i, mp2(1), ai(1)};
    x = a8q(a, 4);
    benchmark::DoNotOptimize(PL(x)[0]);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * m);
  mr(x), mr(i);
  mc();
}

}  // namespace

BENCHMARK(addat)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
