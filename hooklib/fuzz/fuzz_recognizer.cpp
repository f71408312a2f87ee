// Arbitrary keystroke sequences through both recognizers, the message hook, the watcher's
// abort and the delivery, over a platform that feeds every synthetic key straight back.
// Writes must stay inside the shared record; the state must stay a known one, and every burst
// must end in Idle with an empty buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/scan_record.h"
#include "hooklib/core/delivery.h"
#include "hooklib/core/recognizer.h"
#include "hooklib/core/shared_state.h"

namespace {

using namespace pellix;

class FuzzPlatform : public HookPlatform {
 public:
  HookContext* ctx = nullptr;
  bool lowLevel = true;
  int typed = 0;
  uint32_t MapVirtualKeyToChar(uint32_t vk) override { return vk & 0xff; }
  void SignalStart() override {}
  void SignalStop() override {}
  void KeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags) override {
    ++typed;
    // As Windows does: the library's own keys come back through its hook, with its mark.
    if (lowLevel)
      LowLevelStep(*ctx, vk, scan, kLowLevelInjected | (flags & 2 ? kLowLevelUp : 0), kOwnKeyMark);
    else
      KeyboardStep(*ctx, vk, static_cast<uint32_t>(scan) << 16 | (flags & 2 ? 3u << 30 : 0) | 1);
  }
  uint32_t ScanCodeOf(uint8_t vk) override { return vk & 0x7f; }
  bool CapsLockOn() override { return typed & 1; }
  uint16_t CharOfKey(uint8_t vk, bool shift, bool caps) override {
    return static_cast<uint16_t>(vk ^ ((shift != caps && vk >= 'A' && vk <= 'Z') ? 32 : 0));
  }
  uint32_t ModifiersHeld() override { return typed & 2 ? kRightShiftBit | kLeftAltBit : 0; }
  void SendTagged(uint32_t vk, uint32_t scan, uint32_t flags, uintptr_t extra) override {
    ++typed;
    if (lowLevel)
      LowLevelStep(*ctx, vk, scan, kLowLevelInjected | (flags & 2 ? kLowLevelUp : 0) | (flags & 1),
                   extra);
  }
  uint8_t KeyAtScanCode(uint32_t scan) override { return static_cast<uint8_t>(scan); }
  int16_t KeyForChar(char c) override { return c == 0x7f ? -1 : static_cast<int16_t>(c & 0x1ff); }
  bool IsNt() override { return true; }
  bool IsDeadKey(uint8_t) override { return false; }
  bool UnicodeChar(const char*, int) override { return true; }
  bool IsLeadByte(char c) override { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
  void Pause(uint32_t) override {}
  void ProgramInFront(char* name, int) override { name[0] = 0; }
  void Beep(uint32_t) override {}
  uint16_t MakeAtom(const char* name) override { return name[0] ? 0xC001 : 0; }
  bool AtomExists(uint16_t) override { return claim == 0; }
  void RemoveAtom(uint16_t) override {}
  void SendOffer(void*, uint32_t, uint32_t, uint32_t) override {}
  uintptr_t TellTray(void*, TrayNote&) override { return kTrayUnreachable; }
  void* ForegroundWindow() override { return this; }
  bool StartDelivery(Delivery* delivery) override {
    DeliveryThread(*ctx, delivery);  // the thread's work, at once
    return true;
  }
  // One thread: the step is free unless this thread is inside one (a re-entered hook).
  bool EnterStep(uint32_t) override { return !inStep++; }
  void LeaveStep() override { inStep = 0; }
  int inStep = 0;
  int claim = 0;
};

void Check(const HookSharedState& s) {
  if (s.recognizerState < 0 || s.recognizerState >= kStateCount) std::abort();
  if (s.prefixPosition < 0 || s.prefixPosition > kPrefixLength) std::abort();
  if (s.keyBuffer.length < 0 || s.keyBuffer.length > kKeyBufferSize) std::abort();
}

void CheckEnded(const HookSharedState& s) {
  if (s.recognizerState != kIdle || s.keyBuffer.length != 0 || s.prefixPosition != 0)
    std::abort();
}

// The watcher's timeout: on the hook's thread (low-level path) or under the step lock.
void TimeOut(HookContext& c, bool lowLevel) {
  HookSharedState& s = c.state;
  const bool running = BurstRunning(s, s.burstSerial);
  if (lowLevel) EndStalledBurst(c, s.burstSerial);
  else if (!AbortTimedOutBurst(c, s.burstSerial)) std::abort();  // one thread: always had
  if (running) CheckEnded(s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // The record on the heap, exactly sized, so that a write past it is caught.
  HookSharedState* s = new HookSharedState(InitialHookSharedState());
  FuzzPlatform platform;
  HookLocal local;
  HookContext c{*s, platform, local};
  platform.ctx = &c;
  size_t i = 0;
  if (size > 0) {
    platform.lowLevel = (bytes[0] & 1) != 0;
    platform.claim = (bytes[0] >> 1) & 1;
    s->messageId = (bytes[0] & 4) ? 0xC100 : 0;
    s->outputStyle = bytes[0] >> 3;  // may be out of range on purpose
    i = 1;
  }
  // A table from the input's raw bytes, as another process might have left it.
  if (size > i + 1 && (bytes[i] & 0x80)) {
    const size_t n = size - i - 1 < sizeof s->transforms ? size - i - 1 : sizeof s->transforms;
    std::memcpy(&s->transforms, bytes + i + 1, n);
    i += 1 + n / 8;
  }
  while (i + 3 <= size) {
    const uint8_t op = bytes[i], a = bytes[i + 1], b = bytes[i + 2];
    i += 3;
    switch (op & 7) {
      case 0:
      case 1:
      case 2:  // a low-level keystroke: virtual key, scan code, flags
        LowLevelStep(c, a, b, op & 0xb1, (op & 0x40) ? kOwnKeyMark : 0);
        break;
      case 3:
      case 4: {  // a keyboard-hook keystroke: virtual key, scan code, up and Alt bits
        const uint32_t keyData = uint32_t(b) << 16 | (op & 0x80 ? 3u << 30 : 0) |
                                 (op & 0x40 ? 1u << 29 : 0) | 1;
        KeyboardStep(c, a, keyData);
        break;
      }
      case 5: {  // a message about to be retrieved, with or without the library's mark
        uint32_t message = (op & 0x80) ? kWmSysKeyDown : 256;
        const uint32_t keyData = uint32_t(b) << 16 | (op & 0x40 ? 1u << 29 : 0) | 1;
        MessageStep(c, &message, a, keyData, (op & 0x20) != 0, (op & 0x10) ? kOwnKeyMark : 0);
        break;
      }
      case 6:  // the watcher times out
        TimeOut(c, platform.lowLevel);
        break;
      case 7:  // the abort path directly
        AbandonBurst(c);
        CheckEnded(*s);
        break;
    }
    Check(*s);
  }
  // Whatever was left open, the watcher ends it (a partial prefix has no timeout).
  TimeOut(c, platform.lowLevel);
  if (s->recognizerState != kIdle || s->keyBuffer.length != 0) std::abort();
  delete s;
  return 0;
}
