// Keeps each step of the keyboard-hook path (one hook call in some application, one abort by
// the timeout watcher) from interleaving with another, across threads and processes. The
// low-level path needs none: all its steps run on one thread. The step lock is the platform's:
// on Windows a named mutex, which the system itself hands on, marked abandoned, when its owner
// ends inside a step (its program killed), so no id of a thread has to be trusted and only
// one waiter ever steps in.
#pragma once
#include <cstdint>

#include "hooklib/core/hook_platform.h"

namespace pellix {

// Longest wait of a hook call for a step in progress elsewhere; past it the key passes.
constexpr uint32_t kHookStepWaitMs = 50;
// Longest wait of the watcher's abort; past it the watcher waits again while the burst runs.
constexpr uint32_t kWatcherStepWaitMs = 250;

class StepGuard {
 public:
  StepGuard(HookPlatform& platform, uint32_t maxWaitMs)
      : platform_(platform), held_(platform.EnterStep(maxWaitMs)) {}
  ~StepGuard() {
    if (held_) platform_.LeaveStep();
  }
  StepGuard(const StepGuard&) = delete;
  StepGuard& operator=(const StepGuard&) = delete;

  bool held() const { return held_; }

 private:
  HookPlatform& platform_;
  bool held_;
};

}  // namespace pellix
