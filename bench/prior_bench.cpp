// Each-prior of 10M items: the deltas -': and the running pairwise maximum
// |': on long, int and float vectors, through the adverb as the language
// reaches it (p2 with the seed a monadic application supplies), against a
// plain copy of the same bytes.  numpy's figures for the same work
// (np.diff with a prepended seed, np.maximum of the shifted views) come
// from bench/prior_numpy.py.
#include <benchmark/benchmark.h>
#include <cstring>
#include "core/core.h"
#include "eval/adverb.h"
#include "eval/tables.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 10000000;

void boot() {
  if (!kinit_done) kinit();
}

// Random walk of small steps, so deltas never widen the vector.
V fill(int t, U n) {
  V v = an(n, t);
  unsigned s = 1;
  J a = 0;
  for (U i = 0; i < n; i++) {
    s = s * 1103515245u + 12345u;
    a += (J)((s >> 16) & 255) - 127;
    if (t == tINT) PI(v)[i] = (I)a;
    else if (t == tLONG) PL(v)[i] = a;
    else PF(v)[i] = (F)a * 0.25;
  }
  return v;
}

size_t isz(int t) { return t == tINT ? 4 : 8; }

void prior(benchmark::State &s, int op, int t) {
  boot();
  V x = fill(t, N);
  for (auto _ : s) {
    // -': seeds with 0, |': with the first item, as application does.
    V seed = op == 2 ? ai(0) : t == tFLT ? af(PF(x)[0]) : t == tINT ? ai(PI(x)[0]) : al(PL(x)[0]);
    V r = p2(mp2(op), seed, x);
    if (!r) {
      s.SkipWithError("each-prior failed");
      break;
    }
    if (tp(r) != t) s.SkipWithError("widened");
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * isz(t));
  mr(x);
}

void copy(benchmark::State &s, int t) {
  boot();
  V x = fill(t, N);
  for (auto _ : s) {
    V r = an(N, t);
    memcpy(P(r), P(x), (size_t)N * isz(t));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  s.SetBytesProcessed((int64_t)s.iterations() * N * isz(t));
  mr(x);
}

}  // namespace

BENCHMARK_CAPTURE(prior, deltas_long, 2, tLONG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(prior, deltas_int, 2, tINT)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(prior, deltas_float, 2, tFLT)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(prior, max_long, 7, tLONG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(prior, max_int, 7, tINT)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(prior, max_float, 7, tFLT)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(copy, long, tLONG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(copy, int, tINT)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
