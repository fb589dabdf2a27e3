// shell.h: the interactive shell's face to the engine: the backslash
// command dispatcher, the script loader and the chart builtins.
#pragma once
#include "core/core.h"

namespace zk {
// Handles one backslash line at *pos (just after the backslash) and moves
// *pos past its newline: the command's value, `::`, or 0.
V bs_(const char **pos, const char *end);
// Loads a script file statement by statement, printing each value: `::`,
// or 0 at the first error, which it has already printed.
V bsl(const char *path);
// The chart builtins `plt` and `cdl` (chart.cpp): consume x and return the
// chart as a new char vector.
V plotC(V x);
V candleC(V x);
}  // namespace zk
