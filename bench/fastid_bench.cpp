// The idiom operators' fast paths on 10M items: the number of descents
// +/(1_x)<(-1_x) (shiftC mode 308), the differences (1_x)-(-1_x) (mode
// 202), value counts of bytes (fcntC) and x+s*v on floats (fmaC, into a
// new vector and into an unshared argument).  numpy's figures for the same
// work come from bench/fastid_numpy.py, run beside this one.
#include <benchmark/benchmark.h>

#include <random>

#include "core/core.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

// A random walk of longs, as the shift pairs meet in a price column.
V walk() {
  V x = an(N, tLONG);
  std::mt19937_64 g(1);
  J s = 0;
  for (U i = 0; i < N; i++) PL(x)[i] = s += (J)(g() % 255) - 127;
  return x;
}

void descents(benchmark::State &st) {
  if (!kinit_done) kinit();
  V x = walk();
  for (auto _ : st) benchmark::DoNotOptimize(shiftC(308, x));
  mr(x);
}
BENCHMARK(descents)->Unit(benchmark::kMillisecond);

void diffs(benchmark::State &st) {
  if (!kinit_done) kinit();
  V x = walk();
  for (auto _ : st) {
    V r = shiftC(202, x);
    benchmark::DoNotOptimize(r);
    mr(r);
  }
  mr(x);
}
BENCHMARK(diffs)->Unit(benchmark::kMillisecond);

void bytecounts(benchmark::State &st) {
  if (!kinit_done) kinit();
  V x = an(N, tBYTE);
  std::mt19937_64 g(2);
  for (U i = 0; i < N; i++) P(x)[i] = (G)(g() % 200);
  for (auto _ : st) {
    V r = fcntC(x);
    benchmark::DoNotOptimize(r);
    mr(r);
  }
  mr(x);
}
BENCHMARK(bytecounts)->Unit(benchmark::kMillisecond);

// x+s*v with both vectors shared (a new result) or v unshared (in place).
void muladd(benchmark::State &st) {
  if (!kinit_done) kinit();
  V r = an(N, tFLT), v = an(N, tFLT), s = af(1.5);
  for (U i = 0; i < N; i++) PF(r)[i] = i * 0.5, PF(v)[i] = i * 0.25;
  bool inplace = st.range(0);
  for (auto _ : st) {
    _r(r);
    if (!inplace) _r(v);
    V a[4] = {ai(0), r, s, v};
    V z = fmaC(a, 4);
    benchmark::DoNotOptimize(z);
    mr(r), mr(z);
    if (!inplace) mr(v);
  }
  mr(r), mr(v), mr(s);
}
BENCHMARK(muladd)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
