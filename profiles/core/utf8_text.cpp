#include "profiles/core/utf8_text.h"

namespace pellix {

bool IsUtf8(const char* text, size_t length) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  for (size_t i = 0; i < length;) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t more;
    unsigned char low = 0x80, high = 0xBF;  // the first continuation byte's range
    if (lead >= 0xC2 && lead <= 0xDF) more = 1;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
      return false;
    }
    if (length - i <= more) return false;
    for (size_t k = 1; k <= more; ++k) {
      const unsigned char c = p[i + k];
      if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) return false;
    }
    i += more + 1;
  }
  return true;
}

}  // namespace pellix
