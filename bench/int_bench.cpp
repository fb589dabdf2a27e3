// Integer addition of 10M items (64-bit and 32-bit) against a memcpy of the
// same bytes; numpy's figures come from bench/int_numpy.py.  "inplace":
// y is unshared and receives the sums (the common case for temporaries);
// "new": y is shared, so the sums go into a new vector.
#include <benchmark/benchmark.h>
#include <cstring>
#include "core/core.h"
#include "num/int.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

void boot() {
  if (!kinit_done) kinit();
}

// x holds 0..3 and y small values, so repeated in-place sums stay far from
// the width's limits and never widen.
V fill(int t, U n, unsigned seed) {
  V v = an(n, t);
  for (U i = 0; i < n; i++) {
    seed = seed * 1103515245u + 12345u;
    J e = (seed >> 16) & 3;
    if (t == tINT) PI(v)[i] = (I)e;
    else PL(v)[i] = e;
  }
  return v;
}

void add_inplace(benchmark::State &s, int t) {
  boot();
  V x = fill(t, N, 1), y = fill(t, N, 2);
  for (auto _ : s) {
    y = addZZ(x, y);
    benchmark::DoNotOptimize(P(y));
  }
  if (tp(y) != t) s.SkipWithError("widened");
  s.SetBytesProcessed((int64_t)s.iterations() * N * (Tw[t] == 6 ? 8 : 4));
  mr(x), mr(y);
}

void add_new(benchmark::State &s, int t) {
  boot();
  V x = fill(t, N, 1), y = fill(t, N, 2);
  for (auto _ : s) {
    V r = addZZ(x, _r(y));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * (Tw[t] == 6 ? 8 : 4));
  mr(x), mr(y);
}

void copy(benchmark::State &s, int t) {
  boot();
  V x = fill(t, N, 1), y = fill(t, N, 2);
  size_t b = (size_t)N * (Tw[t] == 6 ? 8 : 4);
  for (auto _ : s) {
    memcpy(P(y), P(x), b);
    benchmark::DoNotOptimize(P(y));
  }
  s.SetBytesProcessed((int64_t)s.iterations() * b);
  mr(x), mr(y);
}

void BM_add_i64_inplace(benchmark::State &s) { add_inplace(s, tLONG); }
void BM_add_i32_inplace(benchmark::State &s) { add_inplace(s, tINT); }
void BM_add_i64_new(benchmark::State &s) { add_new(s, tLONG); }
void BM_add_i32_new(benchmark::State &s) { add_new(s, tINT); }
void BM_memcpy_i64(benchmark::State &s) { copy(s, tLONG); }
void BM_memcpy_i32(benchmark::State &s) { copy(s, tINT); }

// The widening retry: every int sum overflows at its last item, so the
// whole vector is computed at 32 bits, restored, cast and computed at 64.
void BM_add_i32_widen(benchmark::State &s) {
  boot();
  V x = fill(tINT, N, 1), y = fill(tINT, N, 2);
  PI(x)[N - 1] = INT32_MAX;
  PI(y)[N - 1] = 1;
  for (auto _ : s) {
    V r = addZZ(x, _r(y));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  mr(x), mr(y);
}

// Comparison into bytes, parallel at this size.
void BM_lt_i64(benchmark::State &s) {
  boot();
  V x = fill(tLONG, N, 1), y = fill(tLONG, N, 2);
  for (auto _ : s) {
    V r = cmpZZ(x, _r(y), 8);
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  mr(x), mr(y);
}

}  // namespace

BENCHMARK(BM_add_i64_inplace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_add_i64_new)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_i64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_add_i32_inplace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_add_i32_new)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_i32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_add_i32_widen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_lt_i64)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
