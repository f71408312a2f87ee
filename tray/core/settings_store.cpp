#include "tray/core/settings_store.h"

#include <cstring>

#include "tray/core/settings_backend.h"

namespace pellix {

namespace {

// Characters are stored sign-extended, as the program always has: 0x80 is stored as -128.
uint32_t CharToDword(char c) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)));
}
char DwordToChar(uint32_t value) { return static_cast<char>(value & 0xFF); }

}  // namespace

void ReadBackSettings(SettingsBackEnd& backEnd, TraySettings& settings) {
  backEnd.ReadBack(settings);
}

void LoadSettings(RegistryPort& registry, TraySettings& settings, char* currentProfileName) {
  settings.terminator =
      DwordToChar(ReadDwordValue(registry, kSettingsKey, "TermChar", CharToDword(settings.terminator)));
  settings.separator =
      DwordToChar(ReadDwordValue(registry, kSettingsKey, "SepChar", CharToDword(settings.separator)));
  settings.outputStyle = ReadDwordValue(registry, kSettingsKey, "Style", settings.outputStyle);
  settings.beepOn = ReadDwordValue(registry, kSettingsKey, "BeepOn", settings.beepOn);
  settings.beepType = static_cast<int32_t>(ReadDwordValue(
      registry, kSettingsKey, "BeepStyle", static_cast<uint32_t>(settings.beepType)));
  settings.timeoutMs = ReadDwordValue(registry, kSettingsKey, "Timeout", settings.timeoutMs);
  ReadStringValue(registry, kSettingsKey, "CurProfile", currentProfileName, kProfileNameSize);
}

void SaveSettings(RegistryPort& registry, const TraySettings& settings,
                  const char* currentProfileName) {
  WriteDwordValue(registry, kSettingsKey, "TermChar", CharToDword(settings.terminator));
  WriteDwordValue(registry, kSettingsKey, "SepChar", CharToDword(settings.separator));
  WriteDwordValue(registry, kSettingsKey, "Style", settings.outputStyle);
  WriteDwordValue(registry, kSettingsKey, "BeepOn", settings.beepOn);
  WriteDwordValue(registry, kSettingsKey, "BeepStyle", static_cast<uint32_t>(settings.beepType));
  WriteDwordValue(registry, kSettingsKey, "Timeout", settings.timeoutMs);
  WriteStringValue(registry, kSettingsKey, "CurProfile", currentProfileName);
}

void LoadScanLogSettings(RegistryPort& registry, ScanLogSettings& log) {
  log.on = ReadDwordValue(registry, kSettingsKey, "LogScans", 0) != 0 ? 1 : 0;
  ReadStringValue(registry, kSettingsKey, "LogFile", log.path, sizeof log.path);
  const uint32_t ms = ReadDwordValue(registry, kSettingsKey, "IgnoreRepeatMs", 0);
  log.ignoreRepeatMs = ms > kIgnoreRepeatMaxMs ? kIgnoreRepeatMaxMs : ms;
}

void SaveScanLogSettings(RegistryPort& registry, const ScanLogSettings& log) {
  WriteDwordValue(registry, kSettingsKey, "LogScans", log.on ? 1 : 0);
  WriteStringValue(registry, kSettingsKey, "LogFile", log.path);
  WriteDwordValue(registry, kSettingsKey, "IgnoreRepeatMs", log.ignoreRepeatMs);
}

void PushSettings(SettingsBackEnd& backEnd, const TraySettings& settings) {
  backEnd.Push(settings);
}

}  // namespace pellix
