#include "hooklib/core/watcher.h"

namespace pellix {

namespace {

// False when the watcher is to end instead.
bool EndTimedOutBurst(HookContext& c, WatcherPort& port, int32_t serial) {
  if (port.AskHookThread(serial)) return true;
  while (!AbortTimedOutBurst(c, serial)) {
    if (port.Terminating()) return false;
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
    // The timeout runs from the burst's last key taken: its keys are taken when the
    // application's thread gets round to them, which on a busy machine may be long after the
    // wand sent them all. A burst that still grows is waited for again; one that took no key
    // for a whole timeout has stalled.
    int32_t taken = SharedLoad(&c.state.keyBuffer.length);
    Wake w = Wake::kEvent;
    while (BurstRunning(c.state, serial)) {
      w = port.WaitForStop(ReadTimeOut(c.state));
      if (w != Wake::kTimeout) break;
      const int32_t now = SharedLoad(&c.state.keyBuffer.length);
      if (now == taken || !BurstRunning(c.state, serial)) break;
      taken = now;
    }
    if (w == Wake::kTerm || w == Wake::kFailed) return;
    if (w == Wake::kTimeout && !EndTimedOutBurst(c, port, serial)) return;
    port.ResetStop();
    if (port.WaitForStart() != Wake::kEvent) return;
  }
}

}  // namespace pellix
