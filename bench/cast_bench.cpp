// Vector casts of 100M items (int to long, long to float, float to long,
// long to int) through ct by thread count, the same kernels into a
// destination made once, against the memory-bandwidth
// limit on the same bytes: as many threads reading the source and writing
// the destination in the same runs of 32-item granules, with no
// conversion (bw: ordinary stores; bwn: stores around the caches; bwx:
// 64-byte registers and stores around the caches).  A
// serial memcpy of the destination's bytes is the one-thread reference.
// Each cast is followed by mc(), as a statement is: the 800 MB results are
// blocks of their own mapping, which would otherwise pile up.  One cast
// runs untimed first, as numpy's best of five follows one.
// numpy's astype figures come from bench/cast_numpy.py; bench/cast_run.sh
// runs both.  The argument is ZELKO_THREADS.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "core/pool.h"
#include "core/simd.h"
#include "num/num.h"

using namespace zk;

namespace {

constexpr U N = 100000000;

void boot() {
  if (!kinit_done) kinit();
}

// Source vectors of each type, filled once.
V src(int t) {
  V v = an(N, t);
  UJ g = 1;
  for (U i = 0; i < N; i++) {
    g = g * 6364136223846793005ull + 1442695040888963407ull;
    J r = (J)(g >> 20);
    if (t == tINT) PI(v)[i] = (I)r;
    else if (t == tLONG) PL(v)[i] = r;
    else PF(v)[i] = (F)r / 1024.0;
  }
  return v;
}

void cast(benchmark::State &s, int from, int to) {
  boot();
  setenv("ZELKO_THREADS", std::to_string(s.range(0)).c_str(), 1);
  V x = src(from);
  mr(ct(to, _r(x)));  // one untimed, as numpy's figures are taken after one
  mc();
  for (auto _ : s) {
    V r = ct(to, _r(x));
    benchmark::DoNotOptimize(P(r)[0]);
    mr(r);
    mc();  // as the statement loop does: a released big block waits for mc
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x);
  mc();
}
void i32_i64(benchmark::State &s) { cast(s, tINT, tLONG); }
void i64_f64(benchmark::State &s) { cast(s, tLONG, tFLT); }
void f64_i64(benchmark::State &s) { cast(s, tFLT, tLONG); }
void i64_i32(benchmark::State &s) { cast(s, tLONG, tINT); }

// The same kernels through the same split into a destination allocated
// once: the cast without the allocation of a fresh result (the first
// touch of 800 MB of new pages costs as much as the cast itself).
void kern(benchmark::State &s, int from, int to, void (*k)(void *, const void *, U)) {
  boot();
  V x = src(from), y = an(N, to);
  memset(P(y), 0, (size_t)N << (Tw[to] - 3));
  int t = (int)s.range(0);
  for (auto _ : s) {
    Cj j{k, PC(y), PC(x), N, 1u << (Tw[to] - 3), 1u << (Tw[from] - 3), t};
    par_run(t, cjw, &j);
    benchmark::DoNotOptimize(P(y)[0]);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(y);
  mc();
}
void k_i32_i64(benchmark::State &s) { kern(s, tINT, tLONG, cLI); }
void k_i64_f64(benchmark::State &s) { kern(s, tLONG, tFLT, cFL); }
void k_f64_i64(benchmark::State &s) { kern(s, tFLT, tLONG, cLF); }
void k_i64_i32(benchmark::State &s) { kern(s, tLONG, tINT, cIL); }

// The traffic of a cast without its arithmetic: each task reads source
// granules and writes destination granules, taking runs of them from a
// counter as cjw does, so that a busy machine holds both up alike.  The
// bw rows write with ordinary stores (which read each line first), the
// bwn rows around the caches, the limit of the casts of 16 MB and more.
struct Bw {
  const G *s;
  G *d;
  UJ n, sw, dw;
  int T;
  bool nt;  // writes around the caches, as the large casts do
  bool wide;  // on 64-byte registers (bwx)
  std::atomic<UJ> c{0};
  UJ out[64];
};
// The same traffic on 64-byte registers with stores around the caches,
// four loads in flight: the widest way this processor moves the bytes,
// so the limit a cast on those registers is held to (bwx rows).
ZK_AVX512 void bwx_run(const G *s, G *d, UJ a, UJ e, UJ sw, UJ dw) {
  const G *p = s + a * sw;
  G *q = d + a * dw;
  UJ n = (e - a) * dw;
  if (sw == dw)
    for (UJ i = 0; i < n; i += 64) _mm512_stream_si512((__m512i *)(q + i), _mm512_loadu_si512(p + i));
  else if (sw < dw)  // each source line feeds two destination lines
    for (UJ i = 0; i < n; i += 128) {
      __m512i v = _mm512_loadu_si512(p + i / 2);
      _mm512_stream_si512((__m512i *)(q + i), v);
      _mm512_stream_si512((__m512i *)(q + i + 64), v);
    }
  else  // two source lines into each destination line
    for (UJ i = 0; i < n; i += 64)
      _mm512_stream_si512((__m512i *)(q + i),
                          _mm512_or_si512(_mm512_loadu_si512(p + 2 * i), _mm512_loadu_si512(p + 2 * i + 64)));
}
void bw_task(void *c, int k) {
  Bw *b = (Bw *)c;
  if (b->nt && b->wide) {
    UJ m = (b->n + 31) / 32, g = m / (16 * (UJ)b->T);
    g = g < 1 ? 1 : g > 2048 ? 2048 : g;
    for (UJ q; (q = b->c.fetch_add(g, std::memory_order_relaxed)) < m;)
      bwx_run(b->s, b->d, 32 * q, 32 * (q + g) < b->n ? 32 * (q + g) : b->n, b->sw, b->dw);
    _mm_sfence();
    return;
  }
  UJ m = (b->n + 31) / 32, g = m / (16 * (UJ)b->T);
  g = g < 1 ? 1 : g > 2048 ? 2048 : g;
  u64x2 o = {};
  for (UJ q; (q = b->c.fetch_add(g, std::memory_order_relaxed)) < m;) {
    UJ a = 32 * q, e = 32 * (q + g) < b->n ? 32 * (q + g) : b->n;
    const G *p = b->s + a * b->sw;
    for (UJ i = 0; i < (e - a) * b->sw; i += 16) o |= vld<u64x2>(p + i);
    G *o = b->d + a * b->dw;
    if (b->nt)
      for (UJ i = 0; i < (e - a) * b->dw; i += 16) _mm_stream_si128((__m128i *)(o + i), _mm_setzero_si128());
    else memset(o, 0, (e - a) * b->dw);
  }
  if (b->nt) _mm_sfence();
  b->out[k] = o[0] | o[1];
}
void bw(benchmark::State &s, UJ sw, UJ dw, bool nt, bool wide = false) {
  boot();
  if (wide && !simd_avx512()) return s.SkipWithError("no 64-byte registers here");
  V x = an(N, sw == 8 ? tLONG : tINT), y = an(N, dw == 8 ? tLONG : tINT);
  memset(P(x), 1, N * sw);
  memset(P(y), 0, N * dw);
  int t = (int)s.range(0);
  for (auto _ : s) {
    Bw b{P(x), P(y), N, sw, dw, t, nt, wide, {0}, {}};
    par_run(t, bw_task, &b);
    benchmark::DoNotOptimize(b.out[0]);
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(y);
  mc();
}
void bw_4_8(benchmark::State &s) { bw(s, 4, 8, false); }
void bw_8_8(benchmark::State &s) { bw(s, 8, 8, false); }
void bw_8_4(benchmark::State &s) { bw(s, 8, 4, false); }
void bwn_4_8(benchmark::State &s) { bw(s, 4, 8, true); }
void bwn_8_8(benchmark::State &s) { bw(s, 8, 8, true); }
void bwn_8_4(benchmark::State &s) { bw(s, 8, 4, true); }
void bwx_4_8(benchmark::State &s) { bw(s, 4, 8, true, true); }
void bwx_8_8(benchmark::State &s) { bw(s, 8, 8, true, true); }
void bwx_8_4(benchmark::State &s) { bw(s, 8, 4, true, true); }

void memcpy_8(benchmark::State &s) {
  boot();
  V x = src(tLONG), y = an(N, tLONG);
  memset(P(y), 0, (size_t)N * 8);
  for (auto _ : s) {
    memcpy(P(y), P(x), (size_t)N * 8);
    benchmark::DoNotOptimize(P(y));
  }
  s.SetItemsProcessed((int64_t)s.iterations() * N);
  mr(x), mr(y);
  mc();
}

}  // namespace

#define ZK_T(f) BENCHMARK(f)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond)
ZK_T(i32_i64);
ZK_T(i64_f64);
ZK_T(f64_i64);
ZK_T(i64_i32);
ZK_T(k_i32_i64);
ZK_T(k_i64_f64);
ZK_T(k_f64_i64);
ZK_T(k_i64_i32);
ZK_T(bw_4_8);
ZK_T(bw_8_8);
ZK_T(bw_8_4);
ZK_T(bwn_4_8);
ZK_T(bwn_8_8);
ZK_T(bwn_8_4);
ZK_T(bwx_4_8);
ZK_T(bwx_8_8);
ZK_T(bwx_8_4);
BENCHMARK(memcpy_8)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
