// The tray menu's profile items and the decoding of the window's commands.
#include <gtest/gtest.h>

#include <string>

#include "tray/core/start_with_windows.h"
#include "tray/core/tray_menu.h"

namespace pellix {
namespace {

struct Menu {
  ProfileMenuItem items[kProfileMenuItems];
  int count;
};

Menu Build(const ProfileNameList& names, const char* current) {
  Menu m;
  m.count = ProfileMenuItems(names, current, m.items);
  return m;
}

TEST(TrayMenu, NoStoredProfileLeavesOnlyNoProfileCheckedWhenNoneIsCurrent) {
  ProfileNameList names;
  Menu m = Build(names, "");
  ASSERT_EQ(m.count, 1);
  EXPECT_EQ(m.items[0].id, kCmdNoProfile);
  EXPECT_STREQ(m.items[0].text, "<No Profile>");
  EXPECT_TRUE(m.items[0].checked);
}

TEST(TrayMenu, TheCurrentNameIsCheckedExactly) {
  ProfileNameList names;
  names.Append("Books");
  names.Append("books");
  for (const char* current : {"Books", "books", "BOOKS"}) {
    SCOPED_TRACE(current);
    Menu m = Build(names, current);
    ASSERT_EQ(m.count, 3);
    EXPECT_EQ(m.items[0].checked, std::string(current) == "Books");
    EXPECT_EQ(m.items[1].checked, std::string(current) == "books");
    EXPECT_FALSE(m.items[2].checked);
  }
}

TEST(TrayMenu, TwoHundredProfilesGetIds5001To5200) {
  ProfileNameList names;
  for (int i = 0; i < kProfileNameSlots; ++i) names.Append(("P" + std::to_string(i)).c_str());
  Menu m = Build(names, "P7");
  ASSERT_EQ(m.count, 201);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(m.items[i].id, 5001u + i);
    EXPECT_EQ(m.items[i].checked, i == 7);
  }
  EXPECT_EQ(m.items[200].id, kCmdNoProfile);
}

TEST(TrayCommands, IdsDecode) {
  struct Case {
    uint32_t id;
    TrayCommand::Kind kind;
    int index;
  } cases[] = {{104, TrayCommand::kOpenSheet, 0},      {1019, TrayCommand::kExit, 0},
               {103, TrayCommand::kPressSheetOk, 0},   {5000, TrayCommand::kActivateNoProfile, 0},
               {5001, TrayCommand::kActivateProfile, 0}, {5003, TrayCommand::kActivateProfile, 2},
               {5004, TrayCommand::kShowProfileOnly, 0}, {5200, TrayCommand::kShowProfileOnly, 0},
               {1020, TrayCommand::kToggleStartWithWindows, 0},
               {4999, TrayCommand::kNone, 0},          {2, TrayCommand::kNone, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const TrayCommand t = DecodeTrayCommand(c.id, 3);
    EXPECT_EQ(t.kind, c.kind);
    EXPECT_EQ(t.index, c.index);
  }
}

std::string RunValue(const char* path, const char* options) {
  char out[kRunCommandSize];
  return RunCommand(path, options, out) ? out : "<too long>";
}

TEST(StartWithWindows, TheCommandQuotesThePathAndKeepsTheOptions) {
  EXPECT_EQ(RunValue("C:\\Program Files\\Pellix\\pellix.exe", ""),
            "\"C:\\Program Files\\Pellix\\pellix.exe\"");
  EXPECT_EQ(RunValue("C:\\P\\pellix.exe", "  -98 -novxd "), "\"C:\\P\\pellix.exe\" -98 -novxd");
  EXPECT_EQ(RunValue(std::string(kRunCommandSize, 'p').c_str(), ""), "<too long>");
  // The options as the program got them, after its own name, however that was written.
  EXPECT_STREQ(CommandLineOptions("\"C:\\Program Files\\P\\pellix.exe\" -98"), " -98");
  EXPECT_STREQ(CommandLineOptions("\"C:\\P\\pellix.exe\"-98"), "-98");
  EXPECT_STREQ(CommandLineOptions("pellix.exe  -novxd"), "  -novxd");
  EXPECT_STREQ(CommandLineOptions("pellix"), "");
  // Wide, as NT stores it: a folder named in any script.
  wchar_t wide[kRunCommandSize];
  ASSERT_TRUE(RunCommand(L"C:\\\u041f\u0435\u043b\\pellix.exe", CommandLineOptions(L"x -98"), wide));
  EXPECT_EQ(std::wstring(wide), L"\"C:\\\u041f\u0435\u043b\\pellix.exe\" -98");
  EXPECT_TRUE(RunCommandStartsProgram(wide, L"c:\\\u041f\u0435\u043b\\PELLIX.exe"));
}

TEST(StartWithWindows, OnlyAValueThatStartsThisCopyCountsAndOnlyTheSameCommandIsRemoved) {
  const char* self = "C:\\Program Files\\Pellix\\pellix.exe";
  struct Case {
    const char* stored;
    bool here;
    bool same;  // as this copy would write it, run with -98
  } cases[] = {
      {"\"C:\\Program Files\\Pellix\\pellix.exe\" -98", true, true},
      {"\"c:\\program files\\pellix\\PELLIX.EXE\" -98 ", true, true},  // paths ignore letter case
      {"\"C:\\Program Files\\Pellix\\pellix.exe\"", true, false},      // other options: updated
      {"\"C:\\Program Files\\Pellix\\pellix.exe\" -98 -novxd", true, false},
      {"C:\\Program Files\\Pellix\\pellix.exe -98", true, true},   // unquoted, by hand
      {"\"D:\\Old\\pellix.exe\" -98", false, false},               // another copy
      {"\"C:\\Program Files\\Pellix\\pellix.exe.bak\"", false, false},
      {"\"C:\\Program Files\\Pellix\\pellix.exe", false, false},    // no closing quote
      {"", false, false},
  };
  const std::string wanted = RunValue(self, "-98");
  for (const Case& c : cases) {
    EXPECT_EQ(RunCommandStartsProgram(c.stored, self), c.here) << c.stored;
    EXPECT_EQ(SameRunCommand(c.stored, wanted.c_str()), c.same) << c.stored;
  }
}

}  // namespace
}  // namespace pellix
