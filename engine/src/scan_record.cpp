#include "engine/scan_record.h"

#include "engine/fixups.h"

namespace pellix {

const char kWandAlphabet[65] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-";

void DecodeScan(const char* text, const TransformTable* table, ScanRecord* record) {
  record->serial[0] = record->type[0] = record->data[0] = '\0';
  char* const fields[3] = {record->serial, record->type, record->data};
  const char* p = text ? text : "";
  // Before the first dot no field is open: nothing there is kept.
  while (*p != '\0' && *p != '.') ++p;
  // Each dot opens the next field, with a fresh accumulator; the fourth dot closes the data
  // and the rest is ignored.
  for (int field = 0; field < 3 && *p == '.'; ++field) {
    char* out = fields[field];
    char* const full = out + kMaxFieldLength;  // bytes beyond a field's 255 are dropped
    BitAccumulator acc;
    for (++p;;) {
      // Four letters are three whole bytes: taken together while no bits are pending and the
      // field has room. Each letter is checked before the next is read, so a dot, the end or
      // another character stops the group without reading past it.
      while (acc.bitCount == 0 && full - out >= 3) {
        const int a = WandLetterValue(p[0]);
        if (a < 0) break;
        const int b = WandLetterValue(p[1]);
        if (b < 0) break;
        const int c = WandLetterValue(p[2]);
        if (c < 0) break;
        const int d = WandLetterValue(p[3]);
        if (d < 0) break;
        const uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
        out[0] = static_cast<char>((v >> 16) ^ kWandFormatConstant);
        out[1] = static_cast<char>(((v >> 8) & 0xFF) ^ kWandFormatConstant);
        out[2] = static_cast<char>((v & 0xFF) ^ kWandFormatConstant);
        out += 3;
        p += 4;
      }
      if (*p == '\0' || *p == '.') break;
      const int byte = acc.DecodeChar(*p++);
      if (byte >= 0 && out < full) *out++ = static_cast<char>(byte);
    }
    *out = '\0';
  }
  record->valid = (record->type[0] != '\0' && record->data[0] != '\0') ? 1 : 0;
  ApplyTransforms(record->type, record->data, table);
}

}  // namespace pellix
