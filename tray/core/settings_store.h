// The tray program's settings and their registry form under the program key's "Settings".
#pragma once
#include <cstdint>

#include "profiles/core/program_key.h"

namespace pellix {

class SettingsBackEnd;

// One per process. All zero until the back-end's values are read back.
struct TraySettings {
  char terminator = 0;       // typed after the output; 0 = none
  char separator = 0;        // typed between the output's fields
  uint32_t outputStyle = 0;  // OutputStyle 0..3
  uint32_t beepOn = 0;       // 0 or 1
  int32_t beepType = 0;      // MessageBeep type; -2 for "None"
  uint32_t timeoutMs = 0;    // burst timeout (library mode only)
};

// The scan log, beside the original's values: "LogScans" (REG_DWORD, 0 or 1) and "LogFile"
// (REG_SZ, the file's full path). Read at start with the others, written when the History
// page changes them or a failed write turns logging off.
constexpr int kLogPathSize = 3 * 260;  // MAX_PATH characters, in UTF-8 where the system is NT
struct ScanLogSettings {
  uint32_t on = 0;
  char path[kLogPathSize] = {};
  // "IgnoreRepeatMs" (REG_DWORD): a repeat within this many ms is ignored; 0 (the default)
  // marks repeats only. At most kIgnoreRepeatMaxMs.
  uint32_t ignoreRepeatMs = 0;
};
constexpr uint32_t kIgnoreRepeatMaxMs = 60000;
// Missing or unreadable values leave logging off and the path empty.
void LoadScanLogSettings(RegistryPort& registry, ScanLogSettings& log);
void SaveScanLogSettings(RegistryPort& registry, const ScanLogSettings& log);

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
