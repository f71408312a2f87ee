#include "hooklib/win32/library.h"

#include <initializer_list>

#include "engine/transform_table.h"
#include "hooklib/core/delivery.h"
#include "hooklib/core/recognizer.h"
#include "hooklib/core/watcher.h"
#include "hooklib/win32/win_platform.h"

namespace pellix::win32 {

namespace {

// Per-process data, not shared.
HINSTANCE g_module = nullptr;
// The events as this process created them (it installed the hooks), and its watcher.
HANDLE g_createdStart = nullptr;
HANDLE g_createdStop = nullptr;
HANDLE g_createdTerm = nullptr;
HANDLE g_createdStep = nullptr;
HANDLE g_watcher = nullptr;
// The low-level path's window on the hook's thread: the watcher's requests to end a stalled
// burst arrive there, so that every step of that path runs on the one thread.
HWND g_hookWindow = nullptr;
WinPlatform g_platform;
HookLocal g_local;
// Keystrokes LowLevelHookProc has been called with, in this process (the installing one, the
// only one where that procedure runs). The tray program compares it with raw input to notice
// that the system removed the hook. Written on the hook's thread only.
uint32_t g_lowLevelKeys = 0;

constexpr DWORD kWatcherStopWaitMs = 3000;

constexpr char kHookWindowClass[] = "PellixHookCls";

LRESULT CALLBACK HookWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kEndStalledBurst) {
    HookContext c{Shared(), g_platform, g_local};
    EndStalledBurst(c, static_cast<int32_t>(wParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden window of the calling thread (the one the low-level hook runs on); null when none
// could be made.
HWND CreateHookWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = HookWindowProc;
  wc.hInstance = g_module;
  wc.lpszClassName = kHookWindowClass;
  RegisterClassA(&wc);  // fails harmlessly when this process registered it before
  return CreateWindowExA(0, kHookWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                         g_module, nullptr);
}

void DestroyHookWindow() {
  if (g_hookWindow && !DestroyWindow(g_hookWindow)) PostMessageA(g_hookWindow, WM_CLOSE, 0, 0);
  g_hookWindow = nullptr;
}

DWORD WINAPI TimeoutWatcherProc(void* hookWindow) {
  WinWatcherPort port(g_createdTerm, g_createdStart, g_createdStop,
                      static_cast<HWND>(hookWindow));
  HookContext c{Shared(), g_platform, g_local};
  RunTimeoutWatcher(c, port);
  FreeLibraryAndExitThread(g_module, 0);
}

void CloseOwnEvents() {
  if (g_ownStart) CloseHandle(g_ownStart);
  if (g_ownStop) CloseHandle(g_ownStop);
  g_ownStart = g_ownStop = nullptr;
  CloseStepLock();
}

// Ends this process's watcher (the term event is signalled already) and closes the events it
// created: term, stop, start. Returns the last CloseHandle's result.
BOOL EndWatcherAndCloseEvents() {
  if (g_watcher) {
    WaitForSingleObject(g_watcher, kWatcherStopWaitMs);
    CloseHandle(g_watcher);
    g_watcher = nullptr;
  }
  BOOL result = FALSE;
  for (HANDLE* h : {&g_createdTerm, &g_createdStop, &g_createdStart}) {
    result = *h ? CloseHandle(*h) : FALSE;
    *h = nullptr;
  }
  return result;
}

}  // namespace

HMODULE PinThisModule() {
  if (!g_module) return nullptr;
  // By address where the system can (XP and later; bound at run time, as 98 and 2000 lack
  // it): no path, so none too long or outside the code page.
  using GetModuleHandleExWFn = BOOL(WINAPI*)(DWORD, LPCWSTR, HMODULE*);
  const auto byAddress = reinterpret_cast<GetModuleHandleExWFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetModuleHandleExW")));
  if (byAddress) {
    HMODULE pinned = nullptr;
    return byAddress(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(&PinThisModule)), &pinned)
               ? pinned
               : nullptr;
  }
  // By the wide path on NT: the ANSI one of a folder named outside the system's code page
  // holds '?' and loads nothing. 9x has no wide calls (they fail): its path is ANSI.
  wchar_t wide[MAX_PATH];
  const DWORD w = GetModuleFileNameW(g_module, wide, MAX_PATH);
  if (w != 0 && w < MAX_PATH) return LoadLibraryW(wide);
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(g_module, path, sizeof path);
  if (n == 0 || n >= sizeof path) return nullptr;
  return LoadLibraryA(path);
}

HMODULE ThisModule() { return g_module; }

HookLocal& Local() { return g_local; }

void OnProcessAttach(HINSTANCE module) {
  if (!g_module) g_module = module;
  OpenSharedEvents();
}

void OnProcessDetach() {
  CloseOwnEvents();
  FreeStepSlot();
}

void OpenSharedEvents() {
  if (Shared().startEvent == nullptr) return;
  CloseOwnEvents();
  g_ownStart = OpenEventA(EVENT_MODIFY_STATE, FALSE, "KV_CC_START");
  g_ownStop = OpenEventA(EVENT_MODIFY_STATE, FALSE, "KV_CC_STOP");
  OpenStepLock(false);
}

bool ProcessAlive(DWORD processId) {
  if (processId == 0) return false;
  if (processId == GetCurrentProcessId()) return true;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to open
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

int InstallHook(HWND window, int force) {
  HookSharedState& s = Shared();
  if (!g_module) return 0;
  // The path of the hooks before, for a capture they left (read before their fields are cleared).
  const bool leftLowLevel = s.messageHook == nullptr;
  if (s.primaryHook) {
    if (ProcessAlive(s.installerProcessId)) return 0;
    // The process that installed the hooks has died, and its hooks with it: what it left in
    // the record is stale.
    s.primaryHook = nullptr;
    s.messageHook = nullptr;
  }
  // An earlier installation from this process that failed left its events and watcher.
  if (g_createdTerm) SetEvent(g_createdTerm);
  EndWatcherAndCloseEvents();

  Clear(s.transforms);
  // Keys noted before are long retrieved, or were never looked for (the low-level hook knows
  // ours by their mark): left on the list, they would be searched at every key.
  AtomicStore(&s.ownKeysTaken, AtomicLoad(&s.ownKeysNoted));
  // A capture in progress (a host that ended mid-burst left it) is given back, not dropped.
  HookContext c{s, g_platform, g_local};
  GiveBackCapture(c, leftLowLevel);
  ResetCapture(s);  // whatever else it left
  s.installerProcessId = GetCurrentProcessId();

  g_createdStart = CreateEventA(nullptr, TRUE, FALSE, "KV_CC_START");
  g_createdStop = CreateEventA(nullptr, TRUE, FALSE, "KV_CC_STOP");
  g_createdTerm = CreateEventA(nullptr, TRUE, FALSE, "KV_CC_TERM");
  s.startEvent = g_createdStart;
  s.stopEvent = g_createdStop;
  s.termEvent = g_createdTerm;
  ResetEvent(g_createdTerm);
  // The step lock lives while any process has it open; this handle keeps it for the
  // installation, each process's own one (OpenSharedEvents) is what the steps use.
  if (!g_createdStep) g_createdStep = CreateMutexA(nullptr, FALSE, kStepLockName);

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  const bool lowLevel = version.dwPlatformId == VER_PLATFORM_WIN32_NT && force == 0;
  DestroyHookWindow();
  if (lowLevel) g_hookWindow = CreateHookWindow();

  if (g_createdTerm && g_createdStart && g_createdStop) {
    if (HMODULE pin = PinThisModule()) {
      g_watcher = CreateThread(nullptr, 0, TimeoutWatcherProc, g_hookWindow, 0, nullptr);
      if (!g_watcher) FreeLibrary(pin);
    }
  }
  // Without its watcher (no events, the library not pinned, no thread) no burst would ever
  // time out, and without a pin no delivery could outlive an unload: no hooks.
  if (!g_watcher) {
    SetEvent(g_createdTerm);
    EndWatcherAndCloseEvents();
    s.startEvent = s.stopEvent = s.termEvent = nullptr;
    DestroyHookWindow();
    s.installerProcessId = 0;
    return 0;
  }

  if (lowLevel) {
    // Without its window no stalled burst could be ended on the hook's thread: no hook.
    s.primaryHook = g_hookWindow
                        ? SetWindowsHookExA(WH_KEYBOARD_LL, LowLevelHookProc, g_module, 0)
                        : nullptr;
  } else {
    s.primaryHook = SetWindowsHookExA(WH_KEYBOARD, KeyboardHookProc, g_module, 0);
    s.messageHook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHookProc, g_module, 0);
  }
  SharedStore(&s.messageId, static_cast<uint32_t>(RegisterWindowMessageA("KV_CC_MSG")));
  SharedStore(&s.targetWindow, static_cast<void*>(window));
  OpenSharedEvents();
  return s.primaryHook ? 1 : 0;
}

int RemoveHook() {
  HookSharedState& s = Shared();
  // A burst being captured is given back first, its keys passing the hooks still there.
  if (s.primaryHook) {
    HookContext c{s, g_platform, g_local};
    GiveBackCapture(c, s.messageHook == nullptr);  // on the low-level path: the hook's thread
  }
  if (g_createdTerm) SetEvent(g_createdTerm);
  if (s.messageHook) UnhookWindowsHookEx(static_cast<HHOOK>(s.messageHook));
  if (s.primaryHook) UnhookWindowsHookEx(static_cast<HHOOK>(s.primaryHook));
  const BOOL closed = EndWatcherAndCloseEvents();
  DestroyHookWindow();
  if (g_createdStep) CloseHandle(g_createdStep);
  g_createdStep = nullptr;
  // The handles in the record belong to this process; once closed they mean nothing.
  s.startEvent = s.stopEvent = s.termEvent = nullptr;
  s.messageHook = nullptr;
  s.primaryHook = nullptr;
  s.installerProcessId = 0;
  return closed ? 1 : 0;
}

LRESULT CALLBACK LowLevelHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (!g_ownStart) OpenSharedEvents();
  HookSharedState& s = Shared();
  if (code == HC_ACTION) {
    ++g_lowLevelKeys;
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    HookContext c{s, g_platform, g_local};
    if (LowLevelStep(c, key->vkCode, key->scanCode, key->flags, key->dwExtraInfo) ==
        Verdict::kSwallow)
      return 1;
  }
  return CallNextHookEx(static_cast<HHOOK>(s.primaryHook), code, wParam, lParam);
}

uint32_t LowLevelKeyCount() { return g_lowLevelKeys; }

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  HookSharedState& s = Shared();
  if (code == HC_ACTION) {
    HookContext c{s, g_platform, g_local};
    if (KeyboardStep(c, static_cast<uint32_t>(wParam), static_cast<uint32_t>(lParam)) ==
        Verdict::kSwallow)
      return 1;
  }
  return CallNextHookEx(static_cast<HHOOK>(s.primaryHook), code, wParam, lParam);
}

LRESULT CALLBACK GetMessageHookProc(int code, WPARAM wParam, LPARAM lParam) {
  HookSharedState& s = Shared();
  if (code == HC_ACTION) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    uint32_t message = msg->message;
    HookContext c{s, g_platform, g_local};
    MessageStep(c, &message, static_cast<uint32_t>(msg->wParam),
                static_cast<uint32_t>(msg->lParam), (wParam & PM_REMOVE) != 0,
                static_cast<uintptr_t>(GetMessageExtraInfo()));
    msg->message = message;
  }
  return CallNextHookEx(static_cast<HHOOK>(s.messageHook), code, wParam, lParam);
}

}  // namespace pellix::win32
