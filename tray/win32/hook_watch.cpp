#include "tray/win32/hook_watch.h"

#include "hooklib/win32/bind_exports.h"
#include "profiles/core/profile_store.h"
#include "tray/core/settings_backend.h"
#include "tray/core/tray_menu.h"
#include "tray/win32/shell_notify.h"
#include "tray/win32/tray_app.h"

namespace pellix {

namespace {

// Raw input arrived with Windows XP: bound at run time, so that the x86 program still starts
// on Windows 98 SE and 2000, where it then goes without the watch.
using RegisterRawInputDevicesFn = BOOL(WINAPI*)(const RAWINPUTDEVICE*, UINT, UINT);
using GetRawInputDataFn = UINT(WINAPI*)(HRAWINPUT, UINT, void*, UINT*, UINT);

struct RawInputCalls {
  RegisterRawInputDevicesFn registerDevices = nullptr;
  GetRawInputDataFn getData = nullptr;
};

const RawInputCalls& RawInput() {
  static RawInputCalls calls;
  static bool bound = false;
  if (!bound) {
    bound = true;
    if (HMODULE user = GetModuleHandleA("user32.dll")) {
      calls.registerDevices = ExportAs<RegisterRawInputDevicesFn>(
          GetProcAddress(user, "RegisterRawInputDevices"));
      calls.getData = ExportAs<GetRawInputDataFn>(GetProcAddress(user, "GetRawInputData"));
    }
  }
  return calls;
}

// The keyboard (generic desktop page 1, usage 6), also while another program has the focus.
bool RegisterKeyboard(HWND window, bool on) {
  const RawInputCalls& raw = RawInput();
  if (!raw.registerDevices) return false;
  RAWINPUTDEVICE device = {};
  device.usUsagePage = 1;
  device.usUsage = 6;
  device.dwFlags = on ? RIDEV_INPUTSINK : RIDEV_REMOVE;
  device.hwndTarget = on ? window : nullptr;
  return raw.registerDevices(&device, 1, sizeof device) != FALSE;
}

// Whether the input desktop is this thread's: while another has the input (the secure
// desktop of a UAC prompt, the logon screen, a locked station) no key reaches this desktop's
// hooks, and raw input proves nothing. Bound at run time like raw input.
bool InputDesktopIsOurs() {
  using OpenInputDesktopFn = HDESK(WINAPI*)(DWORD, BOOL, ACCESS_MASK);
  using GetThreadDesktopFn = HDESK(WINAPI*)(DWORD);
  using CloseDesktopFn = BOOL(WINAPI*)(HDESK);
  using GetNameFn = BOOL(WINAPI*)(HANDLE, int, PVOID, DWORD, LPDWORD);
  static HMODULE user = GetModuleHandleA("user32.dll");
  static const auto open = ExportAs<OpenInputDesktopFn>(GetProcAddress(user, "OpenInputDesktop"));
  static const auto own = ExportAs<GetThreadDesktopFn>(GetProcAddress(user, "GetThreadDesktop"));
  static const auto close = ExportAs<CloseDesktopFn>(GetProcAddress(user, "CloseDesktop"));
  static const auto name = ExportAs<GetNameFn>(GetProcAddress(user, "GetUserObjectInformationA"));
  if (!open || !own || !close || !name) return true;
  HDESK input = open(0, FALSE, DESKTOP_READOBJECTS);
  if (!input) return false;
  char inputName[64] = {}, ownName[64] = {};
  DWORD needed = 0;
  const bool same = name(input, UOI_NAME, inputName, sizeof inputName - 1, &needed) &&
                    name(own(GetCurrentThreadId()), UOI_NAME, ownName, sizeof ownName - 1, &needed) &&
                    lstrcmpiA(inputName, ownName) == 0;
  close(input);
  return same;
}

}  // namespace

bool HookWatch::Start(HWND window, GetKeyCountFn keyCount, HookWatchHost* host) {
  Stop();
  const RawInputCalls& raw = RawInput();
  if (!window || !keyCount || !host || !raw.getData || !RegisterKeyboard(window, true)) {
    return false;
  }
  if (!SetTimer(window, kTimerId, HookWatchdog::kCheckPeriodMs, nullptr)) {
    RegisterKeyboard(window, false);
    return false;
  }
  window_ = window;
  keyCount_ = keyCount;
  host_ = host;
  rule_.Reset(GetTickCount(), keyCount_(), raw_);
  return true;
}

void HookWatch::Stop() {
  if (!window_) return;
  KillTimer(window_, kTimerId);
  RegisterKeyboard(window_, false);
  window_ = nullptr;
}

void HookWatch::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window_ || window != window_) return;
  if (message == WM_INPUT) {
    RAWINPUTHEADER header = {};
    UINT size = sizeof header;
    const UINT got = RawInput().getData(reinterpret_cast<HRAWINPUT>(lParam), RID_HEADER,
                                        &header, &size, sizeof header);
    if (got == sizeof header && header.dwType == RIM_TYPEKEYBOARD) ++raw_;
    return;
  }
  if (message != WM_TIMER || wParam != kTimerId) return;
  if (!InputDesktopIsOurs()) {
    rule_.Reset(GetTickCount(), keyCount_(), raw_);
    return;
  }
  if (!rule_.Check(GetTickCount(), keyCount_(), raw_)) return;
  // A reinstallation that failed is tried again on new evidence, without a word.
  if (host_->Reinstall() && !told_) {
    told_ = true;
    host_->ShowReinstalled(kHookReinstalledText);
  }
  rule_.Reinstalled(GetTickCount(), keyCount_(), raw_);
  if (rule_.BackingOff() && !toldBackOff_) {
    toldBackOff_ = true;
    host_->ShowReinstalled(kHookBackOffText);
  }
}

// The tray program's side.
namespace {

class TrayHookHost : public HookWatchHost {
 public:
  bool Reinstall() override {
    // As a fresh installation: the library resets the recognizer and empties its transform
    // table, so the current profile's transforms go back in.
    g_app.exports.removeHook();
    const bool installed = g_app.exports.installHook(g_app.mainWindow, g_app.force ? 1 : 0) != 0;
    PushTransforms(g_app.table, *g_app.backEnd);
    return installed;
  }
  void ShowReinstalled(const char* text) override {
    ShowTrayBalloon(g_app.mainWindow, kTrayIconId, kTrayTip, text);
  }
};

TrayHookHost g_trayHost;
HookWatch g_trayWatch;

}  // namespace

void StartHookWatch(HWND window) {
  const auto keyCount =
      g_app.library ? ExportAs<GetKeyCountFn>(GetProcAddress(g_app.library, kGetKeyCountName))
                    : nullptr;
  g_trayWatch.Start(window, keyCount, &g_trayHost);
}

void StopHookWatch() { g_trayWatch.Stop(); }

void OnHookWatchMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_trayWatch.OnMessage(window, message, wParam, lParam);
}

}  // namespace pellix
