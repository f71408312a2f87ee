#include "hooklib/tests/fake_keyboard.h"

#include <cstdio>
#include <cstring>

namespace pellix::testing {

namespace {

// The sided modifiers down after a key.
uint32_t Moved(uint32_t down, const KeyEvent& k, bool extended) {
  const uint32_t bit = k.vk == kVkPacket ? 0 : ModifierBit(k.scan, extended);
  return k.up ? down & ~bit : down | bit;
}


struct CharKey {
  char c;
  uint32_t vk;
  uint32_t scan;
  bool shift;
};

// The US keys the tests need.
const CharKey kUsKeys[] = {
    {'1', '1', 2, false}, {'2', '2', 3, false}, {'3', '3', 4, false}, {'4', '4', 5, false},
    {'5', '5', 6, false}, {'6', '6', 7, false}, {'7', '7', 8, false}, {'8', '8', 9, false},
    {'9', '9', 10, false}, {'0', '0', 11, false}, {'-', 189, 12, false}, {'=', 187, 13, false},
    {'+', 187, 13, true}, {'_', 189, 12, true}, {'.', 190, 52, false}, {',', 188, 51, false},
    {'/', 191, 53, false}, {' ', 32, 57, false}, {'\n', 13, 28, false}, {'\r', 13, 28, false},
    {'\t', 9, 15, false}, {'!', '1', 2, true},
};

const uint32_t kLetterScan[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                  49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

}  // namespace

UsKey UsKeyOf(char c) {
  if (c >= 'a' && c <= 'z') return {static_cast<uint32_t>(c - 32), kLetterScan[c - 'a'], false};
  if (c >= 'A' && c <= 'Z') return {static_cast<uint32_t>(c), kLetterScan[c - 'A'], true};
  for (const CharKey& k : kUsKeys)
    if (k.c == c) return {k.vk, k.scan, k.shift};
  return {0, 0, false};
}

FakeKeyboard::FakeKeyboard(Path p) : state(InitialHookSharedState()), path(p) {}

uint32_t FakeKeyboard::MapVirtualKeyToChar(uint32_t vk) {
  auto it = layout.find(vk);
  if (it != layout.end()) return static_cast<uint8_t>(it->second);
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9') || vk == 32) return vk;
  switch (vk) {
    case 189: return '-';
    case 190: return '.';
    case 187: return '=';
    case 188: return ',';
    case 191: return '/';
    case 13: return 13;
    default: return 0;
  }
}

int16_t FakeKeyboard::KeyForChar(char c) {
  auto it = keyForChar.find(c);
  if (it != keyForChar.end()) return it->second;
  const UsKey k = UsKeyOf(c);
  if (k.vk == 0) return -1;
  return static_cast<int16_t>(k.vk | (k.shift ? 0x100 : 0));
}

bool FakeKeyboard::LowLevel(uint32_t vk, uint32_t scan, uint32_t flags, uintptr_t extraInfo) {
  lastExtraInfo = extraInfo;
  const bool swallowed = LowLevelStep(ctx, vk, scan, flags, extraInfo) == Verdict::kSwallow;
  if (!swallowed) {
    Received({vk, scan, (flags & kLowLevelUp) != 0, (flags & kLowLevelInjected) != 0},
             (flags & kLowLevelExtended) != 0);
    appExtra.push_back(extraInfo);
  }
  return swallowed;
}

// A key the application receives: it also moves the keys' state (GetAsyncKeyState).
void FakeKeyboard::Received(const KeyEvent& k, bool extended) {
  app.push_back(k);
  app.back().extended = extended;
  if (path == Path::kLowLevel) modifiersDown = Moved(modifiersDown, k, extended);
}

uint32_t FakeKeyboard::AppModifiers() const {
  uint32_t down = 0;
  for (const KeyEvent& k : app) down = Moved(down, k, k.extended);
  return down;
}

uint16_t FakeKeyboard::CharOfKey(uint8_t vk, bool shift, bool lock) {
  const bool letter = vk >= 'A' && vk <= 'Z';
  if (lock && (letter || capsShifts.count(vk) != 0)) shift = !shift;
  for (int c = 1; c < 127; ++c) {
    const UsKey k = UsKeyOf(static_cast<char>(c));
    if (k.vk == vk && k.shift == shift && c != '\r') return static_cast<uint16_t>(c);
  }
  return 0;
}

void FakeKeyboard::SendTagged(uint32_t vk, uint32_t scanCode, uint32_t flags,
                              uintptr_t extraInfo) {
  Synthetic(vk, scanCode, (flags & kKeyEventUp) != 0, extraInfo,
            (flags & kKeyEventExtended) != 0);
}

bool FakeKeyboard::Key(uint32_t vk, uint32_t scan, bool up, bool alt) {
  if (path == Path::kLowLevel) {
    uint32_t flags = (up ? kLowLevelUp : 0) | (alt ? kLowLevelAltDown : 0);
    return LowLevel(vk, scan, flags);
  }
  return KeyboardPath(vk, scan, up, alt, false);
}

bool FakeKeyboard::KeyboardPath(uint32_t vk, uint32_t scan, bool up, bool alt, bool own,
                                bool extended) {
  // The hook is given the generic modifier keys, as Windows gives them.
  if (vk >= 160 && vk <= 165) vk = 16 + (vk - 160) / 2;
  modifiersDown = Moved(modifiersDown, {vk, scan, up, own}, extended);
  const uint32_t keyData = (scan & 255) << 16 | (alt ? 1u << 29 : 0) | (up ? 3u << 30 : 0) |
                           (extended ? 1u << 24 : 0) | 1;
  if (KeyboardStep(ctx, vk, keyData) == Verdict::kSwallow) return true;
  // The message the application then retrieves, through the message hook.
  const bool system = alt || vk == 121 || vk == 18 || vk == 164;
  uint32_t message = up ? (system ? 261 : 257) : (system ? kWmSysKeyDown : 256);
  MessageStep(ctx, &message, vk, keyData, true, own ? kOwnKeyMark : 0);
  if (message != kWmNull) Received({vk, scan, up, own}, extended);
  return message == kWmNull;
}

void FakeKeyboard::WandPrefix() {
  // The keyboard hook sees left Alt as the generic Alt key.
  const uint32_t alt = path == Path::kLowLevel ? 164 : 18;
  Key(alt, 56, false, true);
  Key(121, 68, false, true);
  Key(121, 68, true, true);
  Key(alt, 56, true, false);
}

void FakeKeyboard::WandChar(char c) {
  const UsKey k = UsKeyOf(c);
  const uint32_t vk = pcLayout ? layouts::VkAt(*pcLayout, k.scan, k.vk) : k.vk;
  const uint32_t shiftVk = path == Path::kLowLevel ? 160 : 16;
  if (k.shift) Key(shiftVk, 42, false);
  Key(vk, k.scan, false);
  Key(vk, k.scan, true);
  if (k.shift) Key(shiftVk, 42, true);
}

void FakeKeyboard::Enter(bool press, bool release) {
  if (press) Key(13, 28, false);
  if (release) Key(13, 28, true);
}

void FakeKeyboard::WandBurst(const std::string& text, bool withEnter) {
  WandPrefix();
  for (char c : text) WandChar(c);
  if (withEnter) Enter();
  Pump();
}

void FakeKeyboard::KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) {
  if (vk == kVkCapital && (flags & kKeyEventUp) == 0) capsLock = !capsLock;
  Synthetic(vk, scanCode, (flags & kKeyEventUp) != 0);
}

uint32_t FakeKeyboard::ScanCodeOf(uint8_t vk) {
  switch (vk) {
    case 16: case 160: return 42;
    case 161: return 54;
    case 17: case 162: return 29;
    case 18: case 164: return 56;
    case 163: return 0x11D;
    case 165: return 0x138;
    case 13: return 28;
    case 9: return 15;
    case 32: return 57;
    case 121: return 68;
    default: break;
  }
  for (int c = 1; c < 127; ++c) {
    const UsKey k = UsKeyOf(static_cast<char>(c));
    const uint32_t at = pcLayout ? layouts::VkAt(*pcLayout, k.scan, k.vk) : k.vk;
    if (k.vk != 0 && at == vk) return k.scan;
  }
  return 0;
}

uint8_t FakeKeyboard::KeyAtScanCode(uint32_t scanCode) {
  for (int c = 1; c < 127; ++c) {
    const UsKey k = UsKeyOf(static_cast<char>(c));
    if (k.vk != 0 && k.scan == scanCode)
      return static_cast<uint8_t>(pcLayout ? layouts::VkAt(*pcLayout, k.scan, k.vk) : k.vk);
  }
  return 0;
}

bool FakeKeyboard::UnicodeChar(const char* bytes, int length) {
  if (refuseUnicode) return false;
  if (length == 1 && IsLeadByte(bytes[0])) return true;  // half a character: none
  uint32_t unit = static_cast<uint8_t>(bytes[0]);
  if (length == 2) unit = unit << 8 | static_cast<uint8_t>(bytes[1]);
  for (bool up : {false, true}) Synthetic(kVkPacket, unit, up);
  return true;
}

void FakeKeyboard::Pause(uint32_t milliseconds) {
  clockMs += milliseconds;
  injected.push_back({0, milliseconds, false, true});
}

void FakeKeyboard::ProgramInFront(char* name, int size) {
  std::snprintf(name, static_cast<size_t>(size), "%s", programInFront.c_str());
}

void FakeKeyboard::Synthetic(uint32_t vk, uint32_t scanCode, bool up, uintptr_t extra,
                             bool extended) {
  injected.push_back({vk, scanCode, up, true});
  if (onKeybdEvent) onKeybdEvent();
  if (path == Path::kLowLevel) {
    // The low-level hook sees the synthetic key at once, flagged injected, with its tag.
    LowLevel(vk, scanCode,
             kLowLevelInjected | (up ? kLowLevelUp : 0) | (extended ? kLowLevelExtended : 0),
             extra);
  } else {
    // The keyboard hook sees it when the application next retrieves its input.
    queued_.push_back({{vk, scanCode, up, true}, extended});
  }
}

void FakeKeyboard::KeyDuringTyping(uint32_t vk, uint32_t scan, bool up, bool extended) {
  if (path == Path::kLowLevel)
    LowLevel(vk, scan, (up ? kLowLevelUp : 0) | (extended ? kLowLevelExtended : 0));
  else
    queued_.push_back({{vk, scan, up, false}, extended});
}

void FakeKeyboard::Pump() {
  for (;;) {
    if (!deliveries_.empty()) {
      Delivery* r = deliveries_.front();
      deliveries_.pop_front();
      DeliveryThread(ctx, r);
    } else if (!queued_.empty()) {
      const Queued q = queued_.front();
      queued_.pop_front();
      KeyboardPath(q.key.vk, q.key.scan, q.key.up, false, q.key.injected, q.extended);
    } else {
      return;
    }
  }
}

std::string FakeKeyboard::AppText() const {
  std::string out;
  bool shift = false;
  // The lock as the application's keys meet it: as it is now, undone back to the first key.
  bool caps = capsLock;
  for (const KeyEvent& k : app) caps ^= k.vk == kVkCapital && !k.up;
  bool left = false, right = false;  // each Shift key by its scan code
  // Ctrl and Alt keys down: a character typed with one shows as '^' and the character. Alt
  // by its sided keys: the keyboard hook's generic Alt of the wand's prefix may reach the
  // application alone.
  int chord = 0;
  for (const KeyEvent& k : app) {
    if (k.vk == kVkCapital && !k.up) caps = !caps;
    if (k.vk == 17 || (k.vk >= 162 && k.vk <= 165)) {
      chord += k.up ? -1 : 1;
      continue;
    }

    if (k.vk == 16 || k.vk == 160 || k.vk == 161) {
      (k.scan == 54 ? right : left) = !k.up;
      shift = left || right;
      continue;
    }
    if (k.up) continue;
    if (k.vk == kVkPacket) {
      out += static_cast<char>(k.scan);
      continue;
    }
    // The lock shifts letters and the keys of capsShifts; Shift with it undoes it.
    const bool letter = k.vk >= 'A' && k.vk <= 'Z';
    const bool shifted = shift != (caps && (letter || capsShifts.count(k.vk) != 0));
    for (char c = 1; c < 127; ++c) {
      const UsKey u = UsKeyOf(c);
      if (u.vk == k.vk && u.shift == shifted && c != '\r') {
        if (chord > 0) out += '^';
        out += c;
        break;
      }
    }
  }
  return out;
}

uint16_t FakeKeyboard::MakeAtom(const char* name) {
  if (atomsFail || name == nullptr || *name == 0) return 0;
  for (auto& [atom, entry] : atoms)
    if (entry.first == name) {
      ++entry.second;
      return atom;
    }
  atoms[nextAtom_] = {name, 1};
  return nextAtom_++;
}

void FakeKeyboard::RemoveAtom(uint16_t atom) {
  auto it = atoms.find(atom);
  if (it != atoms.end() && --it->second.second == 0) atoms.erase(it);
}

std::string FakeKeyboard::AtomName(uint16_t atom) const {
  auto it = atoms.find(atom);
  return it == atoms.end() ? std::string() : it->second.first;
}

void FakeKeyboard::SendOffer(void* window, uint32_t, uint32_t wParam, uint32_t lParam) {
  const uint16_t data = static_cast<uint16_t>(wParam);
  const uint16_t type = static_cast<uint16_t>(lParam & 0xffff);
  const uint16_t serial = static_cast<uint16_t>(lParam >> 16);
  offers.push_back(std::to_string(reinterpret_cast<uintptr_t>(window)) + ":" + AtomName(data) +
                   "|" + AtomName(type) + "|" + AtomName(serial));
  if (receiver) receiver(window, data, type, serial);
}

bool FakeKeyboard::EnterStep(uint32_t maxWaitMs) {
  if (stepOwner != 0 && endedThreads.count(stepOwner) != 0) {
    ++abandonedSteps;
    stepOwner = 0;
  }
  if (stepOwner == 0) {
    stepOwner = threadId;
    return true;
  }
  if (stepOwner != threadId) clockMs += maxWaitMs;
  return false;
}

bool FakeKeyboard::StartDelivery(Delivery* delivery) {
  if (!threadsStart) return false;
  deliveries_.push_back(delivery);
  return true;
}

}  // namespace pellix::testing
