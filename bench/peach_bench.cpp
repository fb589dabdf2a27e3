// Parallel each against each in the same run: a CPU-bound lambda over 64,
// 1,000 and 10,000 items with 1, 2, 4 and 8 threads (pe's thread count
// from the engine's environment list; the morsel pool is rebuilt with that
// many threads before each case, outside the timing), and the overhead of
// pe on a two-item list of a trivial lambda.  Speedup = Each / Pe time of
// the same item count.
#include <benchmark/benchmark.h>

#include <string>

#include "capi/capi.h"
#include "core/core.h"
#include "core/diag.h"
#include "eval/each.h"
#include "eval/eval.h"

using namespace zk;

namespace {

// About 10 microseconds of VM work per item.
constexpr const char *WORK = "{300 {1+(x*3)%7}/x}";

V ev(const char *s) {
  if (!kinit_done) kinit();
  zkdiag = 0;
  return evn(s, nullptr, 0);
}

V data(U n) {
  V x = an(n, tLONG);
  for (U i = 0; i < n; i++) PL(x)[i] = i % 97;
  return x;
}

std::string tenv;
const char *tlist[2];
void threads(I t) {
  tenv = "ZELKO_THREADS=" + std::to_string(t);
  tlist[0] = tenv.c_str(), tlist[1] = nullptr;
  zk_env = tlist;
  pool_shutdown();
}

void run(benchmark::State &s, V f, U n, bool par) {
  V x = data(n);
  for (auto _ : s) {
    V r = par ? peachC(aA2(_r(f), _r(x))) : e1(f, _r(x));
    if (!r) s.SkipWithError("failed");
    benchmark::DoNotOptimize(r);
    if (r) mr(r);
  }
  s.SetItemsProcessed(s.iterations() * n);
  mr(x);
}

void Each(benchmark::State &s) {
  threads(1);
  V f = ev(WORK);
  run(s, f, (U)s.range(0), false);
  mr(f);
}

void Pe(benchmark::State &s) {
  threads((I)s.range(1));
  V f = ev(WORK);
  V w = ev("`pe ({x};1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16)");  // the pool is built here
  if (w) mr(w);
  run(s, f, (U)s.range(0), true);
  mr(f);
}

// Two items of a trivial lambda: the cost of publishing a job and waiting
// for the workers, against each.
void TwoEach(benchmark::State &s) {
  V f = ev("{x}");
  run(s, f, 2, false);
  mr(f);
}
void TwoPe(benchmark::State &s) {
  threads((I)s.range(0));
  V f = ev("{x}");
  V w = ev("`pe ({x};1 2 3 4)");
  if (w) mr(w);
  run(s, f, 2, true);
  mr(f);
}

}  // namespace

BENCHMARK(Each)->Arg(64)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Pe)->ArgsProduct({{64, 1000, 10000}, {1, 2, 4, 8}})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(TwoEach)->Unit(benchmark::kMicrosecond);
BENCHMARK(TwoPe)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK_MAIN();
