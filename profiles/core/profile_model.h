// The current profile in memory: its scan-type entries, the 20-slot table that holds them, the
// list of stored profile names, and the $-expansion of an entry's command and parameters.
#pragma once
#include <cstdint>
#include <memory>

#include "profiles/core/launch_target.h"
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

  char* code = nullptr;
  char* filter = nullptr;
  char* command = nullptr;
  char* params = nullptr;
  int32_t showMode = 1;  // SW_SHOWNORMAL
  bool autoConvert = false;

 private:
  static void Assign(char*& field, const char* text);
};

// Why a scan's command is not started: the label would choose what runs, or add to it.
enum class LaunchRefusal : uint8_t {
  kNone,
  kCharacter,         // a field holds a character other than A-Z a-z 0-9 - . _
  kOption,            // a field begins with '-' or '/', which a program reads as an option
  kEmpty,             // a field is empty: the arguments after it would move up
  kLauncher,          // the Program runs what it is given, and a field is not all digits
  kUnknownProgram,    // what the Program runs cannot be found, and a field is not all digits
  kProgramFromLabel,  // the Program begins with a field that is no http or https address,
                      // or a field in its path is not all digits
  kTooLong,           // the expansion does not fit in 499 characters
};
// The reason in the user's words, for the tray icon's balloon.
const char* LaunchRefusalText(LaunchRefusal refusal);

struct ExpandedCommand {
  char16_t file[kExpansionSize];
  char16_t params[kExpansionSize];
  bool hasParams;  // the entry has a Parameters text
};

// The entry's Program and Parameters with the scan, in UTF-16: "$1"/"$S"/"$s" data,
// "$2"/"$T"/"$t" type, "$3"/"$N"/"$n" serial; any other '$' stays. A field is never quoted
// or escaped; it goes in only when it cannot change what runs or how many arguments it gets:
// - in an address (a Program with a scheme, "https:"), a field is percent-encoded from
//   UTF-8 (letters, digits and "-._~" stay); a Program that begins with a field runs only
//   when that field is an http or https address, whose URL characters stay; a field
//   elsewhere in a Program that is no address names a file, and is all digits;
// - anywhere else, every character is an ASCII letter or digit or one of "-._" (a blank
//   too inside the user's own quotes), the field is not empty and does not begin with '-'
//   or '/';
// - when the Program, resolved as the shell resolves it (`lookup`), may be a launcher or
//   cannot be found, a field outside an address is all digits (an ISBN-10 may end in X).
// Anything else is refused, and `out` is then not to be used.
LaunchRefusal ExpandLaunch(const ScanTypeEntry& entry, const char* data, const char* type,
                           const char* serial, ProgramLookup& lookup, ExpandedCommand* out);

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
