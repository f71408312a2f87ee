#include "hooklib/core/delivery.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "engine/fixups.h"
#include "engine/output.h"
#include "engine/scan_record.h"
#include "hooklib/core/interlocked.h"

namespace pellix {

namespace {

// TypeScanOutput's view of the library: the cue and the typing of one piece.
class LibraryTyping : public TypingPort {
 public:
  LibraryTyping(HookContext& c, bool capsLock) : c_(c), capsLock_(capsLock) {}
  void Beep(uint32_t beepType) override { c_.platform.Beep(beepType); }
  void TypeText(const char* text) override {
    pellix::TypeText(c_, text, 0x7fffffff, capsLock_);
  }

 private:
  HookContext& c_;
  bool capsLock_;
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

void CopyField(char (&to)[256], const char* from) {
  int i = 0;
  for (; i < 255 && from[i] != 0; ++i) to[i] = from[i];
  to[i] = 0;
}

void MakeNote(HookContext& c, TrayNote& note, const ScanRecord& record, const char* program) {
  note.kind = kNoteOffer;
  note.process = 0;
  // Scans of this process, counted: the tray program joins a scan's outcome to its offer by it.
  note.burst = static_cast<uint32_t>(AtomicAdd(&c.local.bursts, 1));
  note.outcome = 0;
  CopyField(note.serial, record.serial);
  CopyField(note.type, record.type);
  CopyField(note.data, record.data);
  int i = 0;
  for (; i < kProgramNameSize - 1 && program[i] != 0; ++i) note.program[i] = program[i];
  note.program[i] = 0;
}

// The program in front (its file name into `program`) and its row.
AppRule RowInFront(HookContext& c, char (&program)[kProgramNameSize]) {
  c.platform.ProgramInFront(program, kProgramNameSize);
  program[kProgramNameSize - 1] = 0;
  return RuleFor(c.state.apps, program);
}

// The scan as the program of the row takes it, and how that program is typed to.
void ForProgram(HookContext& c, const ScanRecord& decoded, const AppRule& rule,
                ScanRecord* record, HookContext* typing) {
  *record = decoded;
  ApplyTableChoice(record->type, record->data,
                   rule.profile == kCurrentProfile ? &c.state.transforms
                                                   : &c.state.apps.profiles[rule.profile]);
  typing->paceMs = rule.paceMs;
  typing->keysOnly = rule.method == kMethodKeysOnly;
}

// A control byte of a field would act as a key when typed (Backspace and Escape, Ctrl+V as a
// Ctrl chord on 9x or as Unicode input in an edit box): each is left out of what is typed.
// The separator and terminator the user chose are pieces of their own and still go out.
// True when any was left out.
bool DropControlBytes(char* field) {
  char* to = field;
  for (const char* from = field; *from; ++from) {
    const unsigned char b = static_cast<unsigned char>(*from);
    if (b >= 0x20 && b != 0x7f) *to++ = *from;
  }
  const bool dropped = *to != 0;
  *to = 0;
  return dropped;
}

// The record as it is typed; true when control bytes were left out.
bool Typeable(const ScanRecord& record, ScanRecord* typed) {
  *typed = record;
  bool dropped = false;
  for (char* field : {typed->serial, typed->type, typed->data}) {
    field[kFieldSize - 1] = 0;
    dropped |= DropControlBytes(field);
  }
  return dropped;
}

// The sided modifier keys: virtual key, and scan code with 0x100 for the extended flag. The
// right Shift goes with the flag too: Wine tells it by the flag, Windows by the virtual key.
struct ModifierKey {
  uint32_t bit;
  uint8_t vk;
  uint32_t scan;
};
constexpr ModifierKey kModifierKeys[] = {
    {kLeftShiftBit, 160, 0x2A},  {kRightShiftBit, 161, 0x136}, {kLeftCtrlBit, 162, 0x1D},
    {kRightCtrlBit, 163, 0x11D}, {kLeftAltBit, 164, 0x38},    {kRightAltBit, 165, 0x138}};
constexpr uint8_t kVkNoKey = 0xFF;  // assigned to no key: typed between Alt's press and release

// The pause a program's row asks for, before every key but a delivery's first.
void PaceKey(HookContext& c) {
  if (c.paceMs != 0 && c.keysSent++ != 0 && !c.paused) c.platform.Pause(c.paceMs);
  c.paused = false;
}

// The pause before the next key, taken now: what is looked at after it holds for that key.
void PauseAhead(HookContext& c) {
  if (c.paceMs == 0 || c.keysSent == 0 || c.paused) return;
  c.platform.Pause(c.paceMs);
  c.paused = true;
}

void SendModifier(HookContext& c, const ModifierKey& m, bool up) {
  PaceKey(c);
  // Noted for the keyboard hook as a modifier around a scan; the low-level hook reads the mark.
  NoteOwnKey(c.state, m.vk, m.scan, up, true);
  c.platform.SendTagged(m.vk, m.scan & 0xff,
                        (up ? kKeyEventUp : 0) | ((m.scan & 0x100) != 0 ? kKeyEventExtended : 0),
                        kModifierMark);
}

// Beeps and types a scan as composed, whatever the user holds and whatever the lock. The
// Shift, Ctrl and Alt keys the user holds would change its keys: released before them (and
// one pressed while a slow scan is typed, before its next character) and pressed again after
// them, each as far as the user still holds it (ModifierStep decides in the hook, where the
// user's own keys meet the library's in order). An Alt is let
// go after a key of no meaning, or its release alone would open the window's menu. With
// Caps Lock on, each key whose character the lock changes goes with the other Shift
// (TypeChar); the lock itself is left alone, as another program started meanwhile would
// take it as it finds it. A give-back keeps both: it types what the keyboard would have.
void TypeScan(HookContext& c, const ScanRecord& typed) {
  c.keepsModifiersUp = true;
  c.released = 0;
  LibraryTyping typing(c, c.platform.CapsLockOn());
  TypeScanOutput(typed, ReadOutputSettings(c.state), typing);
  c.keepsModifiersUp = false;
  for (const ModifierKey& m : kModifierKeys)
    if (c.released & m.bit) SendModifier(c, m, false);
}

void TellOutcome(HookContext& c, void* tray, TrayNote& note, uint32_t outcome) {
  note.kind = kNoteOutcome;
  note.outcome = outcome;
  c.platform.TellTray(tray, note);
}

}  // namespace

void DeliverScan(HookContext& c, const ScanRecord& decoded) {
  if (decoded.valid == 0) return;
  char program[kProgramNameSize];
  const AppRule rule = RowInFront(c, program);
  ScanRecord record;
  HookContext typing{c.state, c.platform, c.local};
  ForProgram(c, decoded, rule, &record, &typing);
  void* tray = nullptr;
  bool told = false;  // the tray program left the scan through its note: it hears the outcome
  TrayNote note;
  if (ReadMessageId(c.state) != 0) {
    tray = SharedLoad(&c.state.targetWindow);  // read once: another process may change it
    if (tray) {
      MakeNote(c, note, record, program);
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
  ScanRecord typed;
  const bool dropped = Typeable(record, &typed);
  // Told before the keys go out: typing takes a while, and the tray program may be ended
  // right after it.
  if (told) {
    TellOutcome(c, tray, note,
                record.data[0] == 0 ? kOutcomeFilteredOut
                : dropped           ? kOutcomeTypedWithoutControls
                                    : kOutcomeTyped);
  }
  TypeScan(typing, typed);
  if (typing.refused && told) TellOutcome(c, tray, note, kOutcomeRefused);
}

void TypeUnoffered(HookContext& c, const ScanRecord& decoded) {
  ScanRecord record = decoded;
  ApplyTableChoice(record.type, record.data, &c.state.transforms);
  ScanRecord typed;
  Typeable(record, &typed);
  TypeScan(c, typed);
}

namespace {

// Whether the program in front has its keys paced: the pause must not hold up its own thread.
bool Paced(HookContext& c) {
  char program[kProgramNameSize];
  return RowInFront(c, program).paceMs != 0;
}

}  // namespace

void DeliverInOrder(HookContext& c, const ScanRecord& decoded, bool mayWait) {
  if (decoded.valid == 0) return;  // the delivery thread would take it for a give-back
  // The keyboard hook runs in the program it types to: keys paced from its own thread would
  // reach it all at once when the hook returns. So a paced scan, and any scan after one still
  // to go, takes the delivery thread; every other is delivered here, as it always was.
  if (mayWait && AtomicLoad(&c.local.deliveriesPending) == 0 && !Paced(c)) {
    DeliverScan(c, decoded);
    return;
  }
  Delivery* d = new (std::nothrow) Delivery;
  if (d) {
    d->scan = decoded;
    AtomicAdd(&c.local.deliveriesPending, 1);
    if (c.platform.StartDelivery(d)) return;
    AtomicAdd(&c.local.deliveriesPending, -1);
    delete d;
  }
  if (mayWait) {
    DeliverScan(c, decoded);
  } else {
    TypeUnoffered(c, decoded);
  }
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

void ReplayKey(HookContext& c, const KeyStroke& k) {
  const uint32_t flags = ((k.flags & kLowLevelUp) ? kKeyEventUp : 0) |
                         ((k.flags & kLowLevelExtended) ? kKeyEventExtended : 0);
  if ((k.flags & kLowLevelInjected) == 0) {
    SendKey(c, k.vk, k.scanCode, flags);
    return;
  }
  // Another program's key, as it came: its own tag, and a Unicode key (VK_PACKET, the
  // character in place of the scan code) as Unicode input again, all 16 bits of it.
  c.platform.SendTagged(k.vk, k.scanCode, flags | (k.vk == kVkPacket ? kKeyEventUnicode : 0),
                        k.extraInfo);
}

namespace {

// The give-back's keys, wherever they are typed.
void TypeGiveBack(HookContext& c, const Delivery& d, int length) {
  ReplayPrefix(c, d.prefix);
  for (int i = 0; i < length && d.text[i] != 0; ++i) {
    if (d.text[i] != kShiftedKeyMark) {
      TypeChar(c, d.text[i]);
      continue;
    }
    // The key the wand pressed, with Shift, as the keyboard sent it.
    const uint32_t scan = ShiftedScanCode(d.wandText[i]);
    if (scan == 0) continue;
    const uint8_t vk = c.platform.KeyAtScanCode(scan);
    PressKey(c, kVkShift, false);
    PressKey(c, vk, false);
    PressKey(c, vk, true);
    PressKey(c, kVkShift, true);
  }
  // The wand's Shift, swallowed and still held: pressed again, so that the key it shifts,
  // passing after the give-back, keeps its case (its release passes too).
  if (d.shift) PressKey(c, kVkShift, false);
  if (d.hasAfter) ReplayKey(c, d.after);
}

}  // namespace

void DeliveryThread(HookContext& c, Delivery* delivery) {
  if (delivery == nullptr) return;
  if (delivery->scan.valid) {
    DeliverScan(c, delivery->scan);
  } else {
    TypeGiveBack(c, *delivery, kKeyBufferSize);
  }
  delete delivery;
  AtomicAdd(&c.local.deliveriesPending, -1);
}

namespace {

// A character as Unicode input, or nothing once the system has refused some.
void TypeUnicode(HookContext& c, const char* bytes, int length) {
  PaceKey(c);
  if (!c.platform.UnicodeChar(bytes, length)) c.refused = true;
}

}  // namespace

void SendKey(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags) {
  PaceKey(c);
  NoteOwnKey(c.state, vk, scanCode, (flags & kKeyEventUp) != 0);
  c.platform.KeybdEvent(static_cast<uint8_t>(vk), static_cast<uint8_t>(scanCode), flags);
}

void PressKey(HookContext& c, uint8_t vk, bool up) {
  const uint32_t scan = c.platform.ScanCodeOf(vk);
  SendKey(c, vk, scan & 0xff,
          (up ? kKeyEventUp : 0) | ((scan & 0x100) != 0 ? kKeyEventExtended : 0));
}

// With Caps Lock on: true when the key, with *shift changed where needed, still gives the
// character it gives with the lock off (the lock changes letters, and on some layouts more).
static bool CapsLockLeaves(HookContext& c, uint8_t vk, bool* shift) {
  HookPlatform& p = c.platform;
  const uint16_t meant = p.CharOfKey(vk, *shift, false);
  if (p.CharOfKey(vk, *shift, true) == meant) return true;
  if (p.CharOfKey(vk, !*shift, true) != meant) return false;
  *shift = !*shift;
  return true;
}

void TypeChar(HookContext& c, char ch, bool capsLock) {
  HookPlatform& p = c.platform;
  if (const uint8_t key = ControlCharKey(ch)) {
    PressKey(c, key, false);
    PressKey(c, key, true);
    return;
  }
  const int16_t v = p.KeyForChar(ch);
  const bool noKey = v == -1 || (v & 0xff) == 0xff;
  const uint8_t vk = static_cast<uint8_t>(v & 0xff);
  const bool dead = !noKey && IsSpacingAccent(ch) && p.IsDeadKey(vk);
  // Keys with no modifier or Shift alone go key by key, so that applications that read
  // virtual keys keep working. What needs AltGr, waits on a dead key or has no key at all
  // goes as the character itself where the system can: the key alone would type another.
  // A client that drops Unicode packets (keys only) gets the keys of 9x: AltGr as Ctrl and
  // Alt held, a dead key followed by a space.
  if (p.IsNt() && !c.keysOnly && (noKey || dead || (v & (kNeedsCtrl | kNeedsAlt)) != 0)) {
    TypeUnicode(c, &ch, 1);
    return;
  }
  if (noKey) return;  // without Unicode input nothing types it
  bool shift = (v & kNeedsShift) != 0;
  const bool ctrl = (v & kNeedsCtrl) != 0, alt = (v & kNeedsAlt) != 0;
  if (capsLock && !ctrl && !alt && !CapsLockLeaves(c, vk, &shift)) {
    if (p.IsNt() && !c.keysOnly) {
      TypeUnicode(c, &ch, 1);
      return;
    }
  }
  if (shift) PressKey(c, kVkShift, false);
  if (ctrl) PressKey(c, kVkControl, false);
  if (alt) PressKey(c, kVkMenu, false);
  PressKey(c, vk, false);
  PressKey(c, vk, true);
  if (alt) PressKey(c, kVkMenu, true);
  if (ctrl) PressKey(c, kVkControl, true);
  if (shift) PressKey(c, kVkShift, true);
  if (dead) {  // the accent stands alone once a space follows
    PressKey(c, kVkSpace, false);
    PressKey(c, kVkSpace, true);
  }
}

namespace {

// The user's Shift, Ctrl and Alt keys held now and not yet let go by this scan's typing, let
// go: as the system has them, and as this process's hook has met the user's keys (the
// system's may not yet show the last typing's press again). False when none was.
bool ReleaseHeldModifiers(HookContext& c) {
  const uint32_t held =
      (c.platform.ModifiersHeld() | SharedLoad(&c.local.userModifiers)) & ~c.released;
  if (held == 0) return false;
  if (held & (kLeftAltBit | kRightAltBit)) {
    SendKey(c, kVkNoKey, 0, 0);
    SendKey(c, kVkNoKey, 0, kKeyEventUp);
  }
  for (const ModifierKey& m : kModifierKeys)
    if (held & m.bit) SendModifier(c, m, true);
  c.released |= held;
  return true;
}

}  // namespace

void TypeText(HookContext& c, const char* text, int maxLength, bool capsLock) {
  // The recognizer's state is left alone: the keys carry the library's mark, so a burst
  // given back or begun meanwhile stays so.
  for (int i = 0; i < maxLength && text[i] != 0 && !c.refused; ++i) {
    // Looked at once the pause before the character is over, until nothing new is held: a
    // key the user presses during a pause would shift the key after it.
    if (c.keepsModifiersUp) {
      do PauseAhead(c);
      while (ReleaseHeldModifiers(c));
    }
    if (!c.platform.IsLeadByte(text[i]) || i + 1 == maxLength || text[i + 1] == 0) {
      TypeChar(c, text[i], capsLock);
      continue;
    }
    // No key types a two-byte character: Unicode input, where the system has it, or nothing.
    if (c.platform.IsNt() && !c.keysOnly) TypeUnicode(c, text + i, 2);
    ++i;
  }
}

void ReplayPrefix(HookContext& c, int count) {
  for (int i = 0; i < count && i < kPrefixLength; ++i) {
    const uint32_t d = kWandPrefix[i];
    SendKey(c, (d >> 16) & 255, (d >> 8) & 255, i < 2 ? 0 : kKeyEventUp);
  }
}

bool GiveBackBurst(HookContext& c, bool inOrder, const KeyStroke* after) {
  HookSharedState& s = c.state;
  // Scans of this process still to be delivered: the give-back joins them, in order. Else
  // (or with no memory) it is typed here, at once.
  Delivery* queued = nullptr;
  if (inOrder && AtomicLoad(&c.local.deliveriesPending) > 0) queued = new (std::nothrow) Delivery;
  Delivery here;
  Delivery& d = queued ? *queued : here;
  // Taken out of the record before a key goes out: the system may run the hook for a key
  // that waits while keybd_event types (Wine does), and that key must find no burst to be
  // recorded into and then reset with it, but pass.
  d.scan.valid = 0;
  d.prefix = ReadPrefixPosition(s);
  d.shift = s.keyBuffer.shiftDown != 0;
  d.hasAfter = queued != nullptr && after != nullptr;
  if (after) d.after = *after;
  const int length = ClampLength(SharedLoad(&s.keyBuffer.length));
  std::memcpy(d.text, s.keyBuffer.keyChars, static_cast<size_t>(length));
  std::memcpy(d.wandText, s.keyBuffer.scanChars, static_cast<size_t>(length));
  d.text[length] = 0;
  d.wandText[length] = 0;
  ResetCapture(s);
  if (queued) {
    const bool took = queued->hasAfter;  // the delivery thread may free it at once
    AtomicAdd(&c.local.deliveriesPending, 1);
    if (c.platform.StartDelivery(queued)) return took;
    AtomicAdd(&c.local.deliveriesPending, -1);
    queued->hasAfter = false;  // the caller passes the key, after the text typed here
    TypeGiveBack(c, *queued, length);
    delete queued;
    return false;
  }
  TypeGiveBack(c, d, length);
  return false;
}

}  // namespace pellix
