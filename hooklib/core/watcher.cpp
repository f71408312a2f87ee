#include "hooklib/core/watcher.h"

namespace pellix {

namespace {

// False when the watcher is to end instead.
bool EndTimedOutBurst(HookContext& c, WatcherPort& port, int32_t serial) {
  if (port.AskHookThread(serial)) return true;
  while (!AbortTimedOutBurst(c, serial)) {
    if (port.Terminating(kWatcherRetryWaitMs)) return false;
  }
  return true;
}

}  // namespace

void RunTimeoutWatcher(HookContext& c, WatcherPort& port) {
  using Wake = WatcherPort::Wake;
  if (port.WaitForStart() != Wake::kEvent) return;
  for (;;) {
    port.ResetStart();
    port.ResetStop();
    // The record is read after the resets: a burst that begins later signals a start that
    // they cannot take, and one that began before is in the record. A burst that ended
    // before them had its stop taken; every end leaves the state before it signals, so the
    // record tells, and such a burst is not waited for.
    const int32_t serial = ReadBurstSerial(c.state);
    if (BurstRunning(c.state, serial)) {
      const Wake w = port.WaitForStop(ReadTimeOut(c.state));
      if (w == Wake::kTerm || w == Wake::kFailed) return;
      if (w == Wake::kTimeout && !EndTimedOutBurst(c, port, serial)) return;
    }
    port.ResetStop();
    if (port.WaitForStart() != Wake::kEvent) return;
  }
}

}  // namespace pellix
