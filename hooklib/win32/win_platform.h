// The hook library's port onto the real system calls.
#pragma once
#include <windows.h>

#include "hooklib/core/hook_platform.h"
#include "hooklib/core/watcher.h"

namespace pellix::win32 {

class WinPlatform : public HookPlatform {
 public:
  uint32_t MapVirtualKeyToChar(uint32_t vk) override;
  void SignalStart() override;
  void SignalStop() override;
  void KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) override;
  uint32_t ScanCodeOf(uint8_t vk) override;
  bool CapsLockOn() override;
  uint16_t CharOfKey(uint8_t vk, bool shift, bool capsLock) override;
  uint32_t ModifiersHeld() override;
  void SendTagged(uint32_t vk, uint32_t scanCode, uint32_t flags, uintptr_t extraInfo) override;
  uint8_t KeyAtScanCode(uint32_t scanCode) override;
  int16_t KeyForChar(char c) override;
  bool IsNt() override;
  bool IsDeadKey(uint8_t vk) override;
  bool UnicodeChar(const char* bytes, int length) override;
  bool IsLeadByte(char c) override;
  void Pause(uint32_t milliseconds) override;
  void ProgramInFront(char* name, int size) override;
  void Beep(uint32_t beepType) override;
  uint16_t MakeAtom(const char* name) override;
  bool AtomExists(uint16_t atom) override;
  void RemoveAtom(uint16_t atom) override;
  void SendOffer(void* window, uint32_t message, uint32_t wParam, uint32_t lParam) override;
  uintptr_t TellTray(void* window, TrayNote& note) override;
  void* ForegroundWindow() override;
  bool StartDelivery(Delivery* delivery) override;
  bool EnterStep(uint32_t maxWaitMs) override;
  void LeaveStep() override;
};

// The step lock of every process: the named mutex "KV_CC_STEP". The installing process
// creates it, every other process opens it with its events.
constexpr char kStepLockName[] = "KV_CC_STEP";
void OpenStepLock(bool create);
void CloseStepLock();
// At the library's unload in this process.
void FreeStepSlot();

// The watcher's request to the low-level hook's window: end the burst numbered wParam.
constexpr UINT kEndStalledBurst = WM_APP;

// The watcher's waits on the events created by this (the installing) process.
class WinWatcherPort : public WatcherPort {
 public:
  // hookWindow: the low-level hook's window (null on the keyboard-hook path).
  WinWatcherPort(HANDLE term, HANDLE start, HANDLE stop, HWND hookWindow)
      : term_(term), start_(start), stop_(stop), hookWindow_(hookWindow) {}
  Wake WaitForStart() override;
  Wake WaitForStop(uint32_t milliseconds) override;
  void ResetStart() override;
  void ResetStop() override;
  bool Terminating(uint32_t milliseconds) override;
  bool AskHookThread(int32_t serial) override;

 private:
  Wake Wait(HANDLE other, DWORD milliseconds);
  HANDLE term_, start_, stop_;
  HWND hookWindow_;
};

// This process's own event handles (opened by name), used by SignalStart and SignalStop.
extern HANDLE g_ownStart;
extern HANDLE g_ownStop;

}  // namespace pellix::win32
