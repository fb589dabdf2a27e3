// parse_fuzz.cpp: libFuzzer target for the parser and the literal
// scanners.  Not part of the CMake build: it needs clang's libFuzzer and
// the whole engine compiled with the sanitizers, which scripts/fuzz.sh
// does (every engine source by clang, instrumented):
//
//   scripts/fuzz.sh build      # build-fuzz/parse_fuzz and eval_fuzz
//   scripts/fuzz.sh run 600    # both, ten minutes, on the committed corpus
//
// or by hand, from the repository root:
//
//   build-fuzz/parse_fuzz -max_total_time=600 -max_len=512 \
//     -dict=tests/fuzz/parse.dict /tmp/parse_corpus tests/fuzz/corpus/parse
//
// Each input is parsed as a whole text (the builtin p) and again one line
// at a time (statement evaluation), and read by the float scanner with a
// cursor of its own.  Checked besides memory safety: a failure leaves an
// error text, the cursor stays inside the text and always moves on a
// successful line, and plain decimal text converts exactly as strtod does.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include "core/core.h"
#include "core/diag.h"
#include "core/err.h"
#include "eval/lit.h"
#include "eval/parse.h"

using namespace zk;

static void check(bool ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "parse_fuzz: %s\n", what);
    abort();
  }
}

// -?digits[.digits][e-?digits], at least one digit, at most 15 exponent
// digits: the texts whose value strtod agrees on.
static bool plain(const char *s) {
  if (*s == '-') s++;
  int nd = 0;
  while (*s >= '0' && *s <= '9') s++, nd++;
  if (*s == '.') {
    s++;
    while (*s >= '0' && *s <= '9') s++, nd++;
  }
  if (!nd) return false;
  if (*s == 'e') {
    s++;
    if (*s == '-') s++;
    int ne = 0;
    while (*s >= '0' && *s <= '9') s++, ne++;
    if (!ne || ne > 15) return false;
  }
  return *s == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool booted = (kinit(), zkdiag = 0, true);
  (void)booted;
  std::string s((const char *)data, size);  // an embedded NUL ends the text
  const char *t = s.c_str(), *end = t + strlen(t);

  tl.err_end = tl.err_text;
  const char *c = t;
  V r = pk_(&c, 0);
  check(c >= t && c <= end, "cursor outside the text");
  if (r) mr(r);
  else check(elen() > 1 && tl.err_text[0] == '\'', "failure without an error text");

  c = t;
  while (*c) {
    const char *b = c;
    tl.err_end = tl.err_text;
    r = pk_(&c, '\n');
    check(c >= t && c <= end, "cursor outside the text (line)");
    if (!r) break;
    mr(r);
    check(c > b, "a successful line did not move the cursor");
  }

  c = t;
  UJ bits = pf(&c);
  check(c >= t && c <= end, "float cursor outside the text");
  if (plain(t)) {
    double d = strtod(t, nullptr);
    UJ want;
    memcpy(&want, &d, 8);
    check(bits == want, "float differs from strtod");
    check(c == end, "float not read whole");
  }
  return 0;
}
