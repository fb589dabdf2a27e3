// bs.cpp: backslash commands and script loading.
//
// least version: the command table is not built yet, so every command
// fails with 'nyi after its line is consumed; the loader reads a file and
// evaluates it statement by statement, printing each value.
#include <cstdio>
#include <cstdlib>
#include "core/err.h"
#include "eval/eval.h"
#include "shell/shell.h"

namespace zk {

V bs_(const char **pos, const char *end) {
  const char *p = *pos;
  while (*p && *p != '\n' && (!end || p < end)) p++;
  if (*p == '\n') p++;
  *pos = p;
  return en0();
}

V bsl(const char *path) {
  FILE *f = fopen(path, "rb");
  if (!f) return eo0();
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  fseek(f, 0, SEEK_SET);
  if (n < 0 || n > 0xFFFFFFF0L) {
    fclose(f);
    return eo0();
  }
  V t = an((U)n + 1, tCHR);
  size_t got = fread(PC(t), 1, (size_t)n, f);
  fclose(f);
  PC(t)[got] = 0;
  V r = evn(PC(t), PC(t) + got, 1);
  mr(t);
  return r;
}

}  // namespace zk
