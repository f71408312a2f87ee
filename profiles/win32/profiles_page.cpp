#include "profiles/win32/profiles_page.h"

#include <cderr.h>
#include <commdlg.h>

#include <cstring>
#include <initializer_list>

#include "profiles/core/profile_store.h"

namespace pellix {

namespace {

ProfilesPageContext g_context = {};
HWND g_page = nullptr;
char g_newProfileName[201];

struct ShowMode {
  const char* text;
  int32_t mode;
};
const ShowMode kShowModes[] = {
    {"Hide", SW_HIDE}, {"Maximized", SW_SHOWMAXIMIZED}, {"Minimized", SW_SHOWMINNOACTIVE},
    {"Normal", SW_SHOWNORMAL}};

void Warn(const char* text, const char* caption) {
  MessageBoxA(g_page, text, caption, MB_ICONWARNING);
}

HWND Item(int id) { return GetDlgItem(g_page, id); }

void ReadEdit(int id, char* buffer, int size) {
  buffer[0] = '\0';
  GetDlgItemTextA(g_page, id, buffer, size);
}

void SelectWindowMode(int32_t mode) {
  HWND combo = Item(kWindowCombo);
  const LRESULT n = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    if (static_cast<int32_t>(SendMessageA(combo, CB_GETITEMDATA, i, 0)) == mode) {
      SendMessageA(combo, CB_SETCURSEL, i, 0);
      return;
    }
  }
}

void UpdateAutoIsbnBox() {
  char type[200];
  ReadEdit(kTypeEdit, type, sizeof type);
  HWND box = Item(kAutoIsbnBox);
  if (std::strncmp(type, "IB5", 3) == 0 || std::strncmp(type, "IBN", 3) == 0) {
    SetWindowTextA(box, "Auto-ISBN");
    EnableWindow(box, TRUE);
    ShowWindow(box, SW_SHOW);
  } else {
    EnableWindow(box, FALSE);
    ShowWindow(box, SW_HIDE);
  }
}

void ShowScanType(int index) {
  const ScanTypeEntry* entry = g_context.table->GetAt(index);
  auto text = [](const char* s) { return s ? s : ""; };
  if (entry) {
    SetDlgItemTextA(g_page, kTypeEdit, text(entry->code));
    SetDlgItemTextA(g_page, kFilterEdit, text(entry->filter));
    SetDlgItemTextA(g_page, kCommandEdit, text(entry->command));
    SetDlgItemTextA(g_page, kParamsEdit, text(entry->params));
    EnableWindow(Item(kTypeEdit), FALSE);
    EnableWindow(Item(kDeleteScanButton), TRUE);
    CheckDlgButton(g_page, kAutoIsbnBox, entry->autoConvert ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(Item(kFilterEdit), !entry->autoConvert);
    SelectWindowMode(entry->showMode);
  } else {
    for (int id : {kTypeEdit, kFilterEdit, kCommandEdit, kParamsEdit}) {
      SetDlgItemTextA(g_page, id, "");
    }
    EnableWindow(Item(kTypeEdit), TRUE);
    EnableWindow(Item(kDeleteScanButton), FALSE);
    CheckDlgButton(g_page, kAutoIsbnBox, BST_UNCHECKED);
    EnableWindow(Item(kFilterEdit), TRUE);
    SelectWindowMode(SW_SHOWNORMAL);
  }
  UpdateAutoIsbnBox();
}

void FillScanTypeList() {
  HWND list = Item(kScanTypeList);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  ShowScanType(-1);
  for (int i = 0; i < kProfileSlots; ++i) {
    const ScanTypeEntry* entry = g_context.table->GetAt(i);
    if (!entry) continue;
    const LRESULT at = SendMessageA(list, LB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(entry->code ? entry->code : ""));
    if (at >= 0) SendMessageA(list, LB_SETITEMDATA, at, i);
  }
}

void SelectProfile(const char* name) {
  ActivateProfile(*g_context.registry, *g_context.backEnd, *g_context.table,
                  g_context.currentProfileName, name);
  FillScanTypeList();
}

LRESULT FindProfile(const char* name) {
  return SendMessageA(Item(kProfileCombo), CB_FINDSTRING, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>(name));
}

// Scan types belong to a profile: with none current there is nothing to store them in, and
// no stored profile may change.
bool RequireProfile() {
  if (g_context.currentProfileName[0]) return true;
  Warn("Select or add a profile first: scan types are kept in a profile.", "Error");
  return false;
}

void OnAddScan() {
  ShowScanType(-1);
  SendMessageA(Item(kScanTypeList), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  SetFocus(Item(kTypeEdit));
}

void OnSaveScan() {
  char code[200], filter[200], command[200], params[200];
  ReadEdit(kTypeEdit, code, sizeof code);
  ReadEdit(kFilterEdit, filter, sizeof filter);
  ReadEdit(kCommandEdit, command, sizeof command);
  ReadEdit(kParamsEdit, params, sizeof params);
  const bool autoConvert = IsDlgButtonChecked(g_page, kAutoIsbnBox) == BST_CHECKED;
  const LRESULT sel = SendMessageA(Item(kWindowCombo), CB_GETCURSEL, 0, 0);
  const int32_t showMode =
      sel < 0 ? SW_SHOWNORMAL
              : static_cast<int32_t>(SendMessageA(Item(kWindowCombo), CB_GETITEMDATA, sel, 0));
  if (!code[0]) {
    Warn("You must specify a scan type.", "Error");
    SetFocus(Item(kTypeEdit));
    return;
  }
  if (!filter[0] && !command[0] && !params[0] && !autoConvert) {
    Warn("You must specify a Filter, or Command.", "Error");
    SetFocus(Item(kFilterEdit));
    return;
  }
  if (!RequireProfile()) return;
  for (char* p = code; *p; ++p) {
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  }
  if (g_context.table->AddOrUpdate(code, filter, command, params, autoConvert, showMode) &&
      SaveProfile(*g_context.table, *g_context.registry, g_context.currentProfileName)) {
    SelectProfile(g_context.currentProfileName);
  } else {
    Warn("Unable to save Profile.", "Error");
  }
}

void OnDeleteScan() {
  char code[200];
  ReadEdit(kTypeEdit, code, sizeof code);
  if (!code[0]) {
    Warn("You must select a scan type.", "Error");
    return;
  }
  if (!RequireProfile()) return;
  if (g_context.table->Remove(code) &&
      SaveProfile(*g_context.table, *g_context.registry, g_context.currentProfileName)) {
    SelectProfile(g_context.currentProfileName);
  } else {
    Warn("Unable to save Profile.", "Error");
  }
}

void OnAddProfile() {
  char buffer[200] = {};
  if (!AskProfileName(g_page, buffer, sizeof buffer)) return;
  const char* name = buffer;
  while (*name == ' ') ++name;
  if (!*name || *name == '<') {
    Warn("The name you specified is not valid.", "Profile Invalid");
    return;
  }
  for (int i = 0; i < g_context.names->Count(); ++i) {
    if (std::strcmp(g_context.names->GetAt(i), name) == 0) {
      Warn("The name you specified already exists.", "Profile Exists");
      return;
    }
  }
  switch (CreateProfile(*g_context.registry, name)) {
    case CreateProfileResult::kCreated: {
      const LRESULT at = SendMessageA(Item(kProfileCombo), CB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(name));
      LoadNames(*g_context.names, *g_context.registry);
      SelectProfile(name);
      SendMessageA(Item(kProfileCombo), CB_SETCURSEL, at, 0);
      break;
    }
    case CreateProfileResult::kExists:  // differs from a stored name only in letter case
      Warn("The name you specified already exists.", "Profile Exists");
      break;
    case CreateProfileResult::kInvalid:
      Warn("The name you specified is not valid.", "Profile Invalid");
      break;
    case CreateProfileResult::kFailed:
      Warn("Unable to add new profile.", "Profile Error");
      break;
  }
}

void OnDeleteProfile() {
  if (!g_context.currentProfileName[0]) {
    Warn("Cannot delete the <No Profile> entry.", "Delete Error");
    return;
  }
  if (MessageBoxA(g_page, "Are you sure you want to delete this profile?", "Delete Profile",
                  MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  DeleteProfile(*g_context.registry, g_context.currentProfileName);
  LoadNames(*g_context.names, *g_context.registry);
  SendMessageA(Item(kProfileCombo), CB_DELETESTRING, FindProfile(g_context.currentProfileName), 0);
  SendMessageA(Item(kProfileCombo), CB_SETCURSEL, FindProfile(kNoProfileName), 0);
  SelectProfile(nullptr);
}

void OnBrowse() {
  char file[260] = {};
  GetDlgItemTextA(g_page, kCommandEdit, file, sizeof file);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // the 76-byte form every Windows reads
  ofn.hwndOwner = g_page;
  ofn.lpstrFilter =
      "Executable Files (*.exe, *.com)\0*.EXE;*.COM\0"
      "Script Files (*.bat, *.vbs, *.js)\0*.BAT;*.VBS;*.JS\0"
      "All Files (*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrTitle = "Select Exedcutable File";  // the system's own title, spelled as it stands
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  BOOL chosen = GetOpenFileNameA(&ofn);
  if (!chosen && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
    file[0] = '\0';
    chosen = GetOpenFileNameA(&ofn);
  }
  if (chosen && file[0]) SetDlgItemTextA(g_page, kCommandEdit, file);
}

void InitPage(HWND page) {
  g_page = page;
  LoadNames(*g_context.names, *g_context.registry);
  HWND profiles = Item(kProfileCombo);
  SendMessageA(profiles, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kNoProfileName));
  for (int i = 0; i < g_context.names->Count(); ++i) {
    SendMessageA(profiles, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(g_context.names->GetAt(i)));
  }
  HWND modes = Item(kWindowCombo);
  for (const ShowMode& m : kShowModes) {
    const LRESULT at = SendMessageA(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(m.text));
    if (at >= 0) SendMessageA(modes, CB_SETITEMDATA, at, m.mode);
  }
  ShowCurrentProfile();
}

void OnCommand(int id, int code) {
  switch (id) {
    case kProfileCombo:
      if (code == CBN_CLOSEUP) {
        char name[199];
        ReadEdit(kProfileCombo, name, sizeof name);
        SelectProfile(name);
      }
      break;
    case kScanTypeList:
      if (code == LBN_SELCHANGE) {
        const LRESULT sel = SendMessageA(Item(kScanTypeList), LB_GETCURSEL, 0, 0);
        ShowScanType(sel < 0 ? -1
                             : static_cast<int>(
                                   SendMessageA(Item(kScanTypeList), LB_GETITEMDATA, sel, 0)));
      }
      break;
    case kTypeEdit:
      if (code == EN_CHANGE) UpdateAutoIsbnBox();
      break;
    case kAutoIsbnBox:
      if (code == BN_CLICKED) {
        EnableWindow(Item(kFilterEdit), IsDlgButtonChecked(g_page, kAutoIsbnBox) != BST_CHECKED);
      }
      break;
    case kAddScanButton: OnAddScan(); break;
    case kSaveScanButton: OnSaveScan(); break;
    case kDeleteScanButton: OnDeleteScan(); break;
    case kAddProfileButton: OnAddProfile(); break;
    case kDeleteProfileButton: OnDeleteProfile(); break;
    case kBrowseButton: OnBrowse(); break;
    default: break;
  }
}

INT_PTR CALLBACK NewProfileProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, kNewProfileEdit, g_newProfileName);
      SendDlgItemMessageA(dialog, kNewProfileEdit, EM_LIMITTEXT, 200, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextA(dialog, kNewProfileEdit, g_newProfileName, 200);
        EndDialog(dialog, 1);
      } else if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 2);
      }
      return FALSE;
    case WM_DESTROY:
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void SetProfilesPageContext(const ProfilesPageContext& context) { g_context = context; }

void ShowCurrentProfile() {
  if (!g_page) return;
  LRESULT index = FindProfile(kNoProfileName);
  if (g_context.currentProfileName[0]) {
    const LRESULT found = FindProfile(g_context.currentProfileName);
    if (found >= 0) index = found;
  }
  SendMessageA(Item(kProfileCombo), CB_SETCURSEL, index, 0);
  FillScanTypeList();
}

bool AskProfileName(HWND owner, char* buffer, int size) {
  if (!buffer || size <= 0) return false;
  std::strncpy(g_newProfileName, buffer, 200);
  g_newProfileName[200] = '\0';
  if (DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kNewProfileDialog), owner,
                      &NewProfileProc, 0) != 1) {
    return false;
  }
  // Cut to the caller's buffer, always terminated.
  lstrcpynA(buffer, g_newProfileName, size);
  return true;
}

INT_PTR CALLBACK ProfilesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page);
      return TRUE;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      g_page = nullptr;
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace pellix
