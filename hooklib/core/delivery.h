// Delivery of a decoded scan (offer to the tray program, else beep and type) and the typing
// of keystrokes, including the give-back of an abandoned burst.
#pragma once
#include <cstdint>

#include "engine/scan_record.h"
#include "hooklib/core/recognizer.h"

namespace pellix {

constexpr uint32_t kKeyEventUp = 2;  // KEYEVENTF_KEYUP
constexpr uint32_t kKeyEventExtended = 1;  // KEYEVENTF_EXTENDEDKEY
constexpr uint8_t kVkShift = 16;
constexpr uint8_t kVkControl = 17;
constexpr uint8_t kVkMenu = 18;  // Alt
constexpr uint8_t kVkSpace = 32;
constexpr uint8_t kVkCapital = 20;  // Caps Lock

// What became of a scan the tray program did not claim, as told to it (kNoteOutcome).
constexpr uint32_t kOutcomeTyped = 1;
constexpr uint32_t kOutcomeClaimed = 2;      // the foreground window took it
constexpr uint32_t kOutcomeFilteredOut = 3;  // no data left: offered to nobody else, typed as is
constexpr uint32_t kOutcomeTypedWithoutControls = 4;  // typed, its control bytes left out
// Told after the typing, for a scan told as typed: the system refused its keys (a program
// of higher rights in front), and the typing stopped.
constexpr uint32_t kOutcomeRefused = 5;

// One piece of a process's output, taken one after another in the order the bursts ended:
// a scan (valid) to offer, else beep and type; or a burst given back: the first `prefix`
// prefix keys, the text, the wand's Shift pressed again, then the key that broke the burst.
struct Delivery {
  ScanRecord scan;
  int prefix;
  bool shift;
  bool hasAfter;
  KeyStroke after;
  char text[kKeyBufferSize + 1];      // keyChars
  char wandText[kKeyBufferSize + 1];  // scanChars: the keys of kShiftedKeyMark
};

// Takes a decoded scan (fixed fix-ups applied, DecodeCapture) for the program in front: the
// fix-ups and filter of that program's profile, its pace and method of typing. Offers the
// scan to the tray program (its own note, or KV_CC_MSG for a window that does not answer the
// note), then to the foreground window unless that is the tray program's, else beeps and
// types it. What became of a scan the tray program left is told to it before any key is
// typed.
void DeliverScan(HookContext& c, const ScanRecord& decoded);
// Hands a decoded scan to this process's delivery thread, after the deliveries before it;
// without that thread, delivers it here when the caller may wait on windows (the keyboard
// hook), else types it unoffered. The keyboard hook delivers here at once unless the program
// has its keys paced or deliveries are still to go.
void DeliverInOrder(HookContext& c, const ScanRecord& decoded, bool mayWait);
// True when the window claimed the scan (deleted the data atom). Data the atom table would
// read as a number ("#" and digits: an integer atom, which no receiver can delete, or none at
// all) is offered to no window this way: the scan is typed.
bool OfferScan(HookContext& c, void* window, const ScanRecord& record);
// Delivers or gives back a heap delivery and frees it; the delivery thread's one task.
void DeliveryThread(HookContext& c, Delivery* delivery);
// Beeps and types a decoded scan, with the current profile, without offering it or telling
// the tray program (no delivery thread could be had, and the hook's thread may wait on no
// window): typed rather than lost.
void TypeUnoffered(HookContext& c, const ScanRecord& decoded);
// Every key the library types: noted for the keyboard hook (NoteOwnKey), then keybd_event
// with kOwnKeyMark, which the low-level hook reads.
void SendKey(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags);
// A keystroke the low-level hook held or swallowed, typed again as it came.
void ReplayKey(HookContext& c, const KeyStroke& k);
// A key as a keyboard sends it: its scan code on the layout, extended where the key is.
void PressKey(HookContext& c, uint8_t vk, bool up);
// Types one character by the layout's keys, or as Unicode input where the keys would not
// give it exactly (NT, unless the context types keys only); else with Ctrl and Alt held as
// the layout asks. With `capsLock` (a scan's text while the lock is on) each key the lock
// changes goes with the other Shift.
void TypeChar(HookContext& c, char ch, bool capsLock = false);
// Types up to the terminating zero, or at most maxLength bytes; a two-byte character of the
// code page goes whole, as Unicode input. Stops once the system refuses input.
void TypeText(HookContext& c, const char* text, int maxLength = 0x7fffffff,
              bool capsLock = false);
// Types the first `count` keystrokes of the wand's prefix again.
void ReplayPrefix(HookContext& c, int count);
// Resets the capture, then types what it held back: the matched prefix and keyChars. With
// `inOrder` and scans of this process still to be delivered,
// the give-back goes after them, through the delivery thread, and `after` (the key that broke
// the burst) with it: true then, and the caller swallows that key.
bool GiveBackBurst(HookContext& c, bool inOrder = false, const KeyStroke* after = nullptr);

// Ends a burst that is not wand output: gives the swallowed keystrokes back (the matched
// prefix, then keyChars) and resets the capture. A burst that has begun (KV_CC_START
// signalled, the state no longer Idle) then signals KV_CC_STOP, to stop the watcher's clock;
// a prefix matched only in part started no clock, and stops none. The signal comes after the
// state is Idle again, as at every end of a burst (see RunTimeoutWatcher). The caller holds
// the step guard on the keyboard-hook path, or runs on the low-level hook's thread; with
// `inOrder` the give-back keeps its place after the deliveries (see GiveBackBurst). True when
// `after` went with the give-back.
inline bool AbandonBurst(HookContext& c, bool inOrder = false,
                         const KeyStroke* after = nullptr) {
  const bool began = ReadState(c.state) != kIdle;
  bool took = false;
  if (SharedLoad(&c.state.keyBuffer.length) == 0 && ReadPrefixPosition(c.state) == 0) {
    ResetCapture(c.state);
  } else {
    took = GiveBackBurst(c, inOrder, after);
  }
  if (began) c.platform.SignalStop();
  return took;
}

}  // namespace pellix
