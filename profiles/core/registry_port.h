// The registry as the settings and profile stores use it: the handful of advapi32 calls they
// make, with the semantics those calls have on Windows. Implemented over advapi32
// (profiles/win32) and in memory (MemoryRegistry) for native tests; one contract suite
// (profiles/tests/registry_contract_test.cpp) runs against both.
#pragma once
#include <cstdint>

namespace pellix {

// An open key; null is none. Keys from OpenKey and CreateKey are closed with CloseKey.
using RegKey = void*;

constexpr uint32_t kRegSz = 1;      // REG_SZ
constexpr uint32_t kRegBinary = 3;  // REG_BINARY
constexpr uint32_t kRegDword = 4;   // REG_DWORD
// KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY: every key of the program is opened so.
constexpr uint32_t kPellixKeyAccess = 0x2001F;
// Longest key name the registry allows, in characters.
constexpr uint32_t kMaxRegKeyName = 255;

class RegistryPort {
 public:
  virtual ~RegistryPort() = default;

  // HKEY_CURRENT_USER; never needs closing.
  virtual RegKey CurrentUser() = 0;
  // RegOpenKeyExA: an existing key only. Names ignore letter case; '\' separates a path.
  virtual bool OpenKey(RegKey parent, const char* name, uint32_t access, RegKey* key) = 0;
  // RegCreateKeyExA (non-volatile, no class, default security): opens or creates.
  virtual bool CreateKey(RegKey parent, const char* name, uint32_t access, RegKey* key) = 0;
  virtual void CloseKey(RegKey key) = 0;

  // RegQueryValueExA. *size is the buffer's capacity on entry and the value's size on
  // success; a value larger than the buffer fails. *type receives the stored type.
  virtual bool QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                          uint32_t* size) = 0;
  // RegSetValueExA: stores exactly `size` bytes with the given type.
  virtual bool SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                        uint32_t size) = 0;

  // A REG_SZ of UTF-8 text stored as the characters it stands for (RegSetValueExW), so that
  // it comes back exactly whatever the ANSI code page and reads so in regedit. Fails for
  // text that is not UTF-8 (or, on Windows 9x, has no form in the ANSI code page).
  virtual bool SetText(RegKey key, const char* name, const char* text) = 0;
  // A REG_SZ as UTF-8 text (RegQueryValueExW) into `text`, which holds `capacity` bytes
  // including the NUL. Fails for a missing value, another type, and text that does not fit.
  virtual bool QueryText(RegKey key, const char* name, char* text, uint32_t capacity) = 0;

  // RegEnumKeyExA: the name of subkey `index` into `name`, which holds `capacity` characters
  // including the NUL. Fails past the last subkey and for a name that does not fit.
  virtual bool EnumKey(RegKey key, uint32_t index, char* name, uint32_t capacity) = 0;
  // RegQueryInfoKeyA: the number of direct subkeys.
  virtual bool CountSubKeys(RegKey key, uint32_t* count) = 0;
  // RegDeleteKeyA: fails while the subkey has subkeys of its own.
  virtual bool DeleteKey(RegKey parent, const char* name) = 0;
};

// Closes a key when the scope ends.
class ScopedKey {
 public:
  explicit ScopedKey(RegistryPort& registry, RegKey key = nullptr) : registry_(registry), key_(key) {}
  ~ScopedKey() { Reset(); }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  RegKey get() const { return key_; }
  RegKey* out() { Reset(); return &key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void Reset() {
    if (key_ != nullptr) registry_.CloseKey(key_);
    key_ = nullptr;
  }

 private:
  RegistryPort& registry_;
  RegKey key_;
};

}  // namespace pellix
