// The grade and sort verbs, xs and the symbol grade, by thread count: `<`
// and x@<x (srtC) of 10M int64 over the full range, beside the radix
// engines alone; xs of 3 columns x 10M
// rows, packed (widths 1+2+3 bytes after range reduction) and not (the
// last column a full-range int64); `<` of 1M symbols over 10K texts.  The
// data is splitmix64 of 0..n-1, which bench/grade_numpy.py rebuilds for
// numpy's argsort(kind='stable') and lexsort.  The argument is
// ZELKO_THREADS.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "core/sym.h"
#include "order/order.h"
#include "order/radix.h"

using namespace zk;

namespace {

constexpr U N = 10000000, NS = 1000000, NT = 10000;

UJ mix(UJ i) {
  UJ z = (i + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

V i64(UJ seed, UJ mod) {
  V x = an(N, tLONG);
  for (U i = 0; i < N; i++) PL(x)[i] = mod ? (J)(mix(i + seed) % mod) : (J)mix(i + seed);
  return x;
}

// The 3 xs columns: ints in 0..99 and 0..9,999, then longs in 0..99,999
// (packed) or over the full range (wide).
V cols(bool wide) {
  V a = an(N, tINT), b = an(N, tINT);
  for (U i = 0; i < N; i++) {
    PI(a)[i] = (I)(mix(i) % 100);
    PI(b)[i] = (I)(mix(i + N) % 10000);
  }
  V l = an(3, tLIST);
  PA(l)[0] = a;
  PA(l)[1] = b;
  PA(l)[2] = i64(2 * N, wide ? 0 : 100000);
  return l;
}

// Item i is text mix(i + 3N) mod 10K; text k is the hex of mix(k + 5N)
// cut to 4 + k mod 9 digits.
V syms() {
  static I id[NT];
  for (U k = 0; k < NT; k++) {
    char b[32];
    snprintf(b, sizeof b, "%016llx", (unsigned long long)mix(k + 5ull * N));
    b[4 + k % 9] = 0;
    id[k] = us(b);
  }
  V x = an(NS, tSYM);
  for (U i = 0; i < NS; i++) PI(x)[i] = id[mix(i + 3ull * N) % NT];
  return x;
}

void run(benchmark::State &s, V x, V (*fn)(V), UJ n) {
  setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1);
  for (auto _ : s) {
    V r = fn(_r(x));
    if (!r || tp(r) == tLIST) {
      s.SkipWithError("failed or declined");
      break;
    }
    benchmark::DoNotOptimize(P(r));
    mr(r);
    mc();
  }
  s.SetItemsProcessed((int64_t)s.iterations() * (int64_t)n);
  mr(x);
  mc();
}

void boot() {
  if (!kinit_done) kinit();
}

V xs0(V c) { return xsC(aA2(c, ai(0))); }
// The engines alone, for the verbs' overhead over them.
V rg(V x) {
  V r = rdxg(x);
  mr(x);
  return r;
}
V rs(V x) {
  V r = rdxsrt(x);
  mr(x);
  return r;
}

void grade_i64(benchmark::State &s) { boot(), run(s, i64(0, 0), asc, N); }
void sort_i64(benchmark::State &s) { boot(), run(s, i64(0, 0), srtC, N); }
void engine_grade_i64(benchmark::State &s) { boot(), run(s, i64(0, 0), rg, N); }
void engine_sort_i64(benchmark::State &s) { boot(), run(s, i64(0, 0), rs, N); }
void gradedown_i64(benchmark::State &s) { boot(), run(s, i64(0, 0), dsc, N); }
void xs3_packed(benchmark::State &s) { boot(), run(s, cols(false), xs0, N); }
void xs3_wide(benchmark::State &s) { boot(), run(s, cols(true), xs0, N); }
void grade_sym_1m(benchmark::State &s) { boot(), run(s, syms(), asc, NS); }

}  // namespace

#define ZK_GB(f) BENCHMARK(f)->Arg(1)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)
ZK_GB(grade_i64);
ZK_GB(engine_grade_i64);
ZK_GB(sort_i64);
ZK_GB(engine_sort_i64);
ZK_GB(gradedown_i64);
ZK_GB(xs3_packed);
ZK_GB(xs3_wide);
ZK_GB(grade_sym_1m);

BENCHMARK_MAIN();
