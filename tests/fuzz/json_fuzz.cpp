// json_fuzz.cpp: libFuzzer target for the JSON reader (j?text) and writer
// (builtin j).  Built by scripts/fuzz.sh like parse_fuzz.cpp (every engine
// source instrumented) and seeded with the parsing files of
// tests/data/JSONTestSuite:
//
//   build-fuzz/json_fuzz -max_total_time=600 -dict=tests/fuzz/json.dict \
//     /tmp/json_corpus tests/fuzz/corpus/json tests/data/JSONTestSuite/test_parsing
//
// Each input is read as it is (the four zero bytes the reader adds must
// stop every scanner).  Checked besides memory safety: a failure leaves
// 'parse or 'type with a caret; a value read writes, its text reads back,
// and writing that gives the same text again (the first write already
// normalises numbers, nulls and keys).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "core/core.h"
#include "core/diag.h"
#include "core/err.h"
#include "io/io.h"

using namespace zk;

static void check(bool ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "json_fuzz: %s\n", what);
    abort();
  }
}

static bool named(const char *n) {
  U k = (U)strlen(n);
  return elen() > k && !memcmp(tl.err_text, n, k) && tl.err_text[k] == '\n';
}

static bool same(V a, V b) { return nx(a) == nx(b) && !memcmp(P(a), P(b), nx(a)); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool booted = (kinit(), zkdiag = 0, true);
  (void)booted;
  if (size > 1 << 20) return 0;
  tl.err_end = tl.err_text, tl.err_blocks = 0;
  V v = js0(aCn((const char *)data, (U)size));
  if (!v) {
    check(named("'parse"), "read failed without 'parse");
    check(memchr(tl.err_text, '^', elen()) != nullptr, "'parse without a caret");
    return 0;
  }
  V a = js1(v);
  check(a, "a value read does not write");
  V w = js0(_r(a));
  check(w, "written text does not read back");
  V b = js1(w);
  check(b && same(a, b), "second writing differs");
  mr(a), mr(b);
  return 0;
}
