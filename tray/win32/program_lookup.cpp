// What a profile's Program runs, looked up on the real file system, environment and registry,
// and the launch itself: wide calls on NT, the ANSI code page on Windows 9x.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "tray/win32/tray_app.h"
#include "tray/win32/wide_calls.h"
#include "ui/win32/shell_open.h"

namespace pellix {

namespace {

const wchar_t* AsWide(const WideText& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
WideText FromWide(const wchar_t* text) { return WideText(reinterpret_cast<const char16_t*>(text)); }

std::string ToAnsi(const WideText& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, AsWide(text), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, 0, AsWide(text), -1, buffer.data(), n, nullptr, nullptr);
  return std::string(buffer.data());
}

WideText AnsiToWide(const char* text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return WideText();
  std::vector<wchar_t> buffer(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, text, -1, buffer.data(), n);
  return FromWide(buffer.data());
}

constexpr DWORD kPathSize = 32768;  // the longest path Windows NT takes

// A folder by a call that fills a buffer; empty when it fails.
WideText WideFolder(UINT (WINAPI* call)(LPWSTR, UINT)) {
  std::vector<wchar_t> buffer(kPathSize);
  const UINT n = call(buffer.data(), kPathSize);
  return n > 0 && n < kPathSize ? FromWide(buffer.data()) : WideText();
}

WideText AnsiFolder(UINT (WINAPI* call)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 1];
  const UINT n = call(buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? AnsiToWide(buffer) : WideText();
}

WideText ExpandVariables(const WideText& text) {
  const WideCalls* wide = Wide();
  if (wide) {
    std::vector<wchar_t> buffer(kPathSize);
    const DWORD n = wide->expandEnvironment(AsWide(text), buffer.data(), kPathSize);
    return n > 0 && n <= kPathSize ? FromWide(buffer.data()) : text;
  }
  char buffer[MAX_PATH * 2];
  const DWORD n = ExpandEnvironmentStringsA(ToAnsi(text).c_str(), buffer, sizeof buffer);
  return n > 0 && n <= sizeof buffer ? AnsiToWide(buffer) : text;
}

// The default value of a key of App Paths under `root`.
bool ReadAppPath(HKEY root, const WideText& name, WideText* path) {
  const WideText key = u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
  const WideCalls* wide = Wide();
  HKEY opened = nullptr;
  DWORD type = 0;
  bool found = false;
  if (wide) {
    if (wide->regOpenKey(root, AsWide(key), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
      return false;
    std::vector<wchar_t> value(kPathSize + 1, L'\0');
    DWORD size = kPathSize * sizeof(wchar_t);
    found = wide->regQueryValue(opened, nullptr, nullptr, &type,
                                reinterpret_cast<BYTE*>(value.data()), &size) == ERROR_SUCCESS;
    if (found) *path = FromWide(value.data());
  } else {
    if (RegOpenKeyExA(root, ToAnsi(key).c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
      return false;
    char value[MAX_PATH * 2 + 1] = {};
    DWORD size = sizeof value - 1;
    found = RegQueryValueExA(opened, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS;
    if (found) *path = AnsiToWide(value);
  }
  RegCloseKey(opened);
  found = found && (type == REG_SZ || type == REG_EXPAND_SZ) && !path->empty();
  if (found && type == REG_EXPAND_SZ) *path = ExpandVariables(*path);
  return found;
}

}  // namespace

WideText ShellLauncher::FromAnsi(const char* text) { return AnsiToWide(text); }

bool ShellLauncher::IsFile(const WideText& path) {
  const WideCalls* wide = Wide();
  const DWORD attributes =
      wide ? wide->fileAttributes(AsWide(path)) : GetFileAttributesA(ToAnsi(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

WideText ShellLauncher::Variable(const char16_t* name) {
  const WideCalls* wide = Wide();
  if (wide) {
    std::vector<wchar_t> buffer(kPathSize);
    const DWORD n = wide->environmentVariable(reinterpret_cast<const wchar_t*>(name),
                                              buffer.data(), kPathSize);
    return n > 0 && n < kPathSize ? FromWide(buffer.data()) : WideText();
  }
  std::vector<char> buffer(kPathSize);
  const DWORD n = GetEnvironmentVariableA(ToAnsi(name).c_str(), buffer.data(), kPathSize);
  return n > 0 && n < kPathSize ? AnsiToWide(buffer.data()) : WideText();
}

std::vector<WideText> ShellLauncher::SystemFolders() {
  std::vector<WideText> folders;
  const WideCalls* wide = Wide();
  if (wide) {
    std::vector<wchar_t> current(kPathSize);
    const DWORD n = wide->currentDirectory(kPathSize, current.data());
    if (n > 0 && n < kPathSize) folders.push_back(FromWide(current.data()));
    folders.push_back(WideFolder(wide->systemDirectory));
    folders.push_back(WideFolder(wide->windowsDirectory));
  } else {
    char current[MAX_PATH + 1];
    const DWORD n = GetCurrentDirectoryA(sizeof current, current);
    if (n > 0 && n < sizeof current) folders.push_back(AnsiToWide(current));
    folders.push_back(AnsiFolder(&GetSystemDirectoryA));
    folders.push_back(AnsiFolder(&GetWindowsDirectoryA));
  }
  return folders;
}

bool ShellLauncher::AppPath(const WideText& name, WideText* path) {
  return ReadAppPath(HKEY_CURRENT_USER, name, path) ||
         ReadAppPath(HKEY_LOCAL_MACHINE, name, path);
}

bool ShellLauncher::ShortcutTarget(const WideText& path, WideText* target) {
  // This thread may have COM already, in either model; it is used as it is then.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  bool found = false;
  if (Wide()) {
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    wchar_t buffer[MAX_PATH + 1] = {};
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellLinkW, reinterpret_cast<void**>(&link)))) {
      if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        found = SUCCEEDED(file->Load(AsWide(path), STGM_READ)) &&
                link->GetPath(buffer, MAX_PATH, nullptr, 0) == S_OK && buffer[0] != L'\0';
        file->Release();
      }
      link->Release();
    }
    if (found) *target = FromWide(buffer);
  } else {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    char buffer[MAX_PATH + 1] = {};
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
      if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        // IPersistFile takes a wide path on Windows 9x too.
        found = SUCCEEDED(file->Load(AsWide(path), STGM_READ)) &&
                link->GetPath(buffer, MAX_PATH, nullptr, 0) == S_OK && buffer[0] != '\0';
        file->Release();
      }
      link->Release();
    }
    if (found) *target = AnsiToWide(buffer);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return found;
}

void ShellLauncher::Open(const char16_t* file, const char16_t* params, int32_t showMode) {
  if (Wide()) {
    ShellOpenWide(reinterpret_cast<const wchar_t*>(file),
                  reinterpret_cast<const wchar_t*>(params), showMode);
    return;
  }
  const std::string ansiFile = ToAnsi(file);
  const std::string ansiParams = params ? ToAnsi(params) : std::string();
  ShellOpen(ansiFile.c_str(), params ? ansiParams.c_str() : nullptr, showMode);
}

}  // namespace pellix
