// Overtake (10^8 bytes from 10^3) and the copying drop -1_ of 10^8 bytes
// and of 10^7 longs (shared, so a copy is due), each against a memcpy of
// the bytes it writes.  numpy's figures (np.resize, slice copy) come from
// bench/take_numpy.py.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/core.h"
#include "list/list.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
}

V bytes(U n) {
  V v = an(n, tBYTE);
  for (U i = 0; i < n; i++) P(v)[i] = (G)(i * 131 + 7);
  return v;
}

void overtake(benchmark::State &s) {
  boot();
  V x = bytes(1000);
  for (auto _ : s) {
    V r = rsz(100000000, _r(x));
    benchmark::DoNotOptimize(P(r)[99999999]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * 100000000);
  mr(x);
  mc();
}

// A drop of the last item of a shared vector of n items of type t.
void drop(benchmark::State &s, int t, U n) {
  boot();
  V x = t == tBYTE ? bytes(n) : an(n, t);
  if (t != tBYTE) memset(P(x), 1, (UJ)n * 8);
  UJ b = (UJ)(n - 1) << Tw[t] >> 3;
  for (auto _ : s) {
    V r = drp(-1, _r(x));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)(s.iterations() * b));
  mr(x);
  mc();
}
void drop_u8(benchmark::State &s) { drop(s, tBYTE, 100000000); }
void drop_i64(benchmark::State &s) { drop(s, tLONG, 10000000); }

// The floor: the same bytes copied into one fresh block.
void copy(benchmark::State &s) {
  boot();
  V x = bytes(100000000);
  for (auto _ : s) {
    V r = an(100000000, tBYTE);
    memcpy(P(r), P(x), 100000000);
    benchmark::DoNotOptimize(P(r)[99999999]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * 100000000);
  mr(x);
  mc();
}

}  // namespace

BENCHMARK(overtake)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(drop_u8)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(drop_i64)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(copy)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
