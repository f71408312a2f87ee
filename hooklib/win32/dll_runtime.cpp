// What the shipped binaries' code needs of a C++ runtime, and nothing more: allocation (the
// library's scan records for its delivery thread; the program's profiles and texts), and the
// entries of abstract classes' tables. Taken from msvcrt, which every Windows has, so that no
// runtime code is linked in. An allocation that must not fail and does ends the program, as
// an uncaught std::bad_alloc would.
#if defined(__GNUC__)
#include <cstdlib>
#include <new>

namespace std {
const nothrow_t nothrow{};
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size); }
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size ? size : 1)) return p;
  std::abort();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

extern "C" void __cxa_pure_virtual() { std::abort(); }
#endif
