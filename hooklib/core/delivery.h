// Delivery of a decoded scan (offer to the tray program, else beep and type) and the typing
// of keystrokes, including the give-back of an abandoned burst.
#pragma once
#include <cstdint>

#include "hooklib/core/recognizer.h"

namespace pellix {

struct ScanRecord;

constexpr uint32_t kKeyEventUp = 2;  // KEYEVENTF_KEYUP
constexpr uint8_t kVkShift = 16;

void DeliverScan(HookContext& c, const ScanRecord& record);
// True when the window claimed the scan (deleted the data atom).
bool OfferScan(HookContext& c, void* window, const ScanRecord& record);
// Delivers a heap record and frees it.
void DeliveryThread(HookContext& c, ScanRecord* record);
void TypeChar(HookContext& c, char ch);
// Types up to the terminating zero, or at most maxLength characters, in state Injecting.
void TypeText(HookContext& c, const char* text, int maxLength = 0x7fffffff);
void ReplayPrefix(HookContext& c);
// Types the matched prefix and keyChars back, then resets the capture.
void GiveBackBurst(HookContext& c);

// Ends a burst that is not wand output: signals KV_CC_STOP, gives the swallowed keystrokes
// back (the matched prefix, then keyChars) and resets the capture. The caller holds the step
// guard. Inline because every ordinary keystroke of the low-level path comes here, with
// nothing to give back.
inline void AbandonBurst(HookContext& c) {
  c.platform.SignalStop();
  if (c.state.keyBuffer.length == 0 && c.state.prefixPosition == 0) {
    ResetCapture(c.state);
    return;
  }
  GiveBackBurst(c);
}

}  // namespace pellix
