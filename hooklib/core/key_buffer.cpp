#include "hooklib/core/key_buffer.h"

namespace pellix {

namespace {
constexpr uint32_t kVkEnter = 13;
constexpr uint32_t kVkShift = 16;
constexpr uint32_t kScanLeftShift = 42;
}  // namespace

// Scan-code set 1 positions of a US keyboard.
const char kUnshiftedKeyTable[kKeyTableSize] = {
    0,   0,   '1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '-', '=', 0,    0,   'q',
    'w', 'e', 'r', 't', 'y', 'u', 'i', 'o', 'p', '[', ']', 0,   0,   'a', 's',  'd', 'f',
    'g', 'h', 'j', 'k', 'l', ';', '\'', '`', 0,  '\\', 'z', 'x', 'c', 'v', 'b', 'n', 'm',
    ',', '.', '/', 0,   0,   0,   ' ', 0,   0,   0,   0,   0,   0,   0,   0,    0,   0};
const char kShiftedKeyTable[kKeyTableSize] = {
    0,   0,   '!', '@', '#', '$', '%', '^', '&', '*', '(', ')', '_', '+', 0,   0,   'Q',
    'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', '{', '}', 0,   0,   'A', 'S', 'D', 'F',
    'G', 'H', 'J', 'K', 'L', ':', '"', '~', 0,   '|', 'Z', 'X', 'C', 'V', 'B', 'N', 'M',
    '<', '>', '?', 0,   0,   0,   ' ', 0,   0,   0,   0,   0,   0,   0,   0,   0,   0};

bool IsWandKey(uint32_t vk) {
  return (vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9') || vk == kVkEnter || vk == 189 ||
         vk == 190;
}

bool IsWandShiftedKey(uint32_t vk) { return (vk >= 'A' && vk <= 'Z') || vk == 187; }

char KeyToChar(KeyTranslationPort& port, uint32_t vk, int shiftDown) {
  uint8_t c = static_cast<uint8_t>(port.MapVirtualKeyToChar(vk));
  if (c >= 'A' && c <= 'Z' && shiftDown == 0) c = static_cast<uint8_t>(c + 32);
  return static_cast<char>(c);
}

char ScanCodeChar(uint32_t scanCode, int shiftDown) {
  if (scanCode >= static_cast<uint32_t>(kKeyTableSize)) return 0;
  return shiftDown ? kShiftedKeyTable[scanCode] : kUnshiftedKeyTable[scanCode];
}

void RecordKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk, uint32_t scanCode,
               int keyUp) {
  if (vk == kVkShift || scanCode == kScanLeftShift) {
    buffer.shiftDown = keyUp ? 0 : 1;
    return;
  }
  if (keyUp) return;
  // The length is read once and checked: the buffer is shared with every process.
  const int32_t length = buffer.length;
  if (length < 0 || length >= kKeyBufferSize) {
    buffer.keyChars[kKeyBufferSize - 1] = 0;
    buffer.scanChars[kKeyBufferSize - 1] = 0;
    if (length < 0 || length > kKeyBufferSize) buffer.length = ClampLength(length);
    return;
  }
  if (vk == kVkEnter) {
    buffer.keyChars[length] = 0;
    buffer.scanChars[length] = 0;
    return;
  }
  const int shift = buffer.shiftDown != 0;
  buffer.keyChars[length] = KeyToChar(port, vk, shift);
  buffer.scanChars[length] = ScanCodeChar(scanCode, shift);
  buffer.keyChars[length + 1] = 0;
  buffer.scanChars[length + 1] = 0;
  buffer.length = length + 1;
}

void RecordHookKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk, uint32_t keyData,
                   int keyUp) {
  RecordKey(buffer, port, vk, (keyData >> 16) & 63, keyUp);
}

}  // namespace pellix
