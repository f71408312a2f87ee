#include "tray/core/driver_path.h"

#include <cstring>

#include "engine/fixups.h"
#include "engine/output.h"

namespace pellix {

uint8_t KeystrokeCode(KeyboardLayout& layout, char c) {
  if (const uint8_t key = ControlCharKey(c)) {
    return static_cast<uint8_t>(layout.ScanCodeOf(key) & 0x7F);
  }
  const int16_t v = layout.KeyScan(c);
  if (v == -1) return 0;
  uint8_t code = static_cast<uint8_t>(layout.ScanCodeOf(static_cast<uint8_t>(v)) & 0x7F);
  if (v & 0x100) code |= 0x80;  // Shift; Ctrl and Alt have no place in a code
  return code;
}

char* ToKeystrokeCodes(char* text, KeyboardLayout& layout) {
  for (char* p = text; *p; ++p) *p = static_cast<char>(KeystrokeCode(layout, *p));
  return text;
}

void ProcessDriverScan(DriverScanRecord* record, const DriverScanContext& ctx) {
  TrayPort& port = *ctx.port;
  DriverPort& driver = *ctx.driver;
  const WindowRef foreground = port.ForegroundWindow();

  // The record is the driver's: its texts are made terminated before anything reads them.
  record->type[sizeof record->type - 1] = '\0';
  record->data[sizeof record->data - 1] = '\0';
  record->serial[sizeof record->serial - 1] = '\0';

  ApplyFixedFixUps(record->type, record->data);  // UPC-E check digit; cue code to "CUE"
  const TraySettings& settings = *ctx.settings;
  if (settings.beepOn) port.Beep(settings.beepType);

  // The user-interface thread may change or free the table's entries meanwhile: this thread
  // works on copies, each taken whole under the table's lock.
  if (const auto entry = ctx.table->CopyForScan(record->type)) {
    const char* filter = entry->filter ? entry->filter : "";
    ApplyTypeChoice(record->type, record->data, entry->autoConvert, filter,
                    static_cast<int>(std::strlen(filter)));
  }
  record->done = 1;

  const SheetView sheet = port.Sheet();
  if (sheet.open && sheet.settingsPage) {
    port.ShowTrace(sheet.settingsPage, record->serial, record->type, record->data);
  }

  const auto entry = ctx.table->CopyForScan(record->type);  // the type may have changed
  const bool launch = entry && entry->command && entry->command[0] != '\0';
  const bool ownInFront = foreground != nullptr && port.OwnWindow(foreground);
  if (launch) {
    port.NoteScan(record->type, record->data,
                  LaunchEntryCommand(port, *entry, *ctx.launcher, record->type, record->data,
                                     record->serial));
  } else {
    char text[sizeof record->data];
    FormatScanOutput(text, sizeof text, record->serial, record->type, record->data,
                     settings.separator, settings.outputStyle);
    std::memcpy(record->data, text, sizeof text);
    const size_t length = std::strlen(record->data);
    port.NoteScan(record->type, record->data,
                  record->data[0] == '\0' ? ScanAction::kFilteredOut
                  : ownInFront             ? ScanAction::kClaimed
                                           : ScanAction::kTyped);
    if (!ownInFront) {
      ToKeystrokeCodes(record->data, *ctx.layout);
      for (size_t at = 0; at < length; at += kKeystrokeChunk) {
        const size_t n = length - at < kKeystrokeChunk ? length - at : kKeystrokeChunk;
        driver.Control(kDriverCodeTypeKeys, record->data + at, static_cast<uint32_t>(n),
                       nullptr, 0, nullptr);
        if (ctx.yield) ctx.yield();
      }
      const char terminator = settings.terminator;
      if (terminator != 0) {
        driver.Control(kDriverCodeTypeTerminator, &terminator, 1, nullptr, 0, nullptr);
      }
    }
  }

  DriverAddress address = record;
  driver.Control(kDriverCodeReleaseRecord, &address, sizeof address, nullptr, 0, nullptr);
}

}  // namespace pellix
