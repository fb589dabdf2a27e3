// JSON on the peers' records.json (~200 MB, 1.75M flat objects): reading
// as j?1:file does it (the file read included) and writing the table read
// back with j.  The file is $PEERS_DATA/records.json (default
// /tmp/peers-data), made by the peers' compare.sh; without it the
// benchmarks skip.  bench/json_run.sh runs this beside the peers (DuckDB,
// Python json, Polars) and Python's json.dumps of the same records.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/core.h"
#include "core/err.h"
#include "io/io.h"

using namespace zk;

namespace {

std::string path() {
  const char *d = getenv("PEERS_DATA");
  return std::string(d ? d : "/tmp/peers-data") + "/records.json";
}

V rdj() {
  V x = u1c(aCz(path().c_str()));
  return x ? js0(x) : 0;
}

void BM_read(benchmark::State &st) {
  if (!kinit_done) kinit();
  for (auto _ : st) {
    V v = rdj();
    if (!v) return st.SkipWithError("records.json not read (run compare.sh json_parse_200mb)");
    st.PauseTiming();
    mr(v);
    st.ResumeTiming();
  }
}
BENCHMARK(BM_read)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

void BM_write(benchmark::State &st) {
  if (!kinit_done) kinit();
  V v = rdj();
  if (!v) return st.SkipWithError("records.json not read (run compare.sh json_parse_200mb)");
  UJ n = 0;
  for (auto _ : st) {
    V s = js1(_r(v));
    n = s ? nx(s) : 0;
    st.PauseTiming();
    mr(s);
    st.ResumeTiming();
  }
  st.counters["bytes"] = (double)n;
  mr(v);
}
BENCHMARK(BM_write)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
