// Indexed assignment into a global at depth: 10^6 stores g[`a;i]:i into
// a global dict of int64 vectors, planned and carried out in place (the
// inner vector keeps its address: a copy per store would take hours),
// against CPython's d['a'][i] = i loop of bench/gamend_py.py; run both in
// one session to compare.
#include <benchmark/benchmark.h>

#include "core/core.h"
#include "core/sym.h"
#include "eval/eval.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

void deep(benchmark::State &s) {
  boot();
  V r = evn("gbd:`a`b!(1000000#0;1000000#0)", nullptr, 0);
  if (r) mr(r);
  U g = gi(as(us("gbd")));
  V inner = PA(PA(gv[g])[1])[0];
  for (auto _ : s) {
    r = evn("{i:0;do[1000000;gbd[`a;i]:i;i+:1]}[0]", nullptr, 0);
    if (!r) s.SkipWithError("loop failed");
    else mr(r);
  }
  V now = PA(PA(gv[g])[1])[0];
  if (now != inner || PL(now)[999999] != 999999) s.SkipWithError("the inner vector moved or is wrong");
  s.SetItemsProcessed((int64_t)s.iterations() * 1000000);
  mr(evn("gbd:0", nullptr, 0));
}

}  // namespace

BENCHMARK(deep)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
