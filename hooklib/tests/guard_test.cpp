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

TEST(TimeoutAbort, BurstEndingWhileWatcherWaitsIsTypedOnce) {
  FakeKeyboard kb;
  kb.WandPrefix();
  for (char c : kScan) kb.WandChar(c);
  kb.Key(13, 28, false);
  const int32_t serial = kb.state.burstSerial;
  // The watcher's wait times out just as the final Enter release is in its step.
  bool aborted = true, raced = false;
  kb.onSignalStop = [&] {
    if (raced) return;
    raced = true;
    aborted = AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); });
  };
  kb.Key(13, 28, true);
  kb.Pump();
  EXPECT_TRUE(raced);
  EXPECT_FALSE(aborted);
  // And once the step is over, the abort finds the burst gone.
  EXPECT_FALSE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
  EXPECT_EQ(kb.AppText(), "012345678905\n");
  EXPECT_EQ(kb.state.keyBuffer.length, 0);
}

TEST(TimeoutAbort, EnterArrivingWhileWatcherTypesBackPassesAndIsNotDecoded) {
  FakeKeyboard kb;
  kb.WandPrefix();
  for (char c : kScan) kb.WandChar(c);
  const int32_t serial = kb.state.burstSerial;
  bool entered = false;
  kb.onKeybdEvent = [&] {
    if (entered) return;
    entered = true;
    kb.threadId = kHookThread;
    kb.Key(13, 28, false);
    kb.Key(13, 28, true);
    kb.threadId = kWatcherThread;
  };
  EXPECT_TRUE(AsWatcher(kb, [&] { return AbortTimedOutBurst(kb.ctx, serial); }));
  kb.Pump();
  EXPECT_TRUE(kb.beeps.empty());  // no scan delivered
  std::string typedBack = kb.AppText();
  // The user's Enter passed in the middle of the give-back; the burst's text came back once.
  typedBack.erase(std::remove(typedBack.begin(), typedBack.end(), '\n'), typedBack.end());
  EXPECT_EQ(typedBack, kScan);
  EXPECT_EQ(kb.state.recognizerState, kIdle);
  EXPECT_EQ(kb.state.keyBuffer.length, 0);
}

TEST(StepGuard, HookPassesWhenALiveStepElsewhereDoesNotFinish) {
  FakeKeyboard kb;
  kb.state.stepOwner = 12345;  // a slow step in another thread that is still running
  EXPECT_FALSE(kb.LowLevel(164, 56, 0x20));
  EXPECT_EQ(kb.state.prefixPosition, 0);
  EXPECT_GE(kb.clockMs, kHookStepWaitMs);
  EXPECT_LE(kb.clockMs, kHookStepWaitMs + 2);
  EXPECT_EQ(kb.state.stepOwner, 12345);
}

TEST(StepGuard, StepOfAThreadThatDiedIsTakenOverAtOnce) {
  // The owner was killed inside its step: the whole next burst is recognised as usual, with
  // no wait on any key, and the word is free afterwards.
  FakeKeyboard kb;
  kb.state.stepOwner = 12345;
  kb.endedThreads.insert(12345);
  kb.WandPrefix();
  for (char c : kScan) kb.WandChar(c);
  kb.Key(13, 28, false);
  kb.Key(13, 28, true);
  kb.Pump();
  EXPECT_EQ(kb.AppText(), "012345678905\n");
  EXPECT_LT(kb.clockMs, kHookStepWaitMs) << "no key waited for the dead owner";
  EXPECT_EQ(kb.state.stepOwner, 0);
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

// A burst broken off at once (a key right after the prefix) signals its stop before the
// watcher, woken by the start, has reset the events: the reset takes the stop away. The
// watcher finds the burst over in the record and does not wait out its timeout, so the
// next burst is timed from its own start.
TEST(TimeoutWatcher, BurstThatEndedBeforeTheResetIsNotWaitedFor) {
  using Wake = WatcherPort::Wake;
  FakeKeyboard kb;
  kb.WandPrefix();
  EXPECT_FALSE(kb.LowLevel(116, 63, 0));  // F5: broken off, stop signalled, Idle again
  ASSERT_EQ(kb.stops, 1);
  ScriptedWatcher w;
  w.wakes = {Wake::kEvent, Wake::kTerm};  // the start, then the end of the watcher
  RunTimeoutWatcher(kb.ctx, w);
  EXPECT_TRUE(w.timeouts.empty()) << "waited for a burst that had ended";
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
