// The driver back-end's scan routine: a record queued by PELLIX.VXD is fixed up and filtered
// with the tray program's own profile, beeped, traced, and then launched or typed through
// the driver as keystroke codes.
#pragma once
#include <cstdint>

#include "profiles/core/profile_model.h"
#include "tray/core/driver_port.h"
#include "tray/core/scan_handling.h"
#include "tray/core/settings_store.h"

namespace pellix {

constexpr int kKeystrokeChunk = 15;  // codes per kDriverCodeTypeKeys request

// The keyboard layout: VkKeyScanA and MapVirtualKeyA (virtual key to scan code).
class KeyboardLayout {
 public:
  virtual ~KeyboardLayout() = default;
  // Virtual key in the low byte, shift state in the high byte; -1 when no key gives `c`.
  virtual int16_t KeyScan(char c) = 0;
  virtual uint32_t ScanCodeOf(uint32_t virtualKey) = 0;
};

// One keystroke code: bit 7 Shift, bits 0-6 the key's scan code. A character no key of the
// layout gives becomes 0 (no key), which the driver types as nothing.
uint8_t KeystrokeCode(KeyboardLayout& layout, char c);

// Replaces each character of the text by its keystroke code, in place; returns `text`.
// The length must be taken before: a code may be 0.
char* ToKeystrokeCodes(char* text, KeyboardLayout& layout);

// Everything the routine reads besides the record. The routine runs on the driver thread
// while the user-interface thread may change these: the settings are plain values, read as
// they stand; the table's entries are copied out under its lock (CopyForScan).
struct DriverScanContext {
  DriverPort* driver;
  TrayPort* port;
  CommandLauncher* launcher;
  KeyboardLayout* layout;
  const ProfileTable* table;
  const TraySettings* settings;
  void (*yield)();  // Sleep(0) between chunks; may be null
};

// The APC routine's work on one record; the record always goes back with
// kDriverCodeReleaseRecord, whatever became of the scan.
void ProcessDriverScan(DriverScanRecord* record, const DriverScanContext& context);

}  // namespace pellix
