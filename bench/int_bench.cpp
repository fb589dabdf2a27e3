// Integer addition of 10M items (64, 32, 16 and 8-bit) against a memcpy of
// the same bytes; numpy's figures come from bench/int_numpy.py.
// "inplace": y is unshared and receives the sums (the common case for
// temporaries); "new": y is shared, so the sums go into a new vector.
// Above 1,048,575 items the kernels run on ZELKO_THREADS threads (else
// the processor count): run once with ZELKO_THREADS=1 and once with 4 or
// more.  Times are wall-clock.  "_w16" runs the 16-byte register kernels
// on a processor that also has 32-byte ones.
#include <benchmark/benchmark.h>
#include <cstring>
#include "core/core.h"
#include "num/int.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

void boot() {
  if (!kinit_done) kinit();
}

// Items 0..3 (as numpy's script has them), or all 0 when zero.
V fill(int t, U n, unsigned seed, bool zero = false) {
  V v = an(n, t);
  for (U i = 0; i < n; i++) {
    seed = seed * 1103515245u + 12345u;
    J e = zero ? 0 : (seed >> 16) & 3;
    switch (t) {
      case tBYTE: P<int8_t>(v)[i] = (int8_t)e; break;
      case tSHORT: P<int16_t>(v)[i] = (int16_t)e; break;
      case tINT: PI(v)[i] = (I)e; break;
      default: PL(v)[i] = e;
    }
  }
  return v;
}

size_t bytes(int t) { return (size_t)N << (Tw[t] - 3); }

// y += x over and over, as numpy's script does.  Long and int sums of
// items 0..3 stay far from the limits; short and byte sums would not, so
// their x is all 0 (the kernel's work does not depend on the values).
void add_inplace(benchmark::State &s, int t, int w = 0) {
  boot();
  int was = izw(w);
  V x = fill(t, N, 1, Tw[t] < 5), y = fill(t, N, 2);
  for (auto _ : s) {
    y = addZZ(x, y);
    benchmark::DoNotOptimize(P(y));
  }
  if (tp(y) != t) s.SkipWithError("widened");
  s.SetBytesProcessed((int64_t)s.iterations() * bytes(t));
  mr(x), mr(y);
  izw(was);
}

void add_new(benchmark::State &s, int t) {
  boot();
  V x = fill(t, N, 1), y = fill(t, N, 2);
  for (auto _ : s) {
    V r = addZZ(x, _r(y));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * bytes(t));
  mr(x), mr(y);
}

void copy(benchmark::State &s, int t) {
  boot();
  V x = fill(t, N, 1), y = fill(t, N, 2);
  for (auto _ : s) {
    memcpy(P(y), P(x), bytes(t));
    benchmark::DoNotOptimize(P(y));
  }
  s.SetBytesProcessed((int64_t)s.iterations() * bytes(t));
  mr(x), mr(y);
}

void BM_add_i64_inplace(benchmark::State &s) { add_inplace(s, tLONG); }
void BM_add_i32_inplace(benchmark::State &s) { add_inplace(s, tINT); }
void BM_add_i32_inplace_w16(benchmark::State &s) { add_inplace(s, tINT, 16); }
void BM_add_i16_inplace(benchmark::State &s) { add_inplace(s, tSHORT); }
void BM_add_i8_inplace(benchmark::State &s) { add_inplace(s, tBYTE); }
void BM_add_i8_inplace_w16(benchmark::State &s) { add_inplace(s, tBYTE, 16); }
void BM_add_i64_new(benchmark::State &s) { add_new(s, tLONG); }
void BM_add_i32_new(benchmark::State &s) { add_new(s, tINT); }
void BM_memcpy_i64(benchmark::State &s) { copy(s, tLONG); }
void BM_memcpy_i32(benchmark::State &s) { copy(s, tINT); }

// The widening retry: every int sum overflows at its last item, so the
// whole vector is computed at 32 bits, restored, cast and computed at 64.
void BM_add_i32_widen(benchmark::State &s) {
  boot();
  V x = fill(tINT, N, 1), y = fill(tINT, N, 2);
  PI(x)[N - 1] = INT32_MAX;
  PI(y)[N - 1] = 1;
  for (auto _ : s) {
    V r = addZZ(x, _r(y));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  mr(x), mr(y);
}

// Comparison into bytes.
void BM_lt_i64(benchmark::State &s) {
  boot();
  V x = fill(tLONG, N, 1), y = fill(tLONG, N, 2);
  for (auto _ : s) {
    V r = cmpZZ(x, _r(y), 8);
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  mr(x), mr(y);
}

}  // namespace

#define ZK_B(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->UseRealTime()
ZK_B(BM_add_i64_inplace);
ZK_B(BM_add_i64_new);
ZK_B(BM_memcpy_i64);
ZK_B(BM_add_i32_inplace);
ZK_B(BM_add_i32_inplace_w16);
ZK_B(BM_add_i32_new);
ZK_B(BM_memcpy_i32);
ZK_B(BM_add_i16_inplace);
ZK_B(BM_add_i8_inplace);
ZK_B(BM_add_i8_inplace_w16);
ZK_B(BM_add_i32_widen);
ZK_B(BM_lt_i64);
BENCHMARK_MAIN();
