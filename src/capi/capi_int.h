// capi_int.h: helpers shared by the C interface's entries: the per-thread
// error text (tl.capi_err), the boot check, names as symbols or paths.
#pragma once
#include "core/core.h"

namespace zk {
extern int capi_booted;
int pubt(int t);                    // internal type code -> public code
void capi_err_set(const char *text);
void capi_err_grab();               // copy the engine's error text
bool capi_enter();                  // boot check, then clear the error text
V capi_name_sym(const char *name);  // `a` or the path `a.b.c`
int capi_load_module(const char *home, const char *file);
void capi_thread_mine();             // give this thread's leftovers back at its end
}  // namespace zk
