// Decimal text to double: csv_float against the C library's strtod and
// std::from_chars, over 10M generated texts mixing short prices
// ("123.4567"), scientific forms ("6.0221e23") and 17-digit round-trip
// values; plus each kind alone (1M texts) to show where the time goes.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/dec.h"

using namespace zk;

namespace {

// Texts stored back to back, each NUL-terminated (strtod needs it).
struct Texts {
  std::string buf;
  std::vector<uint32_t> at;  // start of text i; at[i+1]-1 is its end
};

// kind: 0 price, 1 scientific, 2 seventeen digits, 3 a mix of 6:2:2.
Texts make(size_t n, int kind, uint64_t seed) {
  std::mt19937_64 r(seed);
  Texts t;
  t.buf.reserve(n * 16);
  t.at.reserve(n + 1);
  char b[64];
  for (size_t i = 0; i < n; ++i) {
    int k = kind < 3 ? kind : (r() % 10 < 6 ? 0 : r() % 2 ? 1 : 2);
    int len;
    if (k == 0) {
      int ip = int(r() % 100000), fd = 1 + int(r() % 4);
      unsigned f = unsigned(r() % 10000);
      len = std::snprintf(b, sizeof b, "%d.%0*u", ip, fd, f % (fd == 1 ? 10 : fd == 2 ? 100 : fd == 3 ? 1000 : 10000));
    } else if (k == 1) {
      len = std::snprintf(b, sizeof b, "%u.%04ue%d", unsigned(1 + r() % 9), unsigned(r() % 10000),
                          int(r() % 81) - 40);
    } else {
      double d = double(r() >> 11) / double(uint64_t(1) << 53) * 1000.0;
      len = std::snprintf(b, sizeof b, "%.17g", d);
    }
    t.at.push_back(uint32_t(t.buf.size()));
    t.buf.append(b, size_t(len));
    t.buf.push_back('\0');
  }
  t.at.push_back(uint32_t(t.buf.size()));
  return t;
}

const Texts &mixed() {
  static const Texts t = make(10000000, 3, 42);
  return t;
}
const Texts &only(int kind) {
  static const Texts t[3] = {make(1000000, 0, 1), make(1000000, 1, 2), make(1000000, 2, 3)};
  return t[kind];
}

template <class F>
void run(benchmark::State &s, const Texts &t, F f) {
  const char *b = t.buf.data();
  size_t n = t.at.size() - 1;
  for (auto _ : s) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) sum += f(b + t.at[i], b + t.at[i + 1] - 1);
    benchmark::DoNotOptimize(sum);
  }
  s.SetItemsProcessed(int64_t(s.iterations()) * int64_t(n));
}

double via_csv(const char *p, const char *e) { return csv_float(p, e); }
double via_strtod(const char *p, const char *) { return std::strtod(p, nullptr); }
double via_from_chars(const char *p, const char *e) {
  double v = 0;
  std::from_chars(p, e, v);
  return v;
}
// The CSV reader's pattern: the exact fast path, else the C library.
double via_fast(const char *p, const char *e) {
  double v;
  if (fast_float(p, e, &v) == e) return v;
  return std::strtod(p, nullptr);
}

void BM_mixed_csv_float(benchmark::State &s) { run(s, mixed(), via_csv); }
void BM_mixed_strtod(benchmark::State &s) { run(s, mixed(), via_strtod); }
void BM_mixed_from_chars(benchmark::State &s) { run(s, mixed(), via_from_chars); }
void BM_mixed_fast_float_or_strtod(benchmark::State &s) { run(s, mixed(), via_fast); }
void BM_kind_csv_float(benchmark::State &s) { run(s, only(int(s.range(0))), via_csv); }
void BM_kind_strtod(benchmark::State &s) { run(s, only(int(s.range(0))), via_strtod); }
void BM_kind_from_chars(benchmark::State &s) { run(s, only(int(s.range(0))), via_from_chars); }

}  // namespace

BENCHMARK(BM_mixed_csv_float)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mixed_strtod)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mixed_from_chars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mixed_fast_float_or_strtod)->Unit(benchmark::kMillisecond);
// range: 0 prices, 1 scientific, 2 seventeen digits
BENCHMARK(BM_kind_csv_float)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_kind_strtod)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_kind_from_chars)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
