// Typing per program: the pace, the method and the profile for the program a scan goes to,
// as the tray program's "Applications" page sets them. The tray program builds the whole
// table and hands it to the library (Pellix_SetApplications), which keeps it in the shared
// record; the library reads it as untrusted input (RuleFor checks every field).
#pragma once
#include <cstdint>

#include "engine/transform_table.h"

namespace pellix {

constexpr int kAppRuleCount = 32;      // rows besides "every other program"
constexpr int kAppProfileCount = 8;    // profiles other than the current one that rows name
constexpr int kProgramNameSize = 64;   // a program's file name, UTF-8, with its zero
constexpr uint32_t kMaxPaceMs = 500;   // milliseconds between keys

// How a row's program is typed to.
constexpr uint32_t kMethodKeysAndUnicode = 0;  // keys, Unicode input where no key gives it
constexpr uint32_t kMethodKeysOnly = 1;        // keys only: for clients that drop Unicode packets

constexpr int32_t kCurrentProfile = -1;  // the tray menu's profile

struct AppRule {
  // The program's file name ("mstsc.exe"), UTF-8, zero-terminated; compared without regard
  // to the case of ASCII letters. Unused in `everyOther`.
  char program[kProgramNameSize];
  uint32_t paceMs;  // 0 to kMaxPaceMs
  uint32_t method;  // kMethodKeysAndUnicode or kMethodKeysOnly
  int32_t profile;  // kCurrentProfile, or an index into AppRules::profiles
};

struct AppRules {
  AppRule everyOther;  // its profile is always the current one
  int32_t count;       // rows used in `rules`
  AppRule rules[kAppRuleCount];
  // The fix-ups and filters of the profiles that rows name, filled as the current profile's
  // are (type, filter, ISBN conversion).
  TransformTable profiles[kAppProfileCount];
};

}  // namespace pellix

namespace pellix {

// The row for a program's file name, or "every other program" for none or an unknown one
// (its profile always the current one). Every field comes back in range, the name empty.
AppRule RuleFor(const AppRules& rules, const char* program);

}  // namespace pellix
