#include "tray/core/scan_handling.h"

#include <cstring>

namespace pellix {

namespace {

void BeepIfOn(TrayPort& port, const TraySettings& settings) {
  if (settings.beepOn) port.Beep(settings.beepType);
}

const ScanTypeEntry* CommandEntry(const ProfileTable& table, const char* type) {
  const ScanTypeEntry* entry = table.FindForScan(type);
  if (!entry || !entry->command || entry->command[0] == '\0') return nullptr;
  return entry;
}

}  // namespace

bool HasCommand(const ProfileTable& table, const char* type) {
  return CommandEntry(table, type) != nullptr;
}

void LaunchCommand(const ProfileTable& table, CommandLauncher& launcher, const char* type,
                   const char* data, const char* serial) {
  if (const ScanTypeEntry* entry = CommandEntry(table, type)) {
    LaunchEntryCommand(*entry, launcher, type, data, serial);
  }
}

void LaunchEntryCommand(const ScanTypeEntry& entry, CommandLauncher& launcher, const char* type,
                        const char* data, const char* serial) {
  if (!entry.command || entry.command[0] == '\0') return;
  char* file = entry.ExpandCommand(data, type, serial);
  char* params = entry.ExpandParams(data, type, serial);
  // Either expansion's text starts the shell, even a command that expanded to nothing.
  if (file || params) launcher.Open(file ? file : "", params, entry.showMode);
  delete[] file;
  delete[] params;
}

intptr_t OnScanMessage(TrayPort& port, CommandLauncher& launcher, const ProfileTable& table,
                       const TraySettings& settings, uint16_t dataAtom, uint16_t serialAtom,
                       uint16_t typeAtom) {
  const WindowRef foreground = port.ForegroundWindow();

  char data[kAtomTextSize], serial[kAtomTextSize], type[kAtomTextSize];
  struct {
    uint16_t atom;
    char* text;
  } fields[] = {{dataAtom, data}, {serialAtom, serial}, {typeAtom, type}};
  for (auto& f : fields) {
    if (!port.ReadAtom(f.atom, f.text, kAtomTextSize)) f.text[0] = '\0';
    f.text[kAtomTextSize - 1] = '\0';
  }

  bool claimed = false;
  if (HasCommand(table, type)) {
    port.DeleteAtom(dataAtom);  // the claim: the library finds the data atom gone
    port.Reply(1);              // the library need not wait while the command starts
    BeepIfOn(port, settings);
    LaunchCommand(table, launcher, type, data, serial);
    claimed = true;
  }

  const SheetView sheet = port.Sheet();
  if (sheet.open && sheet.settingsPage) port.ShowTrace(sheet.settingsPage, serial, type, data);

  const bool sheetInFront = SheetInFront(sheet, foreground);
  if (sheetInFront) {
    BeepIfOn(port, settings);
    if (!claimed) port.DeleteAtom(dataAtom);  // nothing is typed into the sheet
  }
  port.NoteScan(type, data, claimed ? ScanAction::kLaunched
                            : sheetInFront ? ScanAction::kClaimed
                                           : ScanAction::kLeftToLibrary);
  return 1;
}

}  // namespace pellix
