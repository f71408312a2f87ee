#include "hooklib/core/watcher.h"

namespace pellix {

void RunTimeoutWatcher(HookContext& c, WatcherPort& port) {
  using Wake = WatcherPort::Wake;
  if (port.WaitForStart() != Wake::kEvent) return;
  for (;;) {
    port.ResetStartAndStop();
    // The record is read after the reset: a burst that begins later signals a start that the
    // reset cannot take, and one that began before is in the record. A burst that ended
    // before the reset had its stop taken by it; every end leaves the state before it
    // signals, so the record tells, and such a burst is not waited for.
    const int32_t serial = ReadBurstSerial(c.state);
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
