// Gather of 10M random indexes (some outside) from 10M longs and 10M
// floats by thread count, and the join of two 10M-long vectors against a
// memcpy of the same bytes.  numpy's figures (take, concatenate) come from
// bench/list_numpy.py.  The argument is ZELKO_THREADS.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "list/list.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

void boot() {
  if (!kinit_done) kinit();
}
void threads(benchmark::State &s) { setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1); }

V fill(int t) {
  V v = an(N, t);
  UJ g = 1;
  for (U i = 0; i < N; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    if (t == tFLT) PF(v)[i] = (F)(g >> 40) / 16777216.0;
    else PL(v)[i] = (J)(g >> 20);
  }
  return v;
}

// Indexes 0 .. N+N/100: about one in a hundred lies outside.
V idx() {
  V v = an(N, tLONG);
  UJ g = 7;
  for (U i = 0; i < N; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    PL(v)[i] = (J)((g >> 33) % (N + N / 100));
  }
  return v;
}

void gather(benchmark::State &s, int t) {
  boot();
  threads(s);
  V x = fill(t), y = idx();
  for (auto _ : s) {
    V r = i1(x, _r(y));
    benchmark::DoNotOptimize(PL(r)[N - 1]);
    mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(y);
  mc();
}
void gather_i64(benchmark::State &s) { gather(s, tLONG); }
void gather_f64(benchmark::State &s) { gather(s, tFLT); }

void join(benchmark::State &s) {
  boot();
  V x = fill(tLONG), y = fill(tLONG);
  for (auto _ : s) {
    V r = cat(x, _r(y));
    benchmark::DoNotOptimize(PL(r)[2 * N - 1]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * 2 * N * 8);
  mr(x), mr(y);
  mc();
}

// The floor for join: the same 160 MB copied into one fresh block.
void copy(benchmark::State &s) {
  boot();
  V x = fill(tLONG), y = fill(tLONG);
  for (auto _ : s) {
    V r = an(2 * N, tLONG);
    memcpy(P(r), P(x), (UJ)N * 8);
    memcpy(P(r) + (UJ)N * 8, P(y), (UJ)N * 8);
    benchmark::DoNotOptimize(PL(r)[2 * N - 1]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * 2 * N * 8);
  mr(x), mr(y);
  mc();
}

}  // namespace

BENCHMARK(gather_i64)->Arg(1)->Arg(2)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(gather_f64)->Arg(1)->Arg(2)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(join)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(copy)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
