#include "ui/win32/settings_sheet.h"

#include <commctrl.h>
#include <prsht.h>

#include "ui/win32/link_label.h"
#include "ui/win32/shell_open.h"

namespace pellix {

const char kMakerAddress[] = "http://www.obrelle-works.example/pellix/";
const char kMakerAddressText[] = "www.obrelle-works.example";

SheetState g_sheetState = {0, nullptr, nullptr};

namespace {

SettingsSheetHost* g_host = nullptr;
HCURSOR g_handCursor = nullptr;
WNDPROC g_previousIconProc = nullptr;

LRESULT CALLBACK IconProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETCURSOR) {
    SetCursor(g_handCursor);
    return TRUE;
  }
  return CallWindowProcA(g_previousIconProc, window, message, wParam, lParam);
}

void CentreOnScreen(HWND window) {
  RECT rc;
  GetWindowRect(window, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  int x = sw / 2 - w / 2, y = sh / 2 - h / 2;
  if (x < 0) x = 0; else if (x + w > sw) x = sw - w;
  if (y < 0) y = 0; else if (y + h > sh) y = sh - h;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowSelections(HWND page) {
  PageSettings s = g_host->CurrentSettings();
  int selections[5];
  SelectionsFor(&s, selections);
  g_host->UpdateSettings(s, false);  // the normalised timeout, not saved until a change
  for (int i = 0; i < 5; ++i) {
    SendDlgItemMessageA(page, kSettingsLists[i]->controlId, CB_SETCURSEL,
                        static_cast<WPARAM>(selections[i]), 0);
  }
  EnableWindow(GetDlgItem(page, kSeparatorList), SeparatorEnabled(s));
}

void ReadPage(HWND page) {
  int selections[5];
  for (int i = 0; i < 5; ++i) {
    selections[i] = static_cast<int>(
        SendDlgItemMessageA(page, kSettingsLists[i]->controlId, CB_GETCURSEL, 0, 0));
  }
  PageSettings s = g_host->CurrentSettings();
  ReadSelections(selections, &s);
  EnableWindow(GetDlgItem(page, kSeparatorList), SeparatorEnabled(s));
  g_host->UpdateSettings(s, true);
}

void Beep(const PageSettings& s) {
  if (s.beepOn) MessageBeep(static_cast<UINT>(s.beepType));
}

BOOL InitPage(HWND page) {
  HWND sheet = GetParent(page);
  g_sheetState.settingsPage = page;
  g_sheetState.sheet = sheet;
  g_handCursor = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kHandCursorId));
  CentreOnScreen(sheet);
  PlaceLinkLabel(sheet, kMakerAddressText, kMakerAddress);
  PostMessageA(sheet, PSM_CANCELTOCLOSE, 0, 0);
  SetWindowLongA(sheet, GWL_EXSTYLE, GetWindowLongA(sheet, GWL_EXSTYLE) | WS_EX_APPWINDOW);
  for (const ChoiceList* list : kSettingsLists) {
    for (int i = 0; i < list->count; ++i) {
      const LRESULT index = SendDlgItemMessageA(page, list->controlId, CB_ADDSTRING, 0,
                                                reinterpret_cast<LPARAM>(list->items[i].text));
      if (index >= 0) {
        SendDlgItemMessageA(page, list->controlId, CB_SETITEMDATA, static_cast<WPARAM>(index),
                            static_cast<LPARAM>(list->items[i].value));
      }
    }
  }
  if (g_host->DriverMode()) EnableWindow(GetDlgItem(page, kTimeoutList), FALSE);
  ShowSelections(page);
  g_previousIconProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      GetDlgItem(page, kPageIcon), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&IconProc)));
  return TRUE;
}

}  // namespace

INT_PTR CALLBACK SettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return InitPage(page);
    case WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE) {
        ReadPage(page);
      } else {
        switch (LOWORD(wParam)) {
          case kPlayButton:
            Beep(g_host->CurrentSettings());
            break;
          case kClearTraceButton:
            SetDlgItemTextA(page, kTraceSerial, "");
            SetDlgItemTextA(page, kTraceType, "");
            SetDlgItemTextA(page, kTraceData, "");
            break;
          case kPageIcon:
            ShellOpen(kMakerAddress, nullptr, SW_SHOWMAXIMIZED);
            break;
          default:
            break;
        }
      }
      return TRUE;
    case WM_DESTROY:
      g_sheetState.settingsPage = nullptr;
      DestroyCursor(g_handCursor);
      g_handCursor = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void RunSettingsSheet(HWND owner, SettingsSheetHost* host) {
  g_host = host;
  HINSTANCE module = GetModuleHandleA(nullptr);
  PROPSHEETPAGEA pages[4] = {};
  for (PROPSHEETPAGEA& p : pages) {
    p.dwSize = sizeof p;
    p.dwFlags = PSP_DEFAULT;
    p.hInstance = module;
  }
  const struct {
    int id;
    DLGPROC proc;
  } kinds[] = {{kSettingsPageDialog, &SettingsPageProc},
               {115, host->ProfilesPageProc()},
               {kHistoryPageDialog, host->HistoryPageProc()},
               {kApplicationsPageTemplate, host->ApplicationsPageProc()}};
  UINT count = 0;
  for (const auto& kind : kinds) {
    if (kind.proc == nullptr && count >= 2) continue;  // a page the host does not keep
    pages[count].pszTemplate = MAKEINTRESOURCEA(kind.id);
    pages[count].pfnDlgProc = kind.proc;
    ++count;
  }
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_USEICONID | PSH_NOAPPLYNOW | PSH_PROPSHEETPAGE;
  header.hwndParent = owner;
  header.hInstance = module;
  header.pszIcon = MAKEINTRESOURCEA(kSheetIconId);
  header.pszCaption = "Pellix";
  header.nPages = count;
  header.nStartPage = 0;
  header.ppsp = pages;
  PropertySheetA(&header);
  // The sheet window is gone; nothing may post to it any more.
  g_sheetState.sheet = nullptr;
  g_sheetState.settingsPage = nullptr;
}

}  // namespace pellix
