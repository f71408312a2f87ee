// "Start with Windows": the current user's Run value "Pellix", read each time the tray menu
// opens, so that a change made elsewhere shows. On NT in wide characters: the program's
// folder may be named in any script, whatever the system's code page.
#include <windows.h>

#include "tray/core/start_with_windows.h"
#include "tray/core/tray_menu.h"
#include "tray/win32/history.h"
#include "tray/win32/tray_app.h"
#include "tray/win32/wide_calls.h"

namespace pellix {

namespace {

constexpr char kRunChangeFailed[] = "Unable to change the programs that start with Windows.";

// The system's calls for one kind of text.
struct AnsiCalls {
  using Char = char;
  static DWORD ModuleFileName(Char* path, DWORD size) { return GetModuleFileNameA(nullptr, path, size); }
  static const Char* CommandLine() { return GetCommandLineA(); }
  static LONG Query(HKEY key, Char* text, DWORD* size, DWORD* type) {
    return RegQueryValueExA(key, kRunValueName, nullptr, type, reinterpret_cast<BYTE*>(text), size);
  }
  static LONG Set(HKEY key, const Char* text, DWORD size) {
    return RegSetValueExA(key, kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
  }
  static LONG Delete(HKEY key) { return RegDeleteValueA(key, kRunValueName); }
};
// NT only (Wide() is not null there).
struct WidePathCalls {
  using Char = wchar_t;
  static DWORD ModuleFileName(Char* path, DWORD size) { return Wide()->moduleFileName(nullptr, path, size); }
  static const Char* CommandLine() { return Wide()->commandLine(); }
  static LONG Query(HKEY key, Char* text, DWORD* size, DWORD* type) {
    return Wide()->regQueryValue(key, L"Pellix", nullptr, type, reinterpret_cast<BYTE*>(text), size);
  }
  static LONG Set(HKEY key, const Char* text, DWORD size) {
    return Wide()->regSetValue(key, L"Pellix", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
  }
  static LONG Delete(HKEY key) { return Wide()->regDeleteValue(key, L"Pellix"); }
};

template <class Calls, class Char = typename Calls::Char>
bool ProgramPath(Char (&path)[MAX_PATH]) {
  const DWORD n = Calls::ModuleFileName(path, MAX_PATH);
  return n != 0 && n < MAX_PATH;
}

// The stored command, or empty when there is none.
template <class Calls, class Char = typename Calls::Char>
void StoredRunCommand(Char (&text)[kRunCommandSize]) {
  text[0] = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD type = 0, size = sizeof text - sizeof(Char);
  const LONG read = Calls::Query(key, text, &size, &type);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) text[0] = 0;
  else text[size / sizeof(Char)] = 0;
}

template <class Calls, class Char = typename Calls::Char>
bool StartsThisCopy() {
  Char path[MAX_PATH], stored[kRunCommandSize];
  StoredRunCommand<Calls>(stored);
  return ProgramPath<Calls>(path) && RunCommandStartsProgram<Char>(stored, path);
}

// The value for this copy as it runs now: removed when it is that already, else written.
template <class Calls, class Char = typename Calls::Char>
void Toggle() {
  Char path[MAX_PATH], wanted[kRunCommandSize], stored[kRunCommandSize];
  const bool made = ProgramPath<Calls>(path) &&
                    RunCommand<Char>(path, CommandLineOptions<Char>(Calls::CommandLine()), wanted);
  StoredRunCommand<Calls>(stored);
  const bool remove = made && SameRunCommand<Char>(stored, wanted);
  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kRunKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, &disposition);
  if (result == ERROR_SUCCESS) {
    if (!made) {
      result = ERROR_BAD_PATHNAME;
    } else if (remove) {
      result = Calls::Delete(key);
    } else {
      int length = 0;
      while (wanted[length]) ++length;
      result = Calls::Set(key, wanted, static_cast<DWORD>((length + 1) * sizeof(Char)));
    }
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) MessageBoxA(nullptr, kRunChangeFailed, "Pellix", MB_OK | MB_ICONWARNING);
}

}  // namespace

void AppendStartWithWindowsItem(HMENU menu) {
  const bool checked = Wide() ? StartsThisCopy<WidePathCalls>() : StartsThisCopy<AnsiCalls>();
  AppendMenuA(menu, MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED), kCmdStartWithWindows,
              kMenuStartWithWindows);
}

void ToggleStartWithWindows() {
  if (Wide()) Toggle<WidePathCalls>();
  else Toggle<AnsiCalls>();
}

}  // namespace pellix
