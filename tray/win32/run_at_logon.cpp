// "Start with Windows": the current user's Run value "Pellix", read each time the tray menu
// opens, so that a change made elsewhere shows.
#include <windows.h>

#include <string>

#include "tray/core/start_with_windows.h"
#include "tray/core/tray_menu.h"
#include "tray/win32/history.h"

namespace pellix {

namespace {

bool ProgramPath(char (&path)[MAX_PATH]) {
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return n != 0 && n < MAX_PATH;
}

// The stored command, or empty when there is none.
std::string StoredRunCommand() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return "";
  char text[2 * MAX_PATH + 64] = {};
  DWORD type = 0, size = sizeof text - 1;
  const LONG read = RegQueryValueExA(key, kRunValueName, nullptr, &type,
                                     reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return "";
  return text;
}

bool StartsThisCopy() {
  char path[MAX_PATH];
  return ProgramPath(path) && RunCommandStartsProgram(StoredRunCommand().c_str(), path);
}

}  // namespace

void AppendStartWithWindowsItem(HMENU menu) {
  AppendMenuA(menu, MF_STRING | (StartsThisCopy() ? MF_CHECKED : MF_UNCHECKED),
              kCmdStartWithWindows, kMenuStartWithWindows);
}

void ToggleStartWithWindows() {
  const bool remove = StartsThisCopy();
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, &disposition) != ERROR_SUCCESS) {
    MessageBoxA(nullptr, "Unable to change the programs that start with Windows.", "Pellix",
                MB_OK | MB_ICONWARNING);
    return;
  }
  LONG result;
  if (remove) {
    result = RegDeleteValueA(key, kRunValueName);
  } else {
    char path[MAX_PATH];
    const std::string command =
        ProgramPath(path) ? RunCommand(path, CommandLineOptions(GetCommandLineA())) : "";
    result = command.empty() ? ERROR_BAD_PATHNAME
                             : RegSetValueExA(key, kRunValueName, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(command.c_str()),
                                              static_cast<DWORD>(command.size() + 1));
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) {
    MessageBoxA(nullptr, "Unable to change the programs that start with Windows.", "Pellix",
                MB_OK | MB_ICONWARNING);
  }
}

}  // namespace pellix
