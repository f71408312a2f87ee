// Arbitrary captured text through decoding and every fix-up, with a table built from the
// input too. The fields must stay terminated within their 256 bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/scan_record.h"
#include "engine/transform_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  pellix::TransformTable table{};
  // First byte: how many table entries precede the burst, each "code\0filter\0flag".
  const std::string input(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  size_t pos = 0;
  for (int i = 0; i < (bytes[0] & 31) && pos < input.size(); ++i) {
    const std::string code = input.c_str() + pos;
    pos += code.size() + 1;
    if (pos >= input.size()) break;
    const std::string filter = input.c_str() + pos;
    pos += filter.size() + 1;
    pellix::AddOrUpdate(table, code.c_str(), filter.c_str(), pos < input.size() ? input[pos] : 1);
    ++pos;
  }
  // The capture buffer never holds more than 500 characters.
  std::string text = pos < input.size() ? input.substr(pos, 500) : std::string();
  pellix::ScanRecord record;
  std::memset(&record, 0xAB, sizeof record);
  pellix::DecodeScan(text.c_str(), &table, &record);
  if (!memchr(record.serial, 0, 256) || !memchr(record.type, 0, 256) ||
      !memchr(record.data, 0, 256) || record.valid > 1) {
    __builtin_trap();
  }
  return 0;
}
