// The history's bound and order, its CSV form byte for byte, the outcome join, and the scan
// log's writing over an in-memory file that can be made to fail as a real one does.
#include "tray/core/scan_history.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace pellix {
namespace {

const LocalTime kNoon = {2026, 12, 8, 12, 0, 5, 60};

ScanEntry Entry(int n, ScanAction action = ScanAction::kTyped) {
  return MakeScanEntry(kNoon, "UPA", std::to_string(n).c_str(), action);
}

std::string Line(const ScanEntry& e, char separator = ',') {
  char line[kCsvLineSize];
  const int n = CsvLine(e, separator, line);
  return std::string(line, static_cast<size_t>(n));
}

TEST(CsvTest, EveryFieldIsQuotedAndEveryCellASpreadsheetCouldFindIsGuarded) {
  struct Case {
    const char* data;
    const char* cell;
  } cases[] = {
      {"0262033844", "\"0262033844\""},
      {"", "\"\""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "\"'+1\""},
      {"-5", "\"'-5\""},
      {"@SUM(A1)", "\"'@SUM(A1)\""},
      {"LIB-7Q2X", "\"LIB-7Q2X\""},
      {"'quoted'", "\"'quoted'\""},
      // A cell that splitting at ";", ",", Tab or a line break would begin.
      {"1;=1+1;", "\"1;'=1+1;\""},
      {"1,@x", "\"1,'@x\""},
      {"a\t-2", "\"a\t'-2\""},
      {"a\n+3", "\"a\n'+3\""},
      {"x;\"=1", "\"x;'\"\"=1\""},
      {"x; =1", "\"x;' =1\""},
      {"x=1;y+2", "\"x=1;y+2\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Line(MakeScanEntry(kNoon, "C39", c.data, ScanAction::kTyped)),
              std::string("\"2026-12-08T12:00:05+01:00\",\"C39\",") + c.cell + ",\"typed\"\r\n")
        << c.data;
  }
}

TEST(CsvTest, ALineHasTheIsoTimeWithItsOffsetAndEndsInCrLf) {
  LocalTime west = {2027, 1, 2, 3, 4, 5, -(3 * 60 + 30)};
  EXPECT_EQ(Line(MakeScanEntry(west, "C39", "A,B", ScanAction::kClaimed), '\t'),
            "\"2027-01-02T03:04:05-03:30\"\t\"C39\"\t\"A,B\"\t\"claimed by a window\"\r\n");
  EXPECT_EQ(Line(MakeScanEntry(kNoon, "IB5", "", ScanAction::kRefused)),
            "\"2026-12-08T12:00:05+01:00\",\"IB5\",\"\",\"refused\"\r\n");
  EXPECT_EQ(Line(MakeScanEntry(kNoon, "128", "AB", ScanAction::kTypedWithoutControls)),
            "\"2026-12-08T12:00:05+01:00\",\"128\",\"AB\",\"typed without its control "
            "characters\"\r\n");
  char time[kTimeTextSize];
  ListTime(west, time);
  EXPECT_STREQ(time, "03:04:05");
  const std::string longest(kHistoryTextSize - 1, '"');
  EXPECT_EQ(Line(MakeScanEntry(kNoon, longest.c_str(), longest.c_str(), ScanAction::kTyped)).size(),
            27u + 2 * (2 + 2 * longest.size()) + 7 + 3 + 2);
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

std::string Text(const ScanHistory& history, std::vector<int> rows, char separator = ',') {
  int length = 0;
  char* text = HistoryText(history, rows.data(), static_cast<int>(rows.size()), separator, &length);
  const std::string out(text, static_cast<size_t>(length));
  delete[] text;
  return out;
}

TEST(HistoryTest, TextOfAllOrOfASelectionIsOldestFirstUnderOneHeader) {
  ScanHistory history;
  for (int i = 1; i <= 3; ++i) history.Add(Entry(i, i == 2 ? ScanAction::kLaunched : ScanAction::kTyped));
  const std::string row1 = Line(history.Newest(2)), row2 = Line(history.Newest(1)),
                    row3 = Line(history.Newest(0));
  EXPECT_EQ(Text(history, {}), kCsvHeader + row1 + row2 + row3);
  EXPECT_EQ(Text(history, {0, 2}), kCsvHeader + row1 + row3);  // newest 0 is scan 3
  EXPECT_EQ(Text(history, {5}), kCsvHeader);                    // gone meanwhile
  EXPECT_EQ(Text(history, {1}, '\t'), kCellsHeader + Line(history.Newest(1), '\t'));
}

TEST(OutcomeJoinTest, EachWordCompletesItsOwnScanInWhateverOrder) {
  OutcomeJoin join;
  ScanEntry done;
  EXPECT_FALSE(join.Offered(7, 1, Entry(1, ScanAction::kLeftToLibrary), 0, &done));
  EXPECT_FALSE(join.Offered(7, 2, Entry(2, ScanAction::kLeftToLibrary), 10, &done));
  EXPECT_FALSE(join.Offered(9, 1, Entry(3, ScanAction::kLeftToLibrary), 20, &done));
  std::vector<std::string> got;
  const auto take = [&](bool ok) { got.push_back(ok ? Line(done) : "none"); };
  take(join.Outcome(7, 2, ScanAction::kClaimed, &done));
  take(join.Outcome(9, 1, ScanAction::kFilteredOut, &done));
  take(join.Outcome(9, 1, ScanAction::kTyped, &done));  // told already
  take(join.Expire(OutcomeJoin::kWaitMs - 1, &done));
  take(join.Expire(OutcomeJoin::kWaitMs, &done));  // no word: typed
  EXPECT_FALSE(join.Waiting());
  EXPECT_EQ(got, (std::vector<std::string>{Line(Entry(2, ScanAction::kClaimed)),
                                           Line(Entry(3, ScanAction::kFilteredOut)), "none", "none",
                                           Line(Entry(1, ScanAction::kTyped))}));
  // Every place taken: the scan that waited longest goes out as typed.
  for (uint32_t i = 0; i < OutcomeJoin::kWaitingLimit; ++i)
    EXPECT_FALSE(join.Offered(1, i, Entry(static_cast<int>(i), ScanAction::kLeftToLibrary), 100 + i, &done));
  ASSERT_TRUE(join.Offered(1, 99, Entry(99, ScanAction::kLeftToLibrary), 200, &done));
  EXPECT_EQ(Line(done), Line(Entry(0)));
}

// One file in memory. Each call takes the next scripted result (kDone once the script is
// used up); a write that fails writes `partial` bytes first.
class MemoryFile : public AppendFile {
 public:
  Result Open(const char*) override { return Next(); }
  bool IsEmpty() override { return bytes.empty(); }
  Result Write(const char* text, int length, int* written) override {
    const Result r = Next();
    *written = r == kDone ? length : std::min(partial, length);
    bytes.append(text, static_cast<size_t>(*written));
    return r;
  }
  void Close() override {}
  const char* Reason() override { return "held"; }
  Result Next() {
    if (script.empty()) return kDone;
    const Result r = script.front();
    script.erase(script.begin());
    return r;
  }
  std::string bytes;
  std::vector<Result> script;
  int partial = 0;
};

TEST(ScanLogTest, LinesWaitInOrderUntilTheyAreWrittenWholeUnderOneHeader) {
  MemoryFile file;
  LogQueue queue;
  std::string expected = kCsvHeader;
  for (int i = 1; i <= 3; ++i) {
    queue.Push(Entry(i));
    expected += Line(Entry(i));
  }
  file.script = {AppendFile::kBusy};  // held by another program: nothing written
  EXPECT_EQ(WriteLogPass(queue, file, "C:\\s.csv"), AppendFile::kBusy);
  EXPECT_EQ(file.bytes, "");
  file.script = {AppendFile::kDone, AppendFile::kFailed};  // the write stops in the header
  file.partial = 10;
  EXPECT_EQ(WriteLogPass(queue, file, "C:\\s.csv"), AppendFile::kFailed);
  EXPECT_EQ(queue.Count(), 3);
  file.bytes.clear();
  // The write stops in the second line: its rest goes first next time.
  file.partial = static_cast<int>(std::strlen(kCsvHeader) + Line(Entry(1)).size()) + 7;
  file.script = {AppendFile::kDone, AppendFile::kFailed};
  EXPECT_EQ(WriteLogPass(queue, file, "C:\\s.csv"), AppendFile::kFailed);
  EXPECT_EQ(queue.Count(), 2);
  queue.Push(Entry(4));
  expected += Line(Entry(4));
  EXPECT_EQ(WriteLogPass(queue, file, "C:\\s.csv"), AppendFile::kDone);
  EXPECT_EQ(file.bytes, expected);
  EXPECT_EQ(queue.Count(), 0);
  // Beyond the history's thousand, the oldest unwritten lines go.
  expected = "kept\r\n";
  for (int i = 0; i < kHistoryLimit + 2; ++i) {
    queue.Push(Entry(i));
    if (i >= 2) expected += Line(Entry(i));
  }
  file.bytes = "kept\r\n";
  EXPECT_EQ(WriteLogPass(queue, file, "C:\\s.csv"), AppendFile::kDone);
  EXPECT_EQ(file.bytes, expected);
}

}  // namespace
}  // namespace pellix
