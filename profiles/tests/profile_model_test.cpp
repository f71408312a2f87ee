#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "profiles/core/profile_model.h"
#include "profiles/tests/fake_program_lookup.h"

namespace pellix {
namespace {

// A small machine: a program, a batch file reached by several names, launchers on the PATH,
// App Paths and shortcuts.
FakeProgramLookup Machine() {
  FakeProgramLookup m;
  m.Add({"C:\\p\\rec.exe", "C:\\s\\lookup.bat", "C:\\s\\report.cmd", "C:\\Windows\\system32\\cmd.exe",
         "C:\\Windows\\system32\\wscript.exe", "C:\\Windows\\system32\\notepad.exe",
         "C:\\node\\npm.cmd", "C:\\node\\node.exe", "C:\\vs\\bin\\code.cmd", "C:\\s\\both.exe",
         "C:\\s\\both.bat", "C:\\py\\tool.py", "C:\\Program Files\\App\\app.exe",
         "C:\\s\\plain", "C:\\books\\0262033844.pdf"});
  m.AddShortcut("C:\\l\\lookup.lnk", "C:\\s\\lookup.bat");
  m.AddShortcut("C:\\l\\rec.lnk", "C:\\p\\rec.exe");
  m.AddShortcut("C:\\l\\site.lnk", "https://example.com/");
  m.Add({"C:\\l\\broken.lnk"});
  m.AddAppPath("code.exe", "\"C:\\vs\\bin\\code.cmd\"");
  m.AddAppPath("app.exe", "C:\\Program Files\\App\\app.exe");
  m.Set("PATH", "C:\\node;\"C:\\s\";;C:\\py\\");
  m.Set("PATHEXT", ".COM;.EXE;.BAT;.CMD;.PY");
  return m;
}

TEST(KindOfProgram, WhatTheShellWouldRun) {
  FakeProgramLookup m = Machine();
  const ProgramKind P = ProgramKind::kProgram, L = ProgramKind::kLauncher,
                    U = ProgramKind::kUnknown, A = ProgramKind::kAddress;
  struct Case {
    const char* program;
    ProgramKind kind;
  } cases[] = {
      {"C:\\p\\rec.exe", P}, {"\"C:\\Program Files\\App\\app.exe\"", P}, {"app", P}, {"app.exe", P},
      {"notepad", P}, {"C:\\s\\plain", P}, {"C:\\l\\rec.lnk", P}, {"C:\\books\\0262033844.pdf", P},
      // A batch file by other spellings: trailing dots and blanks, no extension on the PATH
      // or in a folder, upper case, a shortcut, App Paths.
      {"C:\\s\\lookup.bat", L}, {"C:\\s\\lookup.bat.", L}, {"C:\\s\\LOOKUP.BAT . .", L},
      {"C:\\s\\lookup", L}, {"lookup", L}, {"lookup.", L}, {"npm", L}, {"code", L},
      {"C:/s/report", L}, {"C:\\l\\lookup.lnk", L}, {"report.cmd", L},
      // One launcher among the files the shell may pick is enough; so is a script by PATHEXT.
      {"C:\\s\\both", L}, {"tool", L},
      // Interpreters and launchers, found or by name alone.
      {"cmd", L}, {"C:\\Windows\\system32\\cmd.exe", L}, {"wscript", L}, {"node", L},
      {"rundll32", L}, {"powershell.exe", L}, {"C:\\l\\site.lnk", L}, {"C:\\l\\broken.lnk", L},
      {"missing", U}, {"C:\\p\\missing.exe", U}, {"", U},
      {"https://x.example/?q=1", A}, {"mailto:a@b.example", A}, {"  pellixlib:x", A},
  };
  for (const Case& c : cases) EXPECT_EQ(KindOfProgram(Wide(c.program), m), c.kind) << c.program;
}

// The expanded file and parameters as "file|params", or the refusal as "refused N".
std::string Expand(const char* command, const char* params, const char* data,
                   const char* type = "IBN", const char* serial = "1234") {
  FakeProgramLookup m = Machine();
  ScanTypeEntry e;
  e.SetCommand(command);
  e.SetParams(params);
  ExpandedCommand out;
  const LaunchRefusal r = ExpandLaunch(e, data, type, serial, m, &out);
  if (r != LaunchRefusal::kNone) return "refused " + std::to_string(static_cast<int>(r));
  return Narrow(out.file) + "|" + (out.hasParams ? Narrow(out.params) : "<none>");
}

TEST(ExpandLaunch, CodesAndRefusals) {
  struct Case {
    const char* command;
    const char* params;
    const char* data;
    const char* expected;
  } cases[] = {
      {"C:\\p\\rec.exe", "open $1 now", "978", "C:\\p\\rec.exe|open 978 now"},
      {"C:\\p\\rec.exe", "$S$t$N|$2$3", "978", "C:\\p\\rec.exe|978IBN1234|IBN1234"},
      {"C:\\p\\rec.exe", "a$$1$x$4 100$", "978", "C:\\p\\rec.exe|a$978$x$4 100$"},
      {"C:\\p\\rec.exe", nullptr, "978", "C:\\p\\rec.exe|<none>"},
      // An address: its fields percent-encoded from UTF-8.
      {"https://library.example/isbn/$1", nullptr, "x\" --evil-switch \"y",
       "https://library.example/isbn/x%22%20--evil-switch%20%22y|<none>"},
      {"https://x.example/?q=$1&t=$2", "", "caf\xe9 0262-03.38_4~4",
       "https://x.example/?q=caf%C3%A9%200262-03.38_4~4&t=IBN|<none>"},
      {"pellixlib://lookup/$1", nullptr, "..\\..\\calc", "pellixlib://lookup/..%5C..%5Ccalc|<none>"},
      // A Program that begins with a field: an http or https address only.
      {"$1", nullptr, "https://x.example/a b?c=\"d\"\xe9", "https://x.example/a%20b?c=%22d%22%C3%A9|<none>"},
      {"\"$1\"", "", "HTTP://x.example/", "\"HTTP://x.example/\"|<none>"},
      {"$1", nullptr, "C:\\Windows\\System32\\calc.exe", "refused 6"},
      {"$1", nullptr, "file://C:/x", "refused 6"},
      {" $1", nullptr, "\\\\server\\share\\x.exe", "refused 6"},
      // A path with a field: a document named by its code, digits only.
      {"C:\\books\\$1.pdf", nullptr, "0262033844", "C:\\books\\0262033844.pdf|<none>"},
      {"C:\\books\\$1.pdf", nullptr, "..\\..\\calc", "refused 6"},
      {"C:\\books\\$1\\x.pdf", nullptr, "..", "refused 6"},
      {"C:\\p\\$1.exe", nullptr, "rec", "refused 6"},
      // The Parameters: the allow-list, no option, nothing empty.
      {"C:\\p\\rec.exe", "$1", "LIB-7.A_1", "C:\\p\\rec.exe|LIB-7.A_1"},
      {"C:\\p\\rec.exe", "$1", "a\tb", "refused 1"},
      {"C:\\p\\rec.exe", "$1", "-oC:\\x.bat", "refused 2"},
      {"C:\\p\\rec.exe", "x $1", "/s", "refused 2"},
      {"C:\\p\\rec.exe", "x$1", "-1", "refused 2"},
      {"C:\\p\\rec.exe", "[$1|$2]", "7", "C:\\p\\rec.exe|[7|IBN]"},
      {"C:\\p\\rec.exe", "[$1|$2]", "", "refused 3"},
      // A blank only inside the user's own quotes, and only where every parser agrees on them.
      {"C:\\p\\rec.exe", "\"$1\" z", "a b", "C:\\p\\rec.exe|\"a b\" z"},
      {"C:\\p\\rec.exe", "--title=\"Book: $1\" --save", "a b", "C:\\p\\rec.exe|--title=\"Book: a b\" --save"},
      {"C:\\p\\rec.exe", "--title=\"Book: \"$1 --save", "x --delete-all y", "refused 1"},
      {"C:\\p\\rec.exe", "\"$1", "a b", "refused 1"},
      {"C:\\p\\rec.exe", "\"a\"\"$1\"", "a b", "refused 1"},
      {"C:\\p\\rec.exe", "\\\"\"$1\"", "a b", "refused 1"},
      {"C:\\p\\rec.exe", "^\"$1\"", "a b", "refused 1"},
      // A launcher, or a Program that cannot be found: digits only.
      {"C:\\s\\lookup.bat.", "$1", "1&record", "refused 1"},
      {"C:\\s\\lookup.bat.", "$1", "LIB7", "refused 4"},
      {"C:\\s\\lookup.bat.", "$1 $3", "026203384X", "C:\\s\\lookup.bat.|026203384X 1234"},
      {"C:\\s\\lookup.bat.", "$1", "02620338X4", "refused 4"},
      {"npm", "view $1", "left-pad", "refused 4"},
      {"cmd", "/c C:\\s\\lookup.bat $1", "9780262033848", "cmd|/c C:\\s\\lookup.bat 9780262033848"},
      {"rundll32", "url.dll,FileProtocolHandler $1", "calc", "refused 4"},
      {"missing", "$1", "abc", "refused 5"},
      {"missing", "$1", "012345678905", "missing|012345678905"},
      {"https://x.example/", "$2", "abc", "https://x.example/|IBN"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Expand(c.command, c.params, c.data), c.expected) << c.command << " " << c.data;
}

// Hostile labels against each kind of Program: a label is refused, or it stands in the
// command exactly where its code stood, untouched (the Windows parsers' view of the result is
// checked under Wine by the launch table session).
TEST(ExpandLaunch, HostileLabelsNeverChooseWhatRunsNorAddAnArgument) {
  const std::vector<std::string> hostile = {
      "x --delete-all y", "1&record", "a';calc;'", "-oC:\\x.bat", "a,b;c=d", "ends\\",
      "\x95\x5c\x22 --evil \x95\x5c\x22",  // a double-byte text's bytes
      "a&b", "a|b", "a<b", "a>b", "a^b", "a%PATH%b", "a!b", "a(b", "a)b", "a,b", "a;b", "a=b",
      "a\"b", "a\\b", "a b", "-x", "/x", "caf\xe9", "http://x.example/"};
  const std::vector<std::string> words = {"LIB-7.A_1", "x.y"};
  const std::vector<std::string> codes = {"026203384X", "0262033844", "012345678905",
                                          "9780262033848", "4006381333931", "01234565"};
  struct Kind {
    const char* command;
    const char* params;
    bool words;   // a word of letters passes
    bool blanks;  // a blank inside the user's quotes passes
  } kinds[] = {
      {"C:\\p\\rec.exe", "a $1 z", true, false},
      {"C:\\p\\rec.exe", "--title=\"Book: $1\" --save", true, true},
      {"C:\\p\\rec.exe", "--title=\"Book: \"$1 --save", true, false},
      {"C:\\s\\lookup.bat", "$1 C:\\out", false, false},
      {"C:\\s\\lookup.bat.", "\"$1\"", false, false},
      {"lookup", "$1", false, false},
      {"C:\\l\\lookup.lnk", "$1", false, false},
      {"cmd", "/c C:\\s\\lookup.bat $1", false, false},
      {"wscript", "C:\\s\\rec.vbs $1", false, false},
  };
  for (const Kind& k : kinds) {
    auto check = [&](const std::string& label, bool passes) {
      std::string want = "refused";
      if (passes) {
        std::string params = k.params;
        params.replace(params.find("$1"), 2, label);
        want = std::string(k.command) + "|" + params;
      }
      std::string got = Expand(k.command, k.params, label.c_str());
      if (got.rfind("refused", 0) == 0) got = "refused";
      EXPECT_EQ(got, want) << label << " for " << k.command << " " << k.params;
    };
    // Words and blanks pass inside the user's quotes.
    for (const std::string& label : hostile)
      check(label, k.blanks && label.find_first_not_of("abcdefghijklmnopqrstuvwxyz -") == std::string::npos &&
                       label[0] != '-');
    for (const std::string& label : words) check(label, k.words);
    for (const std::string& label : codes) check(label, true);
  }
  // A web address takes every label, percent-encoded: nothing of it is read as syntax.
  for (const std::string& label : hostile) {
    const std::string got = Expand("pellixlib://lookup/$1", nullptr, label.c_str());
    ASSERT_EQ(got.substr(0, 19), "pellixlib://lookup/") << label;
    EXPECT_EQ(got.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~%", 19),
              got.size() - 7)  // only "|<none>" follows
        << label << ": " << got;
  }
}

TEST(ExpandLaunch, WhatDoesNotFitIsRefusedNotCut) {
  const std::string data(249, '7');
  EXPECT_EQ(Expand("p.exe", "$1$1", data.c_str()), "p.exe|" + data + data);
  EXPECT_EQ(Expand("p.exe", "$1$1", (data + "7").c_str()), "refused 7");
  EXPECT_EQ(Expand("https://x/$1", nullptr, std::string(200, ' ').c_str()), "refused 7");
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
