// The current profile in memory: its scan-type entries, the 20-slot table that holds them, the
// list of stored profile names, and the $-expansion of an entry's command and parameters.
#pragma once
#include <cstdint>
#include <memory>

#include "profiles/core/table_lock.h"

namespace pellix {

constexpr int kProfileSlots = 20;
constexpr int kProfileNameSlots = 200;
constexpr int kExpansionSize = 500;  // an expansion holds at most 499 characters and its NUL

// One bar-code type's choices. Text fields are null or owned buffers; null reads as empty.
class ScanTypeEntry {
 public:
  ScanTypeEntry() = default;
  virtual ~ScanTypeEntry();
  ScanTypeEntry(const ScanTypeEntry&) = delete;
  ScanTypeEntry& operator=(const ScanTypeEntry&) = delete;

  // Each setter keeps a buffer that already holds a text at least as long as the new one, and
  // empties rather than frees on null or empty text.
  void SetCode(const char* text) { Assign(code, text); }
  void SetFilter(const char* text) { Assign(filter, text); }
  void SetCommand(const char* text) { Assign(command, text); }
  void SetParams(const char* text) { Assign(params, text); }

  // New heap texts the caller frees with delete[]; null when the template field is null.
  char* ExpandCommand(const char* data, const char* type, const char* serial) const;
  char* ExpandParams(const char* data, const char* type, const char* serial) const;

  char* code = nullptr;
  char* filter = nullptr;
  char* command = nullptr;
  char* params = nullptr;
  int32_t showMode = 1;  // SW_SHOWNORMAL
  bool autoConvert = false;

 private:
  static void Assign(char*& field, const char* text);
};

// "$1"/"$S"/"$s" data, "$2"/"$T"/"$t" type, "$3"/"$N"/"$n" serial; any other '$' stays.
// Returns a new heap text (delete[]) of at most 499 characters, or null for a null template.
// A substitution that would run past 499 characters is cut there.
char* ExpandTemplate(const char* templ, const char* data, const char* type, const char* serial);

// Entries of the current profile. Lookups run from slot 0 up and take the first match on the
// first three characters of the code, case-sensitively.
class ProfileTable {
 public:
  ProfileTable() = default;
  virtual ~ProfileTable();
  ProfileTable(const ProfileTable&) = delete;
  ProfileTable& operator=(const ProfileTable&) = delete;

  ScanTypeEntry* Find(const char* code) const;
  // Scans of a type beginning with "CC" are served by the "CUE" entry.
  ScanTypeEntry* FindForScan(const char* type) const;
  // The entry now holding these values (an existing one keeps its longer code), or null when
  // the code is null or empty, or new and all 20 slots are taken.
  ScanTypeEntry* AddOrUpdate(const char* code, const char* filter, const char* command,
                             const char* params, bool autoConvert, int32_t showMode);
  bool Remove(const char* code);
  bool RemoveEntry(const ScanTypeEntry* entry);
  bool RemoveAt(int index);  // false only for an index outside 0..19
  ScanTypeEntry* GetAt(int index) const;
  void Clear();
  int Count() const;

  // A copy of the entry FindForScan gives, or null: for a thread other than the one that
  // changes the table (the driver thread), which must never hold an entry the table may free.
  // Taken under the same short lock as every change to the table.
  std::unique_ptr<ScanTypeEntry> CopyForScan(const char* type) const;

 private:
  ScanTypeEntry* slots_[kProfileSlots] = {};
  // Held while an entry is added, changed or freed, and while one is copied out. Lookups on
  // the thread that changes the table need it not.
  mutable TableLock lock_;
};

// Names of the stored profiles, in the registry's enumeration order; refilled as a whole.
class ProfileNameList {
 public:
  ProfileNameList() = default;
  virtual ~ProfileNameList();
  ProfileNameList(const ProfileNameList&) = delete;
  ProfileNameList& operator=(const ProfileNameList&) = delete;

  void Clear();
  const char* GetAt(int index) const;  // null outside 0..count-1; the list keeps ownership
  int Count() const { return count_; }
  // Appends a copy of the name; false when the list is full or the name is null.
  bool Append(const char* name);

 private:
  char* names_[kProfileNameSlots] = {};
  int32_t count_ = 0;
};

}  // namespace pellix
