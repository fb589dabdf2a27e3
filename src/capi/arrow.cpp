// arrow.cpp: the Arrow C data interface bridge.
//
// Export hands out one struct column ("+s") whose children point at the
// columns' own data; import takes over the caller's structures and copies
// their buffers into engine vectors.
//
// Ownership of an export: every child array holds the reference to its own
// column (a Ch record in private_data), dropped by its own release, so a
// consumer may move a child out and release the parent first.  Release may
// run on any thread while reference counts are plain, so a release off the
// engine's thread queues its reference; the engine's thread drops the
// queue at its next C entry, at aex/aim and at shutdown.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "num/num.h"

using namespace zk;

#define ZK_EXPORT extern "C" __attribute__((visibility("default")))

namespace zk {

// ---- references held by exported children, and their release queue ----
struct Ch {
  Ch *next;
  V v;
};
static std::atomic<Ch *> rq;            // queued references, any order
static std::atomic<const void *> eng;  // &tl of the engine's thread

void arrow_mine() { eng.store(&tl, std::memory_order_relaxed); }

void arrow_drain() {
  if (!rq.load(std::memory_order_relaxed)) return;
  Ch *c = rq.exchange(nullptr, std::memory_order_acquire);
  while (c) {
    Ch *n = c->next;
    mr(c->v);
    free(c);
    c = n;
  }
}

static void chdrop(Ch *c) {
  if (!c) return;
  if (eng.load(std::memory_order_relaxed) == &tl) {
    mr(c->v);
    free(c);
    return;
  }
  c->next = rq.load(std::memory_order_relaxed);
  while (!rq.compare_exchange_weak(c->next, c, std::memory_order_release, std::memory_order_relaxed)) {
  }
}

// ---- release callbacks ----
static void relSchemaChild(ArrowSchema *s) {
  if (!s->release) return;
  free((void *)s->name);
  s->release = nullptr;
}

static void relSchema(ArrowSchema *s) {
  if (!s->release) return;
  for (int64_t i = 0; i < s->n_children; i++) {
    ArrowSchema *c = s->children[i];
    if (c && c->release) c->release(c);
    free(c);
  }
  free(s->children);
  s->release = nullptr;
}

static void relArrayChild(ArrowArray *a) {
  if (!a->release) return;
  if (a->n_buffers == 3) free((void *)a->buffers[1]), free((void *)a->buffers[2]);
  free(a->buffers);
  chdrop((Ch *)a->private_data);
  a->release = nullptr;
}

static void relArray(ArrowArray *a) {
  if (!a->release) return;
  for (int64_t i = 0; i < a->n_children; i++) {
    ArrowArray *c = a->children[i];
    if (c && c->release) c->release(c);
    free(c);
  }
  free(a->children);
  free(a->buffers);
  a->release = nullptr;
}

// ---- export ----
static const char *fmt_of(int t) {
  switch (t) {
    case tBOOL: return "b";
    case tBYTE: return "c";  // signed: the engine's bytes are signed values
    case tSHORT: return "s";
    case tINT: return "i";
    case tFLT: return "g";
    case tSYM: return "u";
    default: return "l";  // longs, ranges, an empty general list
  }
}

// Symbol column: int32 offsets and the texts' bytes, from malloc.
static bool symbufs(V x, const void **b) {
  U n = nx(x);
  int32_t *o = (int32_t *)malloc(((UJ)n + 1) * 4);
  UJ tot = 0;
  for (U i = 0; i < n; i++) tot += strlen(su(PI(x)[i]));
  char *d = (char *)malloc(tot ? tot : 1);
  if (!o || !d) return free(o), free(d), false;
  UJ p = 0;
  o[0] = 0;
  for (U i = 0; i < n; i++) {
    const char *s = su(PI(x)[i]);
    size_t m = strlen(s);
    memcpy(d + p, s, m);
    p += m;
    o[i + 1] = (int32_t)p;
  }
  b[1] = o, b[2] = d;
  return true;
}

// Fills child i of the two top structures from column c (a new reference,
// taken over).  False when memory ran out; the top's counts stay those of
// the children filled, so its release cleans up.
static bool child(ArrowSchema *ts, ArrowArray *ta, I name, V c) {
  ArrowSchema *s = (ArrowSchema *)calloc(1, sizeof *s);
  ArrowArray *a = (ArrowArray *)calloc(1, sizeof *a);
  int t = tp(c);
  bool sym = t == tSYM;
  const void **b = (const void **)calloc(sym ? 3 : 2, sizeof(void *));
  Ch *h = (Ch *)malloc(sizeof(Ch));
  char *nm = strdup(su(name));
  if (!s || !a || !b || !h || !nm || (sym && !symbufs(c, b))) {
    free(s), free(a), free(b), free(h), free(nm);
    mr(c);
    return false;
  }
  s->format = fmt_of(t);
  s->name = nm;
  s->release = relSchemaChild;
  a->length = nx(c);
  a->n_buffers = sym ? 3 : 2;
  a->buffers = b;
  if (!sym) b[1] = P(c);
  h->next = nullptr;
  h->v = c;
  a->private_data = h;
  a->release = relArrayChild;
  ts->children[ts->n_children++] = s;
  ta->children[ta->n_children++] = a;
  return true;
}

// Checks one column: 0 when exportable, else the error to raise.
static V (*colbad(V c))() {
  int t = tp(c);
  if (t > tTSPAN || !heap(c)) return et0;
  if (t == tLIST) return nx(c) ? en0 : nullptr;
  if (t == tCHR || t > tSYM) return en0;
  if (t == tSYM) {  // offsets are int32
    UJ tot = 0;
    for (U i = 0; i < nx(c); i++) tot += strlen(su(PI(c)[i]));
    if (tot > 0x7fffffffull) return ez0;
  }
  return nullptr;
}

V aex(V x) {
  arrow_mine();
  arrow_drain();
  if (tp(x) != tLIST || nx(x) != 2) return et(x);
  V nm = PA(x)[0], cs = PA(x)[1];
  if (tp(nm) != tSYM || tp(cs) != tLIST || nx(nm) != nx(cs)) return et(x);
  U n = nx(cs);
  J len = -1;
  for (U i = 0; i < n; i++) {
    V c = PA(cs)[i];
    if (!heap(c) || tp(c) > tTSPAN) return et(x);
    J m = tp(c) == tRANGE ? PL(c)[1] - PL(c)[0] : (J)nx(c);
    if (len >= 0 && m != len) return et(x);
    len = m;
  }
  for (U i = 0; i < n; i++)
    if (auto e = colbad(PA(cs)[i])) return mr(x), e();
  ArrowSchema *ts = (ArrowSchema *)calloc(1, sizeof *ts);
  ArrowArray *ta = (ArrowArray *)calloc(1, sizeof *ta);
  if (!ts || !ta) return free(ts), free(ta), ez(x);
  ts->format = "+s";
  ts->release = relSchema;
  ta->release = relArray;
  ta->length = len < 0 ? 0 : len;
  ta->n_buffers = 1;
  ts->children = (ArrowSchema **)calloc(n ? n : 1, sizeof(void *));
  ta->children = (ArrowArray **)calloc(n ? n : 1, sizeof(void *));
  ta->buffers = (const void **)calloc(1, sizeof(void *));
  bool ok = ts->children && ta->children && ta->buffers;
  for (U i = 0; ok && i < n; i++) {
    V c = PA(cs)[i];
    if (tp(c) == tRANGE) c = (c = gZ(_r(c))) ? ct(tLONG, c) : 0;  // materialised
    else if (tp(c) == tLIST) c = ct(tLONG, _r(ce[tLONG]));
    else _r(c);
    ok = c && child(ts, ta, PI(nm)[i], c);
  }
  if (!ok) {
    relSchema(ts), relArray(ta), free(ts), free(ta);
    return ez(x);
  }
  mr(x);
  V r = an(2, tLONG);
  PL(r)[0] = (J)(uintptr_t)ts;
  PL(r)[1] = (J)(uintptr_t)ta;
  return r;
}

// ---- import ----
static inline bool vbit(const uint8_t *v, UJ i) { return (v[i >> 3] >> (i & 7)) & 1; }

enum Fk { K_U, K_B, K_c, K_C, K_S, K_I, K_L, K_G, K_N };
static Fk fkind(const char *f) {
  if (!f[0] || f[1]) return K_N;
  switch (f[0]) {
    case 'u': return K_U;
    case 'b': return K_B;
    case 'c': return K_c;
    case 'C': return K_C;
    case 's': return K_S;
    case 'i': return K_I;
    case 'l': return K_L;
    case 'g': return K_G;
    default: return K_N;
  }
}
static const int fkt[] = {tSYM, tBYTE, tBYTE, tBYTE, tSHORT, tINT, tLONG, tFLT};
static const int fkw[] = {0, 0, 1, 1, 2, 4, 8, 8};  // item bytes of the data buffer

// Checks child i against the top length: 0 when readable, else the error.
static V (*kidbad(ArrowSchema *s, ArrowArray *a, J len, J toff))() {
  if (!s || !a || !s->release || !a->release || !s->format) return ed0;
  if (s->dictionary || a->dictionary) return en0;
  Fk k = fkind(s->format);
  if (k == K_N) return en0;
  J o = a->offset;
  if (a->length < 0 || o < 0 || o > INT64_MAX - a->length || toff > a->length || a->length - toff < len)
    return ed0;
  if (a->n_buffers < (k == K_U ? 3 : 2) || !a->buffers) return ed0;
  if (k == K_U && a->buffers[1] && len) {
    const int32_t *of = (const int32_t *)a->buffers[1] + o + toff;
    if (of[0] < 0) return ed0;
    for (J j = 0; j < len; j++)
      if (of[j + 1] < of[j]) return ed0;
    if (of[len] > of[0] && !a->buffers[2]) return ed0;
  }
  return nullptr;
}

// Column from a checked child: len items from offset o.
static V column(ArrowSchema *s, ArrowArray *a, J len, J o) {
  Fk k = fkind(s->format);
  U n = (U)len;
  const uint8_t *v = (const uint8_t *)a->buffers[0];
  const uint8_t *d = (const uint8_t *)a->buffers[1];
  if (k == K_U) {
    V r = an(n, tSYM);
    const int32_t *of = (const int32_t *)d;
    const char *b = (const char *)a->buffers[2];
    for (U j = 0; j < n; j++) PI(r)[j] = of ? usn(b + of[o + j], (UJ)(of[o + j + 1] - of[o + j])) : 0;
    return r;
  }
  V r = an(n, fkt[k]);
  G *p = P(r);
  if (k == K_B) {
    for (U j = 0; j < n; j++) p[j] = d ? vbit(d, (UJ)o + j) : 0;
    if (v)
      for (U j = 0; j < n; j++)
        if (!vbit(v, (UJ)o + j)) p[j] = 0;
    return r;
  }
  UJ w = (UJ)fkw[k];
  if (d) memcpy(p, d + (UJ)o * w, (UJ)n * w);
  else memset(p, 0, (UJ)n * w);
  if (k == K_C) {  // unsigned bytes: above 127 they need shorts to stay positive
    U j = 0;
    while (j < n && p[j] < 128) j++;
    if (j < n) {
      V t = an(n, tSHORT);
      for (U i = 0; i < n; i++) P<int16_t>(t)[i] = p[i];
      mr(r);
      r = t;
    }
  }
  if (!v) return r;
  if (k == K_L || k == K_G) {
    for (U j = 0; j < n; j++)
      if (!vbit(v, (UJ)o + j)) PL(r)[j] = k == K_L ? NJ : (J)NF_BITS;
  } else if (k == K_I) {
    U j = 0;
    while (j < n && vbit(v, (UJ)o + j)) j++;
    if (j < n) {
      if (!(r = ct(tLONG, r))) return 0;
      for (; j < n; j++)
        if (!vbit(v, (UJ)o + j)) PL(r)[j] = NJ;
    }
  }
  return r;
}

static void consume(ArrowSchema *s, ArrowArray *a) {
  if (a->release) a->release(a);
  if (s->release) s->release(s);
  free(a);
  free(s);
}

V aim(V x) {
  arrow_mine();
  arrow_drain();
  if (tp(x) == tRANGE && !(x = gZ(x))) return 0;
  if (tp(x) > tTSPAN || !heap(x) || nx(x) != 2) return el(x);
  if (!(x = ct(tLONG, x))) return 0;
  ArrowSchema *s = (ArrowSchema *)(uintptr_t)PL(x)[0];
  ArrowArray *a = (ArrowArray *)(uintptr_t)PL(x)[1];
  mr(x);
  if (!s || !a || !s->release || !a->release) return ed0();
  V (*bad)() = nullptr;
  J len = a->length, n = s->n_children, toff = a->offset;
  if (!s->format || n != a->n_children || n < 0 || len < 0 || toff < 0 ||
      (n && (!s->children || !a->children)))
    bad = ed0;
  else if (strcmp(s->format, "+s")) bad = en0;
  else if (len > 0xFFFFFFFFll || n > 0xFFFFFFFFll) bad = ez0;
  for (J i = 0; !bad && i < n; i++) bad = kidbad(s->children[i], a->children[i], len, toff);
  if (bad) return consume(s, a), bad();
  V nm = an((U)n, tSYM), cs = n ? an((U)n, tLIST) : emp();
  for (J i = 0; i < n; i++) {
    ArrowSchema *cs_ = s->children[i];
    ArrowArray *ca = a->children[i];
    PI(nm)[i] = cs_->name ? us(cs_->name) : 0;
    V c = column(cs_, ca, len, ca->offset + toff);
    if (!c) {
      // slots from i on hold the builder's harmless `::`
      for (J j = i; j < n; j++) PA(cs)[j] = GNULL;
      mr(nm), mr(cs), consume(s, a);
      return 0;
    }
    PA(cs)[i] = c;
  }
  consume(s, a);
  return aA2(nm, cs);
}

}  // namespace zk

// ---- the C entries ----
static int exp_top(zelko_value t, ArrowSchema **so, ArrowArray **ao) {
  if (!t || tp(t) != tTABLE) {
    capi_err_set("'type: zelko_arrow_export needs a table");
    return -1;
  }
  V p = aA2(_r(PA(t)[0]), _r(PA(t)[1]));
  if (!p) {
    capi_err_set("'limit: allocation failed");
    return -1;
  }
  V r = aex(p);
  if (!r) {
    capi_err_grab();
    return -1;
  }
  *so = (ArrowSchema *)(uintptr_t)PL(r)[0];
  *ao = (ArrowArray *)(uintptr_t)PL(r)[1];
  mr(r);
  return 0;
}

ZK_EXPORT int zelko_arrow_export(zelko_value t, struct ArrowSchema **schema_out, struct ArrowArray **array_out) {
  if (schema_out) *schema_out = nullptr;
  if (array_out) *array_out = nullptr;
  if (!capi_enter()) return -1;
  if (!schema_out || !array_out) {
    capi_err_set("'domain: null Arrow struct");
    return -1;
  }
  return exp_top(t, schema_out, array_out);
}

ZK_EXPORT int zelko_arrow_export_into(zelko_value t, struct ArrowSchema *schema, struct ArrowArray *array) {
  if (!schema || !array) {
    capi_err_set("'domain: null Arrow struct");
    return -1;
  }
  if (!capi_enter()) return -1;
  ArrowSchema *s;
  ArrowArray *a;
  if (exp_top(t, &s, &a)) return -1;
  *schema = *s;
  *array = *a;
  free(s);
  free(a);
  return 0;
}

ZK_EXPORT zelko_value zelko_arrow_import(struct ArrowSchema *schema, struct ArrowArray *array) {
  if (!capi_enter()) return 0;
  if (!schema || !array) {
    capi_err_set("'domain: null Arrow struct");
    return 0;
  }
  if (!schema->release || !array->release) {
    capi_err_set("'domain: Arrow struct has already been released or moved");
    return 0;
  }
  ArrowSchema *s = (ArrowSchema *)malloc(sizeof *s);
  ArrowArray *a = (ArrowArray *)malloc(sizeof *a);
  if (!s || !a) {
    free(s), free(a);
    capi_err_set("'limit: allocation failed");
    return 0;
  }
  *s = *schema, *a = *array;
  schema->release = nullptr;
  array->release = nullptr;
  V p = an(2, tLONG);
  PL(p)[0] = (J)(uintptr_t)s;
  PL(p)[1] = (J)(uintptr_t)a;
  static V slot;
  V r = aim(p);
  if (r) r = k1(&slot, "{+(x 0)!x 1}", r);
  if (!r) capi_err_grab();
  return r;
}
