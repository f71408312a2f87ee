#include "hooklib/core/delivery.h"

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

}  // namespace

void DeliverScan(HookContext& c, const ScanRecord& record) {
  if (record.valid == 0) return;
  void* tray = nullptr;
  if (ReadMessageId(c.state) != 0) {
    tray = SharedLoad(&c.state.targetWindow);  // read once: another process may change it
    if (OfferScan(c, tray, record)) return;
    if (OfferScan(c, c.platform.ForegroundWindow(), record)) {
      if (tray) c.platform.ReportOutcome(tray, kOutcomeClaimed, record.type);
      return;
    }
  }
  // Reported before the keys go out: typing takes a while, and the tray program may be
  // ended right after it.
  if (tray) {
    c.platform.ReportOutcome(tray, record.data[0] != 0 ? kOutcomeTyped : kOutcomeFilteredOut,
                             record.type);
  }
  LibraryTyping typing(c);
  TypeScanOutput(record, ReadOutputSettings(c.state), typing);
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
  HookPlatform& p = c.platform;
  if (const uint8_t key = ControlCharKey(ch)) {
    p.KeybdEvent(key, 0, 0);
    p.KeybdEvent(key, 0, kKeyEventUp);
    return;
  }
  const int16_t v = p.KeyForChar(ch);
  const bool noKey = v == -1 || (v & 0xff) == 0xff;
  const uint8_t vk = static_cast<uint8_t>(v & 0xff);
  const bool dead = !noKey && IsSpacingAccent(ch) && p.IsDeadKey(vk);
  // Keys with no modifier or Shift alone go key by key, so that applications that read
  // virtual keys keep working. What needs AltGr, waits on a dead key or has no key at all
  // goes as the character itself where the system can: the key alone would type another.
  if (p.IsNt() && (noKey || dead || (v & (kNeedsCtrl | kNeedsAlt)) != 0)) {
    p.UnicodeChar(ch);
    return;
  }
  if (noKey) return;  // Windows 9x has no Unicode input: nothing types it there
  const bool shift = (v & kNeedsShift) != 0, ctrl = (v & kNeedsCtrl) != 0,
             alt = (v & kNeedsAlt) != 0;
  if (shift) p.KeybdEvent(kVkShift, 0, 0);
  if (ctrl) p.KeybdEvent(kVkControl, 0, 0);
  if (alt) p.KeybdEvent(kVkMenu, 0, 0);
  p.KeybdEvent(vk, 0, 0);
  p.KeybdEvent(vk, 0, kKeyEventUp);
  if (alt) p.KeybdEvent(kVkMenu, 0, kKeyEventUp);
  if (ctrl) p.KeybdEvent(kVkControl, 0, kKeyEventUp);
  if (shift) p.KeybdEvent(kVkShift, 0, kKeyEventUp);
  if (dead) {  // the accent stands alone once a space follows
    p.KeybdEvent(kVkSpace, 0, 0);
    p.KeybdEvent(kVkSpace, 0, kKeyEventUp);
  }
}

void TypeText(HookContext& c, const char* text, int maxLength) {
  HookSharedState& s = c.state;
  // Counted, not saved and restored: a burst given back or begun meanwhile stays so.
  AtomicAdd(&s.typing, 1);
  for (int i = 0; i < maxLength && text[i] != 0; ++i) TypeChar(c, text[i]);
  AtomicAdd(&s.typing, -1);
}

void ReplayPrefix(HookContext& c) {
  for (int i = 0; i < ReadPrefixPosition(c.state); ++i) {
    const uint32_t d = kWandPrefix[i];
    c.platform.KeybdEvent(static_cast<uint8_t>(d >> 16), static_cast<uint8_t>(d >> 8),
                          i < 2 ? 0 : kKeyEventUp);
  }
}

void GiveBackBurst(HookContext& c) {
  HookSharedState& s = c.state;
  AtomicAdd(&s.typing, 1);  // the replayed prefix passes the hooks too
  ReplayPrefix(c);
  const int length = ClampLength(SharedLoad(&s.keyBuffer.length));
  s.keyBuffer.keyChars[length] = 0;
  TypeText(c, s.keyBuffer.keyChars, length);
  AtomicAdd(&s.typing, -1);
  ResetCapture(s);
}

}  // namespace pellix
