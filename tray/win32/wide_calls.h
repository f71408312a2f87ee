// The wide calls the tray program makes on NT for paths that may hold any script, bound at run
// time: the x86 program also starts on Windows 9x, whose system libraries lack some of them.
#pragma once
#include <windows.h>

#include <commdlg.h>

namespace pellix {

struct WideCalls {
  decltype(&CreateFileW) createFile;
  decltype(&GetFullPathNameW) fullPathName;
  decltype(&MoveFileExW) moveFileEx;
  decltype(&DeleteFileW) deleteFile;
  decltype(&SetDlgItemTextW) setDlgItemText;
  decltype(&GetDlgItemTextW) getDlgItemText;
  decltype(&GetSaveFileNameW) getSaveFileName;
  decltype(&RegQueryValueExW) regQueryValue;
  decltype(&RegSetValueExW) regSetValue;
  decltype(&RegDeleteValueW) regDeleteValue;
  decltype(&GetModuleFileNameW) moduleFileName;
  decltype(&GetCommandLineW) commandLine;
  decltype(&MessageBoxW) messageBox;
  decltype(&FormatMessageW) formatMessage;
  // The lookup of what a profile's Program runs.
  decltype(&GetFileAttributesW) fileAttributes;
  decltype(&GetEnvironmentVariableW) environmentVariable;
  decltype(&ExpandEnvironmentStringsW) expandEnvironment;
  decltype(&GetCurrentDirectoryW) currentDirectory;
  decltype(&GetSystemDirectoryW) systemDirectory;
  decltype(&GetWindowsDirectoryW) windowsDirectory;
  decltype(&RegOpenKeyExW) regOpenKey;
  decltype(&CreateDirectoryW) createDirectory;
};

// The calls on NT; null on 9x, where paths stay in the ANSI code page.
const WideCalls* Wide();

}  // namespace pellix
