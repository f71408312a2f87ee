#include "hooklib/core/key_buffer.h"

namespace pellix {

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

void RecordHookKey(KeyBuffer& buffer, KeyTranslationPort& port, uint32_t vk, uint32_t keyData,
                   int keyUp) {
  RecordKey(buffer, port, vk, (keyData >> 16) & 63, keyUp);
}

}  // namespace pellix
