// Shared by the registry, settings and profile tests: the registries to run against, and
// fakes of the two back-ends that behave as the hook library's exports and the driver do.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/output.h"
#include "engine/transform_table.h"
#include "hooklib/exports.h"
#include "profiles/core/registry_port.h"
#include "tray/core/driver_port.h"

namespace pellix {

struct RegistryFactory {
  std::string name;  // "Memory" or "Win32"
  std::function<std::unique_ptr<RegistryPort>()> make;
};
// The in-memory registry everywhere; the real one too in the Windows build.
std::vector<RegistryFactory> AllRegistries();
std::string RegistryName(const RegistryFactory& factory);
inline void PrintTo(const RegistryFactory& factory, std::ostream* os) { *os << factory.name; }

// Deletes `path` below HKEY_CURRENT_USER with everything in it (missing is fine).
void DeleteTreeForTest(RegistryPort& registry, const std::string& path);
// The program's whole root, so that each test starts from a machine that never ran it.
inline void WipePellixRoot(RegistryPort& registry) {
  DeleteTreeForTest(registry, "software\\Obrelle Works\\Pellix");
}
// Opens (creating) a key below HKEY_CURRENT_USER; the caller closes it.
RegKey CreateKeyForTest(RegistryPort& registry, const std::string& path);
// Stores a value below HKEY_CURRENT_USER\path as given: any type, any bytes.
void PutValue(RegistryPort& registry, const std::string& path, const char* name, uint32_t type,
              const void* data, uint32_t size);
void PutString(RegistryPort& registry, const std::string& path, const char* name,
               const std::string& text);
void PutDword(RegistryPort& registry, const std::string& path, const char* name, uint32_t value);
bool KeyExists(RegistryPort& registry, const std::string& path);
// Subkey names in enumeration order (read with the registry's full name length).
std::vector<std::string> SubKeyNames(RegistryPort& registry, const std::string& path);
bool GetValue(RegistryPort& registry, const std::string& path, const char* name, uint32_t* type,
              std::string* bytes);

// The hook library's exports over the engine's own settings checks and transform table, as
// the library implements them: starting values, refusals, clamping, 3-character codes.
struct FakeHookLibrary {
  static HookLibraryExports Exports();
  static void Reset();  // the library's starting values and an empty table
  static OutputSettings settings;
  static uint32_t timeoutMs;
  static TransformTable table;
  static std::vector<std::string> calls;  // export names in call order
};

// Records every device call; code 4 answers with `terminator`.
class FakeDriver : public DriverPort {
 public:
  struct Call {
    uint32_t code;
    std::string in;
    uint32_t outSize;
  };
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* bytesReturned) override;
  char terminator = 13;
  std::vector<Call> calls;
};

}  // namespace pellix
