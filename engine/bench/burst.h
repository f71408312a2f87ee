// A 500-character burst and a full transform table, shared by the benchmark and the probe.
#pragma once
#include <string>

#include "engine/encoder.h"
#include "engine/transform_table.h"

namespace pellix {

inline std::string LongBurst() {
  // 113 serial bytes and 255 data bytes spell 499 characters with the dots; one stray
  // character in front makes 500, the capture buffer's size.
  std::string data(255, '0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('0' + i % 10);
  return "x" + EncodeWandText(std::string(113, '7'), "IBN", data);
}

inline void FillTable(TransformTable& table) {
  Clear(table);
  for (int i = 0; i < 19; ++i) {
    const std::string code = "T" + std::to_string(10 + i);
    AddOrUpdate(table, code.c_str(), "++-+", 0);
  }
  // The scan's type sits in the last slot: the lookup walks the whole table.
  AddOrUpdate(table, "IBN", std::string(34, '+').c_str(), 1);
}

}  // namespace pellix
