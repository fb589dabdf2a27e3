// Application dispatch: a lambda, a projection filled by its last argument,
// a hook, a composition (two arguments) and a native applied to an int atom; a gather of
// 1,000 positions from a vector, a general list and a dict; and the
// statement loop over 1,000 one-line statements.  Figures per call.
#include <benchmark/benchmark.h>

#include <string>

#include "core/core.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "list/list.h"

using namespace zk;

namespace {

V ev(const char *s) {
  if (!kinit_done) kinit();
  return evn(s, nullptr, 0);
}

V nat(V x) { return x; }

void apply1(benchmark::State &s, const char *src) {
  V f = ev(src);
  for (auto _ : s) {
    V r = _1(f, ai(7));
    benchmark::DoNotOptimize(r);
    if (r) mr(r);
  }
  mr(f);
}

void Lambda(benchmark::State &s) { apply1(s, "{x+1}"); }
void Projection(benchmark::State &s) { apply1(s, "{[a;b;c]c}[1;2]"); }
void Hook(benchmark::State &s) { apply1(s, "({x-y};{x+1})"); }
void Composition(benchmark::State &s) {  // (, -)[7;3]: ,4
  V f = ev(", -"), x = ai(7);
  for (auto _ : s) {
    V r = _2(f, x, ai(3));
    benchmark::DoNotOptimize(r);
    if (r) mr(r);
  }
  mr(f);
}
void Native(benchmark::State &s) {
  ev("1");
  V f = ((V)tNATIVE << 56) | ((V)1 << 48) | (V)(uintptr_t)nat;
  for (auto _ : s) benchmark::DoNotOptimize(_1(f, ai(7)));
}

void gather(benchmark::State &s, const char *data, const char *idx) {
  V x = ev(data), i = ev(idx);
  for (auto _ : s) {
    V r = _1(x, _r(i));
    benchmark::DoNotOptimize(r);
    mr(r);
  }
  mr(x), mr(i);
}
// 1,000 positions, every tenth past the end (null fill).
std::string idx() {
  std::string s;
  for (int i = 0; i < 1000; i++) s += (i ? " " : "") + std::to_string(i % 10 == 9 ? 99999 : i * 7 % 1000);
  return s;
}
std::string vec(const char *sep, const char *l, const char *r) {
  std::string s = l;
  for (int i = 0; i < 1000; i++) s += (i ? sep : "") + std::to_string(i * 1000003LL);
  return s + r;
}
void GatherLongs(benchmark::State &s) { gather(s, vec(" ", "", "").c_str(), idx().c_str()); }
void GatherList(benchmark::State &s) {  // a general list of long atoms
  V x = blw(ev(vec(" ", "", "").c_str())), i = ev(idx().c_str());
  for (auto _ : s) {
    V r = _1(x, _r(i));
    benchmark::DoNotOptimize(r);
    mr(r);
  }
  mr(x), mr(i);
}
void DictLookup(benchmark::State &s) {
  V d = am(ev(vec(" ", "", "").c_str()), ev(vec(" ", "", "").c_str()));
  V i = ev(idx().c_str());
  for (auto _ : s) {
    V r = _1(d, _r(i));
    benchmark::DoNotOptimize(r);
    mr(r);
  }
  mr(d), mr(i);
}

void Statements(benchmark::State &s) {
  std::string t;
  for (int i = 0; i < 1000; i++) t += "bx:" + std::to_string(i) + "+1\n";
  ev("1");
  for (auto _ : s) {
    V r = evn(t.c_str(), nullptr, 0);
    benchmark::DoNotOptimize(r);
    mr(r);
  }
  s.SetItemsProcessed(s.iterations() * 1000);
}

}  // namespace

BENCHMARK(Lambda);
BENCHMARK(Projection);
BENCHMARK(Hook);
BENCHMARK(Composition);
BENCHMARK(Native);
BENCHMARK(GatherLongs);
BENCHMARK(GatherList);
BENCHMARK(DictLookup);
BENCHMARK(Statements);
BENCHMARK_MAIN();
