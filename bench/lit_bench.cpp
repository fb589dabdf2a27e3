// lit_bench.cpp: the float literal scanner against the C library's strtod
// and std::from_chars, over 10 million literals each time.
//
// Two texts: "prices", decimals of 1 to 6 integer and 0 to 6 fraction
// digits (what data and source text mostly hold), and "roundtrip", the
// shortest round-trip text of random finite doubles in scientific form
// (up to 17 digits, exponents across the whole range), which leaves the
// exact fast path for the 128-bit one.  Literals are separated by one
// blank; every scanner reads them in order and the sum of the bits is
// kept alive so nothing is optimised away.
#include <benchmark/benchmark.h>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "core/core.h"
#include "eval/lit.h"

using namespace zk;

namespace {

constexpr int N = 10000000;

const std::string &text(int kind) {
  static std::string t[2];
  std::string &s = t[kind];
  if (!s.empty()) return s;
  std::mt19937_64 rng(kind ? 7 : 3);
  s.reserve((size_t)N * (kind ? 24 : 12));
  char b[64];
  for (int i = 0; i < N; i++) {
    if (kind == 0) {
      int ni = 1 + (int)(rng() % 6), nf = (int)(rng() % 7);
      int k = 0;
      b[k++] = (char)('1' + rng() % 9);
      for (int j = 1; j < ni; j++) b[k++] = (char)('0' + rng() % 10);
      if (nf) {
        b[k++] = '.';
        for (int j = 0; j < nf; j++) b[k++] = (char)('0' + rng() % 10);
      }
      s.append(b, (size_t)k);
    } else {
      double d = std::bit_cast<double>(rng() & 0x7fefffffffffffffull);
      auto r = std::to_chars(b, b + sizeof b, d, std::chars_format::scientific);
      for (char *q = b; q < r.ptr; q++)
        if (*q != '+') s += *q;  // the engine's exponent takes no plus sign
    }
    s += ' ';
  }
  return s;
}

void BM_pf(benchmark::State &st) {
  const std::string &t = text((int)st.range(0));
  for (auto _ : st) {
    const char *p = t.c_str();
    UJ acc = 0;
    for (int i = 0; i < N; i++) {
      acc += pf(&p);
      p++;
    }
    benchmark::DoNotOptimize(acc);
  }
  st.SetItemsProcessed(st.iterations() * N);
  st.SetBytesProcessed(st.iterations() * (int64_t)t.size());
}

void BM_strtod(benchmark::State &st) {
  const std::string &t = text((int)st.range(0));
  for (auto _ : st) {
    const char *p = t.c_str();
    UJ acc = 0;
    for (int i = 0; i < N; i++) {
      char *e;
      acc += std::bit_cast<UJ>(strtod(p, &e));
      p = e + 1;
    }
    benchmark::DoNotOptimize(acc);
  }
  st.SetItemsProcessed(st.iterations() * N);
  st.SetBytesProcessed(st.iterations() * (int64_t)t.size());
}

void BM_from_chars(benchmark::State &st) {
  const std::string &t = text((int)st.range(0));
  for (auto _ : st) {
    const char *p = t.c_str(), *end = p + t.size();
    UJ acc = 0;
    for (int i = 0; i < N; i++) {
      double d;
      auto r = std::from_chars(p, end, d);
      acc += std::bit_cast<UJ>(d);
      p = r.ptr + 1;
    }
    benchmark::DoNotOptimize(acc);
  }
  st.SetItemsProcessed(st.iterations() * N);
  st.SetBytesProcessed(st.iterations() * (int64_t)t.size());
}

// Arguments: 0 prices, 1 roundtrip.
BENCHMARK(BM_pf)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_strtod)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_from_chars)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
