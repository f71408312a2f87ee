// Start-up: one instance, the choice of back-end, the hidden main window, the message loop
// and the shutdown in order.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "profiles/win32/win32_registry.h"
#include "tray/core/settings_backend.h"
#include "tray/win32/tray_app.h"
#include "ui/win32/shell_open.h"

namespace pellix {

TrayApp g_app;

namespace {

// Longest wait at the end for launches still starting.
constexpr DWORD kLaunchWaitOnExitMs = 5000;

// "\\.\" and the short path of PELLIX.VXD beside the program.
bool DriverDeviceName(HINSTANCE instance, char* name, size_t capacity) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(instance, self, sizeof self);
  if (n == 0 || n >= sizeof self) return false;
  char drive[_MAX_DRIVE], dir[_MAX_DIR];
  _splitpath(self, drive, dir, nullptr, nullptr);
  char path[MAX_PATH];
  _makepath(path, drive, dir, "PELLIX", "VXD");
  char shortPath[MAX_PATH];
  const DWORD s = GetShortPathNameA(path, shortPath, sizeof shortPath);
  const char* chosen = (s != 0 && s < sizeof shortPath) ? shortPath : path;
  const char prefix[] = "\\\\.\\";
  if (std::strlen(prefix) + std::strlen(chosen) + 1 > capacity) return false;
  std::strcpy(name, prefix);
  std::strcat(name, chosen);
  return true;
}

bool OpenDriver(HINSTANCE instance) {
  char name[MAX_PATH + 8];
  if (!DriverDeviceName(instance, name, sizeof name)) return false;
  HANDLE device = CreateFileA(name, 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (device == INVALID_HANDLE_VALUE) return false;
  g_app.device = device;
  g_app.driverMode = true;
  g_app.stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return true;
}

}  // namespace

int RunPellix(HINSTANCE instance, const char* arguments) {
  if (!arguments) arguments = "";
  g_app.instance = instance;

  HANDLE mutex = CreateMutexA(nullptr, FALSE, kWindowClassName);
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  if (mutex) WaitForSingleObject(mutex, INFINITE);
  g_app.mutex = mutex;

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  g_app.nt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  g_app.force = std::strstr(arguments, "-98") != nullptr;

  if (!g_app.nt && std::strstr(arguments, "-novxd") == nullptr) OpenDriver(instance);

  static Win32Registry registry;
  g_app.registry = &registry;
  static DeviceDriverPort* devicePort = nullptr;
  static SettingsBackEnd* backEnd = nullptr;
  if (g_app.driverMode) {
    devicePort = new DeviceDriverPort(g_app.device);
    g_app.driver = devicePort;
    backEnd = new DriverBackEnd(*devicePort);
  } else {
    g_app.library = LoadLibraryA(kHookLibraryName);
    if (!g_app.library || !BindHookExports(g_app.library, &g_app.exports)) {
      MessageBoxA(nullptr, kHookLoadFailedText, kHookLoadFailedCaption, MB_OK | MB_ICONWARNING);
      return 0;
    }
    g_app.scanMessage = RegisterWindowMessageA(kScanMessageName);
    backEnd = new HookLibraryBackEnd(g_app.exports);
  }
  g_app.backEnd = backEnd;

  InitCommonControls();
  RegisterMainWindowClass(instance);
  if (!CreateMainWindow(instance)) {
    // Nothing runs without the window: say so rather than linger invisibly.
    MessageBoxA(nullptr, "Unable to create the main window.", kHookLoadFailedCaption,
                MB_OK | MB_ICONWARNING);
  } else {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  // A scan's command or an address may still be starting on a launcher thread; ending the
  // process would cut it off (a DDE conversation half done).
  WaitForLaunches(kLaunchWaitOnExitMs);
  if (g_app.driverMode) {
    Sleep(250);  // the driver thread unregisters in the meantime
    CloseHandle(g_app.device);
    g_app.device = INVALID_HANDLE_VALUE;
  } else {
    FreeLibrary(g_app.library);
    g_app.library = nullptr;
  }
  if (g_app.mutex) {
    ReleaseMutex(g_app.mutex);
    CloseHandle(g_app.mutex);
    g_app.mutex = nullptr;
  }
  return 0;
}

}  // namespace pellix
