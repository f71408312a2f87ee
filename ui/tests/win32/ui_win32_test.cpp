// The link label and the Settings sheet in real windows, driven the way a person would.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ui/win32/link_label.h"
#include "ui/win32/shell_open.h"
#include "ui/win32/settings_sheet.h"
#include "ui/tests/win32/sheet_driver.h"

namespace pellix {
namespace {

using testing_ui::Text;
using testing_ui::WithSheet;

// Run with PELLIX_RECORD_FILE set, this program only writes its command line there: the
// shell's target in the click tests.
bool RecordLaunch() {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA("PELLIX_RECORD_FILE", path, sizeof path)) return false;
  if (FILE* f = std::fopen(path, "w")) {
    std::fputs(GetCommandLineA(), f);
    std::fclose(f);
  }
  return true;
}

std::string ThisProgram() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

std::string TempFile(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  return std::string(dir) + name;
}

bool WaitForFile(const std::string& path, std::string* content, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (FILE* f = std::fopen(path.c_str(), "r")) {
      char buf[1024] = {};
      const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
      std::fclose(f);
      if (n > 0) {
        *content = buf;
        return true;
      }
    }
    Sleep(50);
  }
  return false;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Pixels of a colour in the window's client area as drawn on the screen.
int CountPixels(HWND window, COLORREF colour) {
  UpdateWindow(window);
  RECT rc;
  GetClientRect(window, &rc);
  HDC dc = GetDC(window);
  int n = 0;
  for (int y = rc.top; y < rc.bottom; ++y) {
    for (int x = rc.left; x < rc.right; ++x) {
      if (GetPixel(dc, x, y) == colour) ++n;
    }
  }
  ReleaseDC(window, dc);
  return n;
}

class LinkLabel : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                             400, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    label_ = CreateWindowExA(0, "STATIC", "www.obrelle-works.example",
                             WS_CHILD | WS_VISIBLE | SS_NOTIFY, 10, 10, 200, 20, frame_,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(frame_);
    Pump();
  }
  void TearDown() override { DestroyWindow(frame_); }
  LinkLabelState* State() {
    return reinterpret_cast<LinkLabelState*>(GetWindowLongPtrA(label_, GWLP_USERDATA));
  }
  HWND frame_ = nullptr, label_ = nullptr;
};

TEST_F(LinkLabel, BlueThenRedWhileHoveredThenBlueAgain) {
  ASSERT_EQ(AttachLinkLabel(label_, "x"), 1);
  InvalidateRect(label_, nullptr, TRUE);
  EXPECT_GT(CountPixels(label_, RGB(0, 0, 255)), 20);
  EXPECT_EQ(CountPixels(label_, RGB(255, 0, 0)), 0);

  SendMessageA(label_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_TRUE(State()->hovered);
  EXPECT_EQ(GetCapture(), label_);
  EXPECT_GT(CountPixels(label_, RGB(255, 0, 0)), 20);
  EXPECT_EQ(CountPixels(label_, RGB(0, 0, 255)), 0);

  SendMessageA(label_, WM_MOUSEMOVE, 0, MAKELPARAM(500, 5));  // off the label
  EXPECT_FALSE(State()->hovered);
  EXPECT_NE(GetCapture(), label_);
  EXPECT_GT(CountPixels(label_, RGB(0, 0, 255)), 20);

  SendMessageA(label_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  ReleaseCapture();  // another window takes the mouse
  EXPECT_FALSE(State()->hovered);
}

TEST_F(LinkLabel, HandCursorAndDialogCode) {
  ASSERT_EQ(AttachLinkLabel(label_, nullptr), 1);
  HCURSOR hand = State()->cursor;
  ASSERT_NE(hand, nullptr);  // cursor 118 of this program
  SendMessageA(label_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(GetCursor(), hand);
  EXPECT_EQ(SendMessageA(label_, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
  EXPECT_EQ(State()->alignment, SS_LEFT);
}

TEST_F(LinkLabel, ClickOpensTheAddressWithTheShell) {
  const std::string record = TempFile("pellix-link-click.txt");
  DeleteFileA(record.c_str());
  SetEnvironmentVariableA("PELLIX_RECORD_FILE", record.c_str());
  ASSERT_EQ(AttachLinkLabel(label_, ThisProgram().c_str()), 1);
  SendMessageA(label_, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  std::string launched;
  EXPECT_TRUE(WaitForFile(record, &launched, 10000));
  EXPECT_NE(launched.find("ui_win32_tests"), std::string::npos) << launched;
  SetEnvironmentVariableA("PELLIX_RECORD_FILE", nullptr);
  DeleteFileA(record.c_str());
}

TEST_F(LinkLabel, OverlongAddressIsRefusedWhole) {
  // Refused, not cut: the label keeps no address, and a click on it opens nothing (the click
  // opens only a non-empty address) and must not fall over.
  const std::string longAddress(300, 'a');
  ASSERT_EQ(AttachLinkLabel(label_, longAddress.c_str()), 1);
  EXPECT_STREQ(State()->address, "");
  SendMessageA(label_, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

TEST_F(LinkLabel, DestroyPutsThePreviousProcedureBack) {
  const LONG_PTR before = GetWindowLongPtrA(label_, GWLP_WNDPROC);
  AttachLinkLabel(label_, "x");
  EXPECT_NE(GetWindowLongPtrA(label_, GWLP_WNDPROC), before);
  SendMessageA(label_, WM_DESTROY, 0, 0);
  EXPECT_EQ(GetWindowLongPtrA(label_, GWLP_WNDPROC), before);
  EXPECT_EQ(GetWindowLongPtrA(label_, GWLP_USERDATA), 0);
}

TEST_F(LinkLabel, AlignmentComesFromTheStyle) {
  HWND centred = CreateWindowExA(0, "STATIC", "c", WS_CHILD | SS_CENTER, 0, 0, 50, 20, frame_,
                                 nullptr, nullptr, nullptr);
  HWND right = CreateWindowExA(0, "STATIC", "r", WS_CHILD | SS_RIGHT, 0, 0, 50, 20, frame_,
                               nullptr, nullptr, nullptr);
  AttachLinkLabel(centred, nullptr);
  AttachLinkLabel(right, nullptr);
  EXPECT_EQ(reinterpret_cast<LinkLabelState*>(GetWindowLongPtrA(centred, GWLP_USERDATA))->alignment,
            SS_CENTER);
  EXPECT_EQ(reinterpret_cast<LinkLabelState*>(GetWindowLongPtrA(right, GWLP_USERDATA))->alignment,
            SS_RIGHT);
}

// A tray program stand-in: keeps the settings, counts saves.
class FakeHost : public SettingsSheetHost {
 public:
  PageSettings settings{'\n', '.', 0, 1, 0, 1300};
  int saves = 0;
  bool driver = false;
  PageSettings CurrentSettings() override { return settings; }
  void UpdateSettings(const PageSettings& s, bool saveAndPush) override {
    settings = s;
    if (saveAndPush) ++saves;
  }
  bool DriverMode() override { return driver; }
  DLGPROC ProfilesPageProc() override { return &EmptyPage; }
  static INT_PTR CALLBACK EmptyPage(HWND, UINT m, WPARAM, LPARAM) { return m == WM_INITDIALOG; }
};

// Runs the modal sheet on this thread while `script` drives it from another, as a user would.
std::vector<std::pair<std::string, LRESULT>> Items(HWND combo) {
  std::vector<std::pair<std::string, LRESULT>> items;
  const LRESULT n = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    char text[64] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.emplace_back(text, SendMessageA(combo, CB_GETITEMDATA, i, 0));
  }
  return items;
}

void Choose(HWND page, int id, int index) {
  HWND combo = GetDlgItem(page, id);
  SendMessageA(combo, CB_SETCURSEL, index, 0);
  SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

TEST(SettingsSheet, ListsShowTheirItemsAndTheStoredValues) {
  FakeHost host;
  EXPECT_TRUE(WithSheet(host, [&](HWND sheet, HWND page) {
    char caption[64] = {};
    GetWindowTextA(sheet, caption, sizeof caption);
    EXPECT_STREQ(caption, "Pellix");
    EXPECT_TRUE(GetWindowLongA(sheet, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    for (const ChoiceList* list : kSettingsLists) {
      const auto items = Items(GetDlgItem(page, list->controlId));
      ASSERT_EQ(static_cast<int>(items.size()), list->count) << list->controlId;
      for (int i = 0; i < list->count; ++i) {
        EXPECT_EQ(items[i].first, list->items[i].text);
        EXPECT_EQ(static_cast<int32_t>(items[i].second), list->items[i].value);
      }
    }
    // 1300 ms shows as 1250, and memory follows without a save.
    EXPECT_EQ(Text(page, kTimeoutList), "1250");
    EXPECT_EQ(Text(page, kOutputTypeList), "Data");
    EXPECT_EQ(Text(page, kTerminatorList), "<Return>");
    EXPECT_EQ(Text(page, kAudibleCueList), "Default");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kSeparatorList)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, kTimeoutList)));
    // The OK button reads Close once the page has asked the sheet.
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)));
  }));
  EXPECT_EQ(host.settings.timeoutMs, 1250u);
  EXPECT_EQ(host.saves, 0);
}

TEST(SettingsSheet, EveryChoiceIsStoredAtOnce) {
  FakeHost host;
  EXPECT_TRUE(WithSheet(host, [&](HWND, HWND page) {
    Choose(page, kAudibleCueList, 6);  // "None"
    EXPECT_EQ(host.settings.beepOn, 0);
    EXPECT_EQ(host.settings.beepType, -2);
    Choose(page, kAudibleCueList, 1);  // "Speaker"
    EXPECT_EQ(host.settings.beepType, -1);
    EXPECT_EQ(host.settings.beepOn, 1);
    Choose(page, kOutputTypeList, 3);
    EXPECT_EQ(host.settings.outputStyle, 3);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, kSeparatorList)));
    Choose(page, kOutputTypeList, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kSeparatorList)));
    Choose(page, kTimeoutList, 7);
    EXPECT_EQ(host.settings.timeoutMs, 2000u);
    EXPECT_EQ(host.saves, 5);
  }));
}

TEST(SettingsSheet, UnlistedTerminatorHasNoSelectionAndSurvivesAChange) {
  FakeHost host;
  host.settings.terminator = '\r';
  host.driver = true;
  EXPECT_TRUE(WithSheet(host, [&](HWND, HWND page) {
    EXPECT_EQ(SendDlgItemMessageA(page, kTerminatorList, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kTimeoutList)));  // driver mode
    Choose(page, kOutputTypeList, 1);
    EXPECT_EQ(host.settings.terminator, '\r');
    EXPECT_EQ(host.settings.outputStyle, 1);
  }));
}

// The program writes the trace through its own port (tested with the driver thread); here,
// the page's button empties it.
TEST(SettingsSheet, ClearTraceEmptiesTheTrace) {
  FakeHost host;
  EXPECT_TRUE(WithSheet(host, [&](HWND, HWND page) {
    SetDlgItemTextA(page, kTraceSerial, "000123");
    SetDlgItemTextA(page, kTraceType, "IB5");
    SetDlgItemTextA(page, kTraceData, "0262033844");
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(kClearTraceButton, BN_CLICKED), 0);
    EXPECT_EQ(Text(page, kTraceSerial), "");
    EXPECT_EQ(Text(page, kTraceType), "");
    EXPECT_EQ(Text(page, kTraceData), "");
    EXPECT_EQ(host.saves, 0);
  }));
  EXPECT_EQ(g_sheetState.settingsPage, nullptr) << "the page's window is forgotten with it";
}

// While it lives, "http" addresses open this program, which records its command line.
class HttpOpensThisProgram {
 public:
  HttpOpensThisProgram() {
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    DWORD size = sizeof saved_;
    had_ = RegQueryValueExA(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(saved_),
                            &size) == ERROR_SUCCESS;
    const std::string command = "\"" + ThisProgram() + "\" \"%1\"";
    RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
  }
  ~HttpOpensThisProgram() {
    if (!key_) return;
    if (had_) {
      RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_),
                     static_cast<DWORD>(std::strlen(saved_) + 1));
    } else {
      RegDeleteValueA(key_, nullptr);
    }
    RegCloseKey(key_);
  }
  bool ok() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
  bool had_ = false;
  char saved_[1024] = {};
};

TEST(SettingsSheet, IconClickOpensTheMakersPage) {
  const std::string record = TempFile("pellix-icon-click.txt");
  DeleteFileA(record.c_str());
  SetEnvironmentVariableA("PELLIX_RECORD_FILE", record.c_str());
  HttpOpensThisProgram http;
  ASSERT_TRUE(http.ok());
  FakeHost host;
  EXPECT_TRUE(WithSheet(host, [&](HWND, HWND page) {
    HWND icon = GetDlgItem(page, 1049);
    ASSERT_NE(icon, nullptr);
    // 20 by 20 dialog units, as the page's template gives it.
    RECT r, want = {0, 0, 20, 20};
    GetClientRect(icon, &r);
    MapDialogRect(page, &want);
    EXPECT_EQ(r.right, want.right);
    EXPECT_EQ(r.bottom, want.bottom);
    // What the static control sends its page when clicked (SS_NOTIFY).
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(1049, STN_CLICKED),
                 reinterpret_cast<LPARAM>(icon));
    // The launch runs on a thread of its own, which ends once the shell is done with it.
    EXPECT_TRUE(WaitForLaunches(15000));
    std::string launched;
    EXPECT_TRUE(WaitForFile(record, &launched, 15000));
    EXPECT_NE(launched.find(kMakerAddress), std::string::npos) << launched;
  }));
  SetEnvironmentVariableA("PELLIX_RECORD_FILE", nullptr);
  DeleteFileA(record.c_str());
}

TEST(SettingsSheet, LinkLabelSitsOnTheSheet) {
  FakeHost host;
  EXPECT_TRUE(WithSheet(host, [&](HWND sheet, HWND) {
    HWND label = FindWindowExA(sheet, nullptr, "STATIC", kMakerAddressText);
    ASSERT_NE(label, nullptr);
    auto* state = reinterpret_cast<LinkLabelState*>(GetWindowLongPtrA(label, GWLP_USERDATA));
    ASSERT_NE(state, nullptr);
    EXPECT_STREQ(state->address, kMakerAddress);
    RECT lr, br;
    GetWindowRect(label, &lr);
    GetWindowRect(GetDlgItem(sheet, IDCANCEL), &br);
    EXPECT_EQ(lr.bottom, br.bottom);
  }));
}

}  // namespace
}  // namespace pellix

int main(int argc, char** argv) {
  if (pellix::RecordLaunch()) return 0;
  InitCommonControls();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
