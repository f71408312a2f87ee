// Under Wine: the cost of an ordinary keystroke through the real low-level hook procedure
// against a pass-through hook procedure, and the latency from a burst's final Enter release
// to the last typed key arriving in a target window of another process.
//   hooklib_wine_bench.exe [scans]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/encoder.h"
#include "hooklib/core/shared_state.h"
#include "hooklib/tests/win32/lowlevel_harness.h"
#include "hooklib/win32/library.h"

using namespace pellix;

namespace {

LRESULT CALLBACK PassThroughProc(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

double PerCallNs(HOOKPROC proc, DWORD vk, DWORD scan, int calls) {
  KBDLLHOOKSTRUCT k = {};
  k.vkCode = vk;
  k.scanCode = scan;
  const double start = testing::NowMs();
  for (int i = 0; i < calls; ++i) {
    k.flags = (i & 1) ? LLKHF_UP : 0;
    proc(HC_ACTION, (i & 1) ? WM_KEYUP : WM_KEYDOWN, reinterpret_cast<LPARAM>(&k));
  }
  return (testing::NowMs() - start) * 1e6 / calls;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[i];
}

}  // namespace

int main(int argc, char** argv) {
  const int scans = argc > 1 ? std::atoi(argv[1]) : 50;
  win32::OnProcessAttach(GetModuleHandleA(nullptr));
  testing::Target target;
  testing::Receiver receiver;
  if (!target.Start() || !receiver.Start()) return 2;
  if (win32::InstallHook(receiver.window(), 0) != 1) return 3;

  const int calls = 20000;
  const double pass = PerCallNs(PassThroughProc, 'A', 30, calls);
  const double hook = PerCallNs(win32::LowLevelHookProc, 'A', 30, calls);
  std::printf("ordinary keystroke: LowLevelHookProc %.0f ns, pass-through %.0f ns, ratio %.1f\n",
              hook, pass, hook / pass);

  std::vector<double> latencies;
  const std::string text = EncodeWandText("00000000123456", "UPA", "012345678905");
  for (int i = 0; i < scans; ++i) {
    target.Clear();
    testing::Pump(20);
    testing::FeedPrefix();
    testing::FeedChars(text);
    testing::FeedEnterPress();
    testing::FeedEnterRelease();
    const double start = testing::NowMs();
    if (!target.WaitText("012345678905\n", 5000)) {
      std::printf("scan %d: not typed (%s)\n", i, target.Text().c_str());
      continue;
    }
    latencies.push_back(testing::NowMs() - start);
  }
  win32::RemoveHook();
  receiver.Stop();
  target.Stop();
  if (latencies.empty()) return 4;
  std::printf("end to end (%zu scans, offered to a declining window and the foreground, then "
              "13 characters typed): p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
              latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99),
              *std::max_element(latencies.begin(), latencies.end()));
  return static_cast<int>(latencies.size()) == scans ? 0 : 1;
}
