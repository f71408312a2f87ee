// A platform that does nothing, for measuring the recognizer's own work.
#pragma once
#include "hooklib/core/hook_platform.h"

namespace pellix {

class NullPlatform : public HookPlatform {
 public:
  uint32_t MapVirtualKeyToChar(uint32_t vk) override { return vk; }
  void SignalStart() override {}
  void SignalStop() override {}
  void KeybdEvent(uint8_t, uint8_t, uint32_t) override {}
  uint32_t ScanCodeOf(uint8_t) override { return 0; }
  bool CapsLockOn() override { return false; }
  uint16_t CharOfKey(uint8_t vk, bool, bool) override { return vk; }
  uint32_t ModifiersHeld() override { return 0; }
  void SendTagged(uint32_t, uint32_t, uint32_t, uintptr_t) override {}
  uint8_t KeyAtScanCode(uint32_t) override { return 0; }
  int16_t KeyForChar(char c) override { return static_cast<int16_t>(c); }
  bool IsNt() override { return true; }
  bool IsDeadKey(uint8_t) override { return false; }
  bool UnicodeChar(const char*, int) override { return true; }
  bool IsLeadByte(char) override { return false; }
  void Pause(uint32_t) override {}
  void ProgramInFront(char* name, int) override { name[0] = 0; }
  void Beep(uint32_t) override {}
  uint16_t MakeAtom(const char*) override { return 0; }
  bool AtomExists(uint16_t) override { return false; }
  void RemoveAtom(uint16_t) override {}
  void SendOffer(void*, uint32_t, uint32_t, uint32_t) override {}
  uintptr_t TellTray(void*, TrayNote&) override { return kTrayUnreachable; }
  void* ForegroundWindow() override { return nullptr; }
  bool StartDelivery(Delivery*) override { return false; }
  bool EnterStep(uint32_t) override { return true; }
  void LeaveStep() override {}
};

}  // namespace pellix
