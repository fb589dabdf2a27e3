// The Arrow bridge: export of a 4-column numeric table at 1,000 and 10M
// rows (zero copy: the two should cost the same), and import of 10M rows
// (one copy per buffer) beside memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "core/sym.h"

using namespace zk;

static void boot() {
  if (!kinit_done) kinit();
  if (!capi_booted) zelko_init(nullptr);
}

// Columns: long, float, int, long; n rows.
static V tab(U n) {
  V c = an(4, tLIST);
  int ty[] = {tLONG, tFLT, tINT, tLONG};
  for (int k = 0; k < 4; k++) {
    V x = an(n, ty[k]);
    memset(P(x), k + 1, dbytes(n, ty[k]));
    PA(c)[k] = x;
  }
  V nm = an(4, tSYM);
  for (int k = 0; k < 4; k++) PI(nm)[k] = 'a' + k;
  return aM(nm, c);
}

static void BM_export(benchmark::State &s) {
  boot();
  V t = tab((U)s.range(0));
  for (auto _ : s) {
    ArrowSchema *sc;
    ArrowArray *a;
    zelko_arrow_export(t, &sc, &a);
    a->release(a);
    sc->release(sc);
    free(sc), free(a);
  }
  mr(t);
}
BENCHMARK(BM_export)->Arg(1000)->Arg(10000000);

// Export outside the timing, import (the copy) inside it.
static void BM_import(benchmark::State &s) {
  boot();
  U n = (U)s.range(0);
  V t = tab(n);
  for (auto _ : s) {
    s.PauseTiming();
    ArrowSchema *sc;
    ArrowArray *a;
    zelko_arrow_export(t, &sc, &a);
    s.ResumeTiming();
    V r = zelko_arrow_import(sc, a);
    benchmark::DoNotOptimize(r);
    s.PauseTiming();
    mr(r);
    free(sc), free(a);
    s.ResumeTiming();
  }
  s.SetBytesProcessed((int64_t)s.iterations() * n * 28);
  mr(t);
}
BENCHMARK(BM_import)->Arg(10000000)->Unit(benchmark::kMillisecond);

// The same bytes into fresh engine vectors by memcpy: the bound of a copy.
static void BM_memcpy(benchmark::State &s) {
  boot();
  U n = (U)s.range(0);
  V t = tab(n);
  int ty[] = {tLONG, tFLT, tINT, tLONG};
  for (auto _ : s) {
    V out[4];
    for (int k = 0; k < 4; k++) {
      out[k] = an(n, ty[k]);
      memcpy(P(out[k]), P(PA(PA(t)[1])[k]), dbytes(n, ty[k]));
    }
    benchmark::DoNotOptimize(out);
    s.PauseTiming();
    for (V x : out) mr(x);
    s.ResumeTiming();
  }
  s.SetBytesProcessed((int64_t)s.iterations() * n * 28);
  mr(t);
}
BENCHMARK(BM_memcpy)->Arg(10000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
