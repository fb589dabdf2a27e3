// ext.cpp: what an interactive host and native plug-ins extend the engine
// with: up to 32 native verbs reached by name before the builtins, the
// hand-off of the line the line editor accepted, a one-time start-up hook
// and hook variables a host fills in.
//
// Registration publishes an entry by writing it first and then storing the
// count with release order; lookups load the count with acquire order, so
// a reader never sees a counted entry that is not yet written.
#include "capi/capi.h"

#define ZK_EXPORT __attribute__((visibility("default")))

extern "C" {
ZK_EXPORT void (*zk_ext_startup)(void);
ZK_EXPORT const char *zk_ext_banner;
ZK_EXPORT zelko_value (*zk_ext_bs)(const char *);
ZK_EXPORT void *zk_ext_hint;
ZK_EXPORT void *zk_ext_complete;
ZK_EXPORT void *zk_ext_complete_late;
ZK_EXPORT void *zk_ext_usage;
}

namespace zk {
namespace {
struct VerbEntry {
  int32_t key;
  xverb fn;
};
VerbEntry g_verb[32];
int g_verb_n;
char g_accepted[512];
char g_taken[512];
bool g_started;
}  // namespace
}  // namespace zk

using namespace zk;

extern "C" {

ZK_EXPORT void zk_ext_startup_once(void) {
  if (g_started) return;
  g_started = true;
  if (zk_ext_startup) zk_ext_startup();
}

ZK_EXPORT int zk_ext_verb(const char *name, xverb fn) {
  if (!name || !fn) return -1;
  size_t n = strlen(name);
  if (n == 0 || n > 4) return -1;
  // A 4-byte name whose last byte is 0x80 or above is interned by the
  // language, so its symbol id can never equal the packed key: refuse it
  // rather than register a verb nothing can reach.
  if (n == 4 && (G)name[3] >= 0x80) return -1;
  U key = 0;
  for (size_t i = 0; i < n; i++) key |= (U)(G)name[i] << (8 * i);
  int cnt = at_load_acq(g_verb_n);
  for (int i = 0; i < cnt; i++)
    if (g_verb[i].key == (int32_t)key) {
      std::atomic_ref<xverb>(g_verb[i].fn).store(fn, std::memory_order_release);
      return 0;
    }
  if (cnt == 32) return -1;
  g_verb[cnt] = VerbEntry{(int32_t)key, fn};
  at_store_rel(g_verb_n, cnt + 1);
  return 0;
}

ZK_EXPORT xverb zk_ext_verb_lookup(int key) {
  int cnt = at_load_acq(g_verb_n);
  for (int i = 0; i < cnt; i++)
    if (g_verb[i].key == key) return std::atomic_ref<xverb>(g_verb[i].fn).load(std::memory_order_acquire);
  return nullptr;
}

ZK_EXPORT int zk_ext_verb_count(void) { return at_load_acq(g_verb_n); }

ZK_EXPORT void zk_ext_set_accepted(const char *line) {
  memset(g_accepted, 0, sizeof g_accepted);
  if (line) strncpy(g_accepted, line, 511);
}

ZK_EXPORT const char *zk_repl_take_accepted(void) {
  memcpy(g_taken, g_accepted, sizeof g_taken);
  g_accepted[0] = 0;
  return g_taken;
}
}
