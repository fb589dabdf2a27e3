// Temporal kernels on 10^8 items: a date vector plus an int atom and a
// timestamp vector compared with a timestamp atom (the vector kernel tvo
// through the dispatcher), and 10^7 timestamp texts read by the text cast
// ptP.  numpy's and pandas' figures come from bench/time_numpy.py.  Times
// are wall-clock; the result of each pass is a new vector, as numpy's is.
#include <benchmark/benchmark.h>
#include <cstdio>
#include "core/core.h"
#include "io/numtext.h"
#include "num/ari.h"
#include "table/table.h"

using namespace zk;

namespace {

constexpr U N = 100000000;
constexpr U NT = 10000000;

void boot() {
  if (!kinit_done) kinit();
}

// Dates within 2000..2100 and timestamps within 2000..2030.
V dates(U n) {
  V v = an(n, tDATE);
  unsigned s = 1;
  for (U i = 0; i < n; i++) PI(v)[i] = (I)((s = s * 1103515245u + 12345u) >> 8) % 36500;
  return v;
}
V stamps(U n) {
  V v = an(n, tTSTAMP);
  UJ s = 7;
  for (U i = 0; i < n; i++) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    PL(v)[i] = (J)((s >> 4) % 946080000000000000ull);
  }
  return v;
}

V verb(I op, V x, V y) {
  I s = tl.f;
  tl.f = op;
  V r = ari(x, y);
  tl.f = s;
  return r;
}

void date_plus_int(benchmark::State &st) {
  boot();
  V x = dates(N);
  for (auto _ : st) {
    V r = verb(1, x, ai(7));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  st.SetItemsProcessed((int64_t)st.iterations() * N);
  mr(x);
}

void stamp_lt(benchmark::State &st) {
  boot();
  V x = stamps(N), a = an(1, tTSTAMPA);
  PL(a)[0] = 473040000000000000;
  for (auto _ : st) {
    V r = verb(8, x, _r(a));
    benchmark::DoNotOptimize(P(r));
    mr(r);
  }
  st.SetItemsProcessed((int64_t)st.iterations() * N);
  mr(x), mr(a);
}

// The texts as char vectors made beforehand; each pass casts all of them.
void parse_stamps(benchmark::State &st) {
  boot();
  V s = stamps(NT);
  std::vector<V> txt(NT);
  char b[40];
  for (U i = 0; i < NT; i++) txt[i] = aCn(b, (U)(snp(b, PL(s)[i]) - b));
  mr(s);
  for (auto _ : st) {
    for (U i = 0; i < NT; i++) {
      V r = ptP(_r(txt[i]));
      benchmark::DoNotOptimize(r);
      mr(r);
    }
  }
  st.SetItemsProcessed((int64_t)st.iterations() * NT);
  for (V t : txt) mr(t);
}

}  // namespace

BENCHMARK(date_plus_int)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(stamp_lt)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(parse_stamps)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK_MAIN();
