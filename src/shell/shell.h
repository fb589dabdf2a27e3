// shell.h: the interactive shell's face to the engine: the backslash
// command dispatcher and the script loader.
#pragma once
#include "core/core.h"

namespace zk {
// Handles one backslash line at *pos (just after the backslash) and moves
// *pos past its newline: the command's value, `::`, or 0.
V bs_(const char **pos, const char *end);
// Loads a script file statement by statement, printing each value: `::`,
// or 0 at the first error, which it has already printed.
V bsl(const char *path);
}  // namespace zk
