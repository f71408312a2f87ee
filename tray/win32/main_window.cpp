// The hidden main window: start and stop of the back-end, the tray icon and its menu, the
// commands, and KV_CC_MSG.
#include <windows.h>

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>

#include <cstring>

#include "hooklib/core/delivery.h"
#include "hooklib/core/hook_platform.h"
#include "profiles/core/profile_store.h"
#include "profiles/win32/profiles_page.h"
#include "tray/core/settings_backend.h"
#include "tray/core/tray_menu.h"
#include "tray/win32/history.h"
#include "tray/win32/hook_watch.h"
#include "tray/win32/shell_notify.h"
#include "tray/win32/tray_app.h"
#include "ui/win32/applications_page.h"
#include "ui/win32/settings_sheet.h"

namespace pellix {

namespace {

class SheetHost : public SettingsSheetHost {
 public:
  PageSettings CurrentSettings() override {
    const TraySettings& t = g_app.settings;
    PageSettings s = {t.terminator, t.separator, static_cast<int32_t>(t.outputStyle),
                      static_cast<int32_t>(t.beepOn), t.beepType, t.timeoutMs};
    return s;
  }
  void UpdateSettings(const PageSettings& s, bool saveAndPush) override {
    TraySettings& t = g_app.settings;
    t.terminator = s.terminator;
    t.separator = s.separator;
    t.outputStyle = static_cast<uint32_t>(s.outputStyle);
    t.beepOn = static_cast<uint32_t>(s.beepOn);
    t.beepType = s.beepType;
    t.timeoutMs = s.timeoutMs;
    if (saveAndPush) {
      SaveSettings(*g_app.registry, t, g_app.currentProfileName);
      PushSettings(*g_app.backEnd, t);
    }
  }
  bool DriverMode() override { return g_app.driverMode; }
  DLGPROC ProfilesPageProc() override { return &pellix::ProfilesPageProc; }
  DLGPROC HistoryPageProc() override { return &pellix::HistoryPageProc; }
  DLGPROC ApplicationsPageProc() override { return &pellix::ApplicationsPageProc; }
};

SheetHost g_sheetHost;
Win32TrayPort g_port;
ShellLauncher g_launcher;

// The rows as the library takes them, with the named profiles as they are stored now; a
// library without Pellix_SetApplications types every program alike.
void ApplyApplications() {
  BuildAppRules(g_app.appRows, *g_app.registry, &g_app.appRules, &g_app.appProfiles);
  if (!g_app.library) return;
  const auto set = ExportAs<SetApplicationsFn>(GetProcAddress(g_app.library, kSetApplicationsName));
  if (set) set(&g_app.appRules);
}

void SendDriverCode(uint32_t code) {
  if (g_app.driver) g_app.driver->Control(code, nullptr, 0, nullptr, 0, nullptr);
}

void AddTrayIcon(HWND window) {
  NOTIFYICONDATAA icon = {};
  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;  // the record every shell since Windows 95 reads
  icon.hWnd = window;
  icon.uID = kTrayIconId;
  icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon.uCallbackMessage = kTrayCallbackMessage;
  icon.hIcon = static_cast<HICON>(
      LoadImageA(g_app.instance, MAKEINTRESOURCEA(kTrayIconId), IMAGE_ICON, 16, 16, 0));
  lstrcpynA(icon.szTip, kTrayTip, 64);
  Shell_NotifyIconA(NIM_ADD, &icon);
  if (icon.hIcon) DestroyIcon(icon.hIcon);
}

void RemoveTrayIcon(HWND window) {
  NOTIFYICONDATAA icon = {};
  icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  icon.hWnd = window;
  icon.uID = kTrayIconId;
  Shell_NotifyIconA(NIM_DELETE, &icon);
}

void OpenSettingsSheet(HWND window) {
  if (g_sheetState.open) {
    if (g_sheetState.sheet) SetForegroundWindow(g_sheetState.sheet);
    return;
  }
  g_sheetState.open = 1;
  RunSettingsSheet(window, &g_sheetHost);
  g_sheetState.open = 0;
  ApplyApplications();  // the profiles that rows name may have changed on the Profiles page
}

void ShowTrayMenu(HWND window) {
  HMENU profiles = nullptr;
  HMENU menu = BuildTrayMenu(&profiles);
  if (!menu) return;
  POINT at = {0, 0};
  GetCursorPos(&at);
  SetForegroundWindow(window);
  TrackPopupMenuEx(menu, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr);
  PostMessageA(window, WM_NULL, 0, 0);
  // The submenu goes first; detached, so that the main menu does not destroy it again.
  RemoveMenu(menu, 1, MF_BYPOSITION);
  DestroyMenu(profiles);
  DestroyMenu(menu);
}

void ActivateByName(const char* name) {
  ActivateProfile(*g_app.registry, *g_app.backEnd, g_app.table, g_app.currentProfileName, name);
}

void OnCommand(HWND window, uint32_t id) {
  const TrayCommand command = DecodeTrayCommand(id, g_app.names.Count());
  switch (command.kind) {
    case TrayCommand::kOpenSheet:
      OpenSettingsSheet(window);
      break;
    case TrayCommand::kExit:
      DestroyWindow(window);
      break;
    case TrayCommand::kActivateNoProfile:
      ActivateByName(nullptr);
      ShowCurrentProfile();
      break;
    case TrayCommand::kActivateProfile:
      ActivateByName(g_app.names.GetAt(command.index));
      ShowCurrentProfile();
      break;
    case TrayCommand::kShowProfileOnly:
      ShowCurrentProfile();
      break;
    case TrayCommand::kPressSheetOk:
      if (g_sheetState.sheet) PostMessageA(g_sheetState.sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
      break;
    case TrayCommand::kToggleStartWithWindows:
      ToggleStartWithWindows();
      break;
    case TrayCommand::kNone:
      break;
  }
}

void StartSequence(HWND window) {
  g_app.mainWindow = window;
  if (g_app.driverMode) {
    if (g_app.driverThreadId == 0) {
      DWORD id = 0;
      HANDLE thread = CreateThread(nullptr, 0, &DriverThread, nullptr, 0, &id);
      if (thread) {
        g_app.driverThreadId = id;
        CloseHandle(thread);
      }
    }
    SendDriverCode(kDriverCodeStartStop);
  } else if (!g_app.exports.installHook(window, g_app.force ? 1 : 0)) {
    MessageBoxA(nullptr, kHookInstallFailedText, kHookInstallFailedCaption, MB_OK);
  } else if (g_app.nt && !g_app.force) {
    StartHookWatch(window);  // the low-level hook, which the system may take away
  }
  AddTrayIcon(window);
  WatchForShellRestart();
  ReadBackSettings(*g_app.backEnd, g_app.settings);
  LoadSettings(*g_app.registry, g_app.settings, g_app.currentProfileName);
  StartScanHistory(g_app.instance, *g_app.registry);
  PushSettings(*g_app.backEnd, g_app.settings);
  LoadNames(g_app.names, *g_app.registry);
  ActivateByName(g_app.currentProfileName);
  const ProfilesPageContext profiles = {g_app.registry, g_app.backEnd, &g_app.table,
                                        &g_app.names, g_app.currentProfileName};
  SetProfilesPageContext(profiles);
  LoadAppRows(*g_app.registry, g_app.appRows);
  ApplyApplications();
  SetApplicationsPageContext({g_app.registry, &g_app.appRows, &g_app.names, &ApplyApplications});
}

// The hook library's own word on a scan: first the scan itself, which the profile may claim,
// then, for one it left, what became of it.
uintptr_t OnLibraryNote(const TrayNote& sent) {
  TrayNote note = sent;  // the sender's copy is gone once the handler replies
  note.serial[sizeof note.serial - 1] = note.type[sizeof note.type - 1] =
      note.data[sizeof note.data - 1] = note.program[sizeof note.program - 1] = '\0';
  if (!IsProgramFileName(note.program)) note.program[0] = '\0';  // unknown, or not a name
  if (note.kind == kNoteOutcome) {
    // Refused keys are told after the typing, when the scan's row (typed) may stand already:
    // a row of its own says so.
    if (note.outcome == kOutcomeRefused) {
      HandOverScan(note.type, note.data, ScanAction::kKeysRefused, note.program);
    } else {
      ScanOutcome(note.process, note.burst, note.outcome);
    }
    return 0;
  }
  if (note.kind != kNoteOffer) return 0;
  if (IgnoreRepeat(note.type, note.data)) {  // taken: nothing but its own beep and its row
    if (g_app.settings.beepOn) g_port.Beep(RepeatBeepType(g_app.settings.beepType));
    HandOverScan(note.type, note.data, ScanAction::kRepeatIgnored, note.program);
    return kTrayTookScan;
  }
  // The profile of the program the scan went to, where its row names one.
  const ProfileTable* own = ProfileForProgram(g_app.appRules, g_app.appProfiles, note.program);
  const ScanAction action = TakeOfferedScan(g_port, g_launcher, own ? *own : g_app.table, g_app.settings,
                                            note.data, note.serial, note.type, 0, kTrayTookScan);
  if (action == ScanAction::kLeftToLibrary) {
    ScanLeftToLibrary(note.process, note.burst, note.type, note.data, note.program);
    return kTrayLeftScan;
  }
  HandOverScan(note.type, note.data, action, note.program);
  return kTrayTookScan;
}

void StopSequence(HWND window) {
  if (g_sheetState.sheet) PostMessageA(g_sheetState.sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
  if (g_app.driverMode) {
    SendDriverCode(kDriverCodeStartStop);
    if (g_app.stopEvent) SetEvent(g_app.stopEvent);
  } else {
    StopHookWatch();
    g_app.exports.removeHook();
  }
  RemoveTrayIcon(window);
  StopScanHistory();
  g_app.mainWindow = nullptr;
  PostQuitMessage(0);
}

}  // namespace

HMENU BuildTrayMenu(HMENU* profilesOut) {
  HMENU menu = CreatePopupMenu();
  HMENU profiles = CreatePopupMenu();
  if (!menu || !profiles) {
    if (menu) DestroyMenu(menu);
    if (profiles) DestroyMenu(profiles);
    return nullptr;
  }
  static ProfileMenuItem items[kProfileMenuItems];  // UI thread only
  const int n = ProfileMenuItems(g_app.names, g_app.currentProfileName, items);
  for (int i = 0; i < n; ++i) {
    AppendMenuA(profiles, MF_STRING | (items[i].checked ? MF_CHECKED : MF_UNCHECKED),
                items[i].id, items[i].text);
  }
  AppendMenuA(menu, MF_STRING, kCmdSettings, kMenuSettings);
  AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(profiles), kMenuProfiles);
  AppendStartWithWindowsItem(menu);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCmdExit, kMenuExit);
  SetMenuDefaultItem(menu, kCmdSettings, FALSE);
  if (profilesOut) *profilesOut = profiles;
  return menu;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_app.scanMessage != 0 && message == g_app.scanMessage) {
    return OnScanMessage(g_port, g_launcher, g_app.table, g_app.settings,
                         static_cast<uint16_t>(wParam), HIWORD(lParam), LOWORD(lParam));
  }
  if (message == WM_COPYDATA && g_app.scanMessage != 0) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (copy && copy->dwData == kTrayNoteTag && copy->cbData == sizeof(TrayNote) && copy->lpData)
      return static_cast<LRESULT>(OnLibraryNote(*static_cast<const TrayNote*>(copy->lpData)));
  }
  if (IsShellRestart(message)) {  // the shell came back without the icon
    AddTrayIcon(window);
    return 0;
  }
  OnHookWatchMessage(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      StartSequence(window);
      return 0;
    case WM_DESTROY:
      StopSequence(window);
      break;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The process ends once this returns: the scans it holds go to the log, or are kept.
      if (wParam) StopScanHistory();
      return 0;
    case WM_COMMAND:
      OnCommand(window, LOWORD(wParam));
      break;
    case kTrayCallbackMessage:
      if (lParam == WM_LBUTTONDBLCLK) {
        OpenSettingsSheet(window);
      } else if (lParam == WM_RBUTTONUP) {
        ShowTrayMenu(window);
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kAppIconId));
  wc.lpszClassName = kWindowClassName;
  return RegisterClassA(&wc) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
  return CreateWindowExA(0, kWindowClassName, nullptr, 0, 0, 0, 0, 0, nullptr, nullptr,
                         instance, nullptr);
}

}  // namespace pellix
