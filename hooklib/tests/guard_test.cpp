// One step at a time: the watcher's abort and a hook call never interleave on the shared
// record, and the abort gives back only the burst it timed.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/encoder.h"
#include "hooklib/core/step_guard.h"
#include "hooklib/core/watcher.h"
#include "hooklib/tests/fake_keyboard.h"

namespace pellix {
namespace {

using testing::FakeKeyboard;

constexpr uint32_t kHookThread = 100;
constexpr uint32_t kWatcherThread = 200;

const std::string kScan = EncodeWandText("77", "UPA", "012345678905");

// Runs f as the watcher thread would.
template <class F>
auto AsWatcher(FakeKeyboard& kb, F f) {
  kb.threadId = kWatcherThread;
  auto r = f();
  kb.threadId = kHookThread;
  return r;
}

TEST(TimeoutAbort, GivesBackTheBurstItTimed) {
  FakeKeyboard kb;
  kb.WandPrefix();
  kb.WandChar('.');
  kb.WandChar('x');
  const int32_t serial = kb.state.burstSerial;
  EXPECT_FALSE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial - 1); }));
  EXPECT_TRUE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
  EXPECT_EQ(kb.AppText(), ".x");
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  // Nothing left to abandon: a second abort does nothing.
  EXPECT_FALSE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
}

TEST(StepGuard, HookPassesWhenALiveStepElsewhereDoesNotFinish) {
  FakeKeyboard kb;
  kb.stepOwner = 12345;  // a slow step in another thread that is still running
  EXPECT_FALSE(kb.LowLevel(164, 56, 0x20));
  EXPECT_EQ(kb.state.prefixPosition, 0);
  EXPECT_EQ(kb.clockMs, kHookStepWaitMs);
  EXPECT_EQ(kb.stepOwner, 12345u);
  // Ordinary keys never ask for the step.
  EXPECT_FALSE(kb.LowLevel('A', 30, 0));
  EXPECT_EQ(kb.clockMs, kHookStepWaitMs);
}

TEST(StepGuard, StepOfAThreadThatDiedIsTakenOverOnceAndAtOnce) {
  // The owner was killed inside its step: the whole next burst is recognised as usual, with
  // no wait on any key; the takeover happens once, and the lock is free afterwards.
  FakeKeyboard kb;
  kb.stepOwner = 12345;
  kb.endedThreads.insert(12345);
  kb.WandPrefix();
  for (char c : kScan) kb.WandChar(c);
  kb.Key(13, 28, false);
  kb.Key(13, 28, true);
  kb.Pump();
  EXPECT_EQ(kb.AppText(), "012345678905\n");
  EXPECT_EQ(kb.clockMs, 0u) << "a key waited for the dead owner";
  EXPECT_EQ(kb.abandonedSteps, 1);
  EXPECT_EQ(kb.stepOwner, 0u);
}

class ScriptedWatcher : public WatcherPort {
 public:
  std::vector<Wake> wakes;
  std::vector<uint32_t> timeouts;
  size_t next = 0;
  int resets = 0;
  std::function<void()> onTimeout;
  Wake Take() { return next < wakes.size() ? wakes[next++] : Wake::kFailed; }
  Wake WaitForStart() override { return Take(); }
  Wake WaitForStop(uint32_t ms) override {
    timeouts.push_back(ms);
    return Take();
  }
  void ResetStartAndStop() override { ++resets; }
  void ResetStop() override { ++resets; }
};

TEST(TimeoutWatcher, AbandonsOnTimeoutAndEndsOnTermOrFailure) {
  using Wake = WatcherPort::Wake;
  FakeKeyboard kb;
  kb.WandPrefix();
  kb.WandChar('.');
  SetTimeOut(kb.state, 900);
  ScriptedWatcher w;
  w.wakes = {Wake::kEvent, Wake::kTimeout, Wake::kEvent, Wake::kFailed};
  RunTimeoutWatcher(kb.ctx, w);
  EXPECT_EQ(w.next, w.wakes.size());  // a failed wait ended it: no spinning
  // The second start finds no burst running (the first was abandoned): nothing to time.
  EXPECT_EQ(w.timeouts, (std::vector<uint32_t>{900}));
  EXPECT_EQ(kb.AppText(), ".");
  EXPECT_EQ(kb.state.recognizerState, kIdle);

  // A burst that runs is timed, and its stop ends the wait.
  FakeKeyboard kb2;
  kb2.WandPrefix();
  ScriptedWatcher w2;
  w2.wakes = {Wake::kEvent, Wake::kEvent, Wake::kTerm};
  RunTimeoutWatcher(kb2.ctx, w2);
  EXPECT_EQ(w2.timeouts, (std::vector<uint32_t>{1250}));
  EXPECT_EQ(kb2.state.recognizerState, kCapturing) << "a stop abandons nothing";
}

TEST(Settings, OutputTypeAndTimeout) {
  HookSharedState s = InitialHookSharedState();
  char t, sep;
  int style, beep, type;
  GetOutputType(s, &t, &sep, &style, &beep, &type);
  EXPECT_EQ(t, '\n');
  EXPECT_EQ(sep, '.');
  EXPECT_EQ(style, 0);
  EXPECT_EQ(beep, 1);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(GetTimeOut(s), 1250u);
  EXPECT_EQ(SetOutputType(s, '\n', '.', 4, 1, 0), 0);
  EXPECT_EQ(SetOutputType(s, 'a', '.', 0, 1, 0), 0);
  EXPECT_EQ(SetOutputType(s, '\n', '#', 0, 1, 0), 0);
  EXPECT_EQ(SetOutputType(s, 0, 0, 0, 5, 7), 1);
  GetOutputType(s, &t, &sep, &style, &beep, &type);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(sep, 0);
  EXPECT_EQ(beep, 1);
  EXPECT_EQ(type, 7);
  const uint32_t cases[][2] = {{100, 500}, {5000, 2000}, {500, 500}, {2000, 2000},
                               {0xFFFFFFFFu, 2000}, {1234, 1234}};
  for (const auto& c : cases) {
    EXPECT_EQ(SetTimeOut(s, c[0]), c[1]);
    EXPECT_EQ(GetTimeOut(s), c[1]);
  }
}

}  // namespace
}  // namespace pellix
