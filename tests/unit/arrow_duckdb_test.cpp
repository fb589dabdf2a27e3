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
#include "duckdb_api.h"

#ifndef ZK_LANG_DIR
#define ZK_LANG_DIR "tests/lang"
#endif

using namespace zk;
using namespace zkd;

namespace {

void bootc() {
  boot_once();
  if (!capi_booted) zelko_init(nullptr);
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
  ArrowArrayStream st{s_schema, s_next, s_err, s_rel, o};
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
      if (i % 5 == 0) { EXPECT_EQ(tp(b), tLONG); }
      V cc = PA(c)[2], u = PA(c)[3];
      EXPECT_EQ(tp(cc), tBYTE);
      if (i % 11) { EXPECT_EQ(P<int8_t>(cc)[j], i % 200 - 100) << i; }
      J uv = tp(u) == tBYTE ? P<int8_t>(u)[j] : P<int16_t>(u)[j];
      if (i % 13) { EXPECT_EQ(uv, i % 256) << i; }
      F e = PF(PA(c)[4])[j];
      if (i % 3) { EXPECT_EQ(e, i / 4.0) << i; }
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
