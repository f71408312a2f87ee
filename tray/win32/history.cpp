// The scans of this run and the scan log: a hidden window of its own receives each scan on
// the user-interface thread, from the scan handler and from the driver thread alike.
#include "tray/win32/history.h"

#include <cstring>
#include <new>
#include <string>

#include "hooklib/core/delivery.h"
#include "tray/core/settings_store.h"

namespace pellix {

constexpr UINT kScanHandedOver = WM_APP + 1;  // lParam: a ScanEntry, freed by the receiver
constexpr char kHistoryWindowClass[] = "PellixHistoryWnd";

namespace {

ScanHistory g_history;
ScanLogSettings g_log;
RegistryPort* g_registry = nullptr;
HWND volatile g_historyWindow = nullptr;  // read by the driver thread too
std::string g_logFailure;  // shown once the scan that met it has been typed
constexpr UINT_PTR kFailureTimer = 1;
constexpr UINT kFailureDelayMs = 1500;
OutcomeJoin g_join;
UINT g_outcomeMessage = 0;
// The library's word comes within the foreground window's offer (3 s at most) of the scan.
constexpr UINT_PTR kOutcomeTimer = 2;
constexpr UINT kOutcomeWaitMs = 5000;

// The system's own words for an error code, without the line break it ends with.
std::string SystemReason(DWORD error) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, text, sizeof text, nullptr);
  std::string reason(text, n);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
    reason.pop_back();
  if (reason.empty()) reason = "Error " + std::to_string(error) + ".";
  return reason;
}

// Opened per scan and closed at once, shared for reading and writing: the user may keep the
// file open in a spreadsheet, and a killed program leaves every line it wrote.
class Win32AppendFile : public AppendFile {
 public:
  bool Open(const char* path, std::string* reason) override {
    file_ = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      *reason = SystemReason(GetLastError());
      return false;
    }
    SetFilePointer(file_, 0, nullptr, FILE_END);
    return true;
  }
  bool IsEmpty() override {
    DWORD high = 0;
    const DWORD low = GetFileSize(file_, &high);
    return low == 0 && high == 0;
  }
  bool Write(const std::string& text, std::string* reason) override {
    DWORD written = 0;
    if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      *reason = SystemReason(GetLastError());
      return false;
    }
    return true;
  }
  void Close() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

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
  Win32AppendFile file;
  std::string failure;
  const bool logged = RecordScan(g_history, g_log, file, entry, &failure);
  if (g_historyPage) SendMessageA(g_historyPage, kHistoryChanged, 0, 0);
  if (!logged) {
    // Logging is off now, in the registry too, so the message comes once.
    SaveTheScanLogSettings();
    if (g_historyPage) CheckDlgButton(g_historyPage, kLogScansBox, BST_UNCHECKED);
    // The library types the scan after this program has seen it: a message box now could
    // take the focus, and the scan's keys with it.
    g_logFailure = failure;
    SetTimer(g_historyWindow, kFailureTimer, kFailureDelayMs, nullptr);
  }
}

LRESULT CALLBACK HistoryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kScanHandedOver) {
    ScanEntry* entry = reinterpret_cast<ScanEntry*>(lParam);
    if (entry) {
      const ScanEntry copy = *entry;
      delete entry;
      if (copy.action == ScanAction::kLeftToLibrary) {
        ScanEntry earlier;
        if (g_join.Offered(copy, &earlier)) Record(earlier);
        SetTimer(window, kOutcomeTimer, kOutcomeWaitMs, nullptr);
      } else {
        Record(copy);
      }
    }
    return 0;
  }
  if (message == WM_TIMER && wParam == kOutcomeTimer) {
    KillTimer(window, kOutcomeTimer);
    ScanEntry done;
    if (g_join.Expire(&done)) Record(done);
    return 0;
  }
  if (message == WM_TIMER && wParam == kFailureTimer) {
    KillTimer(window, kFailureTimer);
    const std::string text = g_logFailure;
    MessageBoxA(nullptr, text.c_str(), kScanLogCaption, MB_OK | MB_ICONWARNING);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

ScanHistory& TheScanHistory() { return g_history; }
ScanLogSettings& TheScanLogSettings() { return g_log; }
void SaveTheScanLogSettings() {
  if (g_registry) SaveScanLogSettings(*g_registry, g_log);
}

void StartScanHistory(HINSTANCE instance, RegistryPort& registry) {
  g_registry = &registry;
  LoadScanLogSettings(registry, g_log);
  g_outcomeMessage = RegisterWindowMessageA(kOutcomeMessageName);
  if (g_historyWindow) return;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = &HistoryWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = kHistoryWindowClass;
  RegisterClassA(&wc);
  g_historyWindow = CreateWindowExA(0, kHistoryWindowClass, nullptr, 0, 0, 0, 0, 0, nullptr,
                                    nullptr, instance, nullptr);
}

bool IsScanOutcomeMessage(UINT message) {
  return g_outcomeMessage != 0 && message == g_outcomeMessage;
}

void OnScanOutcome(WPARAM outcome, LPARAM packedType) {
  ScanAction action;
  switch (outcome) {
    case kOutcomeTyped: action = ScanAction::kTyped; break;
    case kOutcomeClaimed: action = ScanAction::kClaimed; break;
    case kOutcomeFilteredOut: action = ScanAction::kFilteredOut; break;
    default: return;
  }
  char type[4] = {};
  for (int i = 0; i < 3; ++i) type[i] = static_cast<char>((static_cast<DWORD>(packedType) >> (8 * i)) & 0xFF);
  ScanEntry done;
  if (g_join.Outcome(action, type, LocalTimeNow(), &done)) Record(done);
}

void HandOverScan(const char* type, const char* data, ScanAction action) {
  HWND window = g_historyWindow;
  if (!window) return;
  // No exception on the driver thread: a scan that finds no memory is only not listed.
  ScanEntry* entry = new (std::nothrow) ScanEntry(MakeScanEntry(LocalTimeNow(), type, data, action));
  if (entry && !PostMessageA(window, kScanHandedOver, 0, reinterpret_cast<LPARAM>(entry)))
    delete entry;
}

}  // namespace pellix
