// pellix-record-args: stands in for a program a profile launches; appends the argument text
// it was started with, one line per start, to the file named by PELLIX_RECORD_FILE (or
// "record-args.txt" beside itself), so a test can see what was launched and how.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The command line after the program name, as Windows hands it over.
const char* ArgumentText() {
  const char* p = GetCommandLineA();
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("PELLIX_RECORD_FILE", path, sizeof path);
  if (n == 0 || n >= sizeof path) {
    n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return 1;
    char* slash = std::strrchr(path, '\\');
    const char name[] = "record-args.txt";
    size_t dir = slash ? static_cast<size_t>(slash - path + 1) : 0;
    if (dir + sizeof name > sizeof path) return 1;
    std::memcpy(path + dir, name, sizeof name);
  }
  FILE* f = std::fopen(path, "ab");
  if (!f) return 1;
  std::fprintf(f, "%s\n", ArgumentText());
  std::fclose(f);
  return 0;
}
