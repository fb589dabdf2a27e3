// diag.h: coded diagnostics.  eD renders the current error as a coded
// diagnostic (code, title, the source line with the failing token
// underlined, a label and a help sentence) on standard error.  zkdiag is
// the process-wide switch: -1 undecided, 0 off, 1 on; tl.zkdiagq silences
// one thread (traps, script loads, IPC handlers); tl.zkdiagshown tells the
// plain error printer that the current error was already shown.
#pragma once
#include "core/core.h"

namespace zk {

extern I zkdiag;

// The switch as 0 or 1, deciding it from ZELKO_DIAG first when undecided
// (off only when the variable starts with "0").
I diag_on();

// Renders the current error against the len bytes of src failing at byte
// col; writes to stderr (one fputs) and the output ring while it captures.
void eD(const char *src, U len, U col);

// One row of the code table: error name, code, title, label, help.
struct Edrow {
  const char *name, *code, *title, *label, *help;
};
// The row of an error name (exact match), 0 when none.
const Edrow *edrow(const char *name, U n);

// The text eD writes, built into out (cap bytes, at most cap-1 used and
// NUL-terminated) for the error name en (n bytes); colour 0 leaves out the
// escape sequences.  Returns the length.
U dfmt(char *out, U cap, const char *en, U n, const char *src, U len, U col, bool colour);

}  // namespace zk
