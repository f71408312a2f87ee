#include "tray/core/driver_path.h"

#include <cstring>

#include "engine/fixups.h"
#include "engine/output.h"

namespace pellix {

Keystroke KeystrokeFor(KeyboardLayout& layout, char c) {
  if (const uint8_t key = ControlCharKey(c)) {
    return {static_cast<uint8_t>(layout.ScanCodeOf(key) & 0x7F), 0, false};
  }
  const int16_t v = layout.KeyScan(c);
  if (v == -1 || (v & 0xff) == 0xff) return {0, 0, false};
  const bool dead = IsSpacingAccent(c) && layout.IsDeadKey(static_cast<uint8_t>(v));
  if (v & (kNeedsCtrl | kNeedsAlt)) return {0, v, dead};
  uint8_t code = static_cast<uint8_t>(layout.ScanCodeOf(static_cast<uint8_t>(v)) & 0x7F);
  if (v & kNeedsShift) code |= 0x80;
  return {code, 0, dead};
}

namespace {

// Codes for the driver, sent in chunks of at most kKeystrokeChunk, Sleep(0) after each.
class CodeChunks {
 public:
  CodeChunks(DriverPort& driver, void (*yield)()) : driver_(driver), yield_(yield) {}
  void Add(uint8_t code) {
    if (count_ == kKeystrokeChunk) Flush();
    codes_[count_++] = code;
  }
  void Flush() {
    if (count_ == 0) return;
    driver_.Control(kDriverCodeTypeKeys, codes_, static_cast<uint32_t>(count_), nullptr, 0,
                    nullptr);
    count_ = 0;
    if (yield_) yield_();
  }

 private:
  DriverPort& driver_;
  void (*yield_)();
  uint8_t codes_[kKeystrokeChunk];
  int count_ = 0;
};

void TypeThroughDriver(const char* text, const DriverScanContext& ctx) {
  CodeChunks chunks(*ctx.driver, ctx.yield);
  for (const char* p = text; *p; ++p) {
    const Keystroke k = KeystrokeFor(*ctx.layout, *p);
    if (k.heldKey != 0) {
      chunks.Flush();  // what came before is typed first
      if (ctx.typeHeld) ctx.typeHeld(k.heldKey);
    } else if (k.code != 0) {
      chunks.Add(k.code);
    }
    if (k.dead && (k.code != 0 || k.heldKey != 0)) chunks.Add(kSpaceScanCode);
  }
  chunks.Flush();
}

}  // namespace

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

  // The user-interface thread may change or free the table's entries meanwhile: this thread
  // works on copies, each taken whole under the table's lock.
  if (const auto entry = ctx.table->CopyForScan(record->type)) {
    const char* filter = entry->filter ? entry->filter : "";
    ApplyTypeChoice(record->type, record->data, entry->autoConvert, filter,
                    static_cast<int>(std::strlen(filter)));
  }
  record->done = 1;
  DriverAddress address = record;
  // A repeat to ignore does nothing but its own beep and its row.
  if (ctx.ignoreRepeat && ctx.ignoreRepeat(record->type, record->data)) {
    if (settings.beepOn) port.Beep(RepeatBeepType(settings.beepType));
    port.NoteScan(record->type, record->data, ScanAction::kRepeatIgnored);
    driver.Control(kDriverCodeReleaseRecord, &address, sizeof address, nullptr, 0, nullptr);
    return;
  }
  if (settings.beepOn) port.Beep(settings.beepType);

  const SheetView sheet = port.Sheet();
  if (sheet.open && sheet.settingsPage) {
    port.ShowTrace(sheet.settingsPage, record->serial, record->type, record->data);
  }

  const auto entry = ctx.table->CopyForScan(record->type);  // the type may have changed
  // A scan filtered to nothing launches nothing: there is nothing to hand the command.
  const bool launch = entry && entry->command && entry->command[0] != '\0' &&
                      record->data[0] != '\0';
  const bool ownInFront = foreground != nullptr && port.OwnWindow(foreground);
  if (launch) {
    port.NoteScan(record->type, record->data,
                  LaunchEntryCommand(port, *entry, *ctx.launcher, record->type, record->data,
                                     record->serial));
  } else {
    // Noted before the output is composed: the history and the log hold the scan's data,
    // never the wand's serial that the output may carry.
    port.NoteScan(record->type, record->data,
                  record->data[0] == '\0' ? ScanAction::kFilteredOut
                  : ownInFront             ? ScanAction::kClaimed
                                           : ScanAction::kTyped);
    char text[sizeof record->data];
    FormatScanOutput(text, sizeof text, record->serial, record->type, record->data,
                     settings.separator, settings.outputStyle);
    std::memcpy(record->data, text, sizeof text);
    if (!ownInFront) {
      TypeThroughDriver(record->data, ctx);
      const char terminator = settings.terminator;
      if (terminator != 0) {
        driver.Control(kDriverCodeTypeTerminator, &terminator, 1, nullptr, 0, nullptr);
      }
    }
  }

  driver.Control(kDriverCodeReleaseRecord, &address, sizeof address, nullptr, 0, nullptr);
}

}  // namespace pellix
