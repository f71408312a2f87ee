#include "tray/core/hook_watchdog.h"

namespace pellix {

void HookWatchdog::Reset(uint32_t nowMs, uint32_t hookCount, uint32_t rawCount) {
  hookSeen_ = hookCount;
  rawAtSync_ = rawCount;
  suspicious_ = false;
  suspectedAt_ = nowMs;
  rawAtSuspicion_ = rawCount;
}

void HookWatchdog::Reinstalled(uint32_t nowMs, uint32_t hookCount, uint32_t rawCount) {
  if (unproven_) {
    backOffMs_ = backOffMs_ == 0 ? kFirstBackOffMs
                 : backOffMs_ >= kMaxBackOffMs / 2 ? kMaxBackOffMs
                                                   : 2 * backOffMs_;
  }
  unproven_ = true;
  reinstalledAt_ = nowMs;
  Reset(nowMs, hookCount, rawCount);
}

bool HookWatchdog::Check(uint32_t nowMs, uint32_t hookCount, uint32_t rawCount) {
  if (hookCount != hookSeen_) {  // the hook ran since the last check: it is there
    Reset(nowMs, hookCount, rawCount);
    unproven_ = false;
    backOffMs_ = 0;
    return false;
  }
  if (!suspicious_) {
    if (rawCount != rawAtSync_) {
      suspicious_ = true;
      suspectedAt_ = nowMs;
      rawAtSuspicion_ = rawCount;
    }
    return false;
  }
  if (rawCount == rawAtSuspicion_ || nowMs - suspectedAt_ < kConfirmMs) return false;
  if (unproven_ && nowMs - reinstalledAt_ < backOffMs_) return false;
  Reset(nowMs, hookCount, rawCount);  // once per loss: a new one needs new evidence
  return true;
}

}  // namespace pellix
