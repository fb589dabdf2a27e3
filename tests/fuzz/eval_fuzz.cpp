// eval_fuzz.cpp: libFuzzer target for evaluation.  Built with the whole
// engine instrumented (scripts/fuzz.sh), it boots once through the C
// interface and evaluates each input one line at a time through
// zelko_eval_str, as a host would, releasing every result.  Any failure
// the language reports is fine ('limit, 'type, 'nyi ...); what is not:
// a crash, a sanitizer report, a process-ending condition, a hang past
// libFuzzer's -timeout, or memory the input kept.
//
// Kept memory is checked after each input, once the globals the input
// made or changed are put back: the bytes on this thread's free lists
// must be what they were before it, and so must the reference count of
// every global that existed at boot.  A first use may fill a cache (a
// cached lambda, a split block) once, so a shortfall is only a fault when
// the same input, run again, falls short again.
//
// The engine objects are linked with their calls into the system renamed
// to the zkfz_ functions of sandbox.cpp: no file, process, library or
// socket is reachable, and the engine's mappings have a budget, beyond
// which a mapping fails and the process ends as it would when memory is
// out, but quietly and counted as the memory limit, not as a fault.
//
// Input: at most MAXIN bytes (longer inputs are refused, not run); an
// embedded NUL ends the text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "core/core.h"
#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "zelko_capi.h"

using namespace zk;

namespace {

constexpr size_t MAXIN = 1024;

[[noreturn]] void fail(const char *what, const std::string &in) {
  fprintf(stderr, "eval_fuzz: %s\ninput:\n%s\n", what, in.c_str());
  abort();
}

// A block freed twice makes a free list a cycle: the walk stops past
// any size the lists could really hold.
UJ freebytes(const std::string &in) {
  UJ t = 0;
  for (int k = 0; k < 24; k++)
    for (V d = tl.bkt[k]; d; d = hd(d)->link)
      if ((t += 64ull << k) > (1ull << 44)) fail("a free list runs in a cycle", in);
  return t;
}

// The globals that exist at boot, each held by one reference of ours so
// that an input reassigning one cannot free it, and their counts then.
U g0;
std::vector<V> gsave;
std::vector<U> grc;

void snap() {
  g0 = gn;
  for (U i = 0; i < g0; i++) {
    V v = gv[i];
    if (v && heap(v)) _r(v);
    gsave.push_back(v);
    grc.push_back(v && heap(v) ? hd(v)->rc : 0);
  }
}

// Puts the globals table back as it was at boot: the values the input
// gave are released, new slots emptied (a slot is never removed, so its
// name stays known), and the namespace and switches reset.
void restore() {
  for (U i = 0; i < gn; i++) {
    V want = i < g0 ? gsave[i] : 0;
    if (gv[i] == want) continue;
    if (gv[i]) mr(gv[i]);
    gv[i] = want && heap(want) ? _r(want) : want;
  }
  gd = 0;
  zkdiag = 0;
  zktrv = 0;
  gfull = 0;
}

void held(const std::string &in) {
  for (U i = 0; i < g0; i++)
    if (gsave[i] && heap(gsave[i]) && hd(gsave[i])->rc != grc[i])
      fail("the reference count of a global changed", in);
}

void run(const std::string &in) {
  const char *p = in.c_str();
  std::string line;
  for (;;) {
    const char *e = strchr(p, '\n');
    line.assign(p, e ? (size_t)(e - p) : strlen(p));
    zelko_value r = zelko_eval_str(line.c_str());
    if (r) zelko_release(r);
    else if (zelko_last_error()[0] != '\'') fail("a failure without an error text", in);
    mc();
    zkdiag = 0;
    if (!e) break;
    p = e + 1;
  }
  restore();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // One thread: the free-list check reads this thread's lists only.
  setenv("ZELKO_THREADS", "1", 0);
  if (zelko_init(nullptr) != 0) return fprintf(stderr, "eval_fuzz: boot failed\n"), 1;
  zelko_set_diagnostics(0);
  zkdiag = 0;
  snap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > MAXIN) return -1;
  std::string in((const char *)data, size);
  in.resize(strlen(in.c_str()));  // an embedded NUL ends the text
  UJ before = freebytes(in);
  run(in);
  held(in);
  if (freebytes(in) < before) {
    // Maybe a cache filled on first use: the second run must keep nothing.
    before = freebytes(in);
    run(in);
    held(in);
    if (freebytes(in) < before) fail("the input kept memory after its values were released", in);
  }
  return 0;
}
