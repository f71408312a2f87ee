#include "profiles/core/profile_model.h"

#include <cstring>

namespace pellix {

namespace {

char* CopyText(const char* text) {
  const size_t length = std::strlen(text);
  char* copy = new char[length + 1];
  std::memcpy(copy, text, length + 1);
  return copy;
}

// An expansion being written: at most 499 characters; what does not fit marks it full.
struct Expansion {
  char* text;
  int count = 0;
  bool full = false;
  int backslashes = 0;  // the run of backslashes that ends the text so far

  void Put(char c) {
    if (count >= kExpansionSize - 1) {
      full = true;
      return;
    }
    text[count++] = c;
    backslashes = c == '\\' ? backslashes + 1 : 0;
  }
  void PutEncoded(unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    Put('%');
    Put(kHex[c >> 4]);
    Put(kHex[c & 15]);
  }
  // The backslashes that end the text, doubled: before a quote they stay backslashes.
  void DoubleBackslashes() {
    for (int n = backslashes; n > 0; --n) Put('\\');
  }
};

bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~';
}

bool IsUrlCharacter(unsigned char c) {
  return IsUnreserved(c) || (c != 0 && std::strchr(":/?#[]@!$&'()*+,;=%", c) != nullptr);
}

bool HasControlCharacter(const char* field) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(field); *p; ++p) {
    if (*p < 32 || *p == 127) return true;
  }
  return false;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoringCase(const char* text, const char* head) {
  for (; *head; ++head, ++text) {
    if (Lower(*text) != *head) return false;
  }
  return true;
}

bool IsWebAddress(const char* field) {
  const char* rest = StartsWithIgnoringCase(field, "http://")    ? field + 7
                     : StartsWithIgnoringCase(field, "https://") ? field + 8
                                                                 : nullptr;
  return rest != nullptr && *rest != '\0' && *rest != '/';
}

bool EndsWithIgnoringCase(const char* text, size_t length, const char* tail) {
  const size_t n = std::strlen(tail);
  if (length < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (Lower(text[length - n + i]) != tail[i]) return false;
  }
  return true;
}

// A Program that cmd.exe reads: a batch file or cmd itself, quoted or not.
bool IsCommandProcessor(const char* file) {
  size_t length = std::strlen(file);
  while (length > 0 && (file[length - 1] == '"' || file[length - 1] == ' ')) --length;
  if (EndsWithIgnoringCase(file, length, ".bat") || EndsWithIgnoringCase(file, length, ".cmd"))
    return true;
  size_t name = length;
  while (name > 0 && file[name - 1] != '\\' && file[name - 1] != '/' && file[name - 1] != '"')
    --name;
  const size_t nameLength = length - name;
  return (nameLength == 3 && EndsWithIgnoringCase(file, length, "cmd")) ||
         (nameLength == 7 && EndsWithIgnoringCase(file, length, "cmd.exe"));
}

struct Fields {
  const char* data;
  const char* type;
  const char* serial;
  bool usedInProgram[3];
  bool usedInParams[3];

  // The field a code names ("1"/"S"/"s", "2"/"T"/"t", "3"/"N"/"n"), -1 for none.
  static int Index(char code) {
    switch (code) {
      case '1': case 'S': case 's': return 0;
      case '2': case 'T': case 't': return 1;
      case '3': case 'N': case 'n': return 2;
      default: return -1;
    }
  }
  const char* Text(int index) const { return index == 0 ? data : index == 1 ? type : serial; }
};

LaunchRefusal ExpandProgram(const char* templ, Fields& f, char* out) {
  Expansion e{out};
  const char* start = templ;
  while (*start == ' ' || *start == '"') ++start;
  for (const char* p = templ; *p;) {
    const int index = p[0] == '$' ? Fields::Index(p[1]) : -1;
    if (index < 0) {
      e.Put(*p++);
      continue;
    }
    const char* field = f.Text(index);
    f.usedInProgram[index] = true;
    if (HasControlCharacter(field)) return LaunchRefusal::kControlCharacter;
    const bool whole = p == start;  // the label would name the program
    if (whole && !IsWebAddress(field)) return LaunchRefusal::kProgramFromLabel;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(field); *c; ++c) {
      if (whole ? IsUrlCharacter(*c) : IsUnreserved(*c)) e.Put(static_cast<char>(*c));
      else e.PutEncoded(*c);
    }
    p += 2;
  }
  out[e.count] = '\0';
  return e.full ? LaunchRefusal::kTooLong : LaunchRefusal::kNone;
}

// A field inside quotes: each quote escaped, with the backslashes before it doubled; the
// backslashes that end it doubled as well when a quote follows.
void PutQuotedField(Expansion& e, const char* field, bool quoteFollows) {
  for (const char* c = field; *c; ++c) {
    if (*c == '"') {
      e.DoubleBackslashes();
      e.Put('\\');
    }
    e.Put(*c);
  }
  if (quoteFollows) e.DoubleBackslashes();
}

LaunchRefusal ExpandParams(const char* templ, Fields& f, char* out) {
  Expansion e{out};
  bool quoted = false;  // inside the user's quotes
  for (const char* p = templ; *p;) {
    const int index = p[0] == '$' ? Fields::Index(p[1]) : -1;
    if (index < 0) {
      if (*p == '"' && e.backslashes % 2 == 0) quoted = !quoted;
      e.Put(*p++);
      continue;
    }
    const char* field = f.Text(index);
    f.usedInParams[index] = true;
    if (HasControlCharacter(field)) return LaunchRefusal::kControlCharacter;
    p += 2;
    const size_t length = std::strlen(field);
    const bool quoteFollows = *p == '"';
    if (quoted) {
      PutQuotedField(e, field, quoteFollows);
    } else if (length == 0 || std::strpbrk(field, " \t\"") != nullptr ||
               (quoteFollows && field[length - 1] == '\\')) {
      e.DoubleBackslashes();
      e.Put('"');
      PutQuotedField(e, field, true);
      e.Put('"');
    } else {
      for (const char* c = field; *c; ++c) e.Put(*c);
    }
  }
  out[e.count] = '\0';
  return e.full ? LaunchRefusal::kTooLong : LaunchRefusal::kNone;
}

}  // namespace

ScanTypeEntry::~ScanTypeEntry() {
  delete[] code;
  delete[] filter;
  delete[] command;
  delete[] params;
}

void ScanTypeEntry::Assign(char*& field, const char* text) {
  if (text == nullptr || text[0] == '\0') {
    if (field != nullptr) field[0] = '\0';
    return;
  }
  const size_t length = std::strlen(text);
  if (field != nullptr && std::strlen(field) >= length) {
    std::memcpy(field, text, length + 1);
    return;
  }
  char* fresh = CopyText(text);
  delete[] field;
  field = fresh;
}

const char* LaunchRefusalText(LaunchRefusal refusal) {
  switch (refusal) {
    case LaunchRefusal::kNone: return "";
    case LaunchRefusal::kControlCharacter: return "The scan holds a control character.";
    case LaunchRefusal::kShellCharacter:
      return "The scan holds characters that the command processor would act on.";
    case LaunchRefusal::kProgramFromLabel:
      return "The scan would choose the program and is no web address.";
    case LaunchRefusal::kTooLong: return "The command would be longer than 499 characters.";
  }
  return "";
}

LaunchRefusal ExpandLaunch(const ScanTypeEntry& entry, const char* data, const char* type,
                           const char* serial, ExpandedCommand* out) {
  Fields f = {data ? data : "", type ? type : "", serial ? serial : "", {}, {}};
  LaunchRefusal r = ExpandProgram(entry.command ? entry.command : "", f, out->file);
  out->hasParams = entry.params != nullptr;
  out->params[0] = '\0';
  if (r == LaunchRefusal::kNone && entry.params) r = ExpandParams(entry.params, f, out->params);
  if (r != LaunchRefusal::kNone || !IsCommandProcessor(out->file)) return r;
  for (int i = 0; i < 3; ++i) {
    const char* field = f.Text(i);
    if (f.usedInParams[i] && std::strpbrk(field, "\"&|<>^%!()") != nullptr)
      return LaunchRefusal::kShellCharacter;
    for (const char* c = field; f.usedInProgram[i] && *c; ++c) {
      if (!IsUnreserved(static_cast<unsigned char>(*c))) return LaunchRefusal::kShellCharacter;
    }
  }
  return LaunchRefusal::kNone;
}

ProfileTable::~ProfileTable() { Clear(); }

ScanTypeEntry* ProfileTable::Find(const char* code) const {
  if (code == nullptr) return nullptr;
  for (ScanTypeEntry* entry : slots_) {
    if (entry != nullptr && entry->code != nullptr && std::strncmp(entry->code, code, 3) == 0)
      return entry;
  }
  return nullptr;
}

ScanTypeEntry* ProfileTable::FindForScan(const char* type) const {
  if (type != nullptr && type[0] == 'C' && type[1] == 'C') return Find("CUE");
  return Find(type);
}

ScanTypeEntry* ProfileTable::AddOrUpdate(const char* code, const char* filter,
                                         const char* command, const char* params,
                                         bool autoConvert, int32_t showMode) {
  // An entry without a code could never be found, and would be stored as the profile's own key.
  if (code == nullptr || code[0] == '\0') return nullptr;
  const LockHold hold(lock_);
  ScanTypeEntry* entry = Find(code);
  if (entry == nullptr) {
    int slot = 0;
    while (slot < kProfileSlots && slots_[slot] != nullptr) ++slot;
    if (slot == kProfileSlots) return nullptr;
    entry = new ScanTypeEntry;
    slots_[slot] = entry;
    entry->SetCode(code);
  }
  entry->SetCommand(command);
  entry->SetParams(params);
  entry->SetFilter(filter);
  entry->autoConvert = autoConvert;
  entry->showMode = showMode;
  return entry;
}

bool ProfileTable::Remove(const char* code) {
  ScanTypeEntry* entry = Find(code);
  return entry != nullptr && RemoveEntry(entry);
}

bool ProfileTable::RemoveEntry(const ScanTypeEntry* entry) {
  if (entry == nullptr) return false;
  for (int i = 0; i < kProfileSlots; ++i) {
    if (slots_[i] == entry) return RemoveAt(i);
  }
  return false;
}

bool ProfileTable::RemoveAt(int index) {
  if (index < 0 || index >= kProfileSlots) return false;
  const LockHold hold(lock_);
  delete slots_[index];
  slots_[index] = nullptr;
  return true;
}

ScanTypeEntry* ProfileTable::GetAt(int index) const {
  if (index < 0 || index >= kProfileSlots) return nullptr;
  return slots_[index];
}

void ProfileTable::Clear() {
  for (int i = 0; i < kProfileSlots; ++i) RemoveAt(i);
}

std::unique_ptr<ScanTypeEntry> ProfileTable::CopyForScan(const char* type) const {
  const LockHold hold(lock_);
  const ScanTypeEntry* entry = FindForScan(type);
  if (entry == nullptr) return nullptr;
  auto copy = std::make_unique<ScanTypeEntry>();
  copy->SetCode(entry->code);
  copy->SetFilter(entry->filter);
  copy->SetCommand(entry->command);
  copy->SetParams(entry->params);
  copy->showMode = entry->showMode;
  copy->autoConvert = entry->autoConvert;
  return copy;
}

int ProfileTable::Count() const {
  int count = 0;
  for (ScanTypeEntry* entry : slots_) count += entry != nullptr;
  return count;
}

ProfileNameList::~ProfileNameList() { Clear(); }

void ProfileNameList::Clear() {
  for (char*& name : names_) {
    delete[] name;
    name = nullptr;
  }
  count_ = 0;
}

const char* ProfileNameList::GetAt(int index) const {
  if (index < 0 || index >= count_) return nullptr;
  return names_[index];
}

bool ProfileNameList::Append(const char* name) {
  if (name == nullptr || count_ >= kProfileNameSlots) return false;
  names_[count_++] = CopyText(name);
  return true;
}

}  // namespace pellix
