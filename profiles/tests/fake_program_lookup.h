// A file system, environment and registry in memory for the program lookup. Its contract with
// the real one (case, trailing dots and blanks, folders, App Paths, shortcuts) is checked by
// program_lookup_contract_test, natively against this and under Wine against Windows.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "profiles/core/launch_target.h"

namespace pellix {

// UTF-16 of an ASCII or UTF-8 text, for tests.
inline WideText Wide(const std::string& text) {
  WideText out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) cp = c & (0x3F >> extra);
    for (++i; extra > 0 && i < text.size(); --extra, ++i) cp = (cp << 6) | (text[i] & 0x3F);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

// UTF-8 of a UTF-16 text (BMP only), for messages and comparisons.
inline std::string Narrow(const WideText& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

class FakeProgramLookup : public ProgramLookup {
 public:
  // The ANSI code page is Latin-1 here: each byte is its own code point.
  WideText FromAnsi(const char* text) override {
    WideText out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) out += *p;
    return out;
  }
  bool IsFile(const WideText& path) override { return files.count(Key(path)) != 0; }
  WideText Variable(const char16_t* name) override {
    auto it = variables.find(Key(name));
    return it == variables.end() ? WideText() : it->second;
  }
  std::vector<WideText> SystemFolders() override { return systemFolders; }
  bool AppPath(const WideText& name, WideText* path) override {
    auto it = appPaths.find(Key(name));
    if (it == appPaths.end()) return false;
    *path = it->second;
    return true;
  }
  bool ShortcutTarget(const WideText& path, WideText* target) override {
    auto it = shortcuts.find(Key(path));
    if (it == shortcuts.end()) return false;
    *target = it->second;
    return true;
  }

  // Adds files (ASCII paths); a shortcut's target is given with AddShortcut.
  void Add(std::initializer_list<const char*> paths) {
    for (const char* p : paths) files.insert(Key(Wide(p)));
  }
  void AddShortcut(const char* path, const char* target) {
    Add({path});
    shortcuts[Key(Wide(path))] = Wide(target);
  }
  void Set(const char* name, const char* value) { variables[Key(Wide(name))] = Wide(value); }
  void AddAppPath(const char* name, const char* value) { appPaths[Key(Wide(name))] = Wide(value); }

  // Names as Windows compares them: case aside, '/' as '\', the last component's dots and
  // blanks at its end dropped.
  static WideText Key(WideText path) {
    for (char16_t& c : path) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
      if (c == '/') c = '\\';
    }
    while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.pop_back();
    return path;
  }

  std::set<WideText> files;
  std::map<WideText, WideText> variables, appPaths, shortcuts;
  std::vector<WideText> systemFolders = {u"c:\\work", u"C:\\Windows\\system32", u"C:\\Windows"};
};

}  // namespace pellix
