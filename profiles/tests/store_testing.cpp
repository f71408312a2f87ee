#include "profiles/tests/store_testing.h"

#include <cstring>

#include "engine/output.h"

namespace pellix {

std::string RegistryName(const RegistryFactory& factory) { return factory.name; }

namespace {

bool OpenPath(RegistryPort& registry, const std::string& path, RegKey* key) {
  return registry.OpenKey(registry.CurrentUser(), path.c_str(), kPellixKeyAccess, key);
}

void DeleteBelow(RegistryPort& registry, RegKey parent, const std::string& name) {
  RegKey key = nullptr;
  if (registry.OpenKey(parent, name.c_str(), kPellixKeyAccess, &key)) {
    uint32_t count = 0;
    if (registry.CountSubKeys(key, &count)) {
      for (uint32_t i = count; i-- > 0;) {
        char child[kMaxRegKeyName + 1];
        if (registry.EnumKey(key, i, child, sizeof child)) DeleteBelow(registry, key, child);
      }
    }
    registry.CloseKey(key);
  }
  registry.DeleteKey(parent, name.c_str());
}

}  // namespace

void DeleteTreeForTest(RegistryPort& registry, const std::string& path) {
  const size_t slash = path.rfind('\\');
  RegKey parent = nullptr;
  if (slash == std::string::npos) {
    DeleteBelow(registry, registry.CurrentUser(), path);
    return;
  }
  if (!OpenPath(registry, path.substr(0, slash), &parent)) return;
  DeleteBelow(registry, parent, path.substr(slash + 1));
  registry.CloseKey(parent);
}

RegKey CreateKeyForTest(RegistryPort& registry, const std::string& path) {
  RegKey key = nullptr;
  registry.CreateKey(registry.CurrentUser(), path.c_str(), kPellixKeyAccess, &key);
  return key;
}

void PutValue(RegistryPort& registry, const std::string& path, const char* name, uint32_t type,
              const void* data, uint32_t size) {
  RegKey key = CreateKeyForTest(registry, path);
  if (key == nullptr) return;
  registry.SetValue(key, name, type, data, size);
  registry.CloseKey(key);
}

void PutString(RegistryPort& registry, const std::string& path, const char* name,
               const std::string& text) {
  PutValue(registry, path, name, kRegSz, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

void PutDword(RegistryPort& registry, const std::string& path, const char* name, uint32_t value) {
  PutValue(registry, path, name, kRegDword, &value, sizeof value);
}

bool KeyExists(RegistryPort& registry, const std::string& path) {
  RegKey key = nullptr;
  if (!OpenPath(registry, path, &key)) return false;
  registry.CloseKey(key);
  return true;
}

std::vector<std::string> SubKeyNames(RegistryPort& registry, const std::string& path) {
  std::vector<std::string> names;
  RegKey key = nullptr;
  if (!OpenPath(registry, path, &key)) return names;
  char name[kMaxRegKeyName + 1];
  for (uint32_t i = 0; registry.EnumKey(key, i, name, sizeof name); ++i) names.push_back(name);
  registry.CloseKey(key);
  return names;
}

bool GetValue(RegistryPort& registry, const std::string& path, const char* name, uint32_t* type,
              std::string* bytes) {
  RegKey key = nullptr;
  if (!OpenPath(registry, path, &key)) return false;
  char buffer[2048];
  uint32_t size = sizeof buffer;
  const bool ok = registry.QueryValue(key, name, type, buffer, &size);
  registry.CloseKey(key);
  if (ok && bytes != nullptr) bytes->assign(buffer, size);
  return ok;
}

OutputSettings FakeHookLibrary::settings;
uint32_t FakeHookLibrary::timeoutMs = 1250;
TransformTable FakeHookLibrary::table;
std::vector<std::string> FakeHookLibrary::calls;

namespace {

using F = FakeHookLibrary;

int PELLIX_API FakeInstall(void*, int) { F::calls.push_back("InstallHook"); return 0; }
int PELLIX_API FakeRemove() { F::calls.push_back("RemoveHook"); return 0; }
int PELLIX_API FakeSetOutputType(char terminator, char separator, unsigned style, int beepOn,
                                 unsigned beepType) {
  F::calls.push_back("SetOutputType");
  if (!OutputSettingsAcceptable(terminator, separator, style)) return 0;
  F::settings.terminator = terminator;
  F::settings.separator = separator;
  F::settings.outputStyle = style;
  F::settings.beepOn = beepOn != 0 ? 1 : 0;
  F::settings.beepType = beepType;
  return 1;
}
int PELLIX_API FakeGetOutputType(char* terminator, char* separator, int* style, int* beepOn,
                                 int* beepType) {
  F::calls.push_back("GetOutputType");
  *terminator = F::settings.terminator;
  *separator = F::settings.separator;
  *style = static_cast<int>(F::settings.outputStyle);
  *beepOn = F::settings.beepOn;
  *beepType = static_cast<int>(F::settings.beepType);
  return *beepType;
}
unsigned PELLIX_API FakeSetTimeOut(unsigned ms) {
  F::calls.push_back("SetTimeOut");
  F::timeoutMs = ms < 500 ? 500 : (ms > 2000 ? 2000 : ms);
  return F::timeoutMs;
}
unsigned PELLIX_API FakeGetTimeOut() { F::calls.push_back("GetTimeOut"); return F::timeoutMs; }
int PELLIX_API FakeAddTransform(const char* type, const char* filter, int autoConvert) {
  F::calls.push_back("AddTransform");
  return AddOrUpdate(F::table, type, filter, autoConvert);
}
int PELLIX_API FakeDelTransform(const char* type) {
  F::calls.push_back("DelTransform");
  return Remove(F::table, type);
}
int PELLIX_API FakeInitTransform() {
  F::calls.push_back("InitTransform");
  Clear(F::table);
  return 0;
}

}  // namespace

HookLibraryExports FakeHookLibrary::Exports() {
  return {FakeInstall,    FakeRemove,       FakeSetOutputType, FakeGetOutputType, FakeSetTimeOut,
          FakeGetTimeOut, FakeAddTransform, FakeDelTransform,  FakeInitTransform};
}

void FakeHookLibrary::Reset() {
  settings = OutputSettings{};
  timeoutMs = 1250;
  Clear(table);
  calls.clear();
}

bool FakeDriver::Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) {
  calls.push_back({code, std::string(static_cast<const char*>(in), in ? inSize : 0), outSize});
  if (bytesReturned != nullptr) *bytesReturned = 0;
  if (code == kDriverCodeGetTerminator && out != nullptr && outSize >= 1) {
    *static_cast<char*>(out) = terminator;
    if (bytesReturned != nullptr) *bytesReturned = 1;
  }
  return true;
}

}  // namespace pellix
