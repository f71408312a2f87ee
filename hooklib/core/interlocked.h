// Atomic access to 32-bit fields of the process-shared state. The state is a plain record in
// a shared image section, read and written by every process that maps the library, so its
// fields stay plain integers and are accessed through these.
#pragma once
#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace pellix {

#ifdef PELLIX_INTERLEAVING_POINTS
// Only in the interleaving explorer's build: every shared access may switch to another task.
void InterleavingPoint();
void InterleavingStepEntered();
void InterleavingStepLeft();
#define PELLIX_SHARED_ACCESS() ::pellix::InterleavingPoint()
#else
#define PELLIX_SHARED_ACCESS() ((void)0)
#endif

#if defined(_MSC_VER) && !defined(__clang__)
inline int32_t AtomicLoad(const int32_t* p) {
  const int32_t v = *static_cast<const volatile int32_t*>(p);
  _ReadWriteBarrier();
  return v;
}
inline void AtomicStore(int32_t* p, int32_t v) {
  _InterlockedExchange(reinterpret_cast<volatile long*>(p), v);
}
// Sets *p to desired when it holds expected; returns true when it did.
inline bool AtomicCompareExchange(int32_t* p, int32_t expected, int32_t desired) {
  return _InterlockedCompareExchange(reinterpret_cast<volatile long*>(p), desired, expected) ==
         expected;
}
#else
inline int32_t AtomicLoad(const int32_t* p) {
  PELLIX_SHARED_ACCESS();
  return __atomic_load_n(p, __ATOMIC_ACQUIRE);
}
inline void AtomicStore(int32_t* p, int32_t v) {
  PELLIX_SHARED_ACCESS();
  __atomic_store_n(p, v, __ATOMIC_RELEASE);
}
inline bool AtomicCompareExchange(int32_t* p, int32_t expected, int32_t desired) {
  PELLIX_SHARED_ACCESS();
  return __atomic_compare_exchange_n(p, &expected, desired, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE);
}
#endif

}  // namespace pellix
