#include "profiles/core/launch_target.h"

namespace pellix {

namespace {

// Programs that run, open or install what their arguments name: command interpreters, script
// hosts and the system's launchers. docs/USER-GUIDE.md lists them for the user.
const char* const kLauncherNames[] = {
    "cmd",       "command",   "powershell", "powershell_ise", "pwsh",      "wscript",
    "cscript",   "rundll32",  "rundll",     "regsvr32",       "mshta",     "msiexec",
    "explorer",  "start",     "conhost",    "wt",             "bash",      "wsl",
    "sh",        "python",    "pythonw",    "py",             "pyw",       "perl",
    "ruby",      "node",      "java",       "javaw",          "wmic",      "schtasks",
    "at",        "forfiles",  "msbuild",    "installutil",    "regasm",    "regsvcs",
    "cmstp",     "control",   "certutil",   "bitsadmin",      "hh",        "runas",
    "pcalua",    "scriptrunner", "mmc",     "msdt",           "odbcconf",  "winrs",
    "ftp",       "curl",      "wget",       "dotnet",         "regedit",   "reg",
    "sc",        "netsh",     "presentationhost", "infdefaultinstall", "ieexec", "msxsl",
};
// Files that a host runs: batch files, scripts, installers, shortcuts and their kind.
const char* const kLauncherExtensions[] = {
    "bat", "cmd", "btm", "vbs", "vbe", "js",  "jse", "wsf", "wsh",  "ws",  "ps1", "psm1",
    "hta", "msi", "msp", "mst", "msc", "reg", "inf", "scr", "pif",  "url", "lnk", "scf",
    "py",  "pyw", "pl",  "rb",  "sh",  "jar", "cpl", "chm", "application", "appref-ms",
    "settingcontent-ms", "website", "shb", "shs", "msh", "msh1", "msh2", "psc1", "gadget",
};

char16_t Lower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

bool Equals(const WideText& text, const char* ascii) {
  size_t i = 0;
  for (; ascii[i]; ++i) {
    if (i >= text.size() || Lower(text[i]) != static_cast<char16_t>(ascii[i])) return false;
  }
  return i == text.size();
}

bool IsSeparator(char16_t c) { return c == '\\' || c == '/'; }

WideText LastComponent(const WideText& path) {
  size_t at = path.size();
  while (at > 0 && !IsSeparator(path[at - 1]) && path[at - 1] != ':') --at;
  return path.substr(at);
}

bool HasFolder(const WideText& path) {
  for (char16_t c : path) {
    if (IsSeparator(c) || c == ':') return true;
  }
  return false;
}

// Windows drops the dots and blanks that end a path's last component: "lookup.bat. " is
// "lookup.bat".
WideText TrimEnd(WideText path) {
  while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.pop_back();
  return path;
}

WideText Trim(const WideText& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

// The path without the quotes that may enclose it.
WideText Unquote(const WideText& text) {
  WideText t = Trim(text);
  if (!t.empty() && t[0] == '"') {
    const size_t close = t.find(u'"', 1);
    return t.substr(1, close == WideText::npos ? WideText::npos : close - 1);
  }
  return t;
}

std::vector<WideText> Split(const WideText& list) {
  std::vector<WideText> parts;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(u';', start);
    if (end == WideText::npos) end = list.size();
    const WideText part = Unquote(list.substr(start, end - start));
    if (!part.empty()) parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

WideText Join(WideText folder, const WideText& name) {
  if (!folder.empty() && !IsSeparator(folder.back())) folder += u'\\';
  return folder + name;
}

class Resolver {
 public:
  explicit Resolver(ProgramLookup& lookup) : lookup_(lookup) {
    extensions_ = Split(lookup.Variable(u"PATHEXT"));
    if (extensions_.empty()) extensions_ = Split(u".COM;.EXE;.BAT;.CMD");
  }

  ProgramKind Kind(const WideText& program, int depth) {
    const WideText path = TrimEnd(Unquote(program));
    if (path.empty()) return ProgramKind::kUnknown;
    std::vector<WideText> found;
    if (HasFolder(path)) {
      TryIn(path, &found);
    } else {
      WideText registered;
      if (lookup_.AppPath(path, &registered)) found.push_back(TrimEnd(Unquote(registered)));
      if (lookup_.AppPath(path + u".exe", &registered)) found.push_back(TrimEnd(Unquote(registered)));
      for (const WideText& folder : lookup_.SystemFolders()) TryIn(Join(folder, path), &found);
      for (const WideText& folder : Split(lookup_.Variable(u"PATH"))) TryIn(Join(folder, path), &found);
    }
    if (found.empty()) return IsLauncherFile(path) ? ProgramKind::kLauncher : ProgramKind::kUnknown;
    for (const WideText& file : found) {
      const WideText name = LastComponent(file);
      const size_t dot = name.rfind(u'.');
      if (dot != WideText::npos && Equals(name.substr(dot + 1), "lnk")) {
        WideText target;
        // A shortcut that cannot be read, or one to a shortcut, runs what cannot be told.
        if (depth > 0 || !lookup_.ShortcutTarget(file, &target)) return ProgramKind::kLauncher;
        const ProgramKind kind = IsAddress(target) ? ProgramKind::kLauncher : Kind(target, depth + 1);
        if (kind != ProgramKind::kProgram) return kind == ProgramKind::kUnknown ? ProgramKind::kLauncher : kind;
      } else if (IsLauncherFile(file)) {
        return ProgramKind::kLauncher;
      }
    }
    return ProgramKind::kProgram;
  }

 private:
  // The path as it is, and with each executable extension after it: the shell may pick
  // either, so both count.
  void TryIn(const WideText& path, std::vector<WideText>* found) {
    if (lookup_.IsFile(path)) found->push_back(path);
    for (const WideText& extension : extensions_) {
      if (lookup_.IsFile(path + extension)) found->push_back(path + extension);
    }
  }

  ProgramLookup& lookup_;
  std::vector<WideText> extensions_;
};

}  // namespace

bool IsAddress(const WideText& text) {
  const WideText t = Trim(text);
  size_t i = 0;
  while (i < t.size() && ((Lower(t[i]) >= 'a' && Lower(t[i]) <= 'z') ||
                          (i > 0 && ((t[i] >= '0' && t[i] <= '9') || t[i] == '+' ||
                                     t[i] == '-' || t[i] == '.')))) {
    ++i;
  }
  return i >= 2 && i < t.size() && t[i] == ':';
}

bool IsLauncherFile(const WideText& path) {
  const WideText name = LastComponent(TrimEnd(path));
  const size_t dot = name.rfind(u'.');
  const WideText base = dot == WideText::npos ? name : name.substr(0, dot);
  if (dot != WideText::npos) {
    const WideText extension = name.substr(dot + 1);
    for (const char* e : kLauncherExtensions) {
      if (Equals(extension, e)) return true;
    }
  }
  for (const char* n : kLauncherNames) {
    if (Equals(base, n)) return true;
  }
  return false;
}

ProgramKind KindOfProgram(const WideText& program, ProgramLookup& lookup) {
  if (IsAddress(Unquote(program))) return ProgramKind::kAddress;
  return Resolver(lookup).Kind(program, 0);
}

}  // namespace pellix
