// Cost of the low-level recognizer per keystroke, and of decoding a full capture.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/bench/burst.h"
#include "engine/scan_record.h"
#include "hooklib/bench/null_platform.h"
#include "hooklib/core/recognizer.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// Every heap allocation of the process is counted: the measured paths must make none.
void* operator new(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace pellix {
namespace {

void ReportAllocations(benchmark::State& state, long before) {
  state.counters["allocs"] = static_cast<double>(g_allocations.load() - before);
}

void BM_OrdinaryKeystroke(benchmark::State& state) {
  static HookSharedState shared = InitialHookSharedState();
  NullPlatform platform;
  HookLocal local;
  HookContext c{shared, platform, local};
  const long before = g_allocations.load();
  uint32_t flags = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LowLevelStep(c, 'A', 30, flags, 0));
    flags ^= kLowLevelUp;
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_OrdinaryKeystroke);

void BM_KeystrokeInBurst(benchmark::State& state) {
  static HookSharedState shared = InitialHookSharedState();
  NullPlatform platform;
  HookLocal local;
  HookContext c{shared, platform, local};
  shared.recognizerState = kCapturing;
  const long before = g_allocations.load();
  uint32_t flags = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LowLevelStep(c, 'A', 30, flags, 0));
    flags ^= kLowLevelUp;
    if (shared.keyBuffer.length >= 400) shared.keyBuffer.length = 0;
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_KeystrokeInBurst);

void BM_Decode500CharBurst(benchmark::State& state) {
  static HookSharedState shared = InitialHookSharedState();
  const std::string burst = LongBurst();
  FillTable(shared.transforms);
  std::memcpy(shared.keyBuffer.scanChars, burst.data(), burst.size() + 1);
  shared.keyBuffer.length = static_cast<int32_t>(burst.size());
  ScanRecord record;
  const long before = g_allocations.load();
  for (auto _ : state) {
    DecodeCapture(shared, &record);
    benchmark::DoNotOptimize(record.valid);
  }
  ReportAllocations(state, before);
}
BENCHMARK(BM_Decode500CharBurst);

}  // namespace
}  // namespace pellix

BENCHMARK_MAIN();
