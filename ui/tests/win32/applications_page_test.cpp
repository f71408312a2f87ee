// The Applications page over the real registry, driven through its controls and its row
// dialog; the rows come back after a restart (a fresh load from the registry).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profiles/core/profile_store.h"
#include "profiles/win32/profiles_page.h"
#include "profiles/win32/win32_registry.h"
#include "ui/tests/win32/sheet_driver.h"
#include "ui/win32/applications_page.h"

namespace pellix {
namespace {

using namespace testing_ui;

class Host : public SettingsSheetHost {
 public:
  PageSettings settings{'\n', '.', 0, 1, 0, 1250};
  PageSettings CurrentSettings() override { return settings; }
  void UpdateSettings(const PageSettings& s, bool) override { settings = s; }
  bool DriverMode() override { return false; }
  DLGPROC ProfilesPageProc() override { return &pellix::ProfilesPageProc; }
  DLGPROC ApplicationsPageProc() override { return &pellix::ApplicationsPageProc; }
};

int g_applied = 0;
void CountApplied() { ++g_applied; }

class ApplicationsPage : public ::testing::Test {
 protected:
  void SetUp() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, "software\\Obrelle Works\\Pellix");
    CreateProfile(registry_, "Books");
    CreateProfile(registry_, "Tabs");
    LoadNames(names_, registry_);
    Restart();
  }
  void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, "software\\Obrelle Works\\Pellix"); }

  // As the tray program starts: the rows from the registry.
  void Restart() {
    rows_ = {};
    LoadAppRows(registry_, rows_);
    g_applied = 0;
    SetApplicationsPageContext({&registry_, &rows_, &names_, &CountApplied});
  }

  // Shows the sheet on its last page (Applications, after Settings and Profiles).
  template <typename Script>
  void OnPage(Script script) {
    EXPECT_TRUE(WithSheet(host_, [&](HWND sheet, HWND) {
      HWND tabs = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
      ASSERT_EQ(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0), 3);
      SendMessageA(sheet, PSM_SETCURSEL, 2, 0);
      HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
      ASSERT_NE(page, nullptr);
      char caption[64] = {};
      TCITEMA item = {};
      item.mask = TCIF_TEXT;
      item.pszText = caption;
      item.cchTextMax = sizeof caption;
      SendMessageA(tabs, TCM_GETITEMA, 2, reinterpret_cast<LPARAM>(&item));
      EXPECT_STREQ(caption, "Pellix Applications");
      script(page);
    }));
  }

  // The list as the user reads it, one line per row: "program|pace|method|profile".
  static std::vector<std::string> Listed(HWND page) {
    std::vector<std::string> out;
    HWND list = GetDlgItem(page, kAppList);
    const int n = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      std::string line;
      for (int sub = 0; sub < 4; ++sub) {
        char text[128] = {};
        LVITEMA cell = {};
        cell.iSubItem = sub;
        cell.pszText = text;
        cell.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&cell));
        line += (sub ? "|" : "") + std::string(text);
      }
      out.push_back(line);
    }
    return out;
  }
  static void Select(HWND page, int row) {
    LVITEMA state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageA(page, kAppList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
  }
  static void Choose(HWND dialog, int id, const char* text) {
    const LRESULT at = SendDlgItemMessageA(dialog, id, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(text));
    ASSERT_GE(at, 0) << text;
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, at, 0);
  }
  // Opens the row dialog with `button` and fills what is given (null: left as shown).
  static HWND Fill(HWND page, int button, const char* program, const char* pace,
                   const char* method, const char* profile) {
    PostClick(page, button);
    HWND dialog = WaitForDialog(kApplicationRowCaption);
    if (!dialog) return nullptr;
    if (program) Type(dialog, kAppProgramEdit, program);
    if (pace) Type(dialog, kAppPaceEdit, pace);
    if (method) Choose(dialog, kAppMethodList, method);
    if (profile) Choose(dialog, kAppProfileList, profile);
    return dialog;
  }

  Win32Registry registry_;
  ProfileNameList names_;
  AppRows rows_;
  Host host_;
};

const char kUni[] = "keys, with Unicode input where the layout has no key";
// A name with a letter outside ASCII, in the ANSI code page as the edit takes it.
const char kAccented[] = "\xDC" "ber.exe";

TEST_F(ApplicationsPage, AddsEditsRemovesRowsThatComeBackAfterARestart) {
  std::vector<std::string> shown;
  OnPage([&](HWND page) {
    const std::vector<std::string> defaults = Listed(page);
    ASSERT_EQ(defaults.size(), 13u);
    EXPECT_EQ(defaults[0], std::string("every other program|0 ms|") + kUni + "|the current profile");
    EXPECT_EQ(defaults[1], std::string("mstsc.exe|20 ms|") + kUni + "|the current profile");
    EXPECT_EQ(defaults[12], "tvnviewer.exe|20 ms|keys only|the current profile");
    Select(page, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kAppRemoveButton)));  // stays first

    // Refused rows: the dialog says why and stays open; Cancel leaves the rows alone.
    const struct {
      const char* program;
      const char* pace;
      const char* text;
    } refused[] = {
        {"", "20", "Type the program's file name, for example mstsc.exe."},
        {"C:\\Windows\\System32\\mstsc.exe", "20",
         "Type the program's file name alone, without its folder: mstsc.exe, not "
         "C:\\Windows\\System32\\mstsc.exe."},
        {"excel.exe", "501", "The pace is a whole number of milliseconds from 0 to 500."},
        {"excel.exe", "fast", "The pace is a whole number of milliseconds from 0 to 500."},
        {"MSTSC.exe", "20", "That program has a row already: edit that row instead."},
    };
    for (const auto& r : refused) {
      HWND dialog = Fill(page, kAppAddButton, r.program, r.pace, nullptr, nullptr);
      ASSERT_NE(dialog, nullptr);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      EXPECT_EQ(AnswerMessageBox(kApplicationsWarningCaption), r.text) << r.program;
      EXPECT_TRUE(IsWindow(dialog));
      Dismiss(dialog, IDCANCEL);
    }
    EXPECT_EQ(Listed(page), defaults);
    EXPECT_EQ(g_applied, 0);

    // Added, edited, removed: each stored and handed on at once.
    Dismiss(Fill(page, kAppAddButton, " EXCEL.EXE ", "50", "keys only", "Books"), IDOK);
    EXPECT_EQ(Listed(page).back(), "EXCEL.EXE|50 ms|keys only|Books");
    EXPECT_EQ(g_applied, 1);
    Dismiss(Fill(page, kAppAddButton, kAccented, "0", nullptr, nullptr), IDOK);
    Select(page, 1);
    Dismiss(Fill(page, kAppEditButton, nullptr, "100", nullptr, "Tabs"), IDOK);
    Select(page, 0);  // every other program: pace and method only
    HWND dialog = Fill(page, kAppEditButton, nullptr, "5", "keys only", nullptr);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kAppProgramEdit)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kAppProfileList)));
    Dismiss(dialog, IDOK);
    Select(page, 2);
    Click(page, kAppRemoveButton);
    EXPECT_EQ(g_applied, 5);

    std::vector<std::string> want = defaults;
    want[0] = "every other program|5 ms|keys only|the current profile";
    want[1] = std::string("mstsc.exe|100 ms|") + kUni + "|Tabs";
    want.erase(want.begin() + 2);  // msrdc.exe
    want.push_back("EXCEL.EXE|50 ms|keys only|Books");
    want.push_back(std::string(kAccented) + "|0 ms|" + kUni + "|the current profile");
    shown = Listed(page);
    EXPECT_EQ(shown, want);
  });
  // The program starts again: the same rows, from the registry alone.
  Restart();
  OnPage([&](HWND page) { EXPECT_EQ(Listed(page), shown); });
  // Stored as its characters, as regedit shows them.
  const std::wstring key = L"software\\Obrelle Works\\Pellix\\Applications\\" +
                           std::to_wstring(shown.size() - 1);
  HKEY row = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &row), ERROR_SUCCESS);
  WCHAR stored[64] = {}, typed[64] = {};
  DWORD type = 0, size = sizeof stored - sizeof(WCHAR);
  EXPECT_EQ(RegQueryValueExW(row, L"Program", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size),
            ERROR_SUCCESS);
  RegCloseKey(row);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, kAccented, -1, typed, 64), 0);
  EXPECT_EQ(std::wstring(stored), std::wstring(typed));
}

}  // namespace
}  // namespace pellix
