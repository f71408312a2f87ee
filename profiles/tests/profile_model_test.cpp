#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "profiles/core/profile_model.h"

namespace pellix {
namespace {

std::string Expand(const char* templ, const char* data = "978", const char* type = "IBN",
                   const char* serial = "S1") {
  std::unique_ptr<char[]> out(ExpandTemplate(templ, data, type, serial));
  return out ? std::string(out.get()) : std::string("<null>");
}

TEST(ExpandTemplate, Codes) {
  struct Case {
    const char* templ;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"open $1 now", "open 978 now"},
      {"$s$T$n", "978IBNS1"},
      {"$S$t$N|$2$3", "978IBNS1|IBNS1"},
      {"$$1", "$978"},
      {"$x", "$x"},
      {"end$", "end$"},
      {"$4", "$4"},
      {"100$", "100$"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.templ), c.expected) << c.templ;
  EXPECT_EQ(Expand(nullptr), "<null>");
  EXPECT_EQ(Expand("[$1|$2|$3]", "", "", ""), "[||]");
}

TEST(ExpandTemplate, StaysWithin499Characters) {
  const std::string plain(600, 'p');
  EXPECT_EQ(Expand(plain.c_str()), plain.substr(0, 499));
  // A substitution that starts below the limit is cut at it.
  const std::string data(300, 'd');
  const std::string templ = std::string(400, 't') + "$1tail";
  EXPECT_EQ(Expand(templ.c_str(), data.c_str()), std::string(400, 't') + std::string(99, 'd'));
  const std::string many = "$1$1$1$1$1$1$1$1";
  EXPECT_EQ(Expand(many.c_str(), data.c_str()).size(), 499u);
}

TEST(ScanTypeEntry, SetterRule) {
  ScanTypeEntry e;
  e.SetFilter("abcdef");
  char* buffer = e.filter;
  e.SetFilter("xyz");
  EXPECT_EQ(e.filter, buffer) << "a shorter text reuses the buffer";
  EXPECT_STREQ(e.filter, "xyz");
  e.SetFilter("");
  EXPECT_EQ(e.filter, buffer);
  EXPECT_STREQ(e.filter, "");
  e.SetFilter("ab");  // the emptied buffer counts as length 0: replaced
  EXPECT_STREQ(e.filter, "ab");
  e.SetFilter("abcdefgh");
  EXPECT_STREQ(e.filter, "abcdefgh");
  e.SetCommand("");
  e.SetParams(nullptr);
  EXPECT_EQ(e.command, nullptr);
  EXPECT_EQ(e.params, nullptr);
  EXPECT_EQ(e.showMode, 1);
  EXPECT_FALSE(e.autoConvert);
  EXPECT_EQ(e.ExpandParams("d", "t", "s"), nullptr);
  e.SetCommand("go $1");
  std::unique_ptr<char[]> cmd(e.ExpandCommand("d", "t", "s"));
  EXPECT_STREQ(cmd.get(), "go d");
}

void Fill(ProfileTable& t, const char* code) { ASSERT_NE(t.AddOrUpdate(code, "+", "", "", false, 1), nullptr); }

TEST(ProfileTable, FindOnThreeCharacters) {
  ProfileTable t;
  Fill(t, "UPA");
  Fill(t, "UP");
  Fill(t, "EANX");
  struct Case {
    const char* key;
    const char* found;  // null: nothing
  } cases[] = {{"UPAX", "UPA"}, {"UPA", "UPA"}, {"UP", "UP"}, {"U", nullptr},
               {"upa", nullptr}, {"EAN", "EANX"}, {"EANY", "EANX"}, {"", nullptr}};
  for (const Case& c : cases) {
    const ScanTypeEntry* e = t.Find(c.key);
    if (c.found == nullptr) {
      EXPECT_EQ(e, nullptr) << c.key;
    } else {
      ASSERT_NE(e, nullptr) << c.key;
      EXPECT_STREQ(e->code, c.found) << c.key;
    }
  }
  EXPECT_EQ(t.Find(nullptr), nullptr);
  ProfileTable u;
  Fill(u, "UPAB");
  ASSERT_NE(u.Find("UPA"), nullptr);
}

TEST(ProfileTable, FindForScanServesCcByCue) {
  ProfileTable t;
  Fill(t, "CC1");
  EXPECT_EQ(t.FindForScan("CC1"), nullptr) << "no CUE entry";
  Fill(t, "CUE");
  EXPECT_STREQ(t.FindForScan("CC1")->code, "CUE");
  EXPECT_STREQ(t.FindForScan("cc1") ? t.FindForScan("cc1")->code : "none", "none");
  Fill(t, "cc1");
  EXPECT_STREQ(t.FindForScan("cc1")->code, "cc1");
}

TEST(ProfileTable, SlotsAndCapacity) {
  ProfileTable t;
  Fill(t, "A00");
  Fill(t, "A01");
  Fill(t, "A02");
  ASSERT_TRUE(t.Remove("A01"));
  Fill(t, "NEW");
  EXPECT_STREQ(t.GetAt(1)->code, "NEW") << "lowest empty slot";
  for (int i = 3; i < 20; ++i) Fill(t, ("B" + std::to_string(i + 10)).c_str());
  EXPECT_EQ(t.Count(), 20);
  EXPECT_EQ(t.AddOrUpdate("ZZZ", "+", "", "", false, 1), nullptr);
  EXPECT_EQ(t.Count(), 20);
  ScanTypeEntry* e = t.AddOrUpdate("A02", "++", "cmd", "p", true, 3);
  ASSERT_EQ(e, t.GetAt(2));
  EXPECT_STREQ(e->filter, "++");
  EXPECT_TRUE(e->autoConvert);
  EXPECT_EQ(e->showMode, 3);
}

TEST(ProfileTable, UpdateKeepsLongerCode) {
  ProfileTable t;
  t.AddOrUpdate("IBNX", "+", nullptr, nullptr, false, 1);
  ScanTypeEntry* e = t.AddOrUpdate("IBN", "", "c", nullptr, true, 7);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->code, "IBNX");
  EXPECT_STREQ(e->filter, "");
  EXPECT_EQ(t.Count(), 1);
}

TEST(ProfileTable, RefusesEntriesWithoutCode) {
  ProfileTable t;
  EXPECT_EQ(t.AddOrUpdate("", "+", "", "", false, 1), nullptr);
  EXPECT_EQ(t.AddOrUpdate(nullptr, "+", "", "", false, 1), nullptr);
  EXPECT_EQ(t.Count(), 0);
}

TEST(ProfileTable, RemoveVariants) {
  ProfileTable t;
  Fill(t, "AAA");
  Fill(t, "BBB");
  ScanTypeEntry* b = t.GetAt(1);
  EXPECT_TRUE(t.RemoveAt(19)) << "an empty slot in range";
  EXPECT_FALSE(t.RemoveAt(20));
  EXPECT_FALSE(t.RemoveAt(-1));
  EXPECT_EQ(t.GetAt(20), nullptr);
  EXPECT_EQ(t.GetAt(-1), nullptr);
  ScanTypeEntry stranger;
  stranger.SetCode("BBB");
  EXPECT_FALSE(t.RemoveEntry(&stranger)) << "by identity, not by code";
  EXPECT_TRUE(t.RemoveEntry(b));
  EXPECT_EQ(t.GetAt(1), nullptr);
  EXPECT_FALSE(t.Remove("BBB"));
  EXPECT_TRUE(t.Remove("AAAB"));
  t.Clear();
  EXPECT_EQ(t.Count(), 0);
}

TEST(ProfileNameList, BoundsAndCapacity) {
  ProfileNameList list;
  EXPECT_EQ(list.GetAt(0), nullptr);
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(list.Append(("P" + std::to_string(i)).c_str()));
  EXPECT_FALSE(list.Append("one too many"));
  EXPECT_EQ(list.Count(), 200);
  EXPECT_STREQ(list.GetAt(199), "P199");
  EXPECT_EQ(list.GetAt(200), nullptr);
  EXPECT_EQ(list.GetAt(-1), nullptr);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.GetAt(0), nullptr);
}

}  // namespace
}  // namespace pellix
