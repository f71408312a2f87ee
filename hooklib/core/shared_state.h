// The hook library's one record shared by every process that maps the library.
#pragma once
#include <cstdint>

#include "engine/transform_table.h"
#include "hooklib/core/app_rules.h"
#include "hooklib/core/interlocked.h"
#include "hooklib/core/key_buffer.h"

namespace pellix {

// Recognizer states, shared by both hook paths.
enum RecognizerState : int32_t {
  kIdle = 0,
  kPrefixSeen = 1,
  kCapturing = 2,
  kShiftHeld = 3,
  kKeyHeld = 4,
  kShiftedKeyHeld = 5,
  kShiftedKeyReleased = 6,
};
constexpr int32_t kStateCount = 7;
constexpr int32_t kPrefixLength = 4;
// The library's keys on their way, a power of two: a burst given back whole (its prefix and
// up to four keys per character) or the longest scan typed at once stays on the list until
// the application takes it, whatever comes between.
constexpr int32_t kOwnKeyRing = 2048;
static_assert(kOwnKeyRing >= kPrefixLength + 4 * kKeyBufferSize, "a whole give-back fits");

constexpr uint32_t kDefaultTimeoutMs = 1250;
constexpr uint32_t kMinTimeoutMs = 500;
constexpr uint32_t kMaxTimeoutMs = 2000;

// Handles are pointers, so each flavour has one layout of its own: the 32-bit library's
// field for field in the x86 build, pointer-wide handles in the x64 build. The two never meet:
// a 32-bit and a 64-bit library are two images, each with its own shared section.
struct HookSharedState {
  void* primaryHook;
  void* messageHook;
  int32_t recognizerState;
  int32_t prefixPosition;
  KeyBuffer keyBuffer;
  void* startEvent;  // as created by the installing process: valid there only
  void* stopEvent;
  void* termEvent;
  uint32_t messageId;
  char terminator;
  char separator;
  uint8_t beepOn;
  uint32_t beepType;
  uint32_t timeoutMs;
  uint32_t outputStyle;
  void* targetWindow;
  TransformTable transforms;
  // Which process installed the hooks: a handle left by a process that has died is absent.
  uint32_t installerProcessId;
  // Counts bursts begun, so that the timeout watcher abandons only the burst it timed.
  int32_t burstSerial;
  // The keys the library has typed, from any process, for the keyboard hook to know them
  // (OwnHookKey): counted as noted and as taken, the last kOwnKeyRing kept.
  int32_t ownKeysNoted;
  int32_t ownKeysTaken;
  uint32_t ownKeys[kOwnKeyRing];
  // Typing per program (Pellix_SetApplications); all zero types every program alike.
  AppRules apps;
};

static_assert(sizeof(void*) != 4 || sizeof(HookSharedState) == 18984, "x86 record layout");
static_assert(sizeof(void*) != 8 || sizeof(HookSharedState) == 19016, "x64 record layout");

// The image's initial values: everything zero but the output settings and the timeout.
constexpr HookSharedState InitialHookSharedState() {
  return HookSharedState{nullptr, nullptr, 0, 0, {}, nullptr, nullptr, nullptr, 0, '\n', '.',
                         1, 0, kDefaultTimeoutMs, 0, nullptr, {}, 0, 0, 0, 0, {}, {}};
}

// Shared fields as they may be used, each read atomically: anything outside its range reads
// as the nearest sound value (another process may have written anything into the record).
inline int32_t ReadState(const HookSharedState& s) {
  const int32_t v = AtomicLoad(&s.recognizerState);
  return (v < 0 || v >= kStateCount) ? kIdle : v;
}
// KV_CC_MSG as the record holds it: only a registered message number (0xC000 to 0xFFFF) is
// sent; anything else (WM_CLOSE, say) reads as no message, and scans are typed.
inline uint32_t ReadMessageId(const HookSharedState& s) {
  const uint32_t v = SharedLoad(&s.messageId);
  return (v >= 0xC000 && v <= 0xFFFF) ? v : 0;
}
inline int32_t ReadPrefixPosition(const HookSharedState& s) {
  const int32_t v = AtomicLoad(&s.prefixPosition);
  return v < 0 ? 0 : (v > kPrefixLength ? kPrefixLength : v);
}

// Output settings and timeout, as the exports give them.
int SetOutputType(HookSharedState& s, char terminator, char separator, uint32_t outputStyle,
                  int beepOn, uint32_t beepType);
int GetOutputType(const HookSharedState& s, char* terminator, char* separator, int* outputStyle,
                  int* beepOn, int* beepType);
uint32_t SetTimeOut(HookSharedState& s, uint32_t milliseconds);
uint32_t GetTimeOut(const HookSharedState& s);
// The whole per-program table, as the tray program built it; 0 for none.
int SetApplications(HookSharedState& s, const AppRules* rules);
// The timeout to wait for, in range whatever the record holds.
uint32_t ReadTimeOut(const HookSharedState& s);

struct OutputSettings;
// A checked copy of the output settings for one delivery.
OutputSettings ReadOutputSettings(const HookSharedState& s);

}  // namespace pellix
