/* A plug-in: its init registers a native verb named "dbl" that returns its
   argument twice as a two-item list, and one that shadows the builtin "k". */
#include "zelko_capi.h"

int zk_ext_verb(const char *name, zelko_value (*fn)(zelko_value));

static zelko_value dbl(zelko_value x) {
  zelko_value items[2] = {x, x};
  zelko_value r = zelko_make_list(items, 2);
  zelko_release(x);
  return r;
}

static zelko_value shadow(zelko_value x) {
  zelko_release(x);
  return zelko_int(4242);
}

int zelko_plugin_init(void) {
  if (zk_ext_verb("dbl", dbl) != 0) return -7;
  if (zk_ext_verb("k", shadow) != 0) return -8;
  return 17;
}
