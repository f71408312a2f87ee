// The tray program's output settings, their registry form below
// HKEY_CURRENT_USER\software\Obrelle Works\Pellix, and the registry operations the profile
// store uses too. Every operation opens the key chain afresh and closes what it opened.
#pragma once
#include <cstdint>

#include "profiles/core/registry_port.h"

namespace pellix {

class SettingsBackEnd;

constexpr int kProfileNameSize = 200;  // CurrentProfileName: at most 199 characters and NUL
constexpr const char* kSettingsKey = "Settings";
constexpr const char* kProfilesKey = "Profiles";

// One per process. All zero until the back-end's values are read back.
struct TraySettings {
  char terminator = 0;       // typed after the output; 0 = none
  char separator = 0;        // typed between the output's fields
  uint32_t outputStyle = 0;  // OutputStyle 0..3
  uint32_t beepOn = 0;       // 0 or 1
  int32_t beepType = 0;      // MessageBeep type; -2 for "None"
  uint32_t timeoutMs = 0;    // burst timeout (library mode only)
};

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

// The back-end's own values, which serve as defaults for what the registry lacks.
void ReadBackSettings(SettingsBackEnd& backEnd, TraySettings& settings);
// "Settings": each number replaces its field when stored; "CurProfile" fills
// currentProfileName (kProfileNameSize bytes), which is emptied when it cannot be read.
void LoadSettings(RegistryPort& registry, TraySettings& settings, char* currentProfileName);
// Writes all seven values, each whatever became of the others.
void SaveSettings(RegistryPort& registry, const TraySettings& settings,
                  const char* currentProfileName);
void PushSettings(SettingsBackEnd& backEnd, const TraySettings& settings);

}  // namespace pellix
