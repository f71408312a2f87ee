// The contract suite's platform under Wine: the library's port onto the real calls.
#include <windows.h>

#include "hooklib/tests/platform_contract.h"
#include "hooklib/win32/win_platform.h"

namespace pellix::testing {

namespace {

volatile LONG g_seen = 0;
DWORD g_vk = 0;

LRESULT CALLBACK Spy(int code, WPARAM wParam, LPARAM lParam) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (code == HC_ACTION && k->vkCode == g_vk && (k->flags & LLKHF_INJECTED))
    InterlockedIncrement(&g_seen);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI EnterStepAndEnd(LPVOID) {
  win32::WinPlatform win;
  win.EnterStep(1000);
  return 0;  // ends inside its step
}

struct Holder {
  HANDLE entered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI HoldStep(LPVOID arg) {
  auto* h = static_cast<Holder*>(arg);
  win32::WinPlatform win;
  if (win.EnterStep(1000)) {
    SetEvent(h->entered);
    WaitForSingleObject(h->release, 5000);
    win.LeaveStep();
  }
  return 0;
}

struct WinContract : ContractPlatform {
  win32::WinPlatform win;
  HookPlatform& platform() override { return win; }
  bool InjectedKeySeenAtOnce(uint8_t vk) override {
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, Spy, GetModuleHandleA(nullptr), 0);
    if (!hook) return false;
    g_vk = vk;
    g_seen = 0;
    win.KeybdEvent(vk, 0, 0);
    const bool seen = g_seen == 1;
    win.KeybdEvent(vk, 0, 2);
    UnhookWindowsHookEx(hook);
    return seen;
  }
  WinContract() { win32::OpenStepLock(true); }
  void EndInsideAStep() override { Join(CreateThread(nullptr, 0, &EnterStepAndEnd, nullptr, 0, nullptr)); }
  void HoldStepElsewhere() override {
    holderThread_ = CreateThread(nullptr, 0, &HoldStep, &holder_, 0, nullptr);
    WaitForSingleObject(holder_.entered, 5000);
  }
  void ReleaseStepElsewhere() override {
    SetEvent(holder_.release);
    Join(holderThread_);
    holderThread_ = nullptr;
  }
  ~WinContract() override {
    win32::CloseStepLock();
    CloseHandle(holder_.entered);
    CloseHandle(holder_.release);
  }
  static void Join(HANDLE thread) {
    if (!thread) return;
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
  Holder holder_;
  HANDLE holderThread_ = nullptr;
};

}  // namespace

std::unique_ptr<ContractPlatform> MakeContractPlatform() {
  return std::make_unique<WinContract>();
}

}  // namespace pellix::testing
