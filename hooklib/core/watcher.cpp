#include "hooklib/core/watcher.h"

namespace pellix {

void RunTimeoutWatcher(HookContext& c, WatcherPort& port) {
  using Wake = WatcherPort::Wake;
  if (port.WaitForStart() != Wake::kEvent) return;
  for (;;) {
    // The burst that signalled the start; a later one gets its own timeout.
    const int32_t serial = c.state.burstSerial;
    port.ResetStartAndStop();
    // A burst that ended before that reset had its stop taken by it. Every end leaves the
    // state before it signals, so the record tells: such a burst is not waited for, and the
    // clock is free for the next one at once.
    if (BurstRunning(c.state, serial)) {
      const Wake w = port.WaitForStop(ReadTimeOut(c.state));
      if (w == Wake::kTerm || w == Wake::kFailed) return;
      if (w == Wake::kTimeout) AbortTimedOutBurst(c, serial);
    }
    port.ResetStop();
    if (port.WaitForStart() != Wake::kEvent) return;
  }
}

}  // namespace pellix
