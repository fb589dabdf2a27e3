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

}  // namespace

static void BM_loop_fused(benchmark::State &s) { zk_case(s, kLoop, 0); }
static void BM_loop_plain(benchmark::State &s) { zk_case(s, kLoop, 1); }
static void BM_fma_atoms(benchmark::State &s) { zk_case(s, kFma, 0); }
static void BM_plain_atoms(benchmark::State &s) { zk_case(s, kPlain, 0); }

BENCHMARK(BM_loop_fused)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_loop_plain)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_fma_atoms)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_plain_atoms)->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
