// Decodes the 500-character burst a fixed number of times, for callgrind's instruction count.
#include <cstdio>
#include <cstdlib>

#include "engine/bench/burst.h"
#include "engine/scan_record.h"

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string burst = pellix::LongBurst();
  pellix::TransformTable table;
  pellix::FillTable(table);
  pellix::ScanRecord record;
  unsigned check = 0;
  for (int i = 0; i < rounds; ++i) {
    pellix::DecodeScan(burst.c_str(), &table, &record);
    check += static_cast<unsigned char>(record.data[i % 10]);
  }
  std::printf("%zu chars, %d rounds, data %s (%u)\n", burst.size(), rounds, record.data, check);
  return 0;
}
