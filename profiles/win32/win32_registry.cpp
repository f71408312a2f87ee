#include "profiles/win32/win32_registry.h"

#include <windows.h>

namespace pellix {

namespace {
HKEY H(RegKey key) { return static_cast<HKEY>(key); }
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
