// Interning 1M distinct 8-byte names, and looking them up again (us of a
// name already pooled), against std::unordered_map<std::string,int> doing
// the same inserts and finds.  The pool and its table are process-wide and
// never shrink, so each interning iteration uses names of its own (and the
// lookups run first, against a table of 1M names like the map's); the map
// starts empty each time.
#include <benchmark/benchmark.h>
#include <string>
#include <unordered_map>
#include <vector>
#include "core/sym.h"

using namespace zk;

namespace {

constexpr U N = 1u << 20;

// 8 bytes from 40 scrambled bits of i (an odd multiplier is a bijection
// modulo 2^40, so the names are distinct), 5 bits per byte; the tag makes
// each batch's names its own.
void name(char *b, UJ i, U tag) {
  static const char al[] = "abcdefghijklmnopqrstuvwxyz012345";
  UJ v = ((i + ((UJ)tag << 21)) * 0x9E3779B97Full) & ((1ull << 40) - 1);
  for (int k = 0; k < 8; k++, v >>= 5) b[k] = al[v & 31];
  b[8] = 0;
}

struct Names {
  std::vector<char> c;  // N names of 9 bytes, NUL-terminated
  std::vector<std::string> s;
  explicit Names(U tag) : c((size_t)N * 9) {
    s.reserve(N);
    for (U i = 0; i < N; i++) {
      name(&c[(size_t)i * 9], i, tag);
      s.emplace_back(&c[(size_t)i * 9]);
    }
  }
  const char *at(U i) const { return &c[(size_t)i * 9]; }
};

void BM_us_lookup(benchmark::State &st) {
  static Names nm(500);
  for (U i = 0; i < N; i++) us(nm.at(i));  // pooled before timing
  for (auto _ : st)
    for (U i = 0; i < N; i++) benchmark::DoNotOptimize(us(nm.at(i)));
  st.SetItemsProcessed(st.iterations() * N);
}
BENCHMARK(BM_us_lookup)->Unit(benchmark::kMillisecond);

void BM_map_lookup(benchmark::State &st) {
  static Names nm(2000);
  std::unordered_map<std::string, int> m;
  for (U i = 0; i < N; i++) m.emplace(nm.s[i], (int)i);
  for (auto _ : st)
    for (U i = 0; i < N; i++) benchmark::DoNotOptimize(m.find(nm.s[i]));
  st.SetItemsProcessed(st.iterations() * N);
}
BENCHMARK(BM_map_lookup)->Unit(benchmark::kMillisecond);

// The map keyed from a C string, as a caller holding raw text would use it.
void BM_map_lookup_cstr(benchmark::State &st) {
  static Names nm(3000);
  std::unordered_map<std::string, int> m;
  for (U i = 0; i < N; i++) m.emplace(nm.s[i], (int)i);
  for (auto _ : st)
    for (U i = 0; i < N; i++) benchmark::DoNotOptimize(m.find(nm.at(i)));
  st.SetItemsProcessed(st.iterations() * N);
}
BENCHMARK(BM_map_lookup_cstr)->Unit(benchmark::kMillisecond);

void BM_us_intern(benchmark::State &st) {
  static U tag = 1;
  for (auto _ : st) {
    st.PauseTiming();
    Names nm(tag++);
    st.ResumeTiming();
    for (U i = 0; i < N; i++) benchmark::DoNotOptimize(us(nm.at(i)));
  }
  st.SetItemsProcessed(st.iterations() * N);
}
BENCHMARK(BM_us_intern)->Iterations(4)->Unit(benchmark::kMillisecond);

void BM_map_insert(benchmark::State &st) {
  static U tag = 1000;
  for (auto _ : st) {
    st.PauseTiming();
    Names nm(tag++);
    std::unordered_map<std::string, int> m;
    st.ResumeTiming();
    for (U i = 0; i < N; i++) benchmark::DoNotOptimize(m.emplace(nm.s[i], (int)i));
    st.PauseTiming();
    m = {};
    st.ResumeTiming();
  }
  st.SetItemsProcessed(st.iterations() * N);
}
BENCHMARK(BM_map_insert)->Iterations(4)->Unit(benchmark::kMillisecond);

// Short names are their own ids: no table, no lock.
void BM_us_short(benchmark::State &st) {
  static const char *s[4] = {"a", "px", "sym", "time"};
  U i = 0;
  for (auto _ : st) benchmark::DoNotOptimize(us(s[i++ & 3]));
}
BENCHMARK(BM_us_short);

}  // namespace

BENCHMARK_MAIN();
