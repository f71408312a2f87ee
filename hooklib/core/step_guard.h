// Keeps each step on the shared state (one hook call, one abort by the timeout watcher) from
// interleaving with another, across threads and processes. An interlocked owner word in the
// shared record; a waiter gives up after a bounded time rather than block a hook for long, and
// takes the word over at once from an owner whose thread has ended (killed inside a step).
#pragma once
#include <cstdint>

#include "hooklib/core/hook_platform.h"
#include "hooklib/core/interlocked.h"

namespace pellix {

// Longest wait of a hook call for a step in progress elsewhere; past it the key passes.
constexpr uint32_t kHookStepWaitMs = 50;
// Longest wait of the watcher's abort; past it the step in progress ends the burst itself.
constexpr uint32_t kWatcherStepWaitMs = 250;

// The contended case, out of line: spins with a yield until the owner word is free, or its
// owner's thread is found ended, or maxWaitMs have passed. True when the caller now owns the
// step.
bool WaitForStep(int32_t* owner, int32_t me, HookPlatform& platform, uint32_t maxWaitMs);

class StepGuard {
 public:
  StepGuard(int32_t* owner, HookPlatform& platform, uint32_t maxWaitMs) : owner_(owner) {
    // Thread ids are below 2^31; 0 marks "no step running".
    const uint32_t id = platform.CurrentThreadId() & 0x7fffffffu;
    const int32_t me = static_cast<int32_t>(id == 0 ? 1 : id);
    held_ = AtomicCompareExchange(owner_, 0, me) || WaitForStep(owner_, me, platform, maxWaitMs);
#ifdef PELLIX_INTERLEAVING_POINTS
    if (held_) InterleavingStepEntered();
#endif
  }
  ~StepGuard() {
#ifdef PELLIX_INTERLEAVING_POINTS
    if (held_) InterleavingStepLeft();
#endif
    if (held_) AtomicStore(owner_, 0);
  }
  StepGuard(const StepGuard&) = delete;
  StepGuard& operator=(const StepGuard&) = delete;

  bool held() const { return held_; }

 private:
  int32_t* owner_;
  bool held_;
};

}  // namespace pellix
