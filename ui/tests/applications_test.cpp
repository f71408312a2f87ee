// The Applications page's rows: checks, registry form (against every registry of the build)
// and the table the hook library is handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "profiles/core/memory_registry.h"
#include "profiles/core/profile_store.h"
#include "profiles/tests/store_testing.h"
#include "ui/core/applications.h"

namespace pellix {
namespace {

const std::string kApps = "software\\Obrelle Works\\Pellix\\Applications";

// The rows as one printable line each: "program|pace|method|profile".
std::vector<std::string> Lines(const AppRows& rows) {
  std::vector<std::string> out;
  for (int i = 0; i < rows.count; ++i) {
    const AppRow& r = rows.rows[i];
    out.push_back(std::string(r.program) + "|" + std::to_string(r.paceMs) + "|" +
                  std::to_string(r.method) + "|" + r.profile);
  }
  return out;
}

const std::vector<std::string> kDefaults = {
    "|0|0|",                 "mstsc.exe|20|0|",      "msrdc.exe|20|0|",
    "wfica32.exe|20|0|",     "CDViewer.exe|20|0|",   "vmconnect.exe|20|1|",
    "VirtualBoxVM.exe|20|1|", "VirtualBox.exe|20|1|", "vmware.exe|20|1|",
    "vmplayer.exe|20|1|",    "vmrc.exe|20|1|",       "vncviewer.exe|20|1|",
    "tvnviewer.exe|20|1|"};

TEST(AppRowsModel, ChecksEachRowAsTheEditDialogGivesIt) {
  AppRows rows;
  DefaultAppRows(rows);
  ASSERT_EQ(Lines(rows), kDefaults);
  const std::string n63(59, 'a'), n64(60, 'a');
  struct Case {
    int index;
    std::string program, pace, profile;
    AppRowError error;
    std::string row;  // as stored, when taken
  } cases[] = {
      {-1, "EXCEL.EXE", "50", "Books", AppRowError::kNone, "EXCEL.EXE|50|1|Books"},
      {-1, "  notepad.exe\t", " 0 ", "", AppRowError::kNone, "notepad.exe|0|1|"},
      {-1, "app.exe", "500", "", AppRowError::kNone, "app.exe|500|1|"},
      {-1, n63 + ".exe", "1", "", AppRowError::kNone, n63 + ".exe|1|1|"},
      {-1, "Über.exe", "1", "", AppRowError::kNone, "Über.exe|1|1|"},
      {-1, "", "20", "", AppRowError::kEmptyName, ""},
      {-1, "   ", "20", "", AppRowError::kEmptyName, ""},
      {-1, "C:\\Windows\\System32\\mstsc.exe", "20", "", AppRowError::kPath, ""},
      {-1, "tools/app.exe", "20", "", AppRowError::kPath, ""},
      {-1, "c:app.exe", "20", "", AppRowError::kPath, ""},
      {-1, "a|b.exe", "20", "", AppRowError::kBadCharacter, ""},
      {-1, "what?.exe", "20", "", AppRowError::kBadCharacter, ""},
      {-1, "tab\x01.exe", "20", "", AppRowError::kBadCharacter, ""},
      {-1, n64 + ".exe", "20", "", AppRowError::kTooLong, ""},
      {-1, std::string(2000, 'x'), "20", "", AppRowError::kTooLong, ""},
      {-1, "app.exe", "501", "", AppRowError::kPace, ""},
      {-1, "app.exe", "-1", "", AppRowError::kPace, ""},
      {-1, "app.exe", "", "", AppRowError::kPace, ""},
      {-1, "app.exe", "2 0", "", AppRowError::kPace, ""},
      {-1, "app.exe", "99999999999", "", AppRowError::kPace, ""},
      {-1, "app.exe", "20ms", "", AppRowError::kPace, ""},
      {-1, "MSTSC.EXE", "20", "", AppRowError::kDuplicate, ""},
      {1, "MSTSC.EXE", "30", "Books", AppRowError::kNone, "MSTSC.EXE|30|1|Books"},
      {1, "msrdc.exe", "30", "", AppRowError::kDuplicate, ""},
      {0, "", "15", "", AppRowError::kNone, "|15|1|"},
      {0, "ignored.exe", "15", "", AppRowError::kNone, "|15|1|"},
      {0, "", "15", "Books", AppRowError::kEveryOther, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " / " + c.pace + " / row " + std::to_string(c.index));
    AppRow row = {};
    const AppRowError error =
        CheckAppRow(rows, c.index, c.program.c_str(), c.pace.c_str(), kMethodKeysOnly,
                    c.profile.c_str(), &row);
    EXPECT_EQ(error, c.error);
    EXPECT_STRNE(AppRowErrorText(error), error == AppRowError::kNone ? "x" : "");
    if (error == AppRowError::kNone) {
      AppRows one = {};
      one.rows[0] = row;
      one.count = 1;
      EXPECT_EQ(Lines(one)[0], c.row);
    }
  }
}

// The library's word on the program a scan went to is taken only when it is a file name.
TEST(AppRowsModel, TakesOnlyAFileNameAsTheProgramAScanWentTo) {
  char unterminated[kProgramNameSize];
  std::memset(unterminated, 'a', sizeof unterminated);
  const struct {
    const char* name;
    bool taken;
  } cases[] = {{"mstsc.exe", true},   {"Über.exe", true},     {"", false},
               {"\r", false},         {" mstsc.exe", false},  {"C:\\x\\mstsc.exe", false},
               {"a\x01b.exe", false}, {"a?.exe", false},      {unterminated, false},
               {nullptr, false}};
  for (const auto& c : cases) {
    std::string shown = c.name == nullptr ? "(null)" : std::string(c.name, strnlen(c.name, 64));
    EXPECT_EQ(IsProgramFileName(c.name), c.taken) << shown;
  }
}

TEST(AppRowsModel, AddsEditsRemovesWithinItsLimits) {
  AppRows rows;
  DefaultAppRows(rows);
  EXPECT_FALSE(RemoveAppRow(rows, 0));  // every other program stays
  EXPECT_FALSE(RemoveAppRow(rows, rows.count));
  ASSERT_TRUE(RemoveAppRow(rows, 1));
  EXPECT_EQ(FindAppRow(rows, "mstsc.exe"), 0);
  EXPECT_EQ(FindAppRow(rows, "MSRDC.exe"), 1);
  EXPECT_EQ(FindAppRow(rows, ""), 0);
  // Eight different profiles, letter case aside; a ninth is refused, a named one is not.
  for (int i = 0; i < 8; ++i) {
    const std::string name = "p" + std::to_string(i) + ".exe", profile = "Profile" + std::to_string(i);
    ASSERT_EQ(PutAppRow(rows, -1, name.c_str(), "1", 0, profile.c_str()), AppRowError::kNone);
  }
  EXPECT_EQ(PutAppRow(rows, -1, "x.exe", "1", 0, "Profile8"), AppRowError::kTooManyProfiles);
  EXPECT_EQ(PutAppRow(rows, 1, "msrdc.exe", "1", 0, "Profile8"), AppRowError::kTooManyProfiles);
  EXPECT_EQ(PutAppRow(rows, -1, "x.exe", "1", 0, "PROFILE3"), AppRowError::kNone);
  // Editing a row to another profile frees its old one.
  const int p0 = FindAppRow(rows, "p0.exe");
  EXPECT_EQ(PutAppRow(rows, p0, "p0.exe", "1", 0, "Profile8"), AppRowError::kNone);
  // The list holds 32 programs; a refused row leaves the rows as they were.
  while (rows.count < kAppRowLimit) {
    const std::string name = "fill" + std::to_string(rows.count) + ".exe";
    ASSERT_EQ(PutAppRow(rows, -1, name.c_str(), "0", 0, ""), AppRowError::kNone);
  }
  const std::vector<std::string> full = Lines(rows);
  EXPECT_EQ(PutAppRow(rows, -1, "more.exe", "0", 0, ""), AppRowError::kFull);
  EXPECT_EQ(PutAppRow(rows, 2, "", "0", 0, ""), AppRowError::kEmptyName);
  EXPECT_EQ(Lines(rows), full);
  ASSERT_TRUE(RemoveAppRow(rows, kAppRowLimit - 1));
  EXPECT_EQ(rows.count, kAppRowLimit - 1);
  EXPECT_EQ(std::vector<std::string>(full.begin(), full.end() - 1), Lines(rows));
}

class AppRowsStore : public ::testing::TestWithParam<RegistryFactory> {
 protected:
  void SetUp() override {
    reg_ = GetParam().make();
    WipePellixRoot(*reg_);
  }
  void TearDown() override { WipePellixRoot(*reg_); }
  std::unique_ptr<RegistryPort> reg_;
};

TEST_P(AppRowsStore, DefaultsUntilStoredThenWhatWasStoredInOrder) {
  AppRows rows;
  LoadAppRows(*reg_, rows);
  EXPECT_EQ(Lines(rows), kDefaults);
  // Changed, shortened and lengthened: each stored list comes back as it was.
  ASSERT_TRUE(RemoveAppRow(rows, 3));
  ASSERT_EQ(PutAppRow(rows, 1, "mstsc.exe", "100", kMethodKeysOnly, "Books"), AppRowError::kNone);
  ASSERT_EQ(PutAppRow(rows, -1, "EXCEL.EXE", "0", 0, ""), AppRowError::kNone);
  // Names in any script, the same bytes after a restart whatever the code page.
  ASSERT_EQ(PutAppRow(rows, 2, "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0.exe", "0", 0, ""),
            AppRowError::kNone);                                                      // Касса
  ASSERT_EQ(PutAppRow(rows, 3, "\xE6\x94\xB6\xE9\x93\xB6.exe", "0", 0, ""), AppRowError::kNone);  // 收银
  ASSERT_EQ(PutAppRow(rows, 0, "", "7", kMethodKeysOnly, ""), AppRowError::kNone);
  for (int keep : {kAppRowLimit, 13, 2, 1, 3}) {
    SCOPED_TRACE(keep);
    while (rows.count < keep) {
      const std::string name = "more" + std::to_string(rows.count) + ".exe";
      ASSERT_EQ(PutAppRow(rows, -1, name.c_str(), "5", 1, "Other"), AppRowError::kNone);
    }
    while (rows.count > keep) ASSERT_TRUE(RemoveAppRow(rows, rows.count - 1));
    ASSERT_TRUE(SaveAppRows(*reg_, rows));
    AppRows back;
    LoadAppRows(*reg_, back);
    EXPECT_EQ(Lines(back), Lines(rows));
    // No key of a longer list stays behind.
    std::vector<std::string> want;
    for (int i = 1; i < rows.count; ++i) want.push_back(std::to_string(i));
    std::vector<std::string> keys = SubKeyNames(*reg_, kApps);
    std::sort(keys.begin(), keys.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(keys, want);
  }
}

TEST_P(AppRowsStore, AHandEditedListKeepsOnlyRowsThePageWouldTake) {
  PutDword(*reg_, kApps, "Count", 7);
  PutDword(*reg_, kApps, "OtherPace", 9000);
  PutDword(*reg_, kApps, "OtherMethod", 5);
  const struct {
    const char* key;
    std::string program;
    uint32_t pace, method;
  } stored[] = {
      {"1", "C:\\tools\\mstsc.exe", 20, 0},  // a path
      {"2", "good.exe", 9000, 7},            // pace and method clamped
      {"3", "GOOD.EXE", 1, 1},               // a duplicate
      {"4", "", 1, 1},                       // no name
      {"5", "\xE6\x94\xB6\xE9\x93\xB6.exe", 2, 0},  // 收银, as an earlier build stored it
      {"6", std::string(100, 'n'), 1, 1},    // longer than a name can be
      {"7", "last.exe", 3, 1},
      {"9", "beyond.exe", 3, 1},             // past Count
  };
  for (const auto& s : stored) {
    PutString(*reg_, kApps + "\\" + s.key, "Program", s.program);
    PutDword(*reg_, kApps + "\\" + s.key, "Pace", s.pace);
    PutDword(*reg_, kApps + "\\" + s.key, "Method", s.method);
  }
  PutDword(*reg_, kApps + "\\7", "Profile", 3);  // not a text: the current profile
  AppRows rows;
  LoadAppRows(*reg_, rows);
  const std::vector<std::string> want = {"|500|0|", "good.exe|500|0|",
                                         "\xE6\x94\xB6\xE9\x93\xB6.exe|2|0|", "last.exe|3|1|"};
  EXPECT_EQ(Lines(rows), want);
  // Stored again, now as characters: the same rows.
  ASSERT_TRUE(SaveAppRows(*reg_, rows));
  LoadAppRows(*reg_, rows);
  EXPECT_EQ(Lines(rows), want);
  // An earlier build's Касса, which a two-byte code page changes: kept, and stored again as
  // it reads.
  WipePellixRoot(*reg_);
  PutDword(*reg_, kApps, "Count", 1);
  PutString(*reg_, kApps + "\\1", "Program", "\xD0\x9A\xD0\xB0\xD1\x81\xD1\x81\xD0\xB0.exe");
  LoadAppRows(*reg_, rows);
  const std::vector<std::string> read = Lines(rows);
  EXPECT_EQ(read.size(), 2u);
  ASSERT_TRUE(SaveAppRows(*reg_, rows));
  LoadAppRows(*reg_, rows);
  EXPECT_EQ(Lines(rows), read);
}

INSTANTIATE_TEST_SUITE_P(All, AppRowsStore, ::testing::ValuesIn(AllRegistries()),
                         [](const auto& info) { return RegistryName(info.param); });

TEST(AppRulesTable, NamedProfilesGetSlotsFilledAsTheCurrentProfileIsPushed) {
  MemoryRegistry reg;
  ProfileTable books;
  books.AddOrUpdate("IB5", "0123456789X", "", "", true, 1);
  books.AddOrUpdate("UPA", "", "notepad.exe", "$1", false, 1);
  ASSERT_TRUE(SaveProfile(books, reg, "Books"));
  ProfileTable tabs;
  tabs.AddOrUpdate("128", "-", "", "", false, 1);
  ASSERT_TRUE(SaveProfile(tabs, reg, "Tabs"));

  AppRows rows;
  DefaultAppRows(rows);
  ASSERT_EQ(PutAppRow(rows, 0, "", "4", kMethodKeysOnly, ""), AppRowError::kNone);
  ASSERT_EQ(PutAppRow(rows, 1, "mstsc.exe", "20", 0, "Books"), AppRowError::kNone);
  ASSERT_EQ(PutAppRow(rows, -1, "excel.exe", "0", 0, "tabs"), AppRowError::kNone);
  ASSERT_EQ(PutAppRow(rows, -1, "word.exe", "0", 0, "BOOKS"), AppRowError::kNone);
  ASSERT_EQ(PutAppRow(rows, -1, "gone.exe", "0", 0, "Deleted"), AppRowError::kNone);
  AppRules rules;
  std::memset(&rules, 0xAB, sizeof rules);
  AppProfiles profiles;
  BuildAppRules(rows, reg, &rules, &profiles);

  EXPECT_EQ(rules.everyOther.paceMs, 4u);
  EXPECT_EQ(rules.everyOther.method, kMethodKeysOnly);
  EXPECT_EQ(rules.everyOther.profile, kCurrentProfile);
  ASSERT_EQ(rules.count, rows.count - 1);
  std::vector<std::string> got;
  for (int i = 0; i < rules.count; ++i) {
    const AppRule& r = rules.rules[i];
    got.push_back(std::string(r.program) + "|" + std::to_string(r.paceMs) + "|" +
                  std::to_string(r.method) + "|" + std::to_string(r.profile));
  }
  std::vector<std::string> want = {"mstsc.exe|20|0|0"};
  for (int i = 2; i <= 12; ++i) {
    const AppRow& r = rows.rows[i];
    want.push_back(std::string(r.program) + "|20|" + std::to_string(r.method) + "|-1");
  }
  want.insert(want.end(), {"excel.exe|0|0|1", "word.exe|0|0|0", "gone.exe|0|0|-1"});
  EXPECT_EQ(got, want);
  // A profile that is not stored is not made by asking for it.
  EXPECT_FALSE(KeyExists(reg, "software\\Obrelle Works\\Pellix\\Profiles\\Deleted"));

  // Each slot holds what Pellix_AddTransform would have made of the profile, and nothing
  // of a slot beyond.
  ASSERT_EQ(profiles.count, 2);
  TransformTable want0 = {}, want1 = {}, empty = {};
  AddOrUpdate(want0, "IB5", "0123456789X", 1);
  AddOrUpdate(want0, "UPA", "", 0);
  AddOrUpdate(want1, "128", "-", 0);
  EXPECT_EQ(std::memcmp(&rules.profiles[0], &want0, sizeof want0), 0);
  EXPECT_EQ(std::memcmp(&rules.profiles[1], &want1, sizeof want1), 0);
  for (int i = 2; i < kAppProfileCount; ++i)
    EXPECT_EQ(std::memcmp(&rules.profiles[i], &empty, sizeof empty), 0) << i;

  // The launch decision's table per program.
  const struct {
    const char* program;
    const ProfileTable* table;
  } lookups[] = {{"MSTSC.EXE", &profiles.tables[0]}, {"word.exe", &profiles.tables[0]},
                 {"Excel.exe", &profiles.tables[1]}, {"gone.exe", nullptr},
                 {"vncviewer.exe", nullptr},         {"notepad.exe", nullptr},
                 {"", nullptr}};
  for (const auto& l : lookups)
    EXPECT_EQ(ProfileForProgram(rules, profiles, l.program), l.table) << l.program;
  ASSERT_NE(profiles.tables[0].FindForScan("UPA"), nullptr);
  EXPECT_STREQ(profiles.tables[0].FindForScan("UPA")->command, "notepad.exe");

  // Built again after a row is gone: slots follow the rows that are left.
  ASSERT_TRUE(RemoveAppRow(rows, 1));
  ASSERT_TRUE(RemoveAppRow(rows, FindAppRow(rows, "word.exe")));
  BuildAppRules(rows, reg, &rules, &profiles);
  ASSERT_EQ(profiles.count, 1);
  EXPECT_EQ(std::memcmp(&rules.profiles[0], &want1, sizeof want1), 0);
  EXPECT_EQ(ProfileForProgram(rules, profiles, "mstsc.exe"), nullptr);
  EXPECT_EQ(ProfileForProgram(rules, profiles, "excel.exe"), &profiles.tables[0]);
}

}  // namespace
}  // namespace pellix
