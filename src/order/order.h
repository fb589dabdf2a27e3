// order.h: ordering and search's face to the rest of the engine.  Names:
// mtc_ = deep match x~y as a truth value (match.cpp).
#pragma once
#include "core/core.h"

namespace zk {

// ---- match (match.cpp) ----
bool mtc_(V x, V y);  // borrows both

}  // namespace zk
