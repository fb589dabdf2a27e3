// hex.h: hexadecimal text to bytes.  unhC: a char vector of n hex digits
// (0-9, A-F, a-f), borrowed, to a byte vector of n/2 bytes, the first digit
// of each pair the high nibble; an odd n fails with 'length, any other
// character with 'domain.
#pragma once
#include "core/core.h"

namespace zk {

V unhC(V x);

}  // namespace zk
