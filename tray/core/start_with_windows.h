// "Start with Windows": the value "Pellix" under the current user's
// Software\Microsoft\Windows\CurrentVersion\Run holds the quoted full path of the program
// and the options it was started with. Each rule comes for ANSI (9x) and wide (NT) texts.
#pragma once

namespace pellix {

constexpr char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValueName[] = "Pellix";
constexpr int kRunCommandSize = 800;  // a full path of 260, its quotes and the options

// "\"C:\\Pellix\\pellix.exe\" -98": the path quoted, then the options without the blanks
// around them; the path alone when there are none. False (and `out` empty) when it does not
// fit in kRunCommandSize.
template <class Char>
bool RunCommand(const Char* programPath, const Char* arguments, Char (&out)[kRunCommandSize]);

// The options of a whole command line (GetCommandLine): what follows the program's name,
// quoted or not.
template <class Char>
const Char* CommandLineOptions(const Char* commandLine);

// True when the stored command starts this very program: its path, quoted or not, equals
// `programPath` but for letter case. A value that names another copy does not.
template <class Char>
bool RunCommandStartsProgram(const Char* command, const Char* programPath);

// True when the stored command is `wanted` (as RunCommand makes it) itself: the same program
// (letter case aside) with the same options.
template <class Char>
bool SameRunCommand(const Char* stored, const Char* wanted);

}  // namespace pellix
