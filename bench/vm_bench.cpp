// The VM against CPython on the same algorithms: a scalar while loop of
// 10M steps summing into a long, a counted loop of 10M steps, and naive
// recursive fibonacci of 25.  The CPython rows run /usr/bin/python3 in a
// subprocess; the script times runs of the function itself (after one
// warm-up run), so interpreter start-up is not counted.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "core/diag.h"
#include "core/err.h"
#include "eval/eval.h"
#include "eval/parse.h"

using namespace zk;

namespace {

void boot() {
  if (!kinit_done) kinit();
  zkdiag = 0;
}

// Parse and compile one statement (the text must stay alive).
V stmt(const char *s) {
  const char *c = s;
  V t = pk_(&c, 0);
  if (!t) return 0;
  return cpl_(aCz(s), t, 0);
}

bool defs(const char *s) {
  V f = stmt(s);
  V r = f ? run(f, nullptr, 0) : 0;
  if (f) mr(f);
  if (!r) fprintf(stderr, "%.*s", (int)elen(), tl.err_text);
  else mr(r);
  return r != 0;
}

void zk_case(benchmark::State &st, const char *setup, const char *expr, J want) {
  boot();
  if (*setup && !defs(setup)) {
    st.SkipWithError("setup");
    return;
  }
  V f = stmt(expr);
  if (!f) {
    st.SkipWithError("compile");
    return;
  }
  for (auto _ : st) {
    V r = run(f, nullptr, 0);
    if (!r || gl(r) != want) {  // gl releases the result
      st.SkipWithError("wrong result");
      break;
    }
  }
  mr(f);
}

// Runs the python body (which defines f and the argument a) and reports
// the time of one call of f(a), measured inside python: the median of
// seven calls after a warm-up call (one call alone varies by 20%).
void py_case(benchmark::State &st, const char *body) {
  std::string prog = std::string("import time\n") + body +
                     "f(a)\nts=[]\nfor _ in range(7):\n t=time.perf_counter(); f(a); "
                     "ts.append(time.perf_counter()-t)\nprint(sorted(ts)[3])\n";
  std::string cmd = "/usr/bin/python3 -c '" + prog + "'";
  for (auto _ : st) {
    FILE *p = popen(cmd.c_str(), "r");
    double secs = -1;
    if (!p || fscanf(p, "%lf", &secs) != 1) secs = -1;
    if (p) pclose(p);
    if (secs < 0) {
      st.SkipWithError("python3 failed");
      break;
    }
    st.SetIterationTime(secs);
  }
}

const char *kWhile = "{s:0;i:0;while[i<x;s:s+i;i:i+1];s}[10000000]";
const char *pyWhile =
    "def f(x):\n s=0;i=0\n while i<x:\n  s=s+i;i=i+1\n return s\na=10000000\n";
const char *kDo = "{s:0;do[x;s+:1];s}[10000000]";
const char *pyDo = "def f(x):\n s=0\n for _ in range(x): s+=1\n return s\na=10000000\n";
const char *kFib = "fib 25";
const char *kFibDef = "fib:{$[x<2;x;(fib x-1)+fib x-2]}";
const char *pyFib = "def f(x): return x if x<2 else f(x-1)+f(x-2)\na=25\n";

}  // namespace

static void BM_zk_while_10M(benchmark::State &s) { zk_case(s, "", kWhile, 49999995000000LL); }
static void BM_py_while_10M(benchmark::State &s) { py_case(s, pyWhile); }
static void BM_zk_do_10M(benchmark::State &s) { zk_case(s, "", kDo, 10000000); }
static void BM_py_for_10M(benchmark::State &s) { py_case(s, pyDo); }
static void BM_zk_fib25(benchmark::State &s) { zk_case(s, kFibDef, kFib, 75025); }
static void BM_py_fib25(benchmark::State &s) { py_case(s, pyFib); }

BENCHMARK(BM_zk_while_10M)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_py_while_10M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_zk_do_10M)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_py_for_10M)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_zk_fib25)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_py_fib25)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

BENCHMARK_MAIN();
