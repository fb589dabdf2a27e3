// The cost of fusion while the fused runner declines, and of the
// multiply-add idiom on atoms: a 10M-step loop doing s:s+i*i on int locals
// (its right side is a FUSED instruction that falls through into the plain
// code) beside the same loop compiled without fusion, and x+2*y on int
// atoms (a call of fmaC) beside (2*y)+x, which the VM computes in place.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "core/core.h"
#include "core/diag.h"
#include "core/err.h"
#include "eval/b.h"
#include "eval/eval.h"
#include "eval/parse.h"
#include "num/num.h"

using namespace zk;

namespace {

V stmt(const char *s) {
  const char *c = s;
  V t = pk_(&c, 0);
  if (!t) return 0;
  if (tp(t) == tLAMBDA) return t;
  return cpl_(aCz(s), t, 0);
}

void zk_case(benchmark::State &st, const char *expr, G off) {
  if (!kinit_done) kinit();
  zkdiag = 0;
  fzoff = off;
  V f = stmt(expr);
  fzoff = 0;
  if (!f) {
    st.SkipWithError("compile");
    return;
  }
  J want = -1;
  for (auto _ : st) {
    V r = run(f, nullptr, 0);
    if (!r) {
      st.SkipWithError("failed");
      break;
    }
    J v = gl(r);
    if (want == -1) want = v;
    if (v != want) {
      st.SkipWithError("wrong result");
      break;
    }
  }
  mr(f);
}

const char *kLoop = "{s:0;i:0;while[i<x;s:s+i*i;i:i+1];s}[10000000]";
const char *kFma = "{s:0;i:0;w:7;while[i<x;s:i+2*w;i:i+1];s}[10000000]";
const char *kPlain = "{s:0;i:0;w:7;while[i<x;s:(2*w)+i;i:i+1];s}[10000000]";

// c+a*b over three 10M columns: fused, plain (fzoff), and over short
// columns in 32-bit lanes against 64-bit lanes (fzl64).
void col_case(benchmark::State &st, int t, G off, G l64) {
  if (!kinit_done) kinit();
  zkdiag = 0;
  const U n = 10000000;
  V g[3];
  for (int k = 0; k < 3; k++) {
    g[k] = an(n, t);
    for (U i = 0; i < n; i++) {
      J v = (J)((i * 2654435761u + (U)k * 40503u) % 2001) - 1000;
      if (t == tFLT) PF(g[k])[i] = (F)v / 8;
      else P<int16_t>(g[k])[i] = (int16_t)v;
    }
  }
  fzoff = off;
  V f = stmt("{[a;b;c]c+a*b}");
  fzoff = 0;
  fzl64 = l64;
  V a[3] = {g[0], g[1], g[2]};
  for (auto _ : st) {
    for (V x : a) _r(x);
    V r = run(f, a, 3);
    if (!r) {
      st.SkipWithError("failed");
      break;
    }
    mr(r);
  }
  fzl64 = 0;
  for (V x : g) mr(x);
  mr(f);
}

}  // namespace

static void BM_fma_f64_fused(benchmark::State &s) { col_case(s, tFLT, 0, 0); }
static void BM_fma_f64_plain(benchmark::State &s) { col_case(s, tFLT, 1, 0); }
static void BM_fma_i16_lanes32(benchmark::State &s) { col_case(s, tSHORT, 0, 0); }
static void BM_fma_i16_lanes64(benchmark::State &s) { col_case(s, tSHORT, 0, 1); }
BENCHMARK(BM_fma_f64_fused)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_fma_f64_plain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_fma_i16_lanes32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_fma_i16_lanes64)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_loop_fused(benchmark::State &s) { zk_case(s, kLoop, 0); }
static void BM_loop_plain(benchmark::State &s) { zk_case(s, kLoop, 1); }
static void BM_fma_atoms(benchmark::State &s) { zk_case(s, kFma, 0); }
static void BM_plain_atoms(benchmark::State &s) { zk_case(s, kPlain, 0); }

BENCHMARK(BM_loop_fused)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_loop_plain)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_fma_atoms)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_plain_atoms)->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
