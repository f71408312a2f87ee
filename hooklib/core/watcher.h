// The timeout watcher: a burst must end (KV_CC_STOP) within the timeout of its start
// (KV_CC_START), else it is given back. Runs on a thread of the installing process.
#pragma once
#include <cstdint>

#include "hooklib/core/recognizer.h"

namespace pellix {

class WatcherPort {
 public:
  enum class Wake { kTerm, kEvent, kTimeout, kFailed };
  virtual ~WatcherPort() = default;
  // Waits for (KV_CC_TERM, KV_CC_START) without limit; the term event wins a tie.
  virtual Wake WaitForStart() = 0;
  // Waits for (KV_CC_TERM, KV_CC_STOP) for at most `milliseconds`.
  virtual Wake WaitForStop(uint32_t milliseconds) = 0;
  virtual void ResetStart() = 0;
  virtual void ResetStop() = 0;
  // Waits up to `milliseconds` for KV_CC_TERM; true once it is signalled (or cannot be
  // waited for).
  virtual bool Terminating(uint32_t milliseconds) = 0;
  // Low-level path: asks the hook's own thread to end the burst `serial` (EndStalledBurst
  // there). False when there is no such thread: the keyboard-hook path, whose steps run in
  // every application, where the watcher gives the burst back itself.
  virtual bool AskHookThread(int32_t serial) = 0;
};

// Returns when the term event is signalled, or when a wait fails (closed handles): a failed
// wait ends the watcher rather than spin. Every burst it timed is ended: a step lock that
// cannot be had in time is waited for again while that burst runs.
void RunTimeoutWatcher(HookContext& c, WatcherPort& port);

// The watcher's pause between two tries at a step it could not have: a step lock that cannot
// even be opened refuses at once, and the watcher must not spin a core on it.
constexpr uint32_t kWatcherRetryWaitMs = 100;

}  // namespace pellix
