// hex.h: hexadecimal text to bytes.  unhC: a char vector of n hex digits
// (0-9, A-F, a-f), borrowed, to a char vector of n/2 bytes, the first digit
// of each pair the high nibble; an odd n fails with 'length, any other
// character with 'domain.  The parser reads 0x literals with it, so the
// source form of a string holding raw bytes (0x and its digits) reads back
// as the same string.
#pragma once
#include "core/core.h"

namespace zk {

V unhC(V x);

}  // namespace zk
