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

ScanAction LaunchEntryCommand(TrayPort& port, const ScanTypeEntry& entry,
                              CommandLauncher& launcher, const char* type, const char* data,
                              const char* serial) {
  ExpandedCommand command;
  const LaunchRefusal refusal = ExpandLaunch(entry, data, type, serial, launcher, &command);
  if (refusal != LaunchRefusal::kNone) {
    port.TellRefusal(entry.code ? entry.code : "", LaunchRefusalText(refusal));
    return ScanAction::kRefused;
  }
  launcher.Open(command.file, command.hasParams ? command.params : nullptr, entry.showMode);
  return ScanAction::kLaunched;
}

ScanAction TakeOfferedScan(TrayPort& port, CommandLauncher& launcher, const ProfileTable& table,
                           const TraySettings& settings, const char* data, const char* serial,
                           const char* type, uint16_t dataAtom, intptr_t claimReply) {
  const WindowRef foreground = port.ForegroundWindow();
  // A scan filtered to nothing launches nothing: there is nothing to hand the command.
  const ScanTypeEntry* entry = data[0] != '\0' ? CommandEntry(table, type) : nullptr;
  const bool ownInFront = foreground != nullptr && port.OwnWindow(foreground);
  if (entry || ownInFront) {
    if (dataAtom != 0) port.DeleteAtom(dataAtom);  // the claim: the sender finds the atom gone
    port.Reply(claimReply);  // the sender need not wait while the command starts
  }
  ScanAction action = ScanAction::kLeftToLibrary;
  if (entry) {
    BeepIfOn(port, settings);
    action = LaunchEntryCommand(port, *entry, launcher, type, data, serial);
  }
  const SheetView sheet = port.Sheet();
  if (sheet.open && sheet.settingsPage) port.ShowTrace(sheet.settingsPage, serial, type, data);
  if (ownInFront) {
    BeepIfOn(port, settings);
    if (!entry) action = ScanAction::kClaimed;
  }
  return action;
}

intptr_t OnScanMessage(TrayPort& port, CommandLauncher& launcher, const ProfileTable& table,
                       const TraySettings& settings, uint16_t dataAtom, uint16_t serialAtom,
                       uint16_t typeAtom) {
  char data[kAtomTextSize], serial[kAtomTextSize], type[kAtomTextSize];
  struct {
    uint16_t atom;
    char* text;
  } fields[] = {{dataAtom, data}, {serialAtom, serial}, {typeAtom, type}};
  for (auto& f : fields) {
    if (!port.ReadAtom(f.atom, f.text, kAtomTextSize)) f.text[0] = '\0';
    f.text[kAtomTextSize - 1] = '\0';
  }
  const ScanAction action =
      TakeOfferedScan(port, launcher, table, settings, data, serial, type, dataAtom, 1);
  port.NoteScan(type, data, action == ScanAction::kLeftToLibrary ? ScanAction::kTyped : action);
  return 1;
}

}  // namespace pellix
