// arena.cpp: the per-thread scratch arena, a bump allocator of 16 MiB with
// 64-byte alignment and overflow chunks from the C library.  Memory is
// never freed piece by piece: a caller takes a mark (tl.a_off, tl.a_over),
// works, and rewinds to it.  The statement loop and the C interface's call
// entry rewind around their work, so scratch lives at most one statement.
#include <sys/mman.h>
#include <algorithm>
#include <cstdlib>
#include "core/core.h"

namespace zk {

namespace {
constexpr UJ ABASE = 16777216;  // 16 MiB

struct Chunk {  // first 64 bytes of an overflow chunk; payload follows
  Chunk *next;
  UJ size;
};

void free_chunks() {
  for (Chunk *c = (Chunk *)tl.a_over; c;) {
    Chunk *n = c->next;
    free(c);
    c = n;
  }
  tl.a_over = nullptr;
  tl.a_ovf = 0;
}

void new_base() {
  void *p = nullptr;
  if (posix_memalign(&p, 64, ABASE)) p = nullptr;
  tl.a_base = (char *)p;
  tl.a_cap = p ? ABASE : 0;
}

// Large chunks (sort and hash buffers of big vectors) are written once
// right after they are taken: with 4 KiB pages the first touches can cost
// more than the work, so the whole 2 MiB pages inside are advised onto huge
// pages, as the allocator does for its mappings.
void hugeadv(void *p, UJ len) {
  constexpr UJ HP = 2097152;
  if (len < 2 * HP) return;
  UJ a = ((UJ)(uintptr_t)p + HP - 1) & ~(HP - 1), e = ((UJ)(uintptr_t)p + len) & ~(HP - 1);
  if (e > a) madvise((void *)(uintptr_t)a, e - a, MADV_HUGEPAGE);
}

ZK_INLINE void peak() {
  if (tl.a_off + tl.a_ovf > tl.a_peak) tl.a_peak = tl.a_off + tl.a_ovf;
}
}  // namespace

void *arena_alloc(UJ n) {
  UJ m = n ? n : 1;
  if (!tl.a_base) {
    free_chunks();
    tl.a_off = 0;
    new_base();
  }
  if (tl.a_base) {
    UJ b = (tl.a_off + 63) & ~63ull;
    if (b <= tl.a_cap && tl.a_cap - b >= m) {
      // Kernels may touch whole 32-byte blocks past what they asked for.
      ZK_UNPOISON(tl.a_base + b, std::min<UJ>(tl.a_cap - b, (m + 63) & ~63ull));
      tl.a_off = b + m;
      peak();
      return tl.a_base + b;
    }
  }
  // The chunk is (m + 127) rounded down to 64 bytes: refuse every m for
  // which that sum wraps, which would hand out a tiny chunk.
  if (m > UINT64_MAX - 127) return nullptr;
  void *p = nullptr;
  if (posix_memalign(&p, 64, (m + 127) & ~63ull)) return nullptr;
  hugeadv(p, (m + 127) & ~63ull);
  Chunk *c = (Chunk *)p;
  c->next = (Chunk *)tl.a_over;
  c->size = m;
  tl.a_over = c;
  tl.a_ovf += m;
  peak();
  return (char *)p + 64;
}

void arena_release(UJ mark_off, void *mark_chunk) {
  while (tl.a_over && tl.a_over != mark_chunk) {
    Chunk *c = (Chunk *)tl.a_over;
    tl.a_ovf -= c->size;
    tl.a_over = c->next;
    free(c);
  }
  if (tl.a_off >= mark_off) {
    // What a rewind gives back is unreadable until handed out again, so a
    // pointer kept past its mark is reported under AddressSanitizer.
    if (tl.a_base) ZK_POISON(tl.a_base + mark_off, std::min<UJ>(tl.a_cap, tl.a_off + 63) - mark_off);
    tl.a_off = mark_off;
  }
}

void arena_boot() {
  if (tl.a_base && tl.a_cap >= ABASE) {
    free_chunks();
    ZK_POISON(tl.a_base, tl.a_cap);
    tl.a_off = 0;
    return;
  }
  free_chunks();
  if (tl.a_base) ZK_UNPOISON(tl.a_base, tl.a_cap);
  free(tl.a_base);
  tl.a_off = 0;
  new_base();
}

void arena_free() {
  free_chunks();
  if (tl.a_base) ZK_UNPOISON(tl.a_base, tl.a_cap);
  free(tl.a_base);
  tl.a_base = nullptr;
  tl.a_cap = tl.a_off = 0;
}

}  // namespace zk
