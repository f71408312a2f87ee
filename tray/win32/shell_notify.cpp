#include "tray/win32/shell_notify.h"

#include <shellapi.h>

#include "hooklib/win32/bind_exports.h"

namespace pellix {

namespace {

UINT g_taskbarCreated = 0;

// shell32's DllGetVersion record (shlwapi's DLLVERSIONINFO).
struct ShellVersion {
  DWORD size;
  DWORD major;
  DWORD minor;
  DWORD build;
  DWORD platform;
};
using DllGetVersionFn = HRESULT(CALLBACK*)(ShellVersion*);

// The shell's major version: 4 where shell32 has no DllGetVersion (before Internet
// Explorer 4), or where the call fails.
DWORD ShellMajorVersion() {
  HMODULE shell = GetModuleHandleA("shell32.dll");
  const auto get =
      shell ? ExportAs<DllGetVersionFn>(GetProcAddress(shell, "DllGetVersion")) : nullptr;
  ShellVersion v = {sizeof v, 0, 0, 0, 0};
  return (get && SUCCEEDED(get(&v))) ? v.major : 4;
}

}  // namespace

void WatchForShellRestart() {
  g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
  if (g_taskbarCreated == 0) return;
  // An elevated Pellix would not hear the shell, which runs with less rights.
  using FilterFn = BOOL(WINAPI*)(UINT, DWORD);
  HMODULE user = GetModuleHandleA("user32.dll");
  const auto filter =
      user ? ExportAs<FilterFn>(GetProcAddress(user, "ChangeWindowMessageFilter")) : nullptr;
  if (filter) filter(g_taskbarCreated, 1 /* MSGFLT_ADD */);
}

bool IsShellRestart(UINT message) { return g_taskbarCreated != 0 && message == g_taskbarCreated; }

bool ShowTrayBalloon(HWND window, UINT id, const char* title, const char* text) {
  if (ShellMajorVersion() < 5) return false;
  // The 5.0 record (up to dwInfoFlags): what every shell since Windows 2000 and Me reads;
  // later shells take it as well.
  NOTIFYICONDATAA icon = {};
  icon.cbSize = NOTIFYICONDATAA_V2_SIZE;
  icon.hWnd = window;
  icon.uID = id;
  icon.uFlags = NIF_INFO;
  lstrcpynA(icon.szInfo, text, sizeof icon.szInfo);
  lstrcpynA(icon.szInfoTitle, title, sizeof icon.szInfoTitle);
  icon.uTimeout = 10000;
  icon.dwInfoFlags = NIIF_INFO;
  return Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE;
}

}  // namespace pellix
