// Decoding a captured wand burst into a scan record.
#pragma once
#include <cstdint>

namespace pellix {

constexpr int kFieldSize = 256;          // each field: at most 255 bytes and its NUL
constexpr int kMaxFieldLength = kFieldSize - 1;

// The wand's 64-letter field alphabet; a letter's position is its 6-bit value.
extern const char kWandAlphabet[65];
// Every byte of a field is XORed with this before it is spelled out.
constexpr unsigned kWandFormatConstant = 0x43;

// 6-bit value of each character: its alphabet position, or -1 for any other character. Built
// at compile time into the image's read-only constants, where no other process can write.
struct WandLetterValueTable {
  int8_t value[256];
};
constexpr WandLetterValueTable MakeWandLetterValues() {
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-";
  WandLetterValueTable t{};
  for (int i = 0; i < 256; ++i) t.value[i] = -1;
  for (int i = 0; i < 64; ++i) t.value[static_cast<unsigned char>(kLetters[i])] = int8_t(i);
  return t;
}
inline constexpr WandLetterValueTable kWandLetterValues = MakeWandLetterValues();

// 6-bit value of an alphabet letter, or -1 for any other character.
inline int WandLetterValue(char c) {
  return kWandLetterValues.value[static_cast<unsigned char>(c)];
}

// Per-field decoding state: alphabet letters in, bytes out.
struct BitAccumulator {
  int32_t bitCount = 0;  // bits held in value and not emitted yet: 0, 2, 4 or 6 between calls
  uint32_t value = 0;    // newest bits in the low end; only the low 12 are ever read

  void Reset() { bitCount = 0; value = 0; }
  // Next decoded byte (0..255), or -1 when c is not a letter or no whole byte is ready.
  // Inline: it runs for every character of every scan.
  int DecodeChar(char c) {
    const int letter = WandLetterValue(c);
    if (letter < 0) return -1;  // skipped: the bit stream is left as it was
    value = (value << 6) | static_cast<uint32_t>(letter);
    bitCount += 6;
    if (bitCount < 8) return -1;
    bitCount -= 8;
    return ((value >> bitCount) & 0xFF) ^ kWandFormatConstant;
  }
};

struct ScanRecord {
  char serial[kFieldSize];
  char type[kFieldSize];
  char data[kFieldSize];
  uint8_t valid;  // 1 when type and data were both non-empty as decoded
};

struct TransformTable;

// Fills `record` from the text between the wand's prefix and its Enter (dot, serial, dot,
// type, dot, data, dot), then applies the fix-ups and the matching transform of `table`
// (none when null). Bytes beyond a field's 255 are dropped; the field is never overrun.
void DecodeScan(const char* text, const TransformTable* table, ScanRecord* record);

}  // namespace pellix
