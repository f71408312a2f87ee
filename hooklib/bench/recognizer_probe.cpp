// Runs a fixed number of keystrokes through the low-level recognizer, for callgrind's
// instruction count: "ordinary" (state Idle, no prefix matched), "burst" (inside a burst) or
// "decode" (decoding a full 500-character capture with a full transform table).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/bench/burst.h"
#include "engine/scan_record.h"
#include "hooklib/bench/null_platform.h"
#include "hooklib/core/recognizer.h"

namespace {
pellix::HookSharedState g_shared = pellix::InitialHookSharedState();
}  // namespace

int main(int argc, char** argv) {
  const bool burst = argc > 1 && std::strcmp(argv[1], "burst") == 0;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 100000;
  if (argc > 1 && std::strcmp(argv[1], "decode") == 0) {
    const std::string text = pellix::LongBurst();
    pellix::FillTable(g_shared.transforms);
    std::memcpy(g_shared.keyBuffer.scanChars, text.c_str(), text.size() + 1);
    g_shared.keyBuffer.length = static_cast<int32_t>(text.size());
    pellix::ScanRecord record;
    unsigned check = 0;
    for (int i = 0; i < rounds; ++i) {
      pellix::DecodeCapture(g_shared, &record);
      check += static_cast<unsigned char>(record.data[i % 10]);
    }
    std::printf("decode: %zu chars, %d rounds, valid %d (%u)\n", text.size(), rounds,
                record.valid, check);
    return 0;
  }
  pellix::NullPlatform platform;
  pellix::HookLocal local;
  pellix::HookContext c{g_shared, platform, local};
  int swallowed = 0;
  for (int i = 0; i < rounds; ++i) {
    if (burst) {
      g_shared.recognizerState = pellix::kCapturing;
      if (g_shared.keyBuffer.length >= 400) g_shared.keyBuffer.length = 0;
    }
    const uint32_t flags = (i & 1) ? pellix::kLowLevelUp : 0;
    swallowed += pellix::LowLevelStep(c, 'A', 30, flags, 0) == pellix::Verdict::kSwallow;
  }
  std::printf("%s: %d keystrokes, %d swallowed\n", burst ? "burst" : "ordinary", rounds, swallowed);
  return 0;
}
