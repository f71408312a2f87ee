#include "tray/win32/wide_calls.h"

#include "hooklib/win32/bind_exports.h"
#include "tray/win32/tray_app.h"

namespace pellix {

namespace {

template <class Fn>
bool Bind(Fn& to, const char* library, const char* name) {
  HMODULE module = GetModuleHandleA(library);
  if (!module) module = LoadLibraryA(library);
  to = module ? ExportAs<Fn>(GetProcAddress(module, name)) : nullptr;
  return to != nullptr;
}

}  // namespace

const WideCalls* Wide() {
  static WideCalls calls;
  static int state = 0;  // 0 not bound yet, 1 bound, -1 none
  if (state == 0) {
    state = g_app.nt &&
                    Bind(calls.createFile, "kernel32.dll", "CreateFileW") &&
                    Bind(calls.fullPathName, "kernel32.dll", "GetFullPathNameW") &&
                    Bind(calls.moveFileEx, "kernel32.dll", "MoveFileExW") &&
                    Bind(calls.deleteFile, "kernel32.dll", "DeleteFileW") &&
                    Bind(calls.moduleFileName, "kernel32.dll", "GetModuleFileNameW") &&
                    Bind(calls.commandLine, "kernel32.dll", "GetCommandLineW") &&
                    Bind(calls.formatMessage, "kernel32.dll", "FormatMessageW") &&
                    Bind(calls.fileAttributes, "kernel32.dll", "GetFileAttributesW") &&
                    Bind(calls.environmentVariable, "kernel32.dll", "GetEnvironmentVariableW") &&
                    Bind(calls.expandEnvironment, "kernel32.dll", "ExpandEnvironmentStringsW") &&
                    Bind(calls.currentDirectory, "kernel32.dll", "GetCurrentDirectoryW") &&
                    Bind(calls.systemDirectory, "kernel32.dll", "GetSystemDirectoryW") &&
                    Bind(calls.windowsDirectory, "kernel32.dll", "GetWindowsDirectoryW") &&
                    Bind(calls.regOpenKey, "advapi32.dll", "RegOpenKeyExW") &&
                    Bind(calls.createDirectory, "kernel32.dll", "CreateDirectoryW") &&
                    Bind(calls.setDlgItemText, "user32.dll", "SetDlgItemTextW") &&
                    Bind(calls.getDlgItemText, "user32.dll", "GetDlgItemTextW") &&
                    Bind(calls.messageBox, "user32.dll", "MessageBoxW") &&
                    Bind(calls.getSaveFileName, "comdlg32.dll", "GetSaveFileNameW") &&
                    Bind(calls.regQueryValue, "advapi32.dll", "RegQueryValueExW") &&
                    Bind(calls.regSetValue, "advapi32.dll", "RegSetValueExW") &&
                    Bind(calls.regDeleteValue, "advapi32.dll", "RegDeleteValueW")
                ? 1
                : -1;
  }
  return state == 1 ? &calls : nullptr;
}

}  // namespace pellix
