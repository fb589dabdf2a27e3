// The file and process verbs and md5 on 1 GiB: 1: of a cached file (a
// mapping), 1 GiB through /bin/cat with x (both directions pumped), and
// md5.  Python's figures (numpy fromfile and memmap, subprocess.run with
// input, hashlib.md5) come from bench/filev_py.py on the same file.  The
// file is ZK_BENCH_FILE (made when missing; default /tmp/zk_filev_1g).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/core.h"
#include "io/io.h"

using namespace zk;

namespace {

constexpr UJ N = 1ull << 30;

std::string path() {
  const char *p = getenv("ZK_BENCH_FILE");
  return p ? p : "/tmp/zk_filev_1g";
}

void boot() {
  if (!kinit_done) kinit();
  std::string p = path();
  if (FILE *f = fopen(p.c_str(), "rb")) {
    fseek(f, 0, SEEK_END);
    long n = ftell(f);
    fclose(f);
    if ((UJ)n == N) return;
  }
  FILE *f = fopen(p.c_str(), "wb");
  std::string b(1 << 20, 0);
  for (UJ k = 0; k < N >> 20; k++) {
    for (size_t i = 0; i < b.size(); i++) b[i] = (char)((i * 131 + k) >> 3);
    fwrite(b.data(), 1, b.size(), f);
  }
  fclose(f);
}

V file() { return aCz(path().c_str()); }

// Timed from the open to the release of the mapping (mc), as Python's
// memmap is timed to its unmapping.  One untimed read first, as Python's
// warm call: the first mapping of a process faults its header page in.
void read_1g(benchmark::State &s) {
  boot();
  V p = file();
  mr(fr(p, 0, ~0ull));
  mc();
  for (auto _ : s) {
    V x = fr(p, 0, ~0ull);
    benchmark::DoNotOptimize(x);
    mr(x);
    mc();
  }
  mr(p);
}

void cat_1g(benchmark::State &s) {
  boot();
  V x = fr(file(), 0, ~0ull);  // the input as the file's pages
  for (auto _ : s) {
    V r = frk(aA2(aA1(aCz("/bin/cat")), _r(x)));
    if (!r || nx(r) != N) s.SkipWithError("short output");
    mr(r);
  }
  mr(x);
  mc();
}

// In memory, as hashlib's bytes are: a fresh mapping's page faults would
// otherwise be timed too.
void md5_1g(benchmark::State &s) {
  boot();
  V x = an((U)N, tCHR);
  for (UJ i = 0; i < N; i++) P(x)[i] = (G)((i * 131) >> 3);
  for (auto _ : s) mr(md5T(_r(x)));
  mr(x);
}

}  // namespace

BENCHMARK(read_1g)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(cat_1g)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(md5_1g)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
