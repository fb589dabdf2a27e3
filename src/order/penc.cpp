// penc.cpp: parallel dictionary encoding (penc) and the builtin senc
// (sencT).
//
// Each of T tasks (pe1) takes one contiguous chunk and builds its distinct
// list in first-occurrence order with a private hash table (gsrh doubles
// it when half full), writing each item's local id.  The caller then
// merges the lists in chunk order into one table, so global ids follow the
// first occurrence in the whole vector without sorting, and the tasks (pe3)
// turn local ids into global ones through per-chunk remap arrays.
//
// Keys are the items as signed 64-bit integers: a long vector read as it
// is, any other (symbol ids) as 32-bit items sign-extended.  Slot = the top
// log2(capacity) bits of key * 0x9E3779B97F4A7C15, linear probing with
// wrap; a slot id of 0 marks an empty slot, else the id + 1.
//
// Tasks allocate only C heap memory, touch no value and raise nothing; a
// failed allocation sets the shared failure flag and the caller gives up,
// freeing everything.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include "core/pool.h"
#include "order/order.h"

namespace zk {

namespace {

struct Pctx {
  const void *src;
  I kind;  // 2: 32-bit items, 3: 64-bit
  UJ n;
  I T;
  I *ids;  // 0 when no ids are wanted
  J *lst[PL_MAX];
  U cnt[PL_MAX];
  U *rmp[PL_MAX];
  std::atomic<I> fail;
};

ZK_INLINE UJ pslot(J k, int lg) { return ((UJ)k * 0x9E3779B97F4A7C15ull) >> (64 - lg); }

ZK_INLINE UJ clo(const Pctx &c, int k) { return (UJ)k * c.n / (UJ)c.T; }

// Items a .. b-1 at width T into the task's table; false on lost memory.
template <class T> bool pe1w(Pctx &c, int k, J **keys, U **slots, UJ *cap, int *lg, J **l, U *room, U *cnt) {
  const T *s = (const T *)c.src;
  I *ids = c.ids;
  UJ a = clo(c, k), b = clo(c, k + 1), m = *cap - 1;
  J *ky = *keys;
  U *sl = *slots;
  for (UJ i = a; i < b; i++) {
    J v = s[i];
    UJ h = pslot(v, *lg);
    U id;
    while ((id = sl[h]) && ky[h] != v) h = (h + 1) & m;
    if (id) id--;
    else {
      if (*cnt == *room) {
        J *g = (J *)realloc(*l, 2 * (UJ)*room * 8);
        if (!g) return false;
        *l = g, *room *= 2;
      }
      id = *cnt;
      (*l)[id] = v;
      ky[h] = v, sl[h] = ++*cnt;
      if (2 * (UJ)*cnt >= *cap) {
        if (gsrh(keys, slots, cap, lg)) return false;
        ky = *keys, sl = *slots, m = *cap - 1;
      }
    }
    if (ids) ids[i] = (I)id;
  }
  return true;
}

}  // namespace

I gsrh(J **keys, U **slots, UJ *cap, int *lg) {
  UJ c = *cap * 2, m = c - 1;
  J *k = (J *)malloc(c * 8);
  U *s = k ? (U *)calloc(c, 4) : 0;
  if (!s) return free(k), 1;
  for (UJ i = 0; i < *cap; i++)
    if (U id = (*slots)[i]) {
      J v = (*keys)[i];
      UJ h = pslot(v, *lg + 1);
      while (s[h]) h = (h + 1) & m;
      k[h] = v, s[h] = id;
    }
  free(*keys), free(*slots);
  *keys = k, *slots = s, *cap = c, ++*lg;
  return 0;
}

void pe1(void *ctx, int k) {
  Pctx &c = *(Pctx *)ctx;
  UJ cap = 1024;
  int lg = 10;
  U room = 256, cnt = 0;
  J *keys = (J *)malloc(cap * 8), *l = (J *)malloc(room * 8);
  U *slots = (U *)calloc(cap, 4);
  bool ok = keys && slots && l &&
            (c.kind == 3 ? pe1w<J>(c, k, &keys, &slots, &cap, &lg, &l, &room, &cnt)
                         : pe1w<I>(c, k, &keys, &slots, &cap, &lg, &l, &room, &cnt));
  free(keys), free(slots);
  if (!ok) {
    free(l);
    c.fail.store(1, std::memory_order_relaxed);
    return;
  }
  c.lst[k] = l, c.cnt[k] = cnt;
}

void pe3(void *ctx, int k) {
  Pctx &c = *(Pctx *)ctx;
  const U *r = c.rmp[k];
  for (UJ i = clo(c, k), b = clo(c, k + 1); i < b; i++) c.ids[i] = (I)r[c.ids[i]];
}

namespace {

// The lists merged in chunk order: remap arrays set, the global distinct
// list returned with its count in *g, or 0 when memory ran short.
J *pmerge(Pctx &c, U *g) {
  UJ tot = 0;
  for (int k = 0; k < c.T; k++) tot += c.cnt[k];
  UJ cap = 16;
  int lg = 4;
  while (cap < 2 * (tot + 1)) cap <<= 1, lg++;
  J *keys = (J *)malloc(cap * 8), *gl_ = (J *)malloc((tot + 1) * 8);
  U *slots = (U *)calloc(cap, 4);
  bool ok = keys && gl_ && slots;
  U n = 0;
  for (int k = 0; ok && k < c.T; k++) {
    U *r = c.rmp[k] = (U *)malloc(((UJ)c.cnt[k] + 1) * 4);
    if (!(ok = r)) break;
    for (U i = 0; i < c.cnt[k]; i++) {
      J v = c.lst[k][i];
      UJ h = pslot(v, lg);
      U id;
      while ((id = slots[h]) && keys[h] != v) h = (h + 1) & (cap - 1);
      if (!id) gl_[n] = v, keys[h] = v, slots[h] = id = ++n;
      r[i] = id - 1;
    }
  }
  free(keys), free(slots);
  if (!ok) return free(gl_), (J *)0;
  *g = n;
  return gl_;
}

}  // namespace

I penc(V x, int T, V *vals, V *ids) {
  Pctx c{};
  c.src = P(x), c.kind = tp(x) == tLONG ? 3 : 2, c.n = nx(x), c.T = T < 1 ? 1 : T > PL_MAX ? PL_MAX : T;
  V iv = ids ? an((U)c.n, tINT) : 0;
  c.ids = iv ? PI(iv) : 0;
  if (c.T == 1) pe1(&c, 0);
  else par_run(c.T, pe1, &c);
  U g = 0;
  J *gl_ = c.fail.load(std::memory_order_relaxed) ? 0 : pmerge(c, &g);
  if (gl_ && iv && c.T > 1) par_run(c.T, pe3, &c);
  for (int k = 0; k < c.T; k++) free(c.lst[k]), free(c.rmp[k]);
  if (!gl_) {
    if (iv) mr(iv);
    return 1;
  }
  V u = an(g, tp(x));
  if (c.kind == 3) memcpy(PL(u), gl_, (UJ)g * 8);
  else
    for (U i = 0; i < g; i++) PI(u)[i] = (I)gl_[i];
  free(gl_);
  *vals = u;
  if (ids) *ids = iv;
  return 0;
}

V sencT(V x) {
  int T = tp(x) == tSYM && nx(x) > 65535 ? par_thread_count() : 1;
  V v, i;
  if (T < 2 || penc(x, T, &v, &i)) return mr(x), _r(ce[tLIST]);
  mr(x);
  return aA2(v, i);
}

}  // namespace zk
