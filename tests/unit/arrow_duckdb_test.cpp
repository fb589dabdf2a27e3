// The Arrow bridge against an outside judge: DuckDB through its C API
// (libduckdb.so, installed by scripts/deps.sh, opened with dlopen).  DuckDB
// scans an exported table through a small ArrowArrayStream and its
// aggregates must equal the engine's columns'; a DuckDB query's Arrow
// chunks, NULLs included, are imported and compared value by value.
// Reported as skipped when the library is absent.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include <vector>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "core/sym.h"
#include "testutil.h"

#ifndef ZK_LANG_DIR
#define ZK_LANG_DIR "tests/lang"
#endif

using namespace zk;

namespace {

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

void bootc() {
  boot_once();
  if (!capi_booted) zelko_init(nullptr);
}

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
std::vector<Copy *> copies;
void cfree(Copy *c) {
  for (int64_t i = 0; i < c->n; i++) {
    Copy *k = (Copy *)c->kids[i]->private_data;
    if (!k->done) cfree(k);
    free(c->kids[i]);
  }
  free(c->kids), free(c->format), free(c->name);
  c->done = true;
}
void relCopy(ArrowSchema *s) {
  cfree((Copy *)s->private_data);
  s->release = nullptr;
}
void scopy(const ArrowSchema *f, ArrowSchema *t) {
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
std::vector<Copy *> tops;
void copies_free() {
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
int gs(ArrowArrayStream *st, ArrowSchema *out) {
  scopy(&((One *)st->private_data)->s, out);
  tops.push_back((Copy *)out->private_data);
  return 0;
}
int gn(ArrowArrayStream *st, ArrowArray *out) {
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
const char *gle(ArrowArrayStream *) { return "none"; }
void srel(ArrowArrayStream *st) {
  One *o = (One *)st->private_data;
  if (o->a.release) o->a.release(&o->a);
  o->s.release(&o->s);
  delete o;
  st->release = nullptr;
}

TEST(ArrowDuckDB, ScansAnExportedTable) {
  Duck d;
  if (!d.load()) GTEST_SKIP() << "libduckdb.so not found (scripts/deps.sh installs it)";
  bootc();
  const U N = 100000;
  const char *yt[] = {"ab", "cde", "", "a text longer than four bytes"};
  V cb = an(N, tBOOL), cc = an(N, tBYTE), cs = an(N, tSHORT), ci = an(N, tINT), cl = an(N, tLONG),
    cf = an(N, tFLT), cy = an(N, tSYM);
  memset(P(cb), 0, (N + 7) / 8);
  for (U i = 0; i < N; i++) {
    if (i % 3 == 0) P(cb)[i >> 3] |= (G)(1 << (i & 7));
    P<int8_t>(cc)[i] = (int8_t)(i % 256 - 128);
    P<int16_t>(cs)[i] = (int16_t)(i % 30011 - 15000);
    PI(ci)[i] = (I)(i * 7) - 350000;
    PL(cl)[i] = (J)i * 1000003 - (J)50000 * 1000003;
    PF(cf)[i] = i * 0.25 - 1000;
    PI(cy)[i] = us(yt[i % 7 % 4]);
  }
  V cols = an(7, tLIST);
  V all[] = {cb, cc, cs, ci, cl, cf, cy};
  memcpy(PA(cols), all, sizeof all);
  const char *nm[] = {"b", "c", "s", "i", "l", "f", "y"};
  V names = an(7, tSYM);
  for (int k = 0; k < 7; k++) PI(names)[k] = us(nm[k]);
  V t = aM(names, cols);
  // the engine's figures, from its own columns
  J cnt = N, sb = 0, nc = 0;
  J sum[5] = {}, mn[5], mx[5];
  for (int k = 0; k < 5; k++) mn[k] = WJ, mx[k] = -WJ;
  F sf = 0, mnf = INFINITY, mxf = -INFINITY;
  for (U i = 0; i < N; i++) {
    sb += (P(cb)[i >> 3] >> (i & 7)) & 1;
    J v[4] = {P<int8_t>(cc)[i], P<int16_t>(cs)[i], PI(ci)[i], PL(cl)[i]};
    for (int k = 0; k < 4; k++) sum[k] += v[k], mn[k] = std::min(mn[k], v[k]), mx[k] = std::max(mx[k], v[k]);
    sf += PF(cf)[i], mnf = std::min(mnf, PF(cf)[i]), mxf = std::max(mxf, PF(cf)[i]);
    nc += PI(cy)[i] == us("cde");
  }
  One *o = new One{};
  ASSERT_EQ(zelko_arrow_export_into(t, &o->s, &o->a), 0) << zelko_last_error();
  U rc = hd(cl)->rc;
  ArrowArrayStream st{gs, gn, gle, srel, o};
  ASSERT_EQ(d.arrow_scan(d.con, "zt", &st), 0);
  DRes r{};
  int q = d.query(d.con,
                  "SELECT count(*), sum(b::INT), sum(c), min(c), max(c), sum(s), min(s), max(s), "
                  "sum(i), min(i), max(i), sum(l), min(l), max(l), sum(f), min(f), max(f), "
                  "count(*) FILTER (WHERE y = 'cde') FROM zt",
                  &r);
  ASSERT_EQ(q, 0) << d.result_error(&r);
  EXPECT_EQ(d.v_i64(&r, 0, 0), cnt);
  EXPECT_EQ(d.v_i64(&r, 1, 0), sb);
  for (int k = 0; k < 4; k++) {
    EXPECT_EQ(d.v_i64(&r, 2 + 3 * k, 0), sum[k]) << nm[k + 1];
    EXPECT_EQ(d.v_i64(&r, 3 + 3 * k, 0), mn[k]) << nm[k + 1];
    EXPECT_EQ(d.v_i64(&r, 4 + 3 * k, 0), mx[k]) << nm[k + 1];
  }
  EXPECT_EQ(d.v_f64(&r, 14, 0), sf);
  EXPECT_EQ(d.v_f64(&r, 15, 0), mnf);
  EXPECT_EQ(d.v_f64(&r, 16, 0), mxf);
  EXPECT_EQ(d.v_i64(&r, 17, 0), nc);
  d.destroy_result(&r);
  if (st.release) st.release(&st);
  mr(zelko_eval_str("1"));  // drains releases made on DuckDB's threads
  EXPECT_EQ(hd(cl)->rc, rc - 1);
  mr(t);
  d.shut();
  copies_free();
}

TEST(ArrowDuckDB, ImportsQueryChunksWithNulls) {
  Duck d;
  if (!d.load()) GTEST_SKIP() << "libduckdb.so not found (scripts/deps.sh installs it)";
  bootc();
  DRes r{};
  ASSERT_EQ(d.query(d.con,
                    "CREATE TABLE q AS SELECT "
                    "CASE WHEN i % 7 = 0 THEN NULL ELSE i END::BIGINT a, "
                    "CASE WHEN i % 5 = 0 THEN NULL ELSE i * 3 - 9000 END::INTEGER b, "
                    "CASE WHEN i % 11 = 0 THEN NULL ELSE i % 200 - 100 END::TINYINT c, "
                    "CASE WHEN i % 13 = 0 THEN NULL ELSE i % 256 END::UTINYINT u, "
                    "CASE WHEN i % 3 = 0 THEN NULL ELSE i / 4 END::DOUBLE e, "
                    "CASE WHEN i % 17 = 0 THEN NULL ELSE i % 2 = 0 END::BOOLEAN f, "
                    "CASE WHEN i % 19 = 0 THEN NULL ELSE 'v' || i END::VARCHAR g, "
                    "i::BIGINT k FROM range(5000) t(i)",
                    &r),
            0)
      << d.result_error(&r);
  d.destroy_result(&r);
  ddb ar = nullptr;
  ASSERT_EQ(d.query_arrow(d.con, "SELECT * FROM q ORDER BY k", &ar), 0);
  U seen = 0;
  for (;;) {
    ArrowSchema s{};
    ArrowArray a{};
    void *sp = &s, *ap = &a;
    ASSERT_EQ(d.qa_schema(ar, &sp), 0) << d.qa_error(ar);
    ASSERT_EQ(d.qa_array(ar, &ap), 0) << d.qa_error(ar);
    if (!a.release) {
      s.release(&s);
      break;
    }
    V t = zelko_arrow_import(&s, &a);
    ASSERT_NE(t, 0u) << zelko_last_error();
    V c = PA(t)[1];
    ASSERT_EQ(nx(c), 8u);
    U n = nx(PA(c)[0]);
    EXPECT_EQ(tp(PA(c)[0]), tLONG);
    EXPECT_EQ(tp(PA(c)[4]), tFLT);
    EXPECT_EQ(tp(PA(c)[6]), tSYM);
    for (U j = 0; j < n; j++) {
      J i = PL(PA(c)[7])[j];
      EXPECT_EQ(i, (J)(seen + j));
      EXPECT_EQ(PL(PA(c)[0])[j], i % 7 ? i : NJ) << i;
      V b = PA(c)[1];  // int, or long once a chunk holds a null
      J bv = tp(b) == tINT ? PI(b)[j] : PL(b)[j];
      EXPECT_EQ(bv, i % 5 ? i * 3 - 9000 : NJ) << i;
      if (i % 5 == 0) EXPECT_EQ(tp(b), tLONG);
      V cc = PA(c)[2], u = PA(c)[3];
      EXPECT_EQ(tp(cc), tBYTE);
      if (i % 11) EXPECT_EQ(P<int8_t>(cc)[j], i % 200 - 100) << i;
      J uv = tp(u) == tBYTE ? P<int8_t>(u)[j] : P<int16_t>(u)[j];
      if (i % 13) EXPECT_EQ(uv, i % 256) << i;
      F e = PF(PA(c)[4])[j];
      if (i % 3) EXPECT_EQ(e, i / 4.0) << i;
      else EXPECT_TRUE(std::isnan(e)) << i;
      EXPECT_EQ(P(PA(c)[5])[j], i % 17 ? i % 2 == 0 : 0) << i;
      std::string g = i % 19 ? "v" + std::to_string(i) : "";
      EXPECT_EQ(su(PI(PA(c)[6])[j]), g) << i;
    }
    seen += n;
    mr(t);
  }
  EXPECT_EQ(seen, 5000u);
  d.destroy_arrow(&ar);
}

}  // namespace
