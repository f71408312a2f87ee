// The Settings sheet's History page: the scans of this run in a report-view list, newest
// first; Copy, Save As and Clear; the scan log's switch and file.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>

#include "tray/core/spreadsheet.h"
#include "tray/win32/history.h"
#include "tray/win32/tray_app.h"
#include "tray/win32/wide_calls.h"

namespace pellix {

HWND g_historyPage = nullptr;

namespace {

// Each column as wide as its widest usual text at the list's font, where the list has room:
// the data comes first (a book's 13 digits whole), the action next, the program last; the
// data takes what is left over.
struct Column {
  const char* title;
  const char* widest;
};
const Column kColumns[] = {{"Time", "00:00:00"},
                           {"Type", "WWW"},
                           {"Data", "9780262033848"},
                           {"Action", "launched"},  // the rarer, longer ones are cut
                           {"Program", "notepad.exe"}};

HWND List(HWND page) { return GetDlgItem(page, kHistoryList); }

// Inserts the scan `newestIndex` of the history as row `row`.
void InsertRow(HWND list, int row, const ScanEntry& e) {
  char time[kTimeTextSize];
  ListTime(e.time, time);
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = time;
  const int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (at < 0) return;
  char action[kActionTextSize];
  EntryActionText(e, action);
  const char* texts[] = {e.type, e.data, action, e.program};
  for (int sub = 1; sub <= 4; ++sub) {
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

// The selected rows (newest indexes, rising) into `rows`, which holds kHistoryLimit; their
// number.
int SelectedRows(HWND page, int* rows) {
  HWND list = List(page);
  int count = 0, row = -1;
  while (count < kHistoryLimit &&
         (row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
    rows[count++] = row;
  return count;
}

void ShowFailure(HWND page, const char* what, const char* path) {
  const DWORD error = GetLastError();
  char text[1600];
  const WideCalls* w = Wide();
  if (!w) {
    char reason[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   reason, sizeof reason, nullptr);
    wsprintfA(text, "%s\r\n\r\n%.780s\r\n\r\n%s", what, path, reason);
    MessageBoxA(page, text, "Pellix", MB_OK | MB_ICONWARNING);
    return;
  }
  // The path in UTF-8 as it is held, the system's words in wide characters: all in wide.
  WCHAR reason[256] = {};
  w->formatMessage(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   reason, 256, nullptr);
  char reasonText[768] = {};
  WideCharToMultiByte(CP_UTF8, 0, reason, -1, reasonText, sizeof reasonText, nullptr, nullptr);
  wsprintfA(text, "%s\r\n\r\n%.780s\r\n\r\n%.760s", what, path, reasonText);
  static WCHAR wide[1600];
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 1600) > 0)
    w->messageBox(page, wide, L"Pellix", MB_OK | MB_ICONWARNING);
}

// A clipboard format's memory holding `size` bytes from `bytes`; false when it could not be
// placed (the memory is freed then).
bool PutOnClipboard(UINT format, const void* bytes, SIZE_T size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, size);
  if (!memory) return false;
  void* p = GlobalLock(memory);
  if (p) {
    std::memcpy(p, bytes, size);
    GlobalUnlock(memory);
    if (SetClipboardData(format, memory)) return true;
  }
  GlobalFree(memory);
  return false;
}

void CodePageToUtf8(const char* text, char* out, int capacity) {
  WCHAR wide[kHistoryTextSize];
  if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kHistoryTextSize) ||
      !WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, capacity, nullptr, nullptr))
    out[0] = '\0';
}

bool EndsWith(const char* text, const char* end) {
  const int n = lstrlenA(text), m = lstrlenA(end);
  return n >= m && lstrcmpiA(text + n - m, end) == 0;
}

// What spreadsheets paste into cells: the rows tab-separated and guarded, as Unicode text on
// NT (9x has the ANSI text alone); and the CSV as the "Csv" format.
void CopyRows(HWND page) {
  static int rows[kHistoryLimit];
  const int count = SelectedRows(page, rows);
  int cellsLength = 0, csvLength = 0;
  char* cells = HistoryText(TheScanHistory(), rows, count, '\t', &cellsLength);
  char* csv = HistoryText(TheScanHistory(), rows, count, ',', &csvLength);
  if (cells && csv && OpenClipboard(page)) {
    EmptyClipboard();
    // Converted straight into the clipboard's memory.
    const int wide = g_app.nt ? MultiByteToWideChar(CP_ACP, 0, cells, cellsLength + 1, nullptr, 0) : 0;
    HGLOBAL memory = wide > 0 ? GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, wide * sizeof(WCHAR)) : nullptr;
    WCHAR* text = memory ? static_cast<WCHAR*>(GlobalLock(memory)) : nullptr;
    const bool converted =
        text && MultiByteToWideChar(CP_ACP, 0, cells, cellsLength + 1, text, wide) == wide;
    if (text) GlobalUnlock(memory);
    if (!converted || !SetClipboardData(CF_UNICODETEXT, memory)) {
      if (memory) GlobalFree(memory);
      PutOnClipboard(CF_TEXT, cells, static_cast<SIZE_T>(cellsLength) + 1);
    }
    if (const UINT csvFormat = RegisterClipboardFormatA("Csv"))
      PutOnClipboard(csvFormat, csv, static_cast<SIZE_T>(csvLength) + 1);
    // The table whose cells are marked as text: what Excel and LibreOffice paste first, with
    // every digit kept.
    Bytes html;
    HtmlClipboardText(TheScanHistory(), rows, count, &CodePageToUtf8, html);
    const UINT htmlFormat = RegisterClipboardFormatA("HTML Format");
    if (htmlFormat && html.Ok())
      PutOnClipboard(htmlFormat, html.Data(), static_cast<SIZE_T>(html.Length()) + 1);
    CloseClipboard();
  }
  delete[] cells;
  delete[] csv;
}

bool SameFile(const char* a, const char* b) {
  char fullA[kLogPathSize], fullB[kLogPathSize];
  return FullPath(a, fullA) && FullPath(b, fullB) && lstrcmpiA(fullA, fullB) == 0;
}

// Written whole into a new file beside the chosen one, which it then replaces: a failure
// leaves the old file as it was.
bool WriteWhole(const char* path, const char* text, int length) {
  char fresh[kLogPathSize + 8];
  wsprintfA(fresh, "%s.new", path);
  HANDLE file = OpenPath(fresh, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) &&
            written == static_cast<DWORD>(length);
  ok = CloseHandle(file) && ok;
  ok = ok && ReplacePath(fresh, path);
  if (!ok) {
    const DWORD error = GetLastError();
    DeletePath(fresh);
    SetLastError(error);
  }
  return ok;
}

void SaveRows(HWND page) {
  char path[kLogPathSize] = "scans.csv";
  if (!AskFileName(page, path, true, true)) return;
  const ScanLogSettings& log = TheScanLogSettings();
  if (log.path[0] && SameFile(path, log.path)) {
    // The log holds every scan; this run's list holds the last thousand.
    MessageBoxA(page, "This file is the scan log, which holds every scan already. Choose another name.",
                "Pellix", MB_OK | MB_ICONINFORMATION);
    return;
  }
  // A workbook by its name: every cell text, every digit kept. Otherwise the CSV.
  if (EndsWith(path, ".xlsx")) {
    Bytes book;
    XlsxWorkbook(TheScanHistory(), nullptr, 0, &CodePageToUtf8, book);
    if (!book.Ok()) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if (!book.Ok() || !WriteWhole(path, book.Data(), book.Length()))
      ShowFailure(page, "Pellix could not save the scans:", path);
    return;
  }
  int length = 0;
  char* csv = HistoryText(TheScanHistory(), nullptr, 0, ',', &length);
  if (!csv) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  if (!csv || !WriteWhole(path, csv, length)) ShowFailure(page, "Pellix could not save the scans:", path);
  delete[] csv;
}

// The page's file name and switch into the settings, stored at once.
void TakeLogSettings(HWND page) {
  ScanLogSettings& log = TheScanLogSettings();
  GetPathText(page, kLogFileEdit, log.path);
  log.on = IsDlgButtonChecked(page, kLogScansBox) == BST_CHECKED ? 1 : 0;
  SaveTheScanLogSettings();
  SetPathText(page, kLogFileEdit, log.path);  // as stored: with its full path
}

// "Ignore a repeat within N seconds", stored at once; off keeps the seconds shown.
void ShowRepeatSetting(HWND page) {
  const uint32_t ms = TheScanLogSettings().ignoreRepeatMs;
  char seconds[16];
  RepeatSecondsText(ms > 0 ? ms : 500, seconds);
  SetDlgItemTextA(page, kIgnoreRepeatEdit, seconds);
  CheckDlgButton(page, kIgnoreRepeatBox, ms > 0 ? BST_CHECKED : BST_UNCHECKED);
}

void TakeRepeatSetting(HWND page) {
  char text[32] = {};
  GetDlgItemTextA(page, kIgnoreRepeatEdit, text, sizeof text);
  const uint32_t ms = ReadRepeatSeconds(text);
  const bool on = IsDlgButtonChecked(page, kIgnoreRepeatBox) == BST_CHECKED;
  if (on && ms == 0) {
    MessageBoxA(page, "Type the seconds as a number, such as 0.5.", "Pellix",
                MB_OK | MB_ICONINFORMATION);
    ShowRepeatSetting(page);
    return;
  }
  if (ms == 0) SetDlgItemTextA(page, kIgnoreRepeatEdit, "0.5");
  TheScanLogSettings().ignoreRepeatMs = on ? ms : 0;
  SaveTheScanLogSettings();
}

void Browse(HWND page) {
  char path[kLogPathSize] = {};
  GetPathText(page, kLogFileEdit, path);
  if (!AskFileName(page, path, false, false)) return;
  SetPathText(page, kLogFileEdit, path);
  TakeLogSettings(page);
}

void InitPage(HWND page) {
  g_historyPage = page;
  HWND list = List(page);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  RECT client = {};
  GetClientRect(list, &client);
  const int margin = 14;  // the list's own padding around a cell's text
  int widths[5];
  int rest = client.right - GetSystemMetrics(SM_CXVSCROLL);
  for (const int i : {0, 1, 2, 3, 4}) {
    const int widest = margin + static_cast<int>(SendMessageA(
                                    list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(kColumns[i].widest)));
    // Past 60 points for each column still to come the list scrolls sideways.
    const int room = rest - 60 * (4 - i);
    widths[i] = widest < room ? widest : room > 60 ? room : 60;
    rest -= widths[i];
  }
  if (rest > 0) widths[2] += rest;
  for (int i = 0; i < 5; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<char*>(kColumns[i].title);
    column.cx = widths[i];
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  FillList(page);
  const ScanLogSettings& log = TheScanLogSettings();
  SendDlgItemMessageA(page, kLogFileEdit, EM_LIMITTEXT, MAX_PATH - 1, 0);
  SetPathText(page, kLogFileEdit, log.path);
  CheckDlgButton(page, kLogScansBox, log.on ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessageA(page, kIgnoreRepeatEdit, EM_LIMITTEXT, 8, 0);
  ShowRepeatSetting(page);
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
          ClearScanHistory();
          FillList(page);
          break;
        case kIgnoreRepeatBox:
          TakeRepeatSetting(page);
          break;
        case kIgnoreRepeatEdit:
          if (HIWORD(wParam) == EN_KILLFOCUS) TakeRepeatSetting(page);
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
