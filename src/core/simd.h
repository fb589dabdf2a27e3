// simd.h: the engine's portable 128-bit vector layer, on GCC vector
// extensions with an SSE4.2 baseline.  One register holds two doubles
// (f64x2), two 64-bit integers (i64x2, u64x2), four 32-bit (i32x4, u32x4),
// eight 16-bit (i16x8, u16x8) or sixteen 8-bit items (i8x16, u8x16).
//
// Lane order is fixed: lane k holds the item at the k-th lowest address of
// a load, and every helper that folds lanes (vhadd, vhmin, vhmax, vbits)
// takes them in ascending lane order.  Kernels that keep several
// accumulators spell their combining order out themselves, so a float sum
// is the same double on every machine and at every vector width.
//
// Arithmetic and comparison are the vector-extension operators: + - * /
// (integer lanes wrap; use the unsigned types where that must be defined),
// << >> by a scalar, and == != < <= > >= giving a lane mask (all ones or
// all zeros) of the signed integer vector with the same lane width, Mask<V>.
// Float compares are ordered (false against NaN) except != (true).
//
// Names: vld/vst unaligned load and store; vdup broadcast; vzero; vsel
// select by mask; vand vor vxor vandn (a & ~b) bitwise on any lane type,
// floats included; vbits the mask's sign bits as an integer (lane k ->
// bit k); vany/vall; vmin/vmax lane minimum/maximum by compare and select
// (integers only: float min/max must spell out their own NaN and zero
// rules); vhadd/vhmin/vhmax horizontal folds; vwlo/vwhi widen the low/high
// half to twice the lane width (sign or zero extension by the lane type);
// vnarrow keeps the low half of each lane of two vectors; vf64 converts
// integer lanes to doubles; visnan and vnegz test floats; vstb stores
// eight vectors of 64-bit lane masks as sixteen bytes of 0 and 1.
//
// Wide registers: the 32-byte types (f64x4 .. u8x32) take the same
// operators and generic helpers (vld, vst, vdup, vzero, vsel, vand .. vandn,
// vhadd), but only inside functions marked ZK_AVX2, called after
// simd_avx2() said the processor has the instructions; the baseline build
// stays SSE4.2.  Such helpers are always inlined into the marked function
// and never passed across a call, so the note on the 32-byte calling
// convention (-Wpsabi) does not apply.  Helpers that need an instruction
// beyond the baseline are written in plain vector operations instead, so
// that they inline into baseline templates too.
#pragma once
#include <atomic>
#include <cstdint>
#include <type_traits>
#include <immintrin.h>

namespace zk {

// A compare yields a vector of signed lanes of the compared width, but the
// two compilers name its lane type differently: gcc takes int64_t and
// int8_t, clang long long and plain char.  The mask types are spelled as
// each compiler's compare result, so `a < b` is an i64x2 or i8x16 under
// both and the overloads taking masks stay unambiguous; the lane widths
// and signedness are the same either way.
#ifdef __clang__
typedef long long zk_m64 __attribute__((vector_size(16)));
typedef char zk_m8 __attribute__((vector_size(16)));
#else
typedef int64_t zk_m64 __attribute__((vector_size(16)));
typedef int8_t zk_m8 __attribute__((vector_size(16)));
#endif
static_assert(sizeof(long long) == 8 && (char)-1 < 0, "mask lanes are signed");

typedef double f64x2 __attribute__((vector_size(16)));
typedef zk_m64 i64x2;
typedef uint64_t u64x2 __attribute__((vector_size(16)));
typedef int32_t i32x4 __attribute__((vector_size(16)));
typedef uint32_t u32x4 __attribute__((vector_size(16)));
typedef int16_t i16x8 __attribute__((vector_size(16)));
typedef uint16_t u16x8 __attribute__((vector_size(16)));
typedef zk_m8 i8x16;
typedef uint8_t u8x16 __attribute__((vector_size(16)));

#define ZK_AVX2 __attribute__((target("avx2")))
#pragma GCC diagnostic ignored "-Wpsabi"
#ifdef __clang__
typedef long long zk_w64 __attribute__((vector_size(32)));
typedef char zk_w8 __attribute__((vector_size(32)));
#else
typedef int64_t zk_w64 __attribute__((vector_size(32)));
typedef int8_t zk_w8 __attribute__((vector_size(32)));
#endif
typedef double f64x4 __attribute__((vector_size(32)));
typedef zk_w64 i64x4;
typedef uint64_t u64x4 __attribute__((vector_size(32)));
typedef int32_t i32x8 __attribute__((vector_size(32)));
typedef uint32_t u32x8 __attribute__((vector_size(32)));
typedef int16_t i16x16 __attribute__((vector_size(32)));
typedef uint16_t u16x16 __attribute__((vector_size(32)));
typedef zk_w8 i8x32;
typedef uint8_t u8x32 __attribute__((vector_size(32)));

// The 64-byte registers with the 64-bit integer conversions, the
// narrowing moves and the mask registers (AVX-512 F, DQ, BW, VL), for
// functions marked ZK_AVX512 and called after simd_avx512() said yes.
// They are written in intrinsics: there are no 64-byte vector types here.
#define ZK_AVX512 __attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl")))

// Register width in bytes for the kernels that choose: 64 where the
// processor runs the ZK_AVX512 functions, else 32 where it runs the
// ZK_AVX2 ones (asked at the first call), else 16.  simd_avx2() is true at
// 32 and 64.  simd_width(16), (32) or (64) selects one for later calls
// (only where supported), simd_width(0) changes nothing; each returns the
// width in force before.  Every width gives the same results; tests
// compare them.
inline std::atomic<int> simd_wb{0};
inline int simd_hw() {
  __builtin_cpu_init();  // the checks below include the system's saving of the registers
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
    return 64;
  return __builtin_cpu_supports("avx2") ? 32 : 16;
}
inline int simd_cur() {
  int b = simd_wb.load(std::memory_order_relaxed);
  if (__builtin_expect(!b, 0)) simd_wb.store(b = simd_hw(), std::memory_order_relaxed);
  return b;
}
inline bool simd_avx2() { return simd_cur() >= 32; }
inline bool simd_avx512() { return simd_cur() == 64; }
inline int simd_width(int b) {
  int was = simd_cur();
  if ((b == 16 || b == 32 || b == 64) && b <= simd_hw()) simd_wb.store(b, std::memory_order_relaxed);
  return was;
}

// Lane type and mask type of each vector.
template <class V> struct vtr;
template <> struct vtr<f64x2> { typedef double T; typedef i64x2 M; };
template <> struct vtr<i64x2> { typedef int64_t T; typedef i64x2 M; };
template <> struct vtr<u64x2> { typedef uint64_t T; typedef i64x2 M; };
template <> struct vtr<i32x4> { typedef int32_t T; typedef i32x4 M; };
template <> struct vtr<u32x4> { typedef uint32_t T; typedef i32x4 M; };
template <> struct vtr<i16x8> { typedef int16_t T; typedef i16x8 M; };
template <> struct vtr<u16x8> { typedef uint16_t T; typedef i16x8 M; };
template <> struct vtr<i8x16> { typedef int8_t T; typedef i8x16 M; };
template <> struct vtr<u8x16> { typedef uint8_t T; typedef i8x16 M; };
template <> struct vtr<f64x4> { typedef double T; typedef i64x4 M; };
template <> struct vtr<i64x4> { typedef int64_t T; typedef i64x4 M; };
template <> struct vtr<u64x4> { typedef uint64_t T; typedef i64x4 M; };
template <> struct vtr<i32x8> { typedef int32_t T; typedef i32x8 M; };
template <> struct vtr<u32x8> { typedef uint32_t T; typedef i32x8 M; };
template <> struct vtr<i16x16> { typedef int16_t T; typedef i16x16 M; };
template <> struct vtr<u16x16> { typedef uint16_t T; typedef i16x16 M; };
template <> struct vtr<i8x32> { typedef int8_t T; typedef i8x32 M; };
template <> struct vtr<u8x32> { typedef uint8_t T; typedef i8x32 M; };
// The vector of B bytes with lanes of type T.
template <class T, int B> struct vof;
#define ZK_VOF(T, a, b) \
  template <> struct vof<T, 16> { typedef a V; }; \
  template <> struct vof<T, 32> { typedef b V; };
ZK_VOF(double, f64x2, f64x4)
ZK_VOF(int64_t, i64x2, i64x4)
ZK_VOF(uint64_t, u64x2, u64x4)
ZK_VOF(int32_t, i32x4, i32x8)
ZK_VOF(uint32_t, u32x4, u32x8)
ZK_VOF(int16_t, i16x8, i16x16)
ZK_VOF(uint16_t, u16x8, u16x16)
ZK_VOF(int8_t, i8x16, i8x32)
ZK_VOF(uint8_t, u8x16, u8x32)
#undef ZK_VOF
template <class T, int B> using Vof = typename vof<T, B>::V;
template <class V> using Lane = typename vtr<V>::T;
template <class V> using Mask = typename vtr<V>::M;
template <class V> inline constexpr int NL = sizeof(V) / sizeof(Lane<V>);
// The 64-bit unsigned vector of V's size, for the bitwise helpers.
template <class V> using Bits = std::conditional_t<sizeof(V) == 32, u64x4, u64x2>;

// ---- memory ----
template <class V> __attribute__((always_inline)) inline V vld(const void *p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
template <class V> __attribute__((always_inline)) inline void vst(void *p, V v) {
  __builtin_memcpy(p, &v, sizeof v);
}
template <class V> __attribute__((always_inline)) inline V vdup(Lane<V> x) {
  V v;
  for (int k = 0; k < NL<V>; k++) v[k] = x;  // folds to one broadcast
  return v;
}
template <class V> __attribute__((always_inline)) inline V vzero() { return V{}; }

// ---- bitwise on any lane type ----
template <class V> __attribute__((always_inline)) inline V vand(V a, V b) {
  return (V)((Bits<V>)a & (Bits<V>)b);
}
template <class V> __attribute__((always_inline)) inline V vor(V a, V b) {
  return (V)((Bits<V>)a | (Bits<V>)b);
}
template <class V> __attribute__((always_inline)) inline V vxor(V a, V b) {
  return (V)((Bits<V>)a ^ (Bits<V>)b);
}
template <class V> __attribute__((always_inline)) inline V vandn(V a, V b) {
  return (V)((Bits<V>)a & ~(Bits<V>)b);  // a AND NOT b
}

// Lanes of a where m is set, else lanes of b.  m must be a lane mask.
template <class V> __attribute__((always_inline)) inline V vsel(Mask<V> m, V a, V b) {
  typedef Bits<V> B;
  return (V)(((B)m & (B)a) | (~(B)m & (B)b));
}
template <> __attribute__((always_inline)) inline f64x2 vsel<f64x2>(i64x2 m, f64x2 a, f64x2 b) {
  return (f64x2)_mm_blendv_pd((__m128d)b, (__m128d)a, (__m128d)m);
}

// ---- masks ----
// Sign bit of each lane, lane k at bit k.
__attribute__((always_inline)) inline int vbits(i64x2 m) { return _mm_movemask_pd((__m128d)m); }
__attribute__((always_inline)) inline int vbits(i32x4 m) { return _mm_movemask_ps((__m128)m); }
__attribute__((always_inline)) inline int vbits(i8x16 m) { return _mm_movemask_epi8((__m128i)m); }
__attribute__((always_inline)) inline int vbits(i16x8 m) {
  // pack the 16-bit lanes to bytes with signed saturation: sign bits survive
  return _mm_movemask_epi8(_mm_packs_epi16((__m128i)m, _mm_setzero_si128()));
}
template <class M> __attribute__((always_inline)) inline bool vany(M m) {
  return !_mm_testz_si128((__m128i)m, (__m128i)m);
}
__attribute__((always_inline)) inline bool vany(i64x4 m) {
  return vany((i64x2)__builtin_shufflevector(m, m, 0, 1) | (i64x2)__builtin_shufflevector(m, m, 2, 3));
}
template <class M> __attribute__((always_inline)) inline bool vall(M m) {
  return _mm_test_all_ones((__m128i)m);
}
__attribute__((always_inline)) inline bool vall(i64x4 m) {
  return vall((i64x2)__builtin_shufflevector(m, m, 0, 1) & (i64x2)__builtin_shufflevector(m, m, 2, 3));
}

// ---- integer lane minimum and maximum ----
template <class V> __attribute__((always_inline)) inline V vmin(V a, V b) {
  static_assert(!std::is_same_v<V, f64x2>, "float min/max must state their NaN rule");
  return vsel<V>(a < b, a, b);
}
template <class V> __attribute__((always_inline)) inline V vmax(V a, V b) {
  static_assert(!std::is_same_v<V, f64x2>, "float min/max must state their NaN rule");
  return vsel<V>(a > b, a, b);
}

// ---- horizontal folds, ascending lane order ----
// Integer sums wrap.
template <class V> __attribute__((always_inline)) inline Lane<V> vhadd(V v) {
  if constexpr (std::is_floating_point_v<Lane<V>>) {
    Lane<V> r = v[0];
    for (int k = 1; k < NL<V>; k++) r = r + v[k];
    return r;
  } else {
    typedef std::make_unsigned_t<Lane<V>> W;
    W r = (W)v[0];
    for (int k = 1; k < NL<V>; k++) r = (W)(r + (W)v[k]);
    return (Lane<V>)r;
  }
}
template <class V> __attribute__((always_inline)) inline Lane<V> vhmin(V v) {
  Lane<V> r = v[0];
  for (int k = 1; k < NL<V>; k++) r = v[k] < r ? v[k] : r;
  return r;
}
template <class V> __attribute__((always_inline)) inline Lane<V> vhmax(V v) {
  Lane<V> r = v[0];
  for (int k = 1; k < NL<V>; k++) r = v[k] > r ? v[k] : r;
  return r;
}

// ---- widening and narrowing ----
__attribute__((always_inline)) inline i16x8 vwlo(i8x16 v) { return (i16x8)_mm_cvtepi8_epi16((__m128i)v); }
__attribute__((always_inline)) inline u16x8 vwlo(u8x16 v) { return (u16x8)_mm_cvtepu8_epi16((__m128i)v); }
__attribute__((always_inline)) inline i32x4 vwlo(i16x8 v) { return (i32x4)_mm_cvtepi16_epi32((__m128i)v); }
__attribute__((always_inline)) inline u32x4 vwlo(u16x8 v) { return (u32x4)_mm_cvtepu16_epi32((__m128i)v); }
__attribute__((always_inline)) inline i64x2 vwlo(i32x4 v) { return (i64x2)_mm_cvtepi32_epi64((__m128i)v); }
__attribute__((always_inline)) inline u64x2 vwlo(u32x4 v) { return (u64x2)_mm_cvtepu32_epi64((__m128i)v); }
template <class V> __attribute__((always_inline)) inline auto vwhi(V v) {
  return vwlo((V)_mm_unpackhi_epi64((__m128i)v, (__m128i)v));
}
// Low half of every lane of a (lanes 0..) then of b.
__attribute__((always_inline)) inline i8x16 vnarrow(i16x8 a, i16x8 b) {
  return __builtin_shufflevector((i8x16)a, (i8x16)b, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24,
                                 26, 28, 30);
}
__attribute__((always_inline)) inline i16x8 vnarrow(i32x4 a, i32x4 b) {
  return __builtin_shufflevector((i16x8)a, (i16x8)b, 0, 2, 4, 6, 8, 10, 12, 14);
}
__attribute__((always_inline)) inline i32x4 vnarrow(i64x2 a, i64x2 b) {
  return __builtin_shufflevector((i32x4)a, (i32x4)b, 0, 2, 4, 6);
}

// ---- conversions to double ----
__attribute__((always_inline)) inline f64x2 vf64(i32x4 v) { return (f64x2)_mm_cvtepi32_pd((__m128i)v); }  // lanes 0, 1
__attribute__((always_inline)) inline f64x2 vf64(i64x2 v) { return __builtin_convertvector(v, f64x2); }

// ---- float tests ----
template <class V> __attribute__((always_inline)) inline Mask<V> visnan(V v) { return v != v; }
// The exact bit pattern of -0.0 (0x8000000000000000).
template <class V> __attribute__((always_inline)) inline Mask<V> vnegz(V v) {
  return (Mask<V>)v == vdup<Mask<V>>(INT64_MIN);
}

// ---- masks to bytes ----
// Sixteen items' lane masks (eight pairs, all ones or all zeros per lane)
// as sixteen bytes of 0 and 1, in item order; the saturating packs keep
// such masks exact.
__attribute__((always_inline)) inline void vstb(uint8_t *d, const i64x2 *m) {
  __m128i q0 = (__m128i)_mm_shuffle_ps((__m128)m[0], (__m128)m[1], 0x88);
  __m128i q1 = (__m128i)_mm_shuffle_ps((__m128)m[2], (__m128)m[3], 0x88);
  __m128i q2 = (__m128i)_mm_shuffle_ps((__m128)m[4], (__m128)m[5], 0x88);
  __m128i q3 = (__m128i)_mm_shuffle_ps((__m128)m[6], (__m128)m[7], 0x88);
  __m128i h = _mm_packs_epi16(_mm_packs_epi32(q0, q1), _mm_packs_epi32(q2, q3));
  vst(d, (u8x16)h & vdup<u8x16>(1));
}

}  // namespace zk
