// RegistryPort over advapi32: the real registry of the current user.
#pragma once
#include "profiles/core/registry_port.h"

namespace pellix {

class Win32Registry : public RegistryPort {
 public:
  // wideCalls false: the text calls go through the A calls, as where Windows 9x has no W
  // registry calls (for tests on later Windows).
  explicit Win32Registry(bool wideCalls = true) : wideCalls_(wideCalls) {}
  RegKey CurrentUser() override;
  bool OpenKey(RegKey parent, const char* name, uint32_t access, RegKey* key) override;
  bool CreateKey(RegKey parent, const char* name, uint32_t access, RegKey* key) override;
  void CloseKey(RegKey key) override;
  bool QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                  uint32_t* size) override;
  bool SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                uint32_t size) override;
  bool SetText(RegKey key, const char* name, const char* text) override;
  bool QueryText(RegKey key, const char* name, char* text, uint32_t capacity) override;
  bool EnumKey(RegKey key, uint32_t index, char* name, uint32_t capacity) override;
  bool CountSubKeys(RegKey key, uint32_t* count) override;
  bool DeleteKey(RegKey parent, const char* name) override;

 private:
  bool wideCalls_;
};

}  // namespace pellix
