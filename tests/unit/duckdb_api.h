// duckdb_api.h: DuckDB's C library reached by dlopen, for the Arrow
// bridge's tests and benchmark: the few documented entries they use, and a
// one-batch ArrowArrayStream over a table exported on the engine's thread.
#pragma once
#include <dlfcn.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "zelko_capi.h"

#ifndef ZK_LANG_DIR
#define ZK_LANG_DIR "tests/lang"
#endif

namespace zkd {

// The stream interface of the Arrow C stream interface, as published.
struct ArrowArrayStream {
  int (*get_schema)(ArrowArrayStream *, ArrowSchema *out);
  int (*get_next)(ArrowArrayStream *, ArrowArray *out);
  const char *(*get_last_error)(ArrowArrayStream *);
  void (*release)(ArrowArrayStream *);
  void *private_data;
};

// The few documented DuckDB C API entries used here.  Handles are opaque
// pointers; duckdb_result is six pointer-sized fields.
using ddb = void *;
struct DRes {
  uint64_t cc, rc, chg;
  void *cols;
  char *err;
  void *internal;
};
struct Duck {
  void *h = nullptr;
  int (*open)(const char *, ddb *);
  void (*close)(ddb *);
  int (*connect)(ddb, ddb *);
  void (*disconnect)(ddb *);
  int (*query)(ddb, const char *, DRes *);
  void (*destroy_result)(DRes *);
  const char *(*result_error)(DRes *);
  int64_t (*v_i64)(DRes *, uint64_t, uint64_t);
  double (*v_f64)(DRes *, uint64_t, uint64_t);
  char *(*v_str)(DRes *, uint64_t, uint64_t);
  void (*dfree)(void *);
  int (*arrow_scan)(ddb, const char *, void *stream);
  int (*query_arrow)(ddb, const char *, ddb *);
  int (*qa_schema)(ddb, void **);
  int (*qa_array)(ddb, void **);
  const char *(*qa_error)(ddb);
  void (*destroy_arrow)(ddb *);
  ddb db = nullptr, con = nullptr;

  template <class T> bool sym(T &f, const char *n) {
    f = (T)dlsym(h, n);
    return f != nullptr;
  }
  bool load() {
    const char *env = getenv("ZELKO_DUCKDB_LIB");
    std::string dflt = std::string(ZK_LANG_DIR) + "/../../third_party/duckdb/package/libduckdb.so";
    h = dlopen(env && *env ? env : dflt.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) return false;
    bool ok = sym(open, "duckdb_open") && sym(close, "duckdb_close") && sym(connect, "duckdb_connect") &&
              sym(disconnect, "duckdb_disconnect") && sym(query, "duckdb_query") &&
              sym(destroy_result, "duckdb_destroy_result") && sym(result_error, "duckdb_result_error") &&
              sym(v_i64, "duckdb_value_int64") && sym(v_f64, "duckdb_value_double") &&
              sym(v_str, "duckdb_value_varchar") && sym(dfree, "duckdb_free") &&
              sym(arrow_scan, "duckdb_arrow_scan") && sym(query_arrow, "duckdb_query_arrow") &&
              sym(qa_schema, "duckdb_query_arrow_schema") && sym(qa_array, "duckdb_query_arrow_array") &&
              sym(qa_error, "duckdb_query_arrow_error") && sym(destroy_arrow, "duckdb_destroy_arrow");
    return ok && open(nullptr, &db) == 0 && connect(db, &con) == 0;
  }
  void shut() {
    if (con) disconnect(&con);
    if (db) close(&db);
    con = db = nullptr;
  }
  ~Duck() {
    shut();
    // the library stays loaded: its threads may outlive the close
  }
};

// ---- a one-batch stream over a table exported on the engine's thread ----
// get_schema hands out deep copies of the exported schema, so DuckDB's
// threads never enter the engine; the batch's release may run on any of
// them (the engine queues it).  DuckDB does not release every schema it
// asks for: each copy's memory is recorded in its own block (private_data)
// and what DuckDB left is freed once it is closed.
struct Copy {
  char *format, *name;
  ArrowSchema **kids;
  int64_t n;
  bool done;
};
inline std::vector<Copy *> copies;
inline void cfree(Copy *c) {
  for (int64_t i = 0; i < c->n; i++) {
    Copy *k = (Copy *)c->kids[i]->private_data;
    if (!k->done) cfree(k);
    free(c->kids[i]);
  }
  free(c->kids), free(c->format), free(c->name);
  c->done = true;
}
inline void relCopy(ArrowSchema *s) {
  cfree((Copy *)s->private_data);
  s->release = nullptr;
}
inline void scopy(const ArrowSchema *f, ArrowSchema *t) {
  *t = ArrowSchema{};
  Copy *c = new Copy{strdup(f->format), f->name ? strdup(f->name) : nullptr, nullptr, f->n_children, false};
  copies.push_back(c);
  t->format = c->format;
  t->name = c->name;
  t->flags = f->flags;
  t->n_children = f->n_children;
  t->children = c->kids = (ArrowSchema **)calloc(f->n_children ? f->n_children : 1, sizeof(void *));
  for (int64_t i = 0; i < f->n_children; i++) {
    t->children[i] = (ArrowSchema *)calloc(1, sizeof(ArrowSchema));
    scopy(f->children[i], t->children[i]);
  }
  t->private_data = c;
  t->release = relCopy;
}
inline std::vector<Copy *> tops;
inline void copies_free() {
  for (Copy *c : tops)
    if (!c->done) cfree(c);
  for (Copy *c : copies) delete c;
  copies.clear(), tops.clear();
}
struct One {
  ArrowSchema s;
  ArrowArray a;
  bool given;
};
inline int s_schema(ArrowArrayStream *st, ArrowSchema *out) {
  scopy(&((One *)st->private_data)->s, out);
  tops.push_back((Copy *)out->private_data);
  return 0;
}
inline int s_next(ArrowArrayStream *st, ArrowArray *out) {
  One *o = (One *)st->private_data;
  if (o->given) {
    *out = ArrowArray{};
    return 0;
  }
  *out = o->a;  // moved
  o->a.release = nullptr;
  o->given = true;
  return 0;
}
inline const char *s_err(ArrowArrayStream *) { return "none"; }
inline void s_rel(ArrowArrayStream *st) {
  One *o = (One *)st->private_data;
  if (o->a.release) o->a.release(&o->a);
  o->s.release(&o->s);
  delete o;
  st->release = nullptr;
}

}  // namespace zkd
