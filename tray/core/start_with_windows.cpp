#include "tray/core/start_with_windows.h"

namespace pellix {

namespace {

template <class Char>
bool IsBlank(Char c) { return c == ' ' || c == '\t'; }

template <class Char>
Char Lower(Char c) { return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c; }

template <class Char>
int Length(const Char* text) {
  int n = 0;
  while (text[n]) ++n;
  return n;
}

template <class Char>
bool SameIgnoringCase(const Char* a, int length, const Char* b) {
  if (Length(b) != length) return false;
  for (int i = 0; i < length; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The program's path in a stored command: where it starts and its length; false when a
// quoted path has no closing quote. Unquoted, as people write it by hand, the path runs to
// ".exe" when it has one (it may hold blanks), else to the first blank.
template <class Char>
bool StoredPath(const Char* command, const Char** path, int* length) {
  while (IsBlank(*command)) ++command;
  if (*command == '"') {
    int n = 1;
    while (command[n] && command[n] != '"') ++n;
    if (!command[n]) return false;
    *path = command + 1;
    *length = n - 1;
    return true;
  }
  *path = command;
  for (int n = 0; command[n]; ++n) {
    if (Lower(command[n]) == '.' && Lower(command[n + 1]) == 'e' && Lower(command[n + 2]) == 'x' &&
        Lower(command[n + 3]) == 'e') {
      *length = n + 4;
      return true;
    }
  }
  int n = 0;
  while (command[n] && !IsBlank(command[n])) ++n;
  *length = n;
  return true;
}

}  // namespace

template <class Char>
bool RunCommand(const Char* programPath, const Char* arguments, Char (&out)[kRunCommandSize]) {
  int at = 0;
  const auto put = [&](Char c) {
    if (at < kRunCommandSize - 1) out[at] = c;
    ++at;
  };
  put('"');
  for (const Char* p = programPath; p && *p; ++p) put(*p);
  put('"');
  if (arguments) {
    const Char* begin = arguments;
    while (IsBlank(*begin)) ++begin;
    const Char* end = begin + Length(begin);
    while (end > begin && IsBlank(end[-1])) --end;
    if (end > begin) put(' ');
    for (const Char* p = begin; p < end; ++p) put(*p);
  }
  const bool fits = at < kRunCommandSize;
  out[fits ? at : 0] = 0;
  return fits;
}

template <class Char>
const Char* CommandLineOptions(const Char* commandLine) {
  static const Char kNothing[1] = {0};
  if (commandLine == nullptr) return kNothing;
  const Char* p = commandLine;
  while (IsBlank(*p)) ++p;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    return *p ? p + 1 : p;
  }
  while (*p && !IsBlank(*p)) ++p;
  return p;
}

template <class Char>
bool RunCommandStartsProgram(const Char* command, const Char* programPath) {
  if (command == nullptr || programPath == nullptr || programPath[0] == 0) return false;
  const Char* path = nullptr;
  int length = 0;
  return StoredPath(command, &path, &length) && SameIgnoringCase(path, length, programPath);
}

template <class Char>
bool SameRunCommand(const Char* stored, const Char* wanted) {
  const Char* path = nullptr;
  int length = 0;
  if (stored == nullptr || !StoredPath(stored, &path, &length)) return false;
  const Char* wantedPath = nullptr;
  int wantedLength = 0;
  StoredPath(wanted, &wantedPath, &wantedLength);
  if (length != wantedLength) return false;
  for (int i = 0; i < length; ++i) {
    if (Lower(path[i]) != Lower(wantedPath[i])) return false;
  }
  // The options: what follows the path (and its closing quote), blanks around them aside.
  const Char* a = path + length + (path > stored && path[-1] == '"' ? 1 : 0);
  const Char* b = wantedPath + wantedLength + 1;
  while (IsBlank(*a)) ++a;
  while (IsBlank(*b)) ++b;
  int n = Length(a), m = Length(b);
  while (n > 0 && IsBlank(a[n - 1])) --n;
  while (m > 0 && IsBlank(b[m - 1])) --m;
  if (n != m) return false;
  for (int i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

#define PELLIX_RUN_RULES(Char)                                                           \
  template bool RunCommand<Char>(const Char*, const Char*, Char (&)[kRunCommandSize]);  \
  template const Char* CommandLineOptions<Char>(const Char*);                           \
  template bool RunCommandStartsProgram<Char>(const Char*, const Char*);                \
  template bool SameRunCommand<Char>(const Char*, const Char*);
PELLIX_RUN_RULES(char)
PELLIX_RUN_RULES(wchar_t)
#undef PELLIX_RUN_RULES

}  // namespace pellix
