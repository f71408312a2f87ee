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
constexpr UINT_PTR kOutcomeTimer = 2;

// The writer's side. g_logLock guards the hand-over queue, the path it writes to and the
// failure's words; the file itself is touched only by the writer, without the lock.
CRITICAL_SECTION g_logLock;
LogQueue g_handOver;   // recorded, not yet taken by the writer
LogQueue g_unwritten;  // the writer's: taken, not yet written
char g_writerPath[kLogPathSize];
char g_failure[256];
HANDLE g_logWake = nullptr;
HANDLE g_writer = nullptr;
volatile LONG g_stopping = 0;
constexpr DWORD kBusyRetries = 8;      // a file held by another program: 8 tries over 2 s
constexpr DWORD kBusyRetryMs = 250;
constexpr DWORD kFailedRetryMs = 30000;  // and again while lines wait

// Opened per pass and closed at once, shared for reading and writing: the user may keep the
// file open in a spreadsheet, and a killed program leaves every line it wrote. On NT every
// write goes at the end by the system's own rule (FILE_APPEND_DATA), whoever else appends.
class Win32AppendFile : public AppendFile {
 public:
  Result Open(const char* path) override {
    file_ = OpenPath(path,
                     g_app.nt ? FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE : GENERIC_WRITE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    return file_ == INVALID_HANDLE_VALUE ? Failure() : kDone;
  }
  bool IsEmpty() override {
    DWORD high = 0;
    const DWORD low = GetFileSize(file_, &high);
    return low == 0 && high == 0;
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
  char reason_[200];
};

DWORD WINAPI LogWriter(LPVOID) {
  Win32AppendFile file;
  bool told = false;
  for (;;) {
    WaitForSingleObject(g_logWake, g_unwritten.Count() > 0 ? kFailedRetryMs : INFINITE);
    char path[kLogPathSize];
    EnterCriticalSection(&g_logLock);
    ScanEntry entry;
    while (g_handOver.Pop(&entry)) g_unwritten.Push(entry);
    std::memcpy(path, g_writerPath, sizeof path);
    LeaveCriticalSection(&g_logLock);
    AppendFile::Result result = AppendFile::kDone;
    for (DWORD attempt = 0; g_unwritten.Count() > 0 && attempt < kBusyRetries; ++attempt) {
      if (attempt > 0) Sleep(kBusyRetryMs);
      result = WriteLogPass(g_unwritten, file, path);
      if (result != AppendFile::kBusy) break;
    }
    if (result == AppendFile::kDone) {
      told = false;
    } else if (!told) {
      told = true;
      EnterCriticalSection(&g_logLock);
      lstrcpynA(g_failure, file.Reason(), sizeof g_failure);
      LeaveCriticalSection(&g_logLock);
      PostMessageA(g_historyWindow, kLogFailed, 0, 0);
    }
    if (g_stopping) return 0;
  }
}

// Balloons, not boxes: a box could take the focus, and the next scan's keys or the user's
// typing with it.
void TellLogFailure() {
  char text[256];
  EnterCriticalSection(&g_logLock);
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

void Record(const ScanEntry& entry) {
  g_history.Add(entry);
  if (g_historyPage) SendMessageA(g_historyPage, kHistoryChanged, 0, 0);
  if (!g_log.on || !g_writer) return;
  EnterCriticalSection(&g_logLock);
  g_handOver.Push(entry);
  std::memcpy(g_writerPath, g_log.path, sizeof g_writerPath);
  LeaveCriticalSection(&g_logLock);
  SetEvent(g_logWake);
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
    TellLogFailure();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ScanHistory& TheScanHistory() { return g_history; }
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

bool AskFileName(HWND owner, char* path, bool confirmOverwrite) {
  // The common save dialog in its Windows 95 form, which every system here shows.
  const DWORD flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                      (confirmOverwrite ? OFN_OVERWRITEPROMPT : 0);
  const WideCalls* w = Wide();
  if (!w) {
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = "csv";
    ofn.Flags = flags;
    return GetSaveFileNameA(&ofn) != FALSE;
  }
  WCHAR wide[MAX_PATH];
  if (!ToWide(path, wide)) wide[0] = 0;
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = wide;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = L"csv";
  ofn.Flags = flags;
  if (!w->getSaveFileName(&ofn)) return false;
  FromWide(wide, path);
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
  g_logWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD id = 0;
  // Without a writer the scans are still listed; the log stays unwritten.
  if (g_logWake) g_writer = CreateThread(nullptr, 0, &LogWriter, nullptr, 0, &id);
}

void StopScanHistory() {
  if (!g_writer) return;
  InterlockedExchange(&g_stopping, 1);
  SetEvent(g_logWake);
  WaitForSingleObject(g_writer, 2000);
}

void HandOverScan(const char* type, const char* data, ScanAction action) {
  HWND window = g_historyWindow;
  if (!window) return;
  // No exception on the driver thread: a scan that finds no memory is only not listed.
  ScanEntry* entry = new (std::nothrow) ScanEntry(MakeScanEntry(LocalTimeNow(), type, data, action));
  if (entry && !PostMessageA(window, kScanHandedOver, 0, reinterpret_cast<LPARAM>(entry)))
    delete entry;
}

void ScanLeftToLibrary(uint32_t process, uint32_t burst, const char* type, const char* data) {
  ScanEntry done;
  const ScanEntry entry = MakeScanEntry(LocalTimeNow(), type, data, ScanAction::kLeftToLibrary);
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
