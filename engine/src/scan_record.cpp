#include "engine/scan_record.h"

#include "engine/fixups.h"

namespace pellix {

const char kWandAlphabet[65] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-";

int WandLetterValue(char c) {
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '-') return 63;
  return -1;
}

int BitAccumulator::DecodeChar(char c) {
  const int letter = WandLetterValue(c);
  if (letter < 0) return -1;  // skipped: the bit stream is left as it was
  value = static_cast<uint16_t>((value << 6) | letter);
  bitCount += 6;
  if (bitCount < 8) return -1;
  bitCount -= 8;
  return ((value >> bitCount) & 0xFF) ^ kWandFormatConstant;
}

void DecodeScan(const char* text, const TransformTable* table, ScanRecord* record) {
  record->serial[0] = record->type[0] = record->data[0] = '\0';
  char* const fields[3] = {record->serial, record->type, record->data};
  int field = -1;
  int length = 0;
  BitAccumulator acc;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '.') {
      if (field >= 0) fields[field][length] = '\0';
      if (++field > 2) break;  // the fourth dot closes the data; the rest is ignored
      length = 0;
      acc.Reset();
      continue;
    }
    const int byte = acc.DecodeChar(*p);
    // Bytes beyond a field's 255 are dropped: the wand never sends that many.
    if (byte >= 0 && field >= 0 && length < kMaxFieldLength) {
      fields[field][length++] = static_cast<char>(byte);
    }
  }
  if (field >= 0 && field <= 2) fields[field][length] = '\0';
  record->valid = (record->type[0] != '\0' && record->data[0] != '\0') ? 1 : 0;
  ApplyTransforms(record->type, record->data, table);
}

}  // namespace pellix
