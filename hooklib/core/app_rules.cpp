#include "hooklib/core/app_rules.h"

#include "hooklib/core/interlocked.h"

namespace pellix {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The row's name read within its field (another process may leave it unterminated).
bool SameProgram(const char (&row)[kProgramNameSize], const char* program) {
  int i = 0;
  for (; i < kProgramNameSize; ++i) {
    const char a = SharedLoad(&row[i]);
    if (LowerAscii(a) != LowerAscii(program[i])) return false;
    if (a == 0) return true;
  }
  return false;  // no terminator: names no program
}

AppRule Checked(const AppRule& row) {
  AppRule r = {};
  const uint32_t pace = SharedLoad(&row.paceMs);
  r.paceMs = pace > kMaxPaceMs ? kMaxPaceMs : pace;
  r.method = SharedLoad(&row.method) == kMethodKeysOnly ? kMethodKeysOnly : kMethodKeysAndUnicode;
  const int32_t profile = SharedLoad(&row.profile);
  r.profile = (profile >= 0 && profile < kAppProfileCount) ? profile : kCurrentProfile;
  return r;
}

}  // namespace

AppRule RuleFor(const AppRules& rules, const char* program) {
  if (program && program[0] != 0) {
    const int32_t n = SharedLoad(&rules.count);
    const int32_t count = n < 0 ? 0 : (n > kAppRuleCount ? kAppRuleCount : n);
    for (int32_t i = 0; i < count; ++i) {
      if (SameProgram(rules.rules[i].program, program)) return Checked(rules.rules[i]);
    }
  }
  AppRule every = Checked(rules.everyOther);
  every.profile = kCurrentProfile;
  return every;
}

}  // namespace pellix
