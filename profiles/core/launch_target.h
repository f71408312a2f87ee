// What a profile's Program runs, found the way the shell finds it: trailing dots and blanks
// dropped, a name without a folder looked up in App Paths, the system's folders and the PATH,
// each with the system's executable extensions, a shortcut followed to its target. A Program
// that runs what it is given (a command interpreter, a script, a launcher) must get nothing
// from a label but digits.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace pellix {

using WideText = std::u16string;  // UTF-16, as Windows NT's wide calls take it

// The file system, environment and registry as the lookup reads them.
class ProgramLookup {
 public:
  virtual ~ProgramLookup() = default;
  // A text of the system's ANSI code page (a profile's, a scan's) in UTF-16.
  virtual WideText FromAnsi(const char* text) = 0;
  // True for a file that exists (not a folder). Relative paths are taken from the current
  // folder.
  virtual bool IsFile(const WideText& path) = 0;
  // An environment variable ("PATH", "PATHEXT"); empty when unset.
  virtual WideText Variable(const char16_t* name) = 0;
  // The folders searched before the PATH for a name without a folder: the current folder,
  // the system folder and the Windows folder.
  virtual std::vector<WideText> SystemFolders() = 0;
  // The App Paths registration of a file name ("npm.exe"), the current user's before the
  // machine's: the path it names, quotes and variables resolved. False when there is none.
  virtual bool AppPath(const WideText& name, WideText* path) = 0;
  // A shortcut's (.lnk) target; false when it cannot be read.
  virtual bool ShortcutTarget(const WideText& path, WideText* target) = 0;
};

enum class ProgramKind : uint8_t {
  kAddress,   // an address with a scheme ("https:", "mailto:"), opened by its handler
  kProgram,   // files that run what they are, not what they are given
  kLauncher,  // one of the files it may be runs what it is given
  kUnknown,   // no file found: what runs cannot be told
};

// The kind of an expanded Program. Every file the shell might pick counts: one launcher
// among them makes the Program a launcher.
ProgramKind KindOfProgram(const WideText& program, ProgramLookup& lookup);

// True when the file, by its name or extension, runs what it is given.
bool IsLauncherFile(const WideText& path);

// True for a text that begins with a URL scheme of two or more characters and a colon.
bool IsAddress(const WideText& text);

}  // namespace pellix
