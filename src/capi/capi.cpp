// capi.cpp: boot, evaluation, calls, the last error and plug-ins of the C
// interface.  Every entry that evaluates, builds or looks up through the
// engine refuses before boot and clears the thread's error text first;
// engine failures are copied from the engine's error text without their
// trailing newlines, so the host sees what the error printer would show.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "core/diag.h"
#include "core/err.h"
#include "core/sym.h"
#include "eval/eval.h"
#include "shell/shell.h"

using namespace zk;

#define ZK_EXPORT extern "C" __attribute__((visibility("default")))

namespace zk {

int capi_booted;
const char *const CAPI_MODULES[8] = {"zelko.k", "fin.k", "std.k", "qsql.k",
                                     "temporal.k", "sys.k", "hdb.k", "ipc.k"};
static const char *g_argv0[2] = {"zelko", nullptr};
static const char *g_env0[1] = {nullptr};
const char **zk_argv = g_argv0;
const char **zk_env = g_env0;

void capi_err_set(const char *text) {
  size_t n = strnlen(text, 4095);
  memcpy(tl.capi_err, text, n);
  tl.capi_err[n] = 0;
}

void capi_err_grab() {
  const char *s = tl.err_text, *e = tl.err_end ? tl.err_end : s;
  size_t n = (size_t)(e - s);
  if (n > 4095) n = 4095;
  while (n && (s[n - 1] == '\n' || s[n - 1] == '\r')) n--;
  memcpy(tl.capi_err, s, n);
  tl.capi_err[n] = 0;
}

bool capi_enter() {
  if (!capi_booted) {
    capi_err_set("'value: zelko_init() has not been called");
    return false;
  }
  tl.capi_err[0] = 0;
  capi_thread_mine();
  arrow_mine();
  arrow_drain();
  // A call from the host is a statement of its own: the big blocks that
  // earlier calls released are unmapped now, as the statement loop does
  // after each statement; a host that only evaluates single statements
  // would otherwise keep every one mapped.  Not from a native function
  // inside a running statement, whose released blocks may still be read.
  if (!tl.vrl && !shared_mode()) mc();
  return true;
}

V capi_name_sym(const char *name) {
  const char *dot = strchr(name, '.');
  if (!dot) return as(us(name));
  U n = 1;
  for (const char *p = name; *p; p++) n += *p == '.';
  V v = an(n, tSYM);
  const char *p = name;
  for (U i = 0; i < n; i++) {
    const char *q = strchr(p, '.');
    size_t len = q ? (size_t)(q - p) : strlen(p);
    char part[256];
    if (len > 255) len = 255;
    memcpy(part, p, len);
    part[len] = 0;
    PI(v)[i] = us(part);
    p = q ? q + 1 : p + len;
  }
  return v;
}

int capi_load_module(const char *home, const char *file) {
  size_t hl = strlen(home), fl = strlen(file);
  if (hl + fl + 2 > 4095) return 0;
  char path[4096];
  bool slash = hl == 0 || home[hl - 1] == '/';
  // The length check above bounds the copies.
  memcpy(path, home, hl);
  if (!slash) path[hl++] = '/';
  memcpy(path + hl, file, fl + 1);
  V r = bsl(path);
  if (!r) return 0;
  mr(r);
  return 1;
}

}  // namespace zk

ZK_EXPORT int zelko_abi_version(void) { return 1; }
ZK_EXPORT const char *zelko_version_string(void) { return "2.9.0"; }

ZK_EXPORT int zelko_init(const char *home) {
  tl.capi_err[0] = 0;
  if (!capi_booted) {
    if (!kinit_done) kinit();
    zk_argv = g_argv0;
    zk_env = g_env0;
    U i = gi(as('x'));
    if (gv[i]) mr(gv[i]);
    gv[i] = emp();
    capi_booted = 1;
  }
  if (!home || !*home) return 0;
  fflush(stdout);
  int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
  if (saved >= 0 && devnull >= 0) dup2(devnull, 1);
  int loaded = 0;
  for (const char *m : CAPI_MODULES) loaded += capi_load_module(home, m);
  fflush(stdout);
  if (saved >= 0) {
    if (devnull >= 0) dup2(saved, 1);
    close(saved);
  }
  if (devnull >= 0) close(devnull);
  if (!loaded) {
    capi_err_set("'io: no Zelko standard-library module could be read from the given home directory");
    return -1;
  }
  if (loaded < 8)
    capi_err_set("'io: some Zelko standard-library modules were missing from the given home directory");
  return 0;
}

ZK_EXPORT void zelko_shutdown(void) {
  arrow_drain();
  arena_free();
}

ZK_EXPORT zelko_value zelko_eval_str(const char *text) {
  if (!capi_enter()) return 0;
  if (!text) {
    capi_err_set("'domain: null source");
    return 0;
  }
  V r = evn(text, nullptr, 0);
  if (!r) capi_err_grab();
  return r;
}

ZK_EXPORT zelko_value zelko_eval_qsql(const char *text) {
  if (!capi_enter()) return 0;
  if (!text) {
    capi_err_set("'domain: null source");
    return 0;
  }
  static V slot;
  V q = aCz(text);
  if (!ki(&slot, "{. qrw x}")) {
    mr(q);
    tl.capi_err[0] = 0;
    return zelko_eval_str(text);
  }
  V r = k1(&slot, "{. qrw x}", q);
  if (r) return r;
  // The rewrite could not handle it: evaluate the text as ordinary source.
  tl.capi_err[0] = 0;
  return zelko_eval_str(text);
}

ZK_EXPORT zelko_value zelko_call(const char *name, const zelko_value *args, int n) {
  if (!capi_enter()) return 0;
  if (!name) {
    capi_err_set("'domain: null function name");
    return 0;
  }
  if (n < 0 || n > 8) {
    capi_err_set("'rank: zelko_call takes 0..8 arguments");
    return 0;
  }
  V f = gg(capi_name_sym(name));
  if (!f) {
    capi_err_grab();
    return 0;
  }
  UJ off = tl.a_off;
  void *chunk = tl.a_over;
  V r;
  if (n > 0) {
    V a[8];
    for (int i = 0; i < n; i++) a[i] = _r(args[i]);
    r = _8(f, a, (U)n);
  } else {
    r = _1(f, GNULL);
  }
  if (!r) capi_err_grab();
  mr(f);
  arena_release(off, chunk);
  return r;
}

ZK_EXPORT const char *zelko_last_error(void) { return tl.capi_err; }

ZK_EXPORT int zelko_set_diagnostics(int on) {
  int prev = zkdiag;
  zkdiag = on != 0;
  return prev < 0 ? 1 : prev;
}

ZK_EXPORT void zelko_free(void *p) { free(p); }

ZK_EXPORT int zelko_plugin_load(const char *path) {
  tl.capi_err[0] = 0;
  if (!path || !*path) {
    capi_err_set("'domain: null plugin path");
    return -1;
  }
  void *h = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
  if (!h) {
    const char *e = dlerror();
    capi_err_set(e ? e : "'io: dlopen failed");
    return -1;
  }
  auto init = (int (*)(void))dlsym(h, "zelko_plugin_init");
  return init ? init() : 0;
}
