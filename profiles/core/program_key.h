// The program's registry key, HKEY_CURRENT_USER\software\Obrelle Works\Pellix, and the value
// operations that the settings store and the profile store both use. Every operation opens
// the key chain afresh and closes what it opened.
#pragma once
#include <cstdint>

#include "profiles/core/registry_port.h"

namespace pellix {

constexpr int kProfileNameSize = 200;  // CurrentProfileName: at most 199 characters and NUL
constexpr const char* kSettingsKey = "Settings";
constexpr const char* kProfilesKey = "Profiles";

// The root key, opened or created ("software" itself is only opened); null on failure.
// The caller closes it.
RegKey OpenRootKey(RegistryPort& registry);
// A subkey of the root, created when missing; null on failure. The caller closes it.
RegKey OpenSubKey(RegistryPort& registry, const char* subKey);

// The stored 4 bytes whatever their type; `fallback` when the key or value is missing or the
// value is not exactly 4 bytes.
uint32_t ReadDwordValue(RegistryPort& registry, const char* subKey, const char* valueName,
                        uint32_t fallback);
bool WriteDwordValue(RegistryPort& registry, const char* subKey, const char* valueName,
                     uint32_t value);
// A REG_SZ that fits `capacity` bytes with its NUL; otherwise false and an empty buffer.
bool ReadStringValue(RegistryPort& registry, const char* subKey, const char* valueName,
                     char* buffer, uint32_t capacity);
// Stores the text as REG_SZ with its terminator.
bool WriteStringValue(RegistryPort& registry, const char* subKey, const char* valueName,
                      const char* text);

}  // namespace pellix
