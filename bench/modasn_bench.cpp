// Modified assignment of a global, g+:1.0 and g*:1.0000001 on 100M floats
// that only the global holds, so the kernels update it in place; and the
// same with a second reference held, which must copy.  The argument is the
// thread count (ZELKO_THREADS).  numpy's a+=1.0 on the same data comes from
// bench/modasn_numpy.py.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include "core/core.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "eval/vm.h"

using namespace zk;

namespace {

void setup(benchmark::State &s) {
  if (!kinit_done) kinit();
  setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1);
  V v = an(100000000, tFLT);
  for (U i = 0; i < nx(v); i++) PF(v)[i] = 0.5 * i;
  U g = gi(as(us("g")));
  if (gv[g]) mr(gv[g]);
  gv[g] = v;
}

void run(benchmark::State &s, const char *stmt) {
  setup(s);
  for (auto _ : s) {
    V r = evn(stmt, nullptr, 0);
    if (!r) s.SkipWithError("evaluation failed");
    mr(r);
  }
  mr(evn("g:0", nullptr, 0));
  mc();
}

void add_inplace(benchmark::State &s) { run(s, "g+:1.0"); }
void mul_inplace(benchmark::State &s) { run(s, "g*:1.0000001"); }
void add_shared(benchmark::State &s) {
  setup(s);
  V h = evn("g", nullptr, 0);  // a second reference: every update copies
  for (auto _ : s) mr(evn("g+:1.0", nullptr, 0));
  mr(h);
  mr(evn("g:0", nullptr, 0));
  mc();
}

}  // namespace

BENCHMARK(add_inplace)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(mul_inplace)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(add_shared)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
