// Where of a 10^8-byte mask (half ones, and 1% ones, at random) on one
// thread and on eight, and reverse of 10^8 bytes and of 10^7 longs, each
// against a memcpy of the bytes it writes.  numpy's figures (flatnonzero,
// [::-1].copy()) come from bench/where_numpy.py on the same masks.
#include <benchmark/benchmark.h>

#include <cstdlib>
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

// pct percent ones at random positions (a fixed seed)
V mask(U n, int pct) {
  V v = an(n, tBYTE);
  std::mt19937_64 g(1);
  for (U i = 0; i < n; i++) P(v)[i] = (G)(g() % 100 < (UJ)pct);
  return v;
}

void where(benchmark::State &s, int pct, const char *threads) {
  boot();
  setenv("ZELKO_THREADS", threads, 1);
  V x = mask(N, pct);
  for (auto _ : s) {
    V r = whr(_r(x));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N);
  mr(x);
  mc();
  unsetenv("ZELKO_THREADS");
}
void where_half_t1(benchmark::State &s) { where(s, 50, "1"); }
void where_half_t8(benchmark::State &s) { where(s, 50, "8"); }
void where_1pct_t1(benchmark::State &s) { where(s, 1, "1"); }
void where_1pct_t8(benchmark::State &s) { where(s, 1, "8"); }

// Reverse of a shared vector of n items of type t: a new vector each time.
void reverse(benchmark::State &s, int t, U n) {
  boot();
  V x = an(n, t);
  UJ b = dbytes(n, t);
  for (UJ i = 0; i < b; i++) P(x)[i] = (G)(i * 131 + 7);
  for (auto _ : s) {
    V r = rev(_r(x));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)(s.iterations() * b));
  mr(x);
  mc();
}
void reverse_u8(benchmark::State &s) { reverse(s, tBYTE, N); }
void reverse_i64(benchmark::State &s) { reverse(s, tLONG, N / 10); }

// The floor: the same bytes copied into one fresh block.
void copy(benchmark::State &s) {
  boot();
  V x = an(N, tBYTE);
  memset(P(x), 7, N);
  for (auto _ : s) {
    V r = an(N, tBYTE);
    memcpy(P(r), P(x), N);
    benchmark::DoNotOptimize(P(r)[N - 1]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N);
  mr(x);
  mc();
}

}  // namespace

BENCHMARK(where_half_t1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(where_half_t8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(where_1pct_t1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(where_1pct_t8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(reverse_u8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(reverse_i64)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(copy)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
