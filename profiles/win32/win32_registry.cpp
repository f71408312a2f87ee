#include "profiles/win32/win32_registry.h"

#include <windows.h>

#include <string>

namespace pellix {

namespace {
HKEY H(RegKey key) { return static_cast<HKEY>(key); }

// The text in UTF-16; false when it is not text of the code page (MB_ERR_INVALID_CHARS).
bool ToWide(UINT codePage, DWORD flags, const char* text, std::wstring& out) {
  const int n = MultiByteToWideChar(codePage, flags, text, -1, nullptr, 0);
  if (n <= 0) return false;
  out.assign(static_cast<size_t>(n), L'\0');
  return MultiByteToWideChar(codePage, flags, text, -1, &out[0], n) == n;
}

// A value's name as the A calls take it; null names the key's default value.
bool WideName(const char* name, std::wstring& out) {
  if (name == nullptr) name = "";
  return ToWide(CP_ACP, 0, name, out);
}

// Bound at run time: Windows 9x has the W registry calls only as stubs that fail
// (ERROR_CALL_NOT_IMPLEMENTED), or not at all.
using SetValueWFn = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD);
using QueryValueWFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);

template <class Fn>
Fn Advapi32Export(const char* name) {
  HMODULE advapi = GetModuleHandleA("advapi32.dll");
  FARPROC address = advapi ? GetProcAddress(advapi, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(address));
}

LONG SetValueW(HKEY key, const WCHAR* name, const std::wstring& text) {
  static const SetValueWFn set = Advapi32Export<SetValueWFn>("RegSetValueExW");
  if (set == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return set(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
             static_cast<DWORD>(text.size() * sizeof(WCHAR)));
}

LONG QueryValueW(HKEY key, const WCHAR* name, DWORD* type, std::wstring& buffer, DWORD* bytes) {
  static const QueryValueWFn query = Advapi32Export<QueryValueWFn>("RegQueryValueExW");
  if (query == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return query(key, name, nullptr, type, reinterpret_cast<BYTE*>(&buffer[0]), bytes);
}
}  // namespace

RegKey Win32Registry::CurrentUser() { return HKEY_CURRENT_USER; }

bool Win32Registry::OpenKey(RegKey parent, const char* name, uint32_t access, RegKey* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(H(parent), name, 0, access, &opened) != ERROR_SUCCESS) return false;
  *key = opened;
  return true;
}

bool Win32Registry::CreateKey(RegKey parent, const char* name, uint32_t access, RegKey* key) {
  HKEY created = nullptr;
  if (RegCreateKeyExA(H(parent), name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                      &created, nullptr) != ERROR_SUCCESS)
    return false;
  *key = created;
  return true;
}

void Win32Registry::CloseKey(RegKey key) { RegCloseKey(H(key)); }

bool Win32Registry::QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                               uint32_t* size) {
  DWORD storedType = 0;
  DWORD bytes = size ? *size : 0;
  const LONG rc = RegQueryValueExA(H(key), name, nullptr, &storedType,
                                   static_cast<BYTE*>(data), size ? &bytes : nullptr);
  if (type != nullptr) *type = storedType;
  if (size != nullptr) *size = bytes;
  return rc == ERROR_SUCCESS;
}

bool Win32Registry::SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                             uint32_t size) {
  return RegSetValueExA(H(key), name, 0, type, static_cast<const BYTE*>(data), size) ==
         ERROR_SUCCESS;
}

bool Win32Registry::SetText(RegKey key, const char* name, const char* text) {
  std::wstring wideName, wide;
  if (text == nullptr || !WideName(name, wideName) ||
      !ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, wide))
    return false;
  const LONG rc = wideCalls_ ? SetValueW(H(key), wideName.c_str(), wide) : ERROR_CALL_NOT_IMPLEMENTED;
  if (rc != ERROR_CALL_NOT_IMPLEMENTED) return rc == ERROR_SUCCESS;
  // Windows 9x has no W registry calls: the text in the ANSI code page, when it has a form
  // there.
  BOOL lost = FALSE;
  char ansi[1024];
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, &lost);
  return n > 0 && !lost && RegSetValueExA(H(key), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(ansi),
                                           static_cast<DWORD>(n)) == ERROR_SUCCESS;
}

bool Win32Registry::QueryText(RegKey key, const char* name, char* text, uint32_t capacity) {
  std::wstring wideName;
  if (text == nullptr || capacity == 0 || !WideName(name, wideName)) return false;
  // UTF-8 that fits in `capacity` bytes never needs more UTF-16 units than that.
  std::wstring wide(capacity, L'\0');
  DWORD type = 0, bytes = static_cast<DWORD>(wide.size() * sizeof(WCHAR));
  LONG rc = wideCalls_ ? QueryValueW(H(key), wideName.c_str(), &type, wide, &bytes)
                       : ERROR_CALL_NOT_IMPLEMENTED;
  if (rc == ERROR_CALL_NOT_IMPLEMENTED) {
    // Windows 9x: the value in the ANSI code page, which never takes more bytes than its
    // UTF-8 form.
    std::string ansi(capacity, '\0');
    DWORD size = capacity;
    rc = RegQueryValueExA(H(key), name, nullptr, &type, reinterpret_cast<BYTE*>(&ansi[0]), &size);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    ansi.resize(size);
    ansi.push_back('\0');
    if (!ToWide(CP_ACP, 0, ansi.c_str(), wide)) return false;
    bytes = static_cast<DWORD>(wide.size() * sizeof(WCHAR));
  } else if (rc != ERROR_SUCCESS || type != REG_SZ) {
    return false;
  }
  // The text ends at its first NUL, or with the bytes when it has none.
  int length = 0;
  const int units = static_cast<int>(bytes / sizeof(WCHAR));
  while (length < units && wide[static_cast<size_t>(length)] != L'\0') ++length;
  if (length == 0) {
    text[0] = '\0';
    return true;
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), length, text,
                                    static_cast<int>(capacity) - 1, nullptr, nullptr);
  if (n <= 0) return false;
  text[n] = '\0';
  return true;
}

bool Win32Registry::EnumKey(RegKey key, uint32_t index, char* name, uint32_t capacity) {
  DWORD length = capacity;
  return RegEnumKeyExA(H(key), index, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

bool Win32Registry::CountSubKeys(RegKey key, uint32_t* count) {
  DWORD subKeys = 0;
  if (RegQueryInfoKeyA(H(key), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  *count = subKeys;
  return true;
}

bool Win32Registry::DeleteKey(RegKey parent, const char* name) {
  return RegDeleteKeyA(H(parent), name) == ERROR_SUCCESS;
}

}  // namespace pellix
