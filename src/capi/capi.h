// capi.h: the embedding interface's face inside the engine: the native
// verb table and host hooks (ext.cpp) that the builtin dispatcher and the
// shell read, and the C interface's internal helpers.
#pragma once
#include "core/core.h"
#include "zelko_capi.h"

namespace zk {
using xverb = zelko_value (*)(zelko_value);
// The engine's environment list ("NAME=value" texts, NULL-terminated; not
// the process environment): empty at boot.
extern const char **zk_env;
// Arrow bridge (arrow.cpp): the builtins aex and aim (x consumed); the
// calling thread becomes the engine's (releases elsewhere are queued), and
// the queue of references released elsewhere is dropped.
V aex(V x);
V aim(V x);
void arrow_mine();
void arrow_drain();
}

extern "C" {
// Hooks a host sets; NULL until then.  Exported so a host executable that
// defines the same symbol takes the library's place.
extern void (*zk_ext_startup)(void);
extern const char *zk_ext_banner;
extern zelko_value (*zk_ext_bs)(const char *);
extern void *zk_ext_hint;
extern void *zk_ext_complete;
extern void *zk_ext_complete_late;
extern void *zk_ext_usage;

void zk_ext_startup_once(void);
int zk_ext_verb(const char *name, zk::xverb fn);
zk::xverb zk_ext_verb_lookup(int key);
int zk_ext_verb_count(void);
void zk_ext_set_accepted(const char *line);
const char *zk_repl_take_accepted(void);
}
