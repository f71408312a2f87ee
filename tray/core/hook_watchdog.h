// Notices that the system has taken the low-level keyboard hook away. Windows 7 and later
// remove a low-level hook whose procedure missed the system's timeout, silently: from then on
// every burst reaches the focused application raw. The tray program counts keystrokes twice,
// in the hook procedure and through raw input, and feeds both counts to this rule from a
// timer on the hook's own thread.
//
// Why a timer on that thread: the system calls the hook procedure for a keystroke before it
// posts the keystroke's raw input, and a timer message comes only once the queue is empty. So
// at a check every hook call still owed has been made, and a thread that was merely busy shows
// at most the keystrokes whose calls the system gave up on while it was stalled. The rule
// therefore wants more than a gap: a check finds raw keystrokes the hook has not seen (the
// suspicion), then raw input sees further keystrokes, typed while the thread was free again,
// that the hook does not see either, at least kConfirmMs after the suspicion. Any hook call in
// between clears it.
#pragma once
#include <cstdint>

namespace pellix {

class HookWatchdog {
 public:
  static constexpr uint32_t kCheckPeriodMs = 250;  // how often the tray program checks
  static constexpr uint32_t kConfirmMs = 500;      // suspicion to verdict, at least

  // After a reinstallation that did not bring the hook's count back, the next verdict waits
  // this long, doubling with each further one up to kMaxBackOffMs: keys that raw input sees
  // and the hook never does (another program's low-level hook ahead of ours, an elevated
  // window in front) would otherwise have it reinstalled, and the capture cleared, every
  // 750 ms.
  static constexpr uint32_t kFirstBackOffMs = 2000;
  static constexpr uint32_t kMaxBackOffMs = 5 * 60 * 1000;

  // Starts from the counts as they are now (at installation).
  void Reset(uint32_t nowMs, uint32_t hookCount, uint32_t rawCount);
  // Starts again after a reinstallation, backing off while reinstallations do not hold.
  void Reinstalled(uint32_t nowMs, uint32_t hookCount, uint32_t rawCount);

  // One check. True once per loss: the hook is to be reinstalled. The counts are free-running
  // and may wrap; the clock is GetTickCount's and may wrap too.
  bool Check(uint32_t nowMs, uint32_t hookCount, uint32_t rawCount);

  bool Suspicious() const { return suspicious_; }
  // True while the verdicts are held back because reinstallations did not hold.
  bool BackingOff() const { return backOffMs_ != 0; }

 private:
  uint32_t hookSeen_ = 0;     // the hook's count at the last check
  uint32_t rawAtSync_ = 0;    // raw count when the hook last showed it was alive
  bool suspicious_ = false;
  uint32_t suspectedAt_ = 0;  // time and raw count of the check that raised the suspicion
  uint32_t rawAtSuspicion_ = 0;
  bool unproven_ = false;       // reinstalled, and the hook has not run since
  uint32_t reinstalledAt_ = 0;
  uint32_t backOffMs_ = 0;
};

}  // namespace pellix
