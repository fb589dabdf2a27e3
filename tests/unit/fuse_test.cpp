// fuse_test.cpp: the fused expression runner against the plain code.  Every
// statement runs twice, compiled with and without fusion (fzoff), over
// tables of expressions and operand types: values, types and error texts
// must agree.  The runner is also called directly on a lambda's fused
// program, to see that it did not decline.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "eval/b.h"
#include "list/list.h"
#include "num/num.h"
#include "order/order.h"
#include "vmutil.h"

namespace zk {
namespace {

using vmt::boot, vmt::comp, vmt::ev, vmt::leak, zkt::bitm, zkt::etext, zkt::mk, zkt::setg;

struct Out {
  V v;
  std::string e;
};
Out run1(const std::string &s, G off) {
  fzoff = off;
  V r = ev(s.c_str());
  fzoff = 0;
  return {r, r ? "" : etext()};
}

// The lambda's fused program run directly on args (borrowed): 0 when the
// runner declines.
V direct(const std::string &lam, const std::vector<V> &args) {
  V f = comp(lam.c_str());
  EXPECT_TRUE(f) << lam;
  if (!f) return 0;
  V k = PA(f)[4];
  V r = 0;
  if (tp(k) == tLIST) r = fzrun(k, args.data());
  mr(f);
  return r;
}

// Plain and fused agree: same value bit for bit, same type, same error.
void same(const std::string &s) {
  Out p = run1(s, 1), f = run1(s, 0);
  EXPECT_EQ(f.e, p.e) << s;
  if (p.v && f.v) {
    EXPECT_EQ(tp(f.v), tp(p.v)) << s;
    EXPECT_TRUE(bitm(f.v, p.v)) << s;
  }
  if (p.v) mr(p.v);
  if (f.v) mr(f.v);
}

V fv(const std::vector<F> &v) {
  V x = an((U)v.size(), tFLT);
  memcpy(PF(x), v.data(), 8 * v.size());
  return x;
}
// n items cycling through v.
template <class T> std::vector<T> cyc(const std::vector<T> &v, size_t n) {
  std::vector<T> r(n);
  for (size_t i = 0; i < n; i++) r[i] = v[i % v.size()];
  return r;
}

TEST(Fuse, SmokeDirect) {
  boot();
  V a = fv(cyc<F>({1, 2.5, -3}, 2048)), b = fv(cyc<F>({4, 5}, 2048));
  V r = direct("{[a;b]a+b*a}", {a, b});
  ASSERT_TRUE(r);
  EXPECT_EQ(tp(r), tFLT);
  EXPECT_EQ(PF(r)[0], 1 + 4 * 1.0);
  EXPECT_EQ(PF(r)[2047], PF(a)[2047] + PF(b)[2047] * PF(a)[2047]);
  mr(r), mr(a), mr(b);
}

}  // namespace
}  // namespace zk
