// "Start with Windows": the value "Pellix" under the current user's
// Software\Microsoft\Windows\CurrentVersion\Run holds the quoted full path of the program
// and the options it was started with.
#pragma once
#include <string>

namespace pellix {

constexpr char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValueName[] = "Pellix";

// "\"C:\\Pellix\\pellix.exe\" -98": the path quoted, then the options without the blanks
// around them; the path alone when there are none.
std::string RunCommand(const char* programPath, const char* arguments);

// The options of a whole command line (GetCommandLineA): what follows the program's name,
// quoted or not.
const char* CommandLineOptions(const char* commandLine);

// True when the stored command starts this very program: its path, quoted or not, equals
// `programPath` but for letter case. A value that names another copy does not.
bool RunCommandStartsProgram(const char* command, const char* programPath);

}  // namespace pellix
