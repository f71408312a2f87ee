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
  char16_t* text;
  int count = 0;
  bool full = false;

  void Put(char16_t c) {
    if (count >= kExpansionSize - 1) {
      full = true;
      return;
    }
    text[count++] = c;
  }
  void Put(const WideText& s) {
    for (char16_t c : s) Put(c);
  }
  void PutByte(unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    Put(u'%');
    Put(static_cast<char16_t>(kHex[c >> 4]));
    Put(static_cast<char16_t>(kHex[c & 15]));
  }
  // A character of an address: kept when `keep` says so, else percent-encoded from UTF-8.
  void PutEncoded(char32_t c, bool keep) {
    if (keep) {
      Put(static_cast<char16_t>(c));
    } else if (c < 0x80) {
      PutByte(static_cast<unsigned char>(c));
    } else if (c < 0x800) {
      PutByte(static_cast<unsigned char>(0xC0 | (c >> 6)));
      PutByte(static_cast<unsigned char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      PutByte(static_cast<unsigned char>(0xE0 | (c >> 12)));
      PutByte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
      PutByte(static_cast<unsigned char>(0x80 | (c & 0x3F)));
    } else {
      PutByte(static_cast<unsigned char>(0xF0 | (c >> 18)));
      PutByte(static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F)));
      PutByte(static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F)));
      PutByte(static_cast<unsigned char>(0x80 | (c & 0x3F)));
    }
  }
};

bool IsAlphanumeric(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsUnreserved(char32_t c) {
  return IsAlphanumeric(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool IsUrlCharacter(char32_t c) {
  return IsUnreserved(c) || (c > 0 && c < 0x80 &&
                             std::strchr(":/?#[]@!$&'()*+,;=%", static_cast<char>(c)) != nullptr);
}

// The code points of a UTF-16 text; a lone surrogate is U+FFFD.
template <class Fn>
void ForEachCodePoint(const WideText& text, Fn fn) {
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    fn(c);
  }
}

char16_t Lower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

bool StartsWithIgnoringCase(const WideText& text, const char* head) {
  for (size_t i = 0; head[i]; ++i) {
    if (i >= text.size() || Lower(text[i]) != static_cast<char16_t>(head[i])) return false;
  }
  return true;
}

bool IsWebAddress(const WideText& field) {
  const size_t rest = StartsWithIgnoringCase(field, "http://")    ? 7
                      : StartsWithIgnoringCase(field, "https://") ? 8
                                                                  : 0;
  return rest != 0 && rest < field.size() && field[rest] != '/';
}

// Digits only; an ISBN-10 may end in X.
bool IsAllDigits(const WideText& field) {
  for (size_t i = 0; i < field.size(); ++i) {
    const char16_t c = field[i];
    const bool checkX = (c == 'X' || c == 'x') && i == 9 && field.size() == 10;
    if (!(c >= '0' && c <= '9') && !checkX) return false;
  }
  return !field.empty();
}

// A field outside an address: letters, digits, "-._" and, inside the user's quotes, blanks.
LaunchRefusal CheckField(const WideText& field, bool enclosed) {
  if (field.empty()) return LaunchRefusal::kEmpty;
  if (field[0] == '-' || field[0] == '/') return LaunchRefusal::kOption;
  for (char16_t c : field) {
    if (!IsAlphanumeric(c) && c != '-' && c != '.' && c != '_' && !(enclosed && c == ' '))
      return LaunchRefusal::kCharacter;
  }
  return LaunchRefusal::kNone;
}

struct Fields {
  WideText text[3];
  bool plain[3];  // used outside an address

  // The field a code names ("1"/"S"/"s", "2"/"T"/"t", "3"/"N"/"n"), -1 for none.
  static int Index(char16_t code) {
    switch (code) {
      case '1': case 'S': case 's': return 0;
      case '2': case 'T': case 't': return 1;
      case '3': case 'N': case 'n': return 2;
      default: return -1;
    }
  }
};

LaunchRefusal ExpandProgram(const WideText& templ, Fields& f, char16_t* out) {
  Expansion e{out};
  size_t start = 0;
  while (start < templ.size() && (templ[start] == ' ' || templ[start] == '"')) ++start;
  const bool address = IsAddress(templ.substr(start));
  for (size_t p = 0; p < templ.size();) {
    const int index = templ[p] == '$' && p + 1 < templ.size() ? Fields::Index(templ[p + 1]) : -1;
    if (index < 0) {
      e.Put(templ[p++]);
      continue;
    }
    const WideText& field = f.text[index];
    if (p == start) {  // the label would name what runs: only a web address may
      if (!IsWebAddress(field)) return LaunchRefusal::kProgramFromLabel;
      ForEachCodePoint(field, [&](char32_t c) { e.PutEncoded(c, IsUrlCharacter(c)); });
    } else if (address) {
      ForEachCodePoint(field, [&](char32_t c) { e.PutEncoded(c, IsUnreserved(c)); });
    } else {
      // A field in a path chooses the file: a document named by its code, digits only.
      if (!IsAllDigits(field)) return LaunchRefusal::kProgramFromLabel;
      f.plain[index] = true;
      e.Put(field);
    }
    p += 2;
  }
  out[e.count] = u'\0';
  return e.full ? LaunchRefusal::kTooLong : LaunchRefusal::kNone;
}

// Parsers of command lines agree on where the user's quotes begin and end only while every
// quote simply opens or closes: no escaped (\" ^"), doubled ("") quote anywhere.
bool QuotesAreSimple(const WideText& templ) {
  for (size_t i = 1; i < templ.size(); ++i) {
    if (templ[i] == '"' && (templ[i - 1] == '\\' || templ[i - 1] == '^' || templ[i - 1] == '"'))
      return false;
  }
  return true;
}

LaunchRefusal ExpandParams(const WideText& templ, Fields& f, char16_t* out) {
  Expansion e{out};
  const bool simple = QuotesAreSimple(templ);
  bool quoted = false;  // inside the user's quotes
  for (size_t p = 0; p < templ.size();) {
    const int index = templ[p] == '$' && p + 1 < templ.size() ? Fields::Index(templ[p + 1]) : -1;
    if (index < 0) {
      if (templ[p] == '"') quoted = !quoted;
      e.Put(templ[p++]);
      continue;
    }
    const bool closed = templ.find(u'"', p + 2) != WideText::npos;
    const LaunchRefusal r = CheckField(f.text[index], simple && quoted && closed);
    if (r != LaunchRefusal::kNone) return r;
    f.plain[index] = true;
    e.Put(f.text[index]);
    p += 2;
  }
  out[e.count] = u'\0';
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
    case LaunchRefusal::kCharacter:
      return "The scan holds a character other than letters, digits, '-', '.' and '_'.";
    case LaunchRefusal::kOption:
      return "The scan begins with '-' or '/', which the program would read as an option.";
    case LaunchRefusal::kEmpty: return "A field of the scan is empty.";
    case LaunchRefusal::kLauncher:
      return "The Program runs what it is given, and the scan is not all digits.";
    case LaunchRefusal::kUnknownProgram:
      return "The Program cannot be found, and the scan is not all digits.";
    case LaunchRefusal::kProgramFromLabel:
      return "The scan would choose the program and is no web address.";
    case LaunchRefusal::kTooLong: return "The command would be longer than 499 characters.";
  }
  return "";
}

LaunchRefusal ExpandLaunch(const ScanTypeEntry& entry, const char* data, const char* type,
                           const char* serial, ProgramLookup& lookup, ExpandedCommand* out) {
  Fields f = {{lookup.FromAnsi(data ? data : ""), lookup.FromAnsi(type ? type : ""),
               lookup.FromAnsi(serial ? serial : "")},
              {}};
  out->hasParams = entry.params != nullptr;
  out->params[0] = u'\0';
  LaunchRefusal r = ExpandProgram(lookup.FromAnsi(entry.command ? entry.command : ""), f, out->file);
  if (r == LaunchRefusal::kNone && entry.params)
    r = ExpandParams(lookup.FromAnsi(entry.params), f, out->params);
  if (r != LaunchRefusal::kNone || (!f.plain[0] && !f.plain[1] && !f.plain[2])) return r;
  const ProgramKind kind = KindOfProgram(out->file, lookup);
  if (kind != ProgramKind::kLauncher && kind != ProgramKind::kUnknown) return r;
  for (int i = 0; i < 3; ++i) {
    if (f.plain[i] && !IsAllDigits(f.text[i]))
      return kind == ProgramKind::kLauncher ? LaunchRefusal::kLauncher
                                            : LaunchRefusal::kUnknownProgram;
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
