// cmpcnt.h: counting compares and mask kernels on raw vector data, and the
// fast paths of the fused idiom operators built on them.
//
// Kernels (plain memory: no values, no errors, no state; safe in pool
// tasks).  op 0 counts items < v, 1 items > v, any other items == v.
//   simd_cntcmps_i8/_i16/_i32: signed items against v truncated to the
//     item width (the caller checks that v fits);
//   simd_cntcmps_i64: the same on longs (0N the least long);
//   simd_cntcmpv: x[i] against y[i], the item type t one of tBYTE, tSHORT,
//     tINT, tLONG, or tCHR (unsigned bytes);
//   simd_cntcmps_f64: IEEE count; *flag 1 on suspect data, the count then
//     not to be used: a NaN on either side, v the bits of -0.0, or an item
//     -0.0 when v is 0.0 (against any other v it counts as 0.0 does in
//     every order); simd_cntcmpv_f64 the same x[i] against y[i], where
//     -0.0 on either side is suspect;
//   zkb_compress_64_gen: the 64-bit items whose mask byte is nonzero, in
//     order, into dst (room for n items); *flag 1 when a byte exceeds 1;
//     cmpk: the same for items of any width;
//   masktree: the sum over the kept i of x[i] (with y: s*y[i] + x[i], a
//     rounded product then a rounded sum) in simd_sum_f64's order over
//     the kept values; *flag 1 (and 0.0) when a mask byte exceeds 1;
//   simd_fintegral_f64: 1 when every one of n >= 1 items is an integer of
//     magnitude at most 2^53 (-0.0 passes, NaN and infinities fail).
//
// Fast paths (cmpcnt.cpp): fredF (mode, x, y) and fmsF (minus, x, s, y,
// mask) return the value of their mode's general route, or 0 when they
// do not apply or meet data they cannot handle exactly; they never raise
// and consume nothing.
#pragma once
#include <cstdint>

#include "core/core.h"

namespace zk {

uint64_t simd_cntcmps_i8(const int8_t *x, int64_t v, uint64_t n, int32_t op);
uint64_t simd_cntcmps_i16(const int16_t *x, int64_t v, uint64_t n, int32_t op);
uint64_t simd_cntcmps_i32(const int32_t *x, int64_t v, uint64_t n, int32_t op);
uint64_t simd_cntcmps_i64(const int64_t *x, int64_t v, uint64_t n, int32_t op);
uint64_t simd_cntcmpv(int t, const void *x, const void *y, uint64_t n, int32_t op);
uint64_t simd_cntcmpv_f64(const double *x, const double *y, uint64_t n, int32_t op, int32_t *flag);
uint64_t simd_cntcmps_f64(const double *x, uint64_t n, int32_t op, int32_t *flag, double v);
// Eight mask bytes a step as one word: a zero word is skipped, an all-ones
// word copies its eight items at once, any other word writes each item at
// the output position and advances it by one for each nonzero byte, so
// the loop has no branch on the data.  dst[k] is written only below i + 8,
// inside the room for n items.
template <class T>
ZK_INLINE uint64_t cmpk(const T *src, const uint8_t *mask, T *dst, uint64_t n, int32_t *flag) {
  uint64_t k = 0, i = 0, acc = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    memcpy(&w, mask + i, 8);
    if (!w) continue;
    if (w == 0x0101010101010101ull) {
      memcpy(dst + k, src + i, 8 * sizeof(T));
      k += 8;
      continue;
    }
    acc |= w;
    for (int j = 0; j < 8; j++) {
      dst[k] = src[i + j];
      k += mask[i + j] != 0;
    }
  }
  for (; i < n; i++) {
    dst[k] = src[i];
    k += mask[i] != 0;
    acc |= mask[i];
  }
  acc |= acc >> 32, acc |= acc >> 16, acc |= acc >> 8;
  *flag = (uint8_t)acc > 1;
  return k;
}
uint64_t zkb_compress_64_gen(const uint64_t *src, const uint8_t *mask, uint64_t *dst, uint64_t n,
                             int32_t *flag);
double masktree(const double *x, const double *y, const uint8_t *mask, uint64_t n, int32_t *flag,
                double s);
int32_t simd_fintegral_f64(const double *x, uint64_t n);

V fredF(J mode, V x, V y);
V fmsF(J minus, V x, V s, V y, V mask);

}  // namespace zk
