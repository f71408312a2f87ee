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

// The keyboard layout: VkKeyScanA and MapVirtualKeyA (virtual key to scan code; dead keys).
class KeyboardLayout {
 public:
  virtual ~KeyboardLayout() = default;
  // Virtual key in the low byte, shift state in the high byte; -1 when no key gives `c`.
  virtual int16_t KeyScan(char c) = 0;
  virtual uint32_t ScanCodeOf(uint32_t virtualKey) = 0;
  // True when the key types nothing by itself and changes the next character.
  virtual bool IsDeadKey(uint32_t virtualKey) = 0;
};

// How the driver path types one character. The driver runs on Windows 9x only, which has no
// Unicode input: a key with no modifier or Shift alone goes to the driver as a code (bit 7
// Shift, bits 0-6 the scan code), and a dead accent with a space after it. A code has no
// room for Ctrl and Alt: a key that needs them is typed by the program itself with them held.
// A character no key gives is not typed (code 0, no held key).
struct Keystroke {
  uint8_t code;     // for the driver; 0 = none
  int16_t heldKey;  // the KeyScan answer of a key to type with Ctrl and Alt held; 0 = none
  bool dead;        // a dead accent: a space follows it
};
Keystroke KeystrokeFor(KeyboardLayout& layout, char c);
constexpr uint8_t kSpaceScanCode = 0x39;

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
  // Types a key with the Ctrl and Alt (and Shift) of its KeyScan answer held; may be null.
  void (*typeHeld)(int16_t key);
  // True for a repeat to ignore ("Ignore a repeat within N seconds"); may be null.
  bool (*ignoreRepeat)(const char* type, const char* data) = nullptr;
};

// The APC routine's work on one record; the record always goes back with
// kDriverCodeReleaseRecord, whatever became of the scan.
void ProcessDriverScan(DriverScanRecord* record, const DriverScanContext& context);

}  // namespace pellix
