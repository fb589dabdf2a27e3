// Match (~) of two equal vectors held in two objects: 10^8 bytes and 10^7
// longs, against memcmp of the same bytes.  numpy's array_equal on the
// same data comes from bench/match_numpy.py; run the two in one go.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/core.h"
#include "order/order.h"

using namespace zk;

namespace {

constexpr U NB = 100000000, NL = 10000000;

void boot() {
  if (!kinit_done) kinit();
}

// Two equal vectors of n items of type t.
void pair(U n, int t, V *x, V *y) {
  *x = an(n, t), *y = an(n, t);
  UJ b = dbytes(n, t), g = 1;
  for (UJ i = 0; i < b; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    P(*x)[i] = (G)(g >> 56);
  }
  memcpy(P(*y), P(*x), b);
}

void run(benchmark::State &s, U n, int t, bool verb) {
  boot();
  V x, y;
  pair(n, t, &x, &y);
  UJ b = dbytes(n, t);
  for (auto _ : s) {
    if (verb) {
      V r = mtc(x, _r(y));
      benchmark::DoNotOptimize(r);
    } else {
      int r = memcmp(P(x), P(y), b);
      benchmark::DoNotOptimize(r);
    }
  }
  s.SetBytesProcessed((int64_t)s.iterations() * (int64_t)b);
  mr(x), mr(y);
  mc();
}

void match_bytes(benchmark::State &s) { run(s, NB, tBYTE, true); }
void memcmp_bytes(benchmark::State &s) { run(s, NB, tBYTE, false); }
void match_longs(benchmark::State &s) { run(s, NL, tLONG, true); }
void memcmp_longs(benchmark::State &s) { run(s, NL, tLONG, false); }

}  // namespace

BENCHMARK(match_bytes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(memcmp_bytes)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(match_longs)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(memcmp_longs)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK_MAIN();
