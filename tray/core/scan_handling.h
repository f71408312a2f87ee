// The tray program's side of a scan: claiming it when the current profile has a command for
// its type, launching that command, the trace on the Settings page and the rule that keeps
// scans out of the Settings sheet. Shared by the KV_CC_MSG handler and the driver path.
#pragma once
#include <cstdint>

#include "profiles/core/profile_model.h"
#include "tray/core/scan_history.h"
#include "tray/core/settings_store.h"

namespace pellix {

constexpr int kAtomTextSize = 256;  // each field of an offered scan is read into 256 bytes

// A window as the logic sees it; null is none.
using WindowRef = const void*;

// What the Settings sheet shares while it runs.
struct SheetView {
  bool open = false;                 // the sheet is running
  WindowRef sheet = nullptr;         // its window, once its Settings page started
  WindowRef settingsPage = nullptr;  // the Settings page, none when it does not exist
};

// Opens a profile's command through the shell ("open", no owner, no directory).
class CommandLauncher {
 public:
  virtual ~CommandLauncher() = default;
  // `params` may be null. The launcher copies what it needs before it returns.
  virtual void Open(const char* file, const char* params, int32_t showMode) = 0;
};

// The platform as scan handling uses it, on whichever thread handles the scan.
class TrayPort {
 public:
  virtual ~TrayPort() = default;
  virtual WindowRef ForegroundWindow() = 0;
  virtual SheetView Sheet() = 0;
  virtual void Beep(int32_t beepType) = 0;
  // The trace box of the Settings page: fields 1027, 1028 and 1029.
  virtual void ShowTrace(WindowRef settingsPage, const char* serial, const char* type,
                         const char* data) = 0;
  // Global atoms: the name into `text` (`capacity` bytes); false when it cannot be read.
  virtual bool ReadAtom(uint16_t atom, char* text, int capacity) = 0;
  virtual void DeleteAtom(uint16_t atom) = 0;
  // Ends the sender's wait now (ReplyMessage).
  virtual void Reply(intptr_t result) = 0;
  // The scan for the History page and the scan log: its type, its data as delivered and
  // what became of it. Called on the thread that handles the scan; recorded on the main
  // thread.
  virtual void NoteScan(const char* type, const char* data, ScanAction action) = 0;
};

// True when the current profile's entry for the type has a non-empty command.
bool HasCommand(const ProfileTable& table, const char* type);

// Opens the entry's command with its parameters, both expanded with the scan; nothing when
// the type has no entry or the entry no command.
void LaunchCommand(const ProfileTable& table, CommandLauncher& launcher, const char* type,
                   const char* data, const char* serial);
// The same for an entry in hand (a copy taken from the table).
void LaunchEntryCommand(const ScanTypeEntry& entry, CommandLauncher& launcher, const char* type,
                        const char* data, const char* serial);

// KV_CC_MSG: a scan offered by the hook library as three atoms. The scan is claimed by
// deleting the data atom. Returns the message result, 1. A scan the tray program leaves to
// the library is noted as such: the library reports afterwards whether it was typed or the
// foreground window took it.
intptr_t OnScanMessage(TrayPort& port, CommandLauncher& launcher, const ProfileTable& table,
                       const TraySettings& settings, uint16_t dataAtom, uint16_t serialAtom,
                       uint16_t typeAtom);

// True when `foreground` is the Settings sheet (a sheet that has recorded its window).
inline bool SheetInFront(const SheetView& sheet, WindowRef foreground) {
  return sheet.sheet != nullptr && foreground == sheet.sheet;
}

}  // namespace pellix
