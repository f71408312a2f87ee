// The two recognizers of wand bursts, as pure state machines over the shared record. Their
// side effects (events, typing, delivery) go through the HookPlatform port.
#pragma once
#include <cstdint>

#include "hooklib/core/hook_platform.h"
#include "hooklib/core/interlocked.h"
#include "hooklib/core/shared_state.h"

namespace pellix {

// The wand's prefix as low-level keystroke descriptors: 0, virtual key, scan code, flags.
extern const uint32_t kWandPrefix[kPrefixLength];

constexpr uint32_t kLowLevelUp = 0x80;
constexpr uint32_t kLowLevelAltDown = 0x20;
constexpr uint32_t kLowLevelInjected = 0x10;
constexpr uint32_t kLowLevelExtended = 0x01;

constexpr uint32_t kWmNull = 0;
constexpr uint32_t kWmSysKeyDown = 260;

struct HookContext {
  HookSharedState& state;
  HookPlatform& platform;
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
// is given each key's extra information: the library's carry kOwnKeyMark. The keyboard hook
// is not (GetMessageExtraInfo there still tells of the message before): it knows them by the
// scan code 0 they are typed with, which no keyboard sends, or as Unicode input (VK_PACKET).
inline bool OwnKey(uintptr_t extraInfo) { return extraInfo == kOwnKeyMark; }
constexpr uint32_t kVkPacket = 0xE7;
inline bool OwnHookKey(uint32_t vk, uint32_t keyData) {
  return (keyData & 0x00FF0000u) == 0 || vk == kVkPacket;
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

// One message about to be retrieved (hook code 0); may change *message to WM_NULL. Only a
// message being removed counts: an application that peeks at a message first (PM_NOREMOVE)
// shows the hook the same Alt+F10 twice, and the second would end the burst the first began.
void MessageStep(HookContext& c, uint32_t* message, uint32_t wParam, uint32_t lParam,
                 bool removed);

// The end of the burst numbered `serial` that has not ended in time, on the low-level hook's
// own thread (where the watcher's request arrives): given back when it still runs, with its
// Enter press when that was swallowed already.
void EndStalledBurst(HookContext& c, int32_t serial);

// The same on the keyboard-hook path, by the watcher under the step lock. False when the
// step could not be had in time and that burst still runs: the caller tries again.
bool AbortTimedOutBurst(HookContext& c, int32_t serial);

// Decodes the captured scan characters (at most 500, whatever the record holds).
void DecodeCapture(const HookSharedState& s, ScanRecord* record);

}  // namespace pellix
