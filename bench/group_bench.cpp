// Distinct and group: ?d of 10M int64 holding 1M distinct values drawn as
// the peers' generator draws them (below 2^62), the same count of values
// spread over the whole int64 range, and =s of 10M symbols over 1,000
// names.  The peers' figures for the first come from
// ../shared/peers/compare.sh distinct_i64_10m; pandas unique of the spread
// values and groupby(sort=False).indices of the symbols from
// bench/group_pandas.py.  Thread count: ZELKO_THREADS, else the machine's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "core/core.h"
#include "core/sym.h"
#include "order/order.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

// 1M distinct values (each once, then 9M more drawn from them), shuffled.
V dvals(bool spread) {
  std::mt19937_64 g(20240611);
  U n = 10000000, d = 1000000;
  std::vector<J> v(d);
  for (U i = 0; i < d; i++) v[i] = spread ? (J)g() : (J)(g() >> 2);
  V x = an(n, tLONG);
  for (U i = 0; i < n; i++) PL(x)[i] = i < d ? v[i] : v[g() % d];
  for (U i = n - 1; i > 0; i--) std::swap(PL(x)[i], PL(x)[g() % (i + 1)]);
  return x;
}

void run_unq(benchmark::State &s, bool spread) {
  boot();
  V x = dvals(spread);
  for (auto _ : s) {
    V r = unq(_r(x));
    if (nx(r) != 1000000) s.SkipWithError("wrong count");
    mr(r);
  }
  mr(x);
  mc();
}
void distinct_i64_10m(benchmark::State &s) { run_unq(s, false); }
void distinct_i64_10m_spread(benchmark::State &s) { run_unq(s, true); }

void group_sym_10m(benchmark::State &s) {
  boot();
  std::mt19937_64 g(7);
  U n = 10000000;
  I ids[1000];
  char b[16];
  for (int i = 0; i < 1000; i++) snprintf(b, sizeof b, "g%04d", i), ids[i] = us(b);
  V x = an(n, tSYM);
  for (U i = 0; i < n; i++) PI(x)[i] = ids[g() % 1000];
  for (auto _ : s) {
    V r = grp(_r(x));
    benchmark::DoNotOptimize(PA(r)[0]);
    mr(r);
  }
  mr(x);
  mc();
}

}  // namespace

BENCHMARK(distinct_i64_10m)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(distinct_i64_10m_spread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(group_sym_10m)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
