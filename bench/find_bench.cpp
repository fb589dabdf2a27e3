// Find and dictionary encoding: the positions of 1M int64 needles, half
// absent, in 10M distinct int64 (x?y, through the hash path), and senc of
// 10M symbols over 10^4 names.  The peers' figures for the same find come
// from ../shared/peers/compare.sh find_1m_in_10m; pandas factorize of the
// same symbols from bench/find_pandas.py.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

#include "core/core.h"
#include "core/sym.h"
#include "order/order.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

void find_1m_in_10m(benchmark::State &s) {
  boot();
  std::mt19937_64 g(20240611);
  U n = 10000000, m = 1000000;
  V x = an(n, tLONG), y = an(m, tLONG);
  for (U i = 0; i < n; i++) PL(x)[i] = (J)(g() >> 2);
  for (U i = 0; i < m; i++) PL(y)[i] = i % 2 ? PL(x)[g() % n] : (J)(g() >> 2);
  for (auto _ : s) {
    V r = que(x, _r(y));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  mr(x), mr(y);
  mc();
}

void senc_10m(benchmark::State &s) {
  boot();
  std::mt19937_64 g(7);
  U n = 10000000;
  I ids[10000];
  char b[16];
  for (int i = 0; i < 10000; i++) snprintf(b, sizeof b, "sym%05d", i), ids[i] = us(b);
  V x = an(n, tSYM);
  for (U i = 0; i < n; i++) PI(x)[i] = ids[g() % 10000];
  for (auto _ : s) {
    V r = sencT(_r(x));
    benchmark::DoNotOptimize(PA(r)[0]);
    mr(r);
  }
  mr(x);
  mc();
}

}  // namespace

BENCHMARK(find_1m_in_10m)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(senc_10m)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
