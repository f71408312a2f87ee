// Delivery of a decoded scan (offer to the tray program, else beep and type) and the typing
// of keystrokes, including the give-back of an abandoned burst.
#pragma once
#include <cstdint>

#include "hooklib/core/recognizer.h"

namespace pellix {

struct ScanRecord;

constexpr uint32_t kKeyEventUp = 2;  // KEYEVENTF_KEYUP
constexpr uint8_t kVkShift = 16;
constexpr uint8_t kVkControl = 17;
constexpr uint8_t kVkMenu = 18;  // Alt
constexpr uint8_t kVkSpace = 32;

// What became of a scan the tray program did not claim, as reported to it ("KV_CC_DONE").
constexpr uint32_t kOutcomeTyped = 1;
constexpr uint32_t kOutcomeClaimed = 2;      // the foreground window took it
constexpr uint32_t kOutcomeFilteredOut = 3;  // no data left: offered to nobody, typed as is
constexpr char kOutcomeMessageName[] = "KV_CC_DONE";

// Offers the scan to the tray program, then to the foreground window, else beeps and types
// it. A scan the tray program did not claim is reported to it, before any key is typed.
void DeliverScan(HookContext& c, const ScanRecord& record);
// True when the window claimed the scan (deleted the data atom).
bool OfferScan(HookContext& c, void* window, const ScanRecord& record);
// Delivers a heap record and frees it.
void DeliveryThread(HookContext& c, ScanRecord* record);
// Types one character by the layout's keys, or as Unicode input where the keys would not
// give it exactly (NT); on 9x with Ctrl and Alt held as the layout asks.
void TypeChar(HookContext& c, char ch);
// Types up to the terminating zero, or at most maxLength characters; the hooks pass every
// key meanwhile (see HookSharedState::typing).
void TypeText(HookContext& c, const char* text, int maxLength = 0x7fffffff);
void ReplayPrefix(HookContext& c);
// Types the matched prefix and keyChars back, then resets the capture.
void GiveBackBurst(HookContext& c);

// Ends a burst that is not wand output: gives the swallowed keystrokes back (the matched
// prefix, then keyChars) and resets the capture. A burst that has begun (KV_CC_START
// signalled, the state no longer Idle) then signals KV_CC_STOP, to stop the watcher's clock;
// a prefix matched only in part started no clock, and stops none. The signal comes after the
// state is Idle again, as at every end of a burst (see RunTimeoutWatcher). The caller holds
// the step guard.
inline void AbandonBurst(HookContext& c) {
  const bool began = ReadState(c.state) != kIdle;
  if (SharedLoad(&c.state.keyBuffer.length) == 0 && ReadPrefixPosition(c.state) == 0) {
    ResetCapture(c.state);
  } else {
    GiveBackBurst(c);
  }
  if (began) c.platform.SignalStop();
}

}  // namespace pellix
