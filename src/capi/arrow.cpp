// arrow.cpp: the Arrow C data interface bridge.
//
// least version: the bridge is not built yet; each entry refuses with a
// clear text and leaves the caller's structures untouched.
#include "capi/capi.h"
#include "capi/capi_int.h"

using namespace zk;

#define ZK_EXPORT extern "C" __attribute__((visibility("default")))

ZK_EXPORT int zelko_arrow_export(zelko_value t, struct ArrowSchema **schema_out, struct ArrowArray **array_out) {
  if (schema_out) *schema_out = nullptr;
  if (array_out) *array_out = nullptr;
  if (!capi_enter()) return -1;
  capi_err_set("'nyi: the Arrow bridge is not built yet");
  return -1;
}

ZK_EXPORT int zelko_arrow_export_into(zelko_value t, struct ArrowSchema *schema, struct ArrowArray *array) {
  if (!schema || !array) {
    capi_err_set("'domain: null Arrow struct");
    return -1;
  }
  if (!capi_enter()) return -1;
  capi_err_set("'nyi: the Arrow bridge is not built yet");
  return -1;
}

ZK_EXPORT zelko_value zelko_arrow_import(struct ArrowSchema *schema, struct ArrowArray *array) {
  if (!capi_enter()) return 0;
  if (!schema || !array) {
    capi_err_set("'domain: null Arrow struct");
    return 0;
  }
  capi_err_set("'nyi: the Arrow bridge is not built yet");
  return 0;
}
