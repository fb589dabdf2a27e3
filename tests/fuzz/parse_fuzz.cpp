// parse_fuzz.cpp: libFuzzer target for the parser and the literal
// scanners.  Not part of the CMake build: it needs clang's libFuzzer and
// the whole engine compiled with the sanitizers.  From the repository
// root, with every engine source compiled by clang:
//
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined \
//     -fno-sanitize-recover=undefined -fno-exceptions -fno-rtti \
//     -ffp-contract=off -msse4.2 -Isrc -Iinclude tests/fuzz/parse_fuzz.cpp \
//     src/{core,eval,capi,num,list,order,table,io,shell}/*.cpp \
//     -lpthread -ldl -o /tmp/parse_fuzz
//
// Sources that clang rejects (some vector-extension code is written for
// gcc) can be compiled by g++ without instrumentation and linked in; they
// are then neither checked nor covered:
//
//   O=/tmp/parse_fuzz_obj; CF="-std=c++20 -O1 -g -fno-exceptions -fno-rtti
//     -ffp-contract=off -msse4.2 -Isrc -Iinclude"; mkdir -p $O
//   for f in src/{core,eval,capi,num,list,order,table,io,shell}/*.cpp; do
//     o=$O/$(echo $f | tr / _).o
//     clang++ $CF -fsanitize=fuzzer-no-link,address,undefined \
//       -fno-sanitize-recover=undefined -c $f -o $o || g++ $CF -c $f -o $o
//   done
//   clang++ $CF -fsanitize=fuzzer,address,undefined tests/fuzz/parse_fuzz.cpp \
//     $O/*.o -lpthread -ldl -o /tmp/parse_fuzz
//
// Run:
//
//   mkdir -p /tmp/parse_corpus && /tmp/parse_fuzz -max_total_time=600 \
//     -max_len=512 -dict=tests/fuzz/parse.dict /tmp/parse_corpus
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
