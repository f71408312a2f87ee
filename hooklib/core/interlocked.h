// Atomic access to fields of the process-shared state. The state is a plain record in a
// shared image section, read and written by every process that maps the library, so its
// fields stay plain integers and pointers and every access from more than one thread goes
// through these.
#pragma once
#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace pellix {

#ifdef PELLIX_INTERLEAVING_POINTS
// Only in the interleaving explorer's build: every shared access may switch to another task.
void InterleavingPoint();
#define PELLIX_SHARED_ACCESS() ::pellix::InterleavingPoint()
#else
#define PELLIX_SHARED_ACCESS() ((void)0)
#endif

#if defined(_MSC_VER) && !defined(__clang__)
// Aligned loads and stores of up to pointer size are atomic on x86 and x64; MSVC gives
// volatile accesses acquire and release order there.
template <class T>
inline T SharedLoad(const T* p) {
  const T v = *static_cast<const volatile T*>(p);
  _ReadWriteBarrier();
  return v;
}
template <class T>
inline void SharedStore(T* p, T v) {
  _ReadWriteBarrier();
  *static_cast<volatile T*>(p) = v;
}
inline int32_t AtomicLoad(const int32_t* p) { return SharedLoad(p); }
inline void AtomicStore(int32_t* p, int32_t v) {
  _InterlockedExchange(reinterpret_cast<volatile long*>(p), v);
}
// Adds d to *p; returns the new value.
inline int32_t AtomicAdd(int32_t* p, int32_t d) {
  return _InterlockedExchangeAdd(reinterpret_cast<volatile long*>(p), d) + d;
}
#else
template <class T>
inline T SharedLoad(const T* p) {
  PELLIX_SHARED_ACCESS();
  return __atomic_load_n(p, __ATOMIC_ACQUIRE);
}
template <class T>
inline void SharedStore(T* p, T v) {
  PELLIX_SHARED_ACCESS();
  __atomic_store_n(p, v, __ATOMIC_RELEASE);
}
inline int32_t AtomicLoad(const int32_t* p) { return SharedLoad(p); }
inline void AtomicStore(int32_t* p, int32_t v) {
  PELLIX_SHARED_ACCESS();
  __atomic_store_n(p, v, __ATOMIC_SEQ_CST);
}
inline int32_t AtomicAdd(int32_t* p, int32_t d) {
  PELLIX_SHARED_ACCESS();
  return __atomic_add_fetch(p, d, __ATOMIC_ACQ_REL);
}
#endif

}  // namespace pellix
