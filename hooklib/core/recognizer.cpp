#include "hooklib/core/recognizer.h"

#include <cstring>
#include <new>

#include "engine/scan_record.h"
#include "hooklib/core/delivery.h"
#include "hooklib/core/interlocked.h"
#include "hooklib/core/step_guard.h"

#if defined(_MSC_VER) && !defined(__clang__)
#define PELLIX_NOINLINE __declspec(noinline)
#else
#define PELLIX_NOINLINE __attribute__((noinline))
#endif

namespace pellix {

namespace {

constexpr uint32_t kVkEnter = 13;
constexpr uint32_t kVkShiftKey = 16;
constexpr uint32_t kVkCtrl = 17;
constexpr uint32_t kVkAlt = 18;
constexpr uint32_t kVkF10 = 121;
constexpr uint32_t kScanEnter = 28;
constexpr uint32_t kScanLeftShift = 42;
constexpr uint32_t kKeyDataReleased = 0x80000000u;
constexpr uint32_t kKeyDataAlt = 0x20000000u;
constexpr uint32_t kKeyDataExtended = 0x01000000u;

constexpr uint32_t Descriptor(uint32_t vk, uint32_t scan, uint32_t flags) {
  return (vk & 255) << 16 | (scan & 255) << 8 | (flags & 255);
}

inline void SetState(HookSharedState& s, int32_t v) { AtomicStore(&s.recognizerState, v); }

void BeginBurst(HookContext& c, int32_t state) {
  HookSharedState& s = c.state;
  AtomicAdd(&s.burstSerial, 1);
  SetState(s, state);
  c.platform.SignalStart();
}

// Keys the system hands the low-level hook while its own thread types (Wine runs the hook for
// a waiting key inside keybd_event): passed at once, they would land inside the give-back's
// text. They are held (HookLocal) and taken in order once the typing is over. Touched only
// on the hook's thread; a fixed array, as the hook must not allocate.
Verdict LowLevelDecide(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags);

// A key typed again with another program's tag, coming back: taken off the list.
bool TakeReplay(HookLocal& l, const KeyStroke& k) {
  for (int i = 0; i < l.replayCount; ++i) {
    const KeyStroke& r = l.replays[i];
    if (r.vk == k.vk && r.scanCode == k.scanCode && r.extraInfo == k.extraInfo &&
        ((r.flags ^ k.flags) & kLowLevelUp) == 0) {
      l.replays[i] = l.replays[--l.replayCount];
      return true;
    }
  }
  return false;
}

// A user's Shift, Ctrl or Alt that reaches the application, followed (ModifierStep); the
// wand's, swallowed with its burst, is not the user's.
void FollowUserKey(HookLocal& l, uint32_t scanCode, uint32_t flags) {
  if (const uint32_t bit = ModifierBit(scanCode, (flags & kLowLevelExtended) != 0))
    ModifierStep(l, bit, (flags & kLowLevelUp) != 0, false);
}

// A held key typed again from this thread: one another program injected goes with its own
// tag, and is known by the list when it comes back (Wine runs the hook for it at once).
void ReplayHeldKey(HookContext& c, const KeyStroke& k) {
  HookLocal& l = c.local;
  FollowUserKey(l, k.scanCode, k.flags);
  if ((k.flags & kLowLevelInjected) != 0 && l.replayCount < HookLocal::kReplays)
    l.replays[l.replayCount++] = k;
  ReplayKey(c, k);
}

// Each held key as if it came now (the wand's next burst among them is recognised), those
// that pass typed again; keys arriving meanwhile join the end. Ends the holding.
void TakeHeldKeys(HookContext& c) {
  HookLocal& l = c.local;
  for (int i = 0; i < l.heldCount; ++i) {
    const KeyStroke k = l.held[i];
    if (LowLevelDecide(c, k.vk, k.scanCode, k.flags) == Verdict::kPass) ReplayHeldKey(c, k);
  }
  l.heldCount = 0;
  l.replayCount = 0;  // those not back by now come later, when nothing is held: they pass
  l.holding = false;
}

// Final Enter released on the low-level path: decode here, deliver on this process's delivery
// thread (the offers may wait seconds), after the scans and give-backs before it. Without that
// thread the scan is typed from here, unoffered, rather than lost.
void EndLowLevelBurst(HookContext& c) {
  Delivery* d = new (std::nothrow) Delivery;
  if (d) DecodeCapture(c.state, &d->scan);
  if (d && d->scan.valid) {
    // The capture is reset before the stop is signalled, as at every end of a burst.
    ResetCapture(c.state);
    c.platform.SignalStop();
    AtomicAdd(&c.local.deliveriesPending, 1);
    if (!c.platform.StartDelivery(d)) {
      AtomicAdd(&c.local.deliveriesPending, -1);
      TypeUnoffered(c, d->scan);
      delete d;
    }
    return;
  }
  AbandonBurst(c, true);
  delete d;
}

// Gives the burst back (in order with this process's deliveries) and lets the key that broke
// it pass, or has it typed after the give-back where that waits for the deliveries before it.
Verdict GiveBackThenPass(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags) {
  const KeyStroke k{vk, scanCode, flags, 0};
  return AbandonBurst(c, true, &k) ? Verdict::kSwallow : Verdict::kPass;
}

Verdict LowLevelDecide(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags) {
  HookSharedState& s = c.state;
  const bool released = (flags & kLowLevelUp) != 0;
  switch (ReadState(s)) {
    case kIdle: {
      const int32_t p = ReadPrefixPosition(s);
      if (p < kPrefixLength && Descriptor(vk, scanCode, flags) == kWandPrefix[p]) {
        AtomicStore(&s.prefixPosition, p + 1);
        if (p + 1 == kPrefixLength) BeginBurst(c, kCapturing);
        return Verdict::kSwallow;
      }
      return GiveBackThenPass(c, vk, scanCode, flags);
    }
    case kCapturing: {
      if (scanCode == kScanEnter) {
        if (released) break;
        RecordKey(s.keyBuffer, c.platform, kVkEnter, kScanEnter, 0);
        SetState(s, kKeyHeld);
        return Verdict::kSwallow;
      }
      if (scanCode == kScanLeftShift) {
        RecordKey(s.keyBuffer, c.platform, vk, scanCode, released);
        return Verdict::kSwallow;
      }
      const bool extended = (flags & kLowLevelExtended) != 0;
      const bool accepted = s.keyBuffer.shiftDown ? IsWandShiftedKey(vk, scanCode, extended)
                                                  : IsWandKey(vk, scanCode, extended);
      if (!accepted) break;
      RecordKey(s.keyBuffer, c.platform, vk, scanCode, released);
      return Verdict::kSwallow;
    }
    case kKeyHeld: {
      if (scanCode == kScanEnter && released) {
        EndLowLevelBurst(c);
        return Verdict::kSwallow;
      }
      // Another key before the Enter's release: the Enter press, swallowed already, is given
      // back after the text and before this key (which, where the give-back waits for the
      // scans before it, passes now).
      const KeyStroke enter{kVkEnter, kScanEnter, 0, 0};
      if (!AbandonBurst(c, true, &enter)) ReplayKey(c, enter);
      return Verdict::kPass;
    }
    default:  // states of the other path
      return Verdict::kPass;
  }
  return GiveBackThenPass(c, vk, scanCode, flags);
}

// The keyboard hook's decision; *ended is set when the burst ended and `record` holds it.
Verdict KeyboardLocked(HookContext& c, uint32_t vk, uint32_t keyData, ScanRecord* record,
                       bool* ended) {
  HookSharedState& s = c.state;
  const int32_t state = ReadState(s);
  const bool released = (keyData & kKeyDataReleased) != 0;
  // The wand's key tests also judge by the physical key: bits 16..23 scan code, 24 extended.
  const uint32_t scan = (keyData >> 16) & 255;
  const bool extended = (keyData & kKeyDataExtended) != 0;
  const bool wandKey = IsWandKey(vk, scan, extended);
  const bool wandShiftedKey = IsWandShiftedKey(vk, scan, extended);
  if (state != kIdle && (vk == kVkCtrl || (vk == kVkAlt && state != kPrefixSeen))) {
    // Ctrl, or Alt after the prefix: the burst is dropped and the key reaches the application.
    ResetCapture(s);
    c.platform.SignalStop();
    return Verdict::kPass;
  }
  switch (state) {
    case kIdle:
      return Verdict::kPass;
    case kPrefixSeen:
      if (vk == kVkAlt && released) {
        SetState(s, kCapturing);
        return Verdict::kSwallow;
      }
      if (vk == kVkF10) return Verdict::kPass;
      break;
    case kCapturing:
      if (released) break;
      if (wandKey) {
        SetState(s, kKeyHeld);
        RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 0);
        return Verdict::kSwallow;
      }
      if (vk == kVkShiftKey) {
        RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 0);
        SetState(s, kShiftHeld);
        return Verdict::kSwallow;
      }
      break;
    case kShiftHeld:
      if (released || !wandShiftedKey) break;
      SetState(s, kShiftedKeyHeld);
      RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 0);
      return Verdict::kSwallow;
    case kKeyHeld:
      if (!released || !wandKey) break;
      if (vk == kVkEnter) {
        RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 1);
        DecodeCapture(s, record);
        ResetCapture(s);
        c.platform.SignalStop();
        *ended = true;
        return Verdict::kSwallow;
      }
      RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 1);
      SetState(s, kCapturing);
      return Verdict::kSwallow;
    case kShiftedKeyHeld:
      if (!released || !wandShiftedKey) break;
      RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 1);
      SetState(s, kShiftedKeyReleased);
      return Verdict::kSwallow;
    case kShiftedKeyReleased:
      if (!released || vk != kVkShiftKey) break;
      RecordHookKey(s.keyBuffer, c.platform, vk, keyData, 1);
      SetState(s, kCapturing);
      return Verdict::kSwallow;
  }
  // Out of the wand's rhythm: give the burst back; the offending key stays swallowed.
  AbandonBurst(c, true);  // after this process's deliveries still to go
  return Verdict::kSwallow;
}

}  // namespace

const uint32_t kWandPrefix[kPrefixLength] = {
    Descriptor(164, 56, kLowLevelAltDown),
    Descriptor(121, 68, kLowLevelAltDown),
    Descriptor(121, 68, kLowLevelUp | kLowLevelAltDown),
    Descriptor(164, 56, kLowLevelUp),
};

void DecodeCapture(const HookSharedState& s, ScanRecord* record) {
  // A private copy: the shared buffer may change (or hold garbage) while it is decoded.
  char text[kKeyBufferSize + 1];
  const size_t n = static_cast<size_t>(ClampLength(s.keyBuffer.length));
  const void* end = std::memchr(s.keyBuffer.scanChars, 0, n);
  const size_t len =
      end ? static_cast<size_t>(static_cast<const char*>(end) - s.keyBuffer.scanChars) : n;
  std::memcpy(text, s.keyBuffer.scanChars, len);
  text[len] = 0;
  // The profile's choices wait for the delivery, which knows the program in front.
  DecodeScan(text, nullptr, record);
}

namespace {

// Every keystroke but the two plain ones (see LowLevelStep): out of line, so that those two
// save no registers for it.
PELLIX_NOINLINE Verdict LowLevelSlow(HookContext& c, uint32_t vk, uint32_t scanCode,
                                     uint32_t flags, uintptr_t extraInfo) {
  HookLocal& l = c.local;
  const bool extended = (flags & kLowLevelExtended) != 0, up = (flags & kLowLevelUp) != 0;
  if (OwnKey(extraInfo)) return ModifierStep(l, ModifierBit(scanCode, extended), up, true);
  const KeyStroke k{vk, scanCode, flags, extraInfo};
  if (l.holding) {  // inside a typing of this thread: after it, in order
    if (l.replayCount != 0 && TakeReplay(l, k)) return Verdict::kPass;  // typed again as it came
    if (l.heldCount == kHeldKeys) {  // out of order rather than lost
      FollowUserKey(l, scanCode, flags);
      return Verdict::kPass;
    }
    l.held[l.heldCount++] = k;
    return Verdict::kSwallow;
  }
  l.holding = true;
  const Verdict verdict = LowLevelDecide(c, vk, scanCode, flags);
  l.holding = false;
  if (l.heldCount == 0) {
    if (verdict == Verdict::kPass) FollowUserKey(l, scanCode, flags);
    return verdict;
  }
  // Keys came while this step typed: this one goes first, typed again if it passes.
  l.holding = true;
  if (verdict == Verdict::kPass) ReplayHeldKey(c, k);
  TakeHeldKeys(c);
  return Verdict::kSwallow;
}

}  // namespace

Verdict LowLevelStep(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags,
                     uintptr_t extraInfo) {
  // The library's own typing (a scan, a give-back, from any thread) passes untouched; the
  // keyboard's keys meanwhile (the wand's next burst while a scan is typed) are recognised as
  // ever, so that no burst loses keys to a typing.
  if (extraInfo == kOwnKeyMark) return Verdict::kPass;
  // The two keystrokes nearly every key is, while nothing is held: with nothing begun and
  // not the prefix's first key, it passes without any call; inside a burst, a key of the
  // wand is recorded and swallowed (nothing is typed: no holding). A Shift, Ctrl or Alt goes
  // the other way, where it is followed. The fields are compared as they are: garbage goes
  // to the step, which clears it.
  const HookSharedState& s = c.state;
  if (!c.local.holding && extraInfo != kModifierMark &&
      (scanCode >= 64 || ((kModifierScans >> scanCode) & 1) == 0)) {
    const int32_t state = AtomicLoad(&s.recognizerState);
    if (state == kIdle) {
      if (AtomicLoad(&s.prefixPosition) == 0 && SharedLoad(&s.keyBuffer.length) == 0 &&
          Descriptor(vk, scanCode, flags) != kWandPrefix[0])
        return Verdict::kPass;
    } else if (state == kCapturing && scanCode != kScanEnter && scanCode != kScanLeftShift) {
      const bool extended = (flags & kLowLevelExtended) != 0;
      if (s.keyBuffer.shiftDown ? IsWandShiftedKey(vk, scanCode, extended)
                                : IsWandKey(vk, scanCode, extended)) {
        HookSharedState& w = c.state;
        RecordKey(w.keyBuffer, c.platform, vk, scanCode, (flags & kLowLevelUp) != 0);
        return Verdict::kSwallow;
      }
    }
  }
  return LowLevelSlow(c, vk, scanCode, flags, extraInfo);
}

namespace {

// A key of the keyboard, not the library's: recognised.
Verdict KeyboardKey(HookContext& c, uint32_t vk, uint32_t keyData) {
  const bool extended = (keyData & kKeyDataExtended) != 0;
  const bool up = (keyData & kKeyDataReleased) != 0;
  // Every Shift, Ctrl and Alt press and release is followed here, as the keyboard has them:
  // a scan is typed from this thread at the end of its burst, with the wand's Shift up.
  if (vk - 16u < 3u) ModifierStep(c.local, ModifierBit((keyData >> 16) & 255, extended), up, false);
  if (ReadState(c.state) == kIdle) return Verdict::kPass;
  ScanRecord record;
  bool ended = false;
  {
    StepGuard guard(c.platform, kHookStepWaitMs);
    if (!guard.held()) return Verdict::kPass;
    const Verdict verdict = KeyboardLocked(c, vk, keyData, &record, &ended);
    if (!ended) return verdict;
  }
  // Delivered once the step is over, with the capture already reset, so that nothing arriving
  // meanwhile (another process's hook, the watcher) can give the scan back as well.
  DeliverInOrder(c, record, true);
  return Verdict::kSwallow;
}

// The message of the key the keyboard hook last took for the library's by the list: with
// no mark on it where the system tells the mark, the keyboard's key that matched an entry
// of ours on its way. The entries go back, and the key is recognised in its place:
// the key of ours still to come finds its entry, and the wand's next burst keeps its key.
void OwnCheckStep(HookContext& c, uint32_t* message, uint32_t wParam, uint32_t lParam,
                  uintptr_t extraInfo) {
  HookLocal& l = c.local;
  if (!l.checking || (*message & ~5u) != 256 || wParam != l.ownCheck.vk ||
      lParam != l.ownCheck.keyData)
    return;
  l.checking = false;
  if (OwnKey(extraInfo) || (!l.markTold && !c.platform.IsNt())) {
    l.markTold = l.markTold || OwnKey(extraInfo);
    return;
  }
  l.markTold = true;
  HookSharedState& s = c.state;
  if (AtomicLoad(&s.ownKeysTaken) == l.ownCheck.takenAfter)
    AtomicStore(&s.ownKeysTaken, l.ownCheck.takenBefore);
  if (KeyboardKey(c, wParam, lParam) == Verdict::kSwallow) *message = kWmNull;
}

}  // namespace

Verdict KeyboardStep(HookContext& c, uint32_t vk, uint32_t keyData) {
  // The library's typing, and every key while no burst runs, pass without a step: Idle
  // passes every key (the Ctrl and Alt rule holds inside a burst only).
  int32_t before = 0;
  const uint32_t own = OwnHookKey(c.state, vk, keyData, &before);
  HookLocal& l = c.local;
  l.checking = own > 1;  // a key on the list (1: Unicode input, the library's alone)
  if (own == 0) return KeyboardKey(c, vk, keyData);
  if (l.checking) l.ownCheck = {vk, keyData, before, AtomicLoad(&c.state.ownKeysTaken)};
  if ((own & kOwnModifierKey) == 0) return Verdict::kPass;
  return ModifierStep(l, ModifierBit((keyData >> 16) & 255, (keyData & kKeyDataExtended) != 0),
                      (keyData & kKeyDataReleased) != 0, true);
}

void MessageStep(HookContext& c, uint32_t* message, uint32_t wParam, uint32_t lParam,
                 bool removed, uintptr_t extraInfo) {
  if (!removed) return;
  OwnCheckStep(c, message, wParam, lParam, extraInfo);
  // The library's own system keys (a give-back's prefix, a keys-only AltGr chord) are no
  // wand's and no user's: they neither begin a burst nor end one.
  if (*message != kWmSysKeyDown || OwnKey(extraInfo)) return;
  HookSharedState& s = c.state;
  const bool altF10 = wParam == kVkF10 && (lParam & kKeyDataAlt) != 0;
  // Outside a burst only Alt+F10 matters: every other system key passes without a step.
  if (!altF10 && ReadState(s) == kIdle) return;
  StepGuard guard(c.platform, kHookStepWaitMs);
  if (!guard.held()) return;
  if (ReadState(s) != kIdle) {
    *message = kWmNull;
    AbandonBurst(c, true);
  } else if (altF10) {
    *message = kWmNull;
    BeginBurst(c, kPrefixSeen);
  }
}

namespace {

// A burst given back on the low-level hook's thread, apart from a keystroke: keys that come
// meanwhile are held and taken after it.
void EndBurstOnHookThread(HookContext& c) {
  // Its Enter pressed and swallowed, the release still to come (it passes): the press is
  // given back after the text, or the application would get a release alone.
  const bool enterHeld = ReadState(c.state) == kKeyHeld;
  c.local.holding = true;
  const KeyStroke enter{kVkEnter, kScanEnter, 0, 0};
  if (!AbandonBurst(c, true, enterHeld ? &enter : nullptr) && enterHeld) ReplayKey(c, enter);
  TakeHeldKeys(c);
}

}  // namespace

void EndStalledBurst(HookContext& c, int32_t serial) {
  if (BurstRunning(c.state, serial)) EndBurstOnHookThread(c);
}

void GiveBackCapture(HookContext& c, bool lowLevel) {
  const HookSharedState& s = c.state;
  if (ReadState(s) == kIdle && ReadPrefixPosition(s) == 0 && SharedLoad(&s.keyBuffer.length) == 0)
    return;
  if (lowLevel) {
    EndBurstOnHookThread(c);
    return;
  }
  StepGuard guard(c.platform, kWatcherStepWaitMs);
  AbandonBurst(c);
}

bool AbortTimedOutBurst(HookContext& c, int32_t serial) {
  StepGuard guard(c.platform, kWatcherStepWaitMs);
  if (!guard.held()) return !BurstRunning(c.state, serial);
  // The held key's press is in keyChars on this path: given back with the rest.
  if (BurstRunning(c.state, serial)) AbandonBurst(c, true);
  return true;
}

}  // namespace pellix
