#include "hooklib/win32/win_platform.h"

#include "engine/scan_record.h"
#include "hooklib/core/delivery.h"
#include "hooklib/win32/library.h"

namespace pellix::win32 {

HANDLE g_ownStart = nullptr;
HANDLE g_ownStop = nullptr;

namespace {

HANDLE g_stepLock = nullptr;
// Whether the calling thread holds the step lock: a slot of each thread's own storage. A
// mutex lets its owner take it again: this refuses that, so that a step never runs inside
// another. Per thread, so that a thread ending inside a step takes its mark with it, whichever
// process is handed the lock next.
DWORD g_stepSlot = TLS_OUT_OF_INDEXES;

bool StepHeldHere() {
  return g_stepSlot != TLS_OUT_OF_INDEXES && TlsGetValue(g_stepSlot) != nullptr;
}

void MarkStepHeld(bool held) {
  if (g_stepSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_stepSlot, held ? g_stepLock : nullptr);
}

WinPlatform g_deliveryPlatform;

// This process's deliveries: a ring that the low-level hook's thread fills and one delivery
// thread at a time empties, one after another, in the order they came. The thread is started
// when a delivery finds none running and ends when the ring is empty.
constexpr LONG kQueued = 64;
Delivery* g_ring[kQueued];
volatile LONG g_added = 0;    // written by the hook's thread
volatile LONG g_taken = 0;    // written by the delivery thread
volatile LONG g_running = 0;  // 1 while a delivery thread runs (or is being started)

LONG Read(volatile LONG* v) { return InterlockedCompareExchange(v, 0, 0); }

DWORD WINAPI DeliveryThreadProc(void*) {
  HookContext c{Shared(), g_deliveryPlatform, Local()};
  for (;;) {
    while (Read(&g_taken) != Read(&g_added)) {
      Delivery* d = g_ring[g_taken % kQueued];
      InterlockedIncrement(&g_taken);
      DeliveryThread(c, d);
    }
    InterlockedExchange(&g_running, 0);
    // One handed over after the last look goes with this thread, unless the hook's thread
    // has started another for it.
    if (Read(&g_taken) == Read(&g_added) || InterlockedCompareExchange(&g_running, 1, 0) != 0)
      break;
  }
  // The thread was started holding a reference on the module (StartDelivery).
  FreeLibraryAndExitThread(ThisModule(), 0);
}

// Keys that a keyboard sends with the E0 prefix, by virtual key: page and cursor keys,
// Insert, Delete, the Windows and menu keys, keypad divide, Num Lock, right Ctrl and Alt.
bool IsExtendedKey(uint8_t vk) {
  return (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_SNAPSHOT || vk == VK_INSERT ||
         vk == VK_DELETE || (vk >= VK_LWIN && vk <= VK_APPS) || vk == VK_DIVIDE ||
         vk == VK_NUMLOCK || vk == VK_RCONTROL || vk == VK_RMENU;
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

uint32_t WinPlatform::ScanCodeOf(uint8_t vk) {
  return (MapVirtualKeyA(vk, 0) & 0xff) | (IsExtendedKey(vk) ? 0x100u : 0u);
}

uint8_t WinPlatform::KeyAtScanCode(uint32_t scanCode) {
  return static_cast<uint8_t>(MapVirtualKeyA(scanCode, 1));
}

bool WinPlatform::CapsLockOn() { return (GetKeyState(VK_CAPITAL) & 1) != 0; }

uint16_t WinPlatform::CharOfKey(uint8_t vk, bool shift, bool capsLock) {
  // Bound at run time: ToUnicode is NT's; 9x answers in its code page through ToAscii. A
  // key-state array of its own, and flag 4 (leave the keyboard's state alone), so that the
  // question changes no dead key pending for the user's typing.
  using ToUnicodeFn = int(WINAPI*)(UINT, UINT, const BYTE*, LPWSTR, int, UINT);
  using ToAsciiFn = int(WINAPI*)(UINT, UINT, const BYTE*, LPWORD, UINT);
  HMODULE user32 = GetModuleHandleA("user32.dll");
  BYTE keys[256] = {};
  if (shift) keys[VK_SHIFT] = keys[VK_LSHIFT] = 0x80;
  if (capsLock) keys[VK_CAPITAL] = 1;
  const UINT scan = MapVirtualKeyA(vk, 0);
  if (const auto toUnicode = reinterpret_cast<ToUnicodeFn>(
          reinterpret_cast<void*>(GetProcAddress(user32, "ToUnicode")))) {
    WCHAR out[4] = {};
    return toUnicode(vk, scan, keys, out, 4, 4) == 1 ? out[0] : 0;
  }
  if (const auto toAscii = reinterpret_cast<ToAsciiFn>(
          reinterpret_cast<void*>(GetProcAddress(user32, "ToAscii")))) {
    WORD out[2] = {};
    return toAscii(vk, scan, keys, out, 0) == 1 ? (out[0] & 0xff) : 0;
  }
  return 0;
}

uint32_t WinPlatform::ModifiersHeld() {
  // As the typing thread's application has them where it has a window with the focus (the
  // keyboard hook's thread: a key its hook swallowed is not down there), else as the system
  // has them (the delivery thread; the low-level hook's swallowed keys never reach them). 9x
  // knows no sided keys here: it reports none, and nothing is released there.
  static const int kKeys[] = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU};
  const bool input = GetFocus() != nullptr;
  uint32_t held = 0;
  for (int i = 0; i < 6; ++i)
    if ((input ? GetKeyState(kKeys[i]) : GetAsyncKeyState(kKeys[i])) & 0x8000) held |= 1u << i;
  return held;
}

void WinPlatform::SendTagged(uint32_t vk, uint32_t scanCode, uint32_t flags,
                             uintptr_t extraInfo) {
  // Bound at run time, as for UnicodeChar: Windows 95 has no SendInput.
  using SendInputFn = UINT(WINAPI*)(UINT, INPUT*, int);
  const auto sendInput = reinterpret_cast<SendInputFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SendInput")));
  if (!sendInput || !IsNt()) {
    if ((flags & KEYEVENTF_UNICODE) == 0)
      keybd_event(static_cast<BYTE>(vk), static_cast<BYTE>(scanCode), flags, extraInfo);
    return;
  }
  INPUT key = {};
  key.type = INPUT_KEYBOARD;
  key.ki.wVk = (flags & KEYEVENTF_UNICODE) ? 0 : static_cast<WORD>(vk);
  key.ki.wScan = static_cast<WORD>(scanCode);
  key.ki.dwFlags = flags;
  key.ki.dwExtraInfo = extraInfo;
  sendInput(1, &key, sizeof(INPUT));
}

int16_t WinPlatform::KeyForChar(char c) { return static_cast<int16_t>(VkKeyScanA(c)); }

bool WinPlatform::IsNt() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Windows 9x marks a dead key in bit 15 of the answer, NT in bit 31; a character is 0..255.
bool WinPlatform::IsDeadKey(uint8_t vk) { return (MapVirtualKeyA(vk, 2) & 0x80008000u) != 0; }

bool WinPlatform::UnicodeChar(const char* bytes, int length) {
  // Bound at run time: Windows 95 has no SendInput, and 9x never comes here. Looked up for
  // each character rather than kept in a guarded static, which would bring the C++ runtime's
  // exception code into the library.
  using SendInputFn = UINT(WINAPI*)(UINT, INPUT*, int);
  const auto sendInput = reinterpret_cast<SendInputFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SendInput")));
  WCHAR units[2] = {};
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, units, 2);
  if (n < 1) return true;  // no character: nothing to type
  if (!sendInput) return false;
  INPUT keys[4] = {};
  for (int i = 0; i < 2 * n; ++i) {
    keys[i].type = INPUT_KEYBOARD;
    keys[i].ki.wScan = units[i / 2];
    keys[i].ki.dwFlags = KEYEVENTF_UNICODE | (i % 2 == 1 ? KEYEVENTF_KEYUP : 0);
    keys[i].ki.dwExtraInfo = kOwnKeyMark;
  }
  return sendInput(static_cast<UINT>(2 * n), keys, sizeof(INPUT)) == static_cast<UINT>(2 * n);
}

bool WinPlatform::IsLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

void WinPlatform::Pause(uint32_t milliseconds) { Sleep(milliseconds); }

namespace {

// The file name of a full path, in UTF-8; empty when it does not fit.
void FileNameOf(const WCHAR* path, char* name, int size) {
  const WCHAR* file = path;
  for (const WCHAR* p = path; *p; ++p) {
    if (*p == L'\\' || *p == L'/') file = p + 1;
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, file, -1, name, size, nullptr, nullptr);
  if (n <= 0) name[0] = 0;
}

// The image of another process: QueryFullProcessImageNameW from Vista on (which a limited
// right allows), GetModuleFileNameExW of psapi.dll before. Both bound at run time.
bool ImageOfProcess(DWORD processId, WCHAR* path, DWORD size) {
  using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, WCHAR*, DWORD*);
  using ModuleFn = DWORD(WINAPI*)(HANDLE, HMODULE, WCHAR*, DWORD);
  const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "QueryFullProcessImageNameW")));
  if (query) {
    HANDLE process = OpenProcess(0x1000 /* PROCESS_QUERY_LIMITED_INFORMATION */, FALSE, processId);
    if (!process) return false;
    DWORD length = size;
    const bool ok = query(process, 0, path, &length) && length < size;
    CloseHandle(process);
    return ok;
  }
  HMODULE psapi = LoadLibraryA("psapi.dll");
  const auto module = psapi ? reinterpret_cast<ModuleFn>(reinterpret_cast<void*>(
                                  GetProcAddress(psapi, "GetModuleFileNameExW")))
                            : nullptr;
  HANDLE process =
      module ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId) : nullptr;
  const DWORD length = process ? module(process, nullptr, path, size) : 0;
  if (process) CloseHandle(process);
  if (psapi) FreeLibrary(psapi);
  return length > 0 && length < size;
}

}  // namespace

void WinPlatform::ProgramInFront(char* name, int size) {
  name[0] = 0;
  DWORD processId = 0;
  HWND front = GetForegroundWindow();
  if (!front || !GetWindowThreadProcessId(front, &processId)) return;
  constexpr DWORD kPathSize = 1024;
  WCHAR path[kPathSize];
  if (!IsNt()) {
    // Windows 9x: the keyboard hook runs in the program itself; its name by the ANSI call,
    // kept where it is plain ASCII (the same in UTF-8).
    char ansi[MAX_PATH];
    const DWORD n = processId == GetCurrentProcessId() ? GetModuleFileNameA(nullptr, ansi, MAX_PATH) : 0;
    if (n == 0 || n >= MAX_PATH) return;
    const char* file = ansi;
    for (const char* p = ansi; *p; ++p) {
      if (static_cast<unsigned char>(*p) >= 0x80) return;
      if (*p == '\\') file = p + 1;
    }
    lstrcpynA(name, file, size);
    return;
  }
  if (processId == GetCurrentProcessId()) {
    const DWORD n = GetModuleFileNameW(nullptr, path, kPathSize);
    if (n == 0 || n >= kPathSize) return;
  } else if (!ImageOfProcess(processId, path, kPathSize)) {
    return;
  }
  FileNameOf(path, name, size);
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

bool WinPlatform::StartDelivery(Delivery* delivery) {
  if (g_added - Read(&g_taken) >= kQueued) return false;
  g_ring[g_added % kQueued] = delivery;
  InterlockedIncrement(&g_added);
  if (InterlockedCompareExchange(&g_running, 1, 0) != 0) return true;  // the running one takes it
  HMODULE pin = PinThisModule();
  HANDLE thread = pin ? CreateThread(nullptr, 0, DeliveryThreadProc, nullptr, 0, nullptr) : nullptr;
  if (thread) {
    CloseHandle(thread);
    return true;
  }
  if (pin) FreeLibrary(pin);
  // No thread now: the delivery stays in the ring, in its place, and goes out with the
  // thread the next delivery starts.
  InterlockedExchange(&g_running, 0);
  return true;
}

bool WinPlatform::EnterStep(uint32_t maxWaitMs) {
  if (!g_stepLock) return false;
  switch (WaitForSingleObject(g_stepLock, maxWaitMs)) {
    case WAIT_ABANDONED:  // its owner ended inside a step: its mark went with its thread
    case WAIT_OBJECT_0:
      break;
    default:  // timed out, or no lock to wait for
      return false;
  }
  if (StepHeldHere()) {  // this thread is inside a step already
    ReleaseMutex(g_stepLock);
    return false;
  }
  MarkStepHeld(true);
  return true;
}

void WinPlatform::LeaveStep() {
  MarkStepHeld(false);
  ReleaseMutex(g_stepLock);
}

void OpenStepLock(bool create) {
  CloseStepLock();
  if (g_stepSlot == TLS_OUT_OF_INDEXES) g_stepSlot = TlsAlloc();
  g_stepLock = create ? CreateMutexA(nullptr, FALSE, kStepLockName)
                      : OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kStepLockName);
}

void CloseStepLock() {
  if (g_stepLock) CloseHandle(g_stepLock);
  g_stepLock = nullptr;
}

void FreeStepSlot() {
  CloseStepLock();
  if (g_stepSlot != TLS_OUT_OF_INDEXES) TlsFree(g_stepSlot);
  g_stepSlot = TLS_OUT_OF_INDEXES;
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

bool WinWatcherPort::Terminating(uint32_t milliseconds) {
  return WaitForSingleObject(term_, milliseconds) != WAIT_TIMEOUT;
}

bool WinWatcherPort::AskHookThread(int32_t serial) {
  if (!hookWindow_) return false;
  // Posted, never sent: the watcher waits for nothing on the hook's thread. A request that
  // cannot be posted belongs to hooks being removed with their window.
  PostMessageA(hookWindow_, kEndStalledBurst, static_cast<WPARAM>(serial), 0);
  return true;
}

void WinWatcherPort::ResetStop() { ResetEvent(stop_); }

}  // namespace pellix::win32
