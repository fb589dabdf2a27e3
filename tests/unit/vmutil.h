// vmutil.h: compile and run statements, for the tests of the compiler and
// the VM: their error texts, and a check that a statement leaves no value
// behind.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/diag.h"
#include "core/err.h"
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

}  // namespace zk::vmt
