// What the library's code needs of a C++ runtime, and nothing more: allocation of a scan's
// record for its delivery thread, and the entries of abstract classes' tables. Taken from
// msvcrt, which every Windows has, so that no runtime code is linked into the DLL.
#if defined(__GNUC__)
#include <cstdlib>
#include <new>

namespace std {
const nothrow_t nothrow{};
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

extern "C" void __cxa_pure_virtual() { std::abort(); }
#endif
