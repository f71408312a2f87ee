#include "ui/win32/applications_page.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

namespace pellix {

namespace {

ApplicationsPageContext g_context = {};

// Program names are held in UTF-8 (as the library compares them) and shown in the ANSI code
// page, as every text of the sheet is.
void Convert(UINT from, UINT to, const char* text, char* out, int capacity) {
  WCHAR wide[1024];
  out[0] = '\0';
  if (MultiByteToWideChar(from, 0, text, -1, wide, 1024) == 0 ||
      WideCharToMultiByte(to, 0, wide, -1, out, capacity, nullptr, nullptr) == 0)
    out[0] = '\0';
}

struct Column {
  const char* title;
  int width;  // dialog units
};
const Column kColumns[] = {{"Program", 70}, {"Pace", 28}, {"Method", 60}, {"Profile", 50}};

void CellTexts(const AppRow& row, int index, char (&program)[3 * kProgramNameSize],
               char (&pace)[16]) {
  if (index == 0) std::snprintf(program, sizeof program, "%s", kEveryOtherProgramText);
  else Convert(CP_UTF8, CP_ACP, row.program, program, sizeof program);
  std::snprintf(pace, sizeof pace, "%u ms", row.paceMs);
}

int Selected(HWND page) {
  return static_cast<int>(
      SendDlgItemMessageA(page, kAppList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void EnableButtons(HWND page) {
  const int row = Selected(page);
  EnableWindow(GetDlgItem(page, kAppEditButton), row >= 0);
  EnableWindow(GetDlgItem(page, kAppRemoveButton), row > 0);
  EnableWindow(GetDlgItem(page, kAppAddButton), g_context.rows->count < kAppRowLimit);
}

void FillList(HWND page, int select) {
  HWND list = GetDlgItem(page, kAppList);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  const AppRows& rows = *g_context.rows;
  for (int i = 0; i < rows.count; ++i) {
    char program[3 * kProgramNameSize], pace[16];
    CellTexts(rows.rows[i], i, program, pace);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = program;
    const int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) continue;
    const char* texts[] = {pace, MethodText(rows.rows[i].method),
                           rows.rows[i].profile[0] ? rows.rows[i].profile : kCurrentProfileText};
    for (int sub = 1; sub <= 3; ++sub) {
      LVITEMA cell = {};
      cell.iSubItem = sub;
      cell.pszText = const_cast<char*>(texts[sub - 1]);
      SendMessageA(list, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&cell));
    }
  }
  if (select >= 0 && select < rows.count) {
    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, select, reinterpret_cast<LPARAM>(&state));
    SendMessageA(list, LVM_ENSUREVISIBLE, select, FALSE);
  }
  EnableButtons(page);
}

void InitPage(HWND page) {
  HWND list = GetDlgItem(page, kAppList);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (int i = 0; i < 4; ++i) {
    RECT width = {0, 0, kColumns[i].width, 0};
    MapDialogRect(page, &width);
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(kColumns[i].title);
    column.cx = width.right;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  FillList(page, 0);
}

void Warn(HWND owner, const char* text) {
  MessageBoxA(owner, text, kApplicationsWarningCaption, MB_OK | MB_ICONWARNING);
}

// The row dialog; its parameter is the row's index, -1 for a new one.
struct RowDialog {
  int index;
};

void AddChoice(HWND combo, const char* text) {
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

BOOL InitRowDialog(HWND dialog, const RowDialog& d) {
  const AppRows& rows = *g_context.rows;
  AppRow row = {};
  row.paceMs = d.index < 0 ? kRemoteClientPaceMs : 0;
  if (d.index >= 0) row = rows.rows[d.index];
  char program[3 * kProgramNameSize], pace[16];
  CellTexts(row, d.index, program, pace);
  SendDlgItemMessageA(dialog, kAppProgramEdit, EM_LIMITTEXT, kProgramNameSize - 1, 0);
  SendDlgItemMessageA(dialog, kAppPaceEdit, EM_LIMITTEXT, 8, 0);
  SetDlgItemTextA(dialog, kAppProgramEdit, d.index < 0 ? "" : program);
  std::snprintf(pace, sizeof pace, "%u", row.paceMs);
  SetDlgItemTextA(dialog, kAppPaceEdit, pace);
  HWND method = GetDlgItem(dialog, kAppMethodList);
  AddChoice(method, kMethodKeysAndUnicodeText);
  AddChoice(method, kMethodKeysOnlyText);
  SendMessageA(method, CB_SETCURSEL, row.method == kMethodKeysOnly ? 1 : 0, 0);
  HWND profile = GetDlgItem(dialog, kAppProfileList);
  AddChoice(profile, kCurrentProfileText);
  int chosen = 0;
  const ProfileNameList* names = g_context.names;
  for (int i = 0; names != nullptr && i < names->Count(); ++i) {
    AddChoice(profile, names->GetAt(i));
    if (row.profile[0] && lstrcmpiA(names->GetAt(i), row.profile) == 0) chosen = i + 1;
  }
  // A profile no longer stored stays the row's until the user picks another.
  if (row.profile[0] && chosen == 0) {
    AddChoice(profile, row.profile);
    chosen = static_cast<int>(SendMessageA(profile, CB_GETCOUNT, 0, 0)) - 1;
  }
  SendMessageA(profile, CB_SETCURSEL, chosen, 0);
  if (d.index == 0) {
    EnableWindow(GetDlgItem(dialog, kAppProgramEdit), FALSE);
    EnableWindow(profile, FALSE);
    SetFocus(GetDlgItem(dialog, kAppPaceEdit));
    return FALSE;
  }
  return TRUE;
}

// Takes the dialog's row into the list and stores the list; false (the dialog stays open,
// the rows unchanged) when the row is refused.
bool TakeRow(HWND dialog, const RowDialog& d) {
  char typed[3 * kProgramNameSize + 8] = {}, program[4 * kProgramNameSize], pace[16] = {};
  GetDlgItemTextA(dialog, kAppProgramEdit, typed, sizeof typed);
  Convert(CP_ACP, CP_UTF8, typed, program, sizeof program);
  GetDlgItemTextA(dialog, kAppPaceEdit, pace, sizeof pace);
  const uint32_t method =
      SendDlgItemMessageA(dialog, kAppMethodList, CB_GETCURSEL, 0, 0) == 1 ? kMethodKeysOnly
                                                                          : kMethodKeysAndUnicode;
  char profile[kProfileNameSize] = {};
  const LRESULT chosen = SendDlgItemMessageA(dialog, kAppProfileList, CB_GETCURSEL, 0, 0);
  if (d.index != 0 && chosen > 0 &&
      SendDlgItemMessageA(dialog, kAppProfileList, CB_GETLBTEXTLEN, chosen, 0) < kProfileNameSize)
    SendDlgItemMessageA(dialog, kAppProfileList, CB_GETLBTEXT, chosen, reinterpret_cast<LPARAM>(profile));
  AppRows& rows = *g_context.rows;
  const AppRowError error = PutAppRow(rows, d.index, program, pace, method, profile);
  if (error != AppRowError::kNone) {
    Warn(dialog, AppRowErrorText(error));
    const bool paceError = error == AppRowError::kPace;
    HWND field = GetDlgItem(dialog, paceError ? kAppPaceEdit : kAppProgramEdit);
    if (error == AppRowError::kTooManyProfiles) field = GetDlgItem(dialog, kAppProfileList);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    return false;
  }
  return true;
}

INT_PTR CALLBACK RowDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* d = reinterpret_cast<RowDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      return InitRowDialog(dialog, *reinterpret_cast<RowDialog*>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && d != nullptr) {
        if (TakeRow(dialog, *d)) EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void Store(HWND page, int select) {
  if (!SaveAppRows(*g_context.registry, *g_context.rows)) Warn(page, kApplicationsSaveFailedText);
  if (g_context.applied) g_context.applied();
  FillList(page, select);
}

void EditRow(HWND page, int index) {
  RowDialog d{index};
  if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kApplicationRowDialog), page,
                      &RowDialogProc, reinterpret_cast<LPARAM>(&d)) != IDOK)
    return;
  Store(page, index < 0 ? g_context.rows->count - 1 : index);
}

}  // namespace

void SetApplicationsPageContext(const ApplicationsPageContext& context) { g_context = context; }

INT_PTR CALLBACK ApplicationsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_context.rows == nullptr || g_context.registry == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header && header->idFrom == kAppList) {
        if (header->code == LVN_ITEMCHANGED) EnableButtons(page);
        if (header->code == NM_DBLCLK && Selected(page) >= 0) EditRow(page, Selected(page));
      }
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kAppAddButton:
          EditRow(page, -1);
          return TRUE;
        case kAppEditButton:
          if (Selected(page) >= 0) EditRow(page, Selected(page));
          return TRUE;
        case kAppRemoveButton: {
          const int row = Selected(page);
          if (RemoveAppRow(*g_context.rows, row)) Store(page, row < g_context.rows->count ? row : row - 1);
          return TRUE;
        }
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace pellix
