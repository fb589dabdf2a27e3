// ipc_fuzz.cpp: libFuzzer targets for the message decoder (qdes, plain and
// compressed) and the native deserialiser (des).  Built by scripts/fuzz.sh
// like parse_fuzz.cpp (every engine source instrumented), once with
// ZK_FUZZ_DES for des_fuzz and once without for qdes_fuzz:
//
//   build-fuzz/qdes_fuzz -max_total_time=600 -dict=tests/fuzz/ipc.dict \
//     /tmp/qdes_corpus tests/fuzz/corpus/qdes
//
// qdes_fuzz reads the input as it is, then as the body of a plain message
// and as the body of a compressed one (length fields filled in, so the
// decoder gets past the header).  des_fuzz reads it as it is and after the
// "ZKB" version 1 prefix.  Checked besides memory safety: a failure leaves
// 'domain, 'nyi (or, for messages, a remote error's text); a decoded value
// encodes again, and decoding and encoding that once more gives the same
// bytes.  Each input ends as a statement does, with mc(): the mappings of
// large objects freed by it are returned, or they add up across inputs to
// the sandbox's memory budget and end the process.
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
    fprintf(stderr, "ipc_fuzz: %s\n", what);
    abort();
  }
}

static bool named(const char *n) {
  U k = (U)strlen(n);
  return elen() > k && !memcmp(tl.err_text, n, k) && tl.err_text[k] == '\n';
}

static bool same(V a, V b) { return nx(a) == nx(b) && !memcmp(P(a), P(b), nx(a)); }

#ifdef ZK_FUZZ_DES
static void one(const std::string &s) {
  tl.err_end = tl.err_text;
  V v = des9(aCn(s.data(), (U)s.size()));
  if (!v) return check(named("'domain"), "des failed without 'domain");
  V a = ser8(v);
  check(a, "a decoded value does not serialise");
  V w = des9(_r(a));
  check(w, "a serialised value does not decode");
  V b = ser8(w);
  check(b && same(a, b), "second serialisation differs");
  mr(a), mr(b);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool booted = (kinit(), zkdiag = 0, true);
  (void)booted;
  if (size > 1 << 20) return 0;
  std::string s((const char *)data, size);
  one(s);
  one(std::string("ZKB\1", 4) + s);
  mc();
  return 0;
}
#else
static void one(const std::string &s) {
  tl.err_end = tl.err_text;
  V v = qdes(aCn(s.data(), (U)s.size()));
  if (!v) return check(elen() > 1 && tl.err_text[0] == '\'', "qdes failed without an error");
  V a = qser(v, 0);
  mr(v);
  check(a, "a decoded value does not encode");
  V w = qdes(_r(a));
  check(w, "an encoded value does not decode");
  V b = qser(w, 0);
  mr(w);
  check(b && same(a, b), "second encoding differs");
  mr(a), mr(b);
}

static std::string framed(const std::string &body, bool z) {
  std::string m("\x01\0\0\0\0\0\0\0", 8);
  m[2] = z;
  m += body;
  U n = (U)m.size();
  memcpy(&m[4], &n, 4);
  return m;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool booted = (kinit(), zkdiag = 0, true);
  (void)booted;
  if (size > 1 << 20) return 0;
  std::string s((const char *)data, size);
  one(s);
  one(framed(s, false));
  one(framed(s, true));
  mc();
  return 0;
}
#endif
