#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "profiles/core/memory_registry.h"
#include "profiles/core/profile_store.h"
#include "profiles/tests/store_testing.h"
#include "tray/core/settings_backend.h"
#include "tray/core/settings_store.h"

namespace pellix {
namespace {

const std::string kRoot = "software\\Obrelle Works\\Pellix";
const std::string kProfiles = kRoot + "\\Profiles";
std::string ProfilePath(const std::string& name) { return kProfiles + "\\" + name; }

struct Entry {
  std::string code, filter, command, params;
  bool autoConvert;
  int showMode;
  bool operator==(const Entry& o) const {
    return code == o.code && filter == o.filter && command == o.command && params == o.params &&
           autoConvert == o.autoConvert && showMode == o.showMode;
  }
};
std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "{" << e.code << "," << e.filter << "," << e.command << "," << e.params << ","
            << e.autoConvert << "," << e.showMode << "}";
}
const char* Text(const char* s) { return s ? s : ""; }

// The table slot by slot; empty slots as an entry with an empty code.
std::vector<Entry> Slots(const ProfileTable& t) {
  std::vector<Entry> out;
  for (int i = 0; i < kProfileSlots; ++i) {
    const ScanTypeEntry* e = t.GetAt(i);
    if (e == nullptr) {
      out.push_back({"", "", "", "", false, 0});
    } else {
      out.push_back({Text(e->code), Text(e->filter), Text(e->command), Text(e->params),
                     e->autoConvert, e->showMode});
    }
  }
  return out;
}

void Add(ProfileTable& t, const Entry& e) {
  ASSERT_NE(t.AddOrUpdate(e.code.c_str(), e.filter.c_str(), e.command.c_str(), e.params.c_str(),
                          e.autoConvert, e.showMode),
            nullptr);
}

class ProfileStore : public ::testing::TestWithParam<RegistryFactory> {
 protected:
  void SetUp() override {
    reg_ = GetParam().make();
    WipePellixRoot(*reg_);
    FakeHookLibrary::Reset();
    std::memset(current_, 0, sizeof current_);
  }
  void TearDown() override {
    WipePellixRoot(*reg_);
    if (auto* memory = dynamic_cast<MemoryRegistry*>(reg_.get())) {
      EXPECT_EQ(memory->OpenHandleCount(), 0) << "every key opened is closed";
    }
  }
  // Entry values stored by hand.
  void PutEntry(const std::string& profile, const std::string& code, const char* filter,
                const char* command, const char* params) {
    const std::string path = ProfilePath(profile) + "\\" + code;
    reg_->CloseKey(CreateKeyForTest(*reg_, path));
    if (filter) PutString(*reg_, path, "Trans", filter);
    if (command) PutString(*reg_, path, "Command", command);
    if (params) PutString(*reg_, path, "Params", params);
  }
  std::string CurProfile() {
    uint32_t type = 0;
    std::string bytes;
    if (!GetValue(*reg_, kRoot + "\\Settings", "CurProfile", &type, &bytes)) return "<missing>";
    EXPECT_EQ(type, kRegSz);
    return bytes;  // with its terminator
  }

  std::unique_ptr<RegistryPort> reg_;
  char current_[kProfileNameSize];
};

// A table loaded from the registry (tables cannot be copied).
std::unique_ptr<ProfileTable> Load(RegistryPort& reg, const char* name, bool expect = true) {
  std::unique_ptr<ProfileTable> t(new ProfileTable);
  EXPECT_EQ(LoadProfile(*t, reg, name), expect) << name;
  return t;
}

const std::vector<Entry> kSample = {
    {"CUE", "", "http://example.test/?q=$1", "", false, 1},
    {"E13", "++++++", "", "", false, 3},
    {"IBN", "", "notepad.exe", "$1 $2 $3", true, 7},
    {"UPA", "+-+-", "", "-x", false, 0},
};

TEST_P(ProfileStore, SavedTableLoadsBackInTheSameSlots) {
  ProfileTable t;
  for (const Entry& e : kSample) Add(t, e);
  ASSERT_TRUE(SaveProfile(t, *reg_, "Work"));
  EXPECT_EQ(Slots(*Load(*reg_, "Work")), Slots(t));
  EXPECT_EQ(SubKeyNames(*reg_, ProfilePath("Work")),
            (std::vector<std::string>{"CUE", "E13", "IBN", "UPA"}));
}

TEST_P(ProfileStore, SavingOverALongerProfileLeavesNoneOfItsEntries) {
  ProfileTable big;
  for (int i = 0; i < 20; ++i) Add(big, {"C" + std::to_string(10 + i), "+", "", "", false, 1});
  ASSERT_TRUE(SaveProfile(big, *reg_, "Work"));
  // Entries the program could not have written itself go too.
  PutEntry("Work", std::string(25, 'L'), "+", nullptr, nullptr);
  reg_->CloseKey(CreateKeyForTest(*reg_, ProfilePath("Work") + "\\C10\\Nested"));
  ProfileTable small;
  Add(small, {"C15", "++", "x", "", false, 1});
  ASSERT_TRUE(SaveProfile(small, *reg_, "Work"));
  EXPECT_EQ(SubKeyNames(*reg_, ProfilePath("Work")), std::vector<std::string>{"C15"});
  EXPECT_EQ(Slots(*Load(*reg_, "Work")), Slots(small));
}

TEST_P(ProfileStore, NullFieldsWriteNoValueAndLoadAsEmpty) {
  ProfileTable t;
  ASSERT_NE(t.AddOrUpdate("EAN", "+", nullptr, nullptr, false, 1), nullptr);
  ASSERT_TRUE(SaveProfile(t, *reg_, "P"));
  const std::string path = ProfilePath("P") + "\\EAN";
  EXPECT_FALSE(GetValue(*reg_, path, "Params", nullptr, nullptr));
  EXPECT_FALSE(GetValue(*reg_, path, "Command", nullptr, nullptr));
  uint32_t type = 0;
  std::string bytes;
  ASSERT_TRUE(GetValue(*reg_, path, "Trans", &type, &bytes));
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(bytes, std::string("+\0", 2));
  ASSERT_TRUE(GetValue(*reg_, path, "AutoConv", &type, &bytes));
  EXPECT_EQ(type, kRegDword);
  auto loaded = Load(*reg_, "P");
  EXPECT_STREQ(Text(loaded->GetAt(0)->params), "");
}

TEST_P(ProfileStore, HandMadeEntriesLoadAsSpecifiedAndNeverCrash) {
  const std::string s199(199, 'a'), s200(200, 'b'), s300(300, 'c');
  PutEntry("Odd", "T199", s199.c_str(), s200.c_str(), s300.c_str());
  PutEntry("Odd", "WRONG", nullptr, nullptr, "p");
  PutDword(*reg_, ProfilePath("Odd") + "\\WRONG", "Trans", 5);
  PutString(*reg_, ProfilePath("Odd") + "\\WRONG", "Show", "3");
  PutEntry("Odd", "NOSHOW", "+", nullptr, nullptr);
  // A 200-byte text without a terminator must not be read past its end.
  PutEntry("Odd", "NOTERM", nullptr, "c", nullptr);
  PutValue(*reg_, ProfilePath("Odd") + "\\NOTERM", "Params", kRegSz, s200.data(), 200);
  auto t = Load(*reg_, "Odd");
  ASSERT_NE(t->Find("T19"), nullptr);
  EXPECT_EQ(std::string(Text(t->Find("T19")->filter)), s199);
  EXPECT_STREQ(Text(t->Find("T19")->command), "") << "200 characters do not fit";
  EXPECT_STREQ(Text(t->Find("T19")->params), "");
  const ScanTypeEntry* wrong = t->Find("WRO");
  ASSERT_NE(wrong, nullptr);
  EXPECT_STREQ(Text(wrong->filter), "") << "a number is not a text";
  EXPECT_EQ(wrong->showMode, 1) << "a text is not a show mode";
  EXPECT_EQ(t->Find("NOS")->showMode, 1);
  EXPECT_STREQ(Text(t->Find("NOT")->params), "");
}

TEST_P(ProfileStore, AutoConvReadsTrueOnlyAsTheTextTrueOrANonZeroNumber) {
  struct Case {
    const char* code;
    uint32_t type;
    std::string bytes;
    bool expected;
  } cases[] = {
      {"A1", kRegSz, std::string("true", 5), true},
      {"A2", kRegSz, std::string("True", 5), false},
      {"A3", kRegSz, std::string("1", 2), false},
      {"A4", kRegDword, std::string("\1\0\0\0", 4), true},
      {"A5", kRegDword, std::string("\7\0\0\0", 4), true},
      {"A6", kRegBinary, std::string("\1\0\0\0", 4), false},
      {"A7", kRegSz, std::string("trueish", 8), false},
  };
  for (const Case& c : cases) {
    PutEntry("Flags", c.code, "+", nullptr, nullptr);
    PutValue(*reg_, ProfilePath("Flags") + "\\" + c.code, "AutoConv", c.type, c.bytes.data(),
             static_cast<uint32_t>(c.bytes.size()));
  }
  auto t = Load(*reg_, "Flags");
  for (const Case& c : cases) {
    ASSERT_NE(t->Find(c.code), nullptr) << c.code;
    EXPECT_EQ(t->Find(c.code)->autoConvert, c.expected) << c.code;
  }
}

TEST_P(ProfileStore, EmptyEntriesAreDroppedAFlagAloneIsKept) {
  PutEntry("E", "EMPTY", "", "", "");
  PutDword(*reg_, ProfilePath("E") + "\\EMPTY", "AutoConv", 0);
  PutEntry("E", "FLAG", nullptr, nullptr, nullptr);
  PutDword(*reg_, ProfilePath("E") + "\\FLAG", "AutoConv", 1);
  auto t = Load(*reg_, "E");
  EXPECT_EQ(t->Find("EMP"), nullptr);
  ASSERT_NE(t->Find("FLA"), nullptr);
  EXPECT_TRUE(t->Find("FLA")->autoConvert);
  EXPECT_EQ(t->Count(), 1);
}

TEST_P(ProfileStore, AtMostTwentyEntriesInEnumerationOrder) {
  for (int i = 0; i < 25; ++i) PutEntry("Many", "K" + std::to_string(10 + i), "+", nullptr, nullptr);
  auto t = Load(*reg_, "Many");
  EXPECT_EQ(t->Count(), 20);
  EXPECT_STREQ(t->GetAt(0)->code, "K10");
  EXPECT_STREQ(t->GetAt(19)->code, "K29");
}

TEST_P(ProfileStore, SubkeysAgreeingInThreeCharactersLoadAsOne) {
  PutEntry("Dup", "IBNA", "+", "first", nullptr);
  PutEntry("Dup", "IBNB", "++", "second", nullptr);
  auto t = Load(*reg_, "Dup");
  ASSERT_EQ(t->Count(), 1);
  EXPECT_STREQ(t->GetAt(0)->code, "IBNA");
  EXPECT_STREQ(t->GetAt(0)->command, "second");
  // A later empty one drops it again.
  PutEntry("Dup", "IBNC", nullptr, nullptr, nullptr);
  EXPECT_EQ(Load(*reg_, "Dup")->Count(), 0);
}

TEST_P(ProfileStore, AnEntryNameTooLongToReadEndsTheListing) {
  PutEntry("Long", "AAA", "+", nullptr, nullptr);
  PutEntry("Long", "B" + std::string(19, 'x'), "+", nullptr, nullptr);
  PutEntry("Long", "CCC", "+", nullptr, nullptr);
  auto t = Load(*reg_, "Long");
  EXPECT_EQ(t->Count(), 1);
  EXPECT_NE(t->Find("AAA"), nullptr);
}

TEST_P(ProfileStore, LoadingAMissingProfileCreatesItEmpty) {
  auto t = Load(*reg_, "Fresh");
  EXPECT_EQ(t->Count(), 0);
  EXPECT_TRUE(KeyExists(*reg_, ProfilePath("Fresh")));
}

TEST_P(ProfileStore, NamesListInEnumerationOrderUpToTwoHundred) {
  for (const char* n : {"Work", "home", "Archive"}) reg_->CloseKey(CreateKeyForTest(*reg_, ProfilePath(n)));
  ProfileNameList list;
  list.Append("stale");
  ASSERT_TRUE(LoadNames(list, *reg_));
  ASSERT_EQ(list.Count(), 3);
  EXPECT_STREQ(list.GetAt(0), "Archive");
  EXPECT_STREQ(list.GetAt(1), "home");
  EXPECT_STREQ(list.GetAt(2), "Work");
  // A name of 200 characters ends the listing where it stands.
  reg_->CloseKey(CreateKeyForTest(*reg_, ProfilePath("M" + std::string(199, 'm'))));
  ASSERT_TRUE(LoadNames(list, *reg_));
  EXPECT_EQ(list.Count(), 2);
}

TEST_P(ProfileStore, NamesStopAtTwoHundred) {
  RegKey profiles = CreateKeyForTest(*reg_, kProfiles);
  for (int i = 0; i < 205; ++i) {
    RegKey k = nullptr;
    ASSERT_TRUE(reg_->CreateKey(profiles, ("P" + std::to_string(1000 + i)).c_str(), kPellixKeyAccess, &k));
    reg_->CloseKey(k);
  }
  reg_->CloseKey(profiles);
  ProfileNameList list;
  ASSERT_TRUE(LoadNames(list, *reg_));
  EXPECT_EQ(list.Count(), 200);
  EXPECT_STREQ(list.GetAt(199), "P1199");
}

TEST_P(ProfileStore, DeleteRemovesTheProfileWithItsEntries) {
  ProfileTable t;
  for (const Entry& e : kSample) Add(t, e);
  ASSERT_TRUE(SaveProfile(t, *reg_, "Work"));
  ASSERT_TRUE(SaveProfile(t, *reg_, "Home"));
  EXPECT_TRUE(DeleteProfile(*reg_, "WORK"));
  EXPECT_FALSE(KeyExists(*reg_, ProfilePath("Work")));
  EXPECT_EQ(SubKeyNames(*reg_, kProfiles), std::vector<std::string>{"Home"});
  EXPECT_TRUE(DeleteProfile(*reg_, "Nowhere")) << "nothing to remove";
  EXPECT_FALSE(KeyExists(*reg_, ProfilePath("Nowhere")));
}

// Names the registry cannot store as one readable key are refused and nothing is touched.
TEST_P(ProfileStore, UnstorableNamesAreRefusedAndNothingIsTouched) {
  ProfileTable work;
  for (const Entry& e : kSample) Add(work, e);
  ASSERT_TRUE(SaveProfile(work, *reg_, "Work"));
  ASSERT_TRUE(SaveProfile(work, *reg_, "Other"));
  const std::vector<std::string> before = SubKeyNames(*reg_, kProfiles);

  ProfileTable bad;
  Add(bad, {"OK1", "+", "", "", false, 1});
  EXPECT_FALSE(SaveProfile(bad, *reg_, "")) << "no profile is current";
  EXPECT_FALSE(DeleteProfile(*reg_, ""));
  EXPECT_FALSE(SaveProfile(bad, *reg_, "Work\\Sub"));
  EXPECT_FALSE(DeleteProfile(*reg_, "Work\\CUE"));
  EXPECT_FALSE(SaveProfile(bad, *reg_, std::string(200, 'n').c_str()));
  ProfileTable t;
  EXPECT_FALSE(LoadProfile(t, *reg_, "Work\\CUE"));
  EXPECT_FALSE(LoadProfile(t, *reg_, ""));

  for (const std::string& code : {std::string(20, 'X'), std::string("A\\B")}) {
    ProfileTable withBadCode;
    Add(withBadCode, {"OK1", "+", "", "", false, 1});
    Add(withBadCode, {code, "+", "", "", false, 1});
    EXPECT_FALSE(SaveProfile(withBadCode, *reg_, "Work")) << code;
  }
  ProfileTable caseTwins;
  Add(caseTwins, {"abc", "+", "", "", false, 1});
  Add(caseTwins, {"ABC", "++", "", "", false, 1});
  EXPECT_FALSE(SaveProfile(caseTwins, *reg_, "Work")) << "two codes, one key";

  EXPECT_EQ(SubKeyNames(*reg_, kProfiles), before);
  EXPECT_EQ(Slots(*Load(*reg_, "Work")), Slots(work));
  EXPECT_EQ(Slots(*Load(*reg_, "Other")), Slots(work));
  // Codes of 19 characters are the longest that come back.
  ProfileTable longest;
  Add(longest, {std::string(19, 'Y'), "+", "", "", false, 1});
  ASSERT_TRUE(SaveProfile(longest, *reg_, std::string(199, 'n').c_str()));
  EXPECT_EQ(Slots(*Load(*reg_, std::string(199, 'n').c_str())), Slots(longest));
}

TEST_P(ProfileStore, ANewNameDifferingOnlyInCaseNeverClearsAProfile) {
  ProfileTable work;
  for (const Entry& e : kSample) Add(work, e);
  ASSERT_TRUE(SaveProfile(work, *reg_, "Work"));
  EXPECT_EQ(CreateProfile(*reg_, "work"), CreateProfileResult::kExists);
  EXPECT_EQ(CreateProfile(*reg_, "Work"), CreateProfileResult::kExists);
  EXPECT_EQ(Slots(*Load(*reg_, "Work")), Slots(work));
  EXPECT_EQ(CreateProfile(*reg_, "Home"), CreateProfileResult::kCreated);
  EXPECT_EQ(Load(*reg_, "Home")->Count(), 0);
  EXPECT_EQ(CreateProfile(*reg_, ""), CreateProfileResult::kInvalid);
  EXPECT_EQ(CreateProfile(*reg_, "a\\b"), CreateProfileResult::kInvalid);
  EXPECT_EQ(SubKeyNames(*reg_, kProfiles), (std::vector<std::string>{"Home", "Work"}));
}

TEST_P(ProfileStore, ActivationFillsTheLibrarysTransformTable) {
  ProfileTable stored;
  for (const Entry& e : kSample) Add(stored, e);
  ASSERT_TRUE(SaveProfile(stored, *reg_, "Work"));
  HookLibraryBackEnd library(FakeHookLibrary::Exports());
  Clear(FakeHookLibrary::table);
  AddOrUpdate(FakeHookLibrary::table, "OLD", "+", 1);  // from a previous profile

  ProfileTable table;
  ActivateProfile(*reg_, library, table, current_, "Work");
  EXPECT_STREQ(current_, "Work");
  EXPECT_EQ(CurProfile(), std::string("Work\0", 5));
  EXPECT_EQ(Slots(table), Slots(stored));
  // Exactly the profile's codes, filters and flags, in slot order.
  TransformTable expected{};
  for (const Entry& e : kSample) AddOrUpdate(expected, e.code.c_str(), e.filter.c_str(), e.autoConvert);
  EXPECT_EQ(std::memcmp(&expected, &FakeHookLibrary::table, sizeof expected), 0);

  // Start-up passes the current-name buffer itself.
  ActivateProfile(*reg_, library, table, current_, current_);
  EXPECT_STREQ(current_, "Work");
  EXPECT_EQ(table.Count(), 4);

  for (const char* none : {kNoProfileName, "", static_cast<const char*>(nullptr)}) {
    ActivateProfile(*reg_, library, table, current_, "Work");
    ActivateProfile(*reg_, library, table, current_, none);
    EXPECT_STREQ(current_, "");
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(CurProfile(), std::string("\0", 1));
    EXPECT_EQ(Find(FakeHookLibrary::table, "CUE"), nullptr);
    for (int i = 0; i < kTransformSlots; ++i) EXPECT_EQ(GetAt(FakeHookLibrary::table, i)->code[0], 0);
  }
}

TEST_P(ProfileStore, AFailedActivationFallsBackToNoProfileAndKeepsCurProfile) {
  ProfileTable stored;
  for (const Entry& e : kSample) Add(stored, e);
  ASSERT_TRUE(SaveProfile(stored, *reg_, "Work"));
  HookLibraryBackEnd library(FakeHookLibrary::Exports());
  ProfileTable table;
  ActivateProfile(*reg_, library, table, current_, "Work");
  for (const std::string& bad : {std::string("Work\\CUE"), std::string(200, 'w')}) {
    ActivateProfile(*reg_, library, table, current_, bad.c_str());
    EXPECT_STREQ(current_, "");
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(CurProfile(), std::string("Work\0", 5));
    EXPECT_EQ(Find(FakeHookLibrary::table, "IBN"), nullptr);
  }
  EXPECT_EQ(SubKeyNames(*reg_, kProfiles), std::vector<std::string>{"Work"});
}

TEST_P(ProfileStore, DriverModeActivationMakesNoLibraryCall) {
  ProfileTable stored;
  for (const Entry& e : kSample) Add(stored, e);
  ASSERT_TRUE(SaveProfile(stored, *reg_, "Work"));
  FakeDriver driver;
  DriverBackEnd backEnd(driver);
  ProfileTable table;
  ActivateProfile(*reg_, backEnd, table, current_, "Work");
  EXPECT_EQ(Slots(table), Slots(stored));
  EXPECT_STREQ(current_, "Work");
  EXPECT_TRUE(driver.calls.empty());
  EXPECT_TRUE(FakeHookLibrary::calls.empty());
}

INSTANTIATE_TEST_SUITE_P(All, ProfileStore, ::testing::ValuesIn(AllRegistries()),
                         [](const ::testing::TestParamInfo<RegistryFactory>& info) {
                           return RegistryName(info.param);
                         });

}  // namespace
}  // namespace pellix
