// Sum of 100M floats and of 100M longs (+/) by thread count, the running
// sum of 10M floats (+\), and the memory-bandwidth limit on the same bytes:
// a parallel read of every word by as many threads, and a memcpy.  numpy's
// figures come from bench/red_numpy.py.  The argument is ZELKO_THREADS.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/pool.h"
#include "core/simd.h"
#include "eval/tables.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 100000000, NS = 10000000;

void boot() {
  if (!kinit_done) kinit();
}
void threads(benchmark::State &s) {
  setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1);
}

V fillf(U n) {
  V v = an(n, tFLT);
  UJ g = 1;
  for (U i = 0; i < n; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    PF(v)[i] = (F)(g >> 40) / 16777216.0;
  }
  return v;
}
V filll(U n) {
  V v = an(n, tLONG);
  for (U i = 0; i < n; i++) PL(v)[i] = (J)(i * 2654435761u % 1000003);
  return v;
}

void sum(benchmark::State &s, V (*fill)(U)) {
  boot();
  threads(s);
  V x = fill(N);
  for (auto _ : s) {
    V r = arf(mp2(1), 0, x);
    benchmark::DoNotOptimize(PL(r)[0]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * 8);
  mr(x);
  mc();  // unmap the freed region now, as the statement loop would
}
void sum_f64(benchmark::State &s) { sum(s, fillf); }
void sum_i64(benchmark::State &s) { sum(s, filll); }

void scan_f64(benchmark::State &s) {
  boot();
  V x = fillf(NS);
  for (auto _ : s) {
    V r = ars(mp2(1), 0, x);
    benchmark::DoNotOptimize(PF(r)[NS - 1]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * NS * 8);
  mr(x);
  mc();
}

// Every word of the vector read once by the same number of threads, which
// claim 65,536-word blocks in turn as the sums do.
struct Rd {
  const UJ *p;
  UJ n;
  std::atomic<UJ> next;
  UJ out[64];
};
void rd_task(void *c, int i) {
  Rd *r = (Rd *)c;
  u64x2 a0 = {}, a1 = {}, a2 = {}, a3 = {};
  for (UJ b; (b = r->next.fetch_add(1, std::memory_order_relaxed)) < (r->n + 65535) / 65536;) {
    const UJ *p = r->p + b * 65536;
    UJ m = r->n - b * 65536 < 65536 ? r->n - b * 65536 : 65536;  // N is a multiple of 8
    for (UJ k = 0; k < m; k += 8) {
      a0 |= vld<u64x2>(p + k);
      a1 |= vld<u64x2>(p + k + 2);
      a2 |= vld<u64x2>(p + k + 4);
      a3 |= vld<u64x2>(p + k + 6);
    }
  }
  u64x2 a = (a0 | a1) | (a2 | a3);
  r->out[i] = a[0] | a[1];
}
void read(benchmark::State &s) {
  boot();
  V x = filll(N);
  int t = (int)s.range(0);
  for (auto _ : s) {
    Rd r{P<UJ>(x), N, {0}, {}};
    par_run(t, rd_task, &r);
    benchmark::DoNotOptimize(r.out[0]);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * 8);
  mr(x);
  mc();  // unmap the freed region now, as the statement loop would
}

void copy(benchmark::State &s) {
  boot();
  V x = filll(N), y = an(N, tLONG);
  memset(P(y), 0, (size_t)N * 8);  // fault the pages in before timing
  for (auto _ : s) {
    memcpy(P(y), P(x), (size_t)N * 8);
    benchmark::DoNotOptimize(P(y));
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * 8);
  mr(x), mr(y);
  mc();
}

}  // namespace

BENCHMARK(sum_f64)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(sum_i64)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(read)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(copy)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(scan_f64)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
