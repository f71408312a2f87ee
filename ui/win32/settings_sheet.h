// The Settings sheet (the Settings and Profiles pages, and History and Applications where the
// host keeps them)
// and its Settings page.
#pragma once
#include <windows.h>

#include "ui/core/settings_lists.h"

namespace pellix {

constexpr int kSettingsPageDialog = 111;
constexpr int kHistoryPageDialog = 117;
constexpr int kApplicationsPageTemplate = 119;
constexpr int kSheetIconId = 105;
constexpr int kPageIconResource = 102;

// The maker's web page, opened by the page's icon and the sheet's link label.
extern const char kMakerAddress[];
extern const char kMakerAddressText[];

// What the tray program shares with the sheet while it runs. The scan handler and the
// driver path read it on other threads: plain words, no lock.
struct SheetState {
  volatile LONG open;            // set while the sheet runs
  HWND volatile sheet;           // the sheet window, recorded when the Settings page starts
  HWND volatile settingsPage;    // the Settings page, none when it does not exist
};
extern SheetState g_sheetState;

// What the sheet needs of the tray program.
class SettingsSheetHost {
 public:
  virtual ~SettingsSheetHost() = default;
  virtual PageSettings CurrentSettings() = 0;
  // Takes the page's values; `saveAndPush` stores them in the registry and hands them to the
  // back-end (every selection change), otherwise they only replace the values in memory.
  virtual void UpdateSettings(const PageSettings& settings, bool saveAndPush) = 0;
  virtual bool DriverMode() = 0;
  virtual DLGPROC ProfilesPageProc() = 0;
  // The History page after the original two, where the host keeps one; none by default.
  virtual DLGPROC HistoryPageProc() { return nullptr; }
  // The Applications page after those, where the host keeps one; none by default.
  virtual DLGPROC ApplicationsPageProc() { return nullptr; }
};

// Runs the sheet modally, owned by `owner`; returns when it closes.
void RunSettingsSheet(HWND owner, SettingsSheetHost* host);

INT_PTR CALLBACK SettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pellix
