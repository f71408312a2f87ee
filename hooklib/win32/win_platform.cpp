#include "hooklib/win32/win_platform.h"

#include "engine/scan_record.h"
#include "hooklib/core/delivery.h"
#include "hooklib/win32/library.h"

namespace pellix::win32 {

HANDLE g_ownStart = nullptr;
HANDLE g_ownStop = nullptr;

namespace {

WinPlatform g_deliveryPlatform;

// OpenThread is Windows 2000 and Me and later: bound at load time, so that the library also
// loads on 98 SE, where a step's owner is then always taken for running (see ThreadRunning).
using OpenThreadFunction = HANDLE(WINAPI*)(DWORD, BOOL, DWORD);
const OpenThreadFunction g_openThread = reinterpret_cast<OpenThreadFunction>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "OpenThread")));

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
  keybd_event(vk, scanCode, flags, 0);
}

int16_t WinPlatform::KeyForChar(char c) { return static_cast<int16_t>(VkKeyScanA(c)); }

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

void WinPlatform::ReportOutcome(void* window, uint32_t outcome, const char* type) {
  // Registered per call: once a scan, and no static to initialise in every host process.
  const UINT message = RegisterWindowMessageA(kOutcomeMessageName);
  uint32_t packed = 0;
  for (int i = 0; i < 3 && type[i] != 0; ++i) packed |= static_cast<uint32_t>(static_cast<uint8_t>(type[i])) << (8 * i);
  if (message != 0) PostMessageA(static_cast<HWND>(window), message, outcome, static_cast<LPARAM>(packed));
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

uint32_t WinPlatform::CurrentThreadId() { return GetCurrentThreadId(); }

uint32_t WinPlatform::NowMs() { return GetTickCount(); }

void WinPlatform::YieldThread() { Sleep(1); }

bool WinPlatform::ThreadRunning(uint32_t threadId) {
  // Without OpenThread (98 SE) nothing tells: an owner killed inside its step is not taken
  // over, and hook calls pass their keys after the wait until the hooks are installed again.
  if (!g_openThread) return true;
  HANDLE thread = g_openThread(SYNCHRONIZE, FALSE, threadId);
  // No such thread (any more); a thread there but not ours to open counts as running.
  if (!thread) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
  CloseHandle(thread);
  return running;
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

void WinWatcherPort::ResetStartAndStop() {
  ResetEvent(start_);
  ResetEvent(stop_);
}

void WinWatcherPort::ResetStop() { ResetEvent(stop_); }

}  // namespace pellix::win32
