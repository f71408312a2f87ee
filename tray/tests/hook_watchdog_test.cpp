// The rule that notices a lost low-level hook, over a fake clock and fake counts: each case is
// a timeline of checks (time, hook count, raw count) and the checks that must fire.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tray/core/hook_watchdog.h"

namespace pellix {
namespace {

struct Step {
  uint32_t t, hook, raw;
  bool fires;
};

// Runs the checks after a Reset at the first step's values; returns the steps that fired.
std::vector<uint32_t> Fired(const std::vector<Step>& steps, uint32_t t0 = 0, uint32_t h0 = 0,
                          uint32_t r0 = 0) {
  HookWatchdog w;
  w.Reset(t0, h0, r0);
  std::vector<uint32_t> fired;
  for (const Step& s : steps) {
    if (w.Check(t0 + s.t, h0 + s.hook, r0 + s.raw)) fired.push_back(s.t);
  }
  return fired;
}

std::vector<uint32_t> Expected(const std::vector<Step>& steps) {
  std::vector<uint32_t> out;
  for (const Step& s : steps) {
    if (s.fires) out.push_back(s.t);
  }
  return out;
}

struct Case {
  const char* name;
  std::vector<Step> steps;
};

const Case kCases[] = {
    {"typing with the hook there, the hook ahead (it swallows what raw input never sees)",
     {{250, 4, 2, false}, {500, 40, 2, false}, {750, 44, 6, false}, {3000, 46, 8, false}}},
    {"nothing typed, or only what the hook swallowed",
     {{250, 0, 0, false}, {5000, 0, 0, false}, {5250, 90, 0, false}, {9000, 90, 0, false}}},
    {"late hook calls: raw input ahead at a check, the hook catching up before the verdict",
     {{250, 0, 3, false}, {500, 0, 5, false}, {700, 5, 5, false}, {1500, 5, 9, false},
      {1750, 9, 12, false}, {2500, 12, 12, false}}},
    {"a stall: calls given up on while the thread was busy, then no keystroke for long",
     {{4000, 0, 20, false}, {4250, 0, 20, false}, {60000, 0, 20, false}}},
    {"a stall, then the next keystrokes reach the hook",
     {{4000, 0, 20, false}, {9000, 2, 22, false}, {9250, 2, 22, false}, {20000, 2, 22, false}}},
    {"lost: further raw keystrokes after the suspicion fire at the first check past the wait",
     {{250, 0, 2, false}, {500, 0, 4, false}, {700, 0, 6, false}, {750, 0, 6, true},
      {1000, 0, 8, false}, {1250, 0, 8, false}, {30000, 0, 8, false}}},
    {"lost after working: the hook's last call, then raw input alone",
     {{250, 6, 6, false}, {500, 6, 8, false}, {1000, 6, 8, false}, {1250, 6, 9, true}}},
    {"lost again after a reinstallation that did not hold: new evidence, a second verdict",
     {{250, 0, 2, false}, {800, 0, 3, true}, {1000, 0, 5, false}, {1600, 0, 7, true}}},
};

TEST(HookWatchdog, Timelines) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Fired(c.steps), Expected(c.steps)) << c.name;
  }
}

TEST(HookWatchdog, CountsAndClockWrapAround) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Fired(c.steps, 0xFFFFFF00u, 0xFFFFFFF0u, 0xFFFFFFFEu), Expected(c.steps))
        << c.name;
  }
}

// Raw keystrokes every check that the hook never sees: reinstallations that do not hold are
// spaced out, doubling up to minutes; the hook running again ends the back-off.
TEST(HookWatchdog, ReinstallationsThatDoNotHoldBackOff) {
  for (uint32_t t0 : {0u, 0xFFFF0000u}) {
    HookWatchdog w;
    w.Reset(t0, 0, 0);
    std::vector<uint32_t> fired;
    uint32_t raw = 0, hook = 0;
    for (uint32_t t = 250; t <= 1200000; t += 250) {
      if (t == 1000000) hook = 1;  // the hook is back
      if (!w.Check(t0 + t, hook, ++raw)) continue;
      fired.push_back(t);
      w.Reinstalled(t0 + t, hook, raw);
      if (t > 1000000) break;
    }
    EXPECT_EQ(fired, (std::vector<uint32_t>{750, 1500, 3500, 7500, 15500, 31500, 63500, 127500,
                                            255500, 511500, 811500, 1000750}))
        << std::hex << t0;
  }
  HookWatchdog w;
  w.Reset(0, 0, 0);
  w.Reinstalled(100, 0, 0);
  EXPECT_FALSE(w.BackingOff()) << "one reinstallation: not known yet whether it held";
  w.Reinstalled(900, 0, 0);
  EXPECT_TRUE(w.BackingOff());
}

TEST(HookWatchdog, ResetForgetsTheSuspicion) {
  HookWatchdog w;
  w.Reset(0, 0, 0);
  EXPECT_FALSE(w.Check(250, 0, 3));
  EXPECT_TRUE(w.Suspicious());
  w.Reset(300, 0, 3);  // reinstalled by other means
  EXPECT_FALSE(w.Suspicious());
  EXPECT_FALSE(w.Check(2000, 0, 3));
}

}  // namespace
}  // namespace pellix
