#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "profiles/core/profile_model.h"

namespace pellix {
namespace {

// The expanded file and parameters as "file|params", or the refusal as "refused N".
std::string Expand(const char* command, const char* params, const char* data,
                   const char* type = "IBN", const char* serial = "S1") {
  ScanTypeEntry e;
  e.SetCommand(command);
  e.SetParams(params);
  ExpandedCommand out;
  const LaunchRefusal r = ExpandLaunch(e, data, type, serial, &out);
  if (r != LaunchRefusal::kNone) return "refused " + std::to_string(static_cast<int>(r));
  return std::string(out.file) + "|" + (out.hasParams ? out.params : "<none>");
}

// The Windows command-line rules (CommandLineToArgvW) for what follows the program's name.
std::vector<std::string> Arguments(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) return args;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') ++slashes, ++i;
      if (i < line.size() && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2) arg += '"';
        else quoted = !quoted;
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) arg += line[i++];
      }
    }
    args.push_back(arg);
  }
}

TEST(ExpandLaunch, CodesAndRefusals) {
  struct Case {
    const char* command;
    const char* params;
    const char* data;
    const char* expected;
  } cases[] = {
      {"open $1 now", nullptr, "978", "open 978 now|<none>"},
      {"x$s$T$n", "$S$t$N|$2$3", "978", "x978IBNS1|978IBNS1|IBNS1"},
      {"a$$1$x$4 100$", "", "978", "a$978$x$4 100$|<none>"},
      // A Program is a URL or a path: its fields are percent-encoded.
      {"https://library.example/isbn/$1", nullptr, "x\" --evil-switch \"y",
       "https://library.example/isbn/x%22%20--evil-switch%20%22y|<none>"},
      {"C:\\books\\$1.pdf", nullptr, "..\\..\\calc", "C:\\books\\..%5C..%5Ccalc.pdf|<none>"},
      {"https://x.example/?q=$1", nullptr, "0262-03.38_4~4", "https://x.example/?q=0262-03.38_4~4|<none>"},
      // A Program that begins with a field: an http or https address only.
      {"$1", nullptr, "https://x.example/a b?c=\"d\"", "https://x.example/a%20b?c=%22d%22|<none>"},
      {"\"$1\"", "", "HTTP://x.example/", "\"HTTP://x.example/\"|<none>"},
      {"$1", nullptr, "C:\\Windows\\System32\\calc.exe", "refused 3"},
      {"$1", nullptr, "file://C:/x", "refused 3"},
      {"$1", nullptr, "", "refused 3"},
      {" $1", nullptr, "\\\\server\\share\\x.exe", "refused 3"},
      // Control characters are never passed on.
      {"p.exe", "$1", "a\tb", "refused 1"},
      {"p.exe", "$2", "x", "p.exe|IBN"},
      {"p.exe", "$1", "a\x7f", "refused 1"},
      // Batch files and cmd.exe: none of cmd's special characters in a field.
      {"C:\\x\\run.bat", "\"$1\"", "0262033844\" & calc.exe & \"", "refused 2"},
      {"C:\\x\\RUN.CMD", "$1", "50%", "refused 2"},
      {"cmd.exe", "/c echo $1", "a|b", "refused 2"},
      {"C:\\Windows\\system32\\cmd", "/c echo $1", "a^b", "refused 2"},
      {"cmd", "/c echo $1", "0262033844", "cmd|/c echo 0262033844"},
      {"C:\\x\\$1.bat", nullptr, "a b", "refused 2"},
      {"C:\\x\\run.bat", "$3", "a&b", "C:\\x\\run.bat|S1"},  // the field used is clean
      {"C:\\x\\notcmd.exe", "$1", "a&b", "C:\\x\\notcmd.exe|a&b"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.command, c.params, c.data), c.expected) << c.data;
  EXPECT_EQ(Expand("p.exe", "[$1|$2|$3]", "", "", ""), "p.exe|[\"\"|\"\"|\"\"]");
}

TEST(ExpandLaunch, EachFieldIsExactlyOneArgumentInQuotesOrNot) {
  const char* fields[] = {"0262033844",   "0262033844\" & calc.exe & \"", "a b",  "x\" --evil \"y",
                          "ends\\",       "ends\\\\",                     "\\\"", "\\\\\"a b\\",
                          "",             "\"",                           "tab x"};
  for (const char* data : fields) {
    for (const char* params : {"$1", "\"$1\"", "--isbn=$1 --next", "\"--isbn=$1\" --next",
                               "\\$1", "\"\\$1\"", "$1\"\"", "pre\"$1\"post z"}) {
      const std::string out = Expand("p.exe", params, data);
      ASSERT_EQ(out.substr(0, 6), "p.exe|") << data << " in " << params;
      // What the user's own template means with a harmless field, the field put back.
      std::vector<std::string> expected = Arguments(Expand("p.exe", params, "FIELD").substr(6));
      for (std::string& a : expected) {
        const size_t at = a.find("FIELD");
        if (at != std::string::npos) a.replace(at, 5, data);
      }
      EXPECT_EQ(Arguments(out.substr(6)), expected) << data << " in " << params << ": " << out;
    }
  }
}

TEST(ExpandLaunch, WhatDoesNotFitIsRefusedNotCut) {
  const std::string data(249, '7');
  EXPECT_EQ(Expand("p.exe", "$1$1", data.c_str()), "p.exe|" + data + data);
  EXPECT_EQ(Expand("p.exe", "$1$1", (data + "7").c_str()), "refused 4");
  EXPECT_EQ(Expand("p.exe", "$1$1", (data.substr(1) + " ").c_str()), "refused 4");  // quoted
  EXPECT_EQ(Expand("https://x/$1", nullptr, std::string(200, ' ').c_str()), "refused 4");
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
