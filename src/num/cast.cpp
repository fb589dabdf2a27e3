// cast.cpp: the universal cast ct(t, x), the vector cast cT and its
// plain-memory kernels, and the casts by the letters of `$` (cF f, cC c,
// csti i, cSb s).
//
// Targets are the vector types 3..10 (bool, byte, short, int, long, float,
// char, symbol); an atom becomes the atom of the same kind (bool, byte,
// short and int targets all give int atoms: there are no narrow atoms).
// Narrowing keeps the low bits, widening sign-extends, chars count as
// signed bytes, a bool is the lowest bit of a byte; the long null becomes
// NaN in a float, and a float becomes a long by truncation toward zero,
// saturated at +-0W with NaN as 0N.
//
// Kernels are named c<to><from> by width letter (B bool, G byte, H short,
// I int, L long, F float).  Each converts whole groups of items (16, 8 or
// 4) and may read and write the last group past the count: every data
// area is a multiple of 64 bytes, so the group stays inside the block.
// cast_k holds the kernels by (target, source); a pair without one goes
// through the cast_via type of its target (a bool source through byte).
// Vectors above 1,048,575 items are split over the pool in runs of
// 32-item granules (cjw), never when either side is bool: its items are
// bits.
// Results of 16 MB and more bypass the caches: the casts between 32- and
// 64-bit items write them from the registers (their s<to><from> forms,
// cast_nt), the others through a buffer (cstream).
//
// Other names: tqi temporal vector to its integer vector; ctk ct as a
// dyadic kernel for the item-by-item forms; fsat the saturating float to
// long; cblk blank for cSb; k<to><from><width> the register-width bodies
// of the 32/64-bit casts, wpick the widest one, sto a register's store,
// l2f and f2l the long/float conversions of whole registers.
#include <cmath>
#include <type_traits>
#include "core/err.h"
#include "core/pool.h"
#include "core/simd.h"
#include "core/sym.h"
#include "eval/each.h"
#include "list/list.h"
#include "num/num.h"
#include "num/red.h"

namespace zk {

namespace {

using Ck = void (*)(void *, const void *, U);

// Groups of N items converted by the vector extension's element-wise
// conversion: narrowing truncates, widening sign-extends, integers to
// doubles convert exactly.
template <class D, class S, int N> ZK_INLINE void cw(void *d, const void *s, U n) {
  typedef S vs __attribute__((vector_size(N * sizeof(S))));
  typedef D vd __attribute__((vector_size(N * sizeof(D))));
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += N) {  // 64-bit: a count near 2^32 must not wrap
    vs a;
    __builtin_memcpy(&a, p + i * sizeof(S), sizeof a);
    vd b = __builtin_convertvector(a, vd);
    __builtin_memcpy(o + i * sizeof(D), &b, sizeof b);
  }
}

// The saturating conversion, decided by comparisons: a C++ conversion of
// a double outside the long range is undefined.
ZK_INLINE J fsat(F x) {
  if (x > -0x1p63 && x < 0x1p63) return (J)x;
  return x != x ? NJ : x > 0 ? WJ : -WJ;
}

}  // namespace

// X(name, target type, source type, group)
#define ZK_CASTK(X)                                                                          \
  X(cHG, int16_t, int8_t, 16) X(cGH, int8_t, int16_t, 16) X(cHI, int16_t, int32_t, 8)       \
  X(cIH, int32_t, int16_t, 8) X(cGI, int8_t, int32_t, 8) X(cIG, int32_t, int8_t, 8)         \
  X(cHL, int16_t, int64_t, 4) X(cGL, int8_t, int64_t, 4) X(cFG, F, int8_t, 4)              \
  X(cFH, F, int16_t, 4) X(cFI, F, int32_t, 4)

#define ZK_CASTF(k, D, S, N) \
  void k(void *d, const void *s, U n) { cw<D, S, N>(d, s, n); }
ZK_CASTK(ZK_CASTF)
#undef ZK_CASTF

// ---- the casts between 32- and 64-bit items ----
// They run on the widest registers the processor has (simd_avx512, then
// simd_avx2, else the baseline), each in two forms: ordinary stores, and
// non-temporal ones (T) for a result too big for the caches, written
// straight from the registers.  With T the destination address is a
// multiple of 64 at the call, so every group's store is aligned to its
// size.  Groups read and write at most 64 bytes at a multiple of their
// size, and stay inside the blocks.

namespace {

// One register to memory, around the caches when T.
template <bool T> ZK_INLINE void sto(void *p, __m128i v) {
  if constexpr (T) _mm_stream_si128((__m128i *)p, v);
  else _mm_storeu_si128((__m128i *)p, v);
}
template <bool T> ZK_AVX2 ZK_INLINE void sto(void *p, __m256i v) {
  if constexpr (T) _mm256_stream_si256((__m256i *)p, v);
  else _mm256_storeu_si256((__m256i *)p, v);
}
template <bool T> ZK_AVX512 ZK_INLINE void sto(void *p, __m512i v) {
  if constexpr (T) _mm512_stream_si512((__m512i *)p, v);
  else _mm512_storeu_si512(p, v);
}

// Int to long, groups of 4 (16-byte registers) or 8 items.
template <bool T> void kLI16(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 4) {  // 64-bit: a count near 2^32 must not wrap
    __m128i a = _mm_loadu_si128((const __m128i *)(p + i * 4));
    sto<T>(o + i * 8, _mm_cvtepi32_epi64(a));
    sto<T>(o + i * 8 + 16, _mm_cvtepi32_epi64(_mm_unpackhi_epi64(a, a)));
  }
}
template <bool T> ZK_AVX2 void kLI32(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 8) {
    __m256i a = _mm256_loadu_si256((const __m256i *)(p + i * 4));
    sto<T>(o + i * 8, _mm256_cvtepi32_epi64(_mm256_castsi256_si128(a)));
    sto<T>(o + i * 8 + 32, _mm256_cvtepi32_epi64(_mm256_extracti128_si256(a, 1)));
  }
}
// The moves below take an all-ones mask: their unmasked forms pass an
// undefined operand that draws a false warning.
template <bool T> ZK_AVX512 void kLI64(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 8)
    sto<T>(o + i * 8, _mm512_maskz_cvtepi32_epi64(0xFF, _mm256_loadu_si256((const __m256i *)(p + i * 4))));
}

// Long to int, the low 32 bits, groups of 4 or 8 items.
template <bool T> void kIL16(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 4) {
    __m128 a = _mm_loadu_ps((const float *)(p + i * 8)), b = _mm_loadu_ps((const float *)(p + i * 8 + 16));
    sto<T>(o + i * 4, _mm_castps_si128(_mm_shuffle_ps(a, b, 0x88)));
  }
}
template <bool T> ZK_AVX2 void kIL32(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 8) {
    __m256 a = _mm256_loadu_ps((const float *)(p + i * 8));
    __m256 b = _mm256_loadu_ps((const float *)(p + i * 8 + 32));
    __m256i c = _mm256_castps_si256(_mm256_shuffle_ps(a, b, 0x88));  // items 0 1 4 5 2 3 6 7
    sto<T>(o + i * 4, _mm256_permute4x64_epi64(c, 0xD8));
  }
}
template <bool T> ZK_AVX512 void kIL64(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 8)
    sto<T>(o + i * 4, _mm512_maskz_cvtepi64_epi32(0xFF, _mm512_loadu_si512(p + i * 8)));
}

// Long to float.  Below 64-byte registers the lanes have no 64-bit
// conversion, and a scalar one per item runs at a fraction of memory
// speed: the high 48 bits and the low 16 bits become exact doubles
// through the exponent field, and one addition rounds their sum once, to
// the nearest double.  The 32-bit lane shift stands for a 64-bit one the
// 16- and 32-byte registers lack; one body serves both widths.
template <class V> ZK_INLINE Vof<double, sizeof(V)> l2f(V x) {
  typedef Vof<double, sizeof(V)> D;
  typedef Vof<int32_t, sizeof(V)> W;
  typedef Bits<V> B;
  V h = (V)((B)((W)x >> 16) & vdup<B>(0xFFFFFFFF00000000ull));  // the high 16 bits, times 2^32
  h += (V)vdup<D>(0x1.8p68);                                       // 3 * 2^67: exponent of 2^16 units
  D l = (D)(((B)x & vdup<B>(0xFFFFFFFFFFFFull)) | (B)vdup<D>(0x1p52));
  D r = ((D)h - vdup<D>(0x1.8p68 + 0x1p52)) + l;
  return vsel<D>(x == vdup<V>(NJ), vdup<D>(NAN), r);  // 0N gives NaN
}
template <bool T> void kFL16(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  for (UJ i = 0; i < n; i += 4) {
    sto<T>(o + i * 8, (__m128i)l2f(vld<i64x2>(p + i * 8)));
    sto<T>(o + i * 8 + 16, (__m128i)l2f(vld<i64x2>(p + i * 8 + 16)));
  }
}
// l2f from memory into r: the 32-byte form is called through pointers, as
// a generic helper taking or giving a 32-byte vector may not be called
// from a function marked for the wider registers (one compiler refuses
// the mixed calling convention even for an always-inlined callee).
template <class V> ZK_INLINE void l2fm(void *r, const void *p) { vst(r, l2f(vld<V>(p))); }
template <bool T> ZK_AVX2 void kFL32(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  __m256i a, b;
  for (UJ i = 0; i < n; i += 8) {
    l2fm<i64x4>(&a, p + i * 8);
    l2fm<i64x4>(&b, p + i * 8 + 32);
    sto<T>(o + i * 8, a);
    sto<T>(o + i * 8 + 32, b);
  }
}
template <bool T> ZK_AVX512 void kFL64(void *d, const void *s, U n) {
  const char *p = (const char *)s;
  char *o = (char *)d;
  const __m512i nj = _mm512_set1_epi64(NJ);
  const __m512d nan = _mm512_set1_pd(NAN);
  for (UJ i = 0; i < n; i += 8) {
    __m512i x = _mm512_loadu_si512(p + i * 8);
    __m512d r = _mm512_cvt_roundepi64_pd(x, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    sto<T>(o + i * 8, _mm512_castpd_si512(_mm512_mask_mov_pd(r, _mm512_cmpeq_epi64_mask(x, nj), nan)));
  }
}

// Float to long, exact count.  Below 64-byte registers the fast way
// converts a group whose truncations lie below 2^51 in magnitude: added
// to 1.5 * 2^52 they fill the significand exactly.  A group with a larger
// item, an infinity or NaN (which fails every comparison) takes the
// saturating scalar way, as does the tail.
template <bool T> void kLF16(void *d, const void *s, U n) {
  const F *p = (const F *)s;
  J *o = (J *)d;
  const __m128d lim = _mm_set1_pd(0x1p51), m = _mm_set1_pd(0x1.8p52), z = _mm_set1_pd(-0.0);
  UJ i = 0;
  for (; i + 2 <= n; i += 2) {
    __m128d t = _mm_round_pd(_mm_loadu_pd(p + i), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    if (ZK_LIKELY(_mm_movemask_pd(_mm_cmplt_pd(_mm_andnot_pd(z, t), lim)) == 3))
      sto<T>(o + i, _mm_sub_epi64(_mm_castpd_si128(_mm_add_pd(t, m)), _mm_castpd_si128(m)));
    else o[i] = fsat(p[i]), o[i + 1] = fsat(p[i + 1]);
  }
  if (i < n) o[i] = fsat(p[i]);
}
template <bool T> ZK_AVX2 void kLF32(void *d, const void *s, U n) {
  const F *p = (const F *)s;
  J *o = (J *)d;
  const __m256d lim = _mm256_set1_pd(0x1p51), m = _mm256_set1_pd(0x1.8p52), z = _mm256_set1_pd(-0.0);
  UJ i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256d t = _mm256_round_pd(_mm256_loadu_pd(p + i), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    if (ZK_LIKELY(_mm256_movemask_pd(_mm256_cmp_pd(_mm256_andnot_pd(z, t), lim, _CMP_LT_OQ)) == 15))
      sto<T>(o + i, _mm256_sub_epi64(_mm256_castpd_si256(_mm256_add_pd(t, m)), _mm256_castpd_si256(m)));
    else
      for (UJ k = i; k < i + 4; k++) o[k] = fsat(p[k]);
  }
  for (; i < n; i++) o[i] = fsat(p[i]);
}
// The packed truncation gives the 0N pattern for NaN and for everything
// outside the long range; the two compares put +-0W where fsat does,
// -2^63 included.
ZK_AVX512 ZK_INLINE __m512i f2l(__m512d x) {
  __m512i r = _mm512_cvtt_roundpd_epi64(x, _MM_FROUND_NO_EXC);
  r = _mm512_mask_mov_epi64(r, _mm512_cmp_pd_mask(x, _mm512_set1_pd(0x1p63), _CMP_GE_OQ),
                            _mm512_set1_epi64(WJ));
  return _mm512_mask_mov_epi64(r, _mm512_cmp_pd_mask(x, _mm512_set1_pd(-0x1p63), _CMP_LE_OQ),
                               _mm512_set1_epi64(-WJ));
}
// The tail goes through masked loads and stores.
template <bool T> ZK_AVX512 void kLF64(void *d, const void *s, U n) {
  const F *p = (const F *)s;
  J *o = (J *)d;
  UJ i = 0;
  for (; i + 8 <= n; i += 8) sto<T>(o + i, f2l(_mm512_loadu_pd(p + i)));
  if (i < n) {
    __mmask8 k = (__mmask8)((1u << (n - i)) - 1);
    _mm512_mask_storeu_epi64(o + i, k, f2l(_mm512_maskz_loadu_pd(k, p + i)));
  }
}

// The kernel of the processor's widest registers.
ZK_INLINE Ck wpick(Ck k16, Ck k32, Ck k64) { return simd_avx512() ? k64 : simd_avx2() ? k32 : k16; }

}  // namespace

#define ZK_WIDE(X) X(LI) X(IL) X(FL) X(LF)
#define ZK_WIDEF(w)                                                         \
  void c##w(void *d, const void *s, U n) {                                  \
    wpick(k##w##16<false>, k##w##32<false>, k##w##64<false>)(d, s, n);      \
  }                                                                         \
  namespace {                                                               \
  void s##w(void *d, const void *s, U n) {                                  \
    wpick(k##w##16<true>, k##w##32<true>, k##w##64<true>)(d, s, n);         \
  }                                                                         \
  }
ZK_WIDE(ZK_WIDEF)
#undef ZK_WIDEF
#undef ZK_WIDE

// Bits (least significant first) to bytes of 0 and 1, exact count.
void cGB(void *d, const void *s, U n) {
  const G *p = (const G *)s;
  G *o = (G *)d;
  U i = 0;
  for (; i + 8 <= n; i += 8) {
    // byte k of the copies keeps bit k; adding 0x7F carries it to bit 7
    UJ w = ((UJ)p[i >> 3] * 0x0101010101010101ull) & 0x8040201008040201ull;
    w = ((w + 0x7F7F7F7F7F7F7F7Full) >> 7) & 0x0101010101010101ull;
    __builtin_memcpy(o + i, &w, 8);
  }
  for (; i < n; i++) o[i] = (p[i >> 3] >> (i & 7)) & 1;
}

// The lowest bit of each byte into bits, exact count; the destination is
// cleared first in whole 64-bit words.
void cBG(void *d, const void *s, U n) {
  const G *p = (const G *)s;
  G *o = (G *)d;
  memset(o, 0, ((UJ)n + 63) / 64 * 8);
  U i = 0;
  for (; i + 16 <= n; i += 16) {
    U m = (U)vbits((i8x16)(vld<u8x16>(p + i) << 7));
    o[i >> 3] = (G)m, o[(i >> 3) + 1] = (G)(m >> 8);
  }
  for (; i < n; i++) o[i >> 3] |= (G)((p[i] & 1) << (i & 7));
}

namespace {

// cast_k[target - 3][source - 3]; 0 where the pair has no kernel.
const Ck cast_k[8][8] = {
    /* bool  */ {0, cBG, 0, 0, 0, 0, cBG, 0},
    /* byte  */ {cGB, 0, cGH, cGI, cGL, 0, 0, 0},
    /* short */ {0, cHG, 0, cHI, cHL, 0, cHG, 0},
    /* int   */ {0, cIG, cIH, 0, cIL, 0, cIG, 0},
    /* long  */ {0, 0, 0, cLI, 0, cLF, 0, 0},
    /* float */ {0, cFG, cFH, cFI, cFL, 0, 0, 0},
    /* char  */ {0, 0, 0, 0, 0, 0, 0, 0},
    /* sym   */ {0, 0, 0, 0, 0, 0, 0, 0},
};
// The intermediate type by target when the table has no kernel.
const G cast_via[8] = {tBYTE, tINT, tINT, tLONG, tINT, tLONG, tBYTE, 0};

// Item bytes of a non-bool vector type.
ZK_INLINE U isz(int t) { return 1u << (Tw[t] - 3); }

// Runs kernel k from x's items into a new vector of type t; x consumed.
V crun(Ck k, int t, V x) {
  int s = tp(x);
  U n = nx(x);
  V r = an(n, t);
  if (s == tBOOL || t == tBOOL) k(P(r), P(x), n);
  else {
    int w = pwk(n);
    Cj j{k, PC(r), PC(x), n, isz(t), isz(s), w > 1 ? w : 1};
    if (w > 1) par_run(w, cjw, &j);
    else cjw(&j, 0);
  }
  mr(x);
  return r;
}

// A result of this many bytes or more is written around the caches.
constexpr UJ NT_MIN = 1ull << 24;

// The kernels with a non-temporal form of their own, which cjw takes
// where the destination is 64-byte aligned; the others go through cstream.
const struct {
  Ck k, s;
} cast_nt[] = {{cLI, sLI}, {cIL, sIL}, {cFL, sFL}, {cLF, sLF}};

// Items a..e of job j through a buffer that stays in the first-level
// cache, copied out with non-temporal stores: an ordinary store to a line
// that is not cached reads it first, half again the memory traffic of a
// widening cast, and fills the caches with a result too big for them.
// Every chunk but a range's last is whole 32-item granules, and the last
// one's copy rounds up to 16 bytes, inside the group a kernel may write.
void cstream(const Cj *j, UJ a, UJ e) {
  constexpr UJ C = 1024;  // items per chunk: 8 KB of 8-byte items
  alignas(64) char b[C * 8 + 64];  // and the kernel's overrun of a group
  char *d = j->d + a * j->dw;
  const char *s = j->s + a * j->sw;
  for (UJ i = 0, n = e - a; i < n; i += C) {
    UJ m = n - i < C ? n - i : C, z = (m * j->dw + 15) & ~15ull;
    j->k(b, s + i * j->sw, (U)m);
    char *o = d + i * j->dw;
    for (UJ q = 0; q < z; q += 16) _mm_stream_si128((__m128i *)(o + q), _mm_load_si128((const __m128i *)(b + q)));
  }
  _mm_sfence();
}

}  // namespace

namespace {

// Items a..e of job j: straight from the registers around the caches, or
// through the buffer, or plainly.
void crng(const Cj *j, UJ a, UJ e) {
  char *d = j->d + a * j->dw;
  const char *s = j->s + a * j->sw;
  if ((UJ)j->n * j->dw >= NT_MIN) {
    if (!((uintptr_t)j->d & 63))
      for (auto &q : cast_nt)
        if (q.k == j->k) {
          q.s(d, s, (U)(e - a));
          return _mm_sfence();
        }
    if (!((uintptr_t)j->d & 15)) return cstream(j, a, e);
  }
  j->k(d, s, (U)(e - a));
}

}  // namespace

// Runs of granules a sixteenth of an even share each, at most 64K items
// (512 KB of longs), at least one granule: long enough to stream, short
// enough that a task held up by a busy machine costs little.
void cjw(void *job, int) {
  Cj *j = (Cj *)job;
  UJ c = ((UJ)j->n + 31) / 32, g = c / (16 * (UJ)j->T);
  g = g < 1 ? 1 : g > 2048 ? 2048 : g;
  for (UJ q; (q = j->c.fetch_add(g, std::memory_order_relaxed)) < c;) {
    UJ e = 32 * (q + g);
    crng(j, 32 * q, e < j->n ? e : j->n);
  }
}

V tqi(V x) {
  int t = tp(x), nt = Tw[t] == 6 ? tLONG : tINT;
  Hdr *h = hd(x);
  if (sole(h)) {
    h->type = (int8_t)nt;
    return x;
  }
  U n = nx(x);
  V r = an(n, nt);
  memcpy(P(r), P(x), (UJ)n << (Tw[t] - 3));
  hd(r)->attr = h->attr;
  mr(x);
  return r;
}

V cT(int t, V x) {
  for (;;) {
    int s = tp(x);
    if (s < tBOOL || s > tCHR || t < tBOOL || t > tSYM) return et(x);
    if (s == t) return x;
    if (Ck k = cast_k[t - tBOOL][s - tBOOL]) return crun(k, t, x);
    if (t == tSYM) {
      if (s != tCHR) return et(x);
      V r = as(usn(PC(x), nx(x)));
      mr(x);
      return r;
    }
    if ((s == tBYTE && t == tCHR) || (s == tCHR && t == tBYTE)) {
      x = mut(x);
      hd(x)->type = (int8_t)t;
      return x;
    }
    if (!(x = cT(s == tBOOL ? (int)tBYTE : (int)cast_via[t - tBOOL], x))) return 0;
  }
}

namespace {
V ctk(V t, V x) { return ct(ip(t), x); }
}  // namespace

V ct(int t, V x) {
  for (;;) {
    int xt = tp(x);
    if (TT[xt] == t) return x;
    if (t < tBOOL || t > tSYM) return et(x);  // no such target
    switch (xt) {
      case tLIST:
        if (!nx(x)) {  // the cast of the prototype, taken zero times
          V p = io(x, 0);
          mr(x);
          return (p = ct(t, p)) ? rs0(p) : 0;
        }
        [[fallthrough]];
      case tTABLE:
      case tDICT: return r2f(ctk, ai(t), x);
      case tRANGE: return (x = gZ(x)) ? cT(t, x) : 0;
      case tDATE: case tTIME: case tTSTAMP: case tMINUTE: case tSECOND: case tMONTH: case tTSPAN:
        x = tqi(x);
        continue;
      case tINTA: case tCHRA: case tLONGA: {
        J i = gl(x);
        switch (t) {
          case tFLT: return af(xt == tLONGA && i == NJ ? (F)NAN : (F)i);
          case tLONG: return al(i);
          case tCHR: return ac((char)i);
          case tSYM: return xt == tCHRA ? as(usn((const char *)&i, 1)) : et0();
          default: return ai((I)i);
        }
      }
      case tFLTA: {
        J i = fsat(PF(x)[0]);
        mr(x);
        x = al(i);
        continue;
      }
      case tDATEA: case tTIMEA: case tTSTAMPA: case tMINUTEA: case tSECONDA: case tMONTHA: case tTSPANA:
        return t == (Tw[xt] == 6 ? (int)tLONG : (int)tINT) ? x : et(x);
      default: return cT(t, x);
    }
  }
}

V cF(V x) { return ct(tFLT, x); }
V cC(V x) { return ct(tCHR, x); }

// ---- the letter i ----

V csti(V x) {
  int t = tp(x);
  switch (t) {
    case tINTA: case tLONGA: case tRANGE: case tBYTE: case tSHORT: case tINT: case tLONG: return x;
    case tFLTA: {
      J i = fsat(PF(x)[0]);
      mr(x);
      return i == NJ ? al(NJ) : az(i);
    }
    case tFLT: return (x = ct(tLONG, x)) ? sqzZ(x) : 0;
    case tCHRA: return ai(ip(x));
    case tCHR: return ct(tBYTE, x);
    case tDATEA: case tTIMEA: case tMINUTEA: case tSECONDA: case tMONTHA: return ip(x) == NI ? al(NJ) : ai(ip(x));
    case tTSTAMPA: case tTSPANA: {
      J i = PL(x)[0];
      mr(x);
      return al(i);
    }
    case tDATE: case tTIME: case tMINUTE: case tSECOND: case tMONTH: {
      U n = nx(x);
      V r = an(n, tLONG);
      for (U i = 0; i < n; i++) PL(r)[i] = PI(x)[i] == NI ? NJ : (J)PI(x)[i];
      mr(x);
      return sqzZ(r);
    }
    case tTSTAMP: case tTSPAN: return sqzZ(tqi(x));
    case tLIST: case tTABLE: case tDICT: return e1f(csti, x);
    case tMONAD: case tDYAD: case tADV: return ai(ip(x));
    default: return et(x);
  }
}

// ---- the letter s ----

namespace {

ZK_INLINE bool cblk(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The text p[0..n) without leading and trailing blanks: its start in *a.
ZK_INLINE U trim(const char *p, U n, U *a) {
  U i = 0;
  while (i < n && cblk(p[i])) i++;
  while (n > i && cblk(p[n - 1])) n--;
  *a = i;
  return n - i;
}

// A non-empty list of char vectors of at most 255 chars as symbols; 0
// (nothing raised, x kept) as soon as an item is anything else.
V csbl(V x) {
  U n = nx(x);
  V r = an(n, tSYM);
  char b[256];
  for (U i = 0; i < n; i++) {
    V a = PA(x)[i];
    if (tp(a) != tCHR || nx(a) > 255) return mr(r), (V)0;
    U s, m = trim(PC(a), nx(a), &s);
    memcpy(b, PC(a) + s, m);
    b[m] = 0;
    PI(r)[i] = us(b);
  }
  mr(x);
  return r;
}

}  // namespace

V cSb(V x) {
  switch (tp(x)) {
    case tCHR: {
      U a, m = trim(PC(x), nx(x), &a);
      if (m == nx(x)) return ct(tSYM, x);
      V r = as(usn(PC(x) + a, m));
      mr(x);
      return r;
    }
    case tCHRA: return cblk((char)ip(x)) ? as(0) : ct(tSYM, x);
    case tLIST:
      if (nx(x))
        if (V r = csbl(x)) return r;
      [[fallthrough]];
    case tTABLE:
    case tDICT: return e1f(cSb, x);
    default: return ct(tSYM, x);
  }
}

}  // namespace zk
