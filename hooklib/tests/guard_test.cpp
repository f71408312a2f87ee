// One step at a time on the keyboard-hook path: the watcher's abort and a hook call never
// interleave on the shared record, and the abort gives back only the burst it timed; on the
// low-level path the watcher only asks the hook's thread.
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
constexpr auto kKb = FakeKeyboard::Path::kKeyboard;

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

TEST(TimeoutAbort, GivesBackTheBurstItTimedOrSaysItMustTryAgain) {
  FakeKeyboard kb(kKb);
  kb.WandPrefix();
  kb.WandChar('.');
  kb.WandChar('x');
  const int32_t serial = kb.state.burstSerial;
  EXPECT_TRUE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial - 1); }));
  EXPECT_EQ(kb.state.recognizerState, kCapturing) << "ended a burst it did not time";
  kb.stepOwner = 12345;  // a step elsewhere that does not finish in time
  EXPECT_FALSE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
  EXPECT_EQ(kb.clockMs, kWatcherStepWaitMs);
  kb.stepOwner = 0;
  EXPECT_TRUE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
  kb.Pump();
  EXPECT_EQ(kb.AppText(), ".x");
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  EXPECT_TRUE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
  kb.Pump();
  EXPECT_EQ(kb.AppText(), ".x") << "given back twice";
}

TEST(StepGuard, KeyPassesWhenALiveStepElsewhereDoesNotFinishAndLowLevelNeverWaits) {
  FakeKeyboard kb(kKb);
  kb.state.recognizerState = kCapturing;
  kb.stepOwner = 12345;  // a slow step in another thread that is still running
  EXPECT_FALSE(kb.Key('A', 30, false));
  EXPECT_EQ(kb.clockMs, kHookStepWaitMs);
  EXPECT_EQ(kb.stepOwner, 12345u);
  // Outside a burst no key asks for the step; on the low-level path none ever does.
  kb.state.recognizerState = kIdle;
  EXPECT_FALSE(kb.Key('A', 30, false));
  FakeKeyboard ll;
  ll.stepOwner = 12345;
  ll.WandBurst(kScan);
  EXPECT_EQ(ll.AppText(), "012345678905\n");
  EXPECT_EQ(kb.clockMs + ll.clockMs, kHookStepWaitMs);
}

TEST(StepGuard, StepOfAThreadThatDiedIsTakenOverOnceAndAtOnce) {
  // The owner was killed inside its step: the whole next burst is recognised as usual, with
  // no wait on any key; the takeover happens once, and the lock is free afterwards.
  FakeKeyboard kb(kKb);
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
  bool hookThread = false;      // the low-level path: ask its thread
  std::vector<int32_t> asked;   // serials the hook's thread was asked to end
  int termAfterChecks = -1;     // Terminating() turns true after this many checks
  Wake Take() { return next < wakes.size() ? wakes[next++] : Wake::kFailed; }
  Wake WaitForStart() override { return Take(); }
  Wake WaitForStop(uint32_t ms) override {
    timeouts.push_back(ms);
    return Take();
  }
  void ResetStart() override { ++resets; }
  void ResetStop() override { ++resets; }
  std::vector<uint32_t> checks;  // how long each check waited for the term event
  bool Terminating(uint32_t ms) override {
    checks.push_back(ms);
    return termAfterChecks >= 0 && termAfterChecks-- == 0;
  }
  bool AskHookThread(int32_t serial) override {
    if (hookThread) asked.push_back(serial);
    return hookThread;
  }
};

TEST(TimeoutWatcher, AbandonsOnTimeoutAndEndsOnTermOrFailure) {
  using Wake = WatcherPort::Wake;
  FakeKeyboard kb(kKb);
  kb.WandPrefix();
  kb.WandChar('.');
  SetTimeOut(kb.state, 900);
  ScriptedWatcher w;
  w.wakes = {Wake::kEvent, Wake::kTimeout, Wake::kEvent, Wake::kFailed};
  RunTimeoutWatcher(kb.ctx, w);
  kb.Pump();
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

  // Low-level path: the hook's thread is asked, and the watcher itself types nothing.
  ScriptedWatcher w3;
  w3.hookThread = true;
  w3.wakes = {Wake::kEvent, Wake::kTimeout, Wake::kTerm};
  RunTimeoutWatcher(kb2.ctx, w3);
  EXPECT_EQ(w3.asked, std::vector<int32_t>{kb2.state.burstSerial});
  EXPECT_EQ(kb2.state.recognizerState, kCapturing);
  EXPECT_TRUE(kb2.injected.empty());

  // Keyboard-hook path, a step elsewhere that outlasts the watcher's wait: it waits again
  // while the burst runs, until the term event ends it.
  FakeKeyboard kb3(kKb);
  kb3.WandPrefix();
  kb3.stepOwner = 12345;
  ScriptedWatcher w4;
  w4.wakes = {Wake::kEvent, Wake::kTimeout};
  w4.termAfterChecks = 2;
  RunTimeoutWatcher(kb3.ctx, w4);
  EXPECT_EQ(kb3.clockMs, 3 * kWatcherStepWaitMs);
  EXPECT_EQ(w4.next, 2u) << "the watcher went on without ending the burst";
  // A step lock that cannot be opened refuses at once: the watcher still waits between tries.
  EXPECT_EQ(w4.checks, std::vector<uint32_t>(3, kWatcherRetryWaitMs));
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
