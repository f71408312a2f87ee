#include "tray/core/start_with_windows.h"

#include <cstring>

namespace pellix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string RunCommand(const char* programPath, const char* arguments) {
  std::string command = std::string("\"") + (programPath ? programPath : "") + "\"";
  if (arguments == nullptr) return command;
  const char* begin = arguments;
  while (IsBlank(*begin)) ++begin;
  const char* end = begin + std::strlen(begin);
  while (end > begin && IsBlank(end[-1])) --end;
  if (end > begin) command += " " + std::string(begin, end);
  return command;
}

const char* CommandLineOptions(const char* commandLine) {
  if (commandLine == nullptr) return "";
  const char* p = commandLine;
  while (IsBlank(*p)) ++p;
  if (*p == '"') {
    const char* close = std::strchr(p + 1, '"');
    return close ? close + 1 : p + std::strlen(p);
  }
  while (*p && !IsBlank(*p)) ++p;
  return p;
}

bool RunCommandStartsProgram(const char* command, const char* programPath) {
  if (command == nullptr || programPath == nullptr || programPath[0] == '\0') return false;
  while (IsBlank(*command)) ++command;
  std::string path;
  if (*command == '"') {
    const char* close = std::strchr(command + 1, '"');
    if (close == nullptr) return false;
    path.assign(command + 1, close);
  } else {
    // Unquoted, as people write it by hand: the path runs to ".exe" when it has one (it may
    // hold blanks), else to the first blank.
    std::string rest(command);
    std::string lower = rest;
    for (char& c : lower) c = Lower(c);
    const size_t exe = lower.find(".exe");
    if (exe != std::string::npos) {
      path = rest.substr(0, exe + 4);
    } else {
      size_t blank = 0;
      while (blank < rest.size() && !IsBlank(rest[blank])) ++blank;
      path = rest.substr(0, blank);
    }
  }
  return SameIgnoringCase(path, programPath);
}

}  // namespace pellix
