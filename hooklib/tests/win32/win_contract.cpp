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

DWORD WINAPI EndAtOnce(LPVOID) { return 0; }

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
  uint32_t EndedThreadId() override {
    DWORD id = 0;
    ended_ = CreateThread(nullptr, 0, &EndAtOnce, nullptr, 0, &id);
    if (!ended_) return 0;
    WaitForSingleObject(ended_, 5000);
    return id;
  }
  ~WinContract() override {
    if (ended_) CloseHandle(ended_);
  }
  HANDLE ended_ = nullptr;
};

}  // namespace

std::unique_ptr<ContractPlatform> MakeContractPlatform() {
  return std::make_unique<WinContract>();
}

}  // namespace pellix::testing
