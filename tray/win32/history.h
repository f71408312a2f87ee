// The History page's scans and the scan log in the tray program, and "Start with Windows".
// Everything runs on the user-interface thread except HandOverScan and the log's writer.
#pragma once
#include <windows.h>

#include "profiles/core/registry_port.h"
#include "tray/core/scan_history.h"

namespace pellix {

constexpr char kScanLogCaption[] = "Pellix Scan Log";

enum HistoryControl {
  kHistoryList = 1060,
  kHistoryCopyButton = 1061,
  kHistorySaveButton = 1062,
  kHistoryClearButton = 1063,
  kLogScansBox = 1064,
  kLogFileEdit = 1065,
  kLogBrowseButton = 1066,
};

// At main-window creation: reads "LogScans" and "LogFile", makes the hidden window that
// records scans and starts the log's writer thread.
void StartScanHistory(HINSTANCE instance, RegistryPort& registry);
// At the end: the writer gets what is left, for at most two seconds.
void StopScanHistory();
// Any thread: the scan, stamped with the local time now, goes to the user-interface thread,
// which keeps it in the history and has it appended to the log.
void HandOverScan(const char* type, const char* data, ScanAction action);
// A scan the tray program left to the hook library, and the library's word on it.
void ScanLeftToLibrary(uint32_t process, uint32_t burst, const char* type, const char* data);
void ScanOutcome(uint32_t process, uint32_t burst, uint32_t outcome);

// The History page while it exists; told of each scan added with kHistoryChanged.
extern HWND g_historyPage;
constexpr UINT kHistoryChanged = WM_APP + 2;

INT_PTR CALLBACK HistoryPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The history page's view of the recorder.
ScanHistory& TheScanHistory();
ScanLogSettings& TheScanLogSettings();
// Stores the settings, the file with its full path.
void SaveTheScanLogSettings();

// The tray menu's "Start with Windows", checked when the Run value starts this copy.
void AppendStartWithWindowsItem(HMENU menu);
// Writes the Run value for this copy as it runs now, or removes it when it is that already.
void ToggleStartWithWindows();

}  // namespace pellix
