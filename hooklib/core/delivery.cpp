#include "hooklib/core/delivery.h"

#include <cstring>

#include "engine/output.h"
#include "engine/scan_record.h"
#include "hooklib/core/interlocked.h"

namespace pellix {

namespace {

// TypeScanOutput's view of the library: the cue and the typing of one piece.
class LibraryTyping : public TypingPort {
 public:
  explicit LibraryTyping(HookContext& c) : c_(c) {}
  void Beep(uint32_t beepType) override { c_.platform.Beep(beepType); }
  void TypeText(const char* text) override { pellix::TypeText(c_, text); }

 private:
  HookContext& c_;
};

void RemoveAtomIfMade(HookPlatform& p, uint16_t atom) {
  if (atom != 0) p.RemoveAtom(atom);
}

// The end of every scan nobody claimed. Reported before the keys go out: typing takes a
// while, and the tray program may be ended right after it.
void ReportAndType(HookContext& c, const ScanRecord& record, void* tray) {
  if (tray) {
    c.platform.ReportOutcome(tray, record.data[0] != 0 ? kOutcomeTyped : kOutcomeFilteredOut,
                             record.type);
  }
  LibraryTyping typing(c);
  TypeScanOutput(record, ReadOutputSettings(c.state), typing);
}

// The tray program's window, read once: another process may change it.
void* TrayWindow(const HookSharedState& s) {
  return ReadMessageId(s) != 0 ? SharedLoad(&s.targetWindow) : nullptr;
}

}  // namespace

void DeliverScan(HookContext& c, const ScanRecord& record) {
  if (record.valid == 0) return;
  void* tray = TrayWindow(c.state);
  if (ReadMessageId(c.state) != 0) {
    if (OfferScan(c, tray, record)) return;
    if (OfferScan(c, c.platform.ForegroundWindow(), record)) {
      if (tray) c.platform.ReportOutcome(tray, kOutcomeClaimed, record.type);
      return;
    }
  }
  ReportAndType(c, record, tray);
}

void TypeUnoffered(HookContext& c, const ScanRecord& record) {
  ReportAndType(c, record, TrayWindow(c.state));
}

bool OfferScan(HookContext& c, void* window, const ScanRecord& record) {
  const uint32_t message = ReadMessageId(c.state);
  if (message == 0 || window == nullptr) return false;
  HookPlatform& p = c.platform;
  const uint16_t data = p.MakeAtom(record.data);
  const uint16_t type = p.MakeAtom(record.type);
  const uint16_t serial = p.MakeAtom(record.serial);
  if (data == 0) {
    RemoveAtomIfMade(p, type);
    RemoveAtomIfMade(p, serial);
    return false;
  }
  p.SendOffer(window, message, data,
              static_cast<uint32_t>(type) | static_cast<uint32_t>(serial) << 16);
  const bool claimed = !p.AtomExists(data);
  // A claimed data atom is gone already: deleting its number again could take a reference
  // that another holder has made since.
  if (!claimed) p.RemoveAtom(data);
  RemoveAtomIfMade(p, type);
  RemoveAtomIfMade(p, serial);
  return claimed;
}

void DeliveryThread(HookContext& c, ScanRecord* record) {
  if (record == nullptr) return;
  DeliverScan(c, *record);
  delete record;
}

void TypeChar(HookContext& c, char ch) {
  if (const uint8_t key = ControlCharKey(ch)) {
    c.platform.KeybdEvent(key, 0, 0);
    c.platform.KeybdEvent(key, 0, kKeyEventUp);
    return;
  }
  const int16_t v = c.platform.KeyForChar(ch);
  // No key gives this character under the layout: nothing sensible to type.
  if (v == -1 || (v & 0xff) == 0xff) return;
  const uint8_t vk = static_cast<uint8_t>(v & 0xff);
  const bool shift = (v & 0x100) != 0;
  if (shift) c.platform.KeybdEvent(kVkShift, 0, 0);
  c.platform.KeybdEvent(vk, 0, 0);
  c.platform.KeybdEvent(vk, 0, kKeyEventUp);
  if (shift) c.platform.KeybdEvent(kVkShift, 0, kKeyEventUp);
}

void TypeText(HookContext& c, const char* text, int maxLength) {
  // The recognizer's state is left alone: the keys carry the library's mark, so a burst
  // given back or begun meanwhile stays so.
  for (int i = 0; i < maxLength && text[i] != 0; ++i) TypeChar(c, text[i]);
}

void ReplayPrefix(HookContext& c, int count) {
  for (int i = 0; i < count && i < kPrefixLength; ++i) {
    const uint32_t d = kWandPrefix[i];
    c.platform.KeybdEvent(static_cast<uint8_t>(d >> 16), static_cast<uint8_t>(d >> 8),
                          i < 2 ? 0 : kKeyEventUp);
  }
}

void GiveBackBurst(HookContext& c) {
  HookSharedState& s = c.state;
  // Taken out of the record before a key goes out: the system may run the hook for a key
  // that waits while keybd_event types (Wine does), and that key must find no burst to be
  // recorded into and then reset with it, but pass.
  const int prefix = ReadPrefixPosition(s);
  const bool shift = s.keyBuffer.shiftDown != 0;
  char text[kKeyBufferSize + 1];
  const int length = ClampLength(SharedLoad(&s.keyBuffer.length));
  std::memcpy(text, s.keyBuffer.keyChars, static_cast<size_t>(length));
  text[length] = 0;
  ResetCapture(s);
  ReplayPrefix(c, prefix);
  TypeText(c, text, length);
  // The wand's Shift, swallowed and still held: pressed again, so that the key it shifts,
  // passing after the give-back, keeps its case (its release passes too).
  if (shift) c.platform.KeybdEvent(kVkShift, 0, 0);
}

}  // namespace pellix
