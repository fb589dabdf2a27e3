// ftoa_bench: the float writer sf against std::to_chars (shortest form) on
// 10M doubles, mixed and by kind: prices (cents over 100), random finite
// bit patterns, and integers.  Each iteration formats the whole set into
// one reused buffer; the checksum of lengths keeps the work observable.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "io/numtext.h"

namespace {

constexpr size_t N = 10000000;

enum Kind { MIXED, PRICES, BITS, INTS };

double price(std::mt19937_64 &g) { return (double)(int64_t)(g() % 100000000) / 100; }
double randbits(std::mt19937_64 &g) {
  for (;;) {
    uint64_t u = g();
    double x;
    std::memcpy(&x, &u, 8);
    if (std::isfinite(x)) return x;
  }
}
double integer(std::mt19937_64 &g) { return (double)(int64_t)(g() >> (11 + g() % 40)); }

const std::vector<double> &data(Kind k) {
  static std::vector<double> d[4];
  if (d[k].empty()) {
    std::mt19937_64 g(42 + k);
    d[k].resize(N);
    for (size_t i = 0; i < N; ++i) {
      int c = k == MIXED ? (int)(i % 3) : (int)k - 1;
      d[k][i] = c == 0 ? price(g) : c == 1 ? randbits(g) : integer(g);
    }
  }
  return d[k];
}

void bm_sf(benchmark::State &st) {
  const auto &v = data((Kind)st.range(0));
  char buf[64];
  for (auto _ : st) {
    uint64_t sum = 0;
    for (double x : v) {
      uint64_t u;
      std::memcpy(&u, &x, 8);
      sum += (uint64_t)(zk::sf(buf, u) - buf);
      benchmark::DoNotOptimize(buf);
    }
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed((int64_t)(st.iterations() * v.size()));
}

void bm_to_chars(benchmark::State &st) {
  const auto &v = data((Kind)st.range(0));
  char buf[64];
  for (auto _ : st) {
    uint64_t sum = 0;
    for (double x : v) {
      sum += (uint64_t)(std::to_chars(buf, buf + sizeof buf, x).ptr - buf);
      benchmark::DoNotOptimize(buf);
    }
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed((int64_t)(st.iterations() * v.size()));
}

// Argument: 0 mixed, 1 prices, 2 random bits, 3 integers.
BENCHMARK(bm_sf)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_to_chars)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
