// The History page's scans and the scan log in the tray program, and "Start with Windows".
// Everything runs on the user-interface thread except HandOverScan.
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

// At main-window creation: reads "LogScans" and "LogFile" and makes the hidden window that
// records scans.
void StartScanHistory(HINSTANCE instance, RegistryPort& registry);
// Any thread: the scan, stamped with the local time now, goes to the user-interface thread,
// which keeps it in the history and appends it to the log.
void HandOverScan(const char* type, const char* data, ScanAction action);

// The History page while it exists; told of each scan added with kHistoryChanged.
extern HWND g_historyPage;
constexpr UINT kHistoryChanged = WM_APP + 2;

// The hook library's word on a scan the tray program left to it ("KV_CC_DONE", posted to
// the main window).
bool IsScanOutcomeMessage(UINT message);
void OnScanOutcome(WPARAM outcome, LPARAM packedType);

INT_PTR CALLBACK HistoryPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The history page's view of the recorder.
ScanHistory& TheScanHistory();
ScanLogSettings& TheScanLogSettings();
void SaveTheScanLogSettings();

// The tray menu's "Start with Windows", checked when the Run value starts this copy.
void AppendStartWithWindowsItem(HMENU menu);
// Writes the Run value for this copy, or removes it when it starts this copy already.
void ToggleStartWithWindows();

}  // namespace pellix
