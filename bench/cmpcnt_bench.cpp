// Counted compares of 10M bytes, ints and floats against an atom (+/x<v),
// the masked float sum of 10M items (+/x@&m) and the long dot product
// (+/x*y), each through the fused idiom operator on one thread.  numpy's
// figures for the same work come from bench/cmpcnt_numpy.py.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "core/core.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

UJ g = 88172645463325252ull;
UJ nxt() {
  g ^= g << 13, g ^= g >> 7, g ^= g << 17;
  return g;
}

void boot() {
  if (!kinit_done) kinit();
  setenv("ZELKO_THREADS", "1", 1);
}

V vec(int t) {
  V v = an(N, t);
  for (U i = 0; i < N; i++) switch (t) {
      case tBYTE: P<int8_t>(v)[i] = (int8_t)nxt(); break;
      case tINT: PI(v)[i] = (I)nxt(); break;
      case tLONG: PL(v)[i] = (J)(nxt() % 1000003); break;
      default: PF(v)[i] = (F)(nxt() >> 11) / 9007199254740992.0;
    }
  return v;
}

void run(benchmark::State &s, J mode, V x, V y) {
  for (auto _ : s) {
    V a[3] = {ai((I)mode), x, y};
    V r = fredC(a, 3);
    benchmark::DoNotOptimize(r);
    mr(r);
  }
}

void cnt(benchmark::State &s, int t, V y) {
  boot();
  V x = vec(t);
  run(s, 8, x, y);
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(y);
}
void cnt_i8(benchmark::State &s) { cnt(s, tBYTE, ai(0)); }
void cnt_i32(benchmark::State &s) { cnt(s, tINT, ai(0)); }
void cnt_f64(benchmark::State &s) {
  boot();
  cnt(s, tFLT, af(0.5));
}

void msum_f64(benchmark::State &s) {
  boot();
  V x = vec(tFLT), m = an(N, tBYTE);
  for (U i = 0; i < N; i++) P<G>(m)[i] = (G)(nxt() & 1);
  run(s, 18, x, m);
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(m);
}

void dot_i64(benchmark::State &s) {
  boot();
  V x = vec(tLONG), y = vec(tLONG);
  run(s, 3, x, y);
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(y);
}

}  // namespace

BENCHMARK(cnt_i8)->Unit(benchmark::kMillisecond);
BENCHMARK(cnt_i32)->Unit(benchmark::kMillisecond);
BENCHMARK(cnt_f64)->Unit(benchmark::kMillisecond);
BENCHMARK(msum_f64)->Unit(benchmark::kMillisecond);
BENCHMARK(dot_i64)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
