// The capture buffer of a wand burst and the translation of keys into characters.
#pragma once
#include <cstdint>

#include "hooklib/core/interlocked.h"

namespace pellix {

constexpr int kKeyBufferSize = 500;  // characters one burst can hold
constexpr int kKeyTableSize = 68;    // scan codes 0..67 have a table entry

// Both strings are filled in step; each has one spare byte after its 500 so that a full
// buffer still ends in a zero. Readers see at most 500 characters.
struct KeyBuffer {
  char keyChars[kKeyBufferSize + 1];   // what the keys give under the layout in force
  int32_t length;                      // characters held, 0..500
  char scanChars[kKeyBufferSize + 1];  // what the wand meant, by US scan-code position
  uint8_t shiftDown;                   // 1 while a Shift key is held during the burst
};

extern const char kUnshiftedKeyTable[kKeyTableSize];
extern const char kShiftedKeyTable[kKeyTableSize];

// Key classes of wand output: unshifted (letters, digits, Enter, minus, period) and shifted
// (letters, equals/plus). Bit tests over the virtual-key range, in the hook's path of every
// keystroke: digits '0'..'9' (48..57) and letters 'A'..'Z' (65..90) from 48 up.
constexpr uint64_t kDigitAndLetterKeys = 0x3FFull | (0x3FFFFFFull << 17);
constexpr uint64_t kLetterKeys = 0x3FFFFFFull << 17;
inline bool IsWandKey(uint32_t vk) {
  const uint32_t i = vk - 48;
  if (i < 64) return (kDigitAndLetterKeys >> i) & 1;
  return vk == 13 || vk == 189 || vk == 190;  // Enter, minus, period
}
inline bool IsWandShiftedKey(uint32_t vk) {
  const uint32_t i = vk - 48;
  if (i < 64) return (kLetterKeys >> i) & 1;
  return vk == 187;  // equals, plus when shifted
}

// The same classes by physical key. The wand presses the positions of a US keyboard whatever
// layout the PC has, and the layout decides the virtual key: on AZERTY the period position
// reports VK_OEM_2 and "m" VK_OEM_COMMA, on Dvorak "q", "w", "z" report 222, 188, 186. So a key
// also belongs to the wand when its scan code (set 1, not an extended key) is one of these.
// Bits by scan code 0..63: digits 2..11, minus 12, letters 16..25, 30..38, 44..50, Enter 28,
// period 52; shifted: equals 13 and the letters.
constexpr uint64_t kLetterScans = (0x3FFull << 16) | (0x1FFull << 30) | (0x7Full << 44);
constexpr uint64_t kWandScans =
    kLetterScans | (0x7FFull << 2) | (1ull << 28) | (1ull << 52);  // digits and minus: 2..12
constexpr uint64_t kWandShiftedScans = kLetterScans | (1ull << 13);
inline bool IsWandScanCode(uint32_t scanCode, bool extended) {
  return !extended && scanCode < 64 && ((kWandScans >> scanCode) & 1);
}
inline bool IsWandShiftedScanCode(uint32_t scanCode, bool extended) {
  return !extended && scanCode < 64 && ((kWandShiftedScans >> scanCode) & 1);
}
// The recognizers' tests of one keystroke: by its virtual key or by its physical key.
inline bool IsWandKey(uint32_t vk, uint32_t scanCode, bool extended) {
  return IsWandKey(vk) || IsWandScanCode(scanCode, extended);
}
inline bool IsWandShiftedKey(uint32_t vk, uint32_t scanCode, bool extended) {
  return IsWandShiftedKey(vk) || IsWandShiftedScanCode(scanCode, extended);
}

// In keyChars, a key other than a letter pressed with Shift ('+' on a US keyboard): the
// layout's unshifted character would give back another ('='), and its shifted character is
// not to be had in a hook without disturbing the layout's dead keys. The give-back presses
// that key with Shift, found by the wand's scan code (scanChars).
constexpr char kShiftedKeyMark = 1;

// The one platform call key recording needs: MapVirtualKeyA(vk, 2), the unshifted character
// of a virtual key under the layout in force.
class KeyTranslationPort {
 public:
  virtual ~KeyTranslationPort() = default;
  virtual uint32_t MapVirtualKeyToChar(uint32_t vk) = 0;
};

// The layout's character for a key; letters come out lower case unless Shift is held.
inline char KeyToChar(KeyTranslationPort& port, uint32_t vk, int shiftDown) {
  uint8_t c = static_cast<uint8_t>(port.MapVirtualKeyToChar(vk));
  if (c >= 'A' && c <= 'Z' && shiftDown == 0) c = static_cast<uint8_t>(c + 32);
  return static_cast<char>(c);
}

// The scan code whose shifted character in the US tables is `c`; 0 when none is.
inline uint32_t ShiftedScanCode(char c) {
  for (uint32_t s = 1; s < static_cast<uint32_t>(kKeyTableSize); ++s)
    if (c != 0 && kShiftedKeyTable[s] == c) return s;
  return 0;
}

// Character of a scan code in the US tables; 0 (no character) outside 0..67.
inline char ScanCodeChar(uint32_t scanCode, int shiftDown) {
  if (scanCode >= static_cast<uint32_t>(kKeyTableSize)) return 0;
  return shiftDown ? kShiftedKeyTable[scanCode] : kUnshiftedKeyTable[scanCode];
}

// Clamp of a length read from the buffer (another process may have written anything there).
inline int ClampLength(int32_t length) {
  return length < 0 ? 0 : (length > kKeyBufferSize ? kKeyBufferSize : length);
}

// One key of a burst into the buffer. Inline: it runs for every key of every burst.
inline void RecordKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk,
                      uint32_t scanCode, int keyUp) {
  constexpr uint32_t kEnter = 13, kShift = 16, kScanLeftShift = 42;
  if (vk == kShift || scanCode == kScanLeftShift) {
    buffer.shiftDown = keyUp ? 0 : 1;
    return;
  }
  if (keyUp) return;
  // The length is read once and checked: the buffer is shared with every process.
  const int32_t length = SharedLoad(&buffer.length);
  if (length < 0 || length >= kKeyBufferSize) {
    buffer.keyChars[kKeyBufferSize - 1] = 0;
    buffer.scanChars[kKeyBufferSize - 1] = 0;
    if (length < 0 || length > kKeyBufferSize) SharedStore(&buffer.length, ClampLength(length));
    return;
  }
  if (vk == kEnter) {
    buffer.keyChars[length] = 0;
    buffer.scanChars[length] = 0;
    return;
  }
  const int shift = buffer.shiftDown != 0;
  const char key = KeyToChar(port, vk, shift);
  buffer.keyChars[length] = shift && (key < 'A' || key > 'Z') ? kShiftedKeyMark : key;
  buffer.scanChars[length] = ScanCodeChar(scanCode, shift);
  buffer.keyChars[length + 1] = 0;
  buffer.scanChars[length + 1] = 0;
  SharedStore(&buffer.length, length + 1);
}
// Keyboard-hook form: the scan code sits in bits 16..23 of the key data; its low six bits
// are used.
void RecordHookKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk, uint32_t keyData,
                   int keyUp);

}  // namespace pellix
