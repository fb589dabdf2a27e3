// Random draws and numeric builtins: rolls of 10^7 items (below 10, 10^6
// and 10^12), deals of 10^7 (a permutation, and 10^7 of 10^9 through the
// sparse table) and of 10^6 of 10^7 (dense), the primes below 10^9, and
// wmul of 10^7 floats by floats and by ints.  numpy's figures (Generator
// integers, permutation, choice without replacement; an odd-only sieve;
// multiply with isnan().any()) come from bench/rand_numpy.py.
#include <benchmark/benchmark.h>

#include "core/core.h"
#include "num/num.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

void draw(benchmark::State &s, J c, J n) {
  boot();
  for (auto _ : s) {
    V r = rd(c, n);
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * (c == NJ ? n : c < 0 ? -c : c));
  mc();
}
void roll10(benchmark::State &s) { draw(s, 10000000, 10); }
void roll1e6(benchmark::State &s) { draw(s, 10000000, 1000000); }
void roll1e12(benchmark::State &s) { draw(s, 10000000, 1000000000000LL); }
void perm1e7(benchmark::State &s) { draw(s, NJ, 10000000); }
void deal1e6of1e7(benchmark::State &s) { draw(s, -1000000, 10000000); }
void deal1e7of1e9(benchmark::State &s) { draw(s, -10000000, 1000000000); }

void pri1e9(benchmark::State &s) {
  boot();
  for (auto _ : s) {
    V r = qpri(al(1000000000));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  mc();
}

// wmul of 10^7 floats by floats (int ints) with the pool's threads: s.range(0).
void wmul(benchmark::State &s, int t) {
  boot();
  const U n = 10000000;
  V x = an(n, tFLT), y = an(n, t);
  for (U i = 0; i < n; i++) {
    PF(x)[i] = i * 0.5;
    if (t == tFLT) PF(y)[i] = (F)(i % 1000);
    else PI(y)[i] = (I)(i % 1000);
  }
  char th[8];
  snprintf(th, sizeof th, "%d", (int)s.range(0));
  setenv("ZELKO_THREADS", th, 1);
  for (auto _ : s) {
    V r = wmulT(aA2(_r(x), _r(y)));
    benchmark::DoNotOptimize(PF(PA(r)[0])[0]);
    mr(r);
  }
  unsetenv("ZELKO_THREADS");
  s.SetItemsProcessed((int64_t)s.iterations() * n);
  mr(x), mr(y);
  mc();
}
void wmul_ff(benchmark::State &s) { wmul(s, tFLT); }
void wmul_fi(benchmark::State &s) { wmul(s, tINT); }

}  // namespace

BENCHMARK(roll10)->Unit(benchmark::kMillisecond);
BENCHMARK(roll1e6)->Unit(benchmark::kMillisecond);
BENCHMARK(roll1e12)->Unit(benchmark::kMillisecond);
BENCHMARK(perm1e7)->Unit(benchmark::kMillisecond);
BENCHMARK(deal1e6of1e7)->Unit(benchmark::kMillisecond);
BENCHMARK(deal1e7of1e9)->Unit(benchmark::kMillisecond);
BENCHMARK(pri1e9)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(wmul_ff)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(wmul_fi)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
