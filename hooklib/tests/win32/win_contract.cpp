// The contract suite's platform under Wine: the library's port onto the real calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "hooklib/core/delivery.h"
#include "hooklib/core/recognizer.h"
#include "hooklib/tests/platform_contract.h"
#include "hooklib/tests/win32/process.h"
#include "hooklib/win32/library.h"
#include "hooklib/win32/win_platform.h"

namespace pellix::testing {

namespace {

volatile LONG g_seen = 0;
DWORD g_vk = 0;
// What each kind of hook got with the first press of g_vk: the low-level hook's extra
// information and the keyboard hook's key data (1 and -1: nothing yet).
ULONG_PTR g_lowLevelExtra = 1;
LPARAM g_keyData = -1;

LRESULT CALLBACK Spy(int code, WPARAM wParam, LPARAM lParam) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (code == HC_ACTION && k->vkCode == g_vk && (k->flags & LLKHF_INJECTED)) {
    if (!(k->flags & LLKHF_UP) && g_lowLevelExtra == 1) g_lowLevelExtra = k->dwExtraInfo;
    InterlockedIncrement(&g_seen);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK KeyboardSpy(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == g_vk && !(lParam & 0x80000000) && g_keyData == -1)
    g_keyData = lParam;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The message hook's GetMessageExtraInfo for each press of g_vk removed, in order.
std::vector<ULONG_PTR> g_messageExtra;
LRESULT CALLBACK MessageSpy(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && (wParam & PM_REMOVE) && msg->message == WM_KEYDOWN &&
      msg->wParam == g_vk)
    g_messageExtra.push_back(static_cast<ULONG_PTR>(GetMessageExtraInfo()));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The library's key, then the same key as a keyboard's (no mark).
DWORD WINAPI TypeOwnKey(LPVOID) {
  win32::WinPlatform win;
  HookContext c{win32::Shared(), win, win32::Local()};
  PressKey(c, static_cast<uint8_t>(g_vk), false);
  PressKey(c, static_cast<uint8_t>(g_vk), true);
  keybd_event(static_cast<BYTE>(g_vk), 0, 0, 0);
  keybd_event(static_cast<BYTE>(g_vk), 0, KEYEVENTF_KEYUP, 0);
  return 0;
}

// The library's keys are known by both kinds of hook, whoever types them, and carry their
// key's scan code as a keyboard's do: the low-level hook reads the mark from KBDLLHOOKSTRUCT;
// the keyboard hook of the application that retrieves the key finds it on the record's list
// of keys on their way (its GetMessageExtraInfo still tells of the message before: Wine sets
// it once the hooks have run); the message hook, called after, is told each message's own
// mark. The list is the library's shared record, which a program of its own (the peer) does
// not map: from there the low-level mark and the scan code.
TEST(OwnKeyMark, ReachesBothHookKindsFromAnotherThreadAndAnotherProcess) {
  HWND window = CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 40, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  SetForegroundWindow(window);
  SetFocus(window);
  HHOOK lowLevel = SetWindowsHookExA(WH_KEYBOARD_LL, Spy, GetModuleHandleA(nullptr), 0);
  HHOOK keyboard = SetWindowsHookExA(WH_KEYBOARD, KeyboardSpy, nullptr, GetCurrentThreadId());
  HHOOK message = SetWindowsHookExA(WH_GETMESSAGE, MessageSpy, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(lowLevel && keyboard && message);
  g_vk = VK_F9;
  for (const bool otherProcess : {false, true}) {
    g_lowLevelExtra = 1;
    g_keyData = -1;
    g_messageExtra.clear();
    const size_t presses = otherProcess ? 1 : 2;
    HANDLE typist = otherProcess ? StartSibling("hooklib_peer.exe", "type-own-key 120")
                                 : CreateThread(nullptr, 0, &TypeOwnKey, nullptr, 0, nullptr);
    ASSERT_NE(typist, nullptr);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000;) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      if (g_lowLevelExtra != 1 && g_keyData != -1 && g_messageExtra.size() == presses) break;
      Sleep(5);
    }
    WaitForSingleObject(typist, 5000);
    CloseHandle(typist);
    const char* who = otherProcess ? "another process" : "another thread";
    EXPECT_EQ(g_lowLevelExtra, static_cast<ULONG_PTR>(kOwnKeyMark)) << who;
    EXPECT_NE(g_keyData, -1) << who << ": the keyboard hook never saw the key";
    EXPECT_EQ((g_keyData >> 16) & 255, static_cast<LPARAM>(MapVirtualKeyA(g_vk, 0)) & 255)
        << who << ": " << g_keyData;
    EXPECT_NE((g_keyData >> 16) & 255, 0) << who;
    std::vector<ULONG_PTR> told{kOwnKeyMark};
    if (!otherProcess) told.push_back(0);
    EXPECT_EQ(g_messageExtra, told) << who;
    if (!otherProcess) {
      EXPECT_TRUE(OwnHookKey(win32::Shared(), g_vk, static_cast<uint32_t>(g_keyData)))
          << who << ": " << g_keyData;
    }
  }
  UnhookWindowsHookEx(message);
  UnhookWindowsHookEx(keyboard);
  UnhookWindowsHookEx(lowLevel);
  DestroyWindow(window);
}

DWORD WINAPI EnterStepAndEnd(LPVOID) {
  win32::WinPlatform win;
  win.EnterStep(1000);
  return 0;  // ends inside its step
}

// A thread of this process ends inside a step and another process is handed the lock: this
// process still has its steps (a mark kept per process stayed set for good).
// The program in front by its file name, whichever process owns the window.
TEST(ProgramInFront, IsTheFileNameOfTheForegroundWindowsProcess) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "PellixPeerInFront");
  HANDLE peer = StartSibling("hooklib_peer.exe", "front PellixPeerInFront");
  ASSERT_TRUE(ready && peer);
  ASSERT_EQ(WaitForSingleObject(ready, 15000), WAIT_OBJECT_0);
  win32::WinPlatform win;
  char name[64] = "unset";
  win.ProgramInFront(name, sizeof name);
  EXPECT_STREQ(name, "hooklib_peer.exe");
  TerminateProcess(peer, 0);
  WaitForSingleObject(peer, 5000);
  CloseHandle(peer);
  CloseHandle(ready);
  HWND own = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 40, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(own);
  win.ProgramInFront(name, sizeof name);
  EXPECT_STREQ(name, "hooklib_platform_contract_test.exe");
  DestroyWindow(own);
}

TEST(StepLock, AThreadEndingInsideAStepLeavesTheOtherThreadsTheirSteps) {
  win32::OpenStepLock(true);
  win32::WinPlatform win;
  HANDLE dies = CreateThread(nullptr, 0, &EnterStepAndEnd, nullptr, 0, nullptr);
  ASSERT_NE(dies, nullptr);
  WaitForSingleObject(dies, 5000);
  CloseHandle(dies);
  EXPECT_EQ(RunSibling("hooklib_peer.exe", "take-step"), 0);
  EXPECT_TRUE(win.EnterStep(0));
  win.LeaveStep();
  win32::CloseStepLock();
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

// The extra information of each F24 press, in the order the low-level hook met them.
std::vector<uintptr_t> g_f24;
LRESULT CALLBACK F24Spy(int code, WPARAM wParam, LPARAM lParam) {
  const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (code == HC_ACTION && k->vkCode == 0x87 && !(k->flags & LLKHF_UP))
    g_f24.push_back(k->dwExtraInfo);
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct WinContract : ContractPlatform {
  win32::WinPlatform win;
  HHOOK f24 = SetWindowsHookExA(WH_KEYBOARD_LL, F24Spy, GetModuleHandleA(nullptr), 0);
  std::vector<uintptr_t> TagsOfF24(size_t count) override {
    for (DWORD start = GetTickCount(); g_f24.size() < count && GetTickCount() - start < 10000;) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      Sleep(2);
    }
    return g_f24;
  }
  HookPlatform& platform() override { return win; }
  bool OwnKeySeenAtOnce(uint8_t vk) override {
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, Spy, GetModuleHandleA(nullptr), 0);
    if (!hook) return false;
    g_vk = vk;
    g_seen = 0;
    g_lowLevelExtra = 1;
    win.KeybdEvent(vk, 0, 0);
    const bool seen = g_seen == 1 && g_lowLevelExtra == kOwnKeyMark;
    win.KeybdEvent(vk, 0, 2);
    UnhookWindowsHookEx(hook);
    return seen;
  }
  WinContract() {
    win32::OnProcessAttach(GetModuleHandleA(nullptr));  // the delivery thread pins the module
    win32::OpenStepLock(true);
    g_f24.clear();
  }
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
    if (f24) UnhookWindowsHookEx(f24);
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
