#include "ui/core/applications.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/transform_table.h"
#include "profiles/core/profile_store.h"
#include "profiles/core/transform_sink.h"
#include "profiles/core/utf8_text.h"

namespace pellix {

namespace {

struct KnownClient {
  const char* program;
  uint32_t method;
};
// Remote Desktop and Citrix take Unicode key packets; a virtual machine's console and a VNC
// viewer send only what a key of the emulated keyboard sends.
const KnownClient kKnownClients[] = {
    {"mstsc.exe", kMethodKeysAndUnicode},       // Remote Desktop Connection
    {"msrdc.exe", kMethodKeysAndUnicode},       // Remote Desktop client (Azure, Windows App)
    {"wfica32.exe", kMethodKeysAndUnicode},     // Citrix Workspace, session window
    {"CDViewer.exe", kMethodKeysAndUnicode},    // Citrix Workspace, Desktop Viewer
    {"vmconnect.exe", kMethodKeysOnly},         // Hyper-V Virtual Machine Connection
    {"VirtualBoxVM.exe", kMethodKeysOnly},      // VirtualBox 6 and later, a machine's window
    {"VirtualBox.exe", kMethodKeysOnly},        // VirtualBox before 6
    {"vmware.exe", kMethodKeysOnly},            // VMware Workstation
    {"vmplayer.exe", kMethodKeysOnly},          // VMware Workstation Player
    {"vmrc.exe", kMethodKeysOnly},              // VMware Remote Console
    {"vncviewer.exe", kMethodKeysOnly},         // RealVNC, TigerVNC, UltraVNC viewers
    {"tvnviewer.exe", kMethodKeysOnly},         // TightVNC viewer
};

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
  }
  return *a == *b;
}

void CopyText(char* to, size_t capacity, const char* from) {
  std::snprintf(to, capacity, "%s", from != nullptr ? from : "");
}

// The text without the blanks around it, into `out` (`capacity` bytes); false when it does
// not fit.
bool Trimmed(const char* text, char* out, size_t capacity) {
  if (text == nullptr) text = "";
  while (*text == ' ' || *text == '\t') ++text;
  size_t length = std::strlen(text);
  while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) --length;
  if (length >= capacity) return false;
  std::memcpy(out, text, length);
  out[length] = '\0';
  return true;
}

AppRowError CheckName(const char* program, char (&name)[kProgramNameSize]) {
  if (program == nullptr) program = "";
  char longName[1024];
  if (!Trimmed(program, longName, sizeof longName)) return AppRowError::kTooLong;
  if (longName[0] == '\0') return AppRowError::kEmptyName;
  if (std::strpbrk(longName, "\\/:") != nullptr) return AppRowError::kPath;
  for (const char* c = longName; *c != '\0'; ++c) {
    const unsigned char u = static_cast<unsigned char>(*c);
    if (u < 0x20 || std::strchr("<>\"|?*", *c) != nullptr) return AppRowError::kBadCharacter;
  }
  if (std::strlen(longName) >= sizeof name) return AppRowError::kTooLong;
  CopyText(name, sizeof name, longName);
  return AppRowError::kNone;
}

bool ReadPace(const char* text, uint32_t* pace) {
  char trimmed[16];
  if (!Trimmed(text, trimmed, sizeof trimmed) || trimmed[0] == '\0') return false;
  uint32_t value = 0;
  for (const char* c = trimmed; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(*c - '0');
    if (value > kMaxPaceMs) return false;
  }
  *pace = value;
  return true;
}

// Distinct profiles the rows name, with `extra` in place of row `index` (-1: added).
int ProfileCount(const AppRows& rows, int index, const char* extra) {
  const char* names[kAppRowLimit + 1];
  int count = 0;
  const auto note = [&](const char* name) {
    if (name == nullptr || name[0] == '\0') return;
    for (int j = 0; j < count; ++j) {
      if (SameName(names[j], name)) return;
    }
    names[count++] = name;
  };
  for (int i = 1; i < rows.count; ++i) note(i == index ? extra : rows.rows[i].profile);
  if (index < 0) note(extra);
  return count;
}

// Writes one row's key; false when any of it could not be written.
bool SaveRow(RegistryPort& registry, RegKey applications, int number, const AppRow& row) {
  char name[16];
  std::snprintf(name, sizeof name, "%d", number);
  ScopedKey key(registry);
  if (!registry.CreateKey(applications, name, kPellixKeyAccess, key.out())) return false;
  // The name as its characters, whatever the ANSI code page: its UTF-8 bytes through the
  // A call change on a two-byte code page.
  bool ok = registry.SetText(key.get(), "Program", row.program);
  ok = registry.SetValue(key.get(), "Pace", kRegDword, &row.paceMs, sizeof row.paceMs) && ok;
  ok = registry.SetValue(key.get(), "Method", kRegDword, &row.method, sizeof row.method) && ok;
  ok = registry.SetValue(key.get(), "Profile", kRegSz, row.profile,
                         static_cast<uint32_t>(std::strlen(row.profile) + 1)) && ok;
  return ok;
}

bool ReadDword(RegistryPort& registry, RegKey key, const char* name, uint32_t* value) {
  uint32_t type = 0, size = sizeof *value;
  return registry.QueryValue(key, name, &type, value, &size) && type == kRegDword &&
         size == sizeof *value;
}

bool ReadText(RegistryPort& registry, RegKey key, const char* name, char* text, uint32_t capacity) {
  uint32_t type = 0, size = capacity;
  if (registry.QueryValue(key, name, &type, text, &size) && type == kRegSz && size > 0 &&
      std::memchr(text, '\0', size) != nullptr)
    return true;
  text[0] = '\0';
  return false;
}

// A row's file name: as its characters where "UnicodeNames" says so; else as builds before
// it stored it, its UTF-8 bytes through the A call, read back the same way, unless a
// two-byte code page changed them into bytes that are no UTF-8 (then its characters, which
// can be stored again).
void ReadProgram(RegistryPort& registry, RegKey key, bool asText,
                 char (&program)[kProgramNameSize]) {
  if (!asText && ReadText(registry, key, "Program", program, sizeof program) &&
      IsUtf8(program, std::strlen(program)))
    return;
  if (!registry.QueryText(key, "Program", program, sizeof program)) program[0] = '\0';
}

uint32_t ClampedMethod(uint32_t method) {
  return method == kMethodKeysOnly ? kMethodKeysOnly : kMethodKeysAndUnicode;
}

// Collects a profile's transforms as the library's Pellix_AddTransform takes them.
class TableSink : public TransformSink {
 public:
  explicit TableSink(TransformTable& table) : table_(table) {}
  bool HoldsTransforms() const override { return true; }
  void ClearTransforms() override { Clear(table_); }
  void AddTransform(const char* code, const char* filter, int autoConvert) override {
    AddOrUpdate(table_, code, filter, autoConvert);
  }

 private:
  TransformTable& table_;
};

bool ProfileStored(RegistryPort& registry, const char* name) {
  if (!IsStorableProfileName(name)) return false;
  ScopedKey profiles(registry, OpenSubKey(registry, kProfilesKey));
  ScopedKey key(registry);
  return profiles && registry.OpenKey(profiles.get(), name, kPellixKeyAccess, key.out());
}

}  // namespace

void DefaultAppRows(AppRows& rows) {
  std::memset(&rows, 0, sizeof rows);
  rows.count = 1;
  for (const KnownClient& client : kKnownClients) {
    AppRow& row = rows.rows[rows.count++];
    CopyText(row.program, sizeof row.program, client.program);
    row.paceMs = kRemoteClientPaceMs;
    row.method = client.method;
  }
}

const char* MethodText(uint32_t method) {
  return method == kMethodKeysOnly ? kMethodKeysOnlyText : kMethodKeysAndUnicodeText;
}

const char* AppRowErrorText(AppRowError error) {
  switch (error) {
    case AppRowError::kNone: return "";
    case AppRowError::kEmptyName: return "Type the program's file name, for example mstsc.exe.";
    case AppRowError::kPath:
      return "Type the program's file name alone, without its folder: mstsc.exe, not "
             "C:\\Windows\\System32\\mstsc.exe.";
    case AppRowError::kBadCharacter:
      return "A file name holds none of the characters < > \" | ? * nor control characters.";
    case AppRowError::kTooLong:
      return "The file name is too long: Pellix keeps names of up to 63 letters (fewer in "
             "scripts other than the Latin alphabet).";
    case AppRowError::kPace:
      return "The pace is a whole number of milliseconds from 0 to 500.";
    case AppRowError::kDuplicate:
      return "That program has a row already: edit that row instead.";
    case AppRowError::kFull: return "The list is full: it holds 32 programs at most.";
    case AppRowError::kTooManyProfiles:
      return "The rows can name 8 different profiles at most; choose one of those already "
             "named, or the current profile.";
    case AppRowError::kEveryOther:
      return "The row for every other program stays first, with the current profile.";
  }
  return "";
}

AppRowError CheckAppRow(const AppRows& rows, int index, const char* program,
                        const char* paceText, uint32_t method, const char* profile,
                        AppRow* out) {
  AppRow row = {};
  if (index == 0) {
    if (profile != nullptr && profile[0] != '\0') return AppRowError::kEveryOther;
  } else {
    if (index < 0 && rows.count >= kAppRowLimit) return AppRowError::kFull;
    const AppRowError nameError = CheckName(program, row.program);
    if (nameError != AppRowError::kNone) return nameError;
    const int other = FindAppRow(rows, row.program);
    if (other > 0 && other != index) return AppRowError::kDuplicate;
  }
  if (!ReadPace(paceText, &row.paceMs)) return AppRowError::kPace;
  row.method = ClampedMethod(method);
  if (index != 0) {
    CopyText(row.profile, sizeof row.profile, profile);
    if (ProfileCount(rows, index, row.profile) > kAppProfileCount)
      return AppRowError::kTooManyProfiles;
  }
  *out = row;
  return AppRowError::kNone;
}

AppRowError PutAppRow(AppRows& rows, int index, const char* program, const char* paceText,
                      uint32_t method, const char* profile) {
  if (index >= rows.count || index < -1) return AppRowError::kFull;
  AppRow row;
  const AppRowError error = CheckAppRow(rows, index, program, paceText, method, profile, &row);
  if (error != AppRowError::kNone) return error;
  rows.rows[index < 0 ? rows.count++ : index] = row;
  return AppRowError::kNone;
}

bool IsProgramFileName(const char* name) {
  char checked[kProgramNameSize];
  return name != nullptr && std::memchr(name, '\0', kProgramNameSize) != nullptr &&
         CheckName(name, checked) == AppRowError::kNone && std::strcmp(checked, name) == 0;
}

bool RemoveAppRow(AppRows& rows, int index) {
  if (index <= 0 || index >= rows.count) return false;
  for (int i = index; i + 1 < rows.count; ++i) rows.rows[i] = rows.rows[i + 1];
  --rows.count;
  std::memset(&rows.rows[rows.count], 0, sizeof rows.rows[rows.count]);
  return true;
}

int FindAppRow(const AppRows& rows, const char* program) {
  if (program == nullptr || program[0] == '\0') return 0;
  for (int i = 1; i < rows.count; ++i) {
    if (SameName(rows.rows[i].program, program)) return i;
  }
  return 0;
}

void LoadAppRows(RegistryPort& registry, AppRows& rows) {
  ScopedKey applications(registry, OpenSubKey(registry, kApplicationsKey));
  uint32_t stored = 0;
  if (!applications || !ReadDword(registry, applications.get(), "Count", &stored)) {
    DefaultAppRows(rows);
    return;
  }
  std::memset(&rows, 0, sizeof rows);
  rows.count = 1;
  uint32_t value = 0;
  if (ReadDword(registry, applications.get(), "OtherPace", &value))
    rows.rows[0].paceMs = value > kMaxPaceMs ? kMaxPaceMs : value;
  if (ReadDword(registry, applications.get(), "OtherMethod", &value))
    rows.rows[0].method = ClampedMethod(value);
  const bool namesAsText = ReadDword(registry, applications.get(), "UnicodeNames", &value) && value == 1;
  for (uint32_t number = 1; number <= stored && number <= kAppRuleCount; ++number) {
    char name[16];
    std::snprintf(name, sizeof name, "%u", number);
    ScopedKey key(registry);
    if (!registry.OpenKey(applications.get(), name, kPellixKeyAccess, key.out())) continue;
    char program[kProgramNameSize], profile[kProfileNameSize];
    ReadProgram(registry, key.get(), namesAsText, program);
    ReadText(registry, key.get(), "Profile", profile, sizeof profile);
    uint32_t pace = 0, method = kMethodKeysAndUnicode;
    ReadDword(registry, key.get(), "Pace", &pace);
    ReadDword(registry, key.get(), "Method", &method);
    char paceText[16];
    std::snprintf(paceText, sizeof paceText, "%u", pace > kMaxPaceMs ? kMaxPaceMs : pace);
    PutAppRow(rows, -1, program, paceText, method, profile);
  }
}

bool SaveAppRows(RegistryPort& registry, const AppRows& rows) {
  ScopedKey applications(registry, OpenSubKey(registry, kApplicationsKey));
  if (!applications) return false;
  // First: a row left as an earlier build stored it then reads as its characters, an ASCII
  // name as before.
  const uint32_t namesAsText = 1;
  bool ok = registry.SetValue(applications.get(), "UnicodeNames", kRegDword, &namesAsText, 4);
  for (int i = 1; i < rows.count; ++i) ok = SaveRow(registry, applications.get(), i, rows.rows[i]) && ok;
  // Row keys beyond the rows (a longer list before) go, from the last down.
  uint32_t keys = 0;
  if (registry.CountSubKeys(applications.get(), &keys)) {
    for (uint32_t i = keys; i-- > 0;) {
      char name[kMaxRegKeyName + 1];
      if (!registry.EnumKey(applications.get(), i, name, sizeof name)) continue;
      const long number = std::strtol(name, nullptr, 10);
      char canonical[16];
      std::snprintf(canonical, sizeof canonical, "%ld", number);
      if (std::strcmp(canonical, name) == 0 && number >= 1 && number < rows.count) continue;
      ok = registry.DeleteKey(applications.get(), name) && ok;
    }
  }
  const uint32_t count = static_cast<uint32_t>(rows.count - 1);
  ok = registry.SetValue(applications.get(), "OtherPace", kRegDword, &rows.rows[0].paceMs, 4) && ok;
  ok = registry.SetValue(applications.get(), "OtherMethod", kRegDword, &rows.rows[0].method, 4) && ok;
  // Last: the count makes the rows count as stored.
  return registry.SetValue(applications.get(), "Count", kRegDword, &count, sizeof count) && ok;
}

void BuildAppRules(const AppRows& rows, RegistryPort& registry, AppRules* rules,
                   AppProfiles* profiles) {
  std::memset(rules, 0, sizeof *rules);
  for (int i = 0; i < kAppProfileCount; ++i) {
    profiles->names[i][0] = '\0';
    profiles->tables[i].Clear();
  }
  profiles->count = 0;
  rules->everyOther.paceMs = rows.rows[0].paceMs > kMaxPaceMs ? kMaxPaceMs : rows.rows[0].paceMs;
  rules->everyOther.method = ClampedMethod(rows.rows[0].method);
  rules->everyOther.profile = kCurrentProfile;
  for (int i = 1; i < rows.count && rules->count < kAppRuleCount; ++i) {
    const AppRow& row = rows.rows[i];
    AppRule& rule = rules->rules[rules->count++];
    CopyText(rule.program, sizeof rule.program, row.program);
    rule.paceMs = row.paceMs > kMaxPaceMs ? kMaxPaceMs : row.paceMs;
    rule.method = ClampedMethod(row.method);
    rule.profile = kCurrentProfile;
    if (row.profile[0] == '\0') continue;
    int slot = 0;
    while (slot < profiles->count && !SameName(profiles->names[slot], row.profile)) ++slot;
    if (slot == profiles->count) {
      if (slot == kAppProfileCount || !ProfileStored(registry, row.profile) ||
          !LoadProfile(profiles->tables[slot], registry, row.profile))
        continue;
      CopyText(profiles->names[slot], sizeof profiles->names[slot], row.profile);
      TableSink sink(rules->profiles[slot]);
      PushTransforms(profiles->tables[slot], sink);
      ++profiles->count;
    }
    rule.profile = slot;
  }
}

const ProfileTable* ProfileForProgram(const AppRules& rules, const AppProfiles& profiles,
                                      const char* program) {
  // The row the library picks for the same program, by the library's own rule.
  const AppRule rule = RuleFor(rules, program);
  if (rule.profile < 0 || rule.profile >= profiles.count) return nullptr;
  return &profiles.tables[rule.profile];
}

}  // namespace pellix
