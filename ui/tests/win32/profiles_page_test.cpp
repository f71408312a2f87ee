// The Profiles page over the real registry, driven through its controls.
#include <windows.h>
#include <prsht.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profiles/core/profile_store.h"
#include "profiles/win32/profiles_page.h"
#include "profiles/win32/win32_registry.h"
#include "tray/core/settings_backend.h"
#include "tray/core/settings_store.h"
#include "ui/tests/win32/sheet_driver.h"

namespace pellix {
namespace {

using namespace testing_ui;

// The hook library as the page sees it: it only learns the transforms.
class RecordingBackEnd : public SettingsBackEnd {
 public:
  std::vector<std::string> transforms;
  void ReadBack(TraySettings&) override {}
  void Push(const TraySettings&) override {}
  bool HoldsTransforms() const override { return true; }
  void ClearTransforms() override { transforms.clear(); }
  void AddTransform(const char* code, const char* filter, int autoConvert) override {
    transforms.push_back(std::string(code) + "|" + (filter ? filter : "(null)") + "|" +
                         std::to_string(autoConvert));
  }
};

class Host : public SettingsSheetHost {
 public:
  PageSettings settings{'\n', '.', 0, 1, 0, 1250};
  PageSettings CurrentSettings() override { return settings; }
  void UpdateSettings(const PageSettings& s, bool) override { settings = s; }
  bool DriverMode() override { return false; }
  DLGPROC ProfilesPageProc() override { return &pellix::ProfilesPageProc; }
};

class ProfilesPage : public ::testing::Test {
 protected:
  void SetUp() override {
    SHDeleteKeyA(HKEY_CURRENT_USER, "software\\Obrelle Works\\Pellix");
    current_[0] = '\0';
    SetProfilesPageContext({&registry_, &backEnd_, &table_, &names_, current_});
  }
  void TearDown() override { SHDeleteKeyA(HKEY_CURRENT_USER, "software\\Obrelle Works\\Pellix"); }

  // Shows the Profiles page and hands it to the script.
  template <typename Script>
  void OnPage(Script script) {
    EXPECT_TRUE(WithSheet(host_, [&](HWND sheet, HWND) {
      SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
      HWND page = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
      ASSERT_NE(page, nullptr);
      script(page);
    }));
  }

  bool KeyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ("software\\Obrelle Works\\Pellix\\" + path).c_str(), 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  std::string StoredCurrent() {
    char name[256] = {};
    ReadStringValue(registry_, kSettingsKey, "CurProfile", name, sizeof name);
    return name;
  }
  void AddProfile(HWND page, const char* name) {
    PostClick(page, kAddProfileButton);
    HWND dialog = WaitForDialog("New Profile");
    ASSERT_NE(dialog, nullptr);
    Type(dialog, kNewProfileEdit, name);
    Dismiss(dialog, IDOK);
  }
  std::vector<std::string> ScanTypes(HWND page) {
    std::vector<std::string> out;
    HWND list = GetDlgItem(page, kScanTypeList);
    const LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      char text[64] = {};
      SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      out.push_back(text);
    }
    return out;
  }

  Win32Registry registry_;
  RecordingBackEnd backEnd_;
  ProfileTable table_;
  ProfileNameList names_;
  char current_[kProfileNameSize];
  Host host_;
};

TEST_F(ProfilesPage, AddingProfilesAndTheNamesItRefuses) {
  OnPage([&](HWND page) {
    EXPECT_EQ(Text(page, kProfileCombo), "<No Profile>");
    AddProfile(page, "   Work");
    EXPECT_EQ(Text(page, kProfileCombo), "Work");
    EXPECT_STREQ(current_, "Work");
    EXPECT_EQ(StoredCurrent(), "Work");
    EXPECT_TRUE(KeyExists("Profiles\\Work"));

    const struct { const char* name; const char* caption; const char* text; } refused[] = {
        {"<x>", "Profile Invalid", "The name you specified is not valid."},
        {"    ", "Profile Invalid", "The name you specified is not valid."},
        {"Work", "Profile Exists", "The name you specified already exists."},
        {"WORK", "Profile Exists", "The name you specified already exists."},
    };
    for (const auto& r : refused) {
      AddProfile(page, r.name);
      EXPECT_EQ(AnswerMessageBox(r.caption), r.text) << r.name;
    }
    EXPECT_EQ(SendDlgItemMessageA(page, kProfileCombo, CB_GETCOUNT, 0, 0), 2);
  });
}

TEST_F(ProfilesPage, ScanTypesAreStoredAndPushedAtOnce) {
  CreateProfile(registry_, "Books");
  ActivateProfile(registry_, backEnd_, table_, current_, "Books");
  OnPage([&](HWND page) {
    EXPECT_EQ(Text(page, kProfileCombo), "Books");
    HWND box = GetDlgItem(page, kAutoIsbnBox);
    Type(page, kTypeEdit, "ibn");
    EXPECT_FALSE(IsWindowVisible(box));
    Type(page, kTypeEdit, "IBNX");
    EXPECT_TRUE(IsWindowVisible(box));
    Type(page, kTypeEdit, "IBN");
    Click(page, kAutoIsbnBox);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kFilterEdit)));
    Type(page, kTypeEdit, "ib5");  // hides the box but keeps it checked
    EXPECT_FALSE(IsWindowVisible(box));
    Click(page, kSaveScanButton);
    EXPECT_EQ(ScanTypes(page), std::vector<std::string>{"IB5"});
    EXPECT_TRUE(KeyExists("Profiles\\Books\\IB5"));
    EXPECT_EQ(backEnd_.transforms, std::vector<std::string>{"IB5|(null)|1"});
    EXPECT_EQ(Text(page, kTypeEdit), "");  // reloaded with empty fields

    Type(page, kTypeEdit, "upa");
    Type(page, kParamsEdit, "$1");  // parameters alone are enough
    Click(page, kSaveScanButton);
    EXPECT_EQ(ScanTypes(page), (std::vector<std::string>{"IB5", "UPA"}));

    SendDlgItemMessageA(page, kScanTypeList, LB_SETCURSEL, 1, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(kScanTypeList, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page, kScanTypeList)));
    EXPECT_EQ(Text(page, kTypeEdit), "UPA");
    EXPECT_EQ(Text(page, kParamsEdit), "$1");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kTypeEdit)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, kDeleteScanButton)));
    EXPECT_EQ(Text(page, kWindowCombo), "Normal");

    Click(page, kDeleteScanButton);
    EXPECT_EQ(ScanTypes(page), std::vector<std::string>{"IB5"});
    EXPECT_FALSE(KeyExists("Profiles\\Books\\UPA"));

    Click(page, kAddScanButton);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, kTypeEdit)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, kDeleteScanButton)));
  });
}

TEST_F(ProfilesPage, BrowseOpensTheFileDialogUnderItsOwnTitle) {
  CreateProfile(registry_, "Books");
  ActivateProfile(registry_, backEnd_, table_, current_, "Books");
  OnPage([&](HWND page) {
    PostClick(page, kBrowseButton);
    HWND dialog = WaitForDialog("Select Exedcutable File", 15000);
    ASSERT_NE(dialog, nullptr) << "no file dialog titled \"Select Exedcutable File\"";
    Dismiss(dialog, IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Text(page, kCommandEdit), "") << "a cancelled choice changes nothing";
  });
}

TEST_F(ProfilesPage, ScanTypeMistakesAreExplained) {
  CreateProfile(registry_, "Books");
  ActivateProfile(registry_, backEnd_, table_, current_, "Books");
  OnPage([&](HWND page) {
    PostClick(page, kSaveScanButton);
    EXPECT_EQ(AnswerMessageBox("Error"), "You must specify a scan type.");
    Type(page, kTypeEdit, "UPA");
    PostClick(page, kSaveScanButton);
    EXPECT_EQ(AnswerMessageBox("Error"), "You must specify a Filter, or Command.");
    Type(page, kTypeEdit, "");
    PostClick(page, kDeleteScanButton);
    EXPECT_EQ(AnswerMessageBox("Error"), "You must select a scan type.");
    Type(page, kTypeEdit, "ZZZ");
    PostClick(page, kDeleteScanButton);
    EXPECT_EQ(AnswerMessageBox("Error"), "Unable to save Profile.");
  });
}

TEST_F(ProfilesPage, WithoutAProfileNothingStoredChanges) {
  CreateProfile(registry_, "Books");
  OnPage([&](HWND page) {
    Type(page, kTypeEdit, "UPA");
    Type(page, kFilterEdit, "+++");
    PostClick(page, kSaveScanButton);
    EXPECT_NE(AnswerMessageBox("Error").find("profile"), std::string::npos);
    PostClick(page, kDeleteProfileButton);
    EXPECT_EQ(AnswerMessageBox("Delete Error"), "Cannot delete the <No Profile> entry.");
  });
  EXPECT_FALSE(KeyExists("Profiles\\Books\\UPA"));
  EXPECT_FALSE(KeyExists("Profiles\\UPA"));
  EXPECT_TRUE(backEnd_.transforms.empty());
}

TEST_F(ProfilesPage, DeletingAProfileAfterConfirmation) {
  CreateProfile(registry_, "Books");
  ActivateProfile(registry_, backEnd_, table_, current_, "Books");
  OnPage([&](HWND page) {
    PostClick(page, kDeleteProfileButton);
    EXPECT_EQ(AnswerMessageBox("Delete Profile", IDNO),
              "Are you sure you want to delete this profile?");
    EXPECT_TRUE(KeyExists("Profiles\\Books"));
    PostClick(page, kDeleteProfileButton);
    AnswerMessageBox("Delete Profile", IDYES);
    EXPECT_FALSE(KeyExists("Profiles\\Books"));
    EXPECT_EQ(Text(page, kProfileCombo), "<No Profile>");
    EXPECT_EQ(StoredCurrent(), "");
    EXPECT_EQ(SendDlgItemMessageA(page, kScanTypeList, LB_GETCOUNT, 0, 0), 0);
  });
}

TEST_F(ProfilesPage, TrayMenuChoiceShowsAtOnce) {
  CreateProfile(registry_, "Books");
  CreateProfile(registry_, "Music");
  OnPage([&](HWND page) {
    // What the tray menu does from the main thread: activate, then show.
    ActivateProfile(registry_, backEnd_, table_, current_, "Music");
    ShowCurrentProfile();
    EXPECT_EQ(Text(page, kProfileCombo), "Music");
  });
  ShowCurrentProfile();  // no page any more: nothing happens
}

}  // namespace
}  // namespace pellix
