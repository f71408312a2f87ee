// pellix-record-argv: stands in for a program a profile launches, to show what the real
// parsers make of its command line. Writes one line per start, in UTF-8, to a file of its own
// in the folder named by PELLIX_RECORD_DIR (many may start at once):
//   the command line after the program's name, a tab, CommandLineToArgvW's arguments after
//   the program's as [..][..], a tab, the C run-time's (msvcrt's) arguments likewise.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// The command line after the program name, as Windows hands it over.
const wchar_t* ArgumentText(const wchar_t* p) {
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

std::string List(int count, wchar_t** args) {
  std::string out;
  for (int i = 1; i < count; ++i) out += "[" + Utf8(args[i]) + "]";
  return out;
}

// The run-time's arguments of a GUI program are its ANSI ones.
std::string List(int count, char** args) {
  std::string out;
  for (int i = 1; i < count; ++i) {
    wchar_t wide[1024];
    if (!MultiByteToWideChar(CP_ACP, 0, args[i], -1, wide, 1024)) wide[0] = 0;
    out += "[" + Utf8(wide) + "]";
  }
  return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"PELLIX_RECORD_DIR", path, MAX_PATH - 40);
  if (n == 0 || n >= MAX_PATH - 40) return 1;
  wsprintfW(path + n, L"\\argv-%lu-%lu.txt", GetCurrentProcessId(), GetTickCount());
  const wchar_t* line = GetCommandLineW();
  int count = 0;
  wchar_t** shell = CommandLineToArgvW(line, &count);
  std::string record = Utf8(ArgumentText(line)) + "\t" + List(count, shell) + "\t" +
                       (__wargv ? List(__argc, __wargv) : List(__argc, __argv)) + "\n";
  LocalFree(shell);
  FILE* f = _wfopen(path, L"wb");
  if (!f) return 1;
  std::fwrite(record.data(), 1, record.size(), f);
  std::fclose(f);
  return 0;
}
