// Test helpers: starting a sibling program of the test (same folder) and waiting for it.
#pragma once
#include <windows.h>

#include <string>

namespace pellix::testing {

inline std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string p(path, n);
  return p.substr(0, p.find_last_of("\\/") + 1);
}

// Starts `program` (a file of the test's folder) with `args`; null on failure.
inline HANDLE StartSibling(const std::string& program, const std::string& args) {
  std::string command = "\"" + ProgramFolder() + program + "\" " + args;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Runs a sibling to its end; its exit code, or -1 when it did not start or end in time.
inline int RunSibling(const std::string& program, const std::string& args,
                      DWORD timeoutMs = 30000) {
  HANDLE process = StartSibling(program, args);
  if (!process) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  else TerminateProcess(process, 99);
  CloseHandle(process);
  return static_cast<int>(code);
}

}  // namespace pellix::testing
