// The capture buffer of a wand burst and the translation of keys into characters.
#pragma once
#include <cstdint>

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
// (letters, equals/plus).
bool IsWandKey(uint32_t vk);
bool IsWandShiftedKey(uint32_t vk);

// The one platform call key recording needs: MapVirtualKeyA(vk, 2), the unshifted character
// of a virtual key under the layout in force.
class KeyTranslationPort {
 public:
  virtual ~KeyTranslationPort() = default;
  virtual uint32_t MapVirtualKeyToChar(uint32_t vk) = 0;
};

// The layout's character for a key; letters come out lower case unless Shift is held.
char KeyToChar(KeyTranslationPort& port, uint32_t vk, int shiftDown);

// Character of a scan code in the US tables; 0 (no character) outside 0..67.
char ScanCodeChar(uint32_t scanCode, int shiftDown);

// Clamp of a length read from the buffer (another process may have written anything there).
inline int ClampLength(int32_t length) {
  return length < 0 ? 0 : (length > kKeyBufferSize ? kKeyBufferSize : length);
}

void RecordKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk, uint32_t scanCode,
               int keyUp);
// Keyboard-hook form: the scan code sits in bits 16..23 of the key data; its low six bits
// are used.
void RecordHookKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk, uint32_t keyData,
                   int keyUp);

}  // namespace pellix
