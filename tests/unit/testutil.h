// testutil.h: boot the runtime once per test process.
#pragma once
#include <gtest/gtest.h>
#include <chrono>
#include <initializer_list>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "core/core.h"
#include "core/err.h"
#include "core/sym.h"
#include "io/io.h"
#include "order/order.h"

namespace zk {
inline void boot_once() {
  if (!kinit_done) kinit();
}

// Free bytes on this thread's free lists: a value that a path forgot to
// release shows as fewer free bytes after the path than before.
inline UJ freebytes() {
  UJ t = 0;
  for (int k = 0; k < 24; k++)
    for (V d = tl.bkt[k]; d; d = hd(d)->link) t += 64ull << k;
  return t;
}

// Sets ZELKO_THREADS for one scope (unsets it for nullptr) and restores
// what was there.
struct EnvThreads {
  std::string old;
  bool had;
  explicit EnvThreads(const char *v) {
    const char *o = getenv("ZELKO_THREADS");
    had = o != nullptr;
    if (had) old = o;
    if (v) setenv("ZELKO_THREADS", v, 1);
    else unsetenv("ZELKO_THREADS");
  }
  ~EnvThreads() {
    if (had) setenv("ZELKO_THREADS", old.c_str(), 1);
    else unsetenv("ZELKO_THREADS");
  }
};

// Aborts the test process when a test body has not finished in time, so a
// lost wake-up fails the run instead of hanging it.
struct Watchdog {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::thread t;
  Watchdog(int secs, const char *what)
      : t([this, secs, what] {
          std::unique_lock<std::mutex> l(m);
          if (!cv.wait_for(l, std::chrono::seconds(secs), [this] { return done; })) {
            fprintf(stderr, "watchdog: %s did not finish in %d s\n", what, secs);
            abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> l(m);
      done = true;
    }
    cv.notify_all();
    t.join();
  }
};
// Each statement fails under ev; once whatever a first failure fills in is
// warm, a failure gives back every byte it took.
inline void fails_leak_nothing(V (*ev)(const char *), std::initializer_list<const char *> ss) {
  for (const char *s : ss) {
    for (int i = 0; i < 2; i++) EXPECT_FALSE(ev(s)) << s;
    UJ a = freebytes();
    EXPECT_FALSE(ev(s)) << s;
    EXPECT_EQ(freebytes(), a) << s;
  }
}

// Runs /usr/bin/python3 on script with the doubles x in the file named by
// argv[1] (args follow argv[2]); the doubles it writes to the file named by
// argv[2] go to out.  False when python3, or a module the script needs, is
// missing.
inline bool pyf(const std::string &script, const std::vector<F> &x, const std::string &args,
                std::vector<F> &out) {
  char in[] = "/tmp/zk_py_inXXXXXX", res[] = "/tmp/zk_py_outXXXXXX";
  int fi = mkstemp(in), fo = mkstemp(res);
  if (fi < 0 || fo < 0) return false;
  bool ok = write(fi, x.data(), x.size() * 8) == (ssize_t)(x.size() * 8);
  close(fi), close(fo);
  std::string sc = std::string(res) + ".py";
  FILE *f = fopen(sc.c_str(), "w");
  fputs(script.c_str(), f), fclose(f);
  std::string cmd = "/usr/bin/python3 " + sc + " " + in + " " + res + " " + args + " 2>/dev/null";
  ok = ok && system(cmd.c_str()) == 0;
  out.clear();
  if (ok)
    if (FILE *g = fopen(res, "rb")) {
      F d;
      while (fread(&d, 8, 1, g) == 1) out.push_back(d);
      fclose(g);
    }
  unlink(in), unlink(res), unlink(sc.c_str());
  return ok;
}

}  // namespace zk

// Helpers shared by the tests.  They live in zkt, not zk, so a
// file takes them by name (`using namespace zkt;` or `using zkt::bits;`)
// and other tests' own helpers of the same names do not clash.
#include <cstring>
#include <vector>

namespace zkt {
using namespace zk;

// The thread's whole error text.
inline std::string etext() { return std::string(tl.err_text, elen()); }

// The source form of x (consumed); for a failure (x is 0) the first line
// of the error text.
inline std::string ks(V x) {
  if (!x) {
    std::string e = etext();
    return e.substr(0, e.find('\n'));
  }
  V s = kst(x);
  if (!s) return "<k failed>";
  std::string t(PC(s), nx(s));
  mr(s);
  return t;
}

// Makes global name hold v (consumed).
inline void setg(const char *name, V v) {
  V s = as(us(name));
  U i = gi(s);
  if (gv[i]) mr(gv[i]);
  gv[i] = v;
}

inline UJ bits(F d) {
  UJ b;
  memcpy(&b, &d, 8);
  return b;
}
inline F dbl(UJ b) {
  F d;
  memcpy(&d, &b, 8);
  return d;
}
// Bitwise equality, any NaN matching any NaN.
inline bool same(F a, F b) { return (a != a && b != b) || bits(a) == bits(b); }
// Match with floats compared bit for bit (any NaN still equal to any NaN):
// the oracle for kernels that must keep -0.0 apart from 0.0, which match
// treats as one.
inline bool bitm(V x, V y) {
  if (!mtc_(x, y)) return false;
  int t = tp(x);
  if (t != tp(y) || !heap(x)) return true;
  if (t == tFLT || t == tFLTA) {
    for (U i = 0; i < nx(x); i++)
      if (!same(PF(x)[i], PF(y)[i])) return false;
  } else if (iscont(t)) {
    for (U i = 0, n = nx(x) ? nx(x) : 1; i < n; i++)
      if (!bitm(PA(x)[i], PA(y)[i])) return false;
  }
  return true;
}
// The value of an int or long atom, boxed or immediate.
inline J aval(V x) { return heap(x) ? PL(x)[0] : ip(x); }

// An integer vector of type t (byte, short, int or long) holding v.
inline V mk(int t, const std::vector<J> &v) {
  V x = an((U)v.size(), t);
  for (size_t i = 0; i < v.size(); i++) switch (Tw[t]) {
      case 3: P<int8_t>(x)[i] = (int8_t)v[i]; break;
      case 4: P<int16_t>(x)[i] = (int16_t)v[i]; break;
      case 5: PI(x)[i] = (I)v[i]; break;
      default: PL(x)[i] = v[i];
    }
  return x;
}
// An empty general list whose prototype is proto (consumed).
inline V emptyl(V proto) {
  V l = aA0(0);
  mr(PA(l)[0]);
  PA(l)[0] = proto;
  return l;
}
// Item i of an integer vector of any width, widened; and all of them.
inline J at(V x, U i) {
  switch (Tw[tp(x)]) {
    case 3: return P<int8_t>(x)[i];
    case 4: return P<int16_t>(x)[i];
    case 5: return PI(x)[i];
    default: return PL(x)[i];
  }
}
inline std::vector<J> items(V x) {
  std::vector<J> r;
  for (U i = 0; i < nx(x); i++) r.push_back(at(x, i));
  return r;
}

}  // namespace zkt
