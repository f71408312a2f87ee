// uninstall.exe: runs Pellix's uninstaller and waits for it, so that `uninstall.exe /S`
// returns when the work is done, with the uninstaller's own exit code.
//
// The uninstaller proper (an NSIS program) rides behind this program's image in the same file,
// followed by an 8-byte trailer: its size (32 bits, little-endian) and "PLXW". It cannot run
// from the install folder, since it could not remove its own file there (an NSIS program keeps
// its file open without delete sharing), so it is written to the temporary folder and run
// from there with /D= naming this folder. This program's own file can be moved while it runs:
// when the uninstaller succeeded, it moves itself to the temporary folder and removes the
// install folder if nothing else is left in it.
//
// Exit codes: the uninstaller's (0 done, 1 cancelled, 2 nothing changed); 2 as well when the
// uninstaller cannot be unpacked or started.
#include <windows.h>

namespace {

const DWORD kTrailer = 8;
const char kMagic[4] = {'P', 'L', 'X', 'W'};

bool Silent(const wchar_t* arguments) {
  for (const wchar_t* p = arguments; *p; ++p) {
    if (p[0] == L'/' && (p[1] == L'S' || p[1] == L's') && (p[2] == 0 || p[2] == L' ') &&
        (p == arguments || p[-1] == L' '))
      return true;
  }
  return false;
}

int Fail(const wchar_t* arguments, const wchar_t* what) {
  if (!Silent(arguments)) MessageBoxW(nullptr, what, L"Pellix uninstall", MB_OK | MB_ICONSTOP);
  return 2;
}

// The command line after the program's own name.
const wchar_t* Arguments() {
  const wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p && *p != L'"'; ++p) {
    }
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// Copies the uninstaller behind this program's image into `to`.
bool Unpack(const wchar_t* self, const wchar_t* to) {
  HANDLE in = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  bool ok = false;
  const DWORD size = GetFileSize(in, nullptr);
  char trailer[kTrailer];
  DWORD got = 0;
  if (size != INVALID_FILE_SIZE && size > kTrailer &&
      SetFilePointer(in, static_cast<LONG>(size - kTrailer), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
      ReadFile(in, trailer, kTrailer, &got, nullptr) && got == kTrailer &&
      RtlEqualMemory(trailer + 4, kMagic, 4)) {
    const DWORD length = static_cast<DWORD>(static_cast<unsigned char>(trailer[0])) |
                         static_cast<DWORD>(static_cast<unsigned char>(trailer[1])) << 8 |
                         static_cast<DWORD>(static_cast<unsigned char>(trailer[2])) << 16 |
                         static_cast<DWORD>(static_cast<unsigned char>(trailer[3])) << 24;
    HANDLE out = length <= size - kTrailer
                     ? CreateFileW(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                     : INVALID_HANDLE_VALUE;
    if (out != INVALID_HANDLE_VALUE &&
        SetFilePointer(in, static_cast<LONG>(size - kTrailer - length), nullptr, FILE_BEGIN) !=
            INVALID_SET_FILE_POINTER) {
      static char buffer[65536];
      DWORD left = length;
      ok = true;
      while (ok && left > 0) {
        const DWORD chunk = left < sizeof buffer ? left : sizeof buffer;
        DWORD n = 0, written = 0;
        ok = ReadFile(in, buffer, chunk, &n, nullptr) && n == chunk &&
             WriteFile(out, buffer, n, &written, nullptr) && written == n;
        left -= chunk;
      }
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  }
  CloseHandle(in);
  return ok;
}

void Append(wchar_t* to, size_t capacity, const wchar_t* text) {
  size_t n = static_cast<size_t>(lstrlenW(to));
  while (*text && n + 1 < capacity) to[n++] = *text++;
  to[n] = 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const wchar_t* arguments = Arguments();
  static wchar_t self[32768], folder[32768], temp[MAX_PATH + 1], worker[MAX_PATH + 1],
      moved[MAX_PATH + 1], command[65536];
  const DWORD n = GetModuleFileNameW(nullptr, self, sizeof self / sizeof *self);
  if (n == 0 || n >= sizeof self / sizeof *self) return Fail(arguments, L"Cannot find this program's file.");
  lstrcpynW(folder, self, static_cast<int>(sizeof folder / sizeof *folder));
  for (int i = lstrlenW(folder); i > 0; --i) {
    if (folder[i - 1] == L'\\') {
      folder[i - 1] = 0;
      break;
    }
  }
  if (!GetTempPathW(MAX_PATH + 1, temp) || !GetTempFileNameW(temp, L"plx", 0, worker) ||
      !Unpack(self, worker)) {
    DeleteFileW(worker);
    return Fail(arguments, L"The uninstaller could not be unpacked into the temporary folder.");
  }

  // Our own arguments (/S), then the folder: NSIS takes /D= only last, and whole.
  command[0] = 0;
  Append(command, sizeof command / sizeof *command, L"\"");
  Append(command, sizeof command / sizeof *command, worker);
  Append(command, sizeof command / sizeof *command, L"\" ");
  Append(command, sizeof command / sizeof *command, arguments);
  Append(command, sizeof command / sizeof *command, L" /D=");
  Append(command, sizeof command / sizeof *command, folder);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(worker, command, nullptr, nullptr, FALSE, 0, nullptr, temp, &startup,
                      &process)) {
    DeleteFileW(worker);
    return Fail(arguments, L"The uninstaller could not be started.");
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 2;
  if (!GetExitCodeProcess(process.hProcess, &code)) code = 2;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 50 && !DeleteFileW(worker); ++i) Sleep(100);

  // Done: this file goes as well, and the folder with it when nothing else is left there.
  if (code == 0 && GetTempFileNameW(temp, L"plx", 0, moved) && DeleteFileW(moved) &&
      MoveFileW(self, moved)) {
    SetCurrentDirectoryW(temp);
    RemoveDirectoryW(folder);
  }
  return static_cast<int>(code);
}
