// testutil.h: boot the runtime once per test process.
#pragma once
#include "core/core.h"

namespace zk {
inline void boot_once() {
  if (!kinit_done) kinit();
}
}  // namespace zk
