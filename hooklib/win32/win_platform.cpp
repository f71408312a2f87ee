#include "hooklib/win32/win_platform.h"

#include "engine/scan_record.h"
#include "hooklib/core/delivery.h"
#include "hooklib/win32/library.h"

namespace pellix::win32 {

HANDLE g_ownStart = nullptr;
HANDLE g_ownStop = nullptr;

namespace {

HANDLE g_stepLock = nullptr;
// Whether a thread of this process holds the step lock; written by its holder only. A mutex
// lets its owner take it again: this refuses that, so that a step never runs inside another.
bool g_stepHeldHere = false;

WinPlatform g_deliveryPlatform;

DWORD WINAPI DeliveryThreadProc(void* record) {
  HookContext c{Shared(), g_deliveryPlatform};
  DeliveryThread(c, static_cast<ScanRecord*>(record));
  // The thread was started holding a reference on the module (StartDelivery).
  FreeLibraryAndExitThread(ThisModule(), 0);
}

}  // namespace

uint32_t WinPlatform::MapVirtualKeyToChar(uint32_t vk) { return MapVirtualKeyA(vk, 2); }

void WinPlatform::SignalStart() {
  if (g_ownStart) SetEvent(g_ownStart);
}

void WinPlatform::SignalStop() {
  if (g_ownStop) SetEvent(g_ownStop);
}

void WinPlatform::KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) {
  keybd_event(vk, scanCode, flags, kOwnKeyMark);
}

int16_t WinPlatform::KeyForChar(char c) { return static_cast<int16_t>(VkKeyScanA(c)); }

bool WinPlatform::IsNt() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Windows 9x marks a dead key in bit 15 of the answer, NT in bit 31; a character is 0..255.
bool WinPlatform::IsDeadKey(uint8_t vk) { return (MapVirtualKeyA(vk, 2) & 0x80008000u) != 0; }

void WinPlatform::UnicodeChar(char c) {
  // Bound at run time: Windows 95 has no SendInput, and 9x never comes here. Looked up for
  // each character rather than kept in a guarded static, which would bring the C++ runtime's
  // exception code into the library.
  using SendInputFn = UINT(WINAPI*)(UINT, INPUT*, int);
  const auto sendInput = reinterpret_cast<SendInputFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SendInput")));
  WCHAR unit = 0;
  if (!sendInput || MultiByteToWideChar(CP_ACP, 0, &c, 1, &unit, 1) != 1) return;
  INPUT keys[2] = {};
  for (int i = 0; i < 2; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wScan = unit;
    keys[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
    keys[i].ki.dwExtraInfo = kOwnKeyMark;
  }
  sendInput(2, keys, sizeof(INPUT));
}

void WinPlatform::Beep(uint32_t beepType) { MessageBeep(beepType); }

uint16_t WinPlatform::MakeAtom(const char* name) { return GlobalAddAtomA(name); }

bool WinPlatform::AtomExists(uint16_t atom) {
  char name[256];
  return GlobalGetAtomNameA(atom, name, sizeof name) != 0;
}

void WinPlatform::RemoveAtom(uint16_t atom) { GlobalDeleteAtom(atom); }

void WinPlatform::SendOffer(void* window, uint32_t message, uint32_t wParam, uint32_t lParam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(static_cast<HWND>(window), message, wParam, static_cast<LPARAM>(lParam),
                      SMTO_BLOCK | SMTO_ABORTIFHUNG, 3000, &result);
}

uintptr_t WinPlatform::TellTray(void* window, TrayNote& note) {
  note.process = GetCurrentProcessId();
  COPYDATASTRUCT copy = {kTrayNoteTag, sizeof note, &note};
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(static_cast<HWND>(window), WM_COPYDATA, 0,
                           reinterpret_cast<LPARAM>(&copy), SMTO_BLOCK | SMTO_ABORTIFHUNG, 3000,
                           &answer))
    return kTrayUnreachable;
  return answer;
}

void* WinPlatform::ForegroundWindow() { return GetForegroundWindow(); }

bool WinPlatform::StartDelivery(ScanRecord* record) {
  HMODULE pin = PinThisModule();
  if (!pin) return false;
  HANDLE thread = CreateThread(nullptr, 0, DeliveryThreadProc, record, 0, nullptr);
  if (!thread) {
    FreeLibrary(pin);
    return false;
  }
  CloseHandle(thread);
  return true;
}

bool WinPlatform::EnterStep(uint32_t maxWaitMs) {
  if (!g_stepLock) return false;
  switch (WaitForSingleObject(g_stepLock, maxWaitMs)) {
    case WAIT_ABANDONED:
      // Its owner ended inside a step; if that was a thread of this process, its mark goes.
      g_stepHeldHere = false;
      break;
    case WAIT_OBJECT_0:
      break;
    default:  // timed out, or no lock to wait for
      return false;
  }
  if (g_stepHeldHere) {  // this thread is inside a step already
    ReleaseMutex(g_stepLock);
    return false;
  }
  g_stepHeldHere = true;
  return true;
}

void WinPlatform::LeaveStep() {
  g_stepHeldHere = false;
  ReleaseMutex(g_stepLock);
}

void OpenStepLock(bool create) {
  CloseStepLock();
  g_stepLock = create ? CreateMutexA(nullptr, FALSE, kStepLockName)
                      : OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kStepLockName);
}

void CloseStepLock() {
  if (g_stepLock) CloseHandle(g_stepLock);
  g_stepLock = nullptr;
}

WatcherPort::Wake WinWatcherPort::Wait(HANDLE other, DWORD milliseconds) {
  const HANDLE handles[2] = {term_, other};
  switch (WaitForMultipleObjects(2, handles, FALSE, milliseconds)) {
    case WAIT_OBJECT_0: return Wake::kTerm;
    case WAIT_OBJECT_0 + 1: return Wake::kEvent;
    case WAIT_TIMEOUT: return Wake::kTimeout;
    default: return Wake::kFailed;
  }
}

WatcherPort::Wake WinWatcherPort::WaitForStart() { return Wait(start_, INFINITE); }

WatcherPort::Wake WinWatcherPort::WaitForStop(uint32_t milliseconds) {
  return Wait(stop_, milliseconds);
}

void WinWatcherPort::ResetStart() { ResetEvent(start_); }

bool WinWatcherPort::Terminating() { return WaitForSingleObject(term_, 0) != WAIT_TIMEOUT; }

bool WinWatcherPort::AskHookThread(int32_t serial) {
  if (!hookWindow_) return false;
  // Posted, never sent: the watcher waits for nothing on the hook's thread. A request that
  // cannot be posted belongs to hooks being removed with their window.
  PostMessageA(hookWindow_, kEndStalledBurst, static_cast<WPARAM>(serial), 0);
  return true;
}

void WinWatcherPort::ResetStop() { ResetEvent(stop_); }

}  // namespace pellix::win32
