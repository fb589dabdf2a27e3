// ring.h: the output ring and the plain error printer.  While g_sb_capture
// is set, every writer of console output feeds its bytes to rfeed, which
// keeps the last RN lines (g_ring, malloc'd NUL-terminated; g_ring_head is
// the slot the next line fills, g_ring_n the lines held) and the partial
// line since the last line feed (g_ring_part, g_ring_plen).  epr prints the
// thread's pending error text.
#pragma once
#include "core/core.h"

namespace zk {

inline constexpr I RN = 5000;       // ring slots
inline constexpr I RPART = 16384;   // partial line buffer (RPART-1 bytes kept)

extern I g_sb_capture;
extern char *g_ring[RN];
extern I g_ring_head, g_ring_n;
extern char g_ring_part[RPART];
extern I g_ring_plen;

// Feeds n bytes: a line feed pushes the partial line, a carriage return
// empties it, other bytes are appended while it holds fewer than RPART-1.
void rfeed(const char *s, UJ n);
// Adds s as one whole line, leaving the partial line alone.
void rline(const char *s);
// Frees every line and empties the partial line.
void rclr();
// The i-th oldest line held (0 <= i < g_ring_n).
const char *rget(I i);

// Writes the pending error text to fd 2 (unless a coded diagnostic already
// showed it), feeding the ring while it captures; then clears it.
void epr();

}  // namespace zk
