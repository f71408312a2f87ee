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

// "#" and digits: the atom table makes an integer atom of it (never deleted, so never seen
// claimed), or none at all for 0 and numbers from 0xC000.
bool ReadsAsNumber(const char* text) {
  if (text[0] != '#' || text[1] == 0) return false;
  for (const char* p = text + 1; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  return true;
}

// Scans of this process, counted: the tray program joins a scan's outcome to its offer by it.
int32_t g_bursts = 0;

void CopyField(char (&to)[256], const char* from) {
  int i = 0;
  for (; i < 255 && from[i] != 0; ++i) to[i] = from[i];
  to[i] = 0;
}

void MakeNote(TrayNote& note, const ScanRecord& record) {
  note.kind = kNoteOffer;
  note.process = 0;
  note.burst = static_cast<uint32_t>(AtomicAdd(&g_bursts, 1));
  note.outcome = 0;
  CopyField(note.serial, record.serial);
  CopyField(note.type, record.type);
  CopyField(note.data, record.data);
}

void TellOutcome(HookContext& c, void* tray, TrayNote& note, uint32_t outcome) {
  note.kind = kNoteOutcome;
  note.outcome = outcome;
  c.platform.TellTray(tray, note);
}

}  // namespace

void DeliverScan(HookContext& c, const ScanRecord& record) {
  if (record.valid == 0) return;
  void* tray = nullptr;
  bool told = false;  // the tray program left the scan through its note: it hears the outcome
  TrayNote note;
  if (ReadMessageId(c.state) != 0) {
    tray = SharedLoad(&c.state.targetWindow);  // read once: another process may change it
    if (tray) {
      MakeNote(note, record);
      const uintptr_t answer = c.platform.TellTray(tray, note);
      if (answer == kTrayTookScan) return;
      told = answer == kTrayLeftScan;
      // A window that knows only KV_CC_MSG; one that did not answer in time is not asked again.
      if (!told && answer != kTrayUnreachable && OfferScan(c, tray, record)) return;
    }
    void* front = c.platform.ForegroundWindow();
    // The tray program's window in front has had its say already.
    if (front != tray && OfferScan(c, front, record)) {
      if (told) TellOutcome(c, tray, note, kOutcomeClaimed);
      return;
    }
  }
  // Told before the keys go out: typing takes a while, and the tray program may be ended
  // right after it.
  if (told) TellOutcome(c, tray, note, record.data[0] != 0 ? kOutcomeTyped : kOutcomeFilteredOut);
  LibraryTyping typing(c);
  TypeScanOutput(record, ReadOutputSettings(c.state), typing);
}

void TypeUnoffered(HookContext& c, const ScanRecord& record) {
  LibraryTyping typing(c);
  TypeScanOutput(record, ReadOutputSettings(c.state), typing);
}

bool OfferScan(HookContext& c, void* window, const ScanRecord& record) {
  const uint32_t message = ReadMessageId(c.state);
  if (message == 0 || window == nullptr || ReadsAsNumber(record.data)) return false;
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
