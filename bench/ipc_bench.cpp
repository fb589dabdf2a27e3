// -8! and -9! (qser, qdes) and ser and des of a 100 MB long vector, a
// 100 MB float vector and a 10M-row table (long, float, int, date), each
// beside a memcpy of the bytes it writes.  Python's pickle (protocol 5) of
// the same numpy arrays comes from bench/ipc_pickle.py.
#include <benchmark/benchmark.h>

#include <cstring>

#include "core/core.h"
#include "core/sym.h"
#include "io/io.h"

using namespace zk;

namespace {

constexpr U N = 12500000;   // 100 MB of 8-byte items
constexpr U R = 10000000;   // table rows

void boot() {
  if (!kinit_done) kinit();
}

V longs(U n) {
  V v = an(n, tLONG);
  for (U i = 0; i < n; i++) PL(v)[i] = (J)i * 2654435761ll;
  return v;
}
V floats(U n) {
  V v = an(n, tFLT);
  for (U i = 0; i < n; i++) PF(v)[i] = i * 0.5;
  return v;
}
V table() {
  V n = an(4, tSYM);
  const char *c[] = {"a", "b", "c", "d"};
  for (int i = 0; i < 4; i++) PI(n)[i] = us(c[i]);
  V i32 = an(R, tINT), d = an(R, tDATE);
  for (U i = 0; i < R; i++) PI(i32)[i] = (I)(i * 7u), PI(d)[i] = (I)(i % 9000);
  V cols = an(4, tLIST);
  PA(cols)[0] = longs(R), PA(cols)[1] = floats(R), PA(cols)[2] = i32, PA(cols)[3] = d;
  return aM(n, cols);
}

V val(int k) { return k == 0 ? longs(N) : k == 1 ? floats(N) : table(); }
const char *nm[] = {"long", "float", "table"};

void enc8(benchmark::State &s) {
  boot();
  V x = val((int)s.range(0));
  UJ b = 0;
  mr(qser(x, 0));  // untimed, as pickle's best of five follows a first
  for (auto _ : s) {
    V m = qser(x, 0);
    b = nx(m);
    mr(m);
  }
  s.SetBytesProcessed((int64_t)(s.iterations() * b));
  s.SetLabel(nm[s.range(0)]);
  mr(x);
  mc();
}
void dec9(benchmark::State &s) {
  boot();
  V x = val((int)s.range(0));
  V m = qser(x, 0);
  mr(x);
  UJ b = nx(m);
  mr(qdes(_r(m)));
  for (auto _ : s) {
    V y = qdes(_r(m));
    mr(y);
  }
  s.SetBytesProcessed((int64_t)(s.iterations() * b));
  s.SetLabel(nm[s.range(0)]);
  mr(m);
  mc();
}
void ser(benchmark::State &s) {
  boot();
  V x = val((int)s.range(0));
  UJ b = 0;
  mr(ser8(_r(x)));
  for (auto _ : s) {
    V m = ser8(_r(x));
    b = nx(m);
    mr(m);
  }
  s.SetBytesProcessed((int64_t)(s.iterations() * b));
  s.SetLabel(nm[s.range(0)]);
  mr(x);
  mc();
}
void des(benchmark::State &s) {
  boot();
  V x = val((int)s.range(0));
  V m = ser8(x);
  UJ b = nx(m);
  mr(des9(_r(m)));
  for (auto _ : s) {
    V y = des9(_r(m));
    mr(y);
  }
  s.SetBytesProcessed((int64_t)(s.iterations() * b));
  s.SetLabel(nm[s.range(0)]);
  mr(m);
  mc();
}
// The floor: 100 MB copied into one fresh block.
void copy(benchmark::State &s) {
  boot();
  V x = longs(N);
  V r0 = an(N, tLONG);  // one untimed first, as for the others
  memcpy(P(r0), P(x), (UJ)N * 8);
  mr(r0);
  for (auto _ : s) {
    V r = an(N, tLONG);
    memcpy(P(r), P(x), (UJ)N * 8);
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * 8);
  mr(x);
  mc();
}

}  // namespace

BENCHMARK(copy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(enc8)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(dec9)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ser)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(des)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
