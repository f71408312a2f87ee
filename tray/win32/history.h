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
  kIgnoreRepeatBox = 1067,
  kIgnoreRepeatEdit = 1068,
};

// At main-window creation: reads "LogScans" and "LogFile", makes the hidden window that
// records scans and starts the log's writer thread.
void StartScanHistory(HINSTANCE instance, RegistryPort& registry);
// At Exit and at the end of the session: scans on their way and those waiting for the
// library's word are recorded, the writer gets what is left, and what the log still cannot
// take is kept in "Unwritten scans.csv" for the next start; at most four seconds.
void StopScanHistory();
// Any thread: the scan, stamped with the local time now, goes to the user-interface thread,
// which keeps it in the history and has it appended to the log.
// `program` is the file name of the program it went to, UTF-8; null or empty when unknown.
void HandOverScan(const char* type, const char* data, ScanAction action,
                  const char* program = nullptr);
// True for a scan that repeats one within the set "Ignore a repeat within N seconds": the
// thread that handles scans (the main thread, or the driver thread) then does nothing but
// its own beep and notes it as "repeat ignored".
bool IgnoreRepeat(const char* type, const char* data);
// The History page's Clear: the list, and what counts as a repeat, start afresh.
void ClearScanHistory();
// A scan the tray program left to the hook library, and the library's word on it.
void ScanLeftToLibrary(uint32_t process, uint32_t burst, const char* type, const char* data,
                       const char* program);
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

// Paths of the scan log and of Save As. On NT a path is held in UTF-8 and handed to the
// system in wide characters: the folder may be named in any script, whatever the code page.
// On 9x it is held and handed over in the ANSI code page, which is all that system has.
HANDLE OpenPath(const char* path, DWORD access, DWORD share, DWORD disposition);
// The full path into `full` (kLogPathSize bytes); false when there is none.
bool FullPath(const char* path, char* full);
bool ReplacePath(const char* from, const char* to);
void DeletePath(const char* path);
// A control's text as a path, and back.
void SetPathText(HWND dialog, int id, const char* path);
void GetPathText(HWND dialog, int id, char* path);
// The common save dialog; `path` (kLogPathSize bytes) may bring a starting name. `workbook`
// offers an .xlsx workbook beside CSV; the name chosen ends in .xlsx for it.
bool AskFileName(HWND owner, char* path, bool confirmOverwrite, bool workbook);

// The tray menu's "Start with Windows", checked when the Run value starts this copy.
void AppendStartWithWindowsItem(HMENU menu);
// Writes the Run value for this copy as it runs now, or removes it when it is that already.
void ToggleStartWithWindows();

}  // namespace pellix
