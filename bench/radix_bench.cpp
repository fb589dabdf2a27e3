// Grade and sort of 10M items through the engine entries (rdxg, rdxsrt,
// cntgrd), by thread count: int64 over the full range (the radix bucket
// strategy), floats, int32, and int64 over a narrow band (counting).  The
// data is splitmix64 of 0..n-1, which bench/radix_numpy.py rebuilds for
// numpy's stable argsort and sort.  The argument is ZELKO_THREADS.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/core.h"
#include "order/radix.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

UJ mix(UJ i) {
  UJ z = (i + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// kind 0: int64 full range; 1: floats in [0, 1); 2: int32; 3: int64 in 0..99,999.
V fill(int kind) {
  V x = an(N, kind == 1 ? tFLT : kind == 2 ? tINT : tLONG);
  for (U i = 0; i < N; i++) {
    UJ z = mix(i);
    switch (kind) {
      case 0: PL(x)[i] = (J)z; break;
      case 1: PF(x)[i] = (F)(z >> 11) / 9007199254740992.0; break;
      case 2: PI(x)[i] = (I)(U)z; break;
      default: PL(x)[i] = (J)(z % 100000);
    }
  }
  return x;
}

void run(benchmark::State &s, int kind, V (*fn)(V)) {
  if (!kinit_done) kinit();
  setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1);
  V x = fill(kind);
  for (auto _ : s) {
    V r = fn(x);
    if (!r) {
      s.SkipWithError("declined");
      break;
    }
    benchmark::DoNotOptimize(P(r));
    mr(r);
    mc();  // unmap freed regions now, as the statement loop would
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x);
  mc();
}

void grade_i64(benchmark::State &s) { run(s, 0, rdxg); }
void sort_i64(benchmark::State &s) { run(s, 0, rdxsrt); }
void grade_f64(benchmark::State &s) { run(s, 1, rdxg); }
void sort_f64(benchmark::State &s) { run(s, 1, rdxsrt); }
void grade_i32(benchmark::State &s) { run(s, 2, rdxg); }
void cntgrade_i64_narrow(benchmark::State &s) { run(s, 3, cntgrd); }
void cntsort_i64_narrow(benchmark::State &s) { run(s, 3, cntsrt); }

}  // namespace

#define ZK_RB(f) BENCHMARK(f)->Arg(1)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)
ZK_RB(grade_i64);
ZK_RB(sort_i64);
ZK_RB(grade_f64);
ZK_RB(sort_f64);
ZK_RB(grade_i32);
BENCHMARK(cntgrade_i64_narrow)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(cntsort_i64_narrow)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
