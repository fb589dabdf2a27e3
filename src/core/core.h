// core.h: the runtime core's face to the rest of the engine: allocation
// and release (alloc.cpp), constructors, copy-on-write, growth and boot
// (make.cpp), the scratch arena (arena.cpp) and the fatal stop.
//
// Ownership: constructors return new references; `mr` releases one; a
// container owns one reference to each of its items.  Names: an = allocate,
// mr = release, _r = retain, mut = make writable, aa = grow, kv = split a
// dict or table; a* constructors name what they make (al long, af float,
// az int-or-long, aCz/aCn chars, aL longs, aA0/aA1/aA2 lists, aM table,
// am dict, aE range, aV any vector from memory).
#pragma once
#include <atomic>
#include <cstdlib>
#include <mutex>
#include "core/names.h"
#include "core/value.h"

namespace zk {

// ---- allocator (alloc.cpp) ----
struct Region {
  UJ base, length;
  UJ room;      // a file mapping's reserved bytes after its header page, else 0
  UJ dev, ino;  // a file mapping's file
  G may_fail;
  G big;  // a big block's own mapping, which mc keeps for reuse
};
inline constexpr U NREG = 1024;
extern Region reg[NREG];
extern U nreg;
extern I pnd[NREG];
extern U npnd;
extern std::recursive_mutex g_alloc_mx;
extern std::recursive_mutex g_parse_mx;

ZK_INLINE int szk(UJ b) { return 58 - __builtin_clzll((b + 63) | 64); }
V an_slow(U n, int t);  // refill from a split, coloured or mapped
V an0(U n, int t);
V mb(int k);
UJ mm(UJ length, bool may_fail);
V mfile(int fd, J o, U n, UJ dev, UJ ino, bool *fallback);  // a file's bytes, class 0
void mdetach(UJ dev, UJ ino);  // live mappings of the file stop sharing its pages
UJ mroom(V x);  // bytes from a class-0 object's data to its region's end
void mc();
void fre(V x);  // frees x, whose last reference is gone
void mrn(U n, const V *xs);

// Writes a new object's header: class k, type t, count n, one reference,
// owned by the calling thread's job (a mapped object, class 0, by none).
// A container's slot 0 starts as `::`, which release ignores: a builder
// that gives up before storing item 0 leaves an empty list whose prototype
// is harmless, never a stale word from the block's last use.
ZK_INLINE V ahdr(V d, int k, int t, U n) {
  Hdr *h = hd(d);
  if (iscont(t)) PA(d)[0] = GNULL;
  UJ w = (UJ)(G)k | (k ? tl.own << 16 : 0);  // class, colour 0, owner
  memcpy(h, &w, 8);
  h->attr = 0;
  h->type = (int8_t)t;
  h->rc = 1;
  h->count = n;
  return d;
}

// Data bytes of a block of class k.
ZK_INLINE UJ kbytes(int k) { return (64ull << k) - 64; }

// Blocks a parallel-each worker made go back to that worker when another
// thread frees them.  Results of a job are made on the workers and freed by
// the caller; on the caller's lists they would stay unused while every job
// split fresh blocks on the workers, so a host calling pe in a loop would
// grow without bound.  One lock-free stack per worker (by the low byte of
// the owner tag: index + 2) and class, pushed by any thread, taken whole by
// its worker when its own list runs out (mb).
inline constexpr int NRF = 256;  // owner-tag bytes
extern std::atomic<V> rfree[NRF][24];
void rpush(int b, int k, V d);

// Puts the free block d on the list of class k of the calling thread, or
// of the worker that made it.
ZK_INLINE void fpush(int k, V d) {
  ZK_POISON(d, kbytes(k));
  Hdr *h = hd(d);
  Tl &t = tl;
  h->rc = 0;
  // Both sides of & are evaluated, so the thread-local block is reached
  // once, on one path, wherever the block goes.
  int b = (int)(owner(h) & 0xFF);
  if (ZK_UNLIKELY((b >= 2) & (b != t.pix))) return rpush(b, k, d);
  h->link = t.bkt[k];
  t.bkt[k] = d;
}

// The fast paths are a pop and five header stores, and a decrement.
ZK_INLINE V an(U n, int t) {
  int k = szk(dbytes(n, t));
  V d;
  if (ZK_LIKELY(k <= 9) && ZK_LIKELY((d = tl.bkt[k]) != 0)) {
    tl.bkt[k] = hd(d)->link;
    ZK_UNPOISON(d, kbytes(k));
    return ahdr(d, k, t, n);
  }
  return an_slow(n, t);
}

// In shared mode counts change atomically, but for the objects the thread
// owns (mine), which no other thread can reach.
ZK_INLINE void mr(V x) {
  if (!heap(x)) return;
  Hdr *h = hd(x);
  U before = ZK_UNLIKELY(shared_mode()) && !mine(h, tl.own) ? at_add_acqrel(h->rc, (U)-1) : h->rc--;
  if (before >= 2) return;
  int k = h->cls;
  if (ZK_LIKELY(k - 1u < 8u) && !iscont(h->type)) return fpush(k, x);  // plain small block
  fre(x);
}
inline void m0(V x) { mr(x); }

// Whether the caller holds the only reference to the object h heads, so
// it may change it in place.  In shared mode the count is read with
// acquire order: another thread's last use of the object happens before
// its release of the count, hence before our writes.  A thread in a job
// that finds itself the only holder of an object it does not own takes
// it over (claim): what it then stores there is its own, and pub, which
// untags only what the thread owns, must find it.
void claim(Hdr *h);
ZK_INLINE bool sole(const Hdr *h) {
  if (ZK_LIKELY(!shared_mode()) || mine(h, tl.own)) return h->rc == 1;
  if (at_load_acq(const_cast<Hdr *>(h)->rc) != 1) return false;
  claim(const_cast<Hdr *>(h));
  return true;
}

ZK_INLINE V _r(V x) {
  if (!heap(x)) return x;
  Hdr *h = hd(x);
  if (ZK_UNLIKELY(shared_mode()) && !mine(h, tl.own)) at_add_relaxed(h->rc, 1u);
  else h->rc++;
  return x;
}

// Publishes x to the other threads of a parallel-each job: clears the
// owner tag of every object reachable from x that the calling thread owns,
// so every later count change on them is atomic.  Called before x is
// stored where other threads can read it (cached lambdas, memo tables);
// x borrowed and returned.
V pub(V x);

// ---- constructors and boot (make.cpp) ----
V aV(int t, U n, const void *src);
V al(J v);
V af(F d);
V az(J v);
V aCz(const char *s);
V aCn(const char *s, U n);
V aL(U n);
V aA0(U n);
V aA1(V x);
V aA2(V x, V y);
V aM(V names, V cols);
V am(V keys, V vals);
V aE(J start, J end);
V emp();
V mut(V x);
V aa(U n, V x);
V kv(V *x);
void kinit();

// ---- scratch arena (arena.cpp) ----
void *arena_alloc(UJ n);
void arena_release(UJ mark_off, void *mark_chunk);
void arena_boot();  // prepare the booting thread's arena
void arena_free();  // free the calling thread's base block and chunks

// ---- fatal stop (err.cpp) ----
[[noreturn]] void die(const char *msg);

// ---- the walkers' stack ----
// Match, hash, order, count and publication walk nested values with frames
// of their own, never the C stack: a few frames live in the walker's C
// frame and deeper nesting moves them to the heap.  The walkers cannot
// fail, so memory for the frames that cannot be had ends the process as
// any lost allocation does.
template <class T, U N = 32> struct Stk {
  T in[N];
  T *p = in;
  U n = 0, cap = N;
  Stk() = default;
  Stk(const Stk &) = delete;
  ~Stk() {
    if (p != in) free(p);
  }
  T &push() {
    if (n == cap) grow();
    return p[n++];
  }
  T &top() { return p[n - 1]; }
  void pop() { n--; }
  bool empty() const { return !n; }
  void grow() {
    T *q = (T *)malloc(2 * (UJ)cap * sizeof(T));
    if (!q) die("OOM");
    memcpy(q, p, n * sizeof(T));
    if (p != in) free(p);
    p = q;
    cap *= 2;
  }
};

}  // namespace zk
