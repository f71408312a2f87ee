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
  int16_t KeyForChar(char c) override;
  bool IsNt() override;
  bool IsDeadKey(uint8_t vk) override;
  void UnicodeChar(char c) override;
  void Beep(uint32_t beepType) override;
  uint16_t MakeAtom(const char* name) override;
  bool AtomExists(uint16_t atom) override;
  void RemoveAtom(uint16_t atom) override;
  void SendOffer(void* window, uint32_t message, uint32_t wParam, uint32_t lParam) override;
  void ReportOutcome(void* window, uint32_t outcome, const char* type) override;
  void* ForegroundWindow() override;
  bool StartDelivery(ScanRecord* record) override;
  bool EnterStep(uint32_t maxWaitMs) override;
  void LeaveStep() override;
};

// The step lock of every process: the named mutex "KV_CC_STEP". The installing process
// creates it, every other process opens it with its events.
constexpr char kStepLockName[] = "KV_CC_STEP";
void OpenStepLock(bool create);
void CloseStepLock();

// The watcher's waits on the events created by this (the installing) process.
class WinWatcherPort : public WatcherPort {
 public:
  WinWatcherPort(HANDLE term, HANDLE start, HANDLE stop)
      : term_(term), start_(start), stop_(stop) {}
  Wake WaitForStart() override;
  Wake WaitForStop(uint32_t milliseconds) override;
  void ResetStartAndStop() override;
  void ResetStop() override;

 private:
  Wake Wait(HANDLE other, DWORD milliseconds);
  HANDLE term_, start_, stop_;
};

// This process's own event handles (opened by name), used by SignalStart and SignalStop.
extern HANDLE g_ownStart;
extern HANDLE g_ownStop;

}  // namespace pellix::win32
