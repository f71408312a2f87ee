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

// Appends up to `length` bytes of `text` while the output stays within its 499 characters.
void Append(char* out, int& count, const char* text, size_t length) {
  const size_t room = static_cast<size_t>(kExpansionSize - 1 - count);
  if (length > room) length = room;
  std::memcpy(out + count, text, length);
  count += static_cast<int>(length);
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

char* ScanTypeEntry::ExpandCommand(const char* data, const char* type, const char* serial) const {
  return ExpandTemplate(command, data, type, serial);
}

char* ScanTypeEntry::ExpandParams(const char* data, const char* type, const char* serial) const {
  return ExpandTemplate(params, data, type, serial);
}

char* ExpandTemplate(const char* templ, const char* data, const char* type, const char* serial) {
  if (templ == nullptr) return nullptr;
  if (data == nullptr) data = "";
  if (type == nullptr) type = "";
  if (serial == nullptr) serial = "";
  char* out = new char[kExpansionSize];
  int count = 0;
  const char* p = templ;
  while (*p != '\0' && count < kExpansionSize - 1) {
    if (*p != '$') {
      out[count++] = *p++;
      continue;
    }
    const char* value = nullptr;
    switch (p[1]) {
      case '1': case 'S': case 's': value = data; break;
      case '2': case 'T': case 't': value = type; break;
      case '3': case 'N': case 'n': value = serial; break;
      default: break;
    }
    if (value == nullptr) {
      out[count++] = '$';
      ++p;  // the next character is read on its own; it may start a code itself
    } else {
      Append(out, count, value, std::strlen(value));
      p += 2;
    }
  }
  out[count] = '\0';
  return out;
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
