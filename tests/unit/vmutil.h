// vmutil.h: compile and run statements, and list their bytecode (golden
// listings with global slots shown by name), for the tests of the compiler and
// the VM: their error texts, and a check that a statement leaves no value
// behind.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/vm.h"
#include "eval/eval.h"
#include "eval/parse.h"
#include "testutil.h"

namespace zk::vmt {

inline void boot() {
  boot_once();
  zkdiag = 0;  // the plain error text is what these tests read
}

using zkt::etext;
// The error's first line: its name.
inline std::string ename() {
  std::string t = etext();
  return t.substr(0, t.find('\n'));
}

// The compiled statement, or the lambda itself when the text is one lambda
// literal (the parser compiles those while it reads them).
inline V comp(const char *s) {
  const char *c = s;
  V t = pk_(&c, 0);
  if (!t) return 0;
  if (tp(t) == tLAMBDA) return t;
  return cpl_(aCz(s), t, 0);
}

// Parse, compile and run a statement.
inline V ev(const char *s) {
  V f = comp(s);
  if (!f) return 0;
  V r = tp(f) == tLAMBDA && hd(f)->valence ? _r(f) : run(f, nullptr, 0);
  mr(f);
  return r;
}

// The integer a statement gives.
inline J evi(const char *s) {
  V r = ev(s);
  EXPECT_TRUE(r) << s << "\n" << etext();
  if (!r) return -999;
  int t = tp(r);
  EXPECT_TRUE(t == tINTA || t == tLONGA) << s << " type " << t;
  return gl(r);
}

// Runs s twice to settle every lazily made symbol, global slot and block
// split, then once more measuring the free bytes it keeps.
inline UJ leak(const char *s) {
  for (int i = 0; i < 2; i++) {
    V r = ev(s);
    if (r) mr(r);
  }
  UJ a = freebytes();
  V r = ev(s);
  if (r) mr(r);
  return a - freebytes();
}

// Listing with the frame depth first and every global slot replaced by its
// name, so listings do not depend on the order other tests made globals.
inline std::string listing(V f) {
  std::string o;
  EXPECT_EQ(dis(f, o), 1);
  std::string r = "depth " + std::to_string(P(PA(f)[1])[0]) + "\n";
  size_t p = 0;
  while (p < o.size()) {
    size_t e = o.find('\n', p);
    std::string ln = o.substr(p, e - p + 1);
    p = e + 1;
    bool g = ln.find("GLB") != std::string::npos || ln.find("ASNG") != std::string::npos ||
             ln.find("GETG ") != std::string::npos;
    size_t q = ln.find("idx=");
    if (g && q != std::string::npos) {
      size_t q2 = q + 4;
      U n = 0;
      while (isdigit((unsigned char)ln[q2])) n = n * 10 + (ln[q2++] - '0');
      ln = ln.substr(0, q + 4) + su((I)(U)gk[n]) + ln.substr(q2);
    }
    r += ln;
  }
  return r;
}

inline std::string lst(const char *s) {
  V f = comp(s);
  if (!f) return "FAIL " + etext();
  std::string r = listing(f);
  mr(f);
  return r;
}

inline bool dump() { return getenv("VM_TEST_DUMP") != nullptr; }

struct Gold {
  const char *src, *want;
};

inline void golden(const std::vector<Gold> &cases) {
  boot();
  for (const Gold &g : cases) {
    std::string got = lst(g.src);
    if (dump()) printf("==== %s\n%s", g.src, got.c_str());
    EXPECT_EQ(got, g.want) << "source: " << g.src;
  }
}

}  // namespace zk::vmt
