// RegistryPort over advapi32: the real registry of the current user.
#pragma once
#include "profiles/core/registry_port.h"

namespace pellix {

class Win32Registry : public RegistryPort {
 public:
  RegKey CurrentUser() override;
  bool OpenKey(RegKey parent, const char* name, uint32_t access, RegKey* key) override;
  bool CreateKey(RegKey parent, const char* name, uint32_t access, RegKey* key) override;
  void CloseKey(RegKey key) override;
  bool QueryValue(RegKey key, const char* name, uint32_t* type, void* data,
                  uint32_t* size) override;
  bool SetValue(RegKey key, const char* name, uint32_t type, const void* data,
                uint32_t size) override;
  bool EnumKey(RegKey key, uint32_t index, char* name, uint32_t capacity) override;
  bool CountSubKeys(RegKey key, uint32_t* count) override;
  bool DeleteKey(RegKey parent, const char* name) override;
};

}  // namespace pellix
