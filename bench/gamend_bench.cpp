// Indexed assignment into a global at depth: 10^6 stores g[`a;i]:i into
// a global dict of int64 vectors, planned and carried out in place (the
// inner vector keeps its address: a copy per store would take hours),
// against CPython's d['a'][i] = i loop of bench/gamend_py.py; run both in
// one session to compare.
#include <benchmark/benchmark.h>

#include <cstring>

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
  const U n = 1000000;
  V a = an(n, tLONG), b = an(n, tLONG), vs = an(2, tLIST);
  memset(P(a), 0, 8ull * n), memset(P(b), 0, 8ull * n);
  PA(vs)[0] = a, PA(vs)[1] = b;
  U g = gi(as(us("gbd")));
  if (gv[g]) mr(gv[g]);
  gv[g] = am(evn("`a`b", nullptr, 0), vs);
  V inner = a, r;
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
