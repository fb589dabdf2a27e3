// Binary search and membership.  bin: 10^7 probes into a sorted vector of
// 10^6 longs (x'y), against numpy's searchsorted(side='right') on the same
// shapes in bench/bin_numpy.py.  memb: 1M int64 needles in 10M distinct
// int64, the data of ../shared/peers/compare.sh find_1m_in_10m (read from
// $PEERS_DATA, default /tmp/peers-data, when it is there; else drawn the
// same way), against numpy isin (bench/bin_numpy.py) and DuckDB through
// that harness (compare.sh member_1m_in_10m).  Run memb with ZELKO_THREADS
// set to 1 and to 8.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "core/core.h"
#include "order/order.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

void bin_1e7_in_1e6(benchmark::State &s) {
  boot();
  std::mt19937_64 g(42);
  U n = 1000000, m = 10000000;
  V x = an(n, tLONG), y = an(m, tLONG);
  for (U i = 0; i < n; i++) PL(x)[i] = (J)(g() >> 4);
  std::sort(PL(x), PL(x) + n);
  for (U i = 0; i < m; i++) PL(y)[i] = (J)(g() >> 4);
  for (auto _ : s) {
    V r = bin(x, _r(y));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  mr(x), mr(y);
  mc();
}

// A file of int64 from the peers' data, or 0.
V slurp(const char *name) {
  const char *d = getenv("PEERS_DATA");
  std::string p = std::string(d ? d : "/tmp/peers-data") + "/" + name;
  FILE *f = fopen(p.c_str(), "rb");
  if (!f) return 0;
  fseek(f, 0, SEEK_END);
  U n = (U)(ftell(f) / 8);
  fseek(f, 0, SEEK_SET);
  V x = an(n, tLONG);
  size_t got = fread(PL(x), 8, n, f);
  fclose(f);
  if (got != n) return mr(x), (V)0;
  return x;
}

void memb_1m_in_10m(benchmark::State &s) {
  boot();
  V t = slurp("find_table_i64_10m.bin"), nd = slurp("find_needles_i64_1m.bin");
  if (!t || !nd) {
    // The peers' shape: 10M distinct values over [0, 2^62), needles half
    // taken from them, half drawn afresh.
    std::mt19937_64 g(20240611);
    U n = 10000000, m = 1000000;
    if (t) mr(t);
    if (nd) mr(nd);
    t = an(n, tLONG), nd = an(m, tLONG);
    for (U i = 0; i < n; i++) PL(t)[i] = (J)(g() >> 2);
    for (U i = 0; i < m; i++) PL(nd)[i] = i % 2 ? PL(t)[g() % n] : (J)(g() >> 2);
  }
  J hits = 0;
  for (auto _ : s) {
    V r = membC(aA2(_r(nd), _r(t)));
    hits = 0;
    for (U i = 0; i < nx(r); i++) hits += P(r)[i];
    mr(r);
  }
  s.counters["hits"] = (double)hits;
  mr(t), mr(nd);
  mc();
}

}  // namespace

BENCHMARK(bin_1e7_in_1e6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(memb_1m_in_10m)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
