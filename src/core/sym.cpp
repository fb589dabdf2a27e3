// sym.cpp: symbol interning (us, su, the pool s0..sE and its hash table
// sh), global keys (gkk), the globals table (gk, gv, gn, gfull) with the
// current namespace gd, slot lookup (gi) and global reads (gg).
//
// Invariants:
// - Short names (packed ids >= 0) never touch shared state, so column
//   names and short variables intern without a lock.
// - The pool is one reserved mapping that never moves: a pooled name's
//   text stays at s0 - id for the life of the process, so su of a negative
//   id needs no lock.
// - Globals slots are appended and never removed, so compiled code may hold
//   slot numbers.  gn is published with a release store after its key is
//   written, so lock-free readers (gg) never see an unwritten key.
// - In shared mode (tl.rc_sync) interning and slot creation run under
//   g_alloc_mx; outside it one thread drives the engine and no lock is taken.
#include "core/sym.h"
#include <sys/mman.h>
#include <cstdlib>
#include "core/err.h"
#include "core/simd.h"
#include "io/io.h"
#include "list/list.h"
#include "num/num.h"

namespace zk {

char *s0, *s1, *sE;
I *sh;
U shc, shn;

UJ gk[NG];
V gv[NG];
U gn;
I gd;
G gfull;

namespace {

// Locks g_alloc_mx only in shared mode.
struct ShLock {
  bool on;
  ShLock() : on(shared_mode()) { if (on) g_alloc_mx.lock(); }
  ~ShLock() { if (on) g_alloc_mx.unlock(); }
};

// 32-bit FNV-1a, then the high bits folded down so the low bits that pick
// a slot see all of them.
ZK_INLINE U fnv(const char *s, UJ n) {
  U h = 0x811c9dc5u;
  for (UJ i = 0; i < n; i++) h = (h ^ (G)s[i]) * 16777619u;
  return h ^ (h >> 15);
}

ZK_INLINE const char *ptext(I id) { return s0 + (UJ)(-(J)id); }

// Reserved, not committed: 1 GiB, halving on failure, down to 64 KiB.
void pool_map() {
  UJ len = 1ull << 30;
  for (int i = 0; i < 15; i++, len >>= 1) {
    void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    if (p != MAP_FAILED) {
      s0 = (char *)p;
      s1 = s0 + 1;  // offset 0 is never a name, so pooled ids are < 0
      sE = s0 + len;
      return;
    }
  }
  die("SYMS");
}

// First byte of a name's text, without taking a ring slot.
ZK_INLINE G fbyte(I id) { return id < 0 ? (G)*ptext(id) : (G)id; }

// Index of key k among the first n slots, or -1: a linear scan in creation
// order, eight keys per step.
I gfind(UJ k, U n) {
  U i = 0;
  u64x2 kk = vdup<u64x2>(k);
  for (; i + 8 <= n; i += 8) {
    const UJ *p = gk + i;
    i64x2 m = (vld<u64x2>(p) == kk) | (vld<u64x2>(p + 2) == kk) | (vld<u64x2>(p + 4) == kk) |
              (vld<u64x2>(p + 6) == kk);
    if (vany(m)) break;
  }
  for (; i < n; i++)
    if (gk[i] == k) return (I)i;
  return -1;
}

// The id of the name whose text is the char vectors of `parts` joined by
// ".": the namespace of a dotted name.  Consumes parts.
I dotted(V parts) {
  V s = ct(tSYM, jc('.', parts));
  // Only a join longer than the whole pool could fail: such a name could
  // never be pooled either.
  if (!s) die("SYMS");
  return ip(s);
}

}  // namespace

I usn(const char *s, UJ n) {
  n = strnlen(s, n);
  if (n <= 3 || (n == 4 && (G)s[3] < 0x80)) {
    U v = 0;
    memcpy(&v, s, n);
    return (I)v;
  }
  ShLock l;
  if (!s0) pool_map();
  if (!sh && !shgrow()) die("SYMS");
  U m = shc - 1, i = fnv(s, n) & m;
  for (I id; (id = sh[i]); i = (i + 1) & m) {
    const char *t = ptext(id);
    if (!strncmp(t, s, n) && !t[n]) return id;
  }
  if ((UJ)(sE - s1) < n + 1) die("SYMS");
  memcpy(s1, s, n);
  s1[n] = 0;
  I id = -(I)(s1 - s0);
  sh[i] = id;
  s1 += n + 1;
  if (2 * ++shn >= shc && !shgrow()) die("SYMS");
  return id;
}

I us(const char *s) { return usn(s, strlen(s)); }

bool shgrow() {
  ShLock l;
  if (shc >= 1u << 30) return false;
  U nc = shc ? 2 * shc : 1024, m = nc - 1;
  I *t = (I *)calloc(nc, sizeof(I));
  if (!t) return false;
  for (U i = 0; i < shc; i++)
    if (I id = sh[i]) {
      const char *p = ptext(id);
      U j = fnv(p, strlen(p)) & m;
      while (t[j]) j = (j + 1) & m;
      t[j] = id;
    }
  free(sh);
  sh = t;
  shc = nc;
  return true;
}

const char *su(I id) {
  if (id < 0) return ptext(id);
  char *p = tl.sym_ring[tl.sym_ring_i++ & 7];
  UJ v = (U)id;  // the packed bytes, then zeros: the text ends at the first 0
  memcpy(p, &v, 8);
  return p;
}

bool sym_valid(I id) {
  if (id >= 0) return true;
  UJ off = (UJ)(-(J)id);
  return s0 && off < (UJ)(s1 - s0) && !s0[off - 1];
}

UJ gkk(V x) {
  if (tp(x) == tSYMA) return (U)ip(x);
  U n = nx(x);
  if (!n) return 0;
  I nm = PI(x)[n - 1];
  if (n == 1) return (U)nm;
  I ns = dotted(str(drp(-1, _r(x))));
  return (UJ)(U)ns << 32 | (U)nm;
}

U gi(V x) {
  UJ k = gkk(x);
  if (!(k >> 32) && gd && !tl.groot) {
    // Plain names that start with a letter (ASCII, or the lead byte of a
    // Cyrillic one) belong to the current namespace; ".", "_" and digits
    // keep a name at the root.
    G c = fbyte((I)(U)k);
    if ((U)((c | 32) - 'a') < 26u || c == 0xD0 || c == 0xD1) k |= (UJ)(U)gd << 32;
  }
  ShLock l;
  U n = gn;
  I i = gfind(k, n);
  if (i >= 0) return (U)i;
  if (n == NG) {
    gfull = 1;
    return 0;
  }
  gk[n] = k;
  gv[n] = 0;
  at_store_rel(gn, n + 1);
  return n;
}

// Every defined global as a dict, in creation order; a namespaced key is
// listed as namespace text, ".", name text.
static V gall() {
  V ks = _r(ce[tSYM]), vs = _r(ce[tLIST]);
  U n = at_load_acq(gn);
  for (U i = 0; i < n && ks && vs; i++) {
    V v = gv[i];
    if (!v) continue;
    UJ k = gk[i];
    I nm = (I)(U)k, ns = (I)(U)(k >> 32);
    if (ns) nm = dotted(aA2(str(as(ns)), str(as(nm))));
    ks = psh(ks, as(nm));
    if (ks) vs = psh(vs, _r(v));
  }
  if (!ks || !vs) {
    if (ks) mr(ks);
    if (vs) mr(vs);
    return 0;
  }
  return am(ks, vs);
}

V gg(V x) {
  int t = tp(x);
  if (t == tSYM && !nx(x)) {
    mr(x);
    return gall();
  }
  if (t != tSYMA && t != tSYM) return et(x);
  UJ k = gkk(x);
  mr(x);
  I i = gfind(k, at_load_acq(gn));
  if (i >= 0 && gv[i]) return _r(gv[i]);
  return err0(su((I)(U)k));  // the error is named after the variable
}

}  // namespace zk
