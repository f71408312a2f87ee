// The history's bound and order, its CSV form byte for byte, and the scan log over an
// in-memory file that can be made to fail as a real one does.
#include "tray/core/scan_history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace pellix {
namespace {

const LocalTime kNoon = {2026, 12, 8, 12, 0, 5, 60};

ScanEntry Entry(int n, ScanAction action = ScanAction::kTyped) {
  return MakeScanEntry(kNoon, "UPA", std::to_string(n).c_str(), action);
}

TEST(CsvTest, FieldsAreQuotedAndGuardedAsSpreadsheetsNeed) {
  struct Case {
    const char* field;
    const char* csv;
  } cases[] = {
      {"0262033844", "0262033844"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "'+1"},
      {"-5", "'-5"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"LIB-7Q2X", "LIB-7Q2X"},  // only the first character can start a formula
      {"'quoted'", "'quoted'"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendCsvField(out, c.field);
    EXPECT_EQ(out, c.csv) << c.field;
  }
}

TEST(CsvTest, ALineHasTheIsoTimeWithItsOffsetAndEndsInCrLf) {
  LocalTime west = {2027, 1, 2, 3, 4, 5, -(3 * 60 + 30)};
  EXPECT_EQ(CsvLine(MakeScanEntry(west, "C39", "A,B", ScanAction::kClaimed)),
            "2027-01-02T03:04:05-03:30,C39,\"A,B\",claimed by a window\r\n");
  EXPECT_EQ(CsvLine(MakeScanEntry(kNoon, "IB5", "", ScanAction::kFilteredOut)),
            "2026-12-08T12:00:05+01:00,IB5,,filtered to nothing\r\n");
  EXPECT_EQ(ListTime(west), "03:04:05");
}

TEST(HistoryTest, KeepsTheNewestThousandNewestFirst) {
  ScanHistory history;
  for (int i = 0; i < kHistoryLimit + 5; ++i) history.Add(Entry(i));
  ASSERT_EQ(history.Count(), kHistoryLimit);
  EXPECT_STREQ(history.Newest(0).data, "1004");
  EXPECT_STREQ(history.Newest(kHistoryLimit - 1).data, "5");
  history.Clear();
  EXPECT_EQ(history.Count(), 0);
  history.Add(Entry(7));
  EXPECT_EQ(history.Count(), 1);
  EXPECT_STREQ(history.Newest(0).data, "7");
}

TEST(HistoryTest, LongTextsAreCutAndNeverOverrun) {
  const std::string longText(600, 'x');
  const ScanEntry e = MakeScanEntry(kNoon, longText.c_str(), nullptr, ScanAction::kTyped);
  EXPECT_EQ(std::string(e.type), std::string(kHistoryTextSize - 1, 'x'));
  EXPECT_STREQ(e.data, "");
}

TEST(HistoryTest, CsvOfAllOrOfASelectionIsOldestFirstUnderOneHeader) {
  ScanHistory history;
  for (int i = 1; i <= 3; ++i) history.Add(Entry(i, i == 2 ? ScanAction::kLaunched : ScanAction::kTyped));
  const std::string row1 = "2026-12-08T12:00:05+01:00,UPA,1,typed\r\n";
  const std::string row2 = "2026-12-08T12:00:05+01:00,UPA,2,launched\r\n";
  const std::string row3 = "2026-12-08T12:00:05+01:00,UPA,3,typed\r\n";
  EXPECT_EQ(HistoryCsv(history, {}), kCsvHeader + row1 + row2 + row3);
  EXPECT_EQ(HistoryCsv(history, {0, 2}), kCsvHeader + row1 + row3);  // newest 0 is scan 3
  EXPECT_EQ(HistoryCsv(history, {5}), kCsvHeader);                    // gone meanwhile
}

TEST(OutcomeJoinTest, TheLibrarysWordCompletesTheScanItWasLeft) {
  OutcomeJoin join;
  ScanEntry done;
  const LocalTime later = {2026, 12, 8, 12, 0, 9, 60};
  EXPECT_FALSE(join.Offered(Entry(1, ScanAction::kLeftToLibrary), &done));
  ASSERT_TRUE(join.Outcome(ScanAction::kClaimed, "UPA", later, &done));
  EXPECT_STREQ(done.data, "1");
  EXPECT_EQ(done.action, ScanAction::kClaimed);
  EXPECT_EQ(done.time.second, 5) << "the time the scan was read, not the word's";
  EXPECT_FALSE(join.Outcome(ScanAction::kTyped, "UPA", later, &done)) << "no scan waits";
  // Filtered to nothing: never offered, a scan of its own.
  ASSERT_TRUE(join.Outcome(ScanAction::kFilteredOut, "C39", later, &done));
  EXPECT_EQ(CsvLine(done), "2026-12-08T12:00:09+01:00,C39,,filtered to nothing\r\n");
  // Without a word (a library that does not report), a scan goes out as typed: when the next
  // one comes or when its time is up.
  EXPECT_FALSE(join.Offered(Entry(2, ScanAction::kLeftToLibrary), &done));
  ASSERT_TRUE(join.Offered(Entry(3, ScanAction::kLeftToLibrary), &done));
  EXPECT_STREQ(done.data, "2");
  EXPECT_EQ(done.action, ScanAction::kTyped);
  ASSERT_TRUE(join.Expire(&done));
  EXPECT_STREQ(done.data, "3");
  EXPECT_FALSE(join.Expire(&done));
}

// Files in memory; a path listed in `refuse` fails to open with that reason.
class MemoryFiles : public AppendFile {
 public:
  bool Open(const char* path, std::string* reason) override {
    if (refuse.count(path)) {
      *reason = refuse[path];
      return false;
    }
    ++opens;
    open_ = &files[path];
    return true;
  }
  bool IsEmpty() override { return open_->empty(); }
  bool Write(const std::string& text, std::string*) override {
    *open_ += text;
    return true;
  }
  void Close() override { open_ = nullptr; }
  std::map<std::string, std::string> files;
  std::map<std::string, std::string> refuse;
  int opens = 0;

 private:
  std::string* open_ = nullptr;
};

ScanLogSettings LogTo(const char* path) {
  ScanLogSettings log;
  log.on = 1;
  std::strcpy(log.path, path);
  return log;
}

TEST(ScanLogTest, ANewFileGetsTheHeaderOnceThenOneLinePerScan) {
  MemoryFiles files;
  files.files["C:\\old.csv"] = "kept\r\n";
  ScanHistory history;
  ScanLogSettings log = LogTo("C:\\scans.csv");
  for (int i = 1; i <= 2; ++i) EXPECT_TRUE(RecordScan(history, log, files, Entry(i), nullptr));
  EXPECT_EQ(files.files["C:\\scans.csv"],
            std::string(kCsvHeader) + "2026-12-08T12:00:05+01:00,UPA,1,typed\r\n" +
                "2026-12-08T12:00:05+01:00,UPA,2,typed\r\n");
  std::strcpy(log.path, "C:\\old.csv");  // an existing file is appended to, no header
  EXPECT_TRUE(RecordScan(history, log, files, Entry(3), nullptr));
  EXPECT_EQ(files.files["C:\\old.csv"], "kept\r\n2026-12-08T12:00:05+01:00,UPA,3,typed\r\n");
  EXPECT_EQ(history.Count(), 3);
}

TEST(ScanLogTest, AnUnwritableFileTurnsLoggingOffOnceAndTheScanIsStillKept) {
  MemoryFiles files;
  files.refuse["Q:\\none\\scans.csv"] = "The system cannot find the path specified.";
  ScanHistory history;
  ScanLogSettings log = LogTo("Q:\\none\\scans.csv");
  std::string failure;
  EXPECT_FALSE(RecordScan(history, log, files, Entry(1), &failure));
  EXPECT_EQ(log.on, 0u);
  EXPECT_NE(failure.find("Q:\\none\\scans.csv"), std::string::npos) << failure;
  EXPECT_NE(failure.find("cannot find the path"), std::string::npos) << failure;
  failure.clear();
  EXPECT_TRUE(RecordScan(history, log, files, Entry(2), &failure));  // off: no second message
  EXPECT_TRUE(failure.empty());
  EXPECT_EQ(history.Count(), 2);
  EXPECT_TRUE(files.files.empty());
}

}  // namespace
}  // namespace pellix
