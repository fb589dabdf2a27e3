// alloc.cpp: heap blocks, mapped regions and release.
//
// Memory comes in power-of-two blocks of 64<<k bytes (size class k) kept
// on per-thread free lists (tl.bkt), refilled by splitting a block of the
// next class and never merged or returned.  The first small allocation of
// a thread maps one 1 GiB region (class 24) and splits it down.  Objects
// of class 24 and above get a mapping of their own; every mapping made
// through `mm` or `mfile` (a file's pages) is recorded in the registry
// `reg` and is released only by `mc`, which the statement loop runs after
// each statement, so a freed large object stays readable until its
// statement ends.  `mc` keeps the
// last big-block mappings it releases, up to 2 GiB (`spare`), instead of
// unmapping them: the next big block of the same size then reuses pages
// already faulted in, where a fresh mapping pays a fault, a zeroing and
// often a compaction per huge page, as much as the work done in it.
// They are not marked MADV_FREE: that costs a quarter of an 800 MB cast
// at each release.
// Middle classes (10..23) are cache-coloured: the data moves up by a
// varying multiple of 64 bytes inside its block, and the header then
// records the class one lower so capacity checks never overstate the room.
//
// A freed block joins the freeing thread's lists, but for one made by a
// parallel-each worker and freed elsewhere, which goes back to that worker
// (rfree, core.h): a job's results are freed by its caller, and lists only
// ever grow on the freeing side.
//
// Locks: none outside shared mode.  In shared mode (tl.rc_sync) counts
// change atomically and reg/nreg/pnd/npnd/spare/nspare/fsl/nfsl are guarded by
// g_alloc_mx, under which no other lock is taken.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "core/core.h"

namespace zk {

Region reg[NREG];
U nreg;
I pnd[NREG];
U npnd;
std::recursive_mutex g_alloc_mx;
std::recursive_mutex g_parse_mx;
size_t pg = 4096;

namespace {

// Locks g_alloc_mx only in shared mode.
struct ShLock {
  bool on;
  ShLock() : on(shared_mode()) { if (on) g_alloc_mx.lock(); }
  ~ShLock() { if (on) g_alloc_mx.unlock(); }
};

ZK_INLINE V pop(int k) {
  V d = tl.bkt[k];
  if (d) {
    tl.bkt[k] = hd(d)->link;
    ZK_UNPOISON(d, kbytes(k));
  }
  return d;
}

// Released big-block mappings kept for reuse, oldest first, at most
// SPARE_MAX bytes of them.
constexpr U NSPARE = 4;
constexpr UJ SPARE_MAX = 2ull << 30;
struct Spare {
  UJ base, length;
};
Spare spare[NSPARE];
U nspare;

// Records a region, running mc first when the registry is full; false
// when it stays full and the region may fail, a stop otherwise.
bool radd(const Region &r) {
  ShLock l;
  if (nreg == NREG) {
    mc();
    if (nreg == NREG) {
      if (r.may_fail) return false;
      die("MMAP");
    }
  }
  reg[nreg++] = r;
  return true;
}

// Maps `length` bytes and records the region; 0 when the map fails, or
// when the registry is full and may_fail is set.
UJ mreg(UJ length, bool may_fail, bool big) {
  ShLock l;
  UJ b = 0;
  if (big)
    for (U i = nspare; i-- > 0;)
      if (spare[i].length == length) {
        b = spare[i].base;
        memmove(spare + i, spare + i + 1, (nspare - i - 1) * sizeof(Spare));
        nspare--;
        break;
      }
  if (!b) {
    void *p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    if (p == MAP_FAILED) return 0;
    b = (UJ)(uintptr_t)p;
    if (length > 0x1FFFFF) madvise(p, length, MADV_HUGEPAGE);
  }
  if (!radd(Region{b, length, 0, 0, 0, (G)may_fail, (G)big})) {
    munmap((void *)(uintptr_t)b, length);
    return 0;
  }
  return b;
}

// File mappings.  A class-0 vector's header sits in the page before its
// data; a fresh page there costs a fault and new page tables on the way
// in and their freeing on the way out, many times the cost of mapping a
// cached file itself.  So a file is mapped into a slot: a header page kept
// faulted in, followed by an inaccessible reservation of `room` bytes.
// Release maps the reservation back over the file's range (dropping its
// pages and any written copies) and keeps the slot (fsl, oldest first)
// for the next file that fits.  The reservation is PROT_NONE: it holds
// address space only, no memory and no commit charge.
constexpr U NFSL = 4;
struct Fslot {
  UJ base, room;
};
Fslot fsl[NFSL];
U nfsl;

ZK_INLINE UJ rup(UJ n) { return (n + pg - 1) & ~(UJ)(pg - 1); }

// A free slot with room for `need` bytes, the smallest that fits, or a new
// one; base 0 when the address space is refused.
Fslot fget(UJ need) {
  {
    ShLock l;
    U b = NFSL;
    for (U i = 0; i < nfsl; i++)
      if (fsl[i].room >= need && (b == NFSL || fsl[i].room < fsl[b].room)) b = i;
    if (b < NFSL) {
      Fslot s = fsl[b];
      memmove(fsl + b, fsl + b + 1, (nfsl - b - 1) * sizeof(Fslot));
      nfsl--;
      return s;
    }
  }
  void *p = mmap(nullptr, pg + need, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return Fslot{0, 0};
  if (mprotect(p, pg, PROT_READ | PROT_WRITE)) {
    munmap(p, pg + need);
    return Fslot{0, 0};
  }
  return Fslot{(UJ)(uintptr_t)p, need};
}

// Gives the first `used` bytes after a slot's header page back to its
// reservation and keeps the slot, unmapping the oldest kept one when all
// places are taken; a slot that cannot be restored is unmapped whole.
void fput(Fslot s, UJ used) {
  int e = errno;
  ShLock l;
  void *p = mmap((void *)(uintptr_t)(s.base + pg), used, PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    munmap((void *)(uintptr_t)s.base, pg + s.room);
  } else {
    if (nfsl == NFSL) {
      munmap((void *)(uintptr_t)fsl[0].base, pg + fsl[0].room);
      memmove(fsl, fsl + 1, (NFSL - 1) * sizeof(Fslot));
      nfsl--;
    }
    fsl[nfsl++] = s;
  }
  errno = e;
}

// Keeps a released big-block mapping for reuse, unmapping the oldest
// spares while the slots are taken or the spares would pass SPARE_MAX.
void keep(const Region &r) {
  if (r.length > SPARE_MAX) return void(munmap((void *)(uintptr_t)r.base, r.length));
  UJ t = r.length;
  for (U i = 0; i < nspare; i++) t += spare[i].length;
  while (nspare == NSPARE || t > SPARE_MAX) {
    munmap((void *)(uintptr_t)spare[0].base, spare[0].length);
    t -= spare[0].length;
    memmove(spare, spare + 1, (nspare - 1) * sizeof(Spare));
    nspare--;
  }
  spare[nspare++] = Spare{r.base, r.length};
}

// A block of its own mapping, for classes above 23.
V bigblock(int k) {
  UJ base = mreg(64ull << k, false, true);
  if (!base) die("OOM");
  return base + 64;
}

// Queue the region whose base is `base` for unmapping at the next mc().
void queue_unmap(UJ base) {
  ShLock l;
  for (U i = 0; i < nreg; i++)
    if (reg[i].base == base) {
      for (U j = 0; j < npnd; j++)
        if (pnd[j] == (I)i) return;  // already queued
      pnd[npnd++] = (I)i;
      return;
    }
  die("UNMAP");
}

// Coloured allocation for classes 10 and above.
V anc(int k, UJ b, U n, int t) {
  if (k > 23) return ahdr(bigblock(k), k, t, n);
  V d = mb(k);
  U c = tl.acn++;
  UJ slack = (64ull << k) - 64 - b;
  if (slack <= 32) return ahdr(d, k, t, n);
  UJ m = (slack - 32) >> 6, e = (c * 199u) & 255u;
  if (e > m) e %= m + 1;
  if (!e) return ahdr(d, k, t, n);
  Hdr *h0 = hd(d);
  h0->cls = (G)k;
  h0->colour = (G)e;
  d += 64 * e;
  memset((void *)(uintptr_t)(d - 64), 0, 64);
  ahdr(d, k - 1, t, n);
  hd(d)->colour = (G)e;
  return d;
}

}  // namespace

std::atomic<V> rfree[NRF][24];

void rpush(int b, int k, V d) {
  Hdr *h = hd(d);
  V o = rfree[b][k].load(std::memory_order_relaxed);
  do h->link = o;
  while (!rfree[b][k].compare_exchange_weak(o, d, std::memory_order_release, std::memory_order_relaxed));
}

V mb(int k) {
  if (k > 23) return bigblock(k);
  if (V d = pop(k)) return d;
  // A worker takes back the blocks other threads freed for it before it
  // splits a fresh one.
  if (tl.pix && (tl.bkt[k] = rfree[tl.pix][k].exchange(0, std::memory_order_acquire))) return pop(k);
  V d = mb(k + 1);
  V up = d + (64ull << k);  // the upper half's data: its block start plus 64
  memset((void *)(uintptr_t)(up - 64), 0, 64);
  hd(up)->cls = (G)k;
  fpush(k, up);
  return d;
}

V an_slow(U n, int t) {
  UJ b = dbytes(n, t);
  int k = szk(b);
  if (ZK_LIKELY(k <= 9)) {
    V d = pop(k);
    if (!d) d = mb(k);
    return ahdr(d, k, t, n);
  }
  return anc(k, b, n, t);
}

V an0(U n, int t) {
  int k = szk(dbytes(n, t));
  return ahdr(k > 23 ? bigblock(k) : mb(k), k, t, n);
}

UJ mm(UJ length, bool may_fail) { return mreg(length, may_fail, false); }

// n bytes from offset o mapped copy-on-write after a slot's header page:
// a char vector of class 0 whose region holds 64 bytes more, readable and
// private, for kernels that read a block past the count and for growth in
// place.  dev and ino name the file for mdetach.  0 with errno when it
// cannot be mapped; *fallback then says the file (or the offset) does not
// map, where positional reads still serve.
V mfile(int fd, J o, U n, UJ dev, UJ ino, bool *fallback) {
  *fallback = (UJ)o & (pg - 1);
  if (*fallback) return 0;
  UJ fp = rup(n), need = rup((UJ)n + 64);
  Fslot s = fget(need);
  if (!s.base) return 0;
  V d = s.base + pg;
  void *m = mmap((void *)(uintptr_t)d, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED | MAP_NORESERVE,
                 fd, (off_t)o);
  if (m == MAP_FAILED) {
    *fallback = true;
    return fput(s, need), (V)0;
  }
  // The bytes past the count within the file's last page read as zeros;
  // past that page the reservation opens for them.
  if ((need > fp && mprotect((void *)(uintptr_t)(d + fp), pg, PROT_READ | PROT_WRITE)) ||
      !radd(Region{s.base, pg + n + 64, s.room, dev, ino, 1, 0}))
    return fput(s, need), (V)0;
  memset((void *)(uintptr_t)(d - 64), 0, 64);  // the header page holds a past header
  return ahdr(d, 0, tCHR, n);
}

// Before a file is rewritten in place, each live mapping of it moves to
// memory of its own holding the same bytes: its unwritten pages would show
// the new bytes, and cutting the file short takes away even the pages
// already copied on write.  Costs a copy, only when a file still mapped is
// written over; a detached mapping's ino becomes 0, which names no file.
void mdetach(UJ dev, UJ ino) {
  ShLock l;
  for (U i = 0; i < nreg; i++) {
    Region &r = reg[i];
    if (!r.room || r.dev != dev || r.ino != ino) continue;
    UJ d = r.base + pg, n = rup(r.length - pg - 64);
    void *m = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (m == MAP_FAILED) continue;
    memcpy(m, (void *)(uintptr_t)d, n);  // with any growth past the count
    if (mremap(m, n, n, MREMAP_MAYMOVE | MREMAP_FIXED, (void *)(uintptr_t)d) == MAP_FAILED) {
      munmap(m, n);
      continue;
    }
    r.ino = 0;
  }
}

UJ mroom(V x) {
  ShLock l;
  for (U i = 0; i < nreg; i++)
    if (x > reg[i].base && x - reg[i].base < reg[i].length) return reg[i].base + reg[i].length - x;
  return 0;
}

void mc() {
  bool sh = shared_mode();
  if (!sh && !npnd) return;
  ShLock l;
  for (U i = 0; i < npnd; i++) {
    Region &r = reg[pnd[i]];
    if (r.big) keep(r);
    else if (r.room) fput(Fslot{r.base, r.room}, rup(r.length - pg));
    else munmap((void *)(uintptr_t)r.base, r.length);
    r.base = 0;
  }
  npnd = 0;
  U j = 0;
  for (U i = 0; i < nreg; i++)
    if (reg[i].base) reg[j++] = reg[i];
  nreg = j;
}

namespace {

// Returns the block of x, whose items are already released, to its list.
void fblk(V x) {
  Hdr *h = hd(x);
  int k = h->cls;
  if (k == 0) return queue_unmap(x - pg);
  if (k >= 24) return queue_unmap(x - 64);
  if (k >= 9 && h->colour) {
    UJ e = h->colour;
    V d = x - 64 * e;
    memcpy(hd(d), h, sizeof(Hdr));
    hd(d)->cls = (G)(k + 1);
    hd(d)->colour = 0;
    x = d;
    k++;
  }
  fpush(k, x);
}

}  // namespace

// Containers are released without recursion: each one whose last reference
// goes joins a stack threaded through the headers' link words (unused while
// an object is alive), so any depth of nesting takes constant C stack.  A
// container's items are all read before its block is given back.
void fre(V x) {
  if (!iscont(hd(x)->type)) return fblk(x);
  bool sh = shared_mode();
  UJ own = tl.own;
  hd(x)->link = 0;
  for (V top = x; top;) {
    V c = top;
    Hdr *h = hd(c);
    top = h->link;
    V *a = PA(c);
    // An empty list still owns its prototype; a zero there is a builder's
    // failed item 0, which owns nothing.
    U n = h->count ? h->count : a[0] != 0;
    for (U i = 0; i < n; i++) {
      V y = a[i];
      if (!heap(y)) continue;
      Hdr *g = hd(y);
      U before = ZK_UNLIKELY(sh) && !mine(g, own) ? at_add_acqrel(g->rc, (U)-1) : g->rc--;
      if (before >= 2) continue;
      if (iscont(g->type)) {
        g->link = top;
        top = y;
      } else {
        fblk(y);
      }
    }
    h->type = tLONG;
    fblk(c);
  }
}

// Nobody else holds h, so nobody reads its header while it changes.
// Mapped objects (class 0) stay untagged.
void claim(Hdr *h) {
  if (tl.own && h->cls) setown(h, tl.own);
}

// Walks without recursion, on a stack of its own.  An object the thread
// owns is untagged, and its items are visited.  Another's (or none's) is
// left as it is, and its items are visited only when x alone holds it:
// shared, it is immutable, and made before the job or published, so holds
// nothing of ours; held alone, it may have been changed in place after the
// thread took it over (sole).  So each object is visited once per path
// through objects held once, and the walk is linear in what it untags.
V pub(V x) {
  UJ own = tl.own;
  if (!own || !heap(x)) return x;
  Stk<V, 64> st;
  st.push() = x;
  while (!st.empty()) {
    V y = st.top();
    st.pop();
    Hdr *h = hd(y);
    if (owner(h) == own) {
      setown(h, 0);
    } else if (at_load_acq(h->rc) != 1) {
      continue;
    }
    if (!iscont(h->type)) continue;
    V *a = PA(y);
    for (U i = 0, c = h->count ? h->count : 1; i < c; i++)
      if (a[i] && heap(a[i])) st.push() = a[i];
  }
  return x;
}

void mrn(U n, const V *xs) {
  for (U i = 0; i < n; i++) mr(xs[i]);
}

}  // namespace zk
