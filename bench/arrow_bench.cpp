// The Arrow bridge: export of a 4-column numeric table at 1,000 and 10M
// rows (zero copy: the two should cost the same), and import of 10M rows
// (one copy per buffer) beside memcpy of the same bytes; for information,
// DuckDB's SUM over an exported 100M float column beside its SUM over a
// table of its own (skipped without libduckdb.so, see scripts/deps.sh).
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "core/sym.h"
#include "../tests/unit/duckdb_api.h"

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
static const U NSUM = 100000000;

static void BM_duckdb_sum_arrow(benchmark::State &s) {
  boot();
  zkd::Duck d;
  if (!d.load()) return s.SkipWithError("libduckdb.so not found");
  V x = an(NSUM, tFLT);
  for (U i = 0; i < NSUM; i++) PF(x)[i] = (F)(i & 1023);
  V nm = an(1, tSYM);
  PI(nm)[0] = 'x';
  V t = aM(nm, aA1(x));
  for (auto _ : s) {
    s.PauseTiming();
    auto *o = new zkd::One{};
    zelko_arrow_export_into(t, &o->s, &o->a);
    zkd::ArrowArrayStream st{zkd::s_schema, zkd::s_next, zkd::s_err, zkd::s_rel, o};
    d.arrow_scan(d.con, "za", &st);
    s.ResumeTiming();
    zkd::DRes r{};
    d.query(d.con, "SELECT sum(x) FROM za", &r);
    benchmark::DoNotOptimize(d.v_f64(&r, 0, 0));
    s.PauseTiming();
    d.destroy_result(&r);
    if (st.release) st.release(&st);
    mr(zelko_eval_str("1"));  // drops releases made on DuckDB's threads
    s.ResumeTiming();
  }
  d.shut();
  zkd::copies_free();
  mr(t);
}
BENCHMARK(BM_duckdb_sum_arrow)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_duckdb_sum_table(benchmark::State &s) {
  zkd::Duck d;
  if (!d.load()) return s.SkipWithError("libduckdb.so not found");
  zkd::DRes r{};
  d.query(d.con, "CREATE TABLE f AS SELECT (i & 1023)::DOUBLE x FROM range(100000000) t(i)", &r);
  d.destroy_result(&r);
  for (auto _ : s) {
    zkd::DRes q{};
    d.query(d.con, "SELECT sum(x) FROM f", &q);
    benchmark::DoNotOptimize(d.v_f64(&q, 0, 0));
    d.destroy_result(&q);
  }
}
BENCHMARK(BM_duckdb_sum_table)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
