// The tray program's process-wide state and its Windows glue: start-up, the hidden main
// window with the tray icon and menu, the platform behind scan handling, and the driver
// thread. One instance per process; everything here runs on the user-interface thread
// except where a comment says otherwise.
#pragma once
#include <windows.h>

#include "hooklib/exports.h"
#include "hooklib/win32/bind_exports.h"
#include "profiles/core/profile_model.h"
#include "tray/core/driver_path.h"
#include "tray/core/scan_handling.h"
#include "tray/core/settings_store.h"
#include "ui/core/applications.h"

namespace pellix {

class SettingsBackEnd;
class RegistryPort;

constexpr char kWindowClassName[] = "PellixWndCls";  // also the single-instance mutex
constexpr char kHookLibraryName[] = "KEYWEDGE.DLL";
constexpr char kScanMessageName[] = "KV_CC_MSG";
constexpr char kHookLoadFailedText[] = "Unable to Install Keyboard Hook.";
constexpr char kHookLoadFailedCaption[] = "Pellix Error";
constexpr char kHookInstallFailedText[] = "Unable to install hook.";
constexpr char kHookInstallFailedCaption[] = "Error";
constexpr int kAppIconId = 102;

struct TrayApp {
  HINSTANCE instance = nullptr;
  HANDLE mutex = nullptr;
  bool nt = true;
  bool force = false;           // "-98": the keyboard-and-message hooks on every platform
  bool driverMode = false;      // PELLIX.VXD opened; fixed for the run
  HANDLE device = INVALID_HANDLE_VALUE;
  HANDLE stopEvent = nullptr;   // driver mode: set at shutdown, ends the driver thread
  HMODULE library = nullptr;
  HookLibraryExports exports = {};
  UINT scanMessage = 0;         // KV_CC_MSG, library mode only
  HWND mainWindow = nullptr;
  volatile DWORD driverThreadId = 0;

  DriverPort* driver = nullptr;          // driver mode: the device's calls
  SettingsBackEnd* backEnd = nullptr;    // the library's exports or the driver
  RegistryPort* registry = nullptr;

  TraySettings settings;
  char currentProfileName[kProfileNameSize] = {};
  ProfileTable table;
  ProfileNameList names;

  // The Applications page's rows, the table handed to the library and the profiles rows name.
  AppRows appRows = {};
  AppRules appRules = {};
  AppProfiles appProfiles;
};
extern TrayApp g_app;

// Program entry: `arguments` is the command line after the program name. Returns 0.
int RunPellix(HINSTANCE instance, const char* arguments);

// Registers "PellixWndCls" and creates the hidden main window (which starts everything).
bool RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The tray menu as ShowTrayMenu pops it up; `profiles` receives the submenu. Destroying the
// main menu destroys both.
HMENU BuildTrayMenu(HMENU* profiles);

// The platform behind scan handling: real windows, atoms, beeps and the Settings sheet.
class Win32TrayPort : public TrayPort {
 public:
  WindowRef ForegroundWindow() override;
  SheetView Sheet() override;
  void Beep(int32_t beepType) override;
  void ShowTrace(WindowRef settingsPage, const char* serial, const char* type,
                 const char* data) override;
  bool ReadAtom(uint16_t atom, char* text, int capacity) override;
  void DeleteAtom(uint16_t atom) override;
  void Reply(intptr_t result) override;
  void NoteScan(const char* type, const char* data, ScanAction action) override;
  bool OwnWindow(WindowRef window) override;
  void TellRefusal(const char* code, const char* why) override;
};

// A scan's command: what it runs looked up on the real system, then opened through the
// shell off the calling thread (ShellOpenWide on NT, ShellOpen in the ANSI code page on 9x).
class ShellLauncher : public CommandLauncher {
 public:
  WideText FromAnsi(const char* text) override;
  bool IsFile(const WideText& path) override;
  WideText Variable(const char16_t* name) override;
  std::vector<WideText> SystemFolders() override;
  bool AppPath(const WideText& name, WideText* path) override;
  bool ShortcutTarget(const WideText& path, WideText* target) override;
  void Open(const char16_t* file, const char16_t* params, int32_t showMode) override;
};

class Win32KeyboardLayout : public KeyboardLayout {
 public:
  int16_t KeyScan(char c) override;
  uint32_t ScanCodeOf(uint32_t virtualKey) override;
  bool IsDeadKey(uint32_t virtualKey) override;
};

// The driver's calls as DeviceIoControl on the opened device.
class DeviceDriverPort : public DriverPort {
 public:
  explicit DeviceDriverPort(HANDLE device) : device_(device) {}
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* bytesReturned) override;

 private:
  HANDLE device_;
};

// Driver mode. The thread registers DriverScanRoutine with g_app.driver and waits alertably
// on g_app.stopEvent; the routine runs on it once per scan the driver queues.
DWORD WINAPI DriverThread(LPVOID unused);
VOID CALLBACK DriverScanRoutine(ULONG_PTR record);

}  // namespace pellix
