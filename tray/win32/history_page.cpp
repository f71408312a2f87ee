// The Settings sheet's History page: the scans of this run in a report-view list, newest
// first; Copy, Save As and Clear; the scan log's switch and file.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <string>
#include <vector>

#include "tray/win32/history.h"

namespace pellix {

HWND g_historyPage = nullptr;

namespace {

// Each column as wide as its widest text at the list's font; the data takes what is left.
struct Column {
  const char* title;
  const char* widest;  // null: the rest of the list
};
const Column kColumns[] = {{"Time", "00:00:00"},
                           {"Type", "WWW"},
                           {"Data", nullptr},
                           {"Action", "filtered to nothing"}};

HWND List(HWND page) { return GetDlgItem(page, kHistoryList); }

// Inserts the scan `newestIndex` of the history as row `row`.
void InsertRow(HWND list, int row, const ScanEntry& e) {
  const std::string time = ListTime(e.time);
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = const_cast<char*>(time.c_str());
  const int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return;
  const char* texts[] = {e.type, e.data, ScanActionText(e.action)};
  for (int sub = 1; sub <= 3; ++sub) {
    LVITEMA cell = {};
    cell.iSubItem = sub;
    cell.pszText = const_cast<char*>(texts[sub - 1]);
    SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&cell));
  }
}

void FillList(HWND page) {
  HWND list = List(page);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  const ScanHistory& history = TheScanHistory();
  for (int i = 0; i < history.Count(); ++i) InsertRow(list, i, history.Newest(i));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

// The newest scan goes on top; the row of a scan that left the history goes at the bottom.
void AddNewestRow(HWND page) {
  HWND list = List(page);
  const ScanHistory& history = TheScanHistory();
  if (history.Count() == 0) return;
  InsertRow(list, 0, history.Newest(0));
  while (SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > history.Count()) {
    SendMessageA(list, LVM_DELETEITEM, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) - 1, 0);
  }
}

std::vector<int> SelectedRows(HWND page) {
  std::vector<int> rows;
  HWND list = List(page);
  int row = -1;
  while ((row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
    rows.push_back(row);
  return rows;
}

void ShowFailure(HWND page, const char* what, const char* path) {
  char reason[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, reason, sizeof reason, nullptr);
  const std::string text = std::string(what) + "\r\n\r\n" + path + "\r\n\r\n" + reason;
  MessageBoxA(page, text.c_str(), "Pellix", MB_OK | MB_ICONWARNING);
}

void CopyRows(HWND page) {
  const std::string csv = HistoryCsv(TheScanHistory(), SelectedRows(page));
  if (!OpenClipboard(page)) return;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, csv.size() + 1);
  if (memory) {
    if (void* p = GlobalLock(memory)) {
      std::memcpy(p, csv.c_str(), csv.size() + 1);
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

// The common save dialog in its Windows 95 form, which every system here shows. `path`
// holds MAX_PATH bytes and may bring a starting name.
bool AskFileName(HWND page, char* path, bool confirmOverwrite) {
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = page;
  ofn.lpstrFilter = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrDefExt = "csv";
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
              (confirmOverwrite ? OFN_OVERWRITEPROMPT : 0);
  return GetSaveFileNameA(&ofn) != FALSE;
}

void SaveRows(HWND page) {
  char path[MAX_PATH] = "scans.csv";
  if (!AskFileName(page, path, true)) return;
  const std::string csv = HistoryCsv(TheScanHistory(), {});
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, csv.data(), static_cast<DWORD>(csv.size()), &written, nullptr) &&
                  written == csv.size();
  const DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!ok) {
    SetLastError(error);
    ShowFailure(page, "Pellix could not save the scans:", path);
  }
}

// The page's file name and switch into the settings, stored at once.
void TakeLogSettings(HWND page) {
  ScanLogSettings& log = TheScanLogSettings();
  GetDlgItemTextA(page, kLogFileEdit, log.path, sizeof log.path);
  log.on = IsDlgButtonChecked(page, kLogScansBox) == BST_CHECKED ? 1 : 0;
  SaveTheScanLogSettings();
}

void Browse(HWND page) {
  char path[MAX_PATH] = {};
  GetDlgItemTextA(page, kLogFileEdit, path, sizeof path);
  if (!AskFileName(page, path, false)) return;
  SetDlgItemTextA(page, kLogFileEdit, path);
  TakeLogSettings(page);
}

void InitPage(HWND page) {
  g_historyPage = page;
  HWND list = List(page);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  RECT client = {};
  GetClientRect(list, &client);
  const int margin = 14;  // the list's own padding around a cell's text
  int widths[4];
  int rest = client.right - GetSystemMetrics(SM_CXVSCROLL);
  for (int i = 0; i < 4; ++i) {
    if (!kColumns[i].widest) continue;
    widths[i] = margin + static_cast<int>(SendMessageA(
                             list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(kColumns[i].widest)));
    rest -= widths[i];
  }
  widths[2] = rest > 60 ? rest : 60;
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(kColumns[i].title);
    column.cx = widths[i];
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  FillList(page);
  const ScanLogSettings& log = TheScanLogSettings();
  SendDlgItemMessageA(page, kLogFileEdit, EM_LIMITTEXT, kLogPathSize - 1, 0);
  SetDlgItemTextA(page, kLogFileEdit, log.path);
  CheckDlgButton(page, kLogScansBox, log.on ? BST_CHECKED : BST_UNCHECKED);
}

}  // namespace

INT_PTR CALLBACK HistoryPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page);
      return TRUE;
    case kHistoryChanged:
      if (TheScanHistory().Count() == 0) FillList(page);
      else AddNewestRow(page);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kHistoryCopyButton: CopyRows(page); break;
        case kHistorySaveButton: SaveRows(page); break;
        case kHistoryClearButton:
          TheScanHistory().Clear();
          FillList(page);
          break;
        case kLogBrowseButton: Browse(page); break;
        case kLogScansBox:
          // Logging without a file: ask for one first, and stay off without it.
          if (IsDlgButtonChecked(page, kLogScansBox) == BST_CHECKED &&
              GetWindowTextLengthA(GetDlgItem(page, kLogFileEdit)) == 0) {
            Browse(page);
            if (GetWindowTextLengthA(GetDlgItem(page, kLogFileEdit)) == 0)
              CheckDlgButton(page, kLogScansBox, BST_UNCHECKED);
          }
          TakeLogSettings(page);
          break;
        case kLogFileEdit:
          if (HIWORD(wParam) == EN_KILLFOCUS) TakeLogSettings(page);
          break;
        default:
          break;
      }
      return TRUE;
    case WM_DESTROY:
      TakeLogSettings(page);  // a file name typed just before the sheet closed
      g_historyPage = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace pellix
