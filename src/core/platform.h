// platform.h: the few machine services the runtime core takes from the
// host platform, behind one small interface: branch hints, the spin hint
// used by waiting threads, the page size, and the atomics used in shared
// mode (plain std::atomic_ref on the same words the single-threaded paths
// touch directly, so no field changes layout between the two modes).
#pragma once
#include <atomic>
#include <cstdint>
#include <cstddef>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#define ZK_LIKELY(x) __builtin_expect(!!(x), 1)
#define ZK_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define ZK_INLINE inline __attribute__((always_inline))
#define ZK_API extern "C" __attribute__((visibility("default")))

// Under AddressSanitizer the engine's own pools mark what they hold free,
// so a use after release inside them is reported like one after free().
#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#define ZK_POISON(p, n) ASAN_POISON_MEMORY_REGION((const void *)(uintptr_t)(p), (size_t)(n))
#define ZK_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((const void *)(uintptr_t)(p), (size_t)(n))
#else
#define ZK_POISON(p, n) ((void)0)
#define ZK_UNPOISON(p, n) ((void)0)
#endif

namespace zk {

// Spin hint for busy-wait loops: lets the sibling hyperthread run.
ZK_INLINE void spin_hint() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#elif defined(__aarch64__)
  __asm__ __volatile__("yield");
#endif
}

// Atomic read-modify-write on a plain word, used only in shared mode.
template <class T> ZK_INLINE T at_add_relaxed(T &w, T d) {
  return std::atomic_ref<T>(w).fetch_add(d, std::memory_order_relaxed);
}
template <class T> ZK_INLINE T at_add_acqrel(T &w, T d) {
  return std::atomic_ref<T>(w).fetch_add(d, std::memory_order_acq_rel);
}
template <class T> ZK_INLINE T at_load_acq(T &w) {
  return std::atomic_ref<T>(w).load(std::memory_order_acquire);
}
template <class T> ZK_INLINE void at_store_rel(T &w, T v) {
  std::atomic_ref<T>(w).store(v, std::memory_order_release);
}

extern size_t pg;  // system page size, read at boot (sysconf)

}  // namespace zk
