// The two recognizers of wand bursts, as pure state machines over the shared record. Their
// side effects (events, typing, delivery) go through the HookPlatform port.
#pragma once
#include <cstdint>

#include "hooklib/core/hook_platform.h"
#include "hooklib/core/interlocked.h"
#include "hooklib/core/shared_state.h"

namespace pellix {

struct ScanRecord;

// The wand's prefix as low-level keystroke descriptors: 0, virtual key, scan code, flags.
extern const uint32_t kWandPrefix[kPrefixLength];

constexpr uint32_t kLowLevelUp = 0x80;
constexpr uint32_t kLowLevelAltDown = 0x20;
constexpr uint32_t kLowLevelInjected = 0x10;
constexpr uint32_t kLowLevelExtended = 0x01;

constexpr uint32_t kWmNull = 0;
constexpr uint32_t kWmSysKeyDown = 260;

// A keystroke as the low-level hook got it: virtual key, scan code (a VK_PACKET's is its
// 16-bit character), low-level flags and extra information (another program's tag).
struct KeyStroke {
  uint32_t vk, scanCode, flags;
  uintptr_t extraInfo;
};

// What one process's hook thread and deliveries own, apart from the shared record: the
// keys held while the hook's thread types, the scans counted, the deliveries not yet done.
// Per process (the library's ordinary data), never shared.
constexpr int kHeldKeys = 128;
struct HookLocal {
  KeyStroke held[kHeldKeys];
  int heldCount = 0;
  bool holding = false;  // while the hook's thread types: keys are held, taken in order after
  // The Shift, Ctrl and Alt keys the user holds (k*Bit), as the hook meets the keys in the
  // order they come (ModifierStep). Written on the hook's thread; a scan's typing reads it.
  uint32_t userModifiers = 0;
  int32_t bursts = 0;             // scans of this process: the tray program joins notes by it
  int32_t deliveriesPending = 0;  // started and not yet done; the delivery thread counts down
  // Keys another program injected that the hook held, typed again with their own tag: known
  // by their list when they come back (the low-level hook's thread only).
  static constexpr int kReplays = 16;
  KeyStroke replays[kReplays];
  int replayCount = 0;
  // The key the keyboard hook last passed as the library's by the list alone (the wand's
  // keys can match it), checked by the message hook against the message's mark.
  struct {
    uint32_t vk, keyData;
    int32_t takenBefore, takenAfter;  // the list as it was, and as the match left it
  } ownCheck{};
  bool checking = false;
  // The message hook is told the mark: on NT; on 9x once it has shown it on a key of ours.
  bool markTold = false;
};

struct HookContext {
  HookSharedState& state;
  HookPlatform& platform;
  HookLocal& local;
  // How a scan's delivery types for the program in front (its row of the applications
  // table). Everything else the library types (give-backs) keeps these: no pause, Unicode
  // input where no key gives a character.
  uint32_t paceMs = 0;
  bool keysOnly = false;
  int keysSent = 0;      // by this context: the pause goes between keys
  bool paused = false;   // the pause before the next key is over already (PauseAhead)
  bool refused = false;  // the system refused this context's Unicode input: typing stopped
  // A scan's typing: the Shift, Ctrl and Alt keys it has let go of the user's, pressed again
  // after it; checked before every character, as the user may press one meanwhile.
  bool keepsModifiersUp = false;
  uint32_t released = 0;
};

enum class Verdict { kPass, kSwallow };

inline int32_t ReadBurstSerial(const HookSharedState& s) { return AtomicLoad(&s.burstSerial); }

// Whether the burst that began as `serial` is still being captured. The state is read first:
// a burst that ends and is followed by another between the two reads reads as over.
inline bool BurstRunning(const HookSharedState& s, int32_t serial) {
  return ReadState(s) != kIdle && ReadBurstSerial(s) == serial;
}

// Empties the buffer and returns to Idle with no prefix matched.
inline void ResetCapture(HookSharedState& s) {
  SharedStore(&s.keyBuffer.length, 0);
  s.keyBuffer.keyChars[0] = 0;
  s.keyBuffer.scanChars[0] = 0;
  s.keyBuffer.shiftDown = 0;
  AtomicStore(&s.prefixPosition, 0);
  AtomicStore(&s.recognizerState, kIdle);
}

// The library's own keys, whoever typed them, pass every hook untouched. The low-level hook
// is given each key's extra information: the library's carry kOwnKeyMark, or kModifierMark
// for the user's modifiers released and pressed again around a scan (one compare for both).
inline bool OwnKey(uintptr_t extraInfo) { return (extraInfo | 1u) == kOwnKeyMark; }
constexpr uint32_t kVkPacket = 0xE7;

// Which sided Shift, Ctrl or Alt a key is, by its scan code and extended flag (the keyboard
// hook is given the generic virtual key); 0 for any other key.
inline uint32_t ModifierBit(uint32_t scanCode, bool extended) {
  switch (scanCode) {
    case 42: return extended ? 0 : kLeftShiftBit;
    case 54: return kRightShiftBit;
    case 29: return extended ? kRightCtrlBit : kLeftCtrlBit;
    case 56: return extended ? kRightAltBit : kLeftAltBit;
    default: return 0;
  }
}
// The scan codes of Shift, Ctrl and Alt (29, 42, 54, 56): such a key leaves the plain path.
constexpr uint64_t kModifierScans = (1ull << 29) | (1ull << 42) | (1ull << 54) | (1ull << 56);
// A Shift, Ctrl or Alt key as a hook meets it, in the order the keys come: the user's own
// presses and releases are followed; a scan's typing releases what the application has down
// and presses it again after (kModifierMark), and that press passes only when the user still
// holds the key: nothing is left down that the user let go meanwhile (nor the wand's prefix
// Alt, whose release the keyboard hook swallows).
inline Verdict ModifierStep(HookLocal& l, uint32_t bit, bool up, bool own) {
  if (own) return up || (l.userModifiers & bit) != 0 ? Verdict::kPass : Verdict::kSwallow;
  l.userModifiers = up ? l.userModifiers & ~bit : l.userModifiers | bit;
  return Verdict::kPass;
}

// The keyboard hook is not given it: GetMessageExtraInfo there tells of the message before
// under Wine (Wine sets it once the hooks have run). Its own keys carry their real scan codes,
// as a keyboard's do, so it knows them by the record's list of keys on their way
// (NoteOwnKey): a key that matches one of them is taken off the list and passes. Unicode
// input (VK_PACKET) is the library's too.
// The sided Shift, Ctrl and Alt keys (160..165) reach that hook as the generic ones (16..18).
constexpr uint32_t kOwnModifierKey = 1u << 18;  // a key of kModifierMark, on the list
inline uint32_t OwnKeyCode(uint32_t vk, uint32_t scanCode, bool up) {
  vk &= 255;
  if (vk - 160u < 6u) vk = 16 + ((vk - 160u) >> 1);
  return vk | (scanCode & 255) << 8 | (up ? 1u << 16 : 0) | 1u << 17;
}
inline void NoteOwnKey(HookSharedState& s, uint32_t vk, uint32_t scanCode, bool up,
                       bool modifier = false) {
  const int32_t n = AtomicAdd(&s.ownKeysNoted, 1) - 1;
  SharedStore(&s.ownKeys[n & (kOwnKeyRing - 1)],
              OwnKeyCode(vk, scanCode, up) | (modifier ? kOwnModifierKey : 0));
}
// Constant work: nothing on the way is two loads; else at most kOwnKeyRing compares. Nonzero
// (the list's entry, kOwnModifierKey set for a modifier around a scan) when the key is own;
// `takenBefore`, when given, is the list's count taken before the match.
inline uint32_t OwnHookKey(HookSharedState& s, uint32_t vk, uint32_t keyData,
                           int32_t* takenBefore = nullptr) {
  if (vk == kVkPacket) return 1;
  const int32_t noted = AtomicLoad(&s.ownKeysNoted);
  int32_t taken = AtomicLoad(&s.ownKeysTaken);
  if (taken == noted) return false;
  if (takenBefore) *takenBefore = taken;
  // Older entries were written over; garbage reads as the last full ring.
  if (static_cast<uint32_t>(noted - taken) > static_cast<uint32_t>(kOwnKeyRing))
    taken = noted - kOwnKeyRing;
  const uint32_t code = OwnKeyCode(vk, keyData >> 16, (keyData & 0x80000000u) != 0);
  // A Shift, Ctrl or Alt is own only as the very next key on the list: the user's release of
  // a Shift during a scan's typing is the same key as the releases of the scan's capitals.
  const int32_t last = vk - 16u < 3u && taken != noted ? taken + 1 : noted;
  for (int32_t i = taken; i != last; ++i) {
    // Keys arrive in the order typed: one not seen before this one went elsewhere.
    const uint32_t entry = SharedLoad(&s.ownKeys[i & (kOwnKeyRing - 1)]);
    if ((entry & ~kOwnModifierKey) == code) {
      AtomicStore(&s.ownKeysTaken, i + 1);
      return entry;
    }
  }
  return 0;
}

// One keystroke of the low-level hook (hook code 0): virtual key, scan code, flags and the
// extra information. Every step of this path, its give-backs and its timeouts, runs on the
// one thread that installed the hook: nothing here waits or locks.
Verdict LowLevelStep(HookContext& c, uint32_t vk, uint32_t scanCode, uint32_t flags,
                     uintptr_t extraInfo);

// One keystroke of the keyboard hook (hook code 0): virtual key and 32-bit key data (scan
// code in bits 16..23, bit 29 Alt held, bit 31 released). A burst that ends here is decoded
// and delivered before the call returns. Its steps run in every application and take the
// step lock.
Verdict KeyboardStep(HookContext& c, uint32_t vk, uint32_t keyData);

// One message about to be retrieved (hook code 0), with its extra information
// (GetMessageExtraInfo: there it is the message's own); may change *message to WM_NULL. Only
// a message being removed counts: an application that peeks at a message first (PM_NOREMOVE)
// shows the hook the same Alt+F10 twice, and the second would end the burst the first began.
// A key the keyboard hook took for the library's that lacks the mark was the keyboard's: its
// entry goes back on the list and the key to the recognizer, as if just hooked.
void MessageStep(HookContext& c, uint32_t* message, uint32_t wParam, uint32_t lParam,
                 bool removed, uintptr_t extraInfo);

// The end of the burst numbered `serial` that has not ended in time, on the low-level hook's
// own thread (where the watcher's request arrives): given back when it still runs, with its
// Enter press when that was swallowed already.
void EndStalledBurst(HookContext& c, int32_t serial);

// The same on the keyboard-hook path, by the watcher under the step lock. False when the
// step could not be had in time and that burst still runs: the caller tries again.
bool AbortTimedOutBurst(HookContext& c, int32_t serial);

// A capture in progress (or a prefix matched in part) that the hooks' removal or installation
// meets: given back, its keys passing whatever hooks are there. The tray program's hook watch
// reinstalls the hooks when they were slow, likely mid-burst; a host that ended mid-burst left
// its capture for the next installation. On the low-level path (`lowLevel`: on the hook's
// thread) as a stalled burst is ended, its swallowed Enter press included; else under the step
// lock where it can be had in time.
void GiveBackCapture(HookContext& c, bool lowLevel);

// Decodes the captured scan characters (at most 500, whatever the record holds), with the
// fixed fix-ups; the profile's choices are the delivery's (DeliverScan).
void DecodeCapture(const HookSharedState& s, ScanRecord* record);

}  // namespace pellix
