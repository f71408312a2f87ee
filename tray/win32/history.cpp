// The scans of this run and the scan log: a hidden window of its own receives each scan on
// the user-interface thread, from the scan handler and from the driver thread alike; a thread
// of its own writes the log, so that a slow or held file never holds up that thread, which
// also serves the low-level keyboard hook.
#include "tray/win32/history.h"

#include <commdlg.h>

#include <cstring>
#include <new>

#include "hooklib/core/delivery.h"
#include "tray/core/settings_store.h"
#include "tray/core/tray_menu.h"
#include "tray/win32/shell_notify.h"
#include "tray/win32/tray_app.h"
#include "tray/win32/wide_calls.h"

namespace pellix {

constexpr UINT kScanHandedOver = WM_APP + 1;  // lParam: a ScanEntry, freed by the receiver
constexpr UINT kLogFailed = WM_APP + 3;       // from the writer: tell the user once
constexpr char kHistoryWindowClass[] = "PellixHistoryWnd";

namespace {

ScanHistory g_history;
ScanLogSettings g_log;
RegistryPort* g_registry = nullptr;
HWND volatile g_historyWindow = nullptr;  // read by the driver thread too
OutcomeJoin g_join;
SeenScans g_seen;
RepeatGate g_repeats;  // the thread that handles scans only
constexpr UINT_PTR kOutcomeTimer = 2;

// The writer's side. g_logLock guards the hand-over queue, the path it writes to and the
// failure's words; the files themselves are touched only by the writer, without the lock.
CRITICAL_SECTION g_logLock;
LogQueue g_handOver;  // recorded, not yet taken by the writer
char g_writerPath[kLogPathSize];
char g_failure[256];
HANDLE g_logWake = nullptr;
HANDLE g_writer = nullptr;
volatile LONG g_stopping = 0;
constexpr DWORD kBusyRetries = 8;      // a file held by another program: 8 tries over 2 s
constexpr DWORD kBusyRetryMs = 250;
constexpr DWORD kStopRetries = 4;      // at the end: 1 s more, then the lines are kept
constexpr DWORD kStopWaitMs = 4000;    // within what Windows gives a program at logoff
constexpr DWORD kFailedRetryMs = 30000;  // and again while lines wait

// Opened per pass and closed at once, shared for reading and writing: the user may keep the
// file open in another program, and a killed program leaves every line it wrote. On NT every
// write goes at the end by the system's own rule (FILE_APPEND_DATA), whoever else appends.
class Win32AppendFile : public AppendFile {
 public:
  Result Open(const char* path) override {
    lstrcpynA(path_, path, sizeof path_);
    file_ = OpenPath(path,
                     g_app.nt ? FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE : GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    return file_ == INVALID_HANDLE_VALUE ? Failure() : kDone;
  }
  int Size() override {
    DWORD high = 0;
    const DWORD low = GetFileSize(file_, &high);
    return high != 0 || low > 0x7fffffff ? 0x7fffffff : static_cast<int>(low);
  }
  // Only a file shorter than the header is read: with a handle of its own, which asks for
  // reading only where it must.
  int ReadStart(char* text, int capacity) override {
    HANDLE file = OpenPath(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD n = 0;
    const BOOL ok = ReadFile(file, text, static_cast<DWORD>(capacity), &n, nullptr);
    CloseHandle(file);
    return ok ? static_cast<int>(n) : -1;
  }
  Result Write(const char* text, int length, int* written) override {
    if (!g_app.nt) SetFilePointer(file_, 0, nullptr, FILE_END);
    DWORD n = 0;
    const BOOL ok = WriteFile(file_, text, static_cast<DWORD>(length), &n, nullptr);
    *written = static_cast<int>(n);
    if (ok && n == static_cast<DWORD>(length)) return kDone;
    if (ok) SetLastError(ERROR_DISK_FULL);
    return Failure();
  }
  void Close() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  const char* Reason() override { return reason_; }

 private:
  Result Failure() {
    const DWORD error = GetLastError();
    reason_[0] = '\0';
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                   0, reason_, sizeof reason_, nullptr);
    if (reason_[0] == '\0') wsprintfA(reason_, "Error %lu.", error);
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? kBusy : kFailed;
  }
  HANDLE file_ = INVALID_HANDLE_VALUE;
  char path_[kLogPathSize] = {};
  char reason_[200];
};

// "Unwritten scans.csv" in the user's Pellix folder of application data (on 9x without one,
// beside the program): the program's own, not shared.
class Win32UnwrittenFile : public UnwrittenScansFile {
 public:
  char path[kLogPathSize] = {};

  int Size() override {
    HANDLE file = OpenPath(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return 0;
    const DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    return size == INVALID_FILE_SIZE || size > 0x7fffffff ? 0 : static_cast<int>(size);
  }
  bool Append(const char* text, int length) override {
    HANDLE file = OpenPath(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD size = GetFileSize(file, nullptr);
    DWORD n = 0;
    bool ok = size != INVALID_FILE_SIZE &&
              SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
              WriteFile(file, text, static_cast<DWORD>(length), &n, nullptr) &&
              n == static_cast<DWORD>(length);
    if (!ok && size != INVALID_FILE_SIZE) {  // all or nothing: cut back what went in
      SetFilePointer(file, static_cast<LONG>(size), nullptr, FILE_BEGIN);
      SetEndOfFile(file);
    }
    ok = CloseHandle(file) && ok;
    return ok;
  }
  int Read(int offset, char* text, int capacity) override {
    HANDLE file = OpenPath(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    DWORD n = 0;
    const bool ok = SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                    ReadFile(file, text, static_cast<DWORD>(capacity), &n, nullptr);
    CloseHandle(file);
    return ok ? static_cast<int>(n) : -1;
  }
  bool Drop(int bytes) override {
    const int size = Size();
    if (bytes >= size) {
      DeletePath(path);
      return Size() == 0;
    }
    // The rest, written whole beside it, replaces it.
    const int rest = size - bytes;
    char* text = new (std::nothrow) char[rest];
    bool ok = text && Read(bytes, text, rest) == rest;
    char fresh[kLogPathSize + 8];
    wsprintfA(fresh, "%s.new", path);
    HANDLE file = ok ? OpenPath(fresh, GENERIC_WRITE, 0, CREATE_ALWAYS) : INVALID_HANDLE_VALUE;
    DWORD n = 0;
    ok = file != INVALID_HANDLE_VALUE && WriteFile(file, text, static_cast<DWORD>(rest), &n, nullptr) &&
         n == static_cast<DWORD>(rest);
    if (file != INVALID_HANDLE_VALUE) ok = CloseHandle(file) && ok;
    ok = ok && ReplacePath(fresh, path);
    if (!ok) DeletePath(fresh);
    delete[] text;
    return ok;
  }
};

Win32AppendFile g_logFile;
Win32UnwrittenFile g_unwrittenFile;
ScanLogWriter g_scanLog(g_logFile, g_unwrittenFile);  // the writer's thread only

void FindUnwrittenScansFile(char* path) {
  static const char kName[] = "\\Unwritten scans.csv";
  path[0] = '\0';
  if (const WideCalls* w = Wide()) {
    WCHAR folder[MAX_PATH];
    const DWORD n = w->environmentVariable(L"APPDATA", folder, MAX_PATH);
    static const WCHAR kFolder[] = L"\\Pellix";
    if (n > 0 && n + sizeof kFolder / sizeof(WCHAR) < MAX_PATH) {
      for (DWORD i = 0; i < sizeof kFolder / sizeof(WCHAR); ++i) folder[n + i] = kFolder[i];
      w->createDirectory(folder, nullptr);
      if (!WideCharToMultiByte(CP_UTF8, 0, folder, -1, path, kLogPathSize - sizeof kName, nullptr,
                               nullptr))
        path[0] = '\0';
    }
  } else {
    const DWORD n = GetEnvironmentVariableA("APPDATA", path, kLogPathSize - 40);
    if (n > 0 && n < kLogPathSize - 40) {
      lstrcatA(path, "\\Pellix");
      CreateDirectoryA(path, nullptr);
    } else {
      path[0] = '\0';
    }
  }
  if (path[0] == '\0') {  // beside the program
    const DWORD n = GetModuleFileNameA(nullptr, path, kLogPathSize - sizeof kName);
    char* slash = n > 0 ? std::strrchr(path, '\\') : nullptr;
    if (slash) *slash = '\0';
    else path[0] = '\0';
  }
  lstrcatA(path, kName);
}

DWORD WINAPI LogWriter(LPVOID) {
  static ScanEntry taken[kHistoryLimit];
  bool told = false;
  for (;;) {
    WaitForSingleObject(g_logWake, g_scanLog.Waiting() ? kFailedRetryMs : INFINITE);
    const bool stopping = g_stopping != 0;  // then every scan recorded is handed over
    char path[kLogPathSize];
    int count = 0;
    EnterCriticalSection(&g_logLock);
    while (count < kHistoryLimit && g_handOver.Pop(&taken[count])) ++count;
    int lost = g_handOver.TakeDropped();
    std::memcpy(path, g_writerPath, sizeof path);
    LeaveCriticalSection(&g_logLock);
    for (int i = 0; i < count; ++i) g_scanLog.Take(taken[i]);
    AppendFile::Result result = AppendFile::kDone;
    const DWORD tries = stopping ? kStopRetries : kBusyRetries;
    for (DWORD attempt = 0; path[0] && g_scanLog.Waiting() && attempt < tries; ++attempt) {
      if (attempt > 0) Sleep(kBusyRetryMs);
      result = g_scanLog.Pass(path);
      if (result != AppendFile::kBusy || (g_stopping && !stopping)) break;
    }
    if (stopping) g_scanLog.KeepAll();  // written at the next start
    lost += g_scanLog.TakeLost();
    if (result == AppendFile::kDone) told = false;
    if ((result != AppendFile::kDone && !told) || lost > 0) {
      told = result != AppendFile::kDone;
      EnterCriticalSection(&g_logLock);
      lstrcpynA(g_failure, result != AppendFile::kDone ? g_logFile.Reason() : "", sizeof g_failure);
      LeaveCriticalSection(&g_logLock);
      if (!stopping) PostMessageA(g_historyWindow, kLogFailed, static_cast<WPARAM>(lost), 0);
    }
    if (stopping) return 0;
  }
}

// Balloons, not boxes: a box could take the focus, and the next scan's keys or the user's
// typing with it.
void TellLogFailure(int lost) {
  char text[256];
  EnterCriticalSection(&g_logLock);
  if (lost > 0)
    wsprintfA(text, "%.120s %d scans could not be kept for it.", g_failure, lost);
  else
    wsprintfA(text, "%.150s Pellix keeps the scans and writes them when the file can be written.",
              g_failure);
  LeaveCriticalSection(&g_logLock);
  ShowTrayBalloon(g_app.mainWindow, kTrayIconId, "Pellix could not write the scan log", text);
}

constexpr char kSettingsKeyPath[] = "Software\\Obrelle Works\\Pellix\\Settings";

bool ToWide(const char* path, WCHAR (&wide)[MAX_PATH]) {
  return MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MAX_PATH) > 0;
}

void FromWide(const WCHAR* wide, char* path) {
  if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, kLogPathSize, nullptr, nullptr))
    path[0] = '\0';
}

// On NT "LogFile" is read and written in wide characters beside the settings store, which
// speaks the ANSI code page: a value it wrote (or a test's registry) is taken from that code
// page when the wide one cannot be read.
void LoadWideLogPath(const WideCalls& w) {
  WCHAR wide[MAX_PATH] = {};
  HKEY key = nullptr;
  DWORD type = 0, size = sizeof wide - sizeof(WCHAR);
  bool read = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_QUERY_VALUE, &key) ==
              ERROR_SUCCESS;
  if (read) {
    read = w.regQueryValue(key, L"LogFile", nullptr, &type, reinterpret_cast<BYTE*>(wide),
                           &size) == ERROR_SUCCESS &&
           type == REG_SZ;
    RegCloseKey(key);
  }
  if (!read && !MultiByteToWideChar(CP_ACP, 0, g_log.path, -1, wide, MAX_PATH)) wide[0] = 0;
  FromWide(wide, g_log.path);
}

void SaveWideLogPath(const WideCalls& w) {
  WCHAR wide[MAX_PATH];
  HKEY key = nullptr;
  if (!ToWide(g_log.path, wide) ||
      RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD length = 0;
  while (wide[length]) ++length;
  w.regSetValue(key, L"LogFile", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide),
                (length + 1) * sizeof(WCHAR));
  RegCloseKey(key);
}

LocalTime LocalTimeNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  TIME_ZONE_INFORMATION zone;
  const DWORD which = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias;
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  else if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  else if (which == TIME_ZONE_ID_INVALID) bias = 0;
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
          static_cast<int>(-bias)};
}

void Record(const ScanEntry& scan) {
  ScanEntry entry = scan;
  entry.repeat = g_seen.Check(entry.type, entry.data);
  g_history.Add(entry);
  if (g_historyPage) SendMessageA(g_historyPage, kHistoryChanged, 0, 0);
  if (!g_log.on || !g_writer) return;
  EnterCriticalSection(&g_logLock);
  g_handOver.Push(entry);
  std::memcpy(g_writerPath, g_log.path, sizeof g_writerPath);
  LeaveCriticalSection(&g_logLock);
  SetEvent(g_logWake);
}

// The program's UTF-8 name in the code page of the scan's other texts.
void ProgramText(const char* program, char (&name)[kHistoryProgramSize]) {
  WCHAR wide[kHistoryProgramSize];
  name[0] = '\0';
  if (program == nullptr || program[0] == '\0' ||
      MultiByteToWideChar(CP_UTF8, 0, program, -1, wide, kHistoryProgramSize) == 0 ||
      WideCharToMultiByte(CP_ACP, 0, wide, -1, name, sizeof name, nullptr, nullptr) == 0)
    name[0] = '\0';
}

void RecordExpired() {
  ScanEntry done;
  while (g_join.Expire(GetTickCount(), &done)) Record(done);
  if (!g_join.Waiting()) KillTimer(g_historyWindow, kOutcomeTimer);
}

LRESULT CALLBACK HistoryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kScanHandedOver) {
    ScanEntry* entry = reinterpret_cast<ScanEntry*>(lParam);
    if (entry) {
      const ScanEntry copy = *entry;
      delete entry;
      Record(copy);
    }
    return 0;
  }
  if (message == WM_TIMER && wParam == kOutcomeTimer) {
    RecordExpired();
    return 0;
  }
  if (message == kLogFailed) {
    TellLogFailure(static_cast<int>(wParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ScanHistory& TheScanHistory() { return g_history; }

bool IgnoreRepeat(const char* type, const char* data) {
  return g_repeats.Ignore(type, data, GetTickCount(), g_log.ignoreRepeatMs);
}

void ClearScanHistory() {
  g_history.Clear();
  g_seen.Clear();
}
ScanLogSettings& TheScanLogSettings() { return g_log; }

void SaveTheScanLogSettings() {
  // Stored with its full path: the program may start in another folder (System32 at logon).
  char full[kLogPathSize];
  if (g_log.path[0] && FullPath(g_log.path, full)) std::memcpy(g_log.path, full, sizeof full);
  if (g_registry) SaveScanLogSettings(*g_registry, g_log);
  if (const WideCalls* w = Wide()) SaveWideLogPath(*w);
}

HANDLE OpenPath(const char* path, DWORD access, DWORD share, DWORD disposition) {
  const WideCalls* w = Wide();
  if (!w) {
    return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  WCHAR wide[MAX_PATH];
  if (!ToWide(path, wide)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
  }
  return w->createFile(wide, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool FullPath(const char* path, char* full) {
  const WideCalls* w = Wide();
  if (!w) {
    char* name = nullptr;
    const DWORD n = GetFullPathNameA(path, kLogPathSize, full, &name);
    return n > 0 && n < static_cast<DWORD>(kLogPathSize);
  }
  WCHAR wide[MAX_PATH], wideFull[MAX_PATH];
  WCHAR* name = nullptr;
  if (!ToWide(path, wide)) return false;
  const DWORD n = w->fullPathName(wide, MAX_PATH, wideFull, &name);
  if (n == 0 || n >= MAX_PATH) return false;
  FromWide(wideFull, full);
  return full[0] != '\0';
}

bool ReplacePath(const char* from, const char* to) {
  const WideCalls* w = Wide();
  if (!w) {  // 9x has no MoveFileEx: the old file goes first there
    return (DeleteFileA(to) || GetLastError() == ERROR_FILE_NOT_FOUND) && MoveFileA(from, to);
  }
  WCHAR a[MAX_PATH], b[MAX_PATH];
  return ToWide(from, a) && ToWide(to, b) && w->moveFileEx(a, b, MOVEFILE_REPLACE_EXISTING);
}

void DeletePath(const char* path) {
  WCHAR wide[MAX_PATH];
  const WideCalls* w = Wide();
  if (!w) DeleteFileA(path);
  else if (ToWide(path, wide)) w->deleteFile(wide);
}

void SetPathText(HWND dialog, int id, const char* path) {
  WCHAR wide[MAX_PATH];
  const WideCalls* w = Wide();
  if (!w) SetDlgItemTextA(dialog, id, path);
  else if (ToWide(path, wide)) w->setDlgItemText(dialog, id, wide);
}

void GetPathText(HWND dialog, int id, char* path) {
  WCHAR wide[MAX_PATH] = {};
  const WideCalls* w = Wide();
  if (!w) {
    GetDlgItemTextA(dialog, id, path, kLogPathSize);
    return;
  }
  w->getDlgItemText(dialog, id, wide, MAX_PATH);
  FromWide(wide, path);
}

bool AskFileName(HWND owner, char* path, bool confirmOverwrite, bool workbook) {
  // The common save dialog in its Windows 95 form, which every system here shows.
  const DWORD flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                      (confirmOverwrite ? OFN_OVERWRITEPROMPT : 0);
  const WideCalls* w = Wide();
  // A name without an extension gets that of the type chosen (the dialog's default extension
  // would make every name a .csv).
  const auto withExtension = [&](char* chosen, DWORD filter) {
    const int n = lstrlenA(chosen);
    const char* name = std::strrchr(chosen, '\\') ? std::strrchr(chosen, '\\') : chosen;
    if (workbook && n > 0 && n + 5 < kLogPathSize && !std::strchr(name, '.'))
      lstrcatA(chosen, filter == 2 ? ".xlsx" : ".csv");
  };
  if (!w) {
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = workbook ? "CSV files (*.csv)\0*.csv\0Excel workbook (*.xlsx)\0*.xlsx\0"
                                 "All files (*.*)\0*.*\0"
                               : "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = workbook ? nullptr : "csv";
    ofn.Flags = flags;
    if (!GetSaveFileNameA(&ofn)) return false;
    withExtension(path, ofn.nFilterIndex);
    return true;
  }
  WCHAR wide[MAX_PATH];
  if (!ToWide(path, wide)) wide[0] = 0;
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = workbook ? L"CSV files (*.csv)\0*.csv\0Excel workbook (*.xlsx)\0*.xlsx\0"
                               L"All files (*.*)\0*.*\0"
                             : L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = wide;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = workbook ? nullptr : L"csv";
  ofn.Flags = flags;
  if (!w->getSaveFileName(&ofn)) return false;
  FromWide(wide, path);
  withExtension(path, ofn.nFilterIndex);
  return path[0] != '\0';
}

void StartScanHistory(HINSTANCE instance, RegistryPort& registry) {
  g_registry = &registry;
  LoadScanLogSettings(registry, g_log);
  if (const WideCalls* w = Wide()) LoadWideLogPath(*w);
  if (g_historyWindow) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &HistoryWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kHistoryWindowClass;
  RegisterClassA(&wc);
  g_historyWindow = CreateWindowExA(0, kHistoryWindowClass, nullptr, 0, 0, 0, 0, 0, nullptr,
                                    nullptr, instance, nullptr);
  InitializeCriticalSection(&g_logLock);
  FindUnwrittenScansFile(g_unwrittenFile.path);
  g_logWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD id = 0;
  // Without a writer the scans are still listed; the log stays unwritten.
  if (g_logWake) g_writer = CreateThread(nullptr, 0, &LogWriter, nullptr, 0, &id);
  // Scans kept when the program last ended go to the log now; the user hears of them once.
  if (g_writer && g_unwrittenFile.Size() > 0) {
    ShowTrayBalloon(g_app.mainWindow, kTrayIconId, "Pellix scan log",
                    "Scans that could not be written to the scan log when Pellix last ended "
                    "were kept. Pellix writes them to the log now.");
    if (g_log.on) {
      std::memcpy(g_writerPath, g_log.path, sizeof g_writerPath);
      SetEvent(g_logWake);
    }
  }
}

void StopScanHistory() {
  if (!g_historyWindow) return;
  // Scans still on their way to this thread, and those waiting for the library's word (as
  // typed), are recorded first.
  MSG message;
  while (PeekMessageA(&message, g_historyWindow, kScanHandedOver, kScanHandedOver, PM_REMOVE))
    DispatchMessageA(&message);
  ScanEntry done;
  while (g_join.Expire(GetTickCount() + OutcomeJoin::kWaitMs, &done)) Record(done);
  KillTimer(g_historyWindow, kOutcomeTimer);
  if (!g_writer) return;
  InterlockedExchange(&g_stopping, 1);
  SetEvent(g_logWake);
  WaitForSingleObject(g_writer, kStopWaitMs);
  CloseHandle(g_writer);
  g_writer = nullptr;
}

void HandOverScan(const char* type, const char* data, ScanAction action, const char* program) {
  HWND window = g_historyWindow;
  if (!window) return;
  char name[kHistoryProgramSize];
  ProgramText(program, name);
  // No exception on the driver thread: a scan that finds no memory is only not listed.
  ScanEntry* entry =
      new (std::nothrow) ScanEntry(MakeScanEntry(LocalTimeNow(), type, data, action, name));
  if (entry && !PostMessageA(window, kScanHandedOver, 0, reinterpret_cast<LPARAM>(entry)))
    delete entry;
}

void ScanLeftToLibrary(uint32_t process, uint32_t burst, const char* type, const char* data,
                       const char* program) {
  ScanEntry done;
  char name[kHistoryProgramSize];
  ProgramText(program, name);
  const ScanEntry entry =
      MakeScanEntry(LocalTimeNow(), type, data, ScanAction::kLeftToLibrary, name);
  if (g_join.Offered(process, burst, entry, GetTickCount(), &done)) Record(done);
  SetTimer(g_historyWindow, kOutcomeTimer, 1000, nullptr);
}

void ScanOutcome(uint32_t process, uint32_t burst, uint32_t outcome) {
  ScanAction action;
  switch (outcome) {
    case kOutcomeTyped: action = ScanAction::kTyped; break;
    case kOutcomeClaimed: action = ScanAction::kClaimed; break;
    case kOutcomeFilteredOut: action = ScanAction::kFilteredOut; break;
    case kOutcomeTypedWithoutControls: action = ScanAction::kTypedWithoutControls; break;
    default: return;  // the scan goes out as typed when its time is up
  }
  ScanEntry done;
  if (g_join.Outcome(process, burst, action, &done)) Record(done);
}

}  // namespace pellix
