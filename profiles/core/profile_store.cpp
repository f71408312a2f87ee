#include "profiles/core/profile_store.h"

#include <cstring>

#include "profiles/core/program_key.h"
#include "profiles/core/transform_sink.h"

namespace pellix {

namespace {

constexpr int kTextSize = 200;  // text values count when they fit 199 characters and NUL

bool IsStorableName(const char* name, size_t maxLength) {
  if (name == nullptr || name[0] == '\0') return false;
  const size_t length = std::strlen(name);
  return length <= maxLength && std::strchr(name, '\\') == nullptr;
}

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

// A REG_SZ that fits the buffer with its NUL; anything else reads as empty.
void ReadText(RegistryPort& registry, RegKey key, const char* valueName, char (&buffer)[kTextSize]) {
  uint32_t type = 0;
  uint32_t size = kTextSize;
  if (!registry.QueryValue(key, valueName, &type, buffer, &size) || type != kRegSz || size == 0 ||
      std::memchr(buffer, '\0', size) == nullptr)
    buffer[0] = '\0';
}

bool ReadDword(RegistryPort& registry, RegKey key, const char* valueName, uint32_t* value) {
  uint32_t type = 0;
  uint32_t size = sizeof *value;
  return registry.QueryValue(key, valueName, &type, value, &size) && type == kRegDword &&
         size == sizeof *value;
}

void WriteText(RegistryPort& registry, RegKey key, const char* valueName, const char* text) {
  if (text == nullptr) return;  // a null field writes no value
  registry.SetValue(key, valueName, kRegSz, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void WriteDword(RegistryPort& registry, RegKey key, const char* valueName, uint32_t value) {
  registry.SetValue(key, valueName, kRegDword, &value, sizeof value);
}

// Deletes `name` below `parent` with all it holds, deepest first. Subkey names are read with
// the registry's full name length, so no stray key is left behind whatever its name.
bool DeleteTree(RegistryPort& registry, RegKey parent, const char* name, int depth) {
  ScopedKey key(registry);
  if (depth < 32 && registry.OpenKey(parent, name, kPellixKeyAccess, key.out())) {
    uint32_t count = 0;
    if (registry.CountSubKeys(key.get(), &count)) {
      // Downwards, so that the indexes not yet visited stay valid while deleting.
      for (uint32_t i = count; i-- > 0;) {
        char child[kMaxRegKeyName + 1];
        if (!registry.EnumKey(key.get(), i, child, sizeof child)) break;
        DeleteTree(registry, key.get(), child, depth + 1);
      }
    }
  }
  key.Reset();
  return registry.DeleteKey(parent, name);
}

bool ProfileKeyExists(RegistryPort& registry, RegKey profiles, const char* name) {
  ScopedKey key(registry);
  return registry.OpenKey(profiles, name, kPellixKeyAccess, key.out());
}

}  // namespace

bool IsStorableProfileName(const char* name) { return IsStorableName(name, kProfileNameSize - 1); }
bool IsStorableCode(const char* code) { return IsStorableName(code, kEntryNameSize - 1); }

bool LoadNames(ProfileNameList& list, RegistryPort& registry) {
  list.Clear();
  ScopedKey profiles(registry, OpenSubKey(registry, kProfilesKey));
  if (!profiles) return false;
  for (uint32_t i = 0; i < kProfileNameSlots; ++i) {
    char name[kProfileNameSize];
    if (!registry.EnumKey(profiles.get(), i, name, sizeof name)) break;
    list.Append(name);
  }
  return true;
}

bool LoadProfile(ProfileTable& table, RegistryPort& registry, const char* name) {
  table.Clear();
  if (!IsStorableProfileName(name)) return false;
  ScopedKey profiles(registry, OpenSubKey(registry, kProfilesKey));
  if (!profiles) return false;
  ScopedKey profile(registry);
  if (!registry.CreateKey(profiles.get(), name, kPellixKeyAccess, profile.out())) return false;
  for (uint32_t i = 0; i < kProfileSlots; ++i) {
    char code[kEntryNameSize];
    if (!registry.EnumKey(profile.get(), i, code, sizeof code)) break;
    ScopedKey entry(registry);
    if (!registry.CreateKey(profile.get(), code, kPellixKeyAccess, entry.out())) continue;
    char filter[kTextSize], command[kTextSize], params[kTextSize];
    ReadText(registry, entry.get(), "Trans", filter);
    ReadText(registry, entry.get(), "Command", command);
    ReadText(registry, entry.get(), "Params", params);
    uint32_t show = 1;
    if (!ReadDword(registry, entry.get(), "Show", &show)) show = 1;
    bool autoConvert = false;
    char flagText[kTextSize];
    uint32_t type = 0;
    uint32_t size = sizeof flagText;
    if (registry.QueryValue(entry.get(), "AutoConv", &type, flagText, &size) && type == kRegSz) {
      autoConvert = size > 0 && std::memchr(flagText, '\0', size) != nullptr &&
                    std::strcmp(flagText, "true") == 0;
    } else {
      uint32_t flag = 0;
      autoConvert = ReadDword(registry, entry.get(), "AutoConv", &flag) && flag != 0;
    }
    if (filter[0] == '\0' && command[0] == '\0' && params[0] == '\0' && !autoConvert) {
      table.Remove(code);
    } else {
      table.AddOrUpdate(code, filter, command, params, autoConvert, static_cast<int32_t>(show));
    }
  }
  return true;
}

bool SaveProfile(const ProfileTable& table, RegistryPort& registry, const char* name) {
  if (!IsStorableProfileName(name)) return false;
  // Every entry must come back as itself: one key per code, each one enumerable.
  for (int i = 0; i < kProfileSlots; ++i) {
    const ScanTypeEntry* entry = table.GetAt(i);
    if (entry == nullptr) continue;
    if (!IsStorableCode(entry->code)) return false;
    for (int j = 0; j < i; ++j) {
      const ScanTypeEntry* earlier = table.GetAt(j);
      if (earlier != nullptr && EqualIgnoringCase(earlier->code, entry->code)) return false;
    }
  }
  ScopedKey profiles(registry, OpenSubKey(registry, kProfilesKey));
  if (!profiles) return false;
  // The old entries go first; where they cannot, writing over them would mix old and new.
  if (ProfileKeyExists(registry, profiles.get(), name) &&
      !DeleteTree(registry, profiles.get(), name, 0))
    return false;
  ScopedKey profile(registry);
  if (!registry.CreateKey(profiles.get(), name, kPellixKeyAccess, profile.out())) return false;
  uint32_t written = 0;
  for (int i = 0; i < kProfileSlots; ++i) {
    const ScanTypeEntry* entry = table.GetAt(i);
    if (entry == nullptr) continue;
    ScopedKey key(registry);
    if (!registry.CreateKey(profile.get(), entry->code, kPellixKeyAccess, key.out())) return false;
    WriteText(registry, key.get(), "Trans", entry->filter);
    WriteText(registry, key.get(), "Command", entry->command);
    WriteText(registry, key.get(), "Params", entry->params);
    WriteDword(registry, key.get(), "AutoConv", entry->autoConvert ? 1 : 0);
    WriteDword(registry, key.get(), "Show", static_cast<uint32_t>(entry->showMode));
    ++written;
  }
  // Codes the registry folds together beyond ASCII letters would share one key.
  uint32_t stored = 0;
  return registry.CountSubKeys(profile.get(), &stored) && stored == written;
}

bool DeleteProfile(RegistryPort& registry, const char* name) {
  if (!IsStorableProfileName(name)) return false;
  ScopedKey profiles(registry, OpenSubKey(registry, kProfilesKey));
  if (!profiles) return false;
  if (!ProfileKeyExists(registry, profiles.get(), name)) return true;  // nothing to remove
  return DeleteTree(registry, profiles.get(), name, 0);
}

CreateProfileResult CreateProfile(RegistryPort& registry, const char* name) {
  if (!IsStorableProfileName(name)) return CreateProfileResult::kInvalid;
  {
    // The registry's own rule decides which names are the same key.
    ScopedKey profiles(registry, OpenSubKey(registry, kProfilesKey));
    if (!profiles) return CreateProfileResult::kFailed;
    if (ProfileKeyExists(registry, profiles.get(), name)) return CreateProfileResult::kExists;
  }
  ProfileTable empty;
  return SaveProfile(empty, registry, name) ? CreateProfileResult::kCreated
                                            : CreateProfileResult::kFailed;
}

void ActivateProfile(RegistryPort& registry, TransformSink& backEnd, ProfileTable& table,
                     char* currentProfileName, const char* name) {
  if (name == nullptr || name[0] == '\0' || std::strcmp(name, kNoProfileName) == 0) {
    currentProfileName[0] = '\0';
    table.Clear();
    WriteStringValue(registry, kSettingsKey, "CurProfile", "");
    PushTransforms(table, backEnd);
    return;
  }
  // The name may be the current-name buffer itself, which is rewritten below.
  char wanted[kProfileNameSize];
  std::strncpy(wanted, name, sizeof wanted - 1);
  wanted[sizeof wanted - 1] = '\0';
  if (std::strlen(name) < sizeof wanted && LoadProfile(table, registry, wanted)) {
    WriteStringValue(registry, kSettingsKey, "CurProfile", wanted);
    std::memcpy(currentProfileName, wanted, sizeof wanted);
  } else {
    table.Clear();
    currentProfileName[0] = '\0';
  }
  PushTransforms(table, backEnd);
}

void PushTransforms(const ProfileTable& table, TransformSink& backEnd) {
  if (!backEnd.HoldsTransforms()) return;
  backEnd.ClearTransforms();
  for (int i = 0; i < kProfileSlots; ++i) {
    const ScanTypeEntry* entry = table.GetAt(i);
    if (entry != nullptr) backEnd.AddTransform(entry->code, entry->filter, entry->autoConvert ? 1 : 0);
  }
}

}  // namespace pellix
