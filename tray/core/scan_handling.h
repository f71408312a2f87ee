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

// Opens a profile's command through the shell ("open", no owner, no directory), after the
// lookup of what it runs.
class CommandLauncher : public ProgramLookup {
 public:
  // UTF-16 texts; `params` may be null. The launcher copies what it needs before it returns.
  virtual void Open(const char16_t* file, const char16_t* params, int32_t showMode) = 0;
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
  // True for a window of this process (the main window, the sheet, a file dialog, a box).
  virtual bool OwnWindow(WindowRef window) = 0;
  // Why the command of the profile entry for `code` was refused, told from the tray icon.
  virtual void TellRefusal(const char* code, const char* why) = 0;
};

// True when the current profile's entry for the type has a non-empty command.
bool HasCommand(const ProfileTable& table, const char* type);

// Opens the entry's command with its parameters, both expanded with the scan (ExpandLaunch):
// kLaunched, or kRefused after telling why. The entry has a command.
ScanAction LaunchEntryCommand(TrayPort& port, const ScanTypeEntry& entry,
                              CommandLauncher& launcher, const char* type, const char* data,
                              const char* serial);

// A scan offered to the tray program, however it came. The profile claims it when its type has
// a command; a window of this process in front claims it too (nothing is typed into Pellix).
// A claim deletes `dataAtom` when there is one and ends the sender's wait with `claimReply`
// before the command starts. Every scan is shown in the Settings page's trace box. Returns
// what became of it: kLaunched, kRefused, kClaimed, or kLeftToLibrary. Nothing is noted.
ScanAction TakeOfferedScan(TrayPort& port, CommandLauncher& launcher, const ProfileTable& table,
                           const TraySettings& settings, const char* data, const char* serial,
                           const char* type, uint16_t dataAtom, intptr_t claimReply);

// KV_CC_MSG: a scan offered as three atoms (by another sender than the library, which has
// its own word with this program). The scan is claimed by deleting the data atom. Returns the
// message result, 1. The scan is noted, a scan left to the sender as typed.
intptr_t OnScanMessage(TrayPort& port, CommandLauncher& launcher, const ProfileTable& table,
                       const TraySettings& settings, uint16_t dataAtom, uint16_t serialAtom,
                       uint16_t typeAtom);

}  // namespace pellix
