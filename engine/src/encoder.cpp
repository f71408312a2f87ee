#include "engine/encoder.h"

#include "engine/scan_record.h"

namespace pellix {

std::string EncodeWandField(const std::string& bytes) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (unsigned char b : bytes) {
    bits = (bits << 8) | (b ^ kWandFormatConstant);
    count += 8;
    while (count >= 6) {
      count -= 6;
      out += kWandAlphabet[(bits >> count) & 0x3F];
    }
    bits &= (1u << count) - 1;
  }
  if (count > 0) out += kWandAlphabet[(bits << (6 - count)) & 0x3F];
  return out;
}

std::string EncodeWandText(const std::string& serial, const std::string& type,
                           const std::string& data) {
  return "." + EncodeWandField(serial) + "." + EncodeWandField(type) + "." +
         EncodeWandField(data) + ".";
}

}  // namespace pellix
