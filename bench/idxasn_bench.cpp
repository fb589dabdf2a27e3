// Indexed assignment through the VM: a loop of 10^6 x[i]:i on a local
// vector (changed in place: a copy per store would take hours), and
// x[i]:y with 10^7 random int64 indexes into 10^7 int64 held only by a
// global, against CPython's list loop and numpy's x[i] = y from
// bench/idxasn_numpy.py; run both in one session to compare.
#include <benchmark/benchmark.h>

#include <random>

#include "core/core.h"
#include "core/sym.h"
#include "eval/eval.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

V gset(const char *name, V v) {
  U g = gi(as(us(name)));
  if (gv[g]) mr(gv[g]);
  return gv[g] = v;
}

void loop(benchmark::State &s) {
  boot();
  const char *src = "{x:1000000#0;i:0;do[1000000;x[i]:i;i+:1];x}[0]";
  for (auto _ : s) {
    V r = evn(src, nullptr, 0);
    if (!r || PL(r)[999999] != 999999) s.SkipWithError("loop failed");
    if (r) mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * 1000000);
}

void scatter(benchmark::State &s) {
  boot();
  const U n = 10000000;
  V x = an(n, tLONG), i = an(n, tLONG), y = an(n, tLONG);
  std::mt19937_64 g(29);
  for (U k = 0; k < n; k++) PL(x)[k] = k, PL(i)[k] = (J)(g() % n), PL(y)[k] = (J)k * 3;
  gset("bx", x), gset("bi", i), gset("by", y);
  for (auto _ : s) {
    V r = evn("bx[bi]:by", nullptr, 0);
    if (!r) s.SkipWithError("scatter failed");
    else mr(r);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * n);
  mr(evn("bx:bi:by:0", nullptr, 0));
  mc();
}

}  // namespace

BENCHMARK(loop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(scatter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
