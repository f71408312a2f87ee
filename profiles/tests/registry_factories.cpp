// Which registries the shared suites run against in this build.
#include "profiles/core/memory_registry.h"
#include "profiles/tests/store_testing.h"
#ifdef _WIN32
#include "profiles/win32/win32_registry.h"
#endif

namespace pellix {

std::vector<RegistryFactory> AllRegistries() {
  std::vector<RegistryFactory> all;
  all.push_back({"Memory", [] { return std::unique_ptr<RegistryPort>(new MemoryRegistry); }});
#ifdef _WIN32
  // The test prefix is private to the run, so the program's real key may be used.
  all.push_back({"Win32", [] { return std::unique_ptr<RegistryPort>(new Win32Registry); }});
#endif
  return all;
}

}  // namespace pellix
