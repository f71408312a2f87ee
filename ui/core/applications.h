// The "Applications" page's rows: per program, the typing pace, the typing method and the
// profile; their checks, their registry form and the table the hook library is handed.
//
// Registry, beside "Settings" and "Profiles" under the program key, in "Applications":
//   "Count" (REG_DWORD): the number of program rows stored; missing: nothing stored yet,
//     and the rows for the remote clients Pellix knows stand in.
//   "OtherPace", "OtherMethod" (REG_DWORD): the row "every other program".
//   "UnicodeNames" (REG_DWORD 1): each "Program" holds the name's characters; missing (as
//     builds before it left it): the name's UTF-8 bytes as the A call stored them.
//   subkeys "1" .. Count, one per program row in the page's order, each with "Program"
//     (REG_SZ, the file name), "Pace" and "Method" (REG_DWORD) and "Profile" (REG_SZ, a
//     stored profile's name; empty for the current profile).
#pragma once
#include <cstdint>

#include "hooklib/core/app_rules.h"
#include "profiles/core/profile_model.h"
#include "profiles/core/program_key.h"

namespace pellix {

constexpr const char* kApplicationsKey = "Applications";
constexpr int kAppRowLimit = 1 + kAppRuleCount;  // "every other program" and 32 programs
constexpr char kEveryOtherProgramText[] = "every other program";
constexpr char kCurrentProfileText[] = "the current profile";
constexpr char kMethodKeysAndUnicodeText[] =
    "keys, with Unicode input where the layout has no key";
constexpr char kMethodKeysOnlyText[] = "keys only";
constexpr uint32_t kRemoteClientPaceMs = 20;

struct AppRow {
  char program[kProgramNameSize];  // UTF-8 file name; empty in row 0, every other program
  uint32_t paceMs;                 // 0 to kMaxPaceMs
  uint32_t method;                 // kMethodKeysAndUnicode or kMethodKeysOnly
  char profile[kProfileNameSize];  // a stored profile; empty: the current profile
};

// Row 0 is "every other program": always there, its profile always the current one.
struct AppRows {
  AppRow rows[kAppRowLimit];
  int count;  // 1 to kAppRowLimit
};

// "every other program" at pace 0, then the remote-desktop, Citrix, virtual-machine console
// and VNC clients at 20 ms, keys only for those that drop Unicode key packets.
void DefaultAppRows(AppRows& rows);
const char* MethodText(uint32_t method);

enum class AppRowError : uint8_t {
  kNone,
  kEmptyName,
  kPath,
  kBadCharacter,
  kTooLong,
  kPace,
  kDuplicate,
  kFull,
  kTooManyProfiles,
  kEveryOther,  // row 0 keeps its place, its name and the current profile
};
// The message the page shows for an error; empty for kNone.
const char* AppRowErrorText(AppRowError error);

// A row as the edit dialog gives it: the name and the pace as typed. Blanks around either
// go; the pace is a whole number of milliseconds from 0 to 500. `index` is the row being
// edited, or -1 for a new one (a name another row has, letter case aside, is a duplicate).
// On kNone `out` holds the row.
AppRowError CheckAppRow(const AppRows& rows, int index, const char* program,
                        const char* paceText, uint32_t method, const char* profile,
                        AppRow* out);
// Adds (index -1) or replaces row `index` after CheckAppRow; the rows stay as they were on
// any error. Row 0 takes only its pace and method.
AppRowError PutAppRow(AppRows& rows, int index, const char* program, const char* paceText,
                      uint32_t method, const char* profile);
// True for a name a row could hold: what the tray program takes from the library's note as
// the program a scan went to (anything else there counts as unknown).
bool IsProgramFileName(const char* name);
// False for row 0 and indexes outside the rows.
bool RemoveAppRow(AppRows& rows, int index);
// The row for the program's file name (letter case aside), 0 when none has it.
int FindAppRow(const AppRows& rows, const char* program);

// Reads the stored rows, or the default ones when none are stored. Stored rows that would
// not pass CheckAppRow (a hand-edited registry) are left out; a pace over 500 is read as
// 500, an unknown method as kMethodKeysAndUnicode.
void LoadAppRows(RegistryPort& registry, AppRows& rows);
// Stores every row, then drops row keys beyond them; false when something could not be
// written.
bool SaveAppRows(RegistryPort& registry, const AppRows& rows);

// The profiles that rows name, as the tray program keeps them to decide a scan's launch, in
// the slots of AppRules::profiles.
struct AppProfiles {
  char names[kAppProfileCount][kProfileNameSize];
  ProfileTable tables[kAppProfileCount];
  int count = 0;
};

// The library's table: each distinct stored profile that rows name gets a slot, its
// transforms filled as the current profile's are pushed; a row naming a profile that is not
// stored (any more) follows the current profile.
void BuildAppRules(const AppRows& rows, RegistryPort& registry, AppRules* rules,
                   AppProfiles* profiles);
// The table for a scan that went to `program`: the profile of its row, or null for the
// current profile.
const ProfileTable* ProfileForProgram(const AppRules& rules, const AppProfiles& profiles,
                                      const char* program);

}  // namespace pellix
