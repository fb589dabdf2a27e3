// Benchmarks of the float vector kernels against plain loops, the blocked
// parallel sum at several thread counts, and the cost of an empty pool job.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/pool.h"
#include "num/simdf.h"

using namespace zk;

namespace {

std::vector<double> data(size_t n, uint32_t seed) {
  std::mt19937_64 r(seed);
  std::vector<double> v(n);
  for (auto &x : v) x = (double)(int64_t)(r() >> 11) / 9007199254740992.0 - 0.5;
  return v;
}

void threads(benchmark::State &st, int t) { setenv("ZELKO_THREADS", std::to_string(t).c_str(), 1); }

// 32,768 items: in cache, so the kernels' own speed shows.
constexpr size_t NC = 32768;

void BM_sum_simd(benchmark::State &st) {
  auto x = data(NC, 1);
  for (auto _ : st) benchmark::DoNotOptimize(simd_sum_f64(x.data(), NC));
  st.SetItemsProcessed(st.iterations() * NC);
}
void BM_sum_loop(benchmark::State &st) {
  auto x = data(NC, 1);
  for (auto _ : st) {
    double s = 0;
    for (size_t i = 0; i < NC; i++) s += x[i];
    benchmark::DoNotOptimize(s);
  }
  st.SetItemsProcessed(st.iterations() * NC);
}
void BM_dot_simd(benchmark::State &st) {
  auto x = data(NC, 1), y = data(NC, 2);
  for (auto _ : st) benchmark::DoNotOptimize(simd_dot_f64(x.data(), y.data(), NC));
  st.SetItemsProcessed(st.iterations() * NC);
}
void BM_max_simd(benchmark::State &st) {
  auto x = data(NC, 1);
  int32_t r;
  for (auto _ : st) benchmark::DoNotOptimize(simd_max_f64(x.data(), NC, &r));
  st.SetItemsProcessed(st.iterations() * NC);
}
void BM_max_loop(benchmark::State &st) {
  auto x = data(NC, 1);
  for (auto _ : st) {
    double m = x[0];
    for (size_t i = 1; i < NC; i++) m = x[i] > m ? x[i] : m;
    benchmark::DoNotOptimize(m);
  }
  st.SetItemsProcessed(st.iterations() * NC);
}
void BM_add_simd(benchmark::State &st) {
  auto x = data(NC, 1), y = data(NC, 2), o = data(NC, 3);
  for (auto _ : st) {
    simd_add_f64(x.data(), y.data(), o.data(), NC);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * NC);
}
void BM_cmps_simd(benchmark::State &st) {
  auto x = data(NC, 1);
  std::vector<uint8_t> d(NC);
  int32_t f;
  for (auto _ : st) {
    simd_cmps_f64(x.data(), d.data(), NC, 1, &f, 0.1);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * NC);
}

// 10,000,000 items over the pool.
void BM_pbs_10M(benchmark::State &st) {
  static auto x = data(10000000, 4);
  threads(st, (int)st.range(0));
  for (auto _ : st) benchmark::DoNotOptimize(pbs(x.data(), nullptr, x.size()));
  st.SetItemsProcessed(st.iterations() * x.size());
}
void BM_maxpar_10M(benchmark::State &st) {
  static auto x = data(10000000, 4);
  threads(st, (int)st.range(0));
  int32_t f;
  for (auto _ : st) benchmark::DoNotOptimize(par_mm_f64(x.data(), x.size(), 1, &f));
  st.SetItemsProcessed(st.iterations() * x.size());
}

// Submission, claiming and completion of a job whose tasks do nothing.
void BM_par_run_empty(benchmark::State &st) {
  int n = (int)st.range(0);
  for (auto _ : st) par_run(n, [](void *, int) {}, nullptr);
}

}  // namespace

BENCHMARK(BM_sum_simd);
BENCHMARK(BM_sum_loop);
BENCHMARK(BM_dot_simd);
BENCHMARK(BM_max_simd);
BENCHMARK(BM_max_loop);
BENCHMARK(BM_add_simd);
BENCHMARK(BM_cmps_simd);
BENCHMARK(BM_pbs_10M)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();
BENCHMARK(BM_maxpar_10M)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();
BENCHMARK(BM_par_run_empty)->Arg(2)->Arg(4)->Arg(8)->UseRealTime();
BENCHMARK_MAIN();
