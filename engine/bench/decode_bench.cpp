#include <benchmark/benchmark.h>

#include "engine/bench/burst.h"
#include "engine/scan_record.h"

namespace {

void BM_DecodeLongBurstWithTransforms(benchmark::State& state) {
  const std::string burst = pellix::LongBurst();
  pellix::TransformTable table;
  pellix::FillTable(table);
  pellix::ScanRecord record;
  for (auto _ : state) {
    pellix::DecodeScan(burst.c_str(), &table, &record);
    benchmark::DoNotOptimize(record);
  }
  state.SetLabel(std::to_string(burst.size()) + " chars");
}
BENCHMARK(BM_DecodeLongBurstWithTransforms);

void BM_DecodeShortScan(benchmark::State& state) {
  const std::string burst = pellix::EncodeWandText("000000000000001", "IB5", "9780262033848");
  pellix::TransformTable table;
  pellix::FillTable(table);
  pellix::ScanRecord record;
  for (auto _ : state) {
    pellix::DecodeScan(burst.c_str(), &table, &record);
    benchmark::DoNotOptimize(record);
  }
}
BENCHMARK(BM_DecodeShortScan);

}  // namespace

BENCHMARK_MAIN();
