// handle.cpp: handles and the event loop that serves them while a reader
// waits for input.
//
// least version: the listener and the connections are not served yet (no
// wire codec); qpoll waits on standard input and fires the timer.  The
// settings qls, qlp, qtp and qtn are written by the port and timer commands
// and, until those exist, by tests.
#include "io/io.h"
#include <poll.h>
#include <sys/time.h>
#include <ctime>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include "core/err.h"
#include "eval/eval.h"

namespace zk {

I qls = -1, qlp;
J qtp, qtn;

J qnow() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return (J)tv.tv_sec * 1000 + tv.tv_usec / 1000;
}

void qerrp() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm t;
  time_t s = tv.tv_sec;
  localtime_r(&s, &t);
  char b[64];
  int n = snprintf(b, sizeof b, "'%04d.%02d.%02dT%02d:%02d:%02d.%03d ", t.tm_year + 1900,
                   t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, (int)(tv.tv_usec / 1000));
  if (write(1, b, (size_t)n) == n) {
    const char *e = tl.err_text, *z = e + elen();
    if (e < z && *e == '\'') e++;
    const char *nl = (const char *)memchr(e, '\n', (size_t)(z - e));
    if (nl) z = nl;
    ssize_t r = write(1, e, (size_t)(z - e));
    r = write(1, "\n", 1);
    (void)r;
  }
  eclr();
}

I qpoll() {
  struct pollfd p = {0, POLLIN, 0};
  int to = -1;
  if (qtp > 0) {
    J d = qtn - qnow();
    to = d < 0 ? 0 : d > 0x7FFFFFFF ? 0x7FFFFFFF : (int)d;
  }
  int r = poll(&p, 1, to);
  // A signal (a resize) interrupting the wait is no news about standard
  // input: the caller looks at its flags and polls again.
  if (r < 0) return errno == EINTR ? 0 : 1;
  if (qtp > 0) {
    J now = qnow();
    if (now >= qtn) {
      static V ts;
      qtn = now + qtp;
      V a = an(1, tTSTAMPA);
      PL(a)[0] = now * 1000000 - 946684800000000000LL;
      I q = tl.zkdiagq;
      tl.zkdiagq = 1;
      V v = k1(&ts, "{z.ts x}", a);
      tl.zkdiagq = q;
      if (v) mr(v);
      else qerrp();
    }
  }
  return r > 0 && p.revents ? 1 : 0;
}

}  // namespace zk
