// ring.cpp: the output ring that the scrollback panel shows again, and the
// plain error printer.  The ring and its counters are process-wide; they
// are written by the thread that prints results and errors and by the line
// editor, both on the main thread, but a parallel-each worker that fails
// may render a diagnostic while capture is on, so writers take rmx (the
// panel reads on the main thread while no worker runs).
#include "shell/ring.h"
#include <unistd.h>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include "core/err.h"

namespace zk {

I g_sb_capture;
char *g_ring[RN];
I g_ring_head, g_ring_n;
char g_ring_part[RPART];
I g_ring_plen;
static std::mutex rmx;

// Stores a copy of the n bytes at s in the next slot; a failed copy drops
// the line.
static void rpush(const char *s, UJ n) {
  char *c = (char *)malloc(n + 1);
  if (!c) return;
  memcpy(c, s, n);
  c[n] = 0;
  free(g_ring[g_ring_head]);
  g_ring[g_ring_head] = c;
  g_ring_head = (g_ring_head + 1) % RN;
  if (g_ring_n < RN) g_ring_n++;
}

void rfeed(const char *s, UJ n) {
  std::lock_guard<std::mutex> g(rmx);
  for (UJ i = 0; i < n; i++) {
    char c = s[i];
    if (c == '\n') {
      rpush(g_ring_part, (UJ)g_ring_plen);
      g_ring_plen = 0;
    } else if (c == '\r') {
      g_ring_plen = 0;
    } else if (g_ring_plen < RPART - 1) {
      g_ring_part[g_ring_plen++] = c;
    }
  }
}

void rline(const char *s) {
  std::lock_guard<std::mutex> g(rmx);
  rpush(s, strlen(s));
}

void rclr() {
  std::lock_guard<std::mutex> g(rmx);
  for (char *&l : g_ring) free(l), l = nullptr;
  g_ring_plen = g_ring_head = g_ring_n = 0;
}

const char *rget(I i) { return g_ring[((g_ring_head - g_ring_n + i) % RN + RN) % RN]; }

void epr() {
  U n = elen();
  if (!tl.zkdiagshown && n) {
    ssize_t r = write(2, tl.err_text, n);  // gives up silently
    (void)r;
    if (g_sb_capture) rfeed(tl.err_text, n);
  }
  eclr();
}

}  // namespace zk
