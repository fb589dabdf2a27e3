// try.cpp: the trap behind the protected forms of `.` and `@`: the trap
// machinery (tryf, err.cpp) applied through the evaluator's `.` and
// monadic application.  Kept apart from err.cpp so that the error core
// links without the evaluator.
#include "core/err.h"
#include "eval/eval.h"

namespace zk {

V try_(V f, V x, V h) { return tryf(f, x, h, dot, _1); }

}  // namespace zk
