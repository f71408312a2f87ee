// A registry held in memory, for native tests: the same answers as advapi32 for the calls of
// RegistryPort (the contract suite checks both). Its ANSI code page is UTF-8 (as Windows'
// "Use Unicode UTF-8" option makes it): the A calls and the text calls see the same bytes.
// Not thread-safe; one per test.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "profiles/core/registry_port.h"

namespace pellix {

class MemoryRegistry : public RegistryPort {
 public:
  // A fresh user hive holds "Software"; without it, opening "software" fails as on a broken
  // profile.
  explicit MemoryRegistry(bool withSoftwareKey = true);
  ~MemoryRegistry() override;

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

  // Keys opened and not yet closed, so that tests can prove every handle is closed.
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

 private:
  struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  struct Value {
    uint32_t type;
    std::vector<uint8_t> bytes;
  };
  struct Node {
    std::map<std::string, std::shared_ptr<Node>, NoCase> subkeys;  // names keep their case
    std::map<std::string, Value, NoCase> values;
    bool deleted = false;
  };

  std::shared_ptr<Node> Resolve(RegKey key) const;
  std::shared_ptr<Node> Walk(std::shared_ptr<Node> from, const char* path, bool create) const;
  RegKey NewHandle(std::shared_ptr<Node> node);

  std::shared_ptr<Node> root_;
  std::map<uintptr_t, std::shared_ptr<Node>> handles_;
  uintptr_t nextHandle_ = 0x100;
};

}  // namespace pellix
