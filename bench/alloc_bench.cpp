// Allocation and release of small vectors against malloc/free, and of big
// vectors against a bare mmap/munmap.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <cstdlib>
#include "core/core.h"

using namespace zk;

static void boot() {
  if (!kinit_done) kinit();
}

// Sizes cycle through 1..64 longs, as a kernel's temporaries would.
static void BM_zk_small(benchmark::State &s) {
  boot();
  U n = 1;
  for (auto _ : s) {
    V x = an(n, tLONG);
    benchmark::DoNotOptimize(x);
    mr(x);
    n = n == 64 ? 1 : n + 1;
  }
}
BENCHMARK(BM_zk_small);

static void BM_malloc_small(benchmark::State &s) {
  size_t n = 1;
  for (auto _ : s) {
    void *p = malloc(n * 8 + 32);
    benchmark::DoNotOptimize(p);
    free(p);
    n = n == 64 ? 1 : n + 1;
  }
}
BENCHMARK(BM_malloc_small);

// Many live at once, freed in allocation order: exercises the lists.
static void BM_zk_small_batch(benchmark::State &s) {
  boot();
  V xs[256];
  for (auto _ : s) {
    for (U i = 0; i < 256; i++) xs[i] = an(1 + (i & 63), tLONG);
    for (U i = 0; i < 256; i++) mr(xs[i]);
  }
  s.SetItemsProcessed(s.iterations() * 256);
}
BENCHMARK(BM_zk_small_batch);

static void BM_malloc_small_batch(benchmark::State &s) {
  void *xs[256];
  for (auto _ : s) {
    for (size_t i = 0; i < 256; i++) xs[i] = malloc((1 + (i & 63)) * 8 + 32), benchmark::DoNotOptimize(xs[i]);
    for (size_t i = 0; i < 256; i++) free(xs[i]);
  }
  s.SetItemsProcessed(s.iterations() * 256);
}
BENCHMARK(BM_malloc_small_batch);

// Big vectors (1 GiB of longs, beyond the largest free-list class): mapped, touched once, released, unmapped.
static void BM_zk_big(benchmark::State &s) {
  boot();
  U n = (U)s.range(0);
  for (auto _ : s) {
    V x = an(n, tLONG);
    PL(x)[0] = 1;
    PL(x)[n - 1] = 1;
    mr(x);
    mc();
  }
}
BENCHMARK(BM_zk_big)->Arg(1 << 27);

static void BM_mmap_big(benchmark::State &s) {
  size_t len = (size_t)s.range(0) * 8 + 64;
  for (auto _ : s) {
    char *p = (char *)mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    p[64] = 1;
    p[len - 1] = 1;
    munmap(p, len);
  }
}
BENCHMARK(BM_mmap_big)->Arg(1 << 27);

// The same with the huge-page advice the allocator gives large mappings.
static void BM_mmap_huge_big(benchmark::State &s) {
  size_t len = (size_t)s.range(0) * 8 + 64;
  for (auto _ : s) {
    char *p = (char *)mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    madvise(p, len, MADV_HUGEPAGE);
    p[64] = 1;
    p[len - 1] = 1;
    munmap(p, len);
  }
}
BENCHMARK(BM_mmap_huge_big)->Arg(1 << 27);

BENCHMARK_MAIN();
