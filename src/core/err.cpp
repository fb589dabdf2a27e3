// err.cpp: the error text, its raisers, traps and the fatal stop.
//
// Failures are values: an operation that fails writes the thread's error
// text (tl.err_text .. tl.err_end) and returns 0; nothing unwinds.  `die`
// ends the process on a broken invariant (memory, symbol pool, registry).
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include "core/core.h"

namespace zk {

void die(const char *msg) {
  // One unbuffered write each, so the words survive whatever stdio holds.
  ssize_t r = write(1, "'", 1);
  size_t n = strlen(msg);
  char buf[64];
  if (n > sizeof buf - 1) n = sizeof buf - 1;
  memcpy(buf, msg, n);
  buf[n] = '\n';
  r = write(2, buf, n + 1);
  (void)r;
  _exit(1);
}

}  // namespace zk
