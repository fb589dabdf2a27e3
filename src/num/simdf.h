// simdf.h: plain-memory vector kernels on doubles (and the 64-bit integer
// sum and dot), and the blocked parallel float sum and min/max drivers built on
// them.  The kernels allocate nothing, touch no values, never fail and keep
// no state, so pool tasks call them on slices.
//
// Names: simd_<op>_f64 element-wise add/sub/mul/div (dst may be a or b, no
// other overlap); simd_sum_f64/simd_sum_i64/simd_dot_f64 sums in the fixed
// accumulator order described in simdf.cpp; simd_max_f64/simd_min_f64 the
// extreme non-NaN item with a NaN report; simd_cmps_f64 (vector against a
// scalar s) and simd_cmpv_f64 (vector against vector) compare into bytes 0/1
// and flag suspect data; simd_mulnan_f64 multiplies and reports NaN
// products; simd_frange0_f64 scans extremes, order, NaNs and -0.0 for the
// counting sorts.  pbs is the blocked sum or dot product of large vectors, and
// par_mm_f64 the parallel minimum or maximum; both give the same double for
// any thread count.
//
// Direction of the comparisons: 0 tests x < s (x[i] < y[i]), any other value
// x > s.  Suspect data (flag 1): a NaN, or the exact bits of -0.0, on either
// side; the bytes are then not the language's order and the caller takes its
// general route.  Reports and flags are 32-bit words set to 0 or 1.
#pragma once
#include <cstdint>

namespace zk {

void simd_add_f64(const double *a, const double *b, double *dst, uint64_t n);
void simd_sub_f64(const double *a, const double *b, double *dst, uint64_t n);
void simd_mul_f64(const double *a, const double *b, double *dst, uint64_t n);
void simd_div_f64(const double *a, const double *b, double *dst, uint64_t n);
double simd_sum_f64(const double *x, uint64_t n);
int64_t simd_sum_i64(const int64_t *x, uint64_t n);
double simd_dot_f64(const double *x, const double *y, uint64_t n);
// The long dot product wrapping modulo 2^64.  skip 1: a product with a 0N
// operand, or whose bits are 0N's, is left out (*nul 0).  skip 0: every
// product is added and *nul is 1 when some operand is 0N.
int64_t simd_dot_i64(const int64_t *a, const int64_t *b, uint64_t n, int32_t skip, int32_t *nul);
// With n = 0 the report is 1 (nothing usable) and the value NaN.
double simd_max_f64(const double *x, uint64_t n, int32_t *report);
double simd_min_f64(const double *x, uint64_t n, int32_t *report);
void simd_cmps_f64(const double *x, uint8_t *dst, uint64_t n, int32_t dir, int32_t *flag, double s);
void simd_cmpv_f64(const double *x, const double *y, uint8_t *dst, uint64_t n, int32_t dir,
                   int32_t *flag);
int32_t simd_mulnan_f64(const double *a, const double *b, double *dst, uint64_t n);

// Over n >= 1 doubles: *min and *max by floating comparison (NaNs never
// win), *ordered 1 when no item is greater than its successor, *flags bit 0
// when some item is a NaN and bit 1 when some item is -0.0; returns flags.
int32_t simd_frange0_f64(const double *v, uint64_t n, double *min, double *max, int32_t *ordered,
                         int32_t *flags);

// Items per block of the parallel drivers; results never depend on how the
// blocks are spread over threads.
inline constexpr uint64_t PBS_BLOCK = 65536;

// Sum of the n doubles at x, or with y non-null the dot product of x and y:
// every 65,536-item block summed by simd_sum_f64 (simd_dot_f64), the block
// results then summed in block order by simd_sum_f64.
double pbs(const double *x, const double *y, uint64_t n);
// The same value computed on the calling thread without a block table
// (pbs's route when the table cannot be allocated).
double pbs_stream(const double *x, const double *y, uint64_t n);

// Minimum (is_max 0) or maximum of n doubles; *nan_seen = 1 when a NaN was
// met (the value is then not to be used).  Up to 1,048,575 items, or with
// one thread, this is the serial kernel; above, blocks on the pool, with a
// zero result or any NaN settled by the serial kernel again.
double par_mm_f64(const double *x, uint64_t n, int32_t is_max, int32_t *nan_seen);

}  // namespace zk
