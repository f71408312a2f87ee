#include "profiles/core/program_key.h"

#include <cstring>

namespace pellix {

RegKey OpenRootKey(RegistryPort& registry) {
  ScopedKey software(registry);
  if (!registry.OpenKey(registry.CurrentUser(), "software", kPellixKeyAccess, software.out()))
    return nullptr;
  ScopedKey maker(registry);
  if (!registry.CreateKey(software.get(), "Obrelle Works", kPellixKeyAccess, maker.out()))
    return nullptr;
  RegKey root = nullptr;
  if (!registry.CreateKey(maker.get(), "Pellix", kPellixKeyAccess, &root)) return nullptr;
  return root;
}

RegKey OpenSubKey(RegistryPort& registry, const char* subKey) {
  ScopedKey root(registry, OpenRootKey(registry));
  if (!root) return nullptr;
  RegKey key = nullptr;
  if (!registry.CreateKey(root.get(), subKey, kPellixKeyAccess, &key)) return nullptr;
  return key;
}

uint32_t ReadDwordValue(RegistryPort& registry, const char* subKey, const char* valueName,
                        uint32_t fallback) {
  ScopedKey key(registry, OpenSubKey(registry, subKey));
  if (!key) return fallback;
  uint32_t value = 0;
  uint32_t type = 0;
  uint32_t size = sizeof value;
  // A shorter value leaves bytes unfilled: it counts as missing.
  if (!registry.QueryValue(key.get(), valueName, &type, &value, &size) || size != sizeof value)
    return fallback;
  return value;
}

bool WriteDwordValue(RegistryPort& registry, const char* subKey, const char* valueName,
                     uint32_t value) {
  ScopedKey key(registry, OpenSubKey(registry, subKey));
  return key && registry.SetValue(key.get(), valueName, kRegDword, &value, sizeof value);
}

bool ReadStringValue(RegistryPort& registry, const char* subKey, const char* valueName,
                     char* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  buffer[0] = '\0';
  ScopedKey key(registry, OpenSubKey(registry, subKey));
  if (!key) return false;
  uint32_t type = 0;
  uint32_t size = capacity;
  const bool read = registry.QueryValue(key.get(), valueName, &type, buffer, &size);
  // Only a text that ends within the buffer is taken; anything else would run past it.
  if (!read || type != kRegSz || size == 0 || std::memchr(buffer, '\0', size) == nullptr) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

bool WriteStringValue(RegistryPort& registry, const char* subKey, const char* valueName,
                      const char* text) {
  if (text == nullptr) text = "";
  ScopedKey key(registry, OpenSubKey(registry, subKey));
  return key && registry.SetValue(key.get(), valueName, kRegSz, text,
                                  static_cast<uint32_t>(std::strlen(text) + 1));
}

}  // namespace pellix
