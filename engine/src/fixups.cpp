#include "engine/fixups.h"

#include <cstring>

#include "engine/scan_record.h"
#include "engine/transform_table.h"

namespace pellix {

namespace {

int Digit(char c) { return static_cast<unsigned char>(c) - '0'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
size_t BoundedLength(const char* s) { return strnlen(s, kMaxFieldLength); }

}  // namespace

char UpcECheckDigit(const char* data) {
  const size_t n = BoundedLength(data);
  if (n < 6) return 0;
  const char* d = n > 6 ? data + 1 : data;  // the number-system digit does not count
  if (!IsDigit(d[5])) return 0;
  const int d1 = Digit(d[0]), d2 = Digit(d[1]), d3 = Digit(d[2]);
  const int d4 = Digit(d[3]), d5 = Digit(d[4]), d6 = Digit(d[5]);
  int sum;
  if (d6 <= 2) {
    sum = 3 * (d2 + d3 + d5) + (d1 + d4 + d6);
  } else if (d6 == 3) {
    sum = 3 * (d2 + d5) + (d1 + d3 + d4);
  } else if (d6 == 4) {
    sum = 3 * (d2 + d4 + d5) + (d1 + d3);
  } else {
    sum = 3 * (d2 + d4 + d6) + (d1 + d3 + d5);
  }
  // d1..d5 are taken as they come, so the sum can be negative for non-digits.
  const int mod = ((sum % 10) + 10) % 10;
  return static_cast<char>('0' + (10 - mod) % 10);
}

bool ConvertCueCode(const char* type, char* data) {
  const size_t n = BoundedLength(data);
  if (n > 126) return false;
  // T is the type's third character, then the data. A type of just "CC" has no third
  // character: its data alone is converted rather than lost.
  char source[kFieldSize];
  size_t len = 0;
  if (type[0] && type[1] && type[2]) source[len++] = type[2];
  std::memcpy(source + len, data, n);
  len += n;
  size_t out = 0;
  for (size_t i = 0; i < len; ++i) {
    const int code = static_cast<signed char>(source[i]) - 32;
    if (code < 0) continue;  // control characters and codes from 128 up give nothing
    data[out++] = static_cast<char>('0' + code / 10);
    data[out++] = static_cast<char>('0' + code % 10);
  }
  data[out] = '\0';
  return true;
}

bool ConvertToIsbn(const char* type, char* data) {
  if (std::strncmp(type, "IB5", 3) != 0 && std::strncmp(type, "IBN", 3) != 0) return false;
  if (BoundedLength(data) < 13 || std::strncmp(data, "978", 3) != 0) return false;
  int sum = 0;
  for (int i = 0; i < 12; ++i) sum += Digit(data[i]) * ((i % 2 == 0) ? 1 : 3);
  const int expected = (10 - ((sum % 10) + 10) % 10) % 10;
  if (data[12] != '0' + expected) return false;
  int weighted = 0;
  for (int k = 0; k < 9; ++k) weighted += Digit(data[3 + k]) * (10 - k);
  const int m = ((weighted % 11) + 11) % 11;
  const char check = m == 0 ? '0' : m == 1 ? 'X' : static_cast<char>('0' + 11 - m);
  std::memmove(data, data + 3, 9);
  data[9] = check;
  data[10] = '\0';
  return true;
}

void ApplyFilter(char* data, const char* mask, int maskLength) {
  int out = 0;
  for (int i = 0; i < maskLength && mask[i] && data[i]; ++i) {
    if (mask[i] == '+') data[out++] = data[i];
  }
  data[out] = '\0';
}

void ApplyFixedFixUps(char* type, char* data) {
  if (std::strncmp(type, "UPE", 3) == 0) {
    const size_t n = BoundedLength(data);
    const char digit = UpcECheckDigit(data);
    // A full field has no room for the digit; the data is then left as scanned.
    if (digit && n < static_cast<size_t>(kMaxFieldLength)) {
      data[n] = digit;
      data[n + 1] = '\0';
    }
  }
  if (type[0] == 'C' && type[1] == 'C' && ConvertCueCode(type, data)) {
    std::memcpy(type, "CUE", 4);
  }
}

void ApplyTypeChoice(const char* type, char* data, bool autoConvert, const char* mask,
                     int maskLength) {
  if (autoConvert && ConvertToIsbn(type, data)) return;
  if (mask && maskLength > 0 && mask[0]) ApplyFilter(data, mask, maskLength);
}

void ApplyTransforms(char* type, char* data, const TransformTable* table) {
  ApplyFixedFixUps(type, data);
  ApplyTableChoice(type, data, table);
}

void ApplyTableChoice(const char* type, char* data, const TransformTable* table) {
  if (!table) return;
  const TransformSlot* slot = Find(*table, type);
  if (!slot) return;
  ApplyTypeChoice(type, data, slot->autoConvert != 0, slot->filter, FilterLength(*slot));
}

}  // namespace pellix
